#include "geometry/pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "tests/common/refuse_memory.h"
namespace {

std::vector<BlockChunk*> Chunks(const BlockPool& pool) {
  std::vector<BlockChunk*> out;
  for (BlockChunk* c = pool.oldest; c; c = c->next) out.push_back(c);
  return out;
}

std::vector<int> ChunkIds(const BlockPool& pool) {
  std::vector<int> ids;
  for (BlockChunk* c : Chunks(pool)) ids.push_back(c->id);
  return ids;
}

}  // namespace

// ---- Heap helpers ------------------------------------------------------------

TEST(BlockHeap, ZeroSizeMeansNoBlock) {
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(BlockAlloc(0, &p), 0);
  EXPECT_EQ(p, nullptr);

  ASSERT_EQ(BlockAlloc(16, &p), 0);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(BlockRealloc(0, &p), 0);  // frees
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(BlockFree(nullptr), 0);
}

TEST(BlockHeap, ReallocKeepsContentsAndAllocatesFromNull) {
  int32_t* table = nullptr;
  for (int n = 1; n <= 40; ++n) {  // grows one entry at a time, like a style table
    ASSERT_EQ(BlockRealloc(n * sizeof(int32_t), &table), 0);
    table[n - 1] = n * 7;
  }
  for (int n = 1; n <= 40; ++n) EXPECT_EQ(table[n - 1], n * 7);
  BlockFree(table);
}

TEST(BlockHeap, RefusedRequestsReportFailureAndKeepTheOldBlock) {
  char* block = nullptr;
  ASSERT_EQ(BlockAlloc(8, &block), 0);
  std::memcpy(block, "1234567", 8);
  {
    RefuseMemory refuse;
    void* fresh = reinterpret_cast<void*>(1);
    EXPECT_EQ(BlockAlloc(32, &fresh), -1);
    EXPECT_EQ(fresh, nullptr);
    char* old = block;
    EXPECT_EQ(BlockRealloc(64, &block), -1);
    EXPECT_EQ(block, old);
    EXPECT_STREQ(block, "1234567");
  }
  BlockFree(block);
}

// ---- Block pools ---------------------------------------------------------------

TEST(BlockPool, BlocksCarryAPointerSizedLinkAndAreAligned) {
  struct alignas(16) Wide {
    long double v;
    char tail[3];
  };
  struct Layout {
    int32_t user_size, align;
  };
  for (Layout l : {Layout{1, 1}, Layout{4, 4}, Layout{12, 4}, Layout{int32_t(sizeof(Wide)), 16},
                   Layout{40, 8}, Layout{100, 64}}) {
    SCOPED_TRACE(testing::Message() << "size " << l.user_size << " align " << l.align);
    BlockPool pool;
    pool.Init(l.user_size, 5, 0, 0x5A5A5A5A, l.align);
    EXPECT_GE(pool.block_size, l.user_size + int32_t(sizeof(void*)));
    EXPECT_EQ(pool.block_size % std::max<int32_t>(l.align, alignof(void*)), 0);
    std::vector<char*> blocks;
    for (int i = 0; i < 12; ++i) {
      auto* p = static_cast<char*>(pool.Alloc());
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % l.align, 0u);
      EXPECT_EQ(BlockPool::ChunkOf(p)->owner, &pool);
      EXPECT_EQ(BlockPool::ChunkOf(p)->marker, 0x5A5A5A5Au);
      std::memset(p, 0xEE, std::max(l.user_size, int32_t(sizeof(void*))));  // ASan: stays inside
      blocks.push_back(p);
    }
    // The links survived the writes into neighbouring blocks.
    for (char* p : blocks) EXPECT_EQ(BlockPool::ChunkOf(p)->owner, &pool);
    for (char* p : blocks) pool.Free(p);
    EXPECT_EQ(pool.oldest, nullptr);
  }
}

