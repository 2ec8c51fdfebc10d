// UTF-8 and UTF-16 conversions done the way Windows does them: every byte
// sequence that is not valid UTF-8 and every unpaired surrogate becomes one
// U+FFFD, so a conversion never fails and never drops text silently.
#pragma once

#include <string>
#include <string_view>

namespace platform::detail {

// Returns true when the input held something invalid (replaced by U+FFFD).
bool utf8ToUtf16(std::string_view text, std::u16string& out);
bool utf16ToUtf8(std::u16string_view text, std::string& out);

// Reads UTF-16LE bytes (an odd trailing byte is invalid).
bool utf16leBytesToUtf8(std::string_view bytes, std::string& out);

}  // namespace platform::detail
