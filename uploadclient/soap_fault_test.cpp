#include "uploadclient/soap_fault.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

using platform::ErrorCode;

// Hands out a body a few bytes at a time, so events cross read boundaries.
class StringStream : public uploadclient::ResponseStream {
 public:
  explicit StringStream(std::string body, std::uint32_t piece = 7)
      : body_(std::move(body)), piece_(piece) {}
  ErrorCode read(void* buffer, std::uint32_t size, std::uint32_t* got) override {
    std::size_t n = std::min<std::size_t>({size, piece_, body_.size() - offset_});
    std::memcpy(buffer, body_.data() + offset_, n);
    offset_ += n;
    *got = static_cast<std::uint32_t>(n);
    return platform::ERROR_SUCCESS;
  }

 private:
  std::string body_;
  std::uint32_t piece_;
  std::size_t offset_ = 0;
};

const std::string kEnvelopeOpen =
    R"(<?xml version="1.0" encoding="utf-8"?>)"
    R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/">)";

std::string fault(const std::string& inner, const std::string& beforeBody = "") {
  return kEnvelopeOpen + beforeBody + "<soap:Body><soap:Fault>" + inner +
         "</soap:Fault></soap:Body></soap:Envelope>";
}

struct FaultCase {
  const char* name;
  std::string document;
  bool readable;
  std::int32_t code;
  std::u16string faultString;
  std::u16string detail;
};
// Names the case in test output instead of dumping its bytes.
void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

class FaultReaderTable : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultReaderTable, ReadsOrRefuses) {
  const FaultCase& c = GetParam();
  StringStream stream(c.document);
  uploadclient::NamespaceSaxReader reader;
  CSoapFaultInfo record;
  record.detail = u"stale";
  ErrorCode result = uploadclient::readSoapFault(stream, reader, record);
  EXPECT_EQ(result == platform::ERROR_SUCCESS, c.readable) << std::hex << result;
  EXPECT_EQ(record.code, c.code);
  EXPECT_EQ(record.faultString, c.faultString);
  EXPECT_EQ(record.detail, c.detail);
  EXPECT_EQ(reader.contentHandler(), nullptr);
}

const std::string kServerFault =
    "<faultcode>soap:Server</faultcode><faultstring>Upload refused</faultstring>"
    "<detail><reason lang=\"en\">Disk &amp; quota full</reason></detail>";

INSTANTIATE_TEST_SUITE_P(
    Documents, FaultReaderTable,
    ::testing::Values(
        FaultCase{"ServerFaultWithNestedDetail", fault(kServerFault), true, 400, u"Upload refused",
                  u"<reason lang=\"en\">Disk & quota full</reason>"},
        FaultCase{"EnvelopeAsDefaultNamespace",
                  R"(<Envelope xmlns="http://schemas.xmlsoap.org/soap/envelope/"><Body><Fault>)"
                  "<faultcode>Server</faultcode><faultstring>x</faultstring>"
                  "</Fault></Body></Envelope>",
                  false, 0, u"", u""},
        FaultCase{"OtherEnvelopePrefix",
                  R"(<e:Envelope xmlns:e="http://schemas.xmlsoap.org/soap/envelope/"><e:Body>)"
                  "<e:Fault><faultcode>e:Client</faultcode><faultstring>bad</faultstring>"
                  "</e:Fault></e:Body></e:Envelope>",
                  true, 300, u"bad", u""},
        FaultCase{"FaultCodeWithForeignPrefix",
                  fault("<faultcode>x:Server</faultcode><faultstring>s</faultstring>"), false, 0,
                  u"", u""},
        FaultCase{"HeaderBeforeBody", fault(kServerFault, "<soap:Header></soap:Header>"), false, 0,
                  u"", u""},
        FaultCase{"UnknownElementBeforeFields",
                  fault("<extra>1</extra><faultcode>soap:Server</faultcode>"), false, 0, u"", u""},
        FaultCase{"UnknownElementAfterFaultString",
                  fault("<faultcode>soap:Server</faultcode><faultstring>s</faultstring>"
                        "<extra a=\"1\"><deeper><extra>t</extra></deeper></extra>"
                        "<detail>d</detail>"),
                  true, 400, u"s", u"d"},
        FaultCase{"TwoDetailsFirstWithContent",
                  fault("<faultcode>soap:Server</faultcode><detail>one</detail>"
                        "<detail>two</detail>"),
                  false, 400, u"", u"one"},
        FaultCase{"TwoDetailsFirstEmpty",
                  fault("<faultcode>soap:Server</faultcode><detail></detail>"
                        "<detail>two</detail>"),
                  true, 400, u"", u"two"},
        FaultCase{"UnknownFaultCode",
                  fault("<faultcode>soap:Receiver</faultcode><faultstring>s</faultstring>"), true,
                  0, u"s", u""},
        FaultCase{"SecondFaultCode",
                  fault("<faultcode>soap:Client</faultcode><faultcode>soap:Server</faultcode>"),
                  false, 300, u"", u""},
        FaultCase{"SecondFault", fault(kServerFault + "</soap:Fault><soap:Fault>"), false, 400,
                  u"Upload refused", u"<reason lang=\"en\">Disk & quota full</reason>"},
        FaultCase{"FaultOutsideEnvelopeNamespace",
                  kEnvelopeOpen + "<soap:Body><Fault xmlns=\"urn:other\">" + kServerFault +
                      "</Fault></soap:Body></soap:Envelope>",
                  false, 0, u"", u""},
        FaultCase{"NonAsciiTextInUtf16",
                  fault("<faultcode>soap:Server</faultcode>"
                        "<faultstring>Gr\xC3\xBC\xC3\x9F\x65 \xF0\x9F\x93\x84</faultstring>"),
                  true, 400, u"Gr\u00fc\u00dfe \U0001F4C4", u""},
        FaultCase{"HtmlErrorPage", "<html><body><h1>500 Internal error</h1></body></html>", false,
                  0, u"", u""},
        FaultCase{"EmptyBody", "", false, 0, u"", u""},
        FaultCase{"CutOffDocument", fault(kServerFault).substr(0, fault(kServerFault).size() - 12),
                  false, 400, u"Upload refused",
                  u"<reason lang=\"en\">Disk & quota full</reason>"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(FaultReader, KeepsTheFaultCodeTextAndActor) {
  StringStream stream(fault("<faultcode>soap:MustUnderstand</faultcode>"
                            "<faultactor>urn:gate</faultactor>"),
                      1);
  uploadclient::NamespaceSaxReader reader;
  CSoapFaultInfo record;
  ASSERT_EQ(uploadclient::readSoapFault(stream, reader, record), platform::ERROR_SUCCESS);
  EXPECT_EQ(record.code, 200);
  EXPECT_EQ(record.faultCode, u"soap:MustUnderstand");
  EXPECT_EQ(record.faultActor, u"urn:gate");
}

}  // namespace
