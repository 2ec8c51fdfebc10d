#include "sfnt/directory.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sfnt/writer.h"

namespace sfnt {
namespace {

struct Table {
  Tag tag;
  std::uint32_t offset;
  std::uint32_t length;
};

// A font image of `size` bytes whose directory lists `tables` as given.
std::vector<std::uint8_t> image(std::uint32_t version, const std::vector<Table>& tables,
                                std::size_t size) {
  std::vector<std::uint8_t> out(size, 0);
  Writer writer(out);
  writer.u32(version);
  writer.u16(static_cast<std::uint16_t>(tables.size()));
  writer.skip(6);
  for (const Table& t : tables) {
    writer.u32(t.tag);
    writer.u32(0);
    writer.u32(t.offset);
    writer.u32(t.length);
  }
  return out;
}

constexpr Tag kA = makeTag("aaaa");
constexpr Tag kB = makeTag("bbbb");

TEST(Directory, AcceptsAWellFormedDirectoryAndFindsTheFirstOfATag) {
  // 12 + 3 × 16 = 60 bytes of directory.
  auto font = image(kVersionTrueType, {{kA, 60, 5}, {kB, 68, 4}, {kA, 72, 4}}, 76);
  font[60] = 0x42;
  auto directory = Directory::parse(font);
  ASSERT_TRUE(directory.has_value());
  ASSERT_NE(directory->find(kA), nullptr);
  EXPECT_EQ(directory->find(kA)->offset, 60u);
  auto a = directory->table(kA);
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->size(), 5u);
  EXPECT_EQ((*a)[0], 0x42);
  EXPECT_EQ(directory->find(makeTag("none")), nullptr);
  EXPECT_FALSE(directory->table(makeTag("none")).has_value());
}

TEST(Directory, RefusesDirectoriesThatDoNotDescribeTheImage) {
  struct Case {
    const char* what;
    std::function<std::vector<std::uint8_t>()> make;
  };
  const Case cases[] = {
      {"empty", [] { return std::vector<std::uint8_t>{}; }},
      {"header cut",
       [] {
         auto f = image(kVersionTrueType, {{kA, 28, 4}}, 32);
         f.resize(11);
         return f;
       }},
      {"records reach the end",
       [] {
         return image(kVersionTrueType, {{kA, 28, 0}}, 28);
       }},
      {"more records than bytes",
       [] {
         auto f = image(kVersionTrueType, {{kA, 28, 4}}, 32);
         f[5] = 2;
         return f;
       }},
      {"no tables", [] { return image(kVersionTrueType, {}, 32); }},
      {"collection header",
       [] {
         return image(makeTag("ttcf"), {{kA, 28, 4}}, 32);
       }},
      {"compact outlines",
       [] {
         return image(makeTag("OTTO"), {{kA, 28, 4}}, 32);
       }},
      {"table past the end",
       [] {
         return image(kVersionTrueType, {{kA, 28, 5}}, 32);
       }},
      {"offset past the end",
       [] {
         return image(kVersionTrueType, {{kA, 36, 0}}, 32);
       }},
      {"length wraps around",
       [] {
         return image(kVersionTrueType, {{kA, 28, 0xFFFFFFFCu}}, 32);
       }},
      {"table inside the directory",
       [] {
         return image(kVersionTrueType, {{kA, 24, 4}}, 32);
       }},
      {"misaligned table",
       [] {
         return image(kVersionTrueType, {{kA, 30, 2}}, 32);
       }},
      {"overlapping tables",
       [] {
         return image(kVersionTrueType, {{kA, 44, 8}, {kB, 48, 4}}, 52);
       }},
      {"same bytes twice",
       [] {
         return image(kVersionTrueType, {{kA, 44, 4}, {kB, 44, 4}}, 52);
       }},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(Directory::parse(c.make()).has_value()) << c.what;
  }
}

TEST(Directory, AcceptsEmptyTablesAnywhereInsideAndTheAppleVersion) {
  auto font = image(kVersionApple, {{kA, 44, 4}, {kB, 44, 0}}, 48);
  EXPECT_TRUE(Directory::parse(font).has_value());
}

}  // namespace
}  // namespace sfnt
