#include <algorithm>
#include <cstring>

#include "tables.h"

namespace subset {

void writeGlyfLoca(const InputFont& font, std::span<const std::uint16_t> kept,
                   std::span<std::uint8_t> glyf, std::span<std::uint8_t> loca) {
  const Loca& offsets = font.offsets;
  const std::uint32_t entries = offsets.glyphCount() + 1;
  const std::size_t unit = offsets.longFormat() ? 4 : 2;
  if (loca.size() < entries * unit) return;  // sized from the same count
  std::uint8_t* index = loca.data();
  // The glyphs between two kept ones are empty: their entries all repeat the
  // running total, so each stretch is one fill.
  const auto fill = [&](std::uint32_t first, std::uint32_t last, std::uint32_t total) {
    std::uint8_t* run = index + unit * first;
    if (offsets.longFormat()) {
      run[0] = static_cast<std::uint8_t>(total >> 24);
      run[1] = static_cast<std::uint8_t>(total >> 16);
      run[2] = static_cast<std::uint8_t>(total >> 8);
      run[3] = static_cast<std::uint8_t>(total);
    } else {
      run[0] = static_cast<std::uint8_t>(total >> 9);
      run[1] = static_cast<std::uint8_t>(total >> 1);
    }
    // Doubling copies of the entries written so far fill the run in a few
    // large moves instead of one store per glyph.
    const std::size_t size = unit * (last - first + 1);
    for (std::size_t done = unit; done < size;) {
      const std::size_t step = std::min(done, size - done);
      std::memcpy(run + done, run, step);
      done += step;
    }
  };
  std::uint32_t total = 0;
  std::uint32_t next = 0;
  for (const std::uint16_t glyph : kept) {
    if (glyph < next || glyph >= entries - 1) return;  // ascending and in range by construction
    fill(next, glyph, total);
    const sfnt::Bytes data = font.glyph(glyph);
    if (data.size() > glyf.size() - total) return;  // glyf was sized from these same offsets
    if (!data.empty()) std::memcpy(glyf.data() + total, data.data(), data.size());
    total += static_cast<std::uint32_t>(data.size());
    next = glyph + 1u;
  }
  fill(next, entries - 1, total);
}

}  // namespace subset
