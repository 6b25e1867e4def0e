#include "view/core/view_state.h"

#include <algorithm>

#include "model/app_services.h"
#include "model/document.h"
#include "model/document_page.h"
#include "model/pic_page.h"

namespace {

CDocumentPage* FindByName(CDocumentPage* list, const std::string& name) {
  for (CDocumentPage* p = list; p != nullptr; p = p->m_next) {
    if (p->m_name == name) return p;
  }
  return nullptr;
}

CDocumentPage* g_pendingContext = nullptr;

}  // namespace

void SetPendingEditContext(CDocumentPage* c) {
  g_pendingContext = c;
}

CDocumentPage* GetPendingEditContext() {
  return g_pendingContext;
}

ViewState::ViewState(ViewHost& host) : host_(host) {
  root_.Init(this, 1);  // the root reports every edit of the page
  focus_.Init(this, 0);
  text_edit_.Init(this, 0);
  fill_owner_.Init(this, 0);
}

ViewState::~ViewState() {
  if (CDocumentPage* c = GetEditContext()) c->UnlockUpdate();
}

// ---- edit context ----------------------------------------------------------------------

CDocumentPage* ViewState::GetEditContext() const {
  // A page deleted under the view took its tree with it, and with it the
  // reference to the root: the page pointer is not to be touched then.
  return root_.GetTarget() != nullptr ? context_ : nullptr;
}

bool ViewState::SetEditContext(CDocumentPage* c) {
  CDocumentPage* old = GetEditContext();
  if (c == old && c == context_) return true;
  CWaitCursorScope wait;
  // The new contents first: a page that cannot be read leaves the view as
  // it was (the model has told the user why).
  if (c != nullptr) {
    c->LockUpdate();
    if (c->GetRoot() == nullptr) {
      c->UnlockUpdate();
      return false;
    }
  }
  const bool toSymbol = c != nullptr && c->IsSymbol();
  const bool sideChanged = old != nullptr && c != nullptr && (symbol_side_ != 0) != toSymbol;
  if (sideChanged) SaveSide(symbol_side_ != 0 ? saved_symbol_ : saved_page_);

  host_.EndTextEdit();
  text_edit_.Set(nullptr);
  ClearFocusObject();
  handle_mode_ = kHandleNone;
  RectSetEmpty(handle_rect_);
  edited_fill_ = 0;
  fill_owner_.Set(nullptr);
  host_.StopButtonHover();
  host_.CloseInPlaceItem();
  if (old != nullptr) old->UnlockUpdate();
  symbol_side_ = toSymbol ? 1 : 0;
  root_.Set(c != nullptr ? c->GetRoot() : nullptr);
  current_frame_ = 0;
  context_ = c;
  if (c != nullptr && !toSymbol && document_ != nullptr) document_->SetCurrentPage(c);
  host_.InvalidateClient(nullptr);
  UpdateScrollSizes();

  if (c != nullptr && (sideChanged || old == nullptr)) {
    const SavedViewState* saved = GetSavedState(toSymbol);
    if (saved != nullptr && sideChanged) {
      RestoreSide(*saved, c);
    } else if (toSymbol && !host_.IsClipView()) {
      // A symbol shown for the first time: 100 % about its origin in the
      // work area, with its tabs.
      layout_mode_ = kLayoutWorkArea;
      ShowPage();
      if (!ArePageTabsShown()) host_.ShowPageTabs(true);
    }
  }
  // The tabs and the timeline show the new context.
  host_.RefreshPageTabs();
  if (tab_strip_ != nullptr) tab_strip_->ScrollToCurrent();
  if (child_frame_ != nullptr) {
    child_frame_->SyncTimeline(0, 0);
    child_frame_->RefreshTimeline();
  }
  return true;
}

