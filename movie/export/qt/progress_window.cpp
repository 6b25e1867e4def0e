#include "movie/export/qt/progress_window.h"

#include <QCoreApplication>
#include <QProgressBar>
#include <algorithm>

#include "platform/qt/dialog.h"
#include "platform/qt/message_box.h"

namespace {

// The owner's window: the given handle, or the application's main window.
CWnd* OwnerWindow(ProgressOwner owner) {
  if (owner != 0) return CWnd::FromHandle(reinterpret_cast<HWND>(owner));
  CWinApp* app = AfxGetApp();
  return app != nullptr ? app->m_pMainWnd : nullptr;
}

// The dialog of template 217. Cancel (the button, or closing the
// window) only tells the progress dialog; the window stays until the
// progress dialog destroys it.
class CProgressDialogWnd : public CDialog {
 public:
  explicit CProgressDialogWnd(CProgressDlg& progress)
      : CDialog(CProgressDlg::kTemplateId), m_progress(progress) {}

  BOOL OnInitDialog() override {
    // Set before the window is first shown (Qt takes modality at show time).
    GetWidget()->setWindowModality(Qt::ApplicationModal);
    return CDialog::OnInitDialog();
  }
  void OnOK() override {}
  void OnCancel() override { m_progress.OnCancel(); }
  void OnClose() override { m_progress.OnCancel(); }

  QProgressBar* Bar() const {
    return qobject_cast<QProgressBar*>(GetDlgItem(CProgressDlg::kProgressBar));
  }

 private:
  CProgressDlg& m_progress;
};

class CQtProgressWindow : public CProgressWindow {
 public:
  ~CQtProgressWindow() override { Destroy(); }

  bool IsOwnerEnabled(ProgressOwner owner) override {
    CWnd* wnd = OwnerWindow(owner);
    return wnd != nullptr && wnd->IsWindowEnabled();
  }
  void EnableOwner(ProgressOwner owner, bool enable) override {
    if (CWnd* wnd = OwnerWindow(owner)) wnd->EnableWindow(enable);
  }
  bool Create(ProgressOwner owner, const char* caption, CProgressDlg& dialog) override {
    m_wnd = std::make_unique<CProgressDialogWnd>(dialog);
    if (!m_wnd->CreateModeless(OwnerWindow(owner))) {
      m_wnd.reset();
      return false;
    }
    m_wnd->SetWindowText(caption);
    return true;
  }
  void SetRange(int32_t low, int32_t high) override {
    if (QProgressBar* bar = Bar()) bar->setRange(low, std::max(low, high));
  }
  // The bar is only ever moved to positions.
  void SetStep(int32_t) override {}
  void SetPos(int32_t position) override {
    // Past either end the bar shows the end (Qt's bar would ignore the value).
    if (QProgressBar* bar = Bar())
      bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
  }
  void PumpEvents() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
  bool AskYesNo(const char* text) override {
    return AfxMessageBox(text, MB_YESNO | MB_ICONQUESTION) == IDYES;
  }
  void Destroy() override {
    if (m_wnd == nullptr) return;
    m_wnd->DestroyWindow();
    m_wnd.reset();
  }

 private:
  QProgressBar* Bar() const { return m_wnd != nullptr ? m_wnd->Bar() : nullptr; }

  std::unique_ptr<CProgressDialogWnd> m_wnd;
};

}  // namespace

std::unique_ptr<CProgressWindow> MakeProgressWindow() {
  return std::make_unique<CQtProgressWindow>();
}
