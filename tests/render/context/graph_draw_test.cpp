// Edge graphs through the render context: the fill pass by runs of edges
// against each region filled alone, line chains (their order, their cut
// into paths, where they end), outline drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_region.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "render/context/render_context.h"
#include "render/raster/offscreen_bitmap.h"
#include "render/raster/scan_converter.h"
#include "tests/common/image32.h"
#include "tests/render/context/graph_fixture.h"

namespace {

constexpr int kSize = 64;
constexpr int kTwipsPerPixel = 20;

using GraphDrawTest = GraphFixture;

// A context drawing into a bitmap through a scan converter, one pixel per 20 twips.
struct ScanSetup {
  explicit ScanSetup(uint32_t antiAlias) {
    EXPECT_TRUE(bitmap.CreateDepth(32, nullptr, kSize, kSize, false));
    scan = std::make_unique<CScanConverter>(&bitmap, nullptr, nullptr, antiAlias);
    rc.m_scan = scan.get();
    rc.m_flags |= CRenderContext::kFlagFills;
    Matrix2x3 m;
    MatrixSetScale(m, kFixedOne / kTwipsPerPixel, kFixedOne / kTwipsPerPixel);
    rc.SetClip({0, kSize * kTwipsPerPixel, 0, kSize * kTwipsPerPixel});
    rc.SetMatrix(m);
    rc.FillRectColor(0xFFFFFF);
  }
  COffscreenBitmap bitmap;
  std::unique_ptr<CScanConverter> scan;
  CRenderContext rc;
};

TEST_F(GraphDrawTest, FillsByRunsMatchEachRegionFilledAlone) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> coord(10, kSize * kTwipsPerPixel - 10);
  for (int round = 0; round < 20; ++round) {
    Reset();
    std::vector<StyleIndex> fills;
    for (uint32_t c : {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFF808080u})
      fills.push_back(Fill(c));
    for (int k = 0; k < 5; ++k) {
      std::vector<Point32> points;
      const int n = 3 + k % 3;
      for (int i = 0; i < n; ++i) points.push_back({coord(rng), coord(rng)});
      points.push_back(points[0]);
      const StyleIndex f = fills[(round + k) % fills.size()];
      if (k % 2) {
        AddPolyline(points, 0, f, 0);
      } else {
        AddPolyline(points, 0, 0, f);
      }
    }
    ScanSetup whole(0);
    whole.rc.DrawEdgeGraph(graph_);
    whole.rc.Flush();

    ScanSetup alone(0);
    RegionIter it;
    ASSERT_EQ(RegionIterInit(it, graph_), 0);
    std::vector<Region*> regions;
    while (Region* r = RegionIterNext(it))
      if (RegionIsOuter(*r) && !RegionIsEmpty(*r) && StyleIndexOf(r->fill) != 0)
        regions.push_back(r);
    for (Region* r : regions) {
      FillStyle f;
      EdgeGraphGetFillStyle(graph_, r->fill, f);
      alone.rc.FillRegion(r, f);
      alone.rc.Flush();
    }
    const std::vector<uint32_t> a = RgbPixels(whole.bitmap), b = RgbPixels(alone.bitmap);
    int differ = 0;
    std::string where;
    for (size_t i = 0; i < a.size(); ++i)
      if (a[i] != b[i] && ++differ < 6)
        where += " (" + std::to_string(i % kSize) + "," + std::to_string(i / kSize) + ") " +
                 std::to_string(a[i]) + "/" + std::to_string(b[i]);
    EXPECT_EQ(differ, 0) << "round " << round << where;
  }
}

