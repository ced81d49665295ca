#include "apo/footstep_processor.h"

#include <algorithm>
#include <cmath>

#include "apo/denormals.h"

namespace kestrune {

FootstepProcessor::FootstepProcessor(const ProcessorParams& params, bool aligned)
    : blockFrames_(blockLengthFrames(params.sampleRate)),
      latencyFrames_(latencyForBlock(blockFrames_, aligned)),
      ducker_(params),
      tone_(params),
      lift_(params),
      limiter_(params),
      writeCount_(2 * static_cast<std::uint64_t>(latencyFrames_)) {
  inputHighPass_.c = butterworthHighPass(1, kInputCutoffHz, params.sampleRate)[0];
}

std::unique_ptr<FootstepProcessor> FootstepProcessor::create(const ProcessorParams& params,
                                                             bool aligned) {
  return std::make_unique<FootstepProcessor>(params, aligned);
}

void FootstepProcessor::process(const float* input, float* output, std::uint32_t frames) noexcept {
  ScopedDenormalFlush flush;
  const std::uint32_t chunkFrames = 20 * static_cast<std::uint32_t>(blockFrames_);
  std::uint32_t done = 0;
  while (done < frames) {
    const std::uint32_t chunk = std::min(chunkFrames, frames - done);
    for (std::uint32_t i = done; i < done + chunk; ++i) {
      inputFrame(input[2 * i], input[2 * i + 1]);
    }
    for (std::uint32_t k = 2 * done; k < 2 * (done + chunk); ++k) {
      if (readCount_ < writeCount_) {
        output[k] = queue_[readCount_ % kQueueValues];
        ++readCount_;
      } else {
        output[k] = 0.0f;
      }
    }
    done += chunk;
  }
}

void FootstepProcessor::inputFrame(float left, float right) noexcept {
  auto condition = [](float sample) {
    const double x = sample;
    return std::isfinite(x) ? std::clamp(x, -kInputClamp, kInputClamp) : 0.0;
  };
  double l = condition(left);
  double r = condition(right);
  inputHighPass_.process(l, r);
  block_[2 * fill_] = l;
  block_[2 * fill_ + 1] = r;
  if (++fill_ == blockFrames_) {
    runBlock();
    fill_ = 0;
  }
}

void FootstepProcessor::runBlock() noexcept {
  if (!ducker_.process(block_, ducked_)) return;
  for (std::int32_t i = 0; i < blockFrames_; ++i) {
    double l = ducked_[2 * i];
    double r = ducked_[2 * i + 1];
    tone_.process(l, r);
    wet_[2 * i] = l;
    wet_[2 * i + 1] = r;
  }
  if (!lift_.process(wet_, ducked_, ducker_.duckDb(), lifted_)) return;
  if (!limiter_.process(lifted_, limited_)) return;
  for (std::int32_t k = 0; k < 2 * blockFrames_; ++k) {
    queue_[writeCount_ % kQueueValues] = static_cast<float>(limited_[k]);
    ++writeCount_;
  }
}

}  // namespace kestrune
