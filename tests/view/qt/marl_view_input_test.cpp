// The drawing view's input through its window: QTest keys reach the
// handlers in order (typing in batches, Backspace between characters, tool
// letters, spring-loaded tools), Control+1 goes to the text being edited and
// otherwise on to the accelerators, a left press goes to the current tool
// inside the work area only, and WaitDragOrHold over scripted input.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/pic_frame.h"
#include "model/pic_page.h"
#include "model/pic_text.h"
#include "model_fixtures.h"
#include "platform/core/font.h"
#include "platform/qt/input.h"
#include "view/draw_tool.h"
#include "view/marl_view.h"
#include "view_fixture.h"
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
  std::vector<CPoint> presses;
  std::vector<CPoint> doubleClicks;
  std::function<void(CMarlView&)> onPress;
};

class CRecordingTools : public ViewTools {
 public:
  CDrawTool* GetCurrentTool() override { return &tool; }
  int32_t GetCurrentToolType() const override { return type; }
  int32_t GetCurrentPanel() const override { return panel; }
  void SetCurrentTool(int32_t t, int32_t p, int32_t mode) override {
    type = t;
    panel = p;
    log.push_back(std::to_string(t) + "/" + std::to_string(p) + "/" + std::to_string(mode));
  }
  CRecordingTool tool;
  int32_t type = kToolPencil;
  int32_t panel = 1;
  std::vector<std::string> log;
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
  // Lets the posted typing message arrive.
  static void Drain() { QCoreApplication::processEvents(); }

  CFixedFontService fonts;
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
    bool endsGesture;
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
      in.endsGesture = s.endsGesture;
      script.Push(in);
    }
    tools.tool.onPress = [&](CMarlView& v) { EXPECT_EQ(v.WaitDragOrHold(start), c.want); };
    QTest::mousePress(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(Widget(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  }
  EXPECT_EQ(tools.tool.presses.size(), std::size(cases));
}

}  // namespace
