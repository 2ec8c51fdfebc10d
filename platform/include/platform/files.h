// Files: open with the access, sharing and disposition the caller asks for,
// 64-bit sizes and offsets, delete, unique temporary names and crash-safe
// replacement. Paths are UTF-8 text on every system.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace platform {

enum FileAccess : std::uint32_t { kAccessRead = 1, kAccessWrite = 2, kAccessReadWrite = 3 };
enum FileShare : std::uint32_t { kShareNone = 0, kShareRead = 1, kShareWrite = 2, kShareDelete = 4 };

enum class FileDisposition {
  CreateNew,         // fails with ERROR_FILE_EXISTS when it exists
  CreateAlways,      // creates or truncates
  OpenExisting,      // fails with ERROR_FILE_NOT_FOUND when missing
  OpenAlways,        // opens or creates
  TruncateExisting,  // opens and truncates; fails when missing
};

struct FileOpenOptions {
  std::uint32_t access = kAccessRead;
  std::uint32_t share = kShareRead;
  FileDisposition disposition = FileDisposition::OpenExisting;
  bool sequentialScan = false;  // a hint only
};

enum class SeekOrigin { Begin, Current, End };

class File {
 public:
  // Closes the file.
  virtual ~File() = default;

  // Reads up to `size` bytes; `*got` is 0 at the end of the file.
  virtual ErrorCode read(void* buffer, std::uint32_t size, std::uint32_t* got) = 0;
  // Writes all `size` bytes or fails.
  virtual ErrorCode write(const void* data, std::uint32_t size) = 0;
  virtual ErrorCode seek(std::int64_t offset, SeekOrigin origin, std::uint64_t* position = nullptr) = 0;
  virtual ErrorCode size(std::uint64_t* size) = 0;
  // Makes what was written durable (fsync / FlushFileBuffers).
  virtual ErrorCode flush() = 0;
};

class Files {
 public:
  virtual ~Files() = default;

  virtual ErrorCode open(std::string_view path, const FileOpenOptions& options,
                         std::unique_ptr<File>& out) = 0;
  virtual ErrorCode remove(std::string_view path) = 0;

  // Creates a new empty file with a unique name "<prefix><hex>.tmp" in
  // `folder` and returns its path (GetTempFileName with unique number 0).
  virtual ErrorCode createTemporaryFile(std::string_view folder, std::string_view prefix,
                                        std::string* path) = 0;

  // Moves `from` over `to` so that `to` holds either its old content or the
  // whole of `from`, at every moment and after a crash: `from` is made durable
  // first, the move replaces `to` in one step, then the folder is made durable.
  // Both must be on one file system. `to` keeps the permission bits of the file
  // it replaces.
  virtual ErrorCode replace(std::string_view from, std::string_view to) = 0;
};

}  // namespace platform
