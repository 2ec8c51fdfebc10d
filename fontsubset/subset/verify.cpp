#include "verify.h"

#include <algorithm>
#include <cstring>

#include "sfnt/checksum.h"
#include "subset/limits.h"

namespace subset {
namespace {

bool sumsAreRight(const sfnt::Directory& directory, std::span<const std::uint8_t> output) {
  for (const sfnt::TableRecord& record : directory.records()) {
    auto table =
        sfnt::slice(output, record.offset, (std::size_t{record.length} + 3) & ~std::size_t{3});
    if (!table) return false;
    std::uint32_t sum = sfnt::checksum(*table);
    if (record.tag == tags::kHead) {
      std::uint32_t adjustment = 0;
      if (!sfnt::readU32(*table, kHeadCheckSumAdjustmentOffset, adjustment)) return false;
      sum -= adjustment;
    }
    if (sum != record.checksum) return false;
  }
  return sfnt::checksum(output) == sfnt::kWholeFontSum;
}

bool glyphsAreKept(const InputFont& input, const InputFont& subset,
                   std::span<const std::uint16_t> glyphs) {
  if (subset.offsets.glyphCount() != input.offsets.glyphCount() ||
      subset.offsets.longFormat() != input.offsets.longFormat()) {
    return false;
  }
  std::size_t next = 0;
  for (std::uint32_t glyph = 0; glyph < subset.offsets.glyphCount(); ++glyph) {
    const sfnt::Bytes data = subset.glyph(glyph);
    if (next < glyphs.size() && glyphs[next] == glyph) {
      ++next;
      const sfnt::Bytes original = input.glyph(glyph);
      if (data.size() != original.size() ||
          (!data.empty() && std::memcmp(data.data(), original.data(), data.size()) != 0)) {
        return false;
      }
    } else if (!data.empty()) {
      return false;
    }
  }
  return next == glyphs.size();
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
  if (openFont(output, rebuilt, subset) != Refusal::None) return false;
  if (!sumsAreRight(subset->directory, output)) return false;
  if (!glyphsAreKept(input, *subset, glyphs)) return false;
  return !rebuilt || charactersAreMapped(*subset, characters);
}

}  // namespace subset
