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

ViewState::ViewState(ViewHost& host) : m_host(host) {
  m_root.Init(this, 1);  // the root reports every edit of the page
  m_focus.Init(this, 0);
  m_textEdit.Init(this, 0);
  m_fillOwner.Init(this, 0);
}

ViewState::~ViewState() {
  if (CDocumentPage* c = GetEditContext()) c->UnlockUpdate();
}

// ---- edit context ----------------------------------------------------------------------

CDocumentPage* ViewState::GetEditContext() const {
  // A page deleted under the view took its tree with it, and with it the
  // reference to the root: the page pointer is not to be touched then.
  return m_root.GetTarget() != nullptr ? m_context : nullptr;
}

bool ViewState::SetEditContext(CDocumentPage* c) {
  CDocumentPage* old = GetEditContext();
  if (c == old && c == m_context) return true;
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
  const bool sideChanged = old != nullptr && c != nullptr && (m_symbolSide != 0) != toSymbol;
  if (sideChanged) SaveSide(m_symbolSide != 0 ? m_savedSymbol : m_savedPage);

  m_host.EndTextEdit();
  m_textEdit.Set(nullptr);
  ClearFocusObject();
  m_handleMode = kHandleNone;
  RectSetEmpty(m_handleRect);
  m_editedFill = 0;
  m_fillOwner.Set(nullptr);
  m_host.StopButtonHover();
  m_host.CloseInPlaceItem();
  if (old != nullptr) old->UnlockUpdate();
  m_symbolSide = toSymbol ? 1 : 0;
  m_root.Set(c != nullptr ? c->GetRoot() : nullptr);
  m_currentFrame = 0;
  m_context = c;
  if (c != nullptr && !toSymbol && m_document != nullptr) m_document->SetCurrentPage(c);
  m_host.InvalidateClient(nullptr);
  UpdateScrollSizes();

  if (c != nullptr && (sideChanged || old == nullptr)) {
    const SavedViewState* saved = GetSavedState(toSymbol);
    if (saved != nullptr && sideChanged) {
      RestoreSide(*saved, c);
    } else if (toSymbol && !m_host.IsClipView()) {
      // A symbol shown for the first time: 100 % about its origin in the
      // work area, with its tabs.
      m_layoutMode = kLayoutWorkArea;
      ShowPage();
      if (!ArePageTabsShown()) m_host.ShowPageTabs(true);
    }
  }
  // The tabs and the timeline show the new context.
  m_host.RefreshPageTabs();
  if (m_tabStrip != nullptr) m_tabStrip->ScrollToCurrent();
  if (m_childFrame != nullptr) {
    m_childFrame->SyncTimeline(0, 0);
    m_childFrame->RefreshTimeline();
  }
  return true;
}

void ViewState::InitialUpdate(bool symbolView) {
  CMarlDoc* doc = m_document;
  if (doc == nullptr) return;
  CDocumentPage* c = GetPendingEditContext();
  if (c == nullptr && symbolView) c = doc->m_symbols;
  if (c == nullptr) c = doc->m_currentPage;
  if (c == nullptr) c = doc->m_pages;
  // A page that cannot be read leaves the view without a context (grey);
  // the model has told the user why.
  if (c != nullptr && !SetEditContext(c)) c = nullptr;
  m_viewQuality = std::clamp<int32_t>(doc->m_viewQuality, kQualityOutlines, kQualitySmoothText);
  const uint8_t bits = doc->m_viewOptionBits;
  if (symbolView) {
    m_layoutMode = kLayoutFit;
  } else {
    // A floating view has no rulers, tabs or timeline of the document's.
    const bool frameWindows = !m_host.IsClipView();
    if (frameWindows) {
      if (m_childFrame != nullptr) m_childFrame->ShowTimeline((bits & 0x1) != 0);
      const bool rulers = doc->m_rulersShown != 0;
      if (rulers != AreRulersShown()) m_host.ShowRulers(rulers);
      const bool tabs = doc->m_pageTabsShown != 0;
      if (tabs != ArePageTabsShown()) m_host.ShowPageTabs(tabs);
    }
    if (IsSymbolSide()) {
      m_layoutMode = kLayoutWorkArea;
      if (frameWindows && !ArePageTabsShown()) m_host.ShowPageTabs(true);
    } else {
      m_testButtons = (bits & 0x2) != 0 ? 1 : 0;
      m_layoutMode = (bits & 0x4) != 0 ? kLayoutWorkArea : kLayoutPage;
      m_viewSettings = static_cast<uint8_t>(bits >> 4);
      if (doc->IsInPlaceActive()) m_layoutMode = kLayoutPage;
    }
  }
  if (m_layoutMode == kLayoutPage) {
    SetZoom(GetScreenPixelsPerTwip(), nullptr, 0);
  } else if (m_layoutMode == kLayoutWorkArea) {
    ShowPage();
  } else {
    UpdateScrollSizes();
  }
}

