// The snapping searches: the priority rules of one search, the candidates of
// the view's objects and graphs, the grid, point lists, rectangles, and the
// grid lookup of graph candidates against a scan of every vertex and edge.
#include "view/core/snap.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "geometry/curve.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_select.h"
#include "geometry/edge_graph_update.h"
#include "geometry/point_list.h"
#include "model/pic_shape.h"
#include "tests/common/snap_scan.h"
#include "view/core/assistant_settings.h"
#include "view_fixture.h"

namespace {

std::string Str(const Point32& p) {
  return "(" + std::to_string(p.x) + ", " + std::to_string(p.y) + ")";
}

// ---- one search ------------------------------------------------------------------------------

struct Offer {
  bool axis;  // TryAxis, else TryPoint
  int32_t priority;
  Point32 point;
};

TEST(SnapSearchTest, PriorityBeatsDistanceAndNearerWinsWithinOnePriority) {
  // Query (0, 0), radius 10.
  struct Case {
    const char* name;
    std::vector<Offer> offers;
    Point32 want;
    int32_t want_priority;
  } cases[] = {
      {"nothing", {}, {0, 0}, kSnapNothing},
      {"vertex 3 away beats edge 1 away", {{false, 2, {3, 0}}, {false, 5, {0, 1}}}, {3, 0}, 2},
      {"the same offered the other way round", {{false, 5, {0, 1}}, {false, 2, {3, 0}}}, {3, 0}, 2},
      {"nearer wins within a priority", {{false, 4, {6, 0}}, {false, 4, {0, 5}}}, {0, 5}, 4},
      {"a tie keeps the first", {{false, 4, {0, 5}}, {false, 4, {5, 0}}}, {0, 5}, 4},
      {"at the radius is refused", {{false, 4, {10, 0}}}, {0, 0}, kSnapNothing},
      {"just inside the radius", {{false, 4, {9, 0}}}, {9, 0}, 4},
      {"a better priority ignores the best distance",
       {{false, 5, {1, 0}}, {false, 3, {0, 9}}},
       {0, 9},
       3},
      // x aligned with one point, y with another: the combined point lies
      // 11 away, beyond the radius, and is still taken.
      {"combined alignment beyond the radius",
       {{true, 6, {8, 2000}}, {true, 6, {2000, 8}}},
       {8, 8},
       6},
      {"an axis candidate farther than the radius aligns nothing",
       {{true, 6, {12, 2000}}},
       {0, 0},
       kSnapNothing},
      {"equal offsets align y", {{true, 6, {5, 5}}}, {0, 5}, 6},
      {"a better axis priority does not beat a nearer alignment",
       {{true, 6, {2, 500}}, {true, 3, {4, 500}}},
       {2, 0},
       6},
      {"the combined point takes the better axis priority",
       {{true, 9, {500, 3}}, {true, 6, {2, 500}}},
       {2, 3},
       6},
      {"a point candidate of a better priority than the alignment wins",
       {{true, 6, {2, 500}}, {false, 5, {6, 6}}},
       {6, 6},
       5},
  };
  for (const Case& c : cases) {
    SnapSearch s;
    SnapSearchInit(s, {0, 0}, 10);
    for (const Offer& o : c.offers) {
      if (o.axis) {
        SnapSearchTryAxis(s, o.priority, o.point);
      } else {
        SnapSearchTryPoint(s, o.priority, o.point);
      }
    }
    EXPECT_EQ(Str(s.best_point), Str(c.want)) << c.name;
    EXPECT_EQ(s.best_priority, c.want_priority) << c.name;
  }
}

TEST(SnapSearchTest, RectOffersItsNineHandles) {
  SnapSearch s;
  SnapSearchInit(s, {52, 1}, 5);
  SnapSearchTryRect(s, kSnapVertex, Rect32{0, 100, 0, 40});
  EXPECT_EQ(Str(s.best_point), Str({50, 0}));  // the middle of the bottom side
  Rect32 empty;
  RectSetEmpty(empty);
  SnapSearchInit(s, {0, 0}, 5);
  SnapSearchTryRect(s, kSnapVertex, empty);
  EXPECT_EQ(s.best_priority, kSnapNothing);
}

TEST(SnapSearchTest, RectSnapSquare) {
  struct Case {
    Rect32 in;
    int32_t tolerance;
    int want;
    Rect32 out;
  } cases[] = {
      {{0, 100, 0, 104}, 5, 1, {-1, 101, 1, 103}},  // 102 x 102 around the same centre
      {{0, 100, 0, 104}, 4, 0, {0, 100, 0, 104}},
      {{10, 114, 0, 100}, 5, 1, {11, 113, -1, 101}},
      {{0, 100, 0, 100}, 1, 1, {0, 100, 0, 100}},
      {{0, 100, 0, 103}, 5, 1, {0, 100, 1, 102}},  // mean 101: x moves by 0, y by -1
      {{0, 100, 0, 100}, 0, 0, {0, 100, 0, 100}},
  };
  for (const Case& c : cases) {
    Rect32 r = c.in;
    EXPECT_EQ(RectSnapSquare(r, c.tolerance), c.want);
    EXPECT_EQ(r, c.out) << c.in.xmax - c.in.xmin << " x " << c.in.ymax - c.in.ymin;
  }
}

TEST(SnapSearchTest, ShiftInvertsEnabled) {
  struct Case {
    uint8_t enabled;
    bool shift;
    bool want;
  } cases[] = {{1, false, true}, {1, true, false}, {0, false, false}, {0, true, true}};
  for (const Case& c : cases) {
    AssistantSettings().enabled = c.enabled;
    EXPECT_EQ(IsSnapToggled(c.shift), c.want) << int{c.enabled} << " " << c.shift;
  }
  ResetAssistantSettings();
}

// ---- the view's objects ----------------------------------------------------------------------

StyleIndex Hairline(EdgeGraph& graph) {
  LineStyle style;
  style.colour = 0xFF000000;
  style.width = 1;
  return static_cast<StyleIndex>(EdgeGraphAddLineStyle(graph, style));
}

// A path of on-curve points and (off) control points.
void AddPath(EdgeGraph& graph, const std::vector<PointListEntry>& points) {
  PointList path;
  for (const PointListEntry& p : points)
    ASSERT_EQ(PointListAppend(path, p.Point(), p.off_curve), 0);
  ASSERT_EQ(EdgeGraphAddPath(graph, path, Hairline(graph), 0, 0), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph), 0);
}

