// The application palette: none on a true-colour screen; on the fake 8-bit
// palette screen built once from the reserved colours, the cube and greys;
// colour brushes solid or dithered; a reset drops every palette view's
// bitmap and repaints with erase, RepaintAllViews repaints without.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <vector>

#include "platform/qt/dc.h"
#include "platform/qt/messages.h"
#include "platform/qt/wnd.h"
#include "render/gdi/app_palette.h"
#include "render/gdi/app_shell.h"

namespace {

class CCountingWnd : public CWnd {
 public:
  int erases = 0;
  int paints = 0;
  BOOL OnEraseBkgnd(CDC*) override {
    ++erases;
    return 1;
  }
  void OnPaint() override {
    ++paints;
    CPaintDC dc(GetSurface());
  }
};

class CTestView : public CPaletteView {
 public:
  CCountingWnd wnd;
  int drops = 0;
  void DropOffscreenBitmap() override { ++drops; }
  CWnd* PaletteWindow() override { return &wnd; }
};

// The application shell's double: answers one bar and records the windows
// it is asked about.
class CRecordingShell : public CAppShell {
 public:
  CWnd* bar = nullptr;
  std::vector<CWnd*> asked;
  CWnd* GetToolOptionBar(CWnd* window) override {
    asked.push_back(window);
    return bar;
  }
};

void Create(CWnd& wnd, int x) {
  ASSERT_TRUE(wnd.Create("PL_Default", "view", WS_VISIBLE, {x, 0, x + 60, 40}, nullptr, 0));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(wnd.GetWidget()));
  wnd.UpdateWindow();
}

PaletteEntry Entry(int index) {
  PaletteEntry e;
  EXPECT_EQ(GetAppPalette()->GetPaletteEntries(static_cast<UINT>(index), 1, &e), 1u);
  return e;
}

TEST(AppPalette, TrueColourScreenHasNoneAndSolidBrushes) {
  ResetAppPalette();
  EXPECT_EQ(GetAppPalette(), nullptr);
  EXPECT_EQ(GetAppSharedPalette(), nullptr);
  CBrush brush;
  ASSERT_TRUE(CreateColorBrush(brush, 0xFF123456u));
  EXPECT_EQ(brush.Style(), BS_SOLID);
  EXPECT_EQ(brush.Color(), 0x123456u);  // the low 24 bits
}

TEST(AppPalette, FakePaletteScreenBuildsOnceAndDithers) {
  SetFakePaletteScreen(true);
  ResetAppPalette();
  const int live = CSharedPalette::LiveCount();
  CPalette* palette = GetAppPalette();
  ASSERT_NE(palette, nullptr);
  CSharedPalette* shared = GetAppSharedPalette();
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(CSharedPalette::LiveCount(), live + 1);
  EXPECT_EQ(GetAppPalette(), palette);  // built once
  EXPECT_EQ(GetAppSharedPalette(), shared);
  EXPECT_EQ(CSharedPalette::LiveCount(), live + 1);
  ASSERT_EQ(palette->GetEntryCount(), 256);
  // 214 cube colours from both ends, red fastest; greys 16..112 in front and
  // 224..128 behind, then 32 and 208; the reserved entries kept.
  struct {
    int index;
    PaletteEntry entry;
  } cases[] = {
      {0, {0, 0, 0, 0}},
      {9, {166, 202, 240, 0}},
      {10, {51, 0, 0, 0x04}},
      {11, {102, 0, 0, 0x04}},
      {245, {204, 255, 255, 0x04}},
      {117, {16, 16, 16, 0x04}},
      {123, {112, 112, 112, 0x04}},
      {138, {224, 224, 224, 0x04}},
      {132, {128, 128, 128, 0x04}},
      {124, {32, 32, 32, 0x04}},
      {131, {208, 208, 208, 0x04}},
      {255, {255, 255, 255, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(Entry(c.index), c.entry) << c.index;

  // A colour of the palette stays solid; one between two entries dithers.
  CBrush exact, between;
  ASSERT_TRUE(CreateColorBrush(exact, RGB(51, 0, 0)));
  EXPECT_EQ(exact.Style(), BS_SOLID);
  ASSERT_TRUE(CreateColorBrush(between, RGB(25, 0, 0)));
  EXPECT_NE(between.Style(), BS_SOLID);
  ASSERT_EQ(between.Pattern().size(), QSize(8, 8));
  int dark = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const QRgb p = between.Pattern().pixel(x, y) & 0xFFFFFF;
      EXPECT_TRUE(p == 0x000000u || p == 0x330000u) << x << "," << y;
      dark += p == 0;
    }
  EXPECT_GT(dark, 16);
  EXPECT_LT(dark, 48);

  // Views: a reset drops their bitmaps and repaints them with erase; the
  // palette is built again once; RepaintAllViews repaints without erase.
  CTestView a, b;
  CCountingWnd bar;
  Create(a.wnd, 0);
  Create(b.wnd, 70);
  Create(bar, 140);
  CRecordingShell shell;
  shell.bar = &bar;
  CAppShell* previous = SetAppShell(&shell);
  JoinPaletteViews(&a);
  JoinPaletteViews(&b);
  JoinPaletteViews(&b);  // once only
  for (CCountingWnd* w : {&a.wnd, &b.wnd, &bar}) w->erases = w->paints = 0;
  RepaintAllViews();
  for (CCountingWnd* w : {&a.wnd, &b.wnd, &bar}) {
    w->UpdateWindow();
    EXPECT_EQ(w->paints, 1);
    EXPECT_EQ(w->erases, 0);
  }
  EXPECT_EQ(shell.asked, std::vector<CWnd*>{nullptr});  // the active frame's bar
  ResetAppPalette();
  EXPECT_EQ(CSharedPalette::LiveCount(), live);
  EXPECT_EQ(a.drops, 1);
  EXPECT_EQ(b.drops, 1);
  for (CCountingWnd* w : {&a.wnd, &b.wnd}) {
    w->UpdateWindow();
    EXPECT_EQ(w->paints, 2);
    EXPECT_EQ(w->erases, 1);
  }
  bar.UpdateWindow();
  EXPECT_EQ(bar.paints, 1);  // the bar is not a palette view
  ASSERT_NE(GetAppPalette(), nullptr);
  GetAppSharedPalette();
  EXPECT_EQ(CSharedPalette::LiveCount(), live + 1);
  LeavePaletteViews(&a);
  ResetAppPalette();
  EXPECT_EQ(a.drops, 1);
  EXPECT_EQ(b.drops, 2);
  LeavePaletteViews(&b);
  // Without a bar (or a shell) only the views repaint.
  shell.bar = nullptr;
  RepaintAllViews();
  SetAppShell(nullptr);
  RepaintAllViews();
  SetAppShell(previous);
  SetFakePaletteScreen(false);
  ResetAppPalette();
  EXPECT_EQ(GetAppPalette(), nullptr);
}

}  // namespace
