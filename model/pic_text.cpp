// CPicText as a drawing object: construction, drawing through a render
// context, hit testing and lasso classification down to glyph outlines,
// breaking apart into a shape, and erasing the characters an eraser covers.
#include "model/pic_text.h"

#include <algorithm>

#include "geometry/curve.h"
#include "geometry/edge_graph_region.h"
#include "geometry/path.h"
#include "model/glyph_outline.h"
#include "model/pic_shape.h"
#include "model/text_outline_context.h"
#include "platform/core/archive.h"
#include "platform/core/archive_geometry.h"
#include "platform/core/exceptions.h"
#include "render/context/render_context.h"

VM_IMPLEMENT_SERIAL(CPicText, CPicObj, 1)

namespace {

constexpr uint8_t kTextVersion = 0;
constexpr int32_t kRunMaxBytes = 249;
constexpr uint32_t kGreyBox = 0xFF808080;
constexpr uint32_t kBlack = 0xFF000000;

struct PathHolder {
  PointList path;
  PathHolder() { PointListInit(path); }
  ~PathHolder() { PointListFree(path); }
};

// The glyph origin of a character: (x, baseline + shift), then the matrix.
Matrix2x3 GlyphMatrix(int32_t x, int32_t y, const Matrix2x3& m) {
  Matrix2x3 at, out;
  MatrixSetTranslation(at, x, y);
  MatrixConcat(at, m, out);
  return out;
}

// A character's ink box; spaces and CR have none (empty).
void CharBox(const TextChar& c, int32_t x, int32_t baseline, Rect32& out) {
  if (c.code == ' ' || c.code == CPicText::kCR) {
    RectSetEmpty(out);
    return;
  }
  RectSet(out, x + c.inkLeft, baseline + c.inkTop, std::max(x + c.inkRight, x + c.layoutAdvance),
          baseline + c.inkBottom);
}

// ---- classification against the fills of a drawing ----

int32_t ClassifyCurveAgainstFills(EdgeGraph& graph, const QuadCurve& twips) {
  QuadCurve c;
  CurveShift(twips, ShiftLeft(8), c);
  c.straight = twips.straight;
  Rect32 bounds;
  CurveGetHullBounds(c, bounds);
  RectInset(bounds, -8);
  bool crossing = false;
  EdgeGraphForEachEdge(graph, &bounds, [&](Edge* e) {
    if (crossing) return;
    Rect32 eb;
    CurveGetHullBounds(e->curve, eb);
    if (!RectsOverlap(eb, bounds)) return;
    CurveIntersectResult r;
    if (CurveIntersect(e->curve, c, r, 8) > 0) crossing = true;
  });
  if (crossing) return 3;
  Region* region = EdgeGraphFindRegion(graph, c.p0);
  return region != nullptr && region->fill != 0 ? 2 : 1;
}

int32_t ClassifyPathAgainstFills(EdgeGraph& graph, const PointList& path) {
  PointListIter it;
  PointListIterInit(path, it);
  QuadCurve c;
  bool in = false, out = false;
  while (PointListIterNext(it, c)) {
    int32_t r = ClassifyCurveAgainstFills(graph, c);
    if (r == 3) return 3;
    (r == 2 ? in : out) = true;
  }
  if (in && out) return 3;
  if (!out) return in ? 2 : 1;
  // Outside every fill: a drawing lying wholly inside the path still meets it.
  bool inside = false, first = true;
  EdgeGraphForEachEdge(graph, nullptr, [&](Edge* e) {
    if (!first) return;
    first = false;
    QuadCurve t;
    CurveShift(e->curve, ShiftRight(8), t);
    inside = ShapeContainsPoint(path, t.p0);
  });
  return inside ? 3 : 1;
}

int32_t ClassifyRectAgainstFills(EdgeGraph& graph, const Rect32& r, const Matrix2x3* m) {
  PathHolder p;
  if (PathFromRect(p.path, r) < 0) return 3;
  if (m != nullptr) PointListTransform(p.path, *m);
  return ClassifyPathAgainstFills(graph, p.path);
}

// Counts a glyph's curves against the fills, as the path classification does.
class CGlyphFillClassifier : public CGlyphOutliner {
 public:
  CGlyphFillClassifier(EdgeGraph& graph, const Matrix2x3& m) : m_graph(graph), m_place(m) {}
  void OnCurve(const QuadCurve& c) override {
    if (m_result != 0) return;
    QuadCurve t;
    CurveTransform(c, m_place, t);
    t.straight = c.straight;
    CountClass(ClassifyCurveAgainstFills(m_graph, t));
  }
  int32_t Classify(uint16_t code) {
    ResetCounts();
    OutlineGlyph(code);
    return ClassResult();
  }
  EdgeGraph& m_graph;
  Matrix2x3 m_place;
};

}  // namespace

