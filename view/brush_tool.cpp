#include "view/brush_tool.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "geometry/edge_graph_merge.h"
#include "model/edit_transaction.h"
#include "model/geometry_result.h"
#include "model/pic_shape.h"
#include "model/pic_text.h"
#include "platform/qt/dc.h"
#include "platform/qt/gdi_objects.h"
#include "platform/qt/message_box.h"
#include "platform/qt/rop.h"
#include "render/gdi/app_palette.h"
#include "render/gdi/marl_dc.h"
#include "view/brush_shapes.h"
#include "view/gesture_scope.h"
#include "view/marl_view.h"
#include "view/pointer_input.h"

namespace {

// The stroke's sub-pixels per client pixel, and the rows and columns the
// raster reaches beyond the client area.
constexpr int32_t kSubPixels = 4;
constexpr int32_t kRasterMargin = 40;
// String 608: there is no current layer to draw into.
constexpr UINT kNoEditLayerString = 608;
// The program's cursors of the tools.
constexpr int kCursorTransformFill = 32640;
constexpr int kCursorLockFill = 32648;
constexpr int kCursorBucket = 1205;
constexpr int kCursorFaucet = 32635;
constexpr int kCursorBrushPressure = 482;
constexpr int kCursorEraserPressure = 32639;
constexpr int kCursorArrow = 32643;

// An RGBQUAD of a colour word (red in the low byte).
void PutQuad(uint8_t* out, uint32_t colour) {
  out[0] = static_cast<uint8_t>(colour >> 16);
  out[1] = static_cast<uint8_t>(colour >> 8);
  out[2] = static_cast<uint8_t>(colour);
  out[3] = 0;
}

// The feedback brush: solid for a solid colour (white without one), else an
// 8x8 pattern whose rows alternate 10101010 and all set, in the
// definition's first two colours.
bool MakeFeedbackBrush(CBrush& brush, const FillStyle& colour) {
  if (colour.kind == kFillSolid) return CreateColorBrush(brush, colour.colour);
  std::vector<uint8_t> dib(40 + 8 + 8 * 4, 0);
  const uint32_t header[] = {40, 8, 8};
  std::memcpy(dib.data(), header, sizeof(header));
  dib[12] = 1;  // planes
  dib[14] = 1;  // bits per pixel
  uint32_t first = colour.colour;
  uint32_t second = colour.colour;
  if ((colour.kind & kFillHasGradient) != 0 && colour.gradient.count > 0) {
    first = colour.gradient.colours[0];
    second = colour.gradient.colours[std::min<int>(colour.gradient.count - 1, 1)];
  } else if ((colour.kind & kFillHasTexture) != 0) {
    second = colour.texture.background;
  }
  PutQuad(&dib[40], first);
  PutQuad(&dib[44], second);
  for (int row = 0; row < 8; ++row) dib[48 + row * 4] = (row & 1) != 0 ? 0xFF : 0xAA;
  return brush.CreateDIBPatternBrush(dib);
}

}  // namespace

// What one stroke carries from the press to the merge.
struct CBrushTool::Stroke {
  Matrix2x3 doc_to_sub;  // D
  Matrix2x3 sub_to_doc;  // S
  Matrix2x3 client_to_doc;
  Point32 start_doc;
  Point32 last;  // sub-pixels
  BrushPolygon polygon;
  BrushRaster raster;
  CDC* dc = nullptr;
  BrushFlushTarget* target = nullptr;
  // The cursor shown before the stroke, and the pressure cursor shown
  // instead during a tablet stroke (replaced and destroyed at the end).
  HCURSOR saved = GetCursor();
  HCURSOR pressure_cursor = nullptr;
  Fixed pressure_fraction = -1;

