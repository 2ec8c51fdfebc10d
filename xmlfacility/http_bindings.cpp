#include "xmlfacility/http_bindings.h"

#include <cstdio>

#include "platform/system.h"

namespace {

constexpr std::array<std::string_view, WinHttpBinding::kEntryCount> kWinHttpNames = {
    "WinHttpOpen",
    "WinHttpSetTimeouts",
    "WinHttpCloseHandle",
    "WinHttpCrackUrl",
    "WinHttpConnect",
    "WinHttpOpenRequest",
    "WinHttpSendRequest",
    "WinHttpQueryHeaders",
    "WinHttpAddRequestHeaders",
    "WinHttpReceiveResponse",
    "WinHttpSetCredentials",
    "WinHttpSetOption",
    "WinHttpQueryAuthSchemes",
    "WinHttpReadData",
    "WinHttpWriteData",
};

constexpr std::array<std::size_t, WinHttpBinding::kEntryCount> kWinHttpLookupOrder = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};

constexpr std::array<std::string_view, WinInetBinding::kEntryCount> kWinInetNames = {
    "InternetSetOptionA",       "InternetOpenA",          "InternetCloseHandle",
    "InternetCanonicalizeUrlA", "InternetCrackUrlA",      "InternetConnectA",
    "InternetReadFile",         "InternetWriteFile",      "HttpOpenRequestA",
    "HttpSendRequestA",         "HttpSendRequestExA",     "HttpQueryInfoA",
    "HttpEndRequestA",          "HttpAddRequestHeadersA",
};

constexpr std::array<std::size_t, WinInetBinding::kEntryCount> kWinInetLookupOrder = {
    WinInetBinding::InternetSetOptionA,       WinInetBinding::InternetOpenA,
    WinInetBinding::InternetCanonicalizeUrlA, WinInetBinding::InternetCrackUrlA,
    WinInetBinding::InternetConnectA,         WinInetBinding::HttpOpenRequestA,
    WinInetBinding::HttpSendRequestA,         WinInetBinding::HttpSendRequestExA,
    WinInetBinding::HttpQueryInfoA,           WinInetBinding::HttpEndRequestA,
    WinInetBinding::HttpAddRequestHeadersA,   WinInetBinding::InternetCloseHandle,
    WinInetBinding::InternetReadFile,         WinInetBinding::InternetWriteFile,
};

}  // namespace

template <std::size_t N, std::size_t M>
void HttpLibraryBinding::bind(platform::Libraries& libraries, const char* library,
                              const std::array<std::string_view, N>& names,
                              const std::array<std::size_t, M>& lookupOrder,
                              std::array<void*, N>& entries) {
  char text[256];
  if (const platform::ErrorCode loaded = libraries.load(library, module_);
      loaded != platform::ERROR_SUCCESS || !module_) {
    module_.reset();
    std::snprintf(text, sizeof(text), "Cannot load %s (error %d)", library,
                  static_cast<int>(loaded));
    errorText_ = text;
    return;
  }
  for (const std::size_t index : lookupOrder) {
    const std::string name(names[index]);
    entries[index] = module_->symbol(name.c_str());
    if (entries[index] == nullptr) {
      std::snprintf(text, sizeof(text), "Cannot find procAddress %s", name.c_str());
      errorText_ = text;
      return;
    }
  }
  ready_ = true;
}

WinHttpBinding::WinHttpBinding(platform::Libraries& libraries) {
  bind(libraries, "winhttp.dll", kWinHttpNames, kWinHttpLookupOrder, entries_);
}

WinInetBinding::WinInetBinding(platform::Libraries& libraries) {
  bind(libraries, "wininet.dll", kWinInetNames, kWinInetLookupOrder, entries_);
}

WinHttpBinding& winHttpBinding() {
  static WinHttpBinding binding(platform::system().libraries);
  return binding;
}

WinInetBinding& winInetBinding() {
  winHttpBinding();
  static WinInetBinding binding(platform::system().libraries);
  return binding;
}
