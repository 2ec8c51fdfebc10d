// One instance of each port. Objects that live for one run take a System& in
// their constructor; process-wide code reaches the ports through system(),
// which a test may replace for its scope.
#pragma once

#include "platform/clock.h"
#include "platform/code_pages.h"
#include "platform/debug_output.h"
#include "platform/desktop.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/internet.h"
#include "platform/libraries.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/system_messages.h"

namespace platform {

// The operating system's own Internet port (the member of nativeSystem()).
Internet& nativeInternet();

struct System {
  Registry& registry;
  Desktop& desktop;
  Processes& processes;
  Libraries& libraries;
  Files& files;
  CodePages& codePages;
  SystemMessages& systemMessages;
  Clock& clock;
  Environment& environment;
  DebugOutput& debugOutput;
  // Last and defaulted, so that a System put together from a few fakes for a
  // test that sends nothing over HTTP need not name it.
  Internet& internet = nativeInternet();
};

// The operating system's own ports, created on first use.
System& nativeSystem();

// The System in force: the native one unless a ScopedSystem replaced it.
System& system();

// Makes `replacement` the answer of system() until destroyed; nests.
class ScopedSystem {
 public:
  explicit ScopedSystem(System& replacement);
  ~ScopedSystem();
  ScopedSystem(const ScopedSystem&) = delete;
  ScopedSystem& operator=(const ScopedSystem&) = delete;

 private:
  System* previous_;
};

}  // namespace platform
