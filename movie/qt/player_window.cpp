#include "movie/qt/player_window.h"

#include "movie/qt/player_palette.h"

#include <QRegion>
#include <QWidget>

#include "platform/qt/cursors.h"
#include "platform/qt/dc.h"
#include "platform/qt/gdi_objects.h"
#include "platform/qt/input.h"
#include "platform/qt/menu.h"
#include "platform/qt/messages.h"
#include "platform/qt/rop.h"
#include "platform/qt/screen_hook.h"
#include "platform/qt/window_surface.h"
#include "platform/qt/wnd.h"

namespace {

CRect ToCRect(const WinRect& r) {
  return CRect(r.left, r.top, r.right, r.bottom);
}

// Draws with a white pen in XOR, no fill: twice on the same place erases.
void DrawXorFrame(CDC& dc, const WinRect& frame) {
  dc.SaveDC();
  dc.SetROP2(R2_XORPEN);
  dc.SelectStockObject(WHITE_PEN);
  dc.SelectStockObject(NULL_BRUSH);
  dc.Rectangle(frame.left, frame.top, frame.right, frame.bottom);
  dc.RestoreDC(-1);
}

// The player's paint target over a device context.
class DcTarget final : public IPlayerPaintTarget {
 public:
  explicit DcTarget(CDC& dc) : dc_(dc) {}
  void CopyBitmap(const COffscreenBitmap& bitmap, const WinRect& area) override {
    Rect32 dest;
    dest.xmin = area.left;
    dest.xmax = area.right;
    dest.ymin = area.top;
    dest.ymax = area.bottom;
    // The transfer reads the bitmap only.
    BlitOffscreenToDC(const_cast<COffscreenBitmap&>(bitmap), dc_, dest, area.left, area.top);
  }
  void FillColor(const WinRect& area, uint32_t colour) override {
    const CRect r = ToCRect(area);
    dc_.FillSolidRect(&r, colour & 0xFFFFFF);
  }
  void XorFrame(const WinRect& frame) override { DrawXorFrame(dc_, frame); }

 private:
  CDC& dc_;
};

void UpdateMenu(CMenu& menu, const CPlayerCore& core) {
  for (int pos = 0; pos < menu.GetMenuItemCount(); ++pos) {
    const UINT id = menu.GetMenuItemID(pos);
    if (id == 0 || id == 0xFFFFFFFFu) continue;
    const PlayerMenuItemState s = core.MenuItem(static_cast<int>(id));
    if (!s.present) continue;
    menu.EnableMenuItem(id, MF_BYCOMMAND | (s.enabled ? MF_ENABLED : MF_GRAYED));
    menu.CheckMenuItem(id, MF_BYCOMMAND | (s.checked ? MF_CHECKED : MF_UNCHECKED));
  }
}

}  // namespace

CPlayerWindowSide::CPlayerWindowSide(CPlayerCore& core, HWND hwnd, IPlayerPaletteState* palette)
    : m_core(core), m_hwnd(hwnd), m_palette(palette) {
  if (CWindowSurface* surface = Surface()) surface->InvalidateAll();
}

// The window's own backing surface (the window base keeps one per window).
CWindowSurface* CPlayerWindowSide::Surface() const {
  CWnd* wnd = CWnd::FromHandle(m_hwnd);
  return wnd ? wnd->GetSurface() : nullptr;
}

CPlayerWindowSide::~CPlayerWindowSide() {
  if (CWnd* wnd = CWnd::FromHandle(m_hwnd)) {
    wnd->KillTimer(CPlayerCore::kFrameTimer);
    wnd->KillTimer(CPlayerCore::kButtonWatchTimer);
    wnd->Invalidate(false);
  }
}

bool CPlayerWindowSide::Live() const {
  return CWnd::FromHandle(m_hwnd) != nullptr;
}

WinRect CPlayerWindowSide::ClientRect() {
  CWnd* wnd = CWnd::FromHandle(m_hwnd);
  if (!wnd) return {};
  const CRect r = wnd->GetClientRect();
  return {r.left, r.top, r.right, r.bottom};
}

void CPlayerWindowSide::Invalidate(const WinRect& area) {
  CWnd* wnd = CWnd::FromHandle(m_hwnd);
  if (!wnd) return;
  const CRect r = ToCRect(area);
  Surface()->Invalidate(r);
  wnd->InvalidateRect(&r, false);
}

