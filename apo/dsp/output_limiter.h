// The output limiter: one block of look-ahead and a hard ceiling.
#pragma once

#include <cstdint>

#include "apo/dsp/processor_params.h"
#include "apo/dsp/smoothing.h"

namespace kestrune {

class OutputLimiter {
 public:
  explicit OutputLimiter(const ProcessorParams& params);

  // Takes one block of interleaved stereo values; when the block before it is
  // ready writes it to out (never above the ceiling) and returns true.
  bool process(const double* block, double* out) noexcept;

  // Where the next block may be written so that process need not copy it.
  double* nextBlock() noexcept { return slots_[(blockCount_ + 1) % kSlots]; }

  double ceiling() const { return ceiling_; }
  // The limiter gain of the block last written, in dB.
  double limitDb() const { return limitDb_; }

 private:
  static constexpr int kSlots = 4;
  static constexpr int kNeededHistory = 8;

  std::int32_t blockFrames_;
  double ceiling_;
  std::int64_t blockCount_ = -1;
  double slots_[kSlots][2 * kMaxBlockFrames] = {};
  double needed_[kNeededHistory] = {};
  double limitHistory_[kSlots] = {};
  double limitDb_ = 0.0;
  Smoother smoother_;
  DbGainRamp ramp_;
  double gains_[kMaxBlockFrames] = {};
};

}  // namespace kestrune
