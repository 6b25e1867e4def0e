#include <cstddef>
#include <cstdint>

#include "geometry/fixed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint32_t v = 0;
  for (size_t i = 0; i < size && i < 4; ++i) v = v * 256 + data[i];
  (void)ShiftValue(static_cast<int32_t>(v), ShiftRight(3));
  return 0;
}
