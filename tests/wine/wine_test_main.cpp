// Common entry of the Wine test programs: plain GoogleTest, reporting on
// standard output so that ctest shows each case.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
