#include "apo/dsp/footstep_processor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "apo/dsp/denormals.h"

namespace kestrune {

namespace {

constexpr double kInputClamp = 4.0;
constexpr double kInputCutoffHz = 5.0;

}  // namespace

void conditionInput(const float* input, double* out, std::uint32_t frames) noexcept {
  const StereoPair high = {kInputClamp, kInputClamp};
  const StereoPair low = -high;
  const StereoPair zero = {0.0, 0.0};
  for (std::uint32_t i = 0; i < frames; ++i) {
    StereoPair x = loadFloats(input + 2 * i);
    const auto finite = (x - x) == zero;  // NaN and infinities give NaN here
    x = x > high ? high : x;
    x = x < low ? low : x;
    storePair(out + 2 * i, finite ? x : zero);
  }
}

SectionCoefficients inputHighPass(double sampleRate) {
  return butterworthHighPass(1, kInputCutoffHz, sampleRate)[0];
}

FootstepProcessor::FootstepProcessor(const ProcessorParams& params, bool aligned)
    : blockFrames_(blockLengthFrames(params.sampleRate)),
      latencyFrames_(latencyForBlock(blockFrames_, aligned)),
      ducker_(params),
      tone_(params),
      lift_(params),
      limiter_(params),
      writeCount_(2 * static_cast<std::uint64_t>(latencyFrames_)) {
  inputHighPass_.design(inputHighPass(params.sampleRate));
}

std::unique_ptr<FootstepProcessor> FootstepProcessor::create(const ProcessorParams& params,
                                                             bool aligned) {
  return std::make_unique<FootstepProcessor>(params, aligned);
}

void FootstepProcessor::process(const float* input, float* output, std::uint32_t frames) noexcept {
  ScopedDenormalFlush flush;
  const std::uint32_t chunkFrames = kChunkBlocks * static_cast<std::uint32_t>(blockFrames_);
  std::uint32_t done = 0;
  while (done < frames) {
    const std::uint32_t chunk = std::min(chunkFrames, frames - done);
    inputFrames(input + 2 * std::size_t{done}, chunk);
    readQueue(output + 2 * std::size_t{done}, 2 * std::size_t{chunk});
    done += chunk;
  }
}

void FootstepProcessor::readQueue(float* out, std::size_t values) noexcept {
  // Whatever the queue lacks is silence, and the read count stays put.
  const std::size_t available =
      static_cast<std::size_t>(std::min<std::uint64_t>(values, writeCount_ - readCount_));
  std::size_t copied = 0;
  while (copied < available) {
    const std::size_t at = static_cast<std::size_t>(readCount_ % kQueueValues);
    const std::size_t run = std::min(available - copied, kQueueValues - at);
    std::memcpy(out + copied, queue_ + at, run * sizeof(float));
    copied += run;
    readCount_ += run;
  }
  std::fill(out + available, out + values, 0.0f);
}

void FootstepProcessor::inputFrames(const float* input, std::uint32_t frames) noexcept {
  while (frames > 0) {
    const std::uint32_t n = std::min(frames, static_cast<std::uint32_t>(blockFrames_ - fill_));
    // The 5 Hz high-pass runs inside the ducker's first loop over the block.
    conditionInput(input, block_ + 2 * fill_, n);
    input += 2 * n;
    frames -= n;
    fill_ += static_cast<std::int32_t>(n);
    if (fill_ == blockFrames_) {
      runBlock();
      fill_ = 0;
    }
  }
}

void FootstepProcessor::runBlock() noexcept {
  // Each stage writes straight into the slot the next stage keeps it in.
  double* base = lift_.nextBase();
  if (!ducker_.process(block_, inputHighPass_, base)) return;
  double* wet = lift_.nextWet();
  tone_.process(base, wet, blockFrames_);
  double* lifted = limiter_.nextBlock();
  if (!lift_.process(wet, base, ducker_.duckDb(), lifted)) return;
  if (!limiter_.process(lifted, limited_)) return;
  // A block straddles the ring's end unless 2B divides its size.
  const std::size_t values = 2 * static_cast<std::size_t>(blockFrames_);
  std::size_t written = 0;
  while (written < values) {
    const std::size_t at = static_cast<std::size_t>(writeCount_ % kQueueValues);
    const std::size_t run = std::min(values - written, kQueueValues - at);
    // Counts stay even (they start at 2L and move by 2B), so pairs never split.
    for (std::size_t k = 0; k < run; k += 2)
      storeFloats(queue_ + at + k, loadPair(limited_ + written + k));
    written += run;
    writeCount_ += run;
  }
}

}  // namespace kestrune
