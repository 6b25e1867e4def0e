// Non-solid fills for devices that cannot draw them: textures stroked or
// stamped inside the outline, gradients as bands, rings or band regions.
#include <algorithm>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_region.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "render/context/graph_walk.h"
#include "render/context/render_context.h"
#include "render/context/stroke_tools.h"

namespace {

constexpr StyleIndex kTagBandEdge = 0x7FF0;  // a band boundary
constexpr StyleIndex kTagOutline = 0x7FF1;   // the outline of the filled region
// Texture points past this count are not drawn (a huge outline seen whole,
// or a texture matrix that packs the rows closer than a twip): the
// background alone stands for the texture. A screen at 1:1 needs about
// 130,000.
constexpr int64_t kMaxTexturePoints = 1000000;

FillStyle SolidOf(uint32_t colour, uint16_t patternKind) {
  FillStyle f;
  f.colour = colour;
  f.pattern_kind = patternKind;
  return f;
}

bool IsGradient(uint8_t kind) {
  return kind == kGradientLinear || kind == kGradientRadial;
}
bool IsTexture(uint8_t kind) {
  return kind >= kFillTextureFirst && kind <= kFillTextureFirst + 3;
}

int64_t FloorTo(int64_t v, int64_t step) {
  return (v >= 0 ? v / step : -((-v + step - 1) / step)) * step;
}

// A quadratic curve from a through p to b.
QuadCurve CurveThrough(const Point32& a, const Point32& p, const Point32& b) {
  QuadCurve c;
  const Point32 control = {static_cast<int32_t>(2 * int64_t{p.x} - (int64_t{a.x} + b.x) / 2),
                           static_cast<int32_t>(2 * int64_t{p.y} - (int64_t{a.y} + b.y) / 2)};
  CurveSet(a, control, b, c);
  return c;
}

// Inside the region's area: inside its contour and in none of its holes
// (graph units).
bool RegionAreaContainsPoint(const Region* region, const Point32& p) {
  if (!RegionContainsPoint(region, p)) return false;
  for (const Region* hole = region->first_child; hole; hole = hole->next)
    if (RegionContainsPoint(hole, p)) return false;
  return true;
}

}  // namespace

// ---- gradients ---------------------------------------------------------------------

int32_t CRenderContext::GradientBandCount(const FillStyle& fill) const {
  const FillGradient& g = fill.gradient;
  const int n = std::min<int>(g.count, kGradientMaxEntries);
  const int32_t q1 = std::max(m_sizeStep, 1), q2 = std::max(m_colourStep, 1);
  int64_t a = 1;
  for (int i = 1; i < n; ++i) {
    int32_t d = 0;
    for (int shift = 0; shift < 24; shift += 8)
      d = std::max(d, std::abs(static_cast<int32_t>((g.colours[i - 1] >> shift) & 0xFF) -
                               static_cast<int32_t>((g.colours[i] >> shift) & 0xFF)));
    d /= q2;
    const int32_t span = g.ratios[i - 1] < g.ratios[i] ? g.ratios[i] - g.ratios[i - 1] : 1;
    a = std::max<int64_t>(a, int64_t{d} * 256 / span);
  }
  if (fill.kind == kGradientRadial) a *= 2;
  Matrix2x3 m;
  MatrixConcat(fill.matrix, m_matrix, m);
  int32_t size;
  if (fill.kind == kGradientLinear) {
    Point32 v;
    MatrixTransformVector(m, {32768, 0}, v);
    size = VectorLength(v);
  } else {
    size = MatrixScaleLength(m, 32768);
  }
  const int32_t b = std::max(size / q1, 8);
  return static_cast<int32_t>(std::min<int64_t>({a, b, m_bandLimit}));
}

