// The producer's object cache as the scan pass rebuilds it: objects sorted by
// id, with the place of the last hit remembered, because producers refer to
// their objects mostly in ascending order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "passes/scan_pass.h"

namespace passes {

struct CachedObject {
  std::uint32_t id = 0;
  ObjectKind kind = kBlob;
  std::uint32_t size = 0;
  // Text objects: the n single-byte characters, or the g codes as 16-bit
  // little-endian values. Groups: the 12-byte entries.
  std::vector<std::uint8_t> data;
  bool singleByteText = false;
  // Font objects: the stored font the definition named (-1: none), and the
  // code page its text is in.
  int font = -1;
  std::uint16_t codePage = 0;
  // Groups: set while the group's entries are being replayed.
  bool replaying = false;
};

class ObjectTable {
 public:
  // Null when there is no object with `id`. The pointer lasts until the
  // next insert or remove.
  CachedObject* find(std::uint32_t id);
  // `object.id` must be new.
  CachedObject& insert(CachedObject object);
  // False when there is no object with `id`.
  bool remove(std::uint32_t id);
  void clear();
  std::size_t size() const { return objects_.size(); }

 private:
  std::size_t lowerBound(std::uint32_t id) const;
  std::vector<CachedObject> objects_;
  std::size_t lastHit_ = 0;
};

}  // namespace passes
