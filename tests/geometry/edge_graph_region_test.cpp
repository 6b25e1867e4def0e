// Regions: building, classification, the containment tree, fills, outlines
// and the tidy-up after an edit.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>

#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_path.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "region_util.h"

namespace {

using namespace graph_test;

class RegionTest : public GraphTest {
 protected:
  void TearDown() override {
    EdgeGraphFreeAll(graph_);
    EXPECT_EQ(EdgeGraphRegionsInUse(), 0);
    GraphTest::TearDown();
  }
  ::testing::AssertionResult Clean() { return GraphIsClean(graph_); }
};

//  (0,100) +------+ (100,100)
//          |  1   |
//    (0,0) +------+ (100,0)
TEST_F(RegionTest, SquareGivesHoleWithOuterChild) {
  ASSERT_EQ(AddSquare(graph_, 0, 0, 100, 100, 1, 1), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  ASSERT_TRUE(Clean());
  Region* top = graph_.top_regions;
  ASSERT_NE(top, nullptr) << DescribeRegions(graph_);
  EXPECT_EQ(top->next, nullptr);
  EXPECT_FALSE(RegionIsOuter(*top));
  EXPECT_EQ(top->fill, 0);
  Region* inside = top->first_child;
  ASSERT_NE(inside, nullptr) << DescribeRegions(graph_);
  EXPECT_TRUE(RegionIsOuter(*inside));
  EXPECT_EQ(inside->fill, 1);
  EXPECT_EQ(inside->parent, top);
  EXPECT_EQ(RegionGetParent(inside), top);
  EXPECT_EQ(inside->boundary_length, 4);
  EXPECT_DOUBLE_EQ(FaceArea(inside), 100.0 * 100.0);
  EXPECT_EQ(EdgeGraphFindRegion(graph_, {G(50), G(50)}), inside);
  EXPECT_EQ(EdgeGraphFindRegion(graph_, {G(150), G(50)}), nullptr);
  EXPECT_EQ(EdgeGraphRegionsInUse(), 2);
}

// The same square drawn the other way round, and as curves whose topmost
// point lies inside a curve: classification must not depend on either.
TEST_F(RegionTest, ClassificationIndependentOfDirectionAndCurves) {
  struct Case {
    const char* name;
    bool clockwise;
    bool curved;
  } cases[] = {{"clockwise lines", true, false},
               {"counter-clockwise lines", false, false},
               {"clockwise circle", true, true},
               {"counter-clockwise circle", false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reinit();
    PointList path;
    if (c.curved)
      ASSERT_EQ(PathFromEllipse(path, {0, 200, 0, 200}), 0);
    else
      ASSERT_EQ(PathFromRect(path, {0, 200, 0, 200}), 0);
    if (c.clockwise) path.Reverse();
    // PathFromRect and PathFromEllipse run counter-clockwise: fill on the left.
    ASSERT_EQ(EdgeGraphAddPath(graph_, path, 0, c.clockwise ? 2 : 0, c.clockwise ? 0 : 2), 0);
    ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
    ASSERT_TRUE(Clean());
    const std::vector<Region*> outer = OuterRegions(graph_);
    ASSERT_EQ(outer.size(), 1u) << DescribeRegions(graph_);
    EXPECT_EQ(outer[0]->fill, 2);
    EXPECT_EQ(FillAt(graph_, 100, 100), 2);
    EXPECT_EQ(FillAt(graph_, 100, 199), 2);
    EXPECT_EQ(FillAt(graph_, 100, 201), 0);
    const double expected = c.curved ? M_PI * 100 * 100 : 200.0 * 200.0;
    EXPECT_NEAR(FaceArea(outer[0]), expected, expected * 0.01);
    PointListFree(path);
  }
}

// A long thin loop: a curve that runs far out and turns back, closed by a
// short line. Its topmost point lies just past the turn, where the curve
// still runs across; which way it runs there decides the kind, however
// close the turn is. Mirrored, the loop's top runs the other way; upside
// down, its top is the short line's end.
TEST_F(RegionTest, ThinLoopsAreClassifiedByTheirDirectionAtTheTop) {
  struct Case {
    const char* name;
    int sx, sy;
  } cases[] = {{"pointing up and left", 1, 1},
               {"mirrored", -1, 1},
               {"upside down", 1, -1},
               {"both", -1, -1}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Reinit();
    const Point32 a{k.sx * 531456, k.sy * -542720}, b{k.sx * 534656, k.sy * -541184};
    QuadCurve loop, chord;
    CurveSet(a, {k.sx * -646258, k.sy * 753701}, b, loop);
    CurveFromLine(b, a, chord);
    ASSERT_EQ(Insert(graph_, loop, 0, 1, 1), 0);
    ASSERT_EQ(Insert(graph_, chord, 0, 1, 1), 0);
    ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
    ASSERT_TRUE(Clean());
    const std::vector<Region*> all = AllRegions(graph_);
    ASSERT_EQ(all.size(), 2u) << DescribeRegions(graph_);
    EXPECT_FALSE(RegionIsOuter(*all[0])) << DescribeRegions(graph_);
    EXPECT_TRUE(RegionIsOuter(*all[1])) << DescribeRegions(graph_);
    EXPECT_EQ(RegionGetParent(all[1]), all[0]);
    // The face on a boundary's right is inside a clockwise cycle.
    EXPECT_LT(CycleArea(all[1]), 0);
    EXPECT_GT(CycleArea(all[0]), 0);
  }
}

//  +--------------+
//  |      1       |
//  |   +------+   |
//  |   | hole |   |
//  |   +------+   |
//  +--------------+
TEST_F(RegionTest, SquareWithHoleGivesBridgedPath) {
  ASSERT_EQ(AddSquare(graph_, 0, 0, 300, 300, 1, 1), 0);
  ASSERT_EQ(AddSquare(graph_, 100, 120, 180, 220, 1, 0, 1), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  ASSERT_TRUE(Clean());
  Region* outer = EdgeGraphFindRegion(graph_, {G(50), G(50)});
  ASSERT_NE(outer, nullptr);
  EXPECT_TRUE(RegionIsOuter(*outer));
  EXPECT_EQ(outer->fill, 1);
  Region* hole = outer->first_child;
  ASSERT_NE(hole, nullptr) << DescribeRegions(graph_);
  EXPECT_FALSE(RegionIsOuter(*hole));
  EXPECT_EQ(hole->fill, 1);  // the fill of the region it is a hole of
  ASSERT_NE(hole->first_child, nullptr);
  EXPECT_EQ(hole->first_child->fill, 0);
  EXPECT_EQ(FillAt(graph_, 150, 170), 0);
  EXPECT_DOUBLE_EQ(FaceArea(outer), 300.0 * 300 - 80.0 * 100);

  PointList path;
  ASSERT_EQ(RegionGetPath(outer, path), 0);
  EXPECT_TRUE(outer->flags & kRegionBridged);
  // Outer contour (5 points with the closing one), the bridge in, the hole
  // (4 more), the bridge back: 11 points, the bridge joining the nearest
  // corners (0,300) and (100,220).
  ASSERT_EQ(path.length, 11);
  int bridges = 0;
  double area = 0;
  for (int i = 0; i + 1 < path.length; ++i) {
    const PointListEntry& a = path.buffer[i];
    const PointListEntry& b = path.buffer[i + 1];
    area += double(a.x) * b.y - double(b.x) * a.y;
    const bool ab = a.Point() == Point32{0, 300} && b.Point() == Point32{100, 220};
    const bool ba = b.Point() == Point32{0, 300} && a.Point() == Point32{100, 220};
    bridges += ab || ba;
  }
  EXPECT_EQ(bridges, 2);
  EXPECT_DOUBLE_EQ(std::fabs(area / 2), 300.0 * 300 - 80.0 * 100);
  EXPECT_EQ(path.buffer[0].Point(), path.buffer[path.length - 1].Point());

  // The contour alone leaves the hole out.
  PointList contour;
  ASSERT_EQ(RegionGetContour(outer, contour), 0);
  EXPECT_EQ(contour.length, 5);
  PointListFree(path);
  PointListFree(contour);
}

// Three holes in a row: the middle one is nearer to its neighbours than to
// the outer contour, so bridges chain from hole to hole, and the path still
// encloses the right area.
TEST_F(RegionTest, HolesBridgeToNearestContour) {
  ASSERT_EQ(AddSquare(graph_, 0, 0, 1000, 200, 1, 3), 0);
  for (int x : {100, 400, 700}) ASSERT_EQ(AddSquare(graph_, x, 50, x + 200, 150, 1, 0, 3), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  Region* outer = EdgeGraphFindRegion(graph_, {G(50), G(20)});
  ASSERT_NE(outer, nullptr);
  PointList path;
  ASSERT_EQ(RegionGetPath(outer, path), 0);
  double area = 0;
  for (int i = 0; i + 1 < path.length; ++i) {
    const PointListEntry& a = path.buffer[i];
    const PointListEntry& b = path.buffer[i + 1];
    area += double(a.x) * b.y - double(b.x) * a.y;
  }
  EXPECT_DOUBLE_EQ(std::fabs(area / 2), 1000.0 * 200 - 3 * 200.0 * 100);
  EXPECT_EQ(path.length, 5 + 3 * 6);
  // Inside-test of the bridged path agrees with the regions.
  for (int x = 10; x < 1000; x += 37) {
    const bool inside = FillAt(graph_, x, 100) != 0;
    EXPECT_EQ(ShapeContainsPoint(path, {x, 100}), inside) << x;
  }
  // A new child (a stroke inside the face) drops the bridges.
  ASSERT_EQ(Insert(graph_, Line(320, 20, 380, 20), 1), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  outer = EdgeGraphFindRegion(graph_, {G(50), G(20)});
  EXPECT_FALSE(outer->flags & kRegionBridged);
  PointListFree(path);
}

TEST_F(RegionTest, OpenPolylineGivesOneEmptyRegion) {
  ASSERT_EQ(AddPolygon(graph_, {{0, 0}, {100, 50}, {200, 0}, {300, 80}}, 1, 0, 0, false), 0);
  ASSERT_EQ(EdgeGraphBuildRegions(graph_), 0);
  const std::vector<Region*> regions = AllRegions(graph_);
  ASSERT_EQ(regions.size(), 1u) << DescribeRegions(graph_);
  EXPECT_TRUE(RegionIsEmpty(*regions[0]));
  EXPECT_FALSE(RegionIsOuter(*regions[0]));
  EXPECT_EQ(regions[0]->boundary_length, 6);
  for (int x = 0; x <= 300; x += 25)
    for (int y = -10; y <= 90; y += 10) EXPECT_FALSE(RegionContainsPoint(regions[0], {G(x), G(y)}));
  EXPECT_EQ(EdgeGraphFindRegion(graph_, {G(100), G(20)}), nullptr);
}

TEST_F(RegionTest, MajorityFillWins) {
  // Fill 2 on three inner sides, 3 on the fourth.
  ASSERT_EQ(Insert(graph_, Line(0, 0, 0, 100), 1, 2), 0);
  ASSERT_EQ(Insert(graph_, Line(0, 100, 100, 100), 1, 2), 0);
  ASSERT_EQ(Insert(graph_, Line(100, 100, 100, 0), 1, 3), 0);
  ASSERT_EQ(Insert(graph_, Line(100, 0, 0, 0), 1, 2), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  EXPECT_EQ(FillAt(graph_, 50, 50), 2);
  // The winner is written on the whole boundary.
  for (const EdgeRecord& e : Edges(graph_)) {
    EXPECT_EQ(e.fill_a + e.fill_b, 2) << e;
    EXPECT_TRUE(e.fill_a == 0 || e.fill_b == 0) << e;
  }
  // A tie goes to the value met first on the walk: either, but one for all.
  Reinit();
  ASSERT_EQ(Insert(graph_, Line(0, 0, 0, 100), 1, 2), 0);
  ASSERT_EQ(Insert(graph_, Line(0, 100, 100, 100), 1, 2), 0);
  ASSERT_EQ(Insert(graph_, Line(100, 100, 100, 0), 1, 3), 0);
  ASSERT_EQ(Insert(graph_, Line(100, 0, 0, 0), 1, 3), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  const StyleIndex fill = FillAt(graph_, 50, 50);
  EXPECT_TRUE(fill == 2 || fill == 3);
  for (const EdgeRecord& e : Edges(graph_)) EXPECT_EQ(e.fill_a + e.fill_b, fill) << e;
}

// The tidy-up after an edit, one case a row.
TEST_F(RegionTest, UpdateTidiesEdges) {
  struct Case {
    const char* name;
    std::vector<std::pair<QuadCurve, std::array<StyleIndex, 3>>> edges;  // line, fill A, fill B
    std::vector<EdgeRecord> expected;
  };
  const Case cases[] = {
      {"edge without line between equal fills goes",
       {{Line(0, 0, 0, 100), {1, 1, 0}},
        {Line(0, 100, 100, 100), {1, 1, 0}},
        {Line(100, 100, 100, 0), {1, 1, 0}},
        {Line(100, 0, 0, 0), {1, 1, 0}},
        {Line(0, 0, 100, 100), {0, 1, 1}}},
       {Normalised(Line(0, 0, 0, 100), 1, 1, 0), Normalised(Line(0, 100, 100, 100), 1, 1, 0),
        Normalised(Line(100, 100, 100, 0), 1, 1, 0), Normalised(Line(100, 0, 0, 0), 1, 1, 0)}},
      {"loose end within five twips snaps onto the edge",
       {{Line(0, 0, 200, 0), {1, 0, 0}}, {Line(100, 100, 100, 3), {2, 0, 0}}},
       {Normalised(Line(0, 0, 100, 0), 1, 0, 0), Normalised(Line(100, 0, 200, 0), 1, 0, 0),
        Normalised(Line(100, 100, 100, 0), 2, 0, 0)}},
      {"loose edge shorter than five twips goes",
       {{Line(0, 0, 200, 0), {1, 0, 0}}, {Line(50, 20, 50, 24), {2, 0, 0}}},
       {Normalised(Line(0, 0, 200, 0), 1, 0, 0)}},
      {"collinear straight edges with the same line join",
       {{Line(0, 0, 100, 1), {1, 0, 0}}, {Line(100, 1, 200, 0), {1, 0, 0}}},
       {Normalised(Line(0, 0, 200, 0), 1, 0, 0)}},
      {"collinear edges with different lines stay",
       {{Line(0, 0, 100, 0), {1, 0, 0}}, {Line(100, 0, 200, 0), {2, 0, 0}}},
       {Normalised(Line(0, 0, 100, 0), 1, 0, 0), Normalised(Line(100, 0, 200, 0), 2, 0, 0)}},
      {"a bent joint stays",
       {{Line(0, 0, 100, 0), {1, 0, 0}}, {Line(100, 0, 200, 30), {1, 0, 0}}},
       {Normalised(Line(0, 0, 100, 0), 1, 0, 0), Normalised(Line(100, 0, 200, 30), 1, 0, 0)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reinit();
    for (const auto& [curve, s] : c.edges) ASSERT_EQ(Insert(graph_, curve, s[0], s[1], s[2]), 0);
    ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
    ASSERT_TRUE(Clean());
    std::vector<EdgeRecord> expected = c.expected;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Edges(graph_), expected) << "got:\n"
                                       << Describe(Edges(graph_)) << "expected:\n"
                                       << Describe(expected);
  }
}

TEST_F(RegionTest, ReplaceFillKeepsSelection) {
  ASSERT_EQ(AddSquare(graph_, 0, 0, 100, 100, 1, 2), 0);
  ASSERT_EQ(AddSquare(graph_, 200, 0, 300, 100, 1, 2 | kStyleSelected), 0);
  ASSERT_EQ(AddSquare(graph_, 400, 0, 500, 100, 1, 3), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  ASSERT_EQ(EdgeGraphReplaceFill(graph_, 2, 4), 0);
  EXPECT_EQ(FillAt(graph_, 50, 50), 4);
  EXPECT_EQ(FillAt(graph_, 250, 50), 4 | kStyleSelected);
  EXPECT_EQ(FillAt(graph_, 450, 50), 3);
  ASSERT_EQ(EdgeGraphReplaceFill(graph_, 4, 0), 0);
  EXPECT_EQ(FillAt(graph_, 250, 50), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  ASSERT_TRUE(Clean());
}

// 300 nested squares, alternately filled: 600 levels of regions, far below
// any fixed-size walk stack.
TEST_F(RegionTest, DeepNestingIsWalkedWhole) {
  constexpr int kSquares = 300;
  for (int i = 0; i < kSquares; ++i) {
    const int32_t d = 10 * i;
    ASSERT_EQ(AddSquare(graph_, d, d, 8000 - d, 8000 - d, 1, (i & 1) ? 0 : 1, (i & 1) ? 1 : 0), 0);
  }
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  RegionIter it;
  ASSERT_EQ(RegionIterInit(it, graph_), 0);
  size_t count = 0, deepest = 0;
  while (true) {
    deepest = std::max(deepest, it.stack.size());
    if (!RegionIterNext(it)) break;
    ++count;
  }
  EXPECT_EQ(count, 2u * kSquares);
  EXPECT_EQ(deepest, 2u * kSquares - 1);
  for (int i = 0; i < kSquares; ++i)
    EXPECT_EQ(FillAt(graph_, 10 * i + 5, 4000), (i & 1) ? 0 : 1) << i;
}

TEST_F(RegionTest, BoundsAndNearestEdge) {
  ASSERT_EQ(Insert(graph_, Line(0, 0, 100, 0), 2), 0);  // line 2 is 2 twips wide
  ASSERT_EQ(Insert(graph_, Line(0, 50, 100, 50), 0, 1 | kStyleSelected, 0), 0);
  Rect32 tight, stroked;
  EdgeGraphGetBounds(graph_, false, tight, stroked);
  EXPECT_EQ(tight, (Rect32{0, G(100), 0, G(50)}));
  EXPECT_EQ(stroked, (Rect32{-G(1), G(101), -G(1), G(50)}));
  EdgeGraphGetBounds(graph_, true, tight, stroked);
  EXPECT_EQ(tight, (Rect32{0, G(100), G(50), G(50)}));

  Point32 at;
  Edge* e = EdgeGraphNearestEdge(graph_, {G(30), G(20)}, G(40), nullptr, &at);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->curve.p0.y, 0);
  EXPECT_EQ(at, (Point32{G(30), 0}));
  EXPECT_EQ(EdgeGraphNearestEdge(graph_, {G(30), G(20)}, G(40), e, &at)->curve.p0.y, G(50));
  EXPECT_EQ(EdgeGraphNearestEdge(graph_, {G(30), G(20)}, G(10), nullptr, &at), nullptr);
}

}  // namespace

namespace {

using namespace graph_test;

// Large builds go through a spatial index of the tree: the tree, its order
// and every point query come out as the plain sibling walk makes them.
TEST_F(RegionTest, IndexedBuildGivesTheSameTree) {
  std::mt19937 rng(99);
  std::uniform_int_distribution<int> coord(0, 8000), size(50, 1500);
  std::vector<std::vector<P>> squares;
  for (int i = 0; i < 80; ++i) {
    const int x = coord(rng), y = coord(rng), s = size(rng);
    squares.push_back({{x, y}, {x, y + s}, {x + s, y + s}, {x + s, y}});
  }
  std::vector<QuadCurve> lines;
  for (int i = 0; i < 30; ++i)
    lines.push_back(Line(coord(rng), coord(rng), coord(rng), coord(rng)));
  std::string trees[2];
  std::vector<StyleIndex> fills[2];
  for (int pass = 0; pass < 2; ++pass) {
    const int previous = EdgeGraphSetRegionIndexMode(pass ? kRegionIndexAlways : kRegionIndexNever);
    Reinit();
    for (size_t i = 0; i < squares.size(); ++i)
      ASSERT_EQ(AddPolygon(graph_, squares[i], 1, static_cast<StyleIndex>(1 + i % 3), 0), 0);
    for (const QuadCurve& c : lines) ASSERT_EQ(Insert(graph_, c, 2), 0);
    ASSERT_EQ(EdgeGraphBuildRegions(graph_), 0);
    trees[pass] = DescribeRegions(graph_);
    for (int y = 0; y < 9000; y += 170)
      for (int x = 0; x < 9000; x += 170) fills[pass].push_back(FillAt(graph_, x, y));
    EdgeGraphSetRegionIndexMode(previous);
  }
  EXPECT_GT(graph_.edge_count, 500u);
  EXPECT_EQ(trees[0], trees[1]);
  EXPECT_EQ(fills[0], fills[1]);
}

}  // namespace

namespace {

using namespace graph_test;

// The tree exactly: each region's depth, kind, fill, bounds, length and the
// half-edge its boundary starts at, in walk order (sibling order included).
std::string ExactTree(EdgeGraph& g) {
  std::ostringstream os;
  os << DescribeRegions(g);
  RegionIter it;
  EXPECT_EQ(RegionIterInit(it, g), 0);
  while (Region* r = RegionIterNext(it)) {
    const QuadCurve& c = r->boundary->edge->curve;
    os << c.p0.x << "," << c.p0.y << "-" << c.p2.x << "," << c.p2.y
       << (HalfEdgeIsSideB(r->boundary) ? "b " : "a ");
  }
  return os.str();
}

// A random drawing of nested shapes: chains of squares inside squares (some
// with curved sides), rings of two squares, shapes overlapping others (cut
// where they cross), open polylines, and loose squares side by side.
void RandomNesting(EdgeGraph& g, std::mt19937& rng, int chains) {
  std::uniform_int_distribution<int> coord(0, 9000), depth(1, 30), fill(0, 3), coin(0, 5),
      bulge(-40, 40);
  for (int chain = 0; chain < chains; ++chain) {
    int x0 = coord(rng), y0 = coord(rng);
    int x1 = x0 + 200 + coord(rng) / 3, y1 = y0 + 200 + coord(rng) / 3;
    const int levels = depth(rng);
    for (int level = 0; level < levels && x1 - x0 > 20 && y1 - y0 > 20; ++level) {
      const auto in = static_cast<StyleIndex>(fill(rng)), out = static_cast<StyleIndex>(fill(rng));
      switch (coin(rng)) {
        case 0: {  // curved sides
          const int b = bulge(rng);
          const int mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
          ASSERT_EQ(Insert(g, Quad(x0, y0, x0 - b, my, x0, y1), 1, in, out), 0);
          ASSERT_EQ(Insert(g, Quad(x0, y1, mx, y1 + b, x1, y1), 1, in, out), 0);
          ASSERT_EQ(Insert(g, Quad(x1, y1, x1 + b, my, x1, y0), 1, in, out), 0);
          ASSERT_EQ(Insert(g, Quad(x1, y0, mx, y0 - b, x0, y0), 1, in, out), 0);
          break;
        }
        case 1:  // an open polyline inside
          ASSERT_EQ(
              AddPolygon(g, {{x0 + 5, y0 + 5}, {x1 - 5, y0 + 7}, {x1 - 7, y1 - 5}}, 2, 0, 0, false),
              0);
          break;
        case 2: {  // two squares side by side in this level
          const int mx = (x0 + x1) / 2;
          ASSERT_EQ(AddSquare(g, x0, y0, mx - 3, y1, 1, in, out), 0);
          ASSERT_EQ(AddSquare(g, mx + 3, y0, x1, y1, 1, out, in), 0);
          x1 = mx - 3;
          break;
        }
        default:
          ASSERT_EQ(AddSquare(g, x0, y0, x1, y1, 1, in, out), 0);
          break;
      }
      const int step = 2 + (x1 - x0) / 40;
      x0 += step;
      y0 += step;
      x1 -= step;
      y1 -= step;
    }
  }
}

struct BuildWay {
  int start, index;
};

// The trees and edges of a random nested drawing built one way: after the
// first build, after the tidy-up that gives fills from the tree, and after a
// rebuild of the part that further shapes changed.
struct Builds {
  std::vector<std::string> trees;
  std::vector<EdgeRecord> edges;
};

// Region building that starts each search from a guessed region gives the
// tree, order included, and the fills of the plain build from the top, on
// random nested drawings, on first builds and on rebuilds after further
// edits, with and without the spatial index.
TEST_F(RegionTest, GuessedStartsGiveThePlainTree) {
  auto build = [&](uint32_t seed, const BuildWay& way, Builds& out) {
    const int start = EdgeGraphSetRegionStartMode(way.start);
    const int index = EdgeGraphSetRegionIndexMode(way.index);
    std::mt19937 rng(seed);
    Reinit();
    RandomNesting(graph_, rng, 8);
    ASSERT_EQ(EdgeGraphBuildRegions(graph_), 0);
    out.trees.push_back(ExactTree(graph_));
    ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
    out.trees.push_back(ExactTree(graph_));
    RandomNesting(graph_, rng, 3);
    ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
    out.trees.push_back(ExactTree(graph_));
    out.edges = Edges(graph_);
    EdgeGraphSetRegionStartMode(start);
    EdgeGraphSetRegionIndexMode(index);
  };
  const BuildWay ways[] = {{kRegionStartGuessed, kRegionIndexNever},
                           {kRegionStartGuessed, kRegionIndexAlways},
                           {kRegionStartBySize, kRegionIndexBySize}};
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    Builds plain;
    build(seed, {kRegionStartFromTop, kRegionIndexNever}, plain);
    for (const BuildWay& way : ways) {
      const uint64_t guessed = EdgeGraphRegionSearchCounts().guessed_starts;
      Builds other;
      build(seed, way, other);
      if (way.start == kRegionStartGuessed) {
        EXPECT_GT(EdgeGraphRegionSearchCounts().guessed_starts, guessed);
      }
      ASSERT_EQ(plain.trees.size(), other.trees.size());
      for (size_t i = 0; i < plain.trees.size(); ++i)
        ASSERT_EQ(plain.trees[i], other.trees[i]) << "seed " << seed << " build " << i;
      EXPECT_EQ(plain.edges, other.edges) << "seed " << seed;
    }
  }
}

// A curve and a line in graph units.
QuadCurve UnitQuad(Point32 p0, Point32 c, Point32 p2) {
  QuadCurve q;
  CurveSet(p0, c, p2, q);
  return q;
}
QuadCurve UnitLine(Point32 p0, Point32 p2) {
  QuadCurve q;
  CurveFromLine(p0, p2, q);
  return q;
}

// Point tests beside the end of a long curve, where the curve's last piece
// is still hundreds of units long: the curve must not be taken for passing
// right of a point that lies right of it. Two drawings (units): a sliver one
// grid step wide between two long curves under a triangle whose lower side
// is the upper curve (from a fuzzed drawing), and a small square right of
// the upper end of a curve millions of units long, the lower side of another
// triangle. The square hung under that triangle and took its fill. Built
// from the top and by guesses, every region lies within the bounds of the
// region it hangs under, the trees agree, and points find their faces.
TEST_F(RegionTest, PointTestsBesideTheEndOfLongCurves) {
  constexpr int32_t kY = 600064;  // keeps the drawing at positive y
  const Point32 a = {1152, -568064 + kY}, a2 = {1152, -568192 + kY};
  const Point32 b = {771072, -186752 + kY}, b2 = {771072, -186880 + kY};
  const Point32 top = {1152, -1024 + kY};
  const Point32 c0 = {1280, 2000000}, c1 = {3000064, 3000064};
  const Point32 s0 = {c1.x - 256, c1.y - 896}, s1 = {c1.x - 128, c1.y - 768};
  // Fill A lies on the right of each edge's direction: triangle 1, sliver 2.
  const struct {
    QuadCurve curve;
    StyleIndex a, b;
  } edges[] = {
      {UnitQuad(a, {321106, -442800 + kY}, b), 2, 1},
      {UnitQuad(a2, {321101, -442933 + kY}, b2), 0, 2},
      {UnitLine(a2, a), 2, 0},
      {UnitLine(b2, b), 0, 2},
      {UnitLine(b, top), 0, 1},
      {UnitLine(top, a), 0, 1},
      // Above them a second triangle, fill 3, whose lower side is a curve
      // millions of units long, and right of that curve's upper end a small
      // square, fill 2, apart from everything.
      {UnitQuad(c0, {1500032, 1000064}, c1), 3, 0},
      {UnitLine(c1, {1280, 3000064}), 0, 3},
      {UnitLine({1280, 3000064}, c0), 0, 3},
      {UnitLine(s0, {s0.x, s1.y}), 2, 0},
      {UnitLine({s0.x, s1.y}, s1), 2, 0},
      {UnitLine(s1, {s1.x, s0.y}), 2, 0},
      {UnitLine({s1.x, s0.y}, s0), 2, 0},
  };
  for (const auto& e : edges) ASSERT_EQ(Insert(graph_, e.curve, 1, e.a, e.b), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  // The tidy-up writes fills from the tree: the square's outline keeps none.
  const Region* in_square = EdgeGraphFindRegion(graph_, {s0.x + 64, s0.y + 64});
  ASSERT_NE(in_square, nullptr);
  ASSERT_NE(in_square->parent, nullptr);
  EXPECT_EQ(in_square->parent->fill, 0) << DescribeRegions(graph_);
  std::string trees[2];
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass ? "guessed starts" : "from the top");
    const int start = EdgeGraphSetRegionStartMode(pass ? kRegionStartGuessed : kRegionStartFromTop);
    EdgeGraph copy;
    ASSERT_EQ(EdgeGraphInit(copy), 0);
    ASSERT_EQ(EdgeGraphMerge(graph_, copy, 3), 0);
    ASSERT_EQ(EdgeGraphBuildRegions(copy), 0);
    trees[pass] = ExactTree(copy);
    RegionIter it;
    ASSERT_EQ(RegionIterInit(it, copy), 0);
    Region* parent = nullptr;
    while (Region* r = RegionIterNext(it, &parent)) {
      if (!parent) continue;
      Rect32 both;
      RectUnion(parent->bounds, r->bounds, both);
      EXPECT_TRUE(both == parent->bounds) << DescribeRegions(copy);
    }
    // Inside the sliver, 80 units right of the upper curve and left of the
    // short side; inside the triangle; outside, right of the short side.
    const Region* sliver = EdgeGraphFindRegion(copy, {771040, -186816 + kY});
    ASSERT_NE(sliver, nullptr) << DescribeRegions(copy);
    EXPECT_EQ(sliver->bounds.ymin, a2.y) << DescribeRegions(copy);
    const Region* triangle = EdgeGraphFindRegion(copy, {300000, -300000 + kY});
    ASSERT_NE(triangle, nullptr) << DescribeRegions(copy);
    EXPECT_EQ(triangle->bounds.ymax, top.y);
    EXPECT_EQ(EdgeGraphFindRegion(copy, {771104, -186816 + kY}), nullptr);
    // The square lies in no other region: its outline is at the top level.
    const Region* square = EdgeGraphFindRegion(copy, {s0.x + 64, s0.y + 64});
    ASSERT_NE(square, nullptr) << DescribeRegions(copy);
    EXPECT_EQ(square->bounds.xmax, s1.x) << DescribeRegions(copy);
    ASSERT_NE(square->parent, nullptr);
    EXPECT_EQ(square->parent->parent, nullptr) << DescribeRegions(copy);
    EdgeGraphFreeAll(copy);
    EdgeGraphSetRegionStartMode(start);
  }
  EXPECT_EQ(trees[0], trees[1]);
}

// Deep nesting: 150 squares inside each other, filled alternately, copied
// into a fresh graph (whose edges come outermost first) and built the plain
// way and by guesses. The guessed build meets the plain tree, descends a
// fraction of the levels, and every level has its fill.
TEST_F(RegionTest, DeepNestingGuessedAsPlain) {
  for (int i = 0; i < 150; ++i) {
    const int32_t d = 20 * i;
    ASSERT_EQ(
        AddSquare(graph_, d, d, 6000 - d, 6000 - d + (i % 3), 1, (i & 1) ? 0 : 2, (i & 1) ? 2 : 0),
        0);
  }
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  std::string trees[2];
  uint64_t levels[2];
  for (int pass = 0; pass < 2; ++pass) {
    const int start = EdgeGraphSetRegionStartMode(pass ? kRegionStartBySize : kRegionStartFromTop);
    EdgeGraph copy;
    ASSERT_EQ(EdgeGraphInit(copy), 0);
    ASSERT_EQ(EdgeGraphMerge(graph_, copy, 3), 0);
    const uint64_t before = EdgeGraphRegionSearchCounts().levels;
    ASSERT_EQ(EdgeGraphUpdate(copy), 0);
    levels[pass] = EdgeGraphRegionSearchCounts().levels - before;
    trees[pass] = ExactTree(copy);
    // The copy's table has the fill as its first entry.
    for (int i = 0; i < 150; ++i) EXPECT_EQ(FillAt(copy, 20 * i + 10, 3000), (i & 1) ? 0 : 1) << i;
    EdgeGraphFreeAll(copy);
    EdgeGraphSetRegionStartMode(start);
  }
  EXPECT_EQ(trees[0], trees[1]);
  EXPECT_LT(levels[1] * 4, levels[0]);
}

// Two curves leave (1920,1920) a degree apart, the one leaving on the right
// staying within half a unit of the other for 95 units before they cross:
// beyond that it runs on the left, bounding with a line across their far
// ends a lens. A line hangs down from the vertex, outside the lens, to the
// side of a large square that also holds a small one. The ring at the vertex
// follows the order in which the curves part: the hanging line lies in the
// large square's face, not in the lens, and in both start modes that face
// holds the small square rather than hanging under the lens's outline.
TEST_F(RegionTest, CurvesCrossingBesideTheirSharedEndBoundTheRightFaces) {
  // In graph units: the curves part by less than the grid's resolution.
  for (const QuadCurve& c :
       {UnitLine({1920, 1920}, {1920, 0}), UnitQuad({1920, 1920}, {1920, 3168}, {3072, 4096}),
        UnitQuad({1920, 1920}, {1944, 3220}, {1920, 4480}), UnitLine({1920, 4480}, {3072, 4096}),
        UnitLine({0, 0}, {0, 8192}), UnitLine({0, 8192}, {8192, 8192}),
        UnitLine({8192, 8192}, {8192, 0}), UnitLine({8192, 0}, {0, 0}),
        UnitLine({4096, 4096}, {4096, 5120}), UnitLine({4096, 5120}, {5120, 5120}),
        UnitLine({5120, 5120}, {5120, 4096}), UnitLine({5120, 4096}, {4096, 4096})})
    ASSERT_EQ(Insert(graph_, c, 1), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  const Point32 in_lens = {2176, 3968};
  std::string trees[2];
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass ? "guessed starts" : "from the top");
    const int start = EdgeGraphSetRegionStartMode(pass ? kRegionStartGuessed : kRegionStartFromTop);
    EdgeGraph copy;
    ASSERT_EQ(EdgeGraphInit(copy), 0);
    ASSERT_EQ(EdgeGraphMerge(graph_, copy, 3), 0);
    ASSERT_EQ(EdgeGraphBuildRegions(copy), 0);
    trees[pass] = ExactTree(copy);
    const Region* lens = EdgeGraphFindRegion(copy, in_lens);
    ASSERT_NE(lens, nullptr) << DescribeRegions(copy);
    EXPECT_TRUE(RegionIsOuter(*lens)) << DescribeRegions(copy);
    const Vertex* foot = FindVertexAt(copy, {1920, 0});
    ASSERT_NE(foot, nullptr);
    ASSERT_NE(foot->ring, nullptr);
    EXPECT_NE(foot->ring->region, lens) << DescribeRegions(copy);
    // The small square's outline hangs under the face of the large one.
    const Region* inside = EdgeGraphFindRegion(copy, {6144, 6144});
    const Region* small = EdgeGraphFindRegion(copy, {4608, 4608});
    ASSERT_NE(inside, nullptr);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(inside->bounds.xmax, 8192) << DescribeRegions(copy);
    EXPECT_EQ(small->bounds.xmax, 5120) << DescribeRegions(copy);
    ASSERT_NE(small->parent, nullptr);
    EXPECT_EQ(small->parent->parent, inside) << DescribeRegions(copy);
    EdgeGraphFreeAll(copy);
    EdgeGraphSetRegionStartMode(start);
  }
  EXPECT_EQ(trees[0], trees[1]);
}

}  // namespace
