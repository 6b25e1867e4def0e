// Pixel writers of the scan converter for every target format: runs of
// colours (with palette reduction by nearest colour, ordered dither or error
// diffusion, and the 16-bit dither), the solid pattern writers, the bitmap
// and gradient span writers, and the anti-aliased pixel blend.
#include <algorithm>
#include <cstring>

#include "render/raster/dib.h"
#include "render/raster/raster_tables.h"
#include "render/raster/scan_converter.h"

namespace {

void Store16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

uint32_t Load16(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8;
}

void Store32(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, 4);
}

uint32_t Pack32(int32_t r, int32_t g, int32_t b) {
  return static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b);
}

uint32_t Pack555(uint32_t r, uint32_t g, uint32_t b) {
  return (r & 0xF8) << 7 | (g & 0xF8) << 2 | b >> 3;
}

uint32_t Pack565(uint32_t r, uint32_t g, uint32_t b) {
  return (r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3;
}

// Fills n 32-bit pixels with one value.
void Fill32(uint8_t* p, int32_t n, uint32_t v) {
  uint32_t* q = reinterpret_cast<uint32_t*>(__builtin_assume_aligned(p, 1));
  for (int32_t i = 0; i < n; ++i) std::memcpy(q + i, &v, 4);
}

// Ordered-dither levels: the nibble k = (channel + d) >> 4, capped at 15. A
// cell's nibble stands for nibble * 16, and with d even over 0..15 the mean
// of k is channel / 16, so the dither keeps the mean colour (k - 1 would
// darken everything by a whole level).
constexpr uint32_t DitherLevel(int32_t v) {
  return static_cast<uint32_t>(std::clamp(v >> 4, 0, 15));
}

int BitsOf(uint32_t format) {
  switch (format) {
    case kScan1Bit:
      return 1;
    case kScan2Bit:
      return 2;
    case kScan4Bit:
      return 4;
    default:
      return 8;
  }
}

// Writes pixels [px, px + n) of a packed row from a repeating 32-bit pattern
// word (4 bytes in memory order): whole bytes in between, the end bytes
// merged through masks. Pixels are most significant bit first in a byte.
void FillBitsMasked(uint8_t* row, int64_t px, int64_t n, int bits, const uint8_t* word) {
  int64_t b0 = px * bits, b1 = (px + n) * bits;  // bit range
  while (b0 < b1) {
    const int64_t byte = b0 >> 3;
    const int lo = static_cast<int>(b0 & 7);
    const int hi = static_cast<int>(std::min<int64_t>(b1 - (byte << 3), 8));
    const uint8_t pat = word[byte & 3];
    if (lo == 0 && hi == 8) {
      // Whole bytes up to the last one.
      int64_t end = b1 >> 3;
      for (int64_t i = byte; i < end; ++i) row[i] = word[i & 3];
      b0 = end << 3;
      continue;
    }
    const uint8_t mask = static_cast<uint8_t>((0xFF >> lo) & (0xFF << (8 - hi)));
    row[byte] = static_cast<uint8_t>((row[byte] & ~mask) | (pat & mask));
    b0 = (byte << 3) + hi;
  }
}

}  // namespace

const InverseColorMap& CScanConverter::ColourMap() const {
  static const InverseColorMap kNoMap{};
  return palette ? palette->inverseMap : kNoMap;
}

uint32_t CScanConverter::PaletteColour(uint32_t index) const {
  if (!palette || index >= palette->table.count) return 0;
  return palette->table.entries[index];
}

// ---- Rows of colours -------------------------------------------------------------

