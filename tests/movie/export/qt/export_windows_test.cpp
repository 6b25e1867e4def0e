// The export side's windows on Qt's offscreen platform: the progress window
// follows its dialog (caption, range, position, the bar's pixels), disables
// its owner and refuses input to every other window while it exists, and a
// sequence export goes on after Cancel and No and stops after Cancel and
// Yes; the movie export's options dialog shows and returns the three
// settings, clamped.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "export_fixtures.h"
#include "movie/export/export_strings.h"
#include "movie/export/exporter.h"
#include "movie/export/movie_exporter.h"
#include "movie/export/progress_dialog.h"
#include "movie/export/qt/movie_export_dialog.h"
#include "platform/qt/dialog.h"
#include "platform/qt/message_box.h"
#include "platform/qt/messages.h"
#include "platform/qt/wnd.h"
#include "res/program_resources.h"

namespace {

// A plain window that counts the presses of the left button it receives.
class CClickWnd : public CWnd {
 public:
  int presses = 0;
  LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
    if (message == WM_LBUTTONDOWN) ++presses;
    return CWnd::WindowProc(message, w, l);
  }
};

void CreateClickWindow(CWnd& wnd, const CRect& rect) {
  if (FindWindowClass("PL_ExportTestOwner") == nullptr)
    RegisterWindowClass("PL_ExportTestOwner", 0);
  ASSERT_TRUE(wnd.Create("PL_ExportTestOwner", "owner", WS_VISIBLE, rect, nullptr, 0));
}

// The shown top-level window with that caption, or null.
QWidget* WindowTitled(const char* caption) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->windowTitle() == QString::fromUtf8(caption)) return w;
  return nullptr;
}

template <class T>
T* Control(QWidget* window, UINT id) {
  for (T* c : window->findChildren<T*>())
    if (c->property("vmId").toUInt() == id) return c;
  return nullptr;
}

// The share of the bar's width painted as filled: columns of its middle row
// that differ from the empty bar's.
double FilledShare(QProgressBar* bar, const QImage& empty) {
  const QImage now = bar->grab().toImage();
  const int y = now.height() / 2;
  int filled = 0;
  for (int x = 0; x < now.width(); ++x)
    if (now.pixel(x, y) != empty.pixel(x, y)) ++filled;
  return static_cast<double>(filled) / now.width();
}

class ExportWindowsTest : public ExportTest {
 protected:
  void SetUp() override {
    ExportTest::SetUp();
    RegisterProgramResources();
    InstallExportWindows();
    SetMessageBoxSink(&sink_);
    baseline_ = LiveWindowCount();
  }
  void TearDown() override {
    SetProgressWindowFactory(nullptr);
    CMovieExporter::SetOptionsDialog(nullptr);
    CDialog::SetRunHook(nullptr);
    SetMessageBoxSink(nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(LiveWindowCount(), baseline_) << "a window was left alive";
    ExportTest::TearDown();
  }

  CRecordingMessageBoxSink sink_;
  int baseline_ = 0;
};

TEST_F(ExportWindowsTest, TheProgressWindowFollowsItsDialog) {
  struct Caption {
    uint32_t id;
    const char* text;
  } captions[] = {{0, "Working..."},
                  {kIdsExportingSequence, "Exporting Image Sequence"},
                  {kIdsExportingMovie, "Exporting Vimbrel Player Movie"}};
  for (const Caption& c : captions) {
    CProgressDlg dlg(c.id);
    ASSERT_TRUE(dlg.Create());
    EXPECT_NE(WindowTitled(c.text), nullptr) << c.text;
  }
  EXPECT_EQ(LiveWindowCount(), baseline_);

  CClickWnd owner;
  CreateClickWindow(owner, {10, 10, 300, 200});
  {
    CProgressDlg dlg(kIdsExportingMovie);
    dlg.SetRange(0, 200);
    ASSERT_TRUE(dlg.Create(reinterpret_cast<ProgressOwner>(owner.GetSafeHwnd())));
    EXPECT_FALSE(owner.IsWindowEnabled());
    QWidget* window = WindowTitled("Exporting Vimbrel Player Movie");
    ASSERT_NE(window, nullptr);
    auto* bar = Control<QProgressBar>(window, CProgressDlg::kProgressBar);
    ASSERT_NE(bar, nullptr);
    EXPECT_NE(Control<QPushButton>(window, CProgressDlg::kCancelButton), nullptr);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 200);
    EXPECT_EQ(bar->value(), 0);
    const QImage empty = bar->grab().toImage();
    EXPECT_LT(FilledShare(bar, empty), 0.02);

    // Positions past either end show the end.
    struct Step {
      int32_t low, high, position;
      int value;
      double share;
    } steps[] = {{0, 200, 100, 100, 0.5}, {0, 200, 50, 50, 0.25}, {0, 200, 200, 200, 1.0},
                 {0, 200, 900, 200, 1.0}, {0, 200, -4, 0, 0.0},   {100, 300, 250, 250, 0.75},
                 {100, 300, 50, 100, 0.0}};
    for (const Step& s : steps) {
      dlg.SetRange(s.low, s.high);
      dlg.SetPos(s.position);
      SCOPED_TRACE(std::to_string(s.low) + ".." + std::to_string(s.high) + " at " +
                   std::to_string(s.position));
      EXPECT_EQ(bar->minimum(), s.low);
      EXPECT_EQ(bar->maximum(), s.high);
      EXPECT_EQ(bar->value(), s.value);
      // The frame and the chunk's rounding take a few pixels.
      EXPECT_NEAR(FilledShare(bar, empty), s.share, 0.06);
    }
    dlg.Destroy();
    EXPECT_TRUE(owner.IsWindowEnabled());
    EXPECT_EQ(WindowTitled("Exporting Vimbrel Player Movie"), nullptr);
  }
  owner.DestroyWindow();
}