bool ViewState::SelectEditContext(bool symbolSide) {
  if (m_document == nullptr) return false;
  CDocumentPage* list = symbolSide ? m_document->m_symbols : m_document->m_pages;
  CDocumentPage* c = list;
  if (!symbolSide && m_document->m_currentPage != nullptr) c = m_document->m_currentPage;
  if (const SavedViewState* saved = GetSavedState(symbolSide)) {
    if (CDocumentPage* named = FindByName(list, saved->name)) c = named;
  }
  return c != nullptr && SetEditContext(c);
}

void ViewState::SaveSide(std::unique_ptr<SavedViewState>& saved) {
  if (saved == nullptr) saved = std::make_unique<SavedViewState>();
  SavedViewState& s = *saved;
  s.name = m_context->m_name;
  s.currentFrame = m_currentFrame;
  s.layoutMode = m_layoutMode;
  s.matrix = m_viewMatrix;
  s.scroll = m_host.GetScrollPosition();
  s.pageTabsShown = ArePageTabsShown() ? 1 : 0;
  s.rulersShown = AreRulersShown() ? 1 : 0;
  s.viewSettings = m_viewSettings;
  s.timelineShown = m_childFrame != nullptr && m_childFrame->IsTimelineShown() ? 1 : 0;
  if (s.timelineShown != 0) {
    s.splitterPos = m_childFrame->GetSplitterPos();
    s.timeline = m_childFrame->GetTrackFields();
  }
}

void ViewState::RestoreSide(const SavedViewState& s, CDocumentPage* c) {
  CDocumentPage* list = c->IsSymbol() ? m_document != nullptr ? m_document->m_symbols : nullptr
                        : m_document != nullptr ? m_document->m_pages
                                                : nullptr;
  CDocumentPage* named = FindByName(list, s.name);
  if (s.layoutMode >= kLayoutPage && s.layoutMode <= kLayoutFit) m_layoutMode = s.layoutMode;
  if (named == c) GoToFrame(s.currentFrame);
  m_viewMatrix = s.matrix;
  UpdateScrollSizes();
  m_host.ScrollToPosition(s.scroll);
  m_viewSettings = s.viewSettings;
  if ((s.rulersShown != 0) != AreRulersShown()) m_host.ShowRulers(s.rulersShown != 0);
  UpdateRulers();
  if ((s.pageTabsShown != 0) != ArePageTabsShown()) m_host.ShowPageTabs(s.pageTabsShown != 0);
  if (m_childFrame != nullptr) {
    m_childFrame->ShowTimeline(s.timelineShown != 0);
    if (s.timelineShown != 0) {
      m_childFrame->SetSplitterPos(s.splitterPos);
      m_childFrame->SetCellStyle(s.timeline.cellMode, s.timeline.cellSize);
      m_childFrame->SetDisplayOption(s.timeline.displayOption);
      m_childFrame->SetCurrentFrame(s.timeline.currentFrame, false);
      m_childFrame->SetCurrentLayer(s.timeline.currentLayer);
    }
  }
}

void ViewState::DropContext() {
  m_root.Set(nullptr);
  m_focus.Set(nullptr);
  m_textEdit.Set(nullptr);
  m_fillOwner.Set(nullptr);
  m_context = nullptr;
  m_handleMode = kHandleNone;
  RectSetEmpty(m_handleRect);
}

