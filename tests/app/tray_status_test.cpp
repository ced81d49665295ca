#include "app/tray_status.h"

#include <gtest/gtest.h>

namespace kestrune::app {
namespace {

TEST(TrayStatus, DecisionRuleRowsInOrder) {
  struct Case {
    const char* reply;
    TrayState state;
    const char* tooltip;
  };
  const Case cases[] = {
      // Row 1 wins over everything, including a reply that also has keys.
      {"error service", TrayState::Attention, "Orvantis: needs a repair"},
      {"error unknown command.\nwanted=1\nendpoint=x\n", TrayState::Attention,
       "Orvantis: needs a repair"},
      // Four letters are no error: the key rules decide (no endpoint here).
      {"erro", TrayState::Attention, "Orvantis: no headset set up"},
      // Row 2 before rows 3 to 6.
      {"wanted=1\nprocessing=1\nendpoint=\n", TrayState::Attention, "Orvantis: no headset set up"},
      {"drift=1\nendpoint=\n", TrayState::Attention, "Orvantis: no headset set up"},
      // Row 3 before row 4.
      {"wanted=1\nprocessing=1\nendpoint=e\ndrift=1\n", TrayState::Attention,
       "Orvantis: needs attention"},
      {"wanted=1\nprocessing=1\nintensity=2\nendpoint=e\n", TrayState::Active,
       "Orvantis: active (Normal)"},
      {"wanted=1\nprocessing=1\nintensity=1\nendpoint=e\n", TrayState::Active,
       "Orvantis: active (Light)"},
      {"wanted=1\nprocessing=1\nintensity=7\nendpoint=e\n", TrayState::Active,
       "Orvantis: active (Strong)"},
      {"wanted=1\nprocessing=1\nendpoint=e\n", TrayState::Active, "Orvantis: active (Strong)"},
      {"wanted=1\nprocessing=0\nendpoint=e\n", TrayState::Waiting,
       "Orvantis: on, waiting for PUBG"},
      {"wanted=0\nprocessing=1\nendpoint=e\n", TrayState::Off, "Orvantis: off"},
      {"endpoint=e\n", TrayState::Off, "Orvantis: off"},
  };
  for (const Case& c : cases) {
    const TrayView view = trayViewForReply(c.reply);
    EXPECT_EQ(view.state, c.state) << c.reply;
    EXPECT_EQ(view.tooltip, c.tooltip) << c.reply;
  }
}

TEST(TrayStatus, ToggleFlipsWantedAndStopsWithoutIt) {
  EXPECT_FALSE(toggleStep(statusMapFromReply("error service")).has_value());
  EXPECT_FALSE(toggleStep(statusMapFromReply("processing=1\n")).has_value());
  const auto off = toggleStep(statusMapFromReply("wanted=1\n"));
  ASSERT_TRUE(off.has_value());
  EXPECT_EQ(off->command, "set wanted 0");
  EXPECT_FALSE(off->nowOn);
  for (const char* reply : {"wanted=0\n", "wanted=\n", "wanted=1 \n"}) {
    const auto on = toggleStep(statusMapFromReply(reply));
    ASSERT_TRUE(on.has_value()) << reply;
    EXPECT_EQ(on->command, "set wanted 1");
    EXPECT_TRUE(on->nowOn);
  }
}

}  // namespace
}  // namespace kestrune::app
