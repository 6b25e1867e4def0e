// The drawing view's input through its window: QTest keys reach the
// handlers in order (typing in batches, Backspace between characters, tool
// letters, spring-loaded tools), Control+1 goes to the text being edited and
// otherwise on to the accelerators, a left press goes to the current tool
// inside the work area only, and WaitDragOrHold over scripted input.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/pic_frame.h"
#include "model/pic_page.h"
#include "model/pic_symbol.h"
#include "model/pic_text.h"
#include "model_fixtures.h"
#include "platform/core/archive.h"
#include "platform/core/exceptions.h"
#include "platform/core/file.h"
#include "platform/core/font.h"
#include "platform/qt/guard.h"
#include "platform/qt/input.h"
#include "platform/qt/menu.h"
#include "platform/qt/message_box.h"
#include "platform/qt/resources.h"
#include "platform/qt/window_surface.h"
#include "res/program_resources.h"
#include "tests/common/edge_styles.h"
#include "view/draw_tool.h"
#include "view/marl_view.h"
#include "view_fixture.h"
#include "view_shapes.h"
#include "window_host.h"

namespace {

class CRecordingTool : public CDrawTool {
 public:
  void OnPress(CMarlView& view, UINT, int32_t x, int32_t y) override {
    presses.push_back(CPoint(x, y));
    if (onPress) onPress(view);
  }
  void OnDoubleClick(CMarlView&, UINT, int32_t x, int32_t y) override {
    doubleClicks.push_back(CPoint(x, y));
  }
  bool SetCursor(CMarlView&, const Point32&) override {
    ++cursorCalls;
    return true;
  }
  int cursorCalls = 0;
  std::vector<CPoint> presses;
  std::vector<CPoint> doubleClicks;
  std::function<void(CMarlView&)> onPress;
};

class CRecordingTools : public ViewTools {
 public:
  CDrawTool* GetCurrentTool() override { return &tool; }
  CDrawTool* GetSpecialTool() override { return special; }
  int32_t GetCurrentToolType() const override { return type; }
  int32_t GetCurrentPanel() const override { return panel; }
  void SetCurrentTool(int32_t t, int32_t p, int32_t mode) override {
    type = t;
    panel = p;
    log.push_back(std::to_string(t) + "/" + std::to_string(p) + "/" + std::to_string(mode));
  }
  CRecordingTool tool;
  CDrawTool* special = nullptr;
  int32_t type = kToolPencil;
  int32_t panel = 1;
  std::vector<std::string> log;
};

// The timeline's playback, as the view drives it.
class CRecordingPlayback : public ViewPlayback {
 public:
  void StartPlaying() override { calls.push_back("start"); }
  void StopPlaying() override { calls.push_back("stop"); }
  void OnPlay() override { calls.push_back("play"); }
  void OnPlayTimer() override { calls.push_back("tick"); }
  bool IsTickDue(uint32_t) const override { return false; }
  std::vector<std::string> calls;
};

// Scripted input that fails at its k-th poll, as if the drag step that
// reads it ran out of memory.
class CFailingInputSource : public CScriptedInputSource {
 public:
  int failAt = 0;
  int polls = 0;

