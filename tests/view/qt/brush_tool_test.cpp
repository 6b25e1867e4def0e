// Brush and Eraser strokes through the drawing view's window with scripted
// input: the stroke fills the drawing in one undo step, the Eraser clears
// every layer in edit, the tablet rules (pen lift, 100 and 600 ms, leaving
// proximity, pressure), and a failure while merging leaves the page as it was.
#include "view/brush_tool.h"

#include <gtest/gtest.h>

#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model_fixtures.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "platform/qt/cursors.h"
#include "platform/qt/dc.h"
#include "platform/qt/input.h"
#include "platform/qt/message_box.h"
#include "platform/qt/tablet.h"
#include "platform/qt/window_surface.h"
#include "tests/common/edge_styles.h"
#include "tool_fixture.h"
#include "view/marl_view.h"

namespace {

constexpr uint32_t kRed = 0xFF0000FF;

// One pixel per twip at 100 %: document points are client pixels.
class BrushToolTest : public ToolViewTest {
 protected:
  void SetUp() override {
    ToolViewTest::SetUp();
    tools.type = kToolBrush;
    tools.current = &brush;
    eraser.Reset(0);
    eraser.SetShape(brush.GetShape());
  }
  CPicLayer* AddLayer(int32_t type) {
    CPicLayer* l = nullptr;
    EXPECT_TRUE(Edit(page, [&] {
      l = MakeLayer({1});
      l->SetType(type);
      page->GetRoot()->AddChild(l);
    }));
    return l;
  }
  QImage Pixels() {
    const CRect client = view->GetClientRect();
    return view->GetSurface()->Image().copy(0, 0, client.Width(), client.Height());
  }

  CBrushTool brush;
  CBrushTool eraser;
};

TEST_F(BrushToolTest, MouseStrokeFillsTheDrawingInOneUndoStep) {
  const int before = UndoSteps();
  std::vector<CPoint> path;
  for (int x = 40; x <= 160; x += 6) path.emplace_back(x, 60);
  Drag(path);
  // Drawn on the window as it went.
  EXPECT_EQ(Pixels().pixelColor(100, 60), QColor(255, 0, 0));
  EdgeGraph& g = Drawing(layer);
  EXPECT_EQ(FillAt(g, 100, 60), kRed);
  EXPECT_EQ(FillAt(g, 40, 60), kRed);   // the round end at the start
  EXPECT_EQ(FillAt(g, 100, 68), kRed);  // 20 pixels high
  EXPECT_EQ(FillAt(g, 100, 75), 0u);
  EXPECT_EQ(FillAt(g, 175, 60), 0u);
  EXPECT_EQ(UndoSteps(), before + 1);
  page->Undo();
  EXPECT_EQ(Drawing(layer).edge_count, 0u);
  EXPECT_TRUE(boxes.boxes.empty());
}

// A stroke in a gradient colour has the gradient fitted to it: the
// stroke's bounds reach the sides of the gradient square.
TEST_F(BrushToolTest, AGradientStrokeIsFittedToTheStroke) {
  brush.SetColorDef(GradientFill(kGradientLinear, {{0, 0xFF0000FF}, {255, 0xFFFF0000}}));
  std::vector<CPoint> path;
  for (int x = 40; x <= 160; x += 6) path.emplace_back(x, 60);
  Drag(path);
  EdgeGraph& g = Drawing(layer);
  Region* r = EdgeGraphFindRegion(g, {100 << 8, 60 << 8});
  ASSERT_NE(r, nullptr);
  FillStyle placed;
  EdgeGraphGetFillStyle(g, r->fill, placed);
  EXPECT_EQ(placed.kind, kGradientLinear);
  const Rect32 b = EdgeBounds(g);
  EXPECT_NEAR(GradientSquareReach(placed.matrix, {{b.xmin, b.ymin}, {b.xmax, b.ymax}}), 0x4000,
              0x4000 / 25);
}

TEST_F(BrushToolTest, EraserClearsEveryLayerInEditAlongTheStroke) {
  CPicLayer* other = AddLayer(CPicLayer::kEditable);
  AddSquare(layer, {20, 200, 20, 100});
  AddSquare(other, {20, 200, 20, 100});
  tools.current = &eraser;
  const int before = UndoSteps();
  std::vector<CPoint> path;
  for (int x = 60; x <= 140; x += 5) path.emplace_back(x, 60);
  Drag(path);
  for (CPicLayer* l : {layer, other}) {
    EXPECT_EQ(FillAt(Drawing(l), 100, 60), 0u);
    EXPECT_EQ(FillAt(Drawing(l), 100, 30), kRed);
    EXPECT_EQ(FillAt(Drawing(l), 180, 60), kRed);
  }
  EXPECT_EQ(UndoSteps(), before + 1);
  page->Undo();
  EXPECT_EQ(FillAt(Drawing(layer), 100, 60), kRed);
  EXPECT_EQ(FillAt(Drawing(other), 100, 60), kRed);
}

TEST_F(BrushToolTest, NoCurrentLayerIsReportedAndNothingChanges) {
  ASSERT_TRUE(Edit(page, [&] { layer->SetType(CPicLayer::kEditable); }));
  const std::vector<uint8_t> before = PageBytes();
  Drag({{40, 60}, {100, 60}});
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].help_id, 608u);  // there is no current layer to draw into
  EXPECT_EQ(PageBytes(), before);
}

