#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>

#include "xmlfacility/xml_writer.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::int64_t kLineLength = 76;
constexpr std::int64_t kGroupsPerLine = kLineLength / 4;

// The two characters for every 12-bit value, so that a three-byte group
// takes two look-ups.
constexpr std::array<char, 2 * 4096> makePairs() {
  std::array<char, 2 * 4096> pairs{};
  for (int v = 0; v < 4096; ++v) {
    pairs[2 * v] = kAlphabet[v >> 6];
    pairs[2 * v + 1] = kAlphabet[v & 0x3F];
  }
  return pairs;
}

constexpr std::array<char, 2 * 4096> kPairs = makePairs();

char* encodeGroups(const unsigned char* in, std::int64_t groups, char* out) {
  for (std::int64_t g = 0; g < groups; ++g, in += 3, out += 4) {
    const std::uint32_t v = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
    std::memcpy(out, &kPairs[2 * (v >> 12)], 2);
    std::memcpy(out + 2, &kPairs[2 * (v & 0xFFF)], 2);
  }
  return out;
}

std::int64_t encodedLength(std::int64_t length, int flags) {
  const std::int64_t remainder = length % 3;
  std::int64_t total = (length / 3) * 4;
  if (remainder != 0) {
    total += (flags & Base64NoPadding) != 0 ? remainder + 1 : 4;
  }
  if ((flags & Base64NoLineBreaks) == 0 && total > 0) {
    total += ((total - 1) / kLineLength) * 2;
  }
  return total;
}

}  // namespace

std::int32_t base64EncodedLength(std::int32_t length, int flags) {
  if (length < 0) {
    return -1;
  }
  const std::int64_t total = encodedLength(length, flags);
  return total > std::numeric_limits<std::int32_t>::max() ? -1 : static_cast<std::int32_t>(total);
}

int base64Encode(const void* data, std::int32_t length, char* out, std::int32_t* inOutLength,
                 int flags) {
  if (data == nullptr || out == nullptr || inOutLength == nullptr) {
    return 0;
  }
  const std::int32_t needed = base64EncodedLength(length, flags);
  if (needed < 0 || *inOutLength < needed) {
    return 0;
  }
  const auto* in = static_cast<const unsigned char*>(data);
  const std::int64_t groups = length / 3;
  const std::int64_t remainder = length % 3;
  char* o = out;
  if ((flags & Base64NoLineBreaks) != 0) {
    o = encodeGroups(in, groups, o);
  } else {
    for (std::int64_t done = 0; done < groups;) {
      const std::int64_t lineGroups = std::min(kGroupsPerLine, groups - done);
      o = encodeGroups(in + 3 * done, lineGroups, o);
      done += lineGroups;
      // A full line is followed by CR LF only when more characters follow.
      if (lineGroups == kGroupsPerLine && (done < groups || remainder != 0)) {
        *o++ = '\r';
        *o++ = '\n';
      }
    }
  }
  if (remainder != 0) {
    const unsigned char* tail = in + 3 * groups;
    const std::uint32_t v =
        (std::uint32_t{tail[0]} << 16) | (remainder == 2 ? std::uint32_t{tail[1]} << 8 : 0u);
    *o++ = kAlphabet[(v >> 18) & 0x3F];
    *o++ = kAlphabet[(v >> 12) & 0x3F];
    if (remainder == 2) *o++ = kAlphabet[(v >> 6) & 0x3F];
    if ((flags & Base64NoPadding) == 0) {
      *o++ = '=';
      if (remainder == 1) *o++ = '=';
    }
  }
  *inOutLength = static_cast<std::int32_t>(o - out);
  return 1;
}
