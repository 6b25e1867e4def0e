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

__attribute__((always_inline)) inline Point32 CScanConverter::ToDevice(const Point32& p) const {
  // MatrixTransformPoint, inline: every point of the input comes here.
  // Products round as FixedMul rounds them; sums wrap.
  auto mul = [](int32_t a, int32_t b) {
    const int64_t product = int64_t{a} * b;
    return static_cast<int32_t>(static_cast<uint32_t>((product >> 16) + ((product >> 15) & 1)));
  };
  const Matrix2x3& m = matrix;
  int32_t x = mul(m.a, p.x);
  if (m.c != 0) x = WrapAdd(x, mul(m.c, p.y));
  int32_t y = mul(m.d, p.y);
  if (m.b != 0) y = WrapAdd(y, mul(m.b, p.x));
  return {WrapAdd(x, m.tx), WrapAdd(y, m.ty)};
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
  // The curve is made in place for AddCurveAt (not by CurveSet's stores).
  if (active) AddCurveAt({pen, ToDevice(control), q, 0}, 0);
  pen = q;
}

namespace {

// Feeds each piece of a path to lineTo(end) or curveTo(control, end), the
// pieces PointListIterNext yields, read straight from the entries: two
// on-curve points make a line, a control point a curve to the next on-curve
// point or to the midpoint of the next control point.
template <typename LineTo, typename CurveTo>
void WalkPathCurves(const PointList& path, LineTo lineTo, CurveTo curveTo) {
  const PointListEntry* entries = path.buffer;
  const int32_t length = path.length;
  for (int32_t i = 0; i + 1 < length; ++i) {
    const PointListEntry& q = entries[i + 1];
    if (q.off_curve == 0) {
      if (entries[i].off_curve == 0) lineTo(q.Point());
      continue;  // after a control point: the end of its curve
    }
    if (i + 2 >= length) return;  // a control point without an end
    const PointListEntry& r = entries[i + 2];
    if (r.off_curve == 0) {
      curveTo(q.Point(), r.Point());
    } else {
      curveTo(q.Point(), {static_cast<int32_t>((int64_t{q.x} + r.x) >> 1),
                          static_cast<int32_t>((int64_t{q.y} + r.y) >> 1)});
    }
  }
}

}  // namespace

void CScanConverter::AddPath(const PointList& path, const LineStyle* line, const FillStyle* fill,
                             FillRule rule) {
  if (path.length < 2) return;
  const Point32 first = path.buffer[0].Point();
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
  m_stroke.Begin(width, antiAlias != 0);
  strokeMode = m_stroke.Wide() ? 2 : 1;
  pen = ToDevice(start);
  return true;
}

void CScanConverter::StrokeLineTo(const Point32& p) {
  const Point32 q = ToDevice(p);
  if (strokeMode != 0 && q != pen) {
    QuadCurve c;
    CurveFromLine(pen, q, c);
    m_stroke.AddCurve(c);
  }
  pen = q;
}

void CScanConverter::StrokeCurveTo(const Point32& control, const Point32& p) {
  const Point32 ctl = ToDevice(control), q = ToDevice(p);
  if (strokeMode != 0) {
    QuadCurve c;
    CurveSet(pen, ctl, q, c);
    m_stroke.AddCurve(c);  // a single point adds nothing
  }
  pen = q;
}

void CScanConverter::EndStroke() {
  if (strokeMode == 0) return;
  if (m_stroke.Finish()) return;
  // A path without a segment still shows where it is.
  const int32_t width = m_stroke.Width();
  if (m_stroke.Wide()) {
    // A dot: a disc of the stroke's width.
    const int32_t r = width / 2;
    const Point32 top = {pen.x, WrapSub(pen.y, r)}, bottom = {pen.x, WrapAdd(pen.y, r)};
    m_stroke.AddRoundJoin(top, bottom, pen);
    m_stroke.AddRoundJoin(bottom, top, pen);
  } else {
    const int32_t x0 = WrapSub(pen.x, width / 2), x1 = WrapAdd(x0, width);
    const int32_t y0 = WrapSub(pen.y, width / 2), y1 = WrapAdd(y0, width);
    AddLine({x0, y1}, {x0, y0});
    AddLine({x1, y0}, {x1, y1});
  }
}
