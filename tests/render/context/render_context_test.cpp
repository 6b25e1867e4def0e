// The render context's own operations: the order of calls a path makes,
// dimming, gradient quality, clips under matrices, and how edge graphs are
// drawn (fills by runs of edges, line chains and their order, outlines).
#include "render/context/render_context.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_region.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "render/raster/offscreen_bitmap.h"
#include "render/raster/scan_converter.h"
#include "tests/common/edge_styles.h"

namespace {

// Records the slots a context calls.
class CCallRecorder : public CRenderContext {
 public:
  void StrokePath(const PointList& path, const LineStyle& line) override {
    calls.push_back("StrokePath");
    paths.push_back(path.length);
    (void)line;
  }
  void FillArea(const PointList*, Region*, const FillStyle&) override {
    calls.push_back("FillArea");
  }
  void FillPolygon(const PointList& path, const LineStyle* line, const FillStyle* fill) override {
    calls.push_back(std::string("FillPolygon") + (line ? " line" : "") + (fill ? " fill" : ""));
    paths.push_back(path.length);
    if (line) lineColours.push_back(line->colour);
  }
  std::vector<std::string> calls;
  std::vector<int32_t> paths;
  std::vector<uint32_t> lineColours;
};

void Square(PointList& path, int32_t x, int32_t y, int32_t size) {
  ASSERT_EQ(PathFromRect(path, {x, x + size, y, y + size}), 0);
}

TEST(DrawPath, CallOrderByFillLineAndScanConverter) {
  COffscreenBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateDepth(32, nullptr, 8, 8, false));
  CScanConverter scan(&bitmap, nullptr, nullptr, 0);
  const FillStyle solid = SolidFill(0xFF0000FF);
  FillStyle gradient = solid, texture = solid;
  gradient.kind = kGradientLinear;
  texture.kind = kFillTextureFirst;
  const LineStyle plain = SolidLine(0xFF000000, 20);
  LineStyle dashed = plain;
  dashed.kind = 1;
  struct Case {
    const char* name;
    const FillStyle* fill;
    const LineStyle* line;
    bool scan;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {"solid fill", &solid, nullptr, false, {"FillPolygon fill"}},
      {"solid fill and plain line", &solid, &plain, false, {"FillPolygon line fill"}},
      {"plain line", nullptr, &plain, false, {"FillPolygon line"}},
      {"styled line", nullptr, &dashed, false, {"StrokePath"}},
      {"fill and styled line", &solid, &dashed, false, {"FillPolygon fill", "StrokePath"}},
      {"gradient and plain line", &gradient, &plain, false, {"FillArea", "FillPolygon line"}},
      {"gradient and plain line, scan converter",
       &gradient,
       &plain,
       true,
       {"FillPolygon line fill"}},
      {"texture, scan converter", &texture, nullptr, true, {"FillArea"}},
      {"texture and styled line", &texture, &dashed, false, {"FillArea", "StrokePath"}},
      {"nothing", nullptr, nullptr, false, {}},
  };
  for (const Case& c : cases) {
    CCallRecorder rc;
    if (c.scan) rc.m_scan = &scan;
    PointList path;
    Square(path, 0, 0, 100);
    rc.DrawPath(path, c.line, c.fill);
    EXPECT_EQ(rc.calls, c.calls) << c.name;
  }
  // Fewer than two points draw nothing.
  CCallRecorder rc;
  PointList point;
  ASSERT_EQ(PointListAppend(point, {5, 5}, 0), 0);
  rc.DrawPath(point, &plain, &solid);
  EXPECT_TRUE(rc.calls.empty());
}

