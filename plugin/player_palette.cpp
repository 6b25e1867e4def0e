#include "plugin/player_palette.h"

#include <algorithm>

#include "plugin/plugin_player.h"

namespace {

ScreenPaletteInfo (*g_screenInfo)() = nullptr;
CSharedPalette* g_table = nullptr;
bool g_built = false;  // a screen without a palette is examined once
uint32_t g_generation = 0;

ScreenPaletteInfo ScreenInfo() {
  return g_screenInfo ? g_screenInfo() : ScreenPaletteInfo{};
}

}  // namespace

void SetPlayerScreenInfo(ScreenPaletteInfo (*info)()) {
  g_screenInfo = info;
}

CSharedPalette* GetPlayerColorTable() {
  if (g_built) return g_table;
  g_built = true;
  ++g_generation;
  const ScreenPaletteInfo screen = ScreenInfo();
  if (screen.bits_pixel * screen.planes > 8 || screen.system.empty()) return nullptr;
  if (screen.palette_device) {
    LogPalette palette;
    palette.entries = screen.system;
    palette.entries.resize(std::min<size_t>(palette.entries.size(), 256));
    const size_t reserved = static_cast<size_t>(std::max(screen.num_reserved, 0)) / 2;
    for (size_t i = 0; i < palette.entries.size(); ++i) {
      const bool kept = i < reserved || i + reserved >= palette.entries.size();
      palette.entries[i].flags = kept ? 0 : kPaletteNoCollapse;
    }
    g_table = CSharedPalette::CreateFromLogPalette(palette);
  } else {
    ColorTable table;
    CopyLogPaletteEntries(screen.system.data(),
                          static_cast<uint32_t>(std::min<size_t>(screen.system.size(), 256)),
                          table);
    g_table = CSharedPalette::Acquire(table);
  }
  return g_table;
}

uint32_t PlayerColorTableGeneration() {
  return g_generation;
}

void CheckSystemPalette() {
  if (!g_table) return;
  const ScreenPaletteInfo screen = ScreenInfo();
  ColorTable now;
  CopyLogPaletteEntries(screen.system.data(),
                        static_cast<uint32_t>(std::min<size_t>(screen.system.size(), 256)), now);
  if (!ColorTablesEqual(now, g_table->table)) CPluginPlayer::ResetPlayerPalettes();
}

void ReleasePlayerColorTable() {
  CSharedPalette::Release(g_table);
  g_table = nullptr;
  g_built = false;
}
