#include "geometry/point_list.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "geometry/pool.h"

PointList::~PointList() {
  PointListFree(*this);
}

void PointList::Reverse() {
  std::reverse(buffer, buffer + length);
}

void PointListInit(PointList& list) {
  list.buffer = nullptr;
  list.cache = nullptr;
  list.length = 0;
  list.capacity = 0;
}

void PointListFree(PointList& list) {
  BlockRelease(&list.buffer);
  PointListFreeCache(list);
  PointListInit(list);
}

int PointListSetCapacity(PointList& list, int32_t n) {
  if (n == list.capacity) return 0;
  if (n < 0) return -1;
  if (n == 0) {
    BlockRelease(&list.buffer);
  } else if (BlockRealloc(static_cast<std::size_t>(n) * sizeof(PointListEntry), &list.buffer) < 0) {
    return -1;
  }
  list.capacity = n;
  list.length = std::min(list.length, n);
  return 0;
}

int PointListAppend(PointList& list, const Point32& p, int32_t off_curve) {
  // The point may lie inside the buffer that is about to move.
  const Point32 q = p;
  if (list.length >= list.capacity) {
    // Steps of 32 keep the many short paths compact; from 128 entries on the
    // list grows by a quarter, so long appends cost amortised constant time.
    const int64_t grown =
        list.length < 128 ? int64_t{list.length} + 32 : int64_t{list.length} + (list.length >> 2);
    if (grown > std::numeric_limits<int32_t>::max()) return -1;
    if (PointListSetCapacity(list, static_cast<int32_t>(grown)) < 0) return -1;
  }
  if (list.length > 0 && off_curve == 0) {
    // Only an on-curve predecessor makes the point redundant: after a control
    // point, the same position still ends that control point's curve.
    const PointListEntry& last = list.buffer[list.length - 1];
    if (last.off_curve == 0 && last.x == q.x && last.y == q.y) return 0;
  }
  list.buffer[list.length++] = {q.x, q.y, off_curve};
  return 0;
}

int PointListAppendCurve(PointList& list, const QuadCurve& curve) {
  if (PointListAppend(list, curve.p0, 0) < 0) return -1;
  if (!curve.straight && PointListAppend(list, curve.control, 1) < 0) return -1;
  return PointListAppend(list, curve.p2, 0);
}

int PointListAppendCubic(PointList& list, const Point32 cubic[4]) {
  QuadCurve curves[8];
  const int n = CubicToQuadratics(cubic, curves, 8, 6);
  for (int i = 0; i < n; ++i)
    if (PointListAppendCurve(list, curves[i]) < 0) return -1;
  return 0;
}

int PointListCopy(const PointList& src, PointList& dst) {
  if (&src == &dst) return 0;
  if (PointListSetCapacity(dst, src.length) < 0) return -1;
  if (src.length > 0) {
    std::memcpy(dst.buffer, src.buffer,
                static_cast<std::size_t>(src.length) * sizeof(PointListEntry));
  }
  dst.length = src.length;
  return 0;
}

namespace {

// Replaces the point of every entry by f(point); flags unchanged.
template <class F>
void MapPoints(PointList& list, F&& f) {
  for (int32_t i = 0; i < list.length; ++i) {
    PointListEntry& e = list.buffer[i];
    const Point32 p = f(e.Point());
    e.x = p.x;
    e.y = p.y;
  }
}

}  // namespace

void PointListTransform(PointList& list, const Matrix2x3& m) {
  MapPoints(list, [&m](Point32 p) {
    MatrixTransformPoint(m, p, p);
    return p;
  });
}

void PointListShift(PointList& list, ShiftCount shift) {
  MapPoints(list, [shift](Point32 p) {
    PointShift(p, shift, p);
    return p;
  });
}

// ---- Curve walk ----------------------------------------------------------------

void PointListIterInit(const PointList& list, PointListIter& iter) {
  iter.list = &list;
  iter.index = 0;
  iter.count = 0;
  iter.current = list.length > 0 ? list.buffer[0].Point() : Point32{};
}

