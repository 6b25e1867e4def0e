// Edge insertion: rounding, degenerate curves, coincident edges and splitting
// at crossings, checked against the graph invariants after every insertion.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_cleanup.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/pool.h"
#include "graph_invariants.h"
#include "tests/common/refuse_memory.h"

namespace {

using namespace graph_test;

struct Input {
  QuadCurve curve;
  StyleIndex line = 0, fill_a = 0, fill_b = 0;
  int precedence = 3;
};

Input In(const QuadCurve& c, StyleIndex line = 0, StyleIndex a = 0, StyleIndex b = 0,
         int precedence = 3) {
  return {c, line, a, b, precedence};
}

EdgeRecord Out(int32_t x0, int32_t y0, int32_t x1, int32_t y1, StyleIndex line = 0,
               StyleIndex a = 0, StyleIndex b = 0) {
  return Normalised(Line(x0, y0, x1, y1), line, a, b);
}

class InsertTest : public GraphTest {
 protected:
  void InsertAll(const std::vector<Input>& inputs) {
    for (const Input& in : inputs) {
      ASSERT_EQ(Insert(graph_, in.curve, in.line, in.fill_a, in.fill_b, 0, in.precedence), 0);
      ASSERT_TRUE(GraphIsValid(graph_));
    }
  }
};

TEST(RoundTo128Test, RoundsHalvesUp) {
  EXPECT_EQ(RoundTo128({63, -64}), (Point32{0, 0}));
  EXPECT_EQ(RoundTo128({64, -65}), (Point32{128, -128}));
  EXPECT_EQ(RoundTo128({191, 192}), (Point32{128, 256}));
  QuadCurve c;
  CurveSet({10, 0}, {500, 500}, {1000, 70}, c);  // shifts (-10, 0) and (24, 58)
  CurveRoundEnds(c);
  EXPECT_EQ(c.p0, (Point32{0, 0}));
  EXPECT_EQ(c.p2, (Point32{1024, 128}));
  EXPECT_EQ(c.control, (Point32{507, 529}));
  CurveFromLine({10, 0}, {1000, 70}, c);
  CurveRoundEnds(c);
  EXPECT_EQ(c.control, (Point32{512, 64}));
}

// Straight inputs whose results are known edge by edge.
TEST_F(InsertTest, CanonicalStraightInputs) {
  struct Case {
    const char* name;
    std::vector<Input> inputs;
    std::vector<EdgeRecord> expected;
  };
  const Case cases[] = {
      {"cross",
       {In(Line(0, 0, 100, 100)), In(Line(0, 100, 100, 0))},
       {Out(0, 0, 50, 50), Out(50, 50, 100, 100), Out(0, 100, 50, 50), Out(50, 50, 100, 0)}},
      {"T, bar first",
       {In(Line(0, 50, 100, 50)), In(Line(50, 0, 50, 50))},
       {Out(0, 50, 50, 50), Out(50, 50, 100, 50), Out(50, 0, 50, 50)}},
      {"T, stem first",
       {In(Line(50, 0, 50, 50)), In(Line(0, 50, 100, 50))},
       {Out(0, 50, 50, 50), Out(50, 50, 100, 50), Out(50, 0, 50, 50)}},
      {"crossing rounds to the 128 grid",
       {In(Line(0, 0, 101, 0)), In(Line(33, -10, 34, 10))},  // meets y = 0 at x = 33.5
       {Out(0, 0, 101, 0)}},                                 // replaced below: see the rounded case
      {"same edge twice, precedence 0",
       {In(Line(0, 0, 100, 0), 1, 1, 0), In(Line(0, 0, 100, 0), 2, 2, 3, 0)},
       {Out(0, 0, 100, 0, 1, 1, 3)}},
      {"same edge twice, precedence 1 (line)",
       {In(Line(0, 0, 100, 0), 1, 1, 0), In(Line(0, 0, 100, 0), 2, 2, 3, 1)},
       {Out(0, 0, 100, 0, 2, 1, 3)}},
      {"same edge twice, precedence 2 (fills)",
       {In(Line(0, 0, 100, 0), 1, 1, 0), In(Line(0, 0, 100, 0), 2, 2, 3, 2)},
       {Out(0, 0, 100, 0, 1, 2, 3)}},
      {"same edge twice, precedence 3",
       {In(Line(0, 0, 100, 0), 1, 1, 0), In(Line(0, 0, 100, 0), 2, 2, 3, 3)},
       {Out(0, 0, 100, 0, 2, 2, 3)}},
      {"opposite direction, precedence 0",
       {In(Line(0, 0, 100, 0), 1, 1, 0), In(Line(100, 0, 0, 0), 2, 2, 3, 0)},
       {Out(0, 0, 100, 0, 1, 1, 2)}},
      {"opposite direction, precedence 3",
       {In(Line(0, 0, 100, 0), 1, 1, 0), In(Line(100, 0, 0, 0), 2, 2, 3, 3)},
       {Out(0, 0, 100, 0, 2, 3, 2)}},
      {"new line 0 never replaces a line",
       {In(Line(0, 0, 100, 0), 1, 0, 0), In(Line(0, 0, 100, 0), 0, 0, 0, 3)},
       {Out(0, 0, 100, 0, 1, 0, 0)}},
      {"selection bits are kept from either edge",
       {In(Line(0, 0, 100, 0), 0x8001, 0x8001, 1), In(Line(0, 0, 100, 0), 2, 2, 0x8000, 3)},
       {Out(0, 0, 100, 0, 0x8002, 0x8002, 0x8001)}},
      {"a selected empty fill marks an unfilled side",
       {In(Line(0, 0, 100, 0), 1, 1, 0), In(Line(0, 0, 100, 0), 0, 0x8000, 0x8000, 0)},
       {Out(0, 0, 100, 0, 1, 0x8001, 0x8000)}},
      {"overlapping collinear edges",
       {In(Line(0, 0, 100, 0), 1, 1, 0), In(Line(50, 0, 150, 0), 2, 0, 2, 0)},
       {Out(0, 0, 50, 0, 1, 1, 0), Out(50, 0, 100, 0, 1, 1, 2), Out(100, 0, 150, 0, 2, 0, 2)}},
      {"edge inside another",
       {In(Line(0, 0, 100, 0), 1), In(Line(20, 0, 60, 0), 2, 0, 0, 1)},
       {Out(0, 0, 20, 0, 1), Out(20, 0, 60, 0, 2), Out(60, 0, 100, 0, 1)}},
      {"three lines through one point",
       {In(Line(0, 50, 100, 50)), In(Line(50, 0, 50, 100)), In(Line(0, 0, 100, 100))},
       {Out(0, 50, 50, 50), Out(50, 50, 100, 50), Out(50, 0, 50, 50), Out(50, 50, 50, 100),
        Out(0, 0, 50, 50), Out(50, 50, 100, 100)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reinit();
    InsertAll(c.inputs);
    if (std::string(c.name) == "crossing rounds to the 128 grid") {
      // x = 33.5 twips = 8576 units, a multiple of 128: both lines split there.
      EXPECT_EQ(graph_.edge_count, 4u);
      EXPECT_NE(FindVertexAt(graph_, {8576, 0}), nullptr);
      continue;
    }
    std::vector<EdgeRecord> expected = c.expected;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Edges(graph_), expected) << "got:\n" << Describe(Edges(graph_));
  }
}

TEST_F(InsertTest, DegenerateAndNearlyStraightCurves) {
  // Ends that round to one point: dropped, whatever the control point.
  QuadCurve c;
  CurveSet({10, 10}, {G(500), G(500)}, {-60, 50}, c);
  ASSERT_EQ(Insert(graph_, c), 0);
  EXPECT_EQ(graph_.edge_count, 0u);
  // Ends 1 to 128 units apart after rounding: a straight edge.
  CurveSet({0, 0}, {G(500), G(500)}, {128, 128}, c);
  ASSERT_EQ(Insert(graph_, c), 0);
  ASSERT_EQ(graph_.edge_count, 1u);
  EXPECT_EQ(Edges(graph_)[0].curve.straight, 1);
  EXPECT_EQ(Edges(graph_)[0].curve.control, (Point32{64, 64}));
  Reinit();

  struct Case {
    QuadCurve curve;
    bool straight;
  };
  const Case cases[] = {
      {Quad(0, 1000, -50, 1000, 100, 1000), true},    // control behind p0
      {Quad(0, 2000, 150, 2000, 100, 2000), true},    // control beyond p2
      {Quad(0, 3000, -50, 3000.3, 100, 3000), true},  // within 128 units of the line through p0
      {Quad(0, 4000, 50, 4001, 100, 4000), false},    // a shallow bulge stays a curve
      {Quad(0, 5000, 50, 5050, 100, 5000), false},
  };
  for (const Case& k : cases) ASSERT_EQ(Insert(graph_, k.curve), 0);
  ASSERT_EQ(graph_.edge_count, 5u);
  for (const EdgeRecord& e : Edges(graph_)) {
    const bool expected = e.curve.p0.y != G(4000) && e.curve.p0.y != G(5000);
    EXPECT_EQ(e.curve.straight != 0, expected) << e;
  }
  EXPECT_TRUE(GraphIsValid(graph_));
}

TEST_F(InsertTest, CoincidentCurvesMerge) {
  // The same arc twice, once reversed and with its control point moved a
  // little: one edge remains, with the first curve.
  ASSERT_EQ(Insert(graph_, Quad(0, 0, 50, 80, 100, 0), 1, 1, 0), 0);
  ASSERT_EQ(Insert(graph_, Quad(100, 0, 52, 78, 0, 0), 2, 2, 3, 0, 0), 0);
  ASSERT_EQ(graph_.edge_count, 1u);
  const EdgeRecord e = Edges(graph_)[0];
  EXPECT_EQ(e.curve.control, (Point32{G(50), G(80)}));
  EXPECT_EQ(e.line, 1);
  EXPECT_EQ(e.fill_a, 1);
  EXPECT_EQ(e.fill_b, 2);
  EXPECT_TRUE(GraphIsValid(graph_));
  // A different arc between the same ends is a separate edge (a lens).
  ASSERT_EQ(Insert(graph_, Quad(0, 0, 50, -80, 100, 0)), 0);
  EXPECT_EQ(graph_.edge_count, 2u);
  EXPECT_TRUE(GraphIsValid(graph_));
}

TEST_F(InsertTest, TangentCurvesMeetAtOneVertex) {
  // An arch and a bowl that touch at (50, 50).
  InsertAll({In(Quad(0, 0, 50, 100, 100, 0)), In(Quad(0, 100, 50, 0, 100, 100))});
  EXPECT_EQ(graph_.edge_count, 4u);
  const Vertex* touch = FindVertexAt(graph_, {G(50), G(50)});
  ASSERT_NE(touch, nullptr);
  EXPECT_EQ(RingSize(touch), 4);
  ASSERT_EQ(EdgeGraphCleanup(graph_), 0);
  EXPECT_TRUE(GraphIsClean(graph_));
}

TEST_F(InsertTest, CurvesCrossEachOtherTwice) {
  InsertAll({In(Quad(0, 0, 50, 100, 100, 0)), In(Line(-10, 20, 110, 20)),
             In(Quad(0, 40, 50, -60, 100, 40))});
  EXPECT_GE(graph_.edge_count, 9u);
  ASSERT_EQ(EdgeGraphCleanup(graph_), 0);
  EXPECT_TRUE(GraphIsClean(graph_));
}

TEST_F(InsertTest, StarOfFiftyEdgesAtOneVertex) {
  // 25 lines through the centre, each cut by all the others there.
  const Point32 centre = {G(5000), G(5000)};
  for (int i = 0; i < 25; ++i) {
    const double a = i * std::numbers::pi / 25;
    const auto dx = static_cast<int32_t>(std::lround(1000 * std::cos(a)));
    const auto dy = static_cast<int32_t>(std::lround(1000 * std::sin(a)));
    ASSERT_EQ(Insert(graph_, Line(5000 - dx, 5000 - dy, 5000 + dx, 5000 + dy)), 0);
    ASSERT_TRUE(GraphIsValid(graph_));
  }
  EXPECT_EQ(graph_.edge_count, 50u);
  const Vertex* v = FindVertexAt(graph_, centre);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(RingSize(v), 50);
  ASSERT_EQ(EdgeGraphCleanup(graph_), 0);
  EXPECT_TRUE(GraphIsClean(graph_));
  EXPECT_EQ(RingSize(v), 50);  // the sorted ring keeps every half-edge
  EXPECT_EQ(VertexDegree(*v), 4);
}

TEST_F(InsertTest, OneBatchIsNotCutAgainstItself) {
  const uint32_t stamp = EdgeGraphNextStamp();
  ASSERT_EQ(Insert(graph_, Line(0, 0, 100, 100), 0, 0, 0, stamp), 0);
  ASSERT_EQ(Insert(graph_, Line(0, 100, 100, 0), 0, 0, 0, stamp), 0);
  EXPECT_EQ(graph_.edge_count, 2u);
  // A third edge of another batch cuts both; their pieces go back in with
  // stamp 0 and so are cut against each other too: 3 + 3 + 3 edges.
  ASSERT_EQ(Insert(graph_, Line(0, 20, 100, 20)), 0);
  EXPECT_EQ(graph_.edge_count, 9u);
  EXPECT_TRUE(GraphIsValid(graph_));
}

TEST_F(InsertTest, SplitGuardLinksAPieceUnsplit) {
  // A curve leaving the common start of two lines and crossing both: once cut
  // at the first crossing, its pieces share a vertex with the lines, so the
  // second crossing is a re-crossing and counts against the guard.
  const std::vector<Input> inputs = {In(Line(0, 0, 100, 0)), In(Line(0, 0, 100, -36)),
                                     In(Quad(0, 0, 60, -60, 60, 40))};
  EdgeGraphSetSplitGuard(0);
  for (const Input& in : inputs) ASSERT_EQ(Insert(graph_, in.curve), 0);
  EXPECT_GT(EdgeGraphUnsplitCount(), 0);
  // Sound, crossings checked between the other edges ...
  EXPECT_TRUE(GraphIsValid(graph_));
  int unsplit = 0;
  EdgeGraphForEachEdge(graph_, nullptr,
                       [&](const Edge* e) { unsplit += (e->flags & kEdgeUnsplit) != 0; });
  EXPECT_GT(unsplit, 0);
  // ... and the piece linked unsplit crosses: both tests find it.
  EdgeGraphCheckOptions all;
  all.include_unsplit = true;
  const std::vector<std::string> problems = EdgeGraphCheck(graph_, all);
  EXPECT_TRUE(std::any_of(problems.begin(), problems.end(), [](const std::string& p) {
    return p.find("(flattened)") != std::string::npos;
  }));
  EXPECT_GE(problems.size(), 2u);

  EdgeGraphResetInsertCounters();  // the default guard
  Reinit();
  InsertAll(inputs);
  EXPECT_EQ(EdgeGraphUnsplitCount(), 0);
  EXPECT_EQ(graph_.edge_count, 7u);
}

TEST_F(InsertTest, RefusedPoolKeepsTheGraphValid) {
  ASSERT_EQ(Insert(graph_, Line(0, 0, 100, 100)), 0);
  // Fill the edge pool's chunk, then refuse new chunks: the crossing cannot
  // make its pieces.
  std::vector<Edge*> hoard;
  {
    RefuseMemory refuse(RefuseMemory::Pools);
    for (;;) {
      Edge* e = nullptr;
      if (EdgeGraphNewEdge(Line(0, 0, 1, 1), &e) < 0) break;
      hoard.push_back(e);
    }
    EdgeGraphFreeEdgeRecord(hoard.back());  // room for the new edge itself
    hoard.pop_back();
    Edge* e = nullptr;
    ASSERT_EQ(EdgeGraphNewEdge(Line(0, 100, 100, 0), &e), 0);
    EXPECT_EQ(EdgeGraphInsertEdge(graph_, e, 0, 3), -1);
  }
  for (Edge* h : hoard) EdgeGraphFreeEdgeRecord(h);
  // The new edge was linked as it was, marked: sound, its crossing left out
  // of the check.
  EXPECT_EQ(graph_.edge_count, 2u);
  EXPECT_TRUE(GraphIsValid(graph_));
  EdgeGraphCheckOptions all;
  all.include_unsplit = true;
  EXPECT_FALSE(GraphIsValid(graph_, all));
}

// The change callback (the undo machinery) may throw at the first change of
// an edit: whether that is the unlink of a split, the touch of a coincident
// edge or the link of a lone piece, the graph stays as it was and every
// record the insertion held is released.
TEST_F(InsertTest, ThrowingChangeCallbackReleasesHeldRecords) {
  const QuadCurve cases[] = {
      Line(0, 50, 100, 50),             // crosses the square: unlink of a split
      Quad(-20, 20, 50, 140, 120, 20),  // crosses it twice
      Line(0, 0, 100, 0),               // lies on an edge: touch
      Line(300, 300, 400, 400),         // meets nothing: link
  };
  for (const QuadCurve& c : cases) {
    for (const QuadCurve& side :
         {Line(0, 0, 100, 0), Line(100, 0, 100, 100), Line(100, 100, 0, 100), Line(0, 100, 0, 0)})
      ASSERT_EQ(Insert(graph_, side, 1), 0);
    Rect32 out;
    EdgeGraphEndChange(graph_, out);
    const std::vector<EdgeRecord> before = Edges(graph_);
    const int32_t records = EdgeGraphEdgesInUse();
    graph_.change_callback = [](EdgeGraph&, void*) { throw std::runtime_error("undo refused"); };
    EXPECT_THROW(Insert(graph_, c, 2), std::runtime_error) << Describe({Normalised(c, 2, 0, 0)});
    graph_.change_callback = nullptr;
    EXPECT_EQ(EdgeGraphEdgesInUse(), records) << Describe({Normalised(c, 2, 0, 0)});
    EXPECT_EQ(Edges(graph_), before);
    EXPECT_TRUE(GraphIsValid(graph_));
    EdgeGraphEndChange(graph_, out);
    EdgeGraphFreeAll(graph_);
    Reinit();
  }
}

}  // namespace

#include "geometry/point_list.h"

namespace {

using namespace graph_test;

class AddPathTest : public GraphTest {
 protected:
  // Entries in twips: {x, y, off-curve}.
  void Path(PointList& path, std::initializer_list<std::array<int32_t, 3>> entries) {
    for (const auto& e : entries) ASSERT_EQ(PointListAppend(path, {e[0], e[1]}, e[2]), 0);
  }
};

TEST_F(AddPathTest, ClosedPathBecomesStyledEdgesInGraphUnits) {
  PointList square;
  Path(square, {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}, {0, 0, 0}});
  ASSERT_EQ(EdgeGraphAddPath(graph_, square, 1, 2, 0), 0);
  std::vector<EdgeRecord> expected = {
      Normalised(Line(0, 0, 100, 0), 1, 2, 0), Normalised(Line(100, 0, 100, 100), 1, 2, 0),
      Normalised(Line(100, 100, 0, 100), 1, 2, 0), Normalised(Line(0, 100, 0, 0), 1, 2, 0)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Edges(graph_), expected) << Describe(Edges(graph_));
  EXPECT_TRUE(GraphIsValid(graph_));

