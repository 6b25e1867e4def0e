#include "view/core/snap.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/curve.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_select.h"
#include "geometry/point_list.h"
#include "model/document.h"
#include "model/pic_frame.h"
#include "model/pic_shape.h"
#include "view/core/assistant_settings.h"
#include "view/core/view_state.h"

namespace {

int32_t AbsDiff(int32_t a, int32_t b) {
  return Clamp32(std::abs(int64_t{a} - b));
}

// A key frame's children answer extent queries in the key frame's own time.
int32_t OffsetInFrame(CPicShape* frame, int32_t n) {
  auto* key = dynamic_cast<CPicFrame*>(frame);
  return key != nullptr ? WrapSub(n, key->GetStartFrame()) : n;
}

// A vertex counts as selected when any edge at it is.
bool VertexIsSelected(const Vertex& v) {
  for (const HalfEdge* h = v.ring; h != nullptr; h = h->ring_next)
    if (EdgeIsSelected(*h->edge)) return true;
  return false;
}

bool Refused(const SnapSearch& s, bool selected) {
  return (s.skip_selected != 0 && selected) || (s.only_selected != 0 && !selected);
}

// Graph units to view twips.
Point32 ToView(const Point32& g, const Matrix2x3* m) {
  Point32 t;
  PointShift(g, ShiftRight(8), t);
  if (m != nullptr) MatrixTransformPoint(*m, t, t);
  return t;
}

int32_t& Coord(Point32& p, int axis) {
  return axis == 0 ? p.x : p.y;
}
int32_t Coord(const Point32& p, int axis) {
  return axis == 0 ? p.x : p.y;
}

// Whether the alignment line of an axis is set (something aligned in it).
bool HasAlignLine(const SnapSearch& s, int axis) {
  return (axis == 0 ? s.x_priority : s.y_priority) < kSnapNothing;
}

// Offers the points where the curve crosses the alignment line of an axis
// (x = align_point.x for axis 0, y = align_point.y for axis 1). Crossings at
// the curve's ends touch its vertices, which are candidates of their own.
void OfferCurveCrossings(SnapSearch& s, const QuadCurve& c, int axis, int32_t priority) {
  const int32_t value = Coord(s.align_point, axis);
  const double p0 = Coord(c.p0, axis), pc = Coord(c.control, axis), p2 = Coord(c.p2, axis);
  const double a = p0 - 2 * pc + p2, b = 2 * (pc - p0), k = p0 - value;
  double roots[2];
  int n = 0;
  if (std::fabs(a) < 1e-9) {
    if (b != 0) roots[n++] = -k / b;
  } else {
    const double disc = b * b - 4 * a * k;
    if (disc < 0) return;
    const double root = std::sqrt(disc);
    roots[n++] = (-b - root) / (2 * a);
    roots[n++] = (-b + root) / (2 * a);
  }
  for (int i = 0; i < n; ++i) {
    const double t = roots[i];
    if (!(t > 0 && t < 1)) continue;
    const auto ft = static_cast<Fixed>(std::lround(t * kFixedOne));
    if (ft <= 0 || ft >= kFixedOne) continue;
    Point32 p;
    CurvePointAt(c, ft, p);
    Coord(p, axis) = value;  // exactly on the line
    SnapSearchTryPoint(s, priority, p);
  }
}

// The same for the segment a-b.
void OfferSegmentCrossings(SnapSearch& s, const Point32& a, const Point32& b, int32_t priority) {
  for (int axis = 0; axis < 2; ++axis) {
    if (!HasAlignLine(s, axis)) continue;
    const int64_t value = Coord(s.align_point, axis);
    const int64_t a0 = Coord(a, axis), b0 = Coord(b, axis);
    if (a0 == b0 || (a0 - value) * (b0 - value) > 0) continue;
    const int64_t a1 = Coord(a, 1 - axis), b1 = Coord(b, 1 - axis);
    Point32 p;
    Coord(p, axis) = static_cast<int32_t>(value);
    Coord(p, 1 - axis) = Clamp32(a1 + (value - a0) * (b1 - a1) / (b0 - a0));
    SnapSearchTryPoint(s, priority, p);
  }
}

// The query point on the grid of one axis: the nearest grid line from the
// origin (halfway goes away from it).
int32_t RoundToGrid(int32_t v, int32_t origin, Fixed spacing) {
  const Fixed steps = FixedDiv(WrapSub(v, origin), spacing);
  return WrapAdd(origin, FixedMul(steps, spacing));
}

}  // namespace

void SnapSearchInit(SnapSearch& s, const Point32& point, int32_t radius) {
  s = SnapSearch();
  s.query = point;
  s.radius = radius;
  s.best_distance = radius;
  s.best_point = point;
  s.align_point = point;
}

