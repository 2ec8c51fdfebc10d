// The built plug-in, loaded by path as the uploader loads it, on real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/system.h"
#include "test_support.h"

namespace glypter {
namespace {

namespace fs = std::filesystem;
using passes::testing::build;
using passes::testing::ByteVector;
using passes::testing::kDejaVu;
using passes::testing::parse;
using passes::testing::readBytes;

using SubmitA = std::int32_t (*)(const char*, const char*, std::int32_t, std::int32_t);
using SubmitW = std::int32_t (*)(const char16_t*, const char16_t*, std::int32_t, std::int32_t);

class Exports : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("glypter-" + std::to_string(std::random_device{}()));
    fs::create_directories(folder_);
    ASSERT_EQ(platform::nativeSystem().libraries.load(GLYPTER_LIBRARY_PATH, library_), 0u);
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path write(const std::string& name, const ByteVector& bytes) {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::vector<std::string> folderNames() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path folder_;
  std::unique_ptr<platform::Library> library_;
};

TEST_F(Exports, TheLibraryOffersExactlyTheFourEntryPoints) {
  for (const char* name : {"SubmitDocA", "SubmitDocW", "SubmitMultiDocA", "SubmitMultiDocW"}) {
    EXPECT_NE(library_->symbol(name), nullptr) << name;
  }
  for (const char* name :
       {"InitializeA", "Uninitialize", "_ZN7glypter10submitDocAERN8platform6SystemEPKc"}) {
    EXPECT_EQ(library_->symbol(name), nullptr) << name;
  }
  const auto multiA = library_->function<SubmitA>("SubmitMultiDocA");
  const auto multiW = library_->function<SubmitW>("SubmitMultiDocW");
  const fs::path path = write("m.pmf", build("start\npage\nend\n"));
  EXPECT_EQ(multiA(nullptr, path.c_str(), -1, 0), 0);
  EXPECT_EQ(multiW(u"x", u"y", 0, 0), 0);
}

TEST_F(Exports, SubmitDocShrinksARealFileAndKeepsItsPermissions) {
  const ByteVector input =
      build("header compressed=1\nstart\npage\nfont " + kDejaVu + "\ntext \"Hello\"\nend\n");
  const fs::path a = write("a.pmf", input);
  const fs::path w = write("w.pmf", input);
  fs::permissions(a, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  const auto submitA = library_->function<SubmitA>("SubmitDocA");
  const auto submitW = library_->function<SubmitW>("SubmitDocW");
  EXPECT_EQ(submitA(nullptr, a.c_str(), -1, 0), 1);
  const std::string wide = w.string();
  EXPECT_EQ(submitW(nullptr, std::u16string(wide.begin(), wide.end()).c_str(), -1, 0), 1);

  for (const fs::path& p : {a, w}) {
    const ByteVector output = readBytes(p.string());
    EXPECT_LT(output.size(), input.size() / 10);
    EXPECT_TRUE(parse(output).ok);
  }
  EXPECT_EQ(fs::status(a).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(folderNames(), (std::vector<std::string>{"a.pmf", "w.pmf"}));

  EXPECT_EQ(submitA(nullptr, (folder_ / "missing.pmf").c_str(), -1, 0), 0);
  EXPECT_EQ(submitA(nullptr, nullptr, -1, 0), 0);
}

}  // namespace
}  // namespace glypter
