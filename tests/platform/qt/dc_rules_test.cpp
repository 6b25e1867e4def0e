// The pixel rules of the device contexts, as small pictures.
#include <gtest/gtest.h>

#include "dc_test_util.h"

namespace {

struct ShapeCase {
  const char* name;
  void (*draw)(CDC& dc);
  std::string want;
};

void BlackPen(CDC& dc) {
  dc.SelectStockObject(BLACK_PEN);
  dc.SelectStockObject(BLACK_BRUSH);
}

TEST(DcRules, ShapesTouchExactlyTheExpectedPixels) {
  static CPen insideFrame(PS_INSIDEFRAME, 2, RGB(0, 0, 0));
  static CPen red(PS_SOLID, 0, RGB(255, 0, 0));
  const ShapeCase cases[] = {
      {"3x3 rectangle with a pen",
       [](CDC& dc) {
         dc.SelectObject(&red);
         dc.SelectStockObject(BLACK_BRUSH);
         dc.Rectangle(1, 1, 4, 4);
       },
       Rows({"......", ".ooo..", ".o#o..", ".ooo..", "......"})},
      {"rectangle with the null pen is one pixel smaller",
       [](CDC& dc) {
         dc.SelectStockObject(NULL_PEN);
         dc.SelectStockObject(BLACK_BRUSH);
         dc.Rectangle(1, 1, 4, 4);
       },
       Rows({"......", ".##...", ".##...", "......", "......"})},
      {"FillRect leaves out right and bottom",
       [](CDC& dc) {
         CRect r(1, 1, 4, 3);
         dc.FillRect(&r, StockBrush(BLACK_BRUSH));
       },
       Rows({"......", ".###..", ".###..", "......", "......"})},
      {"a line leaves out its last point",
       [](CDC& dc) {
         BlackPen(dc);
         dc.MoveTo(0, 0);
         dc.LineTo(4, 0);
         dc.MoveTo(5, 4);
         dc.LineTo(5, 1);
       },
       Rows({"####..", "......", ".....#", ".....#", ".....#"})},
      {"a diagonal line",
       [](CDC& dc) {
         BlackPen(dc);
         dc.MoveTo(0, 0);
         dc.LineTo(4, 4);
       },
       Rows({"#.....", ".#....", "..#...", "...#..", "......"})},
      {"an inside-frame pen stays inside",
       [](CDC& dc) {
         dc.SelectObject(&insideFrame);
         dc.SelectStockObject(WHITE_BRUSH);
         dc.Rectangle(0, 0, 6, 5);
       },
       Rows({"######", "######", "##..##", "######", "######"})},
      {"Ellipse stays inside its box",
       [](CDC& dc) {
         BlackPen(dc);
         dc.Ellipse(0, 0, 6, 5);
       },
       Rows({".####.", "######", "######", "######", ".####."})},
      {"Draw3dRect edges", [](CDC& dc) { dc.Draw3dRect(0, 0, 5, 4, RGB(0, 0, 0), RGB(255, 0, 0)); },
       Rows({"####o.", "#...o.", "#...o.", "ooooo.", "......"})},
      {"polygon fills pixel centres inside",
       [](CDC& dc) {
         dc.SelectStockObject(NULL_PEN);
         dc.SelectStockObject(BLACK_BRUSH);
         CPoint tri[] = {{0, 0}, {6, 0}, {0, 5}};
         dc.Polygon(tri, 3);
       },
       Rows({"#####.", "####..", "###...", "##....", "#....."})},
  };
  for (const ShapeCase& c : cases) {
    TestCanvas canvas(6, 5);
    c.draw(canvas.dc);
    EXPECT_EQ(canvas.Picture(), c.want) << c.name;
  }
}

TEST(DcRules, PolygonFillModes) {
  // Two overlapping squares as one polygon path: ALTERNATE leaves the
  // overlap empty, WINDING fills it.
  const CPoint pts[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0},
                        {2, 2}, {6, 2}, {6, 6}, {2, 6}, {2, 2}};
  const int counts[] = {5, 5};
  for (int mode : {ALTERNATE, WINDING}) {
    TestCanvas canvas(7, 7);
    canvas.dc.SelectStockObject(NULL_PEN);
    canvas.dc.SelectStockObject(BLACK_BRUSH);
    canvas.dc.SetPolyFillMode(mode);
    canvas.dc.PolyPolygon(pts, counts, 2);
    const char overlap = mode == ALTERNATE ? '.' : '#';
    EXPECT_EQ(canvas.image.pixel(3, 3) & 0xFFFFFF, overlap == '.' ? 0xFFFFFFu : 0u) << mode;
    EXPECT_EQ(canvas.image.pixel(1, 1) & 0xFFFFFF, 0u);
    EXPECT_EQ(canvas.image.pixel(5, 5) & 0xFFFFFF, 0u);
  }
}

