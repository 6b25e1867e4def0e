// The object walk, the frame being edited, the hit test, the selection
// operations and the handle rectangles of the view state.
#include <gtest/gtest.h>

#include <functional>

#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_select.h"
#include "geometry/edge_graph_update.h"
#include "geometry/point_list.h"
#include "tests/common/edge_styles.h"
#include "view/core/assistant_settings.h"
#include "view_fixture.h"

namespace {

StyleIndex Hairline(EdgeGraph& graph) {
  LineStyle style = SolidLine(0xFF000000, 1);
  return static_cast<StyleIndex>(EdgeGraphAddLineStyle(graph, style));
}

void AddPath(EdgeGraph& graph, const std::vector<Point32>& points, StyleIndex line,
             StyleIndex fill = 0) {
  PointList path;
  for (const Point32& p : points) ASSERT_EQ(PointListAppend(path, p, 0), 0);
  ASSERT_EQ(EdgeGraphAddPath(graph, path, line, fill, 0), 0);
  ASSERT_EQ(EdgeGraphUpdate(graph), 0);
}

// A closed square with its inside filled (the path runs so that the fill on
// its first side lies inside).
void AddFilledSquare(EdgeGraph& graph, const Rect32& r, const FillStyle& style) {
  auto fill = static_cast<StyleIndex>(EdgeGraphAddFillStyle(graph, style));
  AddPath(
      graph,
      {{r.xmin, r.ymin}, {r.xmin, r.ymax}, {r.xmax, r.ymax}, {r.xmax, r.ymin}, {r.xmin, r.ymin}}, 0,
      fill);
}

int SelectedEdges(const EdgeGraph& graph) {
  int n = 0;
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) { n += EdgeIsSelected(*e) ? 1 : 0; });
  return n;
}

// Layers front to back, each with key frames of the given lengths.
class ViewWalkTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    delete Root()->GetFirstChild();  // the new page's layer
    Show(page);
  }
  CPicLayer* AddLayer(const std::string& name, int32_t kind, const std::vector<int32_t>& lengths) {
    CPicLayer* layer = MakeLayer(lengths);
    layer->SetName(name);
    Root()->AddChild(layer, CPicObj::kAddFirst);  // behind the layers added before
    layer->SetType(kind);
    Root()->RecalcAndNotify(nullptr);
    return layer;
  }
  CPicFrame* KeyFrame(CPicLayer* layer, int index) {
    CPicObj* c = layer->GetFirstChild();
    while (index-- > 0) c = c->GetNext();
    return static_cast<CPicFrame*>(c);
  }
  // "layer:start@frame" for each object of the walk.
  std::string Walk(uint32_t flags) {
    std::string out;
    CViewObjIter it(*view, flags);
    while (CPicShape* f = it.Next()) {
      auto* key = dynamic_cast<CPicFrame*>(f);
      if (!out.empty()) out += " ";
      if (key == nullptr) {
        out += "focus@" + std::to_string(it.GetFrame());
        continue;
      }
      out += key->GetLayer()->GetName() + ":" + std::to_string(key->GetStartFrame()) + "@" +
             std::to_string(it.GetFrame());
    }
    return out;
  }
};

