// The Pencil, the Lasso and the Paint Bucket through the drawing view's
// window with scripted input: strokes become lines in one undo step, shape
// drags, the ink bottle, lasso selection, and the bucket filling what a
// pencil stroke closed.
#include "view/pencil_tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "platform/core/exceptions.h"
#include "platform/qt/cursors.h"
#include "res/program_resources.h"
#include "tests/common/edge_styles.h"
#include "tests/common/geos.h"
#include "tests/geometry/region_util.h"
#include "tool_fixture.h"
#include "view/brush_tool.h"
#include "view/core/assistant_settings.h"
#include "view/core/paint_bucket.h"

namespace {

constexpr uint32_t kRed = 0xFF0000FF;

// Points round an ellipse, the first one repeated at the end.
std::vector<CPoint> Around(int cx, int cy, int rx, int ry, int n = 48) {
  std::vector<CPoint> points;
  for (int i = 0; i <= n; ++i) {
    const double a = 2 * M_PI * i / n;
    points.emplace_back(cx + static_cast<int>(std::lround(rx * std::cos(a))),
                        cy + static_cast<int>(std::lround(ry * std::sin(a))));
  }
  return points;
}

int32_t EdgeCount(EdgeGraph& g) {
  int32_t n = 0;
  EdgeGraphForEachEdge(g, nullptr, [&](Edge*) { ++n; });
  return n;
}

class PencilToolTest : public ToolViewTest {
 protected:
  void SetUp() override {
    ToolViewTest::SetUp();
    ResetAssistantSettings();
    tools.current = &pencil;
    bucket.SetMode(kBrushModeAlternate);
    bucket.SetGapSize(0);
  }
  void TearDown() override {
    ResetAssistantSettings();
    ToolViewTest::TearDown();
  }
  CPencilTool pencil;
  CBrushTool bucket;
};

// Pencil a closed shape, fill it with the bucket, undo twice and redo
// twice: after every step the page is what it was after that step first.
TEST_F(PencilToolTest, PencilFillUndoRedo) {
  const std::vector<uint8_t> empty = PageBytes();
  const int steps = UndoSteps();
  Drag(Around(150, 120, 60, 50));
  EXPECT_GT(EdgeCount(Drawing()), 0);
  EXPECT_EQ(FillAt(Drawing(), 150, 120), 0u);
  const std::vector<uint8_t> drawn = PageBytes();
  EXPECT_EQ(UndoSteps(), steps + 1);

  tools.current = &bucket;
  Press({150, 120});
  EXPECT_EQ(FillAt(Drawing(), 150, 120), kRed);
  EXPECT_EQ(FillAt(Drawing(), 150, 60), 0u);  // outside the shape
  const std::vector<uint8_t> filled = PageBytes();
  EXPECT_EQ(UndoSteps(), steps + 2);

  page->Undo();
  EXPECT_EQ(PageBytes(), drawn);
  EXPECT_EQ(FillAt(Drawing(), 150, 120), 0u);
  page->Undo();
  EXPECT_EQ(PageBytes(), empty);
  EXPECT_EQ(EdgeCount(Drawing()), 0);
  page->Redo();
  EXPECT_EQ(PageBytes(), drawn);
  page->Redo();
  EXPECT_EQ(PageBytes(), filled);
  EXPECT_EQ(FillAt(Drawing(), 150, 120), kRed);
  EXPECT_TRUE(boxes.boxes.empty());
}

// A straight run of points from a to b (both included), n steps.
std::vector<CPoint> Steps(CPoint a, CPoint b, int n = 12) {
  std::vector<CPoint> points;
  for (int i = 0; i <= n; ++i)
    points.emplace_back(a.x + (b.x - a.x) * i / n, a.y + (b.y - a.y) * i / n);
  return points;
}

TEST_F(PencilToolTest, AStraightStrokeWithTheAssistantBecomesOneLine) {
  std::vector<CPoint> points;
  for (int x = 40; x <= 240; x += 8) points.emplace_back(x, 100 + (x / 8) % 3 - 1);
  Drag(points);
  ASSERT_EQ(EdgeCount(Drawing()), 1);
  const Rect32 b = EdgeBounds(Drawing());
  EXPECT_NEAR(b.xmin, 40, 2);
  EXPECT_NEAR(b.xmax, 240, 2);
  EXPECT_LE(b.ymax - b.ymin, 2);
  EdgeGraphForEachEdge(Drawing(), nullptr, [](Edge* e) {
    EXPECT_TRUE(e->curve.straight);
    EXPECT_NE(StyleIndexOf(e->line), 0);
  });
}

TEST_F(PencilToolTest, WithoutALayerToDrawIntoNothingChanges) {
  ASSERT_TRUE(Edit(page, [&] { layer->SetType(CPicLayer::kEditable); }));
  const std::vector<uint8_t> before = PageBytes();
  for (int32_t mode : {kPencilStraighten, kPencilRectangle}) {
    pencil.SetDrawMode(mode);
    Drag(Steps({40, 60}, {200, 160}));
  }
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[0].help_id, 608u);  // there is no current layer to draw into
  EXPECT_EQ(PageBytes(), before);
}

