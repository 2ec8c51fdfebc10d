#include "uploader/options.h"

#include <gtest/gtest.h>

#include <string>

namespace uploader {
namespace {

struct FindCase {
  const char* description;
  std::string line;
  std::string_view name;
  std::size_t capacity;
  std::string value;
  std::size_t length;
};

TEST(FindOption, ReadsTheValueOfTheFirstExactMatch) {
  const std::string longPath(300, 'p');
  const FindCase cases[] = {
      {"plain value", "Dravik -file a.pmf -server http://h", "-server", 1024, "http://h", 8},
      {"absent", "Dravik -server s", "-file", 260, "", 0},
      {"program name only", "Dravik", "-file", 260, "", 0},
      {"empty line", "", "-file", 260, "", 0},
      {"first of two wins", "Dravik -lang de -lang fr", "-lang", 128, "de", 2},
      {"longer name is another option", "Dravik -filex a -file b", "-file", 260, "b", 1},
      {"names are case-sensitive", "Dravik -FILE a", "-file", 260, "", 0},
      {"last token has no value", "Dravik -server s -lang", "-lang", 128, "", 0},
      {"valueless option swallows the next name", "Dravik -delete -server http://h", "-server",
       1024, "", 0},
      {"...and that name is its value", "Dravik -delete -server http://h", "-delete", 128,
       "-server", 7},
      {"value may start with a dash", "Dravik -lang -x", "-lang", 128, "-x", 2},
      {"quoted program path is passed over", "\"C:\\Dravik dir\\Dravik.exe\" -file a", "-file", 260,
       "a", 1},
      {"an option inside the quoted program path is not one",
       "\"C:\\x -file y\\Dravik.exe\" -file a", "-file", 260, "a", 1},
      {"stray words are skipped one at a time", "Dravik stray -file a", "-file", 260, "a", 1},
      {"tab does not separate", "Dravik -file\tpath", "-file", 260, "", 0},
      {"double quotes keep spaces", "Dravik -file \"C:\\My Docs\\a b.pmf\"", "-file", 260,
       "C:\\My Docs\\a b.pmf", 18},
      {"unclosed quote takes the rest", "Dravik -file \"a b -server s", "-file", 260,
       "a b -server s", 13},
      {"long value is cut, length is not", "Dravik -file " + longPath, "-file", 260,
       longPath.substr(0, 259), 300},
      {"many spaces between tokens", "Dravik    -lang     de   ", "-lang", 128, "de", 2},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(c.description);
    std::string value = "junk that must go";
    EXPECT_EQ(FindOption(c.line, c.name, &value, c.capacity), c.length);
    EXPECT_EQ(value, c.value);
  }
}

struct TokenCase {
  std::string_view line;
  std::size_t capacity;
  std::string token;
  std::size_t length;
  std::size_t cursorAfter;
};

TEST(ReadToken, QuotesJoinAndCountEveryCharacter) {
  const TokenCase cases[] = {
      {"  abc def", 16, "abc", 3, 5},
      {"\"a b\"'c d' rest", 16, "a bc d", 6, 10},
      {"'it\"s' x", 16, "it\"s", 4, 6},
      {"ab\"c d", 16, "ab\"c", 4, 4},
      {"\"a b\"c d", 16, "a bc", 4, 6},
      {"\"\" x", 16, "", 0, 2},
      {"C:\\a\\b\\ x", 16, "C:\\a\\b\\", 7, 7},
      {"abcdef", 4, "abc", 6, 6},
      {"abcdef", 1, "", 6, 6},
      {"   ", 16, "", 0, 3},
  };
  for (const TokenCase& c : cases) {
    SCOPED_TRACE(std::string(c.line));
    std::size_t cursor = 0;
    std::string token = "junk";
    EXPECT_EQ(ReadToken(c.line, cursor, &token, c.capacity), c.length);
    EXPECT_EQ(token, c.token);
    EXPECT_EQ(cursor, c.cursorAfter);
  }
}

TEST(ReadToken, SkipsWithoutABuffer) {
  std::size_t cursor = 0;
  EXPECT_EQ(ReadToken("\"a b\" c", cursor, nullptr, 0), 3u);
  EXPECT_EQ(cursor, 5u);
}

TEST(OptionValues, NumbersAndSwitches) {
  const std::pair<std::string_view, std::uint32_t> digits[] = {{"1m30", 130},
                                                               {"8", 8},
                                                               {"0", 0},
                                                               {"", 0},
                                                               {"none", 0},
                                                               {" 6 4 ", 64},
                                                               {"4294967295", 4294967295u}};
  for (const auto& [text, value] : digits) {
    SCOPED_TRACE(std::string(text));
    EXPECT_EQ(ParseDigits(text), value);
  }
  const std::pair<std::string_view, std::int32_t> levels[] = {{"3x", 3}, {"x3", 0},  {"6", 6},
                                                              {"", 0},   {"12", 12}, {" 1", 0}};
  for (const auto& [text, value] : levels) {
    SCOPED_TRACE(std::string(text));
    EXPECT_EQ(ParseLeadingDigits(text), value);
  }
  for (const std::string_view off : {"no", "NO", "No", "nO"}) EXPECT_TRUE(IsSwitchedOff(off));
  for (const std::string_view on : {"", "n", "nope", "no ", "yes", "0"}) {
    EXPECT_FALSE(IsSwitchedOff(on)) << on;
  }
}

}  // namespace
}  // namespace uploader
