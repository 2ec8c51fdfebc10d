#include "spool/record_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "spool/description.h"

namespace spool {
namespace {

using platform::ERROR_BAD_LENGTH;
using platform::ERROR_INVALID_HANDLE;
using Buffer = std::vector<std::uint8_t>;

struct Seen {
  std::uint8_t code;
  Buffer bytes;
  std::uint64_t offset;
  bool operator==(const Seen&) const = default;
};

struct Collector {
  std::vector<Seen> records;
  std::uint32_t parameter = 0xFFFFFFFF;
  int starts = 0;
  int finishes = 0;
  bool failedAtFinish = false;
  std::uint8_t failOn = 0xFF;  // a code whose handler refuses
};

bool collect(RecordReader& r, const Record& rec) {
  auto& c = r.passData<Collector>();
  c.records.push_back({rec.code(), Buffer(rec.bytes.begin(), rec.bytes.end()), rec.streamOffset});
  return rec.code() != c.failOn;
}
bool startCollect(RecordReader& r, std::uint32_t parameter) {
  auto& c = r.passData<Collector>();
  c.parameter = parameter;
  ++c.starts;
  return true;
}
void finishCollect(RecordReader& r) {
  auto& c = r.passData<Collector>();
  ++c.finishes;
  c.failedAtFinish = r.failed();
}

const RecordSetTable kTable(collect);
const RecordSet kSet{kTable.entries(), startCollect, finishCollect};

struct Pass {
  Collector seen;
  std::uint32_t result = 0;
  platform::ErrorCode lastError = 0;
  ReadError error;
  std::uint64_t inputBytes = 0;
};

// Feeds `file` in the given chunk sizes (the rest in one last chunk).
Pass read(const Buffer& file, std::vector<std::size_t> chunks = {}) {
  Pass p;
  RecordReader reader;
  EXPECT_TRUE(reader.begin(kSet, &p.seen));
  std::size_t at = 0;
  chunks.push_back(file.size());
  for (std::size_t size : chunks) {
    size = std::min(size, file.size() - at);
    if (!reader.feed(Bytes(file.data() + at, size))) break;
    at += size;
  }
  p.result = reader.end();
  p.inputBytes = reader.inputByteCount();
  p.lastError = reader.lastError();
  p.error = reader.error();
  return p;
}

Pass readInSmallPieces(const Buffer& file, std::size_t piece) {
  std::vector<std::size_t> chunks((file.size() + piece - 1) / piece, piece);
  return read(file, chunks);
}

Buffer header(std::uint32_t version, std::uint32_t compressed, std::uint32_t recordSet = 1,
              std::uint32_t parameter = 0) {
  MetaFileHeader h;
  h.version = version;
  h.compressed = compressed;
  h.recordSet = recordSet;
  h.recordSetParameter = parameter;
  auto e = encodeHeader(h);
  return Buffer(e.view().begin(), e.view().end());
}

Buffer concat(Buffer a, const Buffer& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A record stream with every catalogue code, records with and without
// variable parts, and fillers between them.
MetaFileBuilder everyCode(std::size_t bigBlob = 0) {
  MetaFileBuilder b;
  b.documentStart();
  b.marker(0, 100);
  b.pageStart();
  FontSpec font;
  font.name = "Sans";
  font.data = {1, 2, 3, 4, 5};
  b.fontFile(font);
  font.code = code::kShortFontFile;
  b.fontFile(font);
  font.code = code::kFontObjectDefinition;
  font.objectId = 7;
  font.secondPart = {9, 9};
  b.fontFile(font);
  b.textRun({"Hello", {}, false, 0});
  b.textRun({"", {0x41, 0x3042}, true, 2});
  b.filler(3);
  b.blob(1, Buffer(40, 0xAB));
  b.blob(2, Buffer(), true);
  b.textObject(3, {"obj", {}, false, 1});
  b.pointList(4, 99, 5);
  b.group(5, true, {{1, {2, 3}}, {3, {4, 5}}});
  b.replay(3);
  b.replayAt(4, {10, 20});
  b.deleteObject(1);
  for (const CatalogueEntry& e : catalogue()) {
    Buffer var(e.hasLengthField() ? 13 : 0, 0x5A);
    b.record(e.code, var, 0x11);
  }
  if (bigBlob) b.blob(6, Buffer(bigBlob, 0xC3));
  b.filler();
  b.documentEnd();
  return b;
}

Buffer plainFile(const MetaFileBuilder& b, std::uint32_t version = 5) {
  MetaFileHeader h;
  h.version = version;
  h.compressed = 0;
  return b.file(h);
}

Buffer compressedFile(const MetaFileBuilder& b) {
  MetaFileHeader h;
  h.compressed = 1;
  return b.file(h);
}

TEST(RecordReader, ReadsEveryCodeWithItsBytesAndOffsets) {
  MetaFileBuilder b = everyCode();
  Pass p = read(plainFile(b));
  ASSERT_EQ(p.result, 1u) << describe(p.error);
  EXPECT_EQ(p.seen.starts, 1);
  EXPECT_EQ(p.seen.finishes, 1);
  EXPECT_FALSE(p.seen.failedAtFinish);

  // Walking the stream by the catalogue gives the same records.
  const Buffer& s = b.stream();
  std::vector<Seen> expected;
  std::uint64_t nonFiller = 0;
  for (std::size_t at = 0; at < s.size();) {
    if (s[at] == 0) {
      ++at;
      continue;
    }
    const CatalogueEntry* e = findCatalogueEntry(s[at]);
    ASSERT_NE(e, nullptr);
    std::size_t size = e->fixedLength;
    if (e->hasLengthField()) size += *readU32(s, at + 1 + e->lengthAt);
    expected.push_back({s[at], Buffer(s.begin() + at + 1, s.begin() + at + 1 + size), at});
    nonFiller += 1 + size;
    at += 1 + size;
  }
  EXPECT_EQ(p.seen.records, expected);
  EXPECT_EQ(p.inputBytes, nonFiller);
  std::vector<std::uint8_t> codes;
  for (const Seen& r : p.seen.records) codes.push_back(r.code);
  for (const CatalogueEntry& e : catalogue()) {
    EXPECT_NE(std::find(codes.begin(), codes.end(), e.code), codes.end()) << int(e.code);
  }
}

TEST(RecordReader, ChunkSplitsAtEveryByteGiveTheSameRecords) {
  // In the compressed body a long blob spans several inflate windows.
  for (const Buffer& file : {plainFile(everyCode()), compressedFile(everyCode(9000))}) {
    const std::vector<Seen> whole = read(file).seen.records;
    ASSERT_FALSE(whole.empty());
    for (std::size_t split = 0; split <= file.size(); ++split) {
      Pass p = read(file, {split});
      ASSERT_EQ(p.result, 1u) << "split " << split;
      ASSERT_EQ(p.seen.records, whole) << "split " << split;
    }
    for (std::size_t piece : {1, 2, 3, 7}) {
      EXPECT_EQ(readInSmallPieces(file, piece).seen.records, whole) << "pieces of " << piece;
    }
  }
}

TEST(RecordReader, CompressedBodiesAcrossWindowsReadAsPlainOnes) {
  // Records of many sizes, so that they straddle the inflate window's edges.
  MetaFileBuilder b = everyCode(20000);
  for (std::uint32_t i = 0; i < 400; ++i) {
    b.textRun({std::string(i % 37, 'x'), {}, false, i % 3});
    b.blob(100 + i, Buffer(i * 7 % 500, static_cast<std::uint8_t>(i)));
  }
  b.documentEnd();
  const Buffer plain = plainFile(b);
  const Buffer compressed = compressedFile(b);
  ASSERT_GT(b.stream().size(), 8 * RecordReader::kInflateWindowSize);
  const Pass expected = read(plain);
  ASSERT_EQ(expected.result, 1u);
  for (std::size_t piece :
       {std::size_t{1}, std::size_t{333}, std::size_t{16384}, compressed.size()}) {
    Pass p = readInSmallPieces(compressed, piece);
    ASSERT_EQ(p.result, 1u) << describe(p.error);
    EXPECT_EQ(p.seen.records, expected.seen.records) << "pieces of " << piece;
    EXPECT_EQ(p.inputBytes, expected.inputBytes);
  }
}

TEST(RecordReader, HeaderForms) {
  struct Case {
    const char* name;
    Buffer file;
    std::uint32_t result;
    platform::ErrorCode lastError;
    ReadFailure failure;
    int starts;
    std::uint32_t parameter;
  };
  MetaFileBuilder one;
  one.pageStart();
  const Buffer v1 = header(1, 0, 0, 77);
  const Buffer v3 = header(3, 0, 9, 78);
  Buffer badMagic = v3;
  badMagic[5] ^= 0x20;
  const Case cases[] = {
      {"version 1, no records", v1, 1, 0, ReadFailure::None, 1, 77},
      {"version 1 with a record", concat(v1, one.stream()), 1, 0, ReadFailure::None, 1, 77},
      {"version 3", concat(v3, one.stream()), 9, 0, ReadFailure::None, 1, 78},
      {"compressed 2 is plain", concat(header(5, 2, 4, 79), one.stream()), 4, 0, ReadFailure::None,
       1, 79},
      {"record set 0", concat(header(3, 0, 0, 80), one.stream()), 0, 0, ReadFailure::ZeroRecordSet,
       1, 80},
      {"wrong magic", badMagic, 0, 0, ReadFailure::BadMagic, 0, 0},
      {"version 0", concat(header(0, 0, 1), Buffer(20, 0)), 0, 0, ReadFailure::BadVersion, 0, 0},
      {"cut in the short header", Buffer(v1.begin(), v1.begin() + 20), 0, ERROR_BAD_LENGTH,
       ReadFailure::Truncated, 0, 0},
      {"cut in the long header", Buffer(v3.begin(), v3.begin() + 40), 0, ERROR_BAD_LENGTH,
       ReadFailure::Truncated, 0, 0},
      {"empty", Buffer(), 0, ERROR_BAD_LENGTH, ReadFailure::Truncated, 0, 0},
  };
  for (const Case& c : cases) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{1000}}) {
      Pass p = readInSmallPieces(c.file, piece);
      EXPECT_EQ(p.result, c.result) << c.name;
      EXPECT_EQ(p.lastError, c.lastError) << c.name;
      EXPECT_EQ(p.error.kind, c.failure) << c.name;
      EXPECT_EQ(p.seen.starts, c.starts) << c.name;
      EXPECT_EQ(p.seen.finishes, c.starts) << c.name;
      if (c.starts) {
        EXPECT_EQ(p.seen.parameter, c.parameter) << c.name;
      }
    }
  }
}