// Fails while the stroke is merged, after the plain drawings were merged.
class CThrowingPlacer : public BrushFillPlacer {
 public:
  [[noreturn]] bool PlaceFillGradient(EdgeGraph&, FillStyle&) override { throw CMemoryException(); }
};

TEST_F(BrushToolTest, AFailureLeavesThePageAsItWas) {
  AddSquare(layer, {20, 200, 20, 100});
  std::vector<CPoint> path;
  for (int x = 60; x <= 140; x += 5) path.emplace_back(x, 60);
  const std::vector<uint8_t> before = PageBytes();
  const int steps = UndoSteps();
  // During the gesture, at several samples.
  CThrowingSource source;
  SetInputSource(&source);
  for (int k : {0, 1, 5, 16}) {
    SCOPED_TRACE(k);
    source.throwAt = k;
    for (const CPoint& p : path) {
      InputSample s;
      s.screen = Screen(p.x, p.y);
      s.buttons = MK_LBUTTON;
      source.Push(s);
    }
    EXPECT_THROW(brush.OnPress(*view, MK_LBUTTON, 60, 60), CMemoryException);
    EXPECT_EQ(PageBytes(), before);
    EXPECT_EQ(UndoSteps(), steps);
    EXPECT_EQ(GetCapture(), nullptr);
    while (source.Remaining() > 0) (void)::IsButtonStillDown(nullptr);
  }
  SetInputSource(&script);
  // While the stroke is merged: reverted and reported.
  CThrowingPlacer placer;
  brush.SetFillPlacer(&placer);
  Drag(path);
  EXPECT_EQ(services_.messages.size(), 1u);
  EXPECT_EQ(PageBytes(), before);
  EXPECT_EQ(UndoSteps(), steps);
  brush.SetFillPlacer(nullptr);
}

TEST_F(BrushToolTest, CursorsByModeAndOptions) {
  const Point32 at{100, 60};
  ASSERT_TRUE(brush.SetCursor(*view, at));
  HCURSOR own = GetCursor();
  EXPECT_NE(own, nullptr);
  EXPECT_NE(own, LoadCursor(32643));
  brush.SetShape(brush.GetShape());  // a shape change makes it again
  ASSERT_TRUE(brush.SetCursor(*view, at));
  EXPECT_TRUE(IsCursorAlive(GetCursor()));
  struct Case {
    const char* what;
    CBrushTool* tool;
    int32_t mode;
    bool pressure, lock, transform;
    int want;
  } cases[] = {
      {"brush with pressure", &brush, 0, true, false, false, 482},
      {"eraser with pressure", &eraser, 0, true, false, false, 32639},
      {"paint bucket", &brush, kBrushModeAlternate, false, false, false, 1205},
      {"faucet", &eraser, kBrushModeAlternate, false, false, false, 32635},
      {"lock fill", &brush, kBrushModeAlternate, false, true, false, 32648},
      {"transform fill", &brush, kBrushModeAlternate, false, true, true, 32640},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BrushShape shape = c.tool->GetShape();
    shape.use_pressure = c.pressure ? 1 : 0;
    c.tool->SetShape(shape);
    c.tool->SetMode(c.mode);
    c.tool->m_lockFill = c.lock;
    c.tool->m_transformFill = c.transform;
    ASSERT_TRUE(c.tool->SetCursor(*view, at));
    EXPECT_EQ(GetCursor(), LoadCursor(c.want));
  }
  // Nothing to paint on: the arrow for the Brush, its own cursor for the Eraser.
  ASSERT_TRUE(Edit(page, [&] { layer->SetType(CPicLayer::kEditable); }));
  brush.SetMode(0);
  BrushShape plain = brush.GetShape();
  plain.use_pressure = 0;
  brush.SetShape(plain);
  ASSERT_TRUE(brush.SetCursor(*view, at));
  EXPECT_EQ(GetCursor(), LoadCursor(32643));
  eraser.SetMode(0);
  eraser.SetShape(plain);
  ASSERT_TRUE(eraser.SetCursor(*view, at));
  EXPECT_NE(GetCursor(), LoadCursor(32643));
  eraser.DestroyCursor();  // the cursor shown goes: the arrow first
  EXPECT_EQ(GetCursor(), LoadCursor(32643));
}

