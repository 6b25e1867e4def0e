// The GDI back end on memory device contexts: fills and plain lines through
// device paths and through the polygon builder, banding of complex regions,
// handles; the bitmap context's scan converter and its blit.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_region.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "platform/qt/dc.h"
#include "render/gdi/bitmap_render_context.h"
#include "render/gdi/gdi_render_context.h"
#include "render/raster/offscreen_bitmap.h"
#include "tests/common/edge_styles.h"
#include "tests/render/context/graph_fixture.h"
#include "tests/render/gdi/device_fixture.h"

namespace {

constexpr int kSize = 64;
constexpr int kTwipsPerPixel = 20;

void UsePixels(CRenderContext& rc) {
  Matrix2x3 m;
  MatrixSetScale(m, kFixedOne / kTwipsPerPixel, kFixedOne / kTwipsPerPixel);
  rc.SetMatrix(m);
}

// Twips of pixel coordinates.
Rect32 PixelRect(int x0, int x1, int y0, int y1) {
  return {x0 * kTwipsPerPixel, x1 * kTwipsPerPixel, y0 * kTwipsPerPixel, y1 * kTwipsPerPixel};
}

class GdiGraphTest : public GraphFixture {
 protected:
  void AddPolyline(const std::vector<Point32>& points, StyleIndex fill) {
    GraphFixture::AddPolyline(points, 0, 0, fill);
  }
  // A comb: a bar along the top with teeth hanging down, as one closed
  // outline of about 4 * teeth edges.
  void AddComb(int teeth, StyleIndex fill) {
    std::vector<Point32> p;
    const int32_t w = 60000 / teeth;
    p.push_back({0, 0});
    p.push_back({60000, 0});
    for (int i = teeth - 1; i >= 0; --i) {
      p.push_back({i * w + w, 30000});
      p.push_back({i * w + w / 2, 30000});
      p.push_back({i * w + w / 2, 2000});
      p.push_back({i * w, 2000});
    }
    p.push_back({0, 0});
    AddPolyline(p, fill);
  }
  Region* FirstFilledRegion() {
    RegionIter it;
    if (RegionIterInit(it, graph_) < 0) return nullptr;
    while (Region* r = RegionIterNext(it))
      if (RegionIsOuter(*r) && StyleIndexOf(r->fill) != 0) return r;
    return nullptr;
  }
};

TEST(GdiFill, FillAndPlainLineWithAndWithoutDevicePaths) {
  for (bool gdiPaths : {true, false}) {
    ImageDC target;
    CGdiRenderContext rc(&target.dc);
    if (!gdiPaths) rc.m_flags &= ~CRenderContext::kFlagGdiPaths;
    UsePixels(rc);
    PointList path;
    ASSERT_EQ(PathFromRect(path, PixelRect(10, 50, 10, 50)), 0);
    FillStyle fill = SolidFill(0xFF0000FF);      // red
    LineStyle line = SolidLine(0xFFFF0000, -3);  // blue; device pixels whatever the zoom
    rc.DrawPath(path, &line, &fill);
    EXPECT_EQ(target.At(30, 30), 0xFF0000u) << "fill, device paths " << gdiPaths;
    EXPECT_EQ(target.At(30, 10), 0x0000FFu) << "line, device paths " << gdiPaths;
    EXPECT_EQ(target.At(5, 5), 0xFFFFFFu);
    EXPECT_FALSE(rc.m_drawnArea.IsEmpty());
  }
}

TEST(GdiFill, PenWidths) {
  ImageDC target;
  CGdiRenderContext rc(&target.dc);
  Matrix2x3 zoom;
  MatrixSetScale(zoom, kFixedOne / 10, kFixedOne / 10);
  rc.SetMatrix(zoom);
  LineStyle line;
  line.width = -4;
  EXPECT_EQ(rc.PenWidth(line), 4);
  line.width = 200;
  EXPECT_EQ(rc.PenWidth(line), 20);
}

TEST(GdiBands, CutCountsFollowTheEdgeCount) {
  struct Case {
    uint32_t edges;
    int32_t cuts;
  };
  const Case cases[] = {{0, 1},   {200, 1},  {201, 2},  {300, 2},
                        {301, 3}, {2500, 8}, {2501, 9}, {100000, 9}};
  for (const Case& c : cases)
    EXPECT_EQ(CGdiRenderContext::BandCutCount(c.edges), c.cuts) << c.edges;
}

TEST_F(GdiGraphTest, BandsOfAComb) {
  const StyleIndex red = Fill(0xFF0000FF);
  AddComb(50, red);  // 4 * 50 + 2 edges: more than 200
  Region* region = FirstFilledRegion();
  ASSERT_NE(region, nullptr);
  EXPECT_TRUE(RegionExceedsPoints(region, 800, 8) || graph_.edge_count > 200u);
  ImageDC banded, whole;
  CGdiRenderContext a(&banded.dc), b(&whole.dc);
  Matrix2x3 m;
  MatrixSetScale(m, kFixedOne / 1000, kFixedOne / 1000);
  a.SetMatrix(m);
  b.SetMatrix(m);
  FillStyle fill;
  EdgeGraphGetFillStyle(graph_, region->fill, fill);
  const int32_t bands = a.FillRegionInBands(region, fill);
  EXPECT_EQ(bands, CGdiRenderContext::BandCutCount(graph_.edge_count) + 1);
  b.m_flags &= ~CRenderContext::kFlagGdiPaths;
  b.FillRegion(region, fill);
  // Away from the cut lines and the outline, both show the same pixels.
  int differ = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 61; ++x) differ += banded.At(x, y) != whole.At(x, y);
  EXPECT_LT(differ, 61 * 2) << "bands leave more than the rows of their cuts";
  EXPECT_EQ(banded.At(30, 1), 0xFF0000u);
}

