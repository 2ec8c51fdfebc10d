// Typed views over the bytes of the records this system looks into. Each view
// is made by parse(), which checks that every field it offers lies inside the
// bytes, so code that reads records names fields instead of offsets.
//
// "Record bytes" are what the reader hands a handler: the fixed part followed
// by the variable part, without the code byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>

#include "spool/catalogue.h"
#include "spool/header.h"
#include "spool/le_bytes.h"

namespace spool {

// A record's bytes split by its catalogue entry; nothing when the bytes are
// shorter than the fixed part or disagree with the length field.
struct RecordParts {
  const CatalogueEntry* entry = nullptr;
  Bytes fixed;
  Bytes variable;
};
std::optional<RecordParts> splitRecord(std::uint8_t code, Bytes recordBytes);

// A packed array of little-endian elements of `Stride` bytes.
template <typename T, std::size_t Stride, T (*Decode)(Bytes)>
class PackedArray {
 public:
  PackedArray() = default;
  explicit PackedArray(Bytes bytes) : bytes_(bytes.first(bytes.size() / Stride * Stride)) {}
  std::size_t size() const { return bytes_.size() / Stride; }
  bool empty() const { return bytes_.empty(); }
  T operator[](std::size_t i) const { return Decode(bytes_.subspan(i * Stride, Stride)); }
  Bytes bytes() const { return bytes_; }

  class iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = T;
    iterator() = default;
    iterator(const PackedArray* a, std::size_t i) : a_(a), i_(i) {}
    T operator*() const { return (*a_)[i_]; }
    iterator& operator++() {
      ++i_;
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      ++i_;
      return old;
    }
    bool operator==(const iterator& o) const { return i_ == o.i_; }

   private:
    const PackedArray* a_ = nullptr;
    std::size_t i_ = 0;
  };
  iterator begin() const { return iterator(this, 0); }
  iterator end() const { return iterator(this, size()); }

 private:
  Bytes bytes_;
};

inline std::uint16_t decodeU16(Bytes b) { return fieldU16(b, 0); }

struct Offset {
  std::uint32_t x = 0;
  std::uint32_t y = 0;
};
struct Point {
  std::uint32_t x = 0;
  std::uint32_t y = 0;
};
struct GroupEntry {
  std::uint32_t objectId = 0;
  Offset offset;
};
inline Point decodePoint(Bytes b) { return {fieldU32(b, 0), fieldU32(b, 4)}; }
inline GroupEntry decodeGroupEntry(Bytes b) {
  return {fieldU32(b, 0), {fieldU32(b, 4), fieldU32(b, 8)}};
}

using CodeUnits = PackedArray<std::uint16_t, 2, decodeU16>;
using PointList = PackedArray<Point, 8, decodePoint>;
using GroupEntries = PackedArray<GroupEntry, 12, decodeGroupEntry>;

// The 60-byte text run block and the variable part it describes: a string of
// n + 1 units (1 byte wide, or 2 with kWideUnits), m 8-byte items, g 16-bit
// character codes.
class TextRun {
 public:
  static constexpr std::size_t kBlockSize = 60;
  static constexpr std::uint32_t kWideUnits = 0x01000000;
  static constexpr std::size_t kFlagsAt = 24;
  static constexpr std::size_t kSingleByteCountAt = 44;
  static constexpr std::size_t kItemCountAt = 48;
  static constexpr std::size_t kCodeCountAt = 52;
  static constexpr std::size_t kVariableLengthAt = 56;

  // `variable` may be shorter than the block's variable length (a kept copy
  // of the string, items and codes); what the text needs must lie inside it:
  // the n bytes when n is non-zero, else the terminator, the items and the codes.
  static std::optional<TextRun> parse(Bytes block, Bytes variable);
  // From a text run record (code 6) or a text object definition (code 33).
  static std::optional<TextRun> fromRecord(std::uint8_t code, Bytes recordBytes);

  Bytes block() const { return block_; }
  Bytes variable() const { return variable_; }
  std::uint32_t flags() const { return fieldU32(block_, kFlagsAt); }
  bool wideUnits() const { return (flags() & kWideUnits) != 0; }
  std::size_t unitWidth() const { return wideUnits() ? 2 : 1; }
  std::uint32_t singleByteCount() const { return fieldU32(block_, kSingleByteCountAt); }
  std::uint32_t itemCount() const { return fieldU32(block_, kItemCountAt); }
  std::uint32_t codeCount() const { return fieldU32(block_, kCodeCountAt); }
  std::uint32_t variableLength() const { return fieldU32(block_, kVariableLengthAt); }

