#include "uploadclient/soap_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/testing/fake_system.h"
#include "platform/testing/scripted_internet.h"

namespace {

using platform::ErrorCode;
using platform::testing::ScriptedExchange;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kAction[] = "SOAPAction: \"#UploadChunk\"\r\n";

const std::string kReadableFault =
    R"(<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body>)"
    "<soap:Fault><faultcode>soap:Server</faultcode><faultstring>No session</faultstring>"
    "<detail>Session 42 has expired</detail></soap:Fault></soap:Body></soap:Envelope>";

class Client : public CFixedSoapWininetClient {
 public:
  using CFixedSoapWininetClient::CFixedSoapWininetClient;
  using CFixedSoapWininetClient::requestBody;
  bool readerFails = false;
  ErrorCode CreateFaultReader(std::unique_ptr<uploadclient::NamespaceSaxReader>& out) override {
    if (readerFails) return platform::E_NOINTERFACE;
    return CFixedSoapWininetClient::CreateFaultReader(out);
  }
};

class SoapClientTest : public ::testing::Test {
 protected:
  SoapClientTest() {
    internet.elapse = [this](std::uint32_t ms) { fake.clock.advance(ms); };
    client.SetUrl("http://upload.example:8080/FileUploadWS/FileUploadWS.dll?Handler=Default");
    client.requestBody() = "<doc/>";
  }

  std::string body() {
    std::string text;
    char buffer[5];
    std::uint32_t got = 0;
    while (client.GetResponseStream().read(buffer, sizeof buffer, &got) == 0 && got != 0) {
      text.append(buffer, got);
    }
    return text;
  }

  platform::testing::FakeSystem fake;
  platform::testing::ScriptedInternet internet;
  Client client{fake.system(), internet};
};

TEST_F(SoapClientTest, PostsTheBodyOverOneKeptConnection) {
  internet.exchanges.push_back(ScriptedExchange::answer(200, "OK", "<answer/>"));
  ASSERT_EQ(client.SendRequest(kAction), 0u);
  EXPECT_EQ(body(), "<answer/>");
  client.ResetForRequest();
  client.requestBody() = "<second/>";
  ASSERT_EQ(client.SendRequest(kAction), 0u);

  EXPECT_THAT(internet.events,
              ElementsAre("open VCSoapClient", "connect upload.example:8080",
                          "request POST /FileUploadWS/FileUploadWS.dll?Handler=Default", "send",
                          "close request",
                          "request POST /FileUploadWS/FileUploadWS.dll?Handler=Default", "send"));
  ASSERT_EQ(internet.sends.size(), 2u);
  EXPECT_EQ(internet.sends[0].headers,
            "SOAPAction: \"#UploadChunk\"\r\nContent-Type: text/xml; charset=utf-8\r\n");
  EXPECT_EQ(internet.sends[0].body, "<doc/>");
  EXPECT_EQ(internet.sends[1].body, "<second/>");
  const platform::InternetRequestOptions& options = internet.requests[0];
  EXPECT_EQ(options.version, "HTTP/1.0");
  EXPECT_THAT(options.acceptTypes, ElementsAre("text/*"));
  EXPECT_TRUE(options.keepConnection);
  EXPECT_FALSE(options.secure);
  EXPECT_EQ(client.errorState, SoapClientState::Success);
  EXPECT_THAT(fake.debugOutput.lines, IsEmpty());
}

TEST_F(SoapClientTest, TimeoutIsSetOnTheSessionInOrder) {
  client.timeout = 5000;
  ASSERT_EQ(client.SendRequest(kAction), 0u);
  EXPECT_THAT(std::vector<std::string>(internet.events.begin(), internet.events.begin() + 4),
              ElementsAre("open VCSoapClient", "timeout connect 5000", "timeout receive 5000",
                          "timeout send 5000"));
}

struct UrlCase {
  const char* url;
  ErrorCode result;
  const char* host;
  std::uint16_t port;
  const char* objectPath;
  bool secure;
};

class SoapClientUrl : public SoapClientTest, public ::testing::WithParamInterface<UrlCase> {};

TEST_P(SoapClientUrl, SplitsTheUrl) {
  const UrlCase& c = GetParam();
  EXPECT_EQ(client.SetUrl(c.url), c.result);
  ASSERT_EQ(client.SendRequest(kAction), 0u);
  ASSERT_EQ(internet.hosts.size(), 1u);
  EXPECT_EQ(internet.hosts[0], c.host);
  EXPECT_EQ(internet.ports[0], c.port);
  EXPECT_EQ(internet.requests[0].objectPath, c.objectPath);
  EXPECT_EQ(internet.requests[0].secure, c.secure);
}

// A URL that cannot be split leaves the previous target in place.
INSTANTIATE_TEST_SUITE_P(
    Urls, SoapClientUrl,
    ::testing::Values(UrlCase{"http://h/p", 0, "h", 80, "/p", false},
                      UrlCase{"HTTPS://h/p?x=1", 0, "h", 443, "/p?x=1", true},
                      UrlCase{"https://h:8443", 0, "h", 8443, "", true},
                      UrlCase{"ftp://h/f", 0, "h", 21, "/f", false},
                      UrlCase{"gopher://h/", 0, "h", 70, "/", false},
                      UrlCase{"socks://h/s", 0, "h", 1080, "/s", false},
                      UrlCase{"news://h/n", 0, "h", 0, "/n", false},
                      UrlCase{"http://user:pw@[::1]:81/a?b", 0, "::1", 81, "/a?b", false},
                      UrlCase{"/FileUploadWS/FileUploadWS.dll?Handler=Default", platform::E_FAIL,
                              "upload.example", 8080,
                              "/FileUploadWS/FileUploadWS.dll?Handler=Default", false},
                      UrlCase{"http://h:99999/x", platform::E_FAIL, "upload.example", 8080,
                              "/FileUploadWS/FileUploadWS.dll?Handler=Default", false},
                      UrlCase{"http:///x", platform::E_FAIL, "upload.example", 8080,
                              "/FileUploadWS/FileUploadWS.dll?Handler=Default", false}));

struct RetryCase {
  const char* name;
  std::uint32_t timeout;
  std::uint32_t startTick;
  std::uint32_t attemptMs;
  int failures;  // refused attempts scripted before an answer
  int expectedSends;
  bool succeeds;
};
// Names the case in test output instead of dumping its bytes.
void PrintTo(const RetryCase& c, std::ostream* out) { *out << c.name; }

class SoapClientRetry : public SoapClientTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(SoapClientRetry, RetriesRefusedConnectionsWithinTheBudget) {
  const RetryCase& c = GetParam();
  fake.clock.now = c.startTick;
  client.timeout = c.timeout;
  for (int i = 0; i < c.failures; ++i) {
    internet.exchanges.push_back(
        ScriptedExchange::failure(platform::ERROR_INTERNET_CANNOT_CONNECT, c.attemptMs));
  }
  internet.exchanges.push_back(ScriptedExchange::answer(200, "OK"));

