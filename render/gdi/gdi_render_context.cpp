#include "render/gdi/gdi_render_context.h"

#include <algorithm>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_path.h"
#include "geometry/edge_graph_region.h"
#include "geometry/point_list.h"
#include "render/context/graph_walk.h"
#include "render/raster/scan_converter.h"

namespace {

CPoint ToCPoint(const Point32& p) {
  return {p.x, p.y};
}

// Calls the delegate between its page brackets.
template <class F>
void InDelegateBlock(CPostScriptDelegate& d, F&& f) {
  d.BeginPage();
  f();
  d.EndPage();
}

// A temporary graph freed on every way out.
struct TempGraph {
  EdgeGraph graph;
  bool live = false;
  ~TempGraph() {
    if (live) EdgeGraphFreeAll(graph);
  }
};

}  // namespace

CGdiRenderContext::CGdiRenderContext(CDC* target, const Rect32* deviceClip)
    : CRenderContext(target, deviceClip) {}

COLORREF CGdiRenderContext::GdiColour(uint32_t colour) const {
  COLORREF c = ColourToColorRef(colour);
  return m_paletteColours ? (c | 0x02000000u) : c;
}

int32_t CGdiRenderContext::PenWidth(const LineStyle& line) const {
  if (line.width < 0) return -int32_t{line.width};
  return MatrixScaleLength(m_baseMatrix, line.width);
}

void CGdiRenderContext::AddDrawn(const Rect32& device) {
  if (!device.IsEmpty()) RectUnion(m_drawnArea, device, m_drawnArea);
}

void CGdiRenderContext::SetAdvancedMode() {
  if (m_target && m_target->SetGraphicsMode(GM_ADVANCED) != 0) m_flags |= kFlagAdvancedMode;
}

// ---- device paths ------------------------------------------------------------------

void CGdiRenderContext::AddPath(const PointList& path, Rect32* bounds) {
  if (!m_target || path.length < 1) return;
  std::vector<CPoint> batch;
  bool curved = false;
  auto flushBatch = [&]() {
    if (batch.empty()) return;
    if (curved) {
      m_target->PolyBezierTo(batch.data(), static_cast<int>(batch.size()));
    } else if (batch.size() == 1) {
      m_target->LineTo(batch[0]);
    } else {
      m_target->PolylineTo(batch.data(), static_cast<int>(batch.size()));
    }
    batch.clear();
  };
  auto add = [&](const Point32& p) {
    batch.push_back(ToCPoint(p));
    if (bounds) RectAddPoint(*bounds, p);
  };
  Point32 first;
  MatrixTransformPoint(m_matrix, path.buffer[0].point(), first);
  m_target->MoveTo(ToCPoint(first));
  if (bounds) RectAddPoint(*bounds, first);
  PointListIter it;
  PointListIterInit(path, it);
  QuadCurve c;
  while (PointListIterNext(it, c)) {
    QuadCurve t;
    CurveTransform(c, m_matrix, t);
    const bool isCurve = !t.straight;
    const int32_t per = isCurve ? 3 : 1;
    if (isCurve != curved || static_cast<int32_t>(batch.size()) + per > kBatchPoints) {
      flushBatch();
      curved = isCurve;
    }
    if (isCurve) {
      Point32 cubic[4];
      CurveToCubic(t, cubic);
      add(cubic[1]);
      add(cubic[2]);
      add(cubic[3]);
    } else {
      add(t.p2);
    }
  }
  flushBatch();
}

void CGdiRenderContext::AddRegion(Region* region, Rect32* bounds) {
  auto contour = [&](const Region* r) {
    PointList path;
    if (RegionGetContour(r, path) < 0) return;
    AddPath(path, bounds);
    m_target->CloseFigure();
  };
  contour(region);
  for (Region* child = region->first_child; child; child = child->next) contour(child);
}

