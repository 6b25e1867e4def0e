// Shared palettes: a colour table with its inverse colour map, shared by
// reference count among all bitmaps with the same colours, and the pure
// functions that plan the application palette of a palette screen.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "render/raster/color_table.h"

// Palette index of the nearest colour for each of 4096 colour cells.
using InverseColorMap = std::array<uint8_t, 4096>;

// The cell of a colour: red nibble in bits 8-11, green in 4-7, blue in 0-3.
constexpr uint32_t InverseMapCell(uint32_t red, uint32_t green, uint32_t blue) {
  return (red & 0xF0) << 4 | (green & 0xF0) | (blue & 0xFF) >> 4;
}

// Fills the map by growing boxes around every palette colour (radius 3 to 15
// cells, stopping once every cell is set); distances are the sum of the
// channel differences, capped at 254. Ties keep the entry seen first. Cells
// found at radius r hold the nearest colour among the entries within r cells,
// which is the true nearest whenever its distance is at most 16 * r.
void BuildInverseColorMap(const ColorTable& table, InverseColorMap& map);

class CSharedPalette {
 public:
  CSharedPalette* next = nullptr;  // list of acquired records, newest first
  int32_t refCount = 0;
  ColorTable table;
  InverseColorMap inverseMap{};
  // The logical palette the window system's palette is made from (realised
  // only on palette screens, which the platform does not have).
  LogPalette logPalette;

  // Reference count 1, the table copied, the map built, a logical palette of
  // the colours with PC_NOCOLLAPSE. Null when memory runs out. Not on the list.
  [[nodiscard]] static CSharedPalette* Create(const ColorTable& table);
  // The same from a logical palette (at most 256 colours enter the table, with
  // flag 0; the logical palette is kept as given).
  [[nodiscard]] static CSharedPalette* CreateFromLogPalette(const LogPalette& palette);
  // The first listed record with an equal table gains a reference; else a new
  // record goes to the head of the list. Null when memory runs out.
  [[nodiscard]] static CSharedPalette* Acquire(const ColorTable& table);
  // Drops a reference; at zero the record is unlinked and freed. Null is allowed.
  static void Release(CSharedPalette* palette);
  void AddRef() { ++refCount; }

  static CSharedPalette* ListHead();
  // Records alive, listed or not (for tests: every record is freed once).
  static int LiveCount();

 private:
  CSharedPalette();
  ~CSharedPalette();
};

// What a screen says about its palette (the window system's device caps and
// system palette).
struct ScreenPaletteInfo {
  int bits_pixel = 32;
  int planes = 1;
  bool palette_device = false;  // RC_PALETTE
  int num_reserved = 20;        // system colours, half at each end
  std::vector<PaletteEntry> system;
};

enum class AppPaletteKind {
  kNone,      // more than 8 bits: no application palette
  kIdentity,  // 8-bit palette screen: `log_palette` makes the shared record
  kSystem,    // other screens of 8 bits or fewer: `system_table` is acquired
};

struct AppPalettePlan {
  AppPaletteKind kind = AppPaletteKind::kNone;
  LogPalette log_palette;
  ColorTable system_table;
};

// The application palette for a screen, without touching the window system.
AppPalettePlan PlanAppPalette(const ScreenPaletteInfo& screen);

// The 256-entry palette of an 8-bit palette screen: the reserved system colours
// at both ends (flag 0), then from both ends at once the colour cube less black
// and white, then greys (flag PC_NOCOLLAPSE).
LogPalette BuildIdentityPalette(std::span<const PaletteEntry> system, int numReserved);
