#include "geometry/curve_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "path_test_util.h"

namespace {

constexpr Fixed kDeg = 0x10000;

// Tolerances as plain lengths: scale 256 makes the base the length itself;
// minimum 0 and maximum 255/256 of the span leave it alone.
constexpr int32_t kScale = 256;
PackedTolerance Length(int32_t base) {
  return static_cast<PackedTolerance>(base) << 16 | 0xFF00;
}

CurveFitSettings Settings(int32_t line, int32_t curve, int32_t spacing, int32_t span,
                          int32_t gap = 0) {
  CurveFitSettings s;
  s.line_tolerance = line ? Length(line) : 0;
  s.curve_tolerance = Length(curve);
  s.corner_spacing = Length(spacing);
  s.corner_angle = 30 * kDeg;
  s.curve_span = Length(span);
  s.sample_gap = gap;
  return s;
}

// Samples along a polyline, `step` apart (the corners themselves included).
std::vector<Point32> Walk(const std::vector<Point32>& corners, double step) {
  std::vector<Point32> out{corners[0]};
  for (std::size_t i = 1; i < corners.size(); ++i) {
    const double dx = corners[i].x - corners[i - 1].x, dy = corners[i].y - corners[i - 1].y;
    const int n = std::max(1, static_cast<int>(std::lround(std::hypot(dx, dy) / step)));
    for (int k = 1; k <= n; ++k) {
      out.push_back({static_cast<int32_t>(std::lround(corners[i - 1].x + dx * k / n)),
                     static_cast<int32_t>(std::lround(corners[i - 1].y + dy * k / n))});
    }
  }
  return out;
}

// Fits the samples into out with the settings, at scale kScale.
void Fit(const std::vector<Point32>& s, const CurveFitSettings& settings, PointList& out) {
  CPointList samples;
  FillSamples(samples, s);
  EXPECT_EQ(FitCurvesToPoints(out, settings, kScale, kScale, samples), 0);
}

std::vector<int32_t> OnCurveIndexOf(const PointList& path, const std::vector<Point32>& samples) {
  std::vector<int32_t> out;
  for (int32_t i = 0; i < path.length; ++i) {
    if (path.buffer[i].off_curve) continue;
    for (std::size_t k = 0; k < samples.size(); ++k) {
      if (samples[k] == path.buffer[i].Point()) {
        out.push_back(static_cast<int32_t>(k));
        break;
      }
    }
  }
  return out;
}

// Distance from q to the nearest of the path's curves, in double precision.
double DistanceToPath(const std::vector<QuadCurve>& curves, double qx, double qy) {
  double best = 1e300;
  for (const QuadCurve& c : curves) {
    for (int k = 0; k <= 256; ++k) {
      const double t = k / 256.0, s = 1 - t;
      const double x = s * s * c.p0.x + 2 * s * t * c.control.x + t * t * c.p2.x;
      const double y = s * s * c.p0.y + 2 * s * t * c.control.y + t * t * c.p2.y;
      best = std::min(best, std::hypot(x - qx, y - qy));
    }
  }
  return best;
}

}  // namespace

// ---- Tolerances ----------------------------------------------------------------

TEST(ScaleAssistantTolerance, ScalesThenClampsLowerFirst) {
  struct Case {
    PackedTolerance packed;
    int32_t scale, size, expected;
  };
  const Case cases[] = {
      {0x0080FF00, 5120, 0, 2560},      // base 128: half of the scale
      {0x0080FF00, 5120, 1000, 996},    // upper clamp: 1000 * 255 / 256
      {0x0080FF40, 512, 10000, 2500},   // lower clamp: 10000 * 64 / 256
      {0x00804040, 100000, 1024, 256},  // min = max: both clamps give 256
      {0x00802010, 100000, 1024, 128},  // above the maximum
      {0x00801020, 1, 1024, 64},        // minimum above the maximum: the upper wins
      {0x00000000, 5120, 0, 0},
      {0xFFFF0000, 1 << 20, 0, 268431360},  // the product needs more than 32 bits
      {0xFFFFFF00, 0x7FFFFFFF, 0x7FFFFFFF, 0x7F7FFFFF},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScaleAssistantTolerance(c.packed, c.scale, c.size), c.expected)
        << std::hex << c.packed << std::dec << " scale " << c.scale << " size " << c.size;
  }
}

TEST(PointsWithinCurveTolerance, ChordAndTolerance) {
  const Point32 pts[] = {{0, 0}, {50, 3}, {100, -3}, {150, 0}, {200, 40}};
  QuadCurve line;
  EXPECT_TRUE(PointsWithinCurveTolerance(pts, 4, line, 3));
  EXPECT_EQ(line, (QuadCurve{{0, 0}, {75, 0}, {150, 0}, 1}));
  EXPECT_FALSE(PointsWithinCurveTolerance(pts, 4, line, 2));
  // The last point is the chord's end and is never measured.
  EXPECT_TRUE(PointsWithinCurveTolerance(pts + 2, 2, line, 0));
  EXPECT_TRUE(PointsWithinCurveTolerance(pts, 1, line, 0));
  EXPECT_EQ(line.p0, line.p2);
}

