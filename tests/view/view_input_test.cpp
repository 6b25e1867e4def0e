// The drawing view's input decisions: key tables, spring-loaded tools,
// typing batches into a real text, arrow nudges at several zooms, drag or
// hold, button actions, context menus, cursors and handle drags.
#include "view/core/view_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/frame_action.h"
#include "model/pic_frame.h"
#include "model/pic_text.h"
#include "platform/core/code_page.h"
#include "platform/core/font.h"
#include "platform/qt/cursors.h"
#include "view_fixture.h"

namespace {

TEST(ViewKeysTest, ToolLettersInEitherCase) {
  struct Case {
    char letter;
    int32_t tool, panel, mode;
  } cases[] = {
      {'a', kToolArrow, 0, kToolLastMode},
      {'p', kToolPencil, 1, kToolLastMode},
      {'i', kToolPencil, 7, 3},
      {'b', kToolBrush, 2, kToolLastMode},
      {'u', kToolBrush, 6, 6},
      {'e', kToolEraser, 3, kToolLastMode},
      {'t', kToolText, 4, kToolLastMode},
      {'l', kToolLasso, 9, kToolLastMode},
      {'m', kToolMagnifier, 8, kToolLastMode},
      {'d', kToolDropper, 5, kToolLastMode},
  };
  for (const Case& c : cases) {
    for (char ch : {c.letter, static_cast<char>(c.letter - 'a' + 'A')}) {
      SCOPED_TRACE(std::string(1, ch));
      CharAction a = ToolLetterAction(static_cast<uint8_t>(ch));
      EXPECT_EQ(a.command, CharCommand::kTool);
      EXPECT_EQ(a.tool_type, c.tool);
      EXPECT_EQ(a.panel, c.panel);
      EXPECT_EQ(a.mode, c.mode);
    }
  }
  for (char ch : {',', '<'}) EXPECT_EQ(ToolLetterAction(ch).command, CharCommand::kStepBack);
  for (char ch : {'.', '>'}) EXPECT_EQ(ToolLetterAction(ch).command, CharCommand::kStepForward);
  for (uint32_t ch : {uint32_t{'c'}, uint32_t{'Z'}, uint32_t{'1'}, uint32_t{' '}, 0xE9u})
    EXPECT_EQ(ToolLetterAction(ch).command, CharCommand::kNone) << ch;
}

TEST(ViewKeysTest, KeyTableWithoutText) {
  using C = ViewKeyCommand;
  struct Case {
    int vk;
    bool control;
    C command;
    int32_t dx, dy;
  } cases[] = {
      {VK_SHIFT, false, C::kUpdateCursor, 0, 0},
      {VK_CONTROL, true, C::kUpdateCursor, 0, 0},
      {VK_ESCAPE, false, C::kEscape, 0, 0},
      {VK_BACK, false, C::kDeleteSelection, 0, 0},
      {VK_DELETE, false, C::kDeleteSelection, 0, 0},
      {VK_TAB, false, C::kSpringLasso, 0, 0},
      {VK_SPACE, false, C::kSpringArrow, 0, 0},
      {VK_RETURN, false, C::kPlay, 0, 0},
      {VK_PRIOR, false, C::kPreviousPage, 0, 0},
      {VK_NEXT, false, C::kNextPage, 0, 0},
      {VK_HOME, false, C::kFirstPage, 0, 0},
      {VK_END, false, C::kLastPage, 0, 0},
      {VK_LEFT, false, C::kNudge, -1, 0},
      {VK_RIGHT, false, C::kNudge, 1, 0},
      {VK_UP, false, C::kNudge, 0, -1},
      {VK_DOWN, false, C::kNudge, 0, 1},
      {VK_LEFT, true, C::kNudge, -8, 0},
      {VK_DOWN, true, C::kNudge, 0, 8},
      {'A', false, C::kDefault, 0, 0},
      {VK_F1, false, C::kDefault, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "vk " << c.vk << " control " << c.control);
    ViewKeyAction a = ViewKeyDownAction(c.vk, c.control);
    EXPECT_EQ(a.command, c.command);
    EXPECT_EQ(a.dx, c.dx);
    EXPECT_EQ(a.dy, c.dy);
  }
}

TEST(ViewKeysTest, KeyTableWhileTextIsEdited) {
  using C = TextKeyCommand;
  struct Case {
    int vk;
    bool control, shift;
    C command;
    uint32_t kind;
    int32_t arg;
    bool extend;
  } cases[] = {
      {VK_BACK, false, false, C::kDelete, 257, 1, false},
      {VK_DELETE, false, true, C::kDelete, 257, 2, false},
      {VK_UP, false, false, C::kCaret, 258, 0, false},
      {VK_LEFT, false, true, C::kCaret, 258, 1, true},
      {VK_RIGHT, false, false, C::kCaret, 258, 2, false},
      {VK_DOWN, false, false, C::kCaret, 258, 3, false},
      {VK_HOME, false, false, C::kCaret, 258, 4, false},
      {VK_END, false, true, C::kCaret, 258, 5, true},
      {VK_HOME, true, false, C::kCaret, 258, 6, false},
      {VK_END, true, true, C::kCaret, 258, 7, true},
      {VK_LEFT, true, false, C::kSpacing, 259, -1, false},
      {VK_RIGHT, true, false, C::kSpacing, 259, 1, false},
      {VK_RIGHT, true, true, C::kSpacing, 259, 4, false},
      {VK_LEFT, true, true, C::kSpacing, 259, -4, false},
      {VK_UP, true, false, C::kSpacingReset, 259, 0, false},
      {VK_DOWN, true, true, C::kSpacingReset, 259, 0, false},
      {'1', true, false, C::kFontFlag, 256, 1, false},
      {'2', true, false, C::kFontFlag, 256, 0, false},
      {'1', false, false, C::kDefault, 0, 0, false},
      {VK_ESCAPE, false, false, C::kDefault, 0, 0, false},
      {VK_TAB, false, false, C::kDefault, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "vk " << c.vk << " control " << c.control << " shift " << c.shift);
    TextKeyAction a = TextKeyDownAction(c.vk, c.control, c.shift);
    EXPECT_EQ(a.command, c.command);
    EXPECT_EQ(a.kind, c.kind);
    EXPECT_EQ(a.arg, c.arg);
    EXPECT_EQ(a.extend, c.extend);
  }
  EXPECT_TRUE(IsTextEditKey('1', true));
  EXPECT_TRUE(IsTextEditKey('2', true));
  EXPECT_FALSE(IsTextEditKey('1', false));
  EXPECT_FALSE(IsTextEditKey('3', true));
}

class FakeTools : public ToolSwitcher {
 public:
  int32_t GetCurrentToolType() const override { return type; }
  int32_t GetCurrentPanel() const override { return panel; }
  void SetCurrentTool(int32_t t, int32_t p, int32_t) override {
    type = t;
    panel = p;
    log.push_back(std::to_string(t) + "/" + std::to_string(p));
  }
  int32_t type = kToolPencil;
  int32_t panel = 7;
  std::vector<std::string> log;
};

TEST(SpringLoadedToolTest, SwitchesWhileHeldAndRestoresOnRelease) {
  // Each step: press (true) or release of a spring key, then the tool
  // current and the switches made so far.
  struct Step {
    bool press;
    int32_t tool;  // the key's tool (Lasso for Tab, Arrow for Space)
    int32_t want_tool, want_panel;
    size_t switches;
  };
  struct Case {
    const char* what;
    int32_t start_tool, start_panel;
    std::vector<Step> steps;
  } cases[] = {
      {"Tab held with repeats, then released",
       kToolPencil,
       7,
       {{true, kToolLasso, kToolLasso, kPanelLasso, 1},
        {true, kToolLasso, kToolLasso, kPanelLasso, 1},
        {true, kToolLasso, kToolLasso, kPanelLasso, 1},
        {false, kToolLasso, kToolPencil, 7, 2}}},
      {"Space while the Arrow is current changes nothing, nor does its release",
       kToolArrow,
       0,
       {{true, kToolArrow, kToolArrow, 0, 0}, {false, kToolArrow, kToolArrow, 0, 0}}},
      {"Space during Tab: the release returns to the user's own tool",
       kToolBrush,
       6,
       {{true, kToolLasso, kToolLasso, kPanelLasso, 1},
        {true, kToolArrow, kToolArrow, kPanelArrow, 2},
        {false, kToolArrow, kToolBrush, 6, 3},
        {false, kToolLasso, kToolBrush, 6, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeTools tools;
    tools.type = c.start_tool;
    tools.panel = c.start_panel;
    SpringLoadedTool spring;
    for (const Step& s : c.steps) {
      if (s.press) {
        spring.Press(tools, s.tool, s.tool == kToolLasso ? kPanelLasso : kPanelArrow);
      } else {
        spring.Release(tools);
      }
      EXPECT_EQ(tools.type, s.want_tool);
      EXPECT_EQ(tools.panel, s.want_panel);
      EXPECT_EQ(tools.log.size(), s.switches);
    }
    EXPECT_FALSE(spring.IsPending());
  }
}

std::deque<uint16_t> Units(const std::u16string& s) {
  return {s.begin(), s.end()};
}

TEST(TypingBatchTest, BatchesHoldAtMost99BytesAndNeverSplitACharacter) {
  struct Case {
    const char* what;
    std::u16string typed;
    int code_page;
    std::vector<size_t> batch_bytes;
  } cases[] = {
      {"150 letters", std::u16string(150, u'x'), 1252, {99, 51}},
      {"exactly 99", std::u16string(99, u'y'), 1252, {99}},
      {"carriage returns count", std::u16string(100, u'\r'), 1252, {99, 1}},
      // Two-byte characters of a double-byte code page: 49 fit (98 bytes).
      {"kanji", std::u16string(60, u'\u3042'), 932, {98, 22}},
      {"a kanji that would straddle the limit waits",
       std::u16string(98, u'a') + u"\u3042b",
       932,
       {98, 3}},
      {"a surrogate pair is one character (unmapped: '?')",
       std::u16string(98, u'a') + u"\U0001F600" + u"c",
       1252,
       {99, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::deque<uint16_t> queue = Units(c.typed);
    std::vector<size_t> sizes;
    std::string all;
    for (int guard = 0; !queue.empty() && guard < 10; ++guard) {
      std::string batch = TakeTypingBatch(queue, c.code_page);
      sizes.push_back(batch.size());
      all += batch;
    }
    EXPECT_EQ(sizes, c.batch_bytes);
    // In order and whole: the bytes read back as what was typed.
    std::u32string back =
        BytesToUnicode(c.code_page, reinterpret_cast<const uint8_t*>(all.data()), all.size());
    std::u32string want;
    for (size_t i = 0; i < c.typed.size(); ++i) {
      char16_t u = c.typed[i];
      if (u >= 0xD800 && u < 0xDC00) {
        want += U'?';
        ++i;
      } else {
        want += static_cast<char32_t>(u);
      }
    }
    EXPECT_EQ(back, want);
  }
}

// A page with one layer and key frame shown in the view.
class ViewInputTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    Show(page);
    frame = view->GetEditFrame();
    ASSERT_NE(frame, nullptr);
  }
  CPicShape* frame = nullptr;
};

TEST_F(ViewInputTest, TypedBatchesGoIntoTheTextInOrder) {
  CFixedFontService fonts;
  SetFontService(&fonts);
  auto* text = new CPicText;
  frame->AddChild(text);
  text->SetText("");
  text->SetSelection(0, 0);
  view->SetTextEditTarget(text);
  std::u16string typed;
  for (int i = 0; i < 150; ++i) typed += static_cast<char16_t>('a' + i % 26);
  std::deque<uint16_t> queue = Units(typed);
  const int steps = StepCount(page->GetUndoList());
  std::vector<size_t> batches;
  while (!queue.empty()) {
    std::string batch = TakeTypingBatch(queue, TypingCodePage(*text));
    batches.push_back(batch.size());
    ASSERT_TRUE(TypeIntoText(*page, *text, batch));
  }
  EXPECT_EQ(batches, (std::vector<size_t>{99, 51}));
  std::string want(typed.begin(), typed.end());
  EXPECT_EQ(text->GetText(0).substr(0, 150), want);
  // Typing runs coalesce: the two batches are one undo step, and undo takes
  // both away.
  EXPECT_EQ(StepCount(page->GetUndoList()), steps + 1);
  page->Undo();
  EXPECT_EQ(text->GetText(0).find('a'), std::string::npos);
  view->SetTextEditTarget(nullptr);
  SetFontService(nullptr);
}

TEST_F(ViewInputTest, ArrowNudgeMovesOnePixelAtAnyZoomAndCoalesces) {
  // A selected object with a centre point: a translation moves the point.
  auto* box = new CTestBox(1, Rect32{1000, 2000, 1000, 2000});
  frame->AddChild(box);
  const Point32 centre{1500, 1500};
  box->SetCenter(&centre);
  box->SetSelected(true);
  struct Case {
    Fixed zoom;  // the zoom box's factor
    int32_t pixel_twips;
  } cases[] = {{0x10000, 15}, {0x80000, 2}, {0x1EB8, 125}};  // 100 %, 800 %, 12 %
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "zoom " << c.zoom);
    view->SetZoom(FixedMul(c.zoom, view->GetScreenPixelsPerTwip()), nullptr, 0);
    const int32_t p = view->GetPixelSize();
    // One pixel on screen, as near as whole twips allow.
    EXPECT_NEAR(p, c.pixel_twips, 1);
    const Point32 before = box->GetStoredCenter();
    const int steps = StepCount(page->GetUndoList());
    ASSERT_TRUE(NudgeSelection(*view, 1, 0));
    ASSERT_TRUE(NudgeSelection(*view, 0, -8));
    EXPECT_EQ(box->GetStoredCenter().x, before.x + p);
    EXPECT_EQ(box->GetStoredCenter().y, before.y - 8 * p);
    // The two nudges are one undo step (and so is the previous zoom's, since
    // nudges coalesce until another edit comes between).
    EXPECT_EQ(StepCount(page->GetUndoList()), std::max(steps, 1));
  }
  // Another kind of edit ends the run: the next nudge is a step of its own.
  ASSERT_TRUE(view->SelectAll(true));
  const int steps = StepCount(page->GetUndoList());
  ASSERT_TRUE(NudgeSelection(*view, 1, 1));
  EXPECT_EQ(StepCount(page->GetUndoList()), steps + 1);
  const Point32 moved = box->GetStoredCenter();
  page->Undo();
  EXPECT_EQ(box->GetStoredCenter().x, moved.x - view->GetPixelSize());
  // Nothing selected: no step.
  ASSERT_TRUE(view->SelectAll(false));
  const int after = StepCount(page->GetUndoList());
  EXPECT_FALSE(NudgeSelection(*view, 1, 0));
  EXPECT_EQ(StepCount(page->GetUndoList()), after);
}

TEST(DragOrHoldTest, DecisionPerStep) {
  const Point32 start{1000, 1000};
  constexpr int32_t u = 15;  // four pick units: 60
  struct Case {
    const char* what;
    Point32 point;
    uint32_t elapsed;
    bool down;
    int32_t want;
  } cases[] = {
      {"still, early", {1000, 1000}, 10, true, kWaitPending},
      {"exactly four units is no drag", {1060, 940}, 10, true, kWaitPending},
      {"past four units in x", {1061, 1000}, 10, true, kWaitDrag},
      {"past four units in y, upwards", {1000, 939}, 10, true, kWaitDrag},
      {"499 ms", {1010, 1010}, 499, true, kWaitPending},
      {"500 ms still", {1010, 1010}, 500, true, kWaitHold},
      {"moving beats holding", {2000, 1000}, 900, true, kWaitDrag},
      {"released", {5000, 1000}, 900, false, kWaitReleased},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DragOrHoldStep(start, c.point, c.elapsed, c.down, u), c.want);
  }
}

class RecordingTarget : public ButtonActionTarget {
 public:
  void Play() override { log += "play;"; }
  void Stop() override { log += "stop;"; }
  int32_t GetCurrentFrame() const override { return frame; }
  void GoToFrame(int32_t f) override { log += "frame " + std::to_string(f) + ";"; }
  CDocumentPage* GetAdjacentPage(bool next) const override { return next ? next_page : prev_page; }
  CDocumentPage* FindPage(const std::string& name) const override {
    return name == "Scene 2" ? named : nullptr;
  }
  void SetEditContext(CDocumentPage* p) override {
    log += std::string("page ") + (p == named ? "named" : p == next_page ? "next" : "prev") + ";";
  }
  int32_t GetViewQuality() const override { return quality; }
  void SetViewQuality(int32_t q) override { log += "quality " + std::to_string(q) + ";"; }
  std::string log;
  int32_t frame = 4;
  int32_t quality = 1;
  CDocumentPage* next_page = nullptr;
  CDocumentPage* prev_page = nullptr;
  CDocumentPage* named = nullptr;
};

TEST(ButtonActionTest, EachTypeAsTheViewDoesIt) {
  CDocumentPage pages[3];
  struct Case {
    int32_t type;
    const char* page;
    int32_t frame;
    bool have_pages;
    int32_t quality;
    const char* want;
  } cases[] = {
      {CFrameAction::kNone, "", 1, true, 1, ""},
      {CFrameAction::kPlay, "", 1, true, 1, "play;"},
      {CFrameAction::kStop, "", 1, true, 1, "stop;"},
      {CFrameAction::kNextFrame, "", 1, true, 1, "stop;frame 5;"},
      {CFrameAction::kPreviousFrame, "", 1, true, 1, "stop;frame 3;"},
      {CFrameAction::kNextPage, "", 1, true, 1, "stop;page next;"},
      {CFrameAction::kNextPage, "", 1, false, 1, "stop;"},
      {CFrameAction::kPreviousPage, "", 1, true, 1, "stop;page prev;"},
      {CFrameAction::kToggleHighQuality, "", 1, true, 1, "quality 2;"},
      {CFrameAction::kToggleHighQuality, "", 1, true, 2, "quality 1;"},
      {CFrameAction::kToggleHighQuality, "", 1, true, 0, "quality 1;"},
      {CFrameAction::kGoto, "Scene 2", 7, true, 1, "page named;stop;frame 6;"},
      {CFrameAction::kGetUrlAndGoto, "Scene 2", 1, true, 1, "page named;stop;frame 0;"},
      {CFrameAction::kGoto, "Missing", 7, true, 1, ""},
      {CFrameAction::kGotoAndPlay, "Scene 2", 3, true, 1, "page named;frame 2;play;"},
      {CFrameAction::kGetUrlGotoAndPlay, "Scene 2", 3, true, 1, "page named;frame 2;play;"},
      {CFrameAction::kGetUrl, "Scene 2", 3, true, 1, ""},
      {99, "", 1, true, 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " page " << c.page);
    RecordingTarget t;
    t.quality = c.quality;
    t.named = &pages[0];
    if (c.have_pages) {
      t.next_page = &pages[1];
      t.prev_page = &pages[2];
    }
    CFrameAction action;
    action.type = c.type;
    action.page = c.page;
    action.frame = c.frame;
    DoButtonAction(action, t);
    EXPECT_EQ(t.log, c.want);
  }
}

TEST(ContextMenuTest, MenuByWhatIsSelected) {
  struct Case {
    bool text_edited;
    uint32_t bits;
    int want;
  } cases[] = {
      {true, 0, 482},
      {true, kSelectedGroup, 482},
      {false, 0, 476},
      {false, kSelectedDrawing, 479},
      {false, kSelectedText, 477},
      {false, kSelectedGroup, 478},
      {false, kSelectedDrawing | kSelectedText, 476},
      {false, kSelectedText | kSelectedGroup, 476},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ContextMenuFor(c.text_edited, c.bits), c.want) << c.text_edited << " " << c.bits;
  }
}

