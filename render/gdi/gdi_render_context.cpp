#include "render/gdi/gdi_render_context.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_path.h"
#include "geometry/edge_graph_region.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/glyph_outline.h"
#include "model/text_style.h"
#include "platform/core/code_page.h"
#include "platform/core/font.h"
#include "render/context/graph_walk.h"
#include "render/raster/bitmap_span.h"
#include "render/raster/dib.h"
#include "render/raster/glyph_scan.h"
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
  MatrixTransformPoint(m_matrix, path.buffer[0].Point(), first);
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

XFORM MatrixToXform(const Matrix2x3& m) {
  XFORM x;
  x.eM11 = static_cast<float>(m.a / 65536.0);
  x.eM12 = static_cast<float>(m.b / 65536.0);
  x.eM21 = static_cast<float>(m.c / 65536.0);
  x.eM22 = static_cast<float>(m.d / 65536.0);
  x.eDx = static_cast<float>(m.tx);
  x.eDy = static_cast<float>(m.ty);
  return x;
}

int32_t CGdiRenderContext::DrawText(int32_t byteCount, const Point32& origin, const uint8_t* bytes,
                                    const int32_t* advances, const CTextStyle& style) {
  if (byteCount <= 0 || !bytes || !advances) return 0;
  CTextStyle masked = style;
  if (m_flags & kFlagMask) masked.color = 0xFF000000;
  if (m_delegate) {
    int32_t drawn = 0;
    InDelegateBlock(*m_delegate, [&] {
      drawn = m_delegate->DrawText(byteCount, origin, bytes, advances, masked);
    });
    if (drawn) return 1;
  }
  const TextRun run{byteCount, origin, bytes, advances, &masked};
  bool outlinesTried = false;
  if (m_flags & kFlagDeviceText) {
    if (TextWithFont(run)) return 1;
  } else {
    if ((m_flags & kFlagGlyphTextFirst) && m_scan && !(m_flags & kFlagNoGlyphText)) {
      if (TextAsOutlines(run)) return 1;
      outlinesTried = true;
    }
    if (TextWithFont(run)) return 1;
    if ((m_flags & kFlagAdvancedMode) && TextWithWorldTransform(run)) return 1;
    if ((masked.flags & CTextStyle::kFlagOutline) && TextAsGlyphBitmaps(run)) return 1;
  }
  // The outlines fail the same way twice: no second attempt.
  return outlinesTried ? 0 : TextAsOutlines(run);
}

uint32_t CGdiRenderContext::TextColour(const CTextStyle& style) {
  return DimColor((m_flags & kFlagFills) ? style.color : m_outlineStyle.colour);
}

