// The drawing view's frame change on a model page (static key frames, a
// motion tween, a layer with a gap, one static layer): for every pair of
// frames, immediate or not, the window ends up as a fresh full paint of the
// new frame, only what differs is drawn, the timeline is told the frame,
// and the onion skin's whole range is redrawn.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "geometry/edge_graph_insert.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "model_fixtures.h"
#include "platform/qt/window_surface.h"
#include "view/marl_view.h"
#include "view_fixture.h"
#include "view_shapes.h"
#include "window_host.h"

namespace {

// A view that records the rectangles it draws.
class CRecordingView : public CMarlView {
 public:
  std::vector<CRect> drawn;
  CRect DrawnBounds() const {
    CRect r;
    for (const CRect& d : drawn) r.UnionRect(r, d);
    return r;
  }

 protected:
  bool DrawPage(COffscreenBitmap& bitmap, const CRect& rect) override {
    drawn.push_back(rect);
    return CMarlView::DrawPage(bitmap, rect);
  }
};

// The document window's frame: the view fills it and its timeline records.
class CFrameHost : public CHost, public RecordingTimeline {};

constexpr Rect32 kStaticSquare{150, 190, 10, 50};  // the static layer's square
constexpr int kFrames = 8;

class MarlViewTest : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    doc.m_movieRect = Rect32{0, 400, 0, 300};
    page = NewPage(doc);
    CPicPage* root = page->GetRoot();
    ASSERT_TRUE(Edit(page, [&] {
      while (root->GetFirstChild() != nullptr) root->GetFirstChild()->DeleteFromParent();
      // The front layer: a blue square for frames 0..1, then a gap.
      CPicLayer* gap = MakeLayer({2});
      gap->GetFirstFrame()->SetFrameStyle(0);
      gap->GetFirstFrame()->AddChild(Square({20, 60, 90, 130}, 0xFF0000FF));
      // Key frames 0..2 (a green square), 3..4 tweening a group to key frame
      // 5..6, then a gap.
      CPicLayer* anim = MakeLayer({3, 2, 2});
      CPicFrame* k0 = anim->GetFirstFrame();
      CPicFrame* k1 = k0->GetNextKeyFrame();
      CPicFrame* k2 = k1->GetNextKeyFrame();
      k0->SetFrameStyle(0);
      k0->AddChild(Square({10, 50, 10, 50}, 0xFF00A000));
      k1->SetFrameStyle(CPicFrame::kTweenMotion);
      k1->AddChild(Placed({0, 30, 0, 30}, 0xFFFF8000, 20, 60));
      k2->SetFrameStyle(0);
      k2->AddChild(Placed({0, 30, 0, 30}, 0xFFFF8000, 100, 70));
      // The back layer: one key frame over the whole page.
      CPicLayer* still = MakeLayer({kFrames});
      still->GetFirstFrame()->SetFrameStyle(0);
      still->GetFirstFrame()->AddChild(Square(kStaticSquare, 0xFFFF0000));
      // Back to front: the root's last layer is drawn last.
      root->AddChild(still);
      root->AddChild(anim);
      root->AddChild(gap);
    }));
    ASSERT_EQ(root->m_frameCount, kFrames);
    view = Open(host, 20);
    reference = Open(ref_host, 300);
  }
  void TearDown() override {
    for (auto [h, v] : {std::pair{&host, view.get()}, std::pair{&ref_host, reference.get()}}) {
      h->child = nullptr;
      v->DestroyWindow();
      h->DestroyWindow();
    }
    view.reset();
    reference.reset();
    ModelTest::TearDown();
  }

  std::unique_ptr<CRecordingView> Open(CFrameHost& h, int x) {
    auto v = std::make_unique<CRecordingView>();
    EXPECT_TRUE(
        h.Create("PL_Default", "frame", WS_VISIBLE, {x, 20, x + 220, 20 + 160}, nullptr, 0));
    EXPECT_TRUE(v->Create("PL_Default", "", WS_VISIBLE | WS_CHILD | WS_HSCROLL | WS_VSCROLL,
                          {0, 0, 220, 160}, &h, 1));
    h.child = v.get();
    v->State().SetDocument(&doc);
    EXPECT_TRUE(v->SetEditContext(page));
    EXPECT_TRUE(QTest::qWaitForWindowExposed(h.GetWidget()));
    v->UpdateWindow();
    return v;
  }
  // The window's pixels now (read from its backing surface, which is what
  // the screen shows; no paint happens).
  static QImage Pixels(CMarlView& v) {
    const CRect client = v.GetClientRect();
    return v.GetSurface()->Image().copy(0, 0, client.Width(), client.Height());
  }
  // A fresh full paint of frame f.
  QImage FullPaint(int32_t f) {
    reference->GoToFrame(f, false);
    reference->InvalidateDoc(nullptr);
    reference->UpdateWindow();
    return Pixels(*reference);
  }
  // The bounds of the pixels that differ.
  static CRect Differences(const QImage& a, const QImage& b) {
    CRect r;
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x)
        if (a.pixel(x, y) != b.pixel(x, y)) r.UnionRect(r, CRect(x, y, x + 1, y + 1));
    return r;
  }
  static bool Contains(const CRect& outer, const CRect& inner) {
    return inner.IsRectEmpty() || (outer.left <= inner.left && outer.top <= inner.top &&
                                   outer.right >= inner.right && outer.bottom >= inner.bottom);
  }

  CTestDoc doc;
  CDocumentPage* page = nullptr;
  CFrameHost host, ref_host;
  std::unique_ptr<CRecordingView> view, reference;
};

