#include <algorithm>

#include "sfnt/writer.h"
#include "subset/limits.h"
#include "tables.h"

namespace subset {
namespace {

constexpr std::uint16_t kWindowsEnglishUs = 0x0409;
constexpr std::uint16_t kUniqueId = 3;
constexpr std::uint16_t kFullName = 4;
constexpr std::uint16_t kVersion = 5;

bool takesPrefix(std::uint16_t nameId) {
  return nameId == 1 || nameId == 3 || nameId == 4 || nameId == 6;
}

}  // namespace

Refusal NameTable::plan(sfnt::Bytes input, std::string_view prefix) {
  prefix_ = prefix;
  slots_ = {};
  sfnt::Reader reader(input);
  std::uint16_t format = 0;
  std::uint16_t count = 0;
  std::uint16_t stringOffset = 0;
  if (!reader.u16(format) || !reader.u16(count) || !reader.u16(stringOffset)) {
    return Refusal::BadName;
  }
  for (std::uint16_t i = 0; i < count; ++i) {
    std::uint16_t platformId = 0, encodingId = 0, languageId = 0, nameId = 0, length = 0,
                  offset = 0;
    reader.u16(platformId);
    reader.u16(encodingId);
    reader.u16(languageId);
    reader.u16(nameId);
    reader.u16(length);
    if (!reader.u16(offset)) return Refusal::BadName;
    std::size_t platform = 0;
    if (platformId == 1) {
      platform = 0;
    } else if (platformId == 3 && languageId == kWindowsEnglishUs) {
      platform = 1;
    } else {
      continue;
    }
    if (nameId >= kNameIdCount) continue;
    Slot& slot = slots_[platform][nameId];
    if (!slot.text.empty()) continue;
    auto text = sfnt::slice(input, std::size_t{stringOffset} + offset, length);
    if (!text) return Refusal::BadName;
    slot = {encodingId, languageId, *text, takesPrefix(nameId)};
  }

  std::uint32_t storage = 0;
  records_ = 0;
  for (std::size_t platform = 0; platform < slots_.size(); ++platform) {
    auto& slots = slots_[platform];
    // A subset is a different font from the one it came from, so it must not
    // claim the original's unique identifier or version.
    slots[kUniqueId] = slots[kFullName];
    slots[kVersion] = Slot{};
    for (const Slot& slot : slots) {
      if (slot.text.empty()) continue;
      const std::uint32_t size = stringLength(platform, slot);
      if (size > 0xFFFF) return Refusal::TooLarge;
      storage += size;
      ++records_;
    }
  }
  if (storage > kMaxNameStorage) return Refusal::TooLarge;
  length_ = 6 + 12 * records_ + storage;
  return Refusal::None;
}

std::uint32_t NameTable::stringLength(std::size_t platform, const Slot& slot) const {
  const std::size_t prefixBytes = slot.prefixed ? prefix_.size() * (platform == 0 ? 1 : 2) : 0;
  return static_cast<std::uint32_t>(std::min<std::size_t>(slot.text.size() + prefixBytes, 0x10000));
}

void NameTable::write(std::span<std::uint8_t> out) const {
  sfnt::Writer records(out);
  const std::uint32_t storageStart = 6 + 12 * records_;
  records.u16(0);
  records.u16(static_cast<std::uint16_t>(records_));
  records.u16(static_cast<std::uint16_t>(storageStart));
  sfnt::Writer strings(out, storageStart);
  for (std::size_t platform = 0; platform < slots_.size(); ++platform) {
    for (std::uint16_t nameId = 0; nameId < kNameIdCount; ++nameId) {
      const Slot& slot = slots_[platform][nameId];
      if (slot.text.empty()) continue;
      records.u16(kPlatforms[platform]);
      records.u16(slot.encodingId);
      records.u16(slot.languageId);
      records.u16(nameId);
      records.u16(static_cast<std::uint16_t>(stringLength(platform, slot)));
      records.u16(static_cast<std::uint16_t>(strings.position() - storageStart));
      if (slot.prefixed) {
        for (char c : prefix_) {
          if (platform == 1) strings.u8(0);
          strings.u8(static_cast<std::uint8_t>(c));
        }
      }
      strings.bytes(slot.text);
    }
  }
}

}  // namespace subset
