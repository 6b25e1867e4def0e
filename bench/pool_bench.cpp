// Block pools against the heap, and the spatial grid's find and walk against a
// plain scan of every item. Fixed seeds; compare each pair in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "bench/bench_check.h"
#include "geometry/grid.h"
#include "geometry/pool.h"

namespace {

constexpr int32_t kRecordSize = 56;  // about an edge record
const Rect32 kGraphBounds{0, 0x32A000, 0, 0x3DE000};

std::vector<std::size_t> Shuffled(std::size_t n) {
  std::vector<std::size_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  return order;
}

void BM_PoolAllocFree(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::vector<std::size_t> order = Shuffled(n);
  BlockPool pool;
  pool.Init(kRecordSize, 1280, 0, 0x66666666, 8);
  std::vector<void*> blocks(n);
  for (auto _ : state) {
    for (auto& b : blocks) b = pool.Alloc();
    for (std::size_t i : order) pool.Free(blocks[i]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}
BENCHMARK(BM_PoolAllocFree)->Arg(1000)->Arg(100000);

void BM_HeapAllocFree(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::vector<std::size_t> order = Shuffled(n);
  std::vector<void*> blocks(n);
  for (auto _ : state) {
    for (auto& b : blocks) {
      b = std::malloc(kRecordSize);
      benchmark::DoNotOptimize(b);
    }
    for (std::size_t i : order) std::free(blocks[i]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}
BENCHMARK(BM_HeapAllocFree)->Arg(1000)->Arg(100000);

struct Item {
  Item* next = nullptr;
  Rect32 bounds;
};

// Small rectangles over the graph bounds, like the edges of a drawing.
std::vector<Rect32> RandomRects(std::size_t n, int32_t max_size, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int32_t> x(kGraphBounds.xmin, kGraphBounds.xmax - max_size - 1);
  std::uniform_int_distribution<int32_t> y(kGraphBounds.ymin, kGraphBounds.ymax - max_size - 1);
  std::uniform_int_distribution<int32_t> size(0, max_size);
  std::vector<Rect32> out(n);
  for (Rect32& r : out) {
    r.xmin = x(rng);
    r.ymin = y(rng);
    r.xmax = r.xmin + size(rng);
    r.ymax = r.ymin + size(rng);
  }
  return out;
}

void BM_GridFindCell(benchmark::State& state) {
  const std::vector<Rect32> rects = RandomRects(4096, 0x8000, 1);
  SpatialGrid grid;
  Must(SpatialGridInit(grid, kGraphBounds, 5));
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(SpatialGridFindCell(grid, rects[i], true));
    i = (i + 1) & 4095;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GridFindCell);

// Items filed in a grid, then queries of a few hundred twips: the walk's cost
// per query, counting the items it offers.
void BM_GridWalk(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::vector<Rect32> rects = RandomRects(n, 0x4000, 2);
  const std::vector<Rect32> queries = RandomRects(1024, 0x10000, 3);
  std::vector<Item> items(n);
  SpatialGrid grid;
  Must(SpatialGridInit(grid, kGraphBounds, 5));
  for (std::size_t i = 0; i < n; ++i) {
    items[i].bounds = rects[i];
    GridCell* cell = SpatialGridFindCell(grid, rects[i], true);
    items[i].next = static_cast<Item*>(cell->chain[0]);
    cell->chain[0] = &items[i];
  }
  std::size_t q = 0;
  for (auto _ : state) {
    EdgeIter iter;
    EdgeIterInit(iter, grid, 0, &queries[q]);
    int hits = 0;
    while (void* head = GridIterAdvance(iter))
      for (auto* item = static_cast<Item*>(head); item; item = item->next)
        hits += RectsOverlap(item->bounds, queries[q]);
    benchmark::DoNotOptimize(hits);
    q = (q + 1) & 1023;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GridWalk)->Arg(1000)->Arg(20000);

void BM_ScanAllItems(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::vector<Rect32> rects = RandomRects(n, 0x4000, 2);
  const std::vector<Rect32> queries = RandomRects(1024, 0x10000, 3);
  std::size_t q = 0;
  for (auto _ : state) {
    int hits = 0;
    for (const Rect32& r : rects) hits += RectsOverlap(r, queries[q]);
    benchmark::DoNotOptimize(hits);
    q = (q + 1) & 1023;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScanAllItems)->Arg(1000)->Arg(20000);

}  // namespace
