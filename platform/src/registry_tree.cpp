#include "registry_tree.h"

#include <algorithm>
#include <cstring>

namespace platform::detail {
namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Calls `visit` for each non-empty backslash-separated name of `path` and
// stops early when it returns false.
template <typename Visit>
void forEachName(std::string_view path, Visit visit) {
  while (!path.empty()) {
    const std::size_t end = std::min(path.find('\\'), path.size());
    if (end != 0 && !visit(path.substr(0, end))) return;
    path.remove_prefix(end == path.size() ? end : end + 1);
  }
}

class TreeKey final : public RegistryKey {
 public:
  TreeKey(RegistryNode& node, bool writable) : node_(node), writable_(writable) {}

  ErrorCode openSubKey(std::string_view path, std::unique_ptr<RegistryKey>& out) override {
    RegistryNode* found = RegistryTree::find(node_, path);
    if (found == nullptr) return ERROR_FILE_NOT_FOUND;
    out = std::make_unique<TreeKey>(*found, writable_);
    return ERROR_SUCCESS;
  }

  ErrorCode queryValue(std::string_view name, std::uint32_t* type, void* data,
                       std::uint32_t* size) override {
    const auto it = node_.values.find(name);
    if (it == node_.values.end()) return ERROR_FILE_NOT_FOUND;
    return queryRegistryValue(it->second, type, data, size);
  }

  ErrorCode createSubKey(std::string_view path, std::unique_ptr<RegistryKey>& out) override {
    if (!writable_) return ERROR_ACCESS_DENIED;
    out = std::make_unique<TreeKey>(RegistryTree::create(node_, path), writable_);
    return ERROR_SUCCESS;
  }

  ErrorCode setValue(std::string_view name, std::uint32_t type, const void* data,
                     std::uint32_t size) override {
    if (!writable_) return ERROR_ACCESS_DENIED;
    if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
    RegistryValue& value = node_.values[std::string(name)];
    value.type = type;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    value.data.assign(bytes, bytes + size);
    return ERROR_SUCCESS;
  }

 private:
  RegistryNode& node_;
  bool writable_;
};

}  // namespace

bool NameLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return lowerAscii(x) < lowerAscii(y); });
}

RegistryNode& RegistryTree::root(RegistryRoot root) {
  return roots_[static_cast<std::size_t>(root)];
}

RegistryNode* RegistryTree::find(RegistryNode& from, std::string_view path) {
  RegistryNode* node = &from;
  forEachName(path, [&](std::string_view name) {
    const auto it = node->subkeys.find(name);
    node = it == node->subkeys.end() ? nullptr : it->second.get();
    return node != nullptr;
  });
  return node;
}

RegistryNode& RegistryTree::create(RegistryNode& from, std::string_view path) {
  RegistryNode* node = &from;
  forEachName(path, [&](std::string_view name) {
    auto& slot = node->subkeys[std::string(name)];
    if (!slot) slot = std::make_unique<RegistryNode>();
    node = slot.get();
    return true;
  });
  return *node;
}

void RegistryTree::remove(RegistryRoot root, std::string_view path) {
  const std::size_t cut = path.find_last_of('\\');
  RegistryNode* parent =
      cut == std::string_view::npos ? &this->root(root) : find(root, path.substr(0, cut));
  if (parent == nullptr) return;
  const std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
  const auto it = parent->subkeys.find(name);
  if (it != parent->subkeys.end()) parent->subkeys.erase(it);
}

ErrorCode RegistryTree::open(RegistryRoot root, std::string_view path, bool writable,
                             std::unique_ptr<RegistryKey>& out) {
  RegistryNode* node = find(root, path);
  if (node == nullptr) return ERROR_FILE_NOT_FOUND;
  out = std::make_unique<TreeKey>(*node, writable);
  return ERROR_SUCCESS;
}

ErrorCode RegistryTree::createKey(RegistryRoot root, std::string_view path, bool writable,
                                  std::unique_ptr<RegistryKey>& out) {
  if (!writable) return ERROR_ACCESS_DENIED;
  out = std::make_unique<TreeKey>(create(root, path), writable);
  return ERROR_SUCCESS;
}

ErrorCode queryRegistryValue(const RegistryValue& value, std::uint32_t* type, void* data,
                             std::uint32_t* size) {
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  if (type != nullptr) *type = value.type;
  const auto needed = static_cast<std::uint32_t>(value.data.size());
  if (size == nullptr) return ERROR_SUCCESS;
  if (data == nullptr) {
    *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (needed != 0) std::memcpy(data, value.data.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

}  // namespace platform::detail
