#include "xmlfacility/sax.h"

#include <utility>

namespace SAX {
namespace {
const std::string kEmpty;
}

const char* SAXException::what() const noexcept {
  text_ = message_;
  return text_.c_str();
}

SAXParseException::SAXParseException(std::string message, std::string publicId,
                                     std::string systemId, std::int32_t line, std::int32_t column)
    : SAXException(std::move(message)),
      publicId_(std::move(publicId)),
      systemId_(std::move(systemId)),
      line_(line),
      column_(column) {}

void AttributeListImpl::add(std::string name, std::string type, std::string value) {
  names_.push_back(std::move(name));
  types_.push_back(std::move(type));
  values_.push_back(std::move(value));
}

const std::string& AttributeListImpl::at(const std::vector<std::string>& list,
                                         std::size_t index) const {
  return index < list.size() ? list[index] : kEmpty;
}

const std::string& AttributeListImpl::byName(const std::vector<std::string>& list,
                                             const std::string& name) const {
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (names_[i] == name) return list[i];
  }
  return kEmpty;
}

const std::string& AttributeListImpl::getName(std::size_t index) const { return at(names_, index); }
const std::string& AttributeListImpl::getType(const std::string& name) const {
  return byName(types_, name);
}
const std::string& AttributeListImpl::getType(std::size_t index) const { return at(types_, index); }
const std::string& AttributeListImpl::getValue(const std::string& name) const {
  return byName(values_, name);
}
const std::string& AttributeListImpl::getValue(std::size_t index) const {
  return at(values_, index);
}

InputSource* HandlerBase::resolveEntity(const std::string&, const std::string&) { return nullptr; }
void HandlerBase::notationDecl(const std::string&, const std::string&, const std::string&) {}
void HandlerBase::unparsedEntityDecl(const std::string&, const std::string&, const std::string&,
                                     const std::string&) {}
void HandlerBase::setDocumentLocator(const Locator*) {}
void HandlerBase::startDocument() {}
void HandlerBase::endDocument() {}
void HandlerBase::startElement(const std::string&, const AttributeList*) {}
void HandlerBase::endElement(const std::string&) {}
void HandlerBase::startCDATA() {}
void HandlerBase::endCDATA() {}
void HandlerBase::characters(const std::string&) {}
void HandlerBase::ignorableWhitespace(const std::string&) {}
void HandlerBase::processingInstruction(const std::string&, const std::string&) {}
void HandlerBase::warning(const SAXParseException&) {}
void HandlerBase::error(const SAXParseException&) {}
void HandlerBase::fatalError(const SAXParseException& exception) { throw exception; }

HandlerBase& defaultHandlerBase() {
  static HandlerBase instance;
  return instance;
}

}  // namespace SAX
