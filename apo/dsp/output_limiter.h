// The output limiter: one block of look-ahead and a hard ceiling.
//
// Its per-block decision lives in LimiterControl (block peaks to the
// per-frame gains of the block before), so that the processor bank can run
// one per preset beside its own per-frame loops.
#pragma once

#include <cstdint>

#include "apo/dsp/processor_params.h"
#include "apo/dsp/smoothing.h"

namespace kestrune {

class LimiterControl {
 public:
  explicit LimiterControl(const ProcessorParams& params);

  // Takes block k's largest magnitude (from k = 0, in order); from k = 1 on
  // sets the per-frame gains of block k - 1 and returns true.
  bool next(std::int64_t k, double peak, std::int32_t blockFrames, GainRamp& gains) noexcept;

  double ceiling() const { return ceiling_; }
  // The limiter gain of the block last decided, in dB.
  double limitDb() const { return limitDb_; }

 private:
  static constexpr int kNeededHistory = 8;
  static constexpr int kLimitHistory = 4;

  double ceiling_;
  double needed_[kNeededHistory] = {};
  double limitHistory_[kLimitHistory] = {};
  double limitDb_ = 0.0;
  Smoother smoother_;
  DbGainRamp ramp_;
};

class OutputLimiter {
 public:
  explicit OutputLimiter(const ProcessorParams& params);

  // Takes one block of interleaved stereo values; when the block before it is
  // ready writes it to out (never above the ceiling) and returns true.
  bool process(const double* block, double* out) noexcept;

  // Where the next block may be written so that process need not copy it.
  double* nextBlock() noexcept { return slots_[(blockCount_ + 1) % kSlots]; }

  double ceiling() const { return control_.ceiling(); }
  // The limiter gain of the block last written, in dB.
  double limitDb() const { return control_.limitDb(); }

 private:
  static constexpr int kSlots = 4;

  std::int32_t blockFrames_;
  std::int64_t blockCount_ = -1;
  double slots_[kSlots][2 * kMaxBlockFrames] = {};
  LimiterControl control_;
  double gains_[kMaxBlockFrames] = {};
};

}  // namespace kestrune
