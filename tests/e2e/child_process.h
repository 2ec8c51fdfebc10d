// What the whole-program tests need from the real system: a temporary folder
// that goes away, and a program run in a child process with an environment of
// the test's choosing and its standard error kept.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace e2e {

class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct ChildResult {
  int exitCode = -1;  // -1 when the child did not exit normally
  std::string standardError;
};

// Runs `program` with `arguments` and waits for it. The child sees the test's
// environment without a display (so boxes come out on standard error) and
// with `variables` added.
ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& variables,
                     const std::filesystem::path& folder);

std::string readFile(const std::filesystem::path& path);

// The lines of a file that other processes are writing, once it holds at least
// `count` of them or `patience` has passed.
std::vector<std::string> waitForLines(
    const std::filesystem::path& path, std::size_t count,
    std::chrono::milliseconds patience = std::chrono::seconds(20));

}  // namespace e2e
