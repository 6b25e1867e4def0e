// Clipping to regions and selections, chain and run selection, style
// application and the curve work list.
#include "geometry/edge_graph_outline.h"

#include <algorithm>
#include <new>
#include <unordered_set>
#include <vector>

#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_select.h"
#include "geometry/edge_graph_update.h"
#include "geometry/point_list.h"

namespace {

// ---- Clipping -------------------------------------------------------------------------

// Makes an edge with the curve and fills and links it directly (the edges of
// a temporary graph come from a valid graph and do not cross).
int LinkCurve(EdgeGraph& graph, const QuadCurve& curve, StyleIndex fill_a, StyleIndex fill_b) {
  Edge* e = nullptr;
  if (int r = EdgeGraphNewEdge(curve, &e); r < 0) return r;
  e->a.fill = fill_a;
  e->b.fill = fill_b;
  if (int r = EdgeGraphLinkEdge(graph, e); r < 0) {
    EdgeGraphFreeEdgeRecord(e);
    return r;
  }
  return 0;
}

// Each boundary half-edge of the region becomes an edge in the walk direction:
// the region's side keeps no fill, the far side is tagged outside. An edge
// with the region on both sides separates nothing and is left out.
int CopyBoundary(EdgeGraph& temp, const Region* region) {
  const HalfEdge* start = region->boundary;
  const HalfEdge* h = start;
  while (h) {
    QuadCurve c;
    EdgeGetCurve(h, c);
    if (HalfEdgeTwin(h)->region != h->region)
      if (int r = LinkCurve(temp, c, 0, kFillTagOutside); r < 0) return r;
    h = HalfEdgeNextOnBoundary(h);
    if (h == start) break;
  }
  return 0;
}

// A frame around the rectangle, a quarter of its larger side away, with the
// side facing the rectangle tagged outside.
int AddFrame(EdgeGraph& temp, const Rect32& rect) {
  const int64_t w = int64_t{rect.xmax} - rect.xmin, h = int64_t{rect.ymax} - rect.ymin;
  const int64_t grow = std::max(w, h) / 4;
  auto clamp = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2));
  };
  const Rect32 frame = {clamp(rect.xmin - grow), clamp(rect.xmax + grow), clamp(rect.ymin - grow),
                        clamp(rect.ymax + grow)};
  static constexpr int kCorners[5] = {3, 0, 1, 2, 3};
  for (int i = 0; i < 4; ++i) {
    Point32 p, q;
    RectGetHandlePoint(frame, kCorners[i], p);
    RectGetHandlePoint(frame, kCorners[i + 1], q);
    QuadCurve c;
    CurveFromLine(RoundTo128(p), RoundTo128(q), c);
    if (int r = LinkCurve(temp, c, kFillTagOutside, 0); r < 0) return r;
  }
  return 0;
}

// Clears the outside tag wherever it is left: on regions through the fill
// replacement, then on any half-edge the regions did not cover.
int ClearOutsideTag(EdgeGraph& graph) {
  int result = EdgeGraphReplaceFill(graph, kFillTagOutside, 0);
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
    if (StyleIndexOf(e->a.fill) != kFillTagOutside && StyleIndexOf(e->b.fill) != kFillTagOutside)
      return;
    if (int r = EdgeGraphTouchEdge(graph, e); r < 0) {
      if (result == 0) result = r;
    }
    for (HalfEdge* h : {&e->a, &e->b})
      if (StyleIndexOf(h->fill) == kFillTagOutside) HalfEdgeSetFill(h, 0);
  });
  return result;
}

// Merges the temporary graph into the target (its fills and lines win), then
// clears the outside tag. The tag is cleared even when the merge failed part
// way, so that it never outlives the call.
int MergeAndClear(EdgeGraph& temp, EdgeGraph& graph) {
  const int merged = EdgeGraphMerge(temp, graph, kMergeLinesWin | kMergeFillsWin);
  const int cleared = ClearOutsideTag(graph);
  return merged < 0 ? merged : cleared;
}

// Frees the temporary graph on every exit.
struct TempGraph {
  EdgeGraph graph;
  ~TempGraph() { EdgeGraphFreeAll(graph); }
};