  // The same square again with other styles: precedence 3, its styles win.
  ASSERT_EQ(EdgeGraphAddPath(graph_, square, 3, 4, 1), 0);
  for (const EdgeRecord& e : Edges(graph_)) EXPECT_EQ(e.line, 3) << e;
  EXPECT_EQ(graph_.edge_count, 4u);
}

TEST_F(AddPathTest, CurvedSelfCrossingPathIsSplitWhereItCrosses) {
  // A figure eight of two lobes drawn with control points: the path crosses
  // itself at (100, 50).
  PointList eight;
  Path(eight, {{100, 50, 0},
               {150, 0, 1},
               {200, 50, 0},
               {150, 100, 1},
               {100, 50, 0},
               {50, 0, 1},
               {0, 50, 0},
               {50, 100, 1},
               {100, 50, 0}});
  ASSERT_EQ(EdgeGraphAddPath(graph_, eight, 2, 0, 0), 0);
  EXPECT_EQ(graph_.edge_count, 4u);
  // A straight bar along y = 50 runs through both lobes' tips and the
  // crossing, where six half-edges then meet.
  PointList bar;
  Path(bar, {{-20, 50, 0}, {220, 50, 0}});
  ASSERT_EQ(EdgeGraphAddPath(graph_, bar, 1, 0, 0), 0);
  EXPECT_TRUE(GraphIsValid(graph_));
  const Vertex* centre = FindVertexAt(graph_, {G(100), G(50)});
  ASSERT_NE(centre, nullptr);
  EXPECT_EQ(RingSize(centre), 6);
  ASSERT_EQ(EdgeGraphCleanup(graph_), 0);
  EXPECT_TRUE(GraphIsClean(graph_));
}

TEST_F(AddPathTest, EmptyAndSinglePointPathsAddNothing) {
  PointList empty;
  ASSERT_EQ(EdgeGraphAddPath(graph_, empty, 1, 1, 1), 0);
  PointList one;
  Path(one, {{5, 5, 0}});
  ASSERT_EQ(EdgeGraphAddPath(graph_, one, 1, 1, 1), 0);
  EXPECT_EQ(graph_.edge_count, 0u);
}

}  // namespace

