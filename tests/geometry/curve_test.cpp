#include "geometry/curve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <vector>

// Printers, so that a failing case shows the whole curve.
void PrintTo(const Point32& p, std::ostream* os) {
  *os << "(" << p.x << ", " << p.y << ")";
}
void PrintTo(const QuadCurve& c, std::ostream* os) {
  *os << "{{" << c.p0.x << ", " << c.p0.y << "}, {" << c.control.x << ", " << c.control.y << "}, {"
      << c.p2.x << ", " << c.p2.y << "}, " << c.straight << "}";
}

namespace {

std::string Str(const QuadCurve& c) {
  return testing::PrintToString(c);
}

// Rounding error of evaluating c the fixed-point way: t^2 is rounded to
// 16 fraction bits before it scales the second difference p0 - 2 control + p2.
double EvalSlack(const QuadCurve& c) {
  const double ax = double(c.p0.x) - 2.0 * c.control.x + c.p2.x;
  const double ay = double(c.p0.y) - 2.0 * c.control.y + c.p2.y;
  return 2 + (std::abs(ax) + std::abs(ay)) / 65536;
}

// ---- Double-precision Bezier reference -------------------------------------

struct DPoint {
  double x, y;
};
DPoint D(const Point32& p) {
  return {double(p.x), double(p.y)};
}
double Dist(DPoint a, DPoint b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}
double Dist(DPoint a, const Point32& b) {
  return Dist(a, D(b));
}

struct DCurve {
  DPoint p0, c, p2;
  DPoint At(double t) const {
    const double s = 1 - t;
    return {s * s * p0.x + 2 * s * t * c.x + t * t * p2.x,
            s * s * p0.y + 2 * s * t * c.y + t * t * p2.y};
  }
  DPoint Deriv(double t) const {
    return {2 * (1 - t) * (c.x - p0.x) + 2 * t * (p2.x - c.x),
            2 * (1 - t) * (c.y - p0.y) + 2 * t * (p2.y - c.y)};
  }
  void Split(double t, DCurve& a, DCurve& b) const {
    const DPoint q0{p0.x + t * (c.x - p0.x), p0.y + t * (c.y - p0.y)};
    const DPoint q1{c.x + t * (p2.x - c.x), c.y + t * (p2.y - c.y)};
    const DPoint m{q0.x + t * (q1.x - q0.x), q0.y + t * (q1.y - q0.y)};
    a = {p0, q0, m};
    b = {m, q1, p2};
  }
  // Nearest point by dense sampling refined by ternary search.
  double Nearest(DPoint q, double* t_out) const {
    constexpr int kSamples = 4000;
    int best = 0;
    double best_d = 1e300;
    for (int i = 0; i <= kSamples; ++i) {
      const double d = Dist(At(double(i) / kSamples), q);
      if (d < best_d) best_d = d, best = i;
    }
    double lo = std::max(0.0, (best - 1.0) / kSamples), hi = std::min(1.0, (best + 1.0) / kSamples);
    for (int k = 0; k < 100; ++k) {
      const double m1 = lo + (hi - lo) / 3, m2 = hi - (hi - lo) / 3;
      if (Dist(At(m1), q) < Dist(At(m2), q))
        hi = m2;
      else
        lo = m1;
    }
    if (t_out) *t_out = (lo + hi) / 2;
    return Dist(At((lo + hi) / 2), q);
  }
  double Length() const {
    double len = 0;
    DPoint prev = p0;
    for (int i = 1; i <= 10000; ++i) {
      const DPoint p = At(i / 10000.0);
      len += Dist(prev, p);
      prev = p;
    }
    return len;
  }
};
DCurve D(const QuadCurve& c) {
  return {D(c.p0), D(c.control), D(c.p2)};
}

// Intersections of two curves by subdivision of the control polygons.
void RefIntersect(const DCurve& a, double a0, double a1, const DCurve& b, double b0, double b1,
                  int depth, std::vector<std::pair<double, double>>& out) {
  auto box = [](const DCurve& c, double& x0, double& x1, double& y0, double& y1) {
    x0 = std::min({c.p0.x, c.c.x, c.p2.x}), x1 = std::max({c.p0.x, c.c.x, c.p2.x});
    y0 = std::min({c.p0.y, c.c.y, c.p2.y}), y1 = std::max({c.p0.y, c.c.y, c.p2.y});
  };
  double ax0, ax1, ay0, ay1, bx0, bx1, by0, by1;
  box(a, ax0, ax1, ay0, ay1);
  box(b, bx0, bx1, by0, by1);
  if (ax1 < bx0 || bx1 < ax0 || ay1 < by0 || by1 < ay0) return;
  // Pieces whose control points lie within 1e-4 of their chords' midpoints
  // count as chords (2^-40 of the parameter range at the latest).
  auto flat = [](const DCurve& c) {
    return std::abs(c.c.x - (c.p0.x + c.p2.x) / 2) + std::abs(c.c.y - (c.p0.y + c.p2.y) / 2) < 1e-4;
  };
  if (depth >= 40 || (flat(a) && flat(b))) {
    // Chords: solve p0a + s*(p2a - p0a) = p0b + u*(p2b - p0b).
    const double rx = a.p2.x - a.p0.x, ry = a.p2.y - a.p0.y, sx = b.p2.x - b.p0.x,
                 sy = b.p2.y - b.p0.y;
    const double den = rx * sy - ry * sx;
    if (den == 0) return;
    const double qx = b.p0.x - a.p0.x, qy = b.p0.y - a.p0.y;
    const double s = (qx * sy - qy * sx) / den, u = (qx * ry - qy * rx) / den;
    if (s < -1e-9 || s > 1 + 1e-9 || u < -1e-9 || u > 1 + 1e-9) return;
    const double ta = a0 + s * (a1 - a0), tb = b0 + u * (b1 - b0);
    for (auto& e : out)
      if (std::abs(e.first - ta) < 1e-4 && std::abs(e.second - tb) < 1e-4) return;
    out.push_back({ta, tb});
    return;
  }
  DCurve a1c, a2c, b1c, b2c;
  a.Split(0.5, a1c, a2c);
  b.Split(0.5, b1c, b2c);
  const double am = (a0 + a1) / 2, bm = (b0 + b1) / 2;
  RefIntersect(a1c, a0, am, b1c, b0, bm, depth + 1, out);
  RefIntersect(a1c, a0, am, b2c, bm, b1, depth + 1, out);
  RefIntersect(a2c, am, a1, b1c, b0, bm, depth + 1, out);
  RefIntersect(a2c, am, a1, b2c, bm, b1, depth + 1, out);
}

constexpr double kOne = 65536.0;

class RandomCurves {
 public:
  explicit RandomCurves(uint32_t seed, int32_t range) : rng_(seed), coord_(-range, range) {}
  Point32 P() { return {coord_(rng_), coord_(rng_)}; }
  QuadCurve Curve() {
    QuadCurve c;
    CurveSet(P(), P(), P(), c);
    return c;
  }
  Fixed T() { return std::uniform_int_distribution<Fixed>(0, kFixedOne)(rng_); }
  std::mt19937& rng() { return rng_; }

 private:
  std::mt19937 rng_;
  std::uniform_int_distribution<int32_t> coord_;
};

QuadCurve Q(Point32 p0, Point32 c, Point32 p2) {
  QuadCurve q;
  CurveSet(p0, c, p2, q);
  return q;
}
QuadCurve Line(Point32 p0, Point32 p2) {
  QuadCurve q;
  CurveFromLine(p0, p2, q);
  return q;
}

}  // namespace

// ---- Construction and evaluation -------------------------------------------

TEST(CurveBasics, ConstructionAndSimpleTransforms) {
  const QuadCurve line = Line({0, 0}, {101, -7});
  EXPECT_EQ(line.straight, 1);
  EXPECT_EQ(line.control, (Point32{50, -4}));  // (p0 + p2) >> 1
  EXPECT_EQ(Q({1, 2}, {3, 4}, {5, 6}).straight, 0);

  QuadCurve c = Q({1, 2}, {3, 4}, {5, 6});
  CurveReverse(c, c);
  EXPECT_EQ(c, Q({5, 6}, {3, 4}, {1, 2}));

  QuadCurve shifted;
  CurveShift(Q({256, -384}, {128, 0}, {-129, 512}), ShiftRight(8), shifted);
  EXPECT_EQ(shifted, Q({1, -1}, {1, 0}, {-1, 2}));  // halves round up

  Matrix2x3 m;
  MatrixSetTranslation(m, 10, -10);
  QuadCurve moved;
  CurveTransform(line, m, moved);
  EXPECT_EQ(moved.p0, (Point32{10, -10}));
  EXPECT_EQ(moved.p2, (Point32{111, -17}));
  EXPECT_EQ(moved.straight, 1);
}

