#include "geometry/grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <random>
#include <set>
#include <vector>

#include "geometry/pool.h"
#include "tests/common/refuse_memory.h"

static void PrintTo(const Rect32& r, std::ostream* os) {
  *os << "{" << r.xmin << ", " << r.xmax << ", " << r.ymin << ", " << r.ymax << "}";
}

namespace {

// An item filed in a cell chain.
struct Item {
  Item* next = nullptr;
  Rect32 bounds;
};

void File(GridCell* cell, Item& item, int chain = 0) {
  item.next = static_cast<Item*>(cell->chain[chain]);
  cell->chain[chain] = &item;
}

std::size_t CellsInUse() {
  std::size_t n = 0;
  for (BlockChunk* c = GridCellPool().oldest; c; c = c->next) n += c->count;
  return n;
}

// Every cell below (and including) cell, with its depth from the root.
void CollectCells(GridCell* cell, int depth, std::map<GridCell*, int>& out) {
  out[cell] = depth;
  for (GridCell* child : cell->child)
    if (child) CollectCells(child, depth + 1, out);
}

int LevelOf(const SpatialGrid& grid, GridCell* cell) {
  std::map<GridCell*, int> cells;
  CollectCells(grid.root, grid.root_level, cells);
  auto it = cells.find(cell);
  return it == cells.end() ? -100 : it->second;
}

std::vector<GridCell*> WalkCells(const SpatialGrid& grid, int chain, const Rect32* rect) {
  EdgeIter iter;
  EdgeIterInit(iter, grid, chain, rect);
  std::vector<GridCell*> cells;
  while (void* head = GridIterAdvance(iter)) {
    EXPECT_EQ(head, iter.cell->chain[chain]);
    cells.push_back(iter.cell);
  }
  EXPECT_EQ(iter.depth, -1);
  EXPECT_EQ(GridIterAdvance(iter), nullptr);  // stays finished
  return cells;
}

// Every test starts from an empty cell pool and must give back every cell.
class Grid : public testing::Test {
 protected:
  void SetUp() override { GridCellPoolReset(); }
  void TearDown() override {
    EXPECT_EQ(CellsInUse(), 0u);
    EXPECT_EQ(GridCellPool().oldest, nullptr);
  }
};

constexpr Rect32 kSquare{0, 1024, 0, 1024};

}  // namespace

TEST_F(Grid, InitMakesARootAndFreeGivesEveryCellBack) {
  SpatialGrid grid;
  EXPECT_EQ(grid.root, nullptr);
  ASSERT_EQ(SpatialGridInit(grid, kSquare, 3), 0);
  EXPECT_EQ(grid.root->bounds, kSquare);
  EXPECT_EQ(grid.root_level, 1);
  EXPECT_EQ(grid.min_root_level, -3);
  EXPECT_EQ(grid.depth_limit, 3);
  EXPECT_FALSE(grid.root->has_children);
  EXPECT_EQ(BlockPool::ChunkOf(grid.root)->marker, 0x11111111u);
  EXPECT_EQ(GridCellPool().per_chunk, 1454);
  EXPECT_EQ(GridCellPool().flags, 0);

  SpatialGridFindCell(grid, {10, 20, 10, 20}, true);
  EXPECT_EQ(CellsInUse(), 3u);
  // Init again starts over without losing the old cells.
  ASSERT_EQ(SpatialGridInit(grid, kSquare, 40), 0);
  EXPECT_EQ(CellsInUse(), 1u);
  EXPECT_EQ(grid.depth_limit, kGridMaxLevel);  // at most 12
  SpatialGridFree(grid);
  EXPECT_EQ(grid.root, nullptr);
  EXPECT_EQ(CellsInUse(), 0u);
}

