// CMovieWriter's shape records: the style tables and the steps, written by
// walking the edge graph in chains of edges that carry the same styles.
#include <algorithm>
#include <cstdlib>

#include "geometry/curve.h"
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_update.h"
#include "geometry/edge_style.h"
#include "movie/movie_writer.h"
#include "platform/core/exceptions.h"

// The state of one step stream: field widths, the styles in force and the pen
// (twips).
struct CMovieWriter::StepState {
  int fill_bits = 0;
  int line_bits = 0;
  uint16_t fill_count = 0;
  uint16_t line_count = 0;
  int line = 0;
  int fill0 = 0;
  int fill1 = 0;
  Point32 pen;
};

namespace {

// Tables longer than a count byte holds cannot be written.
constexpr uint16_t kMaxShapeStyles = 255;
// Splitting a step that is too long halves it; coordinates of 31 bits need at
// most 16 rounds, so a deeper recursion means a degenerate curve.
constexpr int kMaxStepSplitDepth = 40;
// A curve whose midpoint lies less than this many twips from its chord is
// written as a straight step.
constexpr int32_t kStraightTolerance = 2;

// The index a step carries: without the selection mark; an index past the
// table (a reserved tag) is no style.
int StepIndex(StyleIndex s, uint16_t count) {
  const int i = StyleIndexOf(s);
  return i <= count ? i : 0;
}

// The half-edge before h in its vertex's ring, taken as circular.
HalfEdge* RingPrev(HalfEdge* h) {
  HalfEdge* p = h->vertex->ring;
  if (p == h) {
    while (p->ring_next) p = p->ring_next;
    return p;
  }
  while (p && p->ring_next != h) p = p->ring_next;
  return p ? p : h;
}

int64_t Abs64(int64_t v) {
  return v < 0 ? -v : v;
}

}  // namespace

void CMovieWriter::WriteShape(uint16_t id, const EdgeGraph& graph) {
  OpenTag(MT_SHAPE_CHARACTER, true);
  PutWord(id);
  // The bounds include the lines' widths: a player redraws and hit-tests
  // within them.
  Rect32 tight, bounds;
  EdgeGraphGetBounds(graph, false, tight, bounds);
  Rect32 twips{0, 0, 0, 0};
  if (!bounds.IsEmpty()) RectShift(bounds, ShiftRight(8), twips);
  WritePackedRect(twips);
  WriteShapeStyles(graph);
  WriteShapeSteps(graph);
  CloseTag();
}

void CMovieWriter::WriteShapeStyles(const EdgeGraph& graph) {
  if (graph.fill_count > kMaxShapeStyles || graph.line_count > kMaxShapeStyles)
    throw CNotSupportedException();
  PutByte(static_cast<uint8_t>(graph.fill_count));
  for (uint16_t i = 1; i <= graph.fill_count; ++i) {
    FillStyle fill;
    EdgeGraphGetFillStyle(graph, i, fill);
    WriteFillStyle(fill);
  }
  PutByte(static_cast<uint8_t>(graph.line_count));
  for (uint16_t i = 1; i <= graph.line_count; ++i) {
    LineStyle line;
    EdgeGraphGetLineStyle(graph, i, line);
    PutWord(static_cast<uint16_t>(line.width));
    WriteColorRGB(line.colour);
  }
}

void CMovieWriter::WriteFillStyle(const FillStyle& fill) {
  if (fill.kind & kFillHasGradient) {
    PutByte(fill.kind);
    WritePackedMatrix(&fill.matrix);
    const int count = std::min<int>(fill.gradient.count, kMovieGradientMaxEntries);
    PutByte(static_cast<uint8_t>(count));
    for (int i = 0; i < count; ++i) {
      PutByte(fill.gradient.ratios[i]);
      WriteColorRGB(fill.gradient.colours[i]);
    }
  } else if (fill.kind & kMovieFillBitmapBit) {
    PutByte(kMovieFillBitmap);
    PutWord(BitmapFillId(fill.colour));
    WritePackedMatrix(&fill.matrix);
  } else {
    // Textures and every other kind are drawn by players as the solid colour.
    PutByte(kMovieFillSolid);
    WriteColorRGB(fill.colour);
  }
}

void CMovieWriter::WriteShapeSteps(const EdgeGraph& graph) {
  // The first stamp marks half-edges met while searching a chain's start, the
  // second those written.
  const uint32_t searched = EdgeGraphNextStamp();
  const uint32_t written = EdgeGraphNextStamp();

  StepState state;
  state.fill_count = graph.fill_count;
  state.line_count = graph.line_count;
  state.fill_bits = NumBits(graph.fill_count);
  state.line_bits = NumBits(graph.line_count);
  AlignBits();
  WriteBits(static_cast<uint32_t>(state.fill_bits), kStepIndexWidthBits);
  WriteBits(static_cast<uint32_t>(state.line_bits), kStepIndexWidthBits);

  auto same_styles = [&](const HalfEdge* p, const HalfEdge* h) {
    return StepIndex(p->fill, state.fill_count) == StepIndex(h->fill, state.fill_count) &&
           StepIndex(HalfEdgeTwin(p)->fill, state.fill_count) ==
               StepIndex(HalfEdgeTwin(h)->fill, state.fill_count) &&
           StepIndex(p->edge->line, state.line_count) == StepIndex(h->edge->line, state.line_count);
  };

  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
    if (e->a.visit == written) return;
    // Back to the start of the chain: the edge that runs into this one's
    // start vertex, for as long as it is unmarked and carries the same styles.
    HalfEdge* h = &e->a;
    for (;;) {
      h->visit = searched;
      HalfEdgeTwin(h)->visit = searched;
      HalfEdge* p = HalfEdgeTwin(RingPrev(h));
      if (p->visit == searched || p->visit == written || !same_styles(p, h)) break;
      h = p;
    }
    // Forwards from there, continuing at each end vertex with the next
    // half-edge of its ring, or any one not yet written.
    for (;;) {
      HalfEdge* twin = HalfEdgeTwin(h);
      h->visit = written;
      twin->visit = written;
      WriteHalfEdgeStep(state, h);
      HalfEdge* next = twin->ring_next ? twin->ring_next : twin->vertex->ring;
      if (next->visit == written) {
        next = nullptr;
        for (HalfEdge* r = twin->vertex->ring; r; r = r->ring_next)
          if (r->visit != written) {
            next = r;
            break;
          }
        if (!next) break;
      }
      h = next;
    }
  });

  WriteBits(0, 1);  // the end step
  WriteBits(0, kStepFlagBits);
  FlushBits();
}

