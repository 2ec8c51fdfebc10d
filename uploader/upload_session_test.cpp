#include "uploader/upload_session.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <span>

#include "platform/testing/fake_system.h"
#include "uploader/header_probe.h"
#include "uploader/messages.h"
#include "uploader/program.h"

namespace uploader {
namespace {

using platform::testing::FakeSystem;

constexpr std::string_view kBrowserAssociation =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CLASSES_ROOT\\.htm]\r\n@=\"htmlfile\"\r\n"
    "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\r\n@=\"browser \\\"%1\\\"\"\r\n";

TEST(CUploadSession, ReadsTheStartUpOptionsAndTheirDefaults) {
  FakeSystem fake;
  fake.environment.commandLineText =
      "\"C:\\Program Files\\Dravik.exe\" -server http://h:81 -wizard \"\" -error /e.aspx "
      "-lang de -skin blue -debug 3x";
  CUploadSession session(fake);
  EXPECT_EQ(session.server, "http://h:81");
  EXPECT_EQ(session.webServicePath, "/FileUploadWS/FileUploadWS.dll");
  EXPECT_EQ(session.wizardPath, "/tolvane/webaccess/printdriver.xuf");
  EXPECT_EQ(session.errorPath, "/e.aspx");
  EXPECT_EQ(session.languageCode, "de");
  EXPECT_EQ(session.skinName, "blue");
  EXPECT_EQ(session.sessionId, "");
  EXPECT_EQ(session.bytesSent, 0u);
  EXPECT_EQ(session.fileSize, 0u);
  EXPECT_EQ(debugLevel, 3);
  EXPECT_EQ(messageLevel, 3);

  fake.environment.commandLineText = "Dravik -file x";
  CUploadSession bare(fake);
  EXPECT_EQ(bare.server, "");
  EXPECT_EQ(bare.errorPath, "/tolvane/webaccess/uploaderror.aspx");
  EXPECT_EQ(debugLevel, 0);
  EXPECT_EQ(messageLevel, 0);
}

TEST(Run, WithoutFileOptionReportsAndOpensTheErrorPage) {
  FakeSystem fake;
  fake.systemMessages.texts = {{160, "One or more arguments are not correct."}};
  ASSERT_EQ(fake.registry.loadRegText(kBrowserAssociation), 0u);
  const std::string line = "Dravik -server http://h -filex a.pmf -debug 1";
  fake.environment.commandLineText = line;
  CUploadSession session(fake);
  session.Run();

  ASSERT_EQ(fake.desktop.boxes.size(), 2u);
  EXPECT_EQ(fake.desktop.boxes[0].caption, "Dravik");
  EXPECT_EQ(fake.desktop.boxes[0].text, "160: One or more arguments are not correct.\r\n\n" + line);
  EXPECT_EQ(fake.desktop.boxes[1].caption, "Dravik(1): file option missing");
  EXPECT_EQ(fake.desktop.boxes[1].text, "-file");
  ASSERT_EQ(fake.processes.commandLines.size(), 1u);
  EXPECT_EQ(fake.processes.commandLines[0],
            "browser \"http://h/tolvane/webaccess/uploaderror.aspx"
            "?Failure=Missing%20file%20option:%20-file\"");
  EXPECT_TRUE(fake.processes.started[0]->handleClosed);
}

TEST(Run, APluginRefusalEndsTheRunWithoutTouchingTheDocument) {
  FakeSystem fake;
  fake.systemMessages.texts.clear();
  ASSERT_EQ(fake.registry.loadRegText(kBrowserAssociation), 0u);
  fake.environment.commandLineText = "Dravik -file /t/doc.pmf -submitdoc /p/missing.so -debug 1";
  CUploadSession session(fake);
  session.Run();
  ASSERT_EQ(fake.desktop.boxes.size(), 3u);
  EXPECT_EQ(fake.desktop.boxes[1].caption, "Dravik(1): SubmitDoc cannot load library");
  EXPECT_EQ(fake.desktop.boxes[2].caption, "Dravik(1): invalid document");
  EXPECT_EQ(fake.desktop.boxes[2].text, "/t/doc.pmf");
  EXPECT_EQ(fake.processes.commandLines.size(), 1u);
}

TEST(Run, AnOverLongPathIsNeverCutIntoAnotherFile) {
  FakeSystem fake;
  fake.systemMessages.texts = {{206, "The file name or path is too long."}};
  ASSERT_EQ(fake.registry.loadRegText(kBrowserAssociation), 0u);
  const std::string path = "/t/" + std::string(297, 'd');
  fake.environment.commandLineText = "Dravik -file " + path + " -submitdoc /p/plug.so -debug 1";
  fake.libraries.add("/p/plug.so", {});
  CUploadSession session(fake);
  session.Run();

  const std::string cut = path.substr(0, 259);
  EXPECT_TRUE(fake.libraries.loads.empty());
  ASSERT_EQ(fake.desktop.boxes.size(), 2u);
  EXPECT_EQ(fake.desktop.boxes[0].text, "206: The file name or path is too long.\r\n\n" + cut);
  EXPECT_EQ(fake.desktop.boxes[1].caption, "CreateFile failed");
  ASSERT_EQ(fake.processes.commandLines.size(), 1u);
  EXPECT_EQ(
      fake.processes.commandLines[0],
      "browser \"/tolvane/webaccess/uploaderror.aspx?Failure=Cannot%20open%20file&FilePath=" + cut +
          "&SystemError=206:%20The%20file%20name%20or%20path%20is%20too%20long.%0d%0a\"");
}

std::array<std::byte, kHeaderProbeSize> metaHeader(std::uint32_t version,
                                                   std::uint32_t pageCountPlusOne,
                                                   std::uint8_t sizeRatio) {
  std::array<std::byte, kHeaderProbeSize> header{};
  std::memcpy(header.data(), "VARDO PRINTER META FILE ", 24);
  for (int i = 0; i < 4; ++i) {
    header[24 + i] = static_cast<std::byte>(version >> (8 * i));
    header[40 + i] = static_cast<std::byte>(pageCountPlusOne >> (8 * i));
  }
  header[44] = static_cast<std::byte>(sizeRatio);
  return header;
}

TEST(ProbeHeader, TrustsOnlyAWholeHeaderOfVersionFiveOrAbove) {
  struct Case {
    const char* name;
    std::array<std::byte, kHeaderProbeSize> header;
    std::size_t length;
    std::int32_t compressionRate;
    std::int32_t pageCount;
  };
  auto otherMagic = metaHeader(5, 4, 30);
  otherMagic[23] = std::byte{'_'};
  const Case cases[] = {
      {"statistics", metaHeader(5, 4, 30), kHeaderProbeSize, 70, 3},
      {"a later version", metaHeader(0x80000000u, 2, 99), kHeaderProbeSize, 1, 1},
      {"ratio 0", metaHeader(5, 4, 0), kHeaderProbeSize, 100, 3},
      {"ratio 100 and count unknown", metaHeader(5, 1, 100), kHeaderProbeSize, 0, 0},
      {"ratio above 100, count 0", metaHeader(5, 0, 250), kHeaderProbeSize, 0, 0},
      {"version 4", metaHeader(4, 4, 30), kHeaderProbeSize, 0, 0},
      {"short", metaHeader(5, 4, 30), kHeaderProbeSize - 1, 0, 0},
      {"nothing", metaHeader(5, 4, 30), 0, 0, 0},
      {"other magic", otherMagic, kHeaderProbeSize, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const HeaderStatistics statistics = ProbeHeader(std::span(c.header).first(c.length));
    EXPECT_EQ(statistics.compressionRate, c.compressionRate);
    EXPECT_EQ(statistics.pageCount, c.pageCount);
  }
}

// The upload against scripted HTTP and files in memory, for what the real
// system can't be made to do on cue.
class Upload : public ::testing::Test {
 protected:
  static constexpr const char* kDocument = "/spool/doc.pmf";

  Upload() {
    fake.systemMessages.texts = {{31, "A device attached to the system is not functioning."},
                                 {1223, "The operation was canceled by the user."}};
    EXPECT_EQ(fake.registry.loadRegText(kBrowserAssociation), 0u);
  }

  void answer(std::string body) {
    fake.internet.exchanges.push_back(
        platform::testing::ScriptedExchange::answer(200, "OK", std::move(body)));
  }
  void answerStart() {
    answer(
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Header>"
        "<SessionHeaderValue><sessionID>S-1</sessionID></SessionHeaderValue></s:Header>"
        "<s:Body><StartUpload><return>S-1</return></StartUpload></s:Body></s:Envelope>");
  }
  void answerFault(std::string detail) {
    fake.internet.exchanges.push_back(platform::testing::ScriptedExchange::answer(
        500, "Internal Server Error",
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><s:Fault>"
        "<faultcode>s:Server</faultcode><faultstring>Injected</faultstring><detail>" +
            detail + "</detail></s:Fault></s:Body></s:Envelope>"));
  }

  void run(const std::string& options) {
    fake.environment.commandLineText =
        "Dravik -file " + std::string(kDocument) + " -server http://h:81 -debug 1 " + options;
    CUploadSession session(fake);
    session.Run();
  }

  std::vector<std::string> actions() const {
    std::vector<std::string> sent;
    for (const auto& send : fake.internet.sends) {
      const std::size_t at = send.headers.find("#");
      sent.push_back(send.headers.substr(at + 1, send.headers.find('"', at) - at - 1));
    }
    return sent;
  }

  std::vector<std::string> captions() const {
    std::vector<std::string> shown;
    for (const auto& box : fake.desktop.boxes) shown.push_back(box.caption);
    return shown;
  }

  platform::testing::FakeSystem fake;
};

TEST_F(Upload, AReadErrorAfterTwoChunksOpensItsPageAndStillClosesTheSession) {
  fake.files.setFile(kDocument, std::string(3 * 1024, 'x'));
  fake.files.failReadAt(kDocument, 2 * 1024, 31);
  answerStart();
  answer("<ok/>");
  answer("<ok/>");
  answerFault("Session closed early");
  run("-chunksize 1");

  EXPECT_EQ(actions(),
            (std::vector<std::string>{"StartUpload", "UploadChunk", "UploadChunk", "EndUpload"}));
  EXPECT_EQ(captions(), (std::vector<std::string>{"Dravik", "Dravik", "EndUpload failed"}));
  EXPECT_EQ(fake.desktop.boxes[0].text,
            "31: A device attached to the system is not functioning.\r\n\n/spool/doc.pmf");
  EXPECT_EQ(fake.desktop.boxes[2].text,
            "SOAP error 7: The server returned a SOAP fault. Session closed early");
  ASSERT_EQ(fake.processes.commandLines.size(), 3u);
  EXPECT_EQ(fake.processes.commandLines[1],
            "browser \"http://h:81/tolvane/webaccess/uploaderror.aspx?sid=S-1"
            "&FilePath=/spool/doc.pmf&Failure=Cannot%20read%20file&FileSize=3072"
            "&FileOffset=2048&SystemError=31:%20A%20device%20attached%20to%20the%20system%20is"
            "%20not%20functioning.%0d%0a\"");
  EXPECT_EQ(fake.processes.commandLines[2],
            "browser \"http://h:81/tolvane/webaccess/uploaderror.aspx?sid=S-1"
            "&Failure=SOAP%20error%207:%20The%20server%20returned%20a%20SOAP%20fault."
            "&errordetail=Session%20closed%20early&action=EndUpload&filename=doc.pmf"
            "&FileSize=3072&FileOffset=2048"
            "&URL=http://h:81/FileUploadWS/FileUploadWS.dll%3fHandler%3dDefault"
            "&Status=500%20Internal%20Server%20Error&SystemError=0x80004005\"");
  EXPECT_FALSE(fake.files.exists(kDocument));
  EXPECT_EQ(fake.files.openCount(), 0);
}

TEST_F(Upload, AChunkSizeBeyondWhatAReadTakesIsReportedAsAReadFailure) {
  fake.files.setFile(kDocument, "abc");
  answerStart();
  answer("<ok/>");
  run("-chunksize 4194304");

  EXPECT_EQ(actions(), (std::vector<std::string>{"StartUpload", "EndUpload"}));
  EXPECT_EQ(captions(), (std::vector<std::string>{"Dravik"}));
  EXPECT_EQ(fake.desktop.boxes[0].text, "8\n/spool/doc.pmf");
  ASSERT_EQ(fake.processes.commandLines.size(), 2u);
  EXPECT_EQ(fake.processes.commandLines[1],
            "browser \"http://h:81/tolvane/webaccess/uploaderror.aspx?sid=S-1"
            "&FilePath=/spool/doc.pmf&Failure=Cannot%20read%20file&FileSize=3&FileOffset=0"
            "&SystemError=8\"");
}

// Browsers whose window the user closes: every started process ends by the
// given look at it.
class ClosedBrowsers : public platform::testing::RecordedProcesses {
 public:
  explicit ClosedBrowsers(int check) : check_(check) {}
  platform::ErrorCode start(std::string_view commandLine,
                            std::unique_ptr<platform::Process>& out) override {
    const platform::ErrorCode error = RecordedProcesses::start(commandLine, out);
    if (error == platform::ERROR_SUCCESS) last().endOnCheck = check_;
    return error;
  }

 private:
  int check_;
};

TEST_F(Upload, ABrowserClosedDuringTheUploadStopsTheChunksButClosesTheSession) {
  fake.files.setFile(kDocument, std::string(3 * 1024, 'x'));
  answerStart();
  answer("<ok/>");
  answer("<ok/>");
  ClosedBrowsers processes(2);
  platform::System system{fake.registry,    fake.desktop,     processes,           fake.libraries,
                          fake.files,       fake.codePages,   fake.systemMessages, fake.clock,
                          fake.environment, fake.debugOutput, fake.internet};
  fake.environment.commandLineText =
      "Dravik -file /spool/doc.pmf -server http://h:81 -debug 1 -chunksize 1 -delete NO";
  CUploadSession session(system);
  session.Run();

  EXPECT_EQ(actions(), (std::vector<std::string>{"StartUpload", "UploadChunk", "EndUpload"}));
  EXPECT_EQ(captions(), (std::vector<std::string>{"Dravik", "Dravik(1): UploadChunk aborted"}));
  EXPECT_EQ(session.bytesSent, 1024u);
  ASSERT_EQ(processes.started.size(), 1u);
  EXPECT_EQ(processes.started[0]->checks, 2);
  EXPECT_TRUE(processes.started[0]->handleClosed);
  EXPECT_TRUE(fake.files.exists(kDocument));
}

TEST(RunProgram, NoArgumentTextShowsOnlyTheUsageBox) {
  FakeSystem fake;
  fake.environment.commandLineText = "Dravik";
  EXPECT_EQ(RunProgram(fake, false), 0);
  ASSERT_EQ(fake.desktop.boxes.size(), 1u);
  EXPECT_EQ(fake.desktop.boxes[0].caption, "Dravik: usage");
  EXPECT_EQ(fake.desktop.boxes[0].style, platform::MB_ICONINFORMATION | platform::MB_OK);
  EXPECT_EQ(fake.desktop.boxes[0].text,
            "Dravik -file <local_file_path> -server <server_url> [-webservice "
            "<webservice_page>] [-wizard <wizard_page>] [-error <error_page>] [-skin <skin>] "
            "[-lang <language_code>] [-timeout <seconds>] [-delete no] [-chunksize <kbytes>] "
            "[-submitdoc <dll_path>] [-printer <printer_name>] [-checkwizard no] [-association "
            ".<extension>|<type>] [-debug 1|2|3|4|5|6]");
  EXPECT_TRUE(fake.processes.commandLines.empty());
}

TEST(RunProgram, ArgumentsWithoutFileRunTheSessionAndStillExitWithZero) {
  FakeSystem fake;
  fake.environment.commandLineText = "Dravik -server http://h";
  EXPECT_EQ(RunProgram(fake, true), 0);
  ASSERT_FALSE(fake.desktop.boxes.empty());
  EXPECT_EQ(fake.desktop.boxes[0].caption, "Dravik");
  EXPECT_NE(fake.desktop.boxes[0].text.find("\nDravik -server http://h"), std::string::npos);
}

}  // namespace
}  // namespace uploader
