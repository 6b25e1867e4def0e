// The drawing view's benchmarks run in real view windows on Qt's offscreen
// platform: the application, and a frame with the view filling it.
#pragma once

#include <QApplication>

#include "bench/bench_check.h"
#include "platform/qt/wnd.h"
#include "view/marl_view.h"

// Makes the application once (kept to the end of the process).
inline void EnsureOffscreenApp() {
  static QApplication* app = nullptr;
  if (app) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "view_bench";
  static char* argv[] = {name, nullptr};
  app = new QApplication(argc, argv);
}

// A frame window of the given client size (scroll bars included) with the
// view filling it.
inline void CreateViewWindow(CWnd& frame, CMarlView& view, int width, int height) {
  MustBeTrue(frame.Create("PL_Default", "view", WS_VISIBLE, {0, 0, width, height}, nullptr, 0));
  MustBeTrue(view.Create("PL_Default", "", WS_VISIBLE | WS_CHILD | WS_HSCROLL | WS_VSCROLL,
                         {0, 0, width, height}, &frame, 1));
}
