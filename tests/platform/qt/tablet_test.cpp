// The tablet calls fed from Qt tablet events: packets with scaled pressure,
// the eraser as a negative altitude, buttons, proximity and the input
// source's clock; the pressure capability; no tablet, no answers.
#include <QApplication>
#include <QPointingDevice>
#include <QScreen>
#include <QTabletEvent>
#include <QWidget>
#include <memory>

#include "platform/qt/tablet.h"
#include "window_fixture.h"

namespace {

// A stylus device of the pointer type asked for, owned by the application.
const QPointingDevice* Stylus(QPointingDevice::PointerType type) {
  static qint64 next = 500;
  return new QPointingDevice("test stylus", next++, QInputDevice::DeviceType::Stylus, type,
                             QInputDevice::Capability::Position |
                                 QInputDevice::Capability::Pressure |
                                 QInputDevice::Capability::XTilt | QInputDevice::Capability::YTilt,
                             1, 3, QString(), QPointingDeviceUniqueId(), qApp);
}

struct TabletStep {
  const char* what;
  QEvent::Type type;
  QPointingDevice::PointerType pointer;
  QPoint client;
  double pressure;
  float x_tilt;
  float y_tilt;
  Qt::MouseButtons buttons;
  uint32_t time;
  // Expected packet fields.
  uint32_t cursor;
  uint32_t pk_buttons;
  uint32_t pressure1023;
  int32_t altitude;
};

class TabletEventTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    UnloadWintab();
    SetInputSource(&script_);
  }
  void TearDown() override {
    UnloadWintab();
    WindowTest::TearDown();
  }
  void Send(CWnd& wnd, const TabletStep& s) {
    script_.SetTime(s.time);
    QWidget* w = wnd.GetWidget();
    QTabletEvent e(s.type, Stylus(s.pointer), QPointF(s.client), QPointF(w->mapToGlobal(s.client)),
                   s.pressure, s.x_tilt, s.y_tilt, 0, 0, 0, Qt::NoModifier, Qt::NoButton,
                   s.buttons);
    QCoreApplication::sendEvent(w, &e);
  }
  CScriptedInputSource script_;
};

TEST_F(TabletEventTest, EventStreamBecomesStampedPackets) {
  CLogWnd wnd;
  CreateTestWindow(wnd);
  using PT = QPointingDevice::PointerType;
  const TabletStep steps[] = {
      {"pen touches, upright",
       QEvent::TabletPress,
       PT::Pen,
       {10, 20},
       0.5,
       0,
       0,
       Qt::LeftButton,
       1000,
       kTabletCursorPen,
       1,
       512,
       900},
      {"pen tilted 45 degrees",
       QEvent::TabletMove,
       PT::Pen,
       {11, 22},
       1.0,
       45,
       0,
       Qt::LeftButton,
       1007,
       kTabletCursorPen,
       1,
       1023,
       450},
      {"pressure above full is full",
       QEvent::TabletMove,
       PT::Pen,
       {12, 24},
       1.3,
       0,
       0,
       Qt::LeftButton,
       1015,
       kTabletCursorPen,
       1,
       1023,
       900},
      {"both tilts 60: 22.2 degrees up",
       QEvent::TabletMove,
       PT::Pen,
       {12, 24},
       0.25,
       60,
       60,
       Qt::LeftButton | Qt::RightButton,
       1016,
       kTabletCursorPen,
       3,
       256,
       222},
      {"pen lifted, barrel button",
       QEvent::TabletRelease,
       PT::Pen,
       {13, 25},
       0,
       0,
       0,
       Qt::MiddleButton,
       1030,
       kTabletCursorPen,
       4,
       0,
       900},
      {"eraser upright",
       QEvent::TabletPress,
       PT::Eraser,
       {14, 26},
       0.1,
       0,
       0,
       Qt::LeftButton,
       1100,
       kTabletCursorEraser,
       1,
       102,
       -900},
      {"eraser nearly flat is still below zero",
       QEvent::TabletMove,
       PT::Eraser,
       {14, 26},
       0.1,
       89.5,
       0,
       Qt::LeftButton,
       1101,
       kTabletCursorEraser,
       1,
       102,
       -10},
  };
  // The first tablet event makes the tablet present; before it nothing opens.
  LOGCONTEXTA lc{};
  EXPECT_EQ(WTOpenA(wnd.GetSafeHwnd(), &lc, 1), nullptr);
  EXPECT_FALSE(TabletHasPressure());
  Send(wnd, steps[0]);
  ASSERT_TRUE(IsTabletPresent());
  EXPECT_TRUE(TabletHasPressure());
  ASSERT_EQ(WTInfoA(WTI_DEFSYSCTX, 0, &lc), sizeof(LOGCONTEXTA));
  HCTX ctx = WTOpenA(wnd.GetSafeHwnd(), &lc, 1);
  ASSERT_NE(ctx, nullptr);
  for (const TabletStep& s : steps) Send(wnd, s);

  const int screenH = wnd.GetWidget()->screen()->geometry().height();
  PACKET packets[16];
  ASSERT_EQ(WTPacketsGet(ctx, 16, packets), static_cast<int>(std::size(steps)));
  for (size_t i = 0; i < std::size(steps); ++i) {
    const TabletStep& s = steps[i];
    const PACKET& p = packets[i];
    SCOPED_TRACE(s.what);
    const QPoint g = wnd.GetWidget()->mapToGlobal(s.client);
    EXPECT_EQ(p.pkTime, s.time);
    EXPECT_EQ(p.pkStatus, 0u);
    EXPECT_EQ(p.pkCursor, s.cursor);
    EXPECT_EQ(p.pkButtons, s.pk_buttons);
    EXPECT_EQ(p.pkNormalPressure, s.pressure1023);
    EXPECT_EQ(p.pkOrientation.orAltitude, s.altitude);
    EXPECT_EQ(p.pkX, g.x() * kTabletUnitsPerPixel);
    EXPECT_EQ(p.pkY, (screenH - g.y()) * kTabletUnitsPerPixel);
  }
  EXPECT_EQ(WTClose(ctx), 1);
}

