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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "movie/player/player_core.h"
#include "movie_builder.h"
#include "platform/qt/cursors.h"
#include "platform/qt/input.h"
#include "platform/qt/menu.h"
#include "platform/qt/messages.h"
#include "plugin/host/host_core.h"
#include "sample_movie.h"
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
    ASSERT_TRUE(host.Load(VM_PLAYER_LIBRARY, error)) << error;
  }
  void TearDown() override {
    host.Close();
    SetMenuTrackHook(nullptr);
    SetInputSource(nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  CPluginHost::Instance* Play(const HostMovie& movie, HostOptions options = {}) {
    CPluginHost::Instance* in = host.AddInstance(movie, options, nullptr, 0, 0);
    EXPECT_NE(in, nullptr) << host.Error();
    for (int tick = 0; in && !host.AllStreamsEnded() && tick < 100000; ++tick) host.Pump(options);
    QCoreApplication::processEvents();
    return in;
  }
  HWND Hwnd(CPluginHost::Instance& in) { return in.wnd->GetSafeHwnd(); }

  CPluginHost host;
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
        host.AddInstance(Movie(movie, {{"play", "false"}}), options, nullptr, 0, 0);
    ASSERT_NE(in, nullptr) << host.Error();
    uint32_t seed = 12345;
    while (!host.AllStreamsEnded()) {
      if (chunk == 0) {  // random chunks of 1 to 300 bytes
        seed = seed * 1103515245u + 12345u;
        options.chunk = 1 + (seed >> 16) % 300;
      }
      host.Pump(options);
    }
    EXPECT_EQ(in->sent, movie.size());
    const QImage shown = Grab(*in);
    ASSERT_EQ(shown.size(), QSize(550, 400));
    EXPECT_EQ(Mismatches(shown, ref), 0) << "chunk " << chunk;
    // The square of frame 0 and the stage colour.
    EXPECT_EQ(shown.pixel(60, 310) & 0xFFFFFF, 0xD22828u) << chunk;
    EXPECT_EQ(shown.pixel(300, 50) & 0xFFFFFF, 0xE1ECFFu) << chunk;
    host.DestroyInstances();
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
    UINT menuFirst;    // first item
    size_t items;      // items other than separators
    bool timer;        // timer 1 runs
    bool highChecked;  // "High Quality" checked
    bool playChecked;  // "Play" checked (menu 116)
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
    EXPECT_EQ(ids.front(), c.menuFirst) << c.what;
    EXPECT_EQ(ids.size(), c.items) << c.what;
    EXPECT_EQ(ids.back(), 20044u) << c.what;  // About
    if (c.menuFirst == 20042) {
      EXPECT_EQ(states[20028].second, c.highChecked ? 1 : 0) << c.what;
      EXPECT_FALSE(states[20030].first) << c.what;  // Zoom Out: not zoomed
      EXPECT_FALSE(states[20034].first) << c.what;  // Show All
    }
    if (c.items == 10) {
      EXPECT_EQ(states[20039], std::make_pair(true, c.playChecked ? 1 : 0)) << c.what;
      EXPECT_EQ(states[20043], std::make_pair(true, 1)) << c.what;  // Loop
    }
    host.DestroyInstances();
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
  ASSERT_EQ(host.urls.size(), 1u);
  EXPECT_EQ(host.urls[0].second, "_top");
  EXPECT_TRUE(host.navigations.empty());  // posted, never inside the call
  host.RunPosted();
  EXPECT_EQ(host.navigations.size(), 1u);
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

TEST_F(PluginHost, ClickingTheButtonsStopsAndPlays) {
  CScriptedInputSource script;
  SetInputSource(&script);
  CPluginHost::Instance* in = Play(Movie(SampleMovie()));
  ASSERT_NE(in, nullptr);
  ASSERT_TRUE(in->wnd->HasTimer(1));
  auto click = [&](int x, int y) {
    QWidget* w = in->wnd->GetWidget();
    const QPoint local(x, y);
    const QPointF global = w->mapToGlobal(QPointF(local));
    QMouseEvent move(QEvent::MouseMove, local, global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
    InputSample held;
    held.screen = CPoint(static_cast<int>(global.x()), static_cast<int>(global.y()));
    held.buttons = MK_LBUTTON;
    script.Push(held);
    held.buttons = 0;
    script.Push(held);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(w, &release);
  };
  click(kSampleStopX, kSampleStopY);
  EXPECT_FALSE(in->wnd->HasTimer(1));
  click(kSamplePlayX, kSamplePlayY);
  EXPECT_TRUE(in->wnd->HasTimer(1));
  // Over a button the pointer is the button hand.
  EXPECT_EQ(::SendMessage(Hwnd(*in), WM_SETCURSOR, 0, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), 1);
  ASSERT_NE(GetCursor(), nullptr);
  EXPECT_EQ(GetCursor()->Id(), 103);
  ReleaseCursorOverride();
}

TEST_F(PluginHost, ResizingRebuildsTheFrameAtTheNewSize) {
  const Bytes movie = SampleMovie();
  CPluginHost::Instance* in = Play(Movie(movie, {{"play", "false"}}));
  ASSERT_NE(in, nullptr);
  host.Resize(*in, 0, 0, 275, 200);
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
    const QImage page = host.Print(*in, mono);
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
  host.DestroyInstances();
  // Three bytes: no header yet, so a black frame round the print area.
  HostMovie part = Movie(Bytes(movie.begin(), movie.begin() + 3), {}, 40, 30);
  CPluginHost::Instance* early = Play(part);
  ASSERT_NE(early, nullptr);
  const QImage page = host.Print(*early, false);
  EXPECT_EQ(page.pixel(0, 0) & 0xFFFFFF, 0u);
  EXPECT_EQ(page.pixel(39, 29) & 0xFFFFFF, 0u);
  EXPECT_EQ(page.pixel(20, 29) & 0xFFFFFF, 0u);
  EXPECT_EQ(page.pixel(20, 15) & 0xFFFFFF, 0xFFFFFFu);
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
    ASSERT_NE(host.AddInstance(m, options, nullptr, 0, 0), nullptr);
  }
  while (!host.AllStreamsEnded()) host.Pump(options);
  EXPECT_TRUE(host.Instances()[0]->wnd->HasTimer(1));
  EXPECT_FALSE(host.Instances()[1]->wnd->HasTimer(1));
  EXPECT_EQ(Grab(*host.Instances()[1]).size(), QSize(110, 80));
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
  const std::string path = std::string(VM_SOURCE_DIR) + "/res/movies/sample.vmp";
  if (std::getenv("VM_WRITE_SAMPLE")) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(movie.data()),
               static_cast<std::streamsize>(movie.size()));
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path;
  const Bytes kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(kept, movie);
  Reference ref(movie, 550, 400);
  EXPECT_TRUE(ref.core.Loaded());
  EXPECT_EQ(ref.core.Movie().FrameCount(), 24);
}

}  // namespace
