// The edge graph: the planar map of straight and quadratic edges that is the
// geometry of every shape.
//
// Coordinates are graph units, twips * 256 (paths are shifted left by 8 bits
// on the way in and right by 8 bits on the way out); an edge's end points are
// multiples of 128 once it is linked. Edges never cross inside a graph: where
// two would cross both are split, and where pieces coincide they are merged
// into one edge that keeps the styles of both.
//
// Each edge has two half-edges: side A runs along the curve and starts at its
// p0, side B runs against it and starts at p2. The half-edges leaving one
// vertex form its ring, kept sorted by direction by EdgeGraphCleanup. Each
// half-edge carries the fill on its side; the edge carries the line. The filled
// faces (regions) are derived from the half-edges and freed whenever an edge at
// one of their vertices changes.
//
// Records come from static block pools. Everything here returns 0 on success
// and a negative value on failure (-1: a pool or the heap is exhausted), and
// never throws. Nothing is thread-safe: the drawing model runs on one thread.
#pragma once

#include <cstdint>

#include "geometry/curve.h"
#include "geometry/edge_style.h"
#include "geometry/fixed.h"
#include "geometry/grid.h"

struct Edge;
struct EdgeChangeLog;
struct EdgeGraph;
struct FillContext;  // scratch records of merging and lasso selection
struct PointList;
struct Region;
struct Vertex;

// ---- Records -----------------------------------------------------------------

// Half flags.
constexpr uint16_t kHalfSideB = 1;      // the side that reads the curve reversed
constexpr uint16_t kHalfBridgeEnd = 2;  // marks the end of a bridge into a hole

struct HalfEdge {
  HalfEdge* ring_next = nullptr;  // next half-edge leaving the same vertex
  Vertex* vertex = nullptr;       // where this half-edge starts; null while unlinked
  Region* region = nullptr;       // the face on this side, null until built
  FillContext* fill_context = nullptr;
  HalfEdge* bridge = nullptr;  // continues a contour into a hole
  uint32_t visit = 0;          // compared with the global visit counter
  StyleIndex fill = 0;
  uint16_t flags = 0;
  Edge* edge = nullptr;  // the edge this side belongs to
};

// Edge flags.
constexpr uint16_t kEdgeMoved = 1;     // waits for reinsertion
constexpr uint16_t kEdgeTouched = 2;   // saved and marked in the current change
constexpr uint16_t kEdgeMirrored = 4;  // fills swap when reinserted
constexpr uint16_t kEdgeUnsplit = 8;   // linked without splitting: may cross others

struct Edge {
  void* grid_next = nullptr;   // next edge in the same grid cell
  void** grid_back = nullptr;  // the link that points at this edge
  HalfEdge a;                  // along the curve
  HalfEdge b;                  // against the curve
  QuadCurve curve;
  StyleIndex line = 0;
  uint16_t flags = 0;
  // Generations, compared as unsigned 16-bit values everywhere.
  uint16_t birth = 0;   // generation at which it was linked
  uint16_t change = 0;  // generation at which it was last saved for undo
};

// Vertex flags: bit 0 ring sorted, bit 1 smooth joint, bits 2-4 the number of
// half-edges, capped at 4 (valid while sorted).
constexpr uint16_t kVertexSorted = 1;
constexpr uint16_t kVertexSmooth = 2;
constexpr int kVertexDegreeShift = 2;
constexpr uint16_t kVertexDegreeMask = 0x1C;

struct Vertex {
  void* grid_next = nullptr;
  void** grid_back = nullptr;
  HalfEdge* ring = nullptr;  // first half-edge leaving the vertex
  Point32 position;          // exact, a multiple of 128
  uint16_t flags = 0;
};

constexpr int VertexDegree(const Vertex& v) {
  return (v.flags & kVertexDegreeMask) >> kVertexDegreeShift;
}

// Region flags.
constexpr uint16_t kRegionOuter = 1;
constexpr uint16_t kRegionEmpty = 2;
constexpr uint16_t kRegionBridged = 4;
constexpr uint16_t kRegionFillFixed = 8;

// A filled face: the cycle of half-edges met by walking the graph. Regions
// form a tree of outer boundaries and holes; every region of a sibling list
// links to the list's parent (null at the top level), so finding a region's
// parent never walks its list.
struct Region {
  Region* parent = nullptr;
  Region* first_child = nullptr;
  EdgeGraph* graph = nullptr;
  Region* next = nullptr;
  Region* prev = nullptr;
  HalfEdge* boundary = nullptr;  // where the boundary walk starts
  Rect32 bounds;
  uint32_t index_node = 0;    // scratch of the region index: its node number during a build
  uint32_t inside_stamp = 0;  // scratch of EdgeGraphFindRegion: the stamp while holding the point
  StyleIndex fill = 0;
  uint16_t boundary_length = 0;
  uint16_t flags = 0;
};

