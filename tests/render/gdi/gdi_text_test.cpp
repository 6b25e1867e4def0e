// Text through the GDI back end: which strategy draws a run for each mix of
// flags, the pixels of every strategy against the glyph outlines, long runs,
// double-byte characters, and the outline of an "O" against Cairo's
// rendering of the same font file.
#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "geometry/edge_graph.h"
#include "model/text_outline_context.h"
#include "model/text_style.h"
#include "platform/core/font.h"
#include "platform/qt/dc.h"
#include "render/gdi/bitmap_render_context.h"
#include "render/gdi/gdi_render_context.h"
#include "render/raster/offscreen_bitmap.h"
#include "render/raster/scan_converter.h"
#include "tests/common/test_fonts.h"
#include "tests/render/gdi/device_fixture.h"

namespace {

const bool kFontsInstalled = (test_fonts::InstallTestFonts(), true);

constexpr int kWidth = 160;
constexpr int kHeight = 80;
constexpr int kTwipsPerPixel = 20;

void UsePixels(CRenderContext& rc, Fixed angle = 0) {
  Matrix2x3 m, r;
  MatrixSetScale(m, kFixedOne / kTwipsPerPixel, kFixedOne / kTwipsPerPixel);
  if (angle != 0) {
    MatrixSetRotation(r, angle);
    MatrixConcat(m, r, m);
    m.tx = kWidth / 2;
    m.ty = kHeight / 2;
  }
  rc.SetMatrix(m);
}

CTextStyle Style(int size, const char* face = "Liberation Sans") {
  CTextStyle s;
  s.size = static_cast<uint16_t>(size);
  SetFaceName(s.faceName, face);
  s.flags = CTextStyle::kFlagOutline;
  return s;
}

// A run with advances measured in the style's face.
struct MeasuredRun {
  MeasuredRun(const std::string& text, const CTextStyle& style) : bytes(text.begin(), text.end()) {
    std::shared_ptr<CFontFace> face = style.CreateFont(style.size);
    for (uint8_t b : bytes) {
      int32_t cx = 0;
      face->GetTextExtent(&b, 1, cx);
      advances.push_back(cx);
    }
  }
  int32_t Count() const { return static_cast<int32_t>(bytes.size()); }
  std::vector<uint8_t> bytes;
  std::vector<int32_t> advances;
};

// ---- which strategy draws -----------------------------------------------------------

enum Strategy { kOutlines, kFont, kWorld, kBitmaps };

class CStrategyRecorder : public CGdiRenderContext {
 public:
  explicit CStrategyRecorder(CDC* dc) : CGdiRenderContext(dc) {}
  int32_t TextAsOutlines(const TextRun& run) override { return Record(kOutlines, run); }
  int32_t TextWithFont(const TextRun& run) override { return Record(kFont, run); }
  int32_t TextWithWorldTransform(const TextRun& run) override { return Record(kWorld, run); }
  int32_t TextAsGlyphBitmaps(const TextRun& run) override { return Record(kBitmaps, run); }

  std::string tried;
  uint32_t works = 0;  // bit per strategy
  uint32_t colour = 0;

