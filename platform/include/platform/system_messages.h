// The text of an error code.
#pragma once

#include <optional>
#include <string>

#include "platform/errors.h"

namespace platform {

class SystemMessages {
 public:
  virtual ~SystemMessages() = default;

  // The message for a Win32, WinINet or HRESULT code, without a trailing line
  // break, or nothing when the system has no text for it.
  virtual std::optional<std::string> message(ErrorCode code) = 0;
};

}  // namespace platform
