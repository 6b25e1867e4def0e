#include "view/scroll_view.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "platform/qt/messages.h"

VM_IMPLEMENT_DYNAMIC(CSScrollView, CView)

namespace {

int ClampToInt(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

// The new position for one axis's action; unchanged for thumb position,
// end of scrolling and unknown codes.
int64_t ScrollTarget(UINT action, int64_t at, int pos, int line, int page) {
  switch (action) {
    case SB_LINEUP:
      return at - line;
    case SB_LINEDOWN:
      return at + line;
    case SB_PAGEUP:
      return at - page;
    case SB_PAGEDOWN:
      return at + page;
    case SB_THUMBTRACK:
      return pos;
    case SB_TOP:
      return 0;
    case SB_BOTTOM:
      return INT_MAX;
    default:
      return at;
  }
}

}  // namespace

void CSScrollView::SetScrollSizes(int totalCx, int totalCy, int pageCx, int pageCy, int lineCx,
                                  int lineCy) {
  m_total = CSize(totalCx, totalCy);
  m_page = CSize(pageCx, pageCy);
  m_line = CSize(lineCx, lineCy);
  if (GetSafeHwnd() != nullptr) UpdateBars();
}

CPoint CSScrollView::GetScrollPosition() const {
  return CPoint(GetScrollPos(SB_HORZ), GetScrollPos(SB_VERT));
}

void CSScrollView::GetDeviceScrollSizes(CSize& total, CSize& page, CSize& line) const {
  total = m_total;
  page = m_page;
  line = m_line;
}

void CSScrollView::ScrollToPosition(CPoint pt) {
  const DWORD style = GetStyle();
  const int xMax = style & WS_HSCROLL ? GetScrollLimit(SB_HORZ) : 0;
  const int yMax = style & WS_VSCROLL ? GetScrollLimit(SB_VERT) : 0;
  ScrollToDevicePosition(
      CPoint(std::clamp(pt.x, 0, std::max(0, xMax)), std::clamp(pt.y, 0, std::max(0, yMax))));
}

void CSScrollView::ScrollToDevicePosition(CPoint pt) {
  const CPoint old = GetScrollPosition();
  SetScrollPos(SB_HORZ, pt.x);
  SetScrollPos(SB_VERT, pt.y);
  // The contents follow where the bars went.
  const CPoint now = GetScrollPosition();
  if (now != old) ScrollWindow(old.x - now.x, old.y - now.y);
}

CSize CSScrollView::BarSizes() const {
  const int less = GetStyle() & WS_BORDER ? 1 : 0;
  return CSize(GetSystemMetrics(SM_CXVSCROLL) - less, GetSystemMetrics(SM_CYHSCROLL) - less);
}

bool CSScrollView::TrueClientSize(CSize& client) const {
  const CRect rect = GetClientRect();
  const CSize bars = BarSizes();
  client = CSize(rect.Width(), rect.Height());
  if (GetStyle() & WS_VSCROLL) client.cx += bars.cx;
  if (GetStyle() & WS_HSCROLL) client.cy += bars.cy;
  return client.cx > bars.cx && client.cy > bars.cy;
}

void CSScrollView::UpdateBars() {
  if (m_inUpdate) return;
  m_inUpdate = true;
  CSize client;
  bool barsInside = true;
  CRect inside;
  if (CWnd* parent = GetParent();
      parent != nullptr &&
      parent->SendMessage(WM_RECALCPARENT, 0, reinterpret_cast<LPARAM>(&inside)) != 0) {
    // The parent keeps room for the bars outside this rectangle.
    client = CSize(inside.Width(), inside.Height());
    barsInside = false;
  } else if (!TrueClientSize(client)) {
    const CRect rect = GetClientRect();
    if (rect.Width() > 0 && rect.Height() > 0) {
      ShowScrollBar(SB_HORZ, false);
      ShowScrollBar(SB_VERT, false);
    }
    m_inUpdate = false;
    return;
  }
  // Which bars: one needed in an axis takes room from the other, which may
  // then need one too.
  const CSize bars = barsInside ? BarSizes() : CSize(0, 0);
  bool needH = m_total.cx > client.cx, needV = m_total.cy > client.cy;
  for (int pass = 0; pass < 2; ++pass) {
    needV = needV || (needH && m_total.cy > client.cy - bars.cy);
    needH = needH || (needV && m_total.cx > client.cx - bars.cx);
  }
  const CSize view(client.cx - (needV ? bars.cx : 0), client.cy - (needH ? bars.cy : 0));
  const CSize range(needH ? m_total.cx - view.cx : 0, needV ? m_total.cy - view.cy : 0);
  const CPoint at = GetScrollPosition();
  ScrollToDevicePosition(CPoint(std::clamp(at.x, 0, range.cx), std::clamp(at.y, 0, range.cy)));
  const struct {
    int bar;
    bool need;
    int page;
    int total;
  } axes[] = {{SB_HORZ, needH, view.cx, m_total.cx}, {SB_VERT, needV, view.cy, m_total.cy}};
  for (const auto& a : axes) {
    ShowScrollBar(a.bar, a.need);
    if (!a.need) continue;
    SCROLLINFO info;
    info.fMask = SIF_PAGE | SIF_RANGE;
    info.nMin = 0;
    info.nMax = a.total - 1;
    info.nPage = static_cast<UINT>(a.page);
    if (!SetScrollInfo(a.bar, info)) SetScrollRange(a.bar, 0, a.total - a.page);
  }
  m_inUpdate = false;
}

void CSScrollView::ResizeParentToFit(bool shrinkOnly) {
  CWnd* frame = GetParentFrame();
  if (frame == nullptr) frame = GetParent();
  if (frame == nullptr) return;
  // The client area as it would be without bars.
  CSize client;
  const CRect window = GetWindowRect();
  client = CSize(window.Width(), window.Height());
  CSize want = m_total;
  if (shrinkOnly) {
    want.cx = std::min(want.cx, client.cx);
    want.cy = std::min(want.cy, client.cy);
  }
  const CRect frameRect = frame->GetWindowRect();
  CRect placed = frame->GetParent() != nullptr
                     ? CRect(frame->GetParent()->ScreenToClient(frameRect.TopLeft()),
                             CSize(frameRect.Width(), frameRect.Height()))
                     : frameRect;
  placed.right += want.cx - client.cx;
  placed.bottom += want.cy - client.cy;
  frame->MoveWindow(placed);
}

void CSScrollView::OnSize(UINT type, int cx, int cy) {
  CView::OnSize(type, cx, cy);
  UpdateBars();
}

void CSScrollView::OnHScroll(UINT code, UINT pos, CWnd* scrollBar) {
  if (scrollBar != nullptr) return;  // a control's own notification
  SCROLLINFO info;
  GetScrollInfo(SB_HORZ, &info, SIF_TRACKPOS);
  const int track = code == SB_THUMBTRACK ? info.nTrackPos : static_cast<int>(pos);
  OnScroll(0xFF00 | (code & 0xFF), track);
}

void CSScrollView::OnVScroll(UINT code, UINT pos, CWnd* scrollBar) {
  if (scrollBar != nullptr) return;
  SCROLLINFO info;
  GetScrollInfo(SB_VERT, &info, SIF_TRACKPOS);
  const int track = code == SB_THUMBTRACK ? info.nTrackPos : static_cast<int>(pos);
  OnScroll(0x00FF | (code & 0xFF) << 8, track);
}

bool CSScrollView::OnScroll(UINT code, int pos, bool doScroll) {
  const CPoint at = GetScrollPosition();
  const UINT h = code & 0xFF, v = code >> 8 & 0xFF;
  const int64_t x = ScrollTarget(h, at.x, pos, m_line.cx, m_page.cx);
  const int64_t y = v >= SB_ENDSCROLL ? at.y : ScrollTarget(v, at.y, pos, m_line.cy, m_page.cy);
  const bool moved = OnScrollBy(CSize(ClampToInt(x - at.x), ClampToInt(y - at.y)), doScroll);
  if (moved && doScroll) UpdateWindow();
  return moved;
}

bool CSScrollView::OnScrollBy(CSize delta, bool doScroll) {
  const DWORD style = GetStyle();
  if (!(style & WS_HSCROLL)) delta.cx = 0;
  if (!(style & WS_VSCROLL)) delta.cy = 0;
  const CPoint old = GetScrollPosition();
  const int x = ClampToInt(
      std::clamp<int64_t>(int64_t{old.x} + delta.cx, 0, std::max(0, GetScrollLimit(SB_HORZ))));
  const int y = ClampToInt(
      std::clamp<int64_t>(int64_t{old.y} + delta.cy, 0, std::max(0, GetScrollLimit(SB_VERT))));
  if (x == old.x && y == old.y) return false;
  if (!doScroll) return true;
  ScrollWindow(old.x - x, old.y - y);
  if (x != old.x) SetScrollPos(SB_HORZ, x);
  if (y != old.y) SetScrollPos(SB_VERT, y);
  return true;
}
