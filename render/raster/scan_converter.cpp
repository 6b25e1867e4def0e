#include "render/raster/scan_converter.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "render/raster/offscreen_bitmap.h"

namespace {

constexpr int64_t kOne = 0x10000;  // 1.0 in 16.16
constexpr int32_t kNoColumn = -32000;

// Column of a 16.16 position, rounding halves up.
int32_t RoundColumn(int64_t pos) {
  return Clamp32((pos + 0x8000) >> 16);
}

// The same for a position well inside 32 bits (no clamping).
int32_t RoundNarrowColumn(int64_t pos) {
  return static_cast<int32_t>((pos + 0x8000) >> 16);
}

// Curves whose points all lie within this distance of 0 never step outside
// 32-bit columns, even one step past their end.
constexpr int64_t kNarrowCurve = int64_t{1} << 28;

// 2^24 / n for the step counts of curves up to the height path input splits
// at (n = 2h): a table read instead of a slow division for every new curve.
constexpr int32_t kTabledSteps = 512;
constexpr std::array<int32_t, kTabledSteps + 1> kStepSizes = [] {
  std::array<int32_t, kTabledSteps + 1> sizes{};
  for (int32_t n = 1; n <= kTabledSteps; ++n) sizes[n] = 0x1000000 / n;
  return sizes;
}();

// FixedMul and FixedDiv on 64-bit operands, with the same rounding (products
// halves up, quotients halves away from zero); b = 0 gives 0.
int64_t FixedMul64(int64_t a, int64_t b) {
  const __int128 p = static_cast<__int128>(a) * b;
  return static_cast<int64_t>((p >> 16) + ((p >> 15) & 1));
}

int64_t FixedDiv64(int64_t a, int64_t b) {
  if (b == 0) return 0;
  const bool negative = (a < 0) != (b < 0);
  const unsigned __int128 ua = a < 0 ? -static_cast<__int128>(a) : a;
  const unsigned __int128 ub = b < 0 ? -static_cast<__int128>(b) : b;
  if (ua < (uint64_t{1} << 47)) {
    // The usual case: the shifted numerator fits 63 bits, and a 64-bit
    // division gives the same quotient and remainder.
    const uint64_t num = static_cast<uint64_t>(ua) << 16, den = static_cast<uint64_t>(ub);
    const uint64_t q = num / den + (2 * (num % den) >= den ? 1 : 0);
    return negative ? -static_cast<int64_t>(q) : static_cast<int64_t>(q);
  }
  const unsigned __int128 num = ua << 16;
  unsigned __int128 q = num / ub;
  if (2 * (num % ub) >= ub) ++q;
  const int64_t r = static_cast<int64_t>(std::min<unsigned __int128>(q, INT64_MAX));
  return negative ? -r : r;
}

}  // namespace

// The curve steppers are kept scalar: paired up into vector registers, the
// forward-difference step takes twice the instructions.
#define VM_SCALAR_STEPS __attribute__((optimize("no-tree-slp-vectorize")))

// A partly covered pixel whose sums are still growing, and the last sample
// of a patterned fill in the row (several runs often share a pixel).
struct CScanConverter::PendingPixel {
  int32_t column = kNoColumn;
  int32_t sums[3] = {0, 0, 0};
  int32_t n = 0;
  const CSpanFill* sampled = nullptr;
  int32_t sampled_column = 0;
  int32_t sample[3] = {0, 0, 0};
};

// ---- Active edges -----------------------------------------------------------

void CActiveEdge::Setup(const CScanEdge& edge, int32_t r, uint32_t interp) {
  const QuadCurve& c = edge.curve;
  const int64_t x0 = c.p0.x, y0 = c.p0.y;
  const int64_t cx = c.control.x, cy = c.control.y;
  const int64_t x1 = c.p2.x, y1 = c.p2.y;
  const int64_t h = y1 - y0;
  yEnd = c.p2.y;
  fillA = edge.fillA;
  fillB = edge.fillB;
  direction = edge.direction;
  kind = edge.kind;
  interpolate = interp;
  xPos = x0 * kOne;
  // CurveDeviation(c) > 1, inline: the control point's distance estimate
  // from the chord's midpoint (the larger offset plus half the smaller,
  // rounded up).
  const int64_t ex = std::abs(((x0 + x1) >> 1) - cx), ey = std::abs(((y0 + y1) >> 1) - cy);
  if (!c.straight && h <= kMaxSteppedCurveHeight && ex + ey - (std::min(ex, ey) >> 1) > 1) {
    // Forward differences over n = 2h parameter steps; s = 1/n with 24
    // fraction bits, s2 = s * s rounded to 24 (s < 2^23: no wrap).
    isLine = 0;
    const int64_t n = 2 * h;
    const int64_t s = n <= kTabledSteps ? kStepSizes[n] : 0x1000000 / n;
    const int64_t s2 = (s * s + (int64_t{1} << 23)) >> 24;
    // B(t) = P0 + 2t(C - P0) + t^2 (P0 - 2C + P2): the first difference
    // B(1/n) - B(0) includes half the second difference, without which the
    // walk would miss its end point by (P0 - 2C + P2) / n.
    ddx = 2 * (x0 - 2 * cx + x1) * s2;
    ddy = 2 * (y0 - 2 * cy + y1) * s2;
    dx = 2 * (cx - x0) * s + ddx / 2;
    dy = 2 * (cy - y0) * s + ddy / 2;
    yPos = y0 * kOne;
    count = n;
    x = c.p0.x;
    narrow = std::max({std::abs(x0), std::abs(cx), std::abs(x1)}) < kNarrowCurve;
    if (y0 < r) StepTo(r);
    return;
  }
  isLine = 1;
  // The slope, truncated toward zero; by a 32-bit division where it fits
  // (most lines), which is the faster one.
  const int64_t run = (x1 - x0) * kOne;
  dx = run == static_cast<int32_t>(run) && h <= INT32_MAX
           ? static_cast<int32_t>(run) / static_cast<int32_t>(h)
           : run / h;
  dy = ddx = ddy = 0;
  if (r != y0) xPos += dx * (r - y0);
  x = RoundColumn(xPos);
}

// The forward-difference walk of a curve up to the row `target` (16.16).
__attribute__((always_inline)) inline void CActiveEdge::StepCurve(int64_t target) {
  int64_t xp = xPos, yp = yPos, fdx = dx, fdy = dy, n = count;
  const int64_t sdx = ddx, sdy = ddy;
  while (yp < target && n >= 0) {
    yp += fdy >> 8;
    fdy += sdy;
    --n;
    xp += fdx >> 8;
    fdx += sdx;
  }
  xPos = xp;
  yPos = yp;
  dx = fdx;
  dy = fdy;
  count = n;
}

template <bool kNarrow>
__attribute__((always_inline)) inline void CActiveEdge::CurveColumns(int32_t base, int from) {
  for (int k = from; k < 4; ++k) {
    StepCurve(int64_t{base + k} * kOne);
    cols[k] = kNarrow ? RoundNarrowColumn(xPos) : RoundColumn(xPos);
  }
  x = cols[3];
}

