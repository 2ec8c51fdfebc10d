#include "uploader/browser.h"

#include <gtest/gtest.h>

#include "platform/testing/fake_system.h"
#include "uploader/messages.h"
#include "uploader/upload_session.h"

namespace uploader {
namespace {

using platform::RegistryRoot;
using platform::testing::FakeSystem;

TEST(SubstituteArgument, InsertsTheUrlAtTheFirstPlaceholderOnly) {
  const std::tuple<std::string_view, std::string_view, std::string> cases[] = {
      {"\"C:\\Browser\\b.exe\" \"%1\"", "http://h/p?a=1",
       "\"C:\\Browser\\b.exe\" \"http://h/p?a=1\""},
      {"browser -nohome %1 -x", "u", "browser -nohome u -x"},
      {"browser", "http://h", "browser http://h"},
      {"browser %L %* %2 %%1", "u", "browser %L %* %2 %u"},
      {"a %1 b %1 c", "u", "a u b  c"},
      {"%1", "", ""},
      {"browser %", "u", "browser % u"},
  };
  for (const auto& [commandTemplate, url, commandLine] : cases) {
    SCOPED_TRACE(std::string(commandTemplate));
    EXPECT_EQ(SubstituteArgument(commandTemplate, url), commandLine);
  }
}

constexpr std::string_view kRegHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

class LaunchAssociationTest : public ::testing::Test {
 protected:
  LaunchAssociationTest() {
    fake.systemMessages.texts.clear();
    debugLevel = messageLevel = 0;
  }

  void load(std::string_view body) {
    ASSERT_EQ(fake.registry.loadRegText(std::string(kRegHeader) + std::string(body)), 0u);
  }

  // The standard association: .htm is an htmlfile opened by "browser".
  void loadStandard() {
    load(
        "[HKEY_CLASSES_ROOT\\.htm]\r\n@=\"htmlfile\"\r\n"
        "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\r\n"
        "@=\"browser \\\"%1\\\"\"\r\n");
  }