void CScanConverter::WriteIndexedSpan(int32_t x0, int32_t x1, const uint8_t* colours,
                                      uint8_t* out) {
  const InverseColorMap& map = ColourMap();
  const int32_t y8 = (rowY & 7) * 8;
  if (ditherMode == 2 && !errorRow && errorFailed == 0) AllocErrorRows();
  if (ditherMode == 2 && errorRow) {
    for (int32_t x = x0; x < x1; ++x, colours += 3) {
      const int64_t px = int64_t{x} + xOffset;
      if (px < 0 || px >= errorRowLength / 3 - 2) {
        *out++ = map[InverseMapCell(colours[0], colours[1], colours[2])];
        continue;
      }
      int32_t* cur = errorRow + (px + 1) * 3;
      int32_t* below = errorNext + (px + 1) * 3;
      const int32_t p = kDiffusionOffsets[y8 + (x & 7)];
      int32_t v[3];
      uint32_t cell = 0;
      for (int c = 0; c < 3; ++c) {
        v[c] = colours[c] + cur[c];
        const int32_t w = v[c] + p;
        const uint32_t level = w < 0 ? 0 : w >= 256 ? 15 : static_cast<uint32_t>(w) >> 4;
        cell |= level << (8 - 4 * c);
      }
      const uint8_t index = map[cell];
      const uint32_t entry = PaletteColour(index);
      const int32_t e[3] = {v[0] - RedOf(entry), v[1] - GreenOf(entry), v[2] - BlueOf(entry)};
      for (int c = 0; c < 3; ++c) {
        cur[3 + c] += e[c] / 2;
        below[c - 3] += e[c] / 4;
        below[c] += e[c] / 4;
      }
      *out++ = index;
    }
    return;
  }
  if (ditherMode == 1) {
    for (int32_t x = x0; x < x1; ++x, colours += 3) {
      const int32_t d = kOrderedDither[y8 + (x & 7)];
      *out++ = map[DitherLevel(colours[0] + d) << 8 | DitherLevel(colours[1] + d) << 4 |
                   DitherLevel(colours[2] + d)];
    }
    return;
  }
  for (int32_t x = x0; x < x1; ++x, colours += 3)
    *out++ = map[InverseMapCell(colours[0], colours[1], colours[2])];
}

void CScanConverter::AllocErrorRows() {
  const int64_t length = (int64_t{surface.width} + std::max(xOffset, 0)) * 3 + 6;
  void* block = nullptr;
  if (length <= 0 || length > (int64_t{1} << 28) ||
      BlockAlloc(static_cast<size_t>(length) * 2 * sizeof(int32_t), &block) != 0) {
    errorFailed = 1;  // plain nearest colours then
    return;
  }
  errorBuffer = static_cast<int32_t*>(block);
  errorRowLength = static_cast<int32_t>(length);
  std::fill_n(errorBuffer, 2 * length, 0);
  errorRow = errorBuffer;
  errorNext = errorBuffer + length;
}

void CScanConverter::FreeErrorRows() {
  if (errorBuffer) BlockFree(errorBuffer);
  errorBuffer = errorRow = errorNext = nullptr;
  errorRowLength = 0;
  errorFailed = 0;
}

void CScanConverter::WriteColorSpan(int32_t x0, int32_t x1, const uint8_t* colours) {
  if (!rowPtr || x0 >= x1) return;
  const ptrdiff_t base = ptrdiff_t{x0} + xOffset;
  switch (pixelFormat) {
    case kScan1Bit:
    case kScan2Bit:
    case kScan4Bit: {
      uint8_t indices[256];
      const int bits = BitsOf(pixelFormat);
      for (int32_t x = x0; x < x1;) {
        const int32_t n = std::min(x1 - x, 256);
        WriteIndexedSpan(x, x + n, colours + 3 * (x - x0), indices);
        for (int32_t i = 0; i < n; ++i) {
          const int64_t bit = (int64_t{x} + xOffset + i) * bits;
          uint8_t& byte = rowPtr[bit >> 3];
          const int shift = 8 - bits - static_cast<int>(bit & 7);
          const uint32_t mask = ((1u << bits) - 1) << shift;
          byte = static_cast<uint8_t>((byte & ~mask) | ((uint32_t{indices[i]} << shift) & mask));
        }
        x += n;
      }
      return;
    }
    case kScan8Bit:
      WriteIndexedSpan(x0, x1, colours, rowPtr + base);
      return;
    case kScan555:
    case kScan565: {
      uint8_t* p = rowPtr + 2 * base;
      const bool is565 = pixelFormat == kScan565;
      const int32_t y4 = (rowY & 3) * 4;
      for (int32_t x = x0; x < x1; ++x, colours += 3, p += 2) {
        uint32_t r = colours[0], g = colours[1], b = colours[2];
        if (ditherMode) {
          const uint32_t d = kDither16[y4 + (x & 3)];
          r = std::min(r + d, 255u);
          g = std::min(g + (is565 ? d / 2 : d), 255u);
          b = std::min(b + d, 255u);
        }
        Store16(p, is565 ? Pack565(r, g, b) : Pack555(r, g, b));
      }
      return;
    }
    case kScan24Bit: {
      uint8_t* p = rowPtr + 3 * base;
      for (int32_t x = x0; x < x1; ++x, colours += 3, p += 3) {
        p[0] = colours[2];
        p[1] = colours[1];
        p[2] = colours[0];
      }
      return;
    }
    case kScan32Bit:
    case kScan32BitAlpha: {
      const uint32_t alpha = pixelFormat == kScan32BitAlpha ? 0xFF000000u : 0;
      uint8_t* p = rowPtr + 4 * base;
      for (int32_t x = x0; x < x1; ++x, colours += 3, p += 4)
        Store32(p, alpha | Pack32(colours[0], colours[1], colours[2]));
      return;
    }
    default:
      return;
  }
}

