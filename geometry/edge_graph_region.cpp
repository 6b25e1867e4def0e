// Region building: the boundary walk, the fill tally, outer and hole
// classification, the containment tree, and the point queries on regions.
#include "geometry/edge_graph_region.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <new>

#include "geometry/edge_graph_cleanup.h"
#include "geometry/pool.h"

namespace {

constexpr int kTallySize = 16;              // distinct fill values counted per region
constexpr int kDirectPointTestLength = 20;  // longer boundaries use the grid
constexpr int kCurveSplits = 9;             // halvings when classifying at a curve
constexpr Fixed kAngleWrapLimit = 0x3FFFF;  // directions up to ~4 degrees count as ~360
// Builds of at least this many half-edges into graphs of at least this many
// edges use a RegionIndex rather than walking sibling lists.
constexpr size_t kIndexedBuild = 32;
constexpr uint32_t kIndexedGraph = 1024;
int g_index_mode = kRegionIndexBySize;

void AddRect(Rect32& to, const Rect32& r) {
  RectUnion(to, r, to);
}

// RectsOverlap for non-empty rectangles, inline: the tree insertion tests
// long sibling lists.
inline bool BoundsOverlap(const Rect32& a, const Rect32& b) {
  return a.xmin <= b.xmax && b.xmin <= a.xmax && a.ymin <= b.ymax && b.ymin <= a.ymax;
}

HalfEdge* RingPredecessor(const Vertex* v, const HalfEdge* h) {
  HalfEdge* last = v->ring;
  if (v->ring == h) {
    while (last->ring_next) last = last->ring_next;
    return last;
  }
  for (HalfEdge* g = v->ring; g; g = g->ring_next)
    if (g->ring_next == h) return g;
  return nullptr;
}

int64_t WrappedAngle(const HalfEdge* h) {
  QuadCurve c;
  EdgeGetCurve(h, c);
  const int64_t a = CurveTangentAngle(c, 0);
  return a <= kAngleWrapLimit ? a + kAngle360 : a;
}

// Classifies by the half-edges of the region leaving its topmost vertex: the
// walk keeps its face on the right, so at the top an outer boundary turns
// clockwise from its incoming direction and a hole counter-clockwise.
bool OuterAtVertex(const Region* r, const Vertex* v) {
  for (const HalfEdge* g = v->ring; g; g = g->ring_next) {
    if (g->region != r) continue;
    const HalfEdge* pred = RingPredecessor(v, g);
    if (!pred || pred == g || pred == HalfEdgeTwin(g)) return false;  // a loose end
    if (WrappedAngle(g) < WrappedAngle(pred)) return false;
  }
  return true;
}

// Classifies by the curve whose bulge is the region's topmost point: running
// left to right over the top leaves the face below, on the right.
bool OuterAtCurve(QuadCurve c) {
  for (int i = 0;; ++i) {
    const int32_t s = c.p0.x, k = c.control.x, e = c.p2.x;
    if (s != e) {
      if (s <= k && k <= e) return true;
      if (s >= k && k >= e) return false;
    }
    if (i == kCurveSplits) return s < e;
    QuadCurve h1, h2;
    CurveSplitHalf(c, h1, h2);
    const int32_t y1 = CurveAxisExtremum(h1.p0.y, h1.control.y, h1.p2.y);
    const int32_t y2 = CurveAxisExtremum(h2.p0.y, h2.control.y, h2.p2.y);
    c = std::max({h1.p0.y, h1.p2.y, y1}) >= std::max({h2.p0.y, h2.p2.y, y2}) ? h1 : h2;
  }
}

void Classify(Region* r) {
  const HalfEdge* start = r->boundary;
  const HalfEdge* h = start;
  bool empty = true;
  bool at_vertex = true;
  int32_t best_y = 0;
  const HalfEdge* best = nullptr;
  for (uint64_t n = 0; h; ++n) {
    if (HalfEdgeTwin(h)->region != r) empty = false;
    QuadCurve c;
    EdgeGetCurve(h, c);
    if (!best || c.p0.y > best_y) {
      best_y = c.p0.y;
      best = h;
      at_vertex = true;
    }
    if (!c.straight && c.control.y > c.p0.y && c.control.y > c.p2.y && c.control.y > best_y) {
      const int32_t y = CurveAxisExtremum(c.p0.y, c.control.y, c.p2.y);
      if (y > c.p0.y && y > c.p2.y && y > best_y) {
        best_y = y;
        best = h;
        at_vertex = false;
      }
    }
    h = HalfEdgeNextOnBoundary(h);
    if (h == start || n > 0xFFFFFFFFull) break;
  }
  r->flags &= static_cast<uint16_t>(~(kRegionOuter | kRegionEmpty));
  if (empty) {
    r->flags |= kRegionEmpty;
    return;
  }
  bool outer;
  if (at_vertex) {
    outer = OuterAtVertex(r, best->vertex);
  } else if (HalfEdgeTwin(best)->region == r) {
    outer = false;  // a dangling curve on top: the face lies all round it
  } else {
    QuadCurve c;
    EdgeGetCurve(best, c);
    outer = OuterAtCurve(c);
  }
  if (outer) r->flags |= kRegionOuter;
}

// ---- The region tree ------------------------------------------------------------

Region*& ListHead(EdgeGraph& graph, Region* parent) {
  return parent ? parent->first_child : graph.top_regions;
}

void ClearBridgesAlong(Region* r) {
  HalfEdge* start = r->boundary;
  HalfEdge* h = start;
  do {
    if (h->bridge) {
      h->bridge->bridge = nullptr;
      h->bridge->flags &= static_cast<uint16_t>(~kHalfBridgeEnd);
      h->bridge = nullptr;
      h->flags &= static_cast<uint16_t>(~kHalfBridgeEnd);
    }
    h = HalfEdgeNextOnBoundary(h);
  } while (h && h != start);
}

void ClearBridges(Region* r) {
  if (r->flags & kRegionBridged) RegionClearBridges(r);
}

// While many regions are built into a large tree, an index finds the
// children of a region that overlap given bounds without walking its whole
// sibling list, and the last child of every list. It lives for one build:
// each region's `index_node` holds its node number until then.
class RegionIndex {
 public:
  ~RegionIndex() {
    for (Node& n : nodes_) n.region->index_node = 0;
  }