  Stroke() = default;
  Stroke(const Stroke&) = delete;
  Stroke& operator=(const Stroke&) = delete;
  ~Stroke() {
    if (pressure_cursor == nullptr) return;
    ::SetCursor(IsCursorAlive(saved) ? saved : LoadStandardCursor(IDC_ARROW));
    ::DestroyCursor(pressure_cursor);
  }
  // A brush cursor of the pressure's fraction of the full size.
  void ShowPressure(const BrushShape& shape, int32_t pressure, int32_t range) {
    const Fixed fraction = FixedDiv(pressure, range);
    if (fraction == pressure_fraction) return;
    HCURSOR cursor = MakeBrushCursor(shape, fraction);
    if (cursor == nullptr) return;
    ::SetCursor(cursor);
    if (pressure_cursor != nullptr) ::DestroyCursor(pressure_cursor);
    pressure_cursor = cursor;
    pressure_fraction = fraction;
  }

  void Sweep(const Point32& p) {
    (void)BrushSweep(raster, polygon, last, p);  // a span that cannot be had is left out
    last = p;
  }
  void Flush() { BrushRasterFlush(raster, *target, kSubPixels, kSubPixels, true); }
};

CBrushTool::CBrushTool() {
  m_colour.colour = 0xFF0000FF;
}

CBrushTool::~CBrushTool() {
  DestroyCursor();
}

void CBrushTool::SetColorDef(const FillStyle& colour) {
  if (HasColorDef()) m_colour = colour;
}

void CBrushTool::SetSolidColor(uint32_t colour) {
  if (!HasColorDef()) return;
  m_colour = FillStyle{};
  m_colour.colour = colour;
}

void CBrushTool::SetMode(int32_t mode, bool tellBar) {
  DestroyCursor();
  m_mode = mode;
  if (mode != kBrushModeAlternate) m_lastMode = mode;
  ToolShell* shell = GetToolShell();
  ToolOptionBar* bar = shell != nullptr ? shell->GetActiveBar() : nullptr;
  if (tellBar && HasColorDef() && bar != nullptr) bar->LayoutBrushPanel(mode);
}

void CBrushTool::Reset(int32_t usePressure) {
  m_colour.colour = 0;
  m_colour.kind = kFillSolid;
  m_shape.use_pressure = usePressure;
  m_shape.size_factor = kFixedOne;
  m_gapSize = 0;
}

void CBrushTool::SetShape(const BrushShape& shape) {
  DestroyCursor();
  m_shape = shape;
}

void CBrushTool::DestroyCursor() {
  if (m_cursor == nullptr) return;
  if (GetCursor() == m_cursor) ::SetCursor(LoadCursor(kCursorArrow));
  ::DestroyCursor(m_cursor);
  m_cursor = nullptr;
}

HCURSOR CBrushTool::OwnCursor() {
  if (m_cursor == nullptr) m_cursor = MakeBrushCursor(m_shape, kFixedOne);
  return m_cursor;
}

bool CBrushTool::SetCursor(CMarlView& view, const Point32& point) {
  int id = kCursorArrow;
  if (m_mode == kBrushModeAlternate) {
    // A handle under the cursor has set its own.
    if (view.State().GetHandleMode() != kHandleNone && view.TrackHandles(point, true) != 0)
      return true;
    id = m_transformFill ? kCursorTransformFill
         : m_lockFill    ? kCursorLockFill
         : HasColorDef() ? kCursorBucket
                         : kCursorFaucet;
  } else if (view.State().GetEditDrawing() != nullptr ||
             view.State().GetTextEditObject() != nullptr || !HasColorDef()) {
    if (m_shape.use_pressure != 0) {
      id = HasColorDef() ? kCursorBrushPressure : kCursorEraserPressure;
    } else if (HCURSOR own = OwnCursor()) {
      ::SetCursor(own);
      return true;
    }
  }
  ::SetCursor(LoadCursor(id));
  return true;
}

void CBrushTool::OnToolDoubleClick(CMarlView& view) {
  if (HasColorDef()) return;
  ViewState& state = view.State();
  (void)state.RunEdit([&] {
    (void)state.SelectAll(true);  // a failure inside the edit throws
    (void)state.DeleteSelection();
  });
}

