#include "xmlfacility/xml_element.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

std::string text(const XmlElement& element) {
  std::uint32_t length = 99;
  const char* data = element.getText(&length);
  return std::string(data, length);
}

// Builder events: "<name" starts, ">" ends, anything else is text.
void build(XmlElement* root, const std::vector<std::string>& events) {
  XmlElementBuilder builder(root);
  for (const auto& event : events) {
    if (event.rfind("<", 0) == 0) {
      ASSERT_NE(builder.startElement(event.substr(1)), nullptr);
      builder.started();
    } else if (event == ">") {
      builder.endElement();
    } else {
      builder.characters(event.data(), static_cast<std::uint32_t>(event.size()));
    }
  }
  EXPECT_EQ(builder.current(), root);
}

TEST(XmlTreeElementTest, TextIsKeptExactlyUnlessBlank) {
  struct Case {
    std::vector<std::string> events;
    std::string aText;
    std::string bText;
  };
  const Case cases[] = {
      {{"<a", " \r\n", "<b", "x", ">", "\t ", ">"}, "", "x"},
      {{"<a", " ", "x", " ", ">"}, " x ", ""},
      {{"<a", "x", "<b", ">", "y", ">"}, "xy", ""},
      {{"<a", std::string("\0\x01\xff", 3), ">"}, std::string("\0\x01\xff", 3), ""},
      {{"<a", "\v", ">"}, "\v", ""},  // only space, tab, CR and LF are blank
  };
  for (const Case& c : cases) {
    XmlTreeElement root;
    build(&root, c.events);
    const XmlTreeElement* a = root.findChild("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(text(*a), c.aText);
    const XmlTreeElement* b = a->findChild("b");
    EXPECT_EQ(b != nullptr ? text(*b) : "", c.bText);
  }
}

TEST(XmlTreeElementTest, ElementWithoutTextGivesEmptyText) {
  XmlTreeElement element;
  EXPECT_EQ(text(element), "");
  EXPECT_STREQ(element.getText(), "");
  EXPECT_STREQ(element.getName(), "");
  EXPECT_EQ(element.attributes(), nullptr);
  EXPECT_FALSE(element.dropBlankText());
}

TEST(XmlTreeElementTest, FindPathFollowsTheFirstChildOfEachName) {
  XmlTreeElement root;
  build(&root, {"<Envelope", "<Body", "<r", "<item", ">", "<item", "<v", ">", ">", ">", ">", ">"});
  const XmlTreeElement* envelope = root.findChild("Envelope");
  struct Case {
    std::string path;
    const XmlTreeElement* expected;
  };
  const Case cases[] = {
      {"Envelope", envelope},
      {"Envelope/Body", envelope->findChild("Body")},
      {"Envelope/Body/r/item", envelope->findPath("Body/r/item")},
      {"", nullptr},
      {"/Envelope", nullptr},
      {"Envelope/", nullptr},
      {"Envelope//Body", nullptr},
      {"envelope", nullptr},                // names compare exactly
      {"Envelope/Body/r/item/v", nullptr},  // only the first item is searched
      {"Missing/Body", nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(root.findPath(c.path), c.expected) << '"' << c.path << '"';
  }
  ASSERT_NE(envelope->findPath("Body/r/item"), nullptr);
  EXPECT_EQ(envelope->findPath("Body/r/item"), envelope->findPath("Body/r")->children()[0].get());
}

TEST(XmlTreeElementTest, PathsLongerThan1023BytesAreRefused) {
  XmlTreeElement root;
  std::vector<std::string> events(600, "<a");
  events.insert(events.end(), 600, ">");
  build(&root, events);

  std::string path = "a";
  for (int i = 1; i < 512; ++i) path += "/a";
  ASSERT_EQ(path.size(), 1023u);
  EXPECT_NE(root.findPath(path), nullptr);
  EXPECT_EQ(root.findPath(path + "/a"), nullptr);  // the element exists, the path is too long
}

TEST(XmlTreeElementTest, AttributesAreOnePerNameInByteOrder) {
  XmlTreeElement element;
  element.setAttribute("b", "1");
  element.setAttribute("B", "2");
  element.setAttribute("a", "3");
  element.setAttribute("b", "4");
  ASSERT_NE(element.attributes(), nullptr);
  EXPECT_THAT(*element.attributes(), ElementsAre(Pair("B", "2"), Pair("a", "3"), Pair("b", "4")));
  EXPECT_EQ(*element.findAttribute("b"), "4");
  EXPECT_EQ(element.findAttribute("c"), nullptr);

  element.setName("n");
  element.appendText("t", 1);
  element.clear();
  EXPECT_STREQ(element.getName(), "");
  EXPECT_EQ(text(element), "");
  ASSERT_NE(element.attributes(), nullptr);
  EXPECT_TRUE(element.attributes()->empty());
}

TEST(XmlTreeElementTest, DeepTreeIsReleasedWithoutExhaustingTheStack) {
  auto root = std::make_unique<XmlTreeElement>();
  XmlElementBuilder builder(root.get());
  for (int i = 0; i < 300000; ++i) builder.startElement("d");
  root.reset();
}

// An element that handles its children as they end instead of keeping them.
class StreamingElement : public XmlElement {
 public:
  explicit StreamingElement(std::vector<std::string>* log) : log_(log) {}
  void onChildEnded(std::string_view childName) override {
    log_->push_back("ended " + std::string(childName));
  }

 private:
  std::vector<std::string>* log_;
};

class LoggingChild : public XmlElement {
 public:
  explicit LoggingChild(std::vector<std::string>* log) : log_(log) {}
  void onStarted() override { log_->push_back("started " + std::string(getName())); }
  void onEnding() override { log_->push_back("ending text=" + std::string(getText())); }

 private:
  std::vector<std::string>* log_;
};

class KeepingParent : public XmlElement {
 public:
  explicit KeepingParent(std::vector<std::string>* log) : log_(log) {}
  XmlElement* createChild(std::string_view) override {
    child_ = std::make_unique<LoggingChild>(log_);
    child_->setParent(this);
    return child_.get();
  }
  void onChildEnded(std::string_view childName) override {
    log_->push_back("ended " + std::string(childName));
  }
  std::unique_ptr<LoggingChild> child_;

 private:
  std::vector<std::string>* log_;
};

TEST(XmlElementTest, EndOfElementPoliciesAndHooks) {
  // The base element hands out plain children it deletes at their end; only
  // the root here reports them.
  std::vector<std::string> log;
  StreamingElement streaming(&log);
  build(&streaming, {"<a", "<b", "x", ">", " ", ">", "<c", ">"});
  EXPECT_THAT(log, ElementsAre("ended a", "ended c"));

  // A kept child is cleared at its end: name, text and parent go, the hooks
  // see it before that.
  log.clear();
  KeepingParent parent(&log);
  build(&parent, {"<k", "  ", "t", ">"});
  EXPECT_THAT(log, ElementsAre("started k", "ending text=  t", "ended k"));
  ASSERT_NE(parent.child_, nullptr);
  EXPECT_STREQ(parent.child_->getName(), "");
  EXPECT_EQ(parent.child_->parent(), nullptr);
  EXPECT_EQ(text(*parent.child_), "");
}

}  // namespace
