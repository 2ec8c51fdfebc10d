// ASCII text without NUL, control characters included, written by the writer
// as element text and as an attribute value and parsed back by the Expat
// loader, must come back as it went out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "fuzz_system.h"
#include "xmlfacility/xml_loader.h"
#include "xmlfacility/xml_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  useFakeSystem();
  std::string value;
  for (std::size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i] & 0x7F);
    if (c != '\0') value += c;
  }

  std::ostringstream out;
  auto writer = createXmlWriter(out, XmlParserExpat);
  writer->startDocument();
  writer->addAttribute("v", value.c_str());
  writer->startElement("e");
  writer->characters(value.c_str());
  writer->endElement("e");
  writer->endDocument();

  XmlTreeElement root;
  if (parseXmlText(out.str().c_str(), &root, XmlParserExpat) != XmlLoadParsed) std::abort();
  const XmlTreeElement* element = root.findPath("e");
  if (element == nullptr) std::abort();

  // Text made only of blanks is dropped when its element ends.
  const bool blank = value.find_first_not_of(" \t\r\n") == std::string::npos;
  std::uint32_t length = 0;
  const char* text = element->getText(&length);
  if (std::string(text, length) != (blank ? std::string() : value)) std::abort();

  // In an attribute, control characters other than tab, LF and CR cannot be
  // carried and are written as '?'.
  std::string attribute = value;
  for (char& c : attribute) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') c = '?';
  }
  const std::string* stored = element->findAttribute("v");
  if (stored == nullptr || *stored != attribute) std::abort();
  return 0;
}
