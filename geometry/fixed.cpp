#include "geometry/fixed.h"

int32_t ShiftValue(int32_t v, ShiftCount shift) {
  if (shift & 0x8000) {
    const int n = 0x10000 - shift;
    return static_cast<int32_t>((static_cast<int64_t>(v) + (int64_t{1} << (n - 1))) >> n);
  }
  return static_cast<int32_t>(static_cast<uint32_t>(v) << shift);
}
