// A brush stroke from its coverage raster to the drawing: the covered area's
// outlines traced, fitted with curves into a stroke graph, and the stroke
// merged into a target drawing by the rule of the paint or erase mode.
//
// Like the geometry below it, these functions return 0 on success and -1
// when memory runs out, and never throw.
#pragma once

#include <cstdint>

#include "geometry/curve_fit.h"
#include "geometry/edge_graph.h"
#include "view/core/brush_raster.h"

// The Eraser's stroke fill: a tag that the merge carries into the target and
// that is then replaced by no fill.
constexpr StyleIndex kBrushEraseTag = 0x7FF0;

// Paint and erase modes (the tool's mode field); kBrushModeAlternate makes the
// Brush the Paint Bucket and the Eraser the Faucet.
constexpr int32_t kBrushModeNormal = 0;
constexpr int32_t kBrushModeFills = 1;
constexpr int32_t kBrushModeBehind = 2;     // the Eraser: lines
constexpr int32_t kBrushModeSelection = 3;  // the Eraser: selected fills
constexpr int32_t kBrushModeInside = 4;
constexpr int32_t kBrushModeSelected = 5;
constexpr int32_t kBrushModeAlternate = 6;

// Outlines whose bounds' diagonal is this many sub-pixels or less are dropped.
constexpr int32_t kBrushMinOutlineDiagonal = 12;

// How outlines are fitted: no straight runs, sharp corners above 30 degrees.
CurveFitSettings BrushStrokeFitSettings();

// The polygon scale for a pen pressure p with base b and range r (at least
// 1): c = p - b clamped to [0, r], scale FixedDiv(4c, r) (a full press is
// the stroke's sub-pixel scale 4.0). c itself in *clamped when given.
Fixed BrushPressureScale(int32_t p, int32_t base, int32_t range, int32_t* clamped = nullptr);

// Traces the raster's outlines into the graph: each outline longer than
// kBrushMinOutlineDiagonal is mapped by to_doc (sub-pixels to twips), fitted
// at fit_scale (the length of 2 client pixels in twips, times 256) and added
// with `fill` on the covered side; then the graph is tidied
// up. The raster's span ends are marked visited.
[[nodiscard]] int BrushStrokeToGraph(BrushRaster& raster, const Matrix2x3& to_doc,
                                     int32_t fit_scale, StyleIndex fill, EdgeGraph& graph);

// Fits a gradient or texture colour to the stroke before it is merged; the
// default changes nothing.
class BrushFillPlacer {
 public:
  virtual ~BrushFillPlacer() = default;
  // Places the definition over the stroke's edges; true when it changed it.
  virtual bool PlaceFillGradient(EdgeGraph& /*stroke*/, FillStyle& /*colour*/) { return false; }
};

struct BrushApplyOptions {
  int32_t mode = kBrushModeNormal;
  bool eraser = false;  // the stroke's fill is kBrushEraseTag
  // The stroke goes to several targets (the Eraser's layers): each gets a
  // copy, so what one target clips away never reaches the next.
  bool several_targets = false;
  // The tool's colour, fitted to the stroke by the placer (null: lock fill
  // on, or no colour).
  const FillStyle* colour = nullptr;
  BrushFillPlacer* placer = nullptr;
};

// The merge rule of a mode: kMergeLinesWin | kMergeFillsWin bits.
int BrushMergeRule(int32_t mode, bool eraser);

// Merges the stroke into the target by the mode's rule. Inside mode clips
// the stroke to the target's region under start (twips; the first top-level
// region when none is there), the selected mode to the target's selection
// (and selects it). Then fills tagged kBrushEraseTag become no fill and the
// target is tidied up. fill_tag is the stroke's fill index.
[[nodiscard]] int ApplyBrushStroke(EdgeGraph& stroke, EdgeGraph& target, const Point32& start,
                                   StyleIndex fill_tag, const BrushApplyOptions& options);
