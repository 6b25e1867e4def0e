// The signed area a region's boundary cycle encloses, shared by the region
// tests and the edge-graph fuzz target (no test framework needed).
#pragma once

#include "geometry/edge_graph_region.h"

namespace graph_test {

// The signed area enclosed by a boundary cycle, in square twips, with curves
// sampled finely (positive for a counter-clockwise cycle).
inline double CycleArea(const Region* r) {
  double sum = 0;
  const HalfEdge* h = r->boundary;
  do {
    QuadCurve c;
    EdgeGetCurve(h, c);
    const int steps = c.straight ? 1 : 64;
    double px = c.p0.x / 256.0, py = c.p0.y / 256.0;
    for (int i = 1; i <= steps; ++i) {
      const double t = double(i) / steps, u = 1 - t;
      const double x = (u * u * c.p0.x + 2 * u * t * c.control.x + t * t * c.p2.x) / 256.0;
      const double y = (u * u * c.p0.y + 2 * u * t * c.control.y + t * t * c.p2.y) / 256.0;
      sum += px * y - x * py;
      px = x;
      py = y;
    }
    h = HalfEdgeNextOnBoundary(h);
  } while (h && h != r->boundary);
  return sum / 2;
}

}  // namespace graph_test
