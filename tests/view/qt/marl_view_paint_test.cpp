// The drawing view's painting on Qt's offscreen platform, read from the
// window's backing pixels: the background colours, the grid, the growth of
// invalidated areas, the XOR drag feedback, the page against a direct
// rendering of the same objects, a context that cannot be read, activation
// with the tablet, and the end of text editing.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "model/pic_text.h"
#include "model_fixtures.h"
#include "paint_fixture.h"
#include "platform/core/font.h"
#include "platform/qt/dc.h"
#include "platform/qt/tablet.h"
#include "platform/qt/window_surface.h"
#include "render/gdi/bitmap_render_context.h"
#include "render/gdi/gdi_render_context.h"
#include "render/raster/offscreen_bitmap.h"
#include "tests/common/edge_styles.h"
#include "view/marl_view.h"
#include "view_shapes.h"
#include "window_host.h"

namespace {

constexpr int kWidth = 320;  // the view's window (the client is smaller by the bars)
constexpr int kHeight = 240;
constexpr Fixed k100 = 0x10000;  // 100 %: one pixel per twip at 1440 dots per inch

class ViewPaintTest : public PaintPageTest {
 protected:
  void SetUp() override {
    PaintPageTest::SetUp();
    view = std::make_unique<CMarlView>();
    ASSERT_TRUE(host.Create("PL_Default", "frame", WS_VISIBLE, {20, 20, 20 + kWidth, 20 + kHeight},
                            nullptr, 0));
    ASSERT_TRUE(view->Create("PL_Default", "", WS_VISIBLE | WS_CHILD | WS_HSCROLL | WS_VSCROLL,
                             {0, 0, kWidth, kHeight}, &host, 1));
    host.child = view.get();
    view->State().SetDocument(&doc);
    ASSERT_TRUE(view->SetEditContext(page));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host.GetWidget()));
    State().SetZoom(k100, nullptr, 0);
    Repaint();
  }
  void TearDown() override {
    host.child = nullptr;
    view->DestroyWindow();
    host.DestroyWindow();
    view.reset();
    SetTabletPresent(false);
    UnloadWintab();
    PaintPageTest::TearDown();
  }

  ViewState& State() { return view->State(); }
  // A new front layer (the root's last child) holding the objects in one
  // key frame.
  CPicLayer* AddLayer(const std::vector<CPicObj*>& objects) {
    CPicLayer* layer = nullptr;
    EXPECT_TRUE(Edit(page, [&] {
      layer = MakeLayer({1});
      layer->GetFirstFrame()->SetFrameStyle(0);
      for (CPicObj* o : objects) layer->GetFirstFrame()->AddChild(o);
      page->GetRoot()->AddChild(layer);
    }));
    return layer;
  }
  // The window's pixels now (what the screen shows; nothing is painted).
  QImage Pixels() {
    const CRect client = view->GetClientRect();
    return view->GetSurface()->Image().copy(0, 0, client.Width(), client.Height());
  }
  // Everything drawn again and shown.
  void Repaint() {
    view->InvalidateDoc(nullptr);
    view->UpdateWindow();
  }
  QImage FullPaint() {
    Repaint();
    return Pixels();
  }

  CHost host;
  std::unique_ptr<CMarlView> view;
};

// ---- background, grid, invalidation ----------------------------------------------------

