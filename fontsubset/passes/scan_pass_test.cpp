#include "passes/scan_pass.h"

#include <gtest/gtest.h>

#include <map>

#include "font_name.h"
#include "platform/testing/fake_code_pages.h"
#include "testing_font.h"
#include "test_support.h"

namespace passes {
namespace {

using testing::build;
using testing::ByteVector;
using testing::feedAll;
using testing::kDejaVu;
using testing::kLiberation;

struct Scanned {
  bool ok = false;
  ScanFailure failure = ScanFailure::None;
  ScanSummary summary;
};

Scanned scanFile(const ByteVector& file, platform::CodePages& codePages) {
  ScanPass pass(codePages);
  Scanned s;
  s.ok = feedAll(pass, file);
  s.failure = pass.failure();
  s.summary = pass.summary();
  return s;
}

Scanned scanText(std::string_view description) {
  platform::testing::FakeCodePages codePages;
  codePages.ansi = 1252;
  return scanFile(build(description), codePages);
}

// Every size below is worked out by hand from the record layouts, so the
// counters are checked against arithmetic the code does not share.
TEST(ScanStatistics, CountersAndRatiosMatchAHandCount) {
  const Scanned s = scanText(R"(
    start                           # other 1 + 20
    page                            # other 1 + 16
    page                            # other 1 + 16
    blob id=1 size=100              # blob stored 100 + 36, expanded 100 + 32
    blob id=1 reuse                 # blob stored 0 + 36, expanded 100 + 32
    blob id=2 size=50 long          # blob stored 50 + 48, expanded 50 + 44
    textobj id=3 "abc"              # variable part 4: text stored 4 + 64, expanded 4 + 60
    replay id=3                     # text stored 4, expanded 4 + 60
    replay id=3 at=1,2              # text stored 12, expanded 4 + 60
    points id=4 count=5             # other 1 + 12 + 40; object of 40 bytes
    replay id=4                     # point list stored 4, expanded 40 + 12
    delete id=4                     # point list stored 4
    font data=00112233 code=36 id=5 name="F" flags=0   # variable 6: font stored 6 + 32, expanded 6 + 28
    replay id=5                     # font stored 4, expanded 2 + 28
    group id=6 entries=1:0:0,3:5:5 replay   # blob stored 12; text stored 12, expanded 64
    replay id=6                     # the same again; a group has no counter of its own
    text "hi"                       # other 1 + 60 + 3
    marker kind=3 value=1           # other 1 + 8
    record 9                        # other 1 + 20
    record 5                        # other 1
    end                             # other 1 + 4
  )");
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(s.summary.otherBytes, 21u + 17 + 17 + 53 + 64 + 9 + 21 + 1 + 5);
  EXPECT_EQ(s.summary.stored[kBlob], 136u + 36 + 98 + 12 + 12);
  EXPECT_EQ(s.summary.expanded[kBlob], 132u + 132 + 94);
  EXPECT_EQ(s.summary.stored[kTextObject], 68u + 4 + 12 + 12 + 12);
  EXPECT_EQ(s.summary.expanded[kTextObject], 5u * 64);
  EXPECT_EQ(s.summary.stored[kFontObject], 38u + 4);
  EXPECT_EQ(s.summary.expanded[kFontObject], 34u + 30);
  EXPECT_EQ(s.summary.stored[kPointList], 8u);
  EXPECT_EQ(s.summary.expanded[kPointList], 52u);

  const HeaderStatistics h = s.summary.statistics();
  EXPECT_EQ(h.pageCountPlusOne, 3u);
  EXPECT_EQ(h.sizeRatio, 660 * 100 / 1002);
  EXPECT_EQ(h.blobRatio, 294 * 100 / 358);
  EXPECT_EQ(h.textObjectRatio, 108 * 100 / 320);
  EXPECT_EQ(h.pointListRatio, 8 * 100 / 52);
}

TEST(ScanStatistics, Ratios) {
  struct Case {
    std::uint64_t part, whole;
    int expected;
  };
  const Case cases[] = {
      {0, 0, 100},                   // nothing to compare
      {7, 0, 100},                   // stored without an expanded size
      {1, 3, 33},                    // truncated
      {50'000'000, 60'000'000, 83},  // the product needs more than 32 bits
      {4'000'000'000, 4'000'000'000, 100},
      {1000, 100, 255},  // more than a byte holds stays at its top
  };
  for (const Case& c : cases)
    EXPECT_EQ(ratio(c.part, c.whole), c.expected) << c.part << "/" << c.whole;

  // An empty document: every ratio 100, one page counted.
  const Scanned s = scanText("start\npage\nend\n");
  ASSERT_TRUE(s.ok);
  const HeaderStatistics h = s.summary.statistics();
  EXPECT_EQ(h.pageCountPlusOne, 2u);
  EXPECT_EQ(h.blobRatio, 100);
  EXPECT_EQ(h.textObjectRatio, 100);
  EXPECT_EQ(h.pointListRatio, 100);
}

// Which characters end up in which font: A is DejaVu Sans, B Liberation Sans.
TEST(ScanAttribution, TextIsAttributedToTheFontItIsDrawnIn) {
  const std::string a = "font " + kDejaVu + " name=\"A\"";
  const std::string b = "font " + kLiberation + " name=\"B\"";
  const std::string a36 = "font " + kDejaVu + " code=36 id=7 name=\"A\"";
  const std::string b36 = "font " + kLiberation + " code=36 id=7 name=\"B\"";
  struct Case {
    const char* what;
    std::string body;
    std::map<std::string, std::u16string> expected;
  };
  const Case cases[] = {
      {"direct", a + "\ntext \"AB\"\n" + b + "\ntext \"CD\"", {{"A", u"AB"}, {"B", u"CD"}}},
      {"text before any font", "text \"Z\"\n" + a + "\ntext \"Q\"", {{"A", u"Q"}}},
      {"two records of one name",
       a + "\ntext \"a\"\nfont " + kLiberation + " name=\"A\"\ntext \"b\"",
       {{"A", u"ab"}}},
      {"replayed font object",
       a36 + "\n" + b + "\ntext \"x\"\nreplay id=7\ntext \"y\"",
       {{"A", u"y"}, {"B", u"x"}}},
      {"text object replayed under another font",
       a + "\ntextobj id=5 \"pq\"\n" + b + "\ntext \"r\"\nreplay id=5 at=1,1",
       {{"A", u"pq"}, {"B", u"pqr"}}},
      {"group of a font object and a text object",
       a36 + "\n" + b + "\ntextobj id=5 \"m\"\ngroup id=9 entries=7:0:0,5:0:0 replay\ntext \"n\"",
       {{"A", u"mn"}, {"B", u"m"}}},
      {"font object id defined again for another font",
       a36 + "\ndelete id=7\n" + b36 + "\nfont " + kDejaVu +
           " name=\"A\" nodata\nreplay id=7\ntext \"k\"",
       {{"A", u""}, {"B", u"k"}}},
      {"codes and the font's code page",
       "font " + kDejaVu + " name=\"A\" codepage=1252\ntext \"\\x80e\"\ntext codes=263A,65 items=2",
       {{"A", u"\u20ACe\u263A"}}},
      {"a font that is not TrueType leaves the current font",
       a + "\nfont data=0011 name=\"T\" flags=0\ntext \"w\"",
       {{"A", u"w"}}},
      {"no text at all", a, {{"A", u""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Scanned s = scanText("start\npage\n" + c.body + "\nend\n");
    ASSERT_TRUE(s.ok);
    std::map<std::string, std::u16string> got;
    for (const FontReport& f : s.summary.report) {
      got[f.name] = std::u16string(f.characters.begin(), f.characters.end());
    }
    std::map<std::string, std::u16string> expected;
    for (auto [name, text] : c.expected) {
      std::sort(text.begin(), text.end());
      expected[name] = text;
    }
    EXPECT_EQ(got, expected);
    // Real fonts come out smaller whatever they draw, glyph 0 alone included.
    for (const FontReport& f : s.summary.report) {
      EXPECT_EQ(f.outcome, FontOutcome::Replaced) << f.name;
    }
    EXPECT_EQ(s.summary.fonts.size(), s.summary.report.size());
  }
}

TEST(ScanAttribution, TheFirstRecordOfANameCarriesTheFont) {
  const Scanned s = scanText("start\npage\nfont " + kDejaVu + " name=\"A\"\nfont " + kLiberation +
                             " name=\"A\"\ntext \"b\"\nend\n");
  ASSERT_TRUE(s.ok);
  ASSERT_EQ(s.summary.report.size(), 1u);
  EXPECT_EQ(s.summary.report[0].embeddedLength, testing::readBytes(kDejaVu).size());
}

TEST(ScanDocument, WithoutADocumentEndNothingIsSubset) {
  const Scanned s = scanText("start\npage\npage\nfont " + kDejaVu + "\ntext \"abc\"\n");
  ASSERT_TRUE(s.ok);
  EXPECT_FALSE(s.summary.sawDocumentEnd);
  EXPECT_EQ(s.summary.requestOrPages, 1u);
  EXPECT_TRUE(s.summary.fonts.empty());
  EXPECT_TRUE(s.summary.report.empty());
}

TEST(ScanDocument, PageCountIsTakenAtTheDocumentEnd) {
  const Scanned none = scanText("start\nend\n");
  ASSERT_TRUE(none.ok);
  EXPECT_EQ(none.summary.pageCount(), 0u);
  const Scanned three = scanText("start\npage\npage\nfiller 3\npage\nend\nfiller\n");
  ASSERT_TRUE(three.ok);
  EXPECT_EQ(three.summary.pageCount(), 3u);
}

TEST(ScanDocument, BrokenDocumentsFailThePass) {
  std::string chain;
  for (int id = 100; id < 180; ++id) {
    chain += "group id=" + std::to_string(id) + " entries=" + std::to_string(id - 1) + ":0:0\n";
  }
  struct Case {
    const char* what;
    std::string description;
    ScanFailure expected;
  };
  const Case cases[] = {
      {"unknown record code", "start\nraw 03\nend", ScanFailure::Read},
      {"truncated record", "start\nraw 040000", ScanFailure::Read},
      {"header only", "header version=5", ScanFailure::NotDocumentStart},
      {"first record not the document start", "page\nstart\nend", ScanFailure::NotDocumentStart},
      {"second document start", "start\nstart\nend", ScanFailure::SecondDocumentStart},
      {"second document end", "start\nend\nend", ScanFailure::AfterDocumentEnd},
      {"record after the document end", "start\nend\npage", ScanFailure::AfterDocumentEnd},
      {"replay of an unknown object", "start\nreplay id=4\nend", ScanFailure::UnknownObject},
      {"delete of an unknown object", "start\ndelete id=4\nend", ScanFailure::UnknownObject},
      {"reuse of an unknown blob", "start\nblob id=4 reuse\nend", ScanFailure::UnknownObject},
      {"group entry unknown", "start\ngroup id=1 entries=2:0:0 replay\nend",
       ScanFailure::UnknownObject},
      {"group names itself", "start\ngroup id=1 entries=1:0:0 replay\nend",
       ScanFailure::GroupReplaysItself},
      {"groups replay each other",
       "start\ngroup id=1 entries=2:0:0\ngroup id=2 entries=1:0:0\nreplay id=1\nend",
       ScanFailure::GroupReplaysItself},
      {"groups nested beyond reason", "start\nblob id=99 size=1\n" + chain + "replay id=179\nend",
       ScanFailure::ReplayTooDeep},
      {"text run longer than its record", "start\nrecord 6 fill=1\nend",
       ScanFailure::MalformedRecord},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Scanned s = scanText(c.description);
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.failure, c.expected);
    EXPECT_TRUE(s.summary.fonts.empty());
  }
  // A group may list the same object many times, and other groups.
  const Scanned fine = scanText(
      "start\nblob id=1 size=3\ngroup id=2 entries=1:0:0,1:1:1\ngroup id=3 "
      "entries=2:0:0,2:0:0,1:0:0 "
      "replay\nreplay id=3\nend");
  EXPECT_TRUE(fine.ok);
}

// Small fonts with chosen names: many glyphs, so that a subset is smaller.
ByteVector namedFont(const std::vector<subset::testing::NameRecord>& names) {
  subset::testing::FontSpec spec;
  for (int g = 0; g < 400; ++g) {
    spec.glyphs.push_back(g == 0 ? ByteVector{}
                                 : subset::testing::simpleGlyph(static_cast<std::int16_t>(g)));
    if (g > 0)
      spec.cmap.push_back({static_cast<std::uint16_t>(0x100 + g), static_cast<std::uint16_t>(g)});
  }
  spec.names = names;
  return subset::testing::buildFont(spec);
}

subset::testing::NameRecord windowsName(std::uint16_t id, const std::string& utf16be,
                                        std::uint16_t language = 0x0409) {
  return {3, 1, language, id, utf16be};
}

std::string be(const std::u16string& text) {
  std::string out;
  for (char16_t u : text) {
    out.push_back(static_cast<char>(u >> 8));
    out.push_back(static_cast<char>(u & 0xFF));
  }
  return out;
}

TEST(ScanNames, ASubsetTravelsUnderItsFullNameOnlyWhenThatNameIsUsable) {
  using subset::testing::NameRecord;
  const std::u16string long79(79, u'x'), long80(80, u'x');
  struct Case {
    const char* what;
    std::vector<NameRecord> names;
    std::uint32_t ansi;
    FontOutcome expected;
    std::string newName;
  };
  const Case cases[] = {
      {"full name",
       {windowsName(1, be(u"Fam")), windowsName(4, be(u"Test Sans"))},
       1252,
       FontOutcome::Replaced,
       "Test Sans"},
      {"first of two full names",
       {windowsName(4, be(u"One")), windowsName(4, be(u"Two"))},
       1252,
       FontOutcome::Replaced,
       "One"},
      {"79 units", {windowsName(4, be(long79))}, 1252, FontOutcome::Replaced, std::string(79, 'x')},
      {"80 units", {windowsName(4, be(long80))}, 1252, FontOutcome::NoUsableName, ""},
      {"Macintosh name only",
       {NameRecord{1, 0, 0, 4, "Mac Name"}},
       1252,
       FontOutcome::NoUsableName,
       ""},
      {"other language only",
       {windowsName(4, be(u"Nom"), 0x040C)},
       1252,
       FontOutcome::NoUsableName,
       ""},
      {"not in the ANSI code page",
       {windowsName(4, be(u"\u6F22\u5B57"))},
       1252,
       FontOutcome::NoUsableName,
       ""},
      {"in the ANSI code page",
       {windowsName(4, be(u"\u6F22\u5B57"))},
       platform::CP_UTF8,
       FontOutcome::Replaced,
       "\xE6\xBC\xA2\xE5\xAD\x97"},
      {"odd length", {windowsName(4, std::string("abc"))}, 1252, FontOutcome::NoUsableName, ""},
      {"empty", {windowsName(4, "")}, 1252, FontOutcome::NoUsableName, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    spool::MetaFileBuilder b;
    b.documentStart();
    b.pageStart();
    spool::FontSpec font;
    font.name = "Embedded";
    font.data = namedFont(c.names);
    b.fontFile(font);
    b.textRun({.codes = {0x101, 0x102}});
    b.documentEnd();
    platform::testing::FakeCodePages codePages;
    codePages.ansi = c.ansi;
    const Scanned s = scanFile(b.file({}), codePages);
    ASSERT_TRUE(s.ok);
    ASSERT_EQ(s.summary.report.size(), 1u);
    EXPECT_LT(s.summary.report[0].subsetLength, s.summary.report[0].embeddedLength);
    EXPECT_EQ(s.summary.report[0].outcome, c.expected);
    if (c.expected == FontOutcome::Replaced) {
      ASSERT_EQ(s.summary.fonts.size(), 1u);
      EXPECT_EQ(s.summary.fonts[0].newName, c.newName);
      EXPECT_EQ(s.summary.fonts[0].name, "Embedded");
    } else {
      EXPECT_TRUE(s.summary.fonts.empty());
    }
  }
}

TEST(ScanNames, ANewNameNeverTakesTheNameOfAnotherFont) {
  // "Taken" is the name of a second font; the third font's full name is
  // that of the first.
  spool::MetaFileBuilder b;
  b.documentStart();
  b.pageStart();
  for (auto [record, full] : {std::pair{"First", u"Taken"}, std::pair{"Taken", u"Taken Too"},
                              std::pair{"Third", u"Taken Too"}, std::pair{"Fourth", u"Fourth"}}) {
    spool::FontSpec font;
    font.name = record;
    font.data = namedFont({windowsName(4, be(full))});
    b.fontFile(font);
  }
  b.documentEnd();
  platform::testing::FakeCodePages codePages;
  const Scanned s = scanFile(b.file({}), codePages);
  ASSERT_TRUE(s.ok);
  std::map<std::string, FontOutcome> got;
  for (const FontReport& f : s.summary.report) got[f.name] = f.outcome;
  EXPECT_EQ(got, (std::map<std::string, FontOutcome>{{"First", FontOutcome::NameTaken},
                                                     {"Taken", FontOutcome::Replaced},
                                                     {"Third", FontOutcome::NameTaken},
                                                     {"Fourth", FontOutcome::Replaced}}));
}

}  // namespace
}  // namespace passes