TEST(DcRules, PatternBrushIsAlignedToBrushOrigin) {
  // A one-bit pattern with a single 0 pixel at (0, 0): it lands on every
  // pixel congruent to the brush origin modulo 8, in the text colour.
  CBitmap bits;
  bits.CreateBitmap(8, 8, 1, 1);
  bits.Image().fill(1);
  bits.Image().setPixel(0, 0, 0);
  CBrush brush;
  brush.CreatePatternBrush(&bits);
  for (CPoint org : {CPoint(0, 0), CPoint(3, 5), CPoint(7, 1)}) {
    TestCanvas canvas(20, 20);
    canvas.dc.SetTextColor(RGB(0, 0, 0));
    canvas.dc.SetBkColor(RGB(255, 255, 255));
    canvas.dc.SetBrushOrg(org);
    canvas.dc.SelectObject(&brush);
    canvas.dc.PatBlt(2, 2, 16, 16, PATCOPY);
    for (int y = 2; y < 18; ++y)
      for (int x = 2; x < 18; ++x) {
        const bool ink = (x - org.x) % 8 == 0 && (y - org.y) % 8 == 0;
        ASSERT_EQ(canvas.image.pixel(x, y) & 0xFFFFFF, ink ? 0u : 0xFFFFFFu)
            << org.x << "," << org.y << " at " << x << "," << y;
      }
  }
}

TEST(DcRules, XorFeedbackDrawnTwiceLeavesSurfaceUnchanged) {
  TestCanvas canvas(40, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) canvas.image.setPixel(x, y, qRgb(x * 6, y * 8, (x ^ y) * 4));
  const QImage before = canvas.image.copy();
  CPen wide(PS_SOLID, 3, RGB(0, 255, 0));
  CDC& dc = canvas.dc;
  for (int pass = 0; pass < 2; ++pass) {
    dc.SetROP2(R2_NOTXORPEN);
    dc.SelectStockObject(BLACK_PEN);
    dc.SelectStockObject(NULL_BRUSH);
    dc.Rectangle(2, 2, 20, 15);
    const CPoint poly[] = {{1, 1}, {30, 5}, {12, 25}, {35, 28}, {1, 1}};
    dc.Polyline(poly, 5);
    dc.SelectObject(&wide);
    dc.MoveTo(5, 20);
    dc.LineTo(35, 3);
    dc.SetROP2(R2_XORPEN);
    dc.Ellipse(10, 5, 30, 25);
    CRect focus(3, 4, 27, 22);
    dc.DrawFocusRect(&focus);
    dc.SelectStockObject(GRAY_BRUSH);
    dc.PatBlt(20, 10, 15, 12, PATINVERT);
    CRgn rgn;
    rgn.CreateEllipticRgn(5, 5, 25, 20);
    dc.SetROP2(R2_NOT);
    dc.PaintRgn(&rgn);
    if (pass == 0) {
      ASSERT_NE(canvas.image, before);
      dc.SelectStockObject(BLACK_PEN);
    }
  }
  EXPECT_EQ(canvas.image, before);
}