TEST_F(ViewPaintTest, BackgroundColours) {
  doc.m_backgroundColor = 0xFF3080C0;
  const QRgb background = Pixel(0xFF3080C0), white = 0xFFFFFF, grey = 0xC0C0C0;
  const QRgb workArea = Pixel(kWorkAreaColour), black = 0;
  struct Case {
    const char* name;
    int32_t layout;
    Fixed zoom;
    int32_t quality;
    CPoint scroll;
    std::vector<std::pair<CPoint, QRgb>> expected;
  } cases[] = {
      {"page only",
       kLayoutPage,
       k100,
       kQualityFast,
       {0, 0},
       {{{50, 50}, background}, {{290, 200}, background}}},
      {"outlines show white", kLayoutPage, k100, kQualityOutlines, {0, 0}, {{{50, 50}, white}}},
      {"smoothed", kLayoutPage, k100, kQualitySmoothText, {0, 0}, {{{50, 50}, background}}},
      // The page (200 x 150 pixels) leaves grey beyond the extent, with a
      // black line along its right and bottom edges.
      {"grey beyond the extent",
       kLayoutPage,
       k100 / 2,
       kQualityFast,
       {0, 0},
       {{{100, 70}, background},
        {{250, 50}, grey},
        {{100, 190}, grey},
        {{200, 40}, black},
        {{60, 150}, black}}},
      // The page's corner at (40, 30) inside the work area, outlined.
      {"work area",
       kLayoutWorkArea,
       k100,
       kQualityFast,
       {14400 - 40, 14400 - 30},
       {{{10, 10}, workArea}, {{100, 10}, workArea}, {{100, 100}, background}}},
      {"work area smoothed",
       kLayoutWorkArea,
       k100,
       kQualitySmooth,
       {14400 - 40, 14400 - 30},
       {{{10, 10}, workArea}, {{100, 100}, background}}},
  };
  for (const Case& c : cases) {
    State().view_quality = c.quality;
    State().SetLayoutMode(c.layout);
    State().SetZoom(c.zoom, nullptr, 0);
    view->ScrollToPosition(c.scroll);
    const QImage image = FullPaint();
    for (const auto& [at, colour] : c.expected) {
      EXPECT_EQ(image.pixel(at.x, at.y) & 0xFFFFFF, colour)
          << c.name << " at " << at.x << ", " << at.y;
    }
    if (c.layout == kLayoutWorkArea) {
      // The page's border: a black line by its left edge.
      bool border = false;
      for (int x = 38; x <= 41; ++x) border = border || (image.pixel(x, 100) & 0xFFFFFF) == black;
      EXPECT_TRUE(border) << c.name;
    }
  }
}

TEST_F(ViewPaintTest, GridLinesAtSeveralZooms) {
  const uint32_t green = 0xFF00C000;
  doc.m_gridFlags = 0x3;
  doc.m_gridSpacing = 20 << 16;
  doc.m_gridColor = green;
  // Spacing on the screen: 20 twips, doubled until it is 8 pixels or more.
  for (const Fixed zoom : {k100, k100 / 2, k100 / 4, k100 / 8, k100 * 3 / 4}) {
    State().SetZoom(zoom, nullptr, 0);
    const QImage image = FullPaint();
    int64_t step = 20;
    while (step * zoom < (int64_t{8} << 16)) step *= 2;
    const auto expectedLines = [&](int32_t pageEnd, int32_t clientEnd) {
      std::set<int> at;
      for (int64_t i = 1; i * step < pageEnd; ++i) {
        const auto x = static_cast<int>((i * step * zoom) >> 16);
        if (x < clientEnd) at.insert(x);
      }
      return at;
    };
    const auto stepPixels = static_cast<int>((step * zoom) >> 16);
    const int across = stepPixels / 2;  // between two lines
    std::set<int> columns, rows;
    for (int x = 0; x < image.width(); ++x)
      if ((image.pixel(x, across) & 0xFFFFFF) == Pixel(green)) columns.insert(x);
    for (int y = 0; y < image.height(); ++y)
      if ((image.pixel(across, y) & 0xFFFFFF) == Pixel(green)) rows.insert(y);
    EXPECT_EQ(columns, expectedLines(400, image.width())) << "zoom " << zoom;
    EXPECT_EQ(rows, expectedLines(300, image.height())) << "zoom " << zoom;
  }
}

TEST_F(ViewPaintTest, InvalidatedAreasGrowFiveAndSixPixels) {
  struct Case {
    Fixed zoom;
    CPoint scroll;
    Rect32 doc;
    CRect expected;
  } cases[] = {
      // One pixel: 12 pixels wider and higher.
      {k100, {0, 0}, {100, 101, 50, 51}, {95, 45, 107, 57}},
      {k100, {30, 20}, {100, 101, 50, 51}, {65, 25, 77, 37}},
      {k100 / 2, {0, 0}, {100, 120, 50, 70}, {45, 20, 66, 41}},
      // Cut to the client area.
      {k100, {0, 0}, {0, 10, 0, 10}, {0, 0, 16, 16}},
  };
  for (const Case& c : cases) {
    State().SetZoom(c.zoom, nullptr, 0);
    view->ScrollToPosition(c.scroll);
    view->UpdateWindow();
    ASSERT_TRUE(view->GetDirtyClientRect().IsRectEmpty());
    view->InvalidateDocRect(&c.doc);
    EXPECT_EQ(view->GetDirtyClientRect(), c.expected) << c.doc.xmin << ", " << c.doc.ymin;
    view->UpdateWindow();
  }
  // An empty rectangle does nothing.
  Rect32 empty;
  view->InvalidateDocRect(&empty);
  EXPECT_TRUE(view->GetDirtyClientRect().IsRectEmpty());
}

