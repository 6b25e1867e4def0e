#include "geometry/grid.h"

#include <algorithm>
#include <new>

#include "geometry/pool.h"

namespace {

BlockPool* MakeCellPool() {
  auto* pool = new BlockPool;
  pool->Init(sizeof(GridCell), kGridCellsPerChunk, 0, kGridCellMarker, alignof(GridCell));
  return pool;
}

GridCell* NewCell(const Rect32& bounds) {
  void* memory = GridCellPool().Alloc();
  if (!memory) return nullptr;
  auto* cell = new (memory) GridCell;  // zeroed: no children, empty chains
  cell->bounds = bounds;
  return cell;
}

void FreeCellTree(GridCell* cell) {
  for (GridCell* child : cell->child)
    if (child) FreeCellTree(child);  // depth is bounded by kGridMaxPath
  cell->~GridCell();
  GridCellPool().Free(cell);
}

// Maximum ends exclusive.
bool Fits(const Rect32& r, const Rect32& cell) {
  return r.xmin >= cell.xmin && r.xmax < cell.xmax && r.ymin >= cell.ymin && r.ymax < cell.ymax;
}

bool InCoordinateRange(int64_t v) {
  return v > INT32_MIN && v <= INT32_MAX;
}

// Makes a root twice as wide and high, extended towards r, with the old root as
// the quadrant on the opposite side. -1: no memory; 1: the new bounds would
// leave the 32-bit range (INT32_MIN is kept for the empty rectangle).
int GrowRoot(SpatialGrid& grid, const Rect32& r) {
  const Rect32& old = grid.root->bounds;
  const int64_t width = int64_t{old.xmax} - old.xmin;
  const int64_t height = int64_t{old.ymax} - old.ymin;
  const bool left = r.xmin < old.xmin;
  const bool down = r.ymin < old.ymin;
  const int64_t xmin = left ? old.xmin - width : old.xmin;
  const int64_t xmax = left ? old.xmax : old.xmax + width;
  const int64_t ymin = down ? old.ymin - height : old.ymin;
  const int64_t ymax = down ? old.ymax : old.ymax + height;
  if (!InCoordinateRange(xmin) || !InCoordinateRange(xmax) || !InCoordinateRange(ymin) ||
      !InCoordinateRange(ymax))
    return 1;
  GridCell* root = NewCell({static_cast<int32_t>(xmin), static_cast<int32_t>(xmax),
                            static_cast<int32_t>(ymin), static_cast<int32_t>(ymax)});
  if (!root) return -1;
  const int quadrant =
      left ? (down ? kQuadRightUpper : kQuadRightLower) : (down ? kQuadLeftUpper : kQuadLeftLower);
  root->child[quadrant] = grid.root;
  root->has_children = 1;
  grid.root = root;
  --grid.root_level;
  return 0;
}

// 0: [lo, hi] lies below the centre, 1: at or above it, -1: across it.
int SideOfCentre(int32_t lo, int32_t hi, int32_t centre) {
  if (hi < centre) return 0;
  if (lo >= centre) return 1;
  return -1;
}

// Centre lines belong to the right and upper quadrants.
Rect32 QuadrantBounds(const Rect32& b, int quadrant, int32_t cx, int32_t cy) {
  const bool right = quadrant == kQuadRightLower || quadrant == kQuadRightUpper;
  const bool upper = quadrant == kQuadLeftUpper || quadrant == kQuadRightUpper;
  return {right ? cx : b.xmin, right ? b.xmax : cx, upper ? cy : b.ymin, upper ? b.ymax : cy};
}

}  // namespace

BlockPool& GridCellPool() {
  // Never destroyed: grids held by other static objects may still return
  // cells while the program exits.
  static BlockPool& pool = *MakeCellPool();
  return pool;
}

void GridCellPoolReset() {
  GridCellPool().Reset();
}

void SpatialGrid::Free() {
  if (root) FreeCellTree(root);
  root = nullptr;
  root_level = 1;
  min_root_level = kGridMinRootLevel;
}

void SpatialGridFree(SpatialGrid& grid) {
  grid.Free();
}

