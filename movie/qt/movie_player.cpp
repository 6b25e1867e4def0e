#include "movie/qt/movie_player.h"

#include "movie/qt/player_window.h"
#include "platform/qt/input.h"
#include "platform/qt/messages.h"
#include "platform/qt/wnd.h"

CMoviePlayer::CMoviePlayer() : m_core(*this, MovieReaderMode::kEditor, PlayerOptions::Editor()) {
  JoinPaletteViews(this);
}

CMoviePlayer::~CMoviePlayer() {
  LeavePaletteViews(this);
  m_core.Stop();
  m_window.reset();
  m_core.ResetMovie();
}

void CMoviePlayer::SetWindow(HWND hwnd) {
  m_core.WindowChanging();
  m_window.reset();
  if (hwnd && CWnd::FromHandle(hwnd))
    m_window =
        std::make_unique<CPlayerWindowSide>(m_core, hwnd, static_cast<IPlayerPaletteState*>(this));
  m_core.WindowChanged();
}

HWND CMoviePlayer::Window() const {
  return m_window ? m_window->Handle() : nullptr;
}

void CMoviePlayer::LoadMovie(const uint8_t* data, size_t length) {
  m_core.ResetMovie();
  m_core.Feed(data, length);
}

LRESULT CMoviePlayer::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    if (m_window && hwnd == m_window->Handle()) return Handle(hwnd, message, wParam, lParam);
  } catch (...) {
    // A fault while handling a message pauses the movie.
    m_core.Stop();
    return 0;
  }
  return DefWindowProc(hwnd, message, wParam, lParam);
}

LRESULT CMoviePlayer::Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const Point32 point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (message) {
    case WM_SIZE: {
      const LRESULT result = DefWindowProc(hwnd, message, wParam, lParam);
      if (m_core.Display().TrackedButton())
        StartTimer(CPlayerCore::kButtonWatchTimer, CPlayerCore::kButtonWatchMs);
      m_core.FreeOffscreen();
      return result;
    }
    case WM_PAINT:
      m_window->OnPaint();
      return DefWindowProc(hwnd, message, wParam, lParam);
    case WM_SETCURSOR:
      if (LOWORD(static_cast<uintptr_t>(lParam)) == HTCLIENT && m_window->OnSetCursor()) return 1;
      return DefWindowProc(hwnd, message, wParam, lParam);
    case WM_COMMAND:
      if (m_core.OnCommand(LOWORD(wParam))) return 0;
      return DefWindowProc(hwnd, message, wParam, lParam);
    case WM_ERASEBKGND:
      return 0;
    case WM_TIMER:
      if (wParam == CPlayerCore::kFrameTimer) {
        m_core.OnTimer(false);
      } else if (wParam == CPlayerCore::kButtonWatchTimer) {
        m_core.OnButtonWatch();
      } else {
        return DefWindowProc(hwnd, message, wParam, lParam);
      }
      return 0;
    case WM_MOUSEMOVE:
      m_core.OnMouseMove(point);
      return 0;
    case WM_LBUTTONDOWN:
      // Ends with a mouse move, which starts the button watch.
      m_window->OnLButtonDown(point);
      return 0;
    case WM_LBUTTONUP:
      return 0;
    case WM_RBUTTONDOWN:
      m_window->OnRButtonDown(point);
      return 0;
    case WM_QUERYNEWPALETTE:
      return m_window->OnQueryNewPalette();
    case WM_PALETTECHANGED: {
      LRESULT result = 0;
      if (m_window->OnPaletteChanged(reinterpret_cast<HWND>(wParam), result)) return result;
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
  m_core.FreeOffscreen();
}

CWnd* CMoviePlayer::PaletteWindow() {
  return m_window ? CWnd::FromHandle(m_window->Handle()) : nullptr;
}

void CMoviePlayer::OpenURL(const std::string&, const std::string&) {}
void CMoviePlayer::ShowStatus(const std::string&) {}

bool CMoviePlayer::HasWindow() {
  return m_window && m_window->Live();
}
WinRect CMoviePlayer::ClientRect() {
  return m_window ? m_window->ClientRect() : WinRect{};
}
void CMoviePlayer::Invalidate(const WinRect& area) {
  if (m_window) m_window->Invalidate(area);
}
void CMoviePlayer::PaintNow(const WinRect& area) {
  if (m_window) m_window->PaintNow(area);
}
bool CMoviePlayer::XorFrameNow(const WinRect& frame) {
  return m_window && m_window->XorFrameNow(frame);
}
void CMoviePlayer::StartTimer(int id, uint32_t periodMs) {
  if (m_window) m_window->StartTimer(id, periodMs);
}
void CMoviePlayer::StopTimer(int id) {
  if (m_window) m_window->StopTimer(id);
}
uint32_t CMoviePlayer::TimeMs() {
  return GetTickCount();
}
bool CMoviePlayer::PollMouse(Point32& client) {
  return m_window && m_window->PollMouse(client);
}
void CMoviePlayer::GetUrl(const std::string& url, const std::string& target) {
  OpenURL(url, target);
}
