#include "platform/testing/fake_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace platform::testing {

namespace {

struct Content {
  std::vector<std::uint8_t> bytes;
};

struct OffsetFailure {
  std::string path;
  std::uint64_t offset;
  ErrorCode code;
};

struct PathFailure {
  std::string path;
  ErrorCode code;
};

bool matches(const std::string& pattern, std::string_view path) {
  return pattern.empty() || pattern == path;
}

}  // namespace

class FakeFile;

struct FakeFiles::State {
  std::map<std::string, std::shared_ptr<Content>, std::less<>> files;
  std::vector<FakeFile*> handles;
  std::vector<PathFailure> openFailures, flushFailures, removeFailures;
  std::vector<OffsetFailure> readFailures, writeFailures;
  ErrorCode replaceFailure = ERROR_SUCCESS;
  ErrorCode temporaryFailure = ERROR_SUCCESS;
  unsigned nextUnique = 1;

  static std::optional<ErrorCode> failure(const std::vector<PathFailure>& list,
                                          std::string_view path) {
    for (const auto& f : list) {
      if (matches(f.path, path)) return f.code;
    }
    return std::nullopt;
  }
  static std::optional<ErrorCode> failure(const std::vector<OffsetFailure>& list,
                                          std::string_view path, std::uint64_t begin,
                                          std::uint64_t end) {
    for (const auto& f : list) {
      if (matches(f.path, path) && end > f.offset && end > begin) return f.code;
    }
    return std::nullopt;
  }
  bool allSharing(std::string_view path, std::uint32_t share) const;
};

class FakeFile final : public File {
 public:
  FakeFile(std::shared_ptr<FakeFiles::State> state, std::shared_ptr<Content> content,
           std::string path, std::uint32_t access, std::uint32_t share)
      : state_(std::move(state)),
        content_(std::move(content)),
        path_(std::move(path)),
        access_(access),
        share_(share) {
    state_->handles.push_back(this);
  }
  ~FakeFile() override { std::erase(state_->handles, this); }

  ErrorCode read(void* buffer, std::uint32_t size, std::uint32_t* got) override {
    if (got != nullptr) *got = 0;
    if ((access_ & kAccessRead) == 0) return ERROR_ACCESS_DENIED;
    if (auto code =
            FakeFiles::State::failure(state_->readFailures, path_, position_, position_ + size)) {
      return *code;
    }
    const auto& bytes = content_->bytes;
    std::uint32_t n = 0;
    if (position_ < bytes.size()) {
      n = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, bytes.size() - position_));
      std::memcpy(buffer, bytes.data() + position_, n);
    }
    position_ += n;
    if (got != nullptr) *got = n;
    return ERROR_SUCCESS;
  }

  ErrorCode write(const void* data, std::uint32_t size) override {
    if ((access_ & kAccessWrite) == 0) return ERROR_ACCESS_DENIED;
    if (auto code =
            FakeFiles::State::failure(state_->writeFailures, path_, position_, position_ + size)) {
      return *code;
    }
    auto& bytes = content_->bytes;
    if (bytes.size() < position_ + size) bytes.resize(position_ + size);
    if (size != 0) std::memcpy(bytes.data() + position_, data, size);
    position_ += size;
    return ERROR_SUCCESS;
  }

  ErrorCode seek(std::int64_t offset, SeekOrigin origin, std::uint64_t* position) override {
    std::int64_t base = 0;
    if (origin == SeekOrigin::Current) base = static_cast<std::int64_t>(position_);
    if (origin == SeekOrigin::End) base = static_cast<std::int64_t>(content_->bytes.size());
    if (offset < 0 && base + offset < 0) return ERROR_NEGATIVE_SEEK;
    position_ = static_cast<std::uint64_t>(base + offset);
    if (position != nullptr) *position = position_;
    return ERROR_SUCCESS;
  }

  ErrorCode size(std::uint64_t* size) override {
    *size = content_->bytes.size();
    return ERROR_SUCCESS;
  }

  ErrorCode flush() override {
    if (auto code = FakeFiles::State::failure(state_->flushFailures, path_)) return *code;
    return ERROR_SUCCESS;
  }

  const std::string& path() const { return path_; }
  void rename(std::string path) { path_ = std::move(path); }
  std::uint32_t access() const { return access_; }
  std::uint32_t share() const { return share_; }

 private:
  std::shared_ptr<FakeFiles::State> state_;
  std::shared_ptr<Content> content_;
  std::string path_;  // empty once the name went to another file
  std::uint32_t access_;
  std::uint32_t share_;
  std::uint64_t position_ = 0;
};

bool FakeFiles::State::allSharing(std::string_view path, std::uint32_t share) const {
  return std::all_of(handles.begin(), handles.end(), [&](const FakeFile* h) {
    return h->path() != path || (h->share() & share) == share;
  });
}

FakeFiles::FakeFiles() : state_(std::make_shared<State>()) {}
FakeFiles::~FakeFiles() = default;

void FakeFiles::setFile(std::string_view path, std::string_view content) {
  auto& slot = state_->files[std::string(path)];
  slot = std::make_shared<Content>();
  slot->bytes.assign(content.begin(), content.end());
}

std::optional<std::string> FakeFiles::content(std::string_view path) const {
  const auto it = state_->files.find(path);
  if (it == state_->files.end()) return std::nullopt;
  return std::string(it->second->bytes.begin(), it->second->bytes.end());
}

std::vector<std::string> FakeFiles::paths() const {
  std::vector<std::string> out;
  for (const auto& [path, content] : state_->files) out.push_back(path);
  return out;
}

