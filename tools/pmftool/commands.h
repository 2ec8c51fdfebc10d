// pmftool's commands. Each takes the arguments after its own name and returns
// the process exit code (0 success, 1 bad input or failure, 2 wrong usage).
#pragma once

#include <string>
#include <vector>

namespace pmftool {

using Args = std::vector<std::string>;

int runInfo(const Args& args);    // info FILE [--json]
int runDump(const Args& args);    // dump FILE
int runBuild(const Args& args);   // build DESCRIPTION OUT
int runFonts(const Args& args);   // fonts FILE DIR
int runSubset(const Args& args);  // subset FONT OUT (--text TEXT | --codes HEX,...)
int runShrink(const Args& args);  // shrink FILE [--dry-run]

}  // namespace pmftool
