// Command routing (view, document, frame, application), the update protocol
// for menu items and bar buttons, menus from tables, accelerators.
#include <QKeyEvent>
#include <QWidget>

#include "platform/qt/frame.h"
#include "platform/qt/menu.h"
#include "window_fixture.h"

namespace {

std::vector<std::string> g_ran;

struct CTestDoc : CCmdTarget {
  CTestDoc() {
    AddCommand(100, [] { g_ran.push_back("doc 100"); });
    AddUpdate(101, [](CCmdUI* ui) { ui->SetCheck(1); });
    AddCommand(101, [] { g_ran.push_back("doc 101"); });
    AddCommand(200, [] { g_ran.push_back("doc 200"); });  // the view's comes first
  }
};

struct CTestView : CView {
  CTestView() {
    AddCommand(200, [] { g_ran.push_back("view 200"); });
    AddUpdate(200, [](CCmdUI* ui) { ui->Enable(s_enabled200); });
    AddUpdate(201, [](CCmdUI* ui) { ui->SetCheck(2); });
    AddCommand(201, [] { g_ran.push_back("view 201"); });
    AddUpdateRange(210, 212, [](CCmdUI* ui) { ui->SetRadio(ui->m_nID == 211); });
    AddCommandRange(210, 212, [](uint32_t id) { g_ran.push_back("view " + std::to_string(id)); });
  }
  static inline bool s_enabled200 = true;
};

struct CTestFrame : CFrameWnd {
  CTestFrame() {
    AddCommand(300, [] { g_ran.push_back("frame 300"); });
    AddUpdate(301, [](CCmdUI* ui) { ui->SetText("Renamed"); });
    AddCommand(301, [] {});
  }
};

struct CTestApp : CWinApp {
  CTestApp() {
    AddCommand(400, [] { g_ran.push_back("app 400"); });
  }
};

// A tool bar whose buttons keep disabled and checked bits.
struct CTestBar : CControlBarBase {
  struct Button {
    UINT id;
    bool disabled = false;
    int checked = 0;
  };
  std::vector<Button> buttons;
  void OnUpdateCmdUI(CFrameWnd* target, bool disableIfNoHandler) override {
    for (Button& b : buttons) {
      struct CButtonCmdUI : CCmdUI {
        Button* b;
        void Enable(bool on) override {
          CCmdUI::Enable(on);
          b->disabled = !on;
        }
        void SetCheck(int c) override { b->checked = c; }
      } ui;
      ui.b = &b;
      ui.m_nID = b.id;
      ui.DoUpdate(target, disableIfNoHandler);
    }
  }
};

class CommandTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    g_ran.clear();
    ASSERT_TRUE(frame_.Create("PL_Default", "frame", WS_VISIBLE, {0, 0, 300, 200}, nullptr, 0));
    ASSERT_TRUE(
        view_.Create("PL_Default", "", WS_VISIBLE | WS_CHILD, {0, 0, 300, 200}, &frame_, 1));
    view_.SetDocumentTarget(&doc_);
    frame_.SetActiveView(&view_);
    CTestView::s_enabled200 = true;
  }
  void TearDown() override {
    view_.DestroyWindow();
    frame_.DestroyWindow();
    WindowTest::TearDown();
  }
  CTestApp app_;
  CTestDoc doc_;
  CTestFrame frame_;
  CTestView view_;
};

TEST_F(CommandTest, CommandsRouteViewDocumentFrameApplication) {
  for (UINT id : {100u, 200u, 300u, 400u, 211u, 999u}) frame_.SendMessage(WM_COMMAND, id, 0);
  EXPECT_EQ(g_ran,
            (std::vector<std::string>{"doc 100", "view 200", "frame 300", "app 400", "view 211"}));
  // A command whose update handler disables it is not carried out.
  CTestView::s_enabled200 = false;
  g_ran.clear();
  EXPECT_EQ(frame_.SendMessage(WM_COMMAND, 200, 0), 0);
  EXPECT_TRUE(g_ran.empty());
}

