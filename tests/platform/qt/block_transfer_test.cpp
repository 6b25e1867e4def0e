// Block transfers row by row against the pixel-by-pixel reference: random
// sources, sizes, mirrors, stretches, clips and raster operations give the
// same pixels both ways.
#include <gtest/gtest.h>

#include <QImage>
#include <cstring>
#include <random>
#include <vector>

#include "dc_test_util.h"
#include "platform/qt/gdi_objects.h"
#include "platform/qt/region.h"
#include "platform/qt/rop.h"
#include "render/raster/dib.h"
#include "render/raster/offscreen_bitmap.h"

namespace {

using Rng = std::mt19937;

int Between(Rng& rng, int lo, int hi) {
  return std::uniform_int_distribution<int>(lo, hi)(rng);
}

QImage RandomImage(Rng& rng, int w, int h, bool mono) {
  QImage image(w, h, mono ? QImage::Format_Mono : QImage::Format_RGB32);
  if (mono) image.setColorTable({0xFF000000u, 0xFFFFFFFFu});
  for (int y = 0; y < h; ++y) {
    uint8_t* row = image.scanLine(y);
    for (qsizetype i = 0; i < image.bytesPerLine(); ++i) row[i] = static_cast<uint8_t>(rng());
  }
  return image;
}

// A destination picture: random pixels, the top bytes of 32-bit ones set.
struct Target {
  QImage image;
  CDC dc;
  Target(Rng& rng, int w, int h, bool mono) : image(RandomImage(rng, w, h, mono)) {
    if (!mono)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          reinterpret_cast<uint32_t*>(image.scanLine(y))[x] |= 0xFF000000u;
    dc.AttachImage(&image);
  }
};

constexpr uint32_t kRops[] = {SRCCOPY,    SRCPAINT,   SRCAND,     SRCINVERT, SRCERASE,
                              NOTSRCCOPY, MERGECOPY,  MERGEPAINT, PATCOPY,   PATINVERT,
                              DSTINVERT,  0x00B8074A, 0x00E20746};

// One random transfer drawn on a destination: the same seed gives the same
// operation, so the two paths can run it on copies of one picture.
struct Transfer {
  int kind;  // 0 BitBlt, 1 StretchBlt, 2 StretchDIBits, 3 StretchDib, 4 BlitOffscreen
  int x, y, w, h, xs, ys, ws, hs;
  uint32_t rop;
  bool clip;
  CRect clipRect;
  COLORREF text, bk;
};

Transfer RandomTransfer(Rng& rng, int dw, int dh, int sw, int sh) {
  Transfer t{};
  t.kind = Between(rng, 0, 4);
  t.x = Between(rng, -8, dw);
  t.y = Between(rng, -8, dh);
  t.w = Between(rng, -dw, dw + 8);
  t.h = Between(rng, -dh, dh + 8);
  t.xs = Between(rng, -6, sw);
  t.ys = Between(rng, -6, sh);
  const bool same = Between(rng, 0, 2) == 0;  // unscaled copies are the common case
  t.ws = same ? t.w : Between(rng, -sw, sw + 6);
  t.hs = same ? t.h : Between(rng, -sh, sh + 6);
  if (t.kind == 0 || t.kind == 4) t.ws = t.w, t.hs = t.h;
  t.rop = kRops[Between(rng, 0, static_cast<int>(std::size(kRops)) - 1)];
  t.clip = Between(rng, 0, 3) == 0;
  t.clipRect = CRect(Between(rng, 0, dw / 2), Between(rng, 0, dh / 2), Between(rng, dw / 2, dw),
                     Between(rng, dh / 2, dh));
  t.text = RGB(Between(rng, 0, 255), Between(rng, 0, 255), Between(rng, 0, 255));
  t.bk = Between(rng, 0, 1) ? RGB(255, 255, 255) : RGB(0, 0, 0);
  return t;
}

// The packed bitmap of an image's pixels (24-bit, bottom-up).
std::vector<uint8_t> PackedInfo(int w, int h) {
  std::vector<uint8_t> info(40, 0);
  auto put = [&](int at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) info[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put(0, 40, 4);
  put(4, static_cast<uint32_t>(w), 4);
  put(8, static_cast<uint32_t>(h), 4);
  put(12, 1, 2);
  put(14, 24, 2);
  return info;
}

struct Sources {
  QImage image;
  CDC dc;
  std::vector<uint8_t> info, bits;
  CDib dib;
  COffscreenBitmap offscreen;
  Sources(Rng& rng, int w, int h, bool mono) : image(RandomImage(rng, w, h, mono)) {
    dc.AttachImage(&image);
    info = PackedInfo(w, h);
    const int stride = (w * 3 + 3) & ~3;
    bits.resize(static_cast<size_t>(stride) * h);
    for (uint8_t& b : bits) b = static_cast<uint8_t>(rng());
    EXPECT_TRUE(dib.Create(kDib32Bit, w, h, nullptr));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < 4 * w; ++x)
        dib.Bits()[y * dib.Stride() + x] = static_cast<uint8_t>(rng());
    EXPECT_TRUE(offscreen.CreateDepth(32, nullptr, w, h, false));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < 4 * w; ++x) offscreen.Row(y)[x] = static_cast<uint8_t>(rng());
  }
};

