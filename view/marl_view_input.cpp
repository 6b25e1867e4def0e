// The drawing view's input: presses through the current tool (or a button
// in test-buttons mode, or the pen's special tool), the keys, the
// spring-loaded tools, typing in batches, nudges, WaitDragOrHold, the
// context menu, the cursor, the view's commands and its timers.
#include <algorithm>
#include <vector>

#include "model/document.h"
#include "model/edit_transaction.h"
#include "model/pic_symbol.h"
#include "model/pic_text.h"
#include "platform/qt/input.h"
#include "platform/qt/menu.h"
#include "platform/qt/message_box.h"
#include "view/draw_tool.h"
#include "view/marl_view.h"

namespace {

// Posted to the view to insert what was typed: every character queued
// before it arrives is in the batch.
constexpr UINT kTypedMessage = WM_USER + 0x130;

}  // namespace

CPicText* CMarlView::TypingTarget() const {
  return dynamic_cast<CPicText*>(m_state.GetTextEditObject());
}

bool CMarlView::IsInWorkArea(CPoint p) const {
  Matrix2x3 m;
  m_state.GetDocToClientMatrix(m);
  Rect32 r;
  MatrixTransformRect(m, m_state.GetWorkArea(), r);
  const CRect client = GetClientRect();
  return p.x >= std::max(r.xmin, client.left) && p.x < std::min(r.xmax, client.right) &&
         p.y >= std::max(r.ymin, client.top) && p.y < std::min(r.ymax, client.bottom);
}

bool CMarlView::IsButtonStillDown() {
  return ::IsButtonStillDown(GetSafeHwnd());
}

int32_t CMarlView::WaitDragOrHold(const Point32& start) {
  const uint32_t began = GetTickCount();
  Matrix2x3 toDoc;
  m_state.GetClientToDocMatrix(toDoc);
  for (;;) {
    const bool down = IsButtonStillDown();
    const CPoint client = ScreenToClient(GetCursorPos());
    Point32 point;
    MatrixTransformPoint(toDoc, Point32{client.x, client.y}, point);
    const int32_t r =
        DragOrHoldStep(start, point, GetTickCount() - began, down, m_state.GetPickUnit());
    if (r != kWaitPending) return r;
  }
}

void CMarlView::OnLButtonDown(UINT flags, CPoint point) {
  FlushTyping();
  m_state.SetRulerMarkers(nullptr);
  if (::GetFocus() != GetSafeHwnd()) SetFocus();
  if (IsInWorkArea(point)) {
    CDrawTool* special = m_tools != nullptr ? m_tools->GetSpecialTool() : nullptr;
    if (special != nullptr && IsSpecialToolActive()) {
      special->OnPress(*this, flags, point.x, point.y);
    } else if (CPicButton* button = ButtonAt(point)) {
      TrackButton(button);
    } else if (CDrawTool* tool = m_tools != nullptr ? m_tools->GetCurrentTool() : nullptr) {
      tool->OnPress(*this, flags, point.x, point.y);
    }
  }
  FlushTabletQueue();
}

void CMarlView::OnLButtonDblClk(UINT flags, CPoint point) {
  FlushTyping();
  if (IsInWorkArea(point)) {
    CDrawTool* special = m_tools != nullptr ? m_tools->GetSpecialTool() : nullptr;
    if (special != nullptr && IsSpecialToolActive()) {
      special->OnDoubleClick(*this, flags, point.x, point.y);
    } else if (ButtonAt(point) == nullptr) {
      if (CDrawTool* tool = m_tools != nullptr ? m_tools->GetCurrentTool() : nullptr)
        tool->OnDoubleClick(*this, flags, point.x, point.y);
    }
  }
  FlushTabletQueue();
}

void CMarlView::OnLButtonUp(UINT flags, CPoint point) {
  FlushTabletQueue();
  COffscreenView::OnLButtonUp(flags, point);
}

bool CMarlView::PreTranslateMessage(MSG* msg) {
  // Control+1 and Control+2 edit the text being typed into before the
  // accelerators see them.
  if (msg->message == WM_KEYDOWN && TypingTarget() != nullptr &&
      IsTextEditKey(static_cast<int>(msg->wParam), GetAsyncKeyState(VK_CONTROL) != 0)) {
    OnKeyDown(static_cast<UINT>(msg->wParam), 1, 0);
    return true;
  }
  return COffscreenView::PreTranslateMessage(msg);
}

