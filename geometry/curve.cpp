#include "geometry/curve.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <new>

namespace {

// Recursion bounds. The searches halve parameter ranges and stop on their own
// after about 14 halvings per curve; the bounds only guard degenerate input.
constexpr int kNearestMaxDepth = 24;
constexpr int kPairMaxDepth = 48;
constexpr int kCubicMaxDepth = 32;

// Low 32 bits of a 64-bit value (coordinates that are known to fit, or whose
// overflow the callers define as wrapping).
inline int32_t Wrap32(int64_t v) {
  return static_cast<int32_t>(static_cast<uint64_t>(v));
}

inline int32_t Sat32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// FixedMul on wide operands: a*b / 2^16 with halves rounded up, exactly as
// FixedMul rounds; the 128-bit product cannot overflow.
inline int64_t Mul16(int64_t a, int64_t b) {
  return static_cast<int64_t>((static_cast<__int128>(a) * b + 0x8000) >> 16);
}

// FixedDiv on wide operands: a*2^16 / b, halves away from zero, saturated.
Fixed Div16(int64_t a, int64_t b) {
  const bool negative = (a < 0) != (b < 0);
  if (b == 0) return a >= 0 ? INT32_MAX : INT32_MIN;
  const unsigned __int128 ua = a < 0 ? static_cast<unsigned __int128>(-static_cast<__int128>(a))
                                     : static_cast<unsigned __int128>(a);
  const unsigned __int128 ub = b < 0 ? static_cast<unsigned __int128>(-static_cast<__int128>(b))
                                     : static_cast<unsigned __int128>(b);
  unsigned __int128 q = (ua << 16) / ub;
  const unsigned __int128 r = (ua << 16) % ub;
  if (2 * r >= ub) ++q;
  if (q > INT32_MAX) return negative ? INT32_MIN : INT32_MAX;
  return negative ? -static_cast<int32_t>(q) : static_cast<int32_t>(q);
}

inline int64_t Abs64(int64_t v) {
  return v < 0 ? -v : v;
}

// VectorLengthEstimate in 64 bits: |x| + |y| - min(|x|, |y|) / 2.
int64_t LengthEstimate64(int64_t x, int64_t y) {
  x = Abs64(x);
  y = Abs64(y);
  return x + y - (std::min(x, y) >> 1);
}

// a + t*(b - a), as PointLerp(b, a, t).
inline int32_t Lerp(int32_t a, int32_t b, Fixed t) {
  return Wrap32(a + Mul16(t, static_cast<int64_t>(b) - a));
}
inline Point32 LerpPoint(const Point32& a, const Point32& b, Fixed t) {
  return {Lerp(a.x, b.x, t), Lerp(a.y, b.y, t)};
}
inline Point32 MidPoint(const Point32& a, const Point32& b) {
  return {Wrap32((static_cast<int64_t>(a.x) + b.x) >> 1),
          Wrap32((static_cast<int64_t>(a.y) + b.y) >> 1)};
}

inline Fixed ClampParam(Fixed t) {
  return std::clamp<Fixed>(t, 0, kFixedOne);
}

int32_t PointAt1(int32_t a, int32_t b, int32_t c, Fixed t) {
  const int64_t a64 = a, b64 = b, c64 = c;
  if (t == kFixedHalf) return Wrap32((2 * b64 + a64 + c64) / 4);
  const int64_t s = Mul16(t, t);
  return Wrap32(Mul16(s, c64 + a64 - 2 * b64) + a64 - 2 * Mul16(t, a64 - b64));
}

// Hull ranges of the three points of a curve on both axes.
struct Hull {
  int64_t xmin, xmax, ymin, ymax;
};
Hull HullOf(const QuadCurve& c) {
  return {std::min({int64_t{c.p0.x}, int64_t{c.control.x}, int64_t{c.p2.x}}),
          std::max({int64_t{c.p0.x}, int64_t{c.control.x}, int64_t{c.p2.x}}),
          std::min({int64_t{c.p0.y}, int64_t{c.control.y}, int64_t{c.p2.y}}),
          std::max({int64_t{c.p0.y}, int64_t{c.control.y}, int64_t{c.p2.y}})};
}

// ---- Nearest point ---------------------------------------------------------

struct NearestSearch {
  Point32 q;
  int32_t best;
  Fixed best_t;
};

void NearestInPiece(NearestSearch& s, const QuadCurve& piece, Fixed centre, Fixed hw, int depth) {
  Rect32 hull;
  CurveGetHullBounds(piece, hull);
  if (RectPointDistance(hull, s.q) > s.best) return;
  if (CurveDeviation(piece) < 5 || hw < 3 || depth >= kNearestMaxDepth) {
    Point32 nearest;
    const int32_t d = PointSegmentDistance(piece.p0, piece.p2, s.q, &nearest);
    if (d < s.best) {
      s.best_t = CurveMapParam(centre, hw, CurveChordRatio(piece, nearest));
      s.best = d;
    }
    return;
  }
  QuadCurve h1, h2;
  CurveSplitHalf(piece, h1, h2);
  hw >>= 1;
  if (PointDistanceFast(h2.control, s.q) < PointDistanceFast(h1.control, s.q)) {
    NearestInPiece(s, h2, centre + hw, hw, depth + 1);
    NearestInPiece(s, h1, centre - hw, hw, depth + 1);
  } else {
    NearestInPiece(s, h1, centre - hw, hw, depth + 1);
    NearestInPiece(s, h2, centre + hw, hw, depth + 1);
  }
}

// ---- Curve/curve intersection ----------------------------------------------

enum IntersectMode { kNormal = 0, kCoincident = 1, kInnerCheck = 2 };

struct IntersectState {
  CurveIntersectResult* result;
  int mode;
  int32_t tol;
  QuadCurve a;
  QuadCurve b;
};

// Moves a parameter near an end of the curve onto that end when its point
// lies within tol of it.
void CurveSnapParamToEnd(const QuadCurve& c, int32_t tol, Fixed& t, Point32& p) {
  if (t < 4096 && PointsNear(p, c.p0, tol)) {
    t = 0;
    p = c.p0;
  } else if (t > 61440 && PointsNear(p, c.p2, tol)) {
    t = kFixedOne;
    p = c.p2;
  }
}

// A meeting within twice the tolerance of an end that both curves share is
// that end. Curves that leave a shared end at a small angle, or turn hard
// there, run within the tolerance of each other for a stretch, and meetings
// found along it would take the places of crossings farther on. Only a
// meeting inside a curve or at the shared end itself is moved: another end
// of a curve is a meeting of its own.
void SnapToSharedEnd(const IntersectState& s, Fixed& tA, Fixed& tB, Point32& pA, Point32& pB) {
  const int32_t reach = 2 * s.tol;
  for (const Fixed end_a : {Fixed{0}, kFixedOne}) {
    const Point32& end = end_a == 0 ? s.a.p0 : s.a.p2;
    Fixed end_b = 0;
    if (end == s.b.p2)
      end_b = kFixedOne;
    else if (end != s.b.p0)
      continue;
    const bool inside_a = (tA > 0 && tA < kFixedOne) || tA == end_a;
    const bool inside_b = (tB > 0 && tB < kFixedOne) || tB == end_b;
    if (inside_a && inside_b && PointsNear(pA, end, reach) && PointsNear(pB, end, reach)) {
      tA = end_a;
      tB = end_b;
      pA = pB = end;
      return;
    }
  }
}

void EndPointStep(IntersectState& s);

void AddIntersection(IntersectState& s, Fixed tA, Fixed tB) {
  CurveIntersectResult& r = *s.result;
  if (r.count >= 4 || tA < 0 || tB < 0 || s.mode == kCoincident) return;
  tA = std::min(tA, kFixedOne);
  tB = std::min(tB, kFixedOne);
  Point32 pA, pB;
  CurvePointAt(s.a, tA, pA);
  CurvePointAt(s.b, tB, pB);
  CurveSnapParamToEnd(s.a, s.tol, tA, pA);
  CurveSnapParamToEnd(s.b, s.tol, tB, pB);
  SnapToSharedEnd(s, tA, tB, pA, pB);
  for (int i = 0; i < r.count; ++i) {
    CurveIntersectEntry& e = r.entries[i];
    if ((std::abs(tA - e.tA) <= 4 && std::abs(tB - e.tB) < 5) ||
        (PointsNear(pA, e.point_a, s.tol) && PointsNear(pB, e.point_b, s.tol)))
      return;
  }
  r.entries[r.count++] = {0, tA, tB, pA, pB};
  if (r.count == 2 && s.mode != kInnerCheck) {
    // Two meetings may bound a stretch where the curves run together.
    CurveIntersectResult inner;
    IntersectState check = s;
    check.result = &inner;
    check.mode = kInnerCheck;
    EndPointStep(check);
    if (check.mode == kCoincident) {
      r = inner;
      s.mode = kCoincident;
    }
  }
}

// Looks up each end of one curve on the other; two such meetings whose middle
// pieces have (nearly) the same control point bound a coincident stretch.
void EndPointStep(IntersectState& s) {
  AddIntersection(s, CurveNearestPoint(s.a, s.b.p0, s.tol, nullptr), 0);
  AddIntersection(s, CurveNearestPoint(s.a, s.b.p2, s.tol, nullptr), kFixedOne);
  AddIntersection(s, 0, CurveNearestPoint(s.b, s.a.p0, s.tol, nullptr));
  AddIntersection(s, kFixedOne, CurveNearestPoint(s.b, s.a.p2, s.tol, nullptr));
  CurveIntersectResult& r = *s.result;
  if (r.count != 2 || s.mode == kCoincident) return;
  // Two meetings at one place on either curve bound no stretch: a curve that
  // turns back beside the other's end meets it twice there.
  if (r.entries[0].tA == r.entries[1].tA || r.entries[0].tB == r.entries[1].tB) return;
  QuadCurve a1, a2, a3, b1, b2, b3;
  CurveSplitTwice(s.a, r.entries[0].tA, r.entries[1].tA, a1, a2, a3);
  CurveSplitTwice(s.b, r.entries[0].tB, r.entries[1].tB, b1, b2, b3);
  if (PointsNear(a2.control, b2.control, s.tol)) {
    r.entries[0].overlap = 1;
    r.entries[1].overlap = 1;
    s.mode = kCoincident;
  }
}

// A piece of a curve during the pair searches: the piece and where it lies on
// the whole curve (centre and half width of its parameter range).
struct Piece {
  QuadCurve c;
  Fixed centre;
  Fixed hw;
  bool AtStart() const { return centre - hw == 0; }
  bool AtEnd() const { return centre + hw == kFixedOne; }
  void Halve(Piece& first, Piece& second) const {
    CurveSplitHalf(c, first.c, second.c);
    first.hw = second.hw = hw >> 1;
    first.centre = centre - first.hw;
    second.centre = centre + first.hw;
  }
};

// The split of the pair searches: halve only the piece whose hull is more
// than twice the other's, else both; visit (A1,B1), (A1,B2), (A2,B1), (A2,B2).
template <typename Visit>
void SplitPair(const Piece& a, const Piece& b, int64_t extA, int64_t extB, Visit&& visit) {
  Piece a1, a2, b1, b2;
  if (extB * 2 < extA) {
    a.Halve(a1, a2);
    visit(a1, b);
    visit(a2, b);
  } else if (extA * 2 < extB) {
    b.Halve(b1, b2);
    visit(a, b1);
    visit(a, b2);
  } else {
    a.Halve(a1, a2);
    b.Halve(b1, b2);
    visit(a1, b1);
    visit(a1, b2);
    visit(a2, b1);
    visit(a2, b2);
  }
}

// Signed distance of q from the line through the ends of a straight piece
// (positive on its left); 0 for a line of no length.
double LineDistance(const Piece& line, const Point32& q) {
  using Wide = __int128;
  const Point32 p0 = line.c.p0, p2 = line.c.p2;
  const Wide dx = Wide{p2.x} - p0.x, dy = Wide{p2.y} - p0.y;
  if (dx == 0 && dy == 0) return 0;
  const double cross = static_cast<double>((Wide{q.x} - p0.x) * dy - (Wide{q.y} - p0.y) * dx);
  return cross / std::hypot(static_cast<double>(dx), static_cast<double>(dy));
}

// True when every point of `points` lies farther than `margin` from the line
// through the straight piece `line`, all on one side.
bool OneSideOfLineBeyond(const Piece& line, std::initializer_list<Point32> points, double margin) {
  int above = 0, below = 0;
  for (const Point32& q : points) {
    const double d = LineDistance(line, q);
    above += d > margin;
    below += d < -margin;
  }
  const int n = static_cast<int>(points.size());
  return above == n || below == n;
}

void IntersectPieces(IntersectState& s, const Piece& a, const Piece& b, int depth) {
  if (s.result->count >= 4 || s.mode == kCoincident) return;
  const bool a_start = a.AtStart(), a_end = a.AtEnd();
  const bool b_start = b.AtStart(), b_end = b.AtEnd();
  int64_t extA = 0, extB = 0;
  if (!CurveHullsOverlap(a.c, b.c, (a_start || a_end) ? s.tol : 0, (b_start || b_end) ? s.tol : 0,
                         &extA, &extB))
    return;
  // A piece at the parameters' resolution (hw < 3) is taken as its chord, but
  // the other piece is still halved while it bends: near the end of a steep
  // curve one parameter step spans thousands of units, and taking a bent
  // partner as its chord there misses a shallow crossing.
  const bool a_done = a.hw < 3, b_done = b.hw < 3;
  const bool a_flat = a_done || CurveDeviation(a.c) <= 4;
  const bool b_flat = b_done || CurveDeviation(b.c) < 5;
  if ((a_flat && b_flat) || depth >= kPairMaxDepth) {
    // Both pieces count as their chords. Ends of the whole curves first, so
    // that touching ends are found even where the chords do not cross.
    Point32 nearest;
    if (a_start && PointSegmentDistance(b.c.p0, b.c.p2, a.c.p0, &nearest) < s.tol)
      AddIntersection(s, 0, CurveMapParam(b.centre, b.hw, CurveChordRatio(b.c, nearest)));
    if (a_end && PointSegmentDistance(b.c.p0, b.c.p2, a.c.p2, &nearest) < s.tol)
      AddIntersection(s, kFixedOne, CurveMapParam(b.centre, b.hw, CurveChordRatio(b.c, nearest)));
    if (b_start && PointSegmentDistance(a.c.p0, a.c.p2, b.c.p0, &nearest) < s.tol)
      AddIntersection(s, CurveMapParam(a.centre, a.hw, CurveChordRatio(a.c, nearest)), 0);
    if (b_end && PointSegmentDistance(a.c.p0, a.c.p2, b.c.p2, &nearest) < s.tol)
      AddIntersection(s, CurveMapParam(a.centre, a.hw, CurveChordRatio(a.c, nearest)), kFixedOne);
    // Flat pieces are never halved further, so every leaf takes each curve
    // as the same chain of chords, joined at shared points: a crossing at a
    // joint lies on both chords there and cannot pass between them.
    Fixed ta = 0, tb = 0;
    if (SegmentIntersect(a.c.p0, a.c.p2, b.c.p0, b.c.p2, &ta, &tb))
      AddIntersection(s, CurveMapParam(a.centre, a.hw, ta), CurveMapParam(b.centre, b.hw, tb));
    return;
  }
  auto visit = [&](const Piece& pa, const Piece& pb) { IntersectPieces(s, pa, pb, depth + 1); };
  // Nor is a flat piece halved: it is taken as its chord, and every piece of
  // the partner must meet that same chord. Halves rounded at different depths
  // disagree by a unit or two, and where the curves meet at a shallow angle
  // right at a joint of the partner, its two sides tested against different
  // halves could each find the crossing on the other side.
  const bool a_kept = a_flat || a.c.straight, b_kept = b_flat || b.c.straight;
  // A kept line's hull is its whole box; pieces of the partner inside the box
  // but clear of the line are dropped here rather than halved to the end.
  // The margin covers the tolerance at ends, with room for rounding.
  // The piece's control triangle holds it.
  const double margin = s.tol + 8;
  if ((a.c.straight && OneSideOfLineBeyond(a, {b.c.p0, b.c.control, b.c.p2}, margin)) ||
      (b.c.straight && OneSideOfLineBeyond(b, {a.c.p0, a.c.control, a.c.p2}, margin)))
    return;
  if (a_kept || b_kept) {
    Piece h1, h2;
    (a_kept ? b : a).Halve(h1, h2);
    if (a_kept) {
      visit(a, h1);
      visit(a, h2);
    } else {
      visit(h1, b);
      visit(h2, b);
    }
    return;
  }
  SplitPair(a, b, extA, extB, visit);
}

// ---- Nearest approach of two curves ----------------------------------------

struct ApproachSearch {
  int32_t tol;
  int32_t best;
  Fixed tA;
  Fixed tB;
};

void ApproachPieces(ApproachSearch& s, const Piece& a, const Piece& b, int depth) {
  int64_t extA = 0, extB = 0;
  if (!CurveHullsOverlap(a.c, b.c, s.best, 0, &extA, &extB)) return;
  if ((s.tol >= CurveDeviation(a.c) && s.tol >= CurveDeviation(b.c)) || a.hw <= 64 || b.hw <= 64 ||
      depth >= kPairMaxDepth) {
    Point32 onA, onB;
    const int32_t d = CurveChordsNearest(a.c.p0, a.c.p2, b.c.p0, b.c.p2, onA, onB);
    if (d < s.best) {
      s.best = d;
      s.tA = ClampParam(CurveMapParam(a.centre, a.hw, CurveChordRatio(a.c, onA)));
      s.tB = ClampParam(CurveMapParam(b.centre, b.hw, CurveChordRatio(b.c, onB)));
    }
    return;
  }
  SplitPair(a, b, extA, extB,
            [&](const Piece& pa, const Piece& pb) { ApproachPieces(s, pa, pb, depth + 1); });
}

// ---- Cubic to quadratics ---------------------------------------------------

int CubicToQuadraticsAt(const Point32 p[4], QuadCurve* out, int budget, int32_t tol, int depth) {
  if (budget < 1) return 0;
  if (PointsNear(p[0], p[1], tol)) {
    CurveSet(p[0], p[2], p[3], out[0]);
    CurveStraightenIfFlat(out[0]);
    return 1;
  }
  if (PointsNear(p[2], p[3], tol)) {
    CurveSet(p[0], p[1], p[3], out[0]);
    CurveStraightenIfFlat(out[0]);
    return 1;
  }
  if (PointSegmentDistance(p[0], p[3], p[1], nullptr) >= tol ||
      PointSegmentDistance(p[0], p[3], p[2], nullptr) >= tol) {
    Point32 first[4], second[4];
    CubicSplitHalf(p, first, second);
    // The end tangents, extended tenfold, meet at the candidate control point.
    const Point32 t0{Sat32(p[0].x + 10 * (int64_t{p[1].x} - p[0].x)),
                     Sat32(p[0].y + 10 * (int64_t{p[1].y} - p[0].y))};
    const Point32 t3{Sat32(p[3].x + 10 * (int64_t{p[2].x} - p[3].x)),
                     Sat32(p[3].y + 10 * (int64_t{p[2].y} - p[3].y))};
    Fixed ta = 0, tb = 0;
    if (SegmentIntersect(p[0], t0, p[3], t3, &ta, &tb)) {
      QuadCurve candidate;
      CurveSet(p[0], LerpPoint(p[0], t0, ta), p[3], candidate);
      if (CurveNearestPoint(candidate, first[3], tol, nullptr) >= 0) {
        CurveStraightenIfFlat(candidate);
        out[0] = candidate;
        return 1;
      }
    }
    if (budget > 1 && depth < kCubicMaxDepth) {
      const int g = CubicToQuadraticsAt(first, out, budget - 1, tol, depth + 1);
      return g + CubicToQuadraticsAt(second, out + g, budget - g, tol, depth + 1);
    }
  }
  CurveFromLine(p[0], p[3], out[0]);
  return 1;
}

}  // namespace

