// Stands in for pmftool subset in builds without the TrueType subsetter.
#include <cstdio>

#include "commands.h"

namespace pmftool {

int runSubset(const Args&) {
  std::fputs("pmftool subset: not available in this build\n", stderr);
  return 2;
}

}  // namespace pmftool
