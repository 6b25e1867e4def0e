#include "view/core/brush_raster.h"

#include <algorithm>
#include <cstdlib>
#include <new>

const uint16_t kBrushQuarterCircle[17] = {32768, 32703, 32510, 32186, 31727, 31126,
                                          30376, 29465, 28377, 27092, 25579, 23795,
                                          21673, 19102, 15863, 11402, 0};

namespace {

int16_t ClampTo16(int64_t v) {
  return static_cast<int16_t>(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX));
}

// Rounds a 16.16 value to the nearest unit (halves up).
int64_t RoundFixed(int64_t v) {
  return (v + kFixedHalf) >> 16;
}

int32_t FloorDiv(int32_t a, int32_t b) {
  const int32_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

void GrowRect(Rect32& r, int32_t x0, int32_t x1, int32_t y) {
  if (r.IsEmpty()) {
    r = {x0, x1, y, y};
    return;
  }
  r.xmin = std::min(r.xmin, x0);
  r.xmax = std::max(r.xmax, x1);
  r.ymin = std::min(r.ymin, y);
  r.ymax = std::max(r.ymax, y);
}

int ResizePolygon(BrushPolygon& polygon, int32_t first, int32_t last) {
  try {
    polygon.first = static_cast<int16_t>(first);
    polygon.last = static_cast<int16_t>(last);
    polygon.left.assign(static_cast<size_t>(last - first + 1), 0);
    polygon.right.assign(static_cast<size_t>(last - first + 1), 0);
    return 0;
  } catch (const std::bad_alloc&) {
    polygon = {};
    return -1;
  }
}

BrushSpan* TakeNode(BrushRaster& raster) {
  if (!raster.free_nodes) {
    auto* block = new (std::nothrow) BrushSpanBlock;
    if (!block) return nullptr;
    block->link = raster.blocks;
    raster.blocks = block;
    for (BrushSpan& node : block->nodes) {
      node.next = raster.free_nodes;
      raster.free_nodes = &node;
    }
  }
  BrushSpan* node = raster.free_nodes;
  raster.free_nodes = node->next;
  return node;
}

}  // namespace

Fixed BrushCircle(Fixed t) {
  if (t <= 0) return kFixedOne;
  if (t > kFixedOne) return 0;
  const int32_t k = t >> 12;
  // The table steps by 1/16: the fraction between entries k and k + 1 is the
  // low 12 bits, taken up to 16 bits as the interpolation weight.
  const int32_t f = (t & 0xFFF) << 4;
  const Fixed qk = 2 * kBrushQuarterCircle[k];
  if (f == 0) return qk;
  return FixedMul(qk, kFixedOne - f) + FixedMul(2 * kBrushQuarterCircle[k + 1], f);
}

int EllipseFootprint(BrushPolygon& polygon, int32_t w, int32_t h) {
  const int32_t n = h < 5 ? 2 : std::min(h / 2, INT16_MAX - 1);
  const int32_t half = w < 5 ? 2 : std::min(w / 2, INT16_MAX - 1);
  if (ResizePolygon(polygon, -n, n) != 0) return -1;
  for (int32_t i = 0; i <= n; ++i) {
    const int16_t hw = ClampTo16(FixedMul(half, BrushCircle(FixedDiv(i, n))));
    for (int32_t row : {-i, i}) {
      polygon.left[static_cast<size_t>(row + n)] = static_cast<int16_t>(-hw);
      polygon.right[static_cast<size_t>(row + n)] = hw;
    }
  }
  return 0;
}

int SlantFootprint(BrushPolygon& polygon, int32_t w, int32_t h, int32_t s) {
  w = std::clamp(w, 2, INT16_MAX - 1);
  h = std::clamp(h, 2, INT16_MAX - 1);
  if (ResizePolygon(polygon, -(h / 2), h / 2) != 0) return -1;
  const Fixed d = FixedDiv(s, h);
  // Rows shifted by more than the width apart widen to keep touching.
  const int32_t m = std::max(w, std::abs(s / h) + 1) / 2;
  int64_t centre = -(int64_t{d} * h) / 2;
  for (size_t i = 0; i < polygon.left.size(); ++i, centre += d) {
    const int64_t c = RoundFixed(centre);
    polygon.left[i] = ClampTo16(c - m);
    polygon.right[i] = ClampTo16(c + m);
  }
  return 0;
}

