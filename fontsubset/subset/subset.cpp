#include "subset/subset.h"

#include <cstring>
#include <new>

#include "font.h"
#include "plan.h"
#include "sfnt/checksum.h"
#include "sfnt/writer.h"
#include "subset/limits.h"
#include "tables.h"
#include "verify.h"

namespace subset {
namespace {

enum class Source { Copy, Head, Glyf, Loca, Cmap, Post, Name };

struct OutputTable {
  sfnt::Tag tag;
  Source source;
  sfnt::Bytes input;  // for copied tables
  std::uint32_t length = 0;
  std::uint32_t offset = 0;
  std::uint32_t checksum = 0;
};

std::uint32_t padded(std::uint32_t length) { return (length + 3u) & ~3u; }

Result refuse(Refusal refusal) { return Result{refusal, std::nullopt}; }

Result build(sfnt::Bytes image, std::span<const CharGlyph> characters, const Options& options) {
  const bool rebuild = options.rebuildTables;
  std::optional<InputFont> font;
  if (Refusal refusal = openFont(image, rebuild, font); refusal != Refusal::None) {
    return refuse(refusal);
  }

  Plan plan;
  if (Refusal r = mapCharacters(*font, characters, rebuild, plan.characters); r != Refusal::None) {
    return refuse(r);
  }
  if (Refusal r = closeGlyphs(*font, plan); r != Refusal::None) return refuse(r);

  CmapTable cmap;
  if (rebuild) {
    if (Refusal r = cmap.plan(plan.characters, font->windowsCmap->encodingId); r != Refusal::None) {
      return refuse(r);
    }
  }
  NameTable name;
  if (Refusal r = name.plan(font->name, options.namePrefix); r != Refusal::None) return refuse(r);

  // The tables in ascending tag order, as the directory lists them.
  const struct {
    sfnt::Tag tag;
    Source source;
    bool rebuiltOnly;
  } kTables[] = {
      {tags::kOs2, Source::Copy, false},  {tags::kCmap, Source::Cmap, true},
      {tags::kCvt, Source::Copy, false},  {tags::kFpgm, Source::Copy, false},
      {tags::kGlyf, Source::Glyf, false}, {tags::kHead, Source::Head, false},
      {tags::kHhea, Source::Copy, false}, {tags::kHmtx, Source::Copy, false},
      {tags::kLoca, Source::Loca, false}, {tags::kMaxp, Source::Copy, false},
      {tags::kName, Source::Name, false}, {tags::kPost, Source::Post, true},
      {tags::kPrep, Source::Copy, false},
  };
  OutputTable tables[std::size(kTables)];
  std::size_t count = 0;
  const std::uint32_t locaEntries = font->offsets.glyphCount() + 1;
  for (const auto& entry : kTables) {
    if (entry.rebuiltOnly && !rebuild) continue;
    OutputTable& table = tables[count];
    table = {entry.tag, entry.source, {}};
    switch (entry.source) {
      case Source::Copy:
      case Source::Head: {
        auto input = font->directory.table(entry.tag);
        if (!input) continue;
        table.input = *input;
        table.length = static_cast<std::uint32_t>(input->size());
        break;
      }
      case Source::Glyf:
        table.length = plan.glyfLength;
        break;
      case Source::Loca:
        if (locaEntries > (kMaxFontSize / 4)) return refuse(Refusal::TooLarge);
        table.length = locaEntries * (font->offsets.longFormat() ? 4u : 2u);
        break;
      case Source::Cmap:
        table.length = cmap.length();
        break;
      case Source::Post:
        table.length = kPostLength;
        break;
      case Source::Name:
        table.length = name.length();
        break;
    }
    ++count;
  }

  std::uint64_t size = sfnt::kOffsetTableSize + sfnt::kTableRecordSize * count;
  for (std::size_t i = 0; i < count; ++i) {
    tables[i].offset = static_cast<std::uint32_t>(size);
    size += padded(tables[i].length);
    if (size > kMaxFontSize) return refuse(Refusal::TooLarge);
  }

  Subset result;
  result.font.resize(static_cast<std::size_t>(size));  // zero-filled, so padding is zero
  std::span<std::uint8_t> out(result.font);
  const OutputTable* glyfTable = nullptr;
  const OutputTable* locaTable = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    OutputTable& table = tables[i];
    std::span<std::uint8_t> slot = out.subspan(table.offset, table.length);
    switch (table.source) {
      case Source::Copy:
      case Source::Head:
        if (!slot.empty()) std::memcpy(slot.data(), table.input.data(), slot.size());
        if (table.source == Source::Head) {
          sfnt::Writer(slot, kHeadCheckSumAdjustmentOffset).u32(0);
        }
        break;
      case Source::Glyf:
        glyfTable = &table;
        break;
      case Source::Loca:
        locaTable = &table;
        break;
      case Source::Cmap:
        cmap.write(slot);
        break;
      case Source::Post:
        writePost(font->post, slot);
        break;
      case Source::Name:
        name.write(slot);
        break;
    }
  }
  writeGlyfLoca(*font, plan.glyphs, out.subspan(glyfTable->offset, glyfTable->length),
                out.subspan(locaTable->offset, locaTable->length));

