// Fill contexts and the merge of one edge graph into another.
#include "geometry/edge_graph_merge.h"

#include <algorithm>
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

void PointBoundary(Region* r, FillContext* c) {
  HalfEdge* start = r->boundary;
  HalfEdge* h = start;
  do {
    h->fill_context = c;
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
    PointBoundary(region, own);
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

FillContext* EdgeGraphFindFillContext(const EdgeGraph& graph, const Point32& point) {
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