TEST(CurveBasics, PointAtEdgeVectors) {
  struct Case {
    QuadCurve c;
    Fixed t;
    Point32 want;
  } cases[] = {
      // At 1/2: (2*control + p0 + p2) / 4 truncating towards zero.
      {Q({0, 0}, {1, 0}, {0, 0}), 0x8000, {0, 0}},
      {Q({0, 0}, {-3, 3}, {0, 0}), 0x8000, {-1, 1}},
      {Q({0, 0}, {100, 200}, {400, 0}), 0, {0, 0}},
      {Q({0, 0}, {100, 200}, {400, 0}), kFixedOne, {400, 0}},
      // t = 1/4: 12.5 + 50 = 62.5 rounds up, 75 exactly.
      {Q({0, 0}, {100, 200}, {400, 0}), 0x4000, {63, 75}},
  };
  for (const auto& k : cases) {
    Point32 p;
    CurvePointAt(k.c, k.t, p);
    EXPECT_EQ(p, k.want) << Str(k.c) << " t=" << k.t;
  }
}

TEST(CurveBasics, PointAtAndSplitMatchReference) {
  // Coordinates up to 2^30, as in the edge graph: differences need 33 bits.
  for (int32_t range : {5000, 1 << 22, 1 << 30}) {
    RandomCurves rnd(11, range);
    for (int i = 0; i < 2000; ++i) {
      const QuadCurve c = rnd.Curve();
      const Fixed t = rnd.T();
      const DCurve dc = D(c);
      Point32 p;
      CurvePointAt(c, t, p);
      ASSERT_LE(Dist(dc.At(t / kOne), p), EvalSlack(c)) << Str(c) << " t=" << t;

      QuadCurve a, b;
      CurveSplit(c, t, a, b);
      DCurve da, db;
      dc.Split(t / kOne, da, db);
      ASSERT_EQ(a.p0, c.p0);
      ASSERT_EQ(b.p2, c.p2);
      ASSERT_EQ(a.p2, b.p0);
      ASSERT_LE(Dist(da.c, a.control), 3.0) << Str(c) << " t=" << t;
      ASSERT_LE(Dist(da.p2, a.p2), 4.0) << Str(c) << " t=" << t;
      ASSERT_LE(Dist(db.c, b.control), 3.0) << Str(c) << " t=" << t;

      CurveSplitHalf(c, a, b);
      dc.Split(0.5, da, db);
      ASSERT_LE(Dist(da.c, a.control), 1.0);
      ASSERT_LE(Dist(da.p2, a.p2), 2.0);
      ASSERT_LE(Dist(db.c, b.control), 1.0);
    }
  }
}

TEST(CurveBasics, SplitTwiceCutsAtBothParameters) {
  RandomCurves rnd(12, 1 << 20);
  for (int i = 0; i < 300; ++i) {
    const QuadCurve c = rnd.Curve();
    Fixed t1 = rnd.T(), t2 = rnd.T();
    QuadCurve a, b, d;
    CurveSplitTwice(c, t1, t2, a, b, d);
    Point32 lo, hi;
    CurvePointAt(c, std::min(t1, t2), lo);
    CurvePointAt(c, std::max(t1, t2), hi);
    EXPECT_EQ(a.p0, c.p0);
    EXPECT_EQ(a.p2, b.p0);
    EXPECT_EQ(b.p2, d.p0);
    EXPECT_EQ(d.p2, c.p2);
    // The second cut is found again on the remainder by the nearest point,
    // which measures pieces within 5 units of their chords along the chord.
    EXPECT_LE(PointDistance(a.p2, lo), EvalSlack(c) + 4) << Str(c) << " " << t1 << " " << t2;
    EXPECT_LE(PointDistance(b.p2, hi), 2 * EvalSlack(c) + 8) << Str(c) << " " << t1 << " " << t2;
  }
  // Both cuts at the ends: the middle piece is the whole curve.
  const QuadCurve c = Q({0, 0}, {500, 900}, {1000, 0});
  QuadCurve a, b, d;
  CurveSplitTwice(c, kFixedOne, 0, a, b, d);
  EXPECT_EQ(b, c);
}

// ---- Bounds and extremum ---------------------------------------------------

TEST(CurveBounds, AxisExtremumOnlyWhenInside) {
  struct Case {
    int32_t a, b, c, want;
  } cases[] = {
      {0, 10, 0, 5},                     // e < 0, f < 0: maximum at 1/2
      {0, -10, 0, -5},                   // e > 0, f > 0: minimum at 1/2
      {10, 0, 10, 5},  {0, 20, 10, 13},  // t = 2/3: 40/3 rounds to 13
      {0, 10, 5, 7},                     // t = 2/3: 20/3 rounds to 7
      {0, 10, 20, 0},                    // e = 0: straight on this axis
      {0, 10, 30, 0},                    // e > 0, f < 0: monotone, no extremum
      {30, 10, 0, 30},                   // e < 0, f > 0: monotone
      {0, 5, 10, 0},                     // evenly spaced
      {0, 0, 50, 0},                     // f = 0: the extremum is the start itself
      {7, 7, 7, 7},                      // e = f = 0
  };
  for (const auto& k : cases)
    EXPECT_EQ(CurveAxisExtremum(k.a, k.b, k.c), k.want) << k.a << " " << k.b << " " << k.c;
}

TEST(CurveBounds, TightBoundsMatchReference) {
  RandomCurves rnd(13, 1 << 29);
  for (int i = 0; i < 1000; ++i) {
    const QuadCurve c = rnd.Curve();
    Rect32 r, hull;
    CurveGetBounds(c, r);
    CurveGetHullBounds(c, hull);
    const DCurve dc = D(c);
    double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
    for (int k = 0; k <= 20000; ++k) {
      const DPoint p = dc.At(k / 20000.0);
      x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y),
      y1 = std::max(y1, p.y);
    }
    // The extremum's parameter and its square are rounded to 16 bits.
    const double slack = 2 * EvalSlack(c);
    ASSERT_NEAR(r.xmin, x0, slack) << Str(c);
    ASSERT_NEAR(r.xmax, x1, slack) << Str(c);
    ASSERT_NEAR(r.ymin, y0, slack) << Str(c);
    ASSERT_NEAR(r.ymax, y1, slack) << Str(c);
    ASSERT_LE(hull.xmin, r.xmin);
    ASSERT_GE(hull.ymax, r.ymax);
  }
  Rect32 r;
  CurveGetBounds(Line({10, 20}, {-5, 40}), r);
  EXPECT_EQ(r, (Rect32{-5, 10, 20, 40}));
}

TEST(CurveBounds, DeviationFlatnessAndTightBends) {
  EXPECT_EQ(CurveDeviation(Line({0, 0}, {1000, 0})), 0);
  EXPECT_EQ(CurveDeviation(Q({0, 0}, {500, 40}, {1000, 0})), 40);
  EXPECT_EQ(CurveDeviation(Q({0, 0}, {530, 40}, {1000, 0})), 55);  // 30 + 40 - 30/2

  EXPECT_TRUE(CurveIsNearlyStraight(Q({0, 0}, {500, 10}, {1000, 0}), 6));  // bulge 5
  EXPECT_FALSE(CurveIsNearlyStraight(Q({0, 0}, {500, 10}, {1000, 0}), 5));

  QuadCurve flat = Q({0, 0}, {500, 4}, {1000, 0});
  CurveStraightenIfFlat(flat);
  EXPECT_EQ(flat, Line({0, 0}, {1000, 0}));
  QuadCurve bent = Q({0, 0}, {500, 5}, {1000, 0});
  CurveStraightenIfFlat(bent);
  EXPECT_EQ(bent.straight, 0);

  EXPECT_FALSE(CurveIsTightBend(Line({0, 0}, {0, 0})));
  EXPECT_TRUE(CurveIsTightBend(Q({0, 0}, {0, 100}, {20, 0})));    // a = 45, chord 10
  EXPECT_FALSE(CurveIsTightBend(Q({0, 0}, {0, 100}, {400, 0})));  // chord too long
  EXPECT_FALSE(CurveIsTightBend(Q({0, 0}, {0, 12}, {0, 0})));     // a = 6
}

// ---- Stepper, length and parameters -----------------------------------------

TEST(CurveStepper, WalkFollowsTheCurveAndEndsOnP2) {
  // Without the dt^2 term in the first difference this 16-step walk ends at
  // 24000, 1/16 of the bend short of 25600.
  CurveStepper st;
  CurveStepInit(Q({0, 0}, {0, 0}, {25600, 25600}), 16, st);
  int steps = 0;
  while (CurveStepNext(st)) {
    ++steps;
    Point32 want;
    CurvePointAt(Q({0, 0}, {0, 0}, {25600, 25600}), steps * 4096, want);
    EXPECT_LE(PointDistance(st.current, want), 1) << "step " << steps;
  }
  EXPECT_EQ(steps, 16);
  EXPECT_EQ(st.current, (Point32{25600, 25600}));
  EXPECT_EQ(st.t, kFixedOne);
  EXPECT_FALSE(CurveStepNext(st));

  RandomCurves rnd(14, 100000);
  for (int n : {1, 3, 7, 16, 33}) {
    for (int i = 0; i < 100; ++i) {
      const QuadCurve c = rnd.Curve();
      const DCurve dc = D(c);
      CurveStepInit(c, n, st);
      EXPECT_EQ(st.current, c.p0);
      int k = 0;
      Point32 last = st.current;
      while (CurveStepNext(st)) {
        ++k;
        EXPECT_EQ(st.previous, last);
        last = st.current;
        // Steps of the rounded dt. After k steps the rounding of dt^2 (half
        // a unit in 2^16) has moved the point by k^2 of it times the second
        // difference, and that of the differences by k^2 / 32 units.
        const double a =
            std::abs(dc.p0.x - 2 * dc.c.x + dc.p2.x) + std::abs(dc.p0.y - 2 * dc.c.y + dc.p2.y);
        if (k < n) {
          EXPECT_LE(Dist(dc.At(k * double(st.dt) / kOne), st.current),
                    2 + k * k * (a / 131072 + 1.0 / 32))
              << Str(c) << " n=" << n;
        }
      }
      EXPECT_EQ(k, n);
      EXPECT_EQ(st.current, c.p2) << Str(c) << " n=" << n;
      EXPECT_EQ(st.t, kFixedOne);
    }
  }
  // Far out in the edge graph's range the rounded differences drift by
  // hundreds of units; the walk still ends on p2.
  RandomCurves far(24, 1 << 30);
  for (int i = 0; i < 100; ++i) {
    const QuadCurve c = far.Curve();
    CurveStepInit(c, 3 + i % 20, st);
    while (CurveStepNext(st)) {
    }
    EXPECT_EQ(st.current, c.p2) << Str(c);
  }
}

