// Dialogs: a dialog base whose controls come from a layout in the resource
// store and are found by id; data exchange and validation between controls
// and member variables; property sheets with pages; the file dialogs.
//
// Numbers in dialogs are written and read independently of the user's
// locale (a point, never a comma, as the decimal separator).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/qt/frame.h"
#include "platform/qt/resources.h"

class QWidget;
class CDialog;

// The dialog ids of the buttons every dialog knows.
constexpr UINT kIdOk = 1;
constexpr UINT kIdCancel = 2;
constexpr UINT kIdHelpButton = 1038;
// Help contexts of dialogs: this plus the dialog's template id.
constexpr UINT kDialogHelpBase = 0x20000;
// Framework strings of the data exchange (in the resource store).
constexpr UINT kStrParseInt = 0xF110;
constexpr UINT kStrParseReal = 0xF111;
constexpr UINT kStrParseIntRange = 0xF112;
constexpr UINT kStrParseRealRange = 0xF113;
constexpr UINT kStrParseStringSize = 0xF114;
// Enters those strings (a program's own table may replace them).
void RegisterFrameworkStrings();

// Locale-independent numbers: shortest form that reads back the same.
std::string FormatInt(long long value);
std::string FormatReal(double value);
// The whole text must be the number (surrounding blanks allowed).
bool ParseInt(std::string_view text, long long& value);
bool ParseReal(std::string_view text, double& value);

// One exchange: from the controls (save and validate) or to them.
class CDataExchange {
 public:
  CDataExchange(CDialog* dlg, bool saveAndValidate)
      : m_pDlg(dlg), m_bSaveAndValidate(saveAndValidate) {}
  // Marks the control the next validation refers to; null when missing.
  QWidget* PrepareCtrl(UINT id);
  // Validation failed: the focus goes to the last control, the exchange
  // stops (a user exception that UpdateData catches).
  [[noreturn]] void Fail();

  CDialog* m_pDlg;
  bool m_bSaveAndValidate;
  UINT m_idLastControl = 0;
};

void DDX_Text(CDataExchange* dx, UINT id, int& value);
void DDX_Text(CDataExchange* dx, UINT id, long long& value);
void DDX_Text(CDataExchange* dx, UINT id, double& value);
void DDX_Text(CDataExchange* dx, UINT id, std::string& value);
// Check boxes: 0 off, 1 on, 2 indeterminate (three-state boxes).
void DDX_Check(CDataExchange* dx, UINT id, int& value);
// Radio buttons: the index within the group starting at id (-1: none).
void DDX_Radio(CDataExchange* dx, UINT id, int& value);
void DDX_CBIndex(CDataExchange* dx, UINT id, int& index);
void DDX_CBString(CDataExchange* dx, UINT id, std::string& value);
void DDX_LBIndex(CDataExchange* dx, UINT id, int& index);
void DDX_Slider(CDataExchange* dx, UINT id, int& pos);
// Range checks on the value just exchanged (only when saving): the range
// message ("between %1 and %2") and Fail.
void DDV_MinMaxInt(CDataExchange* dx, long long value, long long minVal, long long maxVal);
void DDV_MinMaxDouble(CDataExchange* dx, double value, double minVal, double maxVal);
void DDV_MaxChars(CDataExchange* dx, const std::string& value, int maxChars);

class CDialog : public CWnd {
  VM_DECLARE_DYNAMIC(CDialog)

 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override;

  // Builds the dialog, runs it modally and returns the id that ended it
  // (kIdOk, kIdCancel, or what EndDialog was given); -1 when the layout is missing.
  virtual int DoModal();
  // A modeless dialog (property pages, floating panels): built and shown.
  bool CreateModeless(CWnd* parent);

  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void OnHelp();
  virtual void DoDataExchange(CDataExchange* dx);
  // Exchanges all controls; false (focus on the failing control, nothing
  // else changed) when a value is refused.
  bool UpdateData(bool saveAndValidate = true);
  void EndDialog(int result);
  bool IsEnded() const { return m_ended; }
  UINT GetTemplateId() const { return m_templateId; }

