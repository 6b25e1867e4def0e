// The Brush and Eraser tools' option commands and the bars they keep in
// step, their cursors, and the brush shapes drawn on device contexts: the
// cursor masks and the option boxes' item previews.
#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <string>
#include <vector>

#include "model_fixtures.h"
#include "platform/qt/cursors.h"
#include "platform/qt/dc.h"
#include "platform/qt/gdi_objects.h"
#include "platform/qt/sys_colors.h"
#include "tests/common/edge_styles.h"
#include "view/brush_boxes.h"
#include "view/brush_shapes.h"
#include "view/brush_tool.h"
#include "view/marl_view.h"
#include "view/tool_option_bar.h"
#include "window_host.h"

namespace {

// A bar whose controls are plain values; counts the setter calls.
class FakeBar : public ToolOptionBar {
 public:
  bool GetColorDef(FillStyle& out) const override {
    out = colour;
    return true;
  }
  void SetColorDef(const FillStyle& c) override { colour = c, ++sets; }
  int32_t GetBrushSize() const override { return size; }
  void SetBrushSize(int32_t s) override { size = s, ++sets; }
  BrushShape GetBrushShape() const override { return shape; }
  void SetBrushShape(const BrushShape& s) override { shape = s, ++sets; }
  int32_t GetPaintMode() const override { return paint_mode; }
  void SetPaintMode(int32_t m) override { paint_mode = m, ++sets; }
  int32_t GetGapSize() const override { return gap; }
  void SetGapSize(int32_t g) override { gap = g, ++sets; }
  bool GetLockFill() const override { return lock; }
  void SetLockFill(bool on) override { lock = on, ++sets; }
  bool GetTransformFill() const override { return transform; }
  void SetTransformFill(bool on) override { transform = on, ++sets; }
  void LayoutBrushPanel(int32_t mode) override { layouts.push_back(mode); }
  BrushShape GetEraserShape() const override { return eraser_shape; }
  void SetEraserShape(const BrushShape& s) override { eraser_shape = s, ++sets; }
  int32_t GetEraseMode() const override { return erase_mode; }
  void SetEraseMode(int32_t m) override { erase_mode = m, ++sets; }
  bool GetFaucet() const override { return faucet; }
  void SetFaucet(bool on) override { faucet = on, ++sets; }

  FillStyle colour = SolidFill(0xFF00FF00);
  int32_t size = 0x8000;
  BrushShape shape;
  int32_t paint_mode = 0;
  int32_t gap = 0;
  bool lock = false;
  bool transform = false;
  BrushShape eraser_shape;
  int32_t erase_mode = 0;
  bool faucet = false;
  std::vector<int32_t> layouts;
  int sets = 0;
};

class FakeShell : public ToolShell {
 public:
  ToolOptionBar* GetActiveBar() override { return &active; }
  std::vector<ToolOptionBar*> GetOtherBars() override { return {&other}; }
  void SelectToolPanel(int32_t panel) override { panels.push_back(panel); }
  void ToolNotify(const FillStyle& c) override { notified.push_back(c.colour); }
  FakeBar active;
  FakeBar other;
  std::vector<int32_t> panels;
  std::vector<uint32_t> notified;
};

class BrushOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetToolShell(&shell);
    eraser.Reset(0);
  }
  void TearDown() override { SetToolShell(nullptr); }
  FakeShell shell;
  CBrushTool brush;
  CBrushTool eraser;
};