TEST(CurveLength, LengthAndParameterAtLength) {
  EXPECT_EQ(CurveLength(Line({0, 0}, {3000, 4000})), PointDistance({0, 0}, {3000, 4000}));
  RandomCurves rnd(15, 1 << 20);
  for (int i = 0; i < 200; ++i) {
    const QuadCurve c = rnd.Curve();
    const DCurve dc = D(c);
    const double ref = dc.Length();
    const int32_t len = CurveLength(c);
    // 16 chords are never longer than the arc; a quadratic's 16-chord
    // polygon is within 1.5% of it.
    ASSERT_LE(len, ref + 16) << Str(c);
    ASSERT_GE(len, ref * 0.985 - 16) << Str(c);

    EXPECT_EQ(CurveParamAtLength(c, len + 100), kFixedOne) << Str(c);
    EXPECT_EQ(CurveParamAtLength(c, -1), 0);
    EXPECT_EQ(CurveParamAtLength(c, 0), 0);
    // The parameter at half the length splits the arc in equal halves.
    const Fixed t = CurveParamAtLength(c, len / 2);
    DCurve first, second;
    dc.Split(t / kOne, first, second);
    EXPECT_NEAR(first.Length() / ref, 0.5, 0.02) << Str(c);
  }
  // Lengths are 1/1024 short and rounded: 250 / 999 of the way.
  EXPECT_EQ(CurveParamAtLength(Line({0, 0}, {1000, 0}), 250), 16400);
  EXPECT_EQ(CurveParamAtLength(Line({0, 0}, {1000, 0}), 5000), kFixedOne);
  EXPECT_EQ(CurveParamAtLength(Line({0, 0}, {1000, 0}), -5), 0);
}

TEST(CurveLength, ChordRatioAndParameterMapping) {
  const QuadCurve c = Line({0, 0}, {1000, 0});
  EXPECT_EQ(CurveChordRatio(c, {250, 0}), 16400);  // 250 / 999
  EXPECT_EQ(CurveChordRatio(c, {1000, 0}), kFixedOne);
  // A chord of length 0 gives 0, not a saturated ratio.
  EXPECT_EQ(CurveChordRatio(Line({5, 5}, {5, 5}), {5, 5}), 0);
  EXPECT_EQ(CurveMapParam(0x4000, 0x4000, 0), 0);
  EXPECT_EQ(CurveMapParam(0x4000, 0x4000, kFixedOne), 0x8000);
  EXPECT_EQ(CurveMapParam(0xC000, 0x4000, 0x8000), 0xC000);
}

// ---- Tangent ---------------------------------------------------------------

TEST(CurveTangent, DirectionsAtEndsAndInside) {
  const QuadCurve c = Q({0, 0}, {1000, 0}, {1000, 1000});
  EXPECT_NEAR(CurveTangentAngle(c, 0), 0, 64);
  EXPECT_NEAR(CurveTangentAngle(c, kFixedOne), kAngle90, 64);
  // The control point on top of p0: the chord direction (45 degrees).
  EXPECT_NEAR(CurveTangentAngle(Q({0, 0}, {5, 0}, {1000, 1000}), 0), kAngle90 / 2, 64);

  RandomCurves rnd(16, 1 << 20);
  for (int i = 0; i < 500; ++i) {
    const QuadCurve q = rnd.Curve();
    const Fixed t = std::clamp<Fixed>(rnd.T(), 0x400, 0xFC00);
    const DPoint d = D(q).Deriv(t / kOne);
    if (std::hypot(d.x, d.y) < 1000) continue;
    const double want = std::atan2(d.y, d.x) * 180 / M_PI;
    double diff = CurveTangentAngle(q, t) / kOne - want;
    diff -= 360 * std::round(diff / 360);
    ASSERT_LT(std::abs(diff), 0.5) << Str(q) << " t=" << t;
  }
}

// ---- Nearest point and ray crossings ----------------------------------------

TEST(CurveNearest, MatchesReference) {
  for (int32_t range : {20000, 1 << 24}) {
    RandomCurves rnd(17, range);
    for (int i = 0; i < 500; ++i) {
      const QuadCurve c = rnd.Curve();
      const Point32 q = rnd.P();
      const DCurve dc = D(c);
      const double ref = dc.Nearest(D(q), nullptr);
      Point32 out{-1, -1};
      const Fixed t = CurveNearestPoint(c, q, INT32_MAX, &out);
      ASSERT_GE(t, 0) << Str(c);
      ASSERT_LE(t, kFixedOne);
      // Pieces within 5 units of their chords are measured along the chord;
      // distances are 1/1024 short.
      ASSERT_NEAR(PointDistance(out, q), ref, 8 + ref * 0.002)
          << Str(c) << " q=" << q.x << "," << q.y;
      Point32 at;
      CurvePointAt(c, t, at);
      EXPECT_EQ(at, out);
      // The limit is exclusive.
      EXPECT_EQ(CurveNearestPoint(c, q, std::max<int32_t>(0, int32_t(ref * 0.99) - 8), nullptr),
                kNoParam)
          << Str(c);
    }
  }
}

TEST(CurveNearest, StraightCurvesAndLimits) {
  const QuadCurve line = Line({0, 0}, {1000, 0});
  Point32 out;
  EXPECT_EQ(CurveNearestPoint(line, {250, 30}, 31, &out), 16400);
  EXPECT_EQ(out, (Point32{250, 0}));
  EXPECT_EQ(CurveNearestPoint(line, {250, 30}, 30, nullptr), kNoParam);
  EXPECT_EQ(CurveNearestPoint(line, {-500, 0}, 1000, nullptr), 0);
  EXPECT_EQ(CurveNearestPoint(line, {1500, 0}, 1000, nullptr), kFixedOne);
  // A curve collapsed to one point.
  EXPECT_EQ(CurveNearestPoint(Q({7, 7}, {7, 7}, {7, 7}), {7, 9}, 10, nullptr), 0);
  EXPECT_EQ(CurveNearestPoint(Line({7, 7}, {7, 7}), {7, 9}, 10, nullptr), 0);
}

// A curve hundreds of thousands of units long is still a few hundred units
// long after the last halving: near its end a point beside it must not count
// the crossing of a piece whose hull it lies in but whose curve passes left
// of it (here the curve reaches y = -186816 at x = 770959.5).
TEST(CurveRay, LongCurveNearItsEnd) {
  const QuadCurve c = Q({1152, -568064}, {321106, -442800}, {771072, -186752});
  QuadCurve reversed;
  CurveReverse(c, reversed);
  struct Case {
    Point32 q;
    int32_t crossings;
  } cases[] = {
      {{771072, -186816}, 0},                          // below the end vertex, right of the curve
      {{771008, -186816}, 0}, {{770900, -186816}, 1},  // left of the curve
      {{770200, -187200}, 1},                          // the curve is at x = 770284.6 here
      {{770400, -187200}, 0}, {{771072, -186752}, 0},  // the upper end's height is not counted
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.q.x << "," << k.q.y);
    EXPECT_EQ(CurveRayCrossings(c, k.q, 0), k.crossings);
    EXPECT_EQ(CurveRayCrossings(reversed, k.q, 0), k.crossings);
    EXPECT_EQ(CurveRayWinding(c, k.q), -k.crossings);  // running towards larger y
    EXPECT_EQ(CurveRayWinding(reversed, k.q), k.crossings);
  }
}

