#include "render/raster/palette.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

CSharedPalette* g_listHead = nullptr;
int g_liveCount = 0;

// The value a cell's nibble stands for: nibble * 16, and 255 for the top one.
constexpr int CellValue(int nibble) {
  return nibble == 15 ? 255 : nibble * 16;
}

}  // namespace

void BuildInverseColorMap(const ColorTable& table, InverseColorMap& map) {
  std::array<uint8_t, 4096> best;
  best.fill(255);
  map.fill(0);
  int remaining = 4096;
  const uint32_t n = std::min(table.count, ColorTable::kMaxEntries);
  for (int radius = 3; radius <= 15 && remaining > 0; ++radius) {
    for (uint32_t j = 0; j < n; ++j) {
      const int c[3] = {RedOf(table.entries[j]), GreenOf(table.entries[j]),
                        BlueOf(table.entries[j])};
      int lo[3], hi[3];
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::max(0, (c[k] >> 4) - radius);
        hi[k] = std::min(15, (c[k] >> 4) + radius);
      }
      for (int r = lo[0]; r <= hi[0]; ++r) {
        const int dr = std::abs(CellValue(r) - c[0]);
        for (int g = lo[1]; g <= hi[1]; ++g) {
          const int drg = dr + std::abs(CellValue(g) - c[1]);
          for (int b = lo[2]; b <= hi[2]; ++b) {
            const int d = std::min(254, drg + std::abs(CellValue(b) - c[2]));
            const int cell = r << 8 | g << 4 | b;
            if (d < best[cell]) {
              if (best[cell] == 255) --remaining;
              best[cell] = static_cast<uint8_t>(d);
              map[cell] = static_cast<uint8_t>(j);
            }
          }
        }
      }
    }
  }
}

CSharedPalette::CSharedPalette() {
  ++g_liveCount;
}
CSharedPalette::~CSharedPalette() {
  --g_liveCount;
}

CSharedPalette* CSharedPalette::Create(const ColorTable& table) {
  LogPalette log;
  try {
    log.entries.resize(std::min(table.count, ColorTable::kMaxEntries));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  for (size_t i = 0; i < log.entries.size(); ++i) {
    const uint32_t c = table.entries[i];
    log.entries[i] = {RedOf(c), GreenOf(c), BlueOf(c), kPaletteNoCollapse};
  }
  auto* p = new (std::nothrow) CSharedPalette;
  if (!p) return nullptr;
  p->refCount = 1;
  p->table = table;
  BuildInverseColorMap(p->table, p->inverseMap);
  p->logPalette = std::move(log);
  return p;
}

CSharedPalette* CSharedPalette::CreateFromLogPalette(const LogPalette& palette) {
  auto* p = new (std::nothrow) CSharedPalette;
  if (!p) return nullptr;
  try {
    p->logPalette = palette;
  } catch (const std::bad_alloc&) {
    delete p;
    return nullptr;
  }
  p->refCount = 1;
  CopyLogPaletteEntries(palette.entries.data(),
                        static_cast<uint32_t>(std::min<size_t>(palette.entries.size(), UINT32_MAX)),
                        p->table);
  BuildInverseColorMap(p->table, p->inverseMap);
  return p;
}

CSharedPalette* CSharedPalette::Acquire(const ColorTable& table) {
  for (CSharedPalette* p = g_listHead; p; p = p->next) {
    if (ColorTablesEqual(p->table, table)) {
      ++p->refCount;
      return p;
    }
  }
  CSharedPalette* p = Create(table);
  if (!p) return nullptr;
  p->next = g_listHead;
  g_listHead = p;
  return p;
}

void CSharedPalette::Release(CSharedPalette* palette) {
  if (!palette || --palette->refCount > 0) return;
  for (CSharedPalette** link = &g_listHead; *link; link = &(*link)->next) {
    if (*link == palette) {
      *link = palette->next;
      break;
    }
  }
  delete palette;
}

CSharedPalette* CSharedPalette::ListHead() {
  return g_listHead;
}
int CSharedPalette::LiveCount() {
  return g_liveCount;
}

LogPalette BuildIdentityPalette(std::span<const PaletteEntry> system, int numReserved) {
  LogPalette out;
  out.entries.resize(256);
  const int half = std::clamp(numReserved, 0, 256) / 2;
  for (int i = 0; i < half; ++i) {
    for (int slot : {i, 255 - i}) {
      PaletteEntry e = static_cast<size_t>(slot) < system.size() ? system[slot] : PaletteEntry{};
      e.flags = 0;
      out.entries[slot] = e;
    }
  }
  int front = half;
  int back = 255 - half;
  auto put = [&](uint8_t fr, uint8_t fg, uint8_t fb, uint8_t br, uint8_t bg, uint8_t bb) {
    if (front <= back) out.entries[front++] = {fr, fg, fb, kPaletteNoCollapse};
    if (front <= back) out.entries[back--] = {br, bg, bb, kPaletteNoCollapse};
  };
  static constexpr uint8_t kLevel[6] = {0, 51, 102, 153, 204, 255};
  for (int i = 0; i < 6; ++i)                      // blue
    for (int j = 0; j < 6; ++j)                    // green
      for (int k = 0; k < 3; ++k) {                // red, the mirror covers the other half
        if (i == 0 && j == 0 && k == 0) continue;  // black and its mirror white
        put(kLevel[k], kLevel[j], kLevel[i], kLevel[5 - k], kLevel[5 - j], kLevel[5 - i]);
      }
  for (int g = 16; g <= 112 && front <= back; g += 16) {
    const auto v = static_cast<uint8_t>(g), w = static_cast<uint8_t>(240 - g);
    put(v, v, v, w, w, w);
  }
  while (front <= back) put(32, 32, 32, 208, 208, 208);
  return out;
}

AppPalettePlan PlanAppPalette(const ScreenPaletteInfo& screen) {
  AppPalettePlan plan;
  if (screen.bits_pixel * screen.planes > 8) return plan;
  if (screen.palette_device) {
    plan.kind = AppPaletteKind::kIdentity;
    plan.log_palette = BuildIdentityPalette(screen.system, screen.num_reserved);
  } else {
    plan.kind = AppPaletteKind::kSystem;
    CopyLogPaletteEntries(screen.system.data(),
                          static_cast<uint32_t>(std::min<size_t>(screen.system.size(), 256)),
                          plan.system_table);
  }
  return plan;
}
