// CProgressDlg: the modeless progress window with a Cancel button that long
// exports and imports show. Its state and rules live here, free of the user
// interface; the window itself (template 217: Cancel button 2, progress bar
// 1003) is reached through CProgressWindow, which the editor's dialog
// library implements and tests replace with a scripted double.
//
// The window is application-modal without a nested event loop: pumping its
// events lets the user press Cancel, and nothing else can change the
// document meanwhile, because the owner stays disabled until the dialog is
// destroyed.
#pragma once

#include <cstdint>
#include <memory>

class CProgressDlg;

// Owner windows are identified by the platform's window handle; 0 stands for
// the application's main window.
using ProgressOwner = uintptr_t;

class CProgressWindow {
 public:
  virtual ~CProgressWindow() = default;
  virtual bool IsOwnerEnabled(ProgressOwner owner) = 0;
  virtual void EnableOwner(ProgressOwner owner, bool enable) = 0;
  // Creates the window with its caption; its Cancel button calls
  // dialog.OnCancel(). False when the window cannot be made.
  virtual bool Create(ProgressOwner owner, const char* caption, CProgressDlg& dialog) = 0;
  virtual void SetRange(int32_t low, int32_t high) = 0;
  virtual void SetStep(int32_t step) = 0;
  virtual void SetPos(int32_t position) = 0;
  // Dispatches every pending window message (not those the dialog itself
  // pre-translates).
  virtual void PumpEvents() = 0;
  // Asks a Yes/No question; true for Yes.
  virtual bool AskYesNo(const char* text) = 0;
  virtual void Destroy() = 0;
};

// Makes the window of every new progress dialog. The editor installs its
// own; the default makes a window that shows nothing and is never cancelled.
using ProgressWindowFactory = std::unique_ptr<CProgressWindow> (*)();
// Returns the previous factory; null installs the default again.
ProgressWindowFactory SetProgressWindowFactory(ProgressWindowFactory factory);

class CProgressDlg {
 public:
  static constexpr uint32_t kTemplateId = 217;
  static constexpr int kCancelButton = 2;
  static constexpr int kProgressBar = 1003;

  // captionId 0 takes the default caption (string 223).
  explicit CProgressDlg(uint32_t captionId = 0);
  // Destroys the window.
  ~CProgressDlg();
  CProgressDlg(const CProgressDlg&) = delete;
  CProgressDlg& operator=(const CProgressDlg&) = delete;

  // Disables an enabled owner (and remembers that), then makes the window
  // with the range, step, low position and caption. On failure the owner is
  // enabled again and the result is false.
  bool Create(ProgressOwner owner = 0);
  void SetRange(int32_t low, int32_t high);
  // Dispatches pending messages first, then sets the position.
  void SetPos(int32_t position);
  // Dispatches pending messages; when Cancel was pressed since the last call,
  // clears that and asks string 486 with Yes and No: true only for Yes.
  bool CheckCancel();
  // The Cancel button: only notes that it was pressed.
  void OnCancel() { m_cancelPressed = true; }
  // Enables the owner when this dialog disabled it, then destroys the
  // window. Nothing when there is none.
  void Destroy();

  uint32_t m_captionId;
  int32_t m_low = 0;
  int32_t m_high = 100;
  int32_t m_step = 10;
  bool m_cancelPressed = false;
  bool m_disabledOwner = false;

 private:
  std::unique_ptr<CProgressWindow> m_window;
  ProgressOwner m_owner = 0;
};
