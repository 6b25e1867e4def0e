// Lines, shapes and paths.
#include <QPainterPath>
#include <QPainterPathStroker>
#include <cmath>

#include "platform/qt/dc.h"
#include "platform/qt/dc_internal.h"

void CosmeticLinePixels(CPoint a, CPoint b, std::vector<CPoint>& out) {
  const int64_t dx = int64_t{b.x} - a.x, dy = int64_t{b.y} - a.y;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const int64_t n = std::max(adx, ady);
  // Lines longer than any surface are cut by the caller's clip anyway; the
  // walk is bounded so a wild coordinate cannot run for ever.
  if (n == 0 || n > (int64_t{1} << 24)) return;
  const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
  if (adx >= ady) {
    // y = a.y + round(i * dy / dx), halves rounded towards the start point.
    for (int64_t i = 0; i < n; ++i) {
      const int64_t num = 2 * i * ady + adx - 1;
      const int64_t off = num / (2 * adx);
      out.push_back({static_cast<int>(a.x + sx * i), static_cast<int>(a.y + sy * off)});
    }
  } else {
    for (int64_t i = 0; i < n; ++i) {
      const int64_t num = 2 * i * adx + ady - 1;
      const int64_t off = num / (2 * ady);
      out.push_back({static_cast<int>(a.x + sx * off), static_cast<int>(a.y + sy * i)});
    }
  }
}

void EllipseSpans(double l, double t, double r, double b, std::vector<DeviceSpan>& out) {
  const double cx = (l + r) / 2, cy = (t + b) / 2, rx = (r - l) / 2, ry = (b - t) / 2;
  if (rx <= 0 || ry <= 0) return;
  const int y0 = static_cast<int>(std::ceil(t - 0.5)), y1 = static_cast<int>(std::ceil(b - 0.5));
  for (int y = y0; y < y1; ++y) {
    const double dy = (y + 0.5 - cy) / ry;
    const double q = 1 - dy * dy;
    if (q < 0) continue;
    const double half = rx * std::sqrt(q);
    const int x0 = static_cast<int>(std::ceil(cx - half - 0.5));
    const int x1 = static_cast<int>(std::floor(cx + half - 0.5)) + 1;
    if (x1 > x0) out.push_back({y, x0, x1});
  }
}

