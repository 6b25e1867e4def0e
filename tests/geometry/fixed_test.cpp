#include "geometry/fixed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

long double ToDouble(Fixed v) {
  return v / 65536.0L;
}

#include "geometry/fixed_tables.inc"

// Exact reference of FixedDivShift: a * 2^n / b, halves away from zero,
// saturated.
int32_t ReferenceDiv(int32_t a, int32_t b, int n = 16) {
  const bool neg = (a < 0) != (b < 0);
  if (b == 0) return a >= 0 ? INT32_MAX : INT32_MIN;
  const int64_t ua = a == INT32_MIN ? INT32_MAX : std::llabs(a);
  const int64_t ub = b == INT32_MIN ? INT32_MAX : std::llabs(b);
  __int128 q = ((static_cast<__int128>(ua) << n) * 2 + ub) / (2 * ub);
  if (q > INT32_MAX) return neg ? INT32_MIN : INT32_MAX;
  return neg ? -static_cast<int32_t>(q) : static_cast<int32_t>(q);
}

// VectorLength as the drawing model defines it: the smaller coordinate over
// the larger by FixedDiv, a factor interpolated from the length table,
// FixedMul by the larger.
int32_t ReferenceLength(int32_t x, int32_t y) {
  auto mag = [](int32_t v) { return v == INT32_MIN ? INT32_MAX : std::abs(v); };
  const int32_t ax = mag(x), ay = mag(y);
  const int32_t m = std::max(ax, ay);
  if (m == 0) return 0;
  const int32_t r = FixedDiv(std::min(ax, ay), m);
  const int64_t f = r & 1023;
  const int32_t s = static_cast<int32_t>(
      ((1023 - f) * kLengthTable[r >> 10] + f * kLengthTable[(r >> 10) + 1]) >> 14);
  return FixedMul(m, s);
}

}  // namespace

TEST(FixedArithmetic, EdgeVectors) {
  struct Case {
    const char* what;
    int32_t got, want;
  } cases[] = {
      {"1.5 x 0.5", FixedMul(0x18000, 0x8000), 0xC000},
      {"-1 x 0.5 rounds the half up", FixedMul(-1, 0x8000), 0},
      // (2^31 - 1)^2 >> 16 = 2^46 - 2^16: only the low 32 bits are kept.
      {"product wraps to low 32 bits", FixedMul(0x7FFFFFFF, 0x7FFFFFFF), -0x10000},
      {"1 / 0", FixedDiv(1, 0), 0x7FFFFFFF},
      {"-1 / 0", FixedDiv(-1, 0), INT32_MIN},
      {"0 / 0", FixedDiv(0, 0), 0x7FFFFFFF},
      {"quotient 0x800000 saturates", FixedDiv(0x8000000, 0x10), 0x7FFFFFFF},
      {"1 / 2", FixedDiv(1, 2), 0x8000},
      {"-3 / 2", FixedDiv(-3, 2), -0x18000},
      {"-0x80000000 read as 0x7FFFFFFF", FixedDiv(INT32_MIN, INT32_MIN), 0x10000},
      {"FixedMulShift by 8", FixedMulShift(3, 0x80, 8), 2},
      {"FixedDivShift by 8", FixedDivShift(1, 2, 8), 128},
      {"RoundToMultiple(-15, 10)", RoundToMultiple(-15, 10), -20},
      {"RoundToMultiple(14, 10)", RoundToMultiple(14, 10), 10},
      {"RoundToMultiple(15, 10)", RoundToMultiple(15, 10), 20},
      {"sin 90", FixedSin(0x5A0000), 0x10000},
      {"sin -90", FixedSin(-0x5A0000), -0x10000},
      {"cos 360", FixedCos(0x1680000), 0x10000},
      {"cos -360", FixedCos(-0x1680000), 0x10000},
      {"sin 180", FixedSin(0xB40000), 0},
      {"cos 180", FixedCos(0xB40000), -0x10000},
      {"atan2(0, 0)", FixedAtan2(0, 0), 0x5A0000},
      {"atan2(0, -1)", FixedAtan2(0, -0x10000), 0xB40000},
      {"atan2(-1, 0)", FixedAtan2(-1, 0), -0x5A0000},
      {"atan(1) is 45", FixedAtan(0x10000), 0x2D0000},
      {"length of 0", VectorLength({0, 0}), 0},
      {"length 3-4-5 (1/1024 short)", VectorLength({0x30000, 0x40000}), 327360},
      {"estimate", VectorLengthEstimate({-30, 40}), 55},
      {"estimate of (-0x80000000, 0) saturates", VectorLengthEstimate({INT32_MIN, 0}), INT32_MAX},
      {"estimate of the largest vector saturates", VectorLengthEstimate({INT32_MIN, INT32_MIN}),
       INT32_MAX},
      {"estimate just below the limit", VectorLengthEstimate({INT32_MAX, 0}), INT32_MAX},
      {"fast distance", PointDistanceFast({0, 0}, {-30, 41}), 20},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
  // atan(1/65536) is 57 units: near -180, not at it.
  EXPECT_NEAR(FixedAtan2(-1, -0x10000), -0xB40000, 60);
}

TEST(FixedArithmetic, MulAndDivMatchExactReference) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  std::uniform_int_distribution<int32_t> small(-0x200000, 0x200000);
  for (int i = 0; i < 200000; ++i) {
    const int32_t a = i % 2 ? any(rng) : small(rng), b = i % 3 ? any(rng) : small(rng);
    const int64_t p = int64_t{a} * b;
    const int64_t want = (p >> 16) + ((p >> 15) & 1);
    ASSERT_EQ(FixedMul(a, b), static_cast<int32_t>(static_cast<uint32_t>(want))) << a << " " << b;
    ASSERT_EQ(FixedDiv(a, b), ReferenceDiv(a, b)) << a << " " << b;
  }
}

