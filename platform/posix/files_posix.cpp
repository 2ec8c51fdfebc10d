#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>
#include <string>

#include "posix_ports.h"

namespace platform::posix {
namespace {

// Windows sharing is modelled with open-file-description locks on bytes far
// beyond any real data, one byte for "uses" and one for "denies" each kind of
// access. Every handle holds shared locks on the bytes that describe it, then
// looks for anyone's lock on the opposite byte: a user of an access meets
// those who deny it, and the reverse, while users meet users and deniers
// meet deniers without conflict, exactly the Windows rule. This works
// between handles of one process as between processes; two opens racing each
// other may both fail, never both succeed.
constexpr off_t kUsesRead = LLONG_MAX - 5;
constexpr off_t kDeniesRead = LLONG_MAX - 4;
constexpr off_t kUsesWrite = LLONG_MAX - 3;
constexpr off_t kDeniesWrite = LLONG_MAX - 2;
constexpr off_t kDeniesDelete = LLONG_MAX - 1;

struct flock byteLock(short type, off_t byte) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  return lock;
}

bool sharedLock(int fd, off_t byte) {
  struct flock lock = byteLock(F_RDLCK, byte);
  while (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// True when another handle holds a lock on `byte`.
bool othersHold(int fd, off_t byte) {
  struct flock lock = byteLock(F_WRLCK, byte);
  if (fcntl(fd, F_OFD_GETLK, &lock) != 0) return false;
  return lock.l_type != F_UNLCK;
}

// Takes the locks of a handle's access and share mode; false on a conflict.
bool lockSharing(int fd, std::uint32_t access, std::uint32_t share) {
  struct Mode {
    bool uses, denies;
    off_t usesByte, deniesByte;
  };
  const Mode modes[] = {
      {(access & kAccessRead) != 0, (share & kShareRead) == 0, kUsesRead, kDeniesRead},
      {(access & kAccessWrite) != 0, (share & kShareWrite) == 0, kUsesWrite, kDeniesWrite},
  };
  for (const Mode& m : modes) {
    if (m.uses && !sharedLock(fd, m.usesByte)) return false;
    if (m.denies && !sharedLock(fd, m.deniesByte)) return false;
  }
  if ((share & kShareDelete) == 0 && !sharedLock(fd, kDeniesDelete)) return false;
  for (const Mode& m : modes) {
    if ((m.uses && othersHold(fd, m.deniesByte)) || (m.denies && othersHold(fd, m.usesByte))) {
      errno = EAGAIN;
      return false;
    }
  }
  return true;
}

// Refuses to delete or move a file that an open handle does not let go.
ErrorCode checkDeletable(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  // A file we may not open is judged by the unlink or rename itself.
  if (fd < 0) return ERROR_SUCCESS;
  const bool held = othersHold(fd, kDeniesDelete);
  ::close(fd);
  return held ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}

std::string parentFolder(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// ENOENT means a missing file when the folder is there, else a missing path.
ErrorCode notFound(const std::string& path) {
  struct stat info;
  const std::string folder = parentFolder(path);
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return ERROR_PATH_NOT_FOUND;
  return ERROR_FILE_NOT_FOUND;
}

ErrorCode errorFor(int error, const std::string& path) {
  return error == ENOENT ? notFound(path) : win32FromErrno(error);
}

ErrorCode syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return win32FromErrno(errno);
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  // Some file systems cannot sync a folder; the rename has still happened.
  if (result != 0 && error != EINVAL && error != EROFS) return win32FromErrno(error);
  return ERROR_SUCCESS;
}

class PosixFile final : public File {
 public:
  PosixFile(int fd, std::uint32_t access) : fd_(fd), access_(access) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  ErrorCode read(void* buffer, std::uint32_t size, std::uint32_t* got) override {
    if (got != nullptr) *got = 0;
    if ((access_ & kAccessRead) == 0) return ERROR_ACCESS_DENIED;
    std::uint32_t total = 0;
    // Files give short reads only at the end; pipes and the like may give
    // them anywhere, so keep reading until the request is met or at the end.
    while (total < size) {
      const ssize_t n = ::read(fd_, static_cast<char*>(buffer) + total, size - total);
      if (n < 0) {
        if (errno == EINTR) continue;
        return win32FromErrno(errno);
      }
      if (n == 0) break;
      total += static_cast<std::uint32_t>(n);
    }
    if (got != nullptr) *got = total;
    return ERROR_SUCCESS;
  }

  ErrorCode write(const void* data, std::uint32_t size) override {
    if ((access_ & kAccessWrite) == 0) return ERROR_ACCESS_DENIED;
    std::uint32_t done = 0;
    while (done < size) {
      const ssize_t n = ::write(fd_, static_cast<const char*>(data) + done, size - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return win32FromErrno(errno);
      }
      done += static_cast<std::uint32_t>(n);
    }
    return ERROR_SUCCESS;
  }

  ErrorCode seek(std::int64_t offset, SeekOrigin origin, std::uint64_t* position) override {
    const int whence = origin == SeekOrigin::Begin     ? SEEK_SET
                       : origin == SeekOrigin::Current ? SEEK_CUR
                                                       : SEEK_END;
    if (offset < 0) {
      // Windows refuses a position before the start with its own code, and
      // leaves the position where it was.
      off_t base = 0;
      if (whence == SEEK_CUR) {
        base = ::lseek(fd_, 0, SEEK_CUR);
      } else if (whence == SEEK_END) {
        struct stat info;
        base = ::fstat(fd_, &info) == 0 ? info.st_size : -1;
      }
      if (base < 0) return win32FromErrno(errno);
      if (base + offset < 0) return ERROR_NEGATIVE_SEEK;
    }
    const off_t result = ::lseek(fd_, offset, whence);
    if (result < 0) return win32FromErrno(errno);
    if (position != nullptr) *position = static_cast<std::uint64_t>(result);
    return ERROR_SUCCESS;
  }

  ErrorCode size(std::uint64_t* size) override {
    struct stat info;
    if (::fstat(fd_, &info) != 0) return win32FromErrno(errno);
    *size = static_cast<std::uint64_t>(info.st_size);
    return ERROR_SUCCESS;
  }

  ErrorCode flush() override { return ::fsync(fd_) == 0 ? ERROR_SUCCESS : win32FromErrno(errno); }

 private:
  int fd_;
  std::uint32_t access_;
};

}  // namespace

ErrorCode PosixFiles::open(std::string_view pathView, const FileOpenOptions& options,
                           std::unique_ptr<File>& out) {
  const std::string path(pathView);
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  const bool reading = (options.access & kAccessRead) != 0;
  const bool writing = (options.access & kAccessWrite) != 0;
  if (options.disposition == FileDisposition::TruncateExisting && !writing) {
    return ERROR_INVALID_PARAMETER;
  }
  // A writer opens for reading too, because the sharing locks need a
  // readable descriptor; the handle itself still refuses reads.
  int flags = O_CLOEXEC | (writing ? O_RDWR : O_RDONLY);
  switch (options.disposition) {
    case FileDisposition::CreateNew:
      flags |= O_CREAT | O_EXCL;
      break;
    case FileDisposition::CreateAlways:
    case FileDisposition::OpenAlways:
      flags |= O_CREAT;
      break;
    case FileDisposition::OpenExisting:
    case FileDisposition::TruncateExisting:
      break;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  bool lockable = true;
  if (fd < 0 && errno == EACCES && writing && !reading) {
    // A file we may write but not read: it opens, without sharing rules.
    fd = ::open(path.c_str(), (flags & ~O_RDWR) | O_WRONLY, 0666);
    lockable = false;
  }
  if (fd < 0) return errorFor(errno, path);

  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    return ERROR_ACCESS_DENIED;
  }
  // The sharing check comes before truncation, so a refused open leaves the
  // other handle's data alone.
  if (lockable && !lockSharing(fd, options.access, options.share)) {
    const int error = errno;
    ::close(fd);
    return (error == EAGAIN || error == EACCES) ? ERROR_SHARING_VIOLATION : win32FromErrno(error);
  }
  if ((options.disposition == FileDisposition::CreateAlways ||
       options.disposition == FileDisposition::TruncateExisting) &&
      ::ftruncate(fd, 0) != 0) {
    const int error = errno;
    ::close(fd);
    return win32FromErrno(error);
  }
  if (options.sequentialScan) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  out = std::make_unique<PosixFile>(fd, options.access);
  return ERROR_SUCCESS;
}

ErrorCode PosixFiles::remove(std::string_view pathView) {
  const std::string path(pathView);
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return errorFor(errno, path);
  if (S_ISDIR(info.st_mode)) return ERROR_ACCESS_DENIED;
  if (const ErrorCode code = checkDeletable(path); code != ERROR_SUCCESS) return code;
  if (::unlink(path.c_str()) != 0) return errorFor(errno, path);
  return ERROR_SUCCESS;
}

ErrorCode PosixFiles::createTemporaryFile(std::string_view folder, std::string_view prefix,
                                          std::string* path) {
  std::string base(folder.empty() ? std::string_view(".") : folder);
  if (base.back() != '/') base.push_back('/');
  base.append(prefix);
  // Like GetTempFileName: a 16-bit number, tried upwards from a random start
  // until a name is free.
  static thread_local std::minstd_rand random{std::random_device{}()};
  unsigned unique = random() % 0xFFFF + 1;
  for (unsigned attempt = 0; attempt < 0xFFFF; ++attempt) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", unique);
    std::string candidate = base;
    candidate.append(hex).append(".tmp");
    const int fd = ::open(candidate.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      *path = std::move(candidate);
      return ERROR_SUCCESS;
    }
    if (errno != EEXIST) return errorFor(errno, candidate);
    unique = unique == 0xFFFF ? 1 : unique + 1;
  }
  return ERROR_FILE_EXISTS;
}

ErrorCode PosixFiles::replace(std::string_view fromView, std::string_view toView) {
  const std::string from(fromView), to(toView);
  struct stat source;
  if (::stat(from.c_str(), &source) != 0) return errorFor(errno, from);
  if (S_ISDIR(source.st_mode)) return ERROR_ACCESS_DENIED;
  if (const ErrorCode code = checkDeletable(from); code != ERROR_SUCCESS) return code;
  struct stat target;
  const bool replacing = ::stat(to.c_str(), &target) == 0;
  if (replacing) {
    if (S_ISDIR(target.st_mode)) return ERROR_ACCESS_DENIED;
    // Windows will not move over a file someone holds open without letting
    // it be deleted.
    if (checkDeletable(to) != ERROR_SUCCESS) return ERROR_ACCESS_DENIED;
  }

  const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errorFor(errno, from);
  int result = replacing ? ::fchmod(fd, target.st_mode & 07777) : 0;
  if (result == 0) result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (result != 0) return win32FromErrno(error);

  if (::rename(from.c_str(), to.c_str()) != 0) return errorFor(errno, to);
  return syncFolder(parentFolder(to));
}

}  // namespace platform::posix