void CRenderContext::FillGradientBands(const Rect32& bounds, const FillStyle& fill, int32_t count) {
  const int32_t w = std::max(0x4000 / std::max(count, 1), 1);
  PointList path;
  auto band = [&](const PointList& p, int32_t position) {
    const FillStyle solid = SolidOf(GradientColorAt(fill.gradient, position), fill.pattern_kind);
    DrawPath(p, nullptr, &solid);
  };
  if (fill.kind == kGradientLinear) {
    const int32_t b = std::max(bounds.xmin, -0x4000);
    int32_t x0 = bounds.xmin;
    int32_t x1 = (b / w + 1) * w;
    while (x0 < bounds.xmax) {
      if (x1 > 16384 || x1 > bounds.xmax) x1 = std::max(bounds.xmax, x0 + 1);
      if (PathFromRect(path, {x0, x1, bounds.ymin, bounds.ymax}) < 0) return;
      band(path, static_cast<int32_t>((int64_t{x0} + x1) / 256 + 128));
      x0 = x1;
      x1 = x0 + w;
    }
    return;
  }
  // Radial: discs from the outside in, each drawn when its colour differs
  // from the disc drawn before.
  int64_t far = 0;
  for (const Point32& c : {Point32{bounds.xmin, bounds.ymin}, Point32{bounds.xmax, bounds.ymin},
                           Point32{bounds.xmin, bounds.ymax}, Point32{bounds.xmax, bounds.ymax}})
    far = std::max<int64_t>(far, VectorLength(c));
  if (far > 16384) {
    if (PathFromRect(path, bounds) < 0) return;
    band(path, 256);
    far = 0x4000;
  }
  const int64_t top = (far + w - 1) / w * w;
  uint32_t previous = 0;
  bool first = true;
  for (int64_t r = top; r > 0; r -= w) {
    const int32_t ri = static_cast<int32_t>(r);
    const uint32_t colour = GradientColorAt(fill.gradient, ri / 64);
    if (!first && colour == previous) continue;
    if (!RectsOverlap({-ri, ri, -ri, ri}, bounds)) continue;
    first = false;
    previous = colour;
    if (PathFromEllipse(path, {-ri, ri, -ri, ri}) < 0) return;
    band(path, ri / 64);
  }
}

