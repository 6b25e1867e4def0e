// Styled strokes and non-solid fills for devices that cannot draw them
// themselves: dashes, dots, chalk, blobs and strokes across; scribbled,
// wavy, cross-hatched and blob textures; gradients as bands, rings or band
// regions. All randomness is seeded by positions, so a repaint (whole or
// partial) draws the same pixels.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_region.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "render/context/graph_walk.h"
#include "render/context/render_context.h"
#include "render/context/stroke_tools.h"
#include "render/raster/scan_converter.h"

namespace {

int32_t Clamp(int32_t lo, int32_t v, int32_t hi) {
  return std::clamp(v, lo, hi);
}

Point32 Mid(const Point32& a, const Point32& b) {
  return {static_cast<int32_t>((int64_t{a.x} + b.x) / 2),
          static_cast<int32_t>((int64_t{a.y} + b.y) / 2)};
}

// The rectangle grown (or shrunk, d < 0) on every side.
Rect32 Grown(const Rect32& r, int32_t d) {
  Rect32 out = r;
  RectInset(out, -d);
  return out;
}

// A solid fill of a colour with a pattern kind.
FillStyle SolidFill(uint32_t colour, uint16_t patternKind) {
  FillStyle f;
  f.colour = colour;
  f.pattern_kind = patternKind;
  return f;
}

Matrix2x3 Placement(const Point32& at, Fixed scale) {
  Matrix2x3 m;
  MatrixSetScale(m, scale, scale);
  m.tx = at.x;
  m.ty = at.y;
  return m;
}

// The distance of whole steps left on the walker's curve when the curve
// lies outside the clip (0 when it meets the clip): passing them at once
// keeps the pattern's phase and spares walking far outside the repaint.
int64_t WholeStepsOutside(const CPathWalker& walker, const Rect32& clip, int64_t step) {
  Rect32 hull;
  CurveGetHullBounds(walker.Current(), hull);
  if (RectsOverlap(hull, clip) || step <= 0) return 0;
  const int64_t length = CurveLength(walker.Current());
  return length / step * step;
}

// ---- line kinds ----------------------------------------------------------------------

void DrawDashes(CRenderContext& rc, const PointList& path, const LineStyle& line) {
  const int32_t on = line.params[0], off = line.params[1];
  // Both lengths come from files: one at or below 0 would stall the walk.
  if (on <= 0 || off <= 0) return;
  CStrokeBatcher batcher(rc, line);
  CPathWalker walker(path);
  const Rect32 clip = Grown(rc.m_docClip, std::max<int32_t>(line.width, 0));
  const int64_t period = int64_t{on} + off;
  while (!walker.Ended()) {
    if (const int64_t skip = WholeStepsOutside(walker, clip, period); skip > 0) {
      walker.Advance(static_cast<int32_t>(skip));
      continue;
    }
    walker.Advance(on, [&](const QuadCurve& c) { batcher.Add(c); });
    walker.Advance(off);
  }
}

void DrawDots(CRenderContext& rc, const PointList& path, const LineStyle& line) {
  const int32_t r = Clamp(5, line.width / 2, 200);
  const int32_t spacing = Clamp(5, line.params[0] + 2 * r, 400);
  PointList circle;
  if (PathFromEllipse(circle, {-r, r, -r, r}) < 0) return;
  CStampFiller stamps(rc, SolidFill(line.colour, line.pattern_kind));
  const Rect32 clip = Grown(rc.m_docClip, r);
  CPathWalker walker(path);
  while (!walker.Ended()) {
    if (const int64_t skip = WholeStepsOutside(walker, clip, spacing); skip > 0) {
      walker.Advance(static_cast<int32_t>(skip));
      continue;
    }
    const Point32 at = walker.Position();
    if (RectContainsPoint(clip, at)) stamps.Stamp(circle, Placement(at, kFixedOne));
    if (walker.Advance(spacing) < spacing) break;
  }
}

// Chalk: runs and gaps by a pattern row of words used cyclically.
constexpr uint32_t kChalkRows[7][5] = {
    {0x70000000, 0},
    {0x63440000, 0},
    {0x66440000, 0},
    {0x63310000, 0x10310000, 0x00447200, 0},
    {0x66310000, 0x10310000, 0x00447200, 0},
    {0x63320000, 0x10227100, 0x10227100, 0x10327100, 0},
    {0x66320000, 0x10227100, 0x27227200, 0x10327100, 0},
};
constexpr int32_t kChalkLengths[8] = {0, 1, 4, 6, 16, 32, 64, 8000};

void DrawChalk(CRenderContext& rc, const PointList& path, const LineStyle& line) {
  const int32_t c = Clamp(20, line.width, 200);
  static constexpr int32_t kStepFactor[4] = {1, 2, 4, 6};
  static constexpr int32_t kJitterFactor[4] = {0, 1, 2, 4};
  const int32_t stepLimit = kStepFactor[Clamp(0, line.params[2], 3)] * c;
  const int32_t jitter =
      std::min(stepLimit * 3 / 4, kJitterFactor[Clamp(0, line.params[1], 3)] * c / 2);
  const uint32_t* row = kChalkRows[Clamp(0, line.params[0], 6)];
  Random16 random;
  RandomSeedFromPoint(random, path.buffer[0].Point());
  CStrokeBatcher batcher(rc, line);
  CPathWalker walker(path);
  int word = 0;
  int32_t carriedGap = 0;
  int idleWords = 0;
  while (!walker.Ended()) {
    const uint32_t w = row[word];
    word = row[word + 1] ? word + 1 : 0;
    const int runCode = (w >> 28) & 7, runVar = (w >> 24) & 7, gapCode = (w >> 20) & 7,
              gapVar = (w >> 16) & 7, widthCode = (w >> 12) & 7, skipCode = (w >> 8) & 7;
    if (skipCode != 0 && RandomBelow(random, 128) < skipCode * 16) {
      if (++idleWords > 64) break;
      continue;
    }
    int32_t run = runCode <= 1 ? 5 * kChalkLengths[runCode] : kChalkLengths[runCode] * c / 4;
    run += RandomBelow(random, runVar * run / 8 + 1);
    int32_t gap = kChalkLengths[gapCode] * c / 4;
    gap += RandomBelow(random, gapVar * gap / 8 + 1);
    if (run <= 0) {
      carriedGap += gap;
      if (++idleWords > 64) break;  // a row of nothing but gaps of 0
      continue;
    }
    idleWords = 0;
    if (carriedGap != 0) {
      batcher.Flush();
      walker.Advance(std::min(carriedGap, 5) + std::max<int32_t>(line.width, 0));
    }
    carriedGap = gap;
    batcher.SetWidth(widthCode ? static_cast<int16_t>(line.width * widthCode / 8) : line.width);
    // The run in steps of at most the step limit, each a quadratic curve
    // through its jittered midpoint.
    int32_t left = run;
    while (left > 0 && !walker.Ended()) {
      const int32_t step = std::min(left, stepLimit);
      const Point32 a = walker.Position();
      Point32 b = a;
      const int32_t got = walker.Advance(step, [&](const QuadCurve& q) { b = q.p2; });
      if (got <= 0) break;
      Point32 m = Mid(a, b);
      if (got > 19) {
        const int32_t j = left - got < stepLimit ? got * 3 / 4 : jitter;
        RandomJitterPoint(random, m, j);
      }
      QuadCurve q;
      CurveSet(a, m, b, q);
      batcher.Add(q);
      left -= got;
    }
  }
}

void DrawBlobs(CRenderContext& rc, const PointList& path, const LineStyle& line) {
  const int32_t c = Clamp(10, line.width / 2, 200);
  const int32_t m = std::max(c, 40);
  const int32_t size = Clamp(13, (m - 13) * line.params[0] / 3 + 13, m);
  const int32_t sizeJitter = Clamp(0, line.params[1] * size / 4, c);
  const int32_t step = Clamp(10, (line.params[2] * 60 + 60) / 4, 80);
  const int32_t spread = Clamp(10, c, 200);
  Random16 random;
  RandomSeedFromPoint(random, path.buffer[0].Point());
  PointList blobs[4];
  for (PointList& b : blobs)
    if (RoughEllipse(b, random, 1024, 4, 256) < 0) return;
  CStampFiller stamps(rc, SolidFill(line.colour, line.pattern_kind));
  CPathWalker walker(path);
  for (int count = 0; !walker.Ended(); ++count) {
    const int32_t sum = size + RandomFixed(random, sizeJitter * 2);
    Point32 at = walker.Position();
    RandomJitterPoint(random, at, spread);
    // A blob that can touch the clip is drawn (one that must lie wholly
    // inside would vanish at the edges of a partial repaint).
    if (sum > 4 && RectContainsPoint(Grown(rc.m_docClip, sum), at))
      stamps.Stamp(blobs[count % 4], Placement(at, sum << 6));
    if (walker.Advance(step) < step) break;
  }
}

void DrawStrokesAcross(CRenderContext& rc, const PointList& path, const LineStyle& line) {
  const int32_t c = Clamp(10, line.width / 2, 200);
  const int16_t width = static_cast<int16_t>(Clamp(1, c * line.params[0] / 8, 80));
  static constexpr int32_t kSteps[4] = {20, 30, 40, 80};
  static constexpr int32_t kAngles[4] = {0, 20, 60, 180};
  const int32_t step = kSteps[Clamp(0, line.params[1], 3)];
  const Fixed angleJitter = kAngles[Clamp(0, line.params[2], 3)] << 16;
  const int32_t positionJitter = Clamp(0, c * line.params[3] / 5, c);
  const int32_t bend = Clamp(0, c * line.params[4] / 3, c);
  const int32_t lengthJitter = Clamp(0, c * line.params[5] / 3, c);
  Random16 random;
  RandomSeedFromPoint(random, path.buffer[0].Point());
  LineStyle across = line;
  across.width = width;
  CPathWalker walker(path);
  while (!walker.Ended()) {
    const QuadCurve& seg = walker.Current();
    Point32 centre = walker.Position();
    // The tangent where the walker stands; near the segment's end, the end's.
    const int32_t toEnd = PointDistance(centre, seg.p2);
    const Fixed t = toEnd < 20 && toEnd * 2 < CurveLength(seg) ? kFixedOne : 0;
    Fixed angle = CurveTangentAngle(seg, t);
    angle += RandomFixed(random, angleJitter) + (90 << 16);
    const int32_t half = c + RandomBelow(random, lengthJitter + 1);
    RandomJitterPoint(random, centre, positionJitter);
    Point32 v;
    PointFromAngle(half, angle, nullptr, v);
    const Point32 a = {centre.x - v.x, centre.y - v.y}, b = {centre.x + v.x, centre.y + v.y};
    QuadCurve q;
    if (bend == 0) {
      CurveFromLine(a, b, q);
    } else {
      Point32 middle = centre;
      RandomJitterPoint(random, middle, bend);
      CurveSet(a, middle, b, q);
    }
    {
      CStrokeBatcher batcher(rc, across);
      batcher.Add(q);
    }
    if (walker.Advance(step) < step) break;
  }
}

}  // namespace

