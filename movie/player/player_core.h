// CPlayerCore: a movie playing in a window, without the window.
//
// The player owns a movie being read, the display list that shows it and the
// offscreen bitmap it is rendered into, and plays it: the frame timer and its
// pacing, automatic switching between high and low quality, frame scripts,
// button tracking and actions, zoom and drag-panning, the popup menu's
// commands and states, the render for printing. It reaches its window only
// through a site (client rectangle, invalidation, painting now, timers, the
// clock, the mouse, URLs and the status line), so the plug-in's player, the
// editor's player and the tests each give it one of their own. The two
// players differ in a few rules; `PlayerOptions` holds them.
//
// Nothing here throws on bad movies: the reader reports errors as results,
// and an error while playing pauses the movie.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "geometry/fixed.h"
#include "movie/player/display_list.h"
#include "movie/player/movie_stream.h"
#include "render/raster/offscreen_bitmap.h"

// Where the player draws when a window area is painted.
class IPlayerPaintTarget {
 public:
  virtual ~IPlayerPaintTarget() = default;
  // Copies the area (window pixels, inside the bitmap) from the bitmap.
  virtual void CopyBitmap(const COffscreenBitmap& bitmap, const WinRect& area) = 0;
  // Fills the area with a background colour (0xFF000000 | b << 16 | g << 8 | r).
  virtual void FillColor(const WinRect& area, uint32_t colour) = 0;
  // Draws a rectangle's frame with a white pen in XOR, no fill.
  virtual void XorFrame(const WinRect& frame) = 0;
};

// The window side of a player.
class IPlayerSite {
 public:
  virtual ~IPlayerSite() = default;
  virtual bool HasWindow() = 0;
  // The client rectangle in window pixels (left and top 0).
  virtual WinRect ClientRect() = 0;
  // Marks the area for a later paint, without erasing.
  virtual void Invalidate(const WinRect& area) = 0;
  // Paints the area now: the site makes a paint target clipped to it and
  // calls CPlayerCore::Paint.
  virtual void PaintNow(const WinRect& area) = 0;
  // Draws an XOR frame on the window outside a paint; false when the window
  // has no drawing surface.
  virtual bool XorFrameNow(const WinRect& frame) = 0;
  virtual void StartTimer(int id, uint32_t periodMs) = 0;
  virtual void StopTimer(int id) = 0;
  // A monotonic millisecond clock.
  virtual uint32_t TimeMs() = 0;
  // Pumps input once; the cursor in client pixels; true while the primary
  // button is down. Modal loops call it until it answers false.
  virtual bool PollMouse(Point32& client) = 0;
  // A get-URL request (the target is never empty).
  virtual void GetUrl(const std::string& url, const std::string& target) = 0;
  virtual void ShowStatus(const std::string& text) = 0;
};

// The commands of the popup menu.
enum class PlayerCommand {
  kNone,
  kZoomIn,         // around the centre of the view
  kZoomInContext,  // around the point where the menu was opened
  kZoomOut,
  kShowAll,
  kHighQuality,
  kPlay,
  kLoop,
  kRewind,
  kForward,
  kBack,
  kAbout,
  kNotLoaded,
};