TEST(DcRules, ClippingToRegions) {
  TestCanvas canvas(12, 8);
  CRgn a, b;
  a.CreateRectRgn(0, 0, 6, 8);
  b.CreateEllipticRgn(3, 1, 11, 7);
  a.CombineRgn(&a, &b, RGN_XOR);
  canvas.dc.SelectClipRgn(&a);
  CRect all(0, 0, 12, 8);
  canvas.dc.FillRect(&all, StockBrush(BLACK_BRUSH));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 12; ++x)
      ASSERT_EQ(canvas.image.pixel(x, y) & 0xFFFFFF, a.PtInRegion(x, y) ? 0u : 0xFFFFFFu)
          << x << "," << y;
  // IntersectClipRect and ExcludeClipRect narrow it further.
  canvas.image.fill(0xFFFFFFFFu);
  canvas.dc.SelectClipRgn(nullptr);
  canvas.dc.IntersectClipRect(2, 2, 10, 6);
  canvas.dc.ExcludeClipRect(4, 3, 6, 5);
  canvas.dc.FillRect(&all, StockBrush(BLACK_BRUSH));
  EXPECT_EQ(canvas.Picture(),
            Rows({"............", "............", "..########..", "..##..####..", "..##..####..",
                  "..########..", "............", "............"}));
  CRect box;
  EXPECT_EQ(canvas.dc.GetClipBox(&box), COMPLEXREGION);
  EXPECT_EQ(box, CRect(2, 2, 10, 6));
}

TEST(DcRules, SaveAndRestoreState) {
  TestCanvas canvas(8, 8);
  CDC& dc = canvas.dc;
  dc.SetTextColor(RGB(1, 2, 3));
  const int level = dc.SaveDC();
  dc.SetTextColor(RGB(9, 9, 9));
  dc.SetViewportOrg(3, 3);
  dc.IntersectClipRect(0, 0, 1, 1);
  dc.SaveDC();
  dc.SetROP2(R2_XORPEN);
  EXPECT_TRUE(dc.RestoreDC(level));
  EXPECT_EQ(dc.GetTextColor(), RGB(1, 2, 3));
  EXPECT_EQ(dc.GetViewportOrg(), CPoint(0, 0));
  EXPECT_EQ(dc.GetROP2(), R2_COPYPEN);
  CRect box;
  EXPECT_EQ(dc.GetClipBox(&box), SIMPLEREGION);
  EXPECT_EQ(box, CRect(0, 0, 8, 8));
  EXPECT_FALSE(dc.RestoreDC(-1));
}

TEST(DcRules, ViewportOriginAndWorldTransform) {
  TestCanvas canvas(10, 10);
  CDC& dc = canvas.dc;
  dc.SetViewportOrg(2, 3);
  CRect r(0, 0, 2, 2);
  dc.FillRect(&r, StockBrush(BLACK_BRUSH));
  EXPECT_EQ(canvas.image.pixel(2, 3) & 0xFFFFFF, 0u);
  EXPECT_EQ(canvas.image.pixel(1, 3) & 0xFFFFFF, 0xFFFFFFu);
  // Advanced mode: a scale by 2 maps (1, 1) to (2 + 2, 3 + 2).
  EXPECT_FALSE(dc.SetWorldTransform(XFORM{2, 0, 0, 2, 0, 0}));
  dc.SetGraphicsMode(GM_ADVANCED);
  EXPECT_TRUE(dc.SetWorldTransform(XFORM{2, 0, 0, 2, 0, 0}));
  CPoint p(1, 1);
  dc.LPtoDP(&p);
  EXPECT_EQ(p, CPoint(4, 5));
  dc.DPtoLP(&p);
  EXPECT_EQ(p, CPoint(1, 1));
  EXPECT_TRUE(dc.ModifyWorldTransform(XFORM{1, 0, 0, 1, 1, 0}, MWT_RIGHTMULTIPLY));
  p = CPoint(1, 1);
  dc.LPtoDP(&p);
  EXPECT_EQ(p, CPoint(5, 5));
  EXPECT_EQ(dc.SetGraphicsMode(GM_COMPATIBLE), 0);  // refused while transformed
}

