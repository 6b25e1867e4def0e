// Drawing the handles of the handle mode.
#include <utility>

#include "geometry/edge_graph.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/pic_shape.h"
#include "render/context/render_context.h"
#include "view/core/view_state.h"

namespace {

// Handle kinds: a white square (scale), a white circle (rotate and slant),
// a large cross (centre point).
constexpr int kHandleKindScale = CRenderContext::kHandleSquare | CRenderContext::kHandleWhite;
constexpr int kHandleKindRotate = CRenderContext::kHandleCircle | CRenderContext::kHandleWhite;
constexpr int kHandleKindCentre = CRenderContext::kHandleCross | CRenderContext::kHandleLarge;
constexpr uint8_t kFillKindRadial = 0x12;
constexpr int32_t kFillRadius = 0x4000;  // a radial gradient's radius in fill space
constexpr Fixed kAngle15 = 15 << 16;
constexpr Fixed kAngle30 = 30 << 16;

LineStyle BlackHairline() {
  LineStyle line;
  line.colour = 0xFF000000;
  line.width = 1;
  return line;
}

}  // namespace

void ViewState::DrawHandles(CRenderContext& ctx) const {
  if (m_handleMode == kHandleNone || m_handleRect.IsEmpty()) return;
  const Rect32& r = m_handleRect;
  switch (m_handleMode) {
    case kHandleRotate:
    case kHandleScale: {
      const int kind = m_handleMode == kHandleScale ? kHandleKindScale : kHandleKindRotate;
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
  if (owner == nullptr || m_editedFill == 0 || m_fillBounds.IsEmpty()) return;
  FillStyle style;
  EdgeGraphGetFillStyle(owner->GetGeometry(), m_editedFill, style);
  // Everything below is in fill space: the fill's matrix applies first, then
  // the owner's, then the view's.
  CRenderState saved;
  ctx.SaveState(saved);
  ctx.ConcatMatrix(owner->GetShapeMatrix());
  ctx.ConcatMatrix(style.matrix);
  const LineStyle line = BlackHairline();
  const Rect32& b = m_fillBounds;
  PointList path;
  if (style.kind == kFillKindRadial) {
    if (PathFromEllipse(path, b) >= 0) ctx.DrawPath(path, &line, nullptr);
    Point32 p;
    PointFromAngle(kFillRadius, 0, nullptr, p);
    ctx.DrawHandle(p, kHandleKindScale);
    PointFromAngle(kFillRadius, kAngle15, nullptr, p);
    ctx.DrawHandle(p, kHandleKindRotate);
    PointFromAngle(kFillRadius, kAngle30, nullptr, p);
    ctx.DrawHandle(p, kHandleKindRotate);
    ctx.DrawHandle(Point32{0, 0}, kHandleKindRotate);
  } else {
    for (int32_t x : {b.xmin, b.xmax}) {
      PointList side;
      if (PointListAppend(side, Point32{x, b.ymin}, 0) < 0 ||
          PointListAppend(side, Point32{x, b.ymax}, 0) < 0) {
        continue;
      }
      ctx.DrawPath(side, &line, nullptr);
    }
    for (auto [handle, kind] : {std::pair{5, kHandleKindScale}, std::pair{2, kHandleKindRotate},
                                std::pair{8, kHandleKindRotate}}) {
      Point32 p;
      RectGetHandlePoint(b, handle, p);
      ctx.DrawHandle(p, kind);
    }
  }
  ctx.RestoreState(saved);
}
