// The Western European ANSI code page as a table, for systems and tests that
// have no converter of their own.
#pragma once

#include <string>
#include <string_view>

namespace platform::detail {

void cp1252ToUtf16(std::string_view text, std::u16string& out);
// Returns true when some character had no byte and became '?'.
bool utf16ToCp1252(std::u16string_view text, std::string& out);

}  // namespace platform::detail
