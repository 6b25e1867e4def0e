#include "view/marl_view.h"

#include <QGuiApplication>
#include <QStyleHints>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <vector>

#include "geometry/path.h"
#include "geometry/point_list.h"
#include "model/app_services.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "model/pic_text.h"
#include "platform/qt/message_box.h"
#include "platform/qt/window_surface.h"
#include "render/gdi/app_palette.h"
#include "render/gdi/bitmap_render_context.h"
#include "render/gdi/gdi_render_context.h"
#include "view/core/frame_change.h"

VM_IMPLEMENT_DYNAMIC(CMarlView, COffscreenView)

namespace {

// Client pixels as a rectangle of the raster code (xmin, xmax, ymin, ymax).
Rect32 ToRect32(const CRect& r) {
  return Rect32{r.left, r.right, r.top, r.bottom};
}

// The area drawn around the clip: one inch of document units.
constexpr int32_t kBackgroundMargin = 1440;
// Dimming of everything but the focused object.
constexpr int32_t kFocusDim = 128;
// Grid lines are at least this many pixels apart (the spacing doubles).
constexpr int32_t kGridMinPixelsShift = 3;
// Feedback bounds grow by this many pixels round what was drawn.
constexpr int32_t kFeedbackMargin = 5;

// The caret's blink time in milliseconds (half of the platform's flash cycle).
UINT CaretBlinkTime() {
  const int cycle =
      QGuiApplication::instance() != nullptr ? QGuiApplication::styleHints()->cursorFlashTime() : 0;
  return cycle > 0 ? static_cast<UINT>(cycle / 2) : 530;
}

// A solid fill of one colour.
FillStyle SolidFill(uint32_t colour) {
  FillStyle fill;
  fill.colour = colour;
  return fill;
}

void FillDocRect(CRenderContext& rc, const Rect32& r, uint32_t colour) {
  if (r.IsEmpty()) return;
  PointList path;
  if (PathFromRect(path, r) < 0) return;
  const FillStyle fill = SolidFill(colour);
  rc.DrawPath(path, nullptr, &fill);
}

void DrawLine(CRenderContext& rc, const Point32& a, const Point32& b, const LineStyle& line) {
  PointList path;
  if (PointListAppend(path, a, 0) < 0 || PointListAppend(path, b, 0) < 0) return;
  rc.DrawPath(path, &line, nullptr);
}

// Grid lines over rect inside rc's clip, spacing in 16.16 document units,
// doubled until the lines are at least 8 pixels apart. Flags: bit 0
// vertical lines, bit 1 horizontal ones. Line i (from 1) lies at the
// rectangle's start + i spacings.
void DrawGrid(CRenderContext& rc, const Rect32& rect, Fixed spacing, int32_t pixelSize,
              uint32_t flags, uint32_t colour) {
  if (spacing <= 0 || rect.IsEmpty()) return;
  int64_t step = spacing;
  const int64_t least = int64_t{pixelSize} << (16 + kGridMinPixelsShift);
  while (step < least) step *= 2;
  if (step > INT32_MAX) return;
  const auto s = static_cast<Fixed>(step);
  LineStyle line;
  line.colour = colour;
  line.width = 1;
  const Rect32& clip = rc.m_docClip;
  for (const bool vertical : {true, false}) {
    if ((flags & (vertical ? 0x1u : 0x2u)) == 0) continue;
    const int32_t start = vertical ? rect.xmin : rect.ymin;
    const int32_t end =
        std::min(vertical ? rect.xmax : rect.ymax, vertical ? clip.xmax : clip.ymax);
    const int32_t clipStart = vertical ? clip.xmin : clip.ymin;
    // The lines run across the part of the rectangle inside the clip.
    const int32_t lo = std::max(vertical ? rect.ymin : rect.xmin, vertical ? clip.ymin : clip.xmin);
    const int32_t hi = std::min(vertical ? rect.ymax : rect.xmax, vertical ? clip.ymax : clip.xmax);
    if (lo >= hi) continue;
    const int64_t from = int64_t{clipStart} - start;
    int32_t i = std::max<int32_t>(
        1, FixedDiv(static_cast<int32_t>(std::clamp<int64_t>(from, INT32_MIN, INT32_MAX)), s));
    for (;; ++i) {
      const int64_t at = int64_t{start} + FixedMul(i, s);
      if (at >= end || i == INT32_MAX) break;
      const auto x = static_cast<int32_t>(at);
      if (vertical) {
        DrawLine(rc, {x, lo}, {x, hi}, line);
      } else {
        DrawLine(rc, {lo, x}, {hi, x}, line);
      }
    }
  }
}

// The matrices of o's ancestors (from the root down), for drawing o alone.
void ConcatAncestors(CRenderContext& rc, CPicObj* o) {
  std::vector<CPicObj*> chain;
  for (CPicObj* p = o->GetParent(); p != nullptr; p = p->GetParent()) chain.push_back(p);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    Matrix2x3 m;
    if ((*it)->GetMatrix(m) != 0) rc.ConcatMatrix(m);
  }
}

}  // namespace

