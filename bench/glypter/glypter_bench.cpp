// The plug-in on a large document against the zlib work it cannot avoid.
//
// A compressed printer meta file of about TARGET MiB (drawing records, text
// in twenty embedded TrueType fonts, font objects, text objects and groups
// replayed, blobs) is made from a description, as `pmftool build` makes it.
// Then, in one run: SubmitDocA of the built Glypter.so on a fresh copy, and
// as the floor the zlib work alone on the same body: inflate for the scan,
// inflate again and deflate at level 6 for the rewrite, with the plug-in's
// window sizes. Both times are printed with their ratio, for wall and
// processor time, and the peak of the plug-in's heap for the file and for one
// twice as large with the same fonts.
//
//   glypter_bench [TARGET_MIB] [ROUNDS]
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "platform/system.h"
#include "spool/description.h"
#include "spool/header.h"

// ---- the heap's high-water mark, through every operator new of the process,
// the plug-in's included (zlib's own few hundred KiB of state are not counted)

namespace {
std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};
constexpr std::size_t kHeader = 16;

void* allocate(std::size_t size) {
  void* raw = std::malloc(size + kHeader);
  if (raw == nullptr) return nullptr;
  *static_cast<std::size_t*>(raw) = size;
  const std::size_t now = liveBytes += size;
  std::size_t peak = peakBytes.load();
  while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(raw) + kHeader;
}

void release(void* p) {
  if (p == nullptr) return;
  void* raw = static_cast<char*>(p) - kHeader;
  liveBytes -= *static_cast<std::size_t*>(raw);
  std::free(raw);
}
}  // namespace

void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }

