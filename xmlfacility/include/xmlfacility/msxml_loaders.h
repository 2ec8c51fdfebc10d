// The loaders built on the platform's own XML components. Where those do not
// exist, both availability checks answer false and the factory uses Expat.
#pragma once

#include <istream>

#include "xmlfacility/xml_element.h"

bool isMsxmlSaxAvailable();
bool isMsxmlDomAvailable();

class MsxmlSaxLoader {
 public:
  int parseStream(std::istream& stream, XmlElement* root);
  int parseUrl(const char* url, XmlElement* root);
};

class MsxmlDomLoader {
 public:
  int parseStream(std::istream& stream, XmlElement* root);
};
