// Path and stroke input: shapes of quadratic curves against Cairo, strokes
// against their analytic outlines, and the edge cases of the input rules.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "geometry/edge_style.h"
#include "geometry/point_list.h"
#include "render/raster/offscreen_bitmap.h"
#include "render/raster/scan_converter.h"
#include "scan_input.h"
#include "tests/common/edge_styles.h"

namespace {

constexpr int kSize = 64;

uint32_t Colour(int r, int g, int b) {
  return PackRgb(r, g, b) | 0xFF000000u;
}

// Grey levels of a 32-bit bitmap (red channel) after drawing.
struct Surface {
  COffscreenBitmap bitmap;
  CScanConverter* cv = nullptr;
  explicit Surface(uint32_t antiAlias, int size = kSize) {
    EXPECT_TRUE(bitmap.CreateDepth(32, nullptr, size, size, false));
    cv = new CScanConverter(&bitmap, nullptr, nullptr, antiAlias);
    cv->Clear(0xFFFFFF);
    Matrix2x3 identity;
    cv->SetMatrix(identity, nullptr);
  }
  ~Surface() { delete cv; }
  Rgb8 At(int x, int y) { return PixelAt(bitmap, x, y); }
  // Coverage of a black drawing on white, 0..1.
  double Ink(int x, int y) { return (255 - At(x, y).r) / 255.0; }
  void Render() {
    cv->Render();
    cv->ResetInput();
  }
};

// A closed path of n quadratic curves around (cx, cy) (device pixels, the
// points in 1/4 pixels after the identity matrix... the converter's device
// matrix scales by 4, so document units are pixels).
void RandomCurvePath(std::mt19937& rng, PointList& path, std::vector<Point32>& ends,
                     std::vector<Point32>& controls, int n) {
  PointListFree(path);
  ends.clear();
  controls.clear();
  std::uniform_int_distribution<int> coord(-4, kSize + 4);
  for (int i = 0; i < n; ++i) {
    ends.push_back({coord(rng), coord(rng)});
    controls.push_back({coord(rng), coord(rng)});
  }
  EXPECT_EQ(PointListAppend(path, ends[0], 0), 0);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(PointListAppend(path, controls[i], 1), 0);
    EXPECT_EQ(PointListAppend(path, ends[(i + 1) % n], 0), 0);
  }
}

std::vector<double> CairoInk(const std::vector<Point32>& ends, const std::vector<Point32>& controls,
                             bool winding) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kSize, kSize);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_tolerance(cr, 0.01);
  // Our sub-samples sit at the tops of the quarter rows: Cairo's area
  // coverage moved up by 1/8 pixel is the same grid.
  cairo_translate(cr, 0, 0.125);
  const size_t n = ends.size();
  cairo_move_to(cr, ends[0].x, ends[0].y);
  for (size_t i = 0; i < n; ++i) {
    const Point32 a = ends[i], c = controls[i], b = ends[(i + 1) % n];
    cairo_curve_to(cr, a.x + 2.0 * (c.x - a.x) / 3, a.y + 2.0 * (c.y - a.y) / 3,
                   b.x + 2.0 * (c.x - b.x) / 3, b.y + 2.0 * (c.y - b.y) / 3, b.x, b.y);
  }
  cairo_close_path(cr);
  cairo_set_fill_rule(cr, winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_fill(cr);
  cairo_surface_flush(surface);
  std::vector<double> out(kSize * kSize);
  const uint8_t* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x)
      out[y * kSize + x] = (255 - data[y * stride + 4 * x + 2]) / 255.0;
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return out;
}

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

// Coverage of the set of points within w/2 of the polyline, on the
// converter's sample grid (quarter-pixel columns at their centres, quarter
// rows at their tops), 4 x 4 per pixel.
double AnalyticInk(const std::vector<std::pair<double, double>>& pts, double w, int px, int py) {
  int in = 0;
  for (int sy = 0; sy < 4; ++sy)
    for (int sx = 0; sx < 4; ++sx) {
      const double x = px + (sx + 0.5) / 4, y = py + sy / 4.0;
      double d = 1e9;
      for (size_t i = 0; i + 1 < pts.size(); ++i)
        d = std::min(d, SegmentDistance(x, y, pts[i].first, pts[i].second, pts[i + 1].first,
                                        pts[i + 1].second));
      in += d <= w / 2;
    }
  return in / 16.0;
}

}  // namespace