void ViewState::InitialUpdate(bool symbolView) {
  CMarlDoc* doc = document_;
  if (doc == nullptr) return;
  CDocumentPage* c = GetPendingEditContext();
  if (c == nullptr && symbolView) c = doc->m_symbols;
  if (c == nullptr) c = doc->m_currentPage;
  if (c == nullptr) c = doc->m_pages;
  // A page that cannot be read leaves the view without a context (grey);
  // the model has told the user why.
  if (c != nullptr && !SetEditContext(c)) c = nullptr;
  view_quality = std::clamp<int32_t>(doc->m_viewQuality, kQualityOutlines, kQualitySmoothText);
  const uint8_t bits = doc->m_viewOptionBits;
  if (symbolView) {
    layout_mode_ = kLayoutFit;
  } else {
    // A floating view has no rulers, tabs or timeline of the document's.
    const bool frameWindows = !host_.IsClipView();
    if (frameWindows) {
      if (child_frame_ != nullptr) child_frame_->ShowTimeline((bits & 0x1) != 0);
      const bool rulers = doc->m_rulersShown != 0;
      if (rulers != AreRulersShown()) host_.ShowRulers(rulers);
      const bool tabs = doc->m_pageTabsShown != 0;
      if (tabs != ArePageTabsShown()) host_.ShowPageTabs(tabs);
    }
    if (IsSymbolSide()) {
      layout_mode_ = kLayoutWorkArea;
      if (frameWindows && !ArePageTabsShown()) host_.ShowPageTabs(true);
    } else {
      test_buttons = (bits & 0x2) != 0 ? 1 : 0;
      layout_mode_ = (bits & 0x4) != 0 ? kLayoutWorkArea : kLayoutPage;
      view_settings = static_cast<uint8_t>(bits >> 4);
      if (doc->IsInPlaceActive()) layout_mode_ = kLayoutPage;
    }
  }
  if (layout_mode_ == kLayoutPage) {
    SetZoom(GetScreenPixelsPerTwip(), nullptr, 0);
  } else if (layout_mode_ == kLayoutWorkArea) {
    ShowPage();
  } else {
    UpdateScrollSizes();
  }
}

bool ViewState::SelectEditContext(bool symbolSide) {
  if (document_ == nullptr) return false;
  CDocumentPage* list = symbolSide ? document_->m_symbols : document_->m_pages;
  CDocumentPage* c = list;
  if (!symbolSide && document_->m_currentPage != nullptr) c = document_->m_currentPage;
  if (const SavedViewState* saved = GetSavedState(symbolSide)) {
    if (CDocumentPage* named = FindByName(list, saved->name)) c = named;
  }
  return c != nullptr && SetEditContext(c);
}

void ViewState::SaveSide(std::unique_ptr<SavedViewState>& saved) {
  if (saved == nullptr) saved = std::make_unique<SavedViewState>();
  SavedViewState& s = *saved;
  s.name = context_->m_name;
  s.current_frame = current_frame_;
  s.layout_mode = layout_mode_;
  s.matrix = view_matrix_;
  s.scroll = host_.GetScrollPosition();
  s.page_tabs_shown = ArePageTabsShown() ? 1 : 0;
  s.rulers_shown = AreRulersShown() ? 1 : 0;
  s.view_settings = view_settings;
  s.timeline_shown = child_frame_ != nullptr && child_frame_->IsTimelineShown() ? 1 : 0;
  if (s.timeline_shown != 0) {
    s.splitter_pos = child_frame_->GetSplitterPos();
    s.timeline = child_frame_->GetTrackFields();
  }
}

void ViewState::RestoreSide(const SavedViewState& s, CDocumentPage* c) {
  CDocumentPage* list = c->IsSymbol() ? document_ != nullptr ? document_->m_symbols : nullptr
                        : document_ != nullptr ? document_->m_pages
                                               : nullptr;
  CDocumentPage* named = FindByName(list, s.name);
  if (s.layout_mode >= kLayoutPage && s.layout_mode <= kLayoutFit) layout_mode_ = s.layout_mode;
  if (named == c) GoToFrame(s.current_frame);
  view_matrix_ = s.matrix;
  UpdateScrollSizes();
  host_.ScrollToPosition(s.scroll);
  view_settings = s.view_settings;
  if ((s.rulers_shown != 0) != AreRulersShown()) host_.ShowRulers(s.rulers_shown != 0);
  UpdateRulers();
  if ((s.page_tabs_shown != 0) != ArePageTabsShown()) host_.ShowPageTabs(s.page_tabs_shown != 0);
  if (child_frame_ != nullptr) {
    child_frame_->ShowTimeline(s.timeline_shown != 0);
    if (s.timeline_shown != 0) {
      child_frame_->SetSplitterPos(s.splitter_pos);
      child_frame_->SetCellStyle(s.timeline.cell_mode, s.timeline.cell_size);
      child_frame_->SetDisplayOption(s.timeline.display_option);
      child_frame_->SetCurrentFrame(s.timeline.current_frame, false);
      child_frame_->SetCurrentLayer(s.timeline.current_layer);
    }
  }
}