TEST_F(PencilToolTest, AFailureDuringTheStrokeLeavesThePageAsItWas) {
  const std::vector<uint8_t> before = PageBytes();
  const int steps = UndoSteps();
  CThrowingSource source;
  SetInputSource(&source);
  for (int k : {0, 3, 10}) {
    SCOPED_TRACE(k);
    source.throwAt = k;
    for (const CPoint& p : Around(150, 120, 60, 50)) {
      InputSample s;
      s.screen = Screen(p.x, p.y);
      s.buttons = MK_LBUTTON;
      source.Push(s);
    }
    EXPECT_THROW(pencil.OnPress(*view, MK_LBUTTON, 210, 120), CMemoryException);
    EXPECT_EQ(PageBytes(), before);
    EXPECT_EQ(UndoSteps(), steps);
    EXPECT_EQ(GetCapture(), nullptr);
    while (source.Remaining() > 0) (void)::IsButtonStillDown(nullptr);
  }
  SetInputSource(&script);
}

TEST_F(PencilToolTest, ShapeDrags) {
  struct Case {
    const char* what;
    int32_t mode;
    CPoint end;
    UINT keys;
    int edges;  // 0: nothing added
    Rect32 bounds;
  } cases[] = {
      {"a rectangle within the snap radius of a square is a square",
       kPencilRectangle,
       {150, 130},
       0,
       4,
       {50, 140, 50, 140}},
      {"Shift turns snapping off", kPencilRectangle, {150, 130}, MK_SHIFT, 4, {50, 150, 50, 130}},
      {"an oval within the snap radius of a circle is a circle",
       kPencilOval,
       {150, 130},
       0,
       -1,
       {50, 140, 50, 140}},
      {"a line snaps to the horizontal", kPencilLine, {150, 58}, 0, 1, {50, 150, 50, 50}},
      {"a drag of 5 U or less adds nothing", kPencilRectangle, {110, 64}, MK_SHIFT, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(Edit(page, [&] {
      EdgeGraph& g = Drawing();
      std::vector<Edge*> edges;
      EdgeGraphForEachEdge(g, nullptr, [&](Edge* e) { edges.push_back(e); });
      for (Edge* e : edges) ASSERT_EQ(EdgeGraphDeleteEdge(g, e), 0);
      ASSERT_EQ(EdgeGraphUpdate(g), 0);
    }));
    const int steps = UndoSteps();
    pencil.SetDrawMode(c.mode);
    Drag(Steps({50, 50}, c.end), c.keys);
    if (c.edges == 0) {
      EXPECT_EQ(EdgeCount(Drawing()), 0);
      EXPECT_EQ(UndoSteps(), steps);
      continue;
    }
    if (c.edges > 0) {
      EXPECT_EQ(EdgeCount(Drawing()), c.edges);
    }
    const Rect32 b = EdgeBounds(Drawing());
    EXPECT_TRUE(RectsNearlyEqual(b, c.bounds, 1))
        << b.xmin << " " << b.xmax << " " << b.ymin << " " << b.ymax;
    EXPECT_EQ(UndoSteps(), steps + 1);
  }
}

TEST_F(PencilToolTest, DrawModesAndTheInkBottle) {
  struct Case {
    int32_t mode;
    int32_t last;
    bool checked;
  } cases[] = {{kPencilOval, kPencilOval, false},
               {kPencilInkBottle, kPencilOval, true},
               {kPencilInkBottle, kPencilOval, true},
               {kPencilSmooth, kPencilSmooth, false},
               {kPencilInkBottle, kPencilSmooth, true}};
  for (const Case& c : cases) {
    pencil.SetDrawMode(c.mode);
    EXPECT_EQ(pencil.GetDrawMode(), c.mode);
    EXPECT_EQ(pencil.GetLastMode(), c.last);
    EXPECT_EQ(pencil.IsInkBottleChecked(), c.checked);
  }
  // The Pencil again: back to the last mode, never the ink bottle.
  pencil.SetDrawMode(pencil.GetLastMode());
  EXPECT_EQ(pencil.GetDrawMode(), kPencilSmooth);
}

// The cursor each tool shows: the pencil's by its mode and whether there is
// a drawing to draw into; the lasso's by the selection's handles, the
// selection and elsewhere. Each must be the program's own picture of that
// id, not the arrow a missing picture falls back to.
TEST_F(PencilToolTest, EachToolShowsTheCursorOfItsModeAndPlace) {
  RegisterProgramResources();
  AddSquare(layer, {100, 200, 60, 160});
  CLassoTool lasso;
  const int32_t drawable = layer->GetType();
  enum Setup { kCanDraw, kNoLayer, kSelected, kScaleHandles };
  const Point32 away{40, 40};
  const Point32 onSquare{150, 110};
  struct Case {
    const char* what;
    CDrawTool* tool;
    int32_t mode;
    Setup setup;
    Point32 at;
    int cursor;
  } cases[] = {
      {"straighten", &pencil, kPencilStraighten, kCanDraw, away, 1206},
      {"smooth", &pencil, kPencilSmooth, kCanDraw, onSquare, 1206},
      {"ink", &pencil, kPencilInk, kCanDraw, away, 1206},
      {"free-hand, no layer", &pencil, kPencilSmooth, kNoLayer, away, 32641},
      {"rectangle", &pencil, kPencilRectangle, kCanDraw, away, 1100},
      {"oval", &pencil, kPencilOval, kCanDraw, away, 1100},
      {"line", &pencil, kPencilLine, kCanDraw, onSquare, 1100},
      {"shape, no layer", &pencil, kPencilLine, kNoLayer, away, 32641},
      {"ink bottle", &pencil, kPencilInkBottle, kCanDraw, onSquare, 32636},
      {"ink bottle, no layer", &pencil, kPencilInkBottle, kNoLayer, away, 32636},
      {"another mode, no layer", &pencil, 4, kNoLayer, away, 1206},
      {"lasso, empty canvas", &lasso, 0, kCanDraw, away, 32633},
      {"lasso, unselected fill", &lasso, 0, kCanDraw, onSquare, 32633},
      {"lasso, selected fill", &lasso, 0, kSelected, onSquare, 1208},
      {"lasso, away from the selection", &lasso, 0, kSelected, away, 32633},
      {"lasso, side handle over the selection", &lasso, 0, kScaleHandles, {}, 1211},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    ViewState& state = view->State();
    state.SetHandleMode(kHandleNone);
    ASSERT_TRUE(state.SelectAll(c.setup == kSelected || c.setup == kScaleHandles));
    ASSERT_TRUE(
        Edit(page, [&] { layer->SetType(c.setup == kNoLayer ? CPicLayer::kEditable : drawable); }));
    if (c.setup == kScaleHandles) {
      // Just inside the middle of the left side: on its handle and on the
      // selected fill.
      state.SetHandleMode(kHandleScale);
      const Rect32& r = state.GetHandleRect();
      c.at = Point32{r.xmin + 2, r.ymin + (r.ymax - r.ymin) / 2};
      ASSERT_EQ(FillAt(Drawing(), c.at.x, c.at.y), kRed);
    }
    pencil.SetDrawMode(c.mode);
    ::SetCursor(nullptr);
    EXPECT_TRUE(c.tool->SetCursor(*view, c.at));
    HCURSOR shown = ::GetCursor();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown, LoadCursor(c.cursor));
    EXPECT_EQ(shown->Id(), c.cursor);
  }
  ReleaseCursorOverride();
}