// ---- Shapes --------------------------------------------------------------------------

TEST(PathInput, CurvedShapesMatchCairoWithinTheSamplingError) {
  std::mt19937 rng(17);
  double total = 0;
  const int trials = 60;
  for (int trial = 0; trial < trials; ++trial) {
    PointList path;
    std::vector<Point32> ends, controls;
    RandomCurvePath(rng, path, ends, controls, 8);
    const bool winding = trial % 2;
    Surface s(1);
    const FillStyle fill = SolidFill(Colour(0, 0, 0));
    s.cv->AddPath(path, nullptr, &fill, winding ? FillRule::kNonZero : FillRule::kEvenOdd);
    s.Render();
    const std::vector<double> want = CairoInk(ends, controls, winding);
    double sum = 0, edgeSum = 0;
    int edges = 0;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) {
        const double d = std::abs(s.Ink(x, y) - want[y * kSize + x]);
        sum += d;
        if (d > 0) {
          edgeSum += d;
          ++edges;
        }
      }
    // A pixel cut by an edge is off by at most about half a quarter column
    // of coverage (1/8); the mean over the image stays far below.
    ASSERT_LT(edges ? edgeSum / edges : 0, 1.0 / 8) << "trial " << trial;
    ASSERT_LT(sum / (kSize * kSize), 0.01) << "trial " << trial;
    total += edges ? edgeSum / edges : 0;
  }
  EXPECT_LT(total / trials, 1.0 / 16);
}

TEST(PathInput, PointsReachTheDeviceAsTheMatrixMapsThem) {
  // Scales, rotations and skews, points near the wrapping range: the pen
  // lands where MatrixTransformPoint puts the point (rounding and wrapping
  // alike).
  std::mt19937 rng(5);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  std::uniform_int_distribution<int32_t> factor(-4 * 65536, 4 * 65536);
  for (uint32_t aa : {0u, 1u}) {
    Surface s(aa);
    for (int trial = 0; trial < 2000; ++trial) {
      Matrix2x3 m;
      m.a = factor(rng);
      m.d = factor(rng);
      m.b = trial % 3 == 0 ? 0 : factor(rng);
      m.c = trial % 3 == 0 ? 0 : factor(rng);
      m.tx = any(rng);
      m.ty = any(rng);
      s.cv->SetMatrix(m, nullptr);
      const Point32 p =
          trial % 2 ? Point32{any(rng), any(rng)} : Point32{any(rng) >> 12, any(rng) >> 12};
      s.cv->MoveTo(p);
      Point32 want;
      MatrixTransformPoint(s.cv->matrix, p, want);
      ASSERT_EQ(s.cv->pen, want) << "aa " << aa << " trial " << trial;
    }
  }
}

// Paths of random on-curve and control points, control points in runs
// included: AddPath files the same edges, in the same order, as the pieces
// of PointListIterNext fed one by one, for fills and for strokes.
TEST(PathInput, PathsFileThePiecesTheirIteratorYields) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int32_t> coord(-8, 4 * kSize + 8);
  const FillStyle fill = SolidFill(Colour(0, 0, 0));
  const LineStyle line = SolidLine(Colour(0, 0, 0), 40);
  for (int trial = 0; trial < 300; ++trial) {
    PointList path;
    const int n = 1 + static_cast<int>(rng() % 12);
    for (int i = 0; i < n; ++i)
      ASSERT_EQ(PointListAppend(path, {coord(rng), coord(rng)}, static_cast<int32_t>(rng() % 2)),
                0);
    const bool stroke = trial % 2 == 1;
    Surface walked(1), fed(1);
    walked.cv->AddPath(path, stroke ? &line : nullptr, stroke ? nullptr : &fill,
                       FillRule::kNonZero);
    fed.cv->objectId += 1;
    if (n >= 2) {
      const Point32 first = path.buffer[0].Point();
      const bool on = stroke ? fed.cv->BeginStroke(&line, first)
                             : fed.cv->BeginFill(&fill, nullptr, first, FillRule::kNonZero);
      ASSERT_TRUE(on);
      PointListIter it;
      PointListIterInit(path, it);
      QuadCurve c;
      while (PointListIterNext(it, c)) {
        if (stroke && c.straight) {
          fed.cv->StrokeLineTo(c.p2);
        } else if (stroke) {
          fed.cv->StrokeCurveTo(c.control, c.p2);
        } else if (c.straight) {
          fed.cv->FillLineTo(c.p2);
        } else {
          fed.cv->FillCurveTo(c.control, c.p2);
        }
      }
      if (stroke) {
        fed.cv->EndStroke();
      } else {
        fed.cv->FillLineTo(first);
      }
    }
    const CScanEdge* a = walked.cv->inputHead;
    const CScanEdge* b = fed.cv->inputHead;
    for (int k = 0; a || b; ++k, a = a->next, b = b->next) {
      ASSERT_TRUE(a && b) << "trial " << trial << " edge " << k;
      ASSERT_EQ(a->curve.p0, b->curve.p0) << "trial " << trial << " edge " << k;
      ASSERT_EQ(a->curve.control, b->curve.control) << "trial " << trial << " edge " << k;
      ASSERT_EQ(a->curve.p2, b->curve.p2) << "trial " << trial << " edge " << k;
      ASSERT_EQ(a->direction, b->direction) << "trial " << trial << " edge " << k;
    }
  }
}

