// The vertex clean-up pass: rings sorted by direction, tangent pairs split
// apart, smooth joints marked.
#include "geometry/edge_graph_cleanup.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"

namespace {

constexpr Fixed kTangentAngle = 0x10000;  // one degree
constexpr Fixed kSeparatedAngle = 0x20000;
constexpr int32_t kSmoothJointDistance = 512;
constexpr int64_t kPartingReach = 256;  // two steps of the 128 grid
constexpr int kSplittingPasses = 5;

struct Spoke {
  HalfEdge* h;
  Fixed angle;
};

// Difference of two directions, 0 to 180 degrees.
Fixed AngleBetween(Fixed a, Fixed b) {
  int64_t d = std::abs(int64_t{a} - b) % kAngle360;
  if (d > kAngle180) d = kAngle360 - d;
  return static_cast<Fixed>(d);
}

Point32 Average(const Point32& p, const Point32& q) {
  return {static_cast<int32_t>((int64_t{p.x} + q.x) >> 1),
          static_cast<int32_t>((int64_t{p.y} + q.y) >> 1)};
}

// Moves the start of a piece onto p, its control point following by half the
// shift.
void MoveStart(QuadCurve& c, const Point32& p) {
  const int64_t dx = int64_t{p.x} - c.p0.x;
  const int64_t dy = int64_t{p.y} - c.p0.y;
  c.p0 = p;
  if (c.straight) {
    c.control = Average(c.p0, c.p2);
  } else {
    c.control.x = static_cast<int32_t>(c.control.x + (dx >> 1));
    c.control.y = static_cast<int32_t>(c.control.y + (dy >> 1));
  }
}

int32_t LineWidth(const EdgeGraph& graph, StyleIndex line) {
  LineStyle style;
  EdgeGraphGetLineStyle(graph, line, style);
  return style.width;
}

// Where the shorter curve s is cut at t and the longer l at its point nearest
// to the cut: the angle between the two there, and the cut on l.
struct Cut {
  Fixed t_long;
  Point32 on_short;
  Point32 on_long;
  Fixed divergence;
};

Cut CutAt(const QuadCurve& s, const QuadCurve& l, Fixed t) {
  Cut cut;
  CurvePointAt(s, t, cut.on_short);
  if (t >= kFixedOne) cut.on_short = s.p2;
  cut.t_long = CurveNearestPoint(l, cut.on_short, kNoDistance, &cut.on_long);
  if (cut.t_long < 0) {
    cut.t_long = kFixedOne;
    cut.on_long = l.p2;
  }
  cut.divergence = AngleBetween(CurveTangentAngle(s, t), CurveTangentAngle(l, cut.t_long));
  return cut;
}

// Gives the edge of h the curve c, which runs in h's direction.
void SetCurveAlong(HalfEdge* h, const QuadCurve& c) {
  if (HalfEdgeIsSideB(h))
    CurveReverse(c, h->edge->curve);
  else
    h->edge->curve = c;
}

// Two half-edges leave the vertex within one degree of each other: the part
// they share becomes one edge and the rest of each starts where they part.
// 1 when split, 0 when they part too close to the vertex to be split.
int SplitTangentPair(EdgeGraph& graph, HalfEdge* h1, HalfEdge* h2) {
  QuadCurve c1, c2;
  EdgeGetCurve(h1, c1);
  EdgeGetCurve(h2, c2);
  const bool first_shorter = CurveLength(c1) < CurveLength(c2);
  HalfEdge* hs = first_shorter ? h1 : h2;
  HalfEdge* hl = first_shorter ? h2 : h1;
  const QuadCurve& s = first_shorter ? c1 : c2;
  const QuadCurve& l = first_shorter ? c2 : c1;

  // Bisection for the parameter on the shorter curve where the two part by
  // one to two degrees, starting with the whole shorter curve.
  Fixed t = kFixedOne;
  Fixed step = kFixedOne;
  Cut cut = CutAt(s, l, t);
  for (;;) {
    int direction;
    if (cut.divergence <= kTangentAngle) {
      if (t == kFixedOne) break;  // the whole shorter edge runs along the longer one
      direction = 1;
    } else if (cut.divergence > kSeparatedAngle) {
      direction = -1;
    } else {
      break;
    }
    if (step <= 4) break;
    step >>= 1;
    t += direction * step;
    cut = CutAt(s, l, t);
  }

  const bool whole_short = t >= kFixedOne;
  // Taking the whole shorter edge keeps its far vertex, where other edges may
  // meet it.
  const Point32 joint = whole_short ? s.p2 : RoundTo128(Average(cut.on_short, cut.on_long));
  // Curves that part within a quarter twip of the vertex cannot be told apart
  // on the 128 grid: they stay as they are.
  if (joint == s.p0) return 0;
  QuadCurve s1, s2, l1, l2;
  CurveSplit(s, t, s1, s2);
  CurveSplit(l, cut.t_long, l1, l2);
  QuadCurve shared;
  CurveSet(s.p0, Average(s1.control, l1.control), joint, shared);
  CurveStraightenIfFlat(shared);
  MoveStart(s2, joint);
  MoveStart(l2, joint);

  Edge* es = hs->edge;
  Edge* el = hl->edge;
  Edge* joined = nullptr;
  if (EdgeGraphNewEdge(shared, &joined) < 0) return -1;
  const int32_t ws = LineWidth(graph, es->line);
  const int32_t wl = LineWidth(graph, el->line);
  joined->line = StyleIndexOf(ws > wl ? es->line : el->line);
  if (EdgeGraphUnlinkEdge(graph, es) < 0 || EdgeGraphUnlinkEdge(graph, el) < 0) {
    EdgeGraphFreeEdgeRecord(joined);
    return -1;
  }
  SetCurveAlong(hl, l2);
  int result = EdgeGraphInsertEdge(graph, joined, 0, 0);
  if (int r = EdgeGraphInsertEdge(graph, el, 0, 0); result == 0) result = r;
  if (whole_short) {
    EdgeGraphFreeEdgeRecord(es);
  } else {
    SetCurveAlong(hs, s2);
    if (int r = EdgeGraphInsertEdge(graph, es, 0, 0); result == 0) result = r;
  }
  return result < 0 ? result : 1;
}

// Whether two half-edges, in angle order round v, lie the other way round
// kPartingReach out: they cross within the grid's resolution of v, where the
// crossing cannot be a vertex of its own, and part in the order opposite to
// their tangents. Such a pair is split as a tangent pair, so that the ring
// follows the way the curves part.
bool SwapSides(const Vertex* v, const HalfEdge* first, const HalfEdge* second) {
  auto far_angle = [&](const HalfEdge* h) {
    QuadCurve c;
    EdgeGetCurve(h, c);
    const int64_t length = std::max<int32_t>(CurveLength(c), 1);
    const Fixed t = length <= kPartingReach
                        ? kFixedOne
                        : std::max<Fixed>(static_cast<Fixed>((kPartingReach << 16) / length), 1);
    Point32 p;
    CurvePointAt(c, t, p);
    return int64_t{p == v->position ? CurveTangentAngle(c, 0) : PointAngle(p, &v->position)};
  };
  int64_t d = far_angle(second) - far_angle(first);
  while (d > kAngle180) d -= kAngle360;
  while (d < -kAngle180) d += kAngle360;
  return d < 0;
}

std::vector<Spoke>& Spokes() {
  static std::vector<Spoke> spokes;
  return spokes;
}

// Sorts the ring of one vertex. 1 when a tangent pair was split instead.
int SortRing(EdgeGraph& graph, Vertex* v, bool may_split) {
  std::vector<Spoke>& spokes = Spokes();
  spokes.clear();
  for (HalfEdge* h = v->ring; h; h = h->ring_next) {
    QuadCurve c;
    EdgeGetCurve(h, c);
    spokes.push_back({h, CurveTangentAngle(c, 0)});
  }
  const size_t n = spokes.size();
  std::stable_sort(spokes.begin(), spokes.end(),
                   [](const Spoke& a, const Spoke& b) { return a.angle < b.angle; });
  if (may_split) {
    // Two half-edges are tangent by the same measure as neighbours in a longer
    // ring, across the 180-degree seam too: whether a pair gets split must not
    // depend on which way it points.
    if (n == 2 && AngleBetween(spokes[1].angle, spokes[0].angle) <= kTangentAngle)
      if (int r = SplitTangentPair(graph, spokes[0].h, spokes[1].h); r != 0) return r;
    if (n >= 3)
      for (size_t i = 0; i < n; ++i) {
        const size_t j = (i + 1) % n;
        const int64_t next = j == 0 ? int64_t{spokes[0].angle} + kAngle360 : spokes[j].angle;
        if (next - spokes[i].angle <= kTangentAngle ||
            (next - spokes[i].angle <= kSeparatedAngle && SwapSides(v, spokes[i].h, spokes[j].h)))
          if (int r = SplitTangentPair(graph, spokes[i].h, spokes[j].h); r != 0) return r;
      }
  }

  v->ring = n ? spokes[0].h : nullptr;
  for (size_t i = 0; i < n; ++i) spokes[i].h->ring_next = i + 1 < n ? spokes[i + 1].h : nullptr;
  uint16_t flags =
      kVertexSorted | static_cast<uint16_t>(std::min<size_t>(n, 4) << kVertexDegreeShift);
  if (n == 2) {
    const Edge* e1 = spokes[0].h->edge;
    const Edge* e2 = spokes[1].h->edge;
    if (!e1->curve.straight && !e2->curve.straight &&
        PointSegmentDistance(e1->curve.control, e2->curve.control, v->position, nullptr) <
            kSmoothJointDistance)
      flags |= kVertexSmooth;
  }
  v->flags = flags;
  return 0;
}

}  // namespace

void EdgeGraphCleanupReleaseScratch() {
  std::vector<Spoke>().swap(Spokes());
}

int EdgeGraphCleanup(EdgeGraph& graph) {
  std::vector<Vertex*> unsorted;
  for (int pass = 0; pass <= kSplittingPasses; ++pass) {
    const bool may_split = pass < kSplittingPasses;
    // Splits can cascade along the edges; a pass that keeps finding pairs
    // hands the rest to the next one.
    int64_t budget = 256 + 2 * int64_t{graph.edge_count};
    bool split_any = false;
    bool again = true;
    while (again) {
      again = false;
      unsorted.clear();
      EdgeGraphForEachVertex(graph, nullptr, [&](Vertex* v) {
        if (!(v->flags & kVertexSorted)) unsorted.push_back(v);
      });
      for (Vertex* v : unsorted) {
        const int r = SortRing(graph, v, may_split && budget > 0);
        if (r < 0) return r;
        if (r > 0) {
          // The grid and the rings changed: the vertex loop starts over.
          split_any = true;
          --budget;
          again = true;
          break;
        }
      }
    }
    if (!split_any) break;
  }
  return 0;
}
