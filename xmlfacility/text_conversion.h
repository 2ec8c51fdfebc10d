// Conversions between the system's ANSI code page and UTF-8 at the facility's
// edges. Text made only of ASCII bytes reads the same in both and is passed
// through without asking the system.
#pragma once

#include <string>
#include <string_view>

namespace xmlfacility {

bool isAscii(std::string_view text);

// Sets `out` to the converted text, which lives in `scratch` or, for ASCII
// text, is `text` itself. False when the system could not convert.
bool ansiToUtf8(std::string_view text, std::string& scratch, std::string_view& out);
bool utf8ToAnsi(std::string_view text, std::string& scratch, std::string_view& out);

}  // namespace xmlfacility