TEST_F(ViewInputTest, SelectionBitsFromTheObjects) {
  auto* text = new CPicText;
  auto* group = new CPicShape;
  auto* plain = new CPicShape;
  plain->SetPlainDrawing(true);
  for (CPicObj* o :
       {static_cast<CPicObj*>(text), static_cast<CPicObj*>(group), static_cast<CPicObj*>(plain)}) {
    frame->AddChild(o);
  }
  struct Case {
    CPicObj* selected;
    uint32_t want;
  } cases[] = {
      {nullptr, 0},
      {text, kSelectedText},
      {group, kSelectedGroup},
      {plain, kSelectedDrawing},
  };
  for (const Case& c : cases) {
    for (CPicObj* o : {static_cast<CPicObj*>(text), static_cast<CPicObj*>(group),
                       static_cast<CPicObj*>(plain)}) {
      o->SetSelected(o == c.selected);
    }
    EXPECT_EQ(ContextSelectionBits(*view), c.want);
  }
  text->SetSelected(true);
  group->SetSelected(true);
  EXPECT_EQ(ContextMenuFor(false, ContextSelectionBits(*view)), kMenuContextDefault);
}

TEST(ViewCursorTest, CursorsByNameAndTheDecision) {
  // The system cursors are those of their names in the window layer.
  EXPECT_EQ(GetViewCursor(ViewCursor::kSizeAll).id, IDC_SIZEALL);
  EXPECT_EQ(GetViewCursor(ViewCursor::kNo).id, IDC_NO);
  EXPECT_EQ(GetViewCursor(ViewCursor::kArrow).id, IDC_ARROW);
  for (ViewCursor c : {ViewCursor::kSizeAll, ViewCursor::kNo, ViewCursor::kArrow})
    EXPECT_TRUE(GetViewCursor(c).system);
  struct Program {
    ViewCursor cursor;
    int id;
  } program[] = {{ViewCursor::kTestButton, 123},  {ViewCursor::kMove, 1208},
                 {ViewCursor::kRotate, 1209},     {ViewCursor::kScaleNwSe, 1210},
                 {ViewCursor::kScaleWidth, 1211}, {ViewCursor::kScaleHeight, 1212},
                 {ViewCursor::kScaleNeSw, 1215},  {ViewCursor::kFillSize, 495}};
  for (const Program& p : program) {
    EXPECT_FALSE(GetViewCursor(p.cursor).system);
    EXPECT_EQ(GetViewCursor(p.cursor).id, p.id);
  }

  using C = CursorChoice;
  struct Case {
    const char* what;
    CursorSituation s;
    C want;
  } cases[] = {
      {"dragging keeps the cursor", {true, true, false, true, true, true, true}, C::kKeep},
      {"an in-place item has none", {false, true, false, true, true, false, false}, C::kNone},
      {"another window is under the cursor",
       {false, false, true, false, true, false, false},
       C::kDecline},
      {"outside the work area", {false, false, false, true, false, true, true}, C::kDecline},
      {"the special tool", {false, false, false, true, true, true, true}, C::kSpecialTool},
      {"a button in test mode", {false, false, false, true, true, false, true}, C::kTestButton},
      {"the current tool", {false, false, true, true, true, false, false}, C::kCurrentTool},
  };
  for (const Case& c : cases) EXPECT_EQ(DecideCursor(c.s), c.want) << c.what;
}