TEST_F(GdiGraphTest, TwoHundredEdgesGiveTwoBandsAndMoreGiveThree) {
  for (int edges : {200, 201}) {
    Reset();
    const StyleIndex red = Fill(0xFF0000FF);
    // A polygon of `edges` straight edges: a staircase closed by two sides.
    std::vector<Point32> p;
    const int steps = (edges - 2) / 2;
    for (int i = 0; i < steps; ++i) {
      p.push_back({i * 300, i * 300});
      p.push_back({i * 300 + 300, i * 300});
    }
    p.push_back({steps * 300, steps * 300});
    if ((edges - 2) % 2) p.push_back({steps * 300 + 150, steps * 300 + 150});
    p.push_back({0, steps * 300 + 300});
    p.push_back({0, 0});
    AddPolyline(p, red);
    ASSERT_EQ(graph_.edge_count, static_cast<uint32_t>(edges));
    Region* region = FirstFilledRegion();
    ASSERT_NE(region, nullptr);
    ImageDC target;
    CGdiRenderContext rc(&target.dc);
    FillStyle fill;
    EdgeGraphGetFillStyle(graph_, region->fill, fill);
    EXPECT_EQ(rc.FillRegionInBands(region, fill), edges == 200 ? 2 : 3);
  }
}

TEST_F(GdiGraphTest, CombsWithManyTeethTerminate) {
  const StyleIndex red = Fill(0xFF0000FF);
  AddComb(700, red);
  ImageDC target;
  CGdiRenderContext rc(&target.dc);
  rc.m_flags |= CRenderContext::kFlagFills;
  Matrix2x3 m;
  MatrixSetScale(m, kFixedOne / 1000, kFixedOne / 1000);
  rc.SetMatrix(m);
  rc.DrawEdgeGraph(graph_);
  EXPECT_EQ(target.At(30, 1), 0xFF0000u);
  rc.m_flags &= ~CRenderContext::kFlagGdiPaths;
  rc.DrawEdgeGraph(graph_);
  EXPECT_EQ(target.At(30, 1), 0xFF0000u);
}

