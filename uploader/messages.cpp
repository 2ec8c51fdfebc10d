#include "uploader/messages.h"

#include <array>
#include <cstdio>

#include "platform/system.h"
#include "uploader/options.h"

namespace uploader {

std::int32_t debugLevel = 0;
std::int32_t messageLevel = 0;

void ShowMessage(platform::System& system, std::int32_t level, std::string_view caption,
                 std::optional<std::string_view> text, std::uint32_t style) {
  if (level > messageLevel) return;
  const int answer = system.desktop.messageBox(text.value_or(std::string_view{}), caption,
                                               style | platform::MB_OKCANCEL);
  messageLevel = answer == platform::IDCANCEL ? level - 1 : debugLevel;
}

namespace {

void showWarningBox(platform::System& system, std::string_view caption, platform::ErrorCode code,
                    std::string_view detail) {
  std::string text = FormatSystemError(system, code);
  text += '\n';
  text += detail;
  system.desktop.messageBox(text, caption, platform::MB_ICONWARNING | platform::MB_OK);
}

}  // namespace

void ShowSystemError(platform::System& system, platform::ErrorCode code,
                     std::optional<std::string_view> detail) {
  showWarningBox(system, MessageCaption(system), code, detail.value_or(std::string_view{}));
}

void ReportRegistryError(platform::System& system, std::string_view caption,
                         platform::ErrorCode code, std::initializer_list<std::string_view> parts) {
  if (caption.empty()) return;
  std::string detail;
  bool first = true;
  for (const std::string_view part : parts) {
    if (!first) detail += '\\';
    detail += part;
    first = false;
  }
  showWarningBox(system, caption, code, detail);
}

std::string MessageCaption(platform::System& system) {
  std::string caption = LookUpOption(system.environment, kPrinterOption);
  if (caption.empty()) caption = kProgramName;
  return caption;
}

std::string FormatSystemError(platform::System& system, platform::ErrorCode code) {
  if (code == 0) return {};
  std::array<char, 16> number{};
  std::snprintf(number.data(), number.size(), code < 0x80000000u ? "%u" : "0x%X",
                static_cast<unsigned>(code));
  std::string text = number.data();
  if (const std::optional<std::string> message = system.systemMessages.message(code)) {
    text += ": ";
    text += *message;
    // The system's own message texts end in a line break; boxes and pages keep it.
    text += "\r\n";
  }
  return text;
}

std::string FormatSoapError(platform::CodePages& codePages, std::int32_t state,
                            std::optional<std::u16string_view> faultDetail) {
  static constexpr std::array<std::string_view, 11> kStateTexts = {
      "",
      "Initialization failed.",
      "Out of memory.",
      "Failed to generate the response.",
      "Failed to connect to the server.",
      "Failed to send the message.",
      "Server error.",
      "The server returned a SOAP fault.",
      "Failed to parse a SOAP fault.",
      "Failed while reading the response.",
      "Failed while parsing the response.",
  };
  constexpr std::int32_t kSuccess = 0;
  constexpr std::int32_t kSoapFault = 7;
  if (state == kSuccess) return {};

  std::string text = "SOAP error " + FormatNumber(state) + ": ";
  if (state > 0 && static_cast<std::size_t>(state) < kStateTexts.size()) {
    text += kStateTexts[static_cast<std::size_t>(state)];
  }
  if (state == kSoapFault && faultDetail) {
    std::string detail;
    codePages.fromUtf16(platform::CP_ACP, *faultDetail, &detail);
    text += ' ';
    text += detail;
  }
  return text;
}

std::string FormatNumber(std::int32_t value) { return std::to_string(value); }

std::string FormatSize64(std::uint32_t low, std::uint32_t high) {
  return std::to_string((static_cast<std::uint64_t>(high) << 32) | low);
}

}  // namespace uploader
