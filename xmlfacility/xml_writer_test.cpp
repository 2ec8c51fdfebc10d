#include "xmlfacility/xml_writer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/testing/fake_system.h"

namespace {

constexpr const char* kDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>";

std::string controlElement(int byte) {
  return "<ascii" + std::to_string(byte) + " xmlns=\"urn:vardo-xml-facility:char\" />";
}

class XmlWriterTest : public ::testing::Test {
 protected:
  platform::testing::FakeSystem fake_;
  platform::ScopedSystem scope_{fake_};
  std::ostringstream out_;
  std::unique_ptr<XmlWriter> writer_ = createXmlWriter(out_, 3);
};

TEST_F(XmlWriterTest, DocumentPiecesFollowEachOtherWithoutAnyByteBetween) {
  ASSERT_NE(writer_, nullptr);
  EXPECT_EQ(writer_->startDocument(), 0);
  EXPECT_EQ(writer_->addAttribute("xmlns:soap", "http://x/"), 0);
  EXPECT_EQ(writer_->writeEmptyElement("soap:Envelope"), 0);
  EXPECT_EQ(out_.str(),
            std::string(kDeclaration) + "<soap:Envelope xmlns:soap=\"http://x/\"></soap:Envelope>");
}

TEST_F(XmlWriterTest, PendingAttributesGoIntoTheNextStartTagOnly) {
  writer_->addAttribute("b", "1");
  writer_->addAttribute("a", "2");
  writer_->addAttribute("b", "3");
  writer_->startElement("e");
  writer_->startElement("f");
  writer_->addAttribute("dropped", "x");
  writer_->clearAttributes();
  writer_->endElement("f");
  writer_->addAttribute("gone", "y");
  EXPECT_EQ(writer_->endDocument(), 0);
  writer_->startElement("g");
  EXPECT_EQ(out_.str(), "<e b=\"1\" a=\"2\" b=\"3\"><f></f><g>");
}

TEST_F(XmlWriterTest, TextAndAttributeValuesAreEscaped) {
  struct Case {
    std::string input;
    std::string text;       // as element text
    std::string attribute;  // as an attribute value
  };
  const Case cases[] = {
      {"plain", "plain", "plain"},
      {"\"&'<>", "&quot;&amp;&apos;&lt;&gt;", "&quot;&amp;&apos;&lt;&gt;"},
      {"a\tb", "a" + controlElement(9) + "b", "a&#9;b"},
      {"a\nb", "a\nb", "a&#10;b"},
      {"a\rb", "a" + controlElement(13) + "b", "a&#13;b"},
      {"\x01\x1f", controlElement(1) + controlElement(31), "??"},
      {"\x7f", "\x7f", "\x7f"},
      {"caf\xc3\xa9", "caf\xc3\xa9", "caf\xc3\xa9"},
  };
  for (const Case& c : cases) {
    out_.str("");
    writer_->characters(c.input.c_str());
    EXPECT_EQ(out_.str(), c.text) << c.input;
    out_.str("");
    writer_->addAttribute("v", c.input.c_str());
    writer_->startElement("e");
    EXPECT_EQ(out_.str(), "<e v=\"" + c.attribute + "\">") << c.input;
  }
  // Names are converted but never escaped.
  out_.str("");
  writer_->endElement("a&b");
  EXPECT_EQ(out_.str(), "</a&b>");
}

TEST_F(XmlWriterTest, AnsiTextIsWrittenAsUtf8) {
  fake_.codePages.ansi = 1252;
  writer_->addAttribute("n\xe9", "\x80");
  writer_->startElement("\xe9");
  writer_->characters("\xe9");
  writer_->endElement("\xe9");
  EXPECT_EQ(out_.str(), "<\xc3\xa9 n\xc3\xa9=\"\xe2\x82\xac\">\xc3\xa9</\xc3\xa9>");
}

TEST_F(XmlWriterTest, FailedConversionWritesNothingAndIsReported) {
  fake_.codePages.ansi = 54321;  // a code page this system cannot convert
  writer_->addAttribute("a", "\xe9");
  EXPECT_NE(writer_->writeEmptyElement("e"), 0);
  EXPECT_NE(writer_->characters("\xe9"), 0);
  EXPECT_EQ(out_.str(), "");
  // ASCII needs no conversion and still goes out.
  EXPECT_EQ(writer_->characters("ok"), 0);
  EXPECT_EQ(out_.str(), "ok");
}

TEST_F(XmlWriterTest, NullStringsCountAsEmpty) {
  writer_->addAttribute(nullptr, nullptr);
  writer_->startElement(nullptr);
  writer_->characters(nullptr);
  EXPECT_EQ(out_.str(), "< =\"\">");
}

TEST(CreateXmlWriterTest, OnlyDefaultAndExpatKindsHaveAWriter) {
  std::ostringstream out;
  for (const int kind : {0, 3}) EXPECT_NE(createXmlWriter(out, kind), nullptr) << kind;
  for (const int kind : {1, 2, 4, -1}) EXPECT_EQ(createXmlWriter(out, kind), nullptr) << kind;
}

}  // namespace