TEST(CurveRay, CrossingsAndEndPointHeights) {
  // p0 is the lower end: a ray at its height counts; the upper end does not.
  const QuadCurve up = Q({100, 0}, {150, 50}, {100, 100});
  EXPECT_EQ(CurveRayCrossings(up, {0, 0}, 0), 1);
  EXPECT_EQ(CurveRayCrossings(up, {0, 100}, 0), 0);
  QuadCurve down;
  CurveReverse(up, down);
  EXPECT_EQ(CurveRayCrossings(down, {0, 100}, 0), 0);
  EXPECT_EQ(CurveRayCrossings(down, {0, 0}, 0), 1);
  EXPECT_EQ(CurveRayCrossings(up, {200, 50}, 0), 0);  // right of the curve
  EXPECT_EQ(CurveRayCrossings(up, {120, 50}, 0), 1);  // inside the hull, left of the curve
  EXPECT_EQ(CurveRayCrossings(up, {130, 50}, 0), 0);  // inside the hull, right of the curve
  // A curve that turns back in y: from left of its hull only the ends count
  // (up and down cancel); inside the hull the halves count on their own.
  const QuadCurve arch = Q({100, 0}, {150, 200}, {200, 0});
  EXPECT_EQ(CurveRayCrossings(arch, {0, 50}, 0), 0);
  EXPECT_EQ(CurveRayCrossings(arch, {150, 50}, 0), 1);
  EXPECT_EQ(CurveRayCrossings(arch, {110, 50}, 0), 2);
  EXPECT_EQ(CurveRayCrossings(Line({100, 50}, {200, 50}), {0, 50}, 0), 0);  // horizontal

  // Against the reference: roots of y(t) = q.y whose x lies right of q, in
  // parity (a curve passed on its left by both of its crossings counts 0).
  RandomCurves rnd(18, 100000);
  int checked = 0;
  for (int i = 0; i < 3000; ++i) {
    const QuadCurve c = rnd.Curve();
    const Point32 q = rnd.P();
    const DCurve dc = D(c);
    if (dc.Nearest(D(q), nullptr) < 50) continue;
    const double a = dc.p0.y - 2 * dc.c.y + dc.p2.y, b = 2 * (dc.c.y - dc.p0.y), k = dc.p0.y - q.y;
    std::vector<double> roots;
    if (std::abs(a) < 1e-9) {
      if (b != 0) roots.push_back(-k / b);
    } else {
      const double disc = b * b - 4 * a * k;
      if (disc >= 0) {
        roots.push_back((-b - std::sqrt(disc)) / (2 * a));
        roots.push_back((-b + std::sqrt(disc)) / (2 * a));
      }
    }
    int want = 0;
    bool near_end = false;
    for (double t : roots) {
      if (std::abs(t) < 1e-3 || std::abs(t - 1) < 1e-3) near_end = true;
      if (t >= 0 && t < 1 && dc.At(t).x > q.x) ++want;
    }
    if (near_end || (roots.size() == 2 && std::abs(roots[0] - roots[1]) < 1e-2)) continue;
    ++checked;
    const int32_t got = CurveRayCrossings(c, q, 0);
    ASSERT_EQ(got % 2, want % 2) << Str(c) << " q=" << q.x << "," << q.y;
    ASSERT_LE(got, want) << Str(c) << " q=" << q.x << "," << q.y;
  }
  EXPECT_GT(checked, 2000);
}

// ---- Intersection ----------------------------------------------------------

TEST(CurveIntersection, EdgeVectors) {
  CurveIntersectResult r;
  const QuadCurve c = Q({0, 0}, {5000, 9000}, {10000, 0});
  // Identical curves: one coincident stretch bounded by the two ends.
  ASSERT_EQ(CurveIntersect(c, c, r, 8), 2);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(r.entries[i].overlap, 1);
  EXPECT_EQ(std::min(r.entries[0].tA, r.entries[1].tA), 0);
  EXPECT_EQ(std::max(r.entries[0].tA, r.entries[1].tA), kFixedOne);
  // The same curve run backwards.
  QuadCurve back;
  CurveReverse(c, back);
  ASSERT_EQ(CurveIntersect(c, back, r, 8), 2);
  EXPECT_EQ(r.entries[0].overlap + r.entries[1].overlap, 2);
  EXPECT_EQ(r.entries[0].tA + r.entries[0].tB, kFixedOne);

  // Crossing straight lines: one entry.
  ASSERT_EQ(CurveIntersect(Line({0, 0}, {1000, 1000}), Line({0, 1000}, {1000, 0}), r, 8), 1);
  EXPECT_EQ(r.entries[0].tA, 0x8000);
  EXPECT_EQ(r.entries[0].tB, 0x8000);
  EXPECT_EQ(r.entries[0].point_a, (Point32{500, 500}));
  EXPECT_EQ(r.entries[0].overlap, 0);

  // Lines meeting end to start: one entry at (1.0, 0).
  ASSERT_EQ(CurveIntersect(Line({0, 0}, {1000, 0}), Line({1000, 0}, {1000, 800}), r, 8), 1);
  EXPECT_EQ(r.entries[0].tA, kFixedOne);
  EXPECT_EQ(r.entries[0].tB, 0);

  // Collinear lines that share a stretch.
  ASSERT_EQ(CurveIntersect(Line({0, 0}, {1000, 0}), Line({500, 0}, {1500, 0}), r, 8), 2);
  EXPECT_EQ(r.entries[0].overlap, 1);
  EXPECT_EQ(r.entries[1].overlap, 1);

  // Parallel lines apart, and curves far apart.
  EXPECT_EQ(CurveIntersect(Line({0, 0}, {1000, 0}), Line({0, 100}, {1000, 100}), r, 8), 0);
  EXPECT_EQ(CurveIntersect(c, Q({0, 20000}, {5000, 30000}, {10000, 20000}), r, 8), 0);

  // A curve and a line through it twice.
  ASSERT_EQ(CurveIntersect(c, Line({-1000, 2000}, {11000, 2000}), r, 8), 2);
  EXPECT_EQ(r.entries[0].overlap, 0);

  // A curve whose ends lie on another curve without running along it.
  const QuadCurve base = Line({0, 0}, {10000, 0});
  ASSERT_EQ(CurveIntersect(Q({2000, 0}, {3000, 3000}, {4000, 0}), base, r, 8), 2);
  EXPECT_EQ(r.entries[0].overlap, 0);

  // y = x^2/4000 - 4000 and its mirror x = y^2/4000 - 4000 cross four times,
  // the most two quadratics can: at (-2472, -2472), (6472, 6472), (0, -4000)
  // and (-4000, 0).
  const QuadCurve up = Q({-7000, 8250}, {0, -16250}, {7000, 8250});
  const QuadCurve side = Q({8250, -7000}, {-16250, 0}, {8250, 7000});
  ASSERT_EQ(CurveIntersect(up, side, r, 8), 4);
  std::vector<Point32> found;
  for (int i = 0; i < 4; ++i) found.push_back(r.entries[i].point_a);
  for (Point32 want :
       {Point32{-2472, -2472}, Point32{6472, 6472}, Point32{0, -4000}, Point32{-4000, 0}}) {
    int32_t best = INT32_MAX;
    for (Point32 p : found) best = std::min(best, PointDistance(p, want));
    EXPECT_LE(best, 8) << want.x << "," << want.y;
  }
}

TEST(CurveIntersection, MatchesReferenceOnTransversalCrossings) {
  RandomCurves rnd(19, 1 << 20);
  int compared = 0, crossings = 0;
  for (int i = 0; i < 1500; ++i) {
    const QuadCurve a = rnd.Curve(), b = rnd.Curve();
    const DCurve da = D(a), db = D(b);
    std::vector<std::pair<double, double>> ref;
    RefIntersect(da, 0, 1, db, 0, 1, 0, ref);
    // Skip pairs whose crossings are near tangent, near an end or close
    // together: there the tolerances decide, not the geometry.
    bool clear = true;
    for (size_t k = 0; k < ref.size(); ++k) {
      const auto [ta, tb] = ref[k];
      const DPoint ua = da.Deriv(ta), ub = db.Deriv(tb);
      const double sine = std::abs(ua.x * ub.y - ua.y * ub.x) /
                          (std::hypot(ua.x, ua.y) * std::hypot(ub.x, ub.y) + 1e-300);
      if (sine < 0.2 || ta < 0.01 || ta > 0.99 || tb < 0.01 || tb > 0.99) clear = false;
      for (size_t j = 0; j < k; ++j)
        if (std::abs(ref[j].first - ta) < 0.02 || std::abs(ref[j].second - tb) < 0.02)
          clear = false;
    }
    if (!clear) continue;
    ++compared;
    crossings += int(ref.size());
    CurveIntersectResult r;
    ASSERT_EQ(CurveIntersect(a, b, r, 8), int(ref.size())) << Str(a) << " " << Str(b);
    for (int k = 0; k < r.count; ++k) {
      const CurveIntersectEntry& e = r.entries[k];
      EXPECT_EQ(e.overlap, 0);
      double best = 1e300;
      for (const auto& [ta, tb] : ref)
        best = std::min(best, std::abs(ta - e.tA / kOne) + std::abs(tb - e.tB / kOne));
      EXPECT_LT(best, 0.002) << Str(a) << " " << Str(b);
      Point32 pa, pb;
      CurvePointAt(a, e.tA, pa);
      CurvePointAt(b, e.tB, pb);
      EXPECT_EQ(pa, e.point_a);
      EXPECT_EQ(pb, e.point_b);
      EXPECT_LE(PointDistance(pa, pb), 16 + EvalSlack(a) + EvalSlack(b)) << Str(a) << " " << Str(b);
    }
  }
  EXPECT_GT(compared, 1000);
  EXPECT_GT(crossings, 300);
}

