// Shapes with their edge-graph geometry, and motion tweens that follow a
// guide drawing.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_select.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "model_fixtures.h"
#include "platform/core/exceptions.h"
#include "tests/common/edge_styles.h"

namespace {

StyleIndex Line(EdgeGraph& graph, int16_t width) {
  LineStyle style = SolidLine(0xFF000000, width);
  return static_cast<StyleIndex>(EdgeGraphAddLineStyle(graph, style));
}

// Adds a polyline (twips) to a graph, drawn with a hairline unless a line
// style is given (an edge with neither line nor fill is tidied away).
void AddPolyline(EdgeGraph& graph, std::vector<Point32> points, StyleIndex line = 0) {
  PointList path;
  for (const Point32& p : points) ASSERT_EQ(PointListAppend(path, p, 0), 0);
  if (line == 0) line = Line(graph, 1);
  ASSERT_EQ(EdgeGraphAddPath(graph, path, line, 0, 0), 0);
}

class ShapeTest : public ModelTest {};

TEST_F(ShapeTest, BoundsFollowTheMatrixAndTheLineWidths) {
  auto shape = std::make_unique<CPicShape>();
  EdgeGraph& g = shape->GetGeometry();
  AddPolyline(g, {{0, 0}, {100, 0}}, Line(g, 20));
  AddPolyline(g, {{0, 50}, {0, 200}});  // a hairline
  shape->RecalcAndNotify(nullptr);
  Rect32 exact, full;
  shape->GetExactBounds(exact);
  shape->GetBounds(full);
  EXPECT_EQ(RectText(exact), "0,100,0,200");
  EXPECT_EQ(RectText(full), "-10,110,-10,200");

  Matrix2x3 move;
  MatrixSetTranslation(move, 1000, 0);
  shape->Transform(move);
  shape->GetExactBounds(exact);
  EXPECT_EQ(RectText(exact), "1000,1100,0,200");
}

TEST_F(ShapeTest, DrawOrderWithGroupMarks) {
  auto layer = std::unique_ptr<CPicLayer>(MakeLayer({2}));
  CPicFrame* frame = layer->GetFirstFrame();
  AddPolyline(frame->GetGeometry(), {{0, 0}, {100, 0}});
  auto* group = new CPicShape;
  AddPolyline(group->GetGeometry(), {{0, 0}, {0, 100}});
  group->AddChild(new CTestBox(1, {0, 10, 0, 10}));
  frame->AddChild(group);
  frame->AddChild(new CTestBox(2, {0, 10, 0, 10}));
  layer->RecalcAndNotify(nullptr);

  CRecordingContext rc;
  rc.m_flags |= CRenderContext::kFlagExportMarks;
  layer->Draw(rc);
  std::vector<std::string> want = {"layer ",    "graph",  // the key frame's own drawing first
                                   "group",     "graph",   "draw #1",
                                   "end group", "draw #2", "end layer"};
  EXPECT_EQ(rc.calls, want);

  rc.calls.clear();
  rc.m_skipObject = group;  // an object being dragged is left out
  rc.m_flags = 0;
  layer->Draw(rc);
  EXPECT_EQ(rc.calls, (std::vector<std::string>{"graph", "draw #2"}));

  // A shape outside the clip draws its children but not its geometry.
  rc.calls.clear();
  rc.m_skipObject = nullptr;
  RectSet(rc.m_deviceClip, 5000, 5000, 6000, 6000);
  rc.UpdateMatrix();
  layer->Draw(rc);
  EXPECT_EQ(rc.calls, (std::vector<std::string>{"draw #1", "draw #2"}));

  CTestCollector collector;
  layer->EnumShapes(collector);
  EXPECT_EQ(collector.nodes.size(), 4u);  // the key frame, the group and both boxes
}

TEST_F(ShapeTest, GeometryEditsUndoAndRedo) {
  CTestDoc doc;
  CDocumentPage* page = NewPage(doc);
  CPicFrame* frame = page->GetFirstFrame();
  EdgeGraph& g = frame->GetGeometry();
  Edit(page, [&] { AddPolyline(g, {{0, 0}, {100, 0}, {100, 100}}); });
  EXPECT_EQ(g.edge_count, 2u);
  EXPECT_EQ(g.change_log, nullptr);  // the edit closed the graph's change
  Edit(page, [&] {
    AddPolyline(g, {{0, 50}, {200, 50}});  // crosses one edge: split in two
    Matrix2x3 m;
    MatrixSetTranslation(m, 7, 0);
    frame->Transform(m);
  });
  EXPECT_EQ(g.edge_count, 5u);
  EXPECT_EQ(frame->GetShapeMatrix().tx, 7);
  page->Undo();
  EXPECT_EQ(g.edge_count, 2u);
  EXPECT_EQ(frame->GetShapeMatrix().tx, 0);
  page->Undo();
  EXPECT_EQ(g.edge_count, 0u);
  page->Redo();
  page->Redo();
  EXPECT_EQ(g.edge_count, 5u);
  EXPECT_EQ(frame->GetShapeMatrix().tx, 7);
  Rect32 bounds;
  frame->GetExactBounds(bounds);
  EXPECT_EQ(RectText(bounds), "7,207,0,100");

  // A failed edit puts the geometry back.
  Edit(page, [&] {
    AddPolyline(g, {{500, 500}, {600, 600}});
    throw CMemoryException();
  });
  EXPECT_EQ(g.edge_count, 5u);
  EXPECT_EQ(services_.messages, std::vector<uint32_t>{570});
}

// A square drawn with PathFromRect has its inside on the edges' second side.
// The face round everything is never filled, so the tidy-up at the end of an
// edit clears a fill left on the first side; an edge with neither a line nor
// a different fill on its two sides is then gone. An edge with a fill on one
// side only is a real border and stays, also when a mirroring edit swaps its
// sides.
TEST_F(ShapeTest, FilledSquaresKeepTheirBorderThroughEdits) {
  struct Case {
    const char* name;
    bool line, fill_a, fill_b;
    uint32_t edges;  // after each edit
    bool filled;     // the inside, after each edit
  } cases[] = {
      {"fill inside, no line", false, false, true, 4, true},
      {"fill on both sides, no line", false, true, true, 4, true},
      {"fill inside and a line", true, false, true, 4, true},
      {"fill outside and a line", true, true, false, 4, false},
      {"fill outside, no line", false, true, false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CTestDoc doc;
    CDocumentPage* page = NewPage(doc);
    CPicFrame* frame = page->GetFirstFrame();
    EdgeGraph& g = frame->GetGeometry();
    StyleIndex fill = 0;
    auto check = [&](const char* when) {
      SCOPED_TRACE(when);
      EXPECT_EQ(g.edge_count, c.edges);
      const Region* inside = EdgeGraphFindRegion(g, {100 << 8, 100 << 8});
      const Region* outside = EdgeGraphFindRegion(g, {300 << 8, 100 << 8});
      EXPECT_EQ(inside ? StyleIndexOf(inside->fill) : 0, c.filled ? fill : 0);
      EXPECT_EQ(outside ? StyleIndexOf(outside->fill) : 0, 0);
    };
    ASSERT_TRUE(Edit(page, [&] {
      fill = static_cast<StyleIndex>(EdgeGraphAddFillStyle(g, SolidFill(0xFF0000FF)));
      PointList square;
      ASSERT_EQ(PathFromRect(square, {0, 200, 0, 200}), 0);
      ASSERT_EQ(EdgeGraphAddPath(g, square, c.line ? Line(g, 20) : 0, c.fill_a ? fill : 0,
                                 c.fill_b ? fill : 0),
                0);
      PointListFree(square);
    }));
    check("added");
    // Mirrored about x = 100: the same square, its edges reversed.
    ASSERT_TRUE(Edit(page, [&] {
      Matrix2x3 mirror;
      MatrixSetScale(mirror, -kFixedOne, kFixedOne);
      mirror.tx = 200;
      frame->Transform(mirror);
      frame->ApplyMatrix();
    }));
    check("mirrored");
  }
}

TEST_F(ShapeTest, BreakApartMovesTheChildrenOut) {
  auto layer = std::unique_ptr<CPicLayer>(MakeLayer({1}));
  CPicFrame* frame = layer->GetFirstFrame();
  auto* group = new CPicShape;
  group->AddChild(new CTestBox(1));
  group->AddChild(new CTestBox(2));
  frame->AddChild(group);
  frame->AddChild(new CTestBox(3));
  EXPECT_EQ(group->BreakApart(CPicObj::kBreakApartQuery), 1);
  EXPECT_EQ(group->BreakApart(0), 1);
  EXPECT_EQ(DumpTree(frame), "CPicFrame(0){CPicShape(9) #1(1)[empty] #2(1)[empty] #3(0)[empty]}");
  EXPECT_EQ(group->BreakApart(CPicObj::kBreakApartQuery), 0);  // a plain drawing
  EXPECT_EQ(group->BreakApart(0), 0);
}

TEST_F(ShapeTest, HitTestAndLassoThroughTheMatrix) {
  auto layer = std::unique_ptr<CPicLayer>(MakeLayer({1}));
  CPicFrame* frame = layer->GetFirstFrame();
  auto* shape = new CPicShape;
  AddPolyline(shape->GetGeometry(), {{0, 0}, {100, 0}});
  Matrix2x3 m;
  MatrixSetTranslation(m, 1000, 500);
  shape->SetShapeMatrix(m);
  frame->AddChild(shape);
  layer->RecalcAndNotify(nullptr);
  struct Case {
    Point32 p;
    int32_t hit;
  } cases[] = {{{1050, 502}, 1}, {{50, 2}, 0}, {{1050, 520}, 0}, {{1150, 500}, 0}};
  for (const Case& c : cases) {
    CHitTest probe;
    probe.point = c.p;
    probe.distance1 = 10;
    EXPECT_EQ(layer->HitTest(probe), c.hit) << c.p.x << "," << c.p.y;
  }

  struct Lasso {
    std::vector<Point32> corners;
    int32_t answer;
  } lassos[] = {
      {{{900, 400}, {1200, 400}, {1200, 600}, {900, 600}, {900, 400}}, 2},     // around it
      {{{1050, 400}, {1200, 400}, {1200, 600}, {1050, 600}, {1050, 400}}, 3},  // across it
      {{{0, 0}, {100, 0}, {100, 100}, {0, 100}, {0, 0}}, 1},                   // elsewhere
  };
  for (const Lasso& l : lassos) {
    PointList path;
    for (const Point32& p : l.corners) ASSERT_EQ(PointListAppend(path, p, 0), 0);
    EXPECT_EQ(layer->ClassifyInRect(path, 0), l.answer) << l.corners[0].x;
  }
}

TEST_F(ShapeTest, ApplyMatrixBakesItIntoTheGeometry) {
  auto shape = std::make_unique<CPicShape>();
  AddPolyline(shape->GetGeometry(), {{0, 0}, {100, 0}, {100, 50}});
  Matrix2x3 m;
  MatrixSetScale(m, 2 * kFixedOne, kFixedOne);
  m.tx = 30;
  shape->SetShapeMatrix(m);
  shape->RecalcAndNotify(nullptr);
  Rect32 before, after;
  shape->GetExactBounds(before);
  shape->ApplyMatrix();
  shape->GetExactBounds(after);
  EXPECT_TRUE(MatrixIsIdentity(shape->GetShapeMatrix()));
  EXPECT_EQ(RectText(after), RectText(before));
  EXPECT_EQ(RectText(after), "30,230,0,50");
}

// Plain-drawing children merge into the drawing, small ones through a batch
// when the drawing is large; one undo brings them all back.
TEST_F(ShapeTest, CollectChildShapesMergesPlainDrawings) {
  CTestDoc doc;
  CDocumentPage* page = NewPage(doc);
  CPicFrame* frame = page->GetFirstFrame();
  auto addPiece = [&](int row, int edges, bool plain) {
    auto* piece = new CPicShape;
    for (int i = 0; i < edges; ++i) {
      AddPolyline(piece->GetGeometry(), {{i * 100, row * 100}, {i * 100 + 50, row * 100}});
    }
    Matrix2x3 m;
    MatrixSetTranslation(m, 0, 7);
    piece->SetShapeMatrix(m);
    piece->SetPlainDrawing(plain);
    frame->AddChild(piece);
    return piece;
  };
  Edit(page, [&] {
    for (int i = 0; i < 160; ++i) {  // a large drawing of separate strokes
      AddPolyline(frame->GetGeometry(), {{i * 100, -1000}, {i * 100 + 50, -1000}});
    }
  });
  Edit(page, [&] {
    addPiece(1, 3, true);  // small: starts a batch
    addPiece(2, 5, true)->SetSelected(true);
    addPiece(3, 40, true);  // large: flushes the batch, merged directly
    addPiece(4, 2, false);  // a group stays
    addPiece(5, 4, true);
  });
  ASSERT_EQ(frame->GetGeometry().edge_count, 160u);
  Edit(page, [&] { frame->CollectChildShapes(); });
  EXPECT_EQ(frame->GetGeometry().edge_count, 160u + 3 + 5 + 40 + 4);
  EXPECT_EQ(DumpTree(frame), "CPicFrame(0){CPicShape(0)}");
  int selected = 0;
  EdgeGraphForEachEdge(frame->GetGeometry(), nullptr, [&](Edge* e) {
    if (StyleIsSelected(e->line)) {
      ++selected;
      EXPECT_EQ(e->curve.p0.y, (200 + 7) * 256);  // moved by the piece's matrix
    }
  });
  EXPECT_EQ(selected, 5);
  page->Undo();
  EXPECT_EQ(frame->GetGeometry().edge_count, 160u);
  EXPECT_EQ(DumpTree(frame),
            "CPicFrame(0){CPicShape(8) CPicShape(9) CPicShape(8) CPicShape(0) CPicShape(8)}");
}

// Motion along hand-built guides: the tweened child's position per frame.
class GuideTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    guided_.reset(MakeLayer({4, 1}));
    guide_.reset(MakeLayer({5}));
    guided_->LinkTo(guide_.get());
  }
  void TearDown() override {
    guided_->Unlink();
    ModelTest::TearDown();
  }
  // A box centred at p.
  static CTestBox* BoxAt(Point32 p) {
    return new CTestBox(1, {p.x - 5, p.x + 5, p.y - 5, p.y + 5});
  }
  // The tween from a to b along the guide drawn with the polylines.
  void Run(const std::vector<std::vector<Point32>>& lines, Point32 a, Point32 b, int32_t tween) {
    CPicFrame* g = guide_->GetFirstFrame();
    for (const auto& line : lines) AddPolyline(g->GetGeometry(), line);
    guide_->RecalcAndNotify(nullptr);
    CPicFrame* first = guided_->GetFirstFrame();
    first->SetFrameStyle(tween);
    first->AddChild(BoxAt(a));
    first->GetNextKeyFrame()->AddChild(BoxAt(b));
    guided_->RecalcAndNotify(nullptr);
    ASSERT_EQ(first->GetTweenCount(), 4);
    positions_.clear();
    for (int i = 0; i < 4; ++i) {
      Point32 p;
      MatrixTransformPoint(first->GetTweenEntry(i)->matrix, a, p);
      positions_.push_back(p);
    }
  }
  void ExpectPositions(const std::vector<Point32>& want, const char* what) {
    for (size_t i = 0; i < want.size(); ++i) {
      EXPECT_NEAR(positions_[i].x, want[i].x, 3) << what << " frame " << i;
      EXPECT_NEAR(positions_[i].y, want[i].y, 3) << what << " frame " << i;
    }
  }
  std::unique_ptr<CPicLayer> guided_, guide_;
  std::vector<Point32> positions_;
};

