#include "view/core/recognition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/path.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr PackedTolerance kShapeTolerance = 0x14004010;  // the "Shape" level 2 tolerance
constexpr int32_t kPixel = 15;                           // twips per pixel at 100 %

using Points = std::vector<Point32>;

void Fill(CPointList& list, const Points& points) {
  list.Free();
  for (const Point32& p : points) EXPECT_EQ(list.Add(p), 0);
}

Points Reversed(Points p) {
  return {p.rbegin(), p.rend()};
}

// A small deterministic wobble, as a hand would add (about +-20 twips).
Point32 Wobble(double x, double y, int i) {
  return {static_cast<int32_t>(std::lround(x + 20 * std::sin(i * 1.7))),
          static_cast<int32_t>(std::lround(y + 20 * std::cos(i * 2.3)))};
}

using Corners = std::vector<std::pair<double, double>>;

// Samples every `step` twips along the corners (and back to the first one
// when closed), starting at the first corner.
Points AlongPolygon(const Corners& corners, double step, bool closed = true) {
  Points out;
  int i = 0;
  const std::size_t sides = closed ? corners.size() : corners.size() - 1;
  for (std::size_t c = 0; c < sides; ++c) {
    const auto [x0, y0] = corners[c];
    const auto [x1, y1] = corners[(c + 1) % corners.size()];
    const double length = std::hypot(x1 - x0, y1 - y0);
    const int n = std::max(1, static_cast<int>(length / step));
    for (int k = 0; k < n; ++k, ++i) {
      const double t = static_cast<double>(k) / n;
      out.push_back(Wobble(x0 + t * (x1 - x0), y0 + t * (y1 - y0), i));
    }
  }
  if (!closed) out.push_back(Wobble(corners.back().first, corners.back().second, i));
  return out;
}

// Counter-clockwise (y up) strokes around the box (x0, y0)-(x1, y1), closed
// back near their start.
Points RectangleStroke(double x0, double y0, double x1, double y1) {
  // Starts in the middle of the top side and runs left, down, right, up.
  const double cx = (x0 + x1) / 2;
  Points p = AlongPolygon({{cx, y1}, {x0, y1}, {x0, y0}, {x1, y0}, {x1, y1}}, 60);
  p.push_back(Wobble(cx - 30, y1, 99));
  return p;
}

Points EllipseStroke(double x0, double y0, double x1, double y1) {
  Points p;
  const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2, rx = (x1 - x0) / 2, ry = (y1 - y0) / 2;
  for (int i = 0; i <= 60; ++i) {
    const double a = 0.3 + 2 * kPi * i / 60;
    p.push_back(Wobble(cx + rx * std::cos(a), cy + ry * std::sin(a), i));
  }
  return p;
}

Points TriangleStroke(double x0, double y0, double x1, double y1) {
  Points p = AlongPolygon({{(x0 + x1) / 2, y1}, {x0, y0}, {x1, y0}}, 60);
  p.push_back(Wobble((x0 + x1) / 2 + 10, y1 - 20, 77));
  return p;
}

// Twice the signed area of the polygon through the entries: positive when
// counter-clockwise (y up).
double SignedArea(const Points& p) {
  double a = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Point32& u = p[i];
    const Point32& v = p[(i + 1) % p.size()];
    a += static_cast<double>(u.x) * v.y - static_cast<double>(v.x) * u.y;
  }
  return a;
}

Points Flatten(const PointList& path) {
  CPointList flat;
  EXPECT_EQ(CollectPathPoints(path, 5, 0, nullptr, flat), 0);
  return {flat.items, flat.items + flat.count};
}

std::string Describe(const Rect32& r) {
  std::ostringstream s;
  s << r.xmin << ".." << r.xmax << " x " << r.ymin << ".." << r.ymax;
  return s.str();
}

bool Near(const Rect32& a, const Rect32& b, int32_t tol) {
  return std::abs(a.xmin - b.xmin) <= tol && std::abs(a.xmax - b.xmax) <= tol &&
         std::abs(a.ymin - b.ymin) <= tol && std::abs(a.ymax - b.ymax) <= tol;
}

// ---- Templates and their parts ------------------------------------------------------

