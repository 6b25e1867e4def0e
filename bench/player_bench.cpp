// The player engine: reading and rendering every frame of a movie of 200
// frames with 50 moving shapes (fills, curves and lines), at 550 x 400 and
// 1920 x 1080, and a backward seek from the last frame to frame 0.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/bench_check.h"
#include "movie/player/display_list.h"
#include "movie/player/movie_stream.h"
#include "render/raster/offscreen_bitmap.h"
#include "tests/movie/player/movie_builder.h"

namespace {

using namespace moviebuild;

constexpr int kFrames = 200;
constexpr int kShapes = 50;

const Bytes& BenchMovie() {
  static const Bytes movie = MovingShapesMovie(kFrames, kShapes, 400, 1400);
  return movie;
}

struct Player {
  CMovieStream stream;
  CDisplayList list;
  COffscreenBitmap bitmap;
  Player(int32_t w, int32_t h, bool aa) {
    stream.SetDisplayList(&list);
    MustBeTrue(bitmap.CreateDepth(32, nullptr, w, h, false));
    list.SetBitmap(&bitmap);
    const Bytes& movie = BenchMovie();
    stream.PutData(movie.data(), movie.size());
    stream.ReadHeader();
    list.SetViewTransform(stream.FrameRect(), WinRect{0, 0, w, h}, aa, 0);
  }
};

void BM_PlayAllFrames(benchmark::State& state) {
  const int32_t w = static_cast<int32_t>(state.range(0)), h = static_cast<int32_t>(state.range(1));
  Player p(w, h, state.range(2) != 0);
  for (auto _ : state) {
    for (int f = 0; f < kFrames; ++f) {
      Must(p.stream.GotoFrame(f));
      p.list.Render();
    }
    benchmark::DoNotOptimize(p.bitmap.Bits()[0]);
  }
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFrames,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlayAllFrames)
    ->Args({550, 400, 0})
    ->Args({550, 400, 1})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 1})
    ->Unit(benchmark::kMillisecond);

void BM_SeekBackToFrameZero(benchmark::State& state) {
  Player p(550, 400, true);
  for (auto _ : state) {
    state.PauseTiming();
    Must(p.stream.GotoFrame(kFrames - 1));
    p.list.Render();
    state.ResumeTiming();
    Must(p.stream.GotoFrame(0));
    p.list.Render();
  }
}
BENCHMARK(BM_SeekBackToFrameZero)->Unit(benchmark::kMicrosecond);

void BM_ReadOnly(benchmark::State& state) {
  Player p(550, 400, false);
  for (auto _ : state) {
    Must(p.stream.GotoFrame(kFrames - 1));
    Must(p.stream.GotoFrame(0));
  }
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFrames,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadOnly)->Unit(benchmark::kMillisecond);

}  // namespace
