// GEOS as an outside oracle for regions: polygonizing the graph's edges gives
// its faces with their areas and nesting, and the intersection of two
// polygons gives the area a lasso selects.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_select.h"
#include "geometry/edge_graph_update.h"
#include "geometry/point_list.h"
#include "region_util.h"
#include "tests/common/geos.h"

namespace {

using namespace graph_test;

// The graph's edges as line strings in twips (curves sampled finely), and the
// polygons GEOS forms from them.
std::vector<const GEOSGeometry*> Polygonize(Geos& geos, const EdgeGraph& graph) {
  std::vector<GEOSGeometry*> lines;
  EdgeGraphForEachEdge(graph, nullptr, [&](const Edge* e) {
    const QuadCurve& c = e->curve;
    const int steps = c.straight ? 1 : 32;
    std::vector<std::pair<double, double>> pts;
    for (int i = 0; i <= steps; ++i) {
      const double t = double(i) / steps, u = 1 - t;
      pts.emplace_back((u * u * c.p0.x + 2 * u * t * c.control.x + t * t * c.p2.x) / 256.0,
                       (u * u * c.p0.y + 2 * u * t * c.control.y + t * t * c.p2.y) / 256.0);
    }
    lines.push_back(geos.NewLineString(pts));
  });
  GEOSGeometry* result =
      geos.Own(GEOSPolygonize_r(geos.ctx(), const_cast<const GEOSGeometry* const*>(lines.data()),
                                static_cast<unsigned>(lines.size())));
  for (GEOSGeometry* l : lines) GEOSGeom_destroy_r(geos.ctx(), l);
  return geos.Parts(result);
}

// Outer regions above a region in the tree.
int OuterAncestors(const Region* r) {
  int n = 0;
  for (const Region* p = RegionGetParent(r); p; p = RegionGetParent(p)) n += RegionIsOuter(*p);
  return n;
}

// A star-shaped polygon (a simple polygon, counter-clockwise) round a centre.
// No corner is nearly straight: the tidy-up after an edit would join its two
// edges, and the outline would no longer be the one the oracle is given.
std::vector<P> Star(std::mt19937& rng, P centre, int radius, int n) {
  std::uniform_real_distribution<double> jitter(-0.3, 0.3), reach(0.4, 1.0);
  while (true) {
    std::vector<P> points;
    for (int i = 0; i < n; ++i) {
      const double a = (i + 0.5 + jitter(rng)) * 2 * M_PI / n;
      const double r = radius * reach(rng);
      points.push_back({centre.x + int32_t(std::lround(r * std::cos(a))),
                        centre.y + int32_t(std::lround(r * std::sin(a)))});
    }
    bool sharp = true;
    for (int i = 0; i < n; ++i) {
      const P& a = points[(i + n - 1) % n];
      const P& b = points[i];
      const P& c = points[(i + 1) % n];
      const double cross = double(c.x - a.x) * (b.y - a.y) - double(c.y - a.y) * (b.x - a.x);
      sharp &= std::fabs(cross) / std::hypot(c.x - a.x, c.y - a.y) > 10;
    }
    if (sharp) return points;
  }
}

std::vector<std::pair<double, double>> Doubles(const std::vector<P>& points) {
  std::vector<std::pair<double, double>> out;
  for (const P& p : points) out.emplace_back(p.x, p.y);
  return out;
}

class RegionGeosTest : public GraphTest {
 protected:
  void TearDown() override {
    EdgeGraphFreeAll(graph_);
    EXPECT_EQ(EdgeGraphRegionsInUse(), 0);
    GraphTest::TearDown();
  }
};

// Random segments and stars: every face GEOS finds is a region of the same
// area under its interior point, and there are no other faces.
TEST_F(RegionGeosTest, FacesMatchPolygonize) {
  std::mt19937 rng(2024);
  std::uniform_int_distribution<int> coord(0, 4000);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    Reinit();
    for (int i = 0; i < 4; ++i)
      ASSERT_EQ(
          AddPolygon(graph_, Star(rng, {coord(rng), coord(rng)}, 300 + coord(rng) / 4, 7), 1, 0, 0),
          0);
    for (int i = 0; i < 12; ++i)
      ASSERT_EQ(Insert(graph_, Line(coord(rng), coord(rng), coord(rng), coord(rng)), 1), 0);
    ASSERT_EQ(EdgeGraphBuildRegions(graph_), 0);
    ASSERT_TRUE(GraphIsValid(graph_));

    Geos geos;
    const std::vector<const GEOSGeometry*> faces = Polygonize(geos, graph_);
    size_t outer = 0;
    for (Region* r : OuterRegions(graph_)) outer += !RegionIsEmpty(*r);
    EXPECT_EQ(faces.size(), outer) << DescribeRegions(graph_);
    for (const GEOSGeometry* face : faces) {
      const auto [x, y] = geos.PointOn(face);
      Region* r = EdgeGraphFindRegion(
          graph_, {int32_t(std::lround(x * 256)), int32_t(std::lround(y * 256))});
      ASSERT_NE(r, nullptr) << x << "," << y;
      EXPECT_TRUE(RegionIsOuter(*r));
      const double area = geos.Area(face);
      EXPECT_NEAR(FaceArea(r), area, 1e-6 * area + 1e-3) << x << "," << y;
    }
  }
}

