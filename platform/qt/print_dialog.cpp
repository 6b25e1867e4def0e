#include "platform/qt/print_dialog.h"

#include <QBoxLayout>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cmath>

#include "platform/qt/dialog.h"
#include "platform/qt/guard.h"

namespace {

std::function<PrinterList()> g_printerSource;
std::function<void(CPrintDialog&)> g_printHook;
std::function<void(CPageSetupDialog&)> g_pageSetupHook;

// Why no dialog can run for this setup (0: it can).
DWORD PrinterError(const PrinterSetup& setup) {
  const PrinterList printers = AvailablePrinters();
  if (printers.names.empty()) return PDERR_NODEVICES;
  if (setup.printer.empty() && printers.default_name.empty()) return PDERR_NODEFAULTPRN;
  return 0;
}

int Thousandths(double inches) {
  return static_cast<int>(std::lround(inches * 1000.0));
}

// The setup onto a Qt printer (a printer that no longer exists gives way to
// the default one).
void ApplySetup(const PrinterSetup& setup, QPrinter& printer) {
  const PrinterList printers = AvailablePrinters();
  const bool known = std::find(printers.names.begin(), printers.names.end(), setup.printer) !=
                     printers.names.end();
  printer.setPrinterName(QString::fromStdString(known ? setup.printer : printers.default_name));
  if (setup.paper_width > 0 && setup.paper_height > 0)
    printer.setPageSize(QPageSize(QSizeF(setup.paper_width / 1000.0, setup.paper_height / 1000.0),
                                  QPageSize::Inch));
  printer.setPageOrientation(setup.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
  printer.setCopyCount(std::max(1, setup.copies));
}

void ReadSetup(const QPrinter& printer, PrinterSetup& setup) {
  setup.printer = printer.printerName().toStdString();
  const QSizeF paper = printer.pageLayout().pageSize().size(QPageSize::Inch);
  setup.paper_width = Thousandths(paper.width());
  setup.paper_height = Thousandths(paper.height());
  setup.landscape = printer.pageLayout().orientation() == QPageLayout::Landscape;
  setup.copies = printer.copyCount();
}

// A Qt dialog whose OK goes through the program's PressOK.
template <class Base, class Owner>
class CheckedDialog final : public Base {
 public:
  CheckedDialog(Owner& owner, QPrinter* printer, QWidget* parent)
      : Base(printer, parent), owner_(owner) {}
  void done(int r) override {
    if (r == QDialog::Accepted) {
      bool ok = false;
      RunGuarded(WM_COMMAND, [&] { ok = owner_.PressOK(); });
      if (!ok) return;  // the options page refused: the dialog stays
    }
    Base::done(r);
  }

 private:
  Owner& owner_;
};

}  // namespace

void SetPrinterSource(std::function<PrinterList()> source) {
  g_printerSource = std::move(source);
}

PrinterList AvailablePrinters() {
  if (g_printerSource) return g_printerSource();
  PrinterList list;
  for (const QString& name : QPrinterInfo::availablePrinterNames())
    list.names.push_back(name.toStdString());
  list.default_name = QPrinterInfo::defaultPrinterName().toStdString();
  return list;
}

// ---------------------------------------------------------------------------
// CPrinterDialogBase

bool CPrinterDialogBase::PressOK() {
  if (m_page != nullptr && !m_page->UpdateData(true)) return false;
  m_result = kIdOk;
  return true;
}

void CPrinterDialogBase::PressCancel() {
  m_result = kIdCancel;
}

bool CPrinterDialogBase::Begin(QWidget** pageWidget) {
  *pageWidget = nullptr;
  m_result = kIdCancel;
  m_error = PrinterError(setup);
  if (m_error != 0) return false;
  // The page as a plain widget for a Qt dialog to hold.
  if (m_page != nullptr && m_page->CreateModeless(nullptr)) {
    *pageWidget = m_page->GetWidget();
    (*pageWidget)->setWindowFlag(Qt::Widget);
  }
  return true;
}

int CPrinterDialogBase::End() {
  // Called before the Qt dialog, which holds the page's widget, goes.
  if (m_page != nullptr) m_page->DestroyWindow();
  return m_result;
}

// ---------------------------------------------------------------------------
// CPrintDialog

CPrintDialog::CPrintDialog(bool setupOnly, DWORD flags, CWnd* parent)
    : CPrinterDialogBase(parent), Flags(flags | (setupOnly ? PD_PRINTSETUP : 0)) {}

void CPrintDialog::SetHook(std::function<void(CPrintDialog& dlg)> hook) {
  g_printHook = std::move(hook);
}

int CPrintDialog::DoModal() {
  QWidget* pageWidget = nullptr;
  if (!Begin(&pageWidget)) return kIdCancel;
  if (g_printHook) {
    RunGuarded(0, [&] { g_printHook(*this); });
  } else {
    QPrinter printer(QPrinter::HighResolution);
    ApplySetup(setup, printer);
    const bool setupOnly = (Flags & PD_PRINTSETUP) != 0;
    if (!setupOnly) {
      printer.setFromTo(static_cast<int>(nFromPage), static_cast<int>(nToPage));
      if (Flags & PD_PAGENUMS) printer.setPrintRange(QPrinter::PageRange);
    }
    CheckedDialog<QPrintDialog, CPrintDialog> dlg(
        *this, &printer, m_parent != nullptr ? m_parent->GetWidget() : nullptr);
    QAbstractPrintDialog::PrintDialogOptions options = QAbstractPrintDialog::PrintToFile;
    if (!setupOnly && !(Flags & PD_NOPAGENUMS)) options |= QAbstractPrintDialog::PrintPageRange;
    if (!setupOnly && !(Flags & PD_NOSELECTION)) options |= QAbstractPrintDialog::PrintSelection;
    if (!setupOnly) options |= QAbstractPrintDialog::PrintShowPageSize;
    dlg.setOptions(options);
    dlg.setMinMax(static_cast<int>(nMinPage), static_cast<int>(nMaxPage));
    if (pageWidget != nullptr) dlg.setOptionTabs({pageWidget});
    if (dlg.exec() == QDialog::Accepted) {
      ReadSetup(printer, setup);
      nCopies = static_cast<UINT>(setup.copies);
      if (!setupOnly) {
        Flags &= ~(PD_PAGENUMS | PD_SELECTION);
        if (printer.printRange() == QPrinter::PageRange) {
          Flags |= PD_PAGENUMS;
          nFromPage = static_cast<UINT>(printer.fromPage());
          nToPage = static_cast<UINT>(printer.toPage());
        } else if (printer.printRange() == QPrinter::Selection) {
          Flags |= PD_SELECTION;
        }
      }
    }
    End();
  }
  return End();
}

// ---------------------------------------------------------------------------
// CPageSetupDialog

CPageSetupDialog::CPageSetupDialog(DWORD flags, CWnd* parent)
    : CPrinterDialogBase(parent), Flags(flags) {}

void CPageSetupDialog::SetHook(std::function<void(CPageSetupDialog& dlg)> hook) {
  g_pageSetupHook = std::move(hook);
}

int CPageSetupDialog::DoModal() {
  QWidget* pageWidget = nullptr;
  if (!Begin(&pageWidget)) return kIdCancel;
  if (g_pageSetupHook) {
    RunGuarded(0, [&] { g_pageSetupHook(*this); });
  } else {
    QPrinter printer(QPrinter::HighResolution);
    ApplySetup(setup, printer);
    if (Flags & PSD_MARGINS) {
      printer.setPageMargins(QMarginsF(rtMargin.left / 1000.0, rtMargin.top / 1000.0,
                                       rtMargin.right / 1000.0, rtMargin.bottom / 1000.0),
                             QPageLayout::Inch);
    }
    CheckedDialog<QPageSetupDialog, CPageSetupDialog> dlg(
        *this, &printer, m_parent != nullptr ? m_parent->GetWidget() : nullptr);
    // The program's controls go between the page settings and the buttons.
    if (auto* box = qobject_cast<QBoxLayout*>(dlg.layout()); box && pageWidget)
      box->insertWidget(std::max(0, box->count() - 1), pageWidget);
    if (dlg.exec() == QDialog::Accepted) {
      ReadSetup(printer, setup);
      const QMarginsF m = printer.pageLayout().margins(QPageLayout::Inch);
      rtMargin = CRect(Thousandths(m.left()), Thousandths(m.top()), Thousandths(m.right()),
                       Thousandths(m.bottom()));
    }
    End();
  }
  ptPaperSize = CSize(setup.landscape ? setup.paper_height : setup.paper_width,
                      setup.landscape ? setup.paper_width : setup.paper_height);
  return End();
}