TEST_F(BrushOptionsTest, BrushCommandsTakeThePanelsValues) {
  FakeBar& bar = shell.active;
  bar.size = 0x20000;
  brush.OnCommand(kCmdBrushSize, nullptr);
  EXPECT_EQ(brush.GetShape().size_factor, 0x20000);
  bar.shape.type = BrushShape::kSlanted;
  bar.shape.width = 30;
  bar.shape.height = 10;
  bar.shape.slant = 0x30000;
  bar.shape.use_pressure = 1;  // not the shape box's to say
  brush.OnCommand(kCmdBrushShape, nullptr);
  EXPECT_EQ(brush.GetShape().type, BrushShape::kSlanted);
  EXPECT_EQ(brush.GetShape().width, 30);
  EXPECT_EQ(brush.GetShape().height, 10);
  EXPECT_EQ(brush.GetShape().slant, 0x30000);
  EXPECT_EQ(brush.GetShape().size_factor, 0x20000);
  EXPECT_EQ(brush.GetShape().use_pressure, 0);
  brush.OnCommand(kCmdUsePressure, nullptr);
  EXPECT_EQ(brush.GetShape().use_pressure, 1);
  brush.OnCommand(kCmdUsePressure, nullptr);
  EXPECT_EQ(brush.GetShape().use_pressure, 0);
  bar.colour = SolidFill(0xFF123456);
  brush.OnCommand(kCmdColor, nullptr);
  EXPECT_EQ(brush.GetColorDef().colour, 0xFF123456u);
  bar.lock = true;
  brush.OnCommand(kCmdLockFill, nullptr);
  EXPECT_TRUE(brush.m_lockFill);
  bar.gap = 3;
  brush.OnCommand(kCmdGapSize, nullptr);
  EXPECT_EQ(brush.GetGapSize(), 3);
  // The bucket button: mode 6, and pressed again back to the panel's mode.
  brush.OnCommand(kCmdBucket, nullptr);
  EXPECT_EQ(brush.GetMode(), kBrushModeAlternate);
  bar.paint_mode = kBrushModeInside;
  brush.OnCommand(kCmdBucket, nullptr);
  EXPECT_EQ(brush.GetMode(), kBrushModeInside);
  EXPECT_EQ(bar.layouts, (std::vector<int32_t>{kBrushModeAlternate, kBrushModeInside}));
  // Every command reached the other frame's bar.
  EXPECT_EQ(shell.other.size, 0x20000);
  EXPECT_EQ(shell.other.shape.width, 30);
  EXPECT_EQ(shell.other.colour.colour, 0xFF123456u);
  EXPECT_EQ(shell.other.paint_mode, kBrushModeInside);
  EXPECT_TRUE(shell.other.lock);
}

TEST_F(BrushOptionsTest, EraserCommands) {
  FakeBar& bar = shell.active;
  bar.colour = SolidFill(0xFF123456);
  eraser.OnCommand(kCmdColor, nullptr);  // the Eraser carries no colour
  EXPECT_FALSE(eraser.HasColorDef());
  bar.erase_mode = kBrushModeFills;
  eraser.OnCommand(kCmdEraseMode, nullptr);
  EXPECT_EQ(eraser.GetMode(), kBrushModeFills);
  eraser.OnCommand(kCmdFaucet, nullptr);
  EXPECT_EQ(eraser.GetMode(), kBrushModeAlternate);
  EXPECT_TRUE(shell.other.faucet);
  bar.erase_mode = kBrushModeInside;
  eraser.OnCommand(kCmdFaucet, nullptr);
  EXPECT_EQ(eraser.GetMode(), kBrushModeInside);
  EXPECT_FALSE(shell.other.faucet);
  bar.eraser_shape.type = BrushShape::kSquare;
  bar.eraser_shape.width = 8;
  eraser.OnCommand(kCmdEraserShape, nullptr);
  EXPECT_EQ(eraser.GetShape().type, BrushShape::kSquare);
  EXPECT_EQ(eraser.GetShape().width, 8);
  EXPECT_TRUE(bar.layouts.empty());  // the brush panel is not the Eraser's
}

TEST_F(BrushOptionsTest, ActivationSyncsEveryBarTouchingOnlyWhatDiffers) {
  brush.Activate(true, true, 1);
  EXPECT_EQ(shell.panels, (std::vector<int32_t>{1}));
  ASSERT_EQ(shell.notified.size(), 1u);
  EXPECT_EQ(shell.notified[0], 0xFF0000FFu);
  for (FakeBar* bar : {&shell.active, &shell.other}) {
    EXPECT_EQ(bar->colour.colour, 0xFF0000FFu);
    EXPECT_EQ(bar->size, kFixedOne);
    EXPECT_EQ(bar->shape.width, 20);
  }
  // In step already: nothing is written again.
  shell.active.sets = shell.other.sets = 0;
  brush.Activate(true, false, 1);
  EXPECT_EQ(shell.active.sets, 0);
  EXPECT_EQ(shell.other.sets, 0);
  EXPECT_EQ(shell.panels.size(), 1u);
  // Not selected: the bars are left alone.
  eraser.Activate(false, false, 6);
  EXPECT_EQ(shell.active.sets, 0);
}

