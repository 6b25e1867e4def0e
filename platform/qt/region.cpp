#include "platform/qt/region.h"

#include <algorithm>
#include <cmath>

void NormalizeSpans(std::vector<int>& xs) {
  if (xs.size() <= 2) return;
  std::vector<std::pair<int, int>> spans;
  spans.reserve(xs.size() / 2);
  for (size_t i = 0; i + 1 < xs.size(); i += 2) spans.emplace_back(xs[i], xs[i + 1]);
  std::sort(spans.begin(), spans.end());
  xs.clear();
  for (const auto& [a, b] : spans) {
    if (!xs.empty() && a <= xs.back()) {
      xs.back() = std::max(xs.back(), b);
    } else {
      xs.push_back(a);
      xs.push_back(b);
    }
  }
}

namespace region_detail {

void CollectEdges(const std::vector<std::vector<CPointF>>& contours, std::vector<Edge>& edges,
                  double& minY, double& maxY) {
  minY = 1e300;
  maxY = -1e300;
  for (const auto& c : contours) {
    const size_t n = c.size();
    if (n < 2) continue;
    for (size_t i = 0; i < n; ++i) {
      const CPointF& a = c[i];
      const CPointF& b = c[(i + 1) % n];
      if (a.y == b.y || !std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) ||
          !std::isfinite(b.y)) {
        continue;
      }
      if (a.y < b.y) {
        edges.push_back({a.x, a.y, b.x, b.y, 1});
      } else {
        edges.push_back({b.x, b.y, a.x, a.y, -1});
      }
      minY = std::min(minY, std::min(a.y, b.y));
      maxY = std::max(maxY, std::max(a.y, b.y));
    }
  }
  std::sort(edges.begin(), edges.end(), [](const Edge& p, const Edge& q) { return p.y0 < q.y0; });
}

void RowCrossings(const std::vector<Edge>& edges, size_t& firstEdge, std::vector<size_t>& active,
                  double yc, std::vector<std::pair<double, int>>& out) {
  while (firstEdge < edges.size() && edges[firstEdge].y0 <= yc) active.push_back(firstEdge++);
  out.clear();
  size_t keep = 0;
  for (size_t i : active) {
    const Edge& e = edges[i];
    if (e.y1 <= yc) continue;  // finished
    active[keep++] = i;
    const double x = e.x0 + (yc - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0);
    out.emplace_back(x, e.dir);
  }
  active.resize(keep);
  std::sort(out.begin(), out.end());
}

}  // namespace region_detail

bool CRgn::DeleteObject() {
  const bool was = m_valid;
  m_valid = false;
  m_bands.clear();
  return was;
}

void CRgn::AppendRow(int top, int bottom, std::vector<int>&& xs) {
  if (xs.empty() || bottom <= top) return;
  if (!m_bands.empty() && m_bands.back().bottom == top && m_bands.back().xs == xs) {
    m_bands.back().bottom = bottom;
    return;
  }
  m_bands.push_back({top, bottom, std::move(xs)});
}

bool CRgn::CreateRectRgn(int left, int top, int right, int bottom) {
  SetRectRgn(left, top, right, bottom);
  return true;
}

bool CRgn::CreateRectRgnIndirect(const CRect* rect) {
  return rect && CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
}

void CRgn::SetRectRgn(int left, int top, int right, int bottom) {
  m_valid = true;
  m_bands.clear();
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (left < right) AppendRow(top, bottom, std::vector<int>{left, right});
}

bool CRgn::CreateEllipticRgn(int left, int top, int right, int bottom) {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  const double cx = (left + right) / 2.0, cy = (top + bottom) / 2.0;
  const double rx = (right - left) / 2.0, ry = (bottom - top) / 2.0;
  SetFromRows(top, bottom, [&](int y, auto add) {
    if (rx <= 0 || ry <= 0) return;
    const double dy = (y + 0.5 - cy) / ry;
    const double t = 1.0 - dy * dy;
    if (t < 0) return;
    const double half = rx * std::sqrt(t);
    // Pixels whose centres lie within [cx - half, cx + half].
    const int x0 = static_cast<int>(std::ceil(cx - half - 0.5));
    const int x1 = static_cast<int>(std::floor(cx + half - 0.5)) + 1;
    add(x0, x1);
  });
  return true;
}

