// Region building: the boundary walk, the fill tally, outer and hole
// classification, the containment tree, and the point queries on regions.
#include "geometry/edge_graph_region.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <memory>
#include <new>
#include <unordered_map>
#include <utility>

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
int g_start_mode = kRegionStartBySize;
RegionSearchCounts g_counts;
// A build guesses where its regions belong once its descents average more
// than this many levels (after the first few regions) and the levels still to
// come outweigh a sweep of the whole graph.
constexpr uint64_t kDeepDescent = 16;
constexpr uint64_t kFirstRegions = 8;

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
// left to right over the top leaves the face below, on the right. The
// direction is the curve's x velocity where its y velocity vanishes; only a
// curve that stops there (a line folded back on itself) is split towards its
// top until its control point says which way it runs.
bool OuterAtCurve(QuadCurve c) {
  // y'(t) = 2 (f + t e) and x'(t) = 2 (g + t h): at the top t = -f / e, where
  // x' has the sign of g e - f h over e (e < 0 at a top).
  const int64_t e = int64_t{c.p0.y} - 2 * int64_t{c.control.y} + c.p2.y;
  const int64_t f = int64_t{c.control.y} - c.p0.y;
  const int64_t g = int64_t{c.control.x} - c.p0.x;
  const int64_t h = int64_t{c.p0.x} - 2 * int64_t{c.control.x} + c.p2.x;
  const __int128 velocity = static_cast<__int128>(g) * e - static_cast<__int128>(f) * h;
  if (e != 0 && velocity != 0) return (velocity > 0) == (e > 0);
  for (int i = 0;; ++i) {
    const int32_t s = c.p0.x, k = c.control.x, end = c.p2.x;
    if (s != end) {
      if (s <= k && k <= end) return true;
      if (s >= k && k >= end) return false;
    }
    if (i == kCurveSplits) return s < end;
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

// While regions are put into the tree, a region with a long boundary answers
// point tests from its boundary edges sorted into horizontal bands rather than
// from a strip of the graph's grid: the same edges' crossings are counted, but
// only those of the edges whose hull reaches the point's height. The plain
// build from the top keeps the grid strip.
class BoundaryBands {
 public:
  bool Contains(const Region* region, const Point32& point) {
    if (!use_ || region->boundary_length <= kDirectPointTestLength)
      return RegionContainsPoint(region, point);
    if (RegionIsEmpty(*region) || !RectContainsPoint(region->bounds, point)) return false;
    const Bands& b = Of(region);
    const size_t band = static_cast<size_t>((int64_t{point.y} - b.ymin) / b.height);
    int64_t sum = 0;
    for (uint32_t i = b.start[band]; i < b.start[band + 1]; ++i)
      sum += CurveRayCrossings(b.edges[i]->curve, point, 0);
    return (sum & 1) != 0;
  }
  void Use(bool use) { use_ = use; }

 private:
  static constexpr uint32_t kMaxBands = 256;
  struct Bands {
    int32_t ymin = 0;
    int64_t height = 1;
    std::vector<uint32_t> start;  // edges of band i: edges[start[i] .. start[i + 1])
    std::vector<const Edge*> edges;
  };

  // The bands of the region's boundary edges that have the region on one
  // side only (an edge with it on both sides is crossed twice).
  const Bands& Of(const Region* region) {
    auto [it, made] = bands_.try_emplace(region);
    Bands& b = it->second;
    if (!made) return b;
    std::vector<std::pair<int32_t, int32_t>> rows;  // of each edge, in bands
    std::vector<const Edge*> edges;
    const HalfEdge* start = region->boundary;
    const HalfEdge* h = start;
    for (uint64_t n = 0; h; ++n) {
      if (HalfEdgeTwin(h)->region != region) edges.push_back(h->edge);
      h = HalfEdgeNextOnBoundary(h);
      if (h == start || n > 0xFFFFFFFFull) break;
    }
    const Rect32& r = region->bounds;
    const uint32_t count =
        std::clamp<uint32_t>(static_cast<uint32_t>(edges.size() / 2), 1, kMaxBands);
    b.ymin = r.ymin;
    b.height = (int64_t{r.ymax} - r.ymin) / count + 1;
    const auto band_of = [&](int64_t y) {
      return static_cast<int32_t>((std::clamp<int64_t>(y, r.ymin, r.ymax) - r.ymin) / b.height);
    };
    b.start.assign(count + 2, 0);
    for (const Edge* e : edges) {
      Rect32 hull;
      CurveGetHullBounds(e->curve, hull);
      rows.emplace_back(band_of(hull.ymin), band_of(hull.ymax));
      for (int32_t i = rows.back().first; i <= rows.back().second; ++i) ++b.start[i + 2];
    }
    for (size_t i = 2; i < b.start.size(); ++i) b.start[i] += b.start[i - 1];
    b.edges.resize(b.start.back());
    for (size_t k = 0; k < edges.size(); ++k)
      for (int32_t i = rows[k].first; i <= rows[k].second; ++i)
        b.edges[b.start[i + 1]++] = edges[k];
    return b;
  }

  bool use_ = true;
  std::unordered_map<const Region*, Bands> bands_;
};

enum class Relation { kUnrelated, kInside, kContains };  // of the new region to the old

Relation Compare(const Region* r, const Region* c, BoundaryBands& bands) {
  if (!BoundsOverlap(r->bounds, c->bounds)) return Relation::kUnrelated;
  if (ShareEdge(r, c)) {
    if (RegionIsOuter(*r) && !RegionIsOuter(*c)) return Relation::kInside;
    if (!RegionIsOuter(*r) && RegionIsOuter(*c)) return Relation::kContains;
    return Relation::kUnrelated;
  }
  if (bands.Contains(c, BoundaryMidpoint(r))) return Relation::kInside;
  if (bands.Contains(r, BoundaryMidpoint(c))) return Relation::kContains;
  return Relation::kUnrelated;
}

// Puts a new region where it belongs: under the first region of a list that
// holds it (searching that one's children in turn), taking under itself the
// regions of the list it holds. The search starts at the top level, or at
// start when start holds the region: where regions nest without crossing,
// every region that holds it lies on the path the search from the top takes.
// Returns the number of levels descended.
uint64_t TreeInsert(EdgeGraph& graph, Region* r, RegionIndex* index, BoundaryBands& bands,
                    Region* start = nullptr) {
  if (index) index->Register(r);
  Region* parent = start && Compare(r, start, bands) == Relation::kInside ? start : nullptr;
  g_counts.guessed_starts += parent != nullptr;
  uint64_t levels = 0;
  std::vector<Region*> candidates;
  for (bool descended = true; descended; levels += descended) {
    descended = false;
    const bool indexed = index && index->LongList(parent);
    if (indexed) index->Children(parent, r->bounds, candidates);
    Region* c = indexed ? (candidates.empty() ? nullptr : candidates[0]) : ListHead(graph, parent);
    for (size_t i = 0; c && !descended;) {
      Region* next = indexed ? (++i < candidates.size() ? candidates[i] : nullptr) : c->next;
      switch (Compare(r, c, bands)) {
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
  g_counts.levels += levels;
  return levels;
}

// Makes the region of the boundary through h (not yet in the tree).
Region* NewRegion(EdgeGraph& graph, HalfEdge* h) {
  void* memory = EdgeGraphRegionPool().Alloc();
  if (!memory) return nullptr;
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
  return r;
}

// ---- Where deep regions belong ------------------------------------------------------
//
// Where regions nest many levels deep, the search from the top costs a
// comparison per level. A sweep of the whole graph tells where every region
// belongs at once (where edges do not cross): an outer region hangs under the
// outline of its connected piece of the graph, the one region of the piece
// that is not outer; that outline hangs under the face met first by a ray
// from the piece's leftmost point towards -x (its outer region, or where the
// ray meets another piece's outline, wherever that piece hangs). The search
// then starts at the nearest guessed ancestor already in the tree; the
// comparison with it decides whether the guess holds.
class StartGuess {
 public:
  // Guesses a start for each of fresh[from..] (inserted in that order after
  // every region already in the tree); false when no guess can be made.
  bool Run(EdgeGraph& graph, const std::vector<Region*>& fresh, size_t from) {
    if (!Collect(graph) || !Pieces()) return false;
    Components();
    GuessParents();
    Starts(fresh, from);
    return true;
  }
  bool Ready() const { return !starts_.empty(); }
  // The guessed start of fresh[i] (i from the `from` of Run); null for the
  // top level.
  Region* Start(size_t i) const { return starts_[i - from_]; }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;

  struct Piece {  // a part of an edge running up or down
    uint32_t edge;
    double t0, t1;  // t0 < t1 along the curve
    double ylo, yhi;
    bool up;  // y grows along the curve
  };

  bool Collect(EdgeGraph& graph) {
    bool usable = true;
    EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
      // Edges linked unsplit may cross: the sweep's order would not hold.
      if ((e->flags & kEdgeUnsplit) || !e->a.region || !e->b.region) usable = false;
      edges_.push_back(e);
    });
    if (!usable) return false;
    for (const Edge* e : edges_) {
      regions_.push_back(e->a.region);
      regions_.push_back(e->b.region);
    }
    std::sort(regions_.begin(), regions_.end());
    regions_.erase(std::unique(regions_.begin(), regions_.end()), regions_.end());
    return true;
  }

  uint32_t Id(const Region* r) const {
    return static_cast<uint32_t>(std::lower_bound(regions_.begin(), regions_.end(), r) -
                                 regions_.begin());
  }

  // Curve coefficients: p(t) = (a t + b) t + p0 on each axis.
  struct Coefficients {
    double ax, bx, x0, ay, by, y0;
  };
  static Coefficients Of(const QuadCurve& c) {
    if (c.straight)  // the control point is rounded: the line runs end to end
      return {0, static_cast<double>(c.p2.x) - c.p0.x, static_cast<double>(c.p0.x),
              0, static_cast<double>(c.p2.y) - c.p0.y, static_cast<double>(c.p0.y)};
    return {static_cast<double>(c.p0.x) - 2.0 * c.control.x + c.p2.x,
            2.0 * (static_cast<double>(c.control.x) - c.p0.x),
            static_cast<double>(c.p0.x),
            static_cast<double>(c.p0.y) - 2.0 * c.control.y + c.p2.y,
            2.0 * (static_cast<double>(c.control.y) - c.p0.y),
            static_cast<double>(c.p0.y)};
  }

  bool Pieces() {
    coefficients_.reserve(edges_.size());
    for (uint32_t i = 0; i < edges_.size(); ++i) {
      const Coefficients k = Of(edges_[i]->curve);
      coefficients_.push_back(k);
      double ts[3] = {0, 1, 1};
      int n = 2;
      if (k.ay != 0) {
        const double te = -k.by / (2 * k.ay);
        if (te > 0 && te < 1) {
          ts[1] = te;
          n = 3;
        }
      }
      for (int j = 0; j + 1 < n; ++j) {
        const double ya = (k.ay * ts[j] + k.by) * ts[j] + k.y0;
        const double yb = (k.ay * ts[j + 1] + k.by) * ts[j + 1] + k.y0;
        if (ya == yb) continue;  // level: a level ray never crosses it
        pieces_.push_back({i, ts[j], ts[j + 1], std::min(ya, yb), std::max(ya, yb), yb > ya});
      }
    }
    for (const Piece& p : pieces_) {
      ys_.push_back(p.ylo);
      ys_.push_back(p.yhi);
    }
    std::sort(ys_.begin(), ys_.end());
    ys_.erase(std::unique(ys_.begin(), ys_.end()), ys_.end());
    if (ys_.size() < 2) return true;
    // A segment tree over the intervals between successive ys: each piece
    // is filed in the nodes that its y range covers whole, where pieces
    // that do not cross keep one left-to-right order.
    intervals_ = ys_.size() - 1;
    nodes_.resize(4 * intervals_);
    for (uint32_t i = 0; i < pieces_.size(); ++i) {
      const Piece& p = pieces_[i];
      File(1, 0, intervals_, YIndex(p.ylo), YIndex(p.yhi), i);
    }
    for (auto& node : nodes_) std::sort(node.begin(), node.end());
    return true;
  }

  size_t YIndex(double y) const {
    return static_cast<size_t>(std::lower_bound(ys_.begin(), ys_.end(), y) - ys_.begin());
  }

  void File(size_t node, size_t lo, size_t hi, size_t from, size_t to, uint32_t piece) {
    if (to <= lo || hi <= from) return;
    if (from <= lo && hi <= to) {
      nodes_[node].emplace_back(X(pieces_[piece], (ys_[lo] + ys_[hi]) / 2), piece);
      return;
    }
    const size_t mid = (lo + hi) / 2;
    File(2 * node, lo, mid, from, to, piece);
    File(2 * node + 1, mid, hi, from, to, piece);
  }

  // The piece's x at height y (within its y range).
  double X(const Piece& p, double y) const {
    const Coefficients& k = coefficients_[p.edge];
    double t;
    if (k.ay == 0) {
      t = (y - k.y0) / k.by;
    } else {
      const double disc = std::max(0.0, k.by * k.by - 4 * k.ay * (k.y0 - y));
      const double s = std::sqrt(disc);
      const double q = k.by >= 0 ? -(k.by + s) / 2 : (s - k.by) / 2;
      const double r1 = q != 0 ? (k.y0 - y) / q : p.t0, r2 = q / k.ay;
      const double mid = (p.t0 + p.t1) / 2;
      t = std::abs(r1 - mid) <= std::abs(r2 - mid) ? r1 : r2;
    }
    t = std::clamp(t, p.t0, p.t1);
    return (k.ax * t + k.bx) * t + k.x0;
  }

  // The piece crossing height y nearest to the left of x, or kNone.
  uint32_t NearestLeft(double y, double x) const {
    if (intervals_ == 0 || y < ys_.front() || y >= ys_.back()) return kNone;
    const size_t leaf =
        static_cast<size_t>(std::upper_bound(ys_.begin(), ys_.end(), y) - ys_.begin()) - 1;
    uint32_t best = kNone;
    double best_x = 0;
    size_t node = 1, lo = 0, hi = intervals_;
    while (true) {
      const auto& list = nodes_[node];
      // The last piece of the node left of x.
      size_t a = 0, b = list.size();
      while (a < b) {
        const size_t m = (a + b) / 2;
        if (X(pieces_[list[m].second], y) < x)
          a = m + 1;
        else
          b = m;
      }
      if (a > 0) {
        const uint32_t piece = list[a - 1].second;
        const double px = X(pieces_[piece], y);
        if (best == kNone || px > best_x) {
          best = piece;
          best_x = px;
        }
      }
      if (hi - lo == 1) break;
      const size_t mid = (lo + hi) / 2;
      if (leaf < mid) {
        node = 2 * node;
        hi = mid;
      } else {
        node = 2 * node + 1;
        lo = mid;
      }
    }
    return best;
  }

  uint32_t Find(std::vector<uint32_t>& up, uint32_t i) {
    uint32_t root = i;
    while (up[root] != root) root = up[root];
    while (up[i] != root) i = std::exchange(up[i], root);
    return root;
  }

  // Connected pieces of the graph, each with its leftmost point and its one
  // region that is not outer.
  void Components() {
    const uint32_t n = static_cast<uint32_t>(regions_.size());
    component_.resize(n);
    for (uint32_t i = 0; i < n; ++i) component_[i] = i;
    for (const Edge* e : edges_) {
      const uint32_t a = Find(component_, Id(e->a.region)), b = Find(component_, Id(e->b.region));
      if (a != b) component_[a] = b;
    }
    for (uint32_t i = 0; i < n; ++i) Find(component_, i);
    outline_.assign(n, kNone);
    xmin_.assign(n, INT32_MAX);
    y_at_xmin_.assign(n, 0);
    for (uint32_t i = 0; i < n; ++i) {
      if (RegionIsOuter(*regions_[i])) continue;
      uint32_t& o = outline_[component_[i]];
      o = o == kNone ? i : kNone - 1;  // more than one: no outline
    }
    for (uint32_t i = 0; i < edges_.size(); ++i) {
      const QuadCurve& c = edges_[i]->curve;
      Rect32 b;
      CurveGetBounds(c, b);
      const uint32_t k = component_[Id(edges_[i]->a.region)];
      if (b.xmin >= xmin_[k]) continue;
      xmin_[k] = b.xmin;
      if (c.p0.x == b.xmin) {
        y_at_xmin_[k] = c.p0.y;
      } else if (c.p2.x == b.xmin) {
        y_at_xmin_[k] = c.p2.y;
      } else {
        const Coefficients& q = coefficients_[i];
        const double t = q.ax != 0 ? std::clamp(-q.bx / (2 * q.ax), 0.0, 1.0) : 0.5;
        y_at_xmin_[k] = (q.ay * t + q.by) * t + q.y0;
      }
    }
  }

  void GuessParents() {
    const uint32_t n = static_cast<uint32_t>(regions_.size());
    const uint32_t top = n;
    guess_.assign(n, top);
    std::vector<uint32_t> order;
    for (uint32_t i = 0; i < n; ++i)
      if (component_[i] == i) order.push_back(i);
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return xmin_[a] < xmin_[b]; });
    for (uint32_t k : order) {
      const uint32_t outline = outline_[k];
      if (outline >= kNone - 1) continue;
      // Level with the leftmost point, half a unit up: vertices lie on
      // multiples of 128, so the ray passes beside them.
      const uint32_t piece = NearestLeft(y_at_xmin_[k] + 0.5, xmin_[k] - 0.25);
      if (piece == kNone) continue;  // the top level
      const Piece& p = pieces_[piece];
      const Edge* e = edges_[p.edge];
      // The ray meets the piece from its +x side: side A's face lies there
      // where the curve runs up.
      const uint32_t y = Id(p.up ? e->a.region : e->b.region);
      const uint32_t other = component_[y];
      if (other == k || xmin_[other] >= xmin_[k]) {
        guess_[outline] = top;  // cannot be: the search starts at the top
      } else if (RegionIsOuter(*regions_[y])) {
        guess_[outline] = y;
      } else if (outline_[other] == y) {
        guess_[outline] = guess_[y];
      }
    }
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t outline = outline_[component_[i]];
      if (RegionIsOuter(*regions_[i]) && outline < kNone - 1) guess_[i] = outline;
    }
  }

  // Each fresh region's nearest guessed ancestor among the regions in the
  // tree when it is inserted: taken backwards, each region leaves the
  // structure before its own question.
  void Starts(const std::vector<Region*>& fresh, size_t from) {
    from_ = from;
    const uint32_t n = static_cast<uint32_t>(regions_.size());
    std::vector<uint32_t> up(n + 1);
    for (uint32_t i = 0; i <= n; ++i) up[i] = i;
    starts_.assign(fresh.size() - from, nullptr);
    for (size_t j = fresh.size(); j-- > from;) {
      const uint32_t i = Id(fresh[j]);
      if (i >= n || regions_[i] != fresh[j]) continue;  // not reached by the sweep
      up[i] = guess_[i];
      const uint32_t s = Find(up, i);
      starts_[j - from] = s == n ? nullptr : regions_[s];
    }
  }

  std::vector<Edge*> edges_;
  std::vector<Region*> regions_;  // sorted: a region's id is its place
  std::vector<Coefficients> coefficients_;
  std::vector<Piece> pieces_;
  std::vector<double> ys_;
  size_t intervals_ = 0;
  std::vector<std::vector<std::pair<double, uint32_t>>> nodes_;
  std::vector<uint32_t> component_;  // region id -> its component's root id
  std::vector<uint32_t> outline_;    // by component root
  std::vector<int32_t> xmin_;        // by component root
  std::vector<double> y_at_xmin_;    // y of the leftmost point, by component root
  std::vector<uint32_t> guess_;      // region id -> guessed parent id (n: the top)
  std::vector<Region*> starts_;
  size_t from_ = 0;
};

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
  g_start_mode = kRegionStartBySize;
}

