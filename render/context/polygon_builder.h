// Flattened polygons for device contexts: paths and curves through a matrix,
// subdivided until within the flatness tolerance, as contours of device
// points. Points are 32-bit and there is no cap on their number: a path is
// never cut short or wrapped; a refused allocation sets the overflow flag
// and the points gathered so far stay usable.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/curve.h"
#include "geometry/fixed.h"
#include "render/context/glyph_consumer.h"

struct PointList;

class CPolygonBuilder {
 public:
  CPolygonBuilder();

  // Drops a point equal to the previous one (unless keepDuplicates); adds to
  // the bounds.
  void AddPoint(const Point32& p);
  // Ends the open contour: one of fewer than 2 points is dropped, else it is
  // closed by its first point (unless it came back to it already) and its
  // length recorded.
  void CloseContour();
  // The curve's end point once within the tolerance (or at depth 7), else
  // both halves.
  void AddCurve(const QuadCurve& c, int depth = 0);
  // The curve through the matrix: its start point, then its subdivision
  // when its hull meets the clip, else only its end point.
  void AddTransformedCurve(const QuadCurve& c, const Matrix2x3& m);
  // Every curve of the path through the matrix.
  void AddPath(const PointList& path, const Matrix2x3& m);
  // Empties points, contours and bounds; keeps the buffers.
  void Reset();

  int32_t PointCount() const { return static_cast<int32_t>(m_points.size()); }
  int32_t ContourCount() const { return static_cast<int32_t>(m_contours.size()); }

  std::vector<Point32> m_points;
  std::vector<int32_t> m_contours;  // lengths of the closed contours
  int32_t m_mark = 0;               // first point of the open contour
  int32_t m_tolerance = 1;
  Rect32 m_clip;
  Rect32 m_bounds;
  bool m_overflow = false;
  bool m_keepDuplicates = false;
};

// Glyph outlines flattened into a polygon builder: each curve through the
// glyph sink's matrix (font units to device), each contour closed.
class CGlyphPolygonConsumer : public CGlyphConsumer {
 public:
  explicit CGlyphPolygonConsumer(CPolygonBuilder& builder) : m_builder(builder) {}
  void BeginContour(const Point32& /*p*/, const Matrix2x3& /*matrix*/) override {}
  void AddCurve(const QuadCurve& c, const Matrix2x3& matrix) override {
    m_builder.AddTransformedCurve(c, matrix);
  }
  void EndContour() override { m_builder.CloseContour(); }

  CPolygonBuilder& m_builder;
};
