#include "geometry/fixed.h"

#include <gtest/gtest.h>

TEST(ShiftValue, RightShiftRoundsHalvesUp) {
  EXPECT_EQ(ShiftValue(3, ShiftRight(1)), 2);
  EXPECT_EQ(ShiftValue(-3, ShiftRight(1)), -1);
  EXPECT_EQ(ShiftValue(5, ShiftLeft(8)), 1280);
}
