// Code pages: the ANSI and OEM code pages and conversions to and from UTF-16.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace platform {

class CodePages {
 public:
  virtual ~CodePages() = default;

  // The system's ANSI and OEM code pages (65001 where the locale is UTF-8).
  virtual std::uint32_t ansiCodePage() = 0;
  virtual std::uint32_t oemCodePage() = 0;

  virtual bool isSupported(std::uint32_t codePage) = 0;

  // Converts text in `codePage` (CP_ACP, CP_OEMCP and CP_THREAD_ACP resolve to
  // the system's pages) to UTF-16. Bytes that the code page does not define
  // become U+FFFD. Returns 0 or ERROR_INVALID_PARAMETER for an unknown page.
  virtual ErrorCode toUtf16(std::uint32_t codePage, std::string_view text, std::u16string* out) = 0;

  // Converts UTF-16 to `codePage`. Characters the code page lacks become its
  // default character ('?'), and `*usedDefault` (when given) says whether that
  // happened. Unpaired surrogates count as characters the page lacks.
  virtual ErrorCode fromUtf16(std::uint32_t codePage, std::u16string_view text, std::string* out,
                              bool* usedDefault = nullptr) = 0;
};

}  // namespace platform
