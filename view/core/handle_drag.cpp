#include "view/core/handle_drag.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "geometry/edge_graph.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/pic_shape.h"
#include "render/context/render_context.h"
#include "view/core/view_state.h"

namespace {

constexpr uint8_t kFillKindRadial = 0x12;
constexpr int32_t kFillRadius = 0x4000;  // a gradient's half side in fill space
constexpr int32_t kFillMinScale = 16;
constexpr Fixed kAngle15 = 15 << 16;
constexpr Fixed kAngle30 = 30 << 16;
constexpr Fixed kAngle180 = 180 << 16;
// Degrees to radians in 16.16 (pi / 180).
constexpr Fixed kRadiansPerDegree = 1144;

int32_t AxisDistance(const Point32& a, const Point32& b) {
  return static_cast<int32_t>(std::min<int64_t>(
      std::max(std::llabs(int64_t{a.x} - b.x), std::llabs(int64_t{a.y} - b.y)), INT32_MAX));
}

// A turn brought into (-180, 180].
Fixed NormalTurn(Fixed a) {
  const int64_t full = int64_t{2} * kAngle180;
  int64_t v = a % full;
  if (v > kAngle180) v -= full;
  if (v <= -kAngle180) v += full;
  return static_cast<Fixed>(v);
}

// The gradient's handles in fill space, in the order they are tried.
struct FillHandlePoint {
  FillHandle handle;
  Point32 point;
};
int FillHandlePoints(const FillStyle& style, const Rect32& bounds, FillHandlePoint out[4]) {
  if (style.kind == kFillKindRadial) {
    out[0].handle = FillHandle::kWidth;
    PointFromAngle(kFillRadius, 0, nullptr, out[0].point);
    out[1].handle = FillHandle::kSize;
    PointFromAngle(kFillRadius, kAngle15, nullptr, out[1].point);
    out[2].handle = FillHandle::kRotate;
    PointFromAngle(kFillRadius, kAngle30, nullptr, out[2].point);
    out[3] = {FillHandle::kMove, Point32{0, 0}};
    return 4;
  }
  out[0].handle = FillHandle::kWidth;
  RectGetHandlePoint(bounds, 5, out[0].point);
  out[1].handle = FillHandle::kRotate;
  RectGetHandlePoint(bounds, 2, out[1].point);
  out[2].handle = FillHandle::kMove;
  RectGetHandlePoint(bounds, kHandleCentre, out[2].point);
  return 3;
}

bool FindFillHandle(ViewState& view, const Point32& p, int32_t tolerance, HandleHit& out) {
  auto* owner = dynamic_cast<CPicShape*>(view.GetFillOwner());
  if (owner == nullptr || view.GetEditedFill() == 0 || view.GetFillBounds().IsEmpty()) return false;
  FillStyle style;
  EdgeGraphGetFillStyle(owner->GetGeometry(), view.GetEditedFill(), style);
  Matrix2x3 toDoc;
  MatrixConcat(style.matrix, owner->GetShapeMatrix(), toDoc);
  FillHandlePoint handles[4];
  const int n = FillHandlePoints(style, view.GetFillBounds(), handles);
  Point32 centre;
  MatrixTransformPoint(toDoc, handles[n - 1].point, centre);
  for (int i = 0; i < n; ++i) {
    Point32 q;
    MatrixTransformPoint(toDoc, handles[i].point, q);
    if (AxisDistance(q, p) > tolerance) continue;
    out.fill = handles[i].handle;
    out.cursor = FillHandleCursor(handles[i].handle);
    out.point = q;
    out.anchor = centre;
    return true;
  }
  return false;
}

bool FindRectHandle(ViewState& view, const Point32& p, int32_t tolerance, HandleHit& out) {
  const Rect32& r = view.GetHandleRect();
  int best = -1;
  int32_t bestDistance = 0;
  Point32 bestPoint;
  for (int i = 0; i <= kHandleCentre; ++i) {
    Point32 q;
    RectGetHandlePoint(r, i, q);
    const int32_t d = AxisDistance(q, p);
    if (d > tolerance || (best >= 0 && d >= bestDistance)) continue;
    best = i;
    bestDistance = d;
    bestPoint = q;
  }
  if (best < 0) return false;
  const HandleDrag drag = HandleDragFor(view.GetHandleMode(), best);
  out.handle = best;
  out.cursor = drag.cursor;
  out.kind = drag.kind;
  out.point = bestPoint;
  RectGetHandlePoint(r, drag.about_centre ? kHandleCentre : RectOppositeHandle(best), out.anchor);
  // A rotation turns about the object's own centre point when it has one.
  if (drag.about_centre) {
    if (CPicObj* single = view.GetSingleSelected(); single != nullptr && single->HasCenter())
      single->GetCenter(out.anchor);
  }
  return true;
}

}  // namespace

