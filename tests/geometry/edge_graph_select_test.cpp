// Selection, lasso, copying, transforming and hit testing of edge graphs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_select.h"
#include "geometry/edge_graph_transform.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "region_util.h"
#include "tests/common/edge_styles.h"

namespace {

using namespace graph_test;

class SelectTest : public GraphTest {
 protected:
  void TearDown() override {
    EdgeGraphFreeAll(graph_);
    EXPECT_EQ(EdgeGraphRegionsInUse(), 0);
    EXPECT_EQ(EdgeGraphFillContextsInUse(), 0);
    GraphTest::TearDown();
  }
  int Lasso(const Rect32& twips) {
    PointList path;
    if (PathFromRect(path, twips) < 0) return -1;
    const int r = EdgeGraphLassoSelect(graph_, path);
    PointListFree(path);
    return r;
  }
  double SelectedArea() {
    double area = 0;
    for (Region* r : OuterRegions(graph_))
      if (RegionIsSelected(*r)) area += FaceArea(r);
    return area;
  }
};

//   +-----+-----+     lasso over the right half of a filled square
//   |     |/////|
//   |  1  |//1*/|
//   +-----+-----+
TEST_F(SelectTest, LassoHalfSquareThenDelete) {
  ASSERT_EQ(AddSquare(graph_, 0, 0, 200, 100, 1, 1), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  ASSERT_EQ(Lasso({100, 300, -50, 150}), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  ASSERT_TRUE(GraphIsClean(graph_));
  EXPECT_EQ(FillAt(graph_, 150, 50), 1 | kStyleSelected) << DescribeRegions(graph_);
  EXPECT_EQ(FillAt(graph_, 50, 50), 1);
  EXPECT_DOUBLE_EQ(SelectedArea(), 100.0 * 100);
  EXPECT_TRUE(EdgeGraphHasSelection(graph_));
  // The lines inside the lasso are selected, those outside are not; the
  // lasso's pieces outside the fill are gone.
  for (const EdgeRecord& e : Edges(graph_)) {
    const bool inside = e.curve.p0.x >= G(100) && e.curve.p2.x >= G(100);
    if (e.line != 0) {
      EXPECT_EQ(StyleIsSelected(e.line), inside) << e;
    }
    EXPECT_LE(e.curve.p2.x, G(200)) << e;
    EXPECT_GE(e.curve.p0.y, 0) << e;
    EXPECT_LE(e.curve.p2.y, G(100)) << e;
  }

  ASSERT_EQ(EdgeGraphDeleteSelected(graph_), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  ASSERT_TRUE(GraphIsClean(graph_));
  EXPECT_FALSE(EdgeGraphHasSelection(graph_));
  EXPECT_EQ(FillAt(graph_, 50, 50), 1);
  EXPECT_EQ(FillAt(graph_, 150, 50), 0);
  // What remains is the left half: its three lines and the cut, which now
  // has fill on one side only.
  const std::vector<EdgeRecord> left = {
      Normalised(Line(0, 0, 0, 100), 1, 1, 0), Normalised(Line(0, 100, 100, 100), 1, 1, 0),
      Normalised(Line(100, 0, 0, 0), 1, 1, 0), Normalised(Line(100, 100, 100, 0), 0, 1, 0)};
  std::vector<EdgeRecord> expected = left;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Edges(graph_), expected) << Describe(Edges(graph_));
}

TEST_F(SelectTest, LassoOverEmptySpaceChangesNothing) {
  ASSERT_EQ(AddSquare(graph_, 0, 0, 100, 100, 1, 1), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  const std::vector<EdgeRecord> before = Edges(graph_);
  ASSERT_EQ(Lasso({300, 400, 300, 400}), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  EXPECT_EQ(Edges(graph_), before);
  EXPECT_FALSE(EdgeGraphHasSelection(graph_));
}

// A lasso round a whole stroke selects its line; one through a hole of a
// ring selects the ring's part only.
TEST_F(SelectTest, LassoSelectsLinesAndSkipsHoles) {
  ASSERT_EQ(Insert(graph_, Line(10, 10, 90, 10), 2), 0);
  ASSERT_EQ(Lasso({0, 100, 0, 100}), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  ASSERT_EQ(graph_.edge_count, 1u);
  EXPECT_EQ(Edges(graph_)[0].line, 2 | kStyleSelected);

  Reinit();
  ASSERT_EQ(AddSquare(graph_, 0, 0, 300, 300, 1, 1), 0);
  ASSERT_EQ(AddSquare(graph_, 100, 100, 200, 200, 1, 0, 1), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  ASSERT_EQ(Lasso({50, 250, 150, 350}), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  ASSERT_TRUE(GraphIsClean(graph_));
  // Lasso (50..250)x(150..350) over the ring less the hole (100..200)^2.
  EXPECT_DOUBLE_EQ(SelectedArea(), 200.0 * 150 - 100.0 * 50);
  EXPECT_EQ(FillAt(graph_, 150, 175), 0);
}

TEST_F(SelectTest, CopySelectedCutsOnlyIntoNonEmptyTarget) {
  ASSERT_EQ(Insert(graph_, Line(0, 0, 100, 100), 1 | kStyleSelected), 0);
  ASSERT_EQ(Insert(graph_, Line(0, 100, 100, 0), 2), 0);  // crosses, unselected
  ASSERT_EQ(Insert(graph_, Line(200, 0, 300, 0), 0, 3 | kStyleSelected, 2), 0);
  EdgeGraph target;
  ASSERT_EQ(EdgeGraphInit(target), 0);
  ASSERT_EQ(EdgeGraphCopySelected(graph_, target), 0);
  // The selected diagonal was cut in two by the crossing one; the copy into
  // an empty graph keeps the pieces as they are, with only selected styles.
  std::vector<EdgeRecord> copied = Edges(target);
  ASSERT_EQ(copied.size(), 3u) << Describe(copied);
  for (const EdgeRecord& e : copied) {
    if (e.curve.p0.y == e.curve.p2.y) {
      EXPECT_EQ(e.line, 0);
      EXPECT_EQ(e.fill_a, 1 | kStyleSelected);  // re-indexed into the new table
      EXPECT_EQ(e.fill_b, 0);
    } else {
      EXPECT_EQ(e.line, 1 | kStyleSelected);
    }
  }
  // Into a graph with an edge across the copy's path, the pieces are cut.
  EdgeGraphFreeAll(target);
  ASSERT_EQ(EdgeGraphInit(target), 0);
  ASSERT_EQ(Insert(target, Line(250, -50, 250, 50)), 0);
  ASSERT_EQ(EdgeGraphCopySelected(graph_, target), 0);
  EXPECT_EQ(target.edge_count, 2u + 2 + 2);
  EXPECT_TRUE(GraphIsValid(target));
  EdgeGraphFreeAll(target);
  // Nothing selected: nothing copied.
  ASSERT_EQ(EdgeGraphSetSelected(graph_, false), 0);
  ASSERT_EQ(EdgeGraphInit(target), 0);
  ASSERT_EQ(EdgeGraphCopySelected(graph_, target), 0);
  EXPECT_EQ(target.edge_count, 0u);
}

TEST_F(SelectTest, SetSelectedMarksLinesAndRegions) {
  ASSERT_EQ(AddSquare(graph_, 0, 0, 100, 100, 1, 2), 0);
  ASSERT_EQ(Insert(graph_, Line(200, 0, 300, 0), 3), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  EXPECT_FALSE(EdgeGraphHasSelection(graph_));
  ASSERT_EQ(EdgeGraphSetSelected(graph_, true), 0);
  EXPECT_TRUE(EdgeGraphHasSelection(graph_));
  for (const EdgeRecord& e : Edges(graph_)) {
    EXPECT_TRUE(StyleIsSelected(e.line)) << e;
    EXPECT_EQ(StyleIsSelected(e.fill_a) || StyleIsSelected(e.fill_b), e.fill_a + e.fill_b != 0)
        << e;
  }
  EXPECT_EQ(FillAt(graph_, 50, 50), 2 | kStyleSelected);
  EdgeGraphForEachVertex(graph_, nullptr,
                         [](const Vertex* v) { EXPECT_TRUE(VertexHasSelectedEdge(*v)); });
  ASSERT_EQ(EdgeGraphSetSelected(graph_, false), 0);
  EXPECT_FALSE(EdgeGraphHasSelection(graph_));
  EXPECT_EQ(FillAt(graph_, 50, 50), 2);
}

// A mirror turns every edge's sides over; once reinserted the fills swap, so
// they stay on the same visual side. A shear with a negative determinant
// mirrors although a and d have the same sign.
TEST_F(SelectTest, MirrorTransformKeepsFillsInside) {
  struct Case {
    const char* name;
    Matrix2x3 m;
  } cases[] = {
      {"flip x", {-kFixedOne, 0, 0, kFixedOne, 1000, 0}},
      {"flip y", {kFixedOne, 0, 0, -kFixedOne, 0, 1000}},
      {"sheared mirror", {kFixedOne, 2 * kFixedOne, kFixedOne, kFixedOne, 0, 0}},
      {"rotation", {0, kFixedOne, -kFixedOne, 0, 500, 0}},
      {"shear", {kFixedOne, 0, kFixedOne / 2, kFixedOne, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reinit();
    ASSERT_EQ(AddSquare(graph_, 100, 100, 200, 200, 1, 1), 0);
    ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
    ASSERT_EQ(EdgeGraphTransform(graph_, c.m), 0);
    EXPECT_TRUE(graph_.flags & kGraphMovedEdges);
    ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
    ASSERT_TRUE(GraphIsClean(graph_));
    Point32 inside, outside;
    MatrixTransformPoint(c.m, {150, 150}, inside);
    MatrixTransformPoint(c.m, {250, 150}, outside);
    EXPECT_EQ(FillAt(graph_, inside.x, inside.y), 1) << DescribeRegions(graph_);
    EXPECT_EQ(FillAt(graph_, outside.x, outside.y), 0);
    const std::vector<Region*> outer = OuterRegions(graph_);
    ASSERT_EQ(outer.size(), 1u);
    const double det = double(c.m.a) * c.m.d - double(c.m.b) * c.m.c;
    EXPECT_NEAR(FaceArea(outer[0]), 100.0 * 100 * std::fabs(det) / 65536.0 / 65536.0, 1.0);
  }
  EXPECT_TRUE(MatrixMirrors({kFixedOne, 2 * kFixedOne, kFixedOne, kFixedOne, 0, 0}));
  EXPECT_FALSE(MatrixMirrors({kFixedOne, -kFixedOne, kFixedOne, kFixedOne, 0, 0}));
}

TEST_F(SelectTest, TransformMovesGradientPlacement) {
  FillStyle gradient = SolidFill(0xFF0000FF);
  gradient.kind = kGradientLinear;
  gradient.gradient.count = 2;
  gradient.gradient.ratios[1] = 255;
  const int g = EdgeGraphAddFillStyle(graph_, gradient);
  ASSERT_GT(g, 0);
  ASSERT_EQ(AddSquare(graph_, 0, 0, 100, 100, 1, static_cast<StyleIndex>(g) | kStyleSelected), 0);
  ASSERT_EQ(AddSquare(graph_, 200, 0, 300, 100, 1, 1), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  const uint16_t fills_before = graph_.fill_count;
  ASSERT_EQ(EdgeGraphTransform(graph_, {kFixedOne, 0, 0, kFixedOne, 10, 20}), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  // One new entry for the gradient; the solid fill is left as it is.
  EXPECT_EQ(graph_.fill_count, fills_before + 1);
  const StyleIndex moved = FillAt(graph_, 60, 70);
  EXPECT_EQ(moved, (fills_before + 1) | kStyleSelected);
  FillStyle placed;
  EdgeGraphGetFillStyle(graph_, moved, placed);
  // A fill's matrix places it in twips, so it moves by the twips of the
  // transform (not by the graph units of the edges).
  EXPECT_EQ(placed.matrix.tx, 10);
  EXPECT_EQ(placed.matrix.ty, 20);
  EXPECT_EQ(FillAt(graph_, 260, 70), 1);
}

TEST_F(SelectTest, CopyRegionCopiesSubtreeOnce) {
  ASSERT_EQ(AddSquare(graph_, 0, 0, 300, 300, 1, 1), 0);
  ASSERT_EQ(AddSquare(graph_, 100, 100, 200, 200, 2, 0, 1), 0);
  ASSERT_EQ(AddSquare(graph_, 400, 0, 500, 100, 3, 3), 0);  // not below the region
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  Region* ring = EdgeGraphFindRegion(graph_, {G(50), G(50)});
  ASSERT_NE(ring, nullptr);
  EdgeGraph target;
  ASSERT_EQ(EdgeGraphInit(target), 0);
  ASSERT_EQ(EdgeGraphCopyRegion(ring, target), 0);
  EXPECT_EQ(target.edge_count, 8u);
  ASSERT_EQ(EdgeGraphUpdate(target), 0);
  EXPECT_TRUE(GraphIsClean(target));
  EXPECT_EQ(FillAt(target, 50, 50), 1);
  EXPECT_EQ(FillAt(target, 150, 150), 0);
  EdgeGraphFreeAll(target);
}

// ---- Hit testing ------------------------------------------------------------------

class HitTest : public SelectTest {
 protected:
  EdgeHitRecord Probe(int32_t x, int32_t y, int32_t radius = 3, bool ignore_widths = false) {
    EdgeHitRecord hit;
    hit.point = {x, y};
    hit.radius = radius;
    hit.ignore_widths = ignore_widths;
    EXPECT_EQ(EdgeGraphHitTest(graph_, hit), 0);
    return hit;
  }
  // Line index of a new style of the given width (twips) and colour.
  StyleIndex AddLine(int16_t width, uint32_t colour) {
    LineStyle l = SolidLine(colour, width);
    return static_cast<StyleIndex>(EdgeGraphAddLineStyle(graph_, l));
  }
};

// Two parallel strokes 10 twips apart, each wide enough to cover the probe
// between them: the one drawn last wins.
TEST_F(HitTest, CoveringStrokesByDrawOrder) {
  struct Case {
    const char* name;
    int16_t w1;
    bool sel1;
    int16_t w2;
    bool sel2;
    int winner;  // 1 or 2
  } cases[] = {
      {"wider beats thinner", 40, false, 60, false, 2},
      {"wider beats thinner, other order", 60, false, 40, false, 1},
      {"selected beats unselected", 60, false, 40, true, 2},
      {"selected beats wider", 40, true, 200, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reinit();
    const StyleIndex l1 = AddLine(c.w1, 0xFF000010);
    const StyleIndex l2 = AddLine(c.w2, 0xFF000020);
    ASSERT_EQ(Insert(graph_, Line(0, 0, 200, 0), l1 | (c.sel1 ? kStyleSelected : 0)), 0);
    ASSERT_EQ(Insert(graph_, Line(0, 10, 200, 10), l2 | (c.sel2 ? kStyleSelected : 0)), 0);
    const EdgeHitRecord hit = Probe(100, 4);
    ASSERT_NE(hit.edge, nullptr);
    EXPECT_EQ(hit.edge->curve.p0.y, c.winner == 1 ? 0 : G(10));
    EXPECT_EQ(hit.vertex, nullptr);
    // Without widths the nearer one wins.
    const EdgeHitRecord plain = Probe(100, 4, 5, true);
    ASSERT_NE(plain.edge, nullptr);
    EXPECT_EQ(plain.edge->curve.p0.y, 0);
  }
  EXPECT_GT(ColorPack15({0, 0, 0, 1, 0, {}}, true),
            ColorPack15({0, 0, 0x00FFFFFF, 1000, 0, {}}, false));
  EXPECT_EQ(ColorPack15({0, 0, 0x00F8F8F8, 2, 0, {}}, false),
            2u * 32768 + 31 * 1024 + 31 * 32 + 31);
}

TEST_F(HitTest, VerticesEdgesAndSmoothJoints) {
  const StyleIndex thin = AddLine(1, 0xFF000000);
  // A corner, and two curves meeting smoothly at (200,0).
  ASSERT_EQ(Insert(graph_, Line(0, 0, 100, 0), thin), 0);
  ASSERT_EQ(Insert(graph_, Line(100, 0, 100, 100), thin), 0);
  ASSERT_EQ(Insert(graph_, Quad(150, -50, 175, 0, 200, 0), thin), 0);
  ASSERT_EQ(Insert(graph_, Quad(200, 0, 225, 0, 250, 50), thin), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);

  const EdgeHitRecord corner = Probe(101, 1);
  ASSERT_NE(corner.vertex, nullptr);
  EXPECT_EQ(corner.vertex->position, (Point32{G(100), 0}));
  EXPECT_NE(corner.edge, nullptr);

  const EdgeHitRecord mid = Probe(50, 1);
  ASSERT_NE(mid.edge, nullptr);
  EXPECT_EQ(mid.vertex, nullptr);

  const EdgeHitRecord smooth = Probe(200, 1);
  ASSERT_NE(smooth.edge, nullptr);
  EXPECT_EQ(smooth.vertex, nullptr);

  const EdgeHitRecord miss = Probe(50, 50);
  EXPECT_EQ(miss.edge, nullptr);
  EXPECT_EQ(miss.vertex, nullptr);
  EXPECT_EQ(miss.region, nullptr);
}

// Probes inside each hole of a filled square, next to the hole's edge: the
// hit edge's filled side is the hole, which stands for the square's region,
// also for the second and later holes (only the first child carries the
// parent link).
TEST_F(HitTest, NextToEveryHoleFindsTheRegion) {
  ASSERT_EQ(AddSquare(graph_, 0, 0, 1000, 200, 1, 2), 0);
  for (int x : {100, 400, 700}) ASSERT_EQ(AddSquare(graph_, x, 50, x + 200, 150, 1, 0, 2), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  Region* square = EdgeGraphFindRegion(graph_, {G(50), G(20)});
  ASSERT_NE(square, nullptr);
  for (int x : {100, 400, 700}) {
    SCOPED_TRACE(x);
    const EdgeHitRecord inside_hole = Probe(x + 100, 148);
    ASSERT_NE(inside_hole.edge, nullptr);
    EXPECT_EQ(inside_hole.region, square);
    const EdgeHitRecord in_fill = Probe(x + 100, 170);
    EXPECT_EQ(in_fill.region, square);
    const EdgeHitRecord far_in_hole = Probe(x + 100, 100);
    EXPECT_EQ(far_in_hole.region, nullptr);
  }
}

}  // namespace
