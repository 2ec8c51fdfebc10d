#include "trace_double.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "tracing/trace_library.h"

#define TRACE_DOUBLE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

TraceDoubleControl& control() {
  static TraceDoubleControl instance;
  return instance;
}

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%X", value);
  return text;
}

void log(std::string line) {
  if (control().onCall != nullptr) control().onCall();
  control().calls.push_back(std::move(line));
}

std::string text(const char* value) { return value != nullptr ? value : "(null)"; }

}  // namespace

TRACE_DOUBLE_EXPORT TraceDoubleControl* trace_double_control() { return &control(); }

TRACE_DOUBLE_EXPORT int trc_initialize() {
  log("trc_initialize()");
  return control().initializeResult;
}

TRACE_DOUBLE_EXPORT int trc_createA(TraceModuleDescriptor* descriptor, tracing::ModuleHandle module,
                                    tracing::TraceHandle* handle) {
  log("trc_createA(" + traceDoublePointer(module) + ")");
  std::memset(descriptor->moduleName, 0, sizeof(descriptor->moduleName));
  std::memcpy(descriptor->moduleName, control().descriptorName.data(),
              std::min(control().descriptorName.size(), sizeof(descriptor->moduleName)));
  descriptor->openContext = control().openContext;
  descriptor->contextArgument = control().contextArgument;
  *handle = control().createdHandle;
  return control().createResult;
}

TRACE_DOUBLE_EXPORT int trc_get_shared_configuration(tracing::TraceHandle handle,
                                                     const std::uint32_t** configuration) {
  log("trc_get_shared_configuration(" + std::to_string(handle) + ")");
  *configuration = control().configuration;
  return control().sharedConfigurationResult;
}

TRACE_DOUBLE_EXPORT int trc_open_contextExA(tracing::TraceHandle* handle, const char* name,
                                            const void* reserved1, const void* reserved2,
                                            std::uint32_t reserved3, tracing::ModuleHandle module,
                                            std::uint32_t reserved4, std::uint32_t processId,
                                            std::uint32_t contextArgument) {
  log("trc_open_contextExA(" + std::to_string(*handle) + ", " + text(name) + ", " +
      traceDoublePointer(reserved1) + ", " + traceDoublePointer(reserved2) + ", " +
      std::to_string(reserved3) + ", " + traceDoublePointer(module) + ", " +
      std::to_string(reserved4) + ", " + std::to_string(processId) + ", " +
      std::to_string(contextArgument) + ")");
  *handle = control().contextHandle;
  return control().openContextResult;
}

TRACE_DOUBLE_EXPORT int trc_begin(tracing::TraceHandle handle, std::uint32_t categoryMask,
                                  std::uint32_t levelWord) {
  log("trc_begin(" + std::to_string(handle) + ", " + hex(categoryMask) + ", " + hex(levelWord) +
      ")");
  return control().beginResult;
}

TRACE_DOUBLE_EXPORT int trc_write_rawA(tracing::TraceHandle handle, const char* value,
                                       tracing::ModuleHandle module, std::uint32_t argument) {
  log("trc_write_rawA(" + std::to_string(handle) + ", " + text(value) + ", " +
      traceDoublePointer(module) + ", " + std::to_string(argument) + ")");
  return control().writeRawResult;
}

TRACE_DOUBLE_EXPORT int trc_write_param1A(tracing::TraceHandle handle, const char* value,
                                          std::uint32_t argument) {
  log("trc_write_param1A(" + std::to_string(handle) + ", " + text(value) + ", " +
      std::to_string(argument) + ")");
  return control().writeParam1Result;
}

TRACE_DOUBLE_EXPORT int trc_write_param2(tracing::TraceHandle handle, std::int32_t value,
                                         std::uint32_t argument) {
  log("trc_write_param2(" + std::to_string(handle) + ", " + std::to_string(value) + ", " +
      std::to_string(argument) + ")");
  return control().writeParam2Result;
}

TRACE_DOUBLE_EXPORT int trc_end(tracing::TraceHandle handle, std::uint8_t flush,
                                std::uint32_t argument) {
  log("trc_end(" + std::to_string(handle) + ", " + std::to_string(flush) + ", " +
      std::to_string(argument) + ")");
  return 0;
}