int SpatialGridInit(SpatialGrid& grid, const Rect32& bounds, int depth_limit) {
  grid.Free();
  grid.depth_limit =
      static_cast<int16_t>(std::clamp(depth_limit, kGridMinRootLevel, kGridMaxLevel));
  grid.root = NewCell(bounds);
  return grid.root ? 0 : -1;
}

GridCell* SpatialGridFindCell(SpatialGrid& grid, const Rect32& r, bool create) {
  if (!grid.root) return nullptr;
  // An empty rectangle is nowhere: it would only drag the root towards the
  // minimum coordinates.
  if (r.IsEmpty()) return grid.root;

  while (!Fits(r, grid.root->bounds)) {
    if (!create || grid.root_level <= grid.min_root_level) return grid.root;
    const int grown = GrowRoot(grid, r);
    if (grown < 0) grid.min_root_level = grid.root_level;  // never try again
    if (grown != 0) return grid.root;
  }

  GridCell* cell = grid.root;
  int level = grid.root_level;
  while (level < kGridMaxLevel &&
         (level < grid.depth_limit || cell->has_children || cell->deeper_split)) {
    const Rect32& b = cell->bounds;
    const auto cx = static_cast<int32_t>((int64_t{b.xmin} + b.xmax) >> 1);
    const auto cy = static_cast<int32_t>((int64_t{b.ymin} + b.ymax) >> 1);
    const int x_side = SideOfCentre(r.xmin, r.xmax, cx);
    const int y_side = SideOfCentre(r.ymin, r.ymax, cy);
    if (x_side < 0 || y_side < 0) break;  // straddles a centre line: it stays here
    const bool right = x_side == 1;
    const bool upper = y_side == 1;
    const int quadrant = right ? (upper ? kQuadRightUpper : kQuadRightLower)
                               : (upper ? kQuadLeftUpper : kQuadLeftLower);
    GridCell* child = cell->child[quadrant];
    if (!child) {
      if (!create) break;
      child = NewCell(QuadrantBounds(b, quadrant, cx, cy));
      if (!child) break;  // items are still filed, only less finely
      cell->child[quadrant] = child;
      cell->has_children = 1;
    }
    cell = child;
    ++level;
  }
  return cell;
}

bool SpatialGridPrune(GridCell* cell) {
  if (cell->has_children) {
    bool any = false;
    for (GridCell*& child : cell->child) {
      if (!child) continue;
      if (SpatialGridPrune(child)) {
        FreeCellTree(child);
        child = nullptr;
      } else {
        any = true;
      }
    }
    cell->has_children = any ? 1 : 0;
  }
  return !cell->chain[0] && !cell->chain[1] && !cell->has_children;
}

void EdgeIterInit(EdgeIter& iter, const SpatialGrid& grid, int chain, const Rect32* rect) {
  iter.chain = static_cast<int16_t>(chain & 1);
  iter.head = nullptr;
  iter.cell = nullptr;
  iter.count = 0;
  if (!grid.root) {
    iter.query = rect ? *rect : Rect32{};
    iter.depth = -1;
    return;
  }
  iter.query = rect ? *rect : grid.root->bounds;
  iter.depth = 0;
  iter.stack[0] = {grid.root, 0};
}

void* GridIterAdvance(EdgeIter& iter) {
  while (iter.depth >= 0) {
    EdgeIter::Entry& top = iter.stack[iter.depth];
    GridCell* cell = top.cell;
    GridCell* enter = nullptr;
    while (!enter && top.next_child < 4) {
      GridCell* child = cell->child[top.next_child++];
      if (child && RectsOverlap(child->bounds, iter.query)) enter = child;
    }
    // A path never holds more than kGridMaxPath cells; the test only keeps a
    // damaged tree from running off the stack.
    if (enter && iter.depth + 1 < kGridMaxPath) {
      ++iter.depth;
      iter.stack[iter.depth] = {enter, 0};
      continue;
    }
    if (enter) continue;  // skip the child, try its siblings
    --iter.depth;
    if (void* head = cell->chain[iter.chain]) {
      iter.head = head;
      iter.cell = cell;
      return head;
    }
  }
  iter.head = nullptr;
  iter.cell = nullptr;
  return nullptr;
}
