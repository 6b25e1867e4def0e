#include "view/core/paint_bucket.h"

#include <algorithm>
#include <new>
#include <unordered_map>
#include <vector>

#include "geometry/curve.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_outline.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_update.h"
#include "model/geometry_result.h"
#include "model/pic_shape.h"
#include "view/core/view_state.h"

namespace {

// Crossings closer than this to each other are the boundary touching itself.
constexpr int32_t kTouching = 8;
// The nearest-approach search's tolerance (graph units).
constexpr int32_t kNearestTolerance = 2048;
// Loose ends of the closing segments are tidied within 10 twips.
constexpr int32_t kClosingTidy = 2560;
// The gradient square: -16384 to 16384 on both axes.
constexpr Rect32 kGradientSquare{-0x4000, 0x4000, -0x4000, 0x4000};

// A half-edge's place: which boundary ring it lies on (1, 2, ...) and where
// along it its start lies, in units of gap/8. Kept as two fields, so long
// boundaries and many rings never run into each other.
struct Place {
  uint32_t ring = 0;
  int64_t position = 0;
};

struct Candidate {
  const Edge* a = nullptr;
  Fixed ta = 0;  // curve parameters
  const Edge* b = nullptr;
  Fixed tb = 0;
  int32_t distance = kNoDistance;
  QuadCurve segment;
};

// Walks a region's boundary ring once, calling f(half-edge).
template <class F>
void ForEachOnRing(const Region* region, F&& f) {
  const HalfEdge* first = region->boundary;
  if (first == nullptr) return;
  const HalfEdge* h = first;
  do {
    f(h);
    h = HalfEdgeNextOnBoundary(h);
  } while (h != nullptr && h != first);
}

class GapCloser {
 public:
  GapCloser(EdgeGraph& graph, const Region* inside, int32_t gap, const Rect32& rect)
      : graph_(graph), inside_(inside), gap_(gap), unit_(std::max(gap / 8, 1)), rect_(rect) {}

  // Stamps the ring of region with the next ring number.
  void StampRing(const Region* region) {
    const auto ring = static_cast<uint32_t>(totals_.size());
    int64_t position = 0;
    ForEachOnRing(region, [&](const HalfEdge* h) {
      places_[h] = Place{ring, position};
      position += std::max<int64_t>(1, CurveLength(h->edge->curve) / unit_);
    });
    totals_.push_back(position);
    rings_.push_back(region);
  }
  size_t RingCount() const { return rings_.size(); }

  // The candidates of one ring (FindGapsOfRegion).
  void FindGaps(uint32_t ring) {
    const Region* region = rings_[ring];
    if (!RectsOverlap(region->bounds, rect_)) return;
    std::vector<Candidate> found;
    ForEachOnRing(region, [&](const HalfEdge* h) {
      const Place* here = PlaceOf(h, ring);
      const Place* twin = PlaceOf(HalfEdgeTwin(h), ring);
      if (here == nullptr || (twin != nullptr && twin->position < here->position)) return;
      Rect32 query;
      CurveGetBounds(h->edge->curve, query);
      RectInset(query, -gap_);
      RectIntersect(query, rect_, query);
      if (query.IsEmpty()) return;
      EdgeGraphForEachEdge(graph_, &query, [&](Edge* e) {
        if (e == h->edge) return;
        const HalfEdge* other = HalfOnRing(e, ring);
        if (other == nullptr || PlaceOf(other, ring)->position <= here->position) return;
        if (NearEdges(h->edge, kFixedHalf, e, kFixedHalf, ring)) return;
        Rect32 bounds;
        CurveGetBounds(e->curve, bounds);
        if (!RectsOverlap(bounds, query)) return;
        Fixed ta = 0, tb = 0;
        const int32_t d =
            CurveCurveNearest(h->edge->curve, e->curve, gap_, kNearestTolerance, ta, tb);
        if (d >= gap_) return;
        Point32 pa, pb;
        CurvePointAt(h->edge->curve, ta, pa);
        CurvePointAt(e->curve, tb, pb);
        if (PointDistance(pa, pb) < kTouching) return;
        // The midpoints may lie far apart along the ring while the nearest
        // points do not (a notch between two long edges): a short way
        // round joins those, so there is no gap to close.
        if (NearEdges(h->edge, ta, e, tb, ring)) return;
        Candidate* same = nullptr;
        for (Candidate& c : found)
          if (NearEdges(c.a, c.ta, h->edge, ta, ring) && NearEdges(c.b, c.tb, e, tb, ring)) {
            same = &c;
            break;
          }
        if (same != nullptr && same->distance <= d) return;
        QuadCurve segment;
        CurveFromLine(pa, pb, segment);
        Point32 p1, p7;
        CurvePointAt(segment, 0x2000, p1);
        CurvePointAt(segment, 0xE000, p7);
        if (!PointInsideFilledEdges(graph_, p1, inside_) ||
            !PointInsideFilledEdges(graph_, p7, inside_))
          return;
        const Candidate c{h->edge, ta, e, tb, d, segment};
        if (same != nullptr) {
          *same = c;
          return;
        }
        try {
          found.push_back(c);
        } catch (const std::bad_alloc&) {
          // The candidate is dropped; the others still close their gaps.
        }
      });
    });
    for (const Candidate& c : found) segments_.push_back(c.segment);
  }