int FakeFiles::openCount() const { return static_cast<int>(state_->handles.size()); }

void FakeFiles::failOpen(std::string path, ErrorCode code) {
  state_->openFailures.push_back({std::move(path), code});
}
void FakeFiles::failReadAt(std::string path, std::uint64_t offset, ErrorCode code) {
  state_->readFailures.push_back({std::move(path), offset, code});
}
void FakeFiles::failWriteAt(std::string path, std::uint64_t offset, ErrorCode code) {
  state_->writeFailures.push_back({std::move(path), offset, code});
}
void FakeFiles::failFlush(std::string path, ErrorCode code) {
  state_->flushFailures.push_back({std::move(path), code});
}
void FakeFiles::failRemove(std::string path, ErrorCode code) {
  state_->removeFailures.push_back({std::move(path), code});
}
void FakeFiles::failReplace(ErrorCode code) { state_->replaceFailure = code; }
void FakeFiles::failCreateTemporaryFile(ErrorCode code) { state_->temporaryFailure = code; }
void FakeFiles::clearFailures() {
  state_->openFailures.clear();
  state_->flushFailures.clear();
  state_->removeFailures.clear();
  state_->readFailures.clear();
  state_->writeFailures.clear();
  state_->replaceFailure = ERROR_SUCCESS;
  state_->temporaryFailure = ERROR_SUCCESS;
}

ErrorCode FakeFiles::open(std::string_view path, const FileOpenOptions& options,
                          std::unique_ptr<File>& out) {
  if (auto code = State::failure(state_->openFailures, path)) return *code;
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  const bool writing = (options.access & kAccessWrite) != 0;
  const bool truncating = options.disposition == FileDisposition::CreateAlways ||
                          options.disposition == FileDisposition::TruncateExisting;
  if (options.disposition == FileDisposition::TruncateExisting && !writing) {
    return ERROR_INVALID_PARAMETER;
  }

  auto it = state_->files.find(path);
  const bool exists = it != state_->files.end();
  if (!exists && (options.disposition == FileDisposition::OpenExisting ||
                  options.disposition == FileDisposition::TruncateExisting)) {
    return ERROR_FILE_NOT_FOUND;
  }
  if (exists && options.disposition == FileDisposition::CreateNew) return ERROR_FILE_EXISTS;

  // Both sides must allow what the other does, as Windows checks it.
  for (const FakeFile* h : state_->handles) {
    if (h->path() != path) continue;
    const bool conflict = ((options.access & kAccessRead) && !(h->share() & kShareRead)) ||
                          ((options.access & kAccessWrite) && !(h->share() & kShareWrite)) ||
                          ((h->access() & kAccessRead) && !(options.share & kShareRead)) ||
                          ((h->access() & kAccessWrite) && !(options.share & kShareWrite));
    if (conflict) return ERROR_SHARING_VIOLATION;
  }

  if (!exists) {
    it = state_->files.emplace(std::string(path), std::make_shared<Content>()).first;
  } else if (truncating) {
    it->second->bytes.clear();
  }
  out = std::make_unique<FakeFile>(state_, it->second, std::string(path), options.access,
                                   options.share);
  return ERROR_SUCCESS;
}

ErrorCode FakeFiles::remove(std::string_view path) {
  if (auto code = State::failure(state_->removeFailures, path)) return *code;
  const auto it = state_->files.find(path);
  if (it == state_->files.end()) return ERROR_FILE_NOT_FOUND;
  if (!state_->allSharing(path, kShareDelete)) return ERROR_SHARING_VIOLATION;
  for (FakeFile* h : state_->handles) {
    if (h->path() == path) h->rename({});
  }
  state_->files.erase(it);
  removed.emplace_back(path);
  return ERROR_SUCCESS;
}

ErrorCode FakeFiles::createTemporaryFile(std::string_view folder, std::string_view prefix,
                                         std::string* path) {
  if (state_->temporaryFailure != ERROR_SUCCESS) return state_->temporaryFailure;
  std::string base(folder);
  if (!base.empty() && base.back() != '/' && base.back() != '\\') base.push_back('/');
  base.append(prefix);
  for (unsigned attempt = 0; attempt < 0xFFFF; ++attempt) {
    const unsigned unique = state_->nextUnique;
    state_->nextUnique = unique == 0xFFFF ? 1 : unique + 1;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", unique);
    std::string candidate = base + hex + ".tmp";
    if (state_->files.count(candidate) == 0) {
      state_->files.emplace(candidate, std::make_shared<Content>());
      *path = std::move(candidate);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_FILE_EXISTS;
}

ErrorCode FakeFiles::replace(std::string_view from, std::string_view to) {
  if (state_->replaceFailure != ERROR_SUCCESS) return state_->replaceFailure;
  const auto source = state_->files.find(from);
  if (source == state_->files.end()) return ERROR_FILE_NOT_FOUND;
  if (from == to) return ERROR_SUCCESS;
  if (!state_->allSharing(from, kShareDelete)) return ERROR_SHARING_VIOLATION;
  if (!state_->allSharing(to, kShareDelete)) return ERROR_ACCESS_DENIED;
  std::shared_ptr<Content> moved = source->second;
  state_->files.erase(source);
  state_->files[std::string(to)] = std::move(moved);
  for (FakeFile* h : state_->handles) {
    if (h->path() == to) {
      h->rename({});
    } else if (h->path() == from) {
      h->rename(std::string(to));
    }
  }
  replaces.emplace_back(std::string(from), std::string(to));
  return ERROR_SUCCESS;
}

}  // namespace platform::testing
