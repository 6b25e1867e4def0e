#include "model/symbol_dialogs.h"

#include <charconv>
#include <utility>

#include "model/document_page.h"

namespace {

// An integer typed into an edit (surrounding blanks allowed); false when
// the text is not one.
bool ParseInteger(const std::string& text, int64_t& out) {
  size_t begin = text.find_first_not_of(" \t");
  size_t end = text.find_last_not_of(" \t");
  if (begin == std::string::npos) return false;
  const char* first = text.data() + begin;
  const char* last = text.data() + end + 1;
  if (*first == '+') ++first;
  auto [ptr, ec] = std::from_chars(first, last, out);
  return ec == std::errc() && ptr == last;
}

// The message refusing text unless it holds an integer in low..high.
std::string CheckRange(const std::string& text, int32_t low, int32_t high) {
  int64_t value;
  if (ParseInteger(text, value) && value >= low && value <= high) return {};
  return IntegerRangeMessage(low, high);
}

// Ends a dialog with r: OK, Edit and Edit Copy (the last two only while
// enabled) need fields that pass (refusal is the message of the check).
bool EndDialog(int r, bool editButtons, std::string refusal, std::string& message, int& result) {
  if (r == kDialogOk || r == kDialogEdit || r == kDialogEditCopy) {
    if ((r == kDialogEdit || r == kDialogEditCopy) && !editButtons) return false;
    message = std::move(refusal);
    if (!message.empty()) return false;
  }
  result = r;
  return true;
}

// Frame Action list position -> type.
constexpr int32_t kFrameActionTypes[8] = {
    CFrameAction::kNone,          CFrameAction::kPlay,
    CFrameAction::kStop,          CFrameAction::kGoto,
    CFrameAction::kGetUrl,        CFrameAction::kGotoAndPlay,
    CFrameAction::kGetUrlAndGoto, CFrameAction::kGetUrlGotoAndPlay};

constexpr const char* kActionTexts[13] = {"None",
                                          "Play",
                                          "Stop",
                                          "Next Frame",
                                          "Previous Frame",
                                          "Next Page",
                                          "Previous Page",
                                          "Toggle High Quality",
                                          "Goto",
                                          "Get URL",
                                          "Goto and Play",
                                          "Get URL and Goto",
                                          "Get URL, Goto and Play"};

}  // namespace

std::string IntegerRangeMessage(int32_t low, int32_t high) {
  return "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) +
         ".";
}

std::vector<std::string> PageNames(const CDocumentPage* firstPage) {
  std::vector<std::string> names;
  for (const CDocumentPage* p = firstPage; p != nullptr; p = p->m_next) names.push_back(p->m_name);
  return names;
}

// ---- Symbol Properties ------------------------------------------------------------

CSymbolPropertiesModel::CSymbolPropertiesModel(int32_t playMode, int32_t firstFrame,
                                               int32_t frameCount, bool editButtons)
    : playModeIndex(playMode >= 0 && playMode < 3 ? playMode : -1),
      firstFrameText(std::to_string(int64_t{firstFrame} + 1)),
      frameCount(frameCount),
      editButtonsEnabled(editButtons),
      m_initialPlayMode(playModeIndex),
      m_initialFirstFrame(firstFrameText) {}

std::string CSymbolPropertiesModel::Validate() const {
  if (firstFrameText == m_initialFirstFrame) return {};
  return CheckRange(firstFrameText, 1, frameCount);
}

bool CSymbolPropertiesModel::End(int r) {
  return EndDialog(r, editButtonsEnabled, Validate(), message, result);
}

int32_t CSymbolPropertiesModel::PlayModeToStore() const {
  return playModeIndex != m_initialPlayMode ? playModeIndex : -1;
}

int32_t CSymbolPropertiesModel::FirstFrameToStore() const {
  int64_t value;
  if (firstFrameText == m_initialFirstFrame || !ParseInteger(firstFrameText, value)) return -1;
  return static_cast<int32_t>(value - 1);
}

// ---- Button Properties and Frame Action -------------------------------------------

CActionDialogModel::CActionDialogModel(Kind kind, const CFrameAction& action,
                                       std::vector<std::string> names, bool editButtons)
    : kind(kind),
      actionPosition(PositionOfType(action.type)),
      pageNames(std::move(names)),
      pageIndex(-1),
      frameText(std::to_string(action.frame)),
      url(action.url),
      target(action.target),
      editButtonsEnabled(kind == kButtonProperties && editButtons),
      m_initial(action) {
  for (size_t i = 0; i < pageNames.size(); ++i) {
    if (pageNames[i] == action.page) {
      pageIndex = static_cast<int32_t>(i);
      break;
    }
  }
  m_initialPosition = actionPosition;
  m_initialPageIndex = pageIndex;
  m_initialFrameText = frameText;
}

std::vector<std::string> CActionDialogModel::ActionTexts() const {
  std::vector<std::string> texts;
  if (kind == kButtonProperties) {
    texts.assign(std::begin(kActionTexts), std::end(kActionTexts));
  } else {
    for (int32_t type : kFrameActionTypes) texts.emplace_back(kActionTexts[type]);
  }
  return texts;
}

int32_t CActionDialogModel::PositionOfType(int32_t type) const {
  if (kind == kButtonProperties) return type >= 0 && type < 13 ? type : 0;
  for (int32_t i = 0; i < 8; ++i) {
    if (kFrameActionTypes[i] == type) return i;
  }
  return 0;
}

int32_t CActionDialogModel::TypeAtPosition(int32_t position) const {
  if (kind == kButtonProperties) return position >= 0 && position < 13 ? position : 0;
  return position >= 0 && position < 8 ? kFrameActionTypes[position] : 0;
}

void CActionDialogModel::SelectAction(int32_t position) {
  actionPosition = position;
}

void CActionDialogModel::SelectPage(int32_t index) {
  pageIndex = index;
}

bool CActionDialogModel::GotoShown() const {
  switch (TypeAtPosition(actionPosition)) {
    case CFrameAction::kGoto:
    case CFrameAction::kGotoAndPlay:
    case CFrameAction::kGetUrlAndGoto:
    case CFrameAction::kGetUrlGotoAndPlay:
      return true;
    default:
      return false;
  }
}

bool CActionDialogModel::UrlShown() const {
  switch (TypeAtPosition(actionPosition)) {
    case CFrameAction::kGetUrl:
    case CFrameAction::kGetUrlAndGoto:
    case CFrameAction::kGetUrlGotoAndPlay:
      return true;
    default:
      return false;
  }
}

std::string CActionDialogModel::Validate() const {
  if (frameText == m_initialFrameText) return {};
  return CheckRange(frameText, kFrameLow, kFrameHigh);
}

bool CActionDialogModel::End(int r) {
  return EndDialog(r, editButtonsEnabled, Validate(), message, result);
}

CFrameAction CActionDialogModel::Stored() const {
  CFrameAction action = m_initial;
  if (actionPosition != m_initialPosition) action.type = TypeAtPosition(actionPosition);
  if (pageIndex != m_initialPageIndex && pageIndex >= 0 &&
      static_cast<size_t>(pageIndex) < pageNames.size()) {
    action.page = pageNames[static_cast<size_t>(pageIndex)];
  }
  int64_t frame;
  if (frameText != m_initialFrameText && ParseInteger(frameText, frame)) {
    action.frame = static_cast<int32_t>(frame);
  }
  action.url = url;
  action.target = target;
  return action;
}
