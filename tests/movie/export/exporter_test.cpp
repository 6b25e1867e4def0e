// The export filter base: path splitting, numbered sequences, the progress
// dialog's rules through a scripted window, and the movie export settings.
#include <deque>
#include <stdexcept>

#include "export_fixtures.h"
#include "movie/export/export_strings.h"
#include "movie/export/exporter.h"
#include "movie/export/movie_export_settings.h"
#include "movie/export/movie_exporter.h"
#include "movie/export/progress_dialog.h"
#include "platform/core/exceptions.h"
#include "platform/core/profile.h"

namespace {

TEST(ExportPaths, SplitAtTheLastDotOfTheFileName) {
  struct Case {
    const char* path;
    const char* base;
    const char* extension;
    const char* report;
  } cases[] = {
      {"shot.bmp", "shot", ".bmp", "shot.txt"},
      {"shot", "shot", "", "shot.txt"},
      {"/home/a.b/shot", "/home/a.b/shot", "", "/home/a.b/shot.txt"},
      {"/home/a.b/shot.v1.vmp", "/home/a.b/shot.v1", ".vmp", "/home/a.b/shot.v1.txt"},
      {"/home/user/.hidden", "/home/user/.hidden", "", "/home/user/.hidden.txt"},
      {".vmp", ".vmp", "", ".vmp.txt"},
      {"dir.d/", "dir.d/", "", "dir.d/.txt"},
  };
  for (const Case& c : cases) {
    std::string base, extension;
    SplitPathExtension(c.path, base, extension);
    EXPECT_EQ(base, c.base) << c.path;
    EXPECT_EQ(extension, c.extension) << c.path;
    EXPECT_EQ(ReportPathFor(c.path), c.report) << c.path;
  }
  EXPECT_EQ(SequenceFileName("shot", 1, ".bmp"), "shot0001.bmp");
  EXPECT_EQ(SequenceFileName("shot", 12345, ""), "shot12345");
}

// A progress window driven by a script: before the n-th pump the Cancel
// button is pressed when listed; questions are answered from a queue.
class CScriptedWindow : public CProgressWindow {
 public:
  static inline CScriptedWindow* s_last = nullptr;
  static inline bool s_failCreate = false;
  static inline bool s_ownerEnabled = true;
  static inline std::vector<int> s_cancelAtPump;
  static inline std::deque<bool> s_answers;

  // The log of the newest window; it outlives the window.
  static inline std::vector<std::string> s_log;

  CScriptedWindow() {
    s_last = this;
    s_log.clear();
  }
  bool IsOwnerEnabled(ProgressOwner) override { return s_ownerEnabled; }
  void EnableOwner(ProgressOwner, bool enable) override {
    s_ownerEnabled = enable;
    s_log.push_back(enable ? "enable owner" : "disable owner");
  }
  bool Create(ProgressOwner, const char* caption, CProgressDlg& dlg) override {
    dialog = &dlg;
    s_log.push_back(std::string("create ") + caption);
    return !s_failCreate;
  }
  void SetRange(int32_t low, int32_t high) override {
    s_log.push_back("range " + std::to_string(low) + " " + std::to_string(high));
  }
  void SetStep(int32_t step) override { s_log.push_back("step " + std::to_string(step)); }
  void SetPos(int32_t position) override { s_log.push_back("pos " + std::to_string(position)); }
  void PumpEvents() override {
    ++pumps;
    for (int n : s_cancelAtPump)
      if (n == pumps) dialog->OnCancel();
  }
  bool AskYesNo(const char* text) override {
    s_log.push_back(std::string("ask ") + text);
    bool yes = s_answers.empty() ? true : s_answers.front();
    if (!s_answers.empty()) s_answers.pop_front();
    return yes;
  }
  void Destroy() override { s_log.push_back("destroy"); }

  CProgressDlg* dialog = nullptr;
  int pumps = 0;
};

std::unique_ptr<CProgressWindow> MakeScripted() {
  return std::make_unique<CScriptedWindow>();
}

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetProgressWindowFactory(MakeScripted);
    CScriptedWindow::s_failCreate = false;
    CScriptedWindow::s_ownerEnabled = true;
    CScriptedWindow::s_cancelAtPump.clear();
    CScriptedWindow::s_answers.clear();
  }
  void TearDown() override { SetProgressWindowFactory(previous_); }
  ProgressWindowFactory previous_ = nullptr;
};

