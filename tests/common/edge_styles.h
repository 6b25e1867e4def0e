// Edge-graph line and fill styles for tests. Every factory takes the colour
// first (0xAABBGGRR, as the styles store it).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "geometry/edge_style.h"

inline FillStyle SolidFill(uint32_t colour) {
  FillStyle f;
  f.colour = colour;
  return f;
}

inline LineStyle SolidLine(uint32_t colour, int width) {
  LineStyle l;
  l.colour = colour;
  l.width = static_cast<int16_t>(width);
  return l;
}

// A gradient of the stops (ratio 0..255, colour) through the matrix; its
// plain colour is the first stop's, opaque.
inline FillStyle GradientFill(GradientKind kind, const std::vector<std::pair<int, uint32_t>>& stops,
                              const Matrix2x3& matrix = {}) {
  FillStyle f = SolidFill(stops.front().second | 0xFF000000u);
  f.kind = kind;
  f.matrix = matrix;
  f.gradient.count = static_cast<uint8_t>(stops.size());
  for (size_t i = 0; i < stops.size(); ++i) {
    f.gradient.ratios[i] = static_cast<uint8_t>(stops[i].first);
    f.gradient.colours[i] = stops[i].second;
  }
  return f;
}

// How far the points (twips) reach into the gradient square (from -0x4000
// to 0x4000) that the matrix maps into the drawing: the largest coordinate
// in the square's space.
inline int32_t GradientSquareReach(const Matrix2x3& matrix, const std::vector<Point32>& points) {
  Matrix2x3 toGradient;
  MatrixInvert(matrix, toGradient);
  int32_t reach = 0;
  for (const Point32& p : points) {
    Point32 g;
    MatrixTransformPoint(toGradient, p, g);
    reach = std::max({reach, std::abs(g.x), std::abs(g.y)});
  }
  return reach;
}
