#include "tracing/trace.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/system.h"
#include "trace_backend.h"

namespace tracing {
namespace {

constexpr std::uint32_t kLevelNumberMask = 0x00FFFFFFu;
constexpr std::size_t kLibraryPathLimit = 260;

// Stands for this module: its address lies inside it.
const char kModuleAnchor = 0;

TraceFrontEnd* g_override = nullptr;

// The process's front-end is never destroyed: records may still be written
// while other static objects go away at exit.
TraceFrontEnd& processFrontEnd() {
  union Holder {
    Holder() : frontEnd() {}
    ~Holder() {}
    TraceFrontEnd frontEnd;
  };
  static Holder holder;
  return holder.frontEnd;
}

// The folder of the maker's shared components: the registry's common files
// folder where one is configured, else this system's default.
std::string libraryPathFromRegistry(platform::Registry& registry) {
  std::string folder;
  std::unique_ptr<platform::RegistryKey> key;
  if (registry.openKey(platform::RegistryRoot::LocalMachine,
                       "Software\\Microsoft\\Windows\\CurrentVersion",
                       key) == platform::ERROR_SUCCESS) {
    char buffer[kLibraryPathLimit] = {};
    std::uint32_t type = 0;
    std::uint32_t size = sizeof(buffer);
    if (key->queryValue("CommonFilesDir", &type, buffer, &size) == platform::ERROR_SUCCESS &&
        (type == platform::REG_SZ || type == platform::REG_EXPAND_SZ)) {
      folder.assign(buffer, strnlen(buffer, std::min<std::size_t>(size, sizeof(buffer))));
    }
  }
  if (folder.empty()) {
    folder = backend::defaultCommonFilesFolder();
  }
  const char separator = backend::pathSeparator();
  if (folder.back() != separator && folder.back() != '\\') {
    folder += separator;
  }
  folder += "Vardo Shared";
  folder += separator;
  folder += backend::libraryFileName();
  return folder;
}

}  // namespace

ModuleHandle ownModule() { return &kModuleAnchor; }

bool traceFilterAccepts(std::uint32_t categoryMask, std::uint32_t levelWord,
                        std::uint32_t configuredLevelWord, std::uint32_t configuredCategories) {
  const std::uint32_t level = levelWord & kLevelNumberMask;
  std::uint32_t severity = (levelWord >> 24) & 0x0Fu;
  if (severity == 0) severity = 7;
  const std::uint32_t configuredLevel = configuredLevelWord & kLevelNumberMask;
  std::uint32_t configuredSeverity = configuredLevelWord >> 24;
  if (configuredSeverity == 0) configuredSeverity = 7;
  const bool levelWanted =
      level < configuredLevel || (level == configuredLevel && (severity & configuredSeverity) != 0);
  const bool categoryWanted = level == 0 || (categoryMask & configuredCategories) != 0;
  return levelWanted && categoryWanted;
}

TraceFrontEnd::TraceFrontEnd() = default;

TraceFrontEnd::~TraceFrontEnd() = default;

TraceFrontEnd& TraceFrontEnd::current() {
  return g_override != nullptr ? *g_override : processFrontEnd();
}

bool TraceFrontEnd::isLibraryLoaded() const { return isInitialised() && library_ != nullptr; }

std::string_view TraceFrontEnd::descriptorName() const {
  // The library fills the name; it is not trusted to terminate it.
  return {descriptor_.moduleName, strnlen(descriptor_.moduleName, sizeof(descriptor_.moduleName))};
}

void TraceFrontEnd::unloadLibrary() {
  entries_.fill(nullptr);
  configuration_ = nullptr;
  handle_ = 0;
  library_.reset();
}

platform::ErrorCode TraceFrontEnd::startLibrary() {
  platform::System& system = platform::system();
  libraryPath_ = libraryPathFromRegistry(system.registry);
  if (system.libraries.load(libraryPath_, library_) != platform::ERROR_SUCCESS || !library_) {
    library_.reset();
    return kTraceErrorLoadFailed;
  }
  for (std::size_t i = 0; i < kTraceEntryCount; ++i) {
    const std::string name(kTraceEntryNames[i]);
    entries_[i] = library_->symbol(name.c_str());
    if (entries_[i] == nullptr && !isOptionalTraceEntry(static_cast<TraceEntry>(i))) {
      return kTraceErrorLoadFailed;
    }
  }
  if (const int result = entry<TrcInitializeFn>(TraceEntry::trc_initialize)(); result != 0) {
    return static_cast<platform::ErrorCode>(result);
  }
  if (const int result =
          entry<TrcCreateAFn>(TraceEntry::trc_createA)(&descriptor_, ownModule(), &handle_);
      result != 0) {
    return static_cast<platform::ErrorCode>(result);
  }
  if (descriptor_.openContext != 0) {
    if (const int result = entry<TrcGetSharedConfigurationFn>(
            TraceEntry::trc_get_shared_configuration)(handle_, &configuration_);
        result != 0) {
      return static_cast<platform::ErrorCode>(result);
    }
    // The library reads the name as a C string; make sure it ends inside the
    // descriptor.
    const std::string name(descriptorName());
    std::lock_guard<std::recursive_mutex> again(lock_);
    // No port reports the process id; the library gets 0, which it treats as
    // "this process".
    if (const int result = entry<TrcOpenContextExAFn>(TraceEntry::trc_open_contextExA)(
            &handle_, name.c_str(), nullptr, nullptr, 0, ownModule(), 0, 0,
            descriptor_.contextArgument);
        result != 0) {
      return static_cast<platform::ErrorCode>(result);
    }
  }
  return platform::ERROR_SUCCESS;
}

platform::ErrorCode TraceFrontEnd::init() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (isInitialised()) {
    return platform::ERROR_SUCCESS;
  }
  platform::DebugOutput& debug = platform::system().debugOutput;
  platform::ErrorCode result = platform::ERROR_SUCCESS;
  if (!library_) {
    result = startLibrary();
  }
  if (result == platform::ERROR_SUCCESS) {
    debug.write("TraceInit OK ");
    debug.write(descriptorName());
    debug.write("\n");
  } else {
    unloadLibrary();
    char line[128];
    const std::string name(descriptorName());
    std::snprintf(line, sizeof(line), "[TRACE subsytem] %s: TraceInit FAILED %08X\n", name.c_str(),
                  static_cast<unsigned>(result));
    debug.write(line);
  }
  // An empty name would address the log's own key; no system registers it.
  if (!descriptorName().empty()) {
    eventSourceOpen_ = backend::openEventSource(descriptorName(), ownModule());
  }
  initialised_.store(true, std::memory_order_release);
  return result;
}

