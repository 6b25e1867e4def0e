#include "geometry/fixed.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

#include "geometry/fixed_tables.inc"

// Magnitude of a signed value, with -0x80000000 read as 0x7FFFFFFF.
uint32_t SatAbs(int32_t v) {
  if (v == INT32_MIN) return 0x7FFFFFFF;
  return static_cast<uint32_t>(v < 0 ? -v : v);
}

// |v| as a 64-bit value (exact, also for INT32_MIN).
int64_t Abs64(int64_t v) {
  return v < 0 ? -v : v;
}

int32_t Low32(int64_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(v));
}

constexpr int32_t kSaturatedMax = 0x7FFFFFFF;

// An angle constant kept at 20 fraction bits, brought to `bits` fraction bits.
int64_t AngleConst(int64_t value20, int bits) {
  return bits <= 20 ? value20 >> (20 - bits) : value20 << (bits - 20);
}

int32_t Center(int32_t lo, int32_t hi) {
  return static_cast<int32_t>((static_cast<int64_t>(lo) + hi) >> 1);
}

}  // namespace

int32_t ShiftValue(int32_t v, ShiftCount shift) {
  if (shift & 0x8000) {
    const int n = 0x10000 - shift;  // 1 .. 32768
    if (n > 32) return 0;           // (v + 2^(n-1)) >> n is 0 for every 32-bit v
    return static_cast<int32_t>((static_cast<int64_t>(v) + (int64_t{1} << (n - 1))) >> n);
  }
  if (shift >= 32) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(v) << shift);
}

// ---- Scalars ---------------------------------------------------------------

Fixed FixedMulShift(int32_t a, int32_t b, int n) {
  const int64_t p = static_cast<int64_t>(a) * b;
  if (n <= 0) return Low32(p);
  // Shift out n bits and add the last bit shifted out: halves round up.
  return Low32((p >> n) + ((p >> (n - 1)) & 1));
}

Fixed FixedMul(Fixed a, Fixed b) {
  return FixedMulShift(a, b, 16);
}

Fixed FixedDivShift(int32_t a, int32_t b, int n) {
  const bool negative = (a < 0) != (b < 0);
  const int32_t saturated = negative ? INT32_MIN : kSaturatedMax;
  if (b == 0) return a >= 0 ? kSaturatedMax : INT32_MIN;
  const uint64_t ua = SatAbs(a);
  const uint64_t ub = SatAbs(b);
  // For 0 <= n <= 31, ua << n stays below 2^62 and a quotient of 2^31 or
  // more saturates below: no test beforehand (it took a second division).
  if (n < 0 && ((ua / ub) >> (31 - n)) != 0) return saturated;
  const uint64_t num = ua << n;
  uint64_t q = num / ub;
  const uint64_t r = num % ub;
  if (2 * r >= ub) ++q;  // halves away from zero
  if (q > 0x7FFFFFFF) return saturated;
  return negative ? -static_cast<int32_t>(q) : static_cast<int32_t>(q);
}

Fixed FixedDiv(int32_t a, int32_t b) {
  return FixedDivShift(a, b, 16);
}

int32_t RoundToMultiple(int32_t v, int32_t step) {
  if (step == 0) return v;
  const int64_t s = step;
  const int64_t half = s / 2;
  const int64_t q = v < 0 ? (v - half) / s : (v + half) / s;
  return Low32(s * q);
}

namespace {

// Reduces an angle with `bits` fraction bits into [0, 360]; exact multiples
// of 360 below zero land on 360, which every caller treats like 0.
int64_t ReduceAngle(int64_t angle, int bits) {
  const int64_t full = AngleConst(0x16800000, bits);
  if (angle >= full) return angle % full;
  if (angle < 0) return angle + full * (-angle / full + 1);
  return angle;
}

}  // namespace

