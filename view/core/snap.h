// Snapping: while the user drags, draws or places something, the point under
// the cursor is pulled to nearby significant points of the drawing. A search
// is offered candidates with a priority and keeps the best one: a lower
// priority always wins, and within one priority the nearer candidate.
//
// Candidates come from the view's object walk: object centres, the handles
// of object bounds, vertices, midpoints and points of edges (looked up
// through each graph's spatial grid, never by a scan of every edge),
// crossings with the current alignment lines, the candidates of a dragged
// vertex and the grid. Coordinates are twips.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"

class ViewState;
struct EdgeGraph;
struct PointList;
struct Vertex;

// Candidate priorities (lower wins).
constexpr int32_t kSnapCentre = 1;          // an object's centre point
constexpr int32_t kSnapVertex = 2;          // handles, vertices, earlier points of a list
constexpr int32_t kSnapAlignCrossing = 3;   // an alignment line across an edge
constexpr int32_t kSnapMidpoint = 4;        // the midpoint of a straight edge
constexpr int32_t kSnapOnEdge = 5;          // the nearest point on an edge
constexpr int32_t kSnapAlign = 6;           // alignment with a neighbouring point
constexpr int32_t kSnapDirectionMid = 7;    // between two direction points of a dragged vertex
constexpr int32_t kSnapDirectionCross = 8;  // an alignment line across their segment
constexpr int32_t kSnapDirectionNear = 9;   // the nearest point on that segment
constexpr int32_t kSnapGrid = 10;           // a grid line
constexpr int32_t kSnapNothing = 15;        // nothing found
constexpr int32_t kSnapCombined = 256;      // request: the combined alignment point

struct SnapSearch {
  Point32 query;
  int32_t radius = 0;  // the farthest a candidate may be
  int32_t frame = 0;   // set per layer during a view walk
  int32_t best_distance = 0;
  Point32 best_point;
  int32_t best_priority = kSnapNothing;
  int32_t best_x_distance = 0x7FFFFFFF;  // of the best x-aligned candidate
  int32_t best_y_distance = 0x7FFFFFFF;
  Point32 align_point;  // x from the best x-aligned candidate, y from the best y-aligned one
  int32_t x_priority = kSnapNothing;
  int32_t y_priority = kSnapNothing;
  const Vertex* excluded = nullptr;  // the vertex being dragged
  int32_t skip_selected = 0;         // selected objects, vertices and edges are no candidates
  int32_t only_selected = 0;         // only selected ones are
  // Where the walk met the excluded vertex: the matrix of its graph (graph
  // twips to view twips), for the dragged-vertex candidates.
  int32_t excluded_found = 0;
  Matrix2x3 excluded_matrix;
};

// Zeroes the state and sets the start values: best distance = radius, best
// point = alignment point = query, priorities 15.
void SnapSearchInit(SnapSearch& s, const Point32& point, int32_t radius);
// Offers a point; 1 when it became the best. Priority 256 takes the better of
// the two axis priorities and is taken even beyond the radius.
int SnapSearchTryPoint(SnapSearch& s, int32_t priority, const Point32& point);
// Offers an alignment in the axis in which the point lies nearer the query,
// then the combined alignment point (priority 256).
void SnapSearchTryAxis(SnapSearch& s, int32_t priority, const Point32& point);
// A non-empty rectangle offers its nine handle points.
void SnapSearchTryRect(SnapSearch& s, int32_t priority, const Rect32& r);
// The candidates of one graph: vertices, far ends of straight edges at the
// excluded vertex, and (unless something of priority 4 or better is found)
// the edges near the query. matrix maps the graph's twips to view twips
// (null: identity).
void SnapSearchGraph(SnapSearch& s, const EdgeGraph& graph, const Matrix2x3* matrix);
// The view's grid as a pair of alignments, when the assistant's "Grid"
// tolerance is above 0 and the grid has a snapping axis.
void SnapSearchGrid(SnapSearch& s, const ViewState& view);
// The grid, then every object of the view's walk and each frame's own
// drawing.
void SnapSearchObjects(SnapSearch& s, const ViewState& view);
// The candidates of the dragged vertex's half-edge pairs (only while the best
// priority is 9 or worse). Needs the walk to have met the vertex.
void SnapSearchDraggedVertex(SnapSearch& s);

// Snaps point (in/out) with vertex (the one being dragged, or null) excluded;
// true when something was found. Nothing found leaves the point as it was.
bool SnapPoint(const Vertex* vertex, Point32& point, const ViewState& view, int32_t radius);
// Snaps every on-curve point of the list in turn, each against the points
// before it and the view's objects.
void SnapPointList(PointList& list, const ViewState& view, int32_t radius);
// Snaps the rectangle's corners; free sides move outwards to make it square
// when it is nearly one.
void SnapRect(Rect32& r, const ViewState& view, int32_t radius);
// Makes a nearly square rectangle square about its centre: 1 when
// |width - height| is below tolerance (and the rectangle changed to its
// mean size), else 0 and nothing changes.
int RectSnapSquare(Rect32& r, int32_t tolerance);

// Whether to snap now: the assistant's "Enabled" setting, inverted while
// Shift is held down (the input source's modifier state).
bool IsSnapToggled(bool shiftDown);
