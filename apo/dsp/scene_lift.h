// The scene lift: measures the level of the tone-shaped signal, lifts quiet
// scenes and short transients, keeps headroom below the loud line,
// compresses loud peaks and blends the shaped and unshaped signal. It looks
// two blocks ahead, so its output block lags its input by two.
#pragma once

#include <cstdint>

#include "apo/dsp/processor_params.h"
#include "apo/dsp/smoothing.h"

namespace kestrune {

// Status bits the lift reports for its blocks.
inline constexpr std::uint32_t kFlagTransientBoost = 1;
inline constexpr std::uint32_t kFlagCentreDuck = 2;
inline constexpr std::uint32_t kFlagCompressor = 4;

// What the lift decided for one output block (for tests and diagnosis).
struct LiftDecision {
  double liftDb = 0.0;
  double boostDb = 0.0;
  double compDb = 0.0;
  double roomDb = 0.0;
  double gainDb = 0.0;
  double mix = 0.0;
};

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

  // Returns the accumulated status bits and clears them.
  std::uint32_t takeFlags() noexcept {
    const std::uint32_t flags = flags_;
    flags_ = 0;
    return flags;
  }

  const LiftDecision& lastDecision() const { return decision_; }

 private:
  static constexpr int kSlots = 4;
  static constexpr int kLevelHistory = 2048;

  std::int32_t blockFrames_;
  ProcessorParams params_;
  std::int32_t window_;

  std::int64_t blockCount_ = -1;
  std::int64_t loudUntil_ = -1;
  double wet_[kSlots][2 * kMaxBlockFrames] = {};
  double base_[kSlots][2 * kMaxBlockFrames] = {};
  double duckHistory_[kSlots] = {};
  double energy_[kLevelHistory] = {};
  double shortTermDb_[kLevelHistory] = {};
  double longTermDb_[kLevelHistory] = {};
  double windowSum_ = 0.0;
  Smoother lift_;
  Smoother boost_;
  Smoother comp_;
  Smoother room_;
  Smoother mix_;
  double gainHistory_[kSlots] = {};
  double mixHistory_[kSlots] = {};
  std::uint32_t flags_ = 0;
  LiftDecision decision_;
  DbGainRamp gainRamp_;
  double gains_[kMaxBlockFrames] = {};
};

}  // namespace kestrune
