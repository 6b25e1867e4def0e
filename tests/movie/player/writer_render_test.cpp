// Movies made by the movie writer from edge graphs, read and rendered by the
// player, against the same edge graphs drawn straight through the scan
// converter's edge-graph input.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "geometry/curve.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_cleanup.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_style.h"
#include "movie/movie_writer.h"
#include "platform/core/file.h"
#include "player_test_util.h"
#include "render/raster/scan_converter.h"
#include "tests/common/edge_styles.h"

namespace {

// The stage is 8192 x 6144 twips in a 128 x 96 bitmap: 64 twips a pixel, a
// scale that both the plain and the anti-aliased view transform hold exactly.
// The player maps twips to device units in one matrix, the scan converter in
// two (to pixels, then to quarter pixels): placements are chosen so that both
// round alike.
constexpr int32_t kWidth = 128, kHeight = 96;
const Rect32 kStage{0, 8192, 0, 6144};

class WriterRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EdgeGraphResetGlobals();
    ASSERT_EQ(EdgeGraphInit(graph_), 0);
  }
  void TearDown() override { EdgeGraphFreeAll(graph_); }

  StyleIndex Fill(uint32_t colour) {
    return static_cast<StyleIndex>(EdgeGraphAddFillStyle(graph_, SolidFill(0xFF000000 | colour)));
  }
  StyleIndex Line(uint32_t colour, int16_t width) {
    return static_cast<StyleIndex>(
        EdgeGraphAddLineStyle(graph_, SolidLine(0xFF000000 | colour, width)));
  }
  // An edge in twips with the fills of its two sides and a line.
  void AddEdge(Point32 p0, Point32 control, Point32 p2, bool straight, StyleIndex a, StyleIndex b,
               StyleIndex line) {
    QuadCurve c;
    const Point32 q0{p0.x << 8, p0.y << 8}, q2{p2.x << 8, p2.y << 8};
    if (straight) {
      CurveFromLine(q0, q2, c);
    } else {
      CurveSet(q0, {control.x << 8, control.y << 8}, q2, c);
    }
    Edge* e = nullptr;
    ASSERT_EQ(EdgeGraphNewEdge(c, &e), 0);
    e->a.fill = a;
    e->b.fill = b;
    e->line = line;
    ASSERT_EQ(EdgeGraphInsertEdge(graph_, e, 0, 3), 0);
  }
  void Polygon(const std::vector<Point32>& pts, StyleIndex fill, StyleIndex line) {
    for (size_t i = 0; i < pts.size(); ++i)
      AddEdge(pts[i], {}, pts[(i + 1) % pts.size()], true, fill, 0, line);
  }

  // The player's rendering and the scan converter's of the graph placed at
  // `placement`; returns the number of pixels that differ.
  int Compare(const Matrix2x3& placement, bool antiAlias) {
    EXPECT_EQ(EdgeGraphCleanup(graph_), 0);
    CMemFile file;
    CMovieWriter w(&file);
    w.WriteHeader(kStage, 12 << 16);
    w.WriteShape(1, graph_);
    w.PlaceCharacter(1, 1, &placement);
    w.ShowFrame();
    w.Finish();
    TestPlayer p(kWidth, kHeight, antiAlias);
    p.Feed(file.GetData());
    EXPECT_EQ(p.Goto(0), kMovieDone);
    p.Render();

    COffscreenBitmap ref;
    EXPECT_TRUE(ref.CreateDepth(32, nullptr, kWidth, kHeight, false));
    {
      CScanConverter cv(&ref, nullptr, nullptr, antiAlias ? 1 : 0);
      cv.Clear(0xFFFFFF);
      Matrix2x3 view, m;
      MatrixSetScale(view, kFixedOne / 64, kFixedOne / 64);
      MatrixConcat(placement, view, m);
      cv.SetMatrix(m, nullptr);
      cv.AddEdgeGraph(graph_);
      cv.Render();
    }
    int differ = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const uint8_t* q = ref.Row(y) + 4 * x;
        const uint32_t got = p.Pixel(x, y);
        const uint32_t want = uint32_t{q[2]} << 16 | uint32_t{q[1]} << 8 | q[0];
        if (got != want && differ++ < 4)
          ADD_FAILURE() << "aa " << antiAlias << " pixel " << x << "," << y << std::hex
                        << ": player " << got << " direct " << want;
      }
    return differ;
  }

  EdgeGraph graph_;
};