TEST_F(ViewWalkTest, WalkOrderWithOnionModesAndTweens) {
  CPicLayer* a = AddLayer("A", CPicLayer::kCurrent, {2, 3, 5});  // starts 0, 2, 5
  AddLayer("B", CPicLayer::kEditable, {10});
  AddLayer("C", CPicLayer::kLocked, {4, 6});
  AddLayer("D", CPicLayer::kHidden, {10});
  KeyFrame(a, 1)->SetFrameStyle(CPicFrame::kTweenMotion);  // frames 2..4 are tweened
  constexpr uint32_t kFront = CViewObjIter::kWalkFrontToBack;
  constexpr uint32_t kLocked = CViewObjIter::kWalkLocked;

  struct Case {
    int32_t frame;
    uint32_t onion;
    int32_t relative, before, after;
    uint32_t flags;
    const char* want;
  } cases[] = {
      // One key frame per editable layer; locked ones only with the flag.
      {0, 0, 1, -2, 2, kFront, "A:0@0 B:0@0"},
      {0, 0, 1, -2, 2, 0, "B:0@0 A:0@0"},
      {0, 0, 1, -2, 2, kFront | kLocked, "A:0@0 B:0@0 C:0@0"},
      // A tweened key frame only at its first frame.
      {3, 0, 1, -2, 2, kFront, "B:0@3"},
      {2, 0, 1, -2, 2, kFront, "A:2@2 B:0@2"},
      // Editing several frames: each key frame of the range once, clipped to
      // the range's start.
      {4, kOnionEditSeveral, 1, -2, 2, kFront, "A:5@5 A:2@2 B:0@2"},
      {4, kOnionEditSeveral, 1, -2, 2, 0, "B:0@2 A:2@2 A:5@5"},
      {4, kOnionEditSeveral, 0, 1, 8, kFront, "A:5@5 A:2@2 A:0@1 B:0@1"},
      {4, kOnionEditSeveral | kOnionShow, 1, -9, 20, kFront, "A:5@5 A:2@2 A:0@0 B:0@0"},
      // Onion skin shown but one frame edited.
      {4, kOnionShow, 1, -2, 2, kFront, "B:0@4"},
      {6, kOnionShow | kOnionOutlines, 1, -2, 2, kFront, "A:5@6 B:0@6"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "frame " << c.frame << " onion " << c.onion << " flags " << c.flags);
    view->GoToFrame(c.frame);
    view->onion_flags = c.onion;
    view->onion_relative = c.relative;
    view->onion_before = c.before;
    view->onion_after = c.after;
    EXPECT_EQ(Walk(c.flags), c.want);
  }

  // Playing: nothing is editable, but the locked walk goes on.
  view->onion_flags = 0;
  view->GoToFrame(0);
  view->playing = 1;
  EXPECT_EQ(Walk(kFront), "");
  EXPECT_EQ(Walk(kFront | kLocked), "A:0@0 B:0@0 C:0@0");
  EXPECT_EQ(view->GetEditFrame(), nullptr);
  view->playing = 0;

  // A focused object is the walk.
  auto* group = new CPicShape;
  KeyFrame(a, 0)->AddChild(group);
  view->SetFocusObject(group);
  EXPECT_EQ(Walk(kFront | kLocked), "focus@0");
  EXPECT_EQ(view->GetEditFrame(), group);
  view->ClearFocusObject();
  EXPECT_EQ(Walk(kFront), "A:0@0 B:0@0");
}

TEST_F(ViewWalkTest, TheFrameBeingEdited) {
  CPicLayer* a = AddLayer("A", CPicLayer::kEditable, {2, 3, 5});
  AddLayer("B", CPicLayer::kCurrent, {2, 3, 5});
  (void)a;
  CPicLayer* b = static_cast<CPicLayer*>(Root()->GetFirstChild());
  KeyFrame(b, 1)->SetFrameStyle(CPicFrame::kTweenMotion);
  EXPECT_EQ(view->FindEditLayer(), b);
  struct Case {
    int32_t frame;
    uint32_t onion;
    int32_t before;
    int want;  // key frame index, -1 none
  } cases[] = {
      {0, 0, -2, 0},
      {2, 0, -2, 1},                   // a tweened key frame at its first frame
      {3, 0, -2, -1},                  // elsewhere it is not editable
      {3, kOnionEditSeveral, -1, 1},   // unless editing several frames from its start
      {4, kOnionEditSeveral, -1, -1},  // it starts before the range
      {9, 0, -2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "frame " << c.frame << " onion " << c.onion);
    view->GoToFrame(c.frame);
    view->onion_flags = c.onion;
    view->onion_before = c.before;
    CPicShape* want = c.want < 0 ? nullptr : KeyFrame(b, c.want);
    EXPECT_EQ(view->GetEditFrame(), want);
    EXPECT_EQ(view->GetEditDrawing(), want != nullptr ? &want->GetGeometry() : nullptr);
  }
}

