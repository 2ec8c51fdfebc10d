#include "passes/rewrite_pass.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/testing/fake_code_pages.h"
#include "spool/layouts.h"
#include "test_support.h"

namespace passes {
namespace {

using testing::build;
using testing::ByteVector;
using testing::feedAll;
using testing::kDejaVu;
using testing::kLiberation;
using testing::parse;
using testing::ParsedRecord;

// Takes bytes until `limit`, then refuses, as a full disk does.
class LimitedSink final : public spool::ByteSink {
 public:
  explicit LimitedSink(std::size_t limit) : limit_(limit) {}
  bool write(spool::Bytes bytes) override {
    if (bytes.size() > limit_ - data.size()) return false;
    data.insert(data.end(), bytes.begin(), bytes.end());
    return true;
  }
  ByteVector data;

 private:
  std::size_t limit_;
};

struct Rewritten {
  bool ok = false;
  RewriteFailure failure = RewriteFailure::None;
  ByteVector file;
  ScanSummary summary;
};

Rewritten rewrite(const ByteVector& input,
                  std::size_t limit = std::numeric_limits<std::size_t>::max()) {
  platform::testing::FakeCodePages codePages;
  ScanPass scan(codePages);
  Rewritten r;
  EXPECT_TRUE(feedAll(scan, input)) << scan.describeFailure();
  r.summary = scan.summary();
  LimitedSink sink(limit);
  RewritePass pass(r.summary, sink);
  r.ok = feedAll(pass, input);
  r.failure = pass.failure();
  r.file = sink.data;
  return r;
}

spool::FontFileRecord fontRecord(const ParsedRecord& r) {
  auto parsed = spool::FontFileRecord::parse(r.code, r.bytes, spool::kStatisticsVersion);
  EXPECT_TRUE(parsed.has_value());
  return *parsed;
}

std::string text(spool::Bytes bytes) { return std::string(bytes.begin(), bytes.end()); }

bool isFontRecord(const ParsedRecord& r) { return spool::fontFileFields(r.code) != nullptr; }

bool isOurMarker(const ParsedRecord& r) {
  auto m = spool::ProcessingMarker::parse(r.bytes);
  return r.code == spool::code::kProcessingMarker && m && m->markerKind() == 0;
}

TEST(Rewrite, ReplacesFontRecordsAndCopiesEverythingElse) {
  const ByteVector input = build(
      "header compressed=0 recordSetParameter=77 recordSet=3\n"
      "start\nmarker kind=0 value=100\npage\nfiller 2\n"
      "font " +
      kDejaVu +
      " name=\"A\" second=\"tail\"\n"
      "text \"Hello\"\n"
      "font " +
      kDejaVu +
      " name=\"A\" flags=0x200004 second=\"xx\"\n"
      "font " +
      kDejaVu +
      " name=\"A\" nodata code=36 id=4\n"
      "font " +
      kDejaVu +
      " name=\"A\" flags=0 code=36 id=5\n"
      "font " +
      kLiberation +
      " name=\"B\" flags=0\n"
      "blob id=1 size=300\nmarker kind=5 value=1\nrecord 20 var=10\n"
      "end\nfiller\n");
  const Rewritten r = rewrite(input);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.summary.fonts.size(), 1u);
  const SubsetFont& subset = r.summary.fonts[0];
  ASSERT_EQ(subset.newName, "DejaVu Sans");

  const auto in = parse(input);
  const auto out = parse(r.file);
  ASSERT_TRUE(out.ok);
  EXPECT_EQ(out.header.version, 5u);
  EXPECT_EQ(out.header.compressed, 1u);
  EXPECT_EQ(out.header.recordSetParameter, 77u);
  EXPECT_EQ(out.header.recordSet, 3u);
  const HeaderStatistics stats = r.summary.statistics();
  EXPECT_EQ(out.header.pageCountPlusOne, 2u);
  EXPECT_EQ(out.header.sizeRatio, stats.sizeRatio);
  EXPECT_EQ(out.header.blobRatio, stats.blobRatio);