int BuildBrushPolygon(BrushPolygon& polygon, const BrushShape& shape, Fixed scale) {
  const Fixed factor = FixedMul(scale, shape.size_factor);
  Point32 size;
  PointScale({shape.width, shape.height}, factor, size);
  switch (shape.type) {
    case BrushShape::kSquare:
      return SlantFootprint(polygon, size.x, size.y, 0);
    case BrushShape::kSlanted:
      return SlantFootprint(polygon, size.x, size.y, FixedMul(factor, shape.slant));
    default:
      return EllipseFootprint(polygon, size.x, size.y);
  }
}

// ---- Span raster -------------------------------------------------------------

BrushRaster::~BrushRaster() {
  BrushRasterFree(*this);
}

void BrushRasterFree(BrushRaster& raster) {
  std::free(raster.rows);
  raster.rows = nullptr;
  while (raster.blocks) {
    BrushSpanBlock* next = raster.blocks->link;
    delete raster.blocks;
    raster.blocks = next;
  }
  raster.free_nodes = nullptr;
  raster.first_row = 0;
  raster.last_row = -1;
  RectSetEmpty(raster.new_bounds);
  RectSetEmpty(raster.total_bounds);
}

int BrushRasterInit(BrushRaster& raster, int32_t first_row, int32_t last_row, int32_t first_column,
                    int32_t last_column) {
  BrushRasterFree(raster);
  first_row = std::clamp<int32_t>(first_row, INT16_MIN, INT16_MAX);
  last_row = std::clamp<int32_t>(last_row, INT16_MIN, INT16_MAX);
  first_column = std::clamp<int32_t>(first_column, INT16_MIN, INT16_MAX);
  last_column = std::clamp<int32_t>(last_column, INT16_MIN, INT16_MAX);
  if (last_row < first_row || last_column < first_column) return -1;
  raster.rows = static_cast<BrushSpan**>(
      std::calloc(static_cast<size_t>(last_row - first_row + 1), sizeof(BrushSpan*)));
  if (!raster.rows) return -1;
  raster.first_row = static_cast<int16_t>(first_row);
  raster.last_row = static_cast<int16_t>(last_row);
  raster.first_column = static_cast<int16_t>(first_column);
  raster.last_column = static_cast<int16_t>(last_column);
  return 0;
}

int BrushRasterAddSpan(BrushRaster& raster, int32_t y, int32_t x0, int32_t x1) {
  if (!raster.rows || y < raster.first_row || y > raster.last_row) return 0;
  x0 = std::max<int32_t>(x0, raster.first_column);
  x1 = std::min<int32_t>(x1, raster.last_column);
  if (x0 > x1) return 0;
  BrushSpan** link = &raster.rows[y - raster.first_row];
  while (*link && (*link)->x1 < x0) link = &(*link)->next;
  BrushSpan* at = *link;
  if (at && at->x0 <= x0 && at->x1 >= x1) return 0;
  BrushSpan* node = TakeNode(raster);
  if (!node) return -1;
  node->x0 = static_cast<int16_t>(x0);
  node->x1 = static_cast<int16_t>(x1);
  node->left_visited = node->right_visited = 0;
  node->is_new = 1;
  node->next = at;
  *link = node;
  while (node->next && node->next->x0 <= node->x1) {
    BrushSpan* absorbed = node->next;
    node->x0 = std::min(node->x0, absorbed->x0);
    node->x1 = std::max(node->x1, absorbed->x1);
    node->next = absorbed->next;
    absorbed->next = raster.free_nodes;
    raster.free_nodes = absorbed;
  }
  GrowRect(raster.new_bounds, x0, x1, y);
  return 0;
}

