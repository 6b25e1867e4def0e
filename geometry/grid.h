// Spatial grid: a quadtree of rectangular cells over a bounds rectangle.
//
// Every cell keeps two chains of items (chain 0: edges or path curves; chain 1:
// vertices) whose bounds it holds wholly; an item is filed in the deepest cell
// that holds it (SpatialGridFindCell). A walker (EdgeIter) visits the cells that
// touch a query rectangle, children before their parent. The chains themselves
// belong to the users of the grid: a cell only holds their heads.
//
// Levels: the root starts at level 1 and moves up one level (to 0, -1, ...)
// each time it grows to take in a rectangle outside it, at most to level -3.
// Cells below the depth limit are split on demand; a cell with the deeper-split
// flag is split further, down to level 12. A root-to-leaf path therefore holds
// at most 16 cells.
#pragma once

#include <cstdint>

#include "geometry/fixed.h"

class BlockPool;

constexpr int kGridMinRootLevel = -3;  // the root grows at most four times
constexpr int kGridMaxLevel = 12;      // no cell is split below this level
constexpr int kGridMaxPath = kGridMaxLevel - kGridMinRootLevel + 1;  // cells on a root-to-leaf path
constexpr int32_t kGridCellsPerChunk = 1454;
constexpr uint32_t kGridCellMarker = 0x11111111;

// Quadrants, with y growing upwards.
enum GridQuadrant : int {
  kQuadRightLower = 0,
  kQuadLeftLower = 1,
  kQuadLeftUpper = 2,
  kQuadRightUpper = 3
};

struct GridCell {
  // Items fit the cell when they lie in [xmin, xmax) x [ymin, ymax).
  Rect32 bounds;
  GridCell* child[4] = {};  // by GridQuadrant
  void* chain[2] = {};      // item chain heads
  uint8_t has_children = 0;
  uint8_t deeper_split = 0;  // split beyond the depth limit, down to kGridMaxLevel
};

// The pool every grid takes its cells from: 1454 cells per chunk, marker
// 0x11111111, chunks released as soon as they empty.
BlockPool& GridCellPool();
// Test reset hook for the cell pool: frees every chunk and restarts chunk ids.
// No grid may be alive when it is called.
void GridCellPoolReset();

struct SpatialGrid {
  GridCell* root = nullptr;
  int16_t root_level = 1;
  int16_t min_root_level = kGridMinRootLevel;
  int16_t depth_limit = 0;

  SpatialGrid() = default;  // empty: no cell yet
  SpatialGrid(const SpatialGrid&) = delete;
  SpatialGrid& operator=(const SpatialGrid&) = delete;
  ~SpatialGrid() { Free(); }
  // Frees every cell (children first); the grid is empty again.
  void Free();
};

// Frees any cells the grid had, then makes the root: one cell with the bounds,
// root level 1. depth_limit is at most kGridMaxLevel (5 for edge graphs, 3 or 4
// for path indexes). -1 when the cell pool is exhausted.
[[nodiscard]] int SpatialGridInit(SpatialGrid& grid, const Rect32& bounds, int depth_limit);
void SpatialGridFree(SpatialGrid& grid);

// The deepest cell that holds r wholly. With create, the root grows towards an
// r that does not fit it and missing cells on the way down are made. When the
// root cannot take r in (level -3 reached, the 32-bit range reached, no memory)
// the root is returned; when a cell cannot be made, the deepest one reached.
// Null only for a grid without a root.
GridCell* SpatialGridFindCell(SpatialGrid& grid, const Rect32& r, bool create);

// Frees the empty descendants of cell (no items in either chain, no children
// left). True when cell itself is empty; cell itself is never freed.
bool SpatialGridPrune(GridCell* cell);

// Grid walker.
struct EdgeIter {
  struct Entry {
    GridCell* cell = nullptr;
    int16_t next_child = 0;  // the quadrant to try next
  };
  Entry stack[kGridMaxPath];
  Rect32 query;
  int16_t chain = 0;         // chain selector, 0 or 1
  int16_t depth = -1;        // top of the stack; -1 = finished
  void* head = nullptr;      // the chain last returned
  GridCell* cell = nullptr;  // the cell of that chain
  int32_t count = 0;         // free for the walker's user (the edge graph)
};

// Starts a walk over the cells that touch rect (every cell when rect is null).
// The root is always visited: it also holds the items that stick out of the grid.
void EdgeIterInit(EdgeIter& iter, const SpatialGrid& grid, int chain, const Rect32* rect);
// The head of the next non-empty chain (cells come children first, then their
// parent), or null when the walk is over.
void* GridIterAdvance(EdgeIter& iter);