  FakeSystem fake;
};

TEST_F(LaunchAssociationTest, StartsTheExtensionsFileTypeCommand) {
  loadStandard();
  const auto process = LaunchAssociation(fake, "Cap", "http://h/p", "");
  ASSERT_NE(process, nullptr);
  ASSERT_EQ(fake.processes.commandLines.size(), 1u);
  EXPECT_EQ(fake.processes.commandLines[0], "browser \"http://h/p\"");
  EXPECT_TRUE(fake.desktop.boxes.empty());
  EXPECT_FALSE(process->hasEnded());
}

TEST_F(LaunchAssociationTest, FileTypeNamedDirectlyAndDefaultVerbAndExpansion) {
  load(
      "[HKEY_CLASSES_ROOT\\.htm]\r\n@=\"unused\"\r\n"
      "[HKEY_CLASSES_ROOT\\viewer\\shell]\r\n@=\"view\"\r\n"
      "[HKEY_CLASSES_ROOT\\viewer\\shell\\open\\command]\r\n@=\"wrong %1\"\r\n"
      "[HKEY_CLASSES_ROOT\\viewer\\shell\\view\\command]\r\n"
      // "%ProgramFiles%\v.exe" %1, as REG_EXPAND_SZ in UTF-16LE hex.
      "@=hex(2):25,00,50,00,72,00,6f,00,67,00,72,00,61,00,6d,00,46,00,69,00,6c,00,65,00,73,00,"
      "25,00,2f,00,76,00,20,00,25,00,31,00,00,00\r\n");
  fake.environment.variables["ProgramFiles"] = "/opt/programs";
  ASSERT_NE(LaunchAssociation(fake, "Cap", "http://h/p", "viewer"), nullptr);
  ASSERT_EQ(fake.processes.commandLines.size(), 1u);
  EXPECT_EQ(fake.processes.commandLines[0], "/opt/programs/v http://h/p");
}

TEST_F(LaunchAssociationTest, EmptyUrlStartsNothingAndSaysNothing) {
  loadStandard();
  EXPECT_EQ(LaunchAssociation(fake, "Cap", "", ".htm"), nullptr);
  EXPECT_TRUE(fake.processes.commandLines.empty());
  EXPECT_TRUE(fake.desktop.boxes.empty());
}

struct FailureCase {
  const char* description;
  std::string reg;
  std::string association;
  std::string boxText;
};

TEST_F(LaunchAssociationTest, EveryFailingStepNamesItsCodeAndRegistryPath) {
  const std::string command = "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\r\n";
  const std::string commandPath = "HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command";
  const std::string htm = "[HKEY_CLASSES_ROOT\\.htm]\r\n@=\"htmlfile\"\r\n";
  const FailureCase cases[] = {
      {"no extension key", "", ".htm", "2\nHKEY_CLASSES_ROOT\\.htm"},
      {"no file type value", "[HKEY_CLASSES_ROOT\\.pmf]\r\n\"x\"=\"y\"\r\n", ".pmf",
       "2\nHKEY_CLASSES_ROOT\\.pmf"},
      {"empty file type", "[HKEY_CLASSES_ROOT\\.htm]\r\n@=\"\"\r\n", ".htm",
       "13\nHKEY_CLASSES_ROOT\\.htm"},
      {"file type of the wrong type", "[HKEY_CLASSES_ROOT\\.htm]\r\n@=dword:00000001\r\n", ".htm",
       "13\nHKEY_CLASSES_ROOT\\.htm"},
      {"file type longer than its buffer",
       "[HKEY_CLASSES_ROOT\\.htm]\r\n@=\"" + std::string(128, 't') + "\"\r\n", ".htm",
       "234\nHKEY_CLASSES_ROOT\\.htm"},
      {"no file type key", htm, "", "2\nHKEY_CLASSES_ROOT\\htmlfile"},
      {"no shell key", htm + "[HKEY_CLASSES_ROOT\\htmlfile]\r\n", "",
       "2\nHKEY_CLASSES_ROOT\\htmlfile\\shell"},
      {"no verb key", htm + "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\print]\r\n", "",
       "2\nHKEY_CLASSES_ROOT\\htmlfile\\shell\\open"},
      {"default verb without its key",
       htm + "[HKEY_CLASSES_ROOT\\htmlfile\\shell]\r\n@=\"edit\"\r\n" + command +
           "@=\"browser %1\"\r\n",
       "", "2\nHKEY_CLASSES_ROOT\\htmlfile\\shell\\edit"},
      {"no command key", htm + "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open]\r\n", "",
       "2\n" + commandPath},
      {"no command value", htm + command, "", "2\n" + commandPath},
      {"empty command", htm + command + "@=\"\"\r\n", "", "13\n" + commandPath},
      {"command of the wrong type", htm + command + "@=hex:41,00\r\n", "htmlfile",
       "13\n" + commandPath},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.description);
    FakeSystem local;
    local.systemMessages.texts.clear();
    ASSERT_EQ(local.registry.loadRegText(std::string(kRegHeader) + c.reg), 0u);
    EXPECT_EQ(LaunchAssociation(local, "Office Printer", "http://h", c.association), nullptr);
    EXPECT_TRUE(local.processes.commandLines.empty());
    ASSERT_EQ(local.desktop.boxes.size(), 1u);
    EXPECT_EQ(local.desktop.boxes[0].caption, "Office Printer");
    EXPECT_EQ(local.desktop.boxes[0].text, c.boxText);
    EXPECT_EQ(local.desktop.boxes[0].style, platform::MB_ICONWARNING | platform::MB_OK);
  }
}

TEST_F(LaunchAssociationTest, AFailedStartNamesTheCommandLine) {
  loadStandard();
  fake.processes.failNextStart(platform::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(LaunchAssociation(fake, "Cap", "http://h", ""), nullptr);
  ASSERT_EQ(fake.desktop.boxes.size(), 1u);
  EXPECT_EQ(fake.desktop.boxes[0].text, "2\nbrowser \"http://h\"");
}

TEST_F(LaunchAssociationTest, OpenUrlKeepsTheProcessOnlyForASlot) {
  loadStandard();
  fake.environment.commandLineText = "Dravik -debug 2";
  CUploadSession session(fake);
  std::unique_ptr<platform::Process> browser;
  EXPECT_TRUE(session.OpenUrl("http://h/wizard", &browser));
  EXPECT_TRUE(session.OpenUrl("http://h/error", nullptr));
  ASSERT_NE(browser, nullptr);
  ASSERT_EQ(fake.processes.started.size(), 2u);
  EXPECT_FALSE(fake.processes.started[0]->handleClosed);
  EXPECT_TRUE(fake.processes.started[1]->handleClosed);
  fake.processes.started[0]->ended = true;
  EXPECT_TRUE(browser->hasEnded());
  EXPECT_TRUE(fake.desktop.boxes.empty());
}

TEST_F(LaunchAssociationTest, OpenUrlUsesTheAssociationOptionAndReportsBrowseFailures) {
  loadStandard();
  fake.environment.commandLineText = "Dravik -association .pdf -printer P -debug 2";
  CUploadSession session(fake);
  EXPECT_FALSE(session.OpenUrl("http://h", nullptr));
  ASSERT_EQ(fake.desktop.boxes.size(), 2u);
  EXPECT_EQ(fake.desktop.boxes[0].caption, "P");
  EXPECT_EQ(fake.desktop.boxes[0].text, "2\nHKEY_CLASSES_ROOT\\.pdf");
  EXPECT_EQ(fake.desktop.boxes[1].caption, "Dravik(2): OpenURL");
  EXPECT_EQ(fake.desktop.boxes[1].text, "Browse failed");

  // At level 1 only the registry box remains.
  fake.desktop.boxes.clear();
  fake.environment.commandLineText = "Dravik -association .pdf -debug 1";
  CUploadSession quieter(fake);
  EXPECT_FALSE(quieter.OpenUrl("http://h", nullptr));
  ASSERT_EQ(fake.desktop.boxes.size(), 1u);
  EXPECT_EQ(fake.desktop.boxes[0].caption, "Dravik");
}

}  // namespace
}  // namespace uploader