TEST_F(ExportWindowsTest, OtherWindowsRefuseInputWhileTheWindowExists) {
  CClickWnd other;
  CreateClickWindow(other, {400, 10, 600, 200});
  QWindow* handle = other.GetWidget()->windowHandle();
  ASSERT_NE(handle, nullptr);
  QTest::mouseClick(handle, Qt::LeftButton, {}, QPoint(20, 20));
  ASSERT_EQ(other.presses, 1);  // the click reaches a window when nothing blocks it

  {
    CProgressDlg dlg;
    ASSERT_TRUE(dlg.Create());  // returns at once: no event loop of its own
    QWidget* window = WindowTitled("Working...");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(QApplication::activeModalWidget(), window);
    QTest::mouseClick(handle, Qt::LeftButton, {}, QPoint(20, 20));
    dlg.SetPos(10);  // pumps
    EXPECT_EQ(other.presses, 1);
    EXPECT_FALSE(dlg.CheckCancel());
  }
  QTest::mouseClick(handle, Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_EQ(other.presses, 2);
  other.DestroyWindow();
}

// An image-sequence exporter that writes nothing and records its files.
class CRecordingExporter : public CExporter {
 public:
  std::function<void(int32_t call)> onFrame;
  std::vector<std::string> files;
  int32_t ExportFrame(CDocumentPage*, int32_t) override {
    files.push_back(m_path);
    if (onFrame) onFrame(static_cast<int32_t>(files.size()));
    return 1;
  }
};

TEST_F(ExportWindowsTest, CancelThenNoGoesOnAndCancelThenYesStops) {
  AddPage("Page 1", 3);
  AddPage("Page 2", 2);
  // The user presses Cancel while the first and the third file are written;
  // the press is queued, so the dialog's pumping must deliver it.
  auto pressCancelLater = [] {
    QTimer::singleShot(0, [] {
      QWidget* window = WindowTitled("Exporting Image Sequence");
      ASSERT_NE(window, nullptr);
      auto* cancel = Control<QPushButton>(window, CProgressDlg::kCancelButton);
      ASSERT_NE(cancel, nullptr);
      QTest::mouseClick(cancel, Qt::LeftButton);
    });
  };
  struct Case {
    std::vector<int> answers;
    int32_t result;
    size_t files;
    size_t questions;
  } cases[] = {
      {{IDNO, IDNO}, 1, 5, 2},   // both answered No: every frame is written
      {{IDNO, IDYES}, 0, 3, 2},  // the second Cancel stops before the fourth file
      {{IDYES}, 0, 1, 1},        // the first stops before the second file
  };
  for (const Case& c : cases) {
    sink_.boxes.clear();
    sink_.answers = c.answers;
    CRecordingExporter exporter;
    exporter.SetTarget("shot.bmp", &doc_, CExporter::kOptionDrawing);
    exporter.onFrame = [&](int32_t call) {
      if (call == 1 || call == 3) pressCancelLater();
    };
    EXPECT_EQ(exporter.ExportSequence(), c.result);
    EXPECT_EQ(exporter.files.size(), c.files);
    ASSERT_EQ(sink_.boxes.size(), c.questions);
    for (const auto& box : sink_.boxes) {
      EXPECT_EQ(box.text, "Are you sure you want to Cancel?");
      EXPECT_EQ(box.flags & 0xF, MB_YESNO);
    }
    EXPECT_EQ(WindowTitled("Exporting Image Sequence"), nullptr);
    QCoreApplication::processEvents();  // a press left queued by a stopped export
  }
}

TEST_F(ExportWindowsTest, OptionsDialogShowsAndReturnsTheSettingsClamped) {
  struct Case {
    const char* name;
    CMovieExportSettings given;
    int shown_quality;
    std::function<void(CDialog&)> edit;
    UINT button;
    int32_t result;
    CMovieExportSettings want;
  };
  auto settings = [](bool report, bool topDown, int32_t quality) {
    CMovieExportSettings s;
    s.report = report;
    s.topDown = topDown;
    s.quality = quality;
    return s;
  };
  auto slider = [](CDialog& d) {
    return qobject_cast<QSlider*>(d.GetDlgItem(CMovieExportSettings::kQualitySlider));
  };
  const Case cases[] = {
      {"defaults kept", settings(false, false, 50), 50, nullptr, kIdOk, 1,
       settings(false, false, 50)},
      {"all changed", settings(true, true, 75), 75,
       [&](CDialog& d) {
         d.CheckDlgButton(CMovieExportSettings::kTopDownCheck, 0);
         d.CheckDlgButton(CMovieExportSettings::kReportCheck, 0);
         slider(d)->setValue(10);
       },
       kIdOk, 1, settings(false, false, 10)},
      {"boxes checked", settings(false, false, 50), 50,
       [&](CDialog& d) {
         QTest::mouseClick(
             qobject_cast<QCheckBox*>(d.GetDlgItem(CMovieExportSettings::kTopDownCheck)),
             Qt::LeftButton);
         d.CheckDlgButton(CMovieExportSettings::kReportCheck, 1);
       },
       kIdOk, 1, settings(true, true, 50)},
      {"too low shows the least", settings(false, true, 0), 1, nullptr, kIdOk, 1,
       settings(false, true, 1)},
      {"too high shows the most", settings(true, false, 250), 100, nullptr, kIdOk, 1,
       settings(true, false, 100)},
      {"slider past its end", settings(false, false, 50), 50,
       [&](CDialog& d) { slider(d)->setValue(1000); }, kIdOk, 1, settings(false, false, 100)},
      {"cancel keeps", settings(true, false, 30), 30,
       [&](CDialog& d) {
         d.CheckDlgButton(CMovieExportSettings::kReportCheck, 0);
         slider(d)->setValue(90);
       },
       kIdCancel, 0, settings(true, false, 30)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CMovieExporter exporter;
    exporter.m_settings = c.given;
    CDialog::SetRunHook([&](CDialog& d) {
      EXPECT_EQ(d.GetTemplateId(), static_cast<UINT>(CMovieExportSettings::kDialogId));
      EXPECT_EQ(d.GetWindowText(), "Export Vimbrel Player");
      EXPECT_EQ(d.GetDlgItemText(CMovieExportSettings::kTopDownCheck), "Load top down");
      EXPECT_EQ(d.GetDlgItemText(CMovieExportSettings::kReportCheck), "Generate size report");
      EXPECT_EQ(d.IsDlgButtonChecked(CMovieExportSettings::kTopDownCheck), c.given.topDown ? 1 : 0);
      EXPECT_EQ(d.IsDlgButtonChecked(CMovieExportSettings::kReportCheck), c.given.report ? 1 : 0);
      QSlider* s = slider(d);
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(s->minimum(), 1);
      EXPECT_EQ(s->maximum(), 100);
      EXPECT_EQ(s->tickInterval(), 25);
      EXPECT_EQ(s->value(), c.shown_quality);
      if (c.edit) c.edit(d);
      d.PressButton(c.button);
    });
    EXPECT_EQ(exporter.DoOptionsDialog(), c.result);
    EXPECT_EQ(exporter.m_settings.report, c.want.report);
    EXPECT_EQ(exporter.m_settings.topDown, c.want.topDown);
    EXPECT_EQ(exporter.m_settings.quality, c.want.quality);
  }
  // The labels of the slider's ends.
  CMovieExportSettings s;
  CDialog::SetRunHook([](CDialog& d) {
    QStringList labels;
    for (QLabel* l : d.GetWidget()->findChildren<QLabel*>()) labels << l->text();
    EXPECT_TRUE(labels.contains("Bitmap &Quality"));
    EXPECT_TRUE(labels.contains("Low Quality\nSmall File"));
    EXPECT_TRUE(labels.contains("High"));
    d.PressButton(kIdCancel);
  });
  EXPECT_EQ(RunMovieExportDialog(s), 0);
}

}  // namespace
