// Clean-up of an edge graph's vertices. Results follow the edge graph's
// convention.
#pragma once

#include "geometry/edge_graph.h"

// Sorts every unsorted vertex ring by direction, splits pairs of edges that
// leave a vertex within one degree of each other, and marks smooth joints.
[[nodiscard]] int EdgeGraphCleanup(EdgeGraph& graph);

// Releases the scratch the clean-up keeps between calls (part of
// EdgeGraphResetGlobals).
void EdgeGraphCleanupReleaseScratch();
