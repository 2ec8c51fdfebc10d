#include "reg_text.h"

#include <optional>
#include <string>
#include <vector>

#include "utf.h"

namespace platform::detail {
namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";

bool equalsNoCase(std::string_view a, std::string_view b) {
  return !NameLess{}(a, b) && !NameLess{}(b, a);
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::optional<RegistryRoot> rootNamed(std::string_view name) {
  struct Entry {
    std::string_view longName, shortName;
    RegistryRoot root;
  };
  static constexpr Entry kRoots[] = {
      {"HKEY_CLASSES_ROOT", "HKCR", RegistryRoot::ClassesRoot},
      {"HKEY_CURRENT_USER", "HKCU", RegistryRoot::CurrentUser},
      {"HKEY_LOCAL_MACHINE", "HKLM", RegistryRoot::LocalMachine},
      {"HKEY_USERS", "HKU", RegistryRoot::Users},
  };
  for (const Entry& e : kRoots) {
    if (equalsNoCase(name, e.longName) || equalsNoCase(name, e.shortName)) return e.root;
  }
  return std::nullopt;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted string at the start of `s` ("\\" and "\"" escaped) and moves
// past it.
std::optional<std::string> readQuoted(std::string_view& s) {
  if (s.empty() || s.front() != '"') return std::nullopt;
  std::string out;
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      out.push_back(s[++i]);
    } else if (s[i] == '"') {
      s.remove_prefix(i + 1);
      return out;
    } else {
      out.push_back(s[i]);
    }
  }
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> readHexBytes(std::string_view s) {
  std::vector<std::uint8_t> bytes;
  std::size_t i = 0;
  while (true) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i == s.size()) return bytes;
    if (i + 1 >= s.size() || hexDigit(s[i]) < 0 || hexDigit(s[i + 1]) < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(hexDigit(s[i]) * 16 + hexDigit(s[i + 1])));
    i += 2;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i == s.size()) return bytes;
    if (s[i] != ',') return std::nullopt;
    ++i;
  }
}

std::vector<std::uint8_t> terminated(std::string_view text) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