 protected:
  void Pump() override {
    if (++polls == failAt) throw CMemoryException();
    CScriptedInputSource::Pump();
  }
};

// A frame that runs the accelerator of Control+1 (Actual Size) when the
// view passes the key on.
class CAccelHost : public CHost {
 public:
  bool PreTranslateMessage(MSG* msg) override {
    if (msg->message == WM_KEYDOWN && msg->wParam == '1' && GetAsyncKeyState(VK_CONTROL) != 0) {
      ++accelerators;
      return true;
    }
    return false;
  }
  int accelerators = 0;
};

class MarlViewInputTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    SetFontService(&fonts);
    SetMessageBoxSink(&boxes);
    doc.m_movieRect = Rect32{0, 3000, 0, 2000};
    page = NewPage(doc);
    ASSERT_TRUE(host.Create("PL_Default", "frame", WS_VISIBLE, {20, 20, 260, 200}, nullptr, 0));
    view = std::make_unique<CMarlView>();
    ASSERT_TRUE(view->Create("PL_Default", "", WS_VISIBLE | WS_CHILD, {0, 0, 240, 180}, &host, 1));
    host.child = view.get();
    view->State().SetDocument(&doc);
    ASSERT_TRUE(view->SetEditContext(page));
    view->SetTools(&tools);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host.GetWidget()));
  }
  void TearDown() override {
    SetInputSource(nullptr);
    host.child = nullptr;
    view->DestroyWindow();
    host.DestroyWindow();
    view.reset();
    SetFontService(nullptr);
    SetMessageBoxSink(nullptr);
    ModelTest::TearDown();
  }
  CPicText* EditText() {
    auto* text = new CPicText;
    view->State().GetEditFrame()->AddChild(text);
    text->SetText("");
    text->SetSelection(0, 0);
    view->State().SetTextEditTarget(text);
    return text;
  }
  QWidget* Widget() { return view->GetWidget(); }
  CPoint ToClient(const Point32& doc) const {
    Matrix2x3 m;
    view->State().GetDocToClientMatrix(m);
    Point32 p;
    MatrixTransformPoint(m, doc, p);
    return CPoint(p.x, p.y);
  }
  // A left press at from (client pixels) held through the moves (pixels
  // from there), then released; the tool's press handler runs the gesture
  // over the script.
  void Drag(CScriptedInputSource& script, CPoint from, const std::vector<CPoint>& moves) {
    const CPoint origin = view->ClientToScreen(CPoint(0, 0));
    uint32_t t = 10;
    for (const CPoint& d : moves) {
      InputSample in;
      in.time = t += 10;
      in.screen = origin + from + d;
      in.buttons = MK_LBUTTON;
      script.Push(in);
    }
    InputSample up;
    up.time = t + 10;
    up.screen = origin + from + (moves.empty() ? CPoint(0, 0) : moves.back());
    script.Push(up);
    // Pressed well after the last click, so never taken as a double click.
    QTest::mousePress(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(from.x, from.y), 1000);
    QTest::mouseRelease(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(from.x, from.y));
  }
  std::string Dump() { return DumpPage(*page); }
  // Sixteen twips to the pixel: the page is 187 x 125 pixels.
  void Zoom() {
    view->State().SetZoom(FixedDiv(1, 16), nullptr, 0);
    ASSERT_EQ(view->State().GetPixelSize(), 16);
  }
  CPicShape* GradientSquare() {
    const Matrix2x3 place{FixedDiv(600, 0x4000), 0, 0, FixedDiv(450, 0x4000), 900, 750};
    FillStyle g = GradientFill(kGradientRadial, {{0, 0xFF000000}, {255, 0xFFFFFFFF}}, place);
    CPicShape* owner = Square(Rect32{300, 1500, 300, 1200}, 0, &g);
    view->State().GetEditFrame()->AddChild(owner);
    view->State().EditFillOf(owner, 1);
    EXPECT_EQ(view->State().GetHandleMode(), kHandleFill);
    return owner;
  }
  // A selected square with its centre point shown.
  CPicShape* CentredSquare() {
    CPicShape* box = Square(Rect32{300, 1500, 300, 1200}, 0xFF0000FF);
    view->State().GetEditFrame()->AddChild(box);
    EXPECT_TRUE(view->State().RunEdit([&] { box->SetSelected(true); }));
    view->State().SetHandleMode(kHandleCenter);
    EXPECT_EQ(view->State().GetHandleMode(), kHandleCenter);
    return box;
  }
  void PressRunsHandles() {
    tools.tool.onPress = [](CMarlView& v) {
      EXPECT_EQ(v.TrackHandles(v.GetCursorDocPoint(), false), 1);
    };
  }
  // Lets the posted typing message arrive.
  static void Drain() { QCoreApplication::processEvents(); }

  CFixedFontService fonts;
  CRecordingMessageBoxSink boxes;
  CTestDoc doc;
  CDocumentPage* page = nullptr;
  CAccelHost host;
  CRecordingTools tools;
  std::unique_ptr<CMarlView> view;
};

