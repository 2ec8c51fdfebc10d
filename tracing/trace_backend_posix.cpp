#include "trace_backend.h"

namespace tracing::backend {

std::string_view defaultCommonFilesFolder() { return "/usr/lib/vardo"; }

char pathSeparator() { return '/'; }

std::string_view libraryFileName() { return "VardoLog.so"; }

// There is no event log here; the front-end goes on as it does when the
// registration fails.
bool openEventSource(std::string_view, ModuleHandle) { return false; }

}  // namespace tracing::backend
