// Big-endian writing into a buffer that was sized in advance. A write that
// would leave the buffer writes nothing and marks the writer failed; the
// caller checks ok() once when it is done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "sfnt/reader.h"

namespace sfnt {

class Writer {
 public:
  explicit Writer(std::span<std::uint8_t> out, std::size_t position = 0)
      : out_(out), position_(position), ok_(position <= out.size()) {}

  void u8(std::uint8_t value) {
    if (!room(1)) return;
    out_[position_++] = value;
  }
  void u16(std::uint16_t value) {
    if (!room(2)) return;
    out_[position_] = static_cast<std::uint8_t>(value >> 8);
    out_[position_ + 1] = static_cast<std::uint8_t>(value);
    position_ += 2;
  }
  void u32(std::uint32_t value) {
    if (!room(4)) return;
    out_[position_] = static_cast<std::uint8_t>(value >> 24);
    out_[position_ + 1] = static_cast<std::uint8_t>(value >> 16);
    out_[position_ + 2] = static_cast<std::uint8_t>(value >> 8);
    out_[position_ + 3] = static_cast<std::uint8_t>(value);
    position_ += 4;
  }
  void bytes(Bytes data) {
    if (!room(data.size())) return;
    if (!data.empty()) std::memcpy(out_.data() + position_, data.data(), data.size());
    position_ += data.size();
  }
  // Moves forward over bytes left as they are (the buffer starts zero-filled).
  void skip(std::size_t length) {
    if (!room(length)) return;
    position_ += length;
  }
  void seek(std::size_t position) {
    if (position > out_.size()) {
      ok_ = false;
      return;
    }
    position_ = position;
  }

  std::size_t position() const { return position_; }
  bool ok() const { return ok_; }

 private:
  bool room(std::size_t length) {
    if (!ok_ || length > out_.size() - position_) {
      ok_ = false;
      return false;
    }
    return true;
  }

  std::span<std::uint8_t> out_;
  std::size_t position_;
  bool ok_;
};

// The binary-search fields that both the table directory and a format 4
// character map carry: for `count` items of `unitSize` bytes, searchRange is
// unitSize × the largest power of two ≤ count, entrySelector its log2, and
// rangeShift the rest.
struct SearchFields {
  std::uint16_t searchRange = 0;
  std::uint16_t entrySelector = 0;
  std::uint16_t rangeShift = 0;
};

constexpr SearchFields searchFields(std::uint32_t count, std::uint32_t unitSize) {
  SearchFields fields;
  if (count == 0) return fields;
  std::uint32_t power = 1;
  std::uint16_t log = 0;
  while (power * 2 <= count) {
    power *= 2;
    ++log;
  }
  fields.searchRange = static_cast<std::uint16_t>(power * unitSize);
  fields.entrySelector = log;
  fields.rangeShift = static_cast<std::uint16_t>(count * unitSize - power * unitSize);
  return fields;
}

}  // namespace sfnt
