// Every bound the subsetter enforces on its input and output, in one place.
#pragma once

#include <cstddef>
#include <cstdint>

namespace subset {

// Font images are handed around with 32-bit lengths.
inline constexpr std::uint64_t kMaxFontSize = 0xFFFFFFFFu;

// head must reach indexToLocFormat (offset 50, 2 bytes).
inline constexpr std::size_t kMinHeadLength = 54;
inline constexpr std::size_t kHeadCheckSumAdjustmentOffset = 8;
inline constexpr std::size_t kHeadIndexToLocFormatOffset = 50;

// A glyph with outline data starts with a 10-byte header.
inline constexpr std::size_t kGlyphHeaderSize = 10;

// Composite glyphs nest rarely deeper than two or three levels; a chain this
// deep is taken for a malformed font rather than followed further.
inline constexpr int kMaxCompositeDepth = 16;

// The rebuilt format 4 subtable stores its length in 16 bits: 16 + 8 × segments.
inline constexpr std::uint32_t kMaxCmapSegments = (0xFFFFu - 16u) / 8u;

// The rebuilt cmap: header and two encoding records, a 262-byte format 0
// subtable, then the format 4 subtable.
inline constexpr std::uint32_t kCmapFormat0Offset = 20;
inline constexpr std::uint32_t kCmapFormat0Length = 262;
inline constexpr std::uint32_t kCmapFormat4Offset = kCmapFormat0Offset + kCmapFormat0Length;
inline constexpr std::uint32_t kCmapFixedSize = kCmapFormat4Offset + 16;
// Codes and glyph ids below this go into the format 0 subtable.
inline constexpr std::uint16_t kFormat0Limit = 255;

inline constexpr std::uint32_t kPostLength = 32;

// The new name table keeps name ids 0..7 of the Macintosh and Windows
// platforms; its lengths and string offsets are 16-bit.
inline constexpr std::uint16_t kNameIdCount = 8;
inline constexpr std::uint32_t kMaxNameStorage = 0xFFFFu;

}  // namespace subset
