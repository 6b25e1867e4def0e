// A guard that makes the geometry layer's allocator refuse requests while it
// is alive (BlockAlloc, BlockRealloc, pool chunks), as if memory had run out.
// The refusal ends with the guard's scope, also when an assertion returns
// early, so one test's refusal never reaches the next.
#pragma once

#include <cstddef>
#include <functional>
#include <utility>

#include "geometry/pool.h"

class RefuseMemory {
 public:
  // Refuses every request.
  RefuseMemory() : RefuseMemory([](const BlockPool*) { return true; }) {}
  // Refuses the requests `refuse` picks; its argument is the pool making a
  // chunk, or null for a heap request.
  explicit RefuseMemory(std::function<bool(const BlockPool* pool)> refuse) {
    SetMemoryRefusalHook(
        [refuse = std::move(refuse)](const BlockPool* pool, std::size_t) { return refuse(pool); });
  }
  ~RefuseMemory() { SetMemoryRefusalHook(nullptr); }
  RefuseMemory(const RefuseMemory&) = delete;
  RefuseMemory& operator=(const RefuseMemory&) = delete;

  // Only chunks of `pool`.
  static std::function<bool(const BlockPool*)> Only(const BlockPool* pool) {
    return [pool](const BlockPool* asking) { return asking == pool; };
  }
  // Only requests of the heap (BlockAlloc, BlockRealloc).
  static bool Heap(const BlockPool* pool) { return pool == nullptr; }
  // Only chunks of pools.
  static bool Pools(const BlockPool* pool) { return pool != nullptr; }
};
