// The host-neutral player: pacing on a fake clock, quality switching, loops,
// frame scripts, buttons, zoom and panning, menus, printing and intake, all
// through a fake window site whose "screen" is a pixel array painted the way
// a window's paint would.
#include "movie/player/player_core.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <random>

#include "tests/common/movie_builder.h"
#include "tests/common/recording_player_site.h"

namespace {

using namespace moviebuild;

constexpr int32_t kW = 110, kH = 80;  // 100 twips a pixel for the default stage

struct Player {
  RecordingPlayerSite site{kW, kH};
  CPlayerCore core;
  explicit Player(PlayerOptions options = PlayerOptions::Plugin(),
                  MovieReaderMode mode = MovieReaderMode::kPlugin)
      : core(site, mode, std::move(options)) {
    site.core = &core;
  }
  void Load(const Bytes& movie) {
    core.Feed(movie.data(), movie.size());
    site.PaintAll();
  }
  // A timer tick as the window's timer message gives it.
  void Tick(uint32_t ms = 100) {
    site.clock += ms;
    if (site.timers.count(CPlayerCore::kFrameTimer)) core.OnTimer(false);
  }
};

// Frame n shows a square of colour n at x = 10 n pixels.
uint32_t FrameColour(int n) {
  return Colour(static_cast<uint8_t>(40 * n + 20), 0, 200);
}

void AddFrames(MovieBuilder& b, int count, uint16_t firstId = 1) {
  for (int n = 0; n < count; ++n) {
    ShapeDef s;
    s.Fill(FrameColour(n)).Rect(n * 1000, 0, n * 1000 + 1000, 1000, 1);
    const uint16_t id = static_cast<uint16_t>(firstId + n);
    b.Shape(id, {n * 1000, n * 1000 + 1000, 0, 1000}, s).Place(id, static_cast<uint16_t>(n + 1));
    b.Frame();
  }
}

Bytes Frames(int count) {
  MovieBuilder b;
  AddFrames(b, count);
  return b.Finish();
}

Bytes JumpAction(uint16_t frame) {
  return {ACT_JUMP_TO_FRAME, 2, 0, static_cast<uint8_t>(frame), static_cast<uint8_t>(frame >> 8)};
}

// A get-URL action without the list's end code, to be followed by more.
Bytes UrlAction(const std::string& url, const std::string& target) {
  Bytes out = OpenUrlAction(url, target);
  out.pop_back();
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Button 20 over pixels 0..10 x 60..70 of the window, placed at depth 50.
void AddButton(MovieBuilder& b, const Bytes& actions) {
  AddStateButton(b, {0, 1000, 6000, 7000}, 1, actions);
  b.Place(20, 50);
}

TEST(PlayerCoreIntake, ChunkingNeverChangesTheFramesShown) {
  const Bytes movie = Frames(5);
  std::vector<uint32_t> reference;
  for (int mode = 0; mode < 3; ++mode) {
    Player p;
    p.core.playOnLoad = false;
    std::mt19937 rng(7);
    for (size_t at = 0; at < movie.size();) {
      size_t n = mode == 0 ? 1 : mode == 1 ? 1 + rng() % 40 : movie.size();
      n = std::min(n, movie.size() - at);
      p.core.Feed(movie.data() + at, n);
      at += n;
    }
    EXPECT_TRUE(p.core.Loaded());
    p.core.GotoFrame(3);
    p.site.PaintAll();
    EXPECT_EQ(p.core.CurrentFrame(), 3);
    if (mode == 0) {
      reference = p.site.screen;
    } else {
      EXPECT_EQ(p.site.screen, reference) << "chunking mode " << mode;
    }
  }
  // The squares of frames 0..3 are on the stage.
  Player p;
  p.core.playOnLoad = false;
  p.Load(movie);
  p.core.GotoFrame(3);
  p.site.PaintAll();
  for (int n = 0; n < 4; ++n) {
    const uint32_t c = FrameColour(n);
    const uint32_t rgb = (c & 0xFF) << 16 | (c & 0xFF00) | c >> 16;
    EXPECT_EQ(p.site.At(n * 10 + 5, 5), rgb) << "frame " << n;
  }
  EXPECT_EQ(p.site.At(45, 5), 0xFFFFFFu);
}

// While a movie streams in, every write before it counts as loaded reads on
// and updates the view. A host that never paints is asked to repaint after
// each such write and after none later; a host that paints what it is asked
// to, or a player that paints at once, shows after every write exactly what
// the same bytes show written at once, and loads on the same byte.
TEST(PlayerCoreIntake, EveryWriteShowsWhatTheSameBytesShowWrittenAtOnce) {
  // Frame 0: a stage colour and three squares, one a long record; then
  // frames of one square each.
  MovieBuilder b;
  b.StageColor(Colour(10, 20, 30));
  for (int n = 0; n < 3; ++n) {
    ShapeDef s;
    s.Fill(FrameColour(n)).Rect(n * 2000, 4000, n * 2000 + 1500, 5500, 1);
    if (n == 1)  // a shape record longer than a short header can declare
      for (int i = 0; i < 40; ++i) s.Rect(n * 2000 + i, 6000, n * 2000 + i + 10, 6010, 1);
    const uint16_t id = static_cast<uint16_t>(n + 1);
    b.Shape(id, {n * 2000, n * 2000 + 1500, 4000, 6010}, s)
        .Place(id, static_cast<uint16_t>(20 + n));
  }
  b.Frame();
  AddFrames(b, 3, 10);
  const Bytes movie = b.Finish();

  struct Shown {
    uint64_t hash;
    bool loaded;
    int32_t frame;
    bool operator==(const Shown&) const = default;
  };
  auto hash = [](const std::vector<uint32_t>& screen) {
    uint64_t h = 1469598103934665603ull;
    for (const uint32_t p : screen) h = (h ^ p) * 1099511628211ull;
    return h;
  };
  // What the first n bytes show written at once.
  std::vector<Shown> at_once(movie.size() + 1);
  for (size_t n = 1; n <= movie.size(); ++n) {
    Player p;
    p.core.playOnLoad = false;
    p.core.Feed(movie.data(), n);
    p.site.PaintAll();
    at_once[n] = {hash(p.site.screen), p.core.Loaded(), p.core.CurrentFrame()};
  }
  ASSERT_FALSE(at_once[movie.size() / 4].loaded);
  ASSERT_TRUE(at_once[movie.size()].loaded);

  enum Host { kNeverPaints, kPaintsWhenAsked, kPlayerPaints };
  for (const Host host : {kNeverPaints, kPaintsWhenAsked, kPlayerPaints}) {
    for (const size_t chunk : {size_t{1}, size_t{0}, movie.size()}) {  // 0: 1 to 40 bytes
      SCOPED_TRACE("host " + std::to_string(host) + " chunk " + std::to_string(chunk));
      PlayerOptions options = PlayerOptions::Plugin();
      options.redraw2PaintsNow = host == kPlayerPaints;
      Player p(options);
      p.core.playOnLoad = false;
      std::mt19937 rng(11);
      for (size_t at = 0; at < movie.size();) {
        const size_t n = std::min(chunk ? chunk : 1 + rng() % 40, movie.size() - at);
        const bool was_loaded = p.core.Loaded();
        const int invalidations = p.site.invalidations;
        p.core.Feed(movie.data() + at, n);
        at += n;
        const bool asked = p.site.invalidations != invalidations;
        if (host == kNeverPaints) {
          ASSERT_EQ(asked, !was_loaded) << at;
          ASSERT_EQ(p.core.Loaded(), at_once[at].loaded) << at;
          continue;
        }
        ASSERT_TRUE(host == kPaintsWhenAsked || !asked) << at;
        if (asked) p.site.PaintAll();
        ASSERT_EQ((Shown{hash(p.site.screen), p.core.Loaded(), p.core.CurrentFrame()}), at_once[at])
            << at;
        // A paint at once copies what it renders: nothing is left for the
        // next write to copy again.
        if (host == kPlayerPaints) {
          ASSERT_TRUE(p.core.Display().TakeRefreshRect().IsEmpty()) << at;
        }
      }
      // The rest of the movie reads on alike.
      p.core.GotoFrame(3);
      p.site.PaintAll();
      EXPECT_EQ(p.core.CurrentFrame(), 3);
      EXPECT_EQ(p.core.Movie().BufferedBytes(), movie.size() - kMoviePrefixSize);
      Player whole;
      whole.core.playOnLoad = false;
      whole.Load(movie);
      whole.core.GotoFrame(3);
      whole.site.PaintAll();
      EXPECT_EQ(p.site.screen, whole.site.screen);
    }
  }
}

TEST(PlayerCoreIntake, LoadingRules) {
  {  // a one-frame movie: high quality, no timer
    Player p;
    p.Load(Frames(1));
    EXPECT_TRUE(p.core.Loaded());
    EXPECT_TRUE(p.core.highQuality);
    EXPECT_FALSE(p.site.timers.count(CPlayerCore::kFrameTimer));
    EXPECT_EQ(p.core.PopupMenu({5, 5}), 117);
  }
  {  // a longer movie starts playing when "play" is on
    Player p;
    p.Load(Frames(3));
    EXPECT_EQ(p.site.timers.at(CPlayerCore::kFrameTimer), 83u);
    EXPECT_FALSE(p.core.highQuality);
    EXPECT_EQ(p.core.PopupMenu({5, 5}), 116);
  }
  {  // a bad signature never loads; the window shows the background
    Bytes movie = Frames(3);
    movie[0] = 'X';
    Player p;
    p.Load(movie);
    EXPECT_FALSE(p.core.Loaded());
    EXPECT_EQ(p.core.PopupMenu({5, 5}), 118);
    EXPECT_EQ(p.site.At(5, 5), 0xFFFFFFu);
    EXPECT_FALSE(p.core.MenuItem(20040).enabled);
  }
  {  // the declared length reached before frame 0 completes loads it too
    MovieBuilder b;
    ShapeDef s;
    s.Fill(Colour(1, 2, 3)).Rect(0, 0, 100, 100, 1);
    b.Shape(1, {0, 100, 0, 100}, s);  // no frame break at all
    const Bytes movie = b.Finish();
    Player p;
    p.Load(movie);
    EXPECT_TRUE(p.core.Loaded());
  }
}

TEST(PlayerCorePacing, LoopWrapsAndTheTimerRunsOn) {
  Player p;
  p.Load(Frames(3));
  std::vector<int32_t> seen;
  for (int i = 0; i < 9; ++i) {
    p.Tick();
    seen.push_back(p.core.CurrentFrame());
  }
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 0, 1, 2, 0, 1, 2, 0}));
  EXPECT_TRUE(p.site.timers.count(CPlayerCore::kFrameTimer));
  EXPECT_FALSE(p.core.Paused());
}

