#include "sfnt/checksum.h"

namespace sfnt {

std::uint32_t checksum(Bytes data) {
  // Summing each byte lane on its own and shifting the lanes into place once
  // at the end gives the same sum modulo 2^32 as adding big-endian words, and
  // lets the compiler keep the loop free of byte swaps.
  const std::uint8_t* p = data.data();
  std::size_t size = data.size();
  std::uint32_t lanes[4] = {0, 0, 0, 0};
  std::size_t whole = size & ~static_cast<std::size_t>(3);
  for (std::size_t i = 0; i < whole; i += 4) {
    lanes[0] += p[i];
    lanes[1] += p[i + 1];
    lanes[2] += p[i + 2];
    lanes[3] += p[i + 3];
  }
  for (std::size_t i = whole; i < size; ++i) lanes[i - whole] += p[i];
  return (lanes[0] << 24) + (lanes[1] << 16) + (lanes[2] << 8) + lanes[3];
}

}  // namespace sfnt
