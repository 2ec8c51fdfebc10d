#include "xmlfacility/xml_loader.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <streambuf>
#include <string_view>

#include "platform/system.h"
#include "tracing/trace.h"
#include "xmlfacility/expat_loader.h"
#include "xmlfacility/msxml_loaders.h"

namespace {

// Reads the caller's text in place.
class MemoryBuffer : public std::streambuf {
 public:
  explicit MemoryBuffer(std::string_view text) {
    char* begin = const_cast<char*>(text.data());
    setg(begin, begin, begin + text.size());
  }
};

void traceLoader(std::uint32_t levelWord, const char* text) {
  if (TraceIsEnabled(kTraceCategoryXml, levelWord)) {
    CTraceRecord record(kTraceCategoryXml, levelWord, text);
  }
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

int readParserPreference() {
  std::unique_ptr<platform::RegistryKey> key;
  if (platform::system().registry.openKey(platform::RegistryRoot::LocalMachine,
                                          "SOFTWARE\\KOVAL\\Vennel",
                                          key) != platform::ERROR_SUCCESS ||
      !key) {
    return XmlParserDefault;
  }
  char buffer[1024] = {};
  std::uint32_t type = 0;
  std::uint32_t size = sizeof(buffer);
  if (key->queryValue("PreferredXMLParser", &type, buffer, &size) != platform::ERROR_SUCCESS ||
      (type != platform::REG_SZ && type != platform::REG_EXPAND_SZ) || size == 0 ||
      size > sizeof(buffer) || buffer[size - 1] != '\0') {
    return XmlParserDefault;
  }
  const std::string_view name(buffer, std::strlen(buffer));
  if (equalsIgnoringCase(name, "expat")) return XmlParserExpat;
  if (equalsIgnoringCase(name, "msxmldom")) return XmlParserMsxmlDom;
  if (equalsIgnoringCase(name, "msxmlsax")) return XmlParserMsxmlSax;
  return XmlParserDefault;
}

int defaultParserKind() {
  const int preferred = readParserPreference();
  if (preferred != XmlParserDefault) {
    return preferred;
  }
  return isMsxmlSaxAvailable() ? XmlParserMsxmlSax : XmlParserExpat;
}

int loadXml(std::istream& stream, XmlElement* root, int kind) {
  if (kind == XmlParserDefault) {
    kind = defaultParserKind();
  }
  switch (kind) {
    case XmlParserMsxmlDom:
      if (isMsxmlDomAvailable()) {
        traceLoader(kTraceLevelInformation2, "Creating a MSDOM XML Loader");
        return MsxmlDomLoader().parseStream(stream, root);
      }
      [[fallthrough]];
    case XmlParserMsxmlSax:
      if (isMsxmlSaxAvailable()) {
        traceLoader(kTraceLevelInformation2, "Creating a MSSAXX XML Loader");
        return MsxmlSaxLoader().parseStream(stream, root);
      }
      [[fallthrough]];
    case XmlParserExpat:
      traceLoader(kTraceLevelInformation2, "Creating an Expat XML Loader");
      return ExpatLoader().parseStream(&stream, root);
    default:
      traceLoader(kTraceLevelError2, "No valid XML Parser can be instanciated");
      return XmlLoadNoLoader;
  }
}

int parseXmlText(const char* text, XmlElement* root, int kind) {
  MemoryBuffer buffer(text != nullptr ? std::string_view(text) : std::string_view());
  std::istream stream(&buffer);
  return loadXml(stream, root, kind);
}