 private:
  int32_t Record(Strategy s, const TextRun& run) {
    tried += "OFWB"[s];
    colour = run.style->color;
    return (works >> s) & 1;
  }
};

TEST(GdiTextStrategy, FlagsChooseTheStrategiesInOrder) {
  constexpr uint32_t kAll = 0xF, kNone = 0;
  constexpr uint32_t kFirst = CRenderContext::kFlagGlyphTextFirst;
  constexpr uint32_t kNoGlyphs = CRenderContext::kFlagNoGlyphText;
  constexpr uint32_t kAdvanced = CRenderContext::kFlagAdvancedMode;
  constexpr uint32_t kDevice = CRenderContext::kFlagDeviceText;
  struct Case {
    uint32_t flags;
    bool scan;
    bool outline_style;  // style flag 0x2
    uint32_t works;
    int delegate_answer;  // -1 none
    const char* tried;
    int32_t result;
  } cases[] = {
      {0, false, true, kAll, -1, "F", 1},
      {kFirst, true, true, kAll, -1, "O", 1},
      {kFirst, false, true, kAll, -1, "F", 1},  // no scan converter
      {kFirst | kNoGlyphs, true, true, kAll, -1, "F", 1},
      // Outlines first fail: not tried again as the last resort.
      {kFirst, true, true, 1u << kFont, -1, "OF", 1},
      {kFirst, true, true, kNone, -1, "OFB", 0},
      {kAdvanced, false, true, 1u << kWorld, -1, "FW", 1},
      {0, false, true, 1u << kBitmaps, -1, "FB", 1},
      {0, false, false, 1u << kBitmaps, -1, "FO", 0},  // no glyph bitmaps without outlines
      {kAdvanced, false, true, 1u << kOutlines, -1, "FWBO", 1},
      {kAdvanced, false, true, kNone, -1, "FWBO", 0},
      // Device fonts only: the rest is skipped, outlines stay the last resort.
      {kDevice | kFirst | kAdvanced, true, true, kAll, -1, "F", 1},
      {kDevice | kFirst | kAdvanced, true, true, 1u << kOutlines, -1, "FO", 1},
      // The delegate first; when it refuses, the strategies follow.
      {kFirst, true, true, kAll, 1, "", 1},
      {0, false, true, kAll, 0, "F", 1},
  };
  COffscreenBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateDepth(32, nullptr, 8, 8, false));
  CScanConverter converter(&bitmap, nullptr, nullptr, 0);
  const CTextStyle style = Style(240);
  const uint8_t bytes[] = {'A'};
  const int32_t advances[] = {100};
  for (const Case& c : cases) {
    ImageDC target(kWidth, kHeight);
    CStrategyRecorder rc(&target.dc);
    rc.m_flags = c.flags;
    rc.m_scan = c.scan ? &converter : nullptr;
    rc.works = c.works;
    CRecordingDelegate ps;
    if (c.delegate_answer >= 0) {
      ps.textAnswer = c.delegate_answer;
      rc.m_delegate = &ps;
    }
    CTextStyle s = style;
    if (!c.outline_style) s.flags = 0;
    SCOPED_TRACE(testing::Message() << "flags " << std::hex << c.flags << " works " << c.works);
    EXPECT_EQ(rc.DrawText(1, {0, 0}, bytes, advances, s), c.result);
    EXPECT_EQ(rc.tried, c.tried);
    if (c.delegate_answer >= 0) {
      EXPECT_EQ(ps.calls, (std::vector<std::string>{"begin", "text 1", "end"}));
    }
  }
}

TEST(GdiTextStrategy, MaskModeDrawsBlackAndTheColourFollowsFillsAndDimming) {
  ImageDC target(kWidth, kHeight);
  CStrategyRecorder rc(&target.dc);
  rc.works = 1u << kFont;
  CTextStyle style = Style(240);
  style.color = 0xFF0000FF;
  const uint8_t bytes[] = {'A'};
  const int32_t advances[] = {100};
  rc.m_flags = CRenderContext::kFlagMask | CRenderContext::kFlagFills;
  ASSERT_EQ(rc.DrawText(1, {0, 0}, bytes, advances, style), 1);
  EXPECT_EQ(rc.colour, 0xFF000000u);
  EXPECT_EQ(style.color, 0xFF0000FFu);  // the caller's style is untouched
  rc.m_flags = CRenderContext::kFlagFills;
  EXPECT_EQ(rc.TextColour(style), 0xFF0000FFu);
  rc.m_flags = 0;  // outline drawing: the outline colour
  rc.m_outlineStyle.colour = 0xFF00FF00;
  EXPECT_EQ(rc.TextColour(style), 0xFF00FF00u);
  rc.m_dimFactor = 128;
  EXPECT_EQ(rc.TextColour(style), 0xFF7FFF7Fu);
}

// ---- what each strategy draws -------------------------------------------------------

