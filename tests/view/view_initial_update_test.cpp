// A new view's first showing (which context, quality, layout, frame
// windows and zoom the document asks for), the tabs and timeline following
// a context switch, and fitting everything drawn to the window.
#include <gtest/gtest.h>

#include <string>

#include "view_fixture.h"

namespace {

constexpr Fixed k100 = 4369;  // 100 % on a 96-dpi screen

// The view's edit context after its first showing.
class ViewInitialUpdateTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    second = NewPage(*doc);
    symbol = NewPage(*doc, true);
  }
  void TearDown() override {
    SetPendingEditContext(nullptr);
    ViewTest::TearDown();
  }
  // The page (movie rectangle) in client pixels.
  Rect32 PageOnScreen() const {
    Matrix2x3 m;
    view->GetDocToClientMatrix(m);
    Rect32 out;
    MatrixTransformRect(m, doc->m_movieRect, out);
    return out;
  }
  CDocumentPage* second = nullptr;
  CDocumentPage* symbol = nullptr;
};

TEST_F(ViewInitialUpdateTest, TheDocumentSaysWhatTheViewShows) {
  struct Case {
    std::string name;
    uint8_t option_bits, rulers, tabs, quality;
    bool in_place, pending, symbol_view, clip_view, no_current_page;
    // Expected:
    int context;  // 0 the first page, 1 the current (second) page, 2 the symbol
    int32_t layout, test_buttons;
    uint8_t nibble;
    bool rulers_shown, tabs_shown, timeline_shown;
  } cases[] = {
      {"new document", 0x1, 0, 0, 1, false, false, false, false, false,  //
       1, kLayoutPage, 0, 0, false, false, true},
      {"work area, test buttons, nibble", 0xA6, 1, 1, 3, false, false, false, false, false,  //
       1, kLayoutWorkArea, 1, 0xA, true, true, false},
      {"in place: the page alone", 0x5, 0, 0, 2, true, false, false, false, false,  //
       1, kLayoutPage, 0, 0, false, false, true},
      {"no current page: the first", 0x1, 0, 0, 1, false, false, false, false, true,  //
       0, kLayoutPage, 0, 0, false, false, true},
      {"a pending symbol: work area with tabs", 0x7, 1, 0, 0, false, true, false, false, false,  //
       2, kLayoutWorkArea, 0, 0, true, true, true},
      {"symbol view: fitted, no frame windows", 0x7, 1, 1, 2, false, false, true, true, false,  //
       2, kLayoutFit, 0, 0, false, false, false},
      {"clip view: no frame windows", 0x3, 1, 1, 1, false, false, false, true, false,  //
       1, kLayoutPage, 1, 0, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A fresh view for each case.
    view.reset();
    host = FakeHost();
    timeline = RecordingTimeline();
    view = std::make_unique<ViewState>(host);
    host.view = view.get();
    view->SetDocument(doc.get());
    view->SetChildFrame(&timeline);
    doc->m_viewOptionBits = c.option_bits;
    doc->m_rulersShown = c.rulers;
    doc->m_pageTabsShown = c.tabs;
    doc->m_viewQuality = c.quality;
    doc->in_place = c.in_place;
    doc->m_currentPage = c.no_current_page ? nullptr : second;
    host.clip_view = c.clip_view;
    SetPendingEditContext(c.pending ? symbol : nullptr);

    view->InitialUpdate(c.symbol_view);
    CDocumentPage* expected[] = {page, second, symbol};
    EXPECT_EQ(view->GetEditContext(), expected[c.context]);
    EXPECT_EQ(view->view_quality, c.quality);
    EXPECT_EQ(view->GetLayoutMode(), c.layout);
    EXPECT_EQ(view->test_buttons, c.test_buttons);
    EXPECT_EQ(view->view_settings, c.nibble);
    EXPECT_EQ(view->AreRulersShown(), c.rulers_shown);
    EXPECT_EQ(view->ArePageTabsShown(), c.tabs_shown);
    EXPECT_EQ(timeline.shown, c.timeline_shown);
    const Point32 client = host.GetClientSize();
    if (c.layout == kLayoutPage) {
      EXPECT_EQ(view->GetViewMatrix().a, k100);
      EXPECT_EQ(host.scroll, (Point32{0, 0}));
    } else if (c.layout == kLayoutFit) {
      // Nothing to scroll.
      EXPECT_EQ(host.total, client);
    } else if (!view->IsSymbolSide()) {
      // The whole page in the window, filling it one way.
      const Rect32 r = PageOnScreen();
      EXPECT_GE(r.xmin, 0);
      EXPECT_GE(r.ymin, 0);
      EXPECT_LE(r.xmax, client.x);
      EXPECT_LE(r.ymax, client.y);
      EXPECT_TRUE(r.xmax - r.xmin >= client.x - 8 || r.ymax - r.ymin >= client.y - 8);
    } else {
      EXPECT_EQ(view->GetViewMatrix().a, k100);  // 100 % about the origin
    }
  }
}

TEST_F(ViewInitialUpdateTest, ADocumentWithoutPagesShowsNothing) {
  auto empty = std::make_unique<ViewDoc>();
  view->SetDocument(empty.get());
  view->InitialUpdate(false);
  EXPECT_EQ(view->GetEditContext(), nullptr);
  EXPECT_EQ(view->GetViewMatrix().a, k100);
  view->SetDocument(doc.get());
}

TEST_F(ViewInitialUpdateTest, SwitchingContextsRefreshesTabsAndTimeline) {
  Show(page);
  host.ShowPageTabs(true);
  host.tabs = RecordingTabs();
  host.tab_refreshes = 0;
  timeline.calls.clear();
  Show(second);
  EXPECT_EQ(host.tab_refreshes, 1);
  EXPECT_EQ(host.tabs.refreshes, 1);
  EXPECT_EQ(host.tabs.scrolls, 1);
  EXPECT_EQ(timeline.calls, (std::vector<std::string>{"sync 0 0", "refresh"}));
  // Showing the same context again does nothing.
  Show(second);
  EXPECT_EQ(host.tab_refreshes, 1);
}

TEST_F(ViewInitialUpdateTest, ShowAllFitsWhatIsDrawn) {
  Show(page);
  auto* box = new CTestBox(1, Rect32{1000, 3000, 2000, 3000});
  ASSERT_TRUE(Edit(page, [&] { Root()->GetFirstLayer()->GetFirstFrame()->AddChild(box); }));
  for (const int32_t layout : {kLayoutPage, kLayoutWorkArea}) {
    view->SetLayoutMode(layout);
    view->ShowAll();
    // What is drawn, grown by 10 pixels (of the zoom before), fills the
    // client's width (it is wider than the client's shape), centred.
    const int32_t p = view->GetPixelSize();
    view->ShowAll();
    Rect32 drawn;
    Root()->GetBounds(drawn);
    RectInset(drawn, -10 * p);
    Matrix2x3 m;
    view->GetDocToClientMatrix(m);
    Rect32 r;
    MatrixTransformRect(m, drawn, r);
    const Point32 client = host.GetClientSize();
    EXPECT_NEAR(r.xmin, 0, 1) << layout;
    EXPECT_NEAR(r.xmax, client.x, 1) << layout;
    EXPECT_NEAR((r.ymin + r.ymax) / 2, client.y / 2, 1) << layout;
  }
  // Nothing drawn: the page.
  ASSERT_TRUE(Edit(page, [&] { box->DeleteFromParent(); }));
  view->SetLayoutMode(kLayoutPage);
  view->ShowAll();
  const Rect32 r = PageOnScreen();
  const Point32 client = host.GetClientSize();
  EXPECT_TRUE(r.xmax - r.xmin >= client.x - 2 || r.ymax - r.ymin >= client.y - 2);
  EXPECT_LE(r.ymax - r.ymin, client.y + 1);
}

}  // namespace
