#include "geometry/edge_graph_check.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <unordered_set>
#include <utility>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"

namespace {

constexpr size_t kMaxReports = 32;
// An intersection within one step of the 128 grid of a shared end is that end:
// on long curves the 16-bit parameters of the intersection search resolve
// points only to some tens of units, and the graph resolves nothing finer
// than the grid.
constexpr int32_t kSharedEndSlack = 128;

class Reporter {
 public:
  explicit Reporter(std::vector<std::string>& out) : out_(out) {}
  template <class... Args>
  void operator()(const char* format, Args... args) {
    if (out_.size() >= kMaxReports) return;
    char text[256];
    std::snprintf(text, sizeof text, format, args...);
    out_.emplace_back(text);
  }
  bool Full() const { return out_.size() >= kMaxReports; }

 private:
  std::vector<std::string>& out_;
};

bool OnGrid(const Point32& p) {
  return (p.x & 127) == 0 && (p.y & 127) == 0;
}

bool Fits(const Rect32& r, const Rect32& cell) {
  return r.xmin >= cell.xmin && r.xmax < cell.xmax && r.ymin >= cell.ymin && r.ymax < cell.ymax;
}

template <class T>
void CheckChain(const EdgeIter& it, void* head, Reporter& report, const char* what) {
  void** expected = const_cast<void**>(&it.cell->chain[it.chain]);
  for (T* item = static_cast<T*>(head); item; item = static_cast<T*>(item->grid_next)) {
    if (item->grid_back != expected) {
      report("%s %p: broken back link in its grid chain", what, static_cast<void*>(item));
      return;
    }
    expected = &item->grid_next;
  }
}

void CheckStyles(const EdgeGraph& g, Reporter& report) {
  if (g.fill_count > kStyleLastIndex) report("fill table holds %d entries", g.fill_count);
  if (g.line_count > kStyleLastIndex) report("line table holds %d entries", g.line_count);
  if (g.last_fill_hit > g.fill_count) report("last fill hit %d past the table", g.last_fill_hit);
  if (g.last_line_hit > g.line_count) report("last line hit %d past the table", g.last_line_hit);
  for (int i = 0; i < g.fill_count; ++i) {
    if (FillStyleIsNone(g.fills[i])) report("fill %d is no fill", i + 1);
    for (int j = i + 1; j < g.fill_count; ++j)
      if (FillStyleEqual(g.fills[i], g.fills[j])) report("fills %d and %d are equal", i + 1, j + 1);
  }
  for (int i = 0; i < g.line_count; ++i) {
    if (LineStyleIsNone(g.lines[i])) report("line %d is no line", i + 1);
    for (int j = i + 1; j < g.line_count; ++j)
      if (LineStyleEqual(g.lines[i], g.lines[j])) report("lines %d and %d are equal", i + 1, j + 1);
  }
}

bool StyleInRange(StyleIndex s, int count) {
  return StyleIsTag(s) || StyleIndexOf(s) <= count;
}

void CheckEdge(const EdgeGraph& g, const Edge* e, Reporter& report) {
  const QuadCurve& c = e->curve;
  if (e->a.edge != e || e->b.edge != e) report("edge %p: sides do not point back", (const void*)e);
  if (HalfEdgeIsSideB(&e->a) || !HalfEdgeIsSideB(&e->b))
    report("edge %p: side flags wrong", (const void*)e);
  if (!e->a.vertex || !e->b.vertex) {
    report("edge %p: in the grid but not linked", (const void*)e);
    return;
  }
  if (e->a.vertex->position != c.p0 || e->b.vertex->position != c.p2)
    report("edge %p: vertices (%d,%d) (%d,%d) are not its ends (%d,%d) (%d,%d)", (const void*)e,
           e->a.vertex->position.x, e->a.vertex->position.y, e->b.vertex->position.x,
           e->b.vertex->position.y, c.p0.x, c.p0.y, c.p2.x, c.p2.y);
  if (!OnGrid(c.p0) || !OnGrid(c.p2))
    report("edge %p: ends (%d,%d) (%d,%d) off the 128 grid", (const void*)e, c.p0.x, c.p0.y, c.p2.x,
           c.p2.y);
  if (c.p0 == c.p2) report("edge %p: both ends at (%d,%d)", (const void*)e, c.p0.x, c.p0.y);
  if (!StyleInRange(e->line, g.line_count))
    report("edge %p: line %d out of range", (const void*)e, e->line);
  if (!StyleInRange(e->a.fill, g.fill_count) || !StyleInRange(e->b.fill, g.fill_count))
    report("edge %p: fills %d, %d out of range", (const void*)e, e->a.fill, e->b.fill);
}

void CheckRing(const Vertex* v, size_t limit, bool require_sorted, std::set<const HalfEdge*>& seen,
               Reporter& report) {
  size_t n = 0;
  Fixed previous = INT32_MIN;
  bool ascending = true;
  for (const HalfEdge* h = v->ring; h; h = h->ring_next) {
    if (++n > limit) {
      report("vertex (%d,%d): ring does not end", v->position.x, v->position.y);
      return;
    }
    if (h->vertex != v)
      report("vertex (%d,%d): ring holds a half-edge of another vertex", v->position.x,
             v->position.y);
    if (!seen.insert(h).second)
      report("vertex (%d,%d): half-edge in two rings", v->position.x, v->position.y);
    QuadCurve c;
    EdgeGetCurve(h, c);
    const Fixed angle = CurveTangentAngle(c, 0);
    if (angle < previous) ascending = false;
    previous = angle;
  }
  if (v->flags & kVertexSorted) {
    if (!ascending)
      report("vertex (%d,%d): ring marked sorted is not", v->position.x, v->position.y);
    if (VertexDegree(*v) != static_cast<int>(std::min<size_t>(n, 4)))
      report("vertex (%d,%d): degree %d, ring of %d", v->position.x, v->position.y,
             VertexDegree(*v), static_cast<int>(n));
  } else if (require_sorted && n > 0) {
    report("vertex (%d,%d): ring not sorted", v->position.x, v->position.y);
  }
}

// How finely the 16.16 parameters of the intersection search resolve points
// on a curve: a few parameter steps along its hull.
int64_t ParamResolution(const QuadCurve& c) {
  Rect32 hull;
  CurveGetHullBounds(c, hull);
  const int64_t extent = std::max(int64_t{hull.xmax} - hull.xmin, int64_t{hull.ymax} - hull.ymin);
  return std::max<int64_t>(kSharedEndSlack, extent >> 14);
}

bool Within(const Point32& p, const Point32& q, int64_t d) {
  return std::abs(int64_t{p.x} - q.x) <= d && std::abs(int64_t{p.y} - q.y) <= d;
}

bool NearSharedEnd(const Edge* a, const Edge* b, const Point32& pa, const Point32& pb) {
  const int64_t slack = std::max(ParamResolution(a->curve), ParamResolution(b->curve));
  const Point32 ends[2] = {a->curve.p0, a->curve.p2};
  for (const Point32& end : ends) {
    if (end != b->curve.p0 && end != b->curve.p2) continue;
    if (Within(pa, end, slack) && Within(pb, end, slack)) return true;
  }
  return false;
}

bool Exempt(const Edge* e, const EdgeGraphCheckOptions& options) {
  return !options.include_unsplit && (e->flags & kEdgeUnsplit);
}

// A meeting within the resolution of an end of each edge: the vertices there
// are the same, or grid steps apart with nothing finer to join them by, as
// insertion leaves them.
bool NearEndsOfBoth(const Edge* a, const Edge* b, const Point32& x) {
  const int64_t slack = std::max(ParamResolution(a->curve), ParamResolution(b->curve));
  auto near_end = [&](const Edge* e) {
    return Within(x, e->curve.p0, slack) || Within(x, e->curve.p2, slack);
  };
  return near_end(a) && near_end(b);
}

void CheckCrossings(const EdgeGraph& g, const std::vector<const Edge*>& edges,
                    const EdgeGraphCheckOptions& options, Reporter& report) {
  for (const Edge* a : edges) {
    if (report.Full()) return;
    if (Exempt(a, options)) continue;
    Rect32 query, hull_a;
    CurveGetBounds(a->curve, query);
    RectInset(query, -16);
    CurveGetHullBounds(a->curve, hull_a);
    EdgeGraphForEachEdge(g, &query, [&](const Edge* b) {
      if (!std::less<const Edge*>()(a, b) || Exempt(b, options)) return;  // each pair once
      Rect32 hull_b;
      CurveGetHullBounds(b->curve, hull_b);
      if (!RectsOverlap(hull_a, hull_b) || StraightEdgesApart(a->curve, b->curve)) return;
      CurveIntersectResult r;
      const int n = CurveIntersect(a->curve, b->curve, r, 8);
      for (int i = 0; i < n; ++i) {
        const CurveIntersectEntry& x = r.entries[i];
        if (!IntersectionIsConsistent(a->curve, b->curve, x)) continue;
        // An overlap or crossing that ends within the grid's resolution of a
        // shared end is that end.
        if (NearSharedEnd(a, b, x.point_a, x.point_b)) continue;
        const char* what = x.overlap ? "overlap" : "cross";
        report("edges (%d,%d)-(%d,%d)-(%d,%d)/%d and (%d,%d)-(%d,%d)-(%d,%d)/%d %s at (%d,%d)",
               a->curve.p0.x, a->curve.p0.y, a->curve.control.x, a->curve.control.y, a->curve.p2.x,
               a->curve.p2.y, a->curve.straight, b->curve.p0.x, b->curve.p0.y, b->curve.control.x,
               b->curve.control.y, b->curve.p2.x, b->curve.p2.y, b->curve.straight, what,
               x.point_a.x, x.point_a.y);
      }
    });
  }
}

// ---- Crossings found independently ------------------------------------------------
//
// A second crossing test that shares nothing with insertion: each edge is
// flattened on its own, in double precision, into a polyline within half a
// unit of the curve with integer vertices, and two polylines cross where two
// of their segments do, by exact orientation tests in 128 bits. A point on a
// line counts as lying on its left (a consistent perturbation), so a polyline
// passing exactly through a vertex of the other crosses it once. Each
// polyline depends on its own edge only, so the pieces on the two sides of a
// joint always meet and no crossing slips between them. A crossing within the
// resolution of an end of each edge is not one (NearEndsOfBoth), nor is one
// of curves that only touch or come within a unit (PassesThrough).

// A polyline with the boxes of its runs of segments in a complete binary
// tree: node 1 covers every segment, node k's halves are 2k and 2k + 1, and
// segment i is leaf `leaves + i` (leaves past the last segment are empty).
struct Polyline {
  struct Box {
    int32_t xmin, xmax, ymin, ymax;
  };
  std::vector<Point32> points;
  std::vector<Box> boxes;
  uint32_t leaves = 0;
};

void BuildBoxes(Polyline& l) {
  const uint32_t segments = static_cast<uint32_t>(l.points.size() - 1);
  l.leaves = 1;
  while (l.leaves < segments) l.leaves *= 2;
  l.boxes.resize(2 * l.leaves);  // every entry is written below
  for (uint32_t i = 0; i < segments; ++i) {
    const Point32 &p = l.points[i], &q = l.points[i + 1];
    l.boxes[l.leaves + i] = {std::min(p.x, q.x), std::max(p.x, q.x), std::min(p.y, q.y),
                             std::max(p.y, q.y)};
  }
  for (uint32_t i = segments; i < l.leaves; ++i)
    l.boxes[l.leaves + i] = {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN};  // meets nothing
  for (uint32_t k = l.leaves - 1; k >= 1; --k) {
    const Polyline::Box &a = l.boxes[2 * k], &b = l.boxes[2 * k + 1];
    l.boxes[k] = {std::min(a.xmin, b.xmin), std::max(a.xmax, b.xmax), std::min(a.ymin, b.ymin),
                  std::max(a.ymax, b.ymax)};
  }
}

void Flatten(const QuadCurve& c, Polyline& out) {
  const double x0 = c.p0.x, y0 = c.p0.y, x2 = c.p2.x, y2 = c.p2.y;
  const double cx = c.straight ? (x0 + x2) / 2 : c.control.x;
  const double cy = c.straight ? (y0 + y2) / 2 : c.control.y;
  // B(t) = p0 + 2t (control - p0) + t^2 a: a chord over a parameter step h
  // lies within |a| h^2 / 4 of the curve; steps of h = sqrt(1 / |a|) keep it
  // within a quarter unit, rounding within half a unit more.
  const double ax = x0 - 2 * cx + x2, ay = y0 - 2 * cy + y2;
  const double steps = std::ceil(std::sqrt(std::hypot(ax, ay)));
  const int n = c.straight ? 1 : static_cast<int>(std::clamp(steps, 1.0, 8192.0));
  out.points.clear();
  out.points.push_back(c.p0);
  for (int i = 1; i < n; ++i) {
    const double t = static_cast<double>(i) / n, s = 1 - t;
    out.points.push_back(
        {static_cast<int32_t>(std::lround(s * s * x0 + 2 * s * t * cx + t * t * x2)),
         static_cast<int32_t>(std::lround(s * s * y0 + 2 * s * t * cy + t * t * y2))});
  }
  out.points.push_back(c.p2);
  BuildBoxes(out);
}

// 1 when r lies left of or on the line p-q, -1 right of it.
int Side(const Point32& p, const Point32& q, const Point32& r) {
  using Wide = __int128;
  const Wide cross = (Wide{q.x} - p.x) * (Wide{r.y} - p.y) - (Wide{q.y} - p.y) * (Wide{r.x} - p.x);
  return cross >= 0 ? 1 : -1;
}

// Calls found(x, y, i, j) for each crossing of the segments under node ka
// of a with those under node kb of b (segment i of a, j of b), halving the
// longer run while their boxes meet.
template <class Found>
void CrossRuns(const Polyline& a, uint32_t ka, const Polyline& b, uint32_t kb, Found&& found) {
  const Polyline::Box &sa = a.boxes[ka], &sb = b.boxes[kb];
  if (sa.xmax < sb.xmin || sb.xmax < sa.xmin || sa.ymax < sb.ymin || sb.ymax < sa.ymin) return;
  // Node k of a tree with L leaves covers L >> (bit_width(k) - 1) segments:
  // halve the run of the tree whose node covers more.
  auto depth = [](uint32_t k, uint32_t leaves) {
    return static_cast<int>(std::bit_width(k)) - static_cast<int>(std::bit_width(leaves));
  };
  const bool split_a = ka < a.leaves && depth(ka, a.leaves) <= depth(kb, b.leaves);
  if (split_a) {
    CrossRuns(a, 2 * ka, b, kb, found);
    CrossRuns(a, 2 * ka + 1, b, kb, found);
    return;
  }
  if (kb < b.leaves) {
    CrossRuns(a, ka, b, 2 * kb, found);
    CrossRuns(a, ka, b, 2 * kb + 1, found);
    return;
  }
  const size_t a0 = ka - a.leaves, b0 = kb - b.leaves;
  const Point32 &p = a.points[a0], &q = a.points[a0 + 1], &r = b.points[b0], &s = b.points[b0 + 1];
  if (Side(p, q, r) == Side(p, q, s) || Side(r, s, p) == Side(r, s, q)) return;
  // Where the lines meet, for the report and the test near the ends.
  const double dx = double(q.x) - p.x, dy = double(q.y) - p.y;
  const double ex = double(s.x) - r.x, ey = double(s.y) - r.y;
  const double den = dx * ey - dy * ex;
  const double u = den == 0 ? 0 : ((double(r.x) - p.x) * ey - (double(r.y) - p.y) * ex) / den;
  found(p.x + u * dx, p.y + u * dy, a0, b0);
}

// Polylines stray from their curves by up to a unit, so two curves that
// touch or pass within a unit of each other may give crossing polylines. A
// crossing counts where each polyline goes from one side of the other to the
// other side, farther than this each way. The sides are sampled at distances
// from the crossing growing by a quarter each step: a lens between two
// crossings is met by a sample near its widest.
constexpr double kCrossingDepth = 4;

// The distance of (x, y) from its nearest segment of the polyline, negative
// when the point lies right of that segment.
double SideDistance(const Polyline& l, double x, double y) {
  double best = HUGE_VAL, side = 1;
  for (size_t i = 0; i + 1 < l.points.size(); ++i) {
    const Point32 &a = l.points[i], &b = l.points[i + 1];
    const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
    const double px = x - a.x, py = y - a.y;
    const double length2 = dx * dx + dy * dy;
    const double t = length2 == 0 ? 0 : std::clamp((px * dx + py * dy) / length2, 0.0, 1.0);
    const double d = std::hypot(px - t * dx, py - t * dy);
    if (d < best) {
      best = d;
      side = dx * py - dy * px >= 0 ? 1 : -1;
    }
  }
  return best * side;
}

// The side of `other` (1 left, -1 right) on which l first lies farther than
// kCrossingDepth, walking from (x, y) on its segment `at` forwards or
// backwards; 0 when it ends before.
int FarSide(const Polyline& l, size_t at, double x, double y, bool forward, const Polyline& other) {
  auto side_at = [&](double px, double py) {
    const double d = SideDistance(other, px, py);
    return std::abs(d) > kCrossingDepth ? (d > 0 ? 1 : -1) : 0;
  };
  double sample = 1;     // distance from the crossing of the next sample
  double travelled = 0;  // distance from the crossing of (x, y)
  size_t next = forward ? at + 1 : at;
  for (;;) {
    const Point32& v = l.points[next];
    const double stretch = std::hypot(v.x - x, v.y - y);
    for (; travelled + stretch >= sample; sample *= 1.25) {
      const double f = (sample - travelled) / stretch;
      if (int side = side_at(x + f * (v.x - x), y + f * (v.y - y))) return side;
    }
    travelled += stretch;
    x = v.x;
    y = v.y;
    if (forward ? next + 1 == l.points.size() : next == 0) return side_at(x, y);
    next = forward ? next + 1 : next - 1;
  }
}

// Whether l, crossing `other` at (x, y) on its segment `at`, passes through
// it by more than kCrossingDepth on each side.
bool PassesThrough(const Polyline& l, size_t at, double x, double y, const Polyline& other) {
  const int before = FarSide(l, at, x, y, false, other);
  const int after = FarSide(l, at, x, y, true, other);
  return before != 0 && after != 0 && before != after;
}

void CheckCrossingsFlat(const EdgeGraph& g, const std::vector<const Edge*>& edges,
                        const EdgeGraphCheckOptions& options, Reporter& report) {
  // Two polylines whose buffers are kept from pair to pair: fresh buffers
  // for every edge cost more than flattening again.
  Polyline la, lb;
  for (const Edge* a : edges) {
    if (report.Full()) return;
    if (Exempt(a, options)) continue;
    Rect32 query;
    CurveGetHullBounds(a->curve, query);
    bool flattened = false;
    EdgeGraphForEachEdge(g, &query, [&](const Edge* b) {
      if (!std::less<const Edge*>()(a, b) || Exempt(b, options) || report.Full()) return;
      Rect32 hull_b;
      CurveGetHullBounds(b->curve, hull_b);
      if (!RectsOverlap(query, hull_b)) return;
      if (!flattened) Flatten(a->curve, la);
      flattened = true;
      Flatten(b->curve, lb);
      bool reported = false;
      auto found = [&](double fx, double fy, size_t i, size_t j) {
        const Point32 x{static_cast<int32_t>(std::lround(fx)),
                        static_cast<int32_t>(std::lround(fy))};
        if (reported || NearEndsOfBoth(a, b, x) || !PassesThrough(la, i, fx, fy, lb) ||
            !PassesThrough(lb, j, fx, fy, la))
          return;
        reported = true;
        report(
            "edges (%d,%d)-(%d,%d)-(%d,%d)/%d and (%d,%d)-(%d,%d)-(%d,%d)/%d cross at (%d,%d) "
            "(flattened)",
            a->curve.p0.x, a->curve.p0.y, a->curve.control.x, a->curve.control.y, a->curve.p2.x,
            a->curve.p2.y, a->curve.straight, b->curve.p0.x, b->curve.p0.y, b->curve.control.x,
            b->curve.control.y, b->curve.p2.x, b->curve.p2.y, b->curve.straight, x.x, x.y);
      };
      CrossRuns(la, 1, lb, 1, found);
    });
  }
}

}  // namespace

