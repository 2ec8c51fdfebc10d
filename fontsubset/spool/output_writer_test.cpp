#include "spool/output_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

namespace spool {
namespace {

using Buffer = std::vector<std::uint8_t>;

// Records the size of every write it is given; refuses from `failFrom` on.
class RecordingSink final : public ByteSink {
 public:
  explicit RecordingSink(std::size_t failFrom = SIZE_MAX) : failFrom_(failFrom) {}
  bool write(Bytes bytes) override {
    if (writes.size() >= failFrom_) return false;
    writes.push_back(bytes.size());
    data.insert(data.end(), bytes.begin(), bytes.end());
    return true;
  }
  std::vector<std::size_t> writes;
  Buffer data;

 private:
  std::size_t failFrom_;
};

Buffer pattern(std::size_t size, std::uint32_t seed) {
  Buffer b(size);
  std::uint32_t x = seed;
  for (auto& byte : b) {
    x = x * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(x >> 24);
  }
  return b;
}

Buffer inflateAll(Bytes body) {
  z_stream z{};
  EXPECT_EQ(inflateInit(&z), Z_OK);
  Buffer out(1 << 20);
  Buffer result;
  z.next_in = const_cast<Bytef*>(body.data());
  z.avail_in = static_cast<uInt>(body.size());
  int rc;
  do {
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    rc = inflate(&z, Z_NO_FLUSH);
    result.insert(result.end(), out.data(), out.data() + (out.size() - z.avail_out));
  } while (rc == Z_OK);
  EXPECT_EQ(rc, Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u);
  inflateEnd(&z);
  return result;
}

TEST(OutputWriter, GathersSmallWritesAndPassesLargeOnesThrough) {
  struct Case {
    std::vector<std::size_t> writes;
    std::vector<std::size_t> sinkWrites;  // after a final flush
  };
  const Case cases[] = {
      {{100, 200}, {300}},
      {{4096}, {4096}},                  // fits exactly
      {{4000, 200}, {4000, 200}},        // does not fit: pending out, rest gathered
      {{10, 3000, 2000}, {3010, 2000}},  // more than 1,024 left: straight out
      {{100, 5000}, {100, 4096, 904}},   // blocks of 4,096, at most 1,024 kept
      {{9000}, {4096, 4096, 808}},
      {{3000, 1025}, {4025}},  // fits: gathered whatever its size
      {{3100, 1025}, {3100, 1025}},
      {{3100, 1024, 10}, {3100, 1034}},  // 1,024 left: gathered
      {{3000, 1100, 10}, {3000, 1100, 10}},
      {{0, 0}, {}},
  };
  for (const Case& c : cases) {
    RecordingSink sink;
    OutputWriter writer(sink);
    Buffer expected;
    std::uint32_t seed = 1;
    for (std::size_t size : c.writes) {
      Buffer bytes = pattern(size, seed++);
      ASSERT_TRUE(writer.write(bytes));
      expected.insert(expected.end(), bytes.begin(), bytes.end());
    }
    ASSERT_TRUE(writer.flush());
    EXPECT_EQ(sink.writes, c.sinkWrites) << ::testing::PrintToString(c.writes);
    EXPECT_EQ(sink.data, expected);
    EXPECT_EQ(writer.pending(), 0u);
  }
}

TEST(OutputWriter, CompressesFromTheStartOnAndFinishesTheStream) {
  RecordingSink sink;
  OutputWriter writer(sink);
  const Buffer head = pattern(56, 7);
  ASSERT_TRUE(writer.write(head));
  ASSERT_TRUE(writer.startCompression());
  EXPECT_EQ(sink.data, head);  // the header left uncompressed, at once

  Buffer body;
  for (std::size_t size : {1u, 9u, 1500u, 70000u, 300u, 5000u}) {
    Buffer part = pattern(size, static_cast<std::uint32_t>(size));
    for (std::size_t i = 0; i < part.size(); i += 3) part[i] = 0;  // something to compress
    body.insert(body.end(), part.begin(), part.end());
    ASSERT_TRUE(writer.write(part));
  }
  ASSERT_TRUE(writer.finishCompression());
  EXPECT_FALSE(writer.compressing());
  for (std::size_t w : sink.writes) EXPECT_LE(w, OutputWriter::kWindowSize);
  EXPECT_EQ(Buffer(sink.data.begin(), sink.data.begin() + 56), head);
  EXPECT_EQ(inflateAll(Bytes(sink.data).subspan(56)), body);
}

TEST(OutputWriter, AFailingSinkFailsTheWriteAndEveryLaterOne) {
  // The sink refuses its n-th write; whichever step meets that refusal
  // fails, and the writer stays failed.
  for (std::size_t failFrom : {0u, 1u, 2u, 5u}) {
    RecordingSink sink(failFrom);
    OutputWriter writer(sink);
    bool ok = writer.write(pattern(56, 1)) && writer.startCompression();
    for (int i = 0; ok && i < 20; ++i)
      ok = writer.write(pattern(3000, static_cast<std::uint32_t>(i)));
    ok = ok && writer.finishCompression();
    EXPECT_FALSE(ok) << failFrom;
    EXPECT_TRUE(writer.failed()) << failFrom;
    EXPECT_FALSE(writer.write(pattern(1, 1)));
    EXPECT_FALSE(writer.flush());
  }
}

TEST(OutputWriter, CompressionStepsOutOfOrderFail) {
  RecordingSink sink;
  OutputWriter finishing(sink);
  EXPECT_FALSE(finishing.finishCompression());
  OutputWriter starting(sink);
  EXPECT_TRUE(starting.startCompression());
  EXPECT_FALSE(starting.startCompression());
}

}  // namespace
}  // namespace spool
