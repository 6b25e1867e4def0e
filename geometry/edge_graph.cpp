// Records, pools, linking and unlinking, change tracking and the style tables
// of the edge graph.
#include "geometry/edge_graph.h"

#include <algorithm>
#include <new>
#include <vector>

#include "geometry/edge_change_log.h"
#include "geometry/edge_graph_cleanup.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_region.h"
#include "geometry/pool.h"

namespace {

// ---- Pools and process-global state ------------------------------------------

BlockPool* MakePool(int32_t size, int32_t per_chunk, uint32_t marker, int32_t align) {
  auto* pool = new BlockPool;
  pool->Init(size, per_chunk, 0, marker, align);
  return pool;
}

// Never destroyed: graphs held by other static objects may still return
// records while the program exits.
BlockPool& EdgePool() {
  static BlockPool& pool = *MakePool(sizeof(Edge), 1280, 0x66666666, alignof(Edge));
  return pool;
}
BlockPool& VertexPool() {
  static BlockPool& pool = *MakePool(sizeof(Vertex), 2666, 0x77777777, alignof(Vertex));
  return pool;
}
BlockPool& RegionPool() {
  static BlockPool& pool = *MakePool(sizeof(Region), 615, 0x88888888, alignof(Region));
  return pool;
}
BlockPool& ChangeLogPoolInstance() {
  static BlockPool& pool =
      *MakePool(sizeof(EdgeChangeLogBlock), 110, 0xAAAAAAAA, alignof(EdgeChangeLogBlock));
  return pool;
}

int32_t BlocksInUse(const BlockPool& pool) {
  int32_t n = 0;
  for (const BlockChunk* c = pool.oldest; c; c = c->next) n += c->count;
  return n;
}

uint32_t g_visit_counter = 0;

// The last two vertices found, for the last graph used.
struct VertexCache {
  const EdgeGraph* graph = nullptr;
  Vertex* v[2] = {};
  int older = 0;
};
VertexCache g_vertex_cache;

void ForgetVertexCache() {
  g_vertex_cache = VertexCache{};
}

// ---- Grid chains ---------------------------------------------------------------

// Chains are singly linked through grid_next with a back link to the pointer
// that points at the record, so a record leaves its chain in constant time.
template <class T>
void ChainPush(void** head, T* item) {
  item->grid_next = *head;
  if (item->grid_next) static_cast<T*>(item->grid_next)->grid_back = &item->grid_next;
  item->grid_back = head;
  *head = item;
}

template <class T>
void ChainRemove(T* item) {
  if (!item->grid_back) return;
  *item->grid_back = item->grid_next;
  if (item->grid_next) static_cast<T*>(item->grid_next)->grid_back = item->grid_back;
  item->grid_next = nullptr;
  item->grid_back = nullptr;
}

Rect32 PointRect(const Point32& p) {
  return {p.x, p.x, p.y, p.y};
}

Rect32 TightBounds(const Edge& e) {
  Rect32 r;
  CurveGetBounds(e.curve, r);
  return r;
}

// The level of a cell: the root's level plus the steps down to it.
int CellLevel(const SpatialGrid& grid, const GridCell* cell) {
  const GridCell* at = grid.root;
  int level = grid.root_level;
  while (at && at != cell) {
    const Rect32& b = at->bounds;
    const auto cx = static_cast<int32_t>((int64_t{b.xmin} + b.xmax) >> 1);
    const auto cy = static_cast<int32_t>((int64_t{b.ymin} + b.ymax) >> 1);
    const bool right = cell->bounds.xmin >= cx;
    const bool upper = cell->bounds.ymin >= cy;
    at = at->child[right ? (upper ? kQuadRightUpper : kQuadRightLower)
                         : (upper ? kQuadLeftUpper : kQuadLeftLower)];
    ++level;
  }
  return at ? level : kGridMaxLevel;
}

// A cell that holds more than 8 edges is split once, its edges and vertices
// moving to child cells, unless it already was or it lies at the deepest level
// the grid makes. Cells above the depth limit hold only what straddles their
// centre lines, so splitting them would move nothing.
void SplitCrowdedCell(EdgeGraph& graph, GridCell* cell) {
  if (cell->deeper_split) return;
  int n = 0;
  for (void* e = cell->chain[0]; e && n <= 8; e = static_cast<Edge*>(e)->grid_next) ++n;
  if (n <= 8) return;
  const int level = CellLevel(graph.grid, cell);
  if (level < graph.grid.depth_limit || level >= kGridMaxLevel) return;
  cell->deeper_split = 1;
  void* edges = cell->chain[0];
  void* vertices = cell->chain[1];
  cell->chain[0] = cell->chain[1] = nullptr;
  while (edges) {
    auto* e = static_cast<Edge*>(edges);
    edges = e->grid_next;
    GridCell* to = SpatialGridFindCell(graph.grid, TightBounds(*e), true);
    ChainPush(&to->chain[0], e);
  }
  while (vertices) {
    auto* v = static_cast<Vertex*>(vertices);
    vertices = v->grid_next;
    GridCell* to = SpatialGridFindCell(graph.grid, PointRect(v->position), true);
    ChainPush(&to->chain[1], v);
  }
}

// ---- Vertices ---------------------------------------------------------------------

Vertex* FindVertex(EdgeGraph& graph, const Point32& p) {
  VertexCache& cache = g_vertex_cache;
  if (cache.graph == &graph) {
    for (int i = 0; i < 2; ++i)
      if (cache.v[i] && cache.v[i]->position == p) return cache.v[i];
  } else {
    cache = VertexCache{};
    cache.graph = &graph;
  }
  GridCell* cell = SpatialGridFindCell(graph.grid, PointRect(p), true);
  if (!cell) return nullptr;
  Vertex* found = nullptr;
  for (void* v = cell->chain[1]; v; v = static_cast<Vertex*>(v)->grid_next)
    if (static_cast<Vertex*>(v)->position == p) {
      found = static_cast<Vertex*>(v);
      break;
    }
  if (!found) {
    void* memory = VertexPool().Alloc();
    if (!memory) return nullptr;
    found = new (memory) Vertex;
    found->position = p;
    ChainPush(&cell->chain[1], found);
  }
  cache.v[cache.older] = found;
  cache.older ^= 1;
  return found;
}

void FreeVertex(Vertex* v) {
  ChainRemove(v);
  ForgetVertexCache();
  v->~Vertex();
  VertexPool().Free(v);
}

void RingPush(Vertex* v, HalfEdge* h) {
  h->vertex = v;
  h->ring_next = v->ring;
  v->ring = h;
  v->flags &= static_cast<uint16_t>(~kVertexSorted);
}

void RingRemove(Vertex* v, HalfEdge* h) {
  for (HalfEdge** link = &v->ring; *link; link = &(*link)->ring_next)
    if (*link == h) {
      *link = h->ring_next;
      break;
    }
  h->ring_next = nullptr;
  h->vertex = nullptr;
  v->flags &= static_cast<uint16_t>(~kVertexSorted);
}

// ---- Change tracking -------------------------------------------------------------

void AddRect(Rect32& to, const Rect32& r) {
  RectUnion(to, r, to);
}

// The boundary successor of a half-edge: the ring successor of its twin (the
// first of the ring when the twin is last).
HalfEdge* NextOnBoundary(HalfEdge* h) {
  HalfEdge* twin = HalfEdgeTwin(h);
  if (twin->ring_next) return twin->ring_next;
  return twin->vertex ? twin->vertex->ring : nullptr;
}

// Moves the region's children to the end of its own sibling list.
void MoveChildrenUp(Region* region) {
  Region* child = region->first_child;
  if (!child) return;
  region->first_child = nullptr;
  Region* last = region;
  while (last->next) last = last->next;
  for (Region* c = child; c; c = c->next) c->parent = region->parent;
  last->next = child;
  child->prev = last;
}

// Clears the bridges along a region's boundary, and the region links when
// asked. Rings at the boundary's vertices are as they were when the region was
// built (any change there frees it first), so the walk retraces the cycle.
void ClearBoundary(const EdgeGraph& graph, Region* region, bool unlink_region) {
  HalfEdge* start = region->boundary;
  HalfEdge* h = start;
  for (uint64_t n = 0; h && n <= 2ull * graph.edge_count; ++n) {
    if (h->bridge) {
      h->bridge->bridge = nullptr;
      h->bridge->flags &= static_cast<uint16_t>(~kHalfBridgeEnd);
      h->bridge = nullptr;
      h->flags &= static_cast<uint16_t>(~kHalfBridgeEnd);
    }
    if (unlink_region && h->region == region) h->region = nullptr;
    h = NextOnBoundary(h);
    if (h == start) break;
  }
}

}  // namespace

