// The process's surroundings: its command line, environment variables, the
// temporary folder, the computer's name, module paths and the thread's
// last-error value.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace platform {

class Environment {
 public:
  virtual ~Environment() = default;

  // The whole command line, program path included, as GetCommandLineA gives
  // it. Where the system hands over separate arguments, they are joined with
  // spaces, each written so that the uploader's token reader gives it back
  // exactly: with spaces in double quotes, with a double quote in
  // single-quoted sections, an empty one as "".
  virtual std::string commandLine() = 0;

  virtual std::optional<std::string> variable(std::string_view name) = 0;

  // Replaces each %NAME% by the variable's value; unknown names and a lone %
  // stay as they are (ExpandEnvironmentStrings).
  virtual std::string expandStrings(std::string_view text) = 0;

  // The folder for temporary files, ending in a separator.
  virtual std::string temporaryFolder() = 0;
  virtual std::string computerName() = 0;

  // The path of the running program, and of the module (program or shared
  // library) that holds `address`.
  virtual std::string executablePath() = 0;
  virtual std::string modulePath(const void* address) = 0;

  // The calling thread's last-error value (GetLastError / SetLastError).
  virtual ErrorCode lastError() = 0;
  virtual void setLastError(ErrorCode code) = 0;
};

}  // namespace platform