CMarlView::CMarlView() : m_host(*this), m_state(m_host) {
  AddInputCommands();
}

CMarlView::~CMarlView() {
  CloseTabletContext();
  m_feedbackContext.reset();
  for (auto& b : m_buffers) {
    if (b && b->old != nullptr) b->dc.SelectObject(b->old);
    b.reset();
  }
}

bool CMarlView::SetEditContext(CDocumentPage* c) {
  FindChildFrame();
  return m_state.SetEditContext(c);
}

void CMarlView::FindChildFrame() {
  m_state.SetChildFrame(dynamic_cast<ChildFrameTimeline*>(GetParent()));
}

int CMarlView::OnCreate() {
  FindChildFrame();
  return COffscreenView::OnCreate();
}

void CMarlView::OnDestroy() {
  CloseTabletContext();
  if (m_feedbackActive) EndFeedback();
  ReleaseXorBuffers();
  DropTextRegion();
  if (GetActiveViewWindow() == GetSafeHwnd()) SetActiveViewWindow(nullptr);
  COffscreenView::OnDestroy();
}

void CMarlView::GoToFrame(int32_t frame, bool immediate) {
  FindChildFrame();
  const int32_t before = m_state.GetCurrentFrame();
  m_immediate = immediate && GetSafeHwnd() != nullptr;
  m_state.GoToFrame(frame);
  m_immediate = false;
  if (immediate && m_state.GetCurrentFrame() != before) RedrawDirtyNow();
}

void CMarlView::GetTabletToDocMatrix(Matrix2x3& out) const {
  LOGCONTEXTA lc{};
  const bool have =
      m_tablet != nullptr ? WTGetA(m_tablet, &lc) != 0 : WTInfoA(WTI_DEFSYSCTX, 0, &lc) != 0;
  Matrix2x3 tabletToScreen;
  if (have && lc.lcOutExtX != 0 && lc.lcOutExtY != 0) {
    // The tablet's y axis points up.
    const Fixed sx = FixedDiv(lc.lcSysExtX, lc.lcOutExtX);
    const Fixed sy = FixedDiv(lc.lcSysExtY, lc.lcOutExtY);
    tabletToScreen.a = sx;
    tabletToScreen.d = -sy;
    tabletToScreen.tx = lc.lcSysOrgX - FixedMul(lc.lcOutOrgX, sx);
    tabletToScreen.ty = lc.lcSysOrgY + lc.lcSysExtY + FixedMul(lc.lcOutOrgY, sy);
  }
  const CPoint origin = GetSafeHwnd() != nullptr ? ClientToScreen(CPoint(0, 0)) : CPoint(0, 0);
  Matrix2x3 screenToClient;
  MatrixSetTranslation(screenToClient, -origin.x, -origin.y);
  Matrix2x3 clientToDoc;
  m_state.GetClientToDocMatrix(clientToDoc);
  Matrix2x3 tabletToClient;
  MatrixConcat(tabletToScreen, screenToClient, tabletToClient);
  MatrixConcat(tabletToClient, clientToDoc, out);
}

// ---- painting ------------------------------------------------------------------------------

