// The parser factory: picks a loader for a parser kind and fills a root
// element from XML text or a byte stream.
#pragma once

#include <istream>

#include "xmlfacility/xml_element.h"

enum XmlParserKind : int {
  XmlParserDefault = 0,
  XmlParserMsxmlDom = 1,
  XmlParserMsxmlSax = 2,
  XmlParserExpat = 3,
};

enum XmlLoadResult : int {
  XmlLoadParsed = 0,
  XmlLoadParseFailed = 1,
  XmlLoadNoLoader = 2,
  XmlLoadNoRoot = 3,
};

// Parses NUL-terminated text into `root` (see loadXml).
int parseXmlText(const char* text, XmlElement* root, int kind);

// Kind 0 asks the machine's configuration; kind 1 falls back to 2 and 2 to 3
// when the component is missing; any other kind gives 2.
int loadXml(std::istream& stream, XmlElement* root, int kind);

// The kind named by the registry's parser preference, or 0.
int readParserPreference();

// The preference, else the SAX component when it is installed, else Expat.
int defaultParserKind();
