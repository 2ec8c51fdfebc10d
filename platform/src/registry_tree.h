// An in-memory registry: keys and values under the four roots, names compared
// without regard to ASCII case. The POSIX registry (read-only, filled from .reg
// text) and the test registry (writable) both answer through it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace platform::detail {

struct NameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

struct RegistryValue {
  std::uint32_t type = REG_NONE;
  std::vector<std::uint8_t> data;
};

struct RegistryNode {
  std::map<std::string, std::unique_ptr<RegistryNode>, NameLess> subkeys;
  std::map<std::string, RegistryValue, NameLess> values;
};

class RegistryTree {
 public:
  RegistryNode& root(RegistryRoot root);

  // Null when a key on the path is missing. Empty path components are skipped.
  static RegistryNode* find(RegistryNode& from, std::string_view path);
  static RegistryNode& create(RegistryNode& from, std::string_view path);
  RegistryNode* find(RegistryRoot root, std::string_view path) {
    return find(this->root(root), path);
  }
  RegistryNode& create(RegistryRoot root, std::string_view path) {
    return create(this->root(root), path);
  }
  // Removes a key with everything below it. Open key objects must not outlive
  // the nodes they stand for, so only loading code removes keys.
  void remove(RegistryRoot root, std::string_view path);

  // Opens a key object over the tree; `writable` decides whether createSubKey
  // and setValue work or answer ERROR_ACCESS_DENIED.
  ErrorCode open(RegistryRoot root, std::string_view path, bool writable,
                 std::unique_ptr<RegistryKey>& out);
  ErrorCode createKey(RegistryRoot root, std::string_view path, bool writable,
                      std::unique_ptr<RegistryKey>& out);

 private:
  std::array<RegistryNode, 4> roots_;
};

// The RegQueryValueEx rules for copying a value out.
ErrorCode queryRegistryValue(const RegistryValue& value, std::uint32_t* type, void* data,
                             std::uint32_t* size);

}  // namespace platform::detail
