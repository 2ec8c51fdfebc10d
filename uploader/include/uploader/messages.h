// What Dravik tells the user on the desktop: the warning box with the system
// error text, the diagnostic boxes of the "-debug" levels, and the texts that
// failures carry into boxes and error pages.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace platform {
struct System;
class CodePages;
}  // namespace platform

namespace uploader {

// The "-debug" level chosen at start-up, and the level up to which diagnostic
// boxes are shown now (lowered by Cancel, restored by OK). Process-wide: set
// once by the construction of CUploadSession, then touched only by ShowMessage.
extern std::int32_t debugLevel;
extern std::int32_t messageLevel;

inline constexpr std::string_view kProgramName = "Dravik";

// A diagnostic box of `level` with OK and Cancel, shown only while level <=
// messageLevel. Cancel silences this level and every higher one; OK restores
// the chosen level.
void ShowMessage(platform::System& system, std::int32_t level, std::string_view caption,
                 std::optional<std::string_view> text, std::uint32_t style);

// The warning box with the text of `code` and, on its own line, `detail`;
// captioned with MessageCaption() and shown whatever the levels say.
void ShowSystemError(platform::System& system, platform::ErrorCode code,
                     std::optional<std::string_view> detail);

// The ShowSystemError box for a registry path or a command: the parts joined
// with backslashes, under an explicit caption. Nothing is shown for an empty
// caption.
void ReportRegistryError(platform::System& system, std::string_view caption,
                         platform::ErrorCode code, std::initializer_list<std::string_view> parts);

// The "-printer" value, or "Dravik" when none was given.
std::string MessageCaption(platform::System& system);

// "" for 0; otherwise the code (decimal below 0x80000000, else "0x%X") and,
// when the system has a text for it, ": " and that text ending in CR LF.
std::string FormatSystemError(platform::System& system, platform::ErrorCode code);

// "SOAP error <state>: " and the state's text; the fault detail (converted to
// the ANSI code page) follows the SoapFault text when given. Empty for state 0.
std::string FormatSoapError(platform::CodePages& codePages, std::int32_t state,
                            std::optional<std::u16string_view> faultDetail);

// Signed 32-bit decimal ("%d").
std::string FormatNumber(std::int32_t value);
// The 64-bit value made of two halves, in decimal.
std::string FormatSize64(std::uint32_t low, std::uint32_t high);

}  // namespace uploader