TEST_F(GdiGraphTest, GradientBandRegionsAndClipPathAgree) {
  FillStyle g = GradientFill(kGradientLinear, {{0, 0xFF000000}, {255, 0xFFFFFFFF}});
  // The gradient square onto pixels 8..56 across.
  MatrixSetScale(g.matrix, kFixedOne * 480 / 16384, kFixedOne * 480 / 16384);
  g.matrix.tx = 640;
  g.matrix.ty = 640;
  const StyleIndex fill = static_cast<StyleIndex>(EdgeGraphAddFillStyle(graph_, g));
  AddPolyline({{160, 200}, {1120, 200}, {1120, 1000}, {160, 1000}, {160, 200}}, fill);
  ImageDC regions, clipped;
  CGdiRenderContext a(&regions.dc), b(&clipped.dc);
  for (CGdiRenderContext* rc : {&a, &b}) {
    rc->m_flags |= CRenderContext::kFlagFills;
    rc->SetQuality(3);
    UsePixels(*rc);
  }
  b.m_flags |= CRenderContext::kFlagGradientClip;
  a.DrawEdgeGraph(graph_);
  b.DrawEdgeGraph(graph_);
  for (ImageDC* d : {&regions, &clipped}) {
    EXPECT_LT(d->At(12, 30) & 0xFF, 0x30u);  // dark on the left
    EXPECT_GT(d->At(52, 30) & 0xFF, 0xD0u);  // light on the right
    EXPECT_EQ(d->At(30, 5), 0xFFFFFFu);      // nothing outside
    EXPECT_EQ(d->At(4, 30), 0xFFFFFFu);
    // Grey levels rise from left to right.
    for (int x = 10; x < 54; ++x) EXPECT_LE(d->At(x, 30) & 0xFF, d->At(x + 2, 30) & 0xFF) << x;
  }
  for (int x = 10; x < 54; ++x) {
    const int ra = regions.At(x, 30) & 0xFF, rb = clipped.At(x, 30) & 0xFF;
    EXPECT_NEAR(ra, rb, 12) << x;
  }
}

TEST(GdiHandles, Pixels) {
  struct Case {
    int flags;
    int x, y;
    uint32_t colour;
  };
  const Case cases[] = {
      {CRenderContext::kHandleSquare, 20, 20, 0x000000},  // black square, grown by 3
      {CRenderContext::kHandleSquare, 17, 20, 0x000000},
      {CRenderContext::kHandleSquare, 16, 20, 0x808080},  // untouched
      {CRenderContext::kHandleSquare | CRenderContext::kHandleWhite, 20, 20, 0xFFFFFF},
      {CRenderContext::kHandleSquare | CRenderContext::kHandleWhite, 16, 20, 0x000000},  // by 4
      {CRenderContext::kHandleCross | CRenderContext::kHandleLarge, 20, 15, 0x000000},
      {CRenderContext::kHandleCross | CRenderContext::kHandleLarge, 20, 20, 0xFFFFFF},
      {CRenderContext::kHandleCross, 20, 16, 0x000000},
      {CRenderContext::kHandleCross, 21, 24, 0xFFFFFF},
      {CRenderContext::kHandleCross, 25, 25, 0x808080},
  };
  for (const Case& c : cases) {
    ImageDC target;
    target.image.fill(QColor(0x80, 0x80, 0x80));
    CGdiRenderContext rc(&target.dc);
    UsePixels(rc);
    rc.DrawHandle({20 * kTwipsPerPixel, 20 * kTwipsPerPixel}, c.flags);
    EXPECT_EQ(target.At(c.x, c.y), c.colour) << "flags " << c.flags << " at " << c.x << "," << c.y;
  }
  // Outside the clip, nothing.
  ImageDC target;
  const Rect32 clip = {0, 10, 0, 10};
  CGdiRenderContext rc(&target.dc, &clip);
  rc.DrawHandle({30, 30}, CRenderContext::kHandleSquare);
  EXPECT_TRUE(rc.m_drawnArea.IsEmpty());
  EXPECT_EQ(target.At(30, 30), 0xFFFFFFu);
}

TEST(BitmapContext, BlitShowsPendingSpans) {
  COffscreenBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateDepth(32, nullptr, kSize, kSize, false));
  CBitmapRenderContext rc(&bitmap, 1);
  UsePixels(rc);
  rc.FillRectColor(0xFFFFFF);
  PointList path;
  ASSERT_EQ(PathFromRect(path, PixelRect(8, 40, 8, 40)), 0);
  FillStyle fill = SolidFill(0xFF00FF00);
  rc.DrawPath(path, nullptr, &fill);
  ImageDC window;
  rc.Blit(&window.dc, {0, kSize, 0, kSize}, 0, 0);
  EXPECT_EQ(window.At(20, 20), 0x00FF00u);
  EXPECT_EQ(window.At(50, 50), 0xFFFFFFu);
}

