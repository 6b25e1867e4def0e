#include "view/tool_option_bar.h"

namespace {

ToolShell* g_shell = nullptr;

// What a missing shape box answers: type 0, width and height 1, slant 0.
BrushShape MissingShapeBox() {
  BrushShape s;
  s.type = BrushShape::kRound;
  s.width = 1;
  s.height = 1;
  s.slant = 0;
  return s;
}

}  // namespace

BrushShape ToolOptionBar::GetBrushShape() const {
  return MissingShapeBox();
}

BrushShape ToolOptionBar::GetEraserShape() const {
  return MissingShapeBox();
}

ToolShell* GetToolShell() {
  return g_shell;
}

void SetToolShell(ToolShell* shell) {
  g_shell = shell;
}
