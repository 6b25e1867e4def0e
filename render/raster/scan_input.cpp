// The front of the scan converter: paths, fill styles, line styles and
// bitmaps in document coordinates become device edges with their fill
// records. Strokes become filled outlines under the winding rule, so they
// are anti-aliased like fills.
#include <algorithm>
#include <cstdlib>
#include <new>
#include <unordered_set>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_style.h"
#include "geometry/point_list.h"
#include "render/raster/dib.h"
#include "render/raster/offscreen_bitmap.h"
#include "render/raster/scan_converter.h"

namespace {

constexpr int kMaxSplitLevel = 40;   // bounds the recursion of curve splitting
constexpr int32_t kTallCurve = 256;  // device units; taller curves are halved

Point32 Add(const Point32& a, const Point32& b) {
  return {WrapAdd(a.x, b.x), WrapAdd(a.y, b.y)};
}
Point32 Sub(const Point32& a, const Point32& b) {
  return {WrapSub(a.x, b.x), WrapSub(a.y, b.y)};
}

int32_t Sign(int64_t v) {
  return v > 0 ? 1 : v < 0 ? -1 : 0;
}

}  // namespace

void CScanConverter::InitInput() {
  inputPool.Init(sizeof(CScanEdge), 600, 1, 0x22222222, alignof(CScanEdge));
  fillPool.Init(sizeof(CSpanFill), 128, 1, 0x44444444, alignof(CSpanFill));
  MatrixSetIdentity(deviceMatrix);
  MatrixSetIdentity(deviceInverse);
  MatrixSetIdentity(matrix);
  MatrixSetIdentity(strokeMatrix);
}

CScanConverter::CScanConverter(COffscreenBitmap* bitmap, const Rect32* clipRect,
                               const Point32* origin, uint32_t highQuality)
    : CScanConverter() {
  if (origin) {
    originX = origin->x;
    originY = origin->y;
  }
  Rect32 rect;
  if (clipRect) {
    rect = *clipRect;
  } else {
    rect = {0, bitmap && bitmap->IsValid() ? bitmap->Width() : 0, 0,
            bitmap && bitmap->IsValid() ? bitmap->Height() : 0};
  }
  if (!rect.IsEmpty()) RectOffset(rect, -originX, -originY);
  phaseX = static_cast<uint32_t>(originX);
  phaseY = static_cast<uint32_t>(originY);
  smoothBitmaps = highQuality ? 1 : 0;
  ditherMode = highQuality ? 2 : 1;
  SetTarget(bitmap, &rect, highQuality);
  AllocBuckets();
  const int32_t unit = antiAlias ? 4 : 1;
  minUnit = minUnit3 = unit;
  MatrixSetScale(deviceMatrix, unit * kFixedOne, unit * kFixedOne);
  MatrixInvert(deviceMatrix, deviceInverse);
  matrix = strokeMatrix = deviceMatrix;
}

Point32 CScanConverter::ToDevice(const Point32& p) const {
  Point32 out;
  MatrixTransformPoint(matrix, p, out);
  return out;
}

void CScanConverter::SetMatrix(const Matrix2x3& objectMatrix, const Matrix2x3* widthMatrix) {
  Matrix2x3 m = objectMatrix;
  m.tx = WrapSub(m.tx, originX);
  m.ty = WrapSub(m.ty, originY);
  MatrixConcat(m, deviceMatrix, matrix);
  if (widthMatrix) {
    MatrixConcat(*widthMatrix, deviceMatrix, strokeMatrix);
  } else {
    strokeMatrix = matrix;
  }
}

// ---- Fill records ------------------------------------------------------------------

