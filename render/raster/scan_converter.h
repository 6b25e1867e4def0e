// The scan converter: draws filled outlines of straight and quadratic edges
// into a bitmap, with optional 4 x 4 anti-aliasing.
//
// Painting goes by fill priority, not by overdraw: at every sample only the
// inside fill with the greatest priority is drawn, so stacked shapes cost one
// write per pixel. In anti-aliasing mode every coordinate is in quarter pixels
// (x in quarter columns, y in sub-scanlines, four per pixel row).
//
// Use: SetTarget, AllocBuckets, AddEdgeList (the edges must stay alive until
// the next AllocBuckets), Finish. Nothing here throws or reports an error: an
// allocation that fails skips the element it was for.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "geometry/curve.h"
#include "geometry/fill_rule.h"
#include "geometry/fixed.h"
#include "geometry/pool.h"
#include "render/raster/palette.h"
#include "render/raster/span_fill.h"
#include "render/raster/stroke_outline.h"

class COffscreenBitmap;
class CDib;

// Pixel formats of a scan-converter target.
enum ScanPixelFormat : uint32_t {
  kScan1Bit = 0,  // palette formats: 1, 2, 4 and 8 bits
  kScan2Bit = 1,
  kScan4Bit = 2,
  kScan8Bit = 3,
  kScan555 = 4,        // 16 bits 5-5-5
  kScan565 = 5,        // 16 bits 5-6-5
  kScan24Bit = 6,      // B, G, R bytes
  kScan32Bit = 7,      // B, G, R and an ignored fourth byte
  kScan32BitAlpha = 8  // B, G, R, A
};

// The pixel memory a converter draws into (an offscreen bitmap's, or any
// other rows of pixels).
struct ScanTarget {
  uint8_t* bits = nullptr;
  int32_t stride = 0;  // bytes per row
  int32_t width = 0;
  int32_t height = 0;
  uint32_t pixel_format = kScan32Bit;
  uint32_t bottom_up = 0;  // row 0 is the last one in memory
  int32_t x_offset = 0;    // added to every column before writing
  CSharedPalette* palette = nullptr;
};

// Edge handlers, selected by an edge's kind.
enum ScanEdgeKind : uint8_t {
  kEdgeToggleTwoFills = 0,  // toggles fill A, then fill B
  kEdgeToggleOneFill = 1,   // toggles fill A
  kEdgeAddWinding = 2,      // adds the direction to fill A's winding count
  kEdgeToggleClip = 3,      // toggles the clip of fill A's clip id
};

// A fill rule is carried out by the edge kind of the same value.
constexpr ScanEdgeKind EdgeKindOf(FillRule rule) {
  return static_cast<ScanEdgeKind>(rule);
}
static_assert(EdgeKindOf(FillRule::kTwoSided) == kEdgeToggleTwoFills);
static_assert(EdgeKindOf(FillRule::kEvenOdd) == kEdgeToggleOneFill);
static_assert(EdgeKindOf(FillRule::kNonZero) == kEdgeAddWinding);

// An input edge in device units; curve.p0.y < curve.p2.y.
struct CScanEdge {
  CScanEdge* next = nullptr;        // chain link
  CScanEdge* bucketNext = nullptr;  // link inside a row bucket
  CSpanFill* fillA = nullptr;
  CSpanFill* fillB = nullptr;
  QuadCurve curve;
  ScanEdgeKind kind = kEdgeToggleOneFill;
  int8_t direction = 1;  // +1 runs down as drawn, -1 when the ends were swapped
};

// An edge crossing the current row. Positions are 64-bit 16.16 values and the
// curve differences carry 24 fraction bits, so edges far outside the bitmap
// step without overflow.
struct CActiveEdge {
  int32_t x = 0;     // current column, rounded
  int32_t yEnd = 0;  // the row at which the edge retires
  int64_t dx = 0;    // lines: the slope (16.16); curves: first difference
  int64_t dy = 0;
  int64_t ddx = 0;  // curves: second differences
  int64_t ddy = 0;
  int64_t xPos = 0;      // 16.16
  int64_t yPos = 0;      // 16.16 (curves)
  int64_t count = 0;     // curve steps remaining
  int32_t cols[4] = {};  // anti-aliasing: the columns at the four sub-scanlines of the pixel row
  CSpanFill* fillA = nullptr;
  CSpanFill* fillB = nullptr;
  int8_t direction = 1;
  ScanEdgeKind kind = kEdgeToggleOneFill;
  uint8_t narrow = 0;  // curves: every point within kNarrowCurve of 0 (columns need no clamp)
  uint32_t isLine = 1;
  uint32_t interpolate = 0;  // curves: interpolate the column back to the row

