// The polygon builder: contours closed on their first point, short ones
// dropped, curves flattened within the tolerance and only where they meet
// the clip, and long paths kept whole (no cap, no 16-bit wrap).
#include "render/context/polygon_builder.h"

#include <gtest/gtest.h>

#include <cmath>

#include "geometry/point_list.h"

namespace {

TEST(PolygonBuilder, ContoursAreClosedAndShortOnesDropped) {
  CPolygonBuilder b;
  b.AddPoint({0, 0});
  b.AddPoint({0, 0});  // a duplicate is dropped
  b.AddPoint({10, 0});
  b.AddPoint({10, 10});
  b.CloseContour();
  b.AddPoint({50, 50});  // one point: no contour
  b.CloseContour();
  b.AddPoint({100, 100});
  b.AddPoint({200, 100});
  b.CloseContour();
  ASSERT_EQ(b.ContourCount(), 2);
  EXPECT_EQ(b.m_contours[0], 4);  // three points and the first again
  EXPECT_EQ(b.m_contours[1], 3);
  EXPECT_EQ(b.PointCount(), 7);
  EXPECT_EQ(b.m_points[3], (Point32{0, 0}));
  EXPECT_EQ(b.m_bounds, (Rect32{0, 200, 0, 100}));
  b.Reset();
  EXPECT_EQ(b.PointCount(), 0);
  EXPECT_EQ(b.ContourCount(), 0);
  EXPECT_TRUE(b.m_bounds.IsEmpty());
}

TEST(PolygonBuilder, CurvesAreFlattenedWithinTheToleranceInsideTheClip) {
  QuadCurve c;
  CurveSet({0, 0}, {5000, 10000}, {10000, 0}, c);
  Matrix2x3 identity;
  CPolygonBuilder inside;
  inside.AddTransformedCurve(c, identity);
  // Subdivided (at most 128 pieces), every point on the curve y = 2x(1 - x/10000).
  ASSERT_GT(inside.PointCount(), 20);
  EXPECT_LE(inside.PointCount(), 129);
  for (const Point32& p : inside.m_points)
    EXPECT_NEAR(p.y, 2.0 * p.x * (1 - p.x / 10000.0), 1.6) << p.x;  // x rounded too, slope 2
  EXPECT_EQ(inside.m_points.back(), (Point32{10000, 0}));
  CPolygonBuilder outside;
  outside.m_clip = {20000, 30000, 20000, 30000};
  outside.AddTransformedCurve(c, identity);
  EXPECT_EQ(outside.PointCount(), 2);  // start and end only
}

TEST(PolygonBuilder, LongPathsAreKeptWhole) {
  PointList path;
  constexpr int kPoints = 20000;  // far past the old 8,191-point cap
  for (int i = 0; i < kPoints; ++i)
    ASSERT_EQ(PointListAppend(path, {i * 10, (i % 2) * 70000}, 0), 0);  // past 16 bits
  CPolygonBuilder b;
  Matrix2x3 identity;
  b.AddPath(path, identity);
  b.CloseContour();
  EXPECT_FALSE(b.m_overflow);
  EXPECT_EQ(b.PointCount(), kPoints + 1);
  EXPECT_EQ(b.m_points[1], (Point32{10, 70000}));
  EXPECT_EQ(b.m_points[kPoints - 1], (Point32{(kPoints - 1) * 10, 70000}));
}

}  // namespace
