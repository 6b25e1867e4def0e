#include "view/core/pencil_stroke.h"

#include <algorithm>

#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_update.h"
#include "geometry/path.h"
#include "view/core/assistant_settings.h"
#include "view/core/recognition.h"
#include "view/core/snap.h"
#include "view/core/view_state.h"

namespace {

// Copies the chunk into graph units (x 256) for fitting.
int ToGraphUnits(const CPointList& chunk, CPointList& out) {
  out.Free();
  for (int32_t i = 0; i < chunk.count; ++i) {
    Point32 p;
    PointShift(chunk.items[i], ShiftLeft(8), p);
    if (out.Add(p) < 0) return -1;
  }
  return 0;
}

// Fits the chunk in graph units and shifts the curves back to twips.
int FitChunk(const CPointList& chunk, const CurveFitSettings& settings, int32_t unit, int32_t pixel,
             PointList& path) {
  CPointList samples;
  if (ToGraphUnits(chunk, samples) < 0) return -1;
  if (FitCurvesToPoints(path, settings, std::max(unit, 1) * 256, std::max(pixel, 1) * 256,
                        samples) < 0)
    return -1;
  PointListShift(path, ShiftRight(8));
  return 0;
}

}  // namespace

CurveFitSettings PencilFitSettings(int32_t mode, const CAssistantSettings& assistant) {
  CurveFitSettings s;
  s.line_tolerance = mode == kPencilStraighten ? assistant.line_tolerance : 0;
  s.curve_tolerance = mode == kPencilInk ? 0x0080FF00 : assistant.curve_tolerance;
  s.corner_spacing = 0x0300FF00;
  if (s.line_tolerance != 0) {
    s.corner_angle = 0x001E0000;
    s.curve_span = 0x5000FF00;
  } else {
    s.corner_angle = 0x005A0000;
    s.curve_span = 0x2800FF00;
  }
  s.sample_gap = 0;
  return s;
}

int PencilChunkToPath(const CPointList& chunk, int32_t mode, const ViewState& view,
                      const CAssistantSettings& assistant, bool snap, PointList& path) {
  const int32_t unit = view.GetPickUnit();
  const int32_t pixel = view.GetPixelSize();
  const int32_t scale = mode == kPencilInk ? 1 : assistant.connect_tolerance_a;
  const PackedTolerance shape = mode == kPencilStraighten ? assistant.shape_tolerance : 0;
  Rect32 bounds;
  chunk.GetBounds(bounds);
  const int32_t radius = std::min(scale * unit, RectDiagonal(bounds) / 3);

  Rect32 rect;
  const int code = shape != 0 ? RecognizeClosedShape(chunk, rect, shape, pixel) : 0;
  if (code != 0) {
    if (snap) SnapRect(rect, view, radius);
    return PathFromShapeCode(path, code, rect);
  }
  RecognizedArc arc;
  if (shape != 0 && RecognizeArc(chunk, arc, shape, pixel) == 1) {
    if (snap) {
      (void)SnapPoint(nullptr, arc.start, view, radius);
      (void)SnapPoint(nullptr, arc.end, view, radius);
    }
    return PathFromArc(path, arc);
  }
  if (FitChunk(chunk, PencilFitSettings(mode, assistant), unit, pixel, path) < 0) return -1;
  if (snap) SnapPointList(path, view, radius);
  return 0;
}

int PencilMergePath(const PointList& path, const LineStyle& line, int32_t unit, int merge_mode,
                    EdgeGraph& drawing) {
  EdgeGraph stroke;
  if (EdgeGraphInit(stroke) < 0) return -1;
  const int index = EdgeGraphAddLineStyle(stroke, line);
  if (index < 0) return -1;
  if (EdgeGraphAddPath(stroke, path, static_cast<StyleIndex>(index), 0, 0) < 0) return -1;
  const int32_t tolerance = std::max(unit, 1) * 256;
  Rect32 everywhere;
  RectSetHuge(everywhere);
  if (EdgeGraphResolveCrossings(stroke, tolerance, tolerance, tolerance, everywhere) < 0) return -1;
  if (EdgeGraphUpdate(stroke) < 0) return -1;
  if (EdgeGraphMerge(stroke, drawing, merge_mode) < 0) return -1;
  return EdgeGraphUpdate(drawing);
}

int PencilShapePath(int32_t mode, const Point32& start, const Point32& end, PointList& path) {
  const Rect32 r{std::min(start.x, end.x), std::max(start.x, end.x), std::min(start.y, end.y),
                 std::max(start.y, end.y)};
  switch (mode) {
    case kPencilRectangle:
      return PathFromRect(path, r);
    case kPencilOval:
      return PathFromEllipse(path, r);
    default:
      path.length = 0;
      if (PointListAppend(path, start, 0) < 0) return -1;
      return PointListAppend(path, end, 0);
  }
}

int LassoChunkToPath(const CPointList& chunk, int32_t unit, int32_t pixel, PointList& path) {
  CurveFitSettings s;
  s.line_tolerance = 0x0100FF00;
  s.curve_tolerance = 0x0400FF00;
  s.corner_spacing = 0x0300FF00;
  s.corner_angle = 0x001E0000;
  s.curve_span = 0x5000FF00;
  s.sample_gap = 0;
  if (FitChunk(chunk, s, unit, pixel, path) < 0) return -1;
  if (path.length == 0) return 0;
  return PointListAppend(path, chunk.items[0], 0);
}
