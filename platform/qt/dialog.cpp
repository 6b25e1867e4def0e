#include "platform/qt/dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>

#include <algorithm>

#include "platform/core/exceptions.h"
#include "platform/qt/guard.h"
#include "platform/qt/message_box.h"
#include "platform/qt/owner_draw.h"
#include "platform/qt/wnd_widget.h"

VM_IMPLEMENT_DYNAMIC(CDialog, CWnd)
VM_IMPLEMENT_DYNAMIC(CPropertyPage, CDialog)
VM_IMPLEMENT_DYNAMIC(CPropertySheet, CWnd)

namespace {

std::function<void(CDialog&)> g_runHook;
std::function<void(UINT)> g_helpHook;
std::function<void(CPropertySheet&)> g_sheetHook;
std::function<std::string(const CFileDialog&)> g_fileHook;

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

void EnsureDialogClass() {
  if (FindWindowClass("PL_Dialog") == nullptr) RegisterWindowClass("PL_Dialog", 0);
}

}  // namespace

void RegisterFrameworkStrings() {
  CResourceStore& r = Resources();
  if (!r.HasString(kStrParseInt)) r.AddString(kStrParseInt, "Please enter an integer.");
  if (!r.HasString(kStrParseReal)) r.AddString(kStrParseReal, "Please enter a number.");
  if (!r.HasString(kStrParseIntRange))
    r.AddString(kStrParseIntRange, "Please enter an integer between %1 and %2.");
  if (!r.HasString(kStrParseRealRange))
    r.AddString(kStrParseRealRange, "Please enter a number between %1 and %2.");
  if (!r.HasString(kStrParseStringSize))
    r.AddString(kStrParseStringSize, "Please enter no more than %1 characters.");
}

std::string FormatInt(long long value) {
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof(buf), value);
  return std::string(buf, res.ptr);
}

std::string FormatReal(double value) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof(buf), value);
  return std::string(buf, res.ptr);
}

bool ParseInt(std::string_view text, long long& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  auto res = std::from_chars(text.data(), text.data() + text.size(), value);
  return res.ec == std::errc() && res.ptr == text.data() + text.size();
}

bool ParseReal(std::string_view text, double& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  double v = 0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), v);
  if (res.ec != std::errc() || res.ptr != text.data() + text.size() || !std::isfinite(v))
    return false;
  value = v;
  return true;
}

// ---------------------------------------------------------------------------
// Data exchange

QWidget* CDataExchange::PrepareCtrl(UINT id) {
  m_idLastControl = id;
  return m_pDlg->GetDlgItem(id);
}

void CDataExchange::Fail() {
  if (m_idLastControl != 0) m_pDlg->GotoDlgCtrl(m_idLastControl);
  throw CUserException();
}

namespace {

template <class T>
T* Ctrl(CDataExchange* dx, UINT id) {
  return qobject_cast<T*>(dx->PrepareCtrl(id));
}

void TextInt(CDataExchange* dx, UINT id, long long& value, long long lo, long long hi) {
  auto* edit = Ctrl<QLineEdit>(dx, id);
  if (edit == nullptr) return;
  if (!dx->m_bSaveAndValidate) {
    edit->setText(Q(FormatInt(value)));
    return;
  }
  long long v = 0;
  if (!ParseInt(edit->text().toStdString(), v) || v < lo || v > hi) {
    RegisterFrameworkStrings();
    AfxMessageBox(kStrParseInt, MB_ICONEXCLAMATION);
    dx->Fail();
  }
  value = v;
}

}  // namespace

void DDX_Text(CDataExchange* dx, UINT id, int& value) {
  long long v = value;
  TextInt(dx, id, v, INT32_MIN, INT32_MAX);
  value = static_cast<int>(v);
}

void DDX_Text(CDataExchange* dx, UINT id, long long& value) {
  TextInt(dx, id, value, INT64_MIN, INT64_MAX);
}

void DDX_Text(CDataExchange* dx, UINT id, double& value) {
  auto* edit = Ctrl<QLineEdit>(dx, id);
  if (edit == nullptr) return;
  if (!dx->m_bSaveAndValidate) {
    edit->setText(Q(FormatReal(value)));
    return;
  }
  double v = 0;
  if (!ParseReal(edit->text().toStdString(), v)) {
    RegisterFrameworkStrings();
    AfxMessageBox(kStrParseReal, MB_ICONEXCLAMATION);
    dx->Fail();
  }
  value = v;
}

