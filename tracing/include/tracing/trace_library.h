// The calling contract of the trace library: the names of its entry points in
// binding order and the signatures of the ones the front-end calls. A
// replacement library (including the one the tests build) follows these.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// Filled by the trace library in trc_createA; the program itself never writes
// it. The layout is shared with the library and must not change.
struct TraceModuleDescriptor {
  char moduleName[68];
  std::uint32_t openContext;
  std::uint32_t contextArgument;
};

namespace tracing {

// What identifies the module holding the front-end: an address inside it.
using ModuleHandle = const void*;

using TraceHandle = std::uint32_t;

// Every entry point in the order the front-end looks them up.
enum class TraceEntry : std::size_t {
  trc_initialize,
  trc_finalize,
  trc_open_contextExA,
  trc_open_contextExW,
  trc_open_contextA,
  trc_open_contextW,
  trc_close_context,
  trc_get_context_tracesA,
  trc_get_context_tracesW,
  trc_get_context_records,
  trc_context_clear,
  trc_context_setDBRecord,
  trc_format_recordsA,
  trc_format_recordsW,
  trc_open_configurationA,
  trc_open_configurationW,
  trc_get_shared_configuration,
  trc_get_configuration,
  trc_enum,
  trc_dump_blocks,
  trc_fix_shmem,
  trc_enum_config,
  trc_open_id,
  trc_openA,
  trc_openW,
  trc_read,
  trc_createA,
  trc_createW,
  trc_begin,
  trc_test,
  trc_write_rawA,
  trc_write_rawW,
  trc_write_raw_flA,
  trc_write_raw_flW,
  trc_write_id,
  trc_write_param1A,
  trc_write_param1W,
  trc_write_param2,
  trc_write_param3,
  trc_write_param4,
  trc_write_data,
  trc_fileA,
  trc_fileW,
  trc_file_fileA,
  trc_file_fileW,
  trc_end,
  trc_close,
  register_event_sourceA,
  register_event_sourceW,
  trc_logW,
  trc_reload_configurations,
  trc_are_traces_activated,
  snmp_start_agent_impl,
  snmp_stop_agent_impl,
};

inline constexpr std::size_t kTraceEntryCount = 54;

inline constexpr std::array<std::string_view, kTraceEntryCount> kTraceEntryNames = {
    "trc_initialize",
    "trc_finalize",
    "trc_open_contextExA",
    "trc_open_contextExW",
    "trc_open_contextA",
    "trc_open_contextW",
    "trc_close_context",
    "trc_get_context_tracesA",
    "trc_get_context_tracesW",
    "trc_get_context_records",
    "trc_context_clear",
    "trc_context_setDBRecord",
    "trc_format_recordsA",
    "trc_format_recordsW",
    "trc_open_configurationA",
    "trc_open_configurationW",
    "trc_get_shared_configuration",
    "trc_get_configuration",
    "trc_enum",
    "trc_dump_blocks",
    "trc_fix_shmem",
    "trc_enum_config",
    "trc_open_id",
    "trc_openA",
    "trc_openW",
    "trc_read",
    "trc_createA",
    "trc_createW",
    "trc_begin",
    "trc_test",
    "trc_write_rawA",
    "trc_write_rawW",
    "trc_write_raw_flA",
    "trc_write_raw_flW",
    "trc_write_id",
    "trc_write_param1A",
    "trc_write_param1W",
    "trc_write_param2",
    "trc_write_param3",
    "trc_write_param4",
    "trc_write_data",
    "trc_fileA",
    "trc_fileW",
    "trc_file_fileA",
    "trc_file_fileW",
    "trc_end",
    "trc_close",
    "register_event_sourceA",
    "register_event_sourceW",
    "trc_logW",
    "trc_reload_configurations",
    "trc_are_traces_activated",
    "snmp_start_agent_impl",
    "snmp_stop_agent_impl",
};

// Older installed libraries lack these; the binding does without them.
constexpr bool isOptionalTraceEntry(TraceEntry entry) {
  return entry == TraceEntry::trc_context_setDBRecord || entry == TraceEntry::trc_dump_blocks ||
         entry == TraceEntry::trc_fix_shmem || entry == TraceEntry::trc_write_param4 ||
         entry == TraceEntry::trc_are_traces_activated;
}

// The entry points the front-end calls. All answer 0 on success, except
// trc_begin, which also opens the record with 4.
using TrcInitializeFn = int (*)();
using TrcCreateAFn = int (*)(TraceModuleDescriptor* descriptor, ModuleHandle module,
                             TraceHandle* handle);
using TrcGetSharedConfigurationFn = int (*)(TraceHandle handle,
                                            const std::uint32_t** configuration);
using TrcOpenContextExAFn = int (*)(TraceHandle* handle, const char* name, const void* reserved1,
                                    const void* reserved2, std::uint32_t reserved3,
                                    ModuleHandle module, std::uint32_t reserved4,
                                    std::uint32_t processId, std::uint32_t contextArgument);
using TrcBeginFn = int (*)(TraceHandle handle, std::uint32_t categoryMask, std::uint32_t levelWord);
using TrcWriteRawAFn = int (*)(TraceHandle handle, const char* text, ModuleHandle module,
                               std::uint32_t recordArgument);
using TrcWriteParam1AFn = int (*)(TraceHandle handle, const char* text,
                                  std::uint32_t recordArgument);
using TrcWriteParam2Fn = int (*)(TraceHandle handle, std::int32_t value,
                                 std::uint32_t recordArgument);
using TrcEndFn = int (*)(TraceHandle handle, std::uint8_t flush, std::uint32_t recordArgument);

}  // namespace tracing