// The rest are never called by the program; they only have to exist.
TRACE_DOUBLE_EXPORT int trc_finalize() { return 0; }
TRACE_DOUBLE_EXPORT int trc_open_contextExW() { return 0; }
TRACE_DOUBLE_EXPORT int trc_open_contextA() { return 0; }
TRACE_DOUBLE_EXPORT int trc_open_contextW() { return 0; }
TRACE_DOUBLE_EXPORT int trc_close_context() { return 0; }
TRACE_DOUBLE_EXPORT int trc_get_context_tracesA() { return 0; }
TRACE_DOUBLE_EXPORT int trc_get_context_tracesW() { return 0; }
TRACE_DOUBLE_EXPORT int trc_get_context_records() { return 0; }
TRACE_DOUBLE_EXPORT int trc_context_clear() { return 0; }
TRACE_DOUBLE_EXPORT int trc_context_setDBRecord() { return 0; }
TRACE_DOUBLE_EXPORT int trc_format_recordsA() { return 0; }
TRACE_DOUBLE_EXPORT int trc_format_recordsW() { return 0; }
TRACE_DOUBLE_EXPORT int trc_open_configurationA() { return 0; }
TRACE_DOUBLE_EXPORT int trc_open_configurationW() { return 0; }
TRACE_DOUBLE_EXPORT int trc_get_configuration() { return 0; }
TRACE_DOUBLE_EXPORT int trc_enum() { return 0; }
TRACE_DOUBLE_EXPORT int trc_dump_blocks() { return 0; }
TRACE_DOUBLE_EXPORT int trc_fix_shmem() { return 0; }
TRACE_DOUBLE_EXPORT int trc_enum_config() { return 0; }
TRACE_DOUBLE_EXPORT int trc_open_id() { return 0; }
TRACE_DOUBLE_EXPORT int trc_openA() { return 0; }
TRACE_DOUBLE_EXPORT int trc_openW() { return 0; }
TRACE_DOUBLE_EXPORT int trc_read() { return 0; }
TRACE_DOUBLE_EXPORT int trc_createW() { return 0; }
TRACE_DOUBLE_EXPORT int trc_test() { return 0; }
TRACE_DOUBLE_EXPORT int trc_write_rawW() { return 0; }
TRACE_DOUBLE_EXPORT int trc_write_raw_flA() { return 0; }
TRACE_DOUBLE_EXPORT int trc_write_raw_flW() { return 0; }
TRACE_DOUBLE_EXPORT int trc_write_id() { return 0; }
TRACE_DOUBLE_EXPORT int trc_write_param1W() { return 0; }
TRACE_DOUBLE_EXPORT int trc_write_param3() { return 0; }
TRACE_DOUBLE_EXPORT int trc_write_param4() { return 0; }
TRACE_DOUBLE_EXPORT int trc_write_data() { return 0; }
TRACE_DOUBLE_EXPORT int trc_fileA() { return 0; }
TRACE_DOUBLE_EXPORT int trc_fileW() { return 0; }
TRACE_DOUBLE_EXPORT int trc_file_fileA() { return 0; }
TRACE_DOUBLE_EXPORT int trc_file_fileW() { return 0; }
TRACE_DOUBLE_EXPORT int trc_close() { return 0; }
TRACE_DOUBLE_EXPORT int register_event_sourceA() { return 0; }
TRACE_DOUBLE_EXPORT int register_event_sourceW() { return 0; }
TRACE_DOUBLE_EXPORT int trc_logW() { return 0; }
TRACE_DOUBLE_EXPORT int trc_reload_configurations() { return 0; }
TRACE_DOUBLE_EXPORT int trc_are_traces_activated() { return 0; }
TRACE_DOUBLE_EXPORT int snmp_start_agent_impl() { return 0; }
TRACE_DOUBLE_EXPORT int snmp_stop_agent_impl() { return 0; }

