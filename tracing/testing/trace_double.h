// A stand-in for the trace library: it exports every entry point, answers as
// the test sets it and logs the calls the front-end makes, arguments included.
// Built as a loadable module for tests that go through the real loader, and
// linked into unit tests, which hand its functions to a fake loader.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

struct TraceDoubleControl {
  int initializeResult = 0;
  int createResult = 0;
  int sharedConfigurationResult = 0;
  int openContextResult = 0;
  int beginResult = 0;
  int writeRawResult = 0;
  int writeParam1Result = 0;
  int writeParam2Result = 0;

  // What trc_createA leaves in the descriptor.
  std::string descriptorName;
  std::uint32_t openContext = 0;
  std::uint32_t contextArgument = 0;

  std::uint32_t createdHandle = 7;
  std::uint32_t contextHandle = 9;
  // The shared configuration: word 1 the level word, word 2 the categories.
  std::uint32_t configuration[4] = {0, 0, 0, 0};

  // Runs at the start of every call the front-end makes.
  void (*onCall)() = nullptr;

  // One line per call, e.g. "trc_begin(9, 0x40000000, 0x1000002)".
  std::vector<std::string> calls;
};

extern "C" TraceDoubleControl* trace_double_control();

// The double's exports by name, for a fake loader.
std::map<std::string, void*> traceDoubleSymbols();

// How the double writes a module address in its log.
inline std::string traceDoublePointer(const void* pointer) {
  char out[32];
  std::snprintf(out, sizeof(out), "%p", pointer);
  return out;
}
