#include "render/raster/stroke_outline.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Splitting of a curve goes at most this deep: a thin piece's deviation
// shrinks fourfold with each halving, so 16 levels flatten any 32-bit curve.
constexpr int kMaxThinDepth = 16;
// Tight bends of a wide stroke are halved at most this many times.
constexpr int kMaxWideDepth = 5;

Point32 Add(const Point32& a, const Point32& b) {
  return {WrapAdd(a.x, b.x), WrapAdd(a.y, b.y)};
}

Point32 Sub(const Point32& a, const Point32& b) {
  return {WrapSub(a.x, b.x), WrapSub(a.y, b.y)};
}

QuadCurve Shifted(const QuadCurve& c, const Point32& v) {
  QuadCurve s = c;
  s.p0 = Add(c.p0, v);
  s.control = Add(c.control, v);
  s.p2 = Add(c.p2, v);
  return s;
}

// The two copies of a thin piece travelling along `direction`: offsets
// across its major axis, the plus copy at the left of travel.
void ThinOffsets(const Point32& direction, int32_t width, Point32& plus, Point32& minus) {
  const int64_t dx = direction.x, dy = direction.y;
  const bool shift_y = std::abs(dx) >= std::abs(dy);
  const int32_t h = (shift_y ? dx : dy) < 0 ? -1 : 1;
  int32_t lo = 0, hi = 1;
  if (width == 2) {
    lo = -h, hi = h;
  } else if (width >= 3) {
    lo = -2 * h, hi = h;
  }
  if (lo > hi) std::swap(lo, hi);
  // Left of travel: up (-y) when moving right, right (+x) when moving down.
  const int32_t plus_offset = shift_y ? (h > 0 ? lo : hi) : (h > 0 ? hi : lo);
  const int32_t minus_offset = plus_offset == lo ? hi : lo;
  plus = shift_y ? Point32{0, plus_offset} : Point32{plus_offset, 0};
  minus = shift_y ? Point32{0, minus_offset} : Point32{minus_offset, 0};
}

}  // namespace

void StrokeOutline::Begin(int32_t width, bool anti_alias) {
  width_ = std::max(width, 1);
  wide_ = width_ > 3;
  anti_alias_ = anti_alias;
  have_segment_ = false;
}

void StrokeOutline::AddLine(const Point32& from, const Point32& to) {
  QuadCurve c;
  CurveFromLine(from, to, c);
  sink_.AddOutlineEdge(c);
}

void StrokeOutline::AddCurve(const QuadCurve& curve) {
  QuadCurve c = curve;
  if (c.straight) CurveFromLine(c.p0, c.p2, c);
  if (c.p0 == c.p2 && c.control == c.p0) return;
  if (!wide_) {
    AddThin(c, 0);
    return;
  }
  if (anti_alias_ && c.straight) {
    // Axis-aligned lines land on the pixel grid: one and three pixels wide
    // on pixel centres, two pixels on pixel edges.
    auto snap = [this](int32_t v) {
      if (width_ == 4 || width_ == 12) return WrapAdd(v & ~3, 2);
      if (width_ == 8) return WrapAdd(v, 2) & ~3;
      return v;
    };
    if (c.p0.x == c.p2.x && std::abs(int64_t{c.p2.y} - c.p0.y) > 12) {
      c.p0.x = c.p2.x = snap(c.p0.x);
    } else if (c.p0.y == c.p2.y && std::abs(int64_t{c.p2.x} - c.p0.x) > 12) {
      c.p0.y = c.p2.y = snap(c.p0.y);
    }
    CurveFromLine(c.p0, c.p2, c);
  }
  AddWide(c, 0);
}

void StrokeOutline::AddWide(const QuadCurve& c, int depth) {
  if (!c.straight && depth < kMaxWideDepth && CurveIsTightBend(c)) {
    QuadCurve a, b;
    CurveSplitHalf(c, a, b);
    AddWide(a, depth + 1);
    AddWide(b, depth + 1);
    return;
  }
  const Point32 chord = Sub(c.p2, c.p0);
  const Point32 t0 = c.straight || c.control == c.p0 ? chord : Sub(c.control, c.p0);
  const Point32 t1 = c.straight ? t0 : (c.control == c.p2 ? chord : Sub(c.p2, c.control));
  Point32 n0{t0.y, WrapNeg(t0.x)}, n1{t1.y, WrapNeg(t1.x)};
  VectorSetLength(n0, width_ / 2);
  VectorSetLength(n1, width_ / 2);
  const Point32 a0 = Add(c.p0, n0), b0 = Sub(c.p0, n0);
  const Point32 a1 = Add(c.p2, n1), b1 = Sub(c.p2, n1);
  if (c.straight) {
    AddLine(a1, a0);
    AddLine(b0, b1);
  } else {
    QuadCurve plus, reversed, minus;
    CurveMoveEnds(c, a0, a1, plus);
    CurveReverse(plus, reversed);
    sink_.AddOutlineEdge(reversed);
    CurveMoveEnds(c, b0, b1, minus);
    sink_.AddOutlineEdge(minus);
  }
  AddSegmentEnds(a0, c.p0, b0, a1, c.p2, b1);
}