TEST_F(BrushToolTest, EraserDoubleClickClearsTheViewInOneStep) {
  AddSquare(layer, {20, 200, 20, 100});
  const int before = UndoSteps();
  brush.OnToolDoubleClick(*view);  // the Brush: nothing
  EXPECT_EQ(FillAt(Drawing(layer), 100, 60), kRed);
  eraser.OnToolDoubleClick(*view);
  EXPECT_EQ(Drawing(layer).edge_count, 0u);
  EXPECT_EQ(UndoSteps(), before + 1);
}

class BrushTabletTest : public BrushToolTest {
 protected:
  void SetUp() override {
    BrushToolTest::SetUp();
    AttachTablet();
  }
};

TEST_F(BrushTabletTest, PenStrokes) {
  struct Case {
    const char* what;
    std::vector<std::pair<uint32_t, std::vector<Pen>>> samples;
    std::vector<CPoint> painted;
    std::vector<CPoint> clear;
  } cases[] = {
      {"a pen lifted mid-way starts again without a connecting segment",
       {{5, {{40, 60, true}, {60, 60, true}, {80, 60, true}}},
        {15, {{90, 60, false}}},
        {25, {{130, 60, true}, {150, 60, true}, {170, 60, true}}}},
       {{60, 60}, {150, 60}},
       {{110, 60}}},
      {"600 ms without a down packet end the stroke",
       {{5, {{40, 60, true}, {80, 60, true}}}, {700, {}}, {710, {{80, 60, true}, {80, 160, true}}}},
       {{60, 60}},
       {{80, 130}}},
      {"leaving proximity ends the stroke at once",
       {{5, {{40, 60, true}, {80, 60, true}}},
        {15, {{80, 60, false, 0, true}}},
        {25, {{80, 60, true}, {80, 160, true}}}},
       {{60, 60}},
       {{80, 130}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Run(c.samples, {40, 60});
    EdgeGraph& g = Drawing(layer);
    for (const CPoint& p : c.painted) EXPECT_EQ(FillAt(g, p.x, p.y), kRed) << p.x << "," << p.y;
    for (const CPoint& p : c.clear) EXPECT_EQ(FillAt(g, p.x, p.y), 0u) << p.x << "," << p.y;
    page->Undo();
  }
}

TEST_F(BrushTabletTest, WithoutDownPacketsTheMouseTakesOver) {
  // 100 ms of nothing from the pen; the mouse then drags on.
  script.SetTime(1000);
  for (uint32_t t = 10; t <= 300; t += 10) {
    InputSample s;
    s.time = 1000 + t;
    const int x = 40 + static_cast<int>(t) / 3;
    s.screen = Screen(x, 60);
    s.buttons = MK_LBUTTON;
    script.Push(s);
  }
  Press({40, 60});
  EXPECT_EQ(FillAt(Drawing(layer), 130, 60), kRed);
}

TEST_F(BrushTabletTest, PressureScalesTheFootprint) {
  BrushShape shape = brush.GetShape();
  shape.use_pressure = 1;
  brush.SetShape(shape);
  ASSERT_TRUE(view->TabletHasPressure());
  // A full press paints the whole 20 pixels; a quarter press 5.
  Run({{5, {{40, 60, true, 1023}, {160, 60, true, 1023}}}}, {40, 60});
  EXPECT_EQ(FillAt(Drawing(layer), 100, 67), kRed);
  page->Undo();
  HCURSOR before = LoadStandardCursor(IDC_CROSS);
  ::SetCursor(before);
  Run({{5, {{40, 60, true, 256}, {160, 60, true, 256}}}}, {40, 60});
  EXPECT_EQ(GetCursor(), before);  // the pressure cursor went again
  EXPECT_EQ(FillAt(Drawing(layer), 100, 60), kRed);
  EXPECT_EQ(FillAt(Drawing(layer), 100, 67), 0u);
}

}  // namespace
