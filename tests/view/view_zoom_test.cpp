// The view state's zoom, scrolling, layout modes, view lengths and
// invalidation, and its edit context with the state kept per side.
#include <gtest/gtest.h>

#include "model/app_services.h"
#include "view_fixture.h"

namespace {

constexpr Fixed k100 = 4369;  // 100 % on a 96-dpi screen: FixedDiv(96, 1440)

Rect32 Mapped(const Matrix2x3& m, const Rect32& r) {
  Rect32 out;
  MatrixTransformRect(m, r, out);
  return out;
}

class ViewZoomTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    Show(page);
  }
};

TEST_F(ViewZoomTest, SetZoomClampsBothScales) {
  struct Case {
    Fixed s, v;
    int32_t dpi_y;
    Fixed want_a, want_d;
  } cases[] = {
      {0x20000, 0, 96, 0x10000, 0x10000},  // above the range
      {100, 0, 96, 256, 256},              // below it
      {-5, 0, 96, 256, 256},
      {k100, 0, 192, k100, 2 * k100},       // v follows the screen's aspect
      {k100, 100, 96, k100, 256},           // a given v is raised
      {k100, 0x40000, 96, k100, 0x10000},   // and kept below the top
      {0x10000, 0, 192, 0x10000, 0x10000},  // a computed v too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.s << " " << c.v << " dpiY " << c.dpi_y);
    host.dpi_y = c.dpi_y;
    view->SetZoom(c.s, nullptr, c.v);
    const Matrix2x3& m = view->GetViewMatrix();
    EXPECT_EQ(m.a, c.want_a);
    EXPECT_EQ(m.d, c.want_d);
    EXPECT_EQ(m.b, 0);
    EXPECT_EQ(m.c, 0);
  }
}

TEST_F(ViewZoomTest, SetZoomScrollsTheCentreToTheMiddle) {
  // 720 x 960 pixels in an 800 x 600 window: a vertical bar only.
  Point32 centre{5400, 7200};
  view->SetZoom(k100, &centre, 0);
  EXPECT_TRUE(host.vbar);
  EXPECT_FALSE(host.hbar);
  EXPECT_EQ(host.scroll.x, 0);
  EXPECT_EQ(host.scroll.y, 480 - 300);
  view->SetZoom(k100, nullptr, 0);
  EXPECT_EQ(host.scroll.y, 0);
}

TEST_F(ViewZoomTest, ViewLengthsAndZoomClass) {
  struct Case {
    int32_t dpi;
    Fixed s;
    int32_t p, u, zoom_class;
  } cases[] = {
      {96, k100, 15, 15, 0},      // 1440 div 100 = 14, raised to P
      {96, 8 * k100, 2, 2, 0},    // 800 %
      {96, k100 / 4, 60, 60, 0},  // 25 %
      {192, 2 * k100, 8, 14, 0},  // a fine screen: U is the hundredth of an inch
      {96, 256, 256, 256, -1},    // the smallest zoom
      {96, 0x10000, 1, 1, 1},     // one pixel per twip
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "dpi " << c.dpi << " scale " << c.s);
    host.dpi_x = host.dpi_y = c.dpi;
    view->SetZoom(c.s, nullptr, 0);
    EXPECT_EQ(view->GetPixelSize(), c.p);
    EXPECT_EQ(view->GetPickUnit(), c.u);
    EXPECT_EQ(view->GetZoomClass(), c.zoom_class);
  }
  host.dpi_x = host.dpi_y = 96;
  view->SetZoom(8 * k100, nullptr, 0);
  EXPECT_EQ(view->GetZoomFactor(), 8 << 16);
}

