// The window side of the library's players over the platform layer. A
// player subclasses the window the browser gives it: its procedure comes
// first in the window's chain and passes on what it leaves alone. The window
// keeps its pixels in a backing surface that the player paints through
// device contexts; frames drawn between paints reach the screen at once.
#include "plugin/qt/plugin_platform.h"

#include <QRegion>
#include <QWidget>
#include <algorithm>
#include <memory>
#include <vector>

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
#include "plugin/plugin_player.h"
#include "plugin/plugin_window.h"
#include "res/player_resources.h"

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

class CPlayerWindow;
std::vector<CPlayerWindow*>& LiveWindows() {
  static auto* live = new std::vector<CPlayerWindow*>;
  return *live;
}

class CPlayerWindow final : public IPluginWindow {
 public:
  CPlayerWindow(CPluginPlayer& player, HWND hwnd, QWidget* widget)
      : player_(player), hwnd_(hwnd), surface_(std::make_unique<CWindowSurface>(widget)) {
    surface_->InvalidateAll();
    LiveWindows().push_back(this);
    previous_ = SetWindowProc(hwnd_, PlayerWindowProc);
  }

  ~CPlayerWindow() override {
    std::erase(LiveWindows(), this);
    if (CWnd* wnd = CWnd::FromHandle(hwnd_)) {
      wnd->KillTimer(CPlayerCore::kFrameTimer);
      wnd->KillTimer(CPlayerCore::kButtonWatchTimer);
      // Only our own procedure can be taken out of the chain.
      if (GetWindowProc(hwnd_) == PlayerWindowProc) SetWindowProc(hwnd_, previous_);
      wnd->Invalidate(false);
    }
  }

  HWND Handle() const { return hwnd_; }

  WinRect ClientRect() override {
    CWnd* wnd = CWnd::FromHandle(hwnd_);
    if (!wnd) return {};
    const CRect r = wnd->GetClientRect();
    return {r.left, r.top, r.right, r.bottom};
  }

  void Invalidate(const WinRect& area) override {
    CWnd* wnd = CWnd::FromHandle(hwnd_);
    if (!wnd) return;
    const CRect r = ToCRect(area);
    surface_->Invalidate(r);
    wnd->InvalidateRect(&r, false);
  }

  void PaintNow(const WinRect& area) override {
    if (!CWnd::FromHandle(hwnd_)) return;
    const CRect r = ToCRect(area);
    surface_->BeginDeferFlush();
    {
      CClientDC dc(surface_.get());
      dc.IntersectClipRect(&r);
      DcTarget target(dc);
      player_.Core().Paint(target, area);
    }
    surface_->EndDeferFlush();
    surface_->Validate(r);
  }

  bool XorFrameNow(const WinRect& frame) override {
    if (!CWnd::FromHandle(hwnd_)) return false;
    CClientDC dc(surface_.get());
    DrawXorFrame(dc, frame);
    return true;
  }

  void StartTimer(int id, uint32_t periodMs) override {
    if (CWnd* wnd = CWnd::FromHandle(hwnd_)) wnd->SetTimer(static_cast<UINT_PTR>(id), periodMs);
  }

  void StopTimer(int id) override {
    if (CWnd* wnd = CWnd::FromHandle(hwnd_)) wnd->KillTimer(static_cast<UINT_PTR>(id));
  }

