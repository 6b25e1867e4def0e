// Ternary raster operations: the fast evaluators against a per-bit
// reference, and whole block transfers against a per-pixel reference, for
// all 256 codes.
#include <gtest/gtest.h>

#include <random>

#include "dc_test_util.h"
#include "platform/qt/rop.h"

namespace {

TEST(Rop3, FastEvaluatorMatchesReferenceForAllCodes) {
  std::mt19937 rng(7);
  for (int code = 0; code < 256; ++code) {
    const Rop3Eval rop(static_cast<uint8_t>(code));
    std::vector<uint32_t> p(64), s(64), d(64), row(64);
    for (int i = 0; i < 64; ++i) {
      p[i] = rng();
      s[i] = rng();
      d[i] = rng();
      ASSERT_EQ(rop(p[i], s[i], d[i]), Rop3Reference(static_cast<uint8_t>(code), p[i], s[i], d[i]))
          << "code 0x" << std::hex << code;
    }
    row = d;
    Rop3Row(static_cast<uint8_t>(code), row.data(), s.data(), p.data(), 64);
    for (int i = 0; i < 64; ++i)
      ASSERT_EQ(row[i], Rop3Reference(static_cast<uint8_t>(code), p[i], s[i], d[i]))
          << "row, code 0x" << std::hex << code;
  }
}

TEST(Rop3, NamedCodesAndUsage) {
  struct Case {
    uint32_t rop;
    bool source, pattern, dest;
  };
  const Case cases[] = {
      {SRCCOPY, true, false, false},    {SRCINVERT, true, false, true},
      {SRCAND, true, false, true},      {PATCOPY, false, true, false},
      {PATINVERT, false, true, true},   {DSTINVERT, false, false, true},
      {BLACKNESS, false, false, false}, {0xB8074A, true, true, true},
      {0xE20746, true, true, true},
  };
  for (const Case& c : cases) {
    const uint8_t i = Rop3Index(c.rop);
    EXPECT_EQ(RopUsesSource(i), c.source) << std::hex << c.rop;
    EXPECT_EQ(RopUsesPattern(i), c.pattern) << std::hex << c.rop;
    EXPECT_EQ(RopUsesDest(i), c.dest) << std::hex << c.rop;
  }
  // 0xB8 (PSDPxax): the pattern where the source is 0, the destination where it is 1.
  EXPECT_EQ(Rop3Reference(0xB8, 0xF0F0F0F0, 0xFF00FF00, 0x12345678), 0x12F056F0u);
  // 0xE2 (DSPDxax): the pattern where the source is 1, the destination where it is 0.
  EXPECT_EQ(Rop3Reference(0xE2, 0xFF00FF00, 0xF0F0F0F0, 0x12345678), 0xF204F608u);
  // Binary operations: R2_XORPEN is PATINVERT, R2_COPYPEN PATCOPY, R2_NOT DSTINVERT.
  EXPECT_EQ(Rop2ToRop3Index(R2_XORPEN), Rop3Index(PATINVERT));
  EXPECT_EQ(Rop2ToRop3Index(R2_COPYPEN), Rop3Index(PATCOPY));
  EXPECT_EQ(Rop2ToRop3Index(R2_NOT), Rop3Index(DSTINVERT));
  EXPECT_EQ(Rop2ToRop3Index(R2_NOTXORPEN), 0xA5);
}

// A random 8 x 8 colour pattern brush.
CBitmap RandomPattern(std::mt19937& rng) {
  CBitmap b;
  b.CreateBitmap(8, 8, 1, 32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) b.Image().setPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFF));
  return b;
}

void FillRandom(QImage& image, std::mt19937& rng) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      if (image.format() == QImage::Format_Mono) {
        image.setPixel(x, y, rng() & 1);
      } else {
        image.setPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFF));
      }
    }
}

