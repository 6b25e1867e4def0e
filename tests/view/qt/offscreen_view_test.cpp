// The offscreen view: a test view draws each pixel from its document pixel
// and a version per document cell, so the window expected after any run of
// edits, scrolls and resizes is computed without the view; the rectangles it
// is asked to draw are checked exactly; a bitmap or drawing that fails
// recovers at the next paint; the palette screen's views follow palette
// resets.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QTest>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/screen_hook.h"
#include "platform/qt/window_surface.h"
#include "render/gdi/app_palette.h"
#include "render/gdi/marl_dc.h"
#include "view/offscreen_view.h"
#include "window_host.h"

namespace {

constexpr int kCell = 16;

class CCellView : public COffscreenView {
 public:
  std::map<std::pair<int, int>, int> versions;
  std::vector<CRect> drawn;
  bool failDraw = false;

  uint32_t Colour(int64_t x, int64_t y) const {
    auto it = versions.find({static_cast<int>(x / kCell), static_cast<int>(y / kCell)});
    const uint32_t v = it == versions.end() ? 0 : static_cast<uint32_t>(it->second);
    uint32_t h =
        static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^ v * 83492791u;
    h ^= h >> 13;
    return (h * 2654435761u) >> 8;  // 0xRRGGBB
  }
  // A cell changes: its version goes up and its pixels are redrawn.
  void Edit(int cx, int cy) {
    ++versions[{cx, cy}];
    const CPoint at = GetScrollPosition();
    CRect r(cx * kCell - at.x, cy * kCell - at.y, (cx + 1) * kCell - at.x, (cy + 1) * kCell - at.y);
    InvalidateDoc(&r);
  }

 protected:
  bool DrawPage(COffscreenBitmap& bitmap, const CRect& rect) override {
    drawn.push_back(rect);
    if (failDraw) return false;
    const CPoint at = GetScrollPosition();
    for (int y = rect.top; y < rect.bottom; ++y) {
      uint8_t* row = bitmap.Row(y);
      for (int x = rect.left; x < rect.right; ++x) {
        const uint32_t c = Colour(int64_t{x} + at.x, int64_t{y} + at.y);
        if (bitmap.BitsPerPixel() == 32) {
          row[4 * x] = static_cast<uint8_t>(c);
          row[4 * x + 1] = static_cast<uint8_t>(c >> 8);
          row[4 * x + 2] = static_cast<uint8_t>(c >> 16);
          row[4 * x + 3] = 0;
        } else if (bitmap.BitsPerPixel() == 8) {
          row[x] = static_cast<uint8_t>(c);
        }
      }
    }
    return true;
  }
};

struct ViewFixture {
  CHost host;
  CCellView view;
  explicit ViewFixture(CSize client, CSize total = {1000, 800}, CPoint at = {20, 20}) {
    EXPECT_TRUE(host.Create("PL_Default", "host", WS_VISIBLE,
                            {at.x, at.y, at.x + client.cx, at.y + client.cy}, nullptr, 0));
    EXPECT_TRUE(view.Create("PL_Default", "", WS_VISIBLE | WS_CHILD | WS_HSCROLL | WS_VSCROLL,
                            {0, 0, client.cx, client.cy}, &host, 1));
    host.child = &view;
    view.SetScrollSizes(total.cx, total.cy, client.cx, client.cy, 7, 7);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(host.GetWidget()));
    Paint();
  }
  ~ViewFixture() {
    host.child = nullptr;
    view.DestroyWindow();
    host.DestroyWindow();
  }
  // Paints what is invalid and forgets the rectangles drawn so far.
  void Paint() {
    view.UpdateWindow();
    view.drawn.clear();
  }
  // The first client pixel whose colour differs from the computed picture,
  // as text; empty when the window shows the picture.
  std::string Mismatch() const {
    const QImage& image = view.GetSurface()->Image();
    const CRect client = view.GetClientRect();
    const CPoint at = view.GetScrollPosition();
    for (int y = 0; y < client.bottom; ++y) {
      const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
      for (int x = 0; x < client.right; ++x) {
        const uint32_t want = view.Colour(int64_t{x} + at.x, int64_t{y} + at.y);
        if ((line[x] & 0xFFFFFF) != want) {
          return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") at scroll (" +
                 std::to_string(at.x) + ", " + std::to_string(at.y) + "), client " +
                 std::to_string(client.right) + " x " + std::to_string(client.bottom);
        }
      }
    }
    return "";
  }
};