TEST_F(MarlViewInputTest, TypingKeepsTheOrderOfCharactersAndKeys) {
  CPicText* text = EditText();
  QTest::keyClicks(Widget(), "abx");
  QTest::keyClick(Widget(), Qt::Key_Backspace);  // before the batch went in
  QTest::keyClicks(Widget(), "c");
  Drain();
  EXPECT_EQ(text->GetText(0).substr(0, 3), "abc");
  // 150 characters queued before the view sees any: two batches, which
  // coalesce with the typing before them into one undo step.
  std::string many;
  for (int i = 0; i < 150; ++i) many += static_cast<char>('a' + i % 26);
  QTest::keyClicks(Widget(), QString::fromStdString(many));
  Drain();
  EXPECT_EQ(text->GetText(0).substr(0, 153), "abc" + many);
  // Caret keys move inside the text; the next characters go there.
  QTest::keyClick(Widget(), Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClicks(Widget(), "Z");
  Drain();
  EXPECT_EQ(text->GetText(0).substr(0, 4), "Zabc");
  view->State().SetTextEditTarget(nullptr);
}

TEST_F(MarlViewInputTest, TypingDuringAGestureArrivesAfterItInOrder) {
  CPicText* text = EditText();
  QTest::keyClicks(Widget(), "ab");
  tools.tool.onPress = [&](CMarlView& v) {
    EXPECT_TRUE(v.IsButtonStillDown());
    QKeyEvent c(QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, QString("c"));
    QCoreApplication::sendEvent(Widget(), &c);
    const QPoint at(10, 10);
    QMouseEvent up(QEvent::MouseButtonRelease, QPointF(at), QPointF(Widget()->mapToGlobal(at)),
                   Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Widget(), &up);
    int turns = 0;
    while (v.IsButtonStillDown() && ++turns < 100) {
    }
    EXPECT_LT(turns, 100);
    EXPECT_EQ(text->GetText(0).substr(0, 2), "ab");  // nothing typed inside the gesture
  };
  QTest::mousePress(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  QTest::keyClicks(Widget(), "d");
  Drain();
  EXPECT_EQ(text->GetText(0).substr(0, 4), "abcd");
  view->State().SetTextEditTarget(nullptr);
}

TEST_F(MarlViewInputTest, ToolLettersAndSpringLoadedTools) {
  struct Case {
    Qt::Key key;
    const char* want;
  } cases[] = {{Qt::Key_A, "2/0/-1"},
               {Qt::Key_I, "3/7/3"},
               {Qt::Key_U, "4/6/6"},
               {Qt::Key_L, "7/9/-1"},
               {Qt::Key_D, "9/5/-1"}};
  for (const Case& c : cases) {
    tools.log.clear();
    QTest::keyClick(Widget(), c.key);
    ASSERT_EQ(tools.log.size(), 1u);
    EXPECT_EQ(tools.log[0], c.want);
  }
  // Tab held (with auto-repeat) and released: the lasso, then the tool before.
  tools.type = kToolBrush;
  tools.panel = 2;
  tools.log.clear();
  QTest::keyPress(Widget(), Qt::Key_Tab);
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QString("\t"), true);
  QCoreApplication::sendEvent(Widget(), &repeat);
  EXPECT_EQ(tools.type, kToolLasso);
  QTest::keyRelease(Widget(), Qt::Key_Tab);
  EXPECT_EQ(tools.type, kToolBrush);
  EXPECT_EQ(tools.panel, 2);
  EXPECT_EQ(tools.log, (std::vector<std::string>{"7/9/-1", "4/2/-1"}));
}

TEST_F(MarlViewInputTest, ControlOneGoesToTheTextWhileItIsEdited) {
  // No text edited: the accelerator runs.
  QTest::keyClick(Widget(), Qt::Key_1, Qt::ControlModifier);
  EXPECT_EQ(host.accelerators, 1);
  CPicText* text = EditText();
  QTest::keyClicks(Widget(), "ab");
  Drain();
  text->SetSelection(0, 2);
  QTest::keyClick(Widget(), Qt::Key_1, Qt::ControlModifier);
  EXPECT_EQ(host.accelerators, 1);  // the text took it
  CTextStyle style;
  text->GetCharStyle(style, 0);
  EXPECT_EQ(style.fontFlag, 1);
  QTest::keyClick(Widget(), Qt::Key_2, Qt::ControlModifier);
  text->GetCharStyle(style, 0);
  EXPECT_EQ(style.fontFlag, 0);
  view->State().SetTextEditTarget(nullptr);
}

TEST_F(MarlViewInputTest, PressesGoToTheToolInsideTheWorkAreaOnly) {
  CScriptedInputSource script;
  SetInputSource(&script);
  const CRect client = view->GetClientRect();
  Matrix2x3 m;
  view->State().GetDocToClientMatrix(m);
  Point32 corner;
  MatrixTransformPoint(m, Point32{3000, 2000}, corner);
  const CPoint inside(5, 5);
  QTest::mouseClick(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(inside.x, inside.y));
  ASSERT_EQ(tools.tool.presses.size(), 1u);
  EXPECT_EQ(tools.tool.presses[0], inside);
  if (corner.x + 2 < client.right) {
    QTest::mouseClick(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(corner.x + 2, 5));
    EXPECT_EQ(tools.tool.presses.size(), 1u);  // beyond the page: nothing
  }
}

TEST_F(MarlViewInputTest, WaitDragOrHoldOverScriptedInput) {
  CScriptedInputSource script;
  SetInputSource(&script);
  const CPoint origin = view->ClientToScreen(CPoint(0, 0));
  const int32_t u = view->State().GetPickUnit();
  const int32_t p = view->State().GetPixelSize();
  // Pixels that make more than four pick units.
  const int far = 4 * u / p + 2;
  struct Sample {
    uint32_t time;
    int dx;
    bool down;
    bool ends_gesture;
  };
  struct Case {
    const char* what;
    std::vector<Sample> samples;
    int32_t want;
  } cases[] = {
      {"moved", {{10, 1, true, false}, {20, far, true, false}}, kWaitDrag},
      {"held still",
       {{10, 0, true, false}, {300, 1, true, false}, {510, 1, true, false}},
       kWaitHold},
      {"released", {{10, 0, true, false}, {20, 0, false, false}}, kWaitReleased},
      {"focus lost counts as a release",
       {{10, 0, true, false}, {20, 0, true, true}},
       kWaitReleased},
  };
  Matrix2x3 toDoc;
  view->State().GetClientToDocMatrix(toDoc);
  Point32 start;
  MatrixTransformPoint(toDoc, Point32{10, 10}, start);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    script.SetTime(0);
    for (const Sample& s : c.samples) {
      InputSample in;
      in.time = s.time;
      in.screen = origin + CPoint(10 + s.dx, 10);
      in.buttons = s.down ? MK_LBUTTON : 0;
      in.ends_gesture = s.ends_gesture;
      script.Push(in);
    }
    tools.tool.onPress = [&](CMarlView& v) { EXPECT_EQ(v.WaitDragOrHold(start), c.want); };
    QTest::mousePress(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  }
  EXPECT_EQ(tools.tool.presses.size(), std::size(cases));
}

TEST_F(MarlViewInputTest, FillHandleDragIsOneUndoStep) {
  CScriptedInputSource script;
  SetInputSource(&script);
  Zoom();
  CPicShape* owner = GradientSquare();
  const std::string before = Dump();
  const int32_t p = view->State().GetPixelSize();
  PressRunsHandles();
  // The width handle (1500, 750) ten pixels to the right.
  Drag(script, ToClient(Point32{1500, 750}), {{4, 0}, {10, 0}});
  EXPECT_FALSE(view->IsFeedbackActive());
  ASSERT_EQ(view->State().GetHandleMode(), kHandleFill);
  FillStyle now;
  EdgeGraphGetFillStyle(owner->GetGeometry(), view->State().GetEditedFill(), now);
  EXPECT_NEAR(now.matrix.a, FixedDiv(600 + 10 * p, 0x4000), 64);
  EXPECT_EQ(now.matrix.d, FixedDiv(450, 0x4000));
  page->Undo();
  EXPECT_EQ(Dump(), before);
  // A press that does not move changes nothing and records nothing.
  view->State().EditFillOf(owner, 1);
  const CEditStep* undo = page->GetUndoList();
  Drag(script, ToClient(Point32{1500, 750}), {});
  EXPECT_EQ(page->GetUndoList(), undo);
  EXPECT_EQ(Dump(), before);
}

TEST_F(MarlViewInputTest, CentrePointDraggedInsideSetsItOutsideRemovesIt) {
  CScriptedInputSource script;
  SetInputSource(&script);
  Zoom();
  CPicShape* box = CentredSquare();
  const int32_t p = view->State().GetPixelSize();
  PressRunsHandles();
  Drag(script, ToClient(Point32{900, 750}), {{3, 0}, {6, 4}});
  ASSERT_TRUE(box->HasCenter());
  Point32 centre;
  box->GetCenter(centre);
  EXPECT_NEAR(centre.x, 900 + 6 * p, p);
  EXPECT_NEAR(centre.y, 750 + 4 * p, p);
  EXPECT_EQ(view->State().GetHandleRect().xmin, centre.x);  // the handle follows
  // Out of the work area (the page ends at 3000 x 2000 twips).
  const CRect client = view->GetClientRect();
  const CPoint from = ToClient(centre);
  if (ToClient(Point32{3000, 2000}).x + 4 < client.right) {
    Drag(script, from, {{client.right - 2 - from.x, 0}});
    EXPECT_FALSE(box->HasCenter());
  }
}

TEST_F(MarlViewInputTest, AFailureInAHandleDragLeavesTheDocumentAsItWas) {
  // The selection's transform drag of a scale handle, as the arrow tool does
  // it: a step per sample, each inside the view's edit.
  class CTransformTool : public CRecordingTool {
   public:
    void DragTransform(CMarlView& v, const Point32&, const Point32&, int32_t kind) override {
      kinds.push_back(kind);
      Matrix2x3 step;
      MatrixSetTranslation(step, 15, 0);
      while (v.IsButtonStillDown()) ASSERT_TRUE(v.State().TransformSelection(step, false));
    }
    std::vector<int32_t> kinds;
  };
  CTransformTool transform;
  class CTransformTools : public CRecordingTools {
   public:
    CDrawTool* current = nullptr;
    CDrawTool* GetCurrentTool() override { return current; }
  } transformTools;
  transformTools.current = &transform;
  transform.onPress = [](CMarlView& v) { v.TrackHandles(v.GetCursorDocPoint(), false); };
  view->SetTools(&transformTools);
  Zoom();

  struct Case {
    const char* what;
    int32_t mode;
    Point32 handle;
  } cases[] = {
      {"fill width handle", kHandleFill, {1500, 750}},
      {"centre point", kHandleCenter, {900, 750}},
      {"scale handle", kHandleScale, {1500, 750}},
  };
  for (const Case& c : cases) {
    for (int k = 1; k <= 3; ++k) {
      SCOPED_TRACE(testing::Message() << c.what << ", failing at sample " << k);
      CPicShape* shape = c.mode == kHandleFill ? GradientSquare() : CentredSquare();
      if (c.mode != kHandleCenter) view->State().SetHandleMode(c.mode);
      ASSERT_EQ(view->State().GetHandleMode(), c.mode);
      ASSERT_TRUE(view->State().RunEdit([] {}));  // the steps before the drag
      const CEditStep* undo = page->GetUndoList();
      const std::string before = Dump();
      const int caught = GuardedExceptionCount();
      const size_t reported = services_.messages.size();
      CFailingInputSource failing;
      failing.failAt = k;
      SetInputSource(&failing);
      Drag(failing, ToClient(c.handle), {{3, 0}, {6, 0}, {9, 0}, {12, 0}});
      EXPECT_EQ(failing.polls, k);  // nothing polled after the failure
      EXPECT_EQ(Dump(), before);
      EXPECT_EQ(page->GetUndoList(), undo);
      EXPECT_EQ(page->GetEditDepth(), 0);
      EXPECT_FALSE(view->IsFeedbackActive());
      // Reported once: by the edit it broke, else by the window's guard.
      EXPECT_EQ(GuardedExceptionCount() - caught + (services_.messages.size() - reported), 1u);
      ASSERT_TRUE(view->State().RunEdit([&] { shape->DeleteFromParent(); }));
    }
  }
  EXPECT_EQ(transform.kinds, (std::vector<int32_t>{kDragScaleX, kDragScaleX, kDragScaleX}));
  // The view is still usable: the same scale drag without a failure.
  CPicShape* shape = CentredSquare();
  view->State().SetHandleMode(kHandleScale);
  Rect32 r;
  shape->GetBounds(r);
  CScriptedInputSource script;
  SetInputSource(&script);
  Drag(script, ToClient(Point32{1500, 750}), {{3, 0}, {6, 0}});
  Rect32 moved;
  shape->GetBounds(moved);
  EXPECT_GT(moved.xmin, r.xmin);
  view->SetTools(&tools);
}

TEST_F(MarlViewInputTest, ContextMenuChosenByTheSelectionIsUpdatedBeforeItOpens) {
  RegisterProgramResources();
  // The items of the menu that opens, each with its state at that moment.
  std::map<UINT, bool> items;
  UINT choose = 0;
  SetMenuTrackHook([&](CMenu& menu, CPoint) -> UINT {
    items.clear();
    for (int i = 0; i < menu.GetMenuItemCount(); ++i) {
      const UINT id = menu.GetMenuItemID(i);
      if (id != 0) items[id] = menu.IsItemEnabled(id);
    }
    return choose;
  });
  auto open = [&] {
    QTest::mouseClick(Widget(), Qt::RightButton, Qt::NoModifier, QPoint(20, 20), 1000);
  };
  // Nothing selected: the default menu; Insert Object is enabled by its
  // handler (there is a frame to edit), Cut has no handler here.
  open();
  ASSERT_TRUE(items.count(57856));
  EXPECT_TRUE(items[57856]);
  EXPECT_FALSE(items[57635]);
  // A selected group: Break Apart and Edit Object.
  CPicShape* box = Square(Rect32{300, 1500, 300, 1200}, 0xFF0000FF);
  view->State().GetEditFrame()->AddChild(box);
  ASSERT_TRUE(view->State().RunEdit([&] { box->SetSelected(true); }));
  open();
  EXPECT_TRUE(items.count(32769) && items.count(32790));
  EXPECT_FALSE(items.count(57856));
  // A text being edited: the text menu without Deselect All.
  EditText();
  open();
  EXPECT_TRUE(items.count(32936));
  EXPECT_FALSE(items.count(33037));
  view->State().SetTextEditTarget(nullptr);
  // The chosen command runs: Insert Object cannot make an object here and
  // says so, leaving the drawing as it was.
  ASSERT_TRUE(view->State().RunEdit([&] { box->SetSelected(false); }));
  const std::string before = Dump();
  choose = 57856;
  open();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, LoadString(102));
  EXPECT_EQ(Dump(), before);
  SetMenuTrackHook(nullptr);
}