void DDX_Text(CDataExchange* dx, UINT id, std::string& value) {
  auto* edit = Ctrl<QLineEdit>(dx, id);
  if (edit == nullptr) return;
  if (dx->m_bSaveAndValidate) {
    value = edit->text().toStdString();
  } else {
    edit->setText(Q(value));
  }
}

void DDX_Check(CDataExchange* dx, UINT id, int& value) {
  auto* box = Ctrl<QCheckBox>(dx, id);
  if (box == nullptr) return;
  if (dx->m_bSaveAndValidate) {
    Qt::CheckState s = box->checkState();
    value = s == Qt::Checked ? 1 : s == Qt::PartiallyChecked ? 2 : 0;
  } else {
    if (value == 2) box->setTristate(true);
    box->setCheckState(value == 1   ? Qt::Checked
                       : value == 2 ? Qt::PartiallyChecked
                                    : Qt::Unchecked);
  }
}

void DDX_Radio(CDataExchange* dx, UINT id, int& value) {
  dx->PrepareCtrl(id);
  // The group: consecutive radio buttons from id on.
  std::vector<QRadioButton*> group;
  for (UINT i = id;; ++i) {
    auto* r = qobject_cast<QRadioButton*>(dx->m_pDlg->GetDlgItem(i));
    if (r == nullptr) break;
    group.push_back(r);
  }
  if (dx->m_bSaveAndValidate) {
    value = -1;
    for (size_t i = 0; i < group.size(); ++i)
      if (group[i]->isChecked()) value = static_cast<int>(i);
  } else {
    for (size_t i = 0; i < group.size(); ++i) group[i]->setChecked(static_cast<int>(i) == value);
  }
}

void DDX_CBIndex(CDataExchange* dx, UINT id, int& index) {
  auto* combo = Ctrl<QComboBox>(dx, id);
  if (combo == nullptr) return;
  if (dx->m_bSaveAndValidate) {
    index = combo->currentIndex();
  } else {
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
  }
}

void DDX_CBString(CDataExchange* dx, UINT id, std::string& value) {
  auto* combo = Ctrl<QComboBox>(dx, id);
  if (combo == nullptr) return;
  if (dx->m_bSaveAndValidate) {
    value = combo->currentText().toStdString();
  } else {
    int i = combo->findText(Q(value));
    if (i >= 0) {
      combo->setCurrentIndex(i);
    } else if (combo->isEditable()) {
      combo->setEditText(Q(value));
    }
  }
}

void DDX_LBIndex(CDataExchange* dx, UINT id, int& index) {
  auto* list = Ctrl<QListWidget>(dx, id);
  if (list == nullptr) return;
  if (dx->m_bSaveAndValidate) {
    index = list->currentRow();
  } else {
    list->setCurrentRow(index >= 0 && index < list->count() ? index : -1);
  }
}

void DDX_Slider(CDataExchange* dx, UINT id, int& pos) {
  auto* slider = Ctrl<QSlider>(dx, id);
  if (slider == nullptr) return;
  if (dx->m_bSaveAndValidate) {
    pos = slider->value();
  } else {
    slider->setValue(pos);
  }
}

void DDV_MinMaxInt(CDataExchange* dx, long long value, long long minVal, long long maxVal) {
  if (!dx->m_bSaveAndValidate || (value >= minVal && value <= maxVal)) return;
  RegisterFrameworkStrings();
  AfxMessageBox(AfxFormatString2(kStrParseIntRange, FormatInt(minVal), FormatInt(maxVal)),
                MB_ICONEXCLAMATION, kStrParseIntRange);
  dx->Fail();
}

void DDV_MinMaxDouble(CDataExchange* dx, double value, double minVal, double maxVal) {
  if (!dx->m_bSaveAndValidate || (value >= minVal && value <= maxVal)) return;
  RegisterFrameworkStrings();
  AfxMessageBox(AfxFormatString2(kStrParseRealRange, FormatReal(minVal), FormatReal(maxVal)),
                MB_ICONEXCLAMATION, kStrParseRealRange);
  dx->Fail();
}

void DDV_MaxChars(CDataExchange* dx, const std::string& value, int maxChars) {
  if (!dx->m_bSaveAndValidate || QString::fromStdString(value).size() <= maxChars) return;
  RegisterFrameworkStrings();
  AfxMessageBox(AfxFormatString1(kStrParseStringSize, FormatInt(maxChars)), MB_ICONEXCLAMATION,
                kStrParseStringSize);
  dx->Fail();
}

// ---------------------------------------------------------------------------
// CDialog

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parentWnd(parent) {}

CDialog::~CDialog() = default;

