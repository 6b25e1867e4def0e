// The scroll view base: bars from the client and total sizes (both passes,
// the parent's inside rectangle, too small a client), the scroll codes in
// either byte, the real bars driving it, and resizing the parent to fit.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QWidget>
#include <climits>
#include <functional>

#include "platform/qt/messages.h"
#include "view/scroll_view.h"
#include "window_host.h"

namespace {

constexpr int kBar = 16;  // the window scroll bars' width and height

class CTestView : public CSScrollView {
 public:
  std::vector<CSize> asked;
  bool OnScrollBy(CSize delta, bool doScroll) override {
    asked.push_back(delta);
    return CSScrollView::OnScrollBy(delta, doScroll);
  }
};

struct Fixture {
  CHost host;
  CTestView view;
  explicit Fixture(CSize client, DWORD extraStyle = 0, bool answer = false, CRect inside = {}) {
    host.answer = answer;
    host.inside = inside;
    EXPECT_TRUE(host.Create("PL_Default", "host", WS_VISIBLE,
                            {20, 20, 20 + client.cx, 20 + client.cy}, nullptr, 0));
    EXPECT_TRUE(view.Create("PL_Default", "", WS_VISIBLE | WS_CHILD | extraStyle,
                            {0, 0, client.cx, client.cy}, &host, 1));
    host.child = &view;
  }
  ~Fixture() {
    host.child = nullptr;
    view.DestroyWindow();
    host.DestroyWindow();
  }
};

TEST(ScrollView, BarsFollowClientAndTotalSizes) {
  struct Case {
    const char* what;
    CSize client;
    CSize total;
    DWORD style;
    bool answer;
    CRect inside;
    bool h, v;
    int h_limit, v_limit;
    UINT h_page, v_page;
  } cases[] = {
      {"smaller", {200, 100}, {150, 80}, 0, false, {}, false, false, 0, 0, 0, 0},
      {"equal", {200, 100}, {200, 100}, 0, false, {}, false, false, 0, 0, 0, 0},
      {"taller", {200, 100}, {150, 300}, 0, false, {}, false, true, 0, 200, 0, 100},
      {"both",
       {200, 100},
       {500, 300},
       0,
       false,
       {},
       true,
       true,
       500 - (200 - kBar),
       300 - (100 - kBar),
       200 - kBar,
       100 - kBar},
      // Height overflows; the vertical bar then makes the width overflow.
      {"two passes",
       {200, 100},
       {190, 300},
       0,
       false,
       {},
       true,
       true,
       190 - (200 - kBar),
       300 - (100 - kBar),
       200 - kBar,
       100 - kBar},
      {"width only", {200, 100}, {400, 80}, 0, false, {}, true, false, 200, 0, 200, 0},
      {"border",
       {200, 100},
       {190, 300},
       WS_BORDER,
       false,
       {},
       true,
       true,
       190 - (200 - kBar + 1),
       300 - (100 - kBar + 1),
       200 - kBar + 1,
       100 - kBar + 1},
      // The parent keeps room for the bars: they do not shrink the page.
      {"parent answers",
       {200, 100},
       {500, 300},
       0,
       true,
       {0, 0, 180, 90},
       true,
       true,
       320,
       210,
       180,
       90},
      {"client smaller than the bars",
       {12, 12},
       {500, 300},
       0,
       false,
       {},
       false,
       false,
       0,
       0,
       0,
       0},
  };
  for (const Case& c : cases) {
    Fixture f(c.client, c.style, c.answer, c.inside);
    f.view.SetScrollSizes(c.total.cx, c.total.cy, 50, 50, 5, 5);
    const DWORD style = f.view.GetStyle();
    EXPECT_EQ((style & WS_HSCROLL) != 0, c.h) << c.what;
    EXPECT_EQ((style & WS_VSCROLL) != 0, c.v) << c.what;
    SCROLLINFO si;
    if (c.h) {
      EXPECT_EQ(f.view.GetScrollLimit(SB_HORZ), c.h_limit) << c.what;
      f.view.GetScrollInfo(SB_HORZ, &si);
      EXPECT_EQ(si.nPage, c.h_page) << c.what;
      EXPECT_EQ(si.nMax, c.total.cx - 1) << c.what;
    }
    if (c.v) {
      EXPECT_EQ(f.view.GetScrollLimit(SB_VERT), c.v_limit) << c.what;
      f.view.GetScrollInfo(SB_VERT, &si);
      EXPECT_EQ(si.nPage, c.v_page) << c.what;
    }
  }
}

TEST(ScrollView, SmallerTotalScrollsBackToTheOrigin) {
  Fixture f({200, 100});
  f.view.SetScrollSizes(500, 300, 50, 50, 5, 5);
  f.view.ScrollToPosition({150, 120});
  EXPECT_EQ(f.view.GetScrollPosition(), CPoint(150, 120));
  f.view.ScrollToPosition({INT_MAX, -7});  // clamped to the limits
  EXPECT_EQ(f.view.GetScrollPosition(), CPoint(f.view.GetScrollLimit(SB_HORZ), 0));
  f.view.SetScrollSizes(100, 50, 50, 50, 5, 5);
  EXPECT_EQ(f.view.GetScrollPosition(), CPoint(0, 0));
  EXPECT_FALSE(f.view.GetStyle() & (WS_HSCROLL | WS_VSCROLL));
}

TEST(ScrollView, ScrollCodesInEitherByte) {
  Fixture f({200, 100});
  f.view.SetScrollSizes(1000, 1000, 60, 40, 7, 3);
  const int hMax = f.view.GetScrollLimit(SB_HORZ), vMax = f.view.GetScrollLimit(SB_VERT);
  struct {
    UINT code;
    int pos;
    CPoint expected;
  } steps[] = {
      {0xFF00 | SB_LINEDOWN, 0, {7, 0}},
      {0x00FF | SB_LINEDOWN << 8, 0, {7, 3}},
      {0xFF00 | SB_PAGEDOWN, 0, {67, 3}},
      {0x00FF | SB_PAGEDOWN << 8, 0, {67, 43}},
      {0xFF00 | SB_PAGEUP, 0, {7, 43}},
      {0x00FF | SB_LINEUP << 8, 0, {7, 40}},
      {0xFF00 | SB_THUMBTRACK, 321, {321, 40}},
      {0xFF00 | SB_THUMBPOSITION, 5, {321, 40}},  // the final position changes nothing
      {0xFF00 | SB_ENDSCROLL, 0, {321, 40}},
      {0x00FF | SB_BOTTOM << 8, 0, {321, vMax}},
      {0xFF00 | SB_BOTTOM, 0, {hMax, vMax}},
      {0xFF00 | SB_LINEDOWN, 0, {hMax, vMax}},
      {0xFF00 | SB_TOP, 0, {0, vMax}},
      {0xFF00 | SB_LINEUP, 0, {0, vMax}},
      {0x00FF | SB_TOP << 8, 0, {0, 0}},
  };
  for (const auto& s : steps) {
    f.view.OnScroll(s.code, s.pos);
    EXPECT_EQ(f.view.GetScrollPosition(), s.expected) << std::hex << s.code;
  }
  // An axis without a bar stays.
  f.view.SetScrollSizes(1000, 50, 60, 40, 7, 3);
  EXPECT_FALSE(f.view.GetStyle() & WS_VSCROLL);
  EXPECT_FALSE(f.view.OnScroll(0x00FF | SB_LINEDOWN << 8, 0));
  EXPECT_TRUE(f.view.OnScroll(0xFF00 | SB_LINEDOWN, 0, false));  // only asks
  EXPECT_EQ(f.view.GetScrollPosition(), CPoint(0, 0));
}

TEST(ScrollView, RealBarsDriveTheView) {
  Fixture f({200, 100});
  f.view.SetScrollSizes(100000, 1000, 60, 40, 7, 3);
  const auto bars = f.view.GetWidget()->findChildren<QScrollBar*>();
  QScrollBar* h = nullptr;
  for (QScrollBar* b : bars)
    if (b->orientation() == Qt::Horizontal) h = b;
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->maximum(), f.view.GetScrollLimit(SB_HORZ));  // range 0..total-1, page p: 0..total-p
  h->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(f.view.GetScrollPosition().x, 60);
  // Dragging: each move tracks live (past 16 bits), the release changes nothing.
  h->setSliderDown(true);
  h->setSliderPosition(70000);
  EXPECT_EQ(f.view.GetScrollPosition().x, 70000);
  EXPECT_EQ(h->value(), 70000);
  h->setSliderPosition(80000);
  EXPECT_EQ(f.view.GetScrollPosition().x, 80000);
  f.view.asked.clear();
  h->setSliderDown(false);
  EXPECT_EQ(f.view.GetScrollPosition().x, 80000);
  for (CSize d : f.view.asked) EXPECT_EQ(d, CSize(0, 0));
}

TEST(ScrollView, ResizeParentToFitMakesTheClientTheTotal) {
  {
    Fixture f({200, 100});
    f.view.SetScrollSizes(150, 80, 50, 50, 5, 5);
    f.view.ResizeParentToFit(false);
    Settle([&] { return f.view.GetClientRect() == CRect(0, 0, 150, 80); });
    EXPECT_EQ(f.view.GetClientRect(), CRect(0, 0, 150, 80));
  }
  {
    Fixture f({200, 100});
    f.view.SetScrollSizes(300, 80, 50, 50, 5, 5);
    f.view.ResizeParentToFit(true);  // shrinks the height only
    Settle([&] { return f.view.GetWindowRect().Height() == 80; });
    EXPECT_EQ(f.view.GetWindowRect().Width(), 200);
    EXPECT_EQ(f.view.GetWindowRect().Height(), 80);
    f.view.ResizeParentToFit(false);
    Settle([&] { return f.view.GetClientRect() == CRect(0, 0, 300, 80); });
    EXPECT_EQ(f.view.GetClientRect(), CRect(0, 0, 300, 80));
  }
}

}  // namespace
