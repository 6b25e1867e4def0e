// The model suite's main: the model's classes and the test box are entered
// into the class registry before any test runs, as a program does.
#include <gtest/gtest.h>

#include "model/model_classes.h"
#include "model_fixtures.h"

int main(int argc, char** argv) {
  RegisterModelClasses();
  CRuntimeClass::Register(RUNTIME_CLASS(CTestBox));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
