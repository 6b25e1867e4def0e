#include <benchmark/benchmark.h>

#include "geometry/fixed.h"

static void BM_ShiftValue(benchmark::State& state) {
  int32_t v = 12345;
  for (auto _ : state) {
    v = ShiftValue(v, ShiftRight(1)) + 12345;
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_ShiftValue);
