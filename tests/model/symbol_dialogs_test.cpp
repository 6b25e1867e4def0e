// The property dialogs as models (list mapping, show and hide rules, range
// checks, values kept unless the user changed them) and the commands that
// run them (OK, Edit, Edit Copy) through a scripted host, each also with a
// failure inside its transaction.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/document.h"
#include "model/document_page.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_symbol.h"
#include "model/symbol_dialogs.h"
#include "model_fixtures.h"

namespace {

using Kind = CActionDialogModel::Kind;

TEST(SymbolDialogsTest, ActionListsMapToTypes) {
  const CFrameAction none;
  CActionDialogModel button(CActionDialogModel::kButtonProperties, none, {});
  CActionDialogModel frame(CActionDialogModel::kFrameAction, none, {});
  ASSERT_EQ(button.ActionTexts().size(), 13u);
  EXPECT_EQ(button.ActionTexts()[12], "Get URL, Goto and Play");
  EXPECT_EQ(frame.ActionTexts(),
            (std::vector<std::string>{"None", "Play", "Stop", "Goto", "Get URL", "Goto and Play",
                                      "Get URL and Goto", "Get URL, Goto and Play"}));
  // type -> Frame Action position; the button list's position is the type.
  const int32_t framePositions[13] = {0, 1, 2, 0, 0, 0, 0, 0, 3, 4, 5, 6, 7};
  for (int32_t type = 0; type < 13; ++type) {
    EXPECT_EQ(button.PositionOfType(type), type);
    EXPECT_EQ(frame.PositionOfType(type), framePositions[type]) << type;
  }
  for (int32_t position = 0; position < 8; ++position) {
    EXPECT_EQ(frame.PositionOfType(frame.TypeAtPosition(position)), position);
  }
}

TEST(SymbolDialogsTest, GroupsFollowTheSelection) {
  struct Case {
    int32_t type;
    bool goto_shown, url_shown;
  } cases[] = {
      {CFrameAction::kNone, false, false},
      {CFrameAction::kPlay, false, false},
      {CFrameAction::kNextPage, false, false},
      {CFrameAction::kGoto, true, false},
      {CFrameAction::kGetUrl, false, true},
      {CFrameAction::kGotoAndPlay, true, false},
      {CFrameAction::kGetUrlAndGoto, true, true},
      {CFrameAction::kGetUrlGotoAndPlay, true, true},
      {CFrameAction::kToggleHighQuality, false, false},
  };
  for (Kind kind : {CActionDialogModel::kButtonProperties, CActionDialogModel::kFrameAction}) {
    CActionDialogModel model(kind, CFrameAction{}, {});
    for (const Case& c : cases) {
      model.SelectAction(model.PositionOfType(c.type));
      EXPECT_EQ(model.GotoShown(), c.goto_shown) << kind << " " << c.type;
      EXPECT_EQ(model.UrlShown(), c.url_shown) << kind << " " << c.type;
    }
  }
  // A type the Frame Action list lacks opens as "None", with nothing shown.
  CFrameAction next;
  next.type = CFrameAction::kNextFrame;
  CActionDialogModel frame(CActionDialogModel::kFrameAction, next, {});
  EXPECT_EQ(frame.actionPosition, 0);
  EXPECT_FALSE(frame.GotoShown());
  EXPECT_FALSE(frame.UrlShown());
}

TEST(SymbolDialogsTest, FrameNumbersAreChecked) {
  struct Case {
    const char* text;
    bool accepted;
  } cases[] = {{"1", true},    {"16000", true},
               {" 42 ", true}, {"+7", true},
               {"0", false},   {"16001", false},
               {"-3", false},  {"", false},
               {"1x", false},  {"99999999999999999999", false}};
  CFrameAction action;
  action.frame = 5;
  for (const Case& c : cases) {
    CActionDialogModel model(CActionDialogModel::kButtonProperties, action, {});
    model.frameText = c.text;
    EXPECT_EQ(model.End(kDialogOk), c.accepted) << c.text;
    EXPECT_EQ(model.message, c.accepted ? "" : "Please enter an integer between 1 and 16000.")
        << c.text;
    // Edit and Edit Copy check first too; Cancel never does.
    EXPECT_EQ(model.End(kDialogEditCopy), c.accepted) << c.text;
    EXPECT_TRUE(model.End(kDialogCancel));
  }
  // A stored frame out of range is kept while the user leaves it alone.
  action.frame = 0;
  CActionDialogModel stored(CActionDialogModel::kFrameAction, action, {});
  EXPECT_TRUE(stored.End(kDialogOk));
  EXPECT_EQ(stored.Stored().frame, 0);
  // The Frame Action dialog has no Edit buttons.
  EXPECT_FALSE(stored.End(kDialogEdit));

  CSymbolPropertiesModel symbol(CPicSymbol::kLoop, 2, 10, true);
  EXPECT_EQ(symbol.firstFrameText, "3");
  symbol.firstFrameText = "11";
  EXPECT_FALSE(symbol.End(kDialogOk));
  EXPECT_EQ(symbol.message, "Please enter an integer between 1 and 10.");
  symbol.firstFrameText = "10";
  EXPECT_TRUE(symbol.End(kDialogOk));
  EXPECT_EQ(symbol.FirstFrameToStore(), 9);
  CSymbolPropertiesModel inPlace(CPicSymbol::kLoop, 0, 10, false);
  EXPECT_FALSE(inPlace.End(kDialogEdit));
}

TEST(SymbolDialogsTest, UnchangedListsKeepTheirValues) {
  const std::vector<std::string> pages{"Intro", "Menu", "End"};
  struct Case {
    Kind kind;
    CFrameAction stored;
    std::function<void(CActionDialogModel&)> user;
    CFrameAction expected;
  } cases[] = {
      // A type the list lacks and a page that is gone survive OK.
      {CActionDialogModel::kFrameAction,
       {CFrameAction::kPreviousPage, "u", "_top", "Gone", 3},
       [](CActionDialogModel&) {},
       {CFrameAction::kPreviousPage, "u", "_top", "Gone", 3}},
      // Choosing entries stores them.
      {CActionDialogModel::kFrameAction,
       {CFrameAction::kPreviousPage, "u", "", "Gone", 3},
       [](CActionDialogModel& m) {
         m.SelectAction(5);
         m.SelectPage(1);
         m.frameText = "12";
       },
       {CFrameAction::kGotoAndPlay, "u", "", "Menu", 12}},
      // Choosing "None" on purpose stores None.
      {CActionDialogModel::kButtonProperties,
       {CFrameAction::kGoto, "", "", "End", 2},
       [](CActionDialogModel& m) { m.SelectAction(0); },
       {CFrameAction::kNone, "", "", "End", 2}},
      // Text fields are stored as typed.
      {CActionDialogModel::kButtonProperties,
       {CFrameAction::kGetUrl, "a", "_self", "", 1},
       [](CActionDialogModel& m) {
         m.url = "http://b/";
         m.target = "frame2";
       },
       {CFrameAction::kGetUrl, "http://b/", "frame2", "", 1}},
  };
  for (const Case& c : cases) {
    CActionDialogModel model(c.kind, c.stored, pages);
    c.user(model);
    ASSERT_TRUE(model.End(kDialogOk)) << model.message;
    EXPECT_EQ(model.Stored(), c.expected);
  }
  // An existing page is selected when the dialog opens.
  CActionDialogModel menu(CActionDialogModel::kButtonProperties,
                          {CFrameAction::kGoto, "", "", "Menu", 1}, pages);
  EXPECT_EQ(menu.pageIndex, 1);

  CSymbolPropertiesModel odd(7, 0, 4, true);  // a play mode the list cannot show
  EXPECT_EQ(odd.playModeIndex, -1);
  EXPECT_EQ(odd.PlayModeToStore(), -1);
  EXPECT_EQ(odd.FirstFrameToStore(), -1);
  odd.playModeIndex = CPicSymbol::kPlayOnce;
  EXPECT_EQ(odd.PlayModeToStore(), CPicSymbol::kPlayOnce);
}

// ---- the commands ------------------------------------------------------------------

class ScriptedHost : public CPropertiesHost {
 public:
  int RunSymbolProperties(CSymbolPropertiesModel& model) override {
    symbol_models.push_back(model);
    EXPECT_TRUE(model.End(symbol_script ? symbol_script(model) : kDialogCancel)) << model.message;
    return model.result;
  }
  int RunActionDialog(CActionDialogModel& model) override {
    action_kinds.push_back(model.kind);
    EXPECT_TRUE(model.End(action_script ? action_script(model) : kDialogCancel)) << model.message;
    return model.result;
  }
  bool IsInPlace() const override { return in_place; }
  void EditSymbolInView(CDocumentPage* symbol) override { opened.push_back(symbol); }
  CDocumentPage* DuplicateSymbol(CDocumentPage* symbol) override {
    duplicated.push_back(symbol);
    return copy;
  }

