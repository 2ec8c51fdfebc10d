// pmftool fonts FILE DIR: writes out every embedded font that carries data,
// numbered in file order, as NN-NAME.ttf (.bin when not flagged TrueType).
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "inspect.h"
#include "spool/layouts.h"

namespace pmftool {

namespace {

std::string fileNameFor(std::size_t index, const FontInfo& f) {
  std::ostringstream s;
  s << std::setw(2) << std::setfill('0') << index << "-";
  std::string name;
  for (char c : f.name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '_';
    name += plain ? c : '_';
  }
  s << (name.empty() ? "font" : name) << ((f.flags & spool::kTrueTypeFont) ? ".ttf" : ".bin");
  return s.str();
}

}  // namespace

int fonts(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) {
    err << "usage: pmftool fonts FILE DIR\n";
    return 2;
  }
  const std::string& path = args[0];
  const std::filesystem::path dir(args[1]);
  std::vector<std::uint8_t> bytes;
  std::string error;
  Inspection result;
  if (!readWholeFile(path, bytes, error) || !inspect(bytes, true, nullptr, result, error)) {
    err << "pmftool: " << path << ": " << error << "\n";
    return 1;
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    err << "pmftool: " << dir.string() << ": " << ec.message() << "\n";
    return 1;
  }
  std::size_t index = 0;
  for (const FontInfo& f : result.fonts) {
    if (f.data.empty()) continue;
    const std::filesystem::path target = dir / fileNameFor(++index, f);
    std::ofstream o(target, std::ios::binary | std::ios::trunc);
    o.write(reinterpret_cast<const char*>(f.data.data()),
            static_cast<std::streamsize>(f.data.size()));
    o.close();
    if (!o) {
      err << "pmftool: " << target.string() << ": cannot write\n";
      return 1;
    }
    out << target.string() << " " << quoted(f.name) << " " << f.data.size() << " bytes\n";
  }
  if (index == 0) out << "no embedded font carries data\n";
  return 0;
}

int runFonts(const Args& args) { return fonts(args, std::cout, std::cerr); }

}  // namespace pmftool