// Every kind of scroll, edits before and after them, resizes; checked after
// a paint at random points, with and without the event loop running.
TEST(OffscreenView, RandomRunsShowTheComputedPicture) {
  for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
    ViewFixture f({300, 220});
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const UINT codes[] = {SB_LINEUP,     SB_LINEDOWN, SB_PAGEUP, SB_PAGEDOWN, SB_THUMBPOSITION,
                          SB_THUMBTRACK, SB_TOP,      SB_BOTTOM, SB_ENDSCROLL};
    std::string history;
    for (int step = 0; step < 120; ++step) {
      std::string what;
      switch (pick(8)) {
        case 0:
        case 1:
          what = "edit";
          f.view.Edit(pick(1000 / kCell + 1), pick(800 / kCell + 1));
          break;
        case 2: {
          const UINT code = codes[pick(9)];
          what = "code " + std::to_string(code);
          f.view.OnScroll(pick(2) ? (0xFF00 | code) : (0x00FF | code << 8), pick(900), true);
          break;
        }
        case 3:
          what = "by";
          f.view.OnScrollBy(CSize(pick(81) - 40, pick(81) - 40), true);
          break;
        case 4:
          what = "to";
          f.view.ScrollToPosition(CPoint(pick(1100) - 50, pick(900) - 50));
          break;
        case 5:
          what = "resize";
          f.view.MoveWindow(CRect(0, 0, 40 + pick(261), 40 + pick(181)));
          break;
        case 6:
          what = "all";
          f.view.InvalidateDoc(nullptr);
          break;
        default:
          what = "device position";
          f.view.ScrollToDevicePosition(CPoint(pick(400), pick(300)));
          break;
      }
      history += what + " ";
      switch (pick(3)) {
        case 0:
          continue;  // more changes before the next paint
        case 1:
          f.view.UpdateWindow();
          history += "| ";
          break;
        default:
          QCoreApplication::processEvents();
          f.view.UpdateWindow();
          history += "|| ";
          break;
      }
      ASSERT_EQ(f.Mismatch(), "") << "seed " << seed << " step " << step << " after " << history;
    }
  }
}

TEST(OffscreenView, DrawsExactlyWhatChanged) {
  ViewFixture f({200, 120});
  const CRect client = f.view.GetClientRect();
  const int w = client.Width(), h = client.Height();
  ASSERT_EQ(f.Mismatch(), "");

  // Scrolling down 3 pixels draws the 3 rows uncovered at the bottom alone.
  f.view.OnScrollBy(CSize(0, 3), true);
  f.view.UpdateWindow();
  EXPECT_EQ(f.view.drawn, std::vector<CRect>{CRect(0, h - 3, w, h)});
  f.view.drawn.clear();
  f.view.OnScrollBy(CSize(2, 0), true);
  f.view.UpdateWindow();
  EXPECT_EQ(f.view.drawn, std::vector<CRect>{CRect(w - 2, 0, w, h)});
  f.view.drawn.clear();

  // A cell invalidated before a scroll is drawn where its pixels are now:
  // document rows 128..144 were client rows 28..44 and are 38..54 after
  // scrolling up 10 pixels (with the strip 0..10 uncovered at the top).
  f.view.ScrollToPosition(CPoint(0, 100));
  f.Paint();
  f.view.Edit(2, 8);
  f.view.OnScrollBy(CSize(0, -10), true);
  f.view.UpdateWindow();
  EXPECT_EQ(f.view.drawn, std::vector<CRect>{CRect(0, 0, w, 54)});
  EXPECT_EQ(f.Mismatch(), "");
  f.view.drawn.clear();

  // Nothing changed: a repaint of the window only copies.
  f.view.Invalidate(false);
  f.view.UpdateWindow();
  EXPECT_TRUE(f.view.drawn.empty());

  // A resize draws everything (growing uncovers pixels to paint).
  f.view.MoveWindow(CRect(0, 0, 180, 110));
  f.view.UpdateWindow();
  f.view.drawn.clear();
  f.view.MoveWindow(CRect(0, 0, 200, 120));
  f.view.UpdateWindow();
  EXPECT_EQ(f.view.drawn, std::vector<CRect>{f.view.GetClientRect()});
  EXPECT_EQ(f.Mismatch(), "");
}

TEST(OffscreenView, DisplayChangeRedrawsEveryViewWhole) {
  ViewFixture a({160, 100}), b({120, 90}, {1000, 800}, {300, 20});
  a.view.OnScrollBy(CSize(0, 3), true);  // a scroll not yet painted
  BroadcastDisplayChange(32, 1920, 1080);
  a.view.UpdateWindow();
  b.view.UpdateWindow();
  EXPECT_EQ(a.view.drawn, std::vector<CRect>{a.view.GetClientRect()});
  EXPECT_EQ(b.view.drawn, std::vector<CRect>{b.view.GetClientRect()});
  EXPECT_EQ(a.Mismatch(), "");
  EXPECT_EQ(b.Mismatch(), "");
}

