#include "uploadclient/file_upload_ws_proxy.h"

#include <gtest/gtest.h>

#include "platform/testing/fake_system.h"

namespace {

using platform::testing::ScriptedExchange;

// The request documents, assembled from the message tables.
const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>";
const std::string kEnvelopeStart =
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema/\" "
    "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\">";
const std::string kBodyStart =
    "<soap:Body soap:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">";
const std::string kEnd = "</soap:Body></soap:Envelope>";

std::string sessionHeader(const std::string& id) {
  return "<soap:Header><snp:SessionHeaderValue xmlns:snp=\"urn:FileUploadWSService\" "
         "soap:mustUnderstand=\"1\"><sessionID>" +
         id + "</sessionID></snp:SessionHeaderValue></soap:Header>";
}

std::string startUploadDocument(const std::string& name, const std::string& size) {
  return kDeclaration + kEnvelopeStart + kBodyStart +
         "<snp:StartUpload xmlns:snp=\"urn:FileUploadWSService\"><filename>" + name +
         "</filename><filesize>" + size + "</filesize></snp:StartUpload>" + kEnd;
}

std::string uploadChunkDocument(const std::string& id, const std::string& base64) {
  return kDeclaration + kEnvelopeStart + sessionHeader(id) + kBodyStart +
         "<snp:UploadChunk xmlns:snp=\"urn:FileUploadWSService\"><chunkdata>" + base64 +
         "</chunkdata></snp:UploadChunk>" + kEnd;
}

std::string endUploadDocument(const std::string& id) {
  return kDeclaration + kEnvelopeStart + sessionHeader(id) + kBodyStart +
         "<snp:EndUpload xmlns:snp=\"urn:FileUploadWSService\"></snp:EndUpload>" + kEnd;
}

// Base64 the long way round, one bit at a time.
std::string referenceBase64(const std::string& bytes) {
  const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0, value = 0;
  for (unsigned char byte : bytes) {
    for (int b = 7; b >= 0; --b) {
      value = (value << 1) | ((byte >> b) & 1u);
      if (++bits == 6) {
        out += alphabet[value];
        bits = value = 0;
      }
    }
  }
  if (bits != 0) out += alphabet[value << (6 - bits)];
  while (out.size() % 4 != 0) out += '=';
  return out;
}

std::string startAnswer(const std::string& header, const std::string& body) {
  return "<?xml version=\"1.0\"?><s:Envelope "
         "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">" +
         header + body + "</s:Envelope>";
}

const std::string kGoodHeader =
    "<s:Header><SessionHeaderValue><sessionID>S-1</sessionID></SessionHeaderValue></s:Header>";
const std::string kGoodBody = "<s:Body><StartUpload><return>R-1</return></StartUpload></s:Body>";

class ProxyTest : public ::testing::Test {
 protected:
  ProxyTest() {
    proxy.SetUrl("http://upload.example/FileUploadWS/FileUploadWS.dll?Handler=Default");
  }

  void answer(std::string body) {
    fake.internet.exchanges.push_back(ScriptedExchange::answer(200, "OK", std::move(body)));
  }

