// The drawing view's input on busy pages, without a window.
//
// Typing: 1,000 queued characters typed into a 10,000-character text in
// batches of at most 99 bytes, each an edit transaction of kind 257 (as the
// view inserts them), in ms per batch against the 16 ms of one screen
// frame; the peer is the same insertions straight into the text engine,
// with no transaction.
//
// Mouse moves over a page of 2,000 objects at 100 %: the handles of the
// selection, the view's hit test (what the arrow tool's cursor needs) and
// the cursor decision, in ms per move against 1 ms; the peer is the hit
// test alone. The table after the runs gives both and their ratios.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_check.h"
#include "bench/bench_table.h"
#include "bench/bench_view_host.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_update.h"
#include "geometry/point_list.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_shape.h"
#include "model/pic_text.h"
#include "tests/common/test_fonts.h"
#include "view/core/assistant_settings.h"
#include "view/core/handle_drag.h"
#include "view/core/view_input.h"
#include "view/core/view_state.h"

namespace {

const bool kFonts = (test_fonts::InstallTestFonts(), true);

constexpr int32_t kTextChars = 10000;
constexpr int kTyped = 1000;
constexpr int kObjects = 2000;
constexpr int kMoves = 1000;
constexpr double kFrameMs = 16.0;
constexpr double kMoveBudgetMs = 1.0;

struct BusyPage {
  CMarlDoc doc;
  CDocumentPage* page = new CDocumentPage;
  BenchViewHost host;
  std::unique_ptr<ViewState> view;
  CPicText* text = nullptr;
  std::vector<Point32> moves;

  BusyPage() {
    page->InitForDocument(&doc, false);
    doc.AppendPage(page, false);
    doc.m_movieRect = Rect32{0, 10800, 0, 14400};
    CPicFrame* frame = page->GetRoot()->GetFirstLayer()->GetFirstFrame();
    std::mt19937 random(30);
    std::uniform_int_distribution<int32_t> x(0, 10800), y(0, 14400), r(40, 250);
    for (int i = 0; i < kObjects; ++i) {
      auto* shape = new CPicShape;
      EdgeGraph& s = shape->GetGeometry();
      LineStyle line;
      line.colour = 0xFF000000;
      line.width = 20;
      FillStyle fill;
      fill.colour = 0xFF20A040;
      const auto l = static_cast<StyleIndex>(Must(EdgeGraphAddLineStyle(s, line)));
      const auto f = static_cast<StyleIndex>(Must(EdgeGraphAddFillStyle(s, fill)));
      const int32_t half = r(random);
      PointList square;
      for (Point32 p : {Point32{-half, -half}, Point32{half, -half}, Point32{half, half},
                        Point32{-half, half}, Point32{-half, -half}})
        Must(PointListAppend(square, p, 0));
      Must(EdgeGraphAddPath(s, square, l, f, f));
      Must(EdgeGraphUpdate(s));
      Matrix2x3 place;
      MatrixSetTranslation(place, x(random), y(random));
      shape->SetShapeMatrix(place);
      shape->SetSelected(i % 50 == 0);
      frame->AddChild(shape);
    }
    text = new CPicText;
    text->SetWidth(9000);
    std::string s;
    for (int32_t i = 0; i < kTextChars; ++i)
      s.push_back(i % 6 == 5 ? ' ' : static_cast<char>('a' + i % 23));
    text->SetText(s);
    frame->AddChild(text);
    page->GetRoot()->RecalcAndNotify(nullptr);
    for (int i = 0; i < kMoves; ++i) moves.push_back({x(random), y(random)});
    view = std::make_unique<ViewState>(host);
    view->SetDocument(&doc);
    MustBeTrue(view->SetEditContext(page));
    view->SetZoom(view->GetScreenPixelsPerTwip(), nullptr, 0);
    view->SetHandleMode(kHandleScale);
  }
  ~BusyPage() { view.reset(); }
};

BusyPage& Page() {
  static BusyPage page;
  return page;
}

std::deque<uint16_t> Typed() {
  std::deque<uint16_t> q;
  for (int i = 0; i < kTyped; ++i) q.push_back(static_cast<uint16_t>('a' + i % 26));
  return q;
}

int64_t g_batches = 0;

// The queue typed at the middle of the text, batch by batch; the text is
// put back between runs (not timed).
template <bool kTransaction>
void BM_Typing(benchmark::State& state) {
  BusyPage& p = Page();
  int64_t batches = 0;
  for (auto _ : state) {
    state.PauseTiming();
    p.text->SetSelection(kTextChars / 2, kTextChars / 2);
    std::deque<uint16_t> queue = Typed();
    state.ResumeTiming();
    while (!queue.empty()) {
      const std::string batch = TakeTypingBatch(queue, 1252);
      if (kTransaction) {
        MustBeTrue(TypeIntoText(*p.page, *p.text, batch));
      } else {
        p.text->DeleteSelection();
        p.text->InsertString(batch);
        p.text->UpdateLayout();
      }
      ++batches;
    }
    state.PauseTiming();
    p.text->SetSelection(kTextChars / 2, kTextChars / 2 + kTyped);
    p.text->DeleteSelection();
    p.page->TrimUndo(0);
    state.ResumeTiming();
  }
  g_batches = batches / static_cast<int64_t>(state.iterations());
  state.counters["batches"] = static_cast<double>(g_batches);
}
BENCHMARK(BM_Typing<true>)->Name("TypingBatches")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Typing<false>)->Name("TextEngineInserts")->Unit(benchmark::kMillisecond);