TEST_F(Grid, FindCellDescendsByTheCellCentres) {
  // Depth limit 3 over 1024 x 1024: level 1 is the root, level 3 cells are 256 wide.
  struct Case {
    const char* what;
    Rect32 r;
    Rect32 cell;
  };
  const Case cases[] = {
      {"lower left corner", {10, 20, 10, 20}, {0, 256, 0, 256}},
      {"upper right", {600, 700, 800, 900}, {512, 768, 768, 1024}},
      {"straddles the root's vertical centre line", {500, 520, 10, 20}, kSquare},
      {"straddles the root's horizontal centre line", {10, 20, 500, 520}, kSquare},
      {"zero width on the root's centre line goes right", {512, 512, 10, 20}, {512, 768, 0, 256}},
      {"one left of the centre line goes left", {511, 511, 10, 20}, {256, 512, 0, 256}},
      {"zero height on the centre line goes up", {10, 20, 512, 512}, {0, 256, 512, 768}},
      {"straddles a level-2 centre line", {250, 260, 10, 20}, {0, 512, 0, 512}},
      {"holds the whole lower left quadrant", {0, 511, 0, 511}, {0, 512, 0, 512}},
      {"ends one short of the root's maximum", {1000, 1023, 1000, 1023}, {768, 1024, 768, 1024}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SpatialGrid grid;
    ASSERT_EQ(SpatialGridInit(grid, kSquare, 3), 0);
    GridCell* cell = SpatialGridFindCell(grid, c.r, true);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->bounds, c.cell);
    EXPECT_EQ(grid.root_level, 1);
    // Found again, without creating, and nothing new is made.
    const std::size_t cells = CellsInUse();
    EXPECT_EQ(SpatialGridFindCell(grid, c.r, false), cell);
    EXPECT_EQ(SpatialGridFindCell(grid, c.r, true), cell);
    EXPECT_EQ(CellsInUse(), cells);
  }
}

TEST_F(Grid, FindCellWithoutCreateStopsAtTheDeepestExistingCell) {
  SpatialGrid grid;
  ASSERT_EQ(SpatialGridInit(grid, kSquare, 3), 0);
  EXPECT_EQ(SpatialGridFindCell(grid, {10, 20, 10, 20}, false), grid.root);
  EXPECT_EQ(SpatialGridFindCell(grid, {2000, 2010, 10, 20}, false), grid.root);  // no growth
  EXPECT_EQ(grid.root_level, 1);
  GridCell* mid = SpatialGridFindCell(grid, {250, 260, 10, 20}, true);
  EXPECT_EQ(SpatialGridFindCell(grid, {10, 20, 10, 20}, false), mid);
  EXPECT_EQ(CellsInUse(), 2u);
}

TEST_F(Grid, RootGrowsTowardsTheRectangle) {
  // A rectangle touching only the right or upper edge does not fit (maximum
  // ends are exclusive) and makes the root grow.
  struct Case {
    const char* what;
    Rect32 r;
    Rect32 root;
    int old_quadrant;
  };
  const Case cases[] = {
      {"right and up (touches the corner)",
       {1024, 1024, 1024, 1024},
       {0, 2048, 0, 2048},
       kQuadLeftLower},
      {"right edge only", {1000, 1024, 10, 20}, {0, 2048, 0, 2048}, kQuadLeftLower},
      {"left and up", {-10, -5, 500, 1030}, {-1024, 1024, 0, 2048}, kQuadRightLower},
      {"left and down", {-10, -5, -10, -5}, {-1024, 1024, -1024, 1024}, kQuadRightUpper},
      {"right and down", {500, 1030, -10, 5}, {0, 2048, -1024, 1024}, kQuadLeftUpper},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SpatialGrid grid;
    ASSERT_EQ(SpatialGridInit(grid, kSquare, 3), 0);
    GridCell* old_root = grid.root;
    GridCell* cell = SpatialGridFindCell(grid, c.r, true);
    EXPECT_EQ(grid.root_level, 0);
    EXPECT_EQ(grid.root->bounds, c.root);
    EXPECT_EQ(grid.root->child[c.old_quadrant], old_root);
    EXPECT_TRUE(grid.root->has_children);
    // The cell found holds the rectangle (maximum ends exclusive).
    EXPECT_GE(c.r.xmin, cell->bounds.xmin);
    EXPECT_LT(c.r.xmax, cell->bounds.xmax);
    EXPECT_GE(c.r.ymin, cell->bounds.ymin);
    EXPECT_LT(c.r.ymax, cell->bounds.ymax);
  }
}

