// The render context: the one output device every drawing goes through. The
// drawing objects call its virtual operations; back ends (GDI, bitmap,
// PostScript, exporters) override what they draw natively and inherit the
// rest: the drawing of a shape's edge graph (fills by region or by runs of
// edges into the scan converter, then lines by chains), styled strokes,
// textures and gradient bands.
//
// Coordinates: document coordinates are twips, edge graphs store twips * 256,
// device coordinates are those of the target. The current matrix maps
// document to device coordinates.
//
// This library needs no user interface: the contexts that draw into a device
// context (the handle drawing among them) are in render/gdi.
#pragma once

#include <cstdint>
#include <string_view>

#include "geometry/edge_style.h"
#include "geometry/fixed.h"

class CImageRef;
class CPicObj;
class CTextStyle;
class CScanConverter;
class CDC;
struct EdgeGraph;
struct PointList;
struct Region;

// The state a drawing object saves around its own drawing.
struct CRenderState {
  Matrix2x3 matrix;  // current
  Matrix2x3 baseMatrix;
  Matrix2x3 objectMatrix;
  CPicObj* currentKeyFrame = nullptr;
  // Bit 0 flag 0x4, bit 1 flag 0x400, bit 2 flag 0x800, bit 3 flag 0x40,
  // bit 4 the object matrix was set.
  uint32_t packed = 0;
};

// The device a GDI context sends fills, bitmaps and text to when printing
// as PostScript. Every call is made between BeginPage and EndPage.
class CPostScriptDelegate {
 public:
  virtual ~CPostScriptDelegate() = default;
  virtual void BeginPage() = 0;
  virtual void EndPage() = 0;
  virtual void FillPolygon(const PointList& path, const LineStyle* line, const FillStyle* fill) = 0;
  virtual void FillRegion(Region* region, const FillStyle& fill) = 0;
  // 1 when drawn.
  virtual int32_t DrawText(int32_t byteCount, const Point32& origin, const uint8_t* bytes,
                           const int32_t* advances, const CTextStyle& style) = 0;
  // An image filling its bounds.
  virtual void DrawBitmap(const CImageRef& image) = 0;
};

class CRenderContext {
 public:
  // Flag word bits.
  static constexpr uint32_t kFlagFills = 0x1;          // fills on; clear = outline drawing
  static constexpr uint32_t kFlagOutlineView = 0x2;    // text draws its box only
  static constexpr uint32_t kFlagChangedOnly = 0x4;    // outline drawing of changed edges only
  static constexpr uint32_t kFlagMask = 0x8;           // mask mode: solid white fills, black lines
  static constexpr uint32_t kFlagDeviceText = 0x10;    // GDI: device fonts only, bitmaps resampled
  static constexpr uint32_t kFlagSelectedOnly = 0x20;  // GDI region pass: selected regions only
  static constexpr uint32_t kFlagNoGlyphText = 0x40;
  static constexpr uint32_t kFlagTextFrames = 0x40;  // text frames and width handles shown
  static constexpr uint32_t kFlagAbortTest = 0x80;   // stop early when the user cancels printing
  static constexpr uint32_t kFlagGlyphTextFirst = 0x200;  // GDI text: outlines first
  static constexpr uint32_t kFlagHighlightSelected = 0x400;
  static constexpr uint32_t kFlagHighlightAll = 0x800;
  static constexpr uint32_t kFlagGdiPaths = 0x1000;       // set by the constructor
  static constexpr uint32_t kFlagAdvancedMode = 0x2000;   // the target takes world transforms
  static constexpr uint32_t kFlagExportMarks = 0x20000;   // layer and group marks for exporters
  static constexpr uint32_t kFlagGradientClip = 0x40000;  // GDI gradients through a clip path

  // Handle kinds and flags of DrawHandle: low nibble kind (0 none, 1 square,
  // 2 circle, 3 cross), 0x10 white fill, 0x20 hollow, 0x40 large.
  static constexpr int kHandleSquare = 1;
  static constexpr int kHandleCircle = 2;
  static constexpr int kHandleCross = 3;
  static constexpr int kHandleWhite = 0x10;
  static constexpr int kHandleHollow = 0x20;
  static constexpr int kHandleLarge = 0x40;
  // The width handle of auto-width and of fixed-width text.
  static constexpr int kHandleTextAutoWidth = 18;
  static constexpr int kHandleTextFixedWidth = 17;

