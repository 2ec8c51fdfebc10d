// What the whole-program tests need from the real system: a temporary folder
// that goes away, and a program run in a child process with an environment of
// the test's choosing and its standard error kept.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
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

// A program running in a child process. It sees the test's environment
// without a display (so boxes come out on standard error) and with
// `variables` added; its standard error goes to `folder`/stderr.txt. A child
// that has not been waited for is ended when the object goes.
class Child {
 public:
  Child(const std::string& program, const std::vector<std::string>& arguments,
        const std::map<std::string, std::string>& variables, const std::filesystem::path& folder,
        bool pipeOutput = false);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return pid_ > 0; }
  int pid() const { return pid_; }
  // One line of its standard output (when piped), without the line feed;
  // empty at the end.
  std::string readLine();
  ChildResult wait();

 private:
  int pid_ = -1;
  int output_ = -1;
  std::filesystem::path errorPath_;
};

// Runs `program` as a Child and waits for it.
ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& variables,
                     const std::filesystem::path& folder);

// The reference FileUploadWS server on 127.0.0.1, storing into `store`, with
// its fault options; stopped when the object goes.
class ReferenceServer {
 public:
  ReferenceServer(const std::string& program, const std::filesystem::path& store,
                  const std::vector<std::string>& options = {});

  // "http://127.0.0.1:<port>", or empty when it did not start.
  const std::string& address() const { return address_; }
  std::filesystem::path requestLog() const { return store_ / "requests.jsonl"; }
  const std::filesystem::path& store() const { return store_; }

 private:
  std::filesystem::path store_;
  std::unique_ptr<Child> child_;
  std::string address_;
};

// True once a child of process `parent` has ended and waits to be collected,
// which is what a parent polling without waiting will see next.
bool hasEndedChild(int parent);

// The write end of a named pipe at `path`, opened once its reader has opened
// it; -1 when no reader came within `patience`.
int openPipeForWriting(const std::filesystem::path& path,
                       std::chrono::milliseconds patience = std::chrono::seconds(20));

std::string readFile(const std::filesystem::path& path);

// The lines of a file that other processes are writing, once it holds at least
// `count` of them or `patience` has passed.
std::vector<std::string> waitForLines(
    const std::filesystem::path& path, std::size_t count,
    std::chrono::milliseconds patience = std::chrono::seconds(20));

}  // namespace e2e
