// The fake 8-bit palette screen: device capabilities, the system palette's
// static colours, the application palette planned from them, offscreen
// bitmaps taking it; logical palettes and their (colour-neutral) selection.
#include <gtest/gtest.h>

#include "platform/qt/dc.h"
#include "platform/qt/palette.h"
#include "platform/qt/screen_hook.h"

namespace {

CSharedPalette* g_appPalette = nullptr;
CSharedPalette* AppPaletteForTest() {
  return g_appPalette;
}

TEST(PaletteScreen, FakeEightBitScreenIsAPaletteDeviceWithReservedColours) {
  QImage image(8, 8, QImage::Format_RGB32);
  CDC dc;
  ASSERT_TRUE(dc.AttachImage(&image));
  PaletteEntry few[4];
  // True colour unless asked.
  EXPECT_EQ(dc.GetDeviceCaps(BITSPIXEL), 32);
  EXPECT_EQ(dc.GetDeviceCaps(RASTERCAPS) & RC_PALETTE, 0);
  EXPECT_EQ(GetSystemPaletteEntries(0, 4, few), 0u);
  EXPECT_EQ(PlanAppPalette(QtScreenPaletteInfo()).kind, AppPaletteKind::kNone);

  SetFakePaletteScreen(true);
  EXPECT_EQ(dc.GetDeviceCaps(BITSPIXEL) * dc.GetDeviceCaps(PLANES), 8);
  EXPECT_NE(dc.GetDeviceCaps(RASTERCAPS) & RC_PALETTE, 0);
  EXPECT_EQ(dc.GetDeviceCaps(SIZEPALETTE), 256);
  EXPECT_EQ(dc.GetDeviceCaps(NUMRESERVED), 20);
  std::vector<PaletteEntry> system(300);
  EXPECT_EQ(GetSystemPaletteEntries(0, 300, system.data()), 256u);
  std::vector<PaletteEntry> tail(10);
  EXPECT_EQ(GetSystemPaletteEntries(250, 10, tail.data()), 6u);  // up to the end
  struct {
    int index;
    PaletteEntry entry;
  } cases[] = {{0, {0, 0, 0, 0}},         {7, {192, 192, 192, 0}},  {9, {166, 202, 240, 0}},
               {10, {0, 0, 0, 0}},        {245, {0, 0, 0, 0}},      {246, {255, 251, 240, 0}},
               {248, {128, 128, 128, 0}}, {255, {255, 255, 255, 0}}};
  for (const auto& c : cases) EXPECT_EQ(system[c.index], c.entry) << c.index;

  // The application palette planned on it keeps the reserved colours and
  // fills the rest from both ends.
  const AppPalettePlan plan = PlanAppPalette(QtScreenPaletteInfo());
  ASSERT_EQ(plan.kind, AppPaletteKind::kIdentity);
  ASSERT_EQ(plan.log_palette.entries.size(), 256u);
  for (int i : {0, 9, 246, 255}) EXPECT_EQ(plan.log_palette.entries[i], system[i]) << i;
  EXPECT_EQ(plan.log_palette.entries[10], (PaletteEntry{51, 0, 0, 0x04}));
  EXPECT_EQ(plan.log_palette.entries[245], (PaletteEntry{204, 255, 255, 0x04}));

  // Offscreen bitmaps made for the screen are 8-bit with its application palette.
  g_appPalette = CSharedPalette::CreateFromLogPalette(plan.log_palette);
  ASSERT_NE(g_appPalette, nullptr);
  SetAppPaletteProvider(&AppPaletteForTest);
  InstallQtScreen();
  ResetOffscreenProbe();
  {
    COffscreenBitmap bitmap;
    ASSERT_TRUE(bitmap.Create(Rect32{0, 16, 0, 8}));
    EXPECT_EQ(bitmap.BitsPerPixel(), 8);
    EXPECT_EQ(bitmap.Palette(), g_appPalette);
  }
  SetFakePaletteScreen(false);
  SetAppPaletteProvider(nullptr);
  ResetOffscreenProbe();
  SetOffscreenScreen(nullptr);
  CSharedPalette::Release(g_appPalette);
  g_appPalette = nullptr;
  EXPECT_EQ(dc.GetDeviceCaps(BITSPIXEL), 32);
}

TEST(PaletteScreen, LogicalPalettesAndTheirSelection) {
  CPalette palette;
  EXPECT_FALSE(palette.CreatePalette({}));
  LogPalette tooMany;
  tooMany.entries.resize(257);
  EXPECT_FALSE(palette.CreatePalette(tooMany));
  LogPalette three;
  three.entries = {{1, 2, 3, 0}, {4, 5, 6, 0x04}, {7, 8, 9, 0}};
  ASSERT_TRUE(palette.CreatePalette(three));
  EXPECT_EQ(palette.GetEntryCount(), 3);
  PaletteEntry out[3];
  EXPECT_EQ(palette.GetPaletteEntries(1, 5, out), 2u);
  EXPECT_EQ(out[0], three.entries[1]);
  EXPECT_EQ(palette.GetPaletteEntries(3, 1, out), 0u);

  // Selection keeps the palette for the caller and changes no pixel.
  QImage image(4, 4, QImage::Format_RGB32);
  image.fill(0xFF102030u);
  CDC dc;
  ASSERT_TRUE(dc.AttachImage(&image));
  EXPECT_EQ(dc.SelectPalette(&palette, false), nullptr);
  EXPECT_EQ(dc.RealizePalette(), 0u);
  EXPECT_EQ(dc.SelectPalette(nullptr, false), &palette);
  EXPECT_EQ(image.pixel(1, 1), 0xFF102030u);
  EXPECT_TRUE(palette.DeleteObject());
  EXPECT_FALSE(palette.DeleteObject());
}

}  // namespace
