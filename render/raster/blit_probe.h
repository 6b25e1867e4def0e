// The blit-speed probe: times test blits of a 200 x 200 image in the pixel
// formats a screen depth may prefer and picks the fastest.
#pragma once

#include <cstdint>
#include <span>

#include "render/raster/offscreen_bitmap.h"

// Where the probe's trials go and the clock that times them.
class CBlitProbeTarget {
 public:
  virtual ~CBlitProbeTarget() = default;
  // Blits the 200 x 200 test image (its info block, then its pixels) to the
  // screen; false when the blit fails.
  virtual bool BlitTest(std::span<const uint8_t> info, std::span<const uint8_t> pixels) = 0;
  // Waits until drawing already asked for is done.
  virtual void Flush() = 0;
  // Counter ticks, or milliseconds where there is no counter.
  virtual int64_t Now() = 0;
};

// The format a depth gets when no trial wins: 1, 2, 4, 16, 24 and 32 bits give
// codes 0, 1, 2, 4, 6 and 7; any other depth 3.
uint32_t DefaultFormatForDepth(int depth);

// Runs the trials for a screen depth and returns the fastest format and row
// order (the first of equal times; a failed blit never wins; a trial must beat
// 0x7FF0 ticks, else the default format, bottom-up, stays).
BlitFormat RunBlitProbe(int depth, CBlitProbeTarget& target);
