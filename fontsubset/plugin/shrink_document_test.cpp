#include "plugin/shrink_document.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/testing/fake_system.h"
#include "test_support.h"

namespace glypter {
namespace {

using passes::testing::build;
using passes::testing::ByteVector;
using passes::testing::kDejaVu;
using passes::testing::parse;
using platform::testing::FakeFiles;

const std::string kDocument = "/docs/a.pmf";

std::string asText(const ByteVector& bytes) { return std::string(bytes.begin(), bytes.end()); }
ByteVector asBytes(const std::string& text) { return ByteVector(text.begin(), text.end()); }

class Shrink : public ::testing::Test {
 protected:
  void put(const ByteVector& file) { fake.files.setFile(kDocument, asText(file)); }
  ByteVector document() const { return asBytes(fake.files.content(kDocument).value_or("")); }

  platform::testing::FakeSystem fake;
};

TEST_F(Shrink, RewritesADocumentWithFontsThroughATemporaryFileBesideIt) {
  const ByteVector input =
      build("header compressed=1\nstart\npage\nfont " + kDejaVu + "\ntext \"Hello\"\nend\n");
  put(input);
  const ShrinkOutcome outcome = shrinkDocument(fake, kDocument);
  ASSERT_EQ(outcome.result, 1) << stepText(outcome.failedAt) << " " << outcome.detail;
  EXPECT_TRUE(outcome.rewritten);
  EXPECT_EQ(outcome.sizeBefore, input.size());
  const ByteVector output = document();
  EXPECT_LT(output.size(), input.size() / 10);
  EXPECT_TRUE(parse(output).ok);
  ASSERT_EQ(fake.files.replaces.size(), 1u);
  EXPECT_EQ(fake.files.replaces[0].first.rfind("/docs/FSF", 0), 0u);
  EXPECT_EQ(fake.files.paths(), std::vector<std::string>{kDocument});
  EXPECT_EQ(fake.files.openCount(), 0);
}

// Only the version (when below 5) and bytes 40..47 change. The ratios are
// counted here by hand: other bytes 21 + 17 + 5, blobs stored 136 + 36 and
// expanded 132 + 132.
TEST_F(Shrink, ADocumentWithNothingToShrinkHasItsHeaderRefreshedInPlace) {
  for (std::uint32_t version : {2u, 3u, 4u, 5u, 9u}) {
    SCOPED_TRACE(version);
    const ByteVector input = build("header version=" + std::to_string(version) +
                                   " pageCountPlusOne=0 sizeRatio=1 blobRatio=1 textObjectRatio=1 "
                                   "pointListRatio=1\nstart\npage\nblob id=1 size=100\n"
                                   "blob id=1 reuse\nend\n");
    put(input);
    const ShrinkOutcome outcome = shrinkDocument(fake, kDocument);
    ASSERT_EQ(outcome.result, 1);
    EXPECT_FALSE(outcome.rewritten);
    ByteVector expected = input;
    spool::writeU32(expected, 24, std::max(version, 5u));
    spool::writeU32(expected, 40, 2);
    expected[44] = (43 + 172) * 100 / (43 + 264);
    expected[45] = 172 * 100 / 264;
    expected[46] = 100;
    expected[47] = 100;
    EXPECT_EQ(document(), expected);
    EXPECT_TRUE(fake.files.replaces.empty());
  }
}

TEST_F(Shrink, AShortHeaderWithNothingToShrinkIsRewrittenNotOverwritten) {
  const ByteVector input = build("header version=1\nstart\npage\ntext \"abc\"\nend\n");
  put(input);
  const ShrinkOutcome outcome = shrinkDocument(fake, kDocument);
  ASSERT_EQ(outcome.result, 1);
  EXPECT_TRUE(outcome.rewritten);
  const auto in = parse(input);
  auto out = parse(document());
  ASSERT_TRUE(out.ok);
  EXPECT_EQ(out.header.version, 5u);
  EXPECT_EQ(out.header.pageCountPlusOne, 2u);
  out.records.erase(out.records.begin() + 1);  // our marker
  EXPECT_EQ(out.records, in.records);
}

// Files whose reads come up short once the header is read again, as when
// another program cut the file between the passes.
class ShortHeaderFiles : public platform::Files {
 public:
  explicit ShortHeaderFiles(FakeFiles& inner) : inner_(inner) {}
  platform::ErrorCode open(std::string_view path, const platform::FileOpenOptions& options,
                           std::unique_ptr<platform::File>& out) override {
    std::unique_ptr<platform::File> file;
    platform::ErrorCode e = inner_.open(path, options, file);
    if (e == 0) out = std::make_unique<Short>(std::move(file));
    return e;
  }
  platform::ErrorCode remove(std::string_view path) override { return inner_.remove(path); }
  platform::ErrorCode createTemporaryFile(std::string_view folder, std::string_view prefix,
                                          std::string* path) override {
    return inner_.createTemporaryFile(folder, prefix, path);
  }
  platform::ErrorCode replace(std::string_view from, std::string_view to) override {
    return inner_.replace(from, to);
  }

