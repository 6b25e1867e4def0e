// Reading back the pixels of 32-bit offscreen bitmaps in tests (blue, green,
// red, unused in memory).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "render/raster/offscreen_bitmap.h"

struct Rgb8 {
  int r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb8&, const Rgb8&) = default;
};

inline Rgb8 PixelAt(COffscreenBitmap& bitmap, int x, int y) {
  const uint8_t* p = bitmap.Row(y) + 4 * x;
  return {p[2], p[1], p[0]};
}

// 0xRRGGBB of a pixel.
inline uint32_t RgbAt(COffscreenBitmap& bitmap, int x, int y) {
  const uint8_t* p = bitmap.Row(y) + 4 * x;
  return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

// Every pixel as 0xRRGGBB, row by row.
inline std::vector<uint32_t> RgbPixels(COffscreenBitmap& bitmap) {
  std::vector<uint32_t> out;
  out.reserve(static_cast<size_t>(bitmap.Width()) * static_cast<size_t>(bitmap.Height()));
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) out.push_back(RgbAt(bitmap, x, y));
  return out;
}

// A top-down offscreen bitmap (32 bits a pixel unless asked otherwise); one
// that cannot be made throws (the test fails with the reason).
struct Image32 {
  COffscreenBitmap bitmap;
  explicit Image32(int width, int height, int bits = 32) {
    if (!bitmap.CreateDepth(bits, nullptr, width, height, false))
      throw std::runtime_error("cannot make the test bitmap");
  }
  Rgb8 At(int x, int y) { return PixelAt(bitmap, x, y); }
  uint32_t Rgb(int x, int y) { return RgbAt(bitmap, x, y); }
};
