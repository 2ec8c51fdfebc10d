// Run-time bindings of the platform's two HTTP client libraries, loaded by
// name so that HTTP code can use whichever one the machine offers. Where a
// library or one of its entry points is missing, the binding is not ready and
// errorText says why.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/libraries.h"

class HttpLibraryBinding {
 public:
  virtual ~HttpLibraryBinding() = default;
  HttpLibraryBinding(const HttpLibraryBinding&) = delete;
  HttpLibraryBinding& operator=(const HttpLibraryBinding&) = delete;

  bool ready() const { return ready_; }
  const std::string& errorText() const { return errorText_; }
  bool isLoaded() const { return module_ != nullptr; }

 protected:
  HttpLibraryBinding() = default;
  // Loads `library` and looks up the entry points of `lookupOrder` (indexes
  // into `entries`) one by one, stopping at the first that is missing.
  template <std::size_t N, std::size_t M>
  void bind(platform::Libraries& libraries, const char* library,
            const std::array<std::string_view, N>& names,
            const std::array<std::size_t, M>& lookupOrder, std::array<void*, N>& entries);

 private:
  std::unique_ptr<platform::Library> module_;
  std::string errorText_;
  bool ready_ = false;
};

class WinHttpBinding : public HttpLibraryBinding {
 public:
  enum Entry : std::size_t {
    WinHttpOpen,
    WinHttpSetTimeouts,
    WinHttpCloseHandle,
    WinHttpCrackUrl,
    WinHttpConnect,
    WinHttpOpenRequest,
    WinHttpSendRequest,
    WinHttpQueryHeaders,
    WinHttpAddRequestHeaders,
    WinHttpReceiveResponse,
    WinHttpSetCredentials,
    WinHttpSetOption,
    WinHttpQueryAuthSchemes,
    WinHttpReadData,
    WinHttpWriteData,
    kEntryCount
  };

  explicit WinHttpBinding(platform::Libraries& libraries);

  // The entry point's address; null until found.
  void* entry(Entry which) const { return entries_[which]; }

 private:
  std::array<void*, kEntryCount> entries_{};
};

class WinInetBinding : public HttpLibraryBinding {
 public:
  enum Entry : std::size_t {
    InternetSetOptionA,
    InternetOpenA,
    InternetCloseHandle,
    InternetCanonicalizeUrlA,
    InternetCrackUrlA,
    InternetConnectA,
    InternetReadFile,
    InternetWriteFile,
    HttpOpenRequestA,
    HttpSendRequestA,
    HttpSendRequestExA,
    HttpQueryInfoA,
    HttpEndRequestA,
    HttpAddRequestHeadersA,
    kEntryCount
  };

  explicit WinInetBinding(platform::Libraries& libraries);

  void* entry(Entry which) const { return entries_[which]; }

 private:
  std::array<void*, kEntryCount> entries_{};
};

// The process's bindings, made from the native system on first use (WinHTTP
// first) and kept until exit.
WinHttpBinding& winHttpBinding();
WinInetBinding& winInetBinding();
