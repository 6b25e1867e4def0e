// The player library through its host: the exports of libNPVMP32.so, movies
// streamed in chunks of every size showing the engine's pixels, the popup
// menus and their states, buttons clicked with scripted input, resizing,
// printing at 24 and 1 bits, pages of several movies, and the host's stop
// after an error.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "movie/player/player_core.h"
#include "platform/qt/cursors.h"
#include "platform/qt/dc.h"
#include "platform/qt/input.h"
#include "platform/qt/menu.h"
#include "platform/qt/messages.h"
#include "platform/qt/palette.h"
#include "platform/qt/screen_hook.h"
#include "platform/qt/window_surface.h"
#include "plugin/host/host_core.h"
#include "sample_movie.h"
#include "tests/common/movie_builder.h"
#include "tests/common/recording_player_site.h"

namespace {

using namespace moviebuild;

// The engine's own rendering of a movie's first frame (or its print), for
// comparison with what the library shows.
struct Reference {
  RecordingPlayerSite site;  // paints nothing: the core's bitmap is read
  CPlayerCore core;
  Reference(const Bytes& movie, int w, int h)
      : site(w, h), core(site, MovieReaderMode::kPlugin, PlayerOptions::Plugin()) {
    core.playOnLoad = false;
    core.Feed(movie.data(), movie.size());
  }
  // 0xRRGGBB of the window's pixel.
  uint32_t Screen(int x, int y) {
    EXPECT_TRUE(core.PrepareOffscreen());
    const uint8_t* px = const_cast<COffscreenBitmap&>(core.Bitmap()).Row(y) + x * 4;
    return uint32_t{px[2]} << 16 | uint32_t{px[1]} << 8 | px[0];
  }
};

QImage Grab(CPluginHost::Instance& in) {
  return in.wnd->GetWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Counts pixels that differ from the reference's.
int Mismatches(const QImage& shown, Reference& ref) {
  int bad = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x)
      if ((shown.pixel(x, y) & 0xFFFFFF) != ref.Screen(x, y)) ++bad;
  return bad;
}

HostMovie Movie(Bytes bytes, std::vector<std::pair<std::string, std::string>> params = {},
                int w = 550, int h = 400) {
  HostMovie m;
  m.bytes = std::move(bytes);
  m.url = "http://h.example/movies/sample.vmp";
  m.params = std::move(params);
  m.width = w;
  m.height = h;
  return m;
}

class PluginHost : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host_.Load(VM_PLAYER_LIBRARY, error)) << error;
  }
  void TearDown() override {
    host_.Close();
    SetFakePaletteScreen(false);
    SetMenuTrackHook(nullptr);
    SetInputSource(nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  CPluginHost::Instance* Play(const HostMovie& movie, HostOptions options = {}) {
    CPluginHost::Instance* in = host_.AddInstance(movie, options, nullptr, 0, 0);
    EXPECT_NE(in, nullptr) << host_.Error();
    for (int tick = 0; in && !host_.AllStreamsEnded() && tick < 100000; ++tick) host_.Pump(options);
    QCoreApplication::processEvents();
    return in;
  }
  HWND Hwnd(CPluginHost::Instance& in) { return in.wnd->GetSafeHwnd(); }
  // A left press on the window at `at`: the scripted source then has the
  // button held at each point in turn (at its time; 0: the clock's) and
  // released at the last one, `releaseTime` (0: the clock's).
  struct Held {
    QPoint at;
    uint32_t time;
  };
  void Press(CPluginHost::Instance& in, CScriptedInputSource& script, QPoint at,
             const std::vector<Held>& held, uint32_t releaseTime = 0) {
    CWnd& wnd = *in.wnd;
    auto sample = [&](QPoint p, uint32_t time, bool down) {
      InputSample s;
      s.time = time;
      s.screen = wnd.ClientToScreen(CPoint(p.x(), p.y()));
      s.buttons = down ? MK_LBUTTON : 0;
      script.Push(s);
    };
    for (const Held& h : held) sample(h.at, h.time, true);
    const QPoint last = held.empty() ? at : held.back().at;
    sample(last, releaseTime, false);
    QWidget* w = wnd.GetWidget();
    auto event = [&](QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons down) {
      QMouseEvent e(type, QPointF(p), w->mapToGlobal(QPointF(p)), button, down, Qt::NoModifier);
      QCoreApplication::sendEvent(w, &e);
    };
    event(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
    event(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    event(QEvent::MouseButtonRelease, last, Qt::LeftButton, Qt::NoButton);
  }

  CPluginHost host_;
};

TEST(PluginLibrary, ExportsOnlyTheFourEntryPoints) {
  const std::string command = std::string("nm -D --defined-only ") + VM_PLAYER_LIBRARY;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    char address[64], type[8], name[400];
    if (std::sscanf(line, "%63s %7s %399s", address, type, name) == 3) names.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(names, (std::set<std::string>{"NP_GetEntryPoints", "NP_Initialize", "NP_Shutdown",
                                          "NP_GetMIMEDescription"}));
}

TEST_F(PluginHost, StreamsInAnyChunkSizeShowTheEnginesPixels) {
  const Bytes movie = SampleMovie();
  Reference ref(movie, 550, 400);
  for (uint32_t chunk : {1u, 0u, 7u, 1u << 20}) {
    HostOptions options;
    options.chunk = chunk;
    CPluginHost::Instance* in =
        host_.AddInstance(Movie(movie, {{"play", "false"}}), options, nullptr, 0, 0);
    ASSERT_NE(in, nullptr) << host_.Error();
    uint32_t seed = 12345;
    while (!host_.AllStreamsEnded()) {
      if (chunk == 0) {  // random chunks of 1 to 300 bytes
        seed = seed * 1103515245u + 12345u;
        options.chunk = 1 + (seed >> 16) % 300;
      }
      host_.Pump(options);
    }
    EXPECT_EQ(in->sent, movie.size());
    const QImage shown = Grab(*in);
    ASSERT_EQ(shown.size(), QSize(550, 400));
    EXPECT_EQ(Mismatches(shown, ref), 0) << "chunk " << chunk;
    // The square of frame 0 and the stage colour.
    EXPECT_EQ(shown.pixel(60, 310) & 0xFFFFFF, 0xD22828u) << chunk;
    EXPECT_EQ(shown.pixel(300, 50) & 0xFFFFFF, 0xE1ECFFu) << chunk;
    host_.DestroyInstances();
  }
}

TEST_F(PluginHost, MenusTimersAndQualityFollowWhatWasLoaded) {
  MovieBuilder one;
  ShapeDef s;
  s.Fill(Colour(0, 0, 200)).Rect(0, 0, 2000, 2000, 1);
  one.Shape(1, {0, 2000, 0, 2000}, s).Place(1, 1).Frame();
  Bytes bad = SampleMovie();
  bad[0] = 'X';
  struct Case {
    const char* what;
    Bytes movie;
    UINT menu_first;    // first item
    size_t items;       // items other than separators
    bool timer;         // timer 1 runs
    bool high_checked;  // "High Quality" checked
    bool play_checked;  // "Play" checked (menu 116)
  };
  const Case cases[] = {
      {"many frames", SampleMovie(), 20042, 10, true, false, true},
      {"one frame", one.Finish(), 20042, 5, false, true, false},
      {"bad signature", bad, 20045, 2, false, false, false},
  };
  for (const Case& c : cases) {
    CPluginHost::Instance* in = Play(Movie(c.movie));
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->wnd->HasTimer(1), c.timer) << c.what;
    std::vector<UINT> ids;
    std::map<UINT, std::pair<bool, int>> states;
    SetMenuTrackHook([&](CMenu& menu, CPoint) -> UINT {
      for (int i = 0; i < menu.GetMenuItemCount(); ++i) {
        const UINT id = menu.GetMenuItemID(i);
        if (id == 0) continue;
        ids.push_back(id);
        states[id] = {menu.IsItemEnabled(id), menu.GetItemCheck(id)};
      }
      return 0;
    });
    ::SendMessage(Hwnd(*in), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(100, 100));
    ASSERT_FALSE(ids.empty()) << c.what;
    EXPECT_EQ(ids.front(), c.menu_first) << c.what;
    EXPECT_EQ(ids.size(), c.items) << c.what;
    EXPECT_EQ(ids.back(), 20044u) << c.what;  // About
    if (c.menu_first == 20042) {
      EXPECT_EQ(states[20028].second, c.high_checked ? 1 : 0) << c.what;
      EXPECT_FALSE(states[20030].first) << c.what;  // Zoom Out: not zoomed
      EXPECT_FALSE(states[20034].first) << c.what;  // Show All
    }
    if (c.items == 10) {
      EXPECT_EQ(states[20039], std::make_pair(true, c.play_checked ? 1 : 0)) << c.what;
      EXPECT_EQ(states[20043], std::make_pair(true, 1)) << c.what;  // Loop
    }
    host_.DestroyInstances();
  }
}

TEST_F(PluginHost, MenuCommandsComeBackThroughTheWindowsChain) {
  CPluginHost::Instance* in = Play(Movie(SampleMovie()));
  ASSERT_NE(in, nullptr);
  ASSERT_TRUE(in->wnd->HasTimer(1));
  // "Play" while playing stops; "About" asks the browser for the maker's page.
  for (UINT command : {20039u, 20044u}) {
    SetMenuTrackHook([&](CMenu&, CPoint) -> UINT { return command; });
    ::SendMessage(Hwnd(*in), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
  }
  EXPECT_FALSE(in->wnd->HasTimer(1));
  ASSERT_EQ(host_.urls.size(), 1u);
  EXPECT_EQ(host_.urls[0].second, "_top");
  EXPECT_TRUE(host_.navigations.empty());  // posted, never inside the call
  host_.RunPosted();
  EXPECT_EQ(host_.navigations.size(), 1u);
  // Zoom In around the click, then the cursor over the movie is the pan hand.
  SetMenuTrackHook([](CMenu&, CPoint) -> UINT { return 20042; });
  ::SendMessage(Hwnd(*in), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(275, 200));
  EXPECT_EQ(::SendMessage(Hwnd(*in), WM_SETCURSOR, 0, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), 1);
  ASSERT_NE(GetCursor(), nullptr);
  EXPECT_EQ(GetCursor()->Id(), 102);
  // Made from the resource's masks, not the arrow put in for a missing one.
  EXPECT_FALSE(GetCursor()->Cursor().pixmap().isNull());
  EXPECT_EQ(GetCursor()->Cursor().hotSpot(), QPoint(9, 3));
  ReleaseCursorOverride();
}

TEST_F(PluginHost, ZoomingInStopsAtOneTwipAPixelAndZoomingOutReturnsToShowAll) {
  CPluginHost::Instance* in = Play(Movie(SampleMovie(), {{"play", "false"}}));
  ASSERT_NE(in, nullptr);
  auto command = [&](UINT id) {
    SetMenuTrackHook([id](CMenu&, CPoint) -> UINT { return id; });
    ::SendMessage(Hwnd(*in), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(60, 310));
    SetMenuTrackHook(nullptr);
    QCoreApplication::processEvents();
    return Grab(*in);
  };
  // The stage is 11000 twips across 550 pixels: halving the view gives
  // 5500, 2750, 1375 and 687 twips, then stops at 550 (one twip a pixel).
  std::vector<QImage> in6 = {Grab(*in)};
  for (int k = 1; k <= 6; ++k) in6.push_back(command(20042));
  for (int k = 1; k <= 5; ++k) EXPECT_NE(in6[k], in6[k - 1]) << "zoom " << k;
  EXPECT_EQ(in6[6], in6[5]);
  // Doubling back: 1100, 2200, 4400, 8800, then past the stage: Show All.
  QImage out;
  for (int k = 1; k <= 5; ++k) out = command(20030);
  EXPECT_EQ(out, in6[0]);
}

TEST_F(PluginHost, AButtonActsWhenReleasedOverItAfterDragsOffAndBack) {
  CScriptedInputSource script;
  SetInputSource(&script);
  CPluginHost::Instance* in = Play(Movie(SampleMovie()));
  ASSERT_NE(in, nullptr);
  ASSERT_TRUE(in->wnd->HasTimer(1));
  const QPoint stop(kSampleStopX, kSampleStopY), play(kSamplePlayX, kSamplePlayY), away(300, 100);
  struct Case {
    const char* what;
    QPoint at;
    std::vector<QPoint> held;  // where the button is held, in turn
    bool playing;              // timer 1 runs afterwards
  };
  const Case cases[] = {
      {"stop, released away from it", stop, {away}, true},
      {"stop, dragged off and back", stop, {away, stop}, false},
      {"play", play, {play}, true},
      {"stop", stop, {stop}, false},
  };
  for (const Case& c : cases) {
    std::vector<Held> held;
    for (const QPoint& p : c.held) held.push_back({p, 0});
    Press(*in, script, c.at, held);
    EXPECT_EQ(in->wnd->HasTimer(1), c.playing) << c.what;
  }
  // Over a button the pointer is the button hand.
  EXPECT_EQ(::SendMessage(Hwnd(*in), WM_SETCURSOR, 0, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), 1);
  ASSERT_NE(GetCursor(), nullptr);
  EXPECT_EQ(GetCursor()->Id(), 103);
  ReleaseCursorOverride();
}

// A scripted input source that shows the test the window at every poll of
// a modal loop (before it takes its next sample).
class CWatchedInputSource : public CScriptedInputSource {
 public:
  std::function<void()> onPoll;

 protected:
  void Pump() override {
    if (onPoll) onPoll();
    CScriptedInputSource::Pump();
  }
};

TEST_F(PluginHost, DragPanThroughTheWindowSettlesAfter101MsAndLeavesNoXorMarks) {
  CWatchedInputSource script;
  script.SetTime(1000);
  SetInputSource(&script);
  const Bytes movie = SampleMovie();
  CPluginHost::Instance* in = Play(Movie(movie, {{"play", "false"}}));
  ASSERT_NE(in, nullptr);
  CWnd& wnd = *in->wnd;
  // Zoom in at the sun: the top right quarter of the stage fills the
  // window; the view may move 550 pixels left and 400 down.
  SetMenuTrackHook([](CMenu&, CPoint) -> UINT { return 20042; });
  ::SendMessage(Hwnd(*in), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(450, 70));
  SetMenuTrackHook(nullptr);
  QCoreApplication::processEvents();
  const QImage before = wnd.GetSurface()->Image().copy();

  // Press at the centre, move 40 right and 30 up at 1010 ms, then hold
  // still: 100 ms later nothing has moved yet, 101 ms later the view has.
  const QPoint start(275, 200), to = start + QPoint(40, -30);
  std::vector<QImage> polls;  // the window before each sample is taken
  script.onPoll = [&] { polls.push_back(wnd.GetSurface()->Image().copy()); };
  Press(*in, script, start, {{to, 1010}, {to, 1110}, {to, 1111}, {to, 1150}}, 1160);
  script.onPoll = nullptr;
  QCoreApplication::processEvents();
  const QImage after = wnd.GetSurface()->Image().copy();
  ASSERT_GE(polls.size(), 5u);

  // The frame shown: the client moved with the pointer, inset by 2: its
  // left edge is column 42 and its bottom edge row 367 (the others are off
  // the window).
  auto onFrame = [](int x, int y) { return (x == 42 && y <= 367) || (y == 367 && x >= 42); };
  // Pixels that differ between two pictures, away from the frame's lines.
  auto differences = [&](const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x)
        if (!onFrame(x, y) && a.pixel(x, y) != b.pixel(x, y)) ++n;
    return n;
  };
  // polls[1]: after the move (1010 ms): the old picture under an XOR frame.
  EXPECT_EQ(differences(polls[1], before), 0);
  EXPECT_EQ(polls[1].pixel(42, 100) & 0xFFFFFF, ~before.pixel(42, 100) & 0xFFFFFF);
  EXPECT_EQ(polls[1].pixel(300, 367) & 0xFFFFFF, ~before.pixel(300, 367) & 0xFFFFFF);
  // polls[2]: 100 ms without a move: unchanged.
  EXPECT_EQ(polls[2], polls[1]);
  // polls[3]: 101 ms: the panned picture, still under the frame.
  EXPECT_GT(differences(polls[3], before), 2000);
  EXPECT_EQ(differences(polls[3], after), 0);
  EXPECT_EQ(polls[3].pixel(42, 100) & 0xFFFFFF, ~after.pixel(42, 100) & 0xFFFFFF);

  // Released: no XOR mark is left; the window is the engine's picture after
  // the same zoom and drag, and a full repaint changes nothing.
  Reference ref(movie, 550, 400);
  ref.core.PopupMenu({450, 70});
  ASSERT_TRUE(ref.core.OnCommand(20042));
  ref.site.mouse = {{{315, 170}, true, 10}, {{315, 170}, true, 150}, {{315, 170}, false, 0}};
  ref.core.OnLButtonDown({275, 200});
  EXPECT_EQ(Mismatches(after, ref), 0);
  wnd.Invalidate(false);
  wnd.GetSurface()->InvalidateAll();
  wnd.GetSurface()->UpdateNow();
  EXPECT_EQ(wnd.GetSurface()->Image(), after);
}

TEST_F(PluginHost, PaletteMessagesOnAFakePaletteScreen) {
  SetFakePaletteScreen(true);
  CPluginHost::Instance* in = Play(Movie(SampleMovie(), {{"play", "false"}}));
  ASSERT_NE(in, nullptr);
  auto system = [] {
    std::vector<PaletteEntry> entries(kSystemPaletteSize);
    EXPECT_EQ(GetSystemPaletteEntries(0, kSystemPaletteSize, entries.data()), 256u);
    return entries;
  };
  auto holds = [](const std::vector<PaletteEntry>& palette, uint8_t r, uint8_t g, uint8_t b) {
    return std::any_of(palette.begin(), palette.end(), [&](const PaletteEntry& e) {
      return e.red == r && e.green == g && e.blue == b;
    });
  };
  // The cube of the plug-in's levels goes into the system palette; the
  // players' table is made from it again, so the window is painted anew.
  EXPECT_FALSE(holds(system(), 44, 0, 0));
  EXPECT_FALSE(in->wnd->GetSurface()->NeedsPaint());
  EXPECT_EQ(::SendMessage(Hwnd(*in), WM_QUERYNEWPALETTE, 0, 0), 1);
  const std::vector<PaletteEntry> now = system();
  for (uint8_t level : {44, 86, 135, 192}) EXPECT_TRUE(holds(now, level, 0, 0)) << int{level};
  EXPECT_TRUE(in->wnd->GetSurface()->NeedsPaint());
  QCoreApplication::processEvents();
  // Drawn in 8 bits: every pixel of the window is a colour of the palette.
  const QImage shown = Grab(*in);
  int foreign = 0;
  for (int y = 0; y < shown.height(); y += 3)
    for (int x = 0; x < shown.width(); x += 3) {
      const QRgb c = shown.pixel(x, y);
      foreign += !holds(now, static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)),
                        static_cast<uint8_t>(qBlue(c)));
    }
  EXPECT_EQ(foreign, 0);

  // Another window's palette took the free entries: the players' table no
  // longer matches, so the window is painted again.
  CWnd other;
  other.Create("PL_Default", "other", WS_VISIBLE, CRect(600, 10, 640, 40), nullptr, 0);
  LogPalette greens;
  for (int i = 0; i < 236; ++i)
    greens.entries.push_back({0, static_cast<uint8_t>(20 + i), 0, kPaletteNoCollapse});
  CPalette palette;
  ASSERT_TRUE(palette.CreatePalette(greens));
  {
    CClientDC dc(other.GetSurface());
    dc.SelectPalette(&palette, false);
    dc.RealizePalette();
  }
  EXPECT_EQ(
      ::SendMessage(Hwnd(*in), WM_PALETTECHANGED, reinterpret_cast<WPARAM>(other.GetSafeHwnd()), 0),
      0);
  EXPECT_TRUE(in->wnd->GetSurface()->NeedsPaint());
  QCoreApplication::processEvents();
  other.DestroyWindow();

  // On a true-colour screen the messages change nothing.
  SetFakePaletteScreen(false);
  EXPECT_EQ(::SendMessage(Hwnd(*in), WM_QUERYNEWPALETTE, 0, 0), 0);
  EXPECT_FALSE(in->wnd->GetSurface()->NeedsPaint());
}

