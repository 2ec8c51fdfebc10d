// Description language of `pmftool build`
// ========================================
//
// One statement per line. '#' starts a comment (outside quotes); blank lines
// are ignored. Numbers are decimal or 0x-hexadecimal. Strings are in double
// quotes with the escapes \" \\ \n \t \0 and \xHH (one byte). Arguments are
// words, key=value pairs or one quoted string, in any order.
//
//   header [version=N] [compressed=N] [recordSetParameter=N] [recordSet=N]
//          [pageCountPlusOne=N] [sizeRatio=N] [blobRatio=N]
//          [textObjectRatio=N] [pointListRatio=N]
//       At most once, anywhere. Defaults: version 5, compressed 0 (1 deflates
//       the record stream; every other value writes it plain), recordSet 1,
//       pageCountPlusOne = number of page statements + 1, ratios 100.
//       Version 1 writes the 36-byte header.
//   start | end | page               document start (1), end (2), page start (4)
//   text ["TEXT"] [codes=C,C,...] [wide] [items=M]
//       Text run (6). TEXT gives the n single-byte characters, codes the g
//       16-bit codes (hexadecimal, with or without 0x) that follow the string's
//       terminator and the M zero-filled 8-byte items; wide makes the string's
//       units 2 bytes.
//   textobj id=N ["TEXT"] [codes=...] [wide] [items=M]      text object definition (33)
//   font (PATH | data=HEX) [code=29|30|36] [name="NAME"] [flags=N] [codepage=N]
//        [id=N] [nodata] [second="BYTES" | secondhex=HEX]
//       A font file record: the font's bytes come from the TrueType file PATH
//       (relative to the description) or inline. code defaults to 30, name to
//       the file name without its extension (else "Font"), flags to 0x4,
//       codepage to 1252; id is the object id of code 36. nodata writes the
//       name with a font data length of 0; second gives the second part.
//   blob id=N (size=S [random] | reuse) [long]
//       Blob definition (31, or 32 with long) with S bytes of data (a pattern,
//       or pseudo-random bytes that resist compression), or variable length 0.
//   points id=N count=K [value=V]        point list definition (39)
//   group id=N entries=ID:X:Y,... [replay]
//       Object group definition (41); replay sets flags bit 0.
//   replay id=N [at=X,Y]                 object replay (34), or at offset (40)
//   delete id=N                          object delete (35)
//   marker kind=K value=V                processing marker (37)
//   filler [COUNT]                       COUNT 0x00 bytes (default 1)
//   record CODE [var=SIZE] [fill=BYTE]
//       Any record code of the catalogue: fixed part filled with BYTE
//       (default 0), a patterned variable part of SIZE bytes for codes that
//       have one, the length field set.
//   raw HEX                              bytes into the record stream as they are
#include "spool/description.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <optional>

#include "spool/output_writer.h"

