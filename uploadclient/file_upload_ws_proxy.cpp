#include "uploadclient/file_upload_ws_proxy.h"

#include <memory>
#include <ostream>
#include <streambuf>

#include "xmlfacility/xml_element.h"
#include "xmlfacility/xml_loader.h"
#include "xmlfacility/xml_writer.h"

namespace {

constexpr char kSoapEnvelopeNamespace[] = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr char kSchemaInstanceNamespace[] = "http://www.w3.org/2001/XMLSchema-instance";
// The extra slash is what the service has always been sent.
constexpr char kSchemaNamespace[] = "http://www.w3.org/2001/XMLSchema/";
constexpr char kSoapEncodingNamespace[] = "http://schemas.xmlsoap.org/soap/encoding/";
constexpr char kServiceNamespace[] = "urn:FileUploadWSService";
constexpr std::uint32_t kResponseReadSize = 1023;

// Lets the writer append straight to the request body, whose storage is
// kept from one request to the next.
class AppendBuffer final : public std::streambuf {
 public:
  explicit AppendBuffer(std::string& target) : target_(target) {}

 protected:
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    target_.append(data, static_cast<std::size_t>(count));
    return count;
  }
  int_type overflow(int_type ch) override {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      target_.push_back(traits_type::to_char_type(ch));
    }
    return traits_type::not_eof(ch);
  }

 private:
  std::string& target_;
};

void writeEnvelopeStart(XmlWriter& w) {
  w.startDocument();
  w.addAttribute("xmlns:soap", kSoapEnvelopeNamespace);
  w.addAttribute("xmlns:xsi", kSchemaInstanceNamespace);
  w.addAttribute("xmlns:xsd", kSchemaNamespace);
  w.addAttribute("xmlns:soapenc", kSoapEncodingNamespace);
  w.startElement("soap:Envelope");
}

void writeSessionHeader(XmlWriter& w, const std::string& sessionId) {
  w.startElement("soap:Header");
  w.addAttribute("xmlns:snp", kServiceNamespace);
  w.addAttribute("soap:mustUnderstand", "1");
  w.startElement("snp:SessionHeaderValue");
  w.startElement("sessionID");
  w.characters(sessionId.c_str());
  w.endElement("sessionID");
  w.endElement("snp:SessionHeaderValue");
  w.endElement("soap:Header");
}

void writeBodyStart(XmlWriter& w) {
  w.addAttribute("soap:encodingStyle", kSoapEncodingNamespace);
  w.startElement("soap:Body");
}

void writeEnvelopeEnd(XmlWriter& w) {
  w.endElement("soap:Body");
  w.endElement("soap:Envelope");
  w.endDocument();
}

}  // namespace

CFileUploadWSProxy::CFileUploadWSProxy(platform::System& system)
    : CFileUploadWSProxy(system, system.internet) {}

CFileUploadWSProxy::CFileUploadWSProxy(platform::System& system, platform::Internet& internet)
    : CFixedSoapWininetClient(system, internet) {}

template <typename WriteBody>
platform::ErrorCode CFileUploadWSProxy::Run(std::string_view soapActionLine, bool withSessionHeader,
                                            WriteBody writeBody, std::u16string* result) {
  ResetForRequest();
  {
    AppendBuffer buffer(requestBody());
    std::ostream stream(&buffer);
    std::unique_ptr<XmlWriter> writer = createXmlWriter(stream, XmlParserExpat);
    if (writer == nullptr) {
      errorState = SoapClientState::GenerateError;
      return platform::E_FAIL;
    }
    writeEnvelopeStart(*writer);
    if (withSessionHeader) writeSessionHeader(*writer, sessionHeaderId_);
    writeBodyStart(*writer);
    writeBody(*writer);
    writeEnvelopeEnd(*writer);
  }

  if (SendRequest(soapActionLine) != platform::ERROR_SUCCESS) return platform::E_FAIL;

  responseText_.clear();
  uploadclient::ResponseStream& stream = GetResponseStream();
  for (;;) {
    const std::size_t had = responseText_.size();
    responseText_.resize(had + kResponseReadSize);
    std::uint32_t got = 0;
    platform::ErrorCode error = stream.read(responseText_.data() + had, kResponseReadSize, &got);
    responseText_.resize(had + (error == platform::ERROR_SUCCESS ? got : 0));
    if (error != platform::ERROR_SUCCESS || got == 0) break;
  }

  XmlTreeElement root;
  if (parseXmlText(responseText_.c_str(), &root, XmlParserExpat) != XmlLoadParsed) {
    errorState = SoapClientState::ParseError;
  } else if (result != nullptr) {
    const XmlTreeElement* id = root.findPath("Envelope/Header/SessionHeaderValue/sessionID");
    if (id == nullptr) {
      errorState = SoapClientState::ParseError;
    } else {
      // The field holds text up to its first NUL, as a C string does.
      std::string_view text = id->getText();
      if (text.size() >= kSessionHeaderIdCapacity) {
        errorState = SoapClientState::ParseError;
      } else {
        sessionHeaderId_.assign(text);
        const XmlTreeElement* ret = root.findPath("Envelope/Body/StartUpload/return");
        if (ret == nullptr) {
          errorState = SoapClientState::ParseError;
        } else {
          std::u16string wide;
          system().codePages.toUtf16(platform::CP_ACP, ret->getText(), &wide);
          *result = std::move(wide);
        }
      }
    }
  }
  return errorState == SoapClientState::Success ? platform::ERROR_SUCCESS : platform::E_FAIL;
}

platform::ErrorCode CFileUploadWSProxy::StartUpload(const char* filename, std::int32_t filesize,
                                                    std::u16string* result) {
  std::u16string unused;
  const std::string size = std::to_string(filesize);
  return Run(
      "SOAPAction: \"#StartUpload\"\r\n", false,
      [&](XmlWriter& w) {
        w.addAttribute("xmlns:snp", kServiceNamespace);
        w.startElement("snp:StartUpload");
        w.startElement("filename");
        w.characters(filename);
        w.endElement("filename");
        w.startElement("filesize");
        w.characters(size.c_str());
        w.endElement("filesize");
        w.endElement("snp:StartUpload");
      },
      result != nullptr ? result : &unused);
}

platform::ErrorCode CFileUploadWSProxy::UploadChunk(std::uint32_t count, const void* data) {
  const auto length = static_cast<std::int32_t>(count);
  std::int32_t encoded = base64EncodedLength(length, Base64NoLineBreaks);
  if (encoded < 0) {
    ResetForRequest();
    errorState = SoapClientState::GenerateError;
    return platform::E_FAIL;
  }
  chunkText_.resize(static_cast<std::size_t>(encoded));
  base64Encode(data, length, chunkText_.data(), &encoded, Base64NoLineBreaks);
  chunkText_.resize(static_cast<std::size_t>(encoded));
  return Run(
      "SOAPAction: \"#UploadChunk\"\r\n", true,
      [&](XmlWriter& w) {
        w.addAttribute("xmlns:snp", kServiceNamespace);
        w.startElement("snp:UploadChunk");
        w.startElement("chunkdata");
        w.characters(chunkText_.c_str());
        w.endElement("chunkdata");
        w.endElement("snp:UploadChunk");
      },
      nullptr);
}

platform::ErrorCode CFileUploadWSProxy::EndUpload() {
  return Run(
      "SOAPAction: \"#EndUpload\"\r\n", true,
      [&](XmlWriter& w) {
        w.addAttribute("xmlns:snp", kServiceNamespace);
        w.writeEmptyElement("snp:EndUpload");
      },
      nullptr);
}
