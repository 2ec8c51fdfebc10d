#include "sfnt/writer.h"
#include "subset/limits.h"
#include "tables.h"

namespace subset {

Refusal CmapTable::plan(std::span<const CharGlyph> characters, std::uint16_t encodingId) {
  characters_ = characters;
  encodingId_ = encodingId;
  runs_.clear();
  for (const CharGlyph& c : characters) {
    if (!runs_.empty()) {
      CmapRun& run = runs_.back();
      if (c.code == run.firstCode + run.length && c.glyph == run.firstGlyph + run.length) {
        ++run.length;
        continue;
      }
    }
    runs_.push_back({c.code, c.glyph, 1});
  }
  return segmentCount() > kMaxCmapSegments ? Refusal::TooLarge : Refusal::None;
}

std::uint32_t CmapTable::segmentCount() const {
  // Format 4 ends with a segment for 0xFFFF; a last run reaching it is that segment.
  const bool endsAtFFFF = !characters_.empty() && characters_.back().code == 0xFFFF;
  return static_cast<std::uint32_t>(runs_.size()) + (endsAtFFFF ? 0 : 1);
}

std::uint32_t CmapTable::length() const { return kCmapFixedSize + 8 * segmentCount(); }

void CmapTable::write(std::span<std::uint8_t> out) const {
  const std::uint32_t segments = segmentCount();
  sfnt::Writer w(out);
  w.u16(0);  // version
  w.u16(2);
  w.u16(1);  // Macintosh, Roman
  w.u16(0);
  w.u32(kCmapFormat0Offset);
  w.u16(3);
  w.u16(encodingId_);
  w.u32(kCmapFormat4Offset);

  w.u16(0);  // format
  w.u16(static_cast<std::uint16_t>(kCmapFormat0Length));
  w.u16(0);  // language
  const std::size_t glyphIdArray = w.position();
  for (const CharGlyph& c : characters_) {
    if (c.code >= kFormat0Limit) break;
    if (c.glyph < kFormat0Limit) out[glyphIdArray + c.code] = static_cast<std::uint8_t>(c.glyph);
  }

  w.seek(kCmapFormat4Offset);
  const sfnt::SearchFields search = sfnt::searchFields(segments, 2);
  w.u16(4);
  w.u16(static_cast<std::uint16_t>(16 + 8 * segments));
  w.u16(0);  // language
  w.u16(static_cast<std::uint16_t>(2 * segments));
  w.u16(search.searchRange);
  w.u16(search.entrySelector);
  w.u16(search.rangeShift);
  const bool closing = segments > runs_.size();
  for (const CmapRun& run : runs_)
    w.u16(static_cast<std::uint16_t>(run.firstCode + run.length - 1));
  if (closing) w.u16(0xFFFF);
  w.u16(0);  // reservedPad
  for (const CmapRun& run : runs_) w.u16(run.firstCode);
  if (closing) w.u16(0xFFFF);
  for (const CmapRun& run : runs_)
    w.u16(static_cast<std::uint16_t>(run.firstGlyph - run.firstCode));
  if (closing) w.u16(1);  // maps 0xFFFF to glyph 0
  // idRangeOffset: all zero, already so in the zero-filled output.
}

}  // namespace subset
