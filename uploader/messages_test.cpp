#include "uploader/messages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/testing/fake_system.h"

namespace uploader {
namespace {

using platform::testing::FakeSystem;
using platform::testing::ScriptedDesktop;

std::vector<std::string> captions(const ScriptedDesktop& desktop) {
  std::vector<std::string> out;
  for (const ScriptedDesktop::Box& box : desktop.boxes) out.push_back(box.caption);
  return out;
}

struct LevelCase {
  const char* description;
  std::int32_t debug;
  std::vector<int> answers;
  std::vector<std::int32_t> levelsAsked;
  std::vector<std::string> shown;
};

TEST(ShowMessage, ShowsUpToTheLevelAndCancelSilences) {
  const std::vector<std::int32_t> oneTwoOneTwo = {1, 2, 1, 2};
  const LevelCase cases[] = {
      {"no -debug shows nothing", 0, {}, oneTwoOneTwo, {}},
      {"level 1 shows only level-1 boxes", 1, {}, oneTwoOneTwo, {"L1", "L1"}},
      {"level 6 behaves like 2", 6, {}, oneTwoOneTwo, {"L1", "L2", "L1", "L2"}},
      {"cancel on level 1 silences every diagnostic box",
       6,
       {platform::IDCANCEL},
       oneTwoOneTwo,
       {"L1"}},
      {"cancel on level 2 lasts until a level-1 box is confirmed",
       2,
       {platform::IDOK, platform::IDCANCEL, platform::IDOK},
       {1, 2, 2, 1, 2},
       {"L1", "L2", "L1", "L2"}},
  };
  for (const LevelCase& c : cases) {
    SCOPED_TRACE(c.description);
    FakeSystem fake;
    fake.desktop.answers.assign(c.answers.begin(), c.answers.end());
    debugLevel = messageLevel = c.debug;
    for (const std::int32_t level : c.levelsAsked) {
      ShowMessage(fake, level, "L" + std::to_string(level), std::nullopt, platform::MB_ICONWARNING);
    }
    EXPECT_EQ(captions(fake.desktop), c.shown);
    for (const ScriptedDesktop::Box& box : fake.desktop.boxes) {
      EXPECT_EQ(box.style, platform::MB_ICONWARNING | platform::MB_OKCANCEL);
      EXPECT_EQ(box.text, "");
    }
  }
}

TEST(ShowMessage, ABoxThatCannotBeShownRestoresTheChosenLevel) {
  FakeSystem fake;
  debugLevel = 2;
  messageLevel = 1;
  fake.desktop.failing = true;
  ShowMessage(fake, 1, "c", "t", platform::MB_ICONWARNING);
  EXPECT_EQ(messageLevel, 2);
}

class SystemErrorTest : public ::testing::Test {
 protected:
  SystemErrorTest() {
    fake.systemMessages.texts = {{5, "Access is denied."}, {12029, "Cannot connect."}};
    debugLevel = messageLevel = 0;
  }
  FakeSystem fake;
};

TEST_F(SystemErrorTest, FormatsCodesInDecimalOrHexWithTheSystemText) {
  EXPECT_EQ(FormatSystemError(fake, 0), "");
  EXPECT_EQ(FormatSystemError(fake, 5), "5: Access is denied.\r\n");
  EXPECT_EQ(FormatSystemError(fake, 12029), "12029: Cannot connect.\r\n");
  EXPECT_EQ(FormatSystemError(fake, 160), "160");
  EXPECT_EQ(FormatSystemError(fake, platform::E_FAIL), "0x80004005");
  EXPECT_EQ(FormatSystemError(fake, 0x7FFFFFFF), "2147483647");
  EXPECT_EQ(FormatSystemError(fake, 0xFFFFFFFF), "0xFFFFFFFF");
}

TEST_F(SystemErrorTest, WarningBoxIsAlwaysShownUnderThePrinterCaption) {
  ShowSystemError(fake, 5, "C:\\doc.pmf");
  ShowSystemError(fake, 0, std::nullopt);
  fake.environment.commandLineText = "Dravik -printer \"Office Printer\"";
  ShowSystemError(fake, 160, "line");
  ASSERT_EQ(fake.desktop.boxes.size(), 3u);
  EXPECT_EQ(fake.desktop.boxes[0].caption, "Dravik");
  EXPECT_EQ(fake.desktop.boxes[0].text, "5: Access is denied.\r\n\nC:\\doc.pmf");
  EXPECT_EQ(fake.desktop.boxes[0].style, platform::MB_ICONWARNING | platform::MB_OK);
  EXPECT_EQ(fake.desktop.boxes[1].text, "\n");
  EXPECT_EQ(fake.desktop.boxes[2].caption, "Office Printer");
  EXPECT_EQ(fake.desktop.boxes[2].text, "160\nline");
}

TEST_F(SystemErrorTest, RegistryErrorJoinsThePathUnderItsOwnCaption) {
  ReportRegistryError(fake, "", 2, {"HKEY_CLASSES_ROOT", ".htm"});
  ReportRegistryError(fake, "Printer", 2, {"HKEY_CLASSES_ROOT", "htmlfile", "shell"});
  ReportRegistryError(fake, "Printer", 5, {"browser \"x\""});
  ASSERT_EQ(fake.desktop.boxes.size(), 2u);
  EXPECT_EQ(fake.desktop.boxes[0].caption, "Printer");
  EXPECT_EQ(fake.desktop.boxes[0].text, "2\nHKEY_CLASSES_ROOT\\htmlfile\\shell");
  EXPECT_EQ(fake.desktop.boxes[1].text, "5: Access is denied.\r\n\nbrowser \"x\"");
}

TEST(FormatSoapError, WordsEveryStateAndAppendsTheFaultDetailToSoapFaults) {
  FakeSystem fake;
  const std::pair<std::int32_t, std::string> states[] = {
      {0, ""},
      {1, "SOAP error 1: Initialization failed."},
      {2, "SOAP error 2: Out of memory."},
      {3, "SOAP error 3: Failed to generate the response."},
      {4, "SOAP error 4: Failed to connect to the server."},
      {5, "SOAP error 5: Failed to send the message."},
      {6, "SOAP error 6: Server error."},
      {7, "SOAP error 7: The server returned a SOAP fault."},
      {8, "SOAP error 8: Failed to parse a SOAP fault."},
      {9, "SOAP error 9: Failed while reading the response."},
      {10, "SOAP error 10: Failed while parsing the response."},
      {11, "SOAP error 11: "},
      {-1, "SOAP error -1: "},
  };
  for (const auto& [state, text] : states) {
    SCOPED_TRACE(state);
    EXPECT_EQ(FormatSoapError(fake.codePages, state, std::nullopt), text);
    // Only a SOAP fault carries the detail.
    if (state != 7) {
      EXPECT_EQ(FormatSoapError(fake.codePages, state, u"detail"), text);
    }
  }
  EXPECT_EQ(FormatSoapError(fake.codePages, 7, u""),
            "SOAP error 7: The server returned a SOAP fault. ");
  fake.codePages.ansi = 1252;
  EXPECT_EQ(FormatSoapError(fake.codePages, 7, u"Quota d\u00e9pass\u00e9"),
            "SOAP error 7: The server returned a SOAP fault. Quota d\xe9pass\xe9");
}

TEST(FormatNumbers, SignedDecimalAndFull64BitSizes) {
  EXPECT_EQ(FormatNumber(0), "0");
  EXPECT_EQ(FormatNumber(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(FormatNumber(static_cast<std::int32_t>(0xC0000000u)), "-1073741824");
  EXPECT_EQ(FormatSize64(0, 1), "4294967296");
  EXPECT_EQ(FormatSize64(5, 0), "5");
  EXPECT_EQ(FormatSize64(0xFFFFFFFF, 0xFFFFFFFF), "18446744073709551615");
}

}  // namespace
}  // namespace uploader