CSpanFill* CScanConverter::FindOrAddFill(const FillStyle& style) {
  if (style.colour == 0) return nullptr;
  const int32_t r = style.colour & 0xFF, g = (style.colour >> 8) & 0xFF,
                b = (style.colour >> 16) & 0xFF;
  const uint32_t patternKind = style.pattern_kind;
  // Only the two gradient kinds draw as gradients; every other kind is a
  // solid fill of the colour.
  const bool gradient =
      (style.kind == kGradientLinear || style.kind == kGradientRadial) && patternKind == 0;
  const int32_t kind = gradient ? kSpanGradient : kSpanSolid;
  const int count = std::min<int>(style.gradient.count, kRampPoints);
  const uint32_t bucket = (static_cast<uint32_t>((r + g + b) >> 3) + style.kind + patternKind +
                           objectId + static_cast<uint32_t>(clipId)) &
                          31;
  // Records enter at the head of their bucket and object ids only grow
  // within a batch, so the records of this object lead the bucket: the walk
  // ends at the first record of an earlier object.
  for (CSpanFill* f = fillHash[bucket]; f && f->id == objectId; f = f->hashNext) {
    if (f->colour != style.colour || f->patternKind != patternKind || f->clipId != clipId ||
        f->kind != kind)
      continue;
    if (gradient) {
      if (f->rampCount != count || f->gradientType != style.kind ||
          !(f->gradientMatrix == style.matrix) ||
          !std::equal(style.gradient.ratios, style.gradient.ratios + count, f->rampPos.begin()) ||
          !std::equal(style.gradient.colours, style.gradient.colours + count,
                      f->rampColour.begin()))
        continue;
    }
    return f;
  }
  void* memory = fillPool.Alloc();
  if (!memory) return nullptr;
  CSpanFill* f = new (memory) CSpanFill;
  f->Init(this);
  f->colour = style.colour;
  f->red = r;
  f->green = g;
  f->blue = b;
  f->patternKind = patternKind;
  f->id = objectId;
  f->clipId = clipId;
  f->kind = kind;
  if (gradient) {
    Matrix2x3 toPixels;
    MatrixConcat(matrix, deviceInverse, toPixels);
    f->SetGradient(static_cast<GradientKind>(style.kind), style.matrix, style.gradient.ratios,
                   style.gradient.colours, count, toPixels);
  }
  f->priority = SolidPriority(objectId, patternKind, r, g, b);
  f->hashNext = fillHash[bucket];
  fillHash[bucket] = f;
  f->listNext = fillList;
  fillList = f;
  return f;
}

bool CScanConverter::AddBitmap(const CDib& image, const Matrix2x3& imageMatrix) {
  objectId += 1;
  void* memory = fillPool.Alloc();
  if (!memory) return false;
  CSpanFill* f = new (memory) CSpanFill;
  f->Init(this);
  f->id = objectId;
  f->priority = uint64_t{objectId} << kPriorityIdShift;
  f->clipId = clipId;
  Matrix2x3 m;
  MatrixConcat(imageMatrix, matrix, m);
  f->SetBitmap(image, m, antiAlias);
  f->listNext = fillList;
  fillList = f;

  const int32_t w = image.Width(), h = image.Height();
  Point32 corners[4];
  const Point32 local[4] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
  for (int i = 0; i < 4; ++i) MatrixTransformPoint(m, local[i], corners[i]);
  fillA = f;
  fillB = nullptr;
  edgeKind = kEdgeToggleOneFill;
  pen = corners[3];
  for (int i = 0; i < 4; ++i) {
    AddLine(pen, corners[i]);
    pen = corners[i];
  }
  active = 0;
  objectId += 1;
  return true;
}

void CScanConverter::PrepareFills() {
  for (CSpanFill* f = fillList; f; f = f->listNext) f->Prepare();
}

void CScanConverter::Render() {
  PrepareFills();
  AllocBuckets();
  AddEdgeList(inputHead);
  RenderAll();
}

void CScanConverter::ResetInput() {
  for (CScanEdge* e = inputHead; e;) {
    CScanEdge* next = e->next;
    inputPool.Free(e);
    e = next;
  }
  inputHead = nullptr;
  for (CSpanFill* f = fillList; f;) {
    CSpanFill* next = f->listNext;
    f->Free();
    fillPool.Free(f);
    f = next;
  }
  fillList = nullptr;
  std::fill(std::begin(fillHash), std::end(fillHash), nullptr);
  fillA = fillB = nullptr;
  active = 0;
  strokeMode = 0;
  // A new batch: priorities start again, so they never wrap within one.
  objectId = 0;
  AllocBuckets();
}

