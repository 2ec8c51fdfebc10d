// The input font as the subsetter sees it: the tables it reads, each checked
// against the image before anything is taken from it.
#pragma once

#include <cstdint>
#include <optional>

#include "sfnt/directory.h"
#include "sfnt/reader.h"
#include "subset/subset.h"

namespace subset {

namespace tags {
inline constexpr sfnt::Tag kOs2 = sfnt::makeTag("OS/2");
inline constexpr sfnt::Tag kCmap = sfnt::makeTag("cmap");
inline constexpr sfnt::Tag kCvt = sfnt::makeTag("cvt ");
inline constexpr sfnt::Tag kFpgm = sfnt::makeTag("fpgm");
inline constexpr sfnt::Tag kGlyf = sfnt::makeTag("glyf");
inline constexpr sfnt::Tag kHead = sfnt::makeTag("head");
inline constexpr sfnt::Tag kHhea = sfnt::makeTag("hhea");
inline constexpr sfnt::Tag kHmtx = sfnt::makeTag("hmtx");
inline constexpr sfnt::Tag kLoca = sfnt::makeTag("loca");
inline constexpr sfnt::Tag kMaxp = sfnt::makeTag("maxp");
inline constexpr sfnt::Tag kName = sfnt::makeTag("name");
inline constexpr sfnt::Tag kPost = sfnt::makeTag("post");
inline constexpr sfnt::Tag kPrep = sfnt::makeTag("prep");
}  // namespace tags

// A format 4 character map subtable.
class Format4 {
 public:
  // `subtable` starts at the subtable and runs to the end of the cmap table.
  // Nothing when it is not format 4 or its arrays do not fit its length.
  static std::optional<Format4> parse(sfnt::Bytes subtable, Refusal& refusal);

  // The glyph for `code`; 0 when the map has none.
  std::uint16_t glyphFor(std::uint16_t code) const;

 private:
  std::size_t segmentFor(std::uint16_t code) const;

  std::size_t segCount_ = 0;
  bool ascending_ = true;
  sfnt::U16Array endCode_, startCode_, idDelta_, idRangeOffset_, glyphIdArray_;
};

// The first platform-3 subtable of a cmap table, read as format 4.
struct WindowsCmap {
  std::uint16_t encodingId = 0;
  Format4 map;
};
std::optional<WindowsCmap> readWindowsCmap(sfnt::Bytes cmap, Refusal& refusal);

// Glyph offsets from a loca table, checked to rise and to stay inside glyf.
class Loca {
 public:
  // With `scan` off the offsets are taken unchecked: for a font the caller
  // checks glyph by glyph itself.
  static std::optional<Loca> parse(sfnt::Bytes loca, bool longFormat, std::size_t glyfLength,
                                   bool scan = true);

  std::uint32_t glyphCount() const { return glyphCount_; }
  bool longFormat() const { return longFormat_; }
  // `glyph` below glyphCount(); `glyph + 1` is the end.
  std::uint32_t offset(std::uint32_t index) const {
    return longFormat_ ? long_[index] : 2u * static_cast<std::uint32_t>(short_[index]);
  }
  std::uint32_t length(std::uint32_t glyph) const { return offset(glyph + 1) - offset(glyph); }
  // True when the entries first..last (inclusive, last <= glyphCount()) all
  // hold `value`: the glyphs between them are empty.
  bool allEqual(std::uint32_t first, std::uint32_t last, std::uint32_t value) const;

 private:
  bool longFormat_ = false;
  std::uint32_t glyphCount_ = 0;
  sfnt::U16Array short_;
  sfnt::U32Array long_;
};

struct InputFont {
  sfnt::Bytes image;
  sfnt::Directory directory;
  sfnt::Bytes cmap, glyf, head, loca, name;
  std::optional<sfnt::Bytes> post;
  Loca offsets;
  // Only read when the tables are rebuilt.
  std::optional<WindowsCmap> windowsCmap;

  // Only for fonts whose loca was scanned.
  sfnt::Bytes glyph(std::uint32_t id) const {
    return glyf.subspan(offsets.offset(id), offsets.length(id));
  }
};

// Finds and checks the tables the subsetter reads; cmap only when asked to
// read it, since a subset without rebuilt tables has none.
Refusal openFont(sfnt::Bytes image, bool readCmap, std::optional<InputFont>& out,
                 bool scanLoca = true);

}  // namespace subset
