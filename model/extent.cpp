#include "model/extent.h"

#include <algorithm>

void CExtent::Reset() {
  RectSetEmpty(rect);
  firstFrame = 0;
  lastFrame = 0;
  changeBits = 0;
  empty = 1;
}

void CExtent::SetRect(const Rect32& r) {
  if (r.IsEmpty()) return;
  firstFrame = 0;
  lastFrame = kFrameNever;
  RectUnion(rect, r, rect);
  empty = 0;
}

void CExtent::AddFrameSpan(int32_t a, int32_t b) {
  if (empty != 0) {
    firstFrame = a;
    lastFrame = b;
    empty = 0;
  } else {
    firstFrame = std::min(firstFrame, a);
    lastFrame = std::max(lastFrame, b);
  }
}

void CExtent::AddRectSpan(const Rect32& r, int32_t a, int32_t b) {
  if (r.IsEmpty()) return;
  AddFrameSpan(a, b);
  RectUnion(rect, r, rect);
}

void CExtent::AddQuery(const CExtentQuery& q) {
  AddRectSpan(q.rect, q.foundFirst, q.foundLast);
}

void CExtent::Add(const CExtent& other) {
  if (other.empty == 0) AddFrameSpan(other.firstFrame, other.lastFrame);
  RectUnion(rect, other.rect, rect);
  changeBits = static_cast<int16_t>(changeBits | other.changeBits);
}

void CExtentQuery::Init() {
  *this = CExtentQuery{};
}

void CExtentQuery::AddRect(const Rect32& r) {
  if (r.IsEmpty()) return;
  RectUnion(rect, r, rect);
  foundFirst = windowFirst;
  foundLast = windowLast;
}

void CExtentQuery::AddRectSpan(const Rect32& r, int32_t a, int32_t b) {
  if (r.IsEmpty()) return;
  a = std::max(a, windowFirst);
  b = std::min(b, windowLast);
  if (a > b) return;
  if (rect.IsEmpty()) {
    foundFirst = a;
    foundLast = b;
  } else {
    foundFirst = std::min(foundFirst, a);
    foundLast = std::max(foundLast, b);
  }
  RectUnion(rect, r, rect);
}

void CExtentQuery::AddExtent(const CExtent& e) {
  AddRectSpan(e.rect, e.firstFrame, e.lastFrame);
}

void CExtentQuery::ShiftFrames(int32_t d) {
  windowFirst = WrapAdd(windowFirst, d);
  windowLast = WrapAdd(windowLast, d);
  foundFirst = WrapAdd(foundFirst, d);
  foundLast = WrapAdd(foundLast, d);
}

void CHitTest::MapToObject(const Matrix2x3& m) {
  Matrix2x3 inverse;
  MatrixInvert(m, inverse);
  MatrixTransformPoint(inverse, point, point);
  distance1 = MatrixScaleLength(inverse, distance1);
  distance2 = MatrixScaleLength(inverse, distance2);
}