TEST_F(WriterRenderTest, FilledRegionsMatchPixelForPixel) {
  const StyleIndex red = Fill(0x2020E0), green = Fill(0x20C020), blue = Fill(0xE02020);
  Polygon({{200, 200}, {2200, 200}, {2200, 1800}, {200, 1800}}, red, 0);
  Polygon({{3000, 300}, {4800, 900}, {3600, 2600}}, green, 0);
  // Two regions sharing an edge, the right one bounded by curves.
  AddEdge({6000, 200}, {}, {6000, 2400}, true, blue, red, 0);
  AddEdge({6000, 2400}, {}, {5000, 2400}, true, blue, 0, 0);
  AddEdge({5000, 2400}, {}, {5000, 200}, true, blue, 0, 0);
  AddEdge({5000, 200}, {}, {6000, 200}, true, blue, 0, 0);
  AddEdge({6000, 200}, {7600, 300}, {7200, 1300}, false, 0, red, 0);
  AddEdge({7200, 1300}, {6800, 2300}, {6000, 2400}, false, 0, red, 0);
  for (bool aa : {false, true}) {
    Matrix2x3 m;
    m.tx = 320, m.ty = 2496;
    EXPECT_EQ(Compare(m, aa), 0) << "aa " << aa;
  }
}

TEST_F(WriterRenderTest, RandomOutlinesUnderRandomPlacements) {
  std::mt19937 rng(11);
  auto r = [&rng](int lo, int hi) { return lo + static_cast<int>(rng() % (hi - lo + 1)); };
  for (int i = 0; i < 6; ++i) {
    const StyleIndex f = Fill(static_cast<uint32_t>(rng() & 0xFFFFFF));
    // One outline per cell of a 3 x 2 grid, so that none overlap.
    const int32_t cx = 1365 + 2730 * (i % 3) + r(-200, 200),
                  cy = 1536 + 3072 * (i / 3) + r(-200, 200);
    const int32_t n = r(3, 6);
    std::vector<Point32> pts;
    for (int k = 0; k < n; ++k) {
      const double a = 6.2831853 * k / n;
      const int32_t radius = r(400, 1000);
      pts.push_back({cx + static_cast<int32_t>(radius * std::cos(a)),
                     cy + static_cast<int32_t>(radius * std::sin(a))});
    }
    Polygon(pts, f, 0);
  }
  for (int trial = 0; trial < 3; ++trial) {
    Matrix2x3 m;
    // Entries in steps of 1/1024 and translations in whole pixels: both
    // renderings then place the outline at exactly the same device points.
    m.a = (0x10000 - r(0, 0x4000)) & ~63;
    m.d = (0x10000 - r(0, 0x4000)) & ~63;
    m.b = r(-0x2000, 0x2000) & ~63;
    m.c = r(-0x2000, 0x2000) & ~63;
    m.tx = r(-5, 5) * 64;
    m.ty = r(-5, 5) * 64;
    for (bool aa : {false, true}) EXPECT_EQ(Compare(m, aa), 0) << "trial " << trial << " aa " << aa;
  }
}

TEST_F(WriterRenderTest, StrokedOutlinesMatchPixelForPixel) {
  const StyleIndex fill = Fill(0x40A0F0);
  const StyleIndex wide = Line(0x000080, 200), thin = Line(0x800000, 40);
  Polygon({{600, 600}, {3000, 600}, {3000, 2600}, {600, 2600}}, fill, wide);
  AddEdge({4000, 800}, {6000, 400}, {7000, 2600}, false, 0, 0, thin);
  AddEdge({7000, 2600}, {}, {4200, 3600}, true, 0, 0, wide);
  // An open chain of one style: a curve and a line meeting at a corner.
  AddEdge({600, 3400}, {1600, 2800}, {2200, 3600}, false, 0, 0, wide);
  AddEdge({2200, 3600}, {}, {3400, 4000}, true, 0, 0, wide);
  for (bool aa : {false, true}) {
    Matrix2x3 m;
    m.ty = 1024;
    EXPECT_EQ(Compare(m, aa), 0) << "aa " << aa;
  }
}

}  // namespace