int32_t DrawBy(CGdiRenderContext& rc, Strategy s, const CGdiRenderContext::TextRun& run) {
  switch (s) {
    case kOutlines:
      return rc.TextAsOutlines(run);
    case kFont:
      return rc.TextWithFont(run);
    case kWorld:
      return rc.TextWithWorldTransform(run);
    case kBitmaps:
      return rc.TextAsGlyphBitmaps(run);
  }
  return 0;
}

// The ink of a run drawn by one strategy on a white 32-bit target.
struct Drawn {
  std::vector<double> ink;
  int32_t result = 0;
};

Drawn DrawWith(Strategy s, const std::string& text, const CTextStyle& style, Point32 origin,
               Fixed angle = 0, int width = kWidth) {
  ImageDC target(width, kHeight);
  CGdiRenderContext rc(&target.dc);
  rc.m_flags |= CRenderContext::kFlagFills;
  if (s == kWorld) rc.SetAdvancedMode();
  UsePixels(rc, angle);
  MeasuredRun run(text, style);
  const CGdiRenderContext::TextRun r{run.Count(), origin, run.bytes.data(), run.advances.data(),
                                     &style};
  Drawn d;
  d.result = DrawBy(rc, s, r);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < width; ++x) d.ink.push_back(target.Ink(x, y));
  return d;
}

// The same run as anti-aliased glyph outlines through a bitmap context.
std::vector<double> Reference(const std::string& text, const CTextStyle& style, Point32 origin,
                              Fixed angle = 0) {
  COffscreenBitmap bitmap;
  EXPECT_TRUE(bitmap.CreateDepth(32, nullptr, kWidth, kHeight, false));
  CBitmapRenderContext rc(&bitmap, 1);
  rc.m_flags |= CRenderContext::kFlagGlyphTextFirst;
  UsePixels(rc, angle);
  rc.FillRectColor(0xFFFFFF);
  MeasuredRun run(text, style);
  EXPECT_EQ(rc.DrawText(run.Count(), origin, run.bytes.data(), run.advances.data(), style), 1);
  ImageDC out(kWidth, kHeight);
  rc.Blit(&out.dc, {0, kWidth, 0, kHeight}, 0, 0);
  std::vector<double> ink;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) ink.push_back(out.Ink(x, y));
  return ink;
}

// Intersection over union of the pixels more than half inked.
double Overlap(const std::vector<double>& a, const std::vector<double>& b) {
  int both = 0, either = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const bool x = a[i] > 0.5, y = b[i] > 0.5;
    both += x && y;
    either += x || y;
  }
  return either ? static_cast<double>(both) / either : 0;
}

double Total(const std::vector<double>& ink) {
  double t = 0;
  for (double v : ink) t += v;
  return t;
}

TEST(GdiTextDrawing, EveryStrategyDrawsTheGlyphOutlinesInPlace) {
  ASSERT_TRUE(kFontsInstalled);
  const CTextStyle style = Style(800);
  const Point32 origin = {200, 1100};  // 10 px in, baseline at 55 px
  const std::string text = "HOxg";
  const std::vector<double> reference = Reference(text, style, origin);
  ASSERT_GT(Total(reference), 300);
  for (Strategy s : {kOutlines, kFont, kWorld, kBitmaps}) {
    SCOPED_TRACE(testing::Message() << "strategy "
                                    << "OFWB"[s]);
    const Drawn d = DrawWith(s, text, style, origin);
    EXPECT_EQ(d.result, 1);
    EXPECT_GT(Overlap(d.ink, reference), 0.8);
  }
}

