// Edge insertion: rounding, merging of coincident edges and splitting at
// crossings.
//
// Pieces waiting for insertion are kept on an explicit work stack rather than
// the C++ stack, so a curve that crosses thousands of edges needs no deep
// recursion. The stack is processed in the order a recursive insertion would
// take: the pieces of a split old edge first, then the pieces of the new one.
#include "geometry/edge_graph_insert.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/point_list.h"

namespace {

// Rounded split points move pieces by up to half a twip, which can make two
// pieces that share a vertex cross again next to it; each such re-crossing
// deepens a piece's lineage by one. At the guard the piece is linked unsplit.
constexpr int kDefaultSplitGuard = 32;
int g_split_guard = kDefaultSplitGuard;
int32_t g_unsplit_count = 0;

constexpr int32_t kDegenerateSpan = 128;  // ends this close make a straight edge
constexpr int32_t kStraightTolerance = 128;
constexpr int32_t kCoincidentMidpoint = 1024;
constexpr int32_t kIntersectTolerance = 8;  // CurveIntersect's own floor
constexpr int32_t kNearEndSpan = 1024;      // four twips

// However the pieces behave, one insertion processes at most this many plus a
// few per edge of the graph; the rest are linked unsplit.
constexpr int64_t kPieceBudget = 100000;
constexpr int64_t kPieceBudgetPerEdge = 16;

struct Pending {
  Edge* edge;
  uint32_t stamp;
  int precedence;
  int depth;
};

int64_t Abs64(int64_t v) {
  return v < 0 ? -v : v;
}

bool EndsWithin(const Point32& p, const Point32& q, int64_t d) {
  return Abs64(int64_t{p.x} - q.x) <= d && Abs64(int64_t{p.y} - q.y) <= d;
}

Point32 MidPoint(const Point32& p, const Point32& q) {
  return {static_cast<int32_t>((int64_t{p.x} + q.x) >> 1),
          static_cast<int32_t>((int64_t{p.y} + q.y) >> 1)};
}

// Moves one end of a piece onto p; a curved piece's control point follows by
// half the shift (the average of the two end shifts), a straight one's stays
// the midpoint.
void MovePieceEnd(QuadCurve& c, bool at_end, const Point32& p) {
  Point32& end = at_end ? c.p2 : c.p0;
  const int64_t dx = int64_t{p.x} - end.x;
  const int64_t dy = int64_t{p.y} - end.y;
  end = p;
  if (c.straight) {
    c.control = MidPoint(c.p0, c.p2);
  } else {
    c.control.x = static_cast<int32_t>(c.control.x + (dx >> 1));
    c.control.y = static_cast<int32_t>(c.control.y + (dy >> 1));
  }
}

// True when the straight curve b lies wholly on one side of the line through
// the straight curve a, farther than twice the intersection tolerance: then
// the two can neither cross nor come within the tolerance of each other, and
// the intersection search would find nothing. A cheap test that spares the
// search for the many parallel neighbours of a hatch line.
bool OneSideOf(const QuadCurve& a, const QuadCurve& b) {
  auto d = [](int32_t v) { return static_cast<double>(v); };
  const double dx = d(a.p2.x) - a.p0.x, dy = d(a.p2.y) - a.p0.y;
  const double s0 = dx * (d(b.p0.y) - a.p0.y) - dy * (d(b.p0.x) - a.p0.x);
  const double s2 = dx * (d(b.p2.y) - a.p0.y) - dy * (d(b.p2.x) - a.p0.x);
  if ((s0 > 0) != (s2 > 0)) return false;
  const double limit = 2.0 * kIntersectTolerance;
  const double length2 = dx * dx + dy * dy;
  return s0 * s0 > limit * limit * length2 && s2 * s2 > limit * limit * length2;
}

// Within a few twips of an end of c (but not on it).
bool NearAnEnd(const Point32& p, const QuadCurve& c) {
  return EndsWithin(p, c.p0, kNearEndSpan) || EndsWithin(p, c.p2, kNearEndSpan);
}

bool SharesEnd(const QuadCurve& a, const QuadCurve& b) {
  return a.p0 == b.p0 || a.p0 == b.p2 || a.p2 == b.p0 || a.p2 == b.p2;
}

void CopyStyles(const Edge& from, Edge& to) {
  to.line = from.line;
  to.a.fill = from.a.fill;
  to.b.fill = from.b.fill;
  to.a.fill_context = from.a.fill_context;
  to.b.fill_context = from.b.fill_context;
}

// The records made for the pieces of a split until the work stack holds
// them: released when the split fails or an exception passes.
struct HeldPieces {
  Edge* old_piece = nullptr;
  Edge* new_piece = nullptr;
  HeldPieces() = default;
  HeldPieces(const HeldPieces&) = delete;
  HeldPieces& operator=(const HeldPieces&) = delete;
  ~HeldPieces() {
    EdgeGraphFreeEdgeRecord(old_piece);
    EdgeGraphFreeEdgeRecord(new_piece);
  }
};

// Links a piece as it is, marked as linked unsplit; a piece that cannot be
// linked is dropped.
void LinkOrDrop(EdgeGraph& graph, Edge* e) {
  e->flags |= kEdgeUnsplit;
  if (EdgeGraphLinkEdge(graph, e) < 0) EdgeGraphFreeEdgeRecord(e);
}

// Step 6 of insertion: the new edge lies on the old one.
void MergeFill(EdgeGraph& graph, HalfEdge& old_side, StyleIndex fill, int precedence) {
  const StyleIndex selected = (old_side.fill | fill) & kStyleSelected;
  StyleIndex index = StyleIndexOf(old_side.fill);
  if (StyleIndexOf(fill) != 0 && ((precedence & kPrecedenceFill) || index == 0))
    index = StyleIndexOf(fill);
  const auto value = static_cast<StyleIndex>(index | selected);
  if (value != old_side.fill) {
    EdgeGraphFreeRegionsAtVertex(graph, old_side.vertex);
    old_side.fill = value;
  }
}

int MergeCoincident(EdgeGraph& graph, Edge* old, Edge* e, bool same_direction, uint32_t stamp,
                    int precedence) {
  if (int r = EdgeGraphTouchEdge(graph, old); r < 0) {
    EdgeGraphFreeEdgeRecord(e);  // the old edge stays as it was
    return r;
  }
  EdgeGraphFreeRegionsAtVertex(graph, old->b.vertex);
  const StyleIndex selected = (old->line | e->line) & kStyleSelected;
  StyleIndex line = StyleIndexOf(old->line);
  if ((precedence & kPrecedenceLine) && StyleIndexOf(e->line) != 0) line = StyleIndexOf(e->line);
  old->line = static_cast<StyleIndex>(line | selected);
  MergeFill(graph, old->a, same_direction ? e->a.fill : e->b.fill, precedence);
  MergeFill(graph, old->b, same_direction ? e->b.fill : e->a.fill, precedence);
  old->a.visit = stamp;
  EdgeGraphFreeEdgeRecord(e);
  return 0;
}

bool SameEdge(const QuadCurve& c, const QuadCurve& old, bool& same_direction) {
  same_direction = c.p0 == old.p0 && c.p2 == old.p2;
  const bool opposite = c.p0 == old.p2 && c.p2 == old.p0;
  if (!same_direction && !opposite) return false;
  Point32 m1, m2;
  CurvePointAt(c, kFixedHalf, m1);
  CurvePointAt(old, kFixedHalf, m2);
  return EndsWithin(m1, m2, kCoincidentMidpoint) ||
         (CurveIsNearlyStraight(c, kCoincidentMidpoint) &&
          CurveIsNearlyStraight(old, kCoincidentMidpoint));
}

// Inserts one piece; further pieces go onto the work stack. On failure the
// piece has been linked as it is or dropped.
int InsertOne(EdgeGraph& graph, const Pending& p, std::vector<Pending>& work) {
  Edge* e = p.edge;
  QuadCurve& c = e->curve;

  // 1-3: rounding, degenerate and nearly straight curves.
  CurveRoundEnds(c);
  if (EndsWithin(c.p0, c.p2, kDegenerateSpan)) {
    if (c.p0 == c.p2) {
      EdgeGraphFreeEdgeRecord(e);
      return 0;
    }
    CurveFromLine(c.p0, c.p2, c);
  } else if (!c.straight &&
             (PointSegmentDistance(c.control, c.p2, c.p0, nullptr) <= kStraightTolerance ||
              PointSegmentDistance(c.control, c.p0, c.p2, nullptr) <= kStraightTolerance)) {
    CurveFromLine(c.p0, c.p2, c);
  }

  if (p.depth > g_split_guard) {
    ++g_unsplit_count;
    e->flags |= kEdgeUnsplit;
    const int r = EdgeGraphLinkEdge(graph, e);
    if (r < 0) EdgeGraphFreeEdgeRecord(e);
    return r;
  }

  // 4.
  e->a.visit = p.stamp;

  // 5: the edges around the curve. The cells are taken around the tight
  // bounds grown by the intersection tolerance, so that an edge that comes
  // that close without its cell touching the bounds is met as well.
  Rect32 tight, hull;
  CurveGetBounds(c, tight);
  CurveGetHullBounds(c, hull);
  Rect32 scan = tight;
  RectInset(scan, -kIntersectTolerance);
  EdgeIter it;
  EdgeIterInit(it, graph.grid, 0, &scan);
  while (void* head = GridIterAdvance(it)) {
    for (Edge* old = static_cast<Edge*>(head); old; old = static_cast<Edge*>(old->grid_next)) {
      if (p.stamp != 0 && old->a.visit == p.stamp) continue;
      Rect32 old_hull;
      CurveGetHullBounds(old->curve, old_hull);
      if (!RectsOverlap(old_hull, hull) || StraightEdgesApart(c, old->curve)) continue;
      CurveIntersectResult found;
      const int n = CurveIntersect(c, old->curve, found, kIntersectTolerance);
      if (n == 0) continue;

      // 6: coincident edges.
      bool same_direction = false;
      if (n >= 2 && SameEdge(c, old->curve, same_direction))
        return MergeCoincident(graph, old, e, same_direction, p.stamp, p.precedence);

      // 7: crossings, in the order found.
      const bool shares_end = SharesEnd(c, old->curve);
      for (int i = 0; i < n; ++i) {
        const CurveIntersectEntry& x = found.entries[i];
        if (!IntersectionIsConsistent(c, old->curve, x)) continue;
        QuadCurve o1, o2;
        CurveSplit(old->curve, x.tB, o1, o2);
        // Where the meeting is at an end of the new curve, that end (already
        // on the grid) is the split point: rounding the point found on the
        // old curve could land beside it on long curves, whose parameters
        // resolve points only coarsely.
        const bool at_new_end = x.tA <= 0 || x.tA >= kFixedOne;
        const Point32 split = at_new_end ? (x.tA <= 0 ? c.p0 : c.p2) : RoundTo128(o1.p2);
        const bool split_old = split != old->curve.p0 && split != old->curve.p2;
        const bool split_new = split != c.p0 && split != c.p2;
        if (!split_old && !split_new) continue;
        // A split beside an end re-crosses as a shared end does: on long
        // curves a parameter steps hundreds of units, so the point found on
        // the new curve and the rounded point taken from the old one can
        // differ, and two pieces can trade an end back and forth between two
        // grid points next to each other.
        const int depth = shares_end || NearAnEnd(split, c) || NearAnEnd(split, old->curve)
                              ? p.depth + 1
                              : p.depth;

        // Records first, so that a refused allocation changes nothing; room
        // on the work stack too, so that nothing below can fail halfway.
        if (work.capacity() < work.size() + 4) work.reserve(2 * work.size() + 4);
        HeldPieces held;
        if ((split_old && EdgeGraphNewEdge(o2, &held.old_piece) < 0) ||
            (split_new && EdgeGraphNewEdge(c, &held.new_piece) < 0) ||
            (split_old && EdgeGraphUnlinkEdge(graph, old) < 0)) {
          LinkOrDrop(graph, e);
          return -1;
        }
        Edge* old_piece = std::exchange(held.old_piece, nullptr);
        Edge* new_piece = std::exchange(held.new_piece, nullptr);
        if (split_new) {
          QuadCurve n1, n2;
          CurveSplit(c, x.tA, n1, n2);
          MovePieceEnd(n1, true, split);
          MovePieceEnd(n2, false, split);
          c = n1;
          new_piece->curve = n2;
          CopyStyles(*e, *new_piece);
          work.push_back({new_piece, p.stamp, p.precedence, depth});
          work.push_back({e, p.stamp, p.precedence, depth});
        } else {
          // The split point is an end of the new edge: it meets the old
          // pieces there once they are back, so its scan starts over.
          work.push_back({e, p.stamp, p.precedence, depth});
        }
        if (split_old) {
          MovePieceEnd(o1, true, split);
          MovePieceEnd(o2, false, split);
          old->curve = o1;
          old_piece->curve = o2;
          CopyStyles(*old, *old_piece);
          const int flipped = p.precedence ^ (kPrecedenceLine | kPrecedenceFill);
          work.push_back({old_piece, 0, flipped, depth});
          work.push_back({old, 0, flipped, depth});
        }
        return 0;
      }
    }
  }

  // 8.
  e->flags &= static_cast<uint16_t>(~kEdgeUnsplit);
  const int r = EdgeGraphLinkEdge(graph, e);
  if (r < 0) EdgeGraphFreeEdgeRecord(e);
  return r;
}

}  // namespace