TEST_F(ProgressTest, CreateDisablesTheOwnerAndDestroyEnablesIt) {
  std::vector<std::string> log;
  {
    CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_FALSE(CScriptedWindow::s_ownerEnabled);
    log = CScriptedWindow::s_log;
  }
  EXPECT_TRUE(CScriptedWindow::s_ownerEnabled);
  std::vector<std::string> want = {"disable owner", "create Working...", "range 0 100", "step 10",
                                   "pos 0"};
  EXPECT_EQ(log, want);
}

TEST_F(ProgressTest, AnOwnerThatWasDisabledStaysDisabled) {
  CScriptedWindow::s_ownerEnabled = false;
  {
    CProgressDlg dlg(kIdsExportingMovie);
    ASSERT_TRUE(dlg.Create());
    EXPECT_FALSE(dlg.m_disabledOwner);
  }
  EXPECT_FALSE(CScriptedWindow::s_ownerEnabled);
}

TEST_F(ProgressTest, AFailedCreateEnablesTheOwnerAgain) {
  CScriptedWindow::s_failCreate = true;
  CProgressDlg dlg;
  EXPECT_FALSE(dlg.Create());
  EXPECT_TRUE(CScriptedWindow::s_ownerEnabled);
  EXPECT_FALSE(dlg.CheckCancel());
}

TEST_F(ProgressTest, CancelAsksAndOnlyYesCancels) {
  CProgressDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CScriptedWindow::s_cancelAtPump = {2, 3};
  CScriptedWindow::s_answers = {false, true};
  EXPECT_FALSE(dlg.CheckCancel());  // pump 1: nothing pressed, nothing asked
  EXPECT_FALSE(dlg.CheckCancel());  // pump 2: pressed, No
  EXPECT_FALSE(dlg.m_cancelPressed);
  EXPECT_TRUE(dlg.CheckCancel());  // pump 3: pressed again, asked again, Yes
  int asked = 0;
  for (const std::string& s : CScriptedWindow::s_log)
    if (s == "ask Are you sure you want to Cancel?") ++asked;
  EXPECT_EQ(asked, 2);
}

// Records the frames a sequence asks for.
class CRecordingExporter : public CExporter {
 public:
  int32_t ExportFrame(CDocumentPage* page, int32_t frame) override {
    calls.push_back(m_path + " " + page->m_name + ":" + std::to_string(frame));
    locked.push_back(page->GetLockCount());
    if (throwAt == static_cast<int>(calls.size())) throw CFileException(CFileException::diskFull);
    return failAt == static_cast<int>(calls.size()) ? 0 : 1;
  }
  std::vector<std::string> calls;
  std::vector<int32_t> locked;
  int failAt = 0;
  int throwAt = 0;
};

class SequenceTest : public ExportTest {
 protected:
  void SetUp() override {
    ExportTest::SetUp();
    previous_factory_ = SetProgressWindowFactory(MakeScripted);
    CScriptedWindow::s_cancelAtPump.clear();
    CScriptedWindow::s_answers.clear();
    CScriptedWindow::s_ownerEnabled = true;
    CScriptedWindow::s_failCreate = false;
    AddPage("One", 3);
    AddPage("Two", 2);
  }
  void TearDown() override {
    SetProgressWindowFactory(previous_factory_);
    ExportTest::TearDown();
  }
  ProgressWindowFactory previous_factory_ = nullptr;
};

