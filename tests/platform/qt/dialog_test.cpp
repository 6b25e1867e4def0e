// Dialogs: data exchange and validation, the range message keeping the
// focus on the refused control, locale independence, help, property sheets
// and the file dialogs' filters.
#include <QLineEdit>
#include <QLocale>
#include <locale>

#include "platform/qt/dialog.h"
#include "platform/qt/message_box.h"
#include "window_fixture.h"

namespace {

constexpr UINT kScaleDialog = 7001;
constexpr UINT kScaleEdit = 1000;
constexpr UINT kAngleEdit = 1001;
constexpr UINT kSnapCheck = 1002;
constexpr UINT kModeCombo = 1003;

void AddScaleLayout() {
  using C = DialogControlDef;
  Resources().AddDialog(kScaleDialog, {"Scale and Rotate",
                                       {240, 130},
                                       {{C::kStatic, 0, "Scale:", {8, 8, 60, 24}},
                                        {C::kEdit, kScaleEdit, "", {70, 8, 150, 28}},
                                        {C::kStatic, 0, "Rotate:", {8, 34, 60, 50}},
                                        {C::kEdit, kAngleEdit, "", {70, 34, 150, 54}},
                                        {C::kAuto3State, kSnapCheck, "Snap", {8, 60, 100, 76}},
                                        {C::kComboBox, kModeCombo, "", {110, 60, 230, 80}},
                                        {C::kDefButton, kIdOk, "OK", {8, 96, 70, 120}},
                                        {C::kButton, kIdCancel, "Cancel", {80, 96, 150, 120}},
                                        {C::kButton, kIdHelpButton, "Help", {160, 96, 230, 120}}}});
}

class CScaleDlg : public CDialog {
 public:
  CScaleDlg() : CDialog(kScaleDialog) {}
  int percent = 100;
  double angle = 12.5;
  int snap = 2;
  int mode = 1;

  BOOL OnInitDialog() override {
    AddString(kModeCombo, "Uniform");
    AddString(kModeCombo, "Free");
    return CDialog::OnInitDialog();
  }
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Text(dx, kScaleEdit, percent);
    DDV_MinMaxInt(dx, percent, 1, 1000);
    DDX_Text(dx, kAngleEdit, angle);
    DDV_MinMaxDouble(dx, angle, -360.0, 360.0);
    DDX_Check(dx, kSnapCheck, snap);
    DDX_CBIndex(dx, kModeCombo, mode);
  }
};

class DialogTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    AddScaleLayout();
    SetMessageBoxSink(&sink_);
  }
  void TearDown() override {
    SetMessageBoxSink(nullptr);
    CDialog::SetRunHook(nullptr);
    WindowTest::TearDown();
  }
  CRecordingMessageBoxSink sink_;
};

TEST_F(DialogTest, OutOfRangeValueIsRefusedAndTheFocusStaysOnIt) {
  CScaleDlg dlg;
  CDialog::SetRunHook([&](CDialog& d) {
    EXPECT_EQ(d.GetDlgItemText(kScaleEdit), "100");
    EXPECT_EQ(d.IsDlgButtonChecked(kSnapCheck), 2);
    d.SetDlgItemText(kScaleEdit, "5000");
    d.SetDlgItemText(kAngleEdit, "45");
    d.PressButton(kIdOk);
    EXPECT_FALSE(d.IsEnded());
    EXPECT_EQ(d.GetFocusId(), kScaleEdit);
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(sink_.boxes[0].text, "Please enter an integer between 1 and 1000.");
    // Nothing was taken from a refused exchange's later controls either.
    EXPECT_EQ(dlg.angle, 12.5);
    d.SetDlgItemText(kScaleEdit, "abc");
    d.PressButton(kIdOk);
    EXPECT_EQ(sink_.boxes.back().text, "Please enter an integer.");
    d.SetDlgItemText(kAngleEdit, "400");
    d.SetDlgItemText(kScaleEdit, " 250 ");
    d.PressButton(kIdOk);
    EXPECT_EQ(d.GetFocusId(), kAngleEdit);
    EXPECT_EQ(sink_.boxes.back().text, "Please enter a number between -360 and 360.");
    d.SetDlgItemText(kAngleEdit, "-7.25");
    d.CheckDlgButton(kSnapCheck, 1);
    d.PressButton(kIdOk);
    EXPECT_TRUE(d.IsEnded());
  });
  EXPECT_EQ(dlg.DoModal(), kIdOk);
  EXPECT_EQ(dlg.percent, 250);
  EXPECT_EQ(dlg.angle, -7.25);
  EXPECT_EQ(dlg.snap, 1);
  EXPECT_EQ(dlg.mode, 1);
  EXPECT_EQ(sink_.boxes.size(), 3u);
}

TEST_F(DialogTest, CancelAndMissingLayout) {
  CScaleDlg dlg;
  CDialog::SetRunHook([](CDialog& d) {
    d.SetDlgItemText(kScaleEdit, "7");
    d.PressButton(kIdCancel);
  });
  EXPECT_EQ(dlg.DoModal(), kIdCancel);
  EXPECT_EQ(dlg.percent, 100);
  CDialog none(4242);
  EXPECT_EQ(none.DoModal(), -1);
}

