// The centre ducker: finds sudden sounds in the middle of the stereo image
// (the listener's own steps) and turns the mid component down for a while.
// It detects two blocks ahead and delays the signal by four blocks.
//
// Its per-block decisions live in two parts of their own, so that the
// processor bank can run the onset detection once for every preset and one
// duck per duck depth: OnsetDetector (mid and side energies to the block the
// duck holds until) and DuckGain (that hold to a smoothed duck and its
// per-frame gains).
#pragma once

#include <cstdint>

#include "apo/dsp/filter_design.h"
#include "apo/dsp/processor_params.h"
#include "apo/dsp/smoothing.h"

namespace kestrune {

// The centre ducker's 4th-order 150 Hz measuring high-pass, two sections.
inline constexpr double kMeasuringCutoffHz = 150.0;
inline constexpr int kMeasuringSections = 2;
// Output block f stands for input block f + 4.
inline constexpr std::int64_t kDuckerDelayBlocks = 4;

class OnsetDetector {
 public:
  explicit OnsetDetector(const ProcessorParams& params);

  // Records block n's mean squares (mid in lane 0, side in lane 1) and runs
  // the onset test for block n - 2. Blocks come in order, from n = 0.
  void addBlock(std::int64_t n, StereoPair energy) noexcept;

  // Blocks before this one are ducked.
  std::int64_t holdUntil() const { return holdUntil_; }

 private:
  static constexpr int kEnergyHistory = 64;

  double onsetRisePower_;   // onsetRiseDb as a power ratio
  double onsetFloorPower_;  // onsetFloorDb as a power
  double centreRatioDb_;
  std::int32_t duckHoldBlocks_;
  std::int32_t onsetRefractoryBlocks_;
  // 64-bit counters: at 1000 blocks a second a 32-bit one would overflow
  // within weeks of continuous play.
  std::int64_t lastOnset_ = -1000000000;
  std::int64_t holdUntil_ = -1;
  StereoPair energy_[kEnergyHistory] = {};
};

class DuckGain {
 public:
  explicit DuckGain(const ProcessorParams& params);

  // For output block f (from 0, in order): smooths the duck towards
  // -duckDepthDb while f < holdUntil, else towards 0 (see duckDb), and
  // returns the block's per-frame mid gains, ramping from the previous
  // block's duck.
  GainRamp next(std::int64_t f, std::int64_t holdUntil, std::int32_t blockFrames) noexcept;

  // The duck of the block last given, in dB (0 or below).
  double duckDb() const { return duckDb_; }

 private:
  static constexpr int kDuckHistory = 4;

  double duckDepthDb_;
  Smoother duck_;
  double duckHistory_[kDuckHistory] = {};
  double duckDb_ = 0.0;
  DbGainRamp ramp_;
};

class CentreDucker {
 public:
  explicit CentreDucker(const ProcessorParams& params);

  // Takes one block of interleaved stereo values, runs it through preFilter
  // (the input stage's high-pass; a default section passes it unchanged) and
  // when a delayed block is ready writes it to out and returns true.
  bool process(const double* block, FirstOrderStereoSection& preFilter, double* out) noexcept;

  // The duck of the block last written, in dB (0 or below).
  double duckDb() const { return duck_.duckDb(); }

 private:
  static constexpr int kSlots = 8;

  std::int32_t blockFrames_;
  std::int64_t blockCount_ = -1;
  double midSide_[kSlots][2 * kMaxBlockFrames] = {};  // interleaved mid, side
  StereoSection measuring_[kMeasuringSections];
  OnsetDetector onsets_;
  DuckGain duck_;
  double gains_[kMaxBlockFrames] = {};
};

}  // namespace kestrune