 private:
  struct Short : platform::File {
    explicit Short(std::unique_ptr<platform::File> f) : file(std::move(f)) {}
    platform::ErrorCode read(void* buffer, std::uint32_t size, std::uint32_t* got) override {
      return file->read(buffer, sought ? std::min<std::uint32_t>(size, 40) : size, got);
    }
    platform::ErrorCode write(const void* data, std::uint32_t size) override {
      return file->write(data, size);
    }
    platform::ErrorCode seek(std::int64_t offset, platform::SeekOrigin origin,
                             std::uint64_t* position) override {
      sought = true;
      return file->seek(offset, origin, position);
    }
    platform::ErrorCode size(std::uint64_t* size) override { return file->size(size); }
    platform::ErrorCode flush() override { return file->flush(); }
    std::unique_ptr<platform::File> file;
    bool sought = false;
  };
  FakeFiles& inner_;
};

TEST_F(Shrink, FailuresLeaveTheDocumentAsItWas) {
  const ByteVector withFont =
      build("start\npage\nfont " + kDejaVu + "\ntext \"abc\"\nblob id=1 size=5000 random\nend\n");
  const ByteVector noFont = build("start\npage\ntext \"abc\"\nend\n");
  ByteVector truncated =
      build("header compressed=1\nstart\npage\nblob id=1 size=9000 random\nend\n");
  truncated.resize(truncated.size() - 20);
  ByteVector notMeta = asBytes("VARDO PRINTER META FILE?and then some more bytes than a header");

  struct Case {
    const char* what;
    ByteVector file;
    std::function<void(FakeFiles&)> arrange;
    ShrinkStep expected;
  };
  const std::vector<Case> cases = {
      {"not a meta file", notMeta, nullptr, ShrinkStep::Scan},
      {"empty file", {}, nullptr, ShrinkStep::Scan},
      {"open refused", withFont,
       [](FakeFiles& f) { f.failOpen(kDocument, platform::ERROR_SHARING_VIOLATION); },
       ShrinkStep::Open},
      {"read fails during the scan", withFont,
       [](FakeFiles& f) { f.failReadAt(kDocument, 3000, platform::ERROR_READ_FAULT); },
       ShrinkStep::Scan},
      {"compressed body cut short", truncated, nullptr, ShrinkStep::Scan},
      {"no pages", build("start\nblob id=1 size=10\nend\n"), nullptr, ShrinkStep::NoPages},
      {"unknown record code", build("start\npage\nraw 2A\nend\n"), nullptr, ShrinkStep::Scan},
      {"groups in a cycle",
       build("start\npage\ngroup id=1 entries=2:0:0\ngroup id=2 entries=1:0:0 replay\nend\n"),
       nullptr, ShrinkStep::Scan},
      {"second document end", build("start\npage\nend\nend\n"), nullptr, ShrinkStep::Scan},
      {"record after the document end", build("start\npage\nend\npage\n"), nullptr,
       ShrinkStep::Scan},
      {"first record not the document start", build("page\nstart\nend\n"), nullptr,
       ShrinkStep::Scan},
      {"no temporary name", withFont,
       [](FakeFiles& f) { f.failCreateTemporaryFile(platform::ERROR_ACCESS_DENIED); },
       ShrinkStep::TemporaryName},
      {"temporary file refused", withFont,
       [](FakeFiles& f) { f.failOpen("/docs/FSF1.tmp", platform::ERROR_ACCESS_DENIED); },
       ShrinkStep::TemporaryFile},
      {"disk full while rewriting", withFont,
       [](FakeFiles& f) { f.failWriteAt("/docs/FSF1.tmp", 2000, platform::ERROR_DISK_FULL); },
       ShrinkStep::Rewrite},
      {"replace refused", withFont,
       [](FakeFiles& f) { f.failReplace(platform::ERROR_ACCESS_DENIED); }, ShrinkStep::Replace},
      {"header cannot be written back", noFont,
       [](FakeFiles& f) { f.failWriteAt(kDocument, 40, platform::ERROR_WRITE_FAULT); },
       ShrinkStep::Header},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::testing::FakeSystem system;
    system.files.setFile(kDocument, asText(c.file));
    if (c.arrange) c.arrange(system.files);
    const ShrinkOutcome outcome = shrinkDocument(system, kDocument);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.failedAt, c.expected) << stepText(outcome.failedAt) << ": " << outcome.detail;
    EXPECT_EQ(system.files.content(kDocument), asText(c.file));
    EXPECT_EQ(system.files.paths(), std::vector<std::string>{kDocument});
    EXPECT_EQ(system.files.openCount(), 0);
  }