bool CMarlView::DrawPage(COffscreenBitmap& bitmap, const CRect& rect) {
  CDocumentPage* context = m_state.GetEditContext();
  if (context == nullptr || m_state.GetContextRoot() == nullptr) return false;
  CWaitCursorScope wait;
  const int32_t quality = m_state.view_quality;
  try {
    CBitmapRenderContext rc(&bitmap, quality > kQualityFast ? 1 : 0);
    CPalette* palette = GetAppPalette();
    if (palette != nullptr) {
      rc.m_memoryDC.SelectPalette(palette, false);
      rc.m_memoryDC.RealizePalette();
    }
    rc.m_memoryDC.IntersectClipRect(&rect);
    const Rect32 clip = ToRect32(rect);
    rc.m_scanConverter.SetTarget(&bitmap, &clip, quality > kQualityFast ? 1 : 0);
    rc.m_scanConverter.AllocBuckets();
    rc.SetClip(clip);
    rc.SetAdvancedMode();
    Matrix2x3 m;
    m_state.GetDrawMatrix(m);
    rc.SetMatrix(m);
    uint32_t flags = rc.m_flags & ~(CRenderContext::kFlagFills | CRenderContext::kFlagMask);
    if (m_state.render_switch != 0) flags |= CRenderContext::kFlagMask;
    if (quality > kQualityOutlines) flags |= CRenderContext::kFlagFills;
    flags |= CRenderContext::kFlagGradientClip;
    if (quality > kQualitySmooth) flags |= CRenderContext::kFlagGlyphTextFirst;
    rc.m_flags = flags;
    rc.m_currentFrame = m_state.GetCurrentFrame();
    DrawContents(rc);
  } catch (const std::exception&) {
    return false;  // the rectangle stays dirty for the next paint
  }
  return true;
}

void CMarlView::DrawContents(CRenderContext& rc) {
  DrawBackground(rc);
  DrawLayers(rc);
  m_state.DrawHandles(rc);
  if (m_state.IsSymbolSide()) rc.DrawHandle(Point32{0, 0}, CRenderContext::kHandleCross);
  rc.Flush();
}

void CMarlView::DrawBackground(CRenderContext& rc) {
  CMarlDoc* doc = m_state.GetDocument();
  Rect32 movie;  // empty without a document
  if (doc != nullptr) doc->GetMovieRect(movie);
  const bool fills = (rc.m_flags & CRenderContext::kFlagFills) != 0;
  const uint32_t page = fills && doc != nullptr ? doc->m_backgroundColor : 0xFFFFFFFF;
  const bool workArea = !m_state.IsSymbolSide() && m_state.GetLayoutMode() == kLayoutWorkArea;
  if (workArea) {
    rc.FillRectColor(kWorkAreaColour);
    Rect32 r = rc.m_docClip;
    RectInset(r, -kBackgroundMargin);
    if (!movie.IsEmpty()) {
      Rect32 onPage;
      RectIntersect(r, movie, onPage);
      FillDocRect(rc, onPage, page);
    }
  } else {
    rc.FillRectColor(page);
  }
  if (doc != nullptr && (doc->m_gridFlags & 0x3) != 0) {
    Rect32 area = movie;
    if (m_state.IsSymbolSide()) {
      // Anchored at the symbol's origin.
      const int32_t whole = std::max(1, doc->m_gridSpacing >> 16);
      const auto c = static_cast<int32_t>((int64_t{doc->m_gridSpacing} * (28800 / whole)) >> 16);
      area = Rect32{-c, c, -c, c};
    }
    // Plain device lines: the scan converter is detached (what it holds is
    // drawn first, so the lines lie on top of it).
    rc.Flush();
    CScanConverter* scan = rc.m_scan;
    rc.m_scan = nullptr;
    DrawGrid(rc, area, doc->m_gridSpacing, m_state.GetPixelSize(), doc->m_gridFlags,
             doc->m_gridColor);
    rc.m_scan = scan;
  }
  if (workArea && !movie.IsEmpty()) {
    LineStyle border;
    border.colour = 0xFF000000;
    border.width = 1;
    PointList path;
    if (PathFromRect(path, movie) >= 0) rc.DrawPath(path, &border, nullptr);
  }
}

