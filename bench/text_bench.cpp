// Text editing and drawing: a keystroke in a long styled text, styling
// with many and few styles, hit probes and an eraser over many lines, and
// glyphs through the scan converter against FreeType rendering them (the
// peer), in the same run. Fonts come from the tests' private configuration.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <memory>
#include <string>

#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_region.h"
#include "geometry/path.h"
#include "model/glyph_outline.h"
#include "model/pic_shape.h"
#include "model/pic_text.h"
#include "platform/core/font.h"
#include "render/raster/glyph_scan.h"
#include "render/raster/offscreen_bitmap.h"
#include "tests/common/test_fonts.h"

namespace {

const bool kFonts = (test_fonts::InstallTestFonts(), true);

// A text of `chars` characters in words of five, with `runs` style runs
// cycling through `styles` distinct styles.
std::unique_ptr<CPicText> LongText(int32_t chars, int32_t runs, int32_t styles) {
  auto t = std::make_unique<CPicText>();
  t->SetWidth(9000);
  std::string s;
  for (int32_t i = 0; i < chars; ++i)
    s.push_back(i % 6 == 5 ? ' ' : static_cast<char>('a' + i % 23));
  t->SetText(s);
  int32_t per = chars / runs;
  for (int32_t r = 0; r < runs; ++r) {
    CTextStyle st;
    st.size = static_cast<uint16_t>(200 + (r % styles) % 40 * 4);
    st.letterSpacing = static_cast<int16_t>((r % styles) / 40);
    st.bold = static_cast<uint8_t>(r % 2);
    t->ApplyStyleToRange(
        st, CTextStyle::kMaskSize | CTextStyle::kMaskBold | CTextStyle::kMaskLetterSpacing, r * per,
        (r + 1) * per);
  }
  t->UpdateLayout();
  return t;
}

void Keystroke(benchmark::State& state, bool atEnd) {
  auto t = LongText(60000, 200, 200);
  int32_t at = atEnd ? t->GetCharCount() - 1 : t->GetCharCount() / 2;
  for (auto _ : state) {
    t->SetSelection(at, at);
    t->InsertString("x");
    t->UpdateLayout();
    state.PauseTiming();
    t->SetSelection(at, at + 1);
    t->DeleteSelection();
    t->UpdateLayout();
    state.ResumeTiming();
  }
}
void BM_KeystrokeMid(benchmark::State& state) {
  Keystroke(state, false);
}
void BM_KeystrokeEnd(benchmark::State& state) {
  Keystroke(state, true);
}
BENCHMARK(BM_KeystrokeMid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystrokeEnd)->Unit(benchmark::kMillisecond);

// Bold over the whole text with many styles (3000) against few (10).
void BM_BoldOverStyles(benchmark::State& state) {
  auto t = LongText(60000, 3000, static_cast<int32_t>(state.range(0)));
  CTextStyle bold;
  int flip = 0;
  for (auto _ : state) {
    bold.bold = static_cast<uint8_t>(flip ^= 1);
    t->ApplyStyleToRange(bold, CTextStyle::kMaskBold, 0, t->GetCharCount());
    t->UpdateLayout();
  }
}
BENCHMARK(BM_BoldOverStyles)->Arg(10)->Arg(3000)->Unit(benchmark::kMillisecond);

void BM_HitProbes(benchmark::State& state) {
  auto t = LongText(5000, 20, 20);
  Rect32 ink = t->GetInkBounds();
  for (auto _ : state) {
    int hits = 0;
    for (int i = 0; i < 10000; ++i) {
      CHitTest probe;
      probe.point = {ink.xmin + (i * 7919) % (ink.xmax - ink.xmin),
                     ink.ymin + (i * 104729) % (ink.ymax - ink.ymin)};
      probe.distance2 = 20;
      hits += t->HitTest(probe);
    }
    benchmark::DoNotOptimize(hits);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_HitProbes)->Unit(benchmark::kMillisecond);

void BM_EraserAcross200Lines(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto t = LongText(200 * 60, 20, 20);
    CPicShape eraser;
    EdgeGraph& g = eraser.GetGeometry();
    FillStyle fill;
    fill.colour = 0xFF0000FF;
    int index = EdgeGraphAddFillStyle(g, fill);
    PointList path;
    PointListInit(path);
    PathFromRect(path, Rect32{3000, 3300, -1000, t->GetBox().ymax + 1000});
    EdgeGraphAddPath(g, path, 0, 0, 0);
    PointListFree(path);
    EdgeGraphPaintRegions(g, static_cast<StyleIndex>(index), false);
    state.ResumeTiming();
    t->EraseCoveredChars(eraser);
    t->UpdateLayout();
  }
}
BENCHMARK(BM_EraserAcross200Lines)->Unit(benchmark::kMillisecond);

constexpr int kGlyphs = 10000;
constexpr int kPixels = 16;  // 12 points at 96 dots per inch

void BM_GlyphsScanConverter(benchmark::State& state) {
  COffscreenBitmap bitmap;
  bitmap.CreateDepth(32, nullptr, 32, 32, false);
  CScanConverter cv(&bitmap, nullptr, nullptr, 1);
  Matrix2x3 m;
  Fixed scale = FixedDiv(kPixels, 2048);
  MatrixSetScale(m, scale, scale);
  m.tx = 4;
  m.ty = 20;
  FillStyle fill;
  fill.colour = 0xFF000000;
  CGlyphScanConsumer consumer(cv, fill);
  CTextStyle style;
  CGlyphOutliner o;
  o.SelectFont(style, 2048);
  o.m_sink.m_consumer = &consumer;
  for (auto _ : state) {
    for (int i = 0; i < kGlyphs; ++i) {
      cv.Clear(0xFFFFFF);
      cv.SetMatrix(m, nullptr);
      o.OutlineGlyph(static_cast<uint16_t>('!' + i % 94));
      cv.Render();
      cv.ResetInput();
    }
  }
  state.SetItemsProcessed(state.iterations() * kGlyphs);
}
BENCHMARK(BM_GlyphsScanConverter)->Unit(benchmark::kMillisecond);

// The peer: FreeType loads, outlines and renders each glyph itself.
void BM_GlyphsFreeType(benchmark::State& state) {
  FT_Library lib;
  FT_Init_FreeType(&lib);
  FT_Face face;
  FT_New_Face(lib, "/usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf", 0, &face);
  FT_Set_Pixel_Sizes(face, 0, kPixels);
  for (auto _ : state) {
    for (int i = 0; i < kGlyphs; ++i) {
      FT_Load_Char(face, static_cast<FT_ULong>('!' + i % 94), FT_LOAD_NO_HINTING | FT_LOAD_RENDER);
      benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
    }
  }
  state.SetItemsProcessed(state.iterations() * kGlyphs);
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
}
BENCHMARK(BM_GlyphsFreeType)->Unit(benchmark::kMillisecond);

}  // namespace