  CRenderContext();
  // A target (null for devices that write files) and a device clip (ordered
  // from its corners; null for the huge rectangle). The document clip
  // follows it.
  explicit CRenderContext(CDC* target, const Rect32* deviceClip = nullptr);
  explicit CRenderContext(const Rect32& deviceClip);
  virtual ~CRenderContext();
  CRenderContext(const CRenderContext&) = delete;
  CRenderContext& operator=(const CRenderContext&) = delete;

  // ---- drawing operations (virtual, in the order of their slots) ----
  // A styled line (dashes, dots, chalk, blobs, strokes across); kind 0 and
  // unknown kinds go to FillPolygon.
  virtual void StrokePath(const PointList& path, const LineStyle& line);
  // A path or a region (one of them null) with a non-solid fill: gradient
  // bands, textures; other kinds as a solid fill.
  virtual void FillArea(const PointList* path, Region* region, const FillStyle& fill);
  // A path filled and outlined with a plain line (either null). Nothing here.
  virtual void FillPolygon(const PointList& /*path*/, const LineStyle* /*line*/,
                           const FillStyle* /*fill*/) {}
  // A run of text at origin (baseline left, document coordinates): the
  // bytes, one advance per byte, in the style. 0 when not drawn (the caller
  // then draws the glyph outlines as paths); 1 when drawn.
  virtual int32_t DrawText(int32_t /*byteCount*/, const Point32& /*origin*/,
                           const uint8_t* /*bytes*/, const int32_t* /*advances*/,
                           const CTextStyle& /*style*/) {
    return 0;
  }
  // An image filling its bounds (document coordinates) through the current
  // matrix. Nothing here.
  virtual void DrawBitmap(const CImageRef& /*image*/) {}
  // Draws a shape's edge graph (fills, then lines) in document coordinates
  // through the current matrix. The graph's regions are built when missing.
  virtual void DrawEdgeGraph(const EdgeGraph& graph);
  // One region of a graph (with its holes) with a fill.
  virtual void FillRegion(Region* region, const FillStyle& fill);
  // A hairline around a rectangle in document coordinates.
  virtual void FrameRect(const Rect32& rect);
  // A selection handle at a point in document coordinates. Handles are
  // drawn by the contexts that have a device context (render/gdi).
  virtual void DrawHandle(const Point32& /*point*/, int /*flags*/) {}
  // Document clip := rect; device clip := rect through the current matrix.
  virtual void SetClip(const Rect32& rect);
  // The given matrix applies first, then the current one; the base matrix
  // becomes the result.
  virtual void SetMatrix(const Matrix2x3& m);
  // An object's own matrix: applies first, and is folded into the object
  // matrix too. The identity changes nothing.
  virtual void ConcatMatrix(const Matrix2x3& m);
  // Exporters mark groups (1 begins, 0 ends) and named layers.
  virtual void MarkGroup(int /*begin*/) {}
  virtual void BeginLayer(std::string_view /*name*/) {}
  virtual void EndLayer() {}

  // ---- shared drawing ----
  // One path with a line and a fill (either null): a non-solid fill first
  // (FillArea, unless the scan converter draws it), then FillPolygon with a
  // plain line and what fill is left, then StrokePath for a styled line.
  virtual void DrawPath(const PointList& path, const LineStyle* line, const FillStyle* fill);
  // The whole clip in one colour (red in the low byte).
  void FillRectColor(uint32_t colour);
  // A colour as this context shows it: mixed with white by the dim factor
  // (onion skin), alpha kept.
  virtual uint32_t DimColor(uint32_t colour);
  void DimColorStyle(LineStyle& line);
  void DimFillStyle(FillStyle& fill);
  // The gradient quality of one of the four levels (clamped to 0..3).
  void SetQuality(int level);
  // Renders what the scan converter holds, before direct drawing on the target.
  void Flush();