// ---- Construction, bounds, simple transforms -------------------------------

void CurveSet(const Point32& p0, const Point32& control, const Point32& p2, QuadCurve& out) {
  out.p0 = p0;
  out.control = control;
  out.p2 = p2;
  out.straight = 0;
}

void CurveFromLine(const Point32& p0, const Point32& p2, QuadCurve& out) {
  const Point32 mid = MidPoint(p0, p2);
  out.p0 = p0;
  out.p2 = p2;
  out.control = mid;
  out.straight = 1;
}

void CurveGetHullBounds(const QuadCurve& c, Rect32& out) {
  Rect32 r;
  RectFromTwoPoints(r, c.p0, c.p2);
  if (!c.straight) RectAddPoint(r, c.control);
  out = r;
}

void CurveGetBounds(const QuadCurve& c, Rect32& out) {
  Rect32 r;
  RectFromTwoPoints(r, c.p0, c.p2);
  if (!c.straight) {
    Point32 extremum;
    CurveGetExtremum(c, extremum);
    RectAddPoint(r, extremum);
  }
  out = r;
}

void CurveGetExtremum(const QuadCurve& c, Point32& out) {
  out = {CurveAxisExtremum(c.p0.x, c.control.x, c.p2.x),
         CurveAxisExtremum(c.p0.y, c.control.y, c.p2.y)};
}

