// The hit test, the selection operations and the handle rectangles.
#include <vector>

#include "geometry/edge_graph_select.h"
#include "geometry/edge_graph_transform.h"
#include "geometry/edge_graph_update.h"
#include "geometry/point_list.h"
#include "model/document_page.h"
#include "model/edit_transaction.h"
#include "model/geometry_result.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_shape.h"
#include "model/pic_text.h"
#include "view/core/assistant_settings.h"
#include "view/core/view_state.h"

namespace {

// A key frame's children hit-test and classify in the key frame's own time.
int32_t OffsetInFrame(CPicShape* frame, int32_t n) {
  auto* key = dynamic_cast<CPicFrame*>(frame);
  return key != nullptr ? WrapSub(n, key->GetStartFrame()) : n;
}

// The children of a frame, taken before any of them changes its place.
std::vector<CPicObj*> Children(CPicShape* frame) {
  std::vector<CPicObj*> out;
  for (CPicObj* c = frame->GetFirstChild(); c != nullptr; c = c->GetNext()) out.push_back(c);
  return out;
}

// A linear gradient (a radial one is 0x12).
constexpr uint8_t kFillKindLinear = 0x10;
// Half the side of a gradient's square in fill space.
constexpr int32_t kFillHalfSide = 0x4000;

}  // namespace

bool ViewState::Edit(const std::function<void()>& body) {
  CDocumentPage* c = GetEditContext();
  if (c == nullptr) return false;
  return CEditTransaction::Run(*c, CDocumentPage::kEditUser, body);
}

void ViewState::ForEachFrame(const std::function<void(CPicShape*, int32_t)>& fn) const {
  CViewObjIter it(*this, CViewObjIter::kWalkFrontToBack);
  while (CPicShape* frame = it.Next()) fn(frame, it.GetFrame());
}

// ---- hit test ----------------------------------------------------------------------------

bool ViewState::HitTest(ViewHitRecord& hit) const {
  hit.object = nullptr;
  hit.frame = 0;
  hit.key_frame = nullptr;
  hit.graph = nullptr;
  hit.edge = nullptr;
  hit.region = nullptr;
  hit.vertex = nullptr;
  CHitTest probe;
  probe.point = hit.point;
  if (hit.use_tolerance != 0) {
    const CAssistantSettings& a = AssistantSettings();
    probe.distance1 = Clamp32(int64_t{pick_unit_} * a.tap_tolerances[0]);
    probe.distance2 = Clamp32(int64_t{pick_unit_} * a.tap_tolerances[1]);
  }
  if (CPicObj* text = GetTextEditObject()) {
    probe.frame = current_frame_;
    if (text->HitTest(probe) != 0) {
      hit.object = text;
      hit.frame = current_frame_;
      return true;
    }
  }
  CViewObjIter it(*this, CViewObjIter::kWalkFrontToBack);
  while (CPicShape* frame = it.Next()) {
    const int32_t n = it.GetFrame();
    probe.frame = OffsetInFrame(frame, n);
    // Topmost child first.
    for (CPicObj* child = frame->GetLastChild(); child != nullptr; child = child->GetPrev()) {
      if (child->IsLocked()) continue;
      const bool onCentre = child->IsSelected() && child->HasCenter() &&
                            PointDistance(child->GetStoredCenter(), hit.point) <= probe.distance2;
      if (onCentre || child->HitTest(probe) != 0) {
        hit.object = child;
        hit.frame = n;
        hit.key_frame = frame;
        hit.graph = &frame->GetGeometry();
        return true;
      }
    }
    // Outline views hit lines as hairlines and no fills. (Layers have no
    // outline mode of their own in the model.)
    EdgeHitRecord record;
    MatrixInvert(frame->GetShapeMatrix(), record.matrix);
    record.point = hit.point;
    record.radius = probe.distance1;
    record.ignore_widths = view_quality == kQualityOutlines ? 1 : 0;
    if (EdgeGraphHitTest(frame->GetGeometry(), record) < 0) continue;
    if (record.edge == nullptr && record.region == nullptr) continue;
    hit.frame = n;
    hit.key_frame = frame;
    hit.graph = &frame->GetGeometry();
    hit.edge = record.edge;
    hit.region = record.region;
    hit.vertex = record.vertex;
    return true;
  }
  return false;
}

// ---- selection -----------------------------------------------------------------------------

bool ViewState::SelectAll(bool f) {
  if (GetEditContext() == nullptr) return false;
  edited_fill_ = 0;
  return Edit([&] {
    if (!f && !MergePlainDrawings()) throw CMemoryException();
    ForEachFrame([&](CPicShape* frame, int32_t) {
      for (CPicObj* c = frame->GetFirstChild(); c != nullptr; c = c->GetNext()) c->SetSelected(f);
      CheckGeometry(EdgeGraphSetSelected(frame->GetGeometry(), f));
    });
  });
}