// Every mouse move: the selection's handles, the hit test, the cursor.
template <bool kWhole>
void BM_Moves(benchmark::State& state) {
  BusyPage& p = Page();
  const int32_t tolerance = p.view->GetPickUnit() * AssistantSettings().tap_tolerances[2];
  int64_t hits = 0;
  for (auto _ : state) {
    for (const Point32& m : p.moves) {
      if (kWhole) {
        HandleHit handle;
        if (FindHandleAt(*p.view, m, tolerance, handle)) continue;
        CursorSituation s;
        s.in_work_area = RectContainsPoint(p.view->GetWorkArea(), m);
        if (DecideCursor(s) != CursorChoice::kCurrentTool) continue;
      }
      ViewHitRecord hit;
      hit.point = m;
      hits += p.view->HitTest(hit) ? 1 : 0;
    }
  }
  benchmark::DoNotOptimize(hits);
  state.counters["objects"] = kObjects;
  state.counters["hit_share"] =
      static_cast<double>(hits) /
      static_cast<double>(kMoves * static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_Moves<true>)->Name("MouseMoves")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Moves<false>)->Name("HitTestAlone")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  BestTimeReporter reporter;
  RunOnOneCore(argc, argv, reporter);
  const double batches = g_batches > 0 ? static_cast<double>(g_batches) : 1.0;
  const double typing = reporter.Ms("TypingBatches") / batches;
  const double engine = reporter.Ms("TextEngineInserts") / batches;
  const double move = reporter.Ms("MouseMoves") / kMoves;
  const double hit = reporter.Ms("HitTestAlone") / kMoves;
  std::printf("\n| work | ms each | against budget | peer | ms each | ratio |\n");
  std::printf("|---|---|---|---|---|---|\n");
  std::printf(
      "| typing batch (of %d chars into %d) | %.3f | %.3f of 16 ms | text engine alone | %.3f | "
      "%.2f |\n",
      kTyped, kTextChars, typing, typing / kFrameMs, engine, engine > 0 ? typing / engine : 0.0);
  std::printf("| mouse move (%d objects) | %.4f | %.3f of 1 ms | hit test alone | %.4f | %.2f |\n",
              kObjects, move, move / kMoveBudgetMs, hit, hit > 0 ? move / hit : 0.0);
  return 0;
}
