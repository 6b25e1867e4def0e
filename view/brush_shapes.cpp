#include "view/brush_shapes.h"

#include <algorithm>

#include "platform/qt/dc.h"
#include "platform/qt/gdi_objects.h"
#include "platform/qt/rop.h"
#include "platform/qt/sys_colors.h"

namespace {

// Rows of the small raster a non-round shape is drawn through, either side
// of the centre.
constexpr int32_t kShapeRows = 16;
// Size box items are drawn 16 units square.
constexpr int32_t kItemShapeSize = 16;

// The cursor's checkerboard: rows 0xAAAA and 0x5555 alternating.
bool MakeCheckerBrush(CBrush& brush) {
  const uint16_t rows[8] = {0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555};
  uint8_t bits[16];
  for (int i = 0; i < 8; ++i) {
    bits[2 * i] = static_cast<uint8_t>(rows[i] >> 8);
    bits[2 * i + 1] = static_cast<uint8_t>(rows[i]);
  }
  CBitmap pattern;
  return pattern.CreateBitmap(8, 8, 1, 1, bits) && brush.CreatePatternBrush(&pattern);
}

// The bitmap's pixels as mask rows: 1 where white.
void ReadMask(const CBitmap& bitmap, uint8_t* out) {
  const QImage& image = bitmap.Image();
  std::fill(out, out + kBrushCursorMaskBytes, 0);
  for (int y = 0; y < kBrushCursorSize; ++y) {
    for (int x = 0; x < kBrushCursorSize; ++x) {
      if (image.pixelIndex(x, y) != 0) out[y * 4 + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
  }
}

void DrawItemShape(CDC& dc, const CRect& item, bool selected, const BrushShape& shape) {
  FillItemBackground(dc, item, selected);
  CBrush brush(GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
  CBrush* oldBrush = dc.SelectObject(&brush);
  const Point32 centre{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
  DrawBrushShape(dc, centre, shape, kFixedOne);
  dc.SelectObject(oldBrush);
}

}  // namespace

void PatBltFlushTarget::FillRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  dc_.PatBlt(x, y, std::max(width, 1), height, PATCOPY);
}

void DrawBrushShape(CDC& dc, const Point32& centre, const BrushShape& shape, Fixed scale) {
  CGdiObject* oldPen = dc.SelectStockObject(NULL_PEN);
  if (shape.type == BrushShape::kRound) {
    Point32 size;
    PointScale({shape.width, shape.height}, FixedMul(scale, shape.size_factor), size);
    dc.Ellipse(centre.x - size.x / 2, centre.y - size.y / 2, centre.x + (size.x + 3) / 2,
               centre.y + (size.y + 3) / 2);
  } else {
    BrushPolygon polygon;
    BrushRaster raster;
    if (BuildBrushPolygon(polygon, shape, scale) == 0 &&
        BrushRasterInit(raster, centre.y - kShapeRows, centre.y + kShapeRows) == 0) {
      for (int32_t r = polygon.first; r <= polygon.last; ++r)
        (void)BrushRasterAddSpan(raster, centre.y + r, centre.x + polygon.Left(r),
                                 centre.x + polygon.Right(r));
      PatBltFlushTarget target(dc);
      BrushRasterFlush(raster, target, 1, 1, false);
    }
  }
  if (oldPen != nullptr) dc.SelectObject(static_cast<CPen*>(oldPen));
}

bool MakeBrushCursorMasks(const BrushShape& shape, Fixed scale,
                          uint8_t andMask[kBrushCursorMaskBytes],
                          uint8_t xorMask[kBrushCursorMaskBytes]) {
  CDC dc;
  CBitmap bitmap;
  CBrush checker;
  if (!dc.CreateCompatibleDC(nullptr) ||
      !bitmap.CreateBitmap(kBrushCursorSize, kBrushCursorSize, 1, 1) || !MakeCheckerBrush(checker))
    return false;
  CBitmap* oldBitmap = dc.SelectObject(&bitmap);
  CBrush* oldBrush = dc.SelectObject(&checker);
  const Point32 centre{kBrushCursorSize / 2, kBrushCursorSize / 2};
  dc.PatBlt(0, 0, kBrushCursorSize, kBrushCursorSize, BLACKNESS);
  DrawBrushShape(dc, centre, shape, scale);
  ReadMask(bitmap, xorMask);
  dc.PatBlt(0, 0, kBrushCursorSize, kBrushCursorSize, WHITENESS);
  DrawBrushShape(dc, centre, shape, scale);
  ReadMask(bitmap, andMask);
  dc.SelectObject(oldBrush);
  dc.SelectObject(oldBitmap);
  return true;
}

HCURSOR MakeBrushCursor(const BrushShape& shape, Fixed scale) {
  uint8_t andMask[kBrushCursorMaskBytes];
  uint8_t xorMask[kBrushCursorMaskBytes];
  if (!MakeBrushCursorMasks(shape, scale, andMask, xorMask)) return nullptr;
  return CreateCursor(kBrushCursorSize / 2, kBrushCursorSize / 2, kBrushCursorSize,
                      kBrushCursorSize, andMask, xorMask);
}

void FillItemBackground(CDC& dc, const CRect& item, bool selected) {
  dc.FillSolidRect(&item, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
}

void DrawBrushSizeItem(CDC& dc, const CRect& item, bool selected, int32_t size, int32_t type) {
  BrushShape shape;
  shape.type = type;
  shape.size_factor = size;
  shape.width = kItemShapeSize;
  shape.height = kItemShapeSize;
  DrawItemShape(dc, item, selected, shape);
}

void DrawBrushTypeItem(CDC& dc, const CRect& item, bool selected, const BrushShape& shape) {
  BrushShape s = shape;
  s.size_factor = kFixedOne;
  DrawItemShape(dc, item, selected, s);
}
