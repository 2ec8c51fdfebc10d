#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheWindowsRules) {
  const struct {
    const char* line;
    Args expected;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      {"prog", {"prog"}},
      {"\"C:\\Program Files\\b.exe\" \"%1\"", {"C:\\Program Files\\b.exe", "%1"}},
      // The program name knows no escapes: a trailing backslash stays.
      {"\"C:\\dir\\\" next", {"C:\\dir\\", "next"}},
      {"p a\tb   c", {"p", "a", "b", "c"}},
      {"p \"a b\" c", {"p", "a b", "c"}},
      {"p a\"b c\"d", {"p", "ab cd"}},
      {"p \\\\server\\share", {"p", "\\\\server\\share"}},
      {"p a\\\\\"b c\"", {"p", "a\\b c"}},
      {"p a\\\"b", {"p", "a\"b"}},
      {"p a\\\\\\\"b", {"p", "a\\\"b"}},
      {"p \"\" x", {"p", "", "x"}},
      {"p \"a\"\"b\"", {"p", "a\"b"}},
      {"p \"unclosed rest", {"p", "unclosed rest"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(splitCommandLine(c.line), c.expected) << c.line;
  }
}

// Awkward arguments shared by both round trips.
const Args kAwkward = {
    "plain",
    "with space",
    "",
    "\"",
    "'",
    "\"'\"",
    "a\"b",
    "'start",
    "\"start",
    "end\\",
    "back\\\\slash\\",
    "tab\there",
    "two  spaces",
    "\\\"",
    "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC",
    "--=%1",
    " lead",
    "trail ",
};

TEST(QuoteCommandLineArgument, SplitGivesEveryArgumentBack) {
  Args all = {"/usr/bin/program"};
  all.insert(all.end(), kAwkward.begin(), kAwkward.end());
  std::string line = "/usr/bin/program";
  for (const std::string& argument : kAwkward) line += " " + quoteCommandLineArgument(argument);
  EXPECT_EQ(splitCommandLine(line), all) << line;
}

// The uploader's way of reading one token: space-separated, quoted sections
// of either kind that join when they follow each other, no escapes.
std::string readToken(std::string_view& cursor) {
  while (!cursor.empty() && cursor.front() == ' ') cursor.remove_prefix(1);
  std::string token;
  char quote = 0;
  if (!cursor.empty() && (cursor.front() == '"' || cursor.front() == '\'')) {
    quote = cursor.front();
    cursor.remove_prefix(1);
  }
  while (!cursor.empty()) {
    const char c = cursor.front();
    if (quote == 0 && c == ' ') break;
    cursor.remove_prefix(1);
    if (quote != 0 && c == quote) {
      quote = 0;
      if (!cursor.empty() && (cursor.front() == '"' || cursor.front() == '\'')) {
        quote = cursor.front();
        cursor.remove_prefix(1);
      }
      continue;
    }
    token.push_back(c);
  }
  return token;
}

TEST(JoinTokens, TheTokenReaderGivesEveryArgumentBack) {
  Args all = {"/opt/with space/Dravik"};
  all.insert(all.end(), kAwkward.begin(), kAwkward.end());
  const std::string line = joinTokens(all);
  std::string_view cursor = line;
  Args read;
  for (std::size_t i = 0; i < all.size(); ++i) read.push_back(readToken(cursor));
  EXPECT_EQ(read, all) << line;
  EXPECT_TRUE(cursor.empty()) << line;
}

TEST(QuoteToken, WritesTheShortestReadableForm) {
  const struct {
    const char* argument;
    const char* quoted;
  } cases[] = {
      {"-file", "-file"}, {"a\"b", "a\"b"},  // a quote inside a plain token is ordinary
      {"a b", "\"a b\""}, {"", "\"\""},     {"say \"hi\"", "\"say \"'\"hi\"'"},
      {"'x'", "\"'x'\""}, {"\"x", "'\"x'"},
  };
  for (const auto& c : cases) EXPECT_EQ(quoteToken(c.argument), c.quoted) << c.argument;
}

}  // namespace
}  // namespace platform
