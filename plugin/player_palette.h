// The players' shared colour table: on screens of 8 bits or fewer every
// player of the library draws with one table made from the system palette,
// built when first asked for and released when the system palette changed
// (every player's bitmap is then dropped and its window repainted).
#pragma once

#include <cstdint>

#include "render/raster/palette.h"

// What the screen says about its palette; the window side installs it
// (without one the screen counts as true colour).
void SetPlayerScreenInfo(ScreenPaletteInfo (*info)());

// The shared table, built once until released: on an 8-bit palette screen
// the 256 system palette entries (the reserved ones at both ends as they
// are, the others marked no-collapse), on other screens of 8 bits or fewer
// the system palette as a colour table; none on deeper screens.
CSharedPalette* GetPlayerColorTable();
// Counts the tables built, so that a palette made from one is known to be
// current.
uint32_t PlayerColorTableGeneration();
// When a table exists and the system palette no longer holds its colours,
// resets every player's palette (CPluginPlayer::ResetPlayerPalettes).
void CheckSystemPalette();
// Releases the table; it is built again on next use.
void ReleasePlayerColorTable();
