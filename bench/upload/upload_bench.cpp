// Dravik against a minimal libcurl client (upload_peer) on the same work: a
// 100 MiB document in 64 KiB chunks to the reference server on loopback. Prints
// the throughput of both and their ratio, the server's CPU time against the
// wall time (a server near 100 % would be the bottleneck and hide the
// difference), and Dravik's peak memory for a 10 MiB and a 100 MiB document.
//
//   upload_bench [--mib N] [--rounds N]
//
// Drives the real programs, so it speaks to the operating system directly.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kDravik = VARDO_DRAVIK_PATH;
constexpr const char* kServer = VARDO_UPLOADWS_SERVER_PATH;
constexpr const char* kRecorder = VARDO_RECORDER_PATH;
constexpr const char* kPeer = VARDO_UPLOAD_PEER_PATH;
constexpr double kMiB = 1024.0 * 1024.0;

struct Run {
  double seconds = 0;
  double cpuSeconds = 0;  // of the client
  long peakKiB = 0;
  int exitCode = -1;
  double serverCpuSeconds = 0;
};

std::vector<std::string> environmentWith(const std::map<std::string, std::string>& variables) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    bool replaced = text.starts_with("DISPLAY=") || text.starts_with("WAYLAND_DISPLAY=");
    for (const auto& [name, value] : variables) replaced = replaced || text.starts_with(name + "=");
    if (!replaced) environment.push_back(text);
  }
  for (const auto& [name, value] : variables) environment.push_back(name + "=" + value);
  return environment;
}

