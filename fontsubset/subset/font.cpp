#include "font.h"

#include <algorithm>
#include <cstring>

#include "subset/limits.h"

namespace subset {

std::optional<Format4> Format4::parse(sfnt::Bytes subtable, Refusal& refusal) {
  std::uint16_t format = 0;
  std::uint16_t length = 0;
  std::uint16_t segCountX2 = 0;
  if (!sfnt::readU16(subtable, 0, format)) {
    refusal = Refusal::BadCmap;
    return std::nullopt;
  }
  if (format != 4) {
    refusal = Refusal::UnsupportedCmap;
    return std::nullopt;
  }
  refusal = Refusal::BadCmap;
  if (!sfnt::readU16(subtable, 2, length) || !sfnt::readU16(subtable, 6, segCountX2)) {
    return std::nullopt;
  }
  if (length > subtable.size()) return std::nullopt;
  sfnt::Bytes body = subtable.first(length);
  Format4 map;
  map.segCount_ = segCountX2 / 2u;
  const std::size_t arraysEnd = 16 + 8 * map.segCount_;
  if (arraysEnd > body.size()) return std::nullopt;
  auto endCode = sfnt::U16Array::at(body, 14, map.segCount_);
  auto startCode = sfnt::U16Array::at(body, 16 + 2 * map.segCount_, map.segCount_);
  auto idDelta = sfnt::U16Array::at(body, 16 + 4 * map.segCount_, map.segCount_);
  auto idRangeOffset = sfnt::U16Array::at(body, 16 + 6 * map.segCount_, map.segCount_);
  auto glyphIdArray = sfnt::U16Array::at(body, arraysEnd, (body.size() - arraysEnd) / 2);
  if (!endCode || !startCode || !idDelta || !idRangeOffset || !glyphIdArray) return std::nullopt;
  map.endCode_ = *endCode;
  map.startCode_ = *startCode;
  map.idDelta_ = *idDelta;
  map.idRangeOffset_ = *idRangeOffset;
  map.glyphIdArray_ = *glyphIdArray;
  for (std::size_t i = 1; i < map.segCount_ && map.ascending_; ++i) {
    map.ascending_ = map.endCode_[i - 1] <= map.endCode_[i];
  }
  refusal = Refusal::None;
  return map;
}

std::size_t Format4::segmentFor(std::uint16_t code) const {
  // The first segment whose end reaches the code. Rising ends allow a binary
  // search; a map whose ends do not rise is walked in order, which finds the
  // same segment.
  if (ascending_) {
    std::size_t low = 0;
    std::size_t high = segCount_;
    while (low < high) {
      std::size_t middle = low + (high - low) / 2;
      if (endCode_[middle] < code) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    return low;
  }
  for (std::size_t i = 0; i < segCount_; ++i) {
    if (endCode_[i] >= code) return i;
  }
  return segCount_;
}

std::uint16_t Format4::glyphFor(std::uint16_t code) const {
  const std::size_t segment = segmentFor(code);
  if (segment >= segCount_) return 0;
  const std::uint16_t start = startCode_[segment];
  if (code < start) return 0;
  const std::uint16_t delta = idDelta_[segment];
  const std::uint16_t rangeOffset = idRangeOffset_[segment];
  if (rangeOffset == 0) return static_cast<std::uint16_t>(code + delta);
  // The offset counts from the segment's own idRangeOffset entry, so the
  // segments still ahead of it are subtracted to land in glyphIdArray.
  const std::int64_t index = static_cast<std::int64_t>(segment) + rangeOffset / 2 + (code - start) -
                             static_cast<std::int64_t>(segCount_);
  if (index < 0 || static_cast<std::uint64_t>(index) >= glyphIdArray_.size()) return 0;
  const std::uint16_t value = glyphIdArray_[static_cast<std::size_t>(index)];
  if (value == 0) return 0;
  return static_cast<std::uint16_t>(value + delta);
}

std::optional<WindowsCmap> readWindowsCmap(sfnt::Bytes cmap, Refusal& refusal) {
  refusal = Refusal::BadCmap;
  sfnt::Reader reader(cmap);
  std::uint16_t version = 0;
  std::uint16_t numTables = 0;
  if (!reader.u16(version) || !reader.u16(numTables)) return std::nullopt;
  for (std::uint16_t i = 0; i < numTables; ++i) {
    std::uint16_t platformId = 0;
    std::uint16_t encodingId = 0;
    std::uint32_t offset = 0;
    reader.u16(platformId);
    reader.u16(encodingId);
    if (!reader.u32(offset)) return std::nullopt;
    if (platformId != 3) continue;
    if (offset >= cmap.size()) return std::nullopt;
    auto map = Format4::parse(cmap.subspan(offset), refusal);
    if (!map) return std::nullopt;
    return WindowsCmap{encodingId, *map};
  }
  refusal = Refusal::NoWindowsCmap;
  return std::nullopt;
}

std::optional<Loca> Loca::parse(sfnt::Bytes loca, bool longFormat, std::size_t glyfLength,
                                bool scan) {
  Loca offsets;
  offsets.longFormat_ = longFormat;
  const std::size_t entries = loca.size() / (longFormat ? 4 : 2);
  if (entries < 2) return std::nullopt;
  offsets.glyphCount_ = static_cast<std::uint32_t>(entries - 1);
  if (!scan) {
    if (longFormat) {
      offsets.long_ = *sfnt::U32Array::at(loca, 0, entries);
    } else {
      offsets.short_ = *sfnt::U16Array::at(loca, 0, entries);
    }
    return offsets;
  }
  // One pass per format without an early exit, so that the loop stays simple
  // enough to run at memory speed.
  bool falls = false;
  std::uint32_t last = 0;
  if (longFormat) {
    offsets.long_ = *sfnt::U32Array::at(loca, 0, entries);
    std::uint32_t previous = offsets.long_[0];
    for (std::size_t i = 1; i < entries; ++i) {
      const std::uint32_t value = offsets.long_[i];
      falls |= value < previous;
      previous = value;
    }
    last = previous;
  } else {
    offsets.short_ = *sfnt::U16Array::at(loca, 0, entries);
    std::uint16_t previous = offsets.short_[0];
    for (std::size_t i = 1; i < entries; ++i) {
      const std::uint16_t value = offsets.short_[i];
      falls |= value < previous;
      previous = value;
    }
    last = 2u * previous;
  }
  if (falls || last > glyfLength) return std::nullopt;
  return offsets;
}

bool Loca::allEqual(std::uint32_t first, std::uint32_t last, std::uint32_t value) const {
  if (longFormat_) {
    if (long_[first] != value) return false;
  } else {
    if (value % 2 != 0 || 2u * short_[first] != value) return false;
  }
  // All entries equal the first exactly when the run equals itself moved by
  // one entry, which one memcmp over the raw bytes answers.
  const std::size_t unit = longFormat_ ? 4 : 2;
  const std::uint8_t* base = (longFormat_ ? long_.data() : short_.data()) + unit * first;
  return std::memcmp(base, base + unit, unit * (last - first)) == 0;
}

Refusal openFont(sfnt::Bytes image, bool readCmap, std::optional<InputFont>& out, bool scanLoca) {
  out.reset();
  if (image.size() > kMaxFontSize) return Refusal::TooLarge;
  auto directory = sfnt::Directory::parse(image);
  if (!directory) return Refusal::BadDirectory;
  InputFont font;
  font.image = image;
  auto cmap = directory->table(tags::kCmap);
  auto glyf = directory->table(tags::kGlyf);
  auto head = directory->table(tags::kHead);
  auto loca = directory->table(tags::kLoca);
  auto name = directory->table(tags::kName);
  if (!glyf || !head || !loca || !name || (readCmap && !cmap)) return Refusal::MissingTable;
  if (cmap) font.cmap = *cmap;
  font.glyf = *glyf;
  font.head = *head;
  font.loca = *loca;
  font.name = *name;
  font.post = directory->table(tags::kPost);

  if (readCmap) {
    Refusal refusal = Refusal::None;
    font.windowsCmap = readWindowsCmap(font.cmap, refusal);
    if (!font.windowsCmap) return refusal;
  }

  std::int16_t indexToLocFormat = 0;
  if (font.head.size() < kMinHeadLength ||
      !sfnt::readI16(font.head, kHeadIndexToLocFormatOffset, indexToLocFormat)) {
    return Refusal::BadHead;
  }
  auto offsets = Loca::parse(font.loca, indexToLocFormat != 0, font.glyf.size(), scanLoca);
  if (!offsets) return Refusal::BadLoca;
  font.offsets = *offsets;
  font.directory = std::move(*directory);
  out = std::move(font);
  return Refusal::None;
}

}  // namespace subset
