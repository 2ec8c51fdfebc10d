// Loading shared libraries by path and finding their symbols.
#pragma once

#include <memory>
#include <string_view>

#include "platform/errors.h"

namespace platform {

class Library {
 public:
  // Unloads the library.
  virtual ~Library() = default;

  // The address of an exported symbol, or null (with `error` set to
  // ERROR_PROC_NOT_FOUND when given).
  virtual void* symbol(const char* name, ErrorCode* error = nullptr) = 0;

  template <typename Fn>
  Fn function(const char* name, ErrorCode* error = nullptr) {
    return reinterpret_cast<Fn>(symbol(name, error));
  }
};

class Libraries {
 public:
  virtual ~Libraries() = default;

  // Loads a library. A path without a folder is searched the system's way.
  // Returns 0, ERROR_MOD_NOT_FOUND (no such file), ERROR_BAD_EXE_FORMAT (not a
  // loadable library) or another Win32 code.
  virtual ErrorCode load(std::string_view path, std::unique_ptr<Library>& out) = 0;
};

}  // namespace platform
