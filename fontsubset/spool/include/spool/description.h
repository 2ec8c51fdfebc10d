// Making printer meta files: a builder for record streams and the reader of
// the small text descriptions that `pmftool build` and our tests use, so that
// fixtures are written as text rather than kept as binaries. The language is
// documented in description.cpp and tools/pmftool/README.md.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "spool/header.h"
#include "spool/layouts.h"
#include "spool/le_bytes.h"

namespace spool {

struct TextSpec {
  std::string text;                  // single-byte characters: n = text.size()
  std::vector<std::uint16_t> codes;  // the g 16-bit codes after the string and items
  bool wide = false;                 // string units 2 bytes wide
  std::uint32_t items = 0;           // m 8-byte items (zeros)
};

struct FontSpec {
  std::uint8_t code = code::kFontFile;  // 29, 30 or 36
  std::string name;
  std::vector<std::uint8_t> data;
  std::vector<std::uint8_t> secondPart;
  std::uint32_t flags = kTrueTypeFont;  // not stored by code 29
  std::uint16_t codePage = kDefaultCodePage;
  std::uint32_t objectId = 0;  // code 36 only
};

class MetaFileBuilder {
 public:
  void documentStart();
  void documentEnd();
  void pageStart();
  void textRun(const TextSpec& text);
  void textObject(std::uint32_t id, const TextSpec& text);
  void fontFile(const FontSpec& font);
  void blob(std::uint32_t id, Bytes data, bool longForm = false);
  void pointList(std::uint32_t id, std::uint32_t value, std::uint32_t count);
  void group(std::uint32_t id, bool replayNow, const std::vector<GroupEntry>& entries);
  void replay(std::uint32_t id);
  void replayAt(std::uint32_t id, Offset offset);
  void deleteObject(std::uint32_t id);
  void marker(std::uint32_t kind, std::uint32_t value);
  void filler(std::size_t count = 1);
  // Any catalogue code: the fixed part filled with `fill`, the variable part
  // (for codes with a length field) as given, the length field set.
  bool record(std::uint8_t code, Bytes variable = {}, std::uint8_t fill = 0);
  // Bytes put into the record stream as they are.
  void raw(Bytes bytes);

  std::uint32_t pages() const { return pages_; }
  const std::vector<std::uint8_t>& stream() const { return stream_; }
  // The header's bytes, then the record stream: deflated when the header
  // says compressed = 1.
  std::vector<std::uint8_t> file(const MetaFileHeader& header) const;

 private:
  void put(std::uint8_t code, Bytes fixed, Bytes variable);
  std::vector<std::uint8_t> stream_;
  std::uint32_t pages_ = 0;
};

// Reads a font file named in a description; false with a message on failure.
using FontLoader = std::function<bool(const std::string& path, std::vector<std::uint8_t>& data,
                                      std::string& error)>;

struct DescriptionError {
  int line = 0;
  std::string message;
};

bool buildFromDescription(std::string_view text, const FontLoader& loadFont,
                          std::vector<std::uint8_t>& file, DescriptionError& error);

}  // namespace spool
