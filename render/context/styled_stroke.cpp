// Styled strokes and non-solid fills for devices that cannot draw them
// themselves.
#include "geometry/point_list.h"
#include "render/context/render_context.h"

void CRenderContext::StrokePath(const PointList& path, const LineStyle& line) {
  LineStyle plain = line;
  plain.kind = 0;
  FillPolygon(path, &plain, nullptr);
}

void CRenderContext::FillArea(const PointList* path, Region* region, const FillStyle& fill) {
  FillStyle solid;
  solid.colour = fill.colour;
  solid.pattern_kind = fill.pattern_kind;
  if (fill.kind & kFillHasGradient) {
    if (!region) return;
    solid.colour = GradientColorAt(fill.gradient, 0);
  }
  if (path) {
    FillPolygon(*path, nullptr, &solid);
  } else if (region) {
    FillRegion(region, solid);
  }
}
