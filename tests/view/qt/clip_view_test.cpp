// The floating windows' views on Qt's offscreen platform, pixels read from
// the window's backing surface: the page drawn whole as it prints, the first
// showing fitting the page and the frame, resizing (and being collapsed),
// the double click, the cursor, the inert tools and activation, and the
// symbol view fitting its first symbol and keeping its frame's list.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <memory>
#include <string>

#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model_fixtures.h"
#include "paint_fixture.h"
#include "platform/qt/cursors.h"
#include "platform/qt/sys_colors.h"
#include "platform/qt/window_surface.h"
#include "view/clip_view.h"
#include "view/draw_tool.h"
#include "view_shapes.h"
#include "window_host.h"

namespace {

// A floating window's frame: the view fills it; its state is the test's.
class CFloatingHost : public CHost, public FloatingViewFrame {
 public:
  bool IsCollapsed() const override { return collapsed; }
  bool IsActivating() const override { return activating; }
  void ClearActivating() override { activating = false; }
  int GetWindowNumber() const override { return number; }
  void RefreshSymbolList() override { ++listRefreshes; }
  void EditShownSymbol() override { ++edits; }
  bool collapsed = false;
  bool activating = false;
  int number = 0;
  int listRefreshes = 0;
  int edits = 0;
};

// Counts what reaches the tools.
class CCountingTools : public ViewTools, public CDrawTool {
 public:
  CDrawTool* GetCurrentTool() override { return this; }
  int32_t GetCurrentToolType() const override { return kToolPencil; }
  int32_t GetCurrentPanel() const override { return 1; }
  void SetCurrentTool(int32_t, int32_t, int32_t) override {}
  void OnPress(CMarlView&, UINT, int32_t, int32_t) override { ++presses; }
  void OnDoubleClick(CMarlView&, UINT, int32_t, int32_t) override { ++presses; }
  int presses = 0;
};

template <class V>
class CFocusView : public V {
 public:
  using V::OnSetFocus;
};

constexpr uint32_t kBlue = 0xFFE04020;
constexpr uint32_t kRed = 0xFF2020D0;
constexpr Rect32 kBlueSquare{20, 120, 20, 100};
constexpr Rect32 kHiddenSquare{200, 300, 150, 250};

class ClipViewTest : public PaintPageTest {
 protected:
  void SetUp() override {
    PaintPageTest::SetUp();
    ASSERT_TRUE(Edit(page, [&] {
      CPicPage* root = page->GetRoot();
      // A hidden layer at the back and a selected square in front.
      CPicLayer* hidden = MakeLayer({1});
      hidden->GetFirstFrame()->SetFrameStyle(0);
      hidden->GetFirstFrame()->AddChild(Square(kHiddenSquare, kRed));
      hidden->SetType(CPicLayer::kHidden);
      CPicLayer* front = MakeLayer({1});
      front->GetFirstFrame()->SetFrameStyle(0);
      CPicShape* blue = Square(kBlueSquare, kBlue);
      front->GetFirstFrame()->AddChild(blue);
      blue->SetSelected(true);
      root->AddChild(hidden);
      root->AddChild(front);
    }));
    doc.m_currentPage = page;
  }
  void TearDown() override {
    for (auto& [frame, view] : open_) {
      frame->child = nullptr;
      view->DestroyWindow();
      frame->DestroyWindow();
    }
    open_.clear();
    frames_.clear();
    SetPendingEditContext(nullptr);
    PaintPageTest::TearDown();
  }

