#include "platform/testing/scripted_desktop.h"

namespace platform::testing {

int ScriptedDesktop::messageBox(std::string_view text, std::string_view caption,
                                std::uint32_t style) {
  if (failing) return 0;
  boxes.push_back({std::string(text), std::string(caption), style});
  if (answers.empty()) return IDOK;
  const int answer = answers.front();
  answers.pop_front();
  return answer;
}

}  // namespace platform::testing