std::map<std::string, void*> traceDoubleSymbols() {
  return {
      {"trc_initialize", reinterpret_cast<void*>(&trc_initialize)},
      {"trc_finalize", reinterpret_cast<void*>(&trc_finalize)},
      {"trc_open_contextExA", reinterpret_cast<void*>(&trc_open_contextExA)},
      {"trc_open_contextExW", reinterpret_cast<void*>(&trc_open_contextExW)},
      {"trc_open_contextA", reinterpret_cast<void*>(&trc_open_contextA)},
      {"trc_open_contextW", reinterpret_cast<void*>(&trc_open_contextW)},
      {"trc_close_context", reinterpret_cast<void*>(&trc_close_context)},
      {"trc_get_context_tracesA", reinterpret_cast<void*>(&trc_get_context_tracesA)},
      {"trc_get_context_tracesW", reinterpret_cast<void*>(&trc_get_context_tracesW)},
      {"trc_get_context_records", reinterpret_cast<void*>(&trc_get_context_records)},
      {"trc_context_clear", reinterpret_cast<void*>(&trc_context_clear)},
      {"trc_context_setDBRecord", reinterpret_cast<void*>(&trc_context_setDBRecord)},
      {"trc_format_recordsA", reinterpret_cast<void*>(&trc_format_recordsA)},
      {"trc_format_recordsW", reinterpret_cast<void*>(&trc_format_recordsW)},
      {"trc_open_configurationA", reinterpret_cast<void*>(&trc_open_configurationA)},
      {"trc_open_configurationW", reinterpret_cast<void*>(&trc_open_configurationW)},
      {"trc_get_shared_configuration", reinterpret_cast<void*>(&trc_get_shared_configuration)},
      {"trc_get_configuration", reinterpret_cast<void*>(&trc_get_configuration)},
      {"trc_enum", reinterpret_cast<void*>(&trc_enum)},
      {"trc_dump_blocks", reinterpret_cast<void*>(&trc_dump_blocks)},
      {"trc_fix_shmem", reinterpret_cast<void*>(&trc_fix_shmem)},
      {"trc_enum_config", reinterpret_cast<void*>(&trc_enum_config)},
      {"trc_open_id", reinterpret_cast<void*>(&trc_open_id)},
      {"trc_openA", reinterpret_cast<void*>(&trc_openA)},
      {"trc_openW", reinterpret_cast<void*>(&trc_openW)},
      {"trc_read", reinterpret_cast<void*>(&trc_read)},
      {"trc_createA", reinterpret_cast<void*>(&trc_createA)},
      {"trc_createW", reinterpret_cast<void*>(&trc_createW)},
      {"trc_begin", reinterpret_cast<void*>(&trc_begin)},
      {"trc_test", reinterpret_cast<void*>(&trc_test)},
      {"trc_write_rawA", reinterpret_cast<void*>(&trc_write_rawA)},
      {"trc_write_rawW", reinterpret_cast<void*>(&trc_write_rawW)},
      {"trc_write_raw_flA", reinterpret_cast<void*>(&trc_write_raw_flA)},
      {"trc_write_raw_flW", reinterpret_cast<void*>(&trc_write_raw_flW)},
      {"trc_write_id", reinterpret_cast<void*>(&trc_write_id)},
      {"trc_write_param1A", reinterpret_cast<void*>(&trc_write_param1A)},
      {"trc_write_param1W", reinterpret_cast<void*>(&trc_write_param1W)},
      {"trc_write_param2", reinterpret_cast<void*>(&trc_write_param2)},
      {"trc_write_param3", reinterpret_cast<void*>(&trc_write_param3)},
      {"trc_write_param4", reinterpret_cast<void*>(&trc_write_param4)},
      {"trc_write_data", reinterpret_cast<void*>(&trc_write_data)},
      {"trc_fileA", reinterpret_cast<void*>(&trc_fileA)},
      {"trc_fileW", reinterpret_cast<void*>(&trc_fileW)},
      {"trc_file_fileA", reinterpret_cast<void*>(&trc_file_fileA)},
      {"trc_file_fileW", reinterpret_cast<void*>(&trc_file_fileW)},
      {"trc_end", reinterpret_cast<void*>(&trc_end)},
      {"trc_close", reinterpret_cast<void*>(&trc_close)},
      {"register_event_sourceA", reinterpret_cast<void*>(&register_event_sourceA)},
      {"register_event_sourceW", reinterpret_cast<void*>(&register_event_sourceW)},
      {"trc_logW", reinterpret_cast<void*>(&trc_logW)},
      {"trc_reload_configurations", reinterpret_cast<void*>(&trc_reload_configurations)},
      {"trc_are_traces_activated", reinterpret_cast<void*>(&trc_are_traces_activated)},
      {"snmp_start_agent_impl", reinterpret_cast<void*>(&snmp_start_agent_impl)},
      {"snmp_stop_agent_impl", reinterpret_cast<void*>(&snmp_stop_agent_impl)},
  };
}