// The ink bottle on an unselected line recolours the run through vertices
// of two edges, up to the junction.
TEST_F(PencilToolTest, InkBottleRunsStopAtJunctions) {
  ASSERT_TRUE(Edit(page, [&] {
    EdgeGraph& g = Drawing();
    const auto black = static_cast<StyleIndex>(EdgeGraphAddLineStyle(g, SolidLine(0xFF000000, 20)));
    for (const std::vector<Point32>& run : {std::vector<Point32>{{20, 20}, {100, 40}, {180, 20}},
                                            std::vector<Point32>{{180, 20}, {260, 20}},
                                            std::vector<Point32>{{180, 20}, {180, 100}}}) {
      PointList path;
      for (const Point32& p : run) ASSERT_EQ(PointListAppend(path, p, 0), 0);
      ASSERT_EQ(EdgeGraphAddPath(g, path, black, 0, 0), 0);
    }
    ASSERT_EQ(EdgeGraphUpdate(g), 0);
  }));
  pencil.line = SolidLine(kRed, 40);
  pencil.SetDrawMode(kPencilInkBottle);
  const int steps = UndoSteps();
  Press({60, 20});
  EXPECT_EQ(UndoSteps(), steps + 1);
  EdgeGraph& g = Drawing();
  int red = 0, black = 0;
  EdgeGraphForEachEdge(g, nullptr, [&](Edge* e) {
    LineStyle s;
    EdgeGraphGetLineStyle(g, e->line, s);
    const bool beforeJunction =
        std::max(e->curve.p0.x, e->curve.p2.x) <= (180 << 8) && e->curve.p0.x != e->curve.p2.x;
    EXPECT_EQ(s.colour, beforeJunction ? kRed : 0xFF000000u);
    ++(s.colour == kRed ? red : black);
  });
  EXPECT_EQ(red, 2);
  EXPECT_EQ(black, 2);
}

