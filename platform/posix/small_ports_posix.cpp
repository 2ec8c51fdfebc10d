#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "expand_strings.h"
#include "message_table.h"
#include "platform/command_line.h"
#include "posix_ports.h"
#include "registry_tree.h"

extern char** environ;

namespace platform::posix {
namespace {

thread_local ErrorCode t_lastError = ERROR_SUCCESS;

std::string readLink(const char* path) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink(path, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

std::uint64_t PosixClock::tickCount64() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

std::uint32_t PosixClock::tickCount() { return static_cast<std::uint32_t>(tickCount64()); }

void PosixClock::sleep(std::uint32_t milliseconds) {
  timespec delay{static_cast<time_t>(milliseconds / 1000),
                 static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
  }
}

std::optional<std::string> PosixSystemMessages::message(ErrorCode code) {
  if (const auto text = detail::ownMessage(code)) return std::string(*text);
  return std::nullopt;
}

void PosixDebugOutput::write(std::string_view text) {
  if (stream_ == nullptr) return;
  std::string line(text);
  if (line.empty() || line.back() != '\n') line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stream_);
  std::fflush(stream_);
}

std::string PosixEnvironment::commandLine() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  const std::string raw = content.str();
  std::vector<std::string> arguments;
  std::size_t start = 0;
  while (start < raw.size()) {
    const std::size_t end = std::min(raw.find('\0', start), raw.size());
    arguments.push_back(raw.substr(start, end - start));
    start = end + 1;
  }
  return joinTokens(arguments);
}

std::optional<std::string> PosixEnvironment::variable(std::string_view name) {
  if (name.empty() || name.find('=') != std::string_view::npos) return std::nullopt;
  if (const char* value = std::getenv(std::string(name).c_str())) return std::string(value);
  // Names are matched without regard to case, as on Windows, when no
  // variable has exactly this name.
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const std::size_t equals = text.find('=');
    if (equals == name.size() && !detail::NameLess{}(text.substr(0, equals), name) &&
        !detail::NameLess{}(name, text.substr(0, equals))) {
      return std::string(text.substr(equals + 1));
    }
  }
  return std::nullopt;
}

std::string PosixEnvironment::expandStrings(std::string_view text) {
  return detail::expandEnvironmentStrings(text,
                                          [this](std::string_view name) { return variable(name); });
}

std::string PosixEnvironment::temporaryFolder() {
  std::string folder = "/tmp/";
  if (const char* chosen = std::getenv("TMPDIR"); chosen != nullptr && *chosen != 0)
    folder = chosen;
  if (folder.back() != '/') folder.push_back('/');
  return folder;
}

std::string PosixEnvironment::computerName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  std::string text(name);
  return text.substr(0, text.find('.'));
}

std::string PosixEnvironment::executablePath() { return readLink("/proc/self/exe"); }

std::string PosixEnvironment::modulePath(const void* address) {
  Dl_info info = {};
  if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  const std::string name = info.dli_fname;
  // The program itself is listed by the name it was started with.
  if (name.empty() || name.find('/') == std::string::npos) return executablePath();
  char resolved[PATH_MAX];
  return ::realpath(name.c_str(), resolved) != nullptr ? std::string(resolved) : name;
}

ErrorCode PosixEnvironment::lastError() { return t_lastError; }

void PosixEnvironment::setLastError(ErrorCode code) { t_lastError = code; }

}  // namespace platform::posix
