// Selection marks, deleting and copying the selection, lasso selection and
// copying a region subtree.
#include "geometry/edge_graph_select.h"

#include <new>
#include <vector>

#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_region.h"
#include "geometry/path.h"
#include "geometry/point_list.h"

namespace {

constexpr StyleIndex kLassoInside = kStyleSelected;  // selected, no fill

std::vector<Edge*> CollectEdges(const EdgeGraph& graph, const Rect32* rect) {
  std::vector<Edge*> edges;
  edges.reserve(rect ? 64 : graph.edge_count);
  EdgeGraphForEachEdge(graph, rect, [&](Edge* e) { edges.push_back(e); });
  return edges;
}

int StyleCopy(const EdgeGraph& source, EdgeGraph& target, StyleIndex s, bool fill) {
  if (!StyleIsSelected(s)) return 0;
  return fill ? EdgeGraphReindexFill(source, target, s) : EdgeGraphReindexLine(source, target, s);
}

}  // namespace

bool VertexHasSelectedEdge(const Vertex& v) {
  for (const HalfEdge* h = v.ring; h; h = h->ring_next)
    if (EdgeIsSelected(*h->edge)) return true;
  return false;
}

bool EdgeGraphHasSelection(EdgeGraph& graph) {
  if (!(graph.flags & kGraphSelectionValid)) {
    bool any = false;
    EdgeIter it;
    EdgeIterInit(it, graph.grid, 0, nullptr);
    while (!any)
      if (void* head = GridIterAdvance(it)) {
        for (const Edge* e = static_cast<Edge*>(head); e && !any;
             e = static_cast<Edge*>(e->grid_next))
          any = EdgeIsSelected(*e);
      } else {
        break;
      }
    graph.flags = static_cast<uint16_t>((graph.flags & ~kGraphHasSelection) | kGraphSelectionValid |
                                        (any ? kGraphHasSelection : 0));
  }
  return (graph.flags & kGraphHasSelection) != 0;
}

int EdgeSetLineSelected(EdgeGraph& graph, Edge* edge, bool on) {
  if (StyleIndexOf(edge->line) == 0 || StyleIsSelected(edge->line) == on) return 0;
  if (int r = EdgeGraphTouchEdge(graph, edge); r < 0) return r;
  EdgeGraphForgetSelection(graph);
  edge->line = static_cast<StyleIndex>(on ? edge->line | kStyleSelected : StyleIndexOf(edge->line));
  return 0;
}

int RegionSetSelected(Region* region, bool on) {
  StyleIndex fill = StyleIndexOf(region->fill);
  if (fill != 0 && on) fill |= kStyleSelected;
  return RegionSetFill(region, fill);
}

int EdgeGraphSetSelected(EdgeGraph& graph, bool on) {
  int result = 0;
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
    if (result == 0) result = EdgeSetLineSelected(graph, e, on);
  });
  if (result < 0) return result;
  RegionIter it;
  if (int r = RegionIterInit(it, graph); r < 0) return r;
  while (Region* region = RegionIterNext(it))
    if (int r = RegionSetSelected(region, on); r < 0) return r;
  return 0;
}

void HalfEdgeSetFill(HalfEdge* h, StyleIndex fill) {
  if (h->fill == fill) return;
  if (h->region) {
    EdgeGraphForgetSelection(*h->region->graph);
    RegionFree(*h->region->graph, h->region);
  }
  h->fill = fill;
}

int EdgeGraphDeleteSelected(EdgeGraph& graph) {
  if (!EdgeGraphHasSelection(graph)) return 0;
  if (int r = EdgeGraphBuildRegions(graph); r < 0) return r;
  int result = 0;
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
    if (result < 0 || !EdgeHasSelectedLine(*e)) return;
    result = EdgeGraphTouchEdge(graph, e);
    if (result == 0) e->line = 0;
  });
  if (result < 0) return result;
  RegionIter it;
  if (int r = RegionIterInit(it, graph); r < 0) return r;
  while (Region* region = RegionIterNext(it))
    if (RegionIsOuter(*region) && RegionIsSelected(*region))
      if (int r = RegionSetFill(region, 0); r < 0) return r;
  return EdgeGraphSetSelected(graph, false);
}