// Graph flags.
constexpr uint16_t kGraphChanging = 1;
constexpr uint16_t kGraphMovedEdges = 2;
constexpr uint16_t kGraphHasSelection = 4;
constexpr uint16_t kGraphSelectionValid = 8;
// The fill contexts were built over edges linked unsplit, which may cross:
// their rays count every crossing instead of stopping at the nearest.
constexpr uint16_t kGraphContextsMayCross = 16;

// Called once at the first change of an edit (it creates the undo item and
// attaches a change log).
using EdgeGraphChangeCallback = void (*)(EdgeGraph& graph, void* arg);

// Bounds of a new graph's grid: 12960 x 15840 twips.
constexpr Rect32 kEdgeGraphDefaultBounds = {0, 0x32A000, 0, 0x3DE000};
constexpr int kEdgeGraphGridDepth = 5;

struct EdgeGraph {
  SpatialGrid grid;               // every edge and vertex, in the cell that covers it
  Region* top_regions = nullptr;  // first region of the region tree's top level
  FillContext* fill_contexts = nullptr;
  EdgeGraphChangeCallback change_callback = nullptr;
  void* change_arg = nullptr;
  Rect32 redraw;   // stroked bounds of edges touched in the current change
  Rect32 changed;  // edges linked, unlinked or touched since the last update
  Rect32 rebuild;  // where regions must be built again
  uint16_t flags = 0;
  uint16_t generation = 0;  // 1 after initialisation
  EdgeChangeLog* change_log = nullptr;
  FillStyle* fills = nullptr;  // heap table, grows one entry per append
  uint16_t fill_count = 0;
  uint16_t last_fill_hit = 0;  // 1-based, 0 = none
  LineStyle* lines = nullptr;
  uint16_t line_count = 0;
  uint16_t last_line_hit = 0;
  // Linked edges. Wider than 16 bits: a count that wrapped would make a full
  // graph look empty.
  uint32_t edge_count = 0;

  EdgeGraph() = default;
  EdgeGraph(const EdgeGraph&) = delete;
  EdgeGraph& operator=(const EdgeGraph&) = delete;
  ~EdgeGraph();
};

// ---- Process-global state ------------------------------------------------------

// A fresh value of the one visit counter shared by every graph walk.
uint32_t EdgeGraphNextStamp();
// Test reset hook: frees every record pool (no graph may be alive), restarts the
// visit counter, forgets the vertex cache, restores the insertion's guard and
// the region index mode to their defaults and releases the clean-up's
// scratch: a run after it behaves as in a fresh process.
void EdgeGraphResetGlobals();
// The pool of change-log blocks.
class BlockPool;
BlockPool& EdgeGraphChangeLogPool();
// The pool of regions: region building takes them from it, RegionFree returns them.
BlockPool& EdgeGraphRegionPool();
// Records in use in the edge and vertex pools (tests look for leaks).
int32_t EdgeGraphEdgesInUse();
int32_t EdgeGraphVerticesInUse();

// ---- Graph lifecycle -------------------------------------------------------------

// Clears the record, generation 1, a grid of depth 5 over bounds (the default
// bounds when null), empty rectangles.
[[nodiscard]] int EdgeGraphInit(EdgeGraph& graph, const Rect32* bounds = nullptr);
// Frees regions, edges, vertices, the grid and both style tables.
void EdgeGraphFreeAll(EdgeGraph& graph);

// ---- Half-edges and edges ----------------------------------------------------------

inline HalfEdge* HalfEdgeTwin(HalfEdge* h) {
  return h == &h->edge->a ? &h->edge->b : &h->edge->a;
}
inline const HalfEdge* HalfEdgeTwin(const HalfEdge* h) {
  return h == &h->edge->a ? &h->edge->b : &h->edge->a;
}
inline bool HalfEdgeIsSideB(const HalfEdge* h) {
  return (h->flags & kHalfSideB) != 0;
}
inline bool EdgeIsLinked(const Edge& e) {
  return e.a.vertex != nullptr;
}
// The curve in the half-edge's direction: the edge's curve for side A, the
// reversed curve for side B.
void EdgeGetCurve(const HalfEdge* h, QuadCurve& out);
// Tight bounds grown by the line's half-width (LineStyleOutset * 256).
void EdgeGetStrokedBounds(const EdgeGraph& graph, const Edge& edge, Rect32& out);

