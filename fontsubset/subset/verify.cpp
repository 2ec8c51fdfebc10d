#include "verify.h"

#include <algorithm>
#include <cstring>

#include "sfnt/checksum.h"
#include "subset/limits.h"

namespace subset {
namespace {

bool sumsAreRight(const sfnt::Directory& directory, std::span<const std::uint8_t> output) {
  // The tables follow the directory end to end, each padded to 4 bytes, so the
  // whole-font sum is the directory's sum plus the tables' sums; a gap or an
  // overlap would break that and is refused.
  const std::size_t directoryEnd =
      sfnt::kOffsetTableSize + sfnt::kTableRecordSize * directory.records().size();
  std::uint32_t wholeSum = sfnt::checksum(output.first(directoryEnd));
  std::size_t expectedOffset = directoryEnd;
  for (const sfnt::TableRecord& record : directory.records()) {
    const std::size_t padded = (std::size_t{record.length} + 3) & ~std::size_t{3};
    if (record.offset != expectedOffset) return false;
    auto table = sfnt::slice(output, record.offset, padded);
    if (!table) return false;
    expectedOffset += padded;
    std::uint32_t sum = sfnt::checksum(*table);
    wholeSum += sum;
    if (record.tag == tags::kHead) {
      std::uint32_t adjustment = 0;
      if (!sfnt::readU32(*table, kHeadCheckSumAdjustmentOffset, adjustment)) return false;
      sum -= adjustment;
    }
    if (sum != record.checksum) return false;
  }
  return expectedOffset == output.size() && wholeSum == sfnt::kWholeFontSum;
}

// `subset` was opened without scanning its loca: the walk below checks every
// entry instead. Between kept glyphs the entries must not change (empty
// glyphs); at a kept glyph they must step by exactly its input length, inside
// glyf, to bytes equal to the input's; and the last entry must end glyf.
bool glyphsAreKept(const InputFont& input, const InputFont& subset,
                   std::span<const std::uint16_t> glyphs) {
  const Loca& offsets = subset.offsets;
  if (offsets.glyphCount() != input.offsets.glyphCount() ||
      offsets.longFormat() != input.offsets.longFormat()) {
    return false;
  }
  std::uint32_t next = 0;  // the first glyph not yet checked
  for (const std::uint16_t kept : glyphs) {
    if (kept < next || kept >= offsets.glyphCount()) return false;
    const std::uint32_t start = offsets.offset(next);
    if (!offsets.allEqual(next, kept, start)) return false;
    const sfnt::Bytes original = input.glyph(kept);
    if (offsets.offset(kept + 1u) - start != original.size()) return false;
    auto data = sfnt::slice(subset.glyf, start, original.size());
    if (!data ||
        (!data->empty() && std::memcmp(data->data(), original.data(), data->size()) != 0)) {
      return false;
    }
    next = kept + 1u;
  }
  const std::uint32_t end = offsets.offset(next);
  return end == subset.glyf.size() && offsets.allEqual(next, offsets.glyphCount(), end);
}

bool charactersAreMapped(const InputFont& subset, std::span<const CharGlyph> characters) {
  const Format4& map = subset.windowsCmap->map;
  auto format0 = sfnt::slice(subset.cmap, kCmapFormat0Offset + 6, 256);
  if (!format0) return false;
  for (const CharGlyph& c : characters) {
    if (map.glyphFor(c.code) != c.glyph) return false;
    if (c.code < kFormat0Limit && c.glyph < kFormat0Limit && (*format0)[c.code] != c.glyph) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool verifySubset(const InputFont& input, std::span<const std::uint8_t> output,
                  std::span<const CharGlyph> characters, std::span<const std::uint16_t> glyphs,
                  bool rebuilt) {
  std::optional<InputFont> subset;
  if (openFont(output, rebuilt, subset, false) != Refusal::None) return false;
  if (!sumsAreRight(subset->directory, output)) return false;
  if (!glyphsAreKept(input, *subset, glyphs)) return false;
  return !rebuilt || charactersAreMapped(*subset, characters);
}

}  // namespace subset