int BrushSweep(BrushRaster& raster, const BrushPolygon& polygon, Point32 a, Point32 b) {
  if (!raster.rows || polygon.last < polygon.first) return 0;
  // Sub-pixel samples of a cursor far outside the window would wrap as
  // 16-bit span ends: keep them inside the raster.
  for (Point32* p : {&a, &b}) {
    p->x = std::clamp<int32_t>(p->x, raster.first_column, raster.last_column);
    p->y = std::clamp<int32_t>(p->y, raster.first_row, raster.last_row);
  }
  if (a.y > b.y) std::swap(a, b);
  int result = 0;
  if (a.y == b.y) {
    const int32_t lo = std::min(a.x, b.x), hi = std::max(a.x, b.x);
    for (int32_t r = polygon.first; r <= polygon.last; ++r) {
      if (BrushRasterAddSpan(raster, a.y + r, lo + polygon.Left(r), hi + polygon.Right(r)) != 0)
        result = -1;
    }
    return result;
  }
  // Footprint row r placed at centre row c lies on row j = c + r; its centre
  // x (16.16) is (a.x << 16) + f * (c - a.y). Row j's edges are the extremes
  // over the centres c in [a.y, b.y], i.e. over r with terms
  // (edge(r) << 16) - f * r, plus (a.x << 16) + f * (j - a.y).
  const int64_t f = (int64_t{b.x - a.x} << 16) / (b.y - a.y);
  auto left_term = [&](int32_t r) { return (int64_t{polygon.Left(r)} << 16) - f * r; };
  auto right_term = [&](int32_t r) { return (int64_t{polygon.Right(r)} << 16) - f * r; };
  int64_t full_left = INT64_MAX, full_right = INT64_MIN;
  for (int32_t r = polygon.first; r <= polygon.last; ++r) {
    full_left = std::min(full_left, left_term(r));
    full_right = std::max(full_right, right_term(r));
  }
  const int32_t j_end = std::min<int32_t>(b.y + polygon.last, raster.last_row);
  for (int32_t j = std::max<int32_t>(a.y + polygon.first, raster.first_row); j <= j_end; ++j) {
    const int32_t r_lo = std::max<int32_t>(polygon.first, j - b.y);
    const int32_t r_hi = std::min<int32_t>(polygon.last, j - a.y);
    int64_t left = full_left, right = full_right;
    if (r_lo != polygon.first || r_hi != polygon.last) {
      left = INT64_MAX;
      right = INT64_MIN;
      for (int32_t r = r_lo; r <= r_hi; ++r) {
        left = std::min(left, left_term(r));
        right = std::max(right, right_term(r));
      }
    }
    const int64_t base = (int64_t{a.x} << 16) + f * (j - a.y);
    if (BrushRasterAddSpan(raster, j, Clamp32(RoundFixed(base + left)),
                           Clamp32(RoundFixed(base + right))) != 0)
      result = -1;
  }
  return result;
}

void BrushRasterFlush(BrushRaster& raster, BrushFlushTarget& target, int32_t x_divisor,
                      int32_t step, bool new_only) {
  if (!raster.rows) return;
  if (new_only && raster.new_bounds.IsEmpty()) return;
  x_divisor = std::max(x_divisor, 1);
  step = std::max(step, 1);
  int32_t lo = raster.first_row, hi = raster.last_row;
  if (new_only) {
    lo = std::max(lo, raster.new_bounds.ymin);
    hi = std::min(hi, raster.new_bounds.ymax);
  }
  for (int32_t row = FloorDiv(lo, step) * step; row <= hi; row += step) {
    if (row < raster.first_row) continue;
    for (BrushSpan* s = raster.rows[row - raster.first_row]; s; s = s->next) {
      if (new_only && !s->is_new) continue;
      target.FillRect(FloorDiv(s->x0, x_divisor), FloorDiv(row, step), (s->x1 - s->x0) / x_divisor,
                      1);
      s->is_new = 0;
    }
  }
  RectUnion(raster.total_bounds, raster.new_bounds, raster.total_bounds);
  RectSetEmpty(raster.new_bounds);
}

void BrushRasterGetBounds(const BrushRaster& raster, Rect32& out) {
  RectUnion(raster.new_bounds, raster.total_bounds, out);
  if (out.IsEmpty()) return;
  out.ymin = std::max<int32_t>(out.ymin, raster.first_row);
  out.ymax = std::min<int32_t>(out.ymax, raster.last_row);
  if (out.ymin > out.ymax) RectSetEmpty(out);
}

// ---- Outline tracing -----------------------------------------------------------

