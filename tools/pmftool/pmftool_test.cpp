#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "inspect.h"
#include "spool/catalogue.h"

namespace pmftool {
namespace {

namespace fs = std::filesystem;

const std::string kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const std::string kMono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";

// A description that uses every record code.
std::string everyCode(const std::string& headerLine) {
  std::string d = headerLine + "\nstart\nmarker kind=0 value=100\npage\n" + "font " + kSans +
                  "\nfont " + kMono + " code=29 name=\"Mono\"\n" + "font " + kSans +
                  " code=36 id=9 nodata\n"
                  "text \"Hello\"\n"
                  "text codes=41,20AC wide items=1\n"
                  "blob id=1 size=100\n"
                  "blob id=1 reuse long\n"
                  "textobj id=2 \"obj\"\n"
                  "points id=3 count=4 value=7\n"
                  "group id=4 entries=1:0:0,2:5:5 replay\n"
                  "replay id=2\n"
                  "replay id=3 at=10,20\n"
                  "delete id=1\n"
                  "filler 2\n";
  for (const spool::CatalogueEntry& e : spool::catalogue()) {
    d += "record " + std::to_string(e.code) + (e.hasLengthField() ? " var=5" : "") + "\n";
  }
  return d + "page\nend\n";
}

class Pmftool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("pmftool_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
    return path(name);
  }

  struct Run {
    int code;
    std::string out;
    std::string err;
  };
  Run run(int (*command)(const Args&, std::ostream&, std::ostream&), const Args& args) {
    std::ostringstream out, err;
    int code = command(args, out, err);
    return {code, out.str(), err.str()};
  }

  std::string buildFile(const std::string& description, const std::string& name) {
    Run r = run(build, {write(name + ".txt", description), path(name)});
    EXPECT_EQ(r.code, 0) << r.err;
    return path(name);
  }

  fs::path dir_;
};

TEST_F(Pmftool, BuildThenInfoAndDumpSeeEveryCode) {
  for (const char* headerLine : {"header version=5 compressed=1 recordSetParameter=3",
                                 "header version=1", "header version=3 compressed=2"}) {
    const std::string file = buildFile(everyCode(headerLine), "every.pmf");

    Run text = run(info, {file});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_NE(text.out.find("pages: 3\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\"DejaVuSans\" code 30 flags 0x4 codepage 1252 data " +
                            std::to_string(fs::file_size(kSans)) + " bytes"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("\"DejaVuSans\" code 36 id 9 flags 0x4 codepage 1252 data 0 bytes"),
              std::string::npos);
    EXPECT_NE(text.out.find("objects defined: blob 3, text 2, font 2, point list 1, group 2"),
              std::string::npos)
        << text.out;

    Run json = run(info, {file, "--json"});
    ASSERT_EQ(json.code, 0) << json.err;
    for (const spool::CatalogueEntry& e : spool::catalogue()) {
      EXPECT_NE(json.out.find("\"" + std::to_string(e.code) + "\": "), std::string::npos)
          << "code " << int(e.code) << " missing from " << json.out;
    }

    Run d = run(dump, {file});
    ASSERT_EQ(d.code, 0) << d.err;
    std::istringstream lines(d.out);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line)) all.push_back(line);
    Inspection seen;
    std::string error;
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readWholeFile(file, bytes, error));
    ASSERT_TRUE(inspect(bytes, false, nullptr, seen, error)) << error;
    EXPECT_EQ(all.size(), seen.records + 1);
    EXPECT_EQ(all[0].rfind("header version=", 0), 0u);
    auto has = [&](const std::string& needle) { return d.out.find(needle) != std::string::npos; };
    EXPECT_TRUE(has("text run                 fixed=60 var=6 flags=0x0 n=5 m=0 g=0 text=\"Hello\""))
        << d.out;
    EXPECT_TRUE(has("flags=0x1000000 n=0 m=1 g=2 codes=0041,20AC"));
    EXPECT_TRUE(has("short font file          fixed=24 var="));
    EXPECT_TRUE(has("name=\"Mono\" flags=0x4 codepage=1252 data="));
    EXPECT_TRUE(has("id=4 flags=0x1 entries=1:0:0,2:5:5"));
    EXPECT_TRUE(has("id=3 at=10,20"));
    EXPECT_TRUE(has("         0   1 document start           fixed=20 var=0"));
  }
}

