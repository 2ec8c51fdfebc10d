// A fake system with the stand-in trace library installed and every record
// wanted, so that a test can read the records the facility writes.
#pragma once

#include <string>
#include <vector>

#include "platform/testing/fake_system.h"
#include "testing/trace_double.h"
#include "tracing/trace.h"

struct TracedSystem {
  // With `traced` false no library is installed and nothing is recorded.
  explicit TracedSystem(bool traced = true) {
    *trace_double_control() = TraceDoubleControl();
    if (traced) {
      fake.libraries.add("/usr/lib/vardo/Vardo Shared/VardoLog.so", traceDoubleSymbols());
      trace_double_control()->openContext = 1;
      trace_double_control()->configuration[1] = 0x7FFFFFFFu;
      trace_double_control()->configuration[2] = 0xFFFFFFFFu;
    }
  }

  // The record calls (begin to end), without the start-up calls.
  std::vector<std::string> records() const {
    std::vector<std::string> out;
    for (const auto& call : trace_double_control()->calls) {
      if (call.rfind("trc_initialize", 0) == 0 || call.rfind("trc_createA", 0) == 0 ||
          call.rfind("trc_get_shared", 0) == 0 || call.rfind("trc_open_context", 0) == 0) {
        continue;
      }
      out.push_back(call);
    }
    return out;
  }

  // The texts the records were begun with, in order.
  std::vector<std::string> recordTexts() const {
    std::vector<std::string> out;
    const std::string prefix = "trc_write_rawA(9, ";
    for (const auto& call : records()) {
      if (call.rfind(prefix, 0) == 0) {
        const std::size_t end = call.rfind(", 0x");
        out.push_back(call.substr(prefix.size(), end - prefix.size()));
      }
    }
    return out;
  }

  platform::testing::FakeSystem fake;
  platform::ScopedSystem scope{fake};
  tracing::TraceFrontEnd frontEnd;
  tracing::ScopedTraceFrontEnd traceScope{frontEnd};
};