namespace {

// A span end on an outline. Left ends are walked downwards, right ends upwards.
struct TraceEnd {
  BrushSpan* span = nullptr;
  int32_t row = 0;
  bool left = true;
  int32_t X() const { return left ? span->x0 : span->x1; }
  uint8_t& Visited() const { return left ? span->left_visited : span->right_visited; }
};

bool Overlap(const BrushSpan* a, const BrushSpan* b) {
  return a->x0 <= b->x1 && b->x0 <= a->x1;
}

// The next end along the outline: from a left end, the leftmost span of the
// row below that overlaps it, unless the span to its left in its own row
// reaches that one too (the outline then turns up that span's right end);
// with nothing below, the outline turns round to the span's own right end.
// Right ends mirror this upwards.
TraceEnd NextEnd(const BrushRaster& raster, const TraceEnd& at) {
  BrushSpan* s = at.span;
  if (at.left) {
    BrushSpan* below = raster.Row(at.row + 1);
    while (below && below->x1 < s->x0) below = below->next;
    if (!below || below->x0 > s->x1) return {s, at.row, false};
    BrushSpan* before = nullptr;
    for (BrushSpan* p = raster.Row(at.row); p != s; p = p->next) before = p;
    if (before && Overlap(before, below)) return {before, at.row, false};
    return {below, at.row + 1, true};
  }
  BrushSpan* above = nullptr;
  for (BrushSpan* p = raster.Row(at.row - 1); p && p->x0 <= s->x1; p = p->next) {
    if (p->x1 >= s->x0) above = p;
  }
  if (!above) return {s, at.row, true};
  if (s->next && Overlap(s->next, above)) return {s->next, at.row, true};
  return {above, at.row - 1, false};
}

// Appends points to an outline, replacing every three consecutive points
// within 3 units of each other by their average.
struct OutlineWriter {
  CPointList& out;
  int pending = 0;  // points added since the last average
  bool failed = false;

  void Add(const Point32& p) {
    const int32_t before = out.count;
    if (out.Add(p) != 0) {
      failed = true;
      return;
    }
    if (out.count == before) return;
    if (++pending < 3) return;
    Point32* last = out.items + out.count - 3;
    if (!PointsNear(last[0], last[1], 3) || !PointsNear(last[0], last[2], 3) ||
        !PointsNear(last[1], last[2], 3))
      return;
    const Point32 mean{static_cast<int32_t>((int64_t{last[0].x} + last[1].x + last[2].x) / 3),
                       static_cast<int32_t>((int64_t{last[0].y} + last[1].y + last[2].y) / 3)};
    out.count -= 3;
    pending = 0;
    if (out.Add(mean) != 0) failed = true;
  }
};

}  // namespace

void TraceCoverageInit(BrushTracer& tracer, BrushRaster& raster) {
  tracer.raster = &raster;
  RectSetEmpty(tracer.bounds);
  Rect32 bounds;
  BrushRasterGetBounds(raster, bounds);
  if (bounds.IsEmpty()) {
    tracer.row = 1;
    tracer.last_row = 0;
    return;
  }
  tracer.row = bounds.ymin;
  tracer.last_row = bounds.ymax;
}

int TraceCoverageNext(BrushTracer& tracer, CPointList& out) {
  RectSetEmpty(tracer.bounds);
  BrushRaster& raster = *tracer.raster;
  for (; tracer.row <= tracer.last_row; ++tracer.row) {
    for (BrushSpan* s = raster.Row(tracer.row); s; s = s->next) {
      if (s->left_visited && s->right_visited) continue;
      const TraceEnd start{s, tracer.row, !s->left_visited};
      out.count = 0;
      OutlineWriter writer{out};
      TraceEnd at = start;
      while (!at.Visited()) {
        at.Visited() = 1;
        writer.Add({at.X(), at.row});
        at = NextEnd(raster, at);
      }
      // Closing: the end reached again, then the outline's first point.
      if (out.Add({at.X(), at.row}) != 0) writer.failed = true;
      if (!writer.failed && out.count > 0) {
        const Point32 first = out.items[0];
        if (out.Add(first) != 0) writer.failed = true;
      }
      if (writer.failed) {
        out.count = 0;
        continue;  // skip an outline that did not fit; its ends stay visited
      }
      out.GetBounds(tracer.bounds);
      return 0;
    }
  }
  out.count = 0;
  return kTraceEnd;
}

void TraceCoverageGetBounds(const BrushTracer& tracer, Rect32& out) {
  out = tracer.bounds;
}
