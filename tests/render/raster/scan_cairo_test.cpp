// Anti-aliased polygons against Cairo's rendering of the same outlines.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "render/raster/scan_converter.h"
#include "scan_input.h"

namespace {

constexpr int kSize = 64;

struct Polygon {
  std::vector<Point32> points;    // quarter pixels
  std::vector<Point32> controls;  // when given, edge i is a curve through controls[i]
  bool winding = false;
  int r = 0, g = 0, b = 0;
};

// Our sub-samples sit at rows y, y + 1/4, y + 1/2, y + 3/4 of a pixel row and
// at the centres of the quarter columns: the same grid as Cairo's pixel area
// moved up by 1/8 pixel.
constexpr double kRowOffset = 0.125;

std::vector<uint8_t> DrawCairo(const std::vector<Polygon>& polygons) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kSize, kSize);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_tolerance(cr, 0.01);
  cairo_translate(cr, 0, kRowOffset);
  for (const Polygon& p : polygons) {
    cairo_new_path(cr);
    cairo_move_to(cr, p.points[0].x / 4.0, p.points[0].y / 4.0);
    for (size_t i = 0; i < p.points.size(); ++i) {
      const Point32 a = p.points[i], b = p.points[(i + 1) % p.points.size()];
      if (p.controls.empty()) {
        cairo_line_to(cr, b.x / 4.0, b.y / 4.0);
        continue;
      }
      // The quadratic as a cubic: controls two thirds of the way to its own.
      const Point32 c = p.controls[i];
      cairo_curve_to(cr, (a.x + 2.0 * (c.x - a.x) / 3) / 4, (a.y + 2.0 * (c.y - a.y) / 3) / 4,
                     (b.x + 2.0 * (c.x - b.x) / 3) / 4, (b.y + 2.0 * (c.y - b.y) / 3) / 4,
                     b.x / 4.0, b.y / 4.0);
    }
    cairo_close_path(cr);
    cairo_set_fill_rule(cr, p.winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    cairo_set_source_rgb(cr, p.r / 255.0, p.g / 255.0, p.b / 255.0);
    cairo_fill(cr);
  }
  cairo_surface_flush(surface);
  std::vector<uint8_t> out(static_cast<size_t>(kSize) * kSize * 3);
  const uint8_t* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const uint8_t* px = data + y * stride + 4 * x;  // native-endian 0x00RRGGBB
      for (int c = 0; c < 3; ++c) out[(y * kSize + x) * 3 + c] = px[2 - c];
    }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return out;
}

std::vector<uint8_t> DrawOurs(const std::vector<Polygon>& polygons) {
  Canvas canvas(kSize, kSize);
  CScanConverter cv;
  cv.SetTarget(canvas.Target(), nullptr, 1);
  std::vector<CSpanFill> fills(polygons.size());
  EdgeChain chain;
  for (size_t i = 0; i < polygons.size(); ++i) {
    // Later polygons paint over earlier ones.
    MakeSolid(fills[i], cv, polygons[i].r, polygons[i].g, polygons[i].b,
              static_cast<int32_t>(i + 1));
    const Polygon& p = polygons[i];
    const ScanEdgeKind kind = p.winding ? kEdgeAddWinding : kEdgeToggleOneFill;
    if (p.controls.empty()) {
      chain.Polygon(p.points, &fills[i], kind);
      continue;
    }
    for (size_t k = 0; k < p.points.size(); ++k)
      chain.Curve(p.points[k], p.controls[k], p.points[(k + 1) % p.points.size()], &fills[i], kind);
  }
  cv.Clear(0xFFFFFF);
  Draw(cv, chain);
  std::vector<uint8_t> out(static_cast<size_t>(kSize) * kSize * 3);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const Rgb8 c = canvas.At(x, y);
      out[(y * kSize + x) * 3] = static_cast<uint8_t>(c.r);
      out[(y * kSize + x) * 3 + 1] = static_cast<uint8_t>(c.g);
      out[(y * kSize + x) * 3 + 2] = static_cast<uint8_t>(c.b);
    }
  return out;
}

std::string Describe(const std::vector<Polygon>& polygons) {
  std::string s;
  for (const Polygon& p : polygons) {
    s += p.winding ? "winding {" : "even-odd {";
    for (size_t i = 0; i < p.points.size(); ++i) {
      const Point32 q = p.points[i];
      s += "{" + std::to_string(q.x) + ", " + std::to_string(q.y) + "} ";
      if (!p.controls.empty())
        s += "control {" + std::to_string(p.controls[i].x) + ", " +
             std::to_string(p.controls[i].y) + "} ";
    }
    s += "}\n";
  }
  return s;
}