namespace {

// The run's characters: a lead byte joins the next byte into one code (lead
// in the high byte) whose advance is the sum of both; a lead byte in the last
// position stands alone.
struct RunChar {
  uint16_t code;
  int32_t advance;
};
std::vector<RunChar> RunChars(const CGdiRenderContext::TextRun& run) {
  const int codePage = CodePageForCharSet(run.style->charSet);
  std::vector<RunChar> out;
  out.reserve(static_cast<size_t>(run.count));
  for (int32_t i = 0; i < run.count; ++i) {
    RunChar c{run.bytes[i], run.advances[i]};
    if (IsLeadByteInCodePage(codePage, run.bytes[i]) && i + 1 < run.count) {
      c.code = static_cast<uint16_t>(run.bytes[i] << 8 | run.bytes[i + 1]);
      c.advance = WrapAdd(c.advance, run.advances[i + 1]);
      ++i;
    }
    out.push_back(c);
  }
  return out;
}

// The run as UTF-8 for the device context, one scalar per character of
// RunChars.
std::string RunUtf8(const CGdiRenderContext::TextRun& run) {
  const std::u32string text = BytesToUnicode(CodePageForCharSet(run.style->charSet), run.bytes,
                                             static_cast<size_t>(run.count));
  std::string out;
  for (char32_t u : text) {
    if (u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) u = 0xFFFD;
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | u >> 6);
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
      out += static_cast<char>(0xE0 | u >> 12);
      out += static_cast<char>(0x80 | (u >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | u >> 18);
      out += static_cast<char>(0x80 | (u >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (u >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

// A device font of the style in the font service's face.
bool MakeStyleFont(CFont& font, const CTextStyle& style, int32_t height, int32_t width,
                   int32_t escapement) {
  LogFont lf = style.GetLogFont(height, width);
  lf.escapement = lf.orientation = escapement;
  LOGFONT log;
  log.lfHeight = lf.height;
  log.lfWidth = lf.width;
  log.lfEscapement = log.lfOrientation = escapement;
  log.lfWeight = lf.weight;
  log.lfItalic = lf.italic;
  log.lfCharSet = lf.char_set;
  log.lfOutPrecision = lf.out_precision;
  log.lfClipPrecision = lf.clip_precision;
  log.lfQuality = lf.quality;
  log.lfPitchAndFamily = lf.pitch_and_family;
  log.lfFaceName = lf.face_name;
  return font.CreateFontFromFace(log, FontService().CreateFont(lf));
}

// Device-context text can be drawn only into surfaces the context draws
// on (32-bit and 1-bit; bitmaps of 8 bits or fewer take glyph outlines).
bool TakesText(const CDC* dc) {
  return dc != nullptr && dc->Surface().Writable();
}

// The target's text attributes for one run, put back on the way out.
class TextAttributes {
 public:
  TextAttributes(CDC& dc, CFont& font, COLORREF colour)
      : dc_(dc),
        font_(dc.SelectObject(&font)),
        align_(dc.SetTextAlign(TA_BASELINE)),
        colour_(dc.SetTextColor(colour)),
        mode_(dc.SetBkMode(TRANSPARENT)) {}
  ~TextAttributes() {
    dc_.SetBkMode(mode_);
    dc_.SetTextColor(colour_);
    dc_.SetTextAlign(align_);
    dc_.SelectObject(font_);
  }
  TextAttributes(const TextAttributes&) = delete;
  TextAttributes& operator=(const TextAttributes&) = delete;

 private:
  CDC& dc_;
  CFont* font_;
  unsigned align_;
  COLORREF colour_;
  int mode_;
};

}  // namespace

int32_t CGdiRenderContext::TextWithFont(const TextRun& run) {
  if (!TakesText(m_target)) return 0;
  const CTextStyle& style = *run.style;
  const Matrix2x3& m = m_matrix;
  double scale;
  int32_t escapement = 0;
  int32_t height;
  if (m.b == 0 && m.c == 0) {
    // A device font neither mirrors nor flips.
    if (m.a <= 0 || m.d <= 0) return 0;
    scale = m.a / 65536.0;
    height = static_cast<int32_t>(std::lround(style.size * (m.d / 65536.0)));
  } else {
    if ((m_flags & kFlagDeviceText) || std::abs(int64_t{m.a} - m.d) > 16 ||
        std::abs(int64_t{m.b} + m.c) > 16)
      return 0;
    scale = std::hypot(m.a / 65536.0, m.b / 65536.0);
    const double angle = std::atan2(m.b, m.a) * 180.0 / M_PI;
    escapement = static_cast<int32_t>(std::lround(-angle * 10));
    height = static_cast<int32_t>(std::lround(style.size * scale));
  }
  // Text smaller than a device unit has no font; outlines draw it.
  if (height < 1 || height > 0xFFFF) return 0;
  CFont font;
  if (!MakeStyleFont(font, style, height, 0, escapement)) return 0;
  Flush();
  TextAttributes attributes(*m_target, font, GdiColour(TextColour(style)));
  // Spacing from the scaled running sum of the advances, so that rounding
  // never accumulates along the run.
  const std::vector<RunChar> chars = RunChars(run);
  std::vector<int> dx;
  dx.reserve(chars.size());
  int64_t sum = 0;
  int64_t previous = 0;
  for (const RunChar& c : chars) {
    sum += c.advance;
    const int64_t rounded = std::llround(static_cast<double>(sum) * scale);
    dx.push_back(static_cast<int>(rounded - previous));
    previous = rounded;
  }
  Point32 at;
  MatrixTransformPoint(m, run.origin, at);
  const std::string text = RunUtf8(run);
  return m_target->ExtTextOut(at.x, at.y, 0, nullptr, text, dx.data()) ? 1 : 0;
}

int32_t CGdiRenderContext::TextWithWorldTransform(const TextRun& run) {
  if (!TakesText(m_target)) return 0;
  const CTextStyle& style = *run.style;
  CFont font;
  if (style.size < 1 || !MakeStyleFont(font, style, style.size, 0, 0)) return 0;
  Flush();
  const int saved = m_target->SaveDC();
  bool drawn = false;
  {
    TextAttributes attributes(*m_target, font, GdiColour(TextColour(style)));
    if (m_target->ModifyWorldTransform(MatrixToXform(m_matrix), MWT_RIGHTMULTIPLY)) {
      std::vector<int> dx;
      for (const RunChar& c : RunChars(run)) dx.push_back(c.advance);
      drawn = m_target->ExtTextOut(run.origin.x, run.origin.y, 0, nullptr, RunUtf8(run), dx.data());
    }
  }
  m_target->RestoreDC(saved);
  return drawn ? 1 : 0;
}

int32_t CGdiRenderContext::TextAsGlyphBitmaps(const TextRun& run) {
  if (!TakesText(m_target)) return 0;
  const CTextStyle& style = *run.style;
  constexpr int32_t kGlyphHeight = 64;
  CFont font;
  if (!MakeStyleFont(font, style, kGlyphHeight, 0, 0)) return 0;
  Flush();
  // The matrix scaled by size / 64, its second row negated: the glyph's
  // "up" is the device's y, so its image is drawn bottom-up.
  const Fixed k = FixedDiv(style.size, kGlyphHeight);
  MAT2 mat;
  mat.eM11 = FixedMul(m_matrix.a, k);
  mat.eM12 = FixedMul(m_matrix.b, k);
  mat.eM21 = WrapNeg(FixedMul(m_matrix.c, k));
  mat.eM22 = WrapNeg(FixedMul(m_matrix.d, k));
  CBrush brush(GdiColour(TextColour(style)));
  CBrush* oldBrush = m_target->SelectObject(&brush);
  CFont* oldFont = m_target->SelectObject(&font);
  // A 1-bit bottom-up picture, colour 0 white and colour 1 (ink) black: the
  // raster operation paints the brush where the source is black and keeps
  // the destination elsewhere.
  constexpr uint32_t kPaintBrushWhereBlack = 0xB8074A;
  std::vector<uint8_t> info(40 + 8, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) info[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(0, 40);
  info[12] = 1;           // planes
  info[14] = 1;           // bits per pixel
  put32(40, 0x00FFFFFF);  // colour 0: white
  put32(44, 0);           // colour 1: black
  std::vector<uint8_t> bits;
  int32_t result = 1;
  Point32 pen = run.origin;
  for (const RunChar& c : RunChars(run)) {
    GLYPHMETRICS gm;
    const DWORD size = m_target->GetGlyphOutline(c.code, GGO_BITMAP, &gm, 0, nullptr, &mat);
    const uint64_t expected = ((uint64_t{gm.gmBlackBoxX} + 31) >> 5) * 4 * gm.gmBlackBoxY;
    if (size == GDI_ERROR || size != expected) {
      result = 0;
      break;
    }
    bits.assign(size, 0);
    if (m_target->GetGlyphOutline(c.code, GGO_BITMAP, &gm, size, bits.data(), &mat) != size) {
      result = 0;
      break;
    }
    put32(4, gm.gmBlackBoxX);
    put32(8, gm.gmBlackBoxY);
    Point32 at;
    MatrixTransformPoint(m_matrix, pen, at);
    const int x = at.x + gm.gmptGlyphOrigin.x;
    const int y = at.y + gm.gmptGlyphOrigin.y - static_cast<int>(gm.gmBlackBoxY);
    const int w = static_cast<int>(gm.gmBlackBoxX), h = static_cast<int>(gm.gmBlackBoxY);
    m_target->StretchDIBits(x, y, w, h, 0, 0, w, h, bits, info, DIB_RGB_COLORS,
                            kPaintBrushWhereBlack);
    AddDrawn(Rect32{x, x + w, y, y + h});
    pen.x = WrapAdd(pen.x, c.advance);
  }
  m_target->SelectObject(oldFont);
  m_target->SelectObject(oldBrush);
  return result;
}

int32_t CGdiRenderContext::TextAsOutlines(const TextRun& run) {
  const CTextStyle& style = *run.style;
  const bool small = (style.flags & CTextStyle::kFlagSmall) != 0;
  if (!small && !(style.flags & CTextStyle::kFlagOutline)) return 0;
  if (!m_scan && !m_target) return 0;
  const std::vector<RunChar> chars = RunChars(run);
  if (small) return 1;  // only the pen moves
  std::shared_ptr<CFontFace> face = style.CreateFont(2048, 0);
  FillStyle fill;
  fill.colour = TextColour(style);
  CGlyphSink sink;
  sink.m_font = face.get();
  Matrix2x3 scale;
  const Fixed factor = FixedDiv(style.size, 2048);
  MatrixSetScale(scale, factor, factor);
  // Font units to device: the size first, then the pen position, then the
  // current matrix.
  auto glyphMatrix = [&](const Point32& pen) {
    Matrix2x3 at, glyph;
    MatrixSetTranslation(at, pen.x, pen.y);
    MatrixConcat(at, m_matrix, at);
    MatrixConcat(scale, at, glyph);
    return glyph;
  };
  int32_t result = 1;
  Point32 pen = run.origin;
  if (m_scan) {
    m_scan->objectId += 1;
    CGlyphScanConsumer consumer(*m_scan, fill);
    sink.m_consumer = &consumer;
    for (const RunChar& c : chars) {
      m_scan->SetMatrix(glyphMatrix(pen), nullptr);
      if (sink.OutlineChar(c.code) == 0) {
        result = 0;
        break;
      }
      pen.x = WrapAdd(pen.x, c.advance);
    }
    UpdateMatrix();
    return result;
  }
  CPolygonBuilder builder;
  builder.m_clip = m_deviceClip;
  builder.m_tolerance = m_flatness;
  CGlyphPolygonConsumer consumer(builder);
  sink.m_consumer = &consumer;
  Flush();
  CBrush brush(GdiColour(fill.colour));
  CBrush* oldBrush = m_target->SelectObject(&brush);
  CGdiObject* oldPen = m_target->SelectStockObject(NULL_PEN);
  const int oldMode = m_target->SetPolyFillMode(WINDING);
  std::vector<CPoint> points;
  for (const RunChar& c : chars) {
    builder.Reset();
    sink.m_matrix = glyphMatrix(pen);
    if (sink.OutlineChar(c.code) == 0) {
      result = 0;
      break;
    }
    points.resize(builder.m_points.size());
    std::transform(builder.m_points.begin(), builder.m_points.end(), points.begin(), ToCPoint);
    if (builder.ContourCount() == 1 && points.size() >= 2) {
      m_target->Polygon(points.data(), static_cast<int>(points.size()));
    } else if (builder.ContourCount() > 1) {
      std::vector<int> counts(builder.m_contours.begin(), builder.m_contours.end());
      m_target->PolyPolygon(points.data(), counts.data(), static_cast<int>(counts.size()));
    }
    AddDrawn(builder.m_bounds);
    pen.x = WrapAdd(pen.x, c.advance);
  }
  m_target->SetPolyFillMode(oldMode);
  m_target->SelectObject(oldBrush);
  if (oldPen) m_target->SelectObject(static_cast<CPen*>(oldPen));
  return result;
}

// ---- bitmaps -----------------------------------------------------------------------

void CGdiRenderContext::DrawBitmap(const CImageRef& image) {
  if (!image.Bits() || image.Width() <= 0 || image.Height() <= 0 || image.bounds.IsEmpty() ||
      !RectsOverlap(image.bounds, m_docClip))
    return;
  if (m_scan) {
    // Image pixels to the twips of its bounds.
    const Rect32& b = image.bounds;
    const Matrix2x3 pixels{FixedDiv(WrapSub(b.xmax, b.xmin), image.Width()),  0,      0,
                           FixedDiv(WrapSub(b.ymax, b.ymin), image.Height()), b.xmin, b.ymin};
    // No fill record (memory ran out): the image is left out.
    (void)m_scan->AddBitmap(image, pixels);
    return;
  }
  if (m_delegate) {
    InDelegateBlock(*m_delegate, [&] { m_delegate->DrawBitmap(image); });
    return;
  }
  if (!m_target) return;
  Flush();
  const Matrix2x3& m = m_matrix;
  Rect32 device;
  MatrixTransformRect(m, image.bounds, device);
  if (m.b == 0 && m.c == 0) {
    // Stretched onto its transformed corners (mirrored when they cross).
    Point32 p0, p1;
    MatrixTransformPoint(m, {image.bounds.xmin, image.bounds.ymin}, p0);
    MatrixTransformPoint(m, {image.bounds.xmax, image.bounds.ymax}, p1);
    BlitImage(image, CRect(p0.x, p0.y, p1.x, p1.y), CRect(0, 0, image.Width(), image.Height()),
              SRCCOPY);
    AddDrawn(device);
    return;
  }
  if (m_flags & kFlagAdvancedMode) {
    // Image pixels to device: the world transform draws the visible part.
    const double sx = (static_cast<double>(image.bounds.xmax) - image.bounds.xmin) / image.Width();
    const double sy = (static_cast<double>(image.bounds.ymax) - image.bounds.ymin) / image.Height();
    const double a = m.a / 65536.0, b = m.b / 65536.0, c = m.c / 65536.0, d = m.d / 65536.0;
    XFORM x;
    x.eM11 = static_cast<float>(a * sx);
    x.eM12 = static_cast<float>(b * sx);
    x.eM21 = static_cast<float>(c * sy);
    x.eM22 = static_cast<float>(d * sy);
    x.eDx = static_cast<float>(a * image.bounds.xmin + c * image.bounds.ymin + m.tx);
    x.eDy = static_cast<float>(b * image.bounds.xmin + d * image.bounds.ymin + m.ty);
    // The device clip back in image pixels, grown by 5 and cut to the image.
    const double det = static_cast<double>(x.eM11) * x.eM22 - static_cast<double>(x.eM12) * x.eM21;
    if (det == 0 || !std::isfinite(det)) return;
    double xmin = 1e300, xmax = -1e300, ymin = 1e300, ymax = -1e300;
    for (int corner = 0; corner < 4; ++corner) {
      const double px = ((corner & 1) ? m_deviceClip.xmax : m_deviceClip.xmin) - x.eDx;
      const double py = ((corner & 2) ? m_deviceClip.ymax : m_deviceClip.ymin) - x.eDy;
      const double ix = (px * x.eM22 - py * x.eM21) / det, iy = (py * x.eM11 - px * x.eM12) / det;
      xmin = std::min(xmin, ix), xmax = std::max(xmax, ix);
      ymin = std::min(ymin, iy), ymax = std::max(ymax, iy);
    }
    auto cut = [](double v, int32_t limit) {
      return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(limit)));
    };
    const CRect part(
        cut(std::floor(xmin) - 5, image.Width()), cut(std::floor(ymin) - 5, image.Height()),
        cut(std::ceil(xmax) + 5, image.Width()), cut(std::ceil(ymax) + 5, image.Height()));
    if (part.IsRectEmpty()) return;
    const int saved = m_target->SaveDC();
    if (m_target->ModifyWorldTransform(x, MWT_RIGHTMULTIPLY)) BlitImage(image, part, part, SRCCOPY);
    m_target->RestoreDC(saved);
    AddDrawn(device);
    return;
  }
  int saved = 0;
  if (m_flags & kFlagGdiPaths) {
    // The image's outline clips its resampled rectangle.
    PointList outline;
    if (PathFromRect(outline, image.bounds) >= 0) {
      saved = m_target->SaveDC();
      m_target->BeginPath();
      AddPath(outline, nullptr);
      m_target->CloseFigure();
      m_target->EndPath();
      m_target->SelectClipPath(RGN_AND);
    }
  }
  Rect32 area = device;
  if (!(m_flags & kFlagDeviceText)) RectIntersect(area, m_deviceClip, area);
  if (!area.IsEmpty()) DrawImageBanded(image, m, area);
  if (saved) m_target->RestoreDC(saved);
  AddDrawn(device);
}

bool CGdiRenderContext::BlitImage(const CDib& image, const CRect& dest, const CRect& source,
                                  uint32_t rop) {
  return m_target && m_target->StretchDib(image, dest, source, rop) != 0;
}

int32_t CGdiRenderContext::DrawImageBanded(const CImageRef& image, const Matrix2x3& matrix,
                                           const Rect32& device) {
  if (!m_target || device.IsEmpty()) return 0;
  const int32_t width = device.xmax - device.xmin;
  const int32_t stride = CDib::RowStride(image.Format(), width);
  if (stride <= 0) return 0;
  // Bands of kBandBytes of rows, at least one row high.
  const int32_t bandHeight = std::max<int32_t>(1, kBandBytes / stride);
  // The band's colours, with black added when the table has room and none:
  // the pixels outside the image take black, which the masked blit keeps out.
  ColorTable colours;
  const ColorTable* table = image.Colors();
  if (table) {
    colours = *table;
    const uint32_t room =
        std::min<uint32_t>(ColorTable::kMaxEntries, 1u << CDib::BitsPerPixel(image.Format()));
    bool black = false;
    for (uint32_t i = 0; i < colours.count; ++i)
      black = black || (colours.entries[i] & 0xFFFFFF) == 0;
    if (!black && colours.count < room) colours.entries[colours.count++] = 0;
    table = &colours;
  }
  ColorTable maskColours;
  maskColours.count = 2;
  maskColours.entries[1] = 0xFFFFFF;  // 0 covered (black), 1 outside (white)
  int32_t bands = 0;
  for (int32_t y = device.ymin; y < device.ymax; y += bandHeight) {
    const int32_t rows = std::min(bandHeight, device.ymax - y);
    CImageRef band;
    CDib mask;
    if (!band.Create(image.Format(), width, rows, table) ||
        !mask.Create(kDib1Bit, width, rows, &maskColours))
      return bands;
    band.bounds = Rect32{device.xmin, device.xmax, y, y + rows};
    if (!TransformBitmapSpan(image, matrix, band, &mask)) return bands;
    const CRect dest(device.xmin, y, device.xmax, y + rows);
    const CRect source(0, 0, width, rows);
    BlitImage(mask, dest, source, SRCAND);
    BlitImage(band, dest, source, SRCPAINT);
    ++bands;
    if ((m_flags & kFlagAbortTest) && m_abortTest && m_abortTest()) break;
  }
  return bands;
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