  const std::vector<QuadCurve>& Segments() const { return segments_; }

 private:
  const Place* PlaceOf(const HalfEdge* h, uint32_t ring) const {
    auto it = places_.find(h);
    return it != places_.end() && it->second.ring == ring ? &it->second : nullptr;
  }
  // The half of e on the ring with the smaller place; null when neither is.
  const HalfEdge* HalfOnRing(const Edge* e, uint32_t ring) const {
    const Place* a = PlaceOf(&e->a, ring);
    const Place* b = PlaceOf(&e->b, ring);
    if (a == nullptr) return b != nullptr ? &e->b : nullptr;
    if (b == nullptr || a->position <= b->position) return &e->a;
    return &e->b;
  }
  // A curve parameter read along the half-edge's direction.
  static Fixed AlongHalf(const HalfEdge* h, Fixed t) {
    return (h->flags & kHalfSideB) != 0 ? kFixedOne - t : t;
  }
  // The position at parameter t (along the half-edge) on its ring.
  int64_t PositionAt(const HalfEdge* h, const Place& p, Fixed t) const {
    const HalfEdge* next = HalfEdgeNextOnBoundary(h);
    const Place* np = next != nullptr ? PlaceOf(next, p.ring) : nullptr;
    int64_t end = np != nullptr ? np->position : totals_[p.ring];
    if (end == 0) end = totals_[p.ring];
    return p.position + (((end - p.position) * t) >> 16);
  }
  // Two points of edges (at curve parameters) lie close along the ring on
  // either side of each edge that lies on it: a short way round the
  // outline joins them, so no gap lies between them.
  bool NearEdges(const Edge* a, Fixed ta, const Edge* b, Fixed tb, uint32_t ring) const {
    for (const HalfEdge* ha : {&a->a, &a->b}) {
      if (PlaceOf(ha, ring) == nullptr) continue;
      for (const HalfEdge* hb : {&b->a, &b->b})
        if (PlaceOf(hb, ring) != nullptr && Near(ha, AlongHalf(ha, ta), hb, AlongHalf(hb, tb)))
          return true;
    }
    return false;
  }
  // Two boundary points lie close along their common ring.
  bool Near(const HalfEdge* a, Fixed ta, const HalfEdge* b, Fixed tb) const {
    auto ia = places_.find(a);
    auto ib = places_.find(b);
    if (ia == places_.end() || ib == places_.end() || ia->second.ring != ib->second.ring)
      return false;
    const int64_t d = std::abs(PositionAt(a, ia->second, ta) - PositionAt(b, ib->second, tb));
    return d < kBoundaryNear || totals_[ia->second.ring] - d < kBoundaryNear;
  }

