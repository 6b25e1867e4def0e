// The screen as the raster core sees it: the true-colour depth, the
// blit-speed probe run on the real window blit, no application palette; and
// the blit of an offscreen bitmap to a device context.
#pragma once

#include "geometry/fixed.h"
#include "render/raster/offscreen_bitmap.h"

class CDC;

// The screen of the running Qt application (a 32-bit true-colour screen
// when there is none).
CScreen* QtScreen();

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
