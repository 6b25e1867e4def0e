// Glyph outlines: the sink's curves, winding and classification against
// paths, the scan-converter consumer against FreeType's own rendering, and
// text broken into outlines.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <cmath>

#include "geometry/edge_graph_region.h"
#include "geometry/path.h"
#include "model/glyph_outline.h"
#include "model/text_outline_context.h"
#include "model/text_style.h"
#include "platform/core/font.h"
#include "render/raster/glyph_scan.h"
#include "render/raster/offscreen_bitmap.h"
#include "tests/common/edge_styles.h"
#include "tests/common/test_fonts.h"

namespace {

const bool kFontsInstalled = (test_fonts::InstallTestFonts(), true);

// Counts the curves an outliner receives.
class CurveCounter : public CGlyphOutliner {
 public:
  void OnCurve(const QuadCurve& c) override { curves.push_back(c); }
  void OnContourEnd() override { ++contours; }
  std::vector<QuadCurve> curves;
  int contours = 0;
};

CTextStyle Style(int size, const char* face = "Times New Roman") {
  CTextStyle s;
  s.size = static_cast<uint16_t>(size);
  SetFaceName(s.faceName, face);
  return s;
}

TEST(GlyphTest, WindingInsideOutsideAndInTheCounterOfO) {
  ASSERT_TRUE(kFontsInstalled);
  CGlyphOutliner o;
  o.SelectFont(Style(2048));
  // "O" of Liberation Serif: the ring spans x 84..1395, y -1356..20 (y down);
  // its counter is around x 740.
  struct Case {
    Point32 p;
    int32_t tolerance;
    bool inside;
    bool near_curve;
  } cases[] = {
      {{150, -700}, 0, true, false},   // in the left stroke
      {{740, -700}, 0, false, false},  // in the counter
      {{-300, -700}, 0, false, false}, {{740, -700}, 10, false, false},
      {{740, -1330}, 60, true, true},   // in the top stroke
      {{740, -1400}, 60, false, true},  // just above it
  };
  for (const auto& c : cases) {
    ASSERT_EQ(o.GlyphWindingAt('O', c.p, c.tolerance), 1);
    EXPECT_EQ(o.m_winding != 0, c.inside) << c.p.x << "," << c.p.y;
    EXPECT_EQ(o.m_near, c.near_curve) << c.p.x << "," << c.p.y;
  }
}

TEST(GlyphTest, SpaceGivesNoCurvesAndClassifiesAsCrossing) {
  CurveCounter o;
  o.SelectFont(Style(240));
  ASSERT_EQ(o.OutlineGlyph(' '), 1);
  EXPECT_TRUE(o.curves.empty());
  CGlyphOutliner plain;
  plain.SelectFont(Style(240));
  PointList rect;
  PointListInit(rect);
  ASSERT_EQ(PathFromRect(rect, Rect32{-1000, 1000, -1000, 1000}), 0);
  Matrix2x3 identity;
  EXPECT_EQ(plain.ClassifyAgainstPath(' ', rect, identity), 3);
  // Around the whole glyph, far from it, and through it.
  struct Case {
    Rect32 r;
    int expected;
  } cases[] = {{{-100, 400, -400, 100}, 2}, {{1000, 2000, 0, 100}, 1}, {{-100, 80, -400, 100}, 3}};
  for (const auto& c : cases) {
    PointListFree(rect);
    PointListInit(rect);
    ASSERT_EQ(PathFromRect(rect, c.r), 0);
    EXPECT_EQ(plain.ClassifyAgainstPath('O', rect, identity), c.expected);
  }
  PointListFree(rect);
}

// A face with one hand-made outline: a square whose last point repeats its
// start, and a spline record of a single point.
class SquareFace : public CFontFace {
 public:
  const LogFont& GetLogFont() const override { return lf; }
  void GetTextMetrics(TextMetrics& m) const override { m = {}; }
  bool HasOutlineMetrics() const override { return true; }
  void GetCharWidths(int32_t w[256]) const override { std::fill(w, w + 256, 0); }
  bool GetTextExtent(const uint8_t*, int, int32_t& cx) const override { return cx = 0, true; }
  std::vector<KerningPair> GetKerningPairs() const override { return {}; }
  bool GetGlyphOutline(uint16_t, GlyphOutline& out) const override {
    auto p = [](int x, int y) { return Point32{x << 16, y << 16}; };
    OutlineContour c;
    c.start = p(0, 0);
    c.records.push_back({OutlineRecord::kLine, {p(100, 0), p(100, 100), p(0, 100), p(0, 0)}});
    c.records.push_back({OutlineRecord::kQSpline, {p(50, 50)}});
    out.contours = {c};
    return true;
  }
  bool GetFontData(uint32_t, std::vector<uint8_t>&) const override { return false; }
  std::string GetFaceFile() const override { return {}; }
  int32_t GetFaceIndex() const override { return 0; }
  LogFont lf;
};

TEST(GlyphTest, ContourEndingOnItsStartStillGetsAClosingZeroLengthLine) {
  SquareFace face;
  CurveCounter o;
  o.m_sink.m_font = &face;
  ASSERT_EQ(o.OutlineGlyph('x'), 1);
  ASSERT_EQ(o.curves.size(), 5u);
  EXPECT_EQ(o.contours, 1);
  EXPECT_EQ(o.curves[1].p2, (Point32{100, -100}));  // y down
  EXPECT_EQ(o.curves[4].p0, o.curves[4].p2);
  EXPECT_EQ(o.curves[4].straight, 1);
  // Without outlines the sink answers 0.
  SetFontService(nullptr);
  CFixedFontService fixed;
  SetFontService(&fixed);
  CGlyphOutliner none;
  none.SelectFont(Style(240));
  EXPECT_EQ(none.OutlineGlyph('O'), 0);
  SetFontService(nullptr);
}

// Coverage (0..1) of a glyph drawn black on white by the scan converter.
std::vector<double> ScanGlyph(char ch, int ppem, int size, int baseline) {
  COffscreenBitmap bitmap;
  EXPECT_TRUE(bitmap.CreateDepth(32, nullptr, size, size, false));
  CScanConverter cv(&bitmap, nullptr, nullptr, 1);
  cv.Clear(0xFFFFFF);
  Matrix2x3 m;
  Fixed scale = FixedDiv(ppem, 2048);
  MatrixSetScale(m, scale, scale);
  m.tx = 4;
  m.ty = baseline;
  cv.SetMatrix(m, nullptr);
  FillStyle fill = SolidFill(0xFF000000);
  CGlyphScanConsumer consumer(cv, fill);
  CGlyphOutliner o;
  o.SelectFont(Style(2048));
  o.m_sink.m_consumer = &consumer;
  EXPECT_EQ(o.OutlineGlyph(static_cast<uint8_t>(ch)), 1);
  cv.Render();
  std::vector<double> ink(static_cast<size_t>(size) * size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) ink[y * size + x] = (255 - bitmap.Row(y)[4 * x + 2]) / 255.0;
  }
  return ink;
}

