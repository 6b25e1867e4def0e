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
#include "view/core/paint_bucket.h"
#include "view/draw_tool.h"
#include "view/tool_option_bar.h"

class CMarlView;

// The option commands of the brush and eraser panels.
constexpr UINT kCmdBucket = 122;  // the Brush's Paint Bucket button
constexpr UINT kCmdLockFill = 206;
constexpr UINT kCmdTransformFill = 484;
constexpr UINT kCmdFaucet = 32853;  // the Eraser's Faucet button
constexpr UINT kCmdUsePressure = 32915;
constexpr UINT kCmdColor = 32968;
constexpr UINT kCmdBrushSize = 32969;
constexpr UINT kCmdBrushShape = 32970;
constexpr UINT kCmdPaintMode = 32972;
constexpr UINT kCmdGapSize = 32973;
constexpr UINT kCmdEraserShape = 32974;
constexpr UINT kCmdFillColor = 32978;
constexpr UINT kCmdEraseMode = 32980;

class CBrushTool : public CDrawTool {
 public:
  // The Brush: colour word 0xFF0000FF, mode 0, a round shape of 20, gap
  // size 8. Reset(0) makes it an Eraser.
  CBrushTool();
  ~CBrushTool() override;
  CBrushTool(const CBrushTool&) = delete;
  CBrushTool& operator=(const CBrushTool&) = delete;

  // The stroke (modes 0 to 5); in mode 6 the bucket's or faucet's click.
  void OnPress(CMarlView& view, UINT flags, int32_t x, int32_t y) override;
  // Mode 6: the fill-transform, lock-fill, bucket or faucet cursor. Else,
  // with something to paint on, the cursor made from the shape (the stock
  // pressure cursor while "Use Pressure" is on); without, the arrow.
  bool SetCursor(CMarlView& view, const Point32& point) override;

  // Leaves the view's fill-transform mode, then syncs the bars and tells the
  // colour window the tool's colour.
  void Activate(bool selected, bool updateBars, int32_t panel) override;
  // The commands of the brush and eraser panels; every one is then written
  // to the other frames' bars.
  void OnCommand(UINT command, ToolOptionBar* bar) override;
  void SyncOptionBar(ToolOptionBar& bar, UINT command) override;
  // The Eraser's: everything in the view deleted, one edit.
  void OnToolDoubleClick(CMarlView& view) override;
  // Every visible frame's bar (UpdateBars), or the frames' other than the
  // active one (BroadcastToFrames), synced for the command.
  void UpdateBars(UINT command);
  void BroadcastToFrames(UINT command);

  // The colour word is not 0: the Brush carries a colour, the Eraser none.
  bool HasColorDef() const override { return m_colour.colour != 0; }
  const FillStyle& GetColorDef() const { return m_colour; }
  bool GetColorDef(FillStyle& out) const override {
    out = m_colour;
    return true;
  }
  void SetColorDef(const FillStyle& colour) override;
  void SetSolidColor(uint32_t colour) override;

  // Destroys the own cursor; mode 6 keeps the last other mode. With
  // tellBar a tool with a colour lays the active bar's brush panel out.
  void SetMode(int32_t mode, bool tellBar = false);
  int32_t GetMode() const { return m_mode; }
  int32_t GetLastMode() const { return m_lastMode; }
  // No colour (the tool becomes an Eraser), the pressure flag, size 1.0, gap 0.
  void Reset(int32_t usePressure);
  void SetGapSize(int32_t level) { m_gapSize = level; }
  int32_t GetGapSize() const { return m_gapSize; }
  const BrushShape& GetShape() const { return m_shape; }
  // Destroys the own cursor (made again from the new shape when needed).
  void SetShape(const BrushShape& shape);
  bool m_lockFill = false;
  bool m_transformFill = false;
  // Fits gradient and texture colours to strokes (null: the bucket's
  // placement over the whole stroke).
  void SetFillPlacer(BrushFillPlacer* placer) {
    m_placer = placer != nullptr ? placer : &m_gradientPlacer;
  }

  // Destroys the cursor made from the shape (the program's arrow shown
  // first when it is the cursor on the screen).
  void DestroyCursor();

 private:
  struct Stroke;
  // Sweeps the brush along the pen (or the mouse) until the gesture ends.
  void Follow(CMarlView& view, Stroke& s);
  // Traces the coverage and merges it into the targets, one edit transaction.
  void ApplyStroke(CMarlView& view, Stroke& s);
  // The cursor made from the shape, made when missing.
  HCURSOR OwnCursor();
  // The current view's fill-transform handles go away.
  void LeaveFillTransform();

  FillStyle m_colour;
  int32_t m_mode = 0;
  int32_t m_lastMode = 0;
  BrushShape m_shape;
  int32_t m_gapSize = 8;
  HCURSOR m_cursor = nullptr;
  GradientFillPlacer m_gradientPlacer;
  BrushFillPlacer* m_placer = &m_gradientPlacer;
};

// The Paint Bucket's or the Faucet's click at point (document units), one
// edit transaction (paint_bucket_tool.cpp).
void PaintBucketPress(CMarlView& view, CBrushTool& tool, const Point32& point);
// Tracks the drag of a fill's vector from start: end follows the cursor,
// snapped to points or to 15-degree directions. 1 when the drag is at least
// 4 pixels long.
int DragFillVector(CMarlView& view, const Point32& start, Point32& end, bool snapToPoints);
