// The drawing view on a busy page: 2,000 objects of 25 edges each (50,000
// edges, half of them filled with gradients) in a 1920 x 1080 client.
//
// Hit testing: 1,000 probes at random points through the view's HitTest
// (the edited text, the walk, locked children, centre points, the frame's
// own drawing), against the model's own hit test of the key frame with the
// same tolerances (the peer), measured in the same run. The goal is under
// 1 ms a probe (budget_ratio below 1). The counters are processor time.
//
// Painting, in the view's window on Qt's offscreen platform: the page drawn
// and shown at view qualities 1, 2 and 3, at 100 % and 800 %, after the
// whole window or a quarter of it was invalidated, against the 16.7 ms of
// one frame at 60 frames per second.
//
// Drag feedback: the arrow tool's move of 500 selected objects over 200
// mouse steps, each step the outlines of the selection at the new offset
// XORed onto the window, in ms per step against the same budget, with a
// full repaint at quality 1 and 100 % as the peer (what redrawing the
// window each step would cost instead).
//
// The table after the runs gives the best time of each case (wall time:
// the view's drawing and blits run on this thread only).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>
#include <vector>

#include "bench/bench_check.h"
#include "bench/bench_table.h"
#include "bench/bench_view_host.h"
#include "bench/bench_view_window.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_update.h"
#include "geometry/point_list.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/edit_transaction.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "render/context/render_context.h"
#include "view/core/assistant_settings.h"
#include "view/core/view_state.h"
#include "view/marl_view.h"

namespace {

constexpr int kObjects = 2000;
constexpr int kEdgesPerObject = 25;
constexpr int kProbes = 1000;
constexpr double kBudgetMs = 1.0;
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kBar = 16;
constexpr double kFrameBudgetMs = 1000.0 / 60;
constexpr int kSelected = 500;
constexpr int kSteps = 200;

// A closed polygon of kEdgesPerObject straight edges, filled (a gradient
// for every other object) and outlined.
void AddPolygon(CPicShape& shape, Point32 centre, int32_t radius, bool gradient) {
  EdgeGraph& g = shape.GetGeometry();
  FillStyle fill;
  fill.colour = 0xFF3060C0;
  if (gradient) {
    fill.kind = 0x10;
    fill.gradient.count = 2;
    fill.gradient.ratios[1] = 255;
    fill.gradient.colours[0] = 0xFF000000;
    fill.gradient.colours[1] = 0xFFFFFFFF;
    fill.matrix =
        Matrix2x3{FixedDiv(radius, 0x4000), 0, 0, FixedDiv(radius, 0x4000), centre.x, centre.y};
  }
  LineStyle line;
  line.colour = 0xFF000000;
  line.width = 20;
  auto f = static_cast<StyleIndex>(Must(EdgeGraphAddFillStyle(g, fill)));
  auto l = static_cast<StyleIndex>(Must(EdgeGraphAddLineStyle(g, line)));
  PointList path;
  for (int i = 0; i <= kEdgesPerObject; ++i) {
    const double a = 2 * M_PI * (i % kEdgesPerObject) / kEdgesPerObject;
    Point32 p{centre.x + static_cast<int32_t>(std::lround(radius * std::cos(a))),
              centre.y + static_cast<int32_t>(std::lround(radius * std::sin(a)))};
    Must(PointListAppend(path, p, 0));
  }
  Must(EdgeGraphAddPath(g, path, l, f, 0));
  Must(EdgeGraphUpdate(g));
}

// The page of a new document: kObjects polygons at random places on a
// 7.5 x 10 inch page. Returns the number of edges.
int64_t FillBusyPage(CMarlDoc& doc, CDocumentPage* page) {
  page->InitForDocument(&doc, false);
  doc.AppendPage(page, false);
  doc.m_movieRect = Rect32{0, 10800, 0, 14400};
  CPicFrame* frame = page->GetRoot()->GetFirstLayer()->GetFirstFrame();
  std::mt19937 random(29);
  std::uniform_int_distribution<int32_t> x(0, 10800), y(0, 14400), r(100, 400);
  int64_t edges = 0;
  for (int i = 0; i < kObjects; ++i) {
    auto* shape = new CPicShape;
    AddPolygon(*shape, Point32{x(random), y(random)}, r(random), i % 2 == 1);
    edges += shape->GetGeometry().edge_count;
    frame->AddChild(shape);
  }
  page->GetRoot()->RecalcAndNotify(nullptr);
  return edges;
}

struct BusyPage {
  CMarlDoc doc;
  CDocumentPage* page = new CDocumentPage;
  BenchViewHost host;
  std::unique_ptr<ViewState> view;
  std::vector<Point32> probes;
  int64_t edges = 0;

