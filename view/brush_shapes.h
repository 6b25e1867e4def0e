// Brush shapes on a device context: the shape drawn with the selected brush,
// the brush cursor made from it, and the previews of the option boxes'
// items (the size box and the shape box of the tool options bar).
#pragma once

#include <cstdint>

#include "platform/qt/cursors.h"
#include "platform/qt/win_types.h"
#include "view/core/brush_raster.h"

class CDC;

// Spans drawn with the selected brush (PatBlt, PATCOPY), at least one unit
// wide.
class PatBltFlushTarget : public BrushFlushTarget {
 public:
  explicit PatBltFlushTarget(CDC& dc) : dc_(dc) {}
  void FillRect(int32_t x, int32_t y, int32_t width, int32_t height) override;

 private:
  CDC& dc_;
};

// The cursor's size and hot spot (its centre).
constexpr int kBrushCursorSize = 32;
constexpr int kBrushCursorMaskBytes = kBrushCursorSize * kBrushCursorSize / 8;

// Draws the shape at FixedMul(scale, size factor) centred at the point with
// the selected brush: round shapes as an ellipse (no outline), the others as
// their footprint's rows (within 16 rows of the centre).
void DrawBrushShape(CDC& dc, const Point32& centre, const BrushShape& shape, Fixed scale);

// The 32 x 32 masks of the shape's cursor (rows of 4 bytes, most significant
// bit first): outside the shape transparent, inside alternately black and
// the screen inverted, in a checkerboard.
bool MakeBrushCursorMasks(const BrushShape& shape, Fixed scale,
                          uint8_t andMask[kBrushCursorMaskBytes],
                          uint8_t xorMask[kBrushCursorMaskBytes]);
// The cursor from those masks with its hot spot in the middle; null when it
// cannot be made. The caller destroys it.
HCURSOR MakeBrushCursor(const BrushShape& shape, Fixed scale);

// An owner-drawn item's background: the highlight colour when selected,
// else the window colour.
void FillItemBackground(CDC& dc, const CRect& item, bool selected);
// A size box item (size factor, shape type) or a shape box item (its type,
// width, height and slant), drawn at the item's centre in the highlight
// text colour (selected) or the menu text colour, over its background.
void DrawBrushSizeItem(CDC& dc, const CRect& item, bool selected, int32_t size, int32_t type);
void DrawBrushTypeItem(CDC& dc, const CRect& item, bool selected, const BrushShape& shape);
