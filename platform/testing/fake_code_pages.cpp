#include "platform/testing/fake_code_pages.h"

#include "code_page_1252.h"
#include "utf.h"

namespace platform::testing {

std::uint32_t FakeCodePages::resolve(std::uint32_t codePage) const {
  if (codePage == CP_ACP || codePage == CP_THREAD_ACP) return ansi;
  if (codePage == CP_OEMCP) return oem;
  return codePage;
}

bool FakeCodePages::isSupported(std::uint32_t codePage) {
  const std::uint32_t page = resolve(codePage);
  return page == CP_UTF8 || page == 1252;
}

ErrorCode FakeCodePages::toUtf16(std::uint32_t codePage, std::string_view text,
                                 std::u16string* out) {
  const std::uint32_t page = resolve(codePage);
  if (page == CP_UTF8) {
    detail::utf8ToUtf16(text, *out);
  } else if (page == 1252) {
    detail::cp1252ToUtf16(text, *out);
  } else {
    return ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

ErrorCode FakeCodePages::fromUtf16(std::uint32_t codePage, std::u16string_view text,
                                   std::string* out, bool* usedDefault) {
  const std::uint32_t page = resolve(codePage);
  bool replaced = false;
  if (page == CP_UTF8) {
    replaced = detail::utf16ToUtf8(text, *out);
  } else if (page == 1252) {
    replaced = detail::utf16ToCp1252(text, *out);
  } else {
    return ERROR_INVALID_PARAMETER;
  }
  if (usedDefault != nullptr) *usedDefault = replaced;
  return ERROR_SUCCESS;
}

}  // namespace platform::testing