  // Controls by id.
  QWidget* GetDlgItem(UINT id) const;
  std::string GetDlgItemText(UINT id) const;
  void SetDlgItemText(UINT id, std::string_view text);
  void CheckDlgButton(UINT id, int check);
  int IsDlgButtonChecked(UINT id) const;
  // Fills a combo or list box.
  void AddString(UINT id, std::string_view text);
  // A value kept with an item (owner-drawn items find their object by it);
  // 0 for a missing item.
  void SetItemData(UINT id, int index, UINT_PTR data);
  UINT_PTR GetItemData(UINT id, int index) const;
  // The id of the control that has (or was given) the focus; 0 for none.
  UINT GetFocusId() const;
  void GotoDlgCtrl(UINT id);
  // Presses a button as the user would (runs OnOK, OnCancel, OnHelp, or
  // sends WM_COMMAND with the id).
  void PressButton(UINT id);

  // Replaces the modal loop (tests): called once the dialog is initialised
  // and shown; the dialog ends with what it was ended with, or kIdCancel.
  static void SetRunHook(std::function<void(CDialog& dlg)> hook);
  // Shows help for a context (the default does nothing: there is no help system).
  static void SetHelpHook(std::function<void(UINT context)> hook);

 protected:
  bool BuildControls();

 private:
  UINT m_templateId;
  CWnd* m_parentWnd;
  int m_result = kIdCancel;
  bool m_ended = false;
  UINT m_focusId = 0;
  std::vector<std::pair<UINT, QWidget*>> m_controls;
  class QEventLoop* m_loop = nullptr;
};

class CPropertyPage : public CDialog {
  VM_DECLARE_DYNAMIC(CPropertyPage)

 public:
  explicit CPropertyPage(UINT templateId) : CDialog(templateId) {}
  virtual BOOL OnSetActive() { return 1; }
  virtual BOOL OnKillActive() { return UpdateData(true) ? 1 : 0; }
};

// A dialog of tabbed pages. OK lets every page that was shown validate
// (a refusing page is brought to the front and the sheet stays open).
class CPropertySheet : public CWnd {
  VM_DECLARE_DYNAMIC(CPropertySheet)

 public:
  explicit CPropertySheet(std::string_view caption, CWnd* parent = nullptr);
  ~CPropertySheet() override;
  void AddPage(CPropertyPage* page) { m_pages.push_back(page); }
  int GetPageCount() const { return static_cast<int>(m_pages.size()); }
  int GetActiveIndex() const { return m_active; }
  bool SetActivePage(int index);
  int DoModal();
  // OK and Cancel as the buttons do them (the run hook calls them).
  bool PressOK();
  void PressCancel();
  static void SetRunHook(std::function<void(CPropertySheet& sheet)> hook);

 private:
  std::string m_caption;
  CWnd* m_parentWnd;
  std::vector<CPropertyPage*> m_pages;
  std::vector<bool> m_shown;
  int m_active = 0;
  int m_result = kIdCancel;
  class QTabWidget* m_tabs = nullptr;
  class QEventLoop* m_loop = nullptr;
};

// The file-open and file-save dialogs. Filters are written "Name|*.a;*.b|...||".
class CFileDialog {
 public:
  CFileDialog(bool open, std::string_view defaultExt = {}, std::string_view fileName = {},
              std::string_view filter = {}, CWnd* parent = nullptr);
  std::string m_title;
  bool m_fileMustExist = false;
  int DoModal();
  std::string GetPathName() const { return m_path; }
  // The filter in Qt's form ("Name (*.a *.b);;...").
  static std::string ToQtFilter(std::string_view filter);
  // Replaces the dialog (tests): answers the chosen path, empty for cancel.
  static void SetHook(std::function<std::string(const CFileDialog& dlg)> hook);

  bool IsOpen() const { return m_open; }
  const std::string& Filter() const { return m_filter; }

 private:
  bool m_open;
  std::string m_defaultExt;
  std::string m_path;
  std::string m_filter;
  CWnd* m_parent;
};
