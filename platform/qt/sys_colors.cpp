#include "platform/qt/sys_colors.h"

#include <QGuiApplication>
#include <QPalette>
#include <array>

namespace {

SysColorSource g_source = SysColorSource::kApplicationPalette;

// The classic grey look.
constexpr std::array<COLORREF, kSysColorCount> kClassic = {
    RGB(192, 192, 192),  // scroll bar
    RGB(0, 128, 128),    // desktop
    RGB(0, 0, 128),      // active caption
    RGB(128, 128, 128),  // inactive caption
    RGB(192, 192, 192),  // menu
    RGB(255, 255, 255),  // window
    RGB(0, 0, 0),        // window frame
    RGB(0, 0, 0),        // menu text
    RGB(0, 0, 0),        // window text
    RGB(255, 255, 255),  // caption text
    RGB(192, 192, 192),  // active border
    RGB(192, 192, 192),  // inactive border
    RGB(128, 128, 128),  // application workspace
    RGB(0, 0, 128),      // highlight
    RGB(255, 255, 255),  // highlight text
    RGB(192, 192, 192),  // button face
    RGB(128, 128, 128),  // button shadow
    RGB(128, 128, 128),  // grey text
    RGB(0, 0, 0),        // button text
    RGB(192, 192, 192),  // inactive caption text
    RGB(255, 255, 255),  // button highlight
    RGB(0, 0, 0),        // dark shadow
    RGB(223, 223, 223),  // light
    RGB(0, 0, 0),        // tooltip text
    RGB(255, 255, 225),  // tooltip background
};

COLORREF FromQt(const QColor& c) {
  return RGB(c.red(), c.green(), c.blue());
}

COLORREF FromPalette(int index) {
  const QPalette p = QGuiApplication::palette();
  switch (index) {
    case COLOR_WINDOW:
      return FromQt(p.color(QPalette::Base));
    case COLOR_WINDOWTEXT:
    case COLOR_MENUTEXT:
      return FromQt(p.color(QPalette::Text));
    case COLOR_MENU:
    case COLOR_BTNFACE:
    case COLOR_ACTIVEBORDER:
    case COLOR_INACTIVEBORDER:
      return FromQt(p.color(QPalette::Button));
    case COLOR_BTNTEXT:
      return FromQt(p.color(QPalette::ButtonText));
    case COLOR_BTNSHADOW:
    case COLOR_APPWORKSPACE:
    case COLOR_BACKGROUND:
      return FromQt(p.color(QPalette::Dark));
    case COLOR_BTNHIGHLIGHT:
      return FromQt(p.color(QPalette::Light));
    case COLOR_3DDKSHADOW:
    case COLOR_WINDOWFRAME:
      return FromQt(p.color(QPalette::Shadow));
    case COLOR_3DLIGHT:
    case COLOR_SCROLLBAR:
      return FromQt(p.color(QPalette::Midlight));
    case COLOR_HIGHLIGHT:
    case COLOR_ACTIVECAPTION:
      return FromQt(p.color(QPalette::Highlight));
    case COLOR_HIGHLIGHTTEXT:
    case COLOR_CAPTIONTEXT:
      return FromQt(p.color(QPalette::HighlightedText));
    case COLOR_GRAYTEXT:
    case COLOR_INACTIVECAPTIONTEXT:
      return FromQt(p.color(QPalette::Disabled, QPalette::Text));
    case COLOR_INACTIVECAPTION:
      return FromQt(p.color(QPalette::Mid));
    case COLOR_INFOTEXT:
      return FromQt(p.color(QPalette::ToolTipText));
    case COLOR_INFOBK:
      return FromQt(p.color(QPalette::ToolTipBase));
    default:
      return 0;
  }
}

}  // namespace

void SetSysColorSource(SysColorSource source) {
  g_source = source;
}

SysColorSource GetSysColorSource() {
  return g_source;
}

COLORREF GetSysColor(int index) {
  if (index < 0 || index >= kSysColorCount) return 0;
  if (g_source == SysColorSource::kClassic || !QGuiApplication::instance()) return kClassic[index];
  return FromPalette(index);
}

CBrush* GetSysColorBrush(int index) {
  static std::array<CBrush, kSysColorCount>* brushes = new std::array<CBrush, kSysColorCount>;
  if (index < 0 || index >= kSysColorCount) return nullptr;
  CBrush& b = (*brushes)[index];
  const COLORREF c = GetSysColor(index);
  if (!b.IsValid() || b.Color() != c) b.CreateSolidBrush(c);
  return &b;
}
