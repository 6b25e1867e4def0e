#include "geometry/point_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "path_test_util.h"

void PrintTo(const PointListEntry& e, std::ostream* os) {
  *os << (e.off_curve ? "off " : "on ") << e.x << ',' << e.y;
}

namespace {

constexpr int32_t kOn = 0;
constexpr int32_t kOff = 1;

}  // namespace

// ---- Growth and appending --------------------------------------------------------

TEST(PointList, CapacityGrowsBy32ThenByAQuarterOfTheLength) {
  // Appending to a full list of `length` entries gives `capacity`.
  struct Step {
    int32_t length, capacity;
  };
  const Step steps[] = {{0, 32},    {32, 64},   {64, 96},   {96, 128},
                        {128, 160}, {160, 200}, {200, 250}, {250, 312}};
  PointList list;
  int32_t x = 0;
  for (const Step& s : steps) {
    while (list.length < s.length) ASSERT_EQ(PointListAppend(list, {x++, 0}, kOn), 0);
    ASSERT_EQ(list.capacity, list.length) << "list should be full at " << s.length;
    ASSERT_EQ(PointListAppend(list, {x++, 0}, kOn), 0);
    EXPECT_EQ(list.capacity, s.capacity) << "after length " << s.length;
  }
  for (int32_t i = 0; i < list.length; ++i) ASSERT_EQ(list.buffer[i].x, i);
}

TEST(PointList, RepeatedOnCurvePointIsStoredOnceOnlyAfterAnOnCurveEntry) {
  struct Case {
    const char* what;
    std::vector<PointListEntry> appended;
    std::vector<PointListEntry> stored;
  };
  const Case cases[] = {
      {"on, same on", {{5, 5, kOn}, {5, 5, kOn}}, {{5, 5, kOn}}},
      {"on, same off", {{5, 5, kOn}, {5, 5, kOff}}, {{5, 5, kOn}, {5, 5, kOff}}},
      {"off, same off", {{5, 5, kOff}, {5, 5, kOff}}, {{5, 5, kOff}, {5, 5, kOff}}},
      // The control point lies on the curve's end: the end must stay.
      {"off, same on",
       {{0, 0, kOn}, {5, 5, kOff}, {5, 5, kOn}},
       {{0, 0, kOn}, {5, 5, kOff}, {5, 5, kOn}}},
      {"first entry", {{0, 0, kOn}}, {{0, 0, kOn}}},
      {"not consecutive",
       {{1, 1, kOn}, {2, 2, kOn}, {1, 1, kOn}},
       {{1, 1, kOn}, {2, 2, kOn}, {1, 1, kOn}}},
  };
  for (const Case& c : cases) {
    PointList list;
    for (const PointListEntry& e : c.appended) {
      ASSERT_EQ(PointListAppend(list, {e.x, e.y}, e.off_curve), 0);
    }
    EXPECT_EQ(Entries(list), c.stored) << c.what;
  }
}

TEST(PointList, CurveWhoseControlPointIsItsEndSurvivesTheWalk) {
  PointList list;
  Fill(list, {{0, 0, kOn}, {100, 0, kOff}, {100, 0, kOn}, {100, 100, kOn}});
  const std::vector<QuadCurve> curves = Curves(list);
  ASSERT_EQ(curves.size(), 2u) << Describe(list);
  EXPECT_EQ(curves[0].control, (Point32{100, 0}));
  EXPECT_EQ(curves[0].p2, (Point32{100, 0}));
  EXPECT_EQ(curves[1].p2, (Point32{100, 100}));
}

TEST(PointList, AppendingAnEntryOfItsOwnBufferWhileItMoves) {
  PointList list;
  for (int32_t i = 0; i < 32; ++i) EXPECT_EQ(PointListAppend(list, {i * 3, i * 7}, kOn), 0);
  ASSERT_EQ(list.length, list.capacity);
  ASSERT_EQ(PointListAppend(list, list.buffer[5].Point(), kOff), 0);
  EXPECT_EQ(list.buffer[32], (PointListEntry{15, 35, kOff}));

  CPointList samples;
  for (int32_t i = 0; i < 32; ++i) EXPECT_EQ(samples.Add({i, -i}), 0);
  ASSERT_EQ(samples.count, samples.capacity);
  ASSERT_EQ(samples.Add(samples.items[4]), 0);
  EXPECT_EQ(samples.items[32], (Point32{4, -4}));
}

