#include "window_fixture.h"

#include <QElapsedTimer>

LRESULT CLogWnd::WindowProc(UINT message, WPARAM w, LPARAM l) {
  std::string entry;
  CPoint p(GET_X_LPARAM(l), GET_Y_LPARAM(l));
  std::string at = " " + std::to_string(p.x) + "," + std::to_string(p.y);
  switch (message) {
    case WM_LBUTTONDOWN:
      entry = "ldown" + at;
      break;
    case WM_LBUTTONUP:
      entry = "lup" + at;
      break;
    case WM_LBUTTONDBLCLK:
      entry = "ldbl" + at;
      break;
    case WM_RBUTTONDOWN:
      entry = "rdown" + at;
      break;
    case WM_RBUTTONUP:
      entry = "rup" + at;
      break;
    case WM_CONTEXTMENU:
      entry = "contextmenu";
      break;
    case WM_MOUSEMOVE:
      if (logMoves) entry = "move" + at;
      break;
    case WM_KEYDOWN:
      entry = "keydown " + std::to_string(w) + ((l & (1 << 30)) ? " repeat" : "");
      break;
    case WM_KEYUP:
      entry = "keyup " + std::to_string(w);
      break;
    case WM_CHAR:
      entry = "char " + std::to_string(w);
      break;
    case WM_SETFOCUS:
      entry = "setfocus";
      break;
    case WM_KILLFOCUS:
      entry = "killfocus";
      break;
    case WM_TIMER:
      entry = "timer " + std::to_string(w);
      break;
    case WM_CREATE:
      entry = "create";
      break;
    case WM_DESTROY:
      entry = "destroy";
      break;
    case WM_SIZE:
      entry = "size " + std::to_string(LOWORD(l)) + "x" + std::to_string(HIWORD(l));
      break;
    case WM_CLOSE:
      entry = "close";
      break;
    case WM_USER:
    case WM_USER + 1:
    case WM_USER + 2:
      entry = "user+" + std::to_string(message - WM_USER) + " " + std::to_string(w) + " " +
              std::to_string(l);
      break;
    default:
      break;
  }
  if (!entry.empty()) log.push_back(entry);
  return CWnd::WindowProc(message, w, l);
}

void CreateTestWindow(CWnd& wnd, std::string_view className, CRect rect, DWORD style) {
  ASSERT_TRUE(wnd.Create(className, "test", style, rect, nullptr, 0));
}

bool SpinUntil(const std::function<bool()>& cond, int maxMs) {
  QElapsedTimer t;
  t.start();
  while (!cond()) {
    if (t.elapsed() > maxMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}
