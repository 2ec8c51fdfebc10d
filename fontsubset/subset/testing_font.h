// Small TrueType fonts made to order for the tests: exact glyph ids, exact
// composite nesting, exact character maps and names, where a real font offers
// no such case.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "subset/subset.h"

namespace subset {
// Lets test failures name the refusal.
inline void PrintTo(Refusal refusal, std::ostream* out) { *out << refusalText(refusal); }
}  // namespace subset

namespace subset::testing {

using ByteVector = std::vector<std::uint8_t>;

// A one-point glyph whose x coordinate is `marker`, so glyphs differ byte-wise.
ByteVector simpleGlyph(std::int16_t marker);
// A composite glyph made of `components`, each placed with word arguments.
ByteVector compositeGlyph(const std::vector<std::uint16_t>& components);

struct NameRecord {
  std::uint16_t platformId;
  std::uint16_t encodingId;
  std::uint16_t languageId;
  std::uint16_t nameId;
  std::string text;  // stored as is: UTF-16BE text is the caller's to spell
};

struct FontSpec {
  std::vector<ByteVector> glyphs;                             // by glyph id; empty = no outline
  std::vector<std::pair<std::uint16_t, std::uint16_t>> cmap;  // code -> glyph, ascending codes
  bool longLoca = false;
  bool withPost = true;
  std::vector<NameRecord> names;
};

// The font image: directory in tag order, tables aligned, checksums right.
// The Windows cmap subtable maps every code through glyphIdArray.
ByteVector buildFont(const FontSpec& spec);

// UTF-16BE bytes of an ASCII text.
std::string utf16be(const std::string& ascii);

}  // namespace subset::testing

namespace subset::testing {

ByteVector readFile(const std::string& path);

inline const std::string kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline const std::string kLiberationSans =
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";
inline const std::string kLiberationSerifBold =
    "/usr/share/fonts/truetype/liberation/LiberationSerif-Bold.ttf";

// Independent of the subsetter's own reader, so that the tests do not trust
// the code they check.
struct TableEntry {
  std::string tag;
  std::uint32_t checksum;
  std::uint32_t offset;
  std::uint32_t length;
};
std::vector<TableEntry> tableEntries(const ByteVector& font);
ByteVector tableBytes(const ByteVector& font, const std::string& tag);

std::uint16_t be16(const ByteVector& data, std::size_t at);
std::uint32_t be32(const ByteVector& data, std::size_t at);

struct Segment {
  std::uint16_t start;
  std::uint16_t end;
  std::uint16_t delta;
  std::uint16_t rangeOffset;
  friend bool operator==(const Segment&, const Segment&) = default;
};
// The segments of the format 4 subtable of a rebuilt cmap.
std::vector<Segment> rebuiltSegments(const ByteVector& font);
// The 256 glyph ids of the format 0 subtable of a rebuilt cmap.
ByteVector rebuiltFormat0(const ByteVector& font);

struct NameEntry {
  std::uint16_t platformId;
  std::uint16_t encodingId;
  std::uint16_t languageId;
  std::uint16_t nameId;
  std::string text;
  friend bool operator==(const NameEntry&, const NameEntry&) = default;
};
std::vector<NameEntry> nameEntries(const ByteVector& font);

// Byte length of each glyph, from loca.
std::vector<std::uint32_t> glyphLengths(const ByteVector& font);

// Recomputes every table checksum and head.checkSumAdjustment after a test has
// changed bytes on purpose.
void reseal(ByteVector& font);

}  // namespace subset::testing