void CMarlView::DrawLayers(CRenderContext& rc) {
  CPicObj* root = m_state.GetContextRoot();
  CPicObj* focus = m_state.GetFocusObject();
  CPicObj* text = m_state.GetTextEditObject();
  // The highlighted object is left out of the layers and drawn on top.
  CPicObj* highlighted = focus != nullptr ? focus : text;
  const bool dimmed = focus != nullptr;
  const int32_t current = m_state.GetCurrentFrame();
  const bool playing = m_state.playing != 0;
  const OnionSettings onion = m_state.GetOnion();
  const int32_t first = m_state.GetOnionFirstFrame();
  const int32_t last = m_state.GetOnionLastFrame();
  const int32_t baseDim = dimmed ? kFocusDim : 0;
  rc.m_skipObject = highlighted;
  const uint32_t flags = rc.m_flags;

  // One key frame at frame n, with or without its selection.
  auto draw = [&](CPicFrame* key, int32_t n, bool selection, int32_t dim, bool outlines) {
    rc.m_currentFrame = n;
    rc.m_currentKeyFrame = selection ? key : nullptr;
    rc.m_dimFactor = dim;
    if (outlines) rc.m_flags &= ~CRenderContext::kFlagFills;
    key->Draw(rc);
    rc.m_flags = (rc.m_flags & ~CRenderContext::kFlagFills) | (flags & CRenderContext::kFlagFills);
  };

  // From the back (the root's first layer) to the front, as the page draws
  // itself for printing and export.
  for (CPicObj* child = root->GetFirstChild(); child != nullptr; child = child->GetNext()) {
    auto* layer = dynamic_cast<CPicLayer*>(child);
    if (layer == nullptr || layer->GetType() == CPicLayer::kHidden) continue;
    rc.m_outlineStyle.colour = layer->GetOutlineColor();
    if (layer->GetType() == CPicLayer::kLocked) {
      if (CPicFrame* key = layer->FrameAt(current)) draw(key, current, false, baseDim, false);
    } else if (onion.On()) {
      for (CPicFrame* key = layer->FrameAt(first); key != nullptr; key = key->GetNextKeyFrame()) {
        const int32_t start = key->GetStartFrame();
        if (start > last) break;
        const bool atCurrent =
            start <= current && int64_t{current} < int64_t{start} + key->GetLength();
        if (atCurrent || (onion.flags & kOnionEditSeveral) != 0) {
          draw(key, atCurrent ? current : std::max(start, first), !dimmed, baseDim, false);
        } else if ((onion.flags & kOnionShow) != 0) {
          const int32_t n = std::max(start, first);
          const int32_t level = FixedMul(FixedDiv(n - first + 1, last - first + 1), 130) + 16;
          const bool outlines =
              (onion.flags & kOnionOutlines) != 0 || (flags & CRenderContext::kFlagFills) == 0;
          draw(key, n, false, level, outlines);
        }
      }
    } else {
      int32_t offset = 0;
      if (CPicFrame* key = layer->FrameAt(current, &offset)) {
        const bool tweenedLater = key->GetTweenKind() != CPicFrame::kTweenNone && offset != 0;
        draw(key, current, !dimmed && !playing && !tweenedLater, baseDim, false);
      }
    }
  }
  rc.m_flags = flags;
  rc.m_dimFactor = 0;
  rc.m_skipObject = nullptr;
  rc.m_currentFrame = current;
  // The focused object on top at full strength with its selection; the
  // edited text last.
  auto drawAlone = [&](CPicObj* o, bool selection, uint32_t extra) {
    CRenderState saved;
    rc.SaveState(saved);
    ConcatAncestors(rc, o);
    rc.m_currentKeyFrame = selection ? o : nullptr;
    rc.m_flags |= extra;
    o->Draw(rc);
    rc.m_flags = flags;
    rc.RestoreState(saved);
  };
  if (focus != nullptr) drawAlone(focus, true, 0);
  if (text != nullptr) drawAlone(text, false, CRenderContext::kFlagTextFrames);
  rc.m_currentKeyFrame = nullptr;
}

CRect CMarlView::ExtentClientRect() const {
  CSize total, page, line;
  GetDeviceScrollSizes(total, page, line);
  const CPoint at = GetScrollPosition();
  return CRect(-at.x, -at.y, total.cx - at.x, total.cy - at.y);
}

void CMarlView::OnPrepareDC(CDC* dc) {
  const CRect extent = ExtentClientRect();
  dc->IntersectClipRect(0, 0, extent.right, extent.bottom);
  dc->SetBrushOrg(extent.left & 7, extent.top & 7);
}

BOOL CMarlView::OnEraseBkgnd(CDC* dc) {
  const CRect client = GetClientRect();
  const CRect extent = ExtentClientRect();
  if (extent.right < client.right)
    dc->FillSolidRect(extent.right, 0, client.right - extent.right, client.bottom, kViewGrey);
  if (extent.bottom < client.bottom)
    dc->FillSolidRect(0, extent.bottom, client.right, client.bottom - extent.bottom, kViewGrey);
  if (extent.right < client.right || extent.bottom < client.bottom) {
    CGdiObject* old = dc->SelectStockObject(BLACK_PEN);
    dc->MoveTo(0, extent.bottom);
    dc->LineTo(extent.right, extent.bottom);
    dc->LineTo(extent.right, -1);
    if (old != nullptr) dc->SelectObject(static_cast<CPen*>(old));
  }
  return 1;
}