TEST_F(MarlViewInputTest, ViewCommandsAndTheirUpdateHandlers) {
  // Enabled and checked as the update handler leaves them.
  auto update = [&](UINT id) {
    CCmdUI ui;
    ui.m_nID = id;
    EXPECT_TRUE(ui.DoUpdate(view.get(), true)) << id;
    return std::pair<bool, int>(ui.m_enabled, ui.m_check);
  };
  using State = std::pair<bool, int>;
  // Work Area: layout mode 1 and back, the document's view bit 2 following.
  EXPECT_EQ(update(33110), State(true, 0));
  ASSERT_TRUE(view->ExecuteCommand(33110));
  EXPECT_EQ(view->State().GetLayoutMode(), kLayoutWorkArea);
  EXPECT_NE(doc.m_viewOptionBits & 0x4, 0);
  EXPECT_EQ(update(33110), State(true, 1));
  ASSERT_TRUE(view->ExecuteCommand(33110));
  EXPECT_EQ(view->State().GetLayoutMode(), kLayoutPage);
  EXPECT_EQ(doc.m_viewOptionBits & 0x4, 0);
  // Edit Center Point: needs one selected object; the arrow tool, the
  // default centre (middle of the bounds) in one edit, handle mode 4.
  EXPECT_EQ(update(33111), State(false, 0));
  CPicShape* box = Square(Rect32{300, 1500, 300, 1200}, 0xFF0000FF);
  view->State().GetEditFrame()->AddChild(box);
  ASSERT_TRUE(view->State().RunEdit([&] { box->SetSelected(true); }));
  EXPECT_EQ(update(33111), State(true, 0));
  tools.log.clear();
  const CEditStep* undo = page->GetUndoList();
  ASSERT_TRUE(view->ExecuteCommand(33111));
  EXPECT_EQ(tools.log, (std::vector<std::string>{"2/0/-1"}));
  EXPECT_EQ(view->State().GetHandleMode(), kHandleCenter);
  ASSERT_TRUE(box->HasCenter());
  EXPECT_EQ(box->GetStoredCenter(), (Point32{900, 750}));
  EXPECT_NE(page->GetUndoList(), undo);
  EXPECT_EQ(update(33111), State(true, 1));
  ASSERT_TRUE(view->ExecuteCommand(33111));
  EXPECT_EQ(view->State().GetHandleMode(), kHandleNone);
  // Test Buttons: the mode and the document's view bit 1.
  EXPECT_EQ(update(33131), State(true, 0));
  ASSERT_TRUE(view->ExecuteCommand(33131));
  EXPECT_EQ(view->State().test_buttons, 1);
  EXPECT_NE(doc.m_viewOptionBits & 0x2, 0);
  EXPECT_EQ(update(33131), State(true, 1));
  // On the symbol side neither the work area nor test buttons apply.
  CDocumentPage* symbol = NewPage(doc, true);
  ASSERT_TRUE(view->SetEditContext(symbol));
  EXPECT_FALSE(update(33110).first);
  EXPECT_EQ(update(33131), State(false, 0));
}

