#include "apo/selector_rule.h"

#include <gtest/gtest.h>

namespace kestrune {
namespace {

TEST(SelectorRule, EnabledAndIntensityChooseThePath) {
  const struct {
    std::uint32_t enabled, intensity;
    std::int32_t selector;
  } cases[] = {
      {1, 0, 1},          {1, 1, 1}, {1, 2, 2}, {1, 3, 3},          {1, 4, 3}, {1, 7, 3},
      {1, 0xFFFFFFFF, 3}, {0, 0, 0}, {0, 3, 0}, {0, 0xFFFFFFFF, 0}, {2, 2, 2}, {0xFFFFFFFF, 1, 1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(selectorFor(EffectSettings{c.enabled, c.intensity, 0}), c.selector)
        << c.enabled << "/" << c.intensity;
  EXPECT_EQ(selectorFor(EffectSettings{}), 2) << "defaults: enabled, normal";
  EXPECT_EQ(EffectSettings{}.meter, 0u);
}

}  // namespace
}  // namespace kestrune