TEST_F(TabletEventTest, ProximityComesFromTheApplication) {
  CLogWnd wnd;
  CreateTestWindow(wnd);
  const QPointingDevice* pen = Stylus(QPointingDevice::PointerType::Pen);
  QTabletEvent enter(QEvent::TabletEnterProximity, pen, QPointF(), QPointF(), 0, 0, 0, 0, 0, 0,
                     Qt::NoModifier, Qt::NoButton, Qt::NoButton);
  QCoreApplication::sendEvent(qApp, &enter);
  ASSERT_TRUE(IsTabletPresent());  // a pen near the tablet is enough
  EXPECT_TRUE(IsTabletInProximity());
  LOGCONTEXTA lc{};
  WTInfoA(WTI_DEFSYSCTX, 0, &lc);
  HCTX ctx = WTOpenA(wnd.GetSafeHwnd(), &lc, 1);
  ASSERT_NE(ctx, nullptr);
  Send(wnd, {"hover",
             QEvent::TabletMove,
             QPointingDevice::PointerType::Pen,
             {30, 40},
             0,
             0,
             0,
             Qt::NoButton,
             2000,
             0,
             0,
             0,
             0});
  script_.SetTime(2050);
  QTabletEvent leave(QEvent::TabletLeaveProximity, pen, QPointF(), QPointF(), 0, 0, 0, 0, 0, 0,
                     Qt::NoModifier, Qt::NoButton, Qt::NoButton);
  QCoreApplication::sendEvent(qApp, &leave);
  EXPECT_FALSE(IsTabletInProximity());
  PACKET p[4];
  ASSERT_EQ(WTPacketsGet(ctx, 4, p), 2);
  EXPECT_EQ(p[0].pkStatus, 0u);
  // Leaving: a packet at the last position, out of proximity, stamped now.
  EXPECT_EQ(p[1].pkStatus, TPS_PROXIMITY);
  EXPECT_EQ(p[1].pkTime, 2050u);
  EXPECT_EQ(p[1].pkX, p[0].pkX);
  EXPECT_EQ(p[1].pkY, p[0].pkY);
  WTClose(ctx);
}

TEST_F(TabletEventTest, UnloadForgetsTheTabletUntilItIsSeenAgain) {
  CLogWnd wnd;
  CreateTestWindow(wnd);
  const TabletStep touch{"touch",
                         QEvent::TabletPress,
                         QPointingDevice::PointerType::Pen,
                         {5, 5},
                         0.5,
                         0,
                         0,
                         Qt::LeftButton,
                         10,
                         0,
                         0,
                         0,
                         0};
  Send(wnd, touch);
  LOGCONTEXTA lc{};
  WTInfoA(WTI_DEFSYSCTX, 0, &lc);
  HCTX ctx = WTOpenA(wnd.GetSafeHwnd(), &lc, 1);
  ASSERT_NE(ctx, nullptr);
  UnloadWintab();
  // Every call answers 0 again: the context went, and so did the tablet.
  PACKET p{};
  EXPECT_EQ(WTPacketsPeek(ctx, 1, &p), 0);
  EXPECT_EQ(WTGetA(ctx, &lc), 0);
  EXPECT_EQ(WTInfoA(WTI_DEFSYSCTX, 0, &lc), 0u);
  EXPECT_EQ(WTInfoA(WTI_DEVICES, DVC_ORIENTATION, nullptr), 0u);
  EXPECT_FALSE(TabletHasPressure());
  // The next tablet event brings it back.
  Send(wnd, touch);
  EXPECT_TRUE(TabletHasPressure());
  EXPECT_EQ(WTInfoA(WTI_DEVICES, DVC_ORIENTATION, nullptr), 3 * sizeof(AXIS));
  HCTX again = WTOpenA(wnd.GetSafeHwnd(), &lc, 1);
  EXPECT_NE(again, nullptr);
  WTClose(again);
}

}  // namespace