// Lassos round a filled square: the selected fill is the lassoed part of
// the square (GEOS's intersection area); Shift adds to the selection.
TEST_F(PencilToolTest, LassoSelectsWhatItHoldsAndShiftAdds) {
  AddSquare(layer, {100, 200, 60, 160});
  CLassoTool lasso;
  tools.current = &lasso;
  // Closed polygons in client pixels (= twips), traced point by point.
  auto trace = [&](const std::vector<CPoint>& corners, UINT keys) {
    std::vector<CPoint> points;
    for (size_t i = 0; i < corners.size(); ++i) {
      const std::vector<CPoint> side = Steps(corners[i], corners[(i + 1) % corners.size()], 10);
      points.insert(points.end(), side.begin(), side.end() - 1);
    }
    points.push_back(corners[0]);
    Drag(points, keys);
  };
  auto selectedArea = [&] {
    double area = 0;
    for (Region* r : graph_test::OuterRegions(Drawing()))
      if (StyleIndexOf(r->fill) != 0 && StyleIsSelected(r->fill)) area += graph_test::FaceArea(r);
    return area;
  };
  auto expected = [&](const std::vector<std::vector<CPoint>>& lassos) {
    Geos geos;
    GEOSGeometry* square = geos.Polygon({{100, 60}, {200, 60}, {200, 160}, {100, 160}});
    GEOSGeometry* all = nullptr;
    for (const auto& l : lassos) {
      Geos::Points ring;
      for (const CPoint& p : l) ring.emplace_back(p.x, p.y);
      GEOSGeometry* part = geos.Polygon(ring);
      all = all == nullptr ? part : geos.Own(GEOSUnion_r(geos.ctx(), all, part));
    }
    return geos.Area(geos.Own(GEOSIntersection_r(geos.ctx(), square, all)));
  };
  const std::vector<CPoint> left{{80, 40}, {150, 40}, {150, 180}, {80, 180}};
  const std::vector<CPoint> corner{{170, 130}, {230, 130}, {230, 190}, {170, 190}};
  // Lasso outlines are fitted: allow a pixel along the cut.
  trace(left, 0);
  EXPECT_NEAR(selectedArea(), expected({left}), 100);
  trace(corner, MK_SHIFT);
  EXPECT_NEAR(selectedArea(), expected({left, corner}), 150);
  trace(corner, 0);
  EXPECT_NEAR(selectedArea(), expected({corner}), 100);
}

