// Time per subset, ours against HarfBuzz's hb_subset_or_fail with glyph ids
// retained and every table we do not write dropped, so both do comparable
// work. Prints the ratio, the first call of each in this process, the output
// sizes and what our self-check costs. Times are processor time of this
// process, which other programs sharing the machine disturb less than the
// wall clock does.
#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "font.h"
#include "subset/subset.h"
#include "verify.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

double secondsOf(const std::function<void()>& work) {
  const std::clock_t start = std::clock();
  work();
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

// Best of five batches, each long enough to time well.
double steadySeconds(const std::function<void()>& work) {
  int reps = 1;
  while (secondsOf([&] {
           for (int i = 0; i < reps; ++i) work();
         }) < 0.05) {
    reps *= 2;
  }
  double best = 1e9;
  for (int batch = 0; batch < 5; ++batch) {
    best = std::min(best, secondsOf([&] {
                            for (int i = 0; i < reps; ++i) work();
                          }) / reps);
  }
  return best;
}

class HarfBuzz {
 public:
  HarfBuzz(const Bytes& font, const std::vector<std::uint16_t>& codes) {
    blob_ = hb_blob_create(reinterpret_cast<const char*>(font.data()),
                           static_cast<unsigned>(font.size()), HB_MEMORY_MODE_READONLY, nullptr,
                           nullptr);
    face_ = hb_face_create(blob_, 0);
    input_ = hb_subset_input_create_or_fail();
    hb_subset_input_set_flags(input_, HB_SUBSET_FLAGS_RETAIN_GIDS);
    hb_set_t* unicodes = hb_subset_input_unicode_set(input_);
    for (std::uint16_t c : codes) hb_set_add(unicodes, c);
    // Drop every table of the font that our subset leaves out.
    static const char* kKept[] = {"OS/2", "cmap", "cvt ", "fpgm", "glyf", "head", "hhea",
                                  "hmtx", "loca", "maxp", "name", "post", "prep"};
    hb_set_t* drop = hb_subset_input_set(input_, HB_SUBSET_SETS_DROP_TABLE_TAG);
    hb_tag_t tags[64];
    unsigned count = 64;
    hb_face_get_table_tags(face_, 0, &count, tags);
    for (unsigned i = 0; i < count; ++i) {
      bool kept = false;
      for (const char* k : kKept) kept |= tags[i] == hb_tag_from_string(k, 4);
      if (!kept) hb_set_add(drop, tags[i]);
    }
  }
  ~HarfBuzz() {
    hb_subset_input_destroy(input_);
    hb_face_destroy(face_);
    hb_blob_destroy(blob_);
  }
  HarfBuzz(const HarfBuzz&) = delete;
  HarfBuzz& operator=(const HarfBuzz&) = delete;

  // The subset's size, or 0 when it failed.
  std::size_t run() const {
    hb_face_t* result = hb_subset_or_fail(face_, input_);
    if (result == nullptr) return 0;
    hb_blob_t* out = hb_face_reference_blob(result);
    const std::size_t size = hb_blob_get_length(out);
    hb_blob_destroy(out);
    hb_face_destroy(result);
    return size;
  }

 private:
  hb_blob_t* blob_ = nullptr;
  hb_face_t* face_ = nullptr;
  hb_subset_input_t* input_ = nullptr;
};

// The first `count` codes from `candidates` that the font maps, in the
// candidates' order.
std::vector<std::uint16_t> mappedCodes(const Bytes& font,
                                       const std::vector<std::uint16_t>& candidates,
                                       std::size_t count) {
  std::vector<bool> has(0x10000, false);
  // Probed in slices: one subset of every candidate could need more cmap
  // segments than a subset may have.
  constexpr std::size_t kSlice = 2000;
  for (std::size_t at = 0; at < candidates.size(); at += kSlice) {
    const std::size_t n = std::min(kSlice, candidates.size() - at);
    subset::Result probe =
        subset::subsetFont(font, std::span<const std::uint16_t>(candidates.data() + at, n));
    if (!probe) continue;
    for (const auto& c : probe.subset->characters) has[c.code] = true;
  }
  std::vector<std::uint16_t> mapped;
  for (std::uint16_t c : candidates) {
    if (mapped.size() == count) break;
    if (has[c]) {
      mapped.push_back(c);
      has[c] = false;
    }
  }
  return mapped;
}

std::vector<std::uint16_t> rangeOf(std::uint32_t first, std::uint32_t last) {
  std::vector<std::uint16_t> out;
  for (std::uint32_t c = first; c <= last; ++c) out.push_back(static_cast<std::uint16_t>(c));
  return out;
}

std::vector<std::uint16_t> join(std::vector<std::uint16_t> a, const std::vector<std::uint16_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Case {
  const char* label;
  std::vector<std::uint16_t> codes;
};

void bench(const std::string& path, const std::vector<Case>& cases) {
  const Bytes font = readFile(path);
  if (font.empty()) {
    std::printf("%s: missing, skipped\n", path.c_str());
    return;
  }
  std::printf("\n%s (%zu bytes)\n", path.c_str(), font.size());
  std::printf("%-22s %6s %10s %10s %6s %10s %10s %9s %9s %9s\n", "characters", "glyphs", "ours us",
              "hb us", "ratio", "ours 1st", "hb 1st", "ours B", "hb B", "check us");
  for (const Case& c : cases) {
    HarfBuzz harfBuzz(font, c.codes);
    subset::Result first;
    const double oursFirst = secondsOf([&] { first = subset::subsetFont(font, c.codes); });
    std::size_t hbSize = 0;
    const double hbFirst = secondsOf([&] { hbSize = harfBuzz.run(); });
    if (!first || hbSize == 0) {
      std::printf("%-22s failed (ours: %s, hb size %zu)\n", c.label,
                  subset::refusalText(first.refusal), hbSize);
      continue;
    }
    const double ours = steadySeconds([&] { subset::subsetFont(font, c.codes); });
    const double hb = steadySeconds([&] { harfBuzz.run(); });
    std::optional<subset::InputFont> input;
    subset::openFont(font, true, input);
    const subset::Subset& made = *first.subset;
    const double check = steadySeconds(
        [&] { subset::verifySubset(*input, made.font, made.characters, made.glyphs, true); });
    std::printf("%-22s %6zu %10.1f %10.1f %6.2f %10.1f %10.1f %9zu %9zu %9.1f\n", c.label,
                made.glyphs.size(), ours * 1e6, hb * 1e6, ours / hb, oursFirst * 1e6, hbFirst * 1e6,
                made.font.size(), hbSize, check * 1e6);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dejaVu = argc > 1 ? argv[1] : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  const std::string cjk = argc > 2 ? argv[2] : "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

  {
    const Bytes font = readFile(dejaVu);
    const auto latin = join(rangeOf(0x20, 0x7E), rangeOf(0xA0, 0x17F));
    bench(dejaVu, {
                      {"20 Latin", mappedCodes(font, rangeOf(0x41, 0x5A), 20)},
                      {"100 Latin", mappedCodes(font, latin, 100)},
                      {"1000 mixed scripts", mappedCodes(font, rangeOf(0x20, 0xFFFF), 1000)},
                  });
  }
  {
    const Bytes font = readFile(cjk);
    const auto kana = join(rangeOf(0x3041, 0x3096), rangeOf(0x30A1, 0x30FA));
    const auto kanji = rangeOf(0x4E00, 0x9FFF);
    bench(cjk, {
                   {"20 kana", mappedCodes(font, kana, 20)},
                   {"100 kana and kanji", mappedCodes(font, join(kana, kanji), 100)},
                   {"1000 kana and kanji", mappedCodes(font, join(kana, kanji), 1000)},
               });
  }
  return 0;
}