TEST(CurveIntersection, NeverMoreThanFourAndParametersInRange) {
  // Small coordinates make near-coincident, tangent and degenerate pairs
  // common.
  RandomCurves rnd(20, 40);
  for (int i = 0; i < 20000; ++i) {
    QuadCurve a = rnd.Curve(), b = rnd.Curve();
    if (i % 3 == 0) CurveFromLine(a.p0, a.p2, a);
    if (i % 5 == 0) b = a;
    CurveIntersectResult r;
    const int n = CurveIntersect(a, b, r, 8);
    ASSERT_EQ(n, r.count);
    ASSERT_GE(n, 0);
    ASSERT_LE(n, 4);
    for (int k = 0; k < n; ++k) {
      ASSERT_GE(r.entries[k].tA, 0);
      ASSERT_LE(r.entries[k].tA, kFixedOne);
      ASSERT_GE(r.entries[k].tB, 0);
      ASSERT_LE(r.entries[k].tB, kFixedOne);
    }
  }
}

TEST(CurveIntersection, CurveCurveNearest) {
  Fixed ta = 0, tb = 0;
  const QuadCurve a = Q({0, 0}, {5000, 4000}, {10000, 0});
  const QuadCurve far = Q({0, 50000}, {5000, 46000}, {10000, 50000});
  EXPECT_EQ(CurveCurveNearest(a, far, 1000, 8, ta, tb), kNoDistance);
  EXPECT_EQ(ta, kNoParam);
  EXPECT_EQ(tb, kNoParam);

  // The bump of a faces the dip of b 1000 units above it, both at the middle.
  const QuadCurve b = Q({0, 5000}, {5000, 1000}, {10000, 5000});
  const int32_t d = CurveCurveNearest(a, b, 100000, 8, ta, tb);
  EXPECT_NEAR(d, 1000, 20);
  EXPECT_NEAR(ta, 0x8000, 0x800);
  EXPECT_NEAR(tb, 0x8000, 0x800);

  RandomCurves rnd(21, 100000);
  for (int i = 0; i < 100; ++i) {
    const QuadCurve p = rnd.Curve(), q = rnd.Curve();
    const DCurve dp = D(p), dq = D(q);
    std::vector<std::pair<double, double>> cross;
    RefIntersect(dp, 0, 1, dq, 0, 1, 0, cross);
    if (!cross.empty()) continue;
    double ref = 1e300;
    for (int k = 0; k <= 200; ++k) ref = std::min(ref, dq.Nearest(dp.At(k / 200.0), nullptr));
    const int32_t got = CurveCurveNearest(p, q, INT32_MAX / 4, 8, ta, tb);
    // Chords of pieces within tol of their curves.
    EXPECT_NEAR(got, ref, 16 + ref * 0.01) << Str(p) << " " << Str(q);
    Point32 pa, pb;
    CurvePointAt(p, ta, pa);
    CurvePointAt(q, tb, pb);
    EXPECT_NEAR(PointDistance(pa, pb), ref, 40 + ref * 0.02) << Str(p) << " " << Str(q);
  }
}

TEST(CurveIntersection, MergeStraight) {
  QuadCurve out = Q({9, 9}, {9, 9}, {9, 9});
  EXPECT_EQ(CurveMergeStraight(Line({0, 0}, {500, 3}), Line({500, 3}, {1000, 0}), 4, out), 1);
  EXPECT_EQ(out, Line({0, 0}, {1000, 0}));
  const QuadCurve before = out;
  EXPECT_EQ(CurveMergeStraight(Line({0, 0}, {500, 30}), Line({500, 30}, {1000, 0}), 4, out), 0);
  EXPECT_EQ(CurveMergeStraight(Q({0, 0}, {250, 0}, {500, 0}), Line({500, 0}, {1000, 0}), 4, out),
            0);
  EXPECT_EQ(out, before);
}

// ---- Cubics ----------------------------------------------------------------

TEST(CurveCubic, ToCubicAndHalves) {
  Point32 cubic[4];
  CurveToCubic(Q({0, 0}, {300, 600}, {600, 0}), cubic);
  EXPECT_EQ(cubic[0], (Point32{0, 0}));
  EXPECT_EQ(cubic[1], (Point32{200, 400}));
  EXPECT_EQ(cubic[2], (Point32{400, 400}));
  EXPECT_EQ(cubic[3], (Point32{600, 0}));

  Point32 first[4], second[4];
  const Point32 k[4] = {{0, 0}, {0, 800}, {800, 800}, {800, 0}};
  CubicSplitHalf(k, first, second);
  EXPECT_EQ(first[3], (Point32{400, 600}));
  EXPECT_EQ(second[0], first[3]);
  EXPECT_EQ(first[1], (Point32{0, 400}));
  EXPECT_EQ(second[2], (Point32{800, 400}));
}

TEST(CurveCubic, ToQuadraticsStaysWithinBudgetAndFollowsTheCubic) {
  // A quadratic written as a cubic comes back as one curve.
  Point32 cubic[4];
  const QuadCurve q = Q({0, 0}, {3000, 6000}, {6000, 0});
  CurveToCubic(q, cubic);
  QuadCurve out[8];
  ASSERT_EQ(CubicToQuadratics(cubic, out, 8, 8), 1);
  EXPECT_LE(PointDistance(out[0].control, q.control), 20);

  const Point32 flat[4] = {{0, 0}, {300, 2}, {600, -2}, {1000, 0}};
  ASSERT_EQ(CubicToQuadratics(flat, out, 8, 8), 1);
  EXPECT_EQ(out[0], Line({0, 0}, {1000, 0}));
  EXPECT_EQ(CubicToQuadratics(flat, out, 0, 8), 0);

  std::mt19937 rng(22);
  std::uniform_int_distribution<int32_t> coord(-50000, 50000);
  for (int i = 0; i < 300; ++i) {
    Point32 k[4];
    for (auto& p : k) p = {coord(rng), coord(rng)};
    for (int budget : {1, 2, 8}) {
      QuadCurve got[8];
      const int n = CubicToQuadratics(k, got, budget, 1 + i % 20);
      ASSERT_GE(n, 1);
      ASSERT_LE(n, budget);
      EXPECT_EQ(got[0].p0, k[0]);
      EXPECT_EQ(got[n - 1].p2, k[3]);
      for (int j = 1; j < n; ++j) EXPECT_EQ(got[j].p0, got[j - 1].p2);
      for (int j = 0; j < n; ++j) {
        QuadCurve copy = got[j];
        CurveStraightenIfFlat(copy);
        EXPECT_EQ(copy, got[j]);  // every curve written is already straightened
      }
    }
  }
}

// ---- Reshaping and fitting -------------------------------------------------

TEST(CurveFit, MoveEndsCarriesTheControlPoint) {
  QuadCurve out;
  // Control nearer p2: carried from the new start, scaled by the chord ratio 2.
  CurveMoveEnds(Q({0, 0}, {900, 100}, {1000, 0}), {0, 0}, {2000, 0}, out);
  EXPECT_EQ(out, Q({0, 0}, {1800, 200}, {2000, 0}));
  // Control nearer p0: carried from the new end.
  CurveMoveEnds(Q({0, 0}, {100, 100}, {1000, 0}), {10, 10}, {1010, 10}, out);
  EXPECT_EQ(out, Q({10, 10}, {110, 110}, {1010, 10}));
  // An old chord of length 0 keeps the scale 1.0.
  CurveMoveEnds(Q({0, 0}, {0, 100}, {0, 0}), {50, 0}, {50, 0}, out);
  EXPECT_EQ(out, Q({50, 0}, {50, 100}, {50, 0}));
}

TEST(CurveFit, DegenerateRunsGiveTheChord) {
  QuadCurve out;
  const Point32 three[] = {{0, 0}, {500, 900}, {1000, 0}};
  EXPECT_EQ(CurveFitPoints(three, 3, out, nullptr), 0);
  EXPECT_EQ(out, Line({0, 0}, {1000, 0}));
  const Point32 tiny[] = {{0, 0}, {2, 1}, {4, 0}, {5, 1}, {6, 0}};
  EXPECT_EQ(CurveFitPoints(tiny, 5, out, nullptr), 0);
  EXPECT_EQ(out, Line({0, 0}, {6, 0}));
  const Point32 same[] = {{3, 3}, {3, 3}, {3, 3}, {3, 3}};
  EXPECT_EQ(CurveFitPoints(same, 4, out, nullptr), 0);
  EXPECT_EQ(out, Line({3, 3}, {3, 3}));
}