TEST(RecognitionTemplate, PointsWrapWhenClosedAndClampWhenOpen) {
  Matrix2x3 m;
  MatrixSetScale(m, 2 * kFixedOne, 3 * kFixedOne);
  m.tx = 1000;
  const RecognitionTemplate triangle = MakeTemplate(TemplateShape::kTriangle, m);
  const RecognitionTemplate chevron = MakeTemplate(TemplateShape::kChevron, m);
  struct Case {
    const RecognitionTemplate* t;
    int32_t index;
    Point32 expected;
  };
  const Case cases[] = {
      {&triangle, 0, {1000, 300}},  {&triangle, 3, {1000, 300}}, {&triangle, -1, {1200, -300}},
      {&triangle, -5, {800, -300}}, {&triangle, 7, {800, -300}}, {&chevron, -4, {1200, -300}},
      {&chevron, 1, {1000, 300}},   {&chevron, 2, {800, -300}},  {&chevron, 9, {800, -300}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    EXPECT_EQ(TemplatePoint(*c.t, c.index), c.expected);
  }
  EXPECT_EQ(MakeTemplate(TemplateShape::kEllipse).count, 24);
  EXPECT_EQ(MakeTemplate(TemplateShape::kHalfArc).count, 19);
  EXPECT_EQ(MakeTemplate(TemplateShape::kQuarterArc).count, 10);
  EXPECT_EQ(MakeTemplate(TemplateShape::kEllipse).closed, 1);
  EXPECT_EQ(MakeTemplate(TemplateShape::kCorner).closed, 0);
}

TEST(RecognitionTemplate, ErrorStatisticsFailOnlyAboveTheLimit) {
  MatchErrorStats stats;
  stats.limit = 10;
  EXPECT_TRUE(MatchErrorAdd(stats, 4));
  EXPECT_TRUE(MatchErrorAdd(stats, 10));
  EXPECT_TRUE(MatchErrorAdd(stats, 1));
  EXPECT_EQ(stats.sum, 15);
  EXPECT_EQ(stats.count, 3);
  EXPECT_EQ(stats.maximum, 10);
  EXPECT_FALSE(MatchErrorAdd(stats, 11));
  EXPECT_FALSE(MatchErrorAdd(stats, 0));  // the maximum stays above the limit
}

TEST(RecognitionTemplate, WalkFindsTheDirectionAndFailsWithItsCauses) {
  // The square template on 0..2000 and a counter-clockwise stroke exactly on it.
  const Rect32 square{0, 2000, 0, 2000};
  Matrix2x3 m;
  MatrixRectToRect({-100, 100, -100, 100}, square, m);
  RecognitionTemplate t = MakeTemplate(TemplateShape::kRectangle, m);
  CPointList samples;
  Fill(samples, AlongPolygon({{0, 1800}, {0, 0}, {2000, 0}, {2000, 2000}, {0, 2000}}, 100));
  // The wobble keeps every sample within 20 twips.
  EXPECT_LE(TemplateBestMatch(samples, t, 100), 20);
  EXPECT_EQ(t.direction, 1);
  EXPECT_EQ(TemplateMatch(t, samples, 0, 1, 10), kMatchFailedDistance);
  // Running the other way round, the first corner passed is far from the stroke.
  EXPECT_GE(TemplateMatch(t, samples, 0, -1, 100), kMatchFailedDistance);

  Fill(samples,
       Reversed(AlongPolygon({{0, 1800}, {0, 0}, {2000, 0}, {2000, 2000}, {0, 2000}}, 100)));
  EXPECT_LE(TemplateBestMatch(samples, t, 100), 20);
  EXPECT_EQ(t.direction, -1);

  // Only the left side: too few corners passed.
  Fill(samples, AlongPolygon({{0, 1800}, {0, 200}}, 100, false));
  EXPECT_EQ(TemplateMatch(t, samples, 0, 1, 1000), kMatchFailedTooFewCorners);
  // Three sides of the square: the gap back to the start is too wide.
  Fill(samples, AlongPolygon({{0, 1900}, {0, 0}, {2000, 0}, {2000, 1900}}, 100, false));
  EXPECT_EQ(TemplateMatch(t, samples, 0, 1, 1000), kMatchFailedEndGap);
}

TEST(RecognitionTemplate, FittedRectangleMovesHalfwayToWhatTheSidesPull) {
  // A 0..1000 square whose right side has one spike out to x = 1200, and a
  // bottom side sagging to y = -100 at one sample.
  CPointList samples;
  Fill(samples, {{0, 500},
                 {0, 0},
                 {500, -100},
                 {1000, 0},
                 {1000, 400},
                 {1200, 500},
                 {1000, 600},
                 {1000, 1000},
                 {500, 1000},
                 {0, 1000}});
  Rect32 r;
  FitRectToPoints(samples, r);
  // Left pulled to 0 and top to 1000 (already there); bottom to 0 by the
  // corners on it; right to 1000.
  EXPECT_EQ(r, (Rect32{0, 1100, -50, 1000})) << Describe(r);
}

// ---- Closed shapes ---------------------------------------------------------------------

struct ShapeCase {
  const char* name;
  Points (*stroke)(double, double, double, double);
  int code;
};
const ShapeCase kShapes[] = {{"rectangle", RectangleStroke, kShapeRectangle},
                             {"ellipse", EllipseStroke, kShapeEllipse},
                             {"triangle", TriangleStroke, kShapeTriangle}};

TEST(RecognizeClosedShape, EachShapeInBothDirectionsAndRebuiltTheSameWay) {
  for (const ShapeCase& c : kShapes) {
    for (const bool backward : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (backward ? " clockwise" : " counter-clockwise"));
      Points stroke = c.stroke(1000, 500, 4000, 2500);
      if (backward) stroke = Reversed(stroke);
      CPointList samples;
      Fill(samples, stroke);
      Rect32 rect;
      const int code = RecognizeClosedShape(samples, rect, kShapeTolerance, kPixel);
      EXPECT_EQ(code, c.code + (backward ? kShapeReversed : 0));
      EXPECT_TRUE(Near(rect, {1000, 4000, 500, 2500}, 40)) << Describe(rect);

      PointList path;
      ASSERT_EQ(PathFromShapeCode(path, code, rect), 0);
      EXPECT_EQ(SignedArea(Flatten(path)) > 0, SignedArea(stroke) > 0);
    }
  }
}

