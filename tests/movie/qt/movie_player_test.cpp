// The editor's movie player against the plug-in's player in the same kind of
// window: menus and their ids, "Zoom In Context" against "Zoom In", and the
// editor's button watch returning a highlighted button to up once the
// cursor has left the window.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>
#include <string>
#include <vector>

#include "movie/qt/movie_player.h"
#include "movie_builder.h"
#include "platform/qt/input.h"
#include "platform/qt/menu.h"
#include "platform/qt/messages.h"
#include "platform/qt/wnd.h"
#include "plugin/plugin_player.h"
#include "plugin/qt/plugin_platform.h"
#include "res/program_resources.h"

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
  std::vector<UINT> Menu(int x, int y, UINT command = 0) {
    std::vector<UINT> ids;
    SetMenuTrackHook([&](CMenu& menu, CPoint) -> UINT {
      for (int i = 0; i < menu.GetMenuItemCount(); ++i)
        if (menu.GetMenuItemID(i) != 0) ids.push_back(menu.GetMenuItemID(i));
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

TEST_F(MoviePlayers, ZoomInContextZoomsAtTheClickZoomInAtTheCentre) {
  struct Case {
    bool editor;
    UINT command;
    bool atClick;
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
    if (c.atClick) {
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

}  // namespace
