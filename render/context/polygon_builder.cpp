#include "render/context/polygon_builder.h"

#include <algorithm>
#include <new>
#include <vector>

#include "geometry/point_list.h"

CPolygonBuilder::CPolygonBuilder() {
  RectSetHuge(m_clip);
  RectSetEmpty(m_bounds);
}

void CPolygonBuilder::AddPoint(const Point32& p) {
  if (!m_keepDuplicates && PointCount() > m_mark && m_points.back() == p) return;
  try {
    m_points.push_back(p);
  } catch (const std::bad_alloc&) {
    m_overflow = true;
    return;
  }
  RectAddPoint(m_bounds, p);
}

void CPolygonBuilder::CloseContour() {
  const int32_t n = PointCount() - m_mark;
  if (n < 2) {
    m_points.resize(static_cast<size_t>(m_mark));
    return;
  }
  // Closed by its first point, unless it came back to it already.
  const Point32 first = m_points[static_cast<size_t>(m_mark)];
  const bool closed = m_points.back() == first;
  try {
    if (!closed) m_points.push_back(first);
    m_contours.push_back(closed ? n : n + 1);
  } catch (const std::bad_alloc&) {
    m_overflow = true;
    m_points.resize(static_cast<size_t>(m_mark));
    return;
  }
  m_mark = PointCount();
}

namespace {

// Curve points with 4 more fraction bits: halving in whole units would drift
// off the curve by up to half a unit a level.
struct FinePoint {
  int64_t x, y;
};
constexpr int kFine = 4;

FinePoint Mid(const FinePoint& a, const FinePoint& b) {
  return {(a.x + b.x) / 2, (a.y + b.y) / 2};
}

}  // namespace

void CPolygonBuilder::AddCurve(const QuadCurve& c, int depth) {
  if (c.straight) {
    AddPoint(c.p2);
    return;
  }
  auto fine = [](const Point32& p) {
    return FinePoint{int64_t{p.x} << kFine, int64_t{p.y} << kFine};
  };
  const int64_t tolerance = int64_t{m_tolerance} << kFine;
  struct Piece {
    FinePoint p0, control, p2;
    int depth;
  };
  std::vector<Piece> stack = {{fine(c.p0), fine(c.control), fine(c.p2), depth}};
  while (!stack.empty()) {
    const Piece q = stack.back();
    stack.pop_back();
    const FinePoint chordMid = Mid(q.p0, q.p2);
    const int64_t dx = chordMid.x - q.control.x, dy = chordMid.y - q.control.y;
    // The larger coordinate difference plus half the smaller: never below
    // the distance, at most 1.5 times it.
    const int64_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    const int64_t deviation = std::max(ax, ay) + std::min(ax, ay) / 2;
    if (q.depth >= 7 || deviation <= tolerance) {
      const int64_t half = int64_t{1} << (kFine - 1);
      AddPoint({static_cast<int32_t>((q.p2.x + half) >> kFine),
                static_cast<int32_t>((q.p2.y + half) >> kFine)});
      continue;
    }
    const FinePoint a = Mid(q.p0, q.control), b = Mid(q.control, q.p2), m = Mid(a, b);
    stack.push_back({m, b, q.p2, q.depth + 1});
    stack.push_back({q.p0, a, m, q.depth + 1});
  }
}

void CPolygonBuilder::AddTransformedCurve(const QuadCurve& c, const Matrix2x3& m) {
  QuadCurve t;
  CurveTransform(c, m, t);
  AddPoint(t.p0);
  Rect32 hull;
  CurveGetHullBounds(t, hull);
  if (RectsOverlap(hull, m_clip)) {
    AddCurve(t);
  } else {
    AddPoint(t.p2);
  }
}

void CPolygonBuilder::AddPath(const PointList& path, const Matrix2x3& m) {
  PointListIter it;
  PointListIterInit(path, it);
  QuadCurve c;
  while (PointListIterNext(it, c)) AddTransformedCurve(c, m);
}

void CPolygonBuilder::Reset() {
  m_points.clear();
  m_contours.clear();
  m_mark = 0;
  RectSetEmpty(m_bounds);
  m_overflow = false;
}
