// A namespace-aware SAX reader for SOAP fault documents: prefix declarations,
// namespace URIs, local and qualified names, attributes and text, all in
// UTF-16. The content handler may be exchanged while a parse runs; each event
// goes to the handler installed at that moment.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "uploadclient/response_stream.h"

namespace uploadclient {

struct SaxAttribute {
  std::u16string_view uri;
  std::u16string_view localName;
  std::u16string_view qName;
  std::u16string_view value;
};

// Each event answers true to go on, false to refuse it, which stops the parse
// with a failure.
class SaxContentHandler {
 public:
  virtual ~SaxContentHandler() = default;
  virtual bool startPrefixMapping(std::u16string_view prefix, std::u16string_view uri) = 0;
  virtual bool startElement(std::u16string_view uri, std::u16string_view localName,
                            std::u16string_view qName,
                            std::span<const SaxAttribute> attributes) = 0;
  virtual bool endElement(std::u16string_view uri, std::u16string_view localName,
                          std::u16string_view qName) = 0;
  virtual bool characters(std::u16string_view text) = 0;
};

class NamespaceSaxReader {
 public:
  // A handler refused an event.
  static constexpr platform::ErrorCode kRefused = platform::E_FAIL;
  // The document is not well-formed XML.
  static constexpr platform::ErrorCode kNotWellFormed =
      platform::hresultFromWin32(platform::ERROR_INVALID_DATA);

  void setContentHandler(SaxContentHandler* handler) { handler_ = handler; }
  SaxContentHandler* contentHandler() const { return handler_; }

  // Reads the whole stream and reports its events. 0 for a well-formed
  // document whose events were all accepted; kRefused, kNotWellFormed, a
  // failed read's code, or E_OUTOFMEMORY otherwise.
  platform::ErrorCode parse(ResponseStream& stream);

 private:
  SaxContentHandler* handler_ = nullptr;
};

}  // namespace uploadclient