bool PointListIterNext(PointListIter& iter, QuadCurve& curve) {
  const PointList& list = *iter.list;
  for (;;) {
    const int32_t left = list.length - iter.index;
    if (left < 2) return false;
    const PointListEntry& p = list.buffer[iter.index];
    const PointListEntry& q = list.buffer[iter.index + 1];
    const PointListEntry* r = left > 2 ? &list.buffer[iter.index + 2] : nullptr;
    ++iter.index;
    const int kind =
        (p.off_curve == 0 ? 4 : 0) | (q.off_curve == 0 ? 2 : 0) | (r && r->off_curve == 0 ? 1 : 0);
    switch (kind) {
      case 0:
      case 4:  // two control points in a row: the curve ends halfway between them
        if (!r) return false;
        CurveSet(iter.current, q.Point(),
                 {static_cast<int32_t>((int64_t{q.x} + r->x) >> 1),
                  static_cast<int32_t>((int64_t{q.y} + r->y) >> 1)},
                 curve);
        break;
      case 1:
      case 5:  // control point, then its on-curve end
        if (!r) return false;
        CurveSet(iter.current, q.Point(), r->Point(), curve);
        break;
      case 6:
      case 7:  // two on-curve points: a straight line
        CurveFromLine(iter.current, q.Point(), curve);
        break;
      default:  // a control point followed by its end, already consumed
        continue;
    }
    iter.current = curve.p2;
    ++iter.count;
    return true;
  }
}

// ---- Cache and bounds ----------------------------------------------------------

void PointListFreeCache(PointList& list) {
  if (!list.cache) return;
  SpatialGridFree(list.cache->grid);
  if (list.cache->nodes) BlockFree(list.cache->nodes);
  delete list.cache;
  list.cache = nullptr;
}

void PointListGetBounds(const PointList& list, Rect32& out) {
  if (list.cache) {
    out = list.cache->bounds;
    return;
  }
  Rect32 r;
  for (int32_t i = 0; i < list.length; ++i) RectAddPoint(r, list.buffer[i].Point());
  out = r;
}

// ---- Sample lists --------------------------------------------------------------

void CPointList::Init() {
  items = nullptr;
  count = 0;
  capacity = 0;
}

void CPointList::Free() {
  if (items) BlockFree(items);
  Init();
}

int CPointList::Add(const Point32& p) {
  const Point32 q = p;  // p may lie inside the block that is about to move
  if (count > 0 && items[count - 1] == q) return 0;
  if (count >= capacity) {
    const int64_t grown =
        capacity < 128 ? int64_t{capacity} + 32 : int64_t{capacity} + (capacity >> 2);
    if (grown > std::numeric_limits<int32_t>::max()) return -1;
    if (BlockRealloc(static_cast<std::size_t>(grown) * sizeof(Point32), &items) < 0) return -1;
    capacity = static_cast<int32_t>(grown);
  }
  items[count++] = q;
  return 0;
}

int CPointList::CopyFrom(const PointList& source) {
  Point32* copy = nullptr;
  if (BlockAlloc(static_cast<std::size_t>(source.length) * sizeof(Point32), &copy) < 0) return -1;
  for (int32_t i = 0; i < source.length; ++i) copy[i] = source.buffer[i].Point();
  // The old items are released: the list owns exactly one block.
  if (items) BlockFree(items);
  items = copy;
  count = capacity = source.length;
  return 0;
}

void CPointList::GetBounds(Rect32& out) const {
  Rect32 r;
  for (int32_t i = 0; i < count; ++i) RectAddPoint(r, items[i]);
  out = r;
}

void CPointList::Transform(const Matrix2x3& m) {
  for (int32_t i = 0; i < count; ++i) MatrixTransformPoint(m, items[i], items[i]);
}

void CPointList::Scale(ShiftCount shift) {
  for (int32_t i = 0; i < count; ++i) PointShift(items[i], shift, items[i]);
}
