#include "apo/effect_engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "apo/denormals.h"
#include "apo/footstep_processor.h"
#include "apo/processor_params.h"

namespace kestrune {

namespace {

constexpr std::uint32_t kHistoryFrames = 4096;
constexpr std::uint32_t kMaxActiveChannels = 32;
constexpr double kMinActiveRate = 8000.0;
constexpr double kMaxActiveRate = 192000.0;

std::int32_t clampSelector(std::int32_t selector) {
  return std::clamp(selector, kSelectorDry, kSelectorMax);
}

float finiteOrZero(float x) { return std::isfinite(x) ? x : 0.0f; }

// The one atomic read-modify-write on the shared write index. The field sits
// in a packed struct inside a page-aligned view, so it is 4-byte aligned; the
// builtin works on mingw as well as here.
std::int32_t* writeIndexField(MeterSection* section) {
  return reinterpret_cast<std::int32_t*>(reinterpret_cast<char*>(section) +
                                         offsetof(MeterSection, writeIndex));
}

}  // namespace

EffectEngine::EffectEngine() = default;
EffectEngine::~EffectEngine() = default;

bool EffectEngine::setup(const StreamFormat& format, std::uint32_t maxFrames,
                         std::int32_t initialSelector) {
  channels_ = format.channels;
  sampleRate_ = format.sampleRate;
  maxFrames_ = maxFrames;
  bytesPerFrame_ = format.channels * format.bytesPerSample;
  active_ = format.channels >= 1 && format.channels <= kMaxActiveChannels &&
            format.sampleRate >= kMinActiveRate && format.sampleRate <= kMaxActiveRate &&
            format.bytesPerSample == 4 && format.isFloat;
  stateCode_ = active_ ? kMeterStateActive : kMeterStatePassThrough;
  if (!active_) return true;

  const std::int32_t blockFrames = blockLengthFrames(sampleRate_);
  const bool aligned = maxFrames % static_cast<std::uint32_t>(blockFrames) == 0;
  fadeFrames_ = static_cast<std::int32_t>(sampleRate_ / 100.0);
  meterPeriodFrames_ = static_cast<std::int32_t>(sampleRate_ / 200.0);

  try {
    const std::size_t stereoValues = std::size_t{maxFrames} * 2;
    for (int i = 0; i < 3; ++i) {
      ProcessorParams params = baseParams(sampleRate_);
      applyPreset(params, kIntensityPresets[i].name);
      processors_[i].reset();
      processors_[i] = FootstepProcessor::create(params, aligned);
      paths_[i + 1].assign(stereoValues, 0.0f);
    }
    latencyFrames_ = processors_[0]->latencyFrames();
    paths_[0].assign(stereoValues, 0.0f);
    stereoIn_.assign(stereoValues, 0.0f);
    stereoOut_.assign(stereoValues, 0.0f);
    history_.assign(std::size_t{channels_} * kHistoryFrames, 0.0f);
  } catch (const std::bad_alloc&) {
    active_ = false;
    stateCode_ = kMeterStateIdle;
    return false;
  } catch (const std::length_error&) {
    active_ = false;
    stateCode_ = kMeterStateIdle;
    return false;
  }

  currentSelector_ = previousSelector_ = clampSelector(initialSelector);
  fadeCountdown_ = 0;
  return true;
}

void EffectEngine::tearDown() {
  active_ = false;
  stateCode_ = kMeterStateIdle;
}

void EffectEngine::setTargetSelector(std::int32_t selector) noexcept {
  targetSelector_.store(clampSelector(selector), std::memory_order_relaxed);
}

void EffectEngine::syncTargetToCurrent() noexcept {
  targetSelector_.exchange(currentSelector_, std::memory_order_relaxed);
}

void EffectEngine::passThrough(const float* input, float* output,
                               std::uint32_t frames) const noexcept {
  if (input != output) std::memmove(output, input, std::size_t{frames} * bytesPerFrame_);
}

bool EffectEngine::process(const float* input, float* output, std::uint32_t frames,
                           bool inputSilent) noexcept {
  if (!active_ || frames > maxFrames_) {
    passThrough(input, output, frames);
    return false;
  }
  ScopedDenormalFlush flush;
  fillPaths(input, output, frames, inputSilent);
  for (int i = 0; i < 3; ++i) {
    processors_[i]->process(stereoIn_.data(), paths_[i + 1].data(), frames);
  }
  crossFade(output, frames);

  std::uint32_t flags[3];
  for (int i = 0; i < 3; ++i) flags[i] = processors_[i]->takeStatusFlags();
  const std::uint8_t status =
      currentSelector_ == kSelectorDry
          ? 0
          : static_cast<std::uint8_t>(flags[currentSelector_ - 1] | kStatusProcessorPlaying);
  writeMeter(frames, status);
  return true;
}

void EffectEngine::fillPaths(const float* input, float* output, std::uint32_t frames,
                             bool inputSilent) noexcept {
  const std::uint32_t channels = channels_;
  const std::uint32_t second = channels >= 2 ? 1 : 0;
  float* dry = paths_[0].data();
  float* in = stereoIn_.data();
  for (std::uint32_t i = 0; i < frames; ++i) {
    // Unsigned wrap of the position keeps the ring frame right: 4096 divides 2^32.
    float* now = &history_[(ringPosition_ % kHistoryFrames) * channels];
    const float* delayed =
        &history_[((ringPosition_ - static_cast<std::uint32_t>(latencyFrames_)) % kHistoryFrames) *
                  channels];
    if (inputSilent) {
      std::fill(now, now + channels, 0.0f);
    } else {
      std::copy(input + std::size_t{i} * channels, input + std::size_t{i + 1} * channels, now);
    }
    in[2 * i] = now[0];
    in[2 * i + 1] = now[second];
    dry[2 * i] = delayed[0];
    dry[2 * i + 1] = delayed[second];
    for (std::uint32_t c = 2; c < channels; ++c) output[std::size_t{i} * channels + c] = delayed[c];
    ++ringPosition_;
  }
}

void EffectEngine::crossFade(float* output, std::uint32_t frames) noexcept {
  const std::int32_t target = targetSelector_.load(std::memory_order_relaxed);
  const std::uint32_t channels = channels_;
  float* played = stereoOut_.data();
  for (std::uint32_t i = 0; i < frames; ++i) {
    if (fadeCountdown_ == 0 && target != currentSelector_) {
      previousSelector_ = currentSelector_;
      currentSelector_ = target;
      fadeCountdown_ = fadeFrames_;
    }
    const float* now = &paths_[currentSelector_][2 * i];
    float left;
    float right;
    if (fadeCountdown_ == 0) {
      // Outside a fade only the current path is read: a dry NaN or infinity
      // heard before a switch must not leak into a processor's output after it.
      left = now[0];
      right = now[1];
    } else {
      const float g = 1.0f - static_cast<float>(fadeCountdown_) / static_cast<float>(fadeFrames_);
      const float* before = &paths_[previousSelector_][2 * i];
      // During a fade a non-finite dry sample counts as 0, so 0 x inf cannot
      // turn the whole fade into NaN. Processor paths are always finite.
      float nowL = now[0], nowR = now[1], beforeL = before[0], beforeR = before[1];
      if (currentSelector_ == kSelectorDry) {
        nowL = finiteOrZero(nowL);
        nowR = finiteOrZero(nowR);
      }
      if (previousSelector_ == kSelectorDry) {
        beforeL = finiteOrZero(beforeL);
        beforeR = finiteOrZero(beforeR);
      }
      if (g == 0.0f) {
        left = beforeL;
        right = beforeR;
      } else {
        left = (1.0f - g) * beforeL + g * nowL;
        right = (1.0f - g) * beforeR + g * nowR;
      }
      --fadeCountdown_;
    }
    float* frame = output + std::size_t{i} * channels;
    if (channels == 1) {
      frame[0] = (left + right) * 0.5f;
    } else {
      frame[0] = left;
      frame[1] = right;
    }
    played[2 * i] = left;
    played[2 * i + 1] = right;
  }
}

void EffectEngine::writeMeter(std::uint32_t frames, std::uint8_t status) noexcept {
  MeterSection* section = meter_.load(std::memory_order_acquire);
  if (section == nullptr) return;
  const bool measuring = meterOn_.load(std::memory_order_relaxed) != 0;
  const float* in = stereoIn_.data();
  const float* out = stereoOut_.data();
  for (std::uint32_t i = 0; i < frames; ++i) {
    if (measuring) {
      inputPeak_ = std::max({inputPeak_, std::abs(in[2 * i]), std::abs(in[2 * i + 1])});
      outputPeak_ = std::max({outputPeak_, std::abs(out[2 * i]), std::abs(out[2 * i + 1])});
    }
    if (++meterFrameCounter_ < meterPeriodFrames_) continue;

    std::int32_t* writeIndex = writeIndexField(section);
    const std::int32_t w = __atomic_load_n(writeIndex, __ATOMIC_ACQUIRE);
    // With the switch off every level reads 0, even peaks gathered before it
    // went off within this period.
    MeterRecord& fresh = section->records[meterRecordSlot(w)];
    const std::uint16_t inputLevel = measuring ? meterLevelFromPeak(inputPeak_) : 0;
    fresh.inputLevel = inputLevel;
    fresh.outputLevel = inputLevel;
    fresh.status = 0;
    if (w != 0) {
      MeterRecord& open = section->records[meterRecordSlot(static_cast<std::int64_t>(w) - 1)];
      open.outputLevel = measuring ? meterLevelFromPeak(outputPeak_) : 0;
      open.status = measuring ? status : 0;
    }
    // Release: a reader that sees the new index also sees the records below it.
    __atomic_fetch_add(writeIndex, 1, __ATOMIC_RELEASE);
    inputPeak_ = 0.0f;
    outputPeak_ = 0.0f;
    meterFrameCounter_ = 0;
  }
}

}  // namespace kestrune
