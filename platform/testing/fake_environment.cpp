#include "platform/testing/fake_environment.h"

#include "expand_strings.h"
#include "platform/command_line.h"
#include "registry_tree.h"

namespace platform::testing {

bool VariableNameLess::operator()(const std::string& a, const std::string& b) const {
  return detail::NameLess{}(a, b);
}

void FakeEnvironment::setArguments(const std::vector<std::string>& arguments) {
  commandLineText = joinTokens(arguments);
}

std::optional<std::string> FakeEnvironment::variable(std::string_view name) {
  const auto it = variables.find(std::string(name));
  if (it == variables.end()) return std::nullopt;
  return it->second;
}

std::string FakeEnvironment::expandStrings(std::string_view text) {
  return detail::expandEnvironmentStrings(text,
                                          [this](std::string_view name) { return variable(name); });
}

}  // namespace platform::testing