  bool hasSingleByteText() const { return singleByteCount() != 0; }
  // The n bytes of text (empty when n is 0).
  Bytes singleByteText() const;
  // The g character codes, when n is 0 (empty otherwise).
  CodeUnits codes() const;
  // String, items and codes as one range, when all of it lies in the variable part.
  std::optional<Bytes> content() const;

 private:
  TextRun(Bytes block, Bytes variable) : block_(block), variable_(variable) {}
  std::uint64_t codesOffset() const;
  Bytes block_;
  Bytes variable_;
};

// Where the fields of the three font file records sit in the fixed part.
struct FontFileFields {
  std::uint8_t code;
  std::uint8_t fixedLength;
  std::int16_t objectId;  // -1: none
  std::int16_t flags;     // -1: taken as kTrueTypeFont
  std::int16_t codePage;  // -1: taken as 1252
  std::uint8_t fontDataOffset;
  std::uint8_t secondPartLength;
  std::uint8_t fontDataLength;
  std::uint8_t variableLength;
};
const FontFileFields* fontFileFields(std::uint8_t code);  // null unless 29, 30, 36

inline constexpr std::uint32_t kTrueTypeFont = 0x4;
inline constexpr std::uint32_t kSecondPartBelongsToFont = 0x200000;

// A short font file (29), font file (30) or font object definition (36). The
// variable part holds the NUL-terminated name, at the font data offset the
// font data, and after it the second part.
class FontFileRecord {
 public:
  // Nothing when the bytes do not hold the fixed part, the length field
  // disagrees with them, or the font data lies outside the variable part.
  static std::optional<FontFileRecord> parse(std::uint8_t code, Bytes recordBytes,
                                             std::uint32_t version);

  std::uint8_t code() const { return fields_->code; }
  const FontFileFields& fields() const { return *fields_; }
  Bytes fixedPart() const { return fixed_; }
  Bytes variablePart() const { return variable_; }

  std::optional<std::uint32_t> objectId() const;
  std::uint32_t flags() const;
  bool isTrueType() const { return (flags() & kTrueTypeFont) != 0; }
  bool secondPartBelongsToFont() const { return (flags() & kSecondPartBelongsToFont) != 0; }
  std::uint16_t codePage() const;
  std::uint32_t fontDataOffset() const { return fieldU32(fixed_, fields_->fontDataOffset); }
  std::uint32_t fontDataLength() const { return fieldU32(fixed_, fields_->fontDataLength); }
  std::uint32_t secondPartLength() const { return fieldU32(fixed_, fields_->secondPartLength); }
  std::uint32_t variableLength() const { return fieldU32(fixed_, fields_->variableLength); }

  // The bytes before the font data, and the name in them: up to its NUL, or
  // all of them when there is none.
  Bytes nameField() const { return variable_.first(fontDataOffset()); }
  Bytes name() const;
  Bytes fontData() const { return variable_.subspan(fontDataOffset(), fontDataLength()); }
  // Everything after the font data.
  Bytes afterFontData() const { return variable_.subspan(fontDataOffset() + fontDataLength()); }
  // The second part as its length field counts it, when it lies inside.
  std::optional<Bytes> secondPart() const;

 private:
  FontFileRecord(const FontFileFields* f, Bytes fixed, Bytes variable, std::uint32_t version)
      : fields_(f), fixed_(fixed), variable_(variable), version_(version) {}
  const FontFileFields* fields_;
  Bytes fixed_;
  Bytes variable_;
  std::uint32_t version_;
};

// A fixed part of a font file record being written: starts as zeros or as a
// copy of a record's, fields set by name. Fields a code lacks are ignored.
class FontFileFixedPart {
 public:
  explicit FontFileFixedPart(std::uint8_t code);  // code must be 29, 30 or 36
  static std::optional<FontFileFixedPart> copyOf(const FontFileRecord& record);

  void setObjectId(std::uint32_t id);
  void setFlags(std::uint32_t flags);
  void setCodePage(std::uint16_t codePage);
  void setFontDataOffset(std::uint32_t value);
  void setFontDataLength(std::uint32_t value);
  void setSecondPartLength(std::uint32_t value);
  void setVariableLength(std::uint32_t value);

  std::uint8_t code() const { return fields_->code; }
  Bytes bytes() const { return Bytes(bytes_.data(), fields_->fixedLength); }

 private:
  void put32(std::int16_t at, std::uint32_t value);
  const FontFileFields* fields_;
  std::array<std::uint8_t, 32> bytes_{};
};

