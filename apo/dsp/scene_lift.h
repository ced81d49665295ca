// The scene lift: measures the level of the tone-shaped signal, lifts quiet
// scenes and short transients, keeps headroom below the loud line,
// compresses loud peaks and blends the shaped and unshaped signal. It looks
// two blocks ahead, so its output block lags its input by two.
//
// Its per-block decisions live in two parts of their own, so that the
// processor bank can measure once per shaped signal and decide once per
// preset: SceneLevels (block energies to short- and long-term levels) and
// LiftControl (those levels to a block gain, a tone mix and status bits).
#pragma once

#include <cstdint>

#include "apo/dsp/processor_params.h"
#include "apo/dsp/smoothing.h"

namespace kestrune {

// Status bits the lift reports for its blocks.
inline constexpr std::uint32_t kFlagTransientBoost = 1;
inline constexpr std::uint32_t kFlagCentreDuck = 2;
inline constexpr std::uint32_t kFlagCompressor = 4;

// Output block m stands for input block m + 2.
inline constexpr std::int64_t kLiftLookAheadBlocks = 2;

// What the lift decided for one output block (for tests and diagnosis).
struct LiftDecision {
  double liftDb = 0.0;
  double boostDb = 0.0;
  double compDb = 0.0;
  double roomDb = 0.0;
  double gainDb = 0.0;
  double mix = 0.0;
};

class SceneLevels {
 public:
  explicit SceneLevels(const ProcessorParams& params);

  // Records block n's mean square (from n = 0, in order) and its short- and
  // long-term levels.
  void add(std::int64_t n, double energy) noexcept;

  // For a block m with m + 2 recorded: the largest short-term level of m ..
  // m + 2 and the long-term level of m, in dB.
  double peakDb(std::int64_t m) const noexcept;
  double longDb(std::int64_t m) const noexcept { return longTermDb_[m % kLevelHistory]; }

 private:
  static constexpr int kLevelHistory = 2048;

  std::int32_t window_;
  double energy_[kLevelHistory] = {};
  double shortTermDb_[kLevelHistory] = {};
  double longTermDb_[kLevelHistory] = {};
  double windowSum_ = 0.0;
};

// The mix ramp of a block: x_i = mixFrom + (i + 1) * mixStep.
struct MixRamp {
  double mixFrom = 0.0;
  double mixStep = 0.0;
};

// What the lift does to one block, frame by frame: out_i = ((wet_i - base_i)
// * x_i + base_i) * gain_i.
struct LiftRamps {
  GainRamp gain;
  MixRamp mix;
};

class LiftControl {
 public:
  explicit LiftControl(const ProcessorParams& params);

  // Decides output block m (from 0, in order) from its levels and whether
  // the centre duck worked on it.
  LiftRamps decide(std::int64_t m, double peakDb, double longDb, bool ducked,
                   std::int32_t blockFrames) noexcept;

  // Returns the accumulated status bits and clears them.
  std::uint32_t takeFlags() noexcept {
    const std::uint32_t flags = flags_;
    flags_ = 0;
    return flags;
  }

  const LiftDecision& lastDecision() const { return decision_; }

 private:
  static constexpr int kHistory = 4;

  ProcessorParams params_;
  std::int64_t loudUntil_ = -1;
  Smoother lift_;
  Smoother boost_;
  Smoother comp_;
  Smoother room_;
  Smoother mix_;
  double gainHistory_[kHistory] = {};
  double mixHistory_[kHistory] = {};
  std::uint32_t flags_ = 0;
  LiftDecision decision_;
  DbGainRamp gainRamp_;
};

// The duck values below this count as the centre duck at work.
inline constexpr double kDuckAtWorkDb = -0.5;

class SceneLift {
 public:
  explicit SceneLift(const ProcessorParams& params);

  // Takes one shaped (wet) and one unshaped (base) block of interleaved
  // stereo values and the duck that came with them; when a lagged block is
  // ready writes it to out and returns true.
  bool process(const double* wet, const double* base, double duckDb, double* out) noexcept;

  // Where the next block's wet and base values may be written so that
  // process need not copy them (pass these pointers back to process).
  double* nextWet() noexcept { return wet_[(blockCount_ + 1) % kSlots]; }
  double* nextBase() noexcept { return base_[(blockCount_ + 1) % kSlots]; }

  std::uint32_t takeFlags() noexcept { return control_.takeFlags(); }
  const LiftDecision& lastDecision() const { return control_.lastDecision(); }

 private:
  static constexpr int kSlots = 4;

  std::int32_t blockFrames_;
  std::int64_t blockCount_ = -1;
  double wet_[kSlots][2 * kMaxBlockFrames] = {};
  double base_[kSlots][2 * kMaxBlockFrames] = {};
  double duckHistory_[kSlots] = {};
  SceneLevels levels_;
  LiftControl control_;
  double gains_[kMaxBlockFrames] = {};
};

}  // namespace kestrune