void CMarlView::OnDraw(CDC* dc) {
  if (m_state.GetEditContext() == nullptr) {
    const CRect client = GetClientRect();
    dc->FillSolidRect(&client, kViewGrey);
    return;
  }
  dc->SaveDC();
  OnPrepareDC(dc);
  const int shown = BlitToDC(dc);
  dc->RestoreDC(-1);
  if (shown == 0) {
    const CRect client = GetClientRect();
    dc->FillSolidRect(&client, kViewGrey);
    return;
  }
  if (auto* text = GetTextEditObject()) {
    int32_t a = 0, b = 0;
    text->GetSelection(a, b);
    if (a != b || m_textRegionDirty) {
      BuildTextRegion(*text);
    } else {
      DropTextRegion();
    }
    if (m_textRegionValid) InvertTextRegion(*dc);
  }
  if (!m_state.focus_rect.IsEmpty()) {
    Matrix2x3 m;
    m_state.GetDocToClientMatrix(m);
    Rect32 r;
    MatrixTransformRect(m, m_state.focus_rect, r);
    const CRect focus(r.xmin, r.ymin, r.xmax, r.ymax);
    dc->DrawFocusRect(&focus);
  }
}

void CMarlView::OnSize(UINT type, int cx, int cy) {
  // The buffers no longer match the window: the preview comes off first.
  ReleaseXorBuffers();
  COffscreenView::OnSize(type, cx, cy);
  // The scroll extent and page follow the client (a fitted view fits again).
  if (GetEditContext() != nullptr) m_state.UpdateScrollSizes();
}

void CMarlView::OnDisplayChange(UINT bitsPerPixel, int cx, int cy) {
  m_state.UpdateRulers();
  m_host.RefreshZoomBox();
  COffscreenView::OnDisplayChange(bitsPerPixel, cx, cy);
}

// ---- drag feedback ---------------------------------------------------------------------------

bool CMarlView::EnsureXorBuffers() {
  const CRect client = GetClientRect();
  const CSize size(std::max(1, client.Width()), std::max(1, client.Height()));
  if (m_buffers[0] && m_buffers[1] && size == m_bufferSize) return true;
  ReleaseXorBuffers();
  for (auto& b : m_buffers) {
    b = std::make_unique<XorBuffer>();
    if (!b->dc.CreateCompatibleDC(nullptr) || !b->bitmap.CreateBitmap(size.cx, size.cy, 1, 1)) {
      ReleaseXorBuffers();
      return false;
    }
    b->old = b->dc.SelectObject(&b->bitmap);
  }
  m_bufferSize = size;
  ClearBuffer(0);
  ClearBuffer(1);
  return true;
}

void CMarlView::ReleaseXorBuffers() {
  if (!m_buffers[0] || !m_buffers[1]) {
    m_buffers[0].reset();
    m_buffers[1].reset();
    return;
  }
  RemovePreview();
  m_feedbackContext.reset();
  for (auto& b : m_buffers) {
    if (b->old != nullptr) b->dc.SelectObject(b->old);
    b.reset();
  }
  m_bufferSize = CSize();
}

// The buffers' pixels are handled a byte (eight pixels) at a time: the
// device context's per-pixel raster operations cost several times the
// frame budget at 1920 x 1080. The pixels' meaning stays that of the blits
// they replace (white 1 clears; SRCINVERT of a 1-bit source over a colour
// window inverts where the source is 1, its background colour white).
void CMarlView::ClearBuffer(int index) {
  m_buffers[index]->bitmap.Image().fill(1);
}

void CMarlView::XorBuffers(int from, int into) {
  const QImage& source = m_buffers[from]->bitmap.Image();
  QImage& target = m_buffers[into]->bitmap.Image();
  const uchar* s = source.constBits();
  uchar* d = target.bits();
  const qsizetype n = std::min(source.sizeInBytes(), target.sizeInBytes());
  for (qsizetype i = 0; i < n; ++i) d[i] ^= s[i];
}

