// What goes into a subset: the used characters with their glyphs, and every
// glyph those characters draw, composite components included.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "font.h"
#include "subset/subset.h"

namespace subset {

struct Plan {
  // Ascending by code, no code twice.
  std::vector<CharGlyph> characters;
  // Ascending, glyph 0 always among them.
  std::vector<std::uint16_t> glyphs;
  std::uint32_t glyfLength = 0;
};

// With the tables rebuilt, looks each code up in the font's Windows map and
// leaves out the unmapped ones; otherwise takes the caller's glyph ids.
Refusal mapCharacters(const InputFont& font, std::span<const CharGlyph> characters, bool rebuild,
                      std::vector<CharGlyph>& out);

// The glyph closure of the mapped characters, and the length of their outlines.
Refusal closeGlyphs(const InputFont& font, Plan& plan);

}  // namespace subset
