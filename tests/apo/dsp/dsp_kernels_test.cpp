// Rules of the per-frame loops themselves, for every block length (the bank
// test covers whole signals at a few rates).
#include "apo/dsp/dsp_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "dsp_paths.h"

namespace kestrune {
namespace {

class DspKernelsTest : public testing_paths::OnEachPath {};
KESTRUNE_ON_EACH_PATH(DspKernelsTest);

// The lift and limiter loops generate their gains four frames at a time;
// whatever the block length, they must be fillGains' to the bit (the last
// frame exactly the ramp's end), with 0 in the scratch frames past the end,
// which no peak may see.
TEST_P(DspKernelsTest, LiftGainsAreTheRampsForEveryBlockLength) {
  const DspKernels& kernels = dspKernels(path());
  // wet = base = 1: every lifted value is its gain.
  const std::vector<double> ones(kShapedLanes * kPlanarFrames, 1.0);
  for (std::int32_t frames = 8; frames <= kMaxBlockFrames; ++frames) {
    DbGainRamp planner[kBankPresets];
    LiftRamps ramps[kBankPresets];
    ramps[0].gain = planner[0].plan(0.0, -7.5, frames);
    ramps[1].gain = planner[1].plan(3.0, 3.0, frames);
    ramps[2].gain = planner[2].plan(-20.0, 1.25, frames);
    std::vector<double> lifted(kLiftedLanes * kPlanarFrames, -1.0);
    double peaks[kBankPresets];
    kernels.lift(ones.data(), ones.data(), ramps, lifted.data(), frames, peaks);
    const std::int32_t padded = (frames + 3) / 4 * 4;
    for (int lane = 0; lane < kLiftedLanes; ++lane) {
      double expected[kMaxBlockFrames];
      fillGains(ramps[lane / 2].gain, frames, expected);
      for (std::int32_t i = 0; i < padded; ++i) {
        ASSERT_EQ(lifted[lane * kPlanarFrames + i], i < frames ? expected[i] : 0.0)
            << frames << " frames, lane " << lane << ", frame " << i;
      }
      EXPECT_EQ(peaks[lane / 2], *std::max_element(expected, expected + frames));
    }
  }
}

}  // namespace
}  // namespace kestrune