// ---- Outlines ------------------------------------------------------------------------

bool CScanConverter::BeginFill(const FillStyle* styleA, const FillStyle* styleB,
                               const Point32& start, FillRule rule) {
  edgeKind = EdgeKindOf(rule);
  fillA = styleA ? FindOrAddFill(*styleA) : nullptr;
  fillB = styleB ? FindOrAddFill(*styleB) : nullptr;
  if (rule != FillRule::kTwoSided) {
    fillB = nullptr;
    active = fillA != nullptr;
  } else if (fillA == fillB) {
    active = 0;  // the same fill on both sides: no boundary
  } else {
    if (!fillA) {
      fillA = fillB;
      fillB = nullptr;
    }
    if (!fillB) edgeKind = kEdgeToggleOneFill;
    active = 1;
  }
  pen = ToDevice(start);
  return active != 0;
}

void CScanConverter::MoveTo(const Point32& p) {
  pen = ToDevice(p);
}

void CScanConverter::FillLineTo(const Point32& p) {
  const Point32 q = ToDevice(p);
  if (active) AddLine(pen, q);
  pen = q;
}

void CScanConverter::FillCurveTo(const Point32& control, const Point32& p) {
  const Point32 q = ToDevice(p);
  if (active) {
    QuadCurve c;
    CurveSet(pen, ToDevice(control), q, c);
    AddCurve(c);
  }
  pen = q;
}

namespace {

// Feeds each piece of a path to lineTo(end) or curveTo(control, end).
template <typename LineTo, typename CurveTo>
void WalkPathCurves(const PointList& path, LineTo lineTo, CurveTo curveTo) {
  PointListIter it;
  PointListIterInit(path, it);
  QuadCurve c;
  while (PointListIterNext(it, c)) {
    if (c.straight) {
      lineTo(c.p2);
    } else {
      curveTo(c.control, c.p2);
    }
  }
}

}  // namespace

void CScanConverter::AddPath(const PointList& path, const LineStyle* line, const FillStyle* fill,
                             FillRule rule) {
  if (path.length < 2) return;
  const Point32 first = path.buffer[0].point();
  if (fill) {
    objectId += 1;
    if (BeginFill(fill, nullptr, first, rule)) {
      WalkPathCurves(
          path, [this](const Point32& p) { FillLineTo(p); },
          [this](const Point32& c, const Point32& p) { FillCurveTo(c, p); });
      FillLineTo(first);
    }
    active = 0;
  }
  if (line) {
    objectId += 1;
    if (BeginStroke(line, first)) {
      WalkPathCurves(
          path, [this](const Point32& p) { StrokeLineTo(p); },
          [this](const Point32& c, const Point32& p) { StrokeCurveTo(c, p); });
      EndStroke();
    }
  }
}

void CScanConverter::AddLine(const Point32& p0, const Point32& p1) {
  QuadCurve c;
  CurveFromLine(p0, p1, c);
  AddCurve(c);
}

void CScanConverter::AddCurve(const QuadCurve& curve) {
  AddCurveAt(curve, 0);
}

