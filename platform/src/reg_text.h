// Reading registry exports in the Windows .reg text format into a tree.
#pragma once

#include <cstddef>
#include <string_view>

#include "registry_tree.h"

namespace platform::detail {

struct RegTextResult {
  // ERROR_SUCCESS, or ERROR_INVALID_DATA when the header is missing (nothing
  // is applied) or some line could not be read (that line is skipped).
  ErrorCode code = ERROR_SUCCESS;
  std::size_t firstBadLine = 0;  // 1-based; 0 when every line was read
};

// Applies the keys, values and deletions of `text` to `tree`. The text is
// UTF-8 (a UTF-8 byte-order mark is skipped) or UTF-16LE with its mark, as
// the editor writes it; strings come out as UTF-8.
RegTextResult applyRegText(std::string_view text, RegistryTree& tree);

}  // namespace platform::detail