void CMarlView::XorOntoWindow(int index, const CRect& area) {
  CWindowSurface* surface = GetSurface();
  if (GetSafeHwnd() == nullptr || surface == nullptr) return;
  // Inside the buffer, the window and the scroll extent (as OnPrepareDC clips).
  const CRect extent = ExtentClientRect();
  CRect show;
  if (!show.IntersectRect(area, CRect(0, 0, m_bufferSize.cx, m_bufferSize.cy)) ||
      !show.IntersectRect(show, CRect(0, 0, surface->Width(), surface->Height())) ||
      !show.IntersectRect(show, CRect(0, 0, extent.right, extent.bottom))) {
    return;
  }
  const QImage& source = m_buffers[index]->bitmap.Image();
  QImage& window = surface->Image();
  for (int y = show.top; y < show.bottom; ++y) {
    const uchar* bits = source.constScanLine(y);
    auto* pixels = reinterpret_cast<uint32_t*>(window.scanLine(y));
    for (int x = show.left; x < show.right;) {
      const uchar byte = bits[x >> 3];
      if (byte == 0 && (x & 7) == 0 && x + 8 <= show.right) {
        x += 8;
        continue;
      }
      if ((byte & (0x80 >> (x & 7))) != 0) pixels[x] ^= 0x00FFFFFF;
      ++x;
    }
  }
  surface->Flush(show);
}

void CMarlView::RemovePreview() {
  if (m_feedbackBounds.IsRectEmpty()) return;
  // current is white: XORed into the other it makes the preview's pixels 1.
  const int other = 1 - m_current;
  XorBuffers(m_current, other);
  XorOntoWindow(other, m_feedbackBounds);
  ClearBuffer(other);
  m_feedbackBounds.SetRectEmpty();
}

void CMarlView::BeginFeedback() {
  if (m_feedbackActive) {
    // A gesture begun again without its end: the preview shown comes off.
    m_feedbackContext.reset();
    if (m_buffers[0] && m_buffers[1]) RemovePreview();
  } else {
    SuspendWaitCursor();
  }
  m_feedbackActive = true;
  m_current = 0;
  m_feedbackBounds.SetRectEmpty();
  if (EnsureXorBuffers()) {
    ClearBuffer(0);
    ClearBuffer(1);
  }
}

void CMarlView::BeginFeedbackFrame() {
  m_feedbackContext.reset();
  if (!m_feedbackActive || !EnsureXorBuffers()) return;
  CDC& dc = m_buffers[m_current]->dc;
  dc.SelectStockObject(BLACK_PEN);
  dc.SelectStockObject(NULL_BRUSH);
  const Rect32 clip{0, m_bufferSize.cx, 0, m_bufferSize.cy};
  m_feedbackContext = std::make_unique<CGdiRenderContext>(&dc, &clip);
  Matrix2x3 m;
  m_state.GetDocToClientMatrix(m);
  m_feedbackContext->SetMatrix(m);
  m_feedbackContext->m_flags |= CRenderContext::kFlagOutlineView;
  m_feedbackContext->m_currentFrame = m_state.GetCurrentFrame();
}

CRenderContext* CMarlView::GetFeedbackContext() {
  return m_feedbackContext.get();
}

void CMarlView::EndFeedbackFrame() {
  if (!m_feedbackContext) return;
  CGdiRenderContext& ctx = *m_feedbackContext;
  // What the gesture changed in the drawing itself (changed edges only).
  ctx.m_flags |= CRenderContext::kFlagChangedOnly;
  CViewObjIter walk(m_state, 0);
  while (CPicShape* key = walk.Next()) {
    ctx.m_currentFrame = walk.GetFrame();
    key->Draw(ctx);
  }
  // The other buffer still holds the preview on the window: it becomes the
  // difference between the two, which the XOR blit turns into the change.
  const int other = 1 - m_current;
  XorBuffers(m_current, other);
  CRect bounds;
  if (!ctx.m_drawnArea.IsEmpty()) {
    const Rect32& d = ctx.m_drawnArea;
    bounds.SetRect(d.xmin, d.ymin, d.xmax, d.ymax);
    bounds.InflateRect(kFeedbackMargin, kFeedbackMargin);
    bounds.IntersectRect(bounds, CRect(0, 0, m_bufferSize.cx, m_bufferSize.cy));
  }
  CRect area;
  area.UnionRect(m_feedbackBounds, bounds);
  XorOntoWindow(other, area);
  m_current = other;
  ClearBuffer(m_current);
  m_feedbackBounds = bounds;
  m_feedbackContext.reset();
}

void CMarlView::EndFeedback() {
  if (!m_feedbackActive) return;
  m_feedbackContext.reset();
  if (m_buffers[0] && m_buffers[1]) RemovePreview();
  m_feedbackActive = false;
  ResumeWaitCursor();
}

// ---- text editing --------------------------------------------------------------------------

CPicText* CMarlView::GetTextEditObject() const {
  return dynamic_cast<CPicText*>(m_state.GetTextEditObject());
}

void CMarlView::DropTextRegion() {
  m_textRegion.DeleteObject();
  m_textRegionValid = false;
  m_textRegionDirty = false;
}