TEST_F(Pmftool, PlainAndCompressedBodiesInspectAlike) {
  Inspection plain, compressed;
  std::string error;
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(readWholeFile(buildFile(everyCode("header compressed=0"), "p.pmf"), bytes, error));
  ASSERT_TRUE(inspect(bytes, false, nullptr, plain, error)) << error;
  ASSERT_TRUE(readWholeFile(buildFile(everyCode("header compressed=1"), "c.pmf"), bytes, error));
  ASSERT_TRUE(inspect(bytes, false, nullptr, compressed, error)) << error;
  EXPECT_LT(compressed.fileSize, plain.fileSize);
  EXPECT_EQ(plain.counts, compressed.counts);
  EXPECT_EQ(plain.recordBytes, compressed.recordBytes);
}

TEST_F(Pmftool, FontsWritesTheEmbeddedBytes) {
  const std::string file = buildFile(
      "start\nfont " + kSans + "\nfont " + kSans + " nodata\nfont " + kMono +
          " code=36 id=1 name=\"Mono Regular\"\nfont data=00010203 flags=0 name=\"raw\"\nend\n",
      "fonts.pmf");
  Run r = run(fonts, {file, path("out")});
  ASSERT_EQ(r.code, 0) << r.err;
  auto read = [](const fs::path& p) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(readWholeFile(p.string(), bytes, error)) << p;
    return std::string(bytes.begin(), bytes.end());
  };
  EXPECT_EQ(read(dir_ / "out" / "01-DejaVuSans.ttf"), read(kSans));
  EXPECT_EQ(read(dir_ / "out" / "02-Mono_Regular.ttf"), read(kMono));
  EXPECT_EQ(read(dir_ / "out" / "03-raw.bin"), std::string("\0\1\2\3", 4));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 3);
}

TEST_F(Pmftool, BadInputIsReportedWithWhereAndWhat) {
  struct Case {
    const char* name;
    std::string description;
    std::string message;
  };
  const Case cases[] = {
      {"unknown code", "start\nraw 03\n",
       "unknown record code 0x03 at record stream offset 21 (error 22)"},
      {"cut record", "start\nraw 04000000\n",
       "file ends inside record 0x04 at record stream offset 21 (error 24)"},
      {"text counts beyond the string",
       "raw 06" + std::string(44 * 2, '0') + "05000000" + std::string(8 * 2, '0') + "00000000",
       "record stream offset 0: text run has counts beyond its string"},
      {"record set 0", "header recordSet=0\nstart\n", "header names record set 0"},
  };
  for (const Case& c : cases) {
    const std::string file = buildFile(c.description, "bad.pmf");
    for (auto command : {info, dump}) {
      Run r = run(command, {file});
      EXPECT_EQ(r.code, 1) << c.name;
      EXPECT_EQ(r.err, "pmftool: " + file + ": " + c.message + "\n") << c.name;
    }
  }
  std::ofstream(path("short.pmf")) << "VARDO PRINTER";
  EXPECT_EQ(run(info, {path("short.pmf")}).err,
            "pmftool: " + path("short.pmf") + ": file ends inside the header (error 24)\n");
  EXPECT_EQ(run(info, {path("missing.pmf")}).err,
            "pmftool: " + path("missing.pmf") + ": cannot open\n");

  Run desc = run(build, {write("d.txt", "start\nfont nothere.ttf\n"), path("x.pmf")});
  EXPECT_EQ(desc.code, 1);
  EXPECT_EQ(desc.err, "pmftool: " + path("d.txt") + ":2: cannot read font file " +
                          (dir_ / "nothere.ttf").string() + "\n");
}

TEST_F(Pmftool, WrongUsageExitsWithTwo) {
  const std::pair<int (*)(const Args&, std::ostream&, std::ostream&), Args> cases[] = {
      {info, {}}, {info, {"a", "b"}}, {info, {"a", "--xml"}},
      {dump, {}}, {build, {"only"}},  {fonts, {"a"}},
  };
  for (const auto& [command, args] : cases) {
    Run r = run(command, args);
    EXPECT_EQ(r.code, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(r.err.rfind("usage: pmftool ", 0), 0u);
  }
}

}  // namespace
}  // namespace pmftool
