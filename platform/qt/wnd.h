// Windows and message delivery.
//
// A CWnd owns a QWidget and a window handle. Qt's events on the widget are
// translated into messages (mouse, keys split into key-down, character and
// key-up, focus, size, show, activation, timers, scrolling, close, paint) and
// sent through the window's procedure. The procedure is a chain: the window's
// own procedure dispatches to the virtual handlers below; subclassing puts
// another procedure in front, which passes what it does not handle on with
// CallWindowProc. Every entry from Qt passes the exception trampoline (guard.h).
//
// Window classes are registered by name with their class style; a window
// whose class lacks CS_DBLCLKS gets a second button-down for a double click.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/command.h"
#include "platform/qt/messages.h"
#include "platform/qt/win_types.h"

class QWidget;
class CDC;
class CWnd;
class CWindowSurface;
struct DRAWITEMSTRUCT;
struct MEASUREITEMSTRUCT;

// A message as the pre-translation sees it.
struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// A registered window class.
struct WindowClass {
  std::string name;
  UINT style = 0;  // CS_ bits
};

// Registers (or replaces) a window class; Create names it. The class "PL_Default"
// (no class style) is always there.
void RegisterWindowClass(std::string_view name, UINT style);
const WindowClass* FindWindowClass(std::string_view name);
// The first live top-level window of that class, or null.
HWND FindWindowOfClass(std::string_view className);

class CWnd : public CCmdTarget {
  VM_DECLARE_DYNAMIC(CWnd)

 public:
  CWnd();
  ~CWnd() override;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // Makes the widget and the handle, sends WM_CREATE (a handler answering -1
  // destroys the window again) and WM_SIZE, and shows it with WS_VISIBLE.
  // rect is in the parent's client pixels (screen pixels for a top-level window).
  bool Create(std::string_view className, std::string_view title, DWORD style, const CRect& rect,
              CWnd* parent, UINT id);
  // Sends WM_DESTROY and deletes the widget; the CWnd object stays.
  bool DestroyWindow();

  HWND GetSafeHwnd() const { return m_hwnd; }
  QWidget* GetWidget() const;
  // The window's backing pixels: device contexts draw here (CClientDC,
  // CPaintDC in OnPaint); the paint event copies them to the screen.
  CWindowSurface* GetSurface() const { return m_surface.get(); }
  static CWnd* FromHandle(HWND hwnd);
  CWnd* GetParent() const;
  UINT GetDlgCtrlID() const { return m_id; }
  const std::string& GetClassName() const { return m_className; }
  DWORD GetStyle() const { return m_style; }
  void ModifyStyle(DWORD remove, DWORD add);

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

  // The window's own procedure: dispatches to the handlers. Override to see
  // every message; call the base for the rest.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The default handling of the message being handled now.
  LRESULT Default();

  // Geometry and visibility.
  CRect GetClientRect() const;
  CRect GetWindowRect() const;  // screen pixels
  CPoint ClientToScreen(CPoint p) const;
  CPoint ScreenToClient(CPoint p) const;
  void MoveWindow(const CRect& rect, bool repaint = true);
  bool ShowWindow(int cmd);
  bool IsWindowVisible() const;
  void SetWindowText(std::string_view text);
  std::string GetWindowText() const;
  void EnableWindow(bool enable);
  bool IsWindowEnabled() const;

  // Repainting: the surface's invalid region, painted (WM_ERASEBKGND with a
  // context on the surface, then WM_PAINT) at the next event loop turn or at
  // once by UpdateWindow; a paint handler that draws nothing validates it.
  void Invalidate(bool erase = true);
  void InvalidateRect(const CRect* rect, bool erase = true);
  void ValidateRect(const CRect* rect);
  void UpdateWindow();