int32_t CRenderContext::FillGradientEdgeGraph(Region* region, const FillStyle& fill) {
  EdgeGraph bands;
  Rect32 gridBounds = region->bounds;
  RectInset(gridBounds, -25600);
  if (EdgeGraphInit(bands, &gridBounds) < 0) return -1;
  struct Free {
    EdgeGraph& g;
    ~Free() { EdgeGraphFreeAll(g); }
  } freeBands{bands};

  // (1) The region's outline and holes, tagged on both sides.
  bool ok = true;
  FeedRegionContours(
      region,
      [&](const QuadCurve& c) {
        Edge* e = nullptr;
        if (!ok || EdgeGraphNewEdge(c, &e) < 0) {
          ok = false;
          return;
        }
        e->a.fill = e->b.fill = kTagOutline;
        if (EdgeGraphInsertEdge(bands, e, 0, 3) < 0) ok = false;
      },
      [](const Point32&) {});
  if (!ok) return -1;

  // (2) Band boundaries in gradient space, through the fill matrix.
  const int32_t count = std::max(GradientBandCount(fill), 1);
  const int32_t w = std::max(0x4000 / count, 1);
  Matrix2x3 toTwips = fill.matrix, toGradient;
  MatrixInvert(toTwips, toGradient);
  Rect32 twips, bounds;
  RectShift(region->bounds, ShiftRight(8), twips);
  MatrixTransformRect(toGradient, twips, bounds);
  Matrix2x3 toGraph;
  MatrixSetScale(toGraph, 256 * kFixedOne, 256 * kFixedOne);
  Matrix2x3 place;
  MatrixConcat(toTwips, toGraph, place);
  // The colour of a point of the gradient, quantised to its band.
  auto colourAt = [&](const Point32& g) {
    if (fill.kind == kGradientLinear) {
      const int64_t band = FloorTo(g.x, w);
      return GradientColorAt(fill.gradient, static_cast<int32_t>((band + w / 2) / 128 + 128));
    }
    const int64_t r = (int64_t{VectorLength(g)} + w - 1) / w * w;
    return GradientColorAt(fill.gradient, static_cast<int32_t>(std::min<int64_t>(r, 0x4000) / 64));
  };
  auto addBoundary = [&](const PointList& path) {
    PointList placed;
    if (PointListCopy(path, placed) < 0) return false;
    PointListTransform(placed, place);
    PointListIter it;
    PointListIterInit(placed, it);
    QuadCurve c;
    while (PointListIterNext(it, c)) {
      Edge* e = nullptr;
      if (EdgeGraphNewEdge(c, &e) < 0) return false;
      e->line = kTagBandEdge;
      if (EdgeGraphInsertEdge(bands, e, 0, 3) < 0) return false;
    }
    return true;
  };
  PointList boundary;
  if (fill.kind == kGradientLinear) {
    const int32_t b = std::max(bounds.xmin, -0x4000);
    uint32_t previous = colourAt({b, 0});
    for (int64_t x = (b / w + 1) * int64_t{w}; ok && x <= 0x3FFF && x < bounds.xmax; x += w) {
      const uint32_t colour = colourAt({static_cast<int32_t>(x), 0});
      if (colour == previous) continue;
      previous = colour;
      PathClear(boundary);
      ok = PointListAppend(boundary, {static_cast<int32_t>(x), bounds.ymin - w}, 0) >= 0 &&
           PointListAppend(boundary, {static_cast<int32_t>(x), bounds.ymax + w}, 0) >= 0 &&
           addBoundary(boundary);
    }
  } else {
    int64_t far = 0;
    for (const Point32& c : {Point32{bounds.xmin, bounds.ymin}, Point32{bounds.xmax, bounds.ymin},
                             Point32{bounds.xmin, bounds.ymax}, Point32{bounds.xmax, bounds.ymax}})
      far = std::max<int64_t>(far, VectorLength(c));
    far = std::min<int64_t>(far, 0x4000);
    uint32_t previous = GradientColorAt(fill.gradient, 0);
    for (int64_t r = w; ok && r <= far; r += w) {
      const int32_t ri = static_cast<int32_t>(r);
      const uint32_t colour = GradientColorAt(fill.gradient, ri / 64);
      if (colour == previous || !RectsOverlap({-ri, ri, -ri, ri}, bounds)) continue;
      previous = colour;
      if (PathFromEllipse(boundary, {-ri, ri, -ri, ri}) < 0) return -1;
      ok = addBoundary(boundary);
    }
  }
  if (!ok) return -1;

  // (3) Boundary pieces outside the region's area go.
  std::vector<Edge*> outside;
  EdgeGraphForEachEdge(bands, nullptr, [&](Edge* e) {
    // A boundary that coincides with the outline was merged into it and
    // stays: it is the outline.
    if (e->line != kTagBandEdge || e->a.fill == kTagOutline || e->b.fill == kTagOutline) return;
    Point32 mid;
    CurvePointAt(e->curve, kFixedHalf, mid);
    if (!RegionAreaContainsPoint(region, mid)) outside.push_back(e);
  });
  for (Edge* e : outside)
    if (EdgeGraphDeleteEdge(bands, e) < 0) return -1;

  // (4) Every face inside the region takes the colour of a point just inside
  // one of its edges.
  RegionIter it;
  if (RegionIterInit(it, bands) < 0) return -1;
  std::vector<std::pair<Region*, uint32_t>> faces;
  while (Region* r = RegionIterNext(it)) {
    if (!RegionIsOuter(*r) || RegionIsEmpty(*r) || !r->boundary) continue;
    QuadCurve c;
    EdgeGetCurve(r->boundary, c);
    Point32 mid;
    CurvePointAt(c, kFixedHalf, mid);
    // The face lies to the left of its boundary on the screen.
    const int64_t dx = int64_t{c.p2.x} - c.p0.x, dy = int64_t{c.p2.y} - c.p0.y;
    const int64_t length = std::max<int64_t>(
        VectorLength({static_cast<int32_t>(dx / 2), static_cast<int32_t>(dy / 2)}) * 2, 1);
    const int64_t offset = std::min<int64_t>(512, std::max<int64_t>(length / 8, 1));
    const Point32 inside = {static_cast<int32_t>(mid.x + dy * offset / length),
                            static_cast<int32_t>(mid.y - dx * offset / length)};
    if (!RegionAreaContainsPoint(region, inside)) continue;
    Point32 twipsPoint = GraphToTwips(inside), g;
    MatrixTransformPoint(toGradient, twipsPoint, g);
    faces.push_back({r, colourAt(g)});
  }
  for (const auto& [r, colour] : faces) {
    const int index = EdgeGraphAddFillStyle(bands, SolidOf(colour, fill.pattern_kind));
    if (index <= 0 || RegionSetFill(r, static_cast<StyleIndex>(index)) < 0) return -1;
  }

  // (5) Drawn as a shape; its fills are already as the flags show them. The
  // pass counts stay those of the shape being drawn.
  const int32_t dim = m_dimFactor;
  const uint32_t flags = m_flags;
  const PassCounts counts = m_passCounts;
  m_dimFactor = 0;
  m_flags = (m_flags & ~(kFlagHighlightAll | kFlagHighlightSelected | kFlagMask)) | kFlagFills;
  DrawEdgeGraph(bands);
  m_dimFactor = dim;
  m_flags = flags;
  m_passCounts = counts;
  return 0;
}