TEST(DcRules, PathsFillAndStroke) {
  TestCanvas canvas(8, 6);
  CDC& dc = canvas.dc;
  dc.SelectStockObject(BLACK_BRUSH);
  dc.BeginPath();
  dc.MoveTo(1, 1);
  dc.LineTo(6, 1);
  dc.LineTo(6, 5);
  dc.LineTo(1, 5);
  dc.CloseFigure();
  dc.EndPath();
  EXPECT_TRUE(dc.FillPath());
  EXPECT_EQ(canvas.Picture(),
            Rows({"........", ".#####..", ".#####..", ".#####..", ".#####..", "........"}));
  EXPECT_FALSE(dc.FillPath());  // the path is used up
  // Selected as clip.
  canvas.image.fill(0xFFFFFFFFu);
  dc.BeginPath();
  dc.Rectangle(2, 2, 5, 4);
  dc.EndPath();
  dc.SelectClipPath(RGN_COPY);
  CRect all(0, 0, 8, 6);
  dc.FillRect(&all, StockBrush(BLACK_BRUSH));
  EXPECT_EQ(canvas.Picture(),
            Rows({"........", "........", "..###...", "..###...", "........", "........"}));
}

TEST(DcRules, DibTransfersHonourRowOrder) {
  // A 2 x 3 picture, 32 bits: rows top to bottom red, green, blue.
  const uint32_t top[] = {0xFF0000, 0xFF0000, 0x00FF00, 0x00FF00, 0x0000FF, 0x0000FF};
  for (bool bottomUp : {false, true}) {
    std::vector<uint8_t> info(40, 0);
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) info[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, 2);
    put32(8, bottomUp ? 3 : static_cast<uint32_t>(-3));
    info[12] = 1;
    info[14] = 32;
    std::vector<uint8_t> bits;
    for (int row = 0; row < 3; ++row) {
      const int src = bottomUp ? 2 - row : row;
      for (int x = 0; x < 2; ++x) {
        const uint32_t v = top[src * 2 + x];
        for (int i = 0; i < 4; ++i) bits.push_back(static_cast<uint8_t>(v >> (8 * i)));
      }
    }
    TestCanvas canvas(4, 4);
    EXPECT_EQ(canvas.dc.SetDIBitsToDevice(1, 0, 2, 3, 0, 0, 0, 3, bits, info), 3);
    EXPECT_EQ(canvas.image.pixel(1, 0) & 0xFFFFFF, 0xFF0000u) << bottomUp;
    EXPECT_EQ(canvas.image.pixel(2, 2) & 0xFFFFFF, 0x0000FFu) << bottomUp;
    // The bottom two rows only: ySrc counts from the bottom of a bottom-up
    // picture, from the top of a top-down one.
    canvas.image.fill(0xFFFFFFFFu);
    canvas.dc.SetDIBitsToDevice(0, 0, 2, 2, 0, bottomUp ? 0 : 1, 0, 3, bits, info);
    EXPECT_EQ(canvas.image.pixel(0, 0) & 0xFFFFFF, 0x00FF00u) << bottomUp;
    EXPECT_EQ(canvas.image.pixel(0, 1) & 0xFFFFFF, 0x0000FFu) << bottomUp;
    // Stretched twice as wide, source rectangle with row 0 at the top.
    canvas.image.fill(0xFFFFFFFFu);
    EXPECT_EQ(canvas.dc.StretchDIBits(0, 0, 4, 1, 0, 1, 2, 1, bits, info, DIB_RGB_COLORS, SRCCOPY),
              1);
    EXPECT_EQ(canvas.image.pixel(3, 0) & 0xFFFFFF, 0x00FF00u) << bottomUp;
    // Too few pixel bytes: refused.
    EXPECT_EQ(
        canvas.dc.StretchDIBits(0, 0, 4, 1, 0, 1, 2, 1, std::span<const uint8_t>(bits).first(8),
                                info, DIB_RGB_COLORS, SRCCOPY),
        0);
  }
}

