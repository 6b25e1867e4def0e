// The library's browser face without windows: table checks, every callback's
// result for null and unknown instances, page parameters, stream intake with
// its throttle and loading rule, and calls back into the browser.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/npapi.h"
#include "plugin/plugin_player.h"
#include "plugin/plugin_window.h"
#include "tests/common/movie_builder.h"

extern "C" {
NPError NP_GetEntryPoints(NPPluginFuncs* funcs);
NPError NP_Initialize(NPNetscapeFuncs* browser);
NPError NP_Shutdown();
const char* NP_GetMIMEDescription();
}

namespace {

using namespace moviebuild;

std::vector<std::pair<std::string, std::string>> g_urls;
std::vector<std::string> g_status;

NPError RecordUrl(NPP, const char* url, const char* window) {
  g_urls.emplace_back(url, window);
  return NPERR_NO_ERROR;
}
void RecordStatus(NPP, const char* text) {
  g_status.emplace_back(text);
}

NPNetscapeFuncs Browser() {
  NPNetscapeFuncs b{};
  b.size = sizeof b;
  b.version = 0x000B;
  b.geturl = RecordUrl;
  b.status = RecordStatus;
  return b;
}

NPPluginFuncs Table() {
  NPPluginFuncs f{};
  f.size = sizeof f;
  EXPECT_EQ(NP_GetEntryPoints(&f), NPERR_NO_ERROR);
  return f;
}

// One instance with its parameters.
using Params = std::vector<std::pair<std::string, std::string>>;

struct Instance {
  NPPluginFuncs f = Table();
  NPP_t npp{};
  NPStream stream{};
  explicit Instance(Params params = {}, uint16_t mode = NP_EMBED) {
    std::vector<char*> names, values;
    for (auto& [n, v] : params) {
      names.push_back(n.data());
      values.push_back(v.data());
    }
    EXPECT_EQ(f.newp(nullptr, &npp, mode, static_cast<int16_t>(names.size()), names.data(),
                     values.data(), nullptr),
              NPERR_NO_ERROR);
  }
  ~Instance() { f.destroy(&npp, nullptr); }
  CPluginPlayer& Player() { return *static_cast<CPluginPlayer*>(npp.pdata); }
};

TEST(PluginEntry, TablesAreCheckedAgainstTheDeclaredLayouts) {
  EXPECT_EQ(NP_GetEntryPoints(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
  NPPluginFuncs f{};
  f.size = static_cast<uint16_t>(kNPPluginFuncsMinSize - 1);
  EXPECT_EQ(NP_GetEntryPoints(&f), NPERR_INVALID_FUNCTABLE_ERROR);
  EXPECT_EQ(f.newp, nullptr);  // nothing written into a short table
  f.size = static_cast<uint16_t>(kNPPluginFuncsMinSize);
  EXPECT_EQ(NP_GetEntryPoints(&f), NPERR_NO_ERROR);
  EXPECT_EQ(f.version, 6);
  EXPECT_NE(f.print, nullptr);
  EXPECT_EQ(f.event, nullptr);

  EXPECT_EQ(NP_Initialize(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
  NPNetscapeFuncs b = Browser();
  b.version = 0x0100;
  EXPECT_EQ(NP_Initialize(&b), NPERR_INCOMPATIBLE_VERSION_ERROR);
  EXPECT_EQ(PluginBrowserFuncs(), nullptr);  // a refused table is not kept
  b = Browser();
  b.size = static_cast<uint16_t>(kNPNetscapeFuncsMinSize - 1);
  EXPECT_EQ(NP_Initialize(&b), NPERR_INVALID_FUNCTABLE_ERROR);
  EXPECT_EQ(PluginBrowserFuncs(), nullptr);
  b = Browser();
  EXPECT_EQ(NP_Initialize(&b), NPERR_NO_ERROR);
  EXPECT_EQ(PluginBrowserFuncs(), &b);
  EXPECT_EQ(NP_Shutdown(), NPERR_NO_ERROR);
  EXPECT_EQ(PluginBrowserFuncs(), nullptr);
  EXPECT_STREQ(NP_GetMIMEDescription(), "application/vimbrel:vmp:Vimbrel (*.vmp)");
}

TEST(PluginEntry, ResultsForNullAndUnknownInstances) {
  NPPluginFuncs f = Table();
  NPWindow window{};
  NPStream stream{};
  uint8_t byte = 0;
  NPP_t unknown{};  // no player
  EXPECT_EQ(f.newp(nullptr, nullptr, NP_EMBED, 0, nullptr, nullptr, nullptr),
            NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(f.destroy(nullptr, nullptr), NPERR_NO_ERROR);
  EXPECT_EQ(f.destroy(&unknown, nullptr), NPERR_NO_ERROR);
  EXPECT_EQ(f.setwindow(&unknown, nullptr), NPERR_GENERIC_ERROR);
  EXPECT_EQ(f.setwindow(nullptr, &window), NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(f.setwindow(&unknown, &window), NPERR_GENERIC_ERROR);
  EXPECT_EQ(f.newstream(nullptr, nullptr, &stream, 0, nullptr), NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(f.newstream(&unknown, nullptr, &stream, 0, nullptr), NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(f.writeready(&unknown, &stream), 0x0FFFFFFF);
  EXPECT_EQ(f.write(nullptr, &stream, 0, 1, &byte), -1);
  EXPECT_EQ(f.write(&unknown, &stream, 0, 1, &byte), 0);
  EXPECT_EQ(f.destroystream(nullptr, &stream, 0), NPERR_INVALID_INSTANCE_ERROR);
  EXPECT_EQ(f.destroystream(&unknown, &stream, 0), NPERR_NO_ERROR);
  f.print(nullptr, nullptr);
  f.asfile(&unknown, &stream, "x");

  Instance a;
  // A window record without a native window, none attached before: nothing.
  EXPECT_EQ(a.f.setwindow(&a.npp, &window), NPERR_NO_ERROR);
  uint16_t type = 0;
  EXPECT_EQ(a.f.newstream(&a.npp, nullptr, &a.stream, 0, &type), NPERR_NO_ERROR);
  EXPECT_EQ(type, NP_NORMAL);
  EXPECT_EQ(a.stream.pdata, a.npp.pdata);
  // One stream per instance, for its whole life.
  NPStream second{};
  EXPECT_EQ(a.f.newstream(&a.npp, nullptr, &second, 0, &type), NPERR_GENERIC_ERROR);
  EXPECT_EQ(a.f.destroystream(&a.npp, &a.stream, 0), NPERR_NO_ERROR);
  EXPECT_EQ(a.f.newstream(&a.npp, nullptr, &second, 0, &type), NPERR_GENERIC_ERROR);
  // Bytes of another stream are not taken.
  EXPECT_EQ(a.f.write(&a.npp, &second, 0, 1, &byte), 0);
  EXPECT_EQ(a.f.write(&a.npp, &a.stream, 0, 1, &byte), 1);
  // Full-page printing leaves the page to the browser.
  NPPrint print{};
  print.mode = NP_FULL;
  print.print.fullPrint.pluginPrinted = 1;
  a.f.print(&a.npp, &print);
  EXPECT_EQ(print.print.fullPrint.pluginPrinted, 0);
}

TEST(PluginEntry, PageParameters) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> params;
    uint32_t background;  // 0: the movie's own
    uint32_t scale;
    bool loop, play, high, auto_q, best;
    uint32_t limit;
  } cases[] = {
      {{}, 0, 0, true, true, false, true, false, 0},
      {{{"BGCOLOR", "#FF0000"}}, 0xFF0000FF, 0, true, true, false, true, false, 0},
      {{{"bgcolor", "00ff00"}}, 0xFF00FF00, 0, true, true, false, true, false, 0},
      {{{"bgcolor", "#FFFF"}}, 0, 0, true, true, false, true, false, 0},  // too short
      {{{"bgcolor", "zzzzzz"}}, 0xFF000000, 0, true, true, false, true, false, 0},
      {{{"scale", "noborder"}, {"salign", "TL"}}, 0, 0x51, true, true, false, true, false, 0},
      {{{"salign", "rb"}, {"scale", "exactfit"}}, 0, 2, true, true, false, true, false, 0},
      {{{"loop", "no"}, {"play", "YES"}}, 0, 0, false, true, false, true, false, 0},
      {{{"loop", "true"}, {"loop", "false"}}, 0, 0, false, true, false, true, false, 0},
      {{{"quality", "high"}}, 0, 0, true, true, true, false, false, 0},
      {{{"quality", "AutoLow"}}, 0, 0, true, true, false, true, false, 0},
      {{{"quality", "best"}}, 0, 0, true, true, true, false, true, 0},
      {{{"quality", "unknown"}, {"colour", "x"}}, 0, 0, true, true, false, true, false, 0},
      {{{"speedlimit", "1000bps"}}, 0, 0, true, true, false, true, false, 1000},
      {{{"speedlimit", "fast"}}, 0, 0, true, true, false, true, false, 0},
  };
  for (const Case& c : cases) {
    Instance in(c.params);
    CPluginPlayer& p = in.Player();
    const std::string what = c.params.empty() ? "defaults" : c.params[0].first;
    if (c.background) {
      EXPECT_EQ(p.Core().Display().BackgroundColor(), c.background) << what;
      EXPECT_EQ(p.Core().Display().BackgroundPriority(), 3) << what;
    } else {
      EXPECT_EQ(p.Core().Display().BackgroundPriority(), 0) << what;
    }
    EXPECT_EQ(p.Core().scaleFlags, c.scale) << what;
    EXPECT_EQ(p.Core().loop, c.loop) << what;
    EXPECT_EQ(p.Core().playOnLoad, c.play) << what;
    EXPECT_EQ(p.Core().highQuality, c.high) << what;
    EXPECT_EQ(p.Core().autoQuality, c.auto_q) << what;
    EXPECT_EQ(p.Core().best, c.best) << what;
    EXPECT_EQ(p.SpeedLimit(), c.limit) << what;
  }
  // Full-page mode ignores the parameters.
  Instance full(Params{{"loop", "no"}}, NP_FULL);
  EXPECT_TRUE(full.Player().Core().loop);
}

Bytes ThreeFrames() {
  MovieBuilder b;
  for (int n = 0; n < 3; ++n) {
    ShapeDef s;
    s.Fill(Colour(10, 20, 30)).Rect(n * 100, 0, n * 100 + 100, 100, 1);
    b.Shape(static_cast<uint16_t>(n + 1), {n * 100, n * 100 + 100, 0, 100}, s);
    b.Place(static_cast<uint16_t>(n + 1), static_cast<uint16_t>(n + 1)).Frame();
  }
  return b.Finish();
}

TEST(PluginEntry, StreamIntakeLoadsOnceFrameZeroIsIn) {
  const Bytes movie = ThreeFrames();
  Instance in(Params{{"play", "false"}});
  in.stream.url = "http://h.example/dir/movie.vmp";
  ASSERT_EQ(in.f.newstream(&in.npp, nullptr, &in.stream, 0, nullptr), NPERR_NO_ERROR);
  EXPECT_EQ(in.Player().BaseUrl(), "http://h.example/dir/movie.vmp");
  size_t at = 0;
  while (!in.Player().Core().Loaded() && at < movie.size()) {
    EXPECT_EQ(in.f.writeready(&in.npp, &in.stream), 0x0FFFFFFF);
    EXPECT_EQ(in.f.write(&in.npp, &in.stream, static_cast<int32_t>(at), 1,
                         const_cast<uint8_t*>(&movie[at])),
              1);
    ++at;
  }
  EXPECT_TRUE(in.Player().Core().Loaded());
  EXPECT_LT(at, movie.size());  // frame 0 was complete before the end
  EXPECT_EQ(in.Player().Core().CurrentFrame(), 0);
  EXPECT_TRUE(in.Player().Core().Paused());
}

TEST(PluginEntry, GetUrlRequestsReachTheBrowserResolved) {
  NPNetscapeFuncs b = Browser();
  ASSERT_EQ(NP_Initialize(&b), NPERR_NO_ERROR);
  g_urls.clear();
  MovieBuilder mb;
  ShapeDef s;
  s.Fill(Colour(1, 2, 3)).Rect(0, 0, 100, 100, 1);
  mb.Shape(1, {0, 100, 0, 100}, s).Place(1, 1).Frame();
  mb.Script(OpenUrlAction("next.html", "")).Frame();
  mb.Script(OpenUrlAction("http://other.example/", "main")).Frame();
  const Bytes movie = mb.Finish();
  Instance in(Params{{"play", "false"}});
  in.stream.url = "http://h.example/dir/movie.vmp";
  ASSERT_EQ(in.f.newstream(&in.npp, nullptr, &in.stream, 0, nullptr), NPERR_NO_ERROR);
  in.f.write(&in.npp, &in.stream, 0, static_cast<int32_t>(movie.size()),
             const_cast<uint8_t*>(movie.data()));
  in.Player().Core().GotoFrame(1);
  in.Player().Core().GotoFrame(2);
  ASSERT_EQ(g_urls.size(), 2u);
  EXPECT_EQ(g_urls[0],
            (std::pair<std::string, std::string>{"http://h.example/dir/next.html", "_self"}));
  EXPECT_EQ(g_urls[1].first, "http://other.example/");
  EXPECT_EQ(g_urls[1].second, "main");
  EXPECT_EQ(NP_Shutdown(), NPERR_NO_ERROR);
  // Without a browser table nothing is called.
  in.Player().Core().GotoFrame(1);
  EXPECT_EQ(g_urls.size(), 2u);
  // Nor through a table whose entries are null.
  NPNetscapeFuncs empty = Browser();
  empty.geturl = nullptr;
  empty.status = nullptr;
  ASSERT_EQ(NP_Initialize(&empty), NPERR_NO_ERROR);
  in.Player().Core().GotoFrame(2);
  in.Player().Core().OnMouseMove({1, 1});
  EXPECT_EQ(g_urls.size(), 2u);
  EXPECT_EQ(NP_Shutdown(), NPERR_NO_ERROR);
}

uint32_t g_now = 0;
uint32_t FakeNow() {
  return g_now;
}

TEST(PluginEntry, TheThrottleCountsEveryByteTakenOnTheAcceptedStream) {
  SetPluginClock(FakeNow);
  g_now = 1000;
  Instance in(Params{{"speedlimit", "1000"}, {"play", "false"}});
  ASSERT_EQ(in.f.newstream(&in.npp, nullptr, &in.stream, 0, nullptr), NPERR_NO_ERROR);
  EXPECT_EQ(in.f.writeready(&in.npp, &in.stream), 0);  // nothing allowed yet
  // 1500 bytes in three writes (not a movie: they count all the same), and
  // bytes of another stream that are not taken and do not count.
  std::vector<uint8_t> bytes(500, 'x');
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(in.f.write(&in.npp, &in.stream, i * 500, 500, bytes.data()), 500);
  NPStream other{};
  EXPECT_EQ(in.f.write(&in.npp, &other, 0, 500, bytes.data()), 0);
  struct Case {
    uint32_t elapsed;
    int32_t ready;
  } cases[] = {{1000, 0}, {1499, 0}, {2500, 1000}, {2599, 1000}, {2600, 1100}};
  for (const Case& c : cases) {
    g_now = 1000 + c.elapsed;
    EXPECT_EQ(in.f.writeready(&in.npp, &in.stream), c.ready) << c.elapsed << " ms";
  }
  SetPluginClock(nullptr);
}

}  // namespace

namespace {

// A window side that records what the player asks of it.
struct FakeWindow : IPluginWindow {
  static inline int live_ = 0;
  static inline int invalidations_ = 0;
  static inline std::vector<int> timers_;  // running timer ids
  FakeWindow() { ++live_; }
  ~FakeWindow() override {
    --live_;
    timers_.clear();
  }
  WinRect ClientRect() override { return {0, 0, 40, 30}; }
  void Invalidate(const WinRect&) override { ++invalidations_; }
  void PaintNow(const WinRect&) override {}
  bool XorFrameNow(const WinRect&) override { return true; }
  void StartTimer(int id, uint32_t) override {
    StopTimer(id);
    timers_.push_back(id);
  }
  void StopTimer(int id) override { std::erase(timers_, id); }
  bool PollMouse(Point32&) override { return false; }
};

std::unique_ptr<IPluginWindow> MakeFakeWindow(CPluginPlayer&, void* handle) {
  return handle ? std::make_unique<FakeWindow>() : nullptr;
}

TEST(PluginWindowSide, ReattachingStopsAndResumesAndResetSkipsWindowlessPlayers) {
  SetPluginWindowFactory(MakeFakeWindow);
  const Bytes movie = ThreeFrames();
  {
    Instance in;
    int native = 0;
    NPWindow window{};
    window.window = &native;
    ASSERT_EQ(in.f.setwindow(&in.npp, &window), NPERR_NO_ERROR);
    EXPECT_EQ(FakeWindow::live_, 1);
    ASSERT_EQ(in.f.newstream(&in.npp, nullptr, &in.stream, 0, nullptr), NPERR_NO_ERROR);
    in.f.write(&in.npp, &in.stream, 0, static_cast<int32_t>(movie.size()),
               const_cast<uint8_t*>(movie.data()));
    EXPECT_EQ(FakeWindow::timers_, (std::vector<int>{CPlayerCore::kFrameTimer}));
    // Every NPP_SetWindow re-attaches: the old side goes, playing resumes.
    ASSERT_EQ(in.f.setwindow(&in.npp, &window), NPERR_NO_ERROR);
    EXPECT_EQ(FakeWindow::live_, 1);
    EXPECT_EQ(FakeWindow::timers_, (std::vector<int>{CPlayerCore::kFrameTimer}));
    EXPECT_FALSE(in.Player().Core().Paused());
    // A second instance without a window is skipped by the palette reset.
    Instance windowless;
    FakeWindow::invalidations_ = 0;
    CPluginPlayer::ResetPlayerPalettes();
    EXPECT_EQ(FakeWindow::invalidations_, 1);
    // Taking the window away stops the movie.
    window.window = nullptr;
    ASSERT_EQ(in.f.setwindow(&in.npp, &window), NPERR_NO_ERROR);
    EXPECT_EQ(FakeWindow::live_, 0);
    EXPECT_TRUE(in.Player().Core().Paused());
  }
  EXPECT_EQ(FakeWindow::live_, 0);
  SetPluginWindowFactory(nullptr);
}

}  // namespace
