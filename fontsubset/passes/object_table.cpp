#include "object_table.h"

#include <algorithm>

namespace passes {

std::size_t ObjectTable::lowerBound(std::uint32_t id) const {
  auto it = std::lower_bound(objects_.begin(), objects_.end(), id,
                             [](const CachedObject& o, std::uint32_t key) { return o.id < key; });
  return static_cast<std::size_t>(it - objects_.begin());
}

CachedObject* ObjectTable::find(std::uint32_t id) {
  // The last hit and its successor answer the usual ascending references
  // without a search; anything else costs a binary search, never a walk.
  for (std::size_t at : {lastHit_, lastHit_ + 1}) {
    if (at < objects_.size() && objects_[at].id == id) {
      lastHit_ = at;
      return &objects_[at];
    }
  }
  std::size_t at = lowerBound(id);
  if (at == objects_.size() || objects_[at].id != id) return nullptr;
  lastHit_ = at;
  return &objects_[at];
}

CachedObject& ObjectTable::insert(CachedObject object) {
  std::size_t at =
      objects_.empty() || objects_.back().id < object.id ? objects_.size() : lowerBound(object.id);
  objects_.insert(objects_.begin() + static_cast<std::ptrdiff_t>(at), std::move(object));
  lastHit_ = at;
  return objects_[at];
}

bool ObjectTable::remove(std::uint32_t id) {
  CachedObject* object = find(id);
  if (object == nullptr) return false;
  std::size_t at = static_cast<std::size_t>(object - objects_.data());
  objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(at));
  lastHit_ = at == 0 ? 0 : at - 1;
  return true;
}

void ObjectTable::clear() {
  objects_.clear();
  objects_.shrink_to_fit();
  lastHit_ = 0;
}

}  // namespace passes
