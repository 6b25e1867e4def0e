// CPicBitmap: a drawing object that shows a raster image placed by a 2x3
// matrix. The image's bounds (twips) are the object's untransformed
// rectangle. Creating or deleting one makes the open edit step heavy (it
// holds image memory), so the history trims such steps first.
#pragma once

#include <cstdint>

#include "model/pic_obj.h"
#include "render/raster/dib.h"

class CPicBitmap : public CPicObj {
 public:
  // Identity matrix, no image; marks the open edit step heavy.
  CPicBitmap();

  // Base record, u8 version 0, the matrix, the image record.
  void Serialize(CArchive& ar) override;

  // ---- virtual operations ----
  // The bounds through the matrix, then the base.
  void CollectExtent(CExtentQuery& q) override;
  // The image when the context draws fills undimmed; otherwise its frame
  // in the outline style.
  void Draw(CRenderContext& rc) override;
  // The object itself is one export node.
  void EnumShapes(CExportCollector& collector) override;
  void Transform(const Matrix2x3& m) override;
  // Marks the open edit step heavy, then the base.
  void DeleteFromParent() override;
  // Inside the bounds grown by the probe's second tolerance.
  int32_t HitTest(const CHitTest& probe) override;
  int32_t ClassifyInRect(const PointList& lasso, int32_t frame) override;
  int32_t GetMatrix(Matrix2x3& out) override;

  // Invalidate kind 1 (always); once per edit step, the matrix into the step.
  void SaveBitmapRecord();
  // The image to fill (a new object's, before it is placed).
  CImageRef& GetImage() { return m_image; }
  const CImageRef& GetImage() const { return m_image; }
  const Matrix2x3& GetBitmapMatrix() const { return m_matrix; }

  VM_DECLARE_SERIAL(CPicBitmap)

 private:
  friend class CPicBitmapEditItem;
  CImageRef m_image;
  Matrix2x3 m_matrix;
  CContentRecordMark m_saved;
};

// The saved matrix of a bitmap object.
class CPicBitmapEditItem : public CEditItem {
 public:
  explicit CPicBitmapEditItem(CPicBitmap* bitmap) : m_bitmap(bitmap), m_matrix(bitmap->m_matrix) {}
  void Restore() override;

  CPicBitmap* m_bitmap;
  Matrix2x3 m_matrix;
};

// The image record (render/raster/dib_record.h) over an archive: written
// whole, or read with its sizes checked against the bytes left. A record
// that cannot be written or read throws CArchiveException.
void WriteImageRecord(CArchive& ar, const CImageRef& image);
void ReadImageRecord(CArchive& ar, CImageRef& image);
