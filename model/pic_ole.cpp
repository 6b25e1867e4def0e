#include "model/pic_ole.h"

#include <cstring>
#include <utility>

#include "geometry/edge_style.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/document.h"
#include "model/export_collector.h"
#include "model/geometry_result.h"
#include "model/ole_item.h"
#include "model/pic_bitmap.h"
#include "model/pic_shape.h"
#include "platform/core/archive_geometry.h"
#include "platform/core/exceptions.h"
#include "render/context/render_context.h"

VM_IMPLEMENT_SERIAL(CPicOle, CPicObj, 1)

namespace {

void MarkOpenStepHeavy() {
  if (CEditStep* step = EditGlobals().openStep) step->m_heavy = 1;
}

// A copy of an image's pixels and colours.
bool CopyImage(const CImageRef& from, CImageRef& to) {
  if (!to.Create(from.Format(), from.Width(), from.Height(), from.Colors())) return false;
  if (from.SizeBytes() != 0) std::memcpy(to.Bits(), from.Bits(), from.SizeBytes());
  to.bounds = from.bounds;
  return true;
}

}  // namespace

CPicOle::CPicOle() {
  MarkOpenStepHeavy();
}

CPicOle::~CPicOle() {
  if (m_item != nullptr) m_item->DetachPicOle();
}

void CPicOle::Serialize(CArchive& ar) {
  CPicObj::Serialize(ar);
  if (ar.IsStoring()) {
    ar << kRecordVersion << m_matrix << m_itemRect;
    if (m_item != nullptr && !ar.m_bForceFlat) {
      ar << m_item->m_itemNumber;
    } else {
      // Inline (a flat copy), or a null reference for an object without an item.
      ar << int16_t{0} << static_cast<CObject*>(m_item);
    }
    return;
  }
  uint8_t version;
  ar >> version;
  if (version > kRecordVersion) throw CArchiveException(CArchiveException::genericException);
  int16_t number;
  ar >> m_matrix >> m_itemRect >> number;
  auto* doc = dynamic_cast<CMarlDoc*>(ar.m_pDocument);
  if (number != 0) {
    // Left without an item when the document has none of that number.
    if (CMarlCntrItem* item = doc != nullptr ? doc->FindItem(number) : nullptr) {
      item->SetPicOle(this);
    }
    return;
  }
  const size_t known = ar.GetLoadedCount();
  CMarlCntrItem* item = ReadInlineItem(ar);
  if (item == nullptr) return;
  if (doc == nullptr) {
    // Nowhere to keep it (and nothing may refer to it any more).
    ar.ForgetLoadedFrom(known);
    delete item;
    return;
  }
  item->m_itemNumber = doc->NextItemNumber();
  item->m_embedding = doc->NextEmbeddingNumber();
  doc->AddItem(item);
  item->SetPicOle(this);
}

// ---- virtual operations ------------------------------------------------------------

void CPicOle::OnDiscard() {
  if (m_item == nullptr) return;
  CMarlCntrItem* item = m_item;
  item->DetachPicOle();
  if (item->m_document != nullptr) {
    item->m_document->RemoveItem(item);
  } else {
    delete item;
  }
}

void CPicOle::CollectExtent(CExtentQuery& q) {
  if (!m_itemRect.IsEmpty()) {
    Rect32 r;
    MatrixTransformRect(m_matrix, m_itemRect, r);
    q.AddRect(r);
  }
  CPicObj::CollectExtent(q);
}

