#include "uploader/browser.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/system.h"
#include "uploader/messages.h"

namespace uploader {

namespace {

constexpr std::string_view kClassesRoot = "HKEY_CLASSES_ROOT";
constexpr std::uint32_t kFileTypeCapacity = 128;
constexpr std::uint32_t kCommandCapacity = 1024;

struct StringValue {
  platform::ErrorCode error = platform::ERROR_SUCCESS;
  std::uint32_t type = platform::REG_NONE;
  std::string text;
};

// Reads a key's default value into a buffer of `capacity` bytes, the way the
// fixed buffers of the Windows calls do. The text ends at its first NUL or at
// the bytes actually stored: the registry does not promise a terminator.
StringValue readDefaultValue(platform::RegistryKey& key, std::uint32_t capacity) {
  StringValue value;
  std::vector<char> buffer(capacity, '\0');
  std::uint32_t size = capacity;
  value.error = key.queryValue("", &value.type, buffer.data(), &size);
  if (value.error != platform::ERROR_SUCCESS) return value;
  const std::string_view stored(buffer.data(), std::min(size, capacity));
  value.text = std::string(stored.substr(0, stored.find('\0')));
  return value;
}

// Finds the file type named by an extension's default value.
std::optional<std::string> fileTypeOf(platform::System& system, std::string_view caption,
                                      std::string_view extension) {
  std::unique_ptr<platform::RegistryKey> key;
  const platform::ErrorCode error =
      system.registry.openKey(platform::RegistryRoot::ClassesRoot, extension, key);
  if (error != platform::ERROR_SUCCESS) {
    ReportRegistryError(system, caption, error, {kClassesRoot, extension});
    return std::nullopt;
  }
  const StringValue value = readDefaultValue(*key, kFileTypeCapacity);
  if (value.error != platform::ERROR_SUCCESS) {
    ReportRegistryError(system, caption, value.error, {kClassesRoot, extension});
    return std::nullopt;
  }
  if (value.type != platform::REG_SZ || value.text.empty()) {
    ReportRegistryError(system, caption, platform::ERROR_INVALID_DATA, {kClassesRoot, extension});
    return std::nullopt;
  }
  return value.text;
}

// The command template of a file type's default verb ("open" unless the
// "shell" key names another), environment references expanded.
std::optional<std::string> commandTemplateOf(platform::System& system, std::string_view caption,
                                             std::string_view fileType) {
  std::unique_ptr<platform::RegistryKey> typeKey;
  platform::ErrorCode error =
      system.registry.openKey(platform::RegistryRoot::ClassesRoot, fileType, typeKey);
  if (error != platform::ERROR_SUCCESS) {
    ReportRegistryError(system, caption, error, {kClassesRoot, fileType});
    return std::nullopt;
  }
  std::unique_ptr<platform::RegistryKey> shellKey;
  error = typeKey->openSubKey("shell", shellKey);
  if (error != platform::ERROR_SUCCESS) {
    ReportRegistryError(system, caption, error, {kClassesRoot, fileType, "shell"});
    return std::nullopt;
  }
  std::string verb = "open";
  // A file type without a default verb of its own is not at fault.
  if (StringValue named = readDefaultValue(*shellKey, kFileTypeCapacity);
      named.error == platform::ERROR_SUCCESS && named.type == platform::REG_SZ &&
      !named.text.empty()) {
    verb = std::move(named.text);
  }
  std::unique_ptr<platform::RegistryKey> verbKey;
  error = shellKey->openSubKey(verb, verbKey);
  if (error != platform::ERROR_SUCCESS) {
    ReportRegistryError(system, caption, error, {kClassesRoot, fileType, "shell", verb});
    return std::nullopt;
  }
  std::unique_ptr<platform::RegistryKey> commandKey;
  error = verbKey->openSubKey("command", commandKey);
  if (error != platform::ERROR_SUCCESS) {
    ReportRegistryError(system, caption, error, {kClassesRoot, fileType, "shell", verb, "command"});
    return std::nullopt;
  }
  StringValue command = readDefaultValue(*commandKey, kCommandCapacity);
  if (command.error != platform::ERROR_SUCCESS) {
    ReportRegistryError(system, caption, command.error,
                        {kClassesRoot, fileType, "shell", verb, "command"});
    return std::nullopt;
  }
  if ((command.type != platform::REG_SZ && command.type != platform::REG_EXPAND_SZ) ||
      command.text.empty()) {
    ReportRegistryError(system, caption, platform::ERROR_INVALID_DATA,
                        {kClassesRoot, fileType, "shell", verb, "command"});
    return std::nullopt;
  }
  if (command.type == platform::REG_EXPAND_SZ) {
    return system.environment.expandStrings(command.text);
  }
  return std::move(command.text);
}

}  // namespace

std::unique_ptr<platform::Process> LaunchAssociation(platform::System& system,
                                                     std::string_view caption, std::string_view url,
                                                     std::string_view association) {
  if (url.empty()) return nullptr;
  const std::string_view keyName = association.empty() ? kDefaultAssociation : association;

  std::string fileType(keyName);
  if (keyName.starts_with('.')) {
    std::optional<std::string> found = fileTypeOf(system, caption, keyName);
    if (!found) return nullptr;
    fileType = std::move(*found);
  }
  const std::optional<std::string> commandTemplate = commandTemplateOf(system, caption, fileType);
  if (!commandTemplate) return nullptr;

  const std::string commandLine = SubstituteArgument(*commandTemplate, url);
  std::unique_ptr<platform::Process> process;
  const platform::ErrorCode error = system.processes.start(commandLine, process);
  if (error != platform::ERROR_SUCCESS) {
    ReportRegistryError(system, caption, error, {commandLine});
    return nullptr;
  }
  return process;
}

std::string SubstituteArgument(std::string_view commandTemplate, std::string_view url) {
  constexpr std::string_view kPlaceholder = "%1";
  std::string commandLine;
  commandLine.reserve(commandTemplate.size() + url.size() + 1);
  bool inserted = false;
  for (std::size_t i = 0; i < commandTemplate.size();) {
    if (commandTemplate.substr(i).starts_with(kPlaceholder)) {
      if (!inserted) commandLine += url;
      inserted = true;
      i += kPlaceholder.size();
    } else {
      commandLine += commandTemplate[i++];
    }
  }
  if (!inserted) {
    commandLine += ' ';
    commandLine += url;
  }
  return commandLine;
}

}  // namespace uploader