Fixed FixedSinQuadrant(Fixed angle, int in_bits, int out_bits) {
  const int frac = in_bits - 2;  // fraction bits below a quarter degree
  const uint32_t ua = static_cast<uint32_t>(angle);
  const int i =
      frac > 0 ? static_cast<int>((ua >> frac) & 511) : static_cast<int>((ua << -frac) & 511);
  const uint32_t rem = frac > 0 ? ua & ((1u << frac) - 1) : 0;
  uint64_t v = kSinTable[i];
  if (rem != 0) {
    const uint32_t next = kSinTable[std::min(i + 1, 511)];
    const uint64_t diff = next >= kSinTable[i] ? next - kSinTable[i] : kSinTable[i] - next;
    const uint64_t p = diff * rem;
    const uint64_t step = (p >> frac) + ((p >> (frac - 1)) & 1);
    v = next >= kSinTable[i] ? v + step : v - step;
  }
  v &= 0xFFFFFFFFu;  // the sum is taken as unsigned 32-bit
  if (out_bits >= 31) return static_cast<int32_t>(static_cast<uint32_t>(v << (out_bits - 31)));
  return static_cast<int32_t>((v + (uint64_t{1} << (30 - out_bits))) >> (31 - out_bits));
}

Fixed FixedSin(Fixed angle, int in_bits, int out_bits) {
  int64_t a = ReduceAngle(angle, in_bits);
  const int64_t a90 = AngleConst(0x5A00000, in_bits);
  const int64_t a180 = AngleConst(0xB400000, in_bits);
  bool negate = false;
  if (a >= a180) {
    a -= a180;
    negate = true;
  }
  if (a > a90) a = a180 - a;
  const Fixed s = FixedSinQuadrant(static_cast<int32_t>(a), in_bits, out_bits);
  return negate ? WrapNeg(s) : s;
}

Fixed FixedCos(Fixed angle, int in_bits, int out_bits) {
  const int64_t a = ReduceAngle(angle, in_bits);
  const int64_t a90 = AngleConst(0x5A00000, in_bits);
  const int64_t a180 = AngleConst(0xB400000, in_bits);
  const int64_t a270 = AngleConst(0x10E00000, in_bits);
  if (a < a90) return FixedSinQuadrant(static_cast<int32_t>(a90 - a), in_bits, out_bits);
  if (a < a270) {
    int64_t b = a - a90;
    if (b > a90) b = a180 - b;
    return WrapNeg(FixedSinQuadrant(static_cast<int32_t>(b), in_bits, out_bits));
  }
  return FixedSinQuadrant(static_cast<int32_t>(a - a270), in_bits, out_bits);
}

Fixed FixedTan(Fixed angle) {
  return FixedDiv(FixedSin(angle), FixedCos(angle));
}

Fixed FixedAtanRatio(Fixed ratio, int in_bits, int out_bits) {
  // Newton-form polynomial in the ratio at 25 fraction bits; result in degrees.
  static constexpr int32_t kNodes[10] = {0,       3355,     16777,    33554,    335544,
                                         3355443, 10066329, 16777216, 23488102, 30198988};
  static constexpr int32_t kCoeffs[11] = {0,         1922527331, -384492,    -640841711,
                                          4459892,   381432251,  -104783335, -174281885,
                                          172290461, -51671014,  -30088283};
  const int32_t x = in_bits <= 25
                        ? static_cast<int32_t>(static_cast<uint32_t>(ratio) << (25 - in_bits))
                        : ratio >> (in_bits - 25);
  int32_t p = kCoeffs[10];
  for (int i = 9; i >= 0; --i) p = WrapAdd(FixedMulShift(p, WrapSub(x, kNodes[i]), 25), kCoeffs[i]);
  if (out_bits >= 25) return static_cast<int32_t>(static_cast<uint32_t>(p) << (out_bits - 25));
  return static_cast<int32_t>((static_cast<int64_t>(p) + (int64_t{1} << (24 - out_bits))) >>
                              (25 - out_bits));
}

Fixed FixedAtan(Fixed value, int in_bits, int out_bits) {
  const uint32_t e = SatAbs(value);
  const int64_t one = int64_t{1} << in_bits;
  Fixed r;
  if (e > one) {
    const Fixed inv = FixedDivShift(static_cast<int32_t>(one), static_cast<int32_t>(e), in_bits);
    r = Low32(AngleConst(0x5A00000, out_bits) - FixedAtanRatio(inv, in_bits, out_bits));
  } else {
    r = FixedAtanRatio(static_cast<int32_t>(e), in_bits, out_bits);
  }
  return value < 0 ? WrapNeg(r) : r;
}

