// pmftool: look into, make and shrink printer meta files, and subset fonts by hand.
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace {

struct Command {
  const char* name;
  int (*run)(const pmftool::Args&);
  const char* usage;
};

constexpr Command kCommands[] = {
    {"info", pmftool::runInfo, "info FILE [--json]"},
    {"dump", pmftool::runDump, "dump FILE"},
    {"build", pmftool::runBuild, "build DESCRIPTION OUT"},
    {"fonts", pmftool::runFonts, "fonts FILE DIR"},
    {"subset", pmftool::runSubset, "subset FONT OUT (--text TEXT | --codes HEX[,HEX...])"},
    {"shrink", pmftool::runShrink, "shrink FILE [--dry-run]"},
};

int usage() {
  std::fputs("usage: pmftool COMMAND ...\n", stderr);
  for (const Command& c : kCommands) std::fprintf(stderr, "  pmftool %s\n", c.usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) == 0) return c.run(pmftool::Args(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "pmftool: unknown command '%s'\n", argv[1]);
  return usage();
}
