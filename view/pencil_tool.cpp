#include "view/pencil_tool.h"

#include <algorithm>

#include "geometry/edge_graph.h"
#include "geometry/edge_graph_merge.h"
#include "geometry/edge_graph_outline.h"
#include "geometry/edge_graph_region.h"
#include "geometry/edge_graph_update.h"
#include "model/edit_transaction.h"
#include "model/geometry_result.h"
#include "model/pic_shape.h"
#include "platform/qt/cursors.h"
#include "platform/qt/dc.h"
#include "platform/qt/gdi_objects.h"
#include "platform/qt/input.h"
#include "platform/qt/message_box.h"
#include "render/context/render_context.h"
#include "render/gdi/app_palette.h"
#include "render/gdi/marl_dc.h"
#include "view/core/assistant_settings.h"
#include "view/core/snap.h"
#include "view/gesture_scope.h"
#include "view/marl_view.h"
#include "view/pointer_input.h"

namespace {

// String 608: there is no current layer to draw into.
constexpr UINT kNoEditLayerString = 608;
// Cursors: the free-hand pencil, the shape drags, the ink bottle, no
// drawing to draw into, the lasso and a drag of the selection.
constexpr int kPencilCursor = 1206;
constexpr int kShapeCursor = 1100;
constexpr int kInkBottleCursor = 32636;
constexpr int kNoDrawingCursor = 32641;
constexpr int kLassoCursor = 32633;
constexpr int kMoveSelectionCursor = 1208;
// Snap markers: something found, nothing found.
constexpr int kSnapMarkFound = 98;
constexpr int kSnapMarkNone = 34;
// A shape drag no longer than this many pick units adds nothing.
constexpr int32_t kShapeDragMinimum = 5;

void ShowCursor(int id) {
  HCURSOR c = LoadStandardCursor(id);
  ::SetCursor(c != nullptr ? c : LoadCursor(id));
}

bool ShiftDown() {
  return GetAsyncKeyState(VK_SHIFT) != 0;
}

Point32 DocPoint(CMarlView& view, int32_t x, int32_t y) {
  Matrix2x3 clientToDoc;
  view.State().GetClientToDocMatrix(clientToDoc);
  Point32 p;
  MatrixTransformPoint(clientToDoc, Point32{x, y}, p);
  return p;
}

// The line style of every selected line of each walked drawing.
void ApplyLineToSelection(const ViewState& state, const LineStyle& line) {
  CViewObjIter it(state, 0);
  while (CPicShape* frame = it.Next()) {
    LineStyle style = line;
    CheckGeometry(EdgeGraphApplyLineStyle(frame->GetGeometry(), kStyleApply, style));
    CheckGeometry(EdgeGraphUpdate(frame->GetGeometry()));
    frame->InvalidateBounds();
  }
}

// Every boundary edge of the region and of its children takes the line.
void ApplyLineToRegion(EdgeGraph& graph, Region* region, StyleIndex line) {
  for (Region* r = region; r != nullptr; r = r == region ? region->first_child : r->next) {
    HalfEdge* h = r->boundary;
    if (h == nullptr) continue;
    do {
      CheckGeometry(EdgeGraphTouchEdge(graph, h->edge));
      h->edge->line = static_cast<StyleIndex>((h->edge->line & kStyleSelected) | line);
      h = HalfEdgeNextOnBoundary(h);
    } while (h != nullptr && h != r->boundary);
  }
}

}  // namespace

TraceChunks FreehandTrace(CMarlView& view, uint32_t colour, int32_t width, const Point32& start) {
  TraceChunks chunks;
  chunks.push_back(std::make_unique<CPointList>());
  CaptureScope capture(view);
  CMarlDC dc(&view);
  view.PrepareToolDC(&dc);
  CPalette* oldPalette = dc.SelectPalette(GetAppPalette(), false);
  dc.RealizePalette();
  Matrix2x3 docToClient;
  view.State().GetDocToClientMatrix(docToClient);
  CPen pen(PS_INSIDEFRAME, std::max(MatrixScaleLength(docToClient, width), 1), colour & 0xFFFFFF);
  CPen* oldPen = dc.SelectObject(&pen);
  ViewPointerInput input(view);
  PointerStream stream(input, PointerStream::Device::kPenFirst);
  Point32 lastClient;
  PointerEvent e;
  while (stream.Next(e)) {
    if (e.kind == PointerEventKind::kMouse) {
      // The mouse's trace: the press point, then the cursor while the
      // button is down (what the pen gave before is dropped).
      chunks.resize(1);
      chunks[0]->Free();
      if (chunks[0]->Add(start) < 0) throw CMemoryException();
      MatrixTransformPoint(docToClient, start, lastClient);
      dc.MoveTo(lastClient.x, lastClient.y);
      continue;
    }
    if (e.kind != PointerEventKind::kPoint) continue;
    // A pen lifted inside the trace starts a new chunk.
    if (e.new_segment && chunks.back()->count > 0) chunks.push_back(std::make_unique<CPointList>());
    CPointList& points = *chunks.back();
    const bool first = points.count == 0;
    if (points.Add(e.point) < 0) throw CMemoryException();
    Point32 client;
    MatrixTransformPoint(docToClient, e.point, client);
    if (first) {
      dc.MoveTo(client.x, client.y);
    } else if (e.pen || client != lastClient) {
      dc.LineTo(client.x, client.y);
    }
    lastClient = client;
  }
  dc.SelectObject(oldPen);
  if (oldPalette != nullptr) dc.SelectPalette(oldPalette, false);
  return chunks;
}