TEST_F(ViewWalkTest, OnionRange) {
  AddLayer("A", CPicLayer::kCurrent, {10});
  struct Case {
    int32_t frame;
    uint32_t onion;
    int32_t relative, before, after;
    int32_t first, last;
  } cases[] = {
      {5, 0, 1, -2, 2, 5, 5},
      {5, kOnionShow, 1, -2, 2, 3, 7},
      {1, kOnionShow, 1, -2, 2, 0, 3},
      {8, kOnionEditSeveral, 1, -2, 4, 6, 9},  // never past the page's last frame
      {5, kOnionShow, 0, 2, 7, 2, 7},          // absolute, the frame inside
      {8, kOnionShow, 0, 2, 7, 8, 8},          // outside
      {5, kOnionShow, 0, -3, 7, 0, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "frame " << c.frame << " onion " << c.onion);
    view->GoToFrame(c.frame);
    view->onion_flags = c.onion;
    view->onion_relative = c.relative;
    view->onion_before = c.before;
    view->onion_after = c.after;
    EXPECT_EQ(view->GetOnionFirstFrame(), c.first);
    EXPECT_EQ(view->GetOnionLastFrame(), c.last);
  }
}

// ---- hit test ------------------------------------------------------------------------------

class ViewHitTest : public ViewWalkTest {
 protected:
  void SetUp() override {
    ViewWalkTest::SetUp();
    ResetAssistantSettings();
    a = AddLayer("A", CPicLayer::kCurrent, {1});
    b = AddLayer("B", CPicLayer::kEditable, {1});
    c = AddLayer("C", CPicLayer::kLocked, {1});
    d = AddLayer("D", CPicLayer::kHidden, {1});
    box1 = new CTestBox(1, Rect32{0, 100, 0, 100});
    box2 = new CTestBox(2, Rect32{50, 150, 50, 150});
    KeyFrame(a, 0)->AddChild(box1);
    KeyFrame(a, 0)->AddChild(box2);  // on top of box 1
    box3 = new CTestBox(3, Rect32{0, 300, 0, 300});
    KeyFrame(b, 0)->AddChild(box3);
    KeyFrame(c, 0)->AddChild(new CTestBox(4, Rect32{0, 400, 0, 400}));
    KeyFrame(d, 0)->AddChild(new CTestBox(5, Rect32{0, 500, 0, 500}));
    EdgeGraph& g = KeyFrame(a, 0)->GetGeometry();
    AddPath(g, {{0, 1000}, {1000, 1000}}, Hairline(g));
    FillStyle red = SolidFill(0xFF0000FF);
    AddFilledSquare(KeyFrame(b, 0)->GetGeometry(), Rect32{2000, 3000, 2000, 3000}, red);
    view->SetZoom(4369, nullptr, 0);  // U = 15
  }
  std::string Hit(Point32 p, int32_t tolerance = 1) {
    ViewHitRecord hit;
    hit.point = p;
    hit.use_tolerance = tolerance;
    hit.object = box1;  // the test clears the results first
    hit.edge = reinterpret_cast<Edge*>(&hit);
    const bool found = view->HitTest(hit);
    if (!found) {
      EXPECT_EQ(hit.object, nullptr);
      EXPECT_EQ(hit.key_frame, nullptr);
      EXPECT_EQ(hit.edge, nullptr);
      return "none";
    }
    std::string layer = static_cast<CPicFrame*>(hit.key_frame)->GetLayer()->GetName();
    if (auto* box = dynamic_cast<CTestBox*>(hit.object)) {
      return "#" + std::to_string(box->m_id) + " in " + layer;
    }
    if (hit.edge != nullptr) return "edge in " + layer;
    if (hit.region != nullptr) return "fill in " + layer;
    return "?";
  }
  CPicLayer *a, *b, *c, *d;
  CTestBox *box1, *box2, *box3;
};

