// fontTools and the OpenType Sanitizer judge our subsets of real fonts: the
// table list, both character maps, kept and emptied glyphs, the name rules,
// every checksum. The checks live in oracle/check_subsets.py.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "subset/subset.h"
#include "testing_font.h"

extern char** environ;

namespace subset {
namespace {

namespace fs = std::filesystem;

class TemporaryFolder {
 public:
  TemporaryFolder() {
    path_ = fs::temp_directory_path() / ("subset-oracle-" + std::to_string(::getpid()));
    fs::create_directories(path_);
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Runs `argv` with its output sent to `log`; the exit status, or -1.
int run(const std::vector<std::string>& argv, const fs::path& log) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::u16string range(char16_t first, char16_t last) {
  std::u16string out;
  for (char16_t c = first; c <= last; ++c) out.push_back(c);
  return out;
}

TEST(Oracle, FontToolsAndTheSanitizerAcceptOurSubsets) {
  struct Case {
    std::string font;
    std::u16string text;
  };
  const std::string ipaGothic = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
  const Case cases[] = {
      {testing::kDejaVuSans, u""},
      {testing::kDejaVuSans, u"Hello, World! 0123456789"},
      {testing::kDejaVuSans, u"Crème brûlée à la façade: Ǆǅŉ ÿ ΩЖ \u0100\u0101\u0102"},
      {testing::kLiberationSans, u"Ångström naïve Ærø żółć Ѐ"},
      {testing::kLiberationSerifBold, range(u' ', u'~') + range(0xA0, 0xFF)},
      {ipaGothic, range(0x3041, 0x3093) + range(0x4E00, 0x4E80) + u"ABC"},
  };
  TemporaryFolder folder;
  std::ostringstream manifest;
  manifest << "[";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const std::vector<std::uint16_t> codes(c.text.begin(), c.text.end());
    Result result = subsetFont(testing::readFile(c.font), codes);
    ASSERT_TRUE(result) << c.font << ": " << refusalText(result.refusal);
    const fs::path out = folder.path() / ("subset" + std::to_string(i) + ".ttf");
    std::ofstream(out, std::ios::binary)
        .write(reinterpret_cast<const char*>(result.subset->font.data()),
               static_cast<std::streamsize>(result.subset->font.size()));
    manifest << (i ? "," : "") << "{\"original\":\"" << c.font << "\",\"subset\":\"" << out.string()
             << "\",\"codes\":[";
    for (std::size_t k = 0; k < codes.size(); ++k) manifest << (k ? "," : "") << codes[k];
    manifest << "]}";
  }
  manifest << "]";
  const fs::path manifestPath = folder.path() / "manifest.json";
  std::ofstream(manifestPath) << manifest.str();

  const fs::path log = folder.path() / "oracle.log";
  const int status = run({"/usr/bin/python3", SUBSET_ORACLE_SCRIPT, manifestPath.string()}, log);
  std::ifstream in(log);
  const std::string output((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(status, 0) << output;
}

}  // namespace
}  // namespace subset