TEST_F(GraphDrawTest, EachPassTakesEveryEdgeOnce) {
  // Two squares sharing an edge, both filled and outlined, and a square with
  // a gradient (drawn as band regions of its own without a scan converter):
  // 11 edges, 3 regions, 7 edges with lines.
  const StyleIndex red = Fill(0xFF0000FF), blue = Fill(0xFFFF0000);
  const StyleIndex ramp =
      static_cast<StyleIndex>(EdgeGraphAddFillStyle(graph_, GreyGradient(500, 400)));
  const StyleIndex line = Line(0xFF000000, 20);
  AddPolyline({{100, 100}, {500, 100}, {500, 500}, {100, 500}, {100, 100}}, line, 0, red);
  AddPolyline({{500, 100}, {900, 100}, {900, 500}, {500, 500}}, line, 0, blue);
  AddPolyline({{100, 700}, {900, 700}, {900, 1100}, {100, 1100}, {100, 700}}, 0, 0, ramp);
  ScanSetup scan(1);
  scan.rc.DrawEdgeGraph(graph_);
  EXPECT_EQ(scan.rc.m_passCounts.region_edges, 11u);
  EXPECT_EQ(scan.rc.m_passCounts.region_fills, 0u);
  EXPECT_EQ(scan.rc.m_passCounts.line_edges, 7u);
  CRenderContext plain;
  plain.m_flags |= CRenderContext::kFlagFills;
  plain.DrawEdgeGraph(graph_);
  EXPECT_EQ(plain.m_passCounts.region_edges, 0u);
  EXPECT_EQ(plain.m_passCounts.region_fills, 3u);
  EXPECT_EQ(plain.m_passCounts.line_edges, 7u);
}

TEST_F(GraphDrawTest, AntiAliasedSharedEdgesLeaveNoSeam) {
  // Two squares sharing an edge at a fractional pixel: the shared edge is fed
  // once with both fills, so no pixel along it shows the white background.
  const StyleIndex red = Fill(0xFF0000FF), blue = Fill(0xFFFF0000);
  // Clockwise on the screen: the inside is side B.
  AddPolyline({{110, 110}, {650, 110}, {650, 1100}, {110, 1100}, {110, 110}}, 0, 0, red);
  AddPolyline({{650, 110}, {1190, 110}, {1190, 1100}, {650, 1100}}, 0, 0, blue);
  ScanSetup s(1);
  s.rc.DrawEdgeGraph(graph_);
  s.rc.Flush();
  const std::vector<uint32_t> px = RgbPixels(s.bitmap);
  for (int y = 10; y < 50; ++y) {
    const uint32_t p = px[y * kSize + 32];  // the column the shared edge crosses
    const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
    EXPECT_LT(g, 8) << "row " << y << " shows the background: " << std::hex << p;
    EXPECT_GT(r + b, 240) << "row " << y;
  }
}

// Records the paths a context draws.
class CPathRecorder : public CRenderContext {
 public:
  CPathRecorder() { m_flags |= kFlagFills; }
  void DrawPath(const PointList& path, const LineStyle* line, const FillStyle* fill) override {
    Call c;
    c.points = path.length;
    c.first = path.length ? path.buffer[0].Point() : Point32{};
    c.last = path.length ? path.buffer[path.length - 1].Point() : Point32{};
    if (line) c.line = *line;
    c.has_fill = fill != nullptr;
    c.has_line = line != nullptr;
    calls.push_back(c);
  }
  struct Call {
    int32_t points = 0;
    Point32 first, last;
    LineStyle line;
    bool has_line = false;
    bool has_fill = false;
  };
  std::vector<Call> calls;
};

TEST_F(GraphDrawTest, ChainsAreDrawnThinBeforeWideAndSelectedLast) {
  const StyleIndex wide = Line(0xFF0000FF, 100), thin = Line(0xFFFF0000, 20);
  AddPolyline({{0, 0}, {1000, 0}}, wide);
  AddPolyline({{0, 500}, {1000, 500}}, static_cast<StyleIndex>(thin | kStyleSelected));
  AddPolyline({{0, 1000}, {1000, 1000}}, thin);
  CPathRecorder rc;
  rc.DrawEdgeGraph(graph_);
  ASSERT_EQ(rc.calls.size(), 3u);
  EXPECT_EQ(rc.calls[0].first.y, 1000);  // thin, unselected
  EXPECT_EQ(rc.calls[1].first.y, 0);     // wide
  EXPECT_EQ(rc.calls[2].first.y, 500);   // selected, whatever its width
}

