// Resampling an image through a matrix into another image of the same format
// (nearest pixel), used to draw rotated, skewed or scaled bitmaps.
#pragma once

#include "render/raster/dib.h"

// The stored value of pixel (x, y) (an index, or the 16- or 32-bit word); x and
// y must lie inside the image.
uint32_t ReadRawPixel(const CDib& dib, int32_t x, int32_t y);

// Maps `source` through `matrix` (twips of the source's bounds to twips of the
// destination's bounds) into `dest`, which must have the source's format and
// non-empty bounds. Pixels outside the image get the background value (the
// first black colour of the destination's table; 0 for 16 and 32 bits) when a
// mask is given, else the row's nearest sampled pixel. `mask` (format 1 bit or
// 8 bits, the destination's size) gets 0 where the image covers a pixel and 1
// elsewhere. A matrix that flattens the image leaves every pixel at the
// background value. Returns false, changing nothing, when the images do not fit
// together (formats, mask size, empty bounds).
bool TransformBitmapSpan(const CImageRef& source, const Matrix2x3& matrix, CImageRef& dest,
                         CDib* mask = nullptr);