TEST_F(ViewPaintTest, TheFocusRectangleIsDottedOnItsBorder) {
  AddLayer({Square({20, 140, 20, 100}, 0xFF2040E0)});
  const QImage plain = FullPaint();
  State().SetZoom(k100, nullptr, 0);
  State().focus_rect = Rect32{50, 150, 40, 120};  // document units: pixels here
  const QImage focused = FullPaint();
  int onBorder = 0;
  for (int y = 0; y < plain.height(); ++y) {
    for (int x = 0; x < plain.width(); ++x) {
      if (plain.pixel(x, y) == focused.pixel(x, y)) continue;
      const bool border =
          (x == 50 || x == 149 || y == 40 || y == 119) && x >= 50 && x < 150 && y >= 40 && y < 120;
      EXPECT_TRUE(border) << x << ", " << y;
      ++onBorder;
    }
  }
  // Dotted: about every other pixel of the border.
  EXPECT_GT(onBorder, 150);
  EXPECT_LT(onBorder, 250);
  State().focus_rect = Rect32();
  EXPECT_EQ(FullPaint(), plain);
}

// ---- drag feedback ---------------------------------------------------------------------

// One preview: rectangles and lines in document units.
struct Preview {
  std::vector<Rect32> rects;
  std::vector<std::pair<Point32, Point32>> lines;
  void Draw(CRenderContext& rc) const {
    for (const Rect32& r : rects) rc.FrameRect(r);
    const LineStyle line = SolidLine(0xFF000000, 1);
    for (const auto& [a, b] : lines) {
      PointList path;
      ASSERT_EQ(PointListAppend(path, a, 0), 0);
      ASSERT_EQ(PointListAppend(path, b, 0), 0);
      rc.DrawPath(path, &line, nullptr);
    }
  }
};

Preview RandomPreview(std::mt19937& rng) {
  // Partly outside the client area too.
  std::uniform_int_distribution<int32_t> x(-40, 360), y(-40, 260), n(0, 3);
  Preview p;
  for (int i = n(rng); i > 0; --i) {
    Rect32 r{x(rng), 0, y(rng), 0};
    r.xmax = r.xmin + 1 + std::abs(x(rng)) % 120;
    r.ymax = r.ymin + 1 + std::abs(y(rng)) % 90;
    p.rects.push_back(r);
  }
  for (int i = n(rng); i > 0; --i) p.lines.push_back({{x(rng), y(rng)}, {x(rng), y(rng)}});
  return p;
}

// What the view's preview covers: the preview drawn as the view draws it,
// into a 1-bit picture of the client area (black where drawn).
QImage PreviewMask(CMarlView& view, const Preview& preview) {
  const CRect client = view.GetClientRect();
  CBitmap bitmap;
  EXPECT_TRUE(bitmap.CreateBitmap(client.Width(), client.Height(), 1, 1));
  CDC dc;
  EXPECT_TRUE(dc.CreateCompatibleDC(nullptr));
  CBitmap* old = dc.SelectObject(&bitmap);
  dc.PatBlt(0, 0, client.Width(), client.Height(), WHITENESS);
  dc.SelectStockObject(BLACK_PEN);
  dc.SelectStockObject(NULL_BRUSH);
  {
    const Rect32 clip{0, client.Width(), 0, client.Height()};
    CGdiRenderContext rc(&dc, &clip);
    Matrix2x3 m;
    view.GetDocToClientMatrix(m);
    rc.SetMatrix(m);
    rc.m_flags |= CRenderContext::kFlagOutlineView;
    preview.Draw(rc);
  }
  QImage mask = bitmap.Image().copy();
  dc.SelectObject(old);
  return mask;
}

