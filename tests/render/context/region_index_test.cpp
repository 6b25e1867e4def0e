// The outline index of textures: inside tests against the geometry core's
// own point-in-shape test, clipped pieces inside the outline, rows that
// never pass 64; and the line pass's stamps across the counter's wrap.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "geometry/path.h"
#include "geometry/point_list.h"
#include "render/context/graph_walk.h"
#include "render/context/stroke_tools.h"

namespace {

// Within 16 units of a curve of the closed path (the flattening and the
// reference's own rounding differ there).
bool NearOutline(const PointList& path, const Point32& p) {
  PointListIter it;
  PointListIterInit(path, it);
  QuadCurve c;
  while (PointListIterNext(it, c))
    if (CurveNearestPoint(c, p, 16, nullptr) >= 0) return true;
  CurveFromLine(path.buffer[path.length - 1].Point(), path.buffer[0].Point(), c);
  return CurveNearestPoint(c, p, 16, nullptr) >= 0;
}

TEST(RegionIndex, InsideAgreesWithThePathTestAndClipsInside) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int32_t> coord(0, 20000);
  for (int round = 0; round < 20; ++round) {
    PointList path;
    // A random polygon with a curve or two (it may cross itself: even-odd).
    for (int i = 0; i < 7; ++i)
      ASSERT_EQ(PointListAppend(path, {coord(rng), coord(rng)}, i == 3 ? 1 : 0), 0);
    const CRegionIndex index(nullptr, &path, nullptr, {0, 20000, 0, 20000}, 80);
    for (int k = 0; k < 400; ++k) {
      const Point32 p = {coord(rng), coord(rng)};
      if (NearOutline(path, p)) continue;
      const bool expected = ShapeContainsPoint(path, p);
      EXPECT_EQ(index.Contains(p), expected) << "round " << round << " at " << p.x << "," << p.y;
    }
    // Clipped pieces of a long diagonal lie inside.
    QuadCurve line;
    CurveFromLine({0, coord(rng)}, {20000, coord(rng)}, line);
    index.ClipCurve(line, [&](const QuadCurve& piece) {
      Point32 mid;
      CurvePointAt(piece, kFixedHalf, mid);
      EXPECT_TRUE(ShapeContainsPoint(path, mid)) << "round " << round;
    });
  }
}

TEST(RegionIndex, RowsNeverPass64) {
  // A tall outline of few points would want rows of 100 units: 2,000,000
  // units high, they double until 64 hold it.
  PointList path;
  for (const Point32& p : {Point32{0, 0}, Point32{1000, 0}, Point32{1000, 2000000}, Point32{0, 0}})
    ASSERT_EQ(PointListAppend(path, p, 0), 0);
  const CRegionIndex index(nullptr, &path, nullptr, {0, 1000, 0, 2000000}, 80);
  EXPECT_LT((2000000 >> index.RowShift()) - (0 >> index.RowShift()), 64);
  EXPECT_TRUE(index.Contains({900, 1000000}));
  EXPECT_FALSE(index.Contains({100, 1000000}));
}

TEST(LineChainWalk, StampsCountAcrossTheCountersWrap) {
  struct Case {
    uint32_t visit, first, last;
    bool stamped;
  };
  const Case cases[] = {
      {5, 5, 9, true},
      {9, 5, 9, true},
      {4, 5, 9, false},
      {10, 5, 9, false},
      // A pass that began just before the wrap.
      {0xFFFFFFFE, 0xFFFFFFFE, 3, true},
      {1, 0xFFFFFFFE, 3, true},
      {0xFFFFFFF0, 0xFFFFFFFE, 3, false},
      {4, 0xFFFFFFFE, 3, false},
      {0, 0xFFFFFFFE, 3, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LineChainWalk::StampedSince(c.visit, c.first, c.last), c.stamped)
        << c.visit << " in " << c.first << ".." << c.last;
}

}  // namespace
