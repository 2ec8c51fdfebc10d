#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
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

Child::Child(const std::string& program, const std::vector<std::string>& arguments,
             const std::map<std::string, std::string>& variables,
             const std::filesystem::path& folder, bool pipeOutput)
    : errorPath_(folder / "stderr.txt") {
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

  int pipeEnds[2] = {-1, -1};
  if (pipeOutput && ::pipe2(pipeEnds, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (pipeOutput) posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);

  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (pipeOutput) {
    ::close(pipeEnds[1]);
    output_ = pipeEnds[0];
  }
  if (spawned == 0) pid_ = pid;
}

Child::~Child() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    wait();
  }
  if (output_ >= 0) ::close(output_);
}

std::string Child::readLine() {
  std::string line;
  char c = 0;
  while (output_ >= 0) {
    const ssize_t n = ::read(output_, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line += c;
  }
  return line;
}

ChildResult Child::wait() {
  ChildResult result;
  if (pid_ <= 0) return result;
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  result.standardError = readFile(errorPath_);
  return result;
}

ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& variables,
                     const std::filesystem::path& folder) {
  Child child(program, arguments, variables, folder);
  return child.wait();
}

ReferenceServer::ReferenceServer(const std::string& program, const std::filesystem::path& store,
                                 const std::vector<std::string>& options)
    : store_(store) {
  std::filesystem::create_directories(store);
  std::vector<std::string> arguments = {"--store", store.string()};
  arguments.insert(arguments.end(), options.begin(), options.end());
  child_ = std::make_unique<Child>(program, arguments, std::map<std::string, std::string>{}, store,
                                   true);
  // The first line of its output is the port, written once it listens.
  const std::string port = child_->readLine();
  if (!port.empty()) address_ = "http://127.0.0.1:" + port;
}

bool hasEndedChild(int parent) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = readFile(entry.path() / "stat");
    // "pid (command) state ppid ...": the command may hold anything.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 1));
    char state = 0;
    int ppid = 0;
    if (fields >> state >> ppid && ppid == parent && state == 'Z') return true;
  }
  return false;
}

int openPipeForWriting(const std::filesystem::path& path, std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    // Without a reader a non-blocking open fails at once instead of hanging
    // the test when the program never gets that far.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fd;
    }
    if (errno != ENXIO || std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
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