void CScanConverter::AddCurveAt(QuadCurve c, int level) {
  // Hull bounds (the control point too unless straight).
  Rect32 hull = {std::min(c.p0.x, c.p2.x), std::max(c.p0.x, c.p2.x), std::min(c.p0.y, c.p2.y),
                 std::max(c.p0.y, c.p2.y)};
  if (!c.straight) {
    hull.xmin = std::min(hull.xmin, c.control.x);
    hull.xmax = std::max(hull.xmax, c.control.x);
    hull.ymin = std::min(hull.ymin, c.control.y);
    hull.ymax = std::max(hull.ymax, c.control.y);
  }
  if (hull.ymax < yMin || hull.ymin > yMax) return;
  int8_t direction = 1;
  if (c.p2.y < c.p0.y) {
    std::swap(c.p0, c.p2);
    direction = -1;
  }
  if (!c.straight) {
    if (hull.xmax < xMin || hull.xmin > xMax) {
      CurveFromLine(c.p0, c.p2, c);  // only its crossing matters there
    } else {
      const int32_t y0 = c.p0.y, cy = c.control.y, y1 = c.p2.y;
      if (cy < y0 || cy > y1) {
        const int32_t nearer = cy < y0 ? y0 : y1;
        if (std::abs(int64_t{cy} - nearer) <= 2 || level >= kMaxSplitLevel) {
          c.control.y = nearer;
        } else {
          // Split at the extremum in y; both halves are monotone.
          const Fixed t = FixedDiv(WrapSub(y0, cy), WrapAdd(WrapSub(y0, 2 * cy), y1));
          QuadCurve a, b;
          CurveSplit(c, t, a, b);
          if (direction < 0) {
            CurveReverse(a, a);
            CurveReverse(b, b);
          }
          AddCurveAt(a, level + 1);
          AddCurveAt(b, level + 1);
          return;
        }
      }
      if (int64_t{c.p2.y} - c.p0.y > kTallCurve && level < kMaxSplitLevel) {
        QuadCurve a, b;
        CurveSplitHalf(c, a, b);
        if (direction < 0) {
          CurveReverse(a, a);
          CurveReverse(b, b);
        }
        AddCurveAt(a, level + 1);
        AddCurveAt(b, level + 1);
        return;
      }
    }
  }
  if (c.p0.y == c.p2.y) return;
  void* memory = inputPool.Alloc();
  if (!memory) return;
  CScanEdge* e = new (memory) CScanEdge;
  e->curve = c;
  e->direction = direction;
  e->kind = edgeKind;
  e->fillA = fillA;
  e->fillB = fillB;
  e->next = inputHead;
  inputHead = e;
}

// ---- Edge graphs -----------------------------------------------------------------------

namespace {

// Graph units (twips * 256) to twips, which the matrix takes.
Point32 GraphToTwips(const Point32& p) {
  Point32 out;
  PointShift(p, ShiftRight(8), out);
  return out;
}

}  // namespace

void CScanConverter::AddEdgeGraph(const EdgeGraph& graph) {
  auto feed = [&](const QuadCurve& c) {
    const Point32 end = GraphToTwips(c.p2);
    if (c.straight) {
      FillLineTo(end);
    } else {
      FillCurveTo(GraphToTwips(c.control), end);
    }
  };
  // A style index that names an entry (not none, not a reserved tag).
  auto real = [](StyleIndex s) { return StyleIndexOf(s) != 0 && !StyleIsTag(s); };

  // Fills: each edge toggles the fills of both its sides.
  objectId += 1;
  EdgeGraphForEachEdge(graph, nullptr, [&](const Edge* e) {
    FillStyle sideA, sideB;
    const bool haveA = real(e->a.fill), haveB = real(e->b.fill);
    if (haveA) EdgeGraphGetFillStyle(graph, e->a.fill, sideA);
    if (haveB) EdgeGraphGetFillStyle(graph, e->b.fill, sideB);
    if (BeginFill(haveA ? &sideA : nullptr, haveB ? &sideB : nullptr, GraphToTwips(e->curve.p0),
                  FillRule::kTwoSided))
      feed(e->curve);
  });
  active = 0;

  // Lines, grouped by style so that each style is one object above the
  // fills; edges of one style are chained through their vertices, so that
  // the chains get joins and their two ends caps.
  try {
    AddEdgeGraphLines(graph);
  } catch (const std::bad_alloc&) {
    // Without memory for the chain lists the rest of the lines are left out.
    if (strokeMode) EndStroke();
  }
  strokeMode = 0;
}

