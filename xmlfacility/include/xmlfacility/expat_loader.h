// The Expat-backed SAX parser and the loader that builds an element tree
// with it.
#pragma once

#include <exception>
#include <istream>
#include <memory>
#include <string>

#include "xmlfacility/sax.h"
#include "xmlfacility/xml_element.h"

struct XML_ParserStruct;

// A SAX parser over Expat, fed in blocks of 1024 bytes. Expat is created
// without an encoding argument and without namespace processing; only
// elements, character data and CDATA boundaries are reported, and no external
// entity is ever loaded.
class ExpatParser : public SAX::Parser {
 public:
  ExpatParser();
  ~ExpatParser() override;
  ExpatParser(const ExpatParser&) = delete;
  ExpatParser& operator=(const ExpatParser&) = delete;

  void setEntityResolver(SAX::EntityResolver* resolver) override;
  void setDTDHandler(SAX::DTDHandler* handler) override;
  void setDocumentHandler(SAX::DocumentHandler* handler) override;
  void setErrorHandler(SAX::ErrorHandler* handler) override;

  // Reports a document that is not well-formed to the error handler's
  // fatalError. Without a stream, reads the file named by systemId; a file
  // that cannot be opened goes to fatalError before any other event.
  void parse(const SAX::InputSource& source) override;

 private:
  friend struct ExpatCallbacks;
  struct FreeParser {
    void operator()(XML_ParserStruct* parser) const;
  };

  void prepare();

  SAX::EntityResolver* entityResolver_;
  SAX::DTDHandler* dtdHandler_;
  SAX::DocumentHandler* documentHandler_;
  SAX::ErrorHandler* errorHandler_;
  std::unique_ptr<XML_ParserStruct, FreeParser> parser_;
  bool used_ = false;
  // An exception raised by a handler inside one of Expat's callbacks; it is
  // carried across Expat and raised again once Expat has returned.
  std::exception_ptr pending_;
};

// Builds a tree with the builder protocol. Elements of the char namespace
// (recognised by their local name alone) become bytes of the current
// element's text instead of children.
class XmlTreeBuilder : public SAX::HandlerBase {
 public:
  explicit XmlTreeBuilder(XmlElement* root) : builder_(root) {}

  void startElement(const std::string& name, const SAX::AttributeList* attributes) override;
  void endElement(const std::string& name) override;
  void characters(const std::string& text) override;
  void fatalError(const SAX::SAXParseException& exception) override;

  XmlElement* current() const { return builder_.current(); }

 private:
  XmlElementBuilder builder_;
};

// The bytes a control-character element name stands for, or nothing when the
// local name is not one.
bool controlCharacterBytes(std::string_view localName, std::string& bytes);

// Load results: 0 parsed, 1 parsing failed (the tree keeps what was built),
// 3 no root given.
class ExpatLoader {
 public:
  int parseStream(std::istream* stream, XmlElement* root);
  int parseFile(const std::string& systemId, XmlElement* root);

 private:
  int parse(const SAX::InputSource& source, XmlElement* root);
};