// The whole window is a flag: a client wider than any fixed "everything"
// rectangle is drawn whole.
TEST(OffscreenView, WideClientIsDrawnWhole) {
  ViewFixture f({9000, 40}, {9000, 40});
  f.view.InvalidateDoc(nullptr);
  f.view.UpdateWindow();
  ASSERT_EQ(f.view.drawn.size(), 1u);
  EXPECT_EQ(f.view.drawn[0], CRect(0, 0, 9000, 40));
}

// A screen whose bitmaps cannot be made.
class CFailingScreen : public CScreen {
 public:
  int Depth() override { return 32; }
  BlitFormat ProbeBlitFormat(int) override { return BlitFormat{99, 0}; }
  CSharedPalette* AppPalette() override { return nullptr; }
};

TEST(OffscreenView, FailuresRecoverAtTheNextPaint) {
  ViewFixture f({160, 100});
  const CRect client = f.view.GetClientRect();
  // No bitmap: nothing is drawn, and the next paint makes one and draws all.
  CFailingScreen failing;
  SetOffscreenScreen(&failing);
  ResetOffscreenProbe();
  f.view.DropOffscreenBitmap();
  f.view.Edit(1, 1);
  f.view.UpdateWindow();
  EXPECT_TRUE(f.view.drawn.empty());
  EXPECT_EQ(f.view.UpdateOffscreen(), 0);
  SetOffscreenScreen(nullptr);
  ResetOffscreenProbe();
  f.view.Edit(0, 0);
  f.view.UpdateWindow();
  EXPECT_EQ(f.view.drawn, std::vector<CRect>{client});
  f.view.Invalidate(false);
  f.Paint();
  EXPECT_EQ(f.Mismatch(), "");

  // A drawing that fails keeps its rectangle dirty for the next paint.
  f.view.failDraw = true;
  f.view.Edit(1, 1);
  f.view.UpdateWindow();
  EXPECT_EQ(f.view.drawn, std::vector<CRect>{CRect(16, 16, 32, 32)});
  f.view.failDraw = false;
  f.view.drawn.clear();
  f.view.Edit(3, 1);
  f.view.UpdateWindow();
  EXPECT_EQ(f.view.drawn, std::vector<CRect>{CRect(16, 16, 64, 32)});
  f.view.Invalidate(false);
  f.Paint();
  EXPECT_EQ(f.Mismatch(), "");
}

// On the fake 8-bit palette screen the views' bitmaps take the application
// palette; a palette reset (and a display change) drops them and redraws
// every view whole, building the palette again once.
TEST(OffscreenView, PaletteScreenViewsFollowPaletteResets) {
  SetFakePaletteScreen(true);
  InstallQtScreen();
  InstallAppPalette();
  ResetAppPalette();
  ResetOffscreenProbe();
  {
    ViewFixture a({120, 80}), b({100, 70}, {1000, 800}, {300, 20});
    COffscreenBitmap& bitmap = a.view.GetOffscreenBitmap();
    ASSERT_TRUE(bitmap.IsValid());
    EXPECT_EQ(bitmap.BitsPerPixel(), 8);
    EXPECT_EQ(bitmap.Palette(), GetAppSharedPalette());
    EXPECT_EQ(b.view.GetOffscreenBitmap().Palette(), bitmap.Palette());
    const int live = CSharedPalette::LiveCount();

    ResetAppPalette();
    EXPECT_FALSE(bitmap.IsValid());
    EXPECT_FALSE(b.view.GetOffscreenBitmap().IsValid());
    a.view.UpdateWindow();
    b.view.UpdateWindow();
    EXPECT_EQ(a.view.drawn, std::vector<CRect>{a.view.GetClientRect()});
    EXPECT_EQ(b.view.drawn, std::vector<CRect>{b.view.GetClientRect()});
    EXPECT_EQ(CSharedPalette::LiveCount(), live);  // built again, once
    EXPECT_EQ(bitmap.Palette(), GetAppSharedPalette());

    // A client context for drawing on a view has the application palette.
    {
      CMarlDC dc(&a.view);
      EXPECT_EQ(dc.SelectPalette(nullptr, false), GetAppPalette());
    }

    // Repainting all views draws nothing again (only copies).
    a.view.drawn.clear();
    RepaintAllViews();
    a.view.UpdateWindow();
    EXPECT_TRUE(a.view.drawn.empty());
  }
  SetFakePaletteScreen(false);
  ResetAppPalette();
  SetOffscreenScreen(nullptr);
  ResetOffscreenProbe();
}

}  // namespace