  EdgeGraph& graph_;
  const Region* inside_;
  int32_t gap_;
  int64_t unit_;
  Rect32 rect_;
  std::unordered_map<const HalfEdge*, Place> places_;
  std::vector<int64_t> totals_;
  std::vector<const Region*> rings_;
  std::vector<QuadCurve> segments_;
};

// The curves placement fits: of the region's boundary and its holes', else
// of the edges with a selected fill, else of every edge.
std::vector<QuadCurve> ConsideredCurves(EdgeGraph& graph, Region* region, bool selected_only) {
  std::vector<QuadCurve> curves;
  if (region != nullptr) {
    for (Region* r = region; r != nullptr; r = r == region ? region->first_child : r->next)
      ForEachOnRing(r, [&](const HalfEdge* h) { curves.push_back(h->edge->curve); });
    return curves;
  }
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
    if (selected_only && !StyleIsSelected(e->a.fill) && !StyleIsSelected(e->b.fill)) return;
    curves.push_back(e->curve);
  });
  return curves;
}

// Graph units to twips, rounded.
Point32 ToTwips(const Point32& p) {
  return {(p.x + 128) >> 8, (p.y + 128) >> 8};
}

QuadCurve CurveInTwips(const QuadCurve& c, const Matrix2x3* m) {
  QuadCurve out;
  out.straight = c.straight;
  const Point32* in[3] = {&c.p0, &c.control, &c.p2};
  Point32* to[3] = {&out.p0, &out.control, &out.p2};
  for (int i = 0; i < 3; ++i) {
    *to[i] = ToTwips(*in[i]);
    if (m != nullptr) MatrixTransformPoint(*m, *to[i], *to[i]);
  }
  return out;
}

Fixed DragAngle(const FillDrag& d) {
  return FixedAtan2(d.end.y - d.start.y, d.end.x - d.start.x);
}

}  // namespace

int32_t GapDistance(int32_t level, int32_t pixel) {
  return Clamp32(int64_t{level} * pixel * 256);
}

bool PointInsideFilledEdges(const EdgeGraph& graph, const Point32& point, const Region* region) {
  int64_t count = region == nullptr ? 1 : 0;
  const Rect32 ray{point.x, 0x1FFFFFFF, point.y, point.y};
  EdgeGraphForEachEdge(graph, &ray, [&](Edge* e) {
    const bool a = StyleIndexOf(e->a.fill) != 0;
    const bool b = StyleIndexOf(e->b.fill) != 0;
    if (!a && !b) return;
    const int32_t n = CurveRayCrossings(e->curve, point, 0);
    count += a && b ? 2 * n : n;
  });
  return (count & 1) != 0;
}

