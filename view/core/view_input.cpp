#include "view/core/view_input.h"

#include <cstdlib>

#include "model/document.h"
#include "model/edit_transaction.h"
#include "model/frame_action.h"
#include "model/pic_frame.h"
#include "model/pic_layer.h"
#include "model/pic_shape.h"
#include "model/pic_symbol.h"
#include "model/pic_text.h"
#include "platform/core/code_page.h"
#include "view/core/assistant_settings.h"
#include "view/core/view_state.h"

CharAction ToolLetterAction(uint32_t ch) {
  if (ch >= 'a' && ch <= 'z') ch -= 'a' - 'A';
  auto tool = [](int32_t type, int32_t panel, int32_t mode = kToolLastMode) {
    return CharAction{CharCommand::kTool, type, panel, mode};
  };
  switch (ch) {
    case 'A':
      return tool(kToolArrow, kPanelArrow);
    case 'P':
      return tool(kToolPencil, 1);
    case 'I':
      return tool(kToolPencil, 7, 3);  // the ink bottle
    case 'B':
      return tool(kToolBrush, 2);
    case 'U':
      return tool(kToolBrush, 6, 6);  // the paint bucket
    case 'E':
      return tool(kToolEraser, 3);
    case 'T':
      return tool(kToolText, 4);
    case 'L':
      return tool(kToolLasso, kPanelLasso);
    case 'M':
      return tool(kToolMagnifier, 8);
    case 'D':
      return tool(kToolDropper, 5);
    case ',':
    case '<':
      return {CharCommand::kStepBack};
    case '.':
    case '>':
      return {CharCommand::kStepForward};
    default:
      return {};
  }
}

ViewKeyAction ViewKeyDownAction(int vk, bool control) {
  const int32_t step = control ? 8 : 1;
  switch (vk) {
    case VK_SHIFT:
    case VK_CONTROL:
      return {ViewKeyCommand::kUpdateCursor};
    case VK_ESCAPE:
      return {ViewKeyCommand::kEscape};
    case VK_BACK:
    case VK_DELETE:
      return {ViewKeyCommand::kDeleteSelection};
    case VK_TAB:
      return {ViewKeyCommand::kSpringLasso};
    case VK_SPACE:
      return {ViewKeyCommand::kSpringArrow};
    case VK_RETURN:
      return {ViewKeyCommand::kPlay};
    case VK_PRIOR:
      return {ViewKeyCommand::kPreviousPage};
    case VK_NEXT:
      return {ViewKeyCommand::kNextPage};
    case VK_HOME:
      return {ViewKeyCommand::kFirstPage};
    case VK_END:
      return {ViewKeyCommand::kLastPage};
    case VK_LEFT:
      return {ViewKeyCommand::kNudge, -step, 0};
    case VK_RIGHT:
      return {ViewKeyCommand::kNudge, step, 0};
    case VK_UP:
      return {ViewKeyCommand::kNudge, 0, -step};
    case VK_DOWN:
      return {ViewKeyCommand::kNudge, 0, step};
    default:
      return {};
  }
}

TextKeyAction TextKeyDownAction(int vk, bool control, bool shift) {
  if (vk == VK_BACK) return {TextKeyCommand::kDelete, kEditKindTyping, 1};
  if (vk == VK_DELETE) return {TextKeyCommand::kDelete, kEditKindTyping, 2};
  if (control) {
    const int32_t halfPixels = shift ? 4 : 1;
    switch (vk) {
      case VK_LEFT:
        return {TextKeyCommand::kSpacing, kEditKindSpacing, -halfPixels};
      case VK_RIGHT:
        return {TextKeyCommand::kSpacing, kEditKindSpacing, halfPixels};
      case VK_UP:
      case VK_DOWN:
        return {TextKeyCommand::kSpacingReset, kEditKindSpacing};
      case VK_HOME:
        return {TextKeyCommand::kCaret, kEditKindCaret, 6, shift};
      case VK_END:
        return {TextKeyCommand::kCaret, kEditKindCaret, 7, shift};
      case '1':
        return {TextKeyCommand::kFontFlag, CDocumentPage::kEditUser, 1};
      case '2':
        return {TextKeyCommand::kFontFlag, CDocumentPage::kEditUser, 0};
      default:
        return {};
    }
  }
  int32_t caret = -1;
  switch (vk) {
    case VK_UP:
      caret = 0;
      break;
    case VK_LEFT:
      caret = 1;
      break;
    case VK_RIGHT:
      caret = 2;
      break;
    case VK_DOWN:
      caret = 3;
      break;
    case VK_HOME:
      caret = 4;
      break;
    case VK_END:
      caret = 5;
      break;
    default:
      return {};
  }
  return {TextKeyCommand::kCaret, kEditKindCaret, caret, shift};
}

