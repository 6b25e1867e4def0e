// Glyph outlines into the scan converter: each contour becomes a filled
// outline with the winding rule; the scan converter's own matrix places the
// glyph (font units to device).
#pragma once

#include "geometry/edge_style.h"
#include "render/context/glyph_consumer.h"
#include "render/raster/scan_converter.h"

class CGlyphScanConsumer : public CGlyphConsumer {
 public:
  CGlyphScanConsumer(CScanConverter& converter, const FillStyle& fill)
      : m_converter(converter), m_fill(fill) {}

  void BeginContour(const Point32& p, const Matrix2x3& matrix) override;
  void AddCurve(const QuadCurve& c, const Matrix2x3& matrix) override;
  void EndContour() override {}

  CScanConverter& m_converter;
  FillStyle m_fill;
};