void CMarlView::OnKeyDown(UINT ch, UINT repCnt, UINT flags) {
  FlushTyping();
  const bool control = GetAsyncKeyState(VK_CONTROL) != 0;
  const bool shift = GetAsyncKeyState(VK_SHIFT) != 0;
  const int vk = static_cast<int>(ch);
  if (CPicText* text = TypingTarget()) {
    if (vk == VK_ESCAPE) {
      EndTextEditOrDeselect();
    } else if (!TextKey(*text, TextKeyDownAction(vk, control, shift))) {
      COffscreenView::OnKeyDown(ch, repCnt, flags);
    }
    return;
  }
  const ViewKeyAction a = ViewKeyDownAction(vk, control);
  CMarlDoc* doc = m_state.GetDocument();
  int32_t pageStep = 0;
  switch (a.command) {
    case ViewKeyCommand::kUpdateCursor:
      UpdateCursor(true);
      break;
    case ViewKeyCommand::kEscape:
      EndTextEditOrDeselect();
      break;
    case ViewKeyCommand::kPlay:
      if (m_playback != nullptr) m_playback->OnPlay();
      break;
    case ViewKeyCommand::kPreviousPage:
      pageStep = -1;
      break;
    case ViewKeyCommand::kNextPage:
      pageStep = 1;
      break;
    case ViewKeyCommand::kFirstPage:
      pageStep = kFirstPage;
      break;
    case ViewKeyCommand::kLastPage:
      pageStep = kLastPage;
      break;
    case ViewKeyCommand::kDeleteSelection:
      (void)m_state.DeleteSelection();
      break;
    case ViewKeyCommand::kSpringLasso:
    case ViewKeyCommand::kSpringArrow:
      if (m_tools != nullptr) {
        const bool lasso = a.command == ViewKeyCommand::kSpringLasso;
        m_spring.Press(*m_tools, lasso ? kToolLasso : kToolArrow,
                       lasso ? kPanelLasso : kPanelArrow);
      }
      break;
    case ViewKeyCommand::kNudge:
      (void)NudgeSelection(m_state, a.dx, a.dy);
      break;
    default:
      COffscreenView::OnKeyDown(ch, repCnt, flags);
      break;
  }
  if (pageStep != 0) {
    StopPlaying();
    CDocumentPage* to = doc != nullptr ? PageAt(*doc, GetEditContext(), pageStep) : nullptr;
    if (to != nullptr && to != GetEditContext()) (void)SetEditContext(to);
  }
}

void CMarlView::EndTextEditOrDeselect() {
  StopPlaying();
  if (GetTextEditObject() != nullptr) {
    SetTextEditObject(nullptr);
  } else {
    (void)m_state.SelectAll(false);
    ChildFrameTimeline* frame = m_state.GetChildFrame();
    if (frame != nullptr && frame->IsTimelineShown()) frame->RedrawCurrentFrame();
  }
  m_host.CloseInPlaceItem();
}

bool CMarlView::TextKey(CPicText& text, const TextKeyAction& a) {
  CDocumentPage* page = m_state.GetEditContext();
  if (page == nullptr || a.command == TextKeyCommand::kDefault) return false;
  (void)CEditTransaction::Run(*page, a.kind, [&] {
    int32_t start = 0;
    int32_t end = 0;
    text.GetSelection(start, end);
    switch (a.command) {
      case TextKeyCommand::kDelete:
        if (start == end) text.MoveCaret(a.arg, 1);
        text.DeleteSelection();
        break;
      case TextKeyCommand::kCaret:
        text.MoveCaret(a.arg, a.extend ? 1 : 0);
        break;
      case TextKeyCommand::kSpacing: {
        // Half a screen pixel in the text's own units.
        Matrix2x3 m;
        text.GetMatrix(m);
        const Fixed scale = std::max<Fixed>(m.a, 1);
        CTextStyle style{};
        style.letterSpacing =
            static_cast<int16_t>(a.arg * std::max(FixedDiv(m_state.GetPixelSize(), scale) / 2, 1));
        style.fontFlag = 0;
        if (start == end) text.SetSelection(std::max(start - 1, 0), start);
        text.ApplyStyle(style, kSpacingAddMask, 1);
        if (start == end) text.SetSelection(start, end);
        break;
      }
      case TextKeyCommand::kSpacingReset:
      case TextKeyCommand::kFontFlag: {
        CTextStyle style{};
        style.letterSpacing = 0;
        style.fontFlag = static_cast<uint8_t>(a.command == TextKeyCommand::kFontFlag ? a.arg : 0);
        text.ApplyStyle(style, kSpacingSetMask, 1);
        break;
      }
      case TextKeyCommand::kDefault:
        break;
    }
  });
  ShowCaretAgain();
  return true;
}