void CBrushTool::OnPress(CMarlView& view, UINT /*flags*/, int32_t x, int32_t y) {
  ViewState& state = view.State();
  Stroke s;
  state.GetClientToDocMatrix(s.client_to_doc);
  MatrixTransformPoint(s.client_to_doc, Point32{x, y}, s.start_doc);
  if (m_mode == kBrushModeAlternate) {
    PaintBucketPress(view, *this, s.start_doc);
    return;
  }
  if (state.GetEditDrawing() == nullptr && state.GetTextEditObject() == nullptr && HasColorDef()) {
    AfxMessageBox(kNoEditLayerString, MB_OK);
    return;
  }
  if (state.GetEditContext() == nullptr) return;

  CaptureScope capture(view);
  CMarlDC dc(&view);
  view.PrepareToolDC(&dc);
  CBrush brush;
  if (!MakeFeedbackBrush(brush, m_colour)) brush.CreateSolidBrush(0xFFFFFF);
  CBrush* oldBrush = dc.SelectObject(&brush);
  PatBltFlushTarget target(dc);  // a client pixel row per fourth sub-pixel row
  s.dc = &dc;
  s.target = &target;

  // Sub-pixels: four times the client resolution.
  Matrix2x3 clientToSub;
  MatrixSetScale(clientToSub, kSubPixels * kFixedOne, kSubPixels * kFixedOne);
  Matrix2x3 docToClient;
  state.GetDocToClientMatrix(docToClient);
  MatrixConcat(docToClient, clientToSub, s.doc_to_sub);
  MatrixInvert(s.doc_to_sub, s.sub_to_doc);
  const CRect client = view.GetClientRect();
  if (BuildBrushPolygon(s.polygon, m_shape, kSubPixels * kFixedOne) < 0 ||
      BrushRasterInit(s.raster, -kRasterMargin, client.Height() * kSubPixels + kRasterMargin,
                      -kRasterMargin, client.Width() * kSubPixels + kRasterMargin) < 0) {
    dc.SelectObject(oldBrush);
    throw CMemoryException();
  }
  MatrixTransformPoint(s.doc_to_sub, s.start_doc, s.last);
  s.Sweep(s.last);
  s.Flush();

  Follow(view, s);
  s.Flush();
  dc.SelectObject(oldBrush);
  ApplyStroke(view, s);
}

void CBrushTool::Follow(CMarlView& view, Stroke& s) {
  ViewPointerInput input(view);
  PointerStream stream(input, PointerStream::Device::kPenFirst, &s.doc_to_sub);
  stream.StartAt(s.last);
  // The pen's pressure scales the footprint when the tablet reports it and
  // the shape asks for it.
  const bool pressure = stream.OnPen() && view.TabletHasPressure() && m_shape.use_pressure != 0 &&
                        stream.UsePressure();
  if (stream.OnPen() && m_shape.use_pressure != 0 && !pressure) ::SetCursor(OwnCursor());
  int32_t lastPressure = -1;
  PointerEvent e;
  while (stream.Next(e)) {
    switch (e.kind) {
      case PointerEventKind::kMouse:
        if (m_shape.use_pressure != 0) ::SetCursor(OwnCursor());
        break;
      case PointerEventKind::kPoint:
        if (e.new_segment) s.last = e.point;  // not joined to the segment before
        if (pressure && e.pressure != lastPressure) {
          lastPressure = e.pressure;
          const Fixed scale = BrushPressureScale(e.pressure, 0, stream.PressureRange());
          if (BuildBrushPolygon(s.polygon, m_shape, scale) < 0) throw CMemoryException();
        }
        s.Sweep(e.point);
        if (!e.pen) s.Flush();
        break;
      case PointerEventKind::kBatch:
        s.Flush();
        if (pressure && e.packets < 3 && lastPressure >= 0)
          s.ShowPressure(m_shape, lastPressure, stream.PressureRange());
        break;
    }
  }
}