TEST(CurveFit, RecoversSampledCurves) {
  // Samples evenly spaced in arc length of moderately bent curves, on the
  // stack (50) and on the heap (250).
  std::mt19937 rng(23);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (int n : {50, 250}) {
    for (int i = 0; i < 50; ++i) {
      const double x0 = 20000 * unit(rng), y0 = 20000 * unit(rng);
      const double dx = 20000 * unit(rng), dy = 20000 * unit(rng);
      const double along = 0.2 * unit(rng), across = 0.4 * unit(rng);
      const QuadCurve c = Q({int32_t(x0), int32_t(y0)},
                            {int32_t(x0 + dx * (0.5 + along) - dy * across),
                             int32_t(y0 + dy * (0.5 + along) + dx * across)},
                            {int32_t(x0 + dx), int32_t(y0 + dy)});
      const DCurve dc = D(c);
      std::vector<Point32> pts;
      const double total = dc.Length();
      double walked = 0;
      DPoint prev = dc.p0;
      pts.push_back(c.p0);
      for (int k = 1; k <= 20000 && int(pts.size()) < n - 1; ++k) {
        const DPoint p = dc.At(k / 20000.0);
        walked += Dist(prev, p);
        prev = p;
        if (walked >= total * pts.size() / (n - 1))
          pts.push_back({int32_t(std::lround(p.x)), int32_t(std::lround(p.y))});
      }
      pts.push_back(c.p2);
      QuadCurve out;
      const int32_t worst = CurveFitPoints(pts.data(), int(pts.size()), out, nullptr);
      EXPECT_EQ(out.p0, c.p0);
      EXPECT_EQ(out.p2, c.p2);
      // Chord-length parameters differ from the curve's own, so the fit is
      // close but not exact; the deviation reported is what it measured.
      double measured = 0;
      for (size_t k = 0; k + 1 < pts.size(); ++k) {
        const DPoint mid{(pts[k].x + pts[k + 1].x) / 2.0, (pts[k].y + pts[k + 1].y) / 2.0};
        measured = std::max(measured, D(out).Nearest(mid, nullptr));
      }
      EXPECT_LE(measured, worst * 1.002 + 2) << Str(c);
      EXPECT_LT(worst, total * 0.03 + 10) << Str(c);
    }
  }
}

TEST(CurveFit, PreviousControlKeepsTheTangent) {
  // Points along the parabola from (0,0) through (500,500) to (1000,0).
  std::vector<Point32> pts;
  for (int k = 0; k <= 20; ++k) {
    const double t = k / 20.0;
    pts.push_back({int32_t(std::lround(1000 * t)), int32_t(std::lround(1000 * t * (1 - t)))});
  }
  QuadCurve free_fit, tangent_fit;
  CurveFitPoints(pts.data(), int(pts.size()), free_fit, nullptr);
  EXPECT_LE(PointDistance(free_fit.control, {500, 500}), 40);
  // The previous curve came in along the x axis: the start moves onto the
  // line from (-1000, 0) to the new control point.
  const Point32 prev{-1000, 0};
  const int32_t worst = CurveFitPoints(pts.data(), int(pts.size()), tangent_fit, &prev);
  const int32_t moved = PointDistance(tangent_fit.p0, {0, 0});
  EXPECT_GT(moved, 0);
  EXPECT_GE(worst, moved);
  EXPECT_LE(PointSegmentDistance(prev, tangent_fit.control, tangent_fit.p0, nullptr), 2);
}

namespace {

// Crossings of the reference that CurveIntersect does not report nearby, plus
// meetings it reports where the curves lie apart; -1 when the pair is not
// clear: a crossing near tangent, near an end, or near another crossing on
// either curve (a tight hairpin crosses twice within a few units), where the
// tolerances decide.
int WrongMeetings(const QuadCurve& a, const QuadCurve& b) {
  const DCurve da = D(a), db = D(b);
  std::vector<std::pair<double, double>> ref;
  RefIntersect(da, 0, 1, db, 0, 1, 0, ref);
  std::vector<double> reach;  // how far a reported meeting may lie from the crossing
  for (size_t k = 0; k < ref.size(); ++k) {
    const auto [ta, tb] = ref[k];
    const DPoint ua = da.Deriv(ta), ub = db.Deriv(tb);
    const double sine = std::abs(ua.x * ub.y - ua.y * ub.x) /
                        (std::hypot(ua.x, ua.y) * std::hypot(ub.x, ub.y) + 1e-300);
    if (sine < 0.2 || ta < 0.01 || ta > 0.99 || tb < 0.01 || tb > 0.99) return -1;
    for (size_t j = 0; j < k; ++j)
      if (Dist(da.At(ref[j].first), da.At(ta)) < 64 || Dist(db.At(ref[j].second), db.At(tb)) < 64)
        return -1;
    // Chords within a few units of the curves cross that far off, more so
    // the shallower the crossing.
    reach.push_back(4 + 8 / sine + EvalSlack(a) + EvalSlack(b));
  }
  CurveIntersectResult r;
  CurveIntersect(a, b, r, 8);
  int wrong = 0;
  bool matched[4] = {};
  for (size_t k = 0; k < ref.size(); ++k) {
    const auto [ta, tb] = ref[k];
    int found = 0;
    for (int i = 0; i < r.count; ++i)
      if (Dist(da.At(ta), r.entries[i].point_a) < reach[k] &&
          Dist(db.At(tb), r.entries[i].point_b) < reach[k])
        matched[i] = true, ++found;
    wrong += found == 0;
  }
  // Any other meeting must be one within the tolerance: the curves come that
  // close there.
  for (int i = 0; i < r.count; ++i)
    wrong += !matched[i] && db.Nearest(D(r.entries[i].point_a), nullptr) > 16;
  return wrong;
}

}  // namespace

TEST(CurveIntersection, CrossingOnAPieceJoint) {
  // The crossing lies on the joint at tB = 5/8 of B's subdivision, where A is
  // split finer on one side than on the other.
  const QuadCurve a = Q({51712, 63744}, {54914, 70948}, {58496, 76416});
  const QuadCurve b = Q({52864, 75648}, {52608, 67108}, {52736, 60928});
  for (int32_t tol : {8, 64, 512}) {
    CurveIntersectResult r;
    ASSERT_EQ(CurveIntersect(a, b, r, tol), 1) << tol;
    EXPECT_NEAR(r.entries[0].tA / kOne, 0.152, 0.002);
    EXPECT_NEAR(r.entries[0].tB / kOne, 0.625, 0.002);
    ASSERT_EQ(CurveIntersect(b, a, r, tol), 1) << tol;
    EXPECT_NEAR(r.entries[0].tA / kOne, 0.625, 0.002);
    EXPECT_NEAR(r.entries[0].tB / kOne, 0.152, 0.002);
  }
}

// A shares its start with B's end, where B turns back within the tolerance
// of A: two meetings at one place on A bound no coincident stretch, and the
// search goes on to the shallow crossing far along both curves.
TEST(CurveIntersection, TurnBackBesideASharedEndIsNoStretch) {
  const QuadCurve a = Q({0, 0}, {-5914274, 205}, {0, 66560});
  const QuadCurve b = Q({-3670016, 0}, {3328, 512}, {0, 0});
  for (const bool swap : {false, true}) {
    SCOPED_TRACE(swap ? "B first" : "A first");
    CurveIntersectResult r;
    const int32_t n = swap ? CurveIntersect(b, a, r, 8) : CurveIntersect(a, b, r, 8);
    ASSERT_GE(n, 2);
    bool crossing = false;
    for (int i = 0; i < r.count; ++i) {
      EXPECT_EQ(r.entries[i].overlap, 0);
      const Point32& p = r.entries[i].point_a;
      crossing |= std::abs(p.x + 649220) < 64 && std::abs(p.y - 249) < 8;
    }
    EXPECT_TRUE(crossing);
  }
}

TEST(CurveIntersection, ShallowCrossingWithinASteepCurvesLastStep) {
  // The steep curve's control point lies 58 million units away: one
  // parameter step at its end spans about 1,800 units. The arch, bent by
  // about 65 units, crosses it two steps from the shared end; taking the arch
  // as its chord once the steep curve's pieces reach that resolution missed
  // the crossing.
  const QuadCurve arch = Q({-6144, -2048}, {-4619, -2179}, {-2048, -2048});
  const QuadCurve steep = Q({-1792, 0}, {-58653826, -522224}, {-2048, -2048});
  for (const bool swap : {false, true}) {
    SCOPED_TRACE(swap ? "steep first" : "arch first");
    CurveIntersectResult r;
    const int32_t n = swap ? CurveIntersect(steep, arch, r, 8) : CurveIntersect(arch, steep, r, 8);
    ASSERT_EQ(n, 2);
    bool crossing = false, shared_end = false;
    for (int i = 0; i < r.count; ++i) {
      const Point32& on_arch = swap ? r.entries[i].point_b : r.entries[i].point_a;
      const Fixed t_steep = swap ? r.entries[i].tA : r.entries[i].tB;
      shared_end |= on_arch == Point32{-2048, -2048};
      crossing |= std::abs(on_arch.x + 5687) < 64 && std::abs(on_arch.y + 2080) < 8 &&
                  kFixedOne - t_steep <= 3;
    }
    EXPECT_TRUE(crossing);
    EXPECT_TRUE(shared_end);
  }
}

TEST(CurveIntersection, ShallowCrossingOfALineNearASharedEnd) {
  // The curve leaves the shared end about 9 units above the line and comes
  // back across it 1,700 units along. Halves of the line rounded at different
  // depths disagree by a unit there, and the crossing slipped between two
  // pieces of the curve tested against different halves.
  QuadCurve line;
  CurveFromLine({-94336, 0}, {-391808, 256}, line);
  const QuadCurve curve = Q({-94336, 0}, {-122505, 562}, {-149632, -32512});
  for (const bool swap : {false, true}) {
    SCOPED_TRACE(swap ? "curve first" : "line first");
    CurveIntersectResult r;
    const int32_t n = swap ? CurveIntersect(curve, line, r, 8) : CurveIntersect(line, curve, r, 8);
    ASSERT_EQ(n, 2);
    bool crossing = false;
    for (int i = 0; i < r.count; ++i) {
      const Point32& on_curve = swap ? r.entries[i].point_a : r.entries[i].point_b;
      crossing |= std::abs(on_curve.x + 96100) < 100 && std::abs(on_curve.y - 2) < 4;
    }
    EXPECT_TRUE(crossing);
  }
}

