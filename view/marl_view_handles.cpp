// The drawing view's handle drags: the handle under the cursor, a gradient
// fill's handles (the fill's matrix follows the cursor) and the centre point
// of the selected object. Each drag is a modal loop drawing its preview
// through the feedback buffers; the change is one edit transaction after
// the release, so a drag that fails leaves the drawing as it was.
#include "geometry/edge_graph.h"
#include "geometry/edge_graph_region.h"
#include "model/geometry_result.h"
#include "model/pic_shape.h"
#include "platform/qt/cursors.h"
#include "platform/qt/input.h"
#include "render/context/render_context.h"
#include "view/core/assistant_settings.h"
#include "view/core/handle_drag.h"
#include "view/core/snap.h"
#include "view/draw_tool.h"
#include "view/gesture_scope.h"
#include "view/marl_view.h"

namespace {

// Snap markers: something found, nothing found.
constexpr int kSnapMarkFound = 98;
constexpr int kSnapMarkNone = 34;
constexpr int kCentreMark = CRenderContext::kHandleCross | CRenderContext::kHandleLarge;
// The best priority that still counts as a snap for the marker.
constexpr int32_t kSnapMarkPriority = 14;

// Calls step(cursor, feedback context) for each new cursor position (document
// units) while the button is down, each inside a feedback frame.
template <class Step>
void FeedbackLoop(CMarlView& view, Step step) {
  FeedbackScope feedback(view);
  bool first = true;
  Point32 last;
  while (view.IsButtonStillDown()) {
    const Point32 cursor = view.GetCursorDocPoint();
    if (!first && cursor == last) continue;
    first = false;
    last = cursor;
    view.BeginFeedbackFrame();
    step(cursor, view.GetFeedbackContext());
    view.EndFeedbackFrame();
  }
}

bool ShiftDown() {
  return GetAsyncKeyState(VK_SHIFT) != 0;
}

// Snaps p to the view's objects within radius, marking it when ctx is given.
void SnapDragPoint(const ViewState& view, int32_t radius, Point32& p, CRenderContext* ctx) {
  if (radius <= 0 || !IsSnapToggled(ShiftDown())) return;
  SnapSearch s;
  SnapSearchInit(s, p, radius);
  SnapSearchObjects(s, view);
  p = s.best_point;
  if (ctx != nullptr)
    ctx->DrawHandle(p, s.best_priority <= kSnapMarkPriority ? kSnapMarkFound : kSnapMarkNone);
}

Point32 Add(const Point32& a, const Point32& b) {
  return {WrapAdd(a.x, b.x), WrapAdd(a.y, b.y)};
}
Point32 Sub(const Point32& a, const Point32& b) {
  return {WrapSub(a.x, b.x), WrapSub(a.y, b.y)};
}

}  // namespace

Point32 CMarlView::GetCursorDocPoint() const {
  const CPoint client = ScreenToClient(GetCursorPos());
  Matrix2x3 toDoc;
  m_state.GetClientToDocMatrix(toDoc);
  Point32 p;
  MatrixTransformPoint(toDoc, Point32{client.x, client.y}, p);
  return p;
}

void CMarlView::SetViewCursor(ViewCursor cursor) {
  const CursorRef ref = GetViewCursor(cursor);
  ::SetCursor(ref.system ? LoadStandardCursor(ref.id) : LoadCursor(ref.id));
}

int32_t CMarlView::TrackHandles(const Point32& point, bool testOnly) {
  const int32_t tolerance =
      Clamp32(int64_t{m_state.GetPickUnit()} * AssistantSettings().tap_tolerances[2]);
  HandleHit hit;
  if (!FindHandleAt(m_state, point, tolerance, hit)) return 0;
  SetViewCursor(hit.cursor);
  if (testOnly) return 1;
  switch (hit.mode) {
    case kHandleFill:
      DragFillHandle(point, hit.point, hit.anchor, hit.fill);
      break;
    case kHandleCenter:
      DragCenterPoint(point, hit.point);
      break;
    default: {
      CDrawTool* tool = m_tools != nullptr ? m_tools->GetCurrentTool() : nullptr;
      (void)m_state.RunEdit([&] {
        if (!m_state.DetachSelectedEdges()) throw CMemoryException();
        if (tool != nullptr) tool->DragTransform(*this, hit.anchor, hit.point, hit.kind);
      });
      break;
    }
  }
  return 1;
}

