// Transforming an edge graph and hit testing it.
// Results follow the edge graph's convention.
#pragma once

#include <cstdint>

#include "geometry/edge_graph.h"

// Whether the matrix turns the plane over (negative determinant).
bool MatrixMirrors(const Matrix2x3& m);
// Transforms every vertex and edge (translation in twips), with the placement
// of gradient and texture fills. The edges move into place, rounded and cut,
// when EdgeGraphUpdate reinserts them.
[[nodiscard]] int EdgeGraphTransform(EdgeGraph& graph, const Matrix2x3& matrix);
// The order in which lines are drawn: width, then colour (5 bits per
// channel), with bit 31 for a selected line.
uint32_t ColorPack15(const LineStyle& style, bool selected);

// A hit probe and its results.
struct EdgeHitRecord {
  Matrix2x3 matrix;           // maps the point and the lengths into drawing twips
  Point32 point;              // in the matrix's input units
  int32_t radius = 0;         // pick radius, same units
  int32_t ignore_widths = 0;  // non-zero: line widths play no part
  Region* region = nullptr;
  Edge* edge = nullptr;
  Vertex* vertex = nullptr;
};

// Finds the vertex, the edge and the filled region under the probe.
[[nodiscard]] int EdgeGraphHitTest(EdgeGraph& graph, EdgeHitRecord& record);
