// Developers' lines (the system debugger output).
#pragma once

#include <string_view>

namespace platform {

class DebugOutput {
 public:
  virtual ~DebugOutput() = default;
  virtual void write(std::string_view text) = 0;
};

}  // namespace platform
