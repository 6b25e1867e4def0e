// Edge records, linking, unlinking, touching and the change bookkeeping.
#include <gtest/gtest.h>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_region.h"
#include "graph_invariants.h"
#include "tests/common/edge_styles.h"

namespace {

using namespace graph_test;

struct Changes {
  int calls = 0;
};

void CountChange(EdgeGraph&, void* arg) {
  ++static_cast<Changes*>(arg)->calls;
}

class EdgeLinkTest : public GraphTest {
 protected:
  Edge* Make(const QuadCurve& c, StyleIndex line = 0) {
    Edge* e = nullptr;
    EXPECT_EQ(EdgeGraphNewEdge(c, &e), 0);
    e->line = line;
    return e;
  }
};

TEST_F(EdgeLinkTest, NewEdgeIsZeroedWithSideBMarked) {
  Edge* e = Make(Line(0, 0, 10, 0));
  EXPECT_FALSE(EdgeIsLinked(*e));
  EXPECT_EQ(e->a.flags, 0);
  EXPECT_EQ(e->b.flags, kHalfSideB);
  EXPECT_EQ(HalfEdgeTwin(&e->a), &e->b);
  EXPECT_EQ(HalfEdgeTwin(&e->b), &e->a);
  QuadCurve c;
  EdgeGetCurve(&e->b, c);
  EXPECT_EQ(c.p0, e->curve.p2);
  EXPECT_EQ(c.p2, e->curve.p0);
  EdgeGraphFreeEdgeRecord(e);
}

TEST_F(EdgeLinkTest, LinkSharesVerticesAndUnlinkLeavesThemEmpty) {
  Edge* e1 = Make(Line(0, 0, 10, 0));
  Edge* e2 = Make(Line(10, 0, 10, 10));
  Edge* e3 = Make(Line(10, 10, 0, 0));
  for (Edge* e : {e1, e2, e3}) ASSERT_EQ(EdgeGraphLinkEdge(graph_, e), 0);
  EXPECT_EQ(graph_.edge_count, 3u);
  EXPECT_EQ(EdgeGraphVerticesInUse(), 3);
  EXPECT_EQ(e1->b.vertex, e2->a.vertex);
  EXPECT_EQ(e3->b.vertex, e1->a.vertex);
  EXPECT_EQ(RingSize(e1->a.vertex), 2);
  EXPECT_EQ(e1->birth, graph_.generation);
  EXPECT_TRUE(GraphIsValid(graph_));

  ASSERT_EQ(EdgeGraphDeleteEdge(graph_, e2), 0);
  EXPECT_EQ(graph_.edge_count, 2u);
  EXPECT_EQ(RingSize(e1->b.vertex), 1);
  EXPECT_TRUE(GraphIsValid(graph_));
  // Unlinking an edge that is not linked does nothing.
  Edge* loose = Make(Line(0, 0, 5, 5));
  EXPECT_EQ(EdgeGraphUnlinkEdge(graph_, loose), 0);
  EXPECT_EQ(graph_.edge_count, 2u);
  EdgeGraphFreeEdgeRecord(loose);

  // The vertex at (10,10) has only e3 left; (10,0) keeps e1's end.
  ASSERT_EQ(EdgeGraphDeleteEdge(graph_, e3), 0);
  EdgeGraphFreeEmptyVertices(graph_);
  EXPECT_EQ(EdgeGraphVerticesInUse(), 2);
  EXPECT_TRUE(GraphIsValid(graph_));
}

TEST_F(EdgeLinkTest, ChangeOpensOnceAndEndChangeReportsTouchedStrokes) {
  Changes changes;
  graph_.change_callback = CountChange;
  graph_.change_arg = &changes;
  LineStyle wide = SolidLine(0xFF000000, 40);  // half-width 20 twips
  const StyleIndex line = static_cast<StyleIndex>(EdgeGraphAddLineStyle(graph_, wide));

  Edge* e = Make(Line(100, 100, 200, 100), line);
  ASSERT_EQ(EdgeGraphLinkEdge(graph_, e), 0);
  ASSERT_EQ(EdgeGraphLinkEdge(graph_, Make(Line(300, 300, 400, 300))), 0);
  EXPECT_EQ(changes.calls, 1);
  EXPECT_TRUE(graph_.flags & kGraphChanging);
  const Rect32 linked = {G(100), G(400), G(100), G(300)};
  EXPECT_EQ(graph_.changed, linked);
  EXPECT_EQ(graph_.rebuild, linked);
  EXPECT_TRUE(graph_.redraw.IsEmpty());  // linking alone draws through the change area

  Rect32 out;
  EdgeGraphEndChange(graph_, out);
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(graph_.generation, 2);
  EXPECT_FALSE(graph_.flags & kGraphChanging);

  // Touching twice in one change opens it and marks the edge once.
  graph_.flags |= kGraphHasSelection | kGraphSelectionValid;
  ASSERT_EQ(EdgeGraphTouchEdge(graph_, e), 0);
  ASSERT_EQ(EdgeGraphTouchEdge(graph_, e), 0);
  EXPECT_EQ(changes.calls, 2);
  EXPECT_FALSE(graph_.flags & (kGraphHasSelection | kGraphSelectionValid));
  EXPECT_TRUE(e->flags & kEdgeTouched);
  EdgeGraphEndChange(graph_, out);
  EXPECT_FALSE(e->flags & kEdgeTouched);
  // Stroked bounds in twips: the line grown by its half-width of 20.
  EXPECT_EQ(out, (Rect32{80, 220, 80, 120}));
  EXPECT_EQ(graph_.generation, 3);

  // Unlinking reports the stroke it removes.
  ASSERT_EQ(EdgeGraphDeleteEdge(graph_, e), 0);
  EdgeGraphEndChange(graph_, out);
  EXPECT_EQ(out, (Rect32{80, 220, 80, 120}));
  EXPECT_EQ(changes.calls, 3);
  EXPECT_TRUE(GraphIsValid(graph_));
}

TEST_F(EdgeLinkTest, GenerationSkipsZeroWhenItWraps) {
  graph_.generation = 0xFFFF;
  Rect32 out;
  EdgeGraphEndChange(graph_, out);
  EXPECT_EQ(graph_.generation, 1);
}

TEST_F(EdgeLinkTest, CrowdedCellsSplitAndKeepEveryEdgeFiled) {
  // Short parallel strokes in one small area: more than 8 in a cell at the
  // depth limit makes it split further.
  for (int i = 0; i < 40; ++i)
    ASSERT_EQ(EdgeGraphLinkEdge(graph_, Make(Line(1000 + 2 * i, 1000, 1000 + 2 * i, 1001))), 0);
  // Cells at the depth limit (level 5, the root being level 1) are 1/16 of
  // the root's width; edges now sit in narrower ones.
  const int32_t limit_width = (kEdgeGraphDefaultBounds.xmax - kEdgeGraphDefaultBounds.xmin) / 16;
  int deeper = 0;
  EdgeIter it;
  EdgeIterInit(it, graph_.grid, 0, nullptr);
  while (GridIterAdvance(it))
    if (it.cell->bounds.xmax - it.cell->bounds.xmin < limit_width / 2) ++deeper;
  EXPECT_GT(deeper, 1);
  EXPECT_TRUE(GraphIsValid(graph_));
  int found = 0;
  const Rect32 probe = {G(1010), G(1011), G(1000), G(1001)};
  EdgeGraphForEachEdge(graph_, &probe, [&](Edge* e) {
    Rect32 b;
    CurveGetBounds(e->curve, b);
    if (RectsOverlap(b, probe)) ++found;
  });
  EXPECT_EQ(found, 1);
}

// The reset leaves what the edge graph keeps between calls as a fresh
// process has it.
TEST(EdgeGraphGlobals, ResetRestoresEveryDefault) {
  EdgeGraphResetGlobals();
  const uint32_t first_stamp = EdgeGraphNextStamp();
  const int default_guard = EdgeGraphSetSplitGuard(0);
  EXPECT_EQ(EdgeGraphSetRegionIndexMode(kRegionIndexAlways), kRegionIndexBySize);
  EdgeGraphResetGlobals();
  EXPECT_EQ(EdgeGraphNextStamp(), first_stamp);
  EXPECT_EQ(EdgeGraphSetSplitGuard(default_guard), default_guard);
  EXPECT_EQ(EdgeGraphSetRegionIndexMode(kRegionIndexBySize), kRegionIndexBySize);
  EXPECT_EQ(EdgeGraphUnsplitCount(), 0);
}

}  // namespace
