#include <cstring>

#include "sfnt/writer.h"
#include "tables.h"

namespace subset {

void writeGlyfLoca(const InputFont& font, std::span<const std::uint16_t> kept,
                   std::span<std::uint8_t> glyf, std::span<std::uint8_t> loca) {
  const Loca& offsets = font.offsets;
  const std::uint32_t entries = offsets.glyphCount() + 1;
  sfnt::Writer index(loca);
  std::uint32_t total = 0;
  std::size_t next = 0;
  for (std::uint32_t glyph = 0; glyph < entries; ++glyph) {
    if (offsets.longFormat()) {
      index.u32(total);
    } else {
      index.u16(static_cast<std::uint16_t>(total / 2));
    }
    if (next < kept.size() && kept[next] == glyph) {
      ++next;
      const sfnt::Bytes data = font.glyph(glyph);
      if (data.size() > glyf.size() - total) return;  // glyf was sized from these same offsets
      if (!data.empty()) std::memcpy(glyf.data() + total, data.data(), data.size());
      total += static_cast<std::uint32_t>(data.size());
    }
  }
}

}  // namespace subset