void CScanConverter::AddEdgeGraphLines(const EdgeGraph& graph) {
  std::vector<const Edge*> lined;
  EdgeGraphForEachEdge(graph, nullptr, [&](const Edge* e) {
    if (StyleIndexOf(e->line) != 0 && !StyleIsTag(e->line)) lined.push_back(e);
  });
  std::unordered_set<const Edge*> drawn;
  drawn.reserve(lined.size());
  std::stable_sort(lined.begin(), lined.end(), [](const Edge* x, const Edge* y) {
    return StyleIndexOf(x->line) < StyleIndexOf(y->line);
  });
  StyleIndex previous = 0;
  for (const Edge* first : lined) {
    if (drawn.count(first)) continue;
    const StyleIndex index = StyleIndexOf(first->line);
    LineStyle style;
    EdgeGraphGetLineStyle(graph, first->line, style);
    if (index != previous) {
      objectId += 1;
      previous = index;
    }
    if (style.kind != 0 || !BeginStroke(&style, GraphToTwips(first->curve.p0))) {
      drawn.insert(first);
      continue;
    }
    const HalfEdge* h = &first->a;
    while (h) {
      drawn.insert(h->edge);
      QuadCurve c;
      EdgeGetCurve(h, c);
      if (c.straight) {
        StrokeLineTo(GraphToTwips(c.p2));
      } else {
        StrokeCurveTo(GraphToTwips(c.control), GraphToTwips(c.p2));
      }
      // On from the far end along an edge of the same style not drawn yet.
      const Vertex* v = HalfEdgeTwin(h)->vertex;
      h = nullptr;
      for (const HalfEdge* n = v ? v->ring : nullptr; n; n = n->ring_next) {
        if (StyleIndexOf(n->edge->line) == index && !drawn.count(n->edge)) {
          h = n;
          break;
        }
      }
    }
    EndStroke();
  }
}

// ---- Strokes -------------------------------------------------------------------------

bool CScanConverter::BeginStroke(const LineStyle* line, const Point32& start) {
  strokeMode = 0;
  haveSegment = 0;
  active = 0;
  if (!line) return false;
  int32_t width = MatrixScaleLength(strokeMatrix, line->width);
  width = std::max(width, line->pattern_kind == 3 ? 3 * minUnit3 : minUnit);
  FillStyle fill;
  fill.colour = line->colour;
  fill.pattern_kind = line->pattern_kind;
  CSpanFill* f = FindOrAddFill(fill);
  if (!f) return false;
  fillA = f;
  fillB = nullptr;
  edgeKind = kEdgeAddWinding;
  strokeWidth = width;
  strokeMode = width > 3 ? 2 : 1;
  depth = 0;
  pen = ToDevice(start);
  return true;
}

// Joins a segment to the one before (or remembers it as the first) and
// keeps its end corners: plus side at the left of travel, minus at the right.
void CScanConverter::AddSegmentCorners(const Point32& plus0, const Point32& p0,
                                       const Point32& minus0, const Point32& plus1,
                                       const Point32& p1, const Point32& minus1, bool round) {
  if (haveSegment) {
    if (round) {
      AddRoundJoin(plus0, lastPlus, lastEnd);
      AddRoundJoin(lastMinus, minus0, lastEnd);
    } else {
      AddLine(plus0, lastPlus);
      AddLine(lastMinus, minus0);
    }
  } else {
    firstPlus = plus0;
    firstStart = p0;
    firstMinus = minus0;
    haveSegment = 1;
  }
  lastPlus = plus1;
  lastEnd = p1;
  lastMinus = minus1;
}

void CScanConverter::AddWideCurve(const QuadCurve& c) {
  if (!c.straight && depth < 5 && CurveIsTightBend(c)) {
    QuadCurve a, b;
    CurveSplitHalf(c, a, b);
    ++depth;
    AddWideCurve(a);
    AddWideCurve(b);
    --depth;
    return;
  }
  const Point32 p0 = c.p0, p1 = c.p2;
  const Point32 ctl = c.straight ? p1 : c.control;
  Point32 t0 = ctl == p0 ? Sub(p1, p0) : Sub(ctl, p0);
  Point32 t1 = c.straight ? t0 : (ctl == p1 ? Sub(p1, p0) : Sub(p1, ctl));
  Point32 n0 = {t0.y, WrapNeg(t0.x)};
  Point32 n1 = {t1.y, WrapNeg(t1.x)};
  const int32_t half = strokeWidth / 2;
  VectorSetLength(n0, half);
  VectorSetLength(n1, half);
  const Point32 a0 = Add(p0, n0), a1 = Add(p1, n1);
  const Point32 b0 = Sub(p0, n0), b1 = Sub(p1, n1);
  if (c.straight) {
    AddLine(a1, a0);
    AddLine(b0, b1);
  } else {
    QuadCurve plus, minus;
    CurveMoveEnds(c, a0, a1, plus);
    CurveReverse(plus, plus);
    CurveMoveEnds(c, b0, b1, minus);
    AddCurve(plus);
    AddCurve(minus);
  }
  AddSegmentCorners(a0, p0, b0, a1, p1, b1, true);
}

