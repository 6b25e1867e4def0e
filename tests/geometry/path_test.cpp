#include "geometry/path.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "path_test_util.h"

namespace {

constexpr int32_t kOn = 0;
constexpr int32_t kOff = 1;

double Degrees(Fixed a) {
  return a / 65536.0;
}

// Radial position of p on the ellipse inscribed in r: 1.0 on the ellipse.
double EllipseRadius(const Rect32& r, double x, double y) {
  const double cx = (r.xmin + r.xmax) / 2.0, cy = (r.ymin + r.ymax) / 2.0;
  const double a = (r.xmax - r.xmin) / 2.0, b = (r.ymax - r.ymin) / 2.0;
  return std::hypot((x - cx) / a, (y - cy) / b);
}

int CountOff(const PointList& list) {
  int n = 0;
  for (int32_t i = 0; i < list.length; ++i) n += list.buffer[i].off_curve != 0;
  return n;
}

// The same path in Cairo, quadratics raised to cubics in double precision.
class CairoPath {
 public:
  explicit CairoPath(const PointList& path)
      : surface_(cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1), cairo_surface_destroy),
        cr_(cairo_create(surface_.get()), cairo_destroy) {
    cairo_set_fill_rule(cr_.get(), CAIRO_FILL_RULE_EVEN_ODD);
    if (path.length == 0) return;
    cairo_move_to(cr_.get(), path.buffer[0].x, path.buffer[0].y);
    for (const QuadCurve& c : Curves(path)) {
      if (c.straight) {
        cairo_line_to(cr_.get(), c.p2.x, c.p2.y);
        continue;
      }
      const double k = 2.0 / 3.0;
      cairo_curve_to(cr_.get(), c.p0.x + k * (c.control.x - c.p0.x),
                     c.p0.y + k * (c.control.y - c.p0.y), c.p2.x + k * (c.control.x - c.p2.x),
                     c.p2.y + k * (c.control.y - c.p2.y), c.p2.x, c.p2.y);
    }
    // Closing back from the last entry, as the inside test does.
    const PointListEntry& last = path.buffer[path.length - 1];
    cairo_line_to(cr_.get(), last.x, last.y);
    cairo_close_path(cr_.get());
  }
  bool Contains(const Point32& q) const { return cairo_in_fill(cr_.get(), q.x, q.y) != 0; }
  // True when q lies within d of the outline: there the two tests may round
  // differently (ours halves curves on integer coordinates).
  bool Near(const Point32& q, double d) const {
    cairo_set_line_width(cr_.get(), 2 * d);
    return cairo_in_stroke(cr_.get(), q.x, q.y) != 0;
  }

 private:
  std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> surface_;
  std::unique_ptr<cairo_t, void (*)(cairo_t*)> cr_;
};

}  // namespace

// ---- Builders ------------------------------------------------------------------

TEST(PathFromRect, CornersInHandleOrderAndClosed) {
  PointList path;
  ASSERT_EQ(PathFromRect(path, {-10, 30, 5, 25}), 0);
  const std::vector<PointListEntry> expected = {
      {-10, 5, kOn}, {30, 5, kOn}, {30, 25, kOn}, {-10, 25, kOn}, {-10, 5, kOn}};
  EXPECT_EQ(Entries(path), expected);
  EXPECT_EQ(Curves(path).size(), 4u);
}

TEST(PathFromRect, DegenerateRectanglesFollowTheAppendRule) {
  // The builders append through PointListAppend: a corner equal to the one
  // before it is not stored again, so no curve has length zero.
  struct Case {
    const char* what;
    Rect32 r;
    int32_t entries;
  };
  const Case cases[] = {
      {"empty", Rect32{}, 0},
      {"point", {7, 7, 9, 9}, 1},
      {"vertical line", {7, 7, 0, 9}, 3},
      {"horizontal line", {0, 9, 7, 7}, 3},
  };
  for (const Case& c : cases) {
    PointList path;
    Fill(path, {{1, 2, kOn}, {3, 4, kOn}});  // cleared first
    ASSERT_EQ(PathFromRect(path, c.r), 0);
    EXPECT_EQ(path.length, c.entries) << c.what << ": " << Describe(path);
    for (const QuadCurve& q : Curves(path)) EXPECT_NE(q.p0, q.p2) << c.what;
  }
}

TEST(PathFromRect, DropsAStaleCache) {
  PointList path;
  ASSERT_EQ(PathFromRect(path, {0, 10, 0, 10}), 0);
  ASSERT_EQ(path.BuildSpatialIndex(), 0);
  ASSERT_EQ(PathFromRect(path, {100, 110, 100, 110}), 0);
  EXPECT_EQ(path.cache, nullptr);
  EXPECT_TRUE(ShapeContainsPoint(path, {105, 105}));
}

