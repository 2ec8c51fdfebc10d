// Any bytes may arrive as an embedded font. The subsetter must refuse what it
// cannot read without reading outside it, and whatever it returns must pass as
// a whole font.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "subset/subset.h"

namespace {

std::uint32_t wordSum(std::span<const std::uint8_t> data) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < data.size(); ++i) {
    sum += static_cast<std::uint32_t>(data[i]) << (8 * (3 - i % 4));
  }
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::uint16_t kCodes[] = {0x20, 0x41,  0x42,   0x43,   0x61,  0xE9,
                                         0xFF, 0x100, 0x4E00, 0xFFFE, 0xFFFF};
  static const subset::CharGlyph kGlyphs[] = {{0x41, 1}, {0x42, 2}, {0x43, 5}, {0x44, 300}};
  const std::span<const std::uint8_t> font(data, size);

  for (const subset::Result& result :
       {subset::subsetFont(font, std::span<const std::uint16_t>(kCodes)),
        subset::subsetFont(font, std::span<const subset::CharGlyph>(kGlyphs),
                           subset::Options{"AB+", false})}) {
    if (result && wordSum(result.subset->font) != 0xB1B0AFBAu) std::abort();
  }
  return 0;
}