TEST_F(ViewZoomTest, ScrollSizesPerLayoutMode) {
  auto* box = new CTestBox(1, Rect32{1000, 3000, 1000, 2000});
  Root()->GetFirstLayer()->GetFirstFrame()->AddChild(box);
  Root()->RecalcAndNotify(nullptr);

  // Mode 0: the page alone.
  view->SetZoom(k100, nullptr, 0);
  EXPECT_EQ(view->GetWorkArea(), (Rect32{0, 10800, 0, 14400}));
  EXPECT_EQ(host.total, (Point32{720, 960}));
  EXPECT_EQ(host.line, (Point32{30, 30}));
  Point32 c = host.client_at_set;
  EXPECT_EQ(host.page, (Point32{std::max(c.x - 30, c.x / 4), std::max(c.y - 30, c.y / 4)}));

  // Mode 1: ten inches around the page, its corner at device (0, 0).
  view->SetLayoutMode(kLayoutWorkArea);
  view->SetZoom(k100, nullptr, 0);
  EXPECT_EQ(view->GetWorkArea(), (Rect32{-14400, 25200, -14400, 28800}));
  EXPECT_EQ(host.total, (Point32{2640, 2880}));
  Rect32 corner = Mapped(view->GetViewMatrix(), view->GetWorkArea());
  EXPECT_EQ(corner.xmin, 0);
  EXPECT_EQ(corner.ymin, 0);

  // Mode 2: the drawing fitted into the client area, centred; no scrolling.
  view->SetLayoutMode(kLayoutFit);
  view->UpdateScrollSizes();  // as the window's resize does once the bars went
  c = host.GetClientSize();
  EXPECT_EQ(host.total, c);
  EXPECT_EQ(host.page, c);
  EXPECT_EQ(host.line, c);
  EXPECT_FALSE(host.vbar || host.hbar);
  EXPECT_EQ(view->GetZoomClass(), 0);
  EXPECT_EQ(view->GetWorkArea(), (Rect32{990, 3010, 990, 2010}));  // the box with its line
  Rect32 fit = Mapped(view->GetViewMatrix(), view->GetWorkArea());
  EXPECT_NEAR(fit.xmin, 0, 1);
  EXPECT_NEAR(fit.xmax, 800, 1);
  EXPECT_NEAR(fit.ymin + fit.ymax, 600, 2);  // centred vertically
  EXPECT_EQ(view->GetViewMatrix().a, view->GetViewMatrix().d);

  // Mode 2 without a drawing: two inches about the origin.
  delete box;
  view->UpdateScrollSizes();
  EXPECT_EQ(view->GetWorkArea(), (Rect32{-1440, 1440, -1440, 1440}));
}

TEST_F(ViewZoomTest, SymbolSideAndInPlaceExtents) {
  CDocumentPage* symbol = NewPage(*doc, true);
  Show(symbol);
  view->SetZoom(k100, nullptr, 0);
  EXPECT_EQ(view->GetLayoutMode(), kLayoutWorkArea);
  EXPECT_EQ(view->GetWorkArea(), (Rect32{-14400, 14400, -14400, 14400}));
  EXPECT_EQ(host.total, (Point32{1920, 1920}));

  Show(page);  // back to the page side, in mode 0 as it was
  doc->in_place = true;
  view->SetZoom(k100, nullptr, 0);
  EXPECT_EQ(host.total, (Point32{720, host.client_at_set.y}));  // limited to the client area
}

TEST_F(ViewZoomTest, SwitchingToTheWorkAreaPutsItsCornerAtTheOrigin) {
  // The first zoom in mode 1 must use mode 1's work area (ten inches around
  // the page), not the page rectangle of the mode before.
  view->SetZoom(k100, nullptr, 0);
  view->SetLayoutMode(kLayoutWorkArea);
  Rect32 corner = Mapped(view->GetViewMatrix(), view->GetWorkArea());
  EXPECT_EQ(corner.xmin, 0);
  EXPECT_EQ(corner.ymin, 0);
  // Show Page: the page (grown by two pixels) fills the client area.
  Matrix2x3 toClient;
  view->GetDocToClientMatrix(toClient);
  Rect32 shown = Mapped(toClient, Rect32{0, 10800, 0, 14400});
  Point32 client = host.GetClientSize();
  EXPECT_GE(shown.ymin, 0);
  EXPECT_LE(shown.ymax, client.y);
  EXPECT_GE(shown.ymax - shown.ymin, client.y - 6);
}