namespace {

using namespace graph_test;

TEST_F(InsertTest, EnormousCurvesInsertWithoutLooping) {
  // Lines a few hundred kilometres long: the intersection search loses
  // precision and once reported a "crossing" whose two points lay far apart,
  // which split the new line into itself and looped for ever.
  QuadCurve a, b;
  CurveFromLine({-201228288, 1006731264}, {112121216, 527993856}, a);
  CurveFromLine({1006665728, -838696960}, {112117120, 528000128}, b);
  ASSERT_EQ(Insert(graph_, a), 0);
  ASSERT_EQ(Insert(graph_, b), 0);
  EXPECT_EQ(graph_.edge_count, 2u);
  EXPECT_TRUE(GraphIsValid(graph_));
}

}  // namespace

namespace {

using namespace graph_test;

TEST_F(InsertTest, NeighbouringVerticesAreNotJoinedBackAndForth) {
  // Curves tens of thousands of twips long, found by fuzzing. Two of the
  // pieces start at neighbouring grid points; on curves this long the
  // intersection search reports those two starts as one meeting point, which
  // once moved a third piece's start from one point to the other and back
  // without end.
  struct Input {
    Point32 p0, control, p2;
    int straight, precedence;
  };
  const Input inputs[] = {
      {{0, 42741760}, {-493568, -2048}, {-2048, -4196352}, 0, 0},
      {{1761280, 245760}, {2048000, -39694336}, {0, -16259072}, 0, 1},
      {{1679360, 389120}, {2048000, 7567360}, {46137344, -2048}, 0, 1},
      {{-2048, 20445184}, {-14681088, 29359104}, {-29360128, 38273024}, 1, 3},
      {{-58720256, 2048}, {28311552, 2048}, {0, 0}, 0, 0},
      {{-58720256, 2048}, {-29360128, 0}, {-33030144, 0}, 0, 0},
      {{-58609664, 0}, {-58699776, 2048}, {28311552, 294912}, 0, 0},
  };
  for (const Input& in : inputs) {
    QuadCurve c;
    CurveSet(in.p0, in.control, in.p2, c);
    c.straight = in.straight;
    ASSERT_EQ(Insert(graph_, c, 0, 0, 0, 0, in.precedence), 0);
  }
  EXPECT_EQ(EdgeGraphUnsplitCount(), 0);
  EXPECT_TRUE(GraphIsValid(graph_));
}

}  // namespace

