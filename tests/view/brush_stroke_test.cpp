// A brush stroke's coverage traced into a filled stroke graph, and the
// stroke merged into a drawing by the rule of each paint and erase mode.
#include "view/core/brush_stroke.h"

#include <gtest/gtest.h>

#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_select.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "tests/common/edge_styles.h"

namespace {

// The colour word of the fill at a point (twips); 0 for none, the tag itself
// for a tag.
uint32_t FillAt(EdgeGraph& g, int32_t x, int32_t y) {
  Region* r = EdgeGraphFindRegion(g, Point32{x << 8, y << 8});
  if (r == nullptr) return 0;
  const StyleIndex f = StyleIndexOf(r->fill);
  if (f == 0 || StyleIsTag(f)) return f;
  FillStyle s;
  EdgeGraphGetFillStyle(g, f, s);
  return s.colour;
}

bool SelectedAt(EdgeGraph& g, int32_t x, int32_t y) {
  Region* r = EdgeGraphFindRegion(g, Point32{x << 8, y << 8});
  return r != nullptr && StyleIsSelected(r->fill);
}

// Whether an edge with a line passes within 4 twips of the point.
bool LineAt(const EdgeGraph& g, int32_t x, int32_t y) {
  const Rect32 probe{(x - 4) << 8, (x + 4) << 8, (y - 4) << 8, (y + 4) << 8};
  bool found = false;
  EdgeGraphForEachEdge(g, &probe, [&](const Edge* e) {
    Rect32 b;
    RectFromTwoPoints(b, e->curve.p0, e->curve.p2);
    RectAddPoint(b, e->curve.control);
    if (StyleIndexOf(e->line) != 0 && RectsOverlap(b, probe)) found = true;
  });
  return found;
}

void AddRect(EdgeGraph& g, const Rect32& r, StyleIndex line, StyleIndex fill) {
  PointList path;
  ASSERT_EQ(PathFromRect(path, r), 0);
  ASSERT_EQ(EdgeGraphAddPath(g, path, line, 0, fill), 0);
  ASSERT_EQ(EdgeGraphUpdate(g), 0);
}

constexpr uint32_t kRed = 0xFF0000FF;
constexpr uint32_t kBlue = 0xFFFF0000;
constexpr uint32_t kGreen = 0xFF00FF00;

// A red square 0..1000 with a black outline; the stroke a blue band
// 500..1500 x 250..750 across its right side.
class BrushApplyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(EdgeGraphInit(target), 0);
    const int red = EdgeGraphAddFillStyle(target, SolidFill(kRed));
    const int black = EdgeGraphAddLineStyle(target, SolidLine(0xFF000000, 20));
    AddRect(target, {0, 1000, 0, 1000}, static_cast<StyleIndex>(black),
            static_cast<StyleIndex>(red));
  }
  // The band with the Brush's colour, or the Eraser's tag.
  StyleIndex MakeStroke(bool eraser, const Rect32& r = {500, 1500, 250, 750}) {
    EXPECT_EQ(EdgeGraphInit(stroke), 0);
    StyleIndex fill = kBrushEraseTag;
    if (!eraser) fill = static_cast<StyleIndex>(EdgeGraphAddFillStyle(stroke, SolidFill(kBlue)));
    AddRect(stroke, r, 0, fill);
    return fill;
  }
  EdgeGraph target;
  EdgeGraph stroke;
};