  // Starts the edge at row r (r >= y0 of the edge).
  void Setup(const CScanEdge& edge, int32_t r, uint32_t interpolate);
  // Advances to row r.
  void StepTo(int32_t r);
  // Curves: the forward differences up to the row target (16.16).
  void StepCurve(int64_t target);
  // Curves stepped without interpolation: cols[from .. 3] at the rows
  // base + from .. base + 3; kNarrow rounds without clamping.
  template <bool kNarrow>
  void CurveColumns(int32_t base, int from);
  // With the edge at row base + s: cols[s .. 3] for the rows base + s ..
  // base + 3, leaving the edge at row base + 3 (x is then free for other use
  // until the next StepTo).
  void FillColumns(int32_t base, int s);
  // The same as StepTo(base) and FillColumns(base, 0) of an edge left at
  // row base - 1.
  void StepPixelRow(int32_t base);
};

// Curves taller than this (device units) are stepped as their chord: the
// forward differences lose all precision long before it, and the stepping
// work grows with the height. Path input splits curves to 256 units.
constexpr int64_t kMaxSteppedCurveHeight = 0x10000;

struct EdgeGraph;
struct FillStyle;
struct LineStyle;
struct PointList;

class CScanConverter {
 public:
  CScanConverter();
  // A converter over an offscreen bitmap: device pixels minus the origin are
  // bitmap pixels; clipRect (device pixels) limits the band. High quality
  // means anti-aliasing, smooth bitmaps and error diffusion.
  CScanConverter(COffscreenBitmap* bitmap, const Rect32* clipRect, const Point32* origin,
                 uint32_t highQuality);
  ~CScanConverter();
  CScanConverter(const CScanConverter&) = delete;
  CScanConverter& operator=(const CScanConverter&) = delete;

  // Binds the converter to a bitmap; the band is the bitmap's rectangle cut by
  // clipRect (pixels, xmax and ymax exclusive; null for all of it).
  void SetTarget(COffscreenBitmap* bitmap, const Rect32* clipRect, uint32_t antiAlias);
  // The same for pixel memory described directly.
  void SetTarget(const ScanTarget& surface, const Rect32* clipRect, uint32_t antiAlias);
  // Makes the row buckets (grows only) and empties them, the active edges and
  // the fill state; when memory is refused the buckets are gone and edges
  // are skipped until a later call succeeds.
  void AllocBuckets();
  // Files each edge of the chain under its start row (edges wholly above or
  // below the band are skipped).
  void AddEdgeList(CScanEdge* chain);
  // Draws every filed edge.
  void RenderAll();
  // RenderAll and AllocBuckets when edges were added; the target then counts
  // as a valid background.
  void Finish();
  // Fills the band with a colour (red in the low byte); -1 paints white and
  // leaves the background invalid.
  void Clear(int32_t colour);
  // Selects pixel row y for writing.
  void SetRow(int32_t y);

  // Pixel writers (columns before the x offset).
  // Writes colours[0 .. x1 - x0) (red, green, blue each) to the current row.
  void WriteColorSpan(int32_t x0, int32_t x1, const uint8_t* colours);
  // One anti-aliased pixel: sums of colour times sub-samples, n sub-samples
  // covered out of 16.
  void WriteBlendedPixel(int32_t x, const int32_t sums[3], int32_t n);
  // Palette indices of colours[0 .. x1 - x0) for columns [x0, x1) of the
  // current row, by the dither mode.
  void WriteIndexedSpan(int32_t x0, int32_t x1, const uint8_t* colours, uint8_t* out);
  // The colour of a fill at pixel (x, y) for coverage sums.
  void SampleFill(const CSpanFill* fill, int32_t x, int32_t y, int32_t rgb[3]) const;
  // The target palette's colour-to-index map (all zero without a palette)
  // and its colours (red in the low byte; black past the table).
  const InverseColorMap& ColourMap() const;
  uint32_t PaletteColour(uint32_t index) const;