VM_SCALAR_STEPS void CActiveEdge::StepTo(int32_t r) {
  if (isLine) {
    xPos += dx;
    x = RoundColumn(xPos);
    return;
  }
  const int64_t target = int64_t{r} * kOne;
  if (!interpolate) {
    StepCurve(target);
    x = RoundColumn(xPos);
    return;
  }
  int64_t xPrev = xPos, yPrev = yPos;
  const int64_t yStart = yPos;
  while (yPos < target && count >= 0) {
    xPrev = xPos;
    yPrev = yPos;
    yPos += dy >> 8;
    dy += ddy;
    --count;
    xPos += dx >> 8;
    dx += ddx;
  }
  if (interpolate && yPos != yStart && yPos != yPrev) {
    // Back along the last step to the row itself.
    x = RoundColumn(xPos + FixedDiv64(FixedMul64(target - yPos, xPos - xPrev), yPos - yPrev));
  } else {
    x = RoundColumn(xPos);
  }
}

VM_SCALAR_STEPS __attribute__((always_inline)) inline void CActiveEdge::StepPixelRow(int32_t base) {
  if (isLine) {
    int64_t pos = xPos;
    for (int k = 0; k < 4; ++k) {
      pos += dx;
      cols[k] = RoundColumn(pos);
    }
    xPos = pos;
    x = cols[3];
    return;
  }
  if (interpolate) {
    StepTo(base);
    FillColumns(base, 0);
    return;
  }
  if (narrow) {
    CurveColumns<true>(base, 0);
  } else {
    CurveColumns<false>(base, 0);
  }
}

VM_SCALAR_STEPS void CActiveEdge::FillColumns(int32_t base, int s) {
  cols[s] = x;
  if (isLine) {
    for (int k = s + 1; k < 4; ++k) {
      xPos += dx;
      cols[k] = RoundColumn(xPos);
    }
    x = cols[3];
    return;
  }
  if (!interpolate) {
    if (narrow) {
      CurveColumns<true>(base, s + 1);
    } else {
      CurveColumns<false>(base, s + 1);
    }
    return;
  }
  for (int k = s + 1; k < 4; ++k) {
    StepTo(base + k);
    cols[k] = x;
  }
}

// ---- Construction and target --------------------------------------------------

CScanConverter::CScanConverter() {
  edgePool.Init(sizeof(CActiveEdge), 128, 1, 0x33333333, alignof(CActiveEdge));
  rampPool.Init(sizeof(RampBlock), 16, 1, 0xEEEEEEEE, 64);
  ditherMode = 1;
  solidMode = 1;
  InitInput();
}

CScanConverter::~CScanConverter() {
  ResetInput();
  FreeActiveEdges();
  FreeErrorRows();
  BlockFree(buckets);
  buckets = nullptr;
  edgePool.FreeAll();
  rampPool.FreeAll();
  rampHand = nullptr;
}

static_assert(uint32_t{kOffscreen1Bit} == kScan1Bit && uint32_t{kOffscreen8Bit} == kScan8Bit &&
              uint32_t{kOffscreen555} == kScan555 && uint32_t{kOffscreen565} == kScan565 &&
              uint32_t{kOffscreen24} == kScan24Bit && uint32_t{kOffscreen32} == kScan32Bit);

void CScanConverter::SetTarget(COffscreenBitmap* bitmap, const Rect32* clipRect, uint32_t aa) {
  ScanTarget t;
  if (bitmap && bitmap->IsValid()) {
    // The offscreen format codes are the converter's codes 0 to 7.
    t.bits = bitmap->Bits();
    t.stride = bitmap->Stride();
    t.width = bitmap->Width();
    t.height = bitmap->Height();
    t.pixel_format = bitmap->Format();
    t.bottom_up = bitmap->BottomUp();
    t.palette = bitmap->Palette();
  }
  SetTarget(t, clipRect, aa);
  target = bitmap;
}

void CScanConverter::SetTarget(const ScanTarget& t, const Rect32* clipRect, uint32_t aa) {
  target = nullptr;
  surface = t;
  bottomUp = t.bottom_up;
  bits = t.bits;
  stride = t.stride;
  height = t.height;
  xOffset = t.x_offset;
  pixelFormat = t.pixel_format;
  palette = t.palette;
  antiAlias = aa;
  rowPtr = nullptr;
  rowY = -1;

  // The band: the target's rectangle cut by the clip rectangle. A target
  // without pixels has an empty band.
  int64_t x0 = 0, x1 = t.bits ? std::max(t.width, 0) : 0;
  int64_t y0 = 0, y1 = t.bits ? std::max(t.height, 0) : 0;
  if (clipRect) {
    if (clipRect->IsEmpty()) {
      x1 = y1 = 0;
    } else {
      x0 = std::max<int64_t>(x0, clipRect->xmin);
      x1 = std::min<int64_t>(x1, clipRect->xmax);
      y0 = std::max<int64_t>(y0, clipRect->ymin);
      y1 = std::min<int64_t>(y1, clipRect->ymax);
    }
  }
  if (x1 < x0) x1 = x0;
  if (y1 < y0) y1 = y0;
  targetRect = {static_cast<int32_t>(x0), static_cast<int32_t>(x1), static_cast<int32_t>(y0),
                static_cast<int32_t>(y1)};
  const int64_t scale = aa ? 4 : 1;
  xMin = Clamp32(x0 * scale);
  xMax = Clamp32(x1 * scale);
  yMin = Clamp32(y0 * scale);
  yMax = Clamp32(y1 * scale);
  rowCount = Clamp32(int64_t{yMax} - yMin + 1);
  if (rowCount < 0) {
    BlockFree(buckets);
    buckets = nullptr;
    bucketCapacity = 0;
  }
}

void CScanConverter::AllocBuckets() {
  if (rowCount > bucketCapacity) {
    void* block = buckets;
    if (BlockRealloc(static_cast<size_t>(rowCount) * sizeof(CScanEdge*), &block) != 0) {
      // Refused: without buckets every edge is skipped until a later call
      // succeeds.
      BlockFree(buckets);
      buckets = nullptr;
      bucketCapacity = 0;
      return;
    }
    buckets = static_cast<CScanEdge**>(block);
    bucketCapacity = rowCount;
  }
  if (!buckets) return;
  std::fill_n(buckets, bucketCapacity, nullptr);
  m_filed.clear();
  FreeActiveEdges();
  ClearFillState();
  dirty = 0;
}

void CScanConverter::AddEdgeList(CScanEdge* chain) {
  const bool haveBuckets = buckets && rowCount > 0 && bucketCapacity >= rowCount;
  for (CScanEdge* e = chain; e; e = e->next) {
    const int32_t y0 = e->curve.p0.y, y1 = e->curve.p2.y;
    // Edges starting on or below the last row, ending on or above the first,
    // or running upwards are never drawn.
    if (y0 >= yMax || y1 <= yMin || y1 <= y0 || !haveBuckets) continue;
    // Filed in order; RenderAll sorts them by row into one block, each row's
    // edges in the order a bucket pushed at its head gives (last filed first).
    try {
      m_filed.push_back(e);
    } catch (const std::bad_alloc&) {
      break;
    }
  }
  dirty = 1;
}