  // A frame for a view, kept until the test ends.
  CFloatingHost& NewFrame() { return *frames_.emplace_back(std::make_unique<CFloatingHost>()); }
  // A view of the document in a new frame of that size, shown for the
  // first time.
  template <class V = CClipView>
  V& Open(CFloatingHost& frame, int width, int height) {
    auto view = std::make_unique<V>();
    EXPECT_TRUE(frame.Create("PL_Default", "clip", WS_VISIBLE, {20, 20, 20 + width, 20 + height},
                             nullptr, 0));
    // Double clicks reach the view as such.
    RegisterWindowClass("TestFloatingView", CS_DBLCLKS);
    EXPECT_TRUE(view->Create("TestFloatingView", "", WS_VISIBLE | WS_CHILD, {0, 0, width, height},
                             &frame, 1));
    frame.child = view.get();
    view->State().SetDocument(&doc);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(frame.GetWidget()));
    view->OnInitialUpdate();
    view->UpdateWindow();
    V& v = *view;
    open_.emplace_back(&frame, std::move(view));
    return v;
  }
  static QImage Pixels(CMarlView& v) {
    const CRect client = v.GetClientRect();
    return v.GetSurface()->Image().copy(0, 0, client.Width(), client.Height());
  }
  static Rect32 OnScreen(const CMarlView& v, const Rect32& r) {
    Matrix2x3 m;
    v.GetDocToClientMatrix(m);
    Rect32 out;
    MatrixTransformRect(m, r, out);
    return out;
  }
  static QRgb At(CMarlView& v, const QImage& image, const Point32& p) {
    Matrix2x3 m;
    v.GetDocToClientMatrix(m);
    Point32 q;
    MatrixTransformPoint(m, p, q);
    return image.pixel(q.x, q.y) & 0xFFFFFF;
  }
  // Within 1 pixel (fitting rounds).
  static void ExpectFits(const Rect32& r, const CRect& client, const std::string& what) {
    EXPECT_GE(r.xmin, -1) << what;
    EXPECT_GE(r.ymin, -1) << what;
    EXPECT_LE(r.xmax, client.right + 1) << what;
    EXPECT_LE(r.ymax, client.bottom + 1) << what;
    EXPECT_TRUE(r.xmax - r.xmin >= client.Width() - 2 || r.ymax - r.ymin >= client.Height() - 2)
        << what;
  }

 private:
  std::vector<std::unique_ptr<CFloatingHost>> frames_;
  std::vector<std::pair<CFloatingHost*, std::unique_ptr<CMarlView>>> open_;
};

// Hidden layers too, and no selection: the page as it prints.
TEST_F(ClipViewTest, DrawsThePageWholeAsItPrints) {
  CFloatingHost& frame = NewFrame();
  CClipView& view = Open(frame, 300, 300);
  const QImage painted = Pixels(view);
  EXPECT_EQ(At(view, painted, {250, 200}), Pixel(kRed));
  EXPECT_EQ(At(view, painted, {70, 60}), Pixel(kBlue));
  const QImage direct = DirectRendering(view, page->GetRoot(), kQualityFast);
  const Rect32 extent = OnScreen(view, doc.m_movieRect);
  int differing = 0;
  for (int y = 0; y < std::min(painted.height(), extent.ymax); ++y) {
    for (int x = 0; x < std::min(painted.width(), extent.xmax); ++x) {
      if ((painted.pixel(x, y) & 0xFFFFFF) != (direct.pixel(x, y) & 0xFFFFFF)) ++differing;
    }
  }
  EXPECT_EQ(differing, 0);
}

TEST_F(ClipViewTest, TheFirstShowingFitsThePageAndTheFrame) {
  // The page (4 : 3) in a wide window: the frame narrows to the page.
  CFloatingHost& wide = NewFrame();
  CClipView& view = Open(wide, 360, 200);
  Settle([&] { return view.GetClientRect().Width() < 300; });
  const CRect client = view.GetClientRect();
  EXPECT_EQ(client.Height(), 200);
  EXPECT_NEAR(client.Width(), 267, 1);
  ExpectFits(OnScreen(view, doc.m_movieRect), client, "page");

  // A symbol (at 100 % about its origin, far larger than the window): the
  // frame is never made larger.
  CDocumentPage* symbol = NewPage(doc, true);
  SetPendingEditContext(symbol);
  CFloatingHost& small = NewFrame();
  CClipView& symbolView = Open(small, 200, 150);
  SetPendingEditContext(nullptr);
  EXPECT_EQ(symbolView.GetEditContext(), symbol);
  QTest::qWait(50);
  EXPECT_EQ(small.GetClientRect(), CRect(0, 0, 200, 150));
  EXPECT_EQ(symbolView.State().GetViewMatrix().a, 0x10000);
}

TEST_F(ClipViewTest, ResizingFitsThePageUnlessCollapsed) {
  CFloatingHost& frame = NewFrame();
  CClipView& view = Open(frame, 400, 300);
  const Fixed before = view.State().GetViewMatrix().a;
  frame.MoveWindow(CRect(20, 20, 20 + 200, 20 + 150));
  Settle([&] { return view.GetClientRect().Width() == 200; });
  ASSERT_EQ(view.GetClientRect().Width(), 200);
  EXPECT_LT(view.State().GetViewMatrix().a, before);
  ExpectFits(OnScreen(view, doc.m_movieRect), view.GetClientRect(), "smaller");

  // Collapsed: the size change is ignored and only the button face shows.
  frame.collapsed = true;
  const Matrix2x3 kept = view.State().GetViewMatrix();
  frame.MoveWindow(CRect(20, 20, 20 + 300, 20 + 225));
  Settle([&] { return view.GetClientRect().Width() == 300; });
  EXPECT_EQ(view.State().GetViewMatrix(), kept);
  view.Invalidate();
  view.UpdateWindow();
  const QImage image = Pixels(view);
  const QRgb face = Pixel(GetSysColor(COLOR_BTNFACE) | 0xFF000000);
  for (const CPoint p : {CPoint(5, 5), CPoint(100, 80), CPoint(290, 200)})
    EXPECT_EQ(image.pixel(p.x, p.y) & 0xFFFFFF, face) << p.x << ", " << p.y;
}