  platform::testing::FakeSystem fake;
  platform::ScopedSystem scope{fake.system()};
  CFileUploadWSProxy proxy{fake.system()};
};

struct StartCase {
  const char* name;
  std::uint32_t codePage;
  std::string filename;
  std::int32_t filesize;
  std::string sentName;
  std::string sentSize;
};
// Names the case in test output instead of dumping its bytes.
void PrintTo(const StartCase& c, std::ostream* out) { *out << c.name; }

class ProxyStartDocument : public ProxyTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(ProxyStartDocument, IsWrittenByteForByte) {
  const StartCase& c = GetParam();
  fake.codePages.ansi = c.codePage;
  answer(startAnswer(kGoodHeader, kGoodBody));
  std::u16string result;
  ASSERT_EQ(proxy.StartUpload(c.filename.c_str(), c.filesize, &result), 0u);
  ASSERT_EQ(fake.internet.sends.size(), 1u);
  EXPECT_EQ(fake.internet.sends[0].body, startUploadDocument(c.sentName, c.sentSize));
  EXPECT_EQ(fake.internet.sends[0].headers,
            "SOAPAction: \"#StartUpload\"\r\nContent-Type: text/xml; charset=utf-8\r\n");
  EXPECT_EQ(result, u"R-1");
  EXPECT_EQ(proxy.sessionHeaderId(), "S-1");
}

INSTANTIATE_TEST_SUITE_P(
    Names, ProxyStartDocument,
    ::testing::Values(StartCase{"Plain", platform::CP_UTF8, "C:\\spool\\job 1.pmf", 12345,
                                "C:\\spool\\job 1.pmf", "12345"},
                      StartCase{"EmptyFile", platform::CP_UTF8, "empty.pmf", 0, "empty.pmf", "0"},
                      // 3,000,000,000 bytes as the driver passes them: the low 32 bits.
                      StartCase{"ThreeGigabytes", platform::CP_UTF8, "big.pmf",
                                static_cast<std::int32_t>(3'000'000'000u), "big.pmf",
                                "-1294967296"},
                      StartCase{"EscapedCharacters", platform::CP_UTF8, "a&b<c>d\"e'f", 1,
                                "a&amp;b&lt;c&gt;d&quot;e&apos;f", "1"},
                      StartCase{"AnsiLetters", 1252,
                                "Caf\xE9 \xDC"
                                "ber.pmf",
                                2,
                                "Caf\xC3\xA9 \xC3\x9C"
                                "ber.pmf",
                                "2"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ProxyTest, ChunksAreBase64OnOneLine) {
  std::string large(65536, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + 3);
  const struct {
    std::string bytes;
    std::string base64;
  } cases[] = {{std::string(1, '\0'), "AA=="},
               {"ab", "YWI="},
               {"abc", "YWJj"},
               {"\xFF\xFE\xFD", "//79"},
               {large, referenceBase64(large)}};
  for (const auto& c : cases) {
    answer("<ok/>");
    ASSERT_EQ(proxy.UploadChunk(static_cast<std::uint32_t>(c.bytes.size()), c.bytes.data()), 0u);
    EXPECT_EQ(fake.internet.sends.back().body, uploadChunkDocument("", c.base64));
    EXPECT_EQ(fake.internet.sends.back().headers,
              "SOAPAction: \"#UploadChunk\"\r\nContent-Type: text/xml; charset=utf-8\r\n");
  }
  EXPECT_EQ(referenceBase64(large).size(), 87384u);
}

TEST_F(ProxyTest, SessionIdTravelsFromStartToLaterRequests) {
  answer(startAnswer(kGoodHeader, kGoodBody));
  answer("<ok/>");
  answer("<ok/>");
  ASSERT_EQ(proxy.StartUpload("f", 3, nullptr), 0u);
  ASSERT_EQ(proxy.UploadChunk(3, "abc"), 0u);
  ASSERT_EQ(proxy.EndUpload(), 0u);
  EXPECT_EQ(fake.internet.sends[1].body, uploadChunkDocument("S-1", "YWJj"));
  EXPECT_EQ(fake.internet.sends[2].body, endUploadDocument("S-1"));
  EXPECT_EQ(fake.internet.sends[2].headers,
            "SOAPAction: \"#EndUpload\"\r\nContent-Type: text/xml; charset=utf-8\r\n");

  // An empty id empties the field, and the next request sends it empty.
  answer(startAnswer("<s:Header><SessionHeaderValue><sessionID/></SessionHeaderValue></s:Header>",
                     kGoodBody));
  answer("<ok/>");
  ASSERT_EQ(proxy.StartUpload("f", 3, nullptr), 0u);
  EXPECT_EQ(proxy.sessionHeaderId(), "");
  ASSERT_EQ(proxy.EndUpload(), 0u);
  EXPECT_EQ(fake.internet.sends.back().body, endUploadDocument(""));
}

struct AnswerCase {
  const char* name;
  std::string body;
  bool succeeds;
  std::string sessionHeaderId;  // after the call; "old" when unchanged
  std::u16string result;        // after the call; u"old" when unchanged
};
// Names the case in test output instead of dumping its bytes.
void PrintTo(const AnswerCase& c, std::ostream* out) { *out << c.name; }

class ProxyStartAnswer : public ProxyTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(ProxyStartAnswer, IsReadByLocalNames) {
  const AnswerCase& c = GetParam();
  answer(
      startAnswer("<Header><SessionHeaderValue><sessionID>old</sessionID></SessionHeaderValue>"
                  "</Header>",
                  "<Body><StartUpload><return>x</return></StartUpload></Body>"));
  std::u16string result = u"old";
  ASSERT_EQ(proxy.StartUpload("f", 1, nullptr), 0u);
  answer(c.body);
  EXPECT_EQ(proxy.StartUpload("f", 1, &result), c.succeeds ? 0u : platform::E_FAIL);
  EXPECT_EQ(proxy.errorState, c.succeeds ? SoapClientState::Success : SoapClientState::ParseError);
  EXPECT_EQ(proxy.sessionHeaderId(), c.sessionHeaderId);
  EXPECT_EQ(result, c.result);
}

const std::string kLongId(1024, 'k');
const std::string kLongestId(1023, 'k');

INSTANTIATE_TEST_SUITE_P(
    Answers, ProxyStartAnswer,
    ::testing::Values(
        AnswerCase{"Prefixed", startAnswer(kGoodHeader, kGoodBody), true, "S-1", u"R-1"},
        AnswerCase{"NoPrefixes",
                   "<Envelope><Header><SessionHeaderValue><sessionID>A</sessionID>"
                   "</SessionHeaderValue></Header><Body><StartUpload><return>B</return>"
                   "</StartUpload></Body></Envelope>",
                   true, "A", u"B"},
        AnswerCase{"MixedPrefixes",
                   "<x:Envelope xmlns:x=\"urn:a\" xmlns:y=\"urn:b\"><y:Header>"
                   "<y:SessionHeaderValue><y:sessionID>A</y:sessionID></y:SessionHeaderValue>"
                   "</y:Header><x:Body><x:StartUpload><x:return>B</x:return></x:StartUpload>"
                   "</x:Body></x:Envelope>",
                   true, "A", u"B"},
        AnswerCase{"NotWellFormed", "<Envelope><Header>", false, "old", u"old"},
        AnswerCase{"NotXmlAtAll", "this is not XML", false, "old", u"old"},
        AnswerCase{"NoSessionHeader", startAnswer("", kGoodBody), false, "old", u"old"},
        AnswerCase{"NoReturn",
                   startAnswer(kGoodHeader, "<s:Body><StartUpload></StartUpload></s:Body>"), false,
                   "S-1", u"old"},
        AnswerCase{"LongestSessionId",
                   startAnswer("<Header><SessionHeaderValue><sessionID>" + kLongestId +
                                   "</sessionID></SessionHeaderValue></Header>",
                               kGoodBody),
                   true, kLongestId, u"R-1"},
        AnswerCase{"SessionIdTooLong",
                   startAnswer("<Header><SessionHeaderValue><sessionID>" + kLongId +
                                   "</sessionID></SessionHeaderValue></Header>",
                               kGoodBody),
                   false, "old", u"old"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ProxyTest, ChunkAndEndAnswersNeedOnlyBeWellFormed) {
  answer("<anything><at all=\"1\"/></anything>");
  EXPECT_EQ(proxy.UploadChunk(1, "x"), 0u);
  answer("<anything>");
  EXPECT_EQ(proxy.EndUpload(), platform::E_FAIL);
  EXPECT_EQ(proxy.errorState, SoapClientState::ParseError);
}

TEST_F(ProxyTest, ReadErrorEndsTheBodyQuietly) {
  ScriptedExchange whole = ScriptedExchange::answer(200, "OK", startAnswer(kGoodHeader, kGoodBody));
  whole.readError = platform::ERROR_INTERNET_CONNECTION_RESET;
  whole.readErrorAt = whole.body.size();
  fake.internet.exchanges.push_back(whole);
  std::u16string result;
  EXPECT_EQ(proxy.StartUpload("f", 1, &result), 0u);
  EXPECT_EQ(result, u"R-1");

  ScriptedExchange cut = whole;
  cut.readErrorAt = 40;
  fake.internet.exchanges.push_back(cut);
  EXPECT_EQ(proxy.StartUpload("f", 1, &result), platform::E_FAIL);
  EXPECT_EQ(proxy.errorState, SoapClientState::ParseError);
}

TEST_F(ProxyTest, TransportFailuresComeFirst) {
  fake.internet.exchanges.push_back(
      ScriptedExchange::answer(500, "Internal Server Error", "<html>down</html>"));
  std::u16string result = u"old";
  EXPECT_EQ(proxy.StartUpload("f", 1, &result), platform::E_FAIL);
  EXPECT_EQ(proxy.errorState, SoapClientState::FaultParseError);
  EXPECT_EQ(proxy.GetStatusText(), "500 Internal Server Error");
  EXPECT_EQ(result, u"old");

  // The next operation starts from a clean error state and fault record.
  answer("<ok/>");
  EXPECT_EQ(proxy.EndUpload(), 0u);
  EXPECT_EQ(proxy.errorState, SoapClientState::Success);
  EXPECT_EQ(proxy.GetStatusText(), "");
}

}  // namespace
