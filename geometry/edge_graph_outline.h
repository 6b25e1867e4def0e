// Whole-shape operations on an edge graph: clipping a painted graph to a
// region or to the selected area of another graph, selecting chains and
// connected runs of edges, applying and reading line and fill styles, and
// deciding which regions lie inside an imported path.
//
// The clipping operations tag "outside" with kFillTagOutside for the length of
// one call; the tag is replaced by 0 before they return, also on failure.
// Results follow the edge graph's convention: 0 on success, negative when a
// pool or the heap is exhausted.
#pragma once

#include <cstdint>

#include "geometry/edge_graph.h"
#include "geometry/fill_rule.h"
#include "geometry/pool.h"

struct PointList;

// Clips the graph to a region of another graph: fills outside the region (and
// inside a frame around both) are cleared.
[[nodiscard]] int EdgeGraphOutlineRegion(EdgeGraph& graph, Region* region);
// Clips the graph to the selected regions of the mask graph, then tidies the
// graph up (EdgeGraphUpdate). A mask without a selected region clears every
// fill of the graph.
[[nodiscard]] int EdgeGraphOutlineGraph(EdgeGraph& graph, EdgeGraph& mask);

// Selects (or deselects) the line of every edge of the smooth chain through
// the edge: the edges joined end to end through smooth joints.
[[nodiscard]] int EdgeWalkChain(EdgeGraph& graph, Edge* edge, bool on);
// Selects (or deselects) the line of every edge reachable from the edge over
// edges with the same line index.
[[nodiscard]] int EdgeGraphSelectConnectedLine(EdgeGraph& graph, Edge* edge, bool on);
// Selects the region, the lines of its boundary and, the same way, every
// region below it.
[[nodiscard]] int RegionSelectWithEdges(Region* region, bool on);
// Gives the line index (each edge keeping its selection mark) to the run of
// edges through the edge that meet at vertices of two half-edges and carry the
// same line value as the edge.
[[nodiscard]] int EdgeApplyLineToRun(EdgeGraph& graph, Edge* edge, StyleIndex line);

// Flags of the style operations.
constexpr int kStyleApply = 1;     // write the style; otherwise read it
constexpr int kStyleAllEdges = 2;  // every edge (region); otherwise the selected ones

// Apply: the style goes into the line table and every edge concerned takes it.
// Read: the style of the first edge concerned, or the all-zero style.
[[nodiscard]] int EdgeGraphApplyLineStyle(EdgeGraph& graph, int flags, LineStyle& style);
// The same for the fills of the outer regions (tree order).
[[nodiscard]] int EdgeGraphApplyFillStyle(EdgeGraph& graph, int flags, FillStyle& style);

// Union of the tight bounds of the region's boundary curves, each in twips and
// mapped by the matrix.
void RegionGetTransformedBounds(const Region* region, const Matrix2x3& matrix, Rect32& out);

// A set of curves (graph units) asked whether points lie inside them: the
// outline of an imported path, tested against the regions of a graph.
class CurveWorkList {
 public:
  struct Node {
    Node* next;
    QuadCurve curve;
  };

  CurveWorkList();
  ~CurveWorkList();
  CurveWorkList(const CurveWorkList&) = delete;
  CurveWorkList& operator=(const CurveWorkList&) = delete;

  // Pushes the curve at the head; null when memory runs out (the curve is
  // then lost).
  [[nodiscard]] Node* Add(const QuadCurve& curve);
  // Adds every curve of the path (twips), in graph units; -1 when one was lost.
  [[nodiscard]] int AddPointList(const PointList& path);
  // Non-zero: a winding number other than 0. Otherwise (even-odd, and the
  // two-sided rule, which tells sides the same way): an odd number of
  // crossings of the ray towards +x.
  bool ContainsPoint(const Point32& point) const;
  // Gives the fill to every outer region of the graph whose probe point lies
  // inside the list.
  [[nodiscard]] int FillCoveredRegions(EdgeGraph& graph, StyleIndex fill);

  Node* head = nullptr;  // newest first
  FillRule fill_rule = FillRule::kEvenOdd;

 private:
  BlockPool pool_;
};
