// Owner-drawn list and combo items: the owner measures each item and paints
// it with a device context in the control's coordinates; selection and the
// closed combo's field reach it as item states.
#include <QComboBox>
#include <QListWidget>

#include "platform/qt/dc.h"
#include "platform/qt/dialog.h"
#include "platform/qt/owner_draw.h"
#include "window_fixture.h"

namespace {

constexpr UINT kSwatchDialog = 7101;
constexpr UINT kSwatchList = 1000;
constexpr UINT kSwatchCombo = 1001;
constexpr COLORREF kSelected = RGB(255, 0, 0);
const COLORREF kColours[3] = {RGB(0, 0, 255), RGB(0, 160, 0), RGB(200, 200, 0)};

QRgb ToQRgb(COLORREF c) {
  return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

// Each item a swatch of its item data's colour (red when selected) with a
// black 2-pixel bar at its left edge; item i is 20 + i pixels high.
class CSwatchDlg : public CDialog {
 public:
  CSwatchDlg() : CDialog(kSwatchDialog) {}
  std::vector<DRAWITEMSTRUCT> drawn;
  std::vector<UINT> measured;

  BOOL OnInitDialog() override {
    for (UINT id : {kSwatchList, kSwatchCombo}) {
      for (int i = 0; i < 3; ++i) {
        AddString(id, "swatch");
        SetItemData(id, i, kColours[i]);
      }
    }
    return CDialog::OnInitDialog();
  }
  void OnMeasureItem(int, MEASUREITEMSTRUCT* mis) override {
    measured.push_back(mis->itemID);
    mis->itemHeight = 20 + mis->itemID;
  }
  void OnDrawItem(int, DRAWITEMSTRUCT* dis) override {
    drawn.push_back(*dis);
    const CRect& r = dis->rcItem;
    dis->pDC->FillSolidRect(
        &r, dis->itemState & ODS_SELECTED ? kSelected : static_cast<COLORREF>(dis->itemData));
    dis->pDC->FillSolidRect(r.left, r.top, 2, r.Height(), RGB(0, 0, 0));
  }
};

TEST_F(WindowTest, OwnerDrawnItemsAreMeasuredAndPaintedByTheOwner) {
  using C = DialogControlDef;
  Resources().AddDialog(kSwatchDialog, {"Swatches",
                                        {240, 200},
                                        {{C::kOwnerDrawList, kSwatchList, "", {8, 8, 120, 150}},
                                         {C::kOwnerDrawCombo, kSwatchCombo, "", {130, 8, 230, 36}},
                                         {C::kDefButton, kIdOk, "OK", {8, 160, 70, 184}}}});
  CSwatchDlg dlg;
  CDialog::SetRunHook([&](CDialog& d) {
    auto* list = qobject_cast<QListWidget*>(d.GetDlgItem(kSwatchList));
    auto* combo = qobject_cast<QComboBox*>(d.GetDlgItem(kSwatchCombo));
    ASSERT_NE(list, nullptr);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(d.GetItemData(kSwatchList, 2), kColours[2]);
    EXPECT_EQ(d.GetItemData(kSwatchList, 3), 0u);  // no such item
    EXPECT_EQ(d.GetItemData(kSwatchCombo, -1), 0u);

    list->setCurrentRow(1);
    const QImage shown = list->viewport()->grab().toImage();
    for (int i = 0; i < 3; ++i) {
      const QRect r = list->visualItemRect(list->item(i));
      EXPECT_EQ(r.height(), 20 + i) << i;
      const QRgb want = i == 1 ? ToQRgb(kSelected) : ToQRgb(kColours[i]);
      EXPECT_EQ(shown.pixel(r.center()) & 0xFFFFFF, want & 0xFFFFFF) << i;
      EXPECT_EQ(shown.pixel(r.left(), r.center().y()) & 0xFFFFFF, 0u) << i;  // control coordinates
      EXPECT_EQ(shown.pixel(r.left() + 2, r.center().y()) & 0xFFFFFF, want & 0xFFFFFF) << i;
    }
    bool sawSelected = false;
    for (const DRAWITEMSTRUCT& dis : dlg.drawn) {
      EXPECT_EQ(dis.CtlType, static_cast<UINT>(ODT_LISTBOX));
      EXPECT_EQ(dis.CtlID, kSwatchList);
      if (dis.itemID == 1 && (dis.itemState & ODS_SELECTED)) sawSelected = true;
    }
    EXPECT_TRUE(sawSelected);
    EXPECT_FALSE(dlg.measured.empty());

    // The closed combo shows its current item, drawn by the owner too.
    dlg.drawn.clear();
    combo->setCurrentIndex(2);
    const QImage field = combo->grab().toImage();
    ASSERT_FALSE(dlg.drawn.empty());
    const DRAWITEMSTRUCT& dis = dlg.drawn.back();
    EXPECT_EQ(dis.CtlType, static_cast<UINT>(ODT_COMBOBOX));
    EXPECT_EQ(dis.itemID, 2u);
    EXPECT_TRUE(dis.itemState & ODS_COMBOBOXEDIT);
    const QPoint inside(dis.rcItem.left + 4, (dis.rcItem.top + dis.rcItem.bottom) / 2);
    const COLORREF want = dis.itemState & ODS_SELECTED ? kSelected : kColours[2];
    EXPECT_EQ(field.pixel(inside) & 0xFFFFFF, ToQRgb(want) & 0xFFFFFF);
    d.PressButton(kIdOk);
  });
  EXPECT_EQ(dlg.DoModal(), static_cast<int>(kIdOk));
  CDialog::SetRunHook(nullptr);
}

}  // namespace