CPencilTool::CPencilTool() {
  line.colour = 0xFF000000;
  line.width = 20;
}

void CPencilTool::SetDrawMode(int32_t mode) {
  m_mode = mode;
  if (mode != kPencilInkBottle) m_lastMode = mode;
}

bool CPencilTool::SetCursor(CMarlView& view, const Point32& point) {
  const bool drawing = view.State().GetEditDrawing() != nullptr;
  if (m_mode == kPencilInkBottle) {
    ShowCursor(kInkBottleCursor);
    return true;
  }
  const bool freehand = m_mode >= kPencilStraighten && m_mode <= kPencilInk;
  const bool shape = m_mode >= kPencilRectangle && m_mode <= kPencilLine;
  if (freehand || shape) view.State().MarkPointOnRulers(point);
  if (!freehand && !shape) {
    ShowCursor(kPencilCursor);
  } else {
    ShowCursor(drawing ? (freehand ? kPencilCursor : kShapeCursor) : kNoDrawingCursor);
  }
  return true;
}

void CPencilTool::OnPress(CMarlView& view, UINT /*flags*/, int32_t x, int32_t y) {
  const Point32 at = DocPoint(view, x, y);
  if (m_mode == kPencilInkBottle) {
    InkBottle(view, at);
    return;
  }
  if (view.State().GetEditDrawing() == nullptr) {
    AfxMessageBox(kNoEditLayerString, MB_OK);
    return;
  }
  if (m_mode >= kPencilRectangle && m_mode <= kPencilLine)
    ShapeDrag(view, at);
  else
    Freehand(view, at);
}

void CPencilTool::Freehand(CMarlView& view, const Point32& start) {
  ViewState& state = view.State();
  TraceChunks chunks = FreehandTrace(view, line.colour, line.width, start);
  CDocumentPage* page = state.GetEditContext();
  if (page == nullptr) return;
  const bool snap = IsSnapToggled(ShiftDown());
  (void)CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] {
    if (!state.MergePlainDrawings()) throw CMemoryException();
    CPicShape* frame = state.GetEditFrame();
    if (frame == nullptr) return;
    for (auto& chunk : chunks) {
      if (chunk->count == 0) continue;
      Rect32 bounds;
      chunk->GetBounds(bounds);
      RectInset(bounds, -line.width);
      state.InvalidateDocRect(&bounds);
      PointList path;
      CheckGeometry(PencilChunkToPath(*chunk, m_mode, state, AssistantSettings(), snap, path));
      CheckGeometry(
          PencilMergePath(path, line, state.GetPickUnit(), kMergeLinesWin, frame->GetGeometry()));
      frame->InvalidateBounds();
      chunk.reset();
    }
  });
}

void CPencilTool::ShapeDrag(CMarlView& view, const Point32& pressed) {
  ViewState& state = view.State();
  CaptureScope capture(view);
  if (view.WaitDragOrHold(pressed) == 0) return;
  const int32_t unit = state.GetPickUnit();
  const int32_t radius = unit * AssistantSettings().connect_tolerance_b;
  Point32 start = pressed;
  if (radius > 0 && IsSnapToggled(ShiftDown())) (void)SnapPoint(nullptr, start, state, radius);
  Point32 end = start;
  PointList path;
  {
    FeedbackScope feedback(view);
    ViewPointerInput input(view);
    PointerStream stream(input, PointerStream::Device::kMouse);
    PointerEvent e;
    bool first = true;
    Point32 last;
    // The cursor where the drag was recognised first, then each new one.
    do {
      if (!first && e.kind != PointerEventKind::kPoint) continue;
      const Point32 cursor = first ? stream.CursorPoint() : e.point;
      if (!first && cursor == last) continue;
      first = false;
      last = cursor;
      view.BeginFeedbackFrame();
      CRenderContext* ctx = view.GetFeedbackContext();
      end = cursor;
      if (radius > 0 && IsSnapToggled(ShiftDown())) {
        SnapSearch s;
        SnapSearchInit(s, end, radius);
        if (m_mode == kPencilLine) {
          SnapSearchTryAxis(s, kSnapAlign, start);
        } else {
          // Squares and circles: the diagonal at the mean of the two sides.
          const int32_t dx = end.x - start.x;
          const int32_t dy = end.y - start.y;
          const int32_t d = (std::abs(dx) + std::abs(dy)) / 2;
          SnapSearchTryPoint(s, kSnapVertex,
                             Point32{start.x + (dx < 0 ? -d : d), start.y + (dy < 0 ? -d : d)});
        }
        SnapSearchObjects(s, state);
        end = s.best_point;
        if (ctx != nullptr)
          ctx->DrawHandle(end, s.best_priority < kSnapNothing ? kSnapMarkFound : kSnapMarkNone);
      }
      CheckGeometry(PencilShapePath(m_mode, start, end, path));
      if (ctx != nullptr) {
        LineStyle feedbackLine;
        feedbackLine.colour = 0xFF000000;
        feedbackLine.width = static_cast<int16_t>(unit);
        ctx->DrawPath(path, &feedbackLine, nullptr);
      }
      Rect32 r{std::min(start.x, end.x), std::max(start.x, end.x), std::min(start.y, end.y),
               std::max(start.y, end.y)};
      state.SetRulerMarkers(&r);
      view.EndFeedbackFrame();
    } while (stream.Next(e));
  }
  state.SetRulerMarkers(nullptr);
  if (PointDistance(start, end) <= kShapeDragMinimum * unit) return;
  CDocumentPage* page = state.GetEditContext();
  if (page == nullptr) return;
  (void)CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] {
    if (!state.MergePlainDrawings()) throw CMemoryException();
    CPicShape* frame = state.GetEditFrame();
    if (frame == nullptr) return;
    CheckGeometry(PencilShapePath(m_mode, start, end, path));
    CheckGeometry(
        PencilMergePath(path, line, unit, kMergeLinesWin | kMergeFillsWin, frame->GetGeometry()));
    frame->InvalidateBounds();
  });
}