int32_t CurveAxisExtremum(int32_t a, int32_t b, int32_t c) {
  // On one axis the curve is a - 2t*f + t^2*e; its derivative vanishes at
  // t = f/e, which lies in (0, 1] only when f and e agree in sign and |f| <= |e|.
  const int64_t e = int64_t{a} - 2 * int64_t{b} + c;
  const int64_t f = int64_t{a} - b;
  const bool inside = ((e > 0 && f >= 0) || (e < 0 && f <= 0)) && Abs64(e) >= Abs64(f);
  if (!inside) return a;
  const Fixed t = Div16(f, e);
  return Wrap32(Mul16(Mul16(t, t), e) + a - 2 * Mul16(t, f));
}

int32_t CurveDeviation(const QuadCurve& c) {
  if (c.straight) return 0;
  const int64_t mx = (int64_t{c.p0.x} + c.p2.x) >> 1;
  const int64_t my = (int64_t{c.p0.y} + c.p2.y) >> 1;
  return Sat32(LengthEstimate64(mx - c.control.x, my - c.control.y));
}

void CurveShift(const QuadCurve& c, ShiftCount shift, QuadCurve& out) {
  PointShift(c.p0, shift, out.p0);
  PointShift(c.control, shift, out.control);
  PointShift(c.p2, shift, out.p2);
  out.straight = c.straight;
}

