// Test input for the scan converter: polygons and curves turned into edge
// chains (device units), and a 32-bit canvas to draw them into.
#pragma once

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "render/raster/scan_converter.h"

class EdgeChain {
 public:
  // A straight edge; horizontal ones are dropped.
  void Line(Point32 a, Point32 b, CSpanFill* fillA, ScanEdgeKind kind = kEdgeToggleOneFill,
            CSpanFill* fillB = nullptr) {
    QuadCurve c;
    c.p0 = a;
    c.p2 = b;
    c.control = {static_cast<int32_t>((int64_t{a.x} + b.x) >> 1),
                 static_cast<int32_t>((int64_t{a.y} + b.y) >> 1)};
    c.straight = 1;
    Add(c, fillA, kind, fillB);
  }
  // A curve, monotone in y.
  void Curve(Point32 a, Point32 control, Point32 b, CSpanFill* fill,
             ScanEdgeKind kind = kEdgeToggleOneFill) {
    QuadCurve c;
    c.p0 = a;
    c.control = control;
    c.p2 = b;
    Add(c, fill, kind, nullptr);
  }
  // A closed polygon.
  void Polygon(const std::vector<Point32>& points, CSpanFill* fill,
               ScanEdgeKind kind = kEdgeToggleOneFill) {
    for (size_t i = 0; i < points.size(); ++i)
      Line(points[i], points[(i + 1) % points.size()], fill, kind);
  }
  // An axis-aligned rectangle [x0, x1) x [y0, y1).
  void Rect(int32_t x0, int32_t y0, int32_t x1, int32_t y1, CSpanFill* fill) {
    Polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, fill);
  }
  CScanEdge* Head() { return head_; }
  size_t Size() const { return edges_.size(); }
  void Clear() {
    edges_.clear();
    head_ = nullptr;
  }

 private:
  void Add(QuadCurve c, CSpanFill* fillA, ScanEdgeKind kind, CSpanFill* fillB) {
    int8_t direction = 1;
    if (c.p0.y == c.p2.y) return;
    if (c.p2.y < c.p0.y) {
      std::swap(c.p0, c.p2);
      direction = -1;
    }
    CScanEdge& e = edges_.emplace_back();
    e.curve = c;
    e.fillA = fillA;
    e.fillB = fillB;
    e.kind = kind;
    e.direction = direction;
    e.next = head_;
    head_ = &e;
  }
  std::deque<CScanEdge> edges_;
  CScanEdge* head_ = nullptr;
};

struct Rgb8 {
  int r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb8&, const Rgb8&) = default;
};

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
    t.pixelFormat = format;
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
