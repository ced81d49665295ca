#include "apo/dsp/processor_params.h"

#include <algorithm>

namespace kestrune {

ProcessorParams baseParams(double sampleRate) {
  ProcessorParams params;
  params.sampleRate = sampleRate;
  return params;
}

bool applyPreset(ProcessorParams& params, std::string_view name) {
  for (const IntensityPreset& preset : kIntensityPresets) {
    if (preset.name != name) continue;
    params.duckDepthDb = preset.duckDepthDb;
    params.liftMaxDb = preset.liftMaxDb;
    params.toneAmount = preset.toneAmount;
    params.transientMaxDb = preset.transientMaxDb;
    return true;
  }
  return false;
}

std::int32_t blockLengthFrames(double sampleRate) {
  // Compare in double first: a huge or NaN rate must not overflow the cast.
  const double rounded = sampleRate / 1000.0 + 0.5;
  if (!(rounded >= 8.0)) return 8;
  if (rounded >= kMaxBlockFrames) return kMaxBlockFrames;
  return std::clamp(static_cast<std::int32_t>(rounded), 8, kMaxBlockFrames);
}

}  // namespace kestrune