TEST(Rop3, BitBltMatchesPerPixelReferenceForAllCodes) {
  std::mt19937 rng(11);
  constexpr int kW = 13, kH = 9;
  for (int code = 0; code < 256; ++code) {
    const uint32_t rop = static_cast<uint32_t>(code) << 16;
    QImage src(kW, kH, QImage::Format_RGB32), dst(kW + 4, kH + 3, QImage::Format_RGB32);
    FillRandom(src, rng);
    FillRandom(dst, rng);
    const QImage before = dst.copy();
    CBitmap pattern = RandomPattern(rng);
    CBrush brush;
    brush.CreatePatternBrush(&pattern);
    CDC s, d;
    s.AttachImage(&src);
    d.AttachImage(&dst);
    const int orgX = static_cast<int>(rng() % 8), orgY = static_cast<int>(rng() % 8);
    d.SetBrushOrg(orgX, orgY);
    d.SelectObject(&brush);
    ASSERT_TRUE(d.BitBlt(2, 1, kW - 1, kH - 1, &s, 1, 1, rop));
    for (int y = 0; y < dst.height(); ++y) {
      for (int x = 0; x < dst.width(); ++x) {
        uint32_t want = before.pixel(x, y) & 0xFFFFFF;
        if (x >= 2 && x < 2 + kW - 1 && y >= 1 && y < kH) {
          const uint32_t sv = src.pixel(x - 2 + 1, y - 1 + 1) & 0xFFFFFF;
          const uint32_t pv =
              pattern.Image().pixel(((x - orgX) % 8 + 8) % 8, ((y - orgY) % 8 + 8) % 8) & 0xFFFFFF;
          want = Rop3Reference(static_cast<uint8_t>(code), pv, sv, want) & 0xFFFFFF;
        }
        ASSERT_EQ(dst.pixel(x, y) & 0xFFFFFF, want)
            << "code 0x" << std::hex << code << std::dec << " at " << x << "," << y;
      }
    }
  }
}

TEST(Rop3, MonochromeTransfersMatchPerPixelReferenceForAllCodes) {
  // Mono source onto colour (0 = text colour, 1 = background colour) and
  // colour source onto mono (the source's background colour = 1).
  std::mt19937 rng(5);
  const COLORREF text = RGB(10, 200, 30), bk = RGB(250, 20, 120);
  for (int code = 0; code < 256; ++code) {
    const uint32_t rop = static_cast<uint32_t>(code) << 16;
    CBitmap mono;
    mono.CreateBitmap(11, 7, 1, 1);
    FillRandom(mono.Image(), rng);
    QImage colour(11, 7, QImage::Format_RGB32);
    FillRandom(colour, rng);
    const QImage colourBefore = colour.copy();
    CDC monoDc, colourDc;
    monoDc.CreateCompatibleDC(nullptr);
    monoDc.SelectObject(&mono);
    colourDc.AttachImage(&colour);
    colourDc.SetTextColor(text);
    colourDc.SetBkColor(bk);
    colourDc.SelectStockObject(BLACK_BRUSH);
    ASSERT_TRUE(colourDc.BitBlt(0, 0, 11, 7, &monoDc, 0, 0, rop));
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 11; ++x) {
        const uint32_t sv = ColorRefToRgb(mono.Image().pixelIndex(x, y) ? bk : text);
        const uint32_t want =
            Rop3Reference(static_cast<uint8_t>(code), 0, sv, colourBefore.pixel(x, y) & 0xFFFFFF) &
            0xFFFFFF;
        ASSERT_EQ(colour.pixel(x, y) & 0xFFFFFF, want) << "mono->colour code " << code;
      }
    // Colour to mono: pixels equal to the source's background colour are 1.
    FillRandom(colour, rng);
    const COLORREF key = RgbToColorRef(colour.pixel(3, 3) & 0xFFFFFF);
    colour.setPixel(5, 2, colour.pixel(3, 3));
    colourDc.SetBkColor(key);
    const QImage monoBefore = mono.Image().copy();
    monoDc.SelectStockObject(WHITE_BRUSH);
    ASSERT_TRUE(monoDc.BitBlt(0, 0, 11, 7, &colourDc, 0, 0, rop));
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 11; ++x) {
        const uint32_t sv = (colour.pixel(x, y) & 0xFFFFFF) == ColorRefToRgb(key) ? 1 : 0;
        const uint32_t want =
            Rop3Reference(static_cast<uint8_t>(code), 1, sv, monoBefore.pixelIndex(x, y)) & 1;
        ASSERT_EQ(static_cast<uint32_t>(mono.Image().pixelIndex(x, y)), want)
            << "colour->mono code " << code << " at " << x << "," << y;
      }
  }
}

}  // namespace
