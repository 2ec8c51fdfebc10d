// The system's own short text for each code it produces, shared by every
// backend: the POSIX backend answers from it alone, a Windows backend falls
// back to it when the system has no text.
#pragma once

#include <optional>
#include <string_view>

#include "platform/errors.h"

namespace platform::detail {

std::optional<std::string_view> ownMessage(ErrorCode code);

// Calls `visit` with every code the table has a text for, and that text.
void forEachOwnMessage(void (*visit)(ErrorCode code, std::string_view text, void* context),
                       void* context);

}  // namespace platform::detail
