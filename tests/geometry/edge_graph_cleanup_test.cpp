// The vertex clean-up pass: sorted rings, tangent pairs, smooth joints.
#include <gtest/gtest.h>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_cleanup.h"
#include "graph_invariants.h"

namespace {

using namespace graph_test;

class CleanupTest : public GraphTest {
 protected:
  void InsertAll(const std::vector<QuadCurve>& curves) {
    for (const QuadCurve& c : curves) ASSERT_EQ(Insert(graph_, c), 0);
    ASSERT_TRUE(GraphIsValid(graph_));
    ASSERT_EQ(EdgeGraphCleanup(graph_), 0);
    ASSERT_TRUE(GraphIsClean(graph_));
  }
};

// The face walk of the regions: the next half-edge is the ring successor of
// the twin (the ring's first when the twin is last).
const HalfEdge* NextOnFace(const HalfEdge* h) {
  const HalfEdge* twin = HalfEdgeTwin(h);
  return twin->ring_next ? twin->ring_next : twin->vertex->ring;
}

TEST_F(CleanupTest, SortedRingsMakeTheFaceWalkTraceFaces) {
  // A square with both diagonals: four triangles inside, one face outside.
  InsertAll({Line(0, 0, 100, 0), Line(100, 0, 100, 100), Line(100, 100, 0, 100), Line(0, 100, 0, 0),
             Line(0, 0, 100, 100), Line(100, 0, 0, 100)});
  ASSERT_EQ(graph_.edge_count, 8u);
  std::vector<int> face_sizes;
  const uint32_t stamp = EdgeGraphNextStamp();
  EdgeGraphForEachEdge(graph_, nullptr, [&](Edge* e) {
    for (HalfEdge* start : {&e->a, &e->b}) {
      if (start->visit == stamp) continue;
      int n = 0;
      for (HalfEdge* h = start; h->visit != stamp; h = const_cast<HalfEdge*>(NextOnFace(h))) {
        h->visit = stamp;
        ++n;
        ASSERT_LE(n, 16);
      }
      face_sizes.push_back(n);
    }
  });
  std::sort(face_sizes.begin(), face_sizes.end());
  EXPECT_EQ(face_sizes, (std::vector<int>{3, 3, 3, 3, 4}));
}

TEST_F(CleanupTest, TangentPairSharesItsCommonStart) {
  // Two arcs leave (0,0) along +x and bend apart.
  InsertAll({Quad(0, 0, 50, 0, 100, 20), Quad(0, 0, 50, 0, 100, -20)});
  EXPECT_EQ(graph_.edge_count, 3u);
  const Vertex* v = FindVertexAt(graph_, {0, 0});
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(RingSize(v), 1);
  // The shared edge ends where the arcs part by one to two degrees.
  const HalfEdge* shared = v->ring;
  const Vertex* joint = HalfEdgeTwin(shared)->vertex;
  EXPECT_EQ(RingSize(joint), 3);
  EXPECT_GT(joint->position.x, 0);
  EXPECT_LT(joint->position.x, G(10));
  EXPECT_EQ(shared->edge->a.fill, 0);
  EXPECT_EQ(shared->edge->b.fill, 0);
}

TEST_F(CleanupTest, TangentPairAcrossTheSeamIsSplit) {
  // Lines leaving (0,0) at 179.4 and -179.8 degrees: 0.8 degrees apart across
  // the seam, with and without a third edge at the vertex.
  for (bool third : {true, false}) {
    SCOPED_TRACE(third);
    Reinit();
    std::vector<QuadCurve> curves = {Line(0, 0, -1000, 10), Line(0, 0, -1000, -4)};
    if (third) curves.push_back(Line(0, 0, 1000, 0));
    InsertAll(curves);
    const Vertex* v = FindVertexAt(graph_, {0, 0});
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(RingSize(v), third ? 2 : 1);
    EXPECT_EQ(graph_.edge_count, third ? 3u : 2u);
  }
}

TEST_F(CleanupTest, SharedEdgeTakesTheWiderLine) {
  std::vector<std::pair<StyleIndex, StyleIndex>> lines = {{1, 3}, {3, 1}, {2, 2}};
  for (auto [narrow_first, second] : lines) {
    Reinit();
    ASSERT_EQ(Insert(graph_, Quad(0, 0, 50, 0, 100, 20), narrow_first), 0);
    ASSERT_EQ(Insert(graph_, Quad(0, 0, 50, 0, 200, -40), second), 0);
    ASSERT_EQ(EdgeGraphCleanup(graph_), 0);
    ASSERT_TRUE(GraphIsClean(graph_));
    const Vertex* v = FindVertexAt(graph_, {0, 0});
    ASSERT_EQ(RingSize(v), 1);
    EXPECT_EQ(v->ring->edge->line, std::max(narrow_first, second));  // line i is i twips wide
  }
}

TEST_F(CleanupTest, SmoothJoints) {
  struct Case {
    const char* name;
    QuadCurve first, second;
    bool smooth;
  };
  const Case cases[] = {
      {"tangent continuous curves", Quad(-100, 0, -50, -30, 0, 0), Quad(0, 0, 50, 30, 100, 0),
       true},
      {"nearly continuous", Quad(-100, 0, -50, -30, 0, 0), Quad(0, 0, 50, 31, 100, 0), true},
      {"corner between curves", Quad(-100, 0, -50, -30, 0, 0), Quad(0, 0, 50, -30, 100, 0), false},
      {"curve meets line", Quad(-100, 0, -50, -30, 0, 0), Line(0, 0, 100, 60), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reinit();
    InsertAll({c.first, c.second});
    const Vertex* v = FindVertexAt(graph_, {0, 0});
    ASSERT_NE(v, nullptr);
    EXPECT_EQ((v->flags & kVertexSmooth) != 0, c.smooth);
    EXPECT_EQ(VertexDegree(*v), 2);
  }
  // A third edge at the joint: no longer smooth.
  ASSERT_EQ(Insert(graph_, Line(0, 0, 0, -100)), 0);
  ASSERT_EQ(EdgeGraphCleanup(graph_), 0);
  const Vertex* v = FindVertexAt(graph_, {0, 0});
  EXPECT_FALSE(v->flags & kVertexSmooth);
  EXPECT_EQ(VertexDegree(*v), 3);
}

}  // namespace