struct Difference {
  double mean = 0;       // over all channels of all pixels
  double mean_edge = 0;  // over channels where either image is neither white nor the fill
};

Difference Compare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  Difference d;
  double sum = 0, edgeSum = 0;
  int edges = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const int diff = std::abs(a[i] - b[i]);
    sum += diff;
    if (diff) {
      edgeSum += diff;
      ++edges;
    }
  }
  d.mean = sum / a.size();
  d.mean_edge = edges ? edgeSum / edges : 0;
  return d;
}

std::vector<Polygon> RandomPolygons(std::mt19937& rng, int count, bool colours,
                                    bool curves = false) {
  std::uniform_int_distribution<int> coord(-16, kSize * 4 + 16);
  std::vector<Polygon> out;
  for (int i = 0; i < count; ++i) {
    Polygon p;
    const int n = 3 + rng() % 8;
    for (int k = 0; k < n; ++k) p.points.push_back({coord(rng), coord(rng)});
    p.winding = rng() % 2;
    // Curves keep their control point's y between their ends, so they are
    // monotone in y as the converter's input must be.
    for (int k = 0; curves && k < n; ++k) {
      const Point32 a = p.points[k], b = p.points[(k + 1) % n];
      const int lo = std::min(a.y, b.y), hi = std::max(a.y, b.y);
      p.controls.push_back({coord(rng), lo + static_cast<int>(rng() % (hi - lo + 1))});
    }
    if (colours) {
      p.r = rng() % 256;
      p.g = rng() % 256;
      p.b = rng() % 256;
    }
    out.push_back(p);
  }
  return out;
}

}  // namespace

// Sampling error: a pixel edge cut by one edge is off by at most half a
// quarter column (1/8 of full scale) of coverage; averaged over many edges the
// error is well below one sub-sample (1/16).
constexpr double kEighth = 255.0 / 8;
constexpr double kSixteenth = 255.0 / 16;

// One polygon, black on white.
TEST(ScanAgainstCairo, SinglePolygonsMatchWithinSamplingError) {
  std::mt19937 rng(2024);
  double edgeTotal = 0;
  const int trials = 200;
  for (int trial = 0; trial < trials; ++trial) {
    const std::vector<Polygon> polygons = RandomPolygons(rng, 1, false);
    const Difference d = Compare(DrawOurs(polygons), DrawCairo(polygons));
    ASSERT_LT(d.mean_edge, kEighth) << Describe(polygons);
    ASSERT_LT(d.mean, 2.0) << Describe(polygons);
    edgeTotal += d.mean_edge;
  }
  EXPECT_LT(edgeTotal / trials, kSixteenth);
}

// Stacks of coloured polygons, later ones on top.
TEST(ScanAgainstCairo, StackedPolygonsMatchWithinSamplingError) {
  std::mt19937 rng(99);
  double edgeTotal = 0;
  const int trials = 60;
  for (int trial = 0; trial < trials; ++trial) {
    const std::vector<Polygon> polygons = RandomPolygons(rng, 2 + trial % 6, true);
    const Difference d = Compare(DrawOurs(polygons), DrawCairo(polygons));
    ASSERT_LT(d.mean_edge, kEighth) << Describe(polygons);
    ASSERT_LT(d.mean, 3.0) << Describe(polygons);
    edgeTotal += d.mean_edge;
  }
  EXPECT_LT(edgeTotal / trials, kSixteenth);
}

// Outlines of quadratic curves (as cubics for Cairo).
TEST(ScanAgainstCairo, CurvedOutlinesMatchWithinSamplingError) {
  std::mt19937 rng(5);
  double edgeTotal = 0;
  const int trials = 100;
  for (int trial = 0; trial < trials; ++trial) {
    const std::vector<Polygon> polygons = RandomPolygons(rng, 1 + trial % 3, trial % 2, true);
    const Difference d = Compare(DrawOurs(polygons), DrawCairo(polygons));
    ASSERT_LT(d.mean_edge, kEighth) << Describe(polygons);
    ASSERT_LT(d.mean, 3.0) << Describe(polygons);
    edgeTotal += d.mean_edge;
  }
  EXPECT_LT(edgeTotal / trials, kSixteenth);
}
