#include "render/context/stroke_tools.h"

#include <algorithm>

#include "geometry/edge_graph.h"
#include "render/context/graph_walk.h"
#include "render/context/render_context.h"
#include "render/raster/scan_converter.h"

Fixed CurveParamAtDistance(const QuadCurve& c, int32_t d, int32_t* covered) {
  const int32_t length = CurveLength(c);
  if (d >= length) {
    *covered = length;
    return kFixedOne;
  }
  *covered = d;
  return std::clamp(CurveParamAtLength(c, d), 0, kFixedOne);
}

int32_t RandomBelow(Random16& random, int32_t n) {
  if (n <= 0) return 0;
  const int64_t v = RandomFixed(random, kFixedOne) + kFixedHalf;  // 0 .. 0xFFFF
  return static_cast<int32_t>((v * n) >> 16);
}

// ---- walker ------------------------------------------------------------------------

CPathWalker::CPathWalker(const PointList& path) {
  PointListIterInit(path, m_iter);
  Load();
}

void CPathWalker::Load() {
  m_have = PointListIterNext(m_iter, m_current);
}

// ---- batcher -----------------------------------------------------------------------

CStrokeBatcher::CStrokeBatcher(CRenderContext& rc, const LineStyle& style)
    : m_rc(rc), m_style(style) {
  m_style.kind = 0;
  if (m_rc.m_scan) m_rc.m_scan->objectId += 1;
}

CStrokeBatcher::~CStrokeBatcher() {
  Flush();
  if (m_rc.m_scan) m_rc.m_scan->objectId += 1;
}

void CStrokeBatcher::SetWidth(int16_t width) {
  if (width == m_style.width) return;
  Flush();
  m_style.width = width;
}

void CStrokeBatcher::Add(const QuadCurve& c) {
  if (!m_open || !(c.p0 == m_last) || m_points.length > 80) {
    Flush();
    if (m_rc.m_scan) {
      m_open = m_rc.m_scan->BeginStroke(&m_style, c.p0);
      m_points.length = 1;  // counts pieces
    } else {
      m_open = PointListAppend(m_points, c.p0, 0) == 0;
    }
    if (!m_open) return;
  }
  if (m_rc.m_scan) {
    if (c.straight) {
      m_rc.m_scan->StrokeLineTo(c.p2);
    } else {
      m_rc.m_scan->StrokeCurveTo(c.control, c.p2);
    }
    m_points.length += c.straight ? 1 : 2;
  } else {
    if ((!c.straight && PointListAppend(m_points, c.control, 1) < 0) ||
        PointListAppend(m_points, c.p2, 0) < 0) {
      // Out of memory: what the batch holds is drawn, the piece is lost.
      Flush();
      return;
    }
  }
  m_last = c.p2;
}

void CStrokeBatcher::Flush() {
  if (m_open) {
    if (m_rc.m_scan) {
      m_rc.m_scan->EndStroke();
    } else if (m_points.length >= 2) {
      m_rc.DrawPath(m_points, &m_style, nullptr);
    }
  }
  m_open = false;
  if (m_rc.m_scan) {
    m_points.length = 0;
  } else {
    PathClear(m_points);
  }
}

// ---- stamps ------------------------------------------------------------------------

void CStampFiller::Stamp(const PointList& shape, const Matrix2x3& place) {
  if (shape.length < 2) return;
  if (m_rc.m_scan) {
    Point32 start;
    MatrixTransformPoint(place, shape.buffer[0].Point(), start);
    if (m_rc.m_scan->BeginFill(&m_fill, nullptr, start, FillRule::kNonZero)) {
      PointListIter it;
      PointListIterInit(shape, it);
      QuadCurve c;
      while (PointListIterNext(it, c)) {
        QuadCurve t;
        CurveTransform(c, place, t);
        if (t.straight) {
          m_rc.m_scan->FillLineTo(t.p2);
        } else {
          m_rc.m_scan->FillCurveTo(t.control, t.p2);
        }
      }
      m_rc.m_scan->FillLineTo(start);
    }
    m_rc.m_scan->active = 0;
    return;
  }
  if (PointListCopy(shape, m_work) < 0) return;
  PointListTransform(m_work, place);
  m_rc.DrawPath(m_work, nullptr, &m_fill);
}