TEST_F(GdiGraphTest, GdiAndBitmapContextsAgreeOnInteriors) {
  const StyleIndex red = Fill(0xFF0000FF), blue = Fill(0xFFFF0000);
  AddPolyline({{100, 100}, {900, 130}, {1000, 900}, {150, 1000}, {100, 100}}, red);
  AddPolyline({{400, 300}, {700, 400}, {500, 700}, {400, 300}}, blue);
  COffscreenBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateDepth(32, nullptr, kSize, kSize, false));
  CBitmapRenderContext bc(&bitmap, 0);
  UsePixels(bc);
  bc.FillRectColor(0xFFFFFF);
  bc.DrawEdgeGraph(graph_);
  ImageDC fromBitmap;
  bc.Blit(&fromBitmap.dc, {0, kSize, 0, kSize}, 0, 0);
  for (bool gdiPaths : {true, false}) {
    ImageDC gdi;
    CGdiRenderContext rc(&gdi.dc);
    rc.m_flags |= CRenderContext::kFlagFills;
    if (!gdiPaths) rc.m_flags &= ~CRenderContext::kFlagGdiPaths;
    UsePixels(rc);
    rc.DrawEdgeGraph(graph_);
    // Pixels whose whole 3 x 3 neighbourhood agrees in one back end are
    // interior; there the other must agree.
    int interior = 0;
    for (int y = 1; y < kSize - 1; ++y)
      for (int x = 1; x < kSize - 1; ++x) {
        bool flat = true;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx)
            flat = flat && gdi.At(x + dx, y + dy) == gdi.At(x, y) &&
                   fromBitmap.At(x + dx, y + dy) == fromBitmap.At(x, y);
        if (!flat) continue;
        ++interior;
        EXPECT_EQ(gdi.At(x, y), fromBitmap.At(x, y)) << x << "," << y << " paths " << gdiPaths;
      }
    EXPECT_GT(interior, 2000);
  }
}

// Records the point-list calls a context receives, and draws them (calls
// the base makes of itself are not recorded).
class CRecordingDC : public CDC {
 public:
  using CDC::LineTo;
  using CDC::MoveTo;
  CPoint MoveTo(int x, int y) override {
    Record("move");
    const Nested nested(m_depth);
    return CDC::MoveTo(x, y);
  }
  bool LineTo(int x, int y) override {
    Record("line");
    const Nested nested(m_depth);
    return CDC::LineTo(x, y);
  }
  bool Polyline(const CPoint* p, int n) override {
    Record("polyline " + std::to_string(n));
    const Nested nested(m_depth);
    return CDC::Polyline(p, n);
  }
  bool PolylineTo(const CPoint* p, int n) override {
    Record("lines " + std::to_string(n));
    const Nested nested(m_depth);
    return CDC::PolylineTo(p, n);
  }
  bool PolyBezierTo(const CPoint* p, int n) override {
    Record("beziers " + std::to_string(n));
    const Nested nested(m_depth);
    return CDC::PolyBezierTo(p, n);
  }
  bool Polygon(const CPoint* p, int n) override {
    Record("polygon " + std::to_string(n));
    const Nested nested(m_depth);
    return CDC::Polygon(p, n);
  }
  bool PolyPolygon(const CPoint* p, const int* counts, int n) override {
    std::string s = "polypolygon";
    for (int i = 0; i < n; ++i) s += " " + std::to_string(counts[i]);
    Record(s);
    const Nested nested(m_depth);
    return CDC::PolyPolygon(p, counts, n);
  }
  std::vector<std::string> calls;

 private:
  struct Nested {
    explicit Nested(int& d) : m_depth(++d) {}
    ~Nested() { --m_depth; }
    int& m_depth;
  };
  void Record(std::string call) {
    if (m_depth == 0) calls.push_back(std::move(call));
  }
  int m_depth = 0;
};

