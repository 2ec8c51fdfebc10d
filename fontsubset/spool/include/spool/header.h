// The fixed header in front of a printer meta file's record stream.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "spool/le_bytes.h"

namespace spool {

inline constexpr std::string_view kMagic = "VARDO PRINTER META FILE ";
inline constexpr std::size_t kShortHeaderSize = 36;  // version 1
inline constexpr std::size_t kLongHeaderSize = 56;   // version 2 and above

// Versions from here on promise a valid page count and ratios.
inline constexpr std::uint32_t kStatisticsVersion = 5;
// Versions from here on carry a code page in font file records.
inline constexpr std::uint32_t kCodePageVersion = 4;
inline constexpr std::uint16_t kDefaultCodePage = 1252;

struct MetaFileHeader {
  std::uint32_t version = kStatisticsVersion;
  std::uint32_t compressed = 0;  // only 1 means a zlib body
  std::uint32_t recordSetParameter = 0;
  std::uint32_t recordSet = 1;  // 1 for a short header
  std::uint32_t pageCountPlusOne = 0;
  std::uint8_t sizeRatio = 100;
  std::uint8_t blobRatio = 100;
  std::uint8_t textObjectRatio = 100;
  std::uint8_t pointListRatio = 100;

  // Version 0 has neither header: readers refuse it.
  bool isKnownVersion() const { return version != 0; }
  bool isLong() const { return version >= 2; }
  std::size_t size() const { return isLong() ? kLongHeaderSize : kShortHeaderSize; }
  bool isCompressed() const { return compressed == 1; }
};

bool hasMagic(Bytes bytes);

// Parses a header from the start of `bytes`: nothing when the magic is wrong,
// the version is 0, or the bytes end before the header does. Fields of the long header stay at
// their defaults for a version-1 header.
std::optional<MetaFileHeader> parseHeader(Bytes bytes);

// The header's bytes: 36 for version 1, else 56 with the reserved tail zero.
struct EncodedHeader {
  std::array<std::uint8_t, kLongHeaderSize> bytes{};
  std::size_t size = 0;
  Bytes view() const { return Bytes(bytes.data(), size); }
};
EncodedHeader encodeHeader(const MetaFileHeader& header);

}  // namespace spool
