// Edge insertion: a hatch into an empty graph, and a stroke into a dense one.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "bench/bench_check.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"

namespace {

constexpr int32_t G(int32_t twips) {
  return twips * 256;
}

void InsertLine(EdgeGraph& graph, int32_t x0, int32_t y0, int32_t x1, int32_t y1, StyleIndex line) {
  QuadCurve c;
  CurveFromLine({G(x0), G(y0)}, {G(x1), G(y1)}, c);
  Edge* e = nullptr;
  if (EdgeGraphNewEdge(c, &e) < 0) return;
  e->line = line;
  Must(EdgeGraphInsertEdge(graph, e, 0, 3));
}

StyleIndex AddLine(EdgeGraph& graph) {
  LineStyle l;
  l.colour = 0xFF000000;
  l.width = 20;
  return static_cast<StyleIndex>(EdgeGraphAddLineStyle(graph, l));
}

// 2,000 parallel diagonal strokes, 5 twips apart, into an empty graph.
void BM_InsertHatch(benchmark::State& state) {
  for (auto _ : state) {
    auto graph = std::make_unique<EdgeGraph>();
    Must(EdgeGraphInit(*graph));
    const StyleIndex line = AddLine(*graph);
    for (int i = 0; i < 2000; ++i) InsertLine(*graph, 5 * i, 0, 5 * i + 3000, 3000, line);
    benchmark::DoNotOptimize(graph->edge_count);
    state.PauseTiming();
    graph.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * 2000);
}
BENCHMARK(BM_InsertHatch)->Unit(benchmark::kMillisecond);

// A lattice of 101 horizontal and 101 vertical lines (20,402 edges), then a
// wavy stroke of 300 curves across it.
void BM_InsertStrokeIntoDenseGraph(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto graph = std::make_unique<EdgeGraph>();
    Must(EdgeGraphInit(*graph));
    const StyleIndex line = AddLine(*graph);
    for (int i = 0; i <= 100; ++i) {
      InsertLine(*graph, 1000, 1000 + 100 * i, 11000, 1000 + 100 * i, line);
      InsertLine(*graph, 1000 + 100 * i, 1000, 1000 + 100 * i, 11000, line);
    }
    state.counters["edges before"] = graph->edge_count;
    const uint32_t stamp = EdgeGraphNextStamp();
    state.ResumeTiming();
    for (int i = 0; i < 300; ++i) {
      const double x0 = 1200 + 32.0 * i, x1 = x0 + 32;
      const double y0 = 6000 + 3000 * std::sin(i * 0.07),
                   y1 = 6000 + 3000 * std::sin((i + 1) * 0.07);
      QuadCurve c;
      CurveSet({G(static_cast<int32_t>(x0)), G(static_cast<int32_t>(y0))},
               {G(static_cast<int32_t>(x0 + 16)), G(static_cast<int32_t>((y0 + y1) / 2 + 400))},
               {G(static_cast<int32_t>(x1)), G(static_cast<int32_t>(y1))}, c);
      Edge* e = nullptr;
      if (EdgeGraphNewEdge(c, &e) < 0) break;
      e->line = line;
      Must(EdgeGraphInsertEdge(*graph, e, stamp, 3));
    }
    benchmark::DoNotOptimize(graph->edge_count);
    state.PauseTiming();
    state.counters["edges after"] = graph->edge_count;
    graph.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * 300);
}
BENCHMARK(BM_InsertStrokeIntoDenseGraph)->Unit(benchmark::kMillisecond);

}  // namespace