TEST(FixedArithmetic, DivShiftMatchesExactReferenceAtEveryShift) {
  // Quotients at and around the saturation bound 2^(31 - n), negative and
  // -0x80000000 operands, and random ones.
  std::mt19937 rng(5);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  for (int n : {0, 1, 8, 15, 16, 24, 25, 30, 31}) {
    for (int32_t b : {1, -1, 2, 3, -7, 0x10000, 0x7FFFFFFF, INT32_MIN, -0x12345}) {
      const int64_t bound = (int64_t{1} << (31 - n)) * std::llabs(b);
      for (int64_t a : {bound - 1, bound, bound + 1, -bound, -bound + 1, bound / 2, int64_t{0}}) {
        if (a < INT32_MIN || a > INT32_MAX) continue;
        const int32_t a32 = static_cast<int32_t>(a);
        ASSERT_EQ(FixedDivShift(a32, b, n), ReferenceDiv(a32, b, n)) << a << " " << b << " " << n;
      }
      ASSERT_EQ(FixedDivShift(INT32_MIN, b, n), ReferenceDiv(INT32_MIN, b, n)) << b << " " << n;
    }
    for (int i = 0; i < 20000; ++i) {
      const int32_t a = any(rng) >> (i % 31), b = any(rng) >> (i % 29);
      ASSERT_EQ(FixedDivShift(a, b, n), ReferenceDiv(a, b, n)) << a << " " << b << " " << n;
    }
  }
}

