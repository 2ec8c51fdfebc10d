// What only the fakes do: scripting, recording and injected failures.
#include "platform/testing/fake_system.h"

#include <gtest/gtest.h>

namespace platform::testing {
namespace {

TEST(ScriptedDesktop, RecordsBoxesAndAnswersFromTheQueueThenOk) {
  FakeSystem fake;
  fake.desktop.answers = {IDCANCEL};
  Desktop& desktop = fake.system().desktop;
  EXPECT_EQ(desktop.messageBox("first", "Dravik", MB_OKCANCEL | MB_ICONWARNING), IDCANCEL);
  EXPECT_EQ(desktop.messageBox("second", "Dravik", MB_OK), IDOK);
  ASSERT_EQ(fake.desktop.boxes.size(), 2u);
  EXPECT_EQ(fake.desktop.boxes[0].text, "first");
  EXPECT_EQ(fake.desktop.boxes[0].caption, "Dravik");
  EXPECT_EQ(fake.desktop.boxes[0].style, MB_OKCANCEL | MB_ICONWARNING);

  fake.desktop.failing = true;
  EXPECT_EQ(desktop.messageBox("third", "Dravik", MB_OK), 0);
  EXPECT_EQ(fake.desktop.boxes.size(), 2u);
}

TEST(RecordedProcesses, TheTestDecidesWhenAProcessEnds) {
  FakeSystem fake;
  std::unique_ptr<Process> browser;
  ASSERT_EQ(fake.system().processes.start("browser \"http://x/\"", browser), ERROR_SUCCESS);
  fake.processes.last().endOnCheck = 3;
  EXPECT_FALSE(browser->hasEnded());
  EXPECT_FALSE(browser->hasEnded());
  EXPECT_EQ(browser->exitCode(), static_cast<std::uint32_t>(-1));
  EXPECT_TRUE(browser->hasEnded());
  EXPECT_EQ(browser->exitCode(), 0u);

  std::unique_ptr<Process> other;
  fake.processes.failNextStart(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(fake.processes.start("missing", other), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(fake.processes.start("present", other), ERROR_SUCCESS);
  EXPECT_EQ(fake.processes.commandLines,
            (std::vector<std::string>{"browser \"http://x/\"", "missing", "present"}));

  // A wait for a process that never ends costs virtual time only.
  EXPECT_FALSE(other->waitForEnd(5000));
  EXPECT_EQ(fake.clock.now, 5000u);
  browser.reset();
  EXPECT_TRUE(fake.processes.started[0]->handleClosed);
  EXPECT_FALSE(fake.processes.started[1]->handleClosed);
}

int exportedAnswer() { return 42; }

TEST(FakeLibraries, LoadsTablesRecordsUnloadsAndInjectsFailures) {
  FakeSystem fake;
  fake.libraries.add("/opt/plugin.so", {{"SubmitDocA", FakeLibraries::address(&exportedAnswer)}});
  fake.libraries.failLoad("/opt/broken.so", ERROR_BAD_EXE_FORMAT);
  std::unique_ptr<Library> library;
  EXPECT_EQ(fake.libraries.load("/opt/broken.so", library), ERROR_BAD_EXE_FORMAT);
  EXPECT_EQ(fake.libraries.load("/opt/none.so", library), ERROR_MOD_NOT_FOUND);
  ASSERT_EQ(fake.libraries.load("/opt/plugin.so", library), ERROR_SUCCESS);
  EXPECT_EQ(fake.libraries.loadedCount(), 1);
  EXPECT_EQ(library->function<int (*)()>("SubmitDocA")(), 42);
  ErrorCode error = 0;
  EXPECT_EQ(library->symbol("InitializeA", &error), nullptr);
  EXPECT_EQ(error, ERROR_PROC_NOT_FOUND);
  library.reset();
  EXPECT_EQ(fake.libraries.loadedCount(), 0);
  EXPECT_EQ(fake.libraries.unloads, std::vector<std::string>{"/opt/plugin.so"});
  EXPECT_EQ(fake.libraries.lookups,
            (std::vector<std::string>{"/opt/plugin.so!SubmitDocA", "/opt/plugin.so!InitializeA"}));
}

TEST(FakeFiles, InjectedFailuresHitTheChosenOperation) {
  FakeFiles files;
  files.setFile("/d/doc", std::string(100, 'x'));
  files.failReadAt("/d/doc", 64, ERROR_READ_FAULT);
  files.failWriteAt("", 10, ERROR_DISK_FULL);

  std::unique_ptr<File> file;
  ASSERT_EQ(files.open("/d/doc", {}, file), ERROR_SUCCESS);
  char buffer[64];
  std::uint32_t got = 0;
  EXPECT_EQ(file->read(buffer, 64, &got), ERROR_SUCCESS);
  EXPECT_EQ(got, 64u);
  EXPECT_EQ(file->read(buffer, 1, &got), ERROR_READ_FAULT);
  EXPECT_EQ(got, 0u);

  std::unique_ptr<File> out;
  ASSERT_EQ(files.open("/d/out", {kAccessWrite, kShareNone, FileDisposition::CreateNew}, out),
            ERROR_SUCCESS);
  EXPECT_EQ(out->write("0123456789", 10), ERROR_SUCCESS);
  EXPECT_EQ(out->write("a", 1), ERROR_DISK_FULL);
  EXPECT_EQ(files.content("/d/out"), "0123456789");
  EXPECT_EQ(files.openCount(), 2);
  file.reset();
  out.reset();
  EXPECT_EQ(files.openCount(), 0);

  files.failOpen("/d/doc", ERROR_ACCESS_DENIED);
  files.failCreateTemporaryFile(ERROR_PATH_NOT_FOUND);
  files.failReplace(ERROR_NOT_SAME_DEVICE);
  std::string temporary;
  EXPECT_EQ(files.open("/d/doc", {}, file), ERROR_ACCESS_DENIED);
  EXPECT_EQ(files.createTemporaryFile("/d", "FSF", &temporary), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(files.replace("/d/out", "/d/doc"), ERROR_NOT_SAME_DEVICE);
  files.clearFailures();
  EXPECT_EQ(files.open("/d/doc", {}, file), ERROR_SUCCESS);
}

TEST(FakeRegistry, DirectValuesAndWritesAreVisibleToTheTest) {
  FakeRegistry registry;
  registry.setString(RegistryRoot::ClassesRoot, ".htm", "", "htmlfile");
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(registry.openKey(RegistryRoot::ClassesRoot, ".HTM", key), ERROR_SUCCESS);
  char data[16];
  std::uint32_t type = 0, size = sizeof data;
  ASSERT_EQ(key->queryValue("", &type, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(std::string(data, size), std::string("htmlfile\0", 9));

  std::unique_ptr<RegistryKey> written;
  ASSERT_EQ(registry.createKey(RegistryRoot::LocalMachine, "SYSTEM\\Log\\Source", written),
            ERROR_SUCCESS);
  const std::uint32_t types = 7;
  ASSERT_EQ(written->setValue("TypesSupported", REG_DWORD, &types, 4), ERROR_SUCCESS);
  const auto stored =
      registry.value(RegistryRoot::LocalMachine, "system\\log\\source", "typessupported");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->type, REG_DWORD);
  EXPECT_EQ(stored->bytes, (std::vector<std::uint8_t>{7, 0, 0, 0}));

  registry.readOnly = true;
  EXPECT_EQ(registry.createKey(RegistryRoot::LocalMachine, "SYSTEM\\Other", written),
            ERROR_ACCESS_DENIED);
  EXPECT_FALSE(registry.hasKey(RegistryRoot::LocalMachine, "SYSTEM\\Other"));
}

TEST(FakeSystem, ReplacesTheSystemForItsScope) {
  FakeSystem fake;
  {
    ScopedSystem scope(fake);
    EXPECT_EQ(&platform::system().clock, &fake.clock);
    platform::system().clock.sleep(2000);
  }
  EXPECT_EQ(fake.clock.sleeps, std::vector<std::uint32_t>{2000});
  fake.environment.setArguments({"/opt/Dravik", "-file", "/tmp/a b.pmf"});
  EXPECT_EQ(fake.system().environment.commandLine(), "/opt/Dravik -file \"/tmp/a b.pmf\"");
  fake.environment.variables["Temp"] = "/t";
  EXPECT_EQ(fake.environment.variable("TEMP"), "/t");
  EXPECT_EQ(fake.systemMessages.message(ERROR_FILE_NOT_FOUND), "The file could not be found.");
  fake.systemMessages.texts.erase(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(fake.systemMessages.message(ERROR_FILE_NOT_FOUND), std::nullopt);
}

}  // namespace
}  // namespace platform::testing
