// The property dialogs of symbol instances, buttons and key frames as models
// without a user interface: what each dialog shows, its show and hide
// rules, its checks, and what OK stores. The application's dialogs drive a
// model (tests script one), run through CPropertiesHost.
//
// A list's value is stored only when the user changed the selection: a
// value the list cannot show (a stored action type the Frame Action list
// lacks, a page name no page has any more, a play mode out of range) is
// kept. Likewise an edit the user left as it was keeps its stored value, so
// an out-of-range number read from a file is not refused until it is typed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/frame_action.h"

class CDocumentPage;

// Results of the property dialogs.
constexpr int kDialogOk = 1;
constexpr int kDialogCancel = 2;
constexpr int kDialogEdit = 10;      // "&Edit"
constexpr int kDialogEditCopy = 11;  // "E&dit Copy..."

// "Please enter an integer between %1 and %2." with the two limits.
std::string IntegerRangeMessage(int32_t low, int32_t high);

// The Symbol Properties dialog: play mode list, first frame (1-based).
class CSymbolPropertiesModel {
 public:
  static constexpr const char* kPlayModeTexts[3] = {"Loop", "Play Once", "Single Frame"};

  // firstFrame is the instance's (0-based); the edit shows it 1-based.
  CSymbolPropertiesModel(int32_t playMode, int32_t firstFrame, int32_t frameCount,
                         bool editButtons);

  // The message that refuses the fields, "" when they are good.
  std::string Validate() const;
  // Ends the dialog with a result; OK, Edit and Edit Copy check the fields
  // first and leave the dialog open (false, message set) when refused.
  bool End(int result);

  // After OK: the play mode to set, or -1 to keep the instance's.
  int32_t PlayModeToStore() const;
  // After OK: the first frame (0-based) to set, or -1 to keep the instance's.
  int32_t FirstFrameToStore() const;

  int32_t playModeIndex;  // list selection, -1 = none
  std::string firstFrameText;
  int32_t frameCount;       // upper limit of the first frame
  bool editButtonsEnabled;  // "&Edit" and "E&dit Copy..." (off while in place)
  int result = kDialogCancel;
  std::string message;  // the last refusal

 private:
  int32_t m_initialPlayMode;
  std::string m_initialFirstFrame;
};

// The Button Properties dialog and the Frame Action dialog: the action list,
// the Goto group (page list, frame edit) and the Get URL group (URL edit,
// target window combo).
class CActionDialogModel {
 public:
  enum Kind { kButtonProperties, kFrameAction };
  static constexpr int32_t kFrameLow = 1;
  static constexpr int32_t kFrameHigh = 16000;
  static constexpr const char* kTargetWindows[4] = {"_self", "_blank", "_parent", "_top"};

  // pageNames: the names of the document's pages in page order.
  CActionDialogModel(Kind kind, const CFrameAction& action, std::vector<std::string> pageNames,
                     bool editButtons = true);

  // The texts of the action list.
  std::vector<std::string> ActionTexts() const;
  // The list position of a type (Frame Action: types it lacks are position 0).
  int32_t PositionOfType(int32_t type) const;
  // The type of a list position.
  int32_t TypeAtPosition(int32_t position) const;

  // The user picks an entry of the action list (the groups follow it).
  void SelectAction(int32_t position);
  // The user picks a page.
  void SelectPage(int32_t index);
  // Whether the Goto group (page and frame) and the Get URL group (URL and
  // target) are shown for the current selection.
  bool GotoShown() const;
  bool UrlShown() const;

  std::string Validate() const;
  bool End(int result);
  // After OK: the action as the user left it.
  CFrameAction Stored() const;

  Kind kind;
  int32_t actionPosition;  // the list selection
  std::vector<std::string> pageNames;
  int32_t pageIndex;  // -1 = none
  std::string frameText;
  std::string url;
  std::string target;
  bool editButtonsEnabled;
  int result = kDialogCancel;
  std::string message;

 private:
  CFrameAction m_initial;
  int32_t m_initialPosition;
  int32_t m_initialPageIndex;
  std::string m_initialFrameText;
};

// What the property commands of instances, buttons and key frames need of
// the view they run in: the dialogs (each runs until the user ends it and
// returns the result) and the two symbol commands of the view.
class CPropertiesHost {
 public:
  virtual ~CPropertiesHost() = default;
  virtual int RunSymbolProperties(CSymbolPropertiesModel& model) = 0;
  // Button Properties or Frame Action, by the model's kind.
  virtual int RunActionDialog(CActionDialogModel& model) = 0;
  // True while the document is active in place (no "&Edit" buttons then).
  virtual bool IsInPlace() const { return false; }
  // Opens a symbol for editing in a view of its document.
  virtual void EditSymbolInView(CDocumentPage* symbol) = 0;
  // Asks for a name and makes a copy of the symbol; null when cancelled.
  virtual CDocumentPage* DuplicateSymbol(CDocumentPage* symbol) = 0;
};

// The names of a document's pages in page order (for the page lists).
std::vector<std::string> PageNames(const CDocumentPage* firstPage);