TEST(AppendArc, SegmentCountsFollowTheSweep) {
  struct Case {
    Fixed sweep;
    int controls;
  };
  const Case cases[] = {
      {0x5A0000, 2}, {0x2E0000, 2}, {0x2D8000, 1}, {0x2D0000, 1}, {0x1680000, 8}, {-0x5A0000, 2},
      {0x10000, 1},  {0x8000, 0},   {0, 0},        {0xB40000, 4}, {0x870000, 3},  {0x870000 + 1, 3},
  };
  const Rect32 r{-1000, 1000, -1000, 1000};
  for (const Case& c : cases) {
    PointList path;
    ASSERT_EQ(AppendArc(path, r, 0x100000, c.sweep), 0);
    EXPECT_EQ(CountOff(path), c.controls) << "sweep " << Degrees(c.sweep);
    // First and last entries: the arc's ends on the circle.
    const PointListEntry& first = path.buffer[0];
    const PointListEntry& last = path.buffer[path.length - 1];
    const double a0 = 16.0 * M_PI / 180, a1 = a0 + Degrees(c.sweep) * M_PI / 180;
    EXPECT_NEAR(first.x, 1000 * std::cos(a0), 1.5);
    EXPECT_NEAR(first.y, 1000 * std::sin(a0), 1.5);
    EXPECT_NEAR(last.x, 1000 * std::cos(a1), 1.5) << "sweep " << Degrees(c.sweep);
    EXPECT_NEAR(last.y, 1000 * std::sin(a1), 1.5) << "sweep " << Degrees(c.sweep);
  }
}

TEST(AppendArc, NegativeSweepRunsClockwise) {
  const Rect32 r{-5000, 5000, -5000, 5000};
  for (Fixed sweep : {0x5A0000, -0x5A0000, 0x1680000, -0x1680000}) {
    PointList path;
    ASSERT_EQ(AppendArc(path, r, 0, sweep), 0);
    // The angle of every joint and control advances in the sweep's direction.
    double previous = 0, turned = 0;
    for (int32_t i = 1; i < path.length; ++i) {
      const double a = std::atan2(path.buffer[i].y, path.buffer[i].x);
      double d = a - previous;
      if (d > M_PI) d -= 2 * M_PI;
      if (d < -M_PI) d += 2 * M_PI;
      EXPECT_GT(d * sweep, 0) << "entry " << i << " of sweep " << Degrees(sweep);
      turned += d;
      previous = a;
    }
    EXPECT_NEAR(turned * 180 / M_PI, Degrees(sweep), 0.01);
  }
}

TEST(AppendArc, EllipseSegmentsLieOnTheAnalyticEllipse) {
  // A quadratic through the ends of a 45-degree arc with its control point at
  // 1/cos(22.5) bulges out by (cos 22.5 + 1/cos 22.5)/2 - 1 = 0.3136% at its
  // middle and nowhere more; the fixed-point rounding adds a unit or two.
  const double bulge = (std::cos(M_PI / 8) + 1 / std::cos(M_PI / 8)) / 2 - 1;
  const Rect32 rects[] = {
      {-10000, 10000, -10000, 10000}, {100, 24100, -3000, 9000}, {-31000, 31000, -200, 200}};
  for (const Rect32& r : rects) {
    PointList path;
    ASSERT_EQ(PathFromEllipse(path, r), 0);
    ASSERT_EQ(path.length, 10) << Describe(path);
    EXPECT_EQ(CountOff(path), 8);
    const std::vector<QuadCurve> curves = Curves(path);
    ASSERT_EQ(curves.size(), 8u);
    EXPECT_EQ(curves.back().p2, curves.front().p0);  // closed
    const double slack = 3.0 / std::min(r.xmax - r.xmin, r.ymax - r.ymin);
    for (std::size_t i = 0; i < curves.size(); ++i) {
      const QuadCurve& c = curves[i];
      // The joints the walk supplies, halfway between control points.
      EXPECT_NEAR(EllipseRadius(r, c.p2.x, c.p2.y), 1.0, slack) << "joint " << i;
      // Along the segment the radius stays between 1 and 1 + bulge, and its
      // middle reaches the bulge.
      double worst = 0;
      for (int k = 0; k <= 64; ++k) {
        const double t = k / 64.0, s = 1 - t;
        const double x = s * s * c.p0.x + 2 * s * t * c.control.x + t * t * c.p2.x;
        const double y = s * s * c.p0.y + 2 * s * t * c.control.y + t * t * c.p2.y;
        const double e = EllipseRadius(r, x, y) - 1.0;
        EXPECT_GT(e, -slack) << "segment " << i << " t " << t;
        worst = std::max(worst, e);
      }
      EXPECT_LE(worst, bulge + slack) << "segment " << i;
      EXPECT_NEAR(worst, bulge, slack + 0.0005) << "segment " << i;
    }
  }
}

