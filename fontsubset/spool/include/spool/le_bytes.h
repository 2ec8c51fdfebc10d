// Little-endian integers in printer meta files, read and written only through
// checked accessors: a field that does not lie wholly inside its bytes is never
// touched. The meta file is the only little-endian format we handle, so these
// live beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace spool {

using Bytes = std::span<const std::uint8_t>;
using MutableBytes = std::span<std::uint8_t>;

// True when [offset, offset + width) lies inside a range of `size` bytes.
constexpr bool fits(std::size_t size, std::uint64_t offset, std::uint64_t width) {
  return offset <= size && width <= size - offset;
}

inline std::optional<std::uint8_t> readU8(Bytes bytes, std::size_t offset) {
  if (!fits(bytes.size(), offset, 1)) return std::nullopt;
  return bytes[offset];
}

inline std::optional<std::uint16_t> readU16(Bytes bytes, std::size_t offset) {
  if (!fits(bytes.size(), offset, 2)) return std::nullopt;
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::optional<std::uint32_t> readU32(Bytes bytes, std::size_t offset) {
  if (!fits(bytes.size(), offset, 4)) return std::nullopt;
  return static_cast<std::uint32_t>(bytes[offset]) |
         (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

// For fields whose presence the caller has already established (a view that
// checked its fixed length): an impossible miss reads as 0 rather than past
// the end.
inline std::uint32_t fieldU32(Bytes bytes, std::size_t offset) {
  return readU32(bytes, offset).value_or(0);
}
inline std::uint16_t fieldU16(Bytes bytes, std::size_t offset) {
  return readU16(bytes, offset).value_or(0);
}

inline bool writeU16(MutableBytes bytes, std::size_t offset, std::uint16_t value) {
  if (!fits(bytes.size(), offset, 2)) return false;
  bytes[offset] = static_cast<std::uint8_t>(value);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
  return true;
}

inline bool writeU32(MutableBytes bytes, std::size_t offset, std::uint32_t value) {
  if (!fits(bytes.size(), offset, 4)) return false;
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  return true;
}

// The sub-range [offset, offset + length), or nothing when it does not fit.
inline std::optional<Bytes> slice(Bytes bytes, std::uint64_t offset, std::uint64_t length) {
  if (!fits(bytes.size(), offset, length)) return std::nullopt;
  return bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
}

// A sequential reader over a span; every read past the end fails and leaves
// the cursor where it was.
class LeCursor {
 public:
  explicit LeCursor(Bytes bytes) : bytes_(bytes) {}

  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return bytes_.size() - pos_; }

  bool u8(std::uint8_t& out) { return take(readU8(bytes_, pos_), 1, out); }
  bool u16(std::uint16_t& out) { return take(readU16(bytes_, pos_), 2, out); }
  bool u32(std::uint32_t& out) { return take(readU32(bytes_, pos_), 4, out); }
  bool bytes(std::uint64_t length, Bytes& out) {
    auto s = slice(bytes_, pos_, length);
    if (!s) return false;
    out = *s;
    pos_ += s->size();
    return true;
  }
  bool skip(std::uint64_t length) {
    Bytes ignored;
    return bytes(length, ignored);
  }

 private:
  template <typename T>
  bool take(std::optional<T> value, std::size_t width, T& out) {
    if (!value) return false;
    out = *value;
    pos_ += width;
    return true;
  }

  Bytes bytes_;
  std::size_t pos_ = 0;
};

}  // namespace spool