// Draws frames of random previews and checks each: the window is the
// picture before with exactly the preview's pixels inverted.
void DrawFrames(CMarlView& view, const QImage& before, std::mt19937& rng, int frames,
                const std::function<QImage()>& pixels) {
  int64_t drawnTotal = 0;
  for (int f = 0; f < frames; ++f) {
    const Preview preview = RandomPreview(rng);
    view.BeginFeedbackFrame();
    ASSERT_NE(view.GetFeedbackContext(), nullptr);
    preview.Draw(*view.GetFeedbackContext());
    view.EndFeedbackFrame();
    EXPECT_EQ(view.GetFeedbackContext(), nullptr);
    const QImage now = pixels();
    const QImage mask = PreviewMask(view, preview);
    ASSERT_EQ(now.size(), before.size());
    int wrong = 0;
    for (int y = 0; y < now.height(); ++y) {
      for (int x = 0; x < now.width(); ++x) {
        const bool drawn = (mask.pixel(x, y) & 0xFFFFFF) == 0;
        drawnTotal += drawn ? 1 : 0;
        const QRgb want = drawn ? ~before.pixel(x, y) & 0xFFFFFF : before.pixel(x, y) & 0xFFFFFF;
        if ((now.pixel(x, y) & 0xFFFFFF) != want && wrong++ < 5)
          ADD_FAILURE() << "frame " << f << " pixel " << x << ", " << y << (drawn ? " drawn" : "");
      }
    }
    ASSERT_EQ(wrong, 0) << "frame " << f;
  }
  // The previews really showed.
  if (frames > 2) {
    EXPECT_GT(drawnTotal, 0);
  }
}

TEST_F(ViewPaintTest, FeedbackLeavesNoMarks) {
  // A picture under the preview that is not one colour.
  AddLayer({Square({20, 140, 20, 100}, 0xFF2040E0), Square({180, 300, 60, 200}, 0xFF10A010)});
  const QImage before = FullPaint();
  std::mt19937 rng(29);
  for (int gesture = 0; gesture < 6; ++gesture) {
    view->BeginFeedback();
    EXPECT_TRUE(view->IsFeedbackActive());
    DrawFrames(*view, before, rng, 1 + gesture * 3, [&] { return Pixels(); });
    view->EndFeedback();
    EXPECT_FALSE(view->IsFeedbackActive());
    ASSERT_EQ(Pixels(), before) << "gesture " << gesture;
  }
  // A gesture begun again before its end starts from the clean picture.
  view->BeginFeedback();
  DrawFrames(*view, before, rng, 3, [&] { return Pixels(); });
  view->BeginFeedback();
  EXPECT_EQ(Pixels(), before);
  DrawFrames(*view, before, rng, 3, [&] { return Pixels(); });
  view->EndFeedback();
  EXPECT_EQ(Pixels(), before);
  // Nothing was left to paint: the picture came back without a repaint.
  EXPECT_TRUE(view->GetDirtyClientRect().IsRectEmpty());
}

TEST_F(ViewPaintTest, FeedbackSurvivesResizeAndDeactivation) {
  AddLayer({Square({20, 140, 20, 100}, 0xFF2040E0)});
  struct Case {
    const char* name;
    std::function<void()> interrupt;
  } cases[] = {
      {"client shrinks",
       [&] { host.MoveWindow(CRect(20, 20, 20 + kWidth - 60, 20 + kHeight - 40)); }},
      {"client grows",
       [&] { host.MoveWindow(CRect(20, 20, 20 + kWidth + 40, 20 + kHeight + 30)); }},
      {"view deactivated", [&] { view->OnActivateView(false, nullptr, view.get()); }},
  };
  std::mt19937 rng(7);
  for (const Case& c : cases) {
    host.MoveWindow(CRect(20, 20, 20 + kWidth, 20 + kHeight));
    Settle([&] { return view->GetClientRect().Width() > 0; });
    FullPaint();
    view->BeginFeedback();
    for (int f = 0; f < 3; ++f) {
      view->BeginFeedbackFrame();
      RandomPreview(rng).Draw(*view->GetFeedbackContext());
      view->EndFeedbackFrame();
    }
    c.interrupt();
    // The preview goes on at the new size (the buffers are made again).
    for (int f = 0; f < 3; ++f) {
      view->BeginFeedbackFrame();
      if (CRenderContext* rc = view->GetFeedbackContext()) RandomPreview(rng).Draw(*rc);
      view->EndFeedbackFrame();
    }
    view->EndFeedback();
    view->UpdateWindow();
    const QImage after = Pixels();
    EXPECT_EQ(after, FullPaint()) << c.name;
  }
}