int OutlineRegion(EdgeGraph& graph, Region* region) {
  Rect32 bounds, stroked;
  EdgeGraphGetBounds(graph, false, bounds, stroked);
  if (bounds.IsEmpty()) return 0;
  TempGraph temp;
  if (int r = EdgeGraphInit(temp.graph); r < 0) return r;

  bool frame = true;
  if (!RegionIsOuter(*region)) {
    // A hole: the area outside it and its sibling holes reaches to infinity,
    // so no frame is needed.
    frame = false;
    for (const Region* s = region; s; s = s->next)
      if (s == region || RectsOverlap(s->bounds, bounds))
        if (int r = CopyBoundary(temp.graph, s); r < 0) return r;
  } else if (RectsOverlap(region->bounds, bounds)) {
    if (int r = CopyBoundary(temp.graph, region); r < 0) return r;
    for (const Region* c = region->first_child; c; c = c->next)
      if (RectsOverlap(c->bounds, bounds))
        if (int r = CopyBoundary(temp.graph, c); r < 0) return r;
  }
  if (frame) {
    // Around both the graph and the region, so that the frame crosses
    // neither.
    Rect32 around;
    RectUnion(bounds, region->bounds, around);
    if (int r = AddFrame(temp.graph, around); r < 0) return r;
  }
  return MergeAndClear(temp.graph, graph);
}

int OutlineGraph(EdgeGraph& graph, EdgeGraph& mask) {
  Rect32 bounds, stroked;
  EdgeGraphGetBounds(graph, false, bounds, stroked);
  if (bounds.IsEmpty()) return 0;
  TempGraph temp;
  if (int r = EdgeGraphInit(temp.graph); r < 0) return r;
  if (int r = EdgeGraphUpdate(mask); r < 0) return r;
  if (int r = EdgeGraphBuildRegions(mask); r < 0) return r;

  auto tag = [](const HalfEdge& h) {
    return h.region && RegionIsSelected(*h.region) ? StyleIndex{0} : kFillTagOutside;
  };
  // The frame also goes round every copied mask edge, so that none crosses it.
  Rect32 around = bounds;
  int result = 0;
  EdgeGraphForEachEdge(mask, nullptr, [&](const Edge* e) {
    const StyleIndex a = tag(e->a), b = tag(e->b);
    if (result < 0 || a == b) return;
    result = LinkCurve(temp.graph, e->curve, a, b);
    Rect32 eb;
    CurveGetBounds(e->curve, eb);
    RectUnion(around, eb, around);
  });
  if (result < 0) return result;
  if (int r = AddFrame(temp.graph, around); r < 0) return r;
  if (int r = MergeAndClear(temp.graph, graph); r < 0) return r;
  return EdgeGraphUpdate(graph);
}

// ---- Runs of edges ------------------------------------------------------------------------

// The other half-edge of a vertex with exactly two; null otherwise.
HalfEdge* OtherOfTwo(const Vertex* v, const HalfEdge* h) {
  const HalfEdge* first = v->ring;
  if (!first || !first->ring_next || first->ring_next->ring_next) return nullptr;
  return const_cast<HalfEdge*>(first == h ? first->ring_next : first);
}

// Walks the run of edges through `start` joined at vertices that pass
// `vertex_ok` (each with two half-edges) by edges that pass `edge_ok`: first
// backwards to the run's first edge, then forwards from it, visiting each
// edge once. A closed run is visited once round.
template <class VertexOk, class EdgeOk, class Visit>
int WalkRun(const EdgeGraph& graph, Edge* start, VertexOk vertex_ok, EdgeOk edge_ok, Visit visit) {
  const uint64_t limit = uint64_t{graph.edge_count} + 1;
  HalfEdge* h = &start->a;
  for (uint64_t n = 0; n < limit && h->vertex && vertex_ok(h->vertex); ++n) {
    HalfEdge* other = OtherOfTwo(h->vertex, h);
    if (!other) break;
    HalfEdge* previous = HalfEdgeTwin(other);  // runs into the vertex
    if (previous->edge == start || !edge_ok(previous->edge)) break;
    h = previous;
  }
  const Edge* first = h->edge;
  for (uint64_t n = 0; n < limit; ++n) {
    if (int r = visit(h->edge); r < 0) return r;
    const HalfEdge* end = HalfEdgeTwin(h);
    if (!end->vertex || !vertex_ok(end->vertex)) break;
    HalfEdge* next = OtherOfTwo(end->vertex, end);
    if (!next || next->edge == first || !edge_ok(next->edge)) break;
    h = next;
  }
  return 0;
}

