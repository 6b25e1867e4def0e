// Messages from Qt's events: handler sequences, double clicks by class,
// timers by program id, posted messages, subclassing chains and the
// exception trampoline.
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <stdexcept>

#include "platform/core/exceptions.h"
#include "platform/qt/cursors.h"
#include "platform/qt/guard.h"
#include "platform/qt/message_box.h"
#include "window_fixture.h"

namespace {

void SendMouse(CWnd& wnd, QEvent::Type type, QPoint p, Qt::MouseButton b, Qt::MouseButtons bs,
               Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QWidget* w = wnd.GetWidget();
  QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), b, bs, mods);
  QCoreApplication::sendEvent(w, &e);
}

void SendKey(CWnd& wnd, QEvent::Type type, int key, const QString& text, bool repeat,
             Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent e(type, key, mods, text, repeat);
  QCoreApplication::sendEvent(wnd.GetWidget(), &e);
}

// Qt's order for a double click: press, release, double click, release.
void DoubleClick(CWnd& wnd, QPoint p) {
  SendMouse(wnd, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
  SendMouse(wnd, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
  SendMouse(wnd, QEvent::MouseButtonDblClick, p, Qt::LeftButton, Qt::LeftButton);
  SendMouse(wnd, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
}

using Log = std::vector<std::string>;

TEST_F(WindowTest, DoubleClicksReachOnlyClassesThatAskForThem) {
  RegisterWindowClass("TestDblClk", CS_DBLCLKS);
  RegisterWindowClass("TestNoDblClk", 0);
  struct Case {
    const char* cls;
    Log expected;
  } cases[] = {
      {"TestDblClk", {"ldown 5,6", "lup 5,6", "ldbl 5,6", "lup 5,6"}},
      {"TestNoDblClk", {"ldown 5,6", "lup 5,6", "ldown 5,6", "lup 5,6"}},
  };
  for (const Case& c : cases) {
    CLogWnd wnd;
    CreateTestWindow(wnd, c.cls);
    wnd.log.clear();
    DoubleClick(wnd, {5, 6});
    EXPECT_EQ(wnd.log, c.expected) << c.cls;
  }
}

TEST_F(WindowTest, KeysSplitIntoKeyDownCharacterAndKeyUpWithAutoRepeat) {
  CLogWnd wnd;
  CreateTestWindow(wnd);
  wnd.log.clear();
  SendKey(wnd, QEvent::KeyPress, Qt::Key_A, "a", false);
  SendKey(wnd, QEvent::KeyPress, Qt::Key_A, "a", true);
  SendKey(wnd, QEvent::KeyRelease, Qt::Key_A, "a", true);  // between repeats: no key-up
  SendKey(wnd, QEvent::KeyPress, Qt::Key_A, "a", true);
  SendKey(wnd, QEvent::KeyRelease, Qt::Key_A, "a", false);
  SendKey(wnd, QEvent::KeyPress, Qt::Key_Backspace, "", false);
  SendKey(wnd, QEvent::KeyPress, Qt::Key_Left, "", false);
  SendKey(wnd, QEvent::KeyPress, Qt::Key_Z, "z", false, Qt::ControlModifier);
  Log expected = {"keydown 65", "char 97",  "keydown 65 repeat", "char 97", "keydown 65 repeat",
                  "char 97",    "keyup 65", "keydown 8",         "char 8",  "keydown 37",
                  "keydown 90", "char 26"};
  EXPECT_EQ(wnd.log, expected);
}

TEST_F(WindowTest, FocusSizeRightButtonAndCloseArriveAsTheirMessages) {
  CLogWnd wnd;
  CreateTestWindow(wnd);
  wnd.log.clear();
  QFocusEvent in(QEvent::FocusIn);
  QCoreApplication::sendEvent(wnd.GetWidget(), &in);
  QFocusEvent out(QEvent::FocusOut);
  QCoreApplication::sendEvent(wnd.GetWidget(), &out);
  wnd.GetWidget()->resize(300, 120);
  SendMouse(wnd, QEvent::MouseButtonPress, {7, 8}, Qt::RightButton, Qt::RightButton);
  SendMouse(wnd, QEvent::MouseButtonRelease, {7, 8}, Qt::RightButton, Qt::NoButton);
  wnd.GetWidget()->close();
  Log expected = {"setfocus", "killfocus",   "size 300x120", "rdown 7,8",
                  "rup 7,8",  "contextmenu", "close",        "destroy"};
  EXPECT_EQ(wnd.log, expected);
  EXPECT_FALSE(IsWindow(wnd.GetSafeHwnd()));
}

TEST_F(WindowTest, CreateFailureDestroysTheWindow) {
  struct CRefuse : CLogWnd {
    int OnCreate() override { return -1; }
  } wnd;
  EXPECT_FALSE(wnd.Create("PL_Default", "x", 0, {0, 0, 10, 10}, nullptr, 0));
  EXPECT_EQ(wnd.log, (Log{"create", "destroy"}));
  EXPECT_FALSE(wnd.Create("NoSuchClass", "x", 0, {0, 0, 10, 10}, nullptr, 0));
}

TEST_F(WindowTest, TimersArriveWithTheProgramsIds) {
  CLogWnd wnd;
  CreateTestWindow(wnd);
  for (UINT_PTR id : {UINT_PTR{14}, UINT_PTR{125}, UINT_PTR{0xE002}}) wnd.SetTimer(id, 2);
  auto seen = [&](UINT_PTR id) {
    return std::find(wnd.log.begin(), wnd.log.end(), "timer " + std::to_string(id)) !=
           wnd.log.end();
  };
  EXPECT_TRUE(SpinUntil([&] { return seen(14) && seen(125) && seen(0xE002); }));
  EXPECT_TRUE(wnd.KillTimer(14));
  EXPECT_FALSE(wnd.KillTimer(14));
  wnd.KillTimer(125);
  wnd.KillTimer(0xE002);
  wnd.log.clear();
  QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_TRUE(wnd.log.empty());
}

TEST_F(WindowTest, PostedMessagesArriveLaterInOrderAndNotAfterDestruction) {
  CLogWnd wnd;
  CreateTestWindow(wnd);
  wnd.log.clear();
  EXPECT_TRUE(wnd.PostMessage(WM_USER, 3, 0));
  EXPECT_TRUE(PostMessage(wnd.GetSafeHwnd(), WM_USER + 2, 7, 9));
  EXPECT_TRUE(wnd.log.empty());
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(wnd.log, (Log{"user+0 3 0", "user+2 7 9"}));

  CLogWnd gone;
  CreateTestWindow(gone);
  HWND h = gone.GetSafeHwnd();
  gone.PostMessage(WM_USER + 1);
  gone.DestroyWindow();
  gone.log.clear();
  QCoreApplication::sendPostedEvents();
  EXPECT_TRUE(gone.log.empty());
  EXPECT_FALSE(PostMessage(h, WM_USER));
  EXPECT_EQ(SendMessage(h, WM_USER), 0);
}

// Subclassing: two procedures in front of the window's own; each handles
// its message and passes the rest on.
WNDPROC g_prevA = nullptr;
WNDPROC g_prevB = nullptr;
Log g_chainLog;

LRESULT ProcA(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_USER + 1) {
    g_chainLog.push_back("A");
    return 11;
  }
  return CallWindowProc(g_prevA, h, m, w, l);
}

LRESULT ProcB(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_USER + 2) {
    g_chainLog.push_back("B");
    return 22;
  }
  return CallWindowProc(g_prevB, h, m, w, l);
}

TEST_F(WindowTest, SubclassingChainsPassUnhandledMessagesOn) {
  CLogWnd wnd;
  CreateTestWindow(wnd);
  HWND h = wnd.GetSafeHwnd();
  g_chainLog.clear();
  g_prevA = SetWindowProc(h, &ProcA);
  g_prevB = SetWindowProc(h, &ProcB);
  EXPECT_EQ(GetWindowProc(h), &ProcB);
  wnd.log.clear();
  EXPECT_EQ(SendMessage(h, WM_USER + 1, 1, 2), 11);
  EXPECT_EQ(SendMessage(h, WM_USER + 2, 1, 2), 22);
  SendMessage(h, WM_USER, 5, 6);  // reaches the window's own procedure
  EXPECT_EQ(g_chainLog, (Log{"A", "B"}));
  EXPECT_EQ(wnd.log, (Log{"user+0 5 6"}));
  // Qt's events pass the chain too.
  SendMouse(wnd, QEvent::MouseButtonPress, {1, 2}, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(wnd.log.back(), "ldown 1,2");
  // Taking the subclass out again.
  EXPECT_EQ(SetWindowProc(h, g_prevB), &ProcB);
  EXPECT_EQ(SetWindowProc(h, g_prevA), &ProcA);
  wnd.log.clear();
  SendMessage(h, WM_USER + 1, 0, 0);
  EXPECT_EQ(wnd.log, (Log{"user+1 0 0"}));
}

TEST_F(WindowTest, ExceptionInAHandlerAbortsTheTransactionAndTheApplicationGoesOn) {
  struct CThrowing : CLogWnd {
    int which = 0;
    void OnLButtonDown(UINT, CPoint) override {
      if (which == 0) throw CFileException(CFileException::diskFull);
      if (which == 1) throw CUserException();
      if (which == 2) throw CMemoryException();
      throw std::runtime_error("plain failure");
    }
  } wnd;
  CreateTestWindow(wnd);
  CRecordingMessageBoxSink sink;
  SetMessageBoxSink(&sink);
  int aborted = 0;
  SetEditAbortHook([&](const std::exception* e) {
    EXPECT_NE(e, nullptr);
    ++aborted;
  });
  BeginWaitCursor();
  int caught = GuardedExceptionCount();
  for (int which = 0; which < 4; ++which) {
    wnd.which = which;
    SendMouse(wnd, QEvent::MouseButtonPress, {3, 3}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(wnd, QEvent::MouseButtonRelease, {3, 3}, Qt::LeftButton, Qt::NoButton);
  }
  EXPECT_EQ(GuardedExceptionCount() - caught, 4);
  EXPECT_EQ(aborted, 4);
  EXPECT_EQ(WaitCursorCount(), 0);  // reset by the failure
  // The cancel is quiet; the others are reported.
  ASSERT_EQ(sink.boxes.size(), 3u);
  EXPECT_EQ(sink.boxes[1].help_id, kOutOfMemoryHelpId);
  EXPECT_TRUE(sink.boxes[1].flags & MB_SYSTEMMODAL);
  EXPECT_EQ(sink.boxes[2].text, "plain failure");
  // The window still works.
  wnd.log.clear();
  wnd.PostMessage(WM_USER, 1, 1);
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(wnd.log, (Log{"user+0 1 1"}));
  SetEditAbortHook(nullptr);
  SetMessageBoxSink(nullptr);
}

TEST_F(WindowTest, WindowScrollBarsKeepRangePageAndPosition) {
  CLogWnd wnd;
  CreateTestWindow(wnd, "PL_Default", {0, 0, 200, 100}, WS_VISIBLE);
  EXPECT_EQ(wnd.GetClientRect(), CRect(0, 0, 200, 100));
  wnd.ShowScrollBar(SB_VERT, true);
  EXPECT_TRUE(wnd.GetStyle() & WS_VSCROLL);
  EXPECT_EQ(wnd.GetClientRect().Width(), 200 - 16);  // the bar is outside the client area
  SCROLLINFO si;
  si.fMask = SIF_RANGE | SIF_PAGE;
  si.nMin = 0;
  si.nMax = 499;  // total 500
  si.nPage = 100;
  wnd.SetScrollInfo(SB_VERT, si);
  EXPECT_EQ(wnd.GetScrollLimit(SB_VERT), 400);
  struct {
    int set;
    int expected;
  } positions[] = {{50, 50}, {400, 400}, {401, 400}, {0x7FFFFFFF, 400}, {-5, 0}};
  for (auto p : positions) {
    wnd.SetScrollPos(SB_VERT, p.set);
    EXPECT_EQ(wnd.GetScrollPos(SB_VERT), p.expected) << p.set;
  }
  wnd.ShowScrollBar(SB_VERT, false);
  EXPECT_EQ(wnd.GetClientRect().Width(), 200);
  EXPECT_FALSE(wnd.GetStyle() & WS_VSCROLL);
}

TEST_F(WindowTest, DisplayChangeReachesTopLevelWindows) {
  struct CDisplay : CLogWnd {
    int seen = 0;
    void OnDisplayChange(UINT bpp, int cx, int cy) override {
      EXPECT_EQ(bpp, 32u);
      EXPECT_EQ(cx, 800);
      EXPECT_EQ(cy, 600);
      ++seen;
    }
  } a, b;
  CreateTestWindow(a);
  CreateTestWindow(b);
  BroadcastDisplayChange(32, 800, 600);
  EXPECT_EQ(a.seen + b.seen, 2);
}

TEST_F(WindowTest, WindowsSetTheirCursorsAndTheWaitCursorStays) {
  // Sets the cross over its left half; elsewhere default handling.
  struct CCrossWnd : CLogWnd {
    int asked = 0;
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override {
      ++asked;
      const CPoint p = ScreenToClient(::GetCursorPos());
      if (p.x < 100) {
        SetCursor(LoadStandardCursor(IDC_CROSS));
        return 1;
      }
      return CWnd::OnSetCursor(wnd, hitTest, message);
    }
  } wnd;
  CreateTestWindow(wnd);
  ResetWaitCursor();
  auto moveTo = [&](QPoint p) { SendMouse(wnd, QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton); };
  moveTo({20, 20});
  EXPECT_EQ(GetCursor(), LoadStandardCursor(IDC_CROSS));
  moveTo({150, 20});  // nobody sets one: the widget's own (the arrow)
  EXPECT_EQ(GetCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  moveTo({20, 20});
  BeginWaitCursor();
  const int asked = wnd.asked;
  moveTo({25, 25});
  moveTo({150, 25});
  EXPECT_EQ(wnd.asked, asked);  // not asked while waiting
  EXPECT_EQ(GetCursor(), LoadStandardCursor(IDC_WAIT));
  EndWaitCursor();
  EXPECT_EQ(GetCursor(), LoadStandardCursor(IDC_CROSS));
  // Leaving the window hands the cursor back to the widgets.
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(wnd.GetWidget(), &leave);
  EXPECT_EQ(GetCursor(), nullptr);
}

}  // namespace
