// Message boxes.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/errors.h"

namespace platform {

class Desktop {
 public:
  virtual ~Desktop() = default;

  // Shows a modal box owned by the desktop and returns the button chosen
  // (IDOK, IDCANCEL, ...), or 0 when no box could be shown. `style` holds the
  // MB_* button and icon bits.
  virtual int messageBox(std::string_view text, std::string_view caption, std::uint32_t style) = 0;
};

}  // namespace platform
