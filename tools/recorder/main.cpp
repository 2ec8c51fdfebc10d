// recorder: the browser of the tests. Appends the arguments it was started
// with (the page address) as one line to a log file, then stays for as long as
// it is told, so a test can play a browser window that is open or closed.
//
//   recorder [--log FILE] [--linger MILLISECONDS] [--while-exists PATH] ARGUMENT...
//
// Without --log the file named by VARDO_RECORDER_LOG is used; without --linger
// the milliseconds in VARDO_RECORDER_LINGER_MS, else none. --while-exists
// stays while PATH exists, at most the linger time (ten minutes when none is
// given), so a test that removes its folder also ends its browsers.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace {

constexpr std::uint32_t kPollMilliseconds = 20;
constexpr std::uint32_t kLongestStay = 10 * 60 * 1000;

struct Settings {
  std::string logPath;
  std::optional<std::uint32_t> lingerMilliseconds;
  std::string whileExistsPath;
  std::string line;
};

std::optional<std::uint32_t> parseMilliseconds(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

bool parse(int argc, char** argv, platform::Environment& environment, Settings& settings) {
  if (const auto log = environment.variable("VARDO_RECORDER_LOG")) settings.logPath = *log;
  if (const auto linger = environment.variable("VARDO_RECORDER_LINGER_MS")) {
    settings.lingerMilliseconds = parseMilliseconds(*linger);
  }
  int i = 1;
  for (; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--log" && hasValue) {
      settings.logPath = argv[++i];
    } else if (arg == "--linger" && hasValue) {
      settings.lingerMilliseconds = parseMilliseconds(argv[++i]);
      if (!settings.lingerMilliseconds) return false;
    } else if (arg == "--while-exists" && hasValue) {
      settings.whileExistsPath = argv[++i];
    } else if (arg == "--") {
      ++i;
      break;
    } else {
      break;
    }
  }
  for (int first = i; i < argc; ++i) {
    if (i > first) settings.line += ' ';
    settings.line += argv[i];
  }
  settings.line += '\n';
  return !settings.logPath.empty();
}

platform::ErrorCode appendLine(platform::Files& files, const Settings& settings) {
  platform::FileOpenOptions options;
  // Read access too: the sharing locks of the POSIX backend need it.
  options.access = platform::kAccessReadWrite;
  options.share = platform::kShareRead | platform::kShareWrite;
  options.disposition = platform::FileDisposition::OpenAlways;
  std::unique_ptr<platform::File> file;
  if (const auto error = files.open(settings.logPath, options, file)) return error;
  if (const auto error = file->seek(0, platform::SeekOrigin::End)) return error;
  return file->write(settings.line.data(), static_cast<std::uint32_t>(settings.line.size()));
}

bool exists(platform::Files& files, const std::string& path) {
  std::unique_ptr<platform::File> file;
  platform::FileOpenOptions options;
  options.share = platform::kShareRead | platform::kShareWrite | platform::kShareDelete;
  const platform::ErrorCode error = files.open(path, options, file);
  return error != platform::ERROR_FILE_NOT_FOUND && error != platform::ERROR_PATH_NOT_FOUND;
}

}  // namespace

int main(int argc, char** argv) {
  platform::System& system = platform::nativeSystem();
  Settings settings;
  if (!parse(argc, argv, system.environment, settings)) {
    std::fputs(
        "usage: recorder [--log FILE] [--linger MILLISECONDS] [--while-exists PATH] "
        "ARGUMENT...\n",
        stderr);
    return 2;
  }
  if (const platform::ErrorCode error = appendLine(system.files, settings)) {
    std::fprintf(stderr, "recorder: cannot append to %s (error %u)\n", settings.logPath.c_str(),
                 static_cast<unsigned>(error));
    return 1;
  }
  if (settings.whileExistsPath.empty()) {
    if (settings.lingerMilliseconds) system.clock.sleep(*settings.lingerMilliseconds);
    return 0;
  }
  const std::uint64_t start = system.clock.tickCount64();
  const std::uint32_t limit = settings.lingerMilliseconds.value_or(kLongestStay);
  while (exists(system.files, settings.whileExistsPath) &&
         system.clock.tickCount64() - start < limit) {
    system.clock.sleep(kPollMilliseconds);
  }
  return 0;
}
