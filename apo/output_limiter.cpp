#include "apo/output_limiter.h"

#include <algorithm>
#include <cmath>

namespace kestrune {

OutputLimiter::OutputLimiter(const ProcessorParams& params)
    : blockFrames_(blockLengthFrames(params.sampleRate)),
      ceiling_(dbToGain(params.ceilingDb)),
      smoother_(kInstantCoefficient, smoothingCoefficient(params.ceilingReleaseBlocks)) {}

bool OutputLimiter::process(const double* block, double* out) noexcept {
  const std::int64_t k = ++blockCount_;
  const std::int32_t values = 2 * blockFrames_;
  std::copy(block, block + values, slots_[k % kSlots]);
  double peak = 0.0;
  for (std::int32_t i = 0; i < values; ++i) peak = std::max(peak, std::abs(block[i]));
  needed_[k % kNeededHistory] = std::min(1.0, ceiling_ / std::max(1e-12, peak));

  const std::int64_t outBlock = k - 1;
  if (outBlock < 0) return false;
  const double h = std::min(needed_[k % kNeededHistory], needed_[outBlock % kNeededHistory]);
  // Half of the reduction h stands for: the ramp does the rest, the clamp
  // below catches what is left.
  limitDb_ = smoother_.feed(0.5 * powerDb(h * h));
  limitHistory_[outBlock % kSlots] = limitDb_;
  const double from = outBlock == 0 ? limitDb_ : limitHistory_[(outBlock - 1) % kSlots];
  dbGainRamp(from, limitDb_, blockFrames_, gains_);

  const double* x = slots_[outBlock % kSlots];
  for (std::int32_t i = 0; i < blockFrames_; ++i) {
    for (int ch = 0; ch < 2; ++ch) {
      out[2 * i + ch] = std::clamp(gains_[i] * x[2 * i + ch], -ceiling_, ceiling_);
    }
  }
  return true;
}

}  // namespace kestrune
