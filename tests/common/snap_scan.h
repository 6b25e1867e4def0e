// Snapping's graph candidates found the slow way, for checking and timing
// the grid lookup: every vertex and every edge of the graph is looked at.
// Offers vertices, then (unless something of priority 4 or better was found)
// each edge's nearest point and a straight edge's midpoint; no alignment
// crossings and no selection filters.
#pragma once

#include "geometry/curve.h"
#include "geometry/edge_graph.h"
#include "view/core/snap.h"

inline void SnapScanGraph(SnapSearch& s, const EdgeGraph& graph, const Matrix2x3* m) {
  auto toView = [m](const Point32& g) {
    Point32 t;
    PointShift(g, ShiftRight(8), t);
    if (m != nullptr) MatrixTransformPoint(*m, t, t);
    return t;
  };
  EdgeGraphForEachVertex(graph, nullptr, [&](Vertex* v) {
    if ((v->flags & kVertexSmooth) == 0 && v != s.excluded)
      SnapSearchTryPoint(s, kSnapVertex, toView(v->position));
  });
  if (s.best_priority < kSnapOnEdge) return;
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
    QuadCurve c;
    CurveShift(e->curve, ShiftRight(8), c);
    if (m != nullptr) CurveTransform(c, *m, c);
    Point32 nearest;
    if (CurveNearestPoint(c, s.query, s.radius, &nearest) == kNoParam) return;
    SnapSearchTryPoint(s, kSnapOnEdge, nearest);
    if (c.straight != 0)
      SnapSearchTryPoint(s, kSnapMidpoint, {(c.p0.x + c.p2.x) / 2, (c.p0.y + c.p2.y) / 2});
  });
}