// ---- frames and onion skin ---------------------------------------------------------------

void ViewState::GoToFrame(int32_t frame) {
  auto* page = dynamic_cast<CPicPage*>(GetContextRoot());
  if (page == nullptr) return;
  frame = std::clamp(frame, 0, std::max(page->m_frameCount - 1, 0));
  if (frame == m_currentFrame) return;
  m_host.EndTextEdit();
  ClearFocusObject();
  m_host.OnFrameChange(m_currentFrame, frame);
  m_currentFrame = frame;
  if (m_childFrame != nullptr) m_childFrame->ShowFrame(frame);
  UpdateHighlight();
}

int32_t ViewState::GetOnionFirstFrame() const {
  return ::GetOnionFirstFrame(GetOnion(), m_currentFrame);
}

int32_t ViewState::GetOnionLastFrame() const {
  return ::GetOnionLastFrame(GetOnion(), m_currentFrame, dynamic_cast<CPicPage*>(GetContextRoot()));
}

// ---- coordinates ---------------------------------------------------------------------------

void ViewState::GetDocToClientMatrix(Matrix2x3& out) const {
  out = m_viewMatrix;
  Point32 scroll = m_host.GetScrollPosition();
  out.tx = WrapSub(out.tx, scroll.x);
  out.ty = WrapSub(out.ty, scroll.y);
}

void ViewState::GetClientToDocMatrix(Matrix2x3& out) const {
  Matrix2x3 m;
  GetDocToClientMatrix(m);
  MatrixInvert(m, out);
}

void ViewState::GetVisibleDocRect(Rect32& out) const {
  Point32 client = m_host.GetClientSize();
  Matrix2x3 m;
  GetClientToDocMatrix(m);
  MatrixTransformRect(m, Rect32{0, client.x, 0, client.y}, out);
  if (m_layoutMode == kLayoutPage && m_document != nullptr) {
    Rect32 page;
    m_document->GetMovieRect(page);
    RectIntersect(out, page, out);
  }
}

void ViewState::InvalidateDocRect(const Rect32* r) {
  Rect32 area = r != nullptr ? *r : m_workArea;
  if (area.IsEmpty()) return;
  Matrix2x3 m;
  GetDocToClientMatrix(m);
  Rect32 mapped;
  MatrixTransformRect(m, area, mapped);
  WinRect pixels{ClampCoordinate(int64_t{mapped.xmin} - kInvalidateGrowLow),
                 ClampCoordinate(int64_t{mapped.ymin} - kInvalidateGrowLow),
                 ClampCoordinate(int64_t{mapped.xmax} + kInvalidateGrowHigh),
                 ClampCoordinate(int64_t{mapped.ymax} + kInvalidateGrowHigh)};
  m_host.InvalidateClient(&pixels);
}

Fixed ViewState::GetScreenPixelsPerTwip() const {
  return FixedDiv(m_host.GetLogPixels(false), 1440);
}

// ---- zoom and scrolling ----------------------------------------------------------------------

void ViewState::PageExtent(Rect32& out) const {
  if (m_symbolSide != 0) {
    out = Rect32{-kWorkAreaMargin, kWorkAreaMargin, -kWorkAreaMargin, kWorkAreaMargin};
    return;
  }
  if (m_document != nullptr) {
    m_document->GetMovieRect(out);
  } else {
    out = Rect32{0, 1440, 0, 1440};
  }
  if (m_layoutMode == kLayoutWorkArea) {
    out = Rect32{ClampCoordinate(int64_t{out.xmin} - kWorkAreaMargin),
                 ClampCoordinate(int64_t{out.xmax} + kWorkAreaMargin),
                 ClampCoordinate(int64_t{out.ymin} - kWorkAreaMargin),
                 ClampCoordinate(int64_t{out.ymax} + kWorkAreaMargin)};
  }
}