  // Span callbacks: plain solid colours through the colour writer, solid
  // patterns by target format (1, 2, 4, 8, 16, 24 and 32 bits), bitmaps and
  // gradients.
  static void SolidColorSpan(CScanConverter* converter, int32_t x0, int32_t x1, CSpanFill* fill);
  static void PatternSpan1(CScanConverter* converter, int32_t x0, int32_t x1, CSpanFill* fill);
  static void PatternSpan2(CScanConverter* converter, int32_t x0, int32_t x1, CSpanFill* fill);
  static void PatternSpan4(CScanConverter* converter, int32_t x0, int32_t x1, CSpanFill* fill);
  static void PatternSpan8(CScanConverter* converter, int32_t x0, int32_t x1, CSpanFill* fill);
  static void PatternSpan16(CScanConverter* converter, int32_t x0, int32_t x1, CSpanFill* fill);
  static void PatternSpan24(CScanConverter* converter, int32_t x0, int32_t x1, CSpanFill* fill);
  static void PatternSpan32(CScanConverter* converter, int32_t x0, int32_t x1, CSpanFill* fill);
  static void BitmapFillSpan(CScanConverter* converter, int32_t x0, int32_t x1, CSpanFill* fill);
  static void GradientFillSpan(CScanConverter* converter, int32_t x0, int32_t x1, CSpanFill* fill);

  // ---- Input: paths, fills, strokes and bitmaps in document coordinates ------
  // The object matrix (document to device pixels) and the matrix that scales
  // line widths (null: the object matrix).
  void SetMatrix(const Matrix2x3& objectMatrix, const Matrix2x3* widthMatrix);
  // Starts an outline with fill A (and fill B on the other side of a
  // two-sided boundary) at `start`. Returns whether the outline will draw
  // anything.
  bool BeginFill(const FillStyle* fillA, const FillStyle* fillB, const Point32& start,
                 FillRule rule);
  void MoveTo(const Point32& p);
  void FillLineTo(const Point32& p);
  void FillCurveTo(const Point32& control, const Point32& p);
  // Starts a stroke (null: none); returns whether it is on.
  bool BeginStroke(const LineStyle* line, const Point32& start);
  void StrokeLineTo(const Point32& p);
  void StrokeCurveTo(const Point32& control, const Point32& p);
  void EndStroke();
  // A closed path filled with the rule, then stroked; each part is a new
  // object above everything added before.
  void AddPath(const PointList& path, const LineStyle* line, const FillStyle* fill, FillRule rule);
  // An image placed by imageMatrix (image pixels to document coordinates);
  // false when no fill record could be made.
  [[nodiscard]] bool AddBitmap(const CDib& image, const Matrix2x3& imageMatrix);
  // A shape's edge graph as one new object: every edge once, with the fills
  // of its two sides (a boundary between equal fills draws nothing), then
  // its plain lines (styled kinds are drawn by the render context's styled
  // strokes), one object per line style. Graph units are twips * 256.
  void AddEdgeGraph(const EdgeGraph& graph);
  // The fill record of a fill style for the current object (null for no
  // fill or when memory runs out).
  [[nodiscard]] CSpanFill* FindOrAddFill(const FillStyle& style);
  void PrepareFills();
  // Draws everything added since the last ResetInput.
  void Render();
  // Drops the input edges and fill records; the object ids start again.
  void ResetInput();
  // One edge in device units (every outline and stroke comes through here).
  void AddCurve(const QuadCurve& curve);
  void AddLine(const Point32& p0, const Point32& p1);

  // ---- Fields ----------------------------------------------------------------
  uint32_t antiAlias = 0;
  int32_t backgroundValid = 0;
  int32_t smoothBitmaps = 0;
  int32_t ditherMode = 1;
  uint32_t solidMode = 1;
  uint32_t dirty = 0;

  COffscreenBitmap* target = nullptr;  // null when drawing into other memory
  ScanTarget surface;
  CSharedPalette* palette = nullptr;

  // Band, in device units (quarter pixels in anti-aliasing mode); rows
  // yMin .. yMax - 1 and columns xMin .. xMax - 1 are drawn.
  int32_t xMin = 0;
  int32_t xMax = 0;
  int32_t yMin = 0;
  int32_t yMax = 0;
  Rect32 targetRect;  // the band in pixels, xmax and ymax exclusive
  uint32_t phaseX = 0;
  uint32_t phaseY = 0;

  // Fill activation state.
  CSpanFill* insideHead = nullptr;
  CSpanFill* topFill = nullptr;
  int32_t topStart = 0;