  // A header that cannot be read again in full is not written back.
  platform::testing::FakeSystem system;
  system.files.setFile(kDocument, asText(noFont));
  ShortHeaderFiles shortFiles(system.files);
  platform::System withShortReads{system.registry,       system.desktop, system.processes,
                                  system.libraries,      shortFiles,     system.codePages,
                                  system.systemMessages, system.clock,   system.environment,
                                  system.debugOutput,    system.internet};
  const ShrinkOutcome outcome = shrinkDocument(withShortReads, kDocument);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.failedAt, ShrinkStep::Header);
  EXPECT_EQ(system.files.content(kDocument), asText(noFont));

  // A missing document.
  EXPECT_EQ(shrinkDocument(fake, "/docs/none.pmf").failedAt, ShrinkStep::Open);
}

TEST_F(Shrink, ADryRunReportsAndWritesNothing) {
  const ByteVector input = build("start\npage\nfont " + kDejaVu + "\ntext \"abc\"\nend\n");
  put(input);
  ShrinkOptions options;
  options.dryRun = true;
  const ShrinkOutcome outcome = shrinkDocument(fake, kDocument, options);
  EXPECT_EQ(outcome.result, 1);
  EXPECT_TRUE(outcome.rewritten);
  ASSERT_EQ(outcome.fonts.size(), 1u);
  EXPECT_EQ(outcome.fonts[0].outcome, passes::FontOutcome::Replaced);
  EXPECT_EQ(outcome.fonts[0].characters, (std::vector<std::uint16_t>{'a', 'b', 'c'}));
  EXPECT_EQ(document(), input);
  EXPECT_EQ(fake.files.paths(), std::vector<std::string>{kDocument});
}

TEST(DocumentFolder, CutsAfterTheLastSeparator) {
  struct Case {
    PathStyle style;
    const char* path;
    const char* folder;
  };
  const Case cases[] = {
      {PathStyle::Posix, "/var/spool/doc.pmf", "/var/spool/"},
      {PathStyle::Posix, "spool/doc.pmf", "spool/"},
      {PathStyle::Posix, "/doc.pmf", "/"},
      {PathStyle::Posix, "doc.pmf", "."},
      {PathStyle::Posix, "odd\\name:x.pmf", "."},
      {PathStyle::Windows, "C:\\Spool\\doc.pmf", "C:\\Spool\\"},
      {PathStyle::Windows, "\\\\server\\share\\doc.pmf", "\\\\server\\share\\"},
      {PathStyle::Windows, "C:doc.pmf", "C:"},
      {PathStyle::Windows, "doc.pmf", "."},
  };
  for (const Case& c : cases) EXPECT_EQ(documentFolder(c.path, c.style), c.folder) << c.path;
  EXPECT_EQ(nativePathStyle(), PathStyle::Posix);
}

TEST_F(Shrink, EntryPointsConvertThePathOrRefuseIt) {
  const ByteVector input = build("start\npage\nfont " + kDejaVu + "\ntext \"abc\"\nend\n");
  put(input);
  EXPECT_EQ(submitDocW(fake, nullptr), 0);
  EXPECT_EQ(submitDocA(fake, nullptr), 0);
  const char16_t loneSurrogate[] = {u'/', 0xD800, u'a', 0};
  EXPECT_EQ(submitDocW(fake, loneSurrogate), 0);
  EXPECT_EQ(submitDocW(fake, u""), 0);
  EXPECT_EQ(document(), input);
  EXPECT_EQ(submitDocW(fake, u"/docs/a.pmf"), 1);
  // Rewritten once, the fonts are subsets; the second call refreshes the header.
  EXPECT_EQ(submitDocA(fake, "/docs/a.pmf"), 1);
  EXPECT_EQ(fake.files.replaces.size(), 1u);

  // A bare file name keeps its temporary file in the current folder.
  fake.files.setFile("b.pmf", asText(input));
  EXPECT_EQ(submitDocA(fake, "b.pmf"), 1);
  ASSERT_EQ(fake.files.replaces.size(), 2u);
  EXPECT_EQ(fake.files.replaces[1].first.rfind("./FSF", 0), 0u);
}

}  // namespace
}  // namespace glypter