// What differs between the players.
struct PlayerOptions {
  // Menu ids: more than one frame, one frame, header not read.
  int menu_multi = 116, menu_single = 117, menu_not_loaded = 118;
  // Command ids of the menus (0: the command is absent).
  int id_zoom_in = 20042, id_zoom_in_context = 0, id_zoom_out = 20030, id_show_all = 20034,
      id_high_quality = 20028, id_play = 20039, id_loop = 20043, id_rewind = 20025,
      id_forward = 20040, id_back = 20041, id_about = 20044, id_not_loaded = 20045;
  // The plain "Zoom In" zooms around the menu's point rather than the centre.
  bool zoom_in_at_menu_point = true;
  // Zoom by FixedMul with 0x8000 / 0x20000 rather than halving and doubling.
  bool fixed_zoom_factor = false;
  // UpdateView(2) paints at once; otherwise it only invalidates.
  bool redraw2PaintsNow = true;
  // Timer 2 every 250 ms while a button is highlighted releases it when
  // the cursor has left the window.
  bool button_watch = false;
  // Cursors over a tracked button and while zoomed.
  int cursor_button = 103, cursor_zoomed = 102;
  // The levels of the cube palette realised on palette screens.
  std::array<uint8_t, 6> cube_levels = {0, 44, 86, 135, 192, 255};
  // Longest URL and target of a get-URL request (0: no limit).
  size_t max_url = 511, max_target = 255;
  // The maker's information page opened by About.
  std::string about_url = "https://www.quorrin.example/vimbrel/";
  // Shown on mouse moves for movies newer than this player.
  std::string newer_version_notice =
      "This movie needs a newer Vimbrel player: see https://www.quorrin.example/vimbrel/";

  static PlayerOptions Plugin() { return {}; }
  static PlayerOptions Editor();
};

struct PlayerMenuItemState {
  bool present = false;
  bool enabled = false;
  bool checked = false;
};

class CPlayerCore {
 public:
  static constexpr int kFrameTimer = 1;
  static constexpr int kButtonWatchTimer = 2;
  static constexpr uint32_t kButtonWatchMs = 250;
  static constexpr uint32_t kClockMask = 0x7FFFFFFF;
  // Scripted go-tos nest at most this deep.
  static constexpr int kMaxActionDepth = 3;
  // A drag-pan applies its offset once the frame has rested this long.
  static constexpr uint32_t kPanSettleMs = 101;
  // The print bitmap is halved until it is smaller than this.
  static constexpr int64_t kMaxPrintBytes = 800000;

  CPlayerCore(IPlayerSite& site, MovieReaderMode mode, PlayerOptions options);
  ~CPlayerCore();
  CPlayerCore(const CPlayerCore&) = delete;
  CPlayerCore& operator=(const CPlayerCore&) = delete;

  CMovieStream& Movie() { return m_movie; }
  CDisplayList& Display() { return m_display; }
  const COffscreenBitmap& Bitmap() const { return m_bitmap; }
  const PlayerOptions& Options() const { return m_options; }

  // ---- Settings (page parameters) ----
  bool loop = true;
  bool playOnLoad = true;
  bool highQuality = false;
  bool autoQuality = true;
  bool best = false;
  uint32_t scaleFlags = 0;

  // ---- Intake ----
  // Empties the movie; it no longer counts as loaded.
  void ResetMovie();
  // Appends bytes; before the movie counts as loaded, checks whether it now
  // does (frame 0 complete, or every declared byte there without error), then
  // updates the view (2). True when this call loaded it.
  bool Feed(const void* data, size_t length) {
    m_movie.PutData(data, length);
    return m_loaded ? false : CheckLoaded();
  }
  bool Loaded() const { return m_loaded; }

  // ---- Window ----
  // The window was replaced (or removed): the bitmap is dropped; a playing
  // movie stops and resumes on the new window.
  void WindowChanging();
  void WindowChanged();
  // The window was resized: the bitmap is rebuilt at the next paint.
  void FreeOffscreen();

  // ---- Playing ----
  void Play();
  void Stop();
  bool Paused() const { return m_paused; }
  void GotoFrame(int32_t frame);
  int32_t CurrentFrame() const { return m_movie.CurrentFrame(); }
  // A tick of the frame timer (onlyIfDue: skip it before the due time).
  void OnTimer(bool onlyIfDue);
  // Timer 2: releases the highlighted button once the cursor left the window.
  void OnButtonWatch();
  void DoFrameActions();

  // ---- View ----
  // redraw 0: none, 1: paint the change now, 2: as the options say.
  void UpdateView(int redraw);
  // Zooms in or out around a window point, or the view's centre.
  void Zoom(bool in, const Point32* windowPoint);
  void ShowAll();
  bool Zoomed() const { return !m_zoom.IsEmpty(); }
  const Rect32& ZoomRect() const { return m_zoom; }

