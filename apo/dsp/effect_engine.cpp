#include "apo/dsp/effect_engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include "apo/dsp/denormals.h"
#include "apo/dsp/processor_bank.h"
#include "apo/dsp/processor_params.h"

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
                         std::int32_t initialSelector, DspPath path) {
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
    processors_.reset();
    processors_ = ProcessorBank::create(sampleRate_, aligned, path);
    dspPath_ = processors_->path();
    kernels_ = &dspKernels(dspPath_);
    latencyFrames_ = processors_->latencyFrames();
    for (std::vector<float>& buffer : paths_) buffer.assign(stereoValues, 0.0f);
    stereoIn_.assign(stereoValues, 0.0f);
    stereoOut_.assign(stereoValues, 0.0f);
    history_.assign(std::size_t{channels_} * kHistoryFrames, 0.0f);
  } catch (const std::exception&) {  // bad_alloc, or length_error for an absurd maximum
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
  const std::size_t bytes = std::size_t{frames} * bytesPerFrame_;
  if (input != output && bytes != 0) std::memmove(output, input, bytes);
}

bool EffectEngine::process(const float* input, float* output, std::uint32_t frames,
                           bool inputSilent) noexcept {
  if (!active_ || frames > maxFrames_) {
    passThrough(input, output, frames);
    return false;
  }
  ScopedDenormalFlush flush;
  // The target is read once per call, here, so that only the paths this
  // call's fade can reach are written out.
  const std::int32_t target = targetSelector_.load(std::memory_order_relaxed);
  bool heard[4] = {};
  heard[currentSelector_] = heard[target] = true;
  if (fadeCountdown_ != 0) heard[previousSelector_] = true;
  fillPaths(input, output, frames, inputSilent, heard[kSelectorDry]);
  float* const outputs[kBankPresets] = {heard[1] ? paths_[1].data() : nullptr,
                                        heard[2] ? paths_[2].data() : nullptr,
                                        heard[3] ? paths_[3].data() : nullptr};
  processors_->process(stereoIn_.data(), outputs, frames);
  crossFade(output, frames, target);

  std::uint32_t flags[kBankPresets];
  for (int i = 0; i < kBankPresets; ++i) flags[i] = processors_->takeStatusFlags(i);
  const std::uint8_t status =
      currentSelector_ == kSelectorDry
          ? 0
          : static_cast<std::uint8_t>(flags[currentSelector_ - 1] | kStatusProcessorPlaying);
  lastStatus_ = status;
  writeMeter(frames, status);
  return true;
}

void EffectEngine::fillPaths(const float* input, float* output, std::uint32_t frames,
                             bool inputSilent, bool dryHeard) noexcept {
  const std::uint32_t channels = channels_;
  const std::uint32_t second = channels >= 2 ? 1 : 0;
  float* dry = paths_[0].data();
  float* in = stereoIn_.data();
  std::uint32_t i = 0;
  while (i < frames) {
    // Runs in which neither the write nor the delayed read position wraps.
    // Unsigned wrap of the position keeps the ring frame right: 4096 divides 2^32.
    const std::uint32_t p = ringPosition_ % kHistoryFrames;
    const std::uint32_t d =
        (ringPosition_ - static_cast<std::uint32_t>(latencyFrames_)) % kHistoryFrames;
    const std::uint32_t run = std::min({frames - i, kHistoryFrames - p, kHistoryFrames - d});
    float* now = &history_[std::size_t{p} * channels];
    const float* delayed = &history_[std::size_t{d} * channels];
    const std::size_t values = std::size_t{run} * channels;
    if (inputSilent) {
      std::fill(now, now + values, 0.0f);
    } else {
      std::memcpy(now, input + std::size_t{i} * channels, values * sizeof(float));
    }
    if (channels == 2) {
      std::memcpy(in + 2 * std::size_t{i}, now, values * sizeof(float));
      if (dryHeard) std::memcpy(dry + 2 * std::size_t{i}, delayed, values * sizeof(float));
    } else {
      for (std::uint32_t k = 0; k < run; ++k) {
        in[2 * (i + k)] = now[k * channels];
        in[2 * (i + k) + 1] = now[k * channels + second];
      }
      if (dryHeard) {
        for (std::uint32_t k = 0; k < run; ++k) {
          dry[2 * (i + k)] = delayed[k * channels];
          dry[2 * (i + k) + 1] = delayed[k * channels + second];
        }
      }
      // Channels beyond the first two pass unprocessed, delayed like the
      // rest: whole frames are copied, and the cross-fade then writes the
      // first two channels over. (This run's input is in the ring already,
      // so an output that is the input loses nothing.)
      if (channels > 2) {
        std::memcpy(output + std::size_t{i} * channels, delayed, values * sizeof(float));
      }
    }
    ringPosition_ += run;
    i += run;
  }
}