TEST(PlayerCorePacing, WithoutLoopTheLastFramePausesAndPlayRewinds) {
  Player p;
  p.core.loop = false;
  p.Load(Frames(3));
  for (int i = 0; i < 4; ++i) p.Tick();
  EXPECT_EQ(p.core.CurrentFrame(), 2);
  EXPECT_TRUE(p.core.Paused());
  // The timer keeps running idle.
  EXPECT_TRUE(p.site.timers.count(CPlayerCore::kFrameTimer));
  EXPECT_TRUE(p.core.MenuItem(20025).enabled);
  EXPECT_FALSE(p.core.MenuItem(20040).enabled);
  p.core.OnCommand(20039);  // Play
  EXPECT_EQ(p.core.CurrentFrame(), 0);
  EXPECT_FALSE(p.core.Paused());
  p.Tick();
  EXPECT_EQ(p.core.CurrentFrame(), 1);
}

TEST(PlayerCorePacing, FramesBehindSkipsATick) {
  Player p;
  p.core.autoQuality = false;
  p.Load(Frames(8));
  // Each paint takes 200 ms: the frame period is 83 ms, so every frame is late.
  p.site.paint_cost = 200;
  std::vector<int32_t> frames;
  for (int i = 0; i < 6; ++i) {
    p.Tick(1);
    frames.push_back(p.core.CurrentFrame());
  }
  // Two late frames in a row make the next tick a skip that only resets the count.
  EXPECT_EQ(frames, (std::vector<int32_t>{1, 2, 2, 3, 4, 4}));
  // With onlyIfDue a tick before the due time does nothing.
  p.site.paint_cost = 0;
  p.core.OnTimer(true);
  const int32_t f = p.core.CurrentFrame();
  p.core.OnTimer(true);
  EXPECT_EQ(p.core.CurrentFrame(), f);
  p.site.clock += 100;
  p.core.OnTimer(true);
  EXPECT_EQ(p.core.CurrentFrame(), f + 1);
}