void CMarlView::SetTextEditObject(CPicText* t) {
  CPicText* old = GetTextEditObject();
  if (t == old) return;
  try {
    if (old != nullptr) {
      const bool ok = m_state.RunEdit([&] {
        m_state.SetTextEditTarget(nullptr);
        if (old->IsBlank()) {
          old->DeleteFromParent();
        } else if (t == nullptr) {
          old->SetSelected(true);
        }
      });
      m_state.SetTextEditTarget(nullptr);
      DropTextRegion();
      if (GetSafeHwnd() != nullptr) KillTimer(kCaretTimerId);
      if (!ok) return;
    }
    if (t == nullptr) return;
    m_state.SetTextEditTarget(t);
    if (!m_state.SelectAll(false)) throw std::runtime_error("deselecting failed");
    if (GetSafeHwnd() != nullptr) {
      SetFocus();
      SetTimer(kCaretTimerId, CaretBlinkTime());
    }
    m_textRegion.DeleteObject();
    m_textRegionValid = m_textRegion.CreateRectRgn(0, 0, 0, 0);
    m_textRegionDirty = true;
  } catch (const std::exception&) {
    InvalidateDoc(nullptr);
    DropTextRegion();
    if (GetSafeHwnd() != nullptr) KillTimer(kCaretTimerId);
    m_state.SetTextEditTarget(nullptr);
  }
}

bool CMarlView::BuildTextRegion(CPicText& text) {
  Matrix2x3 m;
  m_state.GetDrawMatrix(m);
  const std::vector<Point32> polygon = text.DrawSelectionRegion(m);
  std::vector<CPoint> points;
  points.reserve(polygon.size());
  for (const Point32& p : polygon) points.emplace_back(p.x, p.y);
  m_textRegion.DeleteObject();
  m_textRegionValid =
      points.size() >= 3 &&
      m_textRegion.CreatePolygonRgn(points.data(), static_cast<int>(points.size()), ALTERNATE);
  m_textRegionDirty = false;
  return m_textRegionValid;
}

void CMarlView::InvertTextRegion(CDC& dc) {
  const int rop = dc.SetROP2(R2_NOTXORPEN);
  CGdiObject* old = dc.SelectStockObject(BLACK_BRUSH);
  dc.PaintRgn(&m_textRegion);
  if (old != nullptr) dc.SelectObject(static_cast<CBrush*>(old));
  dc.SetROP2(rop);
}

void CMarlView::ToggleCaret() {
  CPicText* text = GetTextEditObject();
  if (text == nullptr || GetSafeHwnd() == nullptr) return;
  if (GetSurface() == nullptr) return;
  CClientDC dc(GetSurface());
  if (m_textRegionValid) {
    InvertTextRegion(dc);
    DropTextRegion();
  } else if (BuildTextRegion(*text)) {
    InvertTextRegion(dc);
  }
}

void CMarlView::HideCaret() {
  CPicText* text = GetTextEditObject();
  if (text == nullptr || !m_textRegionValid || GetSafeHwnd() == nullptr) return;
  int32_t a = 0;
  int32_t b = 0;
  text->GetSelection(a, b);
  if (a != b) return;
  if (GetSurface() == nullptr) return;
  CClientDC dc(GetSurface());
  InvertTextRegion(dc);
  DropTextRegion();
}

void CMarlView::ShowCaretAgain() {
  m_textRegionDirty = true;
  InvalidateRect(nullptr, false);
}

void CMarlView::OnSetFocus(CWnd* oldWnd) {
  if (GetTextEditObject() != nullptr) SetTimer(kCaretTimerId, CaretBlinkTime());
  COffscreenView::OnSetFocus(oldWnd);
}

void CMarlView::OnKillFocus(CWnd* newWnd) {
  COffscreenView::OnKillFocus(newWnd);
  KillTimer(kCaretTimerId);
  HideCaret();
}

void CMarlView::EndTextEdit() {
  if (GetTextEditObject() != nullptr) {
    SetTextEditObject(nullptr);
    return;
  }
  // The object went away under the view.
  DropTextRegion();
  if (GetSafeHwnd() != nullptr) KillTimer(kCaretTimerId);
}

// ---- activation ----------------------------------------------------------------------------

