// The trace front-end: loads the maker's trace library on first use, asks it
// whether a record is wanted and hands it records. Without the library (or
// when it refuses to start) nothing is traced and callers run unchanged.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/libraries.h"
#include "tracing/trace_library.h"

// The category and level words the XML facility writes with.
inline constexpr std::uint32_t kTraceCategoryXml = 0x40000000u;
inline constexpr std::uint32_t kTraceLevelInformation2 = 0x4000002u;
inline constexpr std::uint32_t kTraceLevelWarning2 = 0x2000002u;
inline constexpr std::uint32_t kTraceLevelError2 = 0x1000002u;

// TraceInit could not load or bind the library.
inline constexpr platform::ErrorCode kTraceErrorLoadFailed = 0x80000012u;
// A call into the library was made while none is loaded.
inline constexpr platform::ErrorCode kTraceErrorNotLoaded = 0x80000013u;

namespace tracing {

// One front-end's state. The process has one (TraceFrontEnd::current());
// tests make their own and install it with ScopedTraceFrontEnd.
class TraceFrontEnd {
 public:
  TraceFrontEnd();
  ~TraceFrontEnd();
  TraceFrontEnd(const TraceFrontEnd&) = delete;
  TraceFrontEnd& operator=(const TraceFrontEnd&) = delete;

  // The one-time start; later calls return 0 without doing anything, so a
  // failure is never retried.
  platform::ErrorCode init();
  bool isEnabled(std::uint32_t categoryMask, std::uint32_t levelWord);

  // The record calls behind CTraceRecord; each answers whether the record is
  // still open.
  bool beginRecord(std::uint32_t categoryMask, std::uint32_t levelWord, const char* text,
                   std::uint32_t recordArgument);
  bool writeText(const char* text, std::uint32_t recordArgument);
  bool writeNumber(std::int32_t value, std::uint32_t recordArgument);
  void endRecord(std::uint32_t recordArgument);

  bool isInitialised() const { return initialised_.load(std::memory_order_acquire); }
  bool isLibraryLoaded() const;
  const std::string& libraryPath() const { return libraryPath_; }
  const TraceModuleDescriptor& descriptor() const { return descriptor_; }
  bool eventSourceOpen() const { return eventSourceOpen_; }

  // The front-end in force for this process.
  static TraceFrontEnd& current();

 private:
  friend class ScopedTraceFrontEnd;

  platform::ErrorCode startLibrary();
  void unloadLibrary();
  template <typename Fn>
  Fn entry(TraceEntry which) const {
    return reinterpret_cast<Fn>(entries_[static_cast<std::size_t>(which)]);
  }
  std::string_view descriptorName() const;

  std::recursive_mutex lock_;
  std::atomic<bool> initialised_{false};
  std::unique_ptr<platform::Library> library_;
  std::array<void*, kTraceEntryCount> entries_{};
  std::string libraryPath_;
  TraceHandle handle_ = 0;
  const std::uint32_t* configuration_ = nullptr;
  TraceModuleDescriptor descriptor_{};
  bool eventSourceOpen_ = false;
};

// Makes `frontEnd` the answer of TraceFrontEnd::current() until destroyed.
class ScopedTraceFrontEnd {
 public:
  explicit ScopedTraceFrontEnd(TraceFrontEnd& frontEnd);
  ~ScopedTraceFrontEnd();
  ScopedTraceFrontEnd(const ScopedTraceFrontEnd&) = delete;
  ScopedTraceFrontEnd& operator=(const ScopedTraceFrontEnd&) = delete;

 private:
  TraceFrontEnd* previous_;
};

// The address that stands for the module holding the front-end.
ModuleHandle ownModule();

// Whether a record with this level word and category mask passes the
// library's shared configuration (second word: configured level word, third
// word: enabled categories).
bool traceFilterAccepts(std::uint32_t categoryMask, std::uint32_t levelWord,
                        std::uint32_t configuredLevelWord, std::uint32_t configuredCategories);

}  // namespace tracing

// 0, or why the trace library could not be started.
platform::ErrorCode TraceInit();

// Whether a record of this kind is wanted; the first call starts the front-end.
bool TraceIsEnabled(std::uint32_t categoryMask, std::uint32_t levelWord);

// One record, open from construction to destruction. The text may carry
// numbered inserts ("%1!d!", "%3") that the library fills from the parameters
// added afterwards, in order. The thread's last-error value is the same after
// the record as before it.
class CTraceRecord {
 public:
  CTraceRecord(std::uint32_t categoryMask, std::uint32_t levelWord, const char* text,
               std::uint32_t recordArgument = 0);
  ~CTraceRecord();
  CTraceRecord(const CTraceRecord&) = delete;
  CTraceRecord& operator=(const CTraceRecord&) = delete;

  // A null text is sent as "<>".
  CTraceRecord& addText(const char* text);
  CTraceRecord& addNumber(std::int32_t value);

  bool isActive() const { return active_; }

 private:
  tracing::TraceFrontEnd& frontEnd_;
  bool active_ = false;
  std::uint32_t recordArgument_;
  platform::ErrorCode savedError_;
};
