#include "uploader/options.h"

#include "platform/environment.h"

namespace uploader {

namespace {

constexpr char kSpace = ' ';

bool isQuote(char c) { return c == '"' || c == '\''; }

void skipSpaces(std::string_view line, std::size_t& cursor) {
  while (cursor < line.size() && line[cursor] == kSpace) ++cursor;
}

}  // namespace

std::size_t ReadToken(std::string_view line, std::size_t& cursor, std::string* buffer,
                      std::size_t capacity) {
  if (buffer == nullptr) capacity = 0;
  if (capacity > 0) buffer->clear();
  skipSpaces(line, cursor);

  char quote = 0;
  if (cursor < line.size() && isQuote(line[cursor])) quote = line[cursor++];

  std::size_t count = 0;
  while (cursor < line.size()) {
    const char c = line[cursor];
    if (quote == 0) {
      if (c == kSpace) break;
    } else if (c == quote) {
      ++cursor;
      quote = 0;
      if (cursor < line.size() && isQuote(line[cursor])) quote = line[cursor++];
      continue;
    }
    ++cursor;
    ++count;
    if (count < capacity) buffer->push_back(c);
  }
  return count;
}

std::size_t FindOption(std::string_view line, std::string_view name, std::string* buffer,
                       std::size_t capacity) {
  std::size_t cursor = 0;
  for (;;) {
    skipSpaces(line, cursor);
    if (cursor >= line.size()) return ReadToken(line, cursor, buffer, capacity);
    if (line[cursor] == '-') {
      const std::string_view rest = line.substr(cursor);
      const bool matches =
          rest.starts_with(name) && (rest.size() == name.size() || rest[name.size()] == kSpace);
      ReadToken(line, cursor, nullptr, 0);
      if (matches) return ReadToken(line, cursor, buffer, capacity);
    }
    // Skips an unrelated option's value, or a token that is no option at all
    // (the program path among them).
    ReadToken(line, cursor, nullptr, 0);
  }
}

std::string LookUpOption(platform::Environment& environment, const OptionSpec& option,
                         bool* wasCut) {
  std::string value;
  const std::size_t length =
      FindOption(environment.commandLine(), option.name, &value, option.capacity);
  if (wasCut != nullptr) *wasCut = length > value.size();
  return value;
}

std::uint32_t ParseDigits(std::string_view text) {
  std::uint32_t result = 0;
  for (const char c : text) {
    if (c >= '0' && c <= '9') result = result * 10u + static_cast<std::uint32_t>(c - '0');
  }
  return result;
}

std::int32_t ParseLeadingDigits(std::string_view text) {
  std::uint32_t result = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') break;
    result = result * 10u + static_cast<std::uint32_t>(c - '0');
  }
  return static_cast<std::int32_t>(result);
}

bool IsSwitchedOff(std::string_view value) {
  return value.size() == 2 && (value[0] == 'n' || value[0] == 'N') &&
         (value[1] == 'o' || value[1] == 'O');
}

}  // namespace uploader