// ---- construction ------------------------------------------------------------------

CPicText::CPicText() {
  m_box = {0, 2880, 0, 2880};
  m_frameBounds = m_box;
  m_inkBounds = m_box;
  CTextStyle style;
  AddStyle(style);
  const uint16_t cr = kCR;
  InsertCodes(&cr, 1, 0);
  m_selStart = m_selEnd = m_anchor = 0;
}

CPicText::~CPicText() = default;

void CPicText::Serialize(CArchive& ar) {
  CPicObj::Serialize(ar);
  if (ar.IsStoring()) {
    ar << kTextVersion << m_matrix << m_box << static_cast<uint8_t>(m_textFlags != 0 ? 1 : 0);
    WriteRuns(ar, 0, GetCharCount() - 1);
    return;
  }
  uint8_t version, flags;
  ar >> version >> m_matrix >> m_box >> flags;
  RectValidate(m_box);
  m_textFlags = flags;
  SetSelection(0, kMaxChars);
  DeleteSelection();
  ReadRuns(ar);
  MarkUsedStyles();
  SetSelection(0, 0);
  MarkDirtyRange(0, GetCharCount());
}

// ---- virtual operations ------------------------------------------------------------

void CPicText::CollectExtent(CExtentQuery& q) {
  UpdateLayout();
  Rect32 r;
  MatrixTransformRect(m_matrix, q.full != 0 ? m_inkBounds : m_frameBounds, r);
  q.AddRect(r);
  CPicObj::CollectExtent(q);
}

bool CPicText::DrawRuns(CRenderContext& rc, bool boxes) {
  bool all = true;
  Rect32 drawn;
  std::vector<uint8_t> bytes;
  std::vector<int32_t> advances;
  for (const TextLine& l : m_lines) {
    if (l.inkBounds.IsEmpty() || !RectsOverlap(l.inkBounds, rc.m_docClip)) continue;
    RectUnion(drawn, l.inkBounds, drawn);
    int32_t x = l.x, runX = l.x, runWidth = 0;
    int32_t style = -1;
    auto flush = [&] {
      if (bytes.empty()) return;
      CTextStyle s = m_styles[static_cast<size_t>(style)];
      int32_t size = 0, shift = 0;
      if (s.GetEffectiveSize(size, shift) != 0) {
        if (s.size != 0)
          s.avgCharWidth = static_cast<int32_t>(int64_t{s.avgCharWidth} * size / s.size);
        s.size = static_cast<uint16_t>(size);
      }
      Point32 origin{runX, l.baseline + shift};
      int32_t done =
          rc.DrawText(static_cast<int32_t>(bytes.size()), origin, bytes.data(), advances.data(), s);
      if (done == 0) {
        all = false;
        PathHolder p;
        Rect32 box;
        RectSet(box, runX, l.baseline - l.ascent, runX + runWidth, l.baseline);
        // A box whose path cannot be built (no memory) is left out.
        if (boxes && !(rc.m_flags & CRenderContext::kFlagAbortTest) &&
            PathFromRect(p.path, box) >= 0) {
          if (rc.m_flags & CRenderContext::kFlagFills) {
            FillStyle fill;
            fill.colour = rc.DimColor(kGreyBox);
            rc.DrawPath(p.path, nullptr, &fill);
          } else {
            LineStyle line;
            line.colour = rc.DimColor(kBlack);
            line.width = 1;
            rc.DrawPath(p.path, &line, nullptr);
          }
        }
      }
      bytes.clear();
      advances.clear();
    };
    for (int32_t i = l.first; i < l.first + l.count; ++i) {
      const TextChar& c = m_chars[static_cast<size_t>(i)];
      if (c.styleIndex != style || static_cast<int32_t>(bytes.size()) > kRunMaxBytes ||
          c.code == kCR) {
        flush();
        style = c.styleIndex;
        runX = x;
        runWidth = 0;
      }
      if (c.code != kCR) {
        if (c.code > 0xFF) {
          bytes.push_back(static_cast<uint8_t>(c.code >> 8));
          advances.push_back(c.layoutAdvance);
          bytes.push_back(static_cast<uint8_t>(c.code));
          advances.push_back(0);
        } else {
          bytes.push_back(static_cast<uint8_t>(c.code));
          advances.push_back(c.layoutAdvance);
        }
        runWidth += c.layoutAdvance;
      }
      x += c.layoutAdvance;
    }
    flush();
  }
  if (!drawn.IsEmpty()) {
    Rect32 mapped;
    MatrixTransformRect(rc.m_matrix, drawn, mapped);
    RectUnion(rc.m_drawnArea, mapped, rc.m_drawnArea);
  }
  return all;
}

