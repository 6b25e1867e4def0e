#include "view/clip_view.h"

#include "model/pic_obj.h"
#include "platform/qt/input.h"
#include "platform/qt/sys_colors.h"

VM_IMPLEMENT_DYNAMIC(CClipView, CMarlView)
VM_IMPLEMENT_DYNAMIC(CSymbolView, CClipView)

namespace {

bool g_floatingFocusAllowed = false;

}  // namespace

void SetFloatingFocusAllowed(bool allowed) {
  g_floatingFocusAllowed = allowed;
}

bool IsFloatingFocusAllowed() {
  return g_floatingFocusAllowed;
}

// ---- clip view -----------------------------------------------------------------------------

FloatingViewFrame* CClipView::GetFloatingFrame() const {
  return dynamic_cast<FloatingViewFrame*>(GetParent());
}

void CClipView::OnInitialUpdate() {
  CMarlView::OnInitialUpdate();
  State().ShowPage();
  ResizeParentToFit(State().IsSymbolSide());
}

void CClipView::DrawLayers(CRenderContext& rc) {
  if (CPicObj* root = State().GetContextRoot()) root->Draw(rc);
}

void CClipView::OnDraw(CDC* dc) {
  const FloatingViewFrame* frame = GetFloatingFrame();
  if (frame != nullptr && frame->IsCollapsed()) {
    const CRect client = GetClientRect();
    dc->FillSolidRect(&client, GetSysColor(COLOR_BTNFACE));
    return;
  }
  CMarlView::OnDraw(dc);
}

void CClipView::OnSize(UINT type, int cx, int cy) {
  const FloatingViewFrame* frame = GetFloatingFrame();
  if (frame != nullptr && frame->IsCollapsed()) return;
  if (GetEditContext() != nullptr) FitToWindow();
  CMarlView::OnSize(type, cx, cy);
}

void CClipView::FitToWindow() {
  State().ShowPage();
}

void CClipView::OnLButtonDown(UINT /*flags*/, CPoint /*point*/) {}

void CClipView::OnLButtonDblClk(UINT /*flags*/, CPoint /*point*/) {
  ViewState& state = State();
  state.view_quality = state.view_quality == kQualitySmooth ? kQualityFast : kQualitySmooth;
  InvalidateDoc(nullptr);
}

HCURSOR CClipView::CursorAt(CPoint client) const {
  ViewHitRecord hit;
  Matrix2x3 toDoc;
  State().GetClientToDocMatrix(toDoc);
  MatrixTransformPoint(toDoc, Point32{client.x, client.y}, hit.point);
  if (GetEditContext() != nullptr && State().HitTest(hit)) return LoadCursor(kDragObjectCursor);
  return LoadStandardCursor(IDC_ARROW);
}

BOOL CClipView::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) {
  if (hitTest != HTCLIENT) return CMarlView::OnSetCursor(wnd, hitTest, message);
  SetCursor(CursorAt(ScreenToClient(GetCursorPos())));
  return 1;
}

bool CClipView::MayTakeFocus() const {
  const FloatingViewFrame* frame = GetFloatingFrame();
  return IsFloatingFocusAllowed() || (frame != nullptr && frame->IsActivating());
}

void CClipView::OnSetFocus(CWnd* oldWnd) {
  if (MayTakeFocus()) CMarlView::OnSetFocus(oldWnd);
}

// ---- symbol view ---------------------------------------------------------------------------

void CSymbolView::RefreshPageTabs() {
  CMarlView::RefreshPageTabs();
  if (FloatingViewFrame* frame = GetFloatingFrame()) frame->RefreshSymbolList();
}

void CSymbolView::FitToWindow() {
  State().ShowAll();
}

void CSymbolView::OnLButtonDblClk(UINT /*flags*/, CPoint /*point*/) {
  FloatingViewFrame* frame = GetFloatingFrame();
  if (frame != nullptr && frame->GetWindowNumber() > 0) frame->EditShownSymbol();
}

void CSymbolView::OnSetFocus(CWnd* oldWnd) {
  CClipView::OnSetFocus(oldWnd);
  if (FloatingViewFrame* frame = GetFloatingFrame()) frame->ClearActivating();
}
