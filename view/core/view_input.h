// The drawing view's input decisions without a window: the key tables (tool
// letters, view keys, text keys), the spring-loaded tools of Tab and Space,
// typing gathered into batches, arrow nudges, the drag-or-hold decision of a
// press, button actions, the context menu chosen by what is selected, the
// cursor decision and the cursors by name, and the handle drags.
//
// Key codes are the window layer's (VK_...); characters are Unicode.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "geometry/fixed.h"
#include "model/pic_obj.h"
#include "platform/core/virtual_keys.h"

class ViewState;
struct CFrameAction;
class CDocumentPage;
class CMarlDoc;
class CPicButton;
class CPicText;

// ---- tools ----

// Tool types: the tools' positions on the tool bar.
constexpr int32_t kToolArrow = 2;
constexpr int32_t kToolPencil = 3;
constexpr int32_t kToolBrush = 4;
constexpr int32_t kToolEraser = 5;
constexpr int32_t kToolText = 6;
constexpr int32_t kToolLasso = 7;
constexpr int32_t kToolMagnifier = 8;
constexpr int32_t kToolDropper = 9;
// Option panels of the tools that spring-loading and the letters name.
constexpr int32_t kPanelArrow = 0;
constexpr int32_t kPanelLasso = 9;
// A tool's mode that the letter leaves as it was.
constexpr int32_t kToolLastMode = -1;

// What the application offers of its tool objects.
class ToolSwitcher {
 public:
  virtual ~ToolSwitcher() = default;
  virtual int32_t GetCurrentToolType() const = 0;
  // The application's current option-panel index.
  virtual int32_t GetCurrentPanel() const = 0;
  // Makes the tool of that type current (in that mode unless kToolLastMode)
  // and shows the option panel.
  virtual void SetCurrentTool(int32_t toolType, int32_t panel, int32_t mode) = 0;
};

// ---- keys without text being edited ----

enum class CharCommand { kNone, kTool, kStepBack, kStepForward };
struct CharAction {
  CharCommand command = CharCommand::kNone;
  int32_t tool_type = 0;
  int32_t panel = 0;
  int32_t mode = kToolLastMode;
};
// The tool letters (either case) and the frame-stepping characters.
CharAction ToolLetterAction(uint32_t ch);

enum class ViewKeyCommand {
  kDefault,
  kUpdateCursor,  // Shift, Control
  kEscape,        // end text editing or deselect
  kDeleteSelection,
  kSpringLasso,  // Tab
  kSpringArrow,  // Space
  kPlay,         // play or stop
  kPreviousPage,
  kNextPage,
  kFirstPage,
  kLastPage,
  kNudge,
};
struct ViewKeyAction {
  ViewKeyCommand command = ViewKeyCommand::kDefault;
  int32_t dx = 0;  // kNudge: screen pixels
  int32_t dy = 0;
};
// Arrows nudge one pixel, eight with Control.
ViewKeyAction ViewKeyDownAction(int vk, bool control);

// ---- keys while text is edited ----

enum class TextKeyCommand {
  kDefault,
  kDelete,        // arg: the caret kind that extends an empty selection (1 left, 2 right)
  kCaret,         // arg: the caret kind (0 up .. 7 end of text); extend with Shift
  kSpacing,       // arg: half pixels of letter spacing added (+-1, +-4 with Shift)
  kSpacingReset,  // letter spacing 0
  kFontFlag,      // arg: the font flag (Control+1: 1, Control+2: 0), spacing 0
};
struct TextKeyAction {
  TextKeyCommand command = TextKeyCommand::kDefault;
  uint32_t kind = 0;  // the edit transaction's kind
  int32_t arg = 0;
  bool extend = false;
};
TextKeyAction TextKeyDownAction(int vk, bool control, bool shift);
// Control+1 and Control+2 belong to text editing while text is edited; the
// view claims them before the accelerators see them.
bool IsTextEditKey(int vk, bool control);

// The text style masks of the spacing keys: letter spacing added with the
// font flag, and set (with the font flag).
constexpr uint32_t kSpacingAddMask = 0x4120;
constexpr uint32_t kSpacingSetMask = 0x120;

// ---- spring-loaded tools ----

// The tool that was current before Tab or Space switched; a key held down
// repeats its press, which changes nothing.
class SpringLoadedTool {
 public:
  // Tab or Space pressed: switches to the wanted tool unless it is current,
  // remembering the tool that was (once: a second spring key keeps the first
  // memory, so releasing returns to the user's own tool).
  void Press(ToolSwitcher& tools, int32_t toolType, int32_t panel);
  // Released: back to the remembered tool; true when it switched.
  bool Release(ToolSwitcher& tools);
  bool IsPending() const { return pending_; }