TEST_F(ViewZoomTest, ZoomToRectFitsAfterTheBarsAppear) {
  // A long page: zoomed to the width of an 800-pixel window it needs a
  // vertical bar, which leaves 784 pixels, so a one-pass fit overflows.
  doc->m_movieRect = Rect32{0, 9600, 0, 20000};
  view->SetZoom(256, nullptr, 0);
  ASSERT_FALSE(host.vbar || host.hbar);
  const Rect32 r{0, 9600, 0, 7200};
  Point32 centre{4800, 3600};
  view->SetZoom(std::min(FixedDiv(800, 9600), FixedDiv(600, 7200)), &centre, 0);
  EXPECT_TRUE(host.vbar);
  EXPECT_TRUE(host.hbar);  // one pass: the width overflows

  view->SetZoom(256, nullptr, 0);
  view->ZoomToRect(r, true);
  EXPECT_TRUE(host.vbar);
  EXPECT_FALSE(host.hbar);
  Rect32 page = Mapped(view->GetViewMatrix(), doc->m_movieRect);
  EXPECT_LE(page.xmax - page.xmin, host.GetClientSize().x);

  // Not uniform: each axis fills the client area.
  view->ZoomToRect(r, false);
  Point32 client = host.GetClientSize();
  EXPECT_EQ(view->GetViewMatrix().a, FixedDiv(client.x, 9600));
  EXPECT_EQ(view->GetViewMatrix().d, FixedDiv(client.y, 7200));
}

TEST_F(ViewZoomTest, ZoomToRectOfNothingKeepsTheZoom) {
  Point32 centre{5400, 7200};
  view->SetZoom(2 * k100, &centre, 0);
  const Matrix2x3 before = view->GetViewMatrix();
  const Point32 scroll = host.scroll;
  for (const Rect32& r : {Rect32{}, Rect32{500, 500, 700, 700}}) {
    view->ZoomToRect(r, true);
    view->ZoomToRect(r, false);
    EXPECT_EQ(view->GetViewMatrix(), before);
    EXPECT_EQ(host.scroll, scroll);
  }
  // A flat rectangle: the scale of its empty axis stays in range.
  view->ZoomToRect(Rect32{0, 9600, 100, 100}, false);
  EXPECT_EQ(view->GetViewMatrix().d, kZoomMax);
}

TEST_F(ViewZoomTest, InvalidationGrowsFiveAndSixPixels) {
  view->SetZoom(k100, nullptr, 0);
  host.rects.clear();
  Rect32 pixel{150, 165, 150, 165};  // one pixel at 100 %
  view->InvalidateDocRect(&pixel);
  ASSERT_EQ(host.rects.size(), 1u);
  EXPECT_EQ(host.rects[0], (WinRect{10 - 5, 10 - 5, 11 + 6, 11 + 6}));

  host.scroll = Point32{0, 180};
  view->InvalidateDocRect(nullptr);  // the work area
  EXPECT_EQ(host.rects[1], (WinRect{-5, -180 - 5, 720 + 6, 960 - 180 + 6}));

  Rect32 empty;
  view->InvalidateDocRect(&empty);
  EXPECT_EQ(host.rects.size(), 2u);
}

TEST_F(ViewZoomTest, VisibleRectangleInDocumentUnits) {
  Point32 centre{5400, 7200};
  view->SetZoom(k100, &centre, 0);  // 784 x 600 pixels visible, scrolled down 180
  Rect32 r;
  view->GetVisibleDocRect(r);
  EXPECT_EQ(r, (Rect32{0, 10800, 2700, 11700}));  // cut to the page in mode 0
  Matrix2x3 toDoc;
  view->GetClientToDocMatrix(toDoc);
  Point32 p;
  MatrixTransformPoint(toDoc, Point32{10, 20}, p);
  EXPECT_EQ(p, (Point32{150, 3000}));
}

