// The window side of a movie player over the platform layer: the window's
// pixels in a backing surface that the player paints through device
// contexts, XOR frames drawn at once, timers by id, the mouse through the
// input source, the player's cursor, its popup menu with the player's own
// item states, and its palette on palette screens. The plug-in's player and
// the editor's player use it.
#pragma once

#include <memory>

#include "movie/player/player_core.h"
#include "platform/qt/win_types.h"

class CDC;
class CWindowSurface;
class IPlayerPaletteState;

class CPlayerWindowSide {
 public:
  // The palette state (or none) is the player's for painting and the
  // palette messages; it outlives this object.
  CPlayerWindowSide(CPlayerCore& core, HWND hwnd, IPlayerPaletteState* palette = nullptr);
  // Kills the player's timers and asks for a repaint of the window.
  ~CPlayerWindowSide();
  CPlayerWindowSide(const CPlayerWindowSide&) = delete;
  CPlayerWindowSide& operator=(const CPlayerWindowSide&) = delete;

  HWND Handle() const { return m_hwnd; }
  bool Live() const;

  // What the player core asks of its site.
  WinRect ClientRect();
  void Invalidate(const WinRect& area);
  void PaintNow(const WinRect& area);
  bool XorFrameNow(const WinRect& frame);
  void StartTimer(int id, uint32_t periodMs);
  void StopTimer(int id);
  // Inside a press (OnLButtonDown): pumps the input source once. Otherwise
  // only reads where the cursor is, and the button counts as up.
  bool PollMouse(Point32& client);

  // Messages handled alike by both players.
  void OnPaint();
  // WM_SETCURSOR in the client area: true when the player set its cursor.
  bool OnSetCursor();
  // The player's press, with its modal loops polling the input source.
  void OnLButtonDown(const Point32& point);
  // Opens the player's popup menu at the point; the choice comes back as
  // WM_COMMAND through the window's procedure (this object may be gone).
  void OnRButtonDown(const Point32& point);
  // WM_QUERYNEWPALETTE: the cube palette realised in the foreground, the
  // system palette checked, the player's palette realised; 1, or 0 without
  // a cube palette (no palette screen).
  LRESULT OnQueryNewPalette();
  // WM_PALETTECHANGED from another window: the system palette checked and
  // the player's palette realised; 0. False for the window's own change
  // (left to the next procedure).
  bool OnPaletteChanged(HWND changer, LRESULT& result);

 private:
  CWindowSurface* Surface() const;
  // Selects and realises the player's palette, when there is one.
  void SelectPlayerPalette(CDC& dc, bool background);

  CPlayerCore& m_core;
  HWND m_hwnd;
  IPlayerPaletteState* m_palette;
  bool m_pressing = false;
};