TEST_F(MarlViewInputTest, TestButtonsTrackHoverAndActOnRelease) {
  CScriptedInputSource script;
  SetInputSource(&script);
  Zoom();
  // A one-frame symbol holding a square, placed as a button at 300..1500 x
  // 300..1200 whose action toggles the view quality.
  CDocumentPage* symbol = NewPage(doc, true);
  CPicFrame* symbolFrame = symbol->GetFirstFrame();
  symbolFrame->AddChild(Square(Rect32{0, 1200, 0, 900}, 0xFF0000FF));
  symbol->GetRoot()->RecalcAndNotify(nullptr);
  auto* button = new CPicButton;
  button->m_matrix.tx = 300;
  button->m_matrix.ty = 300;
  view->State().GetEditFrame()->AddChild(button);
  button->AttachToSymbol(symbol);
  CFrameAction quality;
  quality.type = CFrameAction::kToggleHighQuality;
  ASSERT_TRUE(view->State().RunEdit([&] { button->SetAction(quality); }));
  page->GetRoot()->RecalcAndNotify(nullptr);
  ASSERT_TRUE(view->ExecuteCommand(33131));
  const CPoint on = ToClient(Point32{900, 750});
  const CPoint off = ToClient(Point32{2500, 1800});

  // Hover: over while the mouse is on it, up when it leaves.
  QTest::mouseMove(Widget(), QPoint(on.x, on.y));
  EXPECT_EQ(button->GetState(), CPicButton::kOver);
  QTest::mouseMove(Widget(), QPoint(off.x, off.y));
  EXPECT_EQ(button->GetState(), CPicButton::kUp);

  struct Case {
    const char* what;
    std::vector<CPoint> moves;  // from the button's middle
    int32_t quality;            // after the release
    int32_t state;
  } cases[] = {
      {"released over it", {{2, 0}}, kQualitySmooth, CPicButton::kOver},
      {"released elsewhere", {{off.x - on.x, off.y - on.y}}, kQualitySmooth, CPicButton::kUp},
      {"left and came back", {{off.x - on.x, 0}, {1, 1}}, kQualityFast, CPicButton::kOver},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Drag(script, on, c.moves);
    EXPECT_EQ(view->State().view_quality, c.quality);
    EXPECT_EQ(button->GetState(), c.state);
  }
  EXPECT_TRUE(tools.tool.presses.empty());  // the tool never saw them
  // At outline quality no button is found: the press goes to the tool.
  view->State().view_quality = kQualityOutlines;
  Drag(script, on, {});
  EXPECT_EQ(tools.tool.presses.size(), 1u);
  // Leaving test mode puts the hovered button back up.
  view->State().view_quality = kQualityFast;
  QTest::mouseMove(Widget(), QPoint(on.x + 1, on.y));
  EXPECT_EQ(button->GetState(), CPicButton::kOver);
  ASSERT_TRUE(view->ExecuteCommand(33131));
  EXPECT_EQ(button->GetState(), CPicButton::kUp);
}