TEST(RecognizeClosedShape, RefusesShortFlatAndUnlikeStrokes) {
  CPointList samples;
  Rect32 rect;
  // Four samples never make a shape, five may.
  Fill(samples, {{0, 0}, {2000, 0}, {2000, 2000}, {0, 2000}});
  EXPECT_EQ(RecognizeClosedShape(samples, rect, kShapeTolerance, kPixel), 0);
  // Over four times as wide as high: never; just under: still a rectangle.
  Fill(samples, RectangleStroke(0, 0, 4300, 1000));
  EXPECT_EQ(RecognizeClosedShape(samples, rect, kShapeTolerance, kPixel), 0);
  Fill(samples, RectangleStroke(0, 0, 4000, 1000));
  EXPECT_EQ(RecognizeClosedShape(samples, rect, kShapeTolerance, kPixel), kShapeRectangle);
  // A zero tolerance (the "Shape" level 0) recognises nothing.
  Fill(samples, RectangleStroke(0, 0, 3000, 2000));
  EXPECT_EQ(RecognizeClosedShape(samples, rect, 0, kPixel), 0);
  // A star is none of the three.
  Corners star;
  for (int i = 0; i < 10; ++i) {
    const double a = 2 * kPi * i / 10, r = i % 2 ? 400 : 1000;
    star.emplace_back(r * std::cos(a), r * std::sin(a));
  }
  Fill(samples, AlongPolygon(star, 40));
  EXPECT_EQ(RecognizeClosedShape(samples, rect, kShapeTolerance, kPixel), 0);
}

TEST(PathFromShapeCode, TriangleThroughTheHandlesAndUnknownCodes) {
  PointList path;
  const Rect32 r{0, 1000, 0, 600};
  ASSERT_EQ(PathFromShapeCode(path, kShapeTriangle, r), 0);
  const std::vector<PointListEntry> expected{{500, 600, 0}, {0, 0, 0}, {1000, 0, 0}, {500, 600, 0}};
  EXPECT_EQ(std::vector<PointListEntry>(path.buffer, path.buffer + path.length), expected);
  ASSERT_EQ(PathFromShapeCode(path, kShapeTriangle + kShapeReversed, r), 0);
  const std::vector<PointListEntry> reversed{{500, 600, 0}, {1000, 0, 0}, {0, 0, 0}, {500, 600, 0}};
  EXPECT_EQ(std::vector<PointListEntry>(path.buffer, path.buffer + path.length), reversed);
  ASSERT_EQ(PathFromShapeCode(path, kShapeRectangle + kShapeReversed, r), 0);
  EXPECT_LT(SignedArea(Flatten(path)), 0);
  EXPECT_EQ(PathFromShapeCode(path, 4, r), -1);
  EXPECT_EQ(path.length, 0);
}

// ---- Arcs --------------------------------------------------------------------------------

// The ideal arc in the template square, turned by `orientation` quarters and
// mapped onto the box: a half arc over the top for orientation 0, a quarter
// arc around the bottom-left corner.
Points ArcStroke(bool half, int orientation, const Rect32& box, int n = 40) {
  Points out;
  for (int i = 0; i <= n; ++i) {
    const double a = (half ? kPi : kPi / 2) * i / n;
    double x = half ? 100 * std::cos(a) : -100 + 200 * std::cos(a);
    double y = -100 + 200 * std::sin(a);
    for (int k = 0; k < orientation; ++k) {
      const double t = x;
      x = -y;
      y = t;
    }
    out.push_back(Wobble(box.xmin + (x + 100) / 200 * (box.xmax - box.xmin),
                         box.ymin + (y + 100) / 200 * (box.ymax - box.ymin), i));
  }
  return out;
}

