#include "apo/dsp/tone_shaper.h"

#include <algorithm>

#include "apo/dsp/smoothing.h"

namespace kestrune {

namespace {

constexpr double kRumbleCutoffHz = 35.0;
constexpr double kMudHz = 220.0;
constexpr double kMudQ = 0.8;
constexpr double kMudDbPerAmount = -4.0;
constexpr double kPresenceHz = 3200.0;
constexpr double kPresenceQ = 0.9;
constexpr double kPresenceDbPerAmount = 3.5;
constexpr double kShelfMaxHz = 7000.0;
constexpr double kShelfRateShare = 0.4;
constexpr double kShelfDbPerAmount = 2.0;
constexpr double kOutputDbPerAmount = -2.0;

}  // namespace

ToneShaper::ToneShaper(const ProcessorParams& params)
    : outputGain_(dbToGain(kOutputDbPerAmount * params.toneAmount)) {
  const double fs = params.sampleRate;
  const double amount = params.toneAmount;
  sections_[0].design(butterworthHighPass(2, kRumbleCutoffHz, fs)[0]);
  sections_[1].design(peakingSection(kMudHz, kMudQ, kMudDbPerAmount * amount, fs));
  sections_[2].design(peakingSection(kPresenceHz, kPresenceQ, kPresenceDbPerAmount * amount, fs));
  sections_[3].design(highShelfSection(std::min(kShelfRateShare * fs, kShelfMaxHz),
                                       kShelfDbPerAmount * amount, fs));
}

}  // namespace kestrune