bool CurveIsNearlyStraight(const QuadCurve& c, int32_t tol) {
  Point32 mid;
  CurvePointAt(c, kFixedHalf, mid);
  return PointSegmentDistance(c.p0, c.p2, mid, nullptr) < tol;
}

void CurveStraightenIfFlat(QuadCurve& c) {
  if (c.straight) return;
  if (PointSegmentDistance(c.p0, c.p2, c.control, nullptr) <= 4) CurveFromLine(c.p0, c.p2, c);
}

void CurveTransform(const QuadCurve& c, const Matrix2x3& m, QuadCurve& out) {
  MatrixTransformPoint(m, c.p0, out.p0);
  MatrixTransformPoint(m, c.control, out.control);
  MatrixTransformPoint(m, c.p2, out.p2);
  out.straight = c.straight;
}

void CurveReverse(const QuadCurve& c, QuadCurve& out) {
  const Point32 p0 = c.p0;
  out.p0 = c.p2;
  out.control = c.control;
  out.p2 = p0;
  out.straight = c.straight;
}

// ---- Splitting and evaluation ----------------------------------------------

void CurveSplitHalf(const QuadCurve& c, QuadCurve& out1, QuadCurve& out2) {
  const QuadCurve in = c;
  const Point32 q0 = MidPoint(in.p0, in.control);
  const Point32 q1 = MidPoint(in.control, in.p2);
  const Point32 m = MidPoint(q0, q1);
  out1 = {in.p0, q0, m, in.straight};
  out2 = {m, q1, in.p2, in.straight};
}

