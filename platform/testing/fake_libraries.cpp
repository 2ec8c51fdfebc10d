#include "platform/testing/fake_libraries.h"

namespace platform::testing {

class FakeLibrary final : public Library {
 public:
  FakeLibrary(FakeLibraries& owner, std::string path, const FakeLibraries::Symbols& symbols)
      : owner_(owner), path_(std::move(path)), symbols_(symbols) {}
  ~FakeLibrary() override {
    owner_.unloads.push_back(path_);
    --owner_.loaded_;
  }

  void* symbol(const char* name, ErrorCode* error) override {
    owner_.lookups.push_back(path_ + "!" + name);
    const auto it = symbols_.find(name);
    if (it == symbols_.end()) {
      if (error != nullptr) *error = ERROR_PROC_NOT_FOUND;
      return nullptr;
    }
    if (error != nullptr) *error = ERROR_SUCCESS;
    return it->second;
  }

 private:
  FakeLibraries& owner_;
  std::string path_;
  const FakeLibraries::Symbols& symbols_;
};

ErrorCode FakeLibraries::load(std::string_view path, std::unique_ptr<Library>& out) {
  loads.emplace_back(path);
  if (const auto failure = failures_.find(path); failure != failures_.end()) {
    return failure->second;
  }
  const auto it = libraries_.find(path);
  if (it == libraries_.end()) return ERROR_MOD_NOT_FOUND;
  ++loaded_;
  out = std::make_unique<FakeLibrary>(*this, std::string(path), it->second);
  return ERROR_SUCCESS;
}

}  // namespace platform::testing
