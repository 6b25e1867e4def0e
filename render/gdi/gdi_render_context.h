// The GDI back end: draws the drawing model into any device context
// (windows, memory bitmaps, printers, metafiles). With a scan converter,
// fills and plain lines go to it; with a PostScript delegate, fills and text
// go to that device; otherwise fills become device paths or flattened
// polygons, and regions too complex for one polygon are filled in bands.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/qt/dc.h"
#include "render/context/polygon_builder.h"
#include "render/context/render_context.h"

struct Edge;
class CDib;

class CGdiRenderContext : public CRenderContext {
 public:
  // Regions of more weighted points than this are filled in bands when
  // drawn through device paths; straight pieces weigh 1, curves 8.
  static constexpr int32_t kRegionPathLimit = 800;
  static constexpr int32_t kRegionCurveWeight = 8;
  // Flattened regions of more points are filled in bands.
  static constexpr int32_t kRegionPolygonLimit = 2000;
  // Points per PolylineTo or PolyBezierTo call.
  static constexpr int32_t kBatchPoints = 64;
  // Bytes of rows per band of a resampled image.
  static constexpr int32_t kBandBytes = 250000;

  explicit CGdiRenderContext(CDC* target, const Rect32* deviceClip = nullptr);

  void FillArea(const PointList* path, Region* region, const FillStyle& fill) override;
  void FillPolygon(const PointList& path, const LineStyle* line, const FillStyle* fill) override;
  void DrawEdgeGraph(const EdgeGraph& graph) override;
  void FillRegion(Region* region, const FillStyle& fill) override;
  void DrawHandle(const Point32& point, int flags) override;
  // An image filling its bounds: into the scan converter, to the delegate,
  // stretched when the matrix keeps the axes, under the world transform in
  // advanced mode (flag 0x2000), else resampled in bands (over its whole
  // transformed bounds with flag 0x10, else over the visible part) inside
  // its outline (with device paths).
  void DrawBitmap(const CImageRef& image) override;
  // The image's source rectangle (pixels, row 0 at the top) stretched onto
  // dest (logical units of the target) by the raster operation; false when
  // nothing was drawn.
  bool BlitImage(const CDib& image, const CRect& dest, const CRect& source, uint32_t rop);
  // The image resampled through matrix (its bounds to device units) over the
  // device rectangle, in bands of kBandBytes of rows (at least one row), each
  // blitted through its coverage mask (AND, then OR), so that what lies
  // outside the image stays. With flag 0x80 the abort test is asked after
  // each band. Returns the bands drawn.
  int32_t DrawImageBanded(const CImageRef& image, const Matrix2x3& matrix, const Rect32& device);

  // A run of text, drawn whole (however long). With a PostScript delegate
  // the run goes to it before anything else (the PostScript device writes
  // the whole job). Then the strategies below in turn until one draws it:
  // glyph outlines into the scan converter (flag 0x200 with a scan converter,
  // unless flag 0x40), a scaled device font, the font under the world
  // transform (flag 0x2000), glyph bitmaps (styles with outline metrics);
  // with flag 0x10 only the device font. Glyph outlines are the last resort.
  // Mask mode draws the text black.
  int32_t DrawText(int32_t byteCount, const Point32& origin, const uint8_t* bytes,
                   const int32_t* advances, const CTextStyle& style) override;

  // One run as the text strategies take it (the style already masked).
  struct TextRun {
    int32_t count = 0;
    Point32 origin;
    const uint8_t* bytes = nullptr;
    const int32_t* advances = nullptr;  // one per byte, document units
    const CTextStyle* style = nullptr;
  };
  // The text strategies; each returns 1 when it drew the run, 0 when it
  // cannot (the next one is tried).
  // The glyph outlines, into the scan converter when there is one (one
  // object for the run), else flattened and filled as polygons. Only for
  // styles with outline metrics (or the small-font flag, which only moves
  // the pen); 0 when a glyph has no outline.
  virtual int32_t TextAsOutlines(const TextRun& run);
  // A device font scaled by the matrix (no skew or mirroring; a rotation
  // only when uniform and flag 0x10 is clear), its characters spaced by
  // the run's advances.
  virtual int32_t TextWithFont(const TextRun& run);
  // The font at the style's own size under the target's world transform.
  virtual int32_t TextWithWorldTransform(const TextRun& run);
  // Each character's 1-bit glyph image through the matrix, painted in the
  // text colour.
  virtual int32_t TextAsGlyphBitmaps(const TextRun& run);
  // The colour text is drawn in: the style's (the outline colour when fills
  // are off), dimmed.
  uint32_t TextColour(const CTextStyle& style);

  // The target takes world transforms (advanced graphics mode); flag 0x2000
  // when it does.
  void SetAdvancedMode();
  // The path's curves (document coordinates) into the target's current
  // figure, through the current matrix; the points emitted go to bounds.
  void AddPath(const PointList& path, Rect32* bounds);
  // The region's contour and its holes' as figures of the current path.
  void AddRegion(Region* region, Rect32* bounds);
  // A region too complex for one polygon, cut by horizontal lines into bands
  // that are filled one by one. Returns the number of bands cut (1 when the
  // cut failed and the region was filled whole).
  int32_t FillRegionInBands(Region* region, const FillStyle& fill);
  // Number of horizontal cut lines for a region of this many edges.
  static int32_t BandCutCount(uint32_t edges);
  // The device colour of a colour word (palette-relative when the switch is on).
  COLORREF GdiColour(uint32_t colour) const;
  // Pen width in device units of a line: a negative width is in device
  // units already, else twips through the base matrix.
  int32_t PenWidth(const LineStyle& line) const;

  // Colours are palette-relative (drawing into a bitmap with a palette).
  uint8_t m_paletteColours = 0;
  // Asked between the bands of an image under flag 0x80 (printing): true
  // stops the drawing.
  std::function<bool()> m_abortTest;

 protected:
  // One region with its holes as one filled polygon, never banded.
  void FillRegionWhole(Region* region, const FillStyle& fill);

 private:
  void FillRegionPolygons(Region* region, const FillStyle& fill, bool allowBands);
  void FillPathPolygon(const PointList& path, const LineStyle* line, const FillStyle* fill);
  void FillPathGdiPaths(const PointList& path, const LineStyle* line, const FillStyle* fill);
  void AddDrawn(const Rect32& device);
};

// The matrix as a world transform.
XFORM MatrixToXform(const Matrix2x3& m);

// Whether the region (with its children) has more than `limit` points,
// straight pieces counting 1 and curves curveWeight.
bool RegionExceedsPoints(Region* region, int32_t limit, int32_t curveWeight);