  BusyPage() {
    edges = FillBusyPage(doc, page);
    std::mt19937 random(30);
    std::uniform_int_distribution<int32_t> x(0, 10800), y(0, 14400);
    for (int i = 0; i < kProbes; ++i) probes.push_back(Point32{x(random), y(random)});
    view = std::make_unique<ViewState>(host);
    view->SetDocument(&doc);
    MustBeTrue(view->SetEditContext(page));
    view->SetZoom(view->GetScreenPixelsPerTwip(), nullptr, 0);
  }
  ~BusyPage() { view.reset(); }
};

BusyPage& Page() {
  static BusyPage page;
  return page;
}

// Processor time of this thread: the machine the benchmarks run on is
// shared, and wall time counts the other programs too.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_ViewHitTest(benchmark::State& state) {
  BusyPage& p = Page();
  CPicFrame* frame = p.page->GetRoot()->GetFirstLayer()->GetFirstFrame();
  const CAssistantSettings& a = AssistantSettings();
  CHitTest probe;
  probe.distance1 = p.view->GetPickUnit() * a.tap_tolerances[0];
  probe.distance2 = p.view->GetPickUnit() * a.tap_tolerances[1];
  double ours = 0, peer = 0;
  int64_t hits = 0, peerHits = 0, rounds = 0;
  for (auto _ : state) {
    double start = CpuSeconds();
    for (const Point32& point : p.probes) {
      ViewHitRecord hit;
      hit.point = point;
      hits += p.view->HitTest(hit) ? 1 : 0;
    }
    ours += CpuSeconds() - start;
    state.PauseTiming();
    start = CpuSeconds();
    for (const Point32& point : p.probes) {
      probe.point = point;
      peerHits += frame->HitTest(probe) != 0 ? 1 : 0;
    }
    peer += CpuSeconds() - start;
    ++rounds;
    state.ResumeTiming();
  }
  const double calls = static_cast<double>(rounds) * kProbes;
  state.counters["objects"] = kObjects;
  state.counters["edges"] = static_cast<double>(p.edges);
  state.counters["hit_share"] = static_cast<double>(hits) / calls;
  state.counters["peer_hit_share"] = static_cast<double>(peerHits) / calls;
  state.counters["ms_per_hit"] = ours * 1000 / calls;
  state.counters["peer_ms_per_hit"] = peer * 1000 / calls;
  state.counters["peer_ratio"] = ours / peer;
  state.counters["budget_ratio"] = ours * 1000 / calls / kBudgetMs;
}
BENCHMARK(BM_ViewHitTest)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// ---- painting and feedback in the view's window ------------------------------------------

// The busy page in a view window with a 1920 x 1080 client.
struct Window {
  CWnd frame;
  CMarlView view;
  CMarlDoc doc;
  CDocumentPage* page = new CDocumentPage;

  Window() {
    FillBusyPage(doc, page);
    CreateViewWindow(frame, view, kWidth + kBar, kHeight + kBar);
    view.State().SetDocument(&doc);
    MustBeTrue(view.SetEditContext(page));
    QApplication::processEvents();
    Show(1, 1);
  }
  ~Window() {
    view.DestroyWindow();
    frame.DestroyWindow();
  }
  // Quality q at z times 100 %, about the page's centre.
  void Show(int32_t quality, int32_t zoom) {
    view.State().view_quality = quality;
    const Point32 centre{5400, 7200};
    view.State().SetZoom(view.State().GetScreenPixelsPerTwip() * zoom, &centre, 0);
    view.InvalidateDoc(nullptr);
    view.UpdateWindow();
  }
};

Window& PaintWindow() {
  EnsureOffscreenApp();
  static Window* w = new Window;
  return *w;
}

// Args: quality, zoom factor, 1 for the whole window or 4 for a quarter.
void BM_Paint(benchmark::State& state) {
  Window& w = PaintWindow();
  w.Show(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
  const CRect quarter(kWidth / 4, kHeight / 4, kWidth * 3 / 4, kHeight * 3 / 4);
  for (auto _ : state) {
    w.view.InvalidateDoc(state.range(2) == 1 ? nullptr : &quarter);
    w.view.UpdateWindow();
  }
}
BENCHMARK(BM_Paint)
    ->Name("Paint")
    ->ArgNames({"quality", "zoom", "part"})
    ->ArgsProduct({{1, 2, 3}, {1, 8}, {1, 4}})
    ->Unit(benchmark::kMillisecond);

// The arrow tool's drag: the selection's outlines at the mouse offset, 200
// steps of 5 twips per iteration.
void BM_FeedbackMove(benchmark::State& state) {
  Window& w = PaintWindow();
  w.Show(1, 1);
  CPicFrame* frame = w.page->GetRoot()->GetFirstLayer()->GetFirstFrame();
  std::vector<CPicObj*> selected;
  MustBeTrue(CEditTransaction::Run(*w.page, CDocumentPage::kEditNoUndo, [&] {
    int i = 0;
    for (CPicObj* o = frame->GetFirstChild(); o != nullptr; o = o->GetNext(), ++i) {
      o->SetSelected(i % (kObjects / kSelected) == 0);
      if (o->IsSelected()) selected.push_back(o);
    }
  }));
  for (auto _ : state) {
    w.view.BeginFeedback();
    for (int step = 1; step <= kSteps; ++step) {
      w.view.BeginFeedbackFrame();
      CRenderContext* rc = w.view.GetFeedbackContext();
      Matrix2x3 offset;
      MatrixSetTranslation(offset, step * 5, step * 3);
      rc->ConcatMatrix(offset);
      for (CPicObj* o : selected) o->Draw(*rc);
      w.view.EndFeedbackFrame();
    }
    w.view.EndFeedback();
  }
}
BENCHMARK(BM_FeedbackMove)->Name("FeedbackMove")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  BestTimeReporter reporter;
  RunOnOneCore(argc, argv, reporter);
  const double full = reporter.Ms("Paint/quality:1/zoom:1/part:1");
  std::printf("\n%-34s %9s %12s %14s\n", "case", "ms", "of 16.7 ms", "/ full q1 100%");
  for (const auto& [name, ms] : reporter.ms) {
    if (name.rfind("Paint", 0) != 0) continue;
    std::printf("%-34s %9.2f %11.0f%% %14.3f\n", name.c_str(), ms, 100 * ms / kFrameBudgetMs,
                full > 0 ? ms / full : 0.0);
  }
  const double move = reporter.Ms("FeedbackMove") / kSteps;
  if (move > 0) {
    std::printf("%-34s %9.3f %11.0f%% %14.3f\n", "FeedbackMove (per step)", move,
                100 * move / kFrameBudgetMs, full > 0 ? move / full : 0.0);
  }
  std::fflush(stdout);
  return 0;
}
