#include "utf.h"

#include <cstdint>

namespace platform::detail {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

void appendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void appendUtf16(char32_t c, std::u16string& out) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

template <typename Units>
bool utf16UnitsToUtf8(std::size_t count, Units unitAt, std::string& out) {
  bool invalid = false;
  for (std::size_t i = 0; i < count; ++i) {
    char32_t c = unitAt(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && unitAt(i + 1) >= 0xDC00 &&
        unitAt(i + 1) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
      invalid = true;
    }
    appendUtf8(c, out);
  }
  return invalid;
}

}  // namespace

bool utf8ToUtf16(std::string_view text, std::u16string& out) {
  out.clear();
  bool invalid = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    std::size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, c = lead & 0x07, minimum = 0x10000;
    }
    // A broken sequence costs one U+FFFD and resumes at the first byte that
    // cannot continue it, so the text after it survives.
    std::size_t taken = 1;
    bool ok = length != 0;
    while (ok && taken < length) {
      if (i + taken >= text.size()) {
        ok = false;
        break;
      }
      const auto next = static_cast<std::uint8_t>(text[i + taken]);
      if ((next & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (next & 0x3F);
      ++taken;
    }
    if (ok && (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
    if (ok) {
      appendUtf16(c, out);
    } else {
      out.push_back(kReplacement);
      invalid = true;
    }
    i += taken;
  }
  return invalid;
}

bool utf16ToUtf8(std::u16string_view text, std::string& out) {
  out.clear();
  return utf16UnitsToUtf8(
      text.size(), [&](std::size_t i) { return char32_t{text[i]}; }, out);
}

bool utf16leBytesToUtf8(std::string_view bytes, std::string& out) {
  out.clear();
  const bool invalid = utf16UnitsToUtf8(
      bytes.size() / 2,
      [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                     (static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8));
      },
      out);
  if (bytes.size() % 2 != 0) {
    appendUtf8(kReplacement, out);
    return true;
  }
  return invalid;
}

}  // namespace platform::detail