TEST(PathInput, APathOfOnePointDrawsNothingAndHorizontalEdgesAddNone) {
  Surface s(1);
  PointList path;
  EXPECT_EQ(PointListAppend(path, {10, 10}, 0), 0);
  const FillStyle fill = SolidFill(Colour(0, 0, 0));
  const LineStyle line = SolidLine(Colour(0, 0, 0), 3);
  s.cv->AddPath(path, &line, &fill, FillRule::kEvenOdd);
  EXPECT_EQ(s.cv->inputHead, nullptr);
  s.cv->BeginFill(&fill, nullptr, {0, 5}, FillRule::kEvenOdd);
  s.cv->FillLineTo({30, 5});
  EXPECT_EQ(s.cv->inputHead, nullptr);
  // A curve whose control point is 1 unit above its start is one edge, its
  // control moved onto the start's row.
  s.cv->MoveTo({0, 0});
  QuadCurve c;
  CurveSet({40, 40}, {60, 39}, {80, 80}, c);
  s.cv->AddCurve(c);
  ASSERT_NE(s.cv->inputHead, nullptr);
  EXPECT_EQ(s.cv->inputHead->next, nullptr);
  EXPECT_EQ(s.cv->inputHead->curve.control.y, 40);
  // One whose control lies far outside is split at its extremum.
  s.cv->ResetInput();
  CurveSet({40, 40}, {60, 0}, {80, 80}, c);
  s.cv->AddCurve(c);
  int count = 0;
  for (CScanEdge* e = s.cv->inputHead; e; e = e->next) {
    ++count;
    EXPECT_GE(e->curve.control.y, e->curve.p0.y);
    EXPECT_LE(e->curve.control.y, e->curve.p2.y);
  }
  EXPECT_EQ(count, 2);
}

TEST(PathInput, TwoSidedBoundariesDrawOnlyBetweenDifferentFills) {
  Surface s(0);
  const FillStyle red = SolidFill(Colour(255, 0, 0)), blue = SolidFill(Colour(0, 0, 255));
  EXPECT_FALSE(s.cv->BeginFill(&red, &red, {0, 0}, FillRule::kTwoSided));
  EXPECT_FALSE(s.cv->BeginFill(nullptr, nullptr, {0, 0}, FillRule::kTwoSided));
  EXPECT_TRUE(s.cv->BeginFill(nullptr, &blue, {0, 0}, FillRule::kTwoSided));
  EXPECT_EQ(s.cv->edgeKind, kEdgeToggleOneFill);
  EXPECT_EQ(s.cv->fillA->blue, 255);
  // Two rectangles sharing the edge x = 20: left red, right blue, each
  // border fed once with the fills of both sides.
  s.cv->ResetInput();
  s.cv->objectId += 1;
  auto edge = [&](const FillStyle* left, const FillStyle* right, Point32 a, Point32 b) {
    if (s.cv->BeginFill(left, right, a, FillRule::kTwoSided)) s.cv->FillLineTo(b);
  };
  edge(&red, nullptr, {10, 10}, {10, 30});
  edge(&red, &blue, {20, 10}, {20, 30});
  edge(&blue, nullptr, {30, 10}, {30, 30});
  s.Render();
  EXPECT_EQ(s.At(15, 20), (Rgb8{255, 0, 0}));
  EXPECT_EQ(s.At(25, 20), (Rgb8{0, 0, 255}));
  EXPECT_EQ(s.At(35, 20), (Rgb8{255, 255, 255}));
}

