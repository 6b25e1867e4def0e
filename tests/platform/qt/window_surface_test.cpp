#include "platform/qt/window_surface.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPaintEvent>
#include <QTest>
#include <QWidget>
#include <vector>

namespace {

// A window that paints the way the window base does: the paint handler for
// the invalid region (here: fill it with a colour and validate), then the copy.
class TestWindow : public QWidget {
 public:
  TestWindow() : surface(this) {}
  CWindowSurface surface;
  int paint_handler_runs = 0;
  int copies = 0;
  QRgb paint_color = 0xFF00FF00;

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (surface.NeedsPaint() && !surface.Flushing()) {
      ++paint_handler_runs;
      for (const QRect& r : surface.InvalidRegion()) {
        for (int y = r.top(); y <= r.bottom(); ++y)
          for (int x = r.left(); x <= r.right(); ++x) surface.Image().setPixel(x, y, paint_color);
      }
      surface.ValidateAll();
    }
    ++copies;
    surface.CopyToScreen(event->region());
  }
};

QRgb ScreenPixel(QWidget& w, int x, int y) {
  return w.grab(QRect(x, y, 1, 1)).toImage().pixel(0, 0);
}

TEST(WindowSurface, FollowsResizeKeepingPixelsAndInvalidatingNewArea) {
  TestWindow w;
  w.resize(40, 30);
  EXPECT_EQ(w.surface.Width(), 40);
  EXPECT_EQ(w.surface.Height(), 30);
  w.surface.ValidateAll();
  w.surface.Image().setPixel(5, 5, 0xFF123456);
  w.resize(60, 20);
  EXPECT_EQ(w.surface.Width(), 60);
  EXPECT_EQ(w.surface.Image().pixel(5, 5), 0xFF123456u);
  EXPECT_EQ(w.surface.InvalidRegion(), QRegion(40, 0, 20, 20));
  EXPECT_EQ(w.surface.Image().pixel(50, 10), 0xFFFFFFFFu);
}

TEST(WindowSurface, PaintRunsHandlerForInvalidRegionThenCopies) {
  TestWindow w;
  w.resize(32, 32);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.surface.UpdateNow();
  EXPECT_EQ(w.paint_handler_runs, 1);
  EXPECT_FALSE(w.surface.NeedsPaint());
  EXPECT_EQ(ScreenPixel(w, 3, 3), 0xFF00FF00u);
}

TEST(WindowSurface, FlushShowsDrawingAtOnceWithoutPainting) {
  TestWindow w;
  w.resize(32, 32);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.surface.UpdateNow();
  const int runs = w.paint_handler_runs;
  const int copies = w.copies;
  w.surface.Image().setPixel(10, 12, 0xFFFF0000);
  w.surface.Flush(CRect(10, 12, 11, 13));
  EXPECT_EQ(w.copies, copies + 1);  // painted before Flush returned
  EXPECT_EQ(w.paint_handler_runs, runs);
  EXPECT_EQ(ScreenPixel(w, 10, 12), 0xFFFF0000u);
}

TEST(WindowSurface, DeferredFlushesRepaintOnceAtTheEnd) {
  TestWindow w;
  w.resize(32, 32);
  {
    CDeferFlush defer(&w.surface);
    w.surface.Flush(CRect(1, 1, 2, 2));
    w.surface.Flush(CRect(8, 8, 9, 9));
    EXPECT_EQ(w.surface.FlushCount(), 0);
  }
  EXPECT_EQ(w.surface.FlushCount(), 1);
}

TEST(WindowSurface, ScrollMovesPixelsAndInvalidatesUncoveredArea) {
  TestWindow w;
  w.resize(20, 10);
  w.surface.ValidateAll();
  QImage& img = w.surface.Image();
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) img.setPixel(x, y, qRgb(x, y, 0));
  QRegion uncovered = w.surface.ScrollWindow(3, -2);
  EXPECT_EQ(uncovered, QRegion(0, 0, 3, 10) + QRegion(0, 8, 20, 2));
  EXPECT_EQ(w.surface.InvalidRegion(), uncovered);
  EXPECT_EQ(img.pixel(3, 0), qRgb(0, 2, 0));
  EXPECT_EQ(img.pixel(19, 7), qRgb(16, 9, 0));
}

}  // namespace
