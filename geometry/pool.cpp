#include "geometry/pool.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

MemoryRefusalHook& RefusalHook() {
  static MemoryRefusalHook hook;
  return hook;
}

bool Refused(const BlockPool* pool, std::size_t bytes) {
  const MemoryRefusalHook& hook = RefusalHook();
  return hook && hook(pool, bytes);
}

std::size_t RoundUp(std::size_t v, std::size_t align) {
  return (v + align - 1) & ~(align - 1);
}

// Words inside blocks are read and written through memcpy: the bytes are raw
// storage, never objects of pointer type.
void* LoadPointer(const void* at) {
  void* p;
  std::memcpy(&p, at, sizeof p);
  return p;
}
void StorePointer(void* at, const void* p) {
  std::memcpy(at, &p, sizeof p);
}

char* LinkOf(void* user) {
  return static_cast<char*>(user) - sizeof(void*);
}

}  // namespace

void SetMemoryRefusalHook(MemoryRefusalHook hook) {
  RefusalHook() = std::move(hook);
}

// ---- Heap helpers ------------------------------------------------------------

int BlockAlloc(std::size_t size, void** out) {
  *out = nullptr;
  if (size == 0) return 0;
  if (Refused(nullptr, size)) return -1;
  *out = std::malloc(size);
  return *out ? 0 : -1;
}

int BlockRealloc(std::size_t size, void** block) {
  if (size == 0) {
    std::free(*block);
    *block = nullptr;
    return 0;
  }
  if (Refused(nullptr, size)) return -1;
  void* grown = std::realloc(*block, size);
  if (!grown) return -1;  // realloc leaves the old block intact
  *block = grown;
  return 0;
}

int BlockFree(void* block) {
  std::free(block);
  return 0;
}

// ---- Block pools ---------------------------------------------------------------

void BlockPool::Init(int32_t user_size, int32_t per_chunk_, int32_t flags_, uint32_t marker_,
                     int32_t align_) {
  FreeAll();
  // The user part must hold the free-list link, and the chunk link must be
  // aligned itself.
  const std::size_t link = sizeof(void*);
  align = static_cast<int32_t>(std::max<std::size_t>(
      std::bit_ceil(static_cast<std::size_t>(std::max<int32_t>(align_, 1))), alignof(void*)));
  user_offset = static_cast<int32_t>(RoundUp(link, align));
  const std::size_t user = std::max<std::size_t>(std::max<int32_t>(user_size, 0), link);
  block_size = static_cast<int32_t>(RoundUp(user_offset + user, align));
  // Counts and ids are 16-bit.
  per_chunk = std::clamp<int32_t>(per_chunk_, 1, UINT16_MAX);
  flags = flags_;
  marker = marker_;
  next_id = 0;
}

std::size_t BlockPool::HeaderSize() const {
  return RoundUp(sizeof(BlockChunk), align);
}

BlockChunk* BlockPool::NewChunk() {
  if (per_chunk <= 0) return nullptr;  // never initialised
  const std::size_t bytes =
      HeaderSize() + static_cast<std::size_t>(block_size) * static_cast<std::size_t>(per_chunk);
  if (Refused(this, bytes)) return nullptr;
  void* memory = std::exchange(spare_, nullptr);
  if (!memory) memory = ::operator new(bytes, std::align_val_t(align), std::nothrow);
  if (!memory) return nullptr;

  auto* chunk = new (memory) BlockChunk;
  chunk->marker = marker;
  chunk->owner = this;
  chunk->memory = memory;
  chunk->id = next_id++;
  chunk->serial = next_serial_++;
  chunk->prev = newest;
  if (newest)
    newest->next = chunk;
  else
    oldest = chunk;
  newest = chunk;

  // Thread the blocks onto the free list in address order.
  char* first = static_cast<char*>(memory) + HeaderSize() + user_offset;
  void* following = nullptr;
  for (int32_t i = per_chunk - 1; i >= 0; --i) {
    char* user = first + static_cast<std::size_t>(i) * block_size;
    StorePointer(LinkOf(user), chunk);
    StorePointer(user, following);
    following = user;
  }
  chunk->free_head = following;
  current = chunk;
  AddRoom(chunk);
  return chunk;
}

