#include "xmlfacility/msxml_loaders.h"

#include "xmlfacility/xml_loader.h"

// This system has no such components: they cannot be created, which is what
// the loaders answer.
bool isMsxmlSaxAvailable() { return false; }
bool isMsxmlDomAvailable() { return false; }

int MsxmlSaxLoader::parseStream(std::istream&, XmlElement*) { return XmlLoadNoLoader; }
int MsxmlSaxLoader::parseUrl(const char*, XmlElement*) { return XmlLoadNoLoader; }
int MsxmlDomLoader::parseStream(std::istream&, XmlElement*) { return XmlLoadNoLoader; }
