// Scan-converter input for tests: polygons and curves turned into a chain of
// edges (device units) for CScanConverter::AddEdgeList.
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