std::vector<std::string> EdgeGraphCheck(const EdgeGraph& g, const EdgeGraphCheckOptions& options) {
  std::vector<std::string> out;
  Reporter report(out);
  if (!g.grid.root) {
    if (g.edge_count != 0) report("no grid but %u edges", g.edge_count);
    return out;
  }

  // Edges: chains, cells, records.
  std::vector<const Edge*> edges;
  std::unordered_set<const Edge*> edge_set;
  EdgeIter it;
  EdgeIterInit(it, g.grid, 0, nullptr);
  while (void* head = GridIterAdvance(it)) {
    CheckChain<Edge>(it, head, report, "edge");
    for (const Edge* e = static_cast<Edge*>(head); e; e = static_cast<Edge*>(e->grid_next)) {
      if (!edge_set.insert(e).second) {
        report("edge %p filed twice", (const void*)e);
        return out;
      }
      edges.push_back(e);
      Rect32 tight;
      CurveGetBounds(e->curve, tight);
      if (it.cell != g.grid.root && !Fits(tight, it.cell->bounds))
        report("edge %p filed in a cell that does not hold it", (const void*)e);
      CheckEdge(g, e, report);
    }
  }
  if (edges.size() != g.edge_count)
    report("edge count %u, %d edges linked", g.edge_count, static_cast<int>(edges.size()));

  // Vertices and rings.
  std::set<const HalfEdge*> in_rings;
  std::map<std::pair<int32_t, int32_t>, const Vertex*> positions;
  std::unordered_set<const Vertex*> vertex_set;
  EdgeIterInit(it, g.grid, 1, nullptr);
  while (void* head = GridIterAdvance(it)) {
    CheckChain<Vertex>(it, head, report, "vertex");
    for (const Vertex* v = static_cast<Vertex*>(head); v; v = static_cast<Vertex*>(v->grid_next)) {
      vertex_set.insert(v);
      if (!positions.emplace(std::make_pair(v->position.x, v->position.y), v).second)
        report("two vertices at (%d,%d)", v->position.x, v->position.y);
      if (it.cell != g.grid.root &&
          !Fits({v->position.x, v->position.x, v->position.y, v->position.y}, it.cell->bounds))
        report("vertex (%d,%d) filed in a cell that does not hold it", v->position.x,
               v->position.y);
      CheckRing(v, 2 * edges.size() + 1, options.require_sorted, in_rings, report);
    }
  }
  for (const Edge* e : edges) {
    if (!e->a.vertex || !e->b.vertex) continue;
    if (!vertex_set.count(e->a.vertex) || !vertex_set.count(e->b.vertex))
      report("edge %p: a vertex is not in the grid", (const void*)e);
    if (!in_rings.count(&e->a) || !in_rings.count(&e->b))
      report("edge %p: a side is in no ring", (const void*)e);
  }
  if (in_rings.size() != 2 * edges.size())
    report("%d half-edges in rings, %d edges", static_cast<int>(in_rings.size()),
           static_cast<int>(edges.size()));

  CheckStyles(g, report);
  if (options.crossings) {
    CheckCrossings(g, edges, options, report);
    CheckCrossingsFlat(g, edges, options, report);
  }
  return out;
}
