// The POSIX backends against the real operating system.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "contract_support.h"
#include "platform/command_line.h"
#include "posix_ports.h"

namespace platform::contract {
namespace {

using namespace std::string_literals;

// Waits for a file a child writes; the children here finish in moments, and
// the bound only keeps a broken test from hanging.
std::optional<std::string> awaitFile(const std::string& path) {
  for (int i = 0; i < 6000; ++i) {
    if (auto content = readFile(path); content && !content->empty()) return content;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

TEST(PosixFiles, ErrnoBecomesTheWindowsCode) {
  TemporaryFolder folder;
  posix::PosixFiles files;
  writeFile(folder.path("locked"), "x");
  ::chmod(folder.path("locked").c_str(), 0444);
  std::filesystem::create_directory(folder.path("sub"));
  const bool root = ::geteuid() == 0;

  const struct {
    std::string path;
    std::uint32_t access;
    FileDisposition disposition;
    ErrorCode code;
  } cases[] = {
      {folder.path("missing"), kAccessRead, FileDisposition::OpenExisting, ERROR_FILE_NOT_FOUND},
      {folder.path("nofolder/x"), kAccessRead, FileDisposition::OpenExisting, ERROR_PATH_NOT_FOUND},
      {folder.path("nofolder/x"), kAccessWrite, FileDisposition::CreateAlways,
       ERROR_PATH_NOT_FOUND},
      {folder.path("sub"), kAccessRead, FileDisposition::OpenExisting, ERROR_ACCESS_DENIED},
      {folder.path("locked"), kAccessWrite, FileDisposition::OpenExisting,
       root ? ERROR_SUCCESS : ERROR_ACCESS_DENIED},
      {"", kAccessRead, FileDisposition::OpenExisting, ERROR_PATH_NOT_FOUND},
      {folder.path(std::string(300, 'n')), kAccessRead, FileDisposition::OpenExisting,
       ERROR_FILENAME_EXCED_RANGE},
  };
  for (const auto& c : cases) {
    std::unique_ptr<File> file;
    EXPECT_EQ(files.open(c.path, {c.access, kShareRead, c.disposition}, file), c.code) << c.path;
  }
  std::string temporary;
  EXPECT_EQ(files.createTemporaryFile(folder.path("nofolder"), "FSF", &temporary),
            ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(files.remove(folder.path("sub")), ERROR_ACCESS_DENIED);
  EXPECT_EQ(files.remove(folder.path("nofolder/x")), ERROR_PATH_NOT_FOUND);
}

TEST(PosixFiles, SizesAndOffsetsBeyondFourGigabytes) {
  TemporaryFolder folder;
  posix::PosixFiles files;
  std::unique_ptr<File> file;
  ASSERT_EQ(files.open(folder.path("big"),
                       {kAccessReadWrite, kShareNone, FileDisposition::CreateNew}, file),
            ERROR_SUCCESS);
  const std::int64_t far = 5LL << 30;
  std::uint64_t position = 0;
  ASSERT_EQ(file->seek(far, SeekOrigin::Begin, &position), ERROR_SUCCESS);
  EXPECT_EQ(position, static_cast<std::uint64_t>(far));
  ASSERT_EQ(file->write("z", 1), ERROR_SUCCESS);
  std::uint64_t size = 0;
  ASSERT_EQ(file->size(&size), ERROR_SUCCESS);
  EXPECT_EQ(size, static_cast<std::uint64_t>(far) + 1);
  ASSERT_EQ(file->seek(-1, SeekOrigin::End, &position), ERROR_SUCCESS);
  char c = 0;
  std::uint32_t got = 0;
  ASSERT_EQ(file->read(&c, 1, &got), ERROR_SUCCESS);
  EXPECT_EQ(c, 'z');
}

TEST(PosixFiles, ReplaceKeepsThePermissionBitsOfTheReplacedFile) {
  TemporaryFolder folder;
  posix::PosixFiles files;
  writeFile(folder.path("doc"), "old");
  ::chmod(folder.path("doc").c_str(), 0640);
  std::string temporary;
  ASSERT_EQ(files.createTemporaryFile(folder.path(), "FSF", &temporary), ERROR_SUCCESS);
  writeFile(temporary, "new");
  ::chmod(temporary.c_str(), 0600);
  ASSERT_EQ(files.replace(temporary, folder.path("doc")), ERROR_SUCCESS);
  struct stat info;
  ASSERT_EQ(::stat(folder.path("doc").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(readFile(folder.path("doc")), "new");
}

TEST(PosixFiles, SharingHoldsBetweenProcesses) {
  TemporaryFolder folder;
  posix::PosixFiles files;
  writeFile(folder.path("doc"), "x");
  std::unique_ptr<File> held;
  ASSERT_EQ(files.open(folder.path("doc"),
                       {kAccessWrite, kShareRead, FileDisposition::OpenExisting}, held),
            ERROR_SUCCESS);
  const pid_t child = ::fork();
  if (child == 0) {
    posix::PosixFiles inChild;
    std::unique_ptr<File> second;
    const ErrorCode denied = inChild.open(
        folder.path("doc"), {kAccessWrite, kShareRead | kShareWrite, FileDisposition::OpenExisting},
        second);
    const ErrorCode allowed = inChild.open(
        folder.path("doc"), {kAccessRead, kShareRead | kShareWrite, FileDisposition::OpenExisting},
        second);
    ::_exit(denied == ERROR_SHARING_VIOLATION && allowed == ERROR_SUCCESS ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(PosixProcesses, ArgumentsArriveAsTheWindowsRulesSplitThem) {
  TemporaryFolder folder;
  posix::PosixProcesses processes;
  const std::vector<std::string> arguments = {"a b",         "",  "q\"uote", "back\\", "it's",
                                              "caf\xC3\xA9", "\t"};
  std::string line = "sh -c \"printf '%s|' \\\"$@\\\" > " + folder.path("out") + "\" sh";
  for (const std::string& argument : arguments) line += " " + quoteCommandLineArgument(argument);
  std::unique_ptr<Process> process;
  ASSERT_EQ(processes.start(line, process), ERROR_SUCCESS);
  ASSERT_TRUE(process->waitForEnd(600000));
  EXPECT_EQ(process->exitCode(), 0u);
  EXPECT_EQ(readFile(folder.path("out")), "a b||q\"uote|back\\|it's|caf\xC3\xA9|\t|");
}

TEST(PosixProcesses, MissingProgramsAndSignalsAndInheritance) {
  TemporaryFolder folder;
  posix::PosixProcesses processes;
  std::unique_ptr<Process> process;
  EXPECT_EQ(processes.start("vardo-no-such-program-anywhere x", process), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(processes.start(folder.path("nothing"), process), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(processes.start("", process), ERROR_FILE_NOT_FOUND);

  // A descriptor of ours that is not marked close-on-exec still stays here.
  const int leaky = ::open(folder.path("leak").c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(leaky, 3);
  const std::string check = "sh -c \"if [ -e /proc/self/fd/" + std::to_string(leaky) +
                            " ]; then exit 3; fi; kill -TERM $$\"";
  ASSERT_EQ(processes.start(check, process), ERROR_SUCCESS);
  ASSERT_TRUE(process->waitForEnd(600000));
  ::close(leaky);
  EXPECT_EQ(process->exitCode(), 128u + 15u);  // ended by the signal, so nothing leaked
}

TEST(PosixProcesses, ClosingTheHandleLeavesTheChildRunning) {
  TemporaryFolder folder;
  posix::PosixProcesses processes;
  {
    std::unique_ptr<Process> process;
    const std::string line = "sh -c \"while [ ! -e '" + folder.path("go") +
                             "' ]; do sleep 0.01; done; echo done > '" + folder.path("out") + "'\"";
    ASSERT_EQ(processes.start(line, process), ERROR_SUCCESS);
  }
  writeFile(folder.path("go"), "1");
  EXPECT_EQ(awaitFile(folder.path("out")), "done\n");
}

TEST(PosixLibraries, LoaderFailuresMapOntoWindowsCodes) {
  TemporaryFolder folder;
  writeFile(folder.path("text.so"), "not a library at all, only text\n");
  posix::PosixLibraries libraries;
  const struct {
    std::string path;
    ErrorCode code;
  } cases[] = {
      {CONTRACT_MODULE, ERROR_SUCCESS},
      {"libm.so.6", ERROR_SUCCESS},  // no folder: searched as the loader does
      {folder.path("missing.so"), ERROR_MOD_NOT_FOUND},
      {"vardo-no-such-library.so", ERROR_MOD_NOT_FOUND},
      {folder.path("text.so"), ERROR_BAD_EXE_FORMAT},
      {CONTRACT_UNRESOLVED, ERROR_PROC_NOT_FOUND},
      {"", ERROR_MOD_NOT_FOUND},
  };
  for (const auto& c : cases) {
    std::unique_ptr<Library> library;
    EXPECT_EQ(libraries.load(c.path, library), c.code) << c.path;
  }
}

TEST(PosixEnvironment, ModuleAndProgramPaths) {
  posix::PosixLibraries libraries;
  posix::PosixEnvironment environment;
  std::unique_ptr<Library> library;
  ASSERT_EQ(libraries.load(CONTRACT_MODULE, library), ERROR_SUCCESS);
  const std::string module = std::filesystem::canonical(CONTRACT_MODULE).string();
  EXPECT_EQ(environment.modulePath(library->symbol("ContractAnswer")), module);
  EXPECT_EQ(environment.executablePath(), std::filesystem::read_symlink("/proc/self/exe").string());
  EXPECT_EQ(environment.modulePath(reinterpret_cast<const void*>(&awaitFile)),
            environment.executablePath());
}

// The command line travels: Windows rules to the child's argv, argv joined by
// the Environment port, and the uploader's token reader back to the words.
TEST(PosixEnvironment, CommandLineRoundTripsThroughARealChild) {
  TemporaryFolder folder;
  posix::PosixProcesses processes;
  const std::vector<std::string> arguments = {
      "-file", "/tmp/a document.pmf", "",          "say \"hi\"",  "it's",
      "\"'\"", "back\\slash\\",       "tab\there", "caf\xC3\xA9", "-server"};
  std::string line = quoteCommandLineArgument(SHOW_COMMAND_LINE) + " " +
                     quoteCommandLineArgument(folder.path("line"));
  for (const std::string& argument : arguments) line += " " + quoteCommandLineArgument(argument);
  std::unique_ptr<Process> process;
  ASSERT_EQ(processes.start(line, process), ERROR_SUCCESS);
  ASSERT_TRUE(process->waitForEnd(600000));
  ASSERT_EQ(process->exitCode(), 0u);
  std::vector<std::string> expected = {SHOW_COMMAND_LINE, folder.path("line")};
  expected.insert(expected.end(), arguments.begin(), arguments.end());
  EXPECT_EQ(readFile(folder.path("line")), joinTokens(expected));
}

TEST(PosixCodePages, EveryWindowsPageRoundTrips) {
  posix::PosixCodePages pages(CP_UTF8);
  const struct {
    std::uint32_t page;
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {874, "\xA1\x80", u"\u0E01\u20AC"},
      {932, "\x82\xA0\x93\xFA", u"\u3042\u65E5"},
      {936, "\xC4\xE3\xBA\xC3", u"\u4F60\u597D"},
      {949, "\xC7\xD1", u"\uD55C"},
      {950, "\xA4\xA4", u"\u4E2D"},
      {1250, "\x8A\xE8", u"\u0160\u010D"},
      {1251, "\xC0\xFF", u"\u0410\u044F"},
      {1252, "\x80\xE9", u"\u20AC\u00E9"},
      {1253, "\xC1\xF9", u"\u0391\u03C9"},
      {1254, "\xD0\xFE", u"\u011E\u015F"},
      {1255, "\xE0\xFA", u"\u05D0\u05EA"},
      {1256, "\xC7\xED", u"\u0627\u064A"},
      {1257, "\xC0\xFE", u"\u0104\u017E"},
      {1258, "\xC3\xFE", u"\u0102\u20AB"},
      {437, "\x82\xB0", u"\u00E9\u2591"},
      {850, "\x82\xD0", u"\u00E9\u00F0"},
      {CP_UTF8, "\xE2\x82\xAC", u"\u20AC"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(pages.isSupported(c.page)) << c.page;
    std::u16string wide;
    EXPECT_EQ(pages.toUtf16(c.page, c.bytes, &wide), ERROR_SUCCESS) << c.page;
    EXPECT_EQ(wide, c.text) << c.page;
    std::string narrow;
    bool usedDefault = true;
    EXPECT_EQ(pages.fromUtf16(c.page, c.text, &narrow, &usedDefault), ERROR_SUCCESS) << c.page;
    EXPECT_EQ(narrow, c.bytes) << c.page;
    EXPECT_FALSE(usedDefault) << c.page;
    // A character the page lacks becomes one '?'.
    EXPECT_EQ(pages.fromUtf16(c.page, u"x\U0001F600y", &narrow, &usedDefault), ERROR_SUCCESS);
    if (c.page != CP_UTF8) {
      EXPECT_EQ(narrow, "x?y") << c.page;
      EXPECT_TRUE(usedDefault) << c.page;
    }
  }
  std::u16string wide;
  EXPECT_EQ(pages.toUtf16(932, "a\x82", &wide), ERROR_SUCCESS);  // a lead byte cut off
  EXPECT_EQ(wide, u"a\uFFFD");
}

TEST(PosixCodePages, TheAnsiPageComesFromTheLocaleCharacterSet) {
  const struct {
    const char* charset;
    std::optional<std::uint32_t> page;
  } cases[] = {
      {"UTF-8", CP_UTF8}, {"utf8", CP_UTF8},         {"ISO-8859-1", 28591},
      {"CP1251", 1251},   {"windows-1252", 1252},    {"EUC-KR", 949},
      {"SHIFT_JIS", 932}, {"ANSI_X3.4-1968", 20127}, {"klingon", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(posix::codePageForCharset(c.charset), c.page) << c.charset;
  EXPECT_EQ(posix::PosixCodePages(1251).ansiCodePage(), 1251u);
}

TEST(PosixRegistry, TheDefaultBrowserAnswersWhenNoFileDefinesHtm) {
  TemporaryFolder folder;
  int asked = 0;
  const auto browser = [&asked]() -> std::optional<std::string> {
    ++asked;
    return "/usr/bin/browser --new-window \"%1\"";
  };
  const auto command = [](Registry& registry) {
    std::unique_ptr<RegistryKey> key;
    char data[256];
    std::uint32_t size = sizeof data, type = 0;
    if (registry.openKey(RegistryRoot::ClassesRoot, "htmlfile\\shell\\open\\command", key) != 0 ||
        key->queryValue("", &type, data, &size) != 0) {
      return std::string("<none>");
    }
    return std::string(data, size);
  };

  posix::PosixRegistry noFile("", browser, nullptr);
  EXPECT_EQ(command(noFile), "/usr/bin/browser --new-window \"%1\"\0"s);
  std::unique_ptr<RegistryKey> key;
  EXPECT_EQ(noFile.openKey(RegistryRoot::ClassesRoot, ".htm", key), ERROR_SUCCESS);
  EXPECT_EQ(asked, 1);  // asked once, whatever is opened after

  writeFile(folder.path("own.reg"),
            "REGEDIT4\n[HKEY_CLASSES_ROOT\\.htm]\n@=\"htmlfile\"\n"
            "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\n@=\"mine \\\"%1\\\"\"\n");
  posix::PosixRegistry withFile(folder.path("own.reg"), browser, nullptr);
  EXPECT_EQ(command(withFile), "mine \"%1\"\0"s);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(withFile.createKey(RegistryRoot::LocalMachine, "SYSTEM\\x", key), ERROR_ACCESS_DENIED);
  ASSERT_EQ(withFile.openKey(RegistryRoot::ClassesRoot, ".htm", key), ERROR_SUCCESS);
  EXPECT_EQ(key->setValue("", REG_SZ, "x", 2), ERROR_ACCESS_DENIED);
}

TEST(PosixRegistry, DesktopExecLinesBecomeCommandLines) {
  const struct {
    const char* exec;
    const char* command;
  } cases[] = {
      {"firefox-esr %u", "firefox-esr \"%1\""},
      {"/usr/bin/chromium %U", "/usr/bin/chromium \"%1\""},
      {"browser --new-window %u --class=%c", "browser --new-window \"%1\" --class="},
      {"browser", "browser \"%1\""},
      {"\"/opt/my browser/run\" --url=%u", "\"/opt/my browser/run\" \"%1\""},
      {"run %i %u 100%%", "run \"%1\" 100%"},
      {"sh -c \"exec b \\\"\\$1\\\"\" sh %u", "sh -c \"exec b \\\"$1\\\"\" sh \"%1\""},
  };
  for (const auto& c : cases) EXPECT_EQ(posix::commandFromDesktopExec(c.exec), c.command) << c.exec;
}

TEST(PosixRegistry, TheFileComesFromTheEnvironmentFirst) {
  TemporaryFolder folder;
  const char* saved = std::getenv("VARDO_REGISTRY");
  const std::string previous = saved != nullptr ? saved : "";
  ::setenv("VARDO_REGISTRY", folder.path("chosen.reg").c_str(), 1);
  EXPECT_EQ(posix::defaultRegistryFile(), folder.path("chosen.reg"));
  if (saved != nullptr) {
    ::setenv("VARDO_REGISTRY", previous.c_str(), 1);
  } else {
    ::unsetenv("VARDO_REGISTRY");
  }
}

TEST(PosixDesktopAndDebugOutput, WriteOneLineEach) {
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  posix::PosixDesktop desktop("", stream);
  EXPECT_EQ(desktop.messageBox("Upload failed.\nDetail", "Dravik", MB_OK | MB_ICONWARNING), IDOK);
  posix::PosixDebugOutput debug(stream);
  debug.write("FileUploadWS: retry");
  debug.write("second\n");
  posix::PosixDebugOutput silent(nullptr);
  silent.write("dropped");
  std::rewind(stream);
  char buffer[256] = {};
  const std::size_t n = std::fread(buffer, 1, sizeof buffer, stream);
  std::fclose(stream);
  EXPECT_EQ(std::string(buffer, n), "Dravik: Upload failed. Detail\nFileUploadWS: retry\nsecond\n");

  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (display == nullptr && wayland == nullptr) {
    EXPECT_EQ(posix::findZenity(), "");
  }
}

}  // namespace
}  // namespace platform::contract
