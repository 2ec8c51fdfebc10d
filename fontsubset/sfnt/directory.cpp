#include "sfnt/directory.h"

#include <algorithm>

namespace sfnt {

std::optional<Directory> Directory::parse(Bytes font) {
  Reader reader(font);
  std::uint32_t version = 0;
  std::uint16_t numTables = 0;
  if (!reader.u32(version) || !reader.u16(numTables) || !reader.skip(6)) return std::nullopt;
  if (version != kVersionTrueType && version != kVersionApple) return std::nullopt;
  if (numTables == 0 || numTables > kMaxTables) return std::nullopt;
  const std::size_t directoryEnd = kOffsetTableSize + kTableRecordSize * numTables;
  if (directoryEnd >= font.size()) return std::nullopt;

  Directory directory;
  directory.font_ = font;
  directory.version_ = version;
  directory.records_.resize(numTables);
  for (TableRecord& record : directory.records_) {
    reader.u32(record.tag);
    reader.u32(record.checksum);
    reader.u32(record.offset);
    reader.u32(record.length);
    if (!reader.ok()) return std::nullopt;
    if (record.offset < directoryEnd || record.offset % 4 != 0) return std::nullopt;
    if (!slice(font, record.offset, record.length)) return std::nullopt;
  }

  // Two tables that share bytes would let a change to one show through in the
  // other; a font made that way is not one we rewrite.
  std::vector<const TableRecord*> byOffset;
  byOffset.reserve(numTables);
  for (const TableRecord& record : directory.records_) {
    if (record.length != 0) byOffset.push_back(&record);
  }
  std::sort(byOffset.begin(), byOffset.end(),
            [](const TableRecord* a, const TableRecord* b) { return a->offset < b->offset; });
  for (std::size_t i = 1; i < byOffset.size(); ++i) {
    const TableRecord& previous = *byOffset[i - 1];
    if (static_cast<std::uint64_t>(previous.offset) + previous.length > byOffset[i]->offset) {
      return std::nullopt;
    }
  }
  return directory;
}

const TableRecord* Directory::find(Tag tag) const {
  for (const TableRecord& record : records_) {
    if (record.tag == tag) return &record;
  }
  return nullptr;
}

std::optional<Bytes> Directory::table(Tag tag) const {
  const TableRecord* record = find(tag);
  if (record == nullptr) return std::nullopt;
  return slice(font_, record->offset, record->length);
}

}  // namespace sfnt
