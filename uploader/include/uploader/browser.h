// Showing a page: the registry's shell command for web documents, started as
// a process of its own so that the caller can watch whether it has ended.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {
struct System;
class Process;
}  // namespace platform

namespace uploader {

inline constexpr std::string_view kDefaultAssociation = ".htm";

// Finds the shell command of `association` (an extension with its dot, or a
// file type; ".htm" when empty) under HKEY_CLASSES_ROOT, puts `url` into it and
// starts it. Every failing step is reported in a box captioned `caption`.
// Returns the started process, or null (without a box for an empty URL).
std::unique_ptr<platform::Process> LaunchAssociation(platform::System& system,
                                                     std::string_view caption, std::string_view url,
                                                     std::string_view association);

// The command line of `commandTemplate` with the URL inserted, unquoted, at its
// first "%1"; later "%1"s are dropped. A template without "%1" gets the URL
// after one space. No other placeholder is known.
std::string SubstituteArgument(std::string_view commandTemplate, std::string_view url);

}  // namespace uploader