void CScanConverter::SolidColorSpan(CScanConverter* cv, int32_t x0, int32_t x1, CSpanFill* fill) {
  if (x0 >= x1 || !cv->rowPtr) return;
  const int32_t n = x1 - x0;
  const ptrdiff_t px = ptrdiff_t{x0} + cv->xOffset;
  switch (cv->pixelFormat) {
    case kScan32Bit:
      Fill32(cv->rowPtr + 4 * px, n, Pack32(fill->red, fill->green, fill->blue));
      return;
    case kScan32BitAlpha:
      Fill32(cv->rowPtr + 4 * px, n, 0xFF000000u | Pack32(fill->red, fill->green, fill->blue));
      return;
    default: {
      // Through the colour writer, 256 pixels at a time.
      uint8_t colours[256 * 3];
      for (int i = 0; i < 256; ++i) {
        colours[3 * i] = static_cast<uint8_t>(fill->red);
        colours[3 * i + 1] = static_cast<uint8_t>(fill->green);
        colours[3 * i + 2] = static_cast<uint8_t>(fill->blue);
      }
      for (int32_t x = x0; x < x1; x += 256) cv->WriteColorSpan(x, std::min(x + 256, x1), colours);
      return;
    }
  }
}

// ---- Solid patterns --------------------------------------------------------------

namespace {

const uint8_t* PatternRow(const CScanConverter* cv, const CSpanFill* fill) {
  return fill->patternRows[(static_cast<uint32_t>(cv->rowY) + cv->phaseY) & 3].data();
}

void PatternPacked(CScanConverter* cv, int32_t x0, int32_t x1, CSpanFill* fill) {
  if (x0 >= x1 || !cv->rowPtr) return;
  FillBitsMasked(cv->rowPtr, int64_t{x0} + cv->xOffset, x1 - x0, BitsOf(cv->pixelFormat),
                 PatternRow(cv, fill));
}

}  // namespace

void CScanConverter::PatternSpan1(CScanConverter* cv, int32_t x0, int32_t x1, CSpanFill* fill) {
  PatternPacked(cv, x0, x1, fill);
}
void CScanConverter::PatternSpan2(CScanConverter* cv, int32_t x0, int32_t x1, CSpanFill* fill) {
  PatternPacked(cv, x0, x1, fill);
}
void CScanConverter::PatternSpan4(CScanConverter* cv, int32_t x0, int32_t x1, CSpanFill* fill) {
  PatternPacked(cv, x0, x1, fill);
}
void CScanConverter::PatternSpan8(CScanConverter* cv, int32_t x0, int32_t x1, CSpanFill* fill) {
  PatternPacked(cv, x0, x1, fill);
}