// ---- Globals -----------------------------------------------------------------------

uint32_t EdgeGraphNextStamp() {
  return ++g_visit_counter;
}

BlockPool& EdgeGraphChangeLogPool() {
  return ChangeLogPoolInstance();
}

BlockPool& EdgeGraphRegionPool() {
  return RegionPool();
}

void EdgeGraphResetGlobals() {
  EdgePool().Reset();
  VertexPool().Reset();
  RegionPool().Reset();
  ChangeLogPoolInstance().Reset();
  g_visit_counter = 0;
  ForgetVertexCache();
  EdgeGraphResetInsertCounters();
  EdgeGraphResetRegionIndexMode();
  EdgeGraphCleanupReleaseScratch();
  EdgeGraphResetFillContextPool();
}

int32_t EdgeGraphEdgesInUse() {
  return BlocksInUse(EdgePool());
}
int32_t EdgeGraphVerticesInUse() {
  return BlocksInUse(VertexPool());
}

// ---- Lifecycle ----------------------------------------------------------------------

EdgeGraph::~EdgeGraph() {
  if (grid.root) EdgeGraphFreeAll(*this);
}

int EdgeGraphInit(EdgeGraph& graph, const Rect32* bounds) {
  if (graph.grid.root) EdgeGraphFreeAll(graph);
  graph.top_regions = nullptr;
  graph.fill_contexts = nullptr;
  graph.change_callback = nullptr;
  graph.change_arg = nullptr;
  RectSetEmpty(graph.redraw);
  RectSetEmpty(graph.changed);
  RectSetEmpty(graph.rebuild);
  graph.flags = 0;
  graph.generation = 1;
  graph.change_log = nullptr;
  BlockRelease(&graph.fills);
  BlockRelease(&graph.lines);
  graph.fill_count = graph.last_fill_hit = 0;
  graph.line_count = graph.last_line_hit = 0;
  graph.edge_count = 0;
  ForgetVertexCache();
  return SpatialGridInit(graph.grid, bounds ? *bounds : kEdgeGraphDefaultBounds,
                         kEdgeGraphGridDepth);
}