// Takes a zeroed edge from the pool with the curve; side B marked. -1 when the
// pool is exhausted.
[[nodiscard]] int EdgeGraphNewEdge(const QuadCurve& curve, Edge** out);
// Returns an unlinked edge to its pool.
void EdgeGraphFreeEdgeRecord(Edge* edge);
// Stamps the birth, files the edge in the grid and pushes its sides onto the
// rings of the vertices at its ends (made when missing).
[[nodiscard]] int EdgeGraphLinkEdge(EdgeGraph& graph, Edge* edge);
// Saves the edge for undo (first time in a change) and takes it out of the
// grid and the rings. Nothing for an edge that is not linked.
[[nodiscard]] int EdgeGraphUnlinkEdge(EdgeGraph& graph, Edge* edge);
// Unlinks, then returns the edge to its pool.
[[nodiscard]] int EdgeGraphDeleteEdge(EdgeGraph& graph, Edge* edge);
// Opens a change at the first link, unlink or touch after EdgeGraphEndChange:
// sets change in progress, drops the selection cache and calls the callback.
void EdgeGraphBeginChange(EdgeGraph& graph);
// Saves the edge for undo the first time in a change; every change of an
// edge's styles or curve calls it first.
[[nodiscard]] int EdgeGraphTouchEdge(EdgeGraph& graph, Edge* edge);

// Frees the regions of the half-edges at the vertex.
void EdgeGraphFreeRegionsAtVertex(EdgeGraph& graph, Vertex* vertex);
// Frees one region: its bounds go to the region-rebuild rectangle, its bridges
// and the region links along its boundary are cleared, its children move up
// into its own sibling list, and it returns to its pool.
void RegionFree(EdgeGraph& graph, Region* region);
// Frees every vertex without half-edges (in the rectangle when given); this
// also forgets the vertex cache.
void EdgeGraphFreeEmptyVertices(EdgeGraph& graph, const Rect32* rect = nullptr);

// Visits the edges (vertices) whose grid cells touch rect (all when null). The
// callback must not link or unlink anything.
template <class F>
void EdgeGraphForEachEdge(const EdgeGraph& graph, const Rect32* rect, F&& f) {
  EdgeIter it;
  EdgeIterInit(it, graph.grid, 0, rect);
  while (void* head = GridIterAdvance(it))
    for (Edge* e = static_cast<Edge*>(head); e;) {
      Edge* next = static_cast<Edge*>(e->grid_next);
      f(e);
      e = next;
    }
}
template <class F>
void EdgeGraphForEachVertex(const EdgeGraph& graph, const Rect32* rect, F&& f) {
  EdgeIter it;
  EdgeIterInit(it, graph.grid, 1, rect);
  while (void* head = GridIterAdvance(it))
    for (Vertex* v = static_cast<Vertex*>(head); v;) {
      Vertex* next = static_cast<Vertex*>(v->grid_next);
      f(v);
      v = next;
    }
}

// ---- Style tables -----------------------------------------------------------------

// The index of an equal entry, appending the style when none is equal; 0 for
// no fill (no line). The last hit is tried first, then the table from index 1.
// An append that would pass kStyleLastIndex fails with -1 and changes nothing.
[[nodiscard]] int EdgeGraphAddFillStyle(EdgeGraph& graph, const FillStyle& style);
[[nodiscard]] int EdgeGraphAddLineStyle(EdgeGraph& graph, const LineStyle& style);
// Entry (index AND 0x7FFF); index 0 or past the count gives an all-zero record.
void EdgeGraphGetFillStyle(const EdgeGraph& graph, StyleIndex index, FillStyle& out);
void EdgeGraphGetLineStyle(const EdgeGraph& graph, StyleIndex index, LineStyle& out);
// A style index of source as the index of an equal style of target (appended
// there if needed), keeping bit 15; 0 and reserved tags pass unchanged.
// Negative on failure.
[[nodiscard]] int EdgeGraphReindexFill(const EdgeGraph& source, EdgeGraph& target,
                                       StyleIndex index);
[[nodiscard]] int EdgeGraphReindexLine(const EdgeGraph& source, EdgeGraph& target,
                                       StyleIndex index);
// Copies the line and both fills of from (a source edge) to to, re-indexed.
[[nodiscard]] int EdgeCopyStylesReindexed(const EdgeGraph& source, const Edge& from,
                                          EdgeGraph& target, Edge& to);
// A copy linked as it is (not inserted) may cross what its original crossed:
// it keeps the original's kEdgeUnsplit mark.
inline void EdgeCopyUnsplitMark(const Edge& from, Edge& to) {
  to.flags = static_cast<uint16_t>(to.flags | (from.flags & kEdgeUnsplit));
}

// ---- Changes ----------------------------------------------------------------------

// Closes the change: out = redraw rectangle plus the stroked bounds of every
// touched edge, in twips; the generation advances and the change log is
// forgotten.
void EdgeGraphEndChange(EdgeGraph& graph, Rect32& out);