TEST(BlockPool, ChunksFillInAddressOrderThenANewChunkComes) {
  BlockPool pool;
  pool.Init(24, 4, 0, 0x66666666, 8);
  std::vector<char*> blocks;
  for (int i = 0; i < 4; ++i) blocks.push_back(static_cast<char*>(pool.Alloc()));
  for (int i = 1; i < 4; ++i) EXPECT_EQ(blocks[i] - blocks[i - 1], pool.block_size);
  ASSERT_EQ(ChunkIds(pool), (std::vector<int>{0}));
  EXPECT_EQ(pool.oldest->count, 4);
  EXPECT_EQ(pool.oldest->marker, 0x66666666u);

  char* fifth = static_cast<char*>(pool.Alloc());
  EXPECT_EQ(ChunkIds(pool), (std::vector<int>{0, 1}));
  EXPECT_EQ(BlockPool::ChunkOf(fifth), pool.newest);
  EXPECT_EQ(pool.current, pool.newest);
  pool.FreeAll();
  EXPECT_EQ(pool.oldest, nullptr);
  EXPECT_EQ(pool.newest, nullptr);
  EXPECT_EQ(pool.current, nullptr);
}

TEST(BlockPool, FreeingEveryBlockReleasesChunksAndIdsGoOn) {
  BlockPool pool;
  pool.Init(16, 3, 0, 0x77777777, 8);
  std::vector<void*> blocks;
  for (int i = 0; i < 7; ++i) blocks.push_back(pool.Alloc());  // chunks 0, 1, 2
  EXPECT_EQ(ChunkIds(pool), (std::vector<int>{0, 1, 2}));
  // Freeing the middle chunk's blocks releases it and unlinks it from the list.
  for (int i = 3; i < 6; ++i) pool.Free(blocks[i]);
  EXPECT_EQ(ChunkIds(pool), (std::vector<int>{0, 2}));
  EXPECT_EQ(pool.oldest->next, pool.newest);
  EXPECT_EQ(pool.newest->prev, pool.oldest);
  for (int i : {0, 1, 2, 6}) pool.Free(blocks[i]);
  EXPECT_EQ(pool.oldest, nullptr);
  EXPECT_EQ(pool.newest, nullptr);
  EXPECT_EQ(pool.current, nullptr);

  void* again = pool.Alloc();
  EXPECT_EQ(BlockPool::ChunkOf(again)->id, 3);
  pool.Free(again);
}

TEST(BlockPool, AllocationDriftsTowardsTheOlderChunk) {
  BlockPool pool;
  pool.Init(16, 2, 0, 0x88888888, 8);
  void* a0 = pool.Alloc();
  void* a1 = pool.Alloc();
  void* b0 = pool.Alloc();  // chunk 1, now current
  ASSERT_EQ(pool.current->id, 1);
  pool.Free(a1);  // older chunk gets a free block: it becomes current
  EXPECT_EQ(pool.current->id, 0);
  void* next = pool.Alloc();
  EXPECT_EQ(next, a1);  // not the free block of chunk 1
  // Freeing in a newer chunk leaves the older one current.
  pool.Free(b0);  // releases chunk 1 (it was not current)
  EXPECT_EQ(ChunkIds(pool), (std::vector<int>{0}));
  EXPECT_EQ(pool.current->id, 0);
  pool.Free(a0);
  pool.Free(next);
  EXPECT_EQ(pool.oldest, nullptr);
}

TEST(BlockPool, ReleasingTheCurrentChunkMakesTheHeadCurrent) {
  BlockPool pool;
  pool.Init(16, 1, 0, 0x99999999, 8);
  void* a = pool.Alloc();  // chunk 0
  void* b = pool.Alloc();  // chunk 1
  void* c = pool.Alloc();  // chunk 2, current
  pool.Free(c);
  EXPECT_EQ(pool.current, pool.oldest);
  EXPECT_EQ(ChunkIds(pool), (std::vector<int>{0, 1}));
  pool.Free(a);
  pool.Free(b);
}