TEST_F(CommandTest, UpdateProtocolEnablesAndChecksMenuItems) {
  Resources().AddMenu(9001, {{MenuItemDef::kPopup, "&Edit", 0},
                             {MenuItemDef::kItem, "Doc", 100},
                             {MenuItemDef::kItem, "Doc checked", 101},
                             {MenuItemDef::kItem, "View", 200},
                             {MenuItemDef::kItem, "Indeterminate", 201},
                             {MenuItemDef::kSeparator, "", 0},
                             {MenuItemDef::kItem, "Radio 0", 210},
                             {MenuItemDef::kItem, "Radio 1", 211},
                             {MenuItemDef::kItem, "Frame", 300},
                             {MenuItemDef::kItem, "Old text", 301},
                             {MenuItemDef::kItem, "App", 400},
                             {MenuItemDef::kItem, "Nobody", 999},
                             {MenuItemDef::kEnd, "", 0}});
  CMenu menu;
  ASSERT_TRUE(menu.LoadMenu(9001));
  ASSERT_EQ(menu.GetMenuItemCount(), 1);
  CMenu* edit = menu.GetSubMenu(0);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->GetMenuItemCount(), 11);
  EXPECT_EQ(edit->GetMenuItemID(4), 0u);  // the separator
  CTestView::s_enabled200 = false;
  edit->UpdateItems(&frame_, true);
  struct {
    UINT id;
    bool enabled;
    int check;
  } expected[] = {{100, true, 0}, {101, true, 1}, {200, false, 0}, {201, true, 2}, {210, true, 0},
                  {211, true, 1}, {300, true, 0}, {400, true, 0},  {999, false, 0}};
  for (auto e : expected) {
    EXPECT_EQ(edit->IsItemEnabled(e.id), e.enabled) << e.id;
    EXPECT_EQ(edit->GetItemCheck(e.id), e.check) << e.id;
  }
  EXPECT_EQ(edit->GetMenuString(301), "Renamed");
  // Without "disable when no handler" an item nobody handles stays as it is.
  CMenu again;
  again.LoadMenu(9001);
  again.GetSubMenu(0)->UpdateItems(&frame_, false);
  EXPECT_TRUE(again.IsItemEnabled(999));
}

TEST_F(CommandTest, TrackedMenuSendsTheChosenEnabledCommandToItsOwner) {
  CMenu menu;
  menu.CreatePopupMenu();
  menu.AppendMenu(MF_STRING, 100, "Doc");
  menu.AppendMenu(MF_STRING, 999, "Nobody");
  std::vector<UINT> choices = {100, 999, 0};
  CPoint seenAt;
  SetMenuTrackHook([&](CMenu& m, CPoint p) {
    seenAt = p;
    EXPECT_FALSE(m.IsItemEnabled(999));  // brought up to date before it shows
    UINT c = choices.front();
    choices.erase(choices.begin());
    return c;
  });
  EXPECT_EQ(menu.TrackPopupMenu(TPM_RIGHTBUTTON, 40, 50, &frame_), 1u);
  EXPECT_EQ(seenAt, CPoint(40, 50));
  EXPECT_EQ(g_ran, (std::vector<std::string>{"doc 100"}));
  EXPECT_EQ(menu.TrackPopupMenu(TPM_RETURNCMD, 0, 0, &frame_), 0u);  // disabled: nothing
  EXPECT_EQ(menu.TrackPopupMenu(TPM_RETURNCMD, 0, 0, &frame_), 0u);  // dismissed
  EXPECT_EQ(g_ran.size(), 1u);
  SetMenuTrackHook(nullptr);
}

TEST_F(CommandTest, IdleUpdateSetsBarButtons) {
  CTestBar bar;
  bar.buttons = {{200}, {201}, {300}, {999}, {101}};
  frame_.AddControlBar(&bar);
  CTestView::s_enabled200 = false;
  RunIdleNow();
  EXPECT_TRUE(bar.buttons[0].disabled);
  EXPECT_EQ(bar.buttons[1].checked, 2);
  EXPECT_FALSE(bar.buttons[2].disabled);
  EXPECT_TRUE(bar.buttons[3].disabled);
  EXPECT_EQ(bar.buttons[4].checked, 1);
  CTestView::s_enabled200 = true;
  // The event loop runs the idle update by itself after events.
  frame_.PostMessage(WM_USER);
  EXPECT_TRUE(SpinUntil([&] { return !bar.buttons[0].disabled; }));
  frame_.RemoveControlBar(&bar);
}

TEST_F(CommandTest, AcceleratorsTurnKeysIntoCommandsBeforeTheFocusWindow) {
  struct CKeyView : CTestView {
    std::vector<UINT> keys;
    void OnKeyDown(UINT ch, UINT, UINT) override { keys.push_back(ch); }
  } keyView;
  ASSERT_TRUE(keyView.Create("PL_Default", "", WS_VISIBLE | WS_CHILD, {0, 0, 10, 10}, &frame_, 2));
  frame_.SetAccelerators({{'Z', kAccelControl, 400}, {'1', kAccelControl, 300}});
  auto press = [&](int key, Qt::KeyboardModifiers mods, const QString& text) {
    QKeyEvent e(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(keyView.GetWidget(), &e);
  };
  press(Qt::Key_Z, Qt::ControlModifier, "");
  press(Qt::Key_1, Qt::ControlModifier, "");
  press(Qt::Key_Z, Qt::NoModifier, "z");
  EXPECT_EQ(g_ran, (std::vector<std::string>{"app 400", "frame 300"}));
  EXPECT_EQ(keyView.keys, (std::vector<UINT>{'Z'}));
  keyView.DestroyWindow();
}

}  // namespace
