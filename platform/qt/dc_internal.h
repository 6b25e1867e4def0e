// What the device context's source files share: pattern sources, span
// writing with raster operations, clipping, coordinate mapping.
#pragma once

#include <vector>

#include "platform/qt/dc.h"

// One horizontal run of device pixels [x0, x1) on row y.
struct DeviceSpan {
  int y, x0, x1;
};

// The brush or pen colour as device values (32-bit BGRX, or 0 / all ones on
// monochrome surfaces), repeated from the brush origin for patterns.
struct PatternSource {
  bool none = true;
  bool solid = true;
  uint32_t value = 0;
  int width = 0, height = 0;
  int org_x = 0, org_y = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const {
    if (solid) return value;
    int px = (x - org_x) % width, py = (y - org_y) % height;
    if (px < 0) px += width;
    if (py < 0) py += height;
    return pixels[static_cast<size_t>(py) * width + px];
  }
};

struct DcRaster {
  // Device value of a colour on the context's surface (monochrome surfaces
  // take white for colours of intensity 128 and up).
  static uint32_t DeviceColor(const CDC& dc, COLORREF color);
  static PatternSource BrushSource(const CDC& dc, const CBrush* brush);
  static PatternSource SolidSource(const CDC& dc, COLORREF color);
  // Writes a span through the clip with the pattern, a source row (device
  // values for [x0, x1), or null) and a ternary operation.
  static void WriteSpan(CDC& dc, int y, int x0, int x1, const PatternSource& pat,
                        const uint32_t* src, uint8_t rop3);
  // Sorts spans by row and merges overlaps, so each pixel is written once.
  static void NormalizeSpanList(std::vector<DeviceSpan>& spans);
  static void WriteSpans(CDC& dc, std::vector<DeviceSpan>& spans, const PatternSource& pat,
                         uint8_t rop3);
  static uint8_t Rop2Index(const CDC& dc) { return Rop2ToRop3Index(dc.m_state.rop2); }
  // Logical to device coordinates (exact, and rounded).
  static CPointF ToDevice(const CDC& dc, double x, double y);
  static CPoint ToDeviceInt(const CDC& dc, int x, int y);
  static bool HasTransform(const CDC& dc);
  // Device size of a logical pen width.
  static double DeviceWidth(const CDC& dc, int width);
  // Tells the context that device pixels changed.
  static void Touch(CDC& dc, int y, int x0, int x1);
  static void Finish(CDC& dc);
  static CRect& PendingChange(CDC& dc) { return dc.m_changed; }
  // Clip test and bounds in device pixels.
  static bool Visible(const CDC& dc, int x, int y);
  static CRect ClipBounds(const CDC& dc);
  // Pixel access in device values.
  static uint32_t ReadDevice(const CDC& dc, int x, int y);
  // The source row of another context's surface converted to this context's
  // device values (colour and monochrome rules), for n pixels from (x, y);
  // pixels outside the source read as 0 (black).
  static void ReadSourceRow(const CDC& dest, const CDC& src, int x, int y, int n, int step,
                            int stepDen, uint32_t* out);
};

// Line and shape rasterisation in device pixels.
// Pixels of a one-pixel line from a to b, b left out.
void CosmeticLinePixels(CPoint a, CPoint b, std::vector<CPoint>& out);
// The spans of pixels whose centres lie inside the ellipse inscribed in the
// box [l, r) x [t, b).
void EllipseSpans(double l, double t, double r, double b, std::vector<DeviceSpan>& out);
// Flattens a cubic into points after p0 (p3 included).
void FlattenCubic(CPointF p0, CPointF p1, CPointF p2, CPointF p3, std::vector<CPointF>& out);
