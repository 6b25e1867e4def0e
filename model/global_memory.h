// Movable global memory blocks: the printer set-up blocks that printing and
// page setup keep and the document stores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct CGlobalBlock {
  std::vector<uint8_t> bytes;
};
using GlobalHandle = CGlobalBlock*;

// A new block of size zeroed bytes; null when the memory cannot be had.
GlobalHandle GlobalAllocBlock(size_t size);
// Frees the block (when there is one) and clears the handle.
void FreeGlobalHandle(GlobalHandle& handle);
// A copy of the whole block; null for null or when the memory cannot be had.
GlobalHandle CopyGlobalHandle(GlobalHandle handle);
