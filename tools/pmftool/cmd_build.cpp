// pmftool build DESCRIPTION OUT: a printer meta file from a text description
// (the language is described in fontsubset/spool/description.cpp and README.md).
#include <filesystem>
#include <fstream>
#include <iostream>

#include "inspect.h"
#include "spool/description.h"

namespace pmftool {

int build(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) {
    err << "usage: pmftool build DESCRIPTION OUT\n";
    return 2;
  }
  const std::string& descriptionPath = args[0];
  const std::string& outPath = args[1];
  std::vector<std::uint8_t> text;
  std::string error;
  if (!readWholeFile(descriptionPath, text, error)) {
    err << "pmftool: " << descriptionPath << ": " << error << "\n";
    return 1;
  }
  // Font paths in a description are relative to the description itself.
  const std::filesystem::path base = std::filesystem::path(descriptionPath).parent_path();
  auto loadFont = [&](const std::string& path, std::vector<std::uint8_t>& data, std::string& why) {
    std::filesystem::path p(path);
    if (p.is_relative()) p = base / p;
    if (readWholeFile(p.string(), data, why)) return true;
    why = "cannot read font file " + p.string();
    return false;
  };
  std::vector<std::uint8_t> file;
  spool::DescriptionError bad;
  if (!spool::buildFromDescription(
          std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), loadFont, file,
          bad)) {
    err << "pmftool: " << descriptionPath << ":" << bad.line << ": " << bad.message << "\n";
    return 1;
  }
  std::ofstream o(outPath, std::ios::binary | std::ios::trunc);
  o.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  o.close();
  if (!o) {
    err << "pmftool: " << outPath << ": cannot write\n";
    return 1;
  }
  out << "wrote " << outPath << " (" << file.size() << " bytes)\n";
  return 0;
}

int runBuild(const Args& args) { return build(args, std::cout, std::cerr); }

}  // namespace pmftool