int SnapSearchTryPoint(SnapSearch& s, int32_t priority, const Point32& point) {
  const bool combined = priority == kSnapCombined;
  const int32_t effective = combined ? std::min(s.x_priority, s.y_priority) : priority;
  if (effective > s.best_priority) return 0;
  const int32_t distance = PointDistance(s.query, point);
  if (!combined) {
    const int32_t limit = effective == s.best_priority ? s.best_distance : s.radius;
    if (distance >= limit) return 0;
  }
  s.best_point = point;
  s.best_distance = distance;
  s.best_priority = effective;
  return 1;
}

void SnapSearchTryAxis(SnapSearch& s, int32_t priority, const Point32& point) {
  const int32_t dx = AbsDiff(point.x, s.query.x), dy = AbsDiff(point.y, s.query.y);
  if (dx < dy) {
    if (s.x_priority >= priority && dx < s.radius && dx < s.best_x_distance) {
      s.align_point.x = point.x;
      s.best_x_distance = dx;
      s.x_priority = priority;
    }
  } else if (s.y_priority >= priority && dy < s.radius && dy < s.best_y_distance) {
    s.align_point.y = point.y;
    s.best_y_distance = dy;
    s.y_priority = priority;
  }
  SnapSearchTryPoint(s, kSnapCombined, s.align_point);
}

void SnapSearchTryRect(SnapSearch& s, int32_t priority, const Rect32& r) {
  if (r.IsEmpty()) return;
  for (int h = 0; h <= 8; ++h) {
    Point32 p;
    RectGetHandlePoint(r, h, p);
    SnapSearchTryPoint(s, priority, p);
  }
}

void SnapSearchGraph(SnapSearch& s, const EdgeGraph& graph, const Matrix2x3* matrix) {
  if (matrix != nullptr && MatrixIsIdentity(*matrix)) matrix = nullptr;
  // The search area in graph units.
  Rect32 area{Clamp32(int64_t{s.query.x} - s.radius), Clamp32(int64_t{s.query.x} + s.radius),
              Clamp32(int64_t{s.query.y} - s.radius), Clamp32(int64_t{s.query.y} + s.radius)};
  if (matrix != nullptr) {
    Matrix2x3 inverse;
    MatrixInvert(*matrix, inverse);
    MatrixTransformRect(inverse, area, area);
  }
  RectShift(area, ShiftLeft(8), area);

  EdgeGraphForEachVertex(graph, &area, [&](Vertex* v) {
    if ((v->flags & kVertexSmooth) != 0 || v == s.excluded) return;
    if (Refused(s, VertexIsSelected(*v))) return;
    SnapSearchTryPoint(s, kSnapVertex, ToView(v->position, matrix));
  });

  // The dragged vertex: align with the far ends of its straight edges.
  if (s.excluded != nullptr) {
    Rect32 at;
    RectFromPoint(at, s.excluded->position);
    bool here = false;
    EdgeGraphForEachVertex(graph, &at, [&](Vertex* v) { here = here || v == s.excluded; });
    if (here) {
      s.excluded_found = 1;
      if (matrix != nullptr) {
        s.excluded_matrix = *matrix;
      } else {
        MatrixSetIdentity(s.excluded_matrix);
      }
      for (const HalfEdge* h = s.excluded->ring; h != nullptr; h = h->ring_next) {
        if (h->edge->curve.straight == 0) continue;
        const Vertex* far = HalfEdgeTwin(h)->vertex;
        if (far == nullptr || (far->flags & kVertexSmooth) != 0) continue;
        if (s.skip_selected != 0 && VertexIsSelected(*far)) continue;
        SnapSearchTryAxis(s, kSnapAlign, ToView(far->position, matrix));
      }
    }
  }

  if (s.best_priority < kSnapOnEdge) return;

  EdgeGraphForEachEdge(graph, &area, [&](Edge* e) {
    if (s.excluded != nullptr && (e->a.vertex == s.excluded || e->b.vertex == s.excluded)) return;
    if (s.skip_selected != 0 &&
        (EdgeIsSelected(*e) || VertexIsSelected(*e->a.vertex) || VertexIsSelected(*e->b.vertex)))
      return;
    if (s.only_selected != 0 && !EdgeIsSelected(*e)) return;
    QuadCurve c;
    CurveShift(e->curve, ShiftRight(8), c);
    if (matrix != nullptr) CurveTransform(c, *matrix, c);
    Point32 nearest;
    if (CurveNearestPoint(c, s.query, s.radius, &nearest) == kNoParam) return;
    for (int axis = 0; axis < 2; ++axis)
      if (HasAlignLine(s, axis)) OfferCurveCrossings(s, c, axis, kSnapAlignCrossing);
    SnapSearchTryPoint(s, kSnapOnEdge, nearest);
    if (c.straight != 0) {
      const Point32 mid{Clamp32((int64_t{c.p0.x} + c.p2.x) / 2),
                        Clamp32((int64_t{c.p0.y} + c.p2.y) / 2)};
      SnapSearchTryPoint(s, kSnapMidpoint, mid);
    }
  });
}

