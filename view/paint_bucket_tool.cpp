// The Brush's and the Eraser's alternate mode: the Paint Bucket's and the
// Faucet's click, with the drag that places a gradient's or texture's vector.
#include <cmath>

#include "model/edit_transaction.h"
#include "platform/qt/cursors.h"
#include "platform/qt/input.h"
#include "render/context/render_context.h"
#include "view/brush_tool.h"
#include "view/core/assistant_settings.h"
#include "view/core/paint_bucket.h"
#include "view/core/snap.h"
#include "view/gesture_scope.h"
#include "view/marl_view.h"
#include "view/pointer_input.h"

namespace {

// The cursor of the fill vector's drag.
constexpr int kFillDragCursor = 1205;
// Snap markers: something found, nothing found.
constexpr int kSnapMarkFound = 98;
constexpr int kSnapMarkNone = 34;
// A snap above this priority counts as weak for the marker.
constexpr int32_t kStrongSnap = 14;
// A drag shorter than this many pixels is a click.
constexpr int32_t kDragPixels = 4;
// Directions snap to multiples of 15 degrees.
constexpr Fixed kAngleStep = 15 * kFixedOne;
// Degrees to radians in 16.16: the sideways offset is distance x degrees x 1144.
constexpr Fixed kRadiansPerDegree = 1144;

class ViewBucketHost : public BucketHost {
 public:
  ViewBucketHost(CMarlView& view, CBrushTool& tool)
      : view_(view), tool_(tool), colour_(tool.GetColorDef()) {}
  FillStyle* Colour() override { return tool_.HasColorDef() ? &colour_ : nullptr; }
  int32_t GapLevel() override { return tool_.GetGapSize(); }
  bool LockFill() override { return tool_.m_lockFill; }
  FillDrag DragFillVector(const Point32& start, bool snapToPoints) override {
    FillDrag d;
    d.start = start;
    d.dragged = ::DragFillVector(view_, start, d.end, snapToPoints) != 0;
    return d;
  }
  uint32_t Now() override { return GetTickCount(); }
  // The placed colour (its new matrix) becomes the tool's.
  void Commit() { tool_.SetColorDef(colour_); }

 private:
  CMarlView& view_;
  CBrushTool& tool_;
  FillStyle colour_;
};

}  // namespace

int DragFillVector(CMarlView& view, const Point32& start, Point32& end, bool snapToPoints) {
  ViewState& state = view.State();
  const CAssistantSettings& assistant = AssistantSettings();
  const int32_t pixel = state.GetPixelSize();
  end = start;
  ::SetCursor(LoadCursor(kFillDragCursor));
  Point32 last = start;
  {
    FeedbackScope feedback(view);
    ViewPointerInput input(view);
    PointerStream stream(input, PointerStream::Device::kMouse);
    PointerEvent e;
    while (stream.Next(e)) {
      if (e.kind != PointerEventKind::kPoint) continue;
      Point32 p = e.point;
      if (std::abs(p.x - last.x) <= 1 && std::abs(p.y - last.y) <= 1) continue;
      last = p;
      view.BeginFeedbackFrame();
      CRenderContext* ctx = view.GetFeedbackContext();
      const bool snap = IsSnapToggled(GetAsyncKeyState(VK_SHIFT) != 0);
      if (snapToPoints && snap) {
        SnapSearch s;
        SnapSearchInit(s, p, assistant.connect_tolerance_b * pixel);
        SnapSearchObjects(s, state);
        p = s.best_point;
        if (ctx != nullptr)
          ctx->DrawHandle(p, s.best_priority <= kStrongSnap ? kSnapMarkFound : kSnapMarkNone);
      } else if (!snapToPoints && snap) {
        const int32_t distance = PointDistance(start, p);
        const Fixed angle = FixedAtan2(p.y - start.y, p.x - start.x);
        const Fixed snapped = RoundToMultiple(angle, kAngleStep);
        const int32_t offset =
            FixedMul(FixedMul(distance, std::abs(snapped - angle)), kRadiansPerDegree);
        const bool near = offset < assistant.angle_snap_arc * pixel;
        if (near) PointFromAngle(distance, snapped, &start, p);
        if (ctx != nullptr) ctx->DrawHandle(p, near ? kSnapMarkFound : kSnapMarkNone);
      }
      end = p;
      if (!snapToPoints && ctx != nullptr) {
        PointList line;
        if (PointListAppend(line, start, 0) == 0 && PointListAppend(line, end, 0) == 0) {
          LineStyle black;
          black.colour = 0xFF000000;
          black.width = static_cast<int16_t>(pixel);
          ctx->DrawPath(line, &black, nullptr);
        }
      }
      view.EndFeedbackFrame();
    }
  }
  return PointDistance(start, end) >= kDragPixels * pixel ? 1 : 0;
}

void PaintBucketPress(CMarlView& view, CBrushTool& tool, const Point32& point) {
  ViewState& state = view.State();
  if (state.GetHandleMode() != 0 && view.TrackHandles(point, false) != 0) return;
  if (tool.m_transformFill) {
    ViewHitRecord hit;
    hit.point = point;
    if (state.HitTest(hit) && hit.object == nullptr && hit.region != nullptr &&
        hit.key_frame != nullptr)
      state.EditFillOf(hit.key_frame, StyleIndexOf(hit.region->fill));
    else
      state.EditFillOf(nullptr, 0);
    return;
  }
  if (state.GetFillOwner() != nullptr) state.EditFillOf(nullptr, 0);
  CDocumentPage* page = state.GetEditContext();
  if (page == nullptr) return;
  ViewBucketHost host(view, tool);
  // A failure aborts the bucket's transaction: the page stays as it was.
  const bool done = CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] {
    (void)state.SelectAll(false);
    PaintBucketClick(state, point, host);
  });
  if (done) host.Commit();
}
