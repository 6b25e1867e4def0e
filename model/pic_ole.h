// CPicOle: the drawing object that places an embedded item (CMarlCntrItem)
// in a drawing: a matrix and the item's rectangle in twips. It draws the
// item's cached picture (a DIB) filling the rectangle, or a placeholder
// frame; it can become ordinary objects (a shape holding the picture as a
// bitmap object). Creating or deleting one makes the open edit step heavy.
#pragma once

#include <cstdint>

#include "model/pic_obj.h"

class CMarlCntrItem;
class CPicShape;

class CPicOle : public CPicObj {
 public:
  static constexpr uint8_t kRecordVersion = 0;

  // Identity matrix, empty rectangle, no item; marks the open step heavy.
  CPicOle();
  // Breaks the pairing with the item.
  ~CPicOle() override;

  // Base record, u8 version 0, matrix, rectangle, i16 item number (0: the
  // item follows inline, or none does: a null reference).
  void Serialize(CArchive& ar) override;

  // ---- virtual operations ----
  // The item leaves the document (its storage is no longer saved).
  void OnDiscard() override;
  void CollectExtent(CExtentQuery& q) override;
  void Draw(CRenderContext& rc) override;
  // The converted shapes, kept for the export; nothing without a picture.
  void EnumShapes(CExportCollector& collector) override;
  void Transform(const Matrix2x3& m) override;
  // Replaces the object by the converted shapes; 0 without a picture.
  int32_t BreakApart(int32_t arg) override;
  // Marks the open step heavy, then the base.
  void DeleteFromParent() override;
  int32_t HitTest(const CHitTest& probe) override;
  int32_t ClassifyInRect(const PointList& lasso, int32_t frame) override;
  int32_t GetMatrix(Matrix2x3& out) override;

  // Invalidates and stores a different rectangle (not recorded for undo).
  void SetItemRect(const Rect32& r);
  const Rect32& GetItemRect() const { return m_itemRect; }
  const Matrix2x3& GetOleMatrix() const { return m_matrix; }
  CMarlCntrItem* GetItem() const { return m_item; }
  // Invalidate kind 1 (always); once per edit step, the matrix into the step.
  void SaveEditState();
  // A new shape holding the picture as a bitmap object in the object's
  // place, or null when the item has no picture.
  CPicShape* ConvertToShapes();

  VM_DECLARE_SERIAL(CPicOle)

 private:
  friend class CMarlCntrItem;
  friend class COleMatrixEditItem;
  Matrix2x3 m_matrix;
  Rect32 m_itemRect;
  CMarlCntrItem* m_item = nullptr;
  CContentRecordMark m_saved;
};

// The saved matrix of an embedded object.
class COleMatrixEditItem : public CEditItem {
 public:
  explicit COleMatrixEditItem(CPicOle* obj) : m_obj(obj), m_matrix(obj->m_matrix) {}
  void Restore() override;

  CPicOle* m_obj;
  Matrix2x3 m_matrix;
};