void SnapSearchGrid(SnapSearch& s, const ViewState& view) {
  const int32_t level = AssistantSettings().grid_tolerance;
  const CMarlDoc* doc = view.GetDocument();
  if (level <= 0 || doc == nullptr || (doc->m_gridFlags & 0x3) == 0) return;
  const int32_t tolerance = Clamp32(int64_t{level} * view.GetPickUnit());
  // The page's grid starts at the stage's corner; the symbol side's at the
  // symbol's origin.
  Point32 origin;
  if (!view.IsSymbolSide()) origin = {doc->m_movieRect.xmin, doc->m_movieRect.ymin};
  for (int axis = 0; axis < 2; ++axis) {
    if ((doc->m_gridFlags & (1u << axis)) == 0) continue;
    int32_t& priority = axis == 0 ? s.x_priority : s.y_priority;
    int32_t& best = axis == 0 ? s.best_x_distance : s.best_y_distance;
    if (priority <= kSnapDirectionNear) continue;
    const int32_t q = Coord(s.query, axis);
    const int32_t line = RoundToGrid(q, Coord(origin, axis), doc->m_gridSpacing);
    const int32_t d = AbsDiff(line, q);
    if (d >= best || d >= tolerance) continue;
    Coord(s.align_point, axis) = line;
    best = d;
    priority = kSnapGrid;
    SnapSearchTryPoint(s, kSnapCombined, s.align_point);
  }
}

void SnapSearchObjects(SnapSearch& s, const ViewState& view) {
  SnapSearchGrid(s, view);
  CViewObjIter it(view, 0);
  while (CPicShape* frame = it.Next()) {
    s.frame = it.GetFrame();
    const int32_t offset = OffsetInFrame(frame, s.frame);
    for (CPicObj* child = frame->GetFirstChild(); child != nullptr; child = child->GetNext()) {
      if (Refused(s, child->IsSelected())) continue;
      if (child->HasCenter()) SnapSearchTryPoint(s, kSnapCentre, child->GetStoredCenter());
      if (auto* shape = dynamic_cast<CPicShape*>(child)) {
        // The object passed the filter as a whole: all of its drawing counts.
        const int32_t skip = s.skip_selected, only = s.only_selected;
        s.skip_selected = s.only_selected = 0;
        SnapSearchGraph(s, shape->GetGeometry(), &shape->GetShapeMatrix());
        s.skip_selected = skip;
        s.only_selected = only;
      } else {
        CExtentQuery q;
        q.Init();
        q.windowFirst = q.windowLast = offset;
        child->CollectExtent(q);
        SnapSearchTryRect(s, kSnapVertex, q.rect);
      }
    }
    SnapSearchGraph(s, frame->GetGeometry(), &frame->GetShapeMatrix());
  }
}

void SnapSearchDraggedVertex(SnapSearch& s) {
  if (s.excluded == nullptr || s.excluded_found == 0 || s.best_priority < kSnapDirectionNear)
    return;
  struct Direction {
    Point32 point;
    bool straight;
  };
  std::vector<Direction> dirs;
  for (const HalfEdge* h = s.excluded->ring; h != nullptr; h = h->ring_next) {
    QuadCurve c;
    EdgeGetCurve(h, c);
    const bool straight = c.straight != 0;
    Point32 p;
    PointShift(straight ? c.p2 : c.control, ShiftRight(8), p);
    MatrixTransformPoint(s.excluded_matrix, p, p);
    dirs.push_back({p, straight});
  }
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    for (std::size_t j = i + 1; j < dirs.size(); ++j) {
      const Point32 a = dirs[i].point, b = dirs[j].point;
      int32_t limit = s.best_priority == kSnapDirectionNear ? s.best_distance : s.radius;
      limit = std::min({limit, PointDistance(s.query, a) / 4, PointDistance(s.query, b) / 4});
      Point32 nearest;
      if (PointSegmentDistance(a, b, s.query, &nearest) >= limit) continue;
      OfferSegmentCrossings(s, a, b, kSnapDirectionCross);
      SnapSearchTryPoint(s, kSnapDirectionNear, nearest);
      if (dirs[i].straight && dirs[j].straight) {
        const Point32 mid{Clamp32((int64_t{a.x} + b.x) / 2), Clamp32((int64_t{a.y} + b.y) / 2)};
        SnapSearchTryPoint(s, kSnapDirectionMid, mid);
      }
    }
  }
}

