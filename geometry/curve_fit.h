// Freehand curve fitting: a sampled stroke becomes a path of quadratic curves,
// sharp at its corners and tangent-continuous everywhere else.
//
// Tolerances come packed in 32 bits and are turned into lengths by the view's
// scale (ScaleAssistantTolerance):
//   bits 16-31  base value: length = scale * base / 256
//   bits 8-15   maximum, in 1/256 of a reference size
//   bits 0-7    minimum, in 1/256 of a reference size
// Sample indices are 32-bit throughout, so strokes of any length fit.
#pragma once

#include <cstdint>

#include "geometry/curve.h"
#include "geometry/fixed.h"
#include "geometry/point_list.h"

using PackedTolerance = uint32_t;

struct CurveFitSettings {
  PackedTolerance line_tolerance = 0;   // 0: runs are never replaced by straight lines
  PackedTolerance curve_tolerance = 0;  // largest deviation of a fitted curve
  PackedTolerance corner_spacing = 0;   // corners closer than this merge (at least 8)
  Fixed corner_angle = 0;               // a sharper turn makes a corner (degrees)
  PackedTolerance curve_span = 0;       // longest stretch one curve may cover
  int32_t sample_gap = 0;               // a longer step makes corners of both ends; 0 = none
};

// (scale * base) >> 8 with a 64-bit product; when size is not 0, raised to
// (size * minimum) >> 8 and then lowered to (size * maximum) >> 8.
int32_t ScaleAssistantTolerance(PackedTolerance packed, int32_t scale, int32_t size);

// out = the straight curve from points[0] to points[n-1]; true when n <= 2 or
// every point but the last lies within tol of it.
bool PointsWithinCurveTolerance(const Point32* points, int32_t n, QuadCurve& out, int32_t tol);

// Turn at samples[0] (a pointer into a stroke with `before` samples before it
// and `after` after it), measured between the points reached by walking more
// than `spacing` along the path backward and forward (or the stroke's ends).
// `lengths` points at the cumulative length of samples[0]. Degrees in [0, 180].
Fixed PathCornerAngle(const Point32* samples, const int32_t* lengths, int32_t before, int32_t after,
                      int32_t spacing);

// Fits tangent-continuous curves to the n samples of one run between corners
// and appends, for each curve, its start (all but the first) and its control
// point; the caller appends the run's first and last samples. -1 when memory
// runs out (the entries so far stay).
[[nodiscard]] int FitRunToCurves(const Point32* samples, const int32_t* lengths, int32_t n,
                                 int32_t tolerance, int32_t max_length, PointList& out);

// Replaces out with the fitted stroke. scale_a scales the line tolerance and
// the corner spacing, scale_b the curve tolerance and the curve span. -1 when
// memory runs out (out then holds the curves fitted so far).
[[nodiscard]] int FitCurvesToPoints(PointList& out, const CurveFitSettings& settings,
                                    int32_t scale_a, int32_t scale_b, const CPointList& samples);