 private:
  bool pending_ = false;
  int32_t tool_type_ = 0;
  int32_t panel_ = 0;
};

// ---- typing ----

// A batch holds at most this many bytes (one undo step each).
constexpr size_t kTypingBatchMax = 99;
// Characters that typing inserts: printable ones and carriage return.
inline bool IsTypedChar(uint32_t c) {
  return c >= 32 || c == 13;
}
// Takes the next batch from the front of the queue of typed characters
// (UTF-16 units; a surrogate pair is one character), in the code page's
// bytes: at most kTypingBatchMax bytes, never part of a character. The rest
// stays queued in order. A character the code page lacks becomes '?'.
std::string TakeTypingBatch(std::deque<uint16_t>& queue, int codePage);
// One batch typed into text: an edit transaction of kind 257 that deletes
// the selection and inserts the batch. False when it failed (reverted).
bool TypeIntoText(CDocumentPage& page, CPicText& text, const std::string& batch);
// The code page of the text's style at the caret.
int TypingCodePage(const CPicText& text);

// ---- nudges ----

// The selection's translation for an arrow nudge of (dx, dy) screen pixels:
// P (the document length of one pixel) per pixel.
Point32 NudgeOffset(int32_t dx, int32_t dy, int32_t pixelSize);
// The nudge as an edit transaction of kind 260, which coalesces with the
// newest undo step when that is a nudge too. False when nothing moved.
bool NudgeSelection(ViewState& view, int32_t dx, int32_t dy);
constexpr uint32_t kEditKindTyping = 257;
constexpr uint32_t kEditKindCaret = 258;
constexpr uint32_t kEditKindSpacing = 259;
constexpr uint32_t kEditKindNudge = 260;

// ---- drag or hold ----

constexpr int32_t kWaitReleased = 0;
constexpr int32_t kWaitHold = 1;
constexpr int32_t kWaitDrag = 2;
constexpr int32_t kWaitPending = -1;
constexpr uint32_t kHoldTimeMs = 500;
constexpr int32_t kDragPickUnits = 4;
// One step of WaitDragOrHold: released 0; moved more than four pick units
// from start in x or y 2; 500 ms passed 1; else still waiting.
int32_t DragOrHoldStep(const Point32& start, const Point32& point, uint32_t elapsedMs, bool down,
                       int32_t pickUnit);

// ---- button actions ----

// What a button's action changes in the view.
class ButtonActionTarget {
 public:
  virtual ~ButtonActionTarget() = default;
  virtual void Play() = 0;
  virtual void Stop() = 0;
  virtual int32_t GetCurrentFrame() const = 0;
  // Clamped to the layer's frames.
  virtual void GoToFrame(int32_t frame) = 0;
  // The page after or before the edit context, null when none.
  virtual CDocumentPage* GetAdjacentPage(bool next) const = 0;
  virtual CDocumentPage* FindPage(const std::string& name) const = 0;
  virtual void SetEditContext(CDocumentPage* page) = 0;
  virtual int32_t GetViewQuality() const = 0;
  virtual void SetViewQuality(int32_t quality) = 0;
};
void DoButtonAction(const CFrameAction& action, ButtonActionTarget& target);

// ---- test-buttons mode ----

// The button under p (document units) in test-buttons mode: none at view
// quality 0 (outlines); else, front to back with locked layers, the first
// button whose hit area holds p within the view's tap tolerances. Guide
// layers, which the movie never shows, are passed over.
CPicButton* FindButtonAt(const ViewState& view, const Point32& p);

// The state a tracked button takes: down while pressed over it, over while
// pressed elsewhere or released over it, up when released elsewhere.
int32_t TrackedButtonState(bool down, bool overButton);

// The button under the mouse in test-buttons mode (over) and leaving it
// (up). Forgets a button that leaves the drawing.
class ButtonHover : public CPicObjRefOwner {
 public:
  ButtonHover() { ref_.Init(this, 0); }
  ~ButtonHover() override { ref_.Release(); }
  ButtonHover(const ButtonHover&) = delete;
  ButtonHover& operator=(const ButtonHover&) = delete;
  CPicButton* Get() const;
  // b becomes the hovered button in state over, the one before back to up.
  // True when anything changed.
  bool Set(CPicButton* b);
  void OnObjectRemoved(CPicObj* obj) override;
  void OnFramesChanged(const CExtent& /*change*/) override {}