int ApplyLine(EdgeGraph& graph, int flags, LineStyle& style) {
  const bool all = (flags & kStyleAllEdges) != 0;
  if (!(flags & kStyleApply)) {
    style = LineStyle{};
    bool found = false;
    EdgeGraphForEachEdge(graph, nullptr, [&](const Edge* e) {
      if (found || !(all || EdgeHasSelectedLine(*e))) return;
      EdgeGraphGetLineStyle(graph, e->line, style);
      found = true;
    });
    return 0;
  }
  const int index = EdgeGraphAddLineStyle(graph, style);
  if (index < 0) return index;
  EdgeGraphForgetSelection(graph);
  int result = 0;
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
    if (result < 0 || !(all || EdgeHasSelectedLine(*e)) || StyleIndexOf(e->line) == index) return;
    result = EdgeGraphTouchEdge(graph, e);
    if (result == 0)
      e->line =
          index == 0 ? StyleIndex{0} : static_cast<StyleIndex>(index | (e->line & kStyleSelected));
  });
  return result;
}

int ApplyFill(EdgeGraph& graph, int flags, FillStyle& style) {
  const bool all = (flags & kStyleAllEdges) != 0;
  const bool apply = (flags & kStyleApply) != 0;
  int index = 0;
  if (apply) {
    index = EdgeGraphAddFillStyle(graph, style);
    if (index < 0) return index;
  } else {
    style = FillStyle{};
  }
  RegionIter it;
  if (int r = RegionIterInit(it, graph); r < 0) return r;
  while (Region* region = RegionIterNext(it)) {
    if (!RegionIsOuter(*region) || !(all || RegionIsSelected(*region))) continue;
    if (!apply) {
      EdgeGraphGetFillStyle(graph, region->fill, style);
      return 0;
    }
    const StyleIndex fill = index == 0
                                ? StyleIndex{0}
                                : static_cast<StyleIndex>(index | (region->fill & kStyleSelected));
    if (int r = RegionSetFill(region, fill); r < 0) return r;
  }
  return 0;
}

// ---- Curve work list ------------------------------------------------------------------

constexpr uint32_t kWorkListMarker = 0xAEAEAEAE;
constexpr int32_t kWorkListChunk = 64;
constexpr int kProbeCount = 16;
constexpr int32_t kProbeDistance = 512;
constexpr int32_t kProbeClearance = 256;

// The probe of a boundary half-edge: from the middle of its curve, 512 units
// along the perpendicular of the tangent there.
bool ProbeOf(const HalfEdge* h, Point32& out) {
  QuadCurve c, first, second;
  EdgeGetCurve(h, c);
  CurveSplitHalf(c, first, second);
  const Point32 joint = first.p2;
  const Point32 tangent = {second.control.x - joint.x, second.control.y - joint.y};
  if (tangent.x == 0 && tangent.y == 0) return false;
  // Turned a quarter towards the right of the walk, where its region lies.
  Point32 normal = {tangent.y, -tangent.x};
  VectorSetLength(normal, kProbeDistance);
  out = {joint.x + normal.x, joint.y + normal.y};
  return true;
}

}  // namespace