TEST(RecordReader, RecordStageFailures) {
  struct Case {
    const char* name;
    Buffer stream;
    platform::ErrorCode lastError;
    ReadFailure failure;
    std::uint64_t offset;
    std::size_t recordsBefore;
  };
  MetaFileBuilder p;
  p.pageStart();
  const Buffer pageRecord = p.stream();  // 17 bytes
  MetaFileBuilder blob;
  blob.blob(1, Buffer(10, 1));
  const Buffer blobRecord = blob.stream();  // 47 bytes
  Buffer overflow = blobRecord;
  writeU32(MutableBytes(overflow).subspan(1), 32, 0xFFFFFFF0u);
  const Case cases[] = {
      {"code 3", concat(pageRecord, {3, 0, 0, 0, 0}), ERROR_BAD_COMMAND, ReadFailure::UnknownCode,
       17, 1},
      {"code 0x2A", concat(pageRecord, {0x2A}), ERROR_BAD_COMMAND, ReadFailure::UnknownCode, 17, 1},
      {"code 0xFF", {0xFF}, ERROR_BAD_COMMAND, ReadFailure::UnknownCode, 0, 0},
      {"cut in a fixed part",
       concat(pageRecord, Buffer(blobRecord.begin(), blobRecord.begin() + 30)), ERROR_BAD_LENGTH,
       ReadFailure::Truncated, 17, 1},
      {"cut in a length field", Buffer(blobRecord.begin(), blobRecord.begin() + 35),
       ERROR_BAD_LENGTH, ReadFailure::Truncated, 0, 0},
      {"cut in a variable part", Buffer(blobRecord.begin(), blobRecord.end() - 1), ERROR_BAD_LENGTH,
       ReadFailure::Truncated, 0, 0},
      {"length beyond 32 bits", concat(pageRecord, overflow), ERROR_BAD_LENGTH,
       ReadFailure::LengthOverflow, 17, 1},
  };
  for (const Case& c : cases) {
    const Buffer file = concat(header(5, 0), c.stream);
    for (std::size_t piece : {std::size_t{1}, file.size()}) {
      Pass r = readInSmallPieces(file, piece);
      EXPECT_EQ(r.result, 0u) << c.name;
      EXPECT_EQ(r.lastError, c.lastError) << c.name;
      EXPECT_EQ(r.error.kind, c.failure) << c.name;
      EXPECT_EQ(r.error.streamOffset, c.offset) << c.name;
      EXPECT_EQ(r.seen.records.size(), c.recordsBefore) << c.name;
      EXPECT_EQ(r.seen.finishes, 1) << c.name;
      EXPECT_TRUE(r.seen.failedAtFinish) << c.name;
    }
  }
}