void CMarlView::OpenTabletContext() {
  LOGCONTEXTA lc{};
  if (WTInfoA(WTI_DEFSYSCTX, 0, &lc) == 0) return;
  std::snprintf(lc.lcName, sizeof(lc.lcName), "Plindo %li", reinterpret_cast<long>(this));
  lc.lcPktData = kTabletPacketData;
  lc.lcPktMode = 0;
  lc.lcBtnUpMask = lc.lcBtnDnMask;
  m_tablet = WTOpenA(GetSafeHwnd(), &lc, 1);
  uint32_t packets = 0, cursors = 0;
  WTInfoA(WTI_DEVICES, DVC_PKTDATA, &packets);
  WTInfoA(WTI_DEVICES, DVC_CSRDATA, &cursors);
  m_tabletPressure = ((packets | cursors) & PK_NORMAL_PRESSURE) != 0;
  m_tabletOrientation = ((packets | cursors) & PK_ORIENTATION) != 0;
}

void CMarlView::CloseTabletContext() {
  if (m_tablet != nullptr) WTClose(m_tablet);
  m_tablet = nullptr;
}

void CMarlView::OnActivateView(bool activate, CView* activateView, CView* deactiveView) {
  if (!m_keepTextEdit && GetTextEditObject() != nullptr) SetTextEditObject(nullptr);
  COffscreenView::OnActivateView(activate, activateView, deactiveView);
  if (IsTabletPresent()) {
    if (!activate) {
      CloseTabletContext();
    } else if (m_tablet == nullptr) {
      OpenTabletContext();
    }
  }
  if (activate) {
    SetActiveViewWindow(GetSafeHwnd());
    if (GetSafeHwnd() != nullptr) SetFocus();
    if (CMarlDoc* doc = m_state.GetDocument()) {
      doc->m_viewQuality = static_cast<uint8_t>(m_state.view_quality);
      doc->m_rulersShown = m_state.AreRulersShown() ? 1 : 0;
      if (!m_state.IsSymbolSide()) doc->m_pageTabsShown = m_state.ArePageTabsShown() ? 1 : 0;
    }
  } else {
    if (m_feedbackActive) EndFeedback();
    ReleaseXorBuffers();
    if (GetActiveViewWindow() == GetSafeHwnd()) SetActiveViewWindow(nullptr);
  }
}

// ---- updates ---------------------------------------------------------------------------------

void CMarlView::OnInitialUpdate() {
  FindChildFrame();
  COffscreenView::OnInitialUpdate();
  m_state.InitialUpdate(IsSymbolView());
}

void CMarlView::OnUpdate(CView* /*sender*/, LPARAM /*hint*/, CObject* /*hintObject*/) {
  InvalidateDoc(nullptr);
  m_state.UpdateScrollSizes();
  m_state.UpdateRulers();
}

void CMarlView::RefreshPageTabs() {
  if (PageTabStrip* strip = m_state.GetPageTabStrip()) strip->Refresh();
}

// ---- the view state's host --------------------------------------------------------------

Point32 CMarlView::Host::GetClientSize() const {
  const CRect client = view_.GetClientRect();
  return {client.Width(), client.Height()};
}

int32_t CMarlView::Host::GetLogPixels(bool vertical) const {
  CDC dc;
  return dc.GetDeviceCaps(vertical ? LOGPIXELSY : LOGPIXELSX);
}

void CMarlView::Host::SetScrollSizes(const Point32& total, const Point32& page,
                                     const Point32& line) {
  view_.CSScrollView::SetScrollSizes(total.x, total.y, page.x, page.y, line.x, line.y);
}

Point32 CMarlView::Host::GetScrollPosition() const {
  const CPoint at = view_.GetScrollPosition();
  return {at.x, at.y};
}

void CMarlView::Host::ScrollToPosition(const Point32& position) {
  view_.ScrollToPosition(CPoint(position.x, position.y));
}

void CMarlView::Host::InvalidateClient(const WinRect* r) {
  if (r == nullptr) {
    view_.InvalidateDoc(nullptr);
    return;
  }
  const CRect rect(r->left, r->top, r->right, r->bottom);
  if (view_.m_immediate) {
    view_.MarkDirty(rect);
  } else {
    view_.InvalidateDoc(&rect);
  }
}

void CMarlView::Host::OnFrameChange(int32_t oldFrame, int32_t newFrame) {
  auto* root = dynamic_cast<CPicPage*>(view_.m_state.GetContextRoot());
  const Rect32 extent = GatherFrameChangeExtent(root, oldFrame, newFrame, view_.m_state.GetOnion());
  // Mapped to client pixels and grown as every invalidated document area is.
  if (!extent.IsEmpty()) view_.m_state.InvalidateDocRect(&extent);
}
