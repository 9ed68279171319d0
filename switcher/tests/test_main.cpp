#include <gtest/gtest.h>

#include "test_support.h"

int main(int argc, char** argv) {
  // The hard-stop tests start this program again as the process they stop.
  if (vindo::testing::IsHardStopChild(argc, argv)) return vindo::testing::HardStopChildMain(argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
