// The stroke outline shared by the editor's stroke input and the player's
// line records: closed bands that cover the path and nothing far from it.
#include "render/raster/stroke_outline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <utility>
#include <vector>

namespace {

struct Collect final : StrokeOutline::Sink {
  std::vector<QuadCurve> edges;
  void AddOutlineEdge(const QuadCurve& c) override { edges.push_back(c); }
};

struct Pt {
  double x, y;
};

Pt At(const QuadCurve& c, double t) {
  const double s = 1 - t;
  return {s * s * c.p0.x + 2 * s * t * c.control.x + t * t * c.p2.x,
          s * s * c.p0.y + 2 * s * t * c.control.y + t * t * c.p2.y};
}

// The winding number of the outline around p (rays towards +x over finely
// flattened edges).
int Winding(const std::vector<QuadCurve>& edges, Pt p) {
  int w = 0;
  for (const QuadCurve& c : edges) {
    constexpr int kSteps = 256;
    Pt a = At(c, 0);
    for (int i = 1; i <= kSteps; ++i) {
      const Pt b = At(c, static_cast<double>(i) / kSteps);
      if ((a.y <= p.y) != (b.y <= p.y)) {
        const double x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
        if (x > p.x) w += b.y > a.y ? 1 : -1;
      }
      a = b;
    }
  }
  return w;
}

double DistanceToPath(const std::vector<QuadCurve>& path, Pt p) {
  double best = HUGE_VAL;
  for (const QuadCurve& c : path)
    for (int i = 0; i <= 512; ++i) {
      const Pt q = At(c, i / 512.0);
      best = std::min(best, std::hypot(q.x - p.x, q.y - p.y));
    }
  return best;
}

QuadCurve Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  QuadCurve c;
  CurveFromLine({x0, y0}, {x1, y1}, c);
  return c;
}

QuadCurve Quad(int32_t x0, int32_t y0, int32_t cx, int32_t cy, int32_t x1, int32_t y1) {
  QuadCurve c;
  CurveSet({x0, y0}, {cx, cy}, {x1, y1}, c);
  return c;
}

std::vector<QuadCurve> Stroke(const std::vector<QuadCurve>& path, int32_t width, bool anti_alias,
                              bool* had_segment = nullptr) {
  Collect sink;
  StrokeOutline outline(sink);
  outline.Begin(width, anti_alias);
  for (const QuadCurve& c : path) outline.AddCurve(c);
  const bool any = outline.Finish();
  if (had_segment) *had_segment = any;
  return sink.edges;
}

// Every point is left as often as it is reached: the outline is closed.
::testing::AssertionResult Closed(const std::vector<QuadCurve>& edges) {
  std::map<std::pair<int32_t, int32_t>, int> balance;
  for (const QuadCurve& c : edges) {
    ++balance[{c.p0.x, c.p0.y}];
    --balance[{c.p2.x, c.p2.y}];
  }
  for (const auto& [p, n] : balance)
    if (n != 0)
      return ::testing::AssertionFailure() << "(" << p.first << "," << p.second << ") off by " << n;
  return ::testing::AssertionSuccess();
}

// Paths by widths: each outline is closed, winds around points on the path
// (wide strokes) and around nothing farther than half the width and a few
// units from it.
TEST(StrokeOutline, BandsAreClosedAndCoverThePathOnly) {
  struct Path {
    const char* name;
    std::vector<QuadCurve> curves;
  };
  const Path paths[] = {
      {"horizontal line", {Line(0, 0, 400, 0)}},
      {"vertical line", {Line(0, 0, 0, -400)}},
      {"diagonal line", {Line(0, 0, 300, 170)}},
      {"curve", {Quad(0, 0, 200, 300, 400, 0)}},
      {"tight bend", {Quad(0, 0, 400, 40, 0, 80)}},
      {"corner", {Line(0, 0, 300, 0), Line(300, 0, 300, 300)}},
      {"closed triangle", {Line(0, 0, 300, 0), Line(300, 0, 0, 200), Line(0, 200, 0, 0)}},
      {"closed curves", {Quad(0, 0, 150, -150, 300, 0), Quad(300, 0, 150, 150, 0, 0)}},
  };
  for (const Path& path : paths) {
    for (int32_t width : {1, 2, 3, 4, 8, 12, 40}) {
      for (bool anti_alias : {false, true}) {
        SCOPED_TRACE(::testing::Message()
                     << path.name << ", width " << width << (anti_alias ? ", anti-aliased" : ""));
        const std::vector<QuadCurve> edges = Stroke(path.curves, width, anti_alias);
        ASSERT_FALSE(edges.empty());
        EXPECT_TRUE(Closed(edges));
        if (width > 3) {
          // Off the grid lines so that no ray runs along an edge.
          for (const QuadCurve& c : path.curves)
            for (double t : {0.1, 0.37, 0.5, 0.81}) {
              const Pt p = At(c, t);
              EXPECT_NE(Winding(edges, {p.x + 0.25, p.y + 0.375}), 0) << p.x << "," << p.y;
            }
        }
        const double reach = width / 2.0 + 4;
        for (int i = 0; i < 64; ++i) {
          const double a = i * std::numbers::pi / 32;
          const Pt p{150 + 260 * std::cos(a) + 0.25, 60 + 260 * std::sin(a) + 0.375};
          if (DistanceToPath(path.curves, p) > reach) {
            EXPECT_EQ(Winding(edges, p), 0);
          }
        }
      }
    }
  }
}

// A wide join stays round however large the radius: the product of radius
// and sweep passes 31 bits here (a wrapped product gave a straight chord
// across the corner, cutting off its outer part).
TEST(StrokeOutline, RoundJoinOfAHugeRadiusIsAnArc) {
  constexpr int32_t kRadius = 2000000;
  const std::vector<QuadCurve> edges =
      Stroke({Line(0, 0, 8000000, 0), Line(8000000, 0, 8000000, 8000000)}, 2 * kRadius, false);
  EXPECT_TRUE(Closed(edges));
  // Along the outer bisector of the corner: a chord passes at 0.71 of the
  // radius, the arc's chords at 0.99.
  const double d = 0.95 * kRadius / std::numbers::sqrt2;
  EXPECT_NE(Winding(edges, {8000000 + d + 0.25, -d + 0.375}), 0);
}

// A path of single points has no segment: nothing is drawn, and the callers
// decide what marks it.
TEST(StrokeOutline, APathOfPointsAddsNothing) {
  bool had_segment = true;
  EXPECT_TRUE(Stroke({Line(5, 5, 5, 5), Quad(5, 5, 5, 5, 5, 5)}, 8, false, &had_segment).empty());
  EXPECT_FALSE(had_segment);
}

}  // namespace