void CBrushTool::ApplyStroke(CMarlView& view, Stroke& s) {
  ViewState& state = view.State();
  CDocumentPage* page = state.GetEditContext();
  if (page == nullptr) return;
  Rect32 bounds;
  BrushRasterGetBounds(s.raster, bounds);
  if (bounds.IsEmpty()) return;
  // The painted area (one sub-pixel row and column wider) is drawn again,
  // whatever becomes of the edit.
  Rect32 doc;
  bounds.xmax += 1;
  bounds.ymax += 1;
  MatrixTransformRect(s.sub_to_doc, bounds, doc);
  state.InvalidateDocRect(&doc);
  (void)CEditTransaction::Run(*page, CDocumentPage::kEditUser, [&] {
    if (!state.MergePlainDrawings()) throw CMemoryException();

    EdgeGraph stroke;
    CheckGeometry(EdgeGraphInit(stroke));
    StyleIndex fill = kBrushEraseTag;
    if (HasColorDef()) {
      const int index = EdgeGraphAddFillStyle(stroke, m_colour);
      CheckGeometry(index);
      fill = static_cast<StyleIndex>(index);
    }
    const int32_t fitScale = std::max(MatrixScaleLength(s.client_to_doc, 2), 1) * 256;
    CheckGeometry(BrushStrokeToGraph(s.raster, s.sub_to_doc, fitScale, fill, stroke));

    if (auto* text = dynamic_cast<CPicText*>(state.GetTextEditObject())) {
      CPicShape covered;
      CheckGeometry(EdgeGraphMerge(stroke, covered.GetGeometry(), 0));
      text->EraseCoveredChars(covered);
      return;
    }
    BrushApplyOptions how;
    how.mode = m_mode;
    how.eraser = !HasColorDef();
    if (HasColorDef() && !m_lockFill) {
      how.colour = &m_colour;
      how.placer = m_placer;
    }
    if (HasColorDef()) {
      CPicShape* frame = state.GetEditFrame();
      if (frame == nullptr) return;
      CheckGeometry(ApplyBrushStroke(stroke, frame->GetGeometry(), s.start_doc, fill, how));
      frame->InvalidateBounds();
      return;
    }
    how.several_targets = true;
    CViewObjIter it(state, 0);
    while (CPicShape* frame = it.Next()) {
      CheckGeometry(ApplyBrushStroke(stroke, frame->GetGeometry(), s.start_doc, fill, how));
      frame->InvalidateBounds();
    }
  });
}

// ---- options and commands ------------------------------------------------------------

void CBrushTool::Activate(bool selected, bool updateBars, int32_t panel) {
  m_transformFill = false;
  LeaveFillTransform();
  ToolShell* shell = GetToolShell();
  if (updateBars && shell != nullptr) shell->SelectToolPanel(panel);
  if (!selected) return;
  UpdateBars(0);
  BroadcastToFrames(0);
  if (HasColorDef() && shell != nullptr) shell->ToolNotify(m_colour);
}

void CBrushTool::UpdateBars(UINT command) {
  ToolShell* shell = GetToolShell();
  if (shell == nullptr) return;
  if (ToolOptionBar* bar = shell->GetActiveBar()) SyncOptionBar(*bar, command);
  for (ToolOptionBar* bar : shell->GetOtherBars()) SyncOptionBar(*bar, command);
}

void CBrushTool::BroadcastToFrames(UINT command) {
  ToolShell* shell = GetToolShell();
  if (shell == nullptr) return;
  for (ToolOptionBar* bar : shell->GetOtherBars()) SyncOptionBar(*bar, command);
}

void CBrushTool::LeaveFillTransform() {
  ToolShell* shell = GetToolShell();
  CMarlView* view = shell != nullptr ? shell->GetCurrentView() : nullptr;
  if (view != nullptr && view->State().GetHandleMode() == kHandleFill)
    view->State().SetHandleMode(kHandleNone);
}

