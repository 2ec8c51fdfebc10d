#include "code_page_1252.h"

#include <cstdint>

namespace platform::detail {
namespace {

// Bytes 0x80-0x9F; the rest of the page equals Latin-1. The five bytes the
// page leaves open map to the C1 controls of the same number, as Windows does.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

void cp1252ToUtf16(std::string_view text, std::u16string& out) {
  out.clear();
  for (char c : text) {
    const auto byte = static_cast<std::uint8_t>(c);
    out.push_back(byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : char16_t{byte});
  }
}

bool utf16ToCp1252(std::u16string_view text, std::string& out) {
  out.clear();
  bool usedDefault = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    int byte = -1;
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      byte = c;
    } else {
      for (int k = 0; k < 32; ++k) {
        if (kHigh[k] == c) byte = 0x80 + k;
      }
    }
    if (byte < 0) {
      usedDefault = true;
      out.push_back('?');
      // A surrogate pair is one character and so one '?'.
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
          text[i + 1] <= 0xDFFF) {
        ++i;
      }
    } else {
      out.push_back(static_cast<char>(byte));
    }
  }
  return usedDefault;
}

}  // namespace platform::detail