void EdgeGraphFreeAll(EdgeGraph& graph) {
  // Regions: the tree, flattened with a work list.
  std::vector<Region*> regions;
  for (Region* r = graph.top_regions; r; r = r->next) regions.push_back(r);
  while (!regions.empty()) {
    Region* r = regions.back();
    regions.pop_back();
    for (Region* c = r->first_child; c; c = c->next) regions.push_back(c);
    r->~Region();
    RegionPool().Free(r);
  }
  graph.top_regions = nullptr;

  std::vector<Edge*> edges;
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) { edges.push_back(e); });
  for (Edge* e : edges) {
    e->~Edge();
    EdgePool().Free(e);
  }
  std::vector<Vertex*> vertices;
  EdgeGraphForEachVertex(graph, nullptr, [&](Vertex* v) { vertices.push_back(v); });
  for (Vertex* v : vertices) {
    v->~Vertex();
    VertexPool().Free(v);
  }
  ForgetVertexCache();
  SpatialGridFree(graph.grid);
  BlockRelease(&graph.fills);
  BlockRelease(&graph.lines);
  graph.fill_count = graph.last_fill_hit = 0;
  graph.line_count = graph.last_line_hit = 0;
  graph.edge_count = 0;
  if (graph.change_log && graph.change_log->graph == &graph) graph.change_log->graph = nullptr;
  graph.change_log = nullptr;
}

// ---- Edges --------------------------------------------------------------------------

void EdgeGraphBeginChange(EdgeGraph& graph) {
  if (graph.flags & kGraphChanging) return;
  graph.flags |= kGraphChanging;
  graph.flags &= static_cast<uint16_t>(~(kGraphHasSelection | kGraphSelectionValid));
  if (graph.change_callback) graph.change_callback(graph, graph.change_arg);
}

void EdgeGetCurve(const HalfEdge* h, QuadCurve& out) {
  if (HalfEdgeIsSideB(h))
    CurveReverse(h->edge->curve, out);
  else
    out = h->edge->curve;
}

void EdgeGetStrokedBounds(const EdgeGraph& graph, const Edge& edge, Rect32& out) {
  CurveGetBounds(edge.curve, out);
  if (StyleIndexOf(edge.line) == 0) return;
  LineStyle style;
  EdgeGraphGetLineStyle(graph, edge.line, style);
  const int32_t outset = std::max<int32_t>(LineStyleOutset(style), 0);
  RectInset(out, -outset * 256);
}

int EdgeGraphNewEdge(const QuadCurve& curve, Edge** out) {
  *out = nullptr;
  void* memory = EdgePool().Alloc();
  if (!memory) return -1;
  Edge* e = new (memory) Edge;
  e->curve = curve;
  e->a.edge = e;
  e->b.edge = e;
  e->b.flags = kHalfSideB;
  *out = e;
  return 0;
}

