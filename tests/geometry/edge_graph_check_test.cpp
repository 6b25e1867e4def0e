// The invariant check's crossing tests, on edges linked as they are (not
// inserted), so that the check alone decides what crosses.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_check.h"
#include "graph_invariants.h"

namespace {

using namespace graph_test;

QuadCurve Units(Point32 p0, Point32 control, Point32 p2) {
  QuadCurve c;
  CurveSet(p0, control, p2, c);
  return c;
}

class CheckTest : public GraphTest {
 protected:
  void Link(const QuadCurve& c, uint16_t flags = 0) {
    Edge* e = nullptr;
    ASSERT_EQ(EdgeGraphNewEdge(c, &e), 0);
    e->flags = flags;
    ASSERT_EQ(EdgeGraphLinkEdge(graph_, e), 0);
  }
};

int Count(const std::vector<std::string>& problems, bool flattened) {
  return static_cast<int>(std::count_if(problems.begin(), problems.end(), [&](const auto& p) {
    return (p.find("(flattened)") != std::string::npos) == flattened;
  }));
}

// Each pair is reported by the intersection search and, on its own, by the
// test on flattened curves; pairs that only touch at a shared end, or run
// close without meeting, by neither.
TEST_F(CheckTest, BothCrossingTestsFindWhatCrosses) {
  struct Case {
    const char* name;
    QuadCurve a, b;
    bool crosses;
  };
  const Case cases[] = {
      {"straight X", Line(0, 0, 100, 100), Line(0, 100, 100, 0), true},
      {"crossing on a joint of the intersection search's pieces",
       Units({51712, 63744}, {54914, 70948}, {58496, 76416}),
       Units({52864, 75648}, {52608, 67108}, {52736, 60928}), true},
      {"curve crossing a line twice", Quad(0, 0, 50, 100, 100, 0), Line(0, 20, 100, 20), true},
      {"stem passing through a bar", Line(0, 0, 100, 0), Line(50, -1, 50, 60), true},
      {"V at a shared end", Line(0, 0, 100, 100), Line(0, 0, 100, 90), false},
      {"curves leaving a shared end almost tangent", Units({0, 0}, {128000, 0}, {256000, 2560}),
       Units({0, 0}, {128000, 640}, {256000, 12800}), false},
      {"parallel lines half a twip apart", Line(0, 0, 4000, 0),
       Units({0, 128}, {512000, 128}, {1024000, 128}), false},
      {"curve bending within a unit of a line", Units({0, 0}, {128000, 1278}, {256000, 0}),
       Units({0, 640}, {128000, 640}, {256000, 640}), false},
      {"mirrored curves within a unit of each other",
       Units({0, -917504}, {-1834976, -1834944}, {128, -2097152}),
       Units({-1835008, -917376}, {32, -1834944}, {-1834880, -2097024}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EdgeGraphFreeAll(graph_);
    Reinit();
    Link(c.a);
    Link(c.b);
    const std::vector<std::string> problems = EdgeGraphCheck(graph_);
    EXPECT_EQ(Count(problems, true) > 0, c.crosses) << ::testing::PrintToString(problems);
    EXPECT_EQ(Count(problems, false) > 0, c.crosses) << ::testing::PrintToString(problems);
  }
}

// An edge linked unsplit (at the insertion's guard) is left out of both
// tests unless asked for; the other edges are still checked.
TEST_F(CheckTest, EdgesLinkedUnsplitAreLeftOutUnlessAskedFor) {
  Link(Line(0, 0, 100, 100), kEdgeUnsplit);
  Link(Line(0, 100, 100, 0));
  EXPECT_TRUE(EdgeGraphCheck(graph_).empty());
  Link(Line(0, 50, 100, 50));  // crosses the other plain edge too
  EdgeGraphCheckOptions all;
  all.include_unsplit = true;
  const std::vector<std::string> some = EdgeGraphCheck(graph_), every = EdgeGraphCheck(graph_, all);
  EXPECT_EQ(Count(some, true), 1) << ::testing::PrintToString(some);
  EXPECT_EQ(Count(every, true), 3) << ::testing::PrintToString(every);
}

}  // namespace
