#include "xmlfacility/xml_element.h"

#include <limits>
#include <utility>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Elements are torn down with an explicit work list instead of recursion, so
// that a deeply nested document cannot exhaust the stack when it is released.
template <typename Element>
void releaseIteratively(std::vector<std::unique_ptr<Element>>& children,
                        std::vector<std::unique_ptr<Element>> Element::*member) {
  std::vector<std::unique_ptr<Element>> pending = std::move(children);
  children.clear();
  while (!pending.empty()) {
    std::unique_ptr<Element> element = std::move(pending.back());
    pending.pop_back();
    if (!element) continue;
    auto& grandChildren = (*element).*member;
    for (auto& child : grandChildren) {
      pending.push_back(std::move(child));
    }
    grandChildren.clear();
  }
}

}  // namespace

XmlElement::XmlElement() = default;

XmlElement::~XmlElement() { releaseIteratively(heldChildren_, &XmlElement::heldChildren_); }

void XmlElement::onStarted() {}

XmlElement* XmlElement::createChild(std::string_view) {
  auto child = std::make_unique<XmlElement>();
  child->parent_ = this;
  child->deleteOnEnd_ = true;
  heldChildren_.push_back(std::move(child));
  return heldChildren_.back().get();
}

void XmlElement::onChildEnded(std::string_view) {}

void XmlElement::onEnding() {}

bool XmlElement::destroyHeldChild(XmlElement* child) {
  for (auto it = heldChildren_.begin(); it != heldChildren_.end(); ++it) {
    if (it->get() == child) {
      heldChildren_.erase(it);
      return true;
    }
  }
  return false;
}

void XmlElement::setName(std::string_view name) {
  if (!name_) {
    name_ = std::make_unique<std::string>(name);
  } else {
    name_->assign(name);
  }
}

const char* XmlElement::getName() const { return name_ ? name_->c_str() : ""; }

bool XmlElement::appendText(const char* data, std::uint32_t length) {
  if (length == 0) {
    return true;
  }
  if (data == nullptr || length >= std::numeric_limits<std::uint32_t>::max() - text_.size()) {
    return false;
  }
  text_.append(data, length);
  return true;
}

const char* XmlElement::getText(std::uint32_t* outLength) const {
  if (outLength != nullptr) {
    *outLength = static_cast<std::uint32_t>(text_.size());
  }
  return text_.c_str();
}

bool XmlElement::dropBlankText() {
  if (text_.empty()) {
    return false;
  }
  for (const char c : text_) {
    if (!isBlank(c)) return false;
  }
  std::string().swap(text_);
  return true;
}

void XmlElement::setAttribute(std::string_view name, std::string_view value) {
  if (!attributes_) {
    attributes_ = std::make_unique<AttributeMap>();
  }
  (*attributes_)[std::string(name)] = std::string(value);
}

const std::string* XmlElement::findAttribute(std::string_view name) const {
  if (!attributes_) return nullptr;
  const auto it = attributes_->find(std::string(name));
  return it != attributes_->end() ? &it->second : nullptr;
}

void XmlElement::clear() {
  if (name_) {
    name_->clear();
  }
  parent_ = nullptr;
  std::string().swap(text_);
  if (attributes_) {
    attributes_->clear();
  }
}

XmlTreeElement::XmlTreeElement() {
  setDeleteOnEnd(false);
  setClearOnEnd(false);
}

XmlTreeElement::~XmlTreeElement() { releaseIteratively(children_, &XmlTreeElement::children_); }

XmlElement* XmlTreeElement::createChild(std::string_view name) {
  auto child = std::make_unique<XmlTreeElement>();
  child->setParent(this);
  child->setName(name);
  children_.push_back(std::move(child));
  return children_.back().get();
}

const XmlTreeElement* XmlTreeElement::findChild(std::string_view name) const {
  for (const auto& child : children_) {
    if (child && name == child->getName()) {
      return child.get();
    }
  }
  return nullptr;
}

XmlTreeElement* XmlTreeElement::findChild(std::string_view name) {
  return const_cast<XmlTreeElement*>(std::as_const(*this).findChild(name));
}

const XmlTreeElement* XmlTreeElement::findPath(std::string_view path) const {
  if (path.size() > kXmlPathLimit) {
    return nullptr;
  }
  const XmlTreeElement* element = this;
  for (;;) {
    const std::size_t slash = path.find('/');
    if (slash == std::string_view::npos) {
      return element->findChild(path);
    }
    element = element->findChild(path.substr(0, slash));
    if (element == nullptr) {
      return nullptr;
    }
    path.remove_prefix(slash + 1);
  }
}

XmlTreeElement* XmlTreeElement::findPath(std::string_view path) {
  return const_cast<XmlTreeElement*>(std::as_const(*this).findPath(path));
}

XmlElement* XmlElementBuilder::startElement(std::string_view name) {
  XmlElement* child = current_->createChild(name);
  if (child == nullptr) {
    return nullptr;
  }
  child->setName(name);
  current_ = child;
  return child;
}

void XmlElementBuilder::characters(const char* data, std::uint32_t length) {
  current_->appendText(data, length);
}

void XmlElementBuilder::endElement() {
  if (current_ == root_) {
    return;
  }
  XmlElement* ending = current_;
  ending->dropBlankText();
  ending->onEnding();
  const std::string name = ending->getName();
  XmlElement* parent = ending->parent();
  if (ending->deleteOnEnd()) {
    // Only the element that made it can release it; one that is not held
    // there is left in place and cleared like any other.
    if (parent == nullptr || !parent->destroyHeldChild(ending)) {
      if (ending->clearOnEnd()) ending->clear();
    }
  } else if (ending->clearOnEnd()) {
    ending->clear();
  }
  if (parent != nullptr) {
    parent->onChildEnded(name);
  }
  current_ = parent != nullptr ? parent : root_;
}

void XmlElementBuilder::returnToTop() { current_ = root_; }
