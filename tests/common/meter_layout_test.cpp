#include "common/meter_layout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kestrune {
namespace {

TEST(MeterLayout, LevelsRoundToSixteenBitsAndSaturateAboveFullScale) {
  EXPECT_EQ(meterLevelFromPeak(0.0f), 0);
  EXPECT_EQ(meterLevelFromPeak(-0.0f), 0);
  EXPECT_EQ(meterLevelFromPeak(std::nanf("")), 0);
  EXPECT_EQ(meterLevelFromPeak(0.5f), 32768);  // 32767.5 rounds up
  EXPECT_EQ(meterLevelFromPeak(1.0f), 65535);
  EXPECT_EQ(meterLevelFromPeak(1e30f), 65535);
  EXPECT_EQ(meterLevelFromPeak(INFINITY), 65535);
}

TEST(MeterLayout, RecordSlotsWrapAtTheRingSize) {
  EXPECT_EQ(meterRecordSlot(0), 0u);
  EXPECT_EQ(meterRecordSlot(2047), 2047u);
  EXPECT_EQ(meterRecordSlot(2048), 0u);
  EXPECT_EQ(meterRecordSlot(4097), 1u);
}

}  // namespace
}  // namespace kestrune