TEST_F(BrushApplyTest, EachModeMergesByItsRule) {
  // Probes: where both lie, the stroke alone, the square alone, and the
  // square's right side inside the band.
  struct Case {
    const char* what;
    bool eraser;
    int32_t mode;
    uint32_t both, stroke_only, square_only;
    bool line_kept;
  } cases[] = {
      {"paint normal", false, kBrushModeNormal, kBlue, kBlue, kRed, false},
      {"paint fills", false, kBrushModeFills, kBlue, kBlue, kRed, true},
      {"paint behind", false, kBrushModeBehind, kRed, kBlue, kRed, true},
      {"paint inside", false, kBrushModeInside, kBlue, 0, kRed, true},
      {"erase normal", true, kBrushModeNormal, 0, 0, kRed, false},
      {"erase lines", true, kBrushModeBehind, kRed, 0, kRed, false},
      {"erase fills", true, kBrushModeFills, 0, 0, kRed, true},
      {"erase inside", true, kBrushModeInside, 0, 0, kRed, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    const StyleIndex fill = MakeStroke(c.eraser);
    BrushApplyOptions how;
    how.mode = c.mode;
    how.eraser = c.eraser;
    // Started inside the square.
    ASSERT_EQ(ApplyBrushStroke(stroke, target, {750, 500}, fill, how), 0);
    EXPECT_EQ(FillAt(target, 750, 400), c.both);
    EXPECT_EQ(FillAt(target, 1250, 400), c.stroke_only);
    EXPECT_EQ(FillAt(target, 250, 400), c.square_only);
    EXPECT_EQ(LineAt(target, 1000, 500), c.line_kept);
    EXPECT_TRUE(LineAt(target, 1000, 100));  // the outline outside the band stays
    EdgeGraphFreeAll(target);
    EdgeGraphFreeAll(stroke);
  }
}

TEST_F(BrushApplyTest, InsideStartedOutsideEveryRegionUsesTheFirstRegion) {
  const StyleIndex fill = MakeStroke(false);
  BrushApplyOptions how;
  how.mode = kBrushModeInside;
  ASSERT_EQ(ApplyBrushStroke(stroke, target, {1250, 500}, fill, how), 0);
  EXPECT_EQ(FillAt(target, 750, 400), kBlue);
  EXPECT_EQ(FillAt(target, 1250, 400), 0u);
}

TEST_F(BrushApplyTest, SelectionModePaintsTheSelectedFillsOnlyAndSelectsThem) {
  {
    const StyleIndex fill = MakeStroke(false);
    BrushApplyOptions how;
    how.mode = kBrushModeSelected;
    ASSERT_EQ(ApplyBrushStroke(stroke, target, {750, 500}, fill, how), 0);
    EXPECT_EQ(FillAt(target, 750, 400), kRed);  // nothing selected: nothing painted
    EXPECT_EQ(FillAt(target, 1250, 400), 0u);
    EdgeGraphFreeAll(stroke);
  }
  ASSERT_EQ(EdgeGraphSetSelected(target, true), 0);
  const StyleIndex fill = MakeStroke(false);
  BrushApplyOptions how;
  how.mode = kBrushModeSelected;
  ASSERT_EQ(ApplyBrushStroke(stroke, target, {750, 500}, fill, how), 0);
  EXPECT_EQ(FillAt(target, 750, 400), kBlue);
  EXPECT_TRUE(SelectedAt(target, 750, 400));
  EXPECT_EQ(FillAt(target, 1250, 400), 0u);
  EXPECT_EQ(FillAt(target, 250, 400), kRed);
}

TEST_F(BrushApplyTest, SeveralTargetsEachGetTheWholeStroke) {
  // A second drawing whose square lies where the band leaves the first.
  EdgeGraph other;
  ASSERT_EQ(EdgeGraphInit(other), 0);
  const int red = EdgeGraphAddFillStyle(other, SolidFill(kRed));
  AddRect(other, {1100, 1400, 0, 1000}, 0, static_cast<StyleIndex>(red));
  const StyleIndex fill = MakeStroke(true);
  const uint32_t strokeEdges = stroke.edge_count;
  BrushApplyOptions how;
  how.mode = kBrushModeInside;
  how.eraser = true;
  how.several_targets = true;
  ASSERT_EQ(ApplyBrushStroke(stroke, target, {750, 500}, fill, how), 0);
  // In the second drawing the start lies outside every region: its first
  // region. Clipped to the first square, the stroke would miss it.
  ASSERT_EQ(ApplyBrushStroke(stroke, other, {750, 500}, fill, how), 0);
  EXPECT_EQ(FillAt(target, 750, 400), 0u);
  EXPECT_EQ(FillAt(other, 1250, 400), 0u);
  EXPECT_EQ(FillAt(other, 1250, 900), kRed);
  EXPECT_EQ(stroke.edge_count, strokeEdges);
}

TEST_F(BrushApplyTest, APlacedFillReplacesTheStrokesColour) {
  class GreenPlacer : public BrushFillPlacer {
   public:
    bool PlaceFillGradient(EdgeGraph& s, FillStyle& colour) override {
      edges = s.edge_count;
      colour.colour = kGreen;
      return true;
    }
    uint32_t edges = 0;
  } placer;
  const StyleIndex fill = MakeStroke(false);
  const FillStyle blue = SolidFill(kBlue);
  BrushApplyOptions how;
  how.colour = &blue;
  how.placer = &placer;
  ASSERT_EQ(ApplyBrushStroke(stroke, target, {750, 500}, fill, how), 0);
  EXPECT_GT(placer.edges, 0u);
  EXPECT_EQ(FillAt(target, 1250, 400), kGreen);
  // The default placer changes nothing.
  EdgeGraphFreeAll(stroke);
  BrushFillPlacer none;
  const StyleIndex fill2 = MakeStroke(false, {500, 1500, 1200, 1400});
  how.placer = &none;
  ASSERT_EQ(ApplyBrushStroke(stroke, target, {750, 1300}, fill2, how), 0);
  EXPECT_EQ(FillAt(target, 1250, 1300), kBlue);
}

// Sub-pixels to twips: 3 twips per sub-pixel, offset by 100.
Matrix2x3 SubPixelToDoc() {
  Matrix2x3 m;
  m.a = 3 * kFixedOne;
  m.d = 3 * kFixedOne;
  m.tx = 100;
  m.ty = 100;
  return m;
}

void FillRows(BrushRaster& raster, int32_t y0, int32_t y1, int32_t x0, int32_t x1) {
  for (int32_t y = y0; y <= y1; ++y) ASSERT_EQ(BrushRasterAddSpan(raster, y, x0, x1), 0);
}

TEST(BrushStrokeGraphTest, CoverageBecomesFilledOutlinesWithHoles) {
  // A ring: 0..159 x 0..79 with a hole 60..99 x 20..59; and a speck of 3 x 3
  // sub-pixels far off, too small to keep.
  BrushRaster raster;
  ASSERT_EQ(BrushRasterInit(raster, -40, 300), 0);
  FillRows(raster, 0, 19, 0, 159);
  for (int32_t y = 20; y <= 59; ++y) {
    ASSERT_EQ(BrushRasterAddSpan(raster, y, 0, 59), 0);
    ASSERT_EQ(BrushRasterAddSpan(raster, y, 100, 159), 0);
  }
  FillRows(raster, 60, 79, 0, 159);
  FillRows(raster, 200, 202, 200, 202);
  EdgeGraph g;
  ASSERT_EQ(EdgeGraphInit(g), 0);
  const StyleIndex blue = static_cast<StyleIndex>(EdgeGraphAddFillStyle(g, SolidFill(kBlue)));
  ASSERT_EQ(BrushStrokeToGraph(raster, SubPixelToDoc(), 256 * 8, blue, g), 0);
  EXPECT_EQ(FillAt(g, 100 + 3 * 30, 100 + 3 * 40), kBlue);   // the ring's left side
  EXPECT_EQ(FillAt(g, 100 + 3 * 130, 100 + 3 * 10), kBlue);  // its top right
  EXPECT_EQ(FillAt(g, 100 + 3 * 80, 100 + 3 * 40), 0u);      // the hole
  EXPECT_EQ(FillAt(g, 100 + 3 * 201, 100 + 3 * 201), 0u);    // the speck was dropped
  EXPECT_EQ(FillAt(g, 100 + 3 * 170, 100 + 3 * 40), 0u);     // outside
  // The outline follows the coverage within a couple of sub-pixels.
  ASSERT_NE(g.top_regions, nullptr);
  const Rect32 b = g.top_regions->bounds;
  EXPECT_NEAR(b.xmin >> 8, 100, 8);
  EXPECT_NEAR(b.xmax >> 8, 100 + 3 * 159, 8);
  EXPECT_NEAR(b.ymin >> 8, 100, 8);
  EXPECT_NEAR(b.ymax >> 8, 100 + 3 * 79, 8);
  EdgeGraphFreeAll(g);
}

TEST(BrushStrokeGraphTest, PressureScale) {
  struct Case {
    int32_t p, base, range;
    Fixed scale;
    int32_t clamped;
  } cases[] = {
      {0, 0, 1023, 0, 0},
      {1023, 0, 1023, 4 * kFixedOne, 1023},
      {612, 100, 1024, 2 * kFixedOne, 512},
      {5000, 100, 1024, 4 * kFixedOne, 1024},  // beyond the range
      {50, 100, 1024, 0, 0},                   // below the base
      {1, 0, 0, 4 * kFixedOne, 1},             // a range of 0 counts as 1
  };
  for (const Case& c : cases) {
    int32_t clamped = -1;
    EXPECT_EQ(BrushPressureScale(c.p, c.base, c.range, &clamped), c.scale) << c.p;
    EXPECT_EQ(clamped, c.clamped) << c.p;
  }
}

}  // namespace
