#include "geometry/curve_fit.h"

#include <algorithm>
#include <cstdlib>

#include "geometry/pool.h"

namespace {

// Owns one heap work array for the length of a call.
template <class T>
struct WorkArray {
  T* data = nullptr;
  // data stays null when the memory is refused.
  explicit WorkArray(int32_t n) {
    if (BlockAlloc(static_cast<std::size_t>(n) * sizeof(T), &data) < 0) data = nullptr;
  }
  ~WorkArray() {
    if (data) BlockFree(data);
  }
  WorkArray(const WorkArray&) = delete;
  WorkArray& operator=(const WorkArray&) = delete;
};

}  // namespace

int32_t ScaleAssistantTolerance(PackedTolerance packed, int32_t scale, int32_t size) {
  const int64_t base = packed >> 16;
  const int64_t minimum = packed & 0xFF;
  const int64_t maximum = (packed >> 8) & 0xFF;
  int64_t v = (int64_t{scale} * base) >> 8;
  if (size != 0) {
    v = std::max(v, (int64_t{size} * minimum) >> 8);
    v = std::min(v, (int64_t{size} * maximum) >> 8);
  }
  return Clamp32(v);
}

bool PointsWithinCurveTolerance(const Point32* points, int32_t n, QuadCurve& out, int32_t tol) {
  if (n <= 0) return true;
  CurveFromLine(points[0], points[n - 1], out);
  if (n <= 2) return true;
  for (int32_t i = 0; i < n - 1; ++i) {
    if (PointSegmentDistance(points[0], points[n - 1], points[i], nullptr) > tol) return false;
  }
  return true;
}

Fixed PathCornerAngle(const Point32* samples, const int32_t* lengths, int32_t before, int32_t after,
                      int32_t spacing) {
  // Cumulative lengths never decrease, so the walks are binary searches: the
  // first sample ahead more than `spacing` away, the last one behind.
  const int64_t here = lengths[0];
  const int32_t* ahead = std::upper_bound(lengths + 1, lengths + after + 1, here + spacing,
                                          [](int64_t v, int32_t l) { return v < l; });
  const int32_t forward =
      ahead == lengths + after + 1 ? after : static_cast<int32_t>(ahead - lengths);
  const int32_t* behind = std::lower_bound(lengths - before, lengths, here - spacing,
                                           [](int32_t l, int64_t v) { return l < v; });
  const int32_t backward =
      behind == lengths - before ? before : static_cast<int32_t>(lengths - behind) + 1;
  const Fixed in = PointAngle(samples[0], &samples[-backward]);
  const Fixed out = PointAngle(samples[forward], &samples[0]);
  int64_t turn = std::llabs(int64_t{in} - out);
  if (turn > kAngle180) turn = kAngle360 - turn;
  return static_cast<Fixed>(turn);
}

int FitRunToCurves(const Point32* samples, const int32_t* lengths, int32_t n, int32_t tolerance,
                   int32_t max_length, PointList& out) {
  tolerance = std::max(tolerance, 2);
  const int32_t good = FixedMul(45000, tolerance);  // about 0.687 of the tolerance
  Point32 previous_control;
  bool has_previous = false;
  for (int32_t start = 0; n - start >= 2;) {
    const int32_t left = n - start;
    const int32_t* run = lengths + start;
    // Piece sizes in samples: lo reaches 16 units, hi the maximum length.
    auto reach = [&](int64_t length) {
      for (int32_t j = 1; j < left; ++j) {
        if (int64_t{run[j]} - run[0] >= length) return j + 1;
      }
      return left;
    };
    int32_t lo = reach(16);
    int32_t hi = reach(max_length);
    // Bisect on the number of samples for the longest piece within tolerance.
    int32_t k = hi;
    QuadCurve curve;
    for (;;) {
      const int32_t error =
          CurveFitPoints(samples + start, k, curve, has_previous ? &previous_control : nullptr);
      if (error >= good && error <= tolerance) break;
      if (error <= tolerance) {
        if (hi - k < 3 || k >= hi) break;
        lo = k;
        k = (k + hi) / 2;
      } else {
        if (lo >= k) break;
        hi = k;
        k = (k + lo) / 2;
      }
    }
    // The start of a later curve was moved onto the line between the previous
    // control point and this one: the joint is tangent-continuous.
    if (has_previous && PointListAppend(out, curve.p0, 0) < 0) return -1;
    if (!curve.straight && PointListAppend(out, curve.control, 1) < 0) return -1;
    previous_control = curve.control;
    has_previous = true;
    start += k - 1;
  }
  return 0;
}