// A square outline of lines open by 40 units at the bottom: the bucket
// leaves it open at level 0 and while the gap is narrower than the mouth,
// and closes and fills it once the gap is wider; the closing edge stays
// only where it bounds the fill.
TEST_F(PencilToolTest, TheBucketClosesGapsNarrowerThanItsLevel) {
  ASSERT_TRUE(Edit(page, [&] {
    EdgeGraph& g = Drawing();
    const auto black = static_cast<StyleIndex>(EdgeGraphAddLineStyle(g, SolidLine(0xFF000000, 20)));
    PointList path;
    for (const Point32& p :
         std::vector<Point32>{{130, 200}, {60, 200}, {60, 60}, {240, 60}, {240, 200}, {170, 200}})
      ASSERT_EQ(PointListAppend(path, p, 0), 0);
    ASSERT_EQ(EdgeGraphAddPath(g, path, black, 0, 0), 0);
    ASSERT_EQ(EdgeGraphUpdate(g), 0);
  }));
  const int32_t outline = EdgeCount(Drawing());
  tools.current = &bucket;
  // The gap is the level times the pixel size, here one unit.
  for (const auto& [level, filled] :
       {std::pair{0, false}, std::pair{20, false}, std::pair{60, true}}) {
    SCOPED_TRACE(level);
    bucket.SetGapSize(level);
    Press({150, 120});
    EXPECT_EQ(FillAt(Drawing(), 150, 120), filled ? kRed : 0u);
    // Unfilled, no closing edge is left behind.
    if (!filled) {
      EXPECT_EQ(EdgeCount(Drawing()), outline);
    }
  }
  EXPECT_GT(EdgeCount(Drawing()), outline);
  EXPECT_EQ(FillAt(Drawing(), 150, 230), 0u);  // below the closed mouth
  // Undoing the fill takes the closing edge too.
  page->Undo();
  EXPECT_EQ(FillAt(Drawing(), 150, 120), 0u);
  EXPECT_EQ(EdgeCount(Drawing()), outline);
}

// Gradients placed by the bucket: a linear one without a drag keeps its
// angle and is fitted to the region's bounds; a radial one dragged from the
// click is centred where the drag ended.
TEST_F(PencilToolTest, TheBucketPlacesGradients) {
  AddSquare(layer, {100, 200, 60, 160}, 0xFF00FF00);
  tools.current = &bucket;
  FillStyle linear = GradientFill(kGradientLinear, {{0, 0xFF0000FF}, {255, 0xFFFF0000}});
  MatrixSetRotation(linear.matrix, 30 * kFixedOne);
  bucket.SetColorDef(linear);
  Press({150, 110});
  const FillStyle& placed = bucket.GetColorDef();
  EXPECT_NEAR(FixedAtan2(placed.matrix.b, placed.matrix.a), 30 * kFixedOne, kFixedOne / 8);
  // The square's corners lie in the gradient square, touching its edges.
  EXPECT_NEAR(GradientSquareReach(placed.matrix, {{100, 60}, {200, 60}, {200, 160}, {100, 160}}),
              0x4000, 0x4000 / 50);
  {
    Region* r = EdgeGraphFindRegion(Drawing(), {150 << 8, 110 << 8});
    ASSERT_NE(r, nullptr);
    FillStyle s;
    EdgeGraphGetFillStyle(Drawing(), r->fill, s);
    EXPECT_EQ(s.kind, kGradientLinear);
  }

  FillStyle radial = linear;
  radial.kind = kGradientRadial;
  bucket.SetColorDef(radial);
  Drag(Steps({150, 110}, {170, 125}, 6), MK_SHIFT);  // Shift: no snapping
  Point32 centre;
  MatrixTransformPoint(bucket.GetColorDef().matrix, Point32{0, 0}, centre);
  EXPECT_EQ(centre, (Point32{170, 125}));
}