int EdgeGraphCopySelected(EdgeGraph& source, EdgeGraph& target) {
  if (!EdgeGraphHasSelection(source)) return 0;
  EdgeGraphForgetSelection(target);
  try {
    if (int r = EdgeGraphBuildRegions(source); r < 0) return r;
    const uint32_t stamp = EdgeGraphNextStamp();
    const bool direct = target.edge_count == 0;
    for (const Edge* from : CollectEdges(source, nullptr)) {
      if (!EdgeIsSelected(*from)) continue;
      const int line = StyleCopy(source, target, from->line, false);
      const int fill_a = StyleCopy(source, target, from->a.fill, true);
      const int fill_b = StyleCopy(source, target, from->b.fill, true);
      if (line < 0 || fill_a < 0 || fill_b < 0) return -1;
      Edge* e = nullptr;
      if (int r = EdgeGraphNewEdge(from->curve, &e); r < 0) return r;
      e->line = static_cast<StyleIndex>(line);
      e->a.fill = static_cast<StyleIndex>(fill_a);
      e->b.fill = static_cast<StyleIndex>(fill_b);
      if (direct) {
        EdgeCopyUnsplitMark(*from, *e);
        if (int r = EdgeGraphLinkEdge(target, e); r < 0) {
          EdgeGraphFreeEdgeRecord(e);
          return r;
        }
      } else if (int r = EdgeGraphInsertEdge(target, e, stamp, kPrecedenceLine | kPrecedenceFill);
                 r < 0) {
        return r;
      }
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

namespace {

int LassoSelect(EdgeGraph& graph, const PointList& path) {
  Rect32 bounds;
  PointListGetBounds(path, bounds);
  if (bounds.IsEmpty()) return 0;
  RectShift(bounds, ShiftLeft(8), bounds);

  // 1. The lasso's own graph: inside its contours 0x8000, outside 0.
  EdgeGraph lasso;
  if (EdgeGraphInit(lasso, &bounds) < 0) return -1;
  if (int r = EdgeGraphAddPath(lasso, path, 0, 0, 0); r < 0) return r;
  if (int r = EdgeGraphPaintRegions(lasso, kLassoInside, false); r < 0) return r;

  // 2. The fill contexts of the target.
  FillContextScope contexts(graph);
  if (int r = EdgeGraphBuildFillContexts(graph); r < 0) return r;

  // 3. The lasso cuts the target; where it runs along an edge only its
  // selection marks are added.
  for (const Edge* from : CollectEdges(lasso, nullptr)) {
    Edge* e = nullptr;
    if (int r = EdgeGraphNewEdge(from->curve, &e); r < 0) return r;
    if (int r = EdgeCopyStylesReindexed(lasso, *from, graph, *e); r < 0) {
      EdgeGraphFreeEdgeRecord(e);
      return r;
    }
    if (int r = EdgeGraphInsertEdge(graph, e, 0, 0); r < 0) return r;
  }

  // 4. Select what lies inside; keep the lasso's pieces only inside fills.
  if (int r = EdgeGraphBuildRegions(graph); r < 0) return r;
  for (Edge* e : CollectEdges(graph, &bounds)) {
    Rect32 eb;
    CurveGetBounds(e->curve, eb);
    if (!RectsOverlap(eb, bounds)) continue;
    Point32 mid;
    CurvePointAt(e->curve, kFixedHalf, mid);
    if (e->a.fill_context || e->b.fill_context) {
      Point32 twips;
      PointShift(mid, ShiftRight(8), twips);
      if (!ShapeContainsPoint(path, twips)) continue;
      if (StyleIndexOf(e->line) != 0 && !StyleIsSelected(e->line)) {
        if (int r = EdgeSetLineSelected(graph, e, true); r < 0) return r;
      }
      if (int r = EdgeGraphTouchEdge(graph, e); r < 0) return r;
      for (HalfEdge* h : {&e->a, &e->b})
        if (StyleIndexOf(h->fill) != 0) HalfEdgeSetFill(h, h->fill | kStyleSelected);
    } else {
      const FillContext* c = EdgeGraphFindFillContext(graph, mid);
      if (c && StyleIndexOf(c->fill) != 0) {
        if (int r = EdgeGraphTouchEdge(graph, e); r < 0) return r;
        for (HalfEdge* h : {&e->a, &e->b})
          HalfEdgeSetFill(
              h, static_cast<StyleIndex>(StyleIndexOf(c->fill) | (h->fill & kStyleSelected)));
      } else if (int r = EdgeGraphDeleteEdge(graph, e); r < 0) {
        return r;
      }
    }
  }
  return 0;
}

}  // namespace

int EdgeGraphLassoSelect(EdgeGraph& graph, const PointList& path) {
  EdgeGraphForgetSelection(graph);
  try {
    return LassoSelect(graph, path);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int EdgeGraphCopyRegion(Region* region, EdgeGraph& target) {
  EdgeGraph& source = *region->graph;
  const uint32_t stamp = EdgeGraphNextStamp();
  try {
    std::vector<Region*> work{region};
    while (!work.empty()) {
      Region* r = work.back();
      work.pop_back();
      HalfEdge* start = r->boundary;
      HalfEdge* h = start;
      do {
        h->visit = stamp;
        if (HalfEdgeTwin(h)->visit != stamp) {
          Edge* e = nullptr;
          if (int rc = EdgeGraphNewEdge(h->edge->curve, &e); rc < 0) return rc;
          EdgeCopyUnsplitMark(*h->edge, *e);
          int rc = EdgeCopyStylesReindexed(source, *h->edge, target, *e);
          if (rc == 0) rc = EdgeGraphLinkEdge(target, e);
          if (rc < 0) {
            EdgeGraphFreeEdgeRecord(e);
            return rc;
          }
        }
        h = HalfEdgeNextOnBoundary(h);
      } while (h && h != start);
      // Children before the region's own later siblings: the stack takes the
      // next sibling first, then the first child on top of it.
      if (r != region && r->next) work.push_back(r->next);
      if (r->first_child) work.push_back(r->first_child);
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}
