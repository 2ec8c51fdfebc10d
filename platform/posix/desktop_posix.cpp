#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "posix_ports.h"

namespace platform::posix {

std::string findZenity() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((x11 == nullptr || *x11 == 0) && (wayland == nullptr || *wayland == 0)) return {};
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/zenity";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

PosixDesktop::PosixDesktop(std::string zenity, std::FILE* stream)
    : zenity_(std::move(zenity)), stream_(stream) {}

int PosixDesktop::messageBox(std::string_view text, std::string_view caption, std::uint32_t style) {
  const bool choice = (style & MB_TYPEMASK) != MB_OK;
  if (!zenity_.empty()) {
    const std::uint32_t icon = style & MB_ICONMASK;
    std::vector<std::string> argv = {zenity_};
    if (choice) {
      argv.insert(argv.end(), {"--question", "--ok-label=OK", "--cancel-label=Cancel"});
    } else {
      argv.push_back(icon == MB_ICONERROR     ? "--error"
                     : icon == MB_ICONWARNING ? "--warning"
                                              : "--info");
    }
    argv.push_back("--no-markup");
    argv.push_back("--title=" + std::string(caption));
    argv.push_back("--text=" + std::string(text));
    if (const auto exitCode = runAndWait(argv)) {
      // Closing the dialog answers like Cancel, as closing a box does.
      if (!choice) return IDOK;
      return *exitCode == 0 ? IDOK : IDCANCEL;
    }
  }
  if (stream_ == nullptr) return 0;
  // One line per box, so a log of standard error keeps boxes apart.
  std::string line(caption);
  line += ": ";
  for (char c : text) line.push_back(c == '\n' || c == '\r' ? ' ' : c);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stream_);
  std::fflush(stream_);
  return IDOK;
}

}  // namespace platform::posix