  int Build(EdgeGraph& graph) {
    if (!graph.grid.root || SpatialGridInit(grid_, graph.grid.root->bounds, kDepth) < 0) return -1;
    // Pre-order numbers keep every sibling list in ascending order.
    std::vector<std::pair<Region*, Region*>> work;  // region, parent
    for (Region* r = graph.top_regions; r; r = r->next) work.emplace_back(r, nullptr);
    std::reverse(work.begin(), work.end());
    while (!work.empty()) {
      auto [r, parent] = work.back();
      work.pop_back();
      Register(r);
      Place(r, parent);
      const size_t at = work.size();
      for (Region* c = r->first_child; c; c = c->next) work.emplace_back(c, r);
      std::reverse(work.begin() + static_cast<std::ptrdiff_t>(at), work.end());
    }
    return 0;
  }

  // Files a region (in the root when no deeper cell can be made); it takes
  // part in no list until it is placed.
  void Register(Region* r) {
    r->index_node = static_cast<uint32_t>(nodes_.size());
    nodes_.push_back({nullptr, r, r, 0});
    Node& n = nodes_.back();
    GridCell* cell = SpatialGridFindCell(grid_, r->bounds, true);
    n.next = static_cast<Node*>(cell->chain[0]);
    cell->chain[0] = &n;
  }

  // r is (now) the last child of parent.
  void Place(Region* r, Region* parent) {
    Node& n = nodes_[r->index_node];
    n.parent = parent;
    n.seq = ++seq_;
    ++ChildCount(parent);
    if (!r->next) LastChild(parent) = r;
  }

  // r has left parent's list.
  void Left(Region* r, Region* parent) {
    --ChildCount(parent);
    if (LastChild(parent) == r) LastChild(parent) = r->prev;
  }

  // Whether the index, rather than the list itself, should find the
  // children of parent that overlap some bounds.
  bool LongList(Region* parent) {
    return g_index_mode == kRegionIndexAlways || ChildCount(parent) > kShortList;
  }

  Region*& LastChild(Region* parent) {
    return parent ? nodes_[parent->index_node].last_child : top_last_;
  }
  uint32_t& ChildCount(Region* parent) {
    return parent ? nodes_[parent->index_node].children : top_children_;
  }

  // The children of parent whose bounds overlap b, in sibling order.
  void Children(Region* parent, const Rect32& b, std::vector<Region*>& out) {
    out.clear();
    EdgeIter it;
    EdgeIterInit(it, grid_, 0, &b);
    found_.clear();
    while (void* head = GridIterAdvance(it))
      for (const Node* n = static_cast<const Node*>(head); n; n = n->next)
        if (n->parent == parent && BoundsOverlap(n->region->bounds, b))
          found_.emplace_back(n->seq, n->region);
    std::sort(found_.begin(), found_.end());
    for (const auto& [seq, r] : found_) out.push_back(r);
  }