void EdgeGraphFreeEdgeRecord(Edge* edge) {
  if (!edge) return;
  edge->~Edge();
  EdgePool().Free(edge);
}

int EdgeGraphLinkEdge(EdgeGraph& graph, Edge* edge) {
  if (EdgeIsLinked(*edge)) return 0;
  // Both vertices first, so that a refused vertex leaves the edge unlinked.
  Vertex* start = FindVertex(graph, edge->curve.p0);
  if (!start) return -1;
  Vertex* end = FindVertex(graph, edge->curve.p2);
  if (!end) return -1;

  EdgeGraphBeginChange(graph);
  edge->birth = graph.generation;
  edge->change = 0;
  const Rect32 bounds = TightBounds(*edge);
  GridCell* cell = SpatialGridFindCell(graph.grid, bounds, true);
  ChainPush(&cell->chain[0], edge);
  ++graph.edge_count;
  AddRect(graph.changed, bounds);
  AddRect(graph.rebuild, bounds);
  EdgeGraphFreeRegionsAtVertex(graph, start);
  EdgeGraphFreeRegionsAtVertex(graph, end);
  RingPush(start, &edge->a);
  RingPush(end, &edge->b);
  SplitCrowdedCell(graph, cell);
  return 0;
}

int EdgeGraphUnlinkEdge(EdgeGraph& graph, Edge* edge) {
  if (!EdgeIsLinked(*edge)) return 0;
  if (!(edge->flags & kEdgeTouched)) {
    EdgeGraphBeginChange(graph);
    if (graph.change_log && EdgeChangeLogSave(*graph.change_log, *edge) < 0) return -1;
    Rect32 stroked;
    EdgeGetStrokedBounds(graph, *edge, stroked);
    AddRect(graph.redraw, stroked);
  }
  Rect32 hull;
  CurveGetHullBounds(edge->curve, hull);
  AddRect(graph.changed, hull);
  Vertex* start = edge->a.vertex;
  Vertex* end = edge->b.vertex;
  EdgeGraphFreeRegionsAtVertex(graph, start);
  EdgeGraphFreeRegionsAtVertex(graph, end);
  RingRemove(start, &edge->a);
  RingRemove(end, &edge->b);
  --graph.edge_count;
  ChainRemove(edge);
  return 0;
}

int EdgeGraphDeleteEdge(EdgeGraph& graph, Edge* edge) {
  const int result = EdgeGraphUnlinkEdge(graph, edge);
  if (result < 0) return result;
  EdgeGraphFreeEdgeRecord(edge);
  return 0;
}

int EdgeGraphTouchEdge(EdgeGraph& graph, Edge* edge) {
  if (!(edge->flags & kEdgeTouched)) {
    EdgeGraphBeginChange(graph);
    if (graph.change_log && EdgeChangeLogSave(*graph.change_log, *edge) < 0) return -1;
    Rect32 stroked;
    EdgeGetStrokedBounds(graph, *edge, stroked);
    AddRect(graph.redraw, stroked);
    edge->flags |= kEdgeTouched;
  }
  Rect32 hull;
  CurveGetHullBounds(edge->curve, hull);
  AddRect(graph.changed, hull);
  return 0;
}

void EdgeGraphEndChange(EdgeGraph& graph, Rect32& out) {
  out = graph.redraw;
  RectSetEmpty(graph.redraw);
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
    if (!(e->flags & kEdgeTouched)) return;
    Rect32 stroked;
    EdgeGetStrokedBounds(graph, *e, stroked);
    AddRect(out, stroked);
    e->flags &= static_cast<uint16_t>(~kEdgeTouched);
  });
  RectShift(out, ShiftRight(8), out);
  // Generation 0 is skipped: a cleared change stamp reads 0.
  if (++graph.generation == 0) graph.generation = 1;
  graph.flags &= static_cast<uint16_t>(~kGraphChanging);
  graph.change_log = nullptr;
}

// ---- Regions and vertices ----------------------------------------------------------

void EdgeGraphFreeRegionsAtVertex(EdgeGraph& graph, Vertex* vertex) {
  if (!vertex) return;
  for (HalfEdge* h = vertex->ring; h; h = h->ring_next)
    if (h->region) RegionFree(graph, h->region);
}

