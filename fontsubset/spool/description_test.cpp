#include "spool/description.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "spool/record_reader.h"

namespace spool {
namespace {

using Buffer = std::vector<std::uint8_t>;

bool loadFile(const std::string& path, Buffer& data, std::string& error) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  std::ifstream in(path, std::ios::binary);
  if (ec || !in) {
    error = "cannot read " + path;
    return false;
  }
  data.resize(size);
  return static_cast<bool>(
      in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(size)));
}

bool build(std::string_view text, Buffer& file, DescriptionError& error) {
  return buildFromDescription(text, loadFile, file, error);
}

std::vector<std::uint8_t> codesOf(const Buffer& file) {
  static std::vector<std::uint8_t> codes;
  codes.clear();
  RecordSetTable table([](RecordReader&, const Record& r) {
    codes.push_back(r.code());
    return true;
  });
  RecordReader reader;
  EXPECT_TRUE(reader.begin(RecordSet{table.entries()}));
  reader.feed(file);
  EXPECT_NE(reader.end(), 0u) << describe(reader.error());
  return codes;
}

TEST(Description, BuildsHeaderAndRecords) {
  const std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  Buffer file;
  DescriptionError error;
  ASSERT_TRUE(
      build("# a page of text\n"
            "header version=4 compressed=1 recordSetParameter=0x10 sizeRatio=50\n"
            "start\n"
            "page\r\n"
            "font " +
                font +
                " code=36 id=3 codepage=932\n"
                "text \"Hi \\\"you\\\"\\x21\"   # trailing comment\n"
                "text codes=41,0x20AC wide items=2\n"
                "page\n"
                "end\n",
            file, error))
      << error.line << ": " << error.message;
  auto h = parseHeader(file);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->version, 4u);
  EXPECT_EQ(h->compressed, 1u);
  EXPECT_EQ(h->recordSetParameter, 16u);
  EXPECT_EQ(h->pageCountPlusOne, 3u);
  EXPECT_EQ(h->sizeRatio, 50);
  EXPECT_EQ(codesOf(file), (std::vector<std::uint8_t>{1, 4, 36, 6, 6, 4, 2}));
}

TEST(Description, ErrorsNameTheirLine) {
  struct Case {
    const char* text;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"start\nbogus\n", 2, "unknown statement 'bogus'"},
      {"text \"open\n", 1, "string without its closing quote"},
      {"page extra\n", 1, "unexpected argument 'extra'"},
      {"\n\nblob id=1\n", 3, "blob needs size=S or reuse"},
      {"blob id=x size=1\n", 1, "bad number for id: 'x'"},
      {"replay\n", 1, "missing id="},
      {"font /nonexistent.ttf\n", 1, "cannot read /nonexistent.ttf"},
      {"font data=0 code=31\n", 1, "font code must be 29, 30 or 36"},
      {"record 3\n", 1, "record needs a catalogue code"},
      {"record 4 var=2\n", 1, "this record code has no variable part"},
      {"header\nheader\n", 2, "a second header statement"},
      {"header sizeRatio=256\n", 1, "bad number for sizeRatio: '256'"},
      {"group id=1 entries=1:2\n", 1, "group entries are ID:X:Y, got '1:2'"},
      {"raw 0\n", 1, "raw needs hexadecimal bytes"},
  };
  for (const Case& c : cases) {
    Buffer file;
    DescriptionError error;
    EXPECT_FALSE(build(c.text, file, error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_EQ(error.message, c.message) << c.text;
  }
}

}  // namespace
}  // namespace spool
