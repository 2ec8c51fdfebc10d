#include "spool/header.h"

#include <algorithm>

namespace spool {

bool hasMagic(Bytes bytes) {
  return bytes.size() >= kMagic.size() &&
         std::equal(kMagic.begin(), kMagic.end(), bytes.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

std::optional<MetaFileHeader> parseHeader(Bytes bytes) {
  if (bytes.size() < kShortHeaderSize || !hasMagic(bytes)) return std::nullopt;
  MetaFileHeader h;
  h.version = fieldU32(bytes, 24);
  h.compressed = fieldU32(bytes, 28);
  h.recordSetParameter = fieldU32(bytes, 32);
  if (!h.isKnownVersion()) return std::nullopt;
  if (!h.isLong()) {
    h.recordSet = 1;
    h.pageCountPlusOne = 0;
    return h;
  }
  if (bytes.size() < kLongHeaderSize) return std::nullopt;
  h.recordSet = fieldU32(bytes, 36);
  h.pageCountPlusOne = fieldU32(bytes, 40);
  h.sizeRatio = bytes[44];
  h.blobRatio = bytes[45];
  h.textObjectRatio = bytes[46];
  h.pointListRatio = bytes[47];
  return h;
}

EncodedHeader encodeHeader(const MetaFileHeader& header) {
  EncodedHeader out;
  MutableBytes b(out.bytes);
  std::copy(kMagic.begin(), kMagic.end(), out.bytes.begin());
  writeU32(b, 24, header.version);
  writeU32(b, 28, header.compressed);
  writeU32(b, 32, header.recordSetParameter);
  out.size = header.size();
  if (!header.isLong()) return out;
  writeU32(b, 36, header.recordSet);
  writeU32(b, 40, header.pageCountPlusOne);
  out.bytes[44] = header.sizeRatio;
  out.bytes[45] = header.blobRatio;
  out.bytes[46] = header.textObjectRatio;
  out.bytes[47] = header.pointListRatio;
  return out;
}

}  // namespace spool
