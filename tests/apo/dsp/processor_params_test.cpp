#include "apo/dsp/processor_params.h"

#include <gtest/gtest.h>

#include <cmath>

#include "apo/dsp/footstep_processor.h"
#include "apo/dsp/smoothing.h"

namespace kestrune {
namespace {

TEST(ProcessorParams, BlockLengthAndLatencyPerRate) {
  struct Case {
    double rate;
    int block;
  };
  const Case cases[] = {{8000.0, 8},   {4000.0, 8},   {11025.0, 11},   {44100.0, 44},
                        {48000.0, 48}, {96000.0, 96}, {192000.0, 192}, {384000.0, 192},
                        {47499.0, 47}, {47500.0, 48}, {1e300, 192},    {std::nan(""), 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    EXPECT_EQ(blockLengthFrames(c.rate), c.block);
    if (c.rate < 8000.0 || c.rate > 192000.0 || std::isnan(c.rate)) continue;
    ProcessorParams params = baseParams(c.rate);
    applyPreset(params, "normal");
    EXPECT_EQ(FootstepProcessor::create(params, true)->latencyFrames(), 7 * c.block);
    EXPECT_EQ(FootstepProcessor::create(params, false)->latencyFrames(), 8 * c.block);
  }
}

TEST(Smoothing, GainRampMatchesThePerFrameFormula) {
  // The ramp replaces a pow per frame by a geometric series; it must agree
  // with 10^((p + (i+1)/B (q - p)) / 20) to rounding.
  const double ends[][2] = {{0.0, -8.0},   {-8.0, 0.0},   {10.0, 10.0},    {-3.51, 21.0},
                            {33.0, -12.0}, {-0.001, 0.0}, {-200.0, -190.0}};
  for (int frames : {8, 44, 48, 192}) {
    for (const auto& e : ends) {
      double gains[192];
      DbGainRamp ramp;
      ramp.fill(e[0] + 1.0, e[0], frames, gains);  // the next ramp starts from a remembered gain
      ramp.fill(e[0], e[1], frames, gains);
      for (int i = 0; i < frames; ++i) {
        const double expected = std::pow(10.0, (e[0] + (i + 1.0) / frames * (e[1] - e[0])) / 20.0);
        ASSERT_NEAR(gains[i] / expected, 1.0, 1e-13)
            << frames << " " << e[0] << " " << e[1] << " " << i;
      }
      EXPECT_NEAR(gains[frames - 1] / std::pow(10.0, e[1] / 20.0), 1.0, 1e-14);
    }
  }
}

}  // namespace
}  // namespace kestrune
