#include "apo/dsp/scene_lift.h"

#include <algorithm>

#include "apo/dsp/filter_design.h"

namespace kestrune {

namespace {

constexpr std::int64_t kWindowRecomputeBlocks = 1000;
constexpr double kShortTermScale = 0.2;
constexpr double kBoostAtWorkDb = 1.0;
constexpr double kCompAtWorkDb = -1.0;

}  // namespace

SceneLevels::SceneLevels(const ProcessorParams& params)
    // The window must fit the level history and never divide by zero.
    : window_(std::clamp(params.longWindowBlocks, 1, kLevelHistory - 1)) {}

void SceneLevels::add(std::int64_t n, double energy) noexcept {
  auto at = [](std::int64_t j) { return static_cast<int>(j % kLevelHistory); };
  energy_[at(n)] = energy;

  double recent = 0.0;
  for (std::int64_t j = std::max<std::int64_t>(0, n - 4); j <= n; ++j) recent += energy_[at(j)];
  shortTermDb_[at(n)] = powerDb(kShortTermScale * recent);

  // Recomputed now and then so rounding in the running sum cannot build up.
  if (n % kWindowRecomputeBlocks == 0) {
    windowSum_ = 0.0;
    for (std::int64_t j = std::max<std::int64_t>(0, n - window_ + 1); j <= n; ++j) {
      windowSum_ += energy_[at(j)];
    }
  } else {
    windowSum_ += energy_[at(n)];
    if (n >= window_) windowSum_ -= energy_[at(n - window_)];
  }
  longTermDb_[at(n)] = powerDb(windowSum_ / window_);
}

double SceneLevels::peakDb(std::int64_t m) const noexcept {
  return std::max({shortTermDb_[m % kLevelHistory], shortTermDb_[(m + 1) % kLevelHistory],
                   shortTermDb_[(m + 2) % kLevelHistory]});
}

LiftControl::LiftControl(const ProcessorParams& params)
    : params_(params),
      lift_(smoothingCoefficient(params.liftFallBlocks),
            smoothingCoefficient(params.liftRiseBlocks)),
      boost_(smoothingCoefficient(params.transientReleaseBlocks), kInstantCoefficient),
      comp_(kInstantCoefficient, smoothingCoefficient(params.compReleaseBlocks)),
      room_(kInstantCoefficient, smoothingCoefficient(params.headroomRiseBlocks)),
      mix_(kInstantCoefficient, smoothingCoefficient(params.headroomRiseBlocks)) {}

LiftRamps LiftControl::decide(std::int64_t m, double peakDb, double longDb, bool ducked,
                              std::int32_t blockFrames) noexcept {
  const int mSlot = static_cast<int>(m % kHistory);

  const double cap =
      std::clamp((longDb - params_.liftFloorDb) / 10.0, 0.0, 1.0) * params_.liftMaxDb;
  const double liftTarget =
      longDb < params_.liftThresholdDb
          ? std::min((1.0 - 1.0 / params_.liftRatio) * (params_.liftThresholdDb - longDb), cap)
          : 0.0;
  const double lift = lift_.feed(liftTarget);

  if (peakDb > params_.loudThresholdDb) loudUntil_ = m + params_.loudHoldBlocks;
  double headroom = std::max(0.0, params_.headroomRefDb - peakDb);
  if (m < loudUntil_) headroom = 0.0;

  double transient =
      std::clamp(peakDb - longDb - params_.transientThresholdDb, 0.0, params_.transientMaxDb);
  if (ducked) transient = 0.0;
  const double boost = boost_.feed(transient);

  const double comp =
      comp_.feed(-std::min(params_.compMaxDb, (1.0 - 1.0 / params_.compRatio) *
                                                  std::max(0.0, peakDb - params_.compThresholdDb)));
  const double room = room_.feed(headroom);

  const double gainDb = std::min(room, lift + boost) + comp;
  gainHistory_[mSlot] = gainDb;

  if (ducked) flags_ |= kFlagCentreDuck;
  if (comp < kCompAtWorkDb) flags_ |= kFlagCompressor;
  if (boost > kBoostAtWorkDb) flags_ |= kFlagTransientBoost;

  const double mix = mix_.feed(headroom > 0.0 ? 1.0 : 0.0);
  mixHistory_[mSlot] = mix;
  decision_ = {lift, boost, comp, room, gainDb, mix};

  const int prevSlot = static_cast<int>((m + kHistory - 1) % kHistory);
  LiftRamps ramps;
  ramps.gain = gainRamp_.plan(m == 0 ? gainDb : gainHistory_[prevSlot], gainDb, blockFrames);
  ramps.mix.mixFrom = m == 0 ? mix : mixHistory_[prevSlot];
  ramps.mix.mixStep = (mix - ramps.mix.mixFrom) / blockFrames;
  return ramps;
}

SceneLift::SceneLift(const ProcessorParams& params)
    : blockFrames_(blockLengthFrames(params.sampleRate)), levels_(params), control_(params) {}

bool SceneLift::process(const double* wet, const double* base, double duckDb,
                        double* out) noexcept {
  const std::int64_t n = ++blockCount_;
  const int slot = static_cast<int>(n % kSlots);
  const std::int32_t values = 2 * blockFrames_;
  if (wet != wet_[slot]) std::copy(wet, wet + values, wet_[slot]);
  if (base != base_[slot]) std::copy(base, base + values, base_[slot]);
  duckHistory_[slot] = duckDb;

  // Two partial sums (even and odd frames; blocks have an even or odd
  // length, the last odd frame goes to the first) halve the chain of
  // dependent additions.
  StereoPair even = {0.0, 0.0};
  StereoPair odd = {0.0, 0.0};
  std::int32_t i = 0;
  for (; i + 2 <= blockFrames_; i += 2) {
    const StereoPair a = loadPair(wet + 2 * i);
    const StereoPair b = loadPair(wet + 2 * i + 2);
    even += a * a;
    odd += b * b;
  }
  if (i < blockFrames_) {
    const StereoPair a = loadPair(wet + 2 * i);
    even += a * a;
  }
  const StereoPair sumSquares = even + odd;
  levels_.add(n, (sumSquares[0] + sumSquares[1]) / values);

  const std::int64_t m = n - kLiftLookAheadBlocks;
  if (m < 0) return false;
  const int mSlot = static_cast<int>(m % kSlots);
  const LiftRamps ramps = control_.decide(m, levels_.peakDb(m), levels_.longDb(m),
                                          duckHistory_[mSlot] < kDuckAtWorkDb, blockFrames_);
  fillGains(ramps.gain, blockFrames_, gains_);
  const MixRamp& mix = ramps.mix;
  const double* w = wet_[mSlot];
  const double* b = base_[mSlot];
  for (std::int32_t i = 0; i < blockFrames_; ++i) {
    const double x = mix.mixFrom + (i + 1) * mix.mixStep;
    const StereoPair baseFrame = loadPair(b + 2 * i);
    storePair(out + 2 * i, ((loadPair(w + 2 * i) - baseFrame) * x + baseFrame) * gains_[i]);
  }
  return true;
}

}  // namespace kestrune
