#include "app/tray_menu.h"

#include <gtest/gtest.h>

namespace kestrune::app {
namespace {

TEST(TrayMenu, ItemsInOrderWithTheirFlags) {
  const TrayMenu menu = trayMenuFor(statusMapFromReply("wanted=1\nintensity=2\n"));
  ASSERT_EQ(menu.items.size(), 6u);
  EXPECT_EQ(menu.items[0].id, kTrayOpen);
  EXPECT_EQ(menu.items[0].text, "Open Orvantis");
  EXPECT_TRUE(menu.items[0].isDefault);
  EXPECT_TRUE(menu.items[1].text.empty());
  EXPECT_EQ(menu.items[2].id, kTrayOn);
  EXPECT_EQ(menu.items[2].text, "On\tCtrl+Alt+F");
  EXPECT_TRUE(menu.items[2].checked);
  EXPECT_FALSE(menu.items[2].grayed);
  EXPECT_EQ(menu.items[3].text, "Intensity");
  ASSERT_EQ(menu.items[3].submenu.size(), 3u);
  EXPECT_EQ(menu.items[3].submenu[0].text, "Light");
  EXPECT_EQ(menu.items[3].submenu[2].id, kTrayStrong);
  EXPECT_TRUE(menu.items[4].text.empty());
  EXPECT_EQ(menu.items[5].id, kTrayQuit);
  EXPECT_EQ(menu.items[5].text, "Quit Orvantis");
  EXPECT_EQ(menu.radioId, kTrayNormal);
}

TEST(TrayMenu, SwitchingItemsGreyWithoutWanted) {
  const TrayMenu menu = trayMenuFor(statusMapFromReply("error service"));
  EXPECT_FALSE(menu.items[2].checked);
  EXPECT_TRUE(menu.items[2].grayed);
  EXPECT_TRUE(menu.items[3].grayed);
  for (const TrayMenuItem& item : menu.items[3].submenu) EXPECT_TRUE(item.grayed);
  EXPECT_FALSE(menu.items[0].grayed);
  EXPECT_FALSE(menu.items[5].grayed);
  EXPECT_EQ(menu.radioId, 0u);
}

TEST(TrayMenu, RadioMarkFollowsTheFirstIntensityCharacter) {
  struct Case {
    const char* reply;
    unsigned radio;
  };
  const Case cases[] = {{"intensity=1\n", kTrayLight}, {"intensity=3x\n", kTrayStrong},
                        {"intensity=7\n", 0},          {"intensity=\n", 0},
                        {"intensity=0\n", 0},          {"wanted=0\n", 0}};
  for (const Case& c : cases) EXPECT_EQ(trayMenuFor(statusMapFromReply(c.reply)).radioId, c.radio);
}

TEST(TrayMenu, IntensityItemsSendTheirDigit) {
  EXPECT_EQ(intensityCommand(kTrayLight), "set intensity 1");
  EXPECT_EQ(intensityCommand(kTrayNormal), "set intensity 2");
  EXPECT_EQ(intensityCommand(kTrayStrong), "set intensity 3");
}

}  // namespace
}  // namespace kestrune::app
