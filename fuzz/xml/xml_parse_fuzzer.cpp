// Arbitrary bytes as a service's answer: the Expat loader must return a
// result, build what it can and release it, whatever the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_system.h"
#include "xmlfacility/xml_loader.h"

namespace {

// Touches every element once, the way a reader of the tree would; without
// recursion, since the input may nest as deep as it likes.
void walk(const XmlTreeElement& root) {
  std::vector<const XmlTreeElement*> pending{&root};
  while (!pending.empty()) {
    const XmlTreeElement* element = pending.back();
    pending.pop_back();
    std::uint32_t length = 0;
    const char* text = element->getText(&length);
    if (text == nullptr || text[length] != '\0') std::abort();
    for (const auto& child : element->children()) {
      if (child->parent() != element) std::abort();
      pending.push_back(child.get());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  useFakeSystem();
  const std::string text(reinterpret_cast<const char*>(data), size);
  XmlTreeElement root;
  const int result = parseXmlText(text.c_str(), &root, XmlParserExpat);
  if (result != XmlLoadParsed && result != XmlLoadParseFailed) std::abort();
  // A top-level element that stands for a control character makes no child.
  if (result == XmlLoadParsed && root.children().size() > 1) std::abort();
  walk(root);
  root.findPath("Envelope/Header/SessionHeaderValue/sessionID");
  root.findPath("Envelope/Body/StartUpload/return");
  return 0;
}