void EffectEngine::crossFade(float* output, std::uint32_t frames, std::int32_t target) noexcept {
  if (frames == 0) return;  // buffers may be empty (a maximum of 0 frames)
  float* played = stereoOut_.data();
  std::uint32_t i = 0;
  while (i < frames) {
    if (fadeCountdown_ == 0 && target != currentSelector_) {
      previousSelector_ = currentSelector_;
      currentSelector_ = target;
      fadeCountdown_ = fadeFrames_;
    }
    if (fadeCountdown_ == 0) {
      // The target holds for the whole call, so the rest is the current path
      // alone. Only that path is read: a dry NaN or infinity heard before a
      // switch must not leak into a processor's output after it.
      std::memcpy(played + 2 * std::size_t{i}, paths_[currentSelector_].data() + 2 * std::size_t{i},
                  2 * std::size_t{frames - i} * sizeof(float));
      break;
    }
    const float g = 1.0f - static_cast<float>(fadeCountdown_) / static_cast<float>(fadeFrames_);
    const float* now = &paths_[currentSelector_][2 * i];
    const float* before = &paths_[previousSelector_][2 * i];
    for (int ch = 0; ch < 2; ++ch) {
      // During a fade a non-finite dry sample counts as 0, so 0 x inf cannot
      // turn the fade into NaN. Processor paths are always finite.
      const float to = currentSelector_ == kSelectorDry ? finiteOrZero(now[ch]) : now[ch];
      const float from = previousSelector_ == kSelectorDry ? finiteOrZero(before[ch]) : before[ch];
      // The first faded frame (g = 0) is still entirely the old path.
      played[2 * i + ch] = g == 0.0f ? from : (1.0f - g) * from + g * to;
    }
    --fadeCountdown_;
    ++i;
  }

  const std::uint32_t channels = channels_;
  if (channels == 2) {
    std::memcpy(output, played, 2 * std::size_t{frames} * sizeof(float));
  } else if (channels == 1) {
    for (std::uint32_t k = 0; k < frames; ++k)
      output[k] = (played[2 * k] + played[2 * k + 1]) * 0.5f;
  } else {
    for (std::uint32_t k = 0; k < frames; ++k) {
      output[std::size_t{k} * channels] = played[2 * k];
      output[std::size_t{k} * channels + 1] = played[2 * k + 1];
    }
  }
}

void EffectEngine::writeMeter(std::uint32_t frames, std::uint8_t status) noexcept {
  MeterSection* section = meter_.load(std::memory_order_acquire);
  if (section == nullptr) return;
  const bool measuring = meterOn_.load(std::memory_order_relaxed) != 0;
  std::uint32_t i = 0;
  while (i < frames) {
    // Frames up to the end of the current period ("reached" also covers a
    // counter left above a shorter period by an earlier set-up).
    const std::uint32_t left =
        meterFrameCounter_ < meterPeriodFrames_
            ? static_cast<std::uint32_t>(meterPeriodFrames_ - meterFrameCounter_)
            : 1;
    const std::uint32_t run = std::min(frames - i, left);
    if (measuring) {
      inputPeak_ =
          std::max(inputPeak_, kernels_->peak(stereoIn_.data() + 2 * std::size_t{i}, 2 * run));
      outputPeak_ =
          std::max(outputPeak_, kernels_->peak(stereoOut_.data() + 2 * std::size_t{i}, 2 * run));
    }
    meterFrameCounter_ += static_cast<std::int32_t>(run);
    i += run;
    if (meterFrameCounter_ < meterPeriodFrames_) break;

    std::int32_t* writeIndex = writeIndexField(section);
    const std::int32_t w = __atomic_load_n(writeIndex, __ATOMIC_ACQUIRE);
    // With the switch off every level reads 0, even peaks gathered before it
    // went off within this period.
    MeterRecord& fresh = section->records[meterRecordSlot(w)];
    const std::uint16_t inputLevel = measuring ? meterLevelFromPeak(inputPeak_) : 0;
    fresh.inputLevel = inputLevel;
    fresh.outputLevel = inputLevel;
    fresh.status = 0;
    // Any index but 0 has a record before it to complete, also once the
    // 32-bit index has wrapped to negative values.
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