bool SnapPoint(const Vertex* vertex, Point32& point, const ViewState& view, int32_t radius) {
  SnapSearch s;
  SnapSearchInit(s, point, radius);
  s.excluded = vertex;
  SnapSearchObjects(s, view);
  SnapSearchDraggedVertex(s);
  if (s.best_priority >= kSnapNothing) return false;
  point = s.best_point;
  return true;
}

void SnapPointList(PointList& list, const ViewState& view, int32_t radius) {
  std::vector<int32_t> onCurve;  // indices of the on-curve points snapped so far
  for (int32_t i = 0; i < list.length; ++i) {
    PointListEntry& e = list.buffer[i];
    if (e.off_curve != 0) continue;
    SnapSearch s;
    SnapSearchInit(s, e.Point(), radius);
    const auto n = static_cast<int32_t>(onCurve.size());
    for (int32_t k = 0; k + 1 < n; ++k)
      SnapSearchTryPoint(s, kSnapVertex, list.buffer[onCurve[k]].Point());
    if (n > 0) SnapSearchTryAxis(s, kSnapAlign, list.buffer[onCurve[n - 1]].Point());
    SnapSearchObjects(s, view);
    if (s.best_priority < kSnapNothing) {
      e.x = s.best_point.x;
      e.y = s.best_point.y;
    }
    onCurve.push_back(i);
  }
}

void SnapRect(Rect32& r, const ViewState& view, int32_t radius) {
  Point32 corner[4];
  int32_t priority[4];
  for (int i = 0; i < 4; ++i) {
    Point32 p;
    RectGetHandlePoint(r, i, p);
    SnapSearch s;
    SnapSearchInit(s, p, radius);
    SnapSearchObjects(s, view);
    corner[i] = s.best_point;
    priority[i] = s.best_priority;
  }
  // Corners: 0 (xmin, ymax), 1 (xmax, ymax), 2 (xmax, ymin), 3 (xmin, ymin).
  // Each side from the better of its two corners; on a tie the second.
  auto pick = [&](int first, int second) {
    return priority[first] < priority[second] ? first : second;
  };
  const int ymin = pick(2, 3), ymax = pick(0, 1), xmin = pick(0, 3), xmax = pick(1, 2);
  r.ymin = corner[ymin].y;
  r.ymax = corner[ymax].y;
  r.xmin = corner[xmin].x;
  r.xmax = corner[xmax].x;
  const bool freeXmin = priority[xmin] >= kSnapNothing, freeXmax = priority[xmax] >= kSnapNothing;
  const bool freeYmin = priority[ymin] >= kSnapNothing, freeYmax = priority[ymax] >= kSnapNothing;
  const bool freeX = freeXmin || freeXmax, freeY = freeYmin || freeYmax;
  const int64_t width = int64_t{r.xmax} - r.xmin, height = int64_t{r.ymax} - r.ymin;
  if (std::abs(width - height) >= radius || (!freeX && !freeY)) return;
  // Free sides follow the snapped ones: with free sides on both axes the
  // rectangle squares to its mean size, else to the size of the snapped axis.
  int64_t target;
  if (freeX && freeY) {
    target = (width + height) / 2;
  } else {
    target = freeX ? height : width;
  }
  auto grow = [](int32_t& low, int32_t& high, bool freeLow, bool freeHigh, int64_t by) {
    if (freeLow && freeHigh) {
      low = Clamp32(low - by / 2);
      high = Clamp32(high + (by - by / 2));
    } else if (freeLow) {
      low = Clamp32(low - by);
    } else if (freeHigh) {
      high = Clamp32(high + by);
    }
  };
  if (target - width > 1) grow(r.xmin, r.xmax, freeXmin, freeXmax, target - width);
  if (target - height > 1) grow(r.ymin, r.ymax, freeYmin, freeYmax, target - height);
}

int RectSnapSquare(Rect32& r, int32_t tolerance) {
  const int64_t width = int64_t{r.xmax} - r.xmin, height = int64_t{r.ymax} - r.ymin;
  if (std::abs(width - height) >= tolerance) return 0;
  const int64_t size = (width + height) / 2;
  const int64_t dx = (size - width) / 2, dy = (size - height) / 2;
  r.xmin = Clamp32(r.xmin - dx);
  r.xmax = Clamp32(r.xmax + dx);
  r.ymin = Clamp32(r.ymin - dy);
  r.ymax = Clamp32(r.ymax + dy);
  return 1;
}

bool IsSnapToggled(bool shiftDown) {
  return shiftDown != (AssistantSettings().enabled != 0);
}