  ErrorCode result = client.SendRequest(kAction);
  const int sends = static_cast<int>(internet.sends.size());
  EXPECT_EQ(sends, c.expectedSends);
  EXPECT_EQ(internet.requests.size(), internet.sends.size()) << "each retry opens a new request";
  EXPECT_EQ(fake.clock.sleeps, std::vector<std::uint32_t>(sends - 1, 2000));
  std::vector<std::string> expectedDebug(
      sends - 1,
      "CFixedSoapWininetClient::SendHttpRequest() attempt failed with error 12029, retrying...\n");
  if (c.succeeds) {
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(client.errorState, SoapClientState::Success);
    EXPECT_EQ(client.lastError, 0u);
    EXPECT_EQ(client.GetFailedStepText(), "");
  } else {
    EXPECT_EQ(result, platform::E_FAIL);
    EXPECT_EQ(client.errorState, SoapClientState::SendError);
    EXPECT_EQ(client.lastError, platform::ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_EQ(client.GetFailedStepText(), "HttpSendRequest failed");
    EXPECT_EQ(client.GetStatusText(), "");
    expectedDebug.push_back(
        "CFixedSoapWininetClient::SendHttpRequest() all attempts failed with error 12029\n");
    expectedDebug.push_back(
        "CFixedSoapWininetClient::SendRequest(): SendHttpRequest failed with error 12029\n");
  }
  EXPECT_EQ(fake.debugOutput.lines, expectedDebug);
}

INSTANTIATE_TEST_SUITE_P(Budgets, SoapClientRetry,
                         ::testing::Values(
                             // Default budget: retries while at most 28 s have passed.
                             RetryCase{"DefaultBudget", 0, 1000, 0, 100, 16, false},
                             RetryCase{"DefaultBudgetSlowAttempts", 0, 1000, 3000, 100, 7, false},
                             RetryCase{"FiveSeconds", 5000, 1000, 0, 100, 3, false},
                             RetryCase{"OneSecondNoRetry", 1000, 1000, 0, 100, 1, false},
                             RetryCase{"AcrossTheTickWrap", 5000, 0xFFFFFF00u, 0, 100, 3, false},
                             RetryCase{"ServerUpAfterTenSeconds", 0, 1000, 0, 5, 6, true}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(SoapClientTest, OtherSendErrorsAreNotRetried) {
  internet.exchanges.push_back(ScriptedExchange::failure(platform::ERROR_INTERNET_TIMEOUT));
  EXPECT_EQ(client.SendRequest(kAction), platform::E_FAIL);
  EXPECT_EQ(internet.sends.size(), 1u);
  EXPECT_EQ(client.errorState, SoapClientState::SendError);
  EXPECT_EQ(client.lastError, platform::ERROR_INTERNET_TIMEOUT);
  EXPECT_THAT(
      fake.debugOutput.lines,
      ElementsAre(
          "CFixedSoapWininetClient::SendHttpRequest() all attempts failed with error 12002\n",
          "CFixedSoapWininetClient::SendRequest(): SendHttpRequest failed with error 12002\n"));
}

struct StatusCase {
  const char* name;
  ScriptedExchange exchange;
  bool readerFails;
  SoapClientState state;
  const char* statusText;
  std::u16string detail;
  std::vector<std::string> debug;
};
// Names the case in test output instead of dumping its bytes.
void PrintTo(const StatusCase& c, std::ostream* out) { *out << c.name; }

class SoapClientStatus : public SoapClientTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(SoapClientStatus, ReportsTheAnswer) {
  const StatusCase& c = GetParam();
  client.readerFails = c.readerFails;
  internet.exchanges.push_back(c.exchange);
  EXPECT_EQ(client.SendRequest(kAction), platform::E_FAIL);
  EXPECT_EQ(client.errorState, c.state);
  EXPECT_EQ(client.GetStatusText(), c.statusText);
  EXPECT_EQ(client.GetFailedStepText(), "");
  EXPECT_EQ(client.lastError, 0u);
  EXPECT_EQ(client.faultInfo.detail, c.detail);
  EXPECT_EQ(fake.debugOutput.lines, c.debug);
}

ScriptedExchange statusQueryFails() {
  ScriptedExchange e = ScriptedExchange::answer(302, "Found");
  e.statusCodeError = platform::ERROR_INTERNET_INCORRECT_HANDLE_STATE;
  return e;
}

ScriptedExchange reasonQueryFails() {
  ScriptedExchange e = ScriptedExchange::answer(503, "Busy");
  e.statusTextError = platform::ERROR_INSUFFICIENT_BUFFER;
  return e;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SoapClientStatus,
    ::testing::Values(
        StatusCase{
            "NotFound",
            ScriptedExchange::answer(404, "Not Found"),
            false,
            SoapClientState::ServerError,
            "404 Not Found",
            u"",
            {"CFixedSoapWininetClient::SendRequest(): The server returned HTTP Error 404\n"}},
        StatusCase{"StatusUnreadable",
                   statusQueryFails(),
                   false,
                   SoapClientState::ServerError,
                   "0 Found",
                   u"",
                   {"CFixedSoapWininetClient::SendRequest(): The server returned HTTP Error 0\n"}},
        StatusCase{
            "ReasonUnreadable",
            reasonQueryFails(),
            false,
            SoapClientState::ServerError,
            "503 ",
            u"",
            {"CFixedSoapWininetClient::SendRequest(): The server returned HTTP Error 503\n"}},
        StatusCase{"ReadableFault",
                   ScriptedExchange::answer(500, "Internal Server Error", kReadableFault),
                   false,
                   SoapClientState::SoapFault,
                   "500 Internal Server Error",
                   u"Session 42 has expired",
                   {}},
        StatusCase{"HtmlFault",
                   ScriptedExchange::answer(500, "Internal Server Error", "<html><p>oops</html>"),
                   false,
                   SoapClientState::FaultParseError,
                   "500 Internal Server Error",
                   u"",
                   {}},
        StatusCase{"NoFaultReader",
                   ScriptedExchange::answer(500, "Internal Server Error", kReadableFault),
                   true,
                   SoapClientState::SoapFault,
                   "500 Internal Server Error",
                   u"",
                   {}}),
    [](const auto& p) { return std::string(p.param.name); });

struct PromptCase {
  const char* name;
  ScriptedExchange first;
  std::vector<ErrorCode> answers;
  ErrorCode promptedError;
  bool succeeds;
  const char* failedStep;
  const char* statusText;
  ErrorCode lastError;
};
// Names the case in test output instead of dumping its bytes.
void PrintTo(const PromptCase& c, std::ostream* out) { *out << c.name; }

class SoapClientPrompt : public SoapClientTest, public ::testing::WithParamInterface<PromptCase> {};

TEST_P(SoapClientPrompt, FollowsTheAnswer) {
  const PromptCase& c = GetParam();
  internet.exchanges.push_back(c.first);
  internet.exchanges.push_back(ScriptedExchange::answer(200, "OK"));
  internet.promptAnswers.assign(c.answers.begin(), c.answers.end());

  EXPECT_EQ(client.SendRequest(kAction), c.succeeds ? 0u : platform::E_FAIL);
  ASSERT_EQ(internet.prompts.size(), 1u);
  EXPECT_EQ(internet.prompts[0].error, c.promptedError);
  EXPECT_EQ(internet.prompts[0].flags, 7u);
  EXPECT_EQ(internet.requests.size(), 1u) << "a prompted resend keeps its request";
  EXPECT_EQ(internet.sends.size(), c.succeeds ? 2u : 1u);
  EXPECT_EQ(client.errorState, c.succeeds ? SoapClientState::Success : SoapClientState::SendError);
  EXPECT_EQ(client.GetFailedStepText(), c.failedStep);
  EXPECT_EQ(client.GetStatusText(), c.statusText);
  EXPECT_EQ(client.lastError, c.lastError);
}

INSTANTIATE_TEST_SUITE_P(
    Prompts, SoapClientPrompt,
    ::testing::Values(
        PromptCase{"CredentialsGiven",
                   ScriptedExchange::answer(401, "Unauthorized"),
                   {platform::ERROR_INTERNET_FORCE_RETRY},
                   0,
                   true,
                   "",
                   "",
                   0},
        PromptCase{"CredentialsCancelled",
                   ScriptedExchange::answer(401, "Unauthorized"),
                   {platform::ERROR_CANCELLED},
                   0,
                   false,
                   "InternetErrorDlg cancelled by user",
                   "401 Unauthorized",
                   0},
        PromptCase{"CredentialsNothingToAsk",
                   ScriptedExchange::answer(401, "Unauthorized"),
                   {platform::ERROR_SUCCESS},
                   0,
                   false,
                   "InternetErrorDlg cancelled by user",
                   "401 Unauthorized",
                   0},
        PromptCase{"ProxyPromptFails",
                   ScriptedExchange::answer(407, "Proxy Authentication Required"),
                   {platform::ERROR_INTERNET_INTERNAL_ERROR},
                   0,
                   false,
                   "InternetErrorDlg failed",
                   "407 Proxy Authentication Required",
                   platform::ERROR_INTERNET_INTERNAL_ERROR},
        PromptCase{"UnknownAuthorityAccepted",
                   ScriptedExchange::failure(platform::ERROR_INTERNET_INVALID_CA),
                   {platform::ERROR_SUCCESS},
                   platform::ERROR_INTERNET_INVALID_CA,
                   true,
                   "",
                   "",
                   0},
        PromptCase{"WrongNameRetried",
                   ScriptedExchange::failure(platform::ERROR_INTERNET_SEC_CERT_CN_INVALID),
                   {platform::ERROR_INTERNET_FORCE_RETRY},
                   platform::ERROR_INTERNET_SEC_CERT_CN_INVALID,
                   true,
                   "",
                   "",
                   0},
        PromptCase{"ExpiredCertificateDeclined",
                   ScriptedExchange::failure(platform::ERROR_INTERNET_SEC_CERT_DATE_INVALID),
                   {platform::ERROR_CANCELLED},
                   platform::ERROR_INTERNET_SEC_CERT_DATE_INVALID,
                   false,
                   "InternetErrorDlg cancelled by user",
                   "",
                   platform::ERROR_INTERNET_SEC_CERT_DATE_INVALID},
        PromptCase{"PasswordPromptFails",
                   ScriptedExchange::failure(platform::ERROR_INTERNET_INCORRECT_PASSWORD),
                   {platform::ERROR_NOT_SUPPORTED},
                   platform::ERROR_INTERNET_INCORRECT_PASSWORD,
                   false,
                   "InternetErrorDlg failed",
                   "",
                   platform::ERROR_NOT_SUPPORTED}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(SoapClientTest, PromptLoopRepeatsAsLongAsTheUserRetries) {
  for (int i = 0; i < 3; ++i) internet.exchanges.push_back(ScriptedExchange::answer(401, "No"));
  internet.promptAnswers = {platform::ERROR_INTERNET_FORCE_RETRY,
                            platform::ERROR_INTERNET_FORCE_RETRY,
                            platform::ERROR_INTERNET_FORCE_RETRY};
  EXPECT_EQ(client.SendRequest(kAction), 0u);
  EXPECT_EQ(internet.sends.size(), 4u);
}

struct OpeningCase {
  const char* name;
  ErrorCode openError, connectError, openRequestError;
  SoapClientState state;
  const char* failedStep;
  std::vector<std::string> debug;
};
// Names the case in test output instead of dumping its bytes.
void PrintTo(const OpeningCase& c, std::ostream* out) { *out << c.name; }

class SoapClientOpening : public SoapClientTest,
                          public ::testing::WithParamInterface<OpeningCase> {};

TEST_P(SoapClientOpening, ReportsTheFailedStep) {
  const OpeningCase& c = GetParam();
  // A failure left by an earlier request must not linger.
  internet.exchanges.push_back(ScriptedExchange::answer(404, "Not Found"));
  client.SendRequest(kAction);
  client.ResetForRequest();
  client.SetUrl("http://other/x");
  fake.debugOutput.lines.clear();
  internet.openError = c.openError;
  internet.connectError = c.connectError;
  internet.openRequestError = c.openRequestError;

  EXPECT_EQ(client.SendRequest(kAction), platform::E_FAIL);
  EXPECT_EQ(client.errorState, c.state);
  EXPECT_EQ(client.lastError, 12004u);
  EXPECT_EQ(client.GetFailedStepText(), c.failedStep);
  EXPECT_EQ(client.GetStatusText(), "");
  EXPECT_EQ(fake.debugOutput.lines, c.debug);
  if (c.state == SoapClientState::ConnectError) {
    EXPECT_EQ(internet.liveSessions, 0);
    EXPECT_EQ(internet.liveConnections, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SoapClientOpening,
    ::testing::Values(
        OpeningCase{"Open", 12004, 0, 0, SoapClientState::ConnectError, "InternetOpen failed", {}},
        OpeningCase{
            "Connect", 0, 12004, 0, SoapClientState::ConnectError, "InternetConnect failed", {}},
        OpeningCase{"OpenRequest",
                    0,
                    0,
                    12004,
                    SoapClientState::SendError,
                    "HttpOpenRequest failed",
                    {"CFixedSoapWininetClient::SendHttpRequest() HttpOpenRequest failed with error "
                     "12004\n",
                     "CFixedSoapWininetClient::SendRequest(): SendHttpRequest failed with error "
                     "12004\n"}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(SoapClientTest, BrokenDownSendIsReportedNotRetried) {
  ScriptedExchange broken = ScriptedExchange::failure(platform::ERROR_INTERNET_CANNOT_CONNECT);
  broken.throws = true;
  internet.exchanges.push_back(broken);
  EXPECT_EQ(client.SendRequest(kAction), platform::E_FAIL);
  EXPECT_EQ(internet.sends.size(), 1u);
  EXPECT_EQ(client.errorState, SoapClientState::SendError);
  EXPECT_THAT(
      fake.debugOutput.lines,
      ElementsAre("Unexpected exception in CFixedSoapWininetClient::SendHttpRequest()\n",
                  "CFixedSoapWininetClient::SendRequest(): SendHttpRequest failed with error 0\n"));
}

TEST_F(SoapClientTest, HandlesCloseWithTheirOwners) {
  internet.exchanges.push_back(
      ScriptedExchange::answer(500, "Internal Server Error", kReadableFault));
  client.SendRequest(kAction);
  EXPECT_EQ(client.faultInfo.code, 400);
  EXPECT_EQ(internet.liveRequests, 1);

  client.ResetForRequest();
  EXPECT_EQ(internet.liveRequests, 0);
  EXPECT_EQ(client.faultInfo.code, 0);
  EXPECT_EQ(client.requestBody(), "");
  std::uint32_t got = 1;
  char byte;
  EXPECT_NE(client.GetResponseStream().read(&byte, 1, &got), 0u);
  EXPECT_EQ(got, 0u);

  client.SendRequest(kAction);
  EXPECT_EQ(client.SetUrl("http://elsewhere/"), 0u);
  EXPECT_EQ(internet.liveSessions + internet.liveConnections + internet.liveRequests, 0);
  client.SendRequest(kAction);
  EXPECT_EQ(internet.hosts.back(), "elsewhere");
  {
    Client scoped(fake.system(), internet);
    scoped.SetUrl("http://h/");
    scoped.SendRequest(kAction);
  }
  EXPECT_EQ(internet.liveSessions, 1) << "only the fixture's client is left";
}

TEST_F(SoapClientTest, ParseFaultArguments) {
  EXPECT_EQ(client.ParseFault(nullptr, nullptr), platform::E_INVALIDARG);
  client.readerFails = true;
  EXPECT_EQ(client.ParseFault(&client.GetResponseStream(), nullptr), platform::E_FAIL);
}

}  // namespace
