#include "platform/command_line.h"

namespace platform {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
  std::vector<std::string> arguments;
  std::size_t i = 0;
  while (i < line.size() && isBlank(line[i])) ++i;
  if (i == line.size()) return arguments;

  // The program name: no escapes, since a path may end in a backslash.
  std::string program;
  if (line[i] == '"') {
    ++i;
    while (i < line.size() && line[i] != '"') program.push_back(line[i++]);
    if (i < line.size()) ++i;
  }
  while (i < line.size() && !isBlank(line[i])) program.push_back(line[i++]);
  arguments.push_back(std::move(program));

  while (true) {
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i == line.size()) break;
    std::string argument;
    bool quoted = false;
    while (i < line.size() && (quoted || !isBlank(line[i]))) {
      if (line[i] == '\\') {
        std::size_t count = 0;
        while (i < line.size() && line[i] == '\\') ++count, ++i;
        if (i < line.size() && line[i] == '"') {
          argument.append(count / 2, '\\');
          if (count % 2 == 1) {
            argument.push_back('"');
            ++i;
          }
        } else {
          argument.append(count, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          argument.push_back('"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument.push_back(line[i++]);
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

std::string quoteCommandLineArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos) {
    return std::string(argument);
  }
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(2 * backslashes + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out.push_back(c);
  }
  // Backslashes before the closing quote are doubled so that they stay text.
  out.append(2 * backslashes, '\\');
  out.push_back('"');
  return out;
}

std::string quoteToken(std::string_view argument) {
  if (!argument.empty() && argument.find(' ') == std::string_view::npos &&
      argument.front() != '"' && argument.front() != '\'') {
    return std::string(argument);
  }
  if (argument.empty()) return "\"\"";
  char quote = argument.front() == '"' ? '\'' : '"';
  std::string out(1, quote);
  for (char c : argument) {
    if (c == quote) {
      out.push_back(quote);
      quote = quote == '"' ? '\'' : '"';
      out.push_back(quote);
    }
    out.push_back(c);
  }
  out.push_back(quote);
  return out;
}

std::string joinTokens(const std::vector<std::string>& arguments) {
  std::string out;
  for (const std::string& argument : arguments) {
    if (!out.empty() || &argument != &arguments.front()) out.push_back(' ');
    out += quoteToken(argument);
  }
  return out;
}

}  // namespace platform