TEST_F(DialogTest, HelpButtonShowsTheDialogsHelpContext) {
  UINT context = 0;
  CDialog::SetHelpHook([&](UINT c) { context = c; });
  CScaleDlg dlg;
  CDialog::SetRunHook([](CDialog& d) { d.PressButton(kIdHelpButton); });
  dlg.DoModal();
  EXPECT_EQ(context, 0x20000u + kScaleDialog);
  CDialog::SetHelpHook(nullptr);
}

// A decimal comma as the user's number format.
struct CommaPunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
};

TEST_F(DialogTest, NumbersIgnoreADecimalCommaLocale) {
  std::locale oldStd = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
  QLocale oldQt;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  CScaleDlg dlg;
  dlg.angle = 2.5;
  CDialog::SetRunHook([](CDialog& d) {
    EXPECT_EQ(d.GetDlgItemText(kAngleEdit), "2.5");
    d.SetDlgItemText(kAngleEdit, "3,75");  // not a number here
    d.PressButton(kIdOk);
    EXPECT_FALSE(d.IsEnded());
    d.SetDlgItemText(kAngleEdit, "3.75");
    d.PressButton(kIdOk);
  });
  EXPECT_EQ(dlg.DoModal(), kIdOk);
  EXPECT_EQ(dlg.angle, 3.75);
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0].text, "Please enter a number.");
  QLocale::setDefault(oldQt);
  std::locale::global(oldStd);
}

TEST(NumberTextTest, FormatAndParseAreExactAndStrict) {
  struct {
    const char* text;
    bool ok;
    double value;
  } reals[] = {{"1.5", true, 1.5},  {" -0.25 ", true, -0.25}, {"+3", true, 3},
               {"1e3", true, 1000}, {"1,5", false, 0},        {"", false, 0},
               {"nan", false, 0},   {"inf", false, 0},        {"2.5x", false, 0}};
  for (auto c : reals) {
    double v = 0;
    EXPECT_EQ(ParseReal(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  long long n = 0;
  EXPECT_TRUE(ParseInt("-2147483648", n));
  EXPECT_EQ(n, -2147483648LL);
  EXPECT_FALSE(ParseInt("12.0", n));
  EXPECT_FALSE(ParseInt("99999999999999999999", n));
  EXPECT_EQ(FormatReal(0.1), "0.1");
  EXPECT_EQ(FormatReal(-360.0), "-360");
  EXPECT_EQ(FormatInt(-42), "-42");
}

class CPage : public CPropertyPage {
 public:
  CPage(UINT id, int lo) : CPropertyPage(id), m_lo(lo) {}
  int value = 5;
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Text(dx, kScaleEdit, value);
    DDV_MinMaxInt(dx, value, m_lo, 100);
  }

 private:
  int m_lo;
};

TEST_F(DialogTest, PropertySheetKeepsARefusingPageInFront) {
  CPage first(kScaleDialog, 0);
  CPage second(kScaleDialog, 10);  // 5 is out of its range
  CPropertySheet sheet("Options");
  sheet.AddPage(&first);
  sheet.AddPage(&second);
  CPropertySheet::SetRunHook([&](CPropertySheet& s) {
    EXPECT_TRUE(s.PressOK());  // the second page was never shown: not validated
  });
  EXPECT_EQ(sheet.DoModal(), kIdOk);
  CPropertySheet::SetRunHook([&](CPropertySheet& s) {
    EXPECT_TRUE(s.SetActivePage(1));
    EXPECT_FALSE(s.SetActivePage(0));  // the shown page refuses to be left
    EXPECT_EQ(s.GetActiveIndex(), 1);
    second.SetDlgItemText(kScaleEdit, "50");
    EXPECT_TRUE(s.SetActivePage(0));
    first.SetDlgItemText(kScaleEdit, "-1");
    second.SetDlgItemText(kScaleEdit, "60");
    EXPECT_FALSE(s.PressOK());
    EXPECT_EQ(s.GetActiveIndex(), 0);
    first.SetDlgItemText(kScaleEdit, "1");
    EXPECT_TRUE(s.PressOK());
  });
  EXPECT_EQ(sheet.DoModal(), kIdOk);
  EXPECT_EQ(first.value, 1);
  EXPECT_EQ(second.value, 60);
  EXPECT_EQ(sink_.boxes.size(), 2u);
  CPropertySheet::SetRunHook(nullptr);
}

TEST(FileDialogTest, FiltersAndDefaultExtension) {
  EXPECT_EQ(CFileDialog::ToQtFilter("All Formats (*.vmd,*.pld)|*.vmd;*.cel;*.pld|Vimbrel "
                                    "Document (*.vmd)|*.vmd|All Files (*.*)|*.*||"),
            "All Formats (*.vmd *.cel *.pld);;Vimbrel Document (*.vmd);;All Files (*.*)");
  EXPECT_EQ(CFileDialog::ToQtFilter(""), "");
  CFileDialog::SetHook([](const CFileDialog&) { return std::string("/tmp/out"); });
  CFileDialog save(false, "vmd", "", "Vimbrel Document|*.vmd||");
  EXPECT_EQ(save.DoModal(), kIdOk);
  EXPECT_EQ(save.GetPathName(), "/tmp/out.vmd");
  CFileDialog::SetHook([](const CFileDialog&) { return std::string(); });
  CFileDialog open(true);
  EXPECT_EQ(open.DoModal(), kIdCancel);
  CFileDialog::SetHook(nullptr);
}

}  // namespace