TEST_F(PluginHost, ResizingRebuildsTheFrameAtTheNewSize) {
  const Bytes movie = SampleMovie();
  CPluginHost::Instance* in = Play(Movie(movie, {{"play", "false"}}));
  ASSERT_NE(in, nullptr);
  host_.Resize(*in, 0, 0, 275, 200);
  QCoreApplication::processEvents();
  const QImage shown = Grab(*in);
  ASSERT_EQ(shown.size(), QSize(275, 200));
  Reference ref(movie, 275, 200);
  EXPECT_EQ(Mismatches(shown, ref), 0);
}

TEST_F(PluginHost, PrintsTheFrameAt24And1BitsAndFramesAMovieNotYetRead) {
  const Bytes movie = SampleMovie();
  CPluginHost::Instance* in = Play(Movie(movie, {{"play", "false"}}));
  ASSERT_NE(in, nullptr);
  for (bool mono : {false, true}) {
    const QImage page = host_.Print(*in, mono);
    ASSERT_EQ(page.size(), QSize(550, 400));
    Reference ref(movie, 550, 400);
    int64_t w = 550, h = 400;
    COffscreenBitmap direct;
    ASSERT_TRUE(ref.core.RenderForPrint(w, h, mono ? 1 : 32, direct));
    ASSERT_EQ(w, 550);
    int bad = 0, dark = 0;
    for (int y = 0; y < 400; ++y) {
      const uint8_t* row = direct.Row(y);
      for (int x = 0; x < 550; ++x) {
        if (mono) {
          const int bit = row[x / 8] >> (7 - x % 8) & 1;
          const int shown = (page.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF ? 1 : 0;
          bad += bit != shown;
          dark += shown == 0;
        } else {
          const uint32_t rgb =
              uint32_t{row[x * 3 + 2]} << 16 | uint32_t{row[x * 3 + 1]} << 8 | row[x * 3];
          bad += rgb != (page.pixel(x, y) & 0xFFFFFF);
        }
      }
    }
    EXPECT_EQ(bad, 0) << (mono ? "1 bit" : "24 bits");
    if (mono) {
      EXPECT_GT(dark, 1000);
    }
    const std::string pdf = testing::TempDir() + (mono ? "print1.pdf" : "print24.pdf");
    ASSERT_TRUE(SaveImageAsPdf(page, pdf));
    std::ifstream file(pdf, std::ios::binary);
    char head[5] = {};
    file.read(head, 4);
    EXPECT_EQ(std::string(head), "%PDF");
  }
  host_.DestroyInstances();
  // Three bytes: no header yet, so a black frame round the print area.
  HostMovie part = Movie(Bytes(movie.begin(), movie.begin() + 3), {}, 40, 30);
  CPluginHost::Instance* early = Play(part);
  ASSERT_NE(early, nullptr);
  const QImage page = host_.Print(*early, false);
  EXPECT_EQ(page.pixel(0, 0) & 0xFFFFFF, 0u);
  EXPECT_EQ(page.pixel(39, 29) & 0xFFFFFF, 0u);
  EXPECT_EQ(page.pixel(20, 29) & 0xFFFFFF, 0u);
  EXPECT_EQ(page.pixel(20, 15) & 0xFFFFFF, 0xFFFFFFu);
}

// Ghostscript renders a PDF's first page back to pixels at one pixel a
// point: a portable pixmap (bitmap for 1-bit pages). Null when it failed.
QImage RenderPdfBack(const std::string& pdf, bool mono) {
  const std::string out = pdf + (mono ? ".pbm" : ".ppm");
  const std::string command = std::string("gs -q -dNOPAUSE -dBATCH -dSAFER -r72 -sDEVICE=") +
                              (mono ? "pbmraw" : "ppmraw") + " -sOutputFile=" + out + " " + pdf;
  if (std::system(command.c_str()) != 0) return {};
  QImage image;
  if (!image.load(QString::fromStdString(out))) return {};
  return image.convertToFormat(QImage::Format_RGB32);
}

// 0xRRGGBB of the direct render's pixel (1 bit: black or white).
uint32_t DirectPixel(COffscreenBitmap& bitmap, bool mono, int x, int y) {
  const uint8_t* row = bitmap.Row(y);
  if (mono) return (row[x / 8] >> (7 - x % 8) & 1) ? 0xFFFFFFu : 0u;
  return uint32_t{row[x * 3 + 2]} << 16 | uint32_t{row[x * 3 + 1]} << 8 | row[x * 3];
}

TEST_F(PluginHost, PrintedPdfReadBackByGhostscriptIsTheDirectRenderScaled) {
  // Print areas too large for one bitmap: 1100 x 800 at 24 bits (2.6 MB) and
  // 3000 x 2200 at 1 bit (825,000 bytes) are both halved once, then
  // stretched twice over onto the page.
  const Bytes movie = SampleMovie();
  CPluginHost::Instance* in = Play(Movie(movie, {{"play", "false"}}));
  ASSERT_NE(in, nullptr);
  struct Case {
    bool mono;
    int width, height;
    // Of the pixels read back, the share further than `tolerance` (per
    // channel) from the direct render's may not pass `max_off_share`: the
    // PDF writer may keep a colour image lossy; a 1-bit image stays exact
    // but for the rounding of the stretch at the bitmap's pixel edges.
    int tolerance;
    double max_off_share;
    double max_mean_error;  // per channel, 0 to 255
  };
  const Case cases[] = {{false, 1100, 800, 24, 0.01, 3.0}, {true, 3000, 2200, 0, 0.002, 0.6}};
  for (const Case& c : cases) {
    const char* what = c.mono ? "1 bit" : "24 bits";
    Reference ref(movie, 550, 400);
    int64_t w = c.width, h = c.height;
    COffscreenBitmap direct;
    ASSERT_TRUE(ref.core.RenderForPrint(w, h, c.mono ? 1 : 24, direct)) << what;
    ASSERT_EQ(w * 2, c.width) << what;
    ASSERT_EQ(h * 2, c.height) << what;
    const std::string pdf = testing::TempDir() + (c.mono ? "readback1.pdf" : "readback24.pdf");
    ASSERT_TRUE(SaveImageAsPdf(host_.Print(*in, c.mono, c.width, c.height), pdf)) << what;
    const QImage back = RenderPdfBack(pdf, c.mono);
    ASSERT_EQ(back.size(), QSize(c.width, c.height)) << what << ": is Ghostscript installed?";
    int64_t off = 0, errorSum = 0, dark = 0;
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) {
        const uint32_t want = DirectPixel(direct, c.mono, x / 2, y / 2);
        const uint32_t got = back.pixel(x, y) & 0xFFFFFF;
        int worst = 0;
        for (int shift : {0, 8, 16}) {
          const int d = std::abs(static_cast<int>(want >> shift & 0xFF) -
                                 static_cast<int>(got >> shift & 0xFF));
          worst = std::max(worst, d);
          errorSum += d;
        }
        off += worst > c.tolerance;
        dark += got == 0;
      }
    const double pixels = double{1} * c.width * c.height;
    EXPECT_LE(off / pixels, c.max_off_share) << what << ": " << off << " pixels off";
    EXPECT_LE(errorSum / (3 * pixels), c.max_mean_error) << what;
    // A 1-bit frame is mostly white: its dark share shows it was drawn.
    if (c.mono) {
      EXPECT_GT(dark / pixels, 0.05) << what;
    }
  }
}