void CGdiRenderContext::FillPathGdiPaths(const PointList& path, const LineStyle* line,
                                         const FillStyle* fill) {
  // FillPath consumes the path: the outline is made again for the line.
  Rect32 bounds;
  RectSetEmpty(bounds);
  if (fill) {
    m_target->BeginPath();
    AddPath(path, &bounds);
    m_target->CloseFigure();
    m_target->EndPath();
    CBrush brush(GdiColour(fill->colour));
    CBrush* old = m_target->SelectObject(&brush);
    m_target->FillPath();
    m_target->SelectObject(old);
    AddDrawn(bounds);
  }
  if (line) {
    const int32_t w = PenWidth(*line);
    RectSetEmpty(bounds);
    m_target->BeginPath();
    AddPath(path, &bounds);
    m_target->EndPath();
    CPen pen(PS_INSIDEFRAME, w, GdiColour(line->colour));
    CPen* old = m_target->SelectObject(&pen);
    m_target->StrokePath();
    m_target->SelectObject(old);
    RectInset(bounds, -w);
    AddDrawn(bounds);
  }
}

void CGdiRenderContext::FillPathPolygon(const PointList& path, const LineStyle* line,
                                        const FillStyle* fill) {
  CPolygonBuilder builder;
  builder.m_clip = m_deviceClip;
  builder.m_tolerance = m_flatness;
  builder.AddPath(path, m_matrix);
  Flush();
  std::vector<CPoint> points;
  auto toPoints = [&]() {
    points.resize(builder.m_points.size());
    std::transform(builder.m_points.begin(), builder.m_points.end(), points.begin(), ToCPoint);
  };
  if (fill) {
    builder.CloseContour();
    toPoints();
    CBrush brush(GdiColour(fill->colour));
    CBrush* oldBrush = m_target->SelectObject(&brush);
    CGdiObject* oldPen = m_target->SelectStockObject(NULL_PEN);
    if (!points.empty()) m_target->Polygon(points.data(), static_cast<int>(points.size()));
    m_target->SelectObject(oldBrush);
    if (oldPen) m_target->SelectObject(static_cast<CPen*>(oldPen));
  }
  Rect32 bounds = builder.m_bounds;
  if (line) {
    const int32_t w = PenWidth(*line);
    if (!fill) toPoints();
    CPen pen(PS_INSIDEFRAME, w, GdiColour(line->colour));
    CPen* old = m_target->SelectObject(&pen);
    if (points.size() >= 2) m_target->Polyline(points.data(), static_cast<int>(points.size()));
    m_target->SelectObject(old);
    RectInset(bounds, -w);
  }
  AddDrawn(bounds);
}

void CGdiRenderContext::FillPolygon(const PointList& path, const LineStyle* line,
                                    const FillStyle* fill) {
  if (path.length < 2) return;
  if (m_scan) {
    m_scan->AddPath(path, line, fill, FillRule::kEvenOdd);
    return;
  }
  if (m_delegate) {
    InDelegateBlock(*m_delegate, [&] { m_delegate->FillPolygon(path, line, fill); });
    return;
  }
  if (!m_target) return;
  if (m_flags & kFlagGdiPaths) {
    FillPathGdiPaths(path, line, fill);
  } else {
    FillPathPolygon(path, line, fill);
  }
}

// ---- regions -----------------------------------------------------------------------

bool RegionExceedsPoints(Region* region, int32_t limit, int32_t curveWeight) {
  int64_t stored = region->boundary_length;
  for (Region* c = region->first_child; c; c = c->next) stored += c->boundary_length;
  if (curveWeight * stored < limit) return false;
  if (limit < stored) return true;
  int64_t count = 0;
  bool over = false;
  FeedRegionContours(
      region,
      [&](const QuadCurve& c) {
        count += c.straight ? 1 : curveWeight;
        if (count > limit) over = true;
      },
      [](const Point32&) {});
  return over;
}

