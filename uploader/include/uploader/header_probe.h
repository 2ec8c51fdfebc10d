// The two statistics the wizard page shows, read from the first bytes of a
// printer meta file. Anything else in the document stays unread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace uploader {

// The bytes read for the probe: a long header.
inline constexpr std::size_t kHeaderProbeSize = 56;

struct HeaderStatistics {
  std::int32_t compressionRate = 0;  // 0 = unknown
  std::int32_t pageCount = 0;        // 0 = unknown
};

// Trusts the statistics only when `header` holds a whole long header with the
// magic and a version that promises them (5 or above); otherwise both are
// unknown.
HeaderStatistics ProbeHeader(std::span<const std::byte> header);

}  // namespace uploader