bool CScanConverter::SortFiledEdges() {
  // A counting sort of the filed edges by start row. Only pointers move: the
  // edges themselves stay where their owner keeps them.
  m_rowEdges.clear();
  try {
    m_rowStart.assign(static_cast<size_t>(rowCount) + 1, 0);
    m_rowEdges.resize(m_filed.size());
  } catch (const std::bad_alloc&) {
    m_filed.clear();
    m_rowStart.clear();
    return false;
  }
  auto rowOf = [this](const CScanEdge* e) { return std::max(e->curve.p0.y, yMin) - yMin; };
  auto clipped = [](const CSpanFill* f) { return f && f->clipId != 0; };
  m_clipEdges = false;
  for (const CScanEdge* e : m_filed) {
    ++m_rowStart[rowOf(e) + 1];
    if (e->kind == kEdgeToggleClip || clipped(e->fillA) || clipped(e->fillB)) m_clipEdges = true;
  }
  CheckDistinctPriorities();
  for (size_t r = 1; r < m_rowStart.size(); ++r) m_rowStart[r] += m_rowStart[r - 1];
  std::vector<int32_t>& next = m_activeX;  // free until the row loop starts
  next.assign(m_rowStart.begin(), m_rowStart.end() - 1);
  for (auto it = m_filed.rbegin(); it != m_filed.rend(); ++it) m_rowEdges[next[rowOf(*it)]++] = *it;
  next.clear();
  m_filed.clear();
  return true;
}

// Whether no two fills of the filed edges share a priority (anti-aliased
// renders without clips only). Then the top fill of a sample is the greatest
// inside fill whatever the order of the edges at one column (toggles and
// winding adds commute), and the rows may order such edges as they like.
void CScanConverter::CheckDistinctPriorities() {
  m_distinctPriorities = false;
  if (!antiAlias || m_clipEdges) return;
  // The filed edges' fills in filing order, each run of one fill once (an
  // outline's edges mostly share their fill).
  auto eachFill = [this](auto&& visit) {
    const CSpanFill* last = nullptr;
    for (const CScanEdge* e : m_filed) {
      for (const CSpanFill* f : {e->fillA, e->fillB}) {
        if (!f || f == last) continue;
        visit(f);
        last = f;
      }
    }
  };
  // Outlines are mostly filed in the order of their objects: priorities that
  // only rise (or only fall) are distinct without a sort or a list.
  bool rising = true, falling = true;
  const CSpanFill* previous = nullptr;
  eachFill([&](const CSpanFill* f) {
    if (previous) {
      rising = rising && previous->priority < f->priority;
      falling = falling && previous->priority > f->priority;
    }
    previous = f;
  });
  if (rising || falling) {
    m_distinctPriorities = true;
    return;
  }
  m_priorities.clear();
  try {
    eachFill([this](const CSpanFill* f) { m_priorities.emplace_back(f->priority, f); });
  } catch (const std::bad_alloc&) {
    return;
  }
  std::sort(m_priorities.begin(), m_priorities.end());
  bool shared = false;
  for (size_t i = 1; i < m_priorities.size(); ++i) {
    shared = shared || (m_priorities[i].first == m_priorities[i - 1].first &&
                        m_priorities[i].second != m_priorities[i - 1].second);
  }
  m_distinctPriorities = !shared;
  // Scratch: the memory goes back.
  m_priorities.clear();
  m_priorities.shrink_to_fit();
}

void CScanConverter::FreeActiveEdges() {
  for (CActiveEdge* e : m_active) edgePool.Free(e);
  for (CActiveEdge* e : m_spareEdges) edgePool.Free(e);
  m_spareEdges.clear();
  m_active.clear();
  m_activeX.clear();
}

// Edges that retire wait on a stack for the next new edge: the pool's free
// list would touch each block twice more.
inline CActiveEdge* CScanConverter::NewActiveEdge() {
  if (!m_spareEdges.empty()) {
    CActiveEdge* e = m_spareEdges.back();
    m_spareEdges.pop_back();
    return new (e) CActiveEdge;
  }
  void* memory = edgePool.Alloc();
  return memory ? new (memory) CActiveEdge : nullptr;
}

inline void CScanConverter::DropActiveEdge(CActiveEdge* e) {
  if (m_spareEdges.size() == m_spareEdges.capacity()) {
    try {
      m_spareEdges.reserve(std::max<size_t>(256, 2 * m_spareEdges.capacity()));
    } catch (const std::bad_alloc&) {
      edgePool.Free(e);
      return;
    }
  }
  m_spareEdges.push_back(e);
}

void CScanConverter::ClearFillState() {
  for (CSpanFill* f = insideHead; f;) {
    CSpanFill* next = f->insideNext;
    f->inside = 0;
    f->onInsideList = 0;
    f->insideNext = nullptr;
    f = next;
  }
  insideHead = nullptr;
  topFill = nullptr;
  topStart = 0;
  m_insideCount = 0;
  m_clips.clear();
  for (int s = 0; s < 4; ++s) {
    m_coverage[s].clear();
    m_coverageFloor[s] = INT32_MIN;
  }
}

void CScanConverter::SetRow(int32_t py) {
  rowY = py;
  const int64_t memoryRow = bottomUp ? int64_t{height} - 1 - py : py;
  rowPtr = bits + memoryRow * stride;
  if (errorRow) {
    // The errors carried into this row become current; the next row starts clean.
    std::swap(errorRow, errorNext);
    std::fill_n(errorNext, errorRowLength, 0);
  }
}

// ---- The row loop -------------------------------------------------------------

void CScanConverter::RenderAll() {
  const bool haveBuckets =
      buckets && rowCount > 0 && bucketCapacity >= rowCount && SortFiledEdges();
  if (antiAlias) {
    RenderRowsAntiAliased(haveBuckets);
  } else {
    RenderRowsPlain(haveBuckets);
  }
  FreeActiveEdges();
  FreeErrorRows();
  m_rowEdges.clear();  // the edges need not outlive the render
}

void CScanConverter::RenderRowsPlain(bool haveBuckets) {
  for (y = yMin; y < yMax; ++y) {
    if (m_active.empty()) {
      // Nothing crosses this row: go on at the next row that starts edges.
      if (!haveBuckets) break;
      while (y < yMax && !RowStartsEdges(y)) ++y;
      if (y >= yMax) break;
    }
    if (haveBuckets) InsertNewEdges();
    SortActiveEdges();
    StepRow(y);
  }
}

void CScanConverter::RenderRowsAntiAliased(bool haveBuckets) {
  // yMin and yMax are multiples of 4: whole pixel rows.
  for (int32_t base = yMin; base < yMax; base += 4) {
    if (m_active.empty()) {
      // Nothing crosses this pixel row: go on at the next one that starts edges.
      if (!haveBuckets) break;
      int32_t next = base;
      while (next < yMax && !RowStartsEdges(next)) ++next;
      if (next >= yMax) break;
      base = next - ((next - yMin) & 3);
    }
    RenderPixelRow(base, haveBuckets);
  }
}

