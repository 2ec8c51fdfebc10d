// One fake of each port, bundled as a platform::System:
//
//   platform::testing::FakeSystem fake;
//   CUploadSession session(fake.system());
//   platform::ScopedSystem scope(fake.system());
#pragma once

#include "platform/system.h"
#include "platform/testing/fake_clock.h"
#include "platform/testing/fake_code_pages.h"
#include "platform/testing/fake_environment.h"
#include "platform/testing/fake_files.h"
#include "platform/testing/fake_libraries.h"
#include "platform/testing/fake_registry.h"
#include "platform/testing/fake_system_messages.h"
#include "platform/testing/recorded_processes.h"
#include "platform/testing/recording_debug_output.h"
#include "platform/testing/scripted_desktop.h"
#include "platform/testing/scripted_internet.h"

namespace platform::testing {

struct FakeSystem {
  FakeClock clock;
  FakeRegistry registry;
  ScriptedDesktop desktop;
  RecordedProcesses processes{&clock};
  FakeLibraries libraries;
  FakeFiles files;
  FakeCodePages codePages;
  FakeSystemMessages systemMessages;
  FakeEnvironment environment;
  RecordingDebugOutput debugOutput;
  ScriptedInternet internet;

  FakeSystem() = default;
  FakeSystem(const FakeSystem&) = delete;
  FakeSystem& operator=(const FakeSystem&) = delete;

  platform::System& system() { return system_; }
  operator platform::System&() { return system_; }

 private:
  platform::System system_{registry,       desktop, processes,   libraries,   files,   codePages,
                           systemMessages, clock,   environment, debugOutput, internet};
};

}  // namespace platform::testing
