#include "geometry/path.h"

#include <cstdlib>
#include <new>

#include "geometry/grid.h"
#include "geometry/pool.h"

namespace {

// Calls visit(curve) for every curve of the path that may touch `area`: with
// an index, the curves filed in the cells that touch it (a superset of the
// curves whose hulls touch it); without one, every curve of the walk.
template <class Visit>
void ForCurvesNear(const PointList& path, const Rect32& area, Visit&& visit) {
  if (path.cache && path.cache->grid.root) {
    EdgeIter iter;
    EdgeIterInit(iter, path.cache->grid, 0, &area);
    while (void* head = GridIterAdvance(iter)) {
      for (auto* node = static_cast<const PathCurveNode*>(head); node; node = node->next) {
        if (!visit(node->curve)) return;
      }
    }
    return;
  }
  PointListIter iter;
  PointListIterInit(path, iter);
  QuadCurve curve;
  while (PointListIterNext(iter, curve)) {
    if (!visit(curve)) return;
  }
}

// Drops the cache and the entries, keeping the buffer for the new path.
void PathClear(PointList& path) {
  PointListFreeCache(path);
  path.length = 0;
}

int FlattenCurve(const QuadCurve& c, int depth, int32_t tol, int32_t max_chord, CPointList& out) {
  const bool split = depth < 7 && ((!c.straight && CurveDeviation(c) > tol) ||
                                   (max_chord != 0 && PointDistance(c.p0, c.p2) >= max_chord));
  if (!split) return out.Add(c.p2);
  QuadCurve a, b;
  CurveSplit(c, kFixedHalf, a, b);
  if (FlattenCurve(a, depth + 1, tol, max_chord, out) < 0) return -1;
  return FlattenCurve(b, depth + 1, tol, max_chord, out);
}

}  // namespace

// ---- Builders ------------------------------------------------------------------

int PathFromRect(PointList& path, const Rect32& r) {
  PathClear(path);
  if (r.IsEmpty()) return 0;
  const Point32 corners[5] = {
      {r.xmin, r.ymin}, {r.xmax, r.ymin}, {r.xmax, r.ymax}, {r.xmin, r.ymax}, {r.xmin, r.ymin}};
  for (const Point32& p : corners) {
    if (PointListAppend(path, p, 0) < 0) return -1;
  }
  return 0;
}

int PathFromEllipse(PointList& path, const Rect32& r) {
  PathClear(path);
  return AppendArc(path, r, 0, kAngle360);
}

int AppendEllipsePoint(PointList& path, const Matrix2x3& mapping, Fixed radius, Fixed angle,
                       int32_t off_curve) {
  Point32 p;
  PointFromAngle(radius, angle, nullptr, p);
  MatrixTransformPoint(mapping, p, p);
  return PointListAppend(path, p, off_curve);
}

int AppendArc(PointList& path, const Rect32& r, Fixed start, Fixed sweep) {
  // An empty rectangle has no ellipse (its fields are not coordinates).
  if (r.IsEmpty()) return 0;
  // One segment per 45 degrees, rounding up from 44 degrees past a multiple.
  const int64_t magnitude = std::llabs(int64_t{sweep});
  const int32_t n = static_cast<int32_t>((magnitude + 0x2C0000) / 0x2D0000);
  const Fixed step = n < 2 ? sweep : sweep / n;
  // The control point sits where the tangents at both segment ends meet:
  // 1 / cos(half the segment's angle) out from the centre.
  const Fixed k = FixedDiv(kFixedOne, FixedCos(step >> 1));
  const Rect32 unit{-kFixedOne, kFixedOne, -kFixedOne, kFixedOne};
  Matrix2x3 mapping;
  MatrixRectToRect(unit, r, mapping);
  if (AppendEllipsePoint(path, mapping, kFixedOne, start, 0) < 0) return -1;
  // Between two control points the curve walk supplies the on-curve midpoint,
  // which lies on the ellipse.
  for (int32_t i = 0; i < n; ++i) {
    const Fixed angle =
        static_cast<Fixed>(static_cast<uint32_t>(start) + static_cast<uint32_t>(step >> 1) +
                           static_cast<uint32_t>(i) * static_cast<uint32_t>(step));
    if (AppendEllipsePoint(path, mapping, k, angle, 1) < 0) return -1;
  }
  return AppendEllipsePoint(path, mapping, kFixedOne, WrapAdd(start, sweep), 0);
}

// ---- Flattening and bounds -----------------------------------------------------

int CollectPathPoints(const PointList& path, int32_t tol, int32_t max_chord, const Rect32* rect,
                      CPointList& out) {
  out.count = 0;
  if (path.length == 0) return 0;
  if (out.Add(path.buffer[0].Point()) < 0) return -1;
  PointListIter iter;
  PointListIterInit(path, iter);
  QuadCurve curve;
  while (PointListIterNext(iter, curve)) {
    if (rect) {
      Rect32 hull;
      CurveGetHullBounds(curve, hull);
      if (!RectsOverlap(hull, *rect)) {
        if (out.Add(curve.p2) < 0) return -1;
        continue;
      }
    }
    if (FlattenCurve(curve, 0, tol, max_chord, out) < 0) return -1;
  }
  return 0;
}