RegionSearchCounts EdgeGraphRegionSearchCounts() {
  return g_counts;
}

int EdgeGraphSetRegionStartMode(int mode) {
  const int previous = g_start_mode;
  g_start_mode = mode;
  return previous;
}

int32_t EdgeGraphRegionsInUse() {
  int32_t n = 0;
  for (const BlockChunk* c = EdgeGraphRegionPool().oldest; c; c = c->next) n += c->count;
  return n;
}

namespace {

// A region that is in no list yet goes to the end of the top level.
void PlaceAtTop(EdgeGraph& graph, Region* r) {
  if (!r->parent && !r->prev && graph.top_regions != r) Append(graph, nullptr, r, nullptr);
}

// Puts the fresh regions into the tree in the order they were made.
int InsertRegions(EdgeGraph& graph, const std::vector<Region*>& fresh, RegionIndex* index) {
  size_t done = 0;
  try {
    BoundaryBands bands;
    StartGuess guess;
    bool guessed = false;
    uint64_t levels = 0;
    for (; done < fresh.size(); ++done) {
      if (!guessed && g_start_mode != kRegionStartFromTop) {
        const uint64_t remaining = fresh.size() - done;
        const bool deep = done >= kFirstRegions && levels > kDeepDescent * done &&
                          levels / done * remaining > graph.edge_count / 8;
        if (g_start_mode == kRegionStartGuessed || deep) {
          guessed = true;
          try {
            if (!guess.Run(graph, fresh, done)) guess = StartGuess();
          } catch (const std::bad_alloc&) {
            guess = StartGuess();  // no guesses: every search starts at the top
          }
        }
      }
      Region* start = guessed && guess.Ready() ? guess.Start(done) : nullptr;
      levels += TreeInsert(graph, fresh[done], index, bands, start);
    }
    return 0;
  } catch (const std::bad_alloc&) {
    // Out of memory: the regions left go to the top level, so that every
    // region stays in the tree.
    for (; done < fresh.size(); ++done) PlaceAtTop(graph, fresh[done]);
    return -1;
  }
}

}  // namespace

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
  std::unique_ptr<RegionIndex> index;
  std::vector<Region*> fresh;
  int result = 0;
  try {
    const bool large = missing >= kIndexedBuild && graph.edge_count >= kIndexedGraph;
    if (g_index_mode == kRegionIndexAlways || (g_index_mode == kRegionIndexBySize && large)) {
      index = std::make_unique<RegionIndex>();
      if (int r = index->Build(graph); r < 0) index.reset();  // fall back to the plain walk
    }
    fresh.reserve(missing);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  // Every region is made first, then each goes into the tree in the order it
  // was made: the tree comes out as if each went in as soon as it was made.
  for (Edge* e : edges)
    for (HalfEdge* h : {&e->a, &e->b})
      if (!h->region && h->vertex && result == 0) {
        Region* r = NewRegion(graph, h);
        if (!r) {
          result = -1;
          break;
        }
        fresh.push_back(r);  // reserved: cannot throw
        if (g_start_mode == kRegionStartFromTop) {
          // The plain build, kept as the reference: into the tree at once.
          try {
            BoundaryBands grid_strips;
            grid_strips.Use(false);
            TreeInsert(graph, r, index.get(), grid_strips);
          } catch (const std::bad_alloc&) {
            PlaceAtTop(graph, r);
            return -1;
          }
        }
      }
  if (g_start_mode != kRegionStartFromTop)
    if (int r = InsertRegions(graph, fresh, index.get()); r < 0) return r;
  if (result < 0) return result;
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
