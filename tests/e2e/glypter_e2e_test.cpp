// Glypter from the outside: documents made by pmftool from real fonts, shrunk
// by the real plug-in, its subsets checked by FreeType and the subsetter's
// oracle, a rewrite killed at random moments, and Dravik uploading a shrunk
// document to the reference server.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using e2e::TemporaryFolder;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kDravik = VARDO_DRAVIK_PATH;
constexpr const char* kRecorder = VARDO_RECORDER_PATH;
constexpr const char* kGlypter = VARDO_GLYPTER_PATH;
constexpr const char* kPmftool = VARDO_PMFTOOL_PATH;
constexpr const char* kServer = VARDO_UPLOADWS_SERVER_PATH;
constexpr const char* kOracle = VARDO_SUBSET_ORACLE_SCRIPT;

const std::string kFonts = "/usr/share/fonts/truetype/";
const std::string kDejaVuSans = kFonts + "dejavu/DejaVuSans.ttf";
const std::string kDejaVuSerif = kFonts + "dejavu/DejaVuSerif.ttf";
const std::string kLiberationSans = kFonts + "liberation/LiberationSans-Regular.ttf";
const std::string kLiberationSerifBold = kFonts + "liberation/LiberationSerif-Bold.ttf";
const std::string kFreeSans = kFonts + "freefont/FreeSans.ttf";