TEST(PointList, RefusedMemoryLeavesTheListAsItWas) {
  PointList list;
  for (int32_t i = 0; i < 32; ++i) EXPECT_EQ(PointListAppend(list, {i, i}, kOn), 0);
  const std::vector<PointListEntry> before = Entries(list);
  {
    RefuseMemory refuse;
    EXPECT_EQ(PointListAppend(list, {99, 99}, kOn), -1);
    EXPECT_EQ(PointListSetCapacity(list, 100), -1);
    PointList empty;
    EXPECT_EQ(PointListAppend(empty, {1, 1}, kOn), -1);
    const Point32 cubic[4] = {{0, 0}, {10, 30}, {20, 30}, {30, 0}};
    EXPECT_EQ(PointListAppendCubic(empty, cubic), -1);
    EXPECT_EQ(empty.capacity, 0);
    EXPECT_EQ(empty.length, 0);
  }
  EXPECT_EQ(list.capacity, 32);
  EXPECT_EQ(Entries(list), before);
}

TEST(PointList, SetCapacityTruncatesAndZeroFreesTheBuffer) {
  PointList list;
  Fill(list, {{0, 0, kOn}, {1, 0, kOn}, {2, 0, kOn}, {3, 0, kOn}, {4, 0, kOn}});
  ASSERT_EQ(PointListSetCapacity(list, 3), 0);
  EXPECT_EQ(list.capacity, 3);
  EXPECT_EQ(list.length, 3);
  EXPECT_EQ(list.buffer[2].x, 2);
  EXPECT_EQ(PointListSetCapacity(list, -1), -1);
  ASSERT_EQ(PointListSetCapacity(list, 0), 0);
  EXPECT_EQ(list.buffer, nullptr);
  EXPECT_EQ(list.length, 0);
  EXPECT_EQ(list.capacity, 0);
}

TEST(PointList, AppendCurveStoresTheControlPointOnlyForTrueCurves) {
  PointList list;
  QuadCurve line, curve;
  CurveFromLine({0, 0}, {10, 0}, line);
  CurveSet({10, 0}, {20, 10}, {30, 0}, curve);
  ASSERT_EQ(PointListAppendCurve(list, line), 0);
  ASSERT_EQ(PointListAppendCurve(list, curve), 0);  // its start repeats the line's end
  const std::vector<PointListEntry> expected = {
      {0, 0, kOn}, {10, 0, kOn}, {20, 10, kOff}, {30, 0, kOn}};
  EXPECT_EQ(Entries(list), expected);
}

TEST(PointList, AppendCubicFollowsTheCubic) {
  const Point32 cubic[4] = {{0, 0}, {0, 3000}, {3000, 3000}, {3000, 0}};
  PointList list;
  EXPECT_EQ(PointListAppendCubic(list, cubic), 0);
  const std::vector<QuadCurve> curves = Curves(list);
  ASSERT_GE(curves.size(), 2u) << Describe(list);
  ASSERT_LE(curves.size(), 8u);
  EXPECT_EQ(curves.front().p0, cubic[0]);
  EXPECT_EQ(curves.back().p2, cubic[3]);
  // The cubic's midpoint is (1500, 2250); some curve passes close to it.
  int32_t nearest = kNoDistance;
  for (const QuadCurve& c : curves) {
    Point32 at;
    if (CurveNearestPoint(c, {1500, 2250}, 1000, &at) >= 0) {
      nearest = std::min(nearest, PointDistance(at, {1500, 2250}));
    }
  }
  EXPECT_LE(nearest, 8);
}