TEST(FixedLength, VectorLengthIsTheTableFormulaForEveryVector) {
  std::vector<Point32> vectors;
  // The ends of the range, both axes, equal and nearly equal coordinates.
  for (int32_t v : {0, 1, -1, 2, 0x7FFF, 0x10000, 0x7FFFFFFF, INT32_MIN, -0x7FFFFFFF, 0x40000000})
    for (int32_t w : {0, 1, -1, 0x8000, 0x7FFFFFFE, 0x7FFFFFFF, INT32_MIN})
      vectors.push_back({v, w});
  std::mt19937 rng(13);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  for (int i = 0; i < 400000; ++i) {
    const int32_t x = any(rng) >> (i % 31), y = any(rng) >> (i % 23);
    vectors.push_back({x, y});
    vectors.push_back({x, x ^ (i & 3)});
  }
  // Ratios exactly half-way between two 16-bit fractions (rounded up) and
  // one unit to either side: small * 2^17 = (2k + 1) * large.
  for (int i = 0; i < 100000; ++i) {
    const int32_t t = 1 + static_cast<int32_t>(rng() % 16383);
    const int32_t odd = 2 * static_cast<int32_t>(rng() % 65536) + 1;
    const int32_t large = t << 17, small = odd * t;
    for (int32_t d : {-1, 0, 1}) vectors.push_back({i % 2 ? -large : large, small + d});
  }
  for (const Point32& v : vectors)
    ASSERT_EQ(VectorLength(v), ReferenceLength(v.x, v.y)) << v.x << " " << v.y;
}

TEST(FixedTrigonometry, SineAndCosineWithinTwoUnits) {
  for (int64_t angle = -0x3000000; angle <= 0x3000000; angle += 977) {
    const long double rad = ToDouble(static_cast<int32_t>(angle)) * kPi / 180;
    ASSERT_NEAR(FixedSin(static_cast<int32_t>(angle)), std::sin(rad) * 65536, 2) << angle;
    ASSERT_NEAR(FixedCos(static_cast<int32_t>(angle)), std::cos(rad) * 65536, 2) << angle;
  }
  // Far-out angles reduce without overflow.
  EXPECT_NEAR(FixedSin(INT32_MIN), std::sin(ToDouble(INT32_MIN) * kPi / 180) * 65536, 2);
  EXPECT_NEAR(FixedCos(INT32_MAX), std::cos(ToDouble(INT32_MAX) * kPi / 180) * 65536, 2);
}

TEST(FixedTrigonometry, ArctangentWithinTolerance) {
  const long double tol = 0.0003L * 65536;  // 0.0003 degrees
  for (int32_t r = 0; r <= 0x10000; ++r)
    ASSERT_NEAR(FixedAtanRatio(r), std::atan(ToDouble(r)) * 180 / kPi * 65536, tol) << r;
  std::mt19937 rng(3);
  std::uniform_int_distribution<int32_t> coord(-0x4000000, 0x4000000);
  for (int i = 0; i < 100000; ++i) {
    int32_t x = coord(rng), y = coord(rng);
    if (i % 4 == 0) x >>= 12;  // steep vectors
    if (i % 4 == 1) y >>= 12;  // flat vectors
    if (x == 0) continue;
    // The ratio (or its inverse above 1) is rounded to 16 fraction bits
    // before the polynomial: compare with the arctangent of that rounded value.
    const int32_t ratio = FixedDiv(y, x);
    if (ratio == INT32_MAX || ratio == INT32_MIN) continue;
    long double want;
    if (std::abs(ratio) > 0x10000) {
      const int32_t inv = FixedDiv(0x10000, std::abs(ratio));
      want = 90 - std::atan(ToDouble(inv)) * 180 / kPi;
      if (ratio < 0) want = -want;
    } else {
      want = std::atan(ToDouble(ratio)) * 180 / kPi;
    }
    if (x < 0) want += y >= 0 ? 180 : -180;
    ASSERT_NEAR(FixedAtan2(y, x), want * 65536, tol) << x << " " << y;
  }
  EXPECT_NEAR(FixedTan(0x2D0000), 0x10000, 2);
}