void ViewState::DropContext() {
  root_.Set(nullptr);
  focus_.Set(nullptr);
  text_edit_.Set(nullptr);
  fill_owner_.Set(nullptr);
  context_ = nullptr;
  handle_mode_ = kHandleNone;
  RectSetEmpty(handle_rect_);
}

// ---- frames and onion skin ---------------------------------------------------------------

void ViewState::GoToFrame(int32_t frame) {
  auto* page = dynamic_cast<CPicPage*>(GetContextRoot());
  if (page == nullptr) return;
  frame = std::clamp(frame, 0, std::max(page->m_frameCount - 1, 0));
  if (frame == current_frame_) return;
  host_.EndTextEdit();
  ClearFocusObject();
  host_.OnFrameChange(current_frame_, frame);
  current_frame_ = frame;
  if (child_frame_ != nullptr) child_frame_->ShowFrame(frame);
  UpdateHighlight();
}

int32_t ViewState::GetOnionFirstFrame() const {
  return ::GetOnionFirstFrame(GetOnion(), current_frame_);
}

int32_t ViewState::GetOnionLastFrame() const {
  return ::GetOnionLastFrame(GetOnion(), current_frame_, dynamic_cast<CPicPage*>(GetContextRoot()));
}

// ---- coordinates ---------------------------------------------------------------------------

void ViewState::GetDocToClientMatrix(Matrix2x3& out) const {
  out = view_matrix_;
  Point32 scroll = host_.GetScrollPosition();
  out.tx = WrapSub(out.tx, scroll.x);
  out.ty = WrapSub(out.ty, scroll.y);
}

void ViewState::GetClientToDocMatrix(Matrix2x3& out) const {
  Matrix2x3 m;
  GetDocToClientMatrix(m);
  MatrixInvert(m, out);
}

void ViewState::GetVisibleDocRect(Rect32& out) const {
  Point32 client = host_.GetClientSize();
  Matrix2x3 m;
  GetClientToDocMatrix(m);
  MatrixTransformRect(m, Rect32{0, client.x, 0, client.y}, out);
  if (layout_mode_ == kLayoutPage && document_ != nullptr) {
    Rect32 page;
    document_->GetMovieRect(page);
    RectIntersect(out, page, out);
  }
}

void ViewState::InvalidateDocRect(const Rect32* r) {
  Rect32 area = r != nullptr ? *r : work_area_;
  if (area.IsEmpty()) return;
  Matrix2x3 m;
  GetDocToClientMatrix(m);
  Rect32 mapped;
  MatrixTransformRect(m, area, mapped);
  WinRect pixels{ClampCoordinate(int64_t{mapped.xmin} - kInvalidateGrowLow),
                 ClampCoordinate(int64_t{mapped.ymin} - kInvalidateGrowLow),
                 ClampCoordinate(int64_t{mapped.xmax} + kInvalidateGrowHigh),
                 ClampCoordinate(int64_t{mapped.ymax} + kInvalidateGrowHigh)};
  host_.InvalidateClient(&pixels);
}

Fixed ViewState::GetScreenPixelsPerTwip() const {
  return FixedDiv(host_.GetLogPixels(false), 1440);
}

// ---- zoom and scrolling ----------------------------------------------------------------------

void ViewState::PageExtent(Rect32& out) const {
  if (symbol_side_ != 0) {
    out = Rect32{-kWorkAreaMargin, kWorkAreaMargin, -kWorkAreaMargin, kWorkAreaMargin};
    return;
  }
  if (document_ != nullptr) {
    document_->GetMovieRect(out);
  } else {
    out = Rect32{0, 1440, 0, 1440};
  }
  if (layout_mode_ == kLayoutWorkArea) {
    out = Rect32{ClampCoordinate(int64_t{out.xmin} - kWorkAreaMargin),
                 ClampCoordinate(int64_t{out.xmax} + kWorkAreaMargin),
                 ClampCoordinate(int64_t{out.ymin} - kWorkAreaMargin),
                 ClampCoordinate(int64_t{out.ymax} + kWorkAreaMargin)};
  }
}

