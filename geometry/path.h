// Paths: builders for rectangles, ellipses and arcs, flattening, bounds under
// a matrix, and the inside and overlap tests of closed paths.
//
// A path is a PointList (point_list.h). The builders add their points through
// PointListAppend, so an on-curve point equal to the on-curve point before it
// is stored once: a rectangle collapsed to a point is one entry, an arc of no
// sweep one entry, and no builder makes curves of length zero.
//
// Results follow the geometry convention (0, or -1 when memory runs out);
// nothing throws.
#pragma once

#include <cstdint>

#include "geometry/curve.h"
#include "geometry/fixed.h"
#include "geometry/point_list.h"

// ---- Builders ------------------------------------------------------------------

// Clears the list (and drops its cache); a non-empty rectangle gives the
// corners (xmin, ymin), (xmax, ymin), (xmax, ymax), (xmin, ymax) and the first
// corner again, all on-curve.
[[nodiscard]] int PathFromRect(PointList& path, const Rect32& r);
// Clears the list, then the full ellipse inscribed in r: AppendArc from 0 over
// 360 degrees (8 control points 45 degrees apart).
[[nodiscard]] int PathFromEllipse(PointList& path, const Rect32& r);
// Appends the arc of the ellipse inscribed in r from `start` over `sweep`
// (degrees, 16.16; a negative sweep runs clockwise): one quadratic segment per
// 45 degrees or less, the segments' joints implied between their control points.
[[nodiscard]] int AppendArc(PointList& path, const Rect32& r, Fixed start, Fixed sweep);
// Appends the unit-circle point at `angle` and `radius` (1.0 = on the circle),
// mapped through `mapping`.
[[nodiscard]] int AppendEllipsePoint(PointList& path, const Matrix2x3& mapping, Fixed radius,
                                     Fixed angle, int32_t off_curve);

// ---- Flattening and bounds -----------------------------------------------------

// Empties out, then adds the path's first point and, for every curve, points
// along it: a curve is halved (up to 7 times) while it deviates more than tol
// from its chord or its chord is max_chord or longer (max_chord 0 = no limit).
// A curve whose hull misses `rect` (when given) adds only its end point.
// -1 when memory runs out (the points so far stay).
[[nodiscard]] int CollectPathPoints(const PointList& path, int32_t tol, int32_t max_chord,
                                    const Rect32* rect, CPointList& out);
// Union of the tight bounds of every curve after the matrix; empty when the
// path has no curve.
void GetTransformedPathBounds(const PointList& path, const Matrix2x3& m, Rect32& out);

// ---- Inside tests and classification ---------------------------------------------

// True when q lies inside the closed path (odd number of crossings of the ray
// from q towards +x; the chord from the last entry back to the first closes
// the path). Uses the spatial index when the path has one.
bool ShapeContainsPoint(const PointList& path, const Point32& q);

enum ShapeClass : int {
  kShapeOutside = 1,
  kShapeInside = 2,
  kShapeCrossing = 3,  // for two shapes: mixed, or one surrounds the other
};

// 1 outside the path, 2 inside, 3 when the curve crosses one of its curves.
int ClassifyEdgeAgainstShape(const PointList& path, const QuadCurve& curve);
// 1 when all of b lies outside a, 2 when all of it lies inside, 3 when mixed
// (also when b surrounds a).
int ClassifyShapeAgainstShape(const PointList& a, const PointList& b);
// The rectangle (through the matrix when given) as a closed path, classified
// against path as ClassifyShapeAgainstShape(path, rectangle) does; -1 when
// memory runs out.
[[nodiscard]] int ClassifyShapeAgainstRect(const PointList& path, const Rect32& r,
                                           const Matrix2x3* m);
