// Files in memory, for tests that need a failure at a chosen point: the open,
// a read or write reaching a given offset, the flush, the replace, the
// temporary file. Paths are plain strings; there are no folders, so any
// folder is taken to exist. Sharing follows the Windows rules exactly.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace platform::testing {

class FakeFiles : public Files {
 public:
  FakeFiles();
  ~FakeFiles() override;

  void setFile(std::string_view path, std::string_view content);
  std::optional<std::string> content(std::string_view path) const;
  bool exists(std::string_view path) const { return content(path).has_value(); }
  std::vector<std::string> paths() const;
  // Handles the code under test has not closed yet.
  int openCount() const;

  // Injected failures stay until clearFailures(). An empty path means any file.
  void failOpen(std::string path, ErrorCode code);
  // A read or write fails once it would touch the byte at `offset` or beyond;
  // the bytes before are not transferred either.
  void failReadAt(std::string path, std::uint64_t offset, ErrorCode code);
  void failWriteAt(std::string path, std::uint64_t offset, ErrorCode code);
  void failFlush(std::string path, ErrorCode code);
  void failRemove(std::string path, ErrorCode code);
  void failReplace(ErrorCode code);
  void failCreateTemporaryFile(ErrorCode code);
  void clearFailures();

  // Every successful replace as {from, to}, and every removed path.
  std::vector<std::pair<std::string, std::string>> replaces;
  std::vector<std::string> removed;

  ErrorCode open(std::string_view path, const FileOpenOptions& options,
                 std::unique_ptr<File>& out) override;
  ErrorCode remove(std::string_view path) override;
  ErrorCode createTemporaryFile(std::string_view folder, std::string_view prefix,
                                std::string* path) override;
  ErrorCode replace(std::string_view from, std::string_view to) override;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace platform::testing
