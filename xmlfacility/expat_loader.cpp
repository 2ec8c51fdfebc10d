#include "xmlfacility/expat_loader.h"

#include <expat.h>

#include <array>
#include <climits>
#include <cstdint>
#include <new>
#include <string_view>
#include <utility>

#include "platform/system.h"
#include "text_conversion.h"
#include "tracing/trace.h"

namespace {

constexpr int kBlockSize = 1024;

std::string toAnsi(std::string_view utf8) {
  std::string scratch;
  std::string_view converted;
  if (!xmlfacility::utf8ToAnsi(utf8, scratch, converted)) {
    throw SAX::SAXException("The text could not be converted to the system code page");
  }
  return std::string(converted);
}

std::int32_t clampToInt32(XML_Size value) {
  return value > static_cast<XML_Size>(INT32_MAX) ? INT32_MAX : static_cast<std::int32_t>(value);
}

std::string_view localPart(const std::string& name) {
  const std::size_t colon = name.rfind(':');
  return colon == std::string::npos ? std::string_view(name)
                                    : std::string_view(name).substr(colon + 1);
}

// Reads the number after "ascii" as the C library would: leading white space,
// a sign, then digits up to the first other byte; only its low 8 bits count,
// so arithmetic modulo 256 gives the byte without any overflow.
char asciiByte(std::string_view digits) {
  std::size_t i = 0;
  while (i < digits.size() && (digits[i] == ' ' || (digits[i] >= '\t' && digits[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) {
    negative = digits[i] == '-';
    ++i;
  }
  unsigned value = 0;
  for (; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i) {
    value = (value * 10 + static_cast<unsigned>(digits[i] - '0')) & 0xFFu;
  }
  if (negative) value = (0x100u - value) & 0xFFu;
  return static_cast<char>(value);
}

}  // namespace

bool controlCharacterBytes(std::string_view localName, std::string& bytes) {
  struct Named {
    std::string_view name;
    std::string_view bytes;
  };
  static constexpr std::array<Named, 5> kNamed = {{
      {"ff", "\x0C"},
      {"crlf", "\r\n"},
      {"cr", "\r"},
      {"lf", "\n"},
      {"newline", "\r\n"},
  }};
  for (const Named& entry : kNamed) {
    if (localName == entry.name) {
      bytes.assign(entry.bytes);
      return true;
    }
  }
  if (localName.substr(0, 5) == "ascii") {
    bytes.assign(1, asciiByte(localName.substr(5)));
    return true;
  }
  return false;
}

// Expat's callbacks. No exception may travel through Expat's own frames:
// each callback keeps the first one and stops the parser.
struct ExpatCallbacks {
  template <typename Body>
  static void guarded(void* userData, Body body) {
    auto* self = static_cast<ExpatParser*>(userData);
    if (self->pending_) return;
    try {
      body(*self);
    } catch (...) {
      self->pending_ = std::current_exception();
      XML_StopParser(self->parser_.get(), XML_FALSE);
    }
  }

  static void XMLCALL startElement(void* userData, const XML_Char* name, const XML_Char** pairs) {
    guarded(userData, [&](ExpatParser& self) {
      std::unique_ptr<SAX::AttributeListImpl> attributes;
      if (pairs != nullptr && pairs[0] != nullptr) {
        attributes = std::make_unique<SAX::AttributeListImpl>();
        for (const XML_Char** pair = pairs; pair[0] != nullptr; pair += 2) {
          attributes->add(toAnsi(pair[0]), std::string(), toAnsi(pair[1]));
        }
      }
      self.documentHandler_->startElement(toAnsi(name), attributes.get());
    });
  }

  static void XMLCALL endElement(void* userData, const XML_Char* name) {
    guarded(userData, [&](ExpatParser& self) { self.documentHandler_->endElement(toAnsi(name)); });
  }

  static void XMLCALL characterData(void* userData, const XML_Char* text, int length) {
    guarded(userData, [&](ExpatParser& self) {
      self.documentHandler_->characters(
          toAnsi(std::string_view(text, static_cast<std::size_t>(length))));
    });
  }

  static void XMLCALL startCdata(void* userData) {
    guarded(userData, [&](ExpatParser& self) { self.documentHandler_->startCDATA(); });
  }

  static void XMLCALL endCdata(void* userData) {
    guarded(userData, [&](ExpatParser& self) { self.documentHandler_->endCDATA(); });
  }
};

void ExpatParser::FreeParser::operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }

ExpatParser::ExpatParser()
    : entityResolver_(&SAX::defaultHandlerBase()),
      dtdHandler_(&SAX::defaultHandlerBase()),
      documentHandler_(&SAX::defaultHandlerBase()),
      errorHandler_(&SAX::defaultHandlerBase()),
      parser_(XML_ParserCreate(nullptr)) {
  if (!parser_) {
    throw std::bad_alloc();
  }
  prepare();
}

ExpatParser::~ExpatParser() = default;

void ExpatParser::prepare() {
  XML_SetUserData(parser_.get(), this);
  XML_SetElementHandler(parser_.get(), &ExpatCallbacks::startElement, &ExpatCallbacks::endElement);
  XML_SetCharacterDataHandler(parser_.get(), &ExpatCallbacks::characterData);
  XML_SetCdataSectionHandler(parser_.get(), &ExpatCallbacks::startCdata, &ExpatCallbacks::endCdata);
}

void ExpatParser::setEntityResolver(SAX::EntityResolver* resolver) { entityResolver_ = resolver; }
void ExpatParser::setDTDHandler(SAX::DTDHandler* handler) { dtdHandler_ = handler; }
void ExpatParser::setDocumentHandler(SAX::DocumentHandler* handler) {
  documentHandler_ = handler != nullptr ? handler : &SAX::defaultHandlerBase();
}
void ExpatParser::setErrorHandler(SAX::ErrorHandler* handler) {
  errorHandler_ = handler != nullptr ? handler : &SAX::defaultHandlerBase();
}

void ExpatParser::parse(const SAX::InputSource& source) {
  std::istream* stream = source.byteStream;
  std::unique_ptr<platform::File> file;
  if (stream == nullptr) {
    platform::FileOpenOptions options;
    options.access = platform::kAccessRead;
    options.share = platform::kShareRead;
    options.disposition = platform::FileDisposition::OpenExisting;
    // A file that cannot be read is reported like input that is not
    // well-formed, never taken for an empty document.
    if (platform::system().files.open(source.systemId, options, file) != platform::ERROR_SUCCESS ||
        !file) {
      errorHandler_->fatalError(SAX::SAXParseException("The document could not be opened",
                                                       source.publicId, source.systemId, 0, 0));
      return;
    }
  }
  if (used_) {
    XML_ParserReset(parser_.get(), nullptr);
    prepare();
  }
  used_ = true;
  pending_ = nullptr;

  documentHandler_->startDocument();
  char buffer[kBlockSize];
  // Expat is always given a final block, even for a stream that is already
  // exhausted or broken, so that missing or cut-off input is reported rather
  // than taken for an empty document.
  for (bool isFinal = false; !isFinal;) {
    std::size_t got = 0;
    if (stream != nullptr) {
      if (!stream->eof()) {
        stream->read(buffer, kBlockSize);
        got = static_cast<std::size_t>(stream->gcount());
        stream->clear(stream->rdstate() & ~std::ios::failbit);
      }
      // A short read without the end of the stream is a broken stream, which
      // ends the input as well.
      isFinal = stream->eof() || got < static_cast<std::size_t>(kBlockSize);
    } else {
      std::uint32_t read = 0;
      isFinal = file->read(buffer, kBlockSize, &read) != platform::ERROR_SUCCESS || read == 0;
      got = read;
    }
    const XML_Status status =
        XML_Parse(parser_.get(), buffer, static_cast<int>(got), isFinal ? XML_TRUE : XML_FALSE);
    if (pending_) {
      std::rethrow_exception(std::exchange(pending_, nullptr));
    }
    if (status == XML_STATUS_ERROR) {
      const SAX::SAXParseException exception(
          XML_ErrorString(XML_GetErrorCode(parser_.get())), source.publicId, source.systemId,
          clampToInt32(XML_GetCurrentLineNumber(parser_.get())),
          clampToInt32(XML_GetCurrentColumnNumber(parser_.get())));
      errorHandler_->fatalError(exception);
      break;
    }
  }
  documentHandler_->endDocument();
}

void XmlTreeBuilder::startElement(const std::string& name, const SAX::AttributeList* attributes) {
  const std::string_view local = localPart(name);
  std::string bytes;
  if (controlCharacterBytes(local, bytes)) {
    builder_.characters(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    return;
  }
  XmlElement* child = builder_.startElement(local);
  if (child == nullptr) {
    throw SAX::SAXException("The element could not be created");
  }
  if (attributes != nullptr) {
    for (std::size_t i = 0; i < attributes->getLength(); ++i) {
      child->setAttribute(attributes->getName(i), attributes->getValue(i));
    }
  }
  builder_.started();
}

void XmlTreeBuilder::endElement(const std::string& name) {
  std::string bytes;
  if (controlCharacterBytes(localPart(name), bytes)) {
    return;
  }
  builder_.endElement();
}

void XmlTreeBuilder::characters(const std::string& text) {
  if (!builder_.current()->appendText(text.data(), static_cast<std::uint32_t>(text.size()))) {
    throw SAX::SAXException("The element text is too long");
  }
}

void XmlTreeBuilder::fatalError(const SAX::SAXParseException& exception) {
  builder_.returnToTop();
  throw exception;
}

int ExpatLoader::parseStream(std::istream* stream, XmlElement* root) {
  SAX::InputSource source;
  source.byteStream = stream;
  return parse(source, root);
}

int ExpatLoader::parseFile(const std::string& systemId, XmlElement* root) {
  SAX::InputSource source;
  source.systemId = systemId;
  return parse(source, root);
}

int ExpatLoader::parse(const SAX::InputSource& source, XmlElement* root) {
  if (root == nullptr) {
    return 3;
  }
  try {
    ExpatParser parser;
    XmlTreeBuilder builder(root);
    parser.setDocumentHandler(&builder);
    parser.setErrorHandler(&builder);
    parser.parse(source);
    return 0;
  } catch (const SAX::SAXParseException& exception) {
    try {
      if (TraceIsEnabled(kTraceCategoryXml, kTraceLevelError2)) {
        CTraceRecord(kTraceCategoryXml, kTraceLevelError2,
                     "Expat XML Loader encountered a parsing exception: line %1!d!, column "
                     "%2!d!, error: %3")
            .addNumber(exception.getLineNumber())
            .addNumber(exception.getColumnNumber())
            .addText(exception.what());
      }
    } catch (...) {
    }
  } catch (...) {
    try {
      if (TraceIsEnabled(kTraceCategoryXml, kTraceLevelError2)) {
        CTraceRecord(kTraceCategoryXml, kTraceLevelError2,
                     "Expat XML Loader encountered an unexpected exception");
      }
    } catch (...) {
    }
  }
  return 1;
}
