// System colours: from the application's palette, or (for tests and a fixed
// look) the classic table.
#pragma once

#include "platform/qt/gdi_objects.h"
#include "platform/qt/win_types.h"

enum : int {
  COLOR_SCROLLBAR = 0,
  COLOR_BACKGROUND = 1,
  COLOR_ACTIVECAPTION = 2,
  COLOR_INACTIVECAPTION = 3,
  COLOR_MENU = 4,
  COLOR_WINDOW = 5,
  COLOR_WINDOWFRAME = 6,
  COLOR_MENUTEXT = 7,
  COLOR_WINDOWTEXT = 8,
  COLOR_CAPTIONTEXT = 9,
  COLOR_ACTIVEBORDER = 10,
  COLOR_INACTIVEBORDER = 11,
  COLOR_APPWORKSPACE = 12,
  COLOR_HIGHLIGHT = 13,
  COLOR_HIGHLIGHTTEXT = 14,
  COLOR_BTNFACE = 15,
  COLOR_3DFACE = COLOR_BTNFACE,
  COLOR_BTNSHADOW = 16,
  COLOR_3DSHADOW = COLOR_BTNSHADOW,
  COLOR_GRAYTEXT = 17,
  COLOR_BTNTEXT = 18,
  COLOR_INACTIVECAPTIONTEXT = 19,
  COLOR_BTNHIGHLIGHT = 20,
  COLOR_3DHILIGHT = COLOR_BTNHIGHLIGHT,
  COLOR_3DDKSHADOW = 21,
  COLOR_3DLIGHT = 22,
  COLOR_INFOTEXT = 23,
  COLOR_INFOBK = 24,
};
constexpr int kSysColorCount = 25;

enum class SysColorSource { kApplicationPalette, kClassic };
// Chooses where the colours come from (the application palette by default).
void SetSysColorSource(SysColorSource source);
SysColorSource GetSysColorSource();

// The colour of an index; unknown indices give black.
COLORREF GetSysColor(int index);
// A solid brush of the colour (owned by the layer; valid until the next call
// for the same index changes its colour).
CBrush* GetSysColorBrush(int index);
