// A desktop that records every message box and answers from a queue.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace platform::testing {

class ScriptedDesktop : public Desktop {
 public:
  struct Box {
    std::string text;
    std::string caption;
    std::uint32_t style;
  };

  std::vector<Box> boxes;
  // The answers of the coming boxes in order; IDOK once it is empty.
  std::deque<int> answers;
  // While set, no box can be shown: messageBox records nothing and returns 0.
  bool failing = false;

  int messageBox(std::string_view text, std::string_view caption, std::uint32_t style) override;
};

}  // namespace platform::testing
