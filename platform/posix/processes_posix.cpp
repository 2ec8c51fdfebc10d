#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/command_line.h"
#include "posix_ports.h"

extern char** environ;

namespace platform::posix {
namespace {

std::uint64_t monotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

void pause(std::uint32_t milliseconds) {
  timespec delay{static_cast<time_t>(milliseconds / 1000),
                 static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
  }
}

// A signal's end reads as the exit code a shell would show for it.
std::uint32_t exitCodeOf(int status) {
  if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
  return static_cast<std::uint32_t>(-1);
}

class SpawnAttributes {
 public:
  SpawnAttributes() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnAttributes() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  // The child keeps standard input, output and error and nothing else, and
  // starts with default signal handling and an empty signal mask.
  void isolate() {
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
};

int spawn(const std::vector<std::string>& arguments, SpawnAttributes& spawnAttributes, pid_t* pid) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  return posix_spawnp(pid, argv[0], &spawnAttributes.actions, &spawnAttributes.attributes,
                      argv.data(), environ);
}

class PosixProcess final : public Process {
 public:
  PosixProcess(PosixProcesses& owner, pid_t pid) : owner_(owner), pid_(pid) {}
  ~PosixProcess() override {
    if (!ended_) owner_.adoptOrphan(pid_);
  }
  PosixProcess(const PosixProcess&) = delete;
  PosixProcess& operator=(const PosixProcess&) = delete;

  bool hasEnded() override {
    if (ended_) return true;
    int status = 0;
    pid_t result;
    do {
      result = ::waitpid(pid_, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == pid_) {
      ended_ = true;
      exitCode_ = exitCodeOf(status);
    }
    return ended_;
  }

  bool waitForEnd(std::uint32_t milliseconds) override {
    const std::uint64_t deadline = monotonicMilliseconds() + milliseconds;
    while (!hasEnded()) {
      const std::uint64_t now = monotonicMilliseconds();
      if (now >= deadline) return false;
      pause(static_cast<std::uint32_t>(std::min<std::uint64_t>(deadline - now, 5)));
    }
    return true;
  }

  std::uint32_t exitCode() override {
    return hasEnded() ? exitCode_ : static_cast<std::uint32_t>(-1);
  }

 private:
  PosixProcesses& owner_;
  pid_t pid_;
  bool ended_ = false;
  std::uint32_t exitCode_ = static_cast<std::uint32_t>(-1);
};

}  // namespace

PosixProcesses::~PosixProcesses() { reapOrphans(); }

void PosixProcesses::adoptOrphan(int pid) {
  std::lock_guard lock(mutex_);
  orphans_.push_back(pid);
}

void PosixProcesses::reapOrphans() {
  std::lock_guard lock(mutex_);
  std::erase_if(orphans_, [](int pid) {
    int status;
    const pid_t result = ::waitpid(pid, &status, WNOHANG);
    return result == pid || (result < 0 && errno == ECHILD);
  });
}

ErrorCode PosixProcesses::start(std::string_view commandLine, std::unique_ptr<Process>& out) {
  reapOrphans();
  const std::vector<std::string> arguments = splitCommandLine(commandLine);
  if (arguments.empty() || arguments.front().empty()) return ERROR_FILE_NOT_FOUND;
  SpawnAttributes attributes;
  attributes.isolate();
  pid_t pid = 0;
  const int error = spawn(arguments, attributes, &pid);
  if (error != 0) return win32FromErrno(error);
  out = std::make_unique<PosixProcess>(*this, pid);
  return ERROR_SUCCESS;
}

std::optional<std::string> captureOutput(const std::vector<std::string>& argv,
                                         int timeoutMilliseconds) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return std::nullopt;
  SpawnAttributes attributes;
  posix_spawn_file_actions_adddup2(&attributes.actions, pipeEnds[1], 1);
  posix_spawn_file_actions_addopen(&attributes.actions, 2, "/dev/null", O_WRONLY, 0);
  attributes.isolate();
  pid_t pid = 0;
  const int error = spawn(argv, attributes, &pid);
  ::close(pipeEnds[1]);
  if (error != 0) {
    ::close(pipeEnds[0]);
    return std::nullopt;
  }
  std::string output;
  bool timedOut = false;
  const std::uint64_t deadline =
      monotonicMilliseconds() + static_cast<std::uint64_t>(timeoutMilliseconds);
  while (true) {
    const std::uint64_t now = monotonicMilliseconds();
    if (now >= deadline) {
      timedOut = true;
      break;
    }
    pollfd wait{pipeEnds[0], POLLIN, 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(deadline - now));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      timedOut = ready == 0;
      break;
    }
    char buffer[4096];
    const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    output.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipeEnds[0]);
  if (timedOut) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return output;
}

std::optional<std::uint32_t> runAndWait(const std::vector<std::string>& argv) {
  SpawnAttributes attributes;
  attributes.isolate();
  pid_t pid = 0;
  if (spawn(argv, attributes, &pid) != 0) return std::nullopt;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return std::nullopt;
  }
  return exitCodeOf(status);
}

}  // namespace platform::posix
