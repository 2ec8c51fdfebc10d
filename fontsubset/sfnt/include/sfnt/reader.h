// Bounds-checked access to big-endian font data. Every read states whether it
// stayed inside the bytes it was given; none reads past the end.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace sfnt {

using Bytes = std::span<const std::uint8_t>;

// A four-byte table tag as the directory stores it, read big-endian.
using Tag = std::uint32_t;

constexpr Tag makeTag(const char (&text)[5]) {
  return (static_cast<Tag>(static_cast<std::uint8_t>(text[0])) << 24) |
         (static_cast<Tag>(static_cast<std::uint8_t>(text[1])) << 16) |
         (static_cast<Tag>(static_cast<std::uint8_t>(text[2])) << 8) |
         static_cast<Tag>(static_cast<std::uint8_t>(text[3]));
}

// The sub-range [offset, offset + length) of `data`, or nothing when it does not
// lie wholly inside. Sizes are compared without overflow.
inline std::optional<Bytes> slice(Bytes data, std::size_t offset, std::size_t length) {
  if (offset > data.size() || length > data.size() - offset) return std::nullopt;
  return data.subspan(offset, length);
}

// Random-access reads at an offset; false (and `out` untouched) when the value
// does not fit inside `data`.
inline bool readU16(Bytes data, std::size_t offset, std::uint16_t& out) {
  if (offset > data.size() || data.size() - offset < 2) return false;
  out = static_cast<std::uint16_t>((data[offset] << 8) | data[offset + 1]);
  return true;
}

inline bool readI16(Bytes data, std::size_t offset, std::int16_t& out) {
  std::uint16_t value = 0;
  if (!readU16(data, offset, value)) return false;
  out = static_cast<std::int16_t>(value);
  return true;
}

inline bool readU32(Bytes data, std::size_t offset, std::uint32_t& out) {
  if (offset > data.size() || data.size() - offset < 4) return false;
  out = (static_cast<std::uint32_t>(data[offset]) << 24) |
        (static_cast<std::uint32_t>(data[offset + 1]) << 16) |
        (static_cast<std::uint32_t>(data[offset + 2]) << 8) |
        static_cast<std::uint32_t>(data[offset + 3]);
  return true;
}

// A cursor that moves forward through `data`. A read that would leave the data
// fails, leaves the cursor where it was and marks the cursor failed, so a run
// of reads can be checked once at its end.
class Reader {
 public:
  explicit Reader(Bytes data, std::size_t position = 0)
      : data_(data), position_(position), ok_(position <= data.size()) {}

  bool u8(std::uint8_t& out) {
    if (!ok_ || remaining() < 1) return fail();
    out = data_[position_++];
    return true;
  }
  bool u16(std::uint16_t& out) {
    if (!ok_ || !readU16(data_, position_, out)) return fail();
    position_ += 2;
    return true;
  }
  bool i16(std::int16_t& out) {
    if (!ok_ || !readI16(data_, position_, out)) return fail();
    position_ += 2;
    return true;
  }
  bool u32(std::uint32_t& out) {
    if (!ok_ || !readU32(data_, position_, out)) return fail();
    position_ += 4;
    return true;
  }
  bool bytes(std::size_t length, Bytes& out) {
    auto part = ok_ ? slice(data_, position_, length) : std::nullopt;
    if (!part) return fail();
    out = *part;
    position_ += length;
    return true;
  }
  bool skip(std::size_t length) {
    if (!ok_ || length > remaining()) return fail();
    position_ += length;
    return true;
  }

  std::size_t position() const { return position_; }
  std::size_t remaining() const { return ok_ ? data_.size() - position_ : 0; }
  bool ok() const { return ok_; }

 private:
  bool fail() {
    ok_ = false;
    return false;
  }

  Bytes data_;
  std::size_t position_;
  bool ok_;
};

// One big-endian value from memory already known to hold it, in one load.
inline std::uint16_t loadU16(const std::uint8_t* p) {
  std::uint16_t value;
  std::memcpy(&value, p, 2);
  if constexpr (std::endian::native == std::endian::little) {
    value = static_cast<std::uint16_t>((value >> 8) | (value << 8));
  }
  return value;
}

inline std::uint32_t loadU32(const std::uint8_t* p) {
  std::uint32_t value;
  std::memcpy(&value, p, 4);
  if constexpr (std::endian::native == std::endian::little) {
    value = (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
  }
  return value;
}

// A view of `count` big-endian 16-bit values whose extent was checked when the
// view was made, so that hot loops can index it without re-checking each read.
class U16Array {
 public:
  U16Array() = default;
  // Nothing when the values do not fit inside `data`.
  static std::optional<U16Array> at(Bytes data, std::size_t offset, std::size_t count) {
    if (count > data.size() / 2) return std::nullopt;
    auto part = slice(data, offset, count * 2);
    if (!part) return std::nullopt;
    return U16Array(*part);
  }

  std::size_t size() const { return data_.size() / 2; }
  // `index` must be below size().
  std::uint16_t operator[](std::size_t index) const { return loadU16(data_.data() + 2 * index); }
  const std::uint8_t* data() const { return data_.data(); }

 private:
  explicit U16Array(Bytes data) : data_(data) {}
  Bytes data_;
};

// The same for 32-bit values.
class U32Array {
 public:
  U32Array() = default;
  static std::optional<U32Array> at(Bytes data, std::size_t offset, std::size_t count) {
    if (count > data.size() / 4) return std::nullopt;
    auto part = slice(data, offset, count * 4);
    if (!part) return std::nullopt;
    return U32Array(*part);
  }

  std::size_t size() const { return data_.size() / 4; }
  std::uint32_t operator[](std::size_t index) const { return loadU32(data_.data() + 4 * index); }
  const std::uint8_t* data() const { return data_.data(); }

 private:
  explicit U32Array(Bytes data) : data_(data) {}
  Bytes data_;
};

}  // namespace sfnt
