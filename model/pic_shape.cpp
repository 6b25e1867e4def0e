#include "model/pic_shape.h"

#include "model/export_collector.h"
#include "platform/core/archive_geometry.h"
#include "platform/core/exceptions.h"
#include "render/context/render_context.h"

VM_IMPLEMENT_SERIAL(CPicShape, CPicObj, 1)

namespace {
constexpr uint8_t kShapeRecordVersion = 1;
constexpr uint8_t kGeometryRecordVersion = 3;
}  // namespace

// ---- stored form ------------------------------------------------------------

void CPicShape::Serialize(CArchive& ar) {
  CPicObj::Serialize(ar);
  if (ar.IsStoring()) {
    ar << kShapeRecordVersion << m_matrix;
    // The geometry record of a graph without edges: version, edge count,
    // the two empty style tables and the end of the edge list.
    ar << kGeometryRecordVersion << uint32_t{0} << uint16_t{0} << uint16_t{0} << uint8_t{0};
    return;
  }
  uint8_t version;
  ar >> version >> m_matrix;
  m_boundsValid = 0;
  uint8_t geometryVersion;
  uint32_t edgeCount;
  uint16_t fillCount, lineCount;
  ar >> geometryVersion >> edgeCount >> fillCount >> lineCount;
  if (edgeCount != 0 || fillCount != 0 || lineCount != 0) throw CNotSupportedException();
  if (geometryVersion >= 2) {
    uint8_t end;
    ar >> end;
    if (end != 0) throw CNotSupportedException();
  }
}

// ---- bounds -----------------------------------------------------------------------

void CPicShape::UpdateBounds() {
  if (m_boundsValid != 0) return;
  RectSetEmpty(m_shapeBounds);
  RectSetEmpty(m_strokeBounds);
  m_boundsValid = 1;
}

void CPicShape::CollectExtent(CExtentQuery& q) {
  UpdateBounds();
  q.AddRect(q.full != 0 ? m_strokeBounds : m_shapeBounds);
  CPicObj::CollectExtent(q);
}

// ---- drawing ----------------------------------------------------------------------

void CPicShape::Draw(CRenderContext& rc) {
  if (rc.m_skipObject == this) return;
  bool marks = (rc.m_flags & CRenderContext::kFlagExportMarks) != 0;
  if (marks) rc.MarkGroup(1);
  DrawContent(rc);
  if (marks) rc.MarkGroup(0);
}

void CPicShape::DrawContent(CRenderContext& rc) {
  if (m_boundsValid == 0 || RectsOverlap(m_strokeBounds, rc.m_docClip)) {
    CRenderState state;
    rc.SaveState(state);
    rc.ConcatMatrix(m_matrix);
    // The whole shape is being redrawn, not only its changed edges.
    if (m_flags & kOldBounds) rc.m_flags &= ~CRenderContext::kFlagChangedOnly;
    if (rc.m_currentKeyFrame != nullptr) {
      if (!IsPlainDrawing()) {
        if (rc.m_currentKeyFrame == this) {
          rc.m_flags |= CRenderContext::kFlagHighlightSelected;
        } else {
          rc.m_flags &= ~CRenderContext::kFlagHighlightSelected;
        }
      } else if (IsSelected() && m_parent == rc.m_currentKeyFrame) {
        rc.m_flags |= CRenderContext::kFlagHighlightAll;
      } else {
        rc.m_flags &= ~CRenderContext::kFlagHighlightAll;
      }
    }
    DrawGeometry(rc);
    rc.RestoreState(state);
  }
  CPicObj::Draw(rc);
}

void CPicShape::EnumShapes(CExportCollector& collector) {
  if (HasEdges()) NewExportNode(collector, this);
  CPicObj::EnumShapes(collector);
}

// ---- editing ----------------------------------------------------------------------

void CPicShape::Transform(const Matrix2x3& m) {
  Invalidate(1);
  SaveGeometry();
  MatrixConcat(m_matrix, m, m_matrix);
  m_boundsValid = 0;
  CPicObj::Transform(m);
}

void CPicShape::SetShapeMatrix(const Matrix2x3& m) {
  if (m == m_matrix) return;
  Invalidate(1);
  SaveGeometry();
  m_matrix = m;
  m_boundsValid = 0;
}

int32_t CPicShape::BreakApart(int32_t arg) {
  if (IsPlainDrawing()) return 0;
  if (arg == kBreakApartQuery) return 1;
  if (m_parent == nullptr) return 0;
  // From the last child: each goes directly after this shape, so they keep
  // their order.
  while (CPicObj* child = m_lastChild) {
    m_parent->AddChild(child, kAddAfter, this);
    child->SetSelected(true);
  }
  SetLocked(true);
  SetSelected(true);
  return 1;
}

int32_t CPicShape::HitTest(const CHitTest& probe) {
  if (int32_t hit = CPicObj::HitTest(probe)) return hit;
  return HitTestGeometry(probe);
}

int32_t CPicShape::ClassifyInRect(const PointList& lasso, int32_t frame) {
  int32_t answer = CPicObj::ClassifyInRect(lasso, frame);
  if (answer == 3) return 3;
  return ClassifyGeometry(lasso, answer);
}

int32_t CPicShape::GetMatrix(Matrix2x3& out) {
  out = m_matrix;
  return 1;
}

void CPicShape::UpdateExtent() {
  CPicObj::UpdateExtent();
  EndGeometryChange();
}

void CPicShape::PrepareGeometryChange() {
  SaveGeometry();
  m_boundsValid = 0;
}

// ---- undo ---------------------------------------------------------------------------

void CPicShape::SaveGeometry() {
  if (!m_geometrySaved.TakeForOpenStep()) return;
  EditGlobals().openStep->AddItem(new CPicShapeEditItem(this));
}

CPicShapeEditItem::CPicShapeEditItem(CPicShape* shape)
    : m_shape(shape),
      m_matrix(shape->m_matrix),
      m_undoStep(EditGlobals().openStep != nullptr && EditGlobals().openStep->m_kind == 1) {}

void CPicShapeEditItem::Restore() {
  CPicShape* shape = m_shape;
  shape->SaveGeometry();
  if (!(shape->m_matrix == m_matrix)) {
    shape->Invalidate(1);
    shape->m_matrix = m_matrix;
    shape->m_boundsValid = 0;
  }
}

// ---- geometry -------------------------------------------------------------------------

void CPicShape::DrawGeometry(CRenderContext&) {}

bool CPicShape::HasEdges() const { return false; }

int32_t CPicShape::HitTestGeometry(const CHitTest&) { return 0; }

int32_t CPicShape::ClassifyGeometry(const PointList&, int32_t answer) { return answer; }

void CPicShape::EndGeometryChange() {}
