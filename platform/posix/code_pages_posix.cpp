#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstring>

#include "posix_ports.h"
#include "utf.h"

namespace platform::posix {
namespace {

struct PageName {
  std::uint32_t codePage;
  const char* iconvName;
};

// Windows code pages and the names iconv knows them by.
constexpr PageName kPages[] = {
    {437, "CP437"},        {850, "CP850"},        {852, "CP852"},        {866, "CP866"},
    {874, "CP874"},        {932, "CP932"},        {936, "CP936"},        {949, "CP949"},
    {950, "CP950"},        {1250, "CP1250"},      {1251, "CP1251"},      {1252, "CP1252"},
    {1253, "CP1253"},      {1254, "CP1254"},      {1255, "CP1255"},      {1256, "CP1256"},
    {1257, "CP1257"},      {1258, "CP1258"},      {20127, "ASCII"},      {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"}, {28595, "ISO-8859-5"}, {28597, "ISO-8859-7"}, {28605, "ISO-8859-15"},
    {20866, "KOI8-R"},     {51932, "EUC-JP"},     {54936, "GB18030"},
};

const char* iconvName(std::uint32_t codePage) {
  for (const PageName& page : kPages) {
    if (page.codePage == codePage) return page.iconvName;
  }
  return nullptr;
}

class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(::iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) ::iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

// Converts one piece; returns how many input bytes were used. Stops at the
// first byte sequence the converter refuses or at an incomplete one.
std::size_t convert(iconv_t converter, const char* input, std::size_t size, std::string& out) {
  char* in = const_cast<char*>(input);
  std::size_t left = size;
  char buffer[1024];
  while (left > 0) {
    char* outPtr = buffer;
    std::size_t room = sizeof buffer;
    const std::size_t result = ::iconv(converter, &in, &left, &outPtr, &room);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) break;
  }
  return size - left;
}

}  // namespace

std::optional<std::uint32_t> codePageForCharset(std::string_view charset) {
  std::string name;
  for (char c : charset) {
    if (c != '-' && c != '_')
      name.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  if (name == "UTF8") return CP_UTF8;
  if (name == "ANSIX3.41968" || name == "ASCII" || name == "USASCII") return 20127;
  for (const PageName& page : kPages) {
    std::string known;
    for (const char* p = page.iconvName; *p != 0; ++p) {
      if (*p != '-' && *p != '_') known.push_back(*p);
    }
    if (known == name) return page.codePage;
  }
  if (name.rfind("WINDOWS", 0) == 0) return codePageForCharset("CP" + name.substr(7));
  if (name == "SJIS" || name == "SHIFTJIS") return 932;
  if (name == "GBK" || name == "GB2312") return 936;
  if (name == "EUCKR") return 949;
  if (name == "BIG5") return 950;
  return std::nullopt;
}

PosixCodePages::PosixCodePages(std::optional<std::uint32_t> ansi) {
  if (!ansi) {
    // The locale's character set as the environment sets it; the C locale's
    // is ASCII, which reads best as UTF-8 on a Linux machine.
    locale_t locale = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (locale != static_cast<locale_t>(0)) {
      const std::optional<std::uint32_t> page =
          codePageForCharset(::nl_langinfo_l(CODESET, locale));
      ::freelocale(locale);
      if (page && *page != 20127) ansi = page;
    }
  }
  ansi_ = ansi.value_or(CP_UTF8);
  oem_ = ansi_;
}

std::uint32_t PosixCodePages::resolve(std::uint32_t codePage) const {
  if (codePage == CP_ACP || codePage == CP_THREAD_ACP) return ansi_;
  if (codePage == CP_OEMCP) return oem_;
  return codePage;
}

bool PosixCodePages::isSupported(std::uint32_t codePage) {
  const std::uint32_t page = resolve(codePage);
  if (page == CP_UTF8) return true;
  const char* name = iconvName(page);
  return name != nullptr && Converter("UTF-16LE", name).ok();
}

ErrorCode PosixCodePages::toUtf16(std::uint32_t codePage, std::string_view text,
                                  std::u16string* out) {
  const std::uint32_t page = resolve(codePage);
  if (page == CP_UTF8) {
    detail::utf8ToUtf16(text, *out);
    return ERROR_SUCCESS;
  }
  const char* name = iconvName(page);
  if (name == nullptr) return ERROR_INVALID_PARAMETER;
  Converter converter("UTF-16LE", name);
  if (!converter.ok()) return ERROR_INVALID_PARAMETER;
  std::string bytes;
  std::size_t at = 0;
  while (at < text.size()) {
    at += convert(converter.get(), text.data() + at, text.size() - at, bytes);
    if (at < text.size()) {
      // A byte the page does not define stands for U+FFFD, and reading goes
      // on after it.
      bytes.append("\xFD\xFF", 2);
      ++at;
      ::iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    }
  }
  // Some pages hold back a character in case a combining mark follows.
  char tail[16];
  char* tailPtr = tail;
  std::size_t room = sizeof tail;
  ::iconv(converter.get(), nullptr, nullptr, &tailPtr, &room);
  bytes.append(tail, static_cast<std::size_t>(tailPtr - tail));
  out->clear();
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out->push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return ERROR_SUCCESS;
}

ErrorCode PosixCodePages::fromUtf16(std::uint32_t codePage, std::u16string_view text,
                                    std::string* out, bool* usedDefault) {
  const std::uint32_t page = resolve(codePage);
  bool replaced = false;
  if (page == CP_UTF8) {
    replaced = detail::utf16ToUtf8(text, *out);
  } else {
    const char* name = iconvName(page);
    if (name == nullptr) return ERROR_INVALID_PARAMETER;
    Converter converter(name, "UTF-16LE");
    if (!converter.ok()) return ERROR_INVALID_PARAMETER;
    out->clear();
    // One character at a time, so that a character the page lacks becomes
    // exactly one '?' and an unpaired surrogate counts as such a character.
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
      std::size_t units = 1;
      if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
          text[i + 1] <= 0xDFFF) {
        units = 2;
      }
      char input[4];
      for (std::size_t k = 0; k < units; ++k) {
        input[2 * k] = static_cast<char>(text[i + k] & 0xFF);
        input[2 * k + 1] = static_cast<char>(text[i + k] >> 8);
      }
      bytes.clear();
      const bool lone = units == 1 && text[i] >= 0xD800 && text[i] <= 0xDFFF;
      if (lone || convert(converter.get(), input, 2 * units, bytes) != 2 * units) {
        ::iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
        bytes = "?";
        replaced = true;
      }
      out->append(bytes);
      i += units - 1;
    }
    // Stateful pages end in their initial shift state.
    char* tail = nullptr;
    std::size_t none = 0;
    char buffer[16];
    char* outPtr = buffer;
    std::size_t room = sizeof buffer;
    ::iconv(converter.get(), &tail, &none, &outPtr, &room);
    out->append(buffer, static_cast<std::size_t>(outPtr - buffer));
  }
  if (usedDefault != nullptr) *usedDefault = replaced;
  return ERROR_SUCCESS;
}

}  // namespace platform::posix
