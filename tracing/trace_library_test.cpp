// The front-end against the stand-in library loaded by the real loader: the
// entry points are found by name and called with their arguments in order
// across a real module boundary.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/system.h"
#include "platform/testing/fake_system.h"
#include "testing/trace_double.h"
#include "tracing/trace.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

class TemporaryFolder {
 public:
  TemporaryFolder() {
    path_ = fs::temp_directory_path() /
            ("vardo-trace-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    fs::create_directories(path_);
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

TEST(TraceLibraryTest, RealModuleIsBoundAndRecordsArriveInOrder) {
  TemporaryFolder folder;
  const fs::path libraryPath = folder.path() / "Vardo Shared" / "VardoLog.so";
  fs::create_directories(libraryPath.parent_path());
  fs::copy_file(VARDO_TRACE_DOUBLE, libraryPath);

  platform::System& native = platform::nativeSystem();
  platform::testing::FakeSystem fake;
  fake.registry.setString(platform::RegistryRoot::LocalMachine,
                          "Software\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir",
                          folder.path().string());
  platform::System mixed{fake.registry,      fake.desktop,    fake.processes,      native.libraries,
                         fake.files,         fake.codePages,  fake.systemMessages, fake.clock,
                         native.environment, fake.debugOutput};
  platform::ScopedSystem scope(mixed);

  // The same module, loaded here first, to set its answers.
  std::unique_ptr<platform::Library> library;
  ASSERT_EQ(native.libraries.load(libraryPath.string(), library), platform::ERROR_SUCCESS);
  auto* control = library->function<TraceDoubleControl* (*)()>("trace_double_control")();
  ASSERT_NE(control, nullptr);
  control->descriptorName = "Dravik";
  control->openContext = 1;
  control->contextArgument = 2;
  control->configuration[1] = 0x7000002u;
  control->configuration[2] = kTraceCategoryXml;
  control->onCall = [] {
    platform::nativeSystem().environment.setLastError(platform::ERROR_ACCESS_DENIED);
  };

  {
    tracing::TraceFrontEnd frontEnd;
    tracing::ScopedTraceFrontEnd traceScope(frontEnd);
    EXPECT_TRUE(TraceIsEnabled(kTraceCategoryXml, kTraceLevelError2));
    EXPECT_EQ(frontEnd.libraryPath(), libraryPath.string());
    EXPECT_THAT(fake.debugOutput.lines, ElementsAre("TraceInit OK ", "Dravik", "\n"));

    native.environment.setLastError(platform::ERROR_FILE_NOT_FOUND);
    {
      CTraceRecord(kTraceCategoryXml, kTraceLevelError2, "at %1!d!, %2!d!: %3", 6)
          .addNumber(3)
          .addNumber(14)
          .addText("mismatched tag");
    }
    EXPECT_EQ(native.environment.lastError(), platform::ERROR_FILE_NOT_FOUND);
  }

  const std::string module = traceDoublePointer(tracing::ownModule());
  EXPECT_THAT(
      control->calls,
      ElementsAre("trc_initialize()", "trc_createA(" + module + ")",
                  "trc_get_shared_configuration(7)",
                  "trc_open_contextExA(7, Dravik, (nil), (nil), 0, " + module + ", 0, 0, 2)",
                  "trc_begin(9, 0x40000000, 0x1000002)",
                  "trc_write_rawA(9, at %1!d!, %2!d!: %3, " + module + ", 6)",
                  "trc_write_param2(9, 3, 6)", "trc_write_param2(9, 14, 6)",
                  "trc_write_param1A(9, mismatched tag, 6)", "trc_end(9, 1, 6)"));
}

}  // namespace
