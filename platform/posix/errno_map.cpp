#include <cerrno>

#include "posix_ports.h"

namespace platform::posix {

ErrorCode win32FromErrno(int error) {
  struct Entry {
    int error;
    ErrorCode code;
  };
  static constexpr Entry kTable[] = {
      {0, ERROR_SUCCESS},
      {ENOENT, ERROR_FILE_NOT_FOUND},
      {ENOTDIR, ERROR_PATH_NOT_FOUND},
      {ELOOP, ERROR_PATH_NOT_FOUND},
      {EACCES, ERROR_ACCESS_DENIED},
      {EPERM, ERROR_ACCESS_DENIED},
      {EISDIR, ERROR_ACCESS_DENIED},
      {EROFS, ERROR_WRITE_PROTECT},
      {EEXIST, ERROR_FILE_EXISTS},
      {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
      {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
      {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
      {ENOSPC, ERROR_DISK_FULL},
      {EDQUOT, ERROR_DISK_FULL},
      {EFBIG, ERROR_FILE_TOO_LARGE},
      {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
      {EINVAL, ERROR_INVALID_PARAMETER},
      {EBADF, ERROR_INVALID_HANDLE},
      {EXDEV, ERROR_NOT_SAME_DEVICE},
      {EBUSY, ERROR_BUSY},
      {ETXTBSY, ERROR_SHARING_VIOLATION},
      {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
      {ESPIPE, ERROR_SEEK},
      {EPIPE, ERROR_BROKEN_PIPE},
      {EIO, ERROR_GEN_FAILURE},
      {ENOSYS, ERROR_CALL_NOT_IMPLEMENTED},
      {ENOTSUP, ERROR_NOT_SUPPORTED},
      {ENOEXEC, ERROR_BAD_EXE_FORMAT},
      {E2BIG, ERROR_BAD_LENGTH},
      {ETIMEDOUT, ERROR_TIMEOUT},
      {ECANCELED, ERROR_CANCELLED},
      {EILSEQ, ERROR_NO_UNICODE_TRANSLATION},
  };
  for (const Entry& e : kTable) {
    if (e.error == error) return e.code;
  }
  return ERROR_GEN_FAILURE;
}

}  // namespace platform::posix
