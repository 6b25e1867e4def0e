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
  static const Bytes movie = [] {
    MovieBuilder b({0, 11000, 0, 8000}, 24 << 16);
    b.StageColor(Colour(240, 240, 230));
    uint32_t seed = 12345;
    auto rnd = [&seed](int n) {
      seed = seed * 1103515245u + 12345u;
      return static_cast<int32_t>((seed >> 8) % static_cast<uint32_t>(n));
    };
    for (int i = 0; i < kShapes; ++i) {
      ShapeDef s;
      s.Fill(Colour(rnd(256), rnd(256), rnd(256))).Line(20 + rnd(60), Colour(rnd(128), 0, 0));
      const int32_t w = 400 + rnd(1400), h = 400 + rnd(1400);
      s.Start({0, 0}, 1, 0, 1).LineTo({w, 0}).CurveTo({w + w / 3, h / 2}, {w, h});
      s.CurveTo({w / 2, h + h / 3}, {0, h}).LineTo({0, 0});
      b.Shape(static_cast<uint16_t>(i + 1), {-60, w + w / 3 + 60, -60, h + h / 3 + 60}, s);
    }
    for (int f = 0; f < kFrames; ++f) {
      for (int i = 0; i < kShapes; ++i) {
        const uint16_t id = static_cast<uint16_t>(i + 1);
        Matrix2x3 m;
        m.tx = (i * 1931 + f * (40 + i % 7 * 10)) % 10000;
        m.ty = (i * 977 + f * (25 + i % 5 * 8)) % 7000;
        if (f) b.Remove(id, id);
        b.Place(id, id, &m);
      }
      b.Frame();
    }
    return b.Finish();
  }();
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
