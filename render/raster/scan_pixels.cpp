// Pixel writers of the scan converter for the direct-colour formats (24 and
// 32 bits). The 16-bit and palette formats write nothing yet.
#include <algorithm>
#include <cstring>

#include "render/raster/scan_converter.h"

namespace {

uint32_t Pack32(int32_t r, int32_t g, int32_t b) {
  return static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b);
}

void Store32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Fills n 32-bit pixels with one value.
void Fill32(uint8_t* p, int32_t n, uint32_t v) {
  uint8_t pattern[4];
  Store32(pattern, v);
  for (int32_t i = 0; i < n; ++i) std::memcpy(p + 4 * i, pattern, 4);
}

}  // namespace

void CScanConverter::SolidColorSpan(CScanConverter* cv, int32_t x0, int32_t x1, CSpanFill* fill) {
  if (x0 >= x1 || !cv->rowPtr) return;
  const int32_t n = x1 - x0;
  const int32_t px = x0 + cv->xOffset;
  switch (cv->pixelFormat) {
    case kScan32Bit:
      Fill32(cv->rowPtr + 4 * static_cast<ptrdiff_t>(px), n, Pack32(fill->red, fill->green, fill->blue));
      return;
    case kScan32BitAlpha:
      Fill32(cv->rowPtr + 4 * static_cast<ptrdiff_t>(px), n,
             0xFF000000u | Pack32(fill->red, fill->green, fill->blue));
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

void CScanConverter::WriteColorSpan(int32_t x0, int32_t x1, const uint8_t* colours) {
  if (!rowPtr) return;
  for (int32_t x = x0; x < x1; ++x, colours += 3) {
    const ptrdiff_t px = x + xOffset;
    switch (pixelFormat) {
      case kScan24Bit: {
        uint8_t* p = rowPtr + 3 * px;
        p[0] = colours[2];
        p[1] = colours[1];
        p[2] = colours[0];
        break;
      }
      case kScan32Bit:
        Store32(rowPtr + 4 * px, Pack32(colours[0], colours[1], colours[2]));
        break;
      case kScan32BitAlpha:
        Store32(rowPtr + 4 * px, 0xFF000000u | Pack32(colours[0], colours[1], colours[2]));
        break;
      default:
        return;
    }
  }
}

void CScanConverter::WriteBlendedPixel(int32_t x, const int32_t sums[3], int32_t n) {
  if (n <= 0 || !rowPtr) return;
  const bool overWhite = backgroundValid == 0 || n > 15;
  auto blend = [&](int32_t sum, int32_t old) {
    return static_cast<uint8_t>(overWhite ? (sum + (16 - n) * 255) >> 4 : (old * (16 - n) + sum) >> 4);
  };
  const ptrdiff_t px = x + xOffset;
  switch (pixelFormat) {
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

void CScanConverter::SampleFill(const CSpanFill* fill, int32_t, int32_t, int32_t rgb[3]) const {
  rgb[0] = fill->red;
  rgb[1] = fill->green;
  rgb[2] = fill->blue;
}
