// Message texts with %1/%2 from the string table, the recording sink, and
// the nested wait cursor through the cursor layer.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "platform/qt/cursors.h"
#include "platform/qt/message_box.h"
#include "platform/qt/resources.h"

namespace {

TEST(MessageBoxTest, FormatSubstitutesNumberedArguments) {
  struct {
    const char* pattern;
    std::vector<std::string> args;
    const char* expected;
  } cases[] = {
      {"Please enter an integer between %1 and %2.",
       {"0", "100"},
       "Please enter an integer between 0 and 100."},
      {"%2 before %1", {"a", "b"}, "b before a"},
      {"100%% of %1", {"x"}, "100% of x"},
      {"missing %3 stays", {"a"}, "missing %3 stays"},
      {"trailing %", {}, "trailing %"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatMessageText(c.pattern, c.args), c.expected);
}

TEST(MessageBoxTest, StringTableBoxesGoThroughTheSink) {
  Resources().AddString(60001, "File %1 not found in %2.");
  CRecordingMessageBoxSink sink;
  sink.answers = {IDNO};
  SetMessageBoxSink(&sink);
  EXPECT_EQ(AfxMessageBox(AfxFormatString2(60001, "a.vmd", "Lessons"), MB_YESNO), IDNO);
  EXPECT_EQ(AfxMessageBox(60001u, MB_OK | MB_ICONEXCLAMATION), IDOK);
  SetMessageBoxSink(nullptr);
  ASSERT_EQ(sink.boxes.size(), 2u);
  EXPECT_EQ(sink.boxes[0].text, "File a.vmd not found in Lessons.");
  EXPECT_EQ(sink.boxes[1].help_id, 60001u);  // a string box's help context is its id
  EXPECT_EQ(LoadString(59999), "");
}

TEST(WaitCursorTest, NestsSuspendsAndResumesOverTheRememberedCursor) {
  HCURSOR wait = LoadStandardCursor(IDC_WAIT), cross = LoadStandardCursor(IDC_CROSS);
  ResetWaitCursor();
  SetCursor(cross);
  BeginWaitCursor();
  BeginWaitCursor();
  EXPECT_EQ(GetCursor(), wait);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  SuspendWaitCursor();  // the cursor from before shows
  EXPECT_EQ(GetCursor(), cross);
  BeginWaitCursor();  // ignored while suspended
  SuspendWaitCursor();
  ResumeWaitCursor();  // inner resume: still suspended
  EXPECT_EQ(WaitCursorCount(), 0);
  EXPECT_EQ(GetCursor(), cross);
  ResumeWaitCursor();
  EXPECT_EQ(GetCursor(), wait);
  EXPECT_EQ(WaitCursorCount(), 2);
  EndWaitCursor();
  EXPECT_EQ(GetCursor(), wait);
  EndWaitCursor();
  EXPECT_EQ(GetCursor(), cross);
  // An unmatched end or resume changes nothing: the next begin still shows it.
  EndWaitCursor();
  ResumeWaitCursor();
  BeginWaitCursor();
  EXPECT_EQ(GetCursor(), wait);
  EXPECT_EQ(WaitCursorCount(), 1);
  ResetWaitCursor();
  EXPECT_EQ(GetCursor(), cross);
  EXPECT_EQ(WaitCursorCount(), 0);

  // Nothing remembered: the override goes and the widgets' cursors return.
  ReleaseCursorOverride();
  BeginWaitCursor();
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EndWaitCursor();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(GetCursor(), nullptr);

  // A remembered cursor destroyed during the wait is not set again.
  const uint8_t andMask[32 * 4] = {}, xorMask[32 * 4] = {};
  HCURSOR made = CreateCursor(0, 0, 32, 32, andMask, xorMask);
  SetCursor(made);
  BeginWaitCursor();
  EXPECT_TRUE(DestroyCursor(made));
  EXPECT_FALSE(DestroyCursor(made));  // twice is refused
  EndWaitCursor();
  EXPECT_EQ(GetCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