TEST_F(ClipViewTest, DoubleClickSwitchesSmoothingAndToolsNeverDraw) {
  CFloatingHost& frame = NewFrame();
  CClipView& view = Open(frame, 300, 300);
  CCountingTools tools;
  view.SetTools(&tools);
  for (const int32_t expected : {kQualitySmooth, kQualityFast, kQualitySmooth}) {
    QTest::mouseDClick(view.GetWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 50));
    EXPECT_EQ(view.State().view_quality, expected);
    EXPECT_EQ(view.GetDirtyClientRect(), view.GetClientRect());
    view.UpdateWindow();
  }
  QTest::mousePress(view.GetWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 50));
  QTest::mouseRelease(view.GetWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 50));
  EXPECT_EQ(tools.presses, 0);

  // Activation leaves the document's settings and the active view alone.
  doc.m_viewQuality = kQualityOutlines;
  const HWND active = GetActiveViewWindow();
  view.OnActivateView(true, &view, nullptr);
  EXPECT_EQ(doc.m_viewQuality, kQualityOutlines);
  EXPECT_EQ(GetActiveViewWindow(), active);
}

TEST_F(ClipViewTest, TheDragCursorShowsOverObjects) {
  CFloatingHost& frame = NewFrame();
  CClipView& view = Open(frame, 300, 300);
  const Rect32 square = OnScreen(view, kBlueSquare);
  const CPoint inside((square.xmin + square.xmax) / 2, (square.ymin + square.ymax) / 2);
  EXPECT_EQ(view.CursorAt(inside), LoadCursor(kDragObjectCursor));
  EXPECT_EQ(view.CursorAt(CPoint(square.xmax + 20, square.ymax + 20)),
            LoadStandardCursor(IDC_ARROW));
}

TEST_F(ClipViewTest, TheSymbolViewFitsItsFirstSymbol) {
  CDocumentPage* symbol = NewPage(doc, true);
  CDocumentPage* other = NewPage(doc, true);
  const Rect32 drawn{1000, 1400, 500, 800};
  ASSERT_TRUE(Edit(symbol, [&] {
    symbol->GetRoot()->GetFirstLayer()->GetFirstFrame()->AddChild(Square(drawn, kBlue));
  }));
  CFloatingHost& frame = NewFrame();
  auto& view = Open<CFocusView<CSymbolView>>(frame, 200, 200);
  EXPECT_EQ(view.GetEditContext(), symbol);
  EXPECT_EQ(view.State().GetLayoutMode(), kLayoutFit);
  ExpectFits(OnScreen(view, drawn), view.GetClientRect(), "first showing");
  EXPECT_EQ(At(view, Pixels(view), {1200, 650}), Pixel(kBlue));
  // Fitted again after a resize.
  frame.MoveWindow(CRect(20, 20, 20 + 120, 20 + 260));
  Settle([&] { return view.GetClientRect().Width() == 120; });
  ExpectFits(OnScreen(view, drawn), view.GetClientRect(), "resized");

  // The frame's list follows every switch.
  const int refreshes = frame.listRefreshes;
  EXPECT_GE(refreshes, 1);
  ASSERT_TRUE(view.SetEditContext(other));
  EXPECT_EQ(frame.listRefreshes, refreshes + 1);

  // A double click opens the symbol for editing, only when the document
  // has other windows; the quality stays.
  for (const int number : {0, 2}) {
    frame.number = number;
    QTest::mouseDClick(view.GetWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 50));
    EXPECT_EQ(frame.edits, number > 0 ? 1 : 0);
  }
  EXPECT_EQ(view.State().view_quality, doc.m_viewQuality);

  // Taking the focus ends the frame's click handling.
  frame.activating = true;
  view.OnSetFocus(nullptr);
  EXPECT_FALSE(frame.activating);
}

}  // namespace