TEST_F(Grid, FarOutsideGrowsTheRootAtMostFourTimes) {
  SpatialGrid grid;
  ASSERT_EQ(SpatialGridInit(grid, kSquare, 3), 0);
  const Rect32 far{1000000, 1000010, 10, 20};
  EXPECT_EQ(SpatialGridFindCell(grid, far, true), grid.root);
  EXPECT_EQ(grid.root_level, -3);
  EXPECT_EQ(grid.root->bounds, (Rect32{0, 16384, 0, 16384}));
  EXPECT_EQ(CellsInUse(), 5u);
  EXPECT_EQ(SpatialGridFindCell(grid, far, true), grid.root);
  EXPECT_EQ(grid.root_level, -3);
  EXPECT_EQ(CellsInUse(), 5u);
  // Rectangles inside descend from the grown root past the old root.
  GridCell* cell = SpatialGridFindCell(grid, {10, 20, 10, 20}, true);
  EXPECT_EQ(cell->bounds, (Rect32{0, 256, 0, 256}));
  EXPECT_EQ(LevelOf(grid, cell), 3);
}

TEST_F(Grid, ArithmeticNearThe32BitRangeStaysInRange) {
  const int32_t top = INT32_MAX;
  struct Case {
    const char* what;
    Rect32 bounds;
    Rect32 r;
    int root_level;  // after filing r
  };
  const Case cases[] = {
      {"growing right would pass INT32_MAX",
       {top - 1000, top - 1, 0, 1000},
       {top - 5, top, 10, 20},
       1},
      {"growing left would reach INT32_MIN",
       {INT32_MIN + 1000, INT32_MIN + 3000, 0, 1000},
       {INT32_MIN + 1, INT32_MIN + 2, 10, 20},
       1},
      {"growing up would pass INT32_MAX",
       {0, 1000, top - 1000, top - 1},
       {10, 20, top - 5, top},
       1},
      {"a root over nearly the whole range", {-top, top, -top, top}, {top, top, 0, 0}, 1},
      {"grows twice, then stops at the range", {0, 1 << 28, 0, 1 << 28}, {10, 20, 10, top}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SpatialGrid grid;
    ASSERT_EQ(SpatialGridInit(grid, c.bounds, 5), 0);
    GridCell* cell = SpatialGridFindCell(grid, c.r, true);
    EXPECT_EQ(grid.root_level, c.root_level);
    EXPECT_EQ(cell, grid.root);
    EXPECT_EQ(grid.min_root_level, -3);  // the range, unlike memory, is not final
    // Centres of cells near the top of the range, computed without overflow.
    GridCell* inner = SpatialGridFindCell(
        grid, {c.bounds.xmax - 2, c.bounds.xmax - 2, c.bounds.ymax - 2, c.bounds.ymax - 2}, true);
    EXPECT_GT(inner->bounds.xmin, c.bounds.xmin);
    EXPECT_EQ(inner->bounds.xmax, c.bounds.xmax);
    EXPECT_EQ(inner->bounds.ymax, c.bounds.ymax);
  }
}

TEST_F(Grid, DeeperSplitGoesPastTheDepthLimitDownToLevel12) {
  SpatialGrid grid;
  ASSERT_EQ(SpatialGridInit(grid, {0, 1 << 20, 0, 1 << 20}, 2), 0);
  const Rect32 r{1, 2, 1, 2};
  GridCell* cell = SpatialGridFindCell(grid, r, true);
  EXPECT_EQ(LevelOf(grid, cell), 2);
  std::vector<int> levels;
  for (int i = 0; i < 14; ++i) {
    cell->deeper_split = 1;
    cell = SpatialGridFindCell(grid, r, true);
    levels.push_back(LevelOf(grid, cell));
  }
  EXPECT_EQ(levels, (std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 12, 12, 12, 12}));
  EXPECT_EQ(cell->bounds, (Rect32{0, 512, 0, 512}));  // 2^20 halved 11 times
  // Cells that have children are always descended, whatever the depth limit.
  EXPECT_EQ(SpatialGridFindCell(grid, r, false), cell);
}