void CMarlView::OnKeyUp(UINT ch, UINT repCnt, UINT flags) {
  if ((ch == VK_TAB || ch == VK_SPACE) && m_tools != nullptr) {
    m_spring.Release(*m_tools);
    return;
  }
  if (ch == VK_SHIFT || ch == VK_CONTROL) {
    UpdateCursor(true);
    return;
  }
  COffscreenView::OnKeyUp(ch, repCnt, flags);
}

void CMarlView::OnChar(UINT ch, UINT repCnt, UINT flags) {
  if (TypingTarget() != nullptr) {
    if (!IsTypedChar(ch)) return;  // Backspace and the like come as keys
    m_typed.push_back(static_cast<uint16_t>(ch));
    if (!m_typingPosted) m_typingPosted = PostMessage(kTypedMessage);
    return;
  }
  const CharAction a = ToolLetterAction(ch);
  switch (a.command) {
    case CharCommand::kTool:
      if (m_tools != nullptr) m_tools->SetCurrentTool(a.tool_type, a.panel, a.mode);
      break;
    case CharCommand::kStepBack:
    case CharCommand::kStepForward:
      GoToFrame(GetCurrentFrame() + (a.command == CharCommand::kStepForward ? 1 : -1), true);
      break;
    case CharCommand::kNone:
      COffscreenView::OnChar(ch, repCnt, flags);
      break;
  }
}

void CMarlView::FlushTyping() {
  CPicText* text = TypingTarget();
  CDocumentPage* page = m_state.GetEditContext();
  if (text == nullptr || page == nullptr) {
    m_typed.clear();
    return;
  }
  if (m_typed.empty()) return;
  HideCaret();
  while (!m_typed.empty()) {
    const std::string batch = TakeTypingBatch(m_typed, TypingCodePage(*text));
    if (batch.empty() || !TypeIntoText(*page, *text, batch)) {
      m_typed.clear();  // a failed insertion was reported; what followed it goes too
      break;
    }
  }
  ShowCaretAgain();
}

LRESULT CMarlView::WindowProc(UINT message, WPARAM w, LPARAM l) {
  if (message == kTypedMessage) {
    m_typingPosted = false;
    FlushTyping();
    return 0;
  }
  return COffscreenView::WindowProc(message, w, l);
}

// ---- commands ----------------------------------------------------------------------------

namespace {

constexpr uint32_t kCmdWorkArea = 33110;
constexpr uint32_t kCmdEditCenterPoint = 33111;
constexpr uint32_t kCmdTestButtons = 33131;
constexpr uint32_t kCmdInsertObject = 57856;
// "Failed to create object.  Make sure the object is entered in the system registry."
constexpr UINT kIdsCreateFailed = 102;
// Bits of the document's view options that follow the view.
constexpr uint8_t kViewBitTestButtons = 0x2;
constexpr uint8_t kViewBitWorkArea = 0x4;

void SetViewBit(CMarlDoc* doc, uint8_t bit, bool on) {
  if (doc == nullptr) return;
  doc->m_viewOptionBits =
      static_cast<uint8_t>(on ? doc->m_viewOptionBits | bit : doc->m_viewOptionBits & ~bit);
}

}  // namespace

