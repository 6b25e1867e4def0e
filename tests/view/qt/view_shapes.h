// Shapes for the drawing view's window tests (document units are pixels at
// the tests' zoom).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "geometry/edge_graph_insert.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/pic_shape.h"

// A shape holding a filled rectangle; fill is solid in colour unless given.
inline CPicShape* Square(const Rect32& r, uint32_t colour, const FillStyle* given = nullptr) {
  auto* shape = new CPicShape;
  PointList path;
  EXPECT_EQ(PathFromRect(path, r), 0);
  FillStyle fill;
  fill.colour = colour;
  if (given != nullptr) fill = *given;
  EdgeGraph& g = shape->GetGeometry();
  // The fill on both sides, whichever way round the path runs (the face
  // round everything is never filled).
  const auto f = static_cast<StyleIndex>(EdgeGraphAddFillStyle(g, fill));
  EXPECT_EQ(EdgeGraphAddPath(g, path, 0, f, f), 0);
  return shape;
}

// The same square placed by a translation (a tween moves it).
inline CPicShape* Placed(const Rect32& r, uint32_t colour, int32_t dx, int32_t dy) {
  CPicShape* shape = Square(r, colour);
  Matrix2x3 m;
  MatrixSetTranslation(m, dx, dy);
  shape->SetShapeMatrix(m);
  return shape;
}