  std::function<int(CSymbolPropertiesModel&)> symbol_script;
  std::function<int(CActionDialogModel&)> action_script;
  bool in_place = false;
  std::vector<CSymbolPropertiesModel> symbol_models;
  std::vector<Kind> action_kinds;
  std::vector<CDocumentPage*> opened;
  std::vector<CDocumentPage*> duplicated;
  CDocumentPage* copy = nullptr;
};

class PropertiesCommandTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    page_ = NewPage(doc_);
    page_->m_name = "Intro";
    NewPage(doc_)->m_name = "Menu";
    symbol_ = NewPage(doc_, true);
    symbol_->GetRoot()->GetFirstLayer()->GetFirstFrame()->SetLength(5);
    symbol_->GetRoot()->RecalcAndNotify(nullptr);
    copy_ = NewPage(doc_, true);
    host_.copy = copy_;
    // The instance sits in a box, whose tidy-up can be made to fail.
    holder_ = new CTestBox(1, {0, 10, 0, 10});
    page_->GetFirstFrame()->AddChild(holder_);
  }
  template <class T>
  T* Place() {
    auto* inst = new T;
    inst->m_matrix.tx = 300;
    holder_->AddChild(inst);
    inst->AttachToSymbol(symbol_);
    page_->GetRoot()->RecalcAndNotify(nullptr);
    return inst;
  }

  CTestDoc doc_;
  CDocumentPage* page_ = nullptr;
  CDocumentPage* symbol_ = nullptr;
  CDocumentPage* copy_ = nullptr;
  CTestBox* holder_ = nullptr;
  ScriptedHost host_;
};