// ---- strokes -----------------------------------------------------------------------

void CRenderContext::StrokePath(const PointList& path, const LineStyle& line) {
  if (path.length < 2) return;
  const bool plainHighlight =
      line.pattern_kind == 3 && line.kind >= 2 && line.kind <= 5 && line.kind != 3;
  if (line.kind == 0 || line.kind > 5) {
    FillPolygon(path, &line, nullptr);
    return;
  }
  if (plainHighlight) {
    LineStyle plain = line;
    plain.kind = 0;
    DrawPath(path, &plain, nullptr);
    return;
  }
  // Under an object's matrix the geometry is transformed here, so widths and
  // jitters stay in the units of the base matrix.
  CRenderState saved;
  PointList moved;
  const PointList* drawn = &path;
  const bool objectMatrix = m_objectMatrixSet != 0;
  if (objectMatrix) {
    SaveState(saved);
    if (PointListCopy(path, moved) < 0) return;
    PointListTransform(moved, m_objectMatrix);
    drawn = &moved;
    m_objectMatrixSet = 0;
    MatrixSetIdentity(m_objectMatrix);
    m_matrix = m_baseMatrix;
    UpdateMatrix();
  }
  switch (line.kind) {
    case 1:
      DrawDashes(*this, *drawn, line);
      break;
    case 2:
      DrawDots(*this, *drawn, line);
      break;
    case 3:
      DrawChalk(*this, *drawn, line);
      break;
    case 4:
      DrawBlobs(*this, *drawn, line);
      break;
    default:
      DrawStrokesAcross(*this, *drawn, line);
      break;
  }
  if (objectMatrix) RestoreState(saved);
}