int FitCurvesToPoints(PointList& out, const CurveFitSettings& settings, int32_t scale_a,
                      int32_t scale_b, const CPointList& samples) {
  PointListFree(out);
  const int32_t n = samples.count;
  if (n < 2) return 0;
  const Point32* s = samples.items;
  const int32_t spacing = std::max(ScaleAssistantTolerance(settings.corner_spacing, scale_a, 0), 8);

  // Cumulative path lengths, saturating (a stroke longer than the coordinate
  // range stops measuring, it does not wrap).
  WorkArray<int32_t> lengths(n);
  if (!lengths.data) return -1;
  int32_t* L = lengths.data;
  L[0] = 0;
  for (int32_t i = 1; i < n; ++i) L[i] = Clamp32(int64_t{L[i - 1]} + PointDistance(s[i - 1], s[i]));

  // Corner candidates: both ends, samples next to a gap, and sharp turns.
  WorkArray<int32_t> corners(n);
  if (!corners.data) return -1;
  int32_t* c = corners.data;
  int32_t m = 0;
  c[m++] = 0;
  for (int32_t i = 1; i < n - 1; ++i) {
    const bool gap = settings.sample_gap != 0 && (L[i] - L[i - 1] > settings.sample_gap ||
                                                  L[i + 1] - L[i] > settings.sample_gap);
    if (gap || PathCornerAngle(s + i, L + i, i, n - 1 - i, spacing) > settings.corner_angle) {
      c[m++] = i;
    }
  }
  c[m++] = n - 1;

  // Clusters of nearby candidates become one corner, their middle candidate.
  // Written in place: a cluster's corner goes to a slot no later than its
  // first candidate.
  int32_t corner_count = 0;
  for (int32_t first = 0, k = 1; k <= m; ++k) {
    if (k < m && int64_t{L[c[k]]} - L[c[k - 1]] <= spacing &&
        int64_t{L[c[k]]} - L[c[first]] <= 3 * int64_t{spacing}) {
      continue;
    }
    c[corner_count++] = c[(first + k - 1) / 2];
    first = k;
  }
  c[0] = 0;
  if (corner_count < 2) corner_count = 2;
  c[corner_count - 1] = n - 1;

  for (int32_t j = 0; j + 1 < corner_count; ++j) {
    const int32_t i0 = c[j], i1 = c[j + 1];
    const int32_t span = L[i1] - L[i0];
    QuadCurve line;
    if (settings.line_tolerance != 0 &&
        PointsWithinCurveTolerance(
            s + i0, i1 - i0 + 1, line,
            ScaleAssistantTolerance(settings.line_tolerance, scale_a, span))) {
      if (PointListAppendCurve(out, line) < 0) return -1;
      continue;
    }
    if (PointListAppend(out, s[i0], 0) < 0 ||
        FitRunToCurves(s + i0, L + i0, i1 - i0 + 1,
                       ScaleAssistantTolerance(settings.curve_tolerance, scale_b, span),
                       ScaleAssistantTolerance(settings.curve_span, scale_b, span), out) < 0 ||
        PointListAppend(out, s[i1], 0) < 0) {
      return -1;
    }
  }
  return 0;
}