 private:
  static constexpr int kDepth = 8;
  static constexpr uint32_t kShortList = 64;
  struct Node {
    Node* next;  // in the same grid cell
    Region* region;
    Region* parent;
    uint32_t seq;  // ascending along every sibling list
    Region* last_child = nullptr;
    uint32_t children = 0;
  };
  SpatialGrid grid_;
  std::deque<Node> nodes_;
  uint32_t seq_ = 0;
  Region* top_last_ = nullptr;
  uint32_t top_children_ = 0;
  std::vector<std::pair<uint32_t, Region*>> found_;
};

void Detach(EdgeGraph& graph, Region* parent, Region* r, RegionIndex* index) {
  if (parent) ClearBridges(parent);
  if (index) index->Left(r, parent);
  if (r->prev)
    r->prev->next = r->next;
  else
    ListHead(graph, parent) = r->next;
  if (r->next) r->next->prev = r->prev;
  r->parent = r->prev = r->next = nullptr;
}

void Append(EdgeGraph& graph, Region* parent, Region* r, RegionIndex* index) {
  if (parent) ClearBridges(parent);
  Region*& head = ListHead(graph, parent);
  r->next = nullptr;
  if (!head) {
    head = r;
    r->prev = nullptr;
    r->parent = parent;
  } else {
    Region* last = index ? index->LastChild(parent) : head;
    while (last->next) last = last->next;
    last->next = r;
    r->prev = last;
    r->parent = parent;
  }
  if (index) index->LastChild(parent) = r;
}

// Whether some boundary half-edge of the shorter boundary has its twin in the
// other region.
bool ShareEdge(const Region* a, const Region* b) {
  if (a->boundary_length > b->boundary_length) std::swap(a, b);
  const HalfEdge* start = a->boundary;
  const HalfEdge* h = start;
  for (uint64_t n = 0; h; ++n) {
    if (HalfEdgeTwin(h)->region == b) return true;
    h = HalfEdgeNextOnBoundary(h);
    if (h == start || n > 0xFFFFFFFFull) break;
  }
  return false;
}

Point32 BoundaryMidpoint(const Region* r) {
  QuadCurve c;
  EdgeGetCurve(r->boundary, c);
  Point32 p;
  CurvePointAt(c, kFixedHalf, p);
  return p;
}

enum class Relation { kUnrelated, kInside, kContains };  // of the new region to the old

Relation Compare(const Region* r, const Region* c) {
  if (!BoundsOverlap(r->bounds, c->bounds)) return Relation::kUnrelated;
  if (ShareEdge(r, c)) {
    if (RegionIsOuter(*r) && !RegionIsOuter(*c)) return Relation::kInside;
    if (!RegionIsOuter(*r) && RegionIsOuter(*c)) return Relation::kContains;
    return Relation::kUnrelated;
  }
  if (RegionContainsPoint(c, BoundaryMidpoint(r))) return Relation::kInside;
  if (RegionContainsPoint(r, BoundaryMidpoint(c))) return Relation::kContains;
  return Relation::kUnrelated;
}

// Puts a new region where it belongs: under the first region of a list that
// holds it (searching that one's children in turn), taking under itself the
// regions of the list it holds.
void TreeInsert(EdgeGraph& graph, Region* r, RegionIndex* index) {
  if (index) index->Register(r);
  Region* parent = nullptr;
  std::vector<Region*> candidates;
  for (bool descended = true; descended;) {
    descended = false;
    const bool indexed = index && index->LongList(parent);
    if (indexed) index->Children(parent, r->bounds, candidates);
    Region* c = indexed ? (candidates.empty() ? nullptr : candidates[0]) : ListHead(graph, parent);
    for (size_t i = 0; c && !descended;) {
      Region* next = indexed ? (++i < candidates.size() ? candidates[i] : nullptr) : c->next;
      switch (Compare(r, c)) {
        case Relation::kInside:
          parent = c;
          descended = true;
          break;
        case Relation::kContains:
          Detach(graph, parent, c, index);
          Append(graph, r, c, index);
          if (index) index->Place(c, r);
          break;
        case Relation::kUnrelated:
          break;
      }
      c = next;
    }
  }
  Append(graph, parent, r, index);
  if (index) index->Place(r, parent);
}

int NewRegion(EdgeGraph& graph, HalfEdge* h, RegionIndex* index) {
  void* memory = EdgeGraphRegionPool().Alloc();
  if (!memory) return -1;
  Region* r = new (memory) Region;
  r->graph = &graph;
  r->boundary = h;
  struct Tally {
    StyleIndex fill;
    int32_t count;
  } tally[kTallySize];
  int distinct = 0;
  uint32_t length = 0;
  for (HalfEdge* g = h; g && !g->region; g = HalfEdgeNextOnBoundary(g)) {
    g->region = r;
    Rect32 b;
    CurveGetBounds(g->edge->curve, b);
    AddRect(r->bounds, b);
    ++length;
    int i = 0;
    while (i < distinct && tally[i].fill != g->fill) ++i;
    if (i < distinct)
      ++tally[i].count;
    else if (distinct < kTallySize)
      tally[distinct++] = {g->fill, 1};
  }
  // Boundaries longer than the field can count saturate; only "more than 20"
  // is ever asked of the length.
  r->boundary_length = static_cast<uint16_t>(std::min<uint32_t>(length, 0xFFFF));
  int winner = 0;
  for (int i = 1; i < distinct; ++i)
    if (tally[i].count > tally[winner].count) winner = i;
  r->fill = distinct ? tally[winner].fill : 0;
  Classify(r);
  TreeInsert(graph, r, index);
  return 0;
}

}  // namespace