// The checkerboard of the cursor: pattern rows 0xAA, 0x55, ...
bool Checker(int x, int y) {
  return ((x + y) & 1) == 0;
}
bool Bit(const uint8_t* mask, int x, int y) {
  return (mask[y * 4 + x / 8] & (0x80 >> (x % 8))) != 0;
}

TEST(BrushCursorTest, MasksOfASquareAndARoundShape) {
  uint8_t andMask[kBrushCursorMaskBytes];
  uint8_t xorMask[kBrushCursorMaskBytes];
  BrushShape square;
  square.type = BrushShape::kSquare;
  square.width = 4;
  square.height = 4;
  ASSERT_TRUE(MakeBrushCursorMasks(square, kFixedOne, andMask, xorMask));
  // Rows -2..2 about the hot spot (16, 16), columns -2..1.
  for (int y = 0; y < kBrushCursorSize; ++y) {
    for (int x = 0; x < kBrushCursorSize; ++x) {
      const bool inside = y >= 14 && y <= 18 && x >= 14 && x <= 17;
      // Outside transparent (1, 0); inside black (0, 0) or inverted (1, 1).
      EXPECT_EQ(Bit(andMask, x, y), !inside || Checker(x, y)) << x << "," << y;
      EXPECT_EQ(Bit(xorMask, x, y), inside && Checker(x, y)) << x << "," << y;
    }
  }
  // A round shape of 8 at scale 2: a disc of 16 about the hot spot.
  BrushShape round;
  round.width = 8;
  round.height = 8;
  ASSERT_TRUE(MakeBrushCursorMasks(round, 2 * kFixedOne, andMask, xorMask));
  int insidePixels = 0;
  for (int y = 0; y < kBrushCursorSize; ++y) {
    for (int x = 0; x < kBrushCursorSize; ++x) {
      const bool inside = !Bit(andMask, x, y) || Bit(xorMask, x, y);
      insidePixels += inside ? 1 : 0;
      const int dx = 2 * x + 1 - 2 * 16,
                dy = 2 * y + 1 - 2 * 16;  // doubled offsets of the pixel centre
      if (dx * dx + dy * dy <= 12 * 12) {
        EXPECT_TRUE(inside) << x << "," << y;
      }
      if (dx * dx + dy * dy >= 20 * 20) {
        EXPECT_FALSE(inside) << x << "," << y;
      }
    }
  }
  EXPECT_NEAR(insidePixels, 201, 30);  // pi * 8^2
  HCURSOR cursor = MakeBrushCursor(round, kFixedOne);
  ASSERT_NE(cursor, nullptr);
  EXPECT_TRUE(DestroyCursor(cursor));
}

