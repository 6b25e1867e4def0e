// The print and page-setup dialogs, over Qt's, with the fields the old
// common dialogs had: page range and copies, margins in thousandths of an
// inch, and the printer choice a document keeps. A program's own controls
// (a dialog layout from the resource store) can be shown with them as an
// options page; its data exchange runs before OK closes the dialog and can
// refuse.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/qt/win_types.h"

class CDialog;
class CWnd;
class QWidget;

// Print dialog flags.
constexpr DWORD PD_ALLPAGES = 0x0;
constexpr DWORD PD_SELECTION = 0x1;
constexpr DWORD PD_PAGENUMS = 0x2;
constexpr DWORD PD_NOSELECTION = 0x4;
constexpr DWORD PD_NOPAGENUMS = 0x8;
constexpr DWORD PD_PRINTSETUP = 0x40;
constexpr DWORD PD_USEDEVMODECOPIES = 0x40000;
// Page setup flags.
constexpr DWORD PSD_MARGINS = 0x2;
constexpr DWORD PSD_INTHOUSANDTHSOFINCHES = 0x4;
constexpr DWORD PSD_ENABLEPAGESETUPTEMPLATE = 0x8000;
// Why a dialog could not run (it then counts as cancelled).
constexpr DWORD PDERR_NODEVICES = 4105;
constexpr DWORD PDERR_NODEFAULTPRN = 4107;

// The printer choice a document keeps: the printer's name (empty: the
// default printer), paper size in thousandths of an inch (0: the printer's
// default), orientation and copies.
struct PrinterSetup {
  std::string printer;
  int paper_width = 0;
  int paper_height = 0;
  bool landscape = false;
  int copies = 1;
  bool operator==(const PrinterSetup&) const = default;
};

// The printers there are; the default is empty when none is set.
struct PrinterList {
  std::vector<std::string> names;
  std::string default_name;
};
// Replaces the system's printer list (tests); null goes back to it.
void SetPrinterSource(std::function<PrinterList()> source);
PrinterList AvailablePrinters();

// What the two dialogs share: the printer setup, the options page, the
// reason a dialog could not run, and its OK and Cancel.
class CPrinterDialogBase {
 public:
  PrinterSetup setup;  // in and out

  // Controls of the program's own shown as an options page (not owned;
  // built and destroyed by DoModal).
  void SetOptionsPage(CDialog* page) { m_page = page; }
  CDialog* OptionsPage() const { return m_page; }
  // Why the last DoModal cancelled at once: 0, PDERR_NODEVICES, or
  // PDERR_NODEFAULTPRN (the setup names no printer and none is the default).
  DWORD GetExtendedError() const { return m_error; }
  // What the dialog's OK and Cancel buttons do (hooks call them): OK lets
  // the options page validate and returns false (the dialog stays) when it
  // refuses.
  bool PressOK();
  void PressCancel();

 protected:
  explicit CPrinterDialogBase(CWnd* parent) : m_parent(parent) {}
  // Checks the printers and builds the options page (its widget, or null,
  // in pageWidget); false when the dialog cannot run.
  bool Begin(QWidget** pageWidget);
  // Destroys the options page's window; the result the dialog ended with.
  int End();

  CWnd* m_parent;
  CDialog* m_page = nullptr;
  DWORD m_error = 0;
  int m_result = 0;
};

class CPrintDialog : public CPrinterDialogBase {
 public:
  // setupOnly: printer and paper only (PD_PRINTSETUP is added).
  explicit CPrintDialog(bool setupOnly,
                        DWORD flags = PD_ALLPAGES | PD_USEDEVMODECOPIES | PD_NOSELECTION,
                        CWnd* parent = nullptr);
  DWORD Flags;
  UINT nFromPage = 1;
  UINT nToPage = 1;
  UINT nMinPage = 1;
  UINT nMaxPage = 0xFFFF;
  UINT nCopies = 1;

  // kIdOk or kIdCancel. No printer, or no default printer when the setup
  // names none, cancels at once with the reason in GetExtendedError.
  int DoModal();
  bool PrintAll() const { return (Flags & (PD_PAGENUMS | PD_SELECTION)) == 0; }
  bool PrintRange() const { return (Flags & PD_PAGENUMS) != 0; }
  int GetFromPage() const { return static_cast<int>(nFromPage); }
  int GetToPage() const { return static_cast<int>(nToPage); }
  std::string GetDeviceName() const { return setup.printer; }

  // Replaces the Qt dialog (tests): called with the dialog set up and the
  // options page built; the result is what it was ended with (kIdCancel
  // unless PressOK succeeded).
  static void SetHook(std::function<void(CPrintDialog& dlg)> hook);
};

class CPageSetupDialog : public CPrinterDialogBase {
 public:
  explicit CPageSetupDialog(DWORD flags = PSD_MARGINS | PSD_INTHOUSANDTHSOFINCHES,
                            CWnd* parent = nullptr);
  DWORD Flags;
  CRect rtMargin;     // left, top, right, bottom margins, thousandths of an inch
  CSize ptPaperSize;  // out: the paper, thousandths of an inch (as oriented)

  // As CPrintDialog's.
  int DoModal();
  static void SetHook(std::function<void(CPageSetupDialog& dlg)> hook);
};
