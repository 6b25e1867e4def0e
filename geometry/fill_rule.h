// How the inside of an outline is told from its outside. One type serves the
// edge graph's curve work list, the scan converter and the player; the values
// are the scan converter's edge kinds that carry each rule out.
#pragma once

#include <cstdint>

enum class FillRule : uint8_t {
  kTwoSided = 0,  // an edge-graph boundary with a fill on each side of every edge
  kEvenOdd = 1,   // inside where a ray crosses the outline an odd number of times
  kNonZero = 2,   // inside where the winding number is not 0
};
