// TrueType checksums: the sum of a table's big-endian 32-bit words, the last
// word padded with zero bytes, modulo 2^32.
#pragma once

#include <cstdint>

#include "sfnt/reader.h"

namespace sfnt {

// head.checkSumAdjustment makes the sum of the whole font equal to this.
inline constexpr std::uint32_t kWholeFontSum = 0xB1B0AFBAu;

std::uint32_t checksum(Bytes data);

}  // namespace sfnt
