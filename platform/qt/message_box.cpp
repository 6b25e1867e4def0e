#include "platform/qt/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <utility>

#include "platform/qt/cursors.h"
#include "platform/qt/resources.h"

namespace {

CMessageBoxSink* g_sink = nullptr;

int ShowWithQt(std::string_view text, UINT flags) {
  QMessageBox box;
  box.setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  box.setWindowTitle(QApplication::applicationName());
  switch (flags & 0xF0) {
    case MB_ICONHAND:
      box.setIcon(QMessageBox::Critical);
      break;
    case MB_ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case MB_ICONEXCLAMATION:
      box.setIcon(QMessageBox::Warning);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      break;
  }
  switch (flags & 0xF) {
    case MB_OKCANCEL:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case MB_YESNOCANCEL:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
    case MB_YESNO:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Cancel:
      return IDCANCEL;
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    default:
      return IDOK;
  }
}

// The nested wait cursor's state: count, suspension (0, or the saved count
// plus 1000, plus 4000 per nested suspension), and the cursor it went over.
int g_waitCount = 0;
int g_suspension = 0;
HCURSOR g_rememberedCursor = nullptr;

// Back to the cursor the wait cursor went over; with none (or one
// destroyed meanwhile) the widgets show their own, the arrow by default.
void ShowRememberedCursor() {
  HCURSOR back = std::exchange(g_rememberedCursor, nullptr);
  if (IsCursorAlive(back)) {
    SetCursor(back);
  } else {
    ReleaseCursorOverride();
  }
}

void AdjustWaitCursor(int delta) {
  if (delta == 0) return;
  if (g_waitCount == 0 && delta > 0) {
    g_rememberedCursor = GetCursor();
    SetCursor(LoadStandardCursor(IDC_WAIT));
  }
  // An unmatched end never drives the count below zero (a negative count
  // would turn the next begin into an end).
  int before = g_waitCount;
  g_waitCount = std::max(0, g_waitCount + delta);
  if (g_waitCount == 0 && before > 0) ShowRememberedCursor();
}

}  // namespace

void SetMessageBoxSink(CMessageBoxSink* sink) {
  g_sink = sink;
}

int CRecordingMessageBoxSink::Show(std::string_view text, UINT flags, UINT helpId) {
  boxes.push_back({std::string(text), flags, helpId});
  if (!answers.empty()) {
    int a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  UINT kind = flags & 0xF;
  return kind == MB_YESNO || kind == MB_YESNOCANCEL ? IDYES : IDOK;
}

int AfxMessageBox(std::string_view text, UINT flags, UINT helpId) {
  if (g_sink != nullptr) return g_sink->Show(text, flags, helpId);
  return ShowWithQt(text, flags);
}

int AfxMessageBox(UINT stringId, UINT flags, UINT helpId) {
  return AfxMessageBox(LoadString(stringId), flags,
                       helpId == static_cast<UINT>(-1) ? stringId : helpId);
}

std::string FormatMessageText(std::string_view pattern, const std::vector<std::string>& args) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size()) {
      char n = pattern[i + 1];
      if (n == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (n >= '1' && n <= '9' && static_cast<size_t>(n - '1') < args.size()) {
        out += args[static_cast<size_t>(n - '1')];
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

std::string AfxFormatString1(UINT stringId, std::string_view s1) {
  return FormatMessageText(LoadString(stringId), {std::string(s1)});
}

std::string AfxFormatString2(UINT stringId, std::string_view s1, std::string_view s2) {
  return FormatMessageText(LoadString(stringId), {std::string(s1), std::string(s2)});
}

void BeginWaitCursor() {
  if (g_suspension <= 0) AdjustWaitCursor(+1);
}

void EndWaitCursor() {
  if (g_suspension <= 0) AdjustWaitCursor(-1);
}

void SuspendWaitCursor() {
  if (g_suspension <= 0) {
    g_suspension = g_waitCount + 1000;
    AdjustWaitCursor(-g_waitCount);
  } else {
    g_suspension += 4000;
  }
}

void ResumeWaitCursor() {
  if (g_suspension <= 0) return;
  if (g_suspension <= 4000) {
    AdjustWaitCursor(g_suspension - 1000);
    g_suspension = 0;
  } else {
    g_suspension -= 4000;
  }
}

void ResetWaitCursor() {
  bool was = g_waitCount > 0;
  g_waitCount = 0;
  g_suspension = 0;
  if (was) ShowRememberedCursor();
}

int WaitCursorCount() {
  return g_waitCount;
}