TEST_F(MarlViewInputTest, PageKeysEnterEscapeAndCursorKeys) {
  CDocumentPage* second = NewPage(doc);
  CDocumentPage* third = NewPage(doc);
  struct Case {
    Qt::Key key;
    CDocumentPage* want;
  } cases[] = {{Qt::Key_PageDown, second}, {Qt::Key_End, third}, {Qt::Key_PageDown, third},
               {Qt::Key_PageUp, second},   {Qt::Key_Home, page}, {Qt::Key_PageUp, page}};
  for (const Case& c : cases) {
    QTest::keyClick(Widget(), c.key);
    EXPECT_EQ(view->GetEditContext(), c.want) << c.key;
  }
  // Enter plays or stops through the view's playback.
  CRecordingPlayback playback;
  view->SetPlayback(&playback);
  QTest::keyClick(Widget(), Qt::Key_Return);
  EXPECT_EQ(playback.calls, (std::vector<std::string>{"play"}));
  // Shift and Control ask the tool for the cursor again.
  tools.tool.cursorCalls = 0;
  QTest::mouseMove(Widget(), QPoint(10, 10));
  const int afterMove = tools.tool.cursorCalls;
  EXPECT_GE(afterMove, 1);
  QTest::keyPress(Widget(), Qt::Key_Shift);
  QTest::keyRelease(Widget(), Qt::Key_Shift);
  EXPECT_EQ(tools.tool.cursorCalls, afterMove + 2);
  // Escape deselects, or ends the editing of a text.
  CPicShape* box = Square(Rect32{300, 1500, 300, 1200}, 0xFF0000FF);
  view->State().GetEditFrame()->AddChild(box);
  ASSERT_TRUE(view->State().RunEdit([&] { box->SetSelected(true); }));
  QTest::keyClick(Widget(), Qt::Key_Escape);
  EXPECT_FALSE(box->IsSelected());
  EXPECT_EQ(playback.calls.back(), "stop");
  CPicText* text = EditText();
  QTest::keyClicks(Widget(), "ab");
  QTest::keyClick(Widget(), Qt::Key_Escape);
  EXPECT_EQ(view->GetTextEditObject(), nullptr);
  EXPECT_EQ(text->GetText(0), "ab");  // typed before it ended
  view->SetPlayback(nullptr);
}