TEST(CurveIntersection, ShallowCrossingsOfLongSteepCurvesAreFound) {
  // Curves millions of units long running nearly side by side, so that they
  // cross at angles of a degree or less. Where A's ends lie on opposite sides
  // of B, the two cross an odd number of times: a meeting must be found, and
  // every meeting reported must lie on both curves. The first pair, pieces
  // of a fuzzed drawing, crosses right at a joint of A's halvings, where B's
  // chords at two depths lay on either side of it.
  std::vector<std::pair<QuadCurve, QuadCurve>> pairs = {
      {Q({648192, 1264256}, {657014, 1053129}, {657024, 723200}),
       Q({653056, 54656}, {657021, 654213}, {657024, 1444096})}};
  std::mt19937 rng(37);
  auto uniform = [&](int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
  };
  // Monotone in y, so that B's x at a height is found by bisection.
  auto steep = [&](int32_t width, int32_t y0, int32_t y2) {
    const int32_t yc = uniform(std::min(y0, y2), std::max(y0, y2));
    return Q({uniform(-width, width), y0}, {uniform(-width, width), yc},
             {uniform(-width, width), y2});
  };
  // Half the pairs at random; in the other half B passes through a joint of
  // A's halvings (B's control point solved for it).
  while (pairs.size() < 8000) {
    const int32_t width = 1 << uniform(8, 14), height = 1 << 21;
    QuadCurve b = steep(width, -height, height);
    const QuadCurve a = steep(width, uniform(-height, height), uniform(-height, height));
    if (pairs.size() % 2 == 0) {
      const int levels = uniform(1, 10);
      const double u = double(2 * uniform(0, (1 << (levels - 1)) - 1) + 1) / (1 << levels);
      const DPoint at = D(a).At(u), p0 = D(b.p0), p2 = D(b.p2);
      const double v = std::uniform_real_distribution<double>(0.2, 0.8)(rng), w = 2 * v * (1 - v);
      const double cx = (at.x - (1 - v) * (1 - v) * p0.x - v * v * p2.x) / w;
      const double cy = (at.y - (1 - v) * (1 - v) * p0.y - v * v * p2.y) / w;
      if (std::abs(cx) > 4 * width || std::abs(cy) > height) continue;
      b = Q(b.p0, {int32_t(std::lround(cx)), int32_t(std::lround(cy))}, b.p2);
    }
    pairs.push_back({a, b});
  }
  auto side = [](const DCurve& b, DPoint q) {
    double lo = 0, hi = 1;
    const bool rising = b.At(1).y > b.At(0).y;
    for (int k = 0; k < 80; ++k) {
      const double m = (lo + hi) / 2;
      ((b.At(m).y < q.y) == rising ? lo : hi) = m;
    }
    return q.x - b.At(lo).x;
  };
  int crossing = 0, missed = 0, apart = 0;
  for (const auto& [a, b] : pairs) {
    const DCurve da = D(a), db = D(b);
    const double s0 = side(db, da.At(0)), s2 = side(db, da.At(1));
    if (!((s0 < -64 && s2 > 64) || (s0 > 64 && s2 < -64))) continue;
    ++crossing;
    for (const bool swap : {false, true}) {
      CurveIntersectResult r;
      const int n = swap ? CurveIntersect(b, a, r, 8) : CurveIntersect(a, b, r, 8);
      if (n == 0 && ++missed <= 3)
        ADD_FAILURE() << Str(a) << " and " << Str(b) << (swap ? " (B first)" : "") << " missed";
      for (int k = 0; k < n; ++k) {
        const Point32 on_a = swap ? r.entries[k].point_b : r.entries[k].point_a;
        const Point32 on_b = swap ? r.entries[k].point_a : r.entries[k].point_b;
        const double slack = 16 + EvalSlack(a) + EvalSlack(b);
        if ((db.Nearest(D(on_a), nullptr) > slack || da.Nearest(D(on_b), nullptr) > slack) &&
            ++apart <= 3)
          ADD_FAILURE() << Str(a) << " and " << Str(b) << " meet apart at " << on_a.x << ","
                        << on_a.y;
      }
    }
  }
  EXPECT_EQ(missed, 0);
  EXPECT_EQ(apart, 0);
  EXPECT_GT(crossing, 1000);
}

TEST(CurveIntersection, ACurveDippingBesideAFlatOneMeetsItOnlyWhereTheyCome) {
  // B leaves the shared end along A, a curve whose control point lies on its
  // chord, dips a few units beside it and turns away. Where a meeting is
  // reported its two points must be one place. The first pair is from a
  // fuzzed drawing: a piece of B a unit or two long at the bottom of its dip,
  // lengthened past its joints, reached A and gave points 98 units apart.
  std::vector<std::pair<QuadCurve, QuadCurve>> pairs = {
      {Q({656384, -1066880}, {656384, -1067264}, {656384, -1067648}),
       Q({656384, -1066880}, {656623, -1076163}, {656768, -542720})}};
  std::mt19937 rng(41);
  auto uniform = [&](int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
  };
  while (pairs.size() < 3000) {
    // A runs down from the origin; B leaves it with a slope of `lean`,
    // reaches its lowest point after `depth` units and climbs away.
    const int32_t length = uniform(256, 4096), depth = uniform(16, 400);
    const double lean = uniform(1, 400) / 10000.0;
    const int32_t cy = -2 * depth, climb = uniform(1 << 16, 1 << 22);
    const QuadCurve a = Q({0, 0}, {0, -length / 2}, {0, -length});
    const QuadCurve b =
        Q({0, 0}, {int32_t(std::lround(lean * -cy)), cy}, {uniform(0, 1 << 10), climb});
    pairs.push_back({a, b});
  }
  int apart = 0;
  for (const auto& [a, b] : pairs) {
    for (const bool swap : {false, true}) {
      CurveIntersectResult r;
      const int n = swap ? CurveIntersect(b, a, r, 8) : CurveIntersect(a, b, r, 8);
      for (int k = 0; k < n; ++k)
        if (PointDistance(r.entries[k].point_a, r.entries[k].point_b) > 16 + EvalSlack(b) &&
            ++apart <= 3)
          ADD_FAILURE() << Str(a) << " and " << Str(b) << (swap ? " (B first)" : "") << " meet at "
                        << r.entries[k].point_a.x << "," << r.entries[k].point_a.y << " / "
                        << r.entries[k].point_b.x << "," << r.entries[k].point_b.y;
    }
  }
  EXPECT_EQ(apart, 0);
}

TEST(CurveIntersection, CurvesTurningHardAtASharedEndStillFindTheirCrossingFartherOn) {
  // A and B leave a shared end with short tangents, so they turn hard there
  // and run within the tolerance of each other for a few units, and cross
  // again far along. B = A + (2t(1-t) d - t^2 e) p for a direction p: the two
  // meet at the same parameter t = 2d / (2d + e), where B passes from one
  // side of A to the other. The meetings beside the shared end filled all
  // four places of the result, and the crossing was lost. The first pair is
  // from a fuzzed drawing.
  struct Pair {
    QuadCurve a, b;
    DPoint crossing;
    double reach;
  };
  std::vector<Pair> pairs = {{Q({6557440, 2627840}, {6559690, 2627899}, {5855488, 1921408}),
                              Q({6557440, 2627840}, {6559692, 2627621}, {5855488, 1922176}),
                              {6433594, 2502128},
                              1024}};
  std::mt19937 rng(43);
  auto uniform = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
  };
  while (pairs.size() < 2000) {
    const double turn = uniform(0, 6.2832), away = uniform(0, 6.2832), side = uniform(0, 6.2832);
    const double near = std::exp2(uniform(8, 12)), far = std::exp2(uniform(18, 22));
    const DPoint start{uniform(-1e6, 1e6), uniform(-1e6, 1e6)};
    const DPoint control{start.x + near * std::cos(turn), start.y + near * std::sin(turn)};
    const DPoint end{start.x + far * std::cos(away), start.y + far * std::sin(away)};
    const double d = uniform(16, 256), t = uniform(0.05, 0.95), e = 2 * d * (1 - t) / t;
    const DPoint p{std::cos(side), std::sin(side)};
    auto I = [](double x, double y) {
      return Point32{int32_t(std::lround(x)), int32_t(std::lround(y))};
    };
    const QuadCurve a = Q(I(start.x, start.y), I(control.x, control.y), I(end.x, end.y));
    const QuadCurve b =
        Q(a.p0, I(control.x + d * p.x, control.y + d * p.y), I(end.x - e * p.x, end.y - e * p.y));
    // Where B passes A, on the rounded curves: the part of B(u) - A(u)
    // across A changes sign once, by more than the tolerance on either side.
    const DCurve da = D(a), db = D(b);
    auto across = [&](double u) {
      const DPoint ua = da.Deriv(u), pa = da.At(u), pb = db.At(u);
      return (ua.x * (pb.y - pa.y) - ua.y * (pb.x - pa.x)) / std::hypot(ua.x, ua.y);
    };
    int changes = 0;
    double root = 0, before = 0, after = 0;
    for (int k = 1; k <= 1000; ++k) {
      const double u0 = 0.02 + 0.98 * (k - 1) / 1000, u1 = 0.02 + 0.98 * k / 1000;
      const double g0 = across(u0), g1 = across(u1);
      if ((g0 < 0) != (g1 < 0)) ++changes, root = u1;
      (changes == 0 ? before : after) = std::max(changes == 0 ? before : after, std::abs(g1));
    }
    if (changes != 1 || before < 16 || after < 16) continue;
    const DPoint crossing = da.At(root);
    const DPoint ua = da.Deriv(root), ub = db.Deriv(root);
    const double sine =
        std::abs(ua.x * ub.y - ua.y * ub.x) / (std::hypot(ua.x, ua.y) * std::hypot(ub.x, ub.y));
    if (Dist(crossing, D(a.p0)) < 4096 || sine < 1e-3) continue;
    pairs.push_back({a, b, crossing, 256 + 32 / sine});
  }
  int missed = 0;
  for (const Pair& pair : pairs) {
    for (const bool swap : {false, true}) {
      CurveIntersectResult r;
      const int n =
          swap ? CurveIntersect(pair.b, pair.a, r, 8) : CurveIntersect(pair.a, pair.b, r, 8);
      bool found = false;
      for (int k = 0; k < n; ++k)
        found |=
            Dist(D(r.entries[k].point_a), pair.crossing) < pair.reach &&
            PointDistance(r.entries[k].point_a, r.entries[k].point_b) <= 16 + EvalSlack(pair.a);
      if (!found && ++missed <= 3)
        ADD_FAILURE() << Str(pair.a) << " and " << Str(pair.b) << (swap ? " (B first)" : "") << ": "
                      << n << " meetings, none at " << pair.crossing.x << "," << pair.crossing.y;
    }
  }
  EXPECT_EQ(missed, 0);
}

