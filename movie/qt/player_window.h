// The window side of a movie player over the platform layer: the window's
// pixels in a backing surface that the player paints through device
// contexts, XOR frames drawn at once, timers by id, the mouse through the
// input source, the player's cursor and its popup menu with the player's
// own item states. The plug-in's player and the editor's player use it.
#pragma once

#include <memory>

#include "movie/player/player_core.h"
#include "platform/qt/win_types.h"

class CWindowSurface;

class CPlayerWindowSide {
 public:
  CPlayerWindowSide(CPlayerCore& core, HWND hwnd);
  // Kills the player's timers and asks for a repaint of the window.
  ~CPlayerWindowSide();
  CPlayerWindowSide(const CPlayerWindowSide&) = delete;
  CPlayerWindowSide& operator=(const CPlayerWindowSide&) = delete;

  HWND Handle() const { return hwnd_; }
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

 private:
  CWindowSurface* Surface() const;

  CPlayerCore& core_;
  HWND hwnd_;
  bool pressing_ = false;
};
