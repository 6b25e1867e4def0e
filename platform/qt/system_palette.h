// The system palette of the fake 8-bit palette screen (screen_hook.h) as
// realising logical palettes changes it, after the old system's palette
// manager: the 20 static colours stay; a palette realised takes the 236
// free entries from the first on. An entry without the no-collapse flag
// whose colour the system palette already holds (a static colour, or one
// this realisation placed) takes no entry; every other entry takes the next
// free one while there is one (the rest are matched, not placed). Switching
// the fake screen on or off puts back the static colours around black.
#pragma once

#include "platform/qt/win_types.h"
#include "render/raster/color_table.h"

// Realises the palette on the fake palette screen; the number of system
// palette entries whose colour changed (0 without the fake screen).
UINT RealizeOnPaletteScreen(const LogPalette& palette);