TEST(FixedLength, VectorLengthIsAtMostOneThousandthShort) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int32_t> coord(-0x20000000, 0x20000000);
  for (int i = 0; i < 100000; ++i) {
    const int32_t x = coord(rng) >> (i % 20), y = coord(rng) >> (i % 13);
    const long double len =
        std::sqrt(static_cast<long double>(x) * x + static_cast<long double>(y) * y);
    const long double got = VectorLength({x, y});
    ASSERT_LE(got, len + 1) << x << " " << y;
    // 1/1024 short by design, plus the 16-bit fraction of the interpolated factor.
    ASSERT_GE(got, len - len / 1024 - len / 65536 - 1) << x << " " << y;
  }
}

TEST(FixedPoints, SegmentDistanceAndNearestPoint) {
  struct Case {
    Point32 p0, p1, q, nearest;
  } cases[] = {
      {{0, 0}, {1000, 0}, {500, 300}, {500, 0}},      // horizontal, foot inside
      {{0, 0}, {1000, 0}, {-200, 100}, {0, 0}},       // before the start
      {{0, 0}, {0, 1000}, {50, 2000}, {0, 1000}},     // vertical, past the end
      {{0, 0}, {1000, 1000}, {1000, 0}, {500, 500}},  // diagonal by slopes
      {{0, 0}, {1000, 1000}, {-500, -100}, {0, 0}},   // diagonal, left of the left end
      {{2000, 2000}, {1000, 1000}, {3000, 2500}, {2000, 2000}},
      {{5, 5}, {5, 5}, {8, 9}, {5, 5}},  // degenerate segment
  };
  for (const auto& c : cases) {
    Point32 n;
    const int32_t d = PointSegmentDistance(c.p0, c.p1, c.q, &n);
    EXPECT_NEAR(n.x, c.nearest.x, 1) << c.q.x << "," << c.q.y;
    EXPECT_NEAR(n.y, c.nearest.y, 1) << c.q.x << "," << c.q.y;
    EXPECT_EQ(d, PointDistance(n, c.q));
  }
}

TEST(FixedPoints, SegmentIntersectHandlesLongSegments) {
  Fixed ta = -1, tb = -1;
  EXPECT_TRUE(SegmentIntersect({0, 0}, {100, 100}, {0, 100}, {100, 0}, &ta, &tb));
  EXPECT_EQ(ta, 0x8000);
  EXPECT_EQ(tb, 0x8000);
  EXPECT_FALSE(SegmentIntersect({0, 0}, {100, 0}, {0, 10}, {100, 10}, &ta, &tb));  // parallel
  EXPECT_FALSE(SegmentIntersect({0, 0}, {100, 100}, {200, 0}, {150, 10}, nullptr, nullptr));
  EXPECT_TRUE(SegmentIntersect({0, 0}, {100, 0}, {100, 0}, {100, 50}, &ta, &tb));  // shared end
  EXPECT_EQ(ta, 0x10000);
  EXPECT_EQ(tb, 0);
  // Graph-unit segments across the whole plane: the products exceed 64 bits.
  const int32_t big = 0x7FFF0000;
  EXPECT_TRUE(SegmentIntersect({-big, -big}, {big, big}, {-big, big}, {big, -big}, &ta, &tb));
  EXPECT_EQ(ta, 0x8000);
  EXPECT_EQ(tb, 0x8000);
}

TEST(FixedPoints, LerpAngleAndSetLength) {
  Point32 out;
  PointLerp({100, 200}, {0, 0}, 0, out);
  EXPECT_EQ(out, (Point32{0, 0}));
  PointLerp({100, 200}, {0, 0}, 0x10000, out);
  EXPECT_EQ(out, (Point32{100, 200}));
  const Point32 origin{1000, 1000};
  PointFromAngle(0x10000, 0x5A0000, &origin, out);
  EXPECT_EQ(out, (Point32{1000, 1000 + 0x10000}));
  EXPECT_EQ(PointAngle(out, &origin), 0x5A0000);
  Point32 v{300, 400};
  VectorSetLength(v, 1000);
  EXPECT_NEAR(v.x, 600, 2);
  EXPECT_NEAR(v.y, 800, 2);
  Point32 zero{0, 0};
  VectorSetLength(zero, 1000);
  EXPECT_EQ(zero, (Point32{0, 0}));
  EXPECT_TRUE(PointsNear({0, 0}, {5, -5}, 5));
  EXPECT_FALSE(PointsNear({INT32_MIN, 0}, {INT32_MAX, 0}, 5));
}