namespace {

using namespace graph_test;

TEST_F(InsertTest, PiecesDoNotTradeAnEndBetweenNeighbouringGridPoints) {
  // Lines tens of millions of units long, found by fuzzing. A piece ending at
  // one of two grid points 400 units apart met an old edge at the other: the
  // split moved its end there, the next split moved it back, and every round
  // left a short piece between the two points on the work stack. The piece
  // budget ended it after some hundred thousand duplicates, linked unsplit
  // around one vertex, and the clean-up then ran for hours.
  struct Input {
    Point32 p0, control, p2;
    int straight, precedence, fill, clean_up;
  };
  const Input inputs[] = {
      {{522240, 0}, {8192, 0}, {-442368, -2048}, 1, 3, 3, 1},
      {{-2048, -2048}, {-2048, -2048}, {-2048, -2048}, 1, 3, 3, 1},
      {{-2048, -2048}, {-2048, -2048}, {522240, 39843840}, 1, 3, 3, 1},
      {{39475200, 39475200}, {39475200, 39475200}, {39475200, 39475200}, 0, 3, 2, 0},
      {{39475200, 39813120}, {39475200, -370688}, {20445184, -2048}, 0, 3, 2, 0},
      {{-495616, -2048}, {-2048, -2048}, {-2048, -2048}, 1, 3, 3, 1},
      {{-2048, -2048}, {-2048, -2048}, {-2048, -2048}, 1, 3, 3, 1},
      {{-2048, -2048}, {-2048, -2048}, {-2048, -2048}, 1, 3, 3, 1},
      {{-2048, 522240}, {39475200, 39475200}, {39475200, 39475200}, 1, 3, 3, 1},
      {{39475200, 39475200}, {39475200, 39475200}, {47863808, 39475200}, 0, 3, 2, 0},
      {{39475200, 39475200}, {39475200, 39475200}, {-66430976, 272384}, 0, 3, 2, 0},
      {{39475200, -370688}, {-2048, -2048}, {522240, 0}, 0, 0, 0, 0},
      {{0, -58720256}, {21901312, 21497856}, {2048, 0}, 0, 0, 2, 1},
      {{14336, 0}, {524288, 0}, {153600, -63438848}, 1, 1, 0, 0},
      {{22544384, -524288}, {-67584, -2048}, {-2048, -2048}, 1, 0, 3, 0},
      {{53999616, 31526912}, {-522240, 49805312}, {0, 1228800}, 1, 3, 3, 1},
  };
  for (const Input& in : inputs) {
    QuadCurve c;
    if (in.straight)
      CurveFromLine(in.p0, in.p2, c);
    else
      CurveSet(in.p0, in.control, in.p2, c);
    const auto fill = static_cast<StyleIndex>(in.fill);
    ASSERT_EQ(
        Insert(graph_, c, 0, fill, static_cast<StyleIndex>((in.fill + 1) & 3), 0, in.precedence),
        0);
    ASSERT_LT(graph_.edge_count, 100u);
    if (in.clean_up) {
      ASSERT_EQ(EdgeGraphCleanup(graph_), 0);
    }
  }
  ASSERT_EQ(EdgeGraphCleanup(graph_), 0);
  EXPECT_TRUE(GraphIsValid(graph_));
}

}  // namespace
