#include <dlfcn.h>
#include <sys/stat.h>

#include <string>

#include "posix_ports.h"

namespace platform::posix {
namespace {

class PosixLibrary final : public Library {
 public:
  explicit PosixLibrary(void* handle) : handle_(handle) {}
  ~PosixLibrary() override { ::dlclose(handle_); }
  PosixLibrary(const PosixLibrary&) = delete;
  PosixLibrary& operator=(const PosixLibrary&) = delete;

  void* symbol(const char* name, ErrorCode* error) override {
    ::dlerror();
    void* address = ::dlsym(handle_, name);
    const bool found = address != nullptr || ::dlerror() == nullptr;
    if (error != nullptr) *error = found ? ERROR_SUCCESS : ERROR_PROC_NOT_FOUND;
    return found ? address : nullptr;
  }

 private:
  void* handle_;
};

// dlopen tells its reasons only as text; these are the ones glibc writes.
ErrorCode loadFailure(const std::string& path, const char* message) {
  const std::string text = message != nullptr ? message : "";
  if (text.find("undefined symbol") != std::string::npos) return ERROR_PROC_NOT_FOUND;
  if (text.find("Permission denied") != std::string::npos) return ERROR_ACCESS_DENIED;
  if (text.find("No such file") != std::string::npos) {
    // The library is there but something it needs is not: Windows names
    // the missing dependency with the same code.
    return ERROR_MOD_NOT_FOUND;
  }
  struct stat info;
  if (path.find('/') != std::string::npos && ::stat(path.c_str(), &info) != 0) {
    return ERROR_MOD_NOT_FOUND;
  }
  return ERROR_BAD_EXE_FORMAT;
}

}  // namespace

ErrorCode PosixLibraries::load(std::string_view pathView, std::unique_ptr<Library>& out) {
  const std::string path(pathView);
  if (path.empty()) return ERROR_MOD_NOT_FOUND;
  ::dlerror();
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return loadFailure(path, ::dlerror());
  out = std::make_unique<PosixLibrary>(handle);
  return ERROR_SUCCESS;
}

}  // namespace platform::posix