// Blob definitions (31 and 32): object id at 0; variable length 0 reuses the
// object already defined under the id.
class BlobDefinition {
 public:
  static std::optional<BlobDefinition> parse(std::uint8_t code, Bytes recordBytes);
  std::uint8_t code() const { return code_; }
  std::uint32_t objectId() const { return fieldU32(fixed_, 0); }
  std::uint32_t fixedLength() const { return static_cast<std::uint32_t>(fixed_.size()); }
  std::uint32_t variableLength() const { return static_cast<std::uint32_t>(data_.size()); }
  bool reusesObject() const { return data_.empty(); }
  Bytes data() const { return data_; }

 private:
  BlobDefinition(std::uint8_t code, Bytes fixed, Bytes data)
      : code_(code), fixed_(fixed), data_(data) {}
  std::uint8_t code_;
  Bytes fixed_;
  Bytes data_;
};

// Text object definition (33): object id, then a text run block.
class TextObjectDefinition {
 public:
  static std::optional<TextObjectDefinition> parse(Bytes recordBytes);
  std::uint32_t objectId() const { return id_; }
  const TextRun& textRun() const { return run_; }
  std::uint32_t variableLength() const { return run_.variableLength(); }

 private:
  TextObjectDefinition(std::uint32_t id, TextRun run) : id_(id), run_(run) {}
  std::uint32_t id_;
  TextRun run_;
};

// Object replay (34) and object delete (35).
class ObjectReference {
 public:
  static std::optional<ObjectReference> parse(std::uint8_t code, Bytes recordBytes);
  std::uint32_t objectId() const { return id_; }

 private:
  explicit ObjectReference(std::uint32_t id) : id_(id) {}
  std::uint32_t id_;
};

// Object replay at offset (40).
class ObjectReplayAtOffset {
 public:
  static std::optional<ObjectReplayAtOffset> parse(Bytes recordBytes);
  std::uint32_t objectId() const { return fieldU32(fixed_, 0); }
  Offset offset() const { return {fieldU32(fixed_, 4), fieldU32(fixed_, 8)}; }

 private:
  explicit ObjectReplayAtOffset(Bytes fixed) : fixed_(fixed) {}
  Bytes fixed_;
};

// Point list definition (39): object id (0 defines nothing), a value kept
// with the object, 8-byte points.
class PointListDefinition {
 public:
  static std::optional<PointListDefinition> parse(Bytes recordBytes);
  std::uint32_t objectId() const { return fieldU32(fixed_, 0); }
  std::uint32_t value() const { return fieldU32(fixed_, 4); }
  std::uint32_t variableLength() const { return static_cast<std::uint32_t>(variable_.size()); }
  PointList points() const { return PointList(variable_); }

 private:
  PointListDefinition(Bytes fixed, Bytes variable) : fixed_(fixed), variable_(variable) {}
  Bytes fixed_;
  Bytes variable_;
};

// Object group definition (41): group id, flags (bit 0: replay now), 12-byte
// entries. Bytes beyond the last whole entry are not an entry.
class ObjectGroupDefinition {
 public:
  static constexpr std::uint32_t kReplayNow = 0x1;
  static std::optional<ObjectGroupDefinition> parse(Bytes recordBytes);
  std::uint32_t groupId() const { return fieldU32(fixed_, 0); }
  std::uint32_t flags() const { return fieldU32(fixed_, 4); }
  bool replayNow() const { return (flags() & kReplayNow) != 0; }
  std::uint32_t variableLength() const { return static_cast<std::uint32_t>(variable_.size()); }
  GroupEntries entries() const { return GroupEntries(variable_); }

 private:
  ObjectGroupDefinition(Bytes fixed, Bytes variable) : fixed_(fixed), variable_(variable) {}
  Bytes fixed_;
  Bytes variable_;
};

// Processing marker (37).
class ProcessingMarker {
 public:
  static constexpr std::uint32_t kRewriteKind = 0;
  static constexpr std::uint32_t kRewriteValue = 100;
  static std::optional<ProcessingMarker> parse(Bytes recordBytes);
  std::uint32_t markerKind() const { return kind_; }
  std::uint32_t markerValue() const { return value_; }
  // The whole record, code byte first.
  static std::array<std::uint8_t, 9> encode(std::uint32_t markerKind, std::uint32_t markerValue);

 private:
  ProcessingMarker(std::uint32_t kind, std::uint32_t value) : kind_(kind), value_(value) {}
  std::uint32_t kind_;
  std::uint32_t value_;
};

}  // namespace spool
