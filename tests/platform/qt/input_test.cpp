// Modal gestures: recorded samples, the end of a gesture, timers and
// commands held back, the scripted source and the tablet facade.
#include <QApplication>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QWidget>

#include "platform/qt/tablet.h"
#include "window_fixture.h"

namespace {

// Events made ahead of their delivery each need a device of their own: a
// device keeps the state of its points, which the next event would overwrite.
QMouseEvent* MakeMouse(CWnd& wnd, QEvent::Type type, QPoint p, Qt::MouseButton b,
                       Qt::MouseButtons bs) {
  // Owned by the application, so they go before it does.
  static qint64 next = 100;
  auto* device = new QPointingDevice(
      "test mouse", next++, QInputDevice::DeviceType::Mouse, QPointingDevice::PointerType::Generic,
      QInputDevice::Capability::Position, 1, 3, QString(), QPointingDeviceUniqueId(), qApp);
  QWidget* w = wnd.GetWidget();
  return new QMouseEvent(type, QPointF(p), QPointF(w->mapToGlobal(p)), b, bs, Qt::NoModifier,
                         device);
}

// A window whose left press runs a modal loop and keeps what it saw.
class CDragWnd : public CLogWnd {
 public:
  std::vector<CPoint> points;
  std::vector<uint32_t> times;
  std::vector<bool> shift;
  std::function<void(int turn)> onTurn;
  bool commandRan = false;
  LRESULT commandResult = -1;

