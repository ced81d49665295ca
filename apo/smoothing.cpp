#include "apo/smoothing.h"

namespace kestrune {

void dbGainRamp(double fromDb, double toDb, std::int32_t frames, double* gains) noexcept {
  const double last = dbToGain(toDb);
  if (fromDb == toDb) {
    std::fill(gains, gains + frames, last);
    return;
  }
  // A geometric series: one pow per block instead of one per frame. Each
  // product adds at most one rounding, so over 192 frames the gains stay
  // within ~1e-13 of the per-frame formula.
  const double step = dbToGain((toDb - fromDb) / frames);
  double gain = dbToGain(fromDb);
  for (std::int32_t i = 0; i + 1 < frames; ++i) {
    gain *= step;
    gains[i] = gain;
  }
  gains[frames - 1] = last;
}

void linearRamp(double from, double to, std::int32_t frames, double* values) noexcept {
  const double span = to - from;
  for (std::int32_t i = 0; i < frames; ++i) {
    values[i] = from + static_cast<double>(i + 1) / frames * span;
  }
}

}  // namespace kestrune