void CMarlView::DragFillHandle(const Point32& start, const Point32& handle, const Point32& centre,
                               FillHandle kind) {
  auto* owner = dynamic_cast<CPicShape*>(m_state.GetFillOwner());
  const uint16_t fill = m_state.GetEditedFill();
  if (owner == nullptr || fill == 0) return;
  FillStyle style;
  EdgeGraphGetFillStyle(owner->GetGeometry(), fill, style);
  const Matrix2x3 startMatrix = style.matrix;
  // The fill lives in its owner's space.
  Matrix2x3 toOwner;
  MatrixInvert(owner->GetShapeMatrix(), toOwner);
  Point32 ownerHandle;
  Point32 ownerCentre;
  MatrixTransformPoint(toOwner, handle, ownerHandle);
  MatrixTransformPoint(toOwner, centre, ownerCentre);
  const CAssistantSettings& assistant = AssistantSettings();
  const int32_t unit = m_state.GetPickUnit();
  const int32_t radius =
      kind == FillHandle::kRotate ? 0 : Clamp32(int64_t{unit} * assistant.connect_tolerance_b);
  const int32_t arcLimit = Clamp32(int64_t{unit} * assistant.angle_snap_arc);
  const Point32 offset = Sub(handle, start);

  Matrix2x3 matrix = startMatrix;
  FeedbackLoop(*this, [&](const Point32& cursor, CRenderContext* ctx) {
    Point32 p = Add(cursor, offset);
    SnapDragPoint(m_state, radius, p, ctx);
    Point32 ownerPoint;
    MatrixTransformPoint(toOwner, p, ownerPoint);
    if (kind == FillHandle::kRotate) {
      bool snapped = false;
      const bool snap = IsSnapToggled(ShiftDown());
      const Fixed turn =
          FillDragTurn(startMatrix, ownerHandle, ownerPoint, ownerCentre, snap, arcLimit, &snapped);
      matrix = FillRotateMatrix(startMatrix, turn, ownerCentre);
      if (ctx != nullptr && snap) {
        // On the cursor's circle where the turn lands, and at the centre.
        Point32 turned;
        PointFromAngle(PointDistance(ownerPoint, ownerCentre),
                       PointAngle(ownerHandle, &ownerCentre) + turn, &ownerCentre, turned);
        Point32 mark;
        MatrixTransformPoint(owner->GetShapeMatrix(), turned, mark);
        ctx->DrawHandle(mark, snapped ? kSnapMarkFound : kSnapMarkNone);
        ctx->DrawHandle(centre, kSnapMarkNone);
      }
    } else {
      matrix = FillDragMatrix(startMatrix, kind, ownerHandle, ownerPoint, ownerCentre);
    }
    if (ctx != nullptr) {
      FillStyle moved = style;
      moved.matrix = matrix;
      DrawFillFrame(*ctx, owner->GetShapeMatrix(), moved, m_state.GetFillBounds());
    }
  });
  if (matrix == startMatrix) return;
  (void)m_state.RunEdit([&] {
    EdgeGraph& graph = owner->GetGeometry();
    FillStyle changed = style;
    changed.matrix = matrix;
    const int index = EdgeGraphAddFillStyle(graph, changed);
    CheckGeometry(index);
    const auto newFill = static_cast<uint16_t>(index);
    if (newFill != fill) CheckGeometry(EdgeGraphReplaceFill(graph, fill, newFill));
    m_state.EditFillOf(owner, newFill);
  });
}

void CMarlView::DragCenterPoint(const Point32& start, const Point32& centre) {
  const int32_t radius =
      Clamp32(int64_t{m_state.GetPickUnit()} * AssistantSettings().connect_tolerance_b);
  const Point32 offset = Sub(centre, start);
  Point32 p = centre;
  bool inside = true;
  FeedbackLoop(*this, [&](const Point32& cursor, CRenderContext* ctx) {
    inside = IsInWorkArea(ScreenToClient(GetCursorPos()));
    SetViewCursor(inside ? ViewCursor::kSizeAll : ViewCursor::kNo);
    p = Add(cursor, offset);
    SnapDragPoint(m_state, radius, p, ctx);
    if (ctx != nullptr) ctx->DrawHandle(p, kCentreMark);
  });
  CPicObj* single = m_state.GetSingleSelected();
  if ((p == centre && inside) || single == nullptr) return;
  (void)m_state.RunEdit([&] { single->SetCenter(inside ? &p : nullptr); });
  m_state.UpdateHighlight();
}