void CurveSplit(const QuadCurve& c, Fixed t, QuadCurve& out1, QuadCurve& out2) {
  const QuadCurve in = c;
  const Point32 q0 = LerpPoint(in.p0, in.control, t);
  const Point32 q1 = LerpPoint(in.control, in.p2, t);
  const Point32 m = LerpPoint(q0, q1, t);
  out1 = {in.p0, q0, m, in.straight};
  out2 = {m, q1, in.p2, in.straight};
}

void CurveSplitTwice(const QuadCurve& c, Fixed t1, Fixed t2, QuadCurve& out1, QuadCurve& out2,
                     QuadCurve& out3) {
  const QuadCurve in = c;
  const Fixed lo = std::min(t1, t2), hi = std::max(t1, t2);
  QuadCurve first, rest;
  CurveSplit(in, lo, first, rest);
  // The larger parameter is found again on the remainder by its point, which
  // avoids rescaling it (and its rounding) to the remainder's range.
  Point32 at_hi;
  CurvePointAt(in, hi, at_hi);
  Fixed t = CurveNearestPoint(rest, at_hi, 1000, nullptr);
  if (t < 0) t = lo >= kFixedOne ? 0 : ClampParam(Div16(int64_t{hi} - lo, int64_t{kFixedOne} - lo));
  QuadCurve middle, last;
  CurveSplit(rest, t, middle, last);
  out1 = first;
  out2 = middle;
  out3 = last;
}

void CurvePointAt(const QuadCurve& c, Fixed t, Point32& out) {
  out = {PointAt1(c.p0.x, c.control.x, c.p2.x, t), PointAt1(c.p0.y, c.control.y, c.p2.y, t)};
}