bool IsTextEditKey(int vk, bool control) {
  return control && (vk == '1' || vk == '2');
}

void SpringLoadedTool::Press(ToolSwitcher& tools, int32_t toolType, int32_t panel) {
  if (tools.GetCurrentToolType() == toolType) return;
  if (!pending_) {
    tool_type_ = tools.GetCurrentToolType();
    panel_ = tools.GetCurrentPanel();
    pending_ = true;
  }
  tools.SetCurrentTool(toolType, panel, kToolLastMode);
}

bool SpringLoadedTool::Release(ToolSwitcher& tools) {
  if (!pending_) return false;
  pending_ = false;
  tools.SetCurrentTool(tool_type_, panel_, kToolLastMode);
  return true;
}

std::string TakeTypingBatch(std::deque<uint16_t>& queue, int codePage) {
  std::string batch;
  while (!queue.empty()) {
    // One character: a surrogate pair takes two units.
    char32_t c = queue.front();
    size_t units = 1;
    if (c >= 0xD800 && c < 0xDC00 && queue.size() > 1 && queue[1] >= 0xDC00 && queue[1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (queue[1] - 0xDC00);
      units = 2;
    }
    const std::vector<uint8_t> bytes = UnicodeToBytes(codePage, std::u32string(1, c));
    if (batch.size() + bytes.size() > kTypingBatchMax) break;
    batch.append(bytes.begin(), bytes.end());
    queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(units));
  }
  return batch;
}

bool TypeIntoText(CDocumentPage& page, CPicText& text, const std::string& batch) {
  return CEditTransaction::Run(page, kEditKindTyping, [&] {
    text.DeleteSelection();
    text.InsertString(batch);
  });
}

int TypingCodePage(const CPicText& text) {
  CTextStyle style;
  text.GetStyleAt(style, 0);
  return CodePageForCharSet(style.charSet);
}

Point32 NudgeOffset(int32_t dx, int32_t dy, int32_t pixelSize) {
  return {dx * pixelSize, dy * pixelSize};
}

bool NudgeSelection(ViewState& view, int32_t dx, int32_t dy) {
  CDocumentPage* page = view.GetEditContext();
  if (page == nullptr || view.HasSelection(3) == 0) return false;
  const Point32 d = NudgeOffset(dx, dy, view.GetPixelSize());
  Matrix2x3 m;
  m.tx = d.x;
  m.ty = d.y;
  bool moved = false;
  const bool ok = CEditTransaction::Run(*page, kEditKindNudge,
                                        [&] { moved = view.TransformSelection(m, false); });
  return ok && moved;
}

int32_t DragOrHoldStep(const Point32& start, const Point32& point, uint32_t elapsedMs, bool down,
                       int32_t pickUnit) {
  if (!down) return kWaitReleased;
  const int64_t limit = int64_t{kDragPickUnits} * pickUnit;
  if (std::llabs(int64_t{point.x} - start.x) > limit ||
      std::llabs(int64_t{point.y} - start.y) > limit) {
    return kWaitDrag;
  }
  if (elapsedMs >= kHoldTimeMs) return kWaitHold;
  return kWaitPending;
}

