// A small SAX-style layer: a parser interface, the handler interfaces, an
// attribute list, an input source, and the exceptions of a failed parse.
// Exceptions are used inside this layer only; the loaders catch them all.
#pragma once

#include <cstdint>
#include <exception>
#include <istream>
#include <string>
#include <utility>
#include <vector>

namespace SAX {

class SAXException : public std::exception {
 public:
  explicit SAXException(std::string message) : message_(std::move(message)) {}
  SAXException(const SAXException&) = default;
  ~SAXException() override = default;

  const char* what() const noexcept override;

 private:
  std::string message_;
  // Keeps what() valid for as long as the exception lives.
  mutable std::string text_;
};

class SAXParseException : public SAXException {
 public:
  SAXParseException(std::string message, std::string publicId, std::string systemId,
                    std::int32_t line, std::int32_t column);
  SAXParseException(const SAXParseException&) = default;
  ~SAXParseException() override = default;

  const std::string& getPublicId() const { return publicId_; }
  const std::string& getSystemId() const { return systemId_; }
  // The first line is 1, the first column 0.
  std::int32_t getLineNumber() const { return line_; }
  std::int32_t getColumnNumber() const { return column_; }

 private:
  std::string publicId_;
  std::string systemId_;
  std::int32_t line_;
  std::int32_t column_;
};

// Where the parser stands; the Expat-backed parser does not provide one.
class Locator {
 public:
  virtual ~Locator() = default;
  virtual std::string getPublicId() const = 0;
  virtual std::string getSystemId() const = 0;
  virtual std::int32_t getLineNumber() const = 0;
  virtual std::int32_t getColumnNumber() const = 0;
};

// Strings outside the index range or names not in the list give "".
class AttributeList {
 public:
  virtual ~AttributeList() = default;
  virtual std::size_t getLength() const = 0;
  virtual const std::string& getName(std::size_t index) const = 0;
  virtual const std::string& getType(const std::string& name) const = 0;
  virtual const std::string& getType(std::size_t index) const = 0;
  virtual const std::string& getValue(const std::string& name) const = 0;
  virtual const std::string& getValue(std::size_t index) const = 0;
};

// The list the Expat-backed parser hands over: parallel names, types and
// values; a name looked up by name finds its first entry.
class AttributeListImpl : public AttributeList {
 public:
  void add(std::string name, std::string type, std::string value);

  std::size_t getLength() const override { return names_.size(); }
  const std::string& getName(std::size_t index) const override;
  const std::string& getType(const std::string& name) const override;
  const std::string& getType(std::size_t index) const override;
  const std::string& getValue(const std::string& name) const override;
  const std::string& getValue(std::size_t index) const override;

 private:
  const std::string& at(const std::vector<std::string>& list, std::size_t index) const;
  const std::string& byName(const std::vector<std::string>& list, const std::string& name) const;

  std::vector<std::string> names_;
  std::vector<std::string> types_;
  std::vector<std::string> values_;
};

// Where a document comes from: a byte stream (not owned) or, without one, the
// file named by systemId. The encoding is not used.
struct InputSource {
  std::string publicId;
  std::string systemId;
  std::istream* byteStream = nullptr;
  std::string encoding;
};

class EntityResolver {
 public:
  virtual ~EntityResolver() = default;
  virtual InputSource* resolveEntity(const std::string& publicId, const std::string& systemId) = 0;
};

class DTDHandler {
 public:
  virtual ~DTDHandler() = default;
  virtual void notationDecl(const std::string& name, const std::string& publicId,
                            const std::string& systemId) = 0;
  virtual void unparsedEntityDecl(const std::string& name, const std::string& publicId,
                                  const std::string& systemId, const std::string& notationName) = 0;
};

class DocumentHandler {
 public:
  virtual ~DocumentHandler() = default;
  virtual void setDocumentLocator(const Locator* locator) = 0;
  virtual void startDocument() = 0;
  virtual void endDocument() = 0;
  // `attributes` is null for an element without attributes.
  virtual void startElement(const std::string& name, const AttributeList* attributes) = 0;
  virtual void endElement(const std::string& name) = 0;
  virtual void startCDATA() = 0;
  virtual void endCDATA() = 0;
  virtual void characters(const std::string& text) = 0;
  virtual void ignorableWhitespace(const std::string& text) = 0;
  virtual void processingInstruction(const std::string& target, const std::string& data) = 0;
};

class ErrorHandler {
 public:
  virtual ~ErrorHandler() = default;
  virtual void warning(const SAXParseException& exception) = 0;
  virtual void error(const SAXParseException& exception) = 0;
  virtual void fatalError(const SAXParseException& exception) = 0;
};

// All four handlers with defaults: every event ignored, no entity resolved,
// and a fatal error thrown as SAXParseException.
class HandlerBase : public EntityResolver,
                    public DTDHandler,
                    public DocumentHandler,
                    public ErrorHandler {
 public:
  InputSource* resolveEntity(const std::string& publicId, const std::string& systemId) override;

  void notationDecl(const std::string& name, const std::string& publicId,
                    const std::string& systemId) override;
  void unparsedEntityDecl(const std::string& name, const std::string& publicId,
                          const std::string& systemId, const std::string& notationName) override;

  void setDocumentLocator(const Locator* locator) override;
  void startDocument() override;
  void endDocument() override;
  void startElement(const std::string& name, const AttributeList* attributes) override;
  void endElement(const std::string& name) override;
  void startCDATA() override;
  void endCDATA() override;
  void characters(const std::string& text) override;
  void ignorableWhitespace(const std::string& text) override;
  void processingInstruction(const std::string& target, const std::string& data) override;

  void warning(const SAXParseException& exception) override;
  void error(const SAXParseException& exception) override;
  void fatalError(const SAXParseException& exception) override;
};

// The process-wide defaults a new parser starts with.
HandlerBase& defaultHandlerBase();

class Parser {
 public:
  virtual ~Parser() = default;
  virtual void setEntityResolver(EntityResolver* resolver) = 0;
  virtual void setDTDHandler(DTDHandler* handler) = 0;
  virtual void setDocumentHandler(DocumentHandler* handler) = 0;
  virtual void setErrorHandler(ErrorHandler* handler) = 0;
  virtual void parse(const InputSource& source) = 0;
};

}  // namespace SAX
