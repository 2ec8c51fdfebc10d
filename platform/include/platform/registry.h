// The registry: file associations, the parser preference, the trace library's
// folder and the event-log source key. Keys are opened relative to a root or to
// another open key, and closed when their object goes; names compare without
// regard to case, as on Windows.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/errors.h"

namespace platform {

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine, Users };

class RegistryKey {
 public:
  virtual ~RegistryKey() = default;

  // Opens a subkey for reading ("a\\b" paths allowed). Returns 0 or a Win32 code
  // (ERROR_FILE_NOT_FOUND when it does not exist).
  virtual ErrorCode openSubKey(std::string_view path, std::unique_ptr<RegistryKey>& out) = 0;

  // Reads a value the way RegQueryValueExA does: an empty name is the default
  // value. `data` may be null to ask only for type and size. On entry `size` is
  // the buffer's capacity in bytes; on return the bytes stored, or, with
  // ERROR_MORE_DATA, the bytes needed. String data counts its terminating NUL.
  virtual ErrorCode queryValue(std::string_view name, std::uint32_t* type, void* data,
                               std::uint32_t* size) = 0;

  // Creates (or opens) a subkey for writing, and sets a value in this key.
  // A read-only registry answers ERROR_ACCESS_DENIED.
  virtual ErrorCode createSubKey(std::string_view path, std::unique_ptr<RegistryKey>& out) = 0;
  virtual ErrorCode setValue(std::string_view name, std::uint32_t type, const void* data,
                             std::uint32_t size) = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;

  // Opens root\path for reading; an empty path opens the root itself.
  virtual ErrorCode openKey(RegistryRoot root, std::string_view path,
                            std::unique_ptr<RegistryKey>& out) = 0;
  // Creates or opens root\path for writing.
  virtual ErrorCode createKey(RegistryRoot root, std::string_view path,
                              std::unique_ptr<RegistryKey>& out) = 0;
};

}  // namespace platform
