// The print and page-setup dialogs: no printer or no default printer
// cancels with the reason; an options page of the program's controls is
// validated before OK closes the dialog.
#include "platform/qt/print_dialog.h"
#include "platform/qt/dialog.h"
#include "platform/qt/message_box.h"
#include "window_fixture.h"

namespace {

constexpr UINT kMarginsTemplate = 7201;
constexpr UINT kScaleEdit = 157;

// The program's controls: a scale from 10 to 1000 percent.
class CMarginsPage : public CDialog {
 public:
  CMarginsPage() : CDialog(kMarginsTemplate) {}
  double scale = 100;
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Text(dx, kScaleEdit, scale);
    DDV_MinMaxDouble(dx, scale, 10.0, 1000.0);
  }
};

class PrintDialogTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    using C = DialogControlDef;
    Resources().AddDialog(kMarginsTemplate, {"Print Margins",
                                             {200, 60},
                                             {{C::kStatic, 0, "Scale:", {8, 8, 60, 28}},
                                              {C::kEdit, kScaleEdit, "", {70, 8, 150, 28}}}});
    SetMessageBoxSink(&sink_);
  }
  void TearDown() override {
    SetPrinterSource(nullptr);
    CPrintDialog::SetHook(nullptr);
    CPageSetupDialog::SetHook(nullptr);
    SetMessageBoxSink(nullptr);
    WindowTest::TearDown();
  }
  static void Printers(std::vector<std::string> names, std::string default_name) {
    SetPrinterSource([=] { return PrinterList{names, default_name}; });
  }
  CRecordingMessageBoxSink sink_;
};

TEST_F(PrintDialogTest, MissingPrintersCancelWithTheirReason) {
  struct {
    std::vector<std::string> names;
    std::string default_name;
    std::string chosen;
    DWORD error;
  } cases[] = {
      {{}, "", "", PDERR_NODEVICES},
      {{}, "", "Office", PDERR_NODEVICES},
      {{"Office"}, "", "", PDERR_NODEFAULTPRN},
      {{"Office"}, "", "Office", 0},
      {{"Office"}, "Office", "", 0},
  };
  for (const auto& c : cases) {
    Printers(c.names, c.default_name);
    int runs = 0;
    CPrintDialog::SetHook([&](CPrintDialog& d) {
      ++runs;
      EXPECT_TRUE(d.PressOK());
    });
    CPageSetupDialog::SetHook([&](CPageSetupDialog& d) {
      ++runs;
      EXPECT_TRUE(d.PressOK());
    });
    CPrintDialog print(false);
    print.setup.printer = c.chosen;
    CPageSetupDialog pageSetup;
    pageSetup.setup.printer = c.chosen;
    const int want = c.error ? kIdCancel : kIdOk;
    EXPECT_EQ(print.DoModal(), want) << c.chosen;
    EXPECT_EQ(print.GetExtendedError(), c.error);
    EXPECT_EQ(pageSetup.DoModal(), want);
    EXPECT_EQ(pageSetup.GetExtendedError(), c.error);
    EXPECT_EQ(runs, c.error ? 0 : 2);
  }
}

TEST_F(PrintDialogTest, OptionsPageRefusesBadValuesBeforeOkCloses) {
  Printers({"Office"}, "Office");
  CMarginsPage page;
  page.scale = 250;
  CPrintDialog print(true);
  EXPECT_TRUE(print.Flags & PD_PRINTSETUP);
  print.SetOptionsPage(&page);
  CPrintDialog::SetHook([&](CPrintDialog& d) {
    EXPECT_EQ(page.GetDlgItemText(kScaleEdit), "250");
    page.SetDlgItemText(kScaleEdit, "5000");
    EXPECT_FALSE(d.PressOK());  // refused: the dialog stays
    EXPECT_EQ(page.GetFocusId(), kScaleEdit);
    page.SetDlgItemText(kScaleEdit, "12.5");
    EXPECT_TRUE(d.PressOK());
  });
  EXPECT_EQ(print.DoModal(), kIdOk);
  EXPECT_EQ(page.scale, 12.5);
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_FALSE(IsWindow(page.GetSafeHwnd()));  // the page went with the dialog

  // Page setup: cancelling keeps the page's value; the paper size follows
  // the orientation.
  CPageSetupDialog pageSetup;
  pageSetup.setup = {"Office", 8500, 11000, true, 1};
  pageSetup.SetOptionsPage(&page);
  CPageSetupDialog::SetHook([&](CPageSetupDialog& d) {
    page.SetDlgItemText(kScaleEdit, "400");
    d.PressCancel();
  });
  EXPECT_EQ(pageSetup.DoModal(), kIdCancel);
  EXPECT_EQ(page.scale, 12.5);
  EXPECT_EQ(pageSetup.ptPaperSize, CSize(11000, 8500));
}

}  // namespace
