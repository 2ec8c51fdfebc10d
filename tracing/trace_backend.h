// What differs between systems for the trace front-end: where the library is
// installed and whether the program can be an event-log source.
#pragma once

#include <string_view>

#include "tracing/trace_library.h"

namespace tracing::backend {

// Folder holding the maker's shared components folder when the registry does
// not name one.
std::string_view defaultCommonFilesFolder();
char pathSeparator();
std::string_view libraryFileName();

// Registers the program as an event-log source and opens it; false when that
// failed or this system has no event log.
bool openEventSource(std::string_view sourceName, ModuleHandle module);

}  // namespace tracing::backend
