// The drawing view's input: presses through the current tool, the keys, the
// spring-loaded tools, typing in batches, nudges and WaitDragOrHold.
#include <algorithm>

#include "model/edit_transaction.h"
#include "model/pic_text.h"
#include "platform/qt/input.h"
#include "view/draw_tool.h"
#include "view/marl_view.h"

namespace {

// Posted to the view to insert what was typed: every character queued
// before it arrives is in the batch.
constexpr UINT kTypedMessage = WM_USER + 0x130;

}  // namespace

CPicText* CMarlView::TypingTarget() const {
  return dynamic_cast<CPicText*>(state_.GetTextEditObject());
}

bool CMarlView::IsInWorkArea(CPoint p) const {
  Matrix2x3 m;
  state_.GetDocToClientMatrix(m);
  Rect32 r;
  MatrixTransformRect(m, state_.GetWorkArea(), r);
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
  state_.GetClientToDocMatrix(toDoc);
  for (;;) {
    const bool down = IsButtonStillDown();
    const CPoint client = ScreenToClient(GetCursorPos());
    Point32 point;
    MatrixTransformPoint(toDoc, Point32{client.x, client.y}, point);
    const int32_t r =
        DragOrHoldStep(start, point, GetTickCount() - began, down, state_.GetPickUnit());
    if (r != kWaitPending) return r;
  }
}

void CMarlView::OnLButtonDown(UINT flags, CPoint point) {
  FlushTyping();
  if (::GetFocus() != GetSafeHwnd()) SetFocus();
  if (tools_ == nullptr || !IsInWorkArea(point)) return;
  CDrawTool* special = tools_->GetSpecialTool();
  CDrawTool* tool =
      special != nullptr && IsSpecialToolActive() ? special : tools_->GetCurrentTool();
  if (tool != nullptr) tool->OnPress(*this, flags, point.x, point.y);
}

void CMarlView::OnLButtonDblClk(UINT flags, CPoint point) {
  FlushTyping();
  if (tools_ == nullptr || !IsInWorkArea(point)) return;
  CDrawTool* special = tools_->GetSpecialTool();
  CDrawTool* tool =
      special != nullptr && IsSpecialToolActive() ? special : tools_->GetCurrentTool();
  if (tool != nullptr) tool->OnDoubleClick(*this, flags, point.x, point.y);
}

bool CMarlView::IsSpecialToolActive() const {
  return false;  // the pen's other end is read from the tablet with the tools
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
    if (!TextKey(*text, TextKeyDownAction(vk, control, shift)))
      COffscreenView::OnKeyDown(ch, repCnt, flags);
    return;
  }
  const ViewKeyAction a = ViewKeyDownAction(vk, control);
  switch (a.command) {
    case ViewKeyCommand::kEscape:
      (void)state_.SelectAll(false);
      break;
    case ViewKeyCommand::kDeleteSelection:
      (void)state_.DeleteSelection();
      break;
    case ViewKeyCommand::kSpringLasso:
    case ViewKeyCommand::kSpringArrow:
      if (tools_ != nullptr) {
        const bool lasso = a.command == ViewKeyCommand::kSpringLasso;
        spring_.Press(*tools_, lasso ? kToolLasso : kToolArrow, lasso ? kPanelLasso : kPanelArrow);
      }
      break;
    case ViewKeyCommand::kNudge:
      (void)NudgeSelection(state_, a.dx, a.dy);
      break;
    default:
      COffscreenView::OnKeyDown(ch, repCnt, flags);
      break;
  }
}

bool CMarlView::TextKey(CPicText& text, const TextKeyAction& a) {
  CDocumentPage* page = state_.GetEditContext();
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
            static_cast<int16_t>(a.arg * std::max(FixedDiv(state_.GetPixelSize(), scale) / 2, 1));
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
  InvalidateRect(nullptr, false);
  return true;
}

void CMarlView::OnKeyUp(UINT ch, UINT repCnt, UINT flags) {
  if ((ch == VK_TAB || ch == VK_SPACE) && tools_ != nullptr) {
    spring_.Release(*tools_);
    return;
  }
  COffscreenView::OnKeyUp(ch, repCnt, flags);
}

void CMarlView::OnChar(UINT ch, UINT repCnt, UINT flags) {
  if (TypingTarget() != nullptr) {
    if (!IsTypedChar(ch)) return;  // Backspace and the like come as keys
    typed_.push_back(static_cast<uint16_t>(ch));
    if (!typingPosted_) typingPosted_ = PostMessage(kTypedMessage);
    return;
  }
  const CharAction a = ToolLetterAction(ch);
  switch (a.command) {
    case CharCommand::kTool:
      if (tools_ != nullptr) tools_->SetCurrentTool(a.toolType, a.panel, a.mode);
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
  CDocumentPage* page = state_.GetEditContext();
  if (text == nullptr || page == nullptr) {
    typed_.clear();
    return;
  }
  while (!typed_.empty()) {
    const std::string batch = TakeTypingBatch(typed_, TypingCodePage(*text));
    if (batch.empty() || !TypeIntoText(*page, *text, batch)) {
      typed_.clear();  // a failed insertion was reported; what followed it goes too
      break;
    }
  }
  InvalidateRect(nullptr, false);
}

LRESULT CMarlView::WindowProc(UINT message, WPARAM w, LPARAM l) {
  if (message == kTypedMessage) {
    typingPosted_ = false;
    FlushTyping();
    return 0;
  }
  return COffscreenView::WindowProc(message, w, l);
}
