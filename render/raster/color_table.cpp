#include "render/raster/color_table.h"

#include <algorithm>

bool ColorTablesEqual(const ColorTable& a, const ColorTable& b) {
  if (a.count != b.count) return false;
  const uint32_t n = std::min(a.count, ColorTable::kMaxEntries);
  return std::equal(a.entries.begin(), a.entries.begin() + n, b.entries.begin());
}

void CopyLogPaletteEntries(const PaletteEntry* entries, uint32_t count, ColorTable& out) {
  out = ColorTable{};
  out.count = std::min(count, ColorTable::kMaxEntries);
  for (uint32_t i = 0; i < out.count; ++i)
    out.entries[i] = PackRgb(entries[i].red, entries[i].green, entries[i].blue);
}

void BuildColorCube(ColorTable& out) {
  out = ColorTable{};
  uint32_t n = 0;
  for (uint32_t b = 0; b < 6; ++b)
    for (uint32_t g = 0; g < 6; ++g)
      for (uint32_t r = 0; r < 6; ++r) out.entries[n++] = PackRgb(r * 51, g * 51, b * 51);
  out.count = n;
}