TEST(AppendArc, EmptyRectangleAppendsNothing) {
  PointList path;
  EXPECT_EQ(PathFromEllipse(path, Rect32{}), 0);
  EXPECT_EQ(path.length, 0);
}

// ---- Flattening and bounds -----------------------------------------------------

TEST(CollectPathPoints, FlattensWithinTheToleranceAndChord) {
  const Rect32 r{-8000, 8000, -8000, 8000};
  PointList path;
  ASSERT_EQ(PathFromEllipse(path, r), 0);
  CPointList out;
  EXPECT_EQ(out.Add({1, 2}), 0);  // emptied first
  ASSERT_EQ(CollectPathPoints(path, 20, 0, nullptr, out), 0);
  ASSERT_GT(out.count, 8);
  EXPECT_EQ(out.items[0], path.buffer[0].Point());
  EXPECT_EQ(out.items[out.count - 1], path.buffer[path.length - 1].Point());
  // Chords of a circle within 20 of the arc: the sagitta bounds the chord.
  for (int32_t i = 1; i < out.count; ++i) {
    EXPECT_NEAR(EllipseRadius(r, out.items[i].x, out.items[i].y), 1.0, 0.004);
    EXPECT_LE(PointDistance(out.items[i - 1], out.items[i]), 2 * std::sqrt(2 * 8000.0 * 40) + 4);
  }
  const int32_t coarse = out.count;

  ASSERT_EQ(CollectPathPoints(path, 20, 300, nullptr, out), 0);
  EXPECT_GT(out.count, coarse);
  for (int32_t i = 1; i < out.count; ++i) {
    EXPECT_LT(PointDistance(out.items[i - 1], out.items[i]), 300 + 2);
  }
}

TEST(CollectPathPoints, CurvesAwayFromTheRectangleAddOnlyTheirEnds) {
  PointList path;
  ASSERT_EQ(PathFromEllipse(path, {-8000, 8000, -8000, 8000}), 0);
  CPointList all, clipped;
  ASSERT_EQ(CollectPathPoints(path, 4, 0, nullptr, all), 0);
  const Rect32 corner{7000, 9000, -1000, 1000};  // touches the curves at angle 0
  ASSERT_EQ(CollectPathPoints(path, 4, 0, &corner, clipped), 0);
  // 1 start point; the two segments at 0 degrees flattened; six others 1 each.
  EXPECT_LT(clipped.count, all.count / 2);
  EXPECT_GT(clipped.count, 1 + 6 + 2);
  PointList empty;
  ASSERT_EQ(CollectPathPoints(empty, 4, 0, nullptr, clipped), 0);
  EXPECT_EQ(clipped.count, 0);
}

TEST(CollectPathPoints, SplitsAtMostSevenTimes) {
  PointList path;
  Fill(path, {{0, 0, kOn}, {1000000, 2000000, kOff}, {2000000, 0, kOn}});
  CPointList out;
  ASSERT_EQ(CollectPathPoints(path, 0, 0, nullptr, out), 0);
  EXPECT_EQ(out.count, 1 + 128);
}

TEST(GetTransformedPathBounds, TightBoundsOfTheCurves) {
  PointList path;
  ASSERT_EQ(PathFromEllipse(path, {-4000, 4000, -2000, 2000}), 0);
  Matrix2x3 m;
  MatrixSetTranslation(m, 100, 50);
  Rect32 b;
  GetTransformedPathBounds(path, m, b);
  // The control points stick out by 1/cos(22.5); the curves do not.
  EXPECT_TRUE(RectsNearlyEqual(b, {-3900, 4100, -1950, 2050}, 20)) << b.xmin << ' ' << b.xmax;
  PointList one;
  Fill(one, {{5, 5, kOn}});
  GetTransformedPathBounds(one, m, b);
  EXPECT_TRUE(b.IsEmpty());
}

// ---- Spatial index -----------------------------------------------------------------

