#include "model/motion_path.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_update.h"
#include "model/geometry_result.h"

namespace {

// How far the guide may lie from the start and end points: 80 twips.
constexpr int32_t kGuideReach = 20480;

struct NearestEdge {
  Edge* edge = nullptr;
  Fixed t = kNoParam;
};

// The edge nearest to p within the reach, with the parameter of the nearest
// point on it; none when no edge is as close.
NearestEdge FindNearestEdge(const EdgeGraph& graph, const Point32& p) {
  Point32 q;
  Edge* e = EdgeGraphNearestEdge(graph, p, kGuideReach, nullptr, &q);
  if (e == nullptr) return {};
  Fixed t = CurveNearestPoint(e->curve, q, kGuideReach, nullptr);
  return {e, t == kNoParam ? 0 : t};
}

// The difference of two directions folded into 0..180 degrees.
Fixed TurnBetween(Fixed a, Fixed b) {
  int64_t d = std::llabs(int64_t{a} - b) % kAngle360;
  return static_cast<Fixed>(d > kAngle180 ? kAngle360 - d : d);
}

// One walk along the guide from the start edge in one direction to the end
// edge: the curves and their total length, or false when it runs into an
// edge it has walked already or comes to an end.
bool WalkGuide(const NearestEdge& from, const NearestEdge& to, int direction,
               std::vector<QuadCurve>& curves, int64_t& length) {
  curves.clear();
  length = 0;
  uint32_t stamp = EdgeGraphNextStamp();
  auto add = [&](const QuadCurve& c) {
    curves.push_back(c);
    length += CurveLength(c);
  };
  // The first piece: from the start point to the end of the start edge.
  QuadCurve before, after;
  CurveSplit(from.edge->curve, from.t, before, after);
  HalfEdge* h;
  if (direction == 0) {
    add(after);
    h = &from.edge->a;
  } else {
    CurveReverse(before, before);
    add(before);
    h = &from.edge->b;
  }
  from.edge->a.visit = stamp;
  for (;;) {
    QuadCurve arriving;
    EdgeGetCurve(h, arriving);
    Fixed heading = CurveTangentAngle(arriving, kFixedOne);
    HalfEdge* back = HalfEdgeTwin(h);
    Vertex* v = back->vertex;
    HalfEdge* next = nullptr;
    Fixed bestTurn = 0;
    for (HalfEdge* c = v != nullptr ? v->ring : nullptr; c != nullptr; c = c->ring_next) {
      if (c == back) continue;
      QuadCurve leaving;
      EdgeGetCurve(c, leaving);
      Fixed turn = TurnBetween(heading, CurveTangentAngle(leaving, 0));
      if (next == nullptr || turn < bestTurn) {
        next = c;
        bestTurn = turn;
      }
    }
    if (next == nullptr) return false;  // a loose end
    Edge* e = next->edge;
    if (e == to.edge) {
      // The part of the end edge up to the end point.
      CurveSplit(e->curve, to.t, before, after);
      if (HalfEdgeIsSideB(next)) {
        CurveReverse(after, after);
        add(after);
      } else {
        add(before);
      }
      return true;
    }
    if (e->a.visit == stamp) return false;
    e->a.visit = stamp;
    QuadCurve c;
    EdgeGetCurve(next, c);
    add(c);
    h = next;
  }
}

}  // namespace

void CMotionPath::Append(const QuadCurve& c) {
  int64_t before = m_ends.empty() ? 0 : m_ends.back();
  m_curves.push_back(c);
  m_ends.push_back(before + CurveLength(c));
  m_length =
      static_cast<int32_t>(std::min<int64_t>(m_ends.back(), std::numeric_limits<int32_t>::max()));
}

void CMotionPath::SetLine(const Point32& start, const Point32& end) {
  m_curves.clear();
  m_ends.clear();
  m_length = 0;
  m_start = start;
  if (start == end) return;
  QuadCurve line;
  CurveFromLine(start, end, line);
  Append(line);
}

int CMotionPath::Build(EdgeGraph* guide, const Point32& start, const Point32& end) {
  SetLine(start, end);
  if (guide == nullptr || guide->edge_count == 0) return 0;
  CheckGeometry(EdgeGraphBuildRegions(*guide));
  NearestEdge from = FindNearestEdge(*guide, start);
  NearestEdge to = FindNearestEdge(*guide, end);
  if (from.edge == nullptr || to.edge == nullptr) return 0;
  std::vector<QuadCurve> curves;
  if (from.edge == to.edge) {
    // Both on one edge: the piece between the two points.
    QuadCurve head, middle, tail;
    CurveSplitTwice(from.edge->curve, from.t, to.t, head, middle, tail);
    if (from.t > to.t) CurveReverse(middle, middle);
    curves.push_back(middle);
  } else {
    std::vector<QuadCurve> other;
    int64_t length0 = 0, length1 = 0;
    bool ok0 = WalkGuide(from, to, 0, curves, length0);
    bool ok1 = WalkGuide(from, to, 1, other, length1);
    if (!ok0 && !ok1) return 0;
    if (!ok0 || (ok1 && length1 < length0)) curves.swap(other);
  }
  m_curves.clear();
  m_ends.clear();
  m_length = 0;
  m_start = curves.front().p0;
  for (const QuadCurve& c : curves) Append(c);
  return 1;
}

Fixed CMotionPath::StartDirection() const {
  return m_curves.empty() ? 0 : CurveTangentAngle(m_curves.front(), 0);
}

Fixed CMotionPath::EndDirection() const {
  return m_curves.empty() ? 0 : CurveTangentAngle(m_curves.back(), kFixedOne);
}

void CMotionPath::PointAt(int32_t distance, Point32& point, Fixed& direction) const {
  if (m_curves.empty()) {
    point = m_start;
    direction = 0;
    return;
  }
  // The first curve that ends at or after the distance.
  auto it = std::lower_bound(m_ends.begin(), m_ends.end(), int64_t{distance});
  size_t i = it == m_ends.end() ? m_ends.size() - 1 : static_cast<size_t>(it - m_ends.begin());
  int64_t before = i == 0 ? 0 : m_ends[i - 1];
  int64_t local = std::clamp<int64_t>(int64_t{distance} - before, 0, m_ends[i] - before);
  const QuadCurve& c = m_curves[i];
  Fixed t = CurveParamAtLength(c, static_cast<int32_t>(local));
  CurvePointAt(c, t, point);
  direction = CurveTangentAngle(c, t);
}
