#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/command_line.h"
#include "posix_ports.h"
#include "reg_text.h"
#include "registry_tree.h"

namespace platform::posix {
namespace {

bool readWholeFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return true;
}

bool fileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::string environmentOr(const char* name, std::string fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != 0 ? std::string(value) : fallback;
}

// Splits an Exec value into arguments by the desktop-entry quoting rules.
std::vector<std::string> execArguments(std::string_view exec) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false, quoted = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted) {
      if (c == '\\' && i + 1 < exec.size()) {
        current.push_back(exec[++i]);
      } else if (c == '"') {
        quoted = false;
      } else {
        current.push_back(c);
      }
    } else if (c == ' ' || c == '\t') {
      if (inArgument) arguments.push_back(std::move(current));
      current.clear();
      inArgument = false;
    } else {
      inArgument = true;
      if (c == '"') {
        quoted = true;
      } else {
        current.push_back(c);
      }
    }
  }
  if (inArgument) arguments.push_back(std::move(current));
  return arguments;
}

// The value of key `Exec` in the [Desktop Entry] group of a .desktop file,
// with the key-file escapes undone.
std::optional<std::string> desktopExec(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  bool inEntry = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    if (!inEntry || line.rfind("Exec", 0) != 0) continue;
    std::size_t at = 4;
    while (at < line.size() && line[at] == ' ') ++at;
    if (at >= line.size() || line[at] != '=') continue;
    ++at;
    while (at < line.size() && line[at] == ' ') ++at;
    std::string value;
    for (std::size_t i = at; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        const char next = line[++i];
        value.push_back(next == 's' ? ' ' : next == 't' ? '\t' : next == 'n' ? '\n' : next);
      } else {
        value.push_back(line[i]);
      }
    }
    return value;
  }
  return std::nullopt;
}

}  // namespace

std::string commandFromDesktopExec(std::string_view exec) {
  std::string command;
  bool hasUrl = false;
  for (const std::string& argument : execArguments(exec)) {
    std::string text;
    bool url = false;
    for (std::size_t i = 0; i < argument.size(); ++i) {
      if (argument[i] != '%' || i + 1 == argument.size()) {
        text.push_back(argument[i]);
        continue;
      }
      const char code = argument[++i];
      if (code == '%') {
        text.push_back('%');
      } else if (code == 'u' || code == 'U' || code == 'f' || code == 'F') {
        url = true;
      }
    }
    if (url) {
      // The whole argument is the page: the placeholder stands alone.
      if (!hasUrl) {
        if (!command.empty()) command.push_back(' ');
        command += "\"%1\"";
      }
      hasUrl = true;
      continue;
    }
    if (text.empty() && argument.size() >= 2) continue;  // only a dropped field code
    if (command.empty()) {
      // The program's name knows no escapes, only quotes around spaces.
      command = text.find_first_of(" \t") != std::string::npos ? "\"" + text + "\"" : text;
    } else {
      command += " " + quoteCommandLineArgument(text);
    }
  }
  if (!hasUrl) command += command.empty() ? "\"%1\"" : " \"%1\"";
  return command;
}

std::string defaultRegistryFile() {
  const char* chosen = std::getenv("VARDO_REGISTRY");
  if (chosen != nullptr && *chosen != 0) return chosen;
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != 0) {
    const std::string user = std::string(home) + "/.config/vardo/registry.reg";
    if (fileExists(user)) return user;
  }
  const std::string machine = "/etc/vardo/registry.reg";
  return fileExists(machine) ? machine : std::string();
}

std::optional<std::string> xdgBrowserCommand() {
  constexpr int kTimeout = 5000;
  std::optional<std::string> id =
      captureOutput({"xdg-settings", "get", "default-web-browser"}, kTimeout);
  const auto trimmed = [](std::optional<std::string>& s) {
    if (!s) return;
    while (!s->empty() && (s->back() == '\n' || s->back() == ' ')) s->pop_back();
    if (s->empty()) s.reset();
  };
  trimmed(id);
  if (!id) {
    id = captureOutput({"xdg-mime", "query", "default", "text/html"}, kTimeout);
    trimmed(id);
  }
  if (id && id->find('/') == std::string::npos) {
    const std::string home = environmentOr("HOME", "");
    std::vector<std::string> folders = {
        environmentOr("XDG_DATA_HOME", home.empty() ? "" : home + "/.local/share")};
    std::istringstream dirs(environmentOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share"));
    for (std::string dir; std::getline(dirs, dir, ':');) folders.push_back(dir);
    for (const std::string& folder : folders) {
      std::string text;
      if (folder.empty() || !readWholeFile(folder + "/applications/" + *id, text)) continue;
      if (const auto exec = desktopExec(text)) return commandFromDesktopExec(*exec);
    }
  }
  return "xdg-open \"%1\"";
}

PosixRegistry::PosixRegistry(std::string regFile, BrowserCommand browserCommand,
                             DebugOutput* debugOutput)
    : regFile_(std::move(regFile)),
      browserCommand_(std::move(browserCommand)),
      debugOutput_(debugOutput),
      tree_(std::make_unique<detail::RegistryTree>()) {}

PosixRegistry::~PosixRegistry() = default;

void PosixRegistry::load() {
  std::string text;
  if (!regFile_.empty()) {
    if (!readWholeFile(regFile_, text)) {
      if (debugOutput_ != nullptr) debugOutput_->write("registry: cannot read " + regFile_ + "\n");
    } else if (const auto result = detail::applyRegText(text, *tree_);
               result.code != ERROR_SUCCESS && debugOutput_ != nullptr) {
      debugOutput_->write("registry: " + regFile_ + ":" + std::to_string(result.firstBadLine) +
                          ": line not understood, skipped\n");
    }
  }
}

void PosixRegistry::addBrowser() {
  if (tree_->find(RegistryRoot::ClassesRoot, ".htm") != nullptr || !browserCommand_) return;
  const std::optional<std::string> command = browserCommand_();
  if (!command) return;
  const auto terminated = [](std::string_view s) {
    std::vector<std::uint8_t> bytes(s.begin(), s.end());
    bytes.push_back(0);
    return bytes;
  };
  tree_->create(RegistryRoot::ClassesRoot, ".htm").values[""] = {REG_SZ, terminated("htmlfile")};
  detail::RegistryNode& open =
      tree_->create(RegistryRoot::ClassesRoot, "htmlfile\\shell\\open\\command");
  if (open.values.count("") == 0) open.values[""] = {REG_SZ, terminated(*command)};
}

ErrorCode PosixRegistry::openKey(RegistryRoot root, std::string_view path,
                                 std::unique_ptr<RegistryKey>& out) {
  std::call_once(loaded_, [this] { load(); });
  // Asking the desktop for its browser costs a process or two, so only
  // file associations pay for it, once.
  if (root == RegistryRoot::ClassesRoot) std::call_once(browserAdded_, [this] { addBrowser(); });
  return tree_->open(root, path, false, out);
}

ErrorCode PosixRegistry::createKey(RegistryRoot root, std::string_view path,
                                   std::unique_ptr<RegistryKey>& out) {
  std::call_once(loaded_, [this] { load(); });
  return tree_->createKey(root, path, false, out);
}

}  // namespace platform::posix
