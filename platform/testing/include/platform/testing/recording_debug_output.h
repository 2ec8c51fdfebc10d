// Keeps every text written to the debugger output.
#pragma once

#include <string>
#include <vector>

#include "platform/debug_output.h"

namespace platform::testing {

class RecordingDebugOutput : public DebugOutput {
 public:
  // One entry per write, as written.
  std::vector<std::string> lines;
  void write(std::string_view text) override { lines.emplace_back(text); }
};

}  // namespace platform::testing
