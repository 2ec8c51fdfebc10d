#include "plan.h"

#include <algorithm>

#include "subset/limits.h"

namespace subset {
namespace {

// Composite flags.
constexpr std::uint16_t kArg1And2AreWords = 0x0001;
constexpr std::uint16_t kWeHaveAScale = 0x0008;
constexpr std::uint16_t kMoreComponents = 0x0020;
constexpr std::uint16_t kWeHaveAnXAndYScale = 0x0040;
constexpr std::uint16_t kWeHaveATwoByTwo = 0x0080;

class Closure {
 public:
  Closure(const InputFont& font, std::vector<std::uint16_t>& kept)
      : font_(font),
        kept_(kept),
        seen_(std::min<std::uint32_t>(font.offsets.glyphCount(), 0x10000), 0) {}

  // Keeps `glyph` and, for a composite, every glyph it is built from, however
  // deep. Each glyph is walked once, so a composite that names itself, directly
  // or through others, ends the walk instead of looping.
  Refusal add(std::uint16_t glyph) {
    if (glyph >= seen_.size()) return Refusal::BadGlyph;
    if (seen_[glyph]) return Refusal::None;
    seen_[glyph] = 1;
    kept_.push_back(glyph);
    pending_.push_back({glyph, 0});
    while (!pending_.empty()) {
      const Pending next = pending_.back();
      pending_.pop_back();
      Refusal refusal = walk(next);
      if (refusal != Refusal::None) return refusal;
    }
    return Refusal::None;
  }

 private:
  struct Pending {
    std::uint16_t glyph;
    int depth;
  };

  Refusal walk(const Pending& item) {
    const sfnt::Bytes data = font_.glyph(item.glyph);
    if (data.empty()) return Refusal::None;
    std::int16_t numberOfContours = 0;
    if (data.size() < kGlyphHeaderSize || !sfnt::readI16(data, 0, numberOfContours)) {
      return Refusal::BadGlyph;
    }
    if (numberOfContours >= 0) return Refusal::None;
    if (item.depth >= kMaxCompositeDepth) return Refusal::BadGlyph;
    sfnt::Reader reader(data, kGlyphHeaderSize);
    std::uint16_t flags = 0;
    do {
      std::uint16_t component = 0;
      if (!reader.u16(flags) || !reader.u16(component)) return Refusal::BadGlyph;
      std::size_t skip = (flags & kArg1And2AreWords) ? 4 : 2;
      if (flags & kWeHaveAScale) {
        skip += 2;
      } else if (flags & kWeHaveAnXAndYScale) {
        skip += 4;
      } else if (flags & kWeHaveATwoByTwo) {
        skip += 8;
      }
      if (!reader.skip(skip)) return Refusal::BadGlyph;
      if (component >= seen_.size()) return Refusal::BadGlyph;
      if (!seen_[component]) {
        seen_[component] = 1;
        kept_.push_back(component);
        pending_.push_back({component, item.depth + 1});
      }
    } while (flags & kMoreComponents);
    return Refusal::None;
  }

  const InputFont& font_;
  std::vector<std::uint16_t>& kept_;
  std::vector<std::uint8_t> seen_;
  std::vector<Pending> pending_;
};

}  // namespace

Refusal mapCharacters(const InputFont& font, std::span<const CharGlyph> characters, bool rebuild,
                      std::vector<CharGlyph>& out) {
  out.clear();
  out.reserve(characters.size());
  const std::uint32_t glyphCount = font.offsets.glyphCount();
  for (const CharGlyph& c : characters) {
    if (rebuild) {
      const std::uint16_t glyph = font.windowsCmap->map.glyphFor(c.code);
      if (glyph == 0) continue;
      // A map that points past the last glyph belongs to a broken font.
      if (glyph >= glyphCount) return Refusal::BadCmap;
      out.push_back({c.code, glyph});
    } else {
      if (c.glyph >= glyphCount) return Refusal::BadArgument;
      out.push_back(c);
    }
  }
  std::sort(out.begin(), out.end(), [](const CharGlyph& a, const CharGlyph& b) {
    return a.code != b.code ? a.code < b.code : a.glyph < b.glyph;
  });
  // A code listed twice would give the new map two segments for one code.
  out.erase(std::unique(out.begin(), out.end()), out.end());
  if (rebuild) {
    out.erase(std::unique(out.begin(), out.end(),
                          [](const CharGlyph& a, const CharGlyph& b) { return a.code == b.code; }),
              out.end());
  }
  return Refusal::None;
}

Refusal closeGlyphs(const InputFont& font, Plan& plan) {
  plan.glyphs.clear();
  plan.glyphs.reserve(plan.characters.size() + 16);
  Closure closure(font, plan.glyphs);
  for (const CharGlyph& c : plan.characters) {
    if (Refusal refusal = closure.add(c.glyph); refusal != Refusal::None) return refusal;
  }
  if (Refusal refusal = closure.add(0); refusal != Refusal::None) return refusal;

  std::uint64_t length = 0;
  for (std::uint16_t glyph : plan.glyphs) length += font.offsets.length(glyph);
  if (length == 0) {
    // An empty glyf table trips up some renderers, so a subset that would have
    // no outline at all keeps the first glyph that has one.
    const std::uint32_t glyphCount = std::min<std::uint32_t>(font.offsets.glyphCount(), 0x10000);
    for (std::uint32_t glyph = 1; glyph < glyphCount; ++glyph) {
      if (font.offsets.length(glyph) == 0) continue;
      if (Refusal refusal = closure.add(static_cast<std::uint16_t>(glyph));
          refusal != Refusal::None) {
        return refusal;
      }
      for (std::uint16_t kept : plan.glyphs) length += font.offsets.length(kept);
      break;
    }
  }
  std::sort(plan.glyphs.begin(), plan.glyphs.end());
  if (length > kMaxFontSize) return Refusal::TooLarge;
  plan.glyfLength = static_cast<std::uint32_t>(length);
  return Refusal::None;
}

}  // namespace subset
