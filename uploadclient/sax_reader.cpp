#include "uploadclient/sax_reader.h"

#include <expat.h>

#include <memory>
#include <vector>

namespace uploadclient {
namespace {

// Separates namespace URI, local name and prefix in the names Expat reports.
// It cannot occur in a well-formed document, so it never splits a URI.
constexpr char kSeparator = '\x01';
constexpr int kBlockSize = 4096;

// Expat hands over well-formed UTF-8 only, so this needs no error handling.
void appendUtf16(std::u16string& out, std::string_view utf8) {
  std::size_t i = 0;
  while (i < utf8.size()) {
    auto byte = static_cast<unsigned char>(utf8[i]);
    char32_t cp;
    std::size_t extra;
    if (byte < 0x80) {
      cp = byte;
      extra = 0;
    } else if (byte < 0xE0) {
      cp = byte & 0x1Fu;
      extra = 1;
    } else if (byte < 0xF0) {
      cp = byte & 0x0Fu;
      extra = 2;
    } else {
      cp = byte & 0x07u;
      extra = 3;
    }
    ++i;
    for (std::size_t k = 0; k < extra && i < utf8.size(); ++k, ++i) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3Fu);
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
}

struct ExpatParser {
  XML_Parser handle = XML_ParserCreateNS(nullptr, kSeparator);
  ~ExpatParser() {
    if (handle != nullptr) XML_ParserFree(handle);
  }
};

// A name split into its parts, each held as UTF-16.
struct SplitName {
  std::u16string uri, localName, qName;

  void assign(const XML_Char* name) {
    std::string_view all(name);
    std::size_t first = all.find(kSeparator);
    uri.clear();
    localName.clear();
    qName.clear();
    if (first == std::string_view::npos) {
      appendUtf16(localName, all);
      qName = localName;
      return;
    }
    appendUtf16(uri, all.substr(0, first));
    std::string_view rest = all.substr(first + 1);
    std::size_t second = rest.find(kSeparator);
    appendUtf16(localName, rest.substr(0, second));
    if (second != std::string_view::npos) {
      appendUtf16(qName, rest.substr(second + 1));
      qName += u':';
    }
    qName += localName;
  }
};

class Dispatcher {
 public:
  Dispatcher(NamespaceSaxReader& reader, XML_Parser parser) : reader_(reader), parser_(parser) {
    XML_SetUserData(parser, this);
    XML_SetReturnNSTriplet(parser, 1);
    XML_SetNamespaceDeclHandler(parser, &Dispatcher::onPrefix, nullptr);
    XML_SetElementHandler(parser, &Dispatcher::onStart, &Dispatcher::onEnd);
    XML_SetCharacterDataHandler(parser, &Dispatcher::onText);
  }

  bool refused() const { return refused_; }

 private:
  void refuse() {
    refused_ = true;
    XML_StopParser(parser_, XML_FALSE);
  }

  SaxContentHandler* handler() { return reader_.contentHandler(); }

  static void onPrefix(void* self, const XML_Char* prefix, const XML_Char* uri) {
    auto* d = static_cast<Dispatcher*>(self);
    if (d->refused_ || d->handler() == nullptr) return;
    d->text_.clear();
    appendUtf16(d->text_, prefix != nullptr ? prefix : "");
    d->scratch_.clear();
    appendUtf16(d->scratch_, uri != nullptr ? uri : "");
    if (!d->handler()->startPrefixMapping(d->text_, d->scratch_)) d->refuse();
  }

  static void onStart(void* self, const XML_Char* name, const XML_Char** attributes) {
    auto* d = static_cast<Dispatcher*>(self);
    if (d->refused_ || d->handler() == nullptr) return;
    d->element_.assign(name);
    std::size_t count = 0;
    while (attributes[2 * count] != nullptr) ++count;
    if (d->attributeNames_.size() < count) {
      d->attributeNames_.resize(count);
      d->attributeValues_.resize(count);
    }
    d->attributes_.clear();
    for (std::size_t i = 0; i < count; ++i) {
      d->attributeNames_[i].assign(attributes[2 * i]);
      d->attributeValues_[i].clear();
      appendUtf16(d->attributeValues_[i], attributes[2 * i + 1]);
    }
    // Views only once every string has its final storage.
    for (std::size_t i = 0; i < count; ++i) {
      const SplitName& n = d->attributeNames_[i];
      d->attributes_.push_back({n.uri, n.localName, n.qName, d->attributeValues_[i]});
    }
    if (!d->handler()->startElement(d->element_.uri, d->element_.localName, d->element_.qName,
                                    d->attributes_)) {
      d->refuse();
    }
  }

  static void onEnd(void* self, const XML_Char* name) {
    auto* d = static_cast<Dispatcher*>(self);
    if (d->refused_ || d->handler() == nullptr) return;
    d->element_.assign(name);
    if (!d->handler()->endElement(d->element_.uri, d->element_.localName, d->element_.qName)) {
      d->refuse();
    }
  }

  static void onText(void* self, const XML_Char* data, int length) {
    auto* d = static_cast<Dispatcher*>(self);
    if (d->refused_ || d->handler() == nullptr) return;
    d->text_.clear();
    appendUtf16(d->text_, std::string_view(data, static_cast<std::size_t>(length)));
    if (!d->handler()->characters(d->text_)) d->refuse();
  }

  NamespaceSaxReader& reader_;
  XML_Parser parser_;
  bool refused_ = false;
  SplitName element_;
  std::vector<SplitName> attributeNames_;
  std::vector<std::u16string> attributeValues_;
  std::vector<SaxAttribute> attributes_;
  std::u16string text_;
  std::u16string scratch_;
};

}  // namespace

platform::ErrorCode NamespaceSaxReader::parse(ResponseStream& stream) {
  ExpatParser parser;
  if (parser.handle == nullptr) return platform::E_OUTOFMEMORY;
  Dispatcher dispatcher(*this, parser.handle);
  for (;;) {
    void* buffer = XML_GetBuffer(parser.handle, kBlockSize);
    if (buffer == nullptr) return platform::E_OUTOFMEMORY;
    std::uint32_t got = 0;
    platform::ErrorCode readError = stream.read(buffer, kBlockSize, &got);
    if (readError != platform::ERROR_SUCCESS) return readError;
    const bool final = got == 0;
    if (XML_ParseBuffer(parser.handle, static_cast<int>(got), final ? XML_TRUE : XML_FALSE) !=
        XML_STATUS_OK) {
      return dispatcher.refused() ? kRefused : kNotWellFormed;
    }
    if (final) return platform::ERROR_SUCCESS;
  }
}

}  // namespace uploadclient
