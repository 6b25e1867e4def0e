#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/curve.h"
#include "geometry/fixed.h"

static void BM_ShiftValue(benchmark::State& state) {
  int32_t v = 12345;
  for (auto _ : state) {
    v = ShiftValue(v, ShiftRight(1)) + 12345;
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_ShiftValue);

// ---- Quadratic curves ------------------------------------------------------
// Fixed seeds; coordinates in edge-graph units (twips * 256) of a drawing
// about a page wide.

namespace {

std::vector<QuadCurve> BenchCurves(uint32_t seed, int count, int32_t range) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int32_t> coord(-range, range);
  std::vector<QuadCurve> out(count);
  for (QuadCurve& c : out)
    CurveSet({coord(rng), coord(rng)}, {coord(rng), coord(rng)}, {coord(rng), coord(rng)}, c);
  return out;
}

}  // namespace

static void BM_CurveIntersect(benchmark::State& state) {
  const std::vector<QuadCurve> a = BenchCurves(1, 256, 1 << 22), b = BenchCurves(2, 256, 1 << 22);
  size_t i = 0, found = 0;
  for (auto _ : state) {
    CurveIntersectResult r;
    found += CurveIntersect(a[i & 255], b[i & 255], r, 8);
    ++i;
  }
  benchmark::DoNotOptimize(found);
  state.counters["hits/pair"] = benchmark::Counter(double(found) / double(std::max<size_t>(i, 1)));
}
BENCHMARK(BM_CurveIntersect);

static void BM_CurveIntersectCoincident(benchmark::State& state) {
  const std::vector<QuadCurve> a = BenchCurves(3, 256, 1 << 22);
  size_t i = 0;
  for (auto _ : state) {
    CurveIntersectResult r;
    benchmark::DoNotOptimize(CurveIntersect(a[i & 255], a[i & 255], r, 8));
    ++i;
  }
}
BENCHMARK(BM_CurveIntersectCoincident);

static void BM_CurveNearestPoint(benchmark::State& state) {
  const std::vector<QuadCurve> curves = BenchCurves(4, 256, 1 << 22);
  std::mt19937 rng(5);
  std::uniform_int_distribution<int32_t> coord(-(1 << 22), 1 << 22);
  std::vector<Point32> probes(256);
  for (Point32& p : probes) p = {coord(rng), coord(rng)};
  // Limit 0x7FFFFFFF: always a full search; 2048: the usual hit-test radius.
  const int32_t limit = static_cast<int32_t>(state.range(0));
  size_t i = 0;
  for (auto _ : state) {
    Point32 out;
    benchmark::DoNotOptimize(
        CurveNearestPoint(curves[i & 255], probes[(i * 7) & 255], limit, &out));
    ++i;
  }
}
BENCHMARK(BM_CurveNearestPoint)->Arg(0x7FFFFFFF)->Arg(2048);

static void BM_CurveFitPoints(benchmark::State& state) {
  // A sampled freehand-like arc with one unit of jitter, in twips.
  const int n = static_cast<int>(state.range(0));
  std::mt19937 rng(6);
  std::uniform_int_distribution<int32_t> jitter(-1, 1);
  std::vector<Point32> points(n);
  for (int k = 0; k < n; ++k) {
    const double t = double(k) / (n - 1);
    points[k] = {static_cast<int32_t>(4000 * t) + jitter(rng),
                 static_cast<int32_t>(3000 * std::sin(3.14159 * t)) + jitter(rng)};
  }
  for (auto _ : state) {
    QuadCurve out;
    benchmark::DoNotOptimize(CurveFitPoints(points.data(), n, out, nullptr));
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_CurveFitPoints)->Arg(32)->Arg(200)->Arg(1000);
