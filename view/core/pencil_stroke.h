// The pencil's strokes from samples to the drawing: a finished free-hand
// chunk becomes a recognised shape, an arc or fitted curves (snapped when
// snapping is on), and a path enters the drawing as lines through a
// temporary graph merged by the pencil's rule. Also the lasso's outline.
//
// Like the geometry below them, these functions return 0 on success and -1
// when memory runs out, and never throw.
#pragma once

#include <cstdint>

#include "geometry/curve_fit.h"
#include "geometry/edge_graph.h"
#include "geometry/point_list.h"

class ViewState;
struct CAssistantSettings;

// The pencil's modes (the tool's mode byte).
constexpr int32_t kPencilStraighten = 0;
constexpr int32_t kPencilSmooth = 1;
constexpr int32_t kPencilInk = 2;
constexpr int32_t kPencilInkBottle = 3;
constexpr int32_t kPencilRectangle = 17;
constexpr int32_t kPencilOval = 18;
constexpr int32_t kPencilLine = 19;

// The fitting tolerances of a free-hand mode (0 to 2).
CurveFitSettings PencilFitSettings(int32_t mode, const CAssistantSettings& assistant);

// Replaces path (twips) with what a free-hand chunk of mode 0 to 2 becomes:
// a recognised rectangle, ellipse or triangle (mode 0), else an arc (mode
// 0), else the fitted curves. With snap the shape's rectangle, the arc's
// ends or the curves' on-curve points are snapped to the view's drawing
// within the stroke's snap radius.
[[nodiscard]] int PencilChunkToPath(const CPointList& chunk, int32_t mode, const ViewState& view,
                                    const CAssistantSettings& assistant, bool snap,
                                    PointList& path);

// The path (twips) as lines of the given style in a temporary graph, loose
// ends tidied within `unit` twips, merged into drawing by merge_mode
// (kMergeLinesWin and kMergeFillsWin bits).
[[nodiscard]] int PencilMergePath(const PointList& path, const LineStyle& line, int32_t unit,
                                  int merge_mode, EdgeGraph& drawing);

// The path of a shape drag: 17 the rectangle, 18 the ellipse in it, 19 the
// line from start to end.
[[nodiscard]] int PencilShapePath(int32_t mode, const Point32& start, const Point32& end,
                                  PointList& path);

// The lasso's chunk fitted with the lasso's tolerances (U and one pixel in
// twips) and closed by its first point again.
[[nodiscard]] int LassoChunkToPath(const CPointList& chunk, int32_t unit, int32_t pixel,
                                   PointList& path);