Vertex* VertexAt(EdgeGraph& graph, Point32 twips) {
  Vertex* found = nullptr;
  EdgeGraphForEachVertex(graph, nullptr, [&](Vertex* v) {
    if (v->position.x == twips.x * 256 && v->position.y == twips.y * 256) found = v;
  });
  return found;
}

// One editable layer with one key frame, shown at 100 % (U = 15).
class SnapViewTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    ResetAssistantSettings();
    delete Root()->GetFirstChild();
    Show(page);
    CPicLayer* layer = MakeLayer({1});
    layer->SetName("A");
    Root()->AddChild(layer, CPicObj::kAddFirst);
    layer->SetType(CPicLayer::kCurrent);
    Root()->RecalcAndNotify(nullptr);
    frame = static_cast<CPicFrame*>(layer->GetFirstChild());
    view->SetZoom(4369, nullptr, 0);
    ASSERT_EQ(view->GetPickUnit(), 15);
  }
  void TearDown() override {
    ResetAssistantSettings();
    ViewTest::TearDown();
  }
  EdgeGraph& Drawing() { return frame->GetGeometry(); }
  // The search's best point and priority as "(x, y) p".
  std::string Search(Point32 q, int32_t radius, int32_t skipSelected = 0,
                     int32_t onlySelected = 0) {
    SnapSearch s;
    SnapSearchInit(s, q, radius);
    s.skip_selected = skipSelected;
    s.only_selected = onlySelected;
    SnapSearchObjects(s, *view);
    return Str(s.best_point) + " " + std::to_string(s.best_priority);
  }
  CPicFrame* frame = nullptr;
};

