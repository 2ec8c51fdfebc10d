// The record codes of a printer meta file with their framing: fixed length and
// where in the fixed part the 32-bit length of the variable part sits.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace spool {

namespace code {
inline constexpr std::uint8_t kFiller = 0x00;
inline constexpr std::uint8_t kDocumentStart = 1;
inline constexpr std::uint8_t kDocumentEnd = 2;
inline constexpr std::uint8_t kPageStart = 4;
inline constexpr std::uint8_t kTextRun = 6;
inline constexpr std::uint8_t kShortFontFile = 29;
inline constexpr std::uint8_t kFontFile = 30;
inline constexpr std::uint8_t kBlobDefinition = 31;
inline constexpr std::uint8_t kLongBlobDefinition = 32;
inline constexpr std::uint8_t kTextObjectDefinition = 33;
inline constexpr std::uint8_t kObjectReplay = 34;
inline constexpr std::uint8_t kObjectDelete = 35;
inline constexpr std::uint8_t kFontObjectDefinition = 36;
inline constexpr std::uint8_t kProcessingMarker = 37;
inline constexpr std::uint8_t kPointListDefinition = 39;
inline constexpr std::uint8_t kObjectReplayAtOffset = 40;
inline constexpr std::uint8_t kObjectGroupDefinition = 41;
inline constexpr std::uint8_t kLast = 41;
}  // namespace code

inline constexpr std::int16_t kNoLengthField = -1;

struct CatalogueEntry {
  std::uint8_t code;
  std::string_view name;
  std::uint8_t fixedLength;
  std::int16_t lengthAt;  // kNoLengthField when the record has no variable part

  bool hasLengthField() const { return lengthAt != kNoLengthField; }
};

// Every known code in ascending order (0x03 is not one).
std::span<const CatalogueEntry> catalogue();

// The entry for `code`, or null for 0x00, 0x03 and everything above 0x29.
const CatalogueEntry* findCatalogueEntry(std::uint8_t code);

}  // namespace spool
