// The editor's movie player against the plug-in's player in the same kind of
// window: menus and their ids, "Zoom In Context" against "Zoom In", and the
// editor's button watch returning a highlighted button to up once the
// cursor has left the window.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "movie/qt/movie_player.h"
#include "movie/qt/player_palette.h"
#include "platform/qt/dc.h"
#include "platform/qt/input.h"
#include "platform/qt/menu.h"
#include "platform/qt/messages.h"
#include "platform/qt/palette.h"
#include "platform/qt/screen_hook.h"
#include "platform/qt/window_surface.h"
#include "platform/qt/wnd.h"
#include "plugin/player_palette.h"
#include "plugin/plugin_player.h"
#include "plugin/qt/plugin_platform.h"
#include "res/program_resources.h"
#include "res/startup_movie.h"
#include "startup_movie.h"
#include "tests/common/movie_builder.h"
#include "tests/common/recording_player_site.h"

namespace {

using namespace moviebuild;

constexpr int kW = 110, kH = 80;  // 2200 x 1600 twips at 20 twips per pixel

// A window that hands its messages to the editor's player.
class CPlayerHostWnd : public CWnd {
 public:
  CMoviePlayer* player = nullptr;
  LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
    if (player) return player->WindowProc(GetSafeHwnd(), message, w, l);
    return CWnd::WindowProc(message, w, l);
  }
};

Bytes Movie(int frames, bool withButton) {
  MovieBuilder b({0, 2200, 0, 1600});
  if (withButton) {
    ShapeDef up, over;
    up.Fill(Colour(0, 200, 0)).Rect(0, 0, 400, 400, 1);
    over.Fill(Colour(200, 200, 0)).Rect(0, 0, 400, 400, 1);
    b.Shape(10, {0, 400, 0, 400}, up).Shape(11, {0, 400, 0, 400}, over);
    b.Button(20,
             {{kButtonUp, 10, 1, {}},
              {kButtonOver, 11, 1, {}},
              {kButtonDown, 11, 1, {}},
              {kButtonHitArea, 10, 1, {}}},
             Actions({ACT_HALT}));
    b.Place(20, 5);
  }
  for (int n = 0; n < frames; ++n) {
    ShapeDef s;
    s.Fill(Colour(10, 20, 200)).Rect(1000, 1000, 2000, 1500, 1);
    b.Shape(static_cast<uint16_t>(n + 1), {1000, 2000, 1000, 1500}, s);
    b.Place(static_cast<uint16_t>(n + 1), static_cast<uint16_t>(n + 1)).Frame();
  }
  return b.Finish();
}

// Paints what is invalid in the window now (once Qt has shown it).
void PaintWindow(CWnd& wnd) {
  QCoreApplication::processEvents();
  wnd.UpdateWindow();
}

// One player of either kind in a window of its own.
struct AnyPlayer {
  bool editor;
  CPlayerHostWnd wnd;
  std::unique_ptr<CMoviePlayer> movie;
  NPP_t npp{};
  NPWindow record{};
  std::unique_ptr<CPluginPlayer> plugin;

  AnyPlayer(bool isEditor, const Bytes& bytes) : editor(isEditor) {
    wnd.Create("PL_Default", "player", WS_VISIBLE, CRect(10, 10, 10 + kW, 10 + kH), nullptr, 0);
    if (editor) {
      movie = std::make_unique<CMoviePlayer>();
      wnd.player = movie.get();
      movie->SetWindow(wnd.GetSafeHwnd());
      movie->LoadMovie(bytes.data(), bytes.size());
    } else {
      plugin = std::make_unique<CPluginPlayer>(&npp, NP_EMBED);
      record.window = wnd.GetSafeHwnd();
      plugin->SetWindow(&record);
      NPStream stream{};
      plugin->AcceptStream(&stream);
      plugin->Write(bytes.data(), static_cast<int32_t>(bytes.size()));
    }
  }
  ~AnyPlayer() {
    wnd.player = nullptr;
    movie.reset();
    plugin.reset();
    wnd.DestroyWindow();
  }
  CPlayerCore& Core() { return editor ? movie->Core() : plugin->Core(); }
  HWND Hwnd() { return wnd.GetSafeHwnd(); }
  // Opens the popup menu at a point and chooses `command` (0: none); the
  // ids of the menu's items come back.
  // The items' states (enabled, checked) come back in `states` when given.
  using States = std::map<UINT, std::pair<bool, int>>;
  std::vector<UINT> Menu(int x, int y, UINT command = 0, States* states = nullptr) {
    std::vector<UINT> ids;
    SetMenuTrackHook([&](CMenu& menu, CPoint) -> UINT {
      for (int i = 0; i < menu.GetMenuItemCount(); ++i) {
        const UINT id = menu.GetMenuItemID(i);
        if (id == 0) continue;
        ids.push_back(id);
        if (states) (*states)[id] = {menu.IsItemEnabled(id), menu.GetItemCheck(id)};
      }
      return command;
    });
    ::SendMessage(Hwnd(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, y));
    SetMenuTrackHook(nullptr);
    return ids;
  }
};

