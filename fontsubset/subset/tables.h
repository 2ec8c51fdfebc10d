// The rebuilt tables: each knows its length before the output is allocated and
// writes itself into the slot the directory gives it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "font.h"
#include "plan.h"
#include "sfnt/reader.h"
#include "subset/limits.h"

namespace subset {

// cmap: a Macintosh format 0 subtable and a Windows format 4 subtable with one
// segment per run of characters whose codes and glyphs both rise by one.
struct CmapRun {
  std::uint16_t firstCode;
  std::uint16_t firstGlyph;
  std::uint32_t length;
};

class CmapTable {
 public:
  Refusal plan(std::span<const CharGlyph> characters, std::uint16_t encodingId);
  std::uint32_t length() const;
  void write(std::span<std::uint8_t> out) const;

 private:
  std::uint32_t segmentCount() const;

  std::span<const CharGlyph> characters_;
  std::vector<CmapRun> runs_;
  std::uint16_t encodingId_ = 0;
};

// post version 3: no glyph names, the line and slant values of the input.
void writePost(const std::optional<sfnt::Bytes>& input, std::span<std::uint8_t> out);

// name: ids 0..7 of the Macintosh and the Windows US English records, the
// unique name replaced by the full name, the version dropped.
class NameTable {
 public:
  Refusal plan(sfnt::Bytes input, std::string_view prefix);
  std::uint32_t length() const { return length_; }
  void write(std::span<std::uint8_t> out) const;

 private:
  struct Slot {
    std::uint16_t encodingId = 0;
    std::uint16_t languageId = 0;
    sfnt::Bytes text;
    bool prefixed = false;
  };
  static constexpr std::array<std::uint16_t, 2> kPlatforms = {1, 3};

  std::uint32_t stringLength(std::size_t platform, const Slot& slot) const;

  std::array<std::array<Slot, kNameIdCount>, 2> slots_{};
  std::string_view prefix_;
  std::uint32_t records_ = 0;
  std::uint32_t length_ = 0;
};

// glyf and loca: every glyph keeps its id; kept glyphs keep their bytes and the
// rest become empty.
void writeGlyfLoca(const InputFont& font, std::span<const std::uint16_t> kept,
                   std::span<std::uint8_t> glyf, std::span<std::uint8_t> loca);

}  // namespace subset
