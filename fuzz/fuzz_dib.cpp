// Packed device-independent bitmaps come from the clipboard and imported
// files: load arbitrary bytes as one, whole and in part, and read pixels back.
#include <cstddef>
#include <cstdint>
#include <span>

#include "render/raster/dib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> block(data, size);
  CDib dib;
  if (dib.LoadPackedDib(block)) {
    const int32_t w = dib.Width(), h = dib.Height();
    for (int32_t y : {-1, 0, h / 2, h - 1, h}) {
      for (int32_t x : {-1, 0, w / 2, w - 1, w}) {
        (void)dib.GetPixel(x, y);
        (void)dib.SampleBilinear(x * 0x10000 + 0x9000, y * 0x10000 - 0x3000);
      }
    }
  }
  // A part that may reach past any side of the image.
  const auto s = static_cast<int32_t>(size % 13);
  const WinRect part{s - 6, 3 - s, s + 2, 9 - s / 2};
  CDib piece;
  if (piece.LoadPackedDib(block, {}, &part)) (void)piece.GetPixel(1, 1);
  return 0;
}