void CMarlView::AddInputCommands() {
  AddCommand(kCmdWorkArea, [this] {
    const bool on = m_state.GetLayoutMode() != kLayoutWorkArea;
    m_state.SetLayoutMode(on ? kLayoutWorkArea : kLayoutPage);
    SetViewBit(m_state.GetDocument(), kViewBitWorkArea, on);
  });
  AddUpdate(kCmdWorkArea, [this](CCmdUI* ui) {
    ui->Enable(!m_state.IsSymbolSide());
    ui->SetCheck(m_state.GetLayoutMode() == kLayoutWorkArea ? 1 : 0);
  });
  AddCommand(kCmdEditCenterPoint, [this] {
    CPicObj* single = m_state.GetSingleSelected();
    if (single == nullptr || m_state.GetHandleMode() == kHandleCenter) {
      m_state.SetHandleMode(kHandleNone);
      return;
    }
    if (m_tools != nullptr) m_tools->SetCurrentTool(kToolArrow, kPanelArrow, kToolLastMode);
    if (!single->HasCenter()) {
      Point32 centre;
      single->GetCenter(centre);  // the middle of its bounds
      if (!m_state.RunEdit([&] { single->SetCenter(&centre); })) return;
    }
    m_state.SetHandleMode(kHandleCenter);
  });
  AddUpdate(kCmdEditCenterPoint, [this](CCmdUI* ui) {
    ui->Enable(m_state.GetSingleSelected() != nullptr);
    ui->SetCheck(m_state.GetHandleMode() == kHandleCenter ? 1 : 0);
  });
  AddCommand(kCmdTestButtons, [this] {
    ClearButtonHover();
    m_state.test_buttons = m_state.test_buttons != 0 ? 0 : 1;
    SetViewBit(m_state.GetDocument(), kViewBitTestButtons, m_state.test_buttons != 0);
  });
  AddUpdate(kCmdTestButtons, [this](CCmdUI* ui) {
    ui->Enable(!m_state.IsSymbolSide());
    ui->SetCheck(!m_state.IsSymbolSide() && m_state.test_buttons != 0 ? 1 : 0);
  });
  // No program here serves objects to embed: creating one always fails, and
  // says so; the drawing is left as it was.
  AddCommand(kCmdInsertObject, [] { AfxMessageBox(kIdsCreateFailed, MB_ICONEXCLAMATION); });
  AddUpdate(kCmdInsertObject,
            [this](CCmdUI* ui) { ui->Enable(m_state.GetEditFrame() != nullptr); });
}

void CMarlView::OnRButtonUp(UINT /*flags*/, CPoint point) {
  FlushTyping();
  const int id = ContextMenuFor(TypingTarget() != nullptr, ContextSelectionBits(m_state));
  CMenu menu;
  if (!menu.LoadMenu(static_cast<UINT>(id))) return;
  CMenu* popup = menu.GetSubMenu(0);
  if (popup == nullptr) return;
  // Tracking brings every item up to date through the view's handlers first.
  const CPoint screen = ClientToScreen(point);
  popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, this);
}

// ---- cursor ------------------------------------------------------------------------------

BOOL CMarlView::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) {
  if (hitTest == HTCLIENT && UpdateCursor(false)) return 1;
  return COffscreenView::OnSetCursor(wnd, hitTest, message);
}

bool CMarlView::UpdateCursor(bool checkWindow) {
  const CPoint client = ScreenToClient(GetCursorPos());
  const Point32 point = GetCursorDocPoint();
  CursorSituation s;
  s.feedback_active = m_feedbackActive;
  s.in_place_active = m_state.GetDocument() != nullptr && m_state.GetDocument()->IsInPlaceActive();
  s.window_checked = checkWindow;
  s.window_is_view = GetClientRect().PtInRect(client);
  s.in_work_area = IsInWorkArea(client);
  s.special_tool_active = s.in_work_area && IsSpecialToolActive();
  s.over_test_button = s.in_work_area && ButtonAt(client) != nullptr;
  CDrawTool* tool = nullptr;
  switch (DecideCursor(s)) {
    case CursorChoice::kKeep:
      return true;
    case CursorChoice::kNone:
    case CursorChoice::kDecline:
      return false;
    case CursorChoice::kTestButton:
      SetViewCursor(ViewCursor::kTestButton);
      return true;
    case CursorChoice::kSpecialTool:
      tool = m_tools != nullptr ? m_tools->GetSpecialTool() : nullptr;
      break;
    case CursorChoice::kCurrentTool:
      tool = m_tools != nullptr ? m_tools->GetCurrentTool() : nullptr;
      break;
  }
  return tool != nullptr && tool->SetCursor(*this, point);
}