void CScanConverter::AddRoundJoin(const Point32& from, const Point32& to, const Point32& centre) {
  if (PointDistanceFast(from, to) > 3) {
    // Angles in 1/16 degree; the arc runs from `from` down to `to`.
    int32_t af = PointAngle(from, &centre) >> 12;
    const int32_t at = PointAngle(to, &centre) >> 12;
    while (af < at) af += 5760;
    const int32_t sweep = af - at;
    if (sweep > 16 && sweep <= 2880) {
      const int32_t radius = strokeWidth / 2;
      int32_t n = FixedMul(71, static_cast<int32_t>(static_cast<uint32_t>(radius) *
                                                    static_cast<uint32_t>(sweep))) /
                  3;
      if (n > 1) {
        n = std::min(n, 16);
        Point32 prev = from;
        for (int32_t k = 1; k < n; ++k) {
          const int32_t angle = af - k * sweep / n;
          Point32 q;
          PointFromAngle(radius, static_cast<Fixed>(angle) << 12, &centre, q);
          AddLine(prev, q);
          prev = q;
        }
        AddLine(prev, to);
        return;
      }
    }
  }
  AddLine(from, to);
}

void CScanConverter::AddThinSegment(const QuadCurve& c, int level) {
  const Point32 p0 = c.p0, p1 = c.p2;
  if (!c.straight && CurveDeviation(c) > 2 && level < kMaxSplitLevel) {
    const Point32 ctl = c.control;
    auto majorX = [](const Point32& a, const Point32& b) {
      return std::abs(int64_t{b.x} - a.x) >= std::abs(int64_t{b.y} - a.y);
    };
    const bool sameAxis = majorX(p0, ctl) == majorX(ctl, p1);
    auto between = [](int32_t v, int32_t a, int32_t b) {
      return (v >= a && v <= b) || (v >= b && v <= a);
    };
    const bool monotone = between(ctl.x, p0.x, p1.x) && between(ctl.y, p0.y, p1.y);
    if (!(sameAxis && monotone)) {
      QuadCurve a, b;
      CurveSplitHalf(c, a, b);
      AddThinSegment(a, level + 1);
      AddThinSegment(b, level + 1);
      return;
    }
  }
  // The band between two copies shifted by whole units across the major
  // axis of the chord (of the first leg when the chord is a point).
  int64_t dx = int64_t{p1.x} - p0.x, dy = int64_t{p1.y} - p0.y;
  if (dx == 0 && dy == 0) {
    dx = int64_t{c.control.x} - p0.x;
    dy = int64_t{c.control.y} - p0.y;
  }
  const bool shiftY = std::abs(dx) >= std::abs(dy);
  int32_t h = Sign(shiftY ? dx : dy);
  if (h == 0) h = 1;
  int32_t lo, hi;  // the two offsets
  switch (strokeWidth) {
    case 1:
      lo = 0;
      hi = 1;
      break;
    case 2:
      lo = -h;
      hi = h;
      break;
    default:
      lo = -2 * h;
      hi = h;
      break;
  }
  if (lo > hi) std::swap(lo, hi);
  // Left of travel: up (-y) when moving right, right (+x) when moving down.
  const int32_t plusOff = shiftY ? (h > 0 ? lo : hi) : (h > 0 ? hi : lo);
  const int32_t minusOff = plusOff == lo ? hi : lo;
  auto shift = [&](const Point32& p, int32_t off) {
    return shiftY ? Point32{p.x, WrapAdd(p.y, off)} : Point32{WrapAdd(p.x, off), p.y};
  };
  QuadCurve plus = c, minus = c;
  for (QuadCurve* q : {&plus, &minus}) {
    const int32_t off = q == &plus ? plusOff : minusOff;
    q->p0 = shift(c.p0, off);
    q->control = shift(c.control, off);
    q->p2 = shift(c.p2, off);
  }
  CurveReverse(plus, plus);
  AddCurve(plus);
  AddCurve(minus);
  AddSegmentCorners(shift(p0, plusOff), p0, shift(p0, minusOff), shift(p1, plusOff), p1,
                    shift(p1, minusOff), false);
}