TEST_F(GraphDrawTest, LongChainsAreCutAfter800UnitsOfWork) {
  const StyleIndex line = Line(0xFF000000, 20, 1);
  std::vector<Point32> zigzag;
  for (int i = 0; i <= 1000; ++i) zigzag.push_back({i * 40, (i % 2) * 40});
  AddPolyline(zigzag, line);
  CPathRecorder rc;
  rc.DrawEdgeGraph(graph_);
  ASSERT_EQ(rc.calls.size(), 2u);
  EXPECT_EQ(rc.calls[0].points, 802);  // 801 straight pieces pass 800
  EXPECT_EQ(rc.calls[1].points, 200);  // the rest, from where the first ended
  EXPECT_EQ(rc.calls[1].first, rc.calls[0].last);
  // One chain, from one end to the other.
  const Point32 a = rc.calls[0].first, b = rc.calls[1].last;
  EXPECT_TRUE((a == Point32{0, 0} && b == Point32{40000, 0}) ||
              (b == Point32{0, 0} && a == Point32{40000, 0}));
}

TEST_F(GraphDrawTest, ChainsEndWhereAThirdEdgeOfTheStyleMeets) {
  const StyleIndex line = Line(0xFF000000, 20);
  AddPolyline({{0, 0}, {1000, 0}}, line);
  AddPolyline({{1000, 0}, {2000, 0}}, line);
  AddPolyline({{1000, 0}, {1000, 1000}}, line);
  AddPolyline({{3000, 0}, {4000, 0}, {4000, 1000}}, line);  // one chain of two edges
  CPathRecorder rc;
  rc.DrawEdgeGraph(graph_);
  ASSERT_EQ(rc.calls.size(), 4u);
  std::vector<int32_t> lengths;
  for (const auto& c : rc.calls) lengths.push_back(c.points);
  std::sort(lengths.begin(), lengths.end());
  EXPECT_EQ(lengths, (std::vector<int32_t>{2, 2, 2, 3}));
}

TEST_F(GraphDrawTest, ChainDirectionDoesNotDependOnTheClip) {
  const StyleIndex line = Line(0xFF000000, 20, 1);
  AddPolyline({{0, 0}, {4000, 0}, {4000, 4000}, {8000, 4000}}, line);
  CPathRecorder full;
  full.DrawEdgeGraph(graph_);
  ASSERT_EQ(full.calls.size(), 1u);
  for (const Rect32& clip : {Rect32{3500, 4500, -500, 500}, Rect32{7000, 9000, 3000, 5000}}) {
    CPathRecorder part;
    part.SetClip(clip);
    part.DrawEdgeGraph(graph_);
    ASSERT_EQ(part.calls.size(), 1u);
    EXPECT_EQ(part.calls[0].first, full.calls[0].first);
    EXPECT_EQ(part.calls[0].points, full.calls[0].points);
  }
  CPathRecorder outside;
  outside.SetClip({20000, 21000, 20000, 21000});
  outside.DrawEdgeGraph(graph_);
  EXPECT_TRUE(outside.calls.empty());
}

TEST_F(GraphDrawTest, OutlineDrawingUsesTheOutlineStyleAndNoFills) {
  const StyleIndex red = Fill(0xFF0000FF);
  const StyleIndex thick = Line(0xFF00FF00, 200);
  AddPolyline({{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}, {0, 0}}, thick, red, 0);
  AddPolyline({{2000, 0}, {3000, 0}}, 0);
  CPathRecorder rc;
  rc.m_flags &= ~CRenderContext::kFlagFills;
  rc.m_outlineStyle.colour = 0xFF123456;
  rc.DrawEdgeGraph(graph_);
  ASSERT_FALSE(rc.calls.empty());
  int32_t pieces = 0;
  for (const auto& c : rc.calls) {
    EXPECT_FALSE(c.has_fill);
    EXPECT_EQ(c.line.colour, 0xFF123456u);
    pieces += c.points - 1;
  }
  EXPECT_EQ(pieces, 5);  // every edge once, lined or not
}

}  // namespace
