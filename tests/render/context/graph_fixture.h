// A fresh edge graph per test with helpers for styles and polylines.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/point_list.h"
#include "tests/common/edge_styles.h"

class GraphFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    EdgeGraphResetGlobals();
    ASSERT_EQ(EdgeGraphInit(graph_), 0);
  }
  void TearDown() override { EdgeGraphFreeAll(graph_); }

  StyleIndex Fill(uint32_t colour) {
    return static_cast<StyleIndex>(EdgeGraphAddFillStyle(graph_, SolidFill(colour)));
  }
  StyleIndex Line(uint32_t colour, int16_t width, uint8_t kind = 0) {
    LineStyle l = SolidLine(colour, width);
    l.kind = kind;
    return static_cast<StyleIndex>(EdgeGraphAddLineStyle(graph_, l));
  }
  // A polyline in twips. A path clockwise on the screen has its inside on
  // side B.
  void AddPolyline(const std::vector<Point32>& points, StyleIndex line, StyleIndex fillA = 0,
                   StyleIndex fillB = 0) {
    PointList path;
    for (const Point32& p : points) ASSERT_EQ(PointListAppend(path, p, 0), 0);
    ASSERT_EQ(EdgeGraphAddPath(graph_, path, line, fillA, fillB), 0);
  }
  // A black-to-white linear gradient whose square (-16384..16384) spans
  // centre -/+ halfWidth twips.
  static FillStyle GreyGradient(int32_t centre, int32_t halfWidth) {
    const Fixed scale = static_cast<Fixed>(int64_t{kFixedOne} * halfWidth / 16384);
    Matrix2x3 m;
    MatrixSetScale(m, scale, scale);
    m.tx = m.ty = centre;
    return GradientFill(kGradientLinear, {{0, 0xFF000000}, {255, 0xFFFFFFFF}}, m);
  }
  void Reset() {
    EdgeGraphFreeAll(graph_);
    ASSERT_EQ(EdgeGraphInit(graph_), 0);
  }

  EdgeGraph graph_;
};
