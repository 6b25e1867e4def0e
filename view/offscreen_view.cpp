#include "view/offscreen_view.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/qt/dc.h"
#include "render/gdi/marl_dc.h"

VM_IMPLEMENT_DYNAMIC(COffscreenView, CSScrollView)

namespace {

// Moves the bitmap's pixels by (dx, dy); what is uncovered keeps its old
// pixels. False when the move is not possible in place (pixels smaller than
// a byte, or a move as large as the bitmap): the caller redraws it all.
bool ScrollPixels(COffscreenBitmap& bitmap, int64_t dx, int64_t dy) {
  const int bpp = bitmap.BitsPerPixel();
  const int64_t w = bitmap.Width(), h = bitmap.Height();
  if (bpp < 8 || std::llabs(dx) >= w || std::llabs(dy) >= h) return false;
  const size_t bytes = static_cast<size_t>(bpp / 8);
  const size_t rowBytes = static_cast<size_t>(w - std::llabs(dx)) * bytes;
  const size_t from = static_cast<size_t>(dx < 0 ? -dx : 0) * bytes;
  const size_t to = static_cast<size_t>(dx > 0 ? dx : 0) * bytes;
  // Rows in the order that never reads a row already written.
  const int32_t rows = static_cast<int32_t>(h - std::llabs(dy));
  for (int32_t i = 0; i < rows; ++i) {
    const int32_t y = dy > 0 ? rows - 1 - i : i;  // destination row y + dy
    const int32_t src = dy > 0 ? y : y - static_cast<int32_t>(dy);
    const int32_t dst = dy > 0 ? y + static_cast<int32_t>(dy) : y;
    std::memmove(bitmap.Row(dst) + to, bitmap.Row(src) + from, rowBytes);
  }
  return true;
}

}  // namespace

COffscreenView::COffscreenView() {
  JoinPaletteViews(this);
}

COffscreenView::~COffscreenView() {
  LeavePaletteViews(this);
  m_bitmap.Free();
}

void COffscreenView::MarkDirty(const CRect& client) {
  if (client.IsRectEmpty()) return;
  const CPoint at = GetScrollPosition();
  const Area a{int64_t{client.left} + at.x, int64_t{client.top} + at.y,
               int64_t{client.right} + at.x, int64_t{client.bottom} + at.y};
  if (m_dirty.Empty()) {
    m_dirty = a;
  } else {
    m_dirty = {std::min(m_dirty.left, a.left), std::min(m_dirty.top, a.top),
               std::max(m_dirty.right, a.right), std::max(m_dirty.bottom, a.bottom)};
  }
}

void COffscreenView::InvalidateDoc(const CRect* rect) {
  if (rect == nullptr) {
    m_dirtyAll = true;
    if (GetSafeHwnd() != nullptr) Invalidate(true);
    return;
  }
  MarkDirty(*rect);
  if (GetSafeHwnd() != nullptr) InvalidateRect(rect, true);
}

CRect COffscreenView::GetDirtyClientRect() const {
  const CRect client = GetClientRect();
  if (m_dirtyAll) return client;
  if (m_dirty.Empty()) return CRect();
  const CPoint at = GetScrollPosition();
  auto clamp = [](int64_t v, int lo, int hi) {
    return static_cast<int>(std::clamp<int64_t>(v, lo, hi));
  };
  CRect r(clamp(m_dirty.left - at.x, client.left, client.right),
          clamp(m_dirty.top - at.y, client.top, client.bottom),
          clamp(m_dirty.right - at.x, client.left, client.right),
          clamp(m_dirty.bottom - at.y, client.top, client.bottom));
  return r.IsRectEmpty() ? CRect() : r;
}

int COffscreenView::UpdateOffscreen() {
  const CRect client = GetClientRect();
  const CPoint now = GetScrollPosition();
  if (m_bitmap.IsValid() &&
      (m_bitmap.Width() != client.Width() || m_bitmap.Height() != client.Height())) {
    m_bitmap.Free();  // a size change not seen through WM_SIZE
  }
  if (m_bitmap.IsValid()) {
    if (now != m_drawnScroll) {
      // The pixels move against the scroll; the strips they leave are drawn.
      const int64_t dx = int64_t{m_drawnScroll.x} - now.x, dy = int64_t{m_drawnScroll.y} - now.y;
      if (!m_dirtyAll && ScrollPixels(m_bitmap, dx, dy)) {
        const int w = client.Width(), h = client.Height();
        const int sx = static_cast<int>(dx), sy = static_cast<int>(dy);
        if (sx > 0) MarkDirty(CRect(0, 0, sx, h));
        if (sx < 0) MarkDirty(CRect(w + sx, 0, w, h));
        if (sy > 0) MarkDirty(CRect(0, 0, w, sy));
        if (sy < 0) MarkDirty(CRect(0, h + sy, w, h));
      } else {
        m_dirtyAll = true;
      }
    }
  } else {
    const CPoint origin = ClientToScreen(CPoint(0, 0));
    if (!m_bitmap.Create(
            Rect32{origin.x, origin.x + client.Width(), origin.y, origin.y + client.Height()})) {
      return 0;
    }
    m_bitmap.SetOrigin(1);
    m_dirtyAll = true;
  }
  m_drawnScroll = now;
  const CRect rect = GetDirtyClientRect();
  if (rect.IsRectEmpty()) {
    m_dirtyAll = false;
    m_dirty = Area();
    return 1;
  }
  if (!DrawPage(m_bitmap, rect)) return 0;  // stays dirty: the next paint tries again
  m_dirtyAll = false;
  m_dirty = Area();
  return 1;
}

int COffscreenView::BlitToDC(CDC* dc) {
  CRect box;
  dc->GetClipBox(&box);
  if (box.IsRectEmpty()) return 1;
  CPalette* previous = nullptr;
  CPalette* palette = GetAppPalette();
  if (palette != nullptr) {
    previous = dc->SelectPalette(palette, false);
    dc->RealizePalette();
  }
  int result = UpdateOffscreen();
  CRect show;
  if (result != 0 && show.IntersectRect(box, GetClientRect())) {
    dc->BlitOffscreen(m_bitmap, show.left, show.top, show.Width(), show.Height(), show.left,
                      show.top);
  }
  if (palette != nullptr) dc->SelectPalette(previous, false);
  return result;
}

void COffscreenView::RedrawDirtyNow() {
  if (GetSafeHwnd() == nullptr) return;
  CMarlDC dc(this);
  OnPrepareDC(&dc);
  const CRect rect = GetDirtyClientRect();
  if (UpdateOffscreen() != 0 && !rect.IsRectEmpty()) {
    dc.BlitOffscreen(m_bitmap, rect.left, rect.top, rect.Width(), rect.Height(), rect.left,
                     rect.top);
  }
}

void COffscreenView::OnDraw(CDC* dc) {
  BlitToDC(dc);
}

void COffscreenView::OnPaint() {
  CPaintDC dc(GetSurface());
  OnDraw(&dc);
}

void COffscreenView::OnSize(UINT type, int cx, int cy) {
  CSScrollView::OnSize(type, cx, cy);
  m_bitmap.Free();
}

void COffscreenView::OnDisplayChange(UINT bitsPerPixel, int cx, int cy) {
  ResetAppPalette();
  CSScrollView::OnDisplayChange(bitsPerPixel, cx, cy);
}
