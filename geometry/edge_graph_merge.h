// Merging one edge graph into another, with the fill contexts that carry the
// target's fills across to the edges that come in.
//
// A fill context is a scratch record made while merging and lasso selection:
// one for the area outside everything (depth 0, no fill) and one for every
// outer region of the target, its depth one more than that of the context
// around it. Every half-edge on a region's boundary points at its region's
// context (a hole at the context of the region it is a hole of), so a ray
// cast from any point finds the context around it.
#pragma once

#include <cstdint>

#include "geometry/edge_graph.h"

struct FillContext {
  FillContext* next = nullptr;  // the graph's list
  int32_t depth = 0;
  StyleIndex fill = 0;
  // Scratch of EdgeGraphFindFillContext.
  uint32_t visit = 0;
  int32_t crossings = 0;
};

// Makes the fill contexts of the graph (building its regions first) and
// points every half-edge at its context.
[[nodiscard]] int EdgeGraphBuildFillContexts(EdgeGraph& graph);
// Returns the graph's fill contexts to their pool and clears the half-edges'
// pointers to them.
void EdgeGraphFreeFillContexts(EdgeGraph& graph);

// Frees the graph's fill contexts when it goes out of scope, also when an
// exception passes.
class FillContextScope {
 public:
  explicit FillContextScope(EdgeGraph& graph) : graph_(graph) {}
  FillContextScope(const FillContextScope&) = delete;
  FillContextScope& operator=(const FillContextScope&) = delete;
  ~FillContextScope() { EdgeGraphFreeFillContexts(graph_); }

 private:
  EdgeGraph& graph_;
};

// The context around the point: of the contexts whose edges a ray from the
// point towards +x crosses an odd number of times, the deepest; null when
// there is none. Where edges do not cross, that is the context on the near
// side of the nearest crossing, and the ray stops there; it counts every
// crossing (EdgeGraphCountFillContext) when the nearest crossing lies too
// close to an end, a turning point, the point itself or another crossing to
// decide, or when the contexts were built over edges that may cross.
FillContext* EdgeGraphFindFillContext(const EdgeGraph& graph, const Point32& point);
// The same answer from the crossings of the whole ray.
FillContext* EdgeGraphCountFillContext(const EdgeGraph& graph, const Point32& point);

// Nothing when the fill's index is 0. Otherwise removes the edge's line when
// asked, then gives the fill to each side that does not carry it already and
// is empty or loses to it.
[[nodiscard]] int EdgeApplyContextFill(EdgeGraph& graph, Edge* edge, StyleIndex fill,
                                       bool fills_win, bool remove_line);

// Records in use in the fill-context pool (tests look for leaks).
int32_t EdgeGraphFillContextsInUse();
// Frees the fill-context pool (part of EdgeGraphResetGlobals; no merge or
// lasso selection may be running).
void EdgeGraphResetFillContextPool();

// Merge modes.
constexpr int kMergeLinesWin = 1;  // the source's lines win
constexpr int kMergeFillsWin = 2;  // the source's fills win

// Merges a copy of the source's edges into the target: the pieces are cut
// against the target's edges, the target's edges inside a filled region of the
// source take its fill, and the source's edges inside a filled region of the
// target take that fill, the mode deciding which side wins.
[[nodiscard]] int EdgeGraphMerge(EdgeGraph& source, EdgeGraph& target, int mode);