TEST(GdiRecording, PathsGoInBatchesOfAtMost64Points) {
  QImage image(kSize, kSize, QImage::Format_RGB32);
  CRecordingDC dc;
  dc.CreateCompatibleDC(nullptr);
  dc.AttachImage(&image);
  CGdiRenderContext rc(&dc);
  // 100 straight pieces, 30 curves, one straight piece, 5 curves.
  PointList path;
  Point32 p{0, 0};
  ASSERT_EQ(PointListAppend(path, p, 0), 0);
  auto straight = [&](int n) {
    for (int i = 0; i < n; ++i) {
      p.x += 10;
      ASSERT_EQ(PointListAppend(path, p, 0), 0);
    }
  };
  auto curves = [&](int n) {
    for (int i = 0; i < n; ++i) {
      ASSERT_EQ(PointListAppend(path, {p.x + 5, p.y + 20}, 1), 0);
      p.x += 10;
      ASSERT_EQ(PointListAppend(path, p, 0), 0);
    }
  };
  straight(100);
  curves(30);
  straight(1);
  curves(5);
  Rect32 bounds;
  dc.BeginPath();
  rc.AddPath(path, &bounds);
  dc.EndPath();
  EXPECT_EQ(dc.calls, (std::vector<std::string>{"move", "lines 64", "lines 36", "beziers 63",
                                                "beziers 27", "line", "beziers 15"}));
  EXPECT_EQ(bounds.xmax, p.x);
}

TEST_F(GdiGraphTest, PolygonsCarryTheirContourLengths) {
  // A square with a square hole: one contour of five points each (the first
  // point repeated), as PolyPolygon; a triangle alone as Polygon.
  const StyleIndex red = Fill(0xFF0000FF);
  GraphFixture::AddPolyline({{100, 100}, {1000, 100}, {1000, 1000}, {100, 1000}, {100, 100}}, 0, 0,
                            red);
  GraphFixture::AddPolyline({{400, 400}, {700, 400}, {700, 700}, {400, 700}, {400, 400}}, 0, red,
                            0);
  GraphFixture::AddPolyline({{1100, 100}, {1200, 100}, {1150, 300}, {1100, 100}}, 0, 0, red);
  QImage image(kSize, kSize, QImage::Format_RGB32);
  CRecordingDC dc;
  dc.CreateCompatibleDC(nullptr);
  dc.AttachImage(&image);
  CGdiRenderContext rc(&dc);
  rc.m_flags = (rc.m_flags | CRenderContext::kFlagFills) & ~CRenderContext::kFlagGdiPaths;
  UsePixels(rc);
  rc.DrawEdgeGraph(graph_);
  std::sort(dc.calls.begin(), dc.calls.end());
  EXPECT_EQ(dc.calls, (std::vector<std::string>{"polygon 4", "polypolygon 5 5"}));
}

}  // namespace

namespace {

using GdiDelegateTest = GraphFixture;

TEST_F(GdiDelegateTest, FillsGoToTheDelegateInItsBlock) {
  ImageDC target;
  CGdiRenderContext rc(&target.dc);
  CRecordingDelegate ps;
  rc.m_delegate = &ps;
  rc.m_flags |= CRenderContext::kFlagFills;
  UsePixels(rc);
  PointList path;
  ASSERT_EQ(PathFromRect(path, PixelRect(10, 20, 10, 20)), 0);
  FillStyle solid = SolidFill(0xFF0000FF);
  LineStyle line = SolidLine(0xFF000000, 20);
  rc.DrawPath(path, &line, &solid);
  const StyleIndex red = Fill(0xFF0000FF);
  const StyleIndex ramp =
      static_cast<StyleIndex>(EdgeGraphAddFillStyle(graph_, GreyGradient(1000, 500)));
  AddPolyline({{100, 100}, {600, 100}, {600, 600}, {100, 600}, {100, 100}}, 0, 0, red);
  AddPolyline({{800, 100}, {1200, 100}, {1200, 600}, {800, 600}, {800, 100}}, 0, 0, ramp);
  rc.DrawEdgeGraph(graph_);
  std::vector<std::string> regions;
  for (size_t i = 0; i < ps.calls.size(); i += 3) {
    ASSERT_LT(i + 2, ps.calls.size());
    EXPECT_EQ(ps.calls[i], "begin");
    EXPECT_EQ(ps.calls[i + 2], "end");
    regions.push_back(ps.calls[i + 1]);
  }
  ASSERT_EQ(regions.size(), 3u);
  EXPECT_EQ(regions.front(), "polygon line fill");
  std::sort(regions.begin() + 1, regions.end());
  EXPECT_EQ(std::vector<std::string>(regions.begin() + 1, regions.end()),
            (std::vector<std::string>{"region", "region gradient"}));
  // Nothing reached the device context itself.
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) ASSERT_EQ(target.At(x, y), 0xFFFFFFu);
}

}  // namespace