void RegionFree(EdgeGraph& graph, Region* region) {
  AddRect(graph.rebuild, region->bounds);
  ClearBoundary(graph, region, true);
  // Bridges join the region's boundary to its holes and holes to each other.
  for (Region* c = region->first_child; c; c = c->next) ClearBoundary(graph, c, false);
  region->flags &= static_cast<uint16_t>(~kRegionBridged);

  MoveChildrenUp(region);
  Region* parent = region->parent;
  if (region->prev) {
    region->prev->next = region->next;
  } else if (parent) {
    parent->first_child = region->next;
  } else if (graph.top_regions == region) {
    graph.top_regions = region->next;
  }
  if (region->next) region->next->prev = region->prev;
  region->~Region();
  RegionPool().Free(region);
}

void EdgeGraphFreeEmptyVertices(EdgeGraph& graph, const Rect32* rect) {
  std::vector<Vertex*> empty;
  EdgeGraphForEachVertex(graph, rect, [&](Vertex* v) {
    if (!v->ring) empty.push_back(v);
  });
  for (Vertex* v : empty) FreeVertex(v);
  ForgetVertexCache();
}

// ---- Style tables --------------------------------------------------------------------

namespace {

template <class Style, class Equal, class None>
int AddStyle(Style*& table, uint16_t& count, uint16_t& last_hit, const Style& style, Equal equal,
             None none) {
  if (none(style)) return 0;
  if (last_hit >= 1 && last_hit <= count && equal(table[last_hit - 1], style)) return last_hit;
  for (int i = 0; i < count; ++i)
    if (equal(table[i], style)) {
      last_hit = static_cast<uint16_t>(i + 1);
      return last_hit;
    }
  // Indices above kStyleLastIndex are reserved tags and bit 15 is the
  // selection mark: the table never grows into them.
  if (count >= kStyleLastIndex) return -1;
  Style* grown = table;
  if (BlockRealloc(sizeof(Style) * (count + 1u), &grown) < 0) return -1;
  table = grown;
  table[count] = style;
  ++count;
  last_hit = count;
  return count;
}

template <class Style>
void GetStyle(const Style* table, uint16_t count, StyleIndex index, Style& out) {
  const int i = StyleIndexOf(index);
  out = (i >= 1 && i <= count) ? table[i - 1] : Style{};
}

}  // namespace

int EdgeGraphAddFillStyle(EdgeGraph& graph, const FillStyle& style) {
  return AddStyle(graph.fills, graph.fill_count, graph.last_fill_hit, style, FillStyleEqual,
                  FillStyleIsNone);
}

int EdgeGraphAddLineStyle(EdgeGraph& graph, const LineStyle& style) {
  return AddStyle(graph.lines, graph.line_count, graph.last_line_hit, style, LineStyleEqual,
                  LineStyleIsNone);
}

void EdgeGraphGetFillStyle(const EdgeGraph& graph, StyleIndex index, FillStyle& out) {
  GetStyle(graph.fills, graph.fill_count, index, out);
}

void EdgeGraphGetLineStyle(const EdgeGraph& graph, StyleIndex index, LineStyle& out) {
  GetStyle(graph.lines, graph.line_count, index, out);
}

int EdgeGraphReindexFill(const EdgeGraph& source, EdgeGraph& target, StyleIndex index) {
  if (StyleIndexOf(index) == 0 || StyleIsTag(index)) return index;
  FillStyle style;
  EdgeGraphGetFillStyle(source, index, style);
  const int found = EdgeGraphAddFillStyle(target, style);
  if (found < 0) return found;
  return found | (index & kStyleSelected);
}

int EdgeGraphReindexLine(const EdgeGraph& source, EdgeGraph& target, StyleIndex index) {
  if (StyleIndexOf(index) == 0 || StyleIsTag(index)) return index;
  LineStyle style;
  EdgeGraphGetLineStyle(source, index, style);
  const int found = EdgeGraphAddLineStyle(target, style);
  if (found < 0) return found;
  return found | (index & kStyleSelected);
}

int EdgeCopyStylesReindexed(const EdgeGraph& source, const Edge& from, EdgeGraph& target,
                            Edge& to) {
  const int line = EdgeGraphReindexLine(source, target, from.line);
  if (line < 0) return line;
  const int fill_a = EdgeGraphReindexFill(source, target, from.a.fill);
  if (fill_a < 0) return fill_a;
  const int fill_b = EdgeGraphReindexFill(source, target, from.b.fill);
  if (fill_b < 0) return fill_b;
  to.line = static_cast<StyleIndex>(line);
  to.a.fill = static_cast<StyleIndex>(fill_a);
  to.b.fill = static_cast<StyleIndex>(fill_b);
  return 0;
}