void CPicText::Draw(CRenderContext& rc) {
  if (rc.m_skipObject == this) return;
  if ((rc.m_flags & CRenderContext::kFlagChangedOnly) && !(m_flags & kOldBounds)) return;
  UpdateLayout();
  CRenderState state;
  rc.SaveState(state);
  rc.SetMatrix(m_matrix);
  if (!RectsOverlap(m_inkBounds, rc.m_docClip)) {
    rc.RestoreState(state);
    return;
  }
  LineStyle black;
  black.colour = rc.DimColor(kBlack);
  black.width = 1;
  if (rc.m_flags & CRenderContext::kFlagOutlineView) {
    PathHolder p;
    if (PathFromRect(p.path, m_box) >= 0) rc.DrawPath(p.path, &black, nullptr);
  } else {
    if (rc.m_flags & CRenderContext::kFlagTextFrames) {
      PathHolder p;
      FillStyle white;
      white.colour = rc.DimColor(0xFFFFFFFF);
      if (PathFromRect(p.path, m_frameBounds) >= 0) rc.DrawPath(p.path, &black, &white);
      Point32 anchor = GetAnchorPoint();
      Matrix2x3 inverse;
      MatrixInvert(m_matrix, inverse);
      MatrixTransformPoint(inverse, anchor, anchor);
      rc.DrawHandle(anchor, m_textFlags != 0 ? CRenderContext::kHandleTextAutoWidth
                                             : CRenderContext::kHandleTextFixedWidth);
    }
    DrawRuns(rc, true);
  }
  bool framed = IsSelected() && m_parent != nullptr && m_parent == rc.m_currentKeyFrame;
  if (framed) rc.FrameRect(m_frameBounds);
  rc.RestoreState(state);
  if (framed && HasCenter()) rc.DrawHandle(m_center, CRenderContext::kHandleCross);
}

void CPicText::EnumShapes(CExportCollector& collector) {
  NewExportNode(collector, this);
}

void CPicText::Transform(const Matrix2x3& m) {
  Invalidate(1);
  SaveTextState(0);
  MatrixConcat(m_matrix, m, m_matrix);
  CPicObj::Transform(m);
}

int32_t CPicText::BreakApart(int32_t arg) {
  if (arg == kBreakApartQuery) return 1;
  if (m_parent == nullptr) return 0;
  UpdateLayout();
  auto* shape = new CPicShape;
  shape->SetPlainDrawing(true);
  shape->SetSelected(true);
  m_parent->AddChild(shape, kAddAfter, this);
  CTextOutlineContext context(&shape->GetGeometry());
  context.m_flags |= CRenderContext::kFlagFills;
  context.SetMatrix(m_matrix);
  DrawRuns(context, true);
  int32_t result = context.m_failed ? 0 : 1;
  shape->InvalidateBounds();
  shape->Invalidate(1);
  // Without an open edit step this deletes the text: nothing may follow.
  DeleteFromParent();
  return result;
}

int32_t CPicText::HitTest(const CHitTest& probe) {
  UpdateLayout();
  CHitTest q = probe;
  q.MapToObject(m_matrix);
  const int32_t d = q.distance2;
  if (q.user[0] != 0) {
    Rect32 frame = m_frameBounds;
    RectInset(frame, -d);
    return RectContainsPoint(frame, q.point) ? 1 : 0;
  }
  Rect32 ink = m_inkBounds;
  RectInset(ink, -d);
  if (!RectContainsPoint(ink, q.point)) return 0;
  CGlyphOutliner outliner;
  for (const TextLine& l : m_lines) {
    Rect32 lineInk = l.inkBounds;
    RectInset(lineInk, -d);
    if (!RectContainsPoint(lineInk, q.point)) continue;
    int32_t x = l.x;
    int32_t style = -1;
    int32_t shift = 0;
    for (int32_t i = l.first; i < l.first + l.count; ++i) {
      const TextChar& c = m_chars[static_cast<size_t>(i)];
      Rect32 box;
      CharBox(c, x, l.baseline, box);
      if (!box.IsEmpty()) RectInset(box, -d);
      if (!box.IsEmpty() && RectContainsPoint(box, q.point)) {
        if (c.styleIndex != style) {
          style = c.styleIndex;
          int32_t size = 0;
          StyleOf(i).GetEffectiveSize(size, shift);
          outliner.SelectFont(StyleOf(i), size);
        }
        Point32 rel{q.point.x - x, q.point.y - (l.baseline + shift)};
        if (outliner.GlyphWindingAt(c.code, rel, d) == 0 || outliner.m_winding != 0 ||
            outliner.m_near) {
          return 1;
        }
      }
      x += c.layoutAdvance;
    }
  }
  return 0;
}

void CPicText::UpdateExtent() {
  CPicObj::UpdateExtent();
  UpdateLayout();
}

