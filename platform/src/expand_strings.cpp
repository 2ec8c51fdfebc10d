#include "expand_strings.h"

namespace platform::detail {

std::string expandEnvironmentStrings(std::string_view text, const VariableLookup& lookup) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('%', i);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(i, open - i));
    const std::string_view name = text.substr(open + 1, close - open - 1);
    std::optional<std::string> value;
    if (!name.empty()) value = lookup(name);
    if (value) {
      out += *value;
      i = close + 1;
    } else {
      // The closing % may open the next reference, as in %UNSET%PATH%.
      out.append(text.substr(open, close - open));
      i = close;
    }
  }
  out.append(text.substr(i));
  return out;
}

}  // namespace platform::detail
