// Drawing the handles of the handle mode.
#include "geometry/edge_graph.h"
#include "model/pic_shape.h"
#include "render/context/render_context.h"
#include "view/core/handle_drag.h"
#include "view/core/view_state.h"

namespace {

// Handle kinds: a white square (scale), a white circle (rotate and slant),
// a large cross (centre point); a fill's frame draws its own.
constexpr int kHandleKindScale = CRenderContext::kHandleSquare | CRenderContext::kHandleWhite;
constexpr int kHandleKindRotate = CRenderContext::kHandleCircle | CRenderContext::kHandleWhite;
constexpr int kHandleKindCentre = CRenderContext::kHandleCross | CRenderContext::kHandleLarge;

}  // namespace

void ViewState::DrawHandles(CRenderContext& ctx) const {
  if (handle_mode_ == kHandleNone || handle_rect_.IsEmpty()) return;
  const Rect32& r = handle_rect_;
  switch (handle_mode_) {
    case kHandleRotate:
    case kHandleScale: {
      const int kind = handle_mode_ == kHandleScale ? kHandleKindScale : kHandleKindRotate;
      for (int i = 0; i < 8; ++i) {
        Point32 p;
        RectGetHandlePoint(r, i, p);
        ctx.DrawHandle(p, kind);
      }
      return;
    }
    case kHandleCenter: {
      Point32 p{r.xmin, r.ymin};
      ctx.DrawHandle(p, kHandleKindCentre);
      return;
    }
    case kHandleFill:
      break;
    default:
      return;
  }
  auto* owner = dynamic_cast<CPicShape*>(GetFillOwner());
  if (owner == nullptr || edited_fill_ == 0 || fill_bounds_.IsEmpty()) return;
  FillStyle style;
  EdgeGraphGetFillStyle(owner->GetGeometry(), edited_fill_, style);
  DrawFillFrame(ctx, owner->GetShapeMatrix(), style, fill_bounds_);
}