TEST_F(PropertiesCommandTest, SymbolPropertiesOkEditAndEditCopy) {
  auto* inst = Place<CPicSymbol>();
  inst->m_firstFrame = 1;
  Point32 centre{7, 8};
  inst->SetCenter(&centre);

  // OK: first frame and play mode, as one undoable step.
  host_.symbol_script = [](CSymbolPropertiesModel& m) {
    m.firstFrameText = "4";
    m.playModeIndex = CPicSymbol::kSingleFrame;
    return kDialogOk;
  };
  inst->EditProperties(host_);
  ASSERT_EQ(host_.symbol_models.size(), 1u);
  EXPECT_EQ(host_.symbol_models[0].frameCount, 5);
  EXPECT_EQ(host_.symbol_models[0].firstFrameText, "2");
  EXPECT_EQ(host_.symbol_models[0].playModeIndex, CPicSymbol::kLoop);
  EXPECT_EQ(inst->GetFirstFrame(), 3);
  EXPECT_EQ(inst->GetPlayMode(), CPicSymbol::kSingleFrame);
  page_->Undo();
  EXPECT_EQ(inst->GetFirstFrame(), 1);
  EXPECT_EQ(inst->GetPlayMode(), CPicSymbol::kLoop);

  // OK whose transaction fails: nothing changes, the failure is reported.
  CTestBox::s_failUpdate = true;
  inst->EditProperties(host_);
  EXPECT_EQ(inst->GetFirstFrame(), 1);
  EXPECT_EQ(inst->GetPlayMode(), CPicSymbol::kLoop);
  EXPECT_EQ(services_.messages.size(), 1u);

  // Edit opens the symbol.
  host_.symbol_script = [](CSymbolPropertiesModel&) { return kDialogEdit; };
  inst->EditProperties(host_);
  EXPECT_EQ(host_.opened, (std::vector<CDocumentPage*>{symbol_}));

  // Edit Copy whose transaction fails: the instance stays, nothing opens.
  host_.opened.clear();
  host_.symbol_script = [](CSymbolPropertiesModel&) { return kDialogEditCopy; };
  CTestBox::s_failUpdate = true;
  inst->EditProperties(host_);
  EXPECT_EQ(host_.duplicated, (std::vector<CDocumentPage*>{symbol_}));
  EXPECT_TRUE(host_.opened.empty());
  EXPECT_EQ(holder_->GetFirstChild(), inst);
  EXPECT_EQ(holder_->GetLastChild(), inst);
  EXPECT_EQ(copy_->GetFirstInstance(), nullptr);

  // Edit Copy: a new instance of the copy with the same fields in its place.
  inst->EditProperties(host_);
  auto* replaced = DynamicDowncast<CPicSymbol>(holder_->GetFirstChild());
  ASSERT_NE(replaced, nullptr);
  ASSERT_NE(replaced, inst);
  EXPECT_EQ(holder_->GetLastChild(), replaced);
  EXPECT_EQ(replaced->GetSymbol(), copy_);
  EXPECT_EQ(replaced->m_matrix.tx, 300);
  EXPECT_EQ(replaced->GetFirstFrame(), 1);
  EXPECT_EQ(replaced->GetStoredCenter(), centre);
  EXPECT_EQ(host_.opened, (std::vector<CDocumentPage*>{copy_}));
  page_->Undo();  // the old instance comes back
  EXPECT_EQ(holder_->GetFirstChild(), inst);
  EXPECT_EQ(holder_->GetLastChild(), inst);

  // A cancelled name dialog (no copy) does nothing; in place, no Edit buttons.
  host_.copy = nullptr;
  inst->EditProperties(host_);
  EXPECT_EQ(holder_->GetFirstChild(), inst);
  host_.in_place = true;
  host_.symbol_script = [](CSymbolPropertiesModel& m) {
    EXPECT_FALSE(m.editButtonsEnabled);
    return kDialogCancel;
  };
  inst->EditProperties(host_);

  // A missing symbol opens nothing.
  const size_t dialogs = host_.symbol_models.size();
  CPicSymbol lost;
  lost.EditProperties(host_);
  EXPECT_EQ(host_.symbol_models.size(), dialogs);
}

