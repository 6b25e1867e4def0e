#include "view/brush_boxes.h"

#include "view/brush_shapes.h"

namespace {

bool SameShape(const BrushShape& a, const BrushShape& b) {
  return a.type == b.type && a.width == b.width && a.height == b.height && a.slant == b.slant;
}

}  // namespace

void CBrushOptionBox::DrawItem(const DRAWITEMSTRUCT& dis) {
  if (m_fullRepaint) {
    m_fullRepaint = false;
    update();
    return;
  }
  const int index = static_cast<int>(dis.itemID);
  if (dis.pDC == nullptr || index < 0 || index >= count()) return;
  DrawValue(*dis.pDC, dis.rcItem, (dis.itemState & ODS_SELECTED) != 0, index);
}

void CBrushSizeBox::AddSize(int32_t size, int32_t type) {
  m_items.push_back({size, type});
  addItem(QString());
}

bool CBrushSizeBox::SelectSize(int32_t size, int32_t type) {
  for (size_t i = 0; i < m_items.size(); ++i) {
    if (m_items[i].size == size && m_items[i].type == type) {
      setCurrentIndex(static_cast<int>(i));
      return true;
    }
  }
  return false;
}

int32_t CBrushSizeBox::GetSize() const {
  const int i = currentIndex();
  return i >= 0 && i < static_cast<int>(m_items.size()) ? m_items[static_cast<size_t>(i)].size : 10;
}

int32_t CBrushSizeBox::GetType() const {
  const int i = currentIndex();
  return i >= 0 && i < static_cast<int>(m_items.size()) ? m_items[static_cast<size_t>(i)].type : 0;
}

void CBrushSizeBox::DrawValue(CDC& dc, const CRect& item, bool selected, int index) {
  const Item& v = m_items[static_cast<size_t>(index)];
  DrawBrushSizeItem(dc, item, selected, v.size, v.type);
}

void CBrushTypeBox::AddShape(const BrushShape& shape) {
  m_items.push_back(shape);
  addItem(QString());
}

bool CBrushTypeBox::SelectShape(const BrushShape& shape) {
  for (size_t i = 0; i < m_items.size(); ++i) {
    if (SameShape(m_items[i], shape)) {
      setCurrentIndex(static_cast<int>(i));
      return true;
    }
  }
  return false;
}

BrushShape CBrushTypeBox::GetShape() const {
  const int i = currentIndex();
  if (i >= 0 && i < static_cast<int>(m_items.size())) return m_items[static_cast<size_t>(i)];
  BrushShape none;
  none.width = 1;
  none.height = 1;
  return none;
}

void CBrushTypeBox::DrawValue(CDC& dc, const CRect& item, bool selected, int index) {
  DrawBrushTypeItem(dc, item, selected, m_items[static_cast<size_t>(index)]);
}
