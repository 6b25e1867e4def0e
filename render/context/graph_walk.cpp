#include "render/context/graph_walk.h"

#include <algorithm>

#include "render/raster/scan_converter.h"

Rect32 GraphClip(const Rect32& docClip, int32_t grow) {
  if (docClip.IsEmpty()) return docClip;
  // Kept inside the range a graph coordinate can have.
  constexpr int64_t kLimit = 0x7FFF0000;
  auto scale = [&](int32_t v, int64_t d) {
    return static_cast<int32_t>(std::clamp(int64_t{v} * 256 + d, -kLimit, kLimit));
  };
  return {scale(docClip.xmin, -int64_t{grow}), scale(docClip.xmax, grow),
          scale(docClip.ymin, -int64_t{grow}), scale(docClip.ymax, grow)};
}

HalfEdge* HalfEdgePrevOnBoundary(const HalfEdge* h) {
  const Vertex* v = h->vertex;
  if (!v || !v->ring) return nullptr;
  // The ring predecessor of h (circular).
  HalfEdge* prev = nullptr;
  for (HalfEdge* r = v->ring; r; r = r->ring_next)
    if ((r->ring_next ? r->ring_next : v->ring) == h) {
      prev = r;
      break;
    }
  return prev ? HalfEdgeTwin(prev) : nullptr;
}

HalfEdge* FindLineContinuation(const HalfEdge* h, bool smoothOnly) {
  const HalfEdge* back = HalfEdgeTwin(h);
  const Vertex* v = back->vertex;
  if (!v || (smoothOnly && !(v->flags & kVertexSmooth))) return nullptr;
  HalfEdge* found = nullptr;
  for (HalfEdge* r = v->ring; r; r = r->ring_next) {
    if (r == back || r->edge->line != h->edge->line) continue;
    if (found) return nullptr;  // several: the chain ends here
    found = r;
  }
  return found;
}

void FeedScanCurve(CScanConverter& scan, const QuadCurve& graphCurve) {
  const QuadCurve c = GraphCurveToTwips(graphCurve);
  if (c.straight) {
    scan.FillLineTo(c.p2);
  } else {
    scan.FillCurveTo(c.control, c.p2);
  }
}
