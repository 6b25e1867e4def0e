// The player library's player (the browser face over the player core) with
// a window that copies into memory: milliseconds per frame (tick, render,
// copy) for 300 frames of 200 moving shapes at 550 x 400 and 1920 x 1080,
// against the frame period of 24 frames per second (41.6 ms) and the engine
// alone (reader and render, as bench/player measures it); and the movie
// taken in 1-byte, 1 KB and 64 KB writes against one write.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "bench/bench_check.h"
#include "movie/player/display_list.h"
#include "movie/player/movie_stream.h"
#include "plugin/npapi.h"
#include "plugin/plugin_player.h"
#include "plugin/plugin_window.h"
#include "render/raster/offscreen_bitmap.h"
#include "tests/movie/player/movie_builder.h"

namespace {

using namespace moviebuild;

constexpr int kFrames = 300;
constexpr int kShapes = 200;
constexpr double kFramePeriodMs = 1000.0 / 24;

const Bytes& BenchMovie() {
  static const Bytes movie = MovingShapesMovie(kFrames, kShapes, 300, 900);
  return movie;
}

uint32_t g_clock = 0;
uint32_t Clock() {
  return g_clock;
}

// A window whose pixels are a buffer: painting copies the area from the
// player's bitmap.
class MemoryWindow final : public IPluginWindow, public IPlayerPaintTarget {
 public:
  static inline int32_t width = 550, height = 400;
  explicit MemoryWindow(CPluginPlayer& player)
      : player_(player), pixels_(static_cast<size_t>(width) * height) {}
  WinRect ClientRect() override { return {0, 0, width, height}; }
  void Invalidate(const WinRect&) override {}
  void PaintNow(const WinRect& area) override { player_.Core().Paint(*this, area); }
  bool XorFrameNow(const WinRect&) override { return true; }
  void StartTimer(int, uint32_t) override {}
  void StopTimer(int) override {}
  bool PollMouse(Point32&) override { return false; }
  void CopyBitmap(const COffscreenBitmap& bitmap, const WinRect& area) override {
    auto& b = const_cast<COffscreenBitmap&>(bitmap);
    for (int32_t y = area.top; y < area.bottom; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(b.Row(y));
      std::copy(row + area.left, row + area.right,
                pixels_.begin() + static_cast<ptrdiff_t>(y) * width + area.left);
    }
  }
  void FillColor(const WinRect&, uint32_t) override {}
  void XorFrame(const WinRect&) override {}

 private:
  CPluginPlayer& player_;
  std::vector<uint32_t> pixels_;
};

std::unique_ptr<IPluginWindow> MakeWindow(CPluginPlayer& player, void* handle) {
  return handle ? std::make_unique<MemoryWindow>(player) : nullptr;
}

struct PluginPlayer {
  NPP_t npp{};
  NPWindow window{};
  NPStream stream{};
  int native = 0;
  std::unique_ptr<CPluginPlayer> player;
  PluginPlayer(int32_t w, int32_t h) {
    SetPluginWindowFactory(MakeWindow);
    SetPluginClock(Clock);
    MemoryWindow::width = w;
    MemoryWindow::height = h;
    player = std::make_unique<CPluginPlayer>(&npp, NP_EMBED);
    window.window = &native;
    player->SetWindow(&window);
    player->AcceptStream(&stream);
  }
};

// Ticks of the frame timer, each one frame period after the last.
void BM_PluginFrames(benchmark::State& state) {
  const int32_t w = static_cast<int32_t>(state.range(0)), h = static_cast<int32_t>(state.range(1));
  PluginPlayer p(w, h);
  CPlayerCore& core = p.player->Core();
  core.playOnLoad = false;
  core.autoQuality = false;
  const Bytes& movie = BenchMovie();
  p.player->Write(movie.data(), static_cast<int32_t>(movie.size()));
  core.Play();
  for (auto _ : state) {
    for (int f = 0; f < kFrames; ++f) {
      g_clock += 42;
      core.OnTimer(false);
    }
  }
  state.counters["frames"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFrames);
  state.counters["ms/frame"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kFrames,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["period ms"] = kFramePeriodMs;
}
BENCHMARK(BM_PluginFrames)->Args({550, 400})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

// The peer: the engine alone reading and rendering the same frames.
void BM_EngineFrames(benchmark::State& state) {
  const int32_t w = static_cast<int32_t>(state.range(0)), h = static_cast<int32_t>(state.range(1));
  CMovieStream stream;
  CDisplayList list;
  COffscreenBitmap bitmap;
  stream.SetDisplayList(&list);
  MustBeTrue(bitmap.CreateDepth(32, nullptr, w, h, false));
  list.SetBitmap(&bitmap);
  const Bytes& movie = BenchMovie();
  stream.PutData(movie.data(), movie.size());
  stream.ReadHeader();
  list.SetViewTransform(stream.FrameRect(), WinRect{0, 0, w, h}, false, 0);
  for (auto _ : state) {
    for (int f = 0; f < kFrames; ++f) {
      Must(stream.GotoFrame(f));
      list.Render();
    }
    Must(stream.GotoFrame(0));
    benchmark::DoNotOptimize(bitmap.Bits()[0]);
  }
  state.counters["ms/frame"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kFrames,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  stream.SetDisplayList(nullptr);
}
BENCHMARK(BM_EngineFrames)->Args({550, 400})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

// The movie through the browser face in writes of the given size (0: one
// write), each loading check included.
void BM_Intake(benchmark::State& state) {
  const size_t chunk = static_cast<size_t>(state.range(0));
  const Bytes& movie = BenchMovie();
  for (auto _ : state) {
    PluginPlayer p(550, 400);
    p.player->Core().playOnLoad = false;
    const size_t step = chunk ? chunk : movie.size();
    for (size_t at = 0; at < movie.size(); at += step)
      p.player->Write(movie.data() + at, static_cast<int32_t>(std::min(step, movie.size() - at)));
    MustBeTrue(p.player->Core().Loaded());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * movie.size()));
}
BENCHMARK(BM_Intake)->Arg(1)->Arg(1024)->Arg(65536)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
