// The tidy-up of an edge graph after an edit, with the bounds and nearest-edge
// queries it uses. Results follow the edge graph's convention.
#pragma once

#include <cstdint>

#include "geometry/edge_graph.h"

// Union of the tight bounds of all edges (or of the selected ones) and of the
// bounds grown by each edge's line half-width.
void EdgeGraphGetBounds(const EdgeGraph& graph, bool selected_only, Rect32& tight, Rect32& stroked);

// The edge other than `excluded` whose nearest point lies closest to the point
// and not farther than radius (the first found on a tie), with that point in
// *out when given; null when none.
Edge* EdgeGraphNearestEdge(const EdgeGraph& graph, const Point32& point, int32_t radius,
                           const Edge* excluded, Point32* out);

// Joins pairs of collinear straight edges with the same line, drops loose
// edges shorter than short_limit and snaps longer loose ends onto an edge
// within snap_radius, for the vertices in rect.
[[nodiscard]] int EdgeGraphResolveCrossings(EdgeGraph& graph, int32_t short_limit,
                                            int32_t snap_radius, int32_t join_limit,
                                            const Rect32& rect);

// The tidy-up after every edit: reinserts moved edges, rebuilds regions and
// their fills, drops edges without a line between equal fills, resolves loose
// ends and joints, cleans up the vertices and prunes the grid.
[[nodiscard]] int EdgeGraphUpdate(EdgeGraph& graph);