Fixed FixedAtan2(int32_t y, int32_t x, int in_bits, int out_bits) {
  const int64_t a90 = AngleConst(0x5A00000, out_bits);
  const int64_t a180 = AngleConst(0xB400000, out_bits);
  if (x == 0) return Low32(y >= 0 ? a90 : -a90);
  const Fixed r = FixedAtan(FixedDivShift(y, x, in_bits), in_bits, out_bits);
  if (x < 0) return Low32(y >= 0 ? r + a180 : r - a180);
  return r;
}

// ---- Points ----------------------------------------------------------------

void PointScale(const Point32& p, Fixed factor, Point32& out) {
  out = {FixedMul(p.x, factor), FixedMul(p.y, factor)};
}

void PointShift(const Point32& p, ShiftCount shift, Point32& out) {
  out = {ShiftValue(p.x, shift), ShiftValue(p.y, shift)};
}

void PointLerp(const Point32& p, const Point32& q, Fixed t, Point32& out) {
  out = {WrapAdd(q.x, FixedMul(t, WrapSub(p.x, q.x))),
         WrapAdd(q.y, FixedMul(t, WrapSub(p.y, q.y)))};
}

bool PointsNear(const Point32& p, const Point32& q, int32_t tol) {
  return Abs64(int64_t{p.x} - q.x) <= tol && Abs64(int64_t{p.y} - q.y) <= tol;
}

int32_t VectorLengthEstimate(const Point32& v) {
  const int64_t ax = Abs64(v.x), ay = Abs64(v.y);
  return static_cast<int32_t>(std::min<int64_t>(ax + ay - (std::min(ax, ay) >> 1), kSaturatedMax));
}

int32_t VectorLength(const Point32& v) {
  const uint32_t ax = SatAbs(v.x), ay = SatAbs(v.y);
  const uint32_t m = std::max(ax, ay);
  if (m == 0) return 0;
  // The ratio min / m with 16 fraction bits, halves rounded up: FixedDiv's
  // result, which never saturates here, with one division.
  const uint64_t num = uint64_t{std::min(ax, ay)} << 16;
  const uint64_t q = num / m;
  const int32_t r = static_cast<int32_t>(q + (2 * (num - q * m) >= m));
  const int k = r >> 10;
  const int64_t f = r & 1023;
  // The weights sum to 1023, not 1024: lengths come out 1/1024 short, and
  // every tolerance of the drawing model is tuned to that.
  const int32_t s =
      static_cast<int32_t>(((1023 - f) * kLengthTable[k] + f * kLengthTable[k + 1]) >> 14);
  // FixedMul(m, s).
  const int64_t p = int64_t{m} * s;
  return Low32((p >> 16) + ((p >> 15) & 1));
}

int32_t PointDistance(const Point32& p, const Point32& q) {
  return VectorLength({WrapSub(p.x, q.x), WrapSub(p.y, q.y)});
}

int32_t PointDistanceFast(const Point32& p, const Point32& q) {
  const int64_t dx = Abs64(int64_t{p.x} - q.x), dy = Abs64(int64_t{p.y} - q.y);
  return Low32(std::max(dx, dy) >> 1);
}

Fixed PointAngle(const Point32& p, const Point32* origin) {
  if (!origin) return FixedAtan2(p.y, p.x);
  return FixedAtan2(WrapSub(p.y, origin->y), WrapSub(p.x, origin->x));
}

void PointFromAngle(int32_t r, Fixed angle, const Point32* origin, Point32& out) {
  Point32 v{FixedMul(r, FixedCos(angle)), FixedMul(r, FixedSin(angle))};
  if (origin) v = {WrapAdd(v.x, origin->x), WrapAdd(v.y, origin->y)};
  out = v;
}