namespace spool {

// ---- builder

void MetaFileBuilder::put(std::uint8_t code, Bytes fixed, Bytes variable) {
  stream_.push_back(code);
  stream_.insert(stream_.end(), fixed.begin(), fixed.end());
  stream_.insert(stream_.end(), variable.begin(), variable.end());
}

void MetaFileBuilder::documentStart() { record(code::kDocumentStart); }
void MetaFileBuilder::documentEnd() { record(code::kDocumentEnd); }
void MetaFileBuilder::pageStart() {
  record(code::kPageStart);
  ++pages_;
}

namespace {

// The text run block and its variable part.
void encodeText(const TextSpec& t, std::vector<std::uint8_t>& block,
                std::vector<std::uint8_t>& variable) {
  block.assign(TextRun::kBlockSize, 0);
  const std::size_t unit = t.wide ? 2 : 1;
  for (char c : t.text) {
    variable.push_back(static_cast<std::uint8_t>(c));
    if (unit == 2) variable.push_back(0);
  }
  variable.insert(variable.end(), unit, 0);
  variable.insert(variable.end(), 8 * std::size_t{t.items}, 0);
  for (std::uint16_t c : t.codes) {
    variable.push_back(static_cast<std::uint8_t>(c));
    variable.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  MutableBytes b(block);
  writeU32(b, TextRun::kFlagsAt, t.wide ? TextRun::kWideUnits : 0);
  writeU32(b, TextRun::kSingleByteCountAt, static_cast<std::uint32_t>(t.text.size()));
  writeU32(b, TextRun::kItemCountAt, t.items);
  writeU32(b, TextRun::kCodeCountAt, static_cast<std::uint32_t>(t.codes.size()));
  writeU32(b, TextRun::kVariableLengthAt, static_cast<std::uint32_t>(variable.size()));
}

std::uint8_t pattern(std::size_t i) { return static_cast<std::uint8_t>(i * 31 + 7); }

}  // namespace

void MetaFileBuilder::textRun(const TextSpec& text) {
  std::vector<std::uint8_t> block, variable;
  encodeText(text, block, variable);
  put(code::kTextRun, block, variable);
}

void MetaFileBuilder::textObject(std::uint32_t id, const TextSpec& text) {
  std::vector<std::uint8_t> block, variable;
  encodeText(text, block, variable);
  std::vector<std::uint8_t> fixed(4);
  writeU32(fixed, 0, id);
  fixed.insert(fixed.end(), block.begin(), block.end());
  put(code::kTextObjectDefinition, fixed, variable);
}

void MetaFileBuilder::fontFile(const FontSpec& font) {
  FontFileFixedPart fixed(font.code);
  std::vector<std::uint8_t> variable(font.name.begin(), font.name.end());
  variable.push_back(0);
  const auto nameLength = static_cast<std::uint32_t>(variable.size());
  variable.insert(variable.end(), font.data.begin(), font.data.end());
  variable.insert(variable.end(), font.secondPart.begin(), font.secondPart.end());
  fixed.setObjectId(font.objectId);
  fixed.setFlags(font.flags);
  fixed.setCodePage(font.codePage);
  fixed.setFontDataOffset(nameLength);
  fixed.setFontDataLength(static_cast<std::uint32_t>(font.data.size()));
  fixed.setSecondPartLength(static_cast<std::uint32_t>(font.secondPart.size()));
  fixed.setVariableLength(static_cast<std::uint32_t>(variable.size()));
  put(fixed.code(), fixed.bytes(), variable);
}

void MetaFileBuilder::blob(std::uint32_t id, Bytes data, bool longForm) {
  const std::uint8_t code = longForm ? code::kLongBlobDefinition : code::kBlobDefinition;
  const CatalogueEntry* e = findCatalogueEntry(code);
  std::vector<std::uint8_t> fixed(e->fixedLength);
  writeU32(fixed, 0, id);
  writeU32(fixed, static_cast<std::size_t>(e->lengthAt), static_cast<std::uint32_t>(data.size()));
  put(code, fixed, data);
}

void MetaFileBuilder::pointList(std::uint32_t id, std::uint32_t value, std::uint32_t count) {
  std::vector<std::uint8_t> fixed(12), points(8 * std::size_t{count});
  for (std::size_t i = 0; i < points.size(); ++i) points[i] = pattern(i);
  writeU32(fixed, 0, id);
  writeU32(fixed, 4, value);
  writeU32(fixed, 8, static_cast<std::uint32_t>(points.size()));
  put(code::kPointListDefinition, fixed, points);
}

void MetaFileBuilder::group(std::uint32_t id, bool replayNow,
                            const std::vector<GroupEntry>& entries) {
  std::vector<std::uint8_t> fixed(12), variable(12 * entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    writeU32(variable, 12 * i, entries[i].objectId);
    writeU32(variable, 12 * i + 4, entries[i].offset.x);
    writeU32(variable, 12 * i + 8, entries[i].offset.y);
  }
  writeU32(fixed, 0, id);
  writeU32(fixed, 4, replayNow ? ObjectGroupDefinition::kReplayNow : 0);
  writeU32(fixed, 8, static_cast<std::uint32_t>(variable.size()));
  put(code::kObjectGroupDefinition, fixed, variable);
}

void MetaFileBuilder::replay(std::uint32_t id) {
  std::uint8_t fixed[4];
  writeU32(fixed, 0, id);
  put(code::kObjectReplay, fixed, {});
}

void MetaFileBuilder::replayAt(std::uint32_t id, Offset offset) {
  std::uint8_t fixed[12];
  writeU32(fixed, 0, id);
  writeU32(fixed, 4, offset.x);
  writeU32(fixed, 8, offset.y);
  put(code::kObjectReplayAtOffset, fixed, {});
}

void MetaFileBuilder::deleteObject(std::uint32_t id) {
  std::uint8_t fixed[4];
  writeU32(fixed, 0, id);
  put(code::kObjectDelete, fixed, {});
}

void MetaFileBuilder::marker(std::uint32_t kind, std::uint32_t value) {
  auto bytes = ProcessingMarker::encode(kind, value);
  raw(bytes);
}

void MetaFileBuilder::filler(std::size_t count) { stream_.insert(stream_.end(), count, 0); }

bool MetaFileBuilder::record(std::uint8_t code, Bytes variable, std::uint8_t fill) {
  const CatalogueEntry* e = findCatalogueEntry(code);
  if (e == nullptr || (!e->hasLengthField() && !variable.empty())) return false;
  std::vector<std::uint8_t> fixed(e->fixedLength, fill);
  if (e->hasLengthField()) {
    writeU32(fixed, static_cast<std::size_t>(e->lengthAt),
             static_cast<std::uint32_t>(variable.size()));
  }
  put(code, fixed, variable);
  return true;
}

void MetaFileBuilder::raw(Bytes bytes) {
  stream_.insert(stream_.end(), bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> MetaFileBuilder::file(const MetaFileHeader& header) const {
  VectorSink sink;
  OutputWriter writer(sink);
  writer.write(encodeHeader(header).view());
  if (header.isCompressed()) {
    writer.startCompression();
    writer.write(stream_);
    writer.finishCompression();
  } else {
    writer.write(stream_);
    writer.flush();
  }
  return std::move(sink.data);
}

// ---- description reader

namespace {

struct Token {
  std::string key;  // empty for a bare quoted string
  std::string value;
  bool hasValue = false;
};

struct Failure {
  std::string message;
};

bool parseEscape(std::string_view line, std::size_t& i, std::string& out) {
  if (i >= line.size()) return false;
  char c = line[i++];
  switch (c) {
    case 'n':
      out += '\n';
      return true;
    case 't':
      out += '\t';
      return true;
    case '0':
      out += '\0';
      return true;
    case '\\':
      out += '\\';
      return true;
    case '"':
      out += '"';
      return true;
    case 'x': {
      if (i + 2 > line.size()) return false;
      unsigned v = 0;
      auto r = std::from_chars(line.data() + i, line.data() + i + 2, v, 16);
      if (r.ptr != line.data() + i + 2) return false;
      out += static_cast<char>(v);
      i += 2;
      return true;
    }
    default:
      return false;
  }
}

// Splits a line into tokens; false with a message on a broken quote.
bool tokenize(std::string_view line, std::vector<Token>& tokens, std::string& message) {
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i >= line.size() || line[i] == '#') break;
    Token t;
    std::string* target = &t.key;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) {
      char c = line[i];
      if (c == '=' && target == &t.key && !t.hasValue) {
        t.hasValue = true;
        target = &t.value;
        ++i;
      } else if (c == '"') {
        if (target == &t.key && !t.key.empty()) {
          message = "a quote inside a word";
          return false;
        }
        if (target == &t.key) {
          t.hasValue = true;
          target = &t.value;
        }
        ++i;
        bool closed = false;
        while (i < line.size()) {
          char q = line[i++];
          if (q == '"') {
            closed = true;
            break;
          }
          if (q == '\\') {
            if (!parseEscape(line, i, *target)) {
              message = "bad escape in a string";
              return false;
            }
          } else {
            *target += q;
          }
        }
        if (!closed) {
          message = "string without its closing quote";
          return false;
        }
      } else {
        *target += c;
        ++i;
      }
    }
    tokens.push_back(std::move(t));
  }
  return true;
}

std::optional<std::uint64_t> parseNumber(std::string_view s) {
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    s.remove_prefix(2);
    base = 16;
  }
  std::uint64_t v = 0;
  if (s.empty()) return std::nullopt;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<std::vector<std::uint8_t>> parseHex(std::string_view s) {
  std::vector<std::uint8_t> out;
  std::string digits;
  for (char c : s) {
    if (std::isxdigit(static_cast<unsigned char>(c)))
      digits += c;
    else if (c != ',' && c != ':' && c != '_')
      return std::nullopt;
  }
  if (digits.size() % 2 != 0) return std::nullopt;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::vector<std::string_view> splitOn(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string_view::npos ? s.npos : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

// The arguments of one statement, each taken at most once; whatever is left
// untaken at the end is an error.
class Arguments {
 public:
  explicit Arguments(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  bool flag(std::string_view name) {
    for (Token& t : tokens_) {
      if (!t.hasValue && t.key == name && !used(t)) return take(t);
    }
    return false;
  }
  const Token* find(std::string_view key) {
    for (Token& t : tokens_) {
      if (t.hasValue && t.key == key && !used(t)) {
        take(t);
        return &t;
      }
    }
    return nullptr;
  }
  std::optional<std::string> string(std::string_view key) {
    const Token* t = find(key);
    if (!t) return std::nullopt;
    return t->value;
  }
  // A bare quoted string or a bare word.
  std::optional<std::string> positional() {
    for (Token& t : tokens_) {
      if (used(t)) continue;
      if (t.hasValue && t.key.empty()) {
        take(t);
        return t.value;
      }
      if (!t.hasValue) {
        take(t);
        return t.key;
      }
    }
    return std::nullopt;
  }
  bool number(std::string_view key, std::uint64_t max, std::uint64_t& out) {
    const Token* t = find(key);
    if (!t) return true;
    auto v = parseNumber(t->value);
    if (!v || *v > max) return fail("bad number for " + std::string(key) + ": '" + t->value + "'");
    out = *v;
    return true;
  }
  template <typename T>
  bool number(std::string_view key, T& out) {
    std::uint64_t v = out;
    if (!number(key, std::numeric_limits<T>::max(), v)) return false;
    out = static_cast<T>(v);
    return true;
  }
  bool has(std::string_view key) const {
    for (const Token& t : tokens_) {
      if (t.hasValue && t.key == key && !used(t)) return true;
    }
    return false;
  }
  bool require(std::string_view key) {
    for (Token& t : tokens_) {
      if (t.hasValue && t.key == key && !used(t)) return true;
    }
    return fail("missing " + std::string(key) + "=");
  }
  bool fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return false;
  }
  // True when every argument was understood.
  bool finish(std::string& message) {
    if (error_.empty()) {
      for (Token& t : tokens_) {
        if (!used(t)) {
          error_ = "unexpected argument '" + (t.key.empty() ? "\"" + t.value + "\"" : t.key) + "'";
          break;
        }
      }
    }
    message = error_;
    return error_.empty();
  }

 private:
  bool used(const Token& t) const {
    return std::find(taken_.begin(), taken_.end(), &t) != taken_.end();
  }
  bool take(const Token& t) {
    taken_.push_back(&t);
    return true;
  }
  std::vector<Token> tokens_;
  std::vector<const Token*> taken_;
  std::string error_;
};

bool textSpec(Arguments& a, TextSpec& t) {
  for (;;) {
    auto s = a.positional();
    if (!s) break;
    if (*s == "wide") {
      t.wide = true;
    } else if (!t.text.empty()) {
      return a.fail("more than one text");
    } else {
      t.text = *s;
    }
  }
  if (auto codes = a.string("codes")) {
    for (std::string_view c : splitOn(*codes, ',')) {
      if (c.size() > 2 && (c.substr(0, 2) == "0x" || c.substr(0, 2) == "0X")) c.remove_prefix(2);
      auto v = parseNumber("0x" + std::string(c));
      if (!v || *v > 0xFFFF) return a.fail("bad code '" + std::string(c) + "'");
      t.codes.push_back(static_cast<std::uint16_t>(*v));
    }
  }
  return a.number("items", t.items);
}

std::vector<std::uint8_t> pseudoRandom(std::uint32_t seed, std::size_t size) {
  std::vector<std::uint8_t> out(size);
  std::uint64_t x = 0x9E3779B97F4A7C15ull ^ seed;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    out[i] = static_cast<std::uint8_t>(x >> 56);
  }
  return out;
}

std::string stemOf(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

constexpr std::uint64_t kMaxGenerated = 1ull << 30;  // sizes a description may ask for

bool statement(const std::string& keyword, Arguments& a, const FontLoader& loadFont,
               MetaFileBuilder& b, MetaFileHeader& header, bool& haveHeader, bool& explicitPages) {
  if (keyword == "header") {
    if (haveHeader) return a.fail("a second header statement");
    haveHeader = true;
    explicitPages = a.has("pageCountPlusOne");
    return a.number("version", header.version) &&
           a.number("pageCountPlusOne", header.pageCountPlusOne) &&
           a.number("compressed", header.compressed) &&
           a.number("recordSetParameter", header.recordSetParameter) &&
           a.number("recordSet", header.recordSet) && a.number("sizeRatio", header.sizeRatio) &&
           a.number("blobRatio", header.blobRatio) &&
           a.number("textObjectRatio", header.textObjectRatio) &&
           a.number("pointListRatio", header.pointListRatio);
  }
  if (keyword == "start") return b.documentStart(), true;
  if (keyword == "end") return b.documentEnd(), true;
  if (keyword == "page") return b.pageStart(), true;
  if (keyword == "text") {
    TextSpec t;
    if (!textSpec(a, t)) return false;
    b.textRun(t);
    return true;
  }
  if (keyword == "textobj") {
    TextSpec t;
    std::uint32_t id = 0;
    if (!a.require("id") || !a.number("id", id) || !textSpec(a, t)) return false;
    b.textObject(id, t);
    return true;
  }
  if (keyword == "font") {
    FontSpec f;
    std::uint64_t code = f.code;
    if (!a.number("code", 255, code)) return false;
    if (fontFileFields(static_cast<std::uint8_t>(code)) == nullptr) {
      return a.fail("font code must be 29, 30 or 36");
    }
    f.code = static_cast<std::uint8_t>(code);
    if (auto data = a.string("data")) {
      auto bytes = parseHex(*data);
      if (!bytes) return a.fail("bad hex in data=");
      f.data = *bytes;
      f.name = "Font";
    } else if (auto path = a.positional()) {
      std::string message;
      if (!loadFont(*path, f.data, message)) return a.fail(message);
      f.name = stemOf(*path);
    } else {
      return a.fail("font needs a PATH or data=");
    }
    if (auto name = a.string("name")) f.name = *name;
    if (a.flag("nodata")) f.data.clear();
    if (auto second = a.string("second")) f.secondPart.assign(second->begin(), second->end());
    if (auto second = a.string("secondhex")) {
      auto bytes = parseHex(*second);
      if (!bytes) return a.fail("bad hex in secondhex=");
      f.secondPart = *bytes;
    }
    if (!a.number("flags", f.flags) || !a.number("codepage", f.codePage) ||
        !a.number("id", f.objectId)) {
      return false;
    }
    b.fontFile(f);
    return true;
  }
  if (keyword == "blob") {
    std::uint32_t id = 0;
    std::uint64_t size = 0;
    if (!a.require("id") || !a.number("id", id) || !a.number("size", kMaxGenerated, size)) {
      return false;
    }
    bool reuse = a.flag("reuse");
    bool random = a.flag("random");
    bool longForm = a.flag("long");
    if (reuse == (size != 0)) {
      if (reuse) return a.fail("blob takes size= or reuse, not both");
      return a.fail("blob needs size=S or reuse");
    }
    std::vector<std::uint8_t> data =
        random ? pseudoRandom(id, size) : std::vector<std::uint8_t>(size);
    if (!random) {
      for (std::size_t i = 0; i < data.size(); ++i) data[i] = pattern(i);
    }
    b.blob(id, data, longForm);
    return true;
  }
  if (keyword == "points") {
    std::uint32_t id = 0, value = 0;
    std::uint64_t count = 0;
    if (!a.require("id") || !a.number("id", id) || !a.require("count") ||
        !a.number("count", kMaxGenerated / 8, count) || !a.number("value", value)) {
      return false;
    }
    b.pointList(id, value, static_cast<std::uint32_t>(count));
    return true;
  }
  if (keyword == "group") {
    std::uint32_t id = 0;
    if (!a.require("id") || !a.number("id", id)) return false;
    std::vector<GroupEntry> entries;
    if (auto list = a.string("entries")) {
      for (std::string_view e : splitOn(*list, ',')) {
        auto parts = splitOn(e, ':');
        GroupEntry entry;
        std::optional<std::uint64_t> v[3];
        for (std::size_t i = 0; i < parts.size() && i < 3; ++i) v[i] = parseNumber(parts[i]);
        if (parts.size() != 3 || !v[0] || !v[1] || !v[2] || *v[0] > 0xFFFFFFFF ||
            *v[1] > 0xFFFFFFFF || *v[2] > 0xFFFFFFFF) {
          return a.fail("group entries are ID:X:Y, got '" + std::string(e) + "'");
        }
        entries.push_back({static_cast<std::uint32_t>(*v[0]),
                           {static_cast<std::uint32_t>(*v[1]), static_cast<std::uint32_t>(*v[2])}});
      }
    }
    b.group(id, a.flag("replay"), entries);
    return true;
  }
  if (keyword == "replay" || keyword == "delete") {
    std::uint32_t id = 0;
    if (!a.require("id") || !a.number("id", id)) return false;
    if (keyword == "delete") return b.deleteObject(id), true;
    if (auto at = a.string("at")) {
      auto xy = splitOn(*at, ',');
      std::optional<std::uint64_t> x, y;
      if (xy.size() == 2) x = parseNumber(xy[0]), y = parseNumber(xy[1]);
      if (!x || !y || *x > 0xFFFFFFFF || *y > 0xFFFFFFFF) return a.fail("at= takes X,Y");
      b.replayAt(id, {static_cast<std::uint32_t>(*x), static_cast<std::uint32_t>(*y)});
    } else {
      b.replay(id);
    }
    return true;
  }
  if (keyword == "marker") {
    std::uint32_t kind = 0, value = 0;
    if (!a.require("kind") || !a.number("kind", kind) || !a.require("value") ||
        !a.number("value", value)) {
      return false;
    }
    b.marker(kind, value);
    return true;
  }
  if (keyword == "filler") {
    std::uint64_t count = 1;
    if (auto n = a.positional()) {
      auto v = parseNumber(*n);
      if (!v || *v > kMaxGenerated) return a.fail("bad filler count '" + *n + "'");
      count = *v;
    }
    b.filler(static_cast<std::size_t>(count));
    return true;
  }
  if (keyword == "record") {
    auto codeText = a.positional();
    std::optional<std::uint64_t> code = codeText ? parseNumber(*codeText) : std::nullopt;
    if (!code || *code > 255 || findCatalogueEntry(static_cast<std::uint8_t>(*code)) == nullptr) {
      return a.fail("record needs a catalogue code");
    }
    std::uint64_t size = 0;
    std::uint8_t fill = 0;
    if (!a.number("var", kMaxGenerated, size) || !a.number("fill", fill)) return false;
    std::vector<std::uint8_t> variable(size);
    for (std::size_t i = 0; i < variable.size(); ++i) variable[i] = pattern(i);
    if (!b.record(static_cast<std::uint8_t>(*code), variable, fill)) {
      return a.fail("this record code has no variable part");
    }
    return true;
  }
  if (keyword == "raw") {
    auto hex = a.positional();
    auto bytes = hex ? parseHex(*hex) : std::nullopt;
    if (!bytes) return a.fail("raw needs hexadecimal bytes");
    b.raw(*bytes);
    return true;
  }
  return a.fail("unknown statement '" + keyword + "'");
}

}  // namespace

bool buildFromDescription(std::string_view text, const FontLoader& loadFont,
                          std::vector<std::uint8_t>& file, DescriptionError& error) {
  MetaFileBuilder builder;
  MetaFileHeader header;
  bool haveHeader = false;
  bool explicitPages = false;
  int lineNumber = 0;
  for (std::string_view rest = text; !rest.empty() || lineNumber == 0;) {
    std::size_t nl = rest.find('\n');
    std::string_view line = rest.substr(0, nl);
    rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    std::vector<Token> tokens;
    std::string message;
    if (!tokenize(line, tokens, message)) {
      error = {lineNumber, message};
      return false;
    }
    if (tokens.empty()) continue;
    if (tokens[0].hasValue) {
      error = {lineNumber, "a statement starts with its keyword"};
      return false;
    }
    std::string keyword = tokens[0].key;
    tokens.erase(tokens.begin());
    Arguments args(std::move(tokens));
    bool ok = statement(keyword, args, loadFont, builder, header, haveHeader, explicitPages);
    if (!args.finish(message) || !ok) {
      error = {lineNumber, message.empty() ? "bad statement" : message};
      return false;
    }
  }
  if (!explicitPages) header.pageCountPlusOne = builder.pages() + 1;
  file = builder.file(header);
  return true;
}

}  // namespace spool
