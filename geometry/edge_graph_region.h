// Regions of an edge graph: the filled faces derived from its half-edges.
//
// Every half-edge belongs to exactly one region, the cycle met by walking the
// graph: the successor of a half-edge is the ring successor of its twin at the
// twin's vertex. With rings sorted by direction (EdgeGraphCleanup) the walk
// keeps the face on its right. Regions are arranged by containment in a tree:
// the top level holds the regions no other region contains; under an outer
// region hang its holes, under a hole the outer regions inside it. Only the
// regions of a sibling list all carry the link to its parent.
//
// Regions are built lazily: any change at a vertex frees the regions there,
// and the next query (or EdgeGraphUpdate) builds them again from the fills
// written on the half-edges.
//
// Results follow the edge graph's convention: 0 on success, -1 when a pool or
// the heap is exhausted, -2 when a temporary grid cannot make a cell.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/edge_graph.h"

struct PointList;

// The next half-edge of the same region.
HalfEdge* HalfEdgeNextOnBoundary(const HalfEdge* h);

// The region a region hangs under; null at the top level.
Region* RegionGetParent(const Region* region);

// Drops the graph's cached answer to "has a selection": every operation that
// writes styles calls it, since the cache is otherwise only dropped when a
// change begins and several edits may share one change.
inline void EdgeGraphForgetSelection(EdgeGraph& graph) {
  graph.flags &= static_cast<uint16_t>(~kGraphSelectionValid);
}

inline bool RegionIsOuter(const Region& r) {
  return (r.flags & kRegionOuter) != 0;
}
inline bool RegionIsEmpty(const Region& r) {
  return (r.flags & kRegionEmpty) != 0;
}

// When the region-rebuild rectangle is not empty: cleans up the vertices, gives
// every half-edge there without a region a new region, and empties the
// rectangle.
[[nodiscard]] int EdgeGraphBuildRegions(EdgeGraph& graph);

// Depth-first walk of the region tree: a region before its children, children
// before the next sibling. The stack grows as deep as the tree is.
struct RegionIter {
  EdgeGraph* graph = nullptr;
  Region* next = nullptr;      // the region the next call returns
  std::vector<Region*> stack;  // ancestors of `next`
};

// Builds any missing regions and starts the walk.
[[nodiscard]] int RegionIterInit(RegionIter& iter, EdgeGraph& graph);
// The next region, or null at the end; the region it hangs under (null at the
// top level) in *parent when given.
Region* RegionIterNext(RegionIter& iter, Region** parent = nullptr);

// Sets the fill of one region: marks it fixed, stores it and writes it on
// every boundary half-edge whose fill differs (touching the edge).
[[nodiscard]] int RegionSetFillOne(Region* region, StyleIndex fill);
// Sets the fill of the region and of each of its direct children that is a
// hole.
[[nodiscard]] int RegionSetFill(Region* region, StyleIndex fill);
// Every region whose fill index (without bit 15) is old gets new with its own
// selection bit kept; new = 0 gives 0.
[[nodiscard]] int EdgeGraphReplaceFill(EdgeGraph& graph, StyleIndex old_fill, StyleIndex new_fill);

// Whether the point lies inside the region's boundary cycle (holes of the
// region not subtracted). An empty region contains nothing.
bool RegionContainsPoint(const Region* region, const Point32& point);
// The deepest region containing the point (regions are built first), or null.
// Uses each region's `inside_stamp` as scratch.
Region* EdgeGraphFindRegion(EdgeGraph& graph, const Point32& point);

// Removes the bridges between the region and its holes and among the holes.
void RegionClearBridges(Region* region);

// Gives the fill to regions: with contact set, to every outer region sharing a
// boundary edge with the first top-level region; otherwise (after building the
// regions) to the outer regions at tree depths 2, 3, 6, 7, ... (the odd
// nesting levels of closed contours: the even-odd rule).
// The rule counts depth in the region tree, not crossings of contours: where a
// contour crosses itself its pieces are neighbouring outer regions at the same
// depth, so every piece is painted. A pentagram is painted whole, its centre
// included, where the even-odd rule would leave the centre out; a lasso that
// crosses itself therefore selects its centre too.
[[nodiscard]] int EdgeGraphPaintRegions(EdgeGraph& graph, StyleIndex fill, bool contact);

// Large builds find related regions through a temporary spatial index of the
// tree instead of walking sibling lists; the tree comes out the same. Tests
// force either way; returns the previous mode.
constexpr int kRegionIndexBySize = 0;
constexpr int kRegionIndexAlways = 1;
constexpr int kRegionIndexNever = 2;
int EdgeGraphSetRegionIndexMode(int mode);
// Restores kRegionIndexBySize and kRegionStartBySize (part of
// EdgeGraphResetGlobals).
void EdgeGraphResetRegionIndexMode();

// Each new region's place in the tree is searched from the top level down,
// one comparison per level. Builds whose searches run deep guess instead,
// from one sweep of the graph, a region that holds each new region and search
// from there; the tree comes out the same. Tests force either way (from the
// top: the plain build, each region going into the tree as soon as it is
// made); returns the previous mode.
constexpr int kRegionStartBySize = 0;
constexpr int kRegionStartGuessed = 1;
constexpr int kRegionStartFromTop = 2;
int EdgeGraphSetRegionStartMode(int mode);
// Work of the searches since the process started: the levels descended and
// the searches that started at a guessed region.
struct RegionSearchCounts {
  uint64_t levels = 0;
  uint64_t guessed_starts = 0;
};
RegionSearchCounts EdgeGraphRegionSearchCounts();

// Records in use in the region pool (tests look for leaks).
int32_t EdgeGraphRegionsInUse();
