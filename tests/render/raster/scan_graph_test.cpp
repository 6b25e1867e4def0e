// A shape's edge graph drawn through the scan converter: fills of both sides
// of every edge, chained plain lines, against Cairo for random outlines.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_style.h"
#include "geometry/point_list.h"
#include "render/raster/offscreen_bitmap.h"
#include "render/raster/scan_converter.h"
#include "scan_input.h"
#include "tests/common/edge_styles.h"

namespace {

constexpr int kSize = 64;
constexpr int kTwipsPerPixel = 20;

uint32_t Colour(int r, int g, int b) {
  return PackRgb(r, g, b) | 0xFF000000u;
}

class ScanGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EdgeGraphResetGlobals();
    ASSERT_EQ(EdgeGraphInit(graph), 0);
    ASSERT_TRUE(bitmap.CreateDepth(32, nullptr, kSize, kSize, false));
  }
  void TearDown() override { EdgeGraphFreeAll(graph); }

  StyleIndex Fill(uint32_t colour) {
    FillStyle f = SolidFill(colour);
    return static_cast<StyleIndex>(EdgeGraphAddFillStyle(graph, f));
  }
  StyleIndex Line(uint32_t colour, int widthPixels) {
    LineStyle l = SolidLine(colour, widthPixels * kTwipsPerPixel);
    return static_cast<StyleIndex>(EdgeGraphAddLineStyle(graph, l));
  }
  // Entries in pixels: {x, y, off-curve}.
  static void Path(PointList& path, const std::vector<std::array<int32_t, 3>>& entries) {
    for (const auto& e : entries)
      ASSERT_EQ(PointListAppend(path, {e[0] * kTwipsPerPixel, e[1] * kTwipsPerPixel}, e[2]), 0);
  }
  void Render() {
    CScanConverter cv(&bitmap, nullptr, nullptr, 1);
    cv.Clear(0xFFFFFF);
    Matrix2x3 m;
    MatrixSetScale(m, kFixedOne / kTwipsPerPixel, kFixedOne / kTwipsPerPixel);
    cv.SetMatrix(m, nullptr);
    cv.AddEdgeGraph(graph);
    cv.Render();
  }
  Rgb8 At(int x, int y) { return PixelAt(bitmap, x, y); }

  EdgeGraph graph;
  COffscreenBitmap bitmap;
};

TEST_F(ScanGraphTest, NeighbouringFacesShareTheirBorderWithoutASeam) {
  const StyleIndex red = Fill(Colour(255, 0, 0)), blue = Fill(Colour(0, 0, 255));
  PointList left, right;
  Path(left, {{10, 10, 0}, {30, 10, 0}, {30, 50, 0}, {10, 50, 0}, {10, 10, 0}});
  Path(right, {{30, 10, 0}, {50, 10, 0}, {50, 50, 0}, {30, 50, 0}, {30, 10, 0}});
  ASSERT_EQ(EdgeGraphAddPath(graph, left, 0, red, 0), 0);
  ASSERT_EQ(EdgeGraphAddPath(graph, right, 0, blue, 0), 0);
  // The shared border carries red on one side and blue on the other.
  int shared = 0;
  EdgeGraphForEachEdge(graph, nullptr, [&](const Edge* e) {
    shared += e->curve.p0.x == 30 * kTwipsPerPixel * 256 && e->curve.p2.x == e->curve.p0.x;
  });
  ASSERT_EQ(shared, 1);
  Render();
  for (int y = 10; y < 50; ++y) {
    EXPECT_EQ(At(9, y), (Rgb8{255, 255, 255})) << y;
    for (int x = 10; x < 30; ++x) ASSERT_EQ(At(x, y), (Rgb8{255, 0, 0})) << x << ", " << y;
    for (int x = 30; x < 50; ++x) ASSERT_EQ(At(x, y), (Rgb8{0, 0, 255})) << x << ", " << y;
    EXPECT_EQ(At(50, y), (Rgb8{255, 255, 255})) << y;
  }
}