bool CDialog::BuildControls() {
  const DialogDef* def = Resources().FindDialog(m_templateId);
  if (def == nullptr) return false;
  EnsureDialogClass();
  QWidget* parent = m_parentWnd != nullptr ? m_parentWnd->GetWidget() : nullptr;
  CRect rect(0, 0, def->size.cx, def->size.cy);
  if (parent != nullptr) {
    // Centred on the owner.
    CRect owner = m_parentWnd->GetWindowRect();
    rect.OffsetRect(owner.CenterPoint().x - def->size.cx / 2,
                    owner.CenterPoint().y - def->size.cy / 2);
  }
  if (!Create("PL_Dialog", def->caption, 0, rect, nullptr, m_templateId)) return false;
  QWidget* w = GetWidget();
  w->setWindowFlag(Qt::Dialog);
  m_controls.clear();
  for (const DialogControlDef& c : def->controls) {
    QWidget* ctl = nullptr;
    QString text = Q(c.text);
    switch (c.kind) {
      case DialogControlDef::kStatic:
        ctl = new QLabel(text, w);
        break;
      case DialogControlDef::kEdit: {
        auto* e = new QLineEdit(text, w);
        QObject::connect(e, &QLineEdit::returnPressed, e,
                         [this] { RunGuarded(WM_COMMAND, [this] { PressButton(kIdOk); }); });
        ctl = e;
        break;
      }
      case DialogControlDef::kButton:
      case DialogControlDef::kDefButton: {
        auto* b = new QPushButton(text, w);
        b->setDefault(c.kind == DialogControlDef::kDefButton);
        UINT id = c.id;
        QObject::connect(b, &QPushButton::clicked, b,
                         [this, id] { RunGuarded(WM_COMMAND, [this, id] { PressButton(id); }); });
        ctl = b;
        break;
      }
      case DialogControlDef::kCheckBox:
      case DialogControlDef::kAuto3State: {
        auto* b = new QCheckBox(text, w);
        b->setTristate(c.kind == DialogControlDef::kAuto3State);
        ctl = b;
        break;
      }
      case DialogControlDef::kRadio:
        ctl = new QRadioButton(text, w);
        break;
      case DialogControlDef::kGroupBox:
        ctl = new QGroupBox(text, w);
        break;
      case DialogControlDef::kComboBox:
        ctl = new QComboBox(w);
        break;
      case DialogControlDef::kListBox:
        ctl = new QListWidget(w);
        break;
      case DialogControlDef::kOwnerDrawList: {
        auto* list = new QListWidget(w);
        MakeOwnerDrawn(list, GetSafeHwnd(), c.id);
        ctl = list;
        break;
      }
      case DialogControlDef::kOwnerDrawCombo:
        ctl = new COwnerDrawComboBox(GetSafeHwnd(), c.id, w);
        break;
      case DialogControlDef::kSlider:
        ctl = new QSlider(Qt::Horizontal, w);
        break;
      case DialogControlDef::kProgressBar: {
        auto* bar = new QProgressBar(w);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);  // the bar alone, no percentage
        ctl = bar;
        break;
      }
    }
    ctl->setGeometry(c.rect.left, c.rect.top, c.rect.Width(), c.rect.Height());
    ctl->setProperty("vmId", c.id);
    if (c.kind == DialogControlDef::kGroupBox) ctl->lower();
    m_controls.emplace_back(c.id, ctl);
  }
  return true;
}

int CDialog::DoModal() {
  m_ended = false;
  m_result = kIdCancel;
  if (!BuildControls()) return -1;
  bool init = true;
  RunGuarded(WM_INITDIALOG, [&] { init = OnInitDialog() != 0; });
  if (!m_ended) {
    if (g_runHook) {
      ShowWindow(SW_SHOW);
      RunGuarded(0, [&] { g_runHook(*this); });
    } else {
      GetWidget()->setWindowModality(Qt::ApplicationModal);
      ShowWindow(SW_SHOW);
      QEventLoop loop;
      m_loop = &loop;
      loop.exec(QEventLoop::DialogExec);
      m_loop = nullptr;
    }
  }
  (void)init;
  DestroyWindow();
  return m_result;
}

bool CDialog::CreateModeless(CWnd* parent) {
  m_parentWnd = parent;
  if (!BuildControls()) return false;
  RunGuarded(WM_INITDIALOG, [&] { OnInitDialog(); });
  ShowWindow(SW_SHOW);
  return true;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(false);
  return 1;
}

void CDialog::OnOK() {
  if (!UpdateData(true)) return;
  EndDialog(kIdOk);
}

void CDialog::OnCancel() {
  EndDialog(kIdCancel);
}