  // Every checksum is taken from what was written, so a font whose own table
  // sums were wrong still gives a subset whose sums are right.
  std::uint32_t wholeSum = 0;
  for (std::size_t i = 0; i < count; ++i) {
    tables[i].checksum = sfnt::checksum(out.subspan(tables[i].offset, padded(tables[i].length)));
    wholeSum += tables[i].checksum;
  }
  sfnt::Writer directory(out);
  const sfnt::SearchFields search =
      sfnt::searchFields(static_cast<std::uint32_t>(count), sfnt::kTableRecordSize);
  directory.u32(sfnt::kVersionTrueType);
  directory.u16(static_cast<std::uint16_t>(count));
  directory.u16(search.searchRange);
  directory.u16(search.entrySelector);
  directory.u16(search.rangeShift);
  for (std::size_t i = 0; i < count; ++i) {
    directory.u32(tables[i].tag);
    directory.u32(tables[i].checksum);
    directory.u32(tables[i].offset);
    directory.u32(tables[i].length);
  }
  wholeSum += sfnt::checksum(out.first(directory.position()));
  for (std::size_t i = 0; i < count; ++i) {
    if (tables[i].source == Source::Head) {
      sfnt::Writer(out, tables[i].offset + kHeadCheckSumAdjustmentOffset)
          .u32(sfnt::kWholeFontSum - wholeSum);
    }
  }

  if (!verifySubset(*font, result.font, plan.characters, plan.glyphs, rebuild)) {
    return refuse(Refusal::SelfCheckFailed);
  }
  result.characters = std::move(plan.characters);
  result.glyphs = std::move(plan.glyphs);
  result.glyphCount = font->offsets.glyphCount();
  return Result{Refusal::None, std::move(result)};
}

}  // namespace

Result subsetFont(std::span<const std::uint8_t> font, std::span<const CharGlyph> characters,
                  const Options& options) {
  try {
    return build(font, characters, options);
  } catch (const std::bad_alloc&) {
    return refuse(Refusal::OutOfMemory);
  }
}

Result subsetFont(std::span<const std::uint8_t> font, std::span<const std::uint16_t> codes,
                  const Options& options) {
  try {
    std::vector<CharGlyph> characters;
    characters.reserve(codes.size());
    for (std::uint16_t code : codes) characters.push_back({code, 0});
    return build(font, characters, options);
  } catch (const std::bad_alloc&) {
    return refuse(Refusal::OutOfMemory);
  }
}

const char* refusalText(Refusal refusal) {
  switch (refusal) {
    case Refusal::None:
      return "subset made";
    case Refusal::BadDirectory:
      return "the table directory does not fit the font";
    case Refusal::MissingTable:
      return "a required table is missing";
    case Refusal::NoWindowsCmap:
      return "no Windows character map";
    case Refusal::UnsupportedCmap:
      return "the Windows character map is not format 4";
    case Refusal::BadCmap:
      return "the character map is malformed";
    case Refusal::BadHead:
      return "the head table is too short";
    case Refusal::BadLoca:
      return "the glyph offsets are malformed";
    case Refusal::BadGlyph:
      return "a glyph is malformed";
    case Refusal::BadName:
      return "the name table is malformed";
    case Refusal::BadArgument:
      return "a glyph id is past the last glyph";
    case Refusal::TooLarge:
      return "the subset would not fit its fields";
    case Refusal::OutOfMemory:
      return "out of memory";
    case Refusal::SelfCheckFailed:
      return "the subset failed its own check";
  }
  return "unknown";
}

}  // namespace subset
