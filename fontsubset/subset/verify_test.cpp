// The self-check must catch a subset that went wrong in any of the ways that
// would change what the font draws or make readers reject it.
#include "verify.h"

#include <gtest/gtest.h>

#include <functional>

#include "subset/subset.h"
#include "testing_font.h"

namespace subset {
namespace {

using testing::be16;
using testing::be32;
using testing::ByteVector;

std::size_t tableOffset(const ByteVector& font, const std::string& tag) {
  for (const auto& e : testing::tableEntries(font)) {
    if (e.tag == tag) return e.offset;
  }
  ADD_FAILURE() << "no " << tag;
  return 0;
}

TEST(SelfCheck, RejectsEveryKindOfDamagedSubset) {
  const ByteVector input = testing::readFile(testing::kLiberationSans);
  const std::vector<std::uint16_t> codes = {0x41, 0x42, 0xE9};
  Result result = subsetFont(input, codes);
  ASSERT_TRUE(result) << refusalText(result.refusal);
  const Subset& subset = *result.subset;
  std::optional<InputFont> font;
  ASSERT_EQ(openFont(input, true, font), Refusal::None);

  struct Damage {
    const char* what;
    std::function<void(ByteVector&)> apply;
    bool reseal;  // fix the sums afterwards, so only the damage itself shows
  };
  const auto glyphStart = [](const ByteVector& f, std::uint16_t glyph) {
    return tableOffset(f, "glyf") + 2u * be16(f, tableOffset(f, "loca") + 2u * glyph);
  };
  const Damage damages[] = {
      {"a kept glyph's outline", [&](ByteVector& f) { f[glyphStart(f, 36) + 12] ^= 1; }, true},
      {"a kept glyph moved to its neighbour's slot",
       [&](ByteVector& f) {
         const std::size_t entry = tableOffset(f, "loca") + 2u * 36;
         f[entry + 1] = static_cast<std::uint8_t>(f[entry + 3]);
         f[entry] = f[entry + 2];
         const std::size_t before = tableOffset(f, "loca") + 2u * 35;
         f[before + 2] = f[before];  // 35 gets nothing; 36 becomes empty too
       },
       true},
      {"a character mapped to another glyph",
       [&](ByteVector& f) {
         const std::size_t sub = tableOffset(f, "cmap") + 282;
         const std::size_t count = be16(f, sub + 6) / 2;
         f[sub + 16 + 4 * count + 1] += 1;  // idDelta of the first segment
       },
       true},
      {"the Macintosh map", [&](ByteVector& f) { f[tableOffset(f, "cmap") + 26 + 0x41] = 7; },
       true},
      {"a table's checksum", [&](ByteVector& f) { f[tableOffset(f, "hmtx")] ^= 0x40; }, false},
      {"the whole-font sum", [&](ByteVector& f) { f[tableOffset(f, "head") + 11] += 1; }, false},
      {"a table past the end",
       [&](ByteVector& f) {
         const std::size_t record = 12 + 16 * 7;
         f[record + 12] = 0x7F;
       },
       true},
      {"cut short", [&](ByteVector& f) { f.resize(f.size() - 4); }, false},
  };

  EXPECT_TRUE(verifySubset(*font, subset.font, subset.characters, subset.glyphs, true));
  for (const Damage& d : damages) {
    ByteVector damaged = subset.font;
    d.apply(damaged);
    if (d.reseal && be32(damaged, 12 + 16 * 7 + 12) < damaged.size()) testing::reseal(damaged);
    EXPECT_FALSE(verifySubset(*font, damaged, subset.characters, subset.glyphs, true)) << d.what;
  }
  // A glyph the plan kept but the output lost, and the other way round.
  std::vector<std::uint16_t> more = subset.glyphs;
  more.push_back(300);
  EXPECT_FALSE(verifySubset(*font, subset.font, subset.characters, more, true));
  std::vector<std::uint16_t> fewer(subset.glyphs.begin(), subset.glyphs.end() - 1);
  EXPECT_FALSE(verifySubset(*font, subset.font, subset.characters, fewer, true));
}

}  // namespace
}  // namespace subset
