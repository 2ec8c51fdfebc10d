#include "font_name.h"

#include <algorithm>

#include "sfnt/directory.h"
#include "sfnt/reader.h"

namespace passes {

namespace {

constexpr std::uint16_t kWindowsPlatform = 3;
constexpr std::uint16_t kUsEnglish = 0x0409;
constexpr std::uint16_t kFullName = 4;
constexpr std::size_t kNameRecordSize = 12;

}  // namespace

std::optional<std::string> recordNameOf(spool::Bytes font, platform::CodePages& codePages) {
  auto directory = sfnt::Directory::parse(font);
  if (!directory) return std::nullopt;
  auto table = directory->table(sfnt::makeTag("name"));
  if (!table) return std::nullopt;

  sfnt::Reader header(*table);
  std::uint16_t format = 0, count = 0, stringOffset = 0;
  if (!header.u16(format) || !header.u16(count) || !header.u16(stringOffset)) return std::nullopt;
  for (std::uint16_t i = 0; i < count; ++i) {
    sfnt::Reader record(*table, 6 + kNameRecordSize * i);
    std::uint16_t platformId = 0, encodingId = 0, languageId = 0, nameId = 0, length = 0,
                  offset = 0;
    if (!record.u16(platformId) || !record.u16(encodingId) || !record.u16(languageId) ||
        !record.u16(nameId) || !record.u16(length) || !record.u16(offset)) {
      return std::nullopt;
    }
    if (platformId != kWindowsPlatform || languageId != kUsEnglish || nameId != kFullName) continue;

    // The first such record decides, as a reader of the font would take it.
    auto text = sfnt::slice(*table, std::size_t{stringOffset} + offset, length);
    if (!text || length == 0 || length % 2 != 0 || length / 2 > kMaxNameUnits) return std::nullopt;
    std::u16string units(length / 2, u'\0');
    for (std::size_t k = 0; k < units.size(); ++k) {
      units[k] = static_cast<char16_t>(((*text)[2 * k] << 8) | (*text)[2 * k + 1]);
    }
    if (units.find(u'\0') != std::u16string::npos) return std::nullopt;
    std::string ansi;
    bool usedDefault = false;
    if (codePages.fromUtf16(platform::CP_ACP, units, &ansi, &usedDefault) != 0 || usedDefault ||
        ansi.empty() || ansi.size() + 1 > kMaxNameBytes ||
        std::find(ansi.begin(), ansi.end(), '\0') != ansi.end()) {
      return std::nullopt;
    }
    return ansi;
  }
  return std::nullopt;
}

}  // namespace passes