// ---- test-buttons mode -------------------------------------------------------------------

namespace {

// What a button's action changes: this view's frames, pages, quality and
// playback.
class ViewButtonTarget : public ButtonActionTarget {
 public:
  explicit ViewButtonTarget(CMarlView& view) : view_(view) {}
  void Play() override { view_.StartPlaying(); }
  void Stop() override { view_.StopPlaying(); }
  int32_t GetCurrentFrame() const override { return view_.GetCurrentFrame(); }
  void GoToFrame(int32_t frame) override { view_.GoToFrame(frame, true); }
  CDocumentPage* GetAdjacentPage(bool next) const override {
    const CMarlDoc* doc = view_.State().GetDocument();
    return doc != nullptr ? PageAt(*doc, view_.GetEditContext(), next ? 1 : -1) : nullptr;
  }
  CDocumentPage* FindPage(const std::string& name) const override {
    const CMarlDoc* doc = view_.State().GetDocument();
    return doc != nullptr ? FindPageByName(*doc, name) : nullptr;
  }
  void SetEditContext(CDocumentPage* page) override { (void)view_.SetEditContext(page); }
  int32_t GetViewQuality() const override { return view_.State().view_quality; }
  void SetViewQuality(int32_t quality) override {
    view_.State().view_quality = quality;
    if (CMarlDoc* doc = view_.State().GetDocument())
      doc->m_viewQuality = static_cast<uint8_t>(quality);
    view_.InvalidateDocRect(nullptr);
  }

 private:
  CMarlView& view_;
};

}  // namespace

bool CMarlView::IsTestingButtons() const {
  return m_state.test_buttons != 0 && !m_state.IsSymbolSide();
}

void CMarlView::ShowButtonStates() {
  if (CPicObj* root = m_state.GetContextRoot()) root->RecalcAndNotify(nullptr);
  SuspendWaitCursor();
  UpdateWindow();
  ResumeWaitCursor();
}

void CMarlView::ClearButtonHover() {
  if (m_hover.Set(nullptr)) ShowButtonStates();
}

void CMarlView::TrackButton(CPicButton* button) {
  button->SetState(CPicButton::kDown);
  ShowButtonStates();
  int32_t state = CPicButton::kDown;
  bool over = true;
  for (;;) {
    const bool down = IsButtonStillDown();
    if (m_state.playing != 0 && m_playback != nullptr && m_playback->IsTickDue(GetTickCount())) {
      // A tick that shows another page ends the tracking without an action.
      const CDocumentPage* context = GetEditContext();
      m_playback->OnPlayTimer();
      if (GetEditContext() != context) return;
    }
    over = FindButtonAt(m_state, GetCursorDocPoint()) == button;
    const int32_t want = TrackedButtonState(down, over);
    if (want != state || !down) {
      state = want;
      button->SetState(want);
      ShowButtonStates();
    }
    if (!down) break;
  }
  if (over) {
    ViewButtonTarget target(*this);
    DoButtonAction(button->GetAction(), target);
  }
}

void CMarlView::StartPlaying() {
  if (m_playback != nullptr) m_playback->StartPlaying();
}

void CMarlView::StopPlaying() {
  if (m_playback != nullptr) m_playback->StopPlaying();
}

// ---- the tablet --------------------------------------------------------------------------

namespace {

// The time of the last tablet packet that asked for the special tool (0:
// none), and the system-button mask of the last cursor asked about.
uint32_t g_specialToolStamp = 0;
constexpr uint32_t kNoCursor = 0xFFFF;
uint32_t g_maskCursor = kNoCursor;
uint32_t g_buttonMask = 0;
// A remembered stamp older than this is forgotten while the pen hovers.
constexpr uint32_t kSpecialToolHoldMs = 200;
constexpr int kPeekMax = 255;

}  // namespace

bool CMarlView::TabletButtonMatches(const PACKET& packet) {
  if (packet.pkCursor != g_maskCursor) {
    // Buttons whose system action is odd (a click) ask for the special tool.
    uint8_t map[32] = {};
    g_buttonMask = 0;
    if (WTInfoA(WTI_CURSORS + packet.pkCursor, CSR_SYSBTNMAP, map) != 0) {
      for (int i = 0; i < 32; ++i) g_buttonMask |= (map[i] & 1u) << i;
    }
    g_maskCursor = packet.pkCursor;
  }
  return (packet.pkButtons & g_buttonMask) != 0;
}