bool FindHandleAt(ViewState& view, const Point32& p, int32_t tolerance, HandleHit& out) {
  out = HandleHit{};
  const int32_t mode = view.GetHandleMode();
  if (mode == kHandleNone || view.GetHandleRect().IsEmpty()) return false;
  bool found = false;
  switch (mode) {
    case kHandleFill:
      found = FindFillHandle(view, p, tolerance, out);
      break;
    case kHandleCenter: {
      const Point32 centre{view.GetHandleRect().xmin, view.GetHandleRect().ymin};
      found = AxisDistance(centre, p) <= tolerance;
      out.cursor = ViewCursor::kSizeAll;
      out.point = centre;
      out.anchor = centre;
      break;
    }
    case kHandleRotate:
    case kHandleScale:
      found = FindRectHandle(view, p, tolerance, out);
      break;
    default:
      break;
  }
  if (found) out.mode = mode;
  return found;
}

Matrix2x3 FillDragMatrix(const Matrix2x3& start, FillHandle kind, const Point32& handle,
                         const Point32& point, const Point32& centre) {
  Matrix2x3 step;
  Matrix2x3 out = start;
  switch (kind) {
    case FillHandle::kMove:
      MatrixSetTranslation(step, WrapSub(point.x, handle.x), WrapSub(point.y, handle.y));
      MatrixConcat(start, step, out);
      break;
    case FillHandle::kWidth:
    case FillHandle::kSize: {
      Matrix2x3 toFill;
      MatrixInvert(start, toFill);
      Point32 q;
      MatrixTransformPoint(toFill, point, q);
      if (kind == FillHandle::kWidth) {
        const int32_t x =
            static_cast<int32_t>(std::min<int64_t>(std::llabs(int64_t{q.x}), INT32_MAX));
        MatrixSetScale(step, FixedDiv(std::max(x, kFillMinScale), kFillRadius), 0x10000);
      } else {
        const Fixed s = FixedDiv(std::max(VectorLength(q), kFillMinScale), kFillRadius);
        MatrixSetScale(step, s, s);
      }
      MatrixConcat(step, start, out);
      break;
    }
    case FillHandle::kRotate:
      out = FillRotateMatrix(start, FillDragTurn(start, handle, point, centre, false, 0, nullptr),
                             centre);
      break;
  }
  return out;
}

Fixed FillDragTurn(const Matrix2x3& start, const Point32& handle, const Point32& point,
                   const Point32& centre, bool snap, int32_t arcLimit, bool* snapped) {
  Fixed turn = NormalTurn(PointAngle(point, &centre) - PointAngle(handle, &centre));
  if (snapped != nullptr) *snapped = false;
  if (!snap) return turn;
  const Fixed angle = PointAngle(Point32{start.a, start.b}, nullptr);
  const Fixed wanted = NormalTurn(angle + turn);
  const Fixed rounded = RoundToMultiple(wanted, kAngle15);
  const Fixed off = std::abs(rounded - wanted);
  const int32_t arc = FixedMul(PointDistance(point, centre), FixedMul(off, kRadiansPerDegree));
  if (arc < arcLimit) {
    turn = NormalTurn(rounded - angle);
    if (snapped != nullptr) *snapped = true;
  }
  return turn;
}

Matrix2x3 FillRotateMatrix(const Matrix2x3& start, Fixed turn, const Point32& centre) {
  Matrix2x3 toOrigin;
  Matrix2x3 rotation;
  Matrix2x3 back;
  MatrixSetTranslation(toOrigin, -centre.x, -centre.y);
  MatrixSetRotation(rotation, turn);
  MatrixSetTranslation(back, centre.x, centre.y);
  Matrix2x3 m;
  Matrix2x3 turned;
  MatrixConcat(start, toOrigin, m);
  MatrixConcat(m, rotation, turned);
  MatrixConcat(turned, back, m);
  return m;
}

void DrawFillFrame(CRenderContext& ctx, const Matrix2x3& ownerMatrix, const FillStyle& style,
                   const Rect32& bounds) {
  // Handle kinds: a white square (scale), a white circle (rotate).
  constexpr int kHandleKindScale = CRenderContext::kHandleSquare | CRenderContext::kHandleWhite;
  constexpr int kHandleKindRotate = CRenderContext::kHandleCircle | CRenderContext::kHandleWhite;
  // Everything below is in fill space: the fill's matrix applies first, then
  // the owner's, then the view's.
  CRenderState saved;
  ctx.SaveState(saved);
  ctx.ConcatMatrix(ownerMatrix);
  ctx.ConcatMatrix(style.matrix);
  LineStyle line;
  line.colour = 0xFF000000;
  line.width = 1;
  PointList path;
  if (style.kind == kFillKindRadial) {
    if (PathFromEllipse(path, bounds) >= 0) ctx.DrawPath(path, &line, nullptr);
  } else {
    for (int32_t x : {bounds.xmin, bounds.xmax}) {
      PointList side;
      if (PointListAppend(side, Point32{x, bounds.ymin}, 0) < 0 ||
          PointListAppend(side, Point32{x, bounds.ymax}, 0) < 0) {
        continue;
      }
      ctx.DrawPath(side, &line, nullptr);
    }
  }
  FillHandlePoint handles[4];
  const int n = FillHandlePoints(style, bounds, handles);
  for (int i = 0; i < n; ++i) {
    ctx.DrawHandle(handles[i].point,
                   handles[i].handle == FillHandle::kWidth ? kHandleKindScale : kHandleKindRotate);
  }
  ctx.RestoreState(saved);
}
