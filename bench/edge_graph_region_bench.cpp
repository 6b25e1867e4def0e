// Regions, merging, hit testing and transforming of large edge graphs.
//
// - A 300-curve pencil stroke merged into a 20,000-edge shape and the shape
//   tidied (EdgeGraphMerge + EdgeGraphUpdate): within one frame at 60 Hz
//   (16 ms).
// - Regions built from scratch on 20,000 edges nested 10,000 levels deep
//   (under 100 ms; plain:1 searches every region's place from the top, the
//   build that plain:0 replaces),
//   and on a flat 20,200-edge checkerboard (no slower than the plain build).
// - Hit probes on a 50,000-edge shape, against a plain scan of every edge
//   (the grid must win by more than 10 times: compare probes_per_s).
// - A 1-degree rotation of a 20,000-edge shape (transform and reinsertion).
// Fixed seeds and shapes: every run measures the same work.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "bench/bench_check.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_select.h"
#include "geometry/edge_graph_transform.h"
#include "geometry/edge_graph_update.h"

namespace {

constexpr int32_t G(double twips) {
  return static_cast<int32_t>(twips * 256);
}

void AddStyles(EdgeGraph& g) {
  for (int i = 1; i <= 2; ++i) {
    FillStyle f;
    f.colour = 0xFF000000u + static_cast<uint32_t>(i);
    Must(EdgeGraphAddFillStyle(g, f));
    LineStyle l;
    l.colour = 0xFF000000u + static_cast<uint32_t>(i);
    l.width = static_cast<int16_t>(20 * i);
    Must(EdgeGraphAddLineStyle(g, l));
  }
}

void LinkLine(EdgeGraph& g, double x0, double y0, double x1, double y1, StyleIndex line,
              StyleIndex a, StyleIndex b) {
  QuadCurve c;
  CurveFromLine({G(x0), G(y0)}, {G(x1), G(y1)}, c);
  Edge* e = nullptr;
  Must(EdgeGraphNewEdge(c, &e));
  e->line = line;
  e->a.fill = a;
  e->b.fill = b;
  Must(EdgeGraphLinkEdge(g, e));
}

// An n x n checkerboard of cells `size` twips wide with lines between them:
// 2n(n+1) edges, each linked directly (they only meet at their ends).
void Checkerboard(EdgeGraph& g, int n, double size) {
  Must(EdgeGraphInit(g));
  AddStyles(g);
  auto fill = [n](int i, int j) -> StyleIndex {
    if (i < 0 || j < 0 || i >= n || j >= n) return 0;
    return static_cast<StyleIndex>(1 + ((i + j) & 1));
  };
  for (int i = 0; i <= n; ++i)
    for (int j = 0; j < n; ++j) {
      // Vertical edge at x = i going up: its right side is cell (i, j).
      LinkLine(g, i * size, j * size, i * size, (j + 1) * size, 1, fill(i, j), fill(i - 1, j));
      // Horizontal edge at y = i going right: its right side is cell (j, i - 1).
      LinkLine(g, j * size, i * size, (j + 1) * size, i * size, 1, fill(j, i - 1), fill(j, i));
    }
  Must(EdgeGraphUpdate(g));
}

// A copy of the shape with its regions built, as it is after the last edit.
void Fresh(EdgeGraph& from, EdgeGraph& to) {
  Must(EdgeGraphInit(to));
  Must(EdgeGraphMerge(from, to, 3));
  Must(EdgeGraphUpdate(to));
  Must(EdgeGraphBuildRegions(to));
  Rect32 out;
  EdgeGraphEndChange(to, out);
}

// The measured work, out of line so that profilers can single it out.
[[gnu::noinline]] void MergeAndUpdate(EdgeGraph& stroke, EdgeGraph& target) {
  Must(EdgeGraphMerge(stroke, target, 3));
  Must(EdgeGraphUpdate(target));
}

void BM_MergeStroke(benchmark::State& state) {
  EdgeGraph base;
  Checkerboard(base, 100, 60);  // 20,200 edges over 6,000 twips
  EdgeGraph stroke;
  Must(EdgeGraphInit(stroke));
  AddStyles(stroke);
  // 300 curves of a wavy pencil line across the middle of the board.
  Point32 at{G(1000), G(3000)};
  for (int i = 1; i <= 300; ++i) {
    const double x = 1000 + i * 13.0;
    const Point32 to{G(x), G(3000 + 400 * std::sin(i * 0.05))};
    const Point32 control{(at.x + to.x) / 2, G(3000 + 400 * std::sin((i - 0.5) * 0.05) + 3)};
    QuadCurve c;
    CurveSet(at, control, to, c);
    Edge* e = nullptr;
    Must(EdgeGraphNewEdge(c, &e));
    e->line = 2;
    Must(EdgeGraphInsertEdge(stroke, e, 0, 3));
    at = to;
  }
  EdgeGraph target;
  for (auto _ : state) {
    state.PauseTiming();
    Fresh(base, target);
    state.ResumeTiming();
    MergeAndUpdate(stroke, target);
  }
  state.counters["edges"] = static_cast<double>(target.edge_count);
  state.counters["stroke_edges"] = static_cast<double>(stroke.edge_count);
}
BENCHMARK(BM_MergeStroke)->Unit(benchmark::kMillisecond);

void BM_BuildNestedRegions(benchmark::State& state) {
  // 5,000 concentric squares, fills alternating: 20,000 edges, regions
  // nested 10,000 deep.
  EdgeGraph base;
  Must(EdgeGraphInit(base));
  AddStyles(base);
  for (int i = 0; i < 5000; ++i) {
    const double lo = i * 1.0, hi = 12000 - i * 1.0;
    const StyleIndex in = (i & 1) ? 0 : 1, out = (i & 1) ? 1 : 0;
    LinkLine(base, lo, lo, lo, hi, 1, in, out);
    LinkLine(base, lo, hi, hi, hi, 1, in, out);
    LinkLine(base, hi, hi, hi, lo, 1, in, out);
    LinkLine(base, hi, lo, lo, lo, 1, in, out);
  }
  EdgeGraph g;
  size_t regions = 0;
  const int mode =
      EdgeGraphSetRegionStartMode(state.range(0) ? kRegionStartFromTop : kRegionStartBySize);
  for (auto _ : state) {
    state.PauseTiming();
    Must(EdgeGraphInit(g));
    Must(EdgeGraphMerge(base, g, 3));
    state.ResumeTiming();
    Must(EdgeGraphBuildRegions(g));
    state.PauseTiming();
    regions = 0;
    RegionIter it;
    Must(RegionIterInit(it, g));
    while (RegionIterNext(it)) ++regions;
    state.ResumeTiming();
  }
  EdgeGraphSetRegionStartMode(mode);
  state.counters["edges"] = static_cast<double>(g.edge_count);
  state.counters["regions"] = static_cast<double>(regions);
}
BENCHMARK(BM_BuildNestedRegions)->ArgName("plain")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_BuildFlatRegions(benchmark::State& state) {
  // A flat drawing: the 100 x 100 checkerboard's 10,001 regions side by
  // side, built from scratch.
  EdgeGraph base;
  Checkerboard(base, 100, 60);
  EdgeGraph g;
  for (auto _ : state) {
    state.PauseTiming();
    Must(EdgeGraphInit(g));
    Must(EdgeGraphMerge(base, g, 3));
    state.ResumeTiming();
    Must(EdgeGraphBuildRegions(g));
  }
  state.counters["edges"] = static_cast<double>(g.edge_count);
}
BENCHMARK(BM_BuildFlatRegions)->Unit(benchmark::kMillisecond);

std::vector<Point32> Probes(int n, double extent) {
  std::mt19937 rng(10000);
  std::uniform_real_distribution<double> coord(0, extent);
  std::vector<Point32> probes;
  for (int i = 0; i < n; ++i)
    probes.push_back({static_cast<int32_t>(coord(rng)), static_cast<int32_t>(coord(rng))});
  return probes;
}

EdgeGraph& HitShape() {
  static EdgeGraph* g = [] {
    auto* shape = new EdgeGraph;
    Checkerboard(*shape, 158, 40);  // 50,244 edges over 6,320 twips
    Must(EdgeGraphBuildRegions(*shape));
    return shape;
  }();
  return *g;
}

void BM_HitTestGrid(benchmark::State& state) {
  EdgeGraph& g = HitShape();
  const std::vector<Point32> probes = Probes(10000, 6320);
  int64_t hits = 0;
  for (auto _ : state)
    for (const Point32& p : probes) {
      EdgeHitRecord hit;
      hit.point = p;
      hit.radius = 3;
      Must(EdgeGraphHitTest(g, hit));
      hits += hit.edge != nullptr;
    }
  state.counters["edges"] = static_cast<double>(g.edge_count);
  state.counters["probes_per_s"] = benchmark::Counter(
      static_cast<double>(probes.size()), benchmark::Counter::kIsIterationInvariantRate);
  benchmark::DoNotOptimize(hits);
}
BENCHMARK(BM_HitTestGrid)->Unit(benchmark::kMillisecond);

// The same probes answered by testing every edge (and looking up the region
// under the point, as the hit test does).
void BM_HitTestLinearScan(benchmark::State& state) {
  EdgeGraph& g = HitShape();
  std::vector<const Edge*> edges;
  EdgeGraphForEachEdge(g, nullptr, [&](const Edge* e) { edges.push_back(e); });
  const std::vector<Point32> probes = Probes(100, 6320);
  int64_t hits = 0;
  for (auto _ : state)
    for (const Point32& p : probes) {
      const Point32 q{p.x * 256, p.y * 256};
      int32_t best = 3 * 256;
      const Edge* found = nullptr;
      for (const Edge* e : edges) {
        Point32 near;
        if (CurveNearestPoint(e->curve, q, best, &near) < 0) continue;
        best = PointDistance(near, q);
        found = e;
      }
      hits += found != nullptr;
      benchmark::DoNotOptimize(EdgeGraphFindRegion(g, q));
    }
  state.counters["probes_per_s"] = benchmark::Counter(
      static_cast<double>(probes.size()), benchmark::Counter::kIsIterationInvariantRate);
  benchmark::DoNotOptimize(hits);
}
BENCHMARK(BM_HitTestLinearScan)->Unit(benchmark::kMillisecond);

void BM_RotateOneDegree(benchmark::State& state) {
  EdgeGraph base;
  Checkerboard(base, 100, 60);
  Matrix2x3 m;
  MatrixSetRotation(m, kFixedOne);
  EdgeGraph target;
  for (auto _ : state) {
    state.PauseTiming();
    Fresh(base, target);
    state.ResumeTiming();
    Must(EdgeGraphTransform(target, m));
    Must(EdgeGraphUpdate(target));
  }
  state.counters["edges"] = static_cast<double>(target.edge_count);
}
BENCHMARK(BM_RotateOneDegree)->Unit(benchmark::kMillisecond);

}  // namespace
