// The render context as the drawing objects see it: the flag word, the
// matrices, the clip, the key frame and frame being drawn, and the drawing
// operations they call. The back ends (GDI, bitmap, PostScript, exporters)
// derive from it; the model only calls through these virtual operations, so
// it builds and tests without any back end.
#pragma once

#include <cstdint>
#include <string_view>

#include "geometry/fixed.h"

class CPicObj;
struct EdgeGraph;

// The state a drawing object saves around its own drawing.
struct CRenderState {
  Matrix2x3 matrix;  // current
  Matrix2x3 baseMatrix;
  Matrix2x3 objectMatrix;
  CPicObj* currentKeyFrame = nullptr;
  // Bit 0 flag 0x4, bit 1 flag 0x400, bit 2 flag 0x800, bit 3 flag 0x40,
  // bit 4 the object matrix was set.
  uint32_t packed = 0;
};

class CRenderContext {
 public:
  // Flag word bits read by the drawing objects.
  static constexpr uint32_t kFlagFills = 0x1;        // fills on; clear = outline drawing
  static constexpr uint32_t kFlagChangedOnly = 0x4;  // outline drawing of changed edges only
  static constexpr uint32_t kFlagNoGlyphText = 0x40;
  static constexpr uint32_t kFlagAbortTest = 0x80;  // stop early when the user cancels printing
  static constexpr uint32_t kFlagHighlightSelected = 0x400;
  static constexpr uint32_t kFlagHighlightAll = 0x800;
  static constexpr uint32_t kFlagGdiPaths = 0x1000;      // set by the constructor
  static constexpr uint32_t kFlagExportMarks = 0x20000;  // layer and group marks for exporters

  // Handle kinds and flags of DrawHandle: low nibble kind (0 none, 1 square,
  // 2 circle, 3 cross), 0x10 white fill, 0x20 hollow, 0x40 large.
  static constexpr int kHandleSquare = 1;
  static constexpr int kHandleCircle = 2;
  static constexpr int kHandleCross = 3;

  CRenderContext() { RectSetHuge(m_deviceClip), RectSetHuge(m_docClip); }
  // A device clip (ordered from its corners); the document clip follows it.
  explicit CRenderContext(const Rect32& deviceClip) {
    RectFromTwoPoints(m_deviceClip, {deviceClip.xmin, deviceClip.ymin},
                      {deviceClip.xmax, deviceClip.ymax});
    m_docClip = m_deviceClip;
  }
  virtual ~CRenderContext() = default;

  // ---- drawing operations ----
  // Draws a shape's edge graph (fills, then lines) in document coordinates
  // through the current matrix.
  virtual void DrawEdgeGraph(const EdgeGraph& /*graph*/) {}
  // A hairline around a rectangle in document coordinates.
  virtual void FrameRect(const Rect32& /*rect*/) {}
  // A selection handle at a point in document coordinates.
  virtual void DrawHandle(const Point32& /*point*/, int /*flags*/) {}
  // The given matrix applies first, then the current one; the base matrix
  // becomes the result.
  virtual void SetMatrix(const Matrix2x3& m) {
    MatrixConcat(m, m_matrix, m_matrix);
    m_baseMatrix = m_matrix;
    UpdateMatrix();
  }
  // An object's own matrix: applies first, and is folded into the object
  // matrix too. The identity changes nothing.
  virtual void ConcatMatrix(const Matrix2x3& m) {
    if (MatrixIsIdentity(m)) return;
    MatrixConcat(m, m_matrix, m_matrix);
    MatrixConcat(m, m_objectMatrix, m_objectMatrix);
    m_objectMatrixSet = 1;
    UpdateMatrix();
  }
  // Exporters mark groups (1 begins, 0 ends) and named layers.
  virtual void MarkGroup(int /*begin*/) {}
  virtual void BeginLayer(std::string_view /*name*/) {}
  virtual void EndLayer() {}

  // ---- state ----
  // The inverse matrix and the document clip follow the current matrix.
  void UpdateMatrix() {
    MatrixInvert(m_matrix, m_inverse);
    MatrixTransformRect(m_inverse, m_deviceClip, m_docClip);
  }
  void SaveState(CRenderState& s) const {
    s.matrix = m_matrix;
    s.baseMatrix = m_baseMatrix;
    s.objectMatrix = m_objectMatrix;
    s.currentKeyFrame = m_currentKeyFrame;
    s.packed = ((m_flags & kFlagChangedOnly) ? 1u : 0u) |
               ((m_flags & kFlagHighlightSelected) ? 2u : 0u) |
               ((m_flags & kFlagHighlightAll) ? 4u : 0u) |
               ((m_flags & kFlagNoGlyphText) ? 8u : 0u) | (m_objectMatrixSet ? 16u : 0u);
  }
  void RestoreState(const CRenderState& s) {
    m_matrix = s.matrix;
    m_baseMatrix = s.baseMatrix;
    m_objectMatrix = s.objectMatrix;
    m_currentKeyFrame = s.currentKeyFrame;
    UpdateMatrix();
    constexpr uint32_t kSaved =
        kFlagChangedOnly | kFlagHighlightSelected | kFlagHighlightAll | kFlagNoGlyphText;
    m_flags &= ~kSaved;
    if (s.packed & 1u) m_flags |= kFlagChangedOnly;
    if (s.packed & 2u) m_flags |= kFlagHighlightSelected;
    if (s.packed & 4u) m_flags |= kFlagHighlightAll;
    if (s.packed & 8u) m_flags |= kFlagNoGlyphText;
    m_objectMatrixSet = (s.packed & 16u) ? 1 : 0;
  }

  Matrix2x3 m_matrix;        // document to device
  Matrix2x3 m_inverse;       // device to document
  Matrix2x3 m_baseMatrix;    // the current matrix after the last SetMatrix
  Matrix2x3 m_objectMatrix;  // product of the matrices given to ConcatMatrix
  uint8_t m_objectMatrixSet = 0;
  Rect32 m_deviceClip;
  Rect32 m_docClip;  // the device clip in document coordinates
  uint32_t m_flags = kFlagGdiPaths;
  // The object not to draw (one being dragged, for instance); null for none.
  const CPicObj* m_skipObject = nullptr;
  // The key frame being drawn (set by the page drawing code), null otherwise.
  CPicObj* m_currentKeyFrame = nullptr;
  // The frame being drawn, in the time of the object being drawn.
  int32_t m_currentFrame = 0;
};