TEST(DcRules, TextLandsInsideItsExtent) {
  TestCanvas canvas(120, 40);
  CDC& dc = canvas.dc;
  CFont font;
  LOGFONT lf;
  lf.lfHeight = -16;
  lf.lfFaceName = "Liberation Sans";
  ASSERT_TRUE(font.CreateFontIndirect(lf));
  dc.SelectObject(&font);
  const CSize extent = dc.GetTextExtent("Hello");
  EXPECT_GT(extent.cx, 20);
  EXPECT_GE(extent.cy, 16);
  dc.SetBkMode(TRANSPARENT);
  dc.TextOut(10, 10, "Hello");
  int minX = 999, maxX = -1, minY = 999, maxY = -1;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 120; ++x)
      if ((canvas.image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
      }
  ASSERT_GE(maxX, 0) << "nothing drawn";
  EXPECT_GE(minX, 10);
  EXPECT_LE(maxX, 10 + extent.cx);
  EXPECT_GE(minY, 10);
  EXPECT_LT(maxY, 10 + extent.cy);
  // Opaque mode fills the cell with the background colour; ETO_OPAQUE the rectangle.
  canvas.image.fill(0xFFFFFFFFu);
  dc.SetBkMode(OPAQUE);
  dc.SetBkColor(RGB(255, 0, 0));
  dc.TextOut(0, 0, "Hi");
  EXPECT_EQ(canvas.image.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);
  canvas.dc.FillSolidRect(50, 20, 5, 5, RGB(0, 0, 255));
  EXPECT_EQ(canvas.image.pixel(54, 24) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(canvas.image.pixel(55, 24) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(dc.GetBkColor(), RGB(255, 0, 0));  // restored
  // Explicit advances place each character.
  canvas.image.fill(0xFFFFFFFFu);
  dc.SetBkMode(TRANSPARENT);
  const int dx[] = {40, 40};
  dc.ExtTextOut(0, 0, 0, nullptr, "II", dx);
  bool gap = true;
  for (int y = 0; y < 40; ++y)
    for (int x = 15; x < 38; ++x)
      if ((canvas.image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) gap = false;
  EXPECT_TRUE(gap);
}

}  // namespace

namespace {

TEST(DcRules, RotatedWorldTransformBlitsThroughTheParallelogram) {
  // A 4 x 2 source (left half black, right half red) drawn with a quarter
  // turn: x' = -y + 10, y' = x + 1.
  CBitmap source;
  source.CreateBitmap(4, 2, 1, 32);
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 2; ++y) source.Image().setPixel(x, y, x < 2 ? 0xFF000000u : 0xFFFF0000u);
  CDC mem;
  mem.CreateCompatibleDC(nullptr);
  mem.SelectObject(&source);
  TestCanvas canvas(12, 8);
  canvas.dc.SetGraphicsMode(GM_ADVANCED);
  ASSERT_TRUE(canvas.dc.SetWorldTransform(XFORM{0, 1, -1, 0, 10, 1}));
  ASSERT_TRUE(canvas.dc.BitBlt(0, 0, 4, 2, &mem, 0, 0, SRCCOPY));
  // Logical (0..4, 0..2) lands on device x in 8..10, y in 1..5.
  EXPECT_EQ(canvas.Picture(),
            Rows({"............", "........##..", "........##..", "........oo..", "........oo..",
                  "............", "............", "............"}));
}

}  // namespace
