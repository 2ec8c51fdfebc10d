// Starting programs from a command line and watching them without waiting.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/errors.h"

namespace platform {

class Process {
 public:
  // Closing the handle never ends the process.
  virtual ~Process() = default;

  // True once the process has ended; never waits. A failed check counts as
  // "still running".
  virtual bool hasEnded() = 0;

  // Waits at most `milliseconds` for the end; true when it has ended.
  virtual bool waitForEnd(std::uint32_t milliseconds) = 0;

  // The exit code once ended, else std::uint32_t(-1).
  virtual std::uint32_t exitCode() = 0;
};

class Processes {
 public:
  virtual ~Processes() = default;

  // Starts a command line: the first token (Windows command-line rules) names
  // the program, searched on the path when it has no folder; the rest are its
  // arguments. Never through a shell. The child inherits the environment and
  // current folder, and no handles beyond the standard ones. Returns 0 or a
  // Win32 code (ERROR_FILE_NOT_FOUND for a program that does not exist).
  virtual ErrorCode start(std::string_view commandLine, std::unique_ptr<Process>& out) = 0;
};

}  // namespace platform