TEST(FixedRects, EmptyRectanglesStayEmpty) {
  const Rect32 empty;
  const Rect32 box{0, 10, 0, 20};
  Rect32 r = empty;
  RectOffset(r, 5, 5);
  EXPECT_TRUE(r.IsEmpty());
  RectInset(r, -5);
  EXPECT_TRUE(r.IsEmpty());
  RectShift(empty, ShiftLeft(8), r);
  EXPECT_TRUE(r.IsEmpty());
  RectUnion(empty, box, r);
  EXPECT_EQ(r, box);
  RectUnion(box, empty, r);
  EXPECT_EQ(r, box);
  MatrixTransformRect(Matrix2x3{}, empty, r);
  EXPECT_TRUE(r.IsEmpty());
  RectIntersect(box, empty, r);
  EXPECT_TRUE(r.IsEmpty());
  r = box;
  RectInset(r, 6);  // more than half the width
  EXPECT_TRUE(r.IsEmpty());
  r = box;
  RectInset(r, -2);
  EXPECT_EQ(r, (Rect32{-2, 12, -2, 22}));
  EXPECT_FALSE(RectsOverlap(empty, empty));
  EXPECT_FALSE(RectContainsPoint(empty, {INT32_MIN, INT32_MIN}));
  EXPECT_TRUE(RectsNearlyEqual(empty, empty, 0));
  EXPECT_FALSE(RectsNearlyEqual(empty, box, 1000));
  r = empty;
  RectAddPoint(r, {3, 4});
  EXPECT_EQ(r, (Rect32{3, 3, 4, 4}));
}

TEST(FixedRects, HandlesOverlapAndDistances) {
  const Rect32 box{0, 10, 0, 20};
  const Point32 want[9] = {{0, 20},  {10, 20}, {10, 0}, {0, 0}, {5, 20},
                           {10, 10}, {5, 0},   {0, 10}, {5, 10}};
  for (int h = 0; h < 9; ++h) {
    Point32 p;
    RectGetHandlePoint(box, h, p);
    EXPECT_EQ(p, want[h]) << h;
  }
  Point32 c;
  RectGetHandlePoint(box, 255, c);
  EXPECT_EQ(c, want[8]);
  const int opposite[] = {2, 3, 0, 1, 6, 7, 4, 5, 8, 8};
  for (int h = 0; h < 10; ++h) EXPECT_EQ(RectOppositeHandle(h), opposite[h]) << h;

  EXPECT_TRUE(RectsOverlap(box, {10, 20, 20, 30}));  // touching at a corner
  EXPECT_FALSE(RectsOverlap(box, {11, 20, 0, 30}));
  EXPECT_EQ(RectPointDistance(box, {5, 5}), 0);
  EXPECT_EQ(RectPointDistance(box, {0x10000 + 10, 5}), VectorLength({0x10000, 0}));
  EXPECT_EQ(RectDistance(box, {0x30000 + 10, 0x40000 + 10, 0x40000 + 20, 0x50000}),
            VectorLength({0x30000, 0x40000}));
  EXPECT_EQ(RectDistance(box, {5, 6, -50, 50}), 0);
  Rect32 r;
  RectSet(r, 10, 5, -3, -8);
  EXPECT_EQ(r, (Rect32{-3, 10, -8, 5}));
  RectFromCorners(r, WinRect{30, 40, 10, 20});
  EXPECT_EQ(r, (Rect32{10, 30, 20, 40}));
}