// ---- Strokes ----------------------------------------------------------------------------

TEST(StrokeInput, WideStrokesMatchTheirAnalyticOutline) {
  std::mt19937 rng(23);
  double total = 0;
  const int trials = 40;
  for (int trial = 0; trial < trials; ++trial) {
    const int width = 2 + trial % 7;
    std::vector<std::pair<double, double>> pts;
    PointList path;
    std::uniform_int_distribution<int> coord(8, kSize - 8);
    const int n = 2 + static_cast<int>(rng() % 4);
    for (int i = 0; i < n; ++i) {
      const Point32 p = {coord(rng), coord(rng)};
      EXPECT_EQ(PointListAppend(path, p, 0), 0);
      pts.push_back({p.x, p.y});
    }
    Surface s(1);
    const LineStyle line = SolidLine(Colour(0, 0, 0), width);
    s.cv->AddPath(path, &line, nullptr, FillRule::kEvenOdd);
    s.Render();
    double sum = 0, edgeSum = 0;
    int edges = 0;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) {
        const double d = std::abs(s.Ink(x, y) - AnalyticInk(pts, width, x, y));
        sum += d;
        if (d > 0) {
          edgeSum += d;
          ++edges;
        }
      }
    // Joins and caps are polygons of at most 16 sides; the sides of the
    // stroke are exact to the device unit.
    ASSERT_LT(edges ? edgeSum / edges : 0, 0.2) << "trial " << trial << " width " << width;
    total += edges ? edgeSum / edges : 0;
  }
  EXPECT_LT(total / trials, 0.1);
}

TEST(StrokeInput, ALongStrokeIsItsWidthAcross) {
  // Horizontal and slanted strokes: the ink across each column is the width
  // (the slanted one's vertical extent is width / cos).
  for (int width : {3, 5, 9}) {
    for (int slope : {0, 1}) {
      Surface s(1);
      PointList path;
      EXPECT_EQ(PointListAppend(path, {-10, 20}, 0), 0);
      EXPECT_EQ(PointListAppend(path, {kSize + 10, 20 + slope * 20}, 0), 0);
      const LineStyle line = SolidLine(Colour(0, 0, 0), width);
      s.cv->AddPath(path, &line, nullptr, FillRule::kEvenOdd);
      s.Render();
      const double want = width * std::hypot(1.0, slope * 20.0 / (kSize + 20));
      for (int x = 4; x < kSize - 4; ++x) {
        double ink = 0;
        for (int y = 0; y < kSize; ++y) ink += s.Ink(x, y);
        // The offsets of the sides are whole device units (a quarter pixel):
        // each side is off by at most about 0.7 of one.
        EXPECT_NEAR(ink, want, slope ? 0.375 : 0.07)
            << "width " << width << " slope " << slope << " x " << x;
      }
    }
  }
}

TEST(StrokeInput, AOnePixelVerticalStrokeAtAWholeXCoversOneColumn) {
  Surface s(1);
  PointList path;
  EXPECT_EQ(PointListAppend(path, {10, 5}, 0), 0);
  EXPECT_EQ(PointListAppend(path, {10, 40}, 0), 0);
  const LineStyle line = SolidLine(Colour(0, 0, 0), 1);
  s.cv->AddPath(path, &line, nullptr, FillRule::kEvenOdd);
  s.Render();
  for (int y = 8; y < 38; ++y) {
    EXPECT_EQ(s.At(9, y), (Rgb8{255, 255, 255})) << y;
    EXPECT_EQ(s.At(10, y), (Rgb8{0, 0, 0})) << y;
    EXPECT_EQ(s.At(11, y), (Rgb8{255, 255, 255})) << y;
  }
}

