// A drawing view in a frame window on the offscreen platform with scripted
// input, for the tools' gestures: one pixel per twip at 100 %, a page of
// 3000 x 2000 with one layer to draw into, and helpers that drag, press and
// read the page back.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <memory>
#include <utility>
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
#include "platform/qt/dc.h"
#include "platform/qt/input.h"
#include "platform/qt/message_box.h"
#include "platform/qt/tablet.h"
#include "tests/common/edge_styles.h"
#include "view/draw_tool.h"
#include "view/marl_view.h"
#include "window_host.h"

class CTestTools : public ViewTools {
 public:
  CDrawTool* GetCurrentTool() override { return current; }
  int32_t GetCurrentToolType() const override { return type; }
  int32_t GetCurrentPanel() const override { return 1; }
  void SetCurrentTool(int32_t, int32_t, int32_t) override {}
  CDrawTool* current = nullptr;
  int32_t type = 0;
};

// Tablet packets at client points, the pen down or up.
struct Pen {
  int x, y;
  bool down;
  uint32_t pressure = 1023;
  bool out_of_proximity = false;
};

class ToolViewTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    SetLogPixels(1440, 1440);
    doc.m_movieRect = Rect32{0, 3000, 0, 2000};
    page = NewPage(doc);
    ASSERT_TRUE(host.Create("PL_Default", "frame", WS_VISIBLE, {20, 20, 320, 260}, nullptr, 0));
    view = std::make_unique<CMarlView>();
    ASSERT_TRUE(view->Create("PL_Default", "", WS_VISIBLE | WS_CHILD, {0, 0, 300, 240}, &host, 1));
    host.child = view.get();
    view->State().SetDocument(&doc);
    ASSERT_TRUE(view->SetEditContext(page));
    view->State().SetZoom(0x10000, nullptr, 0);
    layer = view->State().FindEditLayer();  // the page's first layer
    ASSERT_NE(layer, nullptr);
    view->SetTools(&tools);
    SetInputSource(&script);
    SetMessageBoxSink(&boxes);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host.GetWidget()));
  }
  void TearDown() override {
    SetInputSource(nullptr);
    SetMessageBoxSink(nullptr);
    host.child = nullptr;
    view->DestroyWindow();
    host.DestroyWindow();
    view.reset();
    SetLogPixels(0, 0);
    SetTabletPresent(false);
    UnloadWintab();
    ModelTest::TearDown();
  }
  EdgeGraph& Drawing(CPicLayer* l) { return l->GetFirstFrame()->GetGeometry(); }
  EdgeGraph& Drawing() { return Drawing(layer); }
  // A rectangle filled with a solid colour (no line) in the layer's drawing.
  void AddSquare(CPicLayer* l, const Rect32& r, uint32_t colour = 0xFF0000FF) {
    ASSERT_TRUE(Edit(page, [&] {
      EdgeGraph& g = Drawing(l);
      const auto fill = static_cast<StyleIndex>(EdgeGraphAddFillStyle(g, SolidFill(colour)));
      PointList path;
      ASSERT_EQ(PathFromRect(path, r), 0);
      ASSERT_EQ(EdgeGraphAddPath(g, path, 0, 0, fill), 0);
      ASSERT_EQ(EdgeGraphUpdate(g), 0);
    }));
  }
  CPoint Screen(int x, int y) { return view->ClientToScreen(CPoint(x, y)); }
  // A press at the first point, the button held along the others (10 ms
  // apart, with the keys), then released.
  void Drag(const std::vector<CPoint>& points, UINT keys = 0) {
    uint32_t t = 1000;
    script.SetTime(t);
    for (const CPoint& p : points) {
      InputSample s;
      s.time = t += 10;
      s.screen = Screen(p.x, p.y);
      s.buttons = MK_LBUTTON;
      s.keys = keys;
      script.Push(s);
    }
    Press(points.front(), keys);
  }
  void Press(CPoint at, UINT keys = 0) {
    const Qt::KeyboardModifiers m = (keys & MK_SHIFT) != 0 ? Qt::ShiftModifier : Qt::NoModifier;
    QTest::mousePress(view->GetWidget(), Qt::LeftButton, m, QPoint(at.x, at.y));
    QTest::mouseRelease(view->GetWidget(), Qt::LeftButton, m, QPoint(at.x, at.y));
  }
  // The page's stream.
  std::vector<uint8_t> PageBytes() {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    page->SerializeContents(ar);
    ar.Close();
    const auto data = file.GetData();
    return {data.begin(), data.end()};
  }
  int UndoSteps() const {
    int n = 0;
    for (const CEditStep* s = page->GetUndoList(); s != nullptr; s = s->m_link) ++n;
    return n;
  }

  // A tablet, with the view's context open.
  void AttachTablet() {
    SetTabletPresent(true);
    view->OnActivateView(true, view.get(), nullptr);
    ASSERT_NE(view->GetTabletContext(), nullptr);
    Matrix2x3 tabletToDoc;
    view->GetTabletToDocMatrix(tabletToDoc);
    MatrixInvert(tabletToDoc, doc_to_tablet);
  }
  PACKET Packet(const Pen& p, uint32_t time = 0) {
    PACKET k{};
    k.pkTime = time;
    Point32 t;
    MatrixTransformPoint(doc_to_tablet, Point32{p.x, p.y}, t);
    k.pkX = t.x;
    k.pkY = t.y;
    k.pkCursor = kTabletCursorPen;
    k.pkButtons = p.down ? 1 : 0;
    k.pkNormalPressure = p.pressure;
    k.pkStatus = p.out_of_proximity ? TPS_PROXIMITY : 0;
    return k;
  }
  // One input sample per entry (time, packets); the mouse button held
  // throughout at the first packet's point.
  void Run(const std::vector<std::pair<uint32_t, std::vector<Pen>>>& samples, CPoint mouse) {
    script.SetTime(1000);
    for (const auto& [time, pens] : samples) {
      InputSample s;
      s.time = 1000 + time;
      s.screen = Screen(mouse.x, mouse.y);
      s.buttons = MK_LBUTTON;
      for (const Pen& p : pens) s.packets.push_back(Packet(p, s.time));
      script.Push(s);
    }
    Press(mouse);
    // What the gesture left unread.
    while (script.Remaining() > 0) (void)::IsButtonStillDown(nullptr);
    PACKET rest[kTabletQueueSize];
    (void)WTPacketsGet(view->GetTabletContext(), static_cast<int>(kTabletQueueSize), rest);
  }

  CTestDoc doc;
  CDocumentPage* page = nullptr;
  CPicLayer* layer = nullptr;
  CHost host;
  CTestTools tools;
  std::unique_ptr<CMarlView> view;
  CScriptedInputSource script;
  CRecordingMessageBoxSink boxes;
  Matrix2x3 doc_to_tablet;
};

// The union of the drawing's edge bounds, in twips.
inline Rect32 EdgeBounds(EdgeGraph& g) {
  Rect32 all;
  EdgeGraphForEachEdge(g, nullptr, [&](Edge* e) {
    Rect32 b;
    CurveGetBounds(e->curve, b);
    RectUnion(all, b, all);
  });
  Rect32 out;
  RectShift(all, ShiftRight(8), out);
  return out;
}

// The fill's colour word at a document point; 0 for none.
inline uint32_t FillAt(EdgeGraph& g, int32_t x, int32_t y) {
  Region* r = EdgeGraphFindRegion(g, Point32{x << 8, y << 8});
  if (r == nullptr || StyleIndexOf(r->fill) == 0) return 0;
  FillStyle s;
  EdgeGraphGetFillStyle(g, r->fill, s);
  return s.colour;
}

// A source that throws at its k-th sample, as a failure inside a gesture.
class CThrowingSource : public CScriptedInputSource {
 public:
  int throwAt = -1;

 protected:
  void Pump() override {
    if (throwAt-- == 0) throw CMemoryException();
    CScriptedInputSource::Pump();
  }
};
