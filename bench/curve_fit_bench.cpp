// Fitting a freehand stroke: 5,000 samples of a wavering pencil line in twips,
// with the lasso's tolerance set at one pixel = 20 twips. Target: well under
// 5 ms per stroke.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "bench/bench_check.h"
#include "geometry/curve_fit.h"
#include "geometry/path.h"

namespace {

void MakeStroke(CPointList& samples, int n) {
  std::mt19937 rng(5000);  // fixed seed: the same stroke every run
  std::uniform_int_distribution<int32_t> jitter(-2, 2);
  for (int i = 0; i < n; ++i) {
    const double t = i * 0.004;
    Must(samples.Add(
        {static_cast<int32_t>(i * 6 + 900 * std::sin(t * 1.7)) + jitter(rng),
         static_cast<int32_t>(1500 * std::sin(t) + 400 * std::cos(t * 3.1)) + jitter(rng)}));
  }
}

const CurveFitSettings kLasso{0x0100FF00, 0x0400FF00, 0x0300FF00, 0x001E0000, 0x5000FF00, 0};

void BM_FitCurvesToPoints(benchmark::State& state) {
  CPointList samples;
  MakeStroke(samples, static_cast<int>(state.range(0)));
  PointList out;
  for (auto _ : state) {
    Must(FitCurvesToPoints(out, kLasso, 14, 20, samples));
    benchmark::DoNotOptimize(out.buffer);
  }
  state.counters["entries"] = out.length;
  state.counters["samples_per_s"] = benchmark::Counter(
      static_cast<double>(samples.count), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FitCurvesToPoints)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);

// The inside test of a fitted outline, with and without its spatial index.
void BM_ShapeContainsPoint(benchmark::State& state) {
  CPointList samples;
  MakeStroke(samples, 5000);
  PointList path;
  Must(FitCurvesToPoints(path, kLasso, 14, 20, samples));
  if (state.range(0)) Must(path.BuildSpatialIndex());
  Rect32 b;
  PointListGetBounds(path, b);
  std::mt19937 rng(1);
  std::uniform_int_distribution<int32_t> x(b.xmin, b.xmax), y(b.ymin, b.ymax);
  for (auto _ : state) benchmark::DoNotOptimize(ShapeContainsPoint(path, {x(rng), y(rng)}));
}
BENCHMARK(BM_ShapeContainsPoint)->Arg(0)->Arg(1);

}  // namespace
