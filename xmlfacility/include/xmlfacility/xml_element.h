// The element tree a loader fills: element records with a name, text and
// attributes, built through a fixed protocol (XmlElementBuilder), and read by
// slash-separated paths.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One element. Strings are bytes in the system's ANSI code page, compared
// byte for byte. A derived type can process elements as they end instead of
// keeping them: see the two end-of-element policies and the hooks.
class XmlElement {
 public:
  using AttributeMap = std::map<std::string, std::string>;

  XmlElement();
  virtual ~XmlElement();
  XmlElement(const XmlElement&) = delete;
  XmlElement& operator=(const XmlElement&) = delete;

  // Called by a builder once the element's name and attributes are set.
  virtual void onStarted();
  // A new element to be the child of this one, or null when none can be made.
  // The base version makes an unnamed element that this element holds until
  // the builder ends it (deleteOnEnd set); it keeps no record of it.
  virtual XmlElement* createChild(std::string_view name);
  // Called after one of this element's children was finished.
  virtual void onChildEnded(std::string_view childName);
  // Called when the end tag was seen, after blank text was dropped and
  // before the end-of-element policy applies.
  virtual void onEnding();

  void setName(std::string_view name);
  const char* getName() const;

  // Appends bytes of any value. Refuses (false) a text that would outgrow a
  // 32-bit length.
  bool appendText(const char* data, std::uint32_t length);
  // The text, NUL-terminated, or "" when there is none.
  const char* getText(std::uint32_t* outLength = nullptr) const;
  // Releases text made only of space, tab, CR and LF; true when it did.
  bool dropBlankText();

  void setAttribute(std::string_view name, std::string_view value);
  // Null until the first attribute is set.
  const AttributeMap* attributes() const { return attributes_.get(); }
  // The value of an attribute, or null.
  const std::string* findAttribute(std::string_view name) const;

  // Empties name, text and attributes and forgets the parent.
  void clear();

  XmlElement* parent() const { return parent_; }
  bool deleteOnEnd() const { return deleteOnEnd_; }
  bool clearOnEnd() const { return clearOnEnd_; }
  void setDeleteOnEnd(bool value) { deleteOnEnd_ = value; }
  void setClearOnEnd(bool value) { clearOnEnd_ = value; }
  // For createChild implementations: the element the new child belongs to.
  void setParent(XmlElement* parent) { parent_ = parent; }

 private:
  friend class XmlElementBuilder;

  // Destroys a child this element made with the base createChild; false when
  // it holds no such child.
  bool destroyHeldChild(XmlElement* child);

  XmlElement* parent_ = nullptr;
  std::unique_ptr<std::string> name_;
  std::string text_;
  bool deleteOnEnd_ = false;
  bool clearOnEnd_ = true;
  std::unique_ptr<AttributeMap> attributes_;
  std::vector<std::unique_ptr<XmlElement>> heldChildren_;
};

// The element that keeps everything: it owns its children, in document
// order, and neither deletes nor clears anything while a document is built.
class XmlTreeElement : public XmlElement {
 public:
  XmlTreeElement();
  ~XmlTreeElement() override;

  XmlElement* createChild(std::string_view name) override;

  // The first child named `name`, or null.
  XmlTreeElement* findChild(std::string_view name);
  const XmlTreeElement* findChild(std::string_view name) const;
  // The element reached by following the slash-separated names from this
  // one, taking the first child of each name; null when a step fails or the
  // path is longer than 1023 bytes.
  XmlTreeElement* findPath(std::string_view path);
  const XmlTreeElement* findPath(std::string_view path) const;

  const std::vector<std::unique_ptr<XmlTreeElement>>& children() const { return children_; }

 private:
  std::vector<std::unique_ptr<XmlTreeElement>> children_;
};

inline constexpr std::size_t kXmlPathLimit = 1023;

// The builder protocol every loader follows: the current element moves down at
// each start and back up at each end, and the end-of-element policies apply.
class XmlElementBuilder {
 public:
  explicit XmlElementBuilder(XmlElement* root) : root_(root), current_(root) {}

  XmlElement* current() const { return current_; }

  // Creates, names and enters the child; the attributes are set afterwards
  // with setAttribute and the start is completed by started(). Null when the
  // current element made no child (the caller fails the event).
  XmlElement* startElement(std::string_view name);
  void started() { current_->onStarted(); }
  void characters(const char* data, std::uint32_t length);
  // Ends the current element and returns to its parent. An end with nothing
  // open is ignored.
  void endElement();
  // Back to the top-most element, as after a failed parse.
  void returnToTop();

 private:
  XmlElement* root_;
  XmlElement* current_;
};