int32_t PointSegmentNearestAxis(const Point32& p0, const Point32& p1, const Point32& q,
                                Point32* nearest) {
  const int32_t dx = WrapSub(p1.x, p0.x), dy = WrapSub(p1.y, p0.y);
  Point32 n = p0;
  if (dx != 0 || dy != 0) {
    const bool along_x = Abs64(dx) >= Abs64(dy);
    // Coordinates on the dominant axis (u) and the other one (w).
    const int32_t u0 = along_x ? p0.x : p0.y, u1 = along_x ? p1.x : p1.y;
    const int32_t w0 = along_x ? p0.y : p0.x, w1 = along_x ? p1.y : p1.x;
    const int32_t du = along_x ? dx : dy, dw = along_x ? dy : dx;
    const int32_t qu = along_x ? q.x : q.y;
    int32_t nu, nw;
    if (qu >= std::min(u0, u1) && qu <= std::max(u0, u1)) {
      nu = qu;
      nw = WrapAdd(w0, FixedMul(FixedDiv(WrapSub(qu, u0), du), dw));
    } else if (Abs64(int64_t{qu} - u0) <= Abs64(int64_t{qu} - u1)) {
      nu = u0, nw = w0;
    } else {
      nu = u1, nw = w1;
    }
    n = along_x ? Point32{nu, nw} : Point32{nw, nu};
  }
  if (nearest) *nearest = n;
  return PointDistance(n, q);
}

int32_t PointSegmentDistance(const Point32& p0, const Point32& p1, const Point32& q,
                             Point32* nearest) {
  const int32_t dx = WrapSub(p1.x, p0.x), dy = WrapSub(p1.y, p0.y);
  const int64_t adx = Abs64(dx), ady = Abs64(dy);
  if (dx == 0 || dy == 0 || ady < (adx >> 5) || adx < (ady >> 5))
    return PointSegmentNearestAxis(p0, p1, q, nearest);
  // Foot of the perpendicular by slopes: the segment's line y = m*x + b1 and
  // the perpendicular through q, y = -k*x + b2.
  const Fixed m = FixedDiv(dy, dx);
  const Fixed k = FixedDiv(dx, dy);
  const int32_t b1 = WrapSub(p0.y, FixedMul(m, p0.x));
  const int32_t b2 = WrapAdd(FixedMul(k, q.x), q.y);
  Point32 n;
  n.x = FixedDiv(WrapSub(b2, b1), WrapAdd(k, m));
  n.y = WrapSub(b2, FixedMul(k, n.x));
  const Point32& left = p0.x <= p1.x ? p0 : p1;
  const Point32& right = p0.x <= p1.x ? p1 : p0;
  if (n.x < left.x)
    n = left;
  else if (n.x > right.x)
    n = right;
  if (nearest) *nearest = n;
  return PointDistance(n, q);
}

bool SegmentIntersect(const Point32& a0, const Point32& a1, const Point32& b0, const Point32& b1,
                      Fixed* ta, Fixed* tb) {
  // Products of 33-bit differences need more than 64 bits.
  using Wide = __int128;
  const Wide ax = Wide{a1.x} - a0.x, ay = Wide{a1.y} - a0.y;
  const Wide bx = Wide{b1.x} - b0.x, by = Wide{b1.y} - b0.y;
  const Wide ox = Wide{a0.x} - b0.x, oy = Wide{a0.y} - b0.y;
  const Wide v = bx * ay - by * ax;
  if (v == 0) return false;
  const Wide w = ox * by - oy * bx;
  const Wide s = ox * ay - oy * ax;
  auto in_unit = [v](Wide n) { return v > 0 ? (n >= 0 && n <= v) : (n <= 0 && n >= v); };
  if (!in_unit(w) || !in_unit(s)) return false;
  if (ta) *ta = static_cast<Fixed>(w * 65536 / v);
  if (tb) *tb = static_cast<Fixed>(s * 65536 / v);
  return true;
}

void VectorSetLength(Point32& v, int32_t length) {
  const int32_t current = VectorLength(v);
  if (current == 0) return;
  const Fixed f = FixedDiv(length, current);
  v = {FixedMul(f, v.x), FixedMul(f, v.y)};
}

// ---- Rectangles ------------------------------------------------------------

void RectSet(Rect32& r, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  r = {std::min(x0, x1), std::max(x0, x1), std::min(y0, y1), std::max(y0, y1)};
}

void RectFromPoint(Rect32& r, const Point32& p) {
  r = {p.x, p.x, p.y, p.y};
}

void RectFromTwoPoints(Rect32& r, const Point32& p, const Point32& q) {
  RectSet(r, p.x, p.y, q.x, q.y);
}

void RectFromCorners(Rect32& r, const WinRect& c) {
  RectSet(r, c.left, c.top, c.right, c.bottom);
}

void RectSetEmpty(Rect32& r) {
  r = Rect32{};
}