void DoButtonAction(const CFrameAction& action, ButtonActionTarget& target) {
  switch (action.type) {
    case CFrameAction::kPlay:
      target.Play();
      break;
    case CFrameAction::kStop:
      target.Stop();
      break;
    case CFrameAction::kNextFrame:
    case CFrameAction::kPreviousFrame:
      target.Stop();
      target.GoToFrame(target.GetCurrentFrame() +
                       (action.type == CFrameAction::kNextFrame ? 1 : -1));
      break;
    case CFrameAction::kNextPage:
    case CFrameAction::kPreviousPage:
      target.Stop();
      if (CDocumentPage* page = target.GetAdjacentPage(action.type == CFrameAction::kNextPage))
        target.SetEditContext(page);
      break;
    case CFrameAction::kToggleHighQuality:
      target.SetViewQuality(target.GetViewQuality() == 1 ? 2 : 1);
      break;
    case CFrameAction::kGoto:
    case CFrameAction::kGetUrlAndGoto:
      if (CDocumentPage* page = target.FindPage(action.page)) {
        target.SetEditContext(page);
        target.Stop();
        target.GoToFrame(action.frame - 1);
      }
      break;
    case CFrameAction::kGotoAndPlay:
    case CFrameAction::kGetUrlGotoAndPlay:
      if (CDocumentPage* page = target.FindPage(action.page)) {
        target.SetEditContext(page);
        target.GoToFrame(action.frame - 1);
        target.Play();
      }
      break;
    default:
      break;
  }
}

CPicButton* FindButtonAt(const ViewState& view, const Point32& p) {
  if (view.view_quality == kQualityOutlines) return nullptr;
  const CAssistantSettings& a = AssistantSettings();
  CHitTest probe;
  probe.point = p;
  probe.distance1 = Clamp32(int64_t{view.GetPickUnit()} * a.tap_tolerances[0]);
  probe.distance2 = Clamp32(int64_t{view.GetPickUnit()} * a.tap_tolerances[1]);
  CViewObjIter it(view, CViewObjIter::kWalkFrontToBack | CViewObjIter::kWalkLocked);
  while (CPicShape* frame = it.Next()) {
    auto* key = dynamic_cast<CPicFrame*>(frame);
    if (key != nullptr && key->GetLayer() != nullptr &&
        key->GetLayer()->GetLinkState() == CPicLayer::kLinkGuide) {
      continue;
    }
    probe.frame = key != nullptr ? WrapSub(it.GetFrame(), key->GetStartFrame()) : it.GetFrame();
    for (CPicObj* c = frame->GetFirstChild(); c != nullptr; c = c->GetNext()) {
      auto* button = dynamic_cast<CPicButton*>(c);
      if (button != nullptr && button->HitTestHitArea(probe) != 0) return button;
    }
  }
  return nullptr;
}

int32_t TrackedButtonState(bool down, bool overButton) {
  if (down) return overButton ? CPicButton::kDown : CPicButton::kOver;
  return overButton ? CPicButton::kOver : CPicButton::kUp;
}

CPicButton* ButtonHover::Get() const {
  return static_cast<CPicButton*>(ref_.GetTarget());
}

bool ButtonHover::Set(CPicButton* b) {
  CPicButton* old = Get();
  if (b == old) return false;
  if (old != nullptr) old->SetState(CPicButton::kUp);
  if (b != nullptr) b->SetState(CPicButton::kOver);
  ref_.Set(b);
  return true;
}

void ButtonHover::OnObjectRemoved(CPicObj* obj) {
  if (obj == ref_.GetTarget()) ref_.Set(nullptr);
}

CDocumentPage* PageAt(const CMarlDoc& doc, const CDocumentPage* page, int32_t step) {
  CDocumentPage* first = doc.m_pages;
  if (step == kFirstPage) return first;
  CDocumentPage* previous = nullptr;
  for (CDocumentPage* p = first; p != nullptr; p = p->m_next) {
    if (step == kLastPage && p->m_next == nullptr) return p;
    if (p == page) return step < 0 ? previous : p->m_next;
    previous = p;
  }
  return nullptr;
}

