#include "model/global_memory.h"

#include <new>
#include <stdexcept>

GlobalHandle GlobalAllocBlock(size_t size) {
  try {
    auto* block = new CGlobalBlock;
    try {
      block->bytes.resize(size);
    } catch (...) {
      delete block;
      throw;
    }
    return block;
  } catch (const std::bad_alloc&) {
    return nullptr;
  } catch (const std::length_error&) {
    return nullptr;
  }
}

void FreeGlobalHandle(GlobalHandle& handle) {
  delete handle;
  handle = nullptr;
}

GlobalHandle CopyGlobalHandle(GlobalHandle handle) {
  if (handle == nullptr) return nullptr;
  // The whole block, also at 64 KB and above (a 16-bit count would cut it).
  GlobalHandle copy = GlobalAllocBlock(handle->bytes.size());
  if (copy != nullptr) copy->bytes = handle->bytes;
  return copy;
}