void CGdiRenderContext::FillRegion(Region* region, const FillStyle& fill) {
  if (m_scan && !(fill.kind & kFillHasTexture)) {
    CRenderContext::FillRegion(region, fill);
    return;
  }
  if (fill.kind != kFillSolid) {
    FillArea(nullptr, region, fill);
    return;
  }
  if (m_delegate) {
    InDelegateBlock(*m_delegate, [&] { m_delegate->FillRegion(region, fill); });
    return;
  }
  if (!m_target) return;
  FillRegionPolygons(region, fill, true);
}

void CGdiRenderContext::FillRegionWhole(Region* region, const FillStyle& fill) {
  FillRegionPolygons(region, fill, false);
}

void CGdiRenderContext::FillRegionPolygons(Region* region, const FillStyle& fill, bool allowBands) {
  if (m_flags & kFlagGdiPaths) {
    if (allowBands && RegionExceedsPoints(region, kRegionPathLimit, kRegionCurveWeight)) {
      FillRegionInBands(region, fill);
      return;
    }
    Rect32 bounds;
    RectSetEmpty(bounds);
    m_target->BeginPath();
    AddRegion(region, &bounds);
    m_target->EndPath();
    CBrush brush(GdiColour(fill.colour));
    CBrush* old = m_target->SelectObject(&brush);
    m_target->FillPath();
    m_target->SelectObject(old);
    AddDrawn(bounds);
    return;
  }
  CPolygonBuilder builder;
  builder.m_clip = m_deviceClip;
  builder.m_tolerance = m_flatness;
  // The region's own contour, then each hole's.
  auto one = [&](Region* r) {
    HalfEdge* h = r->boundary;
    if (!h) return;
    const uint32_t s = EdgeGraphNextStamp();
    while (h && h->visit != s) {
      h->visit = s;
      QuadCurve c;
      EdgeGetCurve(h, c);
      builder.AddTransformedCurve(GraphCurveToTwips(c), m_matrix);
      h = HalfEdgeNextOnBoundary(h);
    }
    builder.CloseContour();
  };
  one(region);
  for (Region* child = region->first_child; child; child = child->next) one(child);
  if (allowBands && builder.PointCount() > kRegionPolygonLimit) {
    FillRegionInBands(region, fill);
    return;
  }
  Flush();
  std::vector<CPoint> points(builder.m_points.size());
  std::transform(builder.m_points.begin(), builder.m_points.end(), points.begin(), ToCPoint);
  CBrush brush(GdiColour(fill.colour));
  CBrush* oldBrush = m_target->SelectObject(&brush);
  CGdiObject* oldPen = m_target->SelectStockObject(NULL_PEN);
  if (builder.ContourCount() == 1) {
    m_target->Polygon(points.data(), static_cast<int>(points.size()));
  } else if (builder.ContourCount() > 1) {
    m_target->PolyPolygon(points.data(), builder.m_contours.data(), builder.ContourCount());
  }
  m_target->SelectObject(oldBrush);
  if (oldPen) m_target->SelectObject(static_cast<CPen*>(oldPen));
  AddDrawn(builder.m_bounds);
}

int32_t CGdiRenderContext::BandCutCount(uint32_t edges) {
  static constexpr uint32_t kThresholds[] = {200, 300, 450, 675, 900, 1200, 1800, 2500};
  int32_t n = 1;
  for (uint32_t t : kThresholds)
    if (t < edges) ++n;
  return std::min(n, 9);
}