// The Faucet takes a region's fill, and the line of a run of edges.
TEST_F(PencilToolTest, TheFaucetTakesFillsAndLines) {
  AddSquare(layer, {100, 200, 60, 160});
  CBrushTool faucet;
  faucet.Reset(0);
  faucet.SetMode(kBrushModeAlternate);
  tools.current = &faucet;
  const int steps = UndoSteps();
  Press({150, 110});
  EXPECT_EQ(FillAt(Drawing(), 150, 110), 0u);
  EXPECT_EQ(UndoSteps(), steps + 1);
  page->Undo();
  EXPECT_EQ(FillAt(Drawing(), 150, 110), kRed);
}

// A failure inside the bucket's drag aborts its transaction.
TEST_F(PencilToolTest, AFailureInTheBucketLeavesThePageAsItWas) {
  AddSquare(layer, {100, 200, 60, 160}, 0xFF00FF00);
  FillStyle radial = GradientFill(kGradientLinear, {{0, 0xFF0000FF}, {255, 0xFFFF0000}});
  radial.kind = kGradientRadial;
  bucket.SetColorDef(radial);
  const std::vector<uint8_t> before = PageBytes();
  const int steps = UndoSteps();
  CThrowingSource source;
  SetInputSource(&source);
  source.throwAt = 2;
  for (const CPoint& p : Steps({150, 110}, {170, 125}, 6)) {
    InputSample s;
    s.screen = Screen(p.x, p.y);
    s.buttons = MK_LBUTTON;
    source.Push(s);
  }
  bucket.OnPress(*view, MK_LBUTTON, 150, 110);  // reverted and reported
  EXPECT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(PageBytes(), before);
  EXPECT_EQ(UndoSteps(), steps);
  while (source.Remaining() > 0) (void)::IsButtonStillDown(nullptr);
  SetInputSource(&script);
}

// The bucket's drag turns a linear gradient across it (the gradient's
// angle is the drag's less 90 degrees). With snapping on, a direction whose
// arc to the nearest 15-degree step is under 10 units snaps to the step;
// Shift turns snapping off; a longer arc is kept.
TEST_F(PencilToolTest, TheBucketsDragSnapsItsAngle) {
  AddSquare(layer, {100, 200, 60, 160}, 0xFF00FF00);
  tools.current = &bucket;
  struct Case {
    CPoint end;
    UINT keys;
    double drag;  // degrees
  } cases[] = {
      {{190, 113}, 0, 0},  // 40 units at 4.3 degrees: an arc of 3
      {{190, 113}, MK_SHIFT, 4.29},
      {{290, 127}, 0, 6.92},  // 141 units at 6.9 degrees: an arc of 17
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.end.x << "," << c.end.y << " keys " << c.keys);
    bucket.SetColorDef(GradientFill(kGradientLinear, {{0, 0xFF0000FF}, {255, 0xFFFF0000}}));
    Drag(Steps({150, 110}, c.end, 6), c.keys);
    const Matrix2x3& m = bucket.GetColorDef().matrix;
    EXPECT_NEAR(std::remainder(FixedAtan2(m.b, m.a) / 65536.0 - (c.drag - 90), 360.0), 0, 0.5);
  }
}

