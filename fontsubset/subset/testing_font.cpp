#include "testing_font.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include "sfnt/checksum.h"
#include "sfnt/reader.h"

namespace subset::testing {
namespace {

void put16(ByteVector& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

void put32(ByteVector& out, std::uint32_t value) {
  put16(out, value >> 16);
  put16(out, value & 0xFFFF);
}

void set32(ByteVector& out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<std::uint8_t>(value >> 24);
  out[at + 1] = static_cast<std::uint8_t>(value >> 16);
  out[at + 2] = static_cast<std::uint8_t>(value >> 8);
  out[at + 3] = static_cast<std::uint8_t>(value);
}

ByteVector cmapTable(const std::vector<std::pair<std::uint16_t, std::uint16_t>>& map) {
  // One segment per code, each reaching its glyph through glyphIdArray, then
  // the closing 0xFFFF segment.
  const std::uint32_t segments = static_cast<std::uint32_t>(map.size()) + 1;
  ByteVector sub;
  put16(sub, 4);
  put16(sub, 16 + 8 * segments + 2 * static_cast<std::uint32_t>(map.size()));
  put16(sub, 0);
  put16(sub, 2 * segments);
  std::uint32_t power = 1;
  std::uint32_t log = 0;
  while (power * 2 <= segments) power *= 2, ++log;
  put16(sub, 2 * power);
  put16(sub, log);
  put16(sub, 2 * segments - 2 * power);
  for (const auto& entry : map) put16(sub, entry.first);
  put16(sub, 0xFFFF);
  put16(sub, 0);
  for (const auto& entry : map) put16(sub, entry.first);
  put16(sub, 0xFFFF);
  for (std::size_t i = 0; i < map.size(); ++i) put16(sub, 0);
  put16(sub, 1);
  for (std::size_t i = 0; i < map.size(); ++i) {
    // From entry i to glyphIdArray[i]: the rest of the idRangeOffset array
    // plus the i entries before it in glyphIdArray.
    put16(sub, 2 * segments);
  }
  put16(sub, 0);
  for (const auto& entry : map) put16(sub, entry.second);

  ByteVector table;
  put16(table, 0);
  put16(table, 2);
  put16(table, 0);  // a Unicode record first: only the Windows one is read
  put16(table, 3);
  put32(table, 20);
  put16(table, 3);
  put16(table, 1);
  put32(table, 20);
  table.insert(table.end(), sub.begin(), sub.end());
  return table;
}

ByteVector nameTable(const std::vector<NameRecord>& names) {
  ByteVector table;
  put16(table, 0);
  put16(table, static_cast<std::uint32_t>(names.size()));
  put16(table, 6 + 12 * static_cast<std::uint32_t>(names.size()));
  std::string storage;
  for (const NameRecord& r : names) {
    put16(table, r.platformId);
    put16(table, r.encodingId);
    put16(table, r.languageId);
    put16(table, r.nameId);
    put16(table, static_cast<std::uint32_t>(r.text.size()));
    put16(table, static_cast<std::uint32_t>(storage.size()));
    storage += r.text;
  }
  table.insert(table.end(), storage.begin(), storage.end());
  return table;
}

}  // namespace

ByteVector simpleGlyph(std::int16_t marker) {
  ByteVector g;
  put16(g, 1);  // one contour
  put16(g, static_cast<std::uint16_t>(marker));
  put16(g, 0);
  put16(g, static_cast<std::uint16_t>(marker));
  put16(g, 0);
  put16(g, 0);     // endPtsOfContours
  put16(g, 0);     // no instructions
  g.push_back(1);  // on curve, both coordinates as words
  put16(g, static_cast<std::uint16_t>(marker));
  put16(g, 0);
  g.push_back(0);  // even length, as short offsets need
  return g;
}

ByteVector compositeGlyph(const std::vector<std::uint16_t>& components) {
  ByteVector g;
  put16(g, 0xFFFF);  // numberOfContours -1
  for (int i = 0; i < 4; ++i) put16(g, 0);
  for (std::size_t i = 0; i < components.size(); ++i) {
    const bool more = i + 1 < components.size();
    put16(g, 0x0001 | 0x0002 | (more ? 0x0020 : 0));
    put16(g, components[i]);
    put16(g, static_cast<std::uint32_t>(10 * i));
    put16(g, 0);
  }
  return g;
}

std::string utf16be(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out.push_back('\0');
    out.push_back(c);
  }
  return out;
}

ByteVector buildFont(const FontSpec& spec) {
  const std::uint32_t glyphCount = static_cast<std::uint32_t>(spec.glyphs.size());
  std::map<std::string, ByteVector> tables;

  ByteVector glyf;
  ByteVector loca;
  for (const ByteVector& g : spec.glyphs) {
    if (spec.longLoca) {
      put32(loca, static_cast<std::uint32_t>(glyf.size()));
    } else {
      put16(loca, static_cast<std::uint32_t>(glyf.size() / 2));
    }
    glyf.insert(glyf.end(), g.begin(), g.end());
  }
  if (spec.longLoca) {
    put32(loca, static_cast<std::uint32_t>(glyf.size()));
  } else {
    put16(loca, static_cast<std::uint32_t>(glyf.size() / 2));
  }
  tables["glyf"] = glyf;
  tables["loca"] = loca;

  ByteVector head;
  put32(head, 0x00010000);
  put32(head, 0x00010000);
  put32(head, 0);  // checkSumAdjustment, set below
  put32(head, 0x5F0F3CF5);
  put16(head, 0);
  put16(head, 1000);  // unitsPerEm
  while (head.size() < 50) head.push_back(0);
  put16(head, spec.longLoca ? 1 : 0);
  put16(head, 0);
  tables["head"] = head;

  ByteVector maxp;
  put32(maxp, 0x00005000);
  put16(maxp, glyphCount);
  tables["maxp"] = maxp;

  ByteVector hhea(36, 0);
  hhea[1] = 1;
  hhea[34] = static_cast<std::uint8_t>(glyphCount >> 8);
  hhea[35] = static_cast<std::uint8_t>(glyphCount);
  tables["hhea"] = hhea;
  ByteVector hmtx;
  for (std::uint32_t i = 0; i < glyphCount; ++i) put32(hmtx, 500u << 16);
  tables["hmtx"] = hmtx;

  tables["cmap"] = cmapTable(spec.cmap);
  tables["name"] = nameTable(spec.names);
  if (spec.withPost) {
    ByteVector post;
    put32(post, 0x00030000);
    put32(post, 0xFFF40000);  // italicAngle -12
    put16(post, static_cast<std::uint16_t>(-75));
    put16(post, 50);
    put32(post, 1);  // isFixedPitch
    while (post.size() < 32) post.push_back(0);
    tables["post"] = post;
  }
  tables["kern"] = ByteVector{0, 0, 0, 0};  // not one of the kept tables

  const std::uint32_t count = static_cast<std::uint32_t>(tables.size());
  ByteVector font;
  put32(font, 0x00010000);
  put16(font, count);
  std::uint32_t power = 1;
  std::uint32_t log = 0;
  while (power * 2 <= count) power *= 2, ++log;
  put16(font, 16 * power);
  put16(font, log);
  put16(font, 16 * count - 16 * power);
  std::uint32_t offset = 12 + 16 * count;
  std::size_t headOffset = 0;
  ByteVector data;
  for (const auto& [tag, bytes] : tables) {  // std::map: ascending tag order
    for (char c : tag) font.push_back(static_cast<std::uint8_t>(c));
    ByteVector padded = bytes;
    padded.resize((bytes.size() + 3) / 4 * 4, 0);
    put32(font, sfnt::checksum(padded));
    put32(font, offset);
    put32(font, static_cast<std::uint32_t>(bytes.size()));
    if (tag == "head") headOffset = offset;
    data.insert(data.end(), padded.begin(), padded.end());
    offset += static_cast<std::uint32_t>(padded.size());
  }
  font.insert(font.end(), data.begin(), data.end());
  set32(font, headOffset + 8, sfnt::kWholeFontSum - sfnt::checksum(font));
  return font;
}

}  // namespace subset::testing