TEST(PlayerCorePacing, AutomaticQualitySwitchesByTheCountedFrames) {
  Player p;
  p.core.highQuality = true;
  p.Load(Frames(40));
  ASSERT_TRUE(p.core.highQuality);
  // Slow frames: late ones are counted; more than 4 counted and more than 10
  // since the last switch (the count starts at 1000) switches at the 5th.
  p.site.paint_cost = 90;
  int switchedAt = -1;
  for (int i = 1; i <= 8 && switchedAt < 0; ++i) {
    p.Tick(100);
    // Every second frame a skip tick may come; count only advancing ticks.
    if (!p.core.highQuality) switchedAt = p.core.FramesCounted();
  }
  EXPECT_EQ(switchedAt, 5);
  // Fast frames: early ones; the switch back needs more than 10 frames since
  // the switch and more than a third early over all counted frames (the
  // counters are never reset).
  p.site.paint_cost = 0;
  int backAt = -1;
  for (int i = 0; i < 40 && backAt < 0; ++i) {
    p.Tick(100);
    if (p.core.highQuality) backAt = p.core.FramesCounted();
  }
  EXPECT_EQ(p.core.LateFrames(), 5);
  EXPECT_EQ(backAt, 16);  // 11 frames since the switch, 11 early of 16 counted
  EXPECT_EQ(p.core.EarlyFrames(), 11);
}

