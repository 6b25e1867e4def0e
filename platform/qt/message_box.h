// Message boxes and the nested wait cursor.
//
// Message boxes show a text (often from the string table, with %1 and %2
// substituted) and answer which button closed them. They go through a sink:
// the default shows a Qt message box; tests install a recording sink that
// answers as told.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/qt/win_types.h"

// Buttons, icons and modality.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_SYSTEMMODAL = 0x1000;
// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDHELP = 9;

// The help context of the out-of-memory box.
constexpr UINT kOutOfMemoryHelpId = 61411;

class CMessageBoxSink {
 public:
  virtual ~CMessageBoxSink() = default;
  virtual int Show(std::string_view text, UINT flags, UINT helpId) = 0;
};

// Installs a sink; null goes back to Qt's message boxes.
void SetMessageBoxSink(CMessageBoxSink* sink);

// A sink that records every box and answers with the next queued answer
// (IDOK, or IDYES for yes/no boxes, when none is queued).
class CRecordingMessageBoxSink : public CMessageBoxSink {
 public:
  struct Box {
    std::string text;
    UINT flags;
    UINT help_id;
  };
  int Show(std::string_view text, UINT flags, UINT helpId) override;
  std::vector<Box> boxes;
  std::vector<int> answers;
};

int AfxMessageBox(std::string_view text, UINT flags = MB_OK, UINT helpId = 0);
// The string of that id; the help context is the id unless given.
int AfxMessageBox(UINT stringId, UINT flags = MB_OK, UINT helpId = static_cast<UINT>(-1));

// Replaces %1 .. %9 in pattern by the arguments (a missing argument leaves
// the marker as it is; %% is one percent sign).
std::string FormatMessageText(std::string_view pattern, const std::vector<std::string>& args);
std::string AfxFormatString1(UINT stringId, std::string_view s1);
std::string AfxFormatString2(UINT stringId, std::string_view s1, std::string_view s2);

// The nested wait cursor: Begin and End nest; Suspend shows the normal
// cursor until Resume (suspensions nest too); a failure resets it all. The
// outermost Begin remembers the current cursor (GetCursor) and sets the
// system wait cursor; when the count falls back to 0 the remembered cursor
// is set again (without one the widgets' own cursors show).
void BeginWaitCursor();
void EndWaitCursor();
void SuspendWaitCursor();
void ResumeWaitCursor();
void ResetWaitCursor();
int WaitCursorCount();
