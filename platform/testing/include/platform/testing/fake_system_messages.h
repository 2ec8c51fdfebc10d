// Error texts from a map the test may change (erase a code to make its text
// missing); it starts with the system's own texts.
#pragma once

#include <map>
#include <string>

#include "platform/system_messages.h"

namespace platform::testing {

class FakeSystemMessages : public SystemMessages {
 public:
  FakeSystemMessages();
  std::map<ErrorCode, std::string> texts;
  std::optional<std::string> message(ErrorCode code) override;
};

}  // namespace platform::testing