void RectSetHuge(Rect32& r) {
  r = {-4194304, 4194303, -4194304, 4194303};
}

void RectOffset(Rect32& r, int32_t dx, int32_t dy) {
  if (r.IsEmpty()) return;
  r = {WrapAdd(r.xmin, dx), WrapAdd(r.xmax, dx), WrapAdd(r.ymin, dy), WrapAdd(r.ymax, dy)};
}

void RectValidate(Rect32& r) {
  if (r.xmax < r.xmin || r.ymax < r.ymin) RectSetEmpty(r);
}

void RectInset(Rect32& r, int32_t d) {
  if (r.IsEmpty()) return;
  r = {WrapAdd(r.xmin, d), WrapSub(r.xmax, d), WrapAdd(r.ymin, d), WrapSub(r.ymax, d)};
  RectValidate(r);
}

void RectShift(const Rect32& r, ShiftCount shift, Rect32& out) {
  if (r.IsEmpty()) {
    RectSetEmpty(out);
    return;
  }
  out = {ShiftValue(r.xmin, shift), ShiftValue(r.xmax, shift), ShiftValue(r.ymin, shift),
         ShiftValue(r.ymax, shift)};
}

void RectGetHandlePoint(const Rect32& r, int handle, Point32& out) {
  const int32_t cx = Center(r.xmin, r.xmax), cy = Center(r.ymin, r.ymax);
  switch (handle) {
    case 0:
      out = {r.xmin, r.ymax};
      break;
    case 1:
      out = {r.xmax, r.ymax};
      break;
    case 2:
      out = {r.xmax, r.ymin};
      break;
    case 3:
      out = {r.xmin, r.ymin};
      break;
    case 4:
      out = {cx, r.ymax};
      break;
    case 5:
      out = {r.xmax, cy};
      break;
    case 6:
      out = {cx, r.ymin};
      break;
    case 7:
      out = {r.xmin, cy};
      break;
    default:
      out = {cx, cy};
      break;
  }
}

int RectOppositeHandle(int handle) {
  if (handle >= 0 && handle < 8) return handle < 4 ? (handle + 2) % 4 : 4 + (handle - 2) % 4;
  return 8;
}

void RectUnion(const Rect32& a, const Rect32& b, Rect32& out) {
  if (a.IsEmpty()) {
    out = b;
  } else if (b.IsEmpty()) {
    out = a;
  } else {
    out = {std::min(a.xmin, b.xmin), std::max(a.xmax, b.xmax), std::min(a.ymin, b.ymin),
           std::max(a.ymax, b.ymax)};
  }
}

void RectAddPoint(Rect32& r, const Point32& p) {
  if (r.IsEmpty()) {
    RectFromPoint(r, p);
    return;
  }
  r = {std::min(r.xmin, p.x), std::max(r.xmax, p.x), std::min(r.ymin, p.y), std::max(r.ymax, p.y)};
}

void RectIntersect(const Rect32& a, const Rect32& b, Rect32& out) {
  if (a.IsEmpty() || b.IsEmpty()) {
    RectSetEmpty(out);
    return;
  }
  out = {std::max(a.xmin, b.xmin), std::min(a.xmax, b.xmax), std::max(a.ymin, b.ymin),
         std::min(a.ymax, b.ymax)};
  RectValidate(out);
}

bool RectsOverlap(const Rect32& a, const Rect32& b) {
  // An empty rectangle overlaps nothing (its fields would otherwise compare
  // as a point at the far corner of the plane).
  if (a.IsEmpty() || b.IsEmpty()) return false;
  return !(b.xmax < a.xmin || a.xmax < b.xmin || b.ymax < a.ymin || a.ymax < b.ymin);
}

bool RectContainsPoint(const Rect32& r, const Point32& p) {
  if (r.IsEmpty()) return false;
  return p.x >= r.xmin && p.x <= r.xmax && p.y >= r.ymin && p.y <= r.ymax;
}

bool RectsNearlyEqual(const Rect32& a, const Rect32& b, int32_t tol) {
  if (a.IsEmpty() || b.IsEmpty()) return a.IsEmpty() == b.IsEmpty();
  auto near = [tol](int32_t u, int32_t v) { return Abs64(int64_t{u} - v) <= tol; };
  return near(a.xmin, b.xmin) && near(a.xmax, b.xmax) && near(a.ymin, b.ymin) &&
         near(a.ymax, b.ymax);
}

