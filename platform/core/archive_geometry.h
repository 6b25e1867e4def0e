// The archive form of the geometry core's records: a Point32 is x, y; a
// Rect32 is xmin, xmax, ymin, ymax; a Matrix2x3 is a, b, c, d, tx, ty; every
// field an i32. The same order as geometry/fixed.h's ArchiveWrite*/ArchiveRead*.
// Header only: it uses the record types, so platform_core links no geometry.
#pragma once

#include "geometry/fixed.h"
#include "platform/core/archive.h"

inline CArchive& operator<<(CArchive& ar, const Point32& p) {
  return ar << p.x << p.y;
}
inline CArchive& operator>>(CArchive& ar, Point32& p) {
  return ar >> p.x >> p.y;
}

inline CArchive& operator<<(CArchive& ar, const Rect32& r) {
  return ar << r.xmin << r.xmax << r.ymin << r.ymax;
}
inline CArchive& operator>>(CArchive& ar, Rect32& r) {
  return ar >> r.xmin >> r.xmax >> r.ymin >> r.ymax;
}

inline CArchive& operator<<(CArchive& ar, const Matrix2x3& m) {
  return ar << m.a << m.b << m.c << m.d << m.tx << m.ty;
}
inline CArchive& operator>>(CArchive& ar, Matrix2x3& m) {
  return ar >> m.a >> m.b >> m.c >> m.d >> m.tx >> m.ty;
}
