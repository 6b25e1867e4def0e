// CPicShape: a drawing object that owns vector geometry placed by a 2x3
// matrix, and may hold child objects (a group). A plain drawing (flag 0x8)
// is loose geometry edited edge by edge.
#pragma once

#include <cstdint>

#include "geometry/edge_change_log.h"
#include "geometry/edge_graph.h"
#include "model/pic_obj.h"

class CPicShapeEditItem;

class CPicShape : public CPicObj {
 public:
  // An empty graph with the default bounds; its changes are announced to
  // PrepareGeometryChange.
  CPicShape();
  ~CPicShape() override;

  // Base record, u8 version 1, the matrix, the geometry record.
  void Serialize(CArchive& ar) override;

  // ---- virtual operations ----
  // The cached bounds (with line widths when the query is full), then the
  // children and the centre.
  void CollectExtent(CExtentQuery& q) override;
  void Draw(CRenderContext& rc) override;
  // Adds itself when its geometry has edges, then the children.
  void EnumShapes(CExportCollector& collector) override;
  // Multiplies the matrix by m (the shape's matrix applies first).
  void Transform(const Matrix2x3& m) override;
  // Moves the children after this shape in its parent, selected, and
  // becomes a selected plain drawing. A plain drawing refuses.
  int32_t BreakApart(int32_t arg) override;
  // A child's hit wins; then the geometry.
  int32_t HitTest(const CHitTest& probe) override;
  void UpdateExtent() override;
  int32_t ClassifyInRect(const PointList& lasso, int32_t frame) override;
  int32_t GetMatrix(Matrix2x3& out) override;
  // Called by the geometry before it changes.
  virtual void PrepareGeometryChange();

  // Saves the matrix (and the geometry's changes from now on) into the open
  // edit step, once per step.
  void SaveGeometry();
  // Bakes the matrix into the geometry; the matrix becomes the identity.
  void ApplyMatrix();
  using CPicObj::ApplyMatrix;  // the export collector's
  // Merges the plain-drawing children into the shape's own geometry and
  // deletes them.
  void CollectChildShapes();
  const Matrix2x3& GetShapeMatrix() const { return m_matrix; }
  // Sets the matrix under undo (nothing when unchanged).
  void SetShapeMatrix(const Matrix2x3& m);
  // The cached bounds are rebuilt at the next use.
  void InvalidateBounds() { m_boundsValid = 0; }
  EdgeGraph& GetGeometry() { return m_geometry; }
  const EdgeGraph& GetGeometry() const { return m_geometry; }

  VM_DECLARE_SERIAL(CPicShape)

 protected:
  // Draws the geometry, the children and the selection marker, without the
  // skip test and the export group marks (a key frame draws this way).
  void DrawContent(CRenderContext& rc);
  // Rebuilds the two cached rectangles when they are not valid.
  void UpdateBounds();

  Matrix2x3 m_matrix;
  EdgeGraph m_geometry;
  // Taken once per edit: a coalesced run of edits keeps its step, but each
  // edit of the graph needs a log of its own, so the mark is also cleared
  // when the graph's change is closed.
  CContentRecordMark m_geometrySaved;
  uint32_t m_boundsValid = 0;
  Rect32 m_shapeBounds;   // every edge, through the matrix
  Rect32 m_strokeBounds;  // the same grown by half the line widths

 private:
  friend class CPicShapeEditItem;
  // Forgets the log attached to the graph.
  void DetachLog();
  CPicShapeEditItem* m_logItem = nullptr;  // the item whose log is attached
  // The geometry's part of drawing, export, hit testing, classification and
  // the end of an edit.
  void DrawGeometry(CRenderContext& rc);
  bool HasEdges() const;
  int32_t HitTestGeometry(const CHitTest& probe);
  int32_t ClassifyGeometry(const PointList& lasso, int32_t answer);
  void EndGeometryChange();
};

// The saved matrix of a shape and the log of its geometry's changes.
class CPicShapeEditItem : public CEditItem {
 public:
  explicit CPicShapeEditItem(CPicShape* shape);
  // Frees the log.
  ~CPicShapeEditItem() override;
  void Restore() override;

  CPicShape* m_shape;
  Matrix2x3 m_matrix;
  EdgeChangeLog m_log;  // attached to the geometry while the step is open
  bool m_undoStep;      // taken while an undo (kind 1) built its redo step
};
