// The player library's player (the browser face over the player core) with
// a window that copies into memory: milliseconds per frame (tick, render,
// copy) for 300 frames of 200 moving shapes at 550 x 400 and 1920 x 1080,
// against the frame period of 24 frames per second (41.6 ms) and the engine
// alone (reader and render, as bench/player measures it); a movie of 5 MB
// taken in 1-byte, 1 KB and 64 KB writes against one write; and the tick
// that wraps a looping movie of 1,000 frames with 20 JPEG images back to
// frame 0 against an ordinary tick and the frame period; and the window copy
// of a whole frame (the player's bitmap into a window's 32-bit backing
// pixels through a device context) against copying the same rows with
// memcpy. A table of the figures and their ratios closes the run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QImage>
#include <cstring>

#include "bench/bench_check.h"
#include "bench/bench_table.h"
#include "movie/player/display_list.h"
#include "movie/player/movie_stream.h"
#include "platform/qt/dc.h"
#include "platform/qt/rop.h"
#include "plugin/npapi.h"
#include "plugin/plugin_player.h"
#include "plugin/plugin_window.h"
#include "render/raster/dib.h"
#include "render/raster/offscreen_bitmap.h"
#include "tests/common/movie_builder.h"

namespace {

using namespace moviebuild;

constexpr int kFrames = 300;
constexpr int kShapes = 200;
constexpr double kFramePeriodMs = 1000.0 / 24;

const Bytes& BenchMovie() {
  static const Bytes movie = MovingShapesMovie(kFrames, kShapes, 300, 900);
  return movie;
}

// The same moving shapes over as many frames as make at least 5 MB.
const Bytes& IntakeMovie() {
  static const Bytes movie = [] {
    const size_t perFrame = BenchMovie().size() / kFrames;
    const int frames = static_cast<int>((size_t{5} << 20) / perFrame) + 10;
    return MovingShapesMovie(frames, kShapes, 300, 900);
  }();
  return movie;
}

// 1,000 frames at 24 per second: frame 0 defines 20 JPEG images of 110 x 100
// pixels and tiles the 550 x 400 stage with them; a small square moves over
// them every frame.
constexpr int kLoopFrames = 1000;
constexpr int kJpegs = 20;
const Bytes& LoopMovie() {
  static const Bytes movie = [] {
    MovieBuilder b({0, 11000, 0, 8000}, 24 << 16);
    uint32_t seed = 777;
    for (int i = 0; i < kJpegs; ++i) {
      CDib image;
      MustBeTrue(image.Create(kDib32Bit, 110, 100, nullptr));
      for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 110; ++x) {
          seed = seed * 1103515245u + 12345u;
          uint8_t* px = image.Bits() + y * image.Stride() + 4 * x;
          const int noise = static_cast<int>(seed >> 27);
          px[0] = static_cast<uint8_t>(x * 2 + i * 11 + noise);
          px[1] = static_cast<uint8_t>(y * 2 + i * 7 + noise);
          px[2] = static_cast<uint8_t>((x + y) + i * 13);
        }
      const auto id = static_cast<uint16_t>(100 + i);
      b.Writer().WriteJpegImage(id, image);
      const auto shape = static_cast<uint16_t>(200 + i);
      b.BitmapShape(shape, id, 20 << 16, 2200, 2000);  // 20 twips to the image pixel
      Matrix2x3 at;
      at.tx = i % 5 * 2200;
      at.ty = i / 5 * 2000;
      b.Place(shape, static_cast<uint16_t>(1 + i), &at);
    }
    ShapeDef square;
    square.Fill(Colour(200, 30, 30)).Rect(0, 0, 600, 600, 1);
    b.Shape(1, {0, 600, 0, 600}, square);
    for (int f = 0; f < kLoopFrames; ++f) {
      Matrix2x3 m;
      m.tx = f * 97 % 10400;
      m.ty = f * 61 % 7400;
      if (f) b.Remove(1, 50);
      b.Place(1, 50, &m).Frame();
    }
    return b.Finish();
  }();
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
  static inline int32_t width_ = 550, height_ = 400;
  explicit MemoryWindow(CPluginPlayer& player)
      : player_(player), pixels_(static_cast<size_t>(width_) * height_) {}
  WinRect ClientRect() override { return {0, 0, width_, height_}; }
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
                pixels_.begin() + static_cast<ptrdiff_t>(y) * width_ + area.left);
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
    MemoryWindow::width_ = w;
    MemoryWindow::height_ = h;
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

// The 5 MB movie through the browser face in writes of the given size (0:
// one write), each loading check included.
void BM_Intake(benchmark::State& state) {
  const size_t chunk = static_cast<size_t>(state.range(0));
  const Bytes& movie = IntakeMovie();
  for (auto _ : state) {
    PluginPlayer p(550, 400);
    p.player->Core().playOnLoad = false;
    const size_t step = chunk ? chunk : movie.size();
    for (size_t at = 0; at < movie.size(); at += step)
      p.player->Write(movie.data() + at, static_cast<int32_t>(std::min(step, movie.size() - at)));
    MustBeTrue(p.player->Core().Loaded());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * movie.size()));
  state.counters["MB"] = static_cast<double>(movie.size()) / (1 << 20);
}
BENCHMARK(BM_Intake)->Arg(1)->Arg(1024)->Arg(65536)->Arg(0)->Unit(benchmark::kMillisecond);