// ---- the page against a direct rendering -----------------------------------------------

TEST_F(ViewPaintTest, PaintedPageEqualsTheDirectRendering) {
  // A linear gradient across the square (gradient space -0x4000..0x4000).
  const FillStyle placed =
      GradientFill(kGradientLinear, {{0, 0xFF0000FF}, {255, 0xFFFF0000}},
                   Matrix2x3{FixedDiv(60, 0x4000), 0, 0, FixedDiv(60, 0x4000), 80, 195});
  // Two layers that overlap (the second one in front).
  AddLayer({Square({10, 120, 10, 90}, 0xFF2040E0), Square({150, 170, 5, 200}, 0xFF000000)});
  AddLayer({Square({20, 140, 160, 230}, 0, &placed), Placed({0, 50, 0, 50}, 0xFF10A010, 130, 60)});
  for (const int32_t quality : {kQualityFast, kQualitySmooth, kQualitySmoothText}) {
    for (const Fixed zoom : {k100, k100 * 5 / 8}) {
      State().view_quality = quality;
      State().SetZoom(zoom, nullptr, 0);
      const QImage painted = FullPaint();
      const QImage direct = DirectRendering(*view, page->GetRoot(), quality);
      ASSERT_EQ(painted.size(), direct.size());
      // Within the page (beyond it the view shows grey).
      Matrix2x3 m;
      view->GetDocToClientMatrix(m);
      Rect32 extent;
      MatrixTransformRect(m, doc.m_movieRect, extent);
      const int w = std::min(painted.width(), extent.xmax);
      const int h = std::min(painted.height(), extent.ymax);
      int differing = 0, worst = 0;
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const QRgb a = painted.pixel(x, y), b = direct.pixel(x, y);
          const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b))});
          if (d != 0) ++differing;
          worst = std::max(worst, d);
        }
      }
      const std::string what =
          "quality " + std::to_string(quality) + " zoom " + std::to_string(zoom);
      if (quality == kQualityFast) {
        EXPECT_EQ(differing, 0) << what;
      } else {
        // Anti-aliasing: only edge pixels may differ, and by a fraction.
        EXPECT_LE(differing, w * h / 50) << what;
        EXPECT_LE(worst, 64) << what;
      }
    }
  }
}

// The root's last layer is the front one: painted over the layers before
// it, exactly as the page draws itself for printing and export, and hit
// first. The timeline's top row shows it.
TEST_F(ViewPaintTest, TheLastLayerIsInFront) {
  const uint32_t blue = 0xFFE04020, green = 0xFF10A010, red = 0xFF2020D0;
  CPicShape* back = Square({20, 120, 20, 120}, blue);
  CPicShape* middle = Square({60, 160, 60, 160}, green);
  CPicShape* front = Square({100, 200, 40, 140}, red);
  AddLayer({back});
  AddLayer({middle});
  AddLayer({front});
  struct Case {
    Point32 at;
    uint32_t colour;
    CPicObj* hit;
  } cases[] = {
      {{40, 40}, blue, back},      // the back layer alone
      {{80, 80}, green, middle},   // the middle one over the back one
      {{110, 110}, red, front},    // all three: the front one
      {{150, 150}, green, middle}  // outside the front one
  };
  const QImage image = FullPaint();
  for (const Case& c : cases) {
    EXPECT_EQ(image.pixel(c.at.x, c.at.y) & 0xFFFFFF, Pixel(c.colour)) << c.at.x << ", " << c.at.y;
    ViewHitRecord hit;
    hit.point = c.at;
    hit.use_tolerance = 0;
    ASSERT_TRUE(State().HitTest(hit));
    EXPECT_EQ(hit.object, c.hit) << c.at.x << ", " << c.at.y;
  }
  EXPECT_EQ(image, DirectRendering(*view, page->GetRoot(), kQualityFast));
}