TEST(RecordReader, FailuresAreSticky) {
  MetaFileBuilder start;
  start.documentStart();
  for (const Buffer& bad : {Buffer{3}, start.stream()}) {
    Collector seen;
    seen.failOn = code::kDocumentStart;
    RecordReader reader;
    ASSERT_TRUE(reader.begin(kSet, &seen));
    ASSERT_TRUE(reader.feed(header(5, 0)));
    EXPECT_FALSE(reader.feed(bad));
    const ReadFailure first = reader.error().kind;
    EXPECT_FALSE(reader.feed(start.stream()));
    EXPECT_EQ(reader.lastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(reader.error().kind, first);
    EXPECT_EQ(reader.end(), 0u);
    EXPECT_EQ(seen.finishes, 1);
  }
}

TEST(RecordReader, HandlerFailureStopsThePass) {
  MetaFileBuilder b = everyCode();
  Collector seen;
  seen.failOn = code::kTextRun;
  RecordReader reader;
  ASSERT_TRUE(reader.begin(kSet, &seen));
  EXPECT_FALSE(reader.feed(plainFile(b)));
  EXPECT_EQ(reader.end(), 0u);
  EXPECT_EQ(reader.error().kind, ReadFailure::HandlerFailed);
  EXPECT_EQ(reader.error().code, code::kTextRun);
  EXPECT_EQ(seen.records.back().code, code::kTextRun);
  EXPECT_EQ(seen.finishes, 1);
}

TEST(RecordReader, LongRecordsGrowTheBufferOnlyAsBytesArrive) {
  // A record larger than the initial buffer, fed a byte at a time: the buffer
  // ends exactly as large as the record, and the next record reuses it.
  MetaFileBuilder b;
  b.blob(1, Buffer(10000, 0x33));
  b.blob(2, Buffer(5000, 0x44));
  Pass p = readInSmallPieces(plainFile(b), 1);
  ASSERT_EQ(p.result, 1u);
  ASSERT_EQ(p.seen.records.size(), 2u);
  EXPECT_EQ(p.seen.records[0].bytes.size(), 10036u);
  EXPECT_EQ(p.seen.records[1].bytes.size(), 5036u);

  RecordReader reader;
  Collector seen;
  ASSERT_TRUE(reader.begin(kSet, &seen));
  const Buffer file = plainFile(b);
  for (std::uint8_t byte : file) reader.feed(Bytes(&byte, 1));
  EXPECT_EQ(reader.bufferCapacity(), 10036u);

  // A record that claims 2 GiB but brings 100 bytes never costs more than
  // the bytes it brought, and fails when the input ends.
  ASSERT_TRUE(reader.begin(kSet, &seen));
  MetaFileBuilder claim;
  claim.blob(1, Buffer(100, 1));
  Buffer lying = claim.stream();
  writeU32(MutableBytes(lying).subspan(1), 32, 0x7FFFFFFF);
  lying = concat(header(5, 0), lying);
  for (std::size_t at = 0; at < lying.size(); at += 10) {
    EXPECT_TRUE(
        reader.feed(Bytes(lying).subspan(at, std::min<std::size_t>(10, lying.size() - at))));
  }
  EXPECT_EQ(reader.bufferCapacity(), RecordReader::kInitialBufferSize);
  EXPECT_EQ(reader.end(), 0u);
  EXPECT_EQ(reader.lastError(), ERROR_BAD_LENGTH);

  // The same in a compressed body, where long records are inflated straight
  // into the buffer: it stays within twice what arrived.
  MetaFileBuilder big;
  big.blob(1, Buffer(10000, 1));
  Buffer stream = big.stream();
  writeU32(MutableBytes(stream).subspan(1), 32, 0x7FFFFFFF);
  MetaFileBuilder wrapped;
  wrapped.raw(stream);
  const Buffer compressed = compressedFile(wrapped);
  ASSERT_TRUE(reader.begin(kSet, &seen));
  for (std::size_t at = 0; at < compressed.size(); at += 7) {
    reader.feed(Bytes(compressed).subspan(at, std::min<std::size_t>(7, compressed.size() - at)));
  }
  EXPECT_LE(reader.bufferCapacity(), 2 * stream.size());
  EXPECT_EQ(reader.end(), 0u);
  EXPECT_EQ(reader.error().kind, ReadFailure::Truncated);
}

TEST(RecordReader, CompressedBodyFailuresAndTrailingBytes) {
  MetaFileBuilder b = everyCode(3000);
  const Buffer good = compressedFile(b);
  const Pass expected = read(good);
  ASSERT_EQ(expected.result, 1u);

  Pass trailing = read(concat(good, Buffer(100, 0xEE)));
  EXPECT_EQ(trailing.result, 1u);
  EXPECT_EQ(trailing.seen.records, expected.seen.records);

  for (std::size_t cut : {std::size_t{1}, std::size_t{4}, good.size() / 2}) {
    Pass p = readInSmallPieces(Buffer(good.begin(), good.end() - cut), 100);
    EXPECT_EQ(p.result, 0u) << "cut " << cut;
    EXPECT_EQ(p.error.kind, ReadFailure::InflateTruncated) << "cut " << cut;
  }

  Pass empty = read(header(5, 1));
  EXPECT_EQ(empty.result, 0u);
  EXPECT_EQ(empty.error.kind, ReadFailure::InflateTruncated);

  Buffer corrupt = good;
  corrupt[kLongHeaderSize] ^= 0xFF;  // the zlib header's check fails
  Pass p = read(corrupt);
  EXPECT_EQ(p.result, 0u);
  EXPECT_EQ(p.error.kind, ReadFailure::InflateCorrupt);
  EXPECT_TRUE(p.seen.records.empty());
}

TEST(RecordReader, MisuseIsRefused) {
  RecordReader reader;
  EXPECT_FALSE(reader.feed(header(5, 0)));
  EXPECT_EQ(reader.lastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(reader.end(), 0u);

  Collector seen;
  ASSERT_TRUE(reader.begin(kSet, &seen));
  ASSERT_TRUE(reader.feed(header(1, 0)));
  EXPECT_EQ(reader.end(), 1u);
  EXPECT_FALSE(reader.feed(header(1, 0)));
  EXPECT_EQ(reader.end(), 0u);
  EXPECT_EQ(seen.finishes, 1);

  const RecordSetEntry badLength[] = {{6, 10, 8, nullptr}, {}};
  EXPECT_FALSE(reader.begin(RecordSet{badLength}, &seen));
  EXPECT_EQ(reader.error().kind, ReadFailure::BadRecordSet);

  // A table of the pass's own: codes missing from it are unknown to it, and
  // without its end entry a 0x00 byte is not a filler either.
  const RecordSetEntry onlyPages[] = {{4, 16, kNoLengthField, collect}};
  for (const Buffer& stream : {Buffer{6}, Buffer{0}}) {
    ASSERT_TRUE(reader.begin(RecordSet{onlyPages}, &seen));
    EXPECT_FALSE(reader.feed(concat(header(5, 0), stream)));
    EXPECT_EQ(reader.lastError(), ERROR_BAD_COMMAND);
    reader.end();
  }
}

}  // namespace
}  // namespace spool
