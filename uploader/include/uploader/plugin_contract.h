// The entry points of a submit plug-in as Dravik binds them: 32-bit integer
// arguments and results, strings as pointers to terminated ANSI text.
#pragma once

#include <cstdint>

namespace uploader {

inline constexpr const char* kInitializeProcName = "InitializeA";
inline constexpr const char* kSubmitDocProcName = "SubmitDocA";
inline constexpr const char* kUninitializeProcName = "Uninitialize";

// Called with (0, 0); 0 refuses.
using InitializeAProc = std::int32_t (*)(std::int32_t, std::int32_t);
// Called with (null, document path, -1, 0); non-zero lets the upload go on.
using SubmitDocAProc = std::int32_t (*)(const char*, const char*, std::int32_t, std::int32_t);
// The result is not used.
using UninitializeProc = std::int32_t (*)();

}  // namespace uploader