TEST(DimColor, MixesWithWhiteAndKeepsAlpha) {
  CRenderContext rc;
  struct Case {
    int32_t factor;
    uint32_t in;
    uint32_t out;
  };
  const Case cases[] = {
      {0, 0x80102030, 0x80102030},    // no dimming
      {256, 0x80102030, 0x80102030},  // full weight of the colour
      {128, 0x00000000, 0x007F7F7F},  // halfway to white
      {128, 0xFF0000FF, 0xFF7F7FFF}, {1, 0x12000000, 0x12FEFEFE},
  };
  for (const Case& c : cases) {
    rc.m_dimFactor = c.factor;
    EXPECT_EQ(rc.DimColor(c.in), c.out) << std::hex << c.in << " at " << std::dec << c.factor;
  }
  rc.m_dimFactor = 128;
  FillStyle gradient = SolidFill(0xFF000000);
  gradient.kind = kGradientRadial;
  gradient.gradient.count = 2;
  gradient.gradient.colours[0] = 0xFF000000;
  gradient.gradient.colours[1] = 0xFFFFFFFF;
  gradient.gradient.colours[2] = 0xFF000000;  // past the count: untouched
  rc.DimFillStyle(gradient);
  EXPECT_EQ(gradient.gradient.colours[0], 0xFF7F7F7Fu);
  EXPECT_EQ(gradient.gradient.colours[1], 0xFFFFFFFFu);
  EXPECT_EQ(gradient.gradient.colours[2], 0xFF000000u);
  EXPECT_EQ(gradient.colour, 0xFF000000u);  // a gradient's own colour is not its ramp
}

TEST(SetQuality, ColumnsAndClamp) {
  struct Case {
    int level;
    int32_t size, colour, limit;
  };
  const Case cases[] = {{0, 8, 1, 1},  {1, 8, 4, 6},  {2, 4, 5, 32},
                        {3, 2, 5, 64}, {-5, 8, 1, 1}, {99, 2, 5, 64}};
  for (const Case& c : cases) {
    CRenderContext rc;
    rc.SetQuality(c.level);
    EXPECT_EQ(rc.m_sizeStep, c.size) << c.level;
    EXPECT_EQ(rc.m_colourStep, c.colour) << c.level;
    EXPECT_EQ(rc.m_bandLimit, c.limit) << c.level;
  }
  CRenderContext fresh;  // the default triple is in no column
  EXPECT_EQ(fresh.m_sizeStep, 2);
  EXPECT_EQ(fresh.m_colourStep, 8);
  EXPECT_EQ(fresh.m_bandLimit, 64);
}

TEST(Matrices, SetMatrixMovesOnlyTheDocumentClip) {
  const Rect32 device = {0, 100, 0, 50};
  CRenderContext rc(nullptr, &device);
  Matrix2x3 zoom;
  MatrixSetScale(zoom, kFixedOne / 20, kFixedOne / 20);
  rc.SetMatrix(zoom);
  EXPECT_EQ(rc.m_deviceClip, device);
  EXPECT_EQ(rc.m_docClip, (Rect32{0, 2000, 0, 1000}));
  EXPECT_EQ(rc.m_baseMatrix, rc.m_matrix);

  CRenderContext huge;
  Rect32 hugeRect;
  RectSetHuge(hugeRect);
  EXPECT_EQ(huge.m_deviceClip, hugeRect);
  Matrix2x3 shift;
  MatrixSetTranslation(shift, 10, 0);
  huge.SetMatrix(shift);
  EXPECT_EQ(huge.m_deviceClip, hugeRect);
  EXPECT_EQ(huge.m_docClip.xmin, hugeRect.xmin - 10);

  // The identity changes nothing; another matrix is folded into the object
  // matrix, and the saved state brings everything back.
  CRenderState saved;
  rc.SaveState(saved);
  rc.ConcatMatrix(Matrix2x3{});
  EXPECT_EQ(rc.m_objectMatrixSet, 0);
  rc.ConcatMatrix(shift);
  EXPECT_EQ(rc.m_objectMatrixSet, 1);
  EXPECT_EQ(rc.m_objectMatrix, shift);
  rc.RestoreState(saved);
  EXPECT_EQ(rc.m_objectMatrixSet, 0);
  EXPECT_EQ(rc.m_docClip, (Rect32{0, 2000, 0, 1000}));
}

}  // namespace
