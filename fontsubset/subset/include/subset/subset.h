// The TrueType subsetter: cuts a font image down to the glyphs that a set of
// characters draws. Glyph ids are kept, so every table copied from the input
// stays valid; glyphs nobody draws keep their slot with no outline.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace subset {

// One used character (a UTF-16 code unit) and the glyph that draws it.
struct CharGlyph {
  std::uint16_t code = 0;
  std::uint16_t glyph = 0;

  friend bool operator==(const CharGlyph&, const CharGlyph&) = default;
};

struct Options {
  // Put before the family, unique, full and PostScript names (ids 1, 3, 4, 6).
  std::string_view namePrefix;
  // On: the glyphs are looked up in the font's Windows character map and new
  // cmap and post tables are built. Off: the caller's glyph ids are used and
  // both tables are left out.
  bool rebuildTables = true;
};

// Why a font gave no subset.
enum class Refusal {
  None,
  BadDirectory,     // the table directory does not describe the image
  MissingTable,     // cmap, glyf, head, loca or name is absent
  NoWindowsCmap,    // no platform-3 character map
  UnsupportedCmap,  // the platform-3 character map is not format 4
  BadCmap,          // the character map reaches outside its table or past the glyphs
  BadHead,          // head too short to hold the loca format
  BadLoca,          // offsets out of order or past the end of glyf
  BadGlyph,         // a glyph header or composite record outside its glyph
  BadName,          // a name record outside the name table
  BadArgument,      // a caller's glyph id past the glyphs (rebuild off)
  TooLarge,         // the new cmap, name table or image would not fit its fields
  OutOfMemory,
  SelfCheckFailed,  // the built image did not pass its own check
};

struct Subset {
  std::vector<std::uint8_t> font;
  // The characters the font maps, ascending by code, glyph ids filled in.
  std::vector<CharGlyph> characters;
  // The glyphs whose outlines were kept, ascending.
  std::vector<std::uint16_t> glyphs;
  // Glyph slots in the font, kept or emptied.
  std::uint32_t glyphCount = 0;
};

struct Result {
  Refusal refusal = Refusal::None;
  std::optional<Subset> subset;

  explicit operator bool() const { return subset.has_value(); }
};

// Builds the subset of `font` for `characters` (duplicates allowed). With the
// rebuild option on, the glyph ids given are ignored and looked up; characters
// the font does not map are left out. The image is checked before it is
// returned; any fault gives a refusal and no subset.
Result subsetFont(std::span<const std::uint8_t> font, std::span<const CharGlyph> characters,
                  const Options& options = {});

// The same with bare character codes.
Result subsetFont(std::span<const std::uint8_t> font, std::span<const std::uint16_t> codes,
                  const Options& options = {});

const char* refusalText(Refusal refusal);

}  // namespace subset