TEST(FixedRects, WinRectKeepsFullRange) {
  WinRect w;
  RectToWinRect({-100000, 200000, -300000, 400000}, w, true);
  EXPECT_EQ(w, (WinRect{-100000, -300000, 200000, 400000}));
  RectToWinRect({-100000, 200000, -300000, 400000}, w, false);
  EXPECT_EQ(w, (WinRect{-100000, 400000, 200000, -300000}));
  RectToWinRect(Rect32{}, w, true);
  EXPECT_EQ(w, WinRect{});
}

TEST(FixedMatrices, TransformConcatAndInvert) {
  Matrix2x3 rot, move, both, inv;
  MatrixSetRotation(rot, 0x5A0000);
  MatrixSetTranslation(move, 100, 200);
  MatrixConcat(rot, move, both);  // rotate, then move
  Point32 p;
  MatrixTransformPoint(both, {10, 0}, p);
  EXPECT_EQ(p, (Point32{100, 210}));
  MatrixInvert(both, inv);
  const Matrix2x3 inverse_of_both = inv;
  MatrixTransformPoint(inv, p, p);
  EXPECT_EQ(p, (Point32{10, 0}));

  Matrix2x3 scale;
  MatrixSetScale(scale, 0x30000, 0x20000);
  scale.tx = 300;
  MatrixInvert(scale, inv);
  EXPECT_EQ(inv.a, FixedDiv(0x10000, 0x30000));  // FixedDiv rounding
  EXPECT_EQ(inv.d, 0x8000);
  EXPECT_EQ(inv.tx, -FixedMul(inv.a, 300));

  const Matrix2x3 singular{0x10000, 0x10000, 0x10000, 0x10000, 5, 5};
  MatrixInvert(singular, inv);
  EXPECT_TRUE(MatrixIsIdentity(inv));

  // A nearly singular sheared matrix: the inverse saturates instead of overflowing.
  const Matrix2x3 tiny{1, 1, -1, 1, 0, 0};
  MatrixInvert(tiny, inv);
  EXPECT_EQ(inv.a, INT32_MAX);
  EXPECT_EQ(inv.c, INT32_MAX);
  EXPECT_EQ(inv.b, INT32_MIN);

  // In-place use: the output may be the input.
  Matrix2x3 m = both;
  MatrixInvert(m, m);
  EXPECT_EQ(m, inverse_of_both);
  MatrixConcat(both, m, m);
  EXPECT_TRUE(MatrixNearlyEqual(m, Matrix2x3{}, 2));

  EXPECT_TRUE(MatrixIsAxisAligned({0x10000, 16, -16, 0x20000, 0, 0}));
  EXPECT_FALSE(MatrixIsAxisAligned({0x10000, 17, 0, 0x20000, 0, 0}));
  EXPECT_FALSE(MatrixIsAxisAligned({-0x10000, 0, 0, 0x20000, 0, 0}));
  EXPECT_EQ(MatrixScaleLength(Matrix2x3{}, 1000), 1000 - 1);  // length is 1/1024 short
  EXPECT_EQ(MatrixScaleLength({1, 0, 0, 1, 0, 0}, 10), 1);
}

TEST(FixedMatrices, RectToRect) {
  Matrix2x3 m;
  MatrixRectToRect({0, 100, 0, 50}, {1000, 1200, 2000, 2200}, m);
  Point32 p;
  MatrixTransformPoint(m, {0, 50}, p);
  EXPECT_EQ(p, (Point32{1000, 2200}));
  MatrixTransformPoint(m, {100, 0}, p);
  EXPECT_EQ(p, (Point32{1200, 2000}));
  MatrixRectToRectUniform({0, 100, 0, 50}, {1000, 1200, 2000, 2200}, m);
  EXPECT_EQ(m.a, 0x20000);
  EXPECT_EQ(m.d, 0x20000);
  MatrixTransformPoint(m, {50, 25}, p);
  EXPECT_EQ(p, (Point32{1100, 2100}));
  // Sizes below 16 count as 16.
  MatrixRectToRect({0, 0, 0, 0}, {0, 32, 0, 8}, m);
  EXPECT_EQ(m.a, 0x20000);
  EXPECT_EQ(m.d, 0x10000);
}

