#include "movie/export/progress_dialog.h"

#include "movie/export/export_strings.h"

namespace {

// No user interface: nothing shows and nothing cancels.
class CSilentProgressWindow : public CProgressWindow {
 public:
  bool IsOwnerEnabled(ProgressOwner) override { return false; }
  void EnableOwner(ProgressOwner, bool) override {}
  bool Create(ProgressOwner, const char*, CProgressDlg&) override { return true; }
  void SetRange(int32_t, int32_t) override {}
  void SetStep(int32_t) override {}
  void SetPos(int32_t) override {}
  void PumpEvents() override {}
  bool AskYesNo(const char*) override { return true; }
  void Destroy() override {}
};

std::unique_ptr<CProgressWindow> MakeSilentWindow() {
  return std::make_unique<CSilentProgressWindow>();
}

ProgressWindowFactory g_factory = nullptr;

}  // namespace

ProgressWindowFactory SetProgressWindowFactory(ProgressWindowFactory factory) {
  ProgressWindowFactory old = g_factory;
  g_factory = factory;
  return old;
}

CProgressDlg::CProgressDlg(uint32_t captionId)
    : m_captionId(captionId != 0 ? captionId : kIdsWorking) {}

CProgressDlg::~CProgressDlg() {
  Destroy();
}

bool CProgressDlg::Create(ProgressOwner owner) {
  Destroy();
  m_window = g_factory != nullptr ? g_factory() : MakeSilentWindow();
  if (m_window == nullptr) return false;
  m_owner = owner;
  if (m_window->IsOwnerEnabled(owner)) {
    m_window->EnableOwner(owner, false);
    m_disabledOwner = true;
  }
  if (!m_window->Create(owner, ExportString(m_captionId), *this)) {
    if (m_disabledOwner) m_window->EnableOwner(owner, true);
    m_disabledOwner = false;
    m_window.reset();
    return false;
  }
  m_window->SetRange(m_low, m_high);
  m_window->SetStep(m_step);
  m_window->SetPos(m_low);
  return true;
}

void CProgressDlg::SetRange(int32_t low, int32_t high) {
  m_low = low;
  m_high = high;
  if (m_window != nullptr) m_window->SetRange(low, high);
}

void CProgressDlg::SetPos(int32_t position) {
  if (m_window == nullptr) return;
  m_window->PumpEvents();
  m_window->SetPos(position);
}

bool CProgressDlg::CheckCancel() {
  if (m_window == nullptr) return false;
  m_window->PumpEvents();
  if (!m_cancelPressed) return false;
  m_cancelPressed = false;
  return m_window->AskYesNo(ExportString(kIdsConfirmCancel));
}

void CProgressDlg::Destroy() {
  if (m_window == nullptr) return;
  if (m_disabledOwner) m_window->EnableOwner(m_owner, true);
  m_disabledOwner = false;
  m_window->Destroy();
  m_window.reset();
}
