// Fill contexts and the merge of one edge graph into another.
#include "geometry/edge_graph_merge.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_update.h"
#include "geometry/pool.h"

namespace {

constexpr int32_t kRayEnd = 0x1FFFFFFF;
constexpr int32_t kMergeMargin = 1280;  // five twips around the source

BlockPool& FillContextPool() {
  // Never destroyed, like the other record pools of the edge graph.
  static BlockPool& pool = []() -> BlockPool& {
    auto* p = new BlockPool;
    p->Init(sizeof(FillContext), 1600, 0, 0x99999999, alignof(FillContext));
    return *p;
  }();
  return pool;
}

FillContext* NewContext(EdgeGraph& graph, int32_t depth, StyleIndex fill) {
  void* memory = FillContextPool().Alloc();
  if (!memory) return nullptr;
  auto* c = new (memory) FillContext;
  c->depth = depth;
  c->fill = fill;
  c->next = graph.fill_contexts;
  graph.fill_contexts = c;
  return c;
}

void PointBoundary(EdgeGraph& graph, Region* r, FillContext* c) {
  HalfEdge* start = r->boundary;
  HalfEdge* h = start;
  do {
    h->fill_context = c;
    if (h->edge->flags & kEdgeUnsplit) graph.flags |= kGraphContextsMayCross;
    h = HalfEdgeNextOnBoundary(h);
  } while (h && h != start);
}

int BuildContexts(EdgeGraph& graph) {
  RegionIter it;
  if (int r = RegionIterInit(it, graph); r < 0) return r;
  FillContext* root = NewContext(graph, 0, 0);
  if (!root) return -1;
  // The context of each region on the walk's current path, by depth.
  std::vector<FillContext*> path;
  while (true) {
    const size_t depth = it.stack.size();
    Region* region = RegionIterNext(it);
    if (!region) break;
    FillContext* around = depth == 0 ? root : path[depth - 1];
    FillContext* own = around;
    if (RegionIsOuter(*region)) {
      own = NewContext(graph, around->depth + 1, region->fill);
      if (!own) return -1;
    }
    path.resize(depth + 1);
    path[depth] = own;
    PointBoundary(graph, region, own);
  }
  return 0;
}

}  // namespace

int32_t EdgeGraphFillContextsInUse() {
  int32_t n = 0;
  for (const BlockChunk* c = FillContextPool().oldest; c; c = c->next) n += c->count;
  return n;
}

void EdgeGraphResetFillContextPool() {
  FillContextPool().Reset();
}

