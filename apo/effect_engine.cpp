#include "apo/effect_engine.h"

#include <algorithm>
#include <cstring>

namespace kestrune {

class FootstepProcessor {};

EffectEngine::EffectEngine() = default;
EffectEngine::~EffectEngine() = default;

bool EffectEngine::setup(const StreamFormat& format, std::uint32_t maxFrames,
                         std::int32_t initialSelector) {
  channels_ = format.channels;
  sampleRate_ = format.sampleRate;
  maxFrames_ = maxFrames;
  bytesPerFrame_ = format.channels * format.bytesPerSample;
  active_ = false;
  stateCode_ = kMeterStatePassThrough;
  currentSelector_ = previousSelector_ = std::clamp(initialSelector, kSelectorDry, kSelectorMax);
  return true;
}

void EffectEngine::tearDown() {
  active_ = false;
  stateCode_ = kMeterStateIdle;
}

void EffectEngine::setTargetSelector(std::int32_t selector) noexcept {
  targetSelector_.store(std::clamp(selector, kSelectorDry, kSelectorMax),
                        std::memory_order_relaxed);
}

void EffectEngine::syncTargetToCurrent() noexcept {
  targetSelector_.exchange(currentSelector_, std::memory_order_relaxed);
}

void EffectEngine::passThrough(const float* input, float* output,
                               std::uint32_t frames) const noexcept {
  if (input != output) std::memmove(output, input, std::size_t{frames} * bytesPerFrame_);
}

bool EffectEngine::process(const float* input, float* output, std::uint32_t frames,
                           bool) noexcept {
  passThrough(input, output, frames);
  return false;
}

}  // namespace kestrune
