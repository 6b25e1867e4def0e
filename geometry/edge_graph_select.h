// Selection inside an edge graph, copying, transforming and hit testing.
//
// Inside a shape the selection is not a list of objects: it is bit 15 of the
// style indices themselves. A selected line is an edge whose line index
// carries the bit; a selected fill is a fill index with the bit, on half-edges
// and on the region that takes it.
#pragma once

#include <cstdint>

#include "geometry/edge_graph.h"

struct PointList;

inline bool EdgeHasSelectedLine(const Edge& e) {
  return StyleIsSelected(e.line);
}
inline bool EdgeIsSelected(const Edge& e) {
  return StyleIsSelected(e.line) || StyleIsSelected(e.a.fill) || StyleIsSelected(e.b.fill);
}
inline bool RegionIsSelected(const Region& r) {
  return StyleIsSelected(r.fill);
}
bool VertexHasSelectedEdge(const Vertex& v);

// The cached answer, or a scan that stops at the first selected edge (and
// fills the cache).
bool EdgeGraphHasSelection(EdgeGraph& graph);

// Nothing when the line index is 0 or already in that state; otherwise
// touches the edge and sets or clears bit 15 of its line.
[[nodiscard]] int EdgeSetLineSelected(EdgeGraph& graph, Edge* edge, bool on);
// The region's fill with bit 15 set or cleared, written with RegionSetFill; a
// fill whose index is 0 becomes 0.
[[nodiscard]] int RegionSetSelected(Region* region, bool on);
// Every edge's line, then every region, to the state.
[[nodiscard]] int EdgeGraphSetSelected(EdgeGraph& graph, bool on);
// Nothing when equal; otherwise frees the half-edge's region and stores the
// fill.
void HalfEdgeSetFill(HalfEdge* h, StyleIndex fill);

// Removes the selected lines and fills (the edges stay until
// EdgeGraphUpdate drops those left without a line between equal fills) and
// clears every selection mark.
[[nodiscard]] int EdgeGraphDeleteSelected(EdgeGraph& graph);
// Copies the selected edges with their selected styles into the target:
// linked directly into an empty target, otherwise inserted (cut against what
// is there).
[[nodiscard]] int EdgeGraphCopySelected(EdgeGraph& source, EdgeGraph& target);
// Cuts the graph along a closed path (twips) and selects what lies inside it.
[[nodiscard]] int EdgeGraphLassoSelect(EdgeGraph& graph, const PointList& path);

// Copies the edges of the region and of every region below it into the
// target, each once, linked directly.
[[nodiscard]] int EdgeGraphCopyRegion(Region* region, EdgeGraph& target);
