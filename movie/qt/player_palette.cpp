#include "movie/qt/player_palette.h"

#include "movie/player/player_core.h"
#include "platform/qt/screen_hook.h"

bool CreateCubePalette(CPalette& palette, const std::array<uint8_t, 6>& levels) {
  if (!IsPaletteScreen()) return false;
  LogPalette cube;
  for (const uint32_t c : PlayerCubeColors(levels.data()))
    cube.entries.push_back({RedOf(c), GreenOf(c), BlueOf(c), 0});
  return palette.CreatePalette(cube);
}

std::vector<PaletteEntry> PaletteEntries(const CPalette& palette) {
  std::vector<PaletteEntry> entries(static_cast<size_t>(palette.GetEntryCount()));
  palette.GetPaletteEntries(0, static_cast<UINT>(entries.size()), entries.data());
  return entries;
}

bool SystemPaletteHolds(const CPalette& palette) {
  const std::vector<PaletteEntry> entries = PaletteEntries(palette);
  PaletteEntry system[kSystemPaletteSize];
  const UINT n = GetSystemPaletteEntries(0, kSystemPaletteSize, system);
  if (n != entries.size()) return false;
  for (UINT i = 0; i < n; ++i) {
    const PaletteEntry& a = system[i];
    const PaletteEntry& b = entries[i];
    if (a.red != b.red || a.green != b.green || a.blue != b.blue) return false;
  }
  return true;
}