TEST(PlayerCoreScripts, GotoAndHaltShowsTheTargetAndStops) {
  MovieBuilder b;
  AddFrames(b, 1);
  b.Script(Concat({JumpAction(5), Actions({ACT_HALT})}));  // jump, halt, end
  AddFrames(b, 7, 10);
  Player p;
  p.core.playOnLoad = false;
  p.Load(b.Finish());
  p.core.Play();
  p.Tick();  // frame 1 holds the script
  EXPECT_EQ(p.core.CurrentFrame(), 5);
  EXPECT_TRUE(p.core.Paused());
  EXPECT_FALSE(p.site.timers.count(CPlayerCore::kFrameTimer));
}

TEST(PlayerCoreScripts, ScriptedGotoChainsStopAtDepthThree) {
  // Frame k (k = 1..6) jumps to frame k + 1 and opens a URL naming itself.
  MovieBuilder b;
  ShapeDef s;
  s.Fill(Colour(1, 1, 1)).Rect(0, 0, 100, 100, 1);
  b.Shape(1, {0, 100, 0, 100}, s).Place(1, 1).Frame();
  for (int k = 1; k <= 7; ++k) {
    b.Script(
        Concat({UrlAction("f" + std::to_string(k), ""), JumpAction(uint16_t(k + 1)), Actions({})}));
    b.Frame();
  }
  Player p;
  p.core.playOnLoad = false;
  p.Load(b.Finish());
  p.core.Play();
  p.Tick();
  // Frame 1's script runs at depth 1, its target's at 2, and so on; at depth
  // 4 the go-to still happens but frame 5's scripts are dropped.
  ASSERT_EQ(p.site.urls.size(), 4u);
  EXPECT_EQ(p.site.urls[0], (std::pair<std::string, std::string>{"f1", "_self"}));
  EXPECT_EQ(p.site.urls[3].first, "f4");
  EXPECT_EQ(p.core.CurrentFrame(), 5);
}

