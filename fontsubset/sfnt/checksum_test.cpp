#include "sfnt/checksum.h"

#include <gtest/gtest.h>

#include <vector>

namespace sfnt {
namespace {

// The textbook definition, word by word.
std::uint32_t wordSum(const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> padded = data;
  padded.resize((data.size() + 3) / 4 * 4, 0);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < padded.size(); i += 4) {
    sum += (std::uint32_t{padded[i]} << 24) | (std::uint32_t{padded[i + 1]} << 16) |
           (std::uint32_t{padded[i + 2]} << 8) | padded[i + 3];
  }
  return sum;
}

TEST(Checksum, EqualsTheWordSumWithZeroPaddingForEveryTailLength) {
  std::vector<std::uint8_t> data;
  std::uint32_t seed = 12345;
  for (int i = 0; i < 70000; ++i) {
    seed = seed * 1103515245u + 12345u;
    data.push_back(static_cast<std::uint8_t>(0x80 | (seed >> 24)));
  }
  for (std::size_t cut = 0; cut < 8; ++cut) {
    std::vector<std::uint8_t> part(data.begin(), data.end() - static_cast<std::ptrdiff_t>(cut));
    EXPECT_EQ(checksum(part), wordSum(part)) << "cut " << cut;
  }
  const std::vector<std::uint8_t> allOnes(9000, 0xFF);  // the largest byte in every counter
  EXPECT_EQ(checksum(allOnes), wordSum(allOnes));
  EXPECT_EQ(checksum(Bytes{}), 0u);
  const std::vector<std::uint8_t> oneByte = {0xAB};
  EXPECT_EQ(checksum(oneByte), 0xAB000000u);
}

}  // namespace
}  // namespace sfnt
