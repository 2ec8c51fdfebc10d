// Reads a ~50 MiB compressed printer meta file with the record reader (no-op
// handlers, 16 KiB input chunks as the plug-in feeds it) and inflates the same
// body with bare zlib, in the same run, and prints both throughputs and their
// ratio. The file is made here, from real fonts, text and semi-compressible
// blobs, so no data has to be kept.
//
//   metafile_bench [TARGET_MIB] [ROUNDS]
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "spool/description.h"
#include "spool/record_reader.h"

namespace {

using Buffer = std::vector<std::uint8_t>;

// Processor time, not wall time: the machines we measure on are shared, and
// the question is what the reader costs, not how busy the neighbours are.
double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

Buffer readFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Buffer(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Bytes like those of a scanned image: runs and a small alphabet, so that
// deflate takes them to roughly half.
Buffer imageLike(std::uint32_t seed, std::size_t size) {
  Buffer b(size);
  std::uint64_t x = 0x2545F4914F6CDD1Dull ^ seed;
  std::size_t i = 0;
  while (i < size) {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    std::size_t run = 1 + ((x >> 60) & 3);
    std::uint8_t value = static_cast<std::uint8_t>((x >> 33) & 0x3F);
    for (std::size_t k = 0; k < run && i < size; ++k) b[i++] = value;
  }
  return b;
}

Buffer makeFile(std::size_t targetCompressed) {
  const Buffer fonts[] = {readFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"),
                          readFile("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf")};
  spool::MetaFileBuilder b;
  b.documentStart();
  std::uint32_t id = 1;
  // The mix deflates to a little under half; stop when the stream should
  // deflate to about the target.
  const std::size_t streamTarget = targetCompressed * 21 / 10;
  for (std::uint32_t page = 0; b.stream().size() < streamTarget; ++page) {
    b.pageStart();
    if (page % 8 == 0) {
      spool::FontSpec f;
      f.name = page % 16 == 0 ? "DejaVu Sans" : "DejaVu Serif";
      f.data = fonts[page % 16 == 0 ? 0 : 1];
      b.fontFile(f);
    }
    for (int line = 0; line < 60; ++line) {
      std::string text = "Line " + std::to_string(line) + " of page " + std::to_string(page) +
                         ": the quick brown fox jumps over the lazy dog";
      b.textRun({text, {}, false, static_cast<std::uint32_t>(text.size() / 4)});
      b.record(20, Buffer(24, static_cast<std::uint8_t>(line)));
      b.record(12);
    }
    b.blob(id, imageLike(id, 96 * 1024));
    b.replay(id++);
    b.pointList(id++, 0, 200);
  }
  b.documentEnd();
  spool::MetaFileHeader h;
  h.compressed = 1;
  return b.file(h);
}

bool noop(spool::RecordReader&, const spool::Record&) { return true; }

double readerSeconds(const Buffer& file, std::uint64_t& streamBytes) {
  static const spool::RecordSetTable table(noop);
  spool::RecordReader reader;
  const double start = cpuSeconds();
  reader.begin(spool::RecordSet{table.entries()});
  for (std::size_t at = 0; at < file.size(); at += 16384) {
    reader.feed(spool::Bytes(file.data() + at, std::min<std::size_t>(16384, file.size() - at)));
  }
  if (reader.end() == 0) {
    std::fprintf(stderr, "reader failed: %s\n", spool::describe(reader.error()).c_str());
    std::exit(1);
  }
  streamBytes = reader.inputByteCount();
  return cpuSeconds() - start;
}

double inflateSeconds(const Buffer& file, std::size_t window, std::uint64_t& out) {
  Buffer buffer(window);
  const double start = cpuSeconds();
  z_stream z{};
  inflateInit(&z);
  out = 0;
  int rc = Z_OK;
  for (std::size_t at = spool::kLongHeaderSize; at < file.size() && rc != Z_STREAM_END;
       at += 16384) {
    z.next_in = const_cast<Bytef*>(file.data() + at);
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(16384, file.size() - at));
    do {
      z.next_out = buffer.data();
      z.avail_out = static_cast<uInt>(buffer.size());
      rc = inflate(&z, Z_NO_FLUSH);
      out += buffer.size() - z.avail_out;
    } while (rc == Z_OK && z.avail_out == 0);
  }
  inflateEnd(&z);
  return cpuSeconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t targetMiB = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  const Buffer file = makeFile(targetMiB << 20);
  std::uint64_t streamBytes = 0, inflated = 0, inflated4k = 0;
  std::vector<double> reader, bare, bare4k;
  for (int i = 0; i < rounds; ++i) {
    reader.push_back(readerSeconds(file, streamBytes));
    bare.push_back(inflateSeconds(file, 65536, inflated));
    bare4k.push_back(inflateSeconds(file, 4096, inflated4k));
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const double r = median(reader), b = median(bare), b4 = median(bare4k);
  const double mib = static_cast<double>(file.size()) / (1 << 20);
  std::printf(
      "file: %.1f MiB compressed, %.1f MiB of records (%llu inflated), %d rounds, medians of "
      "processor time\n",
      mib, static_cast<double>(streamBytes) / (1 << 20), static_cast<unsigned long long>(inflated),
      rounds);
  std::printf("record reader (no-op handlers):    %8.1f MiB/s of file  %7.3f s\n", mib / r, r);
  std::printf("bare inflate, 64 KiB output:       %8.1f MiB/s of file  %7.3f s\n", mib / b, b);
  std::printf("bare inflate, 4 KiB output:        %8.1f MiB/s of file  %7.3f s\n", mib / b4, b4);
  std::printf("ratio reader / bare inflate (64 KiB): %.3f  (goal <= 1.15)\n", r / b);
  std::printf("ratio reader / bare inflate (4 KiB):  %.3f\n", r / b4);
  return 0;
}