void ViewState::SetZoom(Fixed s, const Point32* centre, Fixed v) {
  s = std::clamp(s, kZoomMin, kZoomMax);
  if (v <= 0) v = FixedMul(s, FixedDiv(host_.GetLogPixels(true), host_.GetLogPixels(false)));
  // Both scales stay in range: a computed or given vertical scale too.
  v = std::clamp(v, kZoomMin, kZoomMax);
  Matrix2x3 m;
  MatrixSetScale(m, s, v);
  if (layout_mode_ == kLayoutWorkArea) {
    // The work area of this mode now, not the one of the mode before, so
    // that its corner lands on device (0, 0).
    PageExtent(work_area_);
    m.tx = FixedMul(s, WrapNeg(work_area_.xmin));
    m.ty = FixedMul(v, WrapNeg(work_area_.ymin));
  }
  view_matrix_ = m;
  host_.InvalidateClient(nullptr);
  UpdateScrollSizes();
  Point32 target;
  if (centre != nullptr) {
    Point32 mapped;
    MatrixTransformPoint(view_matrix_, *centre, mapped);
    Point32 client = host_.GetClientSize();
    target = {WrapSub(mapped.x, client.x / 2), WrapSub(mapped.y, client.y / 2)};
  }
  host_.ScrollToPosition(target);
  host_.RefreshZoomBox();
  UpdateRulers();
}

void ViewState::ZoomToRect(const Rect32& r, bool uniform) {
  if (r.IsEmpty() || (r.xmin == r.xmax && r.ymin == r.ymax)) return;
  Point32 centre;
  RectGetHandlePoint(r, 8, centre);
  const int32_t width = Clamp32(int64_t{r.xmax} - r.xmin);
  const int32_t height = Clamp32(int64_t{r.ymax} - r.ymin);
  // The first pass can show or hide scroll bars, which changes the client
  // size the second pass fits to.
  for (int pass = 0; pass < 2; ++pass) {
    Point32 client = host_.GetClientSize();
    Fixed sx = FixedDiv(client.x, width);
    Fixed sy = FixedDiv(client.y, height);
    if (uniform) {
      Fixed aspect = FixedDiv(host_.GetLogPixels(false), host_.GetLogPixels(true));
      SetZoom(std::min(sx, FixedMul(sy, aspect)), &centre, 0);
    } else {
      SetZoom(sx, &centre, sy);
    }
  }
}

void ViewState::ShowPage() {
  if (symbol_side_ != 0) {
    Point32 origin;
    SetZoom(GetScreenPixelsPerTwip(), &origin, 0);
    return;
  }
  Rect32 page{0, 1440, 0, 1440};
  if (document_ != nullptr) document_->GetMovieRect(page);
  if (layout_mode_ == kLayoutWorkArea) RectInset(page, WrapNeg(2 * pixel_size_));
  ZoomToRect(page, true);
}

void ViewState::ShowAll() {
  Rect32 movie{0, 1440, 0, 1440};
  if (document_ != nullptr) document_->GetMovieRect(movie);
  Rect32 r;
  if (CPicObj* root = GetContextRoot()) root->GetBounds(r);
  if (r.IsEmpty()) {
    r = movie;
  } else {
    RectInset(r, WrapNeg(10 * pixel_size_));
  }
  if (layout_mode_ == kLayoutPage) {
    Rect32 onPage;
    RectIntersect(r, movie, onPage);
    r = onPage;
  }
  ZoomToRect(r, true);
}

void ViewState::SetLayoutMode(int32_t mode) {
  if (mode < kLayoutPage || mode > kLayoutFit || mode == layout_mode_) return;
  layout_mode_ = mode;
  if (mode == kLayoutWorkArea) {
    ShowPage();
  } else {
    SetZoom(GetScreenPixelsPerTwip(), nullptr, 0);
  }
}