const std::vector<Point32> kSquare = {{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}, {0, 0}};

TEST_F(GuideTest, AroundACorner) {
  Run({{{0, 0}, {1000, 0}, {1000, 1000}}}, {0, 0}, {1000, 1000}, CPicFrame::kTweenMotion);
  ExpectPositions({{0, 0}, {500, 0}, {1000, 0}, {1000, 500}}, "corner");
}

TEST_F(GuideTest, TheShorterWayRoundALoop) {
  Run({kSquare}, {500, 0}, {1000, 300}, CPicFrame::kTweenMotion);
  ExpectPositions({{500, 0}, {700, 0}, {900, 0}, {1000, 100}}, "right side");
}

TEST_F(GuideTest, TheShorterWayRoundALoopBackwards) {
  Run({kSquare}, {500, 0}, {0, 300}, CPicFrame::kTweenMotion);
  ExpectPositions({{500, 0}, {300, 0}, {100, 0}, {0, 100}}, "left side");
}

TEST_F(GuideTest, BothEndsOnOneEdge) {
  Run({kSquare}, {800, 0}, {200, 0}, CPicFrame::kTweenMotion);
  ExpectPositions({{800, 0}, {650, 0}, {500, 0}, {350, 0}}, "one edge");
}

TEST_F(GuideTest, AtAForkTheStraighterWay) {
  // From the fork at 1000,0 the bend to 2000,500 turns less than the branch up.
  Run({{{0, 0}, {1000, 0}, {2000, 500}}, {{1000, 0}, {1000, 1000}}}, {0, 0}, {2000, 500},
      CPicFrame::kTweenMotion);
  double along = (1000 + 1000 * std::sqrt(1.25)) / 2 - 1000;  // past the fork at frame 2
  ExpectPositions({{0, 0},
                   {static_cast<int32_t>((1000 + 1000 * std::sqrt(1.25)) / 4), 0},
                   {static_cast<int32_t>(1000 + along * 2 / std::sqrt(5.0)),
                    static_cast<int32_t>(along / std::sqrt(5.0))}},
                  "fork");
}

TEST_F(GuideTest, AGuideOutOfReachGivesTheStraightLine) {
  Run({kSquare}, {500, 200}, {500, 800}, CPicFrame::kTweenMotion);  // 200 twips inside
  ExpectPositions({{500, 200}, {500, 350}, {500, 500}, {500, 650}}, "straight");
}

TEST_F(GuideTest, OrientingTurnsWithThePath) {
  Run({kSquare}, {500, 0}, {1000, 300}, CPicFrame::kTweenMotion | CPicFrame::kTweenOrient);
  ExpectPositions({{500, 0}, {700, 0}, {900, 0}, {1000, 100}}, "oriented");
  const Matrix2x3& m = guided_->GetFirstFrame()->GetTweenEntry(3)->matrix;
  EXPECT_NEAR(m.a / 65536.0, 0, 0.01);  // a quarter turn on the right side
  EXPECT_NEAR(std::fabs(m.b / 65536.0), 1, 0.01);
}

}  // namespace
