// Entry point of every Windows test executable; see wine_only_win32.h.
#include <gtest/gtest.h>

#include "tests/support/wine_only_win32.h"

int main(int argc, char** argv) {
  if (!kestrune::test::allowedToRun()) return kestrune::test::kRefusedOutsideWine;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
