#include "render/raster/glyph_scan.h"

void CGlyphScanConsumer::BeginContour(const Point32& p, const Matrix2x3&) {
  m_converter.BeginFill(&m_fill, nullptr, p, FillRule::kNonZero);
}

void CGlyphScanConsumer::AddCurve(const QuadCurve& c, const Matrix2x3&) {
  if (c.straight) {
    m_converter.FillLineTo(c.p2);
  } else {
    m_converter.FillCurveTo(c.control, c.p2);
  }
}
