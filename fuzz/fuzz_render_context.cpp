// Draws a random edge graph through the render context twice: into a small
// bitmap through the scan converter (anti-aliased), and without a scan
// converter (the region pass, band regions of gradients, textures and
// styled strokes as paths). Both must end, whatever the graph and styles,
// and each pass must take every edge (and every region) at most once.
//
// Input: one header byte (bits 0-1: coordinate scale shift 0..3, bit 3 fills
// on, bit 4 highlight all, bit 5 dimmed, bit 6 mask mode, bit 7 low
// quality), 16 bytes of style parameters (P1..P6 of the styled line, its
// kind, the texture kind and flags, the gradient kind), then records of 13
// bytes: an operation byte (bits 0-1 fill on side A, bits 2-3 fill on side
// B, bits 4-5 line, bit 6 straight) and six little-endian 16-bit
// coordinates p0, control, p2. At most 24 records.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_region.h"
#include "render/context/render_context.h"
#include "render/raster/offscreen_bitmap.h"
#include "render/raster/scan_converter.h"

namespace {

constexpr size_t kHeader = 17;
constexpr size_t kRecord = 13;
constexpr size_t kMaxCurves = 24;

int16_t Read16(const uint8_t* p) {
  return static_cast<int16_t>(p[0] | (p[1] << 8));
}

void Styles(EdgeGraph& graph, const uint8_t* s) {
  FillStyle solid;
  solid.colour = 0xFF2040C0;
  FillStyle gradient;
  gradient.kind = (s[15] & 1) ? kGradientRadial : kGradientLinear;
  gradient.gradient.count = static_cast<uint8_t>(1 + s[14] % 8);
  for (int i = 0; i < gradient.gradient.count; ++i) {
    gradient.gradient.ratios[i] = static_cast<uint8_t>(s[i] ^ (i * 37));
    gradient.gradient.colours[i] = 0xFF000000u | (s[i] * 0x10101u);
  }
  // At least a quarter: a texture or gradient matrix far smaller makes
  // millions of pieces (legal, and slow, but nothing more to find).
  MatrixSetScale(gradient.matrix, (s[13] + 16) * 1024, (s[12] + 16) * 1024);
  FillStyle texture;
  texture.matrix = gradient.matrix;
  texture.kind = static_cast<uint8_t>(kFillTextureFirst + (s[13] & 3));
  texture.texture_flags = s[13] >> 7;
  texture.colour = 0xFF00A000;
  texture.texture.background = (s[12] & 1) ? 0xFFFFFFFF : 0;
  LineStyle plain;
  plain.colour = 0xFF000000;
  plain.width = static_cast<int16_t>(s[11] * 4);
  LineStyle styled = plain;
  styled.kind = static_cast<uint8_t>(1 + s[12] % 5);
  for (int i = 0; i < 6; ++i) styled.params[i] = Read16(s + 2 * i);
  LineStyle other = styled;
  other.kind = static_cast<uint8_t>(1 + (s[12] + 2) % 5);
  other.width = static_cast<int16_t>(Read16(s + 10));
  if (EdgeGraphAddFillStyle(graph, solid) < 0 || EdgeGraphAddFillStyle(graph, gradient) < 0 ||
      EdgeGraphAddFillStyle(graph, texture) < 0 || EdgeGraphAddLineStyle(graph, plain) < 0 ||
      EdgeGraphAddLineStyle(graph, styled) < 0 || EdgeGraphAddLineStyle(graph, other) < 0)
    std::abort();
}

void Draw(CRenderContext& rc, uint8_t header, const EdgeGraph& graph) {
  if (header & 0x08) rc.m_flags |= CRenderContext::kFlagFills;
  if (header & 0x10) rc.m_flags |= CRenderContext::kFlagHighlightAll;
  if (header & 0x20) rc.m_dimFactor = 128;
  if (header & 0x40) rc.m_flags |= CRenderContext::kFlagMask;
  rc.SetQuality((header & 0x80) ? 1 : 3);
  Matrix2x3 m;
  MatrixSetScale(m, kFixedOne / 20, kFixedOne / 20);
  rc.SetMatrix(m);
  rc.DrawEdgeGraph(graph);
  rc.Flush();
  uint32_t edges = 0;
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge*) { ++edges; });
  uint32_t regions = 0;
  RegionIter it;
  if (RegionIterInit(it, const_cast<EdgeGraph&>(graph)) >= 0) {
    Region* parent = nullptr;
    while (RegionIterNext(it, &parent)) ++regions;
  }
  const CRenderContext::PassCounts& n = rc.m_passCounts;
  if (n.region_edges > edges || n.line_edges > edges || n.region_fills > regions) {
    std::fprintf(stderr,
                 "a pass took more than the graph holds: %u edges, %u regions; "
                 "region pass %u edges, %u fills; line pass %u edges\n",
                 edges, regions, n.region_edges, n.region_fills, n.line_edges);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeader) return 0;
  EdgeGraphResetGlobals();
  const uint8_t header = data[0];
  const int shift = header & 3;  // up to about 65,000 twips, a large drawing
  EdgeGraph graph;
  if (EdgeGraphInit(graph) < 0) return 0;
  Styles(graph, data + 1);
  size_t count = 0;
  for (size_t at = kHeader; at + kRecord <= size && count < kMaxCurves; at += kRecord, ++count) {
    const uint8_t* r = data + at;
    auto point = [&](int k) {
      return Point32{static_cast<int32_t>(Read16(r + 1 + 4 * k)) * (256 << shift) / 4,
                     static_cast<int32_t>(Read16(r + 3 + 4 * k)) * (256 << shift) / 4};
    };
    QuadCurve c;
    if (r[0] & 0x40) {
      CurveFromLine(point(0), point(2), c);
    } else {
      CurveSet(point(0), point(1), point(2), c);
    }
    Edge* e = nullptr;
    if (EdgeGraphNewEdge(c, &e) < 0) break;
    e->a.fill = r[0] & 3;
    e->b.fill = (r[0] >> 2) & 3;
    e->line = (r[0] >> 4) & 3;
    if (EdgeGraphInsertEdge(graph, e, 0, 3) < 0) break;
  }
  {
    COffscreenBitmap bitmap;
    if (bitmap.CreateDepth(32, nullptr, 32, 32, false)) {
      auto scan = std::make_unique<CScanConverter>(&bitmap, nullptr, nullptr, 1);
      const Rect32 clip = {0, 32, 0, 32};
      CRenderContext rc(nullptr, &clip);
      rc.m_scan = scan.get();
      rc.FillRectColor(0xFFFFFF);
      Draw(rc, header, graph);
    }
  }
  {
    // Clipped like a view or a printed page: a huge textured outline seen
    // whole is legal, and merely slow.
    const Rect32 clip = {0, 32, 0, 32};
    CRenderContext rc(nullptr, &clip);
    Draw(rc, header, graph);
  }
  EdgeGraphFreeAll(graph);
  return 0;
}