bool CRgn::CreateEllipticRgnIndirect(const CRect* rect) {
  return rect && CreateEllipticRgn(rect->left, rect->top, rect->right, rect->bottom);
}

bool CRgn::CreatePolyPolygonRgn(const CPoint* points, const int* counts, int polygons,
                                int fillMode) {
  if (!points || !counts || polygons < 0) return false;
  std::vector<std::vector<CPointF>> contours;
  size_t at = 0;
  for (int i = 0; i < polygons; ++i) {
    if (counts[i] < 0) return false;
    std::vector<CPointF> c;
    for (int k = 0; k < counts[i]; ++k, ++at)
      c.push_back({double(points[at].x), double(points[at].y)});
    contours.push_back(std::move(c));
  }
  m_valid = true;
  m_bands.clear();
  std::vector<int> row;
  int rowY = INT32_MIN;
  auto flush = [&]() {
    if (rowY != INT32_MIN) {
      NormalizeSpans(row);
      AppendRow(rowY, rowY + 1, std::move(row));
    }
    row.clear();
  };
  ScanPolygons(contours, fillMode == WINDING, INT32_MIN / 2, INT32_MAX / 2,
               [&](int y, int x0, int x1) {
                 if (y != rowY) {
                   flush();
                   rowY = y;
                 }
                 row.push_back(x0);
                 row.push_back(x1);
               });
  flush();
  return true;
}

bool CRgn::CreatePolygonRgn(const CPoint* points, int count, int fillMode) {
  return CreatePolyPolygonRgn(points, &count, 1, fillMode);
}

bool CRgn::CreateFromQRegion(const QRegion& region) {
  m_valid = true;
  m_bands.clear();
  CRgn acc;
  acc.m_valid = true;
  for (const QRect& r : region) {
    CRgn piece;
    piece.CreateRectRgn(r.left(), r.top(), r.right() + 1, r.bottom() + 1);
    acc.CombineRgn(&acc, &piece, RGN_OR);
  }
  m_bands = std::move(acc.m_bands);
  return true;
}

namespace {

// The x intervals of a region's band over the row range, or empty.
const std::vector<int>* XsAt(const std::vector<CRgn::Band>& bands, size_t& i, int y) {
  while (i < bands.size() && bands[i].bottom <= y) ++i;
  if (i < bands.size() && bands[i].top <= y) return &bands[i].xs;
  return nullptr;
}

bool Apply(int mode, bool a, bool b) {
  switch (mode) {
    case RGN_AND:
      return a && b;
    case RGN_OR:
      return a || b;
    case RGN_XOR:
      return a != b;
    case RGN_DIFF:
      return a && !b;
    default:
      return a;
  }
}

std::vector<int> CombineXs(const std::vector<int>* a, const std::vector<int>* b, int mode) {
  static const std::vector<int> kNone;
  const std::vector<int>& xa = a ? *a : kNone;
  const std::vector<int>& xb = b ? *b : kNone;
  std::vector<int> out;
  size_t i = 0, j = 0;
  bool inA = false, inB = false, in = false;
  while (i < xa.size() || j < xb.size()) {
    int x;
    if (j >= xb.size() || (i < xa.size() && xa[i] <= xb[j])) {
      x = xa[i];
    } else {
      x = xb[j];
    }
    while (i < xa.size() && xa[i] == x) {
      inA = !inA;
      ++i;
    }
    while (j < xb.size() && xb[j] == x) {
      inB = !inB;
      ++j;
    }
    const bool now = Apply(mode, inA, inB);
    if (now != in) {
      out.push_back(x);
      in = now;
    }
  }
  return out;
}

}  // namespace

