// The centre ducker: finds sudden sounds in the middle of the stereo image
// (the listener's own steps) and turns the mid component down for a while.
// It detects two blocks ahead and delays the signal by four blocks.
#pragma once

#include <cstdint>

#include "apo/dsp/filter_design.h"
#include "apo/dsp/processor_params.h"
#include "apo/dsp/smoothing.h"

namespace kestrune {

class CentreDucker {
 public:
  explicit CentreDucker(const ProcessorParams& params);

  // Takes one block of interleaved stereo values, runs it through preFilter
  // (the input stage's high-pass; a default section passes it unchanged) and
  // when a delayed block is ready writes it to out and returns true.
  bool process(const double* block, FirstOrderStereoSection& preFilter, double* out) noexcept;

  // The duck of the block last written, in dB (0 or below).
  double duckDb() const { return duckDb_; }

 private:
  static constexpr int kSlots = 8;
  static constexpr int kEnergyHistory = 64;
  static constexpr int kDuckHistory = 4;

  void detectOnset(std::int64_t n) noexcept;

  std::int32_t blockFrames_;
  double duckDepthDb_;
  double onsetRisePower_;   // onsetRiseDb as a power ratio
  double onsetFloorPower_;  // onsetFloorDb as a power
  double centreRatioDb_;
  std::int32_t duckHoldBlocks_;
  std::int32_t onsetRefractoryBlocks_;

  // 64-bit counters: at 1000 blocks a second a 32-bit one would overflow
  // within weeks of continuous play.
  std::int64_t blockCount_ = -1;
  std::int64_t lastOnset_ = -1000000000;
  std::int64_t holdUntil_ = -1;
  double midSide_[kSlots][2 * kMaxBlockFrames] = {};  // interleaved mid, side
  StereoPair energy_[kEnergyHistory] = {};            // mean square of mid and side per block
  StereoSection measuring_[2];
  Smoother duck_;
  double duckHistory_[kDuckHistory] = {};
  double duckDb_ = 0.0;
  DbGainRamp duckRamp_;
  double gains_[kMaxBlockFrames] = {};
};

}  // namespace kestrune