pid_t spawn(const std::vector<std::string>& arguments,
            const std::map<std::string, std::string>& variables, int outputFd, int errorFd) {
  std::vector<std::string> environment = environmentWith(variables);
  std::vector<char*> envp;
  for (std::string& text : environment) envp.push_back(text.data());
  envp.push_back(nullptr);
  std::vector<std::string> copies = arguments;
  std::vector<char*> argv;
  for (std::string& text : copies) argv.push_back(text.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (outputFd >= 0) posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
  if (errorFd >= 0) posix_spawn_file_actions_adddup2(&actions, errorFd, STDERR_FILENO);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// User and system time of a running process, from /proc.
double cpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  unsigned long long user = 0, system = 0;
  // Fields after the command: state is the 3rd of the line; utime the 14th.
  for (int index = 3; fields >> field; ++index) {
    if (index == 14) user = std::stoull(field);
    if (index == 15) {
      system = std::stoull(field);
      break;
    }
  }
  return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

class Server {
 public:
  explicit Server(const fs::path& store) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    // The server's HTTP library builds each ~90 KB request body in a fresh
    // string; with glibc's default thresholds every one is a new mapping and
    // its page faults, which made the peer, not the clients, the bottleneck.
    pid_ = spawn({kServer, "--store", store.string(), "--log", "none"},
                 {{"GLIBC_TUNABLES",
                   "glibc.malloc.mmap_threshold=4194304:glibc.malloc.trim_threshold=67108864"}},
                 ends[1], -1);
    close(ends[1]);
    std::string port;
    char c = 0;
    while (read(ends[0], &c, 1) == 1 && c != '\n') port += c;
    close(ends[0]);
    if (!port.empty()) address_ = "http://127.0.0.1:" + port;
  }
  ~Server() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  pid_t pid() const { return pid_; }
  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = -1;
  std::string address_;
};

Run runTimed(const Server& server, const std::vector<std::string>& arguments,
             const std::map<std::string, std::string>& variables) {
  Run run;
  const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const double cpuBefore = cpuSeconds(server.pid());
  const auto start = Clock::now();
  const pid_t pid = spawn(arguments, variables, quiet, -1);
  int status = 0;
  rusage usage{};
  while (pid > 0 && wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.serverCpuSeconds = cpuSeconds(server.pid()) - cpuBefore;
  close(quiet);
  run.peakKiB = usage.ru_maxrss;
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  if (pid > 0 && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

void makeDocument(const fs::path& path, std::uint64_t bytes) {
  std::ofstream out(path, std::ios::binary);
  std::mt19937_64 random(42);
  std::vector<std::uint64_t> block(1 << 17);
  for (std::uint64_t written = 0; written < bytes;) {
    for (auto& word : block) word = random();
    const std::uint64_t size = std::min<std::uint64_t>(bytes - written, block.size() * 8);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(size));
    written += size;
  }
}

// Every upload of a run must have arrived whole; the stored copies are then
// removed so that the rounds do not fill the disk.
bool storedWhole(const fs::path& store, std::uint64_t bytes) {
  bool whole = true;
  int sessions = 0;
  for (const auto& entry : fs::directory_iterator(store)) {
    if (entry.path().extension() != ".data") continue;
    ++sessions;
    whole = whole && fs::file_size(entry.path()) == bytes;
    fs::remove(entry.path());
  }
  return whole && sessions == 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t mib = 100;
  int rounds = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--mib") mib = std::strtoull(argv[i + 1], nullptr, 10);
    if (option == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
  }

  const fs::path folder =
      fs::temp_directory_path() / ("vardo-upload-bench-" + std::to_string(getpid()));
  fs::create_directories(folder / "store");
  const fs::path document = folder / "document.bin";
  const fs::path small = folder / "small.bin";
  makeDocument(document, mib << 20);
  makeDocument(small, 10 << 20);
  // The browser stays open while this file exists, so the wizard watch lets
  // every chunk go.
  const fs::path browserOpen = folder / "browser.open";
  std::ofstream(browserOpen) << "open";
  const fs::path registry = folder / "registry.reg";
  std::ofstream(registry) << "Windows Registry Editor Version 5.00\n\n"
                          << "[HKEY_CLASSES_ROOT\\.htm]\n@=\"htmlfile\"\n\n"
                          << "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\n"
                          << "@=\"\\\"" << kRecorder << "\\\" --log \\\""
                          << (folder / "pages.log").string() << "\\\" --while-exists \\\""
                          << browserOpen.string() << "\\\" \\\"%1\\\"\"\n";
  const std::map<std::string, std::string> dravikEnvironment = {
      {"VARDO_REGISTRY", registry.string()}};

  int failures = 0;
  {
    Server server(folder / "store");
    if (server.address().empty()) {
      std::fputs("upload_bench: the reference server did not start\n", stderr);
      return 1;
    }
    auto dravik = [&](const fs::path& file) {
      const Run run = runTimed(server,
                               {kDravik, "-file", file.string(), "-server", server.address(),
                                "-chunksize", "64", "-delete", "no"},
                               dravikEnvironment);
      if (run.exitCode != 0 || !storedWhole(folder / "store", fs::file_size(file))) ++failures;
      return run;
    };
    auto peer = [&](const fs::path& file) {
      const Run run =
          runTimed(server,
                   {kPeer, server.address() + "/FileUploadWS/FileUploadWS.dll?Handler=Default",
                    file.string(), "64"},
                   {});
      if (run.exitCode != 0 || !storedWhole(folder / "store", fs::file_size(file))) ++failures;
      return run;
    };

    // Warm the page cache and both programs once, then take the best of the
    // rounds, alternating, so that other load on the machine hurts both alike.
    dravik(small);
    peer(small);
    Run bestDravik, bestPeer;
    bestDravik.seconds = bestPeer.seconds = 1e300;
    for (int round = 0; round < rounds; ++round) {
      const Run d = dravik(document);
      const Run p = peer(document);
      if (d.seconds < bestDravik.seconds) bestDravik = d;
      if (p.seconds < bestPeer.seconds) bestPeer = p;
    }
    const Run smallDravik = dravik(small);

    const double megabytes = static_cast<double>(mib << 20) / kMiB;
    const double dravikRate = megabytes / bestDravik.seconds;
    const double peerRate = megabytes / bestPeer.seconds;
    const double chunks = static_cast<double>((mib << 20) / 65536);
    std::printf(
        "upload of %llu MiB in 64 KiB chunks to the reference server on loopback, best of %d\n",
        static_cast<unsigned long long>(mib), rounds);
    // The client's own CPU per chunk does not depend on the server or on
    // other load, so it shows where the time goes when the rates are close.
    const char* format =
        "  %-14s %8.1f MiB/s  %7.1f us/chunk  client CPU %6.1f us/chunk  server CPU %5.1f%% of "
        "wall\n";
    std::printf(format, "Dravik", dravikRate, bestDravik.seconds * 1e6 / chunks,
                bestDravik.cpuSeconds * 1e6 / chunks,
                100.0 * bestDravik.serverCpuSeconds / bestDravik.seconds);
    std::printf(format, "libcurl peer", peerRate, bestPeer.seconds * 1e6 / chunks,
                bestPeer.cpuSeconds * 1e6 / chunks,
                100.0 * bestPeer.serverCpuSeconds / bestPeer.seconds);
    std::printf("  ratio Dravik / peer: %.2f (goal >= 0.90)\n", dravikRate / peerRate);
    std::printf("peak resident memory of Dravik: %ld KiB for 10 MiB, %ld KiB for %llu MiB\n",
                smallDravik.peakKiB, bestDravik.peakKiB, static_cast<unsigned long long>(mib));
  }
  fs::remove(browserOpen);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  if (failures != 0)
    std::fprintf(stderr, "upload_bench: %d uploads did not arrive whole\n", failures);
  return failures == 0 ? 0 : 1;
}
