#include "uploader/header_probe.h"

#include <optional>
#include <string_view>

namespace uploader {

namespace {

constexpr std::string_view kMagic = "VARDO PRINTER META FILE ";
constexpr std::size_t kVersionOffset = 24;
constexpr std::size_t kPageCountPlusOneOffset = 40;
constexpr std::size_t kSizeRatioOffset = 44;
constexpr std::uint32_t kFirstVersionWithStatistics = 5;

// Little-endian fields of a byte span; a field that does not lie wholly
// inside the span reads as nothing.
class LittleEndianFields {
 public:
  explicit LittleEndianFields(std::span<const std::byte> bytes) : bytes_(bytes) {}

  std::optional<std::uint8_t> u8(std::size_t offset) const {
    if (offset >= bytes_.size()) return std::nullopt;
    return std::to_integer<std::uint8_t>(bytes_[offset]);
  }

  std::optional<std::uint32_t> u32(std::size_t offset) const {
    if (offset > bytes_.size() || bytes_.size() - offset < 4) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;) {
      value = (value << 8) | std::to_integer<std::uint32_t>(bytes_[offset + i]);
    }
    return value;
  }

  bool startsWith(std::string_view text) const {
    if (bytes_.size() < text.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (std::to_integer<char>(bytes_[i]) != text[i]) return false;
    }
    return true;
  }

 private:
  std::span<const std::byte> bytes_;
};

}  // namespace

HeaderStatistics ProbeHeader(std::span<const std::byte> header) {
  HeaderStatistics statistics;
  const LittleEndianFields fields(header);
  const std::optional<std::uint32_t> version = fields.u32(kVersionOffset);
  const std::optional<std::uint32_t> pageCountPlusOne = fields.u32(kPageCountPlusOneOffset);
  const std::optional<std::uint8_t> sizeRatio = fields.u8(kSizeRatioOffset);
  if (header.size() != kHeaderProbeSize || !fields.startsWith(kMagic) || !version ||
      *version < kFirstVersionWithStatistics || !pageCountPlusOne || !sizeRatio) {
    return statistics;
  }
  if (*sizeRatio < 100) statistics.compressionRate = 100 - *sizeRatio;
  // Signed like every count the pages show; a count beyond that range is
  // written as the producer's bits say.
  if (*pageCountPlusOne > 1)
    statistics.pageCount = static_cast<std::int32_t>(*pageCountPlusOne - 1);
  return statistics;
}

}  // namespace uploader