TEST(PlayerCoreScripts, GetUrlStringsAreBoundedAndTerminated) {
  struct Case {
    Bytes action;
    bool plugin;
    int requests;
  } cases[] = {
      {OpenUrlAction(std::string(511, 'u'), "t"), true, 1},
      {OpenUrlAction(std::string(512, 'u'), "t"), true, 0},
      {OpenUrlAction("u", std::string(256, 't')), true, 0},
      {OpenUrlAction(std::string(600, 'u'), std::string(300, 't')), false, 1},
      // A payload without its terminating zero.
      {Bytes{ACT_OPEN_URL, 3, 0, 'a', 0, 'b', ACT_END}, true, 0},
  };
  for (const Case& c : cases) {
    MovieBuilder b;
    AddFrames(b, 1);
    b.Script(c.action);
    AddFrames(b, 1, 5);
    Player p(c.plugin ? PlayerOptions::Plugin() : PlayerOptions::Editor(),
             c.plugin ? MovieReaderMode::kPlugin : MovieReaderMode::kEditor);
    p.core.playOnLoad = false;
    p.Load(b.Finish());
    p.core.GotoFrame(1);
    EXPECT_EQ(static_cast<int>(p.site.urls.size()), c.requests) << c.action.size();
  }
}

TEST(PlayerCoreButtons, PressDragOffAndBackReleaseRunsTheAction) {
  for (bool backOn : {true, false}) {
    MovieBuilder b;
    AddButton(b, Concat({UrlAction("http://x.example/", "_blank"), Actions({ACT_HALT})}));
    AddFrames(b, 3);
    Player p;
    p.Load(b.Finish());
    p.core.OnMouseMove({5, 65});
    EXPECT_EQ(p.site.At(5, 65), 0xC8C800u);  // over
    EXPECT_EQ(p.site.statuses.back(), "http://x.example/");
    EXPECT_EQ(p.core.CursorId(), 103);
    p.site.mouse = {{{5, 65}, true, 10}, {{50, 30}, true, 10}, {{5, 64}, backOn, 10}};
    p.site.mouse.push_back({{5, 64}, false, 10});
    p.core.OnLButtonDown({5, 65});
    if (backOn) {
      ASSERT_EQ(p.site.urls.size(), 1u);
      EXPECT_EQ(p.site.urls[0].second, "_blank");
      EXPECT_TRUE(p.core.Paused());
    } else {
      EXPECT_TRUE(p.site.urls.empty());
    }
    // Released over the button: highlighted again.
    EXPECT_EQ(p.site.At(5, 65), 0xC8C800u);
  }
}

TEST(PlayerCoreButtons, ThePressLoopKeepsTheMoviePlayingAtItsFramePeriod) {
  // Held on a button for twelve polls 10 ms apart: the loop's ticks advance
  // only when a frame is due (83 ms apart), not at every poll.
  MovieBuilder b;
  AddButton(b, Actions({}));
  AddFrames(b, 6);
  Player p;
  p.Load(b.Finish());
  ASSERT_FALSE(p.core.Paused());
  std::vector<int32_t> seen;
  p.site.on_poll = [&] { seen.push_back(p.core.CurrentFrame()); };
  for (int i = 0; i < 12; ++i) p.site.mouse.push_back({{5, 65}, true, 10});
  p.site.mouse.push_back({{5, 65}, false, 10});
  p.core.OnLButtonDown({5, 65});
  // The first tick is due at once; the next 83 ms later, at the tenth poll.
  EXPECT_EQ(seen, (std::vector<int32_t>{0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2}));
}

