#include "model/pic_bitmap.h"

#include "geometry/edge_style.h"
#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/export_collector.h"
#include "model/geometry_result.h"
#include "platform/core/archive_geometry.h"
#include "platform/core/exceptions.h"
#include "render/context/render_context.h"
#include "render/raster/dib_record.h"

VM_IMPLEMENT_SERIAL(CPicBitmap, CPicObj, 1)

namespace {

constexpr uint8_t kBitmapRecordVersion = 0;

void MarkOpenStepHeavy() {
  if (CEditStep* step = EditGlobals().openStep) step->m_heavy = 1;
}

class ArchiveImageWriter final : public CDibRecordWriter {
 public:
  explicit ArchiveImageWriter(CArchive& ar) : ar_(ar) {}
  void Write(const void* bytes, size_t count) override { ar_.Write(bytes, count); }

 private:
  CArchive& ar_;
};

class ArchiveImageReader final : public CDibRecordReader {
 public:
  explicit ArchiveImageReader(CArchive& ar) : ar_(ar) {}
  void Read(void* bytes, size_t count) override { ar_.ReadExact(bytes, count); }
  uint64_t Remaining() const override { return ar_.GetRemaining(); }

 private:
  CArchive& ar_;
};

}  // namespace

void WriteImageRecord(CArchive& ar, const CImageRef& image) {
  ArchiveImageWriter writer(ar);
  if (!WriteDibRecord(image, writer)) throw CArchiveException(CArchiveException::genericException);
}

void ReadImageRecord(CArchive& ar, CImageRef& image) {
  ArchiveImageReader reader(ar);
  if (!ReadDibRecord(reader, image)) throw CArchiveException(CArchiveException::genericException);
}

CPicBitmap::CPicBitmap() {
  MarkOpenStepHeavy();
}

void CPicBitmap::Serialize(CArchive& ar) {
  CPicObj::Serialize(ar);
  if (ar.IsStoring()) {
    ar << kBitmapRecordVersion << m_matrix;
    WriteImageRecord(ar, m_image);
    return;
  }
  uint8_t version;
  ar >> version;
  if (version > kBitmapRecordVersion) throw CArchiveException(CArchiveException::genericException);
  ar >> m_matrix;
  ReadImageRecord(ar, m_image);
}

// ---- virtual operations ------------------------------------------------------------

void CPicBitmap::CollectExtent(CExtentQuery& q) {
  if (!m_image.bounds.IsEmpty()) {
    Rect32 r;
    MatrixTransformRect(m_matrix, m_image.bounds, r);
    q.AddRect(r);
  }
  CPicObj::CollectExtent(q);
}

void CPicBitmap::Draw(CRenderContext& rc) {
  if (rc.m_skipObject == this) return;
  if ((rc.m_flags & CRenderContext::kFlagChangedOnly) != 0 && (m_flags & kOldBounds) == 0) return;
  CRenderState state;
  rc.SaveState(state);
  rc.SetMatrix(m_matrix);
  const Rect32& bounds = m_image.bounds;
  Rect32 device;
  if (!bounds.IsEmpty()) MatrixTransformRect(rc.m_matrix, bounds, device);
  if (!bounds.IsEmpty() && RectsOverlap(device, rc.m_deviceClip)) {
    if ((rc.m_flags & CRenderContext::kFlagFills) != 0 && rc.m_dimFactor == 0) {
      rc.DrawBitmap(m_image);
    } else {
      // Outline drawing or a dimmed frame: the image's frame only.
      PointList path;
      if (PathFromRect(path, bounds) >= 0) {
        LineStyle style = rc.m_outlineStyle;
        rc.DimColorStyle(style);
        rc.DrawPath(path, &style, nullptr);
      }
    }
  }
  const bool marked = IsSelected() && m_parent != nullptr && m_parent == rc.m_currentKeyFrame;
  if (marked && !bounds.IsEmpty()) rc.FrameRect(bounds);
  rc.RestoreState(state);
  if (marked && HasCenter()) rc.DrawHandle(m_center, CRenderContext::kHandleCross);
}

void CPicBitmap::EnumShapes(CExportCollector& collector) {
  NewExportNode(collector, this);
}

void CPicBitmap::Transform(const Matrix2x3& m) {
  SaveBitmapRecord();
  Invalidate(1);
  MatrixConcat(m_matrix, m, m_matrix);
  CPicObj::Transform(m);
}

void CPicBitmap::DeleteFromParent() {
  MarkOpenStepHeavy();
  CPicObj::DeleteFromParent();
}

int32_t CPicBitmap::HitTest(const CHitTest& probe) {
  if (m_image.bounds.IsEmpty()) return 0;
  CHitTest local = probe;
  local.MapToObject(m_matrix);
  Rect32 r = m_image.bounds;
  RectInset(r, -local.distance2);
  return RectContainsPoint(r, local.point) ? 1 : 0;
}

int32_t CPicBitmap::ClassifyInRect(const PointList& lasso, int32_t) {
  Rect32 full, lassoBounds;
  GetBounds(full);
  PointListGetBounds(lasso, lassoBounds);
  if (m_image.bounds.IsEmpty() || !RectsOverlap(lassoBounds, full)) return kShapeOutside;
  const int answer = ClassifyShapeAgainstRect(lasso, m_image.bounds, &m_matrix);
  CheckGeometry(answer);
  return answer;
}

int32_t CPicBitmap::GetMatrix(Matrix2x3& out) {
  out = m_matrix;
  return 1;
}

// ---- undo -----------------------------------------------------------------------------

void CPicBitmap::SaveBitmapRecord() {
  Invalidate(1);
  if (m_saved.TakeForOpenStep()) EditGlobals().openStep->AddItem(new CPicBitmapEditItem(this));
}

void CPicBitmapEditItem::Restore() {
  m_bitmap->SaveBitmapRecord();
  m_bitmap->m_matrix = m_matrix;
}