TEST(BlockPool, NonZeroFlagsKeepEmptyChunksUntilFreeAll) {
  BlockPool pool;
  pool.Init(16, 2, 1, 0xAAAAAAAA, 8);
  std::vector<void*> blocks;
  for (int i = 0; i < 4; ++i) blocks.push_back(pool.Alloc());
  for (void* p : blocks) pool.Free(p);
  EXPECT_EQ(ChunkIds(pool), (std::vector<int>{0, 1}));
  EXPECT_EQ(pool.current->id, 0);  // the emptied older chunk became current
  // The kept chunks serve again without asking for memory.
  RefuseMemory refuse(RefuseMemory::Only(&pool));
  for (int i = 0; i < 4; ++i) EXPECT_NE(pool.Alloc(), nullptr);
  EXPECT_EQ(pool.Alloc(), nullptr);
  pool.FreeAll();
  EXPECT_EQ(pool.oldest, nullptr);
}

TEST(BlockPool, RefusedMemoryGivesNullAndLeavesThePoolUsable) {
  BlockPool pool;
  pool.Init(16, 2, 0, 0x12345678, 8);
  void* a = pool.Alloc();
  {
    RefuseMemory refuse(RefuseMemory::Only(&pool));
    void* b = pool.Alloc();  // still room in chunk 0
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(pool.Alloc(), nullptr);
    EXPECT_EQ(ChunkIds(pool), (std::vector<int>{0}));
    EXPECT_EQ(pool.current, pool.oldest);
    pool.Free(b);
  }
  {
    BlockPool other;
    other.Init(16, 2, 0, 1, 8);
    RefuseMemory refuse_other_only(RefuseMemory::Only(&other));
    EXPECT_EQ(other.Alloc(), nullptr);
    EXPECT_EQ(other.oldest, nullptr);
    void* c = pool.Alloc();
    void* d = pool.Alloc();  // a new chunk of the pool that is not refused
    EXPECT_NE(d, nullptr);
    pool.Free(c);
    pool.Free(d);
  }
  pool.Free(a);
  EXPECT_EQ(pool.oldest, nullptr);
}

TEST(BlockPool, ResetRestartsChunkIds) {
  BlockPool pool;
  pool.Init(16, 1, 0, 0x11111111, 8);
  EXPECT_NE(pool.Alloc(), nullptr);
  EXPECT_NE(pool.Alloc(), nullptr);  // in use when reset: reset frees them anyway
  EXPECT_EQ(pool.next_id, 2);
  pool.Reset();
  EXPECT_EQ(pool.oldest, nullptr);
  void* p = pool.Alloc();
  EXPECT_EQ(BlockPool::ChunkOf(p)->id, 0);
  pool.Free(p);
}

// Random allocations and frees against a plain set of live blocks: live blocks
// never overlap, the chunk counts add up, and no chunk without a live block
// survives (flags 0).
TEST(BlockPool, RandomUseKeepsBlocksDisjointAndChunksAccounted) {
  for (int32_t flags : {0, 1}) {
    SCOPED_TRACE(testing::Message() << "flags " << flags);
    BlockPool pool;
    const int32_t size = 20;
    pool.Init(size, 7, flags, 0xC0FFEE00, 4);
    std::mt19937 rng(1234 + flags);
    std::vector<unsigned char*> live;
    for (int step = 0; step < 5000; ++step) {
      const bool alloc = live.empty() || (rng() % 100) < (step < 2500 ? 60 : 40);
      if (alloc) {
        auto* p = static_cast<unsigned char*>(pool.Alloc());
        ASSERT_NE(p, nullptr);
        std::memset(p, static_cast<int>(live.size() & 0xFF), size);
        live.push_back(p);
      } else {
        const std::size_t i = rng() % live.size();
        std::swap(live[i], live.back());
        pool.Free(live.back());
        live.pop_back();
      }
      if (step % 97 == 0) {
        std::set<unsigned char*> sorted(live.begin(), live.end());
        ASSERT_EQ(sorted.size(), live.size());
        for (auto it = sorted.begin(); std::next(it) != sorted.end(); ++it)
          ASSERT_GE(*std::next(it) - *it, size);  // disjoint user parts
        std::size_t counted = 0;
        for (BlockChunk* c : Chunks(pool)) {
          counted += c->count;
          if (flags == 0) {
            ASSERT_GT(c->count, 0);
          }
          ASSERT_EQ(c->owner, &pool);
        }
        ASSERT_EQ(counted, live.size());
      }
    }
    for (unsigned char* p : live) pool.Free(p);
    if (flags == 0) {
      EXPECT_EQ(pool.oldest, nullptr);
    }
  }
}

