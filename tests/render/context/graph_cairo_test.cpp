// Anti-aliased shapes through the render context against Cairo filling the
// same regions one by one (their outlines with holes, even-odd).
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_path.h"
#include "geometry/edge_graph_region.h"
#include "geometry/point_list.h"
#include "render/context/render_context.h"
#include "render/raster/offscreen_bitmap.h"
#include "render/raster/scan_converter.h"
#include "tests/common/image32.h"
#include "tests/render/context/graph_fixture.h"

namespace {

constexpr int kSize = 64;
constexpr double kTwipsPerPixel = 20;
// The scan converter's sub-samples sit on Cairo's pixel grid moved up by
// 1/8 pixel.
constexpr double kRowOffset = 0.125;

using GraphCairoTest = GraphFixture;

// 0xRRGGBB per pixel.
std::vector<uint32_t> DrawCairo(EdgeGraph& graph) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kSize, kSize);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_tolerance(cr, 0.01);
  cairo_translate(cr, 0, kRowOffset);
  cairo_scale(cr, 1 / kTwipsPerPixel, 1 / kTwipsPerPixel);
  RegionIter it;
  EXPECT_EQ(RegionIterInit(it, graph), 0);
  while (Region* r = RegionIterNext(it)) {
    if (!RegionIsOuter(*r) || RegionIsEmpty(*r) || StyleIndexOf(r->fill) == 0) continue;
    FillStyle f;
    EdgeGraphGetFillStyle(graph, r->fill, f);
    cairo_new_path(cr);
    // The outline and each hole as its own figure.
    auto figure = [&](const Region* region) {
      PointList path;
      EXPECT_EQ(RegionGetContour(region, path), 0);
      PointListIter pi;
      PointListIterInit(path, pi);
      QuadCurve c;
      bool first = true;
      while (PointListIterNext(pi, c)) {
        if (first) cairo_move_to(cr, c.p0.x, c.p0.y);
        first = false;
        if (c.straight) {
          cairo_line_to(cr, c.p2.x, c.p2.y);
        } else {
          cairo_curve_to(cr, c.p0.x + 2.0 * (c.control.x - c.p0.x) / 3,
                         c.p0.y + 2.0 * (c.control.y - c.p0.y) / 3,
                         c.p2.x + 2.0 * (c.control.x - c.p2.x) / 3,
                         c.p2.y + 2.0 * (c.control.y - c.p2.y) / 3, c.p2.x, c.p2.y);
        }
      }
      cairo_close_path(cr);
    };
    figure(r);
    for (const Region* hole = r->first_child; hole; hole = hole->next) figure(hole);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_set_source_rgb(cr, (f.colour & 0xFF) / 255.0, ((f.colour >> 8) & 0xFF) / 255.0,
                         ((f.colour >> 16) & 0xFF) / 255.0);
    cairo_fill(cr);
  }
  cairo_surface_flush(surface);
  std::vector<uint32_t> out;
  const uint8_t* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      uint32_t px;
      std::memcpy(&px, data + y * stride + 4 * x, 4);
      out.push_back(px & 0xFFFFFF);
    }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return out;
}

std::vector<uint32_t> DrawOurs(EdgeGraph& graph) {
  COffscreenBitmap bitmap;
  EXPECT_TRUE(bitmap.CreateDepth(32, nullptr, kSize, kSize, false));
  CScanConverter scan(&bitmap, nullptr, nullptr, 1);
  CRenderContext rc;
  rc.m_scan = &scan;
  rc.m_flags |= CRenderContext::kFlagFills;
  rc.FillRectColor(0xFFFFFF);
  Matrix2x3 m;
  MatrixSetScale(m, static_cast<Fixed>(kFixedOne / kTwipsPerPixel),
                 static_cast<Fixed>(kFixedOne / kTwipsPerPixel));
  rc.SetMatrix(m);
  rc.DrawEdgeGraph(graph);
  rc.Flush();
  return RgbPixels(bitmap);
}

TEST_F(GraphCairoTest, AntiAliasedRegionsAgreeWithCairo) {
  std::mt19937 rng(31);
  std::uniform_int_distribution<int32_t> coord(30, kSize * 20 - 30);
  for (int round = 0; round < 12; ++round) {
    Reset();
    const StyleIndex fills[] = {Fill(0xFF2020E0), Fill(0xFF20C020), Fill(0xFFE02020)};
    for (int k = 0; k < 4; ++k) {
      std::vector<Point32> points;
      for (int i = 0; i < 4; ++i) points.push_back({coord(rng), coord(rng)});
      points.push_back(points[0]);
      if (k % 2) {
        AddPolyline(points, 0, fills[k % 3], 0);
      } else {
        AddPolyline(points, 0, 0, fills[k % 3]);
      }
    }
    const std::vector<uint32_t> ours = DrawOurs(graph_), cairo = DrawCairo(graph_);
    double sum = 0;
    int far = 0;
    for (size_t i = 0; i < ours.size(); ++i)
      for (int shift = 0; shift < 24; shift += 8) {
        const int d = std::abs(static_cast<int>(ours[i] >> shift & 0xFF) -
                               static_cast<int>(cairo[i] >> shift & 0xFF));
        sum += d;
        // Coverage of 4 x 4 samples is off by at most about 2/16 of a
        // colour step; Cairo's seams where two regions meet add more.
        far += d > 64;
      }
    EXPECT_LT(sum / (3.0 * ours.size()), 1.5) << "round " << round;
    EXPECT_LE(far, 40) << "round " << round;
  }
}

}  // namespace