bool StraightEdgesApart(const QuadCurve& a, const QuadCurve& b) {
  return a.straight && b.straight && (OneSideOf(a, b) || OneSideOf(b, a));
}

bool IntersectionIsConsistent(const QuadCurve& a, const QuadCurve& b,
                              const CurveIntersectEntry& entry) {
  auto resolution = [](const QuadCurve& c) {
    Rect32 hull;
    CurveGetHullBounds(c, hull);
    return std::max(int64_t{hull.xmax} - hull.xmin, int64_t{hull.ymax} - hull.ymin) >> 13;
  };
  const int64_t slack = 64 + std::max(resolution(a), resolution(b));
  if (!EndsWithin(entry.point_a, entry.point_b, slack)) return false;
  // An end of one curve meeting an end of the other is a shared vertex, or
  // two vertices at least a grid step apart that nothing can join.
  const bool end_a = entry.tA <= 0 || entry.tA >= kFixedOne;
  const bool end_b = entry.tB <= 0 || entry.tB >= kFixedOne;
  if (end_a && end_b) return (entry.tA <= 0 ? a.p0 : a.p2) == (entry.tB <= 0 ? b.p0 : b.p2);
  return true;
}

Point32 RoundTo128(const Point32& p) {
  auto round = [](int32_t v) {
    return static_cast<int32_t>((static_cast<uint32_t>(v) + 64u) & ~127u);
  };
  return {round(p.x), round(p.y)};
}