TEST(SpatialIndex, FilesEveryCurveOnce) {
  for (int32_t points : {10, 150}) {
    PointList path;
    std::mt19937 rng(points);
    std::uniform_int_distribution<int32_t> coord(-50000, 50000);
    for (int32_t i = 0; i < points; ++i) {
      EXPECT_EQ(PointListAppend(path, {coord(rng), coord(rng)}, i % 3 == 1 ? kOff : kOn), 0);
    }
    const std::size_t curves = Curves(path).size();
    ASSERT_EQ(path.BuildSpatialIndex(), 0);
    ASSERT_NE(path.cache, nullptr);
    EXPECT_EQ(path.cache->grid.depth_limit, points >= 100 ? 4 : 3);
    EXPECT_EQ(static_cast<std::size_t>(path.cache->node_count), curves);
    std::size_t filed = 0;
    EdgeIter iter;
    EdgeIterInit(iter, path.cache->grid, 0, nullptr);
    while (void* head = GridIterAdvance(iter)) {
      for (auto* n = static_cast<PathCurveNode*>(head); n; n = n->next) ++filed;
    }
    EXPECT_EQ(filed, curves);
    PointListCache* cache = path.cache;
    EXPECT_EQ(path.BuildSpatialIndex(), 0);  // kept
    EXPECT_EQ(path.cache, cache);
    Rect32 bounds, raw;
    PointListGetBounds(path, bounds);
    EXPECT_EQ(bounds, cache->bounds);
    PointListFreeCache(path);
    PointListGetBounds(path, raw);
    EXPECT_EQ(bounds, raw);
  }
}

TEST(SpatialIndex, RefusedMemoryLeavesNoCache) {
  PointList path;
  ASSERT_EQ(PathFromRect(path, {0, 100, 0, 100}), 0);
  {
    RefuseMemory refuse;
    EXPECT_EQ(path.BuildSpatialIndex(), -1);
  }
  EXPECT_EQ(path.cache, nullptr);
  EXPECT_TRUE(ShapeContainsPoint(path, {50, 50}));
}

// ---- Inside tests --------------------------------------------------------------

TEST(ShapeContainsPoint, AgreesWithCairoEvenOdd) {
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<int32_t> coord(-20000, 20000);
  int compared = 0, inside = 0;
  for (int shape = 0; shape < 24; ++shape) {
    // Random closed paths of lines and curves, self-crossing as they come;
    // every third one long enough for the deeper index.
    PointList path;
    const int entries = shape % 3 == 2 ? 120 : 3 + shape % 9;
    for (int i = 0; i < entries; ++i) {
      const bool control = i > 0 && i < entries - 1 && rng() % 3 == 0;  // ends on-curve
      EXPECT_EQ(PointListAppend(path, {coord(rng), coord(rng)}, control ? kOff : kOn), 0);
    }
    if (shape % 2) {
      EXPECT_EQ(PointListAppend(path, path.buffer[0].Point(), kOn), 0);  // closed explicitly
    }
    const CairoPath oracle(path);
    PointList indexed;
    ASSERT_EQ(PointListCopy(path, indexed), 0);
    ASSERT_EQ(indexed.BuildSpatialIndex(), 0);
    for (int k = 0; k < 400; ++k) {
      const Point32 q{coord(rng), coord(rng)};
      if (oracle.Near(q, 8)) continue;
      const bool expected = oracle.Contains(q);
      ASSERT_EQ(ShapeContainsPoint(path, q), expected)
          << "point " << q.x << ',' << q.y << " path " << Describe(path);
      ASSERT_EQ(ShapeContainsPoint(indexed, q), expected)
          << "indexed, point " << q.x << ',' << q.y << " path " << Describe(path);
      ++compared;
      inside += expected;
    }
  }
  EXPECT_GT(compared, 8000);
  EXPECT_GT(inside, compared / 8);  // the comparison saw both answers
}

TEST(ShapeContainsPoint, EllipseAgainstCairo) {
  PointList path;
  ASSERT_EQ(PathFromEllipse(path, {-9000, 11000, -3000, 5000}), 0);
  const CairoPath oracle(path);
  for (int32_t y = -3500; y <= 5500; y += 97) {
    for (int32_t x = -9500; x <= 11500; x += 211) {
      if (oracle.Near({x, y}, 4)) continue;
      ASSERT_EQ(ShapeContainsPoint(path, {x, y}), oracle.Contains({x, y})) << x << ',' << y;
    }
  }
}