TEST(BrushItemPreviewTest, SelectedAndPlainItems) {
  SetSysColorSource(SysColorSource::kClassic);
  CDC dc;
  CBitmap bitmap;
  ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
  ASSERT_TRUE(bitmap.CreateBitmap(80, 24, 1, 32));
  CBitmap* old = dc.SelectObject(&bitmap);
  const CRect first(0, 0, 40, 24), second(40, 0, 80, 24);
  DrawBrushSizeItem(dc, first, true, kFixedOne / 2, BrushShape::kSquare);
  BrushShape slanted;
  slanted.type = BrushShape::kSlanted;
  slanted.width = 12;
  slanted.height = 12;
  slanted.slant = 8;  // units: the last row 8 to the right of the first
  DrawBrushTypeItem(dc, second, false, slanted);
  EXPECT_EQ(dc.GetPixel(1, 1), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(dc.GetPixel(20, 12), GetSysColor(COLOR_HIGHLIGHTTEXT));
  EXPECT_EQ(dc.GetPixel(10, 12), GetSysColor(COLOR_HIGHLIGHT));  // half of 16: 8 wide
  EXPECT_EQ(dc.GetPixel(41, 1), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(dc.GetPixel(60, 12), GetSysColor(COLOR_MENUTEXT));
  EXPECT_EQ(dc.GetPixel(48, 12), GetSysColor(COLOR_WINDOW));
  // Slanted: the top row lies left of the bottom row.
  EXPECT_EQ(dc.GetPixel(56, 7), GetSysColor(COLOR_MENUTEXT));
  EXPECT_EQ(dc.GetPixel(64, 7), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(dc.GetPixel(64, 17), GetSysColor(COLOR_MENUTEXT));
  EXPECT_EQ(dc.GetPixel(56, 17), GetSysColor(COLOR_WINDOW));
  dc.SelectObject(old);
  SetSysColorSource(SysColorSource::kApplicationPalette);
}

// An owner that hands its item drawing to the box.
class CBoxOwner : public CWnd {
 public:
  CBrushOptionBox* box = nullptr;
  LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
    if (message == WM_DRAWITEM && box != nullptr) {
      box->DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(l));
      return 1;
    }
    return CWnd::WindowProc(message, w, l);
  }
};

// Pixels of the menu text colour in the box as it paints now.
int DarkPixels(QWidget* box) {
  const QImage image = box->grab().toImage();
  const QRgb text = 0xFF000000u | GetSysColor(COLOR_MENUTEXT);
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == text ? 1 : 0;
  return n;
}

TEST(BrushOptionBoxTest, BoxesSelectByValueAndShowTheirShapes) {
  SetSysColorSource(SysColorSource::kClassic);
  CBoxOwner owner;
  ASSERT_TRUE(owner.Create("PL_Default", "owner", WS_VISIBLE, {20, 20, 260, 140}, nullptr, 0));
  auto* sizes = new CBrushSizeBox(owner.GetSafeHwnd(), kCmdBrushSize, owner.GetWidget());
  sizes->setGeometry(10, 10, 120, 30);
  owner.box = sizes;
  sizes->AddSize(kFixedOne / 4, BrushShape::kSquare);
  sizes->AddSize(kFixedOne, BrushShape::kRound);
  sizes->AddSize(kFixedOne, BrushShape::kSquare);
  EXPECT_EQ(sizes->GetSize(), kFixedOne / 4);
  EXPECT_FALSE(sizes->SelectSize(kFixedOne / 2, BrushShape::kSquare));
  EXPECT_EQ(sizes->currentIndex(), 0);
  EXPECT_TRUE(sizes->SelectSize(kFixedOne, BrushShape::kSquare));
  EXPECT_EQ(sizes->currentIndex(), 2);
  EXPECT_EQ(sizes->GetType(), BrushShape::kSquare);
  // Marked for a full repaint, the next drawing only invalidates the box.
  sizes->MarkFullRepaint();
  const int frame = DarkPixels(sizes);
  const int big = DarkPixels(sizes) - frame;  // a 16 x 17 square
  ASSERT_TRUE(sizes->SelectSize(kFixedOne / 4, BrushShape::kSquare));
  const int small = DarkPixels(sizes) - frame;  // 4 x 5
  EXPECT_NEAR(big, 16 * 17, 20);
  EXPECT_NEAR(small, 4 * 5, 6);

  auto* shapes = new CBrushTypeBox(owner.GetSafeHwnd(), kCmdBrushShape, owner.GetWidget());
  shapes->setGeometry(10, 50, 120, 30);
  owner.box = shapes;
  BrushShape wide;
  wide.type = BrushShape::kSquare;
  wide.width = 20;
  wide.height = 4;
  BrushShape tall = wide;
  tall.width = 4;
  tall.height = 20;
  shapes->AddShape(wide);
  shapes->AddShape(tall);
  EXPECT_EQ(shapes->GetShape().width, 20);
  tall.size_factor = 3 * kFixedOne;  // not part of an item's value
  EXPECT_TRUE(shapes->SelectShape(tall));
  EXPECT_EQ(shapes->GetShape().height, 20);
  EXPECT_NEAR(DarkPixels(shapes) - frame, 4 * 21, 10);  // the same frame as the size box
  owner.DestroyWindow();
  SetSysColorSource(SysColorSource::kApplicationPalette);
}

}  // namespace
