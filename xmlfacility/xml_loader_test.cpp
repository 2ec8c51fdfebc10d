#include "xmlfacility/xml_loader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "testing/traced_system.h"
#include "xmlfacility/msxml_loaders.h"

namespace {

using platform::RegistryRoot;
using ::testing::ElementsAre;

constexpr const char* kPreferenceKey = "SOFTWARE\\KOVAL\\Vennel";

TEST(XmlLoaderTest, ParserPreferenceFromTheRegistry) {
  struct Case {
    const char* value;  // null: no value
    std::uint32_t type;
    int preference;
  };
  const Case cases[] = {
      {nullptr, platform::REG_SZ, 0},    {"expat", platform::REG_SZ, 3},
      {"EXPAT", platform::REG_SZ, 3},    {"MsXmlDom", platform::REG_EXPAND_SZ, 1},
      {"msxmlsax", platform::REG_SZ, 2}, {"expat ", platform::REG_SZ, 0},
      {"other", platform::REG_SZ, 0},    {"expat", platform::REG_BINARY, 0},
  };
  for (const Case& c : cases) {
    TracedSystem traced;
    if (c.value != nullptr) {
      traced.fake.registry.setString(RegistryRoot::LocalMachine, kPreferenceKey,
                                     "PreferredXMLParser", c.value, c.type);
    }
    EXPECT_EQ(readParserPreference(), c.preference) << (c.value ? c.value : "(none)");
    // Without the platform's components, everything else means Expat.
    EXPECT_EQ(defaultParserKind(), c.preference != 0 ? c.preference : 3);
  }

  // A value without its terminator, or too long for the buffer, does not count.
  TracedSystem traced;
  traced.fake.registry.setValue(RegistryRoot::LocalMachine, kPreferenceKey, "PreferredXMLParser",
                                platform::REG_SZ, {'e', 'x', 'p', 'a', 't'});
  EXPECT_EQ(readParserPreference(), 0);
  traced.fake.registry.setString(RegistryRoot::LocalMachine, kPreferenceKey, "PreferredXMLParser",
                                 std::string(1100, 'x'));
  EXPECT_EQ(readParserPreference(), 0);
}

TEST(XmlLoaderTest, EveryKnownKindFallsBackToExpatHere) {
  EXPECT_FALSE(isMsxmlSaxAvailable());
  EXPECT_FALSE(isMsxmlDomAvailable());
  for (const int kind : {0, 1, 2, 3}) {
    TracedSystem traced;
    traced.fake.registry.setString(RegistryRoot::LocalMachine, kPreferenceKey, "PreferredXMLParser",
                                   "msxmldom");
    std::istringstream input("<a>v</a>");
    XmlTreeElement root;
    EXPECT_EQ(loadXml(input, &root, kind), XmlLoadParsed) << kind;
    EXPECT_STREQ(root.findChild("a")->getText(), "v");
    EXPECT_THAT(traced.recordTexts(), ElementsAre("Creating an Expat XML Loader"));
  }
}

TEST(XmlLoaderTest, UnknownKindsAndMissingRoots) {
  struct Case {
    int kind;
    bool root;
    int result;
    std::vector<std::string> records;
  };
  const Case cases[] = {
      {7, true, XmlLoadNoLoader, {"No valid XML Parser can be instanciated"}},
      {-1, true, XmlLoadNoLoader, {"No valid XML Parser can be instanciated"}},
      {7, false, XmlLoadNoLoader, {"No valid XML Parser can be instanciated"}},
      {3, false, XmlLoadNoRoot, {"Creating an Expat XML Loader"}},
  };
  for (const Case& c : cases) {
    TracedSystem traced;
    XmlTreeElement root;
    EXPECT_EQ(parseXmlText("<a/>", c.root ? &root : nullptr, c.kind), c.result) << c.kind;
    EXPECT_TRUE(root.children().empty());
    EXPECT_EQ(traced.recordTexts(), c.records);
  }
  // The unknown kind is an error record; creating a loader is information.
  TracedSystem traced;
  XmlTreeElement root;
  parseXmlText("<a/>", &root, 9);
  EXPECT_EQ(traced.records().front(), "trc_begin(9, 0x40000000, 0x1000002)");
}

TEST(XmlLoaderTest, NullTextIsAnEmptyDocument) {
  TracedSystem traced;
  XmlTreeElement root;
  EXPECT_EQ(parseXmlText(nullptr, &root, 3), XmlLoadParseFailed);
}

}  // namespace