TEST(HandleDragTest, CursorAndKindPerHandle) {
  using V = ViewCursor;
  struct Case {
    int32_t mode;
    int handle;
    V cursor;
    int32_t kind;
    bool about_centre;
  } cases[] = {
      {kHandleScale, 8, V::kMove, 0, false},
      {kHandleRotate, 8, V::kMove, 0, false},
      {kHandleScale, 0, V::kScaleNwSe, 17, false},
      {kHandleScale, 2, V::kScaleNwSe, 17, false},
      {kHandleScale, 1, V::kScaleNeSw, 17, false},
      {kHandleScale, 3, V::kScaleNeSw, 17, false},
      {kHandleScale, 4, V::kScaleHeight, 49, false},
      {kHandleScale, 6, V::kScaleHeight, 49, false},
      {kHandleScale, 5, V::kScaleWidth, 33, false},
      {kHandleScale, 7, V::kScaleWidth, 33, false},
      {kHandleRotate, 0, V::kRotate, 2, true},
      {kHandleRotate, 3, V::kRotate, 2, true},
      {kHandleRotate, 5, V::kScaleHeight, 19, false},
      {kHandleRotate, 7, V::kScaleHeight, 19, false},
      {kHandleRotate, 4, V::kScaleWidth, 35, false},
      {kHandleRotate, 6, V::kScaleWidth, 35, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " handle " << c.handle);
    HandleDrag d = HandleDragFor(c.mode, c.handle);
    EXPECT_EQ(d.cursor, c.cursor);
    EXPECT_EQ(d.kind, c.kind);
    EXPECT_EQ(d.about_centre, c.about_centre);
  }
  EXPECT_EQ(FillHandleCursor(FillHandle::kWidth), V::kScaleWidth);
  EXPECT_EQ(FillHandleCursor(FillHandle::kSize), V::kFillSize);
  EXPECT_EQ(FillHandleCursor(FillHandle::kRotate), V::kRotate);
  EXPECT_EQ(FillHandleCursor(FillHandle::kMove), V::kSizeAll);
}

}  // namespace
