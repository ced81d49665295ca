#include "apo/dsp/centre_ducker.h"

#include <algorithm>

namespace kestrune {

namespace {

constexpr std::int64_t kFirstOnsetBlock = 60;
constexpr std::int64_t kBackgroundFirst = 60;  // background spans e-60 .. e-11
constexpr std::int64_t kBackgroundLast = 11;
constexpr double kBackgroundBlocks = 50.0;

}  // namespace

OnsetDetector::OnsetDetector(const ProcessorParams& params)
    : onsetRisePower_(std::pow(10.0, params.onsetRiseDb / 10.0)),
      onsetFloorPower_(std::pow(10.0, params.onsetFloorDb / 10.0)),
      centreRatioDb_(params.centreRatioDb),
      duckHoldBlocks_(params.duckHoldBlocks),
      onsetRefractoryBlocks_(params.onsetRefractoryBlocks) {}

void OnsetDetector::addBlock(std::int64_t n, StereoPair energy) noexcept {
  // Mid energy in lane 0, side in lane 1.
  auto energyAt = [this](std::int64_t j) {
    return energy_[static_cast<std::uint64_t>(j) % kEnergyHistory];
  };
  energy_[n % kEnergyHistory] = energy;
  const std::int64_t e = n - 2;
  if (e < kFirstOnsetBlock) return;

  // Two partial sums halve the length of the chain of dependent additions.
  StereoPair even = {0.0, 0.0};
  StereoPair odd = {0.0, 0.0};
  for (std::int64_t j = e - kBackgroundFirst; j <= e - kBackgroundLast; j += 2) {
    even += energyAt(j);
    odd += energyAt(j + 1);
  }
  const StereoPair background = (even + odd) / kBackgroundBlocks;
  const double bgMid = background[0];
  const double bgSide = background[1];

  // The level tests compare powers instead of dB values: the same decision
  // (up to rounding at the very edge) without two logarithms per block.
  const double power = std::max(1e-20, energyAt(e)[0]);
  if (power < onsetFloorPower_) return;
  if (power < onsetRisePower_ * std::max(1e-20, bgMid)) return;
  if (e - lastOnset_ < onsetRefractoryBlocks_) return;

  lastOnset_ = e;
  const StereoPair recent = (energyAt(n - 2) + energyAt(n - 1) + energyAt(n)) / 3.0;
  const double recentMid = recent[0];
  const double recentSide = recent[1];
  const double sideExcessDb = powerDb(std::max(0.0, recentSide - bgSide));
  const double midExcessDb = powerDb(recentMid - bgMid);
  if (sideExcessDb - midExcessDb < centreRatioDb_) {
    holdUntil_ = std::max(holdUntil_, e + duckHoldBlocks_);
  }
}

DuckGain::DuckGain(const ProcessorParams& params)
    : duckDepthDb_(params.duckDepthDb),
      duck_(std::exp(-2.0), smoothingCoefficient(params.duckReleaseBlocks)) {}

GainRamp DuckGain::next(std::int64_t f, std::int64_t holdUntil, std::int32_t blockFrames) noexcept {
  const double target = f < holdUntil ? -duckDepthDb_ : 0.0;
  duckDb_ = duck_.feed(target);
  const double previous = f == 0 ? duckDb_ : duckHistory_[(f - 1) % kDuckHistory];
  duckHistory_[f % kDuckHistory] = duckDb_;
  return ramp_.plan(previous, duckDb_, blockFrames);
}

CentreDucker::CentreDucker(const ProcessorParams& params)
    : blockFrames_(blockLengthFrames(params.sampleRate)), onsets_(params), duck_(params) {
  const auto design =
      butterworthHighPass(2 * kMeasuringSections, kMeasuringCutoffHz, params.sampleRate);
  for (int i = 0; i < kMeasuringSections; ++i) measuring_[i].design(design[i]);
}

bool CentreDucker::process(const double* block, FirstOrderStereoSection& preFilter,
                           double* out) noexcept {
  const std::int64_t n = ++blockCount_;
  double* midSide = midSide_[n % kSlots];
  // One loop for the pre-filter and both measuring sections: their
  // frame-to-frame dependency chains then overlap instead of running one
  // after another. Locals let the filter state stay in registers.
  FirstOrderStereoSection pre = preFilter;
  StereoSection first = measuring_[0];
  StereoSection second = measuring_[1];
  StereoPair sums = {0.0, 0.0};
  for (std::int32_t i = 0; i < blockFrames_; ++i) {
    const StereoPair lr = pre.process(loadPair(block + 2 * i));
    // Mid in lane 0, side in lane 1: both measuring chains share one design.
    const StereoPair ms = (StereoPair{lr[0], lr[0]} + StereoPair{lr[1], -lr[1]}) * 0.5;
    storePair(midSide + 2 * i, ms);
    const StereoPair measured = second.process(first.process(ms));
    sums += measured * measured;
  }
  preFilter = pre;
  measuring_[0] = first;
  measuring_[1] = second;
  onsets_.addBlock(n, sums / static_cast<double>(blockFrames_));

  const std::int64_t f = n - kDuckerDelayBlocks;
  if (f < 0) return false;
  fillGains(duck_.next(f, onsets_.holdUntil(), blockFrames_), blockFrames_, gains_);
  const double* delayed = midSide_[f % kSlots];
  for (std::int32_t i = 0; i < blockFrames_; ++i) {
    const double mid = gains_[i] * delayed[2 * i];
    const double side = delayed[2 * i + 1];
    storePair(out + 2 * i, StereoPair{mid, mid} + StereoPair{side, -side});
  }
  return true;
}

}  // namespace kestrune