TEST(ShapeContainsPoint, OpenPathIsClosedByTheChordFromLastToFirst) {
  // A C shape open on the right:
  //   (0,100) ---- (100,100)
  //     |              :   closing chord
  //   (0,0)   ---- (100,0)
  PointList path;
  Fill(path, {{100, 0, kOn}, {0, 0, kOn}, {0, 100, kOn}, {100, 100, kOn}});
  EXPECT_TRUE(ShapeContainsPoint(path, {50, 50}));
  EXPECT_TRUE(ShapeContainsPoint(path, {100, 50}));  // on the bounds edge
  EXPECT_FALSE(ShapeContainsPoint(path, {101, 50}));
  EXPECT_FALSE(ShapeContainsPoint(path, {-1, 50}));
  ASSERT_EQ(path.BuildSpatialIndex(), 0);
  EXPECT_TRUE(ShapeContainsPoint(path, {100, 50}));
  PointList empty;
  EXPECT_FALSE(ShapeContainsPoint(empty, {0, 0}));
}

// ---- Classification ------------------------------------------------------------

TEST(Classify, EdgeAgainstShape) {
  PointList square;
  ASSERT_EQ(PathFromRect(square, {0, 1000, 0, 1000}), 0);
  struct Case {
    const char* what;
    QuadCurve curve;
    int expected;
  };
  const Case cases[] = {
      {"inside", {{100, 100}, {500, 900}, {900, 100}, 0}, kShapeInside},
      {"outside, bounds apart", {{2000, 0}, {2500, 500}, {3000, 0}, 0}, kShapeOutside},
      {"outside, around the corner", {{-500, 1200}, {2000, 2000}, {1200, -500}, 0}, kShapeOutside},
      {"crossing", {{500, 500}, {1000, 2000}, {1500, 500}, 0}, kShapeCrossing},
      {"touching the edge from inside", {{1000, 200}, {800, 300}, {1000, 400}, 0}, kShapeCrossing},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyEdgeAgainstShape(square, c.curve), c.expected) << c.what;
  }
  ASSERT_EQ(square.BuildSpatialIndex(), 0);
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyEdgeAgainstShape(square, c.curve), c.expected) << c.what << ", indexed";
  }
}

TEST(Classify, ShapeAgainstShape) {
  PointList big, small, apart, across, ellipse;
  ASSERT_EQ(PathFromRect(big, {0, 1000, 0, 1000}), 0);
  ASSERT_EQ(PathFromRect(small, {400, 600, 400, 600}), 0);
  ASSERT_EQ(PathFromRect(apart, {2000, 3000, 0, 1000}), 0);
  ASSERT_EQ(PathFromRect(across, {800, 1200, 400, 600}), 0);
  ASSERT_EQ(PathFromEllipse(ellipse, {100, 900, 100, 900}), 0);
  struct Case {
    const char* what;
    const PointList& a;
    const PointList& b;
    int expected;
  };
  const Case cases[] = {
      {"small inside big", big, small, kShapeInside},
      {"ellipse inside big", big, ellipse, kShapeInside},
      {"apart", big, apart, kShapeOutside},
      {"across the edge", big, across, kShapeCrossing},
      {"big surrounds small", small, big, kShapeCrossing},
      {"itself", big, big, kShapeCrossing},
      {"ellipse itself", ellipse, ellipse, kShapeCrossing},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyShapeAgainstShape(c.a, c.b), c.expected) << c.what;
}

TEST(Classify, RectangleThroughTheMatrixAgainstAPath) {
  PointList lasso;
  ASSERT_EQ(PathFromEllipse(lasso, {-1000, 1000, -1000, 1000}), 0);
  EXPECT_EQ(ClassifyShapeAgainstRect(lasso, {-100, 100, -100, 100}, nullptr), kShapeInside);
  EXPECT_EQ(ClassifyShapeAgainstRect(lasso, {-100, 100, -100, 100}, nullptr), kShapeInside);
  Matrix2x3 m;
  MatrixSetTranslation(m, 5000, 0);
  EXPECT_EQ(ClassifyShapeAgainstRect(lasso, {-100, 100, -100, 100}, &m), kShapeOutside);
  MatrixSetTranslation(m, 950, 0);
  EXPECT_EQ(ClassifyShapeAgainstRect(lasso, {-100, 100, -100, 100}, &m), kShapeCrossing);
  EXPECT_EQ(ClassifyShapeAgainstRect(lasso, {-5000, 5000, -5000, 5000}, nullptr), kShapeCrossing);
  EXPECT_EQ(ClassifyShapeAgainstRect(lasso, Rect32{}, nullptr), kShapeOutside);
  RefuseMemory refuse;
  EXPECT_EQ(ClassifyShapeAgainstRect(lasso, {-100, 100, -100, 100}, nullptr), -1);
}
