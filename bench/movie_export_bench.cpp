// The movie export of a whole document against drawing the same frames
// through the bitmap render context. The document: one page of F frames
// with E elements in every frame: E - 13 shapes moving on tweens (each on a
// layer of its own, so every shape changes every frame), three texts of 150
// glyphs in three fonts and ten bitmaps. Doubling F or E should double the
// time (the counter us_per_element_frame stays flat). Fixed input; every
// movie written stays in the build tree.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <chrono>
#include <map>
#include <memory>

#include "bench/bench_check.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/edit_transaction.h"
#include "model/pic_bitmap.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "model/pic_text.h"
#include "movie/export/movie_exporter.h"
#include "render/gdi/bitmap_render_context.h"
#include "render/raster/offscreen_bitmap.h"
#include "tests/common/test_fonts.h"

namespace {

constexpr int32_t kStage = 4000;  // twips square; 200 pixels at 100 %

void EnsureGui() {
  static QGuiApplication* app = nullptr;
  if (app) return;
  test_fonts::InstallTestFonts();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "movie_export_bench";
  static char* argv[] = {name, nullptr};
  app = new QGuiApplication(argc, argv);
}

CPicShape* Square(int32_t x, int32_t y, int32_t size, uint32_t colour) {
  auto* shape = new CPicShape;
  EdgeGraph& g = shape->GetGeometry();
  FillStyle fill;
  fill.colour = colour;
  LineStyle line;
  line.colour = 0xFF000000;
  line.width = 20;
  const int fi = Must(EdgeGraphAddFillStyle(g, fill));
  const int li = Must(EdgeGraphAddLineStyle(g, line));
  PointList path;
  Must(PathFromRect(path, {x, x + size, y, y + size}));
  Must(EdgeGraphAddPath(g, path, static_cast<StyleIndex>(li), 0, static_cast<StyleIndex>(fi)));
  Must(EdgeGraphUpdate(g));
  shape->InvalidateBounds();
  return shape;
}

struct Document {
  CMarlDoc doc;
  CDocumentPage* page = nullptr;
};

std::unique_ptr<Document> Build(int32_t frames, int32_t elements) {
  auto d = std::make_unique<Document>();
  d->doc.SetMovieRect({0, kStage, 0, kStage});
  d->page = new CDocumentPage;
  d->page->InitForDocument(&d->doc, false);
  d->doc.AppendPage(d->page, false);
  CPicPage* root = d->page->GetRoot();
  const bool ok = CEditTransaction::Run(*d->page, CDocumentPage::kEditUser, [&] {
    CPicLayer* still = root->GetFirstLayer();
    still->InsertFrames(1, frames - 1);
    // Three texts of 150 characters in three fonts, ten bitmaps.
    const char* faces[] = {"Times New Roman", "Arial", "DejaVu Sans"};
    for (int i = 0; i < 3; ++i) {
      auto* t = new CPicText;
      still->GetFirstFrame()->AddChild(t);
      t->SetTextFlags(1);
      std::string s;
      for (int c = 0; c < 150; ++c) {
        s.push_back(static_cast<char>(33 + c));
        if (c % 30 == 29) s.push_back('\r');
      }
      t->SetText(s);
      CTextStyle style;
      std::snprintf(style.faceName, sizeof style.faceName, "%s", faces[i]);
      style.size = 160;
      t->ApplyStyle(style, CTextStyle::kMaskFace | CTextStyle::kMaskSize, 0);
      Matrix2x3 m;
      MatrixSetTranslation(m, 100, 200 + 1200 * i);
      t->Transform(m);
    }
    for (int i = 0; i < 10; ++i) {
      auto* b = new CPicBitmap;
      CImageRef& image = b->GetImage();
      ColorTable table;
      table.count = 2;
      table.entries[1] = PackRgb(static_cast<uint8_t>(20 * i), 90, 200);
      MustBeTrue(image.Create(kDib8Bit, 48, 48, &table));
      for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) image.Bits()[y * image.Stride() + x] = ((x ^ y) >> 3) & 1;
      image.bounds = {0, 400, 0, 400};
      still->GetFirstFrame()->AddChild(b);
      Matrix2x3 m;
      MatrixSetTranslation(m, 3000, 380 * i);
      b->Transform(m);
    }
    // The moving shapes.
    for (int32_t i = 0; i < elements - 13; ++i) {
      CPicLayer* layer = root->AddLayer();
      if (frames > 1) layer->SplitFrameAt(frames - 1, false);
      const int32_t x = 40 * (i % 60), y = 60 * (i / 60);
      const uint32_t colour = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u & 0xFFFFFF);
      CPicFrame* first = layer->GetFirstFrame();
      first->AddChild(Square(x, y, 300, colour));
      if (frames > 1) {
        first->SetFrameStyle(CPicFrame::kTweenMotion | CPicFrame::kNewTween);
        CPicShape* end = Square(x, y, 300, colour);
        Matrix2x3 m;
        MatrixSetTranslation(m, 700, 900);
        end->SetShapeMatrix(m);
        layer->GetLastFrame()->AddChild(end);
      }
    }
  });
  MustBeTrue(ok);
  return d;
}

Document& Cached(int32_t frames, int32_t elements) {
  static std::map<std::pair<int32_t, int32_t>, std::unique_ptr<Document>> cache;
  auto& d = cache[{frames, elements}];
  if (!d) d = Build(frames, elements);
  return *d;
}

// The same frames drawn through the bitmap render context at 100 %.
double DrawMilliseconds(Document& d, int32_t frames) {
  COffscreenBitmap bitmap;
  MustBeTrue(bitmap.CreateDepth(32, nullptr, kStage / 20, kStage / 20, false));
  const auto start = std::chrono::steady_clock::now();
  for (int32_t f = 0; f < frames; ++f) {
    CBitmapRenderContext rc(&bitmap, 0);
    rc.FillRectColor(0xFFFFFF);
    Matrix2x3 m;
    MatrixSetScale(m, FixedDiv(1, 20), FixedDiv(1, 20));
    rc.SetMatrix(m);
    rc.m_currentFrame = f;
    d.page->GetRoot()->Draw(rc);
    rc.Flush();
  }
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

void BM_MovieExport(benchmark::State& state) {
  EnsureGui();
  const int32_t frames = static_cast<int32_t>(state.range(0));
  const int32_t elements = static_cast<int32_t>(state.range(1));
  Document& d = Cached(frames, elements);
  const std::string path = std::string(VM_BENCH_OUTPUT_DIR) + "/movie_export_" +
                           std::to_string(frames) + "x" + std::to_string(elements) + ".vmp";
  double exportMs = 0;
  int64_t runs = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    CMovieExporter exporter;
    exporter.SetTarget(path, &d.doc, CExporter::kOptionMovie);
    MustBeTrue(exporter.ExportSequence() == 1);
    exportMs +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    ++runs;
  }
  const double drawMs = DrawMilliseconds(d, frames);
  const double perRun = exportMs / static_cast<double>(runs);
  state.counters["export_ms"] = perRun;
  state.counters["draw_ms"] = drawMs;
  state.counters["export_per_draw"] = perRun / drawMs;
  state.counters["us_per_element_frame"] = perRun * 1000.0 / (double(frames) * elements);
}
BENCHMARK(BM_MovieExport)
    ->Args({250, 150})
    ->Args({500, 150})
    ->Args({250, 300})
    ->Args({500, 300})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace
