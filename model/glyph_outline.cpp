#include "model/glyph_outline.h"

#include "geometry/edge_graph_insert.h"
#include "geometry/path.h"
#include "model/text_style.h"
#include "platform/core/font.h"

// ---- the sink ----------------------------------------------------------------------

int32_t CGlyphSink::OutlineChar(uint16_t code) {
  if (m_font == nullptr) return 0;
  GlyphOutline outline;
  if (!m_font->GetGlyphOutline(code, outline)) return 0;
  // Glyph y runs up, drawing y down.
  auto flip = [](const Point32& p) { return Point32{p.x, WrapNeg(p.y)}; };
  for (const OutlineContour& contour : outline.contours) {
    MoveTo(flip(contour.start));
    for (const OutlineRecord& r : contour.records) {
      size_t n = r.points.size();
      if (r.type == OutlineRecord::kLine) {
        for (const Point32& p : r.points) {
          QuadCurve c;
          CurveFromLine(m_current, flip(p), c);
          AddCurve(c);
        }
      } else if (n >= 2) {
        // Each off-curve point but the last ends at its midpoint with the
        // next; the last curve ends on the last point. A single point adds
        // nothing.
        for (size_t i = 0; i + 1 < n; ++i) {
          Point32 control = flip(r.points[i]);
          Point32 next = flip(r.points[i + 1]);
          Point32 end = i + 2 == n
                            ? next
                            : Point32{static_cast<int32_t>((int64_t{control.x} + next.x) >> 1),
                                      static_cast<int32_t>((int64_t{control.y} + next.y) >> 1)};
          QuadCurve c;
          CurveSet(m_current, control, end, c);
          AddCurve(c);
        }
      }
    }
    Close();
  }
  return 1;
}

void CGlyphSink::MoveTo(const Point32& p) {
  m_current = p;
  m_start = p;
  if (m_consumer != nullptr) {
    Point32 units;
    PointShift(p, ShiftRight(16), units);
    m_consumer->BeginContour(units, m_matrix);
  }
}

void CGlyphSink::AddCurve(const QuadCurve& c) {
  m_current = c.p2;
  QuadCurve units;
  CurveShift(c, ShiftRight(16), units);
  units.straight = c.straight;
  Emit(units);
}

void CGlyphSink::Close() {
  QuadCurve c;
  CurveFromLine(m_current, m_start, c);
  AddCurve(c);
  if (m_consumer != nullptr) {
    m_consumer->EndContour();
  } else if (m_graph == nullptr && m_outliner != nullptr) {
    m_outliner->OnContourEnd();
  }
}

void CGlyphSink::Emit(const QuadCurve& units) {
  if (m_consumer != nullptr) {
    m_consumer->AddCurve(units, m_matrix);
    return;
  }
  QuadCurve placed;
  CurveTransform(units, m_matrix, placed);
  placed.straight = units.straight;
  if (m_graph != nullptr) {
    QuadCurve g;
    CurveShift(placed, ShiftLeft(8), g);
    g.straight = placed.straight;
    Edge* edge = nullptr;
    // An exhausted pool drops the curve.
    if (EdgeGraphNewEdge(g, &edge) < 0 || edge == nullptr) return;
    edge->line = m_styleWord;
    if (EdgeGraphInsertEdge(*m_graph, edge, 0, 3) < 0) return;
    return;
  }
  if (m_outliner != nullptr) m_outliner->OnCurve(placed);
}

// ---- the outliner --------------------------------------------------------------------

CGlyphOutliner::CGlyphOutliner() {
  m_sink.m_outliner = this;
}

CGlyphOutliner::~CGlyphOutliner() = default;

void CGlyphOutliner::SelectFont(const CTextStyle& style) {
  SelectFont(style, style.size);
}

void CGlyphOutliner::SelectFont(const CTextStyle& style, int32_t size) {
  Fixed scale = FixedDiv(size, 2048);
  MatrixSetScale(m_sink.m_matrix, scale, scale);
  m_font = style.CreateFont(2048, 0);
  m_sink.m_font = m_font.get();
  m_word = 0;
}

int32_t CGlyphOutliner::OutlineGlyph(uint16_t code) {
  return m_sink.OutlineChar(code);
}

int32_t CGlyphOutliner::GlyphWindingAt(uint16_t code, const Point32& point, int32_t tolerance) {
  m_question = Question::kWinding;
  m_winding = 0;
  m_near = false;
  m_point = point;
  m_tolerance = tolerance;
  int32_t r = OutlineGlyph(code);
  m_question = Question::kNone;
  return r;
}

int32_t CGlyphOutliner::ClassifyAgainstPath(uint16_t code, const PointList& path,
                                            const Matrix2x3& matrix) {
  m_question = Question::kPath;
  ResetCounts();
  m_path = &path;
  m_pathMatrix = matrix;
  OutlineGlyph(code);
  m_question = Question::kNone;
  m_path = nullptr;
  return ClassResult();
}

void CGlyphOutliner::Answer(const QuadCurve& c) {
  switch (m_question) {
    case Question::kWinding:
      // A curve running up (start below end in y-down terms is running
      // down) counts against, one running down for.
      if (c.p0.y < c.p2.y) {
        m_winding -= CurveRayCrossings(c, m_point, 0);
      } else {
        m_winding += CurveRayCrossings(c, m_point, 0);
      }
      if (m_tolerance != 0 && !m_near && CurveNearestPoint(c, m_point, m_tolerance, nullptr) >= 0) {
        m_near = true;
      }
      return;
    case Question::kPath: {
      if (m_result != 0) return;
      QuadCurve t;
      CurveTransform(c, m_pathMatrix, t);
      t.straight = c.straight;
      CountClass(ClassifyEdgeAgainstShape(*m_path, t));
      return;
    }
    default:
      return;
  }
}

void CGlyphOutliner::CountClass(int32_t answer) {
  if (m_result != 0) return;
  if (answer == 3 || (answer == 1 && m_inside != 0) || (answer == 2 && m_outside != 0)) {
    m_result = 3;
    return;
  }
  if (answer == 2) ++m_inside;
  if (answer == 1) ++m_outside;
}

int32_t CGlyphOutliner::ClassResult() const {
  if (m_result != 0) return m_result;
  if (m_inside != 0) return 2;
  if (m_outside != 0) return 1;
  return 3;
}