uint32_t ContextSelectionBits(const ViewState& view) {
  uint32_t bits = view.HasSelection(1) != 0 ? kSelectedDrawing : 0;
  CViewObjIter it(view, CViewObjIter::kWalkFrontToBack);
  while (CPicShape* frame = it.Next()) {
    for (CPicObj* c = frame->GetFirstChild(); c != nullptr; c = c->GetNext()) {
      if (!c->IsSelected()) continue;
      if (dynamic_cast<CPicText*>(c) != nullptr) {
        bits |= kSelectedText;
      } else if (dynamic_cast<CPicShape*>(c) != nullptr && !c->IsPlainDrawing()) {
        bits |= kSelectedGroup;
      }
    }
  }
  return bits;
}

int ContextMenuFor(bool textEdited, uint32_t selectionBits) {
  if (textEdited) return kMenuContextTextActive;
  switch (selectionBits) {
    case kSelectedDrawing:
      return kMenuContextShape;
    case kSelectedText:
      return kMenuContextText;
    case kSelectedGroup:
      return kMenuContextGroup;
    default:
      return kMenuContextDefault;
  }
}

CursorRef GetViewCursor(ViewCursor cursor) {
  // System cursor ids of the window layer.
  constexpr int kSystemArrow = 32512;
  constexpr int kSystemSizeAll = 32646;
  constexpr int kSystemNo = 32648;
  switch (cursor) {
    case ViewCursor::kArrow:
      return {true, kSystemArrow};
    case ViewCursor::kSizeAll:
      return {true, kSystemSizeAll};
    case ViewCursor::kNo:
      return {true, kSystemNo};
    case ViewCursor::kTestButton:
      return {false, 123};
    case ViewCursor::kMove:
      return {false, 1208};
    case ViewCursor::kRotate:
      return {false, 1209};
    case ViewCursor::kScaleNwSe:
      return {false, 1210};
    case ViewCursor::kScaleNeSw:
      return {false, 1215};
    case ViewCursor::kScaleWidth:
      return {false, 1211};
    case ViewCursor::kScaleHeight:
      return {false, 1212};
    case ViewCursor::kFillSize:
      return {false, 495};
  }
  return {true, kSystemArrow};
}

CursorChoice DecideCursor(const CursorSituation& s) {
  if (s.feedback_active) return CursorChoice::kKeep;
  if (s.in_place_active) return CursorChoice::kNone;
  if (s.window_checked && !s.window_is_view) return CursorChoice::kDecline;
  if (!s.in_work_area) return CursorChoice::kDecline;
  if (s.special_tool_active) return CursorChoice::kSpecialTool;
  if (s.over_test_button) return CursorChoice::kTestButton;
  return CursorChoice::kCurrentTool;
}

HandleDrag HandleDragFor(int32_t mode, int handle) {
  if (handle == kHandleCentre) return {ViewCursor::kMove, kDragMove, false};
  const bool corner = handle >= 0 && handle < 4;
  const bool topBottom = handle == 4 || handle == 6;
  if (mode == kHandleScale) {
    if (corner) {
      return {handle % 2 == 0 ? ViewCursor::kScaleNwSe : ViewCursor::kScaleNeSw, kDragScaleBoth,
              false};
    }
    return topBottom ? HandleDrag{ViewCursor::kScaleHeight, kDragScaleY, false}
                     : HandleDrag{ViewCursor::kScaleWidth, kDragScaleX, false};
  }
  if (corner) return {ViewCursor::kRotate, kDragRotate, true};
  return topBottom ? HandleDrag{ViewCursor::kScaleWidth, kDragSlantY, false}
                   : HandleDrag{ViewCursor::kScaleHeight, kDragSlantX, false};
}

ViewCursor FillHandleCursor(FillHandle handle) {
  switch (handle) {
    case FillHandle::kWidth:
      return ViewCursor::kScaleWidth;
    case FillHandle::kSize:
      return ViewCursor::kFillSize;
    case FillHandle::kRotate:
      return ViewCursor::kRotate;
    case FillHandle::kMove:
      break;
  }
  // A fill's centre moves the fill: the size-all cursor.
  return ViewCursor::kSizeAll;
}