TEST_F(ViewHitTest, FrontLayerAndTopObjectFirst) {
  struct Case {
    Point32 p;
    const char* want;
  } cases[] = {
      {{75, 75}, "#2 in A"},    // the top child of the front layer
      {{25, 25}, "#1 in A"},    // the one below where the top does not reach
      {{200, 200}, "#3 in B"},  // the next layer
      {{350, 350}, "none"},     // a locked layer is skipped
      {{450, 450}, "none"},     // so is a hidden one
      {{500, 1000}, "edge in A"},  {{500, 1020}, "edge in A"},  // within the tolerance
      {{2500, 2500}, "fill in B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.p.x << "," << c.p.y);
    EXPECT_EQ(Hit(c.p), c.want);
  }
  EXPECT_EQ(Hit({500, 1020}, 0), "none");  // without the tolerance

  // The frame of the hit.
  ViewHitRecord hit;
  hit.point = {75, 75};
  ASSERT_TRUE(view->HitTest(hit));
  EXPECT_EQ(hit.frame, 0);
  EXPECT_EQ(hit.key_frame, KeyFrame(a, 0));
  EXPECT_EQ(hit.graph, &KeyFrame(a, 0)->GetGeometry());
}

TEST_F(ViewHitTest, LockedObjectsCentresOutlinesAndTheEditedText) {
  box2->SetAttributeFlags(true, false);  // locked
  EXPECT_EQ(Hit({75, 75}), "#1 in A");

  // A selected object's centre point is hit within the second tolerance
  // (U times the second tap value: 15 x 4).
  Point32 centre{600, 600};
  box3->SetCenter(&centre);
  EXPECT_EQ(Hit({655, 600}), "none");  // not selected
  box3->SetSelected(true);
  EXPECT_EQ(Hit({655, 600}), "#3 in B");
  EXPECT_EQ(Hit({665, 600}), "none");

  // Outlines: fills are not hit.
  view->view_quality = kQualityOutlines;
  EXPECT_EQ(Hit({2500, 2500}), "none");
  EXPECT_EQ(Hit({2000, 2500}), "edge in B");
  view->view_quality = kQualityFast;

  // The edited text object comes first, wherever it lies.
  auto* text = new CTestBox(6, Rect32{0, 100, 0, 100});
  KeyFrame(c, 0)->AddChild(text);
  view->SetTextEditTarget(text);
  ViewHitRecord hit;
  hit.point = {75, 75};
  ASSERT_TRUE(view->HitTest(hit));
  EXPECT_EQ(hit.object, text);
  EXPECT_EQ(hit.key_frame, nullptr);
}

// ---- selection -------------------------------------------------------------------------------

class ViewSelectionTest : public ViewWalkTest {
 protected:
  void SetUp() override {
    ViewWalkTest::SetUp();
    a = AddLayer("A", CPicLayer::kCurrent, {1});
    b = AddLayer("B", CPicLayer::kEditable, {1});
    c = AddLayer("C", CPicLayer::kLocked, {1});
    box1 = new CTestBox(1, Rect32{0, 100, 0, 100});
    box2 = new CTestBox(2, Rect32{1000, 1100, 1000, 1100});
    box1->m_classify = 2;  // wholly inside the lasso below
    KeyFrame(a, 0)->AddChild(box1);
    KeyFrame(a, 0)->AddChild(box2);
    box3 = new CTestBox(3, Rect32{0, 300, 0, 300});
    KeyFrame(b, 0)->AddChild(box3);
    locked = new CTestBox(4, Rect32{0, 400, 0, 400});
    KeyFrame(c, 0)->AddChild(locked);
    for (CPicLayer* layer : {a, b, c}) {
      EdgeGraph& g = KeyFrame(layer, 0)->GetGeometry();
      AddPath(g, {{0, 2000}, {4000, 2000}}, Hairline(g));
    }
    Root()->RecalcAndNotify(nullptr);
  }
  // The tree with its selection bits, and the selected edges of each frame.
  std::string State() {
    std::string s = DumpTree(Root());
    for (CPicLayer* layer : {a, b, c}) {
      EdgeGraph& g = KeyFrame(layer, 0)->GetGeometry();
      s += " " + layer->GetName() + ":" + std::to_string(SelectedEdges(g)) + "/" +
           std::to_string(g.edge_count);
    }
    return s;
  }
  CPicLayer *a, *b, *c;
  CTestBox *box1, *box2, *box3, *locked;
};

TEST_F(ViewSelectionTest, EachOperationIsOneUndoStepThatRestoresTheSelection) {
  PointList lasso;  // around box 1 and the left half of the lines
  for (Point32 p : {Point32{-50, -50}, Point32{-50, 2500}, Point32{2000, 2500}, Point32{2000, -50},
                    Point32{-50, -50}}) {
    ASSERT_EQ(PointListAppend(lasso, p, 0), 0);
  }
  Matrix2x3 move;
  MatrixSetTranslation(move, 500, 0);

  struct Case {
    const char* name;
    bool preselect;  // box 2 and B's line selected first
    std::function<bool()> op;
    std::function<void()> check;
  } cases[] = {
      {"select all", false, [&] { return view->SelectAll(true); },
       [&] {
         EXPECT_TRUE(box1->IsSelected() && box2->IsSelected() && box3->IsSelected());
         EXPECT_FALSE(locked->IsSelected());  // a locked layer is not walked
         EXPECT_EQ(view->HasSelection(3), 3u);
       }},
      {"deselect all", true, [&] { return view->SelectAll(false); },
       [&] {
         EXPECT_FALSE(box2->IsSelected());
         EXPECT_EQ(view->HasSelection(3), 0u);
       }},
      {"lasso", false, [&] { return view->LassoSelect(lasso); },
       [&] {
         EXPECT_TRUE(box1->IsSelected());
         EXPECT_FALSE(box2->IsSelected());
         EXPECT_EQ(view->HasSelection(1), 1u);
         Rect32 r;
         view->GetSelectionBounds(r);
         EXPECT_EQ(r.xmin, -10);
         EXPECT_EQ(r.xmax, 2000);
       }},
      {"delete", true, [&] { return view->DeleteSelection(); },
       [&] {
         EXPECT_EQ(KeyFrame(a, 0)->GetLastChild(), box1);
         EXPECT_EQ(KeyFrame(b, 0)->GetGeometry().edge_count, 0);
       }},
      {"detach", true, [&] { return view->DetachSelectedEdges(); },
       [&] {
         auto* piece = dynamic_cast<CPicShape*>(KeyFrame(b, 0)->GetFirstChild());
         ASSERT_NE(piece, nullptr);
         EXPECT_TRUE(piece->IsPlainDrawing() && piece->IsSelected());
         EXPECT_EQ(piece->GetGeometry().edge_count, 1);
         EXPECT_EQ(KeyFrame(b, 0)->GetGeometry().edge_count, 0);
       }},
      {"transform", true, [&] { return view->TransformSelection(move, false); },
       [&] {
         EXPECT_EQ(box2->m_box, (Rect32{1000, 1100, 1000, 1100}));  // boxes keep their box
         Rect32 r;
         view->GetSelectionBounds(r);
         EXPECT_EQ(r.xmax, 4500);  // the detached line moved
       }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    if (k.preselect) {
      ASSERT_TRUE(CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] {
        box2->SetSelected(true);
        ASSERT_EQ(EdgeGraphSetSelected(KeyFrame(b, 0)->GetGeometry(), true), 0);
      }));
    }
    const std::string before = State();
    const int steps = StepCount(page->GetUndoList());
    ASSERT_TRUE(k.op());
    k.check();
    EXPECT_EQ(StepCount(page->GetUndoList()), steps + 1);
    EXPECT_NE(State(), before);
    page->Undo();
    EXPECT_EQ(State(), before);
    if (k.preselect) page->Undo();
  }
}

