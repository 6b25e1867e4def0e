// Small helpers of the render context's walks over edge graphs: units,
// visit stamps that survive the counter's wrap, boundary and line-chain
// steps, region contours.
#pragma once

#include <cstdint>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_region.h"
#include "geometry/fixed.h"
#include "geometry/point_list.h"

class CScanConverter;

// Graph units (twips * 256) to twips, rounded.
inline Point32 GraphToTwips(const Point32& p) {
  Point32 out;
  PointShift(p, ShiftRight(8), out);
  return out;
}
inline QuadCurve GraphCurveToTwips(const QuadCurve& c) {
  QuadCurve out;
  CurveShift(c, ShiftRight(8), out);
  return out;
}

// A clip in document coordinates as graph units, grown by `grow` graph
// units; saturates instead of wrapping (a zoomed-out clip can pass the
// range of graph units).
Rect32 GraphClip(const Rect32& docClip, int32_t grow);

// Empties a path, keeping its buffer.
inline void PathClear(PointList& path) {
  path.length = 0;
  PointListFreeCache(path);
}

// The previous half-edge on the same boundary: the twin of the half-edge's
// predecessor in its vertex's ring (the ring taken as circular).
HalfEdge* HalfEdgePrevOnBoundary(const HalfEdge* h);

// At the far vertex of h, the only other half-edge whose edge has the same
// line; null when there are none or several. With smoothOnly, only at
// vertices marked smooth.
HalfEdge* FindLineContinuation(const HalfEdge* h, bool smoothOnly);

// Visit stamps of one pass: a stamp counts as set during the pass when it
// was drawn since the pass began, modulo 2^32 (the shared counter is never
// reset and wraps).
class LineChainWalk {
 public:
  uint32_t Begin() {
    first_ = last_ = EdgeGraphNextStamp();
    return first_;
  }
  uint32_t Next() { return last_ = EdgeGraphNextStamp(); }
  bool Stamped(uint32_t visit) const { return StampedSince(visit, first_, last_); }
  // Whether visit lies in first..last, modulo 2^32.
  static constexpr bool StampedSince(uint32_t visit, uint32_t first, uint32_t last) {
    return visit - first <= last - first;
  }

 private:
  uint32_t first_ = 0;
  uint32_t last_ = 0;
};

// A graph curve into the scan converter's current fill, in twips.
void FeedScanCurve(CScanConverter& scan, const QuadCurve& graphCurve);

// Walks the region's contour and those of its first child and that child's
// siblings: moveTo(first point in twips), then curve(graph curve) for every
// half-edge, each contour until a half-edge already seen in this walk.
template <class Curve, class Move>
void FeedRegionContours(Region* region, Curve&& curve, Move&& moveTo) {
  const uint32_t stamp = EdgeGraphNextStamp();
  auto contour = [&](Region* r) {
    HalfEdge* h = r->boundary;
    if (!h || !h->vertex) return;
    moveTo(GraphToTwips(h->vertex->position));
    while (h && h->visit != stamp) {
      h->visit = stamp;
      QuadCurve c;
      EdgeGetCurve(h, c);
      curve(c);
      h = HalfEdgeNextOnBoundary(h);
    }
  };
  contour(region);
  for (Region* child = region->first_child; child; child = child->next) contour(child);
}