Fixed CurveTangentAngle(const QuadCurve& c, Fixed t) {
  // Direction from `from` to `to`, or along the chord when they nearly meet.
  auto direction = [](const Point32& from, const Point32& to, const Point32& chord0,
                      const Point32& chord1) {
    if (PointDistanceFast(from, to) <= 9) return PointAngle(chord1, &chord0);
    return PointAngle(to, &from);
  };
  if (t <= 0) return direction(c.p0, c.control, c.p0, c.p2);
  if (t >= kFixedOne) return direction(c.control, c.p2, c.p0, c.p2);
  // Inside, the tangent at t runs from the first piece's control point through
  // the joint to the second piece's control point; take it on the longer
  // piece, whose control point lies farther from the joint.
  QuadCurve first, second;
  CurveSplit(c, t, first, second);
  if (t < kFixedHalf) return direction(second.p0, second.control, second.p0, second.p2);
  return direction(first.control, first.p2, first.p0, first.p2);
}

// ---- Length and parameters -------------------------------------------------

int32_t CurveLength(const QuadCurve& c) {
  if (c.straight) return PointDistance(c.p0, c.p2);
  CurveStepper st;
  CurveStepInit(c, 16, st);
  int64_t sum = 0;
  while (CurveStepNext(st)) sum += PointDistance(st.previous, st.current);
  return Sat32(sum);
}

Fixed CurveParamAtLength(const QuadCurve& c, int32_t length) {
  if (c.straight) return ClampParam(FixedDiv(length, PointDistance(c.p0, c.p2)));
  CurveStepper st;
  CurveStepInit(c, 16, st);
  int64_t sum = 0;
  int32_t step = 0;
  while (sum < length && CurveStepNext(st)) {
    step = PointDistance(st.previous, st.current);
    sum += step;
  }
  Fixed t = st.t;
  if (sum >= length && step > 0) t -= FixedMul(st.dt, Div16(sum - length, step));
  return ClampParam(t);
}

Fixed CurveChordRatio(const QuadCurve& c, const Point32& point) {
  const int32_t chord = PointDistance(c.p0, c.p2);
  if (chord == 0) return 0;
  return FixedDiv(PointDistance(c.p0, point), chord);
}

Fixed CurveMapParam(Fixed centre, Fixed half_width, Fixed t) {
  return WrapAdd(centre, FixedMul(WrapSub(t, kFixedHalf), WrapAdd(half_width, half_width)));
}

Fixed CurveNearestPoint(const QuadCurve& c, const Point32& q, int32_t limit, Point32* out) {
  if (c.straight) {
    Point32 nearest;
    if (PointSegmentDistance(c.p0, c.p2, q, &nearest) >= limit) return kNoParam;
    if (out) *out = nearest;
    return ClampParam(CurveChordRatio(c, nearest));
  }
  NearestSearch s{q, limit, kNoParam};
  NearestInPiece(s, c, kFixedHalf, kFixedHalf, 0);
  if (s.best_t < 0) return kNoParam;
  const Fixed t = ClampParam(s.best_t);
  if (out) CurvePointAt(c, t, *out);
  return t;
}

// ---- Inside tests ----------------------------------------------------------

namespace {

// The crossings of the ray from q towards +x. The curve is halved while q lies
// within its hull; a piece wholly right of q (or small enough) is counted by
// its ends: a quadratic crosses a level an odd number of times only when its
// ends lie on both sides, and then once net. Signed, each piece counts by its
// own direction (+1 towards smaller y), so an arch the ray crosses going up
// and coming down counts 0.
//
// A long curve can still be hundreds of units long after the last halving,
// though by then it is straight to within a unit: a piece that still spans
// q's x range is counted only when q lies on or left of its chord.
template <bool kSigned>
int32_t RayCrossings(const QuadCurve& c, const Point32& q, int depth) {
  Rect32 b;
  CurveGetHullBounds(c, b);
  if (b.xmax < q.x || q.y < b.ymin || q.y >= b.ymax) return 0;
  const bool within = q.x >= b.xmin && RectDiagonal(b) > 4;
  if (within && depth < 12) {
    QuadCurve h1, h2;
    CurveSplitHalf(c, h1, h2);
    return RayCrossings<kSigned>(h1, q, depth + 1) + RayCrossings<kSigned>(h2, q, depth + 1);
  }
  const int32_t lo = std::min(c.p0.y, c.p2.y), hi = std::max(c.p0.y, c.p2.y);
  if (c.p0.y == c.p2.y || q.y < lo || q.y >= hi) return 0;
  if (within) {
    // The chord's x at q.y less q.x has the sign of side / dy.
    const int64_t dx = int64_t{c.p2.x} - c.p0.x, dy = int64_t{c.p2.y} - c.p0.y;
    const __int128 side = static_cast<__int128>(dx) * (int64_t{q.y} - c.p0.y) -
                          static_cast<__int128>(dy) * (int64_t{q.x} - c.p0.x);
    if (dy > 0 ? side < 0 : side > 0) return 0;
  }
  return kSigned && c.p0.y < c.p2.y ? -1 : 1;
}

}  // namespace

int32_t CurveRayCrossings(const QuadCurve& c, const Point32& q, int depth) {
  return RayCrossings<false>(c, q, depth);
}

int32_t CurveRayWinding(const QuadCurve& c, const Point32& q) {
  return RayCrossings<true>(c, q, 0);
}

// ---- Pairs of curves -------------------------------------------------------