TEST(StrokeInput, ThinStrokesAreWholeUnitsWide) {
  for (int width : {1, 2, 3}) {
    Surface s(0);
    PointList path;
    EXPECT_EQ(PointListAppend(path, {5, 20}, 0), 0);
    EXPECT_EQ(PointListAppend(path, {50, 28}, 0), 0);  // mostly horizontal
    EXPECT_EQ(PointListAppend(path, {54, 60}, 0), 0);  // mostly vertical
    const LineStyle line = SolidLine(Colour(0, 0, 0), width);
    s.cv->AddPath(path, &line, nullptr, FillRule::kEvenOdd);
    s.Render();
    for (int x = 8; x < 46; ++x) {
      int count = 0;
      for (int y = 0; y < kSize; ++y) count += s.At(x, y).r == 0;
      EXPECT_EQ(count, width) << "width " << width << " column " << x;
    }
    for (int y = 32; y < 56; ++y) {
      int count = 0;
      for (int x = 0; x < kSize; ++x) count += s.At(x, y).r == 0;
      EXPECT_EQ(count, width) << "width " << width << " row " << y;
    }
  }
}

TEST(StrokeInput, DotsAreSquaresOrDiscs) {
  {
    Surface s(0);
    const LineStyle line = SolidLine(Colour(0, 0, 0), 3);
    ASSERT_TRUE(s.cv->BeginStroke(&line, {20, 20}));
    s.cv->EndStroke();
    s.Render();
    int ink = 0;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) ink += s.At(x, y).r == 0;
    EXPECT_EQ(ink, 9);
    EXPECT_EQ(s.At(19, 19).r, 0);
    EXPECT_EQ(s.At(21, 21).r, 0);
  }
  {
    Surface s(1);
    const LineStyle line = SolidLine(Colour(0, 0, 0), 12);
    ASSERT_TRUE(s.cv->BeginStroke(&line, {32, 32}));
    s.cv->EndStroke();
    s.Render();
    double ink = 0;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) ink += s.Ink(x, y);
    EXPECT_NEAR(ink, M_PI * 36, 36 * 0.1);  // a 16-sided polygon of radius 6
    EXPECT_EQ(s.At(32, 32).r, 0);
    EXPECT_EQ(s.At(32, 39).r, 255);
  }
}

TEST(StrokeInput, ClosedStrokesAreJoinedAndOpenOnesCapped) {
  // Three sides of a square, open or closed by a fourth back to the start.
  for (bool closed : {true, false}) {
    Surface s(1);
    PointList path;
    const Point32 corners[] = {{16, 16}, {48, 16}, {48, 48}, {16, 48}};
    for (const Point32& p : corners) EXPECT_EQ(PointListAppend(path, p, 0), 0);
    if (closed) {
      EXPECT_EQ(PointListAppend(path, corners[0], 0), 0);
    }
    const LineStyle line = SolidLine(Colour(0, 0, 0), 8);
    s.cv->AddPath(path, &line, nullptr, FillRule::kEvenOdd);
    s.Render();
    EXPECT_EQ(s.At(16, 30).r, closed ? 0 : 255);  // the closing side
    // Left of the start: the closing side, or the round cap of radius 4.
    EXPECT_EQ(s.At(13, 16).r, 0);
    // Diagonally out from the first corner: the join is round, and an open
    // stroke's cap is round too: nothing at distance 5.6.
    EXPECT_EQ(s.At(11, 11).r, 255);
    EXPECT_EQ(s.At(14, 14).r, closed ? 0 : 0);
    // Below the start, left of the line: only the closing side inks it.
    EXPECT_EQ(s.At(13, 24).r, closed ? 0 : 255);
  }
}

TEST(StrokeInput, TheStrokeOfAPathIsAboveItsFill) {
  Surface s(1);
  PointList path;
  const Point32 corners[] = {{10, 10}, {50, 10}, {50, 50}, {10, 50}, {10, 10}};
  for (const Point32& p : corners) EXPECT_EQ(PointListAppend(path, p, 0), 0);
  const FillStyle fill = SolidFill(Colour(0, 255, 0));
  const LineStyle line = SolidLine(Colour(0, 0, 255), 6);
  s.cv->AddPath(path, &line, &fill, FillRule::kEvenOdd);
  s.Render();
  EXPECT_EQ(s.At(30, 30), (Rgb8{0, 255, 0}));
  EXPECT_EQ(s.At(30, 10), (Rgb8{0, 0, 255}));
  EXPECT_EQ(s.At(11, 30), (Rgb8{0, 0, 255}));
  EXPECT_EQ(s.At(30, 49), (Rgb8{0, 0, 255}));
}