TEST(GdiTextDrawing, RotatedTextByFontOrOutlinesAndMirroredRefusedByTheFont) {
  ASSERT_TRUE(kFontsInstalled);
  const CTextStyle style = Style(600);
  const Point32 origin = {-600, 200};
  const Fixed angle = 30 * kFixedOne;
  const std::vector<double> reference = Reference("HE", style, origin, angle);
  ASSERT_GT(Total(reference), 150);
  for (Strategy s : {kOutlines, kFont, kBitmaps}) {
    SCOPED_TRACE(testing::Message() << "strategy "
                                    << "OFWB"[s]);
    const Drawn d = DrawWith(s, "HE", style, origin, angle);
    EXPECT_EQ(d.result, 1);
    EXPECT_GT(Overlap(d.ink, reference), 0.7);
  }
  // A device font cannot be mirrored, skewed or stretched unevenly.
  ImageDC target(kWidth, kHeight);
  CGdiRenderContext rc(&target.dc);
  MeasuredRun run("H", style);
  const CGdiRenderContext::TextRun r{1, {0, 0}, run.bytes.data(), run.advances.data(), &style};
  for (Matrix2x3 m : {Matrix2x3{-kFixedOne, 0, 0, kFixedOne, 100, 0},
                      Matrix2x3{kFixedOne, 0, kFixedOne / 2, kFixedOne, 0, 0},
                      Matrix2x3{kFixedOne, kFixedOne / 2, -kFixedOne / 4, kFixedOne, 0, 0}}) {
    rc.m_matrix = m;
    EXPECT_EQ(rc.TextWithFont(r), 0);
  }
  // Under flag 0x10 rotated fonts are refused too.
  rc.m_matrix = Matrix2x3{0, kFixedOne, -kFixedOne, 0, 80, 40};
  EXPECT_EQ(rc.TextWithFont(r), 1);
  rc.m_flags |= CRenderContext::kFlagDeviceText;
  EXPECT_EQ(rc.TextWithFont(r), 0);
}

TEST(GdiTextDrawing, RunsLongerThan255BytesAreDrawnWhole) {
  ASSERT_TRUE(kFontsInstalled);
  CTextStyle style = Style(400);
  // 299 spaces one pixel apart, then an "H" at x = 300 px.
  std::string text(299, ' ');
  text += 'H';
  constexpr int kWide = 340;
  for (Strategy s : {kOutlines, kFont, kWorld, kBitmaps}) {
    SCOPED_TRACE(testing::Message() << "strategy "
                                    << "OFWB"[s]);
    ImageDC target(kWide, kHeight);
    CGdiRenderContext rc(&target.dc);
    rc.m_flags |= CRenderContext::kFlagFills;
    if (s == kWorld) rc.SetAdvancedMode();
    UsePixels(rc);
    std::vector<int32_t> advances(text.size(), kTwipsPerPixel);
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const CGdiRenderContext::TextRun r{static_cast<int32_t>(text.size()),
                                       {20 * kTwipsPerPixel, 50 * kTwipsPerPixel},
                                       bytes,
                                       advances.data(),
                                       &style};
    EXPECT_EQ(DrawBy(rc, s, r), 1);
    double ink = 0;
    for (int y = 30; y < 55; ++y)
      for (int x = 315; x < 335; ++x) ink += target.Ink(x, y);
    EXPECT_GT(ink, 20) << "the H after byte 255";
  }
}

// Exact-size heap copies, so that a read past the run is caught.
struct HeapRun {
  HeapRun(std::vector<uint8_t> b, std::vector<int32_t> a)
      : bytes(new uint8_t[b.size()]), advances(new int32_t[a.size()]), count(b.size()) {
    std::copy(b.begin(), b.end(), bytes.get());
    std::copy(a.begin(), a.end(), advances.get());
  }
  std::unique_ptr<uint8_t[]> bytes;
  std::unique_ptr<int32_t[]> advances;
  size_t count;
};