TEST_F(ViewSelectionTest, QueriesAndEmptySelections) {
  Rect32 r;
  view->GetSelectionBounds(r);
  EXPECT_TRUE(r.IsEmpty());
  EXPECT_EQ(view->HasSelection(3), 0u);
  EXPECT_EQ(view->GetSingleSelected(), nullptr);
  const int steps = StepCount(page->GetUndoList());
  Matrix2x3 move;
  MatrixSetTranslation(move, 500, 0);
  EXPECT_FALSE(view->TransformSelection(move, true));  // nothing selected: nothing done
  EXPECT_EQ(StepCount(page->GetUndoList()), steps);

  ASSERT_TRUE(
      CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] { box2->SetSelected(true); }));
  EXPECT_EQ(view->HasSelection(1), 0u);  // no edges, no plain drawing
  EXPECT_EQ(view->HasSelection(2), 2u);
  EXPECT_EQ(view->GetSingleSelected(), box2);
  view->GetSelectionBounds(r);
  EXPECT_EQ(r, (Rect32{990, 1110, 990, 1110}));
  ASSERT_TRUE(
      CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] { box3->SetSelected(true); }));
  EXPECT_EQ(view->GetSingleSelected(), nullptr);

  // Text being edited hides the selection from the commands.
  view->SetTextEditTarget(box1);
  EXPECT_EQ(view->HasSelection(3), 0u);
  view->SetTextEditTarget(nullptr);

  // Marks of the reordering commands are cleared in every walked frame.
  box1->SetMark(true);
  locked->SetMark(true);
  view->ClearMarks();
  EXPECT_EQ(box1->GetFlags() & CPicObj::kMark, 0);
  EXPECT_NE(locked->GetFlags() & CPicObj::kMark, 0);  // not walked
}