void GetTransformedPathBounds(const PointList& path, const Matrix2x3& m, Rect32& out) {
  Rect32 bounds;
  PointListIter iter;
  PointListIterInit(path, iter);
  QuadCurve curve;
  while (PointListIterNext(iter, curve)) {
    CurveTransform(curve, m, curve);
    Rect32 b;
    CurveGetBounds(curve, b);
    RectUnion(bounds, b, bounds);
  }
  out = bounds;
}

// ---- Spatial index ---------------------------------------------------------------

int PointList::BuildSpatialIndex() {
  if (cache) return 0;
  auto* c = new (std::nothrow) PointListCache;
  if (!c) return -1;
  PointListGetBounds(*this, c->bounds);  // before the cache is attached
  cache = c;
  // Long paths get one more level of cells.
  if (SpatialGridInit(c->grid, c->bounds, length >= 100 ? 4 : 3) < 0 ||
      BlockAlloc(static_cast<std::size_t>(length + 1) * sizeof(PathCurveNode), &c->nodes) < 0) {
    PointListFreeCache(*this);
    return -1;
  }
  // Every walk step consumes an entry, so a list of n entries has fewer than n
  // curves.
  PointListIter iter;
  PointListIterInit(*this, iter);
  QuadCurve curve;
  while (c->node_count <= length && PointListIterNext(iter, curve)) {
    Rect32 hull;
    CurveGetHullBounds(curve, hull);
    GridCell* cell = SpatialGridFindCell(c->grid, hull, true);
    auto* node = new (&c->nodes[c->node_count++]) PathCurveNode;
    node->curve = curve;
    node->next = static_cast<PathCurveNode*>(cell->chain[0]);
    cell->chain[0] = node;
  }
  return 0;
}

// ---- Inside tests and classification ---------------------------------------------

bool ShapeContainsPoint(const PointList& path, const Point32& q) {
  Rect32 bounds;
  PointListGetBounds(path, bounds);
  if (path.length == 0 || !RectContainsPoint(bounds, q)) return false;
  const Rect32 ray{q.x, bounds.xmax, q.y, q.y};
  uint32_t crossings = 0;
  ForCurvesNear(path, ray, [&](const QuadCurve& c) {
    crossings += static_cast<uint32_t>(CurveRayCrossings(c, q, 0));
    return true;
  });
  // The chord from the last entry back to the first closes an open path.
  QuadCurve closing;
  CurveFromLine(path.buffer[path.length - 1].Point(), path.buffer[0].Point(), closing);
  crossings += static_cast<uint32_t>(CurveRayCrossings(closing, q, 0));
  return (crossings & 1) != 0;
}

int ClassifyEdgeAgainstShape(const PointList& path, const QuadCurve& curve) {
  Rect32 bounds, hull;
  PointListGetBounds(path, bounds);
  CurveGetHullBounds(curve, hull);
  if (!RectsOverlap(bounds, hull)) return kShapeOutside;
  bool crossing = false;
  ForCurvesNear(path, hull, [&](const QuadCurve& c) {
    Rect32 h;
    CurveGetHullBounds(c, h);
    if (!RectsOverlap(h, hull)) return true;
    CurveIntersectResult result;
    crossing = CurveIntersect(c, curve, result, 8) > 0;
    return !crossing;
  });
  if (crossing) return kShapeCrossing;
  return ShapeContainsPoint(path, curve.p0) ? kShapeInside : kShapeOutside;
}

int ClassifyShapeAgainstShape(const PointList& a, const PointList& b) {
  Rect32 ba, bb;
  PointListGetBounds(a, ba);
  PointListGetBounds(b, bb);
  if (!RectsOverlap(ba, bb)) return kShapeOutside;
  bool inside = false, outside = false;
  PointListIter iter;
  PointListIterInit(b, iter);
  QuadCurve curve;
  while (PointListIterNext(iter, curve)) {
    const int k = ClassifyEdgeAgainstShape(a, curve);
    if (k == kShapeCrossing) return kShapeCrossing;
    (k == kShapeInside ? inside : outside) = true;
    if (inside && outside) return kShapeCrossing;
  }
  if (inside) return kShapeInside;
  // Every curve of b lies outside a: either apart, or b surrounds a.
  return a.length > 0 && ShapeContainsPoint(b, a.buffer[0].Point()) ? kShapeCrossing
                                                                    : kShapeOutside;
}

int ClassifyShapeAgainstRect(const PointList& path, const Rect32& r, const Matrix2x3* m) {
  PointList rect;  // freed on every exit by its destructor
  if (PathFromRect(rect, r) < 0) return -1;
  if (m) PointListTransform(rect, *m);
  return ClassifyShapeAgainstShape(path, rect);
}
