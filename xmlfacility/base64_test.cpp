#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "xmlfacility/xml_writer.h"

namespace {

// A deliberately plain encoder, six bits at a time, to hold the fast one to.
std::string referenceEncode(const std::vector<std::uint8_t>& data, int flags) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string chars;
  std::uint32_t bits = 0;
  int count = 0;
  for (const std::uint8_t byte : data) {
    bits = (bits << 8) | byte;
    count += 8;
    while (count >= 6) {
      chars += alphabet[(bits >> (count - 6)) & 0x3F];
      count -= 6;
    }
  }
  if (count > 0) chars += alphabet[(bits << (6 - count)) & 0x3F];
  if ((flags & Base64NoPadding) == 0) {
    while (chars.size() % 4 != 0) chars += '=';
  }
  if ((flags & Base64NoLineBreaks) != 0) return chars;
  std::string lines;
  for (std::size_t i = 0; i < chars.size(); i += 76) {
    if (i != 0) lines += "\r\n";
    lines += chars.substr(i, 76);
  }
  return lines;
}

std::string encode(const std::string& data, int flags) {
  const std::int32_t size = static_cast<std::int32_t>(data.size());
  std::string out(static_cast<std::size_t>(base64EncodedLength(size, flags)), '\0');
  std::int32_t length = static_cast<std::int32_t>(out.size());
  EXPECT_EQ(base64Encode(data.data(), size, out.data(), &length, flags), 1);
  out.resize(static_cast<std::size_t>(length));
  return out;
}

TEST(Base64Test, EncodedLengths) {
  struct Case {
    std::int32_t bytes;
    int flags;
    std::int32_t length;
  };
  const Case cases[] = {
      {0, 0, 0},
      {1, 0, 4},
      {57, 0, 76},
      {58, 0, 82},
      {114, 0, 154},
      {1, Base64NoPadding, 2},
      {2, Base64NoPadding, 3},
      {3, Base64NoPadding, 4},
      {58, Base64NoPadding, 80},
      {65536, Base64NoLineBreaks, 87384},
      {-1, 0, -1},
      {INT32_MAX, Base64NoLineBreaks, -1},  // would not fit in 32 bits
      {1610612733, Base64NoLineBreaks, 2147483644},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(base64EncodedLength(c.bytes, c.flags), c.length) << c.bytes << " " << c.flags;
  }
}

TEST(Base64Test, KnownEncodings) {
  struct Case {
    std::string data;
    int flags;
    std::string encoded;
  };
  const Case cases[] = {
      {"A", 0, "QQ=="},
      {"A", Base64NoPadding, "QQ"},
      {"f", 0, "Zg=="},
      {"fo", 0, "Zm8="},
      {"foo", 0, "Zm9v"},
      {"foobar", 0, "Zm9vYmFy"},
      {std::string("\xfb\xff\xbf", 3), 0, "+/+/"},
      {std::string(114, '\0'), 0, std::string(76, 'A') + "\r\n" + std::string(76, 'A')},
      {std::string(57, '\0') + "A", 0, std::string(76, 'A') + "\r\nQQ=="},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encode(c.data, c.flags), c.encoded);
  }
}

TEST(Base64Test, MatchesThePlainEncoderForEveryLengthAndFlag) {
  std::vector<std::uint8_t> data;
  for (int n = 0; n <= 400; ++n) {
    for (const int flags : {0, Base64NoPadding, Base64NoLineBreaks, 3}) {
      const std::string encoded = encode(std::string(data.begin(), data.end()), flags);
      EXPECT_EQ(encoded, referenceEncode(data, flags)) << n << " " << flags;
      EXPECT_EQ(static_cast<std::int32_t>(encoded.size()),
                base64EncodedLength(static_cast<std::int32_t>(n), flags));
    }
    data.push_back(static_cast<std::uint8_t>(n * 131 + 7));
  }
}

TEST(Base64Test, RefusesWithoutWriting) {
  const char data[] = "abcd";
  char out[16];
  std::fill(std::begin(out), std::end(out), '#');
  struct Case {
    const void* data;
    char* out;
    std::int32_t bytes;
    std::int32_t capacity;
  };
  const Case cases[] = {
      {nullptr, out, 4, 16},
      {data, nullptr, 4, 16},
      {data, out, 4, 7},  // needs 8
      {data, out, -3, 16},
  };
  for (const Case& c : cases) {
    std::int32_t length = c.capacity;
    EXPECT_EQ(base64Encode(c.data, c.bytes, c.out, &length, 0), 0);
    EXPECT_EQ(length, c.capacity);
    EXPECT_EQ(std::string(out, sizeof(out)), std::string(16, '#'));
  }
  EXPECT_EQ(base64Encode(data, 4, out, nullptr, 0), 0);
}

}  // namespace
