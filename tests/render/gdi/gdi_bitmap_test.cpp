// Bitmap objects' images through the GDI back end: stretched when the matrix
// keeps the axes, under the world transform in advanced mode, otherwise
// resampled in bands and blitted through a mask; through the bitmap
// context's scan converter; to a PostScript delegate.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/qt/dc.h"
#include "render/gdi/bitmap_render_context.h"
#include "render/gdi/gdi_render_context.h"
#include "render/raster/dib.h"
#include "render/raster/offscreen_bitmap.h"
#include "tests/render/gdi/device_fixture.h"

namespace {

constexpr int kSize = 64;

// 0xRRGGBB of a quadrant of the 4 x 4 test image: red, green, blue, grey.
constexpr uint32_t kQuadrant[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0x808080};

uint32_t QuadrantOf(int column, int row) {
  return kQuadrant[(row >= 2) * 2 + (column >= 2)];
}

// A 4 x 4 image of four coloured quadrants, 8-bit with a table without black
// or 32-bit, its bounds 0..80 twips square.
CImageRef Quadrants(bool palette) {
  CImageRef image;
  ColorTable table;
  table.count = 4;
  for (int i = 0; i < 4; ++i) {
    const uint32_t c = kQuadrant[i];
    table.entries[i] = PackRgb(c >> 16, c >> 8, c);
  }
  EXPECT_TRUE(image.Create(palette ? kDib8Bit : kDib32Bit, 4, 4, palette ? &table : nullptr));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      const int q = (y >= 2) * 2 + (x >= 2);
      uint8_t* row = image.Bits() + y * image.Stride();
      if (palette) {
        row[x] = static_cast<uint8_t>(q);
      } else {
        const uint32_t c = kQuadrant[q];
        row[4 * x] = static_cast<uint8_t>(c);
        row[4 * x + 1] = static_cast<uint8_t>(c >> 8);
        row[4 * x + 2] = static_cast<uint8_t>(c >> 16);
      }
    }
  image.bounds = Rect32{0, 80, 0, 80};
  return image;
}

// The image's bounds onto a device rectangle.
Matrix2x3 Onto(const Rect32& bounds, const Rect32& device) {
  const Fixed sx = FixedDiv(device.xmax - device.xmin, bounds.xmax - bounds.xmin);
  const Fixed sy = FixedDiv(device.ymax - device.ymin, bounds.ymax - bounds.ymin);
  return Matrix2x3{sx,
                   0,
                   0,
                   sy,
                   device.xmin - FixedMul(bounds.xmin, sx),
                   device.ymin - FixedMul(bounds.ymin, sy)};
}

// Places the image: twips to pixels (a twip a twentieth), then the rest.
Matrix2x3 Place(Fixed a, Fixed b, Fixed c, Fixed d, int32_t tx, int32_t ty) {
  return Matrix2x3{a / 20, b / 20, c / 20, d / 20, tx, ty};
}

// 8 pixels an image pixel, turned by 30 degrees.
const Matrix2x3 kTurned = Place(454047, 262144, -262144, 454047, 24, 8);

TEST(GdiBitmap, EveryWayOfDrawingPutsTheImageWhereTheMatrixSays) {
  struct Case {
    const char* name;
    Matrix2x3 m;
    uint32_t flags;  // added
    bool palette;
  } cases[] = {
      {"stretched", Place(8 * kFixedOne, 0, 0, 8 * kFixedOne, 10, 12), 0, false},
      {"stretched, 8 bits", Place(8 * kFixedOne, 0, 0, 8 * kFixedOne, 10, 12), 0, true},
      {"mirrored", Place(-8 * kFixedOne, 0, 0, 8 * kFixedOne, 50, 12), 0, false},
      // Turned by 30 degrees: corners of the resampled rectangle lie outside.
      {"turned, banded", kTurned, 0, false},
      {"turned, banded, 8 bits", kTurned, 0, true},
      {"turned, no paths", kTurned, CRenderContext::kFlagDeviceText, false},
      {"turned, no paths, 8 bits", kTurned, CRenderContext::kFlagDeviceText, true},
      {"turned, world transform", kTurned, CRenderContext::kFlagAdvancedMode, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A coloured target: what lies outside the image must keep its colour.
    ImageDC target;
    target.image.fill(QColor(0x33, 0x66, 0x99));
    CGdiRenderContext rc(&target.dc);
    rc.m_flags |= CRenderContext::kFlagFills;
    if (c.flags & CRenderContext::kFlagAdvancedMode) {
      rc.SetAdvancedMode();
      ASSERT_TRUE(rc.m_flags & CRenderContext::kFlagAdvancedMode);
    }
    rc.m_flags |= c.flags;
    if (c.flags == CRenderContext::kFlagDeviceText) rc.m_flags &= ~CRenderContext::kFlagGdiPaths;
    rc.SetMatrix(c.m);
    const CImageRef image = Quadrants(c.palette);
    rc.DrawBitmap(image);
    Matrix2x3 inverse;
    MatrixInvert(rc.m_matrix, inverse);
    int inside = 0;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) {
        // The image pixel under the device pixel's centre (twips, 20 a pixel).
        const double dx = x + 0.5, dy = y + 0.5;
        const double ix = (inverse.a * dx + inverse.c * dy) / 65536.0 + inverse.tx;
        const double iy = (inverse.b * dx + inverse.d * dy) / 65536.0 + inverse.ty;
        const double col = ix / 20, row = iy / 20;
        // Pixels near an edge of the image or of a quadrant may go either way.
        if (col < -0.2 || row < -0.2 || col > 4.2 || row > 4.2) {
          ASSERT_EQ(target.At(x, y), 0x336699u) << x << "," << y << " outside the image";
          continue;
        }
        if (col < 0.2 || row < 0.2 || col > 3.8 || row > 3.8) continue;
        if (std::abs(col - 2) < 0.2 || std::abs(row - 2) < 0.2) continue;
        ++inside;
        ASSERT_EQ(target.At(x, y), QuadrantOf(static_cast<int>(col), static_cast<int>(row)))
            << x << "," << y;
      }
    EXPECT_GT(inside, 400);
    EXPECT_FALSE(rc.m_drawnArea.IsEmpty());
  }
}