TEST_F(SequenceTest, NumbersRunOnAcrossPages) {
  struct Case {
    const char* path;
    std::vector<std::string> calls;
  } cases[] = {
      {"shot.bmp",
       {"shot0001.bmp One:0", "shot0002.bmp One:1", "shot0003.bmp One:2", "shot0004.bmp Two:0",
        "shot0005.bmp Two:1"}},
      {"/home/a.b/shot",
       {"/home/a.b/shot0001 One:0", "/home/a.b/shot0002 One:1", "/home/a.b/shot0003 One:2",
        "/home/a.b/shot0004 Two:0", "/home/a.b/shot0005 Two:1"}},
  };
  for (const Case& c : cases) {
    CRecordingExporter exporter;
    exporter.SetTarget(c.path, &doc_, CExporter::kOptionDrawing);
    EXPECT_EQ(exporter.ExportSequence(), 1);
    EXPECT_EQ(exporter.calls, c.calls);
    for (int32_t n : exporter.locked) EXPECT_EQ(n, 2);  // held while its frames are written
  }
  // The bar moves by page index * 64 + f * 64 / frames.
  std::vector<std::string> positions;
  for (const std::string& s : CScriptedWindow::s_log)
    if (s.rfind("pos", 0) == 0 || s.rfind("range", 0) == 0 || s.rfind("create", 0) == 0)
      positions.push_back(s);
  std::vector<std::string> want = {"create Exporting Image Sequence",
                                   "range 0 128",
                                   "pos 0",
                                   "pos 0",
                                   "pos 21",
                                   "pos 42",
                                   "pos 64",
                                   "pos 96"};
  EXPECT_EQ(positions, want);
}

TEST_F(SequenceTest, CancelThenNoGoesOnAndTheNextCancelAsksAgain) {
  // Pumps: SetPos and CheckCancel pump once each per frame.
  CScriptedWindow::s_cancelAtPump = {2, 6};
  CScriptedWindow::s_answers = {false, true};
  CRecordingExporter exporter;
  exporter.SetTarget("shot.bmp", &doc_, CExporter::kOptionDrawing);
  EXPECT_EQ(exporter.ExportSequence(), 0);
  std::vector<std::string> want = {"shot0001.bmp One:0", "shot0002.bmp One:1"};
  EXPECT_EQ(exporter.calls, want);  // the files already written are kept
  EXPECT_TRUE(CScriptedWindow::s_ownerEnabled);
}

TEST_F(SequenceTest, AFailureOrAnExceptionStopsTheSequence) {
  CRecordingExporter failing;
  failing.SetTarget("a.png", &doc_, CExporter::kOptionDrawing);
  failing.failAt = 2;
  EXPECT_EQ(failing.ExportSequence(), 0);
  EXPECT_EQ(failing.calls.size(), 2u);
  EXPECT_TRUE(doc_.reported.empty());

  CRecordingExporter throwing;
  throwing.SetTarget("a.png", &doc_, CExporter::kOptionDrawing);
  throwing.throwAt = 4;
  EXPECT_EQ(throwing.ExportSequence(), 0);
  EXPECT_EQ(throwing.calls.size(), 4u);
  ASSERT_EQ(doc_.reported.size(), 1u);  // reported with its own message
  EXPECT_EQ(doc_.reported[0], kIdsUnknownError);
}

TEST_F(SequenceTest, TargetTakesTheMovieRectangle) {
  Rect32 r{-100, 5000, 20, 4000};
  doc_.SetMovieRect(r);
  CExporter exporter;
  exporter.SetTarget("x.vmp", &doc_, CExporter::kOptionMovie);
  EXPECT_EQ(exporter.m_bounds.xmin, -100);
  EXPECT_EQ(exporter.m_bounds.ymax, 4000);
  EXPECT_EQ(exporter.m_documentRect.xmax, 5000);
  EXPECT_EQ(exporter.m_option, 1);
  EXPECT_EQ(exporter.ExportFrame(doc_.m_pages, 0), 0);  // the base exports nothing
}

TEST(MovieExportSettings, DefaultsRangesAndClamping) {
  ResetProfileSettings();
  CMovieExportSettings s;
  s.Load();
  EXPECT_FALSE(s.report);
  EXPECT_FALSE(s.topDown);
  EXPECT_EQ(s.quality, 50);
  struct Case {
    int stored;
    int loaded;
  } cases[] = {{0, 1}, {-7, 1}, {1, 1}, {77, 77}, {100, 100}, {101, 100}, {100000, 100}};
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteProfileInt("Vector", "Quality", c.stored));
    s.Load();
    EXPECT_EQ(s.quality, c.loaded) << c.stored;
  }
  s.report = true;
  s.topDown = true;
  s.quality = 33;
  s.Save();
  CMovieExportSettings t;
  t.Load();
  EXPECT_TRUE(t.report);
  EXPECT_TRUE(t.topDown);
  EXPECT_EQ(t.quality, 33);
  EXPECT_EQ(GetProfileInt("Vector", "Report", -1), 1);
  ResetProfileSettings();
}

}  // namespace