TEST_F(Grid, WalkerHoldsTheLongestPath) {
  // Root grown to level -3, cells down to level 12: 16 cells on one path.
  SpatialGrid grid;
  ASSERT_EQ(SpatialGridInit(grid, {0, 1 << 20, 0, 1 << 20}, 99), 0);
  SpatialGridFindCell(grid, {INT32_MAX - 9, INT32_MAX - 9, 0, 0}, true);
  ASSERT_EQ(grid.root_level, -3);
  std::vector<Item> items(kGridMaxPath);
  for (int size = 1 << 24; size >= 1; size >>= 1)
    SpatialGridFindCell(grid, {0, size - 1, 0, size - 1}, true);
  std::map<GridCell*, int> cells;
  CollectCells(grid.root, grid.root_level, cells);
  ASSERT_EQ(cells.size(), std::size_t(kGridMaxPath));
  int i = 0;
  for (auto& [cell, level] : cells) File(cell, items[i++]);
  std::vector<GridCell*> walked = WalkCells(grid, 0, nullptr);
  EXPECT_EQ(walked.size(), std::size_t(kGridMaxPath));
  // Deepest first, the root last.
  for (std::size_t k = 0; k < walked.size(); ++k) EXPECT_EQ(cells[walked[k]], 12 - int(k));
  const Rect32 tiny{0, 0, 0, 0};
  EXPECT_EQ(WalkCells(grid, 0, &tiny).size(), std::size_t(kGridMaxPath));
}

TEST_F(Grid, RefusedCellsLeaveItemsFiledLessFinely) {
  {
    RefuseMemory refuse(RefuseMemory::Only(&GridCellPool()));
    SpatialGrid grid;
    EXPECT_EQ(SpatialGridInit(grid, kSquare, 3), -1);
    EXPECT_EQ(grid.root, nullptr);
    EXPECT_EQ(SpatialGridFindCell(grid, {10, 20, 10, 20}, true), nullptr);
    EXPECT_TRUE(WalkCells(grid, 0, nullptr).empty());
  }
  SpatialGrid grid;
  ASSERT_EQ(SpatialGridInit(grid, kSquare, 3), 0);
  GridCell* mid = SpatialGridFindCell(grid, {250, 260, 10, 20}, true);
  std::vector<void*> hog;  // every cell left in the pool's chunks
  {
    RefuseMemory refuse(RefuseMemory::Only(&GridCellPool()));
    while (void* p = GridCellPool().Alloc()) hog.push_back(p);
    // Descent stops at the deepest cell there is.
    EXPECT_EQ(SpatialGridFindCell(grid, {10, 20, 10, 20}, true), mid);
    EXPECT_EQ(SpatialGridFindCell(grid, {600, 700, 600, 700}, true), grid.root);
    // A root that cannot grow never tries again.
    EXPECT_EQ(SpatialGridFindCell(grid, {2000, 2010, 10, 20}, true), grid.root);
    EXPECT_EQ(grid.root_level, 1);
    EXPECT_EQ(grid.min_root_level, 1);
  }
  for (void* p : hog) GridCellPool().Free(p);
  EXPECT_EQ(SpatialGridFindCell(grid, {2000, 2010, 10, 20}, true), grid.root);
  EXPECT_EQ(grid.root_level, 1);
  EXPECT_EQ(SpatialGridFindCell(grid, {10, 20, 10, 20}, true)->bounds, (Rect32{0, 256, 0, 256}));
}

