// Shared pieces of the window-layer tests: a window that logs the messages
// its handlers receive, and a fixture that checks no window is left.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <string>
#include <vector>

#include "platform/qt/input.h"
#include "platform/qt/wnd.h"

// Logs every message its procedure sees, by name, with the mouse point or
// key where there is one.
class CLogWnd : public CWnd {
 public:
  std::vector<std::string> log;
  bool logMoves = false;

  LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override;
};

// Creates a visible top-level test window of the class asked for.
void CreateTestWindow(CWnd& wnd, std::string_view className = "PL_Default",
                      CRect rect = {10, 10, 210, 160}, DWORD style = WS_VISIBLE);

class WindowTest : public testing::Test {
 protected:
  void SetUp() override { baseline_ = LiveWindowCount(); }
  void TearDown() override {
    SetInputSource(nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(LiveWindowCount(), baseline_) << "a window was left alive";
  }
  int baseline_ = 0;
};

// Runs the event loop until cond holds or about a second has passed.
bool SpinUntil(const std::function<bool()>& cond, int maxMs = 1000);