TEST(PlayerCoreButtons, EditorButtonWatchReleasesTheButtonOnceTheCursorLeaves) {
  MovieBuilder b;
  AddButton(b, Actions({}));
  AddFrames(b, 1);
  Player p(PlayerOptions::Editor(), MovieReaderMode::kEditor);
  p.Load(b.Finish());
  p.core.OnMouseMove({5, 65});
  EXPECT_EQ(p.site.timers.at(CPlayerCore::kButtonWatchTimer), 250u);
  EXPECT_EQ(p.core.CursorId(), 123);
  // The cursor on the client's edge is still inside.
  p.site.mouse = {{{kW, 65}, false, 0}};
  p.core.OnButtonWatch();
  EXPECT_NE(p.core.Display().TrackedButton(), nullptr);
  p.site.mouse = {{{kW + 1, 65}, false, 0}};
  p.core.OnButtonWatch();
  EXPECT_EQ(p.core.Display().TrackedButton(), nullptr);
  EXPECT_EQ(p.site.At(5, 65), 0x00C800u);  // up again
  p.core.OnButtonWatch();
  EXPECT_FALSE(p.site.timers.count(CPlayerCore::kButtonWatchTimer));
}

TEST(PlayerCoreView, ZoomStopsAtOneTwipPerPixelAndZoomOutReturnsToShowAll) {
  Player p;
  p.core.playOnLoad = false;
  p.Load(Frames(1));
  int64_t lastWidth = 11000;
  for (int i = 0; i < 12; ++i) {
    p.core.Zoom(true, nullptr);
    ASSERT_TRUE(p.core.Zoomed());
    const Rect32 z = p.core.ZoomRect();
    const int64_t w = int64_t{z.xmax} - z.xmin;
    EXPECT_LE(w, lastWidth);
    EXPECT_GE(w, kW);
    EXPECT_GE(int64_t{z.ymax} - z.ymin, kH);
    lastWidth = w;
  }
  EXPECT_EQ(lastWidth, kW);
  for (int i = 0; i < 20 && p.core.Zoomed(); ++i) p.core.Zoom(false, nullptr);
  EXPECT_FALSE(p.core.Zoomed());
  EXPECT_FALSE(p.core.MenuItem(20034).enabled);
}

TEST(PlayerCoreView, ZoomInContextUsesTheMenuPoint) {
  // The plug-in's "Zoom In" and the editor's "Zoom In Context" zoom around the
  // point where the menu opened; the editor's "Zoom In" around the centre.
  struct Case {
    bool editor;
    int command;
    bool around_point;
  } cases[] = {{false, 20042, true}, {true, 33194, true}, {true, 33195, false}};
  for (const Case& c : cases) {
    Player p(c.editor ? PlayerOptions::Editor() : PlayerOptions::Plugin(),
             c.editor ? MovieReaderMode::kEditor : MovieReaderMode::kPlugin);
    p.core.playOnLoad = false;
    p.Load(Frames(1));
    EXPECT_EQ(p.core.PopupMenu({20, 20}), c.editor ? 570 : 117);
    ASSERT_TRUE(p.core.OnCommand(c.command));
    const Rect32 z = p.core.ZoomRect();
    const Point32 centre{(z.xmin + z.xmax) / 2, (z.ymin + z.ymax) / 2};
    if (c.around_point) {
      EXPECT_NEAR(centre.x, 2750, 60) << c.command;  // (20, 20) pushed back inside
      EXPECT_NEAR(centre.y, 2000, 60) << c.command;
    } else {
      EXPECT_NEAR(centre.x, 5500, 60);
      EXPECT_NEAR(centre.y, 4000, 60);
    }
  }
}