void Draw(const Transfer& t, CDC& dc, Sources& s) {
  CBrush brush(t.text);
  dc.SelectObject(&brush);
  dc.SetTextColor(t.text);
  dc.SetBkColor(t.bk);
  s.dc.SetBkColor(t.bk);
  if (t.clip) {
    CRgn clip;
    clip.CreateRectRgnIndirect(&t.clipRect);
    dc.SelectClipRgn(&clip);
  } else {
    dc.SelectClipRgn(nullptr);
  }
  switch (t.kind) {
    case 0:
      dc.BitBlt(t.x, t.y, t.w, t.h, &s.dc, t.xs, t.ys, t.rop);
      break;
    case 1:
      dc.StretchBlt(t.x, t.y, t.w, t.h, &s.dc, t.xs, t.ys, t.ws, t.hs, t.rop);
      break;
    case 2:
      dc.StretchDIBits(t.x, t.y, t.w, t.h, t.xs, t.ys, t.ws, t.hs, s.bits, s.info, DIB_RGB_COLORS,
                       t.rop);
      break;
    case 3:
      dc.StretchDib(s.dib, CRect(t.x, t.y, t.x + t.w, t.y + t.h),
                    CRect(t.xs, t.ys, t.xs + t.ws, t.ys + t.hs), t.rop);
      break;
    default:
      dc.BlitOffscreen(s.offscreen, t.x, t.y, t.w, t.h, t.xs, t.ys, t.rop);
      break;
  }
  dc.SelectStockObject(BLACK_BRUSH);
}

TEST(BlockTransfer, RowByRowMatchesThePixelByPixelReference) {
  Rng rng(20261211);
  for (int round = 0; round < 400; ++round) {
    const bool monoDest = round % 5 == 4, monoSource = round % 7 == 6;
    const int dw = Between(rng, 1, 40), dh = Between(rng, 1, 30);
    const int sw = Between(rng, 1, 40), sh = Between(rng, 1, 30);
    Sources sources(rng, sw, sh, monoSource);
    const Transfer t = RandomTransfer(rng, dw, dh, sw, sh);
    SCOPED_TRACE(testing::Message()
                 << "round " << round << " kind " << t.kind << " dest " << dw << "x" << dh
                 << (monoDest ? " mono" : "") << " rect " << t.x << "," << t.y << " " << t.w << "x"
                 << t.h << " source " << t.xs << "," << t.ys << " " << t.ws << "x" << t.hs
                 << " rop " << std::hex << t.rop);
    Target fast(rng, dw, dh, monoDest);
    Target reference(rng, dw, dh, monoDest);
    reference.image = fast.image.copy();
    reference.dc.AttachImage(&reference.image);
    Draw(t, fast.dc, sources);
    UseReferenceBlits(true);
    Draw(t, reference.dc, sources);
    UseReferenceBlits(false);
    ASSERT_EQ(fast.image, reference.image);
  }
}

// The window copy itself, at a size where rows are long: a 32-bit offscreen
// bitmap copied whole and in part lands pixel for pixel, top bytes set.
TEST(BlockTransfer, OffscreenCopyIsExactOnLongRows) {
  Rng rng(5);
  Sources s(rng, 700, 90, false);
  TestCanvas canvas(700, 90);
  canvas.dc.BlitOffscreen(s.offscreen, 0, 0, 700, 90, 0, 0, SRCCOPY);
  canvas.dc.BlitOffscreen(s.offscreen, 650, 10, 100, 20, 3, 4, SRCCOPY);
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 700; ++x) {
      const bool moved = x >= 650 && y >= 10 && y < 30;
      const int sx = moved ? x - 647 : x, sy = moved ? y - 6 : y;
      uint32_t want;
      std::memcpy(&want, s.offscreen.Row(sy) + 4 * sx, 4);
      ASSERT_EQ(canvas.image.pixel(x, y), want | 0xFF000000u) << x << "," << y;
    }
}

}  // namespace