TEST_F(SnapViewTest, CandidatesOfObjectsAndDrawings) {
  AddPath(Drawing(), {{0, 0, 0}, {1000, 0, 0}});                        // a straight edge
  AddPath(Drawing(), {{0, 3000, 0}, {500, 2000, 1}, {1000, 3000, 0}});  // a curve
  auto* box = new CTestBox(1, Rect32{2000, 2400, 0, 200});
  frame->AddChild(box);
  auto* centred = new CTestBox(2, Rect32{5000, 5400, 0, 400});
  const Point32 centre{5100, 100};
  centred->SetCenter(&centre);
  frame->AddChild(centred);
  // A shape child whose drawing is moved by its matrix.
  auto* shape = new CPicShape;
  Matrix2x3 move;
  MatrixSetTranslation(move, 8000, 1000);
  shape->SetShapeMatrix(move);
  AddPath(shape->GetGeometry(), {{0, 0, 0}, {0, 600, 0}});
  frame->AddChild(shape);

  struct Case {
    Point32 q;
    const char* want;
  } cases[] = {
      {{3, 1}, "(0, 0) 2"},              // the vertex 3 away beats the edge 1 away
      {{300, 6}, "(300, 0) 5"},          // the nearest point on the edge
      {{497, 5}, "(500, 0) 4"},          // the midpoint of a straight edge
      {{503, 2003}, "(503, 2003) 15"},   // nothing: the curve's control point is no candidate
      {{500, 2497}, "(500, 2500) 5"},    // the curve's nearest point; no midpoint for a curve
      {{1994, 205}, "(1990, 210) 2"},    // a handle of a box's bounds (grown by its line)
      {{2204, 96}, "(2200, 100) 2"},     // the box's centre handle
      {{5104, 98}, "(5100, 100) 1"},     // the centre point beats the handles
      {{5095, 2}, "(5100, 100) 1"},      // even when a handle lies nearer
      {{8004, 1004}, "(8000, 1000) 2"},  // the shape's vertex under its matrix
      {{8006, 1300}, "(8000, 1300) 4"},  // its edge's midpoint
      {{4000, 4000}, "(4000, 4000) 15"},
  };
  for (const Case& c : cases) EXPECT_EQ(Search(c.q, 150), c.want) << Str(c.q);
}

TEST_F(SnapViewTest, SnapPointWritesBackOnlyWhatItFound) {
  AddPath(Drawing(), {{0, 0, 0}, {1000, 0, 0}});
  Point32 p{3, 1};
  EXPECT_TRUE(SnapPoint(nullptr, p, *view, 10));
  EXPECT_EQ(Str(p), Str({0, 0}));
  p = {500, 40};
  EXPECT_FALSE(SnapPoint(nullptr, p, *view, 10));
  EXPECT_EQ(Str(p), Str({500, 40}));
}