TEST(PathCornerAngle, TurnMeasuredOverTheSpacing) {
  struct Case {
    const char* what;
    std::vector<Point32> corners;
    double expected;
  };
  const Case cases[] = {
      {"straight", {{0, 0}, {200, 0}}, 0},
      {"right angle", {{0, 0}, {100, 0}, {100, 100}}, 90},
      {"reversal", {{0, 0}, {100, 0}, {0, 0}}, 180},
      {"left turn of 135", {{0, 0}, {100, 0}, {0, 100}}, 135},
      {"right turn of 135", {{0, 0}, {100, 0}, {0, -100}}, 135},
      {"turn across 180 degrees", {{100, 0}, {0, 0}, {100, 1}}, 179.43},
  };
  for (const Case& c : cases) {
    const std::vector<Point32> s = Walk(c.corners, 5);
    std::vector<int32_t> L(s.size());
    for (std::size_t i = 1; i < s.size(); ++i) L[i] = L[i - 1] + PointDistance(s[i - 1], s[i]);
    const int32_t i = 20;  // the first leg is 100 long: 20 steps
    const Fixed a =
        PathCornerAngle(s.data() + i, L.data() + i, i, static_cast<int32_t>(s.size()) - 1 - i, 30);
    EXPECT_NEAR(a / 65536.0, c.expected, 0.6) << c.what;
    EXPECT_GE(a, 0);
    EXPECT_LE(a, kAngle180);
  }
}

// ---- Fitting -----------------------------------------------------------------------

TEST(FitCurvesToPoints, TwoSamplesGiveOneLine) {
  for (int32_t line_tol : {0, 4}) {
    CPointList samples;
    FillSamples(samples, {{10, 10}, {300, 200}});
    PointList out;
    EXPECT_EQ(FitCurvesToPoints(out, Settings(line_tol, 8, 16, 4000), kScale, kScale, samples), 0);
    const std::vector<QuadCurve> curves = Curves(out);
    ASSERT_EQ(curves.size(), 1u) << Describe(out);
    EXPECT_TRUE(curves[0].straight);
    EXPECT_EQ(curves[0].p0, (Point32{10, 10}));
    EXPECT_EQ(curves[0].p2, (Point32{300, 200}));
  }
}

TEST(FitCurvesToPoints, FewerThanTwoSamplesGiveNothing) {
  PointList out;
  Fill(out, {{1, 1, 0}, {2, 2, 0}});  // freed first
  CPointList samples;
  EXPECT_EQ(FitCurvesToPoints(out, Settings(4, 8, 16, 4000), kScale, kScale, samples), 0);
  EXPECT_EQ(out.length, 0);
  EXPECT_EQ(samples.Add({5, 5}), 0);
  EXPECT_EQ(FitCurvesToPoints(out, Settings(4, 8, 16, 4000), kScale, kScale, samples), 0);
  EXPECT_EQ(out.length, 0);
}

TEST(FitCurvesToPoints, SamplesWithinTheLineToleranceGiveOneLine) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> wobble(-3, 3);
  CPointList samples;
  for (int32_t x = 0; x <= 2000; x += 8)
    EXPECT_EQ(samples.Add({x, x / 2 + (x > 0 && x < 2000 ? wobble(rng) : 0)}), 0);
  PointList out;
  ASSERT_EQ(FitCurvesToPoints(out, Settings(4, 8, 40, 4000), kScale, kScale, samples), 0);
  const std::vector<QuadCurve> curves = Curves(out);
  ASSERT_EQ(curves.size(), 1u) << Describe(out);
  EXPECT_TRUE(curves[0].straight);
  EXPECT_EQ(curves[0].p2, (Point32{2000, 1000}));
}

TEST(FitCurvesToPoints, AnLGivesTwoStraightRunsMeetingAtTheCorner) {
  const std::vector<Point32> s = Walk({{0, 0}, {1000, 0}, {1000, 700}}, 10);
  PointList out;
  Fit(s, Settings(4, 8, 40, 4000), out);
  const std::vector<PointListEntry> expected = {{0, 0, 0}, {1000, 0, 0}, {1000, 700, 0}};
  EXPECT_EQ(Entries(out), expected) << Describe(out);

  // Without straight runs the corner sample still separates the two runs.
  Fit(s, Settings(0, 8, 40, 4000), out);
  EXPECT_EQ(OnCurveIndexOf(out, s), (std::vector<int32_t>{0, 100, 170})) << Describe(out);
  for (const QuadCurve& c : Curves(out)) {
    EXPECT_TRUE(c.control.y == 0 || c.control.x == 1000) << Describe(out);
  }
}

