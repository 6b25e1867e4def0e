// The platform suite's main: the test classes are entered into the class
// registry before any test runs.
#include <gtest/gtest.h>

#include "test_classes.h"

int main(int argc, char** argv) {
  RegisterTestClasses();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
