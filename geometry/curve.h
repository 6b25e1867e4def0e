// Quadratic Bezier curves on fixed-point coordinates.
//
// Every edge of a drawing is a QuadCurve: a quadratic Bezier from p0 through
// the control point to p2, or a straight line (straight = 1, control at the
// midpoint). Curve parameters t are Fixed values from 0 to kFixedOne; kNoParam
// (-1.0) means "none".
//
// Free functions on plain records, in the style of fixed.h: inputs by const
// reference, outputs by reference, optional arguments as pointers that may be
// null. Outputs may alias inputs. Nothing throws; only CurveFitPoints
// allocates (and falls back to the straight chord when it cannot).
//
// Differences of coordinates are formed in 64 bits, so curves anywhere in the
// edge graph's range (twips * 256) evaluate without overflow.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"

constexpr Fixed kNoParam = -0x10000;         // "no parameter"
constexpr int32_t kNoDistance = 0x7FFFFFFF;  // CurveCurveNearest: nothing found

struct QuadCurve {
  Point32 p0;
  Point32 control;
  Point32 p2;
  int32_t straight = 0;  // 1: the line p0-p2, control = ((p0 + p2) >> 1)
  friend bool operator==(const QuadCurve&, const QuadCurve&) = default;
};

// Forward-difference walk over a curve in n equal parameter steps. Positions
// and differences carry 4 extra fraction bits; the last step lands on p2.
struct CurveStepper {
  int32_t remaining = 0;  // steps left
  Fixed t = 0;            // parameter reached so far
  Point32 current;
  Point32 previous;
  Fixed dt = 0;              // kFixedOne / n, rounded
  int64_t dx = 0, dy = 0;    // first differences
  int64_t ddx = 0, ddy = 0;  // second differences
  int64_t x = 0, y = 0;      // position << 4
  Point32 end;               // p2, where the last step lands
};

struct CurveIntersectEntry {
  int32_t overlap = 0;  // 1 when the entry bounds a coincident stretch
  Fixed tA = 0;
  Fixed tB = 0;
  Point32 point_a;  // the point at tA on curve A
  Point32 point_b;  // the point at tB on curve B
};

struct CurveIntersectResult {
  CurveIntersectEntry entries[4];
  int32_t count = 0;
};

// ---- Construction, bounds, simple transforms -------------------------------

void CurveSet(const Point32& p0, const Point32& control, const Point32& p2, QuadCurve& out);
void CurveFromLine(const Point32& p0, const Point32& p2, QuadCurve& out);
// Bounds of p0, p2 and (unless straight) the control point.
void CurveGetHullBounds(const QuadCurve& c, Rect32& out);
// Tight bounds: p0, p2 and the extremum point.
void CurveGetBounds(const QuadCurve& c, Rect32& out);
// The curve's extreme coordinate on each axis (p0's where it has none inside).
void CurveGetExtremum(const QuadCurve& c, Point32& out);
// Extreme value of the quadratic through a (t=0), b (control), c (t=1) on one
// axis; a when the extremum is not strictly inside.
int32_t CurveAxisExtremum(int32_t a, int32_t b, int32_t c);
// VectorLengthEstimate of (chord midpoint - control); 0 for a straight curve.
int32_t CurveDeviation(const QuadCurve& c);
void CurveShift(const QuadCurve& c, ShiftCount shift, QuadCurve& out);
// PointSegmentDistance(p0, p2, point at 1/2) < tol.
bool CurveIsNearlyStraight(const QuadCurve& c, int32_t tol);
// Makes the curve straight when its control point lies within 4 of the chord.
void CurveStraightenIfFlat(QuadCurve& c);
void CurveTransform(const QuadCurve& c, const Matrix2x3& m, QuadCurve& out);
void CurveReverse(const QuadCurve& c, QuadCurve& out);

// ---- Splitting and evaluation ----------------------------------------------

void CurveSplitHalf(const QuadCurve& c, QuadCurve& out1, QuadCurve& out2);
void CurveSplit(const QuadCurve& c, Fixed t, QuadCurve& out1, QuadCurve& out2);
// Three pieces: [0, min(t1,t2)], [min, max], [max, 1.0].
void CurveSplitTwice(const QuadCurve& c, Fixed t1, Fixed t2, QuadCurve& out1, QuadCurve& out2,
                     QuadCurve& out3);