  CDragWnd() {
    AddCommand(40001, [this] { commandRan = true; });
  }
  void OnLButtonDown(UINT, CPoint) override {
    int turn = 0;
    while (IsButtonStillDown(GetSafeHwnd())) {
      points.push_back(ScreenToClient(GetCursorPos()));
      times.push_back(GetTickCount());
      shift.push_back(GetAsyncKeyState(VK_SHIFT) < 0);
      if (onTurn) onTurn(turn);
      ++turn;
    }
  }
};

TEST_F(WindowTest, GestureFedTenQueuedMovesRecordsTenSamples) {
  CDragWnd wnd;
  wnd.logMoves = true;
  CreateTestWindow(wnd);
  std::vector<CPoint> expected;
  for (int i = 0; i < 10; ++i) {
    QPoint p(20 + i * 3, 30 + i);
    expected.push_back({p.x(), p.y()});
    QCoreApplication::postEvent(wnd.GetWidget(),
                                MakeMouse(wnd, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton));
  }
  QCoreApplication::postEvent(
      wnd.GetWidget(), MakeMouse(wnd, QEvent::MouseButtonRelease, {50, 50}, Qt::LeftButton, {}));
  wnd.log.clear();
  std::unique_ptr<QMouseEvent> press(
      MakeMouse(wnd, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton));
  QCoreApplication::sendEvent(wnd.GetWidget(), press.get());
  EXPECT_EQ(wnd.points, expected);
  EXPECT_FALSE(IsGestureActive());
  // The recorded moves and the release were the gesture's: no window saw them.
  EXPECT_EQ(wnd.log, (std::vector<std::string>{"ldown 10,10"}));
}

TEST_F(WindowTest, FocusLossEndsAGesture) {
  CDragWnd wnd;
  CreateTestWindow(wnd);
  QWidget* w = wnd.GetWidget();
  for (int i = 0; i < 3; ++i)
    QCoreApplication::postEvent(
        w, MakeMouse(wnd, QEvent::MouseMove, {i, i}, Qt::NoButton, Qt::LeftButton));
  QCoreApplication::postEvent(w, new QFocusEvent(QEvent::FocusOut));
  for (int i = 0; i < 3; ++i)
    QCoreApplication::postEvent(
        w, MakeMouse(wnd, QEvent::MouseMove, {9, i}, Qt::NoButton, Qt::LeftButton));
  std::unique_ptr<QMouseEvent> press(
      MakeMouse(wnd, QEvent::MouseButtonPress, {0, 0}, Qt::LeftButton, Qt::LeftButton));
  QCoreApplication::sendEvent(w, press.get());
  EXPECT_EQ(wnd.points.size(), 3u);
  EXPECT_FALSE(IsGestureActive());
  QCoreApplication::sendPostedEvents();
}

TEST_F(WindowTest, TimersAndPostedMessagesWaitForTheGestureAndCommandsAreRefused) {
  CDragWnd wnd;
  CreateTestWindow(wnd);
  wnd.SetTimer(47, 1);
  wnd.PostMessage(WM_USER + 1, 4, 0);
  size_t logAtPress = 0;
  bool sawTimerInside = false;
  wnd.onTurn = [&](int turn) {
    if (turn == 0) {
      logAtPress = wnd.log.size();
      wnd.commandResult = wnd.SendMessage(WM_COMMAND, 40001, 0);
    }
    for (size_t i = logAtPress; i < wnd.log.size(); ++i) sawTimerInside = true;
    if (turn == 40)  // about 40 ms with the button held
      QCoreApplication::postEvent(wnd.GetWidget(), MakeMouse(wnd, QEvent::MouseButtonRelease,
                                                             {1, 1}, Qt::LeftButton, Qt::NoButton));
  };
  wnd.log.clear();
  std::unique_ptr<QMouseEvent> press(
      MakeMouse(wnd, QEvent::MouseButtonPress, {0, 0}, Qt::LeftButton, Qt::LeftButton));
  QCoreApplication::sendEvent(wnd.GetWidget(), press.get());
  EXPECT_FALSE(sawTimerInside);
  EXPECT_EQ(wnd.commandResult, 0);
  EXPECT_FALSE(wnd.commandRan);
  EXPECT_GE(wnd.points.size(), 40u);
  // Afterwards both arrive.
  auto count = [&](const std::string& s) { return std::count(wnd.log.begin(), wnd.log.end(), s); };
  EXPECT_TRUE(SpinUntil([&] { return count("timer 47") > 0; }));
  wnd.KillTimer(47);
  EXPECT_EQ(count("user+1 4 0"), 1);
  // Outside a gesture the command runs.
  EXPECT_EQ(wnd.SendMessage(WM_COMMAND, 40001, 0), 1);
  EXPECT_TRUE(wnd.commandRan);
}

TEST_F(WindowTest, ScriptedInputDrivesAGestureWithAFakeClock) {
  CScriptedInputSource script;
  SetInputSource(&script);
  CDragWnd wnd;
  CreateTestWindow(wnd);
  SetTabletPresent(true);
  LOGCONTEXTA lc{};
  ASSERT_EQ(WTInfoA(WTI_DEFSYSCTX, 0, &lc), sizeof(LOGCONTEXTA));
  HCTX ctx = WTOpenA(wnd.GetSafeHwnd(), &lc, 1);
  ASSERT_NE(ctx, nullptr);
  CPoint origin = wnd.ClientToScreen({0, 0});
  for (int i = 0; i < 5; ++i) {
    InputSample s;
    s.time = 100 + i * 10;
    s.screen = origin + CPoint(i, 2 * i);
    s.buttons = MK_LBUTTON;
    s.keys = i >= 3 ? MK_SHIFT : 0;
    PACKET p{};
    p.pkNormalPressure = static_cast<uint32_t>(100 * i);
    p.pkTime = s.time;
    s.packets.push_back(p);
    script.Push(s);
  }
  std::unique_ptr<QMouseEvent> press(
      MakeMouse(wnd, QEvent::MouseButtonPress, {0, 0}, Qt::LeftButton, Qt::LeftButton));
  QCoreApplication::sendEvent(wnd.GetWidget(), press.get());
  ASSERT_EQ(wnd.points.size(), 5u);
  EXPECT_EQ(wnd.points[4], CPoint(4, 8));
  EXPECT_EQ(wnd.times, (std::vector<uint32_t>{100, 110, 120, 130, 140}));
  EXPECT_EQ(wnd.shift, (std::vector<bool>{false, false, false, true, true}));
  // The packets came in with their samples, in order.
  PACKET packets[8];
  EXPECT_EQ(WTPacketsPeek(ctx, 8, packets), 5);
  EXPECT_EQ(WTPacketsGet(ctx, 2, packets), 2);
  EXPECT_EQ(packets[1].pkNormalPressure, 100u);
  EXPECT_EQ(WTPacketsGet(ctx, 8, packets), 3);
  EXPECT_EQ(packets[2].pkNormalPressure, 400u);
  EXPECT_EQ(WTPacketsGet(ctx, 8, packets), 0);
  EXPECT_EQ(WTClose(ctx), 1);
  UnloadWintab();
}

TEST_F(WindowTest, SwappedButtonsMakeTheRightButtonPrimary) {
  CScriptedInputSource script;
  SetInputSource(&script);
  SetMouseButtonsSwapped(true);
  InputSample s;
  s.buttons = MK_LBUTTON;
  script.Push(s);  // the left button alone does not hold a swapped gesture
  EXPECT_FALSE(IsButtonStillDown(nullptr));
  s.buttons = MK_RBUTTON;
  script.Push(s);
  EXPECT_TRUE(IsButtonStillDown(nullptr));
  EXPECT_NE(GetAsyncKeyState(VK_RBUTTON), 0);
  EXPECT_EQ(GetAsyncKeyState(VK_LBUTTON), 0);
  SetMouseButtonsSwapped(false);
  // Out of script: released, and the clock still moves.
  uint32_t t = GetTickCount();
  EXPECT_FALSE(IsButtonStillDown(nullptr));
  EXPECT_FALSE(IsButtonStillDown(nullptr));
  EXPECT_GE(GetTickCount(), t);
  GetInputSource().EndPress();
}

TEST(TabletTest, EveryCallAnswersZeroWithoutATablet) {
  UnloadWintab();
  LOGCONTEXTA lc{};
  PACKET p[2];
  EXPECT_EQ(WTInfoA(WTI_DEFSYSCTX, 0, &lc), 0u);
  EXPECT_EQ(WTInfoA(WTI_DEVICES, DVC_PKTDATA, &lc), 0u);
  EXPECT_EQ(WTOpenA(nullptr, &lc, 1), nullptr);
  EXPECT_EQ(WTClose(nullptr), 0);
  EXPECT_EQ(WTPacketsGet(nullptr, 2, p), 0);
  EXPECT_EQ(WTPacketsPeek(nullptr, 2, p), 0);
  EXPECT_EQ(WTGetA(nullptr, &lc), 0);
}

TEST(TabletTest, PressureCapabilityAndBoundedQueue) {
  SetTabletPresent(true);
  uint32_t mask = 0;
  EXPECT_EQ(WTInfoA(WTI_DEVICES, DVC_PKTDATA, &mask), 4u);
  EXPECT_EQ(mask, 0x15E6u);
  EXPECT_TRUE(mask & PK_NORMAL_PRESSURE);
  LOGCONTEXTA lc{};
  WTInfoA(WTI_DEFSYSCTX, 0, &lc);
  HCTX ctx = WTOpenA(nullptr, &lc, 1);
  LOGCONTEXTA back{};
  EXPECT_EQ(WTGetA(ctx, &back), 1);
  EXPECT_EQ(back.lcOutExtX, lc.lcOutExtX);
  for (uint32_t i = 0; i < kTabletQueueSize + 10; ++i) {
    PACKET p{};
    p.pkTime = i;
    TabletQueuePacket(p);
  }
  PACKET first{};
  EXPECT_EQ(WTPacketsPeek(ctx, 1, &first), 1);
  EXPECT_EQ(first.pkTime, 10u);  // the oldest were dropped
  UnloadWintab();
  EXPECT_EQ(WTPacketsPeek(ctx, 1, &first), 0);
}

}  // namespace