// Random use against the list walk that the index of chunks with room
// replaced: whenever the current chunk is full, the block comes from the
// oldest chunk with room (or a new chunk when none has any).
TEST(BlockPool, AllocationTakesTheOldestChunkWithRoomAsTheListWalkDid) {
  for (int32_t flags : {0, 1}) {
    SCOPED_TRACE(testing::Message() << "flags " << flags);
    BlockPool pool;
    pool.Init(16, 5, flags, 0x5A5A5A5A, 8);
    std::mt19937 rng(99 + flags);
    std::vector<void*> live;
    for (int step = 0; step < 20000; ++step) {
      const int phase = step / 2000 % 3;  // growing, shrinking, churning
      const unsigned allocPercent = phase == 0 ? 70 : phase == 1 ? 30 : 50;
      if (live.empty() || rng() % 100 < allocPercent) {
        // The reference: the current chunk while it has room, else the
        // first chunk from the head that has one, else a new chunk.
        BlockChunk* want = pool.current && pool.current->free_head ? pool.current : nullptr;
        for (BlockChunk* c = pool.oldest; !want && c; c = c->next)
          if (c->free_head) want = c;
        const std::vector<BlockChunk*> before = Chunks(pool);
        void* p = pool.Alloc();
        ASSERT_NE(p, nullptr);
        if (want) {
          ASSERT_EQ(BlockPool::ChunkOf(p), want) << "step " << step;
        } else {
          ASSERT_EQ(Chunks(pool).size(), before.size() + 1) << "step " << step;
          ASSERT_EQ(BlockPool::ChunkOf(p), pool.newest);
        }
        live.push_back(p);
      } else {
        const std::size_t i = rng() % live.size();
        std::swap(live[i], live.back());
        pool.Free(live.back());
        live.pop_back();
      }
    }
    for (void* p : live) pool.Free(p);
  }
}

// A pool whose use rises and falls across a chunk boundary: the emptied
// chunk leaves the list at once and its memory serves the next chunk (the
// same place each time, not a fresh allocation); every new chunk still asks
// the refusal hook, and FreeAll returns the kept memory.
TEST(BlockPool, EmptiedChunkLeavesTheListAndItsMemoryServesTheNextChunk) {
  BlockPool pool;
  pool.Init(16, 4, 0, 0x3C3C3C3C, 8);
  int requests = 0;
  std::vector<void*> first;
  {
    RefuseMemory count([&](const BlockPool* p) {
      if (p == &pool) ++requests;
      return false;
    });
    for (int i = 0; i < 4; ++i) first.push_back(pool.Alloc());
    void* place = nullptr;
    for (int round = 0; round < 50; ++round) {
      void* over = pool.Alloc();  // a second chunk
      ASSERT_NE(over, nullptr);
      EXPECT_EQ(BlockPool::ChunkOf(over)->id, round + 1);  // ids go on
      if (round == 0) place = over;
      EXPECT_EQ(over, place) << "round " << round;
      pool.Free(over);
      ASSERT_EQ(ChunkIds(pool), (std::vector<int>{0}));
    }
    EXPECT_EQ(requests, 51);
  }
  {
    RefuseMemory refuse(RefuseMemory::Only(&pool));
    EXPECT_EQ(pool.Alloc(), nullptr);  // a kept chunk is refused like a new one
    EXPECT_EQ(ChunkIds(pool), (std::vector<int>{0}));
  }
  for (void* p : first) pool.Free(p);
  EXPECT_EQ(pool.oldest, nullptr);
  EXPECT_EQ(pool.current, nullptr);
  pool.FreeAll();
}
