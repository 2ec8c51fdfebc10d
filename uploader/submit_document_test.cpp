#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/testing/fake_system.h"
#include "uploader/messages.h"
#include "uploader/upload_session.h"

namespace uploader {
namespace {

using platform::testing::FakeLibraries;
using platform::testing::FakeSystem;

// What the fake plug-in's entry points saw, in order. Uninitialize also notes
// how many pages had been opened by then.
std::vector<std::string> calls;
FakeSystem* current = nullptr;

std::int32_t initializeAccepts(std::int32_t a, std::int32_t b) {
  calls.push_back("InitializeA(" + std::to_string(a) + "," + std::to_string(b) + ")");
  return 1;
}
std::int32_t initializeRefuses(std::int32_t a, std::int32_t b) {
  initializeAccepts(a, b);
  return 0;
}
std::int32_t submitAccepts(const char* first, const char* path, std::int32_t c, std::int32_t d) {
  calls.push_back(std::string("SubmitDocA(") + (first ? first : "null") + "," + path + "," +
                  std::to_string(c) + "," + std::to_string(d) + ")");
  return 7;
}
std::int32_t submitRefuses(const char* first, const char* path, std::int32_t c, std::int32_t d) {
  submitAccepts(first, path, c, d);
  return 0;
}
std::int32_t uninitialize() {
  calls.push_back("Uninitialize after " + std::to_string(current->processes.started.size()) +
                  " pages");
  return 0;
}

struct Box {
  std::string caption;
  std::string text;
  bool operator==(const Box&) const = default;
};

struct PluginCase {
  const char* description;
  bool loadable;
  FakeLibraries::Symbols symbols;
  bool accepted;
  std::vector<std::string> calls;
  std::vector<Box> boxes;
  std::string pageQuery;  // after "?lang=de&"; empty when no page opens
};

constexpr const char* kLibrary = "C:\\P\\plug.dll";
constexpr const char* kDocument = "C:\\T\\doc 1.pmf";
const std::string kSubmitCall = "SubmitDocA(null,C:\\T\\doc 1.pmf,-1,0)";

TEST(SubmitDocument, EveryOutcomeWithItsBoxesPageAndCalls) {
  const auto init = FakeLibraries::address(&initializeAccepts);
  const auto refuseInit = FakeLibraries::address(&initializeRefuses);
  const auto submit = FakeLibraries::address(&submitAccepts);
  const auto refuseSubmit = FakeLibraries::address(&submitRefuses);
  const auto uninit = FakeLibraries::address(&uninitialize);
  const PluginCase cases[] = {
      {"only SubmitDocA, accepting", true, {{"SubmitDocA", submit}}, true, {kSubmitCall}, {}, ""},
      {"all three entry points",
       true,
       {{"InitializeA", init}, {"SubmitDocA", submit}, {"Uninitialize", uninit}},
       true,
       {"InitializeA(0,0)", kSubmitCall, "Uninitialize after 0 pages"},
       {},
       ""},
      {"library cannot be loaded",
       false,
       {},
       false,
       {},
       {{"Dravik", std::string("126\n") + kLibrary},
        {"Dravik(1): SubmitDoc cannot load library", kLibrary}},
       "Failure=Cannot%20load%20submitdoc%20library&LibraryPath=C:%5cP%5cplug.dll"
       "&SystemError=126"},
      {"InitializeA refuses",
       true,
       {{"InitializeA", refuseInit}, {"SubmitDocA", submit}, {"Uninitialize", uninit}},
       false,
       {"InitializeA(0,0)"},
       {{"Dravik", std::string("1114\n") + kLibrary},
        {"Dravik(1): SubmitDoc initialisation failed", kLibrary}},
       "Failure=Cannot%20initialize%20submitdoc%20library&LibraryPath=C:%5cP%5cplug.dll"
       "&ProcedureName=InitializeA"},
      {"no SubmitDocA but Uninitialize",
       true,
       {{"InitializeA", init}, {"Uninitialize", uninit}},
       false,
       {"InitializeA(0,0)", "Uninitialize after 1 pages"},
       {{"Dravik", "127\nSubmitDocA"}, {"Dravik(1): SubmitDoc failed", kDocument}},
       "Failure=Cannot%20retrieve%20submitdoc%20library%20procedure&LibraryPath=C:%5cP%5cplug.dll"
       "&ProcedureName=SubmitDocA&SystemError=127"},
      {"SubmitDocA refuses",
       true,
       {{"SubmitDocA", refuseSubmit}, {"Uninitialize", uninit}},
       false,
       {kSubmitCall, "Uninitialize after 1 pages"},
       {{"Dravik", "1627\nSubmitDocA"}, {"Dravik(1): SubmitDoc failed", kDocument}},
       "Failure=Submitdoc%20failed&LibraryPath=C:%5cP%5cplug.dll&ProcedureName=SubmitDocA"
       "&FilePath=C:%5cT%5cdoc%201.pmf"},
  };
  for (const PluginCase& c : cases) {
    SCOPED_TRACE(c.description);
    FakeSystem fake;
    current = &fake;
    calls.clear();
    fake.systemMessages.texts.clear();
    ASSERT_EQ(fake.registry.loadRegText(
                  "Windows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_CLASSES_ROOT\\.htm]\r\n@=\"htmlfile\"\r\n"
                  "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\r\n@=\"browser %1\"\r\n"),
              0u);
    fake.environment.commandLineText =
        "Dravik -server http://h -lang de -debug 1 -submitdoc C:\\P\\plug.dll";
    if (c.loadable) fake.libraries.add(kLibrary, c.symbols);
    CUploadSession session(fake);

    EXPECT_EQ(session.SubmitDocument(kDocument), c.accepted);
    EXPECT_EQ(calls, c.calls);
    std::vector<Box> boxes;
    for (const auto& box : fake.desktop.boxes) boxes.push_back({box.caption, box.text});
    EXPECT_EQ(boxes, c.boxes);
    std::vector<std::string> pages;
    if (!c.pageQuery.empty()) {
      pages.push_back("browser http://h/tolvane/webaccess/uploaderror.aspx?lang=de&" + c.pageQuery);
    }
    EXPECT_EQ(fake.processes.commandLines, pages);
    EXPECT_EQ(fake.libraries.loads, std::vector<std::string>{kLibrary});
    EXPECT_EQ(fake.libraries.unloads.size(), c.loadable ? 1u : 0u);
    for (const std::string& lookup : fake.libraries.lookups) {
      // After a refused initialisation nothing more is looked up.
      if (c.calls == std::vector<std::string>{"InitializeA(0,0)"} && !c.accepted) {
        EXPECT_EQ(lookup, std::string(kLibrary) + "!InitializeA");
      }
    }
  }
}

TEST(SubmitDocument, AnOverLongLibraryPathIsNotCutIntoAnotherLibrary) {
  FakeSystem fake;
  fake.systemMessages.texts.clear();
  const std::string library = "/p/" + std::string(300, 'l') + ".so";
  fake.libraries.add(library.substr(0, 259), {});
  fake.environment.commandLineText = "Dravik -file a -submitdoc " + library;
  CUploadSession session(fake);
  EXPECT_FALSE(session.SubmitDocument("a"));
  EXPECT_TRUE(fake.libraries.loads.empty());
  ASSERT_FALSE(fake.desktop.boxes.empty());
  EXPECT_EQ(fake.desktop.boxes[0].text, "206\n" + library.substr(0, 259));
}

TEST(SubmitDocument, WithoutAPluginNothingIsLoaded) {
  FakeSystem fake;
  fake.environment.commandLineText = "Dravik -file a -submitdoc \"\"";
  CUploadSession session(fake);
  EXPECT_TRUE(session.SubmitDocument("a"));
  EXPECT_TRUE(fake.libraries.loads.empty());
  EXPECT_TRUE(fake.desktop.boxes.empty());
}

}  // namespace
}  // namespace uploader
