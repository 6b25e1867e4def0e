#include "render/gdi/marl_dc.h"

#include "platform/qt/wnd.h"
#include "render/gdi/app_palette.h"

CMarlDC::CMarlDC(CWnd* window) : CClientDC(window->GetSurface()) {
  if (CPalette* palette = GetAppPalette()) {
    previous_ = SelectPalette(palette, false);
    selected_ = true;
    RealizePalette();
  }
}

CMarlDC::~CMarlDC() {
  if (selected_) SelectPalette(previous_, false);
}