namespace {

namespace fs = std::filesystem;
using Buffer = std::vector<std::uint8_t>;
using SubmitDocA = std::int32_t (*)(const char*, const char*, std::int32_t, std::int32_t);

const char* const kFonts[] = {
    "dejavu/DejaVuSans.ttf",
    "dejavu/DejaVuSans-Bold.ttf",
    "dejavu/DejaVuSerif.ttf",
    "dejavu/DejaVuSerif-Italic.ttf",
    "dejavu/DejaVuSansMono.ttf",
    "dejavu/DejaVuSansCondensed.ttf",
    "liberation/LiberationSans-Regular.ttf",
    "liberation/LiberationSans-Bold.ttf",
    "liberation/LiberationSerif-Regular.ttf",
    "liberation/LiberationSerif-Bold.ttf",
    "liberation/LiberationMono-Regular.ttf",
    "liberation/LiberationSansNarrow-Regular.ttf",
    "freefont/FreeSans.ttf",
    "freefont/FreeSansBold.ttf",
    "freefont/FreeSerif.ttf",
    "freefont/FreeSerifItalic.ttf",
    "freefont/FreeMono.ttf",
    "freefont/FreeMonoBold.ttf",
    "dejavu/DejaVuMathTeXGyre.ttf",
    "liberation/LiberationSerif-Italic.ttf",
};
constexpr int kFontCount = static_cast<int>(std::size(kFonts));

// A document of `pages` pages. Each page selects fonts (the first time with
// their data, later by name or by replaying their font object), draws lines
// of text directly and through replayed text objects and groups, and carries
// drawing records, a point list and blobs: some like scanned images (random,
// they resist deflate) and some like fills (a pattern).
std::string description(int pages) {
  std::string d = "header compressed=1\nstart\n";
  d.reserve(static_cast<std::size_t>(pages) * 6000);
  std::uint32_t id = 1000;
  for (int f = 0; f < kFontCount; ++f) {
    d += "font /usr/share/fonts/truetype/" + std::string(kFonts[f]) +
         " code=36 id=" + std::to_string(f + 1) + " name=\"F" + std::to_string(f) + "\"\n";
  }
  for (int page = 0; page < pages; ++page) {
    d += "page\n";
    for (int k = 0; k < 4; ++k) {
      const int f = (page * 3 + k * 5) % kFontCount;
      if (k % 2 == 0) {
        d += "font /usr/share/fonts/truetype/" + std::string(kFonts[f]) + " name=\"F" +
             std::to_string(f) + "\" nodata\n";
      } else {
        d += "replay id=" + std::to_string(f + 1) + "\n";
      }
      for (int line = 0; line < 12; ++line) {
        d += "text \"Line " + std::to_string(line) + " of page " + std::to_string(page) +
             ": the quick brown fox jumps over the lazy dog\" items=4\n";
        d += "record 20 var=24\nrecord 12\nrecord 9\n";
      }
      d += "text codes=" + std::to_string(100 + page % 60) + ",20AC," +
           std::to_string(3000 + page % 9) + "\n";
    }
    const std::uint32_t text = id++, group = id++, points = id++, image = id++, fill = id++;
    d +=
        "textobj id=" + std::to_string(text) + " \"Header of page " + std::to_string(page) + "\"\n";
    d += "points id=" + std::to_string(points) + " count=64\n";
    d += "group id=" + std::to_string(group) + " entries=" + std::to_string(text) + ":0:0," +
         std::to_string(points) + ":5:5 replay\n";
    d += "replay id=" + std::to_string(group) + "\nreplay id=" + std::to_string(text) + " at=3,4\n";
    d += "blob id=" + std::to_string(image) + " size=98304 random\n";
    d += "blob id=" + std::to_string(fill) + " size=65536\n";
    d += "blob id=" + std::to_string(image) + " reuse\n";
    for (std::uint32_t gone : {text, group, points, image, fill}) {
      d += "delete id=" + std::to_string(gone) + "\n";
    }
  }
  return d + "end\n";
}

Buffer buildFile(int pages) {
  auto load = [](const std::string& path, Buffer& data, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (data.empty()) error = "cannot read " + path;
    return !data.empty();
  };
  Buffer file;
  spool::DescriptionError error;
  if (!spool::buildFromDescription(description(pages), load, file, error)) {
    std::fprintf(stderr, "description line %d: %s\n", error.line, error.message.c_str());
    std::exit(1);
  }
  return file;
}

void writeFile(const fs::path& path, const Buffer& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

struct Times {
  double wall = 0;
  double cpu = 0;
};

template <typename F>
Times timed(F&& f) {
  const auto wall0 = std::chrono::steady_clock::now();
  const std::clock_t cpu0 = std::clock();
  f();
  Times t;
  t.cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
  t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  return t;
}

// The zlib work of both passes on the body, with the plug-in's 16 KiB input
// chunks and 4 KiB windows; the output is dropped.
std::uint64_t zlibFloor(const Buffer& file) {
  std::uint64_t deflated = 0;
  std::vector<std::uint8_t> window(4096), out(4096);
  for (int pass = 0; pass < 2; ++pass) {
    z_stream in{};
    inflateInit(&in);
    z_stream def{};
    if (pass == 1) deflateInit(&def, 6);
    int rc = Z_OK;
    for (std::size_t at = spool::kLongHeaderSize; at < file.size() && rc != Z_STREAM_END;
         at += 16384) {
      in.next_in = const_cast<Bytef*>(file.data() + at);
      in.avail_in = static_cast<uInt>(std::min<std::size_t>(16384, file.size() - at));
      do {
        in.next_out = window.data();
        in.avail_out = static_cast<uInt>(window.size());
        rc = inflate(&in, Z_NO_FLUSH);
        if (pass == 1) {
          def.next_in = window.data();
          def.avail_in = static_cast<uInt>(window.size() - in.avail_out);
          do {
            def.next_out = out.data();
            def.avail_out = static_cast<uInt>(out.size());
            deflate(&def, Z_NO_FLUSH);
            deflated += out.size() - def.avail_out;
          } while (def.avail_out == 0);
        }
      } while (rc == Z_OK && in.avail_out == 0);
    }
    inflateEnd(&in);
    if (pass == 1) {
      int end = Z_OK;
      while (end != Z_STREAM_END) {
        def.next_out = out.data();
        def.avail_out = static_cast<uInt>(out.size());
        end = deflate(&def, Z_FINISH);
        deflated += out.size() - def.avail_out;
      }
      deflateEnd(&def);
    }
  }
  return deflated;
}

}  // namespace

int main(int argc, char** argv) {
  const int targetMiB = argc > 1 ? std::atoi(argv[1]) : 50;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;

  std::unique_ptr<platform::Library> library;
  if (platform::nativeSystem().libraries.load(GLYPTER_LIBRARY_PATH, library) != 0) {
    std::fprintf(stderr, "cannot load %s\n", GLYPTER_LIBRARY_PATH);
    return 1;
  }
  const auto submitDoc = library->function<SubmitDocA>("SubmitDocA");

  const fs::path folder =
      fs::temp_directory_path() / ("glypter-bench-" + std::to_string(std::random_device{}()));
  fs::create_directories(folder);

  // About 100 KiB of compressed body per page, most of it in the image blobs.
  const int pages = std::max(1, targetMiB * 10);
  for (int scale : {1, 2}) {
    const Buffer file = buildFile(pages * scale);
    const fs::path original = folder / "original.pmf";
    writeFile(original, file);
    std::printf("file: %.1f MiB compressed, %d pages, %d fonts\n", file.size() / 1048576.0,
                pages * scale, kFontCount);

    std::vector<double> glypterWall, glypterCpu, floorWall, floorCpu;
    std::size_t peak = 0;
    std::uintmax_t after = 0;
    for (int round = 0; round < (scale == 1 ? rounds : 1); ++round) {
      const fs::path copy = folder / "copy.pmf";
      fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
      const std::size_t base = liveBytes.load();
      peakBytes = base;
      int result = 0;
      const Times g = timed([&] { result = submitDoc(nullptr, copy.c_str(), -1, 0); });
      peak = std::max(peak, peakBytes.load() - base);
      if (result != 1) {
        std::fprintf(stderr, "SubmitDocA failed\n");
        return 1;
      }
      after = fs::file_size(copy);
      std::uint64_t deflated = 0;
      const Times z = timed([&] { deflated = zlibFloor(file); });
      if (deflated == 0) return 1;
      glypterWall.push_back(g.wall);
      glypterCpu.push_back(g.cpu);
      floorWall.push_back(z.wall);
      floorCpu.push_back(z.cpu);
    }
    auto median = [](std::vector<double> v) {
      std::sort(v.begin(), v.end());
      return v[v.size() / 2];
    };
    const double gw = median(glypterWall), gc = median(glypterCpu);
    const double zw = median(floorWall), zc = median(floorCpu);
    std::printf("  shrunk to %.1f MiB\n", after / 1048576.0);
    std::printf("  SubmitDocA   wall %.3f s  cpu %.3f s\n", gw, gc);
    std::printf("  zlib floor   wall %.3f s  cpu %.3f s\n", zw, zc);
    std::printf("  ratio        wall %.3f    cpu %.3f   (goal <= 1.10)\n", gw / zw, gc / zc);
    std::printf("  peak heap of SubmitDocA: %.1f MiB\n", peak / 1048576.0);
  }
  fs::remove_all(folder);
  return 0;
}
