// Dravik's entry point, apart from how the system hands over its arguments.
#pragma once

#include <string_view>

namespace platform {
struct System;
}

namespace uploader {

inline constexpr std::string_view kUsageCaption = "Dravik: usage";
inline constexpr std::string_view kUsageText =
    "Dravik -file <local_file_path> -server <server_url> [-webservice <webservice_page>] "
    "[-wizard <wizard_page>] [-error <error_page>] [-skin <skin>] [-lang <language_code>] "
    "[-timeout <seconds>] [-delete no] [-chunksize <kbytes>] [-submitdoc <dll_path>] "
    "[-printer <printer_name>] [-checkwizard no] [-association .<extension>|<type>] "
    "[-debug 1|2|3|4|5|6]";

// Shows the usage box when the text after the program name is empty, else runs
// one CUploadSession. The exit code, always 0.
int RunProgram(platform::System& system, bool hasArgumentText);

}  // namespace uploader