TEST_F(ScanGraphTest, CurvedOutlinesMatchCairoWithinTheSamplingError) {
  std::mt19937 rng(31);
  std::uniform_int_distribution<int> coord(2, kSize - 2);
  double total = 0;
  const int trials = 30;
  for (int trial = 0; trial < trials; ++trial) {
    EdgeGraphFreeAll(graph);
    ASSERT_EQ(EdgeGraphInit(graph), 0);
    const StyleIndex black = Fill(Colour(0, 0, 0));
    std::vector<std::array<int32_t, 3>> entries;
    const int n = 3 + trial % 5;
    std::vector<std::array<int, 2>> ends, controls;
    for (int i = 0; i < n; ++i) {
      ends.push_back({coord(rng), coord(rng)});
      controls.push_back({coord(rng), coord(rng)});
    }
    for (int i = 0; i < n; ++i) {
      entries.push_back({ends[i][0], ends[i][1], 0});
      entries.push_back({controls[i][0], controls[i][1], 1});
    }
    entries.push_back({ends[0][0], ends[0][1], 0});
    PointList path;
    Path(path, entries);
    ASSERT_EQ(EdgeGraphAddPath(graph, path, 0, black, 0), 0);
    Render();

    // Cairo, even-odd (every crossing toggles the fill), on the same grid.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kSize, kSize);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_tolerance(cr, 0.01);
    cairo_translate(cr, 0, 0.125);
    cairo_move_to(cr, ends[0][0], ends[0][1]);
    for (int i = 0; i < n; ++i) {
      const double ax = ends[i][0], ay = ends[i][1], cx = controls[i][0], cy = controls[i][1];
      const double bx = ends[(i + 1) % n][0], by = ends[(i + 1) % n][1];
      cairo_curve_to(cr, ax + 2 * (cx - ax) / 3, ay + 2 * (cy - ay) / 3, bx + 2 * (cx - bx) / 3,
                     by + 2 * (cy - by) / 3, bx, by);
    }
    cairo_close_path(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_fill(cr);
    cairo_surface_flush(surface);
    const uint8_t* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    double sum = 0;
    int edges = 0;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) {
        const int d = std::abs(At(x, y).r - data[y * stride + 4 * x + 2]);
        sum += d;
        edges += d > 0;
      }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    // Graph vertices lie on whole twips (1/20 pixel): the outline moves by
    // less than one twip from the path Cairo draws.
    const double meanEdge = edges ? sum / edges / 255 : 0;
    ASSERT_LT(meanEdge, 1.0 / 8) << "trial " << trial;
    total += meanEdge;
  }
  EXPECT_LT(total / trials, 1.0 / 16);
}

TEST_F(ScanGraphTest, LinesAreChainedAboveTheFills) {
  const StyleIndex green = Fill(Colour(0, 255, 0));
  const StyleIndex line = Line(Colour(0, 0, 255), 4);
  PointList square;
  Path(square, {{16, 16, 0}, {48, 16, 0}, {48, 48, 0}, {16, 48, 0}, {16, 16, 0}});
  ASSERT_EQ(EdgeGraphAddPath(graph, square, line, green, 0), 0);
  Render();
  EXPECT_EQ(At(32, 32), (Rgb8{0, 255, 0}));
  for (int k = 16; k <= 47; ++k) {
    // Two pixels either side of every side, in the line colour.
    EXPECT_EQ(At(k, 15), (Rgb8{0, 0, 255})) << k;
    EXPECT_EQ(At(k, 16), (Rgb8{0, 0, 255})) << k;
    EXPECT_EQ(At(47, k), (Rgb8{0, 0, 255})) << k;
    EXPECT_EQ(At(14, k), (Rgb8{0, 0, 255})) << k;
  }
  // The chain is closed: every corner is a round join, none a square end.
  EXPECT_EQ(At(13, 13), (Rgb8{255, 255, 255}));
  EXPECT_EQ(At(50, 50), (Rgb8{255, 255, 255}));
  EXPECT_EQ(At(12, 32), (Rgb8{255, 255, 255}));
}

}  // namespace