namespace {

// An edge on one sub-scanline of the anti-aliased row walk: its quarter
// column (signed order kept) above its place in the row's table. Lists of
// these are ordered by the column alone. While a list is built, the mark bit
// of the low half notes an edge that some later edge of the order above
// passed (see BuildLane).
constexpr uint64_t kPassedMark = 0x80000000u;

// A column with its sign bit flipped: unsigned order is signed order.
uint32_t KeyColumn(int32_t col) {
  return static_cast<uint32_t>(col) ^ 0x80000000u;
}

uint64_t EventKey(uint32_t keyColumn, size_t index) {
  return uint64_t{keyColumn} << 32 | static_cast<uint32_t>(index);
}

int32_t EventColumn(uint64_t key) {
  return static_cast<int32_t>(static_cast<uint32_t>(key >> 32) ^ 0x80000000u);
}

size_t EventIndex(uint64_t key) {
  return static_cast<uint32_t>(key) & ~static_cast<uint32_t>(kPassedMark);
}

}  // namespace

template <typename OnEnter, typename OnLeave, typename OnClip>
__attribute__((always_inline)) inline void CScanConverter::SwitchFills(
    ScanEdgeKind kind, int8_t direction, CSpanFill* fillA, CSpanFill* fillB, int32_t x,
    OnEnter& enter, OnLeave& leave, OnClip& clip) {
  auto toggle = [&](CSpanFill* f) {
    if (f->inside) {
      f->inside = 0;
      --m_insideCount;
      leave(f, x);
    } else {
      f->inside = 1;
      ++m_insideCount;
      enter(f, x);
    }
  };
  switch (kind) {
    case kEdgeToggleTwoFills:
      if (fillA) toggle(fillA);
      if (fillB) toggle(fillB);
      break;
    case kEdgeToggleOneFill:
      if (fillA) toggle(fillA);
      break;
    case kEdgeAddWinding:
      if (CSpanFill* f = fillA) {
        const int32_t was = f->inside;
        f->inside = static_cast<int32_t>(static_cast<uint32_t>(was) +
                                         static_cast<uint32_t>(static_cast<int32_t>(direction)));
        if (was == 0 && f->inside != 0) {
          ++m_insideCount;
          enter(f, x);
        } else if (was != 0 && f->inside == 0) {
          --m_insideCount;
          leave(f, x);
        }
      }
      break;
    case kEdgeToggleClip:
      if (fillA) clip(fillA->clipId, x);
      break;
    default:
      break;  // unknown kinds switch nothing
  }
}

template <bool kClips>
inline CSpanFill* CScanConverter::GreatestInside() {
  // Drops the fills that went outside and picks the greatest priority among
  // the rest (with clips: whose clip is on); the first found (nearest the
  // head) wins a tie.
  CSpanFill* best = nullptr;
  CSpanFill** link = &insideHead;
  while (CSpanFill* f = *link) {
    if (f->inside == 0) {
      *link = f->insideNext;
      f->insideNext = nullptr;
      f->onInsideList = 0;
      continue;
    }
    if ((!kClips || f->clipId == 0 || ClipIsOn(f->clipId)) &&
        (!best || f->priority > best->priority)) {
      best = f;
    }
    link = &f->insideNext;
  }
  return best;
}

inline void CScanConverter::SetRowEdge(RowEdge& r, CActiveEdge* e) {
  // Written in place: a copy built on the stack was read back by wider
  // loads than its stores, which stalls.
  r.cols[0] = KeyColumn(e->cols[0]);  // four stores: std::copy became a call to memmove
  r.cols[1] = KeyColumn(e->cols[1]);
  r.cols[2] = KeyColumn(e->cols[2]);
  r.cols[3] = KeyColumn(e->cols[3]);
  r.y_end = e->yEnd;
  r.kind = e->kind;
  r.direction = e->direction;
  r.fill_a = e->fillA;
  r.fill_b = e->fillB;
  r.edge = e;
}

// One pixel row of four sub-scanlines. Every edge crossing the row is
// stepped once to its four columns; its table entry keeps them with what
// the walks read. Each sub-scanline's order is the one above it (or the
// last of the row above) less the edges that end, with the sub-scanline's
// new edges merged in, sorted stably by column.
VM_SCALAR_STEPS void CScanConverter::RenderPixelRow(int32_t base, bool haveBuckets) {
  const size_t fresh = haveBuckets
                           ? static_cast<size_t>(m_rowStart[std::min(base + 4, yMax) - yMin] -
                                                 m_rowStart[base - yMin])
                           : 0;
  const size_t room = m_active.size() + fresh;
  try {
    m_rowTable.reserve(room);
    for (int s = 0; s < 4; ++s) {
      if (m_laneEvents[s].size() <= room) m_laneEvents[s].resize(room + 1);
      if (m_changes[s].size() < room + 2) m_changes[s].resize(room + 2);
    }
    if (m_laneScratch.size() <= room) m_laneScratch.resize(room + 1);
    if (m_newKeys.size() < fresh) m_newKeys.resize(fresh);
    m_active.reserve(room);
  } catch (const std::bad_alloc&) {
    // No room to walk the row: the edges only step through it.
    for (CActiveEdge*& e : m_active) {
      if (e->yEnd <= base) {
        edgePool.Free(e);
        e = nullptr;
        continue;
      }
      e->StepTo(base);
      e->FillColumns(base, 0);
    }
    m_active.erase(std::remove(m_active.begin(), m_active.end(), nullptr), m_active.end());
    return;
  }

  // The edges going on from the row above.
  m_rowTable.clear();
  const size_t count = m_active.size();
  CActiveEdge* const* edges = m_active.data();
  for (size_t i = 0; i < count; ++i) {
    // The edges lie in x order, not in memory order: fetch ahead.
    if (i + 8 < count) {
      __builtin_prefetch(edges[i + 8]);
      __builtin_prefetch(reinterpret_cast<const char*>(edges[i + 8]) + sizeof(CActiveEdge) - 1);
    }
    CActiveEdge* e = edges[i];
    if (e->yEnd <= base) {
      DropActiveEdge(e);
      continue;
    }
    e->StepPixelRow(base);
    SetRowEdge(m_rowTable.emplace_back(), e);  // room was reserved
  }
  // The edges starting on each sub-scanline, in filing order.
  m_newStart[0] = m_rowTable.size();
  const CScanEdge* const* last = m_rowEdges.data() + m_rowEdges.size();
  for (int s = 0; s < 4; ++s) {
    if (fresh != 0 && base + s < yMax) {
      const size_t r = static_cast<size_t>(base + s - yMin);
      const CScanEdge* const* e = m_rowEdges.data() + m_rowStart[r];
      const CScanEdge* const* end = m_rowEdges.data() + m_rowStart[r + 1];
      for (; e != end; ++e) {
        if (last - e > 8) {
          // Both lines of an edge a few places on, past this sub-scanline's
          // own edges too.
          __builtin_prefetch(e[8]);
          __builtin_prefetch(reinterpret_cast<const char*>(e[8]) + sizeof(CScanEdge) - 1);
        }
        CActiveEdge* a = NewActiveEdge();
        if (!a) break;  // no more edges for this sub-scanline
        a->Setup(**e, base + s, 0);
        a->FillColumns(base, s);
        SetRowEdge(m_rowTable.emplace_back(), a);  // room was reserved
      }
    }
    m_newStart[s + 1] = m_rowTable.size();
  }

  m_rowBase = base;
  m_lanesBuilt = 0;
  y = base;
  if (m_clipEdges || m_insideCount != 0 || topFill || !m_clips.empty() || !WalkRowOnce(base)) {
    WalkRowBySubScanline();
    ResolveCoverageRow(base >> 2);
  }

  // The next row takes the edges in their order on the last sub-scanline;
  // those that end in this row go.
  m_active.clear();
  for (const uint64_t key : Lane(3)) m_active.push_back(m_rowTable[EventIndex(key)].edge);
  for (const RowEdge& e : m_rowTable)
    if (e.y_end <= base + 3) DropActiveEdge(e.edge);
}