TEST_F(MarlViewTest, FrameChangesRedrawOnlyWhatDiffers) {
  std::vector<QImage> full;
  for (int f = 0; f < kFrames; ++f) full.push_back(FullPaint(f));
  // The page really animates: the tween moves its square every frame.
  ASSERT_NE(full[0], full[3]);
  ASSERT_NE(full[3], full[4]);
  ASSERT_NE(full[4], full[5]);
  const CRect staticPixels(kStaticSquare.xmin, kStaticSquare.ymin, kStaticSquare.xmax,
                           kStaticSquare.ymax);
  for (bool immediate : {false, true}) {
    for (int a = 0; a < kFrames; ++a) {
      for (int b = 0; b < kFrames; ++b) {
        if (a == b) continue;
        const std::string what =
            std::to_string(a) + " -> " + std::to_string(b) + (immediate ? " immediate" : "");
        view->GoToFrame(a, false);
        view->InvalidateDoc(nullptr);
        view->UpdateWindow();
        ASSERT_EQ(Pixels(*view), full[a]) << what;
        view->drawn.clear();
        host.calls.clear();
        view->GoToFrame(b, immediate);
        EXPECT_EQ(view->GetCurrentFrame(), b);
        EXPECT_EQ(host.calls, std::vector<std::string>{"frame " + std::to_string(b)}) << what;
        if (!immediate) view->UpdateWindow();
        // Immediate: in the window's pixels before anything paints.
        ASSERT_EQ(Pixels(*view), full[b]) << what;
        const CRect drawn = view->DrawnBounds();
        EXPECT_TRUE(Contains(drawn, Differences(full[a], full[b]))) << what;
        CRect overlap;
        EXPECT_FALSE(overlap.IntersectRect(drawn, staticPixels)) << what;
      }
    }
  }
}

// The picture follows the scroll position (the document-to-client matrix).
TEST_F(MarlViewTest, ScrollingMovesThePicture) {
  const QImage still = Pixels(*view);
  view->OnScrollBy(CSize(5, 10), true);
  ASSERT_EQ(view->GetScrollPosition(), CPoint(5, 10));
  view->UpdateWindow();
  QImage moved = Pixels(*view);
  view->InvalidateDoc(nullptr);
  view->UpdateWindow();
  EXPECT_EQ(Pixels(*view), moved);  // the scrolled bitmap equals a full paint
  for (int y = 0; y + 10 < still.height(); ++y)
    for (int x = 0; x + 5 < still.width(); ++x)
      ASSERT_EQ(moved.pixel(x, y), still.pixel(x + 5, y + 10)) << x << ", " << y;
}