void ViewState::SetZoom(Fixed s, const Point32* centre, Fixed v) {
  s = std::clamp(s, kZoomMin, kZoomMax);
  if (v <= 0) v = FixedMul(s, FixedDiv(m_host.GetLogPixels(true), m_host.GetLogPixels(false)));
  // Both scales stay in range: a computed or given vertical scale too.
  v = std::clamp(v, kZoomMin, kZoomMax);
  Matrix2x3 m;
  MatrixSetScale(m, s, v);
  if (m_layoutMode == kLayoutWorkArea) {
    // The work area of this mode now, not the one of the mode before, so
    // that its corner lands on device (0, 0).
    PageExtent(m_workArea);
    m.tx = FixedMul(s, WrapNeg(m_workArea.xmin));
    m.ty = FixedMul(v, WrapNeg(m_workArea.ymin));
  }
  m_viewMatrix = m;
  m_host.InvalidateClient(nullptr);
  UpdateScrollSizes();
  Point32 target;
  if (centre != nullptr) {
    Point32 mapped;
    MatrixTransformPoint(m_viewMatrix, *centre, mapped);
    Point32 client = m_host.GetClientSize();
    target = {WrapSub(mapped.x, client.x / 2), WrapSub(mapped.y, client.y / 2)};
  }
  m_host.ScrollToPosition(target);
  m_host.RefreshZoomBox();
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
    Point32 client = m_host.GetClientSize();
    Fixed sx = FixedDiv(client.x, width);
    Fixed sy = FixedDiv(client.y, height);
    if (uniform) {
      Fixed aspect = FixedDiv(m_host.GetLogPixels(false), m_host.GetLogPixels(true));
      SetZoom(std::min(sx, FixedMul(sy, aspect)), &centre, 0);
    } else {
      SetZoom(sx, &centre, sy);
    }
  }
}

void ViewState::ShowPage() {
  if (m_symbolSide != 0) {
    Point32 origin;
    SetZoom(GetScreenPixelsPerTwip(), &origin, 0);
    return;
  }
  Rect32 page{0, 1440, 0, 1440};
  if (m_document != nullptr) m_document->GetMovieRect(page);
  if (m_layoutMode == kLayoutWorkArea) RectInset(page, WrapNeg(2 * m_pixelSize));
  ZoomToRect(page, true);
}

void ViewState::ShowAll() {
  Rect32 movie{0, 1440, 0, 1440};
  if (m_document != nullptr) m_document->GetMovieRect(movie);
  Rect32 r;
  if (CPicObj* root = GetContextRoot()) root->GetBounds(r);
  if (r.IsEmpty()) {
    r = movie;
  } else {
    RectInset(r, WrapNeg(10 * m_pixelSize));
  }
  if (m_layoutMode == kLayoutPage) {
    Rect32 onPage;
    RectIntersect(r, movie, onPage);
    r = onPage;
  }
  ZoomToRect(r, true);
}

void ViewState::SetLayoutMode(int32_t mode) {
  if (mode < kLayoutPage || mode > kLayoutFit || mode == m_layoutMode) return;
  m_layoutMode = mode;
  if (mode == kLayoutWorkArea) {
    ShowPage();
  } else {
    SetZoom(GetScreenPixelsPerTwip(), nullptr, 0);
  }
}

