// Consistency check of an edge graph, for tests, fuzzing and debugging.
//
// It walks the whole graph and reports every broken invariant it finds: grid
// chains and the cells edges are filed in, the two sides of each edge and the
// vertices at its ends, end points on the 128 grid, rings (each half-edge in
// exactly one ring, at its own vertex; sorted rings in ascending direction
// with the right degree), the edge count, one vertex per position, the style
// tables (no duplicates, no empty entries, every index in range) and, when
// asked, that no two edges cross or overlap except at shared ends. Crossings
// are looked for twice: with the intersection search insertion uses, and by
// an independent test on flattened curves that shares no code with it. Edges
// linked unsplit (kEdgeUnsplit) may cross others and are left out of both
// unless asked for.
#pragma once

#include <string>
#include <vector>

struct EdgeGraph;

struct EdgeGraphCheckOptions {
  bool crossings = true;         // look for crossing and coincident edges
  bool require_sorted = false;   // every vertex with half-edges must be sorted (after a clean-up)
  bool include_unsplit = false;  // check the crossings of edges linked unsplit too
};

// The violations found, at most 32, each a line of text; empty when valid.
std::vector<std::string> EdgeGraphCheck(const EdgeGraph& graph,
                                        const EdgeGraphCheckOptions& options = {});
