// The effect engine: one effect instance's sound work, free of any platform.
// It runs the three footstep processors (light, normal, strong; computed
// together as one ProcessorBank) on every buffer, plays the one the selector
// names, or the dry input delayed by the same latency, with a 10 ms
// cross-fade on every change, and writes a meter record every 5 ms into an
// attached record ring.
//
// Threads: set-up and tear-down run on the audio engine's configuration thread
// [config], never while process runs; process runs on the real-time thread
// [rt]; the settings watcher [watcher] only stores the target selector, the
// meter switch and the attached section, each a single atomic store or
// exchange, so the real-time thread never waits for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "apo/dsp/dsp_path.h"
#include "common/meter_layout.h"

namespace kestrune {

class ProcessorBank;
struct DspKernels;

// What the audio engine negotiated for the stream.
struct StreamFormat {
  std::uint32_t channels = 2;
  double sampleRate = 48000.0;
  std::uint32_t bytesPerSample = 4;  // container size
  bool isFloat = true;               // IEEE float subtype
};

// Selector values: 0 plays the delayed dry signal, 1..3 the light, normal and
// strong processors.
inline constexpr std::int32_t kSelectorDry = 0;
inline constexpr std::int32_t kSelectorMax = 3;

class EffectEngine {
 public:
  EffectEngine();
  ~EffectEngine();
  EffectEngine(const EffectEngine&) = delete;
  EffectEngine& operator=(const EffectEngine&) = delete;

  // [config] Sets the engine up for one stream. Decides active (1..32
  // channels, 8000..192000 Hz, 4-byte float) or pass-through; only the active
  // case builds processors and buffers, sized from maxFrames. The current
  // selector starts at initialSelector (clamped to 0..3) with no fade. The
  // processors run on path (tests force one; a path the CPU cannot run falls
  // back to the baseline). Returns false only when memory ran out (the
  // engine is then inactive).
  bool setup(const StreamFormat& format, std::uint32_t maxFrames, std::int32_t initialSelector,
             DspPath path = fastestDspPath());

  // [config] Inactive, state code 0. Buffers stay until the next set-up.
  void tearDown();

  // [rt] Processes frames interleaved 32-bit float frames. input and output
  // may be the same buffer. inputSilent treats the input as zeros. Returns
  // true when the output was produced by the engine (the caller marks it
  // valid), false when the input was passed through unchanged (the caller
  // keeps the input's flags): inactive, or frames above the set-up maximum.
  // Pass-through copies frames * bytesPerFrame bytes whatever the format.
  // Allocates nothing, takes no lock, makes no system call.
  bool process(const float* input, float* output, std::uint32_t frames, bool inputSilent) noexcept;

  // [config] [watcher] Format and state as published in the meter header.
  bool active() const { return active_; }
  std::int32_t latencyFrames() const { return latencyFrames_; }
  std::int32_t stateCode() const { return stateCode_; }  // 0 idle, 1 active, 2 pass-through
  double sampleRate() const { return sampleRate_; }
  std::uint32_t channels() const { return channels_; }
  std::uint32_t maxFrames() const { return maxFrames_; }
  // The processors' code path since the last active set-up.
  DspPath dspPath() const { return dspPath_; }

  // [watcher] The selector to fade to, 0..3 (out-of-range values are
  // clamped). One relaxed 32-bit store; process reads it once per call.
  void setTargetSelector(std::int32_t selector) noexcept;
  std::int32_t targetSelector() const noexcept {
    return targetSelector_.load(std::memory_order_relaxed);
  }

  // [config] At the start of the watcher: target = current selector with one
  // atomic exchange, so no fade starts at lock.
  void syncTargetToCurrent() noexcept;

  // [rt] The status byte of the last processed call (bits as in a meter
  // record: 0 while dry plays, else the playing processor's bits OR 8).
  std::uint8_t lastStatus() const noexcept { return lastStatus_; }

  // [rt] [config] The selector now playing (the fade's destination).
  std::int32_t currentSelector() const noexcept { return currentSelector_; }

  // [watcher] Meter switch: on, records carry measured peaks and status; off,
  // records are still written with zeros. One byte store.
  void setMeterEnabled(bool on) noexcept { meterOn_.store(on ? 1 : 0, std::memory_order_relaxed); }
  bool meterEnabled() const noexcept { return meterOn_.load(std::memory_order_relaxed) != 0; }

  // [watcher] Swaps the attached meter section (nullptr detaches) and returns
  // the previous one. The caller keeps the previous view mapped until the
  // real-time thread can no longer be writing through it (until unlock).
  MeterSection* attachMeter(MeterSection* section) noexcept {
    return meter_.exchange(section, std::memory_order_acq_rel);
  }
  MeterSection* attachedMeter() const noexcept { return meter_.load(std::memory_order_acquire); }

 private:
  void passThrough(const float* input, float* output, std::uint32_t frames) const noexcept;
  void fillPaths(const float* input, float* output, std::uint32_t frames, bool inputSilent,
                 bool dryHeard) noexcept;
  void crossFade(float* output, std::uint32_t frames, std::int32_t target) noexcept;
  void writeMeter(std::uint32_t frames, std::uint8_t status) noexcept;

  // Format ([config]).
  bool active_ = false;
  std::uint32_t maxFrames_ = 0;
  std::uint32_t channels_ = 2;
  std::uint32_t bytesPerFrame_ = 8;
  double sampleRate_ = 48000.0;
  std::int32_t fadeFrames_ = 480;
  std::int32_t meterPeriodFrames_ = 240;
  std::int32_t stateCode_ = kMeterStateIdle;
  std::int32_t latencyFrames_ = 0;

  DspPath dspPath_ = DspPath::kBaseline;
  const DspKernels* kernels_ = nullptr;        // set with the processors
  std::unique_ptr<ProcessorBank> processors_;  // light, normal, strong
  // Stereo path buffers indexed by selector: dry, light, normal, strong.
  std::vector<float> paths_[4];
  std::vector<float> stereoIn_;
  std::vector<float> stereoOut_;
  std::vector<float> history_;      // channels x kHistoryFrames, frame-major
  std::uint32_t ringPosition_ = 0;  // never reset; ring frame = position mod 4096

  // Cross-fade ([rt] after set-up).
  std::int32_t currentSelector_ = 0;
  std::int32_t previousSelector_ = 0;
  std::int32_t fadeCountdown_ = 0;
  std::atomic<std::int32_t> targetSelector_{0};

  // Meter.
  std::atomic<std::uint8_t> meterOn_{0};
  std::atomic<MeterSection*> meter_{nullptr};
  float inputPeak_ = 0.0f;
  float outputPeak_ = 0.0f;
  std::int32_t meterFrameCounter_ = 0;
  std::uint8_t lastStatus_ = 0;
};

}  // namespace kestrune
