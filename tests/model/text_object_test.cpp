// Text objects: drawing through a recording context, hit testing and lasso
// classification down to glyphs, erasing, and breaking apart.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_region.h"
#include "geometry/path.h"
#include "model/pic_frame.h"
#include "model/pic_shape.h"
#include "model/pic_text.h"
#include "model_fixtures.h"
#include "platform/core/font.h"
#include "tests/common/edge_styles.h"
#include "tests/common/test_fonts.h"

namespace {

// Records text runs and paths; answers DrawText with `answer`.
class CTextRecorder : public CRenderContext {
 public:
  int32_t DrawText(int32_t n, const Point32& origin, const uint8_t* bytes, const int32_t* advances,
                   const CTextStyle& style) override {
    Run r;
    r.origin = origin;
    r.bytes.assign(bytes, bytes + n);
    r.advances.assign(advances, advances + n);
    r.size = style.size;
    runs.push_back(r);
    return answer;
  }
  void DrawPath(const PointList& path, const LineStyle* line, const FillStyle* fill) override {
    Rect32 b;
    PointListGetBounds(path, b);
    paths.push_back({b, line != nullptr ? line->colour : 0, fill != nullptr ? fill->colour : 0});
  }
  void DrawHandle(const Point32& p, int kind) override { handles.push_back({p, kind}); }
  struct Run {
    Point32 origin;
    std::vector<uint8_t> bytes;
    std::vector<int32_t> advances;
    int32_t size;
  };
  struct Path {
    Rect32 bounds;
    uint32_t line, fill;
  };
  std::vector<Run> runs;
  std::vector<Path> paths;
  std::vector<std::pair<Point32, int>> handles;
  int32_t answer = 1;
};

class TextObjectTest : public ModelTest {
 protected:
  static void SetUpTestSuite() { test_fonts::InstallTestFonts(); }
};

TEST_F(TextObjectTest, RunsSplitAtStylesAndLengthAndBoxesStandInForUndrawnRuns) {
  CFixedFontService fixed;
  SetFontService(&fixed);
  {
    CPicText t;
    t.SetWidth(100000);
    t.SetText(std::string(300, 'a') + "bb");
    CTextStyle big;
    big.size = 480;
    t.SetSelection(300, 302);
    t.ApplyStyle(big, CTextStyle::kMaskSize, 1);
    CTextRecorder rc;
    t.Draw(rc);
    ASSERT_EQ(rc.runs.size(), 3u);  // 250 + 50 bytes, then the other style
    EXPECT_EQ(rc.runs[0].bytes.size(), 250u);
    EXPECT_EQ(rc.runs[1].bytes.size(), 50u);
    EXPECT_EQ(rc.runs[1].origin.x, 250 * 120);
    EXPECT_EQ(rc.runs[2].bytes, (std::vector<uint8_t>{'b', 'b'}));
    EXPECT_EQ(rc.runs[2].advances, (std::vector<int32_t>{240, 240}));
    EXPECT_EQ(rc.runs[2].origin.y, t.Lines()[0].baseline);
    EXPECT_TRUE(rc.paths.empty());

    // Not drawn: grey boxes with fills on, outlined boxes without, none when
    // drawing is interruptible.
    struct Case {
      uint32_t flags;
      size_t paths;
      uint32_t fill;
    } cases[] = {{CRenderContext::kFlagFills, 3, 0xFF808080},
                 {0, 3, 0},
                 {CRenderContext::kFlagAbortTest, 0, 0}};
    for (const auto& c : cases) {
      CTextRecorder r;
      r.answer = 0;
      r.m_flags = c.flags;
      t.Draw(r);
      ASSERT_EQ(r.paths.size(), c.paths);
      if (c.paths == 0) continue;
      EXPECT_EQ(r.paths[0].fill, c.fill);
      const TextLine& l = t.Lines()[0];
      EXPECT_EQ(r.paths[2].bounds,
                (Rect32{300 * 120, 300 * 120 + 480, l.baseline - l.ascent, l.baseline}));
    }
  }
  {
    // A text with only a CR draws no run; with frames shown, its frame and handle.
    CPicText empty;
    CTextRecorder rc;
    rc.m_flags |= CRenderContext::kFlagTextFrames;
    empty.Draw(rc);
    EXPECT_TRUE(rc.runs.empty());
    ASSERT_EQ(rc.paths.size(), 1u);
    EXPECT_EQ(rc.paths[0].fill, 0xFFFFFFFFu);
    ASSERT_EQ(rc.handles.size(), 1u);
    EXPECT_EQ(rc.handles[0].second, CRenderContext::kHandleTextFixedWidth);
  }
  SetFontService(nullptr);
}

TEST_F(TextObjectTest, HitTestingDownToGlyphs) {
  CPicText t;
  CTextStyle big;
  big.size = 2048;
  t.ApplyStyle(big, CTextStyle::kMaskSize, 0);
  t.SetWidth(20000);
  t.SetText("oI");
  t.UpdateLayout();
  const TextLine& l = t.Lines()[0];
  int32_t oWidth = t.Chars()[0].layoutAdvance;
  // Liberation Serif "o" at 2048 units: ring x 70..960, y 0..940 up; "I" stem
  // x 76..608 from its origin.
  struct Case {
    Point32 p;
    int32_t distance;
    int expected;
  } cases[] = {
      {{515, l.baseline - 470}, 0, 0},           // inside the counter of o
      {{100, l.baseline - 470}, 0, 1},           // on the ring
      {{515, l.baseline - 470}, 400, 1},         // the ring within the tolerance
      {{oWidth + 300, l.baseline - 600}, 0, 1},  // the stem of I
      {{oWidth - 20, l.baseline - 1300}, 0, 0},  // between the two, above o
      {{-5000, l.baseline}, 0, 0},
  };
  for (const auto& c : cases) {
    CHitTest probe;
    probe.point = c.p;
    probe.distance2 = c.distance;
    EXPECT_EQ(t.HitTest(probe), c.expected) << c.p.x << "," << c.p.y << " d " << c.distance;
  }
  // The frame test of the fifth word.
  CHitTest frame;
  frame.point = {100, t.GetBox().ymax + 20};
  frame.user[0] = 1;
  EXPECT_EQ(t.HitTest(frame), 1);
}

TEST_F(TextObjectTest, LassoHalfAWordIsPartlyInsideTheWholeTextInside) {
  CPicText t;
  t.SetWidth(20000);
  t.SetText("lasso");
  t.UpdateLayout();
  const Rect32 ink = t.GetInkBounds();
  auto classify = [&](const Rect32& r) {
    PointList path;
    PointListInit(path);
    EXPECT_EQ(PathFromRect(path, r), 0);
    int32_t a = t.ClassifyInRect(path, 0);
    PointListFree(path);
    return a;
  };
  EXPECT_EQ(classify({ink.xmin - 100, ink.xmax + 100, ink.ymin - 100, ink.ymax + 100}), 2);
  int32_t half = t.GetCharX(2) + 60;
  EXPECT_EQ(classify({ink.xmin - 100, half, -10000, 10000}), 3);
  EXPECT_EQ(classify({ink.xmax + 100, ink.xmax + 500, -10000, 10000}), 1);
}

// A filled rectangle of a drawing (twips).
CPicShape* FilledRect(const Rect32& r) {
  auto* shape = new CPicShape;
  EdgeGraph& g = shape->GetGeometry();
  FillStyle fill = SolidFill(0xFF0000FF);
  int index = EdgeGraphAddFillStyle(g, fill);
  PointList path;
  PointListInit(path);
  EXPECT_EQ(PathFromRect(path, r), 0);
  EXPECT_EQ(EdgeGraphAddPath(g, path, 0, 0, 0), 0);
  PointListFree(path);
  EXPECT_EQ(EdgeGraphPaintRegions(g, static_cast<StyleIndex>(index), false), 0);
  return shape;
}

TEST_F(TextObjectTest, EraserAcrossAWordDeletesTheCoveredCharacters) {
  CPicText t;
  t.SetWidth(20000);
  t.SetText("abcdef");
  t.UpdateLayout();
  const TextLine& l = t.Lines()[0];
  // Covers c and d whole, and a sliver of b's box that misses its glyph.
  int32_t x0 = t.GetCharX(2) - 8, x1 = t.GetCharX(4) + 2;
  std::unique_ptr<CPicShape> eraser(FilledRect({x0, x1, l.baseline - 400, l.baseline + 200}));
  t.EraseCoveredChars(*eraser);
  EXPECT_EQ(t.GetText(0), "abef");
  // A drawing that covers nothing erases nothing.
  std::unique_ptr<CPicShape> away(FilledRect({50000, 60000, 0, 1000}));
  t.EraseCoveredChars(*away);
  EXPECT_EQ(t.GetText(0), "abef");
}

// The filled area of a graph (twips squared), from its edges' sides.
double FilledArea(const EdgeGraph& g) {
  double area = 0;
  EdgeGraphForEachEdge(g, nullptr, [&](Edge* e) {
    int sides = (e->a.fill != 0 ? 1 : 0) - (e->b.fill != 0 ? 1 : 0);
    if (sides == 0) return;
    const QuadCurve& c = e->curve;
    double px = c.p0.x / 256.0, py = c.p0.y / 256.0;
    for (int k = 1; k <= 64; ++k) {
      double t = k / 64.0, u = 1 - t;
      double x = (u * u * c.p0.x + 2 * u * t * c.control.x + t * t * c.p2.x) / 256.0;
      double y = (u * u * c.p0.y + 2 * u * t * c.control.y + t * t * c.p2.y) / 256.0;
      area += sides * (px * y - x * py) / 2;
      px = x, py = y;
    }
  });
  return std::fabs(area);
}

TEST_F(TextObjectTest, BreakingApartAnOGivesARingWhoseAreaMatchesFontTools) {
  CTestDoc doc;
  CDocumentPage* page = NewPage(doc);
  CPicFrame* frame = page->GetFirstFrame();
  auto* t = new CPicText;
  CPicShape* shape = nullptr;
  int32_t result = -1;
  Edit(page, [&] {
    frame->AddChild(t);
    CTextStyle big;
    big.size = 2048;
    t->ApplyStyle(big, CTextStyle::kMaskSize, 0);
    t->SetText("O");
  });
  Edit(page, [&] {
    EXPECT_EQ(t->BreakApart(CPicObj::kBreakApartQuery), 1);
    result = t->BreakApart(0);
    shape = DynamicDowncast<CPicShape>(frame->GetLastChild());
  });
  EXPECT_EQ(result, 1);
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(frame->GetFirstChild(), shape);  // the text has left
  EXPECT_TRUE(shape->IsPlainDrawing());
  std::istringstream in(test_fonts::Oracle(
      "area /usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf O"));
  double expected = 0;
  in >> expected;
  ASSERT_GT(std::fabs(expected), 1000);
  EXPECT_NEAR(FilledArea(shape->GetGeometry()), std::fabs(expected), std::fabs(expected) * 0.005);
  // A point in the counter is not filled, one in the ring is.
  Rect32 b;
  shape->GetExactBounds(b);
  Point32 centre{(b.xmin + b.xmax) / 2 * 256, (b.ymin + b.ymax) / 2 * 256};
  Point32 ring{(b.xmin + 40) * 256, (b.ymin + b.ymax) / 2 * 256};
  Region* hole = EdgeGraphFindRegion(shape->GetGeometry(), centre);
  Region* filled = EdgeGraphFindRegion(shape->GetGeometry(), ring);
  EXPECT_TRUE(hole == nullptr || hole->fill == 0);
  ASSERT_NE(filled, nullptr);
  EXPECT_NE(filled->fill, 0);
  // Undo brings the text back.
  page->Undo();
  EXPECT_EQ(frame->GetFirstChild(), t);
  EXPECT_EQ(t->GetText(0), "O");

  // A font without outlines: nothing is outlined and the answer is 0.
  CFixedFontService fixed;
  SetFontService(&fixed);
  Edit(page, [&] { result = t->BreakApart(0); });
  EXPECT_EQ(result, 0);
  SetFontService(nullptr);
}

}  // namespace