TEST_F(ViewSelectionTest, TransformAboutTheCentreKeepsThePivot) {
  ASSERT_TRUE(CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] {
    ASSERT_EQ(EdgeGraphSetSelected(KeyFrame(a, 0)->GetGeometry(), true), 0);
  }));
  Rect32 before;
  view->GetSelectionBounds(before);
  Matrix2x3 scale;
  MatrixSetScale(scale, 0x8000, 0x8000);
  ASSERT_TRUE(view->TransformSelection(scale, true));
  Rect32 after;
  view->GetSelectionBounds(after);
  EXPECT_EQ(after, (Rect32{1000, 3000, 2000, 2000}));  // half as long about (2000, 2000)
  (void)before;
}

TEST_F(ViewSelectionTest, DeselectingFoldsPlainDrawingsBack) {
  ASSERT_TRUE(CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] {
    ASSERT_EQ(EdgeGraphSetSelected(KeyFrame(a, 0)->GetGeometry(), true), 0);
  }));
  ASSERT_TRUE(view->DetachSelectedEdges());
  ASSERT_NE(dynamic_cast<CPicShape*>(KeyFrame(a, 0)->GetFirstChild()), nullptr);
  EXPECT_EQ(view->HasSelection(1), 1u);  // a selected plain drawing
  ASSERT_TRUE(view->SelectAll(false));
  EXPECT_EQ(KeyFrame(a, 0)->GetFirstChild(), box1);  // the piece merged back
  EXPECT_EQ(KeyFrame(a, 0)->GetGeometry().edge_count, 1);
  EXPECT_EQ(SelectedEdges(KeyFrame(a, 0)->GetGeometry()), 0);
}

// ---- handles -----------------------------------------------------------------------------------

// Records handles and paths in device units (through the current matrix).
class HandleRecorder : public CRenderContext {
 public:
  void DrawHandle(const Point32& p, int flags) override {
    Point32 d;
    MatrixTransformPoint(m_matrix, p, d);
    calls.push_back("handle " + std::to_string(d.x) + "," + std::to_string(d.y) + " " +
                    std::to_string(flags));
  }
  void DrawPath(const PointList& path, const LineStyle* line, const FillStyle*) override {
    Rect32 bounds;
    PointListGetBounds(path, bounds);
    MatrixTransformRect(m_matrix, bounds, bounds);
    calls.push_back("path " + RectText(bounds) + " width " + std::to_string(line->width));
  }
  std::vector<std::string> calls;
};