// Hands add() the key of each edge that goes on into sub-scanline s from
// the one above (or from the row above), in the order above.
template <typename Add>
__attribute__((always_inline)) inline void CScanConverter::ForEachEdgeGoingOn(int s, Add& add) {
  const RowEdge* table = m_rowTable.data();
  if (s == 0) {
    for (size_t i = 0; i < m_newStart[0]; ++i) add(EventKey(table[i].cols[0], i));
    return;
  }
  const int32_t row = m_rowBase + s;
  for (const uint64_t key : Lane(s - 1)) {
    const size_t i = EventIndex(key);
    if (table[i].y_end > row) add(EventKey(table[i].cols[s], i));
  }
}

void CScanConverter::BuildLane(int s) {
  if (m_distinctPriorities) {
    BuildLaneInAnyTieOrder(s);
    return;
  }
  // The order is the stable sort by column of the order above (less the
  // edges that end) with the sub-scanline's new edges merged in from the
  // back, each after the last edge of a smaller column. Built here in two
  // passes: the edges going on are insertion-sorted as they come, marking
  // each edge that a later one passes. A marked edge lies before an edge of
  // a smaller column in the order above, so it stays ahead of the new edges
  // of its own column, while an unmarked one goes after them; the new edges
  // are merged in by that rule.
  const RowEdge* table = m_rowTable.data();
  const size_t newFirst = m_newStart[s];
  size_t k = m_newStart[s + 1] - newFirst;
  // Room was made; each list starts after a zero key, which no key sorts
  // below.
  uint64_t* const out = m_laneEvents[s].data() + 1;
  uint64_t* const sorted = k == 0 ? out : m_laneScratch.data() + 1;
  size_t n = 0;
  auto add = [sorted, &n](uint64_t key) {
    uint64_t* p = sorted + n++;
    while ((p[-1] >> 32) > (key >> 32)) {
      *p = p[-1] | kPassedMark;
      --p;
    }
    *p = key;
  };
  ForEachEdgeGoingOn(s, add);
  m_laneSize[s] = n + k;
  if (k == 0) return;
  // The new edges by column, in filing order among equal columns (their
  // places in the table follow it).
  uint64_t* const fresh = m_newKeys.data();  // room was made
  for (size_t j = 0; j < k; ++j) fresh[j] = EventKey(table[newFirst + j].cols[s], newFirst + j);
  std::sort(fresh, fresh + k);
  const uint64_t* from = sorted;
  const uint64_t* const fromEnd = sorted + n;
  uint64_t* to = out;
  for (size_t j = 0; j < k; ++j) {
    const uint64_t key = fresh[j];
    const uint64_t col = key >> 32;
    while (from != fromEnd &&
           ((*from >> 32) < col || ((*from >> 32) == col && (*from & kPassedMark) != 0)))
      *to++ = *from++;
    *to++ = key;
  }
  while (from != fromEnd) *to++ = *from++;
}

// BuildLane's order up to the order of edges of equal columns, for renders
// in which that order cannot change a pixel: one insertion pass over the
// order above, the new edges taken into it as the pass comes to their
// columns (no marks, no second pass).
void CScanConverter::BuildLaneInAnyTieOrder(int s) {
  const RowEdge* table = m_rowTable.data();
  const size_t newFirst = m_newStart[s];
  const size_t k = m_newStart[s + 1] - newFirst;
  uint64_t* const fresh = m_newKeys.data();  // room was made
  for (size_t j = 0; j < k; ++j) fresh[j] = EventKey(table[newFirst + j].cols[s], newFirst + j);
  std::sort(fresh, fresh + k);
  const uint64_t* nextFresh = fresh;
  const uint64_t* const freshEnd = fresh + k;
  uint64_t freshKey = k != 0 ? *nextFresh : UINT64_MAX;  // the next new edge's key
  // Room was made; the list starts after a zero key, which no key sorts below.
  uint64_t* const out = m_laneEvents[s].data() + 1;
  uint64_t* end = out;
  auto add = [&end](uint64_t key) {
    uint64_t* p = end++;
    while (p[-1] > key) {  // any order at equal columns will do
      *p = p[-1];
      --p;
    }
    *p = key;
  };
  auto take = [&](uint64_t key) {
    while (freshKey < key) {
      add(freshKey);
      freshKey = ++nextFresh != freshEnd ? *nextFresh : UINT64_MAX;
    }
    add(key);
  };
  ForEachEdgeGoingOn(s, take);
  while (nextFresh != freshEnd) add(*nextFresh++);
  const size_t n = static_cast<size_t>(end - out);
  m_laneSize[s] = n;
}

