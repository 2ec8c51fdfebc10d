#include "sfnt/checksum.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace sfnt {
namespace {

// Adds each byte to the sum of its position modulo 4. Shifting those four
// sums into place at the end gives the same result modulo 2^32 as adding
// big-endian words one by one.
void addBytes(const std::uint8_t* p, std::size_t size, std::uint64_t (&lanes)[4]) {
  for (std::size_t i = 0; i < size; ++i) lanes[i % 4] += p[i];
}

// Eight bytes at a time: the even and the odd bytes each go into four 16-bit
// counters of one 64-bit word, which kStepsPerBlock steps cannot overflow
// (256 × 255 < 65536).
constexpr std::uint64_t kLowBytes = 0x00FF00FF00FF00FFull;
constexpr std::size_t kStepsPerBlock = 256;

void foldCounters(std::uint64_t even, std::uint64_t odd, std::uint64_t (&lanes)[4]) {
  // Little-endian: counter k of `even` holds the bytes at 2k mod 8.
  lanes[0] += (even & 0xFFFF) + ((even >> 32) & 0xFFFF);
  lanes[2] += ((even >> 16) & 0xFFFF) + (even >> 48);
  lanes[1] += (odd & 0xFFFF) + ((odd >> 32) & 0xFFFF);
  lanes[3] += ((odd >> 16) & 0xFFFF) + (odd >> 48);
}

#if defined(__GNUC__)
// Sixteen bytes a step in two 64-bit halves, in the compiler's vector type so
// that each step is a handful of SSE instructions.
using Pair = std::uint64_t __attribute__((vector_size(16)));

void addWords(const std::uint8_t* p, std::size_t size, std::uint64_t (&lanes)[4]) {
  const Pair mask = {kLowBytes, kLowBytes};
  std::size_t i = 0;
  for (; size - i >= 16 * kStepsPerBlock; i += 16 * kStepsPerBlock) {
    Pair even = {0, 0};
    Pair odd = {0, 0};
    for (std::size_t step = 0; step < kStepsPerBlock; ++step) {
      Pair words;
      std::memcpy(&words, p + i + 16 * step, 16);
      even += words & mask;
      odd += (words >> 8) & mask;
    }
    foldCounters(even[0], odd[0], lanes);
    foldCounters(even[1], odd[1], lanes);
  }
  std::uint64_t even = 0;
  std::uint64_t odd = 0;
  for (; size - i >= 8; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    even += word & kLowBytes;
    odd += (word >> 8) & kLowBytes;
  }
  foldCounters(even, odd, lanes);
  addBytes(p + i, size - i, lanes);  // i is a multiple of 8, so positions keep their lane
}
#else
void addWords(const std::uint8_t* p, std::size_t size, std::uint64_t (&lanes)[4]) {
  std::size_t i = 0;
  while (size - i >= 8) {
    const std::size_t end = i + std::min((size - i) / 8, kStepsPerBlock) * 8;
    std::uint64_t even = 0;
    std::uint64_t odd = 0;
    for (; i < end; i += 8) {
      std::uint64_t word;
      std::memcpy(&word, p + i, 8);
      even += word & kLowBytes;
      odd += (word >> 8) & kLowBytes;
    }
    foldCounters(even, odd, lanes);
  }
  addBytes(p + i, size - i, lanes);
}
#endif

}  // namespace

std::uint32_t checksum(Bytes data) {
  std::uint64_t lanes[4] = {0, 0, 0, 0};
  if constexpr (std::endian::native == std::endian::little) {
    addWords(data.data(), data.size(), lanes);
  } else {
    addBytes(data.data(), data.size(), lanes);
  }
  return static_cast<std::uint32_t>((lanes[0] << 24) + (lanes[1] << 16) + (lanes[2] << 8) +
                                    lanes[3]);
}

}  // namespace sfnt
