// Command lines as one text, in the two dialects this system meets.
//
// Programs are started from a single command line split by the Windows rules
// (double quotes group, backslashes escape only before a quote). The uploader
// reads its own options with a simpler token reader (space-separated tokens,
// double- or single-quoted sections, no escape character), so a command line
// built from separate arguments for that reader is quoted differently.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Splits by the Windows rules: the first token (the program) ends at the
// closing quote or at white space and knows no escapes; in the others 2n
// backslashes before a quote give n backslashes and the quote opens or closes
// a quoted part, 2n+1 give n backslashes and a literal quote, "" inside a
// quoted part is a literal quote, and other backslashes are ordinary.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// Writes one argument (not the program) so that splitCommandLine gives it
// back exactly.
std::string quoteCommandLineArgument(std::string_view argument);

// Writes one argument for the uploader's token reader: as it stands when it
// has no space and does not begin with a quote; else as quoted sections, in
// double quotes while it holds no double quote and switching to single quotes
// for the stretches that do; an empty argument as "".
std::string quoteToken(std::string_view argument);

// The arguments quoted with quoteToken and joined with single spaces.
std::string joinTokens(const std::vector<std::string>& arguments);

}  // namespace platform
