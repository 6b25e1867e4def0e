// Point lists: the path representation shared by tools, geometry, edge graphs
// and renderers.
//
// A PointList is a growable array of entries, each an on-curve point or a
// control point (off_curve != 0), read as a chain of quadratic curves with the
// conventions of TrueType outlines: two consecutive control points imply the
// on-curve point halfway between them. The first entry is the start point
// whatever its flag.
//
// An optional cache holds the list's bounds and a spatial index of its curves
// (built by PointList::BuildSpatialIndex, path.h). The list operations do not
// refresh it: a caller that changes a list with a cache drops the cache first.
//
// Operations return 0 on success and -1 when memory runs out, leaving the
// list as it was before the failing step; nothing throws.
#pragma once

#include <cstdint>

#include "geometry/curve.h"
#include "geometry/fixed.h"
#include "geometry/grid.h"

struct PointListEntry {
  int32_t x = 0;
  int32_t y = 0;
  int32_t off_curve = 0;  // 0: on-curve point; non-zero: control point
  Point32 Point() const { return {x, y}; }
  friend bool operator==(const PointListEntry&, const PointListEntry&) = default;
};

// One curve of a list, filed in a cell of the cache's grid.
struct PathCurveNode {
  PathCurveNode* next = nullptr;  // the next curve in the same cell
  QuadCurve curve;
};

// Owned by its list and freed with it.
struct PointListCache {
  Rect32 bounds;                   // of every entry, control points included
  SpatialGrid grid;                // over the bounds; cell chain 0 holds curve nodes
  PathCurveNode* nodes = nullptr;  // heap block of node_count nodes
  int32_t node_count = 0;
};

struct PointList {
  PointListEntry* buffer = nullptr;  // heap block (BlockRealloc), null when capacity is 0
  PointListCache* cache = nullptr;
  int32_t length = 0;    // entries in use
  int32_t capacity = 0;  // entries allocated

  PointList() = default;
  PointList(const PointList&) = delete;
  PointList& operator=(const PointList&) = delete;
  ~PointList();

  // Builds the cache with the bounds and the spatial index of the curves;
  // nothing when a cache exists. -1 when memory runs out (no cache then).
  [[nodiscard]] int BuildSpatialIndex();
  // Reverses the order of the entries in place.
  void Reverse();
};

// Zeroes all four fields without freeing anything.
void PointListInit(PointList& list);
// Frees the buffer and the cache; all fields zero.
void PointListFree(PointList& list);
// Frees the cache (grid cells, curve nodes and the record); cache = null.
void PointListFreeCache(PointList& list);
// Resizes the buffer to n entries (n = 0 frees it); a length above n drops to n.
[[nodiscard]] int PointListSetCapacity(PointList& list, int32_t n);
// Appends one entry. An on-curve point equal to the last entry, when that entry
// is on-curve too, is not stored again (0 is returned).
[[nodiscard]] int PointListAppend(PointList& list, const Point32& p, int32_t off_curve);
// p0, the control point unless the curve is straight, p2.
[[nodiscard]] int PointListAppendCurve(PointList& list, const QuadCurve& curve);
// The cubic as up to 8 quadratics within 6 units; -1 when memory runs out.
[[nodiscard]] int PointListAppendCubic(PointList& list, const Point32 cubic[4]);
// dst's capacity and length become src's length, with src's entries; dst's
// cache is left alone.
[[nodiscard]] int PointListCopy(const PointList& src, PointList& dst);
void PointListTransform(PointList& list, const Matrix2x3& m);
void PointListShift(PointList& list, ShiftCount shift);
// The cache's bounds when there is a cache, else the bounds of every entry
// (control points included); empty for an empty list.
void PointListGetBounds(const PointList& list, Rect32& out);

// ---- Curve walk ----------------------------------------------------------------

struct PointListIter {
  const PointList* list = nullptr;
  int32_t index = 0;  // entry being examined
  int32_t count = 0;  // curves yielded so far
  Point32 current;    // start of the next curve
};

void PointListIterInit(const PointList& list, PointListIter& iter);
// The next curve of the chain; false at the end.
bool PointListIterNext(PointListIter& iter, QuadCurve& curve);

// ---- Sample lists --------------------------------------------------------------

// A plain growable array of points: the samples of a freehand stroke, or a
// flattened path. No flags: every item is a sample or corner point.
struct CPointList {
  Point32* items = nullptr;  // heap block, null when capacity is 0
  int32_t count = 0;
  int32_t capacity = 0;

  CPointList() = default;
  CPointList(const CPointList&) = delete;
  CPointList& operator=(const CPointList&) = delete;
  ~CPointList() { Free(); }

  // Zeroes the fields without freeing anything.
  void Init();
  // Frees the items; all fields zero.
  void Free();
  // Appends p unless it equals the last item. Grows by 32 items while the
  // capacity is below 128, then by a quarter of the capacity. -1 when memory
  // runs out (nothing added).
  [[nodiscard]] int Add(const Point32& p);
  // Replaces the items with the x and y of every entry of source (flags
  // dropped), in a block of exactly the source's length. -1 when memory runs
  // out (the list unchanged).
  [[nodiscard]] int CopyFrom(const PointList& source);
  void GetBounds(Rect32& out) const;
  void Transform(const Matrix2x3& m);
  void Scale(ShiftCount shift);
};