TEST(GdiTextDrawing, DoubleByteCharactersJoinAndATrailingLeadByteStandsAlone) {
  ASSERT_TRUE(kFontsInstalled);
  CTextStyle style = Style(600, "Droid Sans Fallback");
  style.charSet = 128;  // code page 932: 0x82 leads
  // 0x82 0xA0 is one character with both advances: the "H" after it sits
  // 60 px right of the origin; a lead byte at the end is taken alone.
  const HeapRun joined({0x82, 0xA0, 'H'}, {600, 600, 600});
  const HeapRun trailing({'H', 0x82}, {600, 600});
  for (Strategy s : {kOutlines, kFont, kBitmaps}) {
    SCOPED_TRACE(testing::Message() << "strategy "
                                    << "OFWB"[s]);
    for (const HeapRun* run : {&joined, &trailing}) {
      ImageDC target(kWidth, kHeight);
      CGdiRenderContext rc(&target.dc);
      rc.m_flags |= CRenderContext::kFlagFills;
      UsePixels(rc);
      const CGdiRenderContext::TextRun r{static_cast<int32_t>(run->count),
                                         {0, 60 * kTwipsPerPixel},
                                         run->bytes.get(),
                                         run->advances.get(),
                                         &style};
      EXPECT_EQ(DrawBy(rc, s, r), 1);
      // Where the H is expected: 60 px in after the pair, at the origin alone.
      const int hx = run == &joined ? 60 : 0;
      double ink = 0, before = 0;
      for (int y = 35; y < 60; ++y) {
        for (int x = hx + 2; x < hx + 20; ++x) ink += target.Ink(x, y);
        if (run == &joined)
          for (int x = 31; x < 59; ++x) before += target.Ink(x, y);
      }
      EXPECT_GT(ink, 20);
      EXPECT_LT(before, 1) << "nothing between the pair's glyph and the H";
    }
  }
}

TEST(GdiTextDrawing, OutlinesWithoutStylesOutlineMetricsAreNotDrawn) {
  ImageDC target(kWidth, kHeight);
  CGdiRenderContext rc(&target.dc);
  CTextStyle style = Style(400);
  style.flags = 0;
  const uint8_t bytes[] = {'H'};
  const int32_t advances[] = {100};
  EXPECT_EQ(rc.TextAsOutlines({1, {0, 0}, bytes, advances, &style}), 0);
  // The small-font flag only moves the pen.
  style.flags = CTextStyle::kFlagSmall;
  EXPECT_EQ(rc.TextAsOutlines({1, {0, 0}, bytes, advances, &style}), 1);
  EXPECT_TRUE(rc.m_drawnArea.IsEmpty());
}

TEST(GdiTextDrawing, GlyphImagesComeOnlyFromTheFontServicesFaces) {
  ASSERT_TRUE(kFontsInstalled);
  ImageDC target(kWidth, kHeight);
  GLYPHMETRICS gm;
  MAT2 identity;
  // The stock font is not one of the font service's: no images.
  EXPECT_EQ(target.dc.GetGlyphOutline('H', GGO_BITMAP, &gm, 0, nullptr, &identity), GDI_ERROR);
  CFont font;
  LOGFONT log;
  log.lfHeight = -40;
  LogFont lf;
  lf.height = -40;
  SetFaceName(lf.face_name, "Liberation Sans");
  ASSERT_TRUE(font.CreateFontFromFace(log, FontService().CreateFont(lf)));
  CFont* old = target.dc.SelectObject(&font);
  const DWORD size = target.dc.GetGlyphOutline('H', GGO_BITMAP, &gm, 0, nullptr, &identity);
  ASSERT_NE(size, GDI_ERROR);
  // An "H" 40 px per em: about 29 px tall, 23 wide, standing on the baseline.
  EXPECT_NEAR(static_cast<int>(gm.gmBlackBoxY), 29, 1);
  EXPECT_NEAR(static_cast<int>(gm.gmBlackBoxX), 23, 2);
  EXPECT_NEAR(gm.gmptGlyphOrigin.y, 29, 1);
  EXPECT_EQ(size, ((gm.gmBlackBoxX + 31) >> 5) * 4 * gm.gmBlackBoxY);
  std::vector<uint8_t> bits(size);
  EXPECT_EQ(target.dc.GetGlyphOutline('H', GGO_BITMAP, &gm, size - 1, bits.data(), &identity),
            GDI_ERROR);
  ASSERT_EQ(target.dc.GetGlyphOutline('H', GGO_BITMAP, &gm, size, bits.data(), &identity), size);
  // The left stem inked from top to bottom, the middle of the top row clear.
  const size_t stride = size / gm.gmBlackBoxY;
  for (UINT row = 0; row < gm.gmBlackBoxY; ++row) EXPECT_TRUE(bits[row * stride] & 0x80) << row;
  EXPECT_FALSE(bits[gm.gmBlackBoxX / 16] & (0x80 >> (gm.gmBlackBoxX / 2 % 8)));
  // A space: a blank 1 x 1 box.
  ASSERT_EQ(target.dc.GetGlyphOutline(' ', GGO_BITMAP, &gm, 0, nullptr, &identity), 4u);
  EXPECT_EQ(gm.gmBlackBoxX, 1u);
  EXPECT_EQ(gm.gmCellIncX, 11);  // 0.278 em
  target.dc.SelectObject(old);
}

