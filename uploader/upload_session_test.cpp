#include "uploader/upload_session.h"

#include <gtest/gtest.h>

#include "platform/testing/fake_system.h"
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