  // Row buckets and the current row.
  CScanEdge** buckets = nullptr;
  int32_t bucketCapacity = 0;
  int32_t rowCount = 0;
  int32_t y = 0;

  BlockPool edgePool;             // active edges
  BlockPool rampPool;             // gradient ramps (257 colours each)
  RampBlock* rampHand = nullptr;  // their ring: the next block to look at

  uint32_t bottomUp = 0;
  uint8_t* bits = nullptr;
  int32_t stride = 0;
  uint32_t pixelFormat = kScan32Bit;
  int32_t height = 0;
  int32_t xOffset = 0;
  uint8_t* rowPtr = nullptr;
  int32_t rowY = -1;

  // Error diffusion: two rows of carried errors (three channels per pixel,
  // one spare pixel at each end), made on first use and freed after each
  // render.
  int32_t* errorBuffer = nullptr;
  int32_t errorRowLength = 0;    // entries per row
  int32_t* errorRow = nullptr;   // the current row's
  int32_t* errorNext = nullptr;  // the next row's
  int32_t errorFailed = 0;       // no memory: nearest colours instead

  // ---- Input fields -------------------------------------------------------
  CScanEdge* inputHead = nullptr;
  int32_t minUnit = 1;   // smallest stroke width
  int32_t minUnit3 = 1;  // the same for highlighted lines (three times this)
  int32_t originX = 0;
  int32_t originY = 0;
  Matrix2x3 deviceMatrix;  // pixels to device units
  Matrix2x3 deviceInverse;
  uint32_t objectId = 0;  // high part of fill priorities; restarts with each batch
  Matrix2x3 matrix;       // document to device units
  Matrix2x3 strokeMatrix;
  Point32 pen;
  CSpanFill* fillA = nullptr;
  CSpanFill* fillB = nullptr;
  ScanEdgeKind edgeKind = kEdgeToggleOneFill;
  int32_t active = 0;
  int32_t clipId = 0;
  uint32_t strokeMode = 0;  // 0 off, 1 thin, 2 wide
  CSpanFill* fillHash[32] = {};
  CSpanFill* fillList = nullptr;
  BlockPool inputPool;  // input edges
  BlockPool fillPool;   // fill records

 private:
  // Hands the stroke outline's edges to AddCurve.
  class StrokeSink final : public StrokeOutline::Sink {
   public:
    explicit StrokeSink(CScanConverter& owner) : owner_(owner) {}
    void AddOutlineEdge(const QuadCurve& c) override { owner_.AddCurve(c); }

   private:
    CScanConverter& owner_;
  };
  StrokeSink m_strokeSink{*this};
  StrokeOutline m_stroke{m_strokeSink};

  // One span of the top fill on one sub-scanline, in quarter columns.
  struct CoverageSpan {
    int32_t x0;
    int32_t x1;
    CSpanFill* fill;
  };
  struct Clip {
    int32_t id;
    int32_t on;
  };
  // Where a sub-scanline's top fill changes (quarter column, the new fill).
  struct Change {
    int32_t x;
    CSpanFill* top;
  };
  struct PendingPixel;

  void InitInput();
  void AddEdgeGraphLines(const EdgeGraph& graph);
  void AddCurveAt(QuadCurve curve, int level);
  Point32 ToDevice(const Point32& p) const;
  void AllocErrorRows();
  void FreeErrorRows();
  void RenderRowsPlain(bool haveBuckets);
  void RenderRowsAntiAliased(bool haveBuckets);
  void RenderPixelRow(int32_t base, bool haveBuckets);
  bool WalkRowOnce(int32_t base);
  void WalkRowBySubScanline();
  struct RowEdge;
  static void SetRowEdge(RowEdge& entry, CActiveEdge* edge);
  void BuildLane(int s);
  template <typename Add>
  void ForEachEdgeGoingOn(int s, Add& add);
  void BuildLaneInAnyTieOrder(int s);
  void CheckDistinctPriorities();
  void InsertNewEdges();
  bool SortFiledEdges();
  bool RowStartsEdges(int32_t row) const {
    return m_rowStart[row - yMin + 1] > m_rowStart[row - yMin];
  }
  void SortActiveEdges();
  void StepRow(int32_t row);
  void FreeActiveEdges();
  CActiveEdge* NewActiveEdge();
  void DropActiveEdge(CActiveEdge* edge);
  void ClearFillState();

