#include "render/gdi/marl_dc.h"

#include "platform/qt/wnd.h"
#include "render/gdi/app_palette.h"

CMarlDC::CMarlDC(CWnd* window) : CClientDC(window->GetSurface()) {
  if (CPalette* palette = GetAppPalette()) {
    m_previous = SelectPalette(palette, false);
    m_selected = true;
    RealizePalette();
  }
}

CMarlDC::~CMarlDC() {
  if (m_selected) SelectPalette(m_previous, false);
}