void CDialog::OnHelp() {
  if (g_helpHook) g_helpHook(kDialogHelpBase + m_templateId);
}

void CDialog::DoDataExchange(CDataExchange*) {}

bool CDialog::UpdateData(bool saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  try {
    DoDataExchange(&dx);
  } catch (const CUserException&) {
    return false;
  }
  return true;
}

void CDialog::EndDialog(int result) {
  m_result = result;
  m_ended = true;
  if (m_loop != nullptr) m_loop->exit(result);
}

QWidget* CDialog::GetDlgItem(UINT id) const {
  for (const auto& [cid, w] : m_controls) {
    if (cid == id) return w;
  }
  return nullptr;
}

std::string CDialog::GetDlgItemText(UINT id) const {
  QWidget* w = GetDlgItem(id);
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
  if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText().toStdString();
  return {};
}

void CDialog::SetDlgItemText(UINT id, std::string_view text) {
  QWidget* w = GetDlgItem(id);
  if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(Q(text));
  if (auto* l = qobject_cast<QLabel*>(w)) l->setText(Q(text));
  if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(Q(text));
  if (auto* c = qobject_cast<QComboBox*>(w); c != nullptr && c->isEditable())
    c->setEditText(Q(text));
}

void CDialog::CheckDlgButton(UINT id, int check) {
  auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(id));
  if (b == nullptr) return;
  if (auto* box = qobject_cast<QCheckBox*>(b); box != nullptr && check == 2) {
    box->setTristate(true);
    box->setCheckState(Qt::PartiallyChecked);
    return;
  }
  b->setChecked(check != 0);
}

int CDialog::IsDlgButtonChecked(UINT id) const {
  auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(id));
  if (b == nullptr) return 0;
  if (auto* box = qobject_cast<QCheckBox*>(b)) {
    Qt::CheckState s = box->checkState();
    return s == Qt::Checked ? 1 : s == Qt::PartiallyChecked ? 2 : 0;
  }
  return b->isChecked() ? 1 : 0;
}

void CDialog::AddString(UINT id, std::string_view text) {
  QWidget* w = GetDlgItem(id);
  if (auto* c = qobject_cast<QComboBox*>(w)) c->addItem(Q(text));
  if (auto* l = qobject_cast<QListWidget*>(w)) l->addItem(Q(text));
}

void CDialog::SetItemData(UINT id, int index, UINT_PTR data) {
  QWidget* w = GetDlgItem(id);
  if (auto* c = qobject_cast<QComboBox*>(w)) SetItemDataOf(c, index, data);
  if (auto* l = qobject_cast<QListWidget*>(w)) SetItemDataOf(l, index, data);
}

UINT_PTR CDialog::GetItemData(UINT id, int index) const {
  QWidget* w = GetDlgItem(id);
  if (auto* c = qobject_cast<QComboBox*>(w)) return GetItemDataOf(c, index);
  if (auto* l = qobject_cast<QListWidget*>(w)) return GetItemDataOf(l, index);
  return 0;
}

UINT CDialog::GetFocusId() const {
  return m_focusId;
}

void CDialog::GotoDlgCtrl(UINT id) {
  QWidget* w = GetDlgItem(id);
  if (w == nullptr) return;
  m_focusId = id;
  w->setFocus(Qt::OtherFocusReason);
  if (auto* e = qobject_cast<QLineEdit*>(w)) e->selectAll();
}

void CDialog::PressButton(UINT id) {
  switch (id) {
    case kIdOk:
      OnOK();
      break;
    case kIdCancel:
      OnCancel();
      break;
    case kIdHelpButton:
      OnHelp();
      break;
    default:
      SendMessage(WM_COMMAND, id, 0);
      break;
  }
}

void CDialog::SetRunHook(std::function<void(CDialog&)> hook) {
  g_runHook = std::move(hook);
}

void CDialog::SetHelpHook(std::function<void(UINT)> hook) {
  g_helpHook = std::move(hook);
}

// ---------------------------------------------------------------------------
// CPropertySheet

CPropertySheet::CPropertySheet(std::string_view caption, CWnd* parent)
    : m_caption(caption), m_parentWnd(parent) {}

CPropertySheet::~CPropertySheet() = default;

bool CPropertySheet::SetActivePage(int index) {
  if (index < 0 || index >= GetPageCount()) return false;
  if (index == m_active) return true;
  if (m_pages[static_cast<size_t>(m_active)]->OnKillActive() == 0) return false;
  m_active = index;
  m_shown[static_cast<size_t>(index)] = true;
  if (m_tabs != nullptr) m_tabs->setCurrentIndex(index);
  m_pages[static_cast<size_t>(index)]->OnSetActive();
  return true;
}