void RegionClearBridges(Region* region) {
  ClearBridgesAlong(region);
  for (Region* c = region->first_child; c; c = c->next) ClearBridgesAlong(c);
  region->flags &= static_cast<uint16_t>(~kRegionBridged);
}

// ---- Walks ------------------------------------------------------------------------

HalfEdge* HalfEdgeNextOnBoundary(const HalfEdge* h) {
  const HalfEdge* twin = HalfEdgeTwin(h);
  if (twin->ring_next) return twin->ring_next;
  return twin->vertex ? twin->vertex->ring : nullptr;
}

Region* RegionGetParent(const Region* region) {
  return region->parent;
}

int EdgeGraphSetRegionIndexMode(int mode) {
  const int previous = g_index_mode;
  g_index_mode = mode;
  return previous;
}

void EdgeGraphResetRegionIndexMode() {
  g_index_mode = kRegionIndexBySize;
}

int32_t EdgeGraphRegionsInUse() {
  int32_t n = 0;
  for (const BlockChunk* c = EdgeGraphRegionPool().oldest; c; c = c->next) n += c->count;
  return n;
}

int EdgeGraphBuildRegions(EdgeGraph& graph) {
  if (graph.rebuild.IsEmpty()) return 0;
  if (int r = EdgeGraphCleanup(graph); r < 0) return r;
  const Rect32 rect = graph.rebuild;
  std::vector<Edge*> edges;
  try {
    EdgeGraphForEachEdge(graph, &rect, [&](Edge* e) { edges.push_back(e); });
  } catch (const std::bad_alloc&) {
    return -1;
  }
  size_t missing = 0;
  for (const Edge* e : edges) missing += !e->a.region + !e->b.region;
  try {
    std::unique_ptr<RegionIndex> index;
    const bool large = missing >= kIndexedBuild && graph.edge_count >= kIndexedGraph;
    if (g_index_mode == kRegionIndexAlways || (g_index_mode == kRegionIndexBySize && large)) {
      index = std::make_unique<RegionIndex>();
      if (int r = index->Build(graph); r < 0) index.reset();  // fall back to the plain walk
    }
    for (Edge* e : edges)
      for (HalfEdge* h : {&e->a, &e->b})
        if (!h->region && h->vertex)
          if (int r = NewRegion(graph, h, index.get()); r < 0) return r;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  RectSetEmpty(graph.rebuild);
  return 0;
}

int RegionIterInit(RegionIter& iter, EdgeGraph& graph) {
  const int r = EdgeGraphBuildRegions(graph);
  iter.graph = &graph;
  iter.next = graph.top_regions;
  iter.stack.clear();
  return r;
}

Region* RegionIterNext(RegionIter& iter, Region** parent) {
  Region* current = iter.next;
  if (!current) return nullptr;
  if (parent) *parent = iter.stack.empty() ? nullptr : iter.stack.back();
  if (current->first_child) {
    try {
      iter.stack.push_back(current);
      iter.next = current->first_child;
      return current;
    } catch (const std::bad_alloc&) {
      // Out of memory for the stack: the children are not visited.
    }
  }
  Region* at = current;
  while (!at->next && !iter.stack.empty()) {
    at = iter.stack.back();
    iter.stack.pop_back();
  }
  iter.next = at->next;
  return current;
}

// ---- Fills --------------------------------------------------------------------------

int RegionSetFillOne(Region* region, StyleIndex fill) {
  EdgeGraphForgetSelection(*region->graph);
  region->flags |= kRegionFillFixed;
  region->fill = fill;
  HalfEdge* start = region->boundary;
  HalfEdge* h = start;
  for (uint64_t n = 0; h; ++n) {
    if (h->fill != fill) {
      if (int r = EdgeGraphTouchEdge(*region->graph, h->edge); r < 0) return r;
      h->fill = fill;
    }
    h = HalfEdgeNextOnBoundary(h);
    if (h == start || n > 0xFFFFFFFFull) break;
  }
  return 0;
}

int RegionSetFill(Region* region, StyleIndex fill) {
  if (int r = RegionSetFillOne(region, fill); r < 0) return r;
  for (Region* c = region->first_child; c; c = c->next)
    if (!RegionIsOuter(*c))
      if (int r = RegionSetFillOne(c, fill); r < 0) return r;
  return 0;
}

int EdgeGraphReplaceFill(EdgeGraph& graph, StyleIndex old_fill, StyleIndex new_fill) {
  RegionIter it;
  if (int r = RegionIterInit(it, graph); r < 0) return r;
  while (Region* region = RegionIterNext(it)) {
    if (StyleIndexOf(region->fill) != StyleIndexOf(old_fill)) continue;
    const StyleIndex fill =
        new_fill == 0 ? 0 : static_cast<StyleIndex>(new_fill | (region->fill & kStyleSelected));
    if (int r = RegionSetFillOne(region, fill); r < 0) return r;
  }
  return 0;
}

int EdgeGraphPaintRegions(EdgeGraph& graph, StyleIndex fill, bool contact) {
  RegionIter it;
  if (int r = RegionIterInit(it, graph); r < 0) return r;
  const Region* first = graph.top_regions;
  while (true) {
    const size_t depth = it.stack.size() + 1;  // of the region returned next
    Region* region = RegionIterNext(it);
    if (!region) break;
    if (!RegionIsOuter(*region)) continue;
    // Depth parity, not crossing parity: the pieces of a self-crossing contour
    // share one depth and are painted alike (see the header).
    const bool paint = contact ? first && ShareEdge(region, first) : (depth & 2) != 0;
    if (paint)
      if (int r = RegionSetFill(region, fill); r < 0) return r;
  }
  return 0;
}

// ---- Point queries -----------------------------------------------------------------

bool RegionContainsPoint(const Region* region, const Point32& point) {
  if (!region || RegionIsEmpty(*region) || !RectContainsPoint(region->bounds, point)) return false;
  int64_t sum = 0;
  if (region->boundary_length <= kDirectPointTestLength) {
    const HalfEdge* start = region->boundary;
    const HalfEdge* h = start;
    for (int n = 0; h && n < kDirectPointTestLength; ++n) {
      sum += CurveRayCrossings(h->edge->curve, point, 0);
      h = HalfEdgeNextOnBoundary(h);
      if (h == start) break;
    }
  } else {
    const Rect32 strip = {point.x, std::max(point.x, region->bounds.xmax), point.y, point.y};
    EdgeGraphForEachEdge(*region->graph, &strip, [&](const Edge* e) {
      const int sides = (e->a.region == region) + (e->b.region == region);
      if (sides == 1) sum += CurveRayCrossings(e->curve, point, 0);
    });
  }
  return (sum & 1) != 0;
}

Region* EdgeGraphFindRegion(EdgeGraph& graph, const Point32& point) {
  if (EdgeGraphBuildRegions(graph) < 0) return nullptr;
  // RegionContainsPoint for every region at once: one ray towards +x, the
  // crossings of each edge counted for the regions on its two sides. A region
  // whose sides both carry the edge counts it twice, which leaves its parity;
  // a region left of the point, or above or below it, is crossed an even
  // number of times; an empty region always so.
  const uint32_t stamp = EdgeGraphNextStamp();
  const Rect32 ray = {point.x, INT32_MAX, point.y, point.y};
  EdgeGraphForEachEdge(graph, &ray, [&](const Edge* e) {
    if (e->a.region == e->b.region || !(CurveRayCrossings(e->curve, point, 0) & 1)) return;
    for (Region* r : {e->a.region, e->b.region})
      if (r) r->inside_stamp = r->inside_stamp == stamp ? 0 : stamp;
  });
  // The walk down the tree: in each sibling list the first region holding
  // the point.
  Region* found = nullptr;
  Region* c = graph.top_regions;
  while (c) {
    if (c->inside_stamp == stamp) {
      found = c;
      c = c->first_child;
    } else {
      c = c->next;
    }
  }
  return found;
}