  // Timers by the program's own ids: WM_TIMER with the id. A second SetTimer
  // with the same id restarts it. During a modal gesture ticks are held back
  // and delivered once when it ends.
  UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs);
  bool KillTimer(UINT_PTR id);
  bool HasTimer(UINT_PTR id) const;

  // Capture, focus, activation.
  CWnd* SetCapture();
  CWnd* SetFocus();
  void SetActiveWindow();
  CWnd* GetTopLevelParent();

  // Window scroll bars (shown with WS_HSCROLL / WS_VSCROLL): range, page and
  // position with the usual clamping (position 0..max - max(page - 1, 0)).
  bool SetScrollInfo(int bar, const SCROLLINFO& info, bool redraw = true);
  bool GetScrollInfo(int bar, SCROLLINFO* info, UINT mask = SIF_ALL) const;
  int SetScrollPos(int bar, int pos, bool redraw = true);
  int GetScrollPos(int bar) const;
  void SetScrollRange(int bar, int minPos, int maxPos, bool redraw = true);
  void GetScrollRange(int bar, int* minPos, int* maxPos) const;
  int GetScrollLimit(int bar) const;
  void ShowScrollBar(int bar, bool show = true);
  void EnableScrollBarCtrl(int bar, bool enable = true);
  // Moves the client contents by (dx, dy) and invalidates what was uncovered.
  void ScrollWindow(int dx, int dy, const CRect* scroll = nullptr, const CRect* clip = nullptr);

  // Sees key and mouse messages before they are dispatched, first for the
  // target window, then for each parent; true: taken (not dispatched).
  virtual bool PreTranslateMessage(MSG*) { return false; }

  // Command routing: a command is offered to this window's own table, then
  // (when there is no handler) to the parent chain's routing as frames do.
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);

  // Handlers. The defaults do the default handling.
  virtual int OnCreate();
  virtual void OnDestroy();
  virtual void OnPaint();
  virtual BOOL OnEraseBkgnd(CDC* dc);
  virtual void OnSize(UINT type, int cx, int cy);
  virtual void OnMove(int x, int y);
  virtual void OnShowWindow(BOOL show, UINT status);
  virtual void OnActivate(UINT state, CWnd* other, BOOL minimized);
  virtual void OnSetFocus(CWnd* oldWnd);
  virtual void OnKillFocus(CWnd* newWnd);
  virtual void OnClose();
  virtual void OnTimer(UINT_PTR id);
  virtual void OnKeyDown(UINT ch, UINT repCnt, UINT flags);
  virtual void OnKeyUp(UINT ch, UINT repCnt, UINT flags);
  virtual void OnChar(UINT ch, UINT repCnt, UINT flags);
  virtual void OnMouseMove(UINT flags, CPoint point);
  virtual void OnLButtonDown(UINT flags, CPoint point);
  virtual void OnLButtonUp(UINT flags, CPoint point);
  virtual void OnLButtonDblClk(UINT flags, CPoint point);
  virtual void OnRButtonDown(UINT flags, CPoint point);
  virtual void OnRButtonUp(UINT flags, CPoint point);
  virtual void OnRButtonDblClk(UINT flags, CPoint point);
  virtual void OnHScroll(UINT code, UINT pos, CWnd* scrollBar);
  virtual void OnVScroll(UINT code, UINT pos, CWnd* scrollBar);
  virtual BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
  virtual void OnContextMenu(CWnd* wnd, CPoint screenPoint);
  virtual void OnSysColorChange();
  virtual void OnDisplayChange(UINT bitsPerPixel, int cx, int cy);
  virtual void OnCancelMode();
  virtual void OnCaptureChanged(CWnd* wnd);
  // Owner-drawn items of the window's controls (owner_draw.h).
  virtual void OnDrawItem(int ctlId, DRAWITEMSTRUCT* dis);
  virtual void OnMeasureItem(int ctlId, MEASUREITEMSTRUCT* mis);

 private:
  friend class CWndWidget;
  friend struct WindowHandle;
  struct ScrollBarState {
    SCROLLINFO info;
    bool shown = false;
    bool enabled = true;
  };

  void OnWidgetGone();
  void PaintFromSurface(const class QRegion& region);
  ScrollBarState& Bar(int bar) { return bar == SB_VERT ? m_vbar : m_hbar; }
  const ScrollBarState& Bar(int bar) const { return bar == SB_VERT ? m_vbar : m_hbar; }

  HWND m_hwnd = nullptr;
  class CWndWidget* m_widget = nullptr;
  std::unique_ptr<CWindowSurface> m_surface;
  std::string m_className;
  DWORD m_style = 0;
  UINT m_id = 0;
  std::map<UINT_PTR, int> m_timers;  // program id -> Qt timer id
  ScrollBarState m_hbar;
  ScrollBarState m_vbar;
  // The message being handled (for Default).
  // The invalid area was added only without erasing (Invalidate(false) on a
  // valid window): the next paint sends no WM_ERASEBKGND.
  bool m_noErase = false;
  void NoteInvalidate(bool erase);
  UINT m_curMsg = 0;
  WPARAM m_curW = 0;
  LPARAM m_curL = 0;
};

// Sends through the window's procedure chain; 0 for a dead handle.
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// Queues the message; it is delivered (through the trampoline) at a later
// event loop turn, never during a modal gesture, and dropped when the
// window is destroyed first. False for a dead handle.
bool PostMessage(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// The default handling of a message.
// Window scroll bars: the width of a vertical one, the height of a horizontal one.
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
int GetSystemMetrics(int index);

LRESULT DefWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Subclassing: installs proc as the window's procedure and returns the one it
// replaces (null for a dead handle).
WNDPROC SetWindowProc(HWND hwnd, WNDPROC proc);
WNDPROC GetWindowProc(HWND hwnd);
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
bool IsWindow(HWND hwnd);

// Capture and focus (process-wide).
HWND SetCapture(HWND hwnd);
bool ReleaseCapture();
HWND GetCapture();
HWND SetFocus(HWND hwnd);
HWND GetFocus();
HWND GetActiveWindow();

// The window of the active drawing view: floating windows and controls give
// the activation back to it after a click (ReturnActivationToView).
void SetActiveViewWindow(HWND hwnd);
HWND GetActiveViewWindow();
void ReturnActivationToView();

// Sends WM_DISPLAYCHANGE to every live top-level window and WM_SYSCOLORCHANGE
// when colours changed (the screen-resolution and system-colour notices). The
// default handling of WM_DISPLAYCHANGE in a top-level window sends it on to
// every window inside it.
void BroadcastDisplayChange(UINT bitsPerPixel, int cx, int cy);
void BroadcastSysColorChange();

// The number of live windows (tests check for leaks).
int LiveWindowCount();