void ViewState::UpdateScrollSizes() {
  Point32 client = host_.GetClientSize();
  if (layout_mode_ != kLayoutFit) {
    PageExtent(work_area_);
    Rect32 mapped;
    MatrixTransformRect(view_matrix_, work_area_, mapped);
    const Fixed a = view_matrix_.a;
    const Fixed d = view_matrix_.d;
    zoom_class_ = (a <= kZoomMin || d <= kZoomMin) ? -1 : (a > 0xFFFF || d > 0xFFFF) ? 1 : 0;
    Point32 total{Clamp32(int64_t{mapped.xmax} - mapped.xmin),
                  Clamp32(int64_t{mapped.ymax} - mapped.ymin)};
    Point32 page{std::max(client.x - kScrollPageMargin, client.x / 4),
                 std::max(client.y - kScrollPageMargin, client.y / 4)};
    if (document_ != nullptr && document_->IsInPlaceActive()) {
      total = {std::min(total.x, client.x), std::min(total.y, client.y)};
    }
    host_.SetScrollSizes(total, page, Point32{kScrollLine, kScrollLine});
  } else {
    RectSetEmpty(work_area_);
    if (CPicObj* root = GetContextRoot()) root->GetBounds(work_area_);
    if (work_area_.IsEmpty()) work_area_ = Rect32{-1440, 1440, -1440, 1440};
    zoom_class_ = 0;
    // Bars shown before go away once nothing scrolls, which changes the
    // client size: fitted once more to the client without them.
    for (int pass = 0; pass < 2; ++pass) {
      MatrixRectToRectUniform(work_area_, Rect32{0, client.x, 0, client.y}, view_matrix_);
      host_.SetScrollSizes(client, client, client);
      const Point32 now = host_.GetClientSize();
      if (now == client) break;
      client = now;
    }
  }
  Matrix2x3 toDoc;
  GetClientToDocMatrix(toDoc);
  pixel_size_ = std::max(MatrixScaleLength(toDoc, 1), 1);
  pick_unit_ = std::max(MatrixScaleLength(toDoc, host_.GetLogPixels(false)) / 100, pixel_size_);
}

// ---- rulers, tabs and timeline -------------------------------------------------------------

void ViewState::SetRulers(RulerBar* horizontal, RulerBar* vertical) {
  rulers_[0] = horizontal;
  rulers_[1] = vertical;
  if (horizontal != nullptr && vertical != nullptr) UpdateRulers();
}

void ViewState::UpdateRulers() {
  if (rulers_[0] == nullptr || rulers_[1] == nullptr) return;
  Matrix2x3 m;
  GetDocToClientMatrix(m);
  const uint32_t unit = document_ != nullptr ? document_->m_rulerUnits : 0;
  const bool unitsSet = document_ != nullptr;
  rulers_[0]->SetOrigin(WrapSub(WrapNeg(m.tx), rulers_[0]->GetOffsetFromView()), m.a, unit,
                        unitsSet);
  rulers_[1]->SetOrigin(WrapSub(WrapNeg(m.ty), rulers_[1]->GetOffsetFromView()), m.d, unit,
                        unitsSet);
}

void ViewState::SetRulerMarkers(const Rect32* r) {
  if (rulers_[0] == nullptr || rulers_[1] == nullptr) return;
  if (r == nullptr || r->IsEmpty()) {
    rulers_[0]->SetMarkers(kRulerMarkerHidden, kRulerMarkerHidden);
    rulers_[1]->SetMarkers(kRulerMarkerHidden, kRulerMarkerHidden);
    return;
  }
  rulers_[0]->SetMarkers(r->xmin, r->xmax);
  rulers_[1]->SetMarkers(r->ymin, r->ymax);
}

void ViewState::MarkPointOnRulers(const Point32& p) {
  Rect32 r;
  RectFromPoint(r, p);
  SetRulerMarkers(&r);
}

void ViewState::OnFramesChanged(const CExtent& hint) {
  auto* page = dynamic_cast<CPicPage*>(GetContextRoot());
  if (page == nullptr) return;
  const int32_t first = GetOnionFirstFrame();
  const int32_t last = GetOnionLastFrame();
  if (hint.empty == 0 && hint.firstFrame <= last && hint.lastFrame >= first) {
    InvalidateDocRect(&hint.rect);
  }
  const int32_t lastFrame = std::max(page->m_frameCount - 1, 0);
  if (current_frame_ > lastFrame) {
    host_.EndTextEdit();
    ClearFocusObject();
    current_frame_ = lastFrame;
    InvalidateDocRect(nullptr);
  }
  if (child_frame_ != nullptr) {
    if (hint.changeBits & 0x1) child_frame_->RefreshTimeline();
    if (hint.changeBits & 0x2) child_frame_->SyncTimeline(hint.firstFrame, hint.lastFrame);
  }
}

void ViewState::ForwardFrameRange(const CExtent& hint) {
  if (child_frame_ != nullptr && (hint.changeBits & 0x2) != 0) {
    child_frame_->SyncTimeline(hint.firstFrame, hint.lastFrame);
  }
}

void ViewState::OnObjectRemoved(CPicObj* obj) {
  if (obj == focus_.GetTarget()) ClearFocusObject();
  if (obj == text_edit_.GetTarget()) {
    text_edit_.Set(nullptr);
    host_.EndTextEdit();
  }
  if (obj == fill_owner_.GetTarget()) EditFillOf(nullptr, 0);
  if (obj == root_.GetTarget()) DropContext();
}
