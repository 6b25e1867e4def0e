// Fixed-point arithmetic, points, rectangles and 2x3 matrices.
//
// Every coordinate, scale and angle of the drawing model is an integer:
//   Fixed      signed 16.16 (1.0 = 0x10000); angles are degrees in the same format.
//   Point32    twips, or twips * 256 inside an edge graph.
//   Rect32     xmin, xmax, ymin, ymax, both ends inclusive; y grows upwards;
//              xmin == kRectEmpty marks the empty rectangle.
//   Matrix2x3  x' = a*x + c*y + tx, y' = b*x + d*y + ty.
//
// All operations are total: they never allocate, throw or report errors.
// Multiplication wraps (computed through unsigned arithmetic, so the bits are
// defined), division saturates. Outputs may alias inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

using Fixed = int32_t;

constexpr Fixed kFixedOne = 0x10000;
constexpr Fixed kFixedHalf = 0x8000;
constexpr int32_t kRectEmpty = INT32_MIN;  // xmin of the empty rectangle
constexpr Fixed kAngle90 = 0x5A0000;
constexpr Fixed kAngle180 = 0xB40000;
constexpr Fixed kAngle360 = 0x1680000;

struct Point32 {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const Point32&, const Point32&) = default;
};

struct Rect32 {
  int32_t xmin = kRectEmpty;
  int32_t xmax = kRectEmpty;
  int32_t ymin = kRectEmpty;
  int32_t ymax = kRectEmpty;
  bool IsEmpty() const { return xmin == kRectEmpty; }
  friend bool operator==(const Rect32&, const Rect32&) = default;
};

// The window-system rectangle: left, top, right, bottom.
struct WinRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  friend bool operator==(const WinRect&, const WinRect&) = default;
};

struct Matrix2x3 {
  Fixed a = kFixedOne;
  Fixed b = 0;
  Fixed c = 0;
  Fixed d = kFixedOne;
  int32_t tx = 0;
  int32_t ty = 0;
  friend bool operator==(const Matrix2x3&, const Matrix2x3&) = default;
};

// Power-of-two scale count: a plain value n shifts left by n; with bit 15 set
// it is the 16-bit two's complement of a right shift n, rounding halves up.
using ShiftCount = uint16_t;
constexpr ShiftCount ShiftLeft(int n) {
  return static_cast<ShiftCount>(n);
}
constexpr ShiftCount ShiftRight(int n) {
  return static_cast<ShiftCount>(0x10000 - n);
}
int32_t ShiftValue(int32_t v, ShiftCount shift);

// Wrapping 32-bit arithmetic (two's complement, no undefined behaviour).
constexpr int32_t WrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
constexpr int32_t WrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
constexpr int32_t WrapNeg(int32_t a) {
  return static_cast<int32_t>(0u - static_cast<uint32_t>(a));
}

// Saturating narrowing to 32 bits.
constexpr int32_t Clamp32(int64_t v) {
  return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v);
}
// A coordinate saturated to 32 bits and kept above kRectEmpty, so that a
// rectangle made of it never reads as the empty one.
constexpr int32_t ClampCoordinate(int64_t v) {
  return v <= kRectEmpty ? kRectEmpty + 1 : Clamp32(v);
}

// ---- Scalars ---------------------------------------------------------------

Fixed FixedMul(Fixed a, Fixed b);                  // a*b / 2^16, halves up, wraps
Fixed FixedMulShift(int32_t a, int32_t b, int n);  // a*b / 2^n, halves up, wraps
Fixed FixedDiv(int32_t a, int32_t b);              // a*2^16 / b, halves away from 0, saturates
Fixed FixedDivShift(int32_t a, int32_t b, int n);  // a*2^n / b, likewise
int32_t RoundToMultiple(int32_t v, int32_t step);  // halves away from zero

Fixed FixedSin(Fixed angle, int in_bits = 16, int out_bits = 16);
Fixed FixedCos(Fixed angle, int in_bits = 16, int out_bits = 16);
Fixed FixedSinQuadrant(Fixed angle, int in_bits = 16, int out_bits = 16);  // angle in [0, 90]
Fixed FixedTan(Fixed angle);
Fixed FixedAtanRatio(Fixed ratio, int in_bits = 16, int out_bits = 16);       // ratio in [0, 1]
Fixed FixedAtan(Fixed value, int in_bits = 16, int out_bits = 16);            // (-90, 90]
Fixed FixedAtan2(int32_t y, int32_t x, int in_bits = 16, int out_bits = 16);  // (-180, 180]

// ---- Points ----------------------------------------------------------------

void PointScale(const Point32& p, Fixed factor, Point32& out);
void PointShift(const Point32& p, ShiftCount shift, Point32& out);
void PointLerp(const Point32& p, const Point32& q, Fixed t, Point32& out);  // t=0: q, t=1: p
bool PointsNear(const Point32& p, const Point32& q, int32_t tol);
int32_t VectorLengthEstimate(const Point32& v);
int32_t VectorLength(const Point32& v);
int32_t PointDistance(const Point32& p, const Point32& q);
int32_t PointDistanceFast(const Point32& p, const Point32& q);
Fixed PointAngle(const Point32& p, const Point32* origin);
void PointFromAngle(int32_t r, Fixed angle, const Point32* origin, Point32& out);
int32_t PointSegmentDistance(const Point32& p0, const Point32& p1, const Point32& q,
                             Point32* nearest);
