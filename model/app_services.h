// What the drawing model asks of the application shell: the wait cursor, the
// "Undo Levels" setting, message boxes, the memory purge, the refresh timer,
// the printing abort test and the list of open documents.
//
// The application installs its implementation with SetAppServices at
// start-up; until then (and in tests that install nothing) the defaults
// below serve: no cursor, no timer, silent message boxes, the setting read
// from the profile.
#pragma once

#include <cstdint>
#include <vector>

class CMarlDoc;

// Message-box styles (the window system's values).
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbIconExclamation = 0x30;

// Strings of the model's messages.
constexpr uint32_t kIdsUnknownError = 565;    // an edit failed
constexpr uint32_t kIdsPageLoadFailed = 568;  // a page could not be read
constexpr uint32_t kIdsPageLoadMemory = 569;  // no memory to read a page
constexpr uint32_t kIdsEditMemory = 570;      // no memory to finish an edit
// The text of one of the strings above; "" for other ids.
const char* ModelString(uint32_t id);

// Timer id and delay of the refresh of embedded representations.
constexpr uint32_t kRefreshTimerId = 47;
constexpr uint32_t kRefreshTimerDelay = 3000;

class CAppServices {
 public:
  virtual ~CAppServices() = default;

  // The nested wait cursor (shown while begun more often than ended).
  virtual void BeginWaitCursor() {}
  virtual void EndWaitCursor() {}
  // The integer setting "Undo Levels" of section "Settings" (default 20).
  virtual int GetUndoLevels();
  // Shows a message box with the string of that id; returns the button.
  virtual int MessageBox(uint32_t /*stringId*/, uint32_t /*style*/) { return 1; }
  // Swaps out the unlocked pages of every open document.
  virtual void PurgeDocuments() {}
  // Starts a timer on the main window; returns its id, 0 when none was set.
  virtual uint32_t SetTimer(uint32_t /*id*/, uint32_t /*milliseconds*/) { return 0; }
  virtual void KillTimer(uint32_t /*id*/) {}
  // The per-process user-abort flag, set while printing is being cancelled.
  virtual bool IsUserAbort() { return false; }
  // Every open document of the document template.
  virtual std::vector<CMarlDoc*> GetDocuments() { return {}; }
};

// The services of the process. SetAppServices returns the previous ones
// (null stands for the defaults); null installs the defaults again.
CAppServices& AppServices();
CAppServices* SetAppServices(CAppServices* services);

// Begins the wait cursor for a scope.
class CWaitCursorScope {
 public:
  CWaitCursorScope() { AppServices().BeginWaitCursor(); }
  ~CWaitCursorScope() { AppServices().EndWaitCursor(); }
  CWaitCursorScope(const CWaitCursorScope&) = delete;
  CWaitCursorScope& operator=(const CWaitCursorScope&) = delete;
};