void CScanConverter::PatternSpan16(CScanConverter* cv, int32_t x0, int32_t x1, CSpanFill* fill) {
  if (x0 >= x1 || !cv->rowPtr) return;
  const uint8_t* row = PatternRow(cv, fill);
  const int64_t px = int64_t{x0} + cv->xOffset;
  uint8_t* p = cv->rowPtr + 2 * px;
  for (int64_t i = 0, n = x1 - x0; i < n; ++i, p += 2) {
    const uint8_t* src = row + 2 * ((px + i) & 3);
    p[0] = src[0];
    p[1] = src[1];
  }
}

void CScanConverter::PatternSpan24(CScanConverter* cv, int32_t x0, int32_t x1, CSpanFill* fill) {
  if (x0 >= x1 || !cv->rowPtr) return;
  const uint8_t* row = PatternRow(cv, fill);
  const int64_t px = int64_t{x0} + cv->xOffset;
  uint8_t* p = cv->rowPtr + 3 * px;
  for (int64_t i = 0, n = x1 - x0; i < n; ++i, p += 3) {
    const uint8_t* src = row + 3 * ((px + i) & 3);
    p[0] = src[0];
    p[1] = src[1];
    p[2] = src[2];
  }
}

void CScanConverter::PatternSpan32(CScanConverter* cv, int32_t x0, int32_t x1, CSpanFill* fill) {
  if (x0 >= x1 || !cv->rowPtr) return;
  const uint8_t* row = PatternRow(cv, fill);
  const int64_t px = int64_t{x0} + cv->xOffset;
  uint8_t* p = cv->rowPtr + 4 * px;
  if (fill->plainPattern) {
    uint32_t v;
    std::memcpy(&v, row, 4);
    Fill32(p, x1 - x0, v);
    return;
  }
  for (int64_t i = 0, n = x1 - x0; i < n; ++i, p += 4) std::memcpy(p, row + 4 * ((px + i) & 3), 4);
}

// ---- Bitmaps and gradients ---------------------------------------------------------

