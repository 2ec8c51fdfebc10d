// The process's surroundings as the test sets them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/environment.h"

namespace platform::testing {

struct VariableNameLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

class FakeEnvironment : public Environment {
 public:
  // The raw command line, program path included.
  std::string commandLineText = "Dravik";
  // Names compare without regard to case, as Windows' environment does.
  std::map<std::string, std::string, VariableNameLess> variables;
  std::string temporaryFolderPath = "/tmp/vardo-fake/";
  std::string computerNameText = "TESTHOST";
  std::string executablePathText = "/opt/vardo/Dravik";
  // What modulePath answers for any address.
  std::string modulePathText = "/opt/vardo/Dravik";
  ErrorCode lastErrorValue = ERROR_SUCCESS;

  // Sets commandLineText from separate arguments, quoted the way the native
  // backend joins them.
  void setArguments(const std::vector<std::string>& arguments);

  std::string commandLine() override { return commandLineText; }
  std::optional<std::string> variable(std::string_view name) override;
  std::string expandStrings(std::string_view text) override;
  std::string temporaryFolder() override { return temporaryFolderPath; }
  std::string computerName() override { return computerNameText; }
  std::string executablePath() override { return executablePathText; }
  std::string modulePath(const void*) override { return modulePathText; }
  ErrorCode lastError() override { return lastErrorValue; }
  void setLastError(ErrorCode code) override { lastErrorValue = code; }
};

}  // namespace platform::testing