void FlattenCubic(CPointF p0, CPointF p1, CPointF p2, CPointF p3, std::vector<CPointF>& out) {
  // Segments enough that the chord error stays under a quarter pixel: the
  // error of n segments is at most |second difference| / (8 n^2) * 6.
  const double ddx = std::max(std::fabs(p0.x - 2 * p1.x + p2.x), std::fabs(p1.x - 2 * p2.x + p3.x));
  const double ddy = std::max(std::fabs(p0.y - 2 * p1.y + p2.y), std::fabs(p1.y - 2 * p2.y + p3.y));
  const double dd = std::hypot(ddx, ddy);
  int n = static_cast<int>(std::ceil(std::sqrt(dd * 3.0)));
  n = std::clamp(n, 1, 1000);
  for (int i = 1; i <= n; ++i) {
    const double t = double(i) / n, u = 1 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    out.push_back(
        {a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
  }
}

namespace {

CPoint Round(CPointF p) {
  return {static_cast<int>(std::lround(std::clamp(p.x, -1e9, 1e9))),
          static_cast<int>(std::lround(std::clamp(p.y, -1e9, 1e9)))};
}

// Dash patterns of one-pixel pens (on, off, ...).
std::vector<int> DashPattern(int style) {
  switch (style) {
    case PS_DASH:
      return {18, 6};
    case PS_DOT:
      return {3, 3};
    case PS_DASHDOT:
      return {9, 6, 3, 6};
    case PS_DASHDOTDOT:
      return {9, 3, 3, 3, 3, 3};
    default:
      return {};
  }
}

}  // namespace

// The pen strokes of a context, in device pixels.
struct PenStroke {
  // Strokes polylines (device points); closed ones join their ends.
  static void Draw(CDC& dc, const std::vector<std::vector<CPointF>>& lines,
                   const std::vector<bool>& closed);
};

void PenStroke::Draw(CDC& dc, const std::vector<std::vector<CPointF>>& lines,
                     const std::vector<bool>& closed) {
  CPen* pen = dc.GetCurrentPen();
  if (!pen || pen->Style() == PS_NULL) return;
  const PatternSource color = DcRaster::SolidSource(dc, pen->Color());
  const uint8_t rop = DcRaster::Rop2Index(dc);
  const double width = DcRaster::DeviceWidth(dc, pen->Width());
  if (width <= 1.0) {
    const std::vector<int> dashes = DashPattern(pen->Style());
    size_t dashIndex = 0;
    int dashLeft = dashes.empty() ? 0 : dashes[0];
    std::vector<CPoint> pixels;
    for (size_t i = 0; i < lines.size(); ++i) {
      const auto& line = lines[i];
      if (line.empty()) continue;
      pixels.clear();
      const size_t n = line.size();
      const size_t segments = closed[i] ? n : n - 1;
      for (size_t k = 0; k < segments; ++k) {
        CosmeticLinePixels(Round(line[k]), Round(line[(k + 1) % n]), pixels);
      }
      for (const CPoint& p : pixels) {
        bool on = true;
        if (!dashes.empty()) {
          on = dashIndex % 2 == 0;
          if (--dashLeft <= 0) {
            dashIndex = (dashIndex + 1) % dashes.size();
            dashLeft = dashes[dashIndex];
          }
        }
        if (on) DcRaster::WriteSpan(dc, p.y, p.x, p.x + 1, color, nullptr, rop);
      }
    }
    return;
  }
  // Wide pens: round caps and joins; the outline filled once (nonzero), so a
  // pixel is written once whatever the raster operation.
  QPainterPath path;
  for (size_t i = 0; i < lines.size(); ++i) {
    const auto& line = lines[i];
    if (line.empty()) continue;
    path.moveTo(line[0].x, line[0].y);
    for (size_t k = 1; k < line.size(); ++k) path.lineTo(line[k].x, line[k].y);
    if (line.size() == 1) path.lineTo(line[0].x + 1e-3, line[0].y);
    if (closed[i]) path.closeSubpath();
  }
  QPainterPathStroker stroker;
  stroker.setWidth(width);
  stroker.setCapStyle(Qt::RoundCap);
  stroker.setJoinStyle(Qt::RoundJoin);
  const QPainterPath outline = stroker.createStroke(path);
  std::vector<std::vector<CPointF>> contours;
  for (const QPolygonF& poly : outline.toSubpathPolygons()) {
    std::vector<CPointF> c;
    c.reserve(poly.size());
    for (const QPointF& p : poly) c.push_back({p.x(), p.y()});
    contours.push_back(std::move(c));
  }
  const CRect clip = DcRaster::ClipBounds(dc);
  std::vector<DeviceSpan> spans;
  ScanPolygons(contours, true, clip.top, clip.bottom, [&](int y, int x0, int x1) {
    spans.push_back({y, x0, x1});
  });
  DcRaster::WriteSpans(dc, spans, color, rop);
}

namespace {

void FillContours(CDC& dc, const std::vector<std::vector<CPointF>>& contours, bool winding) {
  const PatternSource brush = DcRaster::BrushSource(dc, dc.GetCurrentBrush());
  if (brush.none) return;
  const CRect clip = DcRaster::ClipBounds(dc);
  std::vector<DeviceSpan> spans;
  ScanPolygons(contours, winding, clip.top, clip.bottom, [&](int y, int x0, int x1) {
    spans.push_back({y, x0, x1});
  });
  DcRaster::WriteSpans(dc, spans, brush, DcRaster::Rop2Index(dc));
}

std::vector<CPointF> DevicePoints(const CDC& dc, const CPoint* points, int count) {
  std::vector<CPointF> out;
  out.reserve(count > 0 ? count : 0);
  for (int i = 0; i < count; ++i) out.push_back(DcRaster::ToDevice(dc, points[i].x, points[i].y));
  return out;
}

// The ellipse inscribed in a box as a closed polygon (logical units).
std::vector<CPointF> EllipsePolygon(double l, double t, double r, double b) {
  std::vector<CPointF> out;
  const double cx = (l + r) / 2, cy = (t + b) / 2, rx = (r - l) / 2, ry = (b - t) / 2;
  const int n = std::clamp(
      static_cast<int>(std::ceil(std::sqrt(std::fabs(rx) + std::fabs(ry)) * 8)), 16, 720);
  for (int i = 0; i < n; ++i) {
    const double a = 2 * M_PI * i / n;
    out.push_back({cx + rx * std::cos(a), cy - ry * std::sin(a)});
  }
  return out;
}

}  // namespace

// ---- the drawing calls ----

struct DcPath {
  // Adds device points to the open path: a new figure, or continuing the
  // current one.
  static void Add(CDC& dc, const std::vector<CPointF>& pts, bool newFigure, bool close);
  // An open line: recorded into the open path (continuing the current
  // figure from the current position, whose point is then dropped, or as a
  // new figure), else stroked with the pen.
  static bool StrokeOrRecord(CDC& dc, std::vector<CPointF> pts, bool fromCurrent) {
    if (dc.m_pathOpen) {
      if (fromCurrent && !pts.empty()) pts.erase(pts.begin());
      Add(dc, pts, !fromCurrent, false);
      return true;
    }
    if (!dc.IsValid()) return false;
    PenStroke::Draw(dc, {pts}, {false});
    DcRaster::Finish(dc);
    return true;
  }
};

CPoint CDC::MoveTo(int x, int y) {
  const CPoint old = m_state.current_pos;
  m_state.current_pos = CPoint(x, y);
  if (m_pathOpen) m_path.push_back({{DcRaster::ToDevice(*this, x, y)}, false});
  return old;
}

bool CDC::LineTo(int x, int y) {
  const CPoint from = m_state.current_pos;
  m_state.current_pos = CPoint(x, y);
  return DcPath::StrokeOrRecord(
      *this, {DcRaster::ToDevice(*this, from.x, from.y), DcRaster::ToDevice(*this, x, y)}, true);
}

bool CDC::Polyline(const CPoint* points, int count) {
  if (!points || count < 2) return false;
  return DcPath::StrokeOrRecord(*this, DevicePoints(*this, points, count), false);
}

bool CDC::PolylineTo(const CPoint* points, int count) {
  if (!points || count < 1) return false;
  std::vector<CPoint> all{m_state.current_pos};
  all.insert(all.end(), points, points + count);
  m_state.current_pos = points[count - 1];
  return DcPath::StrokeOrRecord(
      *this, DevicePoints(*this, all.data(), static_cast<int>(all.size())), true);
}

namespace {

std::vector<CPointF> FlattenBeziers(const CDC& dc, CPoint start, const CPoint* points, int count) {
  std::vector<CPointF> out{DcRaster::ToDevice(dc, start.x, start.y)};
  for (int i = 0; i + 2 < count; i += 3) {
    const CPointF p0 = out.back();
    FlattenCubic(p0, DcRaster::ToDevice(dc, points[i].x, points[i].y),
                 DcRaster::ToDevice(dc, points[i + 1].x, points[i + 1].y),
                 DcRaster::ToDevice(dc, points[i + 2].x, points[i + 2].y), out);
  }
  return out;
}

}  // namespace

bool CDC::PolyBezier(const CPoint* points, int count) {
  if (!points || count < 4 || (count - 1) % 3 != 0) return false;
  return DcPath::StrokeOrRecord(*this, FlattenBeziers(*this, points[0], points + 1, count - 1),
                                false);
}

bool CDC::PolyBezierTo(const CPoint* points, int count) {
  if (!points || count < 3 || count % 3 != 0) return false;
  auto pts = FlattenBeziers(*this, m_state.current_pos, points, count);
  m_state.current_pos = points[count - 1];
  return DcPath::StrokeOrRecord(*this, std::move(pts), true);
}

bool CDC::PolyPolygon(const CPoint* points, const int* counts, int polygons) {
  if (!points || !counts || polygons < 1) return false;
  std::vector<std::vector<CPointF>> contours;
  size_t at = 0;
  for (int i = 0; i < polygons; ++i) {
    if (counts[i] < 2) return false;
    contours.push_back(DevicePoints(*this, points + at, counts[i]));
    at += counts[i];
  }
  if (m_pathOpen) {
    for (const auto& c : contours) DcPath::Add(*this, c, true, true);
    return true;
  }
  FillContours(*this, contours, m_state.poly_fill_mode == WINDING);
  PenStroke::Draw(*this, contours, std::vector<bool>(contours.size(), true));
  DcRaster::Finish(*this);
  return true;
}

bool CDC::Polygon(const CPoint* points, int count) {
  return PolyPolygon(points, &count, 1);
}

namespace {

// The frame of width w between the outer box and the box inset by w, as
// disjoint spans on the rows of [rowTop, rowBottom), and the inside.
void FrameSpans(const CRect& outer, int w, int rowTop, int rowBottom,
                std::vector<DeviceSpan>& frame, CRect& inside) {
  inside = outer;
  inside.DeflateRect(w, w);
  if (inside.IsRectEmpty()) inside = CRect();
  for (int y = std::max(outer.top, rowTop); y < std::min(outer.bottom, rowBottom); ++y) {
    if (inside.IsRectEmpty() || y < inside.top || y >= inside.bottom) {
      frame.push_back({y, outer.left, outer.right});
    } else {
      frame.push_back({y, outer.left, inside.left});
      frame.push_back({y, inside.right, outer.right});
    }
  }
}

}  // namespace

bool CDC::Rectangle(int left, int top, int right, int bottom) {
  if (m_pathOpen || DcRaster::HasTransform(*this)) {
    // Transformed rectangles are polygons with every edge included.
    CPoint corners[4] = {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
    return Polygon(corners, 4);
  }
  CRect box(left, top, right, bottom);
  box.NormalizeRect();
  LPtoDP(&box);
  box.NormalizeRect();
  if (!IsValid()) return false;
  // Keep the loops within the surface: rows and columns outside cannot change.
  CPen* pen = m_state.pen;
  const bool hasPen = pen && pen->Style() != PS_NULL;
  const PatternSource brush = DcRaster::BrushSource(*this, m_state.brush);
  const uint8_t rop = DcRaster::Rop2Index(*this);
  CRect limit(-64, -64, m_surface.width + 64, m_surface.height + 64);
  if (!hasPen) {
    CRect fill(box.left, box.top, box.right - 1, box.bottom - 1);
    if (fill.IntersectRect(fill, limit)) {
      for (int y = fill.top; y < fill.bottom; ++y)
        DcRaster::WriteSpan(*this, y, fill.left, fill.right, brush, nullptr, rop);
    }
    DcRaster::Finish(*this);
    return true;
  }
  const int w =
      std::max(1, static_cast<int>(std::lround(DcRaster::DeviceWidth(*this, pen->Width()))));
  CRect outer = box;
  if (pen->Style() != PS_INSIDEFRAME && w > 1) {
    // A wide pen is centred on the outline.
    outer.InflateRect(w / 2, w / 2, (w - 1) / 2, (w - 1) / 2);
  }
  std::vector<DeviceSpan> frame;
  CRect inside;
  FrameSpans(outer, w, limit.top, limit.bottom, frame, inside);
  if (!inside.IsRectEmpty() && inside.IntersectRect(inside, limit)) {
    for (int y = inside.top; y < inside.bottom; ++y)
      DcRaster::WriteSpan(*this, y, inside.left, inside.right, brush, nullptr, rop);
  }
  for (DeviceSpan& s : frame) {
    s.x0 = std::max(s.x0, limit.left);
    s.x1 = std::min(s.x1, limit.right);
  }
  DcRaster::WriteSpans(*this, frame, DcRaster::SolidSource(*this, pen->Color()), rop);
  DcRaster::Finish(*this);
  return true;
}

bool CDC::Ellipse(int left, int top, int right, int bottom) {
  if (m_pathOpen || DcRaster::HasTransform(*this)) {
    auto logical = EllipsePolygon(left, top, right, bottom);
    std::vector<CPointF> pts;
    for (const CPointF& p : logical) pts.push_back(DcRaster::ToDevice(*this, p.x, p.y));
    if (m_pathOpen) {
      DcPath::Add(*this, pts, true, true);
      return true;
    }
    FillContours(*this, {pts}, false);
    PenStroke::Draw(*this, {pts}, {true});
    DcRaster::Finish(*this);
    return true;
  }
  CRect box(left, top, right, bottom);
  box.NormalizeRect();
  LPtoDP(&box);
  box.NormalizeRect();
  if (!IsValid()) return false;
  // Boxes far larger than any surface are drawn as polygons, which the
  // scan conversion clips.
  if (box.Width() > 1 << 16 || box.Height() > 1 << 16) return false;
  CPen* pen = m_state.pen;
  const bool hasPen = pen && pen->Style() != PS_NULL;
  const PatternSource brush = DcRaster::BrushSource(*this, m_state.brush);
  const uint8_t rop = DcRaster::Rop2Index(*this);
  std::vector<DeviceSpan> fill;
  if (!hasPen) {
    EllipseSpans(box.left, box.top, box.right - 1, box.bottom - 1, fill);
    DcRaster::WriteSpans(*this, fill, brush, rop);
    DcRaster::Finish(*this);
    return true;
  }
  const int w =
      std::max(1, static_cast<int>(std::lround(DcRaster::DeviceWidth(*this, pen->Width()))));
  double l = box.left, t = box.top, r = box.right, b = box.bottom;
  if (pen->Style() != PS_INSIDEFRAME && w > 1) {
    l -= w / 2;
    t -= w / 2;
    r += (w - 1) / 2;
    b += (w - 1) / 2;
  }
  std::vector<DeviceSpan> outer, inner;
  EllipseSpans(l, t, r, b, outer);
  EllipseSpans(l + w, t + w, r - w, b - w, inner);
  // The ring: outer spans less the inner ones, row by row.
  std::vector<DeviceSpan> ring;
  size_t k = 0;
  for (const DeviceSpan& o : outer) {
    while (k < inner.size() && inner[k].y < o.y) ++k;
    if (k < inner.size() && inner[k].y == o.y && inner[k].x0 < inner[k].x1) {
      ring.push_back({o.y, o.x0, std::max(o.x0, inner[k].x0)});
      ring.push_back({o.y, std::min(o.x1, inner[k].x1), o.x1});
    } else {
      ring.push_back(o);
    }
  }
  DcRaster::WriteSpans(*this, inner, brush, rop);
  DcRaster::WriteSpans(*this, ring, DcRaster::SolidSource(*this, pen->Color()), rop);
  DcRaster::Finish(*this);
  return true;
}

// ---- paths ----

void DcPath::Add(CDC& dc, const std::vector<CPointF>& pts, bool newFigure, bool close) {
  if (pts.empty()) return;
  if (newFigure || dc.m_path.empty() || dc.m_path.back().closed) {
    dc.m_path.push_back({pts, close});
    return;
  }
  auto& f = dc.m_path.back().points;
  f.insert(f.end(), pts.begin(), pts.end());
  if (close) dc.m_path.back().closed = true;
}

bool CDC::BeginPath() {
  m_path.clear();
  m_pathOpen = true;
  m_pathDone = false;
  m_path.push_back(
      {{DcRaster::ToDevice(*this, m_state.current_pos.x, m_state.current_pos.y)}, false});
  return true;
}

bool CDC::EndPath() {
  if (!m_pathOpen) return false;
  m_pathOpen = false;
  m_pathDone = true;
  // Figures of a single point draw nothing.
  m_path.erase(std::remove_if(m_path.begin(), m_path.end(),
                              [](const Figure& f) { return f.points.size() < 2; }),
               m_path.end());
  return true;
}

bool CDC::AbortPath() {
  m_pathOpen = m_pathDone = false;
  m_path.clear();
  return true;
}

bool CDC::CloseFigure() {
  if (!m_pathOpen || m_path.empty()) return false;
  m_path.back().closed = true;
  return true;
}

bool CDC::StrokeAndFillPath() {
  if (!m_pathDone) return false;
  std::vector<std::vector<CPointF>> contours;
  std::vector<bool> closed;
  for (const Figure& f : m_path) {
    contours.push_back(f.points);
    closed.push_back(true);
  }
  FillContours(*this, contours, m_state.poly_fill_mode == WINDING);
  PenStroke::Draw(*this, contours, closed);
  AbortPath();
  DcRaster::Finish(*this);
  return true;
}

bool CDC::FillPath() {
  if (!m_pathDone) return false;
  std::vector<std::vector<CPointF>> contours;
  for (const Figure& f : m_path) contours.push_back(f.points);
  FillContours(*this, contours, m_state.poly_fill_mode == WINDING);
  AbortPath();
  DcRaster::Finish(*this);
  return true;
}

bool CDC::StrokePath() {
  if (!m_pathDone) return false;
  std::vector<std::vector<CPointF>> contours;
  std::vector<bool> closed;
  for (const Figure& f : m_path) {
    contours.push_back(f.points);
    closed.push_back(f.closed);
  }
  PenStroke::Draw(*this, contours, closed);
  AbortPath();
  DcRaster::Finish(*this);
  return true;
}

bool CDC::SelectClipPath(int mode) {
  if (!m_pathDone) return false;
  std::vector<std::vector<CPointF>> contours;
  for (const Figure& f : m_path) contours.push_back(f.points);
  CRgn rgn;
  std::vector<DeviceSpan> spans;
  ScanPolygons(contours, m_state.poly_fill_mode == WINDING, -(1 << 20), 1 << 20,
               [&](int y, int x0, int x1) {
                 spans.push_back({y, x0, x1});
               });
  DcRaster::NormalizeSpanList(spans);
  const int top = spans.empty() ? 0 : spans.front().y;
  const int bottom = spans.empty() ? 0 : spans.back().y + 1;
  size_t at = 0;
  rgn.SetFromRows(top, bottom, [&](int y, auto add) {
    while (at < spans.size() && spans[at].y == y) {
      add(spans[at].x0, spans[at].x1);
      ++at;
    }
  });
  AbortPath();
  return SelectClipRgn(&rgn, mode) != RGN_ERROR;
}
