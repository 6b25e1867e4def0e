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
  bitmap_.Free();
}

void COffscreenView::MarkDirty(const CRect& client) {
  if (client.IsRectEmpty()) return;
  const CPoint at = GetScrollPosition();
  const Area a{int64_t{client.left} + at.x, int64_t{client.top} + at.y,
               int64_t{client.right} + at.x, int64_t{client.bottom} + at.y};
  if (dirty_.Empty()) {
    dirty_ = a;
  } else {
    dirty_ = {std::min(dirty_.left, a.left), std::min(dirty_.top, a.top),
              std::max(dirty_.right, a.right), std::max(dirty_.bottom, a.bottom)};
  }
}

void COffscreenView::InvalidateDoc(const CRect* rect) {
  if (rect == nullptr) {
    dirtyAll_ = true;
    if (GetSafeHwnd() != nullptr) Invalidate(true);
    return;
  }
  MarkDirty(*rect);
  if (GetSafeHwnd() != nullptr) InvalidateRect(rect, true);
}

CRect COffscreenView::GetDirtyClientRect() const {
  const CRect client = GetClientRect();
  if (dirtyAll_) return client;
  if (dirty_.Empty()) return CRect();
  const CPoint at = GetScrollPosition();
  auto clamp = [](int64_t v, int lo, int hi) {
    return static_cast<int>(std::clamp<int64_t>(v, lo, hi));
  };
  CRect r(clamp(dirty_.left - at.x, client.left, client.right),
          clamp(dirty_.top - at.y, client.top, client.bottom),
          clamp(dirty_.right - at.x, client.left, client.right),
          clamp(dirty_.bottom - at.y, client.top, client.bottom));
  return r.IsRectEmpty() ? CRect() : r;
}

int COffscreenView::UpdateOffscreen() {
  const CRect client = GetClientRect();
  const CPoint now = GetScrollPosition();
  if (bitmap_.IsValid() &&
      (bitmap_.Width() != client.Width() || bitmap_.Height() != client.Height())) {
    bitmap_.Free();  // a size change not seen through WM_SIZE
  }
  if (bitmap_.IsValid()) {
    if (now != drawnScroll_) {
      // The pixels move against the scroll; the strips they leave are drawn.
      const int64_t dx = int64_t{drawnScroll_.x} - now.x, dy = int64_t{drawnScroll_.y} - now.y;
      if (!dirtyAll_ && ScrollPixels(bitmap_, dx, dy)) {
        const int w = client.Width(), h = client.Height();
        const int sx = static_cast<int>(dx), sy = static_cast<int>(dy);
        if (sx > 0) MarkDirty(CRect(0, 0, sx, h));
        if (sx < 0) MarkDirty(CRect(w + sx, 0, w, h));
        if (sy > 0) MarkDirty(CRect(0, 0, w, sy));
        if (sy < 0) MarkDirty(CRect(0, h + sy, w, h));
      } else {
        dirtyAll_ = true;
      }
    }
  } else {
    const CPoint origin = ClientToScreen(CPoint(0, 0));
    if (!bitmap_.Create(
            Rect32{origin.x, origin.x + client.Width(), origin.y, origin.y + client.Height()})) {
      return 0;
    }
    bitmap_.SetOrigin(1);
    dirtyAll_ = true;
  }
  drawnScroll_ = now;
  const CRect rect = GetDirtyClientRect();
  if (rect.IsRectEmpty()) {
    dirtyAll_ = false;
    dirty_ = Area();
    return 1;
  }
  if (!DrawPage(bitmap_, rect)) return 0;  // stays dirty: the next paint tries again
  dirtyAll_ = false;
  dirty_ = Area();
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
    dc->BlitOffscreen(bitmap_, show.left, show.top, show.Width(), show.Height(), show.left,
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
    dc.BlitOffscreen(bitmap_, rect.left, rect.top, rect.Width(), rect.Height(), rect.left,
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
  bitmap_.Free();
}

void COffscreenView::OnDisplayChange(UINT bitsPerPixel, int cx, int cy) {
  ResetAppPalette();
  CSScrollView::OnDisplayChange(bitsPerPixel, cx, cy);
}
