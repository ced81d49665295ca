#include "apo/dsp/output_limiter.h"

#include <algorithm>
#include <cmath>

#include "apo/dsp/filter_design.h"

namespace kestrune {

OutputLimiter::OutputLimiter(const ProcessorParams& params)
    : blockFrames_(blockLengthFrames(params.sampleRate)),
      ceiling_(dbToGain(params.ceilingDb)),
      smoother_(kInstantCoefficient, smoothingCoefficient(params.ceilingReleaseBlocks)) {}

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
  needed_[k % kNeededHistory] = std::min(1.0, ceiling_ / std::max(1e-12, peak));

  const std::int64_t outBlock = k - 1;
  if (outBlock < 0) return false;
  const double h = std::min(needed_[k % kNeededHistory], needed_[outBlock % kNeededHistory]);
  // Half of the reduction h stands for: the ramp does the rest, the clamp
  // below catches what is left.
  limitDb_ = smoother_.feed(h == 1.0 ? 0.0 : 0.5 * powerDb(h * h));
  limitHistory_[outBlock % kSlots] = limitDb_;
  const double from = outBlock == 0 ? limitDb_ : limitHistory_[(outBlock - 1) % kSlots];
  ramp_.fill(from, limitDb_, blockFrames_, gains_);

  const double* x = slots_[outBlock % kSlots];
  const StereoPair high = {ceiling_, ceiling_};
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
