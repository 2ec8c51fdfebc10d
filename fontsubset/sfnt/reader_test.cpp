#include "sfnt/reader.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "sfnt/writer.h"

namespace sfnt {
namespace {

constexpr std::array<std::uint8_t, 7> kData = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE};

TEST(Reader, ReadsBigEndianAndFailsAtTheEndWithoutMoving) {
  Reader reader(kData);
  std::uint32_t word = 0;
  std::uint16_t half = 0;
  ASSERT_TRUE(reader.u32(word));
  EXPECT_EQ(word, 0x12345678u);
  ASSERT_TRUE(reader.u16(half));
  EXPECT_EQ(half, 0x9ABCu);
  EXPECT_FALSE(reader.u16(half));
  EXPECT_EQ(half, 0x9ABCu);
  EXPECT_FALSE(reader.ok());
  // Once failed, the cursor stays failed, so a run of reads is checked once.
  std::uint8_t byte = 0;
  EXPECT_FALSE(reader.u8(byte));
  EXPECT_EQ(reader.remaining(), 0u);
}

TEST(Reader, RandomAccessAndSlicesStayInside) {
  struct Case {
    std::size_t offset;
    std::size_t length;
    bool inside;
  };
  const Case cases[] = {
      {0, 7, true},  {7, 0, true},         {6, 1, true},         {6, 2, false},
      {8, 0, false}, {1, SIZE_MAX, false}, {SIZE_MAX, 1, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(slice(kData, c.offset, c.length).has_value(), c.inside)
        << c.offset << "+" << c.length;
  }
  std::uint16_t half = 0;
  std::uint32_t word = 0;
  EXPECT_TRUE(readU16(kData, 5, half));
  EXPECT_EQ(half, 0xBCDEu);
  EXPECT_FALSE(readU16(kData, 6, half));
  EXPECT_TRUE(readU32(kData, 3, word));
  EXPECT_EQ(word, 0x789ABCDEu);
  EXPECT_FALSE(readU32(kData, 4, word));
  EXPECT_FALSE(readU32(kData, SIZE_MAX - 1, word));
  std::int16_t signedHalf = 0;
  EXPECT_TRUE(readI16(kData, 4, signedHalf));
  EXPECT_EQ(signedHalf, static_cast<std::int16_t>(0x9ABC));
}

TEST(Reader, ArrayViewsRefuseToReachPastTheData) {
  EXPECT_TRUE(U16Array::at(kData, 1, 3).has_value());
  EXPECT_FALSE(U16Array::at(kData, 2, 3).has_value());
  EXPECT_FALSE(U16Array::at(kData, 0, SIZE_MAX / 2 + 1).has_value());
  EXPECT_FALSE(U32Array::at(kData, 4, 1).has_value());
  auto words = U32Array::at(kData, 3, 1);
  ASSERT_TRUE(words.has_value());
  EXPECT_EQ((*words)[0], 0x789ABCDEu);
  auto halves = U16Array::at(kData, 1, 3);
  ASSERT_TRUE(halves.has_value());
  EXPECT_EQ((*halves)[2], 0xBCDEu);
}

TEST(Writer, WritesBigEndianAndStopsAtTheEnd) {
  std::vector<std::uint8_t> out(7, 0);
  Writer writer(out);
  writer.u32(0x01020304u);
  writer.u16(0x0506);
  EXPECT_TRUE(writer.ok());
  writer.u16(0x0708);  // one byte short
  EXPECT_FALSE(writer.ok());
  writer.u8(0x09);  // a failed writer writes nothing more
  EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 0}));
}

TEST(Writer, SearchFieldsForDirectoriesAndCharacterMaps) {
  struct Case {
    std::uint32_t count;
    std::uint32_t unit;
    SearchFields expected;
  };
  const Case cases[] = {
      {1, 16, {16, 0, 0}},   {13, 16, {128, 3, 80}}, {11, 16, {128, 3, 48}},
      {16, 16, {256, 4, 0}}, {1, 2, {2, 0, 0}},      {5, 2, {8, 2, 2}},
  };
  for (const Case& c : cases) {
    SearchFields got = searchFields(c.count, c.unit);
    EXPECT_EQ(got.searchRange, c.expected.searchRange) << c.count;
    EXPECT_EQ(got.entrySelector, c.expected.entrySelector) << c.count;
    EXPECT_EQ(got.rangeShift, c.expected.rangeShift) << c.count;
  }
}

}  // namespace
}  // namespace sfnt