TEST(GdiBitmap, BandsHoldAQuarterMillionBytesAtLeastOneRowAndStopWhenAborted) {
  const CImageRef image = Quadrants(false);
  struct Case {
    Rect32 device;
    int32_t bands;
  } cases[] = {
      {{0, 500, 0, 300}, 3},  // 2,000-byte rows: 125 rows a band
      {{0, 500, 0, 125}, 1},
      {{0, 70000, 0, 3}, 3},  // 280,000-byte rows: one row a band, never none
  };
  for (const Case& c : cases) {
    ImageDC target;
    CGdiRenderContext rc(&target.dc);
    rc.m_flags |= CRenderContext::kFlagAbortTest;
    int asked = 0;
    rc.m_abortTest = [&] { return ++asked < 0; };
    const Matrix2x3 m = Onto(image.bounds, c.device);
    EXPECT_EQ(rc.DrawImageBanded(image, m, c.device), c.bands);
    EXPECT_EQ(asked, c.bands);
  }
  // The abort test answering yes stops after the band: 4,000 pixels wide
  // makes 15 rows a band.
  ImageDC target;
  CGdiRenderContext rc(&target.dc);
  rc.m_flags |= CRenderContext::kFlagAbortTest;
  rc.m_abortTest = [] { return true; };
  const Rect32 device{0, 4000, 0, kSize};
  const Matrix2x3 m = Onto(image.bounds, device);
  EXPECT_EQ(rc.DrawImageBanded(image, m, device), 1);
  EXPECT_EQ(target.At(5, 5), 0xFF0000u);
  EXPECT_EQ(target.At(5, 20), 0xFFFFFFu);
  // Without flag 0x80 nobody is asked.
  rc.m_flags &= ~CRenderContext::kFlagAbortTest;
  EXPECT_EQ(rc.DrawImageBanded(image, m, device), 5);
  EXPECT_EQ(target.At(5, 20), 0xFF0000u);
}

TEST(GdiBitmap, TheScanConverterOrTheDelegateTakeTheImageAndTheClipLeavesItOut) {
  const CImageRef image = Quadrants(false);
  const Matrix2x3 turned = Place(0, 8 * kFixedOne, -8 * kFixedOne, 0, 50, 12);
  {
    COffscreenBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateDepth(32, nullptr, kSize, kSize, false));
    CBitmapRenderContext rc(&bitmap, 0);
    rc.FillRectColor(0xFFFFFF);
    rc.SetMatrix(turned);
    rc.DrawBitmap(image);
    ImageDC out;
    rc.Blit(&out.dc, {0, kSize, 0, kSize}, 0, 0);
    // (x, y) of the image lands at (50 - 8y, 12 + 8x).
    EXPECT_EQ(out.At(50 - 4, 12 + 4), kQuadrant[0]);
    EXPECT_EQ(out.At(50 - 4, 12 + 28), kQuadrant[1]);
    EXPECT_EQ(out.At(50 - 28, 12 + 4), kQuadrant[2]);
    EXPECT_EQ(out.At(50 - 28, 12 + 28), kQuadrant[3]);
    EXPECT_EQ(out.At(55, 30), 0xFFFFFFu);
  }
  ImageDC target;
  CGdiRenderContext rc(&target.dc);
  CRecordingDelegate ps;
  rc.m_delegate = &ps;
  rc.SetMatrix(turned);
  rc.DrawBitmap(image);
  EXPECT_EQ(ps.calls, (std::vector<std::string>{"begin", "bitmap 4", "end"}));
  // Outside the clip: nothing at all.
  rc.SetClip(Rect32{200, 400, 200, 400});
  rc.DrawBitmap(image);
  EXPECT_EQ(ps.calls, (std::vector<std::string>{"begin", "bitmap 4", "end"}));
}

}  // namespace
