#include "xmlfacility/http_bindings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/testing/fake_system.h"

namespace {

using platform::testing::FakeLibraries;

int anyFunction() { return 0; }

FakeLibraries::Symbols symbolsFor(const std::vector<std::string>& names) {
  FakeLibraries::Symbols symbols;
  for (const auto& name : names) symbols[name] = FakeLibraries::address(&anyFunction);
  return symbols;
}

const std::vector<std::string> kWinInetNames = {
    "InternetSetOptionA",       "InternetOpenA",         "InternetCloseHandle",
    "InternetCanonicalizeUrlA", "InternetCrackUrlA",     "InternetConnectA",
    "InternetReadFile",         "InternetWriteFile",     "HttpOpenRequestA",
    "HttpSendRequestA",         "HttpSendRequestExA",    "HttpQueryInfoA",
    "HttpEndRequestA",          "HttpAddRequestHeadersA"};

TEST(HttpBindingsTest, MissingLibraryLeavesTheBindingUnready) {
  FakeLibraries libraries;
  libraries.add("wininet.dll", symbolsFor(kWinInetNames));
  const WinHttpBinding winHttp(libraries);
  const WinInetBinding winInet(libraries);
  EXPECT_FALSE(winHttp.isLoaded());
  EXPECT_FALSE(winHttp.ready());
  EXPECT_EQ(winHttp.errorText(), "Cannot load winhttp.dll (error 126)");
  EXPECT_EQ(winHttp.entry(WinHttpBinding::WinHttpOpen), nullptr);
  EXPECT_TRUE(winInet.ready());
  EXPECT_EQ(winInet.errorText(), "");
  for (std::size_t i = 0; i < WinInetBinding::kEntryCount; ++i) {
    EXPECT_NE(winInet.entry(static_cast<WinInetBinding::Entry>(i)), nullptr) << i;
  }
}

TEST(HttpBindingsTest, LookupStopsAtTheFirstMissingEntryPoint) {
  auto names = kWinInetNames;
  std::erase(names, "InternetCrackUrlA");
  FakeLibraries libraries;
  libraries.add("wininet.dll", symbolsFor(names));
  const WinInetBinding winInet(libraries);
  EXPECT_TRUE(winInet.isLoaded());
  EXPECT_FALSE(winInet.ready());
  EXPECT_EQ(winInet.errorText(), "Cannot find procAddress InternetCrackUrlA");
  EXPECT_THAT(libraries.lookups,
              ::testing::ElementsAre("wininet.dll!InternetSetOptionA", "wininet.dll!InternetOpenA",
                                     "wininet.dll!InternetCanonicalizeUrlA",
                                     "wininet.dll!InternetCrackUrlA"));
  for (std::size_t i = 0; i < WinInetBinding::kEntryCount; ++i) {
    const auto entry = static_cast<WinInetBinding::Entry>(i);
    const bool found = entry == WinInetBinding::InternetSetOptionA ||
                       entry == WinInetBinding::InternetOpenA ||
                       entry == WinInetBinding::InternetCanonicalizeUrlA;
    EXPECT_EQ(winInet.entry(entry) != nullptr, found) << i;
  }
}

TEST(HttpBindingsTest, ThisSystemHasNeitherLibrary) {
  EXPECT_FALSE(winHttpBinding().ready());
  EXPECT_FALSE(winInetBinding().ready());
  EXPECT_THAT(winInetBinding().errorText(), ::testing::StartsWith("Cannot load wininet.dll"));
}

}  // namespace