int32_t NearestDistance(const Points& path, const Point32& q) {
  int32_t best = INT32_MAX;
  for (const Point32& p : path) best = std::min(best, PointDistance(p, q));
  return best;
}

TEST(RecognizeArc, HalfAndQuarterArcsInFourOrientationsAndBothDirections) {
  const Rect32 box{1000, 4000, 500, 2500};
  for (const bool half : {true, false}) {
    for (int orientation = 0; orientation < 4; ++orientation) {
      for (const bool backward : {false, true}) {
        SCOPED_TRACE(std::string(half ? "half" : "quarter") + " arc at " +
                     std::to_string(90 * orientation) + (backward ? ", drawn backward" : ""));
        Points stroke = ArcStroke(half, orientation, box);
        if (backward) stroke = Reversed(stroke);
        CPointList samples;
        Fill(samples, stroke);
        RecognizedArc arc;
        ASSERT_EQ(RecognizeArc(samples, arc, kShapeTolerance, kPixel), 1);
        EXPECT_EQ(arc.orientation, orientation * kAngle90);
        EXPECT_EQ(arc.sweep, half ? kAngle180 : kAngle90);
        EXPECT_EQ(arc.reversed, backward);
        EXPECT_EQ(arc.start, backward ? stroke.back() : stroke.front());
        EXPECT_EQ(arc.end, backward ? stroke.front() : stroke.back());
        if (half) {
          // The depth across the chord: the bounds' height when upright, else their width.
          Rect32 b;
          samples.GetBounds(b);
          EXPECT_EQ(arc.size, orientation % 2 ? b.xmax - b.xmin : b.ymax - b.ymin);
        }

        // The rebuilt arc runs the stroke's way, from its first sample to its
        // last, and through its middle.
        PointList path;
        ASSERT_EQ(PathFromArc(path, arc), 0);
        ASSERT_GT(path.length, 2);
        EXPECT_EQ(path.buffer[0].Point(), stroke.front());
        EXPECT_EQ(path.buffer[path.length - 1].Point(), stroke.back());
        const Points flat = Flatten(path);
        for (std::size_t i = 0; i < stroke.size(); i += 5) {
          EXPECT_LT(NearestDistance(flat, stroke[i]), 80) << "sample " << i;
        }
      }
    }
  }
}

TEST(RecognizeArc, RefusesShortFlatStraightAndZeroTolerance) {
  CPointList samples;
  RecognizedArc arc;
  const Rect32 box{0, 3000, 0, 2000};
  // Four samples never make an arc.
  Points four = ArcStroke(true, 0, box, 3);
  ASSERT_EQ(four.size(), 4u);
  Fill(samples, four);
  EXPECT_EQ(RecognizeArc(samples, arc, kShapeTolerance, kPixel), 0);
  // Over twice as wide as high: never; just under: still an arc.
  Fill(samples, ArcStroke(true, 0, {0, 4600, 0, 2000}));
  EXPECT_EQ(RecognizeArc(samples, arc, kShapeTolerance, kPixel), 0);
  Fill(samples, ArcStroke(true, 0, {0, 4000, 0, 2000}));
  EXPECT_EQ(RecognizeArc(samples, arc, kShapeTolerance, kPixel), 1);
  // A straight stroke (square bounds, so only the chord test stops it).
  Points line;
  for (int i = 0; i <= 40; ++i) line.push_back(Wobble(50.0 * i, 50.0 * i, i));
  Fill(samples, line);
  EXPECT_EQ(RecognizeArc(samples, arc, kShapeTolerance, kPixel), 0);
  // A zero tolerance recognises nothing.
  Fill(samples, ArcStroke(true, 0, box));
  EXPECT_EQ(RecognizeArc(samples, arc, 0, kPixel), 0);
  // A sharp chevron is not a half arc.
  Fill(samples, AlongPolygon({{3000, 0}, {1500, 2000}, {0, 0}}, 60, false));
  EXPECT_EQ(RecognizeArc(samples, arc, kShapeTolerance, kPixel), 0);
}

TEST(PathFromArc, UnknownSweepIsAnError) {
  PointList path;
  RecognizedArc arc;
  arc.start = {0, 0};
  arc.end = {100, 100};
  arc.sweep = 45 * kFixedOne;
  EXPECT_EQ(PathFromArc(path, arc), -1);
  EXPECT_EQ(path.length, 0);
}

}  // namespace