// ---- "O" against Cairo --------------------------------------------------------------

constexpr const char* kSerifFile =
    "/usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf";

// Cairo's anti-aliased "O" of the font file at `pixels` per em, pen at (x, y).
std::vector<double> CairoO(double pixels, double x, double y) {
  FT_Library lib;
  FT_Init_FreeType(&lib);
  FT_Face face;
  EXPECT_EQ(FT_New_Face(lib, kSerifFile, 0, &face), 0);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_font_face_t* cf = cairo_ft_font_face_create_for_ft_face(face, FT_LOAD_NO_HINTING);
  cairo_set_font_face(cr, cf);
  cairo_set_font_size(cr, pixels);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_set_font_options(cr, options);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, "O");
  cairo_surface_flush(surface);
  std::vector<double> ink;
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int row = 0; row < kHeight; ++row)
    for (int col = 0; col < kWidth; ++col)
      ink.push_back((255 - data[row * stride + col * 4 + 1]) / 255.0);
  cairo_font_options_destroy(options);
  cairo_destroy(cr);
  cairo_font_face_destroy(cf);
  cairo_surface_destroy(surface);
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  return ink;
}

TEST(GdiTextCairo, OThroughTheTextOutlineContextAndTheScanConverterMatchesCairo) {
  ASSERT_TRUE(kFontsInstalled);
  const CTextStyle style = Style(1200, "Liberation Serif");  // 60 px per em
  const Point32 origin = {40 * kTwipsPerPixel, 65 * kTwipsPerPixel};
  const std::vector<double> cairo = CairoO(60, 40, 65);
  ASSERT_GT(Total(cairo), 300);
  const uint8_t bytes[] = {'O'};
  const int32_t advances[] = {0};

  // Through the text-outline context: the glyph becomes a shape, drawn
  // anti-aliased; its counter stays empty.
  EdgeGraph graph;
  ASSERT_EQ(EdgeGraphInit(graph), 0);
  {
    CTextOutlineContext outline(&graph);
    ASSERT_EQ(outline.DrawText(1, origin, bytes, advances, style), 1);
  }
  COffscreenBitmap bitmap;
  ASSERT_TRUE(bitmap.CreateDepth(32, nullptr, kWidth, kHeight, false));
  std::vector<std::vector<double>> renderings;
  {
    CBitmapRenderContext rc(&bitmap, 1);
    UsePixels(rc);
    rc.FillRectColor(0xFFFFFF);
    rc.DrawEdgeGraph(graph);
    ImageDC out(kWidth, kHeight);
    rc.Blit(&out.dc, {0, kWidth, 0, kHeight}, 0, 0);
    renderings.emplace_back();
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) renderings.back().push_back(out.Ink(x, y));
  }
  EdgeGraphFreeAll(graph);
  renderings.push_back(Reference("O", style, origin));
  for (const std::vector<double>& ours : renderings) {
    double sum = 0;
    int far = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
      const double diff = std::abs(ours[i] - cairo[i]);
      sum += diff;
      far += diff > 0.25;
    }
    EXPECT_LT(sum / Total(cairo), 0.06);
    EXPECT_LT(far, 12);
    // The counter of the O is empty.
    EXPECT_LT(ours[static_cast<size_t>(45 * kWidth + 61)], 0.05);
  }
}

}  // namespace