TEST(FixedRandom, SequenceAndRanges) {
  Random16 r;
  RandomSeed(r, 0x12345678);
  EXPECT_EQ(r.state, static_cast<uint16_t>(0x1234 ^ 0x5678 ^ 0x7B2B));
  const uint16_t s0 = r.state;
  const Fixed v = RandomFixed(r, 0x10000);
  EXPECT_EQ(r.state, static_cast<uint16_t>(s0 * 25221 + 1));
  EXPECT_EQ(v, FixedMul(static_cast<int16_t>(r.state), 0x10000));
  RandomSeedFromPoint(r, {3, 5});
  EXPECT_EQ(r.state, 3 ^ 8);
  for (int i = 0; i < 70000; ++i) {
    const Fixed f = RandomFixed(r, 1000);
    ASSERT_GE(f, -500);
    ASSERT_LE(f, 500);  // 32767/65536 of the range rounds up to the half
    const Fixed g = RandomSignedFixed(r, 1000);
    ASSERT_LE(std::abs(g), 1000);
  }
  Random16 a, b;
  RandomSeedFromPoint(a, {100, 200});
  RandomSeedFromPoint(b, {100, 200});
  Point32 pa{100, 200}, pb{100, 200};
  RandomJitterPoint(a, pa, 5000);
  RandomJitterPoint(b, pb, 5000);
  EXPECT_EQ(pa, pb);  // seeded from positions: redrawing gives the same result
}

TEST(FixedArchive, LittleEndianFieldsAndShortReads) {
  std::vector<uint8_t> bytes;
  ArchiveWritePoint(bytes, {1, -2});
  ArchiveWriteRect(bytes, Rect32{});
  ArchiveWriteMatrix(bytes, Matrix2x3{});
  ASSERT_EQ(bytes.size(), 8u + 16u + 24u);
  const std::vector<uint8_t> head = {1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80};
  EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin()));
  EXPECT_EQ(bytes[24 + 2], 1);  // a = 0x10000

  std::span<const uint8_t> in(bytes);
  Point32 p;
  Rect32 r{1, 2, 3, 4};
  Matrix2x3 m{0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(ArchiveReadPoint(in, p));
  ASSERT_TRUE(ArchiveReadRect(in, r));
  ASSERT_TRUE(ArchiveReadMatrix(in, m));
  EXPECT_EQ(p, (Point32{1, -2}));
  EXPECT_TRUE(r.IsEmpty());
  EXPECT_TRUE(MatrixIsIdentity(m));
  EXPECT_TRUE(in.empty());

  std::span<const uint8_t> shortIn(bytes.data(), 23);
  shortIn = shortIn.subspan(8);  // 15 bytes left: one short of a rectangle
  Rect32 untouched{1, 2, 3, 4};
  EXPECT_FALSE(ArchiveReadRect(shortIn, untouched));
  EXPECT_EQ(untouched, (Rect32{1, 2, 3, 4}));
  EXPECT_EQ(shortIn.size(), 15u);
}

TEST(FixedShift, PowerOfTwoScaling) {
  EXPECT_EQ(ShiftValue(3, ShiftRight(1)), 2);
  EXPECT_EQ(ShiftValue(-3, ShiftRight(1)), -1);
  EXPECT_EQ(ShiftValue(5, ShiftLeft(8)), 1280);
  EXPECT_EQ(ShiftValue(-384, ShiftRight(8)), -1);  // -1.5 rounds up to -1
  EXPECT_EQ(ShiftValue(INT32_MAX, ShiftRight(40)), 0);
  Point32 p;
  PointShift({1000, -1000}, ShiftRight(3), p);
  EXPECT_EQ(p, (Point32{125, -125}));
}
