// Transforming a whole edge graph, and the hit test.
#include "geometry/edge_graph_transform.h"

#include <algorithm>
#include <new>
#include <vector>

#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_select.h"

namespace {

// Gradient and texture fills are placed by a matrix of their own (into
// twips, as the renderers read it), which follows the transform; equal
// indices in a row are converted once.
struct FillConverter {
  EdgeGraph& graph;
  const Matrix2x3& m;
  StyleIndex last = 0;
  StyleIndex replacement = 0;

  int Convert(StyleIndex& fill) {
    const StyleIndex index = StyleIndexOf(fill);
    if (index == 0 || StyleIsTag(fill)) return 0;
    if (index != last) {
      FillStyle style;
      EdgeGraphGetFillStyle(graph, index, style);
      if (style.kind == kFillSolid) return 0;
      MatrixConcat(style.matrix, m, style.matrix);
      const int added = EdgeGraphAddFillStyle(graph, style);
      if (added < 0) return added;
      last = index;
      replacement = static_cast<StyleIndex>(added);
    }
    fill = static_cast<StyleIndex>(replacement | (fill & kStyleSelected));
    return 0;
  }
};

}  // namespace

bool MatrixMirrors(const Matrix2x3& m) {
  return int64_t{m.a} * m.d - int64_t{m.b} * m.c < 0;
}

int EdgeGraphTransform(EdgeGraph& graph, const Matrix2x3& matrix) {
  Matrix2x3 m = matrix;
  m.tx = static_cast<int32_t>(static_cast<uint32_t>(m.tx) << 8);
  m.ty = static_cast<int32_t>(static_cast<uint32_t>(m.ty) << 8);
  const bool mirrors = MatrixMirrors(m);
  const uint32_t stamp = EdgeGraphNextStamp();
  std::vector<Vertex*> vertices;
  try {
    vertices.reserve(graph.edge_count + 1);
    EdgeGraphForEachVertex(graph, nullptr, [&](Vertex* v) { vertices.push_back(v); });
  } catch (const std::bad_alloc&) {
    return -1;
  }
  for (Vertex* v : vertices) MatrixTransformPoint(m, v->position, v->position);
  // The fills take the matrix in twips; the vertices and curves its graph form.
  FillConverter fills{graph, matrix};
  for (Vertex* v : vertices)
    for (HalfEdge* h = v->ring; h; h = h->ring_next) {
      if (h->visit == stamp) continue;
      Edge* e = h->edge;
      if (int r = EdgeGraphTouchEdge(graph, e); r < 0) return r;
      CurveTransform(e->curve, m, e->curve);
      if (mirrors) e->flags ^= kEdgeMirrored;
      if (int r = fills.Convert(e->a.fill); r < 0) return r;
      if (int r = fills.Convert(e->b.fill); r < 0) return r;
      e->a.visit = e->b.visit = stamp;
      e->flags |= kEdgeMoved;
      graph.flags |= kGraphMovedEdges;
    }
  return 0;
}

uint32_t ColorPack15(const LineStyle& style, bool selected) {
  const uint32_t c = style.colour;
  uint32_t key = static_cast<uint32_t>(static_cast<uint16_t>(style.width)) * 32768u +
                 ((c & 0xFF) >> 3) * 1024u + (((c >> 8) & 0xFF) >> 3) * 32u +
                 (((c >> 16) & 0xFF) >> 3);
  if (selected) key |= 0x80000000u;
  return key;
}

// ---- Hit test ------------------------------------------------------------------------

namespace {

struct HitContext {
  EdgeGraph& graph;
  const EdgeHitRecord& record;
  bool ignore_widths;
  Point32 point;  // graph units
  int64_t r;      // pick radius, graph units

  // Half the line's width through the matrix, in graph units. Lines come in
  // runs of the same index: the last one is remembered.
  int64_t HalfWidth(StyleIndex line) {
    if (ignore_widths || StyleIndexOf(line) == 0) return 0;
    if (StyleIndexOf(line) != last_line) {
      LineStyle style;
      EdgeGraphGetLineStyle(graph, line, style);
      last_line = StyleIndexOf(line);
      last_half_width = int64_t{MatrixScaleLength(record.matrix, style.width)} * 128;
    }
    return last_half_width;
  }
  StyleIndex last_line = 0;
  int64_t last_half_width = 0;
};

bool IsPlainSmoothJoint(const Vertex& v) {
  if (!(v.flags & kVertexSmooth)) return false;
  int n = 0;
  for (const HalfEdge* h = v.ring; h; h = h->ring_next) ++n;
  return n == 2;
}

int64_t Distance(const Point32& p, const Point32& q) {
  return PointDistance(p, q);
}

int32_t ClampRadius(int64_t v) {
  return static_cast<int32_t>(std::min<int64_t>(v, INT32_MAX / 2));
}

Rect32 Around(const Point32& p, int64_t d) {
  auto clamp = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN + 1, INT32_MAX));
  };
  return {clamp(p.x - d), clamp(p.x + d), clamp(p.y - d), clamp(p.y + d)};
}