bool CMarlView::IsSpecialToolActive() {
  g_maskCursor = kNoCursor;
  if (m_tablet == nullptr || !m_tabletOrientation) return false;
  std::vector<PACKET> packets(kPeekMax);
  const int count = WTPacketsPeek(m_tablet, kPeekMax, packets.data());
  int first = 0;
  while (first < count && !TabletButtonMatches(packets[first])) ++first;
  // What came before a press is stale; the press itself stays queued for
  // the tool. Without a press the queue is left to the pen's hover.
  if (first > 0 && first < count) {
    std::vector<PACKET> stale(static_cast<size_t>(first));
    WTPacketsGet(m_tablet, first, stale.data());
  }
  if (first >= count - 1) return g_specialToolStamp != 0;
  // The newest packet after the press decides: the pen upside down asks for
  // the special tool.
  const PACKET& newest = packets[count - 1];
  g_specialToolStamp = newest.pkOrientation.orAltitude < 0 ? std::max(newest.pkTime, 1u) : 0;
  return g_specialToolStamp != 0;
}

void CMarlView::FlushTabletQueue() {
  if (m_tablet == nullptr) return;
  PACKET packets[kTabletQueueSize];
  while (WTPacketsGet(m_tablet, static_cast<int>(kTabletQueueSize), packets) > 0) {
  }
}

void CMarlView::TabletHover() {
  if (m_tablet == nullptr) return;
  if (!m_tabletOrientation) {
    FlushTabletQueue();
    g_specialToolStamp = 0;
    return;
  }
  PACKET packets[kTabletQueueSize];
  const int count = WTPacketsPeek(m_tablet, static_cast<int>(kTabletQueueSize), packets);
  if (count > 1) WTPacketsGet(m_tablet, count - 1, packets);
  PACKET newest;
  if (count > 0 && WTPacketsGet(m_tablet, 1, &newest) == 1) {
    g_specialToolStamp = newest.pkOrientation.orAltitude < 0 ? std::max(newest.pkTime, 1u) : 0;
  } else if (g_specialToolStamp != 0 && GetTickCount() - g_specialToolStamp > kSpecialToolHoldMs) {
    g_specialToolStamp = 0;
  }
}

void CMarlView::OnMouseMove(UINT flags, CPoint point) {
  if (IsTestingButtons()) {
    CPicButton* button = IsInWorkArea(point) ? ButtonAt(point) : nullptr;
    if (m_hover.Set(button)) ShowButtonStates();
  }
  TabletHover();
  COffscreenView::OnMouseMove(flags, point);
}

// ---- timers, focus, size and scrolling -----------------------------------------------------

void CMarlView::OnTimer(UINT_PTR id) {
  if (id == kCaretTimerId) {
    CPicText* text = TypingTarget();
    CDocumentPage* page = m_state.GetEditContext();
    int32_t a = 0;
    int32_t b = 0;
    if (text != nullptr) text->GetSelection(a, b);
    if (text != nullptr && a == b && page != nullptr && page->GetEditDepth() == 0) ToggleCaret();
    return;
  }
  if (id == kPlayTimerId) {
    if (m_playback != nullptr) m_playback->OnPlayTimer();
    return;
  }
  COffscreenView::OnTimer(id);
}

bool CMarlView::OnScrollBy(CSize delta, bool doScroll) {
  const CPoint before = GetScrollPosition();
  if (!COffscreenView::OnScrollBy(delta, doScroll)) return false;
  if (doScroll) {
    const CPoint after = GetScrollPosition();
    if (m_textRegionValid) m_textRegion.OffsetRgn(before.x - after.x, before.y - after.y);
    UpdateWindow();
    m_state.UpdateRulers();
  }
  return true;
}

CPicButton* CMarlView::ButtonAt(CPoint client) const {
  if (!IsTestingButtons()) return nullptr;
  Matrix2x3 toDoc;
  m_state.GetClientToDocMatrix(toDoc);
  Point32 p;
  MatrixTransformPoint(toDoc, Point32{client.x, client.y}, p);
  return FindButtonAt(m_state, p);
}
