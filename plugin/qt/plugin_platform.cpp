// The window side of the library's players over the platform layer. A
// player subclasses the window the browser gives it: its procedure comes
// first in the window's chain and passes on what it leaves alone.
#include "plugin/qt/plugin_platform.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "movie/qt/player_palette.h"
#include "movie/qt/player_window.h"
#include "platform/qt/dc.h"
#include "platform/qt/gdi_objects.h"
#include "platform/qt/input.h"
#include "platform/qt/messages.h"
#include "platform/qt/screen_hook.h"
#include "platform/qt/wnd.h"
#include "plugin/player_palette.h"
#include "plugin/plugin_player.h"
#include "plugin/plugin_window.h"
#include "res/player_resources.h"

namespace {

// The shared player table as the palette the players paint with, made
// again whenever the table was built again.
class CPluginPaletteState final : public IPlayerPaletteState {
 public:
  CPalette* PlayerPalette() override {
    CSharedPalette* table = GetPlayerColorTable();
    if (!table) return nullptr;
    if (m_generation != PlayerColorTableGeneration() || !m_palette.IsValid()) {
      m_palette.DeleteObject();
      m_generation = PlayerColorTableGeneration();
      if (!m_palette.CreatePalette(table->logPalette)) return nullptr;
    }
    return &m_palette;
  }
  void CheckSystemPalette() override { ::CheckSystemPalette(); }

 private:
  CPalette m_palette;
  uint32_t m_generation = 0;
};

CPluginPaletteState& PaletteState() {
  static auto* state = new CPluginPaletteState;  // lives as long as the process
  return *state;
}

// The screen of the library's offscreen bitmaps: the Qt screen, whose
// palette formats take the shared player table.
class CPlayerScreen final : public CScreen {
 public:
  int Depth() override { return QtScreen()->Depth(); }
  BlitFormat ProbeBlitFormat(int depth) override { return QtScreen()->ProbeBlitFormat(depth); }
  CSharedPalette* AppPalette() override { return GetPlayerColorTable(); }
  int32_t LogPixels() override { return QtScreen()->LogPixels(); }
};

class CPlayerWindow;
std::vector<CPlayerWindow*>& LiveWindows() {
  static auto* live = new std::vector<CPlayerWindow*>;
  return *live;
}

class CPlayerWindow final : public IPluginWindow {
 public:
  CPlayerWindow(CPluginPlayer& player, HWND hwnd)
      : m_player(player), m_side(player.Core(), hwnd, &PaletteState()) {
    LiveWindows().push_back(this);
    m_previous = SetWindowProc(hwnd, PlayerWindowProc);
  }

  ~CPlayerWindow() override {
    std::erase(LiveWindows(), this);
    // Only our own procedure can be taken out of the chain.
    if (IsWindow(m_side.Handle()) && GetWindowProc(m_side.Handle()) == PlayerWindowProc)
      SetWindowProc(m_side.Handle(), m_previous);
  }

  HWND Handle() const { return m_side.Handle(); }

  WinRect ClientRect() override { return m_side.ClientRect(); }
  void Invalidate(const WinRect& area) override { m_side.Invalidate(area); }
  void PaintNow(const WinRect& area) override { m_side.PaintNow(area); }
  bool XorFrameNow(const WinRect& frame) override { return m_side.XorFrameNow(frame); }
  void StartTimer(int id, uint32_t periodMs) override { m_side.StartTimer(id, periodMs); }
  void StopTimer(int id) override { m_side.StopTimer(id); }
  bool PollMouse(Point32& client) override { return m_side.PollMouse(client); }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    CPlayerCore& core = m_player.Core();
    const Point32 point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (message) {
      case WM_SIZE: {
        const LRESULT result = Previous(message, wParam, lParam);
        core.FreeOffscreen();
        return result;
      }
      case WM_PAINT:
        m_side.OnPaint();
        return Previous(message, wParam, lParam);
      case WM_SETCURSOR:
        if (LOWORD(static_cast<uintptr_t>(lParam)) == HTCLIENT && m_side.OnSetCursor()) return 1;
        return Previous(message, wParam, lParam);
      case WM_COMMAND:
        if (core.OnCommand(LOWORD(wParam))) return 0;
        return Previous(message, wParam, lParam);
      case WM_ERASEBKGND:
        return 0;
      case WM_TIMER:
        core.OnTimer(false);
        return 0;
      case WM_MOUSEMOVE:
        core.OnMouseMove(point);
        return 0;
      case WM_LBUTTONDOWN:
        m_side.OnLButtonDown(point);
        return 0;
      case WM_LBUTTONUP:
        return 0;
      case WM_RBUTTONDOWN:
        m_side.OnRButtonDown(point);
        return 0;
      case WM_QUERYNEWPALETTE:
        return m_side.OnQueryNewPalette();
      case WM_PALETTECHANGED: {
        LRESULT result = 0;
        if (m_side.OnPaletteChanged(reinterpret_cast<HWND>(wParam), result)) return result;
        return Previous(message, wParam, lParam);
      }
      default:
        return Previous(message, wParam, lParam);
    }
  }

  // A fault while handling a message pauses the movie.
  void Pause() { m_player.Core().Stop(); }

 private:
  LRESULT Previous(UINT message, WPARAM wParam, LPARAM lParam) {
    return m_previous ? CallWindowProc(m_previous, Handle(), message, wParam, lParam)
                      : DefWindowProc(Handle(), message, wParam, lParam);
  }

  CPluginPlayer& m_player;
  CPlayerWindowSide m_side;
  WNDPROC m_previous = nullptr;
};

std::unique_ptr<IPluginWindow> MakePlayerWindow(CPluginPlayer& player, void* handle) {
  auto hwnd = static_cast<HWND>(handle);
  CWnd* wnd = CWnd::FromHandle(hwnd);
  if (!wnd || !wnd->GetWidget()) return nullptr;
  return std::make_unique<CPlayerWindow>(player, hwnd);
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
  // The players' multimedia time is the platform's tick count: the input
  // source's clock, which tests replace with a fake one.
  SetPluginClock([] { return ::GetTickCount(); });
  SetPluginPrinter(PrintThroughDc);
  RegisterPlayerResources();
  SetPlayerScreenInfo(QtScreenPaletteInfo);
  InstallPlayerScreen();
}

void InstallPlayerScreen() {
  static CPlayerScreen screen;
  SetOffscreenScreen(&screen);
}

CPalette* GetPlayerPalette() {
  return PaletteState().PlayerPalette();
}
