#include "view/core/recognition.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "geometry/path.h"

namespace {

// ---- Template data (x, y pairs, y up) -------------------------------------------

constexpr int8_t kRectanglePoints[] = {-100, 100, -100, -100, 100, -100, 100, 100};
constexpr int8_t kEllipsePoints[] = {100,  0,    97,  26,  87,  50,  71,  71,  50,  87,  26,  97,
                                     0,    100,  -26, 97,  -50, 87,  -71, 71,  -87, 50,  -97, 26,
                                     -100, 0,    -97, -26, -87, -50, -71, -71, -50, -87, -26, -97,
                                     0,    -100, 26,  -97, 50,  -87, 71,  -71, 87,  -50, 97,  -26};
constexpr int8_t kTrianglePoints[] = {0, 100, -100, -100, 100, -100};
constexpr int8_t kHalfArcPoints[] = {
    100, -100, 98, -65, 94, -32, 87, 0,   77, 29,  64, 53,  50, 73,  34,  88,  17,  97,   0,
    100, -17,  97, -34, 88, -50, 73, -64, 53, -77, 29, -87, 0,  -94, -32, -98, -65, -100, -100};
constexpr int8_t kThreeSidesPoints[] = {100, -100, 100, 100, -100, 100, -100, -100};
constexpr int8_t kChevronPoints[] = {100, -100, 0, 100, -100, -100};
constexpr int8_t kQuarterArcPoints[] = {100, -100, 97, -65, 88,  -32, 73,  0,  53,   29,
                                        29,  53,   0,  73,  -32, 88,  -65, 97, -100, 100};
constexpr int8_t kCornerPoints[] = {100, -100, 100, 100, -100, 100};

struct TemplateData {
  const int8_t* points;
  int32_t count;
  uint8_t closed;
};

template <std::size_t N>
constexpr TemplateData Data(const int8_t (&points)[N], uint8_t closed) {
  static_assert(N % 2 == 0);
  return {points, static_cast<int32_t>(N / 2), closed};
}

// In the order of TemplateShape.
constexpr TemplateData kTemplates[] = {Data(kRectanglePoints, 1),  Data(kEllipsePoints, 1),
                                       Data(kTrianglePoints, 1),   Data(kHalfArcPoints, 0),
                                       Data(kThreeSidesPoints, 0), Data(kChevronPoints, 0),
                                       Data(kQuarterArcPoints, 0), Data(kCornerPoints, 0)};

constexpr Rect32 kTemplateSquare{-100, 100, -100, 100};
constexpr int32_t kNoLimit = std::numeric_limits<int32_t>::max();

int32_t Distance(const Point32& p0, const Point32& p1, const Point32& q) {
  return PointSegmentDistance(p0, p1, q, nullptr);
}

// The samples' bounds and the tolerance as a length (scaled against the
// bounds' smaller side); false when fewer than five samples, a zero length or
// one side more than `ratio` times the other rules recognition out.
bool PrepareStroke(const CPointList& samples, PackedTolerance tol, int32_t scale, int64_t ratio,
                   Rect32& bounds, int32_t& limit) {
  if (samples.count <= 4) return false;
  samples.GetBounds(bounds);
  const int64_t width = int64_t{bounds.xmax} - bounds.xmin;
  const int64_t height = int64_t{bounds.ymax} - bounds.ymin;
  const int64_t smaller = std::min(width, height);
  limit = ScaleAssistantTolerance(tol, scale,
                                  static_cast<int32_t>(std::min<int64_t>(smaller, INT32_MAX)));
  // A negative length (a negative scale) can never be met either.
  if (limit <= 0) return false;
  return width <= ratio * height && height <= ratio * width;
}

}  // namespace

RecognitionTemplate MakeTemplate(TemplateShape shape, const Matrix2x3& matrix) {
  const TemplateData& d = kTemplates[static_cast<int>(shape)];
  RecognitionTemplate t;
  t.points = d.points;
  t.closed = d.closed;
  t.count = d.count;
  t.matrix = matrix;
  return t;
}

bool MatchErrorAdd(MatchErrorStats& stats, int32_t d) {
  stats.sum += d;
  stats.count += 1;
  stats.maximum = std::max(stats.maximum, d);
  return stats.maximum <= stats.limit;
}

