// The name a subset font travels under in the rewritten document.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/code_pages.h"
#include "spool/le_bytes.h"

namespace passes {

// A record name holds at most 79 UTF-16 units, and 80 bytes with its NUL.
inline constexpr std::size_t kMaxNameUnits = 79;
inline constexpr std::size_t kMaxNameBytes = 80;

// The font's full name (the first name record of platform 3, language 0x0409,
// name id 4) in the ANSI code page, without the NUL. Nothing when the font
// has no such record, when it is empty, too long, holds a NUL or does not
// convert exactly: a record name that is not the font's own would tie the
// records to another font.
std::optional<std::string> recordNameOf(spool::Bytes font, platform::CodePages& codePages);

}  // namespace passes