std::vector<double> FreeTypeGlyph(char ch, int ppem, int size, int baseline) {
  FT_Library lib;
  FT_Init_FreeType(&lib);
  FT_Face face;
  FT_New_Face(lib, "/usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf", 0, &face);
  FT_Set_Pixel_Sizes(face, 0, ppem);
  FT_Load_Char(face, static_cast<uint8_t>(ch), FT_LOAD_NO_HINTING | FT_LOAD_RENDER);
  std::vector<double> ink(static_cast<size_t>(size) * size, 0.0);
  FT_Bitmap& b = face->glyph->bitmap;
  for (unsigned r = 0; r < b.rows; ++r) {
    for (unsigned c = 0; c < b.width; ++c) {
      int x = 4 + face->glyph->bitmap_left + static_cast<int>(c);
      int y = baseline - face->glyph->bitmap_top + static_cast<int>(r);
      if (x >= 0 && y >= 0 && x < size && y < size)
        ink[y * size + x] = b.buffer[r * b.pitch + c] / 255.0;
    }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  return ink;
}

TEST(GlyphTest, ScanConverterConsumerMatchesFreeTypeRendering) {
  for (char ch : {'O', 'g', 'A', '&'}) {
    SCOPED_TRACE(ch);
    const int size = 64, ppem = 48, baseline = 48;
    std::vector<double> ours = ScanGlyph(ch, ppem, size, baseline);
    std::vector<double> theirs = FreeTypeGlyph(ch, ppem, size, baseline);
    double a = 0, b = 0, diff = 0, worst = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
      a += ours[i];
      b += theirs[i];
      diff += std::fabs(ours[i] - theirs[i]);
      worst = std::max(worst, std::fabs(ours[i] - theirs[i]));
    }
    ASSERT_GT(b, 50);
    EXPECT_NEAR(a / b, 1.0, 0.03);  // the same amount of ink
    EXPECT_LT(diff / b, 0.08);      // in the same places
    EXPECT_LT(worst, 0.5);          // no pixel far off
  }
}

}  // namespace
