// Test input for the scan converter: edge chains (tests/common/edge_chain.h)
// and a 32-bit canvas to draw them into.
#pragma once

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "render/raster/scan_converter.h"
#include "tests/common/edge_chain.h"
#include "tests/common/image32.h"

// 32-bit pixels (blue, green, red, unused), top-down, inside a guard margin
// that no drawing may touch.
class Canvas {
 public:
  Canvas(int32_t width, int32_t height, int32_t guard = 0, uint8_t fill = 0xA5)
      : width_(width),
        height_(height),
        guard_(guard),
        stride_((width + 2 * guard) * 4),
        memory_(static_cast<size_t>(stride_) * (height + 2 * guard), fill) {}

  ScanTarget Target(uint32_t format = kScan32Bit) {
    ScanTarget t;
    t.bits = memory_.data() + static_cast<size_t>(guard_) * stride_ + guard_ * 4;
    t.stride = stride_;
    t.width = width_;
    t.height = height_;
    t.pixel_format = format;
    return t;
  }
  Rgb8 At(int32_t x, int32_t y) const {
    const uint8_t* p = Pixel(x, y);
    return {p[2], p[1], p[0]};
  }
  const uint8_t* Pixel(int32_t x, int32_t y) const {
    return memory_.data() + static_cast<size_t>(y + guard_) * stride_ + (x + guard_) * 4;
  }
  void Fill(uint8_t value) { std::fill(memory_.begin(), memory_.end(), value); }
  const std::vector<uint8_t>& Memory() const { return memory_; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }

 private:
  int32_t width_, height_, guard_, stride_;
  std::vector<uint8_t> memory_;
};

// A prepared solid fill.
inline void MakeSolid(CSpanFill& fill, CScanConverter& cv, int r, int g, int b, int32_t priority) {
  fill.Init(&cv);
  fill.red = r;
  fill.green = g;
  fill.blue = b;
  fill.colour = static_cast<uint32_t>(r | g << 8 | b << 16);
  fill.priority = priority;
  fill.Prepare();
}

// One render of a chain: buckets, edges, rows.
inline void Draw(CScanConverter& cv, EdgeChain& chain) {
  cv.AllocBuckets();
  cv.AddEdgeList(chain.Head());
  cv.RenderAll();
  cv.AllocBuckets();
}