Point32 TemplatePoint(const RecognitionTemplate& t, int32_t i) {
  const int32_t n = t.count;
  if (n <= 0) return {t.matrix.tx, t.matrix.ty};  // no points: the square's centre
  if (t.closed) {
    i %= n;
    if (i < 0) i += n;
  } else {
    i = std::clamp(i, 0, n - 1);
  }
  Point32 p{t.points[2 * i], t.points[2 * i + 1]};
  MatrixTransformPoint(t.matrix, p, p);
  return p;
}

int32_t TemplateMatch(const RecognitionTemplate& t, const CPointList& samples, int32_t start,
                      int32_t dir, int32_t limit) {
  if (samples.count == 0) return kMatchFailedTooFewCorners;
  if (dir < 0) start += 1;
  int32_t next = start + 2 * dir;  // index of R
  Point32 p = TemplatePoint(t, start);
  Point32 q = TemplatePoint(t, start + dir);
  Point32 r = TemplatePoint(t, next);
  int64_t corners = 0;
  MatchErrorStats stats;
  stats.limit = limit;
  for (int32_t i = 0; i < samples.count; ++i) {
    const Point32& s = samples.items[i];
    const Point32& previous = i > 0 ? samples.items[i - 1] : s;
    int32_t d_pq = Distance(p, q, s);
    for (;;) {
      const int32_t d_qr = Distance(q, r, s);
      if (d_qr >= d_pq) break;
      // Passing corner Q: it must lie near the stroke.
      if (!MatchErrorAdd(stats, Distance(previous, s, q))) return kMatchFailedCorner;
      p = q;
      q = r;
      next += dir;
      r = TemplatePoint(t, next);
      d_pq = d_qr;
      if (++corners > 2 * int64_t{t.count}) return kMatchFailedRunaway;
    }
    if (!MatchErrorAdd(stats, d_pq)) return kMatchFailedDistance;
  }
  if (corners <= t.count) {
    if (corners < t.count / 2) return kMatchFailedTooFewCorners;
    int32_t gap;
    if (t.closed) {
      gap = PointDistance(samples.items[samples.count - 1], samples.items[0]);
    } else {
      const Point32 last = TemplatePoint(t, t.count - 1);
      gap = PointDistance(last, dir < 0 ? samples.items[0] : samples.items[samples.count - 1]);
    }
    if (!MatchErrorAdd(stats, gap)) return kMatchFailedEndGap;
  }
  return static_cast<int32_t>(stats.sum / stats.count);
}

int32_t TemplateBestMatch(const CPointList& samples, RecognitionTemplate& t, int32_t limit) {
  int32_t forward_start = 0, backward_start = t.count - 2;
  if (t.closed && samples.count > 0) {
    // Both walks start on the template segment nearest to the first sample.
    const Point32& first = samples.items[0];
    int32_t best = kNoLimit;
    for (int32_t i = 0; i < t.count; ++i) {
      const int32_t d = Distance(TemplatePoint(t, i), TemplatePoint(t, i + 1), first);
      if (d < best) {
        best = d;
        forward_start = i;
      }
    }
    backward_start = forward_start;
  }
  const int32_t forward = TemplateMatch(t, samples, forward_start, 1, limit);
  const int32_t backward = TemplateMatch(t, samples, backward_start, -1, limit);
  t.direction = forward < backward ? 1 : -1;
  t.error = std::min(forward, backward);
  return t.error;
}

void FitRectToPoints(const CPointList& samples, Rect32& out) {
  Rect32 b;
  samples.GetBounds(b);
  if (b.IsEmpty()) {
    out = b;
    return;
  }
  Rect32 inner = b;
  for (int32_t i = 0; i < samples.count; ++i) {
    const Point32& s = samples.items[i];
    const int64_t d[4] = {int64_t{s.x} - b.xmin, int64_t{s.y} - b.ymin, int64_t{b.xmax} - s.x,
                          int64_t{b.ymax} - s.y};
    const int side = static_cast<int>(std::min_element(d, d + 4) - d);  // first smallest
    switch (side) {
      case 0:
        inner.xmin = std::max(inner.xmin, s.x);
        break;
      case 1:
        inner.ymin = std::max(inner.ymin, s.y);
        break;
      case 2:
        inner.xmax = std::min(inner.xmax, s.x);
        break;
      default:
        inner.ymax = std::min(inner.ymax, s.y);
        break;
    }
  }
  auto average = [](int32_t a, int32_t c) { return static_cast<int32_t>((int64_t{a} + c) >> 1); };
  out = {average(b.xmin, inner.xmin), average(b.xmax, inner.xmax), average(b.ymin, inner.ymin),
         average(b.ymax, inner.ymax)};
}

