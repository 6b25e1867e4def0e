// The Brush and the Eraser: one tool class whose press paints (or erases) a
// stroke. The brush footprint is swept along the pointer (or the pen) into a
// coverage raster at four times the screen resolution, drawn on the window
// as it grows; on release the covered area is traced into curves and merged
// into the drawing in one edit transaction. Mode 6 makes the Brush the
// Paint Bucket and the Eraser the Faucet, whose actions live elsewhere.
#pragma once

#include <cstdint>

#include "geometry/edge_style.h"
#include "platform/qt/cursors.h"
#include "view/core/brush_raster.h"
#include "view/core/brush_stroke.h"
#include "view/draw_tool.h"

class CMarlView;

class CBrushTool : public CDrawTool {
 public:
  // The Brush: solid opaque red-free colour word 0xFF0000FF, mode 0, a round
  // shape of 20, gap size 8. Reset(0) makes it an Eraser.
  CBrushTool();
  ~CBrushTool() override;
  CBrushTool(const CBrushTool&) = delete;
  CBrushTool& operator=(const CBrushTool&) = delete;

  // The stroke (modes 0 to 5); in mode 6 the bucket's or faucet's click.
  void OnPress(CMarlView& view, UINT flags, int32_t x, int32_t y) override;
  bool SetCursor(CMarlView& view, const Point32& point) override;

  // The colour word is not 0: the Brush carries a colour, the Eraser none.
  bool HasColorDef() const { return colour_.colour != 0; }
  const FillStyle& GetColorDef() const { return colour_; }
  // Only a tool that carries a colour takes one.
  void SetColorDef(const FillStyle& colour);
  // A solid colour (the rest of the definition cleared).
  void SetSolidColor(uint32_t colour);

  // Destroys the own cursor; mode 6 keeps the last other mode.
  void SetMode(int32_t mode);
  int32_t GetMode() const { return mode_; }
  int32_t GetLastMode() const { return lastMode_; }
  // No colour (the tool becomes an Eraser), the pressure flag, size 1.0, gap 0.
  void Reset(int32_t usePressure);
  void SetGapSize(int32_t level) { gapSize_ = level; }
  int32_t GetGapSize() const { return gapSize_; }
  const BrushShape& GetShape() const { return shape_; }
  // Destroys the own cursor (made again from the new shape when needed).
  void SetShape(const BrushShape& shape);
  bool lockFill = false;
  bool transformFill = false;
  // Fits gradient and texture colours to strokes (the default changes nothing).
  void SetFillPlacer(BrushFillPlacer* placer) { placer_ = placer != nullptr ? placer : &noPlacer_; }

  // The cursor made from the shape (the arrow shown first when it is the
  // cursor on the screen).
  void DestroyCursor();

 private:
  struct Stroke;
  // The gesture's sampling paths; false from the tablet path hands the
  // stroke to the mouse.
  bool TabletPath(CMarlView& view, Stroke& s);
  void MousePath(CMarlView& view, Stroke& s);
  // Traces the coverage and merges it into the targets, one edit transaction.
  void ApplyStroke(CMarlView& view, Stroke& s);
  HCURSOR OwnCursor();

  FillStyle colour_;
  int32_t mode_ = 0;
  int32_t lastMode_ = 0;
  BrushShape shape_;
  int32_t gapSize_ = 8;
  HCURSOR cursor_ = nullptr;
  BrushFillPlacer noPlacer_;
  BrushFillPlacer* placer_ = &noPlacer_;
};

// The Paint Bucket's or the Faucet's click at point (document units), one
// edit transaction (paint_bucket_tool.cpp).
void PaintBucketPress(CMarlView& view, CBrushTool& tool, const Point32& point);
// Tracks the drag of a fill's vector from start: end follows the cursor,
// snapped to points or to 15-degree directions. 1 when the drag is at least
// 4 pixels long.
int DragFillVector(CMarlView& view, const Point32& start, Point32& end, bool snapToPoints);