TEST_F(SnapViewTest, SelectionFilters) {
  AddPath(Drawing(), {{0, 0, 0}, {1000, 0, 0}});
  auto* box = new CTestBox(1, Rect32{2000, 2400, 0, 200});
  frame->AddChild(box);
  // Select the edge.
  EdgeGraphForEachEdge(Drawing(), nullptr, [](Edge* e) { e->line |= kStyleSelected; });
  box->SetSelected(true);
  struct Case {
    Point32 q;
    int32_t skip, only;
    const char* want;
  } cases[] = {
      {{3, 1}, 0, 0, "(0, 0) 2"},
      {{3, 1}, 1, 0, "(3, 1) 15"},  // its vertices and the edge are selected
      {{3, 1}, 0, 1, "(0, 0) 2"},
      {{1993, -6}, 1, 0, "(1993, -6) 15"},
      {{1993, -6}, 0, 1, "(1990, -10) 2"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Search(c.q, 10, c.skip, c.only), c.want) << Str(c.q) << " " << c.skip << c.only;
  box->SetSelected(false);
  EXPECT_EQ(Search({1993, -6}, 10, 0, 1), "(1993, -6) 15");
}

TEST_F(SnapViewTest, DraggedVertexAlignsWithItsNeighbours) {
  // The dragged vertex V at (500, 500) with straight edges to A and B.
  AddPath(Drawing(), {{8, 2000, 0}, {500, 500, 0}, {2000, 8, 0}});
  Vertex* v = VertexAt(Drawing(), {500, 500});
  ASSERT_NE(v, nullptr);
  struct Case {
    Point32 q;
    int32_t radius;
    const char* want;
    bool found;
  } cases[] = {
      // x aligned with A, y with B: the combined point, 11 away, beyond the
      // radius of 10.
      {{0, 0}, 10, "(8, 8)", true},
      {{5, 1500}, 10, "(8, 1500)", true},  // x alignment alone
      // On the segment between the direction points A and B: their midpoint.
      {{1003, 1001}, 10, "(1004, 1004)", true},
      // Near the segment far from its ends: the nearest point on it.
      {{112, 1904}, 10, "(108, 1900)", true},
      // As near the segment, but nearer A than four times that: nothing.
      {{26, 1990}, 10, "(26, 1990)", false},
      // The vertex's own place is no candidate, its edges are skipped.
      {{502, 501}, 10, "(502, 501)", false},
  };
  for (const Case& c : cases) {
    Point32 p = c.q;
    EXPECT_EQ(SnapPoint(v, p, *view, c.radius), c.found) << Str(c.q);
    EXPECT_EQ(Str(p), c.want) << Str(c.q);
  }
  // Without the vertex excluded its place snaps to it.
  Point32 p{502, 501};
  EXPECT_TRUE(SnapPoint(nullptr, p, *view, 10));
  EXPECT_EQ(Str(p), Str({500, 500}));
}

TEST_F(SnapViewTest, GridAtSeveralZooms) {
  doc->m_gridFlags = 0x3;
  doc->m_gridSpacing = 360 << 16;
  doc->m_movieRect = Rect32{100, 10900, 0, 14400};  // x grid lines at 100 + 360 k
  struct Case {
    Fixed zoom;     // pixels per twip
    int32_t level;  // "Grid"
    Point32 q;
    const char* want;
  } cases[] = {
      // 100 %: U = 15, level 2 (10 U): within 150 twips.
      {4369, 2, {510, 100}, "(460, 0) 10"},
      {4369, 2, {620, 530}, "(620, 530) 15"},  // 160 from a line in x, 170 in y
      {4369, 2, {620, 440}, "(620, 360) 10"},  // y alone
      // 400 %: U shrinks to a quarter, so does the tolerance.
      {4 * 4369, 2, {510, 100}, "(510, 100) 15"},
      {4 * 4369, 2, {490, 30}, "(460, 0) 10"},
      // 25 %: four times the reach.
      {4369, 2, {640, 170}, "(640, 170) 15"},
      {4369 / 4, 2, {640, 170}, "(820, 0) 10"},
      // Level 0 turns the grid off; level 4 ("Always Snap") is 100 U.
      {4369, 0, {470, 5}, "(470, 5) 15"},
      {4369, 4, {640, 170}, "(820, 0) 10"},
  };
  for (const Case& c : cases) {
    view->SetZoom(c.zoom, nullptr, 0);
    AssistantSettings().levels[kAssistantGrid] = static_cast<uint8_t>(c.level);
    UpdateAssistantTolerances(AssistantSettings());
    EXPECT_EQ(Search(c.q, 10), c.want) << c.zoom << " " << Str(c.q) << " U " << view->GetPickUnit();
  }
  // A grid in x alone.
  view->SetZoom(4369, nullptr, 0);
  AssistantSettings().levels[kAssistantGrid] = 2;
  UpdateAssistantTolerances(AssistantSettings());
  doc->m_gridFlags = 0x1;
  EXPECT_EQ(Search({510, 100}, 10), "(460, 100) 10");
  doc->m_gridFlags = 0;
  EXPECT_EQ(Search({510, 100}, 10), "(510, 100) 15");
}

TEST_F(SnapViewTest, AlignmentLineCrossesAnEdge) {
  doc->m_gridFlags = 0x1;
  doc->m_movieRect = Rect32{0, 10800, 0, 14400};
  AddPath(Drawing(), {{0, 0, 0}, {1000, 0, 0}});
  AddPath(Drawing(), {{0, 1000, 0}, {800, 1000, 1}, {1000, 2000, 0}});
  // The grid's x line at 360 crosses the straight edge at (360, 0): better
  // than the edge's nearest point.
  EXPECT_EQ(Search({362, 5}, 10), "(360, 0) 3");
  // And the curve (x(t) = 1600 t - 600 t^2 reaches 720 once on it, at y 1328).
  const std::string got = Search({722, 1300}, 100);
  EXPECT_EQ(got.substr(0, 5), "(720,") << got;
  EXPECT_EQ(got.back(), '3') << got;
}

TEST_F(SnapViewTest, PointListSnapsAgainstItsOwnEarlierPoints) {
  PointList list;
  for (Point32 p : std::vector<Point32>{{0, 0}, {500, 3}, {505, 400}, {600, 300}, {4, 2}})
    ASSERT_EQ(PointListAppend(list, p, 0), 0);
  SnapPointList(list, *view, 10);
  const char* want[] = {"(0, 0)", "(500, 0)",     // y aligned with the one before
                        "(500, 400)",             // x aligned with the one before
                        "(600, 300)", "(0, 0)"};  // two places back: a point candidate
  ASSERT_EQ(list.length, 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Str(list.buffer[i].Point()), want[i]) << i;

  // The one just before is only an alignment (x with (0, 0)); control points
  // are left alone.
  PointList two;
  ASSERT_EQ(PointListAppend(two, {0, 0}, 0), 0);
  ASSERT_EQ(PointListAppend(two, {3, 4}, 1), 0);
  ASSERT_EQ(PointListAppend(two, {3, 4}, 0), 0);
  SnapPointList(two, *view, 10);
  EXPECT_EQ(Str(two.buffer[1].Point()), "(3, 4)");
  EXPECT_EQ(Str(two.buffer[2].Point()), "(0, 4)");
}

TEST_F(SnapViewTest, RectCornersSnapAndFreeSidesSquareUp) {
  AddPath(Drawing(), {{0, 0, 0}, {100, 0, 0}});
  struct Case {
    Rect32 in;
    Rect32 want;
  } cases[] = {
      // Both lower corners snap to the vertices; the free upper side follows
      // the snapped width.
      {{3, 97, 2, 95}, {0, 100, 0, 100}},
      // Already square after snapping.
      {{3, 97, 2, 100}, {0, 100, 0, 100}},
      // Nothing snaps: the free x sides move out by half the difference each;
      // sides never move inwards.
      {{0, 100, 5000, 5104}, {-1, 101, 5000, 5104}},
      // Too far from square: only the snapped sides move.
      {{3, 97, 2, 300}, {0, 100, 0, 300}},
  };
  for (const Case& c : cases) {
    Rect32 r = c.in;
    SnapRect(r, *view, 10);
    EXPECT_EQ(r, c.want) << c.in.xmin << " " << c.in.xmax << " " << c.in.ymin << " " << c.in.ymax;
  }
}

// ---- the grid lookup against a scan of everything --------------------------------------------

TEST(SnapGraphTest, GridLookupFindsWhatAScanOfEverythingFinds) {
  std::mt19937 rng(31);
  std::uniform_int_distribution<int32_t> coord(-500, 13000);
  std::uniform_int_distribution<int32_t> near(-40, 40);
  for (int graphNo = 0; graphNo < 4; ++graphNo) {
    EdgeGraph graph;
    ASSERT_EQ(EdgeGraphInit(graph), 0);
    std::vector<Point32> points;
    for (int path = 0; path < 40; ++path) {
      std::vector<PointListEntry> entries;
      const int n = 2 + static_cast<int>(rng() % 5);
      for (int i = 0; i < n; ++i) {
        const int32_t off = (i > 0 && i + 1 < n && rng() % 3 == 0) ? 1 : 0;
        entries.push_back({coord(rng), coord(rng), off});
        points.push_back(entries.back().Point());
      }
      AddPath(graph, entries);
    }
    int found = 0;
    for (int k = 0; k < 400; ++k) {
      // Half the queries near a point of the drawing, half anywhere.
      Point32 q{coord(rng), coord(rng)};
      if (k % 2 == 0) {
        const Point32& p = points[rng() % points.size()];
        q = {p.x + near(rng), p.y + near(rng)};
      }
      const int32_t radius = 5 + static_cast<int32_t>(rng() % 60);
      SnapSearch s;
      SnapSearchInit(s, q, radius);
      SnapSearchGraph(s, graph, nullptr);
      SnapSearch want;
      SnapSearchInit(want, q, radius);
      SnapScanGraph(want, graph, nullptr);
      ASSERT_EQ(s.best_priority, want.best_priority) << graphNo << " " << Str(q) << " r " << radius;
      if (want.best_priority < kSnapNothing) {
        ++found;
        ASSERT_EQ(s.best_distance, want.best_distance)
            << graphNo << " " << Str(q) << " r " << radius;
      }
    }
    EXPECT_GT(found, 100);  // the queries did meet the drawing
    EdgeGraphFreeAll(graph);
  }
}

}  // namespace
