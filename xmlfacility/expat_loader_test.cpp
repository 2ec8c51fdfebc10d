#include "xmlfacility/expat_loader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "testing/traced_system.h"
#include "xmlfacility/xml_loader.h"
#include "xmlfacility/xml_writer.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string text(const XmlElement* element) {
  if (element == nullptr) return "(missing)";
  std::uint32_t length = 0;
  const char* data = element->getText(&length);
  return std::string(data, length);
}

class ExpatLoaderTest : public ::testing::Test {
 protected:
  int parse(const std::string& xml) { return parseXmlText(xml.c_str(), &root_, 3); }

  TracedSystem traced_;
  XmlTreeElement root_;
};

TEST_F(ExpatLoaderTest, PrefixesAreDroppedFromElementNamesOnly) {
  ASSERT_EQ(parse("<?xml version=\"1.0\"?>\n"
                  "<soap:Envelope xmlns:soap=\"http://s/\" soap:a=\"1\" b=\"2\">\n"
                  "  <soap:Body><x:r:return>id-1</x:r:return></soap:Body>\n"
                  "</soap:Envelope>"),
            XmlLoadParsed);
  const XmlTreeElement* envelope = root_.findPath("Envelope");
  ASSERT_NE(envelope, nullptr);
  EXPECT_THAT(*envelope->attributes(),
              ElementsAre(std::pair<const std::string, std::string>("b", "2"),
                          std::pair<const std::string, std::string>("soap:a", "1"),
                          std::pair<const std::string, std::string>("xmlns:soap", "http://s/")));
  EXPECT_EQ(text(root_.findPath("Envelope/Body/return")), "id-1");
  EXPECT_EQ(text(envelope), "");  // the blanks around Body were dropped
  EXPECT_STREQ(root_.getName(), "");
  EXPECT_EQ(root_.children().size(), 1u);
  EXPECT_THAT(traced_.recordTexts(), ElementsAre("Creating an Expat XML Loader"));
}

TEST_F(ExpatLoaderTest, ControlCharacterElementsBecomeBytesOfTheParentText) {
  struct Case {
    std::string content;
    std::string text;
  };
  const std::string ns = " xmlns=\"urn:vardo-xml-facility:char\"";
  const Case cases[] = {
      {"a<ascii13" + ns + " />b", "a\rb"},
      {"<ff/><crlf/><cr/><lf/><newline/>", "\x0c\r\n\r\n\r\n"},
      {"a<o:lf xmlns:o=\"urn:other\"/>", "a\n"},  // any namespace
      {"<lf/>", ""},                              // made of blanks only, so dropped at the end
      {"<asciiX/>", std::string(1, '\0')},
      {"<ascii/>", std::string(1, '\0')},
      {"<ascii300/>", ","},  // low 8 bits of 300
      {"<ascii-1/>", "\xff"},
      {"<ascii65x/>", "A"},
      {"<ascii99999999999999999999/>", "\xff"},  // 10^20 - 1, modulo 256
      {"<LF/>", ""},                             // names compare exactly: an ordinary child
      {"x<cr a=\"1\"><b>y</b></cr>z", "x\rz"},
  };
  for (const Case& c : cases) {
    XmlTreeElement root;
    ASSERT_EQ(parseXmlText(("<r>" + c.content + "</r>").c_str(), &root, 3), XmlLoadParsed)
        << c.content;
    EXPECT_EQ(text(root.findChild("r")), c.text) << c.content;
  }
  // Only ordinary elements become children.
  XmlTreeElement root;
  ASSERT_EQ(parseXmlText("<r><LF/><cr><b/></cr></r>", &root, 3), XmlLoadParsed);
  ASSERT_EQ(root.findChild("r")->children().size(), 2u);
  EXPECT_NE(root.findPath("r/LF"), nullptr);
  EXPECT_NE(root.findPath("r/b"), nullptr);
}

TEST_F(ExpatLoaderTest, TextRunsAndCdataAreJoinedInDocumentOrder) {
  const std::string longText(5000, 'q');
  ASSERT_EQ(parse("<a>x&amp;<![CDATA[<y>]]>z&#x41;" + longText + "<b/>w</a>"), XmlLoadParsed);
  EXPECT_EQ(text(root_.findChild("a")), "x&<y>zA" + longText + "w");
}

