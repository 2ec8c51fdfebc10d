#include "xmlfacility/xml_writer.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/errors.h"
#include "text_conversion.h"

namespace {

constexpr int kConversionFailed = static_cast<int>(platform::E_FAIL);

// Which bytes of character data need more than themselves.
constexpr std::array<bool, 256> makeSpecialBytes(bool lineFeedIsSpecial) {
  std::array<bool, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = true;
  table['\n'] = lineFeedIsSpecial;
  table['"'] = table['&'] = table['\''] = table['<'] = table['>'] = true;
  return table;
}

constexpr std::array<bool, 256> kSpecialInText = makeSpecialBytes(false);
constexpr std::array<bool, 256> kSpecialInAttribute = makeSpecialBytes(true);

std::string_view orEmpty(const char* text) { return text != nullptr ? text : std::string_view(); }

std::string_view entityFor(unsigned char c) {
  switch (c) {
    case '"':
      return "&quot;";
    case '&':
      return "&amp;";
    case '\'':
      return "&apos;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    default:
      return {};
  }
}

// Escapes UTF-8 text, copying the runs between special bytes in one piece.
// In element text a control byte becomes an element of the char namespace,
// which the facility's loaders turn back into the byte. In an attribute value
// an element cannot stand, so tab, LF and CR become character references
// (which any reader gives back unchanged) and the other control bytes, which
// XML cannot carry at all, become '?'.
void writeEscaped(std::ostream& stream, std::string_view text, bool inAttribute) {
  const std::array<bool, 256>& special = inAttribute ? kSpecialInAttribute : kSpecialInText;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // Long texts such as base64 chunks have no special byte at all: one test
    // for eight bytes instead of a branch for each.
    if (text.size() - i >= 8 &&
        !(special[bytes[i]] | special[bytes[i + 1]] | special[bytes[i + 2]] |
          special[bytes[i + 3]] | special[bytes[i + 4]] | special[bytes[i + 5]] |
          special[bytes[i + 6]] | special[bytes[i + 7]])) {
      i += 7;
      continue;
    }
    const auto c = bytes[i];
    if (!special[c]) continue;
    stream.write(text.data() + runStart, static_cast<std::streamsize>(i - runStart));
    runStart = i + 1;
    if (const std::string_view entity = entityFor(c); !entity.empty()) {
      stream.write(entity.data(), static_cast<std::streamsize>(entity.size()));
    } else if (!inAttribute) {
      char element[256];
      const int n =
          std::snprintf(element, sizeof(element), "<ascii%d xmlns=\"%s\" />", c, kXmlCharNamespace);
      stream.write(element, n);
    } else if (c == '\t' || c == '\n' || c == '\r') {
      char reference[8];
      const int n = std::snprintf(reference, sizeof(reference), "&#%d;", c);
      stream.write(reference, n);
    } else {
      stream.put('?');
    }
  }
  stream.write(text.data() + runStart, static_cast<std::streamsize>(text.size() - runStart));
}

void write(std::ostream& stream, std::string_view text) {
  stream.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace

int XmlWriter::writeEmptyElement(const char* name) {
  const int started = startElement(name);
  if (started != 0) {
    return started;
  }
  return endElement(name);
}

int XmlTextWriter::startDocument() {
  write(stream_, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>");
  return 0;
}

int XmlTextWriter::endDocument() {
  stream_.flush();
  return clearAttributes();
}

int XmlTextWriter::clearAttributes() {
  pending_.clear();
  return 0;
}

int XmlTextWriter::addAttribute(const char* name, const char* value) {
  pending_.emplace_back(orEmpty(name), orEmpty(value));
  return 0;
}

int XmlTextWriter::startElement(const char* name) {
  std::string nameScratch;
  std::string_view utf8Name;
  if (!xmlfacility::ansiToUtf8(orEmpty(name), nameScratch, utf8Name)) {
    return kConversionFailed;
  }
  // Everything is converted before the first byte goes out, so that a failed
  // conversion leaves no half-written tag behind.
  std::vector<std::string> scratch(pending_.size() * 2);
  std::vector<std::string_view> converted(pending_.size() * 2);
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    if (!xmlfacility::ansiToUtf8(pending_[i].first, scratch[2 * i], converted[2 * i]) ||
        !xmlfacility::ansiToUtf8(pending_[i].second, scratch[2 * i + 1], converted[2 * i + 1])) {
      return kConversionFailed;
    }
  }
  stream_.put('<');
  write(stream_, utf8Name);
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    stream_.put(' ');
    write(stream_, converted[2 * i]);
    write(stream_, "=\"");
    writeEscaped(stream_, converted[2 * i + 1], true);
    stream_.put('"');
  }
  stream_.put('>');
  return clearAttributes();
}

int XmlTextWriter::characters(const char* text) {
  std::string scratch;
  std::string_view utf8;
  if (!xmlfacility::ansiToUtf8(orEmpty(text), scratch, utf8)) {
    return kConversionFailed;
  }
  writeEscaped(stream_, utf8, false);
  return 0;
}

int XmlTextWriter::endElement(const char* name) {
  std::string scratch;
  std::string_view utf8;
  if (!xmlfacility::ansiToUtf8(orEmpty(name), scratch, utf8)) {
    return kConversionFailed;
  }
  write(stream_, "</");
  write(stream_, utf8);
  stream_.put('>');
  return 0;
}

std::unique_ptr<XmlWriter> createXmlWriter(std::ostream& stream, int kind) {
  if (kind != 0 && kind != 3) {
    return nullptr;
  }
  return std::make_unique<XmlTextWriter>(stream);
}
