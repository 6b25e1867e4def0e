#include "view/core/brush_stroke.h"

#include <algorithm>

#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_outline.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_select.h"
#include "geometry/edge_graph_update.h"
#include "geometry/point_list.h"

namespace {

// Sub-pixel point to twips x 256, in 64 bits (the matrix's scale times 256
// would overflow a Fixed at high zoom-out).
Point32 ToGraphUnits(const Matrix2x3& m, const Point32& p) {
  const auto axis = [](int64_t u, int64_t v, Fixed a, Fixed c, int32_t t) {
    const int64_t scaled = a * u + c * v;  // twips in 16.16
    return ClampCoordinate(((scaled + 0x80) >> 8) + int64_t{t} * 256);
  };
  return {axis(p.x, p.y, m.a, m.c, m.tx), axis(p.x, p.y, m.b, m.d, m.ty)};
}

// The first outline's region: the top level of the region tree holds the
// faces round the outlines, and the outlines' regions hang under them.
Region* FirstOuterRegion(EdgeGraph& graph) {
  RegionIter it;
  if (RegionIterInit(it, graph) < 0) return nullptr;
  while (Region* r = RegionIterNext(it)) {
    if (RegionIsOuter(*r)) return r;
  }
  return nullptr;
}

}  // namespace

CurveFitSettings BrushStrokeFitSettings() {
  CurveFitSettings s;
  s.line_tolerance = 0;
  s.curve_tolerance = 0x0080FF00;
  s.corner_spacing = 0x0080FF00;
  s.corner_angle = 0x1E0000;
  s.curve_span = 0x1E00FF00;
  s.sample_gap = 0;
  return s;
}

Fixed BrushPressureScale(int32_t p, int32_t base, int32_t range, int32_t* clamped) {
  range = std::max(range, 1);
  const int32_t c = static_cast<int32_t>(std::clamp<int64_t>(int64_t{p} - base, 0, range));
  if (clamped != nullptr) *clamped = c;
  return static_cast<Fixed>((int64_t{4} * c << 16) / range);
}

int BrushStrokeToGraph(BrushRaster& raster, const Matrix2x3& to_doc, int32_t fit_scale,
                       StyleIndex fill, EdgeGraph& graph) {
  const CurveFitSettings settings = BrushStrokeFitSettings();
  BrushTracer tracer;
  TraceCoverageInit(tracer, raster);
  CPointList outline;
  PointList path;
  int result = 0;
  while (TraceCoverageNext(tracer, outline) != kTraceEnd) {
    Rect32 bounds;
    TraceCoverageGetBounds(tracer, bounds);
    if (RectDiagonal(bounds) <= kBrushMinOutlineDiagonal) continue;
    for (int32_t i = 0; i < outline.count; ++i)
      outline.items[i] = ToGraphUnits(to_doc, outline.items[i]);
    if (FitCurvesToPoints(path, settings, fit_scale, fit_scale, outline) < 0) {
      result = -1;  // the outline is lost; the others still go in
      continue;
    }
    PointListShift(path, ShiftRight(8));
    // Outlines run down the coverage's left ends and up its right ends, so
    // the covered side is on their left (holes run the other way round).
    if (EdgeGraphAddPath(graph, path, 0, fill, 0) < 0) result = -1;
  }
  if (EdgeGraphUpdate(graph) < 0) result = -1;
  return result;
}

int BrushMergeRule(int32_t mode, bool eraser) {
  switch (mode) {
    case kBrushModeBehind:
      // The Eraser's lines mode takes the lines away; paint behind keeps them
      // as it keeps the fills.
      return eraser ? kMergeLinesWin : 0;
    case kBrushModeSelection:
      return 0;
    case kBrushModeFills:
    case kBrushModeInside:
    case kBrushModeSelected:
      return kMergeFillsWin;
    default:
      return kMergeLinesWin | kMergeFillsWin;
  }
}

int ApplyBrushStroke(EdgeGraph& source, EdgeGraph& target, const Point32& start,
                     StyleIndex fill_tag, const BrushApplyOptions& options) {
  // Clipping and fill placement change the stroke: a stroke for several
  // targets is copied for each.
  EdgeGraph copy;
  EdgeGraph* stroke = &source;
  if (options.several_targets) {
    if (EdgeGraphInit(copy) < 0 || EdgeGraphMerge(source, copy, 0) < 0) return -1;
    stroke = &copy;
  }
  if (options.mode == kBrushModeInside) {
    Point32 at;
    PointShift(start, ShiftLeft(8), at);
    Region* region = EdgeGraphFindRegion(target, at);
    if (region == nullptr) region = FirstOuterRegion(target);
    if (EdgeGraphOutlineRegion(*stroke, region) < 0 || EdgeGraphUpdate(*stroke) < 0) return -1;
  } else if (options.mode == kBrushModeSelected) {
    if (EdgeGraphOutlineGraph(*stroke, target) < 0 || EdgeGraphSetSelected(*stroke, true) < 0)
      return -1;
  }
  if (options.colour != nullptr && options.placer != nullptr) {
    FillStyle placed = *options.colour;
    if (options.placer->PlaceFillGradient(*stroke, placed)) {
      const int index = EdgeGraphAddFillStyle(*stroke, placed);
      if (index < 0 || EdgeGraphReplaceFill(*stroke, fill_tag, static_cast<StyleIndex>(index)) < 0)
        return -1;
    }
  }
  if (EdgeGraphMerge(*stroke, target, BrushMergeRule(options.mode, options.eraser)) < 0) return -1;
  if (EdgeGraphReplaceFill(target, kBrushEraseTag, 0) < 0) return -1;
  return EdgeGraphUpdate(target);
}