Point32 RectGetSize(const Rect32& r) {
  return {WrapSub(r.xmax, r.xmin), WrapSub(r.ymax, r.ymin)};
}

int32_t RectDiagonal(const Rect32& r) {
  return VectorLength(RectGetSize(r));
}

int32_t RectPointDistance(const Rect32& r, const Point32& p) {
  if (RectContainsPoint(r, p)) return 0;
  const Point32 clamped{std::clamp(p.x, r.xmin, std::max(r.xmin, r.xmax)),
                        std::clamp(p.y, r.ymin, std::max(r.ymin, r.ymax))};
  return PointDistance(p, clamped);
}

int32_t RectDistance(const Rect32& a, const Rect32& b) {
  auto gap = [](int32_t amin, int32_t amax, int32_t bmin, int32_t bmax) {
    if (bmax < amin) return WrapSub(amin, bmax);
    if (bmin > amax) return WrapSub(bmin, amax);
    return 0;
  };
  return VectorLength({gap(a.xmin, a.xmax, b.xmin, b.xmax), gap(a.ymin, a.ymax, b.ymin, b.ymax)});
}

void RectToWinRect(const Rect32& r, WinRect& out, bool y_down) {
  if (r.IsEmpty()) {
    out = {};
    return;
  }
  // Full 32-bit values: cutting to 16 bits would wrap rectangles at high zoom.
  out = {r.xmin, y_down ? r.ymin : r.ymax, r.xmax, y_down ? r.ymax : r.ymin};
}

// ---- Matrices --------------------------------------------------------------

void MatrixSetIdentity(Matrix2x3& m) {
  m = Matrix2x3{};
}

void MatrixSetRotation(Matrix2x3& m, Fixed angle) {
  const Fixed c = FixedCos(angle), s = FixedSin(angle);
  m = {c, s, WrapNeg(s), c, 0, 0};
}

void MatrixSetTranslation(Matrix2x3& m, int32_t tx, int32_t ty) {
  m = {kFixedOne, 0, 0, kFixedOne, tx, ty};
}

void MatrixSetScale(Matrix2x3& m, Fixed sx, Fixed sy) {
  m = {sx, 0, 0, sy, 0, 0};
}

void MatrixTransformVector(const Matrix2x3& m, const Point32& v, Point32& out) {
  int32_t x = FixedMul(m.a, v.x);
  if (m.c != 0) x = WrapAdd(x, FixedMul(m.c, v.y));
  int32_t y = FixedMul(m.d, v.y);
  if (m.b != 0) y = WrapAdd(y, FixedMul(m.b, v.x));
  out = {x, y};
}

void MatrixTransformPoint(const Matrix2x3& m, const Point32& p, Point32& out) {
  Point32 v;
  MatrixTransformVector(m, p, v);
  out = {WrapAdd(v.x, m.tx), WrapAdd(v.y, m.ty)};
}

void MatrixTransformPointSafe(const Matrix2x3& m, const Point32& p, Point32& out) {
  const Point32 in = p;
  MatrixTransformPoint(m, in, out);
}

void MatrixTransformPointCopy(const Matrix2x3& m, const Point32& p, Point32& out) {
  MatrixTransformPointSafe(m, p, out);
}

void MatrixTransformRect(const Matrix2x3& m, const Rect32& r, Rect32& out) {
  if (r.IsEmpty()) {
    RectSetEmpty(out);
    return;
  }
  const Rect32 in = r;
  Rect32 bounds;
  for (int h = 0; h < 4; ++h) {
    Point32 p;
    RectGetHandlePoint(in, h, p);
    MatrixTransformPoint(m, p, p);
    RectAddPoint(bounds, p);
  }
  out = bounds;
}

void MatrixTransformRectToWinRect(const Matrix2x3& m, const Rect32& r, WinRect& out, bool y_down) {
  Rect32 t;
  MatrixTransformRect(m, r, t);
  RectToWinRect(t, out, y_down);
}

void MatrixTransformCorners(const Matrix2x3& m, const WinRect& corners, Rect32& out) {
  Rect32 r;
  RectFromCorners(r, corners);
  MatrixTransformRect(m, r, out);
}

