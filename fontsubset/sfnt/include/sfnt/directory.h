// The table directory at the start of a TrueType font image.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sfnt/reader.h"

namespace sfnt {

inline constexpr std::uint32_t kVersionTrueType = 0x00010000u;
inline constexpr std::uint32_t kVersionApple = 0x74727565u;  // 'true'
inline constexpr std::size_t kOffsetTableSize = 12;
inline constexpr std::size_t kTableRecordSize = 16;
// A directory with more records than this is taken for garbage.
inline constexpr std::uint16_t kMaxTables = 512;

struct TableRecord {
  Tag tag = 0;
  std::uint32_t checksum = 0;
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};

class Directory {
 public:
  // Reads and checks the directory of `font`: a TrueType version, at most
  // kMaxTables records that fit before the end, every table inside the image,
  // after the directory and on a 4-byte boundary, and no two tables sharing a
  // byte. Nothing when any check fails.
  static std::optional<Directory> parse(Bytes font);

  // The first record with `tag`, in directory order.
  const TableRecord* find(Tag tag) const;
  // The bytes of the first table with `tag`; nothing when there is none.
  std::optional<Bytes> table(Tag tag) const;

  const std::vector<TableRecord>& records() const { return records_; }
  std::uint32_t version() const { return version_; }

 private:
  Bytes font_;
  std::uint32_t version_ = 0;
  std::vector<TableRecord> records_;
};

}  // namespace sfnt
