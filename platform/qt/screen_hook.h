// The screen as the raster core sees it: the true-colour depth, the
// blit-speed probe run on the real window blit, no application palette
// (unless a test switches on the fake palette screen below); and the blit
// of an offscreen bitmap to a device context.
#pragma once

#include "geometry/fixed.h"
#include "platform/qt/win_types.h"
#include "render/raster/offscreen_bitmap.h"
#include "render/raster/palette.h"

class CDC;

// The screen of the running Qt application (a 32-bit true-colour screen
// when there is none).
CScreen* QtScreen();

// Tests of the palette code paths switch on a fake 8-bit palette screen:
// the screen then has 8 bits and the provider's application palette, every
// device context reports 8 bits per pixel, a 256-entry palette with 20
// reserved entries, and the system palette holds the old system's 20 static
// colours (10 at each end) around black. Off by default: the screens here
// are true colour.
void SetFakePaletteScreen(bool on);
bool IsPaletteScreen();
constexpr int kSystemPaletteSize = 256;
constexpr int kReservedPaletteEntries = 20;
// What the screen says about its palette (device caps and system palette).
ScreenPaletteInfo QtScreenPaletteInfo();
// Entries of the system palette from start; how many were copied (0 on a
// true-colour screen).
UINT GetSystemPaletteEntries(UINT start, UINT count, PaletteEntry* out);
// Where the screen finds the application palette's shared record (the
// rendering code builds it on a palette screen); null: none.
void SetAppPaletteProvider(CSharedPalette* (*provider)());

// Makes the raster core's offscreen bitmaps use the Qt screen. Inline so
// that it sets the hook of the raster core the program links.
inline void InstallQtScreen() {
  SetOffscreenScreen(QtScreen());
}

// Shows the bitmap's pixels from (sourceX, sourceY) on the destination
// rectangle (device pixels, Rect32 order xmin, xmax, ymin, ymax); nothing
// without a bitmap.
void BlitOffscreenToDC(COffscreenBitmap& bitmap, CDC& dc, const Rect32& destination, int sourceX,
                       int sourceY);