TEST_F(ExpatLoaderTest, ParseErrorsAreTracedWithLineAndColumn) {
  struct Case {
    std::string xml;
    std::vector<std::string> built;  // paths that must exist afterwards
    int line;
    int column;
    std::string error;
  };
  const Case cases[] = {
      {"<a>\n<b>", {"a", "a/b"}, 2, 3, "no element found"},
      {"<a>\n<b>\n  </c>", {"a", "a/b"}, 3, 4, "mismatched tag"},
      {"", {}, 1, 0, "no element found"},
      {"<a></a><b/>", {"a"}, 1, 7, "junk after document element"},
      {"<?xml version=\"1.0\" encoding=\"x-unknown\"?><a/>", {}, 1, 30, "unknown encoding"},
  };
  for (const Case& c : cases) {
    TracedSystem traced;
    XmlTreeElement root;
    EXPECT_EQ(parseXmlText(c.xml.c_str(), &root, 3), XmlLoadParseFailed) << c.xml;
    for (const auto& path : c.built) EXPECT_NE(root.findPath(path), nullptr) << path;
    EXPECT_THAT(
        traced.records(),
        ElementsAre("trc_begin(9, 0x40000000, 0x4000002)",
                    "trc_write_rawA(9, Creating an Expat XML Loader, " +
                        traceDoublePointer(tracing::ownModule()) + ", 0)",
                    "trc_end(9, 1, 0)", "trc_begin(9, 0x40000000, 0x1000002)",
                    "trc_write_rawA(9, Expat XML Loader encountered a parsing exception: line "
                    "%1!d!, column %2!d!, error: %3, " +
                        traceDoublePointer(tracing::ownModule()) + ", 0)",
                    "trc_write_param2(9, " + std::to_string(c.line) + ", 0)",
                    "trc_write_param2(9, " + std::to_string(c.column) + ", 0)",
                    "trc_write_param1A(9, " + c.error + ", 0)", "trc_end(9, 1, 0)"))
        << c.xml;
  }
}

TEST(ExpatLoaderUntracedTest, FailureWithoutTracingWritesNothing) {
  TracedSystem untraced(false);
  XmlTreeElement root;
  EXPECT_EQ(parseXmlText("<a>", &root, 3), XmlLoadParseFailed);
  EXPECT_THAT(trace_double_control()->calls, IsEmpty());
  EXPECT_NE(root.findChild("a"), nullptr);
}

TEST_F(ExpatLoaderTest, TextIsConvertedToTheAnsiCodePage) {
  traced_.fake.codePages.ansi = 1252;
  ASSERT_EQ(parse("<a \xc3\xa9=\"\xe2\x82\xac\">caf\xc3\xa9 \xc4\x81</a>"), XmlLoadParsed);
  EXPECT_EQ(text(root_.findChild("a")), "caf\xe9 ?");
  EXPECT_EQ(*root_.findChild("a")->findAttribute("\xe9"), "\x80");

  XmlTreeElement latin;
  ASSERT_EQ(parseXmlText("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xe9</a>", &latin, 3),
            XmlLoadParsed);
  EXPECT_EQ(text(latin.findChild("a")), "\xe9");
}

TEST_F(ExpatLoaderTest, EntitiesCannotReachOutOrExplode) {
  traced_.fake.files.setFile("/etc/secret", "secret");
  ASSERT_EQ(parse("<!DOCTYPE a [<!ENTITY e SYSTEM \"file:///etc/secret\">]><a>x&e;y</a>"),
            XmlLoadParsed);
  EXPECT_EQ(text(root_.findChild("a")), "xy");

  std::string laughs = "<!DOCTYPE a [<!ENTITY l0 \"lollollollol\">";
  for (int i = 1; i <= 9; ++i) {
    const std::string previous = "&l" + std::to_string(i - 1) + ";";
    std::string value;
    for (int j = 0; j < 10; ++j) value += previous;
    laughs += "<!ENTITY l" + std::to_string(i) + " \"" + value + "\">";
  }
  laughs += "]><a>&l9;</a>";
  XmlTreeElement root;
  EXPECT_EQ(parseXmlText(laughs.c_str(), &root, 3), XmlLoadParseFailed);
}

TEST_F(ExpatLoaderTest, WrittenTextComesBackUnchanged) {
  std::string everyByte;
  for (int c = 1; c < 0x80; ++c) everyByte += static_cast<char>(c);
  for (const std::string& value : {everyByte, std::string("\r\n \t"), std::string(" ")}) {
    std::ostringstream out;
    auto writer = createXmlWriter(out, 3);
    writer->startDocument();
    writer->addAttribute("v", value.c_str());
    writer->startElement("e");
    writer->characters(value.c_str());
    writer->endElement("e");
    XmlTreeElement root;
    ASSERT_EQ(parseXmlText(out.str().c_str(), &root, 3), XmlLoadParsed) << out.str();
    // Blank text is dropped at the element's end by design.
    const bool blank = value.find_first_not_of(" \t\r\n") == std::string::npos;
    EXPECT_EQ(text(root.findChild("e")), blank ? "" : value);
    // An attribute value carries tab, LF and CR; XML has no way to carry the
    // other control characters there.
    std::string attribute = value;
    for (char& c : attribute) {
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') c = '?';
    }
    EXPECT_EQ(*root.findChild("e")->findAttribute("v"), attribute);
  }
}

TEST_F(ExpatLoaderTest, DeeplyNestedDocumentParsesAndIsReleased) {
  std::string xml;
  for (int i = 0; i < 100000; ++i) xml += "<d>";
  for (int i = 0; i < 100000; ++i) xml += "</d>";
  EXPECT_EQ(parse(xml), XmlLoadParsed);
}

// Hands out no children, as when memory runs out.
class BarrenElement : public XmlElement {
 public:
  XmlElement* createChild(std::string_view) override { return nullptr; }
};