void CPlayerWindowSide::PaintNow(const WinRect& area) {
  if (!Live()) return;
  const CRect r = ToCRect(area);
  Surface()->BeginDeferFlush();
  {
    CClientDC dc(Surface());
    dc.IntersectClipRect(&r);
    SelectPlayerPalette(dc, false);
    DcTarget target(dc);
    m_core.Paint(target, area);
  }
  Surface()->EndDeferFlush();
  Surface()->Validate(r);
}

bool CPlayerWindowSide::XorFrameNow(const WinRect& frame) {
  if (!Live()) return false;
  CClientDC dc(Surface());
  DrawXorFrame(dc, frame);
  return true;
}

void CPlayerWindowSide::StartTimer(int id, uint32_t periodMs) {
  if (CWnd* wnd = CWnd::FromHandle(m_hwnd)) wnd->SetTimer(static_cast<UINT_PTR>(id), periodMs);
}

void CPlayerWindowSide::StopTimer(int id) {
  if (CWnd* wnd = CWnd::FromHandle(m_hwnd)) wnd->KillTimer(static_cast<UINT_PTR>(id));
}

bool CPlayerWindowSide::PollMouse(Point32& client) {
  CWnd* wnd = CWnd::FromHandle(m_hwnd);
  if (!wnd) return false;
  const bool down = m_pressing && IsButtonStillDown(m_hwnd);
  const CPoint p = wnd->ScreenToClient(GetCursorPos());
  client = {p.x, p.y};
  return down;
}

// The window base copies the surface to the screen after WM_PAINT.
void CPlayerWindowSide::OnPaint() {
  if (!Surface()) return;
  if (Surface()->NeedsPaint() && !Surface()->Flushing()) {
    CPaintDC dc(Surface());
    SelectPlayerPalette(dc, false);
    DcTarget target(dc);
    const CRect& r = dc.m_rcPaint;
    m_core.Paint(target, {r.left, r.top, r.right, r.bottom});
  }
}

bool CPlayerWindowSide::OnSetCursor() {
  const int id = m_core.CursorId();
  if (id == 0) return false;
  SetCursor(LoadCursor(id));
  return true;
}

void CPlayerWindowSide::OnLButtonDown(const Point32& point) {
  m_pressing = true;
  try {
    m_core.OnLButtonDown(point);
  } catch (...) {
    m_pressing = false;
    throw;
  }
  m_pressing = false;
}

void CPlayerWindowSide::OnRButtonDown(const Point32& point) {
  CWnd* wnd = CWnd::FromHandle(m_hwnd);
  if (!wnd) return;
  CMenu menu;
  if (!menu.LoadMenu(static_cast<UINT>(m_core.PopupMenu(point)))) return;
  CMenu* popup = menu.GetSubMenu(0);
  if (!popup) return;
  UpdateMenu(*popup, m_core);
  const CPoint screen = wnd->ClientToScreen(CPoint(point.x, point.y));
  // The states are the player's own: the menu is tracked without an
  // owner's command update, and the choice comes back as a command through
  // the window's procedure.
  const HWND hwnd = m_hwnd;
  const UINT chosen = popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                                            screen.x, screen.y, nullptr);
  if (chosen != 0) ::SendMessage(hwnd, WM_COMMAND, chosen, 0);
}

void CPlayerWindowSide::SelectPlayerPalette(CDC& dc, bool background) {
  if (!m_palette) return;
  if (CPalette* palette = m_palette->PlayerPalette()) {
    dc.SelectPalette(palette, background);
    dc.RealizePalette();
  }
}

LRESULT CPlayerWindowSide::OnQueryNewPalette() {
  if (!m_palette || !Surface()) return 0;
  CPalette cube;
  if (!CreateCubePalette(cube, m_core.Options().cube_levels)) return 0;
  CClientDC dc(Surface());
  CPalette* old = dc.SelectPalette(&cube, false);
  dc.RealizePalette();
  m_palette->CheckSystemPalette();
  SelectPlayerPalette(dc, false);
  dc.SelectPalette(old, false);
  cube.DeleteObject();
  return 1;
}

bool CPlayerWindowSide::OnPaletteChanged(HWND changer, LRESULT& result) {
  if (changer == m_hwnd) return false;
  result = 0;
  CPalette cube;
  if (!m_palette || !Surface() || !CreateCubePalette(cube, m_core.Options().cube_levels))
    return true;
  m_palette->CheckSystemPalette();
  CClientDC dc(Surface());
  SelectPlayerPalette(dc, true);
  cube.DeleteObject();
  return true;
}