bool TraceFrontEnd::isEnabled(std::uint32_t categoryMask, std::uint32_t levelWord) {
  if (!isInitialised()) {
    init();
  }
  if (library_ && configuration_ != nullptr) {
    return traceFilterAccepts(categoryMask, levelWord, configuration_[1], configuration_[2]);
  }
  return (levelWord & kLevelNumberMask) != 2;
}

bool TraceFrontEnd::beginRecord(std::uint32_t categoryMask, std::uint32_t levelWord,
                                const char* text, std::uint32_t recordArgument) {
  if (!isLibraryLoaded()) {
    return false;
  }
  const int begun = entry<TrcBeginFn>(TraceEntry::trc_begin)(handle_, categoryMask, levelWord);
  if (begun != 0 && begun != 4) {
    return false;
  }
  return entry<TrcWriteRawAFn>(TraceEntry::trc_write_rawA)(handle_, text != nullptr ? text : "",
                                                           ownModule(), recordArgument) == 0;
}

bool TraceFrontEnd::writeText(const char* text, std::uint32_t recordArgument) {
  if (!isLibraryLoaded()) {
    return false;
  }
  return entry<TrcWriteParam1AFn>(TraceEntry::trc_write_param1A)(
             handle_, text != nullptr ? text : "<>", recordArgument) == 0;
}

bool TraceFrontEnd::writeNumber(std::int32_t value, std::uint32_t recordArgument) {
  if (!isLibraryLoaded()) {
    return false;
  }
  return entry<TrcWriteParam2Fn>(TraceEntry::trc_write_param2)(handle_, value, recordArgument) == 0;
}

void TraceFrontEnd::endRecord(std::uint32_t recordArgument) {
  if (isLibraryLoaded()) {
    entry<TrcEndFn>(TraceEntry::trc_end)(handle_, 1, recordArgument);
  }
}

ScopedTraceFrontEnd::ScopedTraceFrontEnd(TraceFrontEnd& frontEnd) : previous_(g_override) {
  g_override = &frontEnd;
}

ScopedTraceFrontEnd::~ScopedTraceFrontEnd() { g_override = previous_; }

}  // namespace tracing

platform::ErrorCode TraceInit() { return tracing::TraceFrontEnd::current().init(); }

bool TraceIsEnabled(std::uint32_t categoryMask, std::uint32_t levelWord) {
  return tracing::TraceFrontEnd::current().isEnabled(categoryMask, levelWord);
}

CTraceRecord::CTraceRecord(std::uint32_t categoryMask, std::uint32_t levelWord, const char* text,
                           std::uint32_t recordArgument)
    : frontEnd_(tracing::TraceFrontEnd::current()),
      recordArgument_(recordArgument),
      savedError_(platform::system().environment.lastError()) {
  active_ = frontEnd_.beginRecord(categoryMask, levelWord, text, recordArgument_);
}

CTraceRecord::~CTraceRecord() {
  if (active_) {
    frontEnd_.endRecord(recordArgument_);
  }
  platform::system().environment.setLastError(savedError_);
}

CTraceRecord& CTraceRecord::addText(const char* text) {
  if (active_) {
    active_ = frontEnd_.writeText(text, recordArgument_);
  }
  return *this;
}

CTraceRecord& CTraceRecord::addNumber(std::int32_t value) {
  if (active_) {
    active_ = frontEnd_.writeNumber(value, recordArgument_);
  }
  return *this;
}