namespace {

// Position of device pixel (x, y) in a bitmap fill's image (16.16), with the
// half-pixel shift of bilinear sampling.
void BitmapPosition(const CSpanFill* fill, int32_t x, int32_t y, bool smooth, int64_t& px,
                    int64_t& py) {
  const Matrix2x3& m = fill->bitmapInverse;
  px = int64_t{m.a} * x + int64_t{m.c} * y + fill->bitmapOriginX;
  py = int64_t{m.b} * x + int64_t{m.d} * y + fill->bitmapOriginY;
  if (smooth) {
    px -= 0x8000;
    py -= 0x8000;
  }
}

Fixed ClampFixed(int64_t v) {
  return static_cast<Fixed>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

Rgb SampleBitmap(const CDib& dib, int64_t px, int64_t py, bool smooth) {
  if (smooth) return dib.SampleBilinear(ClampFixed(px), ClampFixed(py));
  return dib.GetPixel(static_cast<int32_t>(std::clamp<int64_t>(px >> 16, INT32_MIN, INT32_MAX)),
                      static_cast<int32_t>(std::clamp<int64_t>(py >> 16, INT32_MIN, INT32_MAX)));
}

// Start of a gradient row: device pixel (x, y) in gradient space and the
// step per pixel.
void GradientStart(const CSpanFill* fill, int32_t x, int32_t y, int32_t& gx, int32_t& gy,
                   int32_t& sx, int32_t& sy) {
  // MatrixTransformPoint of (x << 8, y << 8), inline: products rounded as
  // FixedMul rounds them, sums wrapping.
  const Matrix2x3& m = fill->gradientInverse;
  const int64_t px = static_cast<int32_t>(static_cast<uint32_t>(x) << 8);
  const int64_t py = static_cast<int32_t>(static_cast<uint32_t>(y) << 8);
  // (p >> 16) + ((p >> 15) & 1) is (p + 2^15) >> 16; |p| < 2^62.
  auto mul = [](int64_t a, int64_t b) { return static_cast<uint32_t>((a * b + 0x8000) >> 16); };
  gx = static_cast<int32_t>(mul(m.a, px) + mul(m.c, py) + static_cast<uint32_t>(m.tx));
  gy = static_cast<int32_t>(mul(m.d, py) + mul(m.b, px) + static_cast<uint32_t>(m.ty));
  sx = m.a >> 8;
  sy = m.b >> 8;
}

}  // namespace

void CScanConverter::BitmapFillSpan(CScanConverter* cv, int32_t x0, int32_t x1, CSpanFill* fill) {
  if (x0 >= x1 || !cv->rowPtr || !fill->dib || !fill->dib->Bits()) return;
  const CDib& dib = *fill->dib;
  const bool smooth = cv->smoothBitmaps != 0;
  int64_t px, py;
  BitmapPosition(fill, x0, cv->rowY, smooth, px, py);
  const int64_t sx = fill->bitmapInverse.a, sy = fill->bitmapInverse.b;
  uint8_t colours[256 * 3];
  for (int32_t x = x0; x < x1;) {
    const int32_t n = std::min(x1 - x, 256);
    for (int32_t i = 0; i < n; ++i, px += sx, py += sy) {
      const Rgb c = SampleBitmap(dib, px, py, smooth);
      colours[3 * i] = c.red;
      colours[3 * i + 1] = c.green;
      colours[3 * i + 2] = c.blue;
    }
    cv->WriteColorSpan(x, x + n, colours);
    x += n;
  }
}

void CScanConverter::GradientFillSpan(CScanConverter* cv, int32_t x0, int32_t x1, CSpanFill* fill) {
  if (x0 >= x1 || !cv->rowPtr) return;
  const uint32_t* const ramp = fill->Ramp(cv->rowY);
  if (!ramp) return;
  int32_t gx, gy, sx, sy;
  GradientStart(fill, x0, cv->rowY, gx, gy, sx, sy);
  const int32_t count = x1 - x0;
  const bool radial = fill->gradientType == kGradientRadial;
  RadialGradientWalk walk;
  if (radial) walk.Start(gx, gy, sx, sy);
  if (cv->pixelFormat == kScan32Bit) {
    // Straight into the row: red in the third byte.
    uint8_t* p = cv->rowPtr + 4 * (ptrdiff_t{x0} + cv->xOffset);
    auto put = [&](int32_t i, uint32_t index) {
      const uint32_t c = ramp[index];
      Store32(p + 4 * i, Pack32(RedOf(c), GreenOf(c), BlueOf(c)));
    };
    if (radial) {
      for (int32_t i = 0; i < count; ++i) put(i, walk.Step());
    } else {
      // Each 256 pixels start again from the wrapped position, as the
      // index runs below do.
      for (int32_t done = 0; done < count; done += 256) {
        int64_t pos = static_cast<int32_t>(static_cast<uint32_t>(gx) +
                                           static_cast<uint32_t>(sx) * static_cast<uint32_t>(done));
        const int32_t end = std::min(count, done + 256);
        for (int32_t i = done; i < end; ++i, pos += sx) put(i, LinearGradientIndex(pos));
      }
    }
    return;
  }
  uint16_t indices[256];
  uint8_t colours[256 * 3];
  for (int32_t done = 0; done < count;) {
    const int32_t n = std::min(count - done, 256);
    if (radial) {
      walk.Next(n, indices);
    } else {
      LinearGradientIndices(
          static_cast<int32_t>(static_cast<uint32_t>(gx) +
                               static_cast<uint32_t>(sx) * static_cast<uint32_t>(done)),
          sx, n, indices);
    }
    for (int32_t i = 0; i < n; ++i) {
      const uint32_t c = ramp[indices[i]];
      colours[3 * i] = RedOf(c);
      colours[3 * i + 1] = GreenOf(c);
      colours[3 * i + 2] = BlueOf(c);
    }
    cv->WriteColorSpan(x0 + done, x0 + done + n, colours);
    done += n;
  }
}

void CScanConverter::SampleFill(const CSpanFill* fill, int32_t x, int32_t y, int32_t rgb[3]) const {
  switch (fill->kind) {
    case kSpanBitmap:
      if (fill->dib && fill->dib->Bits()) {
        int64_t px, py;
        BitmapPosition(fill, x, y, smoothBitmaps != 0, px, py);
        const Rgb c = SampleBitmap(*fill->dib, px, py, smoothBitmaps != 0);
        rgb[0] = c.red;
        rgb[1] = c.green;
        rgb[2] = c.blue;
        return;
      }
      break;
    case kSpanGradient:
      if (const uint32_t* const ramp = fill->Ramp(y)) {
        int32_t gx, gy, sx, sy;
        GradientStart(fill, x, y, gx, gy, sx, sy);
        const uint32_t index = fill->gradientType == kGradientRadial ? RadialGradientIndex(gx, gy)
                                                                     : LinearGradientIndex(gx);
        const uint32_t c = ramp[index];
        rgb[0] = RedOf(c);
        rgb[1] = GreenOf(c);
        rgb[2] = BlueOf(c);
        return;
      }
      break;
    default:
      break;
  }
  rgb[0] = fill->red;
  rgb[1] = fill->green;
  rgb[2] = fill->blue;
}

// ---- Anti-aliased pixels -------------------------------------------------------------

void CScanConverter::WriteBlendedPixel(int32_t x, const int32_t sums[3], int32_t n) {
  if (n <= 0 || !rowPtr) return;
  const bool overWhite = backgroundValid == 0 || n > 15;
  auto blend = [&](int32_t sum, int32_t old) {
    return static_cast<uint8_t>(overWhite ? (sum + (16 - n) * 255) >> 4
                                          : (old * (16 - n) + sum) >> 4);
  };
  const ptrdiff_t px = ptrdiff_t{x} + xOffset;
  switch (pixelFormat) {
    case kScan1Bit:
    case kScan2Bit:
    case kScan4Bit:
    case kScan8Bit: {
      // BlendPackedPixel for the packed formats: the old index from its bit
      // field, the new one written back into it.
      const int bits = BitsOf(pixelFormat);
      const int64_t bit = int64_t{px} * bits;
      uint8_t& byte = rowPtr[bit >> 3];
      const int shift = 8 - bits - static_cast<int>(bit & 7);
      const uint32_t mask = ((1u << bits) - 1) << shift;
      const uint32_t old = PaletteColour((byte & mask) >> shift);
      const uint8_t index = ColourMap()[InverseMapCell(
          blend(sums[0], RedOf(old)), blend(sums[1], GreenOf(old)), blend(sums[2], BlueOf(old)))];
      byte = static_cast<uint8_t>((byte & ~mask) | ((uint32_t{index} << shift) & mask));
      return;
    }
    case kScan555:
    case kScan565: {
      uint8_t* p = rowPtr + 2 * px;
      const uint32_t v = Load16(p);
      int32_t r, g, b;
      if (pixelFormat == kScan555) {
        r = kExpand5To8[(v >> 10) & 31];
        g = kExpand5To8[(v >> 5) & 31];
        b = kExpand5To8[v & 31];
      } else {
        const uint32_t g6 = (v >> 5) & 63;
        r = kExpand5To8[(v >> 11) & 31];
        g = g6 ? static_cast<int32_t>(g6 << 2 | 3) : 0;
        b = kExpand5To8[v & 31];
      }
      const uint32_t nr = blend(sums[0], r), ng = blend(sums[1], g), nb = blend(sums[2], b);
      Store16(p, pixelFormat == kScan555 ? Pack555(nr, ng, nb) : Pack565(nr, ng, nb));
      return;
    }
    case kScan24Bit: {
      uint8_t* p = rowPtr + 3 * px;
      p[0] = blend(sums[2], p[0]);
      p[1] = blend(sums[1], p[1]);
      p[2] = blend(sums[0], p[2]);
      return;
    }
    case kScan32Bit:
    case kScan32BitAlpha: {
      uint8_t* p = rowPtr + 4 * px;
      p[0] = blend(sums[2], p[0]);
      p[1] = blend(sums[1], p[1]);
      p[2] = blend(sums[0], p[2]);
      if (pixelFormat == kScan32Bit) {
        p[3] = 0;
      } else {
        p[3] = static_cast<uint8_t>(overWhite ? n * 255 / 16 : (n * 255 + p[3] * (16 - n)) / 16);
      }
      return;
    }
    default:
      return;
  }
}
