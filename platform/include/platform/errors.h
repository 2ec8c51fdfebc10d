// Error codes, message-box values and registry value types, numbered as on
// Windows on every operating system. Boxes, pages and logs show these numbers,
// so a failure reads the same whichever backend produced it.
//
// The Win32 backend must include <windows.h> after this header: the macros it
// defines then expand to the same values in the backend's own code.
#pragma once

#include <cstdint>

namespace platform {

using ErrorCode = std::uint32_t;

// Win32 error codes.
inline constexpr ErrorCode ERROR_SUCCESS = 0;
inline constexpr ErrorCode ERROR_INVALID_FUNCTION = 1;
inline constexpr ErrorCode ERROR_FILE_NOT_FOUND = 2;
inline constexpr ErrorCode ERROR_PATH_NOT_FOUND = 3;
inline constexpr ErrorCode ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr ErrorCode ERROR_ACCESS_DENIED = 5;
inline constexpr ErrorCode ERROR_INVALID_HANDLE = 6;
inline constexpr ErrorCode ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr ErrorCode ERROR_INVALID_DATA = 13;
inline constexpr ErrorCode ERROR_OUTOFMEMORY = 14;
inline constexpr ErrorCode ERROR_NOT_SAME_DEVICE = 17;
inline constexpr ErrorCode ERROR_WRITE_PROTECT = 19;
inline constexpr ErrorCode ERROR_BAD_COMMAND = 22;
inline constexpr ErrorCode ERROR_BAD_LENGTH = 24;
inline constexpr ErrorCode ERROR_SEEK = 25;
inline constexpr ErrorCode ERROR_WRITE_FAULT = 29;
inline constexpr ErrorCode ERROR_READ_FAULT = 30;
inline constexpr ErrorCode ERROR_GEN_FAILURE = 31;
inline constexpr ErrorCode ERROR_SHARING_VIOLATION = 32;
inline constexpr ErrorCode ERROR_LOCK_VIOLATION = 33;
inline constexpr ErrorCode ERROR_HANDLE_EOF = 38;
inline constexpr ErrorCode ERROR_HANDLE_DISK_FULL = 39;
inline constexpr ErrorCode ERROR_NOT_SUPPORTED = 50;
inline constexpr ErrorCode ERROR_FILE_EXISTS = 80;
inline constexpr ErrorCode ERROR_INVALID_PARAMETER = 87;
inline constexpr ErrorCode ERROR_BROKEN_PIPE = 109;
inline constexpr ErrorCode ERROR_OPEN_FAILED = 110;
inline constexpr ErrorCode ERROR_BUFFER_OVERFLOW = 111;
inline constexpr ErrorCode ERROR_DISK_FULL = 112;
inline constexpr ErrorCode ERROR_CALL_NOT_IMPLEMENTED = 120;
inline constexpr ErrorCode ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr ErrorCode ERROR_INVALID_NAME = 123;
inline constexpr ErrorCode ERROR_MOD_NOT_FOUND = 126;
inline constexpr ErrorCode ERROR_PROC_NOT_FOUND = 127;
inline constexpr ErrorCode ERROR_NEGATIVE_SEEK = 131;
inline constexpr ErrorCode ERROR_DIR_NOT_EMPTY = 145;
inline constexpr ErrorCode ERROR_BAD_ARGUMENTS = 160;
inline constexpr ErrorCode ERROR_BAD_PATHNAME = 161;
inline constexpr ErrorCode ERROR_BUSY = 170;
inline constexpr ErrorCode ERROR_ALREADY_EXISTS = 183;
inline constexpr ErrorCode ERROR_BAD_EXE_FORMAT = 193;
inline constexpr ErrorCode ERROR_ENVVAR_NOT_FOUND = 203;
inline constexpr ErrorCode ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr ErrorCode ERROR_FILE_TOO_LARGE = 223;
inline constexpr ErrorCode ERROR_MORE_DATA = 234;
inline constexpr ErrorCode ERROR_NO_MORE_ITEMS = 259;
inline constexpr ErrorCode ERROR_DLL_INIT_FAILED = 1114;
inline constexpr ErrorCode ERROR_NO_UNICODE_TRANSLATION = 1113;
inline constexpr ErrorCode ERROR_CANCELLED = 1223;
inline constexpr ErrorCode ERROR_TIMEOUT = 1460;
inline constexpr ErrorCode ERROR_FUNCTION_FAILED = 1627;

// WinINet codes (12000 + n).
inline constexpr ErrorCode ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr ErrorCode ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr ErrorCode ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr ErrorCode ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr ErrorCode ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr ErrorCode ERROR_INTERNET_INCORRECT_PASSWORD = 12014;
inline constexpr ErrorCode ERROR_INTERNET_OPERATION_CANCELLED = 12017;
inline constexpr ErrorCode ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
inline constexpr ErrorCode ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr ErrorCode ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr ErrorCode ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr ErrorCode ERROR_INTERNET_FORCE_RETRY = 12032;
inline constexpr ErrorCode ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
inline constexpr ErrorCode ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
inline constexpr ErrorCode ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR = 12039;
inline constexpr ErrorCode ERROR_INTERNET_POST_IS_NON_SECURE = 12043;
inline constexpr ErrorCode ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr ErrorCode ERROR_INTERNET_SEC_CERT_ERRORS = 12055;
inline constexpr ErrorCode ERROR_INTERNET_SEC_CERT_NO_REV = 12056;
inline constexpr ErrorCode ERROR_INTERNET_SEC_CERT_REVOKED = 12170;
inline constexpr ErrorCode ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;

// Status codes (HRESULT). Shown in hexadecimal because they are >= 0x80000000.
inline constexpr ErrorCode S_OK = 0;
inline constexpr ErrorCode S_FALSE = 1;
inline constexpr ErrorCode E_NOTIMPL = 0x80004001u;
inline constexpr ErrorCode E_NOINTERFACE = 0x80004002u;
inline constexpr ErrorCode E_POINTER = 0x80004003u;
inline constexpr ErrorCode E_FAIL = 0x80004005u;
inline constexpr ErrorCode E_OUTOFMEMORY = 0x8007000Eu;
inline constexpr ErrorCode E_INVALIDARG = 0x80070057u;

// Message-box styles and answers.
inline constexpr std::uint32_t MB_OK = 0x00000000u;
inline constexpr std::uint32_t MB_OKCANCEL = 0x00000001u;
inline constexpr std::uint32_t MB_ICONERROR = 0x00000010u;
inline constexpr std::uint32_t MB_ICONQUESTION = 0x00000020u;
inline constexpr std::uint32_t MB_ICONWARNING = 0x00000030u;
inline constexpr std::uint32_t MB_ICONINFORMATION = 0x00000040u;
inline constexpr std::uint32_t MB_TYPEMASK = 0x0000000Fu;
inline constexpr std::uint32_t MB_ICONMASK = 0x000000F0u;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Registry value types.
inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;
inline constexpr std::uint32_t REG_MULTI_SZ = 7;
inline constexpr std::uint32_t REG_QWORD = 11;

// Code pages with a fixed meaning.
inline constexpr std::uint32_t CP_ACP = 0;
inline constexpr std::uint32_t CP_OEMCP = 1;
inline constexpr std::uint32_t CP_THREAD_ACP = 3;
inline constexpr std::uint32_t CP_UTF8 = 65001;

// An HRESULT that carries a Win32 code, as HRESULT_FROM_WIN32 makes it.
constexpr ErrorCode hresultFromWin32(ErrorCode code) {
  return (code == 0 || (code & 0x80000000u) != 0) ? code : ((code & 0xFFFFu) | 0x80070000u);
}

}  // namespace platform
