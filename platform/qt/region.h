// Regions: sets of pixels kept as horizontal bands of sorted, disjoint x
// intervals (half-open, like rectangles). Used for clipping, invalidation and
// XOR painting of text selections.
#pragma once

#include <QRegion>
#include <vector>

#include "platform/qt/win_types.h"

// Combine modes and region kinds.
enum : int {
  RGN_AND = 1,
  RGN_OR = 2,
  RGN_XOR = 3,
  RGN_DIFF = 4,
  RGN_COPY = 5,
};
enum : int {
  RGN_ERROR = 0,  // the old name ERROR
  NULLREGION = 1,
  SIMPLEREGION = 2,
  COMPLEXREGION = 3,
};
// Polygon fill modes.
enum : int {
  ALTERNATE = 1,
  WINDING = 2,
};

struct CPointF {
  double x = 0;
  double y = 0;
};

class CRgn {
 public:
  struct Band {
    int top = 0;
    int bottom = 0;
    std::vector<int> xs;  // x0, x1 pairs, sorted, disjoint, not touching
    friend bool operator==(const Band&, const Band&) = default;
  };

  CRgn() = default;
  // A region must be created before use; an uncreated one is invalid.
  bool IsValid() const { return m_valid; }
  bool DeleteObject();

  bool CreateRectRgn(int left, int top, int right, int bottom);
  bool CreateRectRgnIndirect(const CRect* rect);
  // Pixels whose centres lie inside the ellipse inscribed in the rectangle.
  bool CreateEllipticRgn(int left, int top, int right, int bottom);
  bool CreateEllipticRgnIndirect(const CRect* rect);
  // Pixels whose centres lie inside the polygon (ALTERNATE or WINDING).
  bool CreatePolygonRgn(const CPoint* points, int count, int fillMode);
  bool CreatePolyPolygonRgn(const CPoint* points, const int* counts, int polygons, int fillMode);
  bool CreateFromQRegion(const QRegion& region);
  void SetRectRgn(int left, int top, int right, int bottom);
  void SetRectRgn(const CRect* rect) {
    SetRectRgn(rect->left, rect->top, rect->right, rect->bottom);
  }

  // this = a op b (either may be this). Returns the kind of the result or
  // RGN_ERROR when an operand is invalid.
  int CombineRgn(const CRgn* a, const CRgn* b, int mode);
  int CopyRgn(const CRgn* source) { return CombineRgn(source, nullptr, RGN_COPY); }
  int OffsetRgn(int dx, int dy);
  int OffsetRgn(CPoint p) { return OffsetRgn(p.x, p.y); }
  bool PtInRegion(int x, int y) const;
  bool PtInRegion(CPoint p) const { return PtInRegion(p.x, p.y); }
  bool RectInRegion(const CRect* rect) const;
  int GetRgnBox(CRect* box) const;
  bool EqualRgn(const CRgn* other) const;
  int Kind() const;
  bool IsEmpty() const { return m_bands.empty(); }

  const std::vector<Band>& Bands() const { return m_bands; }
  // The rectangles of the region, band by band.
  std::vector<CRect> Rects() const;
  QRegion ToQRegion() const;
  // The band holding row y, or null.
  const Band* BandAt(int y) const;

  // Builds a region from rows of spans: calls rows(y, add) for each y in
  // [top, bottom), where add(x0, x1) adds a span (any order, may overlap).
  template <typename Rows>
  void SetFromRows(int top, int bottom, Rows rows);

 private:
  void AppendRow(int top, int bottom, std::vector<int>&& xs);

  bool m_valid = false;
  std::vector<Band> m_bands;
};

// Scan-converts polygons (device coordinates, any number of contours, each
// implicitly closed): calls span(y, x0, x1) for the pixels of each row in
// [clipTop, clipBottom) whose centres lie inside (x1 exclusive), rows in
// increasing order, spans left to right and disjoint.
template <typename Span>
void ScanPolygons(const std::vector<std::vector<CPointF>>& contours, bool winding, int clipTop,
                  int clipBottom, Span span);

// Sorts and merges a list of x0, x1 pairs into disjoint, non-touching ones.
void NormalizeSpans(std::vector<int>& xs);

// ---- implementation of the templates ----

#include <algorithm>
#include <cmath>

template <typename Rows>
void CRgn::SetFromRows(int top, int bottom, Rows rows) {
  m_valid = true;
  m_bands.clear();
  std::vector<int> xs;
  for (int y = top; y < bottom; ++y) {
    xs.clear();
    rows(y, [&xs](int x0, int x1) {
      if (x1 > x0) {
        xs.push_back(x0);
        xs.push_back(x1);
      }
    });
    NormalizeSpans(xs);
    AppendRow(y, y + 1, std::vector<int>(xs));
  }
}

namespace region_detail {
struct Edge {
  double x0, y0, x1, y1;  // y0 < y1
  int dir;
};
void CollectEdges(const std::vector<std::vector<CPointF>>& contours, std::vector<Edge>& edges,
                  double& minY, double& maxY);
// Crossings of the row centre y + 0.5 with the active edges: (x, dir).
void RowCrossings(const std::vector<Edge>& edges, size_t& firstEdge, std::vector<size_t>& active,
                  double yc, std::vector<std::pair<double, int>>& out);
}  // namespace region_detail

template <typename Span>
void ScanPolygons(const std::vector<std::vector<CPointF>>& contours, bool winding, int clipTop,
                  int clipBottom, Span span) {
  std::vector<region_detail::Edge> edges;
  double minY = 0, maxY = 0;
  region_detail::CollectEdges(contours, edges, minY, maxY);
  if (edges.empty()) return;
  // Rows whose centres lie within the edges' span.
  const double firstRow = std::ceil(minY - 0.5);
  const double lastRow = std::ceil(maxY - 0.5);  // exclusive
  const int y0 = static_cast<int>(std::max<double>(firstRow, clipTop));
  const int y1 = static_cast<int>(std::min<double>(lastRow, clipBottom));
  size_t firstEdge = 0;
  std::vector<size_t> active;
  std::vector<std::pair<double, int>> crossings;
  for (int y = y0; y < y1; ++y) {
    region_detail::RowCrossings(edges, firstEdge, active, y + 0.5, crossings);
    int count = 0;
    double start = 0;
    int last = INT32_MIN;
    for (const auto& [x, dir] : crossings) {
      const int before = count;
      count += winding ? dir : (count ? -1 : 1);
      const bool insideBefore = before != 0;
      const bool insideAfter = count != 0;
      if (!insideBefore && insideAfter) {
        start = x;
      } else if (insideBefore && !insideAfter) {
        // Pixel x is inside when its centre x + 0.5 lies in [start, x).
        const double a = std::max(std::ceil(start - 0.5), -1.0e9);
        const double b = std::min(std::ceil(x - 0.5), 1.0e9);
        int ia = static_cast<int>(a);
        const int ib = static_cast<int>(b);
        if (ia < last) ia = last;
        if (ib > ia) {
          span(y, ia, ib);
          last = ib;
        }
      }
    }
  }
}
