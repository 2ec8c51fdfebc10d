// Fonts broken on purpose, made from real ones at test time: each gives no
// subset, for the right reason, without reading outside the image (the
// sanitizer build proves the last part).
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "sfnt/checksum.h"
#include "subset/subset.h"
#include "testing_font.h"

namespace subset {
namespace {

using testing::be16;
using testing::be32;
using testing::ByteVector;

void set16(ByteVector& font, std::size_t at, std::uint32_t value) {
  font.at(at) = static_cast<std::uint8_t>(value >> 8);
  font.at(at + 1) = static_cast<std::uint8_t>(value);
}

void set32(ByteVector& font, std::size_t at, std::uint32_t value) {
  set16(font, at, value >> 16);
  set16(font, at + 2, value & 0xFFFF);
}

// Where the directory record of `tag` starts.
std::size_t recordOf(const ByteVector& font, const std::string& tag) {
  const std::uint16_t count = be16(font, 4);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = 12 + 16 * i;
    if (std::string(font.begin() + static_cast<std::ptrdiff_t>(at),
                    font.begin() + static_cast<std::ptrdiff_t>(at + 4)) == tag) {
      return at;
    }
  }
  ADD_FAILURE() << "no " << tag;
  return 0;
}

std::size_t offsetOf(const ByteVector& font, const std::string& tag) {
  return be32(font, recordOf(font, tag) + 8);
}

std::size_t lengthOf(const ByteVector& font, const std::string& tag) {
  return be32(font, recordOf(font, tag) + 12);
}

// The Windows subtable of Liberation Sans (its first platform-3 record is the
// third) and the segment that holds `code`.
std::size_t windowsSubtable(const ByteVector& font) {
  const std::size_t cmap = offsetOf(font, "cmap");
  return cmap + be32(font, cmap + 4 + 8 * 2 + 4);
}

std::size_t segmentOf(const ByteVector& font, std::uint16_t code) {
  const std::size_t sub = windowsSubtable(font);
  const std::size_t count = be16(font, sub + 6) / 2;
  for (std::size_t i = 0; i < count; ++i) {
    if (be16(font, sub + 14 + 2 * i) >= code) return i;
  }
  return count;
}

// Liberation Sans: short offsets; é (0xE9) is glyph 169, a composite.
std::size_t glyphAt(const ByteVector& font, std::uint16_t glyph) {
  return offsetOf(font, "glyf") + 2u * be16(font, offsetOf(font, "loca") + 2u * glyph);
}

void renameTable(ByteVector& font, const std::string& tag) {
  font[recordOf(font, tag) + 3] ^= 0x20;
}

struct Mutation {
  const char* what;
  std::function<void(ByteVector&)> apply;
  Refusal expected;
};

TEST(Malformed, BrokenRealFontsAreRefusedForTheRightReason) {
  const ByteVector original = testing::readFile(testing::kLiberationSans);
  ASSERT_FALSE(original.empty());
  const Mutation mutations[] = {
      {"cut inside the header", [](ByteVector& f) { f.resize(11); }, Refusal::BadDirectory},
      {"cut inside the directory", [](ByteVector& f) { f.resize(12 + 16 * be16(f, 4) - 1); },
       Refusal::BadDirectory},
      {"cut in half", [](ByteVector& f) { f.resize(f.size() / 2); }, Refusal::BadDirectory},
      {"last table cut short", [](ByteVector& f) { f.resize(f.size() - 8); },
       Refusal::BadDirectory},
      {"too many tables", [](ByteVector& f) { set16(f, 4, 0xFFFF); }, Refusal::BadDirectory},
      {"glyf past the end",
       [](ByteVector& f) {
         set32(f, recordOf(f, "glyf") + 8, static_cast<std::uint32_t>(f.size()));
       },
       Refusal::BadDirectory},
      {"loca longer than its room",
       [](ByteVector& f) {
         set32(f, recordOf(f, "loca") + 12, static_cast<std::uint32_t>(lengthOf(f, "loca") + 8));
       },
       Refusal::BadDirectory},
      {"glyf misaligned",
       [](ByteVector& f) {
         set32(f, recordOf(f, "glyf") + 8, static_cast<std::uint32_t>(offsetOf(f, "glyf") + 2));
         set32(f, recordOf(f, "glyf") + 12, static_cast<std::uint32_t>(lengthOf(f, "glyf") - 2));
       },
       Refusal::BadDirectory},
      {"no cmap", [](ByteVector& f) { renameTable(f, "cmap"); }, Refusal::MissingTable},
      {"no glyf", [](ByteVector& f) { renameTable(f, "glyf"); }, Refusal::MissingTable},
      {"no head", [](ByteVector& f) { renameTable(f, "head"); }, Refusal::MissingTable},
      {"no loca", [](ByteVector& f) { renameTable(f, "loca"); }, Refusal::MissingTable},
      {"no name", [](ByteVector& f) { renameTable(f, "name"); }, Refusal::MissingTable},
      {"no Windows cmap", [](ByteVector& f) { set16(f, offsetOf(f, "cmap") + 4 + 16, 2); },
       Refusal::NoWindowsCmap},
      {"Windows cmap in format 6", [](ByteVector& f) { set16(f, windowsSubtable(f), 6); },
       Refusal::UnsupportedCmap},
      {"Windows cmap past the table",
       [](ByteVector& f) {
         set32(f, offsetOf(f, "cmap") + 4 + 16 + 4,
               static_cast<std::uint32_t>(lengthOf(f, "cmap")));
       },
       Refusal::BadCmap},
      {"subtable longer than cmap", [](ByteVector& f) { set16(f, windowsSubtable(f) + 2, 0xFFFF); },
       Refusal::BadCmap},
      {"segments beyond the subtable",
       [](ByteVector& f) { set16(f, windowsSubtable(f) + 6, 0xFFFE); }, Refusal::BadCmap},
      {"character mapped past the last glyph",
       [](ByteVector& f) {
         const std::size_t sub = windowsSubtable(f);
         const std::size_t count = be16(f, sub + 6) / 2;
         const std::size_t i = segmentOf(f, 0x41);
         set16(f, sub + 16 + 4 * count + 2 * i, 60000 - 0x41);
         set16(f, sub + 16 + 6 * count + 2 * i, 0);
       },
       Refusal::BadCmap},
      {"head too short", [](ByteVector& f) { set32(f, recordOf(f, "head") + 12, 50); },
       Refusal::BadHead},
      {"long offsets claimed", [](ByteVector& f) { set16(f, offsetOf(f, "head") + 50, 1); },
       Refusal::BadLoca},
      {"offsets fall back",
       [](ByteVector& f) {
         set16(f, offsetOf(f, "loca") + 2 * 40, be16(f, offsetOf(f, "loca") + 2 * 42) + 1);
       },
       Refusal::BadLoca},
      {"last offset past glyf",
       [](ByteVector& f) { set16(f, offsetOf(f, "loca") + lengthOf(f, "loca") - 2, 0xFFFF); },
       Refusal::BadLoca},
      {"one offset only", [](ByteVector& f) { set32(f, recordOf(f, "loca") + 12, 2); },
       Refusal::BadLoca},
      {"component past the last glyph",
       [](ByteVector& f) { set16(f, glyphAt(f, 169) + 12, 0xFFF0); }, Refusal::BadGlyph},
      {"composite that never ends",
       [](ByteVector& f) {
         // Every component claims another follows, so the walk runs into the
         // next glyph unless it stops at this one's end.
         const std::size_t at = glyphAt(f, 169);
         const std::size_t end = glyphAt(f, 170);
         for (std::size_t p = at + 10; p + 1 < end; p += 2) set16(f, p, 0x0020);
       },
       Refusal::BadGlyph},
      {"name records past the table",
       [](ByteVector& f) { set16(f, offsetOf(f, "name") + 2, 0x7FFF); }, Refusal::BadName},
      {"name string past the table",
       [](ByteVector& f) { set16(f, offsetOf(f, "name") + 6 + 10, 0xFFF0); }, Refusal::BadName},
  };
  for (const Mutation& m : mutations) {
    ByteVector font = original;
    m.apply(font);
    const std::vector<std::uint16_t> codes = {0x41, 0x42, 0xE9, 0x20};
    Result result = subsetFont(font, codes);
    EXPECT_EQ(result.refusal, m.expected) << m.what;
    EXPECT_FALSE(result.subset.has_value()) << m.what;
  }
}

TEST(Malformed, BrokenGlyphsOfAMadeFontAreRefused) {
  struct Case {
    const char* what;
    testing::ByteVector glyph;
  };
  testing::ByteVector composite = testing::compositeGlyph({1, 1});
  const Case cases[] = {
      {"header cut", testing::ByteVector(4, 0)},
      {"last component cut", testing::ByteVector(composite.begin(), composite.end() - 2)},
      {"component record cut", testing::ByteVector(composite.begin(), composite.begin() + 12)},
      {"scale past the end",
       [&] {
         testing::ByteVector g = testing::compositeGlyph({1});
         g[11] |= 0x80;  // a two-by-two matrix follows, but the glyph ends
         return g;
       }()},
  };
  for (const Case& c : cases) {
    testing::FontSpec spec;
    spec.glyphs = {testing::simpleGlyph(1), testing::simpleGlyph(2), c.glyph};
    if (spec.glyphs[2].size() % 2 != 0) spec.glyphs[2].push_back(0);
    spec.cmap = {{0x41, 2}};
    const std::vector<std::uint16_t> codes = {0x41};
    EXPECT_EQ(subsetFont(testing::buildFont(spec), codes).refusal, Refusal::BadGlyph) << c.what;
  }
}

TEST(Malformed, CorruptedBytesNeverGiveAnUncheckedSubset) {
  // Random damage to the parts of two fonts that the subsetter reads. Whatever
  // comes back must be refused or pass as a whole font.
  for (const std::string& path : {testing::kLiberationSans, testing::kDejaVuSans}) {
    const ByteVector original = testing::readFile(path);
    ASSERT_FALSE(original.empty());
    struct Range {
      std::size_t start;
      std::size_t length;
    };
    const std::vector<Range> ranges = {
        {0, 12 + 16 * std::size_t{be16(original, 4)}},
        {offsetOf(original, "cmap"), std::min<std::size_t>(lengthOf(original, "cmap"), 4096)},
        {offsetOf(original, "head"), lengthOf(original, "head")},
        {offsetOf(original, "loca"), lengthOf(original, "loca")},
        {offsetOf(original, "name"), lengthOf(original, "name")},
        {offsetOf(original, "glyf"), std::min<std::size_t>(lengthOf(original, "glyf"), 60000)},
    };
    const std::vector<std::uint16_t> codes = {0x20, 0x41, 0x61, 0xE9, 0xC5, 0x1C4, 0x2019};
    std::uint32_t seed = 2024;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u, seed >> 8; };
    int refused = 0;
    for (int round = 0; round < 1500; ++round) {
      ByteVector font = original;
      const Range& range = ranges[next() % ranges.size()];
      for (int hits = 1 + static_cast<int>(next() % 3); hits > 0; --hits) {
        font[range.start + next() % range.length] = static_cast<std::uint8_t>(next());
      }
      if (next() % 8 == 0) font.resize(next() % font.size());
      Result result = subsetFont(font, codes);
      if (!result) {
        ++refused;
        continue;
      }
      EXPECT_EQ(sfnt::checksum(result.subset->font), sfnt::kWholeFontSum) << path << " " << round;
    }
    EXPECT_GT(refused, 0) << path;
  }
}

}  // namespace
}  // namespace subset
