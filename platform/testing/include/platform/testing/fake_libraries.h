// Libraries as tables of symbols, keyed by the path the code loads.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/libraries.h"

namespace platform::testing {

class FakeLibraries : public Libraries {
 public:
  using Symbols = std::map<std::string, void*>;

  // Makes `path` loadable with these exports.
  void add(std::string path, Symbols symbols) { libraries_[std::move(path)] = std::move(symbols); }
  template <typename Fn>
  static void* address(Fn* function) {
    return reinterpret_cast<void*>(function);
  }
  // Loading `path` fails with `code` (ERROR_BAD_EXE_FORMAT, ERROR_DLL_INIT_FAILED, ...).
  void failLoad(std::string path, ErrorCode code) { failures_[std::move(path)] = code; }

  // Every path asked for, loaded or not, and every unload, in order.
  std::vector<std::string> loads;
  std::vector<std::string> unloads;
  // Every symbol looked up, as "path!name".
  std::vector<std::string> lookups;

  // Libraries loaded and not yet unloaded.
  int loadedCount() const { return loaded_; }

  ErrorCode load(std::string_view path, std::unique_ptr<Library>& out) override;

 private:
  friend class FakeLibrary;
  std::map<std::string, Symbols, std::less<>> libraries_;
  std::map<std::string, ErrorCode, std::less<>> failures_;
  int loaded_ = 0;
};

}  // namespace platform::testing
