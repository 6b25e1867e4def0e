#include "platform/qt/owner_draw.h"

#include <QAbstractItemView>
#include <QListWidget>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>

#include "platform/qt/dc.h"
#include "platform/qt/guard.h"
#include "platform/qt/wnd.h"

namespace {

constexpr int kItemDataRole = Qt::UserRole + 1;

// Lets the owner paint one item into an image of the item's rectangle and
// shows the image. Undrawn pixels keep the background colour.
void DrawOwnerItem(QPainter* painter, const QRect& rect, const QColor& background, HWND owner,
                   UINT ctlType, UINT ctlId, int item, UINT state, UINT_PTR data) {
  if (rect.isEmpty()) return;
  QImage image(rect.size(), QImage::Format_RGB32);
  image.fill(background);
  CDC dc;
  if (!dc.AttachImage(&image)) return;
  dc.SetViewportOrg(-rect.left(), -rect.top());
  DRAWITEMSTRUCT dis;
  dis.CtlType = ctlType;
  dis.CtlID = ctlId;
  dis.itemID = static_cast<UINT>(item);
  dis.itemState = state;
  dis.pDC = &dc;
  dis.rcItem = CRect(rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1);
  dis.itemData = data;
  RunGuarded(WM_DRAWITEM,
             [&] { SendMessage(owner, WM_DRAWITEM, ctlId, reinterpret_cast<LPARAM>(&dis)); });
  painter->drawImage(rect.topLeft(), image);
}

UINT ItemState(QStyle::State s) {
  UINT state = 0;
  if (s & QStyle::State_Selected) state |= ODS_SELECTED;
  if (!(s & QStyle::State_Enabled)) state |= ODS_DISABLED;
  if (s & QStyle::State_HasFocus) state |= ODS_FOCUS;
  return state;
}

class COwnerDrawDelegate final : public QStyledItemDelegate {
 public:
  COwnerDrawDelegate(HWND owner, UINT ctlType, UINT ctlId, QObject* parent)
      : QStyledItemDelegate(parent), m_owner(owner), m_ctlType(ctlType), m_ctlId(ctlId) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    DrawOwnerItem(painter, option.rect, option.palette.color(QPalette::Base), m_owner, m_ctlType,
                  m_ctlId, index.row(), ItemState(option.state),
                  index.data(kItemDataRole).value<qulonglong>());
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    MEASUREITEMSTRUCT mis;
    mis.CtlType = m_ctlType;
    mis.CtlID = m_ctlId;
    mis.itemID = static_cast<UINT>(index.row());
    const auto* view = qobject_cast<const QAbstractItemView*>(parent());
    mis.itemWidth = static_cast<UINT>(view ? view->viewport()->width() : option.rect.width());
    mis.itemHeight = static_cast<UINT>(option.fontMetrics.height() + 2);
    mis.itemData = index.data(kItemDataRole).value<qulonglong>();
    RunGuarded(WM_MEASUREITEM, [&] {
      SendMessage(m_owner, WM_MEASUREITEM, m_ctlId, reinterpret_cast<LPARAM>(&mis));
    });
    // Sizes beyond what a list can show are the owner's mistake: bounded.
    return {static_cast<int>(std::min<UINT>(mis.itemWidth, 4096)),
            static_cast<int>(std::min<UINT>(mis.itemHeight, 1024))};
  }

 private:
  HWND m_owner;
  UINT m_ctlType;
  UINT m_ctlId;
};

}  // namespace

void SetItemDataOf(QComboBox* combo, int index, UINT_PTR data) {
  if (index >= 0 && index < combo->count())
    combo->setItemData(index, QVariant::fromValue<qulonglong>(data), kItemDataRole);
}

UINT_PTR GetItemDataOf(const QComboBox* combo, int index) {
  if (index < 0 || index >= combo->count()) return 0;
  return static_cast<UINT_PTR>(combo->itemData(index, kItemDataRole).value<qulonglong>());
}

void SetItemDataOf(QListWidget* list, int index, UINT_PTR data) {
  if (QListWidgetItem* item = list->item(index))
    item->setData(kItemDataRole, QVariant::fromValue<qulonglong>(data));
}

UINT_PTR GetItemDataOf(const QListWidget* list, int index) {
  const QListWidgetItem* item = list->item(index);
  return item ? static_cast<UINT_PTR>(item->data(kItemDataRole).value<qulonglong>()) : 0;
}

COwnerDrawComboBox::COwnerDrawComboBox(HWND owner, UINT ctlId, QWidget* parent)
    : QComboBox(parent), m_owner(owner), m_ctlId(ctlId) {
  view()->setItemDelegate(new COwnerDrawDelegate(owner, ODT_COMBOBOX, ctlId, view()));
}

void COwnerDrawComboBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox opt;
  initStyleOption(&opt);
  opt.currentText.clear();
  opt.currentIcon = QIcon();
  painter.drawComplexControl(QStyle::CC_ComboBox, opt);
  const QRect field =
      style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
  UINT state = ODS_COMBOBOXEDIT;
  if (hasFocus()) state |= ODS_SELECTED | ODS_FOCUS;
  if (!isEnabled()) state |= ODS_DISABLED;
  const int current = currentIndex();
  DrawOwnerItem(&painter, field, palette().color(QPalette::Base), m_owner, ODT_COMBOBOX, m_ctlId,
                current, state, GetItemDataOf(this, current));
}

void MakeOwnerDrawn(QListWidget* list, HWND owner, UINT ctlId) {
  list->setItemDelegate(new COwnerDrawDelegate(owner, ODT_LISTBOX, ctlId, list));
  // Items measure themselves (the owner may give each its own height).
  list->setUniformItemSizes(false);
}