int EdgeGraphBuildFillContexts(EdgeGraph& graph) {
  EdgeGraphFreeFillContexts(graph);
  try {
    return BuildContexts(graph);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

void EdgeGraphFreeFillContexts(EdgeGraph& graph) {
  graph.flags &= static_cast<uint16_t>(~kGraphContextsMayCross);
  if (!graph.fill_contexts) return;
  EdgeGraphForEachEdge(graph, nullptr, [](Edge* e) {
    e->a.fill_context = nullptr;
    e->b.fill_context = nullptr;
  });
  while (FillContext* c = graph.fill_contexts) {
    graph.fill_contexts = c->next;
    c->~FillContext();
    FillContextPool().Free(c);
  }
}

FillContext* EdgeGraphCountFillContext(const EdgeGraph& graph, const Point32& point) {
  const uint32_t stamp = EdgeGraphNextStamp();
  const Rect32 ray = {point.x, std::max(point.x, kRayEnd), point.y, point.y};
  FillContext* best = nullptr;
  // The contexts met; a context's count is reset when the walk first meets it.
  std::vector<FillContext*> met;
  EdgeGraphForEachEdge(graph, &ray, [&](const Edge* e) {
    if (!e->a.fill_context && !e->b.fill_context) return;
    const int32_t k = CurveRayCrossings(e->curve, point, 0);
    if (k == 0) return;
    for (FillContext* c : {e->a.fill_context, e->b.fill_context}) {
      if (!c) continue;
      if (c->visit != stamp) {
        c->visit = stamp;
        c->crossings = 0;
        met.push_back(c);
      }
      c->crossings += k;
    }
  });
  for (FillContext* c : met)
    if ((c->crossings & 1) && (!best || c->depth > best->depth)) best = c;
  return best;
}

namespace {

// The nearest crossing of the ray from q towards +x with an edge that has a
// context, found by walking the grid's cells from left to right and skipping
// the cells beyond the nearest crossing so far.
class NearestCrossing {
 public:
  explicit NearestCrossing(const Point32& q) : q_(q) {}

  void Walk(const GridCell* cell, bool root) {
    if (!root) {
      const Rect32& b = cell->bounds;
      if (q_.y < b.ymin - kNear || q_.y > b.ymax + kNear || b.xmax < q_.x - kNear ||
          b.xmin > best_ + kNear)
        return;
    }
    for (const Edge* e = static_cast<const Edge*>(cell->chain[0]); e;
         e = static_cast<const Edge*>(e->grid_next))
      if (e->a.fill_context || e->b.fill_context) Consider(*e);
    for (int quadrant : {kQuadLeftLower, kQuadLeftUpper, kQuadRightLower, kQuadRightUpper})
      if (const GridCell* child = cell->child[quadrant]) Walk(child, false);
  }

  // The half-edge facing q at the nearest crossing when that crossing
  // decides; null when there is none or it cannot decide (*decided false).
  const HalfEdge* Facing(bool* decided) const {
    *decided = !unsure_ && second_ - best_ > kNear;
    if (best_ == kNone) *decided = true;
    return *decided ? facing_ : nullptr;
  }

 private:
  // Crossings this close (in graph units) to an end, a turning point, q or
  // each other are left to the full count.
  static constexpr double kNear = 64;
  static constexpr double kNone = 1e300;

  void Add(double x, const HalfEdge* facing, bool unsure) {
    if (x < best_) {
      second_ = best_;
      best_ = x;
      facing_ = facing;
      unsure_ = unsure;
    } else if (x < second_) {
      second_ = x;
    }
  }

  void Consider(const Edge& e) {
    const QuadCurve& c = e.curve;
    const double y0 = c.p0.y, y1 = c.control.y, y2 = c.p2.y, qy = q_.y, qx = q_.x;
    if (qy < std::min({y0, y1, y2}) - kNear || qy > std::max({y0, y1, y2}) + kNear) return;
    const double xmin = std::min({c.p0.x, c.control.x, c.p2.x});
    const double xmax = std::max({c.p0.x, c.control.x, c.p2.x});
    if (xmax < qx - kNear || xmin > best_ + kNear) return;
    // The count subdivides curves down to 1/4096 of their size: nearer to q
    // than that, its answer may differ from the exact crossing.
    const double near =
        kNear + std::max(xmax - xmin, std::max({y0, y1, y2}) - std::min({y0, y1, y2})) / 2048;
    // A crossing next to an end or a turning point of the curve cannot
    // decide: the ray may meet a vertex or touch the curve there.
    for (const Point32& end : {c.p0, c.p2})
      if (std::abs(end.y - qy) <= near && end.x >= qx - near) Add(end.x, nullptr, true);
    // y(t) = a t^2 + b t + y0 (a straight edge's control point is rounded:
    // its line is taken from the ends).
    const bool straight = c.straight != 0;
    const double a = straight ? 0 : y0 - 2 * y1 + y2, b = straight ? y2 - y0 : 2 * (y1 - y0);
    const double ax = straight ? 0 : c.p0.x - 2.0 * c.control.x + c.p2.x;
    const double bx =
        straight ? c.p2.x - static_cast<double>(c.p0.x) : 2.0 * (c.control.x - c.p0.x);
    auto x_at = [&](double t) { return (ax * t + bx) * t + c.p0.x; };
    double roots[2];
    int n = 0;
    if (straight || std::abs(a) < 1e-9 * (std::abs(b) + 1)) {
      if (b != 0) roots[n++] = (qy - y0) / b;
    } else {
      const double te = -b / (2 * a);
      if (te > 0 && te < 1) {
        const double ye = (a * te + b) * te + y0;
        if (std::abs(ye - qy) <= near) Add(x_at(te), nullptr, true);
      }
      const double disc = b * b - 4 * a * (y0 - qy);
      if (disc >= 0) {
        const double s = std::sqrt(disc);
        // The stable pair of roots.
        const double k = b >= 0 ? -(b + s) / 2 : (s - b) / 2;
        if (k != 0) roots[n++] = (y0 - qy) / k;
        roots[n++] = k / a;
      }
    }
    for (int i = 0; i < n; ++i) {
      const double t = roots[i];
      if (!(t > 0 && t < 1)) continue;
      const double x = x_at(t);
      if (x < qx - near) continue;
      // Side A has its face on the right of the curve's direction: towards
      // -x where the curve runs down.
      const double dy = 2 * a * t + b;
      Add(x, dy < 0 ? &e.a : &e.b, x <= qx + near || dy == 0);
    }
  }

  Point32 q_;
  double best_ = kNone;
  double second_ = kNone;
  const HalfEdge* facing_ = nullptr;
  bool unsure_ = false;
};

}  // namespace

FillContext* EdgeGraphFindFillContext(const EdgeGraph& graph, const Point32& point) {
  if (!graph.grid.root || (graph.flags & kGraphContextsMayCross))
    return EdgeGraphCountFillContext(graph, point);
  NearestCrossing nearest(point);
  nearest.Walk(graph.grid.root, true);
  bool decided = false;
  const HalfEdge* facing = nearest.Facing(&decided);
  if (!decided) return EdgeGraphCountFillContext(graph, point);
  if (!facing) return nullptr;
  if (!facing->fill_context) return EdgeGraphCountFillContext(graph, point);
  // The outermost context holds the edges of the top-level outlines: a point
  // beside them lies outside every context.
  return facing->fill_context->depth == 0 ? nullptr : facing->fill_context;
}

int EdgeApplyContextFill(EdgeGraph& graph, Edge* edge, StyleIndex fill, bool fills_win,
                         bool remove_line) {
  if (StyleIndexOf(fill) == 0) return 0;
  EdgeGraphForgetSelection(graph);
  if (remove_line && StyleIndexOf(edge->line) != 0) {
    if (int r = EdgeGraphTouchEdge(graph, edge); r < 0) return r;
    edge->line = 0;
  }
  for (HalfEdge* h : {&edge->a, &edge->b}) {
    if (h->fill == fill || (StyleIndexOf(h->fill) != 0 && !fills_win)) continue;
    if (int r = EdgeGraphTouchEdge(graph, edge); r < 0) return r;
    if (h->region) RegionFree(graph, h->region);
    h->fill = fill;
  }
  return 0;
}

namespace {

int CopyEdge(const EdgeGraph& source, const Edge& from, EdgeGraph& target, Edge** out) {
  if (int r = EdgeGraphNewEdge(from.curve, out); r < 0) return r;
  if (int r = EdgeCopyStylesReindexed(source, from, target, **out); r < 0) {
    EdgeGraphFreeEdgeRecord(*out);
    *out = nullptr;
    return r;
  }
  return 0;
}

int Merge(EdgeGraph& source, EdgeGraph& target, int mode) {
  std::vector<Edge*> edges;
  EdgeGraphForEachEdge(source, nullptr, [&](Edge* e) { edges.push_back(e); });

  if (target.edge_count == 0) {
    for (const Edge* from : edges) {
      Edge* e = nullptr;
      if (int r = CopyEdge(source, *from, target, &e); r < 0) return r;
      EdgeCopyUnsplitMark(*from, *e);
      if (int r = EdgeGraphLinkEdge(target, e); r < 0) {
        EdgeGraphFreeEdgeRecord(e);
        return r;
      }
    }
    return 0;
  }

  Rect32 grown, stroked;
  EdgeGraphGetBounds(source, false, grown, stroked);
  if (grown.IsEmpty()) return 0;
  RectInset(grown, -kMergeMargin);
  const uint32_t stamp = EdgeGraphNextStamp();
  FillContextScope contexts(target);
  if (int r = EdgeGraphBuildFillContexts(target); r < 0) return r;

  for (const Edge* from : edges) {
    Edge* e = nullptr;
    if (int r = CopyEdge(source, *from, target, &e); r < 0) return r;
    if (int r = EdgeGraphInsertEdge(target, e, stamp, mode); r < 0) return r;
  }

  if (int r = EdgeGraphBuildRegions(source); r < 0) return r;
  edges.clear();
  EdgeGraphForEachEdge(target, &grown, [&](Edge* e) { edges.push_back(e); });
  const bool lines_win = (mode & kMergeLinesWin) != 0;
  const bool fills_win = (mode & kMergeFillsWin) != 0;
  for (Edge* e : edges) {
    Point32 mid;
    CurvePointAt(e->curve, kFixedHalf, mid);
    if (e->a.visit != stamp) {
      const Region* region = EdgeGraphFindRegion(source, mid);
      if (!region || StyleIndexOf(region->fill) == 0) continue;
      const int fill = EdgeGraphReindexFill(source, target, region->fill);
      if (fill < 0) return fill;
      if (int r =
              EdgeApplyContextFill(target, e, static_cast<StyleIndex>(fill), fills_win, lines_win);
          r < 0)
        return r;
    } else if (!e->a.fill_context) {
      const FillContext* c = EdgeGraphFindFillContext(target, mid);
      if (!c) continue;
      if (int r = EdgeApplyContextFill(target, e, c->fill, !fills_win, !lines_win); r < 0) return r;
    }
  }
  return 0;
}

}  // namespace

int EdgeGraphMerge(EdgeGraph& source, EdgeGraph& target, int mode) {
  EdgeGraphForgetSelection(target);
  try {
    return Merge(source, target, mode);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}
