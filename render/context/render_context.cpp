#include "render/context/render_context.h"

#include <algorithm>
#include <new>
#include <unordered_set>
#include <vector>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_path.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_transform.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "render/context/graph_walk.h"
#include "render/raster/scan_converter.h"

// ---- construction and state ------------------------------------------------------

CRenderContext::CRenderContext() : CRenderContext(nullptr, nullptr) {}

CRenderContext::CRenderContext(CDC* target, const Rect32* deviceClip) : m_target(target) {
  if (deviceClip) {
    RectFromTwoPoints(m_deviceClip, {deviceClip->xmin, deviceClip->ymin},
                      {deviceClip->xmax, deviceClip->ymax});
  } else {
    RectSetHuge(m_deviceClip);
  }
  m_docClip = m_deviceClip;
  RectSetEmpty(m_drawnArea);
  m_outlineStyle.colour = 0xFF000000;
  m_outlineStyle.width = 1;
}

CRenderContext::CRenderContext(const Rect32& deviceClip) : CRenderContext(nullptr, &deviceClip) {}

CRenderContext::~CRenderContext() = default;

void CRenderContext::SetClip(const Rect32& rect) {
  m_docClip = rect;
  MatrixTransformRect(m_matrix, rect, m_deviceClip);
}

void CRenderContext::SetMatrix(const Matrix2x3& m) {
  MatrixConcat(m, m_matrix, m_matrix);
  m_baseMatrix = m_matrix;
  UpdateMatrix();
}

void CRenderContext::ConcatMatrix(const Matrix2x3& m) {
  if (MatrixIsIdentity(m)) return;
  MatrixConcat(m, m_matrix, m_matrix);
  MatrixConcat(m, m_objectMatrix, m_objectMatrix);
  m_objectMatrixSet = 1;
  UpdateMatrix();
}

void CRenderContext::UpdateMatrix() {
  MatrixInvert(m_matrix, m_inverse);
  MatrixTransformRect(m_inverse, m_deviceClip, m_docClip);
  if (m_scan) m_scan->SetMatrix(m_matrix, &m_baseMatrix);
}

void CRenderContext::SaveState(CRenderState& s) const {
  s.matrix = m_matrix;
  s.baseMatrix = m_baseMatrix;
  s.objectMatrix = m_objectMatrix;
  s.currentKeyFrame = m_currentKeyFrame;
  s.packed = ((m_flags & kFlagChangedOnly) ? 1u : 0u) |
             ((m_flags & kFlagHighlightSelected) ? 2u : 0u) |
             ((m_flags & kFlagHighlightAll) ? 4u : 0u) | ((m_flags & kFlagNoGlyphText) ? 8u : 0u) |
             (m_objectMatrixSet ? 16u : 0u);
}

void CRenderContext::RestoreState(const CRenderState& s) {
  m_matrix = s.matrix;
  m_baseMatrix = s.baseMatrix;
  m_objectMatrix = s.objectMatrix;
  m_currentKeyFrame = s.currentKeyFrame;
  UpdateMatrix();
  constexpr uint32_t kSaved =
      kFlagChangedOnly | kFlagHighlightSelected | kFlagHighlightAll | kFlagNoGlyphText;
  m_flags &= ~kSaved;
  if (s.packed & 1u) m_flags |= kFlagChangedOnly;
  if (s.packed & 2u) m_flags |= kFlagHighlightSelected;
  if (s.packed & 4u) m_flags |= kFlagHighlightAll;
  if (s.packed & 8u) m_flags |= kFlagNoGlyphText;
  m_objectMatrixSet = (s.packed & 16u) ? 1 : 0;
}

void CRenderContext::SetQuality(int level) {
  static constexpr uint8_t kSizeStep[4] = {8, 8, 4, 2};
  static constexpr uint8_t kColourStep[4] = {1, 4, 5, 5};
  static constexpr uint8_t kBandLimit[4] = {1, 6, 32, 64};
  // The level comes from the user's settings: anything outside is clamped.
  const int l = std::clamp(level, 0, 3);
  m_sizeStep = kSizeStep[l];
  m_colourStep = kColourStep[l];
  m_bandLimit = kBandLimit[l];
}

void CRenderContext::Flush() {
  if (!m_scan || !m_scan->inputHead) return;
  m_scan->Render();
  m_scan->ResetInput();
  // What was drawn is now the background anti-aliased edges blend with.
  m_scan->backgroundValid = 1;
  m_scan->SetMatrix(m_matrix, &m_baseMatrix);
}

// ---- colours -----------------------------------------------------------------------

