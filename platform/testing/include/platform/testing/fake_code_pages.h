// Code pages without a system converter: UTF-8 and the Western European page
// 1252, with the ANSI and OEM pages set by the test.
#pragma once

#include "platform/code_pages.h"

namespace platform::testing {

class FakeCodePages : public CodePages {
 public:
  std::uint32_t ansi = CP_UTF8;
  std::uint32_t oem = CP_UTF8;

  std::uint32_t ansiCodePage() override { return ansi; }
  std::uint32_t oemCodePage() override { return oem; }
  bool isSupported(std::uint32_t codePage) override;
  ErrorCode toUtf16(std::uint32_t codePage, std::string_view text, std::u16string* out) override;
  ErrorCode fromUtf16(std::uint32_t codePage, std::u16string_view text, std::string* out,
                      bool* usedDefault = nullptr) override;

 private:
  std::uint32_t resolve(std::uint32_t codePage) const;
};

}  // namespace platform::testing