int32_t MatrixScaleLength(const Matrix2x3& m, int32_t length) {
  Point32 v;
  MatrixTransformVector(m, {length, length}, v);
  int32_t result = FixedMul(VectorLength(v), 46341);  // times 1/sqrt(2)
  if (length > 0 && result <= 1) result = 1;
  return result;
}

void MatrixConcat(const Matrix2x3& f, const Matrix2x3& s, Matrix2x3& out) {
  Matrix2x3 r;
  if (f.b == 0 && f.c == 0 && s.b == 0 && s.c == 0) {
    r = {FixedMul(f.a, s.a),
         0,
         0,
         FixedMul(f.d, s.d),
         WrapAdd(FixedMul(f.tx, s.a), s.tx),
         WrapAdd(FixedMul(f.ty, s.d), s.ty)};
  } else {
    r.a = WrapAdd(FixedMul(f.a, s.a), FixedMul(f.b, s.c));
    r.b = WrapAdd(FixedMul(f.a, s.b), FixedMul(f.b, s.d));
    r.c = WrapAdd(FixedMul(f.c, s.a), FixedMul(f.d, s.c));
    r.d = WrapAdd(FixedMul(f.c, s.b), FixedMul(f.d, s.d));
    r.tx = WrapAdd(WrapAdd(FixedMul(f.tx, s.a), FixedMul(f.ty, s.c)), s.tx);
    r.ty = WrapAdd(WrapAdd(FixedMul(f.tx, s.b), FixedMul(f.ty, s.d)), s.ty);
  }
  out = r;
}

namespace {

// A double scaled by 65536 and truncated towards zero, saturated to 32 bits.
Fixed SaturateFixed(double v) {
  v *= 65536.0;
  if (!(v > -2147483648.0)) return INT32_MIN;  // also NaN
  if (v >= 2147483647.0) return kSaturatedMax;
  return static_cast<Fixed>(v);
}

}  // namespace

void MatrixInvert(const Matrix2x3& m, Matrix2x3& out) {
  const Matrix2x3 in = m;
  Matrix2x3 r;
  if (in.b == 0 && in.c == 0) {
    r.a = FixedDiv(kFixedOne, in.a);
    r.d = FixedDiv(kFixedOne, in.d);
    r.b = r.c = 0;
    r.tx = WrapNeg(FixedMul(r.a, in.tx));
    r.ty = WrapNeg(FixedMul(r.d, in.ty));
    out = r;
    return;
  }
  const double a = in.a / 65536.0, b = in.b / 65536.0, c = in.c / 65536.0, d = in.d / 65536.0;
  const double det = a * d - c * b;
  if (det == 0) {
    MatrixSetIdentity(out);
    return;
  }
  r.a = SaturateFixed(d / det);
  r.b = SaturateFixed(-b / det);
  r.c = SaturateFixed(-c / det);
  r.d = SaturateFixed(a / det);
  r.tx = r.ty = 0;
  Point32 t;
  MatrixTransformVector(r, {in.tx, in.ty}, t);
  r.tx = WrapNeg(t.x);
  r.ty = WrapNeg(t.y);
  out = r;
}

bool MatrixNearlyEqual(const Matrix2x3& p, const Matrix2x3& q, int32_t tol) {
  auto near = [tol](int32_t u, int32_t v) { return Abs64(int64_t{u} - v) <= tol; };
  return near(p.a, q.a) && near(p.b, q.b) && near(p.c, q.c) && near(p.d, q.d) && near(p.tx, q.tx) &&
         near(p.ty, q.ty);
}

bool MatrixIsIdentity(const Matrix2x3& m) {
  return m == Matrix2x3{};
}

bool MatrixIsAxisAligned(const Matrix2x3& m) {
  return Abs64(m.b) <= 16 && Abs64(m.c) <= 16 && m.a > 0 && m.d > 0;
}

namespace {

void RectToRectScales(const Rect32& src, const Rect32& dst, Fixed& sx, Fixed& sy) {
  const Point32 ss = RectGetSize(src), ds = RectGetSize(dst);
  sx = FixedDiv(std::max(ds.x, 16), std::max(ss.x, 16));
  sy = FixedDiv(std::max(ds.y, 16), std::max(ss.y, 16));
}

}  // namespace