  // ---- Painting ----
  // Makes the bitmap when there is none and renders the dirty area into it.
  bool PrepareOffscreen();
  // Paints an area of the window (the site calls it).
  void Paint(IPlayerPaintTarget& target, const WinRect& clip);
  void InvalidateDirty();
  void DrawDirty();

  // ---- Mouse ----
  void OnMouseMove(const Point32& p);
  void OnLButtonDown(const Point32& p);
  // The cursor to show in the client area (0: none of the player's).
  int CursorId() const;

  // ---- Menu ----
  // The menu to open at a window point (remembered for the context zoom).
  int PopupMenu(const Point32& p);
  PlayerMenuItemState MenuItem(int commandId) const;
  // Runs a menu command; false when the id is not the player's.
  bool OnCommand(int commandId);
  PlayerCommand CommandOf(int commandId) const;

  // ---- Printing ----
  // Renders the whole frame for a printer of the given depth into `out`, at
  // most width x height pixels (halved together until small enough, never
  // below one pixel); the sizes are updated. False when the header is not
  // read or no bitmap could be made: the caller frames the print area.
  bool RenderForPrint(int64_t& width, int64_t& height, int printerBits, COffscreenBitmap& out);

  // The counters of automatic quality (for tests).
  int32_t LateFrames() const { return m_lateFrames; }
  int32_t EarlyFrames() const { return m_earlyFrames; }
  int32_t FramesCounted() const { return m_framesCounted; }
  int32_t FramesBehind() const { return m_framesBehind; }

 private:
  uint32_t Now() { return m_site.TimeMs() & kClockMask; }
  Matrix2x3 PixelTransform() const;
  WinRect DirtyArea();
  void RunUrlAction(const ActionRecord& action);
  void RunButtonActions(const std::vector<ActionRecord>& actions);
  void DragPan(const Point32& start);
  bool DrawDragRect(const WinRect* frame);
  void SetZoomRect(const Point32& centre, int64_t width, int64_t height);
  void ToggleQuality();
  // Feed's work after appending while the movie is not yet loaded.
  bool CheckLoaded();

  IPlayerSite& m_site;
  PlayerOptions m_options;
  // The display list outlives the movie, which clears it when reset.
  CDisplayList m_display;
  CMovieStream m_movie;
  COffscreenBitmap m_bitmap;
  bool m_loaded = false;
  bool m_paused = true;
  bool m_stopped = false;
  bool m_resume = false;
  uint32_t m_nextDue = 0;
  int32_t m_framesBehind = 0;
  int32_t m_framesSinceSwitch = 1000;
  int32_t m_lateFrames = 0;
  int32_t m_earlyFrames = 0;
  int32_t m_framesCounted = 0;
  int m_actionDepth = 0;
  Rect32 m_zoom;
  WinRect m_dragFrame;
  bool m_dragShown = false;
  Point32 m_menuPoint;
};

// The 226 colours of the players' cube palette: 16 greys (0, 16, ... 224,
// 255), then the 6 x 6 x 6 cube of `levels` with red varying fastest,
// without its 6 greys. Entries are 0x00BBGGRR.
std::vector<uint32_t> PlayerCubeColors(const uint8_t levels[6]);

// The byte budget of a throttled stream: what `limit` bytes per second since
// `arrival` allow beyond `received` (0 when none), computed in 64 bits with
// the elapsed time masked to 31 bits.
int32_t StreamByteBudget(uint32_t now, uint32_t arrival, uint32_t limit, uint64_t received);

// Resolves a get-URL address against the stream's URL: an address holding
// ":" is used as it is; otherwise it follows the base cut after its last
// "/" (or, for a base without a path, the base and a "/"). Empty when the
// request is too long (more than 1023 counted bytes).
std::string ResolvePlayerUrl(const std::string& base, bool hasBase, const std::string& url);
