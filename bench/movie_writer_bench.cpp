// The movie writer's shape records: a grid of filled, outlined squares
// written into a memory file (bit packing, buffering and the chain walk).
// Fixed input; bytes per second reported.
#include <benchmark/benchmark.h>

#include "bench/bench_check.h"
#include "geometry/curve.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_cleanup.h"
#include "geometry/edge_graph_insert.h"
#include "movie/movie_writer.h"
#include "platform/core/file.h"

namespace {

// n x n squares of 200 twips, alternately filled with two colours, lined.
void BuildGrid(EdgeGraph& graph, int n) {
  FillStyle a, b;
  a.colour = 0xFF2040C0;
  b.colour = 0xFFC04020;
  Must(EdgeGraphAddFillStyle(graph, a));
  Must(EdgeGraphAddFillStyle(graph, b));
  LineStyle line;
  line.colour = 0xFF000000;
  line.width = 20;
  Must(EdgeGraphAddLineStyle(graph, line));
  auto fill_at = [n](int i, int j) -> StyleIndex {
    return (i < 0 || j < 0 || i >= n || j >= n) ? 0 : static_cast<StyleIndex>(1 + ((i + j) & 1));
  };
  auto add = [&](Point32 p, Point32 q, StyleIndex left, StyleIndex right) {
    QuadCurve c;
    CurveFromLine({p.x << 8, p.y << 8}, {q.x << 8, q.y << 8}, c);
    Edge* e = nullptr;
    if (EdgeGraphNewEdge(c, &e) < 0) return;
    e->line = 1;
    e->a.fill = left;
    e->b.fill = right;
    Must(EdgeGraphInsertEdge(graph, e, 0, 3));
  };
  for (int i = 0; i <= n; ++i)
    for (int j = 0; j < n; ++j) {
      // Vertical edge x = i, from y = j to j + 1: left is cell (i - 1, j).
      add({i * 200, j * 200}, {i * 200, (j + 1) * 200}, fill_at(i - 1, j), fill_at(i, j));
      // Horizontal edge y = i, from x = j to j + 1: left is cell (j, i).
      add({j * 200, i * 200}, {(j + 1) * 200, i * 200}, fill_at(j, i), fill_at(j, i - 1));
    }
  Must(EdgeGraphCleanup(graph));
}

void BM_WriteShape(benchmark::State& state) {
  EdgeGraph graph;
  Must(EdgeGraphInit(graph));
  BuildGrid(graph, static_cast<int>(state.range(0)));
  int64_t bytes = 0;
  for (auto _ : state) {
    CMemFile file(1 << 16);
    CMovieWriter w(&file);
    w.WriteShape(1, graph);
    w.Flush();
    bytes += static_cast<int64_t>(file.GetLength());
  }
  state.SetBytesProcessed(bytes);
  EdgeGraphFreeAll(graph);
}
BENCHMARK(BM_WriteShape)->Arg(8)->Arg(32);

}  // namespace