bool isStringType(std::uint32_t type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

class Reader {
 public:
  Reader(RegistryTree& tree, bool unicode) : tree_(tree), unicode_(unicode) {}

  // False when the line cannot be read.
  bool line(std::string_view text) {
    text = trim(text);
    if (text.empty() || text.front() == ';') return true;
    if (text.front() == '[') return keyLine(text);
    return valueLine(text);
  }

 private:
  bool keyLine(std::string_view text) {
    key_ = nullptr;
    const std::size_t close = text.find_last_of(']');
    if (close == std::string_view::npos) return false;
    std::string_view path = text.substr(1, close - 1);
    const bool remove = !path.empty() && path.front() == '-';
    if (remove) path.remove_prefix(1);
    const std::size_t cut = path.find('\\');
    const auto root = rootNamed(path.substr(0, cut));
    // Keys under roots this system has no use for are passed over quietly,
    // so an export of a whole machine still loads.
    if (!root) return true;
    const std::string_view rest = cut == std::string_view::npos ? "" : path.substr(cut + 1);
    if (remove) {
      tree_.remove(*root, rest);
    } else {
      key_ = &tree_.create(*root, rest);
    }
    return true;
  }

  bool valueLine(std::string_view text) {
    std::string name;
    if (text.front() == '@') {
      text.remove_prefix(1);
    } else {
      auto quoted = readQuoted(text);
      if (!quoted) return false;
      name = std::move(*quoted);
    }
    text = trim(text);
    if (text.empty() || text.front() != '=') return false;
    text = trim(text.substr(1));
    if (key_ == nullptr) return true;  // a value of a skipped key

    if (text == "-") {
      key_->values.erase(name);
      return true;
    }
    RegistryValue value;
    if (!data(text, value)) return false;
    key_->values[name] = std::move(value);
    return true;
  }

  bool data(std::string_view text, RegistryValue& value) {
    if (!text.empty() && text.front() == '"') {
      auto quoted = readQuoted(text);
      if (!quoted || !trim(text).empty()) return false;
      value.type = REG_SZ;
      value.data = terminated(*quoted);
      return true;
    }
    if (startsWithNoCase(text, "dword:")) {
      const std::string_view digits = trim(text.substr(6));
      if (digits.empty() || digits.size() > 8) return false;
      std::uint32_t number = 0;
      for (char c : digits) {
        if (hexDigit(c) < 0) return false;
        number = number * 16 + static_cast<std::uint32_t>(hexDigit(c));
      }
      value.type = REG_DWORD;
      value.data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                    static_cast<std::uint8_t>(number >> 16),
                    static_cast<std::uint8_t>(number >> 24)};
      return true;
    }
    if (!startsWithNoCase(text, "hex")) return false;
    text.remove_prefix(3);
    value.type = REG_BINARY;
    if (!text.empty() && text.front() == '(') {
      const std::size_t close = text.find(')');
      if (close == std::string_view::npos || close == 1 || close > 9) return false;
      std::uint32_t type = 0;
      for (char c : text.substr(1, close - 1)) {
        if (hexDigit(c) < 0) return false;
        type = type * 16 + static_cast<std::uint32_t>(hexDigit(c));
      }
      value.type = type;
      text.remove_prefix(close + 1);
    }
    if (text.empty() || text.front() != ':') return false;
    auto bytes = readHexBytes(text.substr(1));
    if (!bytes) return false;
    value.data = std::move(*bytes);
    // The newer editor stores string data as UTF-16LE; this system reads
    // strings as UTF-8, so they are converted once here.
    if (unicode_ && isStringType(value.type)) {
      std::string utf8;
      utf16leBytesToUtf8(
          std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size()),
          utf8);
      value.data.assign(utf8.begin(), utf8.end());
    }
    return true;
  }

  RegistryTree& tree_;
  bool unicode_;
  RegistryNode* key_ = nullptr;
};

}  // namespace

RegTextResult applyRegText(std::string_view text, RegistryTree& tree) {
  std::string converted;
  if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
      static_cast<unsigned char>(text[1]) == 0xFE) {
    utf16leBytesToUtf8(text.substr(2), converted);
    text = converted;
  } else if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
  }

  // Logical lines: a line ending in a backslash goes on in the next one, as
  // the editor wraps long hex data.
  std::vector<std::pair<std::size_t, std::string>> lines;
  bool continuing = false;
  std::size_t number = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view physical = trim(text.substr(0, end));
    text.remove_prefix(end == text.size() ? end : end + 1);
    ++number;
    if (continuing) {
      lines.back().second.append(physical);
    } else {
      lines.emplace_back(number, std::string(physical));
    }
    std::string& current = lines.back().second;
    continuing = !current.empty() && current.back() == '\\' && current.front() != ';';
    if (continuing) current.pop_back();
  }

  RegTextResult result;
  std::size_t first = 0;
  while (first < lines.size() && trim(lines[first].second).empty()) ++first;
  if (first == lines.size()) {
    result.code = ERROR_INVALID_DATA;
    result.firstBadLine = 1;
    return result;
  }
  const std::string_view header = trim(lines[first].second);
  const bool unicode = header == kHeader5;
  if (!unicode && header != kHeader4) {
    result.code = ERROR_INVALID_DATA;
    result.firstBadLine = lines[first].first;
    return result;
  }
  Reader reader(tree, unicode);
  for (std::size_t i = first + 1; i < lines.size(); ++i) {
    if (!reader.line(lines[i].second) && result.firstBadLine == 0) {
      result.code = ERROR_INVALID_DATA;
      result.firstBadLine = lines[i].first;
    }
  }
  return result;
}

}  // namespace platform::detail
