#include "subset/subset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "sfnt/checksum.h"
#include "testing_font.h"

namespace subset {
namespace {

using testing::ByteVector;
using testing::Segment;

// Glyphs 0..299 with distinct outlines; 280..283 nest composites two deep,
// 290 names itself and 291/292 name each other.
testing::FontSpec fixtureSpec() {
  testing::FontSpec spec;
  for (int i = 0; i < 300; ++i)
    spec.glyphs.push_back(testing::simpleGlyph(static_cast<std::int16_t>(i + 7)));
  spec.glyphs[280] = testing::compositeGlyph({281, 282});
  spec.glyphs[281] = testing::compositeGlyph({283});
  spec.glyphs[290] = testing::compositeGlyph({290});
  spec.glyphs[291] = testing::compositeGlyph({292});
  spec.glyphs[292] = testing::compositeGlyph({291, 5});
  spec.cmap = {{0x41, 36},    {0x42, 37},    {0x43, 38},   {0x44, 40},   {0x50, 255},
               {0xE9, 280},   {0xFE, 254},   {0xFF, 100},  {0x100, 101}, {0x2000, 290},
               {0x2001, 291}, {0xFFFE, 149}, {0xFFFF, 150}};
  spec.names = {{1, 0, 0, 1, "Fixture"},
                {1, 0, 0, 4, "Fixture Regular"},
                {3, 1, 0x409, 1, testing::utf16be("Fixture")},
                {3, 1, 0x409, 4, testing::utf16be("Fixture Regular")}};
  return spec;
}

const ByteVector& fixtureFont() {
  static const ByteVector font = testing::buildFont(fixtureSpec());
  return font;
}

Result run(const ByteVector& font, std::vector<std::uint16_t> codes, const Options& options = {}) {
  return subsetFont(font, std::span<const std::uint16_t>(codes), options);
}

// What every subset must be, whatever it was made for: the listed tables in
// tag order, right sums, the kept glyphs' bytes unchanged and all others empty.
void expectSoundSubset(const ByteVector& input, const Subset& subset, bool rebuilt) {
  const ByteVector& out = subset.font;
  std::vector<std::string> expectedTags;
  std::set<std::string> inputTags;
  for (const auto& e : testing::tableEntries(input)) inputTags.insert(e.tag);
  for (const char* tag : {"OS/2", "cmap", "cvt ", "fpgm", "glyf", "head", "hhea", "hmtx", "loca",
                          "maxp", "name", "post", "prep"}) {
    const std::string t = tag;
    const bool always = t == "glyf" || t == "loca" || t == "name";
    const bool rebuiltOnly = t == "cmap" || t == "post";
    if (rebuiltOnly ? rebuilt : (always || inputTags.count(t) != 0)) expectedTags.push_back(t);
  }
  std::vector<std::string> tags;
  std::uint32_t expectedOffset = 12 + 16 * static_cast<std::uint32_t>(expectedTags.size());
  for (const auto& e : testing::tableEntries(out)) {
    tags.push_back(e.tag);
    EXPECT_EQ(e.offset, expectedOffset) << e.tag;
    expectedOffset += (e.length + 3) / 4 * 4;
    ByteVector table(out.begin() + e.offset, out.begin() + e.offset + (e.length + 3) / 4 * 4);
    if (e.tag == "head") std::fill(table.begin() + 8, table.begin() + 12, 0);
    EXPECT_EQ(sfnt::checksum(table), e.checksum) << e.tag;
  }
  EXPECT_EQ(tags, expectedTags);
  EXPECT_EQ(out.size(), expectedOffset);
  EXPECT_EQ(sfnt::checksum(out), sfnt::kWholeFontSum);
  EXPECT_EQ(testing::be16(out, 4), expectedTags.size());

  const auto inLengths = testing::glyphLengths(input);
  const auto outLengths = testing::glyphLengths(out);
  ASSERT_EQ(inLengths.size(), outLengths.size());
  EXPECT_EQ(subset.glyphCount, inLengths.size());
  const ByteVector inGlyf = testing::tableBytes(input, "glyf");
  const ByteVector outGlyf = testing::tableBytes(out, "glyf");
  const std::set<std::uint16_t> kept(subset.glyphs.begin(), subset.glyphs.end());
  EXPECT_TRUE(std::is_sorted(subset.glyphs.begin(), subset.glyphs.end()));
  EXPECT_EQ(kept.count(0), 1u);
  std::uint32_t inAt = 0;
  std::uint32_t outAt = 0;
  for (std::size_t g = 0; g < inLengths.size(); ++g) {
    if (kept.count(static_cast<std::uint16_t>(g))) {
      ASSERT_EQ(outLengths[g], inLengths[g]) << "glyph " << g;
      EXPECT_TRUE(std::equal(inGlyf.begin() + inAt, inGlyf.begin() + inAt + inLengths[g],
                             outGlyf.begin() + outAt))
          << "glyph " << g;
    } else {
      EXPECT_EQ(outLengths[g], 0u) << "glyph " << g;
    }
    inAt += inLengths[g];
    outAt += outLengths[g];
  }
  EXPECT_EQ(outAt, outGlyf.size());
}

// The glyph a rebuilt format 4 subtable gives `code` (the subtable has no
// glyphIdArray, so every segment maps by delta).
std::uint16_t lookUp(const std::vector<Segment>& segments, std::uint16_t code) {
  for (const Segment& s : segments) {
    if (s.end >= code) return code < s.start ? 0 : static_cast<std::uint16_t>(code + s.delta);
  }
  return 0;
}

TEST(Subset, RunsGlyphClosureAndCharacterMapOfTheFixture) {
  struct Case {
    const char* what;
    std::vector<std::uint16_t> codes;
    std::vector<Segment> segments;
    std::vector<std::uint16_t> glyphs;
  };
  const auto d = [](int glyph, int code) { return static_cast<std::uint16_t>(glyph - code); };
  const Segment closing{0xFFFF, 0xFFFF, 1, 0};
  const Case cases[] = {
      {"nothing used", {}, {closing}, {0}},
      {"one run", {0x41, 0x42, 0x43}, {{0x41, 0x43, d(36, 0x41), 0}, closing}, {0, 36, 37, 38}},
      {"two runs",
       {0x41, 0x43},
       {{0x41, 0x41, d(36, 0x41), 0}, {0x43, 0x43, d(38, 0x43), 0}, closing},
       {0, 36, 38}},
      {"unordered, twice",
       {0x43, 0x41, 0x42, 0x41},
       {{0x41, 0x43, d(36, 0x41), 0}, closing},
       {0, 36, 37, 38}},
      {"codes rise, glyphs jump",
       {0x43, 0x44},
       {{0x43, 0x43, d(38, 0x43), 0}, {0x44, 0x44, d(40, 0x44), 0}, closing},
       {0, 38, 40}},
      {"unmapped only", {0x1234, 0x20}, {closing}, {0}},
      {"run reaching 0xFFFF",
       {0xFFFE, 0xFFFF},
       {{0xFFFE, 0xFFFF, d(149, 0xFFFE), 0}},
       {0, 149, 150}},
      {"0xFFFF alone", {0xFFFF}, {{0xFFFF, 0xFFFF, d(150, 0xFFFF), 0}}, {0, 150}},
      {"nested composite",
       {0xE9},
       {{0xE9, 0xE9, d(280, 0xE9), 0}, closing},
       {0, 280, 281, 282, 283}},
      {"composites naming themselves and each other",
       {0x2000, 0x2001},
       {{0x2000, 0x2001, d(290, 0x2000), 0}, closing},
       {0, 5, 290, 291, 292}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Result result = run(fixtureFont(), c.codes);
    ASSERT_TRUE(result) << refusalText(result.refusal);
    const Subset& subset = *result.subset;
    expectSoundSubset(fixtureFont(), subset, true);
    EXPECT_EQ(testing::rebuiltSegments(subset.font), c.segments);
    EXPECT_EQ(subset.glyphs, c.glyphs);
    EXPECT_EQ(testing::tableBytes(subset.font, "cmap").size(), 298 + 8 * c.segments.size());
    for (const CharGlyph& ch : subset.characters) {
      EXPECT_EQ(lookUp(c.segments, ch.code), ch.glyph);
    }
  }
}

TEST(Subset, MacintoshMapHoldsOnlyCodesAndGlyphsBelow255) {
  Result result = run(fixtureFont(), {0x41, 0x50, 0xFE, 0xFF, 0x100});
  ASSERT_TRUE(result);
  const ByteVector format0 = testing::rebuiltFormat0(result.subset->font);
  ByteVector expected(256, 0);
  expected[0x41] = 36;
  expected[0xFE] = 254;  // 0x50 -> 255 and 0xFF -> 100 stay out
  EXPECT_EQ(format0, expected);
  const auto segments = testing::rebuiltSegments(result.subset->font);
  const std::pair<std::uint16_t, std::uint16_t> expectations[] = {
      {0x41, 36}, {0x50, 255}, {0xFE, 254}, {0xFF, 100}, {0x100, 101}};
  for (const auto& [code, glyph] : expectations) EXPECT_EQ(lookUp(segments, code), glyph) << code;
  const std::vector<CharGlyph> characters = {
      {0x41, 36}, {0x50, 255}, {0xFE, 254}, {0xFF, 100}, {0x100, 101}};
  EXPECT_EQ(result.subset->characters, characters);
  const ByteVector cmap = testing::tableBytes(result.subset->font, "cmap");
  // Encoding records: Macintosh Roman at 20, then Windows with the input's encoding at 282.
  EXPECT_EQ(ByteVector(cmap.begin(), cmap.begin() + 20),
            (ByteVector{0, 0, 0, 2, 0, 1, 0, 0, 0, 0, 0, 20, 0, 3, 0, 1, 0, 0, 1, 26}));
}

TEST(Subset, EmptyGlyphZeroKeepsTheFirstGlyphWithAnOutline) {
  testing::FontSpec spec;
  spec.glyphs = {{}, {}, {}, testing::compositeGlyph({4}), testing::simpleGlyph(9)};
  spec.cmap = {{0x20, 1}};
  const ByteVector font = testing::buildFont(spec);
  Result result = run(font, {0x20, 0x41});
  ASSERT_TRUE(result) << refusalText(result.refusal);
  EXPECT_EQ(result.subset->glyphs, (std::vector<std::uint16_t>{0, 1, 3, 4}));
  expectSoundSubset(font, *result.subset, true);

  spec.glyphs = {{}, {}};
  const ByteVector blank = testing::buildFont(spec);
  result = run(blank, {0x20});
  ASSERT_TRUE(result) << refusalText(result.refusal);
  EXPECT_EQ(testing::tableBytes(result.subset->font, "glyf").size(), 0u);
  expectSoundSubset(blank, *result.subset, true);
}

TEST(Subset, CompositeNestingDeeperThanTheLimitIsRefused) {
  for (const int depth : {16, 17}) {
    testing::FontSpec spec;
    spec.glyphs.push_back(testing::simpleGlyph(1));
    for (int i = 1; i <= depth; ++i) {
      spec.glyphs.push_back(testing::compositeGlyph({static_cast<std::uint16_t>(i + 1)}));
    }
    spec.glyphs.push_back(testing::simpleGlyph(2));
    spec.cmap = {{0x41, 1}};
    Result result = run(testing::buildFont(spec), {0x41});
    EXPECT_EQ(result.refusal, depth <= 16 ? Refusal::None : Refusal::BadGlyph) << depth;
  }
}

TEST(Subset, NameTableKeepsIdsZeroToSevenOfTwoPlatformsWithThePrefix) {
  using testing::utf16be;
  testing::FontSpec spec = fixtureSpec();
  spec.longLoca = true;
  spec.names = {
      {0, 3, 0, 1, utf16be("Unicode")},
      {3, 1, 0x409, 2, ""},
      {1, 0, 0, 0, "(c) Maker"},
      {1, 0, 0, 1, "Fam"},
      {1, 0, 0, 2, "Regular"},
      {1, 0, 0, 3, "Maker:Fam:2001"},
      {1, 0, 0, 4, "Fam Regular"},
      {1, 0, 0, 5, "Version 1.0"},
      {1, 0, 0, 6, "Fam-Regular"},
      {1, 0, 0, 7, "Trademark"},
      {1, 0, 0, 8, "Maker"},
      {1, 0, 5, 1, "Autre"},
      {3, 1, 0x407, 1, utf16be("Deutsch")},
      {3, 1, 0x409, 1, utf16be("Fam")},
      {3, 1, 0x409, 2, utf16be("Regular")},
      {3, 1, 0x409, 1, utf16be("Second")},
      {3, 1, 0x409, 3, utf16be("Unique")},
      {3, 1, 0x409, 5, utf16be("Version 1.0")},
      {3, 1, 0x409, 6, utf16be("Fam-Regular")},
  };
  const ByteVector font = testing::buildFont(spec);
  struct Case {
    std::string prefix;
    std::vector<testing::NameEntry> expected;
  };
  const Case cases[] = {
      {"",
       {{1, 0, 0, 0, "(c) Maker"},
        {1, 0, 0, 1, "Fam"},
        {1, 0, 0, 2, "Regular"},
        {1, 0, 0, 3, "Fam Regular"},
        {1, 0, 0, 4, "Fam Regular"},
        {1, 0, 0, 6, "Fam-Regular"},
        {1, 0, 0, 7, "Trademark"},
        {3, 1, 0x409, 1, utf16be("Fam")},
        {3, 1, 0x409, 2, utf16be("Regular")},
        {3, 1, 0x409, 6, utf16be("Fam-Regular")}}},
      {"ABCDEF+",
       {{1, 0, 0, 0, "(c) Maker"},
        {1, 0, 0, 1, "ABCDEF+Fam"},
        {1, 0, 0, 2, "Regular"},
        {1, 0, 0, 3, "ABCDEF+Fam Regular"},
        {1, 0, 0, 4, "ABCDEF+Fam Regular"},
        {1, 0, 0, 6, "ABCDEF+Fam-Regular"},
        {1, 0, 0, 7, "Trademark"},
        {3, 1, 0x409, 1, utf16be("ABCDEF+Fam")},
        {3, 1, 0x409, 2, utf16be("Regular")},
        {3, 1, 0x409, 6, utf16be("ABCDEF+Fam-Regular")}}},
  };
  for (const Case& c : cases) {
    Options options;
    options.namePrefix = c.prefix;
    Result result = run(font, {0x41}, options);
    ASSERT_TRUE(result) << refusalText(result.refusal);
    EXPECT_EQ(testing::nameEntries(result.subset->font), c.expected) << c.prefix;
    const ByteVector name = testing::tableBytes(result.subset->font, "name");
    EXPECT_EQ(testing::be16(name, 0), 0);
    EXPECT_EQ(testing::be16(name, 4), 6 + 12 * c.expected.size());
    expectSoundSubset(font, *result.subset, true);
  }
}

TEST(Subset, PostIsVersionThreeWithTheInputsLineAndSlantValues) {
  testing::FontSpec spec = fixtureSpec();
  for (const bool withPost : {true, false}) {
    spec.withPost = withPost;
    Result result = run(testing::buildFont(spec), {0x41});
    ASSERT_TRUE(result);
    ByteVector expected(32, 0);
    expected[1] = 3;
    if (withPost) {
      const ByteVector copied = {0xFF, 0xF4, 0, 0, 0xFF, 0xB5, 0, 50, 0, 0, 0, 1};
      std::copy(copied.begin(), copied.end(), expected.begin() + 4);
    }
    EXPECT_EQ(testing::tableBytes(result.subset->font, "post"), expected) << withPost;
  }
}

TEST(Subset, WithoutRebuildTheCallersGlyphsAreKeptAndCmapAndPostDropped) {
  const std::vector<CharGlyph> characters = {{0x41, 40}, {0x41, 40}, {0x99, 280}};
  Options options;
  options.rebuildTables = false;
  Result result = subsetFont(fixtureFont(), characters, options);
  ASSERT_TRUE(result) << refusalText(result.refusal);
  EXPECT_EQ(result.subset->glyphs, (std::vector<std::uint16_t>{0, 40, 280, 281, 282, 283}));
  expectSoundSubset(fixtureFont(), *result.subset, false);

  const std::vector<CharGlyph> pastTheEnd = {{0x41, 300}};
  EXPECT_EQ(subsetFont(fixtureFont(), pastTheEnd, options).refusal, Refusal::BadArgument);
}

// Real fonts from the system's font packages.
TEST(Subset, RealFontsShrinkAndStaySound) {
  struct Case {
    std::string font;
    std::u16string text;
  };
  const std::u16string ascii =
      u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,;:!?";
  const std::u16string accents = u"Crème brûlée, façade, naïve, Ærøskøbing, Ångström, żółć, ÿ";
  const Case cases[] = {
      {testing::kDejaVuSans, u""},
      {testing::kDejaVuSans, ascii},
      {testing::kDejaVuSans, accents + u"\u01C4\u01C5\u0149"},  // composites of composites
      {testing::kLiberationSans, ascii},
      {testing::kLiberationSans, accents + u"\u0400"},
      {testing::kLiberationSerifBold, accents},
      {testing::kLiberationSerifBold, u"\uE000\uF8FF\uFFFF"},  // nothing mapped
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.font + " with " + std::to_string(c.text.size()) + " units");
    const ByteVector font = testing::readFile(c.font);
    ASSERT_FALSE(font.empty());
    std::vector<std::uint16_t> codes(c.text.begin(), c.text.end());
    Result result = run(font, codes);
    ASSERT_TRUE(result) << refusalText(result.refusal);
    EXPECT_LT(result.subset->font.size(), font.size() / 2);
    expectSoundSubset(font, *result.subset, true);
    std::set<std::uint16_t> distinct(codes.begin(), codes.end());
    EXPECT_LE(result.subset->characters.size(), distinct.size());
  }
}

TEST(Subset, AccentedLettersKeepTheirUnmappedComponents) {
  // In both fonts é is a composite of "e" (72) and "acute", which no
  // character maps.
  const std::pair<std::string, std::uint16_t> fonts[] = {{testing::kLiberationSans, 116},
                                                         {testing::kDejaVuSans, 118}};
  for (const auto& [path, acute] : fonts) {
    Result result = run(testing::readFile(path), {0xE9});
    ASSERT_TRUE(result) << path;
    const auto& glyphs = result.subset->glyphs;
    EXPECT_TRUE(std::binary_search(glyphs.begin(), glyphs.end(), std::uint16_t{72})) << path;
    EXPECT_TRUE(std::binary_search(glyphs.begin(), glyphs.end(), acute)) << path;
    EXPECT_EQ(glyphs.size(), 4u) << path;
  }
}

}  // namespace
}  // namespace subset
