// Clipping to regions and selections, chain and run selection, styles, region
// painting and the curve work list (against Cairo's fill rules).
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "geometry/edge_graph_cleanup.h"
#include "geometry/edge_graph_outline.h"
#include "geometry/edge_graph_select.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "region_util.h"
#include "tests/common/edge_styles.h"
#include "tests/common/refuse_memory.h"

namespace graph_test {
namespace {

using Contour = std::vector<QuadCurve>;

// A circle of eight quadratic arcs (twips), clockwise (y up) or not.
Contour Circle(double cx, double cy, double r, bool clockwise) {
  Contour out;
  const double step = (clockwise ? -1 : 1) * M_PI / 4, k = r / std::cos(M_PI / 8);
  auto at = [&](double a, double rad) {
    return Point32{static_cast<int32_t>(std::lround(cx + rad * std::cos(a))),
                   static_cast<int32_t>(std::lround(cy + rad * std::sin(a)))};
  };
  for (int i = 0; i < 8; ++i) {
    const Point32 p = at(i * step, r), c = at((i + 0.5) * step, k), q = at((i + 1) * step, r);
    out.push_back(Quad(p.x, p.y, c.x, c.y, q.x, q.y));
  }
  return out;
}

Contour Polygon(const std::vector<P>& points) {
  Contour out;
  for (size_t i = 0; i < points.size(); ++i) {
    const P& a = points[i];
    const P& b = points[(i + 1) % points.size()];
    out.push_back(Line(a.x, a.y, b.x, b.y));
  }
  return out;
}

// Cairo's answer for the same curves (graph units), each contour closed.
class CairoFill {
 public:
  CairoFill(const std::vector<Contour>& contours, bool even_odd)
      : surface_(cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1), cairo_surface_destroy),
        cr_(cairo_create(surface_.get()), cairo_destroy) {
    cairo_t* cr = cr_.get();
    cairo_set_fill_rule(cr, even_odd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    for (const Contour& contour : contours) {
      cairo_move_to(cr, contour[0].p0.x, contour[0].p0.y);
      for (const QuadCurve& c : contour) {
        const double k = 2.0 / 3.0;
        cairo_curve_to(cr, c.p0.x + k * (c.control.x - c.p0.x), c.p0.y + k * (c.control.y - c.p0.y),
                       c.p2.x + k * (c.control.x - c.p2.x), c.p2.y + k * (c.control.y - c.p2.y),
                       c.p2.x, c.p2.y);
      }
      cairo_close_path(cr);
    }
  }
  bool Contains(const Point32& q) const { return cairo_in_fill(cr_.get(), q.x, q.y) != 0; }

 private:
  std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> surface_;
  std::unique_ptr<cairo_t, void (*)(cairo_t*)> cr_;
};

bool NearAnyCurve(const std::vector<Contour>& contours, const Point32& q, int32_t limit) {
  for (const Contour& contour : contours)
    for (const QuadCurve& c : contour)
      if (CurveNearestPoint(c, q, limit, nullptr) != kNoParam) return true;
  return false;
}

struct FillRuleCase {
  const char* name;
  std::vector<Contour> contours;
};

std::vector<FillRuleCase> FillRuleCases() {
  Contour loop_a = Polygon({{0, 0}, {3000, 0}, {3000, 3000}});
  Contour arch = {Quad(500, 500, 4000, 1500, 500, 2500), Line(500, 2500, 500, 500)};
  Contour bow = {Quad(0, 0, 2000, 4000, 4000, 0), Quad(4000, 0, 2000, 2000, 0, 4000),
                 Line(0, 4000, 0, 0)};
  return {
      {"nested circles, same direction",
       {Circle(2000, 2000, 1500, true), Circle(2000, 2000, 700, true)}},
      {"nested circles, opposite directions",
       {Circle(2000, 2000, 1500, true), Circle(2000, 2000, 700, false)}},
      {"overlapping circles", {Circle(1500, 2000, 1000, false), Circle(2500, 2000, 1000, false)}},
      {"arch inside an opposite arch",
       {arch, {Quad(500, 2500, 3000, 1500, 500, 500), Line(500, 500, 500, 2500)}}},
      {"up-and-down arch inside an opposite one",
       {{Quad(0, 0, 2000, 6000, 4000, 0), Line(4000, 0, 0, 0)},
        {Quad(3000, 500, 2000, 3000, 1000, 500), Line(1000, 500, 3000, 500)}}},
      {"self-crossing bow", {bow}},
      {"triangle twice", {loop_a, loop_a}},
  };
}

TEST(CurveWorkListTest, BothFillRulesAgreeWithCairo) {
  for (const FillRuleCase& test : FillRuleCases()) {
    for (bool even_odd : {true, false}) {
      SCOPED_TRACE(std::string(test.name) + (even_odd ? " even-odd" : " non-zero"));
      CurveWorkList list;
      list.fill_rule = even_odd ? FillRule::kEvenOdd : FillRule::kNonZero;
      for (const Contour& contour : test.contours)
        for (const QuadCurve& c : contour) ASSERT_NE(list.Add(c), nullptr);
      const CairoFill oracle(test.contours, even_odd);
      int checked = 0, inside = 0;
      for (int32_t y = -100; y <= 4200; y += 37)
        for (int32_t x = -100; x <= 4200; x += 41) {
          const Point32 q = {G(x), G(y)};
          if (NearAnyCurve(test.contours, q, G(4))) continue;
          ++checked;
          const bool expected = oracle.Contains(q);
          inside += expected;
          ASSERT_EQ(list.ContainsPoint(q), expected) << "at " << x << "," << y;
        }
      EXPECT_GT(checked, 5000);
      // A contour drawn twice covers nothing under even-odd.
      const bool empty =
          even_odd && test.contours.size() == 2 && test.contours[0] == test.contours[1];
      if (empty)
        EXPECT_EQ(inside, 0);
      else
        EXPECT_GT(inside, 100);
    }
  }
}

TEST(CurveWorkListTest, AddPointListShiftsToGraphUnits) {
  PointList path;
  EXPECT_EQ(PathFromRect(path, {100, 200, 100, 200}), 0);
  CurveWorkList list;
  ASSERT_EQ(list.AddPointList(path), 0);
  EXPECT_TRUE(list.ContainsPoint({G(150), G(150)}));
  EXPECT_FALSE(list.ContainsPoint({G(250), G(150)}));
  PointListFree(path);
}

// The graph under test and a second one (the drawing or mask it is clipped
// to), both with four fills and lines.
class OutlineTest : public GraphTest {
 protected:
  void SetUp() override {
    GraphTest::SetUp();
    ASSERT_EQ(EdgeGraphInit(other_), 0);
    AddStyles(other_);
  }
  void TearDown() override {
    EdgeGraphFreeAll(other_);
    GraphTest::TearDown();
  }
  // A circle round (3000, 3000) of radius 1000 filled with fill 1; its region.
  Region* FilledCircle(EdgeGraph& g, StyleIndex line) {
    for (const QuadCurve& c : Circle(3000, 3000, 1000, true))
      EXPECT_EQ(Insert(g, c, line, 1, 0), 0);
    EXPECT_EQ(EdgeGraphUpdate(g), 0);
    Region* circle = EdgeGraphFindRegion(g, {G(3000), G(3000)});
    EXPECT_TRUE(circle && circle->fill == 1);
    return circle;
  }
  void AddContour(EdgeGraph& g, const Contour& contour, StyleIndex line, StyleIndex fill_a,
                  StyleIndex fill_b) {
    for (const QuadCurve& c : contour) ASSERT_EQ(Insert(g, c, line, fill_a, fill_b), 0);
  }
  // A paint stroke across x 1000..5000 at y 3000, filled with fill 2.
  void AddStripe() {
    ASSERT_EQ(AddSquare(graph_, 1000, 2700, 5000, 3300, 0, 2), 0);
    ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  }
  // The fills left along the stripe: left, centre and right, after the tidy-up.
  std::vector<StyleIndex> StripeFills() {
    EXPECT_EQ(EdgeGraphUpdate(graph_), 0);
    EXPECT_TRUE(GraphIsValid(graph_));
    EXPECT_FALSE(HasTag(graph_));
    return {FillAt(graph_, 1500, 3000), FillAt(graph_, 3000, 3000), FillAt(graph_, 4500, 3000)};
  }
  using Fills = std::vector<StyleIndex>;
  bool HasTag(const EdgeGraph& g) {
    bool found = false;
    EdgeGraphForEachEdge(g, nullptr, [&](const Edge* e) {
      found |= StyleIsTag(e->a.fill) || StyleIsTag(e->b.fill) || StyleIsTag(e->line);
    });
    return found;
  }
  EdgeGraph other_;
};

// A path with a hole, filled into a graph of lines only: the ring takes the
// fill, the regions inside the hole do not.
TEST_F(OutlineTest, FillCoveredRegionsLeavesTheHoleEmpty) {
  AddContour(graph_, Polygon({{0, 0}, {0, 4000}, {4000, 4000}, {4000, 0}}), 1, 0, 0);
  AddContour(graph_, Polygon({{1000, 1000}, {1000, 3000}, {3000, 3000}, {3000, 1000}}), 1, 0, 0);
  AddContour(graph_, {Line(1000, 2000, 3000, 2000)}, 1, 0, 0);  // two regions in the hole
  ASSERT_EQ(EdgeGraphCleanup(graph_), 0);
  // The path runs along the graph's edges, so a probe on the wrong side of
  // a boundary would fall outside it.
  CurveWorkList list;  // even-odd by default
  for (const QuadCurve& c : Polygon({{0, 0}, {0, 4000}, {4000, 4000}, {4000, 0}}))
    EXPECT_NE(list.Add(c), nullptr);
  for (const QuadCurve& c : Polygon({{1000, 1000}, {1000, 3000}, {3000, 3000}, {3000, 1000}}))
    EXPECT_NE(list.Add(c), nullptr);
  ASSERT_EQ(list.FillCoveredRegions(graph_, 2), 0);
  EXPECT_TRUE(GraphIsValid(graph_));
  EXPECT_EQ(FillAt(graph_, 500, 2000), 2);
  EXPECT_EQ(FillAt(graph_, 2000, 3500), 2);
  EXPECT_EQ(FillAt(graph_, 2000, 1500), 0);
  EXPECT_EQ(FillAt(graph_, 2000, 2500), 0);
  EXPECT_EQ(FillAt(graph_, 5000, 2000), 0);
}

// Nested contours alternate, and a self-crossing lasso has its centre
// painted: the pentagram's inner pentagon lies at depth 2.
TEST_F(OutlineTest, PaintRegionsFillsOddNestingLevels) {
  AddContour(graph_, Polygon({{0, 0}, {0, 6000}, {6000, 6000}, {6000, 0}}), 1, 0, 0);
  AddContour(graph_, Polygon({{1000, 1000}, {1000, 5000}, {5000, 5000}, {5000, 1000}}), 1, 0, 0);
  AddContour(graph_, Polygon({{2000, 2000}, {2000, 4000}, {4000, 4000}, {4000, 2000}}), 1, 0, 0);
  ASSERT_EQ(EdgeGraphPaintRegions(graph_, 3, false), 0);
  EXPECT_TRUE(GraphIsValid(graph_));
  EXPECT_EQ(FillAt(graph_, 500, 3000), 3);
  EXPECT_EQ(FillAt(graph_, 1500, 3000), 0);
  EXPECT_EQ(FillAt(graph_, 3000, 3000), 3);

  EdgeGraph& star = other_;
  std::vector<P> points;
  for (int i = 0; i < 5; ++i) {
    const double a = M_PI / 2 + i * 4 * M_PI / 5;
    points.push_back({static_cast<int32_t>(3000 + 2000 * std::cos(a)),
                      static_cast<int32_t>(3000 + 2000 * std::sin(a))});
  }
  AddContour(star, Polygon(points), 0, 0, 0);
  ASSERT_EQ(EdgeGraphPaintRegions(star, kStyleSelected, false), 0);
  EXPECT_TRUE(GraphIsValid(star));
  EXPECT_EQ(FillAt(star, 3000, 3000), kStyleSelected);  // the centre
  EXPECT_EQ(FillAt(star, 3000, 4700), kStyleSelected);  // a point
  EXPECT_EQ(FillAt(star, 6000, 6000), 0);
}

// "Paint inside": a paint stroke across a filled circle, clipped to the
// circle's region, keeps paint only inside the circle.
TEST_F(OutlineTest, PaintInsideAFilledCircle) {
  Region* circle = FilledCircle(other_, 0);
  ASSERT_NE(circle, nullptr);

  AddStripe();
  ASSERT_EQ(StripeFills(), (Fills{2, 2, 2}));
  ASSERT_EQ(EdgeGraphOutlineRegion(graph_, circle), 0);
  EXPECT_FALSE(HasTag(graph_));
  EXPECT_EQ(StripeFills(), (Fills{0, 2, 0}));
  EXPECT_EQ(FillAt(graph_, 2200, 3000), 2);
  EXPECT_EQ(FillAt(graph_, 3000, 3800), 0);
  EXPECT_TRUE(GraphIsValid(other_));
}

TEST_F(OutlineTest, ClipToSelection) {
  EdgeGraph& mask = other_;
  Region* circle = FilledCircle(mask, 1);
  ASSERT_NE(circle, nullptr);

  // Nothing selected in the mask: every fill goes.
  AddStripe();
  ASSERT_EQ(EdgeGraphOutlineGraph(graph_, mask), 0);
  EXPECT_EQ(StripeFills(), (Fills{0, 0, 0}));

  // The circle selected: paint stays inside it only.
  EdgeGraphFreeAll(graph_);
  Reinit();
  AddStripe();
  circle = EdgeGraphFindRegion(mask, {G(3000), G(3000)});
  ASSERT_NE(circle, nullptr);
  ASSERT_EQ(RegionSetSelected(circle, true), 0);
  ASSERT_EQ(EdgeGraphOutlineGraph(graph_, mask), 0);
  EXPECT_TRUE(GraphIsValid(mask));
  EXPECT_EQ(StripeFills(), (Fills{0, 2, 0}));
}

// Clipping to a hole keeps what lies outside it.
TEST_F(OutlineTest, ClipToAHole) {
  EdgeGraph& drawing = other_;
  ASSERT_EQ(AddSquare(drawing, 0, 0, 6000, 6000, 0, 1), 0);
  ASSERT_EQ(AddSquare(drawing, 2000, 2000, 4000, 4000, 0, 0, 1), 0);
  ASSERT_EQ(EdgeGraphUpdate(drawing), 0);
  Region* ring = EdgeGraphFindRegion(drawing, {G(1000), G(3000)});
  ASSERT_NE(ring, nullptr);
  ASSERT_NE(ring->first_child, nullptr);
  Region* hole = ring->first_child;
  ASSERT_FALSE(RegionIsOuter(*hole));

  AddStripe();
  ASSERT_EQ(EdgeGraphOutlineRegion(graph_, hole), 0);
  EXPECT_EQ(StripeFills(), (Fills{2, 0, 2}));
}

TEST_F(OutlineTest, EmptyGraphIsLeftAlone) {
  EdgeGraph& drawing = other_;
  ASSERT_EQ(AddSquare(drawing, 0, 0, 1000, 1000, 0, 1), 0);
  Region* r = EdgeGraphFindRegion(drawing, {G(500), G(500)});
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(EdgeGraphOutlineRegion(graph_, r), 0);
  EXPECT_EQ(graph_.edge_count, 0u);
}

Edge* EdgeAt(const EdgeGraph& g, int32_t x, int32_t y) {
  return EdgeGraphNearestEdge(g, {G(x), G(y)}, G(5), nullptr, nullptr);
}

std::vector<bool> LinesSelected(const EdgeGraph& g, const std::vector<P>& probes) {
  std::vector<bool> out;
  for (const P& p : probes) {
    Edge* e = EdgeAt(g, p.x, p.y);
    out.push_back(e && EdgeHasSelectedLine(*e));
  }
  return out;
}

// Two arcs joined smoothly, then a corner and a straight edge: the chain is
// the two arcs.
TEST_F(OutlineTest, WalkChainFollowsSmoothJoints) {
  ASSERT_EQ(Insert(graph_, Quad(0, 0, 1000, 1000, 2000, 0), 1), 0);
  ASSERT_EQ(Insert(graph_, Quad(2000, 0, 3000, -1000, 4000, 0), 1), 0);
  ASSERT_EQ(Insert(graph_, Line(4000, 0, 4000, 2000), 1), 0);
  ASSERT_EQ(EdgeGraphCleanup(graph_), 0);
  const std::vector<P> probes = {{1000, 500}, {3000, -500}, {4000, 1000}};
  ASSERT_EQ(EdgeWalkChain(graph_, EdgeAt(graph_, 3000, -500), true), 0);
  EXPECT_TRUE(GraphIsClean(graph_));
  EXPECT_EQ(LinesSelected(graph_, probes), (std::vector<bool>{true, true, false}));
  ASSERT_EQ(EdgeWalkChain(graph_, EdgeAt(graph_, 1000, 500), false), 0);
  EXPECT_EQ(LinesSelected(graph_, probes), (std::vector<bool>{false, false, false}));
}

// A lattice of 1,860 edges with one line: the flood takes every one of them
// (its stack grows), but not the edge with another line that touches it.
TEST_F(OutlineTest, SelectConnectedLineFloodsALargeNetwork) {
  constexpr int kCells = 30;
  for (int i = 0; i <= kCells; ++i)
    for (int j = 0; j < kCells; ++j) {
      ASSERT_EQ(Insert(graph_, Line(i * 100, j * 100, i * 100, (j + 1) * 100), 1), 0);
      ASSERT_EQ(Insert(graph_, Line(j * 100, i * 100, (j + 1) * 100, i * 100), 1), 0);
    }
  ASSERT_EQ(Insert(graph_, Line(3000, 3000, 4000, 4000), 2), 0);
  ASSERT_EQ(Insert(graph_, Line(5000, 5000, 6000, 6000), 1), 0);  // same line, not connected
  ASSERT_EQ(EdgeGraphCleanup(graph_), 0);
  ASSERT_EQ(EdgeGraphSelectConnectedLine(graph_, EdgeAt(graph_, 50, 0), true), 0);
  EXPECT_TRUE(GraphIsClean(graph_));
  int selected = 0;
  EdgeGraphForEachEdge(graph_, nullptr,
                       [&](const Edge* e) { selected += EdgeHasSelectedLine(*e); });
  EXPECT_EQ(selected, 2 * kCells * (kCells + 1));
  EXPECT_EQ(LinesSelected(graph_, {{3500, 3500}, {5500, 5500}}), (std::vector<bool>{false, false}));
}

// A run ends at a vertex of three edges and at an edge with another line.
TEST_F(OutlineTest, ApplyLineToRun) {
  ASSERT_EQ(Insert(graph_, Line(0, 0, 1000, 0), 1), 0);
  ASSERT_EQ(Insert(graph_, Line(1000, 0, 2000, 0), 1 | kStyleSelected), 0);
  ASSERT_EQ(Insert(graph_, Line(2000, 0, 3000, 0), 1), 0);
  ASSERT_EQ(Insert(graph_, Line(3000, 0, 4000, 0), 1), 0);
  ASSERT_EQ(Insert(graph_, Line(3000, 0, 3000, 1000), 1), 0);
  ASSERT_EQ(Insert(graph_, Line(-1000, 0, 0, 0), 2), 0);
  ASSERT_EQ(EdgeGraphCleanup(graph_), 0);
  // Line values compare with the selection mark, so the run through the first
  // edge is that edge alone...
  ASSERT_EQ(EdgeApplyLineToRun(graph_, EdgeAt(graph_, 500, 0), 3), 0);
  EXPECT_EQ(EdgeAt(graph_, 500, 0)->line, 3);
  EXPECT_EQ(EdgeAt(graph_, 1500, 0)->line, 1 | kStyleSelected);
  // ...and the third edge's run is itself too (a vertex of three edges ends it).
  ASSERT_EQ(EdgeApplyLineToRun(graph_, EdgeAt(graph_, 2500, 0), 4), 0);
  EXPECT_EQ(EdgeAt(graph_, 2500, 0)->line, 4);
  EXPECT_EQ(EdgeAt(graph_, 3500, 0)->line, 1);
  // Unselected again, the first three edges are not one run: values differ.
  ASSERT_EQ(EdgeApplyLineToRun(graph_, EdgeAt(graph_, 1500, 0), 2), 0);
  EXPECT_EQ(EdgeAt(graph_, 1500, 0)->line, 2 | kStyleSelected);
  EXPECT_EQ(EdgeAt(graph_, -500, 0)->line, 2);
  EXPECT_TRUE(GraphIsClean(graph_));
}

TEST_F(OutlineTest, ApplyLineToClosedRun) {
  ASSERT_EQ(AddSquare(graph_, 0, 0, 1000, 1000, 1, 0), 0);
  ASSERT_EQ(EdgeGraphCleanup(graph_), 0);
  ASSERT_EQ(EdgeApplyLineToRun(graph_, EdgeAt(graph_, 0, 500), 3), 0);
  for (const P& p : std::vector<P>{{0, 500}, {500, 0}, {1000, 500}, {500, 1000}})
    EXPECT_EQ(EdgeAt(graph_, p.x, p.y)->line, 3);
}

TEST_F(OutlineTest, LineStyleApplyAndRead) {
  ASSERT_EQ(Insert(graph_, Line(0, 0, 1000, 0), 1 | kStyleSelected), 0);
  ASSERT_EQ(Insert(graph_, Line(0, 500, 1000, 500), 2), 0);
  LineStyle read;
  ASSERT_EQ(EdgeGraphApplyLineStyle(graph_, 0, read), 0);
  EXPECT_EQ(read.width, 1);  // the selected edge's
  LineStyle style = SolidLine(0xFF00FF00u, 40);
  ASSERT_EQ(EdgeGraphApplyLineStyle(graph_, kStyleApply, style), 0);
  EXPECT_TRUE(GraphIsValid(graph_));
  const Edge* selected = EdgeAt(graph_, 500, 0);
  EXPECT_TRUE(EdgeHasSelectedLine(*selected));
  EXPECT_EQ(StyleIndexOf(selected->line), 5);
  EXPECT_EQ(EdgeAt(graph_, 500, 500)->line, 2);
  ASSERT_EQ(EdgeGraphApplyLineStyle(graph_, kStyleAllEdges, read), 0);
  EXPECT_TRUE(LineStyleEqual(read, style) || read.width == 2);
  ASSERT_EQ(EdgeGraphApplyLineStyle(graph_, kStyleApply | kStyleAllEdges, style), 0);
  EXPECT_EQ(EdgeAt(graph_, 500, 500)->line, 5);
  // Nothing selected: reading gives the all-zero style.
  EdgeGraph& empty = other_;
  ASSERT_EQ(EdgeGraphApplyLineStyle(empty, 0, read), 0);
  EXPECT_EQ(read.width, 0);
  EXPECT_EQ(read.colour, 0u);
}

TEST_F(OutlineTest, FillStyleApplyAndRead) {
  ASSERT_EQ(AddSquare(graph_, 0, 0, 1000, 1000, 0, 1), 0);
  ASSERT_EQ(AddSquare(graph_, 2000, 0, 3000, 1000, 0, 2), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  Region* second = EdgeGraphFindRegion(graph_, {G(2500), G(500)});
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(RegionSetSelected(second, true), 0);
  FillStyle read;
  ASSERT_EQ(EdgeGraphApplyFillStyle(graph_, 0, read), 0);
  EXPECT_EQ(read.colour, 0xFF000002u);
  FillStyle style = SolidFill(0xFF123456u);
  ASSERT_EQ(EdgeGraphApplyFillStyle(graph_, kStyleApply, style), 0);
  EXPECT_TRUE(GraphIsValid(graph_));
  EXPECT_EQ(FillAt(graph_, 2500, 500), 5 | kStyleSelected);
  EXPECT_EQ(FillAt(graph_, 500, 500), 1);
  // No fill for every region.
  FillStyle none;
  ASSERT_EQ(EdgeGraphApplyFillStyle(graph_, kStyleApply | kStyleAllEdges, none), 0);
  EXPECT_EQ(FillAt(graph_, 2500, 500), 0);
  EXPECT_EQ(FillAt(graph_, 500, 500), 0);
  ASSERT_EQ(EdgeGraphApplyFillStyle(graph_, kStyleAllEdges, read), 0);
  EXPECT_EQ(read.colour, 0u);
}

TEST_F(OutlineTest, RegionSelectWithEdgesAndTransformedBounds) {
  ASSERT_EQ(AddSquare(graph_, 0, 0, 6000, 6000, 1, 1), 0);
  ASSERT_EQ(AddSquare(graph_, 2000, 2000, 4000, 4000, 2, 0, 1), 0);
  ASSERT_EQ(AddSquare(graph_, 7000, 0, 8000, 1000, 3, 2), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  Region* ring = EdgeGraphFindRegion(graph_, {G(1000), G(1000)});
  ASSERT_NE(ring, nullptr);
  ASSERT_EQ(RegionSelectWithEdges(ring, true), 0);
  EXPECT_TRUE(GraphIsValid(graph_));
  EXPECT_EQ(LinesSelected(graph_, {{0, 3000}, {2000, 3000}, {7000, 500}}),
            (std::vector<bool>{true, true, false}));
  EXPECT_TRUE(StyleIsSelected(FillAt(graph_, 1000, 1000)));
  EXPECT_FALSE(StyleIsSelected(FillAt(graph_, 7500, 500)));

  Matrix2x3 m;
  MatrixSetScale(m, 2 * kFixedOne, kFixedOne);
  Rect32 b;
  RegionGetTransformedBounds(ring, m, b);
  EXPECT_EQ(b.xmin, 0);
  EXPECT_EQ(b.xmax, 12000);
  EXPECT_EQ(b.ymin, 0);
  EXPECT_EQ(b.ymax, 6000);
}

}  // namespace
}  // namespace graph_test

namespace graph_test {
namespace {

// Memory refused at every point of a clip in turn: the call fails or
// succeeds, the outside tag never stays behind and nothing leaks.
TEST_F(OutlineTest, ClipFailuresLeaveNoTag) {
  Region* circle = FilledCircle(other_, 0);
  ASSERT_NE(circle, nullptr);
  bool succeeded = false;
  for (int allowed = 0; allowed < 400 && !succeeded; ++allowed) {
    EdgeGraphFreeAll(graph_);
    Reinit();
    AddStripe();
    int requests = 0;
    int result;
    {
      RefuseMemory refuse([&](const BlockPool*) { return ++requests > allowed; });
      result = EdgeGraphOutlineRegion(graph_, circle);
    }
    ASSERT_LE(result, 0);
    succeeded = result == 0;
    EXPECT_FALSE(HasTag(graph_)) << "after " << allowed << " requests";
  }
  EXPECT_TRUE(succeeded);
  EXPECT_EQ(StripeFills(), (Fills{0, 2, 0}));
}

}  // namespace
}  // namespace graph_test