void BlockPool::ReleaseChunk(BlockChunk* chunk, bool keep) {
  RemoveRoom(chunk);
  if (chunk->prev)
    chunk->prev->next = chunk->next;
  else
    oldest = chunk->next;
  if (chunk->next)
    chunk->next->prev = chunk->prev;
  else
    newest = chunk->prev;
  void* memory = chunk->memory;
  chunk->~BlockChunk();
  if (keep && !spare_)
    spare_ = memory;  // the next chunk's memory
  else
    ::operator delete(memory, std::align_val_t(align));
}

void BlockPool::Place(std::size_t at, BlockChunk* chunk) {
  room_[at] = chunk;
  chunk->room_at = static_cast<int32_t>(at);
}

void BlockPool::SiftUp(std::size_t at) {
  BlockChunk* chunk = room_[at];
  while (at > 0) {
    const std::size_t parent = (at - 1) / 2;
    if (room_[parent]->serial <= chunk->serial) break;
    Place(at, room_[parent]);
    at = parent;
  }
  Place(at, chunk);
}

void BlockPool::SiftDown(std::size_t at) {
  BlockChunk* chunk = room_[at];
  const std::size_t n = room_.size();
  for (;;) {
    std::size_t child = 2 * at + 1;
    if (child >= n) break;
    if (child + 1 < n && room_[child + 1]->serial < room_[child]->serial) ++child;
    if (chunk->serial <= room_[child]->serial) break;
    Place(at, room_[child]);
    at = child;
  }
  Place(at, chunk);
}

void BlockPool::AddRoom(BlockChunk* chunk) {
  if (room_lost_ || chunk->room_at >= 0) return;
  try {
    room_.push_back(chunk);
  } catch (const std::bad_alloc&) {
    room_lost_ = true;  // the list walk takes over
    return;
  }
  SiftUp(room_.size() - 1);
}

void BlockPool::RemoveRoom(BlockChunk* chunk) {
  if (chunk->room_at < 0) return;
  const auto at = static_cast<std::size_t>(chunk->room_at);
  chunk->room_at = -1;
  BlockChunk* last = room_.back();
  room_.pop_back();
  if (last == chunk) return;
  Place(at, last);
  SiftUp(at);
  SiftDown(static_cast<std::size_t>(last->room_at));
}

void* BlockPool::Alloc() {
  if (!current || !current->free_head) {
    // The oldest chunk with room, so that newer chunks empty out.
    BlockChunk* chunk = nullptr;
    if (!room_lost_) {
      if (!room_.empty()) chunk = room_.front();
    } else {
      chunk = oldest;
      while (chunk && !chunk->free_head) chunk = chunk->next;
    }
    if (!chunk) chunk = NewChunk();
    if (!chunk) return nullptr;
    current = chunk;
  }
  void* user = current->free_head;
  current->free_head = LoadPointer(user);
  ++current->count;
  if (!current->free_head) RemoveRoom(current);
  return user;
}

void BlockPool::Free(void* user) {
  if (!user) return;
  BlockChunk* chunk = ChunkOf(user);
  assert(chunk->owner == this && chunk->marker == marker && chunk->count > 0);
  if (!chunk->free_head) AddRoom(chunk);
  StorePointer(user, chunk->free_head);
  chunk->free_head = user;
  --chunk->count;
  if (chunk->count == 0 && flags == 0) {
    const bool was_current = chunk == current;
    ReleaseChunk(chunk, true);
    if (was_current) current = oldest;
  } else if (!current || chunk->id < current->id) {
    // Allocation drifts towards the oldest chunks.
    current = chunk;
  }
}

void BlockPool::FreeAll() {
  while (oldest) ReleaseChunk(oldest, false);
  current = nullptr;
  room_.clear();
  room_.shrink_to_fit();
  room_lost_ = false;
  if (spare_) ::operator delete(std::exchange(spare_, nullptr), std::align_val_t(align));
}

void BlockPool::Reset() {
  FreeAll();
  next_id = 0;
}

BlockChunk* BlockPool::ChunkOf(const void* user) {
  return static_cast<BlockChunk*>(LoadPointer(static_cast<const char*>(user) - sizeof(void*)));
}