TEST_F(ViewZoomTest, RulersFollowTheMatrixAndScrollPosition) {
  host.ShowRulers(true);
  host.hruler.offset_from_view = 20;
  Point32 centre{5400, 7200};
  host.hruler.calls.clear();
  host.vruler.calls.clear();
  view->SetZoom(k100, &centre, 0);
  ASSERT_FALSE(host.hruler.calls.empty());
  EXPECT_EQ(host.hruler.calls.back(), "origin -20 4369 0 1");
  EXPECT_EQ(host.vruler.calls.back(), "origin 180 4369 0 1");
  Rect32 r{10, 20, 30, 40};
  view->SetRulerMarkers(&r);
  EXPECT_EQ(host.hruler.calls.back(), "markers 10 20");
  EXPECT_EQ(host.vruler.calls.back(), "markers 30 40");
  view->SetRulerMarkers(nullptr);
  EXPECT_EQ(host.hruler.calls.back(), "markers -2147483648 -2147483648");
}

// ---- edit context ------------------------------------------------------------------------

class ViewContextTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    // Five frames on the page.
    Root()->GetFirstLayer()->GetFirstFrame()->SetLength(5);
    Root()->RecalcAndNotify(nullptr);
    symbol = NewPage(*doc, true);
    Show(page);
  }
  CDocumentPage* symbol = nullptr;
};

TEST_F(ViewContextTest, EachSideKeepsItsOwnState) {
  Point32 centre{5400, 7200};
  view->SetZoom(2 * k100, &centre, 0);
  view->GoToFrame(3);
  host.ShowRulers(true);
  timeline.shown = true;
  timeline.splitter = 321;
  timeline.fields = TimelineViewFields{1, 2, 3, 4, 5};
  view->view_settings = 0x5;
  const Matrix2x3 pageMatrix = view->GetViewMatrix();
  const Point32 pageScroll = host.scroll;
  ASSERT_NE(pageScroll, (Point32{0, 0}));

  // A symbol shown for the first time: the work area at 100 % about its
  // origin, with tabs.
  Show(symbol);
  EXPECT_TRUE(view->IsSymbolSide());
  EXPECT_EQ(view->GetCurrentFrame(), 0);
  EXPECT_EQ(view->GetLayoutMode(), kLayoutWorkArea);
  EXPECT_EQ(view->GetViewMatrix().a, k100);
  EXPECT_TRUE(view->ArePageTabsShown());
  EXPECT_EQ(doc->m_currentPage, page);  // symbols never become the current page
  ASSERT_NE(view->GetSavedState(false), nullptr);
  EXPECT_EQ(view->GetSavedState(false)->name, page->m_name);

  // The symbol side's own state.
  host.ShowRulers(false);
  timeline.shown = false;
  view->view_settings = 0x9;
  view->SetZoom(4 * k100, nullptr, 0);
  const Matrix2x3 symbolMatrix = view->GetViewMatrix();

  Show(page);
  EXPECT_FALSE(view->IsSymbolSide());
  EXPECT_EQ(view->GetViewMatrix(), pageMatrix);
  EXPECT_EQ(host.scroll, pageScroll);
  EXPECT_EQ(view->GetCurrentFrame(), 3);
  EXPECT_EQ(view->GetLayoutMode(), kLayoutPage);
  EXPECT_TRUE(view->AreRulersShown());
  EXPECT_FALSE(view->ArePageTabsShown());
  EXPECT_TRUE(timeline.shown);
  EXPECT_EQ(timeline.splitter, 321);
  EXPECT_EQ(timeline.fields, (TimelineViewFields{1, 2, 3, 4, 5}));
  EXPECT_EQ(view->view_settings, 0x5);

  ASSERT_TRUE(view->SelectEditContext(true));  // the symbol of the saved name
  EXPECT_EQ(view->GetEditContext(), symbol);
  EXPECT_EQ(view->GetViewMatrix(), symbolMatrix);
  EXPECT_FALSE(view->AreRulersShown());
  EXPECT_TRUE(view->ArePageTabsShown());
  EXPECT_FALSE(timeline.shown);
  EXPECT_EQ(view->view_settings, 0x9);
}