// One tick of the frame timer on the looping movie: from the last frame
// back to frame 0 (range 1: the reader starts over and frame 0 with its 20
// images is drawn whole), or from the middle to the next frame (range 0).
void BM_LoopTick(benchmark::State& state) {
  const bool wrap = state.range(0) != 0;
  PluginPlayer p(550, 400);
  CPlayerCore& core = p.player->Core();
  core.playOnLoad = false;
  core.autoQuality = false;
  const Bytes& movie = LoopMovie();
  p.player->Write(movie.data(), static_cast<int32_t>(movie.size()));
  MustBeTrue(core.Loaded() && core.Movie().FrameCount() == kLoopFrames);
  const int32_t from = wrap ? kLoopFrames - 1 : kLoopFrames / 2;
  for (auto _ : state) {
    state.PauseTiming();
    core.GotoFrame(from);
    core.Play();
    (void)core.PrepareOffscreen();
    state.ResumeTiming();
    g_clock += 42;
    core.OnTimer(false);
    MustBeTrue(core.CurrentFrame() == (wrap ? 0 : from + 1));
  }
  state.counters["period ms"] = kFramePeriodMs;
}
BENCHMARK(BM_LoopTick)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// A whole frame of the player's 32-bit bitmap copied to a window's backing
// pixels: range 1 through a device context (as the player's window does),
// range 0 the peer, every row by memcpy.
void BM_WindowCopy(benchmark::State& state) {
  const bool context = state.range(0) != 0;
  const int32_t w = static_cast<int32_t>(state.range(1)), h = static_cast<int32_t>(state.range(2));
  COffscreenBitmap bitmap;
  MustBeTrue(bitmap.CreateDepth(32, nullptr, w, h, false));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < 4 * w; ++x) bitmap.Row(y)[x] = static_cast<uint8_t>(x * 7 + y);
  QImage window(w, h, QImage::Format_RGB32);
  CDC dc;
  MustBeTrue(dc.AttachImage(&window));
  for (auto _ : state) {
    if (context) {
      MustBeTrue(dc.BlitOffscreen(bitmap, 0, 0, w, h, 0, 0, SRCCOPY) == h);
    } else {
      for (int32_t y = 0; y < h; ++y)
        std::memcpy(window.scanLine(y), bitmap.Row(y), static_cast<size_t>(w) * 4);
    }
    benchmark::DoNotOptimize(window.bits()[0]);
  }
}
BENCHMARK(BM_WindowCopy)
    ->Args({1, 550, 400})
    ->Args({0, 550, 400})
    ->Args({1, 1920, 1080})
    ->Args({0, 1920, 1080})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  BestTimeReporter reporter;
  RunOnOneCore(argc, argv, reporter);

  std::printf("\n%-28s %10s %10s %10s %12s %14s\n", "frames (ms per frame)", "player", "engine",
              "period", "player/period", "player/engine");
  for (const char* size : {"550/400", "1920/1080"}) {
    const double player = reporter.Ms(std::string("BM_PluginFrames/") + size) / kFrames;
    const double engine = reporter.Ms(std::string("BM_EngineFrames/") + size) / kFrames;
    if (player == 0) continue;
    std::printf("%-28s %10.2f %10.2f %10.1f %12.3f %14.2f   (goal <= 1.1)\n", size, player, engine,
                kFramePeriodMs, player / kFramePeriodMs, engine > 0 ? player / engine : 0.0);
  }
  const double copy = reporter.Ms("BM_WindowCopy/1/1920/1080");
  if (copy > 0) {
    std::printf("\n%-28s %10s %10s %12s %10s\n", "window copy (ms)", "context", "memcpy",
                "x memcpy", "budget");
    for (const char* size : {"550/400", "1920/1080"}) {
      const double dc = reporter.Ms(std::string("BM_WindowCopy/1/") + size);
      const double mem = reporter.Ms(std::string("BM_WindowCopy/0/") + size);
      std::printf("%-28s %10.3f %10.3f %12.2f %10s\n", size, dc, mem, mem > 0 ? dc / mem : 0.0,
                  std::string(size) == "1920/1080" ? "< 1 ms" : "");
    }
  }
  const double whole = reporter.Ms("BM_Intake/0");
  if (whole > 0) {
    std::printf("\n%-28s %10s %12s\n", "5 MB intake (ms)", "ms", "x one write");
    for (const char* chunk : {"1", "1024", "65536", "0"}) {
      const double ms = reporter.Ms(std::string("BM_Intake/") + chunk);
      std::printf("%-28s %10.2f %12.2f\n", chunk, ms, ms / whole);
    }
  }
  const double wrap = reporter.Ms("BM_LoopTick/1"), tick = reporter.Ms("BM_LoopTick/0");
  if (wrap > 0) {
    std::printf("\n%-28s %10s %10s %10s %12s\n", "loop of 1000 frames (ms)", "wrap", "tick",
                "period", "wrap/period");
    std::printf("%-28s %10.2f %10.2f %10.1f %12.3f\n", "20 JPEGs, 550 x 400", wrap, tick,
                kFramePeriodMs, wrap / kFramePeriodMs);
  }
  return 0;
}
