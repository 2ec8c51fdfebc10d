#include "text_conversion.h"

#include <cstdint>
#include <cstring>

#include "platform/system.h"

namespace xmlfacility {
namespace {

bool convert(std::uint32_t from, std::uint32_t to, std::string_view text, std::string& scratch,
             std::string_view& out) {
  if (isAscii(text)) {
    out = text;
    return true;
  }
  platform::CodePages& codePages = platform::system().codePages;
  std::u16string wide;
  scratch.clear();
  if (codePages.toUtf16(from, text, &wide) != platform::ERROR_SUCCESS ||
      codePages.fromUtf16(to, wide, &scratch) != platform::ERROR_SUCCESS) {
    return false;
  }
  out = scratch;
  return true;
}

}  // namespace

bool isAscii(std::string_view text) {
  const char* p = text.data();
  std::size_t left = text.size();
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  while (left >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof(word));
    if ((word & kHighBits) != 0) return false;
    p += 8;
    left -= 8;
  }
  for (; left > 0; --left, ++p) {
    if ((static_cast<unsigned char>(*p) & 0x80u) != 0) return false;
  }
  return true;
}

bool ansiToUtf8(std::string_view text, std::string& scratch, std::string_view& out) {
  return convert(platform::CP_ACP, platform::CP_UTF8, text, scratch, out);
}

bool utf8ToAnsi(std::string_view text, std::string& scratch, std::string_view& out) {
  return convert(platform::CP_UTF8, platform::CP_ACP, text, scratch, out);
}

}  // namespace xmlfacility
