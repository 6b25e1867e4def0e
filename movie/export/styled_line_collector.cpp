#include "movie/export/styled_line_collector.h"

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_insert.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_update.h"
#include "geometry/point_list.h"
#include "model/geometry_result.h"

CStyledLineCollector::CStyledLineCollector(EdgeGraph& target) : m_target(target) {
  m_flags |= kFlagFills;
}

void CStyledLineCollector::Collect(EdgeGraph& lines, const Matrix2x3& objectMatrix) {
  ConcatMatrix(objectMatrix);
  DrawEdgeGraphLines(lines);
  if (m_failed) throw CMemoryException();
}

void CStyledLineCollector::FillPolygon(const PointList& path, const LineStyle* line,
                                       const FillStyle* fill) {
  if (m_failed || path.length < 2) return;
  // Each path is made apart and merged on top of what came before it.
  EdgeGraph piece;
  if (EdgeGraphInit(piece) < 0) {
    m_failed = true;
    return;
  }
  bool ok = true;
  int lineIndex = 0;
  if (line != nullptr && line->width > 0) {
    LineStyle plain = *line;
    plain.kind = 0;
    lineIndex = EdgeGraphAddLineStyle(piece, plain);
    ok = lineIndex > 0;
  }
  ok = ok && EdgeGraphAddPath(piece, path, static_cast<StyleIndex>(lineIndex), 0, 0) >= 0;
  if (ok && fill != nullptr) {
    const int fillIndex = EdgeGraphAddFillStyle(piece, *fill);
    ok = fillIndex > 0 &&
         EdgeGraphPaintRegions(piece, static_cast<StyleIndex>(fillIndex), false) >= 0;
  }
  ok = ok && EdgeGraphUpdate(piece) >= 0 &&
       EdgeGraphMerge(piece, m_target, kMergeLinesWin | kMergeFillsWin) >= 0;
  EdgeGraphFreeAll(piece);
  if (!ok) m_failed = true;
}

void CStyledLineCollector::FillArea(const PointList* path, Region* region, const FillStyle& fill) {
  // The line renderer fills paths only.
  if (path != nullptr && region == nullptr) FillPolygon(*path, nullptr, &fill);
}