int32_t CGdiRenderContext::FillRegionInBands(Region* region, const FillStyle& fill) {
  // Every band is filled whole: a band is never banded again, and when the
  // cut lines cannot all be made the region is filled as one polygon.
  EdgeGraph& source = *region->graph;
  Rect32 bounds = region->bounds;
  RectInset(bounds, -25600);
  TempGraph a, b;
  if (EdgeGraphInit(a.graph, &bounds) < 0) {
    FillRegionWhole(region, fill);
    return 1;
  }
  a.live = true;
  if (EdgeGraphInit(b.graph, &bounds) < 0) {
    FillRegionWhole(region, fill);
    return 1;
  }
  b.live = true;
  const int index = EdgeGraphAddFillStyle(a.graph, fill);
  auto visible = [&](const Region* r) {
    return r && (r == region || (r->parent == region && r != region->parent));
  };
  bool ok = index > 0;
  EdgeGraphForEachEdge(source, &region->bounds, [&](Edge* e) {
    if (!ok || !e->a.vertex) return;
    const bool va = visible(e->a.region), vb = visible(e->b.region);
    if (!va && !vb) return;
    Edge* copy = nullptr;
    if (EdgeGraphNewEdge(e->curve, &copy) < 0) {
      ok = false;
      return;
    }
    copy->a.fill = va ? static_cast<StyleIndex>(index) : 0;
    copy->b.fill = vb ? static_cast<StyleIndex>(index) : 0;
    if (EdgeGraphLinkEdge(a.graph, copy) < 0) {
      EdgeGraphFreeEdgeRecord(copy);
      ok = false;
    }
  });
  const int32_t cuts = BandCutCount(a.graph.edge_count);
  if (ok) {
    LineStyle hairline;
    hairline.colour = 0xFF000000;
    hairline.width = 1;
    const int line = EdgeGraphAddLineStyle(b.graph, hairline);
    ok = line > 0;
    const Rect32& r = region->bounds;
    for (int32_t k = 1; ok && k <= cuts; ++k) {
      const int32_t y = static_cast<int32_t>(r.ymin + (int64_t{r.ymax} - r.ymin) * k / (cuts + 1));
      QuadCurve c;
      CurveFromLine({bounds.xmin, y}, {bounds.xmax, y}, c);
      Edge* e = nullptr;
      if (EdgeGraphNewEdge(c, &e) < 0) {
        ok = false;
        break;
      }
      e->line = static_cast<StyleIndex>(line);
      if (EdgeGraphInsertEdge(b.graph, e, 0, 3) < 0) ok = false;
    }
  }
  if (ok) ok = EdgeGraphMerge(b.graph, a.graph, kMergeLinesWin) >= 0;
  RegionIter it;
  if (ok) ok = RegionIterInit(it, a.graph) >= 0;
  if (!ok) {
    FillRegionWhole(region, fill);
    return 1;
  }
  while (Region* r = RegionIterNext(it)) {
    if (!RegionIsOuter(*r) || RegionIsEmpty(*r) || StyleIndexOf(r->fill) == 0) continue;
    FillRegionWhole(r, fill);
  }
  return cuts + 1;
}

// ---- fills and graphs --------------------------------------------------------------

void CGdiRenderContext::FillArea(const PointList* path, Region* region, const FillStyle& fill) {
  // Only gradients without a scan converter are drawn here.
  if (!(fill.kind & kFillHasGradient) || (fill.kind & kFillHasTexture) || m_scan) {
    CRenderContext::FillArea(path, region, fill);
    return;
  }
  if (m_delegate && region) {
    InDelegateBlock(*m_delegate, [&] { m_delegate->FillRegion(region, fill); });
    return;
  }
  // A region too complex for one clip path goes to the band regions of the
  // base (banding it here would fill it with the gradient's own colour).
  if (!(m_flags & kFlagGradientClip) || !m_target ||
      (region && RegionExceedsPoints(region, kRegionPathLimit, kRegionCurveWeight))) {
    CRenderContext::FillArea(path, region, fill);
    return;
  }
  // The outline becomes the clip; the bands are drawn over its bounds.
  Rect32 twips;
  m_target->BeginPath();
  if (region) {
    AddRegion(region, nullptr);
    RectShift(region->bounds, ShiftRight(8), twips);
  } else {
    AddPath(*path, nullptr);
    m_target->CloseFigure();
    PointListGetBounds(*path, twips);
  }
  m_target->EndPath();
  const int32_t count = GradientBandCount(fill);
  Matrix2x3 toGradient;
  MatrixInvert(fill.matrix, toGradient);
  Rect32 bounds;
  MatrixTransformRect(toGradient, twips, bounds);
  CRenderState state;
  SaveState(state);
  const int saved = m_target->SaveDC();
  m_target->SelectClipPath(RGN_AND);
  ConcatMatrix(fill.matrix);
  FillGradientBands(bounds, fill, count);
  m_target->RestoreDC(saved);
  RestoreState(state);
}

