// The client over real HTTP: the native Internet backend against the
// reference server on 127.0.0.1, started and stopped by each test.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "platform/testing/fake_system.h"
#include "uploadclient/file_upload_ws_proxy.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

class RealClock : public platform::Clock {
 public:
  std::uint32_t tickCount() override { return static_cast<std::uint32_t>(tickCount64()); }
  std::uint64_t tickCount64() override {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
  }
  void sleep(std::uint32_t ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

class ServerProcess {
 public:
  ServerProcess(const fs::path& folder, std::vector<std::string> options)
      : store_(folder / "store") {
    const fs::path output = folder / "server.out";
    std::vector<std::string> args = {UPLOADWS_SERVER, "--store", store_.string()};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) pid_ = -1;
    for (int i = 0; i < 500 && pid_ > 0; ++i) {
      std::string text = readFile(output);
      if (text.find('\n') != std::string::npos) {
        port_ = std::stoi(text);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~ServerProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
  }
  int port() const { return port_; }
  const fs::path& store() const { return store_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  fs::path store_;
};

class LoopbackTest : public ::testing::Test {
 protected:
  LoopbackTest() {
    folder_ = fs::temp_directory_path() /
              ("uploadclient-loopback-" + std::to_string(std::random_device()()));
    fs::create_directories(folder_);
  }
  ~LoopbackTest() override {
    server_.reset();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  void startServer(std::vector<std::string> options) {
    server_ = std::make_unique<ServerProcess>(folder_, std::move(options));
    ASSERT_GT(server_->port(), 0);
  }

  std::string serviceUrl(const std::string& path = "/FileUploadWS/FileUploadWS.dll") const {
    return "http://127.0.0.1:" + std::to_string(server_->port()) + path + "?Handler=Default";
  }

  std::string log() const { return readFile(server_->store() / "requests.jsonl"); }

  fs::path folder_;
  std::unique_ptr<ServerProcess> server_;
  platform::testing::FakeSystem fake;
  RealClock clock;
  std::unique_ptr<platform::Internet> internet =
      platform::createNativeInternet(fake.desktop, fake.environment);
  platform::System system{fake.registry,       fake.desktop, fake.processes,
                          fake.libraries,      fake.files,   fake.codePages,
                          fake.systemMessages, clock,        fake.environment,
                          fake.debugOutput,    *internet};
  platform::ScopedSystem scope{system};
};

TEST_F(LoopbackTest, WholeUploadArrivesByteForByte) {
  startServer({});
  std::string document(200'000, '\0');
  std::mt19937 random(7);
  for (char& c : document) c = static_cast<char>(random());

  CFileUploadWSProxy proxy(system);
  ASSERT_EQ(proxy.SetUrl(serviceUrl()), 0u);
  std::u16string sid;
  ASSERT_EQ(
      proxy.StartUpload("C:\\spool\\a&b.pmf", static_cast<std::int32_t>(document.size()), &sid),
      0u);
  ASSERT_EQ(sid.size(), 32u);
  const std::string id(sid.begin(), sid.end());
  EXPECT_EQ(proxy.sessionHeaderId(), id);
  for (std::size_t at = 0; at < document.size(); at += 65536) {
    std::size_t n = std::min<std::size_t>(65536, document.size() - at);
    ASSERT_EQ(proxy.UploadChunk(static_cast<std::uint32_t>(n), document.data() + at), 0u)
        << proxy.GetFailedStepText() << proxy.GetStatusText();
  }
  ASSERT_EQ(proxy.EndUpload(), 0u);

  EXPECT_EQ(readFile(server_->store() / (id + ".data")), document);
  std::string meta = readFile(server_->store() / (id + ".json"));
  EXPECT_NE(meta.find("\"filename\":\"C:\\\\spool\\\\a&b.pmf\""), std::string::npos) << meta;
  EXPECT_NE(meta.find("\"chunks\":4,\"ended\":true"), std::string::npos) << meta;

  std::string requests = log();
  for (const char* expected :
       {"\"version\":\"HTTP/1.0\"", "[\"User-Agent\",\"VCSoapClient\"]", "[\"Accept\",\"text/*\"]",
        "[\"Connection\",\"Keep-Alive\"]", "[\"SOAPAction\",\"\\\"#EndUpload\\\"\"]",
        "[\"Content-Type\",\"text/xml; charset=utf-8\"]",
        "\"target\":\"/FileUploadWS/FileUploadWS.dll?Handler=Default\""}) {
    EXPECT_NE(requests.find(expected), std::string::npos) << expected;
  }
}

TEST_F(LoopbackTest, StatusAndFaultAnswers) {
  startServer({"--soap-fault", "1:Disk full", "--html-500", "2", "--no-session-header", "3"});
  CFileUploadWSProxy proxy(system);

  proxy.SetUrl(serviceUrl("/missing"));
  EXPECT_EQ(proxy.EndUpload(), platform::E_FAIL);  // not a service request
  EXPECT_EQ(proxy.errorState, SoapClientState::ServerError);
  EXPECT_EQ(proxy.GetStatusText(), "404 Not Found");
  EXPECT_EQ(fake.debugOutput.lines.back(),
            "CFixedSoapWininetClient::SendRequest(): The server returned HTTP Error 404\n");

  proxy.SetUrl(serviceUrl());
  EXPECT_EQ(proxy.EndUpload(), platform::E_FAIL);  // service request 1
  EXPECT_EQ(proxy.errorState, SoapClientState::SoapFault);
  EXPECT_EQ(proxy.faultInfo.code, 400);
  EXPECT_EQ(proxy.faultInfo.detail, u"Disk full");
  EXPECT_EQ(proxy.GetStatusText(), "500 Internal Server Error");

  EXPECT_EQ(proxy.EndUpload(), platform::E_FAIL);  // service request 2
  EXPECT_EQ(proxy.errorState, SoapClientState::FaultParseError);

  std::u16string sid = u"unchanged";
  EXPECT_EQ(proxy.StartUpload("f", 1, &sid), platform::E_FAIL);  // service request 3
  EXPECT_EQ(proxy.errorState, SoapClientState::ParseError);
  EXPECT_EQ(sid, u"unchanged");
}

TEST_F(LoopbackTest, ServerThatListensLateIsWaitedFor) {
  startServer({"--refuse", "3"});
  {
    // One second leaves no room for a retry: the refusal is the answer.
    CFileUploadWSProxy impatient(system);
    impatient.timeout = 1000;
    impatient.SetUrl(serviceUrl());
    EXPECT_EQ(impatient.EndUpload(), platform::E_FAIL);
    EXPECT_EQ(impatient.errorState, SoapClientState::SendError);
    EXPECT_EQ(impatient.lastError, platform::ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_EQ(impatient.GetFailedStepText(), "HttpSendRequest failed");
  }
  CFileUploadWSProxy proxy(system);
  proxy.SetUrl(serviceUrl());
  std::u16string sid;
  EXPECT_EQ(proxy.StartUpload("late.pmf", 0, &sid), 0u);
  EXPECT_EQ(proxy.lastError, 0u);
  EXPECT_EQ(proxy.GetFailedStepText(), "");
  EXPECT_FALSE(sid.empty());
}

TEST_F(LoopbackTest, LoginPromptCancelled) {
  startServer({"--auth", "user:secret"});
  CFileUploadWSProxy proxy(system);
  proxy.SetUrl(serviceUrl());

  // No display: nobody is asked, the prompt counts as cancelled.
  EXPECT_EQ(proxy.EndUpload(), platform::E_FAIL);
  EXPECT_EQ(proxy.errorState, SoapClientState::SendError);
  EXPECT_EQ(proxy.GetStatusText(), "401 Unauthorized");
  EXPECT_EQ(proxy.GetFailedStepText(), "InternetErrorDlg cancelled by user");
  EXPECT_TRUE(fake.desktop.boxes.empty());

  // With a display the user is asked, and cancels.
  fake.environment.variables["DISPLAY"] = ":0";
  fake.desktop.answers = {platform::IDCANCEL};
  EXPECT_EQ(proxy.EndUpload(), platform::E_FAIL);
  EXPECT_EQ(proxy.GetFailedStepText(), "InternetErrorDlg cancelled by user");
  ASSERT_EQ(fake.desktop.boxes.size(), 1u);
  EXPECT_EQ(fake.desktop.boxes[0].caption, "Login required");
  EXPECT_NE(fake.desktop.boxes[0].text.find("127.0.0.1"), std::string::npos);
}

}  // namespace
