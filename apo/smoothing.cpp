#include "apo/smoothing.h"

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
  // Four interleaved products, each advanced by step^4, so the multiplies do
  // not wait on one another (frames is at least 8).
  double lane[4];
  lane[0] = fromGain * step;
  for (int k = 1; k < 4; ++k) lane[k] = lane[k - 1] * step;
  const double step4 = step * step * step * step;
  std::int32_t i = 0;
  for (; i + 4 <= frames; i += 4) {
    for (int k = 0; k < 4; ++k) {
      gains[i + k] = lane[k];
      lane[k] *= step4;
    }
  }
  for (int k = 0; i < frames; ++i, ++k) gains[i] = lane[k];
  gains[frames - 1] = toGain;
}

}  // namespace kestrune