 private:
  CPicObjRef ref_;
};

// ---- pages ----

// The page before (step -1) or after (1) page in the document's list, the
// first (kFirstPage) or the last (kLastPage); null when there is none.
constexpr int32_t kFirstPage = -0x7FFF;
constexpr int32_t kLastPage = 0x7FFF;
CDocumentPage* PageAt(const CMarlDoc& doc, const CDocumentPage* page, int32_t step);

// ---- playback ----

// The playback of the view's movie, which the timeline provides: the Enter
// key, button actions and the view's timer 15 drive it.
class ViewPlayback {
 public:
  virtual ~ViewPlayback() = default;
  virtual void StartPlaying() = 0;
  virtual void StopPlaying() = 0;
  // Stops when playing, else starts.
  virtual void OnPlay() = 0;
  // One tick: the next frame, or the next page, or the end.
  virtual void OnPlayTimer() = 0;
  // The next tick's time (tick count) has come.
  virtual bool IsTickDue(uint32_t now) const = 0;
};
// The timer of the playback tick.
constexpr uintptr_t kPlayTimerId = 15;

// ---- context menus ----

constexpr int kMenuContextDefault = 476;
constexpr int kMenuContextText = 477;
constexpr int kMenuContextGroup = 478;
constexpr int kMenuContextShape = 479;
constexpr int kMenuContextTextActive = 482;
// What lies selected: bit 0 selected edges or a selected child counted as
// drawing, bit 1 a selected text, bit 2 a selected group.
constexpr uint32_t kSelectedDrawing = 0x1;
constexpr uint32_t kSelectedText = 0x2;
constexpr uint32_t kSelectedGroup = 0x4;
uint32_t ContextSelectionBits(const ViewState& view);
int ContextMenuFor(bool textEdited, uint32_t selectionBits);

// ---- cursors ----

// The view's cursors by name; each is a system cursor or one of the
// program's resources.
enum class ViewCursor {
  kArrow,
  kSizeAll,      // moves in every direction
  kNo,           // nothing can be dropped here
  kTestButton,   // over a button in test-buttons mode
  kMove,         // a transform handle's centre
  kRotate,       // rotate corners, a fill's rotate handle
  kScaleNwSe,    // corners 0 and 2
  kScaleNeSw,    // corners 1 and 3
  kScaleWidth,   // west-east edge handles, a fill's width handle
  kScaleHeight,  // north-south edge handles
  kFillSize,     // a radial fill's size handle
};
struct CursorRef {
  bool system = false;  // a system cursor (IDC_...), else a program resource
  int id = 0;
};
CursorRef GetViewCursor(ViewCursor cursor);

// What the cursor decision found; the view does what it says.
enum class CursorChoice { kKeep, kNone, kDecline, kSpecialTool, kTestButton, kCurrentTool };
struct CursorSituation {
  bool feedback_active = false;
  bool in_place_active = false;
  bool window_checked = false;  // the caller asked for the window under the cursor
  bool window_is_view = true;   // ... and it is this view
  bool in_work_area = false;
  bool special_tool_active = false;
  bool over_test_button = false;  // test-buttons mode on the page side, over a button
};
CursorChoice DecideCursor(const CursorSituation& s);

// ---- handles ----

// Transform drag kinds of the arrow tool.
constexpr int32_t kDragMove = 0;
constexpr int32_t kDragRotate = 2;
constexpr int32_t kDragScaleBoth = 17;
constexpr int32_t kDragSlantX = 19;
constexpr int32_t kDragScaleX = 33;
constexpr int32_t kDragSlantY = 35;
constexpr int32_t kDragScaleY = 49;
// Handle points of a rectangle: corners 0..3, edge midpoints 4..7, centre 8.
constexpr int kHandleCentre = 8;
struct HandleDrag {
  ViewCursor cursor = ViewCursor::kArrow;
  int32_t kind = kDragMove;
  bool about_centre = false;  // the anchor is the centre, not the opposite handle
};
// The drag of a handle of the rotate (1) or scale (2) handle mode.
HandleDrag HandleDragFor(int32_t mode, int handle);

// Fill handles, in the order they are tested.
enum class FillHandle { kWidth = 1, kSize = 2, kRotate = 3, kMove = 0 };
ViewCursor FillHandleCursor(FillHandle handle);