int CPropertySheet::DoModal() {
  EnsureDialogClass();
  m_result = kIdCancel;
  if (!Create("PL_Dialog", m_caption, 0, {0, 0, 400, 300}, nullptr, 0)) return -1;
  QWidget* w = GetWidget();
  w->setWindowFlag(Qt::Dialog);
  auto* layout = new QVBoxLayout(w);
  m_tabs = new QTabWidget(w);
  layout->addWidget(m_tabs);
  m_shown.assign(m_pages.size(), false);
  for (CPropertyPage* page : m_pages) {
    if (!page->CreateModeless(this)) continue;
    page->GetWidget()->setWindowFlag(Qt::Widget);
    m_tabs->addTab(page->GetWidget(), Q(page->GetWindowText()));
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, w);
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, buttons,
                   [this] { RunGuarded(WM_COMMAND, [this] { PressOK(); }); });
  QObject::connect(buttons, &QDialogButtonBox::rejected, buttons,
                   [this] { RunGuarded(WM_COMMAND, [this] { PressCancel(); }); });
  m_active = 0;
  if (!m_pages.empty()) {
    m_shown[0] = true;
    m_pages[0]->OnSetActive();
  }
  ShowWindow(SW_SHOW);
  if (g_sheetHook) {
    RunGuarded(0, [&] { g_sheetHook(*this); });
  } else {
    QEventLoop loop;
    m_loop = &loop;
    loop.exec(QEventLoop::DialogExec);
    m_loop = nullptr;
  }
  for (CPropertyPage* page : m_pages) page->DestroyWindow();
  m_tabs = nullptr;
  DestroyWindow();
  return m_result;
}

bool CPropertySheet::PressOK() {
  for (size_t i = 0; i < m_pages.size(); ++i) {
    if (!m_shown[i]) continue;
    if (!m_pages[i]->UpdateData(true)) {
      m_active = static_cast<int>(i);
      if (m_tabs != nullptr) m_tabs->setCurrentIndex(m_active);
      return false;
    }
  }
  m_result = kIdOk;
  if (m_loop != nullptr) m_loop->exit(kIdOk);
  return true;
}

void CPropertySheet::PressCancel() {
  m_result = kIdCancel;
  if (m_loop != nullptr) m_loop->exit(kIdCancel);
}

void CPropertySheet::SetRunHook(std::function<void(CPropertySheet&)> hook) {
  g_sheetHook = std::move(hook);
}

// ---------------------------------------------------------------------------
// CFileDialog

CFileDialog::CFileDialog(bool open, std::string_view defaultExt, std::string_view fileName,
                         std::string_view filter, CWnd* parent)
    : m_open(open),
      m_defaultExt(defaultExt),
      m_path(fileName),
      m_filter(filter),
      m_parent(parent) {}

std::string CFileDialog::ToQtFilter(std::string_view filter) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= filter.size()) {
    size_t bar = filter.find('|', start);
    if (bar == std::string_view::npos) bar = filter.size();
    parts.emplace_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  std::string out;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;
    std::string patterns = parts[i + 1];
    std::replace(patterns.begin(), patterns.end(), ';', ' ');
    // The name may already show the patterns ("All Files (*.*)").
    std::string name = parts[i];
    if (size_t paren = name.find(" ("); paren != std::string::npos) name.resize(paren);
    if (!out.empty()) out += ";;";
    out += name + " (" + patterns + ")";
  }
  return out;
}

int CFileDialog::DoModal() {
  std::string chosen;
  if (g_fileHook) {
    chosen = g_fileHook(*this);
  } else {
    QWidget* parent = m_parent != nullptr ? m_parent->GetWidget() : nullptr;
    QString filter = Q(ToQtFilter(m_filter));
    QString result = m_open ? QFileDialog::getOpenFileName(parent, Q(m_title), Q(m_path), filter)
                            : QFileDialog::getSaveFileName(parent, Q(m_title), Q(m_path), filter);
    chosen = result.toStdString();
  }
  if (chosen.empty()) return kIdCancel;
  if (!m_open && !m_defaultExt.empty() &&
      chosen.find('.', chosen.find_last_of('/') + 1) == std::string::npos)
    chosen += "." + m_defaultExt;
  m_path = chosen;
  return kIdOk;
}

void CFileDialog::SetHook(std::function<std::string(const CFileDialog&)> hook) {
  g_fileHook = std::move(hook);
}