TEST_F(Grid, PruneFreesEmptyBranchesOnly) {
  SpatialGrid grid;
  ASSERT_EQ(SpatialGridInit(grid, kSquare, 3), 0);
  Item a, b, v;
  File(SpatialGridFindCell(grid, {10, 20, 10, 20}, true), a);
  File(SpatialGridFindCell(grid, {600, 700, 600, 700}, true), b);
  GridCell* vertex_cell = SpatialGridFindCell(grid, {900, 900, 100, 100}, true);
  File(vertex_cell, v, 1);
  ASSERT_EQ(CellsInUse(), 7u);
  EXPECT_FALSE(SpatialGridPrune(grid.root));
  EXPECT_EQ(CellsInUse(), 7u);  // nothing empty yet

  GridCell* lower_left = grid.root->child[kQuadLeftLower];
  lower_left->child[kQuadLeftLower]->chain[0] = nullptr;  // a leaves
  EXPECT_FALSE(SpatialGridPrune(grid.root));
  EXPECT_EQ(CellsInUse(), 5u);
  EXPECT_EQ(grid.root->child[kQuadLeftLower], nullptr);
  EXPECT_TRUE(grid.root->has_children);

  vertex_cell->chain[1] = nullptr;
  SpatialGridFindCell(grid, {600, 700, 600, 700}, false)->chain[0] = nullptr;
  EXPECT_TRUE(SpatialGridPrune(grid.root));
  EXPECT_EQ(CellsInUse(), 1u);
  EXPECT_FALSE(grid.root->has_children);
  for (GridCell* child : grid.root->child) EXPECT_EQ(child, nullptr);
}

TEST_F(Grid, WalkVisitsTouchingCellsChildrenFirst) {
  SpatialGrid grid;
  ASSERT_EQ(SpatialGridInit(grid, kSquare, 3), 0);
  std::vector<Item> items(8);
  const Rect32 places[] = {{10, 20, 10, 20},   {600, 700, 600, 700}, {250, 260, 10, 20},
                           {500, 520, 10, 20}, {900, 910, 10, 20},   {300, 310, 300, 310}};
  std::set<GridCell*> filled;
  for (int i = 0; i < 6; ++i) {
    GridCell* cell = SpatialGridFindCell(grid, places[i], true);
    File(cell, items[i]);
    filled.insert(cell);
  }
  // A cell made on the way down but holding nothing is not returned.
  std::map<GridCell*, int> all;
  CollectCells(grid.root, 0, all);
  ASSERT_GT(all.size(), filled.size());

  std::vector<GridCell*> walked = WalkCells(grid, 0, nullptr);
  EXPECT_EQ(std::set<GridCell*>(walked.begin(), walked.end()), filled);
  EXPECT_EQ(walked.size(), filled.size());
  for (std::size_t i = 0; i < walked.size(); ++i)
    for (GridCell* child : walked[i]->child)
      if (child && filled.count(child)) {
        EXPECT_LT(std::find(walked.begin(), walked.end(), child) - walked.begin(), long(i));
      }
  EXPECT_EQ(walked.back(), grid.root);

  // Touching counts: a query that meets the cell {0, 256, 0, 256} only at x = 256.
  const Rect32 touch{256, 257, 100, 100};
  std::vector<GridCell*> touched = WalkCells(grid, 0, &touch);
  EXPECT_NE(
      std::find(touched.begin(), touched.end(), SpatialGridFindCell(grid, {10, 20, 10, 20}, false)),
      touched.end());

  // Chain 1 is empty everywhere.
  EXPECT_TRUE(WalkCells(grid, 1, nullptr).empty());
}

TEST_F(Grid, WalkOverNoCellEndsAtOnce) {
  SpatialGrid grid;
  ASSERT_EQ(SpatialGridInit(grid, kSquare, 3), 0);
  Item a;
  File(SpatialGridFindCell(grid, {10, 20, 10, 20}, true), a);
  for (Rect32 q : {Rect32{2000, 3000, 2000, 3000}, Rect32{900, 1000, 100, 200}, Rect32{}}) {
    EdgeIter iter;
    EdgeIterInit(iter, grid, 0, &q);
    EXPECT_EQ(GridIterAdvance(iter), nullptr);
    EXPECT_EQ(iter.depth, -1);
  }
}