int RecognizeClosedShape(const CPointList& samples, Rect32& rect, PackedTolerance tol,
                         int32_t scale) {
  Rect32 bounds;
  int32_t limit = 0;
  if (!PrepareStroke(samples, tol, scale, 4, bounds, limit)) return 0;

  Matrix2x3 onto_bounds, onto_fitted;
  MatrixRectToRect(kTemplateSquare, bounds, onto_bounds);
  Rect32 fitted;
  FitRectToPoints(samples, fitted);
  MatrixRectToRect(kTemplateSquare, fitted, onto_fitted);

  RecognitionTemplate rectangle = MakeTemplate(TemplateShape::kRectangle, onto_fitted);
  RecognitionTemplate ellipse = MakeTemplate(TemplateShape::kEllipse, onto_bounds);
  RecognitionTemplate triangle = MakeTemplate(TemplateShape::kTriangle, onto_bounds);
  const int32_t r = TemplateBestMatch(samples, rectangle, limit);
  const int32_t e = TemplateBestMatch(samples, ellipse, limit);
  const int32_t t = TemplateBestMatch(samples, triangle, limit);

  const RecognitionTemplate* winner = nullptr;
  int code = 0;
  if (r < limit && r < e && r < t) {
    winner = &rectangle;
    code = kShapeRectangle;
    rect = fitted;
  } else if (e < limit && e < t) {
    winner = &ellipse;
    code = kShapeEllipse;
    rect = bounds;
  } else if (t < limit) {
    winner = &triangle;
    code = kShapeTriangle;
    rect = bounds;
  } else {
    return 0;
  }
  return winner->direction < 0 ? code + kShapeReversed : code;
}

int PathFromShapeCode(PointList& path, int code, const Rect32& rect) {
  PointListFreeCache(path);
  path.length = 0;
  int result;
  switch (code & ~kShapeReversed) {
    case kShapeRectangle:
      result = PathFromRect(path, rect);
      break;
    case kShapeEllipse:
      result = PathFromEllipse(path, rect);
      break;
    case kShapeTriangle:
      result = 0;
      for (const int handle : {4, 3, 2, 4}) {
        Point32 p;
        RectGetHandlePoint(rect, handle, p);
        if (PointListAppend(path, p, 0) < 0) {
          result = -1;
          break;
        }
      }
      break;
    default:
      return -1;
  }
  if (result == 0 && (code & kShapeReversed)) path.Reverse();
  return result;
}