bool CurveHullsOverlap(const QuadCurve& a, const QuadCurve& b, int32_t slackA, int32_t slackB,
                       int64_t* extentA, int64_t* extentB) {
  const Hull ha = HullOf(a), hb = HullOf(b);
  const int64_t slack = int64_t{slackA} + slackB;
  if (hb.xmin - ha.xmax > slack || ha.xmin - hb.xmax > slack || hb.ymin - ha.ymax > slack ||
      ha.ymin - hb.ymax > slack)
    return false;
  if (extentA) *extentA = std::max(ha.xmax - ha.xmin, ha.ymax - ha.ymin);
  if (extentB) *extentB = std::max(hb.xmax - hb.xmin, hb.ymax - hb.ymin);
  return true;
}

int32_t CurveIntersect(const QuadCurve& a, const QuadCurve& b, CurveIntersectResult& result,
                       int32_t tol) {
  result = CurveIntersectResult{};
  IntersectState s{&result, kNormal, std::max(tol, 8), a, b};
  if (a.straight && b.straight) {
    EndPointStep(s);
    Fixed ta = 0, tb = 0;
    if (result.count == 0 && SegmentIntersect(a.p0, a.p2, b.p0, b.p2, &ta, &tb))
      AddIntersection(s, ta, tb);
  } else {
    IntersectPieces(s, {a, kFixedHalf, kFixedHalf}, {b, kFixedHalf, kFixedHalf}, 0);
  }
  return result.count;
}

int32_t CurveChordsNearest(const Point32& a0, const Point32& a1, const Point32& b0,
                           const Point32& b1, Point32& onA, Point32& onB) {
  Point32 n;
  int32_t best = PointSegmentDistance(b0, b1, a0, &n);
  onA = a0;
  onB = n;
  int32_t d = PointSegmentDistance(b0, b1, a1, &n);
  if (d < best) {
    best = d;
    onA = a1;
    onB = n;
  }
  d = PointSegmentDistance(a0, a1, b0, &n);
  if (d < best) {
    best = d;
    onA = n;
    onB = b0;
  }
  d = PointSegmentDistance(a0, a1, b1, &n);
  if (d < best) {
    best = d;
    onA = n;
    onB = b1;
  }
  return best;
}

int32_t CurveCurveNearest(const QuadCurve& a, const QuadCurve& b, int32_t limit, int32_t tol,
                          Fixed& tA, Fixed& tB) {
  // A negative tolerance would keep even single points from counting as
  // chords and make the search visit every pair of pieces.
  ApproachSearch s{std::max(tol, 0), limit, kNoParam, kNoParam};
  ApproachPieces(s, {a, kFixedHalf, kFixedHalf}, {b, kFixedHalf, kFixedHalf}, 0);
  tA = s.tA;
  tB = s.tB;
  return s.tA == kNoParam ? kNoDistance : s.best;
}

int CurveMergeStraight(const QuadCurve& c1, const QuadCurve& c2, int32_t tol, QuadCurve& out) {
  if (!c1.straight || !c2.straight) return 0;
  if (PointSegmentDistance(c1.p0, c2.p2, c1.p2, nullptr) > tol) return 0;
  CurveFromLine(c1.p0, c2.p2, out);
  return 1;
}

// ---- Cubic curves ----------------------------------------------------------

void CurveToCubic(const QuadCurve& c, Point32 out[4]) {
  constexpr Fixed kTwoThirds = 43690;
  const QuadCurve in = c;
  out[0] = in.p0;
  out[1] = LerpPoint(in.p0, in.control, kTwoThirds);
  out[2] = LerpPoint(in.p2, in.control, kTwoThirds);
  out[3] = in.p2;
}

void CubicSplitHalf(const Point32 cubic[4], Point32 first[4], Point32 second[4]) {
  const Point32 p0 = cubic[0], p1 = cubic[1], p2 = cubic[2], p3 = cubic[3];
  const Point32 m01 = MidPoint(p0, p1), m12 = MidPoint(p1, p2), m23 = MidPoint(p2, p3);
  const Point32 m012 = MidPoint(m01, m12), m123 = MidPoint(m12, m23);
  const Point32 mid = MidPoint(m012, m123);
  first[0] = p0;
  first[1] = m01;
  first[2] = m012;
  first[3] = mid;
  second[0] = mid;
  second[1] = m123;
  second[2] = m23;
  second[3] = p3;
}

int CubicToQuadratics(const Point32 cubic[4], QuadCurve* out, int budget, int32_t tol) {
  const Point32 p[4] = {cubic[0], cubic[1], cubic[2], cubic[3]};
  return CubicToQuadraticsAt(p, out, budget, tol, 0);
}

// ---- Shape tests and fitting -----------------------------------------------

bool CurveIsTightBend(const QuadCurve& c) {
  if (c.straight) return false;
  const int32_t a = PointDistanceFast(c.control, MidPoint(c.p0, c.p2));
  return a > 6 && PointDistanceFast(c.p0, c.p2) < 2 * int64_t{a};
}

void CurveMoveEnds(const QuadCurve& c, const Point32& n0, const Point32& n2, QuadCurve& out) {
  const int32_t old_chord = PointDistance(c.p0, c.p2);
  const Fixed r = old_chord == 0 ? kFixedOne : FixedDiv(PointDistance(n0, n2), old_chord);
  const int64_t to0x = int64_t{c.control.x} - c.p0.x, to0y = int64_t{c.control.y} - c.p0.y;
  const int64_t to2x = int64_t{c.control.x} - c.p2.x, to2y = int64_t{c.control.y} - c.p2.y;
  Point32 control;
  if (LengthEstimate64(to2x, to2y) < LengthEstimate64(to0x, to0y))
    control = {Wrap32(n0.x + Mul16(r, to0x)), Wrap32(n0.y + Mul16(r, to0y))};
  else
    control = {Wrap32(n2.x + Mul16(r, to2x)), Wrap32(n2.y + Mul16(r, to2y))};
  CurveSet(n0, control, n2, out);
}