// Stars placed apart or inside one another (never touching): the region
// tree's nesting of every face is the number of other faces whose outline
// holds it.
TEST_F(RegionGeosTest, NestingMatchesContainment) {
  std::mt19937 rng(77);
  std::uniform_int_distribution<int> coord(0, 6000), size(100, 2500);
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(round);
    Reinit();
    Geos geos;
    std::vector<GEOSGeometry*> placed;  // each star's ring
    for (int tries = 0; placed.size() < 10 && tries < 200; ++tries) {
      const std::vector<P> star = Star(rng, {coord(rng), coord(rng)}, size(rng), 9);
      std::vector<std::pair<double, double>> ring = Doubles(star);
      ring.push_back(ring.front());
      GEOSGeometry* line = geos.LineString(ring);
      GEOSGeometry* wide = geos.Own(GEOSBuffer_r(geos.ctx(), line, 4, 4));
      bool apart = true;
      for (GEOSGeometry* other : placed) apart &= !GEOSIntersects_r(geos.ctx(), wide, other);
      if (!apart) continue;
      placed.push_back(line);
      ASSERT_EQ(AddPolygon(graph_, star, 1, 0, 0), 0);
    }
    ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
    ASSERT_TRUE(GraphIsClean(graph_));
    const std::vector<const GEOSGeometry*> faces = Polygonize(geos, graph_);
    ASSERT_EQ(faces.size(), placed.size());
    for (const GEOSGeometry* face : faces) {
      const auto [x, y] = geos.PointOn(face);
      GEOSGeometry* point = geos.Own(GEOSGeom_createPointFromXY_r(geos.ctx(), x, y));
      int holders = 0;
      for (const GEOSGeometry* other : faces) {
        if (other == face) continue;
        GEOSGeometry* shell = geos.Own(GEOSGeom_createPolygon_r(
            geos.ctx(), GEOSGeom_clone_r(geos.ctx(), GEOSGetExteriorRing_r(geos.ctx(), other)),
            nullptr, 0));
        holders += GEOSContains_r(geos.ctx(), shell, point) == 1;
      }
      Region* r = EdgeGraphFindRegion(
          graph_, {int32_t(std::lround(x * 256)), int32_t(std::lround(y * 256))});
      ASSERT_NE(r, nullptr);
      EXPECT_EQ(OuterAncestors(r), holders) << DescribeRegions(graph_);
      int holes = 0;
      for (const Region* c = r->first_child; c; c = c->next) holes += !RegionIsEmpty(*c);
      EXPECT_EQ(holes, GEOSGetNumInteriorRings_r(geos.ctx(), face));
      EXPECT_NEAR(FaceArea(r), geos.Area(face), 1e-6 * geos.Area(face));
    }
  }
}

// A filled star lassoed with another star: the selected area is their
// intersection, the rest keeps its fill unselected.
TEST_F(RegionGeosTest, LassoSelectsTheIntersection) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> offset(-800, 800);
  for (int round = 0; round < 16; ++round) {
    SCOPED_TRACE(round);
    Reinit();
    const std::vector<P> shape = Star(rng, {3000, 3000}, 1500, 11);
    const std::vector<P> lasso = Star(rng, {3000 + offset(rng), 3000 + offset(rng)}, 1200, 13);
    ASSERT_EQ(AddPolygon(graph_, shape, 1, 0, 1), 0);
    ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
    PointList path;
    for (const P& p : lasso) ASSERT_EQ(PointListAppend(path, {p.x, p.y}, 0), 0);
    ASSERT_EQ(PointListAppend(path, {lasso[0].x, lasso[0].y}, 0), 0);
    ASSERT_EQ(EdgeGraphLassoSelect(graph_, path), 0);
    PointListFree(path);
    ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
    ASSERT_TRUE(GraphIsClean(graph_));

    Geos geos;
    GEOSGeometry* a = geos.Polygon(Doubles(shape));
    GEOSGeometry* b = geos.Polygon(Doubles(lasso));
    const double both = geos.Area(geos.Own(GEOSIntersection_r(geos.ctx(), a, b)));
    const double all = geos.Area(a);
    double perimeter = 0;
    GEOSLength_r(geos.ctx(), a, &perimeter);
    double selected = 0, unselected = 0;
    for (Region* r : OuterRegions(graph_)) {
      if (StyleIndexOf(r->fill) == 0) continue;
      (RegionIsSelected(*r) ? selected : unselected) += FaceArea(r);
    }
    // Crossings are rounded to the half twip: each moves the cut by at most
    // a third of a twip along an edge.
    const double tolerance = perimeter / 4;
    EXPECT_NEAR(selected, both, tolerance);
    EXPECT_NEAR(selected + unselected, all, tolerance);
  }
}

}  // namespace
