// The bucket's geometry without a window: which points lie inside filled
// edges, and the gap closing's deadline.
#include "view/core/paint_bucket.h"

#include <gtest/gtest.h>

#include <vector>

#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_update.h"
#include "tests/common/edge_styles.h"
#include "tests/geometry/region_util.h"

namespace {

using graph_test::AddPolygon;
using graph_test::AddSquare;
using graph_test::G;
using graph_test::P;

class PaintBucketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(EdgeGraphInit(graph), 0);
    line = static_cast<StyleIndex>(EdgeGraphAddLineStyle(graph, SolidLine(0xFF000000, 20)));
    fill = static_cast<StyleIndex>(EdgeGraphAddFillStyle(graph, SolidFill(0xFF0000FF)));
    RectSetHuge(everywhere);
  }
  // An open outline of lines (twips).
  void AddOpen(const std::vector<P>& points) {
    ASSERT_EQ(AddPolygon(graph, points, line, 0, 0, false), 0);
  }
  int Close(int32_t gapTwips, GapClosingResult* result = nullptr) {
    EXPECT_EQ(EdgeGraphUpdate(graph), 0);
    GapClosingResult local;
    GapClosingResult& r = result != nullptr ? *result : local;
    EXPECT_EQ(CloseFillGaps(
                  graph, nullptr, G(gapTwips), everywhere, [&] { return clock; }, &r),
              0);
    return r.segments;
  }
  Region* RegionAt(int32_t x, int32_t y) { return EdgeGraphFindRegion(graph, {G(x), G(y)}); }

  EdgeGraph graph;
  StyleIndex line = 0;
  StyleIndex fill = 0;
  Rect32 everywhere;
  uint32_t clock = 5000;
};

TEST_F(PaintBucketTest, PointInsideFilledEdges) {
  ASSERT_EQ(AddSquare(graph, 0, 0, 1000, 1000, 0, fill), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph), 0);
  Region* any = RegionAt(500, 500);
  ASSERT_NE(any, nullptr);
  struct Case {
    P point;
    bool with_region;
    bool inside;
  } cases[] = {
      // Without a region, the count starts at one: outside the fills is inside.
      {{500, 500}, false, false}, {{1500, 500}, false, true}, {{500, 500}, true, true},
      {{1500, 500}, true, false}, {{-500, 500}, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.point.x << "," << c.point.y << " " << c.with_region);
    EXPECT_EQ(
        PointInsideFilledEdges(graph, {G(c.point.x), G(c.point.y)}, c.with_region ? any : nullptr),
        c.inside);
  }
}

// Three open outlines far apart; the clock passes the deadline while the
// first is examined: the others are left as they are.
TEST_F(PaintBucketTest, TheDeadlineStopsBeforeTheNextRegion) {
  for (int i = 0; i < 3; ++i)
    AddOpen({{400 + 3000 * i, 0},
             {3000 * i, 0},
             {3000 * i, 1000},
             {1000 + 3000 * i, 1000},
             {1000 + 3000 * i, 0},
             {460 + 3000 * i, 0}});
  ASSERT_EQ(EdgeGraphUpdate(graph), 0);
  int calls = 0;
  GapClosingResult r;
  ASSERT_EQ(CloseFillGaps(
                graph, nullptr, G(100), everywhere,
                [&] { return 1000u + 13000u * static_cast<uint32_t>(calls++); }, &r),
            0);
  EXPECT_TRUE(r.deadline_hit);
  EXPECT_EQ(r.examined, 1);
  EXPECT_EQ(r.skipped, 2);
  EXPECT_EQ(r.segments, 1);
  // Within the time every outline is closed.
  EXPECT_EQ(Close(100, &r), 2);
  EXPECT_FALSE(r.deadline_hit);
}

}  // namespace
