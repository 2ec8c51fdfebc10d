// pmftool subset FONT OUT (--text TEXT | --codes HEX[,HEX...]): runs the
// subsetter on a font file by hand and tells what it kept.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "platform/system.h"
#include "subset/subset.h"

namespace pmftool {
namespace {

int usage() {
  std::fputs("usage: pmftool subset FONT OUT (--text TEXT | --codes HEX[,HEX...])\n", stderr);
  return 2;
}

bool readFont(platform::Files& files, const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::unique_ptr<platform::File> file;
  if (files.open(path, platform::FileOpenOptions{}, file) != platform::ERROR_SUCCESS) return false;
  std::uint64_t size = 0;
  if (file->size(&size) != platform::ERROR_SUCCESS || size > 0xFFFFFFFFu) return false;
  bytes.resize(static_cast<std::size_t>(size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    std::uint32_t got = 0;
    const auto want = static_cast<std::uint32_t>(bytes.size() - done);
    if (file->read(bytes.data() + done, want, &got) != platform::ERROR_SUCCESS || got == 0) {
      return false;
    }
    done += got;
  }
  return true;
}

bool writeFont(platform::Files& files, const std::string& path,
               const std::vector<std::uint8_t>& bytes) {
  platform::FileOpenOptions options;
  options.access = platform::kAccessReadWrite;
  options.share = platform::kShareNone;
  options.disposition = platform::FileDisposition::CreateAlways;
  std::unique_ptr<platform::File> file;
  if (files.open(path, options, file) != platform::ERROR_SUCCESS) return false;
  return file->write(bytes.data(), static_cast<std::uint32_t>(bytes.size())) ==
             platform::ERROR_SUCCESS &&
         file->flush() == platform::ERROR_SUCCESS;
}

// "41,42,e9" or "U+41 0x42": hexadecimal UTF-16 code units.
bool parseCodes(const std::string& text, std::vector<std::uint16_t>& codes) {
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && (text[at] == ',' || text[at] == ' ')) ++at;
    if (at == text.size()) break;
    if (text.compare(at, 2, "U+") == 0 || text.compare(at, 2, "0x") == 0) at += 2;
    std::uint32_t value = 0;
    std::size_t digits = 0;
    for (; at < text.size() && text[at] != ',' && text[at] != ' '; ++at, ++digits) {
      const char c = text[at];
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0 || digits >= 4) return false;
      value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    if (digits == 0) return false;
    codes.push_back(static_cast<std::uint16_t>(value));
  }
  return !codes.empty();
}

// "0 3 36-38 72": ascending glyph ids with runs folded.
std::string glyphList(const std::vector<std::uint16_t>& glyphs) {
  std::string out;
  for (std::size_t i = 0; i < glyphs.size();) {
    std::size_t end = i;
    while (end + 1 < glyphs.size() && glyphs[end + 1] == glyphs[end] + 1) ++end;
    if (!out.empty()) out += ' ';
    out += std::to_string(glyphs[i]);
    if (end > i) out += '-' + std::to_string(glyphs[end]);
    i = end + 1;
  }
  return out;
}

}  // namespace

int runSubset(const Args& args) {
  std::vector<std::string> positional;
  const std::string* text = nullptr;
  const std::string* codeList = nullptr;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--text" || args[i] == "--codes") {
      if (i + 1 >= args.size() || text != nullptr || codeList != nullptr) return usage();
      (args[i] == "--text" ? text : codeList) = &args[i + 1];
      ++i;
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2 || (text == nullptr && codeList == nullptr)) return usage();
  const std::string& fontPath = positional[0];
  const std::string& outPath = positional[1];

  platform::System& system = platform::system();
  std::vector<std::uint16_t> codes;
  if (text != nullptr) {
    std::u16string units;
    if (system.codePages.toUtf16(platform::CP_UTF8, *text, &units) != platform::ERROR_SUCCESS) {
      std::fputs("pmftool subset: the text is not UTF-8\n", stderr);
      return 2;
    }
    codes.assign(units.begin(), units.end());
  } else if (!parseCodes(*codeList, codes)) {
    std::fprintf(stderr, "pmftool subset: '%s' is not a list of hexadecimal codes up to FFFF\n",
                 codeList->c_str());
    return 2;
  }

  std::vector<std::uint8_t> font;
  if (!readFont(system.files, fontPath, font)) {
    std::fprintf(stderr, "pmftool subset: cannot read %s\n", fontPath.c_str());
    return 1;
  }
  const subset::Result result = subset::subsetFont(font, codes);
  if (!result) {
    std::fprintf(stderr, "pmftool subset: no subset of %s: %s\n", fontPath.c_str(),
                 subset::refusalText(result.refusal));
    return 1;
  }
  const subset::Subset& made = *result.subset;
  if (!writeFont(system.files, outPath, made.font)) {
    std::fprintf(stderr, "pmftool subset: cannot write %s\n", outPath.c_str());
    return 1;
  }
  std::printf("%s: %zu bytes -> %s: %zu bytes (%.1f%%)\n", fontPath.c_str(), font.size(),
              outPath.c_str(), made.font.size(),
              font.empty() ? 0.0
                           : 100.0 * static_cast<double>(made.font.size()) /
                                 static_cast<double>(font.size()));
  std::printf("characters: %zu given, %zu mapped\n", codes.size(), made.characters.size());
  std::printf("glyphs kept: %zu of %u: %s\n", made.glyphs.size(), made.glyphCount,
              glyphList(made.glyphs).c_str());
  return 0;
}

}  // namespace pmftool