// The onion skin: the neighbouring key frames dimmed the further back they
// lie, as outlines, or (editing several frames) at full strength.
TEST_F(ViewPaintTest, OnionSkinDimsTheNeighbouringFrames) {
  const uint32_t colour = 0xFF2040E0;
  ASSERT_TRUE(Edit(page, [&] {
    CPicLayer* layer = MakeLayer({1, 1, 1});
    int i = 0;
    for (CPicObj* k = layer->GetFirstChild(); k != nullptr; k = k->GetNext(), ++i) {
      static_cast<CPicFrame*>(k)->SetFrameStyle(0);
      k->AddChild(Square({20 + 80 * i, 80 + 80 * i, 40, 100}, colour));
    }
    page->GetRoot()->AddChild(layer);
  }));
  // Each channel weighted f/256 against white.
  const auto dim = [&](int32_t f) {
    auto channel = [f](uint32_t c) { return ((f * c + 65280 - 255 * f) >> 8) & 0xFF; };
    return Pixel(0xFF000000 | channel(colour >> 16 & 0xFF) << 16 |
                 channel(colour >> 8 & 0xFF) << 8 | channel(colour & 0xFF));
  };
  const QRgb full = Pixel(colour), white = 0xFFFFFF;
  // At frame 2 the range is 0..2: frame n dimmed to (n + 1) / 3 of 130, + 16.
  const QRgb first = dim(FixedMul(FixedDiv(1, 3), 130) + 16);
  const QRgb second = dim(FixedMul(FixedDiv(2, 3), 130) + 16);
  struct Case {
    uint32_t flags;
    QRgb at[3];  // the middle of each key frame's square
  } cases[] = {
      {0, {white, white, full}},
      {kOnionShow, {first, second, full}},
      {kOnionShow | kOnionOutlines, {white, white, full}},
      {kOnionEditSeveral, {full, full, full}},
  };
  view->GoToFrame(2, false);
  for (const Case& c : cases) {
    State().onion_flags = c.flags;
    const QImage image = FullPaint();
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(image.pixel(50 + 80 * i, 70) & 0xFFFFFF, c.at[i])
          << "onion " << c.flags << " frame " << i;
  }
  // As outlines the squares' edges show (dimmed black: grey).
  State().onion_flags = kOnionShow | kOnionOutlines;
  const QImage outlines = FullPaint();
  int marked = 0;
  for (int x = 15; x < 25; ++x) marked += (outlines.pixel(x, 70) & 0xFFFFFF) != white ? 1 : 0;
  EXPECT_GT(marked, 0);
}

// ---- contexts ----------------------------------------------------------------------------

TEST_F(ViewPaintTest, AContextThatCannotBeReadKeepsTheOldOnePainting) {
  AddLayer({Square({20, 140, 20, 100}, 0xFF2040E0)});
  const QImage shown = FullPaint();
  CDocumentPage* broken = NewPage(doc, true);
  broken->UnlockUpdate();
  broken->FreeContents();
  EXPECT_FALSE(view->SetEditContext(broken));
  EXPECT_EQ(view->GetEditContext(), page);
  EXPECT_EQ(FullPaint(), shown);
  // A context deleted under the view: grey, and nothing of it is touched.
  CDocumentPage* second = NewPage(doc);
  ASSERT_TRUE(view->SetEditContext(second));
  second->DeletePage();
  const QImage grey = FullPaint();
  EXPECT_EQ(grey.pixel(10, 10) & 0xFFFFFF, 0xC0C0C0u);
  EXPECT_EQ(grey.pixel(grey.width() - 1, grey.height() - 1) & 0xFFFFFF, 0xC0C0C0u);
}

// ---- updates -------------------------------------------------------------------------------

// Every hint redraws the whole window, and the scroll extent follows the
// page's new size.
TEST_F(ViewPaintTest, AnUpdateRedrawsEverythingAndFollowsThePage) {
  doc.m_backgroundColor = 0xFF3080C0;
  const QRgb background = Pixel(0xFF3080C0), grey = 0xC0C0C0;
  struct Case {
    LPARAM hint;
    Rect32 movie;
    QRgb at250x50;  // beyond the small page, on the large one
  } cases[] = {
      {0, {0, 200, 0, 150}, grey},
      {1, {0, 400, 0, 300}, background},
      {0x7FFF, {0, 200, 0, 150}, grey},
  };
  for (const Case& c : cases) {
    // The document changes without the view being told...
    doc.m_movieRect = c.movie;
    view->UpdateWindow();
    ASSERT_TRUE(view->GetDirtyClientRect().IsRectEmpty());
    // ...until the update.
    view->OnUpdate(nullptr, c.hint, nullptr);
    EXPECT_EQ(view->GetDirtyClientRect(), view->GetClientRect()) << c.hint;
    CSize total, pageSize, line;
    view->GetDeviceScrollSizes(total, pageSize, line);
    EXPECT_EQ(total, CSize(c.movie.xmax, c.movie.ymax)) << c.hint;
    view->UpdateWindow();
    const QImage image = Pixels();
    EXPECT_EQ(image.pixel(250, 50) & 0xFFFFFF, c.at250x50) << c.hint;
    EXPECT_EQ(image.pixel(100, 70) & 0xFFFFFF, background) << c.hint;
  }
}