TEST(PlayerCoreView, DragPanSettlesAfter101MsAndLeavesNoXorMarks) {
  Player p;
  p.core.playOnLoad = false;
  p.Load(Frames(1));
  p.core.Zoom(true, nullptr);
  const Rect32 start = p.core.ZoomRect();
  // Drag 10 pixels left, then hold still: 100 ms is not enough, 101 is.
  std::vector<int32_t> seen;  // the zoom's left edge at each poll
  p.site.on_poll = [&] { seen.push_back(p.core.ZoomRect().xmin); };
  p.site.mouse = {{{30, 30}, true, 0},
                  {{30, 30}, true, 100},
                  {{30, 30}, true, 1},
                  {{30, 30}, true, 0},
                  {{30, 30}, false, 0}};
  p.core.OnLButtonDown({40, 30});
  const int32_t moved = start.xmin + 10 * 50;  // 50 twips a pixel at 2x zoom
  EXPECT_EQ(seen, (std::vector<int32_t>{start.xmin, start.xmin, start.xmin, moved, moved}));
  EXPECT_EQ(p.core.ZoomRect().xmin, moved);
  // The XOR frame is gone: a full repaint changes nothing on the screen.
  const std::vector<uint32_t> shown = p.site.screen;
  p.site.PaintAll();
  EXPECT_EQ(p.site.screen, shown);
  // A drag past the frame's edge stops at it.
  p.site.mouse = {{{-500, 30}, true, 0}, {{-500, 30}, false, 0}};
  p.core.OnLButtonDown({40, 30});
  // (the offset is clamped in pixels and mapped back: within a pixel's twips)
  EXPECT_NEAR(p.core.ZoomRect().xmax, 11000, 50);
}

TEST(PlayerCoreMenus, EnableAndCheckStates) {
  Player p;
  p.core.loop = false;
  p.Load(Frames(3));  // playing at frame 0
  struct Row {
    int id;
    bool enabled, checked;
  };
  auto check = [&](std::initializer_list<Row> rows, const char* when) {
    for (const Row& r : rows) {
      const PlayerMenuItemState s = p.core.MenuItem(r.id);
      EXPECT_TRUE(s.present) << when << " " << r.id;
      EXPECT_EQ(s.enabled, r.enabled) << when << " " << r.id;
      EXPECT_EQ(s.checked, r.checked) << when << " " << r.id;
    }
  };
  check({{20042, true, false},
         {20030, false, false},
         {20034, false, false},
         {20028, true, false},
         {20039, true, true},
         {20043, true, false},
         {20025, false, false},
         {20040, true, false},
         {20041, false, false}},
        "at load");
  p.core.OnCommand(20043);  // loop on
  p.core.OnCommand(20039);  // stop
  p.core.OnCommand(20040);  // forward
  p.core.OnCommand(20028);  // high quality
  p.core.OnCommand(20042);  // zoom in
  check({{20030, true, false},
         {20034, true, false},
         {20028, true, true},
         {20039, true, false},
         {20043, true, true},
         {20025, true, false},
         {20041, true, false}},
        "after commands");
  EXPECT_FALSE(p.core.autoQuality);
  EXPECT_FALSE(p.core.MenuItem(33187).present);
  p.core.OnCommand(20044);
  EXPECT_EQ(p.site.urls.back().second, "_top");
}

