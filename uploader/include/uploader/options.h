// The command line of Dravik: token reading, option lookup and the readings of
// option values. Everything the program is told arrives here; nothing is
// rejected as a whole, values are cut to their option's capacity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {
class Environment;
}

namespace uploader {

// An option's name (with its leading "-") and the capacity of the buffer its
// value is copied into, terminator included: at most capacity - 1 characters
// of a value are kept.
struct OptionSpec {
  std::string_view name;
  std::size_t capacity;
};

inline constexpr OptionSpec kFileOption{"-file", 260};
inline constexpr OptionSpec kServerOption{"-server", 1024};
inline constexpr OptionSpec kWebServiceOption{"-webservice", 1024};
inline constexpr OptionSpec kWizardOption{"-wizard", 1024};
inline constexpr OptionSpec kErrorOption{"-error", 1024};
inline constexpr OptionSpec kLangOption{"-lang", 128};
inline constexpr OptionSpec kSkinOption{"-skin", 128};
inline constexpr OptionSpec kTimeoutOption{"-timeout", 128};
inline constexpr OptionSpec kChunkSizeOption{"-chunksize", 128};
inline constexpr OptionSpec kDeleteOption{"-delete", 128};
inline constexpr OptionSpec kCheckWizardOption{"-checkwizard", 128};
inline constexpr OptionSpec kSubmitDocOption{"-submitdoc", 260};
inline constexpr OptionSpec kPrinterOption{"-printer", 128};
inline constexpr OptionSpec kAssociationOption{"-association", 128};
inline constexpr OptionSpec kDebugOption{"-debug", 128};

inline constexpr std::string_view kDefaultWebServicePath = "/FileUploadWS/FileUploadWS.dll";
inline constexpr std::string_view kDefaultWizardPath = "/tolvane/webaccess/printdriver.xuf";
inline constexpr std::string_view kDefaultErrorPath = "/tolvane/webaccess/uploaderror.aspx";
inline constexpr std::uint32_t kDefaultChunkSizeKilobytes = 64;

// Reads one token of `line` at `cursor` and moves the cursor past it. Spaces
// (0x20 only) separate tokens; a section between double or single quotes keeps
// its spaces and loses its quotes, and sections written back to back join.
// When `buffer` is given it receives at most capacity - 1 characters of the
// token (it is emptied first whenever capacity is above 0). Returns the full
// length of the token.
std::size_t ReadToken(std::string_view line, std::size_t& cursor, std::string* buffer,
                      std::size_t capacity);

// Looks `name` up on the whole command line `line` (program path first) and
// stores its value, cut to capacity - 1 characters, or an empty text when the
// option is absent or has no value. The first occurrence wins; a non-matching
// option always takes the next token as its value. Returns the full length of
// the value token.
std::size_t FindOption(std::string_view line, std::string_view name, std::string* buffer,
                       std::size_t capacity);

// The value of `option` on the process's command line. `wasCut`, when given,
// tells whether the value was longer than the option's capacity allows.
std::string LookUpOption(platform::Environment& environment, const OptionSpec& option,
                         bool* wasCut = nullptr);

// Lenient decimal reading: every digit counts, everything else is skipped, so
// "1m30" reads 130. 32-bit arithmetic, wrapping beyond it.
std::uint32_t ParseDigits(std::string_view text);

// The "-debug" reading: the leading decimal digits only, 0 when there are none.
std::int32_t ParseLeadingDigits(std::string_view text);

// True only when `value` is "no" in any case: the word that switches "-delete"
// and "-checkwizard" off.
bool IsSwitchedOff(std::string_view value);

}  // namespace uploader
