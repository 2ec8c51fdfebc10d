// The POSIX backends of the ports. The native System holds one of each; the
// contract tests build their own with test-chosen inputs.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/system.h"

namespace platform::detail {
class RegistryTree;
}

namespace platform::posix {

// errno as the Win32 code Windows gives for the same failure.
ErrorCode win32FromErrno(int error);

// Read-only registry over a .reg file. The file and the default browser's
// command are read once, on first use; `browserCommand` answers the command
// line that opens a web page ("%1" for the address), or nothing when the
// desktop names no browser.
class PosixRegistry final : public Registry {
 public:
  using BrowserCommand = std::function<std::optional<std::string>()>;
  PosixRegistry(std::string regFile, BrowserCommand browserCommand, DebugOutput* debugOutput);
  ~PosixRegistry() override;

  ErrorCode openKey(RegistryRoot root, std::string_view path,
                    std::unique_ptr<RegistryKey>& out) override;
  ErrorCode createKey(RegistryRoot root, std::string_view path,
                      std::unique_ptr<RegistryKey>& out) override;

 private:
  void load();
  void addBrowser();

  std::string regFile_;
  BrowserCommand browserCommand_;
  DebugOutput* debugOutput_;
  std::once_flag loaded_;
  std::once_flag browserAdded_;
  std::unique_ptr<detail::RegistryTree> tree_;
};

// The .reg file this machine uses: VARDO_REGISTRY, ~/.config/vardo/registry.reg,
// /etc/vardo/registry.reg, the first that exists (empty when none does).
std::string defaultRegistryFile();

// The desktop's default web browser as a command line, from the XDG settings
// and the browser's .desktop file; "xdg-open \"%1\"" when none is named.
std::optional<std::string> xdgBrowserCommand();

// Turns a .desktop file's Exec value into a command line whose URL argument
// is "%1" (the field codes %u %U %f %F become it, the others go).
std::string commandFromDesktopExec(std::string_view exec);

class PosixProcesses final : public Processes {
 public:
  ~PosixProcesses() override;
  ErrorCode start(std::string_view commandLine, std::unique_ptr<Process>& out) override;

  // Children whose handles were closed before they ended; reaped as they end.
  void reapOrphans();
  void adoptOrphan(int pid);

 private:
  std::mutex mutex_;
  std::vector<int> orphans_;
};

class PosixLibraries final : public Libraries {
 public:
  ErrorCode load(std::string_view path, std::unique_ptr<Library>& out) override;
};

class PosixFiles final : public Files {
 public:
  ErrorCode open(std::string_view path, const FileOpenOptions& options,
                 std::unique_ptr<File>& out) override;
  ErrorCode remove(std::string_view path) override;
  ErrorCode createTemporaryFile(std::string_view folder, std::string_view prefix,
                                std::string* path) override;
  ErrorCode replace(std::string_view from, std::string_view to) override;
};

class PosixCodePages final : public CodePages {
 public:
  // The ANSI code page comes from the locale's character set unless given.
  explicit PosixCodePages(std::optional<std::uint32_t> ansi = std::nullopt);
  std::uint32_t ansiCodePage() override { return ansi_; }
  std::uint32_t oemCodePage() override { return oem_; }
  bool isSupported(std::uint32_t codePage) override;
  ErrorCode toUtf16(std::uint32_t codePage, std::string_view text, std::u16string* out) override;
  ErrorCode fromUtf16(std::uint32_t codePage, std::u16string_view text, std::string* out,
                      bool* usedDefault = nullptr) override;

 private:
  std::uint32_t resolve(std::uint32_t codePage) const;
  std::uint32_t ansi_;
  std::uint32_t oem_;
};

// The code page named by a locale character set ("UTF-8", "ISO-8859-1",
// "CP1251", ...), or nothing.
std::optional<std::uint32_t> codePageForCharset(std::string_view charset);

class PosixSystemMessages final : public SystemMessages {
 public:
  std::optional<std::string> message(ErrorCode code) override;
};

// Boxes as zenity dialogs when a display and zenity are there, else as one
// line on `stream` answered with IDOK.
class PosixDesktop final : public Desktop {
 public:
  // `zenity` is the program to run, empty for lines only.
  PosixDesktop(std::string zenity, std::FILE* stream);
  int messageBox(std::string_view text, std::string_view caption, std::uint32_t style) override;

 private:
  std::string zenity_;
  std::FILE* stream_;
};

// The zenity the native desktop uses: found on PATH while DISPLAY or
// WAYLAND_DISPLAY is set, else empty.
std::string findZenity();

class PosixClock final : public Clock {
 public:
  std::uint32_t tickCount() override;
  std::uint64_t tickCount64() override;
  void sleep(std::uint32_t milliseconds) override;
};

class PosixEnvironment final : public Environment {
 public:
  std::string commandLine() override;
  std::optional<std::string> variable(std::string_view name) override;
  std::string expandStrings(std::string_view text) override;
  std::string temporaryFolder() override;
  std::string computerName() override;
  std::string executablePath() override;
  std::string modulePath(const void* address) override;
  ErrorCode lastError() override;
  void setLastError(ErrorCode code) override;
};

class PosixDebugOutput final : public DebugOutput {
 public:
  explicit PosixDebugOutput(std::FILE* stream) : stream_(stream) {}
  void write(std::string_view text) override;

 private:
  std::FILE* stream_;  // null: developers' lines are dropped
};

// Runs a program (argv[0] searched on PATH) and returns what it wrote on
// standard output, or nothing when it could not run, failed, or took longer
// than `timeoutMilliseconds`.
std::optional<std::string> captureOutput(const std::vector<std::string>& argv,
                                         int timeoutMilliseconds);

// Runs a program (argv[0] searched on PATH) and waits for its exit code;
// nothing when it could not be started.
std::optional<std::uint32_t> runAndWait(const std::vector<std::string>& argv);

}  // namespace platform::posix
