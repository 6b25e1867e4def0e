// The application palette and what follows it: colour brushes and the
// repainting of the views that draw through offscreen bitmaps.
//
// On an 8-bit palette screen the application palette holds the reserved
// system colours, the colour cube and greys (planned by the raster core);
// offscreen bitmaps made for the screen take it and colour brushes dither
// with it. The screens here are true colour, so there is none unless a test
// switches on the platform's fake palette screen.
#pragma once

#include <cstdint>

#include "platform/qt/palette.h"
#include "platform/qt/screen_hook.h"

class CBrush;
class CWnd;

// The application palette, built once until reset; null without a palette
// screen.
CPalette* GetAppPalette();
// Its shared record (also on screens of 8 bits or fewer without palettes,
// where it holds the system colours); null on true-colour screens.
CSharedPalette* GetAppSharedPalette();
// Makes the screen give offscreen bitmaps the application palette. Inline
// so that it sets the hook of the raster core the program links.
inline void InstallAppPalette() {
  SetAppPaletteProvider(&GetAppSharedPalette);
}

// A brush of the colour (0x00BBGGRR, the top byte ignored): dithered from the
// application palette's colours when there is one, else solid.
bool CreateColorBrush(CBrush& brush, uint32_t colour);

// After the system palette or the screen mode changed: every palette view
// drops its offscreen bitmap and is invalidated with erase; the palette is
// built again when next asked for.
void ResetAppPalette();
// Invalidates the tool options bar (the application shell's, when there is
// one) and every palette view, without erase.
void RepaintAllViews();

// A view that draws through an offscreen bitmap; it joins for its lifetime.
class CPaletteView {
 public:
  virtual ~CPaletteView() = default;
  virtual void DropOffscreenBitmap() = 0;
  virtual CWnd* PaletteWindow() = 0;
};
void JoinPaletteViews(CPaletteView* view);
void LeavePaletteViews(CPaletteView* view);
