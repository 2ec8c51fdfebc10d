// pmftool dump FILE: one line per record with its record stream offset, code,
// name, fixed and variable length and the fields the system reads.
#include <iomanip>
#include <iostream>

#include "inspect.h"

namespace pmftool {

int dump(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) {
    err << "usage: pmftool dump FILE\n";
    return 2;
  }
  const std::string& path = args[0];
  std::vector<std::uint8_t> bytes;
  std::string error;
  Inspection result;
  bool headerShown = false;
  auto line = [&](const spool::RecordReader& reader, const spool::Record& record) {
    if (!headerShown) {
      const spool::MetaFileHeader& h = reader.header();
      out << "header version=" << h.version << " compressed=" << h.compressed
          << " recordSetParameter=" << h.recordSetParameter << " recordSet=" << h.recordSet << "\n";
      headerShown = true;
    }
    const spool::RecordSetEntry& e = *record.entry;
    const spool::CatalogueEntry* c = spool::findCatalogueEntry(e.code);
    out << std::setw(10) << record.streamOffset << "  " << std::setw(2) << +e.code << " "
        << std::left << std::setw(24) << (c ? c->name : "?") << std::right
        << " fixed=" << +e.fixedLength << " var=" << record.size() - e.fixedLength
        << describeFields(reader, record) << "\n";
    return true;
  };
  bool ok = readWholeFile(path, bytes, error) && inspect(bytes, false, line, result, error);
  if (!ok) {
    out.flush();
    err << "pmftool: " << path << ": " << error << "\n";
    return 1;
  }
  if (!headerShown) {
    const spool::MetaFileHeader& h = result.header;
    out << "header version=" << h.version << " compressed=" << h.compressed
        << " recordSetParameter=" << h.recordSetParameter << " recordSet=" << h.recordSet << "\n";
  }
  return 0;
}

int runDump(const Args& args) { return dump(args, std::cout, std::cerr); }

}  // namespace pmftool
