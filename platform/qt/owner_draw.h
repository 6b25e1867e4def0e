// Owner-drawn list items: combo and list boxes whose items the owner window
// paints with a device context. Each item is drawn into an image through a
// CDC (coordinates of the control, as on the old system) and the image is
// shown; the owner receives WM_MEASUREITEM for an item's size and
// WM_DRAWITEM to paint it.
#pragma once

#include <QComboBox>

#include "platform/qt/messages.h"

class CDC;
class QListWidget;

// Control types.
constexpr UINT ODT_LISTBOX = 2;
constexpr UINT ODT_COMBOBOX = 3;
// What to draw.
constexpr UINT ODA_DRAWENTIRE = 1;
// Item states.
constexpr UINT ODS_SELECTED = 0x1;
constexpr UINT ODS_DISABLED = 0x4;
constexpr UINT ODS_FOCUS = 0x10;
constexpr UINT ODS_COMBOBOXEDIT = 0x1000;  // the closed combo's field

struct DRAWITEMSTRUCT {
  UINT CtlType = 0;
  UINT CtlID = 0;
  UINT itemID = 0;  // the item's index; (UINT)-1 for an empty field
  UINT itemAction = ODA_DRAWENTIRE;
  UINT itemState = 0;
  CDC* pDC = nullptr;  // drawing in control coordinates, clipped to rcItem
  CRect rcItem;
  UINT_PTR itemData = 0;
};

struct MEASUREITEMSTRUCT {
  UINT CtlType = 0;
  UINT CtlID = 0;
  UINT itemID = 0;
  UINT itemWidth = 0;   // preset to the control's width
  UINT itemHeight = 0;  // preset to the font's line height
  UINT_PTR itemData = 0;
};

// Item data of combo and list items (kept beside the item's text).
void SetItemDataOf(QComboBox* combo, int index, UINT_PTR data);
UINT_PTR GetItemDataOf(const QComboBox* combo, int index);
void SetItemDataOf(QListWidget* list, int index, UINT_PTR data);
UINT_PTR GetItemDataOf(const QListWidget* list, int index);

// A combo box whose list items and closed field the owner draws.
class COwnerDrawComboBox : public QComboBox {
 public:
  COwnerDrawComboBox(HWND owner, UINT ctlId, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  HWND m_owner;
  UINT m_ctlId;
};

// Makes a list box's items owner-drawn.
void MakeOwnerDrawn(QListWidget* list, HWND owner, UINT ctlId);