TEST(FitCurvesToPoints, CornersCloserThanTheSpacingMerge) {
  // A step of 60 units between two right angles: with spacing 40 they are one
  // corner, with spacing 8 two.
  const std::vector<Point32> s = Walk({{0, 0}, {500, 0}, {500, 60}, {1000, 60}}, 4);
  PointList out;
  Fit(s, Settings(40, 8, 40, 4000), out);
  EXPECT_EQ(OnCurveIndexOf(out, s).size(), 3u) << Describe(out);
  Fit(s, Settings(2, 8, 8, 4000), out);
  EXPECT_EQ(OnCurveIndexOf(out, s).size(), 4u) << Describe(out);
}

TEST(FitCurvesToPoints, SampleGapMakesCornersOfBothEnds) {
  std::vector<Point32> s;
  for (int32_t x = 0; x <= 400; x += 10) s.push_back({x, 0});
  for (int32_t x = 600; x <= 1000; x += 10) s.push_back({x, 0});  // a jump of 200
  PointList out;
  Fit(s, Settings(4, 8, 40, 4000, 100), out);
  EXPECT_EQ(OnCurveIndexOf(out, s), (std::vector<int32_t>{0, 40, 41, 81})) << Describe(out);
  Fit(s, Settings(4, 8, 40, 4000, 0), out);
  EXPECT_EQ(OnCurveIndexOf(out, s), (std::vector<int32_t>{0, 81})) << Describe(out);
}

TEST(FitCurvesToPoints, CircleGivesTangentContinuousCurvesWithinTolerance) {
  struct Case {
    double radius;
    int32_t tolerance, span;
    int samples;
  };
  const Case cases[] = {{3000, 8, 4000, 600}, {800, 4, 1000, 300}, {20000, 16, 6000, 2000}};
  for (const Case& c : cases) {
    CPointList samples;
    std::vector<Point32> s;
    for (int i = 0; i <= c.samples * 3 / 4; ++i) {  // three quarters of the circle
      const double a = 2 * M_PI * i / c.samples;
      s.push_back({static_cast<int32_t>(std::lround(c.radius * std::cos(a))),
                   static_cast<int32_t>(std::lround(c.radius * std::sin(a)))});
    }
    FillSamples(samples, s);
    PointList out;
    ASSERT_EQ(FitCurvesToPoints(out, Settings(0, c.tolerance, 40, c.span), kScale, kScale, samples),
              0);
    const std::vector<QuadCurve> curves = Curves(out);
    ASSERT_GE(curves.size(), 3u) << Describe(out);
    EXPECT_EQ(curves.front().p0, s.front());
    EXPECT_EQ(curves.back().p2, s.back());
    // No corner on a circle: one run, so every joint sits between two
    // control points and on the line through them.
    for (int32_t i = 1; i + 1 < out.length; ++i) {
      const PointListEntry& e = out.buffer[i];
      if (e.off_curve) continue;
      ASSERT_TRUE(out.buffer[i - 1].off_curve && out.buffer[i + 1].off_curve)
          << "joint " << i << ": " << Describe(out);
      const double ax = e.x - out.buffer[i - 1].x, ay = e.y - out.buffer[i - 1].y;
      const double bx = out.buffer[i + 1].x - e.x, by = out.buffer[i + 1].y - e.y;
      const double sine = (ax * by - ay * bx) / (std::hypot(ax, ay) * std::hypot(bx, by));
      const double off_line = std::fabs(ax * by - ay * bx) / std::hypot(ax + bx, ay + by);
      EXPECT_TRUE(off_line <= 1.5 || std::fabs(sine) < 0.01)
          << "joint " << i << " off the control line by " << off_line;
      EXPECT_GT(ax * bx + ay * by, 0) << "joint " << i << " turns back";
    }
    // Every sample lies within the tolerance of the fitted curves (plus the
    // rounding of integer control points).
    double worst = 0;
    for (const Point32& p : s) worst = std::max(worst, DistanceToPath(curves, p.x, p.y));
    EXPECT_LE(worst, c.tolerance + 2.0) << "radius " << c.radius;
    // Far fewer curves than samples.
    EXPECT_LT(curves.size() * 8, s.size());
  }
}

TEST(FitCurvesToPoints, CornerIndicesBeyond16BitsStayInPlace) {
  // 70001 samples one unit apart, then a sharp turn: the corner sits at
  // sample 70000, which a 16-bit index would wrap to 4464.
  std::vector<Point32> s;
  for (int32_t x = 0; x <= 70000; ++x) s.push_back({x, 0});
  for (int32_t y = 1; y <= 500; ++y) s.push_back({70000, y});
  PointList out;
  Fit(s, Settings(2, 8, 50, 4000), out);
  const std::vector<PointListEntry> expected = {{0, 0, 0}, {70000, 0, 0}, {70000, 500, 0}};
  EXPECT_EQ(Entries(out), expected) << Describe(out);
}

TEST(FitCurvesToPoints, RefusedMemoryIsReportedWithAnEmptyPath) {
  CPointList samples;
  FillSamples(samples, Walk({{0, 0}, {1000, 0}, {1000, 700}}, 10));
  PointList out;
  RefuseMemory refuse;
  EXPECT_EQ(FitCurvesToPoints(out, Settings(4, 8, 40, 4000), kScale, kScale, samples), -1);
  EXPECT_EQ(out.length, 0);
}