  // Our marker follows the document start; the old one is gone; every record
  // that is not a font record is the input's, byte for byte.
  ASSERT_GE(out.records.size(), 2u);
  EXPECT_EQ(out.records[0].code, spool::code::kDocumentStart);
  EXPECT_TRUE(isOurMarker(out.records[1]));
  EXPECT_EQ(std::count_if(out.records.begin(), out.records.end(), isOurMarker), 1);
  std::vector<ParsedRecord> keptIn, keptOut;
  for (const auto& rec : in.records) {
    if (!isFontRecord(rec) && !isOurMarker(rec)) keptIn.push_back(rec);
  }
  for (const auto& rec : out.records) {
    if (!isFontRecord(rec) && !isOurMarker(rec)) keptOut.push_back(rec);
  }
  EXPECT_EQ(keptOut, keptIn);

  const auto fontsIn = [&] {
    std::vector<ParsedRecord> f;
    std::copy_if(in.records.begin(), in.records.end(), std::back_inserter(f), isFontRecord);
    return f;
  }();
  std::vector<ParsedRecord> fontsOut;
  std::copy_if(out.records.begin(), out.records.end(), std::back_inserter(fontsOut), isFontRecord);
  ASSERT_EQ(fontsOut.size(), 5u);

  // The first record carries the subset under the new name, its opaque
  // second part kept.
  const auto first = fontRecord(fontsOut[0]);
  EXPECT_EQ(text(first.name()), "DejaVu Sans");
  EXPECT_EQ(first.fontDataOffset(), 12u);
  EXPECT_TRUE(std::equal(first.fontData().begin(), first.fontData().end(), subset.data.begin(),
                         subset.data.end()));
  EXPECT_EQ(text(first.afterFontData()), "tail");
  EXPECT_EQ(first.secondPartLength(), 4u);
  // A later record with data of its own: the bare new name; the second part
  // that belonged to the embedded font is gone.
  const auto second = fontRecord(fontsOut[1]);
  EXPECT_EQ(text(second.name()), "DejaVu Sans");
  EXPECT_EQ(second.fontDataLength(), 0u);
  EXPECT_EQ(second.secondPartLength(), 0u);
  EXPECT_EQ(second.variableLength(), 12u);
  EXPECT_EQ(second.flags(), 0x200004u);
  // A record that only names the font follows it to its new name.
  const auto third = fontRecord(fontsOut[2]);
  EXPECT_EQ(text(third.name()), "DejaVu Sans");
  EXPECT_EQ(third.fontDataLength(), 0u);
  EXPECT_EQ(third.objectId(), 4u);
  // Flags without the TrueType bit keep the name the record had.
  const auto fourth = fontRecord(fontsOut[3]);
  EXPECT_EQ(text(fourth.name()), "A");
  EXPECT_EQ(fourth.fontDataLength(), 0u);
  // A font that was not subset is copied as it was.
  EXPECT_EQ(fontsOut[4], fontsIn[4]);
}

TEST(Rewrite, HeaderVersionAndRecordSet) {
  struct Case {
    std::uint32_t version, recordSet, expectedVersion, expectedRecordSet;
  };
  const Case cases[] = {{1, 1, 5, 1}, {2, 9, 5, 9}, {4, 9, 5, 9}, {5, 9, 5, 9}, {7, 9, 7, 9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    const std::string header = "header version=" + std::to_string(c.version) +
                               " recordSet=" + std::to_string(c.recordSet) +
                               " recordSetParameter=5 compressed=0\n";
    const ByteVector input =
        build(header + "start\npage\npage\nfont " + kDejaVu + "\ntext \"x\"\nend\n");
    const Rewritten r = rewrite(input);
    ASSERT_TRUE(r.ok);
    ASSERT_GE(r.file.size(), 58u);
    // The 56-byte header is written plain; the zlib stream starts right after it.
    EXPECT_TRUE(std::equal(spool::kMagic.begin(), spool::kMagic.end(), r.file.begin()));
    EXPECT_EQ(spool::fieldU32(r.file, 24), c.expectedVersion);
    EXPECT_EQ(spool::fieldU32(r.file, 28), 1u);
    EXPECT_EQ(spool::fieldU32(r.file, 32), 5u);
    EXPECT_EQ(spool::fieldU32(r.file, 36), c.expectedRecordSet);
    EXPECT_EQ(spool::fieldU32(r.file, 40), 3u);
    EXPECT_EQ(spool::fieldU32(r.file, 48), 0u);
    EXPECT_EQ(spool::fieldU32(r.file, 52), 0u);
    EXPECT_EQ(r.file[56], 0x78);
    EXPECT_TRUE(parse(r.file).ok);
  }
}

TEST(Rewrite, RewritingTwiceLeavesOneMarker) {
  const ByteVector input =
      build("start\nmarker kind=2 value=7\npage\nfont " + kDejaVu + "\ntext \"abc\"\nend\n");
  const Rewritten once = rewrite(input);
  ASSERT_TRUE(once.ok);
  const Rewritten twice = rewrite(once.file);
  ASSERT_TRUE(twice.ok);
  const auto out = parse(twice.file);
  EXPECT_EQ(std::count_if(out.records.begin(), out.records.end(), isOurMarker), 1);
  EXPECT_EQ(out.withCode(spool::code::kProcessingMarker).size(), 2u);
}

TEST(Rewrite, ADocumentWithoutItsEndStillGetsACompleteStream) {
  // A short header with nothing to shrink takes this path in the plug-in.
  const ByteVector input =
      build("header version=1\nstart\npage\ntext \"abc\"\nblob id=1 size=10\n");
  const Rewritten r = rewrite(input);
  ASSERT_TRUE(r.ok);
  const auto in = parse(input);
  auto out = parse(r.file);
  ASSERT_TRUE(out.ok);
  ASSERT_EQ(out.records.size(), in.records.size() + 1);
  out.records.erase(out.records.begin() + 1);
  EXPECT_EQ(out.records, in.records);
}

TEST(Rewrite, AnyFailedWriteFailsThePass) {
  const ByteVector input =
      build("start\npage\nfont " + kDejaVu + "\ntext \"abc\"\nblob id=1 size=9000 random\nend\n");
  const Rewritten whole = rewrite(input);
  ASSERT_TRUE(whole.ok);
  for (std::size_t limit : {std::size_t{0}, std::size_t{55}, std::size_t{56}, std::size_t{57},
                            whole.file.size() / 2, whole.file.size() - 1}) {
    SCOPED_TRACE(limit);
    const Rewritten r = rewrite(input, limit);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failure, RewriteFailure::Write);
  }
  EXPECT_TRUE(rewrite(input, whole.file.size()).ok);
}

TEST(Rewrite, RecordsOutOfOrderFailThePass) {
  struct Case {
    const char* description;
    RewriteFailure expected;
  };
  const Case cases[] = {
      {"page\nstart\nend", RewriteFailure::NotDocumentStart},
      {"start\nstart\nend", RewriteFailure::SecondDocumentStart},
      {"start\nend\npage", RewriteFailure::AfterDocumentEnd},
      {"start\nend\nend", RewriteFailure::AfterDocumentEnd},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const ByteVector input = build(c.description);
    ScanSummary summary;
    spool::VectorSink sink;
    RewritePass pass(summary, sink);
    EXPECT_FALSE(feedAll(pass, input));
    EXPECT_EQ(pass.failure(), c.expected);
  }
  // Nothing at all after the header: no document, and not even a header out.
  ScanSummary summary;
  spool::VectorSink sink;
  RewritePass pass(summary, sink);
  EXPECT_FALSE(feedAll(pass, build("header version=5\n")));
  EXPECT_EQ(pass.failure(), RewriteFailure::NotDocumentStart);
  EXPECT_TRUE(sink.data.empty());
}

}  // namespace
}  // namespace passes