int32_t CurveFitPoints(const Point32* points, int n, QuadCurve& out,
                       const Point32* previous_control) {
  if (n < 1 || points == nullptr) {
    CurveFromLine({}, {}, out);
    return 0;
  }
  Point32 p0 = points[0];
  const Point32 p2 = points[n - 1];
  if (n <= 3) {
    CurveFromLine(p0, p2, out);
    return 0;
  }
  // Chord-length parameters, on the stack for short runs.
  constexpr int kStackParams = 200;
  Fixed stack_u[kStackParams];
  std::unique_ptr<Fixed[]> heap_u;
  Fixed* u = stack_u;
  if (n > kStackParams) {
    heap_u.reset(new (std::nothrow) Fixed[n]);
    if (!heap_u) {
      CurveFromLine(p0, p2, out);
      return 0;
    }
    u = heap_u.get();
  }
  int64_t total = 0;
  u[0] = 0;
  for (int i = 1; i < n; ++i) {
    total += PointDistance(points[i - 1], points[i]);
    u[i] = Sat32(total);
  }
  if (total < 8) {
    CurveFromLine(p0, p2, out);
    return 0;
  }
  const Fixed scale = FixedDiv(kFixedOne, Sat32(total));
  for (int i = 1; i < n; ++i) u[i] = Wrap32(Mul16(scale, u[i]));

  // Least squares for the control point with both ends fixed.
  int64_t sx = 0, sy = 0, d = 0;
  for (int i = 0; i < n; ++i) {
    const Fixed s = kFixedOne - u[i];
    const int64_t b0 = Mul16(s, s), b1 = 2 * Mul16(s, u[i]), b2 = Mul16(u[i], u[i]);
    sx += Mul16(points[i].x - Mul16(p2.x, b2) - Mul16(p0.x, b0), b1);
    sy += Mul16(points[i].y - Mul16(p2.y, b2) - Mul16(p0.y, b0), b1);
    d += Mul16(b1, b1);
  }
  if (d == 0) {
    CurveFromLine(p0, p2, out);
    return 0;
  }
  const Point32 control{Div16(sx, d), Div16(sy, d)};

  int32_t worst = 0;
  if (previous_control) {
    // Keep the tangent continuous with the preceding curve: the start moves
    // onto the line from its control point to ours.
    Point32 moved;
    worst = PointSegmentDistance(*previous_control, control, p0, &moved);
    p0 = moved;
  }
  CurveSet(p0, control, p2, out);
  for (int i = 0; i + 1 < n; ++i) {
    Point32 on_curve;
    CurvePointAt(out, static_cast<Fixed>((int64_t{u[i]} + u[i + 1]) / 2), on_curve);
    worst = std::max(worst, PointDistance(on_curve, MidPoint(points[i], points[i + 1])));
  }
  return worst;
}

// ---- Forward-difference walk -----------------------------------------------

void CurveStepInit(const QuadCurve& c, int n, CurveStepper& st) {
  if (n < 1) n = 1;
  const Fixed dt = FixedDiv(1, n);
  const int64_t dt2 = Mul16(dt, dt);
  // B(t) = p0 + 2t(control - p0) + t^2 (p0 - 2 control + p2): the first
  // difference at 0 is dt*2*(control - p0) + dt^2*(p0 - 2 control + p2), the
  // second 2*dt^2*(p0 - 2 control + p2); both carry 4 extra fraction bits.
  const int64_t ax = int64_t{c.p2.x} + c.p0.x - 2 * int64_t{c.control.x};
  const int64_t ay = int64_t{c.p2.y} + c.p0.y - 2 * int64_t{c.control.y};
  st.remaining = n;
  st.t = 0;
  st.dt = dt;
  st.dx = Mul16(int64_t{dt} << 4, 2 * (int64_t{c.control.x} - c.p0.x)) + Mul16(dt2 << 4, ax);
  st.dy = Mul16(int64_t{dt} << 4, 2 * (int64_t{c.control.y} - c.p0.y)) + Mul16(dt2 << 4, ay);
  st.ddx = Mul16(dt2 << 5, ax);
  st.ddy = Mul16(dt2 << 5, ay);
  st.x = int64_t{c.p0.x} * 16;
  st.y = int64_t{c.p0.y} * 16;
  st.current = c.p0;
  st.previous = c.p0;
  st.end = c.p2;
}

bool CurveStepNext(CurveStepper& st) {
  if (st.remaining <= 0) return false;
  --st.remaining;
  st.x += st.dx;
  st.dx += st.ddx;
  st.y += st.dy;
  st.dy += st.ddy;
  st.t = WrapAdd(st.t, st.dt);
  if (st.remaining == 0) {
    // The rounded differences may leave the sum a few units off the end (and
    // t off 1.0 when n does not divide it): the last step lands exactly.
    st.x = int64_t{st.end.x} * 16;
    st.y = int64_t{st.end.y} * 16;
    st.t = kFixedOne;
  }
  st.previous = st.current;
  st.current = {Wrap32(st.x >> 4), Wrap32(st.y >> 4)};
  return true;
}
