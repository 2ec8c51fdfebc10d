#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "posix_ports.h"

namespace platform {
namespace {

std::FILE* debugStream() {
  const char* setting = std::getenv("VARDO_DEBUG_OUTPUT");
  return setting != nullptr && std::strcmp(setting, "1") == 0 ? stderr : nullptr;
}

struct NativePorts {
  posix::PosixDebugOutput debugOutput{debugStream()};
  posix::PosixRegistry registry{posix::defaultRegistryFile(), posix::xdgBrowserCommand,
                                &debugOutput};
  posix::PosixDesktop desktop{posix::findZenity(), stderr};
  posix::PosixProcesses processes;
  posix::PosixLibraries libraries;
  posix::PosixFiles files;
  posix::PosixCodePages codePages;
  posix::PosixSystemMessages systemMessages;
  posix::PosixClock clock;
  posix::PosixEnvironment environment;
  std::unique_ptr<Internet> internet = createNativeInternet(desktop, environment);
};

}  // namespace

System& nativeSystem() {
  static NativePorts ports;
  static System native{ports.registry,    ports.desktop,     ports.processes,      ports.libraries,
                       ports.files,       ports.codePages,   ports.systemMessages, ports.clock,
                       ports.environment, ports.debugOutput, *ports.internet};
  return native;
}

Internet& nativeInternet() { return nativeSystem().internet; }

}  // namespace platform
