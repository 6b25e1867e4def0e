// The Pencil and the Lasso. Both trace the pointer free-hand into chunks of
// document points (a new chunk at every pen lift). The pencil turns a
// trace into lines (shapes and arcs recognised, curves fitted, snapped),
// drags rectangles, ovals and lines in its shape modes, and recolours lines
// as the ink bottle; the lasso selects what its outline holds. Each change
// is one edit transaction.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/edge_style.h"
#include "geometry/point_list.h"
#include "view/core/pencil_stroke.h"
#include "view/draw_tool.h"

class CMarlView;

// The chunks of one trace, in order.
using TraceChunks = std::vector<std::unique_ptr<CPointList>>;

// Follows the pointer (or the pen) from a press at start (document units)
// while the button is down, drawing the path on the window with a pen of the
// colour and width (twips).
TraceChunks FreehandTrace(CMarlView& view, uint32_t colour, int32_t width, const Point32& start);

class CPencilTool : public CDrawTool {
 public:
  CPencilTool();
  void OnPress(CMarlView& view, UINT flags, int32_t x, int32_t y) override;
  bool SetCursor(CMarlView& view, const Point32& point) override;

  // Stores the mode; any mode but the ink bottle's is remembered as the one
  // the Pencil returns to.
  void SetDrawMode(int32_t mode);
  int32_t GetDrawMode() const { return m_mode; }
  int32_t GetLastMode() const { return m_lastMode; }
  // The ink-bottle toggle of the options panel shows checked.
  bool IsInkBottleChecked() const { return m_mode == kPencilInkBottle; }
  LineStyle line;

 private:
  void Freehand(CMarlView& view, const Point32& start);
  void ShapeDrag(CMarlView& view, const Point32& start);
  void InkBottle(CMarlView& view, const Point32& at);

  int32_t m_mode = kPencilStraighten;
  int32_t m_lastMode = kPencilStraighten;
};

class CLassoTool : public CDrawTool {
 public:
  void OnPress(CMarlView& view, UINT flags, int32_t x, int32_t y) override;
  bool SetCursor(CMarlView& view, const Point32& point) override;
};