TEST_F(Grid, ItemsStickingOutOfTheRootAreFoundOutsideIt) {
  // Once the root can grow no more, outside items are filed in the root; a
  // walk outside the root's bounds still has to offer them.
  SpatialGrid grid;
  ASSERT_EQ(SpatialGridInit(grid, kSquare, 3), 0);
  Item far;
  far.bounds = {100000, 100010, 10, 20};
  File(SpatialGridFindCell(grid, far.bounds, true), far);
  ASSERT_EQ(grid.root_level, -3);
  const Rect32 q{100005, 100006, 15, 15};
  EdgeIter iter;
  EdgeIterInit(iter, grid, 0, &q);
  EXPECT_EQ(GridIterAdvance(iter), &far);
  EXPECT_EQ(iter.cell, grid.root);
  EXPECT_EQ(GridIterAdvance(iter), nullptr);
}

// Random items filed in a grid, random queries: the walk offers every item
// whose bounds touch the query (checked against a plain list), each cell once.
TEST_F(Grid, WalkFindsEveryTouchingItem) {
  std::mt19937 rng(20240607);
  auto uniform = [&](int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
  };
  auto random_rect = [&](int32_t lo, int32_t hi, int32_t max_size) {
    const int32_t x = uniform(lo, hi), y = uniform(lo, hi);
    return Rect32{x, x + uniform(0, max_size), y, y + uniform(0, max_size)};
  };
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    SpatialGrid grid;
    const int32_t side = uniform(1, 1 << 20);
    const int32_t x0 = uniform(-(1 << 20), 1 << 20);
    ASSERT_EQ(SpatialGridInit(grid, {x0, x0 + side, x0, x0 + side}, uniform(0, 6)), 0);
    std::vector<Item> items(400);
    for (Item& item : items) {
      // Mostly inside, some anywhere around (they grow the root), many tiny.
      const int32_t spread = side * (uniform(0, 9) == 0 ? 40 : 1);
      item.bounds = random_rect(x0 - spread / 8, x0 + spread, uniform(0, 3) ? side / 64 : side);
      GridCell* cell = SpatialGridFindCell(grid, item.bounds, true);
      ASSERT_NE(cell, nullptr);
      if (cell != grid.root) {
        ASSERT_GE(item.bounds.xmin, cell->bounds.xmin);
        ASSERT_LT(item.bounds.xmax, cell->bounds.xmax);
        ASSERT_GE(item.bounds.ymin, cell->bounds.ymin);
        ASSERT_LT(item.bounds.ymax, cell->bounds.ymax);
      }
      File(cell, item, static_cast<int>(&item - items.data()) % 2);
      if (uniform(0, 7) == 0) cell->deeper_split = 1;
    }
    for (int query = 0; query < 60; ++query) {
      const Rect32 q = random_rect(x0 - side / 4, x0 + side + side / 4, uniform(0, side / 2));
      for (int chain = 0; chain < 2; ++chain) {
        std::set<const Item*> offered;
        std::set<GridCell*> cells;
        EdgeIter iter;
        EdgeIterInit(iter, grid, chain, query % 7 ? &q : nullptr);
        while (void* head = GridIterAdvance(iter)) {
          ASSERT_TRUE(cells.insert(iter.cell).second) << "cell visited twice";
          for (auto* item = static_cast<const Item*>(head); item; item = item->next)
            offered.insert(item);
        }
        for (const Item& item : items) {
          if (static_cast<int>(&item - items.data()) % 2 != chain) continue;
          if (query % 7 == 0 || RectsOverlap(item.bounds, q)) {
            ASSERT_TRUE(offered.count(&item))
                << "query " << testing::PrintToString(q) << " missed item "
                << testing::PrintToString(item.bounds);
          }
        }
      }
    }
    // Emptying every chain and pruning leaves the root alone.
    std::map<GridCell*, int> cells;
    CollectCells(grid.root, 0, cells);
    for (auto& [cell, depth] : cells) cell->chain[0] = cell->chain[1] = nullptr;
    EXPECT_TRUE(SpatialGridPrune(grid.root));
    EXPECT_EQ(CellsInUse(), 1u);
  }
}
