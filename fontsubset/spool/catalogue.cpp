#include "spool/catalogue.h"

#include <array>

namespace spool {
namespace {

constexpr std::array<CatalogueEntry, 40> kCatalogue = {{
    {1, "document start", 20, kNoLengthField},
    {2, "document end", 4, kNoLengthField},
    {4, "page start", 16, kNoLengthField},
    {5, "record 5", 0, kNoLengthField},
    {6, "text run", 60, 56},
    {7, "record 7", 0, kNoLengthField},
    {8, "record 8", 0, kNoLengthField},
    {9, "record 9", 20, kNoLengthField},
    {10, "record 10", 16, kNoLengthField},
    {11, "record 11", 36, kNoLengthField},
    {12, "record 12", 8, kNoLengthField},
    {13, "record 13", 8, kNoLengthField},
    {14, "record 14", 24, kNoLengthField},
    {15, "record 15", 0, kNoLengthField},
    {16, "record 16", 4, kNoLengthField},
    {17, "record 17", 4, kNoLengthField},
    {18, "record 18", 0, kNoLengthField},
    {19, "record 19", 4, kNoLengthField},
    {20, "record 20", 32, 28},
    {21, "record 21", 44, 40},
    {22, "record 22", 8, kNoLengthField},
    {23, "record 23", 4, kNoLengthField},
    {24, "record 24", 4, kNoLengthField},
    {25, "record 25", 8, kNoLengthField},
    {26, "record 26", 4, kNoLengthField},
    {27, "record 27", 8, kNoLengthField},
    {28, "record 28", 8, 4},
    {29, "short font file", 24, 20},
    {30, "font file", 28, 24},
    {31, "blob definition", 36, 32},
    {32, "long blob definition", 48, 44},
    {33, "text object definition", 64, 60},
    {34, "object replay", 4, kNoLengthField},
    {35, "object delete", 4, kNoLengthField},
    {36, "font object definition", 32, 28},
    {37, "processing marker", 8, kNoLengthField},
    {38, "record 38", 28, kNoLengthField},
    {39, "point list definition", 12, 8},
    {40, "object replay at offset", 12, kNoLengthField},
    {41, "object group definition", 12, 8},
}};

constexpr std::array<const CatalogueEntry*, 256> makeIndex() {
  std::array<const CatalogueEntry*, 256> index{};
  for (const CatalogueEntry& e : kCatalogue) index[e.code] = &e;
  return index;
}
constexpr auto kIndex = makeIndex();

}  // namespace

std::span<const CatalogueEntry> catalogue() { return kCatalogue; }

const CatalogueEntry* findCatalogueEntry(std::uint8_t code) { return kIndex[code]; }

}  // namespace spool
