#include "apo/dsp/smoothing.h"

#include "apo/dsp/filter_design.h"

namespace kestrune {

namespace {

constexpr double kLn10Over20 = 0.11512925464970228;  // ln(10) / 20

// 10^(db/20) through exp, which costs about half of pow and agrees with it
// to a few units in the last place.
double rampGain(double db) { return std::exp(db * kLn10Over20); }

}  // namespace

GainRamp DbGainRamp::plan(double fromDb, double toDb, std::int32_t frames) noexcept {
  GainRamp ramp;
  ramp.fromGain = fromDb == lastDb_ ? lastGain_ : rampGain(fromDb);
  ramp.flat = fromDb == toDb;
  ramp.toGain = ramp.flat ? ramp.fromGain : rampGain(toDb);
  // Each product adds at most one rounding, so over 192 frames the gains
  // stay within ~1e-13 of the per-frame formula.
  if (!ramp.flat) ramp.step = std::exp((toDb - fromDb) / frames * kLn10Over20);
  lastDb_ = toDb;
  lastGain_ = ramp.toGain;
  return ramp;
}

void fillGains(const GainRamp& ramp, std::int32_t frames, double* gains) noexcept {
  if (ramp.flat) {
    std::fill(gains, gains + frames, ramp.toGain);
    return;
  }
  double four[4];
  ramp.firstFour(four);
  StereoPair low = {four[0], four[1]};
  StereoPair high = {four[2], four[3]};
  const double stepFour = ramp.stepFour();
  std::int32_t i = 0;
  for (; i + 4 <= frames; i += 4) {
    storePair(gains + i, low);
    storePair(gains + i + 2, high);
    low *= stepFour;
    high *= stepFour;
  }
  const double tail[4] = {low[0], low[1], high[0], high[1]};
  for (int k = 0; i < frames; ++i, ++k) gains[i] = tail[k];
  gains[frames - 1] = ramp.toGain;
}

}  // namespace kestrune