void CPicOle::Draw(CRenderContext& rc) {
  if (rc.m_skipObject == this) return;
  if ((rc.m_flags & CRenderContext::kFlagChangedOnly) != 0 && (m_flags & kOldBounds) == 0) return;
  CRenderState state;
  rc.SaveState(state);
  rc.SetMatrix(m_matrix);
  CImageRef* picture = m_item != nullptr ? m_item->GetPicture() : nullptr;
  if (!m_itemRect.IsEmpty()) {
    if ((rc.m_flags & CRenderContext::kFlagFills) != 0 && rc.m_dimFactor == 0 &&
        picture != nullptr) {
      Rect32 device;
      MatrixTransformRect(rc.m_matrix, m_itemRect, device);
      if (RectsOverlap(device, rc.m_deviceClip)) {
        picture->bounds = m_itemRect;
        rc.DrawBitmap(*picture);
      }
    } else {
      // No device to draw the item on, or nothing to draw: its frame.
      PointList path;
      if (PathFromRect(path, m_itemRect) >= 0) {
        LineStyle style = rc.m_outlineStyle;
        rc.DimColorStyle(style);
        rc.DrawPath(path, &style, nullptr);
      }
    }
  }
  const bool marked = IsSelected() && m_parent != nullptr && m_parent == rc.m_currentKeyFrame;
  if (marked && !m_itemRect.IsEmpty()) rc.FrameRect(m_itemRect);
  rc.RestoreState(state);
  if (marked && HasCenter()) rc.DrawHandle(m_center, CRenderContext::kHandleCross);
}

void CPicOle::EnumShapes(CExportCollector& collector) {
  // Converted once per export: every frame that shows the object reports the
  // same drawing objects, so the movie defines the picture once.
  CPicObj* shape = FindExportConversion(collector, this);
  if (shape == nullptr) {
    shape = ConvertToShapes();
    if (shape == nullptr) return;
    AddToRootList(collector, shape, this);
  }
  shape->EnumShapes(collector);
}

void CPicOle::Transform(const Matrix2x3& m) {
  SaveEditState();
  MatrixConcat(m_matrix, m, m_matrix);
  CPicObj::Transform(m);
}

int32_t CPicOle::BreakApart(int32_t arg) {
  if (arg == kBreakApartQuery) return 1;
  CPicShape* shape = ConvertToShapes();
  if (shape == nullptr) return 0;
  if (m_parent != nullptr) m_parent->AddChild(shape, kAddAfter, this);
  shape->BreakApart(0);
  DeleteFromParent();
  return 1;
}

void CPicOle::DeleteFromParent() {
  MarkOpenStepHeavy();
  CPicObj::DeleteFromParent();
}

int32_t CPicOle::HitTest(const CHitTest& probe) {
  if (m_itemRect.IsEmpty()) return 0;
  Rect32 r;
  MatrixTransformRect(m_matrix, m_itemRect, r);
  RectInset(r, -probe.distance2);
  return RectContainsPoint(r, probe.point) ? 1 : 0;
}

int32_t CPicOle::ClassifyInRect(const PointList& lasso, int32_t) {
  Rect32 full, lassoBounds;
  GetBounds(full);
  PointListGetBounds(lasso, lassoBounds);
  if (m_itemRect.IsEmpty() || !RectsOverlap(lassoBounds, full)) return kShapeOutside;
  const int answer = ClassifyShapeAgainstRect(lasso, m_itemRect, &m_matrix);
  CheckGeometry(answer);
  return answer;
}

int32_t CPicOle::GetMatrix(Matrix2x3& out) {
  out = m_matrix;
  return 1;
}

// ---- state ------------------------------------------------------------------------

void CPicOle::SetItemRect(const Rect32& r) {
  if (r == m_itemRect) return;
  Invalidate(1);
  m_itemRect = r;
}

void CPicOle::SaveEditState() {
  Invalidate(1);
  if (m_saved.TakeForOpenStep()) EditGlobals().openStep->AddItem(new COleMatrixEditItem(this));
}

void COleMatrixEditItem::Restore() {
  m_obj->SaveEditState();
  m_obj->m_matrix = m_matrix;
}

CPicShape* CPicOle::ConvertToShapes() {
  CImageRef* picture = m_item != nullptr ? m_item->GetPicture() : nullptr;
  if (picture == nullptr || m_itemRect.IsEmpty()) return nullptr;
  // The pixels are copied before any object is made, so a failure leaves
  // nothing behind.
  CImageRef image;
  picture->bounds = m_itemRect;
  if (!CopyImage(*picture, image)) throw CMemoryException();
  auto* shape = new CPicShape;
  auto* bitmap = new CPicBitmap;
  shape->AddChild(bitmap);
  bitmap->GetImage() = std::move(image);
  bitmap->Transform(m_matrix);
  return shape;
}