TEST(PointList, CopyTransformShiftBoundsReverse) {
  PointList src;
  Fill(src, {{0, 0, kOn}, {10, 20, kOff}, {-4, 6, kOn}});
  PointList dst;
  Fill(dst, {{7, 7, kOn}, {8, 8, kOn}, {9, 9, kOn}, {1, 1, kOn}});
  ASSERT_EQ(PointListCopy(src, dst), 0);
  EXPECT_EQ(Entries(dst), Entries(src));
  EXPECT_EQ(dst.capacity, 3);
  EXPECT_EQ(PointListCopy(dst, dst), 0);
  EXPECT_EQ(Entries(dst), Entries(src));

  Rect32 bounds;
  PointListGetBounds(src, bounds);
  EXPECT_EQ(bounds, (Rect32{-4, 10, 0, 20}));  // the control point counts
  PointList empty;
  PointListGetBounds(empty, bounds);
  EXPECT_TRUE(bounds.IsEmpty());

  Matrix2x3 m;
  MatrixSetTranslation(m, 100, -100);
  PointListTransform(dst, m);
  EXPECT_EQ(dst.buffer[1], (PointListEntry{110, -80, kOff}));
  PointListShift(dst, ShiftLeft(1));
  EXPECT_EQ(dst.buffer[2], (PointListEntry{192, -188, kOn}));
  PointListShift(dst, ShiftRight(2));
  EXPECT_EQ(dst.buffer[2], (PointListEntry{48, -47, kOn}));  // halves round up

  src.Reverse();
  const std::vector<PointListEntry> reversed = {{-4, 6, kOn}, {10, 20, kOff}, {0, 0, kOn}};
  EXPECT_EQ(Entries(src), reversed);
}

TEST(PointList, FreeAndInit) {
  PointList list;
  Fill(list, {{0, 0, kOn}, {1, 1, kOn}});
  ASSERT_EQ(list.BuildSpatialIndex(), 0);
  PointListFree(list);  // buffer and cache
  EXPECT_EQ(list.buffer, nullptr);
  EXPECT_EQ(list.cache, nullptr);
  EXPECT_EQ(list.length, 0);
  EXPECT_EQ(list.capacity, 0);
}

// ---- Curve walk --------------------------------------------------------------------

TEST(PointListWalk, CurvesOfTypicalEntrySequences) {
  struct Case {
    const char* what;
    std::vector<PointListEntry> entries;
    std::vector<QuadCurve> curves;
  };
  auto set = [](Point32 a, Point32 b, Point32 c) { return QuadCurve{a, b, c, 0}; };
  auto line = [](Point32 a, Point32 c) {
    QuadCurve q;
    CurveFromLine(a, c, q);
    return q;
  };
  const Case cases[] = {
      {"empty", {}, {}},
      {"one entry", {{3, 3, kOn}}, {}},
      {"two on-curve", {{0, 0, kOn}, {10, 0, kOn}}, {line({0, 0}, {10, 0})}},
      {"on off on", {{0, 0, kOn}, {5, 9, kOff}, {10, 0, kOn}}, {set({0, 0}, {5, 9}, {10, 0})}},
      {"on off off on: joint at the controls' midpoint",
       {{0, 0, kOn}, {10, 20, kOff}, {30, 21, kOff}, {40, 0, kOn}},
       {set({0, 0}, {10, 20}, {20, 20}), set({20, 20}, {30, 21}, {40, 0})}},
      {"closed triangle",
       {{0, 0, kOn}, {10, 0, kOn}, {0, 10, kOn}, {0, 0, kOn}},
       {line({0, 0}, {10, 0}), line({10, 0}, {0, 10}), line({0, 10}, {0, 0})}},
      {"trailing control point ends the walk",
       {{0, 0, kOn}, {10, 10, kOff}, {20, 0, kOff}},
       {set({0, 0}, {10, 10}, {15, 5})}},
      {"lone trailing control point", {{0, 0, kOn}, {10, 10, kOff}}, {}},
      {"first entry off-curve is the start",
       {{0, 0, kOff}, {10, 10, kOff}, {20, 0, kOn}},
       {set({0, 0}, {10, 10}, {20, 0})}},
      {"curve then line",
       {{0, 0, kOn}, {5, 5, kOff}, {10, 0, kOn}, {20, 0, kOn}},
       {set({0, 0}, {5, 5}, {10, 0}), line({10, 0}, {20, 0})}},
      {"odd midpoint rounds down",
       {{0, 0, kOn}, {-1, -1, kOff}, {-2, 2, kOff}, {0, 4, kOn}},
       {set({0, 0}, {-1, -1}, {-2, 0}), set({-2, 0}, {-2, 2}, {0, 4})}},
  };
  for (const Case& c : cases) {
    PointList list;
    for (const PointListEntry& e : c.entries) {
      if (list.length == list.capacity) {
        ASSERT_EQ(PointListSetCapacity(list, list.length + 8), 0);
      }
      list.buffer[list.length++] = e;  // stored raw, exactly as given
    }
    const std::vector<QuadCurve> curves = Curves(list);
    ASSERT_EQ(curves.size(), c.curves.size()) << c.what << ": " << Describe(list);
    for (std::size_t i = 0; i < curves.size(); ++i) {
      EXPECT_EQ(curves[i], c.curves[i]) << c.what << ", curve " << i;
    }
  }
}

