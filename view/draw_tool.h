// The drawing tools as the view calls them. A press runs the tool's whole
// gesture (a modal loop polling the view's IsButtonStillDown); the tools
// themselves are the application's.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"
#include "platform/qt/win_types.h"
#include "view/core/view_input.h"

class CMarlView;
class ToolOptionBar;
struct FillStyle;

class CDrawTool {
 public:
  virtual ~CDrawTool() = default;
  // A left press at client point (x, y) with the mouse message's key flags.
  virtual void OnPress(CMarlView& view, UINT flags, int32_t x, int32_t y) = 0;
  virtual void OnDoubleClick(CMarlView& /*view*/, UINT /*flags*/, int32_t /*x*/, int32_t /*y*/) {}
  // Sets the cursor for a document point; false when it set none.
  virtual bool SetCursor(CMarlView& /*view*/, const Point32& /*point*/) { return false; }
  // The selection's transform dragged by a handle (the arrow tool's): anchor
  // is the fixed point, grab the handle taken, kind the transform drag's
  // kind. Runs inside the view's edit transaction, which an exception
  // reverts.
  virtual void DragTransform(CMarlView& /*view*/, const Point32& /*anchor*/,
                             const Point32& /*grab*/, int32_t /*kind*/) {}

  // The application (de)selects the tool; with updateBars the frames' tool
  // options bars show the tool's panel first.
  virtual void Activate(bool /*selected*/, bool /*updateBars*/, int32_t /*panel*/) {}
  // A command of a tool options bar (null: the active frame's).
  virtual void OnCommand(UINT /*command*/, ToolOptionBar* /*bar*/) {}
  // Writes the tool's state into a bar's controls for a command (0: all).
  virtual void SyncOptionBar(ToolOptionBar& /*bar*/, UINT /*command*/) {}
  // A double click on the tool's button.
  virtual void OnToolDoubleClick(CMarlView& /*view*/) {}
  // The tool's colour: whether it carries one, a solid colour, and the
  // whole definition out and in (only a tool that carries one takes one).
  virtual bool HasColorDef() const { return false; }
  virtual void SetSolidColor(uint32_t /*colour*/) {}
  virtual bool GetColorDef(FillStyle& /*out*/) const { return false; }
  virtual void SetColorDef(const FillStyle& /*colour*/) {}
};

// The application's tool objects: the current tool, the special tool (the
// pen's other end) and switching between them.
class ViewTools : public ToolSwitcher {
 public:
  virtual CDrawTool* GetCurrentTool() = 0;
  // Null when the application has none.
  virtual CDrawTool* GetSpecialTool() { return nullptr; }
};
