// Windows paint through their backing surface: the paint handler draws with
// a paint context, drawing outside it shows at once, scrolling moves pixels.
#include <QTest>
#include <QWidget>
#include <functional>

#include "platform/qt/dc.h"
#include "platform/qt/window_surface.h"
#include "window_fixture.h"

namespace {

class CPainted : public CLogWnd {
 public:
  int paints = 0;
  int erases = 0;
  BOOL OnEraseBkgnd(CDC* dc) override {
    ++erases;
    EXPECT_NE(dc, nullptr);
    if (dc != nullptr) dc->FillSolidRect(0, 0, 200, 150, RGB(255, 255, 255));
    return 1;
  }
  void OnPaint() override {
    ++paints;
    CPaintDC dc(GetSurface());
    dc.FillSolidRect(10, 10, 20, 20, RGB(255, 0, 0));
  }
};

uint32_t Pixel(CWnd& wnd, int x, int y) {
  return wnd.GetSurface()->Image().pixel(x, y) & 0xFFFFFF;
}

TEST_F(WindowTest, PaintHandlersDrawIntoTheBackingSurface) {
  CPainted wnd;
  CreateTestWindow(wnd);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(wnd.GetWidget()));
  wnd.Invalidate();
  wnd.UpdateWindow();
  EXPECT_GE(wnd.paints, 1);
  EXPECT_GE(wnd.erases, 1);
  EXPECT_EQ(Pixel(wnd, 15, 15), 0xFF0000u);
  EXPECT_EQ(Pixel(wnd, 35, 35), 0xFFFFFFu);
  // Nothing invalid: no paint.
  int paints = wnd.paints;
  wnd.UpdateWindow();
  EXPECT_EQ(wnd.paints, paints);
  // Drawing outside a paint handler lands in the surface at once.
  {
    CClientDC dc(wnd.GetSurface());
    dc.FillSolidRect(50, 50, 5, 5, RGB(0, 0, 255));
  }
  EXPECT_EQ(Pixel(wnd, 52, 52), 0x0000FFu);
  // Scrolling moves the pixels and leaves the uncovered strip invalid.
  wnd.ScrollWindow(0, 10);
  EXPECT_EQ(Pixel(wnd, 52, 62), 0x0000FFu);
  EXPECT_TRUE(wnd.GetSurface()->NeedsPaint());
  wnd.UpdateWindow();
  EXPECT_FALSE(wnd.GetSurface()->NeedsPaint());
}

TEST_F(WindowTest, InvalidatingWithoutEraseSkipsTheBackground) {
  CPainted wnd;
  CreateTestWindow(wnd);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(wnd.GetWidget()));
  wnd.UpdateWindow();
  const CRect part(0, 0, 40, 40);
  struct {
    const char* what;
    std::function<void()> invalidate;
    bool erased;
  } cases[] = {
      {"all, no erase", [&] { wnd.Invalidate(false); }, false},
      {"part, no erase", [&] { wnd.InvalidateRect(&part, false); }, false},
      {"all, erase", [&] { wnd.Invalidate(true); }, true},
      {"erase, then no erase",
       [&] {
         wnd.Invalidate(true);
         wnd.InvalidateRect(&part, false);
       },
       true},
      {"no erase, then erase",
       [&] {
         wnd.InvalidateRect(&part, false);
         wnd.Invalidate(true);
       },
       true},
      {"no erase, then a scroll",
       [&] {
         wnd.Invalidate(false);
         wnd.ScrollWindow(0, 5);
       },
       true},
  };
  for (const auto& c : cases) {
    const int erases = wnd.erases, paints = wnd.paints;
    c.invalidate();
    wnd.UpdateWindow();
    EXPECT_EQ(wnd.paints, paints + 1) << c.what;
    EXPECT_EQ(wnd.erases, erases + (c.erased ? 1 : 0)) << c.what;
  }
}

constexpr int kBarSize = 16;

// Hiding a scroll bar (or growing past it) gives its strip to the client area, which must be
// painted (the surface under the bar holds no picture of the window).
TEST_F(WindowTest, HidingAScrollBarPaintsTheStripItLeaves) {
  CPainted wnd;
  CreateTestWindow(wnd, "PL_Default", {10, 10, 210, 160}, WS_VISIBLE | WS_VSCROLL | WS_HSCROLL);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(wnd.GetWidget()));
  wnd.UpdateWindow();
  ASSERT_FALSE(wnd.GetSurface()->NeedsPaint());
  const CRect before = wnd.GetClientRect();
  wnd.ShowScrollBar(SB_VERT, false);
  EXPECT_TRUE(wnd.GetSurface()->InvalidRegion().contains(
      QRect(before.right, 0, wnd.GetClientRect().right - before.right, before.bottom)));
  wnd.UpdateWindow();
  wnd.ShowScrollBar(SB_HORZ, false);
  EXPECT_TRUE(wnd.GetSurface()->InvalidRegion().contains(QRect(
      0, before.bottom, wnd.GetClientRect().right, wnd.GetClientRect().bottom - before.bottom)));
  wnd.UpdateWindow();
  // Showing one takes the strip away: nothing to paint.
  wnd.ShowScrollBar(SB_VERT, true);
  EXPECT_FALSE(wnd.GetSurface()->NeedsPaint());
  // Growing moves the bar: its old place is client area to paint.
  const CRect narrow = wnd.GetClientRect();
  wnd.GetWidget()->resize(wnd.GetWidget()->width() + 30, wnd.GetWidget()->height());
  EXPECT_TRUE(
      wnd.GetSurface()->InvalidRegion().contains(QRect(narrow.right, 0, kBarSize, narrow.bottom)));
}

}  // namespace