TEST(PointListWalk, IteratorCountsCurves) {
  PointList list;
  Fill(list, {{0, 0, kOn}, {1, 1, kOff}, {2, 2, kOff}, {3, 0, kOn}, {9, 0, kOn}});
  PointListIter iter;
  PointListIterInit(list, iter);
  QuadCurve c;
  int n = 0;
  while (PointListIterNext(iter, c)) EXPECT_EQ(iter.count, ++n);
  EXPECT_EQ(n, 3);
  EXPECT_FALSE(PointListIterNext(iter, c));  // stays at the end
}

// ---- Sample lists ------------------------------------------------------------------

TEST(CPointList, AddSkipsRepeatsAndGrowsByCapacity) {
  CPointList list;
  EXPECT_EQ(list.Add({1, 1}), 0);
  EXPECT_EQ(list.Add({1, 1}), 0);
  EXPECT_EQ(list.count, 1);
  EXPECT_EQ(list.capacity, 32);
  std::vector<int32_t> capacities;
  for (int32_t i = 0; list.capacity < 250; ++i) {
    ASSERT_EQ(list.Add({i, 100}), 0);
    if (capacities.empty() || capacities.back() != list.capacity)
      capacities.push_back(list.capacity);
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{32, 64, 96, 128, 160, 200, 250}));
  EXPECT_EQ(list.items[0], (Point32{1, 1}));
  EXPECT_EQ(list.items[1], (Point32{0, 100}));
}

TEST(CPointList, RefusedAddChangesNothing) {
  CPointList list;
  for (int32_t i = 0; i < 32; ++i) EXPECT_EQ(list.Add({i, 0}), 0);
  RefuseMemory refuse;
  EXPECT_EQ(list.Add({99, 0}), -1);
  EXPECT_EQ(list.count, 32);
  EXPECT_EQ(list.capacity, 32);
}

TEST(CPointList, CopyFromReplacesAndReleasesTheOldItems) {
  PointList path;
  Fill(path, {{0, 0, kOn}, {5, 5, kOff}, {10, 0, kOn}});
  CPointList list;
  for (int32_t i = 0; i < 40; ++i) EXPECT_EQ(list.Add({i, i}), 0);
  // Copying again and again must not leak the earlier blocks (the leak checker
  // of the sanitized build reports them).
  for (int round = 0; round < 3; ++round) ASSERT_EQ(list.CopyFrom(path), 0);
  ASSERT_EQ(list.count, 3);
  EXPECT_EQ(list.capacity, 3);
  EXPECT_EQ(list.items[1], (Point32{5, 5}));  // flags dropped
  {
    RefuseMemory refuse;
    EXPECT_EQ(list.CopyFrom(path), -1);
  }
  EXPECT_EQ(list.count, 3);
  EXPECT_EQ(list.items[2], (Point32{10, 0}));

  PointList empty;
  ASSERT_EQ(list.CopyFrom(empty), 0);
  EXPECT_EQ(list.count, 0);
  EXPECT_EQ(list.items, nullptr);
}

TEST(CPointList, BoundsTransformScale) {
  CPointList list;
  Rect32 r;
  list.GetBounds(r);
  EXPECT_TRUE(r.IsEmpty());
  EXPECT_EQ(list.Add({-3, 4}), 0);
  EXPECT_EQ(list.Add({7, -8}), 0);
  list.GetBounds(r);
  EXPECT_EQ(r, (Rect32{-3, 7, -8, 4}));
  Matrix2x3 m;
  MatrixSetScale(m, 2 * kFixedOne, kFixedOne);
  list.Transform(m);
  EXPECT_EQ(list.items[0], (Point32{-6, 4}));
  list.Scale(ShiftLeft(8));
  EXPECT_EQ(list.items[1], (Point32{14 * 256, -8 * 256}));
  list.Free();
  EXPECT_EQ(list.items, nullptr);
  EXPECT_EQ(list.count, 0);
}