TEST_F(ViewSelectionTest, HandleRectangles) {
  view->SetHandleMode(kHandleScale);
  EXPECT_EQ(view->GetHandleMode(), kHandleNone);  // nothing selected
  ASSERT_TRUE(
      CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] { box1->SetSelected(true); }));
  host.rects.clear();
  view->SetHandleMode(kHandleScale);
  EXPECT_EQ(view->GetHandleMode(), kHandleScale);
  EXPECT_EQ(view->GetHandleRect(), (Rect32{-10, 110, -10, 110}));
  {
    HandleRecorder rc;
    view->DrawHandles(rc);
    ASSERT_EQ(rc.calls.size(), 8u);
    EXPECT_EQ(rc.calls[0].substr(rc.calls[0].size() - 2), "17");
  }
  EXPECT_EQ(host.rects.size(), 1u);  // the new rectangle
  view->UpdateHighlight();           // unchanged: nothing redrawn
  EXPECT_EQ(host.rects.size(), 1u);

  Point32 centre{40, 60};
  box1->SetCenter(&centre);
  view->SetHandleMode(kHandleCenter);
  EXPECT_EQ(view->GetHandleRect(), (Rect32{40, 40, 60, 60}));
  {
    HandleRecorder rc;
    view->DrawHandles(rc);
    EXPECT_EQ(rc.calls, (std::vector<std::string>{"handle 40,60 67"}));
  }

  // Fill handles: the gradient's square mapped by its matrix (and the
  // owner's), a linear gradient's height from the edges that use it.
  for (uint8_t kind : {uint8_t{0x10}, uint8_t{0x12}}) {
    SCOPED_TRACE(static_cast<int>(kind));
    auto* owner = new CPicShape;
    KeyFrame(a, 0)->AddChild(owner);
    Matrix2x3 place;
    MatrixSetTranslation(place, 100, 0);
    owner->SetShapeMatrix(place);
    FillStyle gradient = SolidFill(0xFF000000);
    gradient.kind = kind;
    gradient.gradient.count = 2;
    gradient.gradient.ratios[1] = 255;
    gradient.gradient.colours[0] = 0xFF000000;
    gradient.gradient.colours[1] = 0xFFFFFFFF;
    gradient.matrix = Matrix2x3{FixedDiv(1000, 0x8000), 0, 0, FixedDiv(500, 0x8000), 1500, 1250};
    AddFilledSquare(owner->GetGeometry(), Rect32{1000, 2000, 1000, 1500}, gradient);
    view->EditFillOf(owner, 1);
    EXPECT_EQ(view->GetHandleMode(), kHandleFill);
    EXPECT_EQ(view->GetEditedFill(), 1);
    EXPECT_FALSE(box1->IsSelected());  // everything deselected first
    Rect32 r = view->GetHandleRect();
    EXPECT_NEAR(r.xmin, 1100, 2);
    EXPECT_NEAR(r.xmax, 2100, 2);
    EXPECT_NEAR(r.ymin, 1000, 2);
    EXPECT_NEAR(r.ymax, 1500, 2);
    // Drawn in fill space: the frame and four (radial) or three handles.
    HandleRecorder rc;
    view->DrawHandles(rc);
    std::vector<std::string> want =
        kind == 0x12 ? std::vector<std::string>{"path 1100,2100,1000,1500 width 1",
                                                "handle 2100,1250 17", "handle 2083,1315 18",
                                                "handle 2033,1375 18", "handle 1600,1250 18"}
                     : std::vector<std::string>{
                           "path 1100,1100,1000,1500 width 1", "path 2100,2100,1000,1500 width 1",
                           "handle 2100,1250 17", "handle 2100,1000 18", "handle 1600,1250 18"};
    EXPECT_EQ(rc.calls, want);
    // The owner goes away: the handles go with it.
    CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] { owner->DeleteFromParent(); });
    EXPECT_EQ(view->GetHandleMode(), kHandleNone);
    EXPECT_EQ(view->GetFillOwner(), nullptr);
  }

  // A solid fill has no handles.
  auto* solid = new CPicShape;
  KeyFrame(a, 0)->AddChild(solid);
  FillStyle red = SolidFill(0xFF0000FF);
  AddFilledSquare(solid->GetGeometry(), Rect32{0, 100, 0, 100}, red);
  view->EditFillOf(solid, 1);
  EXPECT_EQ(view->GetHandleMode(), kHandleNone);
}

}  // namespace