// ---- textures ----------------------------------------------------------------------

void CRenderContext::FillTexture(const PointList* path, Region* region, const FillStyle& fill) {
  const int kind = fill.kind - kFillTextureFirst;
  if (fill.texture.background != 0 || fill.pattern_kind != 0) {
    const FillStyle back =
        SolidOf(fill.texture.background ? fill.texture.background : 0xFFFFFFFFu, fill.pattern_kind);
    if (path) {
      DrawPath(*path, nullptr, &back);
    } else {
      FillRegion(region, back);
    }
  }
  static constexpr int32_t kMargins[4] = {160, 80, 80, 120};
  const CRegionIndex index(region, path, nullptr, m_docClip, kMargins[kind]);
  const Rect32 work = index.Working();
  if (work.IsEmpty()) return;
  const bool classify = (fill.texture_flags & 1) != 0;

  if (kind == 3) {
    // Blobs stamped wholly inside.
    Random16 shapes;
    RandomSeed(shapes, 123456);
    PointList blobs[4];
    for (PointList& b : blobs)
      if (RoughEllipse(b, shapes, 1024, 4, 256) < 0) return;
    CStampFiller stamps(*this, SolidOf(fill.colour, fill.pattern_kind));
    const int64_t rows = (int64_t{work.ymax} - work.ymin) / 120 + 2,
                  cols = (int64_t{work.xmax} - work.xmin) / 120 + 2;
    if (rows * cols > kMaxTexturePoints) return;
    PointList placed;
    for (int64_t y = FloorTo(work.ymin, 120); y <= work.ymax; y += 120)
      for (int64_t x = FloorTo(work.xmin, 120); x <= work.xmax; x += 120) {
        Point32 p = {static_cast<int32_t>(x), static_cast<int32_t>(y)};
        Random16 random;
        RandomSeedFromPoint(random, p);
        RandomJitterPoint(random, p, 60);
        if (!index.Contains(p)) continue;
        const int32_t size = 20 + RandomBelow(random, 20);
        const PointList& blob = blobs[RandomBelow(random, 4)];
        Matrix2x3 m;
        MatrixSetScale(m, size << 6, size << 6);
        m.tx = p.x;
        m.ty = p.y;
        if (PointListCopy(blob, placed) < 0) return;
        PointListTransform(placed, m);
        PointListIter it;
        PointListIterInit(placed, it);
        QuadCurve c;
        bool inside = true;
        while (inside && PointListIterNext(it, c)) inside = index.ClassifyCurve(c) == 2;
        if (inside) stamps.Stamp(blob, m);
      }
    return;
  }

  LineStyle ink;
  ink.colour = fill.colour;
  ink.width = 1;
  CStrokeBatcher batcher(*this, ink);
  auto piece = [&](const QuadCurve& c) {
    if (!classify) {
      index.ClipCurve(c, [&](const QuadCurve& q) { batcher.Add(q); });
      return;
    }
    const int cls = index.ClassifyCurve(c);
    if (cls == 2) {
      batcher.Add(c);
    } else if (cls == 3) {
      QuadCurve a, b;
      CurveSplitHalf(c, a, b);
      if (index.ClassifyCurve(a) == 2) batcher.Add(a);
      if (index.ClassifyCurve(b) == 2) batcher.Add(b);
    }
  };

  if (kind == 0) {
    // Zig-zag scribble on rows 160 apart.
    const int64_t rows = (int64_t{work.ymax} - work.ymin) / 160 + 2,
                  cols = (int64_t{work.xmax} - work.xmin) / 80 + 2;
    if (rows * cols > kMaxTexturePoints) return;
    for (int64_t y = FloorTo(work.ymin, 160); y <= work.ymax; y += 160)
      for (int64_t x = FloorTo(work.xmin, 80); x <= work.xmax; x += 80) {
        const int32_t up = ((x / 80) & 1) ? 1 : -1;
        const Point32 grid = {static_cast<int32_t>(x), static_cast<int32_t>(y)};
        Point32 p = {grid.x, grid.y + 20 * up};
        if (!index.Contains(p)) continue;
        Point32 a = {grid.x - 80, p.y - 80 * up}, b = {grid.x + 80, p.y + 80 * up};
        Random16 random;
        RandomSeedFromPoint(random, grid);
        RandomJitterPoint(random, a, 40);
        RandomJitterPoint(random, p, 40);
        RandomJitterPoint(random, b, 40);
        piece(CurveThrough(a, p, b));
      }
    return;
  }

  // Wavy hatch (and, for kind 2, a second one turned by 30 degrees), in the
  // fill's matrix.
  for (int pass = 0; pass < (kind == 2 ? 2 : 1); ++pass) {
    Matrix2x3 toTwips = fill.matrix;
    if (pass == 1) {
      Matrix2x3 turn;
      MatrixSetRotation(turn, 30 << 16);
      MatrixConcat(turn, fill.matrix, toTwips);
    }
    Matrix2x3 toTexture;
    MatrixInvert(toTwips, toTexture);
    Rect32 area;
    MatrixTransformRect(toTexture, work, area);
    if (area.IsEmpty()) continue;
    const int64_t rows = (int64_t{area.ymax} - area.ymin) / 80 + 2,
                  cols = (int64_t{area.xmax} - area.xmin) / 80 + 4;
    if (rows * cols > kMaxTexturePoints) return;
    for (int64_t y = FloorTo(area.ymin, 80); y <= area.ymax; y += 80) {
      Random16 rowRandom;
      RandomSeed(rowRandom, static_cast<int32_t>(y));
      const int64_t start = FloorTo(area.xmin, 80) - 160 + RandomBelow(rowRandom, 80);
      Point32 p[3];
      int have = 0;
      for (int64_t x = start; x <= int64_t{area.xmax} + 160; x += 80) {
        Random16 random;
        RandomSeedFromPoint(random, {static_cast<int32_t>(x), static_cast<int32_t>(y)});
        Point32 q = {static_cast<int32_t>(x),
                     static_cast<int32_t>(y + RandomBelow(random, 41) - 20)};
        MatrixTransformPoint(toTwips, q, q);
        p[0] = p[1];
        p[1] = p[2];
        p[2] = q;
        if (++have < 3) continue;
        QuadCurve c;
        const Point32 a = {static_cast<int32_t>((int64_t{p[0].x} + p[1].x) / 2),
                           static_cast<int32_t>((int64_t{p[0].y} + p[1].y) / 2)};
        const Point32 b = {static_cast<int32_t>((int64_t{p[1].x} + p[2].x) / 2),
                           static_cast<int32_t>((int64_t{p[1].y} + p[2].y) / 2)};
        CurveSet(a, p[1], b, c);
        piece(c);
      }
    }
  }
}

void CRenderContext::FillArea(const PointList* path, Region* region, const FillStyle& fill) {
  if (!path && !region) return;
  if (IsGradient(fill.kind)) {
    if (!region) return;  // a path is not filled with a gradient here
    if (m_bandLimit > 1) {
      if (FillGradientEdgeGraph(region, fill) >= 0) return;
      // Out of memory for the bands: the first ramp colour stands for them.
    }
    FillRegion(region, SolidOf(GradientColorAt(fill.gradient, 0), fill.pattern_kind));
    return;
  }
  if (IsTexture(fill.kind)) {
    FillTexture(path, region, fill);
    return;
  }
  const FillStyle solid = SolidOf(fill.colour, fill.pattern_kind);
  if (path) {
    FillPolygon(*path, nullptr, &solid);
  } else {
    FillRegion(region, solid);
  }
}