  // x is the edge's column (or, while recording, its place in the list).
  void HandleEdge(const CActiveEdge& edge, int32_t x);
  // An edge's kind switches its fills' inside states; enter(fill, x) and
  // leave(fill, x) hear of a fill going inside or outside, clip(id, x) of a
  // clip edge.
  template <typename OnEnter, typename OnLeave, typename OnClip>
  void SwitchFills(ScanEdgeKind kind, int8_t direction, CSpanFill* fillA, CSpanFill* fillB,
                   int32_t x, OnEnter& enter, OnLeave& leave, OnClip& clip);
  void ActivateFill(CSpanFill* fill, int32_t x);
  void DeactivateFill(int32_t x);
  template <bool kClips>
  CSpanFill* GreatestInside();
  void ToggleClip(int32_t clipId, int32_t x);
  bool ClipIsOn(int32_t clipId) const;
  void PushInside(CSpanFill* fill);
  void EmitSpan(int32_t x);

  void AddCoverageSpan(int32_t a, int32_t b, CSpanFill* fill);
  void ResolveCoverageRow(int32_t py);
  void BlendPixel(int32_t x, const int32_t sums[3], int32_t n);
  void ResolveRun(int32_t x0, int32_t x1, CSpanFill* const fills[4], int32_t py,
                  PendingPixel& pending);
  void ResolveSolidRun(int32_t x0, int32_t x1, CSpanFill* const fills[4], int32_t c,
                       const int32_t plain[3], PendingPixel& pending);
  void WholeSolidPixels(int32_t i, int32_t e, int32_t c, const int32_t plain[3]);
  void AddToPending(PendingPixel& pending, int32_t column, int32_t w, const int32_t colour[3],
                    int32_t c);

  std::vector<CActiveEdge*> m_active;      // by column (anti-aliased: on the last sub-scanline)
  std::vector<int32_t> m_activeX;          // plain mode: their columns, for the merge and the sort
  std::vector<CActiveEdge*> m_newEdges;    // plain mode: the row's new edges, by column
  std::vector<CActiveEdge*> m_spareEdges;  // retired edges, taken before the pool's
  std::vector<CScanEdge*> m_filed;         // edges filed since the last render, in order
  std::vector<const CScanEdge*> m_rowEdges;  // the same sorted by start row
  std::vector<int32_t> m_rowStart;           // where each row's edges begin in m_rowEdges
  std::vector<CoverageSpan> m_coverage[4];   // spans of each sub-scanline of the pixel row
  int32_t m_coverageFloor[4] = {};           // spans of a sub-scanline start no further left
  int32_t m_subRow = 0;                      // sub-scanline being stepped
  std::vector<Clip> m_clips;
  int32_t m_insideCount = 0;  // fills whose inside state is nonzero
  bool m_clipEdges = false;   // clip edges or clipped fills filed: rows walk by sub-scanline

  // The anti-aliased row walk: the row's edges (those going on, then the
  // new ones of each sub-scanline), each sub-scanline's edges in its order,
  // where each sub-scanline's top fill changes, and the inside list as the
  // row found it.
  struct RowEdge {
    uint32_t cols[4];  // the four columns as KeyColumn gives them
    int32_t y_end;
    ScanEdgeKind kind;
    int8_t direction;
    CSpanFill* fill_a;
    CSpanFill* fill_b;
    CActiveEdge* edge;
  };
  std::vector<RowEdge> m_rowTable;
  size_t m_newStart[5] = {};  // sub-scanline s's new edges: [m_newStart[s], m_newStart[s + 1])
  int32_t m_rowBase = 0;
  int m_lanesBuilt = 0;
  std::vector<uint64_t> m_laneEvents[4];  // a zero key, then the room; m_laneSize of each in use
  size_t m_laneSize[4] = {};
  std::vector<uint64_t> m_laneScratch;
  std::vector<uint64_t> m_newKeys;  // one sub-scanline's new edges, sorted
  std::span<const uint64_t> Lane(int s) const {
    return {m_laneEvents[s].data() + 1, m_laneSize[s]};
  }
  std::vector<Change> m_changes[4];
  std::vector<CSpanFill*> m_insideSnapshot;
  // No two fills of the render share a priority: the order of edges at one
  // column cannot change a pixel.
  bool m_distinctPriorities = false;
  std::vector<std::pair<uint64_t, const CSpanFill*>> m_priorities;  // the check's scratch
};
