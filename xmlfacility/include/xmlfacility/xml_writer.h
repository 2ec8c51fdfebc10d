// The streaming XML writer: events in, UTF-8 XML text out, nothing kept but
// the attributes waiting for the next start tag.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// Every operation returns 0 on success. Arguments are NUL-terminated strings
// in the system's ANSI code page; a null string counts as empty.
class XmlWriter {
 public:
  virtual ~XmlWriter() = default;
  virtual int startElement(const char* name) = 0;
  virtual int endElement(const char* name) = 0;
  virtual int characters(const char* text) = 0;
  virtual int startDocument() = 0;
  virtual int endDocument() = 0;
  virtual int clearAttributes() = 0;
  virtual int addAttribute(const char* name, const char* value) = 0;

  // A start tag at once followed by its end tag; the end tag only when the
  // start tag was written.
  int writeEmptyElement(const char* name);
};

// Writes straight to a caller's stream (which it does not own). Stream
// failures stay in the stream's state.
class XmlTextWriter : public XmlWriter {
 public:
  explicit XmlTextWriter(std::ostream& stream) : stream_(stream) {}

  int startElement(const char* name) override;
  int endElement(const char* name) override;
  int characters(const char* text) override;
  int startDocument() override;
  int endDocument() override;
  int clearAttributes() override;
  int addAttribute(const char* name, const char* value) override;

 private:
  std::ostream& stream_;
  // Written in the order they were added.
  std::vector<std::pair<std::string, std::string>> pending_;
};

// A writer for parser kind 0 (default) or 3 (Expat); null for any other kind,
// for which no writer exists.
std::unique_ptr<XmlWriter> createXmlWriter(std::ostream& stream, int kind);

// The namespace that marks an element standing for one control character.
inline constexpr const char* kXmlCharNamespace = "urn:vardo-xml-facility:char";

// Base64 with the standard alphabet, 76-character lines separated by CR LF.
inline constexpr int Base64NoPadding = 1;
inline constexpr int Base64NoLineBreaks = 2;

// Characters base64Encode writes for `length` bytes (no terminator), or -1
// for a negative length or one whose encoding would not fit in 32 bits.
std::int32_t base64EncodedLength(std::int32_t length, int flags);

// Encodes `length` bytes into `out`, whose capacity is *inOutLength; stores
// the characters written (no terminator) and returns 1. Returns 0 and writes
// nothing on a null pointer, a negative length or a too small buffer.
int base64Encode(const void* data, std::int32_t length, char* out, std::int32_t* inOutLength,
                 int flags);