void CBrushTool::OnCommand(UINT command, ToolOptionBar* bar) {
  if (bar == nullptr) {
    ToolShell* shell = GetToolShell();
    bar = shell != nullptr ? shell->GetActiveBar() : nullptr;
  }
  if (HasColorDef()) {
    BrushShape shape = m_shape;
    switch (command) {
      case kCmdBucket:
        if (m_mode == kBrushModeAlternate) {
          OnCommand(kCmdPaintMode, bar);
        } else {
          SetMode(kBrushModeAlternate, true);
        }
        UpdateBars(0);
        break;
      case kCmdLockFill:
        if (bar != nullptr) m_lockFill = bar->GetLockFill();
        break;
      case kCmdTransformFill:
        if (bar != nullptr) m_transformFill = bar->GetTransformFill();
        if (!m_transformFill) LeaveFillTransform();
        break;
      case kCmdUsePressure:
        shape.use_pressure = shape.use_pressure != 0 ? 0 : 1;
        break;
      case kCmdColor:
      case kCmdFillColor: {
        FillStyle colour;
        if (bar != nullptr && bar->GetColorDef(colour)) SetColorDef(colour);
        break;
      }
      case kCmdBrushSize:
        shape.size_factor = bar != nullptr ? bar->GetBrushSize() : 10;
        break;
      case kCmdBrushShape: {
        const BrushShape from =
            bar != nullptr ? bar->GetBrushShape() : ToolOptionBar().GetBrushShape();
        shape.type = from.type;
        shape.width = from.width;
        shape.height = from.height;
        shape.slant = from.slant;
        break;
      }
      case kCmdPaintMode:
        if (bar != nullptr) SetMode(bar->GetPaintMode(), true);
        break;
      case kCmdGapSize:
        if (bar != nullptr) m_gapSize = bar->GetGapSize();
        break;
      default:
        break;
    }
    DestroyCursor();
    m_shape = shape;
  } else {
    switch (command) {
      case kCmdFaucet:
        if (m_mode == kBrushModeAlternate) {
          OnCommand(kCmdEraseMode, bar);
        } else {
          SetMode(kBrushModeAlternate, true);
        }
        UpdateBars(0);
        break;
      case kCmdEraserShape:
        if (bar != nullptr) SetShape(bar->GetEraserShape());
        break;
      case kCmdEraseMode:
        if (bar != nullptr) SetMode(bar->GetEraseMode(), true);
        break;
      default:
        break;
    }
  }
  BroadcastToFrames(command);
}

void CBrushTool::SyncOptionBar(ToolOptionBar& bar, UINT command) {
  const auto wants = [command](std::initializer_list<UINT> ids) {
    if (command == 0) return true;
    for (UINT id : ids)
      if (id == command) return true;
    return false;
  };
  if (!HasColorDef()) {
    if (wants({kCmdEraserShape}) && !(bar.GetEraserShape() == m_shape)) bar.SetEraserShape(m_shape);
    const int32_t shown = m_mode == kBrushModeAlternate ? m_lastMode : m_mode;
    if (wants({kCmdEraseMode}) && bar.GetEraseMode() != shown) bar.SetEraseMode(shown);
    const bool faucet = m_mode == kBrushModeAlternate;
    if (wants({kCmdFaucet}) && bar.GetFaucet() != faucet) bar.SetFaucet(faucet);
    return;
  }
  FillStyle shownColour;
  if (wants({kCmdColor, kCmdFillColor}) &&
      (!bar.GetColorDef(shownColour) || !FillRecordEqual(shownColour, m_colour)))
    bar.SetColorDef(m_colour);
  if (wants({kCmdBrushSize}) && bar.GetBrushSize() != m_shape.size_factor)
    bar.SetBrushSize(m_shape.size_factor);
  if (wants({kCmdBrushSize, kCmdBrushShape})) {
    const BrushShape shown = bar.GetBrushShape();
    if (shown.type != m_shape.type || shown.width != m_shape.width ||
        shown.height != m_shape.height || shown.slant != m_shape.slant)
      bar.SetBrushShape(m_shape);
  }
  const int32_t mode = m_mode == kBrushModeAlternate ? m_lastMode : m_mode;
  if (wants({kCmdPaintMode}) && bar.GetPaintMode() != mode) bar.SetPaintMode(mode);
  if (m_mode == kBrushModeAlternate && wants({kCmdGapSize}) && bar.GetGapSize() != m_gapSize)
    bar.SetGapSize(m_gapSize);
  if (wants({kCmdLockFill}) && bar.GetLockFill() != m_lockFill) bar.SetLockFill(m_lockFill);
  if (wants({kCmdTransformFill}) && bar.GetTransformFill() != m_transformFill)
    bar.SetTransformFill(m_transformFill);
}