void CPencilTool::InkBottle(CMarlView& view, const Point32& at) {
  ViewState& state = view.State();
  ViewHitRecord hit;
  hit.point = at;
  if (!state.HitTest(hit) || hit.graph == nullptr) return;
  CDocumentPage* page = state.GetEditContext();
  if (page == nullptr) return;
  (void)CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] {
    EdgeGraph& g = *hit.graph;
    if (hit.edge != nullptr && StyleIndexOf(hit.edge->line) != 0) {
      if (StyleIsSelected(hit.edge->line)) {
        ApplyLineToSelection(state, line);
      } else {
        const int index = EdgeGraphAddLineStyle(g, line);
        CheckGeometry(index);
        CheckGeometry(EdgeApplyLineToRun(g, hit.edge, static_cast<StyleIndex>(index)));
      }
    } else if (hit.region != nullptr) {
      if (StyleIsSelected(hit.region->fill)) {
        ApplyLineToSelection(state, line);
      } else {
        const int index = EdgeGraphAddLineStyle(g, line);
        CheckGeometry(index);
        ApplyLineToRegion(g, hit.region, static_cast<StyleIndex>(index));
      }
    } else {
      return;
    }
    CheckGeometry(EdgeGraphUpdate(g));
    if (hit.key_frame != nullptr) hit.key_frame->InvalidateBounds();
    state.InvalidateDocRect(nullptr);
  });
}

bool CLassoTool::SetCursor(CMarlView& view, const Point32& point) {
  if (view.TrackHandles(point, true) != 0) return true;
  ViewHitRecord hit;
  hit.point = point;
  bool selected = false;
  if (view.State().HitTest(hit)) {
    if (hit.object != nullptr)
      selected = hit.object->IsSelected();
    else if (hit.edge != nullptr)
      selected = StyleIsSelected(hit.edge->line);
    else if (hit.region != nullptr)
      selected = StyleIsSelected(hit.region->fill);
  }
  ShowCursor(selected ? kMoveSelectionCursor : kLassoCursor);
  return true;
}

void CLassoTool::OnPress(CMarlView& view, UINT flags, int32_t x, int32_t y) {
  ViewState& state = view.State();
  const Point32 at = DocPoint(view, x, y);
  if (view.TrackHandles(at, false) != 0) return;
  ViewHitRecord hit;
  hit.point = at;
  if (state.HitTest(hit)) {
    const bool onSelection =
        (hit.object != nullptr && hit.object->IsSelected()) ||
        (hit.object == nullptr && hit.edge != nullptr && StyleIsSelected(hit.edge->line)) ||
        (hit.object == nullptr && hit.edge == nullptr && hit.region != nullptr &&
         StyleIsSelected(hit.region->fill));
    if (onSelection) {
      CaptureScope capture(view);
      if (view.WaitDragOrHold(at) == 0) (void)state.SelectAll(false);
      return;
    }
  }
  TraceChunks chunks = FreehandTrace(view, 0, 0, at);
  CDocumentPage* page = state.GetEditContext();
  if (page == nullptr) return;
  const bool add = (flags & MK_SHIFT) != 0 || ShiftDown();
  (void)CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] {
    if (!(add ? state.MergePlainDrawings() : state.SelectAll(false))) throw CMemoryException();
    for (auto& chunk : chunks) {
      if (chunk->count == 0) continue;
      PointList path;
      CheckGeometry(LassoChunkToPath(*chunk, state.GetPickUnit(), state.GetPixelSize(), path));
      Rect32 bounds;
      chunk->GetBounds(bounds);
      state.InvalidateDocRect(&bounds);
      if (!state.LassoSelect(path)) throw CMemoryException();
    }
  });
}