void MatrixRectToRect(const Rect32& src, const Rect32& dst, Matrix2x3& out) {
  Fixed sx, sy;
  RectToRectScales(src, dst, sx, sy);
  out = {sx,
         0,
         0,
         sy,
         WrapSub(dst.xmin, FixedMul(src.xmin, sx)),
         WrapSub(dst.ymax, FixedMul(src.ymax, sy))};
}

void MatrixRectToRectUniform(const Rect32& src, const Rect32& dst, Matrix2x3& out) {
  Fixed sx, sy;
  RectToRectScales(src, dst, sx, sy);
  const Fixed s = std::min(sx, sy);
  out = {s,
         0,
         0,
         s,
         WrapSub(Center(dst.xmin, dst.xmax), FixedMul(Center(src.xmin, src.xmax), s)),
         WrapSub(Center(dst.ymin, dst.ymax), FixedMul(Center(src.ymin, src.ymax), s))};
}

// ---- Pseudo-random generator -----------------------------------------------

void RandomSeed(Random16& r, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  r.state = static_cast<uint16_t>((u >> 16) ^ u ^ 0x7B2B);
}

void RandomSeedFromPoint(Random16& r, const Point32& p) {
  const uint32_t x = static_cast<uint32_t>(p.x);
  const uint32_t t = x ^ (x + static_cast<uint32_t>(p.y));
  r.state = static_cast<uint16_t>((t >> 16) ^ t);
}

namespace {
void RandomStep(Random16& r) {
  r.state = static_cast<uint16_t>(r.state * 25221u + 1u);
}
}  // namespace

Fixed RandomFixed(Random16& r, Fixed range) {
  RandomStep(r);
  return FixedMul(static_cast<int16_t>(r.state), range);
}

Fixed RandomSignedFixed(Random16& r, Fixed range) {
  RandomStep(r);
  const int32_t m = r.state & 0x7FFF;
  const Fixed v = FixedMulShift(m * m, range, 30);
  return (r.state & 0x8000) ? WrapNeg(v) : v;
}

void RandomJitterPoint(Random16& r, Point32& p, Fixed range) {
  p.x = WrapAdd(p.x, RandomSignedFixed(r, range));
  p.y = WrapAdd(p.y, RandomSignedFixed(r, range));
}

// ---- Archive form ----------------------------------------------------------

namespace {

void PutI32(std::vector<uint8_t>& out, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  out.insert(out.end(), {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
                         static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 24)});
}

// Reads n 32-bit fields, all or nothing.
bool GetI32s(std::span<const uint8_t>& in, int32_t* fields, size_t n) {
  if (in.size() < 4 * n) return false;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* b = in.data() + 4 * i;
    fields[i] = static_cast<int32_t>(uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 |
                                     uint32_t{b[3]} << 24);
  }
  in = in.subspan(4 * n);
  return true;
}

}  // namespace

void ArchiveWritePoint(std::vector<uint8_t>& out, const Point32& p) {
  PutI32(out, p.x);
  PutI32(out, p.y);
}

void ArchiveWriteRect(std::vector<uint8_t>& out, const Rect32& r) {
  for (int32_t v : {r.xmin, r.xmax, r.ymin, r.ymax}) PutI32(out, v);
}

void ArchiveWriteMatrix(std::vector<uint8_t>& out, const Matrix2x3& m) {
  for (int32_t v : {m.a, m.b, m.c, m.d, m.tx, m.ty}) PutI32(out, v);
}

bool ArchiveReadPoint(std::span<const uint8_t>& in, Point32& p) {
  int32_t f[2];
  if (!GetI32s(in, f, 2)) return false;
  p = {f[0], f[1]};
  return true;
}

bool ArchiveReadRect(std::span<const uint8_t>& in, Rect32& r) {
  int32_t f[4];
  if (!GetI32s(in, f, 4)) return false;
  r = {f[0], f[1], f[2], f[3]};
  return true;
}

bool ArchiveReadMatrix(std::span<const uint8_t>& in, Matrix2x3& m) {
  int32_t f[6];
  if (!GetI32s(in, f, 6)) return false;
  m = {f[0], f[1], f[2], f[3], f[4], f[5]};
  return true;
}