uint32_t CRenderContext::DimColor(uint32_t colour) {
  if (m_dimFactor == 0) return colour;
  const int32_t f = m_dimFactor;
  uint32_t out = colour & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const int32_t c = static_cast<int32_t>((colour >> shift) & 0xFF);
    const int32_t v = (f * c + 65280 - 255 * f) >> 8;
    out |= static_cast<uint32_t>(std::clamp(v, 0, 255)) << shift;
  }
  return out;
}

void CRenderContext::DimColorStyle(LineStyle& line) {
  line.colour = DimColor(line.colour);
}

void CRenderContext::DimFillStyle(FillStyle& fill) {
  if ((fill.kind & 0xF0) == kFillHasGradient) {
    const int n = std::min<int>(fill.gradient.count, kGradientMaxEntries);
    for (int i = 0; i < n; ++i) fill.gradient.colours[i] = DimColor(fill.gradient.colours[i]);
  } else {
    fill.colour = DimColor(fill.colour);
  }
}

uint32_t GradientColorAt(const FillGradient& ramp, int32_t position) {
  const int n = std::min<int>(ramp.count, kGradientMaxEntries);
  if (n == 0) return 0;
  const int32_t p = std::clamp(position, 0, 256);
  if (p <= ramp.ratios[0]) return ramp.colours[0];
  for (int i = 1; i < n; ++i) {
    const int32_t r0 = ramp.ratios[i - 1], r1 = ramp.ratios[i];
    if (p > r1) continue;
    const int32_t span = r1 - r0;
    if (span <= 0) return ramp.colours[i];
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const int32_t c0 = static_cast<int32_t>((ramp.colours[i - 1] >> shift) & 0xFF);
      const int32_t c1 = static_cast<int32_t>((ramp.colours[i] >> shift) & 0xFF);
      out |= static_cast<uint32_t>(c0 + (c1 - c0) * (p - r0) / span) << shift;
    }
    return out;
  }
  return ramp.colours[n - 1];
}

void CRenderContext::PrepareFill(FillStyle& fill, bool selected) const {
  if (m_dimFactor != 0) {
    const_cast<CRenderContext*>(this)->DimFillStyle(fill);
  } else if ((m_flags & kFlagHighlightAll) || ((m_flags & kFlagHighlightSelected) && selected)) {
    fill.pattern_kind = 2;
  }
  if (m_flags & kFlagMask) {
    fill.kind = kFillSolid;
    if (fill.colour != 0 && fill.colour != 0xFF000000u) fill.colour = 0xFFFFFFFFu;
  }
}

// ---- paths -------------------------------------------------------------------------

void CRenderContext::DrawPath(const PointList& path, const LineStyle* line, const FillStyle* fill) {
  if (path.length < 2) return;
  const LineStyle* plain = line && line->kind == 0 ? line : nullptr;
  const LineStyle* styled = line && line->kind != 0 ? line : nullptr;
  if (fill && fill->kind != kFillSolid && (!m_scan || (fill->kind & kFillHasTexture))) {
    FillArea(&path, nullptr, *fill);
    fill = nullptr;
  }
  if (plain || fill) FillPolygon(path, plain, fill);
  if (styled) StrokePath(path, *styled);
}

void CRenderContext::FillRectColor(uint32_t colour) {
  if (m_scan) {
    m_scan->Clear(static_cast<int32_t>(colour & 0xFFFFFF));
    return;
  }
  FillStyle fill;
  fill.colour = colour;
  PointList path;
  if (PathFromRect(path, m_docClip) < 0) return;
  DrawPath(path, nullptr, &fill);
}

void CRenderContext::FrameRect(const Rect32& rect) {
  LineStyle style;
  style.colour = 0xFF000000;
  style.width = 1;
  style.pattern_kind = 3;
  PointList path;
  if (PathFromRect(path, rect) < 0) return;
  DrawPath(path, &style, nullptr);
}

// ---- regions -----------------------------------------------------------------------

void CRenderContext::FillRegion(Region* region, const FillStyle& fill) {
  if (m_scan && !(fill.kind & kFillHasTexture)) {
    if (m_scan->BeginFill(&fill, nullptr, GraphToTwips(region->boundary->vertex->position),
                          FillRule::kEvenOdd)) {
      FeedRegionContours(
          region, [this](const QuadCurve& c) { FeedScanCurve(*m_scan, c); },
          [this](const Point32& p) { m_scan->MoveTo(p); });
      Rect32 bounds;
      RectShift(region->bounds, ShiftRight(8), bounds);
      Rect32 device;
      MatrixTransformRect(m_matrix, bounds, device);
      RectUnion(m_drawnArea, device, m_drawnArea);
    }
    m_scan->active = 0;
  }
  if (fill.kind != kFillSolid) {
    FillArea(nullptr, region, fill);
    return;
  }
  PointList path;
  if (RegionGetPath(region, path) < 0) return;
  DrawPath(path, nullptr, &fill);
}

