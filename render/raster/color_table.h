// Counted colour tables and logical palettes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// A colour of a table: red in the low byte, then green, then blue; the top byte
// is 0 in palettes and 255 in images loaded from files.
constexpr uint32_t PackRgb(uint32_t red, uint32_t green, uint32_t blue) {
  return (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16;
}
constexpr uint8_t RedOf(uint32_t c) {
  return static_cast<uint8_t>(c);
}
constexpr uint8_t GreenOf(uint32_t c) {
  return static_cast<uint8_t>(c >> 8);
}
constexpr uint8_t BlueOf(uint32_t c) {
  return static_cast<uint8_t>(c >> 16);
}

// A 32-bit count followed by room for 256 entries (1028 bytes). Entries past
// the count are zero.
struct ColorTable {
  static constexpr uint32_t kMaxEntries = 256;
  uint32_t count = 0;
  std::array<uint32_t, kMaxEntries> entries{};
};

// One entry of a logical palette, in the window system's byte order.
struct PaletteEntry {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t flags = 0;
  friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

constexpr uint8_t kPaletteNoCollapse = 0x04;  // PC_NOCOLLAPSE

// A logical palette: version and entries (the window system's LOGPALETTE).
struct LogPalette {
  uint16_t version = 0x300;
  std::vector<PaletteEntry> entries;
};

// Equal counts and equal entries (the entries up to the count).
bool ColorTablesEqual(const ColorTable& a, const ColorTable& b);

// Copies at most 256 palette entries into a counted table, flag byte 0.
void CopyLogPaletteEntries(const PaletteEntry* entries, uint32_t count, ColorTable& out);

// The 216-colour cube: red varying fastest, then green, then blue, each from
// the levels 0, 51, 102, 153, 204, 255.
void BuildColorCube(ColorTable& out);
