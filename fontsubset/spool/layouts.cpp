#include "spool/layouts.h"

#include <algorithm>
#include <cstring>

namespace spool {

std::optional<RecordParts> splitRecord(std::uint8_t code, Bytes recordBytes) {
  const CatalogueEntry* e = findCatalogueEntry(code);
  if (e == nullptr || recordBytes.size() < e->fixedLength) return std::nullopt;
  RecordParts parts{e, recordBytes.first(e->fixedLength), recordBytes.subspan(e->fixedLength)};
  std::uint64_t declared =
      e->hasLengthField() ? fieldU32(parts.fixed, static_cast<std::size_t>(e->lengthAt)) : 0;
  if (declared != parts.variable.size()) return std::nullopt;
  return parts;
}

// ---- text runs

std::optional<TextRun> TextRun::parse(Bytes block, Bytes variable) {
  if (block.size() < kBlockSize) return std::nullopt;
  TextRun run(block.first(kBlockSize), variable);
  if (run.hasSingleByteText()) {
    if (run.singleByteCount() > variable.size()) return std::nullopt;
  } else if (run.codesOffset() + 2ull * run.codeCount() > variable.size()) {
    return std::nullopt;
  }
  return run;
}

std::optional<TextRun> TextRun::fromRecord(std::uint8_t code, Bytes recordBytes) {
  if (code != code::kTextRun && code != code::kTextObjectDefinition) return std::nullopt;
  auto parts = splitRecord(code, recordBytes);
  if (!parts) return std::nullopt;
  Bytes block = code == code::kTextRun ? parts->fixed : parts->fixed.subspan(4);
  return parse(block, parts->variable);
}

std::uint64_t TextRun::codesOffset() const {
  return unitWidth() * (std::uint64_t{singleByteCount()} + 1) + 8ull * itemCount();
}

Bytes TextRun::singleByteText() const {
  if (!hasSingleByteText()) return {};
  return variable_.first(singleByteCount());
}

CodeUnits TextRun::codes() const {
  if (hasSingleByteText()) return {};
  auto s = slice(variable_, codesOffset(), 2ull * codeCount());
  return s ? CodeUnits(*s) : CodeUnits();
}

std::optional<Bytes> TextRun::content() const {
  return slice(variable_, 0, codesOffset() + 2ull * codeCount());
}

// ---- font file records

namespace {

constexpr FontFileFields kFontFileFields[] = {
    {code::kShortFontFile, 24, -1, -1, -1, 8, 12, 16, 20},
    {code::kFontFile, 28, -1, 0, 6, 12, 20, 16, 24},
    {code::kFontObjectDefinition, 32, 0, 4, 10, 16, 24, 20, 28},
};

}  // namespace

const FontFileFields* fontFileFields(std::uint8_t code) {
  for (const FontFileFields& f : kFontFileFields) {
    if (f.code == code) return &f;
  }
  return nullptr;
}

std::optional<FontFileRecord> FontFileRecord::parse(std::uint8_t code, Bytes recordBytes,
                                                    std::uint32_t version) {
  const FontFileFields* f = fontFileFields(code);
  if (f == nullptr) return std::nullopt;
  auto parts = splitRecord(code, recordBytes);
  if (!parts) return std::nullopt;
  FontFileRecord r(f, parts->fixed, parts->variable, version);
  if (!fits(r.variable_.size(), r.fontDataOffset(), r.fontDataLength())) return std::nullopt;
  return r;
}

std::optional<std::uint32_t> FontFileRecord::objectId() const {
  if (fields_->objectId < 0) return std::nullopt;
  return fieldU32(fixed_, static_cast<std::size_t>(fields_->objectId));
}

std::uint32_t FontFileRecord::flags() const {
  if (fields_->flags < 0) return kTrueTypeFont;
  return fieldU32(fixed_, static_cast<std::size_t>(fields_->flags));
}

std::uint16_t FontFileRecord::codePage() const {
  if (fields_->codePage < 0 || version_ < kCodePageVersion) return kDefaultCodePage;
  return fieldU16(fixed_, static_cast<std::size_t>(fields_->codePage));
}

Bytes FontFileRecord::name() const {
  Bytes field = nameField();
  auto nul = std::find(field.begin(), field.end(), std::uint8_t{0});
  return field.first(static_cast<std::size_t>(nul - field.begin()));
}

std::optional<Bytes> FontFileRecord::secondPart() const {
  return slice(variable_, std::uint64_t{fontDataOffset()} + fontDataLength(), secondPartLength());
}

FontFileFixedPart::FontFileFixedPart(std::uint8_t code) : fields_(fontFileFields(code)) {
  if (fields_ == nullptr) fields_ = fontFileFields(code::kFontFile);
}

std::optional<FontFileFixedPart> FontFileFixedPart::copyOf(const FontFileRecord& record) {
  FontFileFixedPart part(record.code());
  Bytes fixed = record.fixedPart();
  std::copy(fixed.begin(), fixed.end(), part.bytes_.begin());
  return part;
}

void FontFileFixedPart::put32(std::int16_t at, std::uint32_t value) {
  if (at < 0) return;
  writeU32(MutableBytes(bytes_.data(), fields_->fixedLength), static_cast<std::size_t>(at), value);
}

void FontFileFixedPart::setObjectId(std::uint32_t id) { put32(fields_->objectId, id); }
void FontFileFixedPart::setFlags(std::uint32_t flags) { put32(fields_->flags, flags); }
void FontFileFixedPart::setCodePage(std::uint16_t codePage) {
  if (fields_->codePage < 0) return;
  writeU16(MutableBytes(bytes_.data(), fields_->fixedLength),
           static_cast<std::size_t>(fields_->codePage), codePage);
}
void FontFileFixedPart::setFontDataOffset(std::uint32_t v) { put32(fields_->fontDataOffset, v); }
void FontFileFixedPart::setFontDataLength(std::uint32_t v) { put32(fields_->fontDataLength, v); }
void FontFileFixedPart::setSecondPartLength(std::uint32_t v) {
  put32(fields_->secondPartLength, v);
}
void FontFileFixedPart::setVariableLength(std::uint32_t v) { put32(fields_->variableLength, v); }

// ---- object records

std::optional<BlobDefinition> BlobDefinition::parse(std::uint8_t code, Bytes recordBytes) {
  if (code != code::kBlobDefinition && code != code::kLongBlobDefinition) return std::nullopt;
  auto parts = splitRecord(code, recordBytes);
  if (!parts) return std::nullopt;
  return BlobDefinition(code, parts->fixed, parts->variable);
}

std::optional<TextObjectDefinition> TextObjectDefinition::parse(Bytes recordBytes) {
  auto run = TextRun::fromRecord(code::kTextObjectDefinition, recordBytes);
  if (!run) return std::nullopt;
  return TextObjectDefinition(fieldU32(recordBytes, 0), *run);
}

std::optional<ObjectReference> ObjectReference::parse(std::uint8_t code, Bytes recordBytes) {
  if (code != code::kObjectReplay && code != code::kObjectDelete) return std::nullopt;
  auto parts = splitRecord(code, recordBytes);
  if (!parts) return std::nullopt;
  return ObjectReference(fieldU32(parts->fixed, 0));
}

std::optional<ObjectReplayAtOffset> ObjectReplayAtOffset::parse(Bytes recordBytes) {
  auto parts = splitRecord(code::kObjectReplayAtOffset, recordBytes);
  if (!parts) return std::nullopt;
  return ObjectReplayAtOffset(parts->fixed);
}

std::optional<PointListDefinition> PointListDefinition::parse(Bytes recordBytes) {
  auto parts = splitRecord(code::kPointListDefinition, recordBytes);
  if (!parts) return std::nullopt;
  return PointListDefinition(parts->fixed, parts->variable);
}

std::optional<ObjectGroupDefinition> ObjectGroupDefinition::parse(Bytes recordBytes) {
  auto parts = splitRecord(code::kObjectGroupDefinition, recordBytes);
  if (!parts) return std::nullopt;
  return ObjectGroupDefinition(parts->fixed, parts->variable);
}

std::optional<ProcessingMarker> ProcessingMarker::parse(Bytes recordBytes) {
  auto parts = splitRecord(code::kProcessingMarker, recordBytes);
  if (!parts) return std::nullopt;
  return ProcessingMarker(fieldU32(parts->fixed, 0), fieldU32(parts->fixed, 4));
}

std::array<std::uint8_t, 9> ProcessingMarker::encode(std::uint32_t markerKind,
                                                     std::uint32_t markerValue) {
  std::array<std::uint8_t, 9> out{};
  out[0] = code::kProcessingMarker;
  writeU32(MutableBytes(out).subspan(1), 0, markerKind);
  writeU32(MutableBytes(out).subspan(1), 4, markerValue);
  return out;
}

}  // namespace spool
