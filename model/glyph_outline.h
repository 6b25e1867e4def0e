// Glyph outlines: CGlyphSink reads one character's outline from the selected
// font and hands its contours, as quadratic curves, to one consumer (an
// outside consumer such as the scan converter, an edge graph, or a glyph
// outliner). CGlyphOutliner holds a font at 2048 units per em and answers
// the winding number of a glyph's outline at a point and how the outline
// lies against a closed path.
#pragma once

#include <cstdint>
#include <memory>

#include "geometry/curve.h"
#include "geometry/edge_graph.h"
#include "geometry/fixed.h"
#include "geometry/point_list.h"
#include "render/context/glyph_consumer.h"

class CFontFace;
class CGlyphOutliner;
class CTextStyle;

class CGlyphSink {
 public:
  CGlyphSink() = default;

  // Reads the outline of the code in the selected font and emits it: 1 when
  // read, 0 when the font has none (no font, or a font without outlines).
  int32_t OutlineChar(uint16_t code);

  void MoveTo(const Point32& p1616);
  // A curve in 16.16 font units, y down.
  void AddCurve(const QuadCurve& c1616);
  // Adds the straight piece back to the start (always), then ends the contour.
  void Close();

  const CFontFace* m_font = nullptr;  // the font whose outlines are read
  Matrix2x3 m_matrix;                 // font units to the caller's units
  uint32_t m_word = 0;
  // Consumers, looked for in this order; exactly one is used.
  CGlyphConsumer* m_consumer = nullptr;
  EdgeGraph* m_graph = nullptr;
  uint16_t m_styleWord = 0;  // the style of every new edge (fill on side A)
  CGlyphOutliner* m_outliner = nullptr;
  Point32 m_current;
  Point32 m_start;

 private:
  void Emit(const QuadCurve& units);
};

class CGlyphOutliner {
 public:
  CGlyphOutliner();
  virtual ~CGlyphOutliner();
  CGlyphOutliner(const CGlyphOutliner&) = delete;
  CGlyphOutliner& operator=(const CGlyphOutliner&) = delete;

  // Each curve in the units of the sink's matrix (twips, y down); the base
  // answers the question being asked (winding or classification).
  virtual void OnCurve(const QuadCurve& c) { Answer(c); }
  virtual void OnContourEnd() {}

  // The style's font at 2048 units; the sink's matrix scales 2048 units to
  // the style's size in twips.
  void SelectFont(const CTextStyle& style);
  // The same at an explicit size (a superscript's effective size).
  void SelectFont(const CTextStyle& style, int32_t size);
  int32_t OutlineGlyph(uint16_t code);

  // The outline's winding number at the point (in m_winding) and whether a
  // curve lies within the tolerance (m_near); returns OutlineGlyph's result.
  int32_t GlyphWindingAt(uint16_t code, const Point32& point, int32_t tolerance);
  // 1 outside the path, 2 inside, 3 crossing (or no curves).
  int32_t ClassifyAgainstPath(uint16_t code, const PointList& path, const Matrix2x3& matrix);

  CGlyphSink m_sink;
  std::shared_ptr<CFontFace> m_font;
  uint32_t m_word = 0;  // cleared whenever a font is selected

  // Working fields of the winding and classification questions.
  int32_t m_winding = 0;
  bool m_near = false;
  int32_t m_inside = 0;
  int32_t m_outside = 0;
  int32_t m_result = 0;

 protected:
  // The classification's counting over curves answered 1, 2 or 3; subclasses
  // (the fill classifier) reuse it.
  void CountClass(int32_t answer);
  int32_t ClassResult() const;
  void ResetCounts() { m_inside = m_outside = m_result = 0; }

 private:
  enum class Question { kNone, kWinding, kPath };
  Question m_question = Question::kNone;
  Point32 m_point;
  int32_t m_tolerance = 0;
  const PointList* m_path = nullptr;
  Matrix2x3 m_pathMatrix;
  void Answer(const QuadCurve& c);
};
