// CMoviePlayer: the editor's movie player. It plays a movie in a window of
// the editor through the shared player core with the editor's rules (its
// own menus and cursors, zoom by fixed factors, "Zoom In Context", timer 2
// releasing a highlighted button once the cursor left the window, view
// updates that only invalidate, URLs and status texts that go nowhere, no
// printing). The window is not subclassed: its procedure forwards its
// messages to WindowProc. On palette screens it paints with the
// application palette and, as a palette view, drops its bitmap when that
// palette is reset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "movie/player/player_core.h"
#include "movie/qt/player_palette.h"
#include "platform/qt/win_types.h"
#include "render/gdi/app_palette.h"

class CPlayerWindowSide;

class CMoviePlayer : private IPlayerSite, private IPlayerPaletteState, private CPaletteView {
 public:
  CMoviePlayer();
  ~CMoviePlayer() override;
  CMoviePlayer(const CMoviePlayer&) = delete;
  CMoviePlayer& operator=(const CMoviePlayer&) = delete;

  // The window to play in (or none): a playing movie stops and resumes in
  // the new window.
  void SetWindow(HWND hwnd);
  HWND Window() const;
  // The whole movie at once: read, frame 0 shown; a movie of more than one
  // frame plays.
  void LoadMovie(const uint8_t* data, size_t length);

  // The window's messages; unlisted ones get the default handling.
  LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  CPlayerCore& Core() { return m_core; }
  // Get-URL requests go to the URL opener, status texts nowhere: both do
  // nothing in the editor.
  void OpenURL(const std::string& url, const std::string& target);
  void ShowStatus(const std::string& text) override;

 private:
  bool HasWindow() override;
  WinRect ClientRect() override;
  void Invalidate(const WinRect& area) override;
  void PaintNow(const WinRect& area) override;
  bool XorFrameNow(const WinRect& frame) override;
  void StartTimer(int id, uint32_t periodMs) override;
  void StopTimer(int id) override;
  uint32_t TimeMs() override;
  bool PollMouse(Point32& client) override;
  void GetUrl(const std::string& url, const std::string& target) override;

  // The application palette; a changed system palette resets it.
  CPalette* PlayerPalette() override;
  void CheckSystemPalette() override;
  void DropOffscreenBitmap() override;
  CWnd* PaletteWindow() override;

  LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  std::unique_ptr<CPlayerWindowSide> m_window;
  CPlayerCore m_core;
};