// A new view shows the current page with the document's quality and layout.
TEST_F(ViewPaintTest, TheFirstShowingFollowsTheDocument) {
  const uint32_t blue = 0xFFE04020;
  AddLayer({Square({20, 120, 20, 100}, blue)});
  CDocumentPage* symbol = NewPage(doc, true);
  struct Case {
    const char* name;
    uint8_t option_bits;
    uint8_t quality;
    int32_t layout;
    uint32_t square_colour;  // at the square's centre
  } cases[] = {
      {"page at 100 %", 0x0, kQualityFast, kLayoutPage, blue},
      {"the page in the work area", 0x4, kQualityFast, kLayoutWorkArea, blue},
      {"outlines", 0x0, kQualityOutlines, kLayoutPage, 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    doc.m_viewOptionBits = c.option_bits;
    doc.m_viewQuality = c.quality;
    doc.m_currentPage = page;
    CHost frame;
    CMarlView fresh;
    ASSERT_TRUE(frame.Create("PL_Default", "frame", WS_VISIBLE,
                             {400, 20, 400 + kWidth, 20 + kHeight}, nullptr, 0));
    ASSERT_TRUE(fresh.Create("PL_Default", "", WS_VISIBLE | WS_CHILD | WS_HSCROLL | WS_VSCROLL,
                             {0, 0, kWidth, kHeight}, &frame, 1));
    frame.child = &fresh;
    fresh.State().SetDocument(&doc);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.GetWidget()));
    fresh.OnInitialUpdate();
    EXPECT_EQ(fresh.GetEditContext(), page) << c.name;
    EXPECT_EQ(fresh.State().view_quality, c.quality) << c.name;
    EXPECT_EQ(fresh.State().GetLayoutMode(), c.layout) << c.name;
    fresh.UpdateWindow();
    const CRect client = fresh.GetClientRect();
    const QImage image = fresh.GetSurface()->Image().copy(0, 0, client.Width(), client.Height());
    Matrix2x3 m;
    fresh.GetDocToClientMatrix(m);
    auto at = [&](const Point32& p) {
      Point32 q;
      MatrixTransformPoint(m, p, q);
      return image.pixel(q.x, q.y) & 0xFFFFFF;
    };
    EXPECT_EQ(at({70, 60}), Pixel(c.square_colour)) << c.name;
    EXPECT_EQ(at({300, 200}), 0xFFFFFFu) << c.name;
    if (c.layout == kLayoutPage) {
      EXPECT_EQ(m.a, k100) << c.name;
    } else {
      // The whole page in sight, the work area round it.
      Rect32 page;
      MatrixTransformRect(m, doc.m_movieRect, page);
      EXPECT_GE(page.xmin, 0) << c.name;
      EXPECT_GE(page.ymin, 0) << c.name;
      EXPECT_LE(page.xmax, client.Width()) << c.name;
      EXPECT_LE(page.ymax, client.Height()) << c.name;
      EXPECT_EQ(image.pixel(0, client.Height() / 2) & 0xFFFFFF, Pixel(kWorkAreaColour)) << c.name;
    }
    frame.child = nullptr;
    fresh.DestroyWindow();
    frame.DestroyWindow();
  }
  // The context the document asks the next view to open comes first.
  SetPendingEditContext(symbol);
  CMarlView pending;
  pending.State().SetDocument(&doc);
  pending.OnInitialUpdate();
  SetPendingEditContext(nullptr);
  EXPECT_EQ(pending.GetEditContext(), symbol);
  EXPECT_EQ(pending.State().GetLayoutMode(), kLayoutWorkArea);
}