TEST(CurveIntersection, ACurveLeavingALineFromTheirSharedEndMeetsItOnlyThere) {
  struct Case {
    const char* what;
    Point32 line_from;
    QuadCurve curve;  // starts at the line's far end
  };
  const Case cases[] = {
      // The curve leaves at a slant of about 1.4 degrees and dips 95 units
      // back beside the line, 3 to 5 units off, without crossing. A chord of
      // one of its pieces lengthened past a joint reached across the line
      // and gave a second meeting 130 units from the end.
      {"beside", {0, -3249408}, Q({128, -1833984}, {448, -1847223}, {1024, -22400})},
      // The curve crosses the 40-million-unit line 8 units from their shared
      // end, within its resolution. The meeting of two lengthened chords was
      // placed by the line's parameter, which steps 610 units there, and the
      // point so far off mapped to a place on the curve 6,000 units away.
      {"crossing at the end",
       {39843840, -370688},
       Q({39475200, 39475200}, {39482218, 39475205}, {11825664, 10277888})},
  };
  for (const Case& c : cases) {
    QuadCurve line;
    CurveFromLine(c.line_from, c.curve.p0, line);
    for (const bool swap : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (swap ? ", curve first" : ", line first"));
      CurveIntersectResult r;
      const int32_t n =
          swap ? CurveIntersect(c.curve, line, r, 8) : CurveIntersect(line, c.curve, r, 8);
      ASSERT_EQ(n, 1);
      EXPECT_EQ(r.entries[0].point_a, c.curve.p0);
      EXPECT_EQ(r.entries[0].point_b, c.curve.p0);
    }
  }
}

TEST(CurveIntersection, LongLinesAndCurvesFromASharedEndMeetOnlyWhereTheyCome) {
  // Lines and curves tens of millions of units long, as far as parameters
  // resolve, sharing an end; the curves leave it along short tangents, so
  // they bend hard near the end. Every meeting reported must lie on both
  // curves within the tolerance and a parameter step of each.
  std::mt19937 rng(31);
  std::uniform_int_distribution<int32_t> far(-(1 << 25), 1 << 25);
  std::uniform_int_distribution<int32_t> near(-(1 << 14), 1 << 14);
  auto step = [](const DCurve& c, double t) {
    const DPoint d = c.Deriv(std::clamp(t, 0.0, 1.0));
    return std::hypot(d.x, d.y) / 65536;
  };
  int wrong = 0;
  for (int i = 0; i < 3000; ++i) {
    const Point32 end{far(rng), far(rng)};
    QuadCurve line;
    CurveFromLine({far(rng), far(rng)}, end, line);
    const QuadCurve curve = Q(end, {end.x + near(rng), end.y + near(rng)}, {far(rng), far(rng)});
    const DCurve dl = D(line), dc = D(curve);
    for (const bool swap : {false, true}) {
      CurveIntersectResult r;
      const int n = swap ? CurveIntersect(curve, line, r, 8) : CurveIntersect(line, curve, r, 8);
      for (int k = 0; k < n; ++k) {
        const CurveIntersectEntry& x = r.entries[k];
        const Point32 on_line = swap ? x.point_b : x.point_a;
        const Point32 on_curve = swap ? x.point_a : x.point_b;
        const double t_line = (swap ? x.tB : x.tA) / kOne, t_curve = (swap ? x.tA : x.tB) / kOne;
        const double slack = 16 + 2 * (step(dl, t_line) + step(dc, t_curve)) + EvalSlack(curve);
        const bool apart =
            dc.Nearest(D(on_line), nullptr) > slack || dl.Nearest(D(on_curve), nullptr) > slack;
        wrong += apart;
        if (apart && wrong <= 3)
          ADD_FAILURE() << Str(line) << " and " << Str(curve) << (swap ? " (curve first)" : "")
                        << " meet at " << on_line.x << "," << on_line.y << " / " << on_curve.x
                        << "," << on_curve.y;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(CurveIntersection, LinesAgainstCurvesAcrossTheirBoxesAgainstReference) {
  // A line is never halved, so its box stays whole: pieces of the curve that
  // lie inside that box but clear of the line are dropped early. Lines and
  // curves drawn over a square of 2^20 units, so that most curve pieces sit in
  // the line's box; every crossing must still be found.
  std::mt19937 rng(29);
  std::uniform_int_distribution<int32_t> coord(-(1 << 19), 1 << 19);
  auto P = [&] { return Point32{coord(rng), coord(rng)}; };
  int missed = 0, compared = 0;
  for (int i = 0; i < 6000; ++i) {
    QuadCurve line;
    CurveFromLine(P(), P(), line);
    const QuadCurve curve = Q(P(), P(), P());
    for (int m : {WrongMeetings(line, curve), WrongMeetings(curve, line)}) {
      compared += m >= 0;
      missed += std::max(m, 0);
    }
  }
  EXPECT_EQ(missed, 0) << compared;
  EXPECT_GT(compared, 10000);
}

TEST(CurveIntersection, SweepAgainstReference) {
  // Random pairs in a 500-twip square (as the edge graph's fuzzing draws
  // them), and pairs built to cross B at a joint of its halvings: B's control
  // point is solved so that B passes through a point of A at a dyadic tB.
  std::mt19937 rng(23);
  std::uniform_int_distribution<int32_t> coord(0, 500 * 256);
  auto P = [&] { return Point32{coord(rng), coord(rng)}; };
  int missed_random = 0, missed_joint = 0, compared_random = 0, compared_joint = 0;
  for (int i = 0; i < 30000; ++i) {
    const QuadCurve a = Q(P(), P(), P()), b = Q(P(), P(), P());
    const int m = WrongMeetings(a, b);
    compared_random += m >= 0;
    missed_random += std::max(m, 0);
  }
  for (int i = 0; i < 12000; ++i) {
    const QuadCurve a = Q(P(), P(), P());
    const int levels = std::uniform_int_distribution<int>(1, 6)(rng);
    const int k = 2 * std::uniform_int_distribution<int>(0, (1 << (levels - 1)) - 1)(rng) + 1;
    const double u = double(k) / (1 << levels);
    const DPoint at = D(a).At(std::uniform_real_distribution<double>(0.05, 0.95)(rng));
    const DPoint p0 = D(P()), p2 = D(P());
    const double w = 2 * u * (1 - u);
    const double cx = (at.x - (1 - u) * (1 - u) * p0.x - u * u * p2.x) / w;
    const double cy = (at.y - (1 - u) * (1 - u) * p0.y - u * u * p2.y) / w;
    if (std::abs(cx - 64000) > 192000 || std::abs(cy - 64000) > 192000) continue;
    const QuadCurve b =
        Q({int32_t(p0.x), int32_t(p0.y)}, {int32_t(std::lround(cx)), int32_t(std::lround(cy))},
          {int32_t(p2.x), int32_t(p2.y)});
    for (int m : {WrongMeetings(a, b), WrongMeetings(b, a)}) {
      compared_joint += m >= 0;
      missed_joint += std::max(m, 0);
    }
  }
  EXPECT_EQ(missed_random, 0) << compared_random;
  EXPECT_EQ(missed_joint, 0) << compared_joint;
  EXPECT_GT(compared_random, 25000);
  EXPECT_GT(compared_joint, 10000);
}