void ViewState::UpdateScrollSizes() {
  Point32 client = m_host.GetClientSize();
  if (m_layoutMode != kLayoutFit) {
    PageExtent(m_workArea);
    Rect32 mapped;
    MatrixTransformRect(m_viewMatrix, m_workArea, mapped);
    const Fixed a = m_viewMatrix.a;
    const Fixed d = m_viewMatrix.d;
    m_zoomClass = (a <= kZoomMin || d <= kZoomMin) ? -1 : (a > 0xFFFF || d > 0xFFFF) ? 1 : 0;
    Point32 total{Clamp32(int64_t{mapped.xmax} - mapped.xmin),
                  Clamp32(int64_t{mapped.ymax} - mapped.ymin)};
    Point32 page{std::max(client.x - kScrollPageMargin, client.x / 4),
                 std::max(client.y - kScrollPageMargin, client.y / 4)};
    if (m_document != nullptr && m_document->IsInPlaceActive()) {
      total = {std::min(total.x, client.x), std::min(total.y, client.y)};
    }
    m_host.SetScrollSizes(total, page, Point32{kScrollLine, kScrollLine});
  } else {
    RectSetEmpty(m_workArea);
    if (CPicObj* root = GetContextRoot()) root->GetBounds(m_workArea);
    if (m_workArea.IsEmpty()) m_workArea = Rect32{-1440, 1440, -1440, 1440};
    m_zoomClass = 0;
    // Bars shown before go away once nothing scrolls, which changes the
    // client size: fitted once more to the client without them.
    for (int pass = 0; pass < 2; ++pass) {
      MatrixRectToRectUniform(m_workArea, Rect32{0, client.x, 0, client.y}, m_viewMatrix);
      m_host.SetScrollSizes(client, client, client);
      const Point32 now = m_host.GetClientSize();
      if (now == client) break;
      client = now;
    }
  }
  Matrix2x3 toDoc;
  GetClientToDocMatrix(toDoc);
  m_pixelSize = std::max(MatrixScaleLength(toDoc, 1), 1);
  m_pickUnit = std::max(MatrixScaleLength(toDoc, m_host.GetLogPixels(false)) / 100, m_pixelSize);
}

// ---- rulers, tabs and timeline -------------------------------------------------------------

void ViewState::SetRulers(RulerBar* horizontal, RulerBar* vertical) {
  m_rulers[0] = horizontal;
  m_rulers[1] = vertical;
  if (horizontal != nullptr && vertical != nullptr) UpdateRulers();
}

void ViewState::UpdateRulers() {
  if (m_rulers[0] == nullptr || m_rulers[1] == nullptr) return;
  Matrix2x3 m;
  GetDocToClientMatrix(m);
  const uint32_t unit = m_document != nullptr ? m_document->m_rulerUnits : 0;
  const bool unitsSet = m_document != nullptr;
  m_rulers[0]->SetOrigin(WrapSub(WrapNeg(m.tx), m_rulers[0]->GetOffsetFromView()), m.a, unit,
                         unitsSet);
  m_rulers[1]->SetOrigin(WrapSub(WrapNeg(m.ty), m_rulers[1]->GetOffsetFromView()), m.d, unit,
                         unitsSet);
}

void ViewState::SetRulerMarkers(const Rect32* r) {
  if (m_rulers[0] == nullptr || m_rulers[1] == nullptr) return;
  if (r == nullptr || r->IsEmpty()) {
    m_rulers[0]->SetMarkers(kRulerMarkerHidden, kRulerMarkerHidden);
    m_rulers[1]->SetMarkers(kRulerMarkerHidden, kRulerMarkerHidden);
    return;
  }
  m_rulers[0]->SetMarkers(r->xmin, r->xmax);
  m_rulers[1]->SetMarkers(r->ymin, r->ymax);
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
  if (m_currentFrame > lastFrame) {
    m_host.EndTextEdit();
    ClearFocusObject();
    m_currentFrame = lastFrame;
    InvalidateDocRect(nullptr);
  }
  if (m_childFrame != nullptr) {
    if (hint.changeBits & 0x1) m_childFrame->RefreshTimeline();
    if (hint.changeBits & 0x2) m_childFrame->SyncTimeline(hint.firstFrame, hint.lastFrame);
  }
}

void ViewState::ForwardFrameRange(const CExtent& hint) {
  if (m_childFrame != nullptr && (hint.changeBits & 0x2) != 0) {
    m_childFrame->SyncTimeline(hint.firstFrame, hint.lastFrame);
  }
}

void ViewState::OnObjectRemoved(CPicObj* obj) {
  if (obj == m_focus.GetTarget()) ClearFocusObject();
  if (obj == m_textEdit.GetTarget()) {
    m_textEdit.Set(nullptr);
    m_host.EndTextEdit();
  }
  if (obj == m_fillOwner.GetTarget()) EditFillOf(nullptr, 0);
  if (obj == m_root.GetTarget()) DropContext();
}
