#include "render/context/polygon_builder.h"

#include <new>

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
  try {
    m_points.push_back(m_points[static_cast<size_t>(m_mark)]);
    m_contours.push_back(n + 1);
  } catch (const std::bad_alloc&) {
    m_overflow = true;
    m_points.resize(static_cast<size_t>(m_mark));
    return;
  }
  m_mark = PointCount();
}

void CPolygonBuilder::AddCurve(const QuadCurve& c, int depth) {
  if (c.straight || depth >= 7 || CurveDeviation(c) <= m_tolerance) {
    AddPoint(c.p2);
    return;
  }
  QuadCurve first, second;
  CurveSplitHalf(c, first, second);
  AddCurve(first, depth + 1);
  AddCurve(second, depth + 1);
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
