// FreeType as the judge: every used character must come out of the subset
// with the same glyph, the same outline and, hinted at two sizes, the same
// bitmap as from the original font; unused characters must map to nothing.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "subset/subset.h"
#include "testing_font.h"

namespace subset {
namespace {

using testing::ByteVector;

struct LibraryDeleter {
  void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
struct FaceDeleter {
  void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using Library = std::unique_ptr<std::remove_pointer_t<FT_Library>, LibraryDeleter>;
using Face = std::unique_ptr<std::remove_pointer_t<FT_Face>, FaceDeleter>;

Face openFace(FT_Library library, const ByteVector& bytes) {
  FT_Face face = nullptr;
  if (FT_New_Memory_Face(library, bytes.data(), static_cast<FT_Long>(bytes.size()), 0, &face) !=
      0) {
    return nullptr;
  }
  return Face(face);
}

struct Outline {
  std::vector<FT_Vector> points;
  std::vector<char> tags;
  std::vector<short> contours;
  FT_Pos advance = 0;
};

Outline outlineOf(FT_Face face, FT_UInt glyph) {
  Outline out;
  EXPECT_EQ(FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING), 0);
  const FT_Outline& o = face->glyph->outline;
  out.points.assign(o.points, o.points + o.n_points);
  out.tags.assign(o.tags, o.tags + o.n_points);
  out.contours.assign(o.contours, o.contours + o.n_contours);
  out.advance = face->glyph->advance.x;
  return out;
}

struct Bitmap {
  int left = 0, top = 0;
  unsigned width = 0, rows = 0;
  std::vector<unsigned char> pixels;
  bool operator==(const Bitmap&) const = default;
};

Bitmap bitmapOf(FT_Face face, FT_UInt glyph, FT_UInt pixels) {
  Bitmap out;
  EXPECT_EQ(FT_Set_Pixel_Sizes(face, 0, pixels), 0);
  EXPECT_EQ(FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT | FT_LOAD_RENDER), 0);
  const FT_Bitmap& b = face->glyph->bitmap;
  out.left = face->glyph->bitmap_left;
  out.top = face->glyph->bitmap_top;
  out.width = b.width;
  out.rows = b.rows;
  for (unsigned row = 0; row < b.rows; ++row) {
    const unsigned char* line = b.buffer + static_cast<std::ptrdiff_t>(row) * b.pitch;
    out.pixels.insert(out.pixels.end(), line, line + b.width);
  }
  return out;
}

TEST(Render, SubsetsDrawEveryUsedCharacterExactlyAsTheOriginal) {
  FT_Library raw = nullptr;
  ASSERT_EQ(FT_Init_FreeType(&raw), 0);
  Library library(raw);

  struct Case {
    std::string font;
    std::u16string text;
    std::u16string unused;
  };
  const Case cases[] = {
      {testing::kDejaVuSans, u"The quick brown fox, 0123456789!", u"ZXJ"},
      {testing::kDejaVuSans, u"Crème brûlée à la façade: Ǆǅŉ ÿ ΩЖ", u"ZÉ"},
      {testing::kLiberationSans, u"Ångström naïve Ærø żółć Ѐ", u"Qq"},
      {testing::kLiberationSerifBold, u"ABCabc xyz", u"DEFd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.font);
    const ByteVector input = testing::readFile(c.font);
    std::vector<std::uint16_t> codes(c.text.begin(), c.text.end());
    Result result = subsetFont(input, codes);
    ASSERT_TRUE(result) << refusalText(result.refusal);
    Face original = openFace(library.get(), input);
    Face subset = openFace(library.get(), result.subset->font);
    ASSERT_TRUE(original && subset);
    for (char16_t ch : c.text) {
      SCOPED_TRACE(static_cast<int>(ch));
      const FT_UInt glyph = FT_Get_Char_Index(original.get(), ch);
      ASSERT_NE(glyph, 0u);
      ASSERT_EQ(FT_Get_Char_Index(subset.get(), ch), glyph);
      const Outline a = outlineOf(original.get(), glyph);
      const Outline b = outlineOf(subset.get(), glyph);
      EXPECT_EQ(a.contours, b.contours);
      EXPECT_EQ(a.tags, b.tags);
      EXPECT_EQ(a.advance, b.advance);
      ASSERT_EQ(a.points.size(), b.points.size());
      for (std::size_t i = 0; i < a.points.size(); ++i) {
        EXPECT_TRUE(a.points[i].x == b.points[i].x && a.points[i].y == b.points[i].y) << i;
      }
      for (FT_UInt pixels : {13u, 40u}) {
        EXPECT_EQ(bitmapOf(original.get(), glyph, pixels), bitmapOf(subset.get(), glyph, pixels))
            << pixels << " px";
      }
    }
    for (char16_t ch : c.unused) {
      EXPECT_NE(FT_Get_Char_Index(original.get(), ch), 0u);
      EXPECT_EQ(FT_Get_Char_Index(subset.get(), ch), 0u) << static_cast<int>(ch);
    }
  }
}

}  // namespace
}  // namespace subset
