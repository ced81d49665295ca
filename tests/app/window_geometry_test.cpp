#include "app/window_geometry.h"

#include <gtest/gtest.h>

#include "app/start_options.h"

namespace kestrune::app {
namespace {

TEST(WindowGeometry, SizeScalesWithDpiAndCentresInTheWorkArea) {
  struct Case {
    int dpi;
    WorkArea work;
    WindowPlacement expected;
  };
  const Case cases[] = {
      {96, {0, 0, 1920, 1040}, {700, 140, 520, 760}},
      {144, {0, 0, 2880, 1560}, {1050, 210, 780, 1140}},
      {120, {0, 0, 1366, 728}, {358, -111, 650, 950}},
      // An offset work area, odd remainders truncated toward zero.
      {96, {100, 50, 1381, 851}, {480, 70, 520, 760}},
      {110, {0, 0, 1000, 800}, {202, -35, 596, 871}},
  };
  for (const Case& c : cases) {
    const WindowPlacement p = mainWindowPlacement(c.dpi, c.work);
    EXPECT_EQ(p.left, c.expected.left) << c.dpi;
    EXPECT_EQ(p.top, c.expected.top) << c.dpi;
    EXPECT_EQ(p.width, c.expected.width) << c.dpi;
    EXPECT_EQ(p.height, c.expected.height) << c.dpi;
  }
}

TEST(WindowGeometry, MulDivRoundsHalfAwayFromZero) {
  EXPECT_EQ(mulDiv(7, 1, 2), 4);
  EXPECT_EQ(mulDiv(-7, 1, 2), -4);
  EXPECT_EQ(mulDiv(7, 1, -2), -4);
  EXPECT_EQ(mulDiv(5, 1, 3), 2);
  EXPECT_EQ(mulDiv(1, 1, 0), -1);
  EXPECT_EQ(mulDiv(0x40000000, 4, 1), -1);
}

TEST(StartOptions, SubstringsDecideAndHiddenNeedsBoth) {
  EXPECT_TRUE(parseStartOptions(L"\"C:\\a b\\kestrune_app.exe\" --startup").startup);
  EXPECT_TRUE(parseStartOptions(L"x--devy").devMode);
  EXPECT_FALSE(parseStartOptions(L"--DEV --Startup").devMode);
  EXPECT_FALSE(parseStartOptions(L"").startup);
  const StartOptions withStartup{false, true};
  EXPECT_TRUE(startsHidden(withStartup, 1u));
  EXPECT_TRUE(startsHidden(withStartup, 5u));
  EXPECT_FALSE(startsHidden(withStartup, 0u));
  EXPECT_FALSE(startsHidden(withStartup, std::nullopt));
  EXPECT_FALSE(startsHidden(StartOptions{}, 1u));
}

}  // namespace
}  // namespace kestrune::app
