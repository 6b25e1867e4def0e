// Heap helpers and fixed-size block pools.
//
// The drawing model allocates very many small records of a few fixed sizes
// (edges, vertices, regions, grid cells, work-list nodes). Each record type has
// one BlockPool: blocks are carved out of large chunks, so allocating is a
// free-list pop and freeing a push, with no per-block heap header beyond the
// link back to the owning chunk. Variable-sized arrays use the three heap
// helpers instead.
//
// Results follow the geometry convention: 0 on success, -1 when memory is
// refused; nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class BlockPool;

// ---- Heap helpers ------------------------------------------------------------

// size 0: out = null, 0. Otherwise out = a new heap block; -1 with out null
// when refused.
[[nodiscard]] int BlockAlloc(std::size_t size, void** out);
// size 0: frees *block and sets it null. Otherwise resizes *block (a null block
// is allocated); -1 when refused, leaving *block as it was.
[[nodiscard]] int BlockRealloc(std::size_t size, void** block);
// Frees a non-null block; 0.
int BlockFree(void* block);

// Frees *block when it is not null and sets it null.
template <class T>
void BlockRelease(T** block) {
  if (*block) BlockFree(*block);
  *block = nullptr;
}

// Typed forms for plain records (no constructors run; the contents move as bytes).
template <class T>
[[nodiscard]] int BlockAlloc(std::size_t size, T** out) {
  void* p = nullptr;
  const int result = BlockAlloc(size, &p);
  *out = static_cast<T*>(p);
  return result;
}
template <class T>
[[nodiscard]] int BlockRealloc(std::size_t size, T** block) {
  void* p = *block;
  const int result = BlockRealloc(size, &p);
  *block = static_cast<T*>(p);
  return result;
}

// ---- Refusing memory (tests) -------------------------------------------------

// Asked before every request for memory: by the heap helpers with pool = null,
// and by a pool about to make a chunk. Returning true refuses the request as if
// memory were exhausted. An empty hook (the default) refuses nothing.
using MemoryRefusalHook = std::function<bool(const BlockPool* pool, std::size_t bytes)>;
void SetMemoryRefusalHook(MemoryRefusalHook hook);

// ---- Block pools ---------------------------------------------------------------

// Head of one chunk; the blocks follow it in the same allocation. A block is
// padding up to the pool's alignment, a pointer-sized link to its chunk right
// before the user part, and the user part; while a block is free, the first
// word of its user part links to the next free block.
struct BlockChunk {
  uint32_t marker = 0;         // the pool's marker, for recognising chunks in memory
  BlockPool* owner = nullptr;  // the pool the chunk belongs to
  BlockChunk* next = nullptr;  // towards the newest chunk
  BlockChunk* prev = nullptr;  // towards the oldest chunk
  void* free_head = nullptr;   // user part of the first free block
  void* memory = nullptr;      // the allocation holding header and blocks
  uint16_t count = 0;          // blocks in use
  uint16_t id = 0;             // order of creation within the pool
  uint64_t serial = 0;         // order of creation, never wrapping
  int32_t room_at = -1;        // place in the pool's index of chunks with room, or -1
};

class BlockPool {
 public:
  BlockPool() = default;
  BlockPool(const BlockPool&) = delete;
  BlockPool& operator=(const BlockPool&) = delete;
  ~BlockPool() { FreeAll(); }

  // Sets the fields; no chunk is made yet. flags 0 releases a chunk as soon as
  // its last block is freed; non-zero keeps chunks until FreeAll. The user part
  // of every block is aligned to `align` (a power of two).
  void Init(int32_t user_size, int32_t per_chunk, int32_t flags, uint32_t marker,
            int32_t align = alignof(std::max_align_t));

  // A block's user part (uninitialised), or null when memory is refused.
  [[nodiscard]] void* Alloc();
  // Returns a block to its chunk; null is ignored.
  void Free(void* user);
  // Frees every chunk, in use or not (program exit, tests).
  void FreeAll();
  // Test reset hook: FreeAll, and chunk ids start again from 0.
  void Reset();

  // The chunk a block of some pool belongs to.
  static BlockChunk* ChunkOf(const void* user);

  // Fields, in their documented order.
  int32_t block_size = 0;  // link + padding + user part, rounded to the alignment
  int32_t per_chunk = 0;   // blocks per chunk
  uint32_t marker = 0;     // copied into the head of every chunk
  int32_t flags = 0;
  uint16_t next_id = 0;           // id of the next chunk made
  BlockChunk* current = nullptr;  // the chunk allocation tries first
  BlockChunk* newest = nullptr;   // list tail
  BlockChunk* oldest = nullptr;   // list head
  int32_t user_offset = 0;        // from a block's start to its user part
  int32_t align = 0;              // of chunk, header and blocks

 private:
  BlockChunk* NewChunk();
  // Unlinks and frees a chunk; keep: its memory becomes the spare when there
  // is none.
  void ReleaseChunk(BlockChunk* chunk, bool keep);
  std::size_t HeaderSize() const;
  // The index of chunks with a free block: a heap with the oldest on top,
  // so allocation finds the oldest chunk with room without walking the
  // list. Should the index itself be refused memory, allocation walks the
  // list as before.
  void AddRoom(BlockChunk* chunk);
  void RemoveRoom(BlockChunk* chunk);
  void SiftUp(std::size_t at);
  void SiftDown(std::size_t at);
  void Place(std::size_t at, BlockChunk* chunk);
  std::vector<BlockChunk*> room_;
  bool room_lost_ = false;
  uint64_t next_serial_ = 0;
  // One emptied chunk's memory, kept for the next chunk (flags 0), so that
  // a pool whose use rises and falls across a chunk does not allocate and
  // free a chunk each time.
  void* spare_ = nullptr;
};
