// A submit plug-in for the tests, built in several variants by compile
// definitions. It appends the calls it receives to the file named by
// VARDO_TEST_PLUGIN_LOG, so a test that runs the real program sees what the
// uploader called and with which arguments.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void record(const std::string& call) {
  if (const char* log = std::getenv("VARDO_TEST_PLUGIN_LOG")) {
    std::ofstream(log, std::ios::app) << call << '\n';
  }
}

}  // namespace

extern "C" {

#ifdef PLUGIN_INITIALIZE_RESULT
std::int32_t InitializeA(std::int32_t first, std::int32_t second) {
  record("InitializeA(" + std::to_string(first) + "," + std::to_string(second) + ")");
  return PLUGIN_INITIALIZE_RESULT;
}
#endif

#ifdef PLUGIN_SUBMITDOC_RESULT
std::int32_t SubmitDocA(const char* first, const char* path, std::int32_t third,
                        std::int32_t fourth) {
  record(std::string("SubmitDocA(") + (first == nullptr ? "null" : first) + "," +
         (path == nullptr ? "null" : path) + "," + std::to_string(third) + "," +
         std::to_string(fourth) + ")");
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
  record("Uninitialize()");
  return 0;
}
#endif
}
