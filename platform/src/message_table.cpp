#include "message_table.h"

namespace platform::detail {

// Written for the people who see them: in a box, on an error page, in a log.
#define VARDO_OWN_MESSAGES(X)                                                                   \
  X(ERROR_SUCCESS, "The operation succeeded.")                                                  \
  X(ERROR_INVALID_FUNCTION, "The function is not valid here.")                                  \
  X(ERROR_FILE_NOT_FOUND, "The file could not be found.")                                       \
  X(ERROR_PATH_NOT_FOUND, "The folder could not be found.")                                     \
  X(ERROR_TOO_MANY_OPEN_FILES, "Too many files are open.")                                      \
  X(ERROR_ACCESS_DENIED, "Access was denied.")                                                  \
  X(ERROR_INVALID_HANDLE, "The handle is not valid.")                                           \
  X(ERROR_NOT_ENOUGH_MEMORY, "There is not enough memory for this operation.")                  \
  X(ERROR_INVALID_DATA, "The data is not valid.")                                               \
  X(ERROR_OUTOFMEMORY, "The system ran out of memory.")                                         \
  X(ERROR_NOT_SAME_DEVICE, "The file cannot be moved to another drive or file system.")         \
  X(ERROR_WRITE_PROTECT, "The medium is write-protected.")                                      \
  X(ERROR_BAD_COMMAND, "The device does not know the command.")                                 \
  X(ERROR_BAD_LENGTH, "A length given to the system is wrong.")                                 \
  X(ERROR_SEEK, "The position in the file could not be set.")                                   \
  X(ERROR_WRITE_FAULT, "Writing to the device failed.")                                         \
  X(ERROR_READ_FAULT, "Reading from the device failed.")                                        \
  X(ERROR_GEN_FAILURE, "The device is not working.")                                            \
  X(ERROR_SHARING_VIOLATION, "The file is in use by another program.")                          \
  X(ERROR_LOCK_VIOLATION, "Part of the file is locked by another program.")                     \
  X(ERROR_HANDLE_EOF, "The end of the file was reached.")                                       \
  X(ERROR_HANDLE_DISK_FULL, "The disk is full.")                                                \
  X(ERROR_NOT_SUPPORTED, "This request is not supported.")                                      \
  X(ERROR_FILE_EXISTS, "The file already exists.")                                              \
  X(ERROR_INVALID_PARAMETER, "A parameter is not valid.")                                       \
  X(ERROR_BROKEN_PIPE, "The other end of the pipe has closed.")                                 \
  X(ERROR_OPEN_FAILED, "The file or device could not be opened.")                               \
  X(ERROR_BUFFER_OVERFLOW, "The file name is too long.")                                        \
  X(ERROR_DISK_FULL, "There is not enough space on the disk.")                                  \
  X(ERROR_CALL_NOT_IMPLEMENTED, "This function is not available on this system.")               \
  X(ERROR_INSUFFICIENT_BUFFER, "The buffer is too small for the data.")                         \
  X(ERROR_INVALID_NAME, "The file name, folder name or volume label is not valid.")             \
  X(ERROR_MOD_NOT_FOUND, "The library could not be found.")                                     \
  X(ERROR_PROC_NOT_FOUND, "The library does not provide the requested function.")               \
  X(ERROR_NEGATIVE_SEEK, "The position would lie before the start of the file.")                \
  X(ERROR_DIR_NOT_EMPTY, "The folder is not empty.")                                            \
  X(ERROR_BAD_ARGUMENTS, "The arguments are not valid.")                                        \
  X(ERROR_BAD_PATHNAME, "The path is not valid.")                                               \
  X(ERROR_BUSY, "The resource is busy.")                                                        \
  X(ERROR_ALREADY_EXISTS, "It already exists.")                                                 \
  X(ERROR_BAD_EXE_FORMAT, "The file is not a program or library this system can load.")         \
  X(ERROR_ENVVAR_NOT_FOUND, "The environment variable is not set.")                             \
  X(ERROR_FILENAME_EXCED_RANGE, "The file name or path is too long.")                           \
  X(ERROR_FILE_TOO_LARGE, "The file is too large.")                                             \
  X(ERROR_MORE_DATA, "More data is available than the buffer holds.")                           \
  X(ERROR_NO_MORE_ITEMS, "There are no more items.")                                            \
  X(ERROR_NO_UNICODE_TRANSLATION, "The text has characters that cannot be converted.")          \
  X(ERROR_DLL_INIT_FAILED, "The library failed to start.")                                      \
  X(ERROR_CANCELLED, "The operation was cancelled by the user.")                                \
  X(ERROR_TIMEOUT, "The operation took too long and was stopped.")                              \
  X(ERROR_FUNCTION_FAILED, "The function failed while running.")                                \
  X(ERROR_INTERNET_TIMEOUT, "The server took too long to answer.")                              \
  X(ERROR_INTERNET_INTERNAL_ERROR, "The internet connection failed inside this program.")       \
  X(ERROR_INTERNET_INVALID_URL, "The address is not valid.")                                    \
  X(ERROR_INTERNET_UNRECOGNIZED_SCHEME, "The address uses a protocol this program cannot use.") \
  X(ERROR_INTERNET_NAME_NOT_RESOLVED, "The server name could not be found.")                    \
  X(ERROR_INTERNET_INCORRECT_PASSWORD, "The server did not accept the user name or password.")  \
  X(ERROR_INTERNET_OPERATION_CANCELLED, "The connection was cancelled.")                        \
  X(ERROR_INTERNET_INCORRECT_HANDLE_TYPE, "The connection handle is of the wrong kind.")        \
  X(ERROR_INTERNET_CANNOT_CONNECT, "No connection to the server could be made.")                \
  X(ERROR_INTERNET_CONNECTION_ABORTED, "The connection to the server was broken off.")          \
  X(ERROR_INTERNET_CONNECTION_RESET, "The server reset the connection.")                        \
  X(ERROR_INTERNET_FORCE_RETRY, "The request has to be sent again.")                            \
  X(ERROR_INTERNET_SEC_CERT_DATE_INVALID,                                                       \
    "The server's certificate has expired or is not yet valid.")                                \
  X(ERROR_INTERNET_SEC_CERT_CN_INVALID, "The server's certificate is for a different name.")    \
  X(ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR, "The server redirected to a secure address.")        \
  X(ERROR_INTERNET_POST_IS_NON_SECURE,                                                          \
    "The data would be sent over a connection that is not secure.")                             \
  X(ERROR_INTERNET_SEC_CERT_ERRORS, "The server's certificate has errors.")                     \
  X(ERROR_INTERNET_INVALID_CA,                                                                  \
    "The server's certificate comes from an authority that is not trusted.")                    \
  X(ERROR_INTERNET_SEC_CERT_NO_REV,                                                             \
    "Whether the server's certificate was revoked could not be checked.")                       \
  X(ERROR_INTERNET_SEC_CERT_REVOKED, "The server's certificate has been revoked.")              \
  X(ERROR_HTTP_INVALID_SERVER_RESPONSE, "The server's answer could not be understood.")         \
  X(E_NOTIMPL, "This function is not implemented.")                                             \
  X(E_NOINTERFACE, "The object does not offer the requested interface.")                        \
  X(E_POINTER, "A pointer is not valid.")                                                       \
  X(E_FAIL, "The operation failed.")                                                            \
  X(E_OUTOFMEMORY, "Memory ran out.")                                                           \
  X(E_INVALIDARG, "An argument is not valid.")

std::optional<std::string_view> ownMessage(ErrorCode code) {
  // An HRESULT that only wraps a Win32 code reads as that code.
  if ((code & 0xFFFF0000u) == 0x80070000u && code != E_OUTOFMEMORY && code != E_INVALIDARG) {
    return ownMessage(code & 0xFFFFu);
  }
  switch (code) {
#define VARDO_MESSAGE_CASE(code, text) \
  case code:                           \
    return text;
    VARDO_OWN_MESSAGES(VARDO_MESSAGE_CASE)
#undef VARDO_MESSAGE_CASE
    default:
      return std::nullopt;
  }
}

void forEachOwnMessage(void (*visit)(ErrorCode code, std::string_view text, void* context),
                       void* context) {
#define VARDO_MESSAGE_VISIT(code, text) visit(code, text, context);
  VARDO_OWN_MESSAGES(VARDO_MESSAGE_VISIT)
#undef VARDO_MESSAGE_VISIT
}

}  // namespace platform::detail
