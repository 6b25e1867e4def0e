// Windows paint through their backing surface: the paint handler draws with
// a paint context, drawing outside it shows at once, scrolling moves pixels.
#include <QTest>
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

}  // namespace
