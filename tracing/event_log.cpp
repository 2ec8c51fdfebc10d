#include "tracing/event_log.h"

#include <cstdint>
#include <memory>
#include <string>

#include "platform/system.h"

namespace {

constexpr std::uint32_t kTypesSupported = 7;  // error, warning and information
constexpr std::uint32_t kCategoryCount = 1;
constexpr std::uint32_t kDisplayNameId = 0xFFFF;

void setPath(platform::RegistryKey& key, const char* name, const std::string& path) {
  key.setValue(name, platform::REG_EXPAND_SZ, path.c_str(),
               static_cast<std::uint32_t>(path.size() + 1));
}

void setNumber(platform::RegistryKey& key, const char* name, std::uint32_t value) {
  key.setValue(name, platform::REG_DWORD, &value, sizeof(value));
}

}  // namespace

platform::ErrorCode RegisterEventLogSource(const char* sourceName, const char* logName,
                                           tracing::ModuleHandle module) {
  if (sourceName == nullptr || *sourceName == '\0') {
    return platform::ERROR_INVALID_PARAMETER;
  }
  std::string keyPath = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\";
  keyPath += (logName != nullptr && *logName != '\0') ? logName : "Application";
  keyPath += '\\';
  keyPath += sourceName;

  platform::System& system = platform::system();
  std::unique_ptr<platform::RegistryKey> key;
  if (const platform::ErrorCode created =
          system.registry.createKey(platform::RegistryRoot::LocalMachine, keyPath, key);
      created != platform::ERROR_SUCCESS || !key) {
    return created != platform::ERROR_SUCCESS ? created : platform::ERROR_ACCESS_DENIED;
  }
  const std::string path = system.environment.modulePath(module);
  if (path.empty()) {
    const platform::ErrorCode error = system.environment.lastError();
    return error != platform::ERROR_SUCCESS ? error : platform::ERROR_MOD_NOT_FOUND;
  }
  // Each value is written on its own; one that fails does not stop the rest.
  setPath(*key, "EventMessageFile", path);
  setNumber(*key, "TypesSupported", kTypesSupported);
  setPath(*key, "CategoryMessageFile", path);
  setNumber(*key, "CategoryCount", kCategoryCount);
  setPath(*key, "DisplayNameFile", path);
  setNumber(*key, "DisplayNameID", kDisplayNameId);
  return platform::ERROR_SUCCESS;
}