// ---- edge graphs -------------------------------------------------------------------

void CRenderContext::DrawEdgeGraph(const EdgeGraph& graph) {
  // Regions are a cache of the graph, built here when missing.
  EdgeGraph& g = const_cast<EdgeGraph&>(graph);
  m_passCounts = {};
  if (m_scan) {
    m_scan->objectId += 1;
    if (m_flags & kFlagFills) {
      try {
        FeedRegionEdges(g);
      } catch (const std::bad_alloc&) {
        // The fills of this shape are left out; its lines still draw.
      }
      m_scan->active = 0;
    }
  } else if (m_flags & kFlagFills) {
    FillRegionsGdi(g);
  }
  DrawEdgeGraphLines(g);
}

void CRenderContext::FeedRegionEdges(EdgeGraph& graph) {
  const Rect32 clip = GraphClip(m_docClip, 40960);
  RegionIter it;
  if (RegionIterInit(it, graph) < 0) return;
  std::unordered_set<const Region*> visible;
  Region* parent = nullptr;
  while (Region* r = RegionIterNext(it, &parent)) {
    if (!RegionIsOuter(*r)) {
      // A hole shows its parent's face; the face round everything (a hole
      // without a parent) is never filled.
      if (parent && visible.count(parent)) visible.insert(r);
      continue;
    }
    if (!RectsOverlap(r->bounds, clip)) continue;
    if (StyleIndexOf(r->fill) != 0 && !StyleIsTag(r->fill)) {
      FillStyle fill;
      EdgeGraphGetFillStyle(graph, r->fill, fill);
      if (fill.kind & kFillHasTexture) {
        // Textures are not drawn by the scan converter: the region is filled
        // now and left out of the edge feed.
        PrepareFill(fill, StyleIsSelected(r->fill));
        FillArea(nullptr, r, fill);
        ++m_passCounts.region_fills;
        continue;
      }
    }
    visible.insert(r);
  }

  auto sideFill = [&](const Region* r, FillStyle& out) {
    if (!r || !visible.count(r)) return false;
    // A hole is a boundary of its parent's face and shows that face's fill,
    // as the region pass without a scan converter fills it.
    if (!RegionIsOuter(*r) && r->parent) r = r->parent;
    if (StyleIndexOf(r->fill) == 0 || StyleIsTag(r->fill)) return false;
    EdgeGraphGetFillStyle(graph, r->fill, out);
    PrepareFill(out, StyleIsSelected(r->fill));
    return true;
  };

  const uint32_t first = EdgeGraphNextStamp();
  const uint32_t second = EdgeGraphNextStamp();
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
    if (e->a.visit == second || !e->a.vertex) return;
    // Back to the start of the run of edges between the same two regions.
    HalfEdge* start = &e->a;
    start->visit = HalfEdgeTwin(start)->visit = first;
    for (;;) {
      HalfEdge* prev = HalfEdgePrevOnBoundary(start);
      if (!prev || prev->visit == first || prev->visit == second) break;
      if (prev->region != start->region ||
          HalfEdgeTwin(prev)->region != HalfEdgeTwin(start)->region)
        break;
      prev->visit = HalfEdgeTwin(prev)->visit = first;
      start = prev;
    }
    const Region* left = start->region;
    const Region* right = HalfEdgeTwin(start)->region;
    FillStyle leftFill, rightFill;
    const bool haveLeft = sideFill(left, leftFill);
    const bool haveRight = sideFill(right, rightFill);
    bool feed = false;
    if (haveLeft || haveRight) {
      QuadCurve c;
      EdgeGetCurve(start, c);
      feed = m_scan->BeginFill(haveLeft ? &leftFill : nullptr, haveRight ? &rightFill : nullptr,
                               GraphToTwips(c.p0), FillRule::kTwoSided);
    }
    for (HalfEdge* h = start;;) {
      if (feed) {
        QuadCurve c;
        EdgeGetCurve(h, c);
        FeedScanCurve(*m_scan, c);
        ++m_passCounts.region_edges;
      }
      h->visit = HalfEdgeTwin(h)->visit = second;
      HalfEdge* next = HalfEdgeNextOnBoundary(h);
      if (!next || next->visit == second || next->region != left ||
          HalfEdgeTwin(next)->region != right)
        break;
      h = next;
    }
    m_scan->active = 0;
  });
}

