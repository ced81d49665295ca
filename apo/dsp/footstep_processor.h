// The footstep processor: the effect's sound chain for one intensity level.
// Stereo float frames in, the same number out, delayed by latencyFrames().
// Inside: input conditioning and a 5 Hz high-pass per frame, then per block
// of about 1 ms the centre ducker, tone shaper, scene lift and output
// limiter, then an output queue primed with latencyFrames() of silence.
#pragma once

#include <cstdint>
#include <memory>

#include "apo/dsp/centre_ducker.h"
#include "apo/dsp/filter_design.h"
#include "apo/dsp/output_limiter.h"
#include "apo/dsp/processor_params.h"
#include "apo/dsp/scene_lift.h"
#include "apo/dsp/tone_shaper.h"

namespace kestrune {

// Rules the processor bank shares with the processor.
// Input is taken in chunks of at most this many blocks before the output
// queue is read, and the queue holds this many stereo frames.
inline constexpr std::uint32_t kChunkBlocks = 20;
inline constexpr std::uint32_t kQueueFrames = 8192;

// The input stage's conditioning of frames interleaved stereo float frames
// into doubles: NaN and infinities become 0, the rest is clamped to -4..+4.
void conditionInput(const float* input, double* out, std::uint32_t frames) noexcept;

// The input stage's 5 Hz first-order high-pass at this rate.
SectionCoefficients inputHighPass(double sampleRate);

class FootstepProcessor {
 public:
  // aligned: every host period is a whole number of blocks (latency 7 blocks
  // instead of 8). Tens of kilobytes of state: build it with create().
  FootstepProcessor(const ProcessorParams& params, bool aligned);
  static std::unique_ptr<FootstepProcessor> create(const ProcessorParams& params, bool aligned);

  std::int32_t latencyFrames() const { return latencyFrames_; }
  std::int32_t blockFrames() const { return blockFrames_; }

  // [rt] Reads frames interleaved stereo frames from input and writes as many
  // to output (the two must not overlap). When the queue runs short (a call
  // ending inside a block of an aligned processor) zeros are written and the
  // delay grows by that many frames. Allocates nothing.
  void process(const float* input, float* output, std::uint32_t frames) noexcept;

  // [rt] Status bits (kFlag*) gathered since the last call; clears them.
  std::uint32_t takeStatusFlags() noexcept { return lift_.takeFlags(); }

 private:
  static constexpr std::uint32_t kQueueValues = 2 * kQueueFrames;

  void inputFrames(const float* input, std::uint32_t frames) noexcept;
  void readQueue(float* out, std::size_t values) noexcept;
  void runBlock() noexcept;

  std::int32_t blockFrames_;
  std::int32_t latencyFrames_;

  FirstOrderStereoSection inputHighPass_;
  double block_[2 * kMaxBlockFrames] = {};
  std::int32_t fill_ = 0;

  CentreDucker ducker_;
  ToneShaper tone_;
  SceneLift lift_;
  OutputLimiter limiter_;
  double limited_[2 * kMaxBlockFrames] = {};

  float queue_[kQueueValues] = {};
  std::uint64_t readCount_ = 0;
  std::uint64_t writeCount_;
};

}  // namespace kestrune
