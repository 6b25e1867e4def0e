// GEOS as an outside oracle: noding a set of straight segments must give the
// vertices the edge graph makes, within the rounding to the 128 grid.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "graph_invariants.h"
#include "tests/common/geos.h"

namespace {

using namespace graph_test;

struct Segment {
  Point32 a, b;
};

// The nodes GEOS finds: every end of every segment of the noded result.
std::vector<std::pair<double, double>> GeosNodes(const std::vector<Segment>& segments) {
  Geos geos;
  std::vector<GEOSGeometry*> lines;
  for (const Segment& s : segments)
    lines.push_back(geos.NewLineString({{s.a.x, s.a.y}, {s.b.x, s.b.y}}));
  GEOSGeometry* all = geos.Own(GEOSGeom_createCollection_r(
      geos.ctx(), GEOS_MULTILINESTRING, lines.data(), static_cast<unsigned>(lines.size())));
  GEOSGeometry* noded = geos.Own(GEOSNode_r(geos.ctx(), all));
  std::vector<std::pair<double, double>> nodes;
  if (noded == nullptr) return nodes;
  for (const GEOSGeometry* part : geos.Parts(noded)) {
    for (const auto& p : geos.Coordinates(part)) nodes.push_back(p);
  }
  return nodes;
}

class GeosOracleTest : public GraphTest {};

// Random segments whose crossings are isolated: every crossing at least 30
// degrees steep and at least 4 twips from every other crossing and end. The
// graph's vertices then differ from the exact nodes only by the rounding of
// split points, which moves a piece by at most half a 128 step per split.
std::vector<Segment> IsolatedSegments(std::mt19937& rng, int count) {
  std::uniform_int_distribution<int> coord(0, 2000 * 256);
  std::vector<Segment> segments;
  std::vector<Point32> points;  // ends and crossings so far
  auto far_from_all = [&](double x, double y) {
    for (const Point32& p : points)
      if (std::hypot(x - p.x, y - p.y) < 4 * 256) return false;
    return true;
  };
  for (int attempt = 0; attempt < 5000 && static_cast<int>(segments.size()) < count; ++attempt) {
    const Segment s{RoundTo128({coord(rng), coord(rng)}), RoundTo128({coord(rng), coord(rng)})};
    if (!far_from_all(s.a.x, s.a.y) || !far_from_all(s.b.x, s.b.y)) continue;
    std::vector<Point32> crossings;
    bool ok = true;
    for (const Segment& t : segments) {
      const double ax = s.b.x - s.a.x, ay = s.b.y - s.a.y, bx = t.b.x - t.a.x, by = t.b.y - t.a.y;
      const double cross = ax * by - ay * bx;
      const double ua = ((t.a.x - s.a.x) * by - (t.a.y - s.a.y) * bx) / cross;
      const double ub = ((t.a.x - s.a.x) * ay - (t.a.y - s.a.y) * ax) / cross;
      if (cross == 0 || ua < -0.01 || ua > 1.01 || ub < -0.01 || ub > 1.01) continue;
      const double sine = std::abs(cross) / (std::hypot(ax, ay) * std::hypot(bx, by));
      const double x = s.a.x + ua * ax, y = s.a.y + ua * ay;
      if (sine < 0.5 || !far_from_all(x, y)) ok = false;
      for (const Point32& c : crossings)
        if (std::hypot(x - c.x, y - c.y) < 4 * 256) ok = false;
      for (const Point32& end : {s.a, s.b})
        if (std::hypot(x - end.x, y - end.y) < 4 * 256) ok = false;
      crossings.push_back({static_cast<int32_t>(x), static_cast<int32_t>(y)});
    }
    if (!ok) continue;
    segments.push_back(s);
    points.push_back(s.a);
    points.push_back(s.b);
    points.insert(points.end(), crossings.begin(), crossings.end());
  }
  return segments;
}

TEST_F(GeosOracleTest, SplitVerticesMatchGeosNoding) {
  // A crossing is rounded by at most 64 units on each axis; the pieces of
  // segments split before were bent by the rounding of their own split points,
  // which moves later crossings on them a little further. One twip covers both.
  constexpr double kTolerance = 256;
  std::mt19937 rng(4242);
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    Reinit();
    const std::vector<Segment> segments = IsolatedSegments(rng, 12);
    for (const Segment& s : segments) {
      QuadCurve c;
      CurveFromLine(s.a, s.b, c);
      ASSERT_EQ(Insert(graph_, c), 0);
    }
    ASSERT_TRUE(GraphIsValid(graph_));

    std::vector<Point32> vertices;
    EdgeGraphForEachVertex(graph_, nullptr, [&](Vertex* v) {
      if (v->ring) vertices.push_back(v->position);
    });
    auto nodes = GeosNodes(segments);
    // One node reached from several segments may differ in the last bits.
    std::sort(nodes.begin(), nodes.end());
    nodes.erase(std::unique(nodes.begin(), nodes.end(),
                            [](const auto& a, const auto& b) {
                              return std::hypot(a.first - b.first, a.second - b.second) < 1;
                            }),
                nodes.end());
    auto near = [&](double x, double y, const Point32& p) {
      return std::abs(x - p.x) <= kTolerance && std::abs(y - p.y) <= kTolerance;
    };
    for (const auto& [x, y] : nodes) {
      const bool found = std::any_of(vertices.begin(), vertices.end(),
                                     [&](const Point32& p) { return near(x, y, p); });
      EXPECT_TRUE(found) << "GEOS node (" << x << ", " << y << ") has no vertex";
    }
    for (const Point32& p : vertices) {
      const bool found = std::any_of(nodes.begin(), nodes.end(),
                                     [&](const auto& n) { return near(n.first, n.second, p); });
      EXPECT_TRUE(found) << "vertex (" << p.x << ", " << p.y << ") is no GEOS node";
    }
    // Isolated nodes: one vertex each.
    EXPECT_EQ(vertices.size(), nodes.size());
  }
}

}  // namespace