void CRenderContext::FillRegionsGdi(EdgeGraph& graph) {
  if (EdgeGraphBuildRegions(graph) < 0) return;
  Rect32 clip = GraphClip(m_docClip, 0);
  FillRegionTreeGdi(graph.top_regions, clip);
}

void CRenderContext::FillRegionTreeGdi(Region* first, const Rect32& clip) {
  // Depth-first with an explicit stack: region trees can be deep.
  std::vector<Region*> stack;
  if (first) stack.push_back(first);
  while (!stack.empty()) {
    Region* r = stack.back();
    stack.pop_back();
    if (r->next) stack.push_back(r->next);
    if (!RectsOverlap(r->bounds, clip)) continue;
    const StyleIndex index = StyleIndexOf(r->fill);
    const bool selected = StyleIsSelected(r->fill);
    if (RegionIsOuter(*r) && !RegionIsEmpty(*r) && index != 0 && !StyleIsTag(r->fill) &&
        (!(m_flags & kFlagSelectedOnly) || selected)) {
      FillStyle fill;
      EdgeGraphGetFillStyle(*r->graph, r->fill, fill);
      if (selected) fill.pattern_kind = 2;
      if (m_dimFactor != 0) DimFillStyle(fill);
      FillRegion(r, fill);
      ++m_passCounts.region_fills;
    }
    if (r->first_child) stack.push_back(r->first_child);
  }
}

// ---- lines -------------------------------------------------------------------------

void CRenderContext::DrawEdgeGraphLines(EdgeGraph& graph) {
  const Rect32 clip = GraphClip(m_docClip, (m_flags & kFlagFills) ? 51200 : 0);
  try {
    if (m_flags & kFlagFills) {
      DrawStyledLines(graph, clip);
    } else {
      DrawOutlines(graph, clip);
    }
  } catch (const std::bad_alloc&) {
    // Out of memory for the chain records: what was drawn stays.
  }
}

namespace {

struct LineChain {
  HalfEdge* first;
  uint32_t stamp;
  uint32_t key;
  uint32_t edges;
};

// Appends a graph curve in twips to the path (the start point when empty);
// false when memory runs out (the path keeps what it had).
[[nodiscard]] bool AppendGraphCurve(PointList& path, const QuadCurve& c, int32_t& work) {
  const QuadCurve t = GraphCurveToTwips(c);
  if (path.length == 0 && PointListAppend(path, t.p0, 0) < 0) return false;
  if (!t.straight && PointListAppend(path, t.control, 1) < 0) return false;
  if (PointListAppend(path, t.p2, 0) < 0) return false;
  work += t.straight ? 1 : 8;
  return true;
}

}  // namespace