TEST_F(PluginHost, APageOfEmbedsRunsAnInstanceEach) {
  const std::string dir = testing::TempDir() + "vmphost_page";
  std::filesystem::create_directories(dir);
  const Bytes movie = SampleMovie();
  std::ofstream(dir + "/a.vmp", std::ios::binary)
      .write(reinterpret_cast<const char*>(movie.data()),
             static_cast<std::streamsize>(movie.size()));
  const std::string page =
      "<html><body><EMBED src=\"a.vmp\" width=275 height='200' LOOP=false>\n"
      "<p>text</p><embed src=a.vmp width=110 height=80 play=false quality=high>"
      "<embed src=missing.vmp></body></html>";
  std::string error;
  const std::vector<HostMovie> movies = ReadEmbedPage(page, dir, error);
  EXPECT_EQ(error, "cannot read " + dir + "/missing.vmp");
  ASSERT_EQ(movies.size(), 2u);
  EXPECT_EQ(movies[0].width, 275);
  EXPECT_EQ(movies[0].height, 200);
  EXPECT_EQ(movies[0].params,
            (std::vector<std::pair<std::string, std::string>>{{"loop", "false"}}));
  EXPECT_EQ(movies[1].params, (std::vector<std::pair<std::string, std::string>>{
                                  {"play", "false"}, {"quality", "high"}}));
  HostOptions options;
  for (const HostMovie& m : movies) {
    ASSERT_NE(host_.AddInstance(m, options, nullptr, 0, 0), nullptr);
  }
  while (!host_.AllStreamsEnded()) host_.Pump(options);
  EXPECT_TRUE(host_.Instances()[0]->wnd->HasTimer(1));
  EXPECT_FALSE(host_.Instances()[1]->wnd->HasTimer(1));
  EXPECT_EQ(Grab(*host_.Instances()[1]).size(), QSize(110, 80));
}

TEST(PluginHostErrors, ALibraryThatCannotLoadStopsTheHost) {
  CPluginHost host;
  std::string error;
  EXPECT_FALSE(host.Load("/nonexistent/libNPVMP32.so", error));
  EXPECT_NE(error.find("cannot load the player library"), std::string::npos);
  EXPECT_TRUE(host.Failed());
  EXPECT_EQ(host.AddInstance(Movie(SampleMovie()), {}, nullptr, 0, 0), nullptr);
}

}  // namespace

namespace {

// res/movies/sample.vmp is the builder's sample, byte for byte; set
// VM_WRITE_SAMPLE=1 to write it again after the builder changed.
TEST(SampleMovieFile, IsTheWritersOutputAndPlays) {
  const Bytes movie = SampleMovie();
  EXPECT_EQ(KeptMovie(VM_SOURCE_DIR "/res/movies/sample.vmp", "VM_WRITE_SAMPLE", movie), movie);
  Reference ref(movie, 550, 400);
  EXPECT_TRUE(ref.core.Loaded());
  EXPECT_EQ(ref.core.Movie().FrameCount(), 24);
}

}  // namespace