// With the transform-fill flag a click edits the transform of the fill
// under it, and a click on nothing stops; neither changes the page.
TEST_F(PencilToolTest, TheTransformFillClickPicksTheFillUnderIt) {
  StyleIndex index = 0;
  ASSERT_TRUE(Edit(page, [&] {
    EdgeGraph& g = Drawing();
    index = static_cast<StyleIndex>(EdgeGraphAddFillStyle(
        g, GradientFill(kGradientLinear, {{0, 0xFF0000FF}, {255, 0xFFFF0000}})));
    PointList path;
    ASSERT_EQ(PathFromRect(path, {100, 200, 60, 160}), 0);
    ASSERT_EQ(EdgeGraphAddPath(g, path, 0, 0, index), 0);
    ASSERT_EQ(EdgeGraphUpdate(g), 0);
  }));
  tools.current = &bucket;
  bucket.m_transformFill = true;
  const std::vector<uint8_t> before = PageBytes();
  Press({150, 110});
  EXPECT_EQ(view->State().GetFillOwner(), static_cast<CPicObj*>(layer->GetFirstFrame()));
  EXPECT_EQ(view->State().GetEditedFill(), index);
  Press({250, 210});
  EXPECT_EQ(view->State().GetFillOwner(), nullptr);
  EXPECT_EQ(PageBytes(), before);
}

// The Faucet's click with no colour and no gaps to close.
class CFaucetHost : public BucketHost {
 public:
  FillStyle* Colour() override { return nullptr; }
  int32_t GapLevel() override { return 0; }
  uint32_t Now() override { return 0; }
};

// Two squares with lines and fills, everything selected. The tool clears
// the selection before its click: the clicked line's run alone loses its
// line. A click that finds the line selected takes the lines and fills of
// the whole selection.
TEST_F(PencilToolTest, TheFaucetOnASelectedLineTakesTheSelection) {
  ASSERT_TRUE(Edit(page, [&] {
    EdgeGraph& g = Drawing();
    const auto black = static_cast<StyleIndex>(EdgeGraphAddLineStyle(g, SolidLine(0xFF000000, 20)));
    const auto red = static_cast<StyleIndex>(EdgeGraphAddFillStyle(g, SolidFill(kRed)));
    for (const Rect32& r : {Rect32{60, 140, 60, 140}, Rect32{180, 260, 60, 140}}) {
      PointList path;
      ASSERT_EQ(PathFromRect(path, r), 0);
      ASSERT_EQ(EdgeGraphAddPath(g, path, black, 0, red), 0);
    }
    ASSERT_EQ(EdgeGraphUpdate(g), 0);
  }));
  ASSERT_TRUE(view->State().SelectAll(true));
  CBrushTool faucet;
  faucet.Reset(0);
  faucet.SetMode(kBrushModeAlternate);
  tools.current = &faucet;
  const int steps = UndoSteps();
  Press({60, 100});
  EXPECT_EQ(UndoSteps(), steps + 1);
  EdgeGraph& g = Drawing();
  EXPECT_EQ(FillAt(g, 100, 100), kRed);
  int lined = 0;
  EdgeGraphForEachEdge(g, nullptr, [&](Edge* e) { lined += StyleIndexOf(e->line) != 0 ? 1 : 0; });
  EXPECT_EQ(lined, 4);  // the other square's

  page->Undo();
  ASSERT_TRUE(view->State().SelectAll(true));
  CFaucetHost host;
  ASSERT_TRUE(Edit(page, [&] { PaintBucketClick(view->State(), {60, 100}, host); }));
  EXPECT_EQ(FillAt(g, 100, 100), 0u);
  EXPECT_EQ(FillAt(g, 220, 100), 0u);
  EdgeGraphForEachEdge(g, nullptr, [&](Edge* e) { EXPECT_EQ(StyleIndexOf(e->line), 0); });
}