TEST_F(ViewContextTest, PageToPageKeepsTheZoom) {
  CDocumentPage* second = NewPage(*doc);
  view->SetZoom(3 * k100, nullptr, 0);
  view->GoToFrame(2);
  const Matrix2x3 m = view->GetViewMatrix();
  Show(second);
  EXPECT_EQ(view->GetViewMatrix(), m);
  EXPECT_EQ(view->GetCurrentFrame(), 0);
  EXPECT_EQ(doc->m_currentPage, second);
  EXPECT_EQ(view->GetSavedState(false), nullptr);
  // The lock moved with the context.
  EXPECT_EQ(page->GetLockCount(), 1);
  EXPECT_EQ(second->GetLockCount(), 2);
}

TEST_F(ViewContextTest, AContextThatCannotBeReadLeavesTheViewAsItWas) {
  // A second page whose contents are swapped out and cannot be read back
  // (the document has no file).
  CDocumentPage* broken = NewPage(*doc, true);
  broken->UnlockUpdate();
  broken->FreeContents();
  view->SetZoom(2 * k100, nullptr, 0);
  view->GoToFrame(4);
  const Matrix2x3 m = view->GetViewMatrix();

  EXPECT_FALSE(view->SetEditContext(broken));
  EXPECT_EQ(view->GetEditContext(), page);
  EXPECT_EQ(view->GetContextRoot(), Root());
  EXPECT_FALSE(view->IsSymbolSide());
  EXPECT_EQ(view->GetCurrentFrame(), 4);
  EXPECT_EQ(view->GetViewMatrix(), m);
  EXPECT_EQ(view->GetSavedState(false), nullptr);
  EXPECT_EQ(page->GetLockCount(), 2);
  EXPECT_EQ(broken->GetLockCount(), 0);
  EXPECT_EQ(services_.messages, (std::vector<uint32_t>{kIdsPageLoadFailed}));
  // It still shows and edits the old page.
  CViewObjIter it(*view, CViewObjIter::kWalkFrontToBack);
  EXPECT_EQ(it.Next(), Root()->GetFirstLayer()->GetFirstFrame());
  EXPECT_TRUE(view->SelectAll(true));
}

TEST_F(ViewContextTest, ADeletedContextIsNeverTouched) {
  CDocumentPage* second = NewPage(*doc);
  Show(second);
  second->DeletePage();  // the page and its tree are freed under the view
  EXPECT_EQ(view->GetEditContext(), nullptr);
  EXPECT_EQ(view->GetContextRoot(), nullptr);
  CViewObjIter it(*view, CViewObjIter::kWalkFrontToBack | CViewObjIter::kWalkLocked);
  EXPECT_EQ(it.Next(), nullptr);
  EXPECT_FALSE(view->SelectAll(true));
  EXPECT_FALSE(view->DeleteSelection());
  EXPECT_EQ(view->GetEditFrame(), nullptr);
  view->UpdateScrollSizes();
  // Another context can be shown again.
  Show(page);
  EXPECT_EQ(view->GetEditContext(), page);
}

TEST_F(ViewContextTest, FramesChangedKeepTheCurrentFrameInThePage) {
  view->GoToFrame(4);
  EXPECT_EQ(timeline.calls.back(), "frame 4");
  view->GoToFrame(99);  // clamped: already there
  EXPECT_EQ(view->GetCurrentFrame(), 4);
  // The page shrinks to two frames under the view.
  CEditTransaction::Run(*page, CDocumentPage::kEditUser,
                        [&] { Root()->GetFirstLayer()->GetFirstFrame()->SetLength(2); });
  EXPECT_EQ(view->GetCurrentFrame(), 1);
  EXPECT_GT(host.rects.size(), 0u);
}

TEST_F(ViewContextTest, OnlyAFrameSpanHintReachesTheTimeline) {
  for (const int16_t bits : {0x0, 0x1, 0x2, 0x3}) {
    timeline.calls.clear();
    CExtent hint;
    hint.changeBits = bits;
    hint.AddFrameSpan(2, 7);
    view->ForwardFrameRange(hint);
    const std::vector<std::string> expected =
        (bits & 0x2) != 0 ? std::vector<std::string>{"sync 2 7"} : std::vector<std::string>{};
    EXPECT_EQ(timeline.calls, expected) << bits;
  }
}

}  // namespace