TEST(PlayerCorePrint, SizesHalveTogetherAndTheFrameIsRendered) {
  struct Case {
    int64_t w, h;
    int bits;
    int64_t ew, eh;
  } cases[] = {
      {400, 300, 24, 400, 300},
      {1000, 800, 24, 500, 400},
      {2000, 1600, 1, 2000, 1600},
      {4000, 3200, 1, 2000, 1600},
      {1, 2000000, 24, 1, 250000},  // one side never goes below a
                                    // pixel
      // The whole 32-bit range on both sides: the byte count does not overflow.
      {0xFFFFFFFF, 0xFFFFFFFF, 24, 511, 511},
      {0xFFFFFFFF, 0xFFFFFFFF, 1, 2047, 2047},
  };
  for (const Case& c : cases) {
    Player p;
    p.core.playOnLoad = false;
    p.Load(Frames(2));
    int64_t w = c.w, h = c.h;
    COffscreenBitmap out;
    EXPECT_TRUE(p.core.RenderForPrint(w, h, c.bits, out));
    EXPECT_EQ(w, c.ew);
    EXPECT_EQ(h, c.eh);
    EXPECT_EQ(out.BitsPerPixel(), c.bits == 1 ? 1 : 24);
  }
  // The render shows frame 0's square scaled to the print bitmap; the
  // screen is rebuilt afterwards.
  Player p;
  p.core.playOnLoad = false;
  p.Load(Frames(1));
  int64_t w = 220, h = 160;
  COffscreenBitmap out;
  ASSERT_TRUE(p.core.RenderForPrint(w, h, 24, out));
  const uint8_t* px = out.Row(10) + 10 * 3;
  const uint32_t c = FrameColour(0);
  EXPECT_EQ((px[2] << 16 | px[1] << 8 | px[0]), static_cast<int>((c & 0xFF) << 16 | c >> 16));
  p.site.PaintAll();
  EXPECT_EQ(p.site.At(5, 5), (c & 0xFF) << 16 | c >> 16);
  // No header: nothing rendered.
  Player empty;
  w = 10, h = 10;
  EXPECT_FALSE(empty.core.RenderForPrint(w, h, 24, out));
}

TEST(PlayerCoreHelpers, ThrottleUrlResolutionAndCubeColours) {
  EXPECT_EQ(StreamByteBudget(3500, 1000, 1000, 1500), 1000);
  EXPECT_EQ(StreamByteBudget(2000, 1000, 1000, 1500), 0);
  // 10 MB/s after an hour: no wrap.
  EXPECT_EQ(StreamByteBudget(3600000, 0, 10000000, 0), INT32_MAX);
  EXPECT_EQ(StreamByteBudget(3600000, 0, 100000, 0), 360000000);
  // The clock wraps at 31 bits.
  EXPECT_EQ(StreamByteBudget(500, 0x7FFFFFFF - 1999, 1000, 0), 2500);

  struct UrlCase {
    const char* base;
    bool has_base;
    const char* url;
    const char* want;
  } urls[] = {
      {"http://h.example/dir/movie.vmp", true, "next.html", "http://h.example/dir/next.html"},
      {"http://h.example/dir/", true, "a/b.html", "http://h.example/dir/a/b.html"},
      // A base without a path: the address goes after the host.
      {"http://h.example/movie.vmp", true, "next.html", "http://h.example/next.html"},
      {"http://h.example", true, "next.html", "http://h.example/next.html"},
      {"movie.vmp", true, "next.html", "next.html"},
      {"http://h.example/dir/movie.vmp", true, "mailto:x@y", "mailto:x@y"},
      {"", false, "page.html", "page.html"},
  };
  for (const UrlCase& c : urls) EXPECT_EQ(ResolvePlayerUrl(c.base, c.has_base, c.url), c.want);
  EXPECT_EQ(ResolvePlayerUrl("", false, std::string(1022, 'a')).size(), 1022u);
  EXPECT_TRUE(ResolvePlayerUrl("", false, std::string(1023, 'a')).empty());

  const uint8_t plugin[6] = {0, 44, 86, 135, 192, 255};
  const std::vector<uint32_t> cube = PlayerCubeColors(plugin);
  ASSERT_EQ(cube.size(), 226u);
  EXPECT_EQ(cube[0], 0u);
  EXPECT_EQ(cube[14], 0xE0E0E0u);
  EXPECT_EQ(cube[15], 0xFFFFFFu);
  EXPECT_EQ(cube[16], 44u);         // (44, 0, 0): red varies fastest
  EXPECT_EQ(cube[21], 44u << 8);    // (0, 44, 0)
  EXPECT_EQ(cube[225], 0xFFFFC0u);  // (192, 255, 255)
}

}  // namespace
