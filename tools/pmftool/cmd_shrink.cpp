// pmftool shrink: the scan and rewrite passes it needs are not built yet.
#include <cstdio>

#include "commands.h"

namespace pmftool {

int runShrink(const Args&) {
  std::fputs("pmftool shrink: not available yet\n", stderr);
  return 2;
}

}  // namespace pmftool
