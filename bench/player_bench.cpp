// The player engine: reading and rendering every frame of a movie of 200
// frames with 50 moving shapes (fills, curves and lines), at 550 x 400 and
// 1920 x 1080, and a backward seek from the last frame to frame 0; and the
// player taking the movie in 1-byte and 1 KB writes against one write (as the
// plug-in takes a stream, painting once the writes are in, and again painting
// each change at once as the plug-in's own options do), with closing tables
// of the intake figures and their ratios to one write.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_check.h"
#include "bench/bench_table.h"
#include "movie/player/display_list.h"
#include "movie/player/movie_stream.h"
#include "movie/player/player_core.h"
#include "render/raster/offscreen_bitmap.h"
#include "tests/common/movie_builder.h"
#include "tests/common/recording_player_site.h"

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

// The whole movie fed to a new player core in writes of the given size (0:
// one write), each write's loading check included, as the plug-in takes a
// stream: its reader mode and options, but with painting left to the host,
// so a write only invalidates what it changed and the host paints once the
// writes are in. The 1-byte figure against the one-write figure of the same
// run is the ratio to watch.
// With paint_now (the plug-in's own option; the editor's only invalidates),
// every write that changes the view paints at once, so a stream pays a paint
// for each object of frame 0 as it arrives.
void Intake(benchmark::State& state, bool paint_now) {
  const size_t chunk = static_cast<size_t>(state.range(0));
  const Bytes& movie = BenchMovie();
  const size_t step = chunk ? chunk : movie.size();
  PlayerOptions options = PlayerOptions::Plugin();
  options.redraw2PaintsNow = paint_now;
  for (auto _ : state) {
    RecordingPlayerSite site(550, 400);  // paints into memory
    CPlayerCore core(site, MovieReaderMode::kPlugin, options);
    site.core = &core;
    core.playOnLoad = false;
    const uint8_t* const data = movie.data();
    const size_t size = movie.size();
    for (size_t at = 0; at < size; at += step) core.Feed(data + at, std::min(step, size - at));
    MustBeTrue(core.Loaded());
    site.PaintNow(site.client);
    benchmark::DoNotOptimize(site.screen[0]);
    state.counters["paints"] = site.paints;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * movie.size()));
}
void BM_Intake(benchmark::State& state) {
  Intake(state, false);
}
BENCHMARK(BM_Intake)->Arg(1)->Arg(1024)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_IntakePaintingEachChange(benchmark::State& state) {
  Intake(state, true);
}
BENCHMARK(BM_IntakePaintingEachChange)->Arg(1)->Arg(1024)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // Fixed allocator thresholds: glibc otherwise raises its mmap threshold
  // after the first large block is freed, so whether a player's bitmaps cost
  // fresh pages on every iteration would depend on which benchmarks ran
  // before. With these, no iteration pays for returned memory.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  BestTimeReporter reporter;
  RunOnOneCore(argc, argv, reporter);
  for (const char* name : {"BM_Intake", "BM_IntakePaintingEachChange"}) {
    const double whole = reporter.Ms(std::string(name) + "/0");
    if (whole <= 0) continue;
    std::printf(
        "\n%-28s %10s %12s\n",
        name == std::string("BM_Intake") ? "intake (plug-in)" : "intake painting each change", "ms",
        "x one write");
    for (const char* chunk : {"1", "1024", "0"}) {
      const double ms = reporter.Ms(std::string(name) + "/" + chunk);
      std::printf("%-28s %10.2f %12.2f\n", chunk, ms, ms / whole);
    }
  }
  return 0;
}