// ---- blobs -------------------------------------------------------------------------

int RoughEllipse(PointList& list, Random16& random, int32_t radius, int n, int32_t jitter) {
  std::vector<Point32> p(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    const Fixed angle = (13 << 16) + static_cast<Fixed>(int64_t{360} * k * kFixedOne / n);
    PointFromAngle(radius, angle, nullptr, p[static_cast<size_t>(k)]);
    RandomJitterPoint(random, p[static_cast<size_t>(k)], jitter);
  }
  auto mid = [&](int a, int b) {
    const Point32& u = p[static_cast<size_t>(a)];
    const Point32& v = p[static_cast<size_t>(b % n)];
    return Point32{static_cast<int32_t>((int64_t{u.x} + v.x) / 2),
                   static_cast<int32_t>((int64_t{u.y} + v.y) / 2)};
  };
  PathClear(list);
  if (PointListAppend(list, mid(n - 1, 0), 0) < 0) return -1;
  for (int k = 0; k < n; ++k)
    if (PointListAppend(list, p[static_cast<size_t>(k)], 1) < 0 ||
        PointListAppend(list, mid(k, k + 1), 0) < 0)
      return -1;
  return 0;
}

// ---- region index ------------------------------------------------------------------

CRegionIndex::CRegionIndex(Region* region, const PointList* path, const Matrix2x3* matrix,
                           const Rect32& clip, int32_t margin) {
  RectSetEmpty(m_bounds);
  std::vector<QuadCurve> curves;
  auto take = [&](const QuadCurve& c) {
    QuadCurve t = c;
    if (matrix) CurveTransform(c, *matrix, t);
    curves.push_back(t);
    Rect32 hull;
    CurveGetHullBounds(t, hull);
    RectUnion(m_bounds, hull, m_bounds);
  };
  if (region) {
    FeedRegionContours(
        region, [&](const QuadCurve& c) { take(GraphCurveToTwips(c)); }, [](const Point32&) {});
    m_points = region->boundary_length;
  } else if (path) {
    PointListIter it;
    PointListIterInit(*path, it);
    QuadCurve c;
    while (PointListIterNext(it, c)) take(c);
    if (path->length >= 2) {
      // A path is closed back to its start.
      QuadCurve close;
      CurveFromLine(path->buffer[path->length - 1].Point(), path->buffer[0].Point(), close);
      take(close);
    }
    m_points = path->length;
  }
  if (m_bounds.IsEmpty()) {
    m_working = m_bounds;
    return;
  }
  RectIntersect(m_bounds, clip, m_working);
  if (!m_working.IsEmpty()) {
    m_working = {m_working.xmin - margin, m_working.xmax + margin, m_working.ymin - margin,
                 m_working.ymax + margin};
  }
  const int32_t e = m_points < 100 ? 16 : m_points < 200 ? 24 : 36;
  const int64_t height = int64_t{m_bounds.ymax} - m_bounds.ymin;
  const int64_t unit = std::clamp<int64_t>(height / e, 100, 20000);
  m_shift = 0;
  while ((int64_t{1} << m_shift) <= unit) ++m_shift;
  // Rows double in height until 64 of them hold the outline.
  while (((int64_t{m_bounds.ymax} >> m_shift) - (int64_t{m_bounds.ymin} >> m_shift)) >= 64)
    ++m_shift;
  m_firstRow = m_bounds.ymin >> m_shift;
  m_rows.resize(static_cast<size_t>((m_bounds.ymax >> m_shift) - m_firstRow + 1));
  for (const QuadCurve& c : curves) AddCurve(c);
}

void CRegionIndex::AddCurve(const QuadCurve& c) {
  // Flattened to within 2 twips.
  std::vector<std::pair<QuadCurve, int>> stack = {{c, 0}};
  while (!stack.empty()) {
    auto [q, depth] = stack.back();
    stack.pop_back();
    if (q.straight || depth >= 10 || CurveDeviation(q) <= 2) {
      AddSegment(q.p0, q.p2);
      continue;
    }
    QuadCurve a, b;
    CurveSplitHalf(q, a, b);
    stack.push_back({b, depth + 1});
    stack.push_back({a, depth + 1});
  }
}

