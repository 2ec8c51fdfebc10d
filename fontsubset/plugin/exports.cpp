// The plug-in's entry points. Each is a thin shell over the core with the
// system's own ports; no state survives a call.
#include <cstdint>

#include "plugin/shrink_document.h"

extern "C" {

// The UTF-16 entry points take 16-bit units on every system: char16_t here
// has the layout of the Windows wchar_t.
std::int32_t SubmitDocA(const char* /*unused*/, const char* path, std::int32_t /*unused*/,
                        std::int32_t /*unused*/) {
  return glypter::submitDocA(platform::system(), path);
}

std::int32_t SubmitDocW(const char16_t* /*unused*/, const char16_t* path, std::int32_t /*unused*/,
                        std::int32_t /*unused*/) {
  return glypter::submitDocW(platform::system(), path);
}

std::int32_t SubmitMultiDocA(const char* /*unused*/, const char* /*unused*/,
                             std::int32_t /*unused*/, std::int32_t /*unused*/) {
  return 0;
}

std::int32_t SubmitMultiDocW(const char16_t* /*unused*/, const char16_t* /*unused*/,
                             std::int32_t /*unused*/, std::int32_t /*unused*/) {
  return 0;
}
}
