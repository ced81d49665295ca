// The processor bank: the three footstep processors of the effect (presets
// "light", "normal", "strong") computed as one, with the output of each
// equal to what a FootstepProcessor built with that preset gives.
//
// What the presets share runs once: the input stage and the centre ducker's
// measuring and onset detection (no preset field enters them), and the duck
// and tone shaping of "normal" and "strong" (equal duck depth and tone
// amount), so one shaped signal serves both and its levels are measured
// once. The per-frame loops run the rest side by side in vector lanes, on
// the code path chosen at build (baseline x86-64 or AVX2+FMA).
#pragma once

#include <cstdint>
#include <memory>

#include "apo/dsp/centre_ducker.h"
#include "apo/dsp/dsp_kernels.h"
#include "apo/dsp/dsp_path.h"
#include "apo/dsp/footstep_processor.h"
#include "apo/dsp/output_limiter.h"
#include "apo/dsp/processor_params.h"
#include "apo/dsp/scene_lift.h"

namespace kestrune {

class ProcessorBank {
 public:
  // aligned as for FootstepProcessor. A path the CPU cannot run falls back
  // to the baseline. Hundreds of kilobytes of state: build it with create().
  ProcessorBank(double sampleRate, bool aligned, DspPath path);
  static std::unique_ptr<ProcessorBank> create(double sampleRate, bool aligned, DspPath path);

  std::int32_t latencyFrames() const { return latencyFrames_; }
  std::int32_t blockFrames() const { return blockFrames_; }
  DspPath path() const { return path_; }

  // [rt] Takes frames interleaved stereo frames and writes as many output
  // frames for each preset i whose outputs[i] is not null; the others move
  // on all the same, so any preset can be asked for in any later call.
  // Output as FootstepProcessor::process. Allocates nothing.
  void process(const float* input, float* const outputs[kBankPresets],
               std::uint32_t frames) noexcept;

  // [rt] Status bits (kFlag*) of a preset gathered since the last call;
  // clears them.
  std::uint32_t takeStatusFlags(int preset) noexcept { return controls_[preset].takeFlags(); }

 private:
  static constexpr int kDuckSlots = 8;
  static constexpr int kSlots = 4;
  static constexpr int kShapes = 2;  // light, and the one "normal" and "strong" share
  // Queue lanes are padded: the limiter loop may write three floats past a
  // block's end.
  static constexpr std::size_t kQueueStride = kQueueFrames + 4;

  void inputFrames(const float* input, std::uint32_t frames) noexcept;
  void readQueue(float* const outputs[kBankPresets], std::size_t offset,
                 std::uint32_t frames) noexcept;
  void runBlock() noexcept;

  const DspKernels* kernels_;
  DspPath path_;
  std::int32_t blockFrames_;
  std::int32_t latencyFrames_;

  alignas(64) double block_[2 * kMaxBlockFrames] = {};
  std::int32_t fill_ = 0;

  // Stages shared by all presets.
  std::int64_t blockCount_ = -1;
  MeasureFilters measure_;
  alignas(64) double midSide_[kDuckSlots][2 * kMaxBlockFrames] = {};
  OnsetDetector onsets_;

  // Per shape: duck, tone and levels. Shaped blocks are planar.
  DuckGain ducks_[kShapes];
  alignas(64) double duckGains_[kShapes * kPlanarFrames] = {};
  double duckHistory_[kShapes][kSlots] = {};
  ToneFilters tone_;
  alignas(64) double wet_[kSlots][kShapedLanes * kPlanarFrames] = {};
  alignas(64) double base_[kSlots][kShapedLanes * kPlanarFrames] = {};
  SceneLevels levels_[kShapes];

  // Per preset: lift decisions and limiter. Lifted blocks are planar.
  LiftControl controls_[kBankPresets];
  alignas(64) double lifted_[kSlots][kLiftedLanes * kPlanarFrames] = {};
  LimiterControl limiters_[kBankPresets];

  // One queue for all presets, a lane of floats per channel. Its capacity is
  // a whole number of blocks, so no block straddles its end.
  alignas(64) float queue_[kLiftedLanes * kQueueStride] = {};
  std::uint64_t queueCapacity_;
  std::uint64_t readFrames_ = 0;
  std::uint64_t writeFrames_;
};

}  // namespace kestrune