void CRegionIndex::AddSegment(const Point32& p, const Point32& q) {
  if (p.y == q.y) return;  // a horizontal piece crosses no row of points
  Segment s = p.y < q.y ? Segment{p, q} : Segment{q, p};
  const int32_t r0 = (s.a.y >> m_shift) - m_firstRow, r1 = (s.b.y >> m_shift) - m_firstRow;
  for (int32_t r = std::max(r0, 0); r <= r1 && r < static_cast<int32_t>(m_rows.size()); ++r)
    m_rows[static_cast<size_t>(r)].push_back(s);
}

bool CRegionIndex::Contains(const Point32& p) const {
  if (m_bounds.IsEmpty()) return false;
  const int32_t r = (p.y >> m_shift) - m_firstRow;
  if (r < 0 || r >= static_cast<int32_t>(m_rows.size())) return false;
  bool inside = false;
  for (const Segment& s : m_rows[static_cast<size_t>(r)]) {
    if (p.y < s.a.y || p.y >= s.b.y) continue;
    if (p.x >= std::max(s.a.x, s.b.x)) continue;
    if (p.x < std::min(s.a.x, s.b.x)) {
      inside = !inside;
      continue;
    }
    // Exact test only within the segment's x range.
    const int64_t x =
        s.a.x + (int64_t{s.b.x} - s.a.x) * (int64_t{p.y} - s.a.y) / (int64_t{s.b.y} - s.a.y);
    if (x > p.x) inside = !inside;
  }
  return inside;
}

bool CRegionIndex::MeetsOutline(const Rect32& box) const {
  if (m_bounds.IsEmpty() || !RectsOverlap(box, m_bounds)) return false;
  const int32_t last = static_cast<int32_t>(m_rows.size()) - 1;
  const int32_t r0 = std::clamp((box.ymin >> m_shift) - m_firstRow, 0, last);
  const int32_t r1 = std::clamp((box.ymax >> m_shift) - m_firstRow, 0, last);
  for (int32_t r = r0; r <= r1; ++r)
    for (const Segment& s : m_rows[static_cast<size_t>(r)])
      if (s.b.y >= box.ymin && s.a.y <= box.ymax && std::max(s.a.x, s.b.x) >= box.xmin &&
          std::min(s.a.x, s.b.x) <= box.xmax)
        return true;
  return false;
}

std::vector<Fixed> CRegionIndex::Crossings(const QuadCurve& c) const {
  std::vector<Fixed> out;
  // A curve whose hull meets no piece of the outline crosses it nowhere.
  Rect32 hull;
  CurveGetHullBounds(c, hull);
  if (!MeetsOutline(hull)) return out;
  const int32_t length = CurveLength(c);
  const int n = std::clamp(length / 16, 4, 64);
  Point32 p;
  CurvePointAt(c, 0, p);
  bool inside = Contains(p);
  Fixed t0 = 0;
  for (int i = 1; i <= n; ++i) {
    const Fixed t1 = static_cast<Fixed>(int64_t{kFixedOne} * i / n);
    CurvePointAt(c, t1, p);
    const bool in1 = Contains(p);
    if (in1 != inside) {
      // Bisection to within about 4 units.
      Fixed lo = t0, hi = t1;
      for (int k = 0; k < 16; ++k) {
        Point32 a, b;
        CurvePointAt(c, lo, a);
        CurvePointAt(c, hi, b);
        if (PointDistance(a, b) <= 4) break;
        const Fixed mid = lo + (hi - lo) / 2;
        Point32 m;
        CurvePointAt(c, mid, m);
        if (Contains(m) == inside) {
          lo = mid;
        } else {
          hi = mid;
        }
      }
      out.push_back(lo + (hi - lo) / 2);
      inside = in1;
    }
    t0 = t1;
  }
  return out;
}

int CRegionIndex::ClassifyCurve(const QuadCurve& c) const {
  Point32 p;
  CurvePointAt(c, 0, p);
  const bool inside = Contains(p);
  if (!Crossings(c).empty()) return 3;
  return inside ? 2 : 1;
}
