// The brush panel's owner-drawn option boxes: the size box, whose items
// are (size factor, shape type) pairs, and the shape box, whose items are
// shapes. Each item shows its shape; the owner hands its WM_DRAWITEM on to
// the box's DrawItem.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/qt/owner_draw.h"
#include "view/core/brush_raster.h"

class CBrushOptionBox : public COwnerDrawComboBox {
 public:
  using COwnerDrawComboBox::COwnerDrawComboBox;

  // Paints one item (the closed field as well). A box marked for a full
  // repaint is invalidated whole instead, and the mark cleared.
  void DrawItem(const DRAWITEMSTRUCT& dis);
  void MarkFullRepaint() { m_fullRepaint = true; }

 protected:
  virtual void DrawValue(CDC& dc, const CRect& item, bool selected, int index) = 0;

 private:
  bool m_fullRepaint = false;
};

class CBrushSizeBox : public CBrushOptionBox {
 public:
  using CBrushOptionBox::CBrushOptionBox;
  void AddSize(int32_t size, int32_t type);
  // Selects the first item holding the pair; nothing changes when none does.
  bool SelectSize(int32_t size, int32_t type);
  // The selected item's values; size 10 and type 0 when none is selected.
  int32_t GetSize() const;
  int32_t GetType() const;

 protected:
  void DrawValue(CDC& dc, const CRect& item, bool selected, int index) override;

 private:
  struct Item {
    int32_t size;
    int32_t type;
  };
  std::vector<Item> m_items;
};

class CBrushTypeBox : public CBrushOptionBox {
 public:
  using CBrushOptionBox::CBrushOptionBox;
  // An item of the shape's type, width, height and slant.
  void AddShape(const BrushShape& shape);
  // Selects the first item of the same type, width, height and slant;
  // nothing changes when none matches.
  bool SelectShape(const BrushShape& shape);
  // The selected item's shape; type 0, 1 by 1, no slant when none is selected.
  BrushShape GetShape() const;

 protected:
  void DrawValue(CDC& dc, const CRect& item, bool selected, int index) override;

 private:
  std::vector<BrushShape> m_items;
};