void CurvePointAt(const QuadCurve& c, Fixed t, Point32& out);
// Direction of travel at t, in degrees (16.16).
Fixed CurveTangentAngle(const QuadCurve& c, Fixed t);

// ---- Length and parameters -------------------------------------------------

int32_t CurveLength(const QuadCurve& c);
// Parameter at arc length `length` from p0, clamped to [0, 1.0].
Fixed CurveParamAtLength(const QuadCurve& c, int32_t length);
// FixedDiv(PointDistance(p0, point), PointDistance(p0, p2)); 0 for a chord of
// length 0.
Fixed CurveChordRatio(const QuadCurve& c, const Point32& point);
// A local parameter t of the piece with centre `centre` and half width
// `half_width` mapped to the whole curve.
Fixed CurveMapParam(Fixed centre, Fixed half_width, Fixed t);
// Parameter of the point of c nearest to q, or kNoParam when none is nearer
// than limit; the point itself in *out when given and found.
Fixed CurveNearestPoint(const QuadCurve& c, const Point32& q, int32_t limit, Point32* out);

// ---- Inside tests ----------------------------------------------------------

// Crossings of the ray from q towards +x (callers pass depth 0). Ends are
// counted half-open in y, so a ray through a shared end point counts once.
int32_t CurveRayCrossings(const QuadCurve& c, const Point32& q, int depth);
// The same crossings signed by the direction of each monotone piece crossed:
// +1 running towards smaller y, -1 towards larger y (the winding number's
// share of the curve).
int32_t CurveRayWinding(const QuadCurve& c, const Point32& q);

// ---- Pairs of curves -------------------------------------------------------

// False when the three-point hulls lie apart by more than slackA + slackB on
// either axis; otherwise true, with the larger of width and height of each
// hull in *extentA, *extentB when given.
bool CurveHullsOverlap(const QuadCurve& a, const QuadCurve& b, int32_t slackA, int32_t slackB,
                       int64_t* extentA, int64_t* extentB);
// Fills result with up to four intersections (tol is raised to at least 8);
// returns the count.
int32_t CurveIntersect(const QuadCurve& a, const QuadCurve& b, CurveIntersectResult& result,
                       int32_t tol);
// Smallest distance of the four ends to the other segment, with the points on
// the segments a0-a1 and b0-b1 where it is reached.
int32_t CurveChordsNearest(const Point32& a0, const Point32& a1, const Point32& b0,
                           const Point32& b1, Point32& onA, Point32& onB);
// Nearest approach below limit, with both parameters; kNoDistance (and
// kNoParam in tA, tB) when none was found.
int32_t CurveCurveNearest(const QuadCurve& a, const QuadCurve& b, int32_t limit, int32_t tol,
                          Fixed& tA, Fixed& tB);
// 1 and the straight curve c1.p0-c2.p2 in out when both are straight and the
// joint lies within tol of that chord; else 0 (out untouched).
int CurveMergeStraight(const QuadCurve& c1, const QuadCurve& c2, int32_t tol, QuadCurve& out);

// ---- Cubic curves ----------------------------------------------------------

void CurveToCubic(const QuadCurve& c, Point32 out[4]);
void CubicSplitHalf(const Point32 cubic[4], Point32 first[4], Point32 second[4]);
// Approximates the cubic by at most `budget` quadratics within tol; returns
// the number written to out.
int CubicToQuadratics(const Point32 cubic[4], QuadCurve* out, int budget, int32_t tol);

// ---- Shape tests and fitting -----------------------------------------------

bool CurveIsTightBend(const QuadCurve& c);
// The curve with its ends moved to n0, n2 and its control point carried along.
void CurveMoveEnds(const QuadCurve& c, const Point32& n0, const Point32& n2, QuadCurve& out);
// Least-squares fit of one curve from points[0] to points[n-1]; returns the
// largest deviation found. previous_control, when given, keeps the tangent
// continuous with the preceding curve by moving the start onto its line.
int32_t CurveFitPoints(const Point32* points, int n, QuadCurve& out,
                       const Point32* previous_control);

// ---- Forward-difference walk -----------------------------------------------

void CurveStepInit(const QuadCurve& c, int n, CurveStepper& stepper);
// Advances one step; false when no steps remain.
bool CurveStepNext(CurveStepper& stepper);
