// The tidy-up after an edit, with its companions: joining collinear edges,
// loose ends, the nearest edge and the bounds of a graph.
#include "geometry/edge_graph_update.h"

#include <algorithm>
#include <new>
#include <vector>

#include "geometry/edge_graph_cleanup.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_select.h"

namespace {

constexpr int32_t kUpdateTolerance = 1280;  // five twips

int RingSize(const Vertex* v) {
  int n = 0;
  for (const HalfEdge* h = v->ring; h; h = h->ring_next) ++n;
  return n;
}

Edge* NearestEdge(const EdgeGraph& graph, const Point32& point, int32_t radius,
                  const Edge* excluded, Point32* out, Fixed* t_out) {
  auto clamp = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN + 1, INT32_MAX));
  };
  const Rect32 rect = {clamp(int64_t{point.x} - radius), clamp(int64_t{point.x} + radius),
                       clamp(int64_t{point.y} - radius), clamp(int64_t{point.y} + radius)};
  int64_t best = int64_t{radius} + 1;
  Edge* found = nullptr;
  EdgeGraphForEachEdge(graph, &rect, [&](Edge* e) {
    if (e == excluded) return;
    Point32 q;
    const Fixed t = CurveNearestPoint(e->curve, point,
                                      static_cast<int32_t>(std::min<int64_t>(best, INT32_MAX)), &q);
    if (t < 0) return;
    const int64_t d = PointDistance(q, point);
    if (d >= best) return;
    best = d;
    found = e;
    if (out) *out = q;
    if (t_out) *t_out = t;
  });
  return found;
}

// The curve with new ends; a straight curve stays straight.
void MoveEnds(QuadCurve& c, const Point32& p0, const Point32& p2) {
  if (c.straight)
    CurveFromLine(p0, p2, c);
  else
    CurveMoveEnds(c, p0, p2, c);
}

// Two straight edges with the same line meeting at a vertex of degree 2 in
// nearly a straight line become one.
int JoinStraight(EdgeGraph& graph, Vertex* v, int32_t join_limit) {
  HalfEdge* h1 = v->ring;
  HalfEdge* h2 = h1->ring_next;
  Edge* e1 = h1->edge;
  Edge* e2 = h2->edge;
  if (e1 == e2 || !e1->curve.straight || !e2->curve.straight || e1->line != e2->line) return 0;
  QuadCurve c1, c2;  // the first ends at the vertex, the second starts there
  EdgeGetCurve(HalfEdgeTwin(h1), c1);
  EdgeGetCurve(h2, c2);
  const int32_t tol =
      std::min({join_limit, PointDistance(c1.p0, c1.p2) / 16, PointDistance(c2.p0, c2.p2) / 16});
  QuadCurve joined;
  if (!CurveMergeStraight(c1, c2, tol, joined)) return 0;
  Edge* e = nullptr;
  if (int r = EdgeGraphNewEdge(joined, &e); r < 0) return r;
  e->line = e1->line;
  e->a.fill = HalfEdgeTwin(h1)->fill;
  e->b.fill = h1->fill;
  if (int r = EdgeGraphDeleteEdge(graph, e1); r < 0) {
    EdgeGraphFreeEdgeRecord(e);
    return r;
  }
  if (int r = EdgeGraphDeleteEdge(graph, e2); r < 0) {
    EdgeGraphFreeEdgeRecord(e);
    return r;
  }
  return EdgeGraphInsertEdge(graph, e, 0, kPrecedenceLine | kPrecedenceFill);
}

// A loose end: a short edge goes, a longer one ends on the nearest edge
// within the snap radius.
int ResolveLooseEnd(EdgeGraph& graph, Vertex* v, int32_t short_limit, int32_t snap_radius) {
  HalfEdge* h = v->ring;
  Edge* e = h->edge;
  if (PointDistance(e->curve.p0, e->curve.p2) < short_limit) return EdgeGraphDeleteEdge(graph, e);
  Fixed t = 0;
  Edge* other = NearestEdge(graph, v->position, snap_radius, e, nullptr, &t);
  if (!other) return 0;
  QuadCurve o1, o2;
  CurveSplit(other->curve, t, o1, o2);
  const Point32 split = RoundTo128(o1.p2);
  if (split != other->curve.p0 && split != other->curve.p2) {
    MoveEnds(o1, o1.p0, split);
    MoveEnds(o2, split, o2.p2);
    Edge* piece = nullptr;
    if (int r = EdgeGraphNewEdge(o2, &piece); r < 0) return r;
    piece->line = other->line;
    piece->a.fill = other->a.fill;
    piece->b.fill = other->b.fill;
    if (int r = EdgeGraphUnlinkEdge(graph, other); r < 0) {
      EdgeGraphFreeEdgeRecord(piece);
      return r;
    }
    // The pieces go back through insertion rather than straight into the
    // rings: the rounded split point moves them a little, which can make
    // them cross an edge passing close by.
    other->curve = o1;
    if (int r = EdgeGraphInsertEdge(graph, other, 0, kPrecedenceLine | kPrecedenceFill); r < 0) {
      EdgeGraphFreeEdgeRecord(piece);
      return r;
    }
    if (int r = EdgeGraphInsertEdge(graph, piece, 0, kPrecedenceLine | kPrecedenceFill); r < 0)
      return r;
  }
  if (int r = EdgeGraphUnlinkEdge(graph, e); r < 0) return r;
  const bool at_start = e->curve.p0 == v->position;
  MoveEnds(e->curve, at_start ? split : e->curve.p0, at_start ? e->curve.p2 : split);
  return EdgeGraphInsertEdge(graph, e, 0, kPrecedenceLine | kPrecedenceFill);
}