void CGdiRenderContext::DrawEdgeGraph(const EdgeGraph& graph) {
  if (!m_scan && (m_flags & kFlagFills) && m_target) m_target->SetBkMode(OPAQUE);
  CRenderContext::DrawEdgeGraph(graph);
}

// ---- text --------------------------------------------------------------------------

int32_t CGdiRenderContext::DrawText(int32_t byteCount, const Point32& origin, const uint8_t* bytes,
                                    const int32_t* advances, const CTextStyle& style) {
  if (byteCount <= 0 || !m_delegate) return 0;
  int32_t drawn = 0;
  InDelegateBlock(*m_delegate,
                  [&] { drawn = m_delegate->DrawText(byteCount, origin, bytes, advances, style); });
  return drawn ? 1 : 0;
}

// ---- handles -----------------------------------------------------------------------

void CGdiRenderContext::DrawHandle(const Point32& point, int flags) {
  if (!m_target || !RectContainsPoint(m_docClip, point)) return;
  const int kind = flags & 0xF;
  if (kind == 0) return;
  Flush();
  Point32 p;
  MatrixTransformPoint(m_matrix, point, p);
  const bool large = (flags & kHandleLarge) != 0;
  if (kind == kHandleSquare || kind == kHandleCircle) {
    CPen pen(PS_SOLID, large ? 2 : 1, RGB(0, 0, 0));
    CBrush brush;
    if (flags & kHandleHollow) {
      brush.CreateNullBrush();
    } else {
      brush.CreateSolidBrush((flags & kHandleWhite) ? RGB(255, 255, 255) : RGB(0, 0, 0));
    }
    Rect32 r;
    RectFromPoint(r, p);
    RectInset(r, large ? -5 : (flags & kHandleWhite) ? -4 : -3);
    AddDrawn(r);
    CPen* oldPen = m_target->SelectObject(&pen);
    CBrush* oldBrush = m_target->SelectObject(&brush);
    if (kind == kHandleSquare) {
      m_target->Rectangle(r.xmin, r.ymin, r.xmax, r.ymax);
    } else {
      m_target->Ellipse(r.xmin, r.ymin, r.xmax, r.ymax);
    }
    m_target->SelectObject(oldPen);
    m_target->SelectObject(oldBrush);
    return;
  }
  if (kind != kHandleCross) return;
  const int x = p.x, y = p.y;
  if (large) {
    m_target->FillSolidRect(x - 1, y - 5, 3, 11, RGB(0, 0, 0));
    m_target->FillSolidRect(x - 5, y - 1, 11, 3, RGB(0, 0, 0));
    m_target->FillSolidRect(x, y - 4, 1, 9, RGB(255, 255, 255));
    m_target->FillSolidRect(x - 4, y, 9, 1, RGB(255, 255, 255));
    return;
  }
  CGdiObject* old = m_target->SelectStockObject(WHITE_PEN);
  m_target->MoveTo(x + 1, y - 3);
  m_target->LineTo(x + 1, y + 6);
  m_target->MoveTo(x - 3, y + 1);
  m_target->LineTo(x + 6, y + 1);
  m_target->SelectStockObject(BLACK_PEN);
  m_target->MoveTo(x, y - 4);
  m_target->LineTo(x, y + 5);
  m_target->MoveTo(x - 4, y);
  m_target->LineTo(x + 5, y);
  if (old) m_target->SelectObject(static_cast<CPen*>(old));
}