// A hole stands for the region it is a hole of.
Region* FilledRegion(Region* region) {
  if (!region || StyleIndexOf(region->fill) == 0) return nullptr;
  if (RegionIsOuter(*region)) return region;
  return RegionGetParent(region);
}

}  // namespace

int EdgeGraphHitTest(EdgeGraph& graph, EdgeHitRecord& record) {
  record.region = nullptr;
  record.edge = nullptr;
  record.vertex = nullptr;
  HitContext hc{graph, record, record.ignore_widths != 0, {}, 0};
  Point32 p;
  MatrixTransformPoint(record.matrix, record.point, p);
  PointShift(p, ShiftLeft(8), hc.point);
  hc.r = int64_t{MatrixScaleLength(record.matrix, record.radius)} * 256;
  const int64_t large = std::max(hc.r, int64_t{MatrixScaleLength(record.matrix, 200)} * 256);
  const Rect32 search = Around(hc.point, hc.ignore_widths ? hc.r : large);

  // Vertices.
  int64_t best_vertex = large;
  EdgeGraphForEachVertex(graph, &search, [&](Vertex* v) {
    if (!v->ring || IsPlainSmoothJoint(*v)) return;
    const int64_t d = Distance(v->position, hc.point);
    if (d >= best_vertex) return;
    int64_t reach = hc.r;
    for (const HalfEdge* h = v->ring; h; h = h->ring_next)
      reach = std::max(reach, hc.HalfWidth(h->edge->line));
    if (d < reach) {
      best_vertex = d;
      record.vertex = v;
    }
  });

  // Edges: the nearest stroke; among strokes that cover the point, the one
  // drawn last.
  int64_t best_edge = hc.r;
  uint32_t best_key = 0;
  EdgeGraphForEachEdge(graph, &search, [&](Edge* e) {
    const int64_t h = hc.HalfWidth(e->line);
    const int64_t reach = std::max(hc.r, h);
    Rect32 hull;
    CurveGetHullBounds(e->curve, hull);
    if (hc.point.x < hull.xmin - reach || hc.point.x > hull.xmax + reach ||
        hc.point.y < hull.ymin - reach || hc.point.y > hull.ymax + reach)
      return;  // the curve lies within its hull: too far
    Point32 nearest;
    if (CurveNearestPoint(e->curve, hc.point, ClampRadius(reach + 1), &nearest) < 0) return;
    const int64_t d = std::max<int64_t>(Distance(nearest, hc.point) - h, 0);
    uint32_t key = 0;
    if (StyleIndexOf(e->line) != 0) {
      LineStyle style;
      EdgeGraphGetLineStyle(graph, e->line, style);
      key = ColorPack15(style, EdgeHasSelectedLine(*e));
    }
    if (d < best_edge || (d == 0 && best_edge == 0 && record.edge && key > best_key)) {
      best_edge = d;
      best_key = key;
      record.edge = e;
    }
  });

  // The ends of the edge found.
  if (record.edge && !record.vertex) {
    int64_t reach = 2 * hc.r;
    if (!hc.ignore_widths) reach = std::max(reach, hc.r + hc.HalfWidth(record.edge->line));
    for (Vertex* v : {record.edge->a.vertex, record.edge->b.vertex}) {
      if (IsPlainSmoothJoint(*v)) continue;
      const int64_t d = Distance(v->position, hc.point);
      if (d < reach) {
        reach = d;
        record.vertex = v;
      }
    }
  }
  if (hc.ignore_widths && !record.edge) return 0;

  // The filled region.
  record.region = FilledRegion(EdgeGraphFindRegion(graph, hc.point));
  if (!record.region && record.edge) {
    Region* side = record.edge->a.region;
    if (!side || StyleIndexOf(side->fill) == 0) side = record.edge->b.region;
    record.region = FilledRegion(side);
  }
  return 0;
}