int CRgn::CombineRgn(const CRgn* a, const CRgn* b, int mode) {
  if (!a || !a->m_valid || (mode != RGN_COPY && (!b || !b->m_valid))) return RGN_ERROR;
  if (mode == RGN_COPY) {
    if (a != this) m_bands = a->m_bands;
    m_valid = true;
    return Kind();
  }
  std::vector<int> ys;
  for (const Band& band : a->m_bands) {
    ys.push_back(band.top);
    ys.push_back(band.bottom);
  }
  for (const Band& band : b->m_bands) {
    ys.push_back(band.top);
    ys.push_back(band.bottom);
  }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  CRgn result;
  result.m_valid = true;
  size_t ia = 0, ib = 0;
  for (size_t k = 0; k + 1 < ys.size(); ++k) {
    const int y = ys[k];
    auto xs = CombineXs(XsAt(a->m_bands, ia, y), XsAt(b->m_bands, ib, y), mode);
    result.AppendRow(y, ys[k + 1], std::move(xs));
  }
  m_bands = std::move(result.m_bands);
  m_valid = true;
  return Kind();
}

int CRgn::OffsetRgn(int dx, int dy) {
  if (!m_valid) return RGN_ERROR;
  for (Band& band : m_bands) {
    band.top += dy;
    band.bottom += dy;
    for (int& x : band.xs) x += dx;
  }
  return Kind();
}

const CRgn::Band* CRgn::BandAt(int y) const {
  auto it = std::upper_bound(m_bands.begin(), m_bands.end(), y,
                             [](int v, const Band& band) { return v < band.bottom; });
  if (it == m_bands.end() || it->top > y) return nullptr;
  return &*it;
}

bool CRgn::PtInRegion(int x, int y) const {
  const Band* band = BandAt(y);
  if (!band) return false;
  auto it = std::upper_bound(band->xs.begin(), band->xs.end(), x);
  return ((it - band->xs.begin()) & 1) != 0;
}

bool CRgn::RectInRegion(const CRect* rect) const {
  if (!rect || !m_valid) return false;
  CRect r = *rect;
  r.NormalizeRect();
  if (r.IsRectEmpty()) return false;
  for (const Band& band : m_bands) {
    if (band.bottom <= r.top || band.top >= r.bottom) continue;
    for (size_t i = 0; i + 1 < band.xs.size(); i += 2) {
      if (band.xs[i] < r.right && band.xs[i + 1] > r.left) return true;
    }
  }
  return false;
}

int CRgn::GetRgnBox(CRect* box) const {
  if (!m_valid) return RGN_ERROR;
  CRect r;
  if (!m_bands.empty()) {
    r.top = m_bands.front().top;
    r.bottom = m_bands.back().bottom;
    r.left = INT32_MAX;
    r.right = INT32_MIN;
    for (const Band& band : m_bands) {
      r.left = std::min(r.left, band.xs.front());
      r.right = std::max(r.right, band.xs.back());
    }
  }
  if (box) *box = r;
  return Kind();
}

bool CRgn::EqualRgn(const CRgn* other) const {
  return other && m_valid && other->m_valid && m_bands == other->m_bands;
}

int CRgn::Kind() const {
  if (!m_valid) return RGN_ERROR;
  if (m_bands.empty()) return NULLREGION;
  if (m_bands.size() == 1 && m_bands[0].xs.size() == 2) return SIMPLEREGION;
  return COMPLEXREGION;
}

std::vector<CRect> CRgn::Rects() const {
  std::vector<CRect> out;
  for (const Band& band : m_bands) {
    for (size_t i = 0; i + 1 < band.xs.size(); i += 2) {
      out.emplace_back(band.xs[i], band.top, band.xs[i + 1], band.bottom);
    }
  }
  return out;
}

QRegion CRgn::ToQRegion() const {
  QRegion r;
  for (const CRect& c : Rects()) r += QRect(c.left, c.top, c.Width(), c.Height());
  return r;
}