void CScanConverter::StrokeLineTo(const Point32& p) {
  const Point32 q = ToDevice(p);
  if (strokeMode == 0 || q == pen) {
    pen = q;
    return;
  }
  Point32 a = pen, b = q;
  if (strokeMode == 1) {
    QuadCurve c;
    CurveFromLine(a, b, c);
    AddThinSegment(c, 0);
  } else {
    if (antiAlias) {
      // Axis-aligned lines on the pixel grid: odd pixel widths centred in a
      // pixel, two pixels on a pixel boundary.
      auto snap = [&](int32_t v) {
        if (strokeWidth == 4 || strokeWidth == 12) return (v & ~3) + 2;
        return (v + 2) & ~3;
      };
      if (strokeWidth == 4 || strokeWidth == 12 || strokeWidth == 8) {
        if (a.x == b.x && std::abs(int64_t{b.y} - a.y) > 12) {
          a.x = b.x = snap(a.x);
        } else if (a.y == b.y && std::abs(int64_t{b.x} - a.x) >= 13) {
          a.y = b.y = snap(a.y);
        }
      }
    }
    QuadCurve c;
    CurveFromLine(a, b, c);
    AddWideCurve(c);
  }
  pen = q;
}

void CScanConverter::StrokeCurveTo(const Point32& control, const Point32& p) {
  const Point32 ctl = ToDevice(control), q = ToDevice(p);
  if (strokeMode == 0 || (pen == ctl && ctl == q)) {
    pen = q;
    return;
  }
  QuadCurve c;
  CurveSet(pen, ctl, q, c);
  if (strokeMode == 1) {
    AddThinSegment(c, 0);
  } else {
    AddWideCurve(c);
  }
  pen = q;
}

void CScanConverter::EndStroke() {
  if (strokeMode == 0) return;
  const bool wide = strokeMode == 2;
  if (haveSegment) {
    if (lastEnd == firstStart) {
      if (wide) {
        AddRoundJoin(firstPlus, lastPlus, lastEnd);
        AddRoundJoin(lastMinus, firstMinus, lastEnd);
      } else {
        AddLine(firstPlus, lastPlus);
        AddLine(lastMinus, firstMinus);
      }
    } else if (wide) {
      AddRoundJoin(firstPlus, firstMinus, firstStart);
      AddRoundJoin(lastMinus, lastPlus, lastEnd);
    } else {
      AddLine(firstPlus, firstMinus);
      AddLine(lastMinus, lastPlus);
    }
  } else if (wide) {
    // A dot: a disc of the stroke's width.
    const int32_t r = strokeWidth / 2;
    const Point32 top = {pen.x, WrapSub(pen.y, r)}, bottom = {pen.x, WrapAdd(pen.y, r)};
    AddRoundJoin(top, bottom, pen);
    AddRoundJoin(bottom, top, pen);
  } else {
    const int32_t x0 = WrapSub(pen.x, strokeWidth / 2), x1 = WrapAdd(x0, strokeWidth);
    const int32_t y0 = WrapSub(pen.y, strokeWidth / 2), y1 = WrapAdd(y0, strokeWidth);
    AddLine({x0, y1}, {x0, y0});
    AddLine({x1, y0}, {x1, y1});
  }
  haveSegment = 0;
}