TEST_F(MarlViewInputTest, ThePenHeldUpsideDownPressesWithTheSpecialTool) {
  CScriptedInputSource script;
  SetInputSource(&script);
  CRecordingTool special;
  tools.special = &special;
  SetTabletPresent(true);
  view->OnActivateView(true, view.get(), nullptr);
  ASSERT_NE(view->GetTabletContext(), nullptr);
  ASSERT_TRUE(view->TabletHasOrientation());
  PACKET tip{};
  tip.pkCursor = kTabletCursorPen;
  tip.pkButtons = 1;  // its system action is a click
  tip.pkOrientation.orAltitude = 600;
  tip.pkTime = 5;
  PACKET eraser = tip;
  eraser.pkCursor = kTabletCursorEraser;
  eraser.pkOrientation.orAltitude = -600;
  PACKET hover = eraser;
  hover.pkButtons = 0;
  struct Case {
    const char* what;
    std::vector<PACKET> hovered;  // seen by a mouse move before the press
    std::vector<PACKET> queued;   // queued at the press
    uint32_t press_time;
    bool special;
  } cases[] = {
      {"a mouse", {}, {}, 10, false},
      {"pressed with the tip", {}, {tip, tip}, 10, false},
      {"pressed upside down", {}, {eraser, eraser}, 10, true},
      {"hovering upside down, pressed at once", {hover}, {}, 100, true},
      {"hovering upside down, long ago", {hover}, {}, 400, false},
      {"the tablet lost its pen", {}, {hover, hover}, 10, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    tools.tool.presses.clear();
    special.presses.clear();
    script.SetTime(0);
    for (const PACKET& p : c.hovered) TabletQueuePacket(p);
    QTest::mouseMove(Widget(), QPoint(12, 12));
    script.SetTime(c.press_time);
    QTest::mouseMove(Widget(), QPoint(10, 10));
    for (const PACKET& p : c.queued) TabletQueuePacket(p);
    Drag(script, CPoint(10, 10), {});
    EXPECT_EQ(special.presses.size(), c.special ? 1u : 0u);
    EXPECT_EQ(tools.tool.presses.size(), c.special ? 0u : 1u);
    PACKET left;
    EXPECT_EQ(WTPacketsPeek(view->GetTabletContext(), 1, &left), 0);  // flushed after the press
  }
  tools.special = nullptr;
  UnloadWintab();
  SetTabletPresent(false);
}

TEST_F(MarlViewInputTest, TheCaretBlinksOnTimerFourteen) {
  Zoom();
  CPicText* text = EditText();
  QTest::keyClicks(Widget(), "abc");
  Drain();
  view->UpdateWindow();
  const CRect client = view->GetClientRect();
  auto pixels = [&] {
    return view->GetSurface()->Image().copy(0, 0, client.Width(), client.Height());
  };
  auto differing = [](const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    return n;
  };
  const QImage shown = pixels();
  view->SendMessage(WM_TIMER, kCaretTimerId, 0);
  const QImage hidden = pixels();
  const int caret = differing(shown, hidden);
  EXPECT_GT(caret, 0);
  view->SendMessage(WM_TIMER, kCaretTimerId, 0);
  EXPECT_EQ(differing(pixels(), shown), 0);
  // With a selection there is no caret to blink.
  text->SetSelection(0, 2);
  view->InvalidateRect(nullptr, false);
  view->UpdateWindow();
  const QImage selected = pixels();
  view->SendMessage(WM_TIMER, kCaretTimerId, 0);
  EXPECT_EQ(differing(pixels(), selected), 0);
  view->State().SetTextEditTarget(nullptr);
}

TEST_F(MarlViewInputTest, AFittedViewFitsAgainWhenItsWindowGrows) {
  view->State().SetLayoutMode(kLayoutFit);
  const Fixed before = view->State().GetViewMatrix().a;
  host.MoveWindow(CRect(20, 20, 500, 400));
  Settle([&] { return view->GetClientRect().Width() > 300; });
  ASSERT_GT(view->GetClientRect().Width(), 300);
  EXPECT_GT(view->State().GetViewMatrix().a, before);
}

}  // namespace