void StrokeOutline::AddThin(const QuadCurve& c, int depth) {
  if (!c.straight && depth < kMaxThinDepth && CurveDeviation(c) > 2) {
    auto major_x = [](const Point32& a, const Point32& b) {
      return std::abs(int64_t{b.x} - a.x) >= std::abs(int64_t{b.y} - a.y);
    };
    auto between = [](int32_t v, int32_t a, int32_t b) {
      return v >= std::min(a, b) && v <= std::max(a, b);
    };
    const bool same_axis = major_x(c.p0, c.control) == major_x(c.control, c.p2);
    const bool monotone =
        between(c.control.x, c.p0.x, c.p2.x) && between(c.control.y, c.p0.y, c.p2.y);
    if (!(same_axis && monotone)) {
      QuadCurve a, b;
      CurveSplitHalf(c, a, b);
      AddThin(a, depth + 1);
      AddThin(b, depth + 1);
      return;
    }
  }
  // Across the major axis of the chord (of the first leg when the chord is a
  // point).
  const Point32 chord = c.p0 == c.p2 ? Sub(c.control, c.p0) : Sub(c.p2, c.p0);
  Point32 plus, minus;
  ThinOffsets(chord, width_, plus, minus);
  QuadCurve reversed;
  CurveReverse(Shifted(c, plus), reversed);
  sink_.AddOutlineEdge(reversed);
  sink_.AddOutlineEdge(Shifted(c, minus));
  AddSegmentEnds(Add(c.p0, plus), c.p0, Add(c.p0, minus), Add(c.p2, plus), c.p2, Add(c.p2, minus));
}

void StrokeOutline::AddRoundJoin(const Point32& from, const Point32& to, const Point32& centre) {
  if (wide_ && PointDistanceFast(from, to) > 3) {
    // Angles in sixteenths of a degree, 5760 to the turn; the arc runs from
    // `from` down to `to`.
    int32_t af = PointAngle(from, &centre) >> 12;
    const int32_t at = PointAngle(to, &centre) >> 12;
    while (af < at) af += 5760;
    const int32_t sweep = af - at;
    if (sweep > 16 && sweep <= 2880) {
      const int32_t r = width_ / 2;
      // About one chord per 6.5 units of arc length (71 / 65536 / 3 per unit
      // of radius and sixteenth of a degree), at most 16; a product past 31
      // bits is long enough for all 16.
      const int64_t arc = int64_t{r} * sweep;
      const int32_t n =
          arc > INT32_MAX ? 16 : std::min(FixedMul(71, static_cast<int32_t>(arc)) / 3, 16);
      if (n > 1) {
        Point32 previous = from;
        for (int32_t k = 1; k < n; ++k) {
          const int32_t angle = af - k * sweep / n;
          Point32 p;
          PointFromAngle(r, static_cast<Fixed>(static_cast<uint32_t>(angle) << 12), &centre, p);
          AddLine(previous, p);
          previous = p;
        }
        AddLine(previous, to);
        return;
      }
    }
  }
  AddLine(from, to);
}

void StrokeOutline::AddSegmentEnds(const Point32& plus0, const Point32& p0, const Point32& minus0,
                                   const Point32& plus1, const Point32& p1, const Point32& minus1) {
  if (have_segment_) {
    AddRoundJoin(plus0, end_plus_, end_);
    AddRoundJoin(end_minus_, minus0, end_);
  } else {
    start_plus_ = plus0, start_ = p0, start_minus_ = minus0;
    have_segment_ = true;
  }
  end_plus_ = plus1, end_ = p1, end_minus_ = minus1;
}

bool StrokeOutline::Finish() {
  if (!have_segment_) return false;
  if (start_ == end_) {
    // Closed: the last segment joins the first.
    AddRoundJoin(start_plus_, end_plus_, end_);
    AddRoundJoin(end_minus_, start_minus_, end_);
  } else {
    // Open: round caps when wide, butt ends when thin.
    AddRoundJoin(start_plus_, start_minus_, start_);
    AddRoundJoin(end_minus_, end_plus_, end_);
  }
  have_segment_ = false;
  return true;
}