int CloseFillGaps(EdgeGraph& graph, Region* region, int32_t gap, const Rect32& rect,
                  const std::function<uint32_t()>& now, GapClosingResult* result) {
  GapClosingResult local;
  GapClosingResult& out = result != nullptr ? *result : local;
  out = GapClosingResult{};
  if (gap <= 0) return 0;
  // Edits before the click may have left regions to build: the top level
  // is complete only after the build.
  if (EdgeGraphBuildRegions(graph) < 0) return -1;
  std::vector<QuadCurve> segments;
  try {
    GapCloser closer(graph, region, gap, rect);
    if (region != nullptr) {
      closer.StampRing(region);
      for (Region* c = region->first_child; c != nullptr; c = c->next) closer.StampRing(c);
    } else {
      for (Region* r = graph.top_regions; r != nullptr; r = r->next) closer.StampRing(r);
    }
    const uint32_t deadline = now() + kGapDeadlineMs;
    for (uint32_t ring = 0; ring < closer.RingCount(); ++ring) {
      if (ring > 0 && static_cast<int32_t>(now() - deadline) >= 0) {
        out.deadline_hit = true;
        out.skipped = static_cast<int32_t>(closer.RingCount() - ring);
        break;
      }
      closer.FindGaps(ring);
      ++out.examined;
    }
    segments = closer.Segments();
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (segments.empty()) return 0;
  EdgeGraph closing;
  if (EdgeGraphInit(closing) < 0) return -1;
  for (const QuadCurve& c : segments) {
    Edge* e = nullptr;
    if (EdgeGraphNewEdge(c, &e) < 0) return -1;
    if (EdgeGraphInsertEdge(closing, e, 0, 3) < 0) return -1;
    ++out.segments;
  }
  if (EdgeGraphMerge(closing, graph, 0) < 0) return -1;
  return EdgeGraphResolveCrossings(graph, kClosingTidy, kClosingTidy, kClosingTidy, rect);
}

int PlaceFillGradient(EdgeGraph& graph, Region* region, bool selected_only, FillStyle& colour,
                      const FillDragFn* drag) {
  const bool linear = colour.kind == kGradientLinear;
  const bool radial = colour.kind == kGradientRadial;
  const bool texture = colour.kind >= kFillTextureFirst && colour.kind < kFillTextureFirst + 3;
  if (!linear && !radial && !texture) return 0;
  const std::vector<QuadCurve> curves = ConsideredCurves(graph, region, selected_only);
  FillDrag d;
  if (drag != nullptr) d = (*drag)(radial);
  const Fixed current = FixedAtan2(colour.matrix.b, colour.matrix.a);
  if (texture) {
    MatrixSetRotation(colour.matrix, d.dragged ? DragAngle(d) : current);
    return 1;
  }
  if (curves.empty()) return 0;
  if (linear) {
    Matrix2x3 r, inverse;
    MatrixSetRotation(r, d.dragged ? kAngle90 - DragAngle(d) : -current);
    MatrixInvert(r, inverse);
    Rect32 q;
    for (const QuadCurve& c : curves) {
      Rect32 b;
      CurveGetBounds(CurveInTwips(c, &r), b);
      RectUnion(q, b, q);
    }
    Matrix2x3 fit;
    MatrixRectToRect(kGradientSquare, q, fit);
    MatrixConcat(fit, inverse, colour.matrix);
    return 1;
  }
  Point32 centre;
  if (drag != nullptr) {
    centre = d.end;
  } else {
    Rect32 q;
    for (const QuadCurve& c : curves) {
      Rect32 b;
      CurveGetBounds(CurveInTwips(c, nullptr), b);
      RectUnion(q, b, q);
    }
    centre = {q.xmin + (q.xmax - q.xmin) / 2, q.ymin + (q.ymax - q.ymin) / 2};
  }
  int32_t radius = 0;
  for (const QuadCurve& g : curves) {
    const QuadCurve c = CurveInTwips(g, nullptr);
    radius = std::max({radius, PointDistance(centre, c.p0), PointDistance(centre, c.p2)});
    if (c.straight != 0) continue;
    for (int i = 1; i < 32; ++i) {
      Point32 p;
      CurvePointAt(c, i * (kFixedOne / 32), p);
      radius = std::max(radius, PointDistance(centre, p));
    }
  }
  MatrixRectToRect(kGradientSquare,
                   {centre.x - radius, centre.x + radius, centre.y - radius, centre.y + radius},
                   colour.matrix);
  return 1;
}

bool GradientFillPlacer::PlaceFillGradient(EdgeGraph& stroke, FillStyle& colour) {
  return ::PlaceFillGradient(stroke, nullptr, false, colour, nullptr) != 0;
}

void PaintBucketClick(ViewState& view, const Point32& point, BucketHost& host) {
  ViewHitRecord hit;
  hit.point = point;
  const bool hitSomething = view.HitTest(hit);
  if (hitSomething && hit.object != nullptr) return;
  FillStyle* colour = host.Colour();
  // Faucet: a line loses its line; a selected one takes the selection's
  // lines and fills away.
  if (colour == nullptr && hit.edge != nullptr && StyleIndexOf(hit.edge->line) != 0) {
    if (!StyleIsSelected(hit.edge->line)) {
      CheckGeometry(EdgeApplyLineToRun(*hit.graph, hit.edge, 0));
      CheckGeometry(EdgeGraphUpdate(*hit.graph));
      if (hit.key_frame != nullptr) hit.key_frame->InvalidateBounds();
    } else {
      CViewObjIter it(view, 0);
      while (CPicShape* frame = it.Next()) {
        LineStyle noLine;
        FillStyle noFill;
        CheckGeometry(EdgeGraphApplyLineStyle(frame->GetGeometry(), kStyleApply, noLine));
        CheckGeometry(EdgeGraphApplyFillStyle(frame->GetGeometry(), kStyleApply, noFill));
        CheckGeometry(EdgeGraphUpdate(frame->GetGeometry()));
        frame->InvalidateBounds();
      }
    }
    view.InvalidateDocRect(nullptr);
    return;
  }
  Rect32 visible;
  view.GetVisibleDocRect(visible);
  const Rect32 rect{visible.xmin << 8, visible.xmax << 8, visible.ymin << 8, visible.ymax << 8};
  CPicShape* owner = hit.graph != nullptr ? hit.key_frame : view.GetEditFrame();
  if (owner == nullptr) return;
  EdgeGraph* drawing = &owner->GetGeometry();
  Point32 at;
  PointShift(point, ShiftLeft(8), at);
  const FillDragFn dragFn = [&](bool snapToPoints) {
    return host.DragFillVector(point, snapToPoints);
  };
  const bool place = colour != nullptr && !host.LockFill();

  Region* region = EdgeGraphFindRegion(*drawing, at);
  if (region != nullptr && StyleIsSelected(region->fill)) {
    if (place && PlaceFillGradient(*drawing, nullptr, true, *colour, &dragFn) != 0)
      host.ColourPlaced(*colour);
    CViewObjIter it(view, 0);
    while (CPicShape* frame = it.Next()) {
      FillStyle fill = colour != nullptr ? *colour : FillStyle{};
      CheckGeometry(EdgeGraphApplyFillStyle(frame->GetGeometry(), kStyleApply, fill));
      if (colour == nullptr) {
        LineStyle noLine;
        CheckGeometry(EdgeGraphApplyLineStyle(frame->GetGeometry(), kStyleApply, noLine));
      }
      CheckGeometry(EdgeGraphUpdate(frame->GetGeometry()));
      frame->InvalidateBounds();
    }
    view.InvalidateDocRect(nullptr);
    return;
  }
  // The drawing whose gaps were closed: its segments stay only where the
  // fill set below borders them; its update drops the others.
  EdgeGraph* closed = nullptr;
  if (host.GapLevel() > 0) {
    CheckGeometry(CloseFillGaps(*drawing, region, GapDistance(host.GapLevel(), view.GetPixelSize()),
                                rect, [&] { return host.Now(); }));
    closed = drawing;
  }
  region = EdgeGraphFindRegion(*drawing, at);
  if (region == nullptr) {
    CViewObjIter it(view, 0);
    while (CPicShape* frame = it.Next()) {
      region = EdgeGraphFindRegion(frame->GetGeometry(), at);
      if (region != nullptr) {
        owner = frame;
        drawing = &frame->GetGeometry();
        break;
      }
    }
  }
  if (region == nullptr) {
    if (closed != nullptr) CheckGeometry(EdgeGraphUpdate(*closed));
    return;
  }
  StyleIndex fill = 0;
  if (colour != nullptr) {
    if (place) {
      const int kind = colour->kind;
      if (PlaceFillGradient(*drawing, region, false, *colour, &dragFn) != 0 &&
          kind != kGradientRadial)
        host.ColourPlaced(*colour);
    }
    const int index = EdgeGraphAddFillStyle(*drawing, *colour);
    CheckGeometry(index);
    fill = static_cast<StyleIndex>(index);
  }
  CheckGeometry(RegionSetFill(region, fill));
  CheckGeometry(EdgeGraphUpdate(*drawing));
  if (closed != nullptr && closed != drawing) CheckGeometry(EdgeGraphUpdate(*closed));
  owner->InvalidateBounds();
  view.InvalidateDocRect(nullptr);
}