namespace subset::testing {

ByteVector readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return ByteVector((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::uint16_t be16(const ByteVector& data, std::size_t at) {
  return static_cast<std::uint16_t>((data.at(at) << 8) | data.at(at + 1));
}

std::uint32_t be32(const ByteVector& data, std::size_t at) {
  return (std::uint32_t{be16(data, at)} << 16) | be16(data, at + 2);
}

std::vector<TableEntry> tableEntries(const ByteVector& font) {
  std::vector<TableEntry> entries;
  const std::uint16_t count = be16(font, 4);
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::size_t at = 12 + 16 * std::size_t{i};
    entries.push_back({std::string(font.begin() + static_cast<std::ptrdiff_t>(at),
                                   font.begin() + static_cast<std::ptrdiff_t>(at + 4)),
                       be32(font, at + 4), be32(font, at + 8), be32(font, at + 12)});
  }
  return entries;
}

ByteVector tableBytes(const ByteVector& font, const std::string& tag) {
  for (const TableEntry& e : tableEntries(font)) {
    if (e.tag == tag) {
      return ByteVector(font.begin() + e.offset, font.begin() + e.offset + e.length);
    }
  }
  return {};
}

std::vector<Segment> rebuiltSegments(const ByteVector& font) {
  const ByteVector cmap = tableBytes(font, "cmap");
  const std::size_t base = 282;
  const std::size_t count = be16(cmap, base + 6) / 2;
  std::vector<Segment> segments;
  for (std::size_t i = 0; i < count; ++i) {
    segments.push_back({be16(cmap, base + 16 + 2 * count + 2 * i), be16(cmap, base + 14 + 2 * i),
                        be16(cmap, base + 16 + 4 * count + 2 * i),
                        be16(cmap, base + 16 + 6 * count + 2 * i)});
  }
  return segments;
}

ByteVector rebuiltFormat0(const ByteVector& font) {
  const ByteVector cmap = tableBytes(font, "cmap");
  return ByteVector(cmap.begin() + 26, cmap.begin() + 26 + 256);
}

std::vector<NameEntry> nameEntries(const ByteVector& font) {
  const ByteVector name = tableBytes(font, "name");
  std::vector<NameEntry> entries;
  const std::uint16_t count = be16(name, 2);
  const std::uint16_t storage = be16(name, 4);
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::size_t at = 6 + 12 * std::size_t{i};
    const std::size_t start = std::size_t{storage} + be16(name, at + 10);
    entries.push_back(
        {be16(name, at), be16(name, at + 2), be16(name, at + 4), be16(name, at + 6),
         std::string(name.begin() + static_cast<std::ptrdiff_t>(start),
                     name.begin() + static_cast<std::ptrdiff_t>(start + be16(name, at + 8)))});
  }
  return entries;
}

std::vector<std::uint32_t> glyphLengths(const ByteVector& font) {
  const ByteVector head = tableBytes(font, "head");
  const ByteVector loca = tableBytes(font, "loca");
  const bool isLong = be16(head, 50) != 0;
  std::vector<std::uint32_t> offsets;
  for (std::size_t at = 0; at + (isLong ? 4 : 2) <= loca.size(); at += isLong ? 4 : 2) {
    offsets.push_back(isLong ? be32(loca, at) : 2u * be16(loca, at));
  }
  std::vector<std::uint32_t> lengths;
  for (std::size_t i = 1; i < offsets.size(); ++i) lengths.push_back(offsets[i] - offsets[i - 1]);
  return lengths;
}

void reseal(ByteVector& font) {
  std::size_t headAt = 0;
  const std::uint16_t count = be16(font, 4);
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::size_t at = 12 + 16 * std::size_t{i};
    const std::uint32_t offset = be32(font, at + 8);
    const std::uint32_t length = be32(font, at + 12);
    if (std::string(font.begin() + static_cast<std::ptrdiff_t>(at),
                    font.begin() + static_cast<std::ptrdiff_t>(at + 4)) == "head") {
      headAt = offset;
      set32(font, offset + 8, 0);
    }
    ByteVector table(font.begin() + offset, font.begin() + offset + (length + 3) / 4 * 4);
    set32(font, at + 4, sfnt::checksum(table));
  }
  set32(font, headAt + 8, 0);
  set32(font, headAt + 8, sfnt::kWholeFontSum - sfnt::checksum(font));
}

}  // namespace subset::testing