// Each sub-scanline is walked in its order with the fill state of the
// walk by sub-scanline, noting where the top fill changes instead of laying
// spans; the four lists of changes then give the runs over which all four
// keep their fills. A sub-scanline that ends with a fill inside (input that
// does not close) hands its state to the next one, which only the walk by
// sub-scanline carries: then the state is put back as the row found it and
// false returned. No clip edge or clipped fill comes this way, so the top
// fill is kept here and no inside count is needed (a fill is inside exactly
// when there is a top fill). The edge handlers are inlined here (flatten).
__attribute__((flatten)) bool CScanConverter::WalkRowOnce(int32_t base) {
  m_insideSnapshot.clear();
  try {
    for (CSpanFill* f = insideHead; f; f = f->insideNext) m_insideSnapshot.push_back(f);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const RowEdge* const table = m_rowTable.data();
  for (int s = 0; s < 4; ++s) {
    BuildLane(s);
    m_lanesBuilt = s + 1;
    // Room was made: at most one change per edge, after an entry that holds
    // the fill before the first change (none).
    Change* const changes = m_changes[s].data() + 1;
    changes[-1] = {INT32_MIN, nullptr};
    Change* out = changes;
    CSpanFill* top = nullptr;
    // One entry a column, and none where the column's changes bring back the
    // fill before it: every entry changes its sub-scanline's fill.
    auto change = [&](int32_t x, CSpanFill* fill) {
      if (out == changes || out[-1].x != x) {
        *out++ = {x, fill};
      } else if (out[-2].top == fill) {
        --out;
      } else {
        out[-1].top = fill;
      }
    };
    auto enter = [&](CSpanFill* f, int32_t x) {
      if (!top || f->priority > top->priority) {
        top = f;
        change(x, f);
      }
      if (!f->onInsideList) {
        f->insideNext = insideHead;
        insideHead = f;
        f->onInsideList = 1;
      }
    };
    auto leave = [&](CSpanFill* f, int32_t x) {
      if (f != top) return;
      // The greatest inside fill; it cannot be f, which is outside now.
      top = GreatestInside<false>();
      change(x, top);
    };
    auto toggle = [&](CSpanFill* f, int32_t x) {
      if (!f) return;
      if (f->inside != 0) {
        f->inside = 0;
        leave(f, x);
      } else {
        f->inside = 1;
        enter(f, x);
      }
    };
    for (const uint64_t key : Lane(s)) {
      const RowEdge& e = table[EventIndex(key)];
      const int32_t x = EventColumn(key);
      if (e.kind == kEdgeAddWinding) {  // outlines and strokes: the usual kind first
        if (CSpanFill* f = e.fill_a) {
          const int32_t was = f->inside;
          const int32_t now =
              static_cast<int32_t>(static_cast<uint32_t>(was) +
                                   static_cast<uint32_t>(static_cast<int32_t>(e.direction)));
          f->inside = now;
          if (was == 0) {
            if (now != 0) enter(f, x);
          } else if (now == 0) {
            leave(f, x);
          }
        }
      } else if (e.kind == kEdgeToggleOneFill) {
        toggle(e.fill_a, x);
      } else if (e.kind == kEdgeToggleTwoFills) {
        toggle(e.fill_a, x);
        toggle(e.fill_b, x);
      }
      // Clip edges take the walk by sub-scanline; unknown kinds switch nothing.
    }
    if (top) {
      for (CSpanFill* f = insideHead; f;) {
        CSpanFill* next = f->insideNext;
        f->inside = 0;
        f->insideNext = nullptr;
        f->onInsideList = 0;
        f = next;
      }
      insideHead = nullptr;
      for (auto it = m_insideSnapshot.rbegin(); it != m_insideSnapshot.rend(); ++it) {
        (*it)->insideNext = insideHead;
        (*it)->onInsideList = 1;
        insideHead = *it;
      }
      return false;
    }
    *out = {INT32_MAX, nullptr};  // room was made
  }

  // The runs: wherever a sub-scanline's top fill changes, the run since the
  // last change ends.
  const int32_t py = base >> 2;
  SetRow(py);
  PendingPixel pending;
  const Change* at[4] = {m_changes[0].data() + 1, m_changes[1].data() + 1, m_changes[2].data() + 1,
                         m_changes[3].data() + 1};
  CSpanFill* cur[4] = {};
  int32_t runStart = 0;
  // What the current fills add to a pixel per quarter column: how many
  // there are, their colour sums, and how many are patterned.
  int32_t count = 0, patterned = 0;
  int32_t plain[3] = {0, 0, 0};
  int32_t nextX[4] = {at[0]->x, at[1]->x, at[2]->x, at[3]->x};  // each list's next change
  const int32_t bandMin = xMin, bandMax = xMax;
  for (;;) {
    // Every entry changes its list's fill: the run ends at each entry.
    const int32_t x = std::min(std::min(nextX[0], nextX[1]), std::min(nextX[2], nextX[3]));
    if (x == INT32_MAX) break;
    if (count != 0) {
      const int32_t x0 = std::max(runStart, bandMin), x1 = std::min(x, bandMax);
      if (x0 < x1) {
        if (patterned == 0) {
          ResolveSolidRun(x0, x1, cur, count, plain, pending);
        } else {
          ResolveRun(x0, x1, cur, py, pending);
        }
      }
    }
    for (int s = 0; s < 4; ++s) {
      if (nextX[s] != x) continue;
      if (const CSpanFill* f = cur[s]) {
        --count;
        patterned -= f->kind != kSpanSolid;
        plain[0] -= f->red;
        plain[1] -= f->green;
        plain[2] -= f->blue;
      }
      CSpanFill* const f = at[s]->top;
      if (f) {
        ++count;
        patterned += f->kind != kSpanSolid;
        plain[0] += f->red;
        plain[1] += f->green;
        plain[2] += f->blue;
      }
      cur[s] = f;
      nextX[s] = (++at[s])->x;
    }
    runStart = x;
  }
  if (pending.n > 0) BlendPixel(pending.column, pending.sums, pending.n);
  return true;
}

void CScanConverter::WalkRowBySubScanline() {
  // Each sub-scanline starts from the state the one before it left.
  for (int s = 0; s < 4; ++s) {
    if (s >= m_lanesBuilt) {
      BuildLane(s);
      m_lanesBuilt = s + 1;
    }
    m_subRow = s;
    for (const uint64_t key : Lane(s))
      HandleEdge(*m_rowTable[EventIndex(key)].edge, EventColumn(key));
  }
}

void CScanConverter::Finish() {
  if (!dirty) return;
  RenderAll();
  AllocBuckets();
  backgroundValid = 1;
}

void CScanConverter::InsertNewEdges() {
  const size_t r = static_cast<size_t>(y - yMin);
  const CScanEdge* const* e = m_rowEdges.data() + m_rowStart[r];
  const CScanEdge* const* end = m_rowEdges.data() + m_rowStart[r + 1];
  if (e == end) return;
  // The row's new edges, set up and sorted by column (stable: filing order
  // among equal columns), then merged into the active list in one pass;
  // each goes before the active edges of its own column.
  m_newEdges.clear();
  const size_t room = m_active.size() + static_cast<size_t>(end - e);
  try {
    m_active.reserve(room);
    m_activeX.reserve(room);
    m_newEdges.reserve(static_cast<size_t>(end - e));
  } catch (const std::bad_alloc&) {
    return;
  }
  for (; e != end; ++e) {
    if (end - e > 4) __builtin_prefetch(e[4]);
    CActiveEdge* a = NewActiveEdge();
    if (!a) break;  // no more edges for this row
    a->Setup(**e, y, 1);
    // Insertion sort: a row's new edges come from few outlines.
    size_t j = m_newEdges.size();
    m_newEdges.push_back(a);  // room was reserved
    while (j > 0 && m_newEdges[j - 1]->x > a->x) {
      m_newEdges[j] = m_newEdges[j - 1];
      --j;
    }
    m_newEdges[j] = a;
  }
  // Merge from the back.
  const size_t n = m_active.size(), m = m_newEdges.size();
  m_active.resize(n + m);
  m_activeX.resize(n + m);
  CActiveEdge** list = m_active.data();
  int32_t* xs = m_activeX.data();
  size_t i = n, k = m, out = n + m;
  while (k > 0) {
    CActiveEdge* a = m_newEdges[k - 1];
    if (i > 0 && xs[i - 1] >= a->x) {
      --out;
      --i;
      list[out] = list[i];
      xs[out] = xs[i];
    } else {
      --out;
      --k;
      list[out] = a;
      xs[out] = a->x;
    }
  }
}

void CScanConverter::SortActiveEdges() {
  // Stable insertion sort: the same order as repeated adjacent swaps, and
  // linear on the nearly sorted list of one row to the next.
  CActiveEdge** a = m_active.data();
  int32_t* xs = m_activeX.data();
  const size_t n = m_active.size();
  for (size_t i = 1; i < n; ++i) {
    const int32_t x = xs[i];
    if (xs[i - 1] <= x) continue;
    CActiveEdge* e = a[i];
    size_t j = i;
    while (j > 0 && xs[j - 1] > x) {
      a[j] = a[j - 1];
      xs[j] = xs[j - 1];
      --j;
    }
    a[j] = e;
    xs[j] = x;
  }
}

void CScanConverter::StepRow(int32_t row) {
  SetRow(row);
  size_t kept = 0;
  const size_t n = m_active.size();
  CActiveEdge** list = m_active.data();
  for (size_t i = 0; i < n; ++i) {
    // The edges lie in x order, not in memory order: fetch ahead.
    if (i + 8 < n) __builtin_prefetch(list[i + 8]);
    if (i + 4 < n) __builtin_prefetch(list[i + 4]->fillA);
    CActiveEdge* e = list[i];
    HandleEdge(*e, e->x);
    if (row + 1 < e->yEnd) {
      e->StepTo(row + 1);
      m_activeX[kept] = e->x;
      list[kept++] = e;
    } else {
      DropActiveEdge(e);
    }
  }
  m_active.resize(kept);
  m_activeX.resize(kept);
}

// ---- Fill activation ------------------------------------------------------------

void CScanConverter::HandleEdge(const CActiveEdge& e, int32_t x) {
  auto enter = [this](CSpanFill* f, int32_t at) { ActivateFill(f, at); };
  auto leave = [this](CSpanFill* f, int32_t at) {
    if (f == topFill) DeactivateFill(at);
  };
  auto clip = [this](int32_t id, int32_t at) { ToggleClip(id, at); };
  SwitchFills(e.kind, e.direction, e.fillA, e.fillB, x, enter, leave, clip);
}

bool CScanConverter::ClipIsOn(int32_t clipId) const {
  return std::find_if(m_clips.begin(), m_clips.end(),
                      [clipId](const Clip& c) { return c.id == clipId && c.on; }) != m_clips.end();
}

void CScanConverter::PushInside(CSpanFill* f) {
  if (f->onInsideList) return;
  f->insideNext = insideHead;
  insideHead = f;
  f->onInsideList = 1;
}

void CScanConverter::ActivateFill(CSpanFill* f, int32_t x) {
  if (f->clipId == 0 || ClipIsOn(f->clipId)) {
    if (!topFill) {
      topFill = f;
      topStart = x;
    } else if (f->priority > topFill->priority) {
      EmitSpan(x);
      topFill = f;
      topStart = x;
    }
  }
  PushInside(f);
}

void CScanConverter::DeactivateFill(int32_t x) {
  CSpanFill* const best = GreatestInside<true>();
  if (best != topFill) {
    if (topFill) EmitSpan(x);
    topFill = best;
    topStart = x;
  }
}

void CScanConverter::ToggleClip(int32_t clipId, int32_t x) {
  // Only clips that are on stay on the list.
  const auto it = std::find_if(m_clips.begin(), m_clips.end(),
                               [clipId](const Clip& c) { return c.id == clipId; });
  if (it != m_clips.end()) {
    m_clips.erase(it);
  } else {
    try {
      m_clips.push_back({clipId, 1});
    } catch (const std::bad_alloc&) {
      return;
    }
  }
  DeactivateFill(x);
}

void CScanConverter::EmitSpan(int32_t x) {
  if (antiAlias) {
    AddCoverageSpan(topStart, x, topFill);
    return;
  }
  const int32_t x0 = std::max(topStart, targetRect.xmin);
  const int32_t x1 = std::min(x, targetRect.xmax);
  if (x0 < x1 && topFill->spanProc) topFill->spanProc(this, x0, x1, topFill);
}

// ---- Coverage -------------------------------------------------------------------

void CScanConverter::AddCoverageSpan(int32_t a, int32_t b, CSpanFill* fill) {
  // Spans of one sub-scanline come left to right; one that starts left of
  // where the previous one ended only covers what lies beyond it.
  int32_t& floor = m_coverageFloor[m_subRow];
  const int32_t lo = std::max({a, floor, xMin});
  const int32_t hi = std::min(b, xMax);
  floor = std::max({floor, a, b});
  if (lo >= hi) return;
  std::vector<CoverageSpan>& spans = m_coverage[m_subRow];
  if (!spans.empty() && spans.back().x1 == lo && spans.back().fill == fill) {
    spans.back().x1 = hi;
    return;
  }
  try {
    spans.push_back({lo, hi, fill});
  } catch (const std::bad_alloc&) {
  }
}

void CScanConverter::ResolveCoverageRow(int32_t py) {
  SetRow(py);
  PendingPixel pending;

  // Merge the four sub-scanlines' spans into runs over which every
  // sub-scanline keeps one fill (or none); adjacent runs with the same fills
  // are joined.
  const CoverageSpan* cur[4];
  const CoverageSpan* end[4];
  int32_t x = INT32_MAX;
  for (int s = 0; s < 4; ++s) {
    cur[s] = m_coverage[s].data();
    end[s] = cur[s] + m_coverage[s].size();
    if (cur[s] != end[s]) x = std::min(x, cur[s]->x0);
  }
  CSpanFill* runFills[4] = {};
  int32_t runX0 = 0, runX1 = 0;
  bool haveRun = false;
  for (;;) {
    int32_t next = INT32_MAX;
    CSpanFill* fills[4];
    bool any = false;
    for (int s = 0; s < 4; ++s) {
      while (cur[s] != end[s] && cur[s]->x1 <= x) ++cur[s];
      fills[s] = nullptr;
      if (cur[s] == end[s]) continue;
      if (cur[s]->x0 <= x) {
        fills[s] = cur[s]->fill;
        any = true;
        next = std::min(next, cur[s]->x1);
      } else {
        next = std::min(next, cur[s]->x0);
      }
    }
    if (next == INT32_MAX) break;
    if (any) {
      if (haveRun && runX1 == x && std::equal(fills, fills + 4, runFills)) {
        runX1 = next;
      } else {
        if (haveRun) ResolveRun(runX0, runX1, runFills, py, pending);
        std::copy(fills, fills + 4, runFills);
        runX0 = x;
        runX1 = next;
        haveRun = true;
      }
    }
    x = next;
  }
  if (haveRun) ResolveRun(runX0, runX1, runFills, py, pending);
  if (pending.n > 0) BlendPixel(pending.column, pending.sums, pending.n);

  for (int s = 0; s < 4; ++s) {
    m_coverage[s].clear();
    m_coverageFloor[s] = INT32_MIN;
  }
}

// WriteBlendedPixel with the plain 32-bit target written here directly: the
// row walk's partly covered pixels nearly all go to such targets.
inline void CScanConverter::BlendPixel(int32_t x, const int32_t sums[3], int32_t n) {
  if (pixelFormat != kScan32Bit || !rowPtr) {
    WriteBlendedPixel(x, sums, n);
    return;
  }
  uint8_t* p = rowPtr + 4 * (ptrdiff_t{x} + xOffset);
  uint32_t v;
  if (backgroundValid == 0 || n > 15) {
    const int32_t white = (16 - n) * 255;
    v = static_cast<uint32_t>((sums[0] + white) >> 4 & 0xFF) << 16 |
        static_cast<uint32_t>((sums[1] + white) >> 4 & 0xFF) << 8 |
        static_cast<uint32_t>((sums[2] + white) >> 4 & 0xFF);
  } else {
    uint32_t old;
    std::memcpy(&old, p, 4);
    const int32_t keep = 16 - n;
    v = static_cast<uint32_t>((static_cast<int32_t>(old >> 16 & 0xFF) * keep + sums[0]) >> 4 & 0xFF)
            << 16 |
        static_cast<uint32_t>((static_cast<int32_t>(old >> 8 & 0xFF) * keep + sums[1]) >> 4 & 0xFF)
            << 8 |
        static_cast<uint32_t>((static_cast<int32_t>(old & 0xFF) * keep + sums[2]) >> 4 & 0xFF);
  }
  std::memcpy(p, &v, 4);
}

// Splits the run [x0, x1) (quarter columns) into the parts of pixels at its
// ends, given to part(column, width), and the whole pixels [i, e) between,
// given to whole(i, e).
namespace {
template <typename Part, typename Whole>
__attribute__((always_inline)) inline void SplitRun(int32_t x0, int32_t x1, Part&& part,
                                                    Whole&& whole) {
  int32_t i = x0 >> 2;
  const int32_t e = x1 >> 2;
  const int32_t f = x1 & 3;
  if (i == e) {
    part(i, f - (x0 & 3));
    return;
  }
  if (x0 & 3) {
    part(i, 4 - (x0 & 3));
    ++i;
  }
  if (i < e) whole(i, e);
  if (f) part(e, f);
}
}  // namespace

// Adds w quarter columns of c fills whose colours sum to colour to the
// pending pixel, after writing out the pending pixel of another column.
inline void CScanConverter::AddToPending(PendingPixel& pending, int32_t column, int32_t w,
                                         const int32_t colour[3], int32_t c) {
  if (pending.column != column) {
    if (pending.n > 0) BlendPixel(pending.column, pending.sums, pending.n);
    pending.column = column;
    pending.sums[0] = pending.sums[1] = pending.sums[2] = 0;
    pending.n = 0;
  }
  pending.sums[0] += w * colour[0];
  pending.sums[1] += w * colour[1];
  pending.sums[2] += w * colour[2];
  pending.n += w * c;
}

// ResolveRun for runs of solid fills only, given the number of fills and
// their colour sum that the run merge keeps.
__attribute__((always_inline)) inline void CScanConverter::ResolveSolidRun(
    int32_t x0, int32_t x1, CSpanFill* const fills[4], int32_t c, const int32_t plain[3],
    PendingPixel& pending) {
  auto part = [&](int32_t column, int32_t w) { AddToPending(pending, column, w, plain, c); };
  auto whole = [&](int32_t i, int32_t e) {
    CSpanFill* const first = fills[0];
    if (c == 4 && fills[1] == first && fills[2] == first && fills[3] == first && first->spanProc) {
      first->spanProc(this, i, e, first);
    } else {
      WholeSolidPixels(i, e, c, plain);
    }
  };
  SplitRun(x0, x1, part, whole);
}

// Whole pixels [i, e) of a run of c solid fills whose colours sum to plain.
void CScanConverter::WholeSolidPixels(int32_t i, int32_t e, int32_t c, const int32_t plain[3]) {
  const int32_t sums[3] = {4 * plain[0], 4 * plain[1], 4 * plain[2]};
  BlendPixel(i, sums, 4 * c);
  if (c == 4 && pixelFormat == kScan32Bit && rowPtr) {
    // Fully covered: every pixel of the run takes the first one's value.
    uint8_t* p = rowPtr + 4 * (ptrdiff_t{i} + xOffset);
    for (int32_t k = 1; k < e - i; ++k) std::memcpy(p + 4 * k, p, 4);
  } else {
    for (int32_t p = i + 1; p < e; ++p) BlendPixel(p, sums, 4 * c);
  }
}

void CScanConverter::ResolveRun(int32_t x0, int32_t x1, CSpanFill* const fills[4], int32_t py,
                                PendingPixel& pending) {
  CSpanFill* list[4];
  int32_t c = 0;
  bool patterned = false, uniform = true;
  int32_t plain[3] = {0, 0, 0};  // sum of the fills' colours, each once per sub-scanline
  for (int s = 0; s < 4; ++s) {
    CSpanFill* f = fills[s];
    if (!f) continue;
    if (c > 0 && f != list[0]) uniform = false;
    list[c++] = f;
    patterned = patterned || f->kind != kSpanSolid;
    plain[0] += f->red;
    plain[1] += f->green;
    plain[2] += f->blue;
  }
  if (c == 0) return;
  if (!patterned) {
    ResolveSolidRun(x0, x1, fills, c, plain, pending);
    return;
  }
  CSpanFill* const first = list[0];

  // The colour sum at pixel p: each fill sampled there (a fill repeated in
  // the list is sampled once).
  auto sample = [&](const CSpanFill* fill, int32_t p) {
    if (pending.sampled != fill || pending.sampled_column != p) {
      SampleFill(fill, p, py, pending.sample);
      pending.sampled = fill;
      pending.sampled_column = p;
    }
  };
  auto colourAt = [&](int32_t p, int32_t out[3]) {
    if (uniform) {
      sample(first, p);
      for (int ch = 0; ch < 3; ++ch) out[ch] = pending.sample[ch] * c;
      return;
    }
    out[0] = out[1] = out[2] = 0;
    for (int k = 0; k < c; ++k) {
      const CSpanFill* const fill = list[k];
      bool seen = false;
      int32_t times = 1;
      for (int j = 0; j < k; ++j) seen = seen || list[j] == fill;
      if (seen) continue;
      for (int j = k + 1; j < c; ++j) times += list[j] == fill;
      sample(fill, p);
      for (int ch = 0; ch < 3; ++ch) out[ch] += pending.sample[ch] * times;
    }
  };
  auto part = [&](int32_t column, int32_t w) {
    int32_t col[3];
    colourAt(column, col);
    AddToPending(pending, column, w, col, c);
  };
  auto whole = [&](int32_t i, int32_t e) {
    if (uniform && c == 4 && first->spanProc) {
      first->spanProc(this, i, e, first);
      return;
    }
    for (int32_t p = i; p < e; ++p) {
      int32_t col[3];
      colourAt(p, col);
      const int32_t sums[3] = {4 * col[0], 4 * col[1], 4 * col[2]};
      BlendPixel(p, sums, 4 * c);
    }
  };
  SplitRun(x0, x1, part, whole);
}

// ---- Clearing -------------------------------------------------------------------

void CScanConverter::Clear(int32_t colour) {
  CSpanFill fill;
  fill.Init(this);
  fill.colour = static_cast<uint32_t>(colour);
  fill.red = colour & 0xFF;
  fill.green = (colour >> 8) & 0xFF;
  fill.blue = (colour >> 16) & 0xFF;
  const uint32_t format = pixelFormat;
  // With alpha the band is cleared as plain 32 bits.
  if (pixelFormat == kScan32BitAlpha) pixelFormat = kScan32Bit;
  fill.Prepare();

  CScanEdge left, right;
  left.curve = {{xMin, yMin}, {xMin, yMin}, {xMin, yMax}, 1};
  right.curve = {{xMax, yMin}, {xMax, yMin}, {xMax, yMax}, 1};
  left.kind = right.kind = kEdgeToggleOneFill;
  left.fillA = right.fillA = &fill;
  left.next = &right;
  AllocBuckets();
  AddEdgeList(&left);
  RenderAll();
  AllocBuckets();

  fill.Free();
  pixelFormat = format;
  backgroundValid = colour != -1;
}