  // ---- gradients ----
  // Bands of a gradient under the current matrix and the quality triple:
  // the colour term, doubled for radial gradients, then at most the size
  // term (never below 8) and the band limit.
  int32_t GradientBandCount(const FillStyle& fill) const;
  // `count` bands (linear) or discs (radial) of the gradient over bounds in
  // gradient space, each a solid path; the caller has concatenated the
  // fill's matrix (and counted the bands before that).
  void FillGradientBands(const Rect32& bounds, const FillStyle& fill, int32_t count);
  // The region cut into solid band regions, drawn as a shape; negative when
  // memory ran out (nothing drawn then).
  [[nodiscard]] int32_t FillGradientEdgeGraph(Region* region, const FillStyle& fill);

  // ---- state ----
  // The inverse matrix and the document clip follow the current matrix; the
  // scan converter takes the current and base matrices.
  void UpdateMatrix();
  void SaveState(CRenderState& s) const;
  void RestoreState(const CRenderState& s);

  // ---- fields ----
  Matrix2x3 m_matrix;        // document to device
  Matrix2x3 m_inverse;       // device to document
  Matrix2x3 m_baseMatrix;    // the current matrix after the last SetMatrix
  Matrix2x3 m_objectMatrix;  // product of the matrices given to ConcatMatrix
  Rect32 m_deviceClip;
  Rect32 m_docClip;  // the device clip in document coordinates
  // The union of the device rectangles touched by handles and fills.
  Rect32 m_drawnArea;
  uint16_t m_flatness = 1;  // curve flattening tolerance of the polygon builder
  uint8_t m_objectMatrixSet = 0;
  CDC* m_target = nullptr;  // not owned; null for devices that write files
  // When set, fills and plain lines go to it instead of the target (owned by
  // whoever made it).
  CScanConverter* m_scan = nullptr;
  // The key frame being drawn (set by the page drawing code), null otherwise.
  CPicObj* m_currentKeyFrame = nullptr;
  // Gradient quality: device units per band, colour difference per band,
  // largest number of bands (1 or less: one solid fill).
  int32_t m_sizeStep = 2;
  int32_t m_colourStep = 8;
  int32_t m_bandLimit = 64;
  // The frame being drawn, in the time of the object being drawn.
  int32_t m_currentFrame = 0;
  // The style of every edge in outline drawing.
  LineStyle m_outlineStyle;
  uint32_t m_flags = kFlagGdiPaths;
  // Fills, bitmaps and text go to it when set (printing as PostScript).
  CPostScriptDelegate* m_delegate = nullptr;
  // 0: no dimming; else the weight 1..256 of the colour against white.
  int32_t m_dimFactor = 0;
  // What the last DrawEdgeGraph drew, pass by pass: edges fed to the scan
  // converter by the region pass, regions filled one by one (textured ones
  // and, without a scan converter, every filled region), edges of the line
  // pass. Each edge or region goes at most once a pass.
  struct PassCounts {
    uint32_t region_edges = 0;
    uint32_t region_fills = 0;
    uint32_t line_edges = 0;
  };
  PassCounts m_passCounts;
  // The object not to draw (one being dragged, for instance); null for none.
  const CPicObj* m_skipObject = nullptr;

 protected:
  // Regions of the graph with a fill, through FillRegion, for contexts
  // without a scan converter: regions outside the clip (graph units) are
  // skipped with their children.
  void FillRegionsGdi(EdgeGraph& graph);
  // The line pass of DrawEdgeGraph.
  void DrawEdgeGraphLines(EdgeGraph& graph);
  // A fill as the flags show it: dimmed, highlighted, masked.
  void PrepareFill(FillStyle& fill, bool selected) const;
  // Texture kinds 0x20-0x23 over a path or a region.
  void FillTexture(const PointList* path, Region* region, const FillStyle& fill);

 private:
  void FeedRegionEdges(EdgeGraph& graph);
  void FillRegionTreeGdi(Region* first, const Rect32& clip);
  void DrawStyledLines(EdgeGraph& graph, const Rect32& clip);
  void DrawOutlines(EdgeGraph& graph, const Rect32& clip);
};

// The colour word of a fill or line as a GDI colour (low three bytes).
constexpr uint32_t ColourToColorRef(uint32_t colour) {
  return colour & 0xFFFFFF;
}

// A fill's colour at a position 0..256 along its gradient ramp.
uint32_t GradientColorAt(const FillGradient& ramp, int32_t position);
