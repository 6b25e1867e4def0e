// The drawing view at 1920 x 1080 on one core, on Qt's offscreen platform:
//   Scroll/N       scrolling a page of 500 shapes by N pixels and painting
//                  (the bitmap's pixels move; only the uncovered strip is
//                  drawn), against
//   FullRepaint    drawing the whole window of that page;
//   GoToFrame      stepping through 100 frames of 30 layers of which one is
//                  animated (a motion tween), immediately, against
//   FullRepaintAnimated  drawing that page whole.
// The table after the runs gives each in ms, its ratio to its full repaint,
// and its share of the frame time at 12 and 30 frames per second.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_check.h"
#include "bench/bench_table.h"
#include "bench/bench_view_window.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/edit_transaction.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "view/marl_view.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kBar = 16;
constexpr int kTwips = 15;  // twips per pixel at 100 % on a 96-dpi screen
constexpr int kShapes = 500;
constexpr int kLayers = 30;
constexpr int kFrames = 100;

// An ellipse filled with a colour and outlined 2 pixels wide, in pixels.
CPicShape* Ellipse(std::mt19937& rng, int width, int height) {
  std::uniform_int_distribution<int> x(0, width), y(0, height), r(20, 120);
  const int cx = x(rng), cy = y(rng), rx = r(rng), ry = r(rng);
  auto* shape = new CPicShape;
  EdgeGraph& g = shape->GetGeometry();
  FillStyle fill;
  fill.colour = 0xFF000000u | (static_cast<uint32_t>(rng()) & 0xFFFFFF);
  LineStyle line;
  line.colour = 0xFF000000u;
  line.width = 2 * kTwips;
  const auto f = static_cast<StyleIndex>(Must(EdgeGraphAddFillStyle(g, fill)));
  const auto l = static_cast<StyleIndex>(Must(EdgeGraphAddLineStyle(g, line)));
  PointList path;
  Must(PathFromEllipse(
      path, {(cx - rx) * kTwips, (cx + rx) * kTwips, (cy - ry) * kTwips, (cy + ry) * kTwips}));
  Must(EdgeGraphAddPath(g, path, l, f, f));
  return shape;
}

// A document window: a frame and the view filling it.
struct Window {
  CWnd frame;
  CMarlView view;
  CMarlDoc doc;
  CDocumentPage* page = nullptr;

  // Layer lengths and what goes in: layers of static shapes, and with
  // animated, one more layer whose shape moves over the frames.
  Window(int layers, bool animated, Point32 movie) {
    doc.m_movieRect = Rect32{0, movie.x * kTwips, 0, movie.y * kTwips};
    page = new CDocumentPage;
    page->InitForDocument(&doc, false);
    doc.AppendPage(page, false);
    CPicPage* root = page->GetRoot();
    std::mt19937 rng(26);
    MustBeTrue(CEditTransaction::Run(*page, CDocumentPage::kEditNoUndo, [&] {
      while (root->GetFirstChild() != nullptr) root->GetFirstChild()->DeleteFromParent();
      for (int i = 0; i < layers; ++i) {
        auto* layer = new CPicLayer;
        CPicFrame* key = layer->AddKeyFrame();
        key->SetFrameStyle(0);
        key->SetLength(animated ? kFrames : 1);
        const int count = kShapes / layers + (i < kShapes % layers ? 1 : 0);
        for (int s = 0; s < count; ++s) key->AddChild(Ellipse(rng, movie.x, movie.y));
        root->AddChild(layer);
      }
      if (animated) {
        auto* layer = new CPicLayer;
        CPicFrame* from = layer->AddKeyFrame();
        CPicFrame* to = layer->AddKeyFrame();
        from->SetLength(kFrames - 1);
        from->SetFrameStyle(CPicFrame::kTweenMotion);
        to->SetFrameStyle(0);
        from->AddChild(Ellipse(rng, 200, kHeight));
        CPicShape* end = Ellipse(rng, 200, kHeight);
        Matrix2x3 m;
        MatrixSetTranslation(m, 1600 * kTwips, 0);
        end->SetShapeMatrix(m);
        to->AddChild(end);
        root->AddChild(layer, CPicObj::kAddFirst);
      }
    }));
    CreateViewWindow(frame, view, kWidth + kBar, kHeight + kBar);
    view.State().SetDocument(&doc);
    MustBeTrue(view.SetEditContext(page));
    view.State().SetZoom(view.State().GetScreenPixelsPerTwip(), nullptr, 0);
    QApplication::processEvents();
    view.UpdateWindow();
  }
  ~Window() {
    view.DestroyWindow();
    frame.DestroyWindow();
  }
  void FullRepaint() {
    view.InvalidateDoc(nullptr);
    view.UpdateWindow();
  }
};

Window& StaticPage() {
  EnsureOffscreenApp();
  static Window* w = new Window(1, false, {2 * kWidth, 2 * kHeight});
  return *w;
}

Window& AnimatedPage() {
  EnsureOffscreenApp();
  static Window* w = new Window(kLayers - 1, true, {kWidth, kHeight});
  return *w;
}

void BM_Scroll(benchmark::State& state) {
  Window& w = StaticPage();
  const int step = static_cast<int>(state.range(0));
  int direction = 1;
  for (auto _ : state) {
    if (!w.view.OnScrollBy(CSize(0, direction * step), true)) {
      direction = -direction;
      w.view.OnScrollBy(CSize(0, direction * step), true);
    }
    w.view.UpdateWindow();
  }
}
BENCHMARK(BM_Scroll)->Name("Scroll")->Arg(1)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);

void BM_FullRepaint(benchmark::State& state) {
  Window& w = StaticPage();
  for (auto _ : state) w.FullRepaint();
}
BENCHMARK(BM_FullRepaint)->Name("FullRepaint")->Unit(benchmark::kMillisecond);

void BM_GoToFrame(benchmark::State& state) {
  Window& w = AnimatedPage();
  for (auto _ : state) w.view.GoToFrame((w.view.GetCurrentFrame() + 1) % kFrames, true);
}
BENCHMARK(BM_GoToFrame)->Name("GoToFrame")->Unit(benchmark::kMillisecond);

void BM_FullRepaintAnimated(benchmark::State& state) {
  Window& w = AnimatedPage();
  for (auto _ : state) w.FullRepaint();
}
BENCHMARK(BM_FullRepaintAnimated)->Name("FullRepaintAnimated")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  BestTimeReporter reporter;
  RunOnOneCore(argc, argv, reporter);
  std::printf("\n%-22s %9s %14s %10s %10s\n", "ms", "ms", "/ full repaint", "of 12 fps",
              "of 30 fps");
  const struct {
    const char* name;
    const char* full;
  } rows[] = {{"Scroll/1", "FullRepaint"},          {"Scroll/10", "FullRepaint"},
              {"Scroll/50", "FullRepaint"},         {"FullRepaint", "FullRepaint"},
              {"GoToFrame", "FullRepaintAnimated"}, {"FullRepaintAnimated", "FullRepaintAnimated"}};
  for (const auto& row : rows) {
    const double t = reporter.Ms(row.name), full = reporter.Ms(row.full);
    if (t <= 0 || full <= 0) continue;
    std::printf("%-22s %9.2f %14.3f %9.0f%% %9.0f%%\n", row.name, t, t / full,
                100 * t / (1000.0 / 12), 100 * t / (1000.0 / 30));
  }
  std::fflush(stdout);
  return 0;
}