void CurveRoundEnds(QuadCurve& c) {
  const Point32 p0 = RoundTo128(c.p0);
  const Point32 p2 = RoundTo128(c.p2);
  if (c.straight) {
    c.p0 = p0;
    c.p2 = p2;
    c.control = MidPoint(p0, p2);
    return;
  }
  const int64_t dx = int64_t{p0.x} - c.p0.x + p2.x - c.p2.x;
  const int64_t dy = int64_t{p0.y} - c.p0.y + p2.y - c.p2.y;
  c.control.x = static_cast<int32_t>(c.control.x + (dx >> 1));
  c.control.y = static_cast<int32_t>(c.control.y + (dy >> 1));
  c.p0 = p0;
  c.p2 = p2;
}

int EdgeGraphInsertEdge(EdgeGraph& graph, Edge* edge, uint32_t stamp, int precedence) {
  if (!edge) return 0;
  // A linked edge that cannot be taken out stays where it is, still the graph's.
  if (EdgeIsLinked(*edge)) {
    const int unlinked = EdgeGraphUnlinkEdge(graph, edge);
    if (unlinked < 0) return unlinked;
  }
  std::vector<Pending> work;
  int result = 0;
  // The piece in hand: off the work stack and not yet linked, queued again
  // or freed.
  Edge* current = edge;
  try {
    work.reserve(16);
    work.push_back({edge, stamp, precedence, 0});
    current = nullptr;
    int64_t budget = kPieceBudget + kPieceBudgetPerEdge * int64_t{graph.edge_count};
    while (!work.empty()) {
      const Pending p = work.back();
      work.pop_back();
      current = p.edge;
      if (result < 0) {
        LinkOrDrop(graph, p.edge);  // after a failure, keep what can be kept
      } else if (--budget < 0) {
        ++g_unsplit_count;
        CurveRoundEnds(p.edge->curve);
        if (p.edge->curve.p0 == p.edge->curve.p2)
          EdgeGraphFreeEdgeRecord(p.edge);
        else
          LinkOrDrop(graph, p.edge);
      } else {
        result = InsertOne(graph, p, work);
      }
      current = nullptr;
    }
  } catch (const std::bad_alloc&) {
    if (current) LinkOrDrop(graph, current);
    for (const Pending& p : work) LinkOrDrop(graph, p.edge);
    return -1;
  } catch (...) {
    // The change callback refused the change (it runs at the first link,
    // unlink or touch, before anything moved): no piece is linked any more,
    // and every record in hand is released.
    if (current && !EdgeIsLinked(*current)) EdgeGraphFreeEdgeRecord(current);
    for (const Pending& p : work)
      if (!EdgeIsLinked(*p.edge)) EdgeGraphFreeEdgeRecord(p.edge);
    throw;
  }
  return result;
}

int EdgeGraphAddPath(EdgeGraph& graph, const PointList& path, StyleIndex line, StyleIndex fill_a,
                     StyleIndex fill_b) {
  PointListIter it;
  PointListIterInit(path, it);
  QuadCurve c;
  while (PointListIterNext(it, c)) {
    CurveShift(c, ShiftLeft(8), c);  // twips to graph units
    Edge* e = nullptr;
    if (int r = EdgeGraphNewEdge(c, &e); r < 0) return r;
    e->line = line;
    e->a.fill = fill_a;
    e->b.fill = fill_b;
    if (int r = EdgeGraphInsertEdge(graph, e, 0, kPrecedenceLine | kPrecedenceFill); r < 0)
      return r;
  }
  return 0;
}

int EdgeGraphSetSplitGuard(int limit) {
  const int previous = g_split_guard;
  g_split_guard = limit;
  return previous;
}

int32_t EdgeGraphUnsplitCount() {
  return g_unsplit_count;
}

void EdgeGraphResetInsertCounters() {
  g_split_guard = kDefaultSplitGuard;
  g_unsplit_count = 0;
}
