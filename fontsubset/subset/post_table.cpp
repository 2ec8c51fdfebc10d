#include "sfnt/writer.h"
#include "subset/limits.h"
#include "tables.h"

namespace subset {

void writePost(const std::optional<sfnt::Bytes>& input, std::span<std::uint8_t> out) {
  sfnt::Writer w(out);
  w.u32(0x00030000u);
  // italicAngle, underlinePosition, underlineThickness and isFixedPitch; a post
  // table too short to hold them all is ignored rather than half copied.
  constexpr std::size_t kCopiedEnd = 16;
  if (input && input->size() >= kCopiedEnd) w.bytes(input->subspan(4, kCopiedEnd - 4));
}

}  // namespace subset