TEST_F(MarlViewTest, SameFrameAndPastTheEnd) {
  view->GoToFrame(2, true);
  view->UpdateWindow();
  view->drawn.clear();
  host.calls.clear();
  // The same frame: nothing drawn, the timeline not told.
  view->GoToFrame(2, true);
  view->GoToFrame(2, false);
  view->UpdateWindow();
  EXPECT_TRUE(view->drawn.empty());
  EXPECT_TRUE(host.calls.empty());
  // Past the end: the last frame.
  view->GoToFrame(1000, false);
  EXPECT_EQ(view->GetCurrentFrame(), kFrames - 1);
  EXPECT_EQ(host.calls, std::vector<std::string>{"frame 7"});
  view->UpdateWindow();
  EXPECT_EQ(Pixels(*view), FullPaint(kFrames - 1));
  view->GoToFrame(-5, false);
  EXPECT_EQ(view->GetCurrentFrame(), 0);
}

TEST_F(MarlViewTest, OnionSkinRedrawsEveryKeyFrameOfBothRanges) {
  CPicPage* root = page->GetRoot();
  struct Case {
    uint32_t flags;
    int32_t relative, before, after;
    int32_t a, b;
  } cases[] = {
      {kOnionShow, 1, -2, 2, 0, 1},
      {kOnionEditSeveral, 1, -1, 1, 6, 7},
      {kOnionShow | kOnionOutlines, 0, 0, 2, 1, 4},
  };
  for (const Case& c : cases) {
    ViewState& s = view->State();
    s.onion_flags = c.flags;
    s.onion_relative = c.relative;
    s.onion_before = c.before;
    s.onion_after = c.after;
    view->GoToFrame(c.a, false);
    view->UpdateWindow();
    view->drawn.clear();
    const OnionSettings onion = s.GetOnion();
    const int32_t first = std::min(GetOnionFirstFrame(onion, c.a), GetOnionFirstFrame(onion, c.b));
    const int32_t last =
        std::max(GetOnionLastFrame(onion, c.a, root), GetOnionLastFrame(onion, c.b, root));
    view->GoToFrame(c.b, false);
    view->UpdateWindow();
    const CRect drawn = view->DrawnBounds();
    for (CPicObj* l = root->GetFirstChild(); l != nullptr; l = l->GetNext()) {
      for (CPicObj* k = l->GetFirstChild(); k != nullptr; k = k->GetNext()) {
        auto* key = static_cast<CPicFrame*>(k);
        if (key->GetStartFrame() > last || key->GetStartFrame() + key->GetLength() <= first)
          continue;
        Rect32 bounds;
        key->GetBounds(bounds);
        const CRect pixels(bounds.xmin, bounds.ymin, bounds.xmax, bounds.ymax);
        EXPECT_TRUE(Contains(drawn, pixels))
            << c.a << " -> " << c.b << " key frame at " << key->GetStartFrame();
      }
    }
  }
}

TEST_F(MarlViewTest, WithoutAnEditContextTheViewIsGrey) {
  CFrameHost empty;
  CRecordingView v;
  ASSERT_TRUE(empty.Create("PL_Default", "frame", WS_VISIBLE, {20, 200, 120, 260}, nullptr, 0));
  ASSERT_TRUE(v.Create("PL_Default", "", WS_VISIBLE | WS_CHILD, {0, 0, 100, 60}, &empty, 1));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(empty.GetWidget()));
  v.Invalidate(true);
  v.UpdateWindow();
  EXPECT_EQ(Pixels(v).pixel(50, 30) & 0xFFFFFF, 0xC0C0C0u);
  v.GoToFrame(3, true);  // nothing to show: nothing happens
  EXPECT_TRUE(empty.calls.empty());
  v.DestroyWindow();
  empty.DestroyWindow();
}

}  // namespace
