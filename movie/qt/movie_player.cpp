#include "movie/qt/movie_player.h"

#include "movie/qt/player_window.h"
#include "platform/qt/input.h"
#include "platform/qt/messages.h"
#include "platform/qt/wnd.h"

CMoviePlayer::CMoviePlayer() : core_(*this, MovieReaderMode::kEditor, PlayerOptions::Editor()) {
  JoinPaletteViews(this);
}

CMoviePlayer::~CMoviePlayer() {
  LeavePaletteViews(this);
  core_.Stop();
  window_.reset();
  core_.ResetMovie();
}

void CMoviePlayer::SetWindow(HWND hwnd) {
  core_.WindowChanging();
  window_.reset();
  if (hwnd && CWnd::FromHandle(hwnd))
    window_ =
        std::make_unique<CPlayerWindowSide>(core_, hwnd, static_cast<IPlayerPaletteState*>(this));
  core_.WindowChanged();
}

HWND CMoviePlayer::Window() const {
  return window_ ? window_->Handle() : nullptr;
}

void CMoviePlayer::LoadMovie(const uint8_t* data, size_t length) {
  core_.ResetMovie();
  core_.Feed(data, length);
}

LRESULT CMoviePlayer::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (window_ && hwnd == window_->Handle()) return Handle(hwnd, message, wParam, lParam);
  } catch (...) {
    // A fault while handling a message pauses the movie.
    core_.Stop();
    return 0;
  }
  return DefWindowProc(hwnd, message, wParam, lParam);
}

LRESULT CMoviePlayer::Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const Point32 point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (message) {
    case WM_SIZE: {
      const LRESULT result = DefWindowProc(hwnd, message, wParam, lParam);
      if (core_.Display().TrackedButton())
        StartTimer(CPlayerCore::kButtonWatchTimer, CPlayerCore::kButtonWatchMs);
      core_.FreeOffscreen();
      return result;
    }
    case WM_PAINT:
      window_->OnPaint();
      return DefWindowProc(hwnd, message, wParam, lParam);
    case WM_SETCURSOR:
      if (LOWORD(static_cast<uintptr_t>(lParam)) == HTCLIENT && window_->OnSetCursor()) return 1;
      return DefWindowProc(hwnd, message, wParam, lParam);
    case WM_COMMAND:
      if (core_.OnCommand(LOWORD(wParam))) return 0;
      return DefWindowProc(hwnd, message, wParam, lParam);
    case WM_ERASEBKGND:
      return 0;
    case WM_TIMER:
      if (wParam == CPlayerCore::kFrameTimer) {
        core_.OnTimer(false);
      } else if (wParam == CPlayerCore::kButtonWatchTimer) {
        core_.OnButtonWatch();
      } else {
        return DefWindowProc(hwnd, message, wParam, lParam);
      }
      return 0;
    case WM_MOUSEMOVE:
      core_.OnMouseMove(point);
      return 0;
    case WM_LBUTTONDOWN:
      // Ends with a mouse move, which starts the button watch.
      window_->OnLButtonDown(point);
      return 0;
    case WM_LBUTTONUP:
      return 0;
    case WM_RBUTTONDOWN:
      window_->OnRButtonDown(point);
      return 0;
    case WM_QUERYNEWPALETTE:
      return window_->OnQueryNewPalette();
    case WM_PALETTECHANGED: {
      LRESULT result = 0;
      if (window_->OnPaletteChanged(reinterpret_cast<HWND>(wParam), result)) return result;
      return DefWindowProc(hwnd, message, wParam, lParam);
    }
    default:
      return DefWindowProc(hwnd, message, wParam, lParam);
  }
}

CPalette* CMoviePlayer::PlayerPalette() {
  return GetAppPalette();
}

void CMoviePlayer::CheckSystemPalette() {
  if (CPalette* palette = GetAppPalette(); palette && !SystemPaletteHolds(*palette))
    ResetAppPalette();
}

void CMoviePlayer::DropOffscreenBitmap() {
  core_.FreeOffscreen();
}

CWnd* CMoviePlayer::PaletteWindow() {
  return window_ ? CWnd::FromHandle(window_->Handle()) : nullptr;
}

void CMoviePlayer::OpenURL(const std::string&, const std::string&) {}
void CMoviePlayer::ShowStatus(const std::string&) {}

bool CMoviePlayer::HasWindow() {
  return window_ && window_->Live();
}
WinRect CMoviePlayer::ClientRect() {
  return window_ ? window_->ClientRect() : WinRect{};
}
void CMoviePlayer::Invalidate(const WinRect& area) {
  if (window_) window_->Invalidate(area);
}
void CMoviePlayer::PaintNow(const WinRect& area) {
  if (window_) window_->PaintNow(area);
}
bool CMoviePlayer::XorFrameNow(const WinRect& frame) {
  return window_ && window_->XorFrameNow(frame);
}
void CMoviePlayer::StartTimer(int id, uint32_t periodMs) {
  if (window_) window_->StartTimer(id, periodMs);
}
void CMoviePlayer::StopTimer(int id) {
  if (window_) window_->StopTimer(id);
}
uint32_t CMoviePlayer::TimeMs() {
  return GetTickCount();
}
bool CMoviePlayer::PollMouse(Point32& client) {
  return window_ && window_->PollMouse(client);
}
void CMoviePlayer::GetUrl(const std::string& url, const std::string& target) {
  OpenURL(url, target);
}