int32_t CPicText::ClassifyInRect(const PointList& lasso, int32_t) {
  UpdateLayout();
  auto classify = [&](const Rect32& r) {
    int32_t a = ClassifyShapeAgainstRect(lasso, r, &m_matrix);
    return a < 0 ? 3 : a;
  };
  int32_t whole = classify(m_inkBounds);
  if (whole != 3) return whole;
  bool inside = false, outside = false;
  CGlyphOutliner outliner;
  for (const TextLine& l : m_lines) {
    if (l.inkBounds.IsEmpty()) continue;
    int32_t a = classify(l.inkBounds);
    if (a == 3) {
      int32_t x = l.x;
      int32_t style = -1, shift = 0;
      for (int32_t i = l.first; i < l.first + l.count; ++i) {
        const TextChar& c = m_chars[static_cast<size_t>(i)];
        Rect32 box;
        CharBox(c, x, l.baseline, box);
        if (!box.IsEmpty()) {
          int32_t b = classify(box);
          if (b == 3) {
            if (c.styleIndex != style) {
              style = c.styleIndex;
              int32_t size = 0;
              StyleOf(i).GetEffectiveSize(size, shift);
              outliner.SelectFont(StyleOf(i), size);
            }
            b = outliner.ClassifyAgainstPath(c.code, lasso,
                                             GlyphMatrix(x, l.baseline + shift, m_matrix));
            if (b == 3) return 3;
          }
          (b == 2 ? inside : outside) = true;
          if (inside && outside) return 3;
        }
        x += c.layoutAdvance;
      }
      continue;
    }
    (a == 2 ? inside : outside) = true;
    if (inside && outside) return 3;
  }
  return inside ? 2 : 1;
}

int32_t CPicText::GetMatrix(Matrix2x3& out) {
  out = m_matrix;
  return 1;
}

// ---- the eraser -----------------------------------------------------------------------

void CPicText::EraseCoveredChars(CPicShape& drawing) {
  UpdateLayout();
  EdgeGraph& graph = drawing.GetGeometry();
  // Into the drawing's own coordinates.
  Matrix2x3 inverse, toDrawing;
  MatrixInvert(drawing.GetShapeMatrix(), inverse);
  MatrixConcat(m_matrix, inverse, toDrawing);
  if (ClassifyRectAgainstFills(graph, m_inkBounds, &toDrawing) == 1) return;
  // Boxes that miss the drawing's bounds lie outside every fill.
  Rect32 reach;
  drawing.GetExactBounds(reach);
  Matrix2x3 toParent = m_matrix;
  auto outside = [&](const Rect32& box) {
    Rect32 mapped;
    MatrixTransformRect(toParent, box, mapped);
    return !RectsOverlap(mapped, reach);
  };
  std::vector<std::pair<int32_t, int32_t>> ranges;
  CGlyphFillClassifier classifier(graph, toDrawing);
  for (const TextLine& l : m_lines) {
    if (!l.inkBounds.IsEmpty() &&
        (outside(l.inkBounds) || ClassifyRectAgainstFills(graph, l.inkBounds, &toDrawing) == 1)) {
      continue;
    }
    int32_t x = l.x;
    int32_t style = -1, shift = 0;
    for (int32_t i = l.first; i < l.first + l.count; ++i) {
      const TextChar& c = m_chars[static_cast<size_t>(i)];
      const CTextStyle& s = StyleOf(i);
      Rect32 box;
      CharBox(c, x, l.baseline, box);
      if (box.IsEmpty()) RectSet(box, x, l.baseline - s.size / 4, x + c.layoutAdvance, l.baseline);
      int32_t a = outside(box) ? 1 : ClassifyRectAgainstFills(graph, box, &toDrawing);
      if (a == 3 && c.code != ' ' && c.code != kCR) {
        if (c.styleIndex != style) {
          style = c.styleIndex;
          int32_t size = 0;
          s.GetEffectiveSize(size, shift);
          classifier.SelectFont(s, size);
        }
        classifier.m_place = GlyphMatrix(x, l.baseline + shift, toDrawing);
        a = classifier.Classify(c.code);
      }
      // The final CR always stays.
      if (a == 2 && i < GetCharCount() - 1) {
        if (!ranges.empty() && ranges.back().second == i) {
          ranges.back().second = i + 1;
        } else {
          ranges.emplace_back(i, i + 1);
        }
      }
      x += c.layoutAdvance;
    }
  }
  EraseRanges(ranges);
}

void CPicText::EraseRanges(const std::vector<std::pair<int32_t, int32_t>>& ranges) {
  // Every range, from the last to the first, so positions stay valid.
  for (auto it = ranges.rbegin(); it != ranges.rend(); ++it) {
    SetSelection(it->first, it->second);
    DeleteSelection();
  }
}