void CMovieWriter::WriteHalfEdgeStep(StepState& state, const HalfEdge* h) {
  const int fill0 = StepIndex(h->fill, state.fill_count);
  const int fill1 = StepIndex(HalfEdgeTwin(h)->fill, state.fill_count);
  const int line = StepIndex(h->edge->line, state.line_count);
  if (fill0 == 0 && fill1 == 0 && line == 0) return;
  QuadCurve graph_curve, c;
  EdgeGetCurve(h, graph_curve);
  CurveShift(graph_curve, ShiftRight(8), c);
  if (c.p0 == c.p2) return;

  uint32_t flags = 0;
  if (c.p0 != state.pen) flags |= kStepMoveTo;
  if (fill0 != state.fill0) flags |= kStepFill0;
  if (fill1 != state.fill1) flags |= kStepFill1;
  if (line != state.line) flags |= kStepLine;
  if (flags) {
    WriteBits(0, 1);
    WriteBits(flags, kStepFlagBits);
    if (flags & kStepMoveTo) {
      const int32_t xy[2] = {c.p0.x, c.p0.y};
      WriteSignedGroup(xy, 2, false);
      state.pen = c.p0;
    }
    if (flags & kStepFill0) WriteBits(static_cast<uint32_t>(fill0), state.fill_bits);
    if (flags & kStepFill1) WriteBits(static_cast<uint32_t>(fill1), state.fill_bits);
    if (flags & kStepLine) WriteBits(static_cast<uint32_t>(line), state.line_bits);
    state.fill0 = fill0;
    state.fill1 = fill1;
    state.line = line;
  }
  WriteCurveStep(state, c, 0);
}

// One edge from the pen (c.p0) in twips. A step holds deltas of at most
// 65535 twips; a longer edge is halved (a straight one at its midpoint, a
// curve by de Casteljau) until every piece fits.
void CMovieWriter::WriteCurveStep(StepState& state, const QuadCurve& c, int depth) {
  if (depth > kMaxStepSplitDepth) throw CNotSupportedException();
  const Point32 pen = state.pen;
  const bool straight = CurveIsNearlyStraight(c, kStraightTolerance);
  // Straight: the delta to the end. Curved: the control point from the pen,
  // the end from the control point.
  int64_t d[4] = {};
  int count = 2;
  if (straight) {
    d[0] = int64_t{c.p2.x} - pen.x;
    d[1] = int64_t{c.p2.y} - pen.y;
  } else {
    d[0] = int64_t{c.control.x} - pen.x;
    d[1] = int64_t{c.control.y} - pen.y;
    d[2] = int64_t{c.p2.x} - c.control.x;
    d[3] = int64_t{c.p2.y} - c.control.y;
    count = 4;
  }
  int64_t largest = 0;
  for (int i = 0; i < count; ++i) largest = std::max(largest, Abs64(d[i]));

  if (largest > kStepDeltaLimit) {
    QuadCurve first, second;
    if (straight) {
      const Point32 mid = {static_cast<int32_t>((int64_t{pen.x} + c.p2.x) >> 1),
                           static_cast<int32_t>((int64_t{pen.y} + c.p2.y) >> 1)};
      CurveFromLine(pen, mid, first);
      CurveFromLine(mid, c.p2, second);
    } else {
      CurveSplitHalf(c, first, second);
    }
    WriteCurveStep(state, first, depth + 1);
    WriteCurveStep(state, second, depth + 1);
    return;
  }
  if (largest == 0) return;

  const int n = NumBits(static_cast<uint32_t>(largest));
  WriteBits(1, 1);  // an edge
  WriteBits(straight, 1);
  WriteBits(static_cast<uint32_t>(n - 1), kStepDeltaWidthBits);
  if (!straight) {
    for (int64_t v : d) WriteBits(static_cast<uint32_t>(v), n + 1);
  } else if (d[0] != 0 && d[1] != 0) {
    WriteBits(1, 1);  // general
    WriteBits(static_cast<uint32_t>(d[0]), n + 1);
    WriteBits(static_cast<uint32_t>(d[1]), n + 1);
  } else {
    WriteBits(0, 1);
    WriteBits(d[0] == 0, 1);  // vertical
    WriteBits(static_cast<uint32_t>(d[0] == 0 ? d[1] : d[0]), n + 1);
  }
  state.pen = c.p2;
}