TEST_F(ExpatLoaderTest, RefusedChildStopsTheParse) {
  BarrenElement root;
  EXPECT_EQ(parseXmlText("<a><b/></a>", &root, 3), XmlLoadParseFailed);
  EXPECT_THAT(traced_.recordTexts(),
              ElementsAre("Creating an Expat XML Loader",
                          "Expat XML Loader encountered an unexpected exception"));
}

TEST_F(ExpatLoaderTest, StreamsThatEndEarlyOrBreakAreFailures) {
  std::istringstream exhausted("<a/>");
  exhausted.seekg(0, std::ios::end);
  exhausted.get();  // now at the end
  XmlTreeElement root;
  EXPECT_EQ(ExpatLoader().parseStream(&exhausted, &root), XmlLoadParseFailed);

  std::istringstream broken("<a/>");
  broken.setstate(std::ios::badbit);
  EXPECT_EQ(ExpatLoader().parseStream(&broken, &root), XmlLoadParseFailed);

  EXPECT_EQ(ExpatLoader().parseStream(&broken, nullptr), XmlLoadNoRoot);
}

TEST_F(ExpatLoaderTest, FileInputGoesThroughTheFilesPort) {
  traced_.fake.files.setFile("/data/doc.xml", "<a>file</a>");
  XmlTreeElement root;
  EXPECT_EQ(ExpatLoader().parseFile("/data/doc.xml", &root), XmlLoadParsed);
  EXPECT_EQ(text(root.findChild("a")), "file");
  EXPECT_EQ(traced_.fake.files.openCount(), 0);

  // A file that cannot be read is no empty document.
  XmlTreeElement missing;
  EXPECT_EQ(ExpatLoader().parseFile("/data/missing.xml", &missing), XmlLoadParseFailed);
  EXPECT_TRUE(missing.children().empty());
}

// Records the events the parser reports.
class EventLog : public SAX::HandlerBase {
 public:
  void startDocument() override { events.push_back("startDocument"); }
  void endDocument() override { events.push_back("endDocument"); }
  void startElement(const std::string& name, const SAX::AttributeList* attributes) override {
    std::string event = "start " + name;
    if (attributes == nullptr) {
      event += " (no list)";
    } else {
      for (std::size_t i = 0; i < attributes->getLength(); ++i) {
        event += " " + attributes->getName(i) + "=" + attributes->getValue(i) + "[" +
                 attributes->getType(i) + "]";
      }
      event += " byName:" + attributes->getValue("b") +
               " outside:" + attributes->getName(attributes->getLength()) +
               attributes->getValue("zz");
    }
    events.push_back(event);
  }
  void endElement(const std::string& name) override { events.push_back("end " + name); }
  void characters(const std::string& text) override { events.push_back("text " + text); }
  void startCDATA() override { events.push_back("startCDATA"); }
  void endCDATA() override { events.push_back("endCDATA"); }
  void processingInstruction(const std::string&, const std::string&) override {
    events.push_back("pi");
  }
  std::vector<std::string> events;
};

TEST_F(ExpatLoaderTest, ParserReportsElementsTextAndCdataOnly) {
  std::istringstream input(
      "<?xml version=\"1.0\"?><!-- c --><?pi x?><n:a b=\"1\" c=\"2\" "
      "b2=\"3\"><![CDATA[t]]><e/></n:a>");
  SAX::InputSource source;
  source.byteStream = &input;
  EventLog log;
  ExpatParser parser;
  parser.setDocumentHandler(&log);
  parser.parse(source);
  EXPECT_THAT(
      log.events,
      ElementsAre("startDocument", "start n:a b=1[] c=2[] b2=3[] byName:1 outside:", "startCDATA",
                  "text t", "endCDATA", "start e (no list)", "end e", "end n:a", "endDocument"));
}

TEST_F(ExpatLoaderTest, DefaultErrorHandlerThrowsTheParseException) {
  std::istringstream input("<a>\n</b>");
  SAX::InputSource source;
  source.publicId = "pub";
  source.systemId = "sys";
  source.byteStream = &input;
  EventLog log;
  ExpatParser parser;
  parser.setDocumentHandler(&log);
  try {
    parser.parse(source);
    FAIL() << "no exception";
  } catch (const SAX::SAXException& exception) {
    const auto* parseException = dynamic_cast<const SAX::SAXParseException*>(&exception);
    ASSERT_NE(parseException, nullptr);
    EXPECT_STREQ(exception.what(), "mismatched tag");
    EXPECT_EQ(parseException->getLineNumber(), 2);
    EXPECT_EQ(parseException->getColumnNumber(), 2);
    EXPECT_EQ(parseException->getPublicId(), "pub");
    EXPECT_EQ(parseException->getSystemId(), "sys");
    const SAX::SAXParseException copy(*parseException);
    EXPECT_STREQ(static_cast<const std::exception&>(copy).what(), "mismatched tag");
  }
  // The parse stopped at the error: no end of document.
  EXPECT_THAT(log.events, ElementsAre("startDocument", "start a (no list)", "text \n"));
}

}  // namespace