bool ViewState::MergePlainDrawings() {
  return Edit([&] {
    ForEachFrame([&](CPicShape* frame, int32_t) {
      for (CPicObj* c = frame->GetFirstChild(); c != nullptr; c = c->GetNext()) {
        if (c->IsPlainDrawing()) {
          frame->CollectChildShapes();
          break;
        }
      }
    });
  });
}

bool ViewState::LassoSelect(const PointList& polygon) {
  return Edit([&] {
    if (!MergePlainDrawings()) throw CMemoryException();
    PointList lasso;
    CheckGeometry(PointListCopy(polygon, lasso));
    CheckGeometry(lasso.BuildSpatialIndex());
    ForEachFrame([&](CPicShape* frame, int32_t n) {
      const int32_t offset = OffsetInFrame(frame, n);
      for (CPicObj* c = frame->GetFirstChild(); c != nullptr; c = c->GetNext()) {
        if (c->ClassifyInRect(lasso, offset) == 2) c->SetSelected(true);
      }
      CheckGeometry(EdgeGraphLassoSelect(frame->GetGeometry(), lasso));
    });
  });
}

void ViewState::GetSelectionBounds(Rect32& out) const {
  RectSetEmpty(out);
  ForEachFrame([&](CPicShape* frame, int32_t n) {
    const int32_t offset = OffsetInFrame(frame, n);
    for (CPicObj* c = frame->GetFirstChild(); c != nullptr; c = c->GetNext()) {
      if (!c->IsSelected()) continue;
      CExtentQuery q;
      q.Init();
      q.windowFirst = q.windowLast = offset;
      c->CollectExtent(q);
      RectUnion(out, q.rect, out);
    }
    Rect32 tight, stroked;
    EdgeGraphGetBounds(frame->GetGeometry(), true, tight, stroked);
    if (tight.IsEmpty()) return;
    RectShift(tight, ShiftRight(8), tight);
    MatrixTransformRect(frame->GetShapeMatrix(), tight, tight);
    RectUnion(out, tight, out);
  });
}

uint32_t ViewState::HasSelection(uint32_t mask) const {
  if (GetTextEditObject() != nullptr) return 0;
  uint32_t found = 0;
  ForEachFrame([&](CPicShape* frame, int32_t) {
    if ((mask & 1) != 0 && EdgeGraphHasSelection(frame->GetGeometry())) found |= 1;
    for (CPicObj* c = frame->GetFirstChild(); c != nullptr; c = c->GetNext()) {
      if (!c->IsSelected()) continue;
      found |= 2;
      if (c->IsPlainDrawing()) found |= 1;
    }
  });
  return found & mask;
}

CPicObj* ViewState::GetSingleSelected() const {
  CPicObj* single = nullptr;
  int count = 0;
  ForEachFrame([&](CPicShape* frame, int32_t) {
    for (CPicObj* c = frame->GetFirstChild(); c != nullptr; c = c->GetNext()) {
      if (c->IsSelected() && ++count == 1) single = c;
    }
  });
  return count == 1 ? single : nullptr;
}

bool ViewState::DeleteSelection() {
  if (auto* text = dynamic_cast<CPicText*>(GetTextEditObject())) {
    return Edit([&] { text->DeleteSelection(); });
  }
  return Edit([&] {
    ForEachFrame([&](CPicShape* frame, int32_t) {
      for (CPicObj* c : Children(frame)) {
        if (c->IsSelected()) c->DeleteFromParent();
      }
      CheckGeometry(EdgeGraphDeleteSelected(frame->GetGeometry()));
    });
  });
}

bool ViewState::DetachSelectedEdges() {
  return Edit([&] {
    ForEachFrame([&](CPicShape* frame, int32_t) {
      EdgeGraph& graph = frame->GetGeometry();
      if (!EdgeGraphHasSelection(graph)) return;
      auto* piece = new CPicShape;
      frame->AddChild(piece, CPicObj::kAddFirst);
      piece->SetPlainDrawing(true);
      piece->SetSelected(true);
      EdgeGraph& pieceGraph = piece->GetGeometry();
      CheckGeometry(EdgeGraphCopySelected(graph, pieceGraph));
      CheckGeometry(EdgeGraphDeleteSelected(graph));
      CheckGeometry(EdgeGraphUpdate(graph));
      CheckGeometry(EdgeGraphUpdate(pieceGraph));
      if (pieceGraph.edge_count == 0) piece->DeleteFromParent();
    });
  });
}

