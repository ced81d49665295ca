#include "apo/dsp/smoothing.h"

#include "apo/dsp/filter_design.h"

namespace kestrune {

namespace {

constexpr double kLn10Over20 = 0.11512925464970228;  // ln(10) / 20

// 10^(db/20) through exp, which costs about half of pow and agrees with it
// to a few units in the last place.
double rampGain(double db) { return std::exp(db * kLn10Over20); }

}  // namespace

void DbGainRamp::fill(double fromDb, double toDb, std::int32_t frames, double* gains) noexcept {
  const double fromGain = fromDb == lastDb_ ? lastGain_ : rampGain(fromDb);
  const double toGain = toDb == fromDb ? fromGain : rampGain(toDb);
  lastDb_ = toDb;
  lastGain_ = toGain;
  if (fromDb == toDb) {
    std::fill(gains, gains + frames, toGain);
    return;
  }
  // A geometric series: each product adds at most one rounding, so over 192
  // frames the gains stay within ~1e-13 of the per-frame formula.
  const double step = std::exp((toDb - fromDb) / frames * kLn10Over20);
  // Four interleaved products in two pairs, each advanced by step^4, so the
  // multiplies do not wait on one another (frames is at least 8).
  StereoPair low = {fromGain * step, fromGain * step * step};
  StereoPair high = low * (step * step);
  const double step4 = step * step * step * step;
  std::int32_t i = 0;
  for (; i + 4 <= frames; i += 4) {
    storePair(gains + i, low);
    storePair(gains + i + 2, high);
    low *= step4;
    high *= step4;
  }
  const double tail[4] = {low[0], low[1], high[0], high[1]};
  for (int k = 0; i < frames; ++i, ++k) gains[i] = tail[k];
  gains[frames - 1] = toGain;
}

}  // namespace kestrune
