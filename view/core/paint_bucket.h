// The Paint Bucket and the Faucet (the Brush and the Eraser in their
// alternate mode): a click fills the region under the pointer with the
// tool's colour (or takes fills and lines away), after closing small gaps
// in the region's boundary, and places gradient and texture fills to fit
// the filled area.
//
// Gap closing stamps every half-edge of the examined boundaries with its
// place: the boundary's number and the running position along it, in units
// of gap/8. Two boundary points then lie close along the boundary when
// their positions differ by less than kBoundaryNear, an integer comparison.
#pragma once

#include <cstdint>
#include <functional>

#include "geometry/edge_graph.h"
#include "geometry/edge_style.h"
#include "view/core/brush_stroke.h"

class ViewState;

// Positions along one boundary closer than this (in gap/8) are one place.
constexpr int64_t kBoundaryNear = 40;
// Gap closing examines no further region once this long has passed.
constexpr uint32_t kGapDeadlineMs = 12000;

// The gap distance of a closing level in graph units: level * P * 256.
int32_t GapDistance(int32_t level, int32_t pixel);

// Odd crossings of the ray from point (graph units) towards +x with edges
// that carry a fill on at least one side (twice when on both); the count
// starts at 1 without a region. True when odd.
bool PointInsideFilledEdges(const EdgeGraph& graph, const Point32& point, const Region* region);

// What gap closing did, for the caller and the tests.
struct GapClosingResult {
  int32_t segments = 0;  // closing segments added
  int32_t examined = 0;  // regions examined
  int32_t skipped = 0;   // regions left out at the deadline
  bool deadline_hit = false;
};

// Closes the gaps of region's boundary and its holes' (all top-level
// regions when null) narrower than gap (graph units) inside rect (graph
// units) with straight edges, merged into the graph. The graph is left
// without its tidy-up: the segments carry no line, so the update would drop
// them while both their sides have the same fill; the caller fills a region
// first, then updates, which keeps only the segments that bound a fill.
// now() is the tick clock in ms that the deadline reads. -1 when memory runs
// out.
[[nodiscard]] int CloseFillGaps(EdgeGraph& graph, Region* region, int32_t gap, const Rect32& rect,
                                const std::function<uint32_t()>& now,
                                GapClosingResult* result = nullptr);

// A drag of the fill's vector: start and end in document units.
struct FillDrag {
  bool dragged = false;  // the drag reached 4 pixels
  Point32 start;
  Point32 end;
};

// Tracks the fill vector's drag from the click: snap to points (radial
// centres) or to angles (linear gradients and textures).
using FillDragFn = std::function<FillDrag(bool snapToPoints)>;

// Fits a gradient or texture colour to the curves of region (when given),
// else of the fills selected (selected_only), else of every edge. Returns 1
// when the colour changed. Linear gradients keep their angle unless drag
// (when given) reports a drag; radial ones centre on the drag's end, else
// on the curves' bounds.
int PlaceFillGradient(EdgeGraph& graph, Region* region, bool selected_only, FillStyle& colour,
                      const FillDragFn* drag);

// The brush's placement: a gradient or texture colour is fitted to all of
// the stroke's edges, without a drag.
class GradientFillPlacer : public BrushFillPlacer {
 public:
  bool PlaceFillGradient(EdgeGraph& stroke, FillStyle& colour) override;
};

// What the click needs of the tool and the window.
class BucketHost {
 public:
  virtual ~BucketHost() = default;
  // The tool's colour: null for the Faucet.
  virtual FillStyle* Colour() = 0;
  virtual int32_t GapLevel() = 0;
  virtual bool LockFill() { return false; }
  // Tracks the fill vector's drag from start (document units); snap to
  // points (radial) or angles (linear and textures).
  virtual FillDrag DragFillVector(const Point32& start, bool /*snapToPoints*/) {
    return {false, start, start};
  }
  // The tool options bar's colour button shows the new definition.
  virtual void ColourPlaced(const FillStyle& /*colour*/) {}
  // The tick clock (ms) of the gap closing's deadline.
  virtual uint32_t Now() = 0;
};

// The click at point (document units). Runs inside the caller's edit
// transaction; a geometry failure throws.
void PaintBucketClick(ViewState& view, const Point32& point, BucketHost& host);
