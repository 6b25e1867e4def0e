// The tools' side of the tool options bars: the controls of the brush and
// eraser panels as the tools read and write them, and the application's
// frames that hold the bars.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/edge_style.h"
#include "view/core/brush_raster.h"

class CDrawTool;
class CMarlView;

// The option controls of one frame's tool options bar. Getters answer the
// defaults given when the control is missing.
class ToolOptionBar {
 public:
  virtual ~ToolOptionBar() = default;

  // The colour button's definition; false without a colour button.
  virtual bool GetColorDef(FillStyle& /*out*/) const { return false; }
  virtual void SetColorDef(const FillStyle& /*colour*/) {}

  // The brush panel. Size: the selected size item's first value (10
  // without a size box); shape: type, width, height and slant (1, 1, 0, 0
  // without a shape box).
  virtual int32_t GetBrushSize() const { return 10; }
  virtual void SetBrushSize(int32_t /*size*/) {}
  virtual BrushShape GetBrushShape() const;
  virtual void SetBrushShape(const BrushShape& /*shape*/) {}
  virtual int32_t GetPaintMode() const { return 0; }
  virtual void SetPaintMode(int32_t /*mode*/) {}
  virtual int32_t GetGapSize() const { return 0; }
  virtual void SetGapSize(int32_t /*level*/) {}
  virtual bool GetLockFill() const { return false; }
  virtual void SetLockFill(bool /*on*/) {}
  virtual bool GetTransformFill() const { return false; }
  virtual void SetTransformFill(bool /*on*/) {}
  // Places the colour and fill buttons for the mode (one place for mode 6).
  virtual void LayoutBrushPanel(int32_t /*mode*/) {}

  // The eraser panel.
  virtual BrushShape GetEraserShape() const;
  virtual void SetEraserShape(const BrushShape& /*shape*/) {}
  virtual int32_t GetEraseMode() const { return 0; }
  virtual void SetEraseMode(int32_t /*mode*/) {}
  virtual bool GetFaucet() const { return false; }
  virtual void SetFaucet(bool /*checked*/) {}
};

// The application's frames as the tools reach them.
class ToolShell {
 public:
  virtual ~ToolShell() = default;
  // The bar of the active frame; null when none.
  virtual ToolOptionBar* GetActiveBar() = 0;
  // The bars of the other visible frames (main frames and in-place frames).
  virtual std::vector<ToolOptionBar*> GetOtherBars() = 0;
  // The visible frames' bars show the option panel of the tool type.
  virtual void SelectToolPanel(int32_t /*panel*/) {}
  // The colour window shows the tool's colour (found in the document's
  // colour list, then the application's, or made from the definition).
  virtual void ToolNotify(const FillStyle& /*colour*/) {}
  // The view the fill-transform switch acts on; null when none.
  virtual CMarlView* GetCurrentView() { return nullptr; }
};

// The shell the tools use; null (the default) when the application has no
// frames, and the tools then only keep their own state.
ToolShell* GetToolShell();
void SetToolShell(ToolShell* shell);
