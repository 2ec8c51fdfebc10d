// An in-memory, writable registry for tests, loadable from .reg text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace platform::detail {
class RegistryTree;
}

namespace platform::testing {

class FakeRegistry : public Registry {
 public:
  FakeRegistry();
  ~FakeRegistry() override;

  // Adds the keys and values of a .reg text (header included). Returns 0, or
  // ERROR_INVALID_DATA when some line could not be read.
  ErrorCode loadRegText(std::string_view text);

  void setValue(RegistryRoot root, std::string_view keyPath, std::string_view name,
                std::uint32_t type, std::vector<std::uint8_t> bytes);
  // Stores the text with its terminating NUL, as the registry holds strings.
  void setString(RegistryRoot root, std::string_view keyPath, std::string_view name,
                 std::string_view text, std::uint32_t type = REG_SZ);
  void setDword(RegistryRoot root, std::string_view keyPath, std::string_view name,
                std::uint32_t number);
  void createKeyPath(RegistryRoot root, std::string_view keyPath);

  struct Value {
    std::uint32_t type;
    std::vector<std::uint8_t> bytes;
  };
  // What the code under test left in the registry.
  std::optional<Value> value(RegistryRoot root, std::string_view keyPath,
                             std::string_view name) const;
  bool hasKey(RegistryRoot root, std::string_view keyPath) const;

  // With readOnly set, writes answer ERROR_ACCESS_DENIED as on a machine where
  // the user may not change the key.
  bool readOnly = false;

  ErrorCode openKey(RegistryRoot root, std::string_view path,
                    std::unique_ptr<RegistryKey>& out) override;
  ErrorCode createKey(RegistryRoot root, std::string_view path,
                      std::unique_ptr<RegistryKey>& out) override;

 private:
  std::unique_ptr<detail::RegistryTree> tree_;
};

}  // namespace platform::testing