TEST_F(PropertiesCommandTest, ButtonPropertiesAndFrameAction) {
  auto* button = Place<CPicButton>();
  host_.action_script = [](CActionDialogModel& m) {
    EXPECT_EQ(m.pageNames, (std::vector<std::string>{"Intro", "Menu"}));
    m.SelectAction(m.PositionOfType(CFrameAction::kGotoAndPlay));
    m.SelectPage(1);
    m.frameText = "9";
    return kDialogOk;
  };
  button->EditProperties(host_);
  EXPECT_EQ(button->GetAction(), (CFrameAction{CFrameAction::kGotoAndPlay, "", "", "Menu", 9}));
  page_->Undo();
  EXPECT_EQ(button->GetAction(), CFrameAction{});

  // Edit Copy: a new button with the same matrix and action (a failing
  // transaction first leaves the old one).
  button->SetAction({CFrameAction::kStop, "", "", "", 1});
  host_.action_script = [](CActionDialogModel&) { return kDialogEditCopy; };
  CTestBox::s_failUpdate = true;
  button->EditProperties(host_);
  EXPECT_EQ(holder_->GetFirstChild(), button);
  EXPECT_TRUE(host_.opened.empty());
  button->EditProperties(host_);
  auto* replaced = DynamicDowncast<CPicButton>(holder_->GetFirstChild());
  ASSERT_NE(replaced, nullptr);
  ASSERT_NE(replaced, button);
  EXPECT_EQ(replaced->GetSymbol(), copy_);
  EXPECT_EQ(replaced->GetAction().type, CFrameAction::kStop);
  EXPECT_EQ(replaced->m_matrix.tx, 300);
  EXPECT_EQ(host_.opened, (std::vector<CDocumentPage*>{copy_}));

  // A key frame's action: the Frame Action dialog.
  CPicFrame* frame = page_->GetFirstFrame();
  host_.action_script = [](CActionDialogModel& m) {
    EXPECT_EQ(m.kind, CActionDialogModel::kFrameAction);
    m.SelectAction(4);  // "Get URL"
    m.url = "http://x/";
    return kDialogOk;
  };
  frame->EditAction(host_);
  EXPECT_EQ(frame->GetAction().type, CFrameAction::kGetUrl);
  EXPECT_EQ(frame->GetAction().url, "http://x/");
  page_->Undo();
  EXPECT_EQ(frame->GetAction(), CFrameAction{});
  host_.action_script = [](CActionDialogModel& m) {
    m.SelectAction(1);
    return kDialogCancel;
  };
  frame->EditAction(host_);
  EXPECT_EQ(frame->GetAction(), CFrameAction{});
}

}  // namespace
