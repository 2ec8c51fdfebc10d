// The check every subset passes before it is handed back: read with the same
// bounds-checked reader as any input font, it must draw what the input drew.
#pragma once

#include <span>

#include "font.h"
#include "subset/subset.h"

namespace subset {

// True when `output` has a sound directory with every table inside it and
// right checksums, a whole-font sum of 0xB1B0AFBA, each kept glyph byte for
// byte as in `input` and every other glyph empty, and (with the tables
// rebuilt) a character map that gives each of `characters` its glyph.
bool verifySubset(const InputFont& input, std::span<const std::uint8_t> output,
                  std::span<const CharGlyph> characters, std::span<const std::uint16_t> glyphs,
                  bool rebuilt);

}  // namespace subset
