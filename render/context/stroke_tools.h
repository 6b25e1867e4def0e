// The tools of styled strokes and textured fills: a walker that moves along
// a path by distance, a batcher that joins stroke pieces into few device
// paths, a filler for stamps, and a y-bucketed index of an outline that
// tells inside from outside and clips curves to it.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/curve.h"
#include "geometry/edge_style.h"
#include "geometry/fixed.h"
#include "geometry/point_list.h"

class CRenderContext;
struct Region;

// The parameter at distance d along the curve, clamped to 0..1.0, and in
// *covered the distance covered: d when the curve reaches it, else the
// whole length (with the parameter 1.0).
Fixed CurveParamAtDistance(const QuadCurve& c, int32_t d, int32_t* covered);

// Walks a path by distance.
class CPathWalker {
 public:
  explicit CPathWalker(const PointList& path);
  bool Ended() const { return !m_have; }
  // Moves d units on, handing every piece passed to piece(curve); returns
  // the distance covered (less than d at the end).
  template <class F>
  int32_t Advance(int32_t d, F&& piece);
  int32_t Advance(int32_t d) {
    return Advance(d, [](const QuadCurve&) {});
  }
  // Where the walker stands, and the curve it is on.
  Point32 Position() const { return m_current.p0; }
  const QuadCurve& Current() const { return m_current; }

 private:
  void Load();
  PointListIter m_iter;
  QuadCurve m_current;
  bool m_have = false;
};

template <class F>
int32_t CPathWalker::Advance(int32_t d, F&& piece) {
  int32_t covered = 0;
  while (d > 0 && m_have) {
    int32_t got = 0;
    const Fixed t = CurveParamAtDistance(m_current, d, &got);
    if (t >= kFixedOne) {
      piece(m_current);
      Load();
    } else {
      QuadCurve first, rest;
      CurveSplit(m_current, t, first, rest);
      piece(first);
      m_current = rest;
      got = d;  // what is left of the curve is longer than d
    }
    covered += got;
    d -= got;
    if (got == 0 && t < kFixedOne) break;
  }
  return covered;
}

// Pieces of one line style joined into few device paths (or strokes of the
// scan converter): a piece that does not continue the last one, or a batch
// of more than 80 points, starts a new one.
class CStrokeBatcher {
 public:
  CStrokeBatcher(CRenderContext& rc, const LineStyle& style);
  ~CStrokeBatcher();
  CStrokeBatcher(const CStrokeBatcher&) = delete;
  CStrokeBatcher& operator=(const CStrokeBatcher&) = delete;
  void Add(const QuadCurve& c);
  void Flush();
  // A new width flushes what is pending.
  void SetWidth(int16_t width);

 private:
  CRenderContext& m_rc;
  LineStyle m_style;  // kind 0: a plain line
  PointList m_points;
  Point32 m_last;
  bool m_open = false;
};

// Fills stamp paths (placed by a matrix) with one fill style.
class CStampFiller {
 public:
  CStampFiller(CRenderContext& rc, const FillStyle& fill) : m_rc(rc), m_fill(fill) {}
  void Stamp(const PointList& shape, const Matrix2x3& place);

 private:
  CRenderContext& m_rc;
  FillStyle m_fill;
  PointList m_work;
};

// A y-bucketed index of an outline's curves (twips), flattened to segments.
class CRegionIndex {
 public:
  // The outline of a region (with its holes) or of a path, through the
  // matrix when given; the working rectangle is its bounds cut by clip and
  // grown by margin.
  CRegionIndex(Region* region, const PointList* path, const Matrix2x3* matrix, const Rect32& clip,
               int32_t margin);
  const Rect32& Bounds() const { return m_bounds; }
  const Rect32& Working() const { return m_working; }
  int32_t RowShift() const { return m_shift; }
  // Even-odd: inside the outline.
  bool Contains(const Point32& p) const;
  // 1 outside, 2 inside, 3 crossing.
  int ClassifyCurve(const QuadCurve& c) const;
  // The curve's pieces inside the outline, to add(curve).
  template <class F>
  void ClipCurve(const QuadCurve& c, F&& add) const;

 private:
  struct Segment {
    Point32 a, b;  // a.y <= b.y
  };
  void AddCurve(const QuadCurve& c);
  void AddSegment(const Point32& p, const Point32& q);
  // Parameters where the curve crosses the outline, in order.
  std::vector<Fixed> Crossings(const QuadCurve& c) const;
  // Whether some piece of the outline has its box overlapping box.
  bool MeetsOutline(const Rect32& box) const;

  Rect32 m_bounds;
  Rect32 m_working;
  int32_t m_shift = 0;
  int32_t m_firstRow = 0;
  std::vector<std::vector<Segment>> m_rows;
  int32_t m_points = 0;
};

template <class F>
void CRegionIndex::ClipCurve(const QuadCurve& c, F&& add) const {
  std::vector<Fixed> cuts = Crossings(c);
  Fixed t0 = 0;
  cuts.push_back(kFixedOne);
  for (Fixed t1 : cuts) {
    if (t1 <= t0) continue;
    Point32 mid;
    CurvePointAt(c, t0 + (t1 - t0) / 2, mid);
    if (Contains(mid)) {
      QuadCurve a, piece, b;
      CurveSplitTwice(c, t0, t1, a, piece, b);
      add(piece);
    }
    t0 = t1;
  }
}

// A closed smooth blob: n points at radius r and angles 13 + k * 360 / n
// degrees, each jittered, joined by quadratic curves through the midpoints
// of neighbouring points.
// -1 when memory runs out.
[[nodiscard]] int RoughEllipse(PointList& list, Random16& random, int32_t radius, int n,
                               int32_t jitter);

// A uniform random value in [0, n).
int32_t RandomBelow(Random16& random, int32_t n);