int32_t PointSegmentNearestAxis(const Point32& p0, const Point32& p1, const Point32& q,
                                Point32* nearest);
// True when the segments a0-a1 and b0-b1 meet; ta, tb (Fixed) when given.
bool SegmentIntersect(const Point32& a0, const Point32& a1, const Point32& b0, const Point32& b1,
                      Fixed* ta, Fixed* tb);
void VectorSetLength(Point32& v, int32_t length);

// ---- Rectangles ------------------------------------------------------------

void RectSet(Rect32& r, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void RectFromPoint(Rect32& r, const Point32& p);
void RectFromTwoPoints(Rect32& r, const Point32& p, const Point32& q);
void RectFromCorners(Rect32& r, const WinRect& corners);
void RectSetEmpty(Rect32& r);
void RectSetHuge(Rect32& r);
void RectOffset(Rect32& r, int32_t dx, int32_t dy);
void RectInset(Rect32& r, int32_t d);
void RectValidate(Rect32& r);
void RectShift(const Rect32& r, ShiftCount shift, Rect32& out);
void RectGetHandlePoint(const Rect32& r, int handle, Point32& out);
int RectOppositeHandle(int handle);
void RectUnion(const Rect32& a, const Rect32& b, Rect32& out);
void RectAddPoint(Rect32& r, const Point32& p);
void RectIntersect(const Rect32& a, const Rect32& b, Rect32& out);
bool RectsOverlap(const Rect32& a, const Rect32& b);  // touching counts
bool RectContainsPoint(const Rect32& r, const Point32& p);
bool RectsNearlyEqual(const Rect32& a, const Rect32& b, int32_t tol);
int32_t RectDiagonal(const Rect32& r);
Point32 RectGetSize(const Rect32& r);
int32_t RectPointDistance(const Rect32& r, const Point32& p);
int32_t RectDistance(const Rect32& a, const Rect32& b);
// y_down: top = ymin, bottom = ymax; otherwise top = ymax, bottom = ymin.
void RectToWinRect(const Rect32& r, WinRect& out, bool y_down);

// ---- Matrices --------------------------------------------------------------

void MatrixSetIdentity(Matrix2x3& m);
void MatrixSetRotation(Matrix2x3& m, Fixed angle);
void MatrixSetTranslation(Matrix2x3& m, int32_t tx, int32_t ty);
void MatrixSetScale(Matrix2x3& m, Fixed sx, Fixed sy);
void MatrixTransformPoint(const Matrix2x3& m, const Point32& p, Point32& out);
void MatrixTransformVector(const Matrix2x3& m, const Point32& v, Point32& out);
void MatrixTransformPointSafe(const Matrix2x3& m, const Point32& p, Point32& out);
void MatrixTransformPointCopy(const Matrix2x3& m, const Point32& p, Point32& out);
void MatrixTransformRect(const Matrix2x3& m, const Rect32& r, Rect32& out);
void MatrixTransformRectToWinRect(const Matrix2x3& m, const Rect32& r, WinRect& out, bool y_down);
void MatrixTransformCorners(const Matrix2x3& m, const WinRect& corners, Rect32& out);
int32_t MatrixScaleLength(const Matrix2x3& m, int32_t length);
void MatrixConcat(const Matrix2x3& first, const Matrix2x3& second, Matrix2x3& out);
void MatrixInvert(const Matrix2x3& m, Matrix2x3& out);
bool MatrixNearlyEqual(const Matrix2x3& a, const Matrix2x3& b, int32_t tol);
bool MatrixIsIdentity(const Matrix2x3& m);
bool MatrixIsAxisAligned(const Matrix2x3& m);
void MatrixRectToRect(const Rect32& src, const Rect32& dst, Matrix2x3& out);
void MatrixRectToRectUniform(const Rect32& src, const Rect32& dst, Matrix2x3& out);

// ---- Pseudo-random generator (16-bit state) --------------------------------

struct Random16 {
  uint16_t state = 0;
};
void RandomSeed(Random16& r, int32_t v);
void RandomSeedFromPoint(Random16& r, const Point32& p);
Fixed RandomFixed(Random16& r, Fixed range);        // in [-range/2, range/2)
Fixed RandomSignedFixed(Random16& r, Fixed range);  // clustered near 0
void RandomJitterPoint(Random16& r, Point32& p, Fixed range);

// ---- Archive form: 32-bit little-endian fields, no header or padding -------
// Writers append to a byte buffer; readers consume from the front of a span
// and return false (leaving the value untouched) when too few bytes remain.

void ArchiveWritePoint(std::vector<uint8_t>& out, const Point32& p);
void ArchiveWriteRect(std::vector<uint8_t>& out, const Rect32& r);
void ArchiveWriteMatrix(std::vector<uint8_t>& out, const Matrix2x3& m);
bool ArchiveReadPoint(std::span<const uint8_t>& in, Point32& p);
bool ArchiveReadRect(std::span<const uint8_t>& in, Rect32& r);
bool ArchiveReadMatrix(std::span<const uint8_t>& in, Matrix2x3& m);
