// Merging graphs: fill contexts, and which side's lines and fills win in each
// mode.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <vector>

#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_update.h"
#include "region_util.h"

namespace {

using namespace graph_test;

class MergeTest : public GraphTest {
 protected:
  void SetUp() override {
    GraphTest::SetUp();
    ASSERT_EQ(EdgeGraphInit(source_), 0);
    AddStyles(source_);
  }
  void TearDown() override {
    EdgeGraphFreeAll(source_);
    EdgeGraphFreeAll(graph_);
    EXPECT_EQ(EdgeGraphRegionsInUse(), 0);
    GraphTest::TearDown();
  }
  void ResetBoth() {
    Reinit();
    ASSERT_EQ(EdgeGraphInit(source_), 0);
    AddStyles(source_);
  }
  int MergeAndUpdate(int mode) {
    if (int r = EdgeGraphMerge(source_, graph_, mode); r < 0) return r;
    return EdgeGraphUpdate(graph_);
  }
  EdgeGraph source_;
};

TEST_F(MergeTest, IntoEmptyGraphCopiesEdgesUncut) {
  // Two crossing strokes in a graph they never met in: linked as they are.
  ASSERT_EQ(Insert(source_, Line(0, 0, 100, 100), 2), 0);
  ASSERT_EQ(Insert(source_, Line(200, 0, 300, 100), 3), 0);
  // The target's tables differ: styles are re-indexed.
  EdgeGraphFreeAll(graph_);
  ASSERT_EQ(EdgeGraphInit(graph_), 0);
  LineStyle l;
  EdgeGraphGetLineStyle(source_, 3, l);
  ASSERT_EQ(EdgeGraphAddLineStyle(graph_, l), 1);
  ASSERT_EQ(EdgeGraphMerge(source_, graph_, 0), 0);
  EXPECT_EQ(graph_.edge_count, 2u);
  EXPECT_EQ(graph_.line_count, 2);
  const std::vector<EdgeRecord> edges = Edges(graph_);
  ASSERT_EQ(edges.size(), 2u);
  EXPECT_EQ(edges[0].line, 2);  // appended after the one already there
  EXPECT_EQ(edges[1].line, 1);
  EXPECT_EQ(graph_.fill_contexts, nullptr);
}

// A filled square in the target, another square overlapping it from the
// source:
//
//   target  +-----------+          fill 1 on (0..200)^2
//           |     +-----+-----+    source fill 2 on (100..300)x(50..150)
//           |     | ov  |     |
//           |     +-----+-----+
//           +-----------+
TEST_F(MergeTest, OverlapTakesTheWinningFill) {
  struct Case {
    int mode;
    StyleIndex overlap;
    StyleIndex target_only;
    StyleIndex source_only;
  } cases[] = {
      {0, 1, 1, 2},  // the target's fills win
      {1, 1, 1, 2},
      {2, 2, 1, 2},  // the source's fills win
      {3, 2, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode);
    ResetBoth();
    ASSERT_EQ(AddSquare(graph_, 0, 0, 200, 200, 1, 1), 0);
    ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
    ASSERT_EQ(AddSquare(source_, 100, 50, 300, 150, 2, 2), 0);
    ASSERT_EQ(EdgeGraphUpdate(source_), 0);
    ASSERT_EQ(MergeAndUpdate(c.mode), 0);
    ASSERT_TRUE(GraphIsClean(graph_));
    EXPECT_EQ(FillAt(graph_, 150, 100), c.overlap) << DescribeRegions(graph_);
    EXPECT_EQ(FillAt(graph_, 50, 100), c.target_only);
    EXPECT_EQ(FillAt(graph_, 150, 20), c.target_only);
    EXPECT_EQ(FillAt(graph_, 250, 100), c.source_only);
    EXPECT_EQ(FillAt(graph_, 350, 100), 0);
    EXPECT_EQ(graph_.fill_contexts, nullptr);
  }
}

// A stroke (line, no fill) across a filled square: the square is cut in two
// and both halves stay filled; inside the fill the stroke's line survives
// only when the source's lines win.
TEST_F(MergeTest, StrokeAcrossFill) {
  struct Case {
    int mode;
    bool line_kept;
  } cases[] = {{0, false}, {1, true}, {2, false}, {3, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode);
    ResetBoth();
    ASSERT_EQ(AddSquare(graph_, 0, 0, 200, 200, 0, 1), 0);
    ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
    ASSERT_EQ(Insert(source_, Line(-50, 100, 250, 100), 2), 0);
    ASSERT_EQ(MergeAndUpdate(c.mode), 0);
    ASSERT_TRUE(GraphIsClean(graph_));
    EXPECT_EQ(FillAt(graph_, 100, 50), 1);
    EXPECT_EQ(FillAt(graph_, 100, 150), 1);
    bool inner_line = false, outer_line = false;
    for (const EdgeRecord& e : Edges(graph_))
      if (e.curve.p0.y == G(100) && e.curve.p2.y == G(100)) {
        if (e.curve.p0.x == 0 && e.curve.p2.x == G(200)) inner_line = e.line == 2;
        if (e.curve.p2.x == 0 || e.curve.p0.x == G(200)) outer_line |= e.line == 2;
      }
    EXPECT_EQ(inner_line, c.line_kept) << Describe(Edges(graph_));
    if (c.line_kept) {
      EXPECT_TRUE(outer_line);
    }
  }
}

TEST_F(MergeTest, FillContextsNestByDepth) {
  //  fill 1 ring around a hole holding a fill 2 square
  ASSERT_EQ(AddSquare(graph_, 0, 0, 400, 400, 1, 1), 0);
  ASSERT_EQ(AddSquare(graph_, 100, 100, 300, 300, 1, 0, 1), 0);
  ASSERT_EQ(AddSquare(graph_, 150, 150, 250, 250, 1, 2, 0), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  {
    FillContextScope scope(graph_);
    ASSERT_EQ(EdgeGraphBuildFillContexts(graph_), 0);
    struct Probe {
      int32_t x, y;
      int32_t depth;
      StyleIndex fill;
    } probes[] = {{50, 200, 1, 1}, {120, 200, 2, 0}, {200, 200, 3, 2}, {500, 200, 0, 0}};
    for (const Probe& p : probes) {
      const FillContext* c = EdgeGraphFindFillContext(graph_, {G(p.x), G(p.y) + 7});
      if (p.depth == 0) {
        EXPECT_EQ(c, nullptr) << p.x;
        continue;
      }
      ASSERT_NE(c, nullptr) << p.x;
      EXPECT_EQ(c->depth, p.depth) << p.x;
      EXPECT_EQ(c->fill, p.fill) << p.x;
    }
  }
  EXPECT_EQ(graph_.fill_contexts, nullptr);
  EdgeGraphForEachEdge(graph_, nullptr, [](const Edge* e) {
    EXPECT_EQ(e->a.fill_context, nullptr);
    EXPECT_EQ(e->b.fill_context, nullptr);
  });
}

// The ray that stops at the nearest crossing answers as the count of the
// whole ray: on random nested squares and curves, at random points, at points
// level with vertices (where the nearest crossing is an end and cannot
// decide) and at the midpoints of strokes inserted after the contexts were
// made, as merging asks.
TEST_F(MergeTest, NearestCrossingAnswersAsTheWholeRay) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(0, 4000), size(40, 2500), fill(0, 3), bulge(-300, 300);
  int probes = 0, inside = 0;
  for (int round = 0; round < 6; ++round) {
    Reinit();
    for (int i = 0; i < 25; ++i) {
      const int x = coord(rng), y = coord(rng), s = size(rng);
      ASSERT_EQ(AddSquare(graph_, x, y, x + s, y + s, 1, static_cast<StyleIndex>(fill(rng)),
                          static_cast<StyleIndex>(fill(rng))),
                0);
    }
    for (int i = 0; i < 10; ++i) {
      const int x0 = coord(rng), y0 = coord(rng), x1 = coord(rng), y1 = coord(rng);
      ASSERT_EQ(Insert(graph_,
                       Quad(x0, y0, (x0 + x1) / 2 + bulge(rng), (y0 + y1) / 2 + bulge(rng), x1, y1),
                       2, static_cast<StyleIndex>(fill(rng)), static_cast<StyleIndex>(fill(rng))),
                0);
    }
    ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
    FillContextScope scope(graph_);
    ASSERT_EQ(EdgeGraphBuildFillContexts(graph_), 0);
    // A stroke without contexts, as a merge inserts it.
    const uint32_t stamp = EdgeGraphNextStamp();
    for (int i = 0; i < 6; ++i) {
      Edge* e = nullptr;
      ASSERT_EQ(
          EdgeGraphNewEdge(
              Quad(coord(rng), coord(rng), coord(rng), coord(rng), coord(rng), coord(rng)), &e),
          0);
      e->line = 2;
      ASSERT_EQ(EdgeGraphInsertEdge(graph_, e, stamp, 3), 0);
    }
    std::vector<Point32> points;
    for (int i = 0; i < 300; ++i) points.push_back({G(coord(rng)) + 3, G(coord(rng)) + 5});
    EdgeGraphForEachVertex(graph_, nullptr, [&](const Vertex* v) {
      points.push_back({v->position.x - G(1), v->position.y});
    });
    EdgeGraphForEachEdge(graph_, nullptr, [&](const Edge* e) {
      if (e->a.visit != stamp || e->a.fill_context) return;
      Point32 mid;
      CurvePointAt(e->curve, kFixedHalf, mid);
      points.push_back(mid);
    });
    for (const Point32& p : points) {
      const FillContext* fast = EdgeGraphFindFillContext(graph_, p);
      ASSERT_EQ(fast, EdgeGraphCountFillContext(graph_, p))
          << "round " << round << " at " << p.x << "," << p.y;
      ++probes;
      inside += fast != nullptr;
    }
  }
  // Most probes lie inside some square: the answers are not all "none".
  EXPECT_GT(inside, probes / 3);
}

// The change callback runs into the undo machinery and may throw: the fill
// contexts must not outlive the merge.
TEST_F(MergeTest, ExceptionFromChangeCallbackReleasesContexts) {
  ASSERT_EQ(AddSquare(graph_, 0, 0, 200, 200, 1, 1), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph_), 0);
  Rect32 out;
  EdgeGraphEndChange(graph_, out);
  graph_.change_callback = [](EdgeGraph&, void*) { throw std::runtime_error("undo refused"); };
  ASSERT_EQ(Insert(source_, Line(-50, 100, 250, 100), 2), 0);
  EXPECT_THROW(static_cast<void>(EdgeGraphMerge(source_, graph_, 3)), std::runtime_error);
  EXPECT_EQ(graph_.fill_contexts, nullptr);
  EXPECT_EQ(EdgeGraphFillContextsInUse(), 0);
  EdgeGraphForEachEdge(graph_, nullptr, [](const Edge* e) {
    EXPECT_EQ(e->a.fill_context, nullptr);
    EXPECT_EQ(e->b.fill_context, nullptr);
  });
  // The insertion released the edge records it had in hand when the
  // exception passed: freeing both graphs leaves none.
  EdgeGraphFreeAll(source_);
  EdgeGraphFreeAll(graph_);
  EXPECT_EQ(EdgeGraphEdgesInUse(), 0);
  EdgeGraphResetGlobals();
}

}  // namespace