Bytes readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeText(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

std::uint32_t le32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

// Starts a program without waiting, its standard output in `output`.
pid_t start(const std::string& program, const std::vector<std::string>& arguments,
            const fs::path& output) {
  std::vector<std::string> all{program};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

int finish(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int pmftool(const std::vector<std::string>& arguments, const fs::path& folder) {
  return e2e::runChild(kPmftool, arguments, {}, folder).exitCode;
}

// ---- FreeType

struct FtLibrary {
  FtLibrary() { FT_Init_FreeType(&library); }
  ~FtLibrary() { FT_Done_FreeType(library); }
  FT_Library library = nullptr;
};

struct FtFace {
  FtFace(FT_Library library, const Bytes& bytes) : data(bytes) {
    FT_New_Memory_Face(library, data.data(), static_cast<FT_Long>(data.size()), 0, &face);
  }
  ~FtFace() {
    if (face) FT_Done_Face(face);
  }
  Bytes data;
  FT_Face face = nullptr;
};

struct Outline {
  std::vector<std::pair<FT_Pos, FT_Pos>> points;
  std::vector<char> tags;
  std::vector<short> contours;
  FT_Pos advance = 0;
  bool operator==(const Outline&) const = default;
};

Outline outlineOf(FT_Face face, FT_UInt glyph) {
  Outline o;
  if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) return o;
  const FT_Outline& ol = face->glyph->outline;
  for (int i = 0; i < ol.n_points; ++i) {
    o.points.emplace_back(ol.points[i].x, ol.points[i].y);
    o.tags.push_back(ol.tags[i]);
  }
  o.contours.assign(ol.contours, ol.contours + ol.n_contours);
  o.advance = face->glyph->advance.x;
  return o;
}

// ---- documents

struct EmbeddedFont {
  std::string path;
  std::u16string drawn;
};

// A document of two pages: five fonts reached directly, through a font object
// replayed alone and inside a group, text objects replayed, a code page, and
// a font no text uses.
std::string sampleDescription() {
  return "header compressed=1\nstart\npage\n"
         "font " +
         kDejaVuSans +
         " name=\"DejaVuSans\"\n"
         "text \"Hello, world\"\ntext codes=20AC,263A\n"
         "font " +
         kLiberationSans +
         " name=\"LibSans\" code=36 id=3\n"
         "text \"Quick brown fox\"\n"
         "font " +
         kLiberationSerifBold +
         " name=\"LibSerifBold\"\n"
         "textobj id=9 \"jumps over\"\n"
         "page\nreplay id=3\nreplay id=9 at=10,10\n"
         "font " +
         kFreeSans +
         " name=\"FreeSans\" codepage=1252\n"
         "text \"\\x80\\xe9t\\xe9\"\n"
         "group id=11 entries=3:0:0,9:5:5 replay\n"
         "font " +
         kDejaVuSerif +
         " name=\"Unused\"\n"
         "blob id=1 size=2000 random\nblob id=1 reuse\nblob id=1 reuse\n"
         "end\n";
}

const std::vector<EmbeddedFont>& sampleFonts() {
  static const std::vector<EmbeddedFont> fonts = {
      {kDejaVuSans, u"Hello, world\u20AC\u263A"},
      {kLiberationSans, u"Quick brown foxjumps over"},
      {kLiberationSerifBold, u"jumps over"},
      {kFreeSans, u"\u20AC\u00E9t"},
      {kDejaVuSerif, u""},
  };
  return fonts;
}

class GlypterEndToEnd : public ::testing::Test {
 protected:
  fs::path make(const std::string& name, const std::string& description) {
    const fs::path text = folder.path() / (name + ".txt");
    writeText(text, description);
    const fs::path file = folder.path() / name;
    EXPECT_EQ(pmftool({"build", text.string(), file.string()}, folder.path()), 0);
    return file;
  }

  TemporaryFolder folder;
};

TEST_F(GlypterEndToEnd, ShrunkFontsDrawEveryUsedCharacterAsTheOriginalsDo) {
  const fs::path document = make("sample.pmf", sampleDescription());
  const std::uintmax_t before = fs::file_size(document);
  ASSERT_EQ(pmftool({"shrink", document.string()}, folder.path()), 0);
  EXPECT_LT(fs::file_size(document), before / 10);
  ASSERT_EQ(pmftool({"info", document.string()}, folder.path()), 0);

  const fs::path extracted = folder.path() / "fonts";
  ASSERT_EQ(pmftool({"fonts", document.string(), extracted.string()}, folder.path()), 0);
  std::vector<fs::path> subsets;
  for (const auto& entry : fs::directory_iterator(extracted)) subsets.push_back(entry.path());
  std::sort(subsets.begin(), subsets.end());
  const auto& fonts = sampleFonts();
  ASSERT_EQ(subsets.size(), fonts.size());

  FtLibrary ft;
  std::ostringstream manifest;
  manifest << "[";
  for (std::size_t i = 0; i < fonts.size(); ++i) {
    SCOPED_TRACE(fonts[i].path);
    EXPECT_LT(fs::file_size(subsets[i]), fs::file_size(fonts[i].path));
    FtFace original(ft.library, readBytes(fonts[i].path));
    FtFace subset(ft.library, readBytes(subsets[i]));
    ASSERT_NE(original.face, nullptr);
    ASSERT_NE(subset.face, nullptr);
    manifest << (i ? "," : "") << "{\"original\": \"" << fonts[i].path << "\", \"subset\": \""
             << subsets[i].string() << "\", \"codes\": [";
    for (std::size_t k = 0; k < fonts[i].drawn.size(); ++k) {
      const char16_t ch = fonts[i].drawn[k];
      manifest << (k ? "," : "") << int{ch};
      const FT_UInt glyph = FT_Get_Char_Index(original.face, ch);
      ASSERT_NE(glyph, 0u) << int{ch};
      EXPECT_EQ(FT_Get_Char_Index(subset.face, ch), glyph) << int{ch};
      EXPECT_TRUE(outlineOf(original.face, glyph) == outlineOf(subset.face, glyph)) << int{ch};
    }
    manifest << "]}";
  }
  manifest << "]";
  const fs::path manifestPath = folder.path() / "manifest.json";
  writeText(manifestPath, manifest.str());
  const e2e::ChildResult oracle =
      e2e::runChild("/usr/bin/python3", {kOracle, manifestPath.string()}, {}, folder.path());
  EXPECT_EQ(oracle.exitCode, 0) << oracle.standardError;
}

// A helper process rewrites a large document and is killed at random moments:
// the document is always either the old file or the whole new one.
TEST_F(GlypterEndToEnd, AKilledRewriteLeavesTheOldFileOrTheWholeNewOne) {
  std::string description =
      "header compressed=1\nstart\npage\nfont " + kDejaVuSans + "\ntext \"crash\"\n";
  for (int id = 1; id <= 240; ++id) {
    description += "blob id=" + std::to_string(id) + " size=65536 random\n";
    if (id % 40 == 0) description += "page\n";
  }
  description += "end\n";
  const fs::path original = make("large.pmf", description);
  const Bytes old = readBytes(original);

  const fs::path reference = folder.path() / "reference.pmf";
  fs::copy_file(original, reference);
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(pmftool({"shrink", reference.string()}, folder.path()), 0);
  const auto whole = std::chrono::steady_clock::now() - t0;
  const Bytes shrunk = readBytes(reference);
  ASSERT_NE(shrunk, old);

  std::mt19937 random(std::random_device{}());
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(whole).count();
  int sawOld = 0, sawNew = 0;
  for (int run = 0; run < 10; ++run) {
    const fs::path runFolder = folder.path() / ("run" + std::to_string(run));
    fs::create_directories(runFolder);
    const fs::path document = runFolder / "doc.pmf";
    fs::copy_file(original, document);
    const pid_t pid = start(kPmftool, {"shrink", document.string()}, runFolder / "out.txt");
    ASSERT_GT(pid, 0);
    // From a quarter of an uninterrupted run to beyond twice its length, so that kills
    // land in the rewrite, around the replace and after it.
    std::this_thread::sleep_for(std::chrono::microseconds(span / 4 + random() % (2 * span + 1)));
    kill(pid, SIGKILL);
    finish(pid);
    const Bytes now = readBytes(document);
    if (now == old) {
      ++sawOld;
    } else {
      ++sawNew;
      EXPECT_TRUE(now == shrunk) << "run " << run << ": " << now.size() << " bytes";
    }
  }
  RecordProperty("old", sawOld);
  RecordProperty("new", sawNew);
}

// ---- Dravik with the reference server

class ServerProcess {
 public:
  ServerProcess(const fs::path& store, const fs::path& output) {
    pid_ = start(kServer, {"--store", store.string()}, output);
    for (int i = 0; i < 500 && pid_ > 0 && port_.empty(); ++i) {
      std::ifstream in(output);
      std::string line;
      if (std::getline(in, line) && in) port_ = line;
      if (port_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~ServerProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      finish(pid_);
    }
  }
  const std::string& port() const { return port_; }

 private:
  pid_t pid_ = -1;
  std::string port_;
};

TEST_F(GlypterEndToEnd, DravikUploadsTheShrunkDocumentAndTellsTheWizardItsStatistics) {
  const fs::path document = make("upload.pmf", sampleDescription());
  const fs::path expectedCopy = folder.path() / "expected.pmf";
  fs::copy_file(document, expectedCopy);
  ASSERT_EQ(pmftool({"shrink", expectedCopy.string()}, folder.path()), 0);
  const Bytes expected = readBytes(expectedCopy);
  ASSERT_GE(expected.size(), 56u);
  const std::uint32_t pages = le32(expected, 40) - 1;
  const int sizeRatio = expected[44];
  ASSERT_EQ(pages, 2u);
  ASSERT_LT(sizeRatio, 100);

  const fs::path store = folder.path() / "store";
  ServerProcess server(store, folder.path() / "server.out");
  ASSERT_FALSE(server.port().empty());

  const fs::path pages_log = folder.path() / "pages.log";
  const std::string command = "\\\"" + std::string(kRecorder) + "\\\" --log \\\"" +
                              pages_log.string() + "\\\" --while-exists \\\"" +
                              folder.path().string() + "\\\" \\\"%1\\\"";
  const fs::path registry = folder.path() / "registry.reg";
  writeText(registry,
            "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\.htm]\n"
            "@=\"htmlfile\"\n\n[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\n"
            "@=\"" +
                command + "\"\n");

  const e2e::ChildResult dravik =
      e2e::runChild(kDravik,
                    {"-file", document.string(), "-server", "http://127.0.0.1:" + server.port(),
                     "-submitdoc", kGlypter, "-delete", "no", "-chunksize", "4"},
                    {{"VARDO_REGISTRY", registry.string()}}, folder.path());
  EXPECT_EQ(dravik.exitCode, 0) << dravik.standardError;
  EXPECT_EQ(readBytes(document), expected);

  std::vector<fs::path> uploads;
  for (const auto& entry : fs::directory_iterator(store)) {
    if (entry.path().extension() == ".data") uploads.push_back(entry.path());
  }
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(readBytes(uploads[0]), expected);

  const std::vector<std::string> lines = e2e::waitForLines(pages_log, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("/tolvane/webaccess/printdriver.xuf?"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("&compressionrate=" + std::to_string(100 - sizeRatio) + "&pagecount=2"),
            std::string::npos)
      << lines[0];
}

}  // namespace
