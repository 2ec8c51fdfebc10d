// Processes that are never started: every command line is recorded and the
// test decides when each "process" ends.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace platform::testing {

class FakeClock;

// What the test sees of one started process; it outlives the handle.
struct FakeProcess {
  std::string commandLine;
  bool ended = false;
  std::uint32_t exitCode = 0;
  // When set, the process ends by itself on that hasEnded() call (1 = the
  // first), like a browser the user closes during the upload.
  std::optional<int> endOnCheck;
  int checks = 0;
  bool handleClosed = false;
};

class RecordedProcesses : public Processes {
 public:
  // With a clock, waitForEnd on a process that does not end lets the virtual
  // time run out the wait.
  explicit RecordedProcesses(FakeClock* clock = nullptr) : clock_(clock) {}

  std::vector<std::string> commandLines;
  // Every process started, in order; also those whose start failed are not here.
  std::vector<std::shared_ptr<FakeProcess>> started;

  // The next start fails with `code` (its command line is still recorded).
  void failNextStart(ErrorCode code) { nextFailure_ = code; }

  FakeProcess& last() { return *started.back(); }

  ErrorCode start(std::string_view commandLine, std::unique_ptr<Process>& out) override;

 private:
  FakeClock* clock_;
  ErrorCode nextFailure_ = ERROR_SUCCESS;
};

}  // namespace platform::testing
