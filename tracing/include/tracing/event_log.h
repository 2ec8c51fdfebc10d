// Registration of the program as an event-log source.
#pragma once

#include "platform/errors.h"
#include "tracing/trace_library.h"

// Writes the key of source `sourceName` in log `logName` (null or empty:
// "Application") with the module's path as its message files. Returns 0 or a
// Win32 code. An empty source name is refused with ERROR_INVALID_PARAMETER
// before anything is written, because the key would be the log's own.
platform::ErrorCode RegisterEventLogSource(const char* sourceName, const char* logName,
                                           tracing::ModuleHandle module);
