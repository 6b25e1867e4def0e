#include "geometry/edge_graph_check.h"

#include <algorithm>
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

void CheckCrossings(const EdgeGraph& g, const std::vector<const Edge*>& edges, Reporter& report) {
  for (const Edge* a : edges) {
    if (report.Full()) return;
    Rect32 query, hull_a;
    CurveGetBounds(a->curve, query);
    RectInset(query, -16);
    CurveGetHullBounds(a->curve, hull_a);
    EdgeGraphForEachEdge(g, &query, [&](const Edge* b) {
      if (!std::less<const Edge*>()(a, b)) return;  // each pair once
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
        if (NearSharedEnd(a, b, x.pointA, x.pointB)) continue;
        const char* what = x.overlap ? "overlap" : "cross";
        report("edges (%d,%d)-(%d,%d)-(%d,%d)/%d and (%d,%d)-(%d,%d)-(%d,%d)/%d %s at (%d,%d)",
               a->curve.p0.x, a->curve.p0.y, a->curve.control.x, a->curve.control.y, a->curve.p2.x,
               a->curve.p2.y, a->curve.straight, b->curve.p0.x, b->curve.p0.y, b->curve.control.x,
               b->curve.control.y, b->curve.p2.x, b->curve.p2.y, b->curve.straight, what,
               x.pointA.x, x.pointA.y);
      }
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
  if (options.crossings) CheckCrossings(g, edges, report);
  return out;
}
