// Shared pieces of the view window tests: a parent that keeps its one child
// filling its client area, and waiting for a top-level window's geometry.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

#include "platform/qt/messages.h"
#include "platform/qt/wnd.h"

// Keeps its one child filling its client area; may answer the inside
// rectangle query.
class CHost : public CWnd {
 public:
  CWnd* child = nullptr;
  bool answer = false;
  CRect inside;
  LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
    if (message == WM_RECALCPARENT && answer) {
      *reinterpret_cast<CRect*>(l) = inside;
      return 1;
    }
    if (message == WM_SIZE && child != nullptr && child->GetSafeHwnd() != nullptr)
      child->MoveWindow(GetClientRect());
    return CWnd::WindowProc(message, w, l);
  }
};

// Lets a top-level window's new geometry arrive (the platform reports it).
inline void Settle(const std::function<bool()>& done) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}
