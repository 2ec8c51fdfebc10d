// The other ports: each fake and its POSIX backend meet the same expectations.
#include <gtest/gtest.h>

#include <cstdlib>

#include "contract_support.h"
#include "platform/testing/fake_system.h"
#include "posix_ports.h"

namespace platform::contract {
namespace {

using namespace std::string_literals;

// Each suite below runs once per implementation of its port.
template <typename Subject>
class SubjectTest : public ::testing::Test {
 protected:
  Subject subject;
};

// ---- Registry

const char kRegText[] =
    "REGEDIT4\n"
    "[HKEY_CLASSES_ROOT\\.htm]\n@=\"htmlfile\"\n"
    "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\n@=hex(2):25,42,25,20,22,25,31,22,00\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\n"
    "\"CommonFilesDir\"=\"/usr/lib/vardo\"\n\"Flags\"=dword:00000102\n";

struct FakeRegistrySubject {
  testing::FakeRegistry registry;
  FakeRegistrySubject() { EXPECT_EQ(registry.loadRegText(kRegText), ERROR_SUCCESS); }
};

struct PosixRegistrySubject {
  TemporaryFolder folder;
  posix::PosixRegistry registry;
  PosixRegistrySubject()
      : registry((writeFile(folder.path("r.reg"), kRegText), folder.path("r.reg")), nullptr,
                 nullptr) {}
};

template <typename Subject>
class RegistryContract : public SubjectTest<Subject> {};
using RegistrySubjects = ::testing::Types<FakeRegistrySubject, PosixRegistrySubject>;
TYPED_TEST_SUITE(RegistryContract, RegistrySubjects);

TYPED_TEST(RegistryContract, KeysAndValuesReadAsOnWindows) {
  Registry& registry = this->subject.registry;
  const struct {
    RegistryRoot root;
    const char* key;
    const char* name;
    ErrorCode code;
    std::uint32_t type;
    std::string data;
  } cases[] = {
      {RegistryRoot::ClassesRoot, ".htm", "", ERROR_SUCCESS, REG_SZ, "htmlfile\0"s},
      {RegistryRoot::ClassesRoot, "HTMLFILE\\shell\\OPEN\\command", "", ERROR_SUCCESS,
       REG_EXPAND_SZ, "%B% \"%1\"\0"s},
      {RegistryRoot::LocalMachine, "software\\microsoft\\windows\\currentversion", "commonfilesdir",
       ERROR_SUCCESS, REG_SZ, "/usr/lib/vardo\0"s},
      {RegistryRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion", "Flags",
       ERROR_SUCCESS, REG_DWORD, "\x02\x01\0\0"s},
      {RegistryRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion", "Missing",
       ERROR_FILE_NOT_FOUND, 0, ""},
      {RegistryRoot::ClassesRoot, ".pdf", "", ERROR_FILE_NOT_FOUND, 0, ""},
      {RegistryRoot::CurrentUser, "Software", "", ERROR_FILE_NOT_FOUND, 0, ""},
  };
  for (const auto& c : cases) {
    std::unique_ptr<RegistryKey> key;
    ErrorCode code = registry.openKey(c.root, c.key, key);
    std::uint32_t type = 0;
    char data[64];
    std::uint32_t size = sizeof data;
    if (code == ERROR_SUCCESS) code = key->queryValue(c.name, &type, data, &size);
    EXPECT_EQ(code, c.code) << c.key << "!" << c.name;
    if (code != ERROR_SUCCESS) continue;
    EXPECT_EQ(type, c.type) << c.key << "!" << c.name;
    EXPECT_EQ(std::string(data, size), c.data) << c.key << "!" << c.name;
  }

  // Opening step by step reaches the same value, and a short buffer is told
  // the size it needs.
  std::unique_ptr<RegistryKey> root, type, shell;
  ASSERT_EQ(registry.openKey(RegistryRoot::ClassesRoot, "", root), ERROR_SUCCESS);
  ASSERT_EQ(root->openSubKey("htmlfile", type), ERROR_SUCCESS);
  ASSERT_EQ(type->openSubKey("shell\\open\\command", shell), ERROR_SUCCESS);
  char small[4];
  std::uint32_t size = sizeof small;
  EXPECT_EQ(shell->queryValue("", nullptr, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 9u);
}

// ---- Processes

struct RecordedProcessesSubject {
  testing::FakeClock clock;
  testing::RecordedProcesses processes{&clock};
  std::string waitingCommand() { return "waiter"; }
  void end(std::uint32_t code) {
    processes.last().exitCode = code;
    processes.last().ended = true;
  }
};

struct PosixProcessesSubject {
  TemporaryFolder folder;
  posix::PosixProcesses processes;
  // Runs until the test lets it go, then ends with the code the test wrote.
  std::string waitingCommand() {
    const std::string stop = folder.path("stop");
    return "sh -c \"while [ ! -s '" + stop + "' ]; do sleep 0.01; done; exit $(cat '" + stop +
           "')\"";
  }
  void end(std::uint32_t code) { writeFile(folder.path("stop"), std::to_string(code)); }
};

template <typename Subject>
class ProcessesContract : public SubjectTest<Subject> {};
using ProcessesSubjects = ::testing::Types<RecordedProcessesSubject, PosixProcessesSubject>;
TYPED_TEST_SUITE(ProcessesContract, ProcessesSubjects);

TYPED_TEST(ProcessesContract, RunsUntilItEndsAndThenTellsItsExitCode) {
  std::unique_ptr<Process> process;
  ASSERT_EQ(this->subject.processes.start(this->subject.waitingCommand(), process), ERROR_SUCCESS);
  EXPECT_FALSE(process->hasEnded());
  EXPECT_EQ(process->exitCode(), static_cast<std::uint32_t>(-1));
  EXPECT_FALSE(process->waitForEnd(0));
  this->subject.end(7);
  EXPECT_TRUE(process->waitForEnd(600000));
  EXPECT_TRUE(process->hasEnded());
  EXPECT_EQ(process->exitCode(), 7u);
}

// ---- Libraries

int answer() { return 42; }

struct FakeLibrariesSubject {
  testing::FakeLibraries libraries;
  FakeLibrariesSubject() {
    libraries.add(CONTRACT_MODULE, {{"ContractAnswer", testing::FakeLibraries::address(&answer)}});
  }
};
struct PosixLibrariesSubject {
  posix::PosixLibraries libraries;
};

template <typename Subject>
class LibrariesContract : public SubjectTest<Subject> {};
using LibrariesSubjects = ::testing::Types<FakeLibrariesSubject, PosixLibrariesSubject>;
TYPED_TEST_SUITE(LibrariesContract, LibrariesSubjects);

TYPED_TEST(LibrariesContract, LoadsByPathAndFindsExports) {
  std::unique_ptr<Library> library;
  EXPECT_EQ(this->subject.libraries.load("/nonexistent/Plugin.so", library), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(library, nullptr);
  ASSERT_EQ(this->subject.libraries.load(CONTRACT_MODULE, library), ERROR_SUCCESS);
  ErrorCode error = 99;
  const auto answer = library->function<int (*)()>("ContractAnswer", &error);
  EXPECT_EQ(error, ERROR_SUCCESS);
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(library->symbol("SubmitDocA", &error), nullptr);
  EXPECT_EQ(error, ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(library->symbol("SubmitDocA"), nullptr);
}

// ---- Code pages

struct FakeCodePagesSubject {
  testing::FakeCodePages codePages;
  FakeCodePagesSubject() { codePages.ansi = 1252; }
};
struct PosixCodePagesSubject {
  posix::PosixCodePages codePages{1252};
};

template <typename Subject>
class CodePagesContract : public SubjectTest<Subject> {};
using CodePagesSubjects = ::testing::Types<FakeCodePagesSubject, PosixCodePagesSubject>;
TYPED_TEST_SUITE(CodePagesContract, CodePagesSubjects);

TYPED_TEST(CodePagesContract, ConvertsLikeWindows) {
  CodePages& pages = this->subject.codePages;
  EXPECT_EQ(pages.ansiCodePage(), 1252u);
  EXPECT_TRUE(pages.isSupported(CP_UTF8));
  EXPECT_TRUE(pages.isSupported(CP_ACP));
  EXPECT_FALSE(pages.isSupported(12345));

  const struct {
    std::uint32_t page;
    std::string bytes;
    std::u16string text;
  } both[] = {
      {CP_ACP, "caf\xE9 \x80 \x9F", u"caf\u00E9 \u20AC \u0178"},
      {1252, "", u""},
      {CP_UTF8, "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", u"caf\u00E9 \u20AC \U0001F600"},
  };
  for (const auto& c : both) {
    std::u16string wide;
    EXPECT_EQ(pages.toUtf16(c.page, c.bytes, &wide), ERROR_SUCCESS);
    EXPECT_EQ(wide, c.text) << c.bytes;
    std::string narrow = "stale";
    bool usedDefault = true;
    EXPECT_EQ(pages.fromUtf16(c.page, c.text, &narrow, &usedDefault), ERROR_SUCCESS);
    EXPECT_EQ(narrow, c.bytes);
    EXPECT_FALSE(usedDefault);
  }

  std::string narrow;
  bool usedDefault = false;
  EXPECT_EQ(pages.fromUtf16(1252, u"a\u0100\U0001F600\xD800z", &narrow, &usedDefault),
            ERROR_SUCCESS);
  EXPECT_EQ(narrow, "a???z");
  EXPECT_TRUE(usedDefault);
  std::u16string wide;
  EXPECT_EQ(pages.toUtf16(CP_UTF8, "a\xFFz", &wide), ERROR_SUCCESS);
  EXPECT_EQ(wide, u"a\uFFFDz");
  EXPECT_EQ(pages.toUtf16(12345, "x", &wide), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(pages.fromUtf16(12345, u"x", &narrow), ERROR_INVALID_PARAMETER);
}

// ---- System messages

template <typename Messages>
class SystemMessagesContract : public SubjectTest<Messages> {};
using MessagesSubjects = ::testing::Types<testing::FakeSystemMessages, posix::PosixSystemMessages>;
TYPED_TEST_SUITE(SystemMessagesContract, MessagesSubjects);

TYPED_TEST(SystemMessagesContract, EveryCodeTheSystemProducesHasAShortText) {
  const ErrorCode codes[] = {
      ERROR_SUCCESS,
      ERROR_FILE_NOT_FOUND,
      ERROR_PATH_NOT_FOUND,
      ERROR_ACCESS_DENIED,
      ERROR_INVALID_HANDLE,
      ERROR_NOT_ENOUGH_MEMORY,
      ERROR_INVALID_DATA,
      ERROR_BAD_LENGTH,
      ERROR_SHARING_VIOLATION,
      ERROR_FILE_EXISTS,
      ERROR_INVALID_PARAMETER,
      ERROR_DISK_FULL,
      ERROR_CALL_NOT_IMPLEMENTED,
      ERROR_INSUFFICIENT_BUFFER,
      ERROR_MOD_NOT_FOUND,
      ERROR_PROC_NOT_FOUND,
      ERROR_NEGATIVE_SEEK,
      ERROR_BAD_ARGUMENTS,
      ERROR_ALREADY_EXISTS,
      ERROR_BAD_EXE_FORMAT,
      ERROR_FILE_TOO_LARGE,
      ERROR_MORE_DATA,
      ERROR_DLL_INIT_FAILED,
      ERROR_CANCELLED,
      ERROR_TIMEOUT,
      ERROR_FUNCTION_FAILED,
      ERROR_INTERNET_TIMEOUT,
      ERROR_INTERNET_NAME_NOT_RESOLVED,
      ERROR_INTERNET_INCORRECT_PASSWORD,
      ERROR_INTERNET_CANNOT_CONNECT,
      ERROR_INTERNET_CONNECTION_ABORTED,
      ERROR_INTERNET_CONNECTION_RESET,
      ERROR_INTERNET_FORCE_RETRY,
      ERROR_INTERNET_SEC_CERT_DATE_INVALID,
      ERROR_INTERNET_SEC_CERT_CN_INVALID,
      ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR,
      ERROR_INTERNET_POST_IS_NON_SECURE,
      ERROR_INTERNET_SEC_CERT_ERRORS,
      ERROR_INTERNET_INVALID_CA,
      ERROR_HTTP_INVALID_SERVER_RESPONSE,
      E_NOINTERFACE,
      E_FAIL,
      E_OUTOFMEMORY,
      E_INVALIDARG,
      hresultFromWin32(ERROR_ACCESS_DENIED),
  };
  for (const ErrorCode code : codes) {
    const std::optional<std::string> text = this->subject.message(code);
    ASSERT_TRUE(text) << code;
    EXPECT_FALSE(text->empty()) << code;
    EXPECT_NE(text->back(), '\n') << code;
    EXPECT_EQ(text->back(), '.') << code;
  }
  EXPECT_EQ(this->subject.message(0x0BADC0DEu), std::nullopt);
}

// ---- Environment

struct FakeEnvironmentSubject {
  testing::FakeEnvironment environment;
  void set(const std::string& name, const std::string& value) {
    environment.variables[name] = value;
  }
};
struct PosixEnvironmentSubject {
  posix::PosixEnvironment environment;
  std::vector<std::string> names;
  void set(const std::string& name, const std::string& value) {
    names.push_back(name);
    ::setenv(name.c_str(), value.c_str(), 1);
  }
  ~PosixEnvironmentSubject() {
    for (const std::string& name : names) ::unsetenv(name.c_str());
  }
};

template <typename Subject>
class EnvironmentContract : public SubjectTest<Subject> {};
using EnvironmentSubjects = ::testing::Types<FakeEnvironmentSubject, PosixEnvironmentSubject>;
TYPED_TEST_SUITE(EnvironmentContract, EnvironmentSubjects);

TYPED_TEST(EnvironmentContract, VariablesExpansionFoldersAndLastError) {
  this->subject.set("VARDO_CONTRACT_BROWSER", "/opt/b");
  Environment& environment = this->subject.environment;
  EXPECT_EQ(environment.variable("VARDO_CONTRACT_BROWSER"), "/opt/b");
  EXPECT_EQ(environment.variable("vardo_contract_browser"), "/opt/b");
  EXPECT_EQ(environment.variable("VARDO_CONTRACT_UNSET"), std::nullopt);
  EXPECT_EQ(environment.expandStrings("%Vardo_Contract_Browser%/run \"%1\" %VARDO_CONTRACT_UNSET%"),
            "/opt/b/run \"%1\" %VARDO_CONTRACT_UNSET%");
  const std::string temporary = environment.temporaryFolder();
  ASSERT_FALSE(temporary.empty());
  EXPECT_EQ(temporary.back(), '/');
  EXPECT_FALSE(environment.executablePath().empty());
  environment.setLastError(ERROR_SHARING_VIOLATION);
  EXPECT_EQ(environment.lastError(), ERROR_SHARING_VIOLATION);
}

// ---- Desktop

struct ScriptedDesktopSubject {
  testing::ScriptedDesktop desktop;
};
struct PosixDesktopSubject {
  std::FILE* stream = std::tmpfile();
  posix::PosixDesktop desktop{"", stream};
  ~PosixDesktopSubject() { std::fclose(stream); }
};

template <typename Subject>
class DesktopContract : public SubjectTest<Subject> {};
using DesktopSubjects = ::testing::Types<ScriptedDesktopSubject, PosixDesktopSubject>;
TYPED_TEST_SUITE(DesktopContract, DesktopSubjects);

TYPED_TEST(DesktopContract, UnattendedBoxesAnswerOk) {
  EXPECT_EQ(this->subject.desktop.messageBox("text", "Dravik: usage", MB_OK | MB_ICONINFORMATION),
            IDOK);
  EXPECT_EQ(this->subject.desktop.messageBox("Upload?", "Dravik", MB_OKCANCEL | MB_ICONWARNING),
            IDOK);
}

}  // namespace
}  // namespace platform::contract
