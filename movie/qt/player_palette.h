// The players' palettes on palette screens. Each player paints with a
// palette that something keeps current (the library's shared player table,
// or the editor's application palette); when its window is told that the
// palettes changed, it realises the cube palette of its own levels, lets
// that state check the system palette, and realises its palette again.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/qt/palette.h"

class IPlayerPaletteState {
 public:
  virtual ~IPlayerPaletteState() = default;
  // The palette a player paints with; null on screens without one.
  virtual CPalette* PlayerPalette() = 0;
  // When the system palette no longer holds the palette's colours, drops
  // what was drawn with them.
  virtual void CheckSystemPalette() = 0;
};

// The 226-entry cube palette of the levels (PlayerCubeColors), on palette
// screens only: false elsewhere.
bool CreateCubePalette(CPalette& palette, const std::array<uint8_t, 6>& levels);

// The palette's entries.
std::vector<PaletteEntry> PaletteEntries(const CPalette& palette);
// Whether the system palette holds the palette's colours, entry by entry.
bool SystemPaletteHolds(const CPalette& palette);
