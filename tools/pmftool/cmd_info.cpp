// pmftool info FILE [--json]: the header, what the records hold, and the
// statistics the producer stored.
#include <iostream>
#include <sstream>

#include "inspect.h"
#include "spool/catalogue.h"

namespace pmftool {

namespace {

const char* const kKindNames[kObjectKinds] = {"blob", "text", "font", "point list", "group"};
const char* const kKindKeys[kObjectKinds] = {"blob", "text", "font", "pointList", "group"};

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u >= 0x7F) {
      // Names are ANSI text in an unknown code page: bytes, not characters.
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04X", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void printJson(const std::string& path, const Inspection& r, std::ostream& out) {
  const spool::MetaFileHeader& h = r.header;
  out << "{\n  \"file\": " << jsonString(path) << ",\n  \"size\": " << r.fileSize
      << ",\n  \"header\": {\"version\": " << h.version << ", \"compressed\": " << h.compressed
      << ", \"recordSetParameter\": " << h.recordSetParameter << ", \"recordSet\": " << h.recordSet
      << ", \"pageCountPlusOne\": " << h.pageCountPlusOne << ", \"sizeRatio\": " << +h.sizeRatio
      << ", \"blobRatio\": " << +h.blobRatio << ", \"textObjectRatio\": " << +h.textObjectRatio
      << ", \"pointListRatio\": " << +h.pointListRatio
      << "},\n  \"recordStreamBytes\": " << r.recordBytes << ",\n  \"records\": " << r.records
      << ",\n  \"recordsByCode\": {";
  bool first = true;
  for (const spool::CatalogueEntry& e : spool::catalogue()) {
    if (r.counts[e.code] == 0) continue;
    out << (first ? "" : ", ") << "\"" << +e.code << "\": " << r.counts[e.code];
    first = false;
  }
  out << "},\n  \"pages\": " << r.pages << ",\n  \"fonts\": [";
  first = true;
  for (const FontInfo& f : r.fonts) {
    out << (first ? "\n" : ",\n") << "    {\"offset\": " << f.offset << ", \"code\": " << +f.code
        << ", \"name\": " << jsonString(f.name);
    if (f.objectId) out << ", \"objectId\": " << *f.objectId;
    out << ", \"flags\": " << f.flags << ", \"codePage\": " << f.codePage
        << ", \"dataLength\": " << f.dataLength << ", \"secondPartLength\": " << f.secondPartLength
        << "}";
    first = false;
  }
  out << (first ? "" : "\n  ") << "],\n  \"objects\": {\"defined\": {";
  for (int k = 0; k < kObjectKinds; ++k) {
    out << (k ? ", " : "") << "\"" << kKindKeys[k] << "\": " << r.defined[k];
  }
  out << "}, \"blobReuses\": " << r.blobReuses << ", \"replays\": " << r.replays
      << ", \"deletes\": " << r.deletes << "}\n}\n";
}

void printText(const std::string& path, const Inspection& r, std::ostream& out) {
  const spool::MetaFileHeader& h = r.header;
  out << "file: " << path << " (" << r.fileSize << " bytes)\n"
      << "header: version " << h.version << ", compressed " << h.compressed
      << (h.isCompressed() ? " (zlib body)" : " (plain body)") << ", recordSetParameter "
      << h.recordSetParameter << ", recordSet " << h.recordSet << "\n";
  if (h.isLong()) {
    out << "stored statistics"
        << (h.version < spool::kStatisticsVersion ? " (not promised below version 5)" : "")
        << ": pageCountPlusOne " << h.pageCountPlusOne << ", sizeRatio " << +h.sizeRatio
        << "%, blobRatio " << +h.blobRatio << "%, textObjectRatio " << +h.textObjectRatio
        << "%, pointListRatio " << +h.pointListRatio << "%\n";
  } else {
    out << "stored statistics: none (short header)\n";
  }
  out << "record stream: " << r.recordBytes << " bytes in " << r.records << " records\n"
      << "pages: " << r.pages << "\nrecords by code:\n";
  for (const spool::CatalogueEntry& e : spool::catalogue()) {
    if (r.counts[e.code] == 0) continue;
    out << "  " << (e.code < 10 ? " " : "") << +e.code << " " << e.name << ": " << r.counts[e.code]
        << "\n";
  }
  out << "fonts: " << r.fonts.size() << "\n";
  for (const FontInfo& f : r.fonts) {
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%X", f.flags);
    out << "  " << quoted(f.name) << " code " << +f.code;
    if (f.objectId) out << " id " << *f.objectId;
    out << " flags " << flags << " codepage " << f.codePage << " data " << f.dataLength
        << " bytes second part " << f.secondPartLength << " bytes\n";
  }
  out << "objects defined:";
  for (int k = 0; k < kObjectKinds; ++k)
    out << (k ? ", " : " ") << kKindNames[k] << " " << r.defined[k];
  out << "\nobjects used again: blob reuses " << r.blobReuses << ", replays " << r.replays
      << ", deletes " << r.deletes << "\n";
}

}  // namespace

int info(const Args& args, std::ostream& out, std::ostream& err) {
  bool json = false;
  std::string path;
  for (const std::string& a : args) {
    if (a == "--json") {
      json = true;
    } else if (path.empty() && !a.empty() && a[0] != '-') {
      path = a;
    } else {
      err << "usage: pmftool info FILE [--json]\n";
      return 2;
    }
  }
  if (path.empty()) {
    err << "usage: pmftool info FILE [--json]\n";
    return 2;
  }
  std::vector<std::uint8_t> bytes;
  std::string error;
  Inspection result;
  if (!readWholeFile(path, bytes, error) || !inspect(bytes, false, nullptr, result, error)) {
    err << "pmftool: " << path << ": " << error << "\n";
    return 1;
  }
  if (json) {
    printJson(path, result, out);
  } else {
    printText(path, result, out);
  }
  return 0;
}

int runInfo(const Args& args) { return info(args, std::cout, std::cerr); }

}  // namespace pmftool
