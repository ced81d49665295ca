// Smoothers and per-frame gain ramps shared by the processor's block stages.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kestrune {

// A time constant in blocks as a one-pole coefficient.
inline double smoothingCoefficient(double timeConstantBlocks) {
  return std::exp(-1.0 / std::max(0.001, timeConstantBlocks));
}

inline const double kInstantCoefficient = std::exp(-100.0);

// One-pole smoother with separate coefficients for falling and rising
// targets; the first target seeds the state.
struct Smoother {
  double state = 0.0;
  bool seeded = false;
  double fall = 0.0;
  double rise = 0.0;

  Smoother() = default;
  Smoother(double fallCoefficient, double riseCoefficient)
      : fall(fallCoefficient), rise(riseCoefficient) {}

  double feed(double target) noexcept {
    if (!seeded) {
      state = target;
      seeded = true;
    }
    const double k = state > target ? fall : rise;
    state = (1.0 - k) * target + k * state;
    return state;
  }
};

// The per-frame gains of a block moving in dB along a straight line:
// gains[i] = 10^((fromDb + (i+1)/frames * (toDb - fromDb)) / 20) for
// i = 0..frames-1, the last frame exactly 10^(toDb/20). They are generated as
// a geometric series: four interleaved products (frames 4j..4j+3 are
// firstFour * stepFour^j, so the multiplies do not wait on one another) and
// the last frame set to toGain. A flat ramp is toGain throughout.
struct GainRamp {
  double fromGain = 1.0;
  double step = 1.0;  // gain ratio of one frame to the one before
  double toGain = 1.0;
  bool flat = true;

  // Gains of frames 0..3 of a sloped ramp, and the factor from one four to
  // the next.
  void firstFour(double out[4]) const noexcept {
    const double stepTwo = step * step;
    out[0] = fromGain * step;
    out[1] = fromGain * step * step;
    out[2] = out[0] * stepTwo;
    out[3] = out[1] * stepTwo;
  }
  double stepFour() const noexcept { return step * step * step * step; }
};

// Writes the ramp's gains for frames (at least 1) frames.
void fillGains(const GainRamp& ramp, std::int32_t frames, double* gains) noexcept;

// Plans the ramps of consecutive blocks. Remembers the last target's gain, so
// a ramp that starts where the previous one ended costs one exp for its end
// and one for its step instead of one pow per frame.
class DbGainRamp {
 public:
  GainRamp plan(double fromDb, double toDb, std::int32_t frames) noexcept;

  void fill(double fromDb, double toDb, std::int32_t frames, double* gains) noexcept {
    fillGains(plan(fromDb, toDb, frames), frames, gains);
  }

 private:
  double lastDb_ = 0.0;
  double lastGain_ = 1.0;
};

inline double dbToGain(double db) { return std::pow(10.0, db / 20.0); }

// Power to dB with the processor's floor of 1e-20 (-200 dB).
inline double powerDb(double power) { return 10.0 * std::log10(std::max(1e-20, power)); }

}  // namespace kestrune