int ReinsertMoved(EdgeGraph& graph) {
  std::vector<Edge*> moved;
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
    if (e->flags & kEdgeMoved) moved.push_back(e);
  });
  for (Edge* e : moved)
    if (int r = EdgeGraphUnlinkEdge(graph, e); r < 0) return r;
  EdgeGraphFreeEmptyVertices(graph);
  int result = 0;
  for (Edge* e : moved) {
    e->flags &= static_cast<uint16_t>(~kEdgeMoved);
    if (e->flags & kEdgeMirrored) {
      std::swap(e->a.fill, e->b.fill);
      e->flags &= static_cast<uint16_t>(~kEdgeMirrored);
    }
    // After a failure the rest are still put back, so that no edge is lost.
    const int r = EdgeGraphInsertEdge(graph, e, 0, kPrecedenceLine | kPrecedenceFill);
    if (result == 0) result = r;
  }
  graph.flags &= static_cast<uint16_t>(~kGraphMovedEdges);
  return result;
}

// Holes take the fill of the region they are holes of; every region's fill
// is written on its whole boundary.
int SettleFills(EdgeGraph& graph) {
  RegionIter it;
  if (int r = RegionIterInit(it, graph); r < 0) return r;
  Region* parent = nullptr;
  while (Region* region = RegionIterNext(it, &parent)) {
    const StyleIndex wanted = RegionIsOuter(*region) ? region->fill : (parent ? parent->fill : 0);
    if (!(region->flags & kRegionFillFixed) || region->fill != wanted)
      if (int r = RegionSetFillOne(region, wanted); r < 0) return r;
  }
  return 0;
}

int Update(EdgeGraph& graph) {
  if (graph.flags & kGraphMovedEdges)
    if (int r = ReinsertMoved(graph); r < 0) return r;
  if (!graph.changed.IsEmpty()) {
    if (int r = EdgeGraphBuildRegions(graph); r < 0) return r;
    if (int r = SettleFills(graph); r < 0) return r;
    const Rect32 area = graph.changed;
    std::vector<Edge*> plain;
    EdgeGraphForEachEdge(graph, &area, [&](Edge* e) {
      Rect32 hull;
      CurveGetHullBounds(e->curve, hull);
      if (StyleIndexOf(e->line) == 0 && e->a.fill == e->b.fill && RectsOverlap(hull, area))
        plain.push_back(e);
    });
    for (Edge* e : plain)
      if (int r = EdgeGraphDeleteEdge(graph, e); r < 0) return r;
    if (int r = EdgeGraphResolveCrossings(graph, kUpdateTolerance, kUpdateTolerance,
                                          kUpdateTolerance, graph.changed);
        r < 0)
      return r;
    if (int r = EdgeGraphCleanup(graph); r < 0) return r;
    RectSetEmpty(graph.changed);
  }
  EdgeGraphFreeEmptyVertices(graph);
  if (graph.grid.root) SpatialGridPrune(graph.grid.root);
  return 0;
}

}  // namespace

Edge* EdgeGraphNearestEdge(const EdgeGraph& graph, const Point32& point, int32_t radius,
                           const Edge* excluded, Point32* out) {
  return NearestEdge(graph, point, radius, excluded, out, nullptr);
}

void EdgeGraphGetBounds(const EdgeGraph& graph, bool selected_only, Rect32& tight,
                        Rect32& stroked) {
  RectSetEmpty(tight);
  RectSetEmpty(stroked);
  EdgeGraphForEachEdge(graph, nullptr, [&](const Edge* e) {
    if (selected_only && !EdgeIsSelected(*e)) return;
    Rect32 b;
    CurveGetBounds(e->curve, b);
    RectUnion(tight, b, tight);
    EdgeGetStrokedBounds(graph, *e, b);
    RectUnion(stroked, b, stroked);
  });
}

int EdgeGraphResolveCrossings(EdgeGraph& graph, int32_t short_limit, int32_t snap_radius,
                              int32_t join_limit, const Rect32& rect) {
  if (rect.IsEmpty()) return 0;
  try {
    std::vector<Vertex*> vertices;
    EdgeGraphForEachVertex(graph, &rect, [&](Vertex* v) {
      if (v->ring && RectContainsPoint(rect, v->position)) vertices.push_back(v);
    });
    // Vertices are only freed by EdgeGraphFreeEmptyVertices, so every one
    // collected stays valid; its ring is looked at as it is when its turn comes.
    for (Vertex* v : vertices) {
      int r = 0;
      switch (RingSize(v)) {
        case 1:
          r = ResolveLooseEnd(graph, v, short_limit, snap_radius);
          break;
        case 2:
          r = JoinStraight(graph, v, join_limit);
          break;
        default:
          break;
      }
      if (r < 0) return r;
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int EdgeGraphUpdate(EdgeGraph& graph) {
  try {
    return Update(graph);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}