int RecognizeArc(const CPointList& samples, RecognizedArc& arc, PackedTolerance tol,
                 int32_t scale) {
  Rect32 bounds;
  int32_t limit = 0;
  if (!PrepareStroke(samples, tol, scale, 2, bounds, limit)) return 0;
  QuadCurve chord;
  if (PointsWithinCurveTolerance(samples.items, samples.count, chord, limit)) return 0;

  Matrix2x3 onto_bounds, rotation;
  MatrixRectToRect(kTemplateSquare, bounds, onto_bounds);
  MatrixSetRotation(rotation, kAngle90);
  RecognitionTemplate half = MakeTemplate(TemplateShape::kHalfArc, onto_bounds);
  RecognitionTemplate three_sides = MakeTemplate(TemplateShape::kThreeSides, onto_bounds);
  RecognitionTemplate chevron = MakeTemplate(TemplateShape::kChevron, onto_bounds);
  RecognitionTemplate quarter = MakeTemplate(TemplateShape::kQuarterArc, onto_bounds);
  RecognitionTemplate corner = MakeTemplate(TemplateShape::kCorner, onto_bounds);
  RecognitionTemplate* const all[] = {&half, &three_sides, &chevron, &quarter, &corner};

  int32_t best = limit;
  int32_t direction = 1;
  for (int orientation = 0; orientation < 4; ++orientation) {
    const Fixed angle = orientation * kAngle90;
    // The half arc's depth runs across its chord: the bounds' height when upright.
    const int32_t size = WrapSub(orientation % 2 == 0 ? bounds.ymax : bounds.xmax,
                                 orientation % 2 == 0 ? bounds.ymin : bounds.xmin);
    const int32_t h = TemplateBestMatch(samples, half, best);
    if (h < best) {
      const int32_t s = TemplateBestMatch(samples, three_sides, kNoLimit);
      const int32_t c = TemplateBestMatch(samples, chevron, kNoLimit);
      if (h < s && h < c) {
        arc.orientation = angle;
        arc.sweep = kAngle180;
        arc.size = size;
        best = h;
        direction = half.direction;
      }
    }
    const int32_t q = TemplateBestMatch(samples, quarter, best);
    if (q < best && q < TemplateBestMatch(samples, corner, kNoLimit)) {
      arc.orientation = angle;
      arc.sweep = kAngle90;
      arc.size = size;
      best = q;
      direction = quarter.direction;
    }
    // Turn every template a quarter about the square's centre.
    for (RecognitionTemplate* t : all) MatrixConcat(rotation, t->matrix, t->matrix);
  }
  if (best >= limit) return 0;
  const Point32& first = samples.items[0];
  const Point32& last = samples.items[samples.count - 1];
  arc.reversed = direction < 0;
  arc.start = arc.reversed ? last : first;
  arc.end = arc.reversed ? first : last;
  return 1;
}

int PathFromArc(PointList& path, const RecognizedArc& arc) {
  PointListFreeCache(path);
  path.length = 0;
  const bool upright = arc.orientation == 0 || arc.orientation == kAngle180;
  const Point32& a = arc.start;
  const Point32& b = arc.end;
  Rect32 r;
  Fixed start, sweep;
  if (arc.sweep == kAngle180) {
    const Point32 centre{static_cast<int32_t>((int64_t{a.x} + b.x) >> 1),
                         static_cast<int32_t>((int64_t{a.y} + b.y) >> 1)};
    RectFromTwoPoints(r, a, b);
    if (upright) {
      r.ymin = WrapSub(centre.y, arc.size);
      r.ymax = WrapAdd(centre.y, arc.size);
    } else {
      r.xmin = WrapSub(centre.x, arc.size);
      r.xmax = WrapAdd(centre.x, arc.size);
    }
    const Point32 rect_centre{static_cast<int32_t>((int64_t{r.xmin} + r.xmax) >> 1),
                              static_cast<int32_t>((int64_t{r.ymin} + r.ymax) >> 1)};
    start = PointAngle(a, &rect_centre);
    sweep = WrapSub(PointAngle(b, &rect_centre), start);
    if (sweep < 0) sweep = WrapAdd(sweep, kAngle360);
  } else if (arc.sweep == kAngle90) {
    // Centred on the corner the arc turns around.
    const Point32 centre = upright ? Point32{b.x, a.y} : Point32{a.x, b.y};
    const int32_t hx =
        static_cast<int32_t>(std::min<int64_t>(std::llabs(int64_t{b.x} - a.x), INT32_MAX));
    const int32_t hy =
        static_cast<int32_t>(std::min<int64_t>(std::llabs(int64_t{b.y} - a.y), INT32_MAX));
    r = {WrapSub(centre.x, hx), WrapAdd(centre.x, hx), WrapSub(centre.y, hy),
         WrapAdd(centre.y, hy)};
    start = arc.orientation;
    sweep = kAngle90;
  } else {
    return -1;
  }
  if (AppendArc(path, r, start, sweep) < 0) return -1;
  if (path.length > 0) {
    path.buffer[0].x = a.x;
    path.buffer[0].y = a.y;
    path.buffer[path.length - 1].x = b.x;
    path.buffer[path.length - 1].y = b.y;
  }
  if (arc.reversed) path.Reverse();
  return 0;
}
