// %NAME% expansion of environment references, shared by every Environment.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform::detail {

using VariableLookup = std::function<std::optional<std::string>(std::string_view name)>;

// Replaces each %NAME% whose variable is set; an unknown name keeps its
// percent signs and the scan goes on after it; a lone % stays.
std::string expandEnvironmentStrings(std::string_view text, const VariableLookup& lookup);

}  // namespace platform::detail