int EdgeGraphOutlineRegion(EdgeGraph& graph, Region* region) {
  if (!region) return 0;
  try {
    return OutlineRegion(graph, region);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int EdgeGraphOutlineGraph(EdgeGraph& graph, EdgeGraph& mask) {
  try {
    return OutlineGraph(graph, mask);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int EdgeWalkChain(EdgeGraph& graph, Edge* edge, bool on) {
  return WalkRun(
      graph, edge, [](const Vertex* v) { return (v->flags & kVertexSmooth) != 0; },
      [](const Edge*) { return true; }, [&](Edge* e) { return EdgeSetLineSelected(graph, e, on); });
}

int EdgeGraphSelectConnectedLine(EdgeGraph& graph, Edge* edge, bool on) {
  if (!edge->a.vertex) return 0;
  const StyleIndex line = StyleIndexOf(edge->line);
  const uint32_t stamp = EdgeGraphNextStamp();
  try {
    // The stack grows as needed: a large network is selected whole.
    std::vector<Vertex*> stack{edge->a.vertex};
    while (!stack.empty()) {
      Vertex* v = stack.back();
      stack.pop_back();
      for (HalfEdge* h = v->ring; h; h = h->ring_next) {
        if (h->visit == stamp || StyleIndexOf(h->edge->line) != line) continue;
        HalfEdge* twin = HalfEdgeTwin(h);
        h->visit = twin->visit = stamp;
        if (int r = EdgeSetLineSelected(graph, h->edge, on); r < 0) return r;
        stack.push_back(twin->vertex);
      }
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int RegionSelectWithEdges(Region* region, bool on) {
  EdgeGraph& graph = *region->graph;
  try {
    std::vector<Region*> work{region};
    while (!work.empty()) {
      Region* r = work.back();
      work.pop_back();
      if (int rc = RegionSetSelected(r, on); rc < 0) return rc;
      const HalfEdge* start = r->boundary;
      for (const HalfEdge* h = start; h;) {
        if (int rc = EdgeSetLineSelected(graph, h->edge, on); rc < 0) return rc;
        h = HalfEdgeNextOnBoundary(h);
        if (h == start) break;
      }
      for (Region* c = r->first_child; c; c = c->next) work.push_back(c);
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int EdgeApplyLineToRun(EdgeGraph& graph, Edge* edge, StyleIndex line) {
  const StyleIndex value = edge->line;
  EdgeGraphForgetSelection(graph);
  return WalkRun(
      graph, edge, [](const Vertex*) { return true; },
      [&](const Edge* e) { return e->line == value; },
      [&](Edge* e) {
        if (int r = EdgeGraphTouchEdge(graph, e); r < 0) return r;
        e->line = static_cast<StyleIndex>(StyleIndexOf(line) | (e->line & kStyleSelected));
        return 0;
      });
}

int EdgeGraphApplyLineStyle(EdgeGraph& graph, int flags, LineStyle& style) {
  return ApplyLine(graph, flags, style);
}

int EdgeGraphApplyFillStyle(EdgeGraph& graph, int flags, FillStyle& style) {
  try {
    return ApplyFill(graph, flags, style);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

void RegionGetTransformedBounds(const Region* region, const Matrix2x3& matrix, Rect32& out) {
  RectSetEmpty(out);
  const HalfEdge* start = region->boundary;
  for (const HalfEdge* h = start; h;) {
    QuadCurve twips, mapped;
    CurveShift(h->edge->curve, ShiftRight(8), twips);
    CurveTransform(twips, matrix, mapped);
    Rect32 b;
    CurveGetBounds(mapped, b);
    RectUnion(out, b, out);
    h = HalfEdgeNextOnBoundary(h);
    if (h == start) break;
  }
}

CurveWorkList::CurveWorkList() {
  pool_.Init(sizeof(Node), kWorkListChunk, 1, kWorkListMarker);
}

CurveWorkList::~CurveWorkList() {
  pool_.FreeAll();
}

CurveWorkList::Node* CurveWorkList::Add(const QuadCurve& curve) {
  Node* node = static_cast<Node*>(pool_.Alloc());
  if (!node) return nullptr;
  node->next = head;
  node->curve = curve;
  head = node;
  return node;
}

int CurveWorkList::AddPointList(const PointList& path) {
  PointListIter iter;
  PointListIterInit(path, iter);
  QuadCurve c;
  int result = 0;
  while (PointListIterNext(iter, c)) {
    QuadCurve shifted;
    CurveShift(c, ShiftLeft(8), shifted);
    if (!Add(shifted)) result = -1;
  }
  return result;
}

bool CurveWorkList::ContainsPoint(const Point32& point) const {
  int64_t sum = 0;
  for (const Node* n = head; n; n = n->next)
    sum += fill_rule != FillRule::kNonZero ? CurveRayCrossings(n->curve, point, 0)
                                           : CurveRayWinding(n->curve, point);
  return fill_rule != FillRule::kNonZero ? (sum & 1) != 0 : sum != 0;
}

int CurveWorkList::FillCoveredRegions(EdgeGraph& graph, StyleIndex fill) {
  try {
    RegionIter it;
    if (int r = RegionIterInit(it, graph); r < 0) return r;
    while (Region* region = RegionIterNext(it)) {
      if (!RegionIsOuter(*region) || !region->boundary) continue;
      // The first probe inside the region and clear of every edge, else the
      // last one tried.
      bool found = false, any = false;
      Point32 probe{};
      const HalfEdge* start = region->boundary;
      const HalfEdge* h = start;
      for (int i = 0; i < kProbeCount && h && !found; ++i) {
        Point32 p;
        if (ProbeOf(h, p)) {
          probe = p;
          any = true;
          found = RegionContainsPoint(region, p) &&
                  !EdgeGraphNearestEdge(graph, p, kProbeClearance, nullptr, nullptr);
        }
        h = HalfEdgeNextOnBoundary(h);
        if (h == start) break;
      }
      if (any && ContainsPoint(probe))
        if (int r = RegionSetFill(region, fill); r < 0) return r;
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}