bool ViewState::TransformSelection(const Matrix2x3& m, bool aboutCentre) {
  if (HasSelection(3) == 0) return false;
  Matrix2x3 t = m;
  if (aboutCentre) {
    Point32 pivot;
    CPicObj* single = GetSingleSelected();
    if (single != nullptr && single->HasCenter()) {
      pivot = single->GetStoredCenter();
    } else {
      Rect32 bounds;
      GetSelectionBounds(bounds);
      RectGetHandlePoint(bounds, 8, pivot);
    }
    Point32 moved;
    MatrixTransformPoint(t, pivot, moved);
    t.tx = WrapAdd(t.tx, WrapSub(pivot.x, moved.x));
    t.ty = WrapAdd(t.ty, WrapSub(pivot.y, moved.y));
  }
  return Edit([&] {
    if (!DetachSelectedEdges()) throw CMemoryException();
    ForEachFrame([&](CPicShape* frame, int32_t) {
      for (CPicObj* c : Children(frame)) {
        if (c->IsSelected()) c->Transform(t);
      }
    });
  });
}

void ViewState::ClearMarks() {
  ForEachFrame([&](CPicShape* frame, int32_t) {
    frame->SetMark(false);
    for (CPicObj* c = frame->GetFirstChild(); c != nullptr; c = c->GetNext()) c->SetMark(false);
  });
}

// ---- handles -------------------------------------------------------------------------------

void ViewState::SetHandleMode(int32_t mode) {
  if (handle_mode_ != kHandleNone) InvalidateDocRect(&handle_rect_);
  if (mode != kHandleFill) {
    edited_fill_ = 0;
    fill_owner_.Set(nullptr);
  }
  RectSetEmpty(handle_rect_);
  handle_mode_ = mode;
  UpdateHighlight();
}

void ViewState::EditFillOf(CPicShape* obj, uint16_t fill) {
  if (obj != nullptr) SelectAll(false);
  if (obj != nullptr && fill != 0) {
    FillStyle style;
    EdgeGraphGetFillStyle(obj->GetGeometry(), fill, style);
    if ((style.kind & kFillHasGradient) != 0) {
      fill_owner_.Set(obj);
      edited_fill_ = fill;
      SetHandleMode(kHandleFill);
      return;
    }
  }
  SetHandleMode(kHandleNone);
}

void ViewState::UpdateHighlight() {
  Rect32 r;
  switch (handle_mode_) {
    case kHandleNone:
      break;
    case kHandleFill: {
      auto* owner = dynamic_cast<CPicShape*>(GetFillOwner());
      if (owner == nullptr || edited_fill_ == 0) break;
      EdgeGraph& graph = owner->GetGeometry();
      FillStyle style;
      EdgeGraphGetFillStyle(graph, edited_fill_, style);
      Matrix2x3 toFill;
      MatrixInvert(style.matrix, toFill);
      Rect32 bounds;
      EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
        if (StyleIndexOf(e->a.fill) != edited_fill_ && StyleIndexOf(e->b.fill) != edited_fill_)
          return;
        QuadCurve c;
        CurveShift(e->curve, ShiftRight(8), c);
        CurveTransform(c, toFill, c);
        Rect32 cb;
        CurveGetBounds(c, cb);
        RectUnion(bounds, cb, bounds);
      });
      if (bounds.IsEmpty()) break;
      if (style.kind == kFillKindLinear) {
        bounds.xmin = -kFillHalfSide;
        bounds.xmax = kFillHalfSide;
      } else {
        bounds = Rect32{-kFillHalfSide, kFillHalfSide, -kFillHalfSide, kFillHalfSide};
      }
      fill_bounds_ = bounds;
      // The fill lies in the owner's own space: its handles go through the
      // owner's matrix too.
      Matrix2x3 toDoc;
      MatrixConcat(style.matrix, owner->GetShapeMatrix(), toDoc);
      MatrixTransformRect(toDoc, bounds, r);
      break;
    }
    case kHandleCenter:
      if (CPicObj* single = GetSingleSelected()) {
        Point32 centre;
        single->GetCenter(centre);
        RectFromPoint(r, centre);
      }
      break;
    default:
      GetSelectionBounds(r);
      break;
  }
  if (r.IsEmpty() && handle_mode_ != kHandleNone) {
    handle_mode_ = kHandleNone;
    edited_fill_ = 0;
    fill_owner_.Set(nullptr);
  }
  if (r == handle_rect_ ||
      (!r.IsEmpty() && !handle_rect_.IsEmpty() && RectsNearlyEqual(r, handle_rect_, 0))) {
    return;
  }
  if (!handle_rect_.IsEmpty()) InvalidateDocRect(&handle_rect_);
  if (!r.IsEmpty()) InvalidateDocRect(&r);
  handle_rect_ = r;
}