// The ink bottle on an unselected region gives the line to its boundary
// and its holes'; on a selected region, to every selected line.
TEST_F(PencilToolTest, InkBottleOnRegionsAndSelections) {
  AddSquare(layer, {60, 240, 40, 200});
  AddSquare(layer, {110, 190, 90, 170}, 0xFF00FF00);
  pencil.SetDrawMode(kPencilInkBottle);
  EdgeGraph& g = Drawing();
  auto colours = [&] {
    std::vector<uint32_t> out;
    EdgeGraphForEachEdge(g, nullptr, [&](Edge* e) {
      LineStyle s;
      EdgeGraphGetLineStyle(g, e->line, s);
      out.push_back(StyleIndexOf(e->line) != 0 ? s.colour : 0u);
    });
    return out;
  };
  const size_t edges = colours().size();
  pencil.line = SolidLine(kRed, 40);
  Press({80, 60});  // the outer square's red, round the green hole
  EXPECT_EQ(colours(), std::vector<uint32_t>(edges, kRed));
  // The inner square alone would take only its own four edges.
  ASSERT_TRUE(view->State().SelectAll(true));
  pencil.line = SolidLine(0xFFFF0000, 40);
  const int steps = UndoSteps();
  Press({150, 130});
  EXPECT_EQ(UndoSteps(), steps + 1);
  EXPECT_EQ(colours(), std::vector<uint32_t>(edges, 0xFFFF0000u));
}

class PencilTabletTest : public PencilToolTest {
 protected:
  void SetUp() override {
    PencilToolTest::SetUp();
    AttachTablet();
  }
};

// A pen lifted mid-way makes two strokes, not joined.
TEST_F(PencilTabletTest, APenLiftStartsANewChunk) {
  Run({{5, {{40, 60, true}, {70, 60, true}, {100, 60, true}}},
       {15, {{110, 60, false}}},
       {25, {{150, 60, true}, {200, 60, true}, {240, 60, true}}},
       {30, {{240, 60, false, 1023, true}}}},
      {40, 60});
  ASSERT_EQ(EdgeCount(Drawing()), 2);
  std::vector<Rect32> lines;
  EdgeGraphForEachEdge(Drawing(), nullptr, [&](Edge* e) {
    Rect32 b;
    CurveGetBounds(e->curve, b);
    lines.push_back(b);
  });
  std::sort(lines.begin(), lines.end(),
            [](const Rect32& a, const Rect32& b) { return a.xmin < b.xmin; });
  EXPECT_NEAR(lines[0].xmax >> 8, 100, 2);
  EXPECT_NEAR(lines[1].xmin >> 8, 150, 2);
}

// A down packet left in the queue from before the press is not traced.
TEST_F(PencilTabletTest, PacketsFromBeforeThePressAreSkipped) {
  TabletQueuePacket(Packet({250, 200, true}, 990));
  Run({{5, {{40, 60, true}, {70, 60, true}, {100, 60, true}}},
       {15, {{100, 60, false, 1023, true}}}},
      {40, 60});
  ASSERT_EQ(EdgeCount(Drawing()), 1);
  const Rect32 b = EdgeBounds(Drawing());
  EXPECT_NEAR(b.xmax, 100, 2);
  EXPECT_NEAR(b.ymax, 60, 2);
}

// Nothing from the pen for 100 ms: the mouse is traced instead.
TEST_F(PencilTabletTest, WithoutDownPacketsTheMouseTakesOver) {
  script.SetTime(1000);
  for (uint32_t t = 10; t <= 300; t += 10) {
    InputSample s;
    s.time = 1000 + t;
    s.screen = Screen(40 + static_cast<int>(t) / 2, 60);
    s.buttons = MK_LBUTTON;
    script.Push(s);
  }
  Press({40, 60});
  ASSERT_EQ(EdgeCount(Drawing()), 1);
  const Rect32 b = EdgeBounds(Drawing());
  EXPECT_NEAR(b.xmin, 40, 2);
  EXPECT_NEAR(b.xmax, 190, 2);
}

}  // namespace
