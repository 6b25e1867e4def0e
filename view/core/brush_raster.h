// Brush shapes and the coverage raster of a brush stroke.
//
// A brush stroke is swept into a raster of horizontal spans (in the stroke's
// sub-pixel space, four times the client resolution), drawn as live feedback
// by flushing the spans new since the last flush, and traced on release into
// closed point lists for the curve fitter.
//
// Coordinates: x grows right, rows grow downwards; span ends are inclusive and
// stored in 16 bits, so every sample is clamped to the raster's columns and
// rows before it becomes a span end. The raster functions return 0 on success
// and -1 when memory runs out (the span is then simply missing); they never
// throw.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/fixed.h"
#include "geometry/point_list.h"

// ---- Brush shape -------------------------------------------------------------

struct BrushShape {
  enum Type : int32_t { kRound = 0, kSquare = 1, kSlanted = 2 };
  int32_t type = kRound;
  int32_t use_pressure = 0;       // non-zero: the footprint follows the pen pressure
  Fixed size_factor = kFixedOne;  // scales width, height and slant
  int32_t width = 20;             // pixels for previews, sub-pixels in a stroke
  int32_t height = 20;
  // kSlanted: horizontal offset of the last row against the first, in the
  // units of width (scaled by the size factor like width).
  Fixed slant = 0;
  friend bool operator==(const BrushShape&, const BrushShape&) = default;
};

// The quarter circle: Q(k) = floor(32768 * sqrt(1 - (k/16)^2)), k = 0..16.
extern const uint16_t kBrushQuarterCircle[17];

// sqrt(1 - t^2) for t in 16.16: 1.0 for t <= 0, 0 for t > 1.0, linear
// between the 17 table entries in between.
Fixed BrushCircle(Fixed t);

// A footprint: rows first..last around the centre, each spanning
// centre + left[row - first] .. centre + right[row - first].
struct BrushPolygon {
  int16_t first = 0;
  int16_t last = -1;  // empty
  std::vector<int16_t> left;
  std::vector<int16_t> right;
  int16_t Left(int32_t row) const { return left[static_cast<size_t>(row - first)]; }
  int16_t Right(int32_t row) const { return right[static_cast<size_t>(row - first)]; }
};

// The footprint of the shape at FixedMul(scale, size factor). -1 when memory
// runs out (the polygon is then empty).
int BuildBrushPolygon(BrushPolygon& polygon, const BrushShape& shape, Fixed scale);
// Rows -n..n, n = h/2 (2 when h < 5), half width of row i the circle at i/n
// times w/2 (2 when w < 5).
int EllipseFootprint(BrushPolygon& polygon, int32_t w, int32_t h);
// Rows -h/2..h/2 of width w (both at least 2), row centres moving evenly
// from -s/2 to +s/2; rows widen so that neighbours still touch.
int SlantFootprint(BrushPolygon& polygon, int32_t w, int32_t h, int32_t s);

// ---- Span raster -------------------------------------------------------------

struct BrushSpan {
  BrushSpan* next = nullptr;
  int16_t x0 = 0;  // inclusive
  int16_t x1 = 0;  // inclusive
  uint8_t left_visited = 0;
  uint8_t right_visited = 0;
  uint8_t is_new = 0;  // added since the last flush (not yet drawn)
};

struct BrushSpanBlock {
  static constexpr int kNodes = 64;
  BrushSpanBlock* link = nullptr;
  BrushSpan nodes[kNodes];
};

// One list of spans per row, sorted by x1, no two sharing a column (touching
// spans such as [0, 10] and [11, 20] stay two). Nodes come in heap blocks of
// 64 and return to the free list when absorbed.
struct BrushRaster {
  BrushSpan** rows = nullptr;  // (last_row - first_row + 1) list heads
  int16_t first_row = 0;
  int16_t last_row = -1;
  BrushSpan* free_nodes = nullptr;
  BrushSpanBlock* blocks = nullptr;
  Rect32 new_bounds;    // spans added since the last flush
  Rect32 total_bounds;  // spans flushed so far
  // Columns samples and span ends are clamped to (within 16 bits).
  int16_t first_column = INT16_MIN;
  int16_t last_column = INT16_MAX;

  BrushRaster() = default;
  BrushRaster(const BrushRaster&) = delete;
  BrushRaster& operator=(const BrushRaster&) = delete;
  ~BrushRaster();

  BrushSpan* Row(int32_t y) const {
    return y < first_row || y > last_row ? nullptr : rows[y - first_row];
  }
};

// Allocates and clears the row table for rows first..last (any earlier
// contents are freed). Columns default to the whole 16-bit range. -1 when
// memory runs out or last < first (the raster is then empty).
int BrushRasterInit(BrushRaster& raster, int32_t first_row, int32_t last_row,
                    int32_t first_column = INT16_MIN, int32_t last_column = INT16_MAX);
void BrushRasterFree(BrushRaster& raster);

// Adds the span x0..x1 (inclusive) to row y, clipped to the columns; rows
// outside the raster are ignored. A span inside an existing one changes
// nothing; otherwise the new span absorbs the spans it overlaps and is marked
// new. -1 when no node can be had.
int BrushRasterAddSpan(BrushRaster& raster, int32_t y, int32_t x0, int32_t x1);

// Sweeps the footprint from a to b (the convex sweep); both points are first
// clamped to the raster's columns and rows. -1 when a span could not be added
// (the others are still there).
int BrushSweep(BrushRaster& raster, const BrushPolygon& polygon, Point32 a, Point32 b);

// Receives the spans of a flush, one rectangle each (x, y, width, height).
class BrushFlushTarget {
 public:
  virtual ~BrushFlushTarget() = default;
  virtual void FillRect(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
};

// Draws every step-th row's spans (only new ones with new_only), scaled down
// by x_divisor and step, one unit high, and clears their new flag. The new
// spans' bounds then join the total bounds. With new_only and nothing new,
// nothing happens.
void BrushRasterFlush(BrushRaster& raster, BrushFlushTarget& target, int32_t x_divisor,
                      int32_t step, bool new_only);

// The union of the new and the flushed spans' bounds, clipped to the rows.
void BrushRasterGetBounds(const BrushRaster& raster, Rect32& out);

// ---- Outline tracing -----------------------------------------------------------

// Traces the outlines of the covered area, one closed point list per call.
// Every span end lies on exactly one outline; tracing marks them visited.
struct BrushTracer {
  BrushRaster* raster = nullptr;
  int32_t row = 0;       // row being scanned for an unvisited end
  int32_t last_row = 0;  // last row of the coverage
  Rect32 bounds;         // of the last outline traced
};

constexpr int kTraceEnd = -1;

void TraceCoverageInit(BrushTracer& tracer, BrushRaster& raster);
// Replaces out's items with the next outline: span ends (x, row) walked down
// the left ends and up the right ends, every run of three points within 3
// units of each other replaced by their average, closed with the starting
// end and the list's first point. kTraceEnd when no unvisited end remains.
// An outline that runs out of memory is skipped.
int TraceCoverageNext(BrushTracer& tracer, CPointList& out);
// Bounds of the outline last returned by TraceCoverageNext.
void TraceCoverageGetBounds(const BrushTracer& tracer, Rect32& out);
