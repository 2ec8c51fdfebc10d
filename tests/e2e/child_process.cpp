#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <thread>

extern char** environ;

namespace e2e {

TemporaryFolder::TemporaryFolder() {
  std::random_device random;
  path_ = std::filesystem::temp_directory_path() /
          ("vardo-e2e-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
  std::filesystem::create_directories(path_);
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& variables,
                     const std::filesystem::path& folder) {
  static const std::string kDropped[] = {
      "DISPLAY=", "WAYLAND_DISPLAY=", "VARDO_REGISTRY=", "VARDO_DEBUG_OUTPUT="};
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    bool dropped = false;
    for (const std::string& prefix : kDropped) dropped = dropped || text.starts_with(prefix);
    for (const auto& [name, value] : variables) dropped = dropped || text.starts_with(name + "=");
    if (!dropped) environment.push_back(text);
  }
  for (const auto& [name, value] : variables) environment.push_back(name + "=" + value);

  std::vector<char*> envp;
  for (std::string& text : environment) envp.push_back(text.data());
  envp.push_back(nullptr);
  std::vector<std::string> argumentCopies = {program};
  argumentCopies.insert(argumentCopies.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argumentCopies) argv.push_back(text.data());
  argv.push_back(nullptr);

  const std::filesystem::path errorPath = folder / "stderr.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

  ChildResult result;
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return result;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  result.standardError = readFile(errorPath);
  return result;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> waitForLines(const std::filesystem::path& path, std::size_t count,
                                      std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    std::vector<std::string> lines;
    std::istringstream text(readFile(path));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    if (lines.size() >= count || std::chrono::steady_clock::now() >= deadline) return lines;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace e2e
