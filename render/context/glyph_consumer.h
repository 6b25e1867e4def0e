// The receiver of glyph outlines that lives outside the model (the scan
// converter, a polygon builder, a printer device): contours of quadratic
// curves in whole font units, y down, before the glyph sink's matrix.
#pragma once

#include "geometry/curve.h"
#include "geometry/fixed.h"

class CGlyphConsumer {
 public:
  virtual ~CGlyphConsumer() = default;
  // A contour starts at p; `matrix` is the sink's matrix (font units to
  // the caller's units), for consumers that place glyphs by it.
  virtual void BeginContour(const Point32& p, const Matrix2x3& matrix) = 0;
  virtual void AddCurve(const QuadCurve& c, const Matrix2x3& matrix) = 0;
  // After the closing straight piece back to the contour's start.
  virtual void EndContour() = 0;
};
