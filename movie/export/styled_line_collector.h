// CStyledLineCollector: a render context that turns styled lines (dashes,
// dots, chalk, blobs, strokes across; kinds 1 to 5, which the movie format
// cannot carry) into geometry it can: every filled path the line renderer
// gives becomes filled regions of the target graph, every stroked path edges
// with its plain line style.
#pragma once

#include "geometry/fixed.h"
#include "render/context/render_context.h"

struct EdgeGraph;

class CStyledLineCollector : public CRenderContext {
 public:
  explicit CStyledLineCollector(EdgeGraph& target);

  // Draws the lines of `lines` under the object matrix into the target: the
  // paths are placed by the matrix while widths, dash lengths and dot sizes
  // stay as they are, as the editor draws a transformed shape's styled lines.
  // Throws CMemoryException when memory runs out.
  void Collect(EdgeGraph& lines, const Matrix2x3& objectMatrix);

  void FillPolygon(const PointList& path, const LineStyle* line, const FillStyle* fill) override;
  void FillArea(const PointList* path, Region* region, const FillStyle& fill) override;

 private:
  EdgeGraph& m_target;
  bool m_failed = false;
};
