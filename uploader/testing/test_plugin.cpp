// A submit plug-in for the tests, built in several variants by compile
// definitions. It records the calls it receives in a text that the test reads
// through a load of its own, which keeps the library (and the record) alive
// across the uploader's load and unload.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace {
std::string calls;
}

extern "C" {

const char* TestPluginCalls() { return calls.c_str(); }

#ifdef PLUGIN_INITIALIZE_RESULT
std::int32_t InitializeA(std::int32_t first, std::int32_t second) {
  calls += "InitializeA(" + std::to_string(first) + "," + std::to_string(second) + ");";
  return PLUGIN_INITIALIZE_RESULT;
}
#endif

#ifdef PLUGIN_SUBMITDOC_RESULT
std::int32_t SubmitDocA(const char* first, const char* path, std::int32_t third,
                        std::int32_t fourth) {
  calls += std::string("SubmitDocA(") + (first == nullptr ? "null" : first) + "," +
           (path == nullptr ? "null" : path) + "," + std::to_string(third) + "," +
           std::to_string(fourth) + ");";
#ifdef PLUGIN_SHRINKS
  // Replaces the document the way a rewriting plug-in does: a new file moved
  // over the old one.
  const std::filesystem::path target(path);
  const std::filesystem::path rewritten = target.string() + ".new";
  std::ofstream(rewritten, std::ios::binary) << "shrunk";
  std::filesystem::rename(rewritten, target);
#endif
  return PLUGIN_SUBMITDOC_RESULT;
}
#endif

#ifdef PLUGIN_HAS_UNINITIALIZE
std::int32_t Uninitialize() {
  calls += "Uninitialize();";
  return 0;
}
#endif
}
