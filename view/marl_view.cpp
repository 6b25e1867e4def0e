#include "view/marl_view.h"

#include <exception>

#include "model/app_services.h"
#include "model/document_page.h"
#include "model/pic_layer.h"
#include "model/pic_page.h"
#include "platform/qt/dc.h"
#include "render/gdi/app_palette.h"
#include "render/gdi/bitmap_render_context.h"
#include "view/core/frame_change.h"

VM_IMPLEMENT_DYNAMIC(CMarlView, COffscreenView)

namespace {

// Client pixels as a rectangle of the raster code (xmin, xmax, ymin, ymax).
Rect32 ToRect32(const CRect& r) {
  return Rect32{r.left, r.right, r.top, r.bottom};
}

}  // namespace

CMarlView::CMarlView() : host_(*this), state_(host_) {}

CMarlView::~CMarlView() = default;

bool CMarlView::SetEditContext(CDocumentPage* c) {
  FindChildFrame();
  return state_.SetEditContext(c);
}

void CMarlView::FindChildFrame() {
  state_.SetChildFrame(dynamic_cast<ChildFrameTimeline*>(GetParent()));
}

int CMarlView::OnCreate() {
  FindChildFrame();
  return COffscreenView::OnCreate();
}

void CMarlView::GoToFrame(int32_t frame, bool immediate) {
  FindChildFrame();
  const int32_t before = state_.GetCurrentFrame();
  immediate_ = immediate && GetSafeHwnd() != nullptr;
  state_.GoToFrame(frame);
  immediate_ = false;
  if (immediate && state_.GetCurrentFrame() != before) RedrawDirtyNow();
}

bool CMarlView::DrawPage(COffscreenBitmap& bitmap, const CRect& rect) {
  CDocumentPage* context = state_.GetEditContext();
  if (context == nullptr || state_.GetContextRoot() == nullptr) return false;
  CWaitCursorScope wait;
  const int32_t quality = state_.m_viewQuality;
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
    state_.GetDrawMatrix(m);
    rc.SetMatrix(m);
    uint32_t flags = rc.m_flags & ~(CRenderContext::kFlagFills | CRenderContext::kFlagMask);
    if (state_.m_renderSwitch != 0) flags |= CRenderContext::kFlagMask;
    if (quality > kQualityOutlines) flags |= CRenderContext::kFlagFills;
    flags |= CRenderContext::kFlagGradientClip;
    if (quality > kQualitySmooth) flags |= CRenderContext::kFlagGlyphTextFirst;
    rc.m_flags = flags;
    rc.m_currentFrame = state_.GetCurrentFrame();
    DrawContents(rc);
    rc.Flush();
  } catch (const std::exception&) {
    return false;  // the rectangle stays dirty for the next paint
  }
  return true;
}

void CMarlView::DrawContents(CRenderContext& rc) {
  rc.FillRectColor(0xFFFFFFFF);
  CPicObj* root = state_.GetContextRoot();
  for (CPicObj* child = root->GetLastChild(); child != nullptr; child = child->GetPrev()) {
    auto* layer = dynamic_cast<CPicLayer*>(child);
    if (layer == nullptr || layer->GetType() == CPicLayer::kHidden) continue;
    layer->Draw(rc);
  }
}

void CMarlView::OnDraw(CDC* dc) {
  if (state_.GetEditContext() == nullptr || BlitToDC(dc) == 0) {
    const CRect client = GetClientRect();
    dc->FillSolidRect(&client, RGB(192, 192, 192));
  }
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
  if (view_.immediate_) {
    view_.MarkDirty(rect);
  } else {
    view_.InvalidateDoc(&rect);
  }
}

void CMarlView::Host::OnFrameChange(int32_t oldFrame, int32_t newFrame) {
  auto* root = dynamic_cast<CPicPage*>(view_.state_.GetContextRoot());
  const Rect32 extent = GatherFrameChangeExtent(root, oldFrame, newFrame, view_.state_.GetOnion());
  // Mapped to client pixels and grown as every invalidated document area is.
  if (!extent.IsEmpty()) view_.state_.InvalidateDocRect(&extent);
}