  bool PollMouse(Point32& client) override {
    CWnd* wnd = CWnd::FromHandle(hwnd_);
    if (!wnd) return false;
    const bool down = IsButtonStillDown(hwnd_);
    const CPoint p = wnd->ScreenToClient(GetCursorPos());
    client = {p.x, p.y};
    return down;
  }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    CPlayerCore& core = player_.Core();
    const Point32 point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
      case WM_SIZE: {
        const LRESULT result = Previous(message, wParam, lParam);
        core.FreeOffscreen();
        return result;
      }
      case WM_PAINT:
        OnPaint();
        return Previous(message, wParam, lParam);
      case WM_SETCURSOR:
        if (LOWORD(static_cast<uintptr_t>(lParam)) == HTCLIENT && OnSetCursor()) return 1;
        return Previous(message, wParam, lParam);
      case WM_COMMAND:
        if (core.OnCommand(LOWORD(wParam))) return 0;
        return Previous(message, wParam, lParam);
      case WM_ERASEBKGND:
        return 0;
      case WM_TIMER:
        if (wParam == CPlayerCore::kButtonWatchTimer && core.Options().buttonWatch) {
          core.OnButtonWatch();
        } else {
          core.OnTimer(false);
        }
        return 0;
      case WM_MOUSEMOVE:
        core.OnMouseMove(point);
        return 0;
      case WM_LBUTTONDOWN:
        core.OnLButtonDown(point);
        return 0;
      case WM_LBUTTONUP:
        return 0;
      case WM_RBUTTONDOWN:
        OnRButtonDown(point);
        return 0;
      case WM_QUERYNEWPALETTE:
      case WM_PALETTECHANGED:
        // Every surface holds true colour: no palette to realise.
        return 0;
      default:
        return Previous(message, wParam, lParam);
    }
  }

  // A fault while handling a message pauses the movie.
  void Pause() { player_.Core().Stop(); }

 private:
  LRESULT Previous(UINT message, WPARAM wParam, LPARAM lParam) {
    return previous_ ? CallWindowProc(previous_, hwnd_, message, wParam, lParam)
                     : DefWindowProc(hwnd_, message, wParam, lParam);
  }

  void OnPaint() {
    if (surface_->NeedsPaint() && !surface_->Flushing()) {
      CPaintDC dc(surface_.get());
      DcTarget target(dc);
      const CRect& r = dc.m_rcPaint;
      player_.Core().Paint(target, {r.left, r.top, r.right, r.bottom});
    }
    if (QWidget* widget = surface_->Widget()) surface_->CopyToScreen(QRegion(widget->rect()));
  }

  bool OnSetCursor() {
    const int id = player_.Core().CursorId();
    if (id == 0) return false;
    SetCursor(LoadCursor(id));
    return true;
  }

  void UpdateMenu(CMenu& menu) {
    for (int pos = 0; pos < menu.GetMenuItemCount(); ++pos) {
      const UINT id = menu.GetMenuItemID(pos);
      if (id == 0 || id == 0xFFFFFFFFu) continue;
      const PlayerMenuItemState s = player_.Core().MenuItem(static_cast<int>(id));
      if (!s.present) continue;
      menu.EnableMenuItem(id, MF_BYCOMMAND | (s.enabled ? MF_ENABLED : MF_GRAYED));
      menu.CheckMenuItem(id, MF_BYCOMMAND | (s.checked ? MF_CHECKED : MF_UNCHECKED));
    }
  }

  void OnRButtonDown(const Point32& point) {
    CWnd* wnd = CWnd::FromHandle(hwnd_);
    if (!wnd) return;
    const int id = player_.Core().PopupMenu(point);
    CMenu menu;
    if (!menu.LoadMenu(static_cast<UINT>(id))) return;
    CMenu* popup = menu.GetSubMenu(0);
    if (!popup) return;
    UpdateMenu(*popup);
    const CPoint screen = wnd->ClientToScreen(CPoint(point.x, point.y));
    // The states are the player's own: the menu is tracked without an
    // owner's command update, and the choice comes back as a command
    // through the window's chain (this object may be gone by then).
    const HWND hwnd = hwnd_;
    const UINT chosen = popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                                              screen.x, screen.y, nullptr);
    if (chosen != 0) ::SendMessage(hwnd, WM_COMMAND, chosen, 0);
  }

  CPluginPlayer& player_;
  HWND hwnd_;
  WNDPROC previous_ = nullptr;
  std::unique_ptr<CWindowSurface> surface_;
};

std::unique_ptr<IPluginWindow> MakePlayerWindow(CPluginPlayer& player, void* handle) {
  auto hwnd = static_cast<HWND>(handle);
  CWnd* wnd = CWnd::FromHandle(hwnd);
  if (!wnd || !wnd->GetWidget()) return nullptr;
  return std::make_unique<CPlayerWindow>(player, hwnd, wnd->GetWidget());
}

void PrintThroughDc(CPlayerCore& core, void* printerDc, const NPWindow& area) {
  if (printerDc) PrintPlayerFrame(core, *static_cast<CDC*>(printerDc), area);
}

}  // namespace

LRESULT PlayerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  for (CPlayerWindow* w : LiveWindows()) {
    if (w->Handle() != hwnd) continue;
    try {
      return w->WindowProc(message, wParam, lParam);
    } catch (...) {
      // The window may have lost its player while the message ran.
      for (CPlayerWindow* live : LiveWindows())
        if (live->Handle() == hwnd) live->Pause();
      return 0;
    }
  }
  return 0;
}

void PrintPlayerFrame(CPlayerCore& core, CDC& dc, const NPWindow& area) {
  auto edge = [](int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  CRect r(area.x, area.y, edge(int64_t{area.x} + area.width), edge(int64_t{area.y} + area.height));
  dc.LPtoDP(&r);
  const int bits = dc.GetDeviceCaps(BITSPIXEL) * dc.GetDeviceCaps(PLANES);
  int64_t width = int64_t{r.right} - r.left, height = int64_t{r.bottom} - r.top;
  COffscreenBitmap bitmap;
  const bool rendered = core.RenderForPrint(width, height, bits, bitmap);
  // Device units from here on.
  dc.SaveDC();
  dc.SetViewportOrg(0, 0);
  dc.SetWindowOrg(0, 0);
  if (rendered) {
    CDC memory;
    memory.CreateCompatibleDC(&dc);
    memory.SelectObject(&bitmap);
    dc.StretchBlt(r.left, r.top, r.Width(), r.Height(), &memory, 0, 0, static_cast<int>(width),
                  static_cast<int>(height), SRCCOPY);
  } else {
    dc.SelectStockObject(BLACK_PEN);
    dc.SelectStockObject(NULL_BRUSH);
    dc.Rectangle(&r);
  }
  dc.RestoreDC(-1);
}

void InstallPluginPlatform() {
  SetPluginWindowFactory(MakePlayerWindow);
  SetPluginPrinter(PrintThroughDc);
  RegisterPlayerResources();
  InstallQtScreen();
}
