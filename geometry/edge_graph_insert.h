// Inserting edges into an edge graph: rounding, merging coincident pieces and
// splitting crossing ones. Results follow the edge graph's convention.
#pragma once

#include <cstdint>

#include "geometry/edge_graph.h"

struct PointList;

// Precedence bits of a coincident edge.
constexpr int kPrecedenceLine = 1;  // the new line replaces the old one
constexpr int kPrecedenceFill = 2;  // new fills replace non-empty old fills

// Rounds each coordinate to a multiple of 128, halves up.
Point32 RoundTo128(const Point32& p);
// Rounds the curve's ends; a curved curve's control point moves by the average
// of the two end shifts, a straight one's is set to the midpoint.
void CurveRoundEnds(QuadCurve& c);

// True for two straight curves one of which lies wholly on one side of the
// other's line, more than twice the intersection tolerance away: they can
// neither cross nor touch. Insertion skips the intersection search for them
// (its 16-bit parameters can report a touch there on very long lines).
bool StraightEdgesApart(const QuadCurve& a, const QuadCurve& b);
// False for an intersection whose points on the two curves lie farther apart
// than the parameters can account for (a search that lost precision on long
// curves), and for one that pairs an end of each curve when those ends are two
// different points; such an entry is ignored.
bool IntersectionIsConsistent(const QuadCurve& a, const QuadCurve& b,
                              const CurveIntersectEntry& entry);

// Inserts an unlinked edge: rounds its ends, drops or straightens degenerate
// curves, merges it with a coincident edge, and splits it and the edges it
// crosses at every crossing. Edges carrying the same non-zero stamp are not cut
// against each other. The graph owns the edge afterwards (it may have been
// merged away and freed).
[[nodiscard]] int EdgeGraphInsertEdge(EdgeGraph& graph, Edge* edge, uint32_t stamp, int precedence);
// Every curve of the path (twips), shifted left by 8 bits, becomes an edge with
// these styles, inserted with stamp 0 and precedence 3. fill_a lies on the left
// of the path's direction as seen on the screen (y down), fill_b on its right:
// the inside of a PathFromRect path is fill_b's. The face round everything is
// never filled, so EdgeGraphUpdate clears a fill left outside a closed path.
[[nodiscard]] int EdgeGraphAddPath(EdgeGraph& graph, const PointList& path, StyleIndex line,
                                   StyleIndex fill_a, StyleIndex fill_b);

// Limit on re-crossing splits, after which a piece is linked unsplit (tests
// lower it to reach the limit). Returns the previous value.
int EdgeGraphSetSplitGuard(int limit);
// Pieces linked unsplit at the guard since the last reset (tests).
int32_t EdgeGraphUnsplitCount();
// Restores the default guard and clears the count (part of EdgeGraphResetGlobals).
void EdgeGraphResetInsertCounters();
