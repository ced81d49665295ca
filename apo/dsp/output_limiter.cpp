#include "apo/dsp/output_limiter.h"

#include <algorithm>
#include <cmath>

#include "apo/dsp/filter_design.h"

namespace kestrune {

LimiterControl::LimiterControl(const ProcessorParams& params)
    : ceiling_(dbToGain(params.ceilingDb)),
      smoother_(kInstantCoefficient, smoothingCoefficient(params.ceilingReleaseBlocks)) {}

bool LimiterControl::next(std::int64_t k, double peak, std::int32_t blockFrames,
                          GainRamp& gains) noexcept {
  needed_[k % kNeededHistory] = std::min(1.0, ceiling_ / std::max(1e-12, peak));
  const std::int64_t outBlock = k - 1;
  if (outBlock < 0) return false;
  const double h = std::min(needed_[k % kNeededHistory], needed_[outBlock % kNeededHistory]);
  // Half of the reduction h stands for: the ramp does the rest, the clamp
  // after it catches what is left.
  limitDb_ = smoother_.feed(h == 1.0 ? 0.0 : 0.5 * powerDb(h * h));
  limitHistory_[outBlock % kLimitHistory] = limitDb_;
  const double from = outBlock == 0 ? limitDb_ : limitHistory_[(outBlock - 1) % kLimitHistory];
  gains = ramp_.plan(from, limitDb_, blockFrames);
  return true;
}

OutputLimiter::OutputLimiter(const ProcessorParams& params)
    : blockFrames_(blockLengthFrames(params.sampleRate)), control_(params) {}

bool OutputLimiter::process(const double* block, double* out) noexcept {
  const std::int64_t k = ++blockCount_;
  const std::int32_t values = 2 * blockFrames_;
  if (block != slots_[k % kSlots]) std::copy(block, block + values, slots_[k % kSlots]);
  // Two running maxima (even and odd frames) so the comparisons overlap.
  auto magnitude = [block](std::int32_t i) {
    const StereoPair x = loadPair(block + 2 * i);
    return x < 0.0 ? -x : x;
  };
  StereoPair even = {0.0, 0.0};
  StereoPair odd = {0.0, 0.0};
  std::int32_t i = 0;
  for (; i + 2 <= blockFrames_; i += 2) {
    const StereoPair a = magnitude(i);
    const StereoPair b = magnitude(i + 1);
    even = a > even ? a : even;
    odd = b > odd ? b : odd;
  }
  if (i < blockFrames_) {
    const StereoPair a = magnitude(i);
    even = a > even ? a : even;
  }
  const double peak = std::max({even[0], even[1], odd[0], odd[1]});
  GainRamp ramp;
  if (!control_.next(k, peak, blockFrames_, ramp)) return false;
  fillGains(ramp, blockFrames_, gains_);

  const double* x = slots_[(k - 1) % kSlots];
  const double ceiling = control_.ceiling();
  const StereoPair high = {ceiling, ceiling};
  const StereoPair low = -high;
  for (std::int32_t i = 0; i < blockFrames_; ++i) {
    StereoPair y = gains_[i] * loadPair(x + 2 * i);
    y = y < low ? low : y;
    y = y > high ? high : y;
    storePair(out + 2 * i, y);
  }
  return true;
}

}  // namespace kestrune