class MoviePlayers : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterProgramResources();
    InstallPluginPlatform();
  }
  void TearDown() override {
    SetInputSource(nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
};

TEST_F(MoviePlayers, MenusOfEachPlayer) {
  Bytes partial = Movie(3, false);
  partial.resize(5);
  struct Case {
    bool editor;
    const char* movie;
    std::vector<UINT> ids;
  };
  const std::vector<UINT> editorMany = {33195, 33188, 33189, 33187, 33081,
                                        33190, 33191, 33193, 33192};
  const std::vector<UINT> editorOne = {33195, 33194, 33188, 33189, 33187,
                                       33190, 33191, 33193, 33192, 33196};
  const Case cases[] = {
      {false, "many", {20042, 20030, 20034, 20028, 20039, 20043, 20025, 20040, 20041, 20044}},
      {false, "one", {20042, 20030, 20034, 20028, 20044}},
      {false, "partial", {20045, 20044}},
      {true, "many", editorMany},
      {true, "one", editorOne},
      {true, "partial", editorOne},
  };
  for (const Case& c : cases) {
    const std::string kind = c.movie;
    const Bytes bytes = kind == "many"  ? Movie(3, false)
                        : kind == "one" ? Movie(1, false)
                                        : partial;
    AnyPlayer p(c.editor, bytes);
    EXPECT_EQ(p.Menu(5, 5), c.ids) << (c.editor ? "editor " : "plug-in ") << kind;
    // Timer 1 runs for a movie of many frames only.
    EXPECT_EQ(p.wnd.HasTimer(1), kind == "many") << kind;
  }
}

TEST_F(MoviePlayers, MenuStatesFollowTheSameRulesInBothPlayers) {
  // The same commands: the editor's id, the plug-in's id.
  const std::vector<std::pair<UINT, UINT>> same = {{33195, 20042}, {33188, 20030}, {33189, 20034},
                                                   {33187, 20028}, {33081, 20039}, {33190, 20043},
                                                   {33191, 20025}, {33193, 20040}, {33192, 20041}};
  auto plugin = [&](UINT editorId) {
    for (const auto& [e, p] : same)
      if (e == editorId) return p;
    return 0u;
  };
  struct Step {
    const char* what;
    std::vector<UINT> commands;  // the editor's ids, chosen in turn
    // Expected (enabled, checked) of Zoom Out, High Quality, Play, Rewind,
    // Forward.
    std::pair<bool, int> zoom_out, high, play, rewind, forward;
  };
  const Step steps[] = {
      {"loaded", {}, {false, 0}, {true, 0}, {true, 1}, {false, 0}, {true, 0}},
      {"stopped, forward", {33081, 33193}, {false, 0}, {true, 0}, {true, 0}, {true, 0}, {true, 0}},
      {"zoomed, high quality",
       {33195, 33187},
       {true, 0},
       {true, 1},
       {true, 0},
       {true, 0},
       {true, 0}},
      {"at the end", {33193}, {true, 0}, {true, 1}, {true, 0}, {true, 0}, {false, 0}},
  };
  AnyPlayer editor(true, Movie(3, false)), plug(false, Movie(3, false));
  for (const Step& step : steps) {
    for (UINT id : step.commands) {
      editor.Menu(50, 40, id);
      plug.Menu(50, 40, plugin(id));
    }
    AnyPlayer::States e, p;
    editor.Menu(50, 40, 0, &e);
    plug.Menu(50, 40, 0, &p);
    for (const auto& [editorId, pluginId] : same)
      EXPECT_EQ(e[editorId], p[pluginId]) << step.what << ": " << editorId;
    EXPECT_EQ(e[33188], step.zoom_out) << step.what;
    EXPECT_EQ(e[33187], step.high) << step.what;
    EXPECT_EQ(e[33081], step.play) << step.what;
    EXPECT_EQ(e[33191], step.rewind) << step.what;
    EXPECT_EQ(e[33193], step.forward) << step.what;
  }
}

TEST_F(MoviePlayers, ZoomInContextZoomsAtTheClickZoomInAtTheCentre) {
  struct Case {
    bool editor;
    UINT command;
    bool at_click;
  };
  const Case cases[] = {{true, 33195, false}, {true, 33194, true}, {false, 20042, true}};
  for (const Case& c : cases) {
    AnyPlayer p(c.editor, Movie(1, false));
    p.Menu(10, 10, c.command);
    ASSERT_TRUE(p.Core().Zoomed()) << c.command;
    const Rect32& z = p.Core().ZoomRect();
    // Half the frame each way; at the click it is pushed into the top-left
    // corner, at the centre it stays centred on the frame.
    EXPECT_EQ(z.xmax - z.xmin, 1100) << c.command;
    EXPECT_EQ(z.ymax - z.ymin, 800) << c.command;
    if (c.at_click) {
      EXPECT_EQ(z.xmin, 0) << c.command;
      EXPECT_EQ(z.ymin, 0) << c.command;
    } else {
      EXPECT_EQ(z.xmin, 550) << c.command;
      EXPECT_EQ(z.ymin, 400) << c.command;
    }
    // Zoomed, the pointer is the pan cursor of each player.
    EXPECT_EQ(p.Core().CursorId(), c.editor ? 32647 : 102);
  }
}

TEST_F(MoviePlayers, TheEditorsButtonWatchReleasesAButtonTheCursorLeft) {
  CScriptedInputSource script;
  SetInputSource(&script);
  for (bool editor : {true, false}) {
    AnyPlayer p(editor, Movie(1, true));
    ::SendMessage(p.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    ASSERT_NE(p.Core().Display().TrackedButton(), nullptr);
    EXPECT_EQ(p.Core().CursorId(), editor ? 123 : 103);
    EXPECT_EQ(p.wnd.HasTimer(2), editor);
    // The cursor is now beyond the window's right edge (the edge itself
    // counts as inside).
    for (int dx : {kW, kW + 1}) {
      InputSample away;
      away.screen = p.wnd.ClientToScreen(CPoint(dx, 5));
      GetInputSource().NoteInput(away);
      ::SendMessage(p.Hwnd(), WM_TIMER, 2, 0);
      const bool released = editor && dx > kW;
      EXPECT_EQ(p.Core().Display().TrackedButton() == nullptr, released)
          << (editor ? "editor " : "plug-in ") << dx;
    }
    // With no button tracked the next tick ends the watch.
    ::SendMessage(p.Hwnd(), WM_TIMER, 2, 0);
    EXPECT_FALSE(p.wnd.HasTimer(2));
  }
}

// res/movies/startup.vmp is the builder's start-up movie, byte for byte, and
// the resources hold it as "VMPA" 571; set VM_WRITE_STARTUP=1 to write the
// file again after the builder changed (then build again to compile it in).
TEST_F(MoviePlayers, TheStartupMovieIsCompiledInAndPlaysInTheStartupScreen) {
  const Bytes movie = StartupMovie();
  EXPECT_EQ(KeptMovie(VM_SOURCE_DIR "/res/movies/startup.vmp", "VM_WRITE_STARTUP", movie), movie);
  const std::vector<uint8_t>* data = Resources().FindData(kMovieResourceType, kStartupMovie);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(*data, movie);

  // The start-up screen is 397 x 300; its player window lies inside it,
  // one pixel in from each side.
  constexpr int kScreenW = 397 - 2, kScreenH = 300 - 2;
  CPlayerHostWnd wnd;
  wnd.Create("PL_Default", "start-up", WS_VISIBLE, CRect(1, 1, 1 + kScreenW, 1 + kScreenH), nullptr,
             0);
  CMoviePlayer player;
  wnd.player = &player;
  player.SetWindow(wnd.GetSafeHwnd());
  player.Core().autoQuality = false;  // the engine's picture below is drawn plain
  player.LoadMovie(data->data(), data->size());
  CPlayerCore& core = player.Core();
  ASSERT_TRUE(core.Loaded());
  EXPECT_EQ(core.Movie().FrameCount(), 24);
  // The stage fills the window at 20 twips a pixel.
  const Rect32& stage = core.Movie().FrameRect();
  EXPECT_EQ(stage.xmax - stage.xmin, kScreenW * 20);
  EXPECT_EQ(stage.ymax - stage.ymin, kScreenH * 20);
  EXPECT_TRUE(wnd.HasTimer(1));
  PaintWindow(wnd);

  // Each tick of timer 1 shows the next frame as the engine draws it; the
  // 24th goes round to frame 0 again.
  RecordingPlayerSite site(kScreenW, kScreenH);
  CPlayerCore engine(site, MovieReaderMode::kEditor, PlayerOptions::Editor());
  engine.playOnLoad = false;
  engine.autoQuality = false;
  engine.Feed(data->data(), data->size());
  std::vector<QImage> shown;
  for (int tick = 0; tick <= 24; ++tick) {
    if (tick > 0) ::SendMessage(wnd.GetSafeHwnd(), WM_TIMER, 1, 0);
    const int frame = tick % 24;
    ASSERT_EQ(core.CurrentFrame(), frame) << tick;
    engine.GotoFrame(frame);
    ASSERT_TRUE(engine.PrepareOffscreen());
    auto& bitmap = const_cast<COffscreenBitmap&>(engine.Bitmap());
    const QImage& image = wnd.GetSurface()->Image();
    int bad = 0;
    for (int y = 0; y < kScreenH; ++y) {
      const uint8_t* row = bitmap.Row(y);
      for (int x = 0; x < kScreenW; ++x) {
        const uint32_t want = uint32_t{row[4 * x + 2]} << 16 | row[4 * x + 1] << 8 | row[4 * x];
        bad += (image.pixel(x, y) & 0xFFFFFF) != want;
      }
    }
    EXPECT_EQ(bad, 0) << "frame " << frame;
    shown.push_back(image.copy());
  }
  EXPECT_TRUE(wnd.HasTimer(1));  // looping: it plays on
  // It moves: the name rises and the swoosh grows.
  auto changed = [&](int a, int b) {
    int n = 0;
    for (int y = 0; y < kScreenH; ++y)
      for (int x = 0; x < kScreenW; ++x) n += shown[a].pixel(x, y) != shown[b].pixel(x, y);
    return n;
  };
  EXPECT_GT(changed(0, 11), 2000);
  EXPECT_GT(changed(12, 23), 2000);
  EXPECT_EQ(changed(0, 24), 0);
  wnd.player = nullptr;
  player.SetWindow(nullptr);
  wnd.DestroyWindow();
}

// ---- Palettes ----------------------------------------------------------------------------

TEST(PlayerPalettes, CubePalettesOnPaletteScreensOnly) {
  struct Case {
    const char* player;
    std::array<uint8_t, 6> levels;
  };
  const Case cases[] = {{"plug-in", PlayerOptions::Plugin().cube_levels},
                        {"editor", PlayerOptions::Editor().cube_levels}};
  EXPECT_EQ(cases[0].levels, (std::array<uint8_t, 6>{0, 44, 86, 135, 192, 255}));
  EXPECT_EQ(cases[1].levels, (std::array<uint8_t, 6>{0, 51, 102, 153, 204, 255}));
  for (const Case& c : cases) {
    CPalette cube;
    EXPECT_FALSE(CreateCubePalette(cube, c.levels)) << c.player << ": true colour";
    SetFakePaletteScreen(true);
    ASSERT_TRUE(CreateCubePalette(cube, c.levels)) << c.player;
    SetFakePaletteScreen(false);
    const std::vector<PaletteEntry> e = PaletteEntries(cube);
    ASSERT_EQ(e.size(), 226u) << c.player;
    // 16 greys, then the cube with red fastest and no greys of its own.
    for (int i = 0; i < 16; ++i) {
      const uint8_t g = i == 15 ? 255 : static_cast<uint8_t>(16 * i);
      EXPECT_EQ(e[i], (PaletteEntry{g, g, g, 0})) << c.player << " " << i;
    }
    const uint8_t l1 = c.levels[1], l4 = c.levels[4];
    EXPECT_EQ(e[16], (PaletteEntry{l1, 0, 0, 0})) << c.player;
    EXPECT_EQ(e[21], (PaletteEntry{0, l1, 0, 0})) << c.player;
    EXPECT_EQ(e[22], (PaletteEntry{l1, l1, 0, 0})) << c.player << ": no grey (l1, l1, l1)";
    EXPECT_EQ(e[225], (PaletteEntry{l4, 255, 255, 0})) << c.player;
    for (size_t i = 16; i < e.size(); ++i)
      EXPECT_FALSE(e[i].red == e[i].green && e[i].green == e[i].blue) << c.player << " " << i;
  }
}

// The fake 8-bit palette screen, with the bitmaps of the player under test
// taking its palette (the editor's: the application palette; the plug-in's:
// the shared player table).
class PaletteScreen : public MoviePlayers {
 protected:
  void Use(bool editor) {
    // Tables built for the true-colour screen (none) are forgotten.
    ResetAppPalette();
    CPluginPlayer::ResetPlayerPalettes();
    SetFakePaletteScreen(true);
    if (editor) {
      InstallQtScreen();
      InstallAppPalette();
    } else {
      InstallPlayerScreen();
    }
    ResetOffscreenProbe();
  }
  void TearDown() override {
    ResetAppPalette();
    CPluginPlayer::ResetPlayerPalettes();
    SetFakePaletteScreen(false);
    SetAppPaletteProvider(nullptr);
    InstallPlayerScreen();
    ResetOffscreenProbe();
    MoviePlayers::TearDown();
  }
  static CPalette* PaletteOf(bool editor) { return editor ? GetAppPalette() : GetPlayerPalette(); }
  static CSharedPalette* TableOf(bool editor) {
    return editor ? GetAppSharedPalette() : GetPlayerColorTable();
  }
  static void Paint(AnyPlayer& p) { PaintWindow(p.wnd); }
  static bool HasBitmap(AnyPlayer& p) { return p.Core().Bitmap().IsValid(); }
  // Another program's window takes the system palette's free entries for
  // shades of red.
  static void AnotherProgramRealisesItsPalette(CWnd& other) {
    LogPalette reds;
    for (int i = 0; i < 236; ++i)
      reds.entries.push_back({static_cast<uint8_t>(20 + i), 0, 0, kPaletteNoCollapse});
    CPalette palette;
    ASSERT_TRUE(palette.CreatePalette(reds));
    CClientDC dc(other.GetSurface());
    dc.SelectPalette(&palette, false);
    EXPECT_GT(dc.RealizePalette(), 200u);
  }
};

TEST_F(PaletteScreen, QueryNewPaletteRealisesTheCubeThenThePlayersPalette) {
  for (bool editor : {false, true}) {
    const char* who = editor ? "editor" : "plug-in";
    Use(editor);
    AnyPlayer p(editor, Movie(1, false));
    Paint(p);
    // Painted on an 8-bit bitmap in the player's palette, which the system
    // palette then holds.
    ASSERT_TRUE(HasBitmap(p)) << who;
    EXPECT_EQ(p.Core().Bitmap().BitsPerPixel(), 8) << who;
    EXPECT_EQ(p.Core().Bitmap().Palette(), TableOf(editor)) << who;
    ASSERT_NE(PaletteOf(editor), nullptr) << who;
    EXPECT_TRUE(SystemPaletteHolds(*PaletteOf(editor))) << who;

    // The cube realised in the foreground changes the system palette, so
    // what was drawn in the old colours goes; the player's palette is then
    // realised and the system palette holds it again.
    EXPECT_EQ(::SendMessage(p.Hwnd(), WM_QUERYNEWPALETTE, 0, 0), 1) << who;
    EXPECT_FALSE(HasBitmap(p)) << who;
    EXPECT_TRUE(p.wnd.GetSurface()->NeedsPaint()) << who;
    ASSERT_NE(PaletteOf(editor), nullptr) << who;
    EXPECT_TRUE(SystemPaletteHolds(*PaletteOf(editor))) << who;
    // The plug-in's table is the system palette, so it holds the cube of
    // its own levels; the editor's application palette has its own cube.
    const std::vector<PaletteEntry> now = PaletteEntries(*PaletteOf(editor));
    const uint8_t level = editor ? 51 : 44;
    EXPECT_NE(std::find_if(now.begin(), now.end(),
                           [&](const PaletteEntry& e) {
                             return e.red == level && e.green == 0 && e.blue == 0;
                           }),
              now.end())
        << who;
    Paint(p);
    ASSERT_TRUE(HasBitmap(p)) << who;
    EXPECT_EQ(p.Core().Bitmap().Palette(), TableOf(editor)) << who;
    // The plug-in's table keeps the cube: asking again changes nothing.
    if (!editor) {
      EXPECT_EQ(::SendMessage(p.Hwnd(), WM_QUERYNEWPALETTE, 0, 0), 1);
      EXPECT_TRUE(HasBitmap(p));
    }
  }
}

TEST_F(PaletteScreen, AnotherProgramsPaletteResetsEveryPlayersBitmap) {
  for (bool editor : {false, true}) {
    const char* who = editor ? "editor" : "plug-in";
    Use(editor);
    AnyPlayer a(editor, Movie(1, false)), b(editor, Movie(3, false));
    Paint(a);
    Paint(b);
    ASSERT_TRUE(HasBitmap(a) && HasBitmap(b)) << who;
    // The window's own change is left alone.
    EXPECT_EQ(::SendMessage(a.Hwnd(), WM_PALETTECHANGED, reinterpret_cast<WPARAM>(a.Hwnd()), 0), 0);
    EXPECT_TRUE(HasBitmap(a) && HasBitmap(b)) << who;

    CWnd other;
    other.Create("PL_Default", "other", WS_VISIBLE, CRect(300, 10, 340, 40), nullptr, 0);
    AnotherProgramRealisesItsPalette(other);
    const auto changed = reinterpret_cast<WPARAM>(other.GetSafeHwnd());
    EXPECT_EQ(::SendMessage(a.Hwnd(), WM_PALETTECHANGED, changed, 0), 0) << who;
    EXPECT_FALSE(HasBitmap(a)) << who;
    EXPECT_FALSE(HasBitmap(b)) << who;
    EXPECT_TRUE(b.wnd.GetSurface()->NeedsPaint()) << who;
    Paint(a);
    ASSERT_TRUE(HasBitmap(a)) << who;
    EXPECT_EQ(a.Core().Bitmap().Palette(), TableOf(editor)) << who;
    if (!editor) {
      // The shared table was made again from the changed system palette:
      // the other player's message finds nothing to reset, so the first
      // player's new bitmap stays.
      EXPECT_EQ(GetPlayerColorTable()->table.entries[100], PackRgb(110, 0, 0));
      EXPECT_EQ(::SendMessage(b.Hwnd(), WM_PALETTECHANGED, changed, 0), 0);
      EXPECT_TRUE(HasBitmap(a));
      Paint(b);
      EXPECT_EQ(b.Core().Bitmap().Palette(), GetPlayerColorTable());
    }
    other.DestroyWindow();
  }
}

TEST_F(MoviePlayers, OnTrueColourScreensThePaletteMessagesDoNothing) {
  for (bool editor : {false, true}) {
    AnyPlayer p(editor, Movie(1, false));
    PaintWindow(p.wnd);
    ASSERT_TRUE(p.Core().Bitmap().IsValid());
    EXPECT_EQ(p.Core().Bitmap().BitsPerPixel(), 32);
    EXPECT_EQ(editor ? GetAppPalette() : GetPlayerPalette(), nullptr);
    EXPECT_EQ(::SendMessage(p.Hwnd(), WM_QUERYNEWPALETTE, 0, 0), 0);
    EXPECT_EQ(::SendMessage(p.Hwnd(), WM_PALETTECHANGED, 0, 0), 0);
    EXPECT_TRUE(p.Core().Bitmap().IsValid());
  }
}

}  // namespace