// ---- activation ----------------------------------------------------------------------------

TEST_F(ViewPaintTest, ActivationOpensTheTabletContext) {
  State().view_quality = kQualitySmooth;
  doc.m_viewQuality = 0;
  // Without a tablet nothing is opened.
  view->OnActivateView(true, view.get(), nullptr);
  EXPECT_EQ(view->GetTabletContext(), nullptr);
  EXPECT_EQ(GetActiveViewWindow(), view->GetSafeHwnd());
  EXPECT_EQ(doc.m_viewQuality, kQualitySmooth);
  view->OnActivateView(false, nullptr, view.get());
  EXPECT_EQ(GetActiveViewWindow(), nullptr);

  SetTabletPresent(true);
  view->OnActivateView(true, view.get(), nullptr);
  HCTX tablet = view->GetTabletContext();
  ASSERT_NE(tablet, nullptr);
  LOGCONTEXTA lc{};
  ASSERT_TRUE(WTGetA(tablet, &lc));
  const std::string name = "Plindo " + std::to_string(reinterpret_cast<long>(view.get()));
  EXPECT_STREQ(lc.lcName, name.c_str());
  EXPECT_EQ(lc.lcPktData, 0x15E6u);
  EXPECT_EQ(lc.lcPktMode, 0u);
  EXPECT_EQ(lc.lcBtnUpMask, lc.lcBtnDnMask);
  EXPECT_TRUE(view->TabletHasPressure());
  EXPECT_TRUE(view->TabletHasOrientation());
  // A tablet point (16 units a screen pixel, y up from the screen's
  // bottom) lands on the document point shown under it.
  State().SetZoom(k100 / 2, nullptr, 0);
  view->ScrollToPosition(CPoint(10, 20));
  Matrix2x3 tabletToDoc, clientToDoc;
  view->GetTabletToDocMatrix(tabletToDoc);
  State().GetClientToDocMatrix(clientToDoc);
  for (const CPoint client : {CPoint(0, 0), CPoint(37, 81), CPoint(200, 150)}) {
    const CPoint screen = view->ClientToScreen(client);
    const Point32 tablet{screen.x * kTabletUnitsPerPixel,
                         (lc.lcSysExtY - screen.y) * kTabletUnitsPerPixel};
    Point32 got, want;
    MatrixTransformPoint(tabletToDoc, tablet, got);
    MatrixTransformPoint(clientToDoc, Point32{client.x, client.y}, want);
    EXPECT_LE(std::abs(got.x - want.x), 1) << client.x << ", " << client.y;
    EXPECT_LE(std::abs(got.y - want.y), 1) << client.x << ", " << client.y;
  }
  // Activating again keeps the one context.
  view->OnActivateView(true, view.get(), nullptr);
  EXPECT_EQ(view->GetTabletContext(), tablet);
  view->OnActivateView(false, nullptr, view.get());
  EXPECT_EQ(view->GetTabletContext(), nullptr);
  EXPECT_FALSE(WTGetA(tablet, &lc));  // closed
}

// ---- text editing ------------------------------------------------------------------------

TEST_F(ViewPaintTest, EndingTextEditingDeletesABlankTextAndSelectsOthers) {
  CFixedFontService fonts;  // no system fonts are read
  SetFontService(&fonts);
  for (const bool blank : {true, false}) {
    auto* text = new CPicText;
    AddLayer({text});
    if (!blank) {
      ASSERT_TRUE(Edit(page, [&] { text->SetText("abc"); }));
    }
    CPicFrame* key = static_cast<CPicLayer*>(page->GetRoot()->GetLastChild())->GetFirstFrame();
    view->SetTextEditObject(text);
    EXPECT_EQ(view->GetTextEditObject(), text);
    EXPECT_EQ(State().GetTextEditObject(), text);
    const CEditStep* before = page->GetUndoList();
    view->SetTextEditObject(nullptr);
    EXPECT_EQ(view->GetTextEditObject(), nullptr);
    EXPECT_NE(page->GetUndoList(), before) << "one undo step";
    if (blank) {
      EXPECT_EQ(key->GetFirstChild(), nullptr);
    } else {
      ASSERT_EQ(key->GetFirstChild(), text);
      EXPECT_TRUE(text->IsSelected());
    }
  }
  SetFontService(nullptr);
}

}  // namespace
