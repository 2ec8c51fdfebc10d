// The small text pieces every backend shares: UTF conversions, the 1252
// table, %NAME% expansion and the own error texts.
#include <gtest/gtest.h>

#include "code_page_1252.h"
#include "expand_strings.h"
#include "message_table.h"
#include "utf.h"

namespace platform::detail {
namespace {

TEST(Utf8ToUtf16, EachBrokenSequenceBecomesOneReplacementCharacter) {
  const struct {
    std::string in;
    std::u16string out;
    bool invalid;
  } cases[] = {
      {"abc", u"abc", false},
      {"\xC3\xA9\xE2\x82\xAC", u"\u00E9\u20AC", false},
      {"\xF0\x9F\x98\x80", u"\U0001F600", false},
      {"a\xFFz", u"a\uFFFDz", true},
      {"\xC0\xAF", u"\uFFFD\uFFFD", true},  // overlong forms never pass
      {"\xE0\x80\xAF", u"\uFFFD", true},
      {"\xED\xA0\x80", u"\uFFFD", true},      // an encoded surrogate
      {"\xE2\x82", u"\uFFFD", true},          // cut short at the end
      {"\xE2\x82z", u"\uFFFDz", true},        // the next character survives
      {"\xF4\x90\x80\x80", u"\uFFFD", true},  // beyond U+10FFFF
  };
  for (const auto& c : cases) {
    std::u16string out;
    EXPECT_EQ(utf8ToUtf16(c.in, out), c.invalid) << c.in;
    EXPECT_EQ(out, c.out) << c.in;
  }
}

TEST(Utf16ToUtf8, PairsJoinAndLoneSurrogatesAreReplaced) {
  std::string out;
  EXPECT_FALSE(utf16ToUtf8(u"\U0001F600\u00E9", out));
  EXPECT_EQ(out, "\xF0\x9F\x98\x80\xC3\xA9");
  EXPECT_TRUE(utf16ToUtf8(std::u16string{0xD800, u'a', 0xDC00}, out));
  EXPECT_EQ(out,
            "\xEF\xBF\xBD"
            "a\xEF\xBF\xBD");
  EXPECT_TRUE(utf16leBytesToUtf8(std::string("a\0b", 3), out));
  EXPECT_EQ(out, "a\xEF\xBF\xBD");
}

TEST(CodePage1252, MapsTheWindowsRangeAndReplacesWhatItLacks) {
  std::u16string wide;
  cp1252ToUtf16("\x80\x81\x9F\xE9", wide);
  EXPECT_EQ(wide, u"\u20AC\u0081\u0178\u00E9");
  std::string narrow;
  EXPECT_FALSE(utf16ToCp1252(wide, narrow));
  EXPECT_EQ(narrow, "\x80\x81\x9F\xE9");
  EXPECT_TRUE(utf16ToCp1252(u"\u0100\U0001F600x", narrow));
  EXPECT_EQ(narrow, "??x");
}

TEST(ExpandEnvironmentStrings, ReplacesKnownNamesOnly) {
  const VariableLookup lookup = [](std::string_view name) -> std::optional<std::string> {
    if (name == "A") return std::string("1");
    if (name == "EMPTY") return std::string();
    return std::nullopt;
  };
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"", ""},
      {"%A%", "1"},
      {"x%A%y%A%", "x1y1"},
      {"%UNSET%", "%UNSET%"},
      {"%UNSET%A%", "%UNSET1"},
      {"100%", "100%"},
      {"%%", "%%"},
      {"[%EMPTY%]", "[]"},
      {"%A", "%A"},
  };
  for (const auto& c : cases) EXPECT_EQ(expandEnvironmentStrings(c.in, lookup), c.out) << c.in;
}

TEST(OwnMessages, WrappedWin32CodesReadAsTheCodeItself) {
  EXPECT_EQ(ownMessage(hresultFromWin32(ERROR_FILE_NOT_FOUND)), ownMessage(ERROR_FILE_NOT_FOUND));
  EXPECT_NE(ownMessage(E_OUTOFMEMORY), ownMessage(ERROR_OUTOFMEMORY));
  EXPECT_EQ(ownMessage(0x1234567u), std::nullopt);
}

}  // namespace
}  // namespace platform::detail