void CRenderContext::DrawStyledLines(EdgeGraph& graph, const Rect32& clip) {
  // Chains are found over the whole graph, so where a chain starts and which
  // way it runs never depend on the clip (dashes keep their phase in partial
  // repaints); the clip only decides whether a chain is drawn.
  LineChainWalk walk;
  const uint32_t s = walk.Begin();
  std::vector<LineChain> chains;
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
    if (!e->a.vertex || walk.Stamped(e->a.visit)) return;
    if (StyleIndexOf(e->line) == 0 || StyleIsTag(e->line)) return;
    LineStyle style;
    EdgeGraphGetLineStyle(graph, e->line, style);
    const bool smoothOnly = (style.flags & 2) != 0;
    // Back to where the chain starts (or round a closed loop).
    HalfEdge* h = &e->a;
    h->visit = s;
    for (;;) {
      HalfEdge* c = FindLineContinuation(HalfEdgeTwin(h), smoothOnly);
      if (!c) break;
      HalfEdge* prev = HalfEdgeTwin(c);
      if (walk.Stamped(prev->edge->a.visit)) break;
      prev->edge->a.visit = s;
      h = prev;
    }
    // Then forwards, every edge taking the chain's own stamp.
    const uint32_t t = walk.Next();
    uint32_t count = 0;
    bool inClip = false;
    for (HalfEdge* f = h; f;) {
      f->edge->a.visit = t;
      ++count;
      if (!inClip) {
        Rect32 hull;
        CurveGetHullBounds(f->edge->curve, hull);
        inClip = RectsOverlap(hull, clip);
      }
      HalfEdge* c = FindLineContinuation(f, smoothOnly);
      if (!c || (walk.Stamped(c->edge->a.visit) && c->edge->a.visit != s)) break;
      f = c;
    }
    if (inClip) chains.push_back({h, t, ColorPack15(style, StyleIsSelected(e->line)), count});
  });
  std::stable_sort(chains.begin(), chains.end(),
                   [](const LineChain& a, const LineChain& b) { return a.key < b.key; });

  PointList path;
  StyleIndex previous = 0;
  for (const LineChain& chain : chains) {
    const Edge* e0 = chain.first->edge;
    LineStyle style;
    EdgeGraphGetLineStyle(graph, e0->line, style);
    const bool smoothOnly = (style.flags & 2) != 0;
    if (m_dimFactor != 0) {
      DimColorStyle(style);
    } else if (m_flags & kFlagHighlightAll) {
      style.pattern_kind = 3;
    } else if (m_flags & kFlagHighlightSelected) {
      style.pattern_kind = StyleIsSelected(e0->line) ? 3 : 0;
    }
    if (m_flags & kFlagMask) style.colour = 0xFF000000u;
    // The chain's edges in order, from its first half-edge.
    auto forEach = [&](auto&& f) {
      HalfEdge* h = chain.first;
      for (uint32_t n = 0; h && n < chain.edges; ++n) {
        QuadCurve c;
        EdgeGetCurve(h, c);
        f(c);
        ++m_passCounts.line_edges;
        HalfEdge* next = FindLineContinuation(h, smoothOnly);
        if (!next || next->edge->a.visit != chain.stamp || next->edge == e0) break;
        h = next;
      }
    };
    if (style.kind != 0 || !m_scan) {
      // Long chains are drawn as paths of about 800 units of work.
      PathClear(path);
      int32_t work = 0;
      forEach([&](const QuadCurve& c) {
        if (!AppendGraphCurve(path, c, work)) return;
        if (work > 800) {
          DrawPath(path, &style, nullptr);
          const Point32 last = path.buffer[path.length - 1].Point();
          PathClear(path);
          work = 0;
          if (PointListAppend(path, last, 0) < 0) return;
        }
      });
      if (path.length >= 2) DrawPath(path, &style, nullptr);
      continue;
    }
    if (StyleIndexOf(e0->line) != previous) {
      m_scan->objectId += 1;
      previous = StyleIndexOf(e0->line);
    }
    QuadCurve c0;
    EdgeGetCurve(chain.first, c0);
    if (m_scan->BeginStroke(&style, GraphToTwips(c0.p0))) {
      forEach([&](const QuadCurve& c) {
        const QuadCurve t = GraphCurveToTwips(c);
        if (t.straight) {
          m_scan->StrokeLineTo(t.p2);
        } else {
          m_scan->StrokeCurveTo(t.control, t.p2);
        }
      });
      m_scan->EndStroke();
    }
  }
}

void CRenderContext::DrawOutlines(EdgeGraph& graph, const Rect32& clip) {
  const uint32_t a = EdgeGraphNextStamp();
  const uint32_t b = EdgeGraphNextStamp();
  const bool bySelection = (m_flags & kFlagHighlightSelected) != 0;
  auto sameRun = [&](const Edge* x, const Edge* y) {
    if (StyleIndexOf(x->line) != StyleIndexOf(y->line)) return false;
    return !bySelection || StyleIsSelected(x->line) == StyleIsSelected(y->line);
  };
  auto eligible = [&](const Edge* x) {
    if (x->a.visit == a) return false;
    if ((m_flags & kFlagChangedOnly) && !(x->flags & kEdgeTouched)) return false;
    Rect32 hull;
    CurveGetHullBounds(x->curve, hull);
    return RectsOverlap(hull, clip);
  };
  PointList path;
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
    if (!e->a.vertex || !eligible(e)) return;
    // Back to the start of the run (stamping B), then forwards (stamping A).
    HalfEdge* start = &e->a;
    start->visit = b;
    for (;;) {
      HalfEdge* prev = HalfEdgePrevOnBoundary(start);
      if (!prev || prev->visit == b || !eligible(prev->edge) || !sameRun(prev->edge, e)) break;
      prev->visit = b;
      start = prev;
    }
    PathClear(path);
    int32_t work = 0;
    for (HalfEdge* h = start; h;) {
      QuadCurve c;
      EdgeGetCurve(h, c);
      h->edge->a.visit = a;
      if (!AppendGraphCurve(path, c, work)) break;
      HalfEdge* next = HalfEdgeNextOnBoundary(h);
      if (!next || !eligible(next->edge) || !sameRun(next->edge, e)) break;
      h = next;
    }
    LineStyle style = m_outlineStyle;
    if (m_dimFactor != 0) {
      DimColorStyle(style);
    } else if (m_flags & kFlagHighlightAll) {
      style.pattern_kind = 3;
    } else if (bySelection) {
      style.pattern_kind = StyleIsSelected(e->line) ? 3 : 0;
    }
    DrawPath(path, &style, nullptr);
  });
}
