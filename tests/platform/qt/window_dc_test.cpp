// Window contexts, offscreen bitmaps, scrolling, system colours, cursors and
// the screen hook.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBitmap>
#include <QPaintEvent>
#include <QTest>
#include <QWidget>

#include "dc_test_util.h"
#include "platform/qt/cursors.h"
#include "platform/qt/resources.h"
#include "platform/qt/screen_hook.h"
#include "platform/qt/sys_colors.h"
#include "platform/qt/window_surface.h"
#include "render/raster/offscreen_bitmap.h"

namespace {

// A window whose paint handler fills what is invalid with grey through a
// CPaintDC, as the window base does.
class PaintingWindow : public QWidget {
 public:
  PaintingWindow() : surface(this) {}
  CWindowSurface surface;
  int handler_runs = 0;
  CRect last_paint;

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (surface.NeedsPaint() && !surface.Flushing()) {
      ++handler_runs;
      CPaintDC dc(&surface);
      last_paint = dc.m_rcPaint;
      CRect all(0, 0, surface.Width(), surface.Height());
      dc.FillRect(&all, StockBrush(LTGRAY_BRUSH));
    }
    surface.CopyToScreen(event->region());
  }
};

TEST(WindowDc, PaintDcIsClippedToTheInvalidRegionAndValidatesIt) {
  PaintingWindow w;
  w.resize(30, 20);
  w.surface.ValidateAll();
  w.surface.Invalidate(CRect(2, 3, 6, 8));
  {
    CPaintDC dc(&w.surface);
    EXPECT_EQ(dc.m_rcPaint, CRect(2, 3, 6, 8));
    CRect all(0, 0, 30, 20);
    dc.FillRect(&all, StockBrush(BLACK_BRUSH));
  }
  EXPECT_FALSE(w.surface.NeedsPaint());
  const QImage& img = w.surface.Image();
  EXPECT_EQ(img.pixel(2, 3) & 0xFFFFFF, 0u);
  EXPECT_EQ(img.pixel(5, 7) & 0xFFFFFF, 0u);
  EXPECT_EQ(img.pixel(6, 7) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(img.pixel(1, 3) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(WindowDc, ClientDcDrawingReachesTheScreenAtOnce) {
  PaintingWindow w;
  w.resize(40, 30);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  const int runs = w.handler_runs;
  const int flushes = w.surface.FlushCount();
  {
    CClientDC dc(&w.surface);
    dc.SetROP2(R2_XORPEN);
    dc.SelectStockObject(WHITE_PEN);
    dc.MoveTo(0, 5);
    dc.LineTo(20, 5);
  }
  EXPECT_EQ(w.surface.FlushCount(), flushes + 1);
  EXPECT_EQ(w.handler_runs, runs);  // feedback never repaints the contents
  // Grey 0xC0C0C0 XOR white.
  EXPECT_EQ(w.surface.Image().pixel(10, 5) & 0xFFFFFF, 0x3F3F3Fu);
}

TEST(WindowDc, MemoryDcOverOffscreenBitmapsAndBlitToWindow) {
  COffscreenBitmap bits32, bits8;
  ASSERT_TRUE(bits32.CreateDepth(32, nullptr, 16, 8, true));
  ASSERT_TRUE(bits8.CreateDepth(8, nullptr, 16, 8, false));
  CDC mem;
  mem.CreateCompatibleDC(nullptr);
  ASSERT_EQ(mem.SelectObject(&bits32), nullptr);
  CRect r(0, 0, 4, 2);
  mem.FillRect(&r, StockBrush(WHITE_BRUSH));
  // Bottom-up storage: row 0 is the last in memory.
  const uint8_t* top = bits32.Row(0);
  EXPECT_EQ(top[0], 255);
  EXPECT_EQ(bits32.Bits()[0], 0);
  // An 8-bit bitmap is a source only: pixel value 215 of the colour cube is white.
  std::fill(bits8.Row(0), bits8.Row(0) + 16, 215);
  TestCanvas canvas(16, 8);
  canvas.image.fill(0xFF000000u);
  BlitOffscreenToDC(bits8, canvas.dc, Rect32{0, 16, 0, 1}, 0, 0);
  EXPECT_EQ(canvas.image.pixel(15, 0) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(canvas.image.pixel(0, 1) & 0xFFFFFF, 0u);
  CDC mem8;
  mem8.CreateCompatibleDC(nullptr);
  mem8.SelectObject(&bits8);
  EXPECT_FALSE(mem8.PatBlt(0, 0, 2, 2, BLACKNESS));  // not a drawing surface
}

TEST(WindowDc, ScrollDcMovesPixelsAndReportsUncoveredArea) {
  TestCanvas canvas(10, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 10; ++x) canvas.image.setPixel(x, y, qRgb(x * 20, y * 40, 7));
  CRgn update;
  CRect updateRect;
  ASSERT_TRUE(canvas.dc.ScrollDC(-2, 1, nullptr, nullptr, &update, &updateRect));
  EXPECT_EQ(canvas.image.pixel(0, 1), qRgb(40, 0, 7));
  EXPECT_EQ(canvas.image.pixel(7, 5), qRgb(180, 160, 7));
  EXPECT_EQ(updateRect, CRect(0, 0, 10, 6));
  EXPECT_TRUE(update.PtInRegion(9, 3));
  EXPECT_TRUE(update.PtInRegion(3, 0));
  EXPECT_FALSE(update.PtInRegion(3, 3));
  // A bottom-up offscreen bitmap scrolls the same way.
  COffscreenBitmap bits;
  ASSERT_TRUE(bits.CreateDepth(32, nullptr, 10, 6, true));
  CDC mem;
  mem.CreateCompatibleDC(nullptr);
  mem.SelectObject(&bits);
  mem.SetPixel(4, 2, RGB(255, 0, 0));
  mem.ScrollDC(1, 2, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(mem.GetPixel(5, 4), RGB(255, 0, 0));
}

TEST(SysColors, ClassicTableAndApplicationPalette) {
  SetSysColorSource(SysColorSource::kClassic);
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(192, 192, 192));
  EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), RGB(0, 0, 128));
  EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
  EXPECT_EQ(GetSysColor(99), 0u);
  EXPECT_EQ(GetSysColorBrush(COLOR_BTNSHADOW)->Color(), RGB(128, 128, 128));
  SetSysColorSource(SysColorSource::kApplicationPalette);
  const QColor base = QGuiApplication::palette().color(QPalette::Base);
  EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(base.red(), base.green(), base.blue()));
  const QColor hl = QGuiApplication::palette().color(QPalette::Highlight);
  EXPECT_EQ(GetSysColorBrush(COLOR_HIGHLIGHT)->Color(), RGB(hl.red(), hl.green(), hl.blue()));
  SetSysColorSource(SysColorSource::kClassic);
}

TEST(Cursors, MasksSystemIdsProgramTableAndOverride) {
  // 16 x 1 masks: pixels 0-3 black, 4-7 white, 8-11 transparent, 12-15 inverted.
  const uint8_t andMask[2] = {0x00, 0xFF};
  const uint8_t xorMask[2] = {0x0F, 0x0F};
  HCURSOR made = CreateCursor(3, 0, 16, 1, andMask, xorMask);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->Cursor().hotSpot(), QPoint(3, 0));
  const QImage bitmap = made->Cursor().bitmap().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage mask = made->Cursor().mask().toImage().convertToFormat(QImage::Format_RGB32);
  const bool wantBitmap[4] = {true, false, false, true}, wantMask[4] = {true, true, false, false};
  for (int group = 0; group < 4; ++group) {
    const int x = group * 4 + 1;
    EXPECT_EQ((bitmap.pixel(x, 0) & 0xFFFFFF) == 0, wantBitmap[group]) << group;
    EXPECT_EQ((mask.pixel(x, 0) & 0xFFFFFF) == 0, wantMask[group]) << group;
  }
  EXPECT_EQ(LoadStandardCursor(IDC_IBEAM)->Cursor().shape(), Qt::IBeamCursor);
  EXPECT_EQ(LoadStandardCursor(12345), nullptr);
  // The program's table: unknown ids give the arrow.
  EXPECT_FALSE(HasProgramCursor(1205));
  EXPECT_EQ(LoadCursor(1205)->Cursor().shape(), Qt::ArrowCursor);
  QImage picture(32, 32, QImage::Format_ARGB32);
  picture.fill(0xFF000000u);
  RegisterProgramCursor(1205, picture, CPoint(5, 6));
  EXPECT_EQ(LoadCursor(1205)->Cursor().hotSpot(), QPoint(5, 6));
  // A resource's masks (rows of whole bytes) as the same four groups; the
  // inverted group shows black.
  CursorDef def{16, 1, {2, 0}, {0x00, 0xFF}, {0x0F, 0x0F}};
  Resources().AddCursor(1206, def);  // made when first loaded
  const QImage shown =
      LoadCursor(1206)->Cursor().pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
  const QRgb wantPixel[4] = {0xFF000000u, 0xFFFFFFFFu, 0, 0xFF000000u};
  for (int group = 0; group < 4; ++group) {
    const QRgb got = shown.pixel(group * 4 + 1, 0);
    EXPECT_EQ(qAlpha(got) == 0 ? 0u : got, wantPixel[group]) << group;
  }
  EXPECT_EQ(LoadCursor(1206)->Cursor().hotSpot(), QPoint(2, 0));
  def.xor_mask.pop_back();  // too short for the size: the arrow
  Resources().AddCursor(1207, def);
  EXPECT_EQ(LoadCursor(1207)->Id(), IDC_ARROW);
  EXPECT_FALSE(HasProgramCursor(1207));
  // SetCursor shows through the override.
  HCURSOR old = SetCursor(LoadStandardCursor(IDC_CROSS));
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
  EXPECT_EQ(SetCursor(made), LoadStandardCursor(IDC_CROSS));
  EXPECT_TRUE(DestroyCursor(made));
  EXPECT_EQ(GetCursor(), nullptr);
  SetCursor(old);
  ReleaseCursorOverride();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(ScreenHook, TrueColourScreenAndProbe) {
  CScreen* screen = QtScreen();
  EXPECT_EQ(screen->AppPalette(), nullptr);
  EXPECT_GE(screen->Depth(), 16);
  const BlitFormat f = screen->ProbeBlitFormat(32);
  EXPECT_EQ(f.format, static_cast<uint32_t>(kOffscreen32));
  InstallQtScreen();
  COffscreenBitmap bits;
  EXPECT_TRUE(bits.Create(Rect32{0, 10, 0, 10}));
  EXPECT_EQ(bits.Format(), static_cast<uint32_t>(kOffscreen32));
  SetOffscreenScreen(nullptr);
  ResetOffscreenProbe();
}

}  // namespace
