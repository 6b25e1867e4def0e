// The Paint Bucket, the Lasso and the Pencil on busy drawings.
//
// - Gap closing at a large level (gap 160 twips) over 5,000 edges: 1,000
//   open squares, each with a mouth narrower than the gap. The target is
//   well under 1 s (the closing stops looking after 12 s); the peer is the
//   tidy-up the click runs after it on the same drawing (regions built
//   again, the closing edges that bound no fill dropped).
// - A 500-point lasso over 50,000 edges beside a rectangle selection of the
//   same area over the same drawing (both through the lasso selection).
// - A 5,000-sample pencil stroke from release to the merged drawing
//   (recognition, fitting, the temporary graph and the merge), against the
//   100 ms a stroke may take; the peer is the fitting alone.
//
// The table after the runs gives each figure, its budget ratio and the ratio
// to its peer.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_check.h"
#include "bench/bench_table.h"
#include "bench/bench_view_host.h"
#include "geometry/curve_fit.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_select.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "tests/common/edge_styles.h"
#include "view/core/assistant_settings.h"
#include "view/core/paint_bucket.h"
#include "view/core/pencil_stroke.h"
#include "view/core/view_state.h"

namespace {

constexpr int32_t kGapTwips = 160;

StyleIndex Hairline(EdgeGraph& g) {
  return static_cast<StyleIndex>(Must(EdgeGraphAddLineStyle(g, SolidLine(0xFF000000, 20))));
}

void AddPolyline(EdgeGraph& g, const std::vector<Point32>& points, StyleIndex line,
                 StyleIndex fill = 0) {
  PointList path;
  for (const Point32& p : points) Must(PointListAppend(path, p, 0));
  Must(EdgeGraphAddPath(g, path, line, 0, fill));
}

// 1,000 open squares of 400 twips in rows of 40, 5 edges each, mouths of 100.
void OpenSquares(EdgeGraph& g) {
  Must(EdgeGraphInit(g));
  const StyleIndex line = Hairline(g);
  for (int i = 0; i < 1000; ++i) {
    const int32_t x = (i % 40) * 600, y = (i / 40) * 600;
    AddPolyline(
        g, {{x + 150, y}, {x, y}, {x, y + 400}, {x + 400, y + 400}, {x + 400, y}, {x + 250, y}},
        line);
  }
  Must(EdgeGraphUpdate(g));
}

// The visible rectangle (graph units) holding every square.
constexpr Rect32 kEverywhere{-0x1FFFFFFF, 0x1FFFFFFF, -0x1FFFFFFF, 0x1FFFFFFF};

void CloseAll(EdgeGraph& g, GapClosingResult& r) {
  Must(CloseFillGaps(
      g, nullptr, kGapTwips * 256, kEverywhere, [] { return 0u; }, &r));
}

void BM_CloseFillGaps(benchmark::State& state) {
  int32_t segments = 0;
  for (auto _ : state) {
    state.PauseTiming();
    EdgeGraph g;
    OpenSquares(g);
    state.ResumeTiming();
    GapClosingResult r;
    CloseAll(g, r);
    segments = r.segments;
    state.PauseTiming();
    EdgeGraphFreeAll(g);
    state.ResumeTiming();
  }
  state.counters["segments"] = segments;
}
BENCHMARK(BM_CloseFillGaps)->Unit(benchmark::kMillisecond);

void BM_UpdateAfterClosing(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    EdgeGraph g;
    OpenSquares(g);
    GapClosingResult r;
    CloseAll(g, r);
    state.ResumeTiming();
    Must(EdgeGraphUpdate(g));
    state.PauseTiming();
    EdgeGraphFreeAll(g);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_UpdateAfterClosing)->Unit(benchmark::kMillisecond);

// 50,000 edges: 250 rows of 200-edge zigzags, filled below.
void Zigzags(EdgeGraph& g) {
  Must(EdgeGraphInit(g));
  const StyleIndex line = Hairline(g);
  FillStyle red;
  red.colour = 0xFF0000FF;
  const auto fill = static_cast<StyleIndex>(Must(EdgeGraphAddFillStyle(g, red)));
  for (int row = 0; row < 250; ++row) {
    std::vector<Point32> points;
    for (int i = 0; i <= 200; ++i) points.push_back({i * 100, row * 200 + (i % 2) * 80});
    AddPolyline(g, points, line, fill);
  }
  Must(EdgeGraphUpdate(g));
}

// A lasso of n points round an ellipse, or the rectangle of the same area.
void SelectionPath(PointList& path, int n) {
  const double rx = 6000, ry = 15000, cx = 10000, cy = 25000;
  if (n == 4) {
    const double half = std::sqrt(M_PI * rx * ry) / 2;
    Must(PathFromRect(path, {static_cast<int32_t>(cx - half), static_cast<int32_t>(cx + half),
                             static_cast<int32_t>(cy - half), static_cast<int32_t>(cy + half)}));
    return;
  }
  for (int i = 0; i <= n; ++i) {
    const double a = 2 * M_PI * (i % n) / n;
    Must(PointListAppend(
        path,
        {static_cast<int32_t>(cx + rx * std::cos(a)), static_cast<int32_t>(cy + ry * std::sin(a))},
        0));
  }
}

void BM_LassoSelect(benchmark::State& state) {
  EdgeGraph source;
  Zigzags(source);
  PointList path;
  SelectionPath(path, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    EdgeGraph g;
    Must(EdgeGraphInit(g));
    Must(EdgeGraphMerge(source, g, 0));
    Must(EdgeGraphUpdate(g));
    state.ResumeTiming();
    Must(EdgeGraphLassoSelect(g, path));
    Must(EdgeGraphUpdate(g));
    state.PauseTiming();
    EdgeGraphFreeAll(g);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LassoSelect)->Arg(500)->Arg(4)->Unit(benchmark::kMillisecond);

// A wavering 5,000-sample stroke in twips.
void MakeStroke(CPointList& samples) {
  std::mt19937 rng(5000);
  std::uniform_int_distribution<int32_t> jitter(-2, 2);
  for (int i = 0; i < 5000; ++i) {
    const double t = i * 0.004;
    Must(samples.Add(
        {static_cast<int32_t>(i * 6 + 900 * std::sin(t * 1.7)) + jitter(rng),
         static_cast<int32_t>(1500 * std::sin(t) + 400 * std::cos(t * 3.1)) + jitter(rng)}));
  }
}

void BM_PencilStroke(benchmark::State& state) {
  BenchViewHost host;
  ViewState view(host);
  CPointList samples;
  MakeStroke(samples);
  const LineStyle line = SolidLine(0xFF000000, 20);
  for (auto _ : state) {
    state.PauseTiming();
    EdgeGraph drawing;
    Must(EdgeGraphInit(drawing));
    state.ResumeTiming();
    PointList path;
    Must(PencilChunkToPath(samples, kPencilStraighten, view, AssistantSettings(), false, path));
    Must(PencilMergePath(path, line, view.GetPickUnit(), kMergeLinesWin, drawing));
    state.PauseTiming();
    EdgeGraphFreeAll(drawing);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_PencilStroke)->Unit(benchmark::kMillisecond);

void BM_FitStrokeOnly(benchmark::State& state) {
  BenchViewHost host;
  ViewState view(host);
  CPointList samples;
  MakeStroke(samples);
  const CurveFitSettings settings = PencilFitSettings(kPencilStraighten, AssistantSettings());
  for (auto _ : state) {
    PointList path;
    Must(FitCurvesToPoints(path, settings, view.GetPickUnit() * 256, view.GetPixelSize() * 256,
                           samples));
  }
}
BENCHMARK(BM_FitStrokeOnly)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  BestTimeReporter reporter;
  RunOnOneCore(argc, argv, reporter);
  struct Row {
    const char* what;
    double ms;
    double budget;
    const char* peer_name;
    double peer;
  } rows[] = {
      {"gap closing, 5,000 edges", reporter.Ms("BM_CloseFillGaps"), 12000.0, "tidy-up after it",
       reporter.Ms("BM_UpdateAfterClosing")},
      {"500-point lasso, 50,000 edges", reporter.Ms("BM_LassoSelect/500"), 0.0,
       "rectangle of the same area", reporter.Ms("BM_LassoSelect/4")},
      {"5,000-sample pencil stroke to the drawing", reporter.Ms("BM_PencilStroke"), 100.0,
       "fitting alone", reporter.Ms("BM_FitStrokeOnly")},
  };
  std::printf(
      "\n| case | ms | budget ratio | peer | peer ms | ratio to peer |\n"
      "|---|---|---|---|---|---|\n");
  for (const Row& r : rows)
    std::printf("| %s | %.2f | %s | %s | %.2f | %.2f |\n", r.what, r.ms,
                r.budget > 0 ? std::to_string(r.ms / r.budget).c_str() : "-", r.peer_name, r.peer,
                r.peer > 0 ? r.ms / r.peer : 0.0);
  return 0;
}
